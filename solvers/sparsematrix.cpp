// Sparse matrices over a shared pattern: common base operations, the general matrix and the
// symmetric (upper-triangle) matrix. Kernels run over the raw compressed-row arrays.
#include "solvers/sparsematrix.h"

#include <cmath>
#include <ios>
#include <utility>
#include <vector>

#include "foundation/assert.h"
#include "foundation/bitvec.h"
#include "foundation/error.h"
#include "foundation/intvec.h"
#include "foundation/matrix.h"
#include "foundation/qsort.h"
#include "foundation/reavec.h"

namespace {

// Raw storage of a vector (entry k is row k) that must hold at least n entries.
inline double* raw(ReaVec& v, [[maybe_unused]] int n) {
  OLVU_ASSERT(v.length() >= static_cast<unsigned>(n), "vector of " << v.length() << " entries for " << n << " rows");
  return v.GivePointer();
}
inline const double* raw(const ReaVec& v, [[maybe_unused]] int n) {
  OLVU_ASSERT(v.length() >= static_cast<unsigned>(n), "vector of " << v.length() << " entries for " << n << " rows");
  return v.GivePointer();
}

// True when row r (0-based) is marked: bit r+1 of the 1-based bit vector.
inline bool marked(const BitVec& b, int r) { return b(static_cast<unsigned>(r) + 1); }

// Largest element handled by the one-pass element-row assembly.
constexpr int kMaxElemNodes = 64;

// Row-by-row product: st(y[i], (A x)[i], i) for every row.
template <class Store>
inline void csr_rows(int n, const int* rp, const int* ci, const double* a, const double* x, double* y,
                     Store st) {
  for (int i = 0; i < n; ++i) {
    double s = 0.0;
    for (int k = rp[i]; k < rp[i + 1]; ++k) s += a[k] * x[ci[k]];
    st(y[i], s, i);
  }
}

// Row-by-row off-diagonal product: st(y[i], sum over j != i of a_ij x[j], i).
template <class Store>
inline void csr_rows_off(int n, const int* rp, const int* ci, const double* a, const double* x, double* y,
                         Store st) {
  for (int i = 0; i < n; ++i) {
    double s = 0.0;
    for (int k = rp[i]; k < rp[i + 1]; ++k)
      if (ci[k] != i) s += a[k] * x[ci[k]];
    st(y[i], s, i);
  }
}

// Transposed scatter: y[j] += a_ij w(i) for every row i.
template <class Weight>
inline void csr_scatter(int n, const int* rp, const int* ci, const double* a, double* y, Weight w) {
  for (int i = 0; i < n; ++i) {
    const double xi = w(i);
    for (int k = rp[i]; k < rp[i + 1]; ++k) y[ci[k]] += a[k] * xi;
  }
}

// Symmetric product from the upper rows: y[r] += f(r) (A x)[r] for every row r.
template <class Factor>
inline void sym_rows(int n, int diag_first, const int* rp, const int* ci, const double* a, const double* x,
                     double* y, Factor f) {
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

// Symmetric off-diagonal product from the upper rows (y cleared by the caller).
inline void sym_rows_off(int n, const int* rp, const int* ci, const double* a, const double* x, double* y) {
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

void clear(double* y, int n) {
  for (int i = 0; i < n; ++i) y[i] = 0.0;
}

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
  for (int k = 0; k < nnz_; ++k) val_[k] = 0.0;
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

// Slot of (i, j) for assembly: the position of column j, or the first spare slot before it,
// claimed for j; a row without either is fatal.
static int claim_slot(const int* rp, int* ci, int sorted, int diag_first, int i, int j) {
  if (sorted) {
    const int k = FindInRow(rp, ci, diag_first, 1, i, j);
    if (k >= 0) return k;
  }
  int k = rp[i];
  while (k < rp[i + 1] && ci[k] >= 0 && ci[k] != j) ++k;
  if (k == rp[i + 1]) OLVU_FATAL("Wrong Row " << i << " definition: Row lenght " << rp[i + 1] - rp[i] << "\n");
  ci[k] = j;
  return k;
}

int SystemSparseMatrix::addToLhs(int i, int j, double v) {
  const int k = claim_slot(row_ptr_, col_ind_, sorted_, diag_first_, i, j);
  val_[k] += v;
  return k;
}

int SystemSparseMatrix::setToLhs(int i, int j, double v) {
  const int k = claim_slot(row_ptr_, col_ind_, sorted_, diag_first_, i, j);
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

void SystemSparseMatrix::Copy_Row_Col(int i, const SystemSparseMatrix& b) {
  if (col_ind_ == b.col_ind_) return;
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) col_ind_[k] = b.col_ind_[k];
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
  csr_scatter(dims_[0], row_ptr_, col_ind_, val_, y, [x](int i) { return x[i]; });
}
void SystemSparseMatrix::trans_mult(const ReaVec& x, ReaVec& y) { trans_mult(raw(x, dims_[0]), raw(y, dims_[1])); }
void SystemSparseMatrix::trans_mult(const ReaVecM& x, ReaVecM& y) { trans_mult(raw(x, dims_[0]), raw(y, dims_[1])); }
void SystemSparseMatrix::add_trans_mult(const double* x, double* y) const {
  csr_scatter(dims_[0], row_ptr_, col_ind_, val_, y, [x](int i) { return x[i]; });
}
void SystemSparseMatrix::add_trans_mult(const ReaVec& x, ReaVec& y) { add_trans_mult(raw(x, dims_[0]), raw(y, dims_[1])); }
void SystemSparseMatrix::sub_trans_mult(const double* x, double* y) const {
  csr_scatter(dims_[0], row_ptr_, col_ind_, val_, y, [x](int i) { return -x[i]; });
}
void SystemSparseMatrix::sub_trans_mult(const ReaVec& x, ReaVec& y) { sub_trans_mult(raw(x, dims_[0]), raw(y, dims_[1])); }
void SystemSparseMatrix::row_trans_mult(const double* d, const double* x, double* y) const {
  clear(y, dims_[1]);
  csr_scatter(dims_[0], row_ptr_, col_ind_, val_, y, [d, x](int i) { return d[i] * x[i]; });
}
void SystemSparseMatrix::row_trans_mult(const ReaVec& d, const ReaVec& x, ReaVec& y) {
  row_trans_mult(raw(d, dims_[0]), raw(x, dims_[0]), raw(y, dims_[1]));
}
void SystemSparseMatrix::add_row_trans_mult(const double* d, const double* x, double* y) const {
  csr_scatter(dims_[0], row_ptr_, col_ind_, val_, y, [d, x](int i) { return d[i] * x[i]; });
}
void SystemSparseMatrix::add_row_trans_mult(const ReaVec& d, const ReaVec& x, ReaVec& y) {
  add_row_trans_mult(raw(d, dims_[0]), raw(x, dims_[0]), raw(y, dims_[1]));
}
void SystemSparseMatrix::sub_row_trans_mult(const double* d, const double* x, double* y) const {
  csr_scatter(dims_[0], row_ptr_, col_ind_, val_, y, [d, x](int i) { return -(d[i] * x[i]); });
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

// New value of row i for A x = b from the current x: (b[i] - off-diagonal row sum) / a_ii, the value
// of full position k being a[pos[k]] (a[k] without a position map).
static inline double gs_value(const int* rp, const int* ci, const int* pos, const double* a, const double* x,
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
  const int k = claim_slot(row_ptr_, col_ind_, sorted_, diag_first_, i, j);
  val_[k] += v;
  return k;
}

int SymmetricSparseMatrix::setToLhs(int i, int j, double v) {
  if (i > j) return -1;
  const int k = claim_slot(row_ptr_, col_ind_, sorted_, diag_first_, i, j);
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

#define SYM_ROWS(...) sym_rows(dims_[0], diag_first_, row_ptr_, col_ind_, val_, x, y, __VA_ARGS__)

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
  sym_rows_off(dims_[0], row_ptr_, col_ind_, val_, x, y);
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
