// Vector of doubles counted from 1, in which all numerical code computes; its
// temporary twin ReaVecT (storage taken over by the receiver) and ReaVecM, whose
// storage comes from the scratch pool.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>

#include "foundation/assert.h"
#include "foundation/bitvec.h"
#include "foundation/intvec.h"

class ReaVecT;
class Matrix;
class MatrixT;

/// Array of n doubles from the heap (null for n = 0); "Not space available on heap" on failure.
/// Vectors and matrices share it, so either may adopt the other's array; release with delete[].
double* NewReals(std::size_t n);

/// Vector of doubles: entry i (1-based) is array element i-1; owns its array.
class ReaVec {
 protected:
  unsigned n = 0;          ///< number of entries
  double* data = nullptr;  ///< n entries, owned (null when nothing is allocated)

 public:
  // ---- construction ----
  /// Empty vector, no array.
  constexpr ReaVec() noexcept {}
  /// n entries, not initialised.
  explicit ReaVec(unsigned n);
  /// n entries, all v; n = 0 ends the run ("Index 4294967295 out of range.").
  ReaVec(unsigned n, double v);
  /// n entries, all v (an int fill value, so ReaVec(n, 0) is not taken for a null array).
  ReaVec(unsigned n, int v) : ReaVec(n, static_cast<double>(v)) {}
  /// Adopts p (an array from NewReals or new[]) as its n entries, without copying.
  ReaVec(unsigned n, double* p) noexcept : n(n), data(p) {}
  /// Deep copy.
  ReaVec(const ReaVec& a);
  /// Takes over t's array; t is left empty.
  ReaVec(ReaVecT& t) noexcept;
  /// Takes over t's array; t is left empty.
  ReaVec(ReaVecT&& t) noexcept;
  /// Copy of a one-column matrix ("Vector can\xb4t have more than 1 column" otherwise).
  explicit ReaVec(const Matrix& m);
  /// Takes over the array of a one-column temporary matrix ("Cannot convert Matrix to Vector").
  explicit ReaVec(MatrixT& m);
  /// Takes over the array of a one-column temporary matrix ("Cannot convert Matrix to Vector").
  explicit ReaVec(MatrixT&& m);
  /// Frees the array; pool vectors forget theirs first.
  virtual ~ReaVec();

  // ---- assignment and size ----
  /// Copy; a new array only when the lengths differ.
  ReaVec& operator=(const ReaVec& a);
  /// Takes t's result through adopt (whatever this vector's storage); t may be left empty.
  ReaVec& operator=(ReaVecT& t) noexcept;
  /// Takes t's result through adopt (whatever this vector's storage); t may be left empty.
  ReaVec& operator=(ReaVecT&& t) noexcept;
  /// Every entry := v; an empty vector ends the run.
  ReaVec& operator=(double v);
  /// Copies the leading values of a one-column matrix; the length stays.
  ReaVec& operator=(const Matrix& m);
  /// Copies this vector's length of entries from a (no test).
  void copy(const ReaVec& a);
  /// New length n; the first min(old, n) entries kept, the new ones v; n = 0 frees the array.
  virtual void resize(unsigned n, double v = 0.0);
  /// this := a, b, c one after the other (3 times a's length).
  void resize(const ReaVec& a, const ReaVec& b, const ReaVec& c);
  /// Entries start .. start+len-1 := v (len 0: up to the last entry).
  void fill(double v, unsigned start = 1, unsigned len = 0);
  /// Copy of entries start .. start+len-1 (len 0: up to the last entry).
  ReaVecT subVec(unsigned start, unsigned len) const;
  /// Forgets the array without freeing it (for borrowed storage).
  void release() noexcept {
    n = 0;
    data = nullptr;
  }
  /// Frees the array; length 0 (a pool vector only forgets it).
  virtual void remove() noexcept;

 protected:
  /// Heap storage: frees the own array and takes over t's, leaving t empty. Other storages
  /// override it, so a ReaVec reference to them never hands their array to delete[].
  virtual void adopt(ReaVecT& t) noexcept;

 public:

  // ---- access ----
  /// Entry i, 1-based; checked only in checked builds.
  double& operator()(unsigned i) {
    OLVU_ASSERT(i >= 1 && i <= n, "ReaVec index " << i << " outside 1.." << n);
    return data[i - 1];
  }
  /// Entry i, 1-based; checked only in checked builds.
  const double& operator()(unsigned i) const {
    OLVU_ASSERT(i >= 1 && i <= n, "ReaVec index " << i << " outside 1.." << n);
    return data[i - 1];
  }
  /// Entry i, 0-based; checked only in checked builds.
  double& operator[](unsigned i) {
    OLVU_ASSERT(i < n, "ReaVec index " << i << " outside 0.." << n << "-1");
    return data[i];
  }
  /// Entry i, 0-based; checked only in checked builds.
  const double& operator[](unsigned i) const {
    OLVU_ASSERT(i < n, "ReaVec index " << i << " outside 0.." << n << "-1");
    return data[i];
  }
  /// Entry 1.
  double& x() { return data[0]; }
  /// Entry 1.
  const double& x() const { return data[0]; }
  /// Entry 2.
  double& y() { return data[1]; }
  /// Entry 2.
  const double& y() const { return data[1]; }
  /// Entry 3.
  double& z() { return data[2]; }
  /// Entry 3.
  const double& z() const { return data[2]; }
  /// The array.
  double* GivePointer() { return data; }
  /// The array.
  const double* GivePointer() const { return data; }
  /// The array.
  double* S() { return data; }
  /// The array.
  const double* S() const { return data; }
  /// Number of entries.
  unsigned size() const { return n; }
  /// Number of entries.
  unsigned length() const { return n; }
  /// True for length 0.
  bool null() const { return n == 0; }
  /// Ends the run with "Out of Dimension in ReaVec".
  [[noreturn]] void DimError() const;

  // ---- set from two vectors ----
  /// this = a + b.
  void plus(const ReaVec& a, const ReaVec& b);
  /// this = a - b.
  void minus(const ReaVec& a, const ReaVec& b);
  /// this = a * b element-wise.
  void product(const ReaVec& a, const ReaVec& b);
  /// this = a / b element-wise.
  void quotient(const ReaVec& a, const ReaVec& b);

  // ---- set from a vector and a double ----
  /// this = a + s.
  void plus(const ReaVec& a, double s);
  /// this = a - s.
  void minus(const ReaVec& a, double s);
  /// this = s * a.
  void product(const ReaVec& a, double s);
  /// this = a + s.
  void plus(double s, const ReaVec& a) { plus(a, s); }
  /// this = a - s.
  void minus(double s, const ReaVec& a) { minus(a, s); }
  /// this = s * a.
  void product(double s, const ReaVec& a) { product(a, s); }

  // ---- scaled set ----
  /// this = s * a * b.
  void product(const ReaVec& a, const ReaVec& b, double s);
  /// this = a / max(|s|, b); s = 0 ends the run.
  void quotient(const ReaVec& a, const ReaVec& b, double s);

  // ---- in place ----
  /// this += a.
  void plus(const ReaVec& a);
  /// this -= a.
  void minus(const ReaVec& a);
  /// this *= a element-wise.
  void product(const ReaVec& a);
  /// this /= a element-wise.
  void quotient(const ReaVec& a);
  /// this = this / max(s, a).
  void quotient(const ReaVec& a, double s);

  // ---- accumulate ----
  /// this += a + b.
  void add_plus(const ReaVec& a, const ReaVec& b);
  /// this -= a + b.
  void sub_plus(const ReaVec& a, const ReaVec& b);
  /// this += a - b.
  void add_minus(const ReaVec& a, const ReaVec& b);
  /// this -= a - b.
  void sub_minus(const ReaVec& a, const ReaVec& b);
  /// this += a * b.
  void add_product(const ReaVec& a, const ReaVec& b);
  /// this -= a * b.
  void sub_product(const ReaVec& a, const ReaVec& b);
  /// this += a / b.
  void add_quotient(const ReaVec& a, const ReaVec& b);
  /// this -= a / b.
  void sub_quotient(const ReaVec& a, const ReaVec& b);
  /// this += f(a * b).
  void add_Fproduct(const ReaVec& a, const ReaVec& b, double (*f)(double));

  // ---- matrix times vector (this has M's rows, a has M's columns; no test) ----
  /// this = M a.
  void product(const Matrix& M, const ReaVec& a);
  /// this += M a.
  void add_product(const Matrix& M, const ReaVec& a);
  /// this -= M a.
  void sub_product(const Matrix& M, const ReaVec& a);

