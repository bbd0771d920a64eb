// The symmetric sparse matrix, stored as its upper triangle over a mirrored pattern.
#include "solvers/sparsematrix.h"

#include <utility>

#include "foundation/error.h"
#include "foundation/intvec.h"
#include "foundation/matrix.h"
#include "foundation/reavec.h"
#include "solvers/sparserows.h"

using namespace olvu_sparse;

namespace {

// Symmetric product from the upper rows: y[r] += f(r) (A x)[r] for every row r. One thread runs
// the rows once, scattering each upper entry to its mirror; several gather every y[i]: first the
// mirrored terms of the rows above in ascending row order (the pattern's column-wise index of the
// upper arrays), then the row's own sum, the very operations of the scatter in its order.
template <class Factor>
inline void sym_rows(const SparseMatrixStruct* st, int n, int diag_first, const int* rp, const int* ci,
                     const double* a, const double* x, double* y, Factor f) {
  auto own = [=](int i) {  // the sum over upper row i
    const double xi = x[i];
    int k = rp[i];
    double acc = 0.0;
    if (diag_first && k < rp[i + 1] && ci[k] == i) acc = a[k++] * xi;
    for (; k < rp[i + 1]; ++k) acc += a[k] * x[ci[k]];
    return acc;
  };
  if (st && Threaded(n) && rp == st->srow_ptr(0) && ci == st->scol_ind(0)) {
    const TransposedIndex& t = st->transposed(true);
    const int *tp = t.ptr.data(), *tr = t.row.data(), *tk = t.pos.data();
    ParallelFor(n, [=](std::size_t r) {
      const int i = static_cast<int>(r);
      double yi = y[i];
      for (int e = tp[i]; e < tp[i + 1]; ++e)
        if (tr[e] != i) yi += f(i) * a[tk[e]] * x[tr[e]];
      y[i] = yi + f(i) * own(i);
    });
    return;
  }
  for (int i = 0; i < n; ++i) {
    const double xi = x[i];
    int k = rp[i];
    double acc = 0.0;
    if (diag_first && k < rp[i + 1] && ci[k] == i) acc = a[k++] * xi;
    for (; k < rp[i + 1]; ++k) {
      const int j = ci[k];
      acc += a[k] * x[j];
      if (j != i) y[j] += f(j) * a[k] * xi;
    }
    y[i] += f(i) * acc;
  }
}

// Symmetric off-diagonal product from the upper rows (y cleared by the caller); threaded as sym_rows.
inline void sym_rows_off(const SparseMatrixStruct* st, int n, const int* rp, const int* ci, const double* a,
                         const double* x, double* y) {
  if (st && Threaded(n) && rp == st->srow_ptr(0) && ci == st->scol_ind(0)) {
    const TransposedIndex& t = st->transposed(true);
    const int *tp = t.ptr.data(), *tr = t.row.data(), *tk = t.pos.data();
    ParallelFor(n, [=](std::size_t r) {
      const int i = static_cast<int>(r);
      double yi = y[i], acc = 0.0;
      for (int e = tp[i]; e < tp[i + 1]; ++e)
        if (tr[e] != i) yi += a[tk[e]] * x[tr[e]];
      for (int k = rp[i]; k < rp[i + 1]; ++k)
        if (ci[k] != i) acc += a[k] * x[ci[k]];
      y[i] = yi + acc;
    });
    return;
  }
  for (int i = 0; i < n; ++i) {
    const double xi = x[i];
    double acc = 0.0;
    for (int k = rp[i]; k < rp[i + 1]; ++k) {
      const int j = ci[k];
      if (j == i) continue;
      acc += a[k] * x[j];
      y[j] += a[k] * xi;
    }
    y[i] += acc;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// SymmetricSparseMatrix

SymmetricSparseMatrix::SymmetricSparseMatrix(SparseMatrixStruct* s) {
  if (!s->built()) s->Build();
  if (!s->mirrored())
    OLVU_FATAL("SymmetricSparseMatrix needs a pattern whose every position has its mirror\n");
  bind(s);
  vals_.assign(nnz_, 0.0);
  val_ = vals_.data();
}

SymmetricSparseMatrix::SymmetricSparseMatrix(const SymmetricSparseMatrix* o) : SparseMatrix(*o) {}
SymmetricSparseMatrix::SymmetricSparseMatrix(const SymmetricSparseMatrix& o) : SparseMatrix(o) {}

void SymmetricSparseMatrix::retake_pattern() {
  SparseMatrix::retake_pattern();
  SparseMatrixStruct* s = structure_;
  fpos_ = s->spos_ind_.data();
  row_ptr_ = s->srow_ptr_.data();
  col_ind_ = s->scol_ind_.data();
  nnz_ = s->snnz_;
}

SymmetricSparseMatrix& SymmetricSparseMatrix::operator=(const SymmetricSparseMatrix& o) {
  SparseMatrix::operator=(o);
  return *this;
}
SymmetricSparseMatrix& SymmetricSparseMatrix::operator=(double x) {
  SparseMatrix::operator=(x);
  return *this;
}
SymmetricSparseMatrix& SymmetricSparseMatrix::operator+=(double x) {
  SparseMatrix::operator+=(x);
  return *this;
}
SymmetricSparseMatrix& SymmetricSparseMatrix::operator-=(double x) {
  SparseMatrix::operator-=(x);
  return *this;
}
SymmetricSparseMatrix& SymmetricSparseMatrix::operator*=(double x) {
  SparseMatrix::operator*=(x);
  return *this;
}
SymmetricSparseMatrix& SymmetricSparseMatrix::operator/=(double x) {
  SparseMatrix::operator/=(x);
  return *this;
}

int SymmetricSparseMatrix::addToLhs(int i, int j, double v) {
  if (i > j) return -1;
  const int k = claim_slot(row_ptr_, col_ind_, sorted_, diag_first_, i, j, structure_);
  val_[k] += v;
  return k;
}

int SymmetricSparseMatrix::setToLhs(int i, int j, double v) {
  if (i > j) return -1;
  const int k = claim_slot(row_ptr_, col_ind_, sorted_, diag_first_, i, j, structure_);
  val_[k] = v;
  return k;
}

void SymmetricSparseMatrix::addToLhs(const IntVec& nodes, const Matrix& m) { add_element(nodes, m, true); }

void SymmetricSparseMatrix::addValue(double v) {
  const int k = structure_->current_sim_position();
  if (k >= 0) val_[k] += v;
}

int SymmetricSparseMatrix::position(int i, int j) const {
  if (j < i) std::swap(i, j);
  const int k = find(i, j);
  if (k < 0)
    OLVU_FATAL("SymmetricSparseMatrix position(" << i + 1 << "," << j + 1 << ") error. Element not found.\n");
  return k;
}

double* SymmetricSparseMatrix::at(int i, int j) const {
  if (j < i) std::swap(i, j);
  const int k = find(i, j);
  if (k < 0)
    OLVU_FATAL("SymmetricSparseMatrix operator(" << i + 1 << "," << j + 1 << ") error. Element not found.\n");
  return &val_[k];
}

int SymmetricSparseMatrix::addValue(int i, int j, double v) {
  if (j < i) return -1;
  const int k = find(i, j);
  if (k < 0) OLVU_FATAL("SymmetricSparseMatrix addValue(" << i << "," << j << ") error. Element not found.\n");
  val_[k] += v;
  return k;
}

#define SYM_ROWS(...) sym_rows(structure_, dims_[0], diag_first_, row_ptr_, col_ind_, val_, x, y, __VA_ARGS__)

void SymmetricSparseMatrix::mult(const double* x, double* y) const {
  clear(y, dims_[0]);
  SYM_ROWS([](int) { return 1.0; });
}
void SymmetricSparseMatrix::mult(const ReaVec& x, ReaVec& y) { mult(raw(x, dims_[1]), raw(y, dims_[0])); }
void SymmetricSparseMatrix::mult(const ReaVecM& x, ReaVecM& y) { mult(raw(x, dims_[1]), raw(y, dims_[0])); }
void SymmetricSparseMatrix::trans_mult(const double* x, double* y) const { mult(x, y); }
void SymmetricSparseMatrix::trans_mult(const ReaVec& x, ReaVec& y) { mult(raw(x, dims_[0]), raw(y, dims_[1])); }
void SymmetricSparseMatrix::trans_mult(const ReaVecM& x, ReaVecM& y) { mult(raw(x, dims_[0]), raw(y, dims_[1])); }

void SymmetricSparseMatrix::add_mult(const double* x, double* y) const { SYM_ROWS([](int) { return 1.0; }); }
void SymmetricSparseMatrix::add_mult(const ReaVec& x, ReaVec& y) { add_mult(raw(x, dims_[1]), raw(y, dims_[0])); }
void SymmetricSparseMatrix::sub_mult(const double* x, double* y) const { SYM_ROWS([](int) { return -1.0; }); }
void SymmetricSparseMatrix::sub_mult(const ReaVec& x, ReaVec& y) { sub_mult(raw(x, dims_[1]), raw(y, dims_[0])); }

void SymmetricSparseMatrix::add_mult(const double* x, double* y, double s) const {
  SYM_ROWS([s](int) { return s; });
}
void SymmetricSparseMatrix::add_mult(const ReaVec& x, ReaVec& y, double s) { add_mult(raw(x, dims_[1]), raw(y, dims_[0]), s); }
void SymmetricSparseMatrix::sub_mult(const double* x, double* y, double s) const {
  SYM_ROWS([s](int) { return -s; });
}
void SymmetricSparseMatrix::sub_mult(const ReaVec& x, ReaVec& y, double s) { sub_mult(raw(x, dims_[1]), raw(y, dims_[0]), s); }

void SymmetricSparseMatrix::mult_prod(const double* x, double* y, double s) const {
  clear(y, dims_[0]);
  SYM_ROWS([s](int) { return s; });
}
void SymmetricSparseMatrix::mult_prod(const ReaVec& x, ReaVec& y, double s) { mult_prod(raw(x, dims_[1]), raw(y, dims_[0]), s); }
void SymmetricSparseMatrix::add_mult_prod(const double* x, double* y, double s) const { add_mult(x, y, s); }
void SymmetricSparseMatrix::add_mult_prod(const ReaVec& x, ReaVec& y, double s) { add_mult(raw(x, dims_[1]), raw(y, dims_[0]), s); }
void SymmetricSparseMatrix::sub_mult_prod(const double* x, double* y, double s) const { sub_mult(x, y, s); }
void SymmetricSparseMatrix::sub_mult_prod(const ReaVec& x, ReaVec& y, double s) { sub_mult(raw(x, dims_[1]), raw(y, dims_[0]), s); }

void SymmetricSparseMatrix::mult_quot(const double* x, double* y, double s) const { mult_prod(x, y, 1.0 / s); }
void SymmetricSparseMatrix::mult_quot(const ReaVec& x, ReaVec& y, double s) { mult_prod(raw(x, dims_[1]), raw(y, dims_[0]), 1.0 / s); }
void SymmetricSparseMatrix::add_mult_quot(const double* x, double* y, double s) const { add_mult(x, y, 1.0 / s); }
void SymmetricSparseMatrix::add_mult_quot(const ReaVec& x, ReaVec& y, double s) {
  add_mult(raw(x, dims_[1]), raw(y, dims_[0]), 1.0 / s);
}
void SymmetricSparseMatrix::sub_mult_quot(const double* x, double* y, double s) const { sub_mult(x, y, 1.0 / s); }
void SymmetricSparseMatrix::sub_mult_quot(const ReaVec& x, ReaVec& y, double s) {
  sub_mult(raw(x, dims_[1]), raw(y, dims_[0]), 1.0 / s);
}

void SymmetricSparseMatrix::row_mult(const double* d, const double* x, double* y) const {
  clear(y, dims_[0]);
  SYM_ROWS([d](int j) { return d[j]; });
}
void SymmetricSparseMatrix::row_mult(const ReaVec& d, const ReaVec& x, ReaVec& y) { row_mult(raw(d, dims_[0]), raw(x, dims_[1]), raw(y, dims_[0])); }
void SymmetricSparseMatrix::add_row_mult(const double* d, const double* x, double* y) const {
  SYM_ROWS([d](int j) { return d[j]; });
}
void SymmetricSparseMatrix::add_row_mult(const ReaVec& d, const ReaVec& x, ReaVec& y) {
  add_row_mult(raw(d, dims_[0]), raw(x, dims_[1]), raw(y, dims_[0]));
}
void SymmetricSparseMatrix::sub_row_mult(const double* d, const double* x, double* y) const {
  SYM_ROWS([d](int j) { return -d[j]; });
}
void SymmetricSparseMatrix::sub_row_mult(const ReaVec& d, const ReaVec& x, ReaVec& y) {
  sub_row_mult(raw(d, dims_[0]), raw(x, dims_[1]), raw(y, dims_[0]));
}

void SymmetricSparseMatrix::mult_off_diagonal(const double* x, double* y) const {
  clear(y, dims_[0]);
  sym_rows_off(structure_, dims_[0], row_ptr_, col_ind_, val_, x, y);
}

void SymmetricSparseMatrix::lump(double* d) const {
  clear(d, dims_[0]);
  for (int i = 0; i < dims_[0]; ++i)
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) {
      d[i] += val_[k];
      if (col_ind_[k] != i) d[col_ind_[k]] += val_[k];
    }
}
void SymmetricSparseMatrix::lump(ReaVec& d) const { lump(raw(d, dims_[0])); }

double SymmetricSparseMatrix::mult_row(int i, const double* v) const {
  double s = 0.0;
  for (int k = frow_ptr_[i]; k < frow_ptr_[i + 1]; ++k) s += val_[fpos_[k]] * v[fcol_ind_[k]];
  return s;
}
double SymmetricSparseMatrix::mult_row(int i, const ReaVec& v) const { return mult_row(i, raw(v, dims_[1])); }

double SymmetricSparseMatrix::mult_row_off_diagonal(int i, const double* v) const {
  double s = 0.0;
  for (int k = frow_ptr_[i]; k < frow_ptr_[i + 1]; ++k)
    if (fcol_ind_[k] != i) s += val_[fpos_[k]] * v[fcol_ind_[k]];
  return s;
}
double SymmetricSparseMatrix::mult_row_off_diagonal(int i, const ReaVec& v) const {
  return mult_row_off_diagonal(i, raw(v, dims_[1]));
}

double SymmetricSparseMatrix::normmult_row_off_diagonal(int i, const double* v) const {
  double s = 0.0, w = 0.0;
  for (int k = frow_ptr_[i]; k < frow_ptr_[i + 1]; ++k)
    if (fcol_ind_[k] != i) {
      const double a = val_[fpos_[k]];
      s += a * v[fcol_ind_[k]];
      w += a;
    }
  return s / (1e-14 + w);
}
double SymmetricSparseMatrix::normmult_row_off_diagonal(int i, const ReaVec& v) const {
  return normmult_row_off_diagonal(i, raw(v, dims_[1]));
}

void SymmetricSparseMatrix::Gauss_Seidel_Iteration(double* x, const double* b) const {
  for (int i = 0; i < dims_[0]; ++i) x[i] = gs_value(frow_ptr_, fcol_ind_, fpos_, val_, x, b[i], i);
}

void SymmetricSparseMatrix::IGauss_Seidel_Iteration(double* x, const double* b) const {
  for (int i = dims_[0] - 1; i >= 0; --i) x[i] = gs_value(frow_ptr_, fcol_ind_, fpos_, val_, x, b[i], i);
}
