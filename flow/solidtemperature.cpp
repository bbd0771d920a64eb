// Temperature solve of the solid domain: transient anisotropic conduction formed from the stored
// component matrices in one pass over the pattern, then the bounded field solve.
#include <cmath>

#include "domain/fluidmesh.h"
#include "domain/soliddomain.h"
#include "flow/pairdiffusion.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

namespace {

// S = sum_c D(K_c, A_c) + diag(q) M with S_ii += r_i m_i (r may be null: no reaction), and
// f = diag(q) M T0 (+ M s when SOURCE), over NC conductivity components, q = rho cp / (theta dt) per
// node; D(K_c, A_c) the conservative conduction of component c, each node pair taking the pair's
// mean conductivity (PairDiffusion). The loop runs over the upper-triangle storage, so every stored
// value is read once, in order, and serves both its entry (i, j) and its mirror (j, i), which
// take the same pair conductivity. A row holds its diagonal first, then its lower entries in
// column order, then its upper ones: the mirrors of row j are met in column order, and `next`,
// which starts after each diagonal, gives the position of the next one. `excess` gathers per row
// what the pair means add beyond the row's own conductivity; its diagonal gives half of it back
// once the row's last pair (its last upper entry) is done.
template <int NC, bool SOURCE>
void Fused(const SparseMatrixStruct& P, int* __restrict next, const double* const* A, const double* const* K,
           const double* __restrict M, const double* __restrict q, const double* __restrict T0,
           const double* __restrict s, const double* __restrict r, const double* __restrict lumped,
           double* __restrict excess, double* __restrict S, double* __restrict f) {
  const int* __restrict rp = P.row_ptr(0);
  const int* __restrict srp = P.srow_ptr(0);
  const int* __restrict sci = P.scol_ind(0);
  const double* __restrict a0 = A[0];
  const double* __restrict a1 = A[1];
  const double* __restrict a2 = A[2];
  const double* __restrict k0 = K[0];
  const double* __restrict k1 = K[1];
  const double* __restrict k2 = K[2];
  const int n = P.nrows();
  for (int i = 0; i < n; ++i) f[i] = 0, excess[i] = 0, next[i] = rp[i] + 1;
  for (int i = 0; i < n; ++i) {
    double ki[NC];
    for (int c = 0; c < NC; ++c) ki[c] = K[c][i];
    const double qi = q[i], ti = T0[i], si = SOURCE ? s[i] : 0;
    const int u0 = srp[i], shift = rp[i + 1] - srp[i + 1];
    // The diagonal.
    double fi = M[u0] * (qi * ti + si);
    {
      double v = qi * M[u0] + (r ? r[i] * lumped[i] : 0);
      for (int c = 0; c < NC; ++c) v += ki[c] * A[c][u0];
      S[rp[i]] = v;
    }
    for (int u = u0 + 1; u < srp[i + 1]; ++u) {
      const int j = sci[u];
      const double m = M[u];
      double a[NC];
      a[0] = a0[u], a[1] = a1[u], a[2] = a2[u];
      for (int c = 3; c < NC; ++c) a[c] = A[c][u];
      double kj[NC];
      kj[0] = k0[j], kj[1] = k1[j], kj[2] = k2[j];
      for (int c = 3; c < NC; ++c) kj[c] = K[c][j];
      const double qj = q[j];
      double vi = qi * m, vj = qj * m, t = 0;
      for (int c = 0; c < NC; ++c) {
        const double pair = PairDiffusion(ki[c], kj[c], a[c], t);
        vi += pair, vj += pair;
      }
      excess[i] += t, excess[j] -= t;
      S[u + shift] = vi;
      S[next[j]++] = vj;
      fi += m * (qi * T0[j] + (SOURCE ? s[j] : 0));
      f[j] += m * (qj * ti + si);
    }
    f[i] += fi;
    S[rp[i]] -= 0.5 * excess[i];
  }
}

}  // namespace

