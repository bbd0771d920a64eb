#include "input/compiler.h"

#include <strings.h>

#include <algorithm>
#include <cmath>

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

// The base vocabulary: the table's words outside the node words (which only
// a compiler that knows a domain reads). "e", "<", ">", "~" and
// "Interpolate" are read apart.
bool IsBaseWord(const OpInfo& op) {
  return op.word && op.syntax != Syntax::NodeWord && op.syntax != Syntax::NodeVariable &&
         op.syntax != Syntax::NodeOperator && op.syntax != Syntax::NodeMaterial;
}

// Codes written name(expr).
constexpr CodeSet FunctionCodes = CodesOf({Syntax::Call});

// Codes that stand alone as operands.
constexpr CodeSet OperandCodes =
    CodesOf({Syntax::Operand, Syntax::NodeWord, Syntax::NodeVariable, Syntax::NodeOperator, Syntax::NodeMaterial});

// Operators of each loop level of the grammar.
constexpr CodeSet OrCodes = CodesOf({Syntax::OrOp});
constexpr CodeSet AndCodes = CodesOf({Syntax::AndOp});
constexpr CodeSet RelationalCodes = CodesOf({Syntax::RelOp});
constexpr CodeSet AdditiveCodes = CodesOf({Syntax::AddOp});
constexpr CodeSet MultiplicativeCodes = CodesOf({Syntax::MulOp});
constexpr CodeSet PowCodes = CodesOf({Syntax::PowOp});

bool IsCode(const Instruction* i, ValidCode c) { return i && i->code == c; }

/// An instruction the compiler holds between taking it and placing it in the list (or dropping
/// it), so that a fatal stop in between frees it.
using Held = std::unique_ptr<Instruction>;

// True when code is a valid code of evaluation form f.
bool IsForm(int code, Form f) { return code >= 0 && code < NCodes && Opcodes[code].form == f; }

// The value a CONST step pushes.
double ConstValue(const MachineOp& op) {
  switch (op.code) {
#define OLVU_OP_CONST(c, v, n, w, s, x) \
  case v:                               \
    return (x);
    OLVU_OPCODES(OLVU_OP_SKIP, OLVU_OP_SKIP, OLVU_OP_CONST, OLVU_OP_SKIP, OLVU_OP_SKIP, OLVU_OP_SKIP, OLVU_OP_SKIP,
                 OLVU_OP_SKIP, OLVU_OP_SKIP)
#undef OLVU_OP_CONST
  }
  return 0;
}

}  // namespace

std::ostream& operator<<(std::ostream& os, ValidCode code) {
  int c = int(code);
  return os << ((c >= 0 && c < NCodes) ? Opcodes[c].name : "\"Unknown Instruction\"");
}

// ---------------------------------------------------------------- instructions

Interpolate::Interpolate(ReaVec* data) : Instruction(Interpolate_Code), table(data) {}

Interpolate::~Interpolate() = default;


anIMaterial::anIMaterial(int i, const char* n) : Instruction(IMaterial_Code), index(i), name(n) {}

// ---------------------------------------------------------------- compiler

void Compiler::readInfo(const char* name) { name_ = name; }

const char* Compiler::Info() { return name_.c_str(); }

void Compiler::backInstruction(Instruction* i) {
  Held held(i);
  if (back_) OLVU_FATAL("Function " << Info() << " compiler error: To many backed instructions\n");
  back_ = std::move(held);
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
  if (back_) return back_.release();
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
  for (const OpInfo& op : Opcodes)
    if (IsBaseWord(op) && Is(text, op.word)) return new Instruction(ValidCode(op.code));
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
  Held i(getInstruction());
  if (i && ops.has(i->code)) return i.release();
  if (i) backInstruction(i.release());
  return nullptr;
}

void Compiler::expect(ValidCode c, const char* text) {
  const Held i(getInstruction());
  if (!IsCode(i.get(), c)) OLVU_FATAL("Function " << Info() << text << "\n");
}

InstructionList* Compiler::compileFrom(Word* start) {
  word_ = start;
  back_.reset();
  nesting_ = 0;
  list_ = std::make_unique<InstructionList>();
  pending_ = start && NumbersOf(start) > 0;
  expression();
  Held left = std::move(back_);
  // Words after a complete expression are refused rather than dropped.
  if (!left) left.reset(getInstruction());
  if (left) OLVU_FATAL("Function " << Info() << " compiler error: Instruction \"" << left->code << "\" can not be compiled\n");
  list_->prepare();
  return list_.release();
}

