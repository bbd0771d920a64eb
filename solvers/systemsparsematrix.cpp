// The general sparse matrix of a linear system: assembly, fixed unknowns, combinations,
// products and sweeps over the raw compressed-row arrays.
#include "solvers/sparsematrix.h"

#include <cmath>

#include "foundation/assert.h"
#include "foundation/bitvec.h"
#include "foundation/error.h"
#include "foundation/intvec.h"
#include "foundation/matrix.h"
#include "foundation/reavec.h"
#include "foundation/threads.h"
#include "solvers/sparserows.h"

using namespace olvu_sparse;

namespace {

// True when row r (0-based) is marked: bit r+1 of the 1-based bit vector.
inline bool marked(const BitVec& b, int r) { return b(static_cast<unsigned>(r) + 1); }

// Row-by-row product: st(y[i], (A x)[i], i) for every row, the rows shared among the threads.
template <class Store>
inline void csr_rows(int n, const int* rp, const int* ci, const double* a, const double* x, double* y,
                     Store st) {
  ParallelFor(n, [=](std::size_t r) {
    const int i = static_cast<int>(r);
    double s = 0.0;
    for (int k = rp[i]; k < rp[i + 1]; ++k) s += a[k] * x[ci[k]];
    st(y[i], s, i);
  });
}

// Row-by-row off-diagonal product: st(y[i], sum over j != i of a_ij x[j], i).
template <class Store>
inline void csr_rows_off(int n, const int* rp, const int* ci, const double* a, const double* x, double* y,
                         Store st) {
  ParallelFor(n, [=](std::size_t r) {
    const int i = static_cast<int>(r);
    double s = 0.0;
    for (int k = rp[i]; k < rp[i + 1]; ++k)
      if (ci[k] != i) s += a[k] * x[ci[k]];
    st(y[i], s, i);
  });
}

// Transposed product: y[j] += a_ij w(i) for every row i. One thread scatters row by row; several
// gather each y[j] through the pattern's column-wise index, adding the same terms in the same
// order, so the bits do not depend on the thread count.
template <class Weight>
inline void csr_scatter(const SparseMatrixStruct* s, int n, int ncols, const int* rp, const int* ci,
                        const double* a, double* y, Weight w) {
  if (s && Threaded(ncols) && rp == s->row_ptr(0) && ci == s->col_ind(0)) {
    const TransposedIndex& t = s->transposed(false);
    const int *tp = t.ptr.data(), *tr = t.row.data(), *tk = t.pos.data();
    ParallelFor(ncols, [=](std::size_t j) {
      double yj = y[j];
      for (int e = tp[j]; e < tp[j + 1]; ++e) yj += a[tk[e]] * w(tr[e]);
      y[j] = yj;
    });
    return;
  }
  for (int i = 0; i < n; ++i) {
    const double xi = w(i);
    for (int k = rp[i]; k < rp[i + 1]; ++k) y[ci[k]] += a[k] * xi;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// SystemSparseMatrix: construction and assembly

SystemSparseMatrix::SystemSparseMatrix(SparseMatrixStruct* s) : SparseMatrix(s) {}
SystemSparseMatrix::SystemSparseMatrix(const SystemSparseMatrix* o) : SparseMatrix(*o) {}
SystemSparseMatrix::SystemSparseMatrix(const SystemSparseMatrix& o) : SparseMatrix(o) {}

SystemSparseMatrix& SystemSparseMatrix::operator=(const SystemSparseMatrix& o) {
  SparseMatrix::operator=(o);
  return *this;
}
SystemSparseMatrix& SystemSparseMatrix::operator=(double x) {
  SparseMatrix::operator=(x);
  return *this;
}
SystemSparseMatrix& SystemSparseMatrix::operator+=(double x) {
  SparseMatrix::operator+=(x);
  return *this;
}
SystemSparseMatrix& SystemSparseMatrix::operator-=(double x) {
  SparseMatrix::operator-=(x);
  return *this;
}
SystemSparseMatrix& SystemSparseMatrix::operator*=(double x) {
  SparseMatrix::operator*=(x);
  return *this;
}
SystemSparseMatrix& SystemSparseMatrix::operator/=(double x) {
  SparseMatrix::operator/=(x);
  return *this;
}

int SystemSparseMatrix::addToLhs(int i, int j, double v) {
  const int k = claim_slot(row_ptr_, col_ind_, sorted_, diag_first_, i, j, structure_);
  val_[k] += v;
  return k;
}

int SystemSparseMatrix::setToLhs(int i, int j, double v) {
  const int k = claim_slot(row_ptr_, col_ind_, sorted_, diag_first_, i, j, structure_);
  val_[k] = v;
  return k;
}

void SystemSparseMatrix::addToLhs(const IntVec& nodes, const Matrix& m) { add_element(nodes, m, false); }

int SystemSparseMatrix::position(int i, int j) const {
  const int k = find(i, j);
  if (k < 0) OLVU_FATAL("SystemSparseMatrix position(" << i << "," << j << ") error. Element not found.\n");
  return k;
}

double* SystemSparseMatrix::at(int i, int j) const {
  const int k = find(i, j);
  if (k < 0) OLVU_FATAL("SystemSparseMatrix operator(" << i << "," << j << ") error. Element not found.\n");
  return &val_[k];
}

int SystemSparseMatrix::addValue(int i, int j, double v) {
  const int k = find(i, j);
  if (k < 0) OLVU_FATAL("SystemSparseMatrix addValue(" << i << "," << j << ") error. Element not found.\n");
  val_[k] += v;
  return k;
}

void SystemSparseMatrix::addValue(double v) {
  const int k = structure_->current_position();
  if (k < 0) OLVU_FATAL("SystemSparseMatrix addValue() error. No current position set.\n");
  val_[k] += v;
}

// ---------------------------------------------------------------------------------------------
// SystemSparseMatrix: fixed unknowns, lumping, combinations

void SystemSparseMatrix::Fix_Row(int i) {
  const int p = row_ptr_[i];
  if (p == row_ptr_[i + 1]) return;  // an empty row has no position to fix
  if (col_ind_[p] != i && structure_) structure_->columns_changed();
  col_ind_[p] = i;
  val_[p] = 1.0;
}

void SystemSparseMatrix::Fix_AllRow(int i) {
  const int first = row_ptr_[i], end = row_ptr_[i + 1];
  if (diag_first_) {
    for (int k = first; k < end; ++k) val_[k] = 0.0;
    if (first < end) val_[first] = 1.0;
  } else {
    for (int k = first; k < end; ++k) val_[k] = (col_ind_[k] == i) ? 1.0 : 0.0;
  }
}

void SystemSparseMatrix::Fix_AllRow(int i, double v, ReaVec& rhs) {
  Fix_AllRow(i);
  rhs[i] = v;
}

void SystemSparseMatrix::Fix_AllRowCol(int i, double v, ReaVec& rhs) {
  rhs[i] = v;
  Fix_AllRow(i);
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) {
    const int j = col_ind_[k];
    if (j != i) rhs[j] -= v * (*this)(j, i);
  }
}

void SystemSparseMatrix::Fix_Eliminate(const BitVec& fixed, const ReaVec& x, ReaVec& rhs) {
  const int n = dims_[0];
  const int nfixed = fixed.length() < unsigned(n) ? int(fixed.length()) : n;
  if (nfixed == 0) return;
  const unsigned char* bits = fixed.data;
  const double* xv = raw(x, n);
  double* b = raw(rhs, n);
  // A spare position (column -1) is no fixed column.
  auto is_fixed = [bits, nfixed](int j) {
    return unsigned(j) < unsigned(nfixed) && ((bits[unsigned(j) / BITS_SZ] >> (unsigned(j) % BITS_SZ)) & 1);
  };
  const int *rp = row_ptr_, *ci = col_ind_;
  double* val = val_;
  // Each row writes only its own entries and right-hand side: the rows fork.
  ParallelFor(std::size_t(n), [=](std::size_t r) {
    const int i = int(r), first = rp[i], end = rp[i + 1];
    if (is_fixed(i)) {
      for (int k = first; k < end; ++k) val[k] = ci[k] == i ? 1.0 : 0.0;
      b[i] = xv[i];
      return;
    }
    double moved = 0.0;
    for (int k = first; k < end; ++k) {
      const int j = ci[k];
      if (j == i || !is_fixed(j)) continue;
      moved += val[k] * xv[j];
      val[k] = 0.0;
    }
    b[i] -= moved;
  });
}

void SystemSparseMatrix::Disconect(const BitVec& a, const BitVec& b) {
  for (int i = 0; i < dims_[0]; ++i) {
    const bool ai = marked(a, i);
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) {
      const int j = col_ind_[k];
      if (j != i && ai != marked(b, j)) val_[k] = 0.0;
    }
  }
}

void SystemSparseMatrix::lump(double* d) const {
  for (int i = 0; i < dims_[0]; ++i) {
    double s = 0.0;
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) s += val_[k];
    d[i] = s;
  }
}

