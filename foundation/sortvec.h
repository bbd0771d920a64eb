// Lazily sorted map from integer keys to their 1-based positions in a loaded list:
// the inverse of an IntVec with distinct entries.
#pragma once

#include <memory>
#include <ostream>

class IntVec;

/// Keys with their loaded positions; sorted together on the first look-up.
class SortVec {
 public:
  unsigned n = 0;        ///< number of keys
  std::unique_ptr<int[]> perm;  ///< 1-based loaded position of each key, permuted with the keys
  std::unique_ptr<int[]> keys;  ///< the keys; ascending once sorted
  int sorted = 0;        ///< 1 when keys/perm are in sorted order

  /// n keys, all 0, positions 1..n, unsorted.
  explicit SortVec(unsigned n = 0);
  /// Deep copy, sorted flag included.
  SortVec(const SortVec& b);
  /// Copy of both arrays and the sorted flag.
  SortVec& operator=(const SortVec& b);
  /// Loads v's entries as keys (positions 1..n) and sorts at once.
  SortVec& operator=(const IntVec& v);

  /// New length n, every key 0, unsorted; n = 0 releases the arrays.
  void resize(int n);
  /// Positions 1..n, every key 0, unsorted.
  void start();
  /// Keys := the first n entries of v at positions 1..n, unsorted.
  void set_val(const IntVec& v);
  /// Sorts the keys ascending, carrying the positions along.
  void Qsort();
  /// 0-based position of k among the sorted keys, or -1 (sorts first when needed).
  int Bsearch(int k);
  /// Same as Bsearch.
  int Exist(int k) { return Bsearch(k); }
  /// Loaded position of k; an absent key ends the run.
  int operator()(int k);
  /// Loaded position of k, or -1.
  int operator[](int k);
};

/// "A(" position ")= " key "  " for every stored pair; "\n\t(Zero size vector)\n" when empty.
std::ostream& operator<<(std::ostream& out, const SortVec& s);
