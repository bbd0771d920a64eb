#include "foundation/matrix.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

#include "foundation/error.h"
#include "foundation/reavec.h"

namespace {

// The two shapes of a size report: "\tMatrix 1 : nrows=.., ncols=..\n\tMatrix 2 : ...\n".
struct Shapes {
  int r1, c1, r2, c2;
};

std::ostream& operator<<(std::ostream& o, const Shapes& s) {
  return o << "\tMatrix 1 : nrows=" << s.r1 << ", ncols=" << s.c1 << "\n"
           << "\tMatrix 2 : nrows=" << s.r2 << ", ncols=" << s.c2 << "\n";
}

// r*c entries as an int, or the end of the run when the count does not fit.
int EntryCount(int r, int c) {
  long long s = static_cast<long long>(r) * c;
  if (s > INT_MAX) OLVU_FATAL("Not space available on heap\n");
  return static_cast<int>(s);
}

// A temporary of shape r x c; size 0 when r or c is 0 (then no buffer).
MatrixT Shaped(int r, int c) {
  MatrixT m;
  m.nrows = r;
  m.ncols = c;
  m.size = EntryCount(r, c);
  m.data = NewReals(static_cast<std::size_t>(m.size));
  return m;
}

// Two-operand elementwise check: both empty, or shapes that differ, end the run.
void CheckPair(const char* verb, int r1, int c1, int s1, int r2, int c2, int s2) {
  if (s1 == 0 && s2 == 0) OLVU_FATAL("Can't " << verb << " zero sized matrices\n");
  if (r1 != r2 || c1 != c2)
    OLVU_FATAL("Can't " << verb << " two Matrix with diferent sizes\n" << (Shapes{r1, c1, r2, c2}));
}

// Inner-dimension check of a product; shapes are those of the operands as shown.
void CheckProduct(const char* tag, int r1, int c1, int s1, int r2, int c2, int s2) {
  if (s1 == 0 && s2 == 0) OLVU_FATAL("Can't multiply zero sized matrices\n");
  if (c1 != r2) OLVU_FATAL("Incompatible dimensions for multiply " << tag << "\n" << (Shapes{r1, c1, r2, c2}));
}

// t(i,j) (=, +=, -= by mode 0, 1, 2) x * sum_k a(i,k) b(k,j), with a(i,k) = a[i*ai + k*ak]
// and b(k,j) = b[k*bk + j*bj]; the target rows have stride tc.
void Prod(double* t, int tc, const double* a, int ai, int ak, const double* b, int bk, int bj, int ni, int nj,
          int nk, double x, int mode) {
  for (int i = 0; i < ni; i++) {
    double* ti = t + i * tc;
    const double* ar = a + i * ai;
    for (int j = 0; j < nj; j++) {
      const double* bc = b + j * bj;
      double s = 0.0;
      for (int k = 0; k < nk; k++) s += ar[k * ak] * bc[k * bk];
      if (x != 1.0) s *= x;
      if (mode == 0)
        ti[j] = s;
      else if (mode == 1)
        ti[j] += s;
      else
        ti[j] -= s;
    }
  }
}

// t = x a, t += x a or t -= x a over n entries.
void Scale(double* t, const double* a, int n, double x, int mode) {
  for (int k = 0; k < n; k++) {
    double v = x == 1.0 ? a[k] : x * a[k];
    if (mode == 0)
      t[k] = v;
    else if (mode == 1)
      t[k] += v;
    else
      t[k] -= v;
  }
}

}  // namespace

// ================================================================ construction and assignment

Matrix::Matrix(int r, int c) {
  long long s = static_cast<long long>(r) * c;
  if (r <= 0 || c <= 0 || s > INT_MAX) OLVU_FATAL("Can't create a Matrix of size " << s << "\n");
  nrows = r;
  ncols = c;
  size = static_cast<int>(s);
  data = NewReals(static_cast<std::size_t>(size));
}

Matrix::Matrix(const Matrix& a) : nrows(a.nrows), ncols(a.ncols), size(a.size) {
  data = NewReals(static_cast<std::size_t>(size));
  if (size) std::memcpy(data, a.data, size * sizeof(double));
}

Matrix::Matrix(MatrixT& m) noexcept : nrows(m.nrows), ncols(m.ncols), size(m.size), data(m.data) {
  m.nrows = m.ncols = m.size = 0;
  m.data = nullptr;
}

Matrix::Matrix(MatrixT&& m) noexcept : Matrix(m) {}

Matrix::Matrix(const ReaVec& v) : nrows(static_cast<int>(v.length())), ncols(1), size(nrows) {
  if (v.length() > static_cast<unsigned>(INT_MAX)) OLVU_FATAL("Not space available on heap\n");
  data = NewReals(static_cast<std::size_t>(size));
  if (size) std::memcpy(data, v.GivePointer(), size * sizeof(double));
}

Matrix::~Matrix() { delete[] data; }

Matrix& Matrix::operator=(const Matrix& a) {
  if (this == &a) return *this;
  if (size != a.size) {
    double* p = NewReals(static_cast<std::size_t>(a.size));
    delete[] data;
    data = p;
    size = a.size;
  }
  nrows = a.nrows;
  ncols = a.ncols;
  if (size) std::memcpy(data, a.data, size * sizeof(double));
  return *this;
}

Matrix& Matrix::operator=(MatrixT& m) noexcept {
  if (static_cast<Matrix*>(&m) == this) return *this;
  delete[] data;
  nrows = m.nrows;
  ncols = m.ncols;
  size = m.size;
  data = m.data;
  m.nrows = m.ncols = m.size = 0;
  m.data = nullptr;
  return *this;
}

Matrix& Matrix::operator=(MatrixT&& m) noexcept { return *this = m; }

Matrix& Matrix::operator=(double v) {
  if (size == 0) OLVU_FATAL("Can't fill with " << v << " a zero size Matrix\n");
  for (int k = 0; k < size; k++) data[k] = v;
  return *this;
}

void Matrix::redimension(int r, int c) {
  if (r < 0 || c < 0) OLVU_FATAL("Can't redimension to a negative values\n");
  int s = EntryCount(r, c);
  if (s != size) {
    double* p = NewReals(static_cast<std::size_t>(s));
    delete[] data;
    data = p;
    size = s;
  }
  nrows = r;
  ncols = c;
}

// ================================================================ unary minus

MatrixT Matrix::operator-() const {
  if (size == 0) OLVU_FATAL("Can't change sign a zero size Matrix\n");
  MatrixT r = Shaped(nrows, ncols);
  for (int k = 0; k < size; k++) r.data[k] = -data[k];
  return r;
}