void SystemSparseMatrix::lump(ReaVec& d) const { lump(raw(d, dims_[0])); }

void SystemSparseMatrix::quot_lump(double* d) const {
  const int n = dims_[0] < dims_[1] ? dims_[0] : dims_[1];
  for (int i = 0; i < n; ++i) {
    double s = 0.0;
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) s += val_[k];
    if (s != 0.0) d[i] /= s;
  }
}

void SystemSparseMatrix::quot_lump(ReaVec& d) const { quot_lump(raw(d, dims_[0])); }

void SystemSparseMatrix::add_lump(const SystemSparseMatrix* b) {
  for (int i = 0; i < dims_[0]; ++i) {
    double s = 0.0;
    for (int k = b->row_ptr_[i]; k < b->row_ptr_[i + 1]; ++k) s += b->val_[k];
    diag(i) += s;
  }
}

void SystemSparseMatrix::add_lump(const SystemSparseMatrix& b) { add_lump(&b); }

double SystemSparseMatrix::sum() const {
  double s = 0.0;
  for (int k = 0; k < nnz_; ++k) s += val_[k];
  return s;
}

double SystemSparseMatrix::sum_abs() const {
  double s = 0.0;
  for (int k = 0; k < nnz_; ++k) s += std::fabs(val_[k]);
  return s;
}

