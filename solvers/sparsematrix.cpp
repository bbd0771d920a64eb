// Sparse matrices over a shared pattern: the operations common to the general and the
// symmetric matrix. Kernels run over the raw compressed-row arrays.
#include "solvers/sparsematrix.h"

#include <cmath>
#include <ios>
#include <utility>

#include "foundation/error.h"
#include "foundation/intvec.h"
#include "foundation/matrix.h"
#include "foundation/qsort.h"
#include "foundation/reavec.h"
#include "solvers/sparserows.h"

using namespace olvu_sparse;

namespace {

// Largest element handled by the one-pass element-row assembly.
constexpr int kMaxElemNodes = 64;

// Element node list of at most kMaxElemNodes entries, with its order by ascending pattern index.
struct SortedElement {
  int n = 0;
  int node[kMaxElemNodes];   // pattern index of element node a (0-based a)
  int order[kMaxElemNodes];  // element nodes by ascending pattern index
  bool load(const IntVec& nodes) {
    n = static_cast<int>(nodes.length());
    if (n > kMaxElemNodes) return false;
    for (int a = 0; a < n; ++a) {
      node[a] = nodes[a];
      int t = a;
      while (t > 0 && node[order[t - 1]] > node[a]) {
        order[t] = order[t - 1];
        --t;
      }
      order[t] = a;
    }
    return true;
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// SparseMatrix

SparseMatrix::SparseMatrix() = default;

SparseMatrix::SparseMatrix(SparseMatrixStruct* s) {
  if (!s->built()) s->Build();
  bind(s);
  vals_.assign(nnz_, 0.0);
  val_ = vals_.data();
}

SparseMatrix::SparseMatrix(const SparseMatrix& o) : SparseMatrix() { *this = o; }

SparseMatrix::~SparseMatrix() {
  if (pattern_users_) --*pattern_users_;
}

void SparseMatrix::use_pattern(SparseMatrixStruct* s) {
  std::shared_ptr<int> u = s ? s->user_count() : nullptr;
  if (u) ++*u;
  if (pattern_users_) --*pattern_users_;
  pattern_users_ = std::move(u);
  structure_ = s;
}

void SparseMatrix::bind(SparseMatrixStruct* s) {
  use_pattern(s);
  if (!s) return;
  diag_first_ = s->diag_first_;
  sorted_ = s->sorted_;
  dims_[0] = s->nrows_;
  dims_[1] = s->ncols_;
  retake_pattern();
}

void SparseMatrix::retake_pattern() {
  SparseMatrixStruct* s = structure_;
  frow_ptr_ = s->row_ptr_.data();
  fcol_ind_ = s->col_ind_.data();
  fnnz_ = s->nnz_;
  fpos_ = nullptr;
  row_ptr_ = frow_ptr_;
  col_ind_ = fcol_ind_;
  nnz_ = fnnz_;
}

SparseMatrix& SparseMatrix::operator=(const SparseMatrix& o) {
  if (this == &o) return *this;
  use_pattern(o.structure_);
  diag_first_ = o.diag_first_;
  sorted_ = o.sorted_;
  nnz_ = o.nnz_;
  dims_[0] = o.dims_[0];
  dims_[1] = o.dims_[1];
  row_ptr_ = o.row_ptr_;
  col_ind_ = o.col_ind_;
  frow_ptr_ = o.frow_ptr_;
  fcol_ind_ = o.fcol_ind_;
  fpos_ = o.fpos_;
  fnnz_ = o.fnnz_;
  vals_.assign(o.val_, o.val_ + o.nnz_);
  val_ = vals_.data();
  return *this;
}

SparseMatrix& SparseMatrix::operator=(double x) {
  for (int k = 0; k < nnz_; ++k) val_[k] = x;
  return *this;
}
SparseMatrix& SparseMatrix::operator+=(double x) {
  for (int k = 0; k < nnz_; ++k) val_[k] += x;
  return *this;
}
SparseMatrix& SparseMatrix::operator-=(double x) {
  for (int k = 0; k < nnz_; ++k) val_[k] -= x;
  return *this;
}
SparseMatrix& SparseMatrix::operator*=(double x) {
  for (int k = 0; k < nnz_; ++k) val_[k] *= x;
  return *this;
}
SparseMatrix& SparseMatrix::operator/=(double x) {
  for (int k = 0; k < nnz_; ++k) val_[k] /= x;
  return *this;
}

int SparseMatrix::find(int i, int j) const {
  return (i >= 0 && i < dims_[0]) ? FindInRow(row_ptr_, col_ind_, diag_first_, sorted_, i, j) : -1;
}

int SparseMatrix::diag_pos(int i) const {
  const int first = row_ptr_[i], end = row_ptr_[i + 1];
  if (diag_first_ && first < end && col_ind_[first] == i) return first;
  for (int k = first; k < end; ++k)
    if (col_ind_[k] == i) return k;
  return -1;
}

double SparseMatrix::figure() const {
  double mn = 1e100, mx = -1e100;
  for (int i = 0; i < dims_[0]; ++i) {
    const int p = diag_pos(i);
    if (p < 0) continue;
    const double d = std::fabs(val_[p]);
    if (d < mn) mn = d;
    if (d > mx) mx = d;
  }
  if (mn < 1e-14 || mx < 1e-14) return 1.0;
  return std::sqrt(mn * mx);
}

void SparseMatrix::NullifyMatrix() {
  // Every assembly starts here: on one thread this pass alone held back their speed-up.
  double* v = val_;
  ParallelFor(std::size_t(nnz_), [v](std::size_t k) { v[k] = 0.0; });
}

void SparseMatrix::NullifyRow(int i) {
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) val_[k] = 0.0;
}

void SparseMatrix::require_private_pattern(const char* op) const {
  if (structure_ && structure_->users() > 1)
    OLVU_FATAL("SparseMatrix::" << op << " refused: its pattern is shared by " << structure_->users()
                                << " matrices\n");
}

// Removes the positions chosen by drop (never the leading diagonal of a diagonal-first row),
// moving columns and values down; the pattern is then brought back in step.
void SparseMatrix::remove_positions(const char* op, bool (*drop)(int, double, double), double tol) {
  if (!structure_) return;
  require_private_pattern(op);
  int p = 0;
  for (int i = 0; i < dims_[0]; ++i) {
    const int start = row_ptr_[i], end = row_ptr_[i + 1];
    row_ptr_[i] = p;
    for (int k = start; k < end; ++k) {
      const bool keep_diag = diag_first_ && k == start && col_ind_[k] == i;
      if (!keep_diag && drop(col_ind_[k], val_[k], tol)) continue;
      col_ind_[p] = col_ind_[k];
      val_[p++] = val_[k];
    }
  }
  row_ptr_[dims_[0]] = p;
  vals_.resize(p);
  vals_.shrink_to_fit();
  val_ = vals_.data();
  SparseMatrixStruct* s = structure_;
  if (fpos_) {
    s->scol_ind_.resize(p);
    s->resync_from_upper();
  } else {
    s->col_ind_.resize(p);
    s->resync_from_full();
  }
  retake_pattern();
}

void SparseMatrix::Compact(double tol) {
  remove_positions("Compact", [](int, double v, double t) { return std::fabs(v) < t; }, tol);
}

void SparseMatrix::Compress() {
  remove_positions("Compress", [](int c, double, double) { return c < 0; }, 0.0);
}

void SparseMatrix::Qsort() {
  if (sorted_ || !structure_) return;
  require_private_pattern("Qsort");
  const int skip = diag_first_ ? 1 : 0;
  for (int i = 0; i < dims_[0]; ++i) {
    const int first = row_ptr_[i] + skip, count = row_ptr_[i + 1] - first;
    if (count >= 2) QSort(col_ind_, val_, first, count);
  }
  sorted_ = 1;
  SparseMatrixStruct* s = structure_;
  if (fpos_)
    s->resync_from_upper();
  else
    s->resync_from_full();
  s->sorted_ = 1;
  retake_pattern();
}

// Element rows are merged with the sorted pattern rows in one pass; an entry the pass does not find
// goes through the virtual addToLhs, which claims a spare slot, drops a lower entry of the symmetric
// matrix or reports the full row.
void SparseMatrix::add_element(const IntVec& nodes, const Matrix& m, bool upper_only) {
  SortedElement e;
  if (!(sorted_ && diag_first_) || !e.load(nodes)) {
    const int n = static_cast<int>(nodes.length());
    for (int a = 1; a <= n; ++a)
      for (int b = 1; b <= n; ++b) addToLhs(nodes(a), nodes(b), m(a, b));
    return;
  }
  for (int a = 0; a < e.n; ++a) {
    const int i = e.node[a];
    const int first = row_ptr_[i], end = row_ptr_[i + 1];
    int k = first + 1;
    for (int t = 0; t < e.n; ++t) {
      const int b = e.order[t], j = e.node[b];
      if (upper_only && j < i) continue;
      const double v = m(a + 1, b + 1);
      if (j == i && first < end && col_ind_[first] == i) {
        val_[first] += v;
        continue;
      }
      while (k < end && col_ind_[k] < j) ++k;
      if (k < end && col_ind_[k] == j)
        val_[k] += v;
      else
        addToLhs(i, j, v);
    }
  }
}

double* SparseMatrix::at(int i, int j) const {
  if (i >= 0 && i < dims_[0])
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k)
      if (col_ind_[k] == j) return &val_[k];
  OLVU_FATAL("SparseMatrix operator(" << i << "," << j << ") error. Element not found.\n");
}

int SparseMatrix::position(int i, int j) const {
  if (i >= 0 && i < dims_[0])
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k)
      if (col_ind_[k] == j) return k;
  OLVU_FATAL("SparseMatrix position(" << i << "," << j << ") error. Element not found.\n");
}

