#include "foundation/reavec.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "foundation/alloc.h"
#include "foundation/error.h"
#include "foundation/matrix.h"
#include "foundation/qsort.h"
#include "foundation/threads.h"
#include "foundation/vecloop.h"

ReaVec NULLVec;

double* NewReals(std::size_t n) { return n == 0 ? nullptr : new double[n]; }

// Array of n doubles from the scratch pool.
static double* PoolReals(unsigned n) {
  if (n == 0) return nullptr;
  void* p = New(static_cast<long>(n) * static_cast<long>(sizeof(double)));
  if (!p) OLVU_FATAL("Not space available on pool\n");
  return static_cast<double*>(p);
}

// p := the first min(old, size) entries of data, then v up to size entries.
static void CarryOver(double* p, unsigned size, const double* data, unsigned old, double v) {
  unsigned keep = old < size ? old : size;
  if (keep) std::memcpy(p, data, keep * sizeof(double));
  for (unsigned i = keep; i < size; i++) p[i] = v;
}

// ---------------------------------------------------------------- construction

ReaVec::ReaVec(unsigned size) : n(size), data(NewReals(size)) {}

ReaVec::ReaVec(unsigned size, double v) : n(size), data(NewReals(size)) { fill(v, 1, 0); }

ReaVec::ReaVec(const ReaVec& a) : n(a.n), data(NewReals(a.n)) {
  if (n) std::memcpy(data, a.data, n * sizeof(double));
}

ReaVec::ReaVec(ReaVecT& t) noexcept : n(t.n), data(t.data) { t.release(); }

ReaVec::ReaVec(ReaVecT&& t) noexcept : ReaVec(t) {}

ReaVec::ReaVec(const Matrix& m) {
  if (m.ncols != 1) OLVU_FATAL("Vector can\xb4t have more than 1 column\n");
  n = static_cast<unsigned>(m.nrows);
  data = NewReals(n);
  if (n) std::memcpy(data, m.data, n * sizeof(double));
}

ReaVec::ReaVec(MatrixT& m) {
  if (m.ncols != 1) OLVU_FATAL("Cannot convert Matrix to Vector\n");
  n = static_cast<unsigned>(m.size);
  data = m.data;
  m.nrows = m.ncols = m.size = 0;
  m.data = nullptr;
}

ReaVec::ReaVec(MatrixT&& m) : ReaVec(m) {}

ReaVec::~ReaVec() { delete[] data; }

// ---------------------------------------------------------------- assignment and size

ReaVec& ReaVec::operator=(const ReaVec& a) {
  if (this == &a) return *this;
  if (n != a.n) {
    // Through the virtual resize, so a pool vector never hands its array to delete[].
    resize(0);
    resize(a.n);
  }
  if (!Threaded(n)) {
    if (n) std::memcpy(data, a.data, n * sizeof(double));
    return *this;
  }
  // A long copy shares the bandwidth of the threads, in contiguous blocks.
  double* t = data;
  const double* x = a.data;
  ForBlocks(n, [=](int, std::size_t lo, std::size_t hi) { std::memcpy(t + lo, x + lo, (hi - lo) * sizeof(double)); });
  return *this;
}

ReaVec& ReaVec::operator=(ReaVecT& t) noexcept {
  if (static_cast<ReaVec*>(&t) != this) adopt(t);
  return *this;
}

void ReaVec::adopt(ReaVecT& t) noexcept {
  delete[] data;
  n = t.n;
  data = t.data;
  t.release();
}

ReaVec& ReaVec::operator=(ReaVecT&& t) noexcept { return *this = t; }

ReaVec& ReaVec::operator=(double v) {
  if (n == 0) OLVU_FATAL("Can't fill with " << v << " a zero lenght vector.\n");
  double* const t = data;
  Each(n, [=](unsigned i) { t[i] = v; });
  return *this;
}

ReaVec& ReaVec::operator=(const Matrix& m) {
  if (m.ncols != 1) OLVU_FATAL("Vector can\xb4t have more than 1 column\n");
  if (static_cast<unsigned>(m.nrows) < n) SameLength(n, static_cast<unsigned>(m.nrows));
  if (n) std::memcpy(data, m.data, n * sizeof(double));
  return *this;
}

void ReaVec::copy(const ReaVec& a) {
  if (n && data != a.data) std::memcpy(data, a.data, n * sizeof(double));
}

void ReaVec::resize(unsigned size, double v) {
  if (size == 0) {
    remove();
    return;
  }
  double* p = NewReals(size);
  CarryOver(p, size, data, n, v);
  delete[] data;
  data = p;
  n = size;
}

