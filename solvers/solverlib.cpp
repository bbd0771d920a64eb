// Triangular solves and products on raw compressed sparse arrays.
#include "solvers/solverlib.h"

#include <cstdlib>
#include <iostream>

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

// One right-hand side of each kernel; x is the solution addressed from 0, indices already
// relative to base. b is read, x written (the same array when in place). Each row depends on
// the rows solved before it, so the reciprocal of the diagonal, which depends on nothing
// solved, is taken apart from that chain and only a multiplication stays on it.

void ColLowerDiag(int m, double alpha, const double* val, const int* indx, const int* pntr, int base,
                  const double* b, double* x) {
  CopyIn(m, b, x);
  for (int j = 0; j < m; ++j) {
    const int first = pntr[j] - base, last = pntr[j + 1] - base;
    const double xj = alpha * x[j] * (1.0 / val[first]);
    x[j] = xj;
    for (int k = first + 1; k < last; ++k) x[indx[k] - base] -= val[k] * xj;
  }
}

void ColLowerUnit(int m, const double* val, const int* indx, const int* pntr, int base, const double* b,
                  double* x) {
  CopyIn(m, b, x);
  for (int j = 0; j < m; ++j) {
    const double xj = x[j];
    for (int k = pntr[j] - base, last = pntr[j + 1] - base; k < last; ++k) x[indx[k] - base] -= val[k] * xj;
  }
}

void ColUpperDiag(int m, double alpha, const double* val, const int* indx, const int* pntr, int base,
                  const double* b, double* x) {
  CopyIn(m, b, x);
  for (int j = m - 1; j >= 0; --j) {
    const int first = pntr[j] - base, last = pntr[j + 1] - base;
    const double xj = alpha * x[j] * (1.0 / val[last - 1]);
    x[j] = xj;
    for (int k = first; k < last - 1; ++k) x[indx[k] - base] -= val[k] * xj;
  }
}

void ColUpperUnit(int m, const double* val, const int* indx, const int* pntr, int base, const double* b,
                  double* x) {
  CopyIn(m, b, x);
  for (int j = m - 1; j >= 0; --j) {
    const double xj = x[j];
    for (int k = pntr[j] - base, last = pntr[j + 1] - base; k < last; ++k) x[indx[k] - base] -= val[k] * xj;
  }
}

void RowLowerDiag(int m, double alpha, const double* val, const int* indx, const int* pntr, int base,
                  const double* b, double* x) {
  for (int j = 0; j < m; ++j) {
    const int first = pntr[j] - base, last = pntr[j + 1] - base;
    double s = 0.0;
    for (int k = first; k < last - 1; ++k) s += val[k] * x[indx[k] - base];
    x[j] = alpha * (b[j] - s) * (1.0 / val[last - 1]);
  }
}

void RowLowerUnit(int m, double alpha, const double* val, const int* indx, const int* pntr, int base,
                  const double* b, double* x) {
  for (int j = 0; j < m; ++j) {
    double s = 0.0;
    for (int k = pntr[j] - base, last = pntr[j + 1] - base; k < last; ++k) s += val[k] * x[indx[k] - base];
    x[j] = alpha * (b[j] - s);
  }
}

void RowUpperDiag(int m, double alpha, const double* val, const int* indx, const int* pntr, int base,
                  const double* b, double* x) {
  for (int j = m - 1; j >= 0; --j) {
    const int first = pntr[j] - base, last = pntr[j + 1] - base;
    double s = 0.0;
    for (int k = first + 1; k < last; ++k) s += val[k] * x[indx[k] - base];
    x[j] = alpha * (b[j] - s) * (1.0 / val[first]);
  }
}

void RowUpperUnit(int m, double alpha, const double* val, const int* indx, const int* pntr, int base,
                  const double* b, double* x) {
  for (int j = m - 1; j >= 0; --j) {
    double s = 0.0;
    for (int k = pntr[j] - base, last = pntr[j + 1] - base; k < last; ++k) s += val[k] * x[indx[k] - base];
    x[j] = alpha * (b[j] - s);
  }
}