// Value of full position k of a symmetric matrix on the same pattern.
#define SYMVAL(s, k) ((s)->val_[(s)->fpos_[k]])

// Whole-matrix combinations walk two value arrays position by position: the operand must lie on
// the same pattern (a symmetric one through its full-position map).
#define SAME_PATTERN(b)                                                                               \
  OLVU_ASSERT((b)->nnz_ == nnz_ && (b)->dims_[0] == dims_[0],                                         \
              "sparse operand of " << (b)->dims_[0] << " rows and " << (b)->nnz_ << " positions for " \
                                   << dims_[0] << " rows and " << nnz_ << " positions")
#define SAME_SYM_PATTERN(s)                                                                           \
  OLVU_ASSERT((s)->fnnz_ == nnz_ && (s)->dims_[0] == dims_[0],                                        \
              "symmetric operand of " << (s)->dims_[0] << " rows and " << (s)->fnnz_                  \
                                      << " full positions for " << dims_[0] << " rows and " << nnz_ << " positions")

void SystemSparseMatrix::add(const SystemSparseMatrix* b) {
  SAME_PATTERN(b);
  for (int k = 0; k < nnz_; ++k) val_[k] += b->val_[k];
}
void SystemSparseMatrix::add(const SystemSparseMatrix& b) { add(&b); }
void SystemSparseMatrix::add(const SymmetricSparseMatrix* s) {
  SAME_SYM_PATTERN(s);
  for (int k = 0; k < nnz_; ++k) val_[k] += SYMVAL(s, k);
}

void SystemSparseMatrix::copy_val(const SystemSparseMatrix* b) {
  SAME_PATTERN(b);
  for (int k = 0; k < nnz_; ++k) val_[k] = b->val_[k];
}
void SystemSparseMatrix::copy_val(const SystemSparseMatrix& b) { copy_val(&b); }
void SystemSparseMatrix::copy_val(const SymmetricSparseMatrix* s) {
  SAME_SYM_PATTERN(s);
  for (int k = 0; k < nnz_; ++k) val_[k] = SYMVAL(s, k);
}

void SystemSparseMatrix::copy(const SystemSparseMatrix* b) {
  copy_val(b);
  copy_col(b);
}
void SystemSparseMatrix::copy(const SystemSparseMatrix& b) { copy(&b); }

void SystemSparseMatrix::copy_col(const SystemSparseMatrix* b) {
  SAME_PATTERN(b);
  if (col_ind_ == b->col_ind_) return;
  for (int k = 0; k < nnz_; ++k) col_ind_[k] = b->col_ind_[k];
  if (structure_) structure_->columns_changed();
}
void SystemSparseMatrix::copy_col(const SystemSparseMatrix& b) { copy_col(&b); }

void SystemSparseMatrix::product(const SymmetricSparseMatrix* s, double x) {
  SAME_SYM_PATTERN(s);
  for (int k = 0; k < nnz_; ++k) val_[k] = x * SYMVAL(s, k);
}
void SystemSparseMatrix::product(const SystemSparseMatrix* b, double x) {
  SAME_PATTERN(b);
  for (int k = 0; k < nnz_; ++k) val_[k] = x * b->val_[k];
}
void SystemSparseMatrix::product(const SystemSparseMatrix& b, double x) { product(&b, x); }
// No caller (nor of its reference form): an assembly adding a scaled matrix would.
void SystemSparseMatrix::product_add(const SystemSparseMatrix* b, double x) {
  SAME_PATTERN(b);
  for (int k = 0; k < nnz_; ++k) val_[k] += x * b->val_[k];
}
void SystemSparseMatrix::product_add(const SystemSparseMatrix& b, double x) { product_add(&b, x); }
void SystemSparseMatrix::product_sub(const SystemSparseMatrix* b, double x) {
  SAME_PATTERN(b);
  for (int k = 0; k < nnz_; ++k) val_[k] -= x * b->val_[k];
}
void SystemSparseMatrix::product_sub(const SystemSparseMatrix& b, double x) { product_sub(&b, x); }

void SystemSparseMatrix::quotient(const SystemSparseMatrix* b, double x) {
  SAME_PATTERN(b);
  for (int k = 0; k < nnz_; ++k) val_[k] = b->val_[k] / x;
}
void SystemSparseMatrix::quotient(const SystemSparseMatrix& b, double x) { quotient(&b, x); }
void SystemSparseMatrix::quotient_add(const SystemSparseMatrix* b, double x) {
  SAME_PATTERN(b);
  for (int k = 0; k < nnz_; ++k) val_[k] += b->val_[k] / x;
}
void SystemSparseMatrix::quotient_add(const SystemSparseMatrix& b, double x) { quotient_add(&b, x); }
// No caller (nor of its reference form): an assembly subtracting a matrix over a factor would.
void SystemSparseMatrix::quotient_sub(const SystemSparseMatrix* b, double x) {
  SAME_PATTERN(b);
  for (int k = 0; k < nnz_; ++k) val_[k] -= b->val_[k] / x;
}
void SystemSparseMatrix::quotient_sub(const SystemSparseMatrix& b, double x) { quotient_sub(&b, x); }