MatrixT& MatrixT::operator-() {
  if (size == 0) OLVU_FATAL("Can't change sign a zero size Matrix\n");
  for (int k = 0; k < size; k++) data[k] = -data[k];
  return *this;
}

// ================================================================ scalar forms

Matrix& Matrix::operator+=(double x) {
  if (size == 0) OLVU_FATAL("Can't add " << x << " to a zero size Matrix\n");
  for (int k = 0; k < size; k++) data[k] += x;
  return *this;
}

Matrix& Matrix::operator-=(double x) {
  if (size == 0) OLVU_FATAL("Can't subtract " << x << " from a zero size Matrix\n");
  for (int k = 0; k < size; k++) data[k] -= x;
  return *this;
}

Matrix& Matrix::operator*=(double x) {
  if (size == 0) OLVU_FATAL("Can't multiply by " << x << " a zero size Matrix\n");
  for (int k = 0; k < size; k++) data[k] *= x;
  return *this;
}

Matrix& Matrix::operator/=(double x) {
  if (x == 0) OLVU_FATAL("Matrix division by zero scalar error\n");
  if (size == 0) OLVU_FATAL("Can't divide by " << x << " a zero size Matrix\n");
  for (int k = 0; k < size; k++) data[k] /= x;
  return *this;
}

MatrixT operator+(const Matrix& A, double x) {
  MatrixT r(A);
  r += x;
  return r;
}

MatrixT operator-(const Matrix& A, double x) {
  MatrixT r(A);
  r -= x;
  return r;
}

MatrixT operator*(const Matrix& A, double x) {
  MatrixT r(A);
  r *= x;
  return r;
}

MatrixT operator/(const Matrix& A, double x) {
  if (x == 0) OLVU_FATAL("Matrix division by zero scalar error\n");
  MatrixT r(A);
  r /= x;
  return r;
}

// ================================================================ two-operand forms

Matrix& Matrix::operator+=(const Matrix& B) {
  if (size == 0 && B.size != 0) return *this = B;
  CheckPair("add", nrows, ncols, size, B.nrows, B.ncols, B.size);
  for (int k = 0; k < size; k++) data[k] += B.data[k];
  return *this;
}

Matrix& Matrix::operator-=(const Matrix& B) {
  CheckPair("subtract", nrows, ncols, size, B.nrows, B.ncols, B.size);
  for (int k = 0; k < size; k++) data[k] -= B.data[k];
  return *this;
}

MatrixT operator+(const Matrix& A, const Matrix& B) {
  CheckPair("add", A.nrows, A.ncols, A.size, B.nrows, B.ncols, B.size);
  MatrixT r = Shaped(A.nrows, A.ncols);
  for (int k = 0; k < A.size; k++) r.data[k] = A.data[k] + B.data[k];
  return r;
}

MatrixT operator-(const Matrix& A, const Matrix& B) {
  CheckPair("subtract", A.nrows, A.ncols, A.size, B.nrows, B.ncols, B.size);
  MatrixT r = Shaped(A.nrows, A.ncols);
  for (int k = 0; k < A.size; k++) r.data[k] = A.data[k] - B.data[k];
  return r;
}

// r(i,j) = a(i,j) + sign * T(i,j) over A's shape, T shown transposed.
static void WithView(double* r, const double* a, const Transpose& T, double sign) {
  const int rows = T.ncols, cols = T.nrows;  // shown shape
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < cols; j++) r[i * cols + j] = a[i * cols + j] + sign * T.data[j * T.ncols + i];
}

MatrixT operator+(const Matrix& A, const Transpose& T) {
  CheckPair("add", A.nrows, A.ncols, A.size, T.ncols, T.nrows, T.size);
  MatrixT r = Shaped(A.nrows, A.ncols);
  WithView(r.data, A.data, T, 1.0);
  return r;
}

MatrixT operator-(const Matrix& A, const Transpose& T) {
  CheckPair("subtract", A.nrows, A.ncols, A.size, T.ncols, T.nrows, T.size);
  MatrixT r = Shaped(A.nrows, A.ncols);
  WithView(r.data, A.data, T, -1.0);
  return r;
}

MatrixT operator-(const Transpose& T, const Matrix& A) {
  CheckPair("subtract", T.ncols, T.nrows, T.size, A.nrows, A.ncols, A.size);
  MatrixT r = Shaped(A.nrows, A.ncols);
  WithView(r.data, A.data, T, -1.0);
  for (int k = 0; k < r.size; k++) r.data[k] = -r.data[k];
  return r;
}

MatrixT& operator-(const Matrix& A, MatrixT& M) {
  CheckPair("subtract", A.nrows, A.ncols, A.size, M.nrows, M.ncols, M.size);
  for (int k = 0; k < M.size; k++) M.data[k] = A.data[k] - M.data[k];
  return M;
}

MatrixT operator-(const Matrix& A, MatrixT&& M) { return std::move(A - M); }

MatrixT& operator-(const Transpose& T, MatrixT& M) {
  CheckPair("subtract", T.ncols, T.nrows, T.size, M.nrows, M.ncols, M.size);
  const int rows = T.ncols, cols = T.nrows;
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < cols; j++) M.data[i * cols + j] = T.data[j * T.ncols + i] - M.data[i * cols + j];
  return M;
}

MatrixT operator-(const Transpose& T, MatrixT&& M) { return std::move(T - M); }

MatrixT& MatrixT::operator+=(const Transpose& T) {
  CheckPair("add", nrows, ncols, size, T.ncols, T.nrows, T.size);
  WithView(data, data, T, 1.0);
  return *this;
}

MatrixT& MatrixT::operator-=(const Transpose& T) {
  CheckPair("subtract", nrows, ncols, size, T.ncols, T.nrows, T.size);
  WithView(data, data, T, -1.0);
  return *this;
}

// ================================================================ Transpose

Transpose::Transpose(const Transpose& T) : nrows(T.nrows), ncols(T.ncols), size(T.size), owned(T.owned) {
  if (owned) {
    data = NewReals(static_cast<std::size_t>(size));
    if (size) std::memcpy(data, T.data, size * sizeof(double));
  } else {
    data = T.data;
  }
}

Transpose::Transpose(Transpose&& T) noexcept
    : nrows(T.nrows), ncols(T.ncols), size(T.size), owned(T.owned), data(T.data) {
  T.owned = 0;
}

Transpose& Transpose::operator=(const Transpose& T) {
  if (this != &T) {
    Transpose c(T);
    *this = std::move(c);
  }
  return *this;
}

