// Starting fields of the flow solve: the initial values of the nodal fields, the pressure
// consistent with the initial velocity, the hydrostatic initial pressure and the
// reinitialisation of the pseudoconcentration.
#include <cmath>

#include "domain/fluiddomain.h"
#include "domain/materialcheck.h"
#include "domain/phiproblem.h"
#include "flow/turbulence.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "input/fluidfunction.h"
#include "mesh/node.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"

namespace {

bool HasMembers(const BitVec& b) { return b.length() > 0 && !b.null(); }

const ReaVec kNone;

}  // namespace

void FluidDomain::InitialiseVelocityPressure() {
  if (!Solves(PVelocity) || !Solves(PPressure)) return;
  Clock clock("Initialising Velocity and Pressure");
  ReaVec& u = vars_[VelX];
  CalcConvectiveMatrixes(u, vars_[VelY], vars_[VelZ]);
  MomentumMatrix();
  MomentumRightHandSides(&vars_[VelX0]);
  // Nodal accelerations a_k = m^-1 (b_k - A u_k), kept in b_k.
  SystemSparseMatrix* A = sys_[1];
  const int comps = Dimension_Olvu == 3 ? 3 : 2;
  for (int c = 0; c < comps; ++c) {
    ReaVec& b = Rhs(c);
    A->sub_mult((&u)[c].GivePointer(), b.GivePointer());
    b.product(invLumped_);
  }
  ReaVec w(unsigned(numNodes), 0.0);  // the divergence of the accelerations
  for (int c = 0; c < comps; ++c) {
    sys_[2 + c]->add_mult(Rhs(c).GivePointer(), w.GivePointer());
    sys_[2 + c]->add_trans_mult(Rhs(c).GivePointer(), w.GivePointer());
  }
  SystemSparseMatrix* P = sys_[0];
  P->copy_val(lap_);
  ReaVec& rhs = Rhs(0);
  lap_->mult(PreviousPressure().GivePointer(), rhs.GivePointer());
  rhs.add_product(w, 1.0);
  rhs *= dt_;
  for (int c = 0; c < comps; ++c) sys_[2 + c]->sub_mult((&u)[c].GivePointer(), rhs.GivePointer());
  rhs /= dt_;
  FixPressureRows(P, rhs);
  solver2_->solve(rhs, vars_[Pres], P, conds_[FixPres], kNone, 1, "");
}

void FluidDomain::SolveInitialPressure() {
  if (!totalPressure_ || !Solves(PPressure)) return;
  Clock clock("Solving Initial Pressure");
  SystemSparseMatrix* A = sys_[0];
  A->copy_val(lap_);
  // The solve's pressure is kinematic, so the hydrostatic gradient is g itself (rho g / rho).
  ReaVec& b = Rhs(0);
  b = 0.0;
  ReaVec g(unsigned(numNodes), 0.0);
  const int comps = Dimension_Olvu == 3 ? 3 : 2;
  for (int c = 0; c < comps; ++c) {
    const double gc = GravVec.length() > unsigned(c) ? GravVec(unsigned(c + 1)) : 0.0;
    if (gc == 0) continue;
    g = gc;
    sys_[2 + c]->add_trans_mult(g.GivePointer(), b.GivePointer());
  }
  // The nodes held at zero change live in a set of their own: the velocity solves' kept set must
  // not inherit the outlet.
  const unsigned nn = unsigned(numNodes);
  if (scratchSet_.length() != nn) scratchSet_.resize(nn, 0);
  scratchSet_.unmark();
  if (HasMembers(conds_[FixPres])) scratchSet_ = conds_[FixPres];
  if (Solves(PPseudo) && vars_[Pseudo].length() == nn)
    for (unsigned i = 1; i <= nn; ++i)
      if (std::fabs(vars_[Pseudo](i)) < 0.25 * Psed_Length) scratchSet_.assign(i, 1);
  if (scratchSet_.null()) b -= b.sum() / double(nn);
  ReaVec dp(unsigned(numNodes), 0.0);
  A->Fix_Eliminate(scratchSet_, dp, b);
  solver2_->solve(b, dp, A, conds_[FixPres], kNone, 1, "");
  ReaVec& p = vars_[Pres];
  const BitVec& fixed = conds_[FixPres];
  for (unsigned i = 1; i <= nn; ++i)
    if (!(i <= fixed.length() && fixed(i))) p(i) += dp(i);
  if (FStatic.length() >= 3 && nn > 0) {
    // The first node holds (x1 - x0).g, x0 the pressure origin.
    double ref = 0;
    for (int c = 0; c < 3; ++c) {
      const double gc = GravVec.length() > unsigned(c) ? GravVec(unsigned(c + 1)) : 0.0;
      const double x1 = c == 0 ? X(1, 1) : (c == 1 ? Y(1, 1) : Z(1, 1));
      ref += (x1 - FStatic(unsigned(c + 1))) * gc;
    }
    p -= p(1) - ref;
  }
}

