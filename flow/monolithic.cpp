// Alternative solution operations of the fluid domain that the regular iteration does not call:
// the fractional-step scheme, the Stokes momentum, a simplified explicit update, a penalty
// pressure, the constraint step of the solver's coupled iteration and the pressure correction
// for changed body forces, an explicit update with sub-steps and the transport of the
// pseudoconcentration and the energy.
#include <algorithm>
#include <cmath>

#include "flow/flowsolver.h"

#include "domain/fluiddomain.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"

namespace {

const ReaVec kNone;

int Components() { return Dimension_Olvu == 3 ? 3 : 2; }

// Most sub-steps one explicit update takes: a bound on the work of a step whose local time-step
// bound collapses (a blowing-up velocity), so that it ends instead of running without end.
const int kMaxSubSteps = 100000;

// x_i = prev_i on the nodes of `fixed` (a set that may be unsized).
void KeepFixed(ReaVec& x, const ReaVec& prev, const BitVec& fixed) {
  const unsigned n = std::min(x.length(), fixed.length());
  for (unsigned i = 1; i <= n; ++i)
    if (fixed(i)) x(i) = prev(i);
}

}  // namespace

void FluidDomain::SolveFractionalStep() {
  if (!Solves(PFractional)) return;
  Clock clock("Solving Navier Stokes - Fractional Step");
  {
    Clock momentum("Solving Fractional Step Momentum");
    {
      Clock assembling("Assembling System");
      CalcConvectiveMatrixes(vars_[VelX], vars_[VelY], vars_[VelZ]);
      MomentumMatrix();
      MomentumRightHandSides(&vars_[VelX0]);
    }
    SolveVelocityX(0);
    SolveVelocityY(0);
    SolveVelocityZ(0);
  }
  SolvePressureStep();
  SolveProjectionStep();
}

void FluidDomain::SolvePressureStep() {
  if (!Solves(PFractional)) return;
  Clock clock("Solving Fractional Step Pressure");
  ReaVec& tau = vars_[TauEq];
  if (Current_Step < 2 || splitPressure_) {
    tau = 0.0;
  } else {
    ReaVec& nu = Nodal(work_.viscosity);
    EffectiveViscosity(nu);
    const double* tc = vars_[TauV].GivePointer();
    const double* h = vars_[ElemSize].GivePointer();
    const double* v = nu.GivePointer();
    double* t = tau.GivePointer();
    for (int k = 0; k < numNodes; ++k) t[k] = 1.0 / (1.0 / (tc[k] + 1e-14) + 4 * v[k] / (h[k] * h[k]));
    LimitPressureTau(tau);
  }
  // The stage's pressure is the step's pressure plus the correction that makes u divergence-free.
  Conv(VarIncrement, ConvVar::Pressure) += DivergenceFreePressure(vars_[Pres0], stab_[1] != 0 && !splitPressure_, "Pressure");
}

void FluidDomain::SolveProjectionStep() {
  if (!Solves(PFractional)) return;
  Clock clock("Solving Fractional Step Projection");
  // The pressure is kinematic already, so the increment is not divided by the density again.
  ReaVec& dp = Nodal(work_.pressureChange);
  if (splitPressure_)
    dp = vars_[Pres];
  else
    dp.minus(vars_[Pres], vars_[Pres0]);
  ReaVec& w = Nodal(work_.projectionGradient);
  for (int k = 0; k < Components(); ++k) {
    sys_[2 + k]->mult(dp.GivePointer(), w.GivePointer());
    w *= dtTheta_;
    vars_[VelX + k].sub_product(w, invLumped_);
  }
  CorrectVelocity();
}

void FluidDomain::SolveMomentumStokes() {
  if (!Solves(PStokes)) return;
  Clock clock("Solving Momentum Stokes");
  ReaVec& nu = Nodal(work_.viscosity);
  EffectiveViscosity(nu);
  if (!(nu.max_val() > 1e-14)) OLVU_FATAL("Cannot solve Stokes problem with null viscosity\n");
  // No convection: K and S vanish, and tau comes from a speed scale of a thousandth of the
  // largest speed.
  sys_[7]->NullifyMatrix();
  sys_[8]->NullifyMatrix();
  const double speed = 0.001 * Max_Velocity;
  const double* h = vars_[ElemSize].GivePointer();
  const double* v = nu.GivePointer();
  double* t = vars_[TauV].GivePointer();
  for (int k = 0; k < numNodes; ++k) t[k] = 1.0 / (2 * speed / h[k] + 4 * v[k] / (h[k] * h[k]));
  SolveMomentum();
}