Transpose& Transpose::operator=(Transpose&& T) noexcept {
  if (this == &T) return *this;
  if (owned) delete[] data;
  nrows = T.nrows;
  ncols = T.ncols;
  size = T.size;
  owned = T.owned;
  data = T.data;
  T.owned = 0;
  return *this;
}

Transpose::~Transpose() {
  if (owned) delete[] data;
}

Transpose& Transpose::operator-() {
  if (size == 0) OLVU_FATAL("Can't change sign a zero size Matrix\n");
  if (owned) {
    for (int k = 0; k < size; k++) data[k] = -data[k];
  } else {
    double* p = NewReals(static_cast<std::size_t>(size));
    for (int k = 0; k < size; k++) p[k] = -data[k];
    data = p;
    owned = 1;
  }
  return *this;
}

Transpose::operator MatrixT() const {
  MatrixT r = Shaped(ncols, nrows);
  for (int i = 0; i < ncols; i++)
    for (int j = 0; j < nrows; j++) r.data[i * nrows + j] = data[j * ncols + i];
  return r;
}

MatrixT Transpose::t() {
  MatrixT r;
  r.nrows = nrows;
  r.ncols = ncols;
  r.size = size;
  if (owned) {
    r.data = data;
    owned = 0;
  } else {
    r.data = NewReals(static_cast<std::size_t>(size));
    if (size) std::memcpy(r.data, data, size * sizeof(double));
  }
  return r;
}

void Transpose::i() {
  Matrix src;  // borrows the stored buffer for the inversion only
  src.nrows = nrows;
  src.ncols = ncols;
  src.size = size;
  src.data = data;
  MatrixT inv = src.i();
  src.data = nullptr;
  if (owned) delete[] data;
  data = inv.data;
  owned = 1;
  inv.data = nullptr;
  inv.nrows = inv.ncols = inv.size = 0;
}

// A buffer for the result of an operation on T: T's own when it owns one (then T stops owning).
static double* ResultBuffer(Transpose& T) {
  if (T.owned) {
    T.owned = 0;
    return T.data;
  }
  return NewReals(static_cast<std::size_t>(T.size));
}

Transpose operator+(Transpose T, double x) {
  if (T.size == 0) OLVU_FATAL("Can't add " << x << " to a zero size Matrix\n");
  double* r = ResultBuffer(T);
  for (int k = 0; k < T.size; k++) r[k] = T.data[k] + x;
  return Transpose(T.nrows, T.ncols, r);
}

Transpose operator-(Transpose T, double x) {
  if (T.size == 0) OLVU_FATAL("Can't substract " << x << " to a zero size Matrix\n");
  double* r = ResultBuffer(T);
  for (int k = 0; k < T.size; k++) r[k] = T.data[k] - x;
  return Transpose(T.nrows, T.ncols, r);
}

Transpose operator*(Transpose T, double x) {
  if (T.size == 0) OLVU_FATAL("Can't multiply by " << x << " a zero size Matrix\n");
  double* r = ResultBuffer(T);
  for (int k = 0; k < T.size; k++) r[k] = T.data[k] * x;
  return Transpose(T.nrows, T.ncols, r);
}

Transpose operator/(Transpose T, double x) {
  if (x == 0) OLVU_FATAL("Matrix division by zero scalar error\n");
  if (T.size == 0) OLVU_FATAL("Can't divide by " << x << " a zero size Matrix\n");
  double* r = ResultBuffer(T);
  for (int k = 0; k < T.size; k++) r[k] = T.data[k] / x;
  return Transpose(T.nrows, T.ncols, r);
}

// Buffer for T op U: T's when it owns one, else U's, else a new one.
static double* PairBuffer(Transpose& T, Transpose& U) { return T.owned ? ResultBuffer(T) : ResultBuffer(U); }

Transpose operator+(Transpose T, Transpose U) {
  CheckPair("add", T.ncols, T.nrows, T.size, U.ncols, U.nrows, U.size);
  double* r = PairBuffer(T, U);
  for (int k = 0; k < T.size; k++) r[k] = T.data[k] + U.data[k];
  return Transpose(T.nrows, T.ncols, r);
}

Transpose operator-(Transpose T, Transpose U) {
  CheckPair("subtract", T.ncols, T.nrows, T.size, U.ncols, U.nrows, U.size);
  double* r = PairBuffer(T, U);
  for (int k = 0; k < T.size; k++) r[k] = T.data[k] - U.data[k];
  return Transpose(T.nrows, T.ncols, r);
}

// ================================================================ products

void Matrix::product(const Matrix& A, const Matrix& B, double x) {
  Prod(data, ncols, A.data, A.ncols, 1, B.data, B.ncols, 1, A.nrows, B.ncols, A.ncols, x, 0);
}
void Matrix::add_product(const Matrix& A, const Matrix& B, double x) {
  Prod(data, ncols, A.data, A.ncols, 1, B.data, B.ncols, 1, A.nrows, B.ncols, A.ncols, x, 1);
}
void Matrix::sub_product(const Matrix& A, const Matrix& B, double x) {
  Prod(data, ncols, A.data, A.ncols, 1, B.data, B.ncols, 1, A.nrows, B.ncols, A.ncols, x, 2);
}
void Matrix::trans_product(const Matrix& A, const Matrix& B, double x) {
  Prod(data, ncols, A.data, 1, A.ncols, B.data, B.ncols, 1, A.ncols, B.ncols, A.nrows, x, 0);
}
// No caller: an element matrix accumulating A^T B would (so for the three forms below).
void Matrix::add_trans_product(const Matrix& A, const Matrix& B, double x) {
  Prod(data, ncols, A.data, 1, A.ncols, B.data, B.ncols, 1, A.ncols, B.ncols, A.nrows, x, 1);
}
// No caller: as add_trans_product, subtracting.
void Matrix::sub_trans_product(const Matrix& A, const Matrix& B, double x) {
  Prod(data, ncols, A.data, 1, A.ncols, B.data, B.ncols, 1, A.ncols, B.ncols, A.nrows, x, 2);
}
void Matrix::product_trans(const Matrix& A, const Matrix& B, double x) {
  Prod(data, ncols, A.data, A.ncols, 1, B.data, 1, B.ncols, A.nrows, B.nrows, A.ncols, x, 0);
}
void Matrix::add_product_trans(const Matrix& A, const Matrix& B, double x) {
  Prod(data, ncols, A.data, A.ncols, 1, B.data, 1, B.ncols, A.nrows, B.nrows, A.ncols, x, 1);
}
// No caller: an element matrix subtracting A B^T would.
void Matrix::sub_product_trans(const Matrix& A, const Matrix& B, double x) {
  Prod(data, ncols, A.data, A.ncols, 1, B.data, 1, B.ncols, A.nrows, B.nrows, A.ncols, x, 2);
}
void Matrix::trans_product_trans(const Matrix& A, const Matrix& B, double x) {
  Prod(data, ncols, A.data, 1, A.ncols, B.data, 1, B.ncols, A.ncols, B.nrows, A.nrows, x, 0);
}
// No caller: an element matrix accumulating A^T B^T would.
void Matrix::add_trans_product_trans(const Matrix& A, const Matrix& B, double x) {
  Prod(data, ncols, A.data, 1, A.ncols, B.data, 1, B.ncols, A.ncols, B.nrows, A.nrows, x, 1);
}
// No caller: as add_trans_product_trans, subtracting.
void Matrix::sub_trans_product_trans(const Matrix& A, const Matrix& B, double x) {
  Prod(data, ncols, A.data, 1, A.ncols, B.data, 1, B.ncols, A.ncols, B.nrows, A.nrows, x, 2);
}
void Matrix::product(const Matrix& A, double x) { Scale(data, A.data, size, x, 0); }
void Matrix::add_product(const Matrix& A, double x) { Scale(data, A.data, size, x, 1); }
void Matrix::sub_product(const Matrix& A, double x) { Scale(data, A.data, size, x, 2); }