void SolidDomain::AssembleConduction(const ReaVec& q, const ReaVec& x0, const ReaVec* K, const ReaVec& s,
                                     bool source, const ReaVec* r, SystemSparseMatrix* S, ReaVec& f) {
  if (int(next_.size()) != pattern_->nrows()) {
    // The kernel relies on rows that hold their diagonal first, then their lower entries in
    // column order, then their upper ones; checked once.
    const int* rp = pattern_->row_ptr(0);
    const int* ci = pattern_->col_ind(0);
    const int* sp = pattern_->spos_ind(0);
    const int* srp = pattern_->srow_ptr(0);
    for (int i = 0; i < pattern_->nrows(); ++i)
      for (int p = rp[i]; p < rp[i + 1]; ++p) {
        const int c = ci[p];
        const bool inOrder = c == i   ? p == rp[i] && sp[p] == srp[i]
                             : c < i ? p == rp[i] + 1 || ci[p - 1] < c
                                     : sp[p] == p - (rp[i + 1] - srp[i + 1]) && (ci[p - 1] < c || ci[p - 1] < i);
        if (!inOrder) OLVU_FATAL("Solid temperature: the pattern's rows are not in diagonal-first order\n");
      }
    next_.assign(std::size_t(pattern_->nrows()), 0);
    excess_.assign(std::size_t(pattern_->nrows()), 0.0);
  }
  const double* A[NSolidComponents];
  const double* Kc[NSolidComponents];
  const int nc = Components();
  for (int c = 0; c < nc; ++c) A[c] = comp_[c]->sval(0), Kc[c] = K[c].GivePointer();
  const auto call = [&](auto kernel) {
    kernel(*pattern_, next_.data(), A, Kc, mass_->sval(0), q.GivePointer(), x0.GivePointer(),
           s.GivePointer(), r ? r->GivePointer() : nullptr, lumped_.GivePointer(), excess_.data(), S->val(0),
           f.GivePointer());
  };
  if (nc == 3) source ? call(Fused<3, true>) : call(Fused<3, false>);
  else source ? call(Fused<6, true>) : call(Fused<6, false>);
}

void SolidDomain::AssembleTemperatureSystem() {
  Clock clock("Assembling Solid Temperature");
  ReaVec& T = vars_[Temp];
  ReaVec& s = Nodal(work_.source);
  ReaVec& r = Nodal(work_.reaction);
  ReaVec& f = Rhs(0);
  SystemSparseMatrix* S = sys_[0];
  // Without source and reaction functions both fields are 0 and need no pass at all.
  const bool source = HasFunction(DofType::HeatSource), reaction = HasFunction(DofType::HeatSourceReaction);
  if (source || reaction) {
    EvalDomainFunction(DofType::HeatSource, s);
    EvalDomainFunction(DofType::HeatSourceReaction, r);
    if (MaxValue.length() < 3) MaxValue.resize(23, -1e100), MinValue.resize(23, 1e100);
    SourceReactionLimits(s, r, T, MaxValue(3), MinValue(3));
  }
  ReaVec& q = Nodal(work_.capacity);
  q.product(density_, vars_[SpHeat]);
  q *= invDtTheta_;
  AssembleConduction(q, vars_[Temp0], conduct_, s, source, reaction ? &r : nullptr, S, f);
  // The body sets' heat fluxes, then the heat the interface sets bring from the fluid.
  BodyHeatFluxes(S, f, s, r, q);
  InterfaceHeatExchange(S, f);
  S->Fix_Eliminate(conds_[FixTemp], T, f);
}

void SolidDomain::SolveTemperature() {
  if (!Solves(PTemperature)) return;
  Clock clock("Solving Temperature");
  AssembleTemperatureSystem();
  ReaVec& T = vars_[Temp];
  ReaVec& f = Rhs(0);
  SolveUnknown(UnkType::Temperature, T, sys_[0], f, conds_[FixTemp], "Temperature in Solid Domain");
  double change = 0;
  for (unsigned i = 1; i <= T.length(); ++i) change = std::fmax(change, std::fabs(f(i) - T(i)));
  if (!HasConv(VarIncrement, ConvVar::Temperature)) VarIncrement.resize(unsigned(ConvVar::Count), 0.0);
  Conv(VarIncrement, ConvVar::Temperature) += change;
}

bool SolidDomain::HasFunction(DofType k) {
  int i = 0;
  while (Mesh* m = fluidMeshes_.next(i))
    if (static_cast<FluidMesh*>(m)->funtions()->FFunc(int(k))) return true;
  return false;
}

void SolidDomain::SolveUnknown(UnkType t, ReaVec& x, SystemSparseMatrix* A, ReaVec& b, const BitVec& fixed,
                               const char* label) {
  Clock clock("Solving Solid Temperature System");
  solver2_->solve(b, x, A, 1, label);
  BoundUnknown(t, x, b, &fixed);
}

void SolidDomain::SolveSolidStructure() {
  // The structural sub-problem is never turned on by a keyword.
  if (!Solves(PStructure)) return;
}
