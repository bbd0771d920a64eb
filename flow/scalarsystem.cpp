// The scalar transport equations of the fluid domain on the shared pattern: tau, the fused left-
// and right-hand sides with their stabilisation, and the bounds of a source and reaction.
#include <cmath>

#include "domain/fluiddomain.h"
#include "flow/flowsolver.h"
#include "flow/pairdiffusion.h"
#include "foundation/declarations.h"
#include "foundation/threads.h"
#include "solvers/patterncolumns.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

namespace {

bool Sized(const ReaVec& v) { return v.length() > 0; }

// The operands of one scalar equation on the shared pattern (null coefficient: none). The
// symmetric M and L are read through the map from each full position to its stored upper one.
struct ScalarRows {
  int n;
  const int *rp, *ci, *up;
  const double *M, *L, *K, *S, *m, *inv, *tau, *d, *r;
  double alpha;
  const double *v, *u;  // the mass operand of the right-hand side and the stabilised field
  double *A, *b, *w;
  double* a;  // m^-1 K u per row when the transpose product is gathered apart
  // With a capacity: c scales the mass rows, c2 the convection and its stabilisation, and the
  // right-hand side is c M u0 / (dt theta) + M s, read from z = (u0, s, u) per node.
  const double *c, *c2, *z;
};

// Rows [lo, hi). Matrix: A = alpha M + K + tau S + D + diag(r m), D the diffusion of the node
// pairs' mean diffusivities (PairDiffusion; with Diffuse, else no diffusion). Rhs: b = M v. Stab:
// a = m^-1 K u, then (Scatter) w += K^T a row by row while the row of K is at hand, which needs
// the rows in order on one thread (w cleared by the caller); else a is stored for GatherStab.
// Capacity: A = alpha diag(c) M + diag(c2) (K + tau S) + D + diag(r m), b = alpha c M v + M s.
template <bool Matrix, bool Diffuse, bool Rhs, bool Stab, bool Scatter, bool Capacity>
void ScalarPass(const ScalarRows& p, int lo, int hi) {
  // Locals, not members of p: the stores into A and w may not alias them.
  const int *rp = p.rp, *ci = p.ci, *up = p.up;
  const double *M = p.M, *L = p.L, *K = p.K, *S = p.S, *tau = p.tau, *v = p.v, *u = p.u, *z = p.z, *d = p.d;
  const double alpha = p.alpha;
  double *__restrict A = p.A, *__restrict w = p.w;
  for (int i = lo; i < hi; ++i) {
    const double di = Diffuse ? d[i] : 0.0, ri = p.r ? p.r[i] * p.m[i] : 0.0;
    // Without a capacity the weights are those of the plain form, whose bits they keep.
    [[maybe_unused]] const double ai = Capacity ? alpha * p.c[i] : alpha, ki = Capacity ? p.c2[i] : 1.0;
    const double ti = Capacity ? ki * tau[i] : tau[i];
    double mv = 0, ms = 0, ku = 0, excess = 0;
    int diag = rp[i];
    for (int k = rp[i]; k < rp[i + 1]; ++k) {
      const int j = ci[k];
      const double mk = M[up[k]];
      // Without diffusion 0 L, as the row-scaled form added.
      [[maybe_unused]] const double dk = Diffuse ? PairDiffusion(di, d[j], L[up[k]], excess) : 0.0 * L[up[k]];
      if constexpr (Matrix) diag = j == i ? k : diag;
      if constexpr (Matrix && Capacity)
        A[k] = ai * mk + ki * K[k] + ti * S[k] + dk + (j == i ? ri : 0.0);
      else if constexpr (Matrix)
        A[k] = alpha * mk + K[k] + ti * S[k] + dk + (j == i ? ri : 0.0);
      if constexpr (Capacity) {
        const double* zj = z + 3 * std::size_t(j);
        if constexpr (Rhs) mv += mk * zj[0], ms += mk * zj[1];
        if constexpr (Stab) ku += K[k] * zj[2];
      } else {
        if constexpr (Rhs) mv += mk * v[j];
        if constexpr (Stab) ku += K[k] * u[j];
      }
    }
    if constexpr (Matrix && Diffuse) A[diag] -= 0.5 * excess;
    if constexpr (Rhs && Capacity) p.b[i] = mv * alpha * p.c[i] + ms;
    else if constexpr (Rhs) p.b[i] = mv;
    if constexpr (Stab) {
      const double a = ku * p.inv[i];
      if constexpr (Scatter) {
        for (int k = rp[i]; k < rp[i + 1]; ++k) w[ci[k]] += K[k] * a;
      } else {
        p.a[i] = a;
      }
    }
  }
}

// The pass over all rows, forked when the rows are many; with the stabilisation only when `cols`
// is given, the transpose product then gathered by GatherStab.
template <bool Matrix, bool Diffuse, bool Rhs, bool Stab, bool Capacity>
void ScalarRowsPass(const ScalarRows& p, const PatternColumns* cols) {
  if (Stab ? !cols : !Threaded(std::size_t(p.n)))
    return ScalarPass<Matrix, Diffuse, Rhs, Stab, true, Capacity>(p, 0, p.n);
  ForBlocks(std::size_t(p.n), [&](int, std::size_t lo, std::size_t hi) {
    ScalarPass<Matrix, Diffuse, Rhs, Stab, false, Capacity>(p, int(lo), int(hi));
  });
}

// The passes that build the matrix, with or without diffusion.
template <bool Diffuse, bool Capacity>
void MatrixRowsPass(const ScalarRows& p, const PatternColumns* cols, bool rhs, bool stab) {
  if (stab) ScalarRowsPass<true, Diffuse, true, true, Capacity>(p, cols);
  else if (rhs) ScalarRowsPass<true, Diffuse, true, false, Capacity>(p, cols);
  else ScalarRowsPass<true, Diffuse, false, false, Capacity>(p, cols);
}

// The pass for the operands at hand.
template <bool Capacity>
void ScalarRowsPass(const ScalarRows& p, const PatternColumns* cols, bool rhs, bool stab) {
  if (p.A && p.d) MatrixRowsPass<true, Capacity>(p, cols, rhs, stab);
  else if (p.A) MatrixRowsPass<false, Capacity>(p, cols, rhs, stab);
  else if (stab) ScalarRowsPass<false, false, true, true, Capacity>(p, cols);
  else if (rhs) ScalarRowsPass<false, false, true, false, Capacity>(p, cols);
}

// w = K^T a gathered by column over rows [lo, hi), each column summing its rows in ascending
// order: the bits of the row-by-row scatter. toRhs: b += tau w (times c2 with a capacity) at
// once (w not stored).
void GatherStab(const ScalarRows& p, const PatternColumns& cols, bool toRhs, int lo, int hi) {
  const int *cs = cols.Start(), *cr = cols.Row(), *cp = cols.Pos();
  const double *K = p.K, *a = p.a;
  for (int j = lo; j < hi; ++j) {
    double sum = 0;
    for (int t = cs[j]; t < cs[j + 1]; ++t) sum += K[cp[t]] * a[cr[t]];
    const double wj = 0.0 + sum;  // as the scatter, which starts from a cleared w
    if (toRhs) p.b[j] += p.c2 ? wj * p.tau[j] * p.c2[j] : p.tau[j] * wj;
    else p.w[j] = wj;
  }
}

}  // namespace

