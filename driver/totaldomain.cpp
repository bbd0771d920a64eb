#include "driver/totaldomain.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <new>

#include "bodies/mbodymesh.h"
#include "domain/fluiddomain.h"
#include "domain/interfmesh.h"
#include "domain/phiproblem.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/input.h"
#include "solvers/solversetting.h"

namespace {

// Keywords of the inner-iteration counts, in the order of the counts.
const char* const kInnerWords[6] = {"VC_Inner_Iterations", "PR_Inner_Iterations", "TB_Inner_Iterations",
                                    "TM_Inner_Iterations", "AS_Inner_Iterations", "PH_Inner_Iterations"};

// Convergence-norm keywords and the solution variable each one sets.
struct NormWord {
  const char* word;
  ConvVar entry;
};
const NormWord kNormWords[6] = {
    {"VelConvergenceNorm", ConvVar::Velocity},      {"PreConvergenceNorm", ConvVar::Pressure},
    {"TemConvergenceNorm", ConvVar::Temperature},   {"ConConvergenceNorm", ConvVar::Concentration},
    {"BetConvergenceNorm", ConvVar::Elevation},     {"PhiConvergenceNorm", ConvVar::Phi}};

constexpr unsigned kVariables = unsigned(ConvVar::Count);

// A diverging iteration: kGrowing iterations in a row or more changed a field by more than its
// size, which grew by kGrowth or more over them.
constexpr int kGrowing = 3;
constexpr double kGrowth = 100;

}  // namespace

TotalDomain::TotalDomain(FluidDomain* fluid, FluidDomain* solid, Plex<Node>* all, Input* in)
    : Domain(all),
      domainMeshes_(5, "Fluid and Solid meshes"),
      interfaces_(5, "Interface Boundaries"),
      fluid_(fluid),
      solid_(solid) {
  numNodes = all->count;
  ReadGeneralData(in);
  ReadElmSets(in);
  InitialiseData();
}

TotalDomain::~TotalDomain() {
  // The interface meshes are also held, and deleted, by the base mesh table.
  domainMeshes_.clear();
  interfaces_.clear();
}

bool TotalDomain::Solves(const FluidDomain* d, FluidFlag k) { return d && d->Solves(k); }

void TotalDomain::ReadGeneralData(Input* in) {
  // A count of 0 skips its solve; the plain getter keeps that possible.
  for (int k = 0; k < 6; ++k) inner_[k] = in->GetInt(kInnerWords[k], 1);
  in->ReadCard("ToleranceData");
  VarIncrement.resize(0);
  VarIncrement.resize(kVariables, 0.0);
  VarTolerance.resize(0);
  VarTolerance.resize(kVariables, 0.001);
  VarIncrRatio.resize(0);
  VarIncrRatio.resize(kVariables, 1e100);
  VarDenominat.resize(0);
  VarDenominat.resize(kVariables, 1e-14);
  Conv(VarDenominat, ConvVar::Body) = 0;  // no body has moved yet
  for (const NormWord& n : kNormWords) Conv(VarTolerance, n.entry) = in->GetRea(n.word, 1e-10, "", Undimensional);
  VarTolerance.max_limit(1.0);
  // The bodies' wall velocity is a velocity of the flow: it converges as the velocity does.
  Conv(VarTolerance, ConvVar::Body) = Conv(VarTolerance, ConvVar::Velocity);
  MinValue.resize(0);
  MinValue.resize(kVariables, 1e100);
  MaxValue.resize(0);
  MaxValue.resize(kVariables, -1e100);
  MedValue.resize(0);
  MedValue.resize(kVariables, 1.0);
  // The tolerances exist only now: the steady and advection norms are lowered to them here.
  for (FluidDomain* d : {fluid_, solid_}) {
    if (!d) continue;
    d->LowerNorms();
    d->ReferenceValues();
  }
}