  // ---- accumulate with a double ----
  /// this += a + s.
  void add_plus(const ReaVec& a, double s);
  /// this -= a + s.
  void sub_plus(const ReaVec& a, double s);
  /// this += a - s.
  void add_minus(const ReaVec& a, double s);
  /// this -= a - s.
  void sub_minus(const ReaVec& a, double s);
  /// this += s * a.
  void add_product(const ReaVec& a, double s);
  /// this -= s * a.
  void sub_product(const ReaVec& a, double s);
  /// this += a + s.
  void add_plus(double s, const ReaVec& a) { add_plus(a, s); }
  /// this -= a + s.
  void sub_plus(double s, const ReaVec& a) { sub_plus(a, s); }
  /// this += a - s.
  void add_minus(double s, const ReaVec& a) { add_minus(a, s); }
  /// this -= a - s.
  void sub_minus(double s, const ReaVec& a) { sub_minus(a, s); }
  /// this += s * a.
  void add_product(double s, const ReaVec& a) { add_product(a, s); }
  /// this -= s * a.
  void sub_product(double s, const ReaVec& a) { sub_product(a, s); }

  // ---- compound operators ----
  /// this += a; lengths must be equal.
  ReaVec& operator+=(const ReaVec& a);
  /// this -= a; lengths must be equal.
  ReaVec& operator-=(const ReaVec& a);
  /// Adds s to every entry.
  ReaVec& operator+=(double s);
  /// Subtracts s from every entry.
  ReaVec& operator-=(double s);
  /// Multiplies every entry by s.
  ReaVec& operator*=(double s);
  /// Divides every entry by s; s = 0 ends the run.
  ReaVec& operator/=(double s);
  /// Negated copy.
  ReaVecT operator-() const;

  // ---- unary, in place or from a ----
  /// |t|.
  void abs();
  /// this = |a|.
  void abs(const ReaVec& a);
  /// t^2.
  void square();
  /// this = a^2.
  void square(const ReaVec& a);
  /// 1/t.
  void inverse();
  /// this = 1/a.
  void inverse(const ReaVec& a);
  /// -t.
  void opposite();
  /// this = -a; lengths must be equal.
  void opposite(const ReaVec& a);
  /// sqrt(t); a negative entry ends the run.
  void sqroot();
  /// this = sqrt(a); a negative entry ends the run.
  void sqroot(const ReaVec& a);
  /// Divides by the Euclidean norm.
  void normalise();

  // ---- pairwise extremes ----
  /// this = max(|a|, |b|).
  void max_abs(const ReaVec& a, const ReaVec& b);
  /// this = min(|a|, |b|).
  void min_abs(const ReaVec& a, const ReaVec& b);
  /// this = max(|a|, |b|, |c|).
  void max_abs(const ReaVec& a, const ReaVec& b, const ReaVec& c);
  /// this = min(|a|, |b|, |c|).
  void min_abs(const ReaVec& a, const ReaVec& b, const ReaVec& c);
  /// this = max(t, a).
  void max_vec(const ReaVec& a);
  /// this = min(t, a).
  void min_vec(const ReaVec& a);

  // ---- magnitudes ----
  /// this = sqrt(a^2 + b^2).
  void norm(const ReaVec& a, const ReaVec& b);
  /// this = sqrt(a^2 + b^2 + c^2).
  void norm(const ReaVec& a, const ReaVec& b, const ReaVec& c);
  /// this = a^2 + b^2 + c^2.
  void sumsq(const ReaVec& a, const ReaVec& b, const ReaVec& c);

  // ---- masked (bit i belongs to entry i) ----
  /// this = t * a where the bit is set, 0 where it is clear.
  void product(const BitVec& mask, const ReaVec& a);
  /// average(a, s) on the entries whose bit is clear; the others untouched.
  void average(const ReaVec& a, const BitVec& mask, double s);

  // ---- forms that tolerate empty operands ----
  /// plus(a, b) if both are non-empty, a copy of the non-empty one, or 0 when both are empty.
  void plus_ifE(const ReaVec& a, const ReaVec& b);
  /// plus(a) if a is non-empty, else nothing.
  void plus_ifE(const ReaVec& a);