void FluidDomain::EquationTau(const ReaVec& d, const ReaVec* q) {
  const double* tv = vars_[TauV].GivePointer();
  const double* h = vars_[ElemSize].GivePointer();
  const double* dp = Sized(d) ? d.GivePointer() : nullptr;
  const double* qp = q && Sized(*q) ? q->GivePointer() : nullptr;
  const double lo = tauLow_, hi = tauHigh_;
  double* t = vars_[TauEq].GivePointer();
  ParallelFor(std::size_t(numNodes), [=](std::size_t k) {
    double tk = tv[k];
    if (dp) tk = Eval_Tau(tk, qp ? dp[k] / (qp[k] > 1e-14 ? qp[k] : 1e-14) : dp[k], h[k]);
    t[k] = tk > hi ? hi : (tk < lo ? lo : tk);
  });
}

void FluidDomain::AssembleSystem(ReaVec& u, ReaVec& u0, ReaVec& s, ReaVec& d, ReaVec& r, ReaVec& out, int order) {
  EquationTau(d, nullptr);
  ScalarSystem(&d, &r, &u, &u0, &s, &out, order);
}

void FluidDomain::AssembleSystem(ReaVec& u, ReaVec& u0, ReaVec& c, ReaVec& s, ReaVec& d, ReaVec& r, ReaVec& out,
                                 int order) {
  EquationTau(d, &c);
  Assemble_LHS(c, d, r);
  Assemble_RHS(u, u0, c, s, out, order);
}

