// Row helpers shared by the sparse-matrix classes: raw vector storage, slot claiming during
// assembly, the Gauss-Seidel row value. Private to the sparse-matrix sources.
#pragma once

#include "foundation/assert.h"
#include "foundation/error.h"
#include "foundation/reavec.h"
#include "foundation/threads.h"
#include "solvers/sparsestruct.h"

namespace olvu_sparse {

// Raw storage of a vector (entry k is row k) that must hold at least n entries.
inline double* raw(ReaVec& v, [[maybe_unused]] int n) {
  OLVU_ASSERT(v.length() >= static_cast<unsigned>(n), "vector of " << v.length() << " entries for " << n << " rows");
  return v.GivePointer();
}
inline const double* raw(const ReaVec& v, [[maybe_unused]] int n) {
  OLVU_ASSERT(v.length() >= static_cast<unsigned>(n), "vector of " << v.length() << " entries for " << n << " rows");
  return v.GivePointer();
}

// y[0 .. n-1] = 0.
inline void clear(double* y, int n) {
  ParallelFor(n, [y](std::size_t i) { y[i] = 0.0; });
}

// Slot of (i, j) for assembly: the position of column j, or the first spare slot before it,
// claimed for j (pattern s told, when given); a row without either is fatal.
inline int claim_slot(const int* rp, int* ci, int sorted, int diag_first, int i, int j, SparseMatrixStruct* s) {
  if (sorted) {
    const int k = FindInRow(rp, ci, diag_first, 1, i, j);
    if (k >= 0) return k;
  }
  int k = rp[i];
  while (k < rp[i + 1] && ci[k] >= 0 && ci[k] != j) ++k;
  if (k == rp[i + 1]) OLVU_FATAL("Wrong Row " << i << " definition: Row lenght " << rp[i + 1] - rp[i] << "\n");
  if (ci[k] != j) {
    ci[k] = j;
    if (s) s->columns_changed();
  }
  return k;
}

// New value of row i for A x = b from the current x: (b[i] - off-diagonal row sum) / a_ii, the value
// of full position k being a[pos[k]] (a[k] without a position map).
inline double gs_value(const int* rp, const int* ci, const int* pos, const double* a, const double* x,
                       double bi, int i) {
  double s = 0.0, d = 0.0;
  for (int k = rp[i]; k < rp[i + 1]; ++k) {
    const double v = pos ? a[pos[k]] : a[k];
    if (ci[k] == i)
      d = v;
    else
      s += v * x[ci[k]];
  }
  return (bi - s) / d;
}

}  // namespace olvu_sparse