void SystemSparseMatrix::product(double x) { SparseMatrix::operator*=(x); }
void SystemSparseMatrix::quotient(double x) { SparseMatrix::operator/=(x); }

void SystemSparseMatrix::row_mult(const ReaVec& d) {
  for (int i = 0; i < dims_[0]; ++i)
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) val_[k] *= d[i];
}

void SystemSparseMatrix::col_mult(const ReaVec& d) {
  for (int k = 0; k < nnz_; ++k) val_[k] *= d[col_ind_[k]];
}

// this (op)= diag(d) times the values given by src(k), row by row.
#define ROW_COMBINE(OP, SRC)                                                  \
  for (int i = 0; i < dims_[0]; ++i) {                                        \
    const double di = d[i];                                                   \
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) val_[k] OP di * (SRC); \
  }

void SystemSparseMatrix::row_mult(const ReaVec& d, const SystemSparseMatrix* b) {
  SAME_PATTERN(b);
  ROW_COMBINE(=, b->val_[k])
}
void SystemSparseMatrix::row_mult(const ReaVec& d, const SystemSparseMatrix& b) { row_mult(d, &b); }
void SystemSparseMatrix::row_mult(const ReaVec& d, const SymmetricSparseMatrix* s) {
  SAME_SYM_PATTERN(s);
  ROW_COMBINE(=, SYMVAL(s, k))
}
void SystemSparseMatrix::row_mult_add(const ReaVec& d, const SystemSparseMatrix* b) {
  SAME_PATTERN(b);
  ROW_COMBINE(+=, b->val_[k])
}
void SystemSparseMatrix::row_mult_add(const ReaVec& d, const SystemSparseMatrix& b) { row_mult_add(d, &b); }
void SystemSparseMatrix::row_mult_add(const ReaVec& d, const SymmetricSparseMatrix* s) {
  SAME_SYM_PATTERN(s);
  ROW_COMBINE(+=, SYMVAL(s, k))
}
// No caller (nor of its reference form): an assembly subtracting a row-scaled matrix would.
void SystemSparseMatrix::row_mult_sub(const ReaVec& d, const SystemSparseMatrix* b) {
  SAME_PATTERN(b);
  ROW_COMBINE(-=, b->val_[k])
}
void SystemSparseMatrix::row_mult_sub(const ReaVec& d, const SystemSparseMatrix& b) { row_mult_sub(d, &b); }

void SystemSparseMatrix::col_mult(const ReaVec& d, const SystemSparseMatrix* b) {
  SAME_PATTERN(b);
  for (int k = 0; k < nnz_; ++k) val_[k] = b->val_[k] * d[col_ind_[k]];
}
void SystemSparseMatrix::col_mult(const ReaVec& d, const SystemSparseMatrix& b) { col_mult(d, &b); }
void SystemSparseMatrix::col_mult_add(const ReaVec& d, const SystemSparseMatrix* b) {
  SAME_PATTERN(b);
  for (int k = 0; k < nnz_; ++k) val_[k] += b->val_[k] * d[col_ind_[k]];
}
void SystemSparseMatrix::col_mult_add(const ReaVec& d, const SystemSparseMatrix& b) { col_mult_add(d, &b); }
// No caller (nor of its reference form): an assembly subtracting a column-scaled matrix would.
void SystemSparseMatrix::col_mult_sub(const ReaVec& d, const SystemSparseMatrix* b) {
  SAME_PATTERN(b);
  for (int k = 0; k < nnz_; ++k) val_[k] -= b->val_[k] * d[col_ind_[k]];
}
void SystemSparseMatrix::col_mult_sub(const ReaVec& d, const SystemSparseMatrix& b) { col_mult_sub(d, &b); }
void SystemSparseMatrix::col_mult_add(const ReaVec& d, const SymmetricSparseMatrix* s) {
  SAME_SYM_PATTERN(s);
  for (int k = 0; k < nnz_; ++k) val_[k] += SYMVAL(s, k) * d[col_ind_[k]];
}

void SystemSparseMatrix::rc_mult_add(const ReaVec& d, const SystemSparseMatrix* b) {
  SAME_PATTERN(b);
  for (int i = 0; i < dims_[0]; ++i)
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) val_[k] += b->val_[k] * (d[i] + d[col_ind_[k]]) / 2.0;
}
void SystemSparseMatrix::rc_mult_add(const ReaVec& d, const SystemSparseMatrix& b) { rc_mult_add(d, &b); }
void SystemSparseMatrix::rc_mult_add(const ReaVec& d, const SymmetricSparseMatrix* s) {
  SAME_SYM_PATTERN(s);
  for (int i = 0; i < dims_[0]; ++i)
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k)
      val_[k] += SYMVAL(s, k) * std::sqrt(d[i] * d[col_ind_[k]]);
}

void SystemSparseMatrix::add_trans(const SystemSparseMatrix* b) {
  OLVU_NOTICE("SystemSparseMatrix::add_trans NOT TESTED");
  for (int i = 0; i < dims_[0]; ++i)
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) val_[k] = (*b)(col_ind_[k], i);
}
void SystemSparseMatrix::add_trans(const SystemSparseMatrix& b) { add_trans(&b); }