void TotalDomain::ReadElmSets(Input* in) {
  ReadElmSetCards(in, [&](int n, const char* type) {
    if (strcasecmp(type, "Interface") != 0) OLVU_FATAL("ElmSet " << type << " not implemented\n");
    // The base table keys the set by its number (refusing a number given twice) and owns it; the
    // solve numbers the sets in reading order.
    InterfMesh* m = static_cast<InterfMesh*>(meshes.Adopt(n, std::make_unique<InterfMesh>(n, in, fluid_, solid_)));
    m->ReadElemsFromAscii(in, allNodes);
    interfaces_.append(m);
  });
}

void TotalDomain::InitialiseData() {
  // With one domain the flags are its entries; with both, an entry of either turns a flag on.
  auto either = [this](FluidFlag k) { return (Solves(fluid_, k) || Solves(solid_, k)) ? 1 : 0; };
  FluidDomain* only = fluid_ && solid_ ? nullptr : (fluid_ ? fluid_ : solid_);
  auto flag = [&](FluidFlag k) { return only ? int(Solves(only, k)) : either(k); };
  pressure_ = flag(PPressure);
  temperature_ = flag(PTemperature);
  species_ = flag(PSpecies);
  phi_ = flag(PPhi);
  meshDeformation_ = flag(PMeshDeform);
  spcCount_ = std::max(ProblemCount(fluid_, true), ProblemCount(solid_, true));
  phiCount_ = std::max(ProblemCount(fluid_, false), ProblemCount(solid_, false));
  for (FluidDomain* d : {fluid_, solid_}) {
    if (!d) continue;
    int k = 0;
    while (Mesh* m = d->giveNextDomainMesh(k)) domainMeshes_.append(m);
  }
}

int TotalDomain::ProblemCount(FluidDomain* d, bool species) {
  // The highest number, not the count: problems 1 and 3 are both visited.
  if (!d) return 0;
  return species ? d->SpcProblems().high : d->PhiProblems().high;
}

void TotalDomain::InitialiseDomain(std::ostream&) {
  FluidDomain* first = fluid_ ? fluid_ : solid_;
  if (first) {
    minCorner = first->minCorner;
    maxCorner = first->maxCorner;
  }
  if (fluid_ && solid_) {
    minCorner.min_vec(solid_->minCorner);
    maxCorner.max_vec(solid_->maxCorner);
  }
  ReaVec diagonal(maxCorner);
  diagonal -= minCorner;
  const double d = 10 * diagonal.norm();
  if (minCorner.min_val() < -d || maxCorner.max_val() > d)
    OLVU_WARNING(0, "Geometry position may reduce calculation precision.\n\t"
                        << "It is recommended to center domain in origin.");
  int k = 0;
  while (Mesh* m = interfaces_.next(k)) m->initialiseMesh();
}

// ---- solve sequence ----

void TotalDomain::SolvePreUncoupledProblem() {
  Clock clock("Solving Pre-Uncoupled Problems");
  if (!fluid_) return;
  fluid_->SolveSmagorinsky();
  fluid_->SolveMixingLength();
}

void TotalDomain::SolveCoupledProblem() {
  Clock clock("Solving Coupled Problems");
  // The systems this iteration leaves unsolved: the solves count them, the convergence test
  // reads the difference (the solves before and after the iterations are no part of it).
  const int unsolvedBefore = Solver::unsolved_count();
  for (int k = 0; k < inner_[0]; ++k) SolveVelocityProblem();
  for (int k = 0; k < inner_[1]; ++k) SolvePressureProblem();
  for (int k = 0; k < inner_[2]; ++k) SolveTurbulenceProblem();
  // A moving body sets both entries when it moves in this iteration.
  Conv(VarIncrement, ConvVar::Body) = 0;
  Conv(VarDenominat, ConvVar::Body) = 0;
  if (!Initial_Phase) {
    if (fluid_) fluid_->SolveBodyMovement();
    if (!Initial_Phase && solid_) solid_->SolveBodyMovement();
  }
  for (int k = 0; k < inner_[3]; ++k) SolveTemperatureProblem();
  for (int k = 0; k < inner_[4]; ++k) SolveSpecProblems();
  for (int k = 0; k < inner_[5]; ++k) SolvePhiProblems();
  unsolved_ = Solver::unsolved_count() - unsolvedBefore;
}

