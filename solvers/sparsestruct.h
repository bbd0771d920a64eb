// Compressed-row sparsity pattern shared by the sparse matrices of one domain or mesh.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "solvers/csrtable.h"

class ReaVec;

/// Position of column c in compressed row r (row pointers rp, columns ci), or -1: the row's first
/// position for the diagonal of a diagonal-first row, else a binary search of the columns after it
/// when the rows are sorted, else a linear search of the whole row.
int FindInRow(const int* rp, const int* ci, int diag_first, int sorted, int r, int c);

/// Column-wise index of compressed-row arrays: the entries of column c are ptr[c] .. ptr[c+1]-1,
/// each with its row and its position in the row arrays, rows ascending (positions ascending
/// within a row). A product with the transpose then gathers each result entry, adding its terms
/// in the order a row-by-row scatter adds them, so both give the same bits.
struct TransposedIndex {
  std::vector<int> ptr, row, pos;
  long version = -1;  // pattern version the index was built for
  /// Builds the index of nrows rows (rp, ci) over ncols columns; spare slots (column < 0) are left out.
  void Build(int nrows, int ncols, const int* rp, const int* ci);
};

/// Compressed-row sparsity pattern with its upper triangle and the full-to-upper position map;
/// also the node-neighbour table of its domain. Rows, columns and positions count from 0;
/// a ReaVec argument is read through its raw storage (entry k is node k+1).
class SparseMatrixStruct {
 public:
  /// Empty pattern in the filling state; every row list starts with room for 6 columns.
  SparseMatrixStruct(int nrows, int ncols, int diag_first, int sorted, int compress);
  /// Built pattern from a square integer adjacency (columns relative to its base).
  SparseMatrixStruct(const CSR<int>& adjacency, int diag_first, int sorted, int compress);
  virtual ~SparseMatrixStruct();
  SparseMatrixStruct(const SparseMatrixStruct&) = delete;
  SparseMatrixStruct& operator=(const SparseMatrixStruct&) = delete;

  /// Records position (row, col) while filling; returns its slot in the row list.
  int addPosition(int row, int col);
  /// Turns the row lists into the compressed-row arrays (once).
  void Build();
  /// Drops spare slots (column -1) from the full arrays (refused on a built pattern in use).
  void Compress();
  /// Sorts the columns of every row, the diagonal kept first when diag_first (refused on a
  /// built pattern in use).
  void Qsort();

  /// Address of row pointer i / column k of the full pattern.
  virtual int* row_ptr(int i) { return row_ptr_.data() + i; }
  virtual int* col_ind(int k) { return col_ind_.data() + k; }
  virtual const int* row_ptr(int i) const { return row_ptr_.data() + i; }
  virtual const int* col_ind(int k) const { return col_ind_.data() + k; }
  /// Address of upper row pointer i / upper column k / upper index of full position k.
  virtual int* srow_ptr(int i) { return srow_ptr_.data() + i; }
  virtual int* scol_ind(int k) { return scol_ind_.data() + k; }
  virtual int* spos_ind(int k) { return spos_ind_.data() + k; }
  virtual const int* srow_ptr(int i) const { return srow_ptr_.data() + i; }
  virtual const int* scol_ind(int k) const { return scol_ind_.data() + k; }
  virtual const int* spos_ind(int k) const { return spos_ind_.data() + k; }
  /// Dimensions (the argument is not used).
  virtual int nrows(int = 0) const { return nrows_; }
  virtual int ncols(int = 0) const { return ncols_; }
  /// Positions in full row i, and the address of its first column.
  virtual int row_size(int i) const { return row_ptr_[i + 1] - row_ptr_[i]; }
  virtual const int* col_vec(int i) const { return col_ind_.data() + row_ptr_[i]; }
  /// Positions in upper row i, and the address of its first column.
  virtual int srow_size(int i) const { return srow_ptr_[i + 1] - srow_ptr_[i]; }
  virtual const int* scol_vec(int i) const { return scol_ind_.data() + srow_ptr_[i]; }
  /// Number of positions of the full pattern.
  virtual int numnonzeros() const { return nnz_; }
  /// Walks row r with the caller's cursor k (start at 0): next column, or -1 at the end (k reset to 0).
  virtual int next_in_row(int r, int& k) const;
  /// Sets the assembly cursor on (r, c) for addValue(double) of every matrix on the pattern.
  virtual int set_current_position(int r, int c);
  /// Upper position of (min(r,c), max(r,c)); fatal when absent.
  virtual int give_sim_position(int r, int c) const;
  /// Full position of (r, c); fatal when absent.
  virtual int give_uns_position(int r, int c) const;
  /// Weighted neighbour average of v with weights w.
  virtual double row_smooth(int i, const ReaVec& v, const ReaVec& w) const;
  /// Weighted neighbour averages of a, b, c from their old values, stored into a[i], b[i], c[i].
  virtual void row_smooth(int i, ReaVec& a, ReaVec& b, ReaVec& c, const ReaVec& w) const;
  /// Minimum and maximum of v over the neighbours of i (1e100 and -1e100 when there is none).
  virtual void row_minmax(int i, const ReaVec& v, double& min, double& max) const;
  /// Smallest of v[k] and the neighbour values of v; 1e100 when there is no neighbour.
  virtual double row_min(int i, int k, const ReaVec& v) const;
  /// Smallest neighbour value of v; 1e100 when there is none.
  virtual double row_min(int i, const ReaVec& v) const;
  /// Smallest neighbour value of v in (x, 1e100); x when there is none.
  virtual double row_larger(int i, const ReaVec& v, double x) const;
  /// v[i] = mean of v over all columns of row i, the diagonal included.
  virtual void row_average(int i, ReaVec& v) const;