MatrixT operator*(const Matrix& A, const Matrix& B) {
  CheckProduct("-A-", A.nrows, A.ncols, A.size, B.nrows, B.ncols, B.size);
  MatrixT r = Shaped(A.nrows, B.ncols);
  r.product(A, B);
  return r;
}

MatrixT operator*(const Transpose& T, const Matrix& B) {
  CheckProduct("-B-", T.ncols, T.nrows, T.size, B.nrows, B.ncols, B.size);
  MatrixT r = Shaped(T.ncols, B.ncols);
  Prod(r.data, r.ncols, T.data, 1, T.ncols, B.data, B.ncols, 1, T.ncols, B.ncols, T.nrows, 1.0, 0);
  return r;
}

MatrixT operator*(const Matrix& A, const Transpose& T) {
  CheckProduct("-C-", A.nrows, A.ncols, A.size, T.ncols, T.nrows, T.size);
  MatrixT r = Shaped(A.nrows, T.nrows);
  Prod(r.data, r.ncols, A.data, A.ncols, 1, T.data, 1, T.ncols, A.nrows, T.nrows, A.ncols, 1.0, 0);
  return r;
}

Transpose operator*(const Transpose& T, const Transpose& U) {
  CheckProduct("-D-", T.ncols, T.nrows, T.size, U.ncols, U.nrows, U.size);
  // (view T)(view U) = (U T)^T: store U T in source order and show it transposed.
  int r = U.nrows, c = T.ncols;
  double* buf = NewReals(static_cast<std::size_t>(EntryCount(r, c)));
  Prod(buf, c, U.data, U.ncols, 1, T.data, T.ncols, 1, r, c, U.ncols, 1.0, 0);
  return Transpose(r, c, buf);
}

ReaVecT operator*(const Matrix& A, const ReaVec& v) {
  ReaVecT r(static_cast<unsigned>(A.nrows));
  r.product(A, v);
  return r;
}

ReaVecT Matrix::GiveColumn(int j) const {
  ReaVecT r(static_cast<unsigned>(nrows));
  for (int i = 0; i < nrows; i++) r[i] = data[i * ncols + (j - 1)];
  return r;
}

MatrixT Matrix::multt() const {
  if (size == 0) OLVU_FATAL("Can't multiply by transpose zero size matrix\n");
  MatrixT r = Shaped(nrows, nrows);
  r.product_trans(*this, *this);
  return r;
}

// ================================================================ sub-matrices and assembly

MatrixT Matrix::subMatrix(int r1, int c1, int r2, int c2) const {
  if (r1 < 1 || c1 < 1 || r2 > nrows || c2 > ncols || r2 < r1 || c2 < c1)
    OLVU_FATAL("subMatrix incorrect size :\n"
               << "\tMatrix size nrows=" << nrows << ", ncols=" << ncols << "\n"
               << "\tsubMatrix start: row=" << r1 << ", col=" << c1 << ", end: row=" << r2 << ", col=" << c2
               << "\n");
  MatrixT r = Shaped(r2 - r1 + 1, c2 - c1 + 1);
  for (int i = 0; i < r.nrows; i++)
    std::memcpy(r.data + i * r.ncols, data + (r1 - 1 + i) * ncols + (c1 - 1), r.ncols * sizeof(double));
  return r;
}

void Matrix::AddSubMatrix(int row, int col, const Matrix& B) {
  if (row < 1 || col < 1)
    OLVU_FATAL("AddSubMatrix incorrect position : row=" << row << ", col=" << col << "\n");
  if (&B == this) {
    Matrix copy(B);
    AddSubMatrix(row, col, copy);
    return;
  }
  if (B.size == 0) return;
  int R = row + B.nrows - 1, C = col + B.ncols - 1;
  if (R < nrows) R = nrows;
  if (C < ncols) C = ncols;
  if (R != nrows || C != ncols) {
    int s = EntryCount(R, C);
    double* p = NewReals(static_cast<std::size_t>(s));
    for (int k = 0; k < s; k++) p[k] = 0.0;
    for (int i = 0; i < nrows; i++)
      if (ncols) std::memcpy(p + i * C, data + i * ncols, ncols * sizeof(double));
    delete[] data;
    data = p;
    nrows = R;
    ncols = C;
    size = s;
  }
  for (int i = 0; i < B.nrows; i++)
    std::memcpy(data + (row - 1 + i) * ncols + (col - 1), B.data + i * B.ncols, B.ncols * sizeof(double));
}

void Matrix::copyrow(const ReaVec& v, int i) {
  std::memcpy(data + (i - 1) * ncols, v.GivePointer(), ncols * sizeof(double));
}

int Matrix::rowmult(int i, double x) {
  if (size == 0) {
    OLVU_WARNING(0, "Can't operate zero size matrix");
    return -1;
  }
  if (i < 1 || i > nrows) {
    OLVU_WARNING(0, "Wrong row number");
    return -1;
  }
  double* r = data + (i - 1) * ncols;
  for (int j = 0; j < ncols; j++) r[j] *= x;
  return 0;
}

