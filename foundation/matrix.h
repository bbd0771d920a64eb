// Small dense row-major matrices of doubles (element matrices, Jacobians, rotations),
// their temporary twin MatrixT (buffer taken over by the receiver) and the lazy
// transposed view Transpose.
#pragma once

#include <cstdio>
#include <ostream>

#include "foundation/assert.h"

class ReaVec;
class ReaVecT;
class MatrixT;
class Transpose;

/// Dense row-major matrix: entry (i, j), 1-based, is data[(i-1)*ncols + (j-1)].
class Matrix {
 public:
  int nrows = 0;           ///< number of rows
  int ncols = 0;           ///< number of columns
  int size = 0;            ///< nrows*ncols; 0 for an empty matrix
  double* data = nullptr;  ///< size entries, row-major, owned

  // ---- construction and assignment ----
  /// Empty matrix.
  constexpr Matrix() noexcept {}
  /// r x c entries, not initialised; a non-positive size ends the run.
  Matrix(int r, int c);
  /// Deep copy.
  Matrix(const Matrix& a);
  /// Takes over m's buffer; m is left empty.
  Matrix(MatrixT& m) noexcept;
  /// Takes over m's buffer; m is left empty.
  Matrix(MatrixT&& m) noexcept;
  /// One column holding v.
  explicit Matrix(const ReaVec& v);
  ~Matrix();

  /// Copy; a new buffer only when the entry counts differ.
  Matrix& operator=(const Matrix& a);
  /// Releases the own buffer and takes over m's.
  Matrix& operator=(MatrixT& m) noexcept;
  /// Releases the own buffer and takes over m's.
  Matrix& operator=(MatrixT&& m) noexcept;
  /// Every entry := v; an empty matrix ends the run.
  Matrix& operator=(double v);
  /// New shape r x c; the entries stay when r*c equals size, else they are unset.
  void redimension(int r, int c);

  /// Entry (i, j), 1-based; checked only in checked builds.
  double& operator()(int i, int j) {
    OLVU_ASSERT(i >= 1 && i <= nrows && j >= 1 && j <= ncols,
                "Matrix entry (" << i << ", " << j << ") outside " << nrows << " x " << ncols);
    return data[(i - 1) * ncols + (j - 1)];
  }
  /// Entry (i, j), 1-based; checked only in checked builds.
  const double& operator()(int i, int j) const {
    OLVU_ASSERT(i >= 1 && i <= nrows && j >= 1 && j <= ncols,
                "Matrix entry (" << i << ", " << j << ") outside " << nrows << " x " << ncols);
    return data[(i - 1) * ncols + (j - 1)];
  }

  // ---- elementwise ----
  /// Negated copy.
  MatrixT operator-() const;
  /// Adds x to every entry.
  Matrix& operator+=(double x);
  /// Subtracts x from every entry.
  Matrix& operator-=(double x);
  /// Multiplies every entry by x.
  Matrix& operator*=(double x);
  /// Divides every entry by x.
  Matrix& operator/=(double x);
  /// this += B (an empty target becomes a copy of B).
  Matrix& operator+=(const Matrix& B);
  /// this -= B.
  Matrix& operator-=(const Matrix& B);

  // ---- member products: the target already has the result's shape; x applied unless 1 ----
  /// this = x A B.
  void product(const Matrix& A, const Matrix& B, double x = 1.0);
  /// this += x A B.
  void add_product(const Matrix& A, const Matrix& B, double x = 1.0);
  /// this -= x A B.
  void sub_product(const Matrix& A, const Matrix& B, double x = 1.0);
  /// this = x A^T B.
  void trans_product(const Matrix& A, const Matrix& B, double x = 1.0);
  /// this += x A^T B.
  void add_trans_product(const Matrix& A, const Matrix& B, double x = 1.0);
  /// this -= x A^T B.
  void sub_trans_product(const Matrix& A, const Matrix& B, double x = 1.0);
  /// this = x A B^T.
  void product_trans(const Matrix& A, const Matrix& B, double x = 1.0);
  /// this += x A B^T.
  void add_product_trans(const Matrix& A, const Matrix& B, double x = 1.0);
  /// this -= x A B^T.
  void sub_product_trans(const Matrix& A, const Matrix& B, double x = 1.0);
  /// this = x A^T B^T.
  void trans_product_trans(const Matrix& A, const Matrix& B, double x = 1.0);
  /// this += x A^T B^T.
  void add_trans_product_trans(const Matrix& A, const Matrix& B, double x = 1.0);
  /// this -= x A^T B^T.
  void sub_trans_product_trans(const Matrix& A, const Matrix& B, double x = 1.0);
  /// this = x A over this matrix's entries.
  void product(const Matrix& A, double x);
  /// this += x A over this matrix's entries.
  void add_product(const Matrix& A, double x);
  /// this -= x A over this matrix's entries.
  void sub_product(const Matrix& A, double x);

