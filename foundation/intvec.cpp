#include "foundation/intvec.h"

#include <cstdint>
#include <cstring>

#include "foundation/error.h"
#include "foundation/qsort.h"

IntVec NULLIVec;

int* NewInts(unsigned n) { return n == 0 ? nullptr : new int[n]; }

void SameLength(unsigned a, unsigned b) {
  if (a != b) OLVU_FATAL("Different lenght vectors " << a << " != " << b << "\n");
}

// Truncating quotient; a zero divisor ends the run, INT_MIN / -1 wraps.
static int IntDiv(int a, int b) {
  if (b == 0) OLVU_FATAL("Division by zero.\n");
  if (b == -1) return static_cast<int>(0u - static_cast<unsigned>(a));
  return a / b;
}

// 32-bit wrapping arithmetic, so overflow is defined.
static int WrapAdd(int a, int b) { return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b)); }
static int WrapSub(int a, int b) { return static_cast<int>(static_cast<unsigned>(a) - static_cast<unsigned>(b)); }
static int WrapMul(int a, int b) { return static_cast<int>(static_cast<unsigned>(a) * static_cast<unsigned>(b)); }

unsigned VecSubRange(unsigned n, unsigned start, unsigned count) {
  if (count == 0) count = n - start + 1;
  uint64_t end = uint64_t(start) + count - 1;  // last entry, 1-based
  if (start < 1 || count == 0 || end > n)
    OLVU_FATAL("Index " << static_cast<unsigned>(start + count - 2) << " out of range.\n");
  return count;
}

IntVec::IntVec(int size, int v) {
  if (size < 0) OLVU_FATAL("Can't create a vector of size " << size << "\n");
  n = static_cast<unsigned>(size);
  data = NewInts(n);
  for (unsigned i = 0; i < n; i++) data[i] = v;
}

IntVec::IntVec(const IntVec& a) : n(a.n), data(NewInts(a.n)) {
  if (n) std::memcpy(data, a.data, n * sizeof(int));
}

IntVec::IntVec(IntVecT& t) noexcept : n(t.n), data(t.data) {
  t.n = 0;
  t.data = nullptr;
}

IntVec::IntVec(IntVecT&& t) noexcept : IntVec(t) {}

IntVec::~IntVec() { delete[] data; }

IntVec& IntVec::operator=(const IntVec& b) {
  if (this == &b) return *this;
  if (n != b.n) {
    delete[] data;
    data = nullptr;
    data = NewInts(b.n);
    n = b.n;
  }
  if (n) std::memcpy(data, b.data, n * sizeof(int));
  return *this;
}

IntVec& IntVec::operator=(IntVecT& t) noexcept {
  if (static_cast<IntVec*>(&t) == this) return *this;
  delete[] data;
  n = t.n;
  data = t.data;
  t.n = 0;
  t.data = nullptr;
  return *this;
}

IntVec& IntVec::operator=(IntVecT&& t) noexcept { return *this = t; }

IntVec& IntVec::operator=(int v) {
  if (n == 0) OLVU_FATAL("Can't fill with " << v << " a zero lenght vector.\n");
  for (unsigned i = 0; i < n; i++) data[i] = v;
  return *this;
}

void IntVec::resize(unsigned size, int v) {
  if (size == 0) {
    delete[] data;
    data = nullptr;
    n = 0;
    return;
  }
  int* p = NewInts(size);
  unsigned keep = n < size ? n : size;
  if (keep) std::memcpy(p, data, keep * sizeof(int));
  for (unsigned i = keep; i < size; i++) p[i] = v;
  delete[] data;
  data = p;
  n = size;
}

IntVecT IntVec::subVec(unsigned start, unsigned count) const {
  count = VecSubRange(n, start, count);
  IntVecT r(static_cast<int>(count));
  std::memcpy(r.data, data + start - 1, count * sizeof(int));
  return r;
}

void IntVec::fill(int v, unsigned start, unsigned count) {
  count = VecSubRange(n, start, count);
  int* p = data + start - 1;
  for (unsigned i = 0; i < count; i++) p[i] = v;
}

IntVecT IntVec::operator-() const {
  IntVecT r(static_cast<int>(n));
  for (unsigned i = 0; i < n; i++) r.data[i] = WrapSub(0, data[i]);
  return r;
}