  // ---- apply ----
  /// this = f(a).
  void apply(double (*f)(double), const ReaVec& a);
  /// this = f(a, b).
  void apply(double (*f)(double, double), const ReaVec& a, const ReaVec& b);
  /// this = f(a, b, c).
  void apply(double (*f)(double, double, double), const ReaVec& a, const ReaVec& b, const ReaVec& c);
  /// this = f(a, b, c, d).
  void apply(double (*f)(double, double, double, double), const ReaVec& a, const ReaVec& b,
             const ReaVec& c, const ReaVec& d);
  /// this = f(a, s).
  void apply(double (*f)(double, double), const ReaVec& a, double s);
  /// this = f(a, b, s).
  void apply(double (*f)(double, double, double), const ReaVec& a, const ReaVec& b, double s);
  /// this = f(a, b, c, s).
  void apply(double (*f)(double, double, double, double), const ReaVec& a, const ReaVec& b,
             const ReaVec& c, double s);
  /// Copies a, then lets f change every copied entry in place.
  void apply(void (*f)(double&), const ReaVec& a);
  /// Every entry := f(entry).
  void apply(double (*f)(double));
  /// Calls f(entry) for every entry.
  void apply(void (*f)(double)) const;

  // ---- relaxation (s is the factor) ----
  /// s = 1: unchanged; s <= 0: this = a; else t/s - ((1-s)/s) a.
  void average(const ReaVec& a, double s);
  /// s = 1: this = b; s <= 0: this = a; else b/s - ((1-s)/s) a.
  void average(const ReaVec& a, const ReaVec& b, double s);
  /// s = 1: unchanged; s <= 0: this = 0; else t/s.
  void average(double s);
  /// s = 1: acc += this; s <= 0: this = 0; else t = t/s, then acc += t.
  void averincr(ReaVec& acc, double s);
  /// s = 1: unchanged; s <= 0: this = a; else s t - (1-s) a.
  void aver(const ReaVec& a, double s);

  // ---- limits and clamps (upper tested before lower) ----
  /// Clamps into [min, max]; max < min ends the run; max = min fills.
  void limit(double max, double min);
  /// this = a clamped into [min, max] (same test).
  void limit(const ReaVec& a, double max, double min);
  /// Clamps entry-wise between lower and upper.
  void limit(const ReaVec& upper, const ReaVec& lower);
  /// t > s -> s.
  void max_limit(double s);
  /// t < s -> s.
  void min_limit(double s);
  /// t > a -> a.
  void max_limit(const ReaVec& a);
  /// t < a -> a.
  void min_limit(const ReaVec& a);
  /// t > s a -> s a.
  void max_limit(const ReaVec& a, double s);
  /// t < s a -> s a.
  void min_limit(const ReaVec& a, double s);
  /// t > s/a -> s/a.
  void max_limit_quot(const ReaVec& a, double s);
  /// t < s/a -> s/a.
  void min_limit_quot(const ReaVec& a, double s);
  /// t > s -> a.
  void max_limit(double s, const ReaVec& a);
  /// t < s -> a.
  void min_limit(double s, const ReaVec& a);

  // ---- cross products ----
  /// this = this x a (three entries; two entries: (0, t1 a2 - t2 a1)).
  void vectorial(const ReaVec& a);
  /// this = a x b (three entries; two-entry operands give (0, 0, a1 b2 - a2 b1)).
  void vectorial(const ReaVec& a, const ReaVec& b);

  // ---- reductions (0 for an empty vector) ----
  /// Sum of the entries.
  double sum() const;
  /// Sum of |entry|.
  double sum_abs() const;
  /// Sum of squares.
  double sumsq() const;
  /// Euclidean norm.
  double norm() const;
  /// Largest entry.
  double max_val() const;
  /// Smallest entry.
  double min_val() const;
  /// 1-based index of the first largest entry.
  unsigned max_index() const;
  /// 1-based index of the first smallest entry.
  unsigned min_index() const;
  /// Largest |entry|.
  double max_abs() const;
  /// Smallest |entry|.
  double min_abs() const;
  /// The entry of largest magnitude, with its sign.
  double max_signed() const;
  /// The entry of smallest magnitude, with its sign.
  double min_signed() const;
  /// 1-based index of the first entry of largest magnitude.
  unsigned max_abs_index() const;
  /// 1-based index of the first entry of smallest magnitude.
  unsigned min_abs_index() const;
  /// 1-based position of the first entry equal to v, 0 if none.
  unsigned index(double v) const;
  /// Left fold r = f(r, t) from r = init.
  double reduce(double (*f)(double, double), double init) const;
  /// True when all entries are equal (true for length 0 or 1).
  bool constant() const;
  /// True when every entry equals s (true when empty).
  bool operator==(double s) const;
  /// Negation of operator==(s).
  bool operator!=(double s) const { return !(*this == s); }

  // ---- ordering ----
  /// Sorts the entries ascending.
  void Qsort();
  /// 0-based position of v in the sorted entries, or -1.
  int Bsearch(double v) const;
  /// Reverses the entries in place.
  void reverse();