MatrixT operator&(const Matrix& A, const Matrix& B) {
  if (B.size == 0) OLVU_FATAL("Can't concatenate a zero size Matrix\n");
  if (A.nrows == 0) return MatrixT(B);
  if (A.nrows != B.nrows)
    OLVU_FATAL("Horizontal concatenation with diferent number of rows\n"
               << (Shapes{A.nrows, A.ncols, B.nrows, B.ncols}));
  MatrixT r = Shaped(A.nrows, A.ncols + B.ncols);
  for (int i = 0; i < A.nrows; i++) {
    if (A.ncols) std::memcpy(r.data + i * r.ncols, A.data + i * A.ncols, A.ncols * sizeof(double));
    std::memcpy(r.data + i * r.ncols + A.ncols, B.data + i * B.ncols, B.ncols * sizeof(double));
  }
  return r;
}

MatrixT operator|(const Matrix& A, const Matrix& B) {
  if (B.size == 0) OLVU_FATAL("Can't concatenate a zero size Matrix\n");
  if (A.ncols == 0) return MatrixT(B);
  if (A.ncols != B.ncols)
    OLVU_FATAL("Vertical concatenation with diferent number of columns\n"
               << (Shapes{A.nrows, A.ncols, B.nrows, B.ncols}));
  MatrixT r = Shaped(A.nrows + B.nrows, A.ncols);
  if (A.size) std::memcpy(r.data, A.data, A.size * sizeof(double));
  std::memcpy(r.data + A.size, B.data, B.size * sizeof(double));
  return r;
}

MatrixT I(int n) {
  if (n < 1) OLVU_FATAL("Can't construct an identity Matrix of size " << n << "\n");
  MatrixT r(n, n);
  r = 0.0;
  for (int k = 0; k < n; k++) r.data[k * (n + 1)] = 1.0;
  return r;
}

// ================================================================ reductions

double Matrix::trace() const {
  if (size == 0) OLVU_FATAL("Can't compute the trace of a zero size Matrix\n");
  if (nrows != ncols) OLVU_FATAL("Can't compute the trace of a non square Matrix\n");
  double s = 0.0;
  for (int k = 0; k < nrows; k++) s += data[k * (ncols + 1)];
  return s;
}

double Matrix::sumDiagVal() const {
  if (size == 0) OLVU_FATAL("Can't compute the sumDiagVal of a zero size matrix\n");
  double s = 0.0;
  for (int k = 0; k < size; k += nrows + 1) s += data[k];
  return s;
}

double Matrix::colNorm() const {
  if (size == 0) OLVU_FATAL("Can't compute the colNorm of a zero size Matrix\n");
  double m = 0.0;
  for (int j = 0; j < ncols; j++) {
    double s = 0.0;
    for (int i = 0; i < nrows; i++) s += data[i * ncols + j];
    if (s > m) m = s;
  }
  return m;
}

double Matrix::rowNorm() const {
  if (size == 0) OLVU_FATAL("Can't compute the rowNorm of a zero size Matrix\n");
  double m = 0.0;
  for (int i = 0; i < nrows; i++) {
    double s = 0.0;
    for (int j = 0; j < ncols; j++) s += data[i * ncols + j];
    if (s > m) m = s;
  }
  return m;
}

double Matrix::sumSquare() const {
  if (size == 0) OLVU_FATAL("Can't compute the sumSquare of a zero size Matrix\n");
  double s = 0.0;
  for (int k = 0; k < size; k++) s += data[k] * data[k];
  return s;
}

double Matrix::norm() const { return std::sqrt(sumSquare()); }

double Matrix::contract() const {
  double s = 0.0;
  for (int k = 0; k < size; k++) s += std::pow(data[k], 2);
  return s;
}

double Matrix::sumAbsVal() const {
  if (size == 0) OLVU_FATAL("Can't compute the sumAbsVal of a zero size Matrix\n");
  double s = 0.0;
  for (int k = 0; k < size; k++) s += std::fabs(data[k]);
  return s;
}

double Matrix::maxAbsVal() const {
  if (size == 0) OLVU_FATAL("Can't compute the maxAbsVal of a zero size Matrix\n");
  double m = 0.0;
  for (int k = 0; k < size; k++)
    if (std::fabs(data[k]) > m) m = std::fabs(data[k]);
  return m;
}

int Matrix::maxAbsRow(int i) const {
  if (size == 0) OLVU_FATAL("Can't compute the maxAbsRow of a zero size Matrix\n");
  const double* r = data + (i - 1) * ncols;
  double m = -1.0;
  int col = 0;
  for (int j = 0; j < ncols; j++)
    if (std::fabs(r[j]) > m) {
      m = std::fabs(r[j]);
      col = j + 1;
    }
  return col;
}

double Matrix::sumRow(int i) const {
  if (size == 0) OLVU_FATAL("Can't compute the sumRow of a zero size Matrix\n");
  if (i < 1 || i > nrows) OLVU_FATAL("Wrong irow " << i << " value found in sumRow\n");
  const double* r = data + (i - 1) * ncols;
  double s = 0.0;
  for (int j = 0; j < ncols; j++) s += r[j];
  return s;
}

double Matrix::sumVal() const {
  if (size == 0) OLVU_FATAL("Can't compute the sumVal of a zero size matrix\n");
  double s = 0.0;
  for (int k = 0; k < size; k++) s += data[k];
  return s;
}

MatrixT Matrix::rowSumVal() const {
  if (size == 0) OLVU_FATAL("Can't compute the rowSumVal of a zero size matrix\n");
  MatrixT r = Shaped(nrows, 1);
  for (int i = 0; i < nrows; i++) {
    double s = 0.0;
    for (int j = 0; j < ncols; j++) s += data[i * ncols + j];
    r.data[i] = s;
  }
  return r;
}

int Matrix::isZero() const {
  if (size == 0) return 0;
  for (int k = 0; k < size; k++)
    if (data[k] != 0.0) return 0;
  return 1;
}

// ================================================================ in-place transformations

void Matrix::scorn(double x) {
  if (size == 0) OLVU_FATAL("Can't scorn a zero size Matrix\n");
  for (int k = 0; k < size; k++)
    if (std::fabs(data[k]) <= x) data[k] = 0.0;
}

void Matrix::lumping() {
  // The diagonal entry of a row exists only in a square matrix.
  if (nrows != ncols) OLVU_FATAL("Can't compute the lumping of a non square Matrix\n");
  for (int i = 0; i < nrows; i++) {
    double* r = data + i * ncols;
    double s = 0.0;
    for (int j = 0; j < ncols; j++) {
      s += r[j];
      r[j] = 0.0;
    }
    r[i] = s;
  }
}