  /// Column j as a vector.
  ReaVecT GiveColumn(int j) const;
  /// A A^T.
  MatrixT multt() const;

  // ---- sub-matrices and assembly ----
  /// Rows r1..r2, columns c1..c2 as a new matrix.
  MatrixT subMatrix(int r1, int c1, int r2, int c2) const;
  /// Places B with its (1,1) entry at (row, col), growing this matrix when needed.
  void AddSubMatrix(int row, int col, const Matrix& B);
  /// Row i := the first ncols entries of v.
  void copyrow(const ReaVec& v, int i);
  /// Row i *= x; 0, or -1 (with a warning) for an empty matrix or a wrong row.
  int rowmult(int i, double x);

  // ---- reductions ----
  /// Sum of the diagonal of a square matrix.
  double trace() const;
  /// Sum of data[k] for k = 0, nrows+1, 2(nrows+1), ... below size.
  double sumDiagVal() const;
  /// Largest signed column sum, at least 0.
  double colNorm() const;
  /// Largest signed row sum, at least 0.
  double rowNorm() const;
  /// Sum of squares.
  double sumSquare() const;
  /// sqrt of the sum of squares.
  double norm() const;
  /// Sum of squares (0 for an empty matrix).
  double contract() const;
  /// Sum of |entry|.
  double sumAbsVal() const;
  /// Largest |entry|, at least 0.
  double maxAbsVal() const;
  /// Column (1-based) of the first largest |entry| of row i.
  int maxAbsRow(int i) const;
  /// Sum of row i.
  double sumRow(int i) const;
  /// Sum of all entries.
  double sumVal() const;
  /// Row sums as an nrows x 1 matrix.
  MatrixT rowSumVal() const;
  /// 1 when every entry is exactly 0 (0 for an empty matrix).
  int isZero() const;

  // ---- in-place transformations ----
  /// Entries with |a| <= x become 0.
  void scorn(double x);
  /// Each row's sum onto its diagonal entry, the rest of the row 0 (square matrices).
  void lumping();
  /// (i,j) and (j,i) both become their mean.
  void symmetrise();

  // ---- input and output ----
  /// size raw doubles, row-major, native byte order.
  void WriteBinary(FILE* f) const;
  /// One line per row, each entry "%lf  ".
  void WriteAscii(FILE* f) const;
  /// nrows*ncols numbers into the existing shape; short or malformed text ends the run.
  void ReadAscii(FILE* f);

  // ---- inverse, determinant, factorisation, rotations ----
  /// The inverse (closed forms up to order 4, Gauss-Jordan beyond); singular is fatal.
  MatrixT i() const;
  /// this := inverse of a; with fatal = 0 a closed-form failure leaves this matrix empty.
  Matrix& i(const Matrix& a, int fatal);
  /// Determinant, orders 1 to 4.
  double det() const;
  /// Crout factors: L on and below the diagonal, U (unit diagonal not stored) above.
  MatrixT LU() const;
  /// Solves this x = b by elimination (overwrites this and b); 0 on success, 1 when singular.
  int LinSolve(ReaVec& b, ReaVec& x);
  /// 3x3 z-x-z Euler rotation of v (angles, or their cosines when angles = 0).
  void RotationEuler(const ReaVec& v, int angles);
  /// Euler angles of the frame (x, y, z) into e, and the matching rotation.
  void GiveRotationMatrixFromAxes(const ReaVec& x, const ReaVec& y, const ReaVec& z, ReaVec& e);
  /// Right-handed frame (u, v, z) around the axis z, as columns.
  void GiveRotationMatrixFromZAxis(const ReaVec& z);
  /// Right-handed frame (x, u, v) around the axis x, as columns.
  void GiveRotationMatrixFromXAxis(const ReaVec& x);
};