void ReaVec::resize(const ReaVec& a, const ReaVec& b, const ReaVec& c) {
  SameLength(a.n, b.n);
  SameLength(a.n, c.n);
  unsigned m = a.n;
  if (uint64_t(m) * 3 > 0xffffffffu) OLVU_FATAL("Not space available on heap\n");
  ReaVecT t(3 * m);  // a, b or c may be this vector
  if (m) {
    std::memcpy(t.data, a.data, m * sizeof(double));
    std::memcpy(t.data + m, b.data, m * sizeof(double));
    std::memcpy(t.data + 2 * m, c.data, m * sizeof(double));
  }
  *this = static_cast<const ReaVec&>(t);
}

void ReaVec::fill(double v, unsigned start, unsigned len) {
  len = VecSubRange(n, start, len);
  double* p = data + start - 1;
  for (unsigned i = 0; i < len; i++) p[i] = v;
}

ReaVecT ReaVec::subVec(unsigned start, unsigned len) const {
  len = VecSubRange(n, start, len);
  ReaVecT r(len);
  std::memcpy(r.data, data + start - 1, len * sizeof(double));
  return r;
}

void ReaVec::remove() noexcept {
  delete[] data;
  data = nullptr;
  n = 0;
}

// No caller: an operation refusing operands of other lengths would stop with it.
void ReaVec::DimError() const { OLVU_FATAL("Out of Dimension in ReaVec\n"); }

// ---------------------------------------------------------------- ReaVecT, ReaVecM

ReaVecT& ReaVecT::operator-() {
  double* const t = data;
  Each(n, [=](unsigned i) { t[i] = -t[i]; });
  return *this;
}

ReaVecM::ReaVecM(unsigned size) {
  data = PoolReals(size);
  n = size;
}

ReaVecM::ReaVecM(unsigned size, double v) : ReaVecM(size) { fill(v, 1, 0); }

ReaVecM::ReaVecM(const ReaVec& a) : ReaVecM(a.n) {
  if (n) std::memcpy(data, a.data, n * sizeof(double));
}

ReaVecM& ReaVecM::operator=(const ReaVec& a) {
  if (this == &a) return *this;
  if (n != a.n) {
    data = PoolReals(a.n);
    n = a.n;
  }
  if (n) std::memcpy(data, a.data, n * sizeof(double));
  return *this;
}

void ReaVecM::resize(unsigned size, double v) {
  if (size == 0) {
    release();
    return;
  }
  double* p = PoolReals(size);
  CarryOver(p, size, data, n, v);
  data = p;
  n = size;
}

// ---------------------------------------------------------------- element-wise forms
// Every loop runs once over the raw arrays in index order; operands have this length.

void ReaVec::plus(const ReaVec& a, const ReaVec& b) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] = x[i] + y[i]; });
}

void ReaVec::minus(const ReaVec& a, const ReaVec& b) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] = x[i] - y[i]; });
}

void ReaVec::product(const ReaVec& a, const ReaVec& b) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] = x[i] * y[i]; });
}

void ReaVec::quotient(const ReaVec& a, const ReaVec& b) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] = x[i] / y[i]; });
}

void ReaVec::plus(const ReaVec& a, double s) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] = x[i] + s; });
}

void ReaVec::minus(const ReaVec& a, double s) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] = x[i] - s; });
}

void ReaVec::product(const ReaVec& a, double s) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] = s * x[i]; });
}

void ReaVec::product(const ReaVec& a, const ReaVec& b, double s) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] = s * x[i] * y[i]; });
}

void ReaVec::quotient(const ReaVec& a, const ReaVec& b, double s) {
  s = std::fabs(s);
  if (s == 0) OLVU_FATAL("Wrong input data in ReaVec::quotient\n");
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] = x[i] / (y[i] > s ? y[i] : s); });
}

void ReaVec::plus(const ReaVec& a) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] += x[i]; });
}

void ReaVec::minus(const ReaVec& a) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] -= x[i]; });
}

void ReaVec::product(const ReaVec& a) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] *= x[i]; });
}

void ReaVec::quotient(const ReaVec& a) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] /= x[i]; });
}

void ReaVec::quotient(const ReaVec& a, double s) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] /= (x[i] > s ? x[i] : s); });
}

void ReaVec::add_plus(const ReaVec& a, const ReaVec& b) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] += x[i] + y[i]; });
}

void ReaVec::sub_plus(const ReaVec& a, const ReaVec& b) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] -= x[i] + y[i]; });
}

void ReaVec::add_minus(const ReaVec& a, const ReaVec& b) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] += x[i] - y[i]; });
}

void ReaVec::sub_minus(const ReaVec& a, const ReaVec& b) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] -= x[i] - y[i]; });
}

void ReaVec::add_product(const ReaVec& a, const ReaVec& b) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] += x[i] * y[i]; });
}