void Matrix::symmetrise() {
  const int m = nrows < ncols ? nrows : ncols;  // (j,i) must exist
  for (int i = 0; i < m; i++)
    for (int j = i; j < m; j++) {
      double v = 0.5 * (data[i * ncols + j] + data[j * ncols + i]);
      data[i * ncols + j] = data[j * ncols + i] = v;
    }
}

// ================================================================ comparison

bool operator==(const Matrix& A, const Matrix& B) {
  if (A.nrows != B.nrows || A.ncols != B.ncols) return false;
  for (int k = 0; k < A.size; k++)
    if (A.data[k] != B.data[k]) return false;
  return true;
}

bool AreVeryEqual(const Matrix& A, const Matrix& B, double tol) {
  if (A.nrows != B.nrows || A.ncols != B.ncols) return false;
  for (int k = 0; k < A.size; k++)
    if (!(std::fabs(A.data[k] - B.data[k]) <= tol)) return false;
  return true;
}

// ================================================================ input and output

void Matrix::WriteBinary(FILE* f) const {
  if (size == 0) OLVU_FATAL("error: can't write 0x0 matrix\n\n");
  std::fwrite(data, sizeof(double), static_cast<std::size_t>(size), f);
}

void Matrix::WriteAscii(FILE* f) const {
  if (size == 0) OLVU_FATAL("error: can't ascii write 0x0 matrix\n\n");
  for (int i = 0; i < nrows; i++) {
    for (int j = 0; j < ncols; j++) std::fprintf(f, "%lf  ", data[i * ncols + j]);
    std::fprintf(f, "\n");
  }
}

void Matrix::ReadAscii(FILE* f) {
  if (size == 0) OLVU_FATAL("error: can't ascii read 0x0 matrix\n\n");
  for (int k = 0; k < size; k++)
    if (std::fscanf(f, "%lf", &data[k]) != 1)
      OLVU_FATAL("Wrong data found in ReadAscii of a " << nrows << " X " << ncols << " matrix: expected " << size
                                                        << " values, read " << k << "\n");
}

std::ostream& operator<<(std::ostream& out, const Matrix& A) {
  if (A.size == 0) return out << "\n\t(Zero size matrix)\n";
  std::ios_base::fmtflags flags = out.flags();
  const int w = static_cast<int>(out.precision() + out.width() + 7);
  out.width(0);
  out.setf(std::ios::scientific, std::ios::floatfield);
  out << "\n";
  for (int j = 1; j <= A.ncols; j++) {
    out << " ";
    out.width(w);
    out << j;
  }
  for (int i = 0; i < A.nrows; i++) {
    out << "\n" << i + 1;
    for (int j = 0; j < A.ncols; j++) {
      out << " ";
      out.width(w);
      out << A.data[i * A.ncols + j];
    }
  }
  out << "\n";
  out.flush();
  out.flags(flags);
  return out;
}

void stprintf(std::ostream&, const char*, ...) {}

// ================================================================ inverse and determinant

