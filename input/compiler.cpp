#include "input/compiler.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "foundation/error.h"
#include "foundation/reavec.h"
#include "input/line.h"

// ---------------------------------------------------------------- words

namespace {

// Word access in one place, so the compiler reads the tokenizer's terms the
// same way everywhere.
const char* TextOf(const Word* w) { return w->text; }
int NumbersOf(const Word* w) { return w->nnumbers; }
Word* NextOf(const Word* w) { return w->next; }
void MarkUsed(Word* w) { w->used = 1; }
// The first number of w, marked used.
double TakeFirstNumber(Word* w) {
  w->first->used = 1;
  return w->first->value;
}

bool Is(const char* text, const char* word) { return strcasecmp(text, word) == 0; }

struct Vocable {
  const char* word;
  ValidCode code;
};

// The base vocabulary; "e", "<", ">", "~" and "Interpolate" are handled apart.
constexpr Vocable BaseWords[] = {
    {"(", Open_Code},       {")", Close_Code},      {"pi", Pi_Code},         {"exp", Exp_Code},
    {"infinite", Infinite_Code}, {"maxV", MaxV_Code}, {"F", F_Code},         {"dF", DF_Code},
    {"sqrt", Sqrt_Code},    {"sin", Sin_Code},      {"cos", Cos_Code},       {"tan", Tan_Code},
    {"asin", Asin_Code},    {"acos", Acos_Code},    {"atan", Atan_Code},     {"sinh", Sinh_Code},
    {"cosh", Cosh_Code},    {"tanh", Tanh_Code},    {"asinh", Asinh_Code},   {"acosh", Acosh_Code},
    {"atanh", Atanh_Code},  {"abs", Abs_Code},      {"ln", Ln_Code},         {"log", Log_Code},
    {"fac", Fac_Code},      {"srand", Srand_Code},  {"rand", Rand_Code},     {"if", If_Code},
    {"then", Then_Code},    {"elif", Elif_Code},    {"else", Else_Code},     {"endif", Endif_Code},
    {"^", Pow_Code},        {"*", Mul_Code},        {"/", Div_Code},         {"mod", Mod_Code},
    {"div", IDiv_Code},     {"rmod", RMod_Code},    {"rdiv", RDiv_Code},     {"int", Int_Code},
    {"=", EQ_Code},         {"|", Or_Code},         {"&", And_Code},         {"+", Add_Code},
    {"-", Sub_Code},        {",", Comma_Code},      {"#", Hash_Code},        {"min", Min_Code},
    {"max", Max_Code},      {"t", T_Code},          {"it", It_Code},         {"dt", Dt_Code},
    {"step", Step_Code},    {"rhoc", Rhoc_Code},    {"rhos", Rhos_Code},     {"thetac", Thetac_Code},
    {"thetas", Thetas_Code}, {"phis", Phis_Code},   {"xrot", XRot_Code},     {"yrot", YRot_Code},
};

const char* const CodeNames[NCodes] = {
    "(", ")", "pi", "exp(.)", "inf", "Velocity Maximum", "(.)e10-(.)", "(.)e10+(.)",
    "\"Unknown Instruction\"", "F(.)", "\"Unknown Instruction\"", "\"Unknown Instruction\"", "interpolate",
    "sqrt(.)", "sin(.)", "cos(.)", "tan(.)", "asin(.)", "acos(.)", "atan(.)", "sinh(.)", "cosh(.)", "tanh(.)",
    "asinh(.)", "acosh(.)", "atanh(.)", "chsgn(.)", "abs(.)", "ln(.)", "log(.)", "fac(.)", "srand(.)", "rand",
    "if", "then", "elif", "else", "endif", "^", "*", "/", "(.)mod(.)", "(.)div(.)", "(.)rmod(.)", "(.)rdiv(.)",
    "int(.)", ">", "<", ">=", "<=", "=", "~=", "~", "|", "&", "+", "-", ",", "#", "Minimum [(.)min(.)]",
    "Maximum [(.)max(.)]", "t", "it", "dt", "x", "y", "z", "nx", "ny", "nz", "Invariant e(u) 1",
    "Invariant e(u) 2", "Invariant e(u) 3", "Variable", "Variable(.)", "Dx(.)", "Dy(.)", "Dz(.)", "MaxVar(.)",
    "MinVar(.)", "MaxS(.)", "MinS(.)", "MedS(.)", "Aver(.)", "Material Index", "Current Step", "Rho_c", "Rho_s",
    "Theta_c", "Theta_s", "Phi_s", "X Rotation", "Y Rotation",
};

// Codes written name(expr).
constexpr CodeSet FunctionCodes = CodeRanges({{Exp_Code, Exp_Code},
                                              {F_Code, Eval_Code},
                                              {Sqrt_Code, Atanh_Code},
                                              {Abs_Code, Srand_Code},
                                              {Int_Code, Int_Code},
                                              {Not_Code, Not_Code},
                                              {Rhoc_Code, YRot_Code}});

// Codes that stand alone as operands.
constexpr CodeSet OperandCodes = CodeRanges(
    {{Pi_Code, Pi_Code}, {Infinite_Code, MaxV_Code}, {Number_Code, Number_Code}, {Rand_Code, Rand_Code}, {T_Code, Step_Code}});

// Operators of each loop level of the grammar.
constexpr CodeSet OrCodes = CodeRanges({{Or_Code, Or_Code}});
constexpr CodeSet AndCodes = CodeRanges({{And_Code, And_Code}});
constexpr CodeSet RelationalCodes = CodeRanges({{GT_Code, NE_Code}});
constexpr CodeSet AdditiveCodes = CodeRanges({{Add_Code, Sub_Code}});
constexpr CodeSet MultiplicativeCodes =
    CodeRanges({{Mul_Code, RDiv_Code}, {Min_Code, Max_Code}, {ExpMinus_Code, ExpPlus_Code}});
constexpr CodeSet PowCodes = CodeRanges({{Pow_Code, Pow_Code}});

bool IsCode(const Instruction* i, ValidCode c) { return i && i->code == c; }

}  // namespace

