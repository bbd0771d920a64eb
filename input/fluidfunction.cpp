#include "input/fluidfunction.h"

#include <strings.h>

#include <cmath>
#include <string>

#include "foundation/bitvec.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/reavec.h"
#include "foundation/threads.h"
#include "input/input.h"
#include "input/line.h"
#include "input/blockmachine.h"
#include "input/stackmachine.h"

namespace {

bool Is(const char* text, const char* word) { return strcasecmp(text, word) == 0; }

// Codes that read the field of an aVariable.
constexpr CodeSet FieldCodes = CodeRanges({{Variable_Code, Aver_Code}});
// Codes that read the derivative matrices.
constexpr CodeSet DerivativeCodes = CodeRanges({{IE1_Code, IE3_Code}, {DX_Code, DZ_Code}});
// Codes that make a domain function temporal, and those that do only when the mesh moves.
constexpr CodeSet FluidTemporalCodes = CodeRanges(
    {{MaxV_Code, MaxV_Code}, {Srand_Code, Rand_Code}, {Min_Code, Dt_Code}, {IE1_Code, Aver_Code}, {Step_Code, Step_Code}});
constexpr CodeSet MovingMeshCodes = CodeRanges({{X_Code, NZ_Code}, {Rhoc_Code, YRot_Code}});

// The name of the function being evaluated, for the messages of codes it cannot evaluate.
const char* EvalName = "";

// Evaluation at one node of a domain: the time is the run's, the place and operands the node's.
struct NodeEnv {
  static constexpr CodeSet accepted =
      CodeRanges({{Pi_Code, Number_Code}, {Eval_Code, Atanh_Code}, {Chsgn_Code, If_Code}, {Elif_Code, Add_Code},
                  {Sub_Code, Sub_Code}, {Min_Code, Step_Code}});
  static constexpr const char* sqrt_error = "Function evaluation error: sqrt(x) with x==0 error";
  static constexpr const char* acos_error = "Function evaluation error: acos(x) with abs(x)>1 error";
  [[noreturn]] static void refuse(int c) {
    OLVU_FATAL("Function " << EvalName << " error: Can not evaluate instruction " << c << "\n");
  }

  double var[4];
  const DomainView& v;
  const double* const* slot;
  int k;                        // 0-based node
  int first = 0;                // node of lane 0 of a contiguous block
  const int* index = nullptr;   // 1-based nodes of the lanes of a gathered block

  void seek(int lane) { k = index ? index[lane] - 1 : first + lane; }
  // A field read at every lane is a copy (contiguous) or a gather.
  bool nodeBlock(const MachineOp& op, const InstructionList&, int lanes, double* out) const {
    if (op.code != Variable_Code) return false;
    const double* f = slot[op.arg];
    if (index)
      for (int i = 0; i < lanes; ++i) out[i] = f[index[i] - 1];
    else
      for (int i = 0; i < lanes; ++i) out[i] = f[first + i];
    return true;
  }

  NodeEnv(const DomainView& view, const double* const* slots, int node)
      : var{Total_Time, double(Iterations), Run_Time_Increment, double(Current_Step)}, v(view), slot(slots), k(node) {}
  double x() const { return v.coords[k]->GivePointer()[0]; }
  double y() const { return v.coords[k]->GivePointer()[1]; }
  double z() const { return v.coords[k]->GivePointer()[2]; }
  double F(int) const { return 0; }
  double dF(int) const { return 0; }

