// Phi and species problems: reading of their definitions and conditions, the fluid and solid
// assembly of their equations, the solve through the domain's field solve, their clamp to the
// problem's bounds, the end-of-step update and the convergence questions of the driver.
#include "domain/phiproblem.h"

#include <cmath>
#include <iostream>
#include <set>
#include <string>

#include "domain/fluidmesh.h"
#include "domain/soliddomain.h"
#include "domain/solidmesh.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "input/input.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"

namespace {

// Sizes v to n entries, all 0.
void Zero(ReaVec& v, int n) {
  if (int(v.length()) != n) v.resize(unsigned(n), 0.0);
  else v = 0.0;
}

// out(i) = f at node i for every domain node i of set m (every node when m covers the domain).
void EvalOnSet(FluidFunction* f, FluidMesh* m, ReaVec& out, bool whole) {
  if (!f->Initialised()) f->isConstant(), f->isTemporal();
  if (whole) return f->fill(out);
  const IntVec& ids = m->DomainNodes();
  f->bind();
  double* o = out.GivePointer();
  for (unsigned k = 1; k <= ids.length(); ++k) o[ids(k) - 1] = f->at(ids(k));
}

// A copy of s that lives as long as the process: a timing section keeps the address of its name
// until the table is written, which may be after the problem is gone.
const char* Lasting(const std::string& s) {
  static std::set<std::string> names;
  return names.insert(s).first->c_str();
}

}  // namespace

// ---------------------------------------------------------------- creation

PhiProblem::PhiProblem(Input* in, FluidDomain* d) : domain_(d) {
  index_ = in->GetInt("Index");
  name_ = in->GetWord("Name", nullptr);
  // The boundary values are given in the unit of this word, of whatever dimension it is.
  if (in->Exist("Boundary_Units")) boundaryFactor_ = in->GetFacToIU(in->GetWord("Boundary_Units", nullptr));
  for (int s = 0; s < 3; ++s) {
    static const char* const kOrder[3] = {"AdvecStab_2nd_Order", "AdvecStab_4th_Order", "AdvecStab_Auto"};
    if (in->Exist(kOrder[s])) order_ = s;
  }
  smoothing_ = in->Exist("Phi_Smoothing") ? in->GetInt("Phi_Smoothing") : 0;
  inner_ = in->Exist("InnerIterations") ? in->GetInt("InnerIterations") : 1;
  norm_ = in->GetRea("Convergence_Norm", 1e-10, "", Undimensional);
  upper_ = in->Exist("MaxLimit") ? in->GetRea("MaxLimit", Undimensional) : 1e100;
  lower_ = in->Exist("MinLimit") ? in->GetRea("MinLimit", Undimensional) : -1e100;
  conserve_ = in->Exist("Volume_Conservation") ? in->GetInt("Volume_Conservation") : 0;
  curMax_ = upper_, curMin_ = lower_;
  label_ = Lasting("Solving " + name_);
}

PhiProblem::PhiProblem(FluidDomain* d, int index, const char* base, double hi, double lo)
    : name_(std::string(base) + "_" + std::to_string(index)), index_(index), domain_(d), upper_(hi), lower_(lo),
      curMax_(hi), curMin_(lo), norm_(0.001), bySet_(true) {
  label_ = Lasting("Solving " + name_);
}

PhiProblem::~PhiProblem() = default;

void PhiProblem::InitialisePhi() {
  nodes_ = domain_->numNodes;
  Zero(value_, nodes_);
  Zero(prev_, nodes_);
  fixed_.resize(unsigned(nodes_), 0);
  condValue_.resize(unsigned(nodes_), 0);
  if (condition_) conditional_.resize(unsigned(nodes_), 0);
  for (ReaVec& w : work_) Zero(w, nodes_);
}

// ---------------------------------------------------------------- conditions

void PhiProblem::FixCondition(int node, int fix, double value) {
  const unsigned i = unsigned(node);
  fix ? fixed_.bound_mark(i) : fixed_.bound_unmark(i);
  if (!fix) return;
  const double v = boundaryFactor_ * value;
  if (v > upper_ || v < lower_)
    OLVU_FATAL("Wrong boundary conditions found for " << name_ << ".\nGiven value " << v
                                                      << " exceeds defined limits (" << lower_ << " , " << upper_
                                                      << ").\n");
  value_(i) = prev_(i) = v;
}

void PhiProblem::FixCondition(int node, int fix, int conditional) {
  const unsigned i = unsigned(node);
  if (conditional == 1) {
    condValue_.bound_mark(i);
    fixed_.bound_mark(i);
  } else if (fix == 1) {
    fixed_.bound_mark(i);
  }
}

void PhiProblem::FixCondition(int node) {
  if (conditional_.length() >= unsigned(node)) conditional_.bound_mark(unsigned(node));
}

