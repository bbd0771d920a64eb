// Sparse matrices over a shared sparsity pattern: the abstract base, the general matrix
// (one value per position) and the symmetric matrix (one value per upper position).
//
// Rows, columns and positions count from 0; a ReaVec argument is read through its raw
// storage, entry k being row k. A BitVec that marks rows (fixed unknowns, masks) keeps
// its own 1-based numbering: row r is bit r+1, so the first row is bit 1 and the last
// row of an n-row matrix is bit n.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "foundation/assert.h"
#include "solvers/sparsestruct.h"

class ReaVec;
class ReaVecM;
class IntVec;
class BitVec;
class Matrix;
class SystemSparseMatrix;
class SymmetricSparseMatrix;

/// Abstract sparse matrix: its own values over a borrowed compressed-row pattern.
class SparseMatrix {
 public:
  /// Empty matrix with no pattern and no values.
  SparseMatrix();
  /// Matrix of zeros over the full arrays of the pattern (built first if needed).
  explicit SparseMatrix(SparseMatrixStruct* s);
  /// Matrix over the same pattern with a copy of the values.
  SparseMatrix(const SparseMatrix& o);
  virtual ~SparseMatrix();

  /// Copies flags, sizes and values and takes the other's pattern arrays.
  SparseMatrix& operator=(const SparseMatrix& o);
  /// Scalar fill and scaling of every stored value.
  SparseMatrix& operator=(double x);
  SparseMatrix& operator+=(double x);
  SparseMatrix& operator-=(double x);
  SparseMatrix& operator*=(double x);
  SparseMatrix& operator/=(double x);

  /// Adds v at (i, j); returns the position.
  virtual int addToLhs(int i, int j, double v) = 0;
  /// Sets (i, j) to v; returns the position.
  virtual int setToLhs(int i, int j, double v) = 0;
  /// Adds the element matrix m over the pattern indices nodes(1..n).
  virtual void addToLhs(const IntVec& nodes, const Matrix& m) = 0;
  /// Adds v at (i, j) found by lookup; returns the position.
  virtual int addValue(int i, int j, double v) = 0;
  /// Adds v at the pattern's assembly cursor.
  virtual void addValue(double v) = 0;
  /// d[i] = sum of row i.
  virtual void lump(ReaVec& d) const = 0;