  // Row product of a matrix on the node graph with field f, times the normalisation.
  double derivative(const double* g, const double* f) const {
    double s = 0;
    for (int p = v.graphRow[k], e = v.graphRow[k + 1]; p < e; ++p) s += g[p] * f[v.graphCol[p]];
    return s * v.invLumped[k];
  }
  double normal(int c) const {
    const int node = k + 1;
    if (!v.normals || node > v.normals->high || v.normals->free(node)) return 0;
    return v.normals->get_at(node)->GivePointer()[c];
  }
  // Symmetrised velocity gradient at the node (slots 0..2 of the velocity block hold u, v, w).
  void strain(const double* const* u, double e[3][3]) const {
    const double* g[3] = {v.gx, v.gy, v.gz};
    double d[3][3];
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) d[a][b] = derivative(g[b], u[a]);
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) e[a][b] = 0.5 * (d[a][b] + d[b][a]);
  }

  double node(const MachineOp& op, const InstructionList& list) {
    const double* f = slot[op.arg];
    switch (op.code) {
      case NX_Code: return normal(0);
      case NY_Code: return normal(1);
      case NZ_Code: return normal(2);
      case IE1_Code:
        return derivative(v.gx, slot[op.arg]) + derivative(v.gy, slot[op.arg + list.count()]) +
               derivative(v.gz, slot[op.arg + 2 * list.count()]);
      case IE2_Code:
      case IE3_Code: {
        const double* u[3] = {slot[op.arg], slot[op.arg + list.count()], slot[op.arg + 2 * list.count()]};
        double e[3][3];
        strain(u, e);
        if (op.code == IE2_Code) {
          double s = 0;
          for (auto& row : e)
            for (double x : row) s += x * x;
          return s;
        }
        return e[0][0] * (e[1][1] * e[2][2] - e[1][2] * e[2][1]) - e[0][1] * (e[1][0] * e[2][2] - e[1][2] * e[2][0]) +
               e[0][2] * (e[1][0] * e[2][1] - e[1][1] * e[2][0]);
      }
      case Variable_Code: return f[k];
      case PntVariable_Code: return *f;
      case DX_Code: return derivative(v.gx, f);
      case DY_Code: return derivative(v.gy, f);
      case DZ_Code: return derivative(v.gz, f);
      case MaxVar_Code:
      case MinVar_Code: {
        auto* m = static_cast<aMaxVariable*>(list.at(op.arg));
        if (m->time != Total_Time) {
          m->time = Total_Time;
          m->cached = op.code == MaxVar_Code ? m->vector->max_val() : m->vector->min_val();
        }
        return m->cached;
      }
      case MaxS_Code:
      case MinS_Code:
      case MedS_Code: {
        double lo = f[k], hi = f[k];
        for (int p = v.graphRow[k], e = v.graphRow[k + 1]; p < e; ++p) {
          const double x = f[v.graphCol[p]];
          lo = x < lo ? x : lo;
          hi = x > hi ? x : hi;
        }
        return op.code == MaxS_Code ? hi : op.code == MinS_Code ? lo : 0.5 * (lo + hi);
      }
      case Aver_Code: {
        double s = 0;
        for (int p = v.massRow[k], e = v.massRow[k + 1]; p < e; ++p) s += v.massVal[v.massPos[p]] * f[v.massCol[p]];
        return s * v.invLumped[k];
      }
      case IMaterial_Code: {
        // The slot holds the material's bits, or null for a material without node set.
        const auto* bits = reinterpret_cast<const unsigned char*>(f);
        return bits ? double((bits[k >> 3] >> (k & 7)) & 1) : 0.0;
      }
      default: refuse(op.code);
    }
  }
};

}  // namespace

// ---------------------------------------------------------------- compiler

ReaVec* FluidCompiler::operandOf(Word* op, const char* opName) {
  Word* open = advance();
  if (!open || !Is(open->text, "("))
    OLVU_FATAL("Function " << Info() << " compiler error: \"(\" expected after " << opName << "\n");
  dropPending();
  Word* arg = advance();
  if (!arg || arg->nnumbers)
    OLVU_FATAL("Function " << Info() << " compiler error: Only variables are allowed in Dx, Dy, Dz operators. Found "
                           << (arg ? arg->text : op->text) << ".\n");
  ReaVec* v = domain_->GiveVector(arg->text);
  if (!v)
    OLVU_FATAL("Function " << Info() << " compiler error: Only variables are allowed in Dx, Dy, Dz operators. Found "
                           << arg->text << ".\n");
  Word* close = advance();
  if (!close || !Is(close->text, ")"))
    OLVU_FATAL("Function " << Info() << " compiler error: \")\" expected at the end of " << arg->text
                           << "\n\tOnly variables (not functions) are allowed in this operator.\n");
  return v;
}

