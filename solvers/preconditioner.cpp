// Preconditioners of the iterative methods.
#include "solvers/preconditioner.h"

#include <strings.h>

#include <cmath>
#include <new>

#include "foundation/error.h"
#include "solvers/solverlib.h"
#include "solvers/sparsematrix.h"

namespace {

template <class T>
std::unique_ptr<T[]> NewArray(long n) {
  T* p = new (std::nothrow) T[n > 0 ? n : 1];
  if (!p) OLVU_FATAL("Not space available on heap\n");
  return std::unique_ptr<T[]>(p);
}

// The full rows of a matrix as raw arrays; the symmetric matrix maps each full position to
// its upper value through pos (null for the general matrix).
struct Rows {
  int n;
  const int* rp;
  const int* ci;
  const double* v;
  const int* pos;
  double value(int k) const { return pos ? v[pos[k]] : v[k]; }
};

Rows RowsOf(const SparseMatrix& A) {
  return Rows{A.dim(0), A.full_row_ptr(), A.full_col_ind(), A.val_vec(0), A.full_pos()};
}

// Sorts a short row by column, values alongside; rows of the system's patterns arrive sorted,
// so the insertion sort costs one pass.
void SortRow(int* col, double* val, int len) {
  for (int i = 1; i < len; ++i) {
    const int c = col[i];
    if (col[i - 1] <= c) continue;
    const double v = val[i];
    int j = i;
    for (; j > 0 && col[j - 1] > c; --j) {
      col[j] = col[j - 1];
      val[j] = val[j - 1];
    }
    col[j] = c;
    val[j] = v;
  }
}

int SameWord(const char* word, const char* name) { return word && strcasecmp(word, name) == 0 ? 1 : 0; }

}  // namespace

int Preconditioner::AreYou(const char* word) const { return SameWord(word, "Preconditioner"); }

// ---------------------------------------------------------------------------------------------
// None

NonePreconditioner::NonePreconditioner(const SparseMatrix& A) : n(A.dim(0)) {}

void NonePreconditioner::solve(const double* b, double* x) const {
  if (b != x)
    for (int i = 0; i < n; ++i) x[i] = b[i];
}

void NonePreconditioner::trans_solve(const double* b, double* x) const { solve(b, x); }

void NonePreconditioner::New_Matrix(const SparseMatrix&) {}

int NonePreconditioner::AreYou(const char* word) const {
  return SameWord(word, "None") || SameWord(word, "Preconditioner");
}

// ---------------------------------------------------------------------------------------------
// Diagonal kinds

DiagPreconditioner::DiagPreconditioner(const SparseMatrix& A) : n(A.dim(0)) {
  d = NewArray<double>(n);
  Fill(A);
}

void DiagPreconditioner::Fill(const SparseMatrix& A) {
  for (int i = 0; i < n; ++i) {
    const double a = A.diag(i);
    if (a == 0.0) OLVU_FATAL("Diagonal preconditioner failure.\nZero detected in element " << i << "\n");
    d[i] = 1.0 / a;
  }
}

void DiagPreconditioner::solve(const double* b, double* x) const {
  const double* dd = d.get();
  for (int i = 0; i < n; ++i) x[i] = b[i] * dd[i];
}

void DiagPreconditioner::trans_solve(const double* b, double* x) const { solve(b, x); }

void DiagPreconditioner::New_Matrix(const SparseMatrix& A) {
  if (A.dim(0) != n) OLVU_FATAL("Wrong use of DiagPreconditioner::New_Matrix\n");
  Fill(A);
}

int DiagPreconditioner::AreYou(const char* word) const {
  return SameWord(word, "Diagonal") || SameWord(word, "Preconditioner");
}

TDiagPreconditioner::TDiagPreconditioner(const SparseMatrix& A) : n(A.dim(0)) {
  d = NewArray<double>(n);
  Fill(A);
}

void TDiagPreconditioner::Fill(const SparseMatrix& A) {
  for (int i = 0; i < n; ++i) {
    const double a = A.diag(i);
    if (a == 0.0) OLVU_FATAL("TDiagonal preconditioner failure.\nZero detected in element " << i << "\n");
    d[i] = 1.0 / std::sqrt(std::fabs(a));
  }
}

void TDiagPreconditioner::solve(const double* b, double* x) const {
  const double* dd = d.get();
  for (int i = 0; i < n; ++i) x[i] = b[i] * dd[i];
}

void TDiagPreconditioner::trans_solve(const double* b, double* x) const { solve(b, x); }

void TDiagPreconditioner::New_Matrix(const SparseMatrix& A) {
  if (A.dim(0) != n) OLVU_FATAL("Wrong use of TDiagPreconditioner::New_Matrix\n");
  Fill(A);
}

int TDiagPreconditioner::AreYou(const char* word) const {
  return SameWord(word, "TDiagonal") || SameWord(word, "Preconditioner");
}

// ---------------------------------------------------------------------------------------------
// Incomplete Cholesky