void ReaVec::sub_product(const ReaVec& a, const ReaVec& b) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] -= x[i] * y[i]; });
}

void ReaVec::add_quotient(const ReaVec& a, const ReaVec& b) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] += x[i] / y[i]; });
}

// No caller: an update subtracting a nodal quotient would.
void ReaVec::sub_quotient(const ReaVec& a, const ReaVec& b) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  Each(n, [=](unsigned i) { t[i] -= x[i] / y[i]; });
}

void ReaVec::add_Fproduct(const ReaVec& a, const ReaVec& b, double (*f)(double)) {
  double* t = data;
  const double *x = a.data, *y = b.data;
  for (unsigned i = 0; i < n; i++) t[i] += f(x[i] * y[i]);
}

// Row sums of M times a, combined into this by sign (0 set, +1 add, -1 subtract).
static void MatVec(double* t, const Matrix& M, const double* a, int sign) {
  const int r = M.nrows, c = M.ncols;
  const double* row = M.data;
  for (int i = 0; i < r; i++, row += c) {
    double s = 0.0;
    for (int j = 0; j < c; j++) s += row[j] * a[j];
    if (sign == 0)
      t[i] = s;
    else if (sign > 0)
      t[i] += s;
    else
      t[i] -= s;
  }
}

void ReaVec::product(const Matrix& M, const ReaVec& a) { MatVec(data, M, a.data, 0); }
void ReaVec::add_product(const Matrix& M, const ReaVec& a) { MatVec(data, M, a.data, 1); }
void ReaVec::sub_product(const Matrix& M, const ReaVec& a) { MatVec(data, M, a.data, -1); }

void ReaVec::add_plus(const ReaVec& a, double s) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] += x[i] + s; });
}

void ReaVec::sub_plus(const ReaVec& a, double s) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] -= x[i] + s; });
}

void ReaVec::add_minus(const ReaVec& a, double s) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] += x[i] - s; });
}

void ReaVec::sub_minus(const ReaVec& a, double s) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] -= x[i] - s; });
}

void ReaVec::add_product(const ReaVec& a, double s) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] += s * x[i]; });
}

void ReaVec::sub_product(const ReaVec& a, double s) {
  double* t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] -= s * x[i]; });
}

// ---------------------------------------------------------------- compound operators

ReaVec& ReaVec::operator+=(const ReaVec& a) {
  SameLength(n, a.n);
  plus(a);
  return *this;
}

ReaVec& ReaVec::operator-=(const ReaVec& a) {
  SameLength(n, a.n);
  minus(a);
  return *this;
}

ReaVec& ReaVec::operator+=(double s) {
  double* const t = data;
  Each(n, [=](unsigned i) { t[i] += s; });
  return *this;
}

ReaVec& ReaVec::operator-=(double s) {
  double* const t = data;
  Each(n, [=](unsigned i) { t[i] -= s; });
  return *this;
}

ReaVec& ReaVec::operator*=(double s) {
  double* const t = data;
  Each(n, [=](unsigned i) { t[i] *= s; });
  return *this;
}

ReaVec& ReaVec::operator/=(double s) {
  if (s == 0) OLVU_FATAL("Division by zero.\n");
  double* const t = data;
  Each(n, [=](unsigned i) { t[i] /= s; });
  return *this;
}

ReaVecT ReaVec::operator-() const {
  ReaVecT r(n);
  double *const t = r.data, *const x = data;
  Each(n, [=](unsigned i) { t[i] = -x[i]; });
  return r;
}

// ---------------------------------------------------------------- unary forms

void ReaVec::abs() {
  double* const t = data;
  Each(n, [=](unsigned i) { t[i] = std::fabs(t[i]); });
}

void ReaVec::abs(const ReaVec& a) {
  double* const t = data;
  const double *ap = a.data;
  Each(n, [=](unsigned i) { t[i] = std::fabs(ap[i]); });
}

void ReaVec::square() {
  double* const t = data;
  Each(n, [=](unsigned i) { t[i] *= t[i]; });
}

void ReaVec::square(const ReaVec& a) {
  double* const t = data;
  const double *ap = a.data;
  Each(n, [=](unsigned i) { t[i] = ap[i] * ap[i]; });
}

void ReaVec::inverse() {
  double* const t = data;
  Each(n, [=](unsigned i) { t[i] = 1.0 / t[i]; });
}

void ReaVec::inverse(const ReaVec& a) {
  double* const t = data;
  const double *ap = a.data;
  Each(n, [=](unsigned i) { t[i] = 1.0 / ap[i]; });
}

void ReaVec::opposite() {
  double* const t = data;
  Each(n, [=](unsigned i) { t[i] = -t[i]; });
}