  /// Address of value k, row pointer i and column k as the matrix shows them (full rows);
  /// one past the last is a valid address. Checked only in checked builds.
  virtual double* val(int k) {
    OLVU_ASSERT(k >= 0 && k <= nnz_, "sparse value " << k << " outside 0.." << nnz_);
    return &val_[k];
  }
  virtual int* row_ptr(int i) {
    OLVU_ASSERT(i >= 0 && i <= dims_[0], "sparse row pointer " << i << " outside 0.." << dims_[0]);
    return &row_ptr_[i];
  }
  virtual int* col_ind(int k) {
    OLVU_ASSERT(k >= 0 && k <= nnz_, "sparse column " << k << " outside 0.." << nnz_);
    return &col_ind_[k];
  }
  /// True when the matrix holds no value.
  virtual int null() const { return nnz_ == 0; }
  virtual const double* val(int k) const {
    OLVU_ASSERT(k >= 0 && k <= nnz_, "sparse value " << k << " outside 0.." << nnz_);
    return &val_[k];
  }
  virtual const int* row_ptr(int i) const {
    OLVU_ASSERT(i >= 0 && i <= dims_[0], "sparse row pointer " << i << " outside 0.." << dims_[0]);
    return &row_ptr_[i];
  }
  virtual const int* col_ind(int k) const {
    OLVU_ASSERT(k >= 0 && k <= nnz_, "sparse column " << k << " outside 0.." << nnz_);
    return &col_ind_[k];
  }
  /// Rows (0) or columns (1).
  virtual int dim(int i) const { return dims_[i]; }
  virtual int size(int i) const { return dims_[i]; }
  /// Stored positions of row i, its first column and its first value (row checked only in checked builds).
  virtual int row_size(int i) const {
    OLVU_ASSERT(i >= 0 && i < dims_[0], "sparse row " << i << " outside 0.." << dims_[0] << "-1");
    return row_ptr_[i + 1] - row_ptr_[i];
  }
  virtual const int* col_vec(int i) const {
    OLVU_ASSERT(i >= 0 && i < dims_[0], "sparse row " << i << " outside 0.." << dims_[0] << "-1");
    return &col_ind_[row_ptr_[i]];
  }
  virtual const double* val_vec(int i) const {
    OLVU_ASSERT(i >= 0 && i < dims_[0], "sparse row " << i << " outside 0.." << dims_[0] << "-1");
    return &val_[row_ptr_[i]];
  }
  /// Number of stored values.
  virtual int numnonzeros() const { return nnz_; }
  /// Scale figure of the diagonal: sqrt(min |a_ii| max |a_ii|), or 1 when either is below 1e-14.
  virtual double figure() const;
  /// Sets every value to 0.
  virtual void NullifyMatrix();
  /// Sets the values of row i to 0.
  virtual void NullifyRow(int i);
  /// Removes the positions whose value is below tol in absolute value (refused on a shared pattern).
  virtual void Compact(double tol);
  /// Removes the spare positions (column -1) (refused on a shared pattern).
  virtual void Compress();
  /// Sorts every row's columns with their values (refused on a shared, unsorted pattern).
  virtual void Qsort();
  /// Reference to the value at (i, j); fatal when absent.
  double& operator()(int i, int j) { return *at(i, j); }
  /// The value at (i, j); fatal when absent.
  double operator()(int i, int j) const { return *at(i, j); }
  /// Position of (i, j); fatal when absent.
  virtual int position(int i, int j) const;
  /// v[i] clamped to the range of its neighbour values.
  virtual double row_nxsmooth(int i, const ReaVec& v) const;
  /// Row-weighted average of v over the whole row.
  virtual double row_stsmooth(int i, const ReaVec& v) const;
  /// Inverse-value-weighted average of v over the whole row.
  virtual double row_insmooth(int i, const ReaVec& v) const;
  /// Row-weighted average of v over the neighbours.
  virtual double row_odsmooth(int i, const ReaVec& v) const;
  /// v[i] plus the neighbour difference of smallest magnitude.
  virtual double row_minmod(int i, const ReaVec& v) const;
  /// v[i] plus the superbee-limited neighbour difference.
  virtual double row_superbee(int i, const ReaVec& v) const;
  /// Reference to the diagonal value of row i; fatal when absent.
  double& diag(int i) { return *diag_at(i); }
  /// The diagonal value of row i; fatal when absent.
  double diag(int i) const { return *diag_at(i); }

  /// y = A x.
  virtual void mult(const ReaVec& x, ReaVec& y) = 0;
  virtual void mult(const ReaVecM& x, ReaVecM& y) = 0;
  virtual void mult(const double* x, double* y) const = 0;
  /// y = A^T x.
  virtual void trans_mult(const ReaVec& x, ReaVec& y) = 0;
  virtual void trans_mult(const ReaVecM& x, ReaVecM& y) = 0;
  virtual void trans_mult(const double* x, double* y) const = 0;
  /// One forward / backward Gauss-Seidel sweep for A x = b.
  virtual void Gauss_Seidel_Iteration(double* x, const double* b) const = 0;
  virtual void IGauss_Seidel_Iteration(double* x, const double* b) const = 0;
  /// y += A x.
  virtual void add_mult(const ReaVec& x, ReaVec& y) = 0;
  virtual void add_mult(const double* x, double* y) const = 0;
  /// y -= A x.
  virtual void sub_mult(const ReaVec& x, ReaVec& y) = 0;
  virtual void sub_mult(const double* x, double* y) const = 0;
  /// y[i] = sum over j != i of a_ij x[j].
  virtual void mult_off_diagonal(const double* x, double* y) const;
  virtual ReaVec& mult_off_diagonal(const ReaVec& x, ReaVec& y);
  /// d[i] = sum of row i.
  virtual void lump(double* d) const = 0;
  /// d[i] = a_ii; with flag != 0 the diagonal is then set to 0.
  virtual void copy_diagonal(ReaVec& d, int flag);
  /// Exchanges the diagonal with d.
  virtual void read_diagonal(ReaVec& d);
  virtual void read_diagonal(double* d);
  /// Listing of row i, and of row i applied to v.
  virtual void printRowTo(std::ostream& os, int i) const;
  virtual void printRowTo(std::ostream& os, int i, const ReaVec& v) const;