namespace {

// Number of upper-triangle entries of A (spare slots, column -1, hold no entry).
int UpperCount(const Rows& r) {
  int nz = 0;
  for (int i = 0; i < r.n; ++i)
    for (int k = r.rp[i]; k < r.rp[i + 1]; ++k) nz += r.ci[k] >= i;
  return nz;
}

}  // namespace

ICPreconditioner::ICPreconditioner(const SparseMatrix& A) {
  const Rows r = RowsOf(A);
  dim_[0] = A.dim(0);
  dim_[1] = A.dim(1);
  pntr_ = NewArray<int>(dim_[0] + 1);
  nz_ = UpperCount(r);
  val_ = NewArray<double>(nz_);
  col_ = NewArray<int>(nz_);
  work_ = NewArray<double>(dim_[0]);
  CopyAndFactor(A);
}

void ICPreconditioner::New_Matrix(const SparseMatrix& A) {
  if (A.dim(0) != dim_[0] || UpperCount(RowsOf(A)) != nz_) OLVU_FATAL("Wrong use of ICPreconditioner::New_Matrix\n");
  CopyAndFactor(A);
}

void ICPreconditioner::CopyAndFactor(const SparseMatrix& A) {
  const Rows r = RowsOf(A);
  int* p = pntr_.get();
  int* c = col_.get();
  double* v = val_.get();
  int nz = 0;
  for (int i = 0; i < r.n; ++i) {
    p[i] = nz;
    for (int k = r.rp[i]; k < r.rp[i + 1]; ++k) {
      if (r.ci[k] < i) continue;
      c[nz] = r.ci[k];
      v[nz] = r.value(k);
      ++nz;
    }
  }
  p[r.n] = nz;
  for (int i = 0; i < r.n; ++i) {
    SortRow(c + p[i], v + p[i], p[i + 1] - p[i]);
    if (p[i] == p[i + 1] || c[p[i]] != i) OLVU_FATAL("IC Preconditioner: diagonal not found! " << i << "\n");
  }
  ICFactor();
}

// Right-looking IC(0): row k of the stored upper triangle becomes row k of L^T, and each of its
// off-diagonal entries (k, h) updates row h only where row k has a matching column.
void ICPreconditioner::ICFactor() {
  const int n = dim_[0];
  const int* p = pntr_.get();
  const int* c = col_.get();
  double* v = val_.get();
  for (int k = 0; k < n - 1; ++k) {
    const int d = p[k], end = p[k + 1];
    const double z = std::sqrt(v[d]);
    v[d] = z;
    const double inv = 1.0 / z;
    for (int i = d + 1; i < end; ++i) v[i] *= inv;
    for (int i = d + 1; i < end; ++i) {
      const double zi = v[i];
      const int h = c[i];
      int g = i;
      for (int j = p[h]; j < p[h + 1]; ++j) {
        const int cj = c[j];
        while (g + 1 < end && c[g + 1] <= cj) ++g;
        if (c[g] == cj) v[j] -= zi * v[g];
      }
    }
  }
  if (n > 0) v[p[n - 1]] = std::sqrt(v[p[n - 1]]);
}

void ICPreconditioner::ICSolve(const double* b, double* x) const {
  const int n = dim_[0];
  if (b != x)
    for (int i = 0; i < n; ++i) x[i] = b[i];
  static const int lower_stored[3] = {0, 1, 0};
  const int one = 1, lwork = n, ldb = n, ldc = n;
  const double alpha = 1.0, beta = 0.0;
  dcscsm(0, n, one, one, nullptr, alpha, lower_stored, val_.get(), col_.get(), pntr_.get(), x, ldb, beta, x + 1,
         ldc, work_.get(), lwork);
  dcscsm(1, n, one, one, nullptr, alpha, lower_stored, val_.get(), col_.get(), pntr_.get(), x, ldb, beta, x + 1,
         ldc, work_.get(), lwork);
}

void ICPreconditioner::solve(const double* b, double* x) const { ICSolve(b, x); }

void ICPreconditioner::trans_solve(const double* b, double* x) const { ICSolve(b, x); }

int ICPreconditioner::AreYou(const char* word) const {
  return SameWord(word, "Cholesky") || SameWord(word, "Preconditioner");
}

// ---------------------------------------------------------------------------------------------
// Incomplete LU

// A row without entries on or right of the diagonal gets an explicit zero pivot in U, so the
// factorisation and the solves never read another row's entries; the zero pivot then shows as
// a non-finite residual, as any zero pivot does.
void ILUPreconditioner::Count(const SparseMatrix& A, int& lnz, int& unz) const {
  const Rows r = RowsOf(A);
  lnz = unz = 0;
  for (int i = 0; i < r.n; ++i) {
    int u = 0;
    for (int k = r.rp[i]; k < r.rp[i + 1]; ++k) {
      const int c = r.ci[k];
      if (c < 0) continue;
      if (c < i)
        ++lnz;
      else
        ++u;
    }
    unz += u > 0 ? u : 1;
  }
}