Instruction* FluidCompiler::getInstruction() {
  Instruction* base = getInstructionIf();
  Word* w = currentWord();
  if (base || !w) return base;
  const char* text = w->text;

  if (const int c = WordCode(text, Syntax::NodeWord); c >= 0) return new Instruction(ValidCode(c));

  if (WordCode(text, Syntax::NodeMaterial) >= 0) {
    Word* open = advance();
    if (!open || !Is(open->text, "("))
      OLVU_FATAL("Function " << Info() << " compiler error: \"(\" expected after Mat\n");
    dropPending();
    Word* name = advance();
    Word* close = name ? advance() : nullptr;
    if (!name || !close || !Is(close->text, ")"))
      OLVU_FATAL("Function " << Info() << " compiler error: \")\" expected at the end of Mat().\n");
    return new anIMaterial(-1, name->text);
  }

  if (const int c = WordCode(text, Syntax::NodeOperator); c >= 0) {
    // The derivatives name themselves in the message, every other operator reads as MaxS.
    ReaVec* v = operandOf(w, c <= DZ_Code ? OpOf(c).word : "MaxS");
    if (c == MaxVar_Code || c == MinVar_Code) return new aMaxVariable(ValidCode(c), v);
    return new aVariable(ValidCode(c), v);
  }

  ReaVec* v = domain_->GiveVector(text);
  if (!v) OLVU_FATAL("Function " << Info() << " compiler error: Unknown or not available instruction " << text << ".\n");
  Word* after = peekWord();
  // A variable followed by a number is a plain variable: the number is the next operand.
  if (after && Is(after->text, "(") && w->nnumbers == 0 && after->nnumbers > 0) {
    advance();
    dropPending();
    if (after->nnumbers != 1)
      OLVU_FATAL("Function " << Info() << " compiler error: one integer expected after " << text << "\n");
    after->first->used = 1;
    const double n = after->first->value;
    if (!(n >= 1 && n < 2147483648.0) || n != std::trunc(n))
      OLVU_FATAL("Function " << Info() << " compiler error: one integer >0 expected after " << text << "\n");
    Word* close = advance();
    if (!close || !Is(close->text, ")"))
      OLVU_FATAL("Function " << Info() << " compiler error: \"(.)\" expected after " << text << "\n");
    return new aPntVariable(int(n), v);
  }
  return new aVariable(Variable_Code, v);
}

// ---------------------------------------------------------------- function

FluidFunction::FluidFunction(InstructionList* list, FunctionDomain* d, double factor, const char* name)
    : Function(list), domain_(d), factor_(factor), name_(name ? name : "") {}

void FluidFunction::newname(const char* n) {
  name_ = n ? n : "";
}

double FluidFunction::evaluate_constant() { return Function::evaluate_constant() * factor_; }

int FluidFunction::isTemporal() {
  if (temporal_ >= 0) return temporal_;
  if (code_->holds(FluidTemporalCodes)) return temporal_ = 1;
  if (code_->holds(MovingMeshCodes) && domain_ && domain_->View().meshMoves) return temporal_ = 1;
  return temporal_ = 0;
}

