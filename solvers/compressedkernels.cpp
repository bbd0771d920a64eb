// Triangular solves and products on raw compressed sparse arrays.
#include "solvers/compressedkernels.h"

#include <cstdlib>
#include <iostream>

#include "foundation/threads.h"

namespace {

// Argument errors of the kernels go to standard error, not to the error file.
[[noreturn]] void KernelError(const char* message) {
  std::cerr << message << "\n";
  std::cerr.flush();
  std::exit(1);
}

// Column kernels work in c: copy b there unless the solve is in place.
inline void CopyIn(int m, const double* b, double* x) {
  if (b == x) return;
  for (int i = 0; i < m; ++i) x[i] = b[i];
}

// One right-hand side of each kernel; x is the solution addressed from 0, indices relative to
// base. kLower works on rows (columns) 0 .. m-1, else m-1 .. 0; kUnit has no stored diagonal;
// kAlphaOne drops the multiplications by alpha. A solve is one chain from each row (column) to
// the next, kept to one product and one subtraction: the unknown solved just before is passed
// on in a register instead of through x, and the scale alpha / diagonal, which depends on
// nothing solved, is applied to the terms apart.

// alpha / the diagonal entry at val[k] (only alpha for a unit triangle, 1 with alpha 1).
template <bool kUnit, bool kAlphaOne>
inline double Scale(double alpha, const double* val, int k) {
  const double a = kAlphaOne ? 1.0 : alpha;
  return kUnit ? a : a * (1.0 / val[k]);
}

// Row triangle: x_j = alpha (b_j - sum of val_k x[indx_k] over the off-diagonal entries of row
// j) / diag_j; lower rows hold the diagonal last, upper rows first. The sum runs from the entry
// farthest from the diagonal to the nearest one, which in a sorted row is the row solved last:
// when the row's nearest column is `neighbour` (that row; -1 for the first row solved), its term
// is taken apart, with prev(), the neighbour's value. Row j's entries are lo .. hi-1, bj its
// right-hand side. Shared by the sequential and the forked solves, so that both give
// every row the same bits.
template <bool kLower, bool kUnit, bool kAlphaOne, class Prev>
inline double RowValue(int lo, int hi, double bj, int neighbour, double alpha, const double* val, const int* indx,
                       int base, const double* x, Prev prev) {
  const double f = Scale<kUnit, kAlphaOne>(alpha, val, kLower ? hi - 1 : lo);
  if (!kUnit) {
    if (kLower)
      --hi;
    else
      ++lo;
  }
  const int near = kLower ? hi - 1 : lo;
  const bool chained = lo < hi && indx[near] - base == neighbour;
  const int flo = kLower ? lo : lo + chained, fhi = kLower ? hi - chained : hi;
  double t = bj;
  if (kLower)
    for (int k = flo; k < fhi; ++k) t -= val[k] * x[indx[k] - base];
  else
    for (int k = fhi - 1; k >= flo; --k) t -= val[k] * x[indx[k] - base];
  return chained ? t * f - (val[near] * f) * prev() : t * f;
}

// count rows from row `from` on in solve order (down for an upper triangle) of the m-row
// triangle, the neighbour's value passed on in a register instead of through x; the first of
// them reads it from x, where it is final.
template <bool kLower, bool kUnit, bool kAlphaOne>
void RowRange(int from, int count, int m, double alpha, const double* val, const int* indx, const int* pntr,
              int base, const double* b, double* x) {
  double prev = 0.0;  // x of the row solved last
  for (int c = 0; c < count; ++c) {
    const int j = kLower ? from + c : from - c;
    const int neighbour = (kLower ? j == 0 : j == m - 1) ? -1 : kLower ? j - 1 : j + 1;
    const bool held = c > 0;
    const double xj = RowValue<kLower, kUnit, kAlphaOne>(pntr[j] - base, pntr[j + 1] - base, b[j], neighbour, alpha,
                                                         val, indx, base, x,
                                                         [&] { return held ? prev : x[neighbour]; });
    x[j] = xj;
    prev = xj;
  }
}

// The rows one after the other.
template <bool kLower, bool kUnit, bool kAlphaOne>
void RowSolve(int m, double alpha, const double* val, const int* indx, const int* pntr, int base,
              const double* b, double* x) {
  RowRange<kLower, kUnit, kAlphaOne>(kLower ? 0 : m - 1, m, m, alpha, val, indx, pntr, base, b, x);
}

// Column triangle: x_j = alpha x_j / diag_j (a unit column leaves x_j and ignores alpha), then
// x[indx_k] -= val_k x_j over the other entries of column j; lower columns hold the diagonal
// first, upper columns last. The entry of the column solved next (the nearest one in a sorted
// column) is updated last, in a register, after every other update of this column, and scaled
// there at once.
template <bool kLower, bool kUnit, bool kAlphaOne>
void ColSolve(int m, double alpha, const double* val, const int* indx, const int* pntr, int base,
              const double* b, double* x) {
  CopyIn(m, b, x);
  auto diag = [&](int j) { return kLower ? pntr[j] - base : pntr[j + 1] - base - 1; };
  constexpr bool kAlpha = kAlphaOne || kUnit;  // a unit column ignores alpha
  double next = 0.0;                           // x of the next column, already solved by this one
  bool chained = false;
  for (int s = 0; s < m; ++s) {
    const int j = kLower ? s : m - 1 - s;
    int lo = pntr[j] - base, hi = pntr[j + 1] - base;
    if (!kUnit) {
      if (kLower)
        ++lo;
      else
        --hi;
    }
    const double xj = chained ? next : x[j] * Scale<kUnit, kAlpha>(alpha, val, diag(j));
    x[j] = xj;
    const int near = kLower ? lo : hi - 1, nj = kLower ? j + 1 : j - 1;
    const bool chain_next = s + 1 < m && lo < hi && indx[near] - base == nj;
    const int flo = kLower ? lo + chain_next : lo, fhi = kLower ? hi : hi - chain_next;
    for (int k = flo; k < fhi; ++k) x[indx[k] - base] -= val[k] * xj;
    if (chain_next) {
      const double f = Scale<kUnit, kAlpha>(alpha, val, diag(nj));
      next = x[nj] * f - (val[near] * f) * xj;
    }
    chained = chain_next;
  }
}

// Calls one(b_k, x_k) for each of the n vectors, b_k = b + k ldb and x_k = x + k ldc; a single
// vector takes its own path without the leading-dimension arithmetic.
template <class One>
void EachVector(int n, const double* b, int ldb, double* x, int ldc, One one) {
  if (n == 1) {
    one(b, x);
    return;
  }
  for (int k = 0; k < n; ++k) one(b + static_cast<long>(k) * ldb, x + static_cast<long>(k) * ldc);
}

// Common frame of the eight kernels: checks, alpha 0, base, alpha 1 and the loop over vectors.
template <bool kColumns, bool kLower, bool kUnit>
int RunKernel(int m, int n, int unitd, double alpha, const double* val, const int* indx, const int* pntr,
              const double* b, int ldb, double* c, int ldc) {
  if (unitd != 1) KernelError("unitd != 1 not implemented");
  if (alpha == 0.0) return 0;
  const int base = pntr[0];
  auto one = [&](const double* bb, double* x) {
    if constexpr (kColumns) {
      if (alpha == 1.0)
        ColSolve<kLower, kUnit, true>(m, alpha, val, indx, pntr, base, bb, x);
      else
        ColSolve<kLower, kUnit, false>(m, alpha, val, indx, pntr, base, bb, x);
    } else {
      if (alpha == 1.0)
        RowSolve<kLower, kUnit, true>(m, alpha, val, indx, pntr, base, bb, x);
      else
        RowSolve<kLower, kUnit, false>(m, alpha, val, indx, pntr, base, bb, x);
    }
  };
  EachVector(n, b, ldb, c + base - 1, ldc, one);
  return 0;
}

// Selects the kernel of a triangle (1 lower, 2 upper) and diagonal kind (0 stored, 1 unit).
using Kernel = int (*)(int, int, int, const double*, double, const double*, const int*, const int*,
                       const double*, int, double*, int);

Kernel Pick(int triangle, int diagonal, Kernel lowerDiag, Kernel lowerUnit, Kernel upperDiag,
            Kernel upperUnit) {
  if (diagonal != 0 && diagonal != 1) KernelError("Bad descra[2]");
  if (triangle == 1) return diagonal == 0 ? lowerDiag : lowerUnit;
  if (triangle == 2) return diagonal == 0 ? upperDiag : upperUnit;
  KernelError("Bad descra[1]");
}

// Shared dispatch of both drivers; `stored` are the kernels of the storage form as given,
// `other` those of the other form, which solve with the transpose.
void Dispatch(int transa, int m, int n, int unitd, const double* dv, double alpha, const int* descra,
              const double* val, const int* indx, const int* pntr, const double* b, int ldb, double beta,
              double* c, int ldc, bool columns) {
  if (descra[0] != 0) KernelError("Must have general matrix");
  if (beta != 0.0) KernelError("beta != 0 not implemented");
  Kernel k = nullptr;
  if (transa == 0) {
    k = columns ? Pick(descra[1], descra[2], CompCol_LowerDiagSolve, CompCol_LowerUnitSolve,
                       CompCol_UpperDiagSolve, CompCol_UpperUnitSolve)
                : Pick(descra[1], descra[2], CompRow_LowerDiagSolve, CompRow_LowerUnitSolve,
                       CompRow_UpperDiagSolve, CompRow_UpperUnitSolve);
  } else if (transa == 1 || transa == 2) {
    // The transpose of a lower triangle read in the other storage is an upper one, and back.
    k = columns ? Pick(descra[1], descra[2], CompRow_UpperDiagSolve, CompRow_UpperUnitSolve,
                       CompRow_LowerDiagSolve, CompRow_LowerUnitSolve)
                : Pick(descra[1], descra[2], CompCol_UpperDiagSolve, CompCol_UpperUnitSolve,
                       CompCol_LowerDiagSolve, CompCol_LowerUnitSolve);
  } else {
    KernelError("Bad transa");
  }
  k(m, n, unitd, dv, alpha, val, indx, pntr, b, ldb, c, ldc);
}

}  // namespace

