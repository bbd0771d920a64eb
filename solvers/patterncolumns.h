// The positions of a compressed-row pattern listed by column, rows ascending: a product with the
// transpose then gathers each entry of its result on one thread, summing the rows in the same
// order as a scatter over the rows in order, so the sums are bitwise those of the scatter.
#pragma once

#include <algorithm>
#include <vector>

#include "foundation/threads.h"

class SparseMatrixStruct;

class PatternColumns {
 public:
  /// Lists the positions of `pattern` by column (once per pattern: again only when it changes).
  void Build(const SparseMatrixStruct* pattern);
  bool Fits(const SparseMatrixStruct* pattern) const { return pattern_ == pattern; }
  /// Column j holds entries [Start(j), Start(j+1)): row Row(t) at full position Pos(t), rows ascending.
  const int* Start() const { return start_.data(); }
  const int* Row() const { return row_.data(); }
  const int* Pos() const { return pos_.data(); }
  /// Largest distance between an entry's row and column (the pattern's bandwidth).
  int Span() const { return span_; }

 private:
  const SparseMatrixStruct* pattern_ = nullptr;
  std::vector<int> start_, row_, pos_;
  int span_ = 0;
};

/// The transpose product of a pattern over row blocks on Threads() threads, each column summing
/// its rows in ascending order as a scatter over the rows in order does, so the sums are
/// bitwise the same; the rows stream as on one thread. add(i, take) adds row i into the columns j
/// for which take(j) holds. First every block adds its rows into the columns begun in it (whose
/// first row lies in it), then its first rows into the columns the block before began, which the
/// first phase finished. A column's first row lies at most 2 Span() before any row holding it, so
/// only a block's first 2 Span() rows hold columns begun before it; with blocks shorter than
/// twice that a column could reach over three blocks, and nothing is done: returns false (the
/// caller gathers by column).
template <class Add>
bool ScatterByBlocks(const PatternColumns& cols, int rows, Add add) {
  const int blocks = Threads(), size = (rows + blocks - 1) / blocks, span = cols.Span();
  if (2 * span >= size) return false;
  const int *cs = cols.Start(), *cr = cols.Row();
  auto phase = [&](bool begun) {
    auto run = [&](int b) {
      const int lo = b * size, hi = std::min(rows, lo + size), near = std::min(hi, lo + 2 * span);
      if (begun && b == 0) return;
      for (int i = lo; i < near; ++i) add(i, [=](int j) { return j >= 0 && (cr[cs[j]] < lo) == begun; });
      if (!begun)
        for (int i = near; i < hi; ++i) add(i, [](int j) { return j >= 0; });
    };
    ForkBlocks(blocks, run);
  };
  phase(false);
  phase(true);
  return true;
}