  /// The borrowed pattern.
  SparseMatrixStruct* structure() const { return structure_; }
  /// 1 when every row holds its diagonal first / its other columns ascending.
  int diag_first() const { return diag_first_; }
  int sorted() const { return sorted_; }
  /// Full-row view for kernels: row pointers, columns, and the value index of each full
  /// position (null when value k belongs to full position k, as in the general matrix).
  const int* full_row_ptr() const { return frow_ptr_; }
  const int* full_col_ind() const { return fcol_ind_; }
  const int* full_pos() const { return fpos_; }
  int full_nnz() const { return fnnz_; }

  friend std::ostream& operator<<(std::ostream& os, const SparseMatrix& m);

 protected:
  /// Address of the value at (i, j); fatal when absent. Only the accessors above hand it out,
  /// writable from a non-const matrix alone.
  virtual double* at(int i, int j) const;
  /// Address of the diagonal value of row i; fatal when absent.
  double* diag_at(int i) const;
  /// Value of full position k.
  double fval(int k) const { return fpos_ ? val_[fpos_[k]] : val_[k]; }
  /// Position of (i, j) in the matrix's own arrays by the pattern's lookup, or -1.
  int find(int i, int j) const;
  /// Position of the diagonal of row i in the matrix's own arrays, or -1.
  int diag_pos(int i) const;
  /// Adds an element matrix over the pattern indices nodes(1..n), only entries not below the
  /// diagonal when upper_only.
  void add_element(const IntVec& nodes, const Matrix& m, bool upper_only);
  /// Refuses an operation that rewrites shared pattern arrays while other matrices use them.
  void require_private_pattern(const char* op) const;
  /// Takes the pattern's arrays again after they were rewritten.
  virtual void retake_pattern();
  /// Registers with a pattern (or none) and sets the full-row view from its full arrays.
  void bind(SparseMatrixStruct* s);
  /// Counts the matrix among the users of s (or of no pattern) instead of its former pattern's.
  void use_pattern(SparseMatrixStruct* s);

  SparseMatrixStruct* structure_ = nullptr;
  double* val_ = nullptr;
  int* row_ptr_ = nullptr;
  int* col_ind_ = nullptr;
  int diag_first_ = 0;
  int sorted_ = 0;
  int nnz_ = 0;
  int dims_[2] = {0, 0};
  std::vector<double> vals_;  // owned storage behind val_
  int* frow_ptr_ = nullptr;
  int* fcol_ind_ = nullptr;
  int* fpos_ = nullptr;
  int fnnz_ = 0;
  std::shared_ptr<int> pattern_users_;  // user count of the pattern, kept alive with the matrix

 private:
  void remove_positions(const char* op, bool (*drop)(int col, double v, double tol), double tol);
};

/// Listing of every stored value with its 1-based row and column.
std::ostream& operator<<(std::ostream& os, const SparseMatrix& m);

/// General sparse matrix: one value per full position of the pattern.
class SystemSparseMatrix : public SparseMatrix {
 public:
  /// Matrix of zeros over the pattern.
  explicit SystemSparseMatrix(SparseMatrixStruct* s);
  /// Copy over the same pattern with its own values.
  explicit SystemSparseMatrix(const SystemSparseMatrix* o);
  SystemSparseMatrix(const SystemSparseMatrix& o);
  SystemSparseMatrix& operator=(const SystemSparseMatrix& o);
  SystemSparseMatrix& operator=(double x);
  SystemSparseMatrix& operator+=(double x);
  SystemSparseMatrix& operator-=(double x);
  SystemSparseMatrix& operator*=(double x);
  SystemSparseMatrix& operator/=(double x);

