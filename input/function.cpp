#include "input/function.h"

#include "foundation/error.h"
#include "input/functbl.h"
#include "input/stackmachine.h"

namespace {

// What the evaluation forms share: no fluid operands, no coordinates.
struct BaseEnv {
  static constexpr const char* sqrt_error = "Function evaluation error: sqrt(x) with x==0 error";
  static constexpr const char* acos_error = "Function evaluation error: acos(x) with abs(x)>1 error";
  double x() const { return 0; }
  double y() const { return 0; }
  double z() const { return 0; }
};

// evaluate(t, it, dt, step, table).
struct TimeEnv : BaseEnv {
  static constexpr CodeSet accepted =
      CodeRanges({{2, 10}, {12, 22}, {Asinh_Code, Atanh_Code}, {26, 33}, {35, 56}, {59, 63}, {85, 85}});
  static constexpr const char* acos_error = "FFunction evaluation error: acos(x) with abs(x)>1 error";
  [[noreturn]] static void refuse(int c) {
    OLVU_FATAL("Function evaluation: Can not evaluate instruction " << ValidCode(c) << "\n");
  }
  double var[4];
  FuncTbl* table;
  TimeEnv(double t, double it, double dt, int step, FuncTbl* tbl) : var{t, it, dt, double(step)}, table(tbl) {}
  FuncTbl* tableFor() const {
    if (!table) OLVU_FATAL("Function evaluation error: F(n) used without a function table\n");
    return table;
  }
  double F(int n) const { return tableFor()->value(n); }
  double dF(int n) const { return tableFor()->dvalue(n); }
};

// UFunction::evaluate(t, it, dt, step): the time form without F and dF.
struct UnitsTimeEnv : TimeEnv {
  using TimeEnv::TimeEnv;
  static constexpr CodeSet accepted =
      CodeRanges({{2, 8}, {12, 22}, {Asinh_Code, Atanh_Code}, {26, 33}, {35, 56}, {59, 63}, {85, 85}});
};

// evaluate(FuncData*).
struct PointEnv : BaseEnv {
  static constexpr CodeSet accepted = CodeRanges({{2, 4}, {6, 8}, {11, 22}, {Asinh_Code, Atanh_Code}, {26, 33}, {35, 56}, {59, 66}});
  [[noreturn]] static void refuse(int c) {
    OLVU_FATAL("Function error: Can not evaluate instruction " << ValidCode(c) << "\n");
  }
  const FuncData* d;
  double var[4];
  explicit PointEnv(const FuncData* data) : d(data), var{data->t, data->it, data->dt, 0} {}
  double x() const { return d->x; }
  double y() const { return d->y; }
  double z() const { return d->z; }
  double F(int) const { return 0; }
  double dF(int) const { return 0; }
};

// evaluate_constant().
struct ConstantEnv : BaseEnv {
  static constexpr CodeSet accepted =
      CodeRanges({{2, 4}, {6, 8}, {11, 11}, {13, 22}, {Asinh_Code, Atanh_Code}, {26, 30}, {33, 33}, {35, 56}, {59, 60}});
  static constexpr const char* sqrt_error = "sqrt(x) with x==0 error";
  [[noreturn]] static void refuse(int c) {
    OLVU_FATAL("Constant Function evaluation error: Can not evaluate instruction " << ValidCode(c) << "\n");
  }
  double var[4] = {0, 0, 0, 0};
  double F(int) const { return 0; }
  double dF(int) const { return 0; }
};

}  // namespace

const CodeSet NonConstantCodes =
    CodeRanges({{MaxV_Code, MaxV_Code}, {F_Code, DF_Code}, {Interpolate_Code, Interpolate_Code}, {Srand_Code, Rand_Code},
           {Min_Code, Max_Code}, {T_Code, Phis_Code}});
const CodeSet TemporalCodes = CodeRanges({{MaxV_Code, MaxV_Code}, {Srand_Code, Rand_Code}, {Min_Code, Dt_Code},
                                     {IE1_Code, Aver_Code}, {Step_Code, Step_Code}});
const CodeSet VariableCodes = CodeRanges({{Variable_Code, Variable_Code}, {DX_Code, Aver_Code}});

Function::Function(InstructionList* list) : code_(list) {
  if (code_) code_->prepare();
}

Function::~Function() = default;

double Function::constantFrame(double factor) {
  if (evaluated_) {
    dvalue_ = 0;
  } else {
    evaluated_ = 1;
    dvalue_ = value_;
  }
  return value_ * factor;
}

// The decided non-constant case runs straight on; everything else is a tail
// call, so the arguments reach the environment without a spill and reload.
double Function::evaluate(double t, double it, double dt, int step, FuncTbl* table) {
  if (constant_ != 0) return evaluateUndecided(t, it, dt, step, table);
  TimeEnv env(t, it, dt, step, table);
  return store(olvu_machine::RunMachine(*code_, env));
}

[[gnu::noinline]] double Function::evaluateUndecided(double t, double it, double dt, int step, FuncTbl* table) {
  if (constantNow()) return constantFrame(1);
  TimeEnv env(t, it, dt, step, table);
  return store(olvu_machine::RunMachine(*code_, env));
}

double Function::evaluate(FuncData* d) {
  if (constant_ != 0 && constantNow()) return constantFrame(1);
  PointEnv env(d);
  return store(olvu_machine::RunMachine(*code_, env));
}

double Function::valueAt(const FuncData& d) const {
  PointEnv env(&d);
  return olvu_machine::RunMachine(*code_, env);
}

double Function::evaluate_constant() {
  if (constant_ == 1) return value_;
  ConstantEnv env;
  value_ = olvu_machine::RunMachine(*code_, env);
  dvalue_ = 0;
  return value_;
}

double Function::update(FuncData* d, double& out, int ask) {
  if (ask && !isConstant()) out = evaluate(d);
  return out;
}

int Function::IFupdate(FuncData* d, double& out, int ask) {
  if (ask && !isConstant()) {
    out = evaluate(d);
    return 1;
  }
  return 0;
}

int Function::isConstant() {
  if (constant_ >= 0) return constant_;
  if (temporal_ == 1 || code_->holds(NonConstantCodes)) return constant_ = 0;
  evaluate_constant();
  temporal_ = 0;
  return constant_ = 1;
}

int Function::isNull() { return isConstant() && value_ == 0; }

int Function::isTemporal() {
  if (temporal_ >= 0) return temporal_;
  if (constant_ == 1) return temporal_ = 0;
  return temporal_ = code_->holds(TemporalCodes) ? 1 : 0;
}

int Function::isVariable(DofType) { return code_->holds(VariableCodes) ? 1 : 0; }

int Function::Initialised() { return constant_ >= 0 && temporal_ >= 0; }

UFunction::UFunction(InstructionList* list, double f) : Function(list), factor(f) {}

double UFunction::evaluate(double t, double it, double dt, int step) {
  if (constant_ != 0) return evaluateUndecided(t, it, dt, step);
  UnitsTimeEnv env(t, it, dt, step, nullptr);
  return store(olvu_machine::RunMachine(*code_, env)) * factor;
}

[[gnu::noinline]] double UFunction::evaluateUndecided(double t, double it, double dt, int step) {
  if (constantNow()) return constantFrame(factor);
  UnitsTimeEnv env(t, it, dt, step, nullptr);
  return store(olvu_machine::RunMachine(*code_, env)) * factor;
}

std::ostream& operator<<(std::ostream& os, Function& f) {
  return os << "val=" << f.value() << ", dval=" << f.dvalue() << std::endl;
}