// Common frame of the eight kernels: checks, alpha 0, base and the loop over vectors.
template <class One>
int RunKernel(int n, int unitd, double alpha, const int* pntr, const double* b, int ldb, double* c,
              int ldc, One one) {
  if (unitd != 1) KernelError("unitd != 1 not implemented");
  if (alpha == 0.0) return 0;
  const int base = pntr[0];
  double* x = c + base - 1;
  if (n == 1) {
    one(b, x);
    return 0;
  }
  for (int k = 0; k < n; ++k) one(b + static_cast<long>(k) * ldb, x + static_cast<long>(k) * ldc);
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

int CompCol_LowerDiagSolve(int m, int n, int unitd, const double*, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc) {
  const int base = pntr[0];
  return RunKernel(n, unitd, alpha, pntr, b, ldb, c, ldc, [&](const double* bb, double* x) {
    ColLowerDiag(m, alpha, val, indx, pntr, base, bb, x);
  });
}

int CompCol_LowerUnitSolve(int m, int n, int unitd, const double*, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc) {
  const int base = pntr[0];
  return RunKernel(n, unitd, alpha, pntr, b, ldb, c, ldc,
                   [&](const double* bb, double* x) { ColLowerUnit(m, val, indx, pntr, base, bb, x); });
}

int CompCol_UpperDiagSolve(int m, int n, int unitd, const double*, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc) {
  const int base = pntr[0];
  return RunKernel(n, unitd, alpha, pntr, b, ldb, c, ldc, [&](const double* bb, double* x) {
    ColUpperDiag(m, alpha, val, indx, pntr, base, bb, x);
  });
}

int CompCol_UpperUnitSolve(int m, int n, int unitd, const double*, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc) {
  const int base = pntr[0];
  return RunKernel(n, unitd, alpha, pntr, b, ldb, c, ldc,
                   [&](const double* bb, double* x) { ColUpperUnit(m, val, indx, pntr, base, bb, x); });
}

int CompRow_LowerDiagSolve(int m, int n, int unitd, const double*, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc) {
  const int base = pntr[0];
  return RunKernel(n, unitd, alpha, pntr, b, ldb, c, ldc, [&](const double* bb, double* x) {
    RowLowerDiag(m, alpha, val, indx, pntr, base, bb, x);
  });
}

int CompRow_LowerUnitSolve(int m, int n, int unitd, const double*, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc) {
  const int base = pntr[0];
  return RunKernel(n, unitd, alpha, pntr, b, ldb, c, ldc, [&](const double* bb, double* x) {
    RowLowerUnit(m, alpha, val, indx, pntr, base, bb, x);
  });
}

int CompRow_UpperDiagSolve(int m, int n, int unitd, const double*, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc) {
  const int base = pntr[0];
  return RunKernel(n, unitd, alpha, pntr, b, ldb, c, ldc, [&](const double* bb, double* x) {
    RowUpperDiag(m, alpha, val, indx, pntr, base, bb, x);
  });
}

int CompRow_UpperUnitSolve(int m, int n, int unitd, const double*, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc) {
  const int base = pntr[0];
  return RunKernel(n, unitd, alpha, pntr, b, ldb, c, ldc, [&](const double* bb, double* x) {
    RowUpperUnit(m, alpha, val, indx, pntr, base, bb, x);
  });
}

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

void CompColMatVec(int, int nvec, int ncols, const double& alpha, const double* val, const int* indx,
                   const int* pntr, const double* b, int ldb, double* c, int ldc) {
  if (alpha == 0.0) return;
  const int base = pntr[0];
  for (int v = 0; v < nvec; ++v) {
    const double* bb = b + static_cast<long>(v) * ldb;
    double* x = c + base - 1 + static_cast<long>(v) * ldc;
    for (int j = 0; j < ncols; ++j) {
      const double bj = alpha == 1.0 ? bb[j] : alpha * bb[j];
      for (int k = pntr[j] - base, last = pntr[j + 1] - base; k < last; ++k) x[indx[k] - base] += val[k] * bj;
    }
  }
}

void CompRowMatVec(int, int nvec, int nrows, const double& alpha, const double* val, const int* indx,
                   const int* pntr, const double* b, int ldb, double* c, int ldc) {
  if (alpha == 0.0) return;
  const int base = pntr[0];
  for (int v = 0; v < nvec; ++v) {
    const double* bb = b + static_cast<long>(v) * ldb;
    double* x = c + base - 1 + static_cast<long>(v) * ldc;
    for (int i = 0; i < nrows; ++i) {
      double s = 0.0;
      for (int k = pntr[i] - base, last = pntr[i + 1] - base; k < last; ++k) s += val[k] * bb[indx[k] - base];
      x[i] += alpha == 1.0 ? s : alpha * s;
    }
  }
}