  // ---- time integrators (every operand of this vector's length) ----
  /// t += dt r.
  void integrate_Euler(const ReaVec& r, double dt);
  /// t = 4/3 t - 1/3 prev + 2/3 dt r; prev takes the old t.
  void integrate_FIC(ReaVec& prev, const ReaVec& r, double dt);
  /// t += dt/2 (3 r - rprev).
  void integrate_AB2(const ReaVec& rprev, const ReaVec& r, double dt);
  /// t += dt/12 (23 r - 16 r1 + 5 r2).
  void integrate_AB3(const ReaVec& r2, const ReaVec& r1, const ReaVec& r, double dt);

  // ---- scatter through an index vector (entries <= 0 skipped) ----
  /// this(idx[i-1]) = f src(i) + (1-f) this(idx[i-1]) (f = 1: plain copy).
  void map(const IntVec& idx, const ReaVec& src, double f);
  /// this(idx[i-1]) += src(i).
  void add_map(const IntVec& idx, const ReaVec& src);

  // ---- text form ----
  /// Length, "\n", the entries, "\n"; an empty vector ends the run.
  void PrintTo(std::ostream& out) const;
  /// As PrintTo with every entry times s.
  void PrintTo(std::ostream& out, double s) const;
  /// [name "\t"] "len = " n ";\n" then every entry and " ", then "\n".
  void WriteAscii(std::ostream& out, const char* name, int precision) const;
  /// Reads the count and that many entries; short or malformed text ends the run.
  void ReadAscii(std::istream& in, const char* name, int resize);

  friend class ReaVecT;
  friend class ReaVecM;
};

/// Result in transit: constructing or assigning a ReaVec from it takes its array over.
class ReaVecT : public ReaVec {
 public:
  /// Empty temporary.
  constexpr ReaVecT() noexcept {}
  /// n entries, not initialised.
  explicit ReaVecT(unsigned n) : ReaVec(n) {}
  /// Deep copy.
  ReaVecT(const ReaVecT& t) : ReaVec(t) {}
  /// Deep copy of a vector.
  explicit ReaVecT(const ReaVec& a) : ReaVec(a) {}
  /// Takes over t's array.
  ReaVecT(ReaVecT&& t) noexcept : ReaVec(t) {}

  /// Copy; a new array only when the lengths differ.
  ReaVecT& operator=(const ReaVec& a) {
    ReaVec::operator=(a);
    return *this;
  }
  /// Copy; a new array only when the lengths differ.
  ReaVecT& operator=(const ReaVecT& a) {
    ReaVec::operator=(static_cast<const ReaVec&>(a));
    return *this;
  }
  /// Takes over t's array; nothing on self-assignment.
  ReaVecT& operator=(ReaVecT& t) noexcept {
    if (this != &t) ReaVec::operator=(t);
    return *this;
  }
  /// Takes over t's array; nothing on self-assignment.
  ReaVecT& operator=(ReaVecT&& t) noexcept {
    if (this != &t) ReaVec::operator=(t);
    return *this;
  }
  /// Every entry := v; an empty vector ends the run.
  ReaVecT& operator=(double v) {
    ReaVec::operator=(v);
    return *this;
  }
  /// this += a; lengths must be equal.
  ReaVecT& operator+=(const ReaVec& a) {
    ReaVec::operator+=(a);
    return *this;
  }
  /// this -= a; lengths must be equal.
  ReaVecT& operator-=(const ReaVec& a) {
    ReaVec::operator-=(a);
    return *this;
  }
  /// Negates the temporary in place and returns it.
  ReaVecT& operator-();
  using ReaVec::operator+=;
  using ReaVec::operator-=;
};

/// Vector whose array comes from the scratch pool: never freed, valid until the pool is reset.
/// Assign to it through its own operators (not through a ReaVec reference), so that no pool
/// array is ever handed to delete[].
class ReaVecM : public ReaVec {
 public:
  /// Empty vector, no array.
  constexpr ReaVecM() noexcept {}
  /// Pool array of n entries, not initialised.
  explicit ReaVecM(unsigned n);
  /// Pool array of n entries, all v; n = 0 ends the run ("Index 4294967295 out of range.").
  ReaVecM(unsigned n, double v);
  /// Pool array of n entries, all v.
  ReaVecM(unsigned n, int v) : ReaVecM(n, static_cast<double>(v)) {}
  /// Pool copy of a.
  ReaVecM(const ReaVec& a);
  /// Pool copy of a.
  ReaVecM(const ReaVecM& a) : ReaVecM(static_cast<const ReaVec&>(a)) {}
  /// Forgets the array (the pool owns it).
  ~ReaVecM() override { release(); }