void SystemSparseMatrix::row_mult_add(const ReaVec& a, const ReaVec& b) {
  for (int i = 0; i < dims_[0]; ++i) diag(i) += a[i] * b[i];
}

void SystemSparseMatrix::diag_vect_add(const ReaVec& v) {
  for (int i = 0; i < dims_[0]; ++i) diag(i) += v[i];
}

void SystemSparseMatrix::row_mult(const ReaVec& a, const ReaVec& b) {
  for (int i = 0; i < dims_[0]; ++i) {
    double& d = diag(i);
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k)
      if (&val_[k] != &d) val_[k] = 0.0;
    d += a[i] * b[i];
  }
}

void SystemSparseMatrix::mult(double x, const ReaVec& v) {
  for (int i = 0; i < dims_[0]; ++i) {
    double& d = diag(i);
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k)
      if (&val_[k] != &d) val_[k] = 0.0;
    d += x * v[i];
  }
}

void SystemSparseMatrix::Multiply_Row(int i, double x, int flag) {
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k)
    if (!flag || col_ind_[k] != i) val_[k] *= x;
}

void SystemSparseMatrix::mult_row(int i, double x) {
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) val_[k] *= x;
}

double SystemSparseMatrix::mult_row_off_diagonal(int i, double x) {
  Multiply_Row(i, x, 1);
  return diag(i);
}

void SystemSparseMatrix::Copy_Row_Val(int i, const ReaVec& n, const SystemSparseMatrix& a,
                                      const SystemSparseMatrix& b, const SystemSparseMatrix& c) {
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k)
    val_[k] = n[0] * a.val_[k] + n[1] * b.val_[k] + n[2] * c.val_[k];
}

void SystemSparseMatrix::Copy_Row_Val(int i, double x, const SystemSparseMatrix& a, const ReaVec& n,
                                      const SystemSparseMatrix& b, const SystemSparseMatrix& c,
                                      const SystemSparseMatrix& d) {
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k)
    val_[k] = x * a.val_[k] + n[0] * b.val_[k] + n[1] * c.val_[k] + n[2] * d.val_[k];
}

void SystemSparseMatrix::Copy_Row_Val(int i, const SystemSparseMatrix& b, double x) {
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) val_[k] = (x == 1.0) ? b.val_[k] : x * b.val_[k];
}

void SystemSparseMatrix::Copy_Row_Val(const BitVec& m, const SystemSparseMatrix& b) {
  for (int i = 0; i < dims_[0]; ++i)
    if (marked(m, i))
      for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) val_[k] = b.val_[k];
}

// No caller: a matrix that takes one row's columns from another of its pattern would.
void SystemSparseMatrix::Copy_Row_Col(int i, const SystemSparseMatrix& b) {
  if (col_ind_ == b.col_ind_) return;
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) col_ind_[k] = b.col_ind_[k];
  if (structure_) structure_->columns_changed();
}

// ---------------------------------------------------------------------------------------------
// SystemSparseMatrix: products

#define GEN_ROWS(...) csr_rows(dims_[0], row_ptr_, col_ind_, val_, x, y, __VA_ARGS__)

void SystemSparseMatrix::mult(const double* x, double* y) const {
  GEN_ROWS([](double& yi, double s, int) { yi = s; });
}
void SystemSparseMatrix::mult(const ReaVec& x, ReaVec& y) { mult(raw(x, dims_[1]), raw(y, dims_[0])); }
void SystemSparseMatrix::mult(const ReaVecM& x, ReaVecM& y) { mult(raw(x, dims_[1]), raw(y, dims_[0])); }

void SystemSparseMatrix::mult_filled_rows(const double* x, double* y) const {
  const int* rp = row_ptr_;
  GEN_ROWS([rp, x](double& yi, double s, int i) { yi = (rp[i] == rp[i + 1]) ? x[i] : s; });
}
void SystemSparseMatrix::mult_filled_rows(const ReaVec& x, ReaVec& y) { mult_filled_rows(raw(x, dims_[1]), raw(y, dims_[0])); }

void SystemSparseMatrix::mult_some(const BitVec& m, const double* x, double* y) const {
  for (int i = 0; i < dims_[0]; ++i) {
    if (!marked(m, i)) continue;
    double s = 0.0;
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) s += val_[k] * x[col_ind_[k]];
    y[i] = s;
  }
}
void SystemSparseMatrix::mult_some(const BitVec& m, const ReaVec& x, ReaVec& y) { mult_some(m, raw(x, dims_[1]), raw(y, dims_[0])); }

void SystemSparseMatrix::add_mult(const double* x, double* y) const {
  GEN_ROWS([](double& yi, double s, int) { yi += s; });
}
void SystemSparseMatrix::add_mult(const ReaVec& x, ReaVec& y) { add_mult(raw(x, dims_[1]), raw(y, dims_[0])); }
void SystemSparseMatrix::sub_mult(const double* x, double* y) const {
  GEN_ROWS([](double& yi, double s, int) { yi -= s; });
}
void SystemSparseMatrix::sub_mult(const ReaVec& x, ReaVec& y) { sub_mult(raw(x, dims_[1]), raw(y, dims_[0])); }

