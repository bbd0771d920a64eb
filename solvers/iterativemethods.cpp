// Iterative methods on raw arrays.
#include "solvers/iterativemethods.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <vector>

#include "foundation/alloc.h"
#include "foundation/error.h"
#include "foundation/reavec.h"
#include "foundation/threads.h"
#include "solvers/hessenberg.h"
#include "solvers/preconditioner.h"
#include "solvers/sparsematrix.h"

namespace {

// Vector kernels. Sums run on several accumulators so that the adds of consecutive entries do
// not wait for each other; maxima are exact in any order. A long vector is cut into the fixed
// blocks of threads.h, each summed as a short one and the block sums added in block order, so
// the results do not depend on the thread count (a short vector is one block: the plain loop).

/// Larger of a and b; a plain comparison, which compiles to one instruction where std::fmax,
/// bound to its rules for NaN, does not (a NaN shows in the residual ratio anyway).
inline double Max(double a, double b) { return b > a ? b : a; }

/// A pool vector of n doubles, valid until the next pool reset.
double* PoolVec(long n) { return static_cast<double*>(static_cast<void*>(Alloc((n > 0 ? n : 1) * sizeof(double)))); }

/// Points each of the given pointers at a pool vector of n doubles.
void PoolVecs(long n, std::initializer_list<double**> vectors) {
  for (double** v : vectors) *v = PoolVec(n);
}

/// a . b over one block.
double DotPart(const double* a, const double* b, int n) {
  double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  int i = 0;
  for (; i + 3 < n; i += 4) {
    s0 += a[i] * b[i];
    s1 += a[i + 1] * b[i + 1];
    s2 += a[i + 2] * b[i + 2];
    s3 += a[i + 3] * b[i + 3];
  }
  for (; i < n; ++i) s0 += a[i] * b[i];
  return (s0 + s1) + (s2 + s3);
}

/// a . b
double Dot(const double* a, const double* b, int n) {
  return SumOverBlocks(n, [=](std::size_t lo, std::size_t hi) { return DotPart(a + lo, b + lo, int(hi - lo)); });
}

/// |a|^2
double SumSq(const double* a, int n) { return Dot(a, a, n); }

/// |a|, or 1 when it is 0: the norm that the residual ratios divide by.
double NormOrOne(const double* a, int n) {
  const double s = std::sqrt(SumSq(a, n));
  return s == 0.0 ? 1.0 : s;
}

/// (a . b, a . a) in one pass over one block.
void Dot2Part(const double* a, const double* b, int n, double& ab, double& aa) {
  double s0 = 0, s1 = 0, t0 = 0, t1 = 0;
  int i = 0;
  for (; i + 1 < n; i += 2) {
    s0 += a[i] * b[i];
    t0 += a[i] * a[i];
    s1 += a[i + 1] * b[i + 1];
    t1 += a[i + 1] * a[i + 1];
  }
  for (; i < n; ++i) {
    s0 += a[i] * b[i];
    t0 += a[i] * a[i];
  }
  ab = s0 + s1;
  aa = t0 + t1;
}

/// (a . b, a . a) in one pass.
void Dot2(const double* a, const double* b, int n, double& ab, double& aa) {
  double pab[kReduceBlocks], paa[kReduceBlocks];
  const int blocks = ForBlocks(n, [&](int k, std::size_t lo, std::size_t hi) {
    Dot2Part(a + lo, b + lo, int(hi - lo), pab[k], paa[k]);
  });
  ab = SumBlocks(pab, blocks);
  aa = SumBlocks(paa, blocks);
}

/// y[j] = f(j) for every j, shared among the threads for a long vector.
template <class F>
void Set(double* y, int n, F f) {
  ParallelFor(n, [=](std::size_t j) { y[j] = f(j); });
}

/// y = a
void Copy(const double* a, double* y, int n) {
  Set(y, n, [=](std::size_t i) { return a[i]; });
}

/// s = r - a q (s may be r) over one block; returns |s|^2.
double AxpyPart(const double* r, double a, const double* q, double* s, int n) {
  double s0 = 0, s1 = 0;
  int i = 0;
  for (; i + 1 < n; i += 2) {
    const double t0 = r[i] - a * q[i], t1 = r[i + 1] - a * q[i + 1];
    s[i] = t0;
    s[i + 1] = t1;
    s0 += t0 * t0;
    s1 += t1 * t1;
  }
  for (; i < n; ++i) {
    s[i] = r[i] - a * q[i];
    s0 += s[i] * s[i];
  }
  return s0 + s1;
}

/// s = r - a q (s may be r); returns |s|^2.
double AxpyTo(const double* r, double a, const double* q, double* s, int n) {
  return SumOverBlocks(n, [=](std::size_t lo, std::size_t hi) { return AxpyPart(r + lo, a, q + lo, s + lo, int(hi - lo)); });
}

/// r = b - A x; returns |r|^2.
double Residual(const SparseMatrix& A, const double* x, const double* b, double* r, int n) {
  A.mult(x, r);
  return AxpyTo(b, 1.0, r, r, n);
}

/// p = z + beta p
void Xpby(const double* z, double beta, double* p, int n) {
  Set(p, n, [=](std::size_t i) { return z[i] + beta * p[i]; });
}

/// The two maxima of the increment test.
struct Maxima {
  double dx = 0.0, x = 0.0;
};

/// Advance over the entries lo .. hi-1.
template <bool kResidual, class D, class E>
double AdvancePart(const double* xs, double* x, double* r, int lo, int n, D d, E e, Maxima& m) {
  double s0 = 0, s1 = 0, d0 = 0, d1 = 0, x0 = 0, x1 = 0;
  int i = lo;
  for (; i + 1 < n; i += 2) {
    const double e0 = d(i), e1 = d(i + 1);
    const double y0 = xs[i] + e0, y1 = xs[i + 1] + e1;
    if (kResidual) {
      const double t0 = e(i), t1 = e(i + 1);
      r[i] = t0;
      r[i + 1] = t1;
      s0 += t0 * t0;
      s1 += t1 * t1;
    }
    x[i] = y0;
    x[i + 1] = y1;
    d0 = Max(d0, std::fabs(e0));
    d1 = Max(d1, std::fabs(e1));
    x0 = Max(x0, std::fabs(y0));
    x1 = Max(x1, std::fabs(y1));
  }
  for (; i < n; ++i) {
    const double e0 = d(i);
    x[i] = xs[i] + e0;
    if (kResidual) {
      r[i] = e(i);
      s0 += r[i] * r[i];
    }
    d0 = Max(d0, std::fabs(e0));
    x0 = Max(x0, std::fabs(x[i]));
  }
  m.dx = Max(d0, d1);
  m.x = Max(x0, x1);
  return s0 + s1;
}

/// x_j = xs_j + d(j) for every j (x may be xs) and, with kResidual, r_j = e(j) (e reads the old
/// values); returns |r|^2 (0 without kResidual) and the maxima of |d| and of the new |x|.
template <bool kResidual, class D, class E>
double Advance(const double* xs, double* x, double* r, int n, D d, E e, Maxima& m) {
  double sums[kReduceBlocks];
  Maxima maxima[kReduceBlocks];
  const int blocks = ForBlocks(n, [&](int k, std::size_t lo, std::size_t hi) {
    sums[k] = AdvancePart<kResidual>(xs, x, r, int(lo), int(hi), d, e, maxima[k]);
  });
  m = maxima[0];
  for (int k = 1; k < blocks; ++k) {
    m.dx = Max(m.dx, maxima[k].dx);
    m.x = Max(m.x, maxima[k].x);
  }
  return SumBlocks(sums, blocks);
}

/// x = xs + a p, r -= a q; returns |r|^2 and the maxima of |a p| and of |x|.
double UpdateXR(double a, const double* p, const double* q, const double* xs, double* x, double* r, int n,
                Maxima& m) {
  return Advance<true>(
      xs, x, r, n, [=](int i) { return a * p[i]; }, [=](int i) { return r[i] - a * q[i]; }, m);
}

/// Convergence test after iteration i: converged when the residual ratio is 0, or when it is at
/// most tol0 and the increment ratio is at most tol20. Writes the outputs on convergence.
bool Converged(double ratio, const Maxima& m, double tol0, double tol20, int i, int& max_iter, double& tol,
               double& tol2) {
  const double inc = m.dx / (m.x + tol0);
  if (ratio == 0.0 || (ratio <= tol0 && inc <= tol20)) {
    tol = ratio;
    tol2 = inc;
    max_iter = i;
    return true;
  }
  tol = ratio;
  tol2 = inc;
  return false;
}

/// What stopped an iteration short.
enum class Trouble {
  kNone,       ///< the iteration went through
  kBreakdown,  ///< an inner product the recurrences divide by vanished, or its quotient overflowed
  kNonFinite,  ///< values that are not finite numbers
  kSingular,   ///< the matrix or the preconditioner mapped a nonzero vector to 0
};

/// The trouble of a divisor d of the recurrences that is 0 or not finite, or whose quotient
/// overflowed; image is the operator applied to v, and an image of 0 from a nonzero v proves the
/// operator singular. Only reached when the iteration is stopped, so the sums cost nothing else.
Trouble DivisorTrouble(double d, const double* v, const double* image, int n) {
  if (!std::isfinite(d)) return Trouble::kNonFinite;
  return SumSq(image, n) == 0.0 && SumSq(v, n) > 0.0 ? Trouble::kSingular : Trouble::kBreakdown;
}

/// The trouble of an iteration whose new residual norm^2 is rr and largest |x| is xmax.
Trouble UpdateTrouble(double rr, double xmax) {
  return std::isfinite(rr) && std::isfinite(xmax) ? Trouble::kNone : Trouble::kNonFinite;
}

/// Start of the methods with a shadow residual: r = b - A x, r~ = r; returns |r|^2.
double StartShadow(const SparseMatrix& A, const double* x, const double* b, double* r, double* rt, int n) {
  const double rr = Residual(A, x, b, r, n);
  Copy(r, rt, n);
  return rr;
}

/// v_j pseudo-random in [-1, 1), from j and seed alone (the same for any thread count).
void Scatter(double* v, int n, unsigned seed) {
  Set(v, n, [=](std::size_t j) {
    std::uint64_t z = (std::uint64_t(seed) << 32) + j + 0x9E3779B97F4A7C15ull;  // splitmix64
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return double(z >> 11) * 0x1p-52 - 1.0;
  });
}

/// A breakdown at residual norm^2 rr after the residual met the tolerance tol0 is a solved system
/// (only the increment test was pending): true then, with tol the residual ratio.
bool SolvedAtBreakdown(Trouble t, double rr, double normb, double tol0, double& tol) {
  if (t == Trouble::kNonFinite) return false;
  tol = std::sqrt(rr) / normb;
  return tol < tol0;
}

/// What the convergence test made of an iterate.
enum class Test {
  kGoOn,       ///< not converged: the next iteration follows
  kConverged,  ///< converged, its true residual too
  kRestarted,  ///< started again (see Restarts): the directions start from the new residual
};

/// The squared residual norm above which the rounding of the recurrences that formed it (machine
/// epsilon times the residual) exceeds the tolerance tol0 of |b|: no later iterate of a run that
/// went through it meets the tolerance.
double DriftLimit(double normb, double tol0) {
  const double r = tol0 * normb / std::numeric_limits<double>::epsilon();
  return r * r;
}

/// The iterates of BiCG, BiCGSTAB and CGS, which start again from their best iterate after a
/// breakdown: the current iterate and the best so far (smallest residual), in two buffers, one of
/// them the caller's x, so that keeping the best costs no copy: while the current iterate is the
/// best, the next one goes to the other buffer, otherwise over the current one; the best is never
/// overwritten. A solve that ends unsolved leaves the best iterate: CGS squares BiCG's residual
/// polynomial, and its residual may jump by orders of magnitude from one iteration to the next.
///
/// The residual that the recurrences update drifts from b - A x by the rounding of the largest
/// residual they met, and the iterates formed on the way are no more accurate: unpreconditioned
/// CGS on the momentum rows of a wall-resolved channel peaked at 10^13 |b|, and its updated
/// residual fell below 10^-12 |b| while b - A x stood at 10^-2 |b|. So a run whose residual grows
/// above its start and beyond DriftLimit is abandoned for a new one from the best iterate (once per
/// improvement of the best: a system whose residual must pass such a peak on every run passes it
/// the second time), an iterate is taken as converged only once its true residual meets the
/// tolerance too (when it does not, a new run starts from that iterate and its true residual), and
/// a solve left unsolved reports the true residual of the iterate it leaves. All within the
/// iteration limit.
class Restarts {
 public:
  /// x is the start, of residual r (norm^2 rr) and shadow residual rt; normb and tol0 as in the
  /// method.
  Restarts(const SparseMatrix& A, const double* b, double* x, double* r, double* rt, int n, double normb, double tol0,
           double rr)
      : A_(A), b_(b), r_(r), rt_(rt), buf_{x, PoolVec(n)}, n_(n), normb_(normb), tol0_(tol0), best_rr_(rr),
        start_rr_(rr), drift_rr_(DriftLimit(normb, tol0)) {}
  /// The current iterate.
  double* cur() const { return buf_[cur_]; }
  /// Where the next iterate goes.
  double* next() const { return buf_[cur_ == best_ ? 1 - cur_ : cur_]; }
  /// The next iterate, of residual norm^2 rr, becomes the current one, and the best when lower.
  void Accept(double rr) {
    if (cur_ == best_) cur_ = 1 - cur_;
    if (rr < best_rr_) {
      best_ = cur_;
      best_rr_ = rr;
      may_abandon_ = true;
    }
    fresh_ = false;
  }
  /// Accept(rr), then the convergence test after iteration i (see Converged) on the residual rr
  /// of the recurrences and, when that passes, on the true one. Converged: the iterate is left in
  /// the caller's x, tol is its true residual ratio. Restarted (from the best iterate when rr grew
  /// beyond DriftLimit, else from this one): rr and tol are those of the start.
  Test Converges(double& rr, const Maxima& m, double tol20, int i, int& max_iter, double& tol, double& tol2) {
    Accept(rr);
    if (rr > start_rr_ && rr > drift_rr_ && may_abandon_) {
      may_abandon_ = false;
      Recover(Trouble::kBreakdown, i, rr, max_iter, tol);
      return Test::kRestarted;
    }
    int iters = max_iter;  // the loop's bound, written only on convergence
    if (!Converged(std::sqrt(rr) / normb_, m, tol0_, tol20, i, iters, tol, tol2)) return Test::kGoOn;
    if (TrulySolved(tol)) {
      max_iter = iters;
      return Test::kConverged;
    }
    StartFromTrueResidual(rr);
    tol = std::sqrt(rr) / normb_;
    return Test::kRestarted;
  }
  /// True when the current iterate's true residual b - A x, which r then holds, meets the
  /// tolerance (tol its ratio): the iterate is left in the caller's x.
  bool TrulySolved(double& tol) {
    true_rr_ = Residual(A_, cur(), b_, r_, n_);
    tol = std::sqrt(true_rr_) / normb_;
    if (!(tol <= tol0_)) return false;
    Keep();
    return true;
  }
  /// After TrulySolved failed: the current iterate, with its true residual as the residual and the
  /// shadow residual, is the start and the best iterate; rr its residual norm^2.
  void StartFromTrueResidual(double& rr) {
    best_ = cur_;
    rr = best_rr_ = start_rr_ = true_rr_;
    Copy(r_, rt_, n_);
    fresh_ = true;
  }
  /// After trouble t in iteration i, the current iterate having the residual norm^2 rr: the
  /// status to return (see Stop), or -1 after starting again, with rr and tol those of the start.
  /// An image of 0 proves the system singular (2); so do values that are not finite in the first
  /// iteration from a start, whose only inputs are the finite true residual, the matrix and the
  /// preconditioner (a zero pivot shows so). Later ones come from recurrences that overflowed, and
  /// a vanished inner product says nothing about the matrix (the residual has turned orthogonal to
  /// the shadow residual, or a direction's image has): the method starts again from its best
  /// iterate, within its iteration limit.
  int Recover(Trouble t, int i, double& rr, int& max_iter, double& tol) {
    if (SolvedAtBreakdown(t, rr, normb_, tol0_, tol) && TrulySolved(tol)) {
      max_iter = i;
      return 0;
    }
    if (t == Trouble::kSingular || (t == Trouble::kNonFinite && fresh_)) return Stop(2, tol);
    // The usual shadow is the new residual; after a start that made no progress, that residual,
    // from the same iterate, would repeat it step by step: a pseudo-random shadow instead.
    const bool repeat = !(best_rr_ < start_rr_);
    cur_ = best_;
    rr = best_rr_ = start_rr_ = StartShadow(A_, cur(), b_, r_, rt_, n_);
    if (repeat) Scatter(rt_, n_, ++scatters_);
    fresh_ = true;
    tol = std::sqrt(rr) / normb_;
    return -1;
  }
  /// Leaves the current iterate in the caller's x.
  void Keep() const { Leave(cur_); }
  /// Leaves the best iterate in the caller's x with tol its true residual ratio; returns status.
  int Stop(int status, double& tol) {
    Leave(best_);
    tol = std::sqrt(Residual(A_, buf_[0], b_, r_, n_)) / normb_;
    return status;
  }