void FluidDomain::SolveSimplifiedEuler() {
  if (!Solves(PEuler)) return;
  Clock clock("Solving Simplified Euler");
  ReaVec none;
  for (int c = 0; c < Components(); ++c) Assemble_STRHS(vars_[VelX0 + c], none, Rhs(c));
  Assemble_NSRHS(Rhs(0), Rhs(1), Rhs(2));
  for (int c = 0; c < Components(); ++c) {
    ReaVec& u = vars_[VelX + c];
    u.product(Rhs(c), invLumped_);
    u *= dtTheta_;
  }
  CorrectVelocity();
}

void FluidDomain::SolvePenaltyPressure(double penalty) {
  if (!Solves(PPressure)) return;
  Clock clock("Solving Pressure (Penalty Method)");
  // M p = M p_prev - penalty D u: the pressure grows where the velocity expands.
  SystemSparseMatrix* A = sys_[0];
  A->copy_val(mass_);
  ReaVec& p = vars_[Pres];
  PreviousPressure() = p;
  ReaVec& b = Rhs(0);
  mass_->mult(p.GivePointer(), b.GivePointer());
  ReaVec d(unsigned(numNodes), 0.0);  // D u; outside the solve sequence, so allocated here
  d = 0.0;
  for (int k = 0; k < Components(); ++k) sys_[2 + k]->add_mult(vars_[VelX + k].GivePointer(), d.GivePointer());
  b.sub_product(d, penalty);
  const BitVec& fixed = conds_[FixPres];
  A->Fix_Eliminate(fixed, p, b);
  Conv(VarIncrement, ConvVar::Pressure) += solver2_->solve(b, p, A, fixed, lumped_, 1, "Pressure");
}

void FluidDomain::SolveCoupled(ReaVec& x1, ReaVec& x2, ReaVec& x3) { CorrectVelocity(x1, x2, x3); }

void FluidDomain::CalculateBodyForces(int only) {
  Clock clock("Solving Basic Pressure");
  ReaVec* f = &vars_[BodyForceX];
  ReaVec w[3];  // the velocity change of the forces; outside the solve sequence, so allocated here
  for (int c = 0; c < 3; ++c) w[c] = f[c];
  CalculateBodyForces(f[0], f[1], f[2]);
  if (only) return;
  SystemSparseMatrix* A = sys_[0];
  A->copy_val(lap_);
  for (int c = 0; c < 3; ++c) {
    w[c] -= f[c];
    w[c] *= dtTheta_;
    w[c] -= vars_[VelX + c];
  }
  ReaVec b(unsigned(numNodes), 0.0);
  for (int c = 0; c < Components(); ++c) sys_[2 + c]->sub_trans_mult(w[c].GivePointer(), b.GivePointer());
  CorrectVelocity(w[0], w[1], w[2]);
  for (int c = 0; c < Components(); ++c) {
    sys_[2 + c]->add_trans_mult(w[c].GivePointer(), b.GivePointer());
    sys_[2 + c]->add_mult(w[c].GivePointer(), b.GivePointer());
  }
  b /= dt_;
  lap_->add_mult(vars_[Pres].GivePointer(), b.GivePointer());
  FixPressureRows(A, b);
  solver2_->solve(b, vars_[Pres], A, 1, "Pressure (Initial)");
}

void FluidDomain::SolveMonolithic() {
  if (!Solves(PVelocity)) return;
  Clock clock("Solving Velocity (Momentum Equation)");
  {
    Clock assembling("Solving Momentum Equation");
    AssembleMomentum();
  }
  // Each component's rows are prepared as in the segregated solve, then solved through the
  // bounded field solve with the component's fixed set.
  static const char* const kLabel[3] = {"Fluid Velocity X", "Fluid Velocity Y", "Fluid Velocity Z"};
  Conv(VarIncrement, ConvVar::Velocity) = 0;
  for (int c = 0; c < Components(); ++c) {
    SolveVelocityComponent(c, 1);
    ReaVec& u = vars_[VelX + c];
    ReaVec& b = work_.componentRhs[c];
    SolveUnknown(UnkType::Velocity, u, sys_[0], b, conds_[FixVelX + c], kLabel[c]);
    double change = 0;
    for (unsigned i = 1; i <= u.length(); ++i) change = std::fmax(change, std::fabs(u(i) - b(i)));
    Conv(VarIncrement, ConvVar::Velocity) += change;
  }
  CorrectVelocity();
}

// ---------------------------------------------------------------- explicit update