void Compiler::expression() {
  // Every nesting (brackets, arguments, branches) passes here: a limit keeps
  // the recursion of the compiler inside its stack.
  if (nesting_ >= MaxNesting)
    OLVU_FATAL("Function " << Info() << " compiler error: Expression nested deeper than " << MaxNesting
                           << " levels\n");
  ++nesting_;
  nestedExpression();
  --nesting_;
}

void Compiler::nestedExpression() {
  Held i(getInstruction());
  if (!IsCode(i.get(), If_Code)) {
    if (i) backInstruction(i.release());
    or_expression();
    return;
  }
  expect(Open_Code, " compiler error: \"(\" expected after if");
  or_expression();
  expect(Close_Code, " compiler error: \")\" expected after if(...");
  append(i.release());
  expect(Then_Code, " compiler error: \"then\" expected after if(...)");
  elif_expression();
  Held e(getInstruction());
  if (!IsCode(e.get(), Else_Code)) OLVU_FATAL("Function " << Info() << "compiler error: \"else\" missing\n");
  append(e.release());
  expression();
  Held end(getInstruction());
  if (!IsCode(end.get(), Endif_Code)) OLVU_FATAL("Function " << Info() << " compiler error: \"endif\" missing\n");
  append(end.release());
}

void Compiler::elif_expression() {
  expression();
  for (;;) {
    Held i(getInstruction());
    if (!i) OLVU_FATAL("Function " << Info() << " compiler error: \"endif\" missing\n");
    if (i->code != Elif_Code) {
      backInstruction(i.release());
      return;
    }
    expect(Open_Code, " compiler error: \"(\" expected after elif");
    append(new Instruction(Else_Code));
    or_expression();
    expect(Close_Code, " compiler error: \")\" expected after elif(...");
    append(i.release());
    expect(Then_Code, " compiler error: \"then\" expected after elif(...)");
    expression();
  }
}

void Compiler::leftAssociative(const CodeSet& ops, void (Compiler::*first)(), void (Compiler::*next)()) {
  (this->*first)();
  while (Held i = Held(takeOperator(ops))) {
    (this->*next)();
    append(i.release());
  }
}

void Compiler::or_expression() {
  leftAssociative(OrCodes, &Compiler::and_expression, &Compiler::and_expression);
}

void Compiler::and_expression() {
  leftAssociative(AndCodes, &Compiler::relational_expression, &Compiler::relational_expression);
}

void Compiler::relational_expression() {
  leftAssociative(RelationalCodes, &Compiler::additive_expression, &Compiler::additive_expression);
}

// The sign belongs to the first term only: the later terms are multiplicative expressions.
void Compiler::additive_expression() {
  leftAssociative(AdditiveCodes, &Compiler::signed_expression, &Compiler::multiplicative_expression);
}

void Compiler::signed_expression() {
  const bool negative = IsCode(Held(takeOperator(AdditiveCodes)).get(), Sub_Code);
  multiplicative_expression();
  if (negative) append(new Instruction(Chsgn_Code));
}

void Compiler::multiplicative_expression() {
  leftAssociative(MultiplicativeCodes, &Compiler::exponent_expression, &Compiler::exponent_expression);
}

void Compiler::exponent_expression() {
  leftAssociative(PowCodes, &Compiler::function_expression, &Compiler::function_expression);
}

void Compiler::function_expression() {
  Held i(getInstruction());
  if (i && FunctionCodes.has(i->code)) {
    expect(Open_Code, " compiler error: \"(\" expected after function_name");
    expression();
    expect(Close_Code, " compiler error: \")\" expected after function_name(...");
    append(i.release());
  } else if (IsCode(i.get(), Interpolate_Code)) {
    expect(Hash_Code, " compiler error: \"#\" expected after Interpolate(#data...");
    expression();
    expect(Close_Code, " compiler error: \")\" expected after Interpolate(#data#func...");
    append(i.release());
  } else {
    if (i) backInstruction(i.release());
    primary_expression();
  }
}