void TotalDomain::SolveTurbulenceProblem() {
  Conv(VarIncrement, ConvVar::Turbulence) = 0;
  if (fluid_) fluid_->SolveTurbulence();
}

void TotalDomain::SolveTemperatureProblem() {
  if (!temperature_) return;
  Conv(VarIncrement, ConvVar::Temperature) = 0;
  if (fluid_) fluid_->SolveTemperature();
  if (solid_) solid_->SolveTemperature();
}

void TotalDomain::SolveSpecProblems() {
  if (species_) SolveFieldProblems(true);
}

void TotalDomain::SolvePhiProblems() {
  if (phi_) SolveFieldProblems(false);
}

void TotalDomain::SolveFieldProblems(bool species) {
  // Problem i of the fluid, then of the solid, for i up to the highest number of either domain;
  // a number neither defines is skipped. Each runs as often as its own inner-iteration count.
  const int count = species ? spcCount_ : phiCount_;
  const FluidFlag flag = species ? PSpecies : PPhi;
  auto problem = [species](FluidDomain* d, int i) -> PhiProblem* {
    if (!d) return nullptr;
    if (species) return i > d->SpcProblems().high || d->SpcProblems().free(i) ? nullptr : d->SpcProblems().get_at(i);
    return i > d->PhiProblems().high || d->PhiProblems().free(i) ? nullptr : d->PhiProblems().get_at(i);
  };
  for (int i = 1; i <= count; ++i) {
    if (PhiProblem* p = problem(fluid_, i); p && Solves(fluid_, flag))
      for (int k = 0; k < p->InnerIterations(); ++k) p->SolveFluidPhi();
    if (PhiProblem* p = problem(solid_, i); p && Solves(solid_, flag))
      for (int k = 0; k < p->InnerIterations(); ++k) p->SolveSolidPhi();
  }
}

template <class Test>
int TotalDomain::AllProblems(FluidDomain* d, Test test) {
  int answer = 1;
  if (d) EachScalarProblem(*d, [&](PhiProblem& p) { answer = answer && test(p); });
  return answer;
}

void TotalDomain::SolvePostUncoupledProblem() {
  Clock clock("Solving Post-Uncoupled Problems");
  // The bodies' movement of the step is final now (an iteration's may overshoot on the way):
  // one the mesh cannot follow ends the run before the mesh moves.
  if (!Initial_Phase && meshDeformation_)
    for (FluidDomain* d : {fluid_, solid_}) {
      if (!d) continue;
      int b = 0;
      while (BodyMesh* m = d->giveNextBody(b))
        if (m->AreYou("MBodyMesh")) static_cast<MBodyMesh*>(m)->CheckStepMovement();
    }
  if (fluid_) {
    fluid_->SolveProjection();
    fluid_->SolveFreeSurface();
    if (!Initial_Phase) fluid_->SolveMeshDeformation(0);
  }
  if (solid_) {
    solid_->SolveProjection();
    solid_->SolveSolidStructure();
    solid_->SolveKelvarid();
    if (!Initial_Phase) solid_->SolveMeshDeformation(0);
  }
}

bool TotalDomain::LongStep() const {
  return fluid_ && fluid_->Solves(PVelocity) && fluid_->Solves(PPressure) && Run_Time_Increment > fluid_->CrossingTime();
}

void TotalDomain::PseudoSteps(double divergence) {
  const double crossing = fluid_->CrossingTime(), step = 0.1 * crossing;
  fluid_->SetPseudoStep(step);
  if (pseudoStepsWarned_) return;
  pseudoStepsWarned_ = true;
  OLVU_WARNING(1, "STEP = " << Current_Step << ", TIME = " << OutPut_Time << ": the time increment ("
                            << Run_Time_Increment << " s) is longer than the flow takes to cross the domain ("
                            << crossing << " s): the pressure change of an iteration no longer shows the divergence "
                            << "left in the velocity (" << divergence << " of the largest speed).\n\tThe iterations go "
                            << "on in pseudo-steps of " << step << " s until the step's equations hold, which at a "
                            << "step this long are those of the steady flow: allow them enough Max_Iterations, or "
                            << "take steps of at most " << crossing << " s.");
}