std::ostream& operator<<(std::ostream& os, ValidCode code) {
  int c = int(code);
  return os << ((c >= 0 && c < NCodes) ? CodeNames[c] : "\"Unknown Instruction\"");
}

// ---------------------------------------------------------------- instructions

Interpolate::Interpolate(ReaVec* data) : Instruction(Interpolate_Code), table(data) {}

Interpolate::~Interpolate() { delete table; }

anIMaterial::anIMaterial(int i, const char* n) : Instruction(IMaterial_Code), index(i), name(nullptr) {
  std::size_t len = std::strlen(n) + 1;
  name = static_cast<char*>(std::malloc(len));
  if (!name) OLVU_FATAL("Not space available on heap\n");
  std::memcpy(name, n, len);
}

anIMaterial::~anIMaterial() { std::free(name); }

// ---------------------------------------------------------------- compiler

Compiler::~Compiler() { std::free(name_); }

void Compiler::readInfo(const char* name) {
  std::size_t len = std::strlen(name) + 1;
  char* copy = static_cast<char*>(std::malloc(len));
  if (!copy) OLVU_FATAL("Not space available on heap\n");
  std::memcpy(copy, name, len);
  std::free(name_);
  name_ = copy;
}

const char* Compiler::Info() { return name_ ? name_ : ""; }

void Compiler::backInstruction(Instruction* i) {
  if (back_) OLVU_FATAL("Function " << Info() << " compiler error: To many backed instructions\n");
  back_ = i;
}

Word* Compiler::peekWord() const { return word_ ? NextOf(word_) : nullptr; }

Word* Compiler::advance() {
  word_ = word_ ? NextOf(word_) : nullptr;
  if (!word_) return nullptr;
  pending_ = NumbersOf(word_) > 0;
  MarkUsed(word_);
  return word_;
}