void FluidFunction::bind() {
  code_->prepare();
  view_ = domain_->View();
  const int n = code_->count();
  // Three blocks of slots: the operand of each instruction, then the second and third velocity
  // components of the strain invariants.
  slots_.assign(std::size_t(3 * n), nullptr);
  bool velocity = false;
  for (int k = 0; k < n; ++k) {
    Instruction* ins = code_->at(k);
    const int c = ins->code;
    if (DerivativeCodes.has(c) || c == Aver_Code) {
      if (!view_.graphRow || !view_.invLumped || (c == Aver_Code && !view_.massRow)) {
        const char* dn = c == DY_Code ? "Dy" : c == DZ_Code ? "Dz" : "Dx";
        OLVU_FATAL("Function " << name_ << " error: One (or more) function variables can not be used in " << dn
                               << "()\n");
      }
    }
    if (c >= IE1_Code && c <= IE3_Code) {
      const char* names[3] = {"Vx", "Vy", "Vz"};
      for (int a = 0; a < 3; ++a) {
        ReaVec* u = domain_->GiveVector(names[a]);
        if (!u || int(u->length()) != view_.nodes)
          OLVU_FATAL("Function " << name_ << " error: Ie1 cannot be evaluated. Velocity not initialised.\n");
        slots_[std::size_t(k + a * n)] = u->GivePointer();
      }
      velocity = true;
    } else if (FieldCodes.has(c)) {
      auto* var = static_cast<aVariable*>(ins);
      if (int(var->vector->length()) != view_.nodes || view_.nodes == 0) {
        if (c >= DX_Code && c <= DZ_Code)
          OLVU_FATAL("Function " << name_ << " error: One (or more) function variables can not be used in D"
                                 << char('x' + (c - DX_Code)) << "()\n");
        OLVU_FATAL("Function " << name_ << " error: One (or more) function variables can not be used\n");
      }
      slots_[std::size_t(k)] = var->vector->GivePointer();
      if (c == PntVariable_Code) {
        const int p = static_cast<aPntVariable*>(ins)->node;
        const IntVec* map = view_.globalToLocal;
        const int local = (map && p <= int(map->length())) ? (*map)(unsigned(p)) : 0;
        if (local <= 0 || local > view_.nodes)
          OLVU_FATAL("Function " << name_ << " error: Node " << p << " does not belong to the domain\n");
        slots_[std::size_t(k)] = var->vector->GivePointer() + (local - 1);
      }
    } else if (c == IMaterial_Code) {
      auto* mat = static_cast<anIMaterial*>(ins);
      if (mat->index == -1) {
        mat->index = domain_->GiveMaterialIndex(mat->name.c_str());
        if (mat->index == -1) OLVU_FATAL("Function " << name_ << " error: Unknown material " << mat->name << "\n");
      }
      const BitVec* b = domain_->MaterialNodes(mat->index);
      slots_[std::size_t(k)] = (b && int(b->length()) >= view_.nodes) ? reinterpret_cast<const double*>(b->data) : nullptr;
    }
  }
  (void)velocity;
  block_ = olvu_machine::Blockable<NodeEnv>(*code_);
}

double FluidFunction::at(int node) {
  EvalName = name_.c_str();
  NodeEnv env(view_, slots_.data(), node - 1);
  return olvu_machine::RunMachine(*code_, env) * factor_;
}

double FluidFunction::evaluate(int node) {
  bind();
  if (node < 1 || node > view_.nodes) OLVU_FATAL("Function " << name_ << " error: node " << node << " out of the domain\n");
  return at(node);
}

void FluidFunction::fill(ReaVec& out) {
  bind();
  const int n = int(out.length()) < view_.nodes ? int(out.length()) : view_.nodes;
  double* o = out.GivePointer();
  if (Initialised() && isConstant()) {  // the value of every node, worked out once
    const double c = evaluate_constant();
    ParallelFor(std::size_t(n), [=](std::size_t k) { o[k] = c; });
    return;
  }
  EvalName = name_.c_str();
  NodeEnv env(view_, slots_.data(), 0);
  const double f = factor_;
  int k = 0;
  if (block_)
    for (; k + olvu_machine::BlockLanes <= n; k += olvu_machine::BlockLanes) {
      env.first = k;
      olvu_machine::RunBlock(*code_, env, olvu_machine::BlockLanes, o + k);
      for (int i = k; i < k + olvu_machine::BlockLanes; ++i) o[i] *= f;
    }
  for (; k < n; ++k) {
    env.k = k;
    o[k] = olvu_machine::RunMachine(*code_, env) * f;
  }
}

void FluidFunction::addWeighted(ReaVec& out, const int* nodes, const double* w, int n) {
  bind();
  double* o = out.GivePointer();
  EvalName = name_.c_str();
  NodeEnv env(view_, slots_.data(), 0);
  const double f = factor_;
  int k = 0;
  if (block_) {
    double lane[olvu_machine::BlockLanes];
    for (; k + olvu_machine::BlockLanes <= n; k += olvu_machine::BlockLanes) {
      env.index = nodes + k;
      olvu_machine::RunBlock(*code_, env, olvu_machine::BlockLanes, lane);
      for (int i = 0; i < olvu_machine::BlockLanes; ++i) o[nodes[k + i] - 1] += lane[i] * f * w[k + i];
    }
    env.index = nullptr;
  }
  for (; k < n; ++k) {
    env.k = nodes[k] - 1;
    o[env.k] += olvu_machine::RunMachine(*code_, env) * f * w[k];
  }
}