  /// 1 once Build has run.
  int built() const { return built_; }
  /// 1 when every row holds its diagonal first.
  int diag_first() const { return diag_first_; }
  /// 1 when the columns of every row (after the diagonal) ascend.
  int sorted() const { return sorted_; }
  /// Number of upper positions.
  int snnz() const { return snnz_; }
  /// Full and upper index of the assembly cursor (upper -1 below the diagonal).
  int current_position() const { return cur_pos_; }
  int current_sim_position() const { return cur_spos_; }
  /// 1 when every full position has its mirrored upper position.
  int mirrored() const { return mirrored_; }
  /// Number of matrices currently made on this pattern.
  int users() const { return *users_; }

  /// The count of matrices on the pattern: a matrix adds itself while it uses the pattern, so that
  /// an operation that rewrites the shared arrays can refuse when other matrices depend on them.
  /// The count is shared so that a matrix may outlive its pattern without touching freed memory.
  std::shared_ptr<int> user_count() const { return users_; }
  /// Column-wise index of the full (upper false) or upper (upper true) arrays, built on first use
  /// after every change of the pattern. Not to be called from inside a parallel region.
  const TransposedIndex& transposed(bool upper) const;
  /// Records that columns were written through a matrix (a claimed slot, a copied column array),
  /// so that the column-wise indexes are built again.
  void columns_changed() { ++version_; }

  /// Rebuilds the upper arrays and the position map after the full arrays were rewritten.
  void resync_from_full();
  /// Rebuilds the full arrays and the position map after the upper arrays were rewritten.
  void resync_from_upper();
  /// Recomputes the position map after columns moved inside their rows.
  void resync_positions();

  friend std::ostream& operator<<(std::ostream& os, const SparseMatrixStruct& s);
  friend class SparseMatrix;
  friend class SystemSparseMatrix;
  friend class SymmetricSparseMatrix;

 private:
  void build_upper();
  void build_positions();
  void refuse_if_used(const char* op) const;

  int nnz_ = 0;
  int built_ = 0;
  std::vector<int> row_ptr_;
  std::vector<int> col_ind_;
  int snnz_ = 0;
  std::vector<int> srow_ptr_;
  std::vector<int> scol_ind_;
  std::vector<int> spos_ind_;
  int nrows_ = 0;
  int ncols_ = 0;
  int diag_first_ = 0;
  int sorted_ = 0;
  int compress_ = 0;
  int cur_spos_ = -1;
  int cur_pos_ = -1;
  std::vector<std::vector<int>> rows_;  // row lists while filling
  std::shared_ptr<int> users_ = std::make_shared<int>(0);
  int mirrored_ = 1;
  long version_ = 0;                            // bumped whenever the arrays change
  mutable TransposedIndex full_t_, upper_t_;  // column-wise indexes, built on demand
};

/// Listing of the full and upper positions, 1-based.
std::ostream& operator<<(std::ostream& os, const SparseMatrixStruct& s);