void FluidDomain::AssembleSystem(ReaVec& u, ReaVec& u0, ReaVec& c, ReaVec& c2, ReaVec& s, ReaVec& d, ReaVec& r,
                                 ReaVec& out, int order) {
  EquationTau(d, &c2);
  ScalarSystem(&d, &r, &u, &u0, &s, &out, order, &c, &c2);
}

void FluidDomain::Assemble_LHS(ReaVec& d, ReaVec& r) { ScalarSystem(&d, &r, nullptr, nullptr, nullptr, nullptr, 0); }

void FluidDomain::ScalarSystem(ReaVec* d, ReaVec* r, ReaVec* u, ReaVec* u0, ReaVec* s, ReaVec* out, int order,
                               ReaVec* c, ReaVec* c2) {
  // The streamline term tau S is implicit whatever the order: the fourth-order right-hand side
  // below only takes back its projected part, tau K^T m^-1 K u, which without tau S on the left
  // would be an explicit anti-diffusion that amplifies every streamwise wiggle.
  const bool rhs = out != nullptr, stab = rhs && (order == 1 || order == 2);
  ScalarRows p{numNodes,
               pattern_->row_ptr(0),
               pattern_->col_ind(0),
               pattern_->spos_ind(0),
               mass_->val(0),
               lap_->val(0),
               sys_[7]->val(0),
               sys_[8]->val(0),
               lumped_.GivePointer(),
               invLumped_.GivePointer(),
               vars_[TauEq].GivePointer(),
               d && Sized(*d) ? d->GivePointer() : nullptr,
               r && Sized(*r) ? r->GivePointer() : nullptr,
               invDtTheta_,
               nullptr,
               u ? u->GivePointer() : nullptr,
               d ? sys_[0]->val(0) : nullptr,
               rhs ? out->GivePointer() : nullptr,
               nullptr,
               nullptr,
               c ? c->GivePointer() : nullptr,
               c ? c2->GivePointer() : nullptr,
               nullptr};
  if (c && rhs) {
    // c M u0 / (dt theta) + M s: two sums of the one pass (s absent: M 0 adds nothing).
    if (packed_.size() != 3 * std::size_t(numNodes)) packed_.assign(3 * std::size_t(numNodes), 0.0);
    const double *a = u0->GivePointer(), *sp = Sized(*s) ? s->GivePointer() : nullptr, *up = p.u;
    double* z = packed_.data();
    ParallelFor(std::size_t(numNodes), [=](std::size_t k) {
      z[3 * k] = a[k], z[3 * k + 1] = sp ? sp[k] : 0.0, z[3 * k + 2] = up ? up[k] : 0.0;
    });
    p.z = z;
  } else if (rhs) {
    // The mass operand u0 / (dt theta) + s, so that one product gives both terms.
    const double* a = u0->GivePointer();
    const double* sp = Sized(*s) ? s->GivePointer() : nullptr;
    double* vp = Nodal(work_.massOperand).GivePointer();
    ParallelFor(std::size_t(numNodes), [=, this](std::size_t k) { vp[k] = invDtTheta_ * a[k] + (sp ? sp[k] : 0.0); });
    p.v = vp;
  }
  // Many threads gather the transpose product by column after the rows; one scatters it within
  // the row pass, while the row of K is at hand.
  const PatternColumns* cols = stab ? Columns() : nullptr;
  ReaVec& w = Nodal(work_.streamline[0]);
  p.w = w.GivePointer();
  if (cols) p.a = Nodal(work_.convective[0]).GivePointer();
  else if (stab) w = 0.0;
  if (c) ScalarRowsPass<true>(p, cols, rhs, stab);
  else ScalarRowsPass<false>(p, cols, rhs, stab);
  if (!stab) return;
  const bool fused = cols && order != 2;  // b += tau w within the gather
  if (cols)
    ForBlocks(std::size_t(numNodes),
              [&](int, std::size_t lo, std::size_t hi) { GatherStab(p, *cols, fused, int(lo), int(hi)); });
  if (fused) return;
  if (order == 2) AutoStabOrder(*u, w);
  const double* t = p.tau;
  const double* wp = p.w;
  const double* c2p = p.c2;
  double* b = p.b;
  if (c2p) ParallelFor(std::size_t(numNodes), [=](std::size_t k) { b[k] += wp[k] * t[k] * c2p[k]; });
  else ParallelFor(std::size_t(numNodes), [=](std::size_t k) { b[k] += t[k] * wp[k]; });
}

