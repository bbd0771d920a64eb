// The bounded field solve shared by the scalar fields (clamp to the field's range, limit of the
// change per iteration) and the fluid temperature solve built on it.
#include <cmath>

#include "domain/fluiddomain.h"
#include "flow/pairdiffusion.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/threads.h"
#include "input/fluidfunction.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

namespace {

// Entry k (0-based) of a global per-variable vector, or `absent` while it is shorter.
double Entry(const ReaVec& v, int k, double absent) { return unsigned(k) < v.length() ? v[unsigned(k)] : absent; }

}  // namespace

void FluidDomain::BoundUnknown(UnkType t, ReaVec& x, const ReaVec& b, const BitVec* fixed) {
  const int k = int(t) - 1;
  double tmax = incrControl_ * Entry(VarTolerance, k, 1e100);
  if (Max_Iterations > 1 && Iterations == 1) tmax = 1e100;
  const double lo = Entry(MinValue, k, 0), hi = Entry(MaxValue, k, 0);
  const double den = Entry(VarDenominat, k, 1);
  const bool limit = incrControl_ > 0;
  double* xp = x.GivePointer();
  const double* bp = b.GivePointer();
  const unsigned nfixed = fixed ? fixed->length() : 0;
  for (unsigned i = 0; i < x.length(); ++i) {
    if (i < nfixed && (*fixed)(i + 1)) {
      xp[i] = bp[i];
      continue;
    }
    // Equal bounds, or bounds still inverted as they start (no range set), clamp nothing.
    if (lo < hi) {
      if (xp[i] > hi) xp[i] = hi;
      else if (xp[i] < lo) xp[i] = lo;
    }
    if (limit) {
      const double d = xp[i] - bp[i];
      const double r = std::fabs(d) / den;
      if (r > tmax) xp[i] = bp[i] + d * tmax / r;
    }
  }
}

void FluidDomain::SolveUnknown(UnkType t, ReaVec& x, SystemSparseMatrix* A, ReaVec& b, const BitVec& fixed,
                               const char* label) {
  solver1_->solve(b, x, A, 1, label);
  BoundUnknown(t, x, b, &fixed);
}

void FluidDomain::SolveUnknown(UnkType t, ReaVec& x, SystemSparseMatrix* A, ReaVec& b, int refactor,
                               const char* label) {
  solver1_->solve(b, x, A, refactor, label);
  BoundUnknown(t, x, b, nullptr);
}

void FluidDomain::SolveTemperature() {
  if (!Solves(PTemperature)) return;
  Clock clock("Solving Temperature");
  ReaVec& T = vars_[Temp];
  ReaVec& rhoc = Nodal(work_.capacity);
  ReaVec& Q = Nodal(work_.source);
  ReaVec& R = Nodal(work_.reaction);
  ReaVec& D = Nodal(work_.diffusivity);
  rhoc.product(vars_[Dens], vars_[SpHeat]);
  EvalDomainFunction(DofType::HeatSource, Q);
  EvalDomainFunction(DofType::HeatSourceReaction, R);
  if (MaxValue.length() < 3) MaxValue.resize(23, -1e100);
  if (MinValue.length() < 3) MinValue.resize(23, 1e100);
  SourceReactionLimits(Q, R, T, MaxValue(3), MinValue(3));
  DiscontinuityCapturing(T, rhoc, vars_[Conduct], R, D, smooth_[2]);
  ReaVec& b = Rhs(0);
  AssembleSystem(T, vars_[Temp0], rhoc, Q, D, R, b, stab_[3]);
  SystemSparseMatrix* A = sys_[0];
  BodyHeatFluxes(A, b, Q, R, D);  // the assembly is done with the volume terms and diffusivity
  InterfaceHeatExchange(A, b);
  const BitVec& fix = conds_[FixTemp];
  const BitVec& grad = conds_[FixGradient];
  for (unsigned i = 1; i <= T.length(); ++i) {
    if (i <= fix.length() && fix(i)) continue;
    if (i <= grad.length() && grad(i)) {
      b(i) = 0;
      A->Copy_Row_Val(int(i) - 1, NullGradientDirection(fixedGradient_, int(i)), *sys_[2], *sys_[3], *sys_[4]);
    }
  }
  A->Fix_Eliminate(fix, T, b);
  SolveUnknown(UnkType::Temperature, T, A, b, fix, "Temperature in Fluid Domain");
  double change = 0;
  for (unsigned i = 1; i <= T.length(); ++i) change = std::fmax(change, std::fabs(b(i) - T(i)));
  if (!HasConv(VarIncrement, ConvVar::Temperature)) VarIncrement.resize(unsigned(ConvVar::Count), 0.0);
  Conv(VarIncrement, ConvVar::Temperature) = change;
}

void FluidDomain::BodyHeatFluxes(SystemSparseMatrix* A, ReaVec& b, ReaVec& q, ReaVec& r, ReaVec& w) {
  if (!parts_->HeatFluxes(q, r, w)) return;  // both sums would be 0
  if (MaxValue.length() < 3) MaxValue.resize(23, -1e100), MinValue.resize(23, 1e100);
  SourceReactionLimits(q, r, vars_[Temp], MaxValue(3), MinValue(3));
  b += q;
  A->diag_vect_add(r);
}

void FluidDomain::TransportMatrix(const ReaVec& c, const ReaVec& c2, const ReaVec& d) {
  // One pass over the pattern instead of one per term: the symmetric M and L are read through
  // the map from each full position to its stored upper one.
  const SparseMatrixStruct* s = pattern_;
  const int* rp = s->row_ptr(0);
  const int* col = s->col_ind(0);
  const int* up = s->spos_ind(0);
  const double* M = mass_->val(0);
  const double* L = lap_->val(0);
  const double* K = sys_[7]->val(0);
  const double* S = sys_[8]->val(0);
  const double* tau = vars_[TauEq].GivePointer();
  const double* cp = c.GivePointer();
  const double* dp = d.length() > 0 ? d.GivePointer() : nullptr;
  double* A = sys_[0]->val(0);
  const double alpha = invDtTheta_;
  // Adds row i's diffusion entries (PairDiffusion).
  const auto diffuse = [=](int i) {
    const double di = dp[i];
    double excess = 0;
    int diag = rp[i];
    for (int k = rp[i]; k < rp[i + 1]; ++k) {
      const int j = col[k];
      A[k] += PairDiffusion(di, dp[j], L[up[k]], excess);
      diag = j == i ? k : diag;
    }
    A[diag] -= 0.5 * excess;
  };
  if (&c2 != &c) {
    // Capacity c on the mass, convective weight c2 on the convection and its stabilisation.
    const double* c2p = c2.GivePointer();
    ParallelFor(numNodes, [&](int i) {
      const double ai = alpha * cp[i], ki = c2p[i], ti = ki * tau[i];
      for (int k = rp[i]; k < rp[i + 1]; ++k) A[k] = ai * M[up[k]] + ki * K[k] + ti * S[k];
      if (dp) diffuse(i);
    });
    return;
  }
  ParallelFor(numNodes, [&](int i) {
    const double ci = cp[i], ti = tau[i];
    for (int k = rp[i]; k < rp[i + 1]; ++k) A[k] = ci * (alpha * M[up[k]] + K[k] + ti * S[k]);
    if (dp) diffuse(i);
  });
}