IntVecT& IntVecT::operator-() {
  for (unsigned i = 0; i < n; i++) data[i] = WrapSub(0, data[i]);
  return *this;
}

IntVec& IntVec::operator+=(const IntVec& b) {
  SameLength(n, b.n);
  for (unsigned i = 0; i < n; i++) data[i] = WrapAdd(data[i], b.data[i]);
  return *this;
}

IntVec& IntVec::operator-=(const IntVec& b) {
  SameLength(n, b.n);
  for (unsigned i = 0; i < n; i++) data[i] = WrapSub(data[i], b.data[i]);
  return *this;
}

void IntVec::product(const IntVec& b) {
  SameLength(n, b.n);
  for (unsigned i = 0; i < n; i++) data[i] = WrapMul(data[i], b.data[i]);
}

void IntVec::quotient(const IntVec& b) {
  SameLength(n, b.n);
  for (unsigned i = 0; i < n; i++) data[i] = IntDiv(data[i], b.data[i]);
}

IntVec& IntVec::operator+=(int k) {
  for (unsigned i = 0; i < n; i++) data[i] = WrapAdd(data[i], k);
  return *this;
}

IntVec& IntVec::operator-=(int k) {
  for (unsigned i = 0; i < n; i++) data[i] = WrapSub(data[i], k);
  return *this;
}

IntVec& IntVec::operator*=(int k) {
  for (unsigned i = 0; i < n; i++) data[i] = WrapMul(data[i], k);
  return *this;
}

IntVec& IntVec::operator/=(int k) {
  if (k == 0) OLVU_FATAL("Division by zero.\n");
  for (unsigned i = 0; i < n; i++) data[i] = IntDiv(data[i], k);
  return *this;
}

void IntVec::apply(void (*f)(int)) const {
  for (unsigned i = 0; i < n; i++) f(data[i]);
}

int IntVec::reduce(int (*f)(int, int), int init) const {
  for (unsigned i = 0; i < n; i++) init = f(init, data[i]);
  return init;
}

int IntVec::index(int key) const {
  for (unsigned i = 0; i < n; i++)
    if (data[i] == key) return static_cast<int>(i + 1);
  return 0;
}

void IntVec::Qsort() {
  if (n > 1) QSort(data, 0, static_cast<int>(n));
}

int IntVec::Bsearch(int key) const {
  if (n == 0) return -1;
  return BSearch(key, data, 0, static_cast<int>(n) - 1);
}

void IntVec::reverse() {
  for (unsigned i = 0, j = n; i + 1 < j; i++, j--) {
    int t = data[i];
    data[i] = data[j - 1];
    data[j - 1] = t;
  }
}

bool IntVec::operator==(int v) const {
  for (unsigned i = 0; i < n; i++)
    if (data[i] != v) return false;
  return true;
}

int IntVec::max_val() const {
  if (n == 0) return 0;
  int m = data[0];
  for (unsigned i = 1; i < n; i++)
    if (data[i] > m) m = data[i];
  return m;
}

int IntVec::min_val() const {
  if (n == 0) return 0;
  int m = data[0];
  for (unsigned i = 1; i < n; i++)
    if (data[i] < m) m = data[i];
  return m;
}

int IntVec::max_index() const {
  if (n == 0) return 0;
  unsigned k = 0;
  for (unsigned i = 1; i < n; i++)
    if (data[i] > data[k]) k = i;
  return static_cast<int>(k + 1);
}

int IntVec::min_index() const {
  if (n == 0) return 0;
  unsigned k = 0;
  for (unsigned i = 1; i < n; i++)
    if (data[i] < data[k]) k = i;
  return static_cast<int>(k + 1);
}

int IntVec::sum() const {
  int s = 0;
  for (unsigned i = 0; i < n; i++) s = WrapAdd(s, data[i]);
  return s;
}

int IntVec::sumsq() const {
  int s = 0;
  for (unsigned i = 0; i < n; i++) s = WrapAdd(s, WrapMul(data[i], data[i]));
  return s;
}

// ---- free operations, each building one new temporary ----

IntVecT operator&(const IntVec& a, const IntVec& b) {
  unsigned na = a.length(), nb = b.length();
  if (uint64_t(na) + nb > 0x7fffffffu) OLVU_FATAL("Not space available on heap\n");
  IntVecT r(static_cast<int>(na + nb));
  for (unsigned i = 0; i < na; i++) r[i] = a[i];
  for (unsigned i = 0; i < nb; i++) r[na + i] = b[i];
  return r;
}