Instruction* Compiler::getInstructionIf() {
  if (back_) {
    Instruction* i = back_;
    back_ = nullptr;
    return i;
  }
  if (pending_) {
    if (NumbersOf(word_) > 1)
      OLVU_FATAL("Function " << Info() << " compiler error: Consecutive numbers error in function\n");
    pending_ = 0;
    return new aNumber(TakeFirstNumber(word_));
  }
  Word* w = advance();
  if (!w) return nullptr;
  const char* text = TextOf(w);
  Word* after = NextOf(w);
  bool bare = NumbersOf(w) == 0;

  if (Is(text, "e")) {
    if (bare && after && Is(TextOf(after), "-")) {
      advance();
      return new Instruction(ExpMinus_Code);
    }
    if (bare && after && Is(TextOf(after), "+")) advance();
    return new Instruction(ExpPlus_Code);
  }
  if (Is(text, "<") || Is(text, ">") || Is(text, "~")) {
    bool withEq = bare && after && Is(TextOf(after), "=");
    if (withEq) advance();
    if (Is(text, "<")) return new Instruction(withEq ? LE_Code : LT_Code);
    if (Is(text, ">")) return new Instruction(withEq ? GE_Code : GT_Code);
    return new Instruction(withEq ? NE_Code : Not_Code);
  }
  if (Is(text, "Interpolate")) {
    // The table is the numbers of the "(" word; they are not operands. An odd
    // count is named before a short one, so three numbers read as odd.
    Word* open = NextOf(w);
    if (!open || !Is(TextOf(open), "("))
      OLVU_FATAL("Function " << Info() << " compiler error: \"(#\" expected after Interpolate\n");
    // Numbers of the Interpolate word itself stay pending: they meet the
    // table's numbers on the next request and stop as consecutive numbers.
    word_ = open;
    MarkUsed(open);
    pending_ = bare ? 0 : 1;
    int n = NumbersOf(open);
    if (n % 2) OLVU_FATAL("Function " << Info() << " compiler error: Interpolate needs par number of points\n");
    if (n < 4) OLVU_FATAL("Function " << Info() << " compiler error: Interpolate needs at least 2 points\n");
    ReaVec* table = new ReaVec(open->ReaVec());
    return new Interpolate(table);
  }
  for (const Vocable& v : BaseWords)
    if (Is(text, v.word)) return new Instruction(v.code);
  return nullptr;
}

Instruction* Compiler::getInstruction() {
  Instruction* i = getInstructionIf();
  if (!i && word_)
    OLVU_FATAL("Function " << Info() << " compiler error: Cannot compile instruction " << TextOf(word_) << "\n");
  return i;
}

void Compiler::append(Instruction* i) { list_->append(i); }

Instruction* Compiler::takeOperator(const CodeSet& ops) {
  Instruction* i = getInstruction();
  if (i && ops.has(i->code)) return i;
  if (i) backInstruction(i);
  return nullptr;
}

void Compiler::expect(ValidCode c, const char* text) {
  Instruction* i = getInstruction();
  if (!IsCode(i, c)) OLVU_FATAL("Function " << Info() << text << "\n");
  delete i;
}

InstructionList* Compiler::compileFrom(Word* start) {
  word_ = start;
  back_ = nullptr;
  list_ = new InstructionList;
  pending_ = start && NumbersOf(start) > 0;
  expression();
  Instruction* left = back_;
  back_ = nullptr;
  // Words after a complete expression are refused rather than dropped.
  if (!left) left = getInstruction();
  if (left) OLVU_FATAL("Function " << Info() << " compiler error: Instruction \"" << left->code << "\" can not be compiled\n");
  InstructionList* done = list_;
  list_ = nullptr;
  done->prepare();
  return done;
}

void Compiler::expression() {
  Instruction* i = getInstruction();
  if (!IsCode(i, If_Code)) {
    if (i) backInstruction(i);
    or_expression();
    return;
  }
  expect(Open_Code, " compiler error: \"(\" expected after if");
  or_expression();
  expect(Close_Code, " compiler error: \")\" expected after if(...");
  append(i);
  expect(Then_Code, " compiler error: \"then\" expected after if(...)");
  elif_expression();
  Instruction* e = getInstruction();
  if (!IsCode(e, Else_Code)) OLVU_FATAL("Function " << Info() << "compiler error: \"else\" missing\n");
  append(e);
  expression();
  Instruction* end = getInstruction();
  if (!IsCode(end, Endif_Code)) OLVU_FATAL("Function " << Info() << " compiler error: \"endif\" missing\n");
  append(end);
}

void Compiler::elif_expression() {
  expression();
  for (;;) {
    Instruction* i = getInstruction();
    if (!i) OLVU_FATAL("Function " << Info() << " compiler error: \"endif\" missing\n");
    if (i->code != Elif_Code) {
      backInstruction(i);
      return;
    }
    expect(Open_Code, " compiler error: \"(\" expected after elif");
    append(new Instruction(Else_Code));
    or_expression();
    expect(Close_Code, " compiler error: \")\" expected after elif(...");
    append(i);
    expect(Then_Code, " compiler error: \"then\" expected after elif(...)");
    expression();
  }
}

void Compiler::or_expression() {
  and_expression();
  while (Instruction* i = takeOperator(OrCodes)) {
    and_expression();
    append(i);
  }
}

