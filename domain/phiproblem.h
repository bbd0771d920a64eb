// User-defined scalar ("Phi") and species problems: one convection-diffusion-reaction equation
// each, with its properties per element set, its boundary and conditional values, its limits
// and its convergence norm, solved on the domain's shared system after the temperature.
#pragma once

#include <memory>
#include <string>

#include "domain/fluiddomain.h"
#include "foundation/bitvec.h"
#include "foundation/reavec.h"

class FluidFunction;
class Input;
class Solver;
class SystemSparseMatrix;

/// A user-defined transported scalar of a fluid or solid domain.
class PhiProblem {
 public:
  /// From the definition card of `in` ("NewPhiDefinition" or "NewSpecDefinition") for domain d.
  PhiProblem(Input* in, FluidDomain* d);
  /// Problem `index` created by an element set, named `base` "_" index, with limits [lo, hi].
  PhiProblem(FluidDomain* d, int index, const char* base, double hi, double lo);
  /// Frees the initial-data and conditional functions.
  virtual ~PhiProblem();
  PhiProblem(const PhiProblem&) = delete;
  PhiProblem& operator=(const PhiProblem&) = delete;

  // Conditions.

  /// Sets the node's fixed bit to `fix`; a set bit writes boundary factor x value into the value
  /// and the previous value (fatal when it lies beyond the limits).
  virtual void FixCondition(int node, int fix, double value);
  /// conditional 1: the node follows the initial-data function each step (and is fixed);
  /// otherwise fix 1 fixes it.
  virtual void FixCondition(int node, int fix, int conditional);
  /// The node is governed by the conditional function.
  virtual void FixCondition(int node);

  // Solves.

  /// System (domain matrix 0) and right-hand side (vector 58) of the fluid equation.
  virtual void AssembleFluidPhi();
  /// Solves the assembled fluid system (the domain's first solver).
  virtual void CalculateFluidPhi();
  /// Assembly, solve and clamp in the fluid.
  virtual void SolveFluidPhi();
  /// System and right-hand side of the solid equation (anisotropic diffusion).
  virtual void AssembleSolidPhi();
  /// Solves the assembled solid system (the domain's second solver).
  virtual void CalculateSolidPhi();
  /// Assembly, solve and clamp in the solid.
  virtual void SolveSolidPhi();
  /// Sizes the fields and sets to the domain's node count.
  virtual void InitialisePhi();
  /// Fluid properties: capacity a, convection k, diffusivity D, reaction R, source Q, spare s.
  virtual void EvalProperties(ReaVec& a, ReaVec& k, ReaVec& D, ReaVec& R, ReaVec& Q, ReaVec& s);
  /// Boundary flux F and flux reaction G of the body sets (accumulated); w1, w2 work space.
  virtual void EvalFlux(ReaVec& w1, ReaVec& w2, ReaVec& F, ReaVec& G);
  /// Solid properties: capacity a, conductivity components (xx, xy, yy, xz, yz, zz), R and Q.
  virtual void EvalProperties(ReaVec& a, ReaVec* K, ReaVec& R, ReaVec& Q);

  // Step lifecycle.

  /// Conditional boundary values, conditions and the step's extreme values.
  virtual void StartNewStep();
  /// End of step: theta average, clamp, volume conservation, previous value.
  virtual void UpdateVariables(double theta);
  /// The conditional function fixes or frees the nodes of the conditional set.
  virtual void UpdateConditions();
  /// Compiles the conditional function from the card of `in`.
  virtual void ReadConditional(const char* card, Input* in);
  /// Compiles the initial-data function from the card of `in`.
  virtual void ReadInitialData(const char* card, Input* in);
  /// The value from the initial-data function at every node.
  virtual void ReadInitialConditions();
  /// 1 when the last change over the field's size is within the convergence norm.
  virtual int HasConverged();
  /// 1 when the change over the step, over the field's size, is below the domain's steady norm.
  virtual int IsSteadyState();
  /// Clamps the value to the problem's bounds.
  virtual void LimitPhi();
  /// Widens the current extremes to max and min.
  virtual void UpdateLimitPhi(double max, double min);
  /// The largest and smallest value allowed this step.
  virtual double& MaximumValuePhi() { return curMax_; }
  virtual double& MinimumValuePhi() { return curMin_; }