void SystemSparseMatrix::add_mult(const double* x, double* y, double f) const {
  GEN_ROWS([f](double& yi, double s, int) { yi += f * s; });
}
void SystemSparseMatrix::add_mult(const ReaVec& x, ReaVec& y, double s) { add_mult(raw(x, dims_[1]), raw(y, dims_[0]), s); }
void SystemSparseMatrix::mult_prod(const double* x, double* y, double f) const {
  GEN_ROWS([f](double& yi, double s, int) { yi = f * s; });
}
void SystemSparseMatrix::mult_prod(const ReaVec& x, ReaVec& y, double s) { mult_prod(raw(x, dims_[1]), raw(y, dims_[0]), s); }
void SystemSparseMatrix::add_mult_prod(const double* x, double* y, double f) const { add_mult(x, y, f); }
void SystemSparseMatrix::add_mult_prod(const ReaVec& x, ReaVec& y, double s) { add_mult(raw(x, dims_[1]), raw(y, dims_[0]), s); }
void SystemSparseMatrix::sub_mult_prod(const double* x, double* y, double f) const {
  GEN_ROWS([f](double& yi, double s, int) { yi -= f * s; });
}
void SystemSparseMatrix::sub_mult_prod(const ReaVec& x, ReaVec& y, double s) { sub_mult_prod(raw(x, dims_[1]), raw(y, dims_[0]), s); }

void SystemSparseMatrix::mult_quot(const double* x, double* y, double q) const {
  GEN_ROWS([q](double& yi, double s, int) { yi = s / q; });
}
void SystemSparseMatrix::mult_quot(const ReaVec& x, ReaVec& y, double s) { mult_quot(raw(x, dims_[1]), raw(y, dims_[0]), s); }
void SystemSparseMatrix::add_mult_quot(const double* x, double* y, double q) const {
  GEN_ROWS([q](double& yi, double s, int) { yi += s / q; });
}
void SystemSparseMatrix::add_mult_quot(const ReaVec& x, ReaVec& y, double s) { add_mult_quot(raw(x, dims_[1]), raw(y, dims_[0]), s); }
void SystemSparseMatrix::sub_mult_quot(const double* x, double* y, double q) const {
  GEN_ROWS([q](double& yi, double s, int) { yi -= s / q; });
}
void SystemSparseMatrix::sub_mult_quot(const ReaVec& x, ReaVec& y, double s) { sub_mult_quot(raw(x, dims_[1]), raw(y, dims_[0]), s); }

void SystemSparseMatrix::mult_off_diagonal(const double* x, double* y) const {
  csr_rows_off(dims_[0], row_ptr_, col_ind_, val_, x, y, [](double& yi, double s, int) { yi = s; });
}
void SystemSparseMatrix::add_mult_off_diagonal(const double* x, double* y) const {
  csr_rows_off(dims_[0], row_ptr_, col_ind_, val_, x, y, [](double& yi, double s, int) { yi += s; });
}
void SystemSparseMatrix::add_mult_off_diagonal(const ReaVec& x, ReaVec& y) { add_mult_off_diagonal(raw(x, dims_[1]), raw(y, dims_[0])); }
void SystemSparseMatrix::sub_mult_off_diagonal(const double* x, double* y) const {
  csr_rows_off(dims_[0], row_ptr_, col_ind_, val_, x, y, [](double& yi, double s, int) { yi -= s; });
}
void SystemSparseMatrix::sub_mult_off_diagonal(const ReaVec& x, ReaVec& y) { sub_mult_off_diagonal(raw(x, dims_[1]), raw(y, dims_[0])); }

void SystemSparseMatrix::row_mult(const double* d, const double* x, double* y) const {
  GEN_ROWS([d](double& yi, double s, int i) { yi = d[i] * s; });
}
void SystemSparseMatrix::row_mult(const ReaVec& d, const ReaVec& x, ReaVec& y) { row_mult(raw(d, dims_[0]), raw(x, dims_[1]), raw(y, dims_[0])); }
void SystemSparseMatrix::add_row_mult(const double* d, const double* x, double* y) const {
  GEN_ROWS([d](double& yi, double s, int i) { yi += d[i] * s; });
}
void SystemSparseMatrix::add_row_mult(const ReaVec& d, const ReaVec& x, ReaVec& y) {
  add_row_mult(raw(d, dims_[0]), raw(x, dims_[1]), raw(y, dims_[0]));
}
void SystemSparseMatrix::sub_row_mult(const double* d, const double* x, double* y) const {
  GEN_ROWS([d](double& yi, double s, int i) { yi -= d[i] * s; });
}
void SystemSparseMatrix::sub_row_mult(const ReaVec& d, const ReaVec& x, ReaVec& y) {
  sub_row_mult(raw(d, dims_[0]), raw(x, dims_[1]), raw(y, dims_[0]));
}