void ReaVec::opposite(const ReaVec& a) {
  if (n != a.n) OLVU_FATAL("Different lenght vectors in opposite function " << n << " != " << a.n << "\n");
  double* const t = data;
  const double *ap = a.data;
  Each(n, [=](unsigned i) { t[i] = -ap[i]; });
}

void ReaVec::sqroot() { sqroot(*this); }

void ReaVec::sqroot(const ReaVec& a) {
  for (unsigned i = 0; i < n; i++) {
    if (a.data[i] < 0) OLVU_FATAL("Wrong input data in ReaVec::sqroot\n");
    data[i] = std::sqrt(a.data[i]);
  }
}

void ReaVec::normalise() { *this /= norm(); }

// ---------------------------------------------------------------- pairwise extremes, magnitudes

void ReaVec::max_abs(const ReaVec& a, const ReaVec& b) {
  for (unsigned i = 0; i < n; i++) data[i] = std::fmax(std::fabs(a.data[i]), std::fabs(b.data[i]));
}

void ReaVec::min_abs(const ReaVec& a, const ReaVec& b) {
  for (unsigned i = 0; i < n; i++) data[i] = std::fmin(std::fabs(a.data[i]), std::fabs(b.data[i]));
}

void ReaVec::max_abs(const ReaVec& a, const ReaVec& b, const ReaVec& c) {
  for (unsigned i = 0; i < n; i++)
    data[i] = std::fmax(std::fmax(std::fabs(a.data[i]), std::fabs(b.data[i])), std::fabs(c.data[i]));
}

void ReaVec::min_abs(const ReaVec& a, const ReaVec& b, const ReaVec& c) {
  for (unsigned i = 0; i < n; i++)
    data[i] = std::fmin(std::fmin(std::fabs(a.data[i]), std::fabs(b.data[i])), std::fabs(c.data[i]));
}

void ReaVec::max_vec(const ReaVec& a) {
  for (unsigned i = 0; i < n; i++)
    if (a.data[i] > data[i]) data[i] = a.data[i];
}

void ReaVec::min_vec(const ReaVec& a) {
  for (unsigned i = 0; i < n; i++)
    if (a.data[i] < data[i]) data[i] = a.data[i];
}

void ReaVec::norm(const ReaVec& a, const ReaVec& b) {
  double* const t = data;
  const double *ap = a.data, *bp = b.data;
  Each(n, [=](unsigned i) { t[i] = std::sqrt(ap[i] * ap[i] + bp[i] * bp[i]); });
}

void ReaVec::norm(const ReaVec& a, const ReaVec& b, const ReaVec& c) {
  for (unsigned i = 0; i < n; i++)
    data[i] = std::sqrt(a.data[i] * a.data[i] + b.data[i] * b.data[i] + c.data[i] * c.data[i]);
}

void ReaVec::sumsq(const ReaVec& a, const ReaVec& b, const ReaVec& c) {
  double* const t = data;
  const double *ap = a.data, *bp = b.data, *cp = c.data;
  Each(n, [=](unsigned i) { t[i] = ap[i] * ap[i] + bp[i] * bp[i] + cp[i] * cp[i]; });
}

// ---------------------------------------------------------------- masked and _ifE forms

void ReaVec::product(const BitVec& mask, const ReaVec& a) {
  for (unsigned i = 0; i < n; i++) data[i] = mask[i] ? data[i] * a.data[i] : 0.0;
}

void ReaVec::average(const ReaVec& a, const BitVec& mask, double s) {
  if (s == 1) return;
  if (s <= 0) {
    for (unsigned i = 0; i < n; i++)
      if (!mask[i]) data[i] = a.data[i];
    return;
  }
  const double r = 1.0 / s, q = (1.0 - s) / s;
  for (unsigned i = 0; i < n; i++)
    if (!mask[i]) data[i] = data[i] * r - q * a.data[i];
}

void ReaVec::plus_ifE(const ReaVec& a, const ReaVec& b) {
  if (a.n && b.n)
    plus(a, b);
  else if (a.n)
    *this = a;
  else if (b.n)
    *this = b;
  else
    *this = 0.0;
}

void ReaVec::plus_ifE(const ReaVec& a) {
  if (a.n) plus(a);
}

// ---------------------------------------------------------------- apply

void ReaVec::apply(double (*f)(double), const ReaVec& a) {
  for (unsigned i = 0; i < n; i++) data[i] = f(a.data[i]);
}

void ReaVec::apply(double (*f)(double, double), const ReaVec& a, const ReaVec& b) {
  for (unsigned i = 0; i < n; i++) data[i] = f(a.data[i], b.data[i]);
}

void ReaVec::apply(double (*f)(double, double, double), const ReaVec& a, const ReaVec& b, const ReaVec& c) {
  for (unsigned i = 0; i < n; i++) data[i] = f(a.data[i], b.data[i], c.data[i]);
}