// The eight kernels: storage, triangle and diagonal kind of each.
#define OLVU_KERNEL(name, columns, lower, unit)                                                           \
  int name(int m, int n, int unitd, const double*, double alpha, const double* val, const int* indx,     \
           const int* pntr, const double* b, int ldb, double* c, int ldc) {                              \
    return RunKernel<columns, lower, unit>(m, n, unitd, alpha, val, indx, pntr, b, ldb, c, ldc);          \
  }
OLVU_KERNEL(CompCol_LowerDiagSolve, true, true, false)
OLVU_KERNEL(CompCol_LowerUnitSolve, true, true, true)
OLVU_KERNEL(CompCol_UpperDiagSolve, true, false, false)
OLVU_KERNEL(CompCol_UpperUnitSolve, true, false, true)
OLVU_KERNEL(CompRow_LowerDiagSolve, false, true, false)
OLVU_KERNEL(CompRow_LowerUnitSolve, false, true, true)
OLVU_KERNEL(CompRow_UpperDiagSolve, false, false, false)
OLVU_KERNEL(CompRow_UpperUnitSolve, false, false, true)
#undef OLVU_KERNEL

void dcscsm(const int& transa, const int& m, const int& n, const int& unitd, const double* dv,
            const double& alpha, const int* descra, const double* val, const int* indx, const int* pntr,
            const double* b, const int& ldb, const double& beta, double* c, const int& ldc, double*,
            const int&) {
  Dispatch(transa, m, n, unitd, dv, alpha, descra, val, indx, pntr, b, ldb, beta, c, ldc, true);
}

