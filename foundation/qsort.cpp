#include "foundation/qsort.h"

#include <type_traits>
#include <utility>

namespace {

// Keys with an optional companion array (C = void: none) that follows every move.
template <class K, class C>
struct SortArrays {
  K* key;
  C* comp;

  // Exchanges positions i and j in both arrays.
  void swap(int i, int j) {
    std::swap(key[i], key[j]);
    if constexpr (!std::is_void_v<C>) std::swap(comp[i], comp[j]);
  }
};

// Median-of-three quicksort down to parts of at most five entries, then one
// insertion pass behind a sentinel; iterative, larger part stacked.
template <class K, class C>
int SortRange(SortArrays<K, C> s, int first, int count) {
  if (count <= 1) return 1;
  K* key = s.key;
  const int last = first + count - 1;
  if (count > 4) {
    struct Range {
      int lo, hi;
    };
    Range stack[32];
    int top = 0;  // stack[0] is the placeholder that ends the phase
    stack[0] = {0, 0};
    int lo = first, hi = last;
    for (;;) {
      int mid = lo + (hi - lo) / 2;
      if (key[mid] < key[lo]) s.swap(mid, lo);
      if (key[hi] < key[mid]) {
        s.swap(hi, mid);
        if (key[mid] < key[lo]) s.swap(mid, lo);
      }
      const K pivot = key[mid];
      int left = lo + 1, right = hi - 1;
      for (;;) {
        while (key[left] < pivot) ++left;
        while (pivot < key[right]) --right;
        if (left < right) {
          s.swap(left, right);
          ++left;
          --right;
          if (left > right) break;
        } else {
          if (left == right) {
            ++left;
            --right;
          }
          break;
        }
      }
      const bool bigLeft = right - lo > 4, bigRight = hi - left > 4;
      if (bigLeft && !bigRight) {
        hi = right;
      } else if (bigLeft && bigRight) {
        if (hi - left < right - lo) {
          stack[++top] = {lo, right};
          lo = left;
        } else {
          stack[++top] = {left, hi};
          hi = right;
        }
      } else if (bigRight) {
        lo = left;
      } else {
        if (top == 0) break;
        lo = stack[top].lo;
        hi = stack[top].hi;
        --top;
      }
    }
  }
  // The smallest key lies in the first small part: put it at first as sentinel.
  int small = first;
  for (int i = first + 1, e = last < first + 4 ? last : first + 4; i <= e; ++i)
    if (key[i] < key[small]) small = i;
  if (small != first) s.swap(small, first);
  for (int i = first + 2; i <= last; ++i) {
    const K k = key[i];
    int j = i;
    if constexpr (std::is_void_v<C>) {
      while (k < key[j - 1]) {
        key[j] = key[j - 1];
        --j;
      }
      key[j] = k;
    } else {
      const C c = s.comp[i];
      while (k < key[j - 1]) {
        key[j] = key[j - 1];
        s.comp[j] = s.comp[j - 1];
        --j;
      }
      key[j] = k;
      s.comp[j] = c;
    }
  }
  return 1;
}

// Halving search of an ascending stretch; an unordered probe counts as "greater",
// so a NaN never stops the halving.
template <class K>
int BinarySearch(K key, const K* a, int first, int last) {
  int l = first - 1, r = last + 1;
  while (l + 1 != r) {
    int mid = l + (r - l) / 2;
    if (key < a[mid])
      r = mid;
    else if (key == a[mid])
      return mid;
    else
      l = mid;
  }
  return -1;
}

// First position holding key, scanning upward.
template <class K>
int LinearSearch(K key, const K* a, int first, int last) {
  for (int i = first; i <= last; ++i)
    if (a[i] == key) return i;
  return -1;
}

}  // namespace

int QSort(double* a, int first, int count) { return SortRange(SortArrays<double, void>{a, nullptr}, first, count); }
int QSort(int* a, int first, int count) { return SortRange(SortArrays<int, void>{a, nullptr}, first, count); }
int QSort(int* keys, double* companion, int first, int count) {
  return SortRange(SortArrays<int, double>{keys, companion}, first, count);
}
int QSort(int* keys, int* companion, int first, int count) {
  return SortRange(SortArrays<int, int>{keys, companion}, first, count);
}

int BSearch(double key, const double* a, int first, int last) { return BinarySearch(key, a, first, last); }
int BSearch(int key, const int* a, int first, int last) { return BinarySearch(key, a, first, last); }
int LSearch(double key, const double* a, int first, int last) { return LinearSearch(key, a, first, last); }
int LSearch(int key, const int* a, int first, int last) { return LinearSearch(key, a, first, last); }

int compare_int(const void* a, const void* b) {
  int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

int compare_real(const void* a, const void* b) {
  double x = *static_cast<const double*>(a), y = *static_cast<const double*>(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}