  using SparseMatrix::lump;
  using SparseMatrix::mult;
  using SparseMatrix::mult_off_diagonal;

  // Assembly.
  int addToLhs(int i, int j, double v) override;
  int setToLhs(int i, int j, double v) override;
  void addToLhs(const IntVec& nodes, const Matrix& m) override;
  int addValue(int i, int j, double v) override;
  void addValue(double v) override;
  int position(int i, int j) const override;

  // Fixed unknowns.
  /// The first position of row i becomes (i, 1.0), in the shared pattern too.
  virtual void Fix_Row(int i);
  /// Row i becomes an identity row.
  virtual void Fix_AllRow(int i);
  /// Row i becomes an identity row and rhs[i] = v.
  virtual void Fix_AllRow(int i, double v, ReaVec& rhs);
  /// As Fix_AllRow, and v times column i moved to the right-hand side of the coupled rows.
  virtual void Fix_AllRowCol(int i, double v, ReaVec& rhs);
  /// Eliminates the fixed unknowns (bit i+1 of fixed set; bits beyond its length clear), keeping
  /// a symmetric matrix symmetric: every free row moves a_ij x[j] of a fixed column j to rhs[i]
  /// and clears it, every fixed row becomes an identity row with rhs[i] = x[i].
  void Fix_Eliminate(const BitVec& fixed, const ReaVec& x, ReaVec& rhs);
  /// Zeros the couplings (i, j), j != i, where bit i+1 of a differs from bit j+1 of b.
  virtual void Disconect(const BitVec& a, const BitVec& b);

  // Lumping and sums.
  void lump(double* d) const override;
  void lump(ReaVec& d) const override;
  /// d[i] /= sum of row i where that sum is not 0.
  void quot_lump(double* d) const;
  void quot_lump(ReaVec& d) const;
  /// Adds the row sums of b to the diagonal.
  void add_lump(const SystemSparseMatrix* b);
  void add_lump(const SystemSparseMatrix& b);
  /// Sum of all values / of their absolute values.
  double sum() const;
  double sum_abs() const;