int FluidFunction::update(ReaVec& v, const BitVec& mask) {
  if (!Initialised()) {
    fill(v);
    isConstant();
    isTemporal();
    return constant_;
  }
  if (!isTemporal()) return constant_;
  const unsigned n = v.length() < mask.length() ? v.length() : mask.length();
  if (isConstant()) {
    const double c = evaluate_constant();
    for (unsigned i = 0; i < n; ++i)
      if (mask[i]) v.GivePointer()[i] = c;
    return constant_;
  }
  bind();
  EvalName = name_.c_str();
  const unsigned m = n < unsigned(view_.nodes) ? n : unsigned(view_.nodes);
  NodeEnv env(view_, slots_.data(), 0);
  for (unsigned i = 0; i < m; ++i)
    if (mask[i]) {
      env.k = int(i);
      v.GivePointer()[i] = olvu_machine::RunMachine(*code_, env) * factor_;
    }
  return constant_;
}

double FluidFunction::update(int node, double& value, int flag) {
  if (flag && isTemporal()) value = evaluate(node);
  return value;
}

int FluidFunction::IFupdate(int node, double& value, int flag) {
  if (flag && isTemporal()) {
    value = evaluate(node);
    return 1;
  }
  return 0;
}

// ---------------------------------------------------------------- table

FluidFuncTbl::FluidFuncTbl(int n, Units* u, FunctionDomain* d) : domain_(d), units_(u) {
  compiler = std::make_unique<FluidCompiler>(d);
  functions = std::make_unique<Plex<Function>>(n, "Fluid domain functions");
}

void FluidFuncTbl::setName(int n, std::string name) {
  // Refused as the function table refuses a bad or repeated number, under the names' own title.
  static const char* const title = "Fluid domain functions names";
  if (n <= 0) OLVU_FATAL("Invalid Plex " << title << " index " << n << "\n");
  if (!names_.emplace(n, std::move(name)).second) OLVU_FATAL("Repeated index " << n << " in Plex " << title << "\n");
}

const char* FluidFuncTbl::Name(int k) {
  auto s = names_.find(k);
  return s == names_.end() ? nullptr : s->second.c_str();
}

double FluidFuncTbl::value(int kind, int node, double dflt, int check) {
  if (kind == 0 || !exists(kind)) return dflt;
  FluidFunction* f = FFunc(kind);
  if (!f->Initialised()) {
    f->isConstant();
    f->isTemporal();
  }
  const double v = f->evaluate(node);
  if (check && dflt > v)
    OLVU_FATAL("Wrong " << f->Name() << " value found in node " << node << ".\n\tCheck material data.\n");
  return v;
}

void FluidFuncTbl::readFrom(Input* in, const char* endword, const char* prefix) {
  for (;;) {
    in->ReadLine();
    if (in->Exist(endword)) return;
    const char* kindWord = in->GetWord("Function", nullptr);
    const DofType kind = To_FieldDof(kindWord);
    const std::string key = kindWord;
    const std::string name = (prefix && *prefix) ? std::string(prefix) + " " + key : key;
    setName(int(kind), name);
    std::unique_ptr<Function> f(in->GetFluidFunc(key.c_str(), domain_, To_Magnitude(kind), name.c_str()));
    static_cast<FluidFunction*>(f.get())->newname(name.c_str());
    store(int(kind), std::move(f));
  }
}

void FluidFuncTbl::loadFrom(Input* in, const char* endword, const char* material) {
  for (;;) {
    in->ReadMathLine();
    Word* first = in->GetLine()->FirstWord();
    if (!first || !Is(first->text, "F")) {
      if (first && Is(first->text, endword)) {
        in->JumpLine();
        return;
      }
      if (Verbose_Off <= 1) OLVU_WARNING(0, "Wrong format found reading " << (material ? material : ""));
      in->HoldLine();
      return;
    }
    Word* eq = nullptr;
    const int n = readHeader(first, &eq, "Verify fluidfunction number");
    const std::string name = std::string(To_FieldName(DofType(n))) + " " + (material ? material : "");
    setName(n, name);
    compiler->readInfo(name.c_str());
    InstructionList* list = compiler->compileFrom(eq);

    in->ReadLine();
    std::string& stored = names_[n];
    if (in->Exist("Name")) stored = in->GetWord("Name", nullptr);
    if (!in->Exist("Units")) OLVU_FATAL("Units not defined in function " << stored << "\n");
    const double factor = in->GetRea("Units", To_Magnitude(DofType(n)));
    store(n, std::make_unique<FluidFunction>(list, domain_, factor, stored.c_str()));
  }
}