void Compiler::and_expression() {
  relational_expression();
  while (Instruction* i = takeOperator(AndCodes)) {
    relational_expression();
    append(i);
  }
}

void Compiler::relational_expression() {
  additive_expression();
  while (Instruction* i = takeOperator(RelationalCodes)) {
    additive_expression();
    append(i);
  }
}

void Compiler::additive_expression() {
  signed_expression();
  while (Instruction* i = takeOperator(AdditiveCodes)) {
    multiplicative_expression();
    append(i);
  }
}

void Compiler::signed_expression() {
  Instruction* sign = takeOperator(AdditiveCodes);
  const bool negative = IsCode(sign, Sub_Code);
  delete sign;
  multiplicative_expression();
  if (negative) append(new Instruction(Chsgn_Code));
}

void Compiler::multiplicative_expression() {
  exponent_expression();
  while (Instruction* i = takeOperator(MultiplicativeCodes)) {
    exponent_expression();
    append(i);
  }
}

void Compiler::exponent_expression() {
  function_expression();
  while (Instruction* i = takeOperator(PowCodes)) {
    function_expression();
    append(i);
  }
}

void Compiler::function_expression() {
  Instruction* i = getInstruction();
  if (i && FunctionCodes.has(i->code)) {
    expect(Open_Code, " compiler error: \"(\" expected after function_name");
    expression();
    expect(Close_Code, " compiler error: \")\" expected after function_name(...");
    append(i);
  } else if (IsCode(i, Interpolate_Code)) {
    expect(Hash_Code, " compiler error: \"#\" expected after Interpolate(#data...");
    expression();
    expect(Close_Code, " compiler error: \")\" expected after Interpolate(#data#func...");
    append(i);
  } else {
    if (i) backInstruction(i);
    primary_expression();
  }
}

void Compiler::primary_expression() {
  Instruction* i = getInstruction();
  if (!i) OLVU_FATAL("Function " << Info() << " compiler error: expression code missing\n");
  if (i->code == Open_Code) {
    delete i;
    expression();
    Instruction* c = getInstruction();
    if (!IsCode(c, Close_Code)) OLVU_FATAL("Function " << Info() << " compiler error: Unbalanced parenthesis found\n");
    delete c;
  } else if (OperandCodes.has(i->code)) {
    append(i);
  } else {
    OLVU_FATAL("Function " << Info() << " compiler error: Syntax error " << i->code << " in function\n");
  }
}

// ---------------------------------------------------------------- instruction list

int StackNeeds(int code) {
  if (code >= FusedConstVar_Base) return 0;  // pushes and joined conditions
  if (code >= FusedConst_Base) return 1;
  switch (code) {
    case ExpMinus_Code: case ExpPlus_Code: case Pow_Code: case Mul_Code: case Div_Code: case Mod_Code:
    case IDiv_Code: case RMod_Code: case RDiv_Code: case GT_Code: case LT_Code: case GE_Code: case LE_Code:
    case EQ_Code: case NE_Code: case Or_Code: case And_Code: case Add_Code: case Sub_Code: case Min_Code:
    case Max_Code:
      return 2;
    case Exp_Code: case F_Code: case DF_Code: case Interpolate_Code: case If_Code: case Elif_Code:
    case Int_Code: case Not_Code:
      return 1;
    default:
      if (code >= Sqrt_Code && code <= Srand_Code) return 1;
      if (code >= Rhoc_Code && code <= YRot_Code) return 1;
      return 0;
  }
}


InstructionList::~InstructionList() {
  for (Instruction* i : items_) delete i;
}

void InstructionList::append(Instruction* i) {
  items_.push_back(i);
  dirty_ = true;
}

// Position after the endif that closes the if at pc (nested ifs skipped whole).
int InstructionList::skipBlock(int pc) const {
  const int n = int(prog_.size());
  for (int q = pc + 1; q < n; ++q) {
    if (OpensBlock(prog_[q].code)) q = skipBlock(q) - 1;
    else if (prog_[q].code == Endif_Code) return q + 1;
  }
  return n;
}

// Where a false if or elif at pc goes on: after the next else or endif of its depth.
int InstructionList::skipFalse(int pc) const {
  const int n = int(prog_.size());
  for (int q = pc + 1; q < n; ++q) {
    const int c = prog_[q].code;
    if (OpensBlock(c)) q = skipBlock(q) - 1;
    else if (c == Else_Code || c == Endif_Code) return q + 1;
  }
  return n;
}