void FluidDomain::Assemble_LHS(ReaVec& c, ReaVec& d, ReaVec& r) {
  TransportMatrix(c, c, d);
  if (Sized(r)) sys_[0]->row_mult_add(r, lumped_);
}

void FluidDomain::Assemble_LHS(ReaVec& c, ReaVec& c2, ReaVec& d, ReaVec& r) {
  TransportMatrix(c, c2, d);
  if (Sized(r)) sys_[0]->row_mult_add(r, lumped_);
}

ReaVec& FluidDomain::StabilisationTerm(ReaVec& u) {
  ReaVec& a = Nodal(work_.convective[0]);
  ReaVec& w = Nodal(work_.streamline[0]);
  sys_[7]->mult(u.GivePointer(), a.GivePointer());
  a.product(invLumped_);
  sys_[7]->trans_mult(a.GivePointer(), w.GivePointer());
  return w;
}

void FluidDomain::Assemble_RHS(ReaVec& u, ReaVec& u0, ReaVec& s, ReaVec& out, int order) {
  ScalarSystem(nullptr, nullptr, &u, &u0, &s, &out, order);
}

void FluidDomain::Assemble_RHS(ReaVec& u, ReaVec& u0, ReaVec& c, ReaVec& s, ReaVec& out, int order) {
  Assemble_RHS(u, u0, c, c, s, out, order);
}

void FluidDomain::Assemble_RHS(ReaVec& u, ReaVec& u0, ReaVec& c, ReaVec& c2, ReaVec& s, ReaVec& out, int order) {
  mass_->mult(u0.GivePointer(), out.GivePointer());
  out *= invDtTheta_;
  out.product(c);
  if (Sized(s) && s != 0.0) mass_->add_mult(s.GivePointer(), out.GivePointer());  // M 0 adds nothing
  if (order != 1 && order != 2) return;
  ReaVec& w = StabilisationTerm(u);
  if (order == 2) AutoStabOrder(u, w);
  w.product(vars_[TauEq]);
  w.product(c2);
  out += w;
}

void FluidDomain::Assemble_STRHS(ReaVec& u, ReaVec& s, ReaVec& out) {
  ReaVec& w = Nodal(work_.massOperand);
  if (Sized(s) && &s != &w && &u != &w && &out != &w) {
    // One product: M (u / (dt theta) + s).
    const double* up = u.GivePointer();
    const double* sp = s.GivePointer();
    double* wp = w.GivePointer();
    for (int k = 0; k < numNodes; ++k) wp[k] = invDtTheta_ * up[k] + sp[k];
    mass_->mult(wp, out.GivePointer());
    return;
  }
  mass_->mult(u.GivePointer(), out.GivePointer());
  out *= invDtTheta_;
  if (Sized(s) && s != 0.0) mass_->add_mult(s.GivePointer(), out.GivePointer());  // M 0 adds nothing
}

void FluidDomain::SourceReactionLimits(ReaVec& s, ReaVec& r, ReaVec& n, double& hi, double& lo) {
  // Each block from the bounds given, then the widest of the blocks: with hi >= lo the bounds
  // of the loop over all nodes in order (1e100 stands for no bound). Fixed blocks: the same
  // bounds for any thread count.
  const double* sp = s.GivePointer();
  double* rp = r.GivePointer();
  const double hi0 = hi, lo0 = lo;
  double his[kReduceBlocks], los[kReduceBlocks];
  const int blocks = ForBlocks(n.length(), [=, &his, &los](int b, std::size_t first, std::size_t end) {
    double h = hi0, l = lo0;
    for (std::size_t i = first; i < end; ++i) {
      if (rp[i] > 0) {
        const double q = sp[i] / rp[i];
        if (q > h) h = q;
        else if (q < l) l = q;
      } else {
        if (sp[i] < 0) l = -1e100;
        if (sp[i] > 0) h = 1e100;
        rp[i] = 0;
      }
    }
    his[b] = h, los[b] = l;
  });
  hi = his[0], lo = los[0];
  for (int b = 1; b < blocks; ++b) hi = his[b] > hi ? his[b] : hi, lo = los[b] < lo ? los[b] : lo;
}