namespace {

// Cofactors of the first column of a 4x4 row-major matrix, into c[0..3] (that is, the
// first row of the adjugate), from the 2x2 minors of its lower rows.
struct Minors4 {
  double c0, c1, c2, c3, c4, c5;  // 2x2 minors of rows 3 and 4
  double s0, s1, s2, s3, s4, s5;  // 2x2 minors of rows 1 and 2
  explicit Minors4(const double* m) {
    s0 = m[0] * m[5] - m[4] * m[1];
    s1 = m[0] * m[6] - m[4] * m[2];
    s2 = m[0] * m[7] - m[4] * m[3];
    s3 = m[1] * m[6] - m[5] * m[2];
    s4 = m[1] * m[7] - m[5] * m[3];
    s5 = m[2] * m[7] - m[6] * m[3];
    c5 = m[10] * m[15] - m[14] * m[11];
    c4 = m[9] * m[15] - m[13] * m[11];
    c3 = m[9] * m[14] - m[13] * m[10];
    c2 = m[8] * m[15] - m[12] * m[11];
    c1 = m[8] * m[14] - m[12] * m[10];
    c0 = m[8] * m[13] - m[12] * m[9];
  }
};

// Closed-form determinant of an order-1..4 row-major matrix (cofactors along the first column).
double Det(const double* m, int n) {
  switch (n) {
    case 1:
      return m[0];
    case 2:
      return m[0] * m[3] - m[2] * m[1];
    case 3:
      return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[3] * (m[1] * m[8] - m[2] * m[7]) +
             m[6] * (m[1] * m[5] - m[2] * m[4]);
    default: {
      Minors4 q(m);
      double a11 = m[5] * q.c5 - m[6] * q.c4 + m[7] * q.c3;
      double a21 = -m[1] * q.c5 + m[2] * q.c4 - m[3] * q.c3;
      double a31 = m[13] * q.s5 - m[14] * q.s4 + m[15] * q.s3;
      double a41 = -m[9] * q.s5 + m[10] * q.s4 - m[11] * q.s3;
      return m[0] * a11 + m[4] * a21 + m[8] * a31 + m[12] * a41;
    }
  }
}

// Closed-form inverses of orders 2, 3 and 4 into r (which may be m): every entry is read
// before the first is written; false, and r untouched, when the determinant is 0.
inline bool Invert2(const double* m, double* r) {
  const double d = m[0] * m[3] - m[2] * m[1];
  if (d == 0.0) return false;
  const double k = 1.0 / d;
  const double v0 = m[3] * k, v1 = -m[1] * k, v2 = -m[2] * k, v3 = m[0] * k;
  r[0] = v0, r[1] = v1, r[2] = v2, r[3] = v3;
  return true;
}

inline bool Invert3(const double* m, double* r) {
  const double c11 = m[4] * m[8] - m[5] * m[7], c21 = -(m[1] * m[8] - m[2] * m[7]), c31 = m[1] * m[5] - m[2] * m[4];
  const double d = m[0] * c11 + m[3] * c21 + m[6] * c31;
  if (d == 0.0) return false;
  const double k = 1.0 / d;
  const double v3 = -(m[3] * m[8] - m[5] * m[6]) * k, v4 = (m[0] * m[8] - m[2] * m[6]) * k,
               v5 = -(m[0] * m[5] - m[2] * m[3]) * k, v6 = (m[3] * m[7] - m[4] * m[6]) * k,
               v7 = -(m[0] * m[7] - m[1] * m[6]) * k, v8 = (m[0] * m[4] - m[1] * m[3]) * k;
  r[0] = c11 * k, r[1] = c21 * k, r[2] = c31 * k;
  r[3] = v3, r[4] = v4, r[5] = v5, r[6] = v6, r[7] = v7, r[8] = v8;
  return true;
}

inline bool Invert4(const double* m, double* r) {
  const Minors4 q(m);
  const double b00 = m[5] * q.c5 - m[6] * q.c4 + m[7] * q.c3;
  const double b01 = -m[1] * q.c5 + m[2] * q.c4 - m[3] * q.c3;
  const double b02 = m[13] * q.s5 - m[14] * q.s4 + m[15] * q.s3;
  const double b03 = -m[9] * q.s5 + m[10] * q.s4 - m[11] * q.s3;
  const double d = m[0] * b00 + m[4] * b01 + m[8] * b02 + m[12] * b03;
  if (d == 0.0) return false;
  const double k = 1.0 / d;
  double v[16];
  v[0] = b00 * k;
  v[1] = b01 * k;
  v[2] = b02 * k;
  v[3] = b03 * k;
  v[4] = (-m[4] * q.c5 + m[6] * q.c2 - m[7] * q.c1) * k;
  v[5] = (m[0] * q.c5 - m[2] * q.c2 + m[3] * q.c1) * k;
  v[6] = (-m[12] * q.s5 + m[14] * q.s2 - m[15] * q.s1) * k;
  v[7] = (m[8] * q.s5 - m[10] * q.s2 + m[11] * q.s1) * k;
  v[8] = (m[4] * q.c4 - m[5] * q.c2 + m[7] * q.c0) * k;
  v[9] = (-m[0] * q.c4 + m[1] * q.c2 - m[3] * q.c0) * k;
  v[10] = (m[12] * q.s4 - m[13] * q.s2 + m[15] * q.s0) * k;
  v[11] = (-m[8] * q.s4 + m[9] * q.s2 - m[11] * q.s0) * k;
  v[12] = (-m[4] * q.c3 + m[5] * q.c1 - m[6] * q.c0) * k;
  v[13] = (m[0] * q.c3 - m[1] * q.c1 + m[2] * q.c0) * k;
  v[14] = (-m[12] * q.s3 + m[13] * q.s1 - m[14] * q.s0) * k;
  v[15] = (m[8] * q.s3 - m[9] * q.s1 + m[10] * q.s0) * k;
  for (int e = 0; e < 16; e++) r[e] = v[e];
  return true;
}

// Closed-form inverse of an order-1..4 matrix into r (which may be m); false when det is 0.
inline bool InvertSmall(const double* m, int n, double* r) {
  switch (n) {
    case 1:
      if (m[0] == 0.0) return false;
      r[0] = 1.0 / m[0];
      return true;
    case 2:
      return Invert2(m, r);
    case 3:
      return Invert3(m, r);
    default:
      return Invert4(m, r);
  }
}

[[noreturn]] void Singular(int n) { OLVU_FATAL("Inverse of a singular Matrix. Size = (" << n << " X " << n << ")\n"); }

// In-place Gauss-Jordan inversion without pivoting of an n x n row-major matrix; a zero
// pivot is always fatal.
void GaussJordan(double* a, int n) {
  for (int k = 0; k < n; k++) {
    double* rk = a + k * n;
    const double p = rk[k];
    if (p == 0.0) Singular(n);
    for (int j = 0; j < n; j++) rk[j] /= -p;
    for (int i = 0; i < n; i++) {
      if (i == k) continue;
      double* ri = a + i * n;
      const double aik = ri[k];
      for (int j = 0; j < n; j++)
        if (j != k) ri[j] += aik * rk[j];
    }
    for (int i = 0; i < n; i++) a[i * n + k] /= p;
    rk[k] = 1.0 / p;
  }
}

// Ends the run unless m is a non-empty square matrix; op names the operation in the message.
void CheckSquare(const Matrix& m, const char* op) {
  if (m.size == 0) OLVU_FATAL("Can't compute the " << op << " of a zero size Matrix\n");
  if (m.nrows != m.ncols)
    OLVU_FATAL("Can't compute the " << op << " of a rectangular Matrix\n"
                                    << "\tnrows =" << m.nrows << ", ncols =" << m.ncols << "\n");
}

}  // namespace

MatrixT Matrix::i() const {
  CheckSquare(*this, "inverse");
  MatrixT r = Shaped(nrows, ncols);
  if (nrows <= 4) {
    if (!InvertSmall(data, nrows, r.data)) Singular(nrows);
  } else {
    std::memcpy(r.data, data, size * sizeof(double));
    GaussJordan(r.data, nrows);
  }
  return r;
}

Matrix& Matrix::i(const Matrix& a, int fatal) {
  if (a.size == 0 || a.nrows != a.ncols) {
    if (fatal) CheckSquare(a, "inverse");
    redimension(0, 0);
    return *this;
  }
  const int n = a.nrows;
  if (n <= 4) {
    if (this == &a || (nrows == n && ncols == n)) {
      if (InvertSmall(a.data, n, data)) return *this;  // data untouched when singular
    } else {
      double v[16];
      if (InvertSmall(a.data, n, v)) {
        redimension(n, n);
        std::memcpy(data, v, n * n * sizeof(double));
        return *this;
      }
    }
    if (fatal) Singular(n);
    redimension(0, 0);
    return *this;
  }
  if (this != &a) {
    redimension(n, n);
    std::memcpy(data, a.data, size * sizeof(double));
  }
  GaussJordan(data, n);
  return *this;
}

double Matrix::det() const {
  if (size == 0) OLVU_FATAL("Can't compute the determinant of a zero size Matrix\n");
  if (nrows != ncols)
    OLVU_FATAL("Can't compute the determinant of a rectangular Matrix\n"
               << "\tnrows =" << nrows << ", ncols =" << ncols << "\n");
  if (nrows > 4) OLVU_FATAL("Not implemented yet determinant for a Matrix greater than 4\n");
  return Det(data, nrows);
}

MatrixT Matrix::LU() const {
  if (size == 0) OLVU_FATAL("Can't compute the crout decomposition of a zero size Matrix\n");
  if (nrows != ncols)
    OLVU_FATAL("Can't compute the crout decomposition of a rectangular Matrix\n"
               << "\tnrows =" << nrows << ", ncols =" << ncols << "\n");
  const int n = nrows;
  MatrixT f = Shaped(n, n);
  const double* a = data;
  double* r = f.data;  // L on and below the diagonal, U strictly above
  for (int k = 0; k < size; k++) r[k] = 0.0;
  r[0] = a[0];
  for (int j = 1; j < n; j++) {
    r[j] = a[j] / r[0];  // u(1,j)
    for (int i = 1; i < j; i++) {
      double s = a[i * n + j];
      for (int k = 0; k < i; k++) s -= r[i * n + k] * r[k * n + j];
      r[i * n + j] = s / r[i * n + i];
    }
    r[j * n] = a[j * n];  // l(j,1)
    for (int i = 1; i <= j; i++) {
      double s = a[j * n + i];
      for (int k = 0; k < i; k++) s -= r[j * n + k] * r[k * n + i];
      r[j * n + i] = s;
    }
  }
  return f;
}