  // Whole-matrix combinations over the same pattern.
  void add(const SystemSparseMatrix* b);
  void add(const SystemSparseMatrix& b);
  void add(const SymmetricSparseMatrix* s);
  void copy_val(const SystemSparseMatrix* b);
  void copy_val(const SystemSparseMatrix& b);
  void copy_val(const SymmetricSparseMatrix* s);
  /// Values and column array copied from b.
  void copy(const SystemSparseMatrix* b);
  void copy(const SystemSparseMatrix& b);
  /// Column array copied from b.
  void copy_col(const SystemSparseMatrix* b);
  void copy_col(const SystemSparseMatrix& b);
  /// this = x s / this = x b; this += x b; this -= x b.
  void product(const SymmetricSparseMatrix* s, double x);
  void product(const SystemSparseMatrix* b, double x);
  void product(const SystemSparseMatrix& b, double x);
  void product_add(const SystemSparseMatrix* b, double x);
  void product_add(const SystemSparseMatrix& b, double x);
  void product_sub(const SystemSparseMatrix* b, double x);
  void product_sub(const SystemSparseMatrix& b, double x);
  /// this = / += / -= b / x.
  void quotient(const SystemSparseMatrix* b, double x);
  void quotient(const SystemSparseMatrix& b, double x);
  void quotient_add(const SystemSparseMatrix* b, double x);
  void quotient_add(const SystemSparseMatrix& b, double x);
  void quotient_sub(const SystemSparseMatrix* b, double x);
  void quotient_sub(const SystemSparseMatrix& b, double x);
  /// Every value times / divided by x.
  void product(double x);
  void quotient(double x);
  /// Row i times d[i]; each value times d[its column].
  void row_mult(const ReaVec& d);
  void col_mult(const ReaVec& d);
  /// this = / += / -= diag(d) b (or s).
  void row_mult(const ReaVec& d, const SystemSparseMatrix* b);
  void row_mult(const ReaVec& d, const SystemSparseMatrix& b);
  void row_mult(const ReaVec& d, const SymmetricSparseMatrix* s);
  void row_mult_add(const ReaVec& d, const SystemSparseMatrix* b);
  void row_mult_add(const ReaVec& d, const SystemSparseMatrix& b);
  void row_mult_add(const ReaVec& d, const SymmetricSparseMatrix* s);
  void row_mult_sub(const ReaVec& d, const SystemSparseMatrix* b);
  void row_mult_sub(const ReaVec& d, const SystemSparseMatrix& b);
  /// this = / += / -= b (or s) diag(d).
  void col_mult(const ReaVec& d, const SystemSparseMatrix* b);
  void col_mult(const ReaVec& d, const SystemSparseMatrix& b);
  void col_mult_add(const ReaVec& d, const SystemSparseMatrix* b);
  void col_mult_add(const ReaVec& d, const SystemSparseMatrix& b);
  void col_mult_sub(const ReaVec& d, const SystemSparseMatrix* b);
  void col_mult_sub(const ReaVec& d, const SystemSparseMatrix& b);
  void col_mult_add(const ReaVec& d, const SymmetricSparseMatrix* s);
  /// a_ij += b_ij (d[i] + d[j]) / 2.
  void rc_mult_add(const ReaVec& d, const SystemSparseMatrix* b);
  void rc_mult_add(const ReaVec& d, const SystemSparseMatrix& b);
  /// a_ij += s_ij sqrt(d[i] d[j]).
  void rc_mult_add(const ReaVec& d, const SymmetricSparseMatrix* s);
  /// a_ij = b_ji.
  void add_trans(const SystemSparseMatrix* b);
  void add_trans(const SystemSparseMatrix& b);
  /// a_ii += a[i] b[i].
  void row_mult_add(const ReaVec& a, const ReaVec& b);
  /// a_ii += v[i].
  void diag_vect_add(const ReaVec& v);
  /// a_ii += a[i] b[i], off-diagonal values set to 0.
  void row_mult(const ReaVec& a, const ReaVec& b);
  /// a_ii += x v[i], off-diagonal values set to 0.
  void mult(double x, const ReaVec& v);
  /// Row i times x, the diagonal excepted when flag != 0.
  void Multiply_Row(int i, double x, int flag);
  /// Row i times x.
  void mult_row(int i, double x);
  /// Off-diagonal values of row i times x; returns a_ii.
  double mult_row_off_diagonal(int i, double x);
  /// Row i = n(1) a + n(2) b + n(3) c.
  void Copy_Row_Val(int i, const ReaVec& n, const SystemSparseMatrix& a, const SystemSparseMatrix& b,
                    const SystemSparseMatrix& c);
  /// Row i = x a + n(1) b + n(2) c + n(3) d.
  void Copy_Row_Val(int i, double x, const SystemSparseMatrix& a, const ReaVec& n,
                    const SystemSparseMatrix& b, const SystemSparseMatrix& c, const SystemSparseMatrix& d);
  /// Row i = x times row i of b.
  void Copy_Row_Val(int i, const SystemSparseMatrix& b, double x);
  /// Rows whose bit is set copied from b.
  void Copy_Row_Val(const BitVec& m, const SystemSparseMatrix& b);
  /// Column numbers of row i copied from b.
  void Copy_Row_Col(int i, const SystemSparseMatrix& b);