void SystemSparseMatrix::trans_mult(const double* x, double* y) const {
  clear(y, dims_[1]);
  csr_scatter(structure_, dims_[0], dims_[1], row_ptr_, col_ind_, val_, y, [x](int i) { return x[i]; });
}
void SystemSparseMatrix::trans_mult(const ReaVec& x, ReaVec& y) { trans_mult(raw(x, dims_[0]), raw(y, dims_[1])); }
void SystemSparseMatrix::trans_mult(const ReaVecM& x, ReaVecM& y) { trans_mult(raw(x, dims_[0]), raw(y, dims_[1])); }
void SystemSparseMatrix::add_trans_mult(const double* x, double* y) const {
  csr_scatter(structure_, dims_[0], dims_[1], row_ptr_, col_ind_, val_, y, [x](int i) { return x[i]; });
}
void SystemSparseMatrix::add_trans_mult(const ReaVec& x, ReaVec& y) { add_trans_mult(raw(x, dims_[0]), raw(y, dims_[1])); }
void SystemSparseMatrix::sub_trans_mult(const double* x, double* y) const {
  csr_scatter(structure_, dims_[0], dims_[1], row_ptr_, col_ind_, val_, y, [x](int i) { return -x[i]; });
}
void SystemSparseMatrix::sub_trans_mult(const ReaVec& x, ReaVec& y) { sub_trans_mult(raw(x, dims_[0]), raw(y, dims_[1])); }
void SystemSparseMatrix::row_trans_mult(const double* d, const double* x, double* y) const {
  clear(y, dims_[1]);
  csr_scatter(structure_, dims_[0], dims_[1], row_ptr_, col_ind_, val_, y, [d, x](int i) { return d[i] * x[i]; });
}
void SystemSparseMatrix::row_trans_mult(const ReaVec& d, const ReaVec& x, ReaVec& y) {
  row_trans_mult(raw(d, dims_[0]), raw(x, dims_[0]), raw(y, dims_[1]));
}
void SystemSparseMatrix::add_row_trans_mult(const double* d, const double* x, double* y) const {
  csr_scatter(structure_, dims_[0], dims_[1], row_ptr_, col_ind_, val_, y, [d, x](int i) { return d[i] * x[i]; });
}
void SystemSparseMatrix::add_row_trans_mult(const ReaVec& d, const ReaVec& x, ReaVec& y) {
  add_row_trans_mult(raw(d, dims_[0]), raw(x, dims_[0]), raw(y, dims_[1]));
}
void SystemSparseMatrix::sub_row_trans_mult(const double* d, const double* x, double* y) const {
  csr_scatter(structure_, dims_[0], dims_[1], row_ptr_, col_ind_, val_, y, [d, x](int i) { return -(d[i] * x[i]); });
}
void SystemSparseMatrix::sub_row_trans_mult(const ReaVec& d, const ReaVec& x, ReaVec& y) {
  sub_row_trans_mult(raw(d, dims_[0]), raw(x, dims_[0]), raw(y, dims_[1]));
}

double SystemSparseMatrix::mult_row(int i, const double* v) const {
  double s = 0.0;
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) s += val_[k] * v[col_ind_[k]];
  return s;
}
double SystemSparseMatrix::mult_row(int i, const ReaVec& v) const { return mult_row(i, raw(v, dims_[1])); }

double SystemSparseMatrix::mult_row_off_diagonal(int i, const double* v) const {
  double s = 0.0;
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k)
    if (col_ind_[k] != i) s += val_[k] * v[col_ind_[k]];
  return s;
}
double SystemSparseMatrix::mult_row_off_diagonal(int i, const ReaVec& v) const {
  return mult_row_off_diagonal(i, raw(v, dims_[1]));
}

double SystemSparseMatrix::normmult_row_off_diagonal(int i, const double* v) const {
  double s = 0.0, w = 0.0;
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k)
    if (col_ind_[k] != i) {
      s += val_[k] * v[col_ind_[k]];
      w += val_[k];
    }
  return s / (1e-14 + w);
}
double SystemSparseMatrix::normmult_row_off_diagonal(int i, const ReaVec& v) const {
  return normmult_row_off_diagonal(i, raw(v, dims_[1]));
}

void SystemSparseMatrix::diag_quot(const double* x, double* y) const {
  for (int i = 0; i < dims_[0]; ++i) {
    const int p = diag_pos(i);
    const double d = p < 0 ? 0.0 : val_[p];
    y[i] = (d == 0.0) ? 0.0 : x[i] / d;
  }
}
void SystemSparseMatrix::diag_quot(const ReaVec& x, ReaVec& y) { diag_quot(raw(x, dims_[1]), raw(y, dims_[0])); }

void SystemSparseMatrix::diag_prod(const double* x, double* y) const {
  for (int i = 0; i < dims_[0]; ++i) {
    const int p = diag_pos(i);
    y[i] = x[i] * (p < 0 ? 0.0 : val_[p]);
  }
}
void SystemSparseMatrix::diag_prod(const ReaVec& x, ReaVec& y) { diag_prod(raw(x, dims_[1]), raw(y, dims_[0])); }