// Where an else at pc goes on: after the endif of its depth.
int InstructionList::skipElse(int pc) const {
  const int n = int(prog_.size());
  for (int q = pc + 1; q < n; ++q) {
    const int c = prog_[q].code;
    if (OpensBlock(c)) q = skipBlock(q) - 1;
    else if (c == Endif_Code) return q + 1;
  }
  return n;
}

void InstructionList::build() {
  prog_.clear();
  tables_.clear();
  codes_ = CodeSet();
  prog_.reserve(items_.size());
  for (std::size_t k = 0; k < items_.size(); ++k) {
    const Instruction* ins = items_[k];
    MachineOp op{int(ins->code), int(k), 0.0};
    if (op.code >= 0 && op.code < 128) codes_.add(op.code);
    if (op.code == Number_Code) {
      op.val = static_cast<const aNumber*>(ins)->value;
    } else if (op.code == Interpolate_Code) {
      const ReaVec* t = static_cast<const Interpolate*>(ins)->table;
      op.arg = int(tables_.size());
      tables_.push_back(MachineTable{t->GivePointer(), int(t->length() / 2)});
    }
    prog_.push_back(op);
  }
  while (moveConstant()) {
  }
  fuse();
  for (std::size_t pc = 0; pc < prog_.size(); ++pc) {
    const int c = prog_[pc].code;
    if (IsBranch(c)) prog_[pc].arg = skipFalse(int(pc));
    else if (c == Else_Code) prog_[pc].arg = skipElse(int(pc));
  }
  analyse();
  prog_.push_back(MachineOp{Halt_Code, 0, 0.0});
  dirty_ = false;
}

int StackEffect(int code) {
  if (code >= FusedIf_Base) return 0;
  if (code >= FusedConstVar_Base || OperandCodes.has(code)) return 1;
  if (code >= FusedConst_Base) return 0;
  if (StackNeeds(code) == 2 || code == If_Code || code == Elif_Code) return -1;
  return 0;
}

// A constant left operand of a commutative operator is moved behind the
// right operand (K B op becomes B K op), so that it joins the operator. The
// operand extents come from a symbolic run of the program: each entry of
// `start` is where the value on that stack level began. Gives true after one
// move (positions change, so the caller runs it again).
bool InstructionList::moveConstant() {
  std::vector<int> start, conds;
  const int n = int(prog_.size());
  for (int pc = 0; pc < n; ++pc) {
    const int c = prog_[pc].code;
    const int need = StackNeeds(c);
    if (c == Eval_Code) return false;
    if (StackEffect(c) == 1) {
      start.push_back(pc);
    } else if (c == If_Code) {
      if (start.empty()) return false;
      conds.push_back(start.back());
      start.pop_back();
    } else if (c == Elif_Code || c == Else_Code) {
      if (start.empty()) return false;
      start.pop_back();
    } else if (c == Endif_Code) {
      if (start.empty() || conds.empty()) return false;
      start.back() = conds.back();
      conds.pop_back();
    } else if (need == 2) {
      if (start.size() < 2) return false;
      const int sb = start.back();
      start.pop_back();
      const int sa = start.back();
      const int k = prog_[sa].code;
      const bool commutative =
          c == Add_Code || c == Mul_Code || c == EQ_Code || c == NE_Code || c == And_Code || c == Or_Code;
      if (commutative && sb == sa + 1 && pc > sb + 1 && (k == Number_Code || k == Pi_Code || k == Infinite_Code)) {
        std::rotate(prog_.begin() + sa, prog_.begin() + sa + 1, prog_.begin() + pc);
        return true;
      }
    } else if (need == 1 && start.empty()) {
      return false;
    }
  }
  return false;
}