void FluidDomain::PsedReinitialisation() {
  ReaVec& psi = vars_[Pseudo];
  const unsigned nn = unsigned(numNodes);
  if (psi.length() != nn || nn == 0) return;
  const ReaVec& h = vars_[ElemSize];
  if (Psed_Length == 0) {
    ReaVec a(h);
    a.abs();
    Psed_Length = std::sqrt(a.max_val() * a.min_val());
  }
  const double len = Psed_Length;
  ReaVec S(nn, 0.0), R(nn, 0.0), step(nn, 0.0);  // sign, residual and pseudo-time step
  for (unsigned i = 1; i <= nn; ++i) S(i) = psi(i) / std::sqrt(psi(i) * psi(i) + len * len);
  step.product(h, 0.1);
  const BitVec& keep = conds_[WallLawNodes];
  for (unsigned i = 1; i <= keep.length() && i <= nn; ++i)
    if (keep(i)) step(i) = 0;
  ReaVec g[3];  // the gradient of psi
  for (ReaVec& v : g) v.resize(nn, 0.0);
  double first = 0;
  for (int pass = 0; pass < 20; ++pass) {
    const int comps = Dimension_Olvu == 3 ? 3 : 2;
    for (int c = 0; c < comps; ++c) {
      sys_[2 + c]->mult(psi.GivePointer(), g[c].GivePointer());
      g[c].product(invLumped_);
    }
    lap_->mult(psi.GivePointer(), R.GivePointer());
    double m = 0;
    for (unsigned i = 1; i <= nn; ++i) {
      double gg = 0;
      for (int c = 0; c < comps; ++c) gg += g[c](i) * g[c](i);
      R(i) = S(i) * (std::sqrt(gg) - 1) + 0.5 * h(i) * invLumped_(i) * R(i);
      m = std::fmax(m, std::fabs(R(i)));
    }
    if (pass == 0) first = m;
    if (first > 10 * m) break;
    first = std::fmax(first, m);
    psi.sub_product(step, R);
  }
  const BitVec& fixed = conds_[FixPseudo];
  for (unsigned i = 1; i <= fixed.length() && i <= nn; ++i)
    if (fixed(i)) psi(i) = vars_[Pseudo0](i);
  // The user's interface length is kept (the band follows it).
  BitVec& band = conds_[FreeSurfNodes];
  if (band.length() != nn) band.resize(nn, 0);
  for (unsigned i = 1; i <= nn; ++i) band.assign(i, std::fabs(psi(i)) < Psed_Length ? 1 : 0);
}

