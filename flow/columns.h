// The positions of a compressed-row pattern listed by column, rows ascending: a product with the
// transpose then gathers each entry of its result on one thread, summing the rows in the same
// order as a scatter over the rows in order, so the sums are bitwise those of the scatter.
#pragma once

#include <vector>

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
