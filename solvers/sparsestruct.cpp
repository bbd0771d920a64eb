// Compressed-row sparsity pattern: filling, building, lookups and the node-neighbour utilities.
#include "solvers/sparsestruct.h"

#include <ios>

#include "foundation/error.h"
#include "foundation/qsort.h"
#include "foundation/reavec.h"

namespace {

constexpr int kRowChunk = 6;  // row-list growth step while filling

}  // namespace

SparseMatrixStruct::SparseMatrixStruct(int nrows, int ncols, int diag_first, int sorted, int compress)
    : nrows_(nrows), ncols_(ncols), diag_first_(diag_first), sorted_(sorted), compress_(compress) {
  if (nrows < 1 || ncols < 1) OLVU_FATAL("Wrong dimension data in SparseMatrixStruct\n");
  rows_.assign(nrows, std::vector<int>(kRowChunk, -1));
  if (diag_first) {
    for (int i = 0; i < nrows; ++i) rows_[i][0] = i;
    nnz_ = snnz_ = nrows;
  }
}

SparseMatrixStruct::SparseMatrixStruct(const CSR<int>& adj, int diag_first, int sorted, int compress)
    : diag_first_(diag_first), sorted_(0), compress_(compress) {
  if (!adj.valid()) OLVU_FATAL("Wrong CSR<int> data found in SparseMatrixStruct::SparseMatrixStruct\n");
  const int n = adj.nrows(), base = adj.base();
  const int* arp = adj.row_ptr();
  const int* acol = adj.entries();
  nrows_ = ncols_ = n;
  row_ptr_.assign(n + 1, 0);
  if (diag_first) {
    // Each row becomes its own index followed by its other columns in adjacency order.
    for (int i = 0; i < n; ++i) {
      if (arp[i + 1] == arp[i]) OLVU_FATAL("Wrong SparseMatrix initialisation with frdiag\n");
      int len = 1;
      for (int k = arp[i]; k < arp[i + 1]; ++k) len += (acol[k] - base != i);
      row_ptr_[i + 1] = row_ptr_[i] + len;
    }
    col_ind_.resize(row_ptr_[n]);
    for (int i = 0; i < n; ++i) {
      int p = row_ptr_[i];
      col_ind_[p++] = i;
      for (int k = arp[i]; k < arp[i + 1]; ++k)
        if (acol[k] - base != i) col_ind_[p++] = acol[k] - base;
    }
  } else {
    for (int i = 0; i <= n; ++i) row_ptr_[i] = arp[i];
    col_ind_.resize(row_ptr_[n]);
    for (int k = 0; k < row_ptr_[n]; ++k) col_ind_[k] = acol[k] - base;
  }
  nnz_ = row_ptr_[n];
  if (compress_) Compress();
  if (sorted) Qsort();
  build_upper();
  built_ = 1;
  build_positions();
}

SparseMatrixStruct::~SparseMatrixStruct() = default;

int SparseMatrixStruct::addPosition(int row, int col) {
  if (built_) OLVU_FATAL("SparseMatrixStruct addPosition(" << row + 1 << "," << col + 1 << ") on a built pattern\n");
  if (row < 0 || row >= nrows_ || col < 0 || col >= ncols_)
    OLVU_FATAL("SparseMatrixStruct addPosition(" << row + 1 << "," << col + 1 << ") out of the pattern\n");
  std::vector<int>& list = rows_[row];
  const int last = static_cast<int>(list.size()) - 1;
  int s = 0;
  while (s < last && list[s] >= 0) {
    if (list[s] == col) return s;
    ++s;
  }
  if (s == last) list.resize(list.size() + kRowChunk, -1);  // a row list always ends in a spare slot
  list[s] = col;
  ++nnz_;
  if (col >= row) ++snnz_;
  return s;
}

void SparseMatrixStruct::Build() {
  if (built_) return;
  col_ind_.assign(nnz_, -1);
  row_ptr_.assign(nrows_ + 1, 0);
  int p = 0;
  for (int i = 0; i < nrows_; ++i) {
    row_ptr_[i] = p;
    for (int c : rows_[i]) {
      if (c < 0) break;
      col_ind_[p++] = c;
    }
  }
  row_ptr_[nrows_] = p;
  if (compress_) Compress();
  if (sorted_) {
    sorted_ = 0;
    Qsort();
  }
  build_upper();
  built_ = 1;
  build_positions();
  rows_.clear();
  rows_.shrink_to_fit();
}