/// Result in transit: constructing or assigning a Matrix from it takes its buffer over.
class MatrixT : public Matrix {
 public:
  /// Empty temporary.
  constexpr MatrixT() noexcept {}
  /// r x c entries, not initialised.
  MatrixT(int r, int c) : Matrix(r, c) {}
  /// Deep copy.
  MatrixT(const MatrixT& m) : Matrix(m) {}
  /// Deep copy of a matrix.
  explicit MatrixT(const Matrix& m) : Matrix(m) {}
  /// Takes over m's buffer.
  MatrixT(MatrixT&& m) noexcept : Matrix(m) {}

  /// Copy; a new buffer only when the entry counts differ.
  MatrixT& operator=(const Matrix& a) {
    Matrix::operator=(a);
    return *this;
  }
  /// Copy; a new buffer only when the entry counts differ.
  MatrixT& operator=(const MatrixT& a) {
    Matrix::operator=(static_cast<const Matrix&>(a));
    return *this;
  }
  /// Takes over m's buffer; nothing on self-assignment.
  MatrixT& operator=(MatrixT& m) noexcept {
    if (this != &m) Matrix::operator=(m);
    return *this;
  }
  /// Takes over m's buffer; nothing on self-assignment.
  MatrixT& operator=(MatrixT&& m) noexcept {
    if (this != &m) Matrix::operator=(m);
    return *this;
  }
  /// Every entry := v; an empty matrix ends the run.
  MatrixT& operator=(double v) {
    Matrix::operator=(v);
    return *this;
  }
  /// Negates in place and returns itself.
  MatrixT& operator-();
  /// Adds x to every entry.
  MatrixT& operator+=(double x) {
    Matrix::operator+=(x);
    return *this;
  }
  /// Subtracts x from every entry.
  MatrixT& operator-=(double x) {
    Matrix::operator-=(x);
    return *this;
  }
  /// Multiplies every entry by x.
  MatrixT& operator*=(double x) {
    Matrix::operator*=(x);
    return *this;
  }
  /// Divides every entry by x.
  MatrixT& operator/=(double x) {
    Matrix::operator/=(x);
    return *this;
  }
  /// this += B.
  MatrixT& operator+=(const Matrix& B) {
    Matrix::operator+=(B);
    return *this;
  }
  /// this -= B.
  MatrixT& operator-=(const Matrix& B) {
    Matrix::operator-=(B);
    return *this;
  }
  /// this(i,j) += T(i,j).
  MatrixT& operator+=(const Transpose& T);
  /// this(i,j) -= T(i,j).
  MatrixT& operator-=(const Transpose& T);
};

/// Transposed view of a matrix's row-major buffer (borrowed, or owned after an operation).
/// nrows and ncols are the SOURCE shape; the view shows ncols x nrows.
class Transpose {
 public:
  int nrows = 0;           ///< rows of the source
  int ncols = 0;           ///< columns of the source
  int size = 0;            ///< nrows*ncols
  int owned = 0;           ///< 1 when the view owns data
  double* data = nullptr;  ///< the source's buffer, or the view's own in the same order

  /// Borrowing view of A (valid while A keeps its buffer).
  explicit Transpose(const Matrix& A) noexcept : nrows(A.nrows), ncols(A.ncols), size(A.size), data(A.data) {}
  /// Owning view of buf, a source-shaped r x c buffer.
  Transpose(int r, int c, double* buf) noexcept : nrows(r), ncols(c), size(r * c), owned(1), data(buf) {}
  /// Copy: an owning view copies its buffer, a borrowing one borrows the same.
  Transpose(const Transpose& T);
  /// Takes over T's buffer and ownership.
  Transpose(Transpose&& T) noexcept;
  Transpose& operator=(const Transpose& T);
  Transpose& operator=(Transpose&& T) noexcept;
  /// Releases data when owned.
  ~Transpose();

