#include "input/functbl.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "foundation/error.h"
#include "foundation/reavec.h"
#include "input/input.h"
#include "input/line.h"

namespace {

bool Is(const char* text, const char* word) { return strcasecmp(text, word) == 0; }

// The word after w (marked); a missing one is fatal as the input reader reports it.
Word* After(Word* w) {
  Word* n = w->Next();
  if (!n) OLVU_FATAL("\"" << w->text << "\" must be followed by a word\n");
  return n;
}

}  // namespace

// ---------------------------------------------------------------- FuncTbl

FuncTbl::FuncTbl(int n) : compiler(std::make_unique<Compiler>()), functions(std::make_unique<Plex<Function>>(n)) {}

FuncTbl::~FuncTbl() = default;

void FuncTbl::store(int n, std::unique_ptr<Function> f) {
  functions->set_at(n, f.get());
  owned_.push_back(std::move(f));
}

int FuncTbl::readHeader(Word* first, Word** equal, const char* numberError) {
  first->used = 1;
  if (!Is(first->text, "F"))
    OLVU_FATAL("In function definition the first word must be \"F\". " << first->text << "?\n");
  Word* open = After(first);
  if (!Is(open->text, "(")) OLVU_FATAL("\"(\" missing in function definition. " << open->text << "?\n");
  if (open->nnumbers != 1) OLVU_FATAL(numberError << "\n");
  const double v = open->first->value;
  open->first->used = 1;
  if (!(v > -2147483649.0 && v < 2147483648.0)) OLVU_FATAL(numberError << "\n");
  Word* close = After(open);
  if (!Is(close->text, ")")) OLVU_FATAL("\")\" missing in function definition. " << close->text << "?\n");
  Word* eq = After(close);
  if (!Is(eq->text, "=")) OLVU_FATAL("\"=\" missing in function definition. " << eq->text << "?\n");
  *equal = eq;
  return int(v);
}

void FuncTbl::loadFrom(Input* in) {
  Word* first = in->GetLine()->FirstWord();
  if (!first) OLVU_FATAL("In function definition the first word must be \"F\". ?\n");
  Word* eq = nullptr;
  const int n = readHeader(first, &eq, "Verify function number");
  store(n, std::make_unique<Function>(compiler->compileFrom(eq)));
}

void FuncTbl::evaluate(double t, double it, double dt, int step) {
  int i = 0;
  while (Function* f = functions->next(i)) f->evaluate(t, it, dt, step, this);
}

Function* FuncTbl::Func(int n) { return exists(n) ? functions->get_at(n) : nullptr; }

int FuncTbl::exists(int n) { return n > 0 && !functions->free(n); }

int FuncTbl::isConstant(int n) { return exists(n) ? functions->get_at(n)->isConstant() : 1; }

int FuncTbl::isTemporal(int n) { return exists(n) ? functions->get_at(n)->isTemporal() : 0; }

int FuncTbl::isVariable(int n, DofType kind) { return exists(n) ? functions->get_at(n)->isVariable(kind) : 1; }

double FuncTbl::value(int n, FuncData* d, double def) {
  if (!exists(n)) return def;
  Function* f = functions->get_at(n);
  f->evaluate(d);
  return f->value();
}

void FuncTbl::value(int n, double t, double it, double dt, const ReaVec& x, const ReaVec& y, const ReaVec& z,
                    const ReaVec& w, ReaVec& res, double def) {
  const unsigned len = res.length();
  if (len == 0) OLVU_FATAL("FuncTbl::value res vector is not correct\n");
  double* r = res.GivePointer();
  if (!exists(n)) {
    for (unsigned i = 0; i < len; ++i) r[i] = def;
    return;
  }
  Function* f = functions->get_at(n);
  FuncData d;
  d.t = t;
  d.it = it;
  d.dt = dt;
  if (!f->isTemporal()) {
    if (t > 0) return;
    if (f->isConstant()) {
      const double v = f->evaluate(&d);
      for (unsigned i = 0; i < len; ++i) r[i] = v;
      return;
    }
  }
  // A coordinate vector of another length gives the default in its place.
  const double* px = x.length() == len ? x.GivePointer() : nullptr;
  const double* py = y.length() == len ? y.GivePointer() : nullptr;
  const double* pz = z.length() == len ? z.GivePointer() : nullptr;
  const double* pw = w.length() == len ? w.GivePointer() : nullptr;
  for (unsigned i = 0; i < len; ++i) {
    d.x = px ? px[i] : def;
    d.y = py ? py[i] : def;
    d.z = pz ? pz[i] : def;
    d.w = pw ? pw[i] : def;
    r[i] = f->evaluate(&d);
  }
}

double FuncTbl::value(int n) { return n == 0 ? 1.0 : functions->get_at(n)->value(); }

double FuncTbl::dvalue(int n) { return n == 0 ? 1.0 : functions->get_at(n)->dvalue(); }

void FuncTbl::clear() {
  functions->clear();
  owned_.clear();
}

// ---------------------------------------------------------------- UnitsFuncTbl

UnitsFuncTbl::UnitsFuncTbl(int n, Units* u) : FuncTbl(n), units_(u) {}