// Rewriting the arrays of a built pattern would misplace the values of the matrices made on it.
void SparseMatrixStruct::refuse_if_used(const char* op) const {
  if (built_ && *users_ > 0)
    OLVU_FATAL("SparseMatrixStruct::" << op << " refused: the pattern is used by " << *users_ << " matrices\n");
}

void SparseMatrixStruct::Compress() {
  if (built_) {
    bool spare = false;
    for (int c : col_ind_) spare = spare || c < 0;
    if (!spare) return;
    refuse_if_used("Compress");
  }
  int p = 0;
  for (int i = 0; i < nrows_; ++i) {
    const int start = row_ptr_[i], end = row_ptr_[i + 1];
    row_ptr_[i] = p;
    for (int k = start; k < end; ++k)
      if (col_ind_[k] >= 0) col_ind_[p++] = col_ind_[k];
  }
  row_ptr_[nrows_] = p;
  col_ind_.resize(p);
  col_ind_.shrink_to_fit();
  nnz_ = p;
  if (built_) resync_from_full();
}

void SparseMatrixStruct::Qsort() {
  if (sorted_) return;
  refuse_if_used("Qsort");
  const int skip = diag_first_ ? 1 : 0;
  for (int i = 0; i < nrows_; ++i) {
    const int first = row_ptr_[i] + skip, count = row_ptr_[i + 1] - first;
    if (count >= 2) QSort(col_ind_.data(), first, count);
  }
  sorted_ = 1;
  if (built_) resync_from_full();  // the upper rows follow the new full-row order
}

// Upper rows: the columns not below the row, in full-row order, up to a spare slot.
void SparseMatrixStruct::build_upper() {
  columns_changed();
  srow_ptr_.assign(nrows_ + 1, 0);
  int p = 0;
  for (int i = 0; i < nrows_; ++i) {
    srow_ptr_[i] = p;
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1] && col_ind_[k] >= 0; ++k) p += (col_ind_[k] >= i);
  }
  srow_ptr_[nrows_] = p;
  scol_ind_.assign(p, -1);
  p = 0;
  for (int i = 0; i < nrows_; ++i)
    for (int k = row_ptr_[i]; k < row_ptr_[i + 1] && col_ind_[k] >= 0; ++k)
      if (col_ind_[k] >= i) scol_ind_[p++] = col_ind_[k];
  snnz_ = p;
}

// Upper index of every full position. An upper position (r, c) also serves its mirror (c, r),
// which in sorted rows is met in ascending r by a cursor per row; any mirror the cursors miss
// is looked up (and reported when absent).
void SparseMatrixStruct::build_positions() {
  spos_ind_.assign(nnz_, -1);
  std::vector<int> cur(row_ptr_.begin(), row_ptr_.end() - 1);
  for (int r = 0; r < nrows_; ++r) {
    int s = srow_ptr_[r];
    for (int k = row_ptr_[r]; k < row_ptr_[r + 1]; ++k) {
      const int c = col_ind_[k];
      if (c < r) continue;
      spos_ind_[k] = s;
      if (c > r && c < nrows_) {
        int& q = cur[c];
        if (q < row_ptr_[c + 1] && col_ind_[q] == c) ++q;
        if (q < row_ptr_[c + 1] && col_ind_[q] == r) spos_ind_[q++] = s;
      }
      ++s;
    }
  }
  for (int r = 0; r < nrows_; ++r)
    for (int k = row_ptr_[r]; k < row_ptr_[r + 1]; ++k)
      if (spos_ind_[k] < 0 && col_ind_[k] >= 0) spos_ind_[k] = give_sim_position(r, col_ind_[k]);
}

void SparseMatrixStruct::resync_from_full() {
  nnz_ = row_ptr_[nrows_];
  build_upper();
  resync_positions();
}

