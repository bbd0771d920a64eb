// Rows of a pattern cut into contiguous blocks, one per thread, each with the elements that touch
// it. A thread adds only into the rows of its block and visits its elements in the assembly's
// element order, so every entry sums its element contributions in that order whatever the number
// of threads: the result is bitwise that of one thread, without atomics or colours.
#pragma once

#include <cstddef>
#include <limits>
#include <vector>

#include "foundation/threads.h"

class RowBlocks {
 public:
  /// Cuts rows [0, nrows) into `blocks` blocks of about equal element incidence for `elems`
  /// elements of n rows each, visited in the order of their positions; rowsOf(k) gives the n rows
  /// of the element at position k.
  template <class RowsOf>
  void Build(std::size_t elems, int n, int nrows, int blocks, RowsOf rowsOf);
  /// Number of blocks (0 before Build).
  int Count() const { return int(low_.size()) - 1; }
  /// Rows [Low(b), High(b)) of block b.
  int Low(int b) const { return low_[std::size_t(b)]; }
  int High(int b) const { return low_[std::size_t(b) + 1]; }
  /// Positions of the elements that touch block b, ascending.
  const int* Begin(int b) const { return list_.data() + start_[std::size_t(b)]; }
  const int* End(int b) const { return list_.data() + start_[std::size_t(b) + 1]; }

  /// Runs visit(lo, hi, first, last) for every block, one block per thread; visit returns the
  /// position of the first element it refused (its visit stopping there) or -1. Returns the
  /// smallest refused position over the blocks, which is the first refused one in element order
  /// since every element lies in some block; -1 when none was.
  template <class Visit>
  int Run(Visit visit) const {
    const int count = Count();
    if (count == 1) return visit(Low(0), High(0), Begin(0), End(0));
    const int low = MinOverTasks(count, [&](int b) {
      const int f = visit(Low(b), High(b), Begin(b), End(b));
      return f >= 0 ? f : std::numeric_limits<int>::max();
    });
    return low == std::numeric_limits<int>::max() ? -1 : low;
  }

 private:
  void Cut(const std::vector<std::size_t>& incidence, int blocks);
  std::vector<int> low_;           // block b holds rows [low_[b], low_[b+1])
  std::vector<std::size_t> start_;  // block b lists list_[start_[b] .. start_[b+1])
  std::vector<int> list_;
};

/// Blocks an assembly over `elems` elements uses: one per thread when its loop forks, else one.
inline int BlocksFor(std::size_t elems) { return Threaded(elems) ? Threads() : 1; }

template <class RowsOf>
void RowBlocks::Build(std::size_t elems, int n, int nrows, int blocks, RowsOf rowsOf) {
  std::vector<std::size_t> incidence(std::size_t(nrows) + 1, 0);
  for (std::size_t k = 0; k < elems; ++k) {
    const int* r = rowsOf(k);
    for (int a = 0; a < n; ++a) ++incidence[std::size_t(r[a])];
  }
  Cut(incidence, blocks < 1 ? 1 : blocks);
  const int count = Count();
  // Block of every row, then the elements of every block in two passes (count, fill).
  std::vector<int> blockOf(std::size_t(nrows) + 1);
  for (int b = 0; b < count; ++b)
    for (int r = Low(b); r < High(b); ++r) blockOf[std::size_t(r)] = b;
  std::vector<std::size_t> seen(std::size_t(count), elems);  // last element that listed each block
  start_.assign(std::size_t(count) + 1, 0);
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<std::size_t> fill(start_.begin(), start_.end() - 1);
    seen.assign(std::size_t(count), elems);
    for (std::size_t k = 0; k < elems; ++k) {
      const int* r = rowsOf(k);
      for (int a = 0; a < n; ++a) {
        const std::size_t b = std::size_t(blockOf[std::size_t(r[a])]);
        if (seen[b] == k) continue;
        seen[b] = k;
        if (pass == 0) ++start_[b + 1];
        else list_[fill[b]++] = int(k);
      }
    }
    if (pass == 0) {
      for (int b = 0; b < count; ++b) start_[std::size_t(b) + 1] += start_[std::size_t(b)];
      list_.assign(start_.back(), 0);
    }
  }
}