 private:
  void Leave(int k) const {
    if (k != 0) Copy(buf_[k], buf_[0], n_);
  }

  const SparseMatrix& A_;
  const double* b_;
  double *r_, *rt_;
  double* buf_[2];
  int n_;
  double normb_, tol0_;
  int cur_ = 0, best_ = 0;
  double best_rr_, start_rr_;
  double drift_rr_;        // |r|^2 beyond which the recurrences' rounding exceeds the tolerance
  double true_rr_ = 0.0;   // |b - A x|^2 of the current iterate, from TrulySolved
  bool fresh_ = true;      // no iteration went through since the last start
  bool may_abandon_ = true;  // no run was abandoned at its peak since the best last improved
  unsigned scatters_ = 0;  // pseudo-random shadows drawn
};

/// The vectors of the biconjugate gradient: residual, shadow residual, their preconditioned
/// forms, directions and the directions times A (A^T for the shadow).
struct BiCGVectors {
  double *r, *rt, *z, *zt, *p, *pt, *q, *qt;
};

/// One biconjugate-gradient iteration from xs into x (x may be xs); the directions start from z
/// when `first`. Sets rr = |r|^2 and the maxima of the increment test, or returns the trouble
/// that stopped it (x written only for kNonFinite).
Trouble BiCGStep(const SparseMatrix& A, const Preconditioner& M, const double* xs, double* x, const BiCGVectors& w,
                 int n, bool first, double rho_prev, double& rho, double& rr, Maxima& m) {
  M.solve(w.r, w.z);
  M.trans_solve(w.rt, w.zt);
  rho = Dot(w.z, w.rt, n);
  if (rho == 0.0 || !std::isfinite(rho)) return DivisorTrouble(rho, w.r, w.z, n);
  if (first) {
    Copy(w.z, w.p, n);
    Copy(w.zt, w.pt, n);
  } else {
    const double beta = rho / rho_prev;
    Xpby(w.z, beta, w.p, n);
    Xpby(w.zt, beta, w.pt, n);
  }
  A.mult(w.p, w.q);
  A.trans_mult(w.pt, w.qt);
  const double sigma = Dot(w.pt, w.q, n);
  const double alpha = rho / sigma;
  if (!std::isfinite(alpha)) return DivisorTrouble(sigma, w.p, w.q, n);
  rr = UpdateXR(alpha, w.p, w.q, xs, x, w.r, n, m);
  double *rt = w.rt, *qt = w.qt;
  Set(rt, n, [=](std::size_t j) { return rt[j] - alpha * qt[j]; });
  return UpdateTrouble(rr, m.x);
}

/// StartShadow for BiCG, BiCGSTAB and CGS, with rr = |r|^2: true when r is 0, the system being
/// solved already (tol = 0, max_iter = 0); otherwise tol = |r| / normb.
bool SolvedAtStart(const SparseMatrix& A, const double* x, const double* b, double* r, double* rt, int n,
                   double normb, double& rr, int& max_iter, double& tol) {
  rr = StartShadow(A, x, b, r, rt, n);
  if (rr == 0.0) {
    tol = 0.0;
    max_iter = 0;
    return true;
  }
  tol = std::sqrt(rr) / normb;
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Conjugate gradient

int CG(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
       double& tol, double& tol2) {
  const int n = A.dim(0);
  const double tol0 = tol, tol20 = tol2;
  const double normb = std::sqrt(SumSq(b, n));
  if (normb == 0.0) {
    for (int j = 0; j < n; ++j) x[j] = 0.0;
    tol = tol2 = 0.0;
    max_iter = 0;
    return 0;
  }
  double *r, *z, *p, *q;
  PoolVecs(n, {&r, &z, &p, &q});
  const double rr0 = Residual(A, x, b, r, n);
  if (rr0 == 0.0) {
    tol = tol2 = 0.0;
    max_iter = 0;
    return 0;
  }
  tol = std::sqrt(rr0) / normb;
  double rho_prev = 1.0;
  bool fresh = true;  // the direction starts from the preconditioned residual
  Maxima m;
  for (int i = 1; i <= max_iter; ++i) {
    M.solve(r, z);
    const double rho = Dot(r, z, n);
    // Neither divisor vanishes on a symmetric positive definite system. One that does shows a
    // singular matrix or preconditioner (an image of 0, values that are not finite) or a system
    // that is not positive definite, on which the method cannot go on: not solved, with the
    // last iterate.
    Trouble t = rho == 0.0 || !std::isfinite(rho) ? DivisorTrouble(rho, r, z, n) : Trouble::kNone;
    if (t == Trouble::kNone) {
      if (fresh)
        Copy(z, p, n);
      else
        Xpby(z, rho / rho_prev, p, n);
      fresh = false;
      A.mult(p, q);
      const double sigma = Dot(p, q, n);
      const double alpha = rho / sigma;
      if (!std::isfinite(alpha)) {
        t = DivisorTrouble(sigma, p, q, n);
      } else {
        const double rr = UpdateXR(alpha, p, q, x, x, r, n, m);
        t = UpdateTrouble(rr, m.x);
        int iters = max_iter;  // the loop's bound, written only on convergence
        if (t == Trouble::kNone && Converged(std::sqrt(rr) / normb, m, tol0, tol20, i, iters, tol, tol2)) {
          // As in Restarts: converged once the true residual b - A x meets the tolerance too;
          // otherwise the directions start again from it.
          tol = std::sqrt(Residual(A, x, b, r, n)) / normb;
          if (tol <= tol0) {
            max_iter = iters;
            return 0;
          }
          fresh = true;
        }
      }
    }
    if (t != Trouble::kNone) return t == Trouble::kBreakdown ? 1 : 2;
    rho_prev = rho;
  }
  return 1;
}

// ---------------------------------------------------------------------------------------------
// Biconjugate gradient

int BiCG(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
         double& tol, double& tol2) {
  const int n = A.dim(0);
  const double tol0 = tol, tol20 = tol2;
  const double normb = NormOrOne(b, n);
  BiCGVectors w;
  PoolVecs(n, {&w.r, &w.rt, &w.z, &w.zt, &w.p, &w.pt, &w.q, &w.qt});
  double rr = 0.0;
  if (SolvedAtStart(A, x, b, w.r, w.rt, n, normb, rr, max_iter, tol)) return 0;
  Restarts it(A, b, x, w.r, w.rt, n, normb, tol0, rr);
  double rho_prev = 1.0, rho = 0.0;
  bool first = true;
  Maxima m;
  for (int i = 1; i <= max_iter; ++i) {
    double rr_new = 0.0;
    const Trouble t = BiCGStep(A, M, it.cur(), it.next(), w, n, first, rho_prev, rho, rr_new, m);
    if (t != Trouble::kNone) {
      if (const int status = it.Recover(t, i, rr, max_iter, tol); status >= 0) return status;
      first = true;
      continue;
    }
    rr = rr_new;
    first = false;
    const Test test = it.Converges(rr, m, tol20, i, max_iter, tol, tol2);
    if (test == Test::kConverged) return 0;
    if (test == Test::kRestarted) first = true;
    rho_prev = rho;
  }
  return it.Stop(1, tol);
}

// ---------------------------------------------------------------------------------------------
// BiCGSTAB

int BiCGSTAB(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
             double& tol, double& tol2) {
  const int n = A.dim(0);
  const double tol0 = tol, tol20 = tol2;
  const double normb = NormOrOne(b, n);
  double *r, *rt, *p, *ph, *s, *sh, *t, *v;
  PoolVecs(n, {&r, &rt, &p, &ph, &s, &sh, &t, &v});
  double rr = 0.0;
  // An already solved system must not reach the zero-rho breakdown test below.
  if (SolvedAtStart(A, x, b, r, rt, n, normb, rr, max_iter, tol)) return 0;
  Restarts it(A, b, x, r, rt, n, normb, tol0, rr);
  double rho_prev = 1.0, alpha = 0.0, omega = 0.0;
  Maxima m;
  bool fresh = true;  // the direction starts from the residual
  for (int i = 1; i <= max_iter; ++i) {
    double rho = Dot(rt, r, n);
    if (rho == 0.0) {
      // The residual has become orthogonal to the shadow residual, which says nothing about the
      // matrix: the method starts again with the current residual as its shadow (r . r > 0), the
      // true one when the updated one met the tolerance but the true one does not.
      if (SolvedAtBreakdown(Trouble::kBreakdown, rr, normb, tol0, tol)) {
        if (it.TrulySolved(tol)) {
          max_iter = i;
          return 0;
        }
        it.StartFromTrueResidual(rr);
      }
      Copy(r, rt, n);
      rho = Dot(rt, r, n);
      fresh = true;
    }
    Trouble trouble = std::isfinite(rho) ? Trouble::kNone : Trouble::kNonFinite;
    double rr_new = 0.0;
    if (trouble == Trouble::kNone) {
      if (fresh) {
        Copy(r, p, n);
        fresh = false;
      } else {
        const double beta = (rho / rho_prev) * (alpha / omega);
        Set(p, n, [=](std::size_t j) { return r[j] + beta * (p[j] - omega * v[j]); });
      }
      M.solve(p, ph);
      A.mult(ph, v);
      const double sigma = Dot(rt, v, n);
      alpha = rho / sigma;
      if (!std::isfinite(alpha)) trouble = DivisorTrouble(sigma, p, v, n);
    }
    if (trouble == Trouble::kNone) {
      const double ss = AxpyTo(r, alpha, v, s, n);
      const double sratio = std::sqrt(ss) / normb;
      if (sratio < tol0) {
        const double* xc = it.cur();
        Set(it.next(), n, [=](std::size_t j) { return xc[j] + alpha * ph[j]; });
        it.Accept(ss);
        if (it.TrulySolved(tol)) return 0;
        it.StartFromTrueResidual(rr);
        fresh = true;
        continue;
      }
      M.solve(s, sh);
      A.mult(sh, t);
      double ts = 0.0, tt = 0.0;
      Dot2(t, s, n, ts, tt);
      omega = ts / tt;
      if (!std::isfinite(omega)) {
        trouble = DivisorTrouble(tt, s, t, n);
      } else {
        rr_new = Advance<true>(
            it.cur(), it.next(), r, n, [=](int j) { return alpha * ph[j] + omega * sh[j]; },
            [=](int j) { return s[j] - omega * t[j]; }, m);
        trouble = UpdateTrouble(rr_new, m.x);
      }
    }
    if (trouble != Trouble::kNone) {
      if (const int status = it.Recover(trouble, i, rr, max_iter, tol); status >= 0) return status;
      fresh = true;
      continue;
    }
    rr = rr_new;
    const Test test = it.Converges(rr, m, tol20, i, max_iter, tol, tol2);
    if (test == Test::kConverged) return 0;
    if (test == Test::kRestarted) {
      fresh = true;
      continue;
    }
    if (omega == 0.0) {
      tol = std::sqrt(rr) / normb;
      it.Keep();
      return 3;
    }
    rho_prev = rho;
  }
  return it.Stop(1, tol);
}

// ---------------------------------------------------------------------------------------------
// Conjugate gradient squared

int CGS(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
        double& tol, double& tol2) {
  const int n = A.dim(0);
  const double tol0 = tol, tol20 = tol2;
  const double normb = NormOrOne(b, n);
  double *r, *rt, *u, *p, *q, *ph, *vh, *uh, *qh, *w;
  PoolVecs(n, {&r, &rt, &u, &p, &q, &ph, &vh, &uh, &qh, &w});
  double rr = 0.0;
  if (SolvedAtStart(A, x, b, r, rt, n, normb, rr, max_iter, tol)) return 0;
  Restarts it(A, b, x, r, rt, n, normb, tol0, rr);
  double rho_prev = 1.0;
  bool first = true;
  Maxima m;
  for (int i = 1; i <= max_iter; ++i) {
    const double rho = Dot(rt, r, n);
    Trouble trouble = rho == 0.0 ? Trouble::kBreakdown : std::isfinite(rho) ? Trouble::kNone : Trouble::kNonFinite;
    double rr_new = 0.0;
    if (trouble == Trouble::kNone) {
      if (first) {
        Copy(r, u, n);
        Copy(u, p, n);
      } else {
        const double beta = rho / rho_prev;
        ParallelFor(n, [=](std::size_t j) {
          const double uj = r[j] + beta * q[j];
          u[j] = uj;
          p[j] = uj + beta * (q[j] + beta * p[j]);
        });
      }
      M.solve(p, ph);
      A.mult(ph, vh);
      const double sigma = Dot(rt, vh, n);
      const double alpha = rho / sigma;
      if (!std::isfinite(alpha)) {
        trouble = DivisorTrouble(sigma, p, vh, n);
      } else {
        ParallelFor(n, [=](std::size_t j) {
          const double qj = u[j] - alpha * vh[j];
          q[j] = qj;
          w[j] = u[j] + qj;
        });
        M.solve(w, uh);
        Advance<false>(
            it.cur(), it.next(), nullptr, n, [=](int j) { return alpha * uh[j]; }, [](int) { return 0.0; }, m);
        A.mult(uh, qh);
        rr_new = AxpyTo(r, alpha, qh, r, n);
        trouble = UpdateTrouble(rr_new, m.x);
      }
    }
    if (trouble != Trouble::kNone) {
      if (const int status = it.Recover(trouble, i, rr, max_iter, tol); status >= 0) return status;
      first = true;
      continue;
    }
    rr = rr_new;
    first = false;
    const Test test = it.Converges(rr, m, tol20, i, max_iter, tol, tol2);
    if (test == Test::kConverged) return 0;
    if (test == Test::kRestarted) first = true;
    rho_prev = rho;
  }
  return it.Stop(1, tol);
}

// ---------------------------------------------------------------------------------------------
// GMRES

void GeneratePlaneRotation(const double& dx, const double& dy, double& cs, double& sn) {
  if (dy == 0.0) {
    cs = 1.0;
    sn = 0.0;
  } else if (std::fabs(dx) < std::fabs(dy)) {
    const double t = dx / dy;
    sn = 1.0 / std::sqrt(1.0 + t * t);
    cs = t * sn;
  } else {
    const double t = dy / dx;
    cs = 1.0 / std::sqrt(1.0 + t * t);
    sn = t * cs;
  }
}

void ApplyPlaneRotation(double& dx, double& dy, const double& cs, const double& sn) {
  const double t = cs * dx + sn * dy;
  dy = -sn * dx + cs * dy;
  dx = t;
}

void Update(double* x, int k, const HMatrix& H, const double* s, double* const* v, int n, double* y) {
  for (int l = k; l >= 0; --l) {
    double t = s[l];
    for (int q = l + 1; q <= k; ++q) t -= H(l, q) * y[q];
    y[l] = t / H(l, l);
  }
  // Four basis vectors per pass over x; a long x is cut into the blocks of threads.h, each
  // taking every pass (the same operations on every entry for any thread count).
  ForBlocks(n, [=](int, std::size_t lo, std::size_t hi) {
    int l = 0;
    for (; l + 3 <= k; l += 4) {
      const double *v0 = v[l], *v1 = v[l + 1], *v2 = v[l + 2], *v3 = v[l + 3];
      const double y0 = y[l], y1 = y[l + 1], y2 = y[l + 2], y3 = y[l + 3];
      for (std::size_t j = lo; j < hi; ++j) x[j] += y0 * v0[j] + y1 * v1[j] + y2 * v2[j] + y3 * v3[j];
    }
    for (; l <= k; ++l) {
      const double* vl = v[l];
      const double yl = y[l];
      for (std::size_t j = lo; j < hi; ++j) x[j] += yl * vl[j];
    }
  });
}

namespace {

/// r = M^-1 (b - A x), using t as work; returns |r|.
double PrecResidual(const SystemSparseMatrix& A, const Preconditioner& M, const double* x, const double* b,
                    double* t, double* r, int n) {
  Residual(A, x, b, t, n);
  M.solve(t, r);
  return std::sqrt(SumSq(r, n));
}

}  // namespace

int GMRES(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, HMatrix& H, int& m,
          int& max_iter, double& tol) {
  const int n = A.dim(0);
  if (n < m) OLVU_FATAL("Invalid m dimension in GMRES.\n");
  const double tol0 = tol;
  double* r = PoolVec(n);
  double* t = PoolVec(n);
  double* w = PoolVec(n > m + 1 ? n : m + 1);  // also the y of the update
  double* s = PoolVec(m + 1);
  double* cs = PoolVec(m + 1);
  double* sn = PoolVec(m + 1);
  M.solve(b, t);
  double normb = std::sqrt(SumSq(t, n));
  if (normb == 0.0) normb = 1.0;
  double beta = PrecResidual(A, M, x, b, t, r, n);
  double resid = beta / normb;
  if (resid <= tol0) {
    tol = resid;
    max_iter = 0;
    return 0;
  }
  double** v = static_cast<double**>(static_cast<void*>(Alloc((m + 1) * static_cast<long>(sizeof(double*)))));
  for (int k = 0; k <= m; ++k) v[k] = PoolVec(n);
  int j = 1;
  while (j <= max_iter) {
    const double inv = 1.0 / beta;
    Set(v[0], n, [=](std::size_t l) { return r[l] * inv; });
    for (int l = 0; l <= m; ++l) s[l] = 0.0;
    s[0] = beta;
    int i = 0;
    for (; i < m && j <= max_iter; ++i, ++j) {
      A.mult(v[i], t);
      M.solve(t, w);
      // Modified Gram-Schmidt, each subtraction fused with the next inner product (or the norm).
      double h = Dot(w, v[0], n);
      for (int k = 0; k <= i; ++k) {
        H(k, i) = h;
        const double* vk = v[k];
        const double* vn = k < i ? v[k + 1] : w;
        h = SumOverBlocks(n, [=](std::size_t lo, std::size_t hi) {
          double a0 = 0, a1 = 0;
          std::size_t l = lo;
          for (; l + 1 < hi; l += 2) {
            const double w0 = w[l] - h * vk[l], w1 = w[l + 1] - h * vk[l + 1];
            w[l] = w0;
            w[l + 1] = w1;
            a0 += w0 * vn[l];
            a1 += w1 * vn[l + 1];
          }
          for (; l < hi; ++l) {
            w[l] -= h * vk[l];
            a0 += w[l] * vn[l];
          }
          return a0 + a1;
        });
      }
      const double hn = std::sqrt(h);
      H(i + 1, i) = hn;
      const double hinv = 1.0 / hn;
      Set(v[i + 1], n, [=](std::size_t l) { return w[l] * hinv; });
      for (int k = 0; k < i; ++k) ApplyPlaneRotation(H(k, i), H(k + 1, i), cs[k], sn[k]);
      GeneratePlaneRotation(H(i, i), H(i + 1, i), cs[i], sn[i]);
      ApplyPlaneRotation(H(i, i), H(i + 1, i), cs[i], sn[i]);
      if (H(i, i) == 0.0) {
        // The new column lies in the span of the earlier ones: the Krylov space holds a vector
        // that A M^-1 maps to 0. The triangular solve would divide by this 0 while the residual
        // estimate shows 0, a solution of values that are not finite reported as converged.
        if (i > 0) Update(x, i - 1, H, s, v, n, w);
        tol = resid;
        return 2;
      }
      ApplyPlaneRotation(s[i], s[i + 1], cs[i], sn[i]);
      resid = std::fabs(s[i + 1]) / normb;
      if (resid < tol0) {
        Update(x, i, H, s, v, n, w);
        tol = resid;
        max_iter = j;
        return 0;
      }
    }
    // End of a cycle, or the limit reached inside one: take the i steps done, then test the
    // true preconditioned residual.
    Update(x, i - 1, H, s, v, n, w);
    beta = PrecResidual(A, M, x, b, t, r, n);
    resid = beta / normb;
    if (resid < tol0) {
      tol = resid;
      max_iter = j - 1;
      return 0;
    }
  }
  tol = resid;
  return 1;
}

// ---------------------------------------------------------------------------------------------
// Stationary methods

namespace {

/// |b - A x| / nb, with r as work.
double ResidualRatio(const SystemSparseMatrix& A, const double* x, const double* b, double* r, int n, double nb) {
  Copy(b, r, n);
  A.sub_mult(x, r);
  return std::sqrt(SumSq(r, n)) / nb;
}

/// The frame of GSD and JCD: up to max_iter + 1 calls of sweep() (none for a negative limit),
/// each followed by the residual ratio |b - A x| / |b|; a ratio at most tol ends with tol set to
/// it and max_iter to the sweeps done. Always status 0; without a sweep the ratio is that of x.
template <class Sweep>
int Sweeps(const SystemSparseMatrix& A, double* x, const double* b, double* r, int& max_iter, double& tol,
           Sweep sweep) {
  const int n = A.dim(0);
  const double nb = std::sqrt(SumSq(b, n));
  const int sweeps = max_iter + 1;
  double ratio = sweeps < 1 ? ResidualRatio(A, x, b, r, n, nb) : 0.0;
  for (int k = 1; k <= sweeps; ++k) {
    sweep();
    ratio = ResidualRatio(A, x, b, r, n, nb);
    if (ratio <= tol) {
      tol = ratio;
      max_iter = k;
      return 0;
    }
  }
  tol = ratio;
  return 0;
}

}  // namespace

int GSD(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner&, int& max_iter,
        double& tol) {
  double* r = PoolVec(A.dim(0));
  return Sweeps(A, x, b, r, max_iter, tol, [&] {
    A.Gauss_Seidel_Iteration(x, b);
    A.IGauss_Seidel_Iteration(x, b);
  });
}

int JCD(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner&, int& max_iter,
        double& tol) {
  const int n = A.dim(0);
  double *d, *t;
  PoolVecs(n, {&d, &t});
  for (int i = 0; i < n; ++i) d[i] = A.diag(i);
  return Sweeps(A, x, b, t, max_iter, tol, [&] {
    A.mult_off_diagonal(x, t);
    Set(x, n, [=](std::size_t i) { return (b[i] - t[i]) / d[i]; });
  });
}

// ---------------------------------------------------------------------------------------------
// Further methods

int RICHARDSON(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner&, int& max_iter,
               double& tol) {
  const int n = A.dim(0);
  double *l, *t;
  PoolVecs(n, {&l, &t});
  A.lump(l);
  for (int i = 0; i < n; ++i) {
    l[i] = l[i] != 0.0 ? 1.0 / l[i] : 0.0;
    x[i] = l[i] * b[i];
  }
  for (int k = 1; k <= max_iter + 1; ++k) {
    A.mult(x, t);
    double dd = 0.0;
    for (int i = 0; i < n; ++i) {
      const double d = l[i] * (b[i] - t[i]);
      x[i] += d;
      dd += d * d;
    }
    if (std::sqrt(dd) < tol) return 0;
  }
  return 1;
}

int OCG(SystemSparseMatrix& A, double* x, double* b, const Preconditioner&, int& max_iter, double& tol) {
  const int n = A.dim(0);
  std::vector<double> scratch(n > 0 ? 3 * static_cast<std::size_t>(n) : 1);
  double* D = scratch.data();
  double* p = D + n;
  double* q = p + n;
  double* r = b;
  const int* rp = A.row_ptr(0);
  const int* ci = A.col_ind(0);
  double* a = A.val(0);
  for (int i = 0; i < n; ++i) D[i] = 1.0 / std::sqrt(A.diag(i));
  for (int i = 0; i < n; ++i) {
    for (int k = rp[i]; k < rp[i + 1]; ++k)
      if (ci[k] >= 0) a[k] *= D[i] * D[ci[k]];
    b[i] *= D[i];
    x[i] = 0.0;
    p[i] = 0.0;
  }
  double rho_prev = 1.0, ref = 1.0, ratio = 1.0, rho = 0.0;
  int k = 0;
  for (;; ++k) {
    rho = SumSq(r, n);
    Xpby(r, rho / rho_prev, p, n);  // p = r + (rho/rho_prev) p
    A.mult(p, q);
    const double pq = Dot(p, q, n);
    const double alpha = pq != 0.0 ? Dot(p, r, n) / pq : 1.0;
    double sq = 0.0, mp = 0.0;
    for (int i = 0; i < n; ++i) {
      x[i] += alpha * p[i];
      r[i] -= alpha * q[i];
      sq += std::fabs(alpha * q[i]);
      mp = Max(mp, std::fabs(alpha * p[i]));
    }
    const double measure = Max(sq, mp);
    if (k == 0) ref = measure != 0.0 ? measure : 1.0;
    ratio = measure / ref;
    rho_prev = rho;
    if (!(ratio >= tol && rho != 0.0 && k + 1 < max_iter)) break;
  }
  for (int i = 0; i < n; ++i) x[i] *= D[i];
  tol = ratio;
  const int done = k + 1;
  return done >= max_iter ? -done : done;
}

int IR(const SystemSparseMatrix& A, ReaVec& xv, const ReaVec& bv, const Preconditioner& M, int& max_iter,
       double& tol) {
  const int n = A.dim(0);
  double* x = xv.GivePointer();
  const double* b = bv.GivePointer();
  double *r, *z;
  PoolVecs(n, {&r, &z});
  const double normb = NormOrOne(b, n);
  double resid = std::sqrt(Residual(A, x, b, r, n)) / normb;
  if (resid <= tol) {
    tol = resid;
    max_iter = 0;
    return 0;
  }
  for (int i = 1; i <= max_iter; ++i) {
    M.solve(r, z);
    Set(x, n, [=](std::size_t j) { return x[j] + z[j]; });
    resid = std::sqrt(Residual(A, x, b, r, n)) / normb;
    if (resid <= tol) {
      tol = resid;
      max_iter = i;
      return 0;
    }
  }
  tol = resid;
  return 1;
}

int QMR(const SystemSparseMatrix& A, ReaVec& xv, const ReaVec& bv, const Preconditioner& M1,
        const Preconditioner& M2, int& max_iter, double& tol) {
  const int n = A.dim(0);
  double* x = xv.GivePointer();
  const double* b = bv.GivePointer();
  double *r, *v_tld, *y, *w_tld, *z, *v, *w, *y_tld, *z_tld, *p, *q, *p_tld, *d, *s;
  PoolVecs(n, {&r, &v_tld, &y, &w_tld, &z, &v, &w, &y_tld, &z_tld, &p, &q, &p_tld, &d, &s});
  const double normb = NormOrOne(b, n);
  double resid = std::sqrt(Residual(A, x, b, r, n)) / normb;
  if (resid <= tol) {
    tol = resid;
    max_iter = 0;
    return 0;
  }
  Copy(r, v_tld, n);
  M1.solve(v_tld, y);
  double rho = std::sqrt(SumSq(y, n));
  Copy(r, w_tld, n);
  M2.trans_solve(w_tld, z);
  double xi = std::sqrt(SumSq(z, n));
  double gamma = 1.0, eta = -1.0, theta = 0.0, epsilon = 1.0;
  for (int i = 1; i <= max_iter; ++i) {
    if (rho == 0.0) return 2;
    if (xi == 0.0) return 7;
    for (int j = 0; j < n; ++j) {
      v[j] = v_tld[j] / rho;
      y[j] /= rho;
      w[j] = w_tld[j] / xi;
      z[j] /= xi;
    }
    const double delta = Dot(z, y, n);
    if (delta == 0.0) return 5;
    M2.solve(y, y_tld);
    M1.trans_solve(z, z_tld);
    if (i > 1) {
      const double fp = xi * delta / epsilon, fq = rho * delta / epsilon;
      for (int j = 0; j < n; ++j) {
        p[j] = y_tld[j] - fp * p[j];
        q[j] = z_tld[j] - fq * q[j];
      }
    } else {
      Copy(y_tld, p, n);
      Copy(z_tld, q, n);
    }
    A.mult(p, p_tld);
    epsilon = Dot(q, p_tld, n);
    if (epsilon == 0.0) return 6;
    const double beta = epsilon / delta;
    if (beta == 0.0) return 3;
    for (int j = 0; j < n; ++j) v_tld[j] = p_tld[j] - beta * v[j];
    M1.solve(v_tld, y);
    const double rho_old = rho;
    rho = std::sqrt(SumSq(y, n));
    A.trans_mult(q, w_tld);
    for (int j = 0; j < n; ++j) w_tld[j] -= beta * w[j];
    M2.trans_solve(w_tld, z);
    xi = std::sqrt(SumSq(z, n));
    const double gamma_old = gamma, theta_old = theta;
    theta = rho / (gamma_old * std::fabs(beta));
    gamma = 1.0 / std::sqrt(1.0 + theta * theta);
    if (gamma == 0.0) return 4;
    eta = -eta * rho_old * gamma * gamma / (beta * gamma_old * gamma_old);
    if (i > 1) {
      const double f = (theta_old * gamma) * (theta_old * gamma);
      for (int j = 0; j < n; ++j) {
        d[j] = eta * p[j] + f * d[j];
        s[j] = eta * p_tld[j] + f * s[j];
      }
    } else {
      for (int j = 0; j < n; ++j) {
        d[j] = eta * p[j];
        s[j] = eta * p_tld[j];
      }
    }
    for (int j = 0; j < n; ++j) x[j] += d[j];
    resid = std::sqrt(Residual(A, x, b, r, n)) / normb;
    if (resid <= tol) {
      tol = resid;
      max_iter = i;
      return 0;
    }
  }
  tol = resid;
  return 1;
}

// ---------------------------------------------------------------------------------------------
// Stepwise biconjugate gradient

BiConjugatedGradient::BiConjugatedGradient(const SparseMatrix* A_, const Preconditioner* M_, const double* b_,
                                           double* x_)
    : A(A_), M(M_), b(b_), x(x_), n(A_->dim(0)), started(0), rho(0.0), rho_prev(1.0), normb(1.0), resid(0.0) {
  PoolVecs(n, {&r, &rt, &z, &zt, &p, &pt, &q, &qt});
  normb = NormOrOne(b, n);
  resid = std::sqrt(StartShadow(*A, x, b, r, rt, n)) / normb;
}

int BiConjugatedGradient::PerformIteration(double tol, double tol2) {
  const BiCGVectors w{r, rt, z, zt, p, pt, q, qt};
  double rr = 0.0;
  Maxima m;
  if (BiCGStep(*A, *M, x, x, w, n, !started, rho_prev, rho, rr, m) != Trouble::kNone) return 2;
  started = 1;
  rho_prev = rho;
  resid = std::sqrt(rr) / normb;
  const double inc = m.dx / (m.x + tol);
  return resid < tol && inc <= tol2 ? 0 : 1;
}
