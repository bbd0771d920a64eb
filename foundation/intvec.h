// Vector of ints counted from 1 (numbering maps, flag lists, element node lists)
// and its temporary twin, whose storage a receiving vector takes over.
#pragma once

#include <ostream>

#include "foundation/assert.h"

class IntVecT;

/// Array of n ints from the heap (null for n = 0); "Not space available on heap" on failure.
int* NewInts(unsigned n);
/// Ends the run with "Different lenght vectors " a " != " b unless the two lengths agree.
void SameLength(unsigned a, unsigned b);

/// Checks the sub-range start .. start+count-1 of a vector of n entries (count 0: up to the end);
/// returns the effective count, or ends the run with "Index " k " out of range." (k = start+count-2).
unsigned VecSubRange(unsigned n, unsigned start, unsigned count);

/// Vector of signed 32-bit ints, 1-based through operator(), 0-based through operator[].
class IntVec {
 protected:
  unsigned n = 0;       ///< number of entries
  int* data = nullptr;  ///< n entries, owned; null when empty or taken over

 public:
  /// Empty vector, no storage.
  constexpr IntVec() noexcept {}
  /// n entries, each v; a negative n ends the run.
  explicit IntVec(int n, int v = 0);
  /// Deep copy.
  IntVec(const IntVec& a);
  /// Takes over t's storage; t is left empty.
  IntVec(IntVecT& t) noexcept;
  /// Takes over t's storage; t is left empty.
  IntVec(IntVecT&& t) noexcept;
  virtual ~IntVec();

  /// Copies b (new storage only when the lengths differ).
  IntVec& operator=(const IntVec& b);
  /// Releases the own storage and takes over t's.
  IntVec& operator=(IntVecT& t) noexcept;
  /// Releases the own storage and takes over t's.
  IntVec& operator=(IntVecT&& t) noexcept;
  /// Every entry := v; fatal on an empty vector.
  IntVec& operator=(int v);

  /// Number of entries.
  virtual unsigned length() const { return n; }
  /// Entry i, 1-based; checked only in checked builds.
  virtual int& operator()(unsigned i) {
    OLVU_ASSERT(i >= 1 && i <= n, "IntVec index " << i << " outside 1.." << n);
    return data[i - 1];
  }
  /// Entry i, 0-based; checked only in checked builds.
  virtual int& operator[](unsigned i) {
    OLVU_ASSERT(i < n, "IntVec index " << i << " outside 0.." << n << "-1");
    return data[i];
  }
  /// Entry i, 1-based, read from the storage directly; checked only in checked builds.
  const int& operator()(unsigned i) const {
    OLVU_ASSERT(i >= 1 && i <= n, "IntVec index " << i << " outside 1.." << n);
    return data[i - 1];
  }
  /// Entry i, 0-based, read from the storage directly; checked only in checked builds.
  const int& operator[](unsigned i) const {
    OLVU_ASSERT(i < n, "IntVec index " << i << " outside 0.." << n << "-1");
    return data[i];
  }

  /// New length n; old entries kept up to the shorter length, new ones v; n = 0 releases storage.
  void resize(unsigned n, int v = 0);
  /// Copy of entries start .. start+count-1 (count 0: up to the end).
  IntVecT subVec(unsigned start, unsigned count) const;
  /// Entries start .. start+count-1 := v (count 0: up to the end).
  void fill(int v, unsigned start, unsigned count);

  /// Negated copy.
  IntVecT operator-() const;
  /// this += b element-wise; lengths must agree.
  IntVec& operator+=(const IntVec& b);
  /// this -= b element-wise; lengths must agree.
  IntVec& operator-=(const IntVec& b);
  /// this *= b element-wise; lengths must agree.
  void product(const IntVec& b);
  /// this /= b element-wise (truncating); lengths must agree.
  void quotient(const IntVec& b);
  /// Adds k to every entry.
  IntVec& operator+=(int k);
  /// Subtracts k from every entry.
  IntVec& operator-=(int k);
  /// Multiplies every entry by k.
  IntVec& operator*=(int k);
  /// Divides every entry by k (truncating); k = 0 ends the run.
  IntVec& operator/=(int k);

  /// Calls f(entry) for every entry, first to last.
  void apply(void (*f)(int)) const;
  /// Left fold acc = f(acc, entry) from acc = init.
  int reduce(int (*f)(int, int), int init) const;
  /// 1-based position of the first entry equal to key, 0 if none.
  int index(int key) const;
  /// Sorts the entries ascending in place.
  void Qsort();
  /// 0-based position of key in the sorted entries, or -1.
  int Bsearch(int key) const;
  /// Reverses the entries in place.
  void reverse();
  /// True when every entry equals v (true when empty).
  bool operator==(int v) const;

