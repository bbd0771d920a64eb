// User functions: a compiled InstructionList run on the stack machine, with
// the last value, its change and cached constant/temporal answers.
#pragma once

#include <memory>
#include <ostream>

#include "input/compiler.h"
#include "input/types.h"

class FuncTbl;

/// Place and time of a point evaluation (w is carried, not read).
struct FuncData {
  double x = 0;   ///< first coordinate
  double y = 0;   ///< second coordinate
  double z = 0;   ///< third coordinate
  double w = 0;   ///< fourth value, not read by evaluation
  double t = 0;   ///< time
  double it = 0;  ///< iteration
  double dt = 0;  ///< time increment
};

/// Codes that make a function non-constant.
extern const CodeSet NonConstantCodes;
/// Codes that make a function temporal.
extern const CodeSet TemporalCodes;
/// Codes that read field variables.
extern const CodeSet VariableCodes;

/// A compiled user function with its last value and change.
class Function {
 public:
  /// Wraps a compiled list and takes it over; nothing decided or evaluated yet.
  explicit Function(InstructionList* list);
  /// Destroys the list with its instructions.
  virtual ~Function();
  Function(const Function&) = delete;
  Function& operator=(const Function&) = delete;

  /// Value at a time: t, it, dt, step, maxV, and F(n), dF(n) of `table`.
  virtual double evaluate(double t, double it, double dt, int step, FuncTbl* table);
  /// Value at a point: t, it, dt of the record and its x, y, z.
  virtual double evaluate(FuncData* d);
  /// Value at a point, as evaluate(FuncData*) gives it, without recording it.
  double valueAt(const FuncData& d) const;
  /// Value of a function without operands; stores it with change 0.
  virtual double evaluate_constant();
  /// Evaluates at d into out when ask is nonzero and the function is not constant; returns out.
  virtual double update(FuncData* d, double& out, int ask);
  /// As update; 1 when it evaluated, else 0.
  virtual int IFupdate(FuncData* d, double& out, int ask);
  /// 1 when no instruction depends on anything but constants (evaluates it once).
  virtual int isConstant();
  /// 1 when constant with value exactly 0.
  virtual int isNull();
  /// 1 when the value can change from step to step.
  virtual int isTemporal();
  /// 1 when it reads field variables (the kind is not looked at).
  virtual int isVariable(DofType kind);
  /// 1 when both the constant and the temporal answer are decided.
  virtual int Initialised();
  /// Result of the last evaluation.
  virtual double value() { return value_; }
  /// Change of the result since the evaluation before.
  virtual double dvalue() { return dvalue_; }

  /// The compiled list.
  InstructionList* Code() { return code_.get(); }

 protected:
  /// Result of an evaluation of a constant function, with `factor` applied.
  double constantFrame(double factor);
  /// Stores a fresh result: value and change since the evaluation before.
  double store(double r) {
    dvalue_ = evaluated_ ? r - value_ : r;
    evaluated_ = 1;
    value_ = r;
    return r;
  }
  /// The time form while constancy is undecided or decided as constant.
  double evaluateUndecided(double t, double it, double dt, int step, FuncTbl* table);
  /// Decides constancy once; the cached flag afterwards.
  bool constantNow() {
    if (constant_ < 0) isConstant();
    return constant_ == 1;
  }

  std::unique_ptr<InstructionList> code_;  ///< the compiled expression
  int constant_ = -1;      ///< -1 undecided, 0 no, 1 yes
  int temporal_ = -1;      ///< -1 undecided, 0 no, 1 yes
  int evaluated_ = 0;      ///< 0 until the first evaluation
  double value_ = 0;       ///< last result, unscaled
  double dvalue_ = 0;      ///< change since the evaluation before
};

/// A function of time whose results carry a units factor.
class UFunction : public Function {
 public:
  /// Wraps a compiled list with its units factor.
  UFunction(InstructionList* list, double factor);

  /// Last value times the factor.
  double value() override { return value_ * factor; }
  /// Last change times the factor.
  double dvalue() override { return dvalue_ * factor; }
  using Function::evaluate;
  /// Value at a time (no F or dF) times the factor.
  virtual double evaluate(double t, double it, double dt, int step);

  double factor;  ///< units factor

 private:
  double evaluateUndecided(double t, double it, double dt, int step);
};

/// Writes "val=", the value, ", dval=", the change and an end of line.
std::ostream& operator<<(std::ostream& os, Function& f);