double* SparseMatrix::diag_at(int i) const {
  const int p = diag_pos(i);
  if (p < 0) return at(i, i);
  return &val_[p];
}

double SparseMatrix::row_stsmooth(int i, const ReaVec& v) const {
  double s = 0.0, w = 0.0;
  for (int k = frow_ptr_[i]; k < frow_ptr_[i + 1]; ++k) {
    const double a = fval(k);
    s += a * v[fcol_ind_[k]];
    w += a;
  }
  return s / (1e-14 + w);
}

double SparseMatrix::row_odsmooth(int i, const ReaVec& v) const {
  double s = 0.0, w = 0.0;
  for (int k = frow_ptr_[i]; k < frow_ptr_[i + 1]; ++k) {
    if (fcol_ind_[k] == i) continue;
    const double a = fval(k);
    s += a * v[fcol_ind_[k]];
    w += a;
  }
  return s / (1e-14 + w);
}

double SparseMatrix::row_insmooth(int i, const ReaVec& v) const {
  double s = 0.0, w = 0.0;
  for (int k = frow_ptr_[i]; k < frow_ptr_[i + 1]; ++k) {
    const double a = fval(k);
    s += v[fcol_ind_[k]] / a;
    w += 1.0 / a;
  }
  return s / (1e-14 + w);
}

