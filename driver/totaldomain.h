// The fluid and solid domains joined on the one problem-wide node numbering: inner-iteration
// counts, convergence tolerances, interface sets, the per-iteration solve sequence with its
// convergence and steady-state tests, and the problem-wide result blocks.
#pragma once

#include <memory>
#include <ostream>

#include "domain/domain.h"
#include "domain/fluiddomain.h"

class Solver;
class SystemSparseMatrix;
class BitVec;

/// The whole problem over both domains (either may be absent), which it refers to and never owns.
class TotalDomain : public Domain {
 public:
  /// Reads the total-definition block (the current card holds "TotalDefinition") and initialises
  /// the active flags; `solid` is the solid domain, a kind of fluid domain.
  TotalDomain(FluidDomain* fluid, FluidDomain* solid, Plex<Node>* all, Input* in);
  /// Deletes the interface solver; the base deletes the interface meshes, the domains keep theirs.
  ~TotalDomain() override;

  /// Inner-iteration counts and the "ToleranceData" card.
  void ReadGeneralData(Input* in) override;
  /// The interface element sets ("ElmSets" ... "EndElmSets").
  void ReadElmSets(Input* in) override;
  /// Active flags, index counts and the table of the domains' meshes.
  void InitialiseData() override;
  /// Problem box, its position warning and the interface meshes' initialisation.
  void InitialiseDomain(std::ostream& res) override;
  /// Problem-wide result blocks of one output step.
  void OutputResults(std::ostream& res) override;
  /// The same blocks for the initial data.
  void OutputInitialData(std::ostream& res) override { OutputResults(res); }
  /// One coupled nonlinear iteration.
  void SolveCoupledProblem() override;
  /// Nothing: each domain starts its own step.
  void StartNewStep() override {}
  /// The algebraic turbulence models, before the iterations of a step.
  virtual void SolvePreUncoupledProblem();
  /// Projection, free surface, structure, coupling send and mesh deformation after the iterations.
  virtual void SolvePostUncoupledProblem();

  /// 1 when the iteration has converged; fatal on a ratio that is not finite or that grows as a
  /// diverging iteration's does.
  int HasConverged();
  /// 1 when the step is steady.
  int CheckSteadyState();
  /// Momentum solves of both domains for one inner iteration.
  void SolveVelocityProblem();
  /// Divergence-free pressure solves of both domains for one inner iteration.
  void SolvePressureProblem();
  /// Turbulence models of the fluid domain.
  void SolveTurbulenceProblem();
  /// Temperature of the fluid and then the solid domain.
  void SolveTemperatureProblem();
  /// Species problems of both domains.
  void SolveSpecProblems();
  /// Phi problems of both domains.
  void SolvePhiProblems();
  /// Nothing: each domain starts its own iteration.
  void StartNewIteration() {}
  /// Nothing: each domain finishes its own step.
  void FinishStep() {}
  /// Nothing: no problem-wide final blocks.
  void OutputFinalResults(std::ostream&) {}
  /// Nothing: the fluid-solid interfaces exchange no data.
  void SolveInterfacesFluidSolid() {}

  /// The fluid domain, or null.
  FluidDomain* GiveFluidDomain() { return fluid_; }
  /// The solid domain, or null.
  FluidDomain* GiveSolidDomain() { return solid_; }
  /// The interface element sets.
  Plex<Mesh>& InterfaceMeshes() { return interfaces_; }

  /// Highest Phi-problem number of either domain: the Phi solve and writer visit 1 to it.
  int PhiCount() const { return phiCount_; }
  /// Highest species-problem number of either domain.
  int SpeciesCount() const { return spcCount_; }
  /// Inner-iteration count k: 0 velocity, 1 pressure, 2 turbulence, 3 temperature, 4 species, 5 Phi.
  int InnerIterations(int k) const { return inner_[k]; }
  /// True when the fluid solves a flow and the time increment is longer than its crossing time.
  bool LongStep() const;
  /// Linear systems that the coupled solves of the latest iteration left unsolved.
  int UnsolvedSystems() const { return unsolved_; }