void SystemSparseMatrix::diag_pre(double* b, double* d, double tol) {
  if (!diag_first_) OLVU_FATAL("Format not correct in SystemSparseMatrix::diag_pre\n");
  const int n = dims_[0];
  for (int i = 0; i < n; ++i) {
    const double a = (row_ptr_[i] < row_ptr_[i + 1]) ? val_[row_ptr_[i]] : 0.0;
    if (a < 0.0) OLVU_FATAL("Negative diagonal element found in SystemSparseMatrix::diag_pre\n");
    d[i] = (std::fabs(a) < tol) ? 1.0 : 1.0 / std::sqrt(a);
  }
  for (int i = 0; i < n; ++i) {
    b[i] *= d[i];
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) val_[k] *= d[i] * d[col_ind_[k]];
  }
}
void SystemSparseMatrix::diag_pre(ReaVec& b, ReaVec& d, double tol) { diag_pre(raw(b, dims_[0]), raw(d, dims_[0]), tol); }

void SystemSparseMatrix::DMP(ReaVec& v, const SymmetricSparseMatrix* s) const {
  SAME_SYM_PATTERN(s);
  for (int i = 0; i < dims_[0]; ++i) {
    double m = 0.0;
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) {
      if (col_ind_[k] == i) continue;
      const double c = val_[k], d = SYMVAL(s, k);
      if (c > 0.0 && d < 0.0 && -c / d > m) m = -c / d;
    }
    v[i] = m;
  }
}

// ---------------------------------------------------------------------------------------------
// SystemSparseMatrix: sweeps

void SystemSparseMatrix::Gauss_Seidel_Iteration(double* x, const double* b) const {
  for (int i = 0; i < dims_[0]; ++i) x[i] = gs_value(row_ptr_, col_ind_, nullptr, val_, x, b[i], i);
}

void SystemSparseMatrix::IGauss_Seidel_Iteration(double* x, const double* b) const {
  for (int i = dims_[0] - 1; i >= 0; --i) x[i] = gs_value(row_ptr_, col_ind_, nullptr, val_, x, b[i], i);
}

void SystemSparseMatrix::Gauss_Seidel_Iteration(ReaVec& x, const ReaVec& b) {
  Gauss_Seidel_Iteration(raw(x, dims_[1]), raw(b, dims_[0]));
}

void SystemSparseMatrix::Jacobi_Iteration(ReaVec& x, const ReaVec& b) {
  ReaVecM xo(x);
  const double* o = raw(xo, dims_[0]);
  double* px = raw(x, dims_[1]);
  const double* pb = raw(b, dims_[0]);
  for (int i = 0; i < dims_[0]; ++i) px[i] = gs_value(row_ptr_, col_ind_, nullptr, val_, o, pb[i], i);
}

void SystemSparseMatrix::Gauss_Seidel_Iteration(ReaVec& x, const ReaVec& b, const BitVec& fixed, double w) {
  double* px = raw(x, dims_[1]);
  const double* pb = raw(b, dims_[0]);
  for (int i = 0; i < dims_[0]; ++i) {
    if (marked(fixed, i)) continue;
    const double nv = gs_value(row_ptr_, col_ind_, nullptr, val_, px, pb[i], i);
    px[i] = (w == 0.0) ? nv : (1.0 + w) * nv - w * px[i];
  }
}

void SystemSparseMatrix::Jacobi_Iteration(ReaVec& x, const ReaVec& b, const BitVec& fixed, double w) {
  ReaVecM xo(x);
  const double* o = raw(xo, dims_[0]);
  double* px = raw(x, dims_[1]);
  const double* pb = raw(b, dims_[0]);
  for (int i = 0; i < dims_[0]; ++i) {
    if (marked(fixed, i)) continue;
    const double nv = gs_value(row_ptr_, col_ind_, nullptr, val_, o, pb[i], i);
    px[i] = (w == 0.0) ? nv : (1.0 + w) * nv - w * px[i];
  }
}

void SystemSparseMatrix::Gauss_Seidel_Iteration(ReaVec& x, const ReaVec& b, BitVec& fixed, int sweeps,
                                                double tol) {
  double* px = raw(x, dims_[1]);
  const double* pb = raw(b, dims_[0]);
  double largest = 1e-14;
  for (int s = 0; s < sweeps; ++s)
    for (int i = 0; i < dims_[0]; ++i) {
      if (marked(fixed, i)) continue;
      const double old = px[i];
      px[i] = gs_value(row_ptr_, col_ind_, nullptr, val_, px, pb[i], i);
      if (std::fabs(px[i]) > largest) largest = std::fabs(px[i]);
      if (std::fabs((px[i] - old) / largest) < tol) fixed.assign(static_cast<unsigned>(i) + 1, 1);
    }
}

bool SystemSparseMatrix::verify() const {
  if (dims_[0] <= 0 || dims_[1] <= 0 || nnz_ <= 0 || !row_ptr_ || !col_ind_ || !val_) return false;
  if (row_ptr_[dims_[0]] != nnz_) return false;
  for (int i = 0; i < dims_[0]; ++i)
    if (row_ptr_[i] < 0 || row_ptr_[i + 1] < row_ptr_[i]) return false;
  for (int k = 0; k < nnz_; ++k)
    if (col_ind_[k] < 0) return false;
  return true;
}