  // Products.
  void mult(const ReaVec& x, ReaVec& y) override;
  void mult(const ReaVecM& x, ReaVecM& y) override;
  void mult(const double* x, double* y) const override;
  /// y = A x, but y[i] = x[i] for an empty row.
  void mult_filled_rows(const double* x, double* y) const;
  void mult_filled_rows(const ReaVec& x, ReaVec& y);
  /// y[i] = (A x)[i] for the rows whose bit is set.
  void mult_some(const BitVec& m, const double* x, double* y) const;
  void mult_some(const BitVec& m, const ReaVec& x, ReaVec& y);
  void add_mult(const ReaVec& x, ReaVec& y) override;
  void add_mult(const double* x, double* y) const override;
  void sub_mult(const ReaVec& x, ReaVec& y) override;
  void sub_mult(const double* x, double* y) const override;
  /// y += s A x.
  void add_mult(const double* x, double* y, double s) const;
  void add_mult(const ReaVec& x, ReaVec& y, double s);
  /// y = / += / -= s A x.
  void mult_prod(const double* x, double* y, double s) const;
  void mult_prod(const ReaVec& x, ReaVec& y, double s);
  void add_mult_prod(const double* x, double* y, double s) const;
  void add_mult_prod(const ReaVec& x, ReaVec& y, double s);
  void sub_mult_prod(const double* x, double* y, double s) const;
  void sub_mult_prod(const ReaVec& x, ReaVec& y, double s);
  /// y = / += / -= (A x) / s.
  void mult_quot(const double* x, double* y, double s) const;
  void mult_quot(const ReaVec& x, ReaVec& y, double s);
  void add_mult_quot(const double* x, double* y, double s) const;
  void add_mult_quot(const ReaVec& x, ReaVec& y, double s);
  void sub_mult_quot(const double* x, double* y, double s) const;
  void sub_mult_quot(const ReaVec& x, ReaVec& y, double s);
  /// y[i] += / -= sum over j != i of a_ij x[j].
  void add_mult_off_diagonal(const double* x, double* y) const;
  void add_mult_off_diagonal(const ReaVec& x, ReaVec& y);
  void sub_mult_off_diagonal(const double* x, double* y) const;
  void sub_mult_off_diagonal(const ReaVec& x, ReaVec& y);
  void mult_off_diagonal(const double* x, double* y) const override;
  /// y[i] = / += / -= d[i] (A x)[i].
  void row_mult(const double* d, const double* x, double* y) const;
  void row_mult(const ReaVec& d, const ReaVec& x, ReaVec& y);
  void add_row_mult(const double* d, const double* x, double* y) const;
  void add_row_mult(const ReaVec& d, const ReaVec& x, ReaVec& y);
  void sub_row_mult(const double* d, const double* x, double* y) const;
  void sub_row_mult(const ReaVec& d, const ReaVec& x, ReaVec& y);
  void trans_mult(const ReaVec& x, ReaVec& y) override;
  void trans_mult(const ReaVecM& x, ReaVecM& y) override;
  void trans_mult(const double* x, double* y) const override;
  /// y += / -= A^T x.
  void add_trans_mult(const double* x, double* y) const;
  void add_trans_mult(const ReaVec& x, ReaVec& y);
  void sub_trans_mult(const double* x, double* y) const;
  void sub_trans_mult(const ReaVec& x, ReaVec& y);
  /// y = / += / -= A^T (d .* x).
  void row_trans_mult(const double* d, const double* x, double* y) const;
  void row_trans_mult(const ReaVec& d, const ReaVec& x, ReaVec& y);
  void add_row_trans_mult(const double* d, const double* x, double* y) const;
  void add_row_trans_mult(const ReaVec& d, const ReaVec& x, ReaVec& y);
  void sub_row_trans_mult(const double* d, const double* x, double* y) const;
  void sub_row_trans_mult(const ReaVec& d, const ReaVec& x, ReaVec& y);
  /// (A v)[i]; the off-diagonal part of it; that part over the off-diagonal row sum.
  double mult_row(int i, const double* v) const;
  double mult_row(int i, const ReaVec& v) const;
  double mult_row_off_diagonal(int i, const double* v) const;
  double mult_row_off_diagonal(int i, const ReaVec& v) const;
  double normmult_row_off_diagonal(int i, const double* v) const;
  double normmult_row_off_diagonal(int i, const ReaVec& v) const;
  /// y[i] = x[i] / a_ii (0 where a_ii is 0); y[i] = x[i] a_ii.
  void diag_quot(const double* x, double* y) const;
  void diag_quot(const ReaVec& x, ReaVec& y);
  void diag_prod(const double* x, double* y) const;
  void diag_prod(const ReaVec& x, ReaVec& y);
  /// Symmetric diagonal scaling: d[i] = 1/sqrt(a_ii) (1 below tol), b *= d, a_ij *= d[i] d[j].
  void diag_pre(double* b, double* d, double tol);
  void diag_pre(ReaVec& b, ReaVec& d, double tol);
  /// v[i] = max(0, -c/d) over the off-diagonal positions with c > 0 here and d < 0 in s.
  void DMP(ReaVec& v, const SymmetricSparseMatrix* s) const;

