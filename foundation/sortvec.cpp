#include "foundation/sortvec.h"

#include <cstring>

#include "foundation/error.h"
#include "foundation/intvec.h"
#include "foundation/qsort.h"

SortVec::SortVec(unsigned size) : n(size), perm(NewInts(size)), keys(NewInts(size)) { start(); }

SortVec::SortVec(const SortVec& b) : n(b.n), perm(NewInts(b.n)), keys(NewInts(b.n)), sorted(b.sorted) {
  if (n) {
    std::memcpy(perm.get(), b.perm.get(), n * sizeof(int));
    std::memcpy(keys.get(), b.keys.get(), n * sizeof(int));
  }
}

// Gives both arrays room for m entries (new arrays only when the length changes).
static void Reserve(SortVec& s, unsigned m) {
  if (s.n == m) return;
  s.perm.reset(NewInts(m));
  s.keys.reset(NewInts(m));
  s.n = m;
}

SortVec& SortVec::operator=(const SortVec& b) {
  if (this == &b) return *this;
  Reserve(*this, b.n);
  if (n) {
    std::memcpy(perm.get(), b.perm.get(), n * sizeof(int));
    std::memcpy(keys.get(), b.keys.get(), n * sizeof(int));
  }
  sorted = b.sorted;
  return *this;
}

SortVec& SortVec::operator=(const IntVec& v) {
  Reserve(*this, v.length());
  for (unsigned j = 0; j < n; j++) {
    perm[j] = static_cast<int>(j + 1);
    keys[j] = v[j];
  }
  Qsort();
  return *this;
}

void SortVec::resize(int size) {
  if (size < 0) OLVU_FATAL("Can't create a vector of size " << size << "\n");
  Reserve(*this, static_cast<unsigned>(size));
  start();
}

void SortVec::start() {
  for (unsigned j = 0; j < n; j++) {
    perm[j] = static_cast<int>(j + 1);
    keys[j] = 0;
  }
  sorted = 0;
}

void SortVec::set_val(const IntVec& v) {
  // New keys stand at their loaded positions: a sort since the last start() must not
  // leave its permutation behind, or look-ups would answer another key's position.
  unsigned m = v.length() < n ? v.length() : n;
  for (unsigned j = 0; j < n; j++) perm[j] = static_cast<int>(j + 1);
  for (unsigned j = 0; j < m; j++) keys[j] = v[j];
  sorted = 0;
}

void SortVec::Qsort() {
  if (n > 1) QSort(keys.get(), perm.get(), 0, static_cast<int>(n));
  sorted = 1;
}

int SortVec::Bsearch(int k) {
  if (!sorted) Qsort();
  if (n == 0) return -1;
  return BSearch(k, keys.get(), 0, static_cast<int>(n) - 1);
}

int SortVec::operator()(int k) {
  int p = Bsearch(k);
  if (p < 0) OLVU_FATAL("SortVec::Bsearch Element " << k << " not found\n");
  return perm[p];
}

int SortVec::operator[](int k) {
  int p = Bsearch(k);
  return p < 0 ? -1 : perm[p];
}

std::ostream& operator<<(std::ostream& out, const SortVec& s) {
  if (s.n == 0) return out << "\n\t(Zero size vector)\n";
  std::ios_base::fmtflags flags = out.flags();
  for (unsigned j = 0; j < s.n; j++) out << "A(" << s.perm[j] << ")= " << s.keys[j] << "  ";
  out.flush();
  out.flags(flags);
  return out;
}