void PhiProblem::ReadInitialData(const char* card, Input* in) {
  initial_.reset(in->GetFluidFunc(card, domain_, Undimensional));
}

void PhiProblem::ReadConditional(const char* card, Input* in) {
  condition_.reset(in->GetFluidFunc(card, domain_, Undimensional));
}

void PhiProblem::ReadInitialConditions() {
  // A problem made by an element set is read after the initial-data cards: it starts from 0.
  if (!initial_ && bySet_) return;
  if (!initial_) OLVU_FATAL("Wrong initial data found in Phi Problem " << name_ << "\n");
  if (!initial_->Initialised()) initial_->isConstant(), initial_->isTemporal();
  initial_->fill(value_);
}

void PhiProblem::UpdateConditions() {
  if (!condition_ || conditional_.length() == 0) return;
  condition_->bind();
  for (unsigned i = 1; i <= conditional_.length(); ++i) {
    if (!conditional_(i)) continue;
    const double g = condition_->at(int(i));
    if (g > 0) {
      fixed_.bound_mark(i);
      if (initial_) value_(i) = initial_->evaluate(int(i));
      condition_->bind();  // the evaluation above took the views of its own pass
    } else if (g < 0) {
      fixed_.bound_unmark(i);
    }
  }
}

// ---------------------------------------------------------------- step lifecycle

void PhiProblem::StartNewStep() {
  if (!initial_ && !bySet_) OLVU_FATAL("Wrong initial data found in Phi Problem " << name_ << "\n");
  if (initial_) initial_->update(value_, condValue_);
  UpdateConditions();
  curMax_ = value_.max_val();
  curMin_ = value_.min_val();
}

void PhiProblem::UpdateVariables(double theta) {
  const double hi = Upper(), lo = Lower();
  value_.average(prev_, theta);
  if (theta < 1) value_.limit(hi, lo);
  if (conserve_ && !limited_ && !Initial_Phase)
    domain_->VolumeConservation(prev_, value_, hi, lo, 0.01 * norm_, 10, &fixed_);
  prev_ = value_;
}

int PhiProblem::HasConverged() {
  ratio_ = change_ / (value_.max_abs() + 1e-14);
  std::cout << "VarIncrRatio(" << name_ << ") " << ratio_ << std::endl;
  if (!std::isfinite(ratio_)) OLVU_FATAL("Problem " << name_ << "diverged\n");
  return ratio_ <= norm_ ? 1 : 0;
}

int PhiProblem::IsSteadyState() {
  // The change over the whole step (the previous value holds the step's start until the step
  // finishes), not that of its last iteration, which only measures the convergence within the
  // step; divided as the convergence test divides.
  const double step = FieldChange(value_, prev_, nullptr) / (value_.max_abs() + 1e-14);
  return step < domain_->SteadyNorm() ? 1 : 0;
}

void PhiProblem::LimitPhi() { value_.limit(Upper(), Lower()); }

void PhiProblem::UpdateLimitPhi(double max, double min) {
  if (max > curMax_) curMax_ = max;
  if (min < curMin_) curMin_ = min;
}

// ---------------------------------------------------------------- properties

void PhiProblem::EvalProperties(ReaVec& a, ReaVec& k, ReaVec& D, ReaVec& R, ReaVec& Q, ReaVec& s) {
  ReaVec* out[5] = {&a, &k, &D, &R, &Q};
  const bool whole = domain_->number_of_fluid_meshes() == 1;
  if (!whole)  // one mesh fills every node
    for (ReaVec* v : out) *v = 0.0;
  s = 0.0;
  int i = 0;
  while (Mesh* mesh = domain_->giveNextDomainMesh(i)) {
    auto* m = static_cast<FluidMesh*>(mesh);
    for (int t = 0; t < 5; ++t) EvalOnSet(m->PhiF(t).get_at(index_), m, *out[t], whole);
  }
}

void SpcProblem::EvalProperties(ReaVec& a, ReaVec& k, ReaVec& D, ReaVec& R, ReaVec& Q, ReaVec& s) {
  ReaVec* out[5] = {&a, &D, &R, &Q, &s};
  for (ReaVec* v : out) *v = 0.0;
  const bool whole = domain_->number_of_fluid_meshes() == 1;
  int i = 0;
  while (Mesh* mesh = domain_->giveNextDomainMesh(i)) {
    auto* m = static_cast<FluidMesh*>(mesh);
    for (int t = 0; t < 5; ++t) EvalOnSet(m->SpcF(t).get_at(index_), m, *out[t], whole);
  }
  k = a;
}

