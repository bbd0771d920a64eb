// Iterative methods on raw arrays.
#include "solvers/gen_solvers.h"

#include <cmath>
#include <new>

#include "foundation/alloc.h"
#include "foundation/error.h"
#include "foundation/reavec.h"
#include "solvers/preconditioner.h"
#include "solvers/solvers.h"
#include "solvers/sparsematrix.h"

namespace {

// Vector kernels. Sums run on four accumulators so that the adds of consecutive entries do not
// wait for each other; maxima are exact in any order.

/// Larger of a and b; a plain comparison, which compiles to one instruction where std::fmax,
/// bound to its rules for NaN, does not (a NaN shows in the residual ratio anyway).
inline double Max(double a, double b) { return b > a ? b : a; }

/// A pool vector of n doubles, valid until the next pool reset.
double* PoolVec(long n) { return static_cast<double*>(static_cast<void*>(Alloc((n > 0 ? n : 1) * sizeof(double)))); }

/// a . b
double Dot(const double* a, const double* b, int n) {
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

/// |a|^2
double SumSq(const double* a, int n) { return Dot(a, a, n); }

/// (a . b, a . a) in one pass.
void Dot2(const double* a, const double* b, int n, double& ab, double& aa) {
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

/// y = a
void Copy(const double* a, double* y, int n) {
  for (int i = 0; i < n; ++i) y[i] = a[i];
}

/// r = b - r, returns |r|^2 (r holds A x on entry).
double ResidualFromProduct(const double* b, double* r, int n) {
  double s0 = 0, s1 = 0;
  int i = 0;
  for (; i + 1 < n; i += 2) {
    const double a = b[i] - r[i], c = b[i + 1] - r[i + 1];
    r[i] = a;
    r[i + 1] = c;
    s0 += a * a;
    s1 += c * c;
  }
  for (; i < n; ++i) {
    r[i] = b[i] - r[i];
    s0 += r[i] * r[i];
  }
  return s0 + s1;
}

/// p = z + beta p
void Xpby(const double* z, double beta, double* p, int n) {
  for (int i = 0; i < n; ++i) p[i] = z[i] + beta * p[i];
}

/// The two maxima of the increment test.
struct Maxima {
  double dx = 0.0, x = 0.0;
};

/// x += a p, r -= a q; returns |r|^2 and the maxima of |a p| and of |x|.
double UpdateXR(double a, const double* p, const double* q, double* x, double* r, int n, Maxima& m) {
  double s0 = 0, s1 = 0, d0 = 0, d1 = 0, x0 = 0, x1 = 0;
  int i = 0;
  for (; i + 1 < n; i += 2) {
    const double e0 = a * p[i], e1 = a * p[i + 1];
    const double y0 = x[i] + e0, y1 = x[i + 1] + e1;
    const double t0 = r[i] - a * q[i], t1 = r[i + 1] - a * q[i + 1];
    x[i] = y0;
    x[i + 1] = y1;
    r[i] = t0;
    r[i + 1] = t1;
    s0 += t0 * t0;
    s1 += t1 * t1;
    d0 = Max(d0, std::fabs(e0));
    d1 = Max(d1, std::fabs(e1));
    x0 = Max(x0, std::fabs(y0));
    x1 = Max(x1, std::fabs(y1));
  }
  for (; i < n; ++i) {
    const double e = a * p[i];
    x[i] += e;
    r[i] -= a * q[i];
    s0 += r[i] * r[i];
    d0 = Max(d0, std::fabs(e));
    x0 = Max(x0, std::fabs(x[i]));
  }
  m.dx = Max(d0, d1);
  m.x = Max(x0, x1);
  return s0 + s1;
}

/// x += a u; returns the maxima of |a u| and |x|.
void UpdateX(double a, const double* u, double* x, int n, Maxima& m) {
  double d0 = 0, d1 = 0, x0 = 0, x1 = 0;
  int i = 0;
  for (; i + 1 < n; i += 2) {
    const double e0 = a * u[i], e1 = a * u[i + 1];
    const double y0 = x[i] + e0, y1 = x[i + 1] + e1;
    x[i] = y0;
    x[i + 1] = y1;
    d0 = Max(d0, std::fabs(e0));
    d1 = Max(d1, std::fabs(e1));
    x0 = Max(x0, std::fabs(y0));
    x1 = Max(x1, std::fabs(y1));
  }
  for (; i < n; ++i) {
    const double e = a * u[i];
    x[i] += e;
    d0 = Max(d0, std::fabs(e));
    x0 = Max(x0, std::fabs(x[i]));
  }
  m.dx = Max(d0, d1);
  m.x = Max(x0, x1);
}

/// r -= a q; returns |r|^2.
double Axpy2(double a, const double* q, double* r, int n) {
  double s0 = 0, s1 = 0;
  int i = 0;
  for (; i + 1 < n; i += 2) {
    const double t0 = r[i] - a * q[i], t1 = r[i + 1] - a * q[i + 1];
    r[i] = t0;
    r[i + 1] = t1;
    s0 += t0 * t0;
    s1 += t1 * t1;
  }
  for (; i < n; ++i) {
    r[i] -= a * q[i];
    s0 += r[i] * r[i];
  }
  return s0 + s1;
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
  double* r = PoolVec(n);
  double* z = PoolVec(n);
  double* p = PoolVec(n);
  double* q = PoolVec(n);
  A.mult(x, r);
  const double rr0 = ResidualFromProduct(b, r, n);
  if (rr0 == 0.0) {
    tol = tol2 = 0.0;
    max_iter = 0;
    return 0;
  }
  tol = std::sqrt(rr0) / normb;
  double rho_prev = 1.0;
  Maxima m;
  for (int i = 1; i <= max_iter; ++i) {
    M.solve(r, z);
    const double rho = Dot(r, z, n);
    if (i == 1)
      Copy(z, p, n);
    else
      Xpby(z, rho / rho_prev, p, n);
    A.mult(p, q);
    const double alpha = rho / Dot(p, q, n);
    const double rr = UpdateXR(alpha, p, q, x, r, n, m);
    if (Converged(std::sqrt(rr) / normb, m, tol0, tol20, i, max_iter, tol, tol2)) return 0;
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
  double normb = std::sqrt(SumSq(b, n));
  if (normb == 0.0) normb = 1.0;
  double* r = PoolVec(n);
  double* rt = PoolVec(n);
  double* z = PoolVec(n);
  double* zt = PoolVec(n);
  double* p = PoolVec(n);
  double* pt = PoolVec(n);
  double* q = PoolVec(n);
  double* qt = PoolVec(n);
  A.mult(x, r);
  double rr = ResidualFromProduct(b, r, n);
  Copy(r, rt, n);
  if (rr == 0.0) {
    tol = 0.0;
    max_iter = 0;
    return 0;
  }
  tol = std::sqrt(rr) / normb;
  double rho_prev = 1.0;
  Maxima m;
  for (int i = 1; i <= max_iter; ++i) {
    M.solve(r, z);
    M.trans_solve(rt, zt);
    const double rho = Dot(z, rt, n);
    if (rho == 0.0) {
      tol = std::sqrt(rr) / normb;
      max_iter = i;
      return 2;
    }
    if (i == 1) {
      Copy(z, p, n);
      Copy(zt, pt, n);
    } else {
      const double beta = rho / rho_prev;
      Xpby(z, beta, p, n);
      Xpby(zt, beta, pt, n);
    }
    A.mult(p, q);
    A.trans_mult(pt, qt);
    const double alpha = rho / Dot(pt, q, n);
    rr = UpdateXR(alpha, p, q, x, r, n, m);
    for (int j = 0; j < n; ++j) rt[j] -= alpha * qt[j];
    if (Converged(std::sqrt(rr) / normb, m, tol0, tol20, i, max_iter, tol, tol2)) return 0;
    rho_prev = rho;
  }
  return 1;
}

// ---------------------------------------------------------------------------------------------
// BiCGSTAB

int BiCGSTAB(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
             double& tol, double& tol2) {
  const int n = A.dim(0);
  const double tol0 = tol, tol20 = tol2;
  double normb = std::sqrt(SumSq(b, n));
  if (normb == 0.0) normb = 1.0;
  double* r = PoolVec(n);
  double* rt = PoolVec(n);
  double* p = PoolVec(n);
  double* ph = PoolVec(n);
  double* s = PoolVec(n);
  double* sh = PoolVec(n);
  double* t = PoolVec(n);
  double* v = PoolVec(n);
  A.mult(x, r);
  double rr = ResidualFromProduct(b, r, n);
  Copy(r, rt, n);
  // An already solved system must not reach the zero-rho breakdown test below.
  if (rr == 0.0) {
    tol = tol2 = 0.0;
    max_iter = 0;
    return 0;
  }
  tol = std::sqrt(rr) / normb;
  double rho_prev = 1.0, alpha = 0.0, omega = 0.0;
  Maxima m;
  for (int i = 1; i <= max_iter; ++i) {
    const double rho = Dot(rt, r, n);
    if (rho == 0.0) {
      tol = std::sqrt(rr) / normb;
      return 2;
    }
    if (i == 1) {
      Copy(r, p, n);
    } else {
      const double beta = (rho / rho_prev) * (alpha / omega);
      for (int j = 0; j < n; ++j) p[j] = r[j] + beta * (p[j] - omega * v[j]);
    }
    M.solve(p, ph);
    A.mult(ph, v);
    alpha = rho / Dot(rt, v, n);
    double ss0 = 0, ss1 = 0;
    {
      int j = 0;
      for (; j + 1 < n; j += 2) {
        const double a0 = r[j] - alpha * v[j], a1 = r[j + 1] - alpha * v[j + 1];
        s[j] = a0;
        s[j + 1] = a1;
        ss0 += a0 * a0;
        ss1 += a1 * a1;
      }
      for (; j < n; ++j) {
        s[j] = r[j] - alpha * v[j];
        ss0 += s[j] * s[j];
      }
    }
    const double sratio = std::sqrt(ss0 + ss1) / normb;
    if (sratio < tol0) {
      for (int j = 0; j < n; ++j) x[j] += alpha * ph[j];
      tol = sratio;
      return 0;
    }
    M.solve(s, sh);
    A.mult(sh, t);
    double ts = 0.0, tt = 0.0;
    Dot2(t, s, n, ts, tt);
    omega = ts / tt;
    double s0 = 0, s1 = 0, d0 = 0, d1 = 0, x0 = 0, x1 = 0;
    {
      int j = 0;
      for (; j + 1 < n; j += 2) {
        const double e0 = alpha * ph[j] + omega * sh[j], e1 = alpha * ph[j + 1] + omega * sh[j + 1];
        const double y0 = x[j] + e0, y1 = x[j + 1] + e1;
        const double q0 = s[j] - omega * t[j], q1 = s[j + 1] - omega * t[j + 1];
        x[j] = y0;
        x[j + 1] = y1;
        r[j] = q0;
        r[j + 1] = q1;
        s0 += q0 * q0;
        s1 += q1 * q1;
        d0 = Max(d0, std::fabs(e0));
        d1 = Max(d1, std::fabs(e1));
        x0 = Max(x0, std::fabs(y0));
        x1 = Max(x1, std::fabs(y1));
      }
      for (; j < n; ++j) {
        const double e = alpha * ph[j] + omega * sh[j];
        x[j] += e;
        r[j] = s[j] - omega * t[j];
        s0 += r[j] * r[j];
        d0 = Max(d0, std::fabs(e));
        x0 = Max(x0, std::fabs(x[j]));
      }
    }
    rr = s0 + s1;
    m.dx = Max(d0, d1);
    m.x = Max(x0, x1);
    if (Converged(std::sqrt(rr) / normb, m, tol0, tol20, i, max_iter, tol, tol2)) return 0;
    if (omega == 0.0) {
      tol = std::sqrt(rr) / normb;
      return 3;
    }
    rho_prev = rho;
  }
  return 1;
}

// ---------------------------------------------------------------------------------------------
// Conjugate gradient squared

int CGS(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
        double& tol, double& tol2) {
  const int n = A.dim(0);
  const double tol0 = tol, tol20 = tol2;
  double normb = std::sqrt(SumSq(b, n));
  if (normb == 0.0) normb = 1.0;
  double* r = PoolVec(n);
  double* rt = PoolVec(n);
  double* u = PoolVec(n);
  double* p = PoolVec(n);
  double* q = PoolVec(n);
  double* ph = PoolVec(n);
  double* vh = PoolVec(n);
  double* uh = PoolVec(n);
  double* qh = PoolVec(n);
  double* w = PoolVec(n);
  A.mult(x, r);
  double rr = ResidualFromProduct(b, r, n);
  Copy(r, rt, n);
  if (rr == 0.0) {
    tol = 0.0;
    max_iter = 0;
    return 0;
  }
  tol = std::sqrt(rr) / normb;
  double rho_prev = 1.0;
  Maxima m;
  for (int i = 1; i <= max_iter; ++i) {
    const double rho = Dot(rt, r, n);
    if (rho == 0.0) {
      tol = std::sqrt(rr) / normb;
      return 2;
    }
    if (i == 1) {
      Copy(r, u, n);
      Copy(u, p, n);
    } else {
      const double beta = rho / rho_prev;
      for (int j = 0; j < n; ++j) {
        const double uj = r[j] + beta * q[j];
        u[j] = uj;
        p[j] = uj + beta * (q[j] + beta * p[j]);
      }
    }
    M.solve(p, ph);
    A.mult(ph, vh);
    const double alpha = rho / Dot(rt, vh, n);
    for (int j = 0; j < n; ++j) {
      const double qj = u[j] - alpha * vh[j];
      q[j] = qj;
      w[j] = u[j] + qj;
    }
    M.solve(w, uh);
    UpdateX(alpha, uh, x, n, m);
    A.mult(uh, qh);
    rr = Axpy2(alpha, qh, r, n);
    if (Converged(std::sqrt(rr) / normb, m, tol0, tol20, i, max_iter, tol, tol2)) return 0;
    rho_prev = rho;
  }
  return 1;
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
  // Four basis vectors per pass over x.
  int l = 0;
  for (; l + 3 <= k; l += 4) {
    const double *v0 = v[l], *v1 = v[l + 1], *v2 = v[l + 2], *v3 = v[l + 3];
    const double y0 = y[l], y1 = y[l + 1], y2 = y[l + 2], y3 = y[l + 3];
    for (int j = 0; j < n; ++j) x[j] += y0 * v0[j] + y1 * v1[j] + y2 * v2[j] + y3 * v3[j];
  }
  for (; l <= k; ++l) {
    const double* vl = v[l];
    const double yl = y[l];
    for (int j = 0; j < n; ++j) x[j] += yl * vl[j];
  }
}

namespace {

/// r = M^-1 (b - A x), using t as work; returns |r|.
double PrecResidual(const SystemSparseMatrix& A, const Preconditioner& M, const double* x, const double* b,
                    double* t, double* r, int n) {
  A.mult(x, t);
  ResidualFromProduct(b, t, n);
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
    for (int l = 0; l < n; ++l) v[0][l] = r[l] * inv;
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
        double a0 = 0, a1 = 0;
        int l = 0;
        for (; l + 1 < n; l += 2) {
          const double w0 = w[l] - h * vk[l], w1 = w[l + 1] - h * vk[l + 1];
          w[l] = w0;
          w[l + 1] = w1;
          a0 += w0 * vn[l];
          a1 += w1 * vn[l + 1];
        }
        for (; l < n; ++l) {
          w[l] -= h * vk[l];
          a0 += w[l] * vn[l];
        }
        h = a0 + a1;
      }
      const double hn = std::sqrt(h);
      H(i + 1, i) = hn;
      const double hinv = 1.0 / hn;
      double* vi1 = v[i + 1];
      for (int l = 0; l < n; ++l) vi1[l] = w[l] * hinv;
      for (int k = 0; k < i; ++k) ApplyPlaneRotation(H(k, i), H(k + 1, i), cs[k], sn[k]);
      GeneratePlaneRotation(H(i, i), H(i + 1, i), cs[i], sn[i]);
      ApplyPlaneRotation(H(i, i), H(i + 1, i), cs[i], sn[i]);
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

int GSD(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner&, int& max_iter,
        double& tol) {
  const int n = A.dim(0);
  double* r = PoolVec(n);
  const double nb = std::sqrt(SumSq(b, n));
  double ratio = 0.0;
  const int sweeps = max_iter + 1;
  if (sweeps < 1) {
    Copy(b, r, n);
    A.sub_mult(x, r);
    ratio = std::sqrt(SumSq(r, n)) / nb;
  }
  for (int k = 1; k <= sweeps; ++k) {
    A.Gauss_Seidel_Iteration(x, b);
    A.IGauss_Seidel_Iteration(x, b);
    Copy(b, r, n);
    A.sub_mult(x, r);
    ratio = std::sqrt(SumSq(r, n)) / nb;
    if (ratio <= tol) {
      tol = ratio;
      max_iter = k;
      return 0;
    }
  }
  tol = ratio;
  return 0;
}

int JCD(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner&, int& max_iter,
        double& tol) {
  const int n = A.dim(0);
  double* d = PoolVec(n);
  double* t = PoolVec(n);
  for (int i = 0; i < n; ++i) d[i] = A.diag(i);
  const double nb = std::sqrt(SumSq(b, n));
  double ratio = 0.0;
  const int sweeps = max_iter + 1;
  if (sweeps < 1) {
    Copy(b, t, n);
    A.sub_mult(x, t);
    ratio = std::sqrt(SumSq(t, n)) / nb;
  }
  for (int k = 1; k <= sweeps; ++k) {
    A.mult_off_diagonal(x, t);
    for (int i = 0; i < n; ++i) x[i] = (b[i] - t[i]) / d[i];
    Copy(b, t, n);
    A.sub_mult(x, t);
    ratio = std::sqrt(SumSq(t, n)) / nb;
    if (ratio <= tol) {
      tol = ratio;
      max_iter = k;
      return 0;
    }
  }
  tol = ratio;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Further methods

int RICHARDSON(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner&, int& max_iter,
               double& tol) {
  const int n = A.dim(0);
  double* l = PoolVec(n);
  double* t = PoolVec(n);
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
  double* D = new (std::nothrow) double[n > 0 ? 4 * n : 1];
  if (!D) OLVU_FATAL("Not space available on heap\n");
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
  const bool limited = ratio >= tol && rho != 0.0;
  for (int i = 0; i < n; ++i) x[i] *= D[i];
  delete[] D;
  tol = ratio;
  const int done = k + 1;
  return limited ? -done : done;
}

int IR(const SystemSparseMatrix& A, ReaVec& xv, const ReaVec& bv, const Preconditioner& M, int& max_iter,
       double& tol) {
  const int n = A.dim(0);
  double* x = xv.GivePointer();
  const double* b = bv.GivePointer();
  double* r = PoolVec(n);
  double* z = PoolVec(n);
  double normb = std::sqrt(SumSq(b, n));
  if (normb == 0.0) normb = 1.0;
  A.mult(x, r);
  double resid = std::sqrt(ResidualFromProduct(b, r, n)) / normb;
  if (resid <= tol) {
    tol = resid;
    max_iter = 0;
    return 0;
  }
  for (int i = 1; i <= max_iter; ++i) {
    M.solve(r, z);
    for (int j = 0; j < n; ++j) x[j] += z[j];
    A.mult(x, r);
    resid = std::sqrt(ResidualFromProduct(b, r, n)) / normb;
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
  double* r = PoolVec(n);
  double* v_tld = PoolVec(n);
  double* y = PoolVec(n);
  double* w_tld = PoolVec(n);
  double* z = PoolVec(n);
  double* v = PoolVec(n);
  double* w = PoolVec(n);
  double* y_tld = PoolVec(n);
  double* z_tld = PoolVec(n);
  double* p = PoolVec(n);
  double* q = PoolVec(n);
  double* p_tld = PoolVec(n);
  double* d = PoolVec(n);
  double* s = PoolVec(n);
  double normb = std::sqrt(SumSq(b, n));
  if (normb == 0.0) normb = 1.0;
  A.mult(x, r);
  double resid = std::sqrt(ResidualFromProduct(b, r, n)) / normb;
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
    A.mult(x, r);
    resid = std::sqrt(ResidualFromProduct(b, r, n)) / normb;
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
  r = PoolVec(n);
  rt = PoolVec(n);
  z = PoolVec(n);
  zt = PoolVec(n);
  p = PoolVec(n);
  pt = PoolVec(n);
  q = PoolVec(n);
  qt = PoolVec(n);
  normb = std::sqrt(SumSq(b, n));
  if (normb == 0.0) normb = 1.0;
  A->mult(x, r);
  resid = std::sqrt(ResidualFromProduct(b, r, n)) / normb;
  Copy(r, rt, n);
}

int BiConjugatedGradient::PerformIteration(double tol, double tol2) {
  M->solve(r, z);
  M->trans_solve(rt, zt);
  rho = Dot(z, rt, n);
  if (rho == 0.0) return 2;
  if (!started) {
    Copy(z, p, n);
    Copy(zt, pt, n);
    started = 1;
  } else {
    const double beta = rho / rho_prev;
    Xpby(z, beta, p, n);
    Xpby(zt, beta, pt, n);
  }
  A->mult(p, q);
  A->trans_mult(pt, qt);
  const double alpha = rho / Dot(pt, q, n);
  Maxima m;
  const double rr = UpdateXR(alpha, p, q, x, r, n, m);
  for (int j = 0; j < n; ++j) rt[j] -= alpha * qt[j];
  rho_prev = rho;
  resid = std::sqrt(rr) / normb;
  const double inc = m.dx / (m.x + tol);
  return resid < tol && inc <= tol2 ? 0 : 1;
}