void ReaVec::apply(double (*f)(double, double, double, double), const ReaVec& a, const ReaVec& b,
                   const ReaVec& c, const ReaVec& d) {
  for (unsigned i = 0; i < n; i++) data[i] = f(a.data[i], b.data[i], c.data[i], d.data[i]);
}

void ReaVec::apply(double (*f)(double, double), const ReaVec& a, double s) {
  for (unsigned i = 0; i < n; i++) data[i] = f(a.data[i], s);
}

void ReaVec::apply(double (*f)(double, double, double), const ReaVec& a, const ReaVec& b, double s) {
  for (unsigned i = 0; i < n; i++) data[i] = f(a.data[i], b.data[i], s);
}

void ReaVec::apply(double (*f)(double, double, double, double), const ReaVec& a, const ReaVec& b,
                   const ReaVec& c, double s) {
  for (unsigned i = 0; i < n; i++) data[i] = f(a.data[i], b.data[i], c.data[i], s);
}

void ReaVec::apply(void (*f)(double&), const ReaVec& a) {
  for (unsigned i = 0; i < n; i++) {
    data[i] = a.data[i];
    f(data[i]);
  }
}

void ReaVec::apply(double (*f)(double)) {
  for (unsigned i = 0; i < n; i++) data[i] = f(data[i]);
}

void ReaVec::apply(void (*f)(double)) const {
  for (unsigned i = 0; i < n; i++) f(data[i]);
}

// ---------------------------------------------------------------- relaxation

void ReaVec::average(const ReaVec& a, double s) {
  if (s == 1) return;
  if (s <= 0) {
    *this = a;
    return;
  }
  const double r = 1.0 / s, q = (1.0 - s) / s;
  double* const t = data;
  const double *ap = a.data;
  Each(n, [=](unsigned i) { t[i] = t[i] * r - q * ap[i]; });
}

void ReaVec::average(const ReaVec& a, const ReaVec& b, double s) {
  if (s == 1) {
    *this = b;
    return;
  }
  if (s <= 0) {
    *this = a;
    return;
  }
  const double r = 1.0 / s, q = (1.0 - s) / s;
  double* const t = data;
  const double *ap = a.data, *bp = b.data;
  Each(n, [=](unsigned i) { t[i] = bp[i] * r - q * ap[i]; });
}

void ReaVec::average(double s) {
  if (s == 1) return;
  if (s <= 0) {
    *this = 0.0;
    return;
  }
  *this *= 1.0 / s;
}

void ReaVec::averincr(ReaVec& acc, double s) {
  if (s == 1) {
    acc += *this;
    return;
  }
  if (s <= 0) {
    *this = 0.0;
    return;
  }
  *this *= 1.0 / s;
  acc += *this;
}

void ReaVec::aver(const ReaVec& a, double s) {
  if (s == 1) return;
  if (s <= 0) {
    *this = a;
    return;
  }
  const double q = 1.0 - s;
  double* const t = data;
  const double *ap = a.data;
  Each(n, [=](unsigned i) { t[i] = s * t[i] - q * ap[i]; });
}

// ---------------------------------------------------------------- limits

// Ends the run when the bounds are crossed.
static void LimitBounds(double max, double min) {
  if (max < min) OLVU_FATAL("Wrong input in ReaVec::limit. Maximum " << max << ", minimum " << min << "\n");
}

void ReaVec::limit(double max, double min) { limit(*this, max, min); }

void ReaVec::limit(const ReaVec& a, double max, double min) {
  LimitBounds(max, min);
  if (max == min) {
    double* const t = data;
    Each(n, [=](unsigned i) { t[i] = max; });
    return;
  }
  double* const t = data;
  const double* x = a.data;
  Each(n, [=](unsigned i) { t[i] = x[i] > max ? max : (x[i] < min ? min : x[i]); });
}

void ReaVec::limit(const ReaVec& upper, const ReaVec& lower) {
  for (unsigned i = 0; i < n; i++) {
    if (data[i] > upper.data[i])
      data[i] = upper.data[i];
    else if (data[i] < lower.data[i])
      data[i] = lower.data[i];
  }
}

void ReaVec::max_limit(double s) {
  double* const t = data;
  Each(n, [=](unsigned i) { t[i] = t[i] > s ? s : t[i]; });
}

void ReaVec::min_limit(double s) {
  double* const t = data;
  Each(n, [=](unsigned i) { t[i] = t[i] < s ? s : t[i]; });
}

void ReaVec::max_limit(const ReaVec& a) {
  for (unsigned i = 0; i < n; i++)
    if (data[i] > a.data[i]) data[i] = a.data[i];
}