// Full rows from the upper ones: the mirrored lower columns, the diagonal and the upper ones, the
// diagonal first in a diagonal-first pattern.
void SparseMatrixStruct::resync_from_upper() {
  std::vector<int> len(nrows_, 0);
  for (int r = 0; r < nrows_; ++r)
    for (int k = srow_ptr_[r]; k < srow_ptr_[r + 1]; ++k) {
      const int c = scol_ind_[k];
      ++len[r];
      if (c != r && c < nrows_) ++len[c];
    }
  row_ptr_.assign(nrows_ + 1, 0);
  for (int i = 0; i < nrows_; ++i) row_ptr_[i + 1] = row_ptr_[i] + len[i];
  col_ind_.assign(row_ptr_[nrows_], -1);
  std::vector<int> fill(row_ptr_.begin(), row_ptr_.end() - 1);
  auto put_diagonals = [&] {
    for (int i = 0; i < nrows_; ++i)
      for (int k = srow_ptr_[i]; k < srow_ptr_[i + 1]; ++k)
        if (scol_ind_[k] == i) col_ind_[fill[i]++] = i;
  };
  if (diag_first_) put_diagonals();  // the diagonal leads its row
  for (int r = 0; r < nrows_; ++r)   // lower columns in ascending order
    for (int k = srow_ptr_[r]; k < srow_ptr_[r + 1]; ++k) {
      const int c = scol_ind_[k];
      if (c != r && c < nrows_) col_ind_[fill[c]++] = r;
    }
  if (!diag_first_) put_diagonals();  // between the lower and the upper columns
  for (int r = 0; r < nrows_; ++r)
    for (int k = srow_ptr_[r]; k < srow_ptr_[r + 1]; ++k)
      if (scol_ind_[k] != r) col_ind_[fill[r]++] = scol_ind_[k];
  nnz_ = row_ptr_[nrows_];
  snnz_ = srow_ptr_[nrows_];
  resync_positions();
}

// Position map after an edit: a full position without an upper mirror maps to -1.
void SparseMatrixStruct::resync_positions() {
  columns_changed();
  cur_pos_ = cur_spos_ = -1;  // positions moved: the assembly cursor must be set again
  spos_ind_.assign(nnz_, -1);
  mirrored_ = 1;
  for (int r = 0; r < nrows_; ++r)
    for (int k = row_ptr_[r]; k < row_ptr_[r + 1]; ++k) {
      const int c = col_ind_[k];
      if (c < 0) continue;
      const int lo = c < r ? c : r, hi = c < r ? r : c;
      if (lo < nrows_) spos_ind_[k] = LSearch(hi, scol_ind_.data(), srow_ptr_[lo], srow_ptr_[lo + 1] - 1);
      if (spos_ind_[k] < 0) mirrored_ = 0;
    }
}

int FindInRow(const int* rp, const int* ci, int diag_first, int sorted, int r, int c) {
  const int first = rp[r], last = rp[r + 1] - 1;
  if (diag_first && r == c && last >= first) return first;
  if (sorted) return BSearch(c, ci, first + (diag_first ? 1 : 0), last);
  return LSearch(c, ci, first, last);
}

int SparseMatrixStruct::give_uns_position(int r, int c) const {
  const int k = (r >= 0 && r < nrows_) ? FindInRow(row_ptr_.data(), col_ind_.data(), diag_first_, sorted_, r, c) : -1;
  if (k < 0)
    OLVU_FATAL("SparseMatrixStruct give_uns_position(" << r + 1 << "," << c + 1
                                                       << ") error. Element not found.\n");
  return k;
}

int SparseMatrixStruct::give_sim_position(int r, int c) const {
  if (c < r) std::swap(r, c);
  const int k =
      (r >= 0 && r < nrows_) ? FindInRow(srow_ptr_.data(), scol_ind_.data(), diag_first_, sorted_, r, c) : -1;
  if (k < 0)
    OLVU_FATAL("SparseMatrixStruct give_sim_position(" << r + 1 << "," << c + 1
                                                       << ") error. Element not found.\n");
  return k;
}

int SparseMatrixStruct::set_current_position(int r, int c) {
  cur_pos_ = give_uns_position(r, c);
  cur_spos_ = (c < r) ? -1 : spos_ind_[cur_pos_];
  return cur_spos_;
}

int SparseMatrixStruct::next_in_row(int r, int& k) const {
  if (k < row_ptr_[r]) k = row_ptr_[r];
  if (k >= row_ptr_[r + 1]) {  // end of row, also for an empty row
    k = 0;
    return -1;
  }
  return col_ind_[k++];
}

void SparseMatrixStruct::row_minmax(int i, const ReaVec& v, double& min, double& max) const {
  min = 1e100;
  max = -1e100;
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) {
    const int j = col_ind_[k];
    if (j == i) continue;
    if (v[j] < min) min = v[j];
    if (v[j] > max) max = v[j];
  }
}