void Compiler::primary_expression() {
  Held i(getInstruction());
  if (!i) OLVU_FATAL("Function " << Info() << " compiler error: expression code missing\n");
  if (i->code == Open_Code) {
    i.reset();
    expression();
    const Held c(getInstruction());
    if (!IsCode(c.get(), Close_Code))
      OLVU_FATAL("Function " << Info() << " compiler error: Unbalanced parenthesis found\n");
  } else if (OperandCodes.has(i->code)) {
    append(i.release());
  } else {
    OLVU_FATAL("Function " << Info() << " compiler error: Syntax error " << i->code << " in function\n");
  }
}

// ---------------------------------------------------------------- instruction list

int StackNeeds(int code) {
  if (code >= FusedConstVar_Base) return 0;  // pushes and joined conditions
  if (code >= FusedConst_Base) return 1;
  return code >= 0 && code < NCodes ? Opcodes[code].pops : 0;
}

void InstructionList::append(Instruction* i) {
  items_.emplace_back(i);
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
    const Instruction* ins = items_[k].get();
    MachineOp op{int(ins->code), int(k), 0.0};
    if (op.code >= 0 && op.code < 128) codes_.add(op.code);
    if (op.code == Number_Code) {
      op.val = static_cast<const aNumber*>(ins)->value;
    } else if (op.code == Interpolate_Code) {
      const ReaVec* t = static_cast<const Interpolate*>(ins)->table.get();
      op.arg = int(tables_.size());
      tables_.push_back(MachineTable{t->GivePointer(), int(t->length() / 2)});
    }
    prog_.push_back(op);
  }
  moveConstants();
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
  if (code >= FusedConstVar_Base) return 1;
  if (code >= FusedConst_Base) return 0;
  return code >= 0 && code < NCodes ? Opcodes[code].push : 0;
}

// A constant left operand of a commutative operator is moved behind the
// right operand (K B op becomes B K op), so that it joins the operator. The
// operand extents come from a symbolic run of the program: each entry of
// `start` is where the value on that stack level began. A move only shifts
// the steps of the right operand, which the run has passed, and leaves the
// operator's value starting at the same place, so one pass makes every move.
void InstructionList::moveConstants() {
  std::vector<int> start, conds;
  const int n = int(prog_.size());
  for (int pc = 0; pc < n; ++pc) {
    const int c = prog_[pc].code;
    const int need = StackNeeds(c);
    if (c == Eval_Code) return;
    if (StackEffect(c) == 1) {
      start.push_back(pc);
    } else if (c == If_Code) {
      if (start.empty()) return;
      conds.push_back(start.back());
      start.pop_back();
    } else if (c == Elif_Code || c == Else_Code) {
      if (start.empty()) return;
      start.pop_back();
    } else if (c == Endif_Code) {
      if (start.empty() || conds.empty()) return;
      start.back() = conds.back();
      conds.pop_back();
    } else if (need == 2) {
      if (start.size() < 2) return;
      const int sb = start.back();
      start.pop_back();
      const int sa = start.back();
      if (Opcodes[c].commutative && sb == sa + 1 && pc > sb + 1 && IsForm(prog_[sa].code, Form::Const)) {
        std::rotate(prog_.begin() + sa, prog_.begin() + sa + 1, prog_.begin() + pc);
      }
    } else if (need == 1 && start.empty()) {
      return;
    }
  }
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
      if (IsForm(prev.code, Form::Const)) {
        const double k = ConstValue(prev);
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
      if (IsForm(prev.code, Form::Var)) {
        prev = MachineOp{FusedVariable_Base + op.code, Opcodes[prev.code].slot, 0.0};
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
      if (kv && IsForm(prev.code, Form::Const)) {
        prev = MachineOp{FusedConstVar_Base + op.code - FusedVariable_Base, op.arg, ConstValue(prev)};
        continue;
      }
      if (vk && IsForm(prev.code, Form::Var)) {
        prev = MachineOp{FusedVarConst_Base + op.code - FusedConst_Base, Opcodes[prev.code].slot, op.val};
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
    // A marker or a refused code stops the run: nothing comes after it.
    if (IsForm(c, Form::Marker) || IsForm(c, Form::Refused)) continue;
    if (c == Else_Code) {
      reach(prog_[pc].arg, l, h);
      continue;
    }
    if (IsBranch(c)) reach(prog_[pc].arg, l, h);
    reach(pc + 1, l, h);
  }
  safe_ = safe;
  depth_ = top;
}