void UnitsFuncTbl::loadFrom(Input* in, const char*) {
  for (;;) {
    in->ReadMathLine();
    Word* first = in->GetLine()->FirstWord();
    if (!first || !Is(first->text, "F")) {
      in->JumpLine();
      return;
    }
    Word* eq = nullptr;
    const int n = readHeader(first, &eq, "Verify function number");
    store(n, std::make_unique<Function>(compiler->compileFrom(eq)));

    in->ReadLine();
    // A table cleared and read again keeps its names: the new one replaces the old.
    names_[n] = in->Exist("Name") ? std::string(in->GetWord("Name", nullptr)) : "Function_" + std::to_string(n);
    if (!in->Exist("Units")) OLVU_FATAL("Units not defined in function " << n << "\n");
    factors_[n] = in->GetRea("Units", To_Magnitude(DofType(n)));
  }
}

double UnitsFuncTbl::factorOf(int n) {
  auto f = factors_.find(n);
  return f == factors_.end() ? 1.0 : f->second;
}

double UnitsFuncTbl::value(int n, FuncData* d, double def) { return FuncTbl::value(n, d, def) * factorOf(n); }

double UnitsFuncTbl::value(int n) { return FuncTbl::value(n) * factorOf(n); }

double UnitsFuncTbl::dvalue(int n) { return FuncTbl::dvalue(n) * factorOf(n); }

const char* UnitsFuncTbl::Name(int n) {
  auto s = names_.find(n);
  return s == names_.end() ? nullptr : s->second.c_str();
}

// ---------------------------------------------------------------- CompilerCheck

namespace {

// Variable names the fluid and solid domains give vectors for.
const char* const CheckedVariables[] = {
    "Vx",  "Vy",  "Vz", "Vx_", "Vy_", "Vz_", "Vs",  "KVs", "Vt",  "Vc",  "Vc_", "Tau", "Wc",
    "Ds",  "Tm",  "Tm_", "Pr", "Prc", "Ps",  "Ps_", "KE",  "KE_", "PK",  "EN",  "EN_", "EP",
    "EP_", "OM",  "OM_", "KT", "KT_", "Dn",  "Dn_", "Cm",  "Bt",  "Mx",  "My",  "Mz",  "Mx_",
    "My_", "Mz_", "SDn", "Cp", "Kis", "Kxx", "Kxy", "Kyy", "Kxz", "Kyz", "Kzz",
};

// The strain-rate invariants need a domain's velocity gradients: no word of the checker.
constexpr CodeSet Invariants = CodeRanges({{IE1_Code, IE3_Code}});

// Indexed names: 0 when w is none of them, else the index after the prefix.
bool IndexedName(const char* w, long* k) {
  static const char* const prefixes[] = {"Sp_", "Ph_", "Sp", "Ph"};
  for (const char* p : prefixes) {
    std::size_t n = std::strlen(p);
    if (strncasecmp(w, p, n) != 0) continue;
    const char* rest = w + n;
    if (!*rest) return false;
    char* end = nullptr;
    *k = std::strtol(rest, &end, 10);
    return *end == '\0';
  }
  return false;
}

}  // namespace

// Numbers have no place between an operator and its ")": they would be lost.
Word* CompilerCheck::argumentOf(Word* op) {
  Word* open = advance();
  if (op->nnumbers || !open || !Is(open->text, "("))
    OLVU_FATAL("Function " << Info() << " compiler error: \"(\" expected after " << op->text << "\n");
  Word* arg = advance();
  if (open->nnumbers || !arg || arg->nnumbers)
    OLVU_FATAL("Function " << Info() << " compiler error: \")\" expected at the end of " << op->text << "\n");
  return arg;
}

void CompilerCheck::closeArgument(Word* op) {
  Word* close = advance();
  if (!close || !Is(close->text, ")"))
    OLVU_FATAL("Function " << Info() << " compiler error: \")\" expected at the end of " << op->text << "\n");
}

void CompilerCheck::checkVariable(const char* w) {
  for (const char* v : CheckedVariables)
    if (Is(w, v)) return;
  long k = 0;
  if (IndexedName(w, &k)) {
    if (k <= 0) OLVU_FATAL("Function " << Info() << " compiler error: Wrong Variable index " << k << "\n");
    return;
  }
  OLVU_FATAL("Function " << Info() << " compiler error: Unknown variable " << w << "\n");
}

Instruction* CompilerCheck::getInstruction() {
  Instruction* base = getInstructionIf();
  Word* w = currentWord();
  if (base || !w) return base;
  const char* text = w->text;

  if (const int c = WordCode(text, Syntax::NodeWord); c >= 0 && !Invariants.has(c))
    return new Instruction(ValidCode(c));

  if (WordCode(text, Syntax::NodeMaterial) >= 0) {
    Word* name = argumentOf(w);
    closeArgument(w);
    return new anIMaterial(-1, name->text);
  }

  if (const int c = WordCode(text, Syntax::NodeOperator); c >= 0) {
    checkVariable(argumentOf(w)->text);
    closeArgument(w);
    return new Instruction(ValidCode(c));
  }

  checkVariable(text);
  Word* after = peekWord();
  // A variable followed by a number is a plain variable: the number is the next operand.
  if (after && Is(after->text, "(") && w->nnumbers == 0) {
    // A node value var(n): the number is the node, not an operand.
    advance();
    dropPending();
    if (after->nnumbers != 1)
      OLVU_FATAL("Function " << Info() << " compiler error: one integer expected after " << text << "\n");
    after->first->used = 1;
    Word* close = advance();
    if (!close || !Is(close->text, ")"))
      OLVU_FATAL("Function " << Info() << " compiler error: \"(.)\" expected after " << text << "\n");
    return new Instruction(PntVariable_Code);
  }
  return new Instruction(Variable_Code);
}