double SparseMatrix::row_nxsmooth(int i, const ReaVec& v) const {
  double mn = 1e100, mx = -1e100;
  for (int k = frow_ptr_[i]; k < frow_ptr_[i + 1]; ++k) {
    const int c = fcol_ind_[k];
    if (c == i) continue;
    if (v[c] < mn) mn = v[c];
    if (v[c] > mx) mx = v[c];
  }
  if (v[i] > mx) return mx;
  if (v[i] < mn) return mn;
  return v[i];
}

double SparseMatrix::row_minmod(int i, const ReaVec& v) const {
  double d = 1e100;
  for (int k = frow_ptr_[i]; k < frow_ptr_[i + 1]; ++k) {
    const int c = fcol_ind_[k];
    if (c == i) continue;
    const double diff = v[c] - v[i];
    if (std::fabs(diff) <= std::fabs(d)) d = diff;
  }
  return v[i] + d;
}

double SparseMatrix::row_superbee(int i, const ReaVec& v) const {
  double s = 1e100;
  for (int k = frow_ptr_[i]; k < frow_ptr_[i + 1]; ++k) {
    const int c = fcol_ind_[k];
    if (c == i) continue;
    const double d = v[c] - v[i];
    const double e = (2.0 * std::fabs(s) < std::fabs(d)) ? 2.0 * s : d;
    if (!(std::fabs(s) < 2.0 * std::fabs(d))) s = 2.0 * d;
    if (std::fabs(s) < std::fabs(e)) s = e;
  }
  return v[i] + s;
}