  /// Largest entry; 0 when empty.
  int max_val() const;
  /// Smallest entry; 0 when empty.
  int min_val() const;
  /// 1-based position of the first largest entry; 0 when empty.
  int max_index() const;
  /// 1-based position of the first smallest entry; 0 when empty.
  int min_index() const;
  /// Sum of the entries (32-bit).
  int sum() const;
  /// Sum of the squares of the entries (32-bit).
  int sumsq() const;

  friend class IntVecT;
};

/// Result in transit: constructing or assigning an IntVec from it takes its storage over.
class IntVecT : public IntVec {
 public:
  /// Empty temporary.
  constexpr IntVecT() noexcept {}
  /// n entries, each v.
  explicit IntVecT(int n, int v = 0) : IntVec(n, v) {}
  /// Deep copy.
  IntVecT(const IntVecT& t) : IntVec(t) {}
  /// Deep copy of a vector.
  explicit IntVecT(const IntVec& a) : IntVec(a) {}
  /// Takes over t's storage.
  IntVecT(IntVecT&& t) noexcept : IntVec(t) {}

  /// Copies b (new storage only when the lengths differ).
  IntVecT& operator=(const IntVec& b) {
    IntVec::operator=(b);
    return *this;
  }
  /// Copies b (new storage only when the lengths differ).
  IntVecT& operator=(const IntVecT& b) {
    IntVec::operator=(static_cast<const IntVec&>(b));
    return *this;
  }
  /// Takes over t's storage; nothing on self-assignment.
  IntVecT& operator=(IntVecT& t) noexcept {
    if (this != &t) IntVec::operator=(t);
    return *this;
  }
  /// Takes over t's storage; nothing on self-assignment.
  IntVecT& operator=(IntVecT&& t) noexcept {
    if (this != &t) IntVec::operator=(t);
    return *this;
  }
  /// Every entry := v; fatal on an empty vector.
  IntVecT& operator=(int v) {
    IntVec::operator=(v);
    return *this;
  }
  /// this += b element-wise; lengths must agree.
  IntVecT& operator+=(const IntVec& b) {
    IntVec::operator+=(b);
    return *this;
  }
  /// this -= b element-wise; lengths must agree.
  IntVecT& operator-=(const IntVec& b) {
    IntVec::operator-=(b);
    return *this;
  }
  /// Negates the temporary in place and returns it.
  IntVecT& operator-();
  using IntVec::operator+=;
  using IntVec::operator-=;
};

/// Empty integer vector passed where a vector argument is absent.
extern IntVec NULLIVec;

/// Concatenation: a's entries, then b's.
IntVecT operator&(const IntVec& a, const IntVec& b);
/// r[i] = f(a[i], b[i]) over the shorter length.
IntVecT combine(int (*f)(int, int), const IntVec& a, const IntVec& b);
/// r[i] = f(a[i]).
IntVecT map(int (*f)(int), const IntVec& a);
/// Two-way merge: b's next entry when f(x, y) > 0, else a's (ties take a).
IntVecT merge(const IntVec& a, const IntVec& b, int (*f)(int, int));
/// a's entries in reverse order.
IntVecT reverse(const IntVec& a);
/// Element-wise sum; lengths must agree.
IntVecT operator+(const IntVec& a, const IntVec& b);
/// Element-wise difference; lengths must agree.
IntVecT operator-(const IntVec& a, const IntVec& b);
/// Element-wise product; lengths must agree.
IntVecT product(const IntVec& a, const IntVec& b);
/// Element-wise truncating quotient; lengths must agree.
IntVecT quotient(const IntVec& a, const IntVec& b);
/// Dot product; lengths must agree.
int operator*(const IntVec& a, const IntVec& b);
/// Every entry plus k.
IntVecT operator+(const IntVec& a, int k);
/// Every entry minus k.
IntVecT operator-(const IntVec& a, int k);
/// Every entry times k.
IntVecT operator*(const IntVec& a, int k);
/// Every entry divided by k (truncating); k = 0 ends the run.
IntVecT operator/(const IntVec& a, int k);
/// Equal lengths and equal entries.
bool operator==(const IntVec& a, const IntVec& b);
/// Entries right-aligned in width 5, no separator; "\n\t(Zero size vector)\n" when empty.
std::ostream& operator<<(std::ostream& out, const IntVec& a);

// ---- array sorts and searches over whole vectors ----
/// Sorts the entries ascending; always 1.
int QSort(IntVec& a);
/// Sorts the keys ascending, moving the companion entries with them; always 1.
int QSort(IntVec& keys, IntVec& companion);
/// Position (0-based) of key in the sorted entries, or -1.
int BSearch(const IntVec& a, int key);
/// First position (0-based) of key, or -1.
int LSearch(const IntVec& a, int key);