void ReaVec::min_limit(const ReaVec& a) {
  for (unsigned i = 0; i < n; i++)
    if (data[i] < a.data[i]) data[i] = a.data[i];
}

void ReaVec::max_limit(const ReaVec& a, double s) {
  for (unsigned i = 0; i < n; i++) {
    double v = s * a.data[i];
    if (data[i] > v) data[i] = v;
  }
}

void ReaVec::min_limit(const ReaVec& a, double s) {
  for (unsigned i = 0; i < n; i++) {
    double v = s * a.data[i];
    if (data[i] < v) data[i] = v;
  }
}

void ReaVec::max_limit_quot(const ReaVec& a, double s) {
  for (unsigned i = 0; i < n; i++) {
    double v = s / a.data[i];
    if (data[i] > v) data[i] = v;
  }
}

// No caller: a lower bound that falls with a nodal divisor would.
void ReaVec::min_limit_quot(const ReaVec& a, double s) {
  for (unsigned i = 0; i < n; i++) {
    double v = s / a.data[i];
    if (data[i] < v) data[i] = v;
  }
}

void ReaVec::max_limit(double s, const ReaVec& a) {
  for (unsigned i = 0; i < n; i++)
    if (data[i] > s) data[i] = a.data[i];
}

void ReaVec::min_limit(double s, const ReaVec& a) {
  for (unsigned i = 0; i < n; i++)
    if (data[i] < s) data[i] = a.data[i];
}

// ---------------------------------------------------------------- cross products

// Ends the run unless a and b are both two- or three-entry vectors of this length.
static void CrossLengths(unsigned a, unsigned b) {
  if (a != b || (a != 2 && a != 3)) OLVU_FATAL("ReaVec::vectorial only works for two or three dimensions\n");
}

void ReaVec::vectorial(const ReaVec& a) {
  CrossLengths(n, a.n);
  const double* q = a.data;
  double t1 = data[0], t2 = data[1];
  if (n == 3) {
    double t3 = data[2];
    data[0] = t2 * q[2] - t3 * q[1];
    data[1] = t3 * q[0] - t1 * q[2];
    data[2] = t1 * q[1] - t2 * q[0];
  } else {
    data[0] = 0.0;
    data[1] = t1 * q[1] - t2 * q[0];
  }
}

// c = a x b for two- or three-entry a and b of equal length (c has three entries).
static void Cross(double* c, const double* a, const double* b, unsigned m) {
  if (m == 3) {
    double c1 = a[1] * b[2] - a[2] * b[1];
    double c2 = a[2] * b[0] - a[0] * b[2];
    double c3 = a[0] * b[1] - a[1] * b[0];
    c[0] = c1;
    c[1] = c2;
    c[2] = c3;
  } else {
    double c3 = a[0] * b[1] - a[1] * b[0];
    c[0] = c[1] = 0.0;
    c[2] = c3;
  }
}

void ReaVec::vectorial(const ReaVec& a, const ReaVec& b) {
  CrossLengths(a.n, b.n);
  if (n != 3) {
    // Read the operands before the array may move (this may be one of them).
    double t[3];
    Cross(t, a.data, b.data, a.n);
    resize(3);
    std::memcpy(data, t, sizeof t);
    return;
  }
  Cross(data, a.data, b.data, a.n);
}

ReaVecT vectorial(const ReaVec& a, const ReaVec& b) {
  SameLength(a.length(), b.length());
  if (a.length() != 2 && a.length() != 3) OLVU_FATAL("Operator ^ only works for two or three dimensions\n");
  ReaVecT r(3);
  Cross(r.GivePointer(), a.GivePointer(), b.GivePointer(), a.length());
  return r;
}

// ---------------------------------------------------------------- reductions

double ReaVec::sum() const {
  const double* x = data;
  return ReduceSum(n, [x](std::size_t i) { return x[i]; });
}

double ReaVec::sum_abs() const {
  const double* x = data;
  return ReduceSum(n, [x](std::size_t i) { return std::fabs(x[i]); });
}

double ReaVec::sumsq() const {
  const double* x = data;
  return ReduceSum(n, [x](std::size_t i) { return x[i] * x[i]; });
}

double ReaVec::norm() const { return std::sqrt(sumsq()); }

// The largest (Above: a > b) or smallest value of x[0, n) as the first-index scan finds it: a
// NaN first entry stays, later NaNs are passed over, the first of equal values wins. The blocks of
// the threads keep those rules, so they find the same value for any thread count.
template <class Above>
static double Extreme(const double* x, unsigned n, Above above) {
  if (n == 0) return 0.0;
  if (std::isnan(x[0])) return x[0];
  double part[kReduceBlocks];
  const int blocks = ForBlocks(n, [&](int b, std::size_t lo, std::size_t hi) {
    double m = std::nan("");  // an empty block offers nothing
    for (std::size_t i = lo; i < hi; i++)
      if (above(x[i], m) || std::isnan(m)) m = x[i];
    part[b] = m;
  });
  double m = part[0];
  for (int b = 1; b < blocks; b++)
    if (above(part[b], m)) m = part[b];
  return m;
}