void dcsrsm(const int& transa, const int& m, const int& n, const int& unitd, const double* dv,
            const double& alpha, const int* descra, const double* val, const int* indx, const int* pntr,
            const double* b, const int& ldb, const double& beta, double* c, const int& ldc, double*,
            const int&) {
  Dispatch(transa, m, n, unitd, dv, alpha, descra, val, indx, pntr, b, ldb, beta, c, ldc, false);
}

void ScheduledRowSolve(bool lower, bool unit, const RowSchedule& s, const double* val, const int* indx,
                       const int* pntr, const double* b, double* x) {
  // A row reads the rows it depends on from x: they were solved before it, by its own thread or
  // by one it waited for. Its own entry of b is read before x, which may be b, takes the value.
  const int n = s.rows;
  auto run = [&](auto kernel) { RunScheduled(s, kernel); };
  if (lower && unit)
    run([=](int from, int count) { RowRange<true, true, true>(from, count, n, 1.0, val, indx, pntr, 0, b, x); });
  else if (lower)
    run([=](int from, int count) { RowRange<true, false, true>(from, count, n, 1.0, val, indx, pntr, 0, b, x); });
  else
    run([=](int from, int count) { RowRange<false, false, true>(from, count, n, 1.0, val, indx, pntr, 0, b, x); });
}

void CompColMatVec(int, int nvec, int ncols, const double& alpha, const double* val, const int* indx,
                   const int* pntr, const double* b, int ldb, double* c, int ldc) {
  if (alpha == 0.0) return;
  const int base = pntr[0];
  EachVector(nvec, b, ldb, c + base - 1, ldc, [&](const double* bb, double* x) {
    for (int j = 0; j < ncols; ++j) {
      const double bj = alpha == 1.0 ? bb[j] : alpha * bb[j];
      for (int k = pntr[j] - base, last = pntr[j + 1] - base; k < last; ++k) x[indx[k] - base] += val[k] * bj;
    }
  });
}

void CompRowMatVec(int, int nvec, int nrows, const double& alpha, const double* val, const int* indx,
                   const int* pntr, const double* b, int ldb, double* c, int ldc) {
  if (alpha == 0.0) return;
  const int base = pntr[0];
  EachVector(nvec, b, ldb, c + base - 1, ldc, [&](const double* bb, double* x) {
    for (int i = 0; i < nrows; ++i) {
      double s = 0.0;
      for (int k = pntr[i] - base, last = pntr[i + 1] - base; k < last; ++k) s += val[k] * bb[indx[k] - base];
      x[i] += alpha == 1.0 ? s : alpha * s;
    }
  });
}