  // Accessors.

  /// The problem's name.
  const char* Name() const { return name_.c_str(); }
  /// The problem's index in its domain's table.
  int Index() const { return index_; }
  /// The value and its start-of-step value.
  ReaVec& Phi_t() { return value_; }
  ReaVec& Phtdt() { return prev_; }
  /// The right-hand side and system of the last assembly (the domain's).
  ReaVec* Rhs() { return rhs_; }
  SystemSparseMatrix* SYS() { return sys_; }
  /// Nodes with a prescribed value.
  BitVec& Fixed() { return fixed_; }
  /// Inner iterations per coupled iteration, the convergence norm, the last change and ratio.
  int InnerIterations() const { return inner_; }
  double ConvergenceNorm() const { return norm_; }
  double LastChange() const { return change_; }
  double Ratio() const { return ratio_; }

 protected:
  /// true for a species problem (its property and flux tables are the species ones).
  virtual bool Species() const { return false; }
  /// The bounds of this step: [max(current min, lower limit), min(current max, upper limit)].
  double Upper() const { return curMax_ < upper_ ? curMax_ : upper_; }
  double Lower() const { return curMin_ > lower_ ? curMin_ : lower_; }
  /// Fixed rows and values into the assembled system.
  void FixRows();
  /// Boundary fluxes into the assembled system; source and reaction limits into the flag.
  void BoundaryFluxes();
  /// The bounded solve of the assembled system with `solver`; its change becomes the last change.
  void Calculate(Solver* solver);

  std::string name_;
  const char* label_ = nullptr;  // outlives the problem (the timing table keeps it)
  int index_ = 0;
  FluidDomain* domain_;
  int nodes_ = 0;
  int order_ = 1;
  int smoothing_ = 0;
  int inner_ = 1;
  int conserve_ = 0;
  int limited_ = 0;
  double upper_ = 1e100;
  double lower_ = -1e100;
  double curMax_ = 1e100;
  double curMin_ = -1e100;
  double change_ = 0.001;
  double ratio_ = 0;
  double boundaryFactor_ = 1.0;
  double norm_ = 1e-10;
  ReaVec value_;
  ReaVec prev_;
  SystemSparseMatrix* sys_ = nullptr;
  ReaVec* rhs_ = nullptr;
  BitVec fixed_;
  BitVec condValue_;
  BitVec conditional_;
  std::unique_ptr<FluidFunction> initial_;
  std::unique_ptr<FluidFunction> condition_;
  bool bySet_ = false;  // made by an element set (no initial-data card can name it)
  ReaVec work_[11];  // property and flux vectors of the assembly
};

/// A species concentration: a Phi problem whose properties and fluxes come from the species tables.
class SpcProblem : public PhiProblem {
 public:
  using PhiProblem::PhiProblem;
  /// "F1" to "F5" into a, D, R, Q and s; k = a.
  void EvalProperties(ReaVec& a, ReaVec& k, ReaVec& D, ReaVec& R, ReaVec& Q, ReaVec& s) override;
  /// The species flux and flux reaction of the body sets.
  void EvalFlux(ReaVec& w1, ReaVec& w2, ReaVec& F, ReaVec& G) override;
  /// The species tables of the solid sets.
  void EvalProperties(ReaVec& a, ReaVec* K, ReaVec& R, ReaVec& Q) override;

 protected:
  bool Species() const override { return true; }
};

/// Calls f(problem) for every Phi problem of d (when it solves them), then every species problem
/// (likewise), each in table order.
template <class F>
void EachScalarProblem(FluidDomain& d, F f) {
  int k = 0;
  if (d.Solves(PPhi))
    while (PhiProblem* p = d.PhiProblems().next(k)) f(*p);
  k = 0;
  if (d.Solves(PSpecies))
    while (SpcProblem* p = d.SpcProblems().next(k)) f(*p);
}