int TotalDomain::HasConverged() {
  static const char* const kLabel[3] = {"VarIncrRatio(Vel) ", "VarIncrRatio(Pre) ", "VarIncrRatio(Tem) "};
  // An iteration's pressure change is the divergence left in the velocity over the step, so a
  // step longer than the flow takes to cross the domain understates it by their ratio: the
  // pressure ratio passes while the velocity is far from divergence free, and the iterations
  // stall where they look converged. There the divergence is measured directly, as the velocity
  // change that the projection of the last pressure change makes, and must meet the velocity
  // tolerance; from the first iteration that finds it larger, the iterations take pseudo-steps of
  // a tenth of the crossing time, whose pressure follows the velocity, until the step's own
  // equations hold: at such a step, those of the steady flow.
  const bool longStep = LongStep();
  divergent_ = false;
  double divergence = 0;
  if (longStep) {
    divergence = fluid_->ContinuityChange() / Conv(VarDenominat, ConvVar::Velocity);
    divergent_ = !(divergence <= Conv(VarTolerance, ConvVar::Velocity));
    if (divergent_ && !(fluid_->PseudoStep() > 0)) PseudoSteps(divergence);
  }
  // The steady-state test takes the change over the step at the end of the step's iterations:
  // with one iteration per step it is that iteration's change, as the solves measure it.
  for (unsigned k = 0; k < 3; ++k) {
    stepChange_[k] = 0;
    for (FluidDomain* f : {fluid_, solid_})
      if (f) stepChange_[k] += f->StepIncrement(int(k));
  }
  // A field whose ratio this test does not reach starts its count of large changes again.
  const Growth before[3] = {growth_[0], growth_[1], growth_[2]};
  for (Growth& g : growth_) g = Growth{};
  for (unsigned k = 0; k < 3; ++k) {
    const ConvVar v = ConvVar(k);  // velocity, pressure, temperature
    const double r = Conv(VarIncrement, v) / Conv(VarDenominat, v);
    Conv(VarIncrRatio, v) = r;
    const char* diverged = v != ConvVar::Temperature ? "Fluid nonlinear algorithm diverged" : "Temperature solver diverged";
    if (!std::isfinite(r)) OLVU_FATAL(diverged << "\n");
    std::cout << kLabel[k] << r << std::endl;
    // Iterations that each change the field by more than its largest value, while that value
    // grows by orders of magnitude: a converging iteration shrinks its change, and one that meets
    // a new load (a start, a sudden condition) changes it so once or twice, at sizes the problem
    // holds. This one grows until a solver meets a singular matrix, or the fields stand still at
    // speeds the problem cannot hold: the run stops before, saying where.
    const double size = Conv(VarDenominat, v);
    if (r > 1) growth_[k] = Growth{before[k].iterations + 1, before[k].iterations ? before[k].from : size};
    if (growth_[k].iterations >= kGrowing && size >= kGrowth * growth_[k].from) {
      static const char* const kField[3] = {"velocity", "pressure", "temperature"};
      OLVU_FATAL(diverged << " at step " << Current_Step << ", iteration " << Iterations << ": in each of the last "
                          << growth_[k].iterations << " iterations the " << kField[k]
                          << " changed by more than its largest value, which grew from " << growth_[k].from << " to "
                          << size << ".\n");
    }
    if (v == ConvVar::Velocity && r > 1) {
      Conv(VarIncrRatio, ConvVar::Velocity) = 1;
      AverVelocity = Conv(VarIncrement, ConvVar::Velocity) / (Fluid_Volume + 1e-14);
    }
    if (Conv(VarTolerance, v) < Conv(VarIncrRatio, v)) return 0;
  }
  if (longStep) {
    std::cout << "VarIncrRatio(Div) " << divergence << std::endl;
    if (divergent_) return 0;
  }
  // The moving bodies: the largest change of the wall velocity they give the flow in this
  // iteration, over the largest speed of the flow or their walls (a step whose bodies still move
  // differently from the flow they were solved with has not converged).
  if (Conv(VarDenominat, ConvVar::Body) > 0) {
    const double r = Conv(VarIncrement, ConvVar::Body) / Conv(VarDenominat, ConvVar::Body);
    Conv(VarIncrRatio, ConvVar::Body) = r;
    if (!std::isfinite(r)) OLVU_FATAL("Body movement diverged\n");
    std::cout << "VarIncrRatio(Bod) " << r << std::endl;
    if (Conv(VarTolerance, ConvVar::Body) < r) return 0;
  }
  // Every Phi and species problem of the solid and then the fluid domain must also have converged.
  const auto converged = [](PhiProblem& p) { return p.HasConverged(); };
  if (!AllProblems(solid_, converged) || !AllProblems(fluid_, converged)) return 0;
  // A field whose system was not solved may move little only because its solver stopped: the
  // increments prove nothing then, and the step iterates on from the better iterate.
  if (unsolved_) {
    std::cout << "Unsolved systems " << unsolved_ << std::endl;
    if (!unsolvedIterationWarned_)
      OLVU_WARNING(0, "STEP = " << Current_Step << ", iteration " << Iterations << ": the fields met their "
                                << "convergence tolerances, but " << unsolved_ << " linear systems of the iteration "
                                << "were not solved: no iteration that leaves a system unsolved is taken as "
                                   "converged, and the step iterates on. Where a system stays unsolved, "
                                << kUnsolvedAdvice);
    unsolvedIterationWarned_ = true;
    return 0;
  }
  AutoFact_Time_Increment = 1;
  double f[3];
  for (unsigned k = 0; k < 3; ++k) f[k] = 2 * Conv(VarIncrRatio, ConvVar(k)) / (Conv(VarTolerance, ConvVar(k)) + 1e-14);
  const double largest = std::max({f[0], f[1], f[2]});
  if (largest < 1) AutoFact_Time_Increment = largest;
  std::cout << "AutoFact_Time_Increment " << f[0] << "\t" << f[1] << "\t" << f[2] << std::endl;
  std::cout << "AutoFact_Time_Increment " << AutoFact_Time_Increment << std::endl;
  return 1;
}

