// The elements of one set on a pattern, as flat arrays for repeated assembly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "solvers/rowblocks.h"

class Elem;
class Mesh;
class SparseMatrixStruct;

/// The elements of one set as flat arrays for repeated assembly: the rows of every element's
/// nodes and the positions of its node pairs in the pattern, kept as offsets from the start of the
/// pair's row (one byte each). Rows longer than 255 positions cannot be kept so; the set then
/// searches its rows at each assembly. The rows are cut into one block per thread twice: with the
/// elements in the table's order and in the set's own order.
class ElementTable {
 public:
  /// Lists the elements of `set` (rows from numbering slot `slot`) and finds their pairs in `pattern`.
  void Build(Mesh* set, int slot, const SparseMatrixStruct* pattern);
  /// True when the table was built for this set and pattern and the set has not changed since.
  bool Fits(const Mesh* set, const SparseMatrixStruct* pattern) const;
  /// Cuts the rows again when the blocks are not those of the current thread count.
  void FitBlocks();
  /// Nodes per element and element count.
  int Nodes() const { return n_; }
  int Elements() const { return elems_; }
  /// Element k (the elements are kept in order of their smallest row).
  Elem* Element(std::size_t k) const { return elem_[k]; }
  /// Position in the table of the set's element s (counted in the set's order).
  std::size_t OfSetElement(std::size_t s) const { return std::size_t(bySet_[s]); }
  /// The n rows of element k.
  const int* Rows(std::size_t k) const { return rows_.data() + k * std::size_t(n_); }
  /// The n*n offsets of element k, pair (a, b) at a*n + b; null when not kept.
  const std::uint8_t* Offsets(std::size_t k) const { return kept_ ? off_.data() + k * nn_ : nullptr; }
  /// Row blocks over the table's positions, and over the set's positions.
  const RowBlocks& Blocks() const { return blocks_; }
  const RowBlocks& SetBlocks() const { return setBlocks_; }

 private:
  const Mesh* set_ = nullptr;
  const SparseMatrixStruct* pattern_ = nullptr;
  int n_ = 0, elems_ = 0;
  std::size_t nn_ = 0;
  bool kept_ = false;
  std::vector<Elem*> elem_;
  std::vector<int> bySet_;
  std::vector<int> rows_;
  std::vector<std::uint8_t> off_;
  RowBlocks blocks_, setBlocks_;
};