void PhiProblem::EvalProperties(ReaVec& a, ReaVec* K, ReaVec& R, ReaVec& Q) {
  a = 0.0, R = 0.0, Q = 0.0;
  for (int c = 0; c < NSolidComponents; ++c) K[c] = 0.0;
  const bool whole = domain_->number_of_fluid_meshes() == 1;
  const bool species = Species();
  int i = 0;
  while (Mesh* mesh = domain_->giveNextDomainMesh(i)) {
    auto* m = static_cast<SolidMesh*>(mesh);
    EvalOnSet(m->SolidF(species, 0).get_at(index_), m, a, whole);
    for (int c = 0; c < SolidDomain::Components(); ++c)
      EvalOnSet(m->SolidF(species, 1 + c).get_at(index_), m, K[c], whole);
    EvalOnSet((species ? m->SpcF(2) : m->PhiF(3)).get_at(index_), m, R, whole);
    EvalOnSet((species ? m->SpcF(3) : m->PhiF(4)).get_at(index_), m, Q, whole);
  }
}

void SpcProblem::EvalProperties(ReaVec& a, ReaVec* K, ReaVec& R, ReaVec& Q) { PhiProblem::EvalProperties(a, K, R, Q); }

void PhiProblem::EvalFlux(ReaVec& w1, ReaVec& w2, ReaVec& F, ReaVec& G) {
  // Boundary fluxes come from the body sets, which carry the flux functions per problem.
  domain_->Parts().ProblemFluxes(Species(), index_, w1, w2, F, G);
}

void SpcProblem::EvalFlux(ReaVec& w1, ReaVec& w2, ReaVec& F, ReaVec& G) { PhiProblem::EvalFlux(w1, w2, F, G); }

// ---------------------------------------------------------------- assembly and solve

void PhiProblem::BoundaryFluxes() {
  if (domain_->number_of_body_meshes() == 0) return;
  ReaVec& F = work_[8];
  ReaVec& G = work_[9];
  F = 0.0, G = 0.0;
  EvalFlux(work_[6], work_[7], F, G);
  const double hi = curMax_, lo = curMin_;
  domain_->SourceReactionLimits(F, G, value_, curMax_, curMin_);
  if (hi != curMax_ || lo != curMin_) limited_ = 1;
  *rhs_ += F;
  sys_->diag_vect_add(G);
}

void PhiProblem::FixRows() {
  // Eliminated from the columns as well, so a symmetric system stays symmetric for CG and IC.
  sys_->Fix_Eliminate(fixed_, value_, *rhs_);
}

void PhiProblem::AssembleFluidPhi() {
  Clock clock(label_);
  sys_ = domain_->SystemMatrix(0);
  rhs_ = &domain_->Rhs(0);
  ReaVec &a = work_[0], &k = work_[1], &D = work_[2], &R = work_[3], &Q = work_[4];
  EvalProperties(a, k, D, R, Q, work_[5]);
  const double hi = curMax_, lo = curMin_;
  domain_->SourceReactionLimits(Q, R, value_, curMax_, curMin_);
  limited_ = hi != curMax_ || lo != curMin_;
  domain_->DiscontinuityCapturing(value_, D, R, D, smoothing_);
  domain_->AssembleSystem(value_, prev_, a, k, Q, D, R, *rhs_, order_);
  BoundaryFluxes();
  FixRows();
}

void PhiProblem::AssembleSolidPhi() {
  Clock clock(label_);
  auto* solid = static_cast<SolidDomain*>(domain_);
  sys_ = domain_->SystemMatrix(0);
  rhs_ = &domain_->Rhs(0);
  ReaVec &a = work_[0], &R = work_[1], &Q = work_[2];
  ReaVec* K = work_ + 3;  // six components
  EvalProperties(a, K, R, Q);
  const double hi = curMax_, lo = curMin_;
  domain_->SourceReactionLimits(Q, R, value_, curMax_, curMin_);
  limited_ = hi != curMax_ || lo != curMin_;
  a *= domain_->InvDtTheta();
  solid->AssembleConduction(a, prev_, K, Q, Q != 0.0, &R, sys_, *rhs_);
  BoundaryFluxes();
  FixRows();
}

void PhiProblem::Calculate(Solver* solver) {
  // The solver clamps to this step's bounds and keeps the fixed values; no other field's bounds,
  // denominators or increment limits take part.
  const ReaVec noWeights;
  change_ = solver->solve(*rhs_, value_, sys_, fixed_, Upper(), Lower(), noWeights, 1, name_.c_str());
}

void PhiProblem::CalculateFluidPhi() {
  Clock clock(label_);
  Calculate(domain_->giveSolver1st());
}

void PhiProblem::CalculateSolidPhi() {
  Clock clock(label_);
  Calculate(domain_->giveSolver2nd());
}

void PhiProblem::SolveFluidPhi() {
  AssembleFluidPhi();
  CalculateFluidPhi();
  LimitPhi();
}

void PhiProblem::SolveSolidPhi() {
  AssembleSolidPhi();
  CalculateSolidPhi();
  LimitPhi();
}