void FluidDomain::ReadInitialConditions() {
  for (int pass = 0; pass < 2; ++pass) {
    const DofType kinds[3] = {DofType::VelocityX, DofType::VelocityY, DofType::VelocityZ};
    for (int c = 0; c < 3; ++c)
      if (FluidFunction* f = initial_->FFunc(int(kinds[c]))) f->fill(vars_[VelX + c]);
    if (Solves(PPressure))
      if (FluidFunction* f = initial_->FFunc(int(DofType::Pressure))) f->fill(vars_[Pres]);
    if (Solves(PTemperature))
      if (FluidFunction* f = initial_->FFunc(int(DofType::Temperature))) f->fill(vars_[Temp]);
    if (Solves(PTurbulence)) {
      if (FluidFunction* f = initial_->FFunc(int(DofType::EddyLength))) f->fill(vars_[TurbLength]);
      if (FluidFunction* f = initial_->FFunc(int(DofType::EddyKineticEnergy))) f->fill(vars_[KEnergy]);
    }
    EvalDomainFunction(DofType::Density, vars_[Dens]);
    if (Solves(PVelocity)) {
      EvalDomainFunction(DofType::Viscosity, vars_[Visc]);
      const double* mu = vars_[Visc].GivePointer();
      const double* rho = vars_[Dens].GivePointer();
      double* nu = vars_[KVisc].GivePointer();
      for (int k = 0; k < numNodes; ++k) nu[k] = mu[k] / (rho[k] > 1e-14 ? rho[k] : 1e-14);
    }
    if (Solves(PTemperature)) {
      EvalDomainFunction(DofType::SpecificHeat, vars_[SpHeat]);
      EvalDomainFunction(DofType::Conductivity, vars_[Conduct]);
    }
    if (Solves(PCompressibility)) {
      EvalDomainFunction(DofType::Compressibility, vars_[Compress]);
      vars_[DensCopy] = vars_[Dens];
    }
    if (Solves(PEnergy)) EvalDomainFunction(DofType::KineticEnergy, vars_[EnergyV]);
    UpdateVariables(1.0);
    EachScalarProblem(*this, [](PhiProblem& p) {
      p.ReadInitialConditions();
      p.UpdateVariables(1.0);
    });
  }
  // The initial results are written before the first step checks the materials.
  CheckFluidMaterials(*this, MaterialStage::SetUp);
  if (Solves(PTurbulence)) {
    ReaVec& k = vars_[KEnergy];
    ReaVec& l = vars_[TurbLength];
    for (unsigned i = 1; i <= k.length(); ++i) {
      if (k(i) < 1e-14) k(i) = 1e-14;
      if (l(i) < 1e-14) l(i) = 1e-14;
      vars_[TVisc](i) = l(i) * std::sqrt(k(i));
    }
    for (unsigned i = 1; i <= k.length(); ++i) {
      const double lm = l(i) > 1e-14 ? l(i) : 1e-14;
      if (Solves(PKKT)) vars_[KTau](i) = KTauFromLength(k(i), l(i));
      if (Solves(PKEpsilon) || Solves(PKEps2L)) vars_[Epsilon](i) = EpsilonFromLength(k(i), lm);
      if (Solves(PKOmega) || Solves(PKOmegaSST)) vars_[Omega](i) = OmegaFromLength(k(i), lm);
    }
    if (Solves(PSpalart) && vars_[SAVar].length() == k.length() && vars_[KVisc].length() == k.length())
      for (unsigned i = 1; i <= k.length(); ++i) {
        const double nu = std::fmax(vars_[KVisc](i), 1e-14);
        vars_[SAVar](i) = vars_[SAVar0](i) = nu * SpalartAllmarasChi(vars_[TVisc](i) / nu);
      }
    if ((Solves(PSpalart) || Solves(PSmagorinsky) || Solves(PBaldwin)) && k.length()) k.resize(0);
  }
  const ReaVec& rho = vars_[Dens];
  if (rho.length() && rho.min_val() != rho.max_val()) Dens_Reference = rho.min_val();
  Signed_Velocity.resize(3);
  for (unsigned c = 0; c < 3; ++c) Signed_Velocity(c + 1) = vars_[VelX + int(c)].length() ? vars_[VelX + int(c)].max_signed() : 0.0;
}