double SparseMatrixStruct::row_min(int i, int k, const ReaVec& v) const {
  double m = 1e100;
  bool any = false;
  for (int p = row_ptr_[i]; p < row_ptr_[i + 1]; ++p) {
    const int j = col_ind_[p];
    if (j == i) continue;
    any = true;
    if (v[j] < m) m = v[j];
  }
  if (!any) return 1e100;
  return v[k] < m ? v[k] : m;
}

double SparseMatrixStruct::row_min(int i, const ReaVec& v) const {
  double m = 1e100;
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) {
    const int j = col_ind_[k];
    if (j != i && v[j] < m) m = v[j];
  }
  return m;
}

double SparseMatrixStruct::row_larger(int i, const ReaVec& v, double x) const {
  double m = 1e100;
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) {
    const int j = col_ind_[k];
    if (j != i && x < v[j] && v[j] < m) m = v[j];
  }
  return m < 1e100 ? m : x;
}

double SparseMatrixStruct::row_smooth(int i, const ReaVec& v, const ReaVec& w) const {
  double s = 0, ws = 0;
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) {
    const int j = col_ind_[k];
    if (j == i) continue;
    s += w[j] * v[j];
    ws += w[j];
  }
  return s / (1e-14 + ws);
}

void SparseMatrixStruct::row_smooth(int i, ReaVec& a, ReaVec& b, ReaVec& c, const ReaVec& w) const {
  double sa = 0, sb = 0, sc = 0, ws = 0;
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) {
    const int j = col_ind_[k];
    if (j == i) continue;
    sa += w[j] * a[j];
    sb += w[j] * b[j];
    sc += w[j] * c[j];
    ws += w[j];
  }
  a[i] = sa / (1e-14 + ws);
  b[i] = sb / (1e-14 + ws);
  c[i] = sc / (1e-14 + ws);
}

void SparseMatrixStruct::row_average(int i, ReaVec& v) const {
  double s = 0;
  for (int k = row_ptr_[i]; k < row_ptr_[i + 1]; ++k) s += v[col_ind_[k]];
  v[i] = s / (row_size(i) + 1e-14);
}

std::ostream& operator<<(std::ostream& os, const SparseMatrixStruct& s) {
  if (!s.built_) return os << "SparseMatrixStruct not built" << std::endl;
  const std::ios_base::fmtflags flags = os.flags();
  const std::streamsize prec = os.precision();
  os.setf(std::ios::scientific, std::ios::floatfield);
  os.precision(12);
  auto list = [&os, &s](const std::vector<int>& rp, const std::vector<int>& ci) {
    for (int r = 0; r < s.nrows_; ++r)
      for (int k = rp[r]; k < rp[r + 1]; ++k) {
        os.width(14);
        os << r + 1 << " , ";
        os.width(14);
        os << ci[k] + 1 << "\n";
      }
  };
  os << "Non Symmetric data\n******************\n";
  list(s.row_ptr_, s.col_ind_);
  os << "  Symmetric data  \n******************\n";
  list(s.srow_ptr_, s.scol_ind_);
  os.flags(flags);
  os.precision(prec);
  return os;
}

void TransposedIndex::Build(int nrows, int ncols, const int* rp, const int* ci) {
  ptr.assign(ncols + 1, 0);
  for (int k = rp[0]; k < rp[nrows]; ++k)
    if (ci[k] >= 0) ++ptr[ci[k] + 1];
  for (int c = 0; c < ncols; ++c) ptr[c + 1] += ptr[c];
  row.resize(ptr[ncols]);
  pos.resize(ptr[ncols]);
  std::vector<int> fill(ptr.begin(), ptr.end() - 1);
  for (int r = 0; r < nrows; ++r)
    for (int k = rp[r]; k < rp[r + 1]; ++k)
      if (ci[k] >= 0) {
        const int t = fill[ci[k]]++;
        row[t] = r;
        pos[t] = k;
      }
}

const TransposedIndex& SparseMatrixStruct::transposed(bool upper) const {
  TransposedIndex& t = upper ? upper_t_ : full_t_;
  if (t.version != version_) {
    if (upper)
      t.Build(nrows_, ncols_, srow_ptr_.data(), scol_ind_.data());
    else
      t.Build(nrows_, ncols_, row_ptr_.data(), col_ind_.data());
    t.version = version_;
  }
  return t;
}