ILUPreconditioner::ILUPreconditioner(const SparseMatrix& A) {
  dim_[0] = A.dim(0);
  dim_[1] = A.dim(1);
  l_pntr_ = NewArray<int>(dim_[0] + 1);
  u_pntr_ = NewArray<int>(dim_[0] + 1);
  Count(A, l_nz_, u_nz_);
  l_val_ = NewArray<double>(l_nz_);
  l_col_ = NewArray<int>(l_nz_);
  u_val_ = NewArray<double>(u_nz_);
  u_col_ = NewArray<int>(u_nz_);
  SplitAndFactor(A);
}

void ILUPreconditioner::New_Matrix(const SparseMatrix& A) {
  int lnz = 0, unz = 0;
  if (A.dim(0) == dim_[0]) Count(A, lnz, unz);
  if (A.dim(0) != dim_[0] || lnz != l_nz_ || unz != u_nz_) OLVU_FATAL("Wrong use of ILUPreconditioner::New_Matrix\n");
  SplitAndFactor(A);
}

void ILUPreconditioner::SplitAndFactor(const SparseMatrix& A) {
  const Rows r = RowsOf(A);
  int *lp = l_pntr_.get(), *lc = l_col_.get(), *up = u_pntr_.get(), *uc = u_col_.get();
  double *lv = l_val_.get(), *uv = u_val_.get();
  int ln = 0, un = 0;
  for (int i = 0; i < r.n; ++i) {
    lp[i] = ln;
    up[i] = un;
    for (int k = r.rp[i]; k < r.rp[i + 1]; ++k) {
      const int c = r.ci[k];
      if (c < 0) continue;
      if (c < i) {
        lc[ln] = c;
        lv[ln++] = r.value(k);
      } else {
        uc[un] = c;
        uv[un++] = r.value(k);
      }
    }
    if (un == up[i]) {
      uc[un] = i;
      uv[un++] = 0.0;
    }
  }
  lp[r.n] = ln;
  up[r.n] = un;
  for (int i = 0; i < r.n; ++i) {
    SortRow(lc + lp[i], lv + lp[i], lp[i + 1] - lp[i]);
    SortRow(uc + up[i], uv + up[i], up[i + 1] - up[i]);
  }
  ILUFactor();
}

// IKJ ILU(0): row i is eliminated by the rows c of its L entries in column order; updates that
// fall outside the pattern of row i are dropped. Both cursors only move forward, since the
// columns of U row c ascend.
void ILUPreconditioner::ILUFactor() {
  const int n = dim_[0];
  const int *lp = l_pntr_.get(), *lc = l_col_.get(), *up = u_pntr_.get(), *uc = u_col_.get();
  double *lv = l_val_.get(), *uv = u_val_.get();
  for (int i = 1; i < n; ++i) {
    const int lend = lp[i + 1], uend = up[i + 1];
    for (int j = lp[i]; j < lend; ++j) {
      const int c = lc[j];
      const double z = lv[j] / uv[up[c]];
      lv[j] = z;
      int ucur = up[i], lcur = j + 1;
      for (int g = up[c] + 1; g < up[c + 1]; ++g) {
        const int q = uc[g];
        if (q >= i) {
          while (ucur < uend && uc[ucur] < q) ++ucur;
          if (ucur < uend && uc[ucur] == q) uv[ucur] -= z * uv[g];
        } else {
          while (lcur < lend && lc[lcur] < q) ++lcur;
          if (lcur < lend && lc[lcur] == q) lv[lcur] -= z * uv[g];
        }
      }
    }
  }
}

void ILUPreconditioner::solve(const double* b, double* x) const {
  const int n = dim_[0];
  if (b != x)
    for (int i = 0; i < n; ++i) x[i] = b[i];
  static const int lower_unit[3] = {0, 1, 1};
  static const int upper_stored[3] = {0, 2, 0};
  const int one = 1, ld = n, lwork = 0;
  const double alpha = 1.0, beta = 0.0;
  dcsrsm(0, n, one, one, nullptr, alpha, lower_unit, l_val_.get(), l_col_.get(), l_pntr_.get(), x, ld, beta,
         x + 1, ld, nullptr, lwork);
  dcsrsm(0, n, one, one, nullptr, alpha, upper_stored, u_val_.get(), u_col_.get(), u_pntr_.get(), x, ld, beta,
         x + 1, ld, nullptr, lwork);
}

void ILUPreconditioner::trans_solve(const double* b, double* x) const {
  const int n = dim_[0];
  if (b != x)
    for (int i = 0; i < n; ++i) x[i] = b[i];
  static const int lower_unit[3] = {0, 1, 1};
  static const int upper_stored[3] = {0, 2, 0};
  const int one = 1, ld = n, lwork = 0;
  const double alpha = 1.0, beta = 0.0;
  dcsrsm(1, n, one, one, nullptr, alpha, upper_stored, u_val_.get(), u_col_.get(), u_pntr_.get(), x, ld, beta,
         x + 1, ld, nullptr, lwork);
  dcsrsm(1, n, one, one, nullptr, alpha, lower_unit, l_val_.get(), l_col_.get(), l_pntr_.get(), x, ld, beta,
         x + 1, ld, nullptr, lwork);
}

int ILUPreconditioner::AreYou(const char* word) const {
  return SameWord(word, "ILU") || SameWord(word, "Preconditioner");
}