  // Sweeps.
  void Gauss_Seidel_Iteration(double* x, const double* b) const override;
  void IGauss_Seidel_Iteration(double* x, const double* b) const override;
  /// One forward Gauss-Seidel / Jacobi sweep.
  void Gauss_Seidel_Iteration(ReaVec& x, const ReaVec& b);
  void Jacobi_Iteration(ReaVec& x, const ReaVec& b);
  /// One sweep over the rows whose bit is clear, relaxed by w (0: plain update).
  void Gauss_Seidel_Iteration(ReaVec& x, const ReaVec& b, const BitVec& fixed, double w);
  void Jacobi_Iteration(ReaVec& x, const ReaVec& b, const BitVec& fixed, double w);
  /// Up to `sweeps` sweeps; a row whose relative change falls below tol gets its bit set.
  void Gauss_Seidel_Iteration(ReaVec& x, const ReaVec& b, BitVec& fixed, int sweeps, double tol);
  /// Consistency of the compressed-row arrays.
  bool verify() const;

 protected:
  double* at(int i, int j) const override;
};

/// Symmetric sparse matrix stored by its upper triangle (one value per upper position).
class SymmetricSparseMatrix : public SparseMatrix {
 public:
  /// Matrix of zeros over the upper arrays of the pattern.
  explicit SymmetricSparseMatrix(SparseMatrixStruct* s);
  /// Copy over the same pattern with its own values.
  explicit SymmetricSparseMatrix(const SymmetricSparseMatrix* o);
  SymmetricSparseMatrix(const SymmetricSparseMatrix& o);
  SymmetricSparseMatrix& operator=(const SymmetricSparseMatrix& o);
  SymmetricSparseMatrix& operator=(double x);
  SymmetricSparseMatrix& operator+=(double x);
  SymmetricSparseMatrix& operator-=(double x);
  SymmetricSparseMatrix& operator*=(double x);
  SymmetricSparseMatrix& operator/=(double x);

  using SparseMatrix::mult_off_diagonal;

  // Full-row view through the accessors: value of full position k, full row pointers and columns
  // (checked only in checked builds; a value needs a stored full position).
  double* val(int k) override {
    OLVU_ASSERT(k >= 0 && k < fnnz_, "symmetric full position " << k << " outside 0.." << fnnz_ << "-1");
    return &val_[fpos_[k]];
  }
  const double* val(int k) const override {
    OLVU_ASSERT(k >= 0 && k < fnnz_, "symmetric full position " << k << " outside 0.." << fnnz_ << "-1");
    return &val_[fpos_[k]];
  }
  int* row_ptr(int i) override {
    OLVU_ASSERT(i >= 0 && i <= dims_[0], "sparse row pointer " << i << " outside 0.." << dims_[0]);
    return &frow_ptr_[i];
  }
  const int* row_ptr(int i) const override {
    OLVU_ASSERT(i >= 0 && i <= dims_[0], "sparse row pointer " << i << " outside 0.." << dims_[0]);
    return &frow_ptr_[i];
  }
  int* col_ind(int k) override {
    OLVU_ASSERT(k >= 0 && k <= fnnz_, "symmetric full column " << k << " outside 0.." << fnnz_);
    return &fcol_ind_[k];
  }
  const int* col_ind(int k) const override {
    OLVU_ASSERT(k >= 0 && k <= fnnz_, "symmetric full column " << k << " outside 0.." << fnnz_);
    return &fcol_ind_[k];
  }
  /// Upper value k, upper row pointer i and upper column k (one past the last is a valid address).
  double* sval(int k) { return SparseMatrix::val(k); }
  const double* sval(int k) const { return SparseMatrix::val(k); }
  int* srow_ptr(int i) { return SparseMatrix::row_ptr(i); }
  const int* srow_ptr(int i) const { return SparseMatrix::row_ptr(i); }
  int* scol_ind(int k) { return SparseMatrix::col_ind(k); }
  const int* scol_ind(int k) const { return SparseMatrix::col_ind(k); }