// Joins a constant or a time variable pushed right before a binary operator
// into one step. Jumps only land behind else or endif markers, which are never
// joined, so the targets worked out afterwards see the same branches.
void InstructionList::fuse() {
  std::vector<MachineOp> out;
  out.reserve(prog_.size());
  for (const MachineOp& op : prog_) {
    if (!out.empty() && StackNeeds(op.code) == 2 && op.code < FusedConst_Base) {
      MachineOp& prev = out.back();
      double k = 0;
      int slot = -1;
      bool constant = true;
      switch (prev.code) {
        case Number_Code: k = prev.val; break;
        case Pi_Code: k = 3.141592653589793; break;
        case Infinite_Code: k = 1e100; break;
        case T_Code: slot = 0; constant = false; break;
        case It_Code: slot = 1; constant = false; break;
        case Dt_Code: slot = 2; constant = false; break;
        case Step_Code: slot = 3; constant = false; break;
        default: constant = false;
      }
      if (constant) {
        // Dividing by a power of two and multiplying by its inverse round the
        // same exact value, so both give the same double; the product is faster.
        int e = 0;
        if (op.code == Div_Code && std::fabs(std::frexp(k, &e)) == 0.5 && e > -1020 && e < 1020) {
          prev = MachineOp{FusedConst_Base + Mul_Code, op.arg, 1.0 / k};
          continue;
        }
        prev = MachineOp{FusedConst_Base + op.code, op.arg, k};
        continue;
      }
      if (slot >= 0) {
        prev = MachineOp{FusedVariable_Base + op.code, slot, 0.0};
        continue;
      }
    }
    out.push_back(op);
  }
  // A joined step whose left operand is itself a plain constant or variable
  // push becomes one push: K C V or V C K.
  std::vector<MachineOp> two;
  two.reserve(out.size());
  for (const MachineOp& op : out) {
    if (!two.empty()) {
      MachineOp& prev = two.back();
      const bool kv = op.code >= FusedVariable_Base && op.code < FusedConstVar_Base;
      const bool vk = op.code >= FusedConst_Base && op.code < FusedVariable_Base;
      const int slot = prev.code == T_Code ? 0 : prev.code == It_Code ? 1 : prev.code == Dt_Code ? 2
                       : prev.code == Step_Code ? 3 : -1;
      const bool k = prev.code == Number_Code || prev.code == Pi_Code || prev.code == Infinite_Code;
      if (kv && k) {
        const double v = prev.code == Number_Code ? prev.val : prev.code == Pi_Code ? 3.141592653589793 : 1e100;
        prev = MachineOp{FusedConstVar_Base + op.code - FusedVariable_Base, op.arg, v};
        continue;
      }
      if (vk && slot >= 0) {
        prev = MachineOp{FusedVarConst_Base + op.code - FusedConst_Base, slot, op.val};
        continue;
      }
    }
    // A condition V R K read at once by an if or elif becomes one branch step.
    if ((op.code == If_Code || op.code == Elif_Code) && !two.empty()) {
      MachineOp& prev = two.back();
      const int rel = prev.code - FusedVarConst_Base;
      if (rel >= GT_Code && rel <= NE_Code) {
        const int base = op.code == If_Code ? FusedIf_Base : FusedElif_Base;
        prev = MachineOp{base + 6 * prev.arg + (rel - GT_Code), 0, prev.val};
        continue;
      }
    }
    two.push_back(op);
  }
  prog_.swap(two);
}

// Bounds of the stack depth over every path (all jumps go forward, so one
// pass in program order sees every way into an instruction first). Sizes the
// stack and tells whether runs may skip the underflow checks.
void InstructionList::analyse() {
  const int n = int(prog_.size());
  std::vector<int> lo(n + 1, -1), hi(n + 1, -1);  // -1: not reached
  auto reach = [&](int pc, int l, int h) {
    if (lo[pc] < 0) {
      lo[pc] = l;
      hi[pc] = h;
    } else {
      lo[pc] = std::min(lo[pc], l);
      hi[pc] = std::max(hi[pc], h);
    }
  };
  lo[0] = hi[0] = 0;
  bool safe = true;
  int top = 1;
  for (int pc = 0; pc < n; ++pc) {
    if (lo[pc] < 0) continue;
    const int c = prog_[pc].code;
    int l = lo[pc], h = hi[pc];
    top = std::max(top, h);
    if (c == Eval_Code) {
      safe = false;  // its effect depends on the depth itself
      reach(pc + 1, 1, std::max(1, h));
      continue;
    }
    if (l < StackNeeds(c)) safe = false;
    const int push = StackEffect(c);
    l = std::max(0, l + push);
    h = std::max(0, h + push);
    top = std::max(top, h);
    if (c == Open_Code || c == Close_Code || c == Then_Code || c == Comma_Code || c == Hash_Code) continue;
    if (c == Else_Code) {
      reach(prog_[pc].arg, l, h);
      continue;
    }
    if (IsBranch(c)) reach(prog_[pc].arg, l, h);
    reach(pc + 1, l, h);
  }
  safe_ = safe;
  stack_.assign(std::size_t(top) + 2, 0.0);
}