int TotalDomain::CheckSteadyState() {
  // The threshold is the fluid domain's "SteadyNorm" (0 by default: never steady); without a
  // fluid domain, the solid domain's.
  FluidDomain* d = fluid_ ? fluid_ : solid_;
  const double threshold = d ? d->SteadyNorm() : 0;
  // A field that is no longer finite ends the run here, before the step's output, so the results
  // of the earlier steps stay as written.
  for (unsigned k = 0; k < 3; ++k) {
    double now = 0;
    for (FluidDomain* f : {fluid_, solid_})
      if (f) now += f->StepIncrement(int(k));
    if (!std::isfinite(now))
      OLVU_FATAL((k < 2 ? "Fluid nonlinear algorithm diverged" : "Temperature solver diverged") << "\n");
  }
  // A long step whose velocity still diverges has not reached its equations' solution.
  if (divergent_) return 0;
  // Steady: the change over the whole step, not that of its last iteration (which with several
  // iterations per step is the convergence within the step), summed over the domains and
  // divided as the convergence test divides.
  for (unsigned k = 0; k < 3; ++k)
    if (!(stepChange_[k] / Conv(VarDenominat, ConvVar(k)) < threshold)) return 0;
  const auto steady = [](PhiProblem& p) { return p.IsSteadyState(); };
  if (!AllProblems(solid_, steady) || !AllProblems(fluid_, steady)) return 0;
  // Fields that stand still because their systems were not solved (a solver at its iteration
  // limit, a diverged solution whose residual no longer falls) are no steady state.
  if (const int unsolved = Solver::unsolved_count()) {
    if (!unsolvedSteadyWarned_)
      OLVU_WARNING(0, "STEP = " << Current_Step << ": the fields changed less than SteadyNorm, but " << unsolved
                                << " linear systems of the step were not solved: no steady state is taken while a "
                                   "step leaves a system unsolved");
    unsolvedSteadyWarned_ = true;
    return 0;
  }
  steady_[0] = steady_[1] = 1;
  return 1;
}

std::ostream& operator<<(std::ostream& out, TotalDomain&) { return out; }
std::ostream& operator>>(std::ostream& out, TotalDomain&) { return out; }