  /// Entry (i, j) of the view, 1-based; checked only in checked builds.
  double operator()(int i, int j) const {
    OLVU_ASSERT(i >= 1 && i <= ncols && j >= 1 && j <= nrows,
                "Transpose entry (" << i << ", " << j << ") outside " << ncols << " x " << nrows);
    return data[(j - 1) * ncols + (i - 1)];
  }
  /// Rows of the view.
  int rows() const { return ncols; }
  /// Columns of the view.
  int cols() const { return nrows; }

  /// Negates the shown entries (a borrowing view first takes a buffer of its own).
  Transpose& operator-();
  /// The explicit transposed matrix (ncols x nrows).
  operator MatrixT() const;
  /// The untransposed matrix; an owning view hands its buffer over and stops owning it.
  MatrixT t();
  /// Turns the view into the inverse of the shown matrix.
  void i();
};

// ---- elementwise free operations (new results) ----
/// A + x.
MatrixT operator+(const Matrix& A, double x);
/// A - x.
MatrixT operator-(const Matrix& A, double x);
/// A * x.
MatrixT operator*(const Matrix& A, double x);
/// A / x.
MatrixT operator/(const Matrix& A, double x);
/// A + B.
MatrixT operator+(const Matrix& A, const Matrix& B);
/// A - B.
MatrixT operator-(const Matrix& A, const Matrix& B);
/// A + T.
MatrixT operator+(const Matrix& A, const Transpose& T);
/// A - T.
MatrixT operator-(const Matrix& A, const Transpose& T);
/// T - A.
MatrixT operator-(const Transpose& T, const Matrix& A);
/// M := A - M in place; returns M.
MatrixT& operator-(const Matrix& A, MatrixT& M);
/// M := A - M in place; returns M.
MatrixT operator-(const Matrix& A, MatrixT&& M);
/// M := T - M in place; returns M.
MatrixT& operator-(const Transpose& T, MatrixT& M);
/// M := T - M in place; returns M.
MatrixT operator-(const Transpose& T, MatrixT&& M);
/// T + x as an owning view (an owning T lends its buffer).
Transpose operator+(Transpose T, double x);
/// T - x as an owning view.
Transpose operator-(Transpose T, double x);
/// T * x as an owning view.
Transpose operator*(Transpose T, double x);
/// T / x as an owning view.
Transpose operator/(Transpose T, double x);
/// T + U as an owning view.
Transpose operator+(Transpose T, Transpose U);
/// T - U as an owning view.
Transpose operator-(Transpose T, Transpose U);

// ---- products ----
/// A B.
MatrixT operator*(const Matrix& A, const Matrix& B);
/// (view) B.
MatrixT operator*(const Transpose& T, const Matrix& B);
/// A (view).
MatrixT operator*(const Matrix& A, const Transpose& T);
/// (view) (view), as an owning view.
Transpose operator*(const Transpose& T, const Transpose& U);
/// A v (v has A's columns).
ReaVecT operator*(const Matrix& A, const ReaVec& v);

// ---- concatenation, identity, comparison, output ----
/// Side by side.
MatrixT operator&(const Matrix& A, const Matrix& B);
/// One above the other.
MatrixT operator|(const Matrix& A, const Matrix& B);
/// The n x n identity.
MatrixT I(int n);
/// Same shape and exactly equal entries.
bool operator==(const Matrix& A, const Matrix& B);
/// Same shape and every |A - B| <= tol.
bool AreVeryEqual(const Matrix& A, const Matrix& B, double tol);
/// Column header and one line per row, scientific.
std::ostream& operator<<(std::ostream& out, const Matrix& A);
/// Does nothing.
void stprintf(std::ostream& out, const char* format, ...);