void SparseMatrix::mult_off_diagonal(const double* x, double* y) const {
  for (int i = 0; i < dims_[0]; ++i) {
    double s = 0.0;
    for (int k = frow_ptr_[i]; k < frow_ptr_[i + 1]; ++k)
      if (fcol_ind_[k] != i) s += fval(k) * x[fcol_ind_[k]];
    y[i] = s;
  }
}

ReaVec& SparseMatrix::mult_off_diagonal(const ReaVec& x, ReaVec& y) {
  mult_off_diagonal(raw(x, dims_[1]), raw(y, dims_[0]));
  return y;
}

void SparseMatrix::copy_diagonal(ReaVec& d, int flag) {
  for (int i = 0; i < dims_[0]; ++i) {
    const int p = diag_pos(i);
    d[i] = p < 0 ? 0.0 : val_[p];
    if (flag && p >= 0) val_[p] = 0.0;
  }
}

void SparseMatrix::read_diagonal(ReaVec& d) { read_diagonal(raw(d, dims_[0])); }

void SparseMatrix::read_diagonal(double* d) {
  for (int i = 0; i < dims_[0]; ++i) {
    const int p = diag_pos(i);
    if (p < 0) continue;
    const double t = val_[p];
    val_[p] = d[i];
    d[i] = t;
  }
}

void SparseMatrix::printRowTo(std::ostream& os, int i) const {
  os << "\nSparseMatrix row " << i << "\n";
  for (int k = frow_ptr_[i]; k < frow_ptr_[i + 1]; ++k) os << " (" << fcol_ind_[k] << ", " << fval(k) << ")";
  os << "\n";
}

void SparseMatrix::printRowTo(std::ostream& os, int i, const ReaVec& v) const {
  os << "\nSparseMatrix row " << i << "\n";
  double s = 0.0;
  for (int k = frow_ptr_[i]; k < frow_ptr_[i + 1]; ++k) {
    const double p = fval(k) * v[fcol_ind_[k]];
    s += p;
    os << " (" << fcol_ind_[k] << ", " << fval(k) << ") " << p << "\n";
  }
  os << "Result row x vector = " << s << "\n";
}

std::ostream& operator<<(std::ostream& os, const SparseMatrix& m) {
  const std::ios_base::fmtflags flags = os.flags();
  const std::streamsize prec = os.precision();
  os.setf(std::ios::scientific, std::ios::floatfield);
  os.precision(12);
  for (int i = 0; i < m.dims_[0]; ++i)
    for (int k = m.row_ptr_[i]; k < m.row_ptr_[i + 1]; ++k) {
      os.width(14);
      os << i + 1 << "    ";
      os.width(14);
      os << m.col_ind_[k] + 1 << "    ";
      os.width(20);
      os << m.val_[k] << "\n";
    }
  os.flags(flags);
  os.precision(prec);
  return os;
}