  // Assembly (entries below the diagonal are dropped).
  int addToLhs(int i, int j, double v) override;
  int setToLhs(int i, int j, double v) override;
  void addToLhs(const IntVec& nodes, const Matrix& m) override;
  int addValue(int i, int j, double v) override;
  void addValue(double v) override;
  int position(int i, int j) const override;

  // Products with the full symmetric matrix.
  void mult(const ReaVec& x, ReaVec& y) override;
  void mult(const ReaVecM& x, ReaVecM& y) override;
  void mult(const double* x, double* y) const override;
  void trans_mult(const ReaVec& x, ReaVec& y) override;
  void trans_mult(const ReaVecM& x, ReaVecM& y) override;
  void trans_mult(const double* x, double* y) const override;
  void add_mult(const ReaVec& x, ReaVec& y) override;
  void add_mult(const double* x, double* y) const override;
  void sub_mult(const ReaVec& x, ReaVec& y) override;
  void sub_mult(const double* x, double* y) const override;
  /// y += / -= s A x.
  void add_mult(const double* x, double* y, double s) const;
  void add_mult(const ReaVec& x, ReaVec& y, double s);
  void sub_mult(const double* x, double* y, double s) const;
  void sub_mult(const ReaVec& x, ReaVec& y, double s);
  /// y = / += / -= s A x.
  void mult_prod(const double* x, double* y, double s) const;
  void mult_prod(const ReaVec& x, ReaVec& y, double s);
  void add_mult_prod(const double* x, double* y, double s) const;
  void add_mult_prod(const ReaVec& x, ReaVec& y, double s);
  void sub_mult_prod(const double* x, double* y, double s) const;
  void sub_mult_prod(const ReaVec& x, ReaVec& y, double s);
  /// y = / += / -= (A x) / s.
  void mult_quot(const double* x, double* y, double s) const;
  void mult_quot(const ReaVec& x, ReaVec& y, double s);
  void add_mult_quot(const double* x, double* y, double s) const;
  void add_mult_quot(const ReaVec& x, ReaVec& y, double s);
  void sub_mult_quot(const double* x, double* y, double s) const;
  void sub_mult_quot(const ReaVec& x, ReaVec& y, double s);
  /// y = A x then y[i] *= d[i]; y[i] += / -= d[i] (A x)[i].
  void row_mult(const double* d, const double* x, double* y) const;
  void row_mult(const ReaVec& d, const ReaVec& x, ReaVec& y);
  void add_row_mult(const double* d, const double* x, double* y) const;
  void add_row_mult(const ReaVec& d, const ReaVec& x, ReaVec& y);
  void sub_row_mult(const double* d, const double* x, double* y) const;
  void sub_row_mult(const ReaVec& d, const ReaVec& x, ReaVec& y);
  void mult_off_diagonal(const double* x, double* y) const override;
  /// d[i] = sum of row i of the full matrix.
  void lump(double* d) const override;
  void lump(ReaVec& d) const override;
  /// (A v)[i]; its off-diagonal part; that part over the off-diagonal row sum.
  double mult_row(int i, const double* v) const;
  double mult_row(int i, const ReaVec& v) const;
  double mult_row_off_diagonal(int i, const double* v) const;
  double mult_row_off_diagonal(int i, const ReaVec& v) const;
  double normmult_row_off_diagonal(int i, const double* v) const;
  double normmult_row_off_diagonal(int i, const ReaVec& v) const;
  void Gauss_Seidel_Iteration(double* x, const double* b) const override;
  void IGauss_Seidel_Iteration(double* x, const double* b) const override;

 protected:
  double* at(int i, int j) const override;
  void retake_pattern() override;
  friend class SystemSparseMatrix;
};