void FluidDomain::Assemble_EXRHS(ReaVec& u, ReaVec& f, ReaVec& out) {
  // M u / (theta dt) - A u leaves the viscous, convective and streamline terms applied to u.
  mass_->mult(u.GivePointer(), out.GivePointer());
  out *= invDtTheta_;
  sys_[1]->sub_mult(u.GivePointer(), out.GivePointer());
  if (f.length() == out.length() && f.max_abs() > 0) mass_->add_mult(f.GivePointer(), out.GivePointer());
}

int FluidDomain::SolveNavierStokesExplicit() {
  if (!Solves(PNavierStokes)) return 0;
  Clock clock("Solving Momentum Navier Stokes");
  ReaVec* f = &vars_[BodyForceX];
  int steps = 1;
  {
    Clock assembling("Assembling System");
    CalcConvectiveMatrixes(vars_[VelX], vars_[VelY], vars_[VelZ]);
    CalculateBodyForces(f[0], f[1], f[2]);
    MomentumMatrix();  // the operator stays that of the step's first velocity over the sub-steps
    // Local time-step bound of forward Euler with the lumped mass: 1 / (2 |u| / h + 4 nu / h^2),
    // the smallest over the nodes; the sub-steps take at most 0.35 of it (rounded up, so that no
    // sub-step is longer).
    const ReaVec& nu = nu_;
    const ReaVec& h = vars_[ElemSize];
    double bound = 1e100;
    for (unsigned i = 1; i <= unsigned(numNodes); ++i) {
      double s = 0;
      for (int c = 0; c < Components(); ++c) s += vars_[VelX + c](i) * vars_[VelX + c](i);
      const double rate = 2 * std::sqrt(s) / h(i) + 4 * nu(i) / (h(i) * h(i));
      if (rate > 0) bound = std::fmin(bound, 1.0 / rate);
    }
    const double n = std::ceil(dtTheta_ / (0.35 * bound));
    steps = !(n >= 1) ? 1 : n > kMaxSubSteps ? kMaxSubSteps : int(n);
  }
  Clock solving("Solving");
  const double dtau = dtTheta_ / steps;
  if (Components() == 2) Rhs(2) = 0.0;
  for (int s = 0; s < steps; ++s) {
    for (int c = 0; c < Components(); ++c) Assemble_EXRHS(vars_[VelX + c], f[c], Rhs(c));
    Assemble_NSRHS(Rhs(0), Rhs(1), Rhs(2));
    for (int c = 0; c < Components(); ++c) {
      ReaVec& b = Rhs(c);
      b *= dtau;
      vars_[VelX + c].add_product(b, invLumped_);
    }
    CorrectVelocity();
  }
  return steps;
}

// ---------------------------------------------------------------- transported fields

void FluidDomain::SolvePseudoconcentration() {
  if (!Solves(PPseudo)) return;
  Clock clock("Solving Pseudoconcentration");
  // Pure transport: no source, reaction or diffusion; the streamline term alone stabilises it.
  ReaVec none;
  ReaVec& psi = vars_[Pseudo];
  ReaVec& b = Rhs(0);
  AssembleSystem(psi, vars_[Pseudo0], none, none, none, b, stab_[4]);
  SystemSparseMatrix* A = sys_[0];
  const BitVec& fixed = conds_[FixPseudo];
  A->Fix_Eliminate(fixed, psi, b);
  solver1_->solve(b, psi, A, 1, "Pseudoconcentration");
  KeepFixed(psi, b, fixed);  // b holds the values before the solve
}

void FluidDomain::SolveEnergy() {
  if (!Solves(PEnergy)) return;
  Clock clock("Solving Energy");
  // The energy diffuses with the effective viscosity, as the turbulent energies do, with the
  // energy's discontinuity capturing; nodes whose velocity is fully prescribed keep their energy.
  ReaVec none;
  ReaVec& e = vars_[EnergyV];
  ReaVec& nu = Nodal(work_.viscosity);
  ReaVec& D = Nodal(work_.diffusivity);
  EffectiveViscosity(nu);
  DiscontinuityCapturing(e, nu, none, D, smooth_[3]);
  ReaVec& b = Rhs(0);
  AssembleSystem(e, vars_[EnergyV0], none, D, none, b, stab_[5]);
  SystemSparseMatrix* A = sys_[0];
  const BitVec& fixed = conds_[FullFixVel];
  A->Fix_Eliminate(fixed, e, b);
  solver1_->solve(b, e, A, 1, "Energy");
  KeepFixed(e, b, fixed);
  // An energy is never negative (the initial field is checked for it); undershoots are cut.
  for (unsigned i = 1; i <= e.length(); ++i)
    if (e(i) < 0) e(i) = 0;
}