 private:
  /// The highest number of the Phi (or, when `species`, species) problems of `d` that it solves.
  static int ProblemCount(FluidDomain* d, bool species);
  /// Whether `d` solves sub-problem `k` (false when `d` is null).
  static bool Solves(const FluidDomain* d, FluidFlag k);
  /// Turns on the fluid's pseudo-steps, a tenth of its crossing time, at a long step whose
  /// velocity keeps `divergence` (over the largest speed); says so once.
  void PseudoSteps(double divergence);
  /// Phi (or species) problems of both domains, solved in index order.
  void SolveFieldProblems(bool species);
  /// 1 when every Phi and species problem of `d` answers true to `test`.
  template <class Test>
  static int AllProblems(FluidDomain* d, Test test);
  /// The VELOCITY block.
  void WriteVelocity(std::ostream& res);
  /// The VELOCITY_STRESS_TENSOR block.
  void WriteStress(std::ostream& res);
  /// A scalar block of the field `field` of each domain.
  void WriteScalarField(std::ostream& res, const char* name, const char* label, const char* field, Magnitude m,
                        int requireEntry);
  /// The PRESSURE and PRESSURE_GRADIENT blocks.
  void WritePressure(std::ostream& res);
  /// The TEMPERATURE and TEMPERATURE_GRADIENT blocks.
  void WriteTemperature(std::ostream& res);
  /// The MESH DEFORMATION block.
  void WriteMeshDeformation(std::ostream& res);
  /// The Phi (or species) problem blocks.
  void WriteFieldProblems(std::ostream& res, bool species);

  Plex<Mesh> domainMeshes_;           ///< "Fluid and Solid meshes": every set of both domains
  Plex<Mesh> interfaces_;             ///< "Interface Boundaries": the interface sets in reading order
  std::unique_ptr<Solver> interfaceSolver_; ///< solver of the coupled fluid-solid solve; none is read
  FluidDomain* fluid_;                ///< the fluid domain, or null (not owned)
  FluidDomain* solid_;                ///< the solid domain, or null (not owned)
  int pressure_ = 0;                  ///< pressure is solved in some domain
  int temperature_ = 0;               ///< temperature is solved in some domain
  int species_ = 0;                   ///< species problems are solved in some domain
  int phi_ = 0;                       ///< Phi problems are solved in some domain
  int meshDeformation_ = 0;           ///< mesh deformation is solved in some domain
  int spcCount_ = 0;                  ///< species indices visited
  int phiCount_ = 0;                  ///< Phi indices visited
  int inner_[6] = {1, 1, 1, 1, 1, 1}; ///< inner-iteration counts
  int steady_[2] = {0, 0};            ///< steady-state markers
  bool unsolvedSteadyWarned_ = false;  ///< a step too still to tell from steady, with unsolved systems, was reported
  int unsolved_ = 0;                   ///< systems the coupled solves of the latest iteration left unsolved
  bool unsolvedIterationWarned_ = false;  ///< an iteration refused for its unsolved systems was reported
  double stepChange_[3] = {0, 0, 0};  ///< change of velocity, pressure, temperature since the step began, at the latest convergence test
  bool divergent_ = false;             ///< at the latest convergence test, a long step's velocity held more divergence than its tolerance
  bool pseudoStepsWarned_ = false;     ///< a long step that took pseudo-steps was reported
  /// A field's run of iterations that each changed it by more than its size, and its size at the first.
  struct Growth {
    int iterations = 0;
    double from = 0;
  };
  Growth growth_[3];                  ///< of velocity, pressure, temperature, up to the latest convergence test
};

/// What to do about a linear system its solver leaves unsolved, as the messages that say so end.
inline constexpr const char* kUnsolvedAdvice =
    "raise the Max_Iter of the solver that \"Not Solved\" names, or choose another Solver or Preconditioner on its "
    "\"NonSymmetric\" or \"Symmetric\" card";

/// Returns the stream; a total domain has no text form.
std::ostream& operator<<(std::ostream& out, TotalDomain& d);
/// Returns the stream.
std::ostream& operator>>(std::ostream& out, TotalDomain& d);