double ReaVec::max_val() const { return Extreme(data, n, [](double a, double b) { return a > b; }); }

double ReaVec::min_val() const { return Extreme(data, n, [](double a, double b) { return a < b; }); }

unsigned ReaVec::max_index() const {
  if (n == 0) return 0;
  unsigned k = 0;
  for (unsigned i = 1; i < n; i++)
    if (data[i] > data[k]) k = i;
  return k + 1;
}

unsigned ReaVec::min_index() const {
  if (n == 0) return 0;
  unsigned k = 0;
  for (unsigned i = 1; i < n; i++)
    if (data[i] < data[k]) k = i;
  return k + 1;
}

unsigned ReaVec::max_abs_index() const {
  if (n == 0) return 0;
  unsigned k = 0;
  double m = std::fabs(data[0]);
  for (unsigned i = 1; i < n; i++)
    if (std::fabs(data[i]) > m) {
      m = std::fabs(data[i]);
      k = i;
    }
  return k + 1;
}

unsigned ReaVec::min_abs_index() const {
  if (n == 0) return 0;
  unsigned k = 0;
  double m = std::fabs(data[0]);
  for (unsigned i = 1; i < n; i++)
    if (std::fabs(data[i]) < m) {
      m = std::fabs(data[i]);
      k = i;
    }
  return k + 1;
}

double ReaVec::max_abs() const {
  // A maximum is exact: the threads find the same value as the first-index scan.
  const double* x = data;
  if (n > 0 && std::isnan(x[0])) return std::fabs(x[0]);  // as the scan, which compares nothing above it
  return ReduceMax(n, [x](std::size_t i) { return std::fabs(x[i]); });
}

double ReaVec::min_abs() const {
  unsigned k = min_abs_index();
  return k ? std::fabs(data[k - 1]) : 0.0;
}

double ReaVec::max_signed() const {
  unsigned k = max_abs_index();
  return k ? data[k - 1] : 0.0;
}

double ReaVec::min_signed() const {
  unsigned k = min_abs_index();
  return k ? data[k - 1] : 0.0;
}

unsigned ReaVec::index(double v) const {
  for (unsigned i = 0; i < n; i++)
    if (data[i] == v) return i + 1;
  return 0;
}

double ReaVec::reduce(double (*f)(double, double), double init) const {
  for (unsigned i = 0; i < n; i++) init = f(init, data[i]);
  return init;
}

bool ReaVec::constant() const {
  for (unsigned i = 1; i < n; i++)
    if (data[i] != data[0]) return false;
  return true;
}

bool ReaVec::operator==(double s) const {
  for (unsigned i = 0; i < n; i++)
    if (data[i] != s) return false;
  return true;
}

void ReaVec::Qsort() {
  if (n > 1) QSort(data, 0, static_cast<int>(n));
}

int ReaVec::Bsearch(double v) const {
  if (n == 0) return -1;
  return BSearch(v, data, 0, static_cast<int>(n) - 1);
}

void ReaVec::reverse() {
  for (unsigned i = 0, j = n; i + 1 < j; i++, j--) {
    double t = data[i];
    data[i] = data[j - 1];
    data[j - 1] = t;
  }
}

// ---------------------------------------------------------------- free operations

ReaVecT operator+(const ReaVec& a, const ReaVec& b) {
  SameLength(a.length(), b.length());
  ReaVecT r(a.length());
  r.plus(a, b);
  return r;
}

ReaVecT operator-(const ReaVec& a, const ReaVec& b) {
  SameLength(a.length(), b.length());
  ReaVecT r(a.length());
  r.minus(a, b);
  return r;
}

ReaVecT product(const ReaVec& a, const ReaVec& b) {
  ReaVecT r(a.length());
  r.product(a, b);
  return r;
}

ReaVecT quotient(const ReaVec& a, const ReaVec& b) {
  ReaVecT r(a.length());
  r.quotient(a, b);
  return r;
}

ReaVecT operator+(const ReaVec& a, double s) {
  ReaVecT r(a.length());
  r.plus(a, s);
  return r;
}

ReaVecT operator-(const ReaVec& a, double s) {
  ReaVecT r(a.length());
  r.minus(a, s);
  return r;
}

ReaVecT operator*(const ReaVec& a, double s) {
  ReaVecT r(a.length());
  r.product(a, s);
  return r;
}