int Matrix::LinSolve(ReaVec& b, ReaVec& x) {
  const double tol = 1e-15;
  const int n = nrows;
  if (size == 0 || nrows != ncols) return 1;
  SameLength(b.length(), static_cast<unsigned>(n));
  if (x.length() != static_cast<unsigned>(n)) x.resize(static_cast<unsigned>(n));
  double* a = data;
  double* bb = b.GivePointer();
  double* xx = x.GivePointer();
  if (n == 1) {
    if (std::fabs(a[0]) <= tol) return 1;
    xx[0] = bb[0] / a[0];
    return 0;
  }
  for (int k = 0; k < n - 1; k++) {
    int r = k;
    while (r < n && !(std::fabs(a[r * n + k]) > tol)) r++;
    if (r == n) return 1;
    if (r != k) {
      for (int j = 0; j < n; j++) std::swap(a[r * n + j], a[k * n + j]);
      std::swap(bb[r], bb[k]);
    }
    const double* rk = a + k * n;
    for (int i = k + 1; i < n; i++) {
      double* ri = a + i * n;
      const double f = ri[k] / rk[k];
      for (int j = k + 1; j < n; j++) ri[j] -= f * rk[j];
      bb[i] -= f * bb[k];
    }
  }
  if (!(std::fabs(a[n * n - 1]) > tol)) return 1;
  xx[n - 1] = bb[n - 1] / a[n * n - 1];
  for (int i = n - 2; i >= 0; i--) {
    double s = bb[i];
    for (int j = i + 1; j < n; j++) s -= a[i * n + j] * xx[j];
    xx[i] = s / a[i * n + i];
  }
  return 0;
}

// ================================================================ rotations

namespace {

// acos with its argument clamped to [-1, 1].
double Acos(double c) { return std::acos(c > 1.0 ? 1.0 : (c < -1.0 ? -1.0 : c)); }

// c = a x b for three-entry arrays.
void Cross3(double* c, const double* a, const double* b) {
  c[0] = a[1] * b[2] - a[2] * b[1];
  c[1] = a[2] * b[0] - a[0] * b[2];
  c[2] = a[0] * b[1] - a[1] * b[0];
}

// u = (e x w) / |e x w| with e = ez, or ey when w lies within 1/64 of the Z axis; v = w x u.
void FrameAround(const double* w, double* u, double* v) {
  static const double ey[3] = {0.0, 1.0, 0.0}, ez[3] = {0.0, 0.0, 1.0};
  const double lim = 0.015625;
  Cross3(u, std::fabs(w[0]) >= lim || std::fabs(w[1]) > lim ? ez : ey, w);
  double len = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
  if (len == 0) OLVU_FATAL("Division by zero.\n");
  for (int k = 0; k < 3; k++) u[k] /= len;
  Cross3(v, w, u);
}

// Ends the run unless v has (at least) three entries.
void Need3(const ReaVec& v) {
  if (v.length() < 3) OLVU_FATAL("Different lenght vectors " << v.length() << " != " << 3 << "\n");
}

}  // namespace

void Matrix::RotationEuler(const ReaVec& v, int angles) {
  Need3(v);
  double c1, s1, c2, s2, c3, s3;
  if (angles) {
    c1 = std::cos(v[0]), s1 = std::sin(v[0]);
    c2 = std::cos(v[1]), s2 = std::sin(v[1]);
    c3 = std::cos(v[2]), s3 = std::sin(v[2]);
  } else {
    c1 = v[0], s1 = std::sin(Acos(c1));
    c2 = v[1], s2 = std::sin(Acos(c2));
    c3 = v[2], s3 = std::sin(Acos(c3));
  }
  redimension(3, 3);
  double* m = data;
  m[0] = c3 * c1 - c2 * s1 * s3;
  m[1] = c3 * s1 + c2 * c1 * s3;
  m[2] = s3 * s2;
  m[3] = -s3 * c1 - c2 * s1 * c3;
  m[4] = c2 * c1 * c3 - s3 * s1;
  m[5] = c3 * s2;
  m[6] = s2 * s1;
  m[7] = -s2 * c1;
  m[8] = c2;
}

void Matrix::GiveRotationMatrixFromAxes(const ReaVec& x, const ReaVec& y, const ReaVec& z, ReaVec& e) {
  Need3(x);
  Need3(y);
  Need3(z);
  const double twoPi = 6.283185307179586;
  double phi, theta, psi;
  if (z[2] > 0.99999999999999 || z[2] <= -0.99999999999999) {
    theta = Acos(z[2]);
    phi = 0.0;
    psi = Acos(x[0]);
    if (x[1] > 0) psi = twoPi - psi;
  } else {
    double s = std::sqrt(1.0 - z[2] * z[2]);
    theta = Acos(z[2]);
    psi = Acos(z[1] / s);
    if (z[0] / s < 0) psi = twoPi - psi;
    phi = Acos(-y[2] / s);
    if (x[2] / s < 0) phi = twoPi - phi;
  }
  if (e.length() != 3) e.resize(3);
  e[0] = phi;
  e[1] = theta;
  e[2] = psi;
  RotationEuler(e, 1);
}

void Matrix::GiveRotationMatrixFromZAxis(const ReaVec& z) {
  Need3(z);
  double w[3] = {z[0], z[1], z[2]}, u[3], v[3];
  FrameAround(w, u, v);
  redimension(3, 3);
  for (int i = 0; i < 3; i++) {
    data[i * 3 + 0] = u[i];
    data[i * 3 + 1] = v[i];
    data[i * 3 + 2] = w[i];
  }
}

void Matrix::GiveRotationMatrixFromXAxis(const ReaVec& x) {
  Need3(x);
  double w[3] = {x[0], x[1], x[2]}, u[3], v[3];
  FrameAround(w, u, v);
  redimension(3, 3);
  for (int i = 0; i < 3; i++) {
    data[i * 3 + 0] = w[i];
    data[i * 3 + 1] = u[i];
    data[i * 3 + 2] = v[i];
  }
}