  /// Copy; a new pool array only when the lengths differ (the old one is not returned).
  ReaVecM& operator=(const ReaVec& a);
  /// Copy; a new pool array only when the lengths differ.
  ReaVecM& operator=(const ReaVecM& a) { return *this = static_cast<const ReaVec&>(a); }
  /// Every entry := v; an empty vector ends the run.
  ReaVecM& operator=(double v) {
    ReaVec::operator=(v);
    return *this;
  }
  /// n = 0 forgets the array; otherwise a new pool array whose first min(old, n) entries are
  /// carried over and whose new entries are v.
  void resize(unsigned n, double v = 0.0) override;
  using ReaVec::resize;
  /// Forgets the array (the pool owns it); length 0.
  void remove() noexcept override { release(); }

 protected:
  /// Copies t's entries into pool storage; t keeps its heap array and frees it itself.
  void adopt(ReaVecT& t) noexcept override { *this = static_cast<const ReaVec&>(t); }
};

/// Global empty vector, passed where a vector argument is absent.
extern ReaVec NULLVec;

// ---- free operations, each returning a temporary with an array of its own ----
/// a + b; lengths must be equal.
ReaVecT operator+(const ReaVec& a, const ReaVec& b);
/// a - b; lengths must be equal.
ReaVecT operator-(const ReaVec& a, const ReaVec& b);
/// Cross product a x b, always three entries (two-entry operands: (0, 0, a1 b2 - a2 b1)).
ReaVecT vectorial(const ReaVec& a, const ReaVec& b);
/// Element-wise a * b over a's length.
ReaVecT product(const ReaVec& a, const ReaVec& b);
/// Element-wise a / b over a's length.
ReaVecT quotient(const ReaVec& a, const ReaVec& b);
/// a + s.
ReaVecT operator+(const ReaVec& a, double s);
/// a - s.
ReaVecT operator-(const ReaVec& a, double s);
/// a * s.
ReaVecT operator*(const ReaVec& a, double s);
/// a / s.
ReaVecT operator/(const ReaVec& a, double s);
/// Concatenation: a's entries, then b's.
ReaVecT operator&(const ReaVec& a, const ReaVec& b);
/// f(a, b) over the shorter length.
ReaVecT combine(double (*f)(double, double), const ReaVec& a, const ReaVec& b);
/// f(a).
ReaVecT map(double (*f)(double), const ReaVec& a);
/// Merge: b's next entry when cmp(a-entry, b-entry) > 0, else a's.
ReaVecT merge(const ReaVec& a, const ReaVec& b, int (*cmp)(double, double));
/// a's entries in reverse order.
ReaVecT reverse(const ReaVec& a);

// ---- reductions over two or three vectors (over a's length) ----
/// Sum of a * b.
double dot(const ReaVec& a, const ReaVec& b);
/// Sum of a * b.
double operator*(const ReaVec& a, const ReaVec& b);
/// sqrt of the sum of (a - b)^2.
double dif_norm(const ReaVec& a, const ReaVec& b);
/// Sum of w |a - b| (no root).
double dif_norm(const ReaVec& w, const ReaVec& a, const ReaVec& b);
/// Largest |a - b|.
double dif_max_abs(const ReaVec& a, const ReaVec& b);
/// Largest |a - b| over the entries whose bit is clear (0 if none).
double dif_max_abs(const ReaVec& a, const ReaVec& b, const BitVec& mask);
/// Equal lengths and equal entries.
bool operator==(const ReaVec& a, const ReaVec& b);

// ---- text form ----
/// The entries one after the other, sign-aligned; "\t operator << (Zero size vector)\n" when empty.
std::ostream& operator<<(std::ostream& out, const ReaVec& a);
/// Reads as many doubles as a has entries.
std::istream& operator>>(std::istream& in, ReaVec& a);

// ---- array sorts and searches over whole vectors ----
/// Sorts the entries ascending.
int QSort(ReaVec& a);
/// Sorts the keys ascending, moving the companion entries with them.
int QSort(IntVec& keys, ReaVec& companion);
/// Position (0-based) of key in the sorted entries, or -1.
int BSearch(const ReaVec& a, double key);
/// First position (0-based) of key, or -1.
int LSearch(const ReaVec& a, double key);