ReaVecT operator/(const ReaVec& a, double s) {
  ReaVecT r(a.length());
  const double* x = a.GivePointer();
  double* t = r.GivePointer();
  for (unsigned i = 0, m = a.length(); i < m; i++) t[i] = x[i] / s;
  return r;
}

ReaVecT operator&(const ReaVec& a, const ReaVec& b) {
  unsigned na = a.length(), nb = b.length();
  if (uint64_t(na) + nb > 0xffffffffu) OLVU_FATAL("Not space available on heap\n");
  ReaVecT r(na + nb);
  if (na) std::memcpy(r.GivePointer(), a.GivePointer(), na * sizeof(double));
  if (nb) std::memcpy(r.GivePointer() + na, b.GivePointer(), nb * sizeof(double));
  return r;
}

ReaVecT combine(double (*f)(double, double), const ReaVec& a, const ReaVec& b) {
  unsigned m = a.length() < b.length() ? a.length() : b.length();
  ReaVecT r(m);
  for (unsigned i = 0; i < m; i++) r[i] = f(a[i], b[i]);
  return r;
}

ReaVecT map(double (*f)(double), const ReaVec& a) {
  ReaVecT r(a.length());
  r.apply(f, a);
  return r;
}

ReaVecT merge(const ReaVec& a, const ReaVec& b, int (*cmp)(double, double)) {
  unsigned na = a.length(), nb = b.length();
  if (uint64_t(na) + nb > 0xffffffffu) OLVU_FATAL("Not space available on heap\n");
  ReaVecT r(na + nb);
  unsigned i = 0, j = 0, k = 0;
  while (i < na && j < nb) r[k++] = cmp(a[i], b[j]) > 0 ? b[j++] : a[i++];
  while (i < na) r[k++] = a[i++];
  while (j < nb) r[k++] = b[j++];
  return r;
}

ReaVecT reverse(const ReaVec& a) {
  unsigned m = a.length();
  ReaVecT r(m);
  for (unsigned i = 0; i < m; i++) r[i] = a[m - 1 - i];
  return r;
}

double dot(const ReaVec& a, const ReaVec& b) {
  const double *x = a.GivePointer(), *y = b.GivePointer();
  return ReduceSum(a.length(), [x, y](std::size_t i) { return x[i] * y[i]; });
}

double operator*(const ReaVec& a, const ReaVec& b) { return dot(a, b); }

double dif_norm(const ReaVec& a, const ReaVec& b) {
  const double *x = a.GivePointer(), *y = b.GivePointer();
  return std::sqrt(ReduceSum(a.length(), [x, y](std::size_t i) { return (x[i] - y[i]) * (x[i] - y[i]); }));
}

double dif_norm(const ReaVec& w, const ReaVec& a, const ReaVec& b) {
  const double *p = w.GivePointer(), *x = a.GivePointer(), *y = b.GivePointer();
  return ReduceSum(a.length(), [p, x, y](std::size_t i) { return p[i] * std::fabs(x[i] - y[i]); });
}

double dif_max_abs(const ReaVec& a, const ReaVec& b) {
  const double *x = a.GivePointer(), *y = b.GivePointer();
  double s = 0.0;
  for (unsigned i = 0, m = a.length(); i < m; i++) {
    double d = std::fabs(x[i] - y[i]);
    if (d > s) s = d;
  }
  return s;
}

double dif_max_abs(const ReaVec& a, const ReaVec& b, const BitVec& mask) {
  const double *x = a.GivePointer(), *y = b.GivePointer();
  double s = 0.0;
  for (unsigned i = 0, m = a.length(); i < m; i++) {
    if (mask[i]) continue;
    double d = std::fabs(x[i] - y[i]);
    if (d > s) s = d;
  }
  return s;
}

bool operator==(const ReaVec& a, const ReaVec& b) {
  unsigned m = a.length();
  if (m != b.length()) return false;
  for (unsigned i = 0; i < m; i++)
    if (a[i] != b[i]) return false;
  return true;
}

// ---------------------------------------------------------------- sorts over whole vectors

int QSort(ReaVec& a) {
  a.Qsort();
  return 1;
}

int QSort(IntVec& keys, ReaVec& companion) {
  unsigned m = keys.length();
  if (companion.length() < m) OLVU_FATAL("Different lenght vectors " << m << " != " << companion.length() << "\n");
  if (m > 1) QSort(&keys[0], companion.GivePointer(), 0, static_cast<int>(m));
  return 1;
}

int BSearch(const ReaVec& a, double key) { return a.Bsearch(key); }

int LSearch(const ReaVec& a, double key) {
  if (a.length() == 0) return -1;
  return LSearch(key, a.GivePointer(), 0, static_cast<int>(a.length()) - 1);
}