IntVecT combine(int (*f)(int, int), const IntVec& a, const IntVec& b) {
  unsigned m = a.length() < b.length() ? a.length() : b.length();
  IntVecT r(static_cast<int>(m));
  for (unsigned i = 0; i < m; i++) r[i] = f(a[i], b[i]);
  return r;
}

IntVecT map(int (*f)(int), const IntVec& a) {
  unsigned m = a.length();
  IntVecT r(static_cast<int>(m));
  for (unsigned i = 0; i < m; i++) r[i] = f(a[i]);
  return r;
}

IntVecT merge(const IntVec& a, const IntVec& b, int (*f)(int, int)) {
  unsigned na = a.length(), nb = b.length();
  if (uint64_t(na) + nb > 0x7fffffffu) OLVU_FATAL("Not space available on heap\n");
  IntVecT r(static_cast<int>(na + nb));
  unsigned i = 0, j = 0, k = 0;
  while (i < na && j < nb) r[k++] = f(a[i], b[j]) > 0 ? b[j++] : a[i++];
  while (i < na) r[k++] = a[i++];
  while (j < nb) r[k++] = b[j++];
  return r;
}

IntVecT reverse(const IntVec& a) {
  unsigned m = a.length();
  IntVecT r(static_cast<int>(m));
  for (unsigned i = 0; i < m; i++) r[i] = a[m - 1 - i];
  return r;
}

IntVecT operator+(const IntVec& a, const IntVec& b) {
  SameLength(a.length(), b.length());
  IntVecT r(a);
  r += b;
  return r;
}

IntVecT operator-(const IntVec& a, const IntVec& b) {
  SameLength(a.length(), b.length());
  IntVecT r(a);
  r -= b;
  return r;
}

IntVecT product(const IntVec& a, const IntVec& b) {
  SameLength(a.length(), b.length());
  IntVecT r(a);
  r.product(b);
  return r;
}

IntVecT quotient(const IntVec& a, const IntVec& b) {
  SameLength(a.length(), b.length());
  IntVecT r(a);
  r.quotient(b);
  return r;
}

int operator*(const IntVec& a, const IntVec& b) {
  SameLength(a.length(), b.length());
  int s = 0;
  for (unsigned i = 0, m = a.length(); i < m; i++) s = WrapAdd(s, WrapMul(a[i], b[i]));
  return s;
}

IntVecT operator+(const IntVec& a, int k) {
  IntVecT r(a);
  r += k;
  return r;
}

IntVecT operator-(const IntVec& a, int k) {
  IntVecT r(a);
  r -= k;
  return r;
}

IntVecT operator*(const IntVec& a, int k) {
  IntVecT r(a);
  r *= k;
  return r;
}

IntVecT operator/(const IntVec& a, int k) {
  if (k == 0) OLVU_FATAL("Division by zero.\n");
  IntVecT r(a);
  r /= k;
  return r;
}

bool operator==(const IntVec& a, const IntVec& b) {
  unsigned m = a.length();
  if (m != b.length()) return false;
  for (unsigned i = 0; i < m; i++)
    if (a[i] != b[i]) return false;
  return true;
}

std::ostream& operator<<(std::ostream& out, const IntVec& a) {
  unsigned m = a.length();
  if (m == 0) return out << "\n\t(Zero size vector)\n";
  std::ios_base::fmtflags flags = out.flags();
  for (unsigned i = 0; i < m; i++) {
    out.width(5);
    out << std::right << a[i];
  }
  out.flush();
  out.flags(flags);
  return out;
}

int QSort(IntVec& a) {
  a.Qsort();
  return 1;
}

int QSort(IntVec& keys, IntVec& companion) {
  unsigned m = keys.length();
  if (companion.length() < m) OLVU_FATAL("Different lenght vectors " << m << " != " << companion.length() << "\n");
  if (m > 1) QSort(&keys[0], &companion[0], 0, static_cast<int>(m));
  return 1;
}

int BSearch(const IntVec& a, int key) { return a.Bsearch(key); }

int LSearch(const IntVec& a, int key) {
  unsigned m = a.length();
  if (m == 0) return -1;
  return LSearch(key, &a[0], 0, static_cast<int>(m) - 1);
}
