// Temperature solve of the solid domain: transient anisotropic conduction formed from the stored
// component matrices in one pass over the pattern, then the bounded field solve.
#include <cmath>

#include "domain/soliddomain.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "solvers/solver.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

namespace {

// S = sum_c diag(K_c) A_c + diag(q) M, S_ii += r_i m_i and f = diag(q) M T0 + M s, over NC
// conductivity components: each stored value is read once, from the symmetric storage.
template <int NC>
void Fused(const SparseMatrixStruct& P, const double* const* A, const double* const* K, const double* M,
           const double* q, const double* T0, const double* s, const double* r, const double* lumped, double* S,
           double* f) {
  const int* rp = P.row_ptr(0);
  const int* ci = P.col_ind(0);
  const int* sp = P.spos_ind(0);
  const int n = P.nrows();
  const int diagFirst = P.diag_first(), sorted = P.sorted();
  for (int i = 0; i < n; ++i) {
    double k[NC];
    for (int c = 0; c < NC; ++c) k[c] = K[c][i];
    const double qi = q[i];
    double fi = 0;
    for (int p = rp[i]; p < rp[i + 1]; ++p) {
      const int u = sp[p];
      const int j = ci[p];
      const double m = M[u];
      double v = qi * m;
      for (int c = 0; c < NC; ++c) v += k[c] * A[c][u];
      S[p] = v;
      fi += m * (qi * T0[j] + s[j]);
    }
    S[FindInRow(rp, ci, diagFirst, sorted, i, i)] += r[i] * lumped[i];
    f[i] = fi;
  }
}

}  // namespace

void SolidDomain::AssembleTemperature(const ReaVec& q, const ReaVec& s, const ReaVec& r, SystemSparseMatrix* S,
                                      ReaVec& f) {
  const double* A[NSolidComponents];
  const double* K[NSolidComponents];
  const int nc = Components();
  for (int c = 0; c < nc; ++c) A[c] = comp_[c]->sval(0), K[c] = conduct_[c].GivePointer();
  const auto args = [&](auto kernel) {
    kernel(*pattern_, A, K, mass_->sval(0), q.GivePointer(), vars_[Temp0].GivePointer(), s.GivePointer(),
           r.GivePointer(), lumped_.GivePointer(), S->val(0), f.GivePointer());
  };
  if (nc == 3) args(Fused<3>);
  else args(Fused<6>);
}

void SolidDomain::SolveTemperature() {
  if (!Flag(PTemperature)) return;
  Clock clock("Solving Temperature");
  ReaVec& T = vars_[Temp];
  ReaVec& q = FlowWork(4);
  ReaVec& s = FlowWork(5);
  ReaVec& r = FlowWork(6);
  ReaVec& f = vars_[VelWorkX];
  SystemSparseMatrix* S = sys_[0];
  {
    Clock assembly("Assembling Solid Temperature");
    q.product(density_, vars_[SpHeat]);
    q *= invDtTheta_;
    EvalDomainFunction(DofType::HeatSource, s);
    EvalDomainFunction(DofType::HeatSourceReaction, r);
    if (MaxValue.length() < 3) MaxValue.resize(23, -1e100), MinValue.resize(23, 1e100);
    SourceReactionLimits(s, r, T, MaxValue(3), MinValue(3));
    AssembleTemperature(q, s, r, S, f);
    // Boundary heat fluxes come from moving-body sets, of which this build has none; the
    // interface sets bring the heat of the fluid.
    InterfaceHeatExchange(S, f);
    const BitVec& fix = conds_[FixTemp];
    for (unsigned i = 1; i <= T.length() && i <= fix.length(); ++i)
      if (fix(i)) {
        f(i) = T(i);
        S->Fix_AllRow(int(i) - 1);
      }
  }
  SolveUnknown(UnkType::Temperature, T, S, f, conds_[FixTemp], "Temperature in Solid Domain");
  double change = 0;
  for (unsigned i = 1; i <= T.length(); ++i) change = std::fmax(change, std::fabs(f(i) - T(i)));
  if (VarIncrement.length() < 3) VarIncrement.resize(23, 0.0);
  VarIncrement(3) += change;
}

void SolidDomain::SolveUnknown(UnkType t, ReaVec& x, SystemSparseMatrix* A, ReaVec& b, const BitVec& fixed,
                               const char* label) {
  Clock clock("Solving Solid Temperature System");
  solver2_->solve(b, x, A, 1, label);
  BoundUnknown(t, x, b, &fixed);
}

void SolidDomain::SolveSolidStructure() {
  // The structural sub-problem is never turned on by a keyword.
  if (!Flag(PStructure)) return;
}
