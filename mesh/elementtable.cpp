#include "mesh/elementtable.h"

#include <algorithm>

#include "foundation/error.h"
#include "mesh/elem.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "solvers/sparsestruct.h"

void ElementTable::Build(Mesh* set, int slot, const SparseMatrixStruct* pattern) {
  set_ = set;
  pattern_ = pattern;
  elems_ = set->NOfElems();
  n_ = set->GiveNnode();
  nn_ = std::size_t(n_) * std::size_t(n_);
  const std::size_t n = std::size_t(n_);
  // The elements in order of their smallest row, so that the loops sweep the matrices' rows in
  // order whatever the order of the set's table.
  std::vector<int> listed(n * std::size_t(elems_));
  std::vector<std::pair<int, int>> first(static_cast<std::size_t>(elems_));
  std::vector<Elem*> inSet(static_cast<std::size_t>(elems_));
  int i = 0;
  for (std::size_t k = 0; Elem* e = set->giveNextElm(i); ++k) {
    inSet[k] = e;
    Node* const* nd = e->nodesArray();
    int low = nd[0]->num[slot] - 1;
    for (std::size_t a = 0; a < n; ++a) {
      listed[k * n + a] = nd[a]->num[slot] - 1;
      low = listed[k * n + a] < low ? listed[k * n + a] : low;
    }
    first[k] = {low, int(k)};
  }
  std::stable_sort(first.begin(), first.end());
  elem_.resize(std::size_t(elems_));
  bySet_.resize(std::size_t(elems_));
  rows_.resize(n * std::size_t(elems_));
  for (std::size_t k = 0; k < std::size_t(elems_); ++k) {
    const std::size_t s = std::size_t(first[k].second);
    elem_[k] = inSet[s];
    bySet_[s] = int(k);
    std::copy_n(listed.data() + s * n, n, rows_.data() + k * n);
  }
  blocks_ = setBlocks_ = RowBlocks();
  FitBlocks();
  const int* rp = pattern->row_ptr(0);
  const int* ci = pattern->col_ind(0);
  kept_ = true;
  for (int r = 0; r < pattern->nrows(); ++r)
    if (rp[r + 1] - rp[r] > 255) kept_ = false;
  off_.assign(kept_ ? nn_ * std::size_t(elems_) : 0, 0);
  if (!kept_) return;
  for (std::size_t k = 0; k < std::size_t(elems_); ++k) {
    const int* rows = rows_.data() + k * n;
    std::uint8_t* o = off_.data() + k * nn_;
    for (int a = 0; a < n_; ++a)
      for (int b = 0; b < n_; ++b) {
        const int p = FindInRow(rp, ci, pattern->diag_first(), pattern->sorted(), rows[a], rows[b]);
        if (p < 0) OLVU_FATAL("Node pair of an element of set " << set->Name() << " missing from the sparse pattern\n");
        o[a * n_ + b] = std::uint8_t(p - rp[rows[a]]);
      }
  }
}

bool ElementTable::Fits(const Mesh* set, const SparseMatrixStruct* pattern) const {
  return set_ == set && pattern_ == pattern && elems_ == set->NOfElems();
}

void ElementTable::FitBlocks() {
  const int blocks = BlocksFor(std::size_t(elems_));
  if (blocks_.Count() == blocks) return;
  const int rows = pattern_->nrows();
  blocks_.Build(std::size_t(elems_), n_, rows, blocks, [this](std::size_t k) { return Rows(k); });
  setBlocks_.Build(std::size_t(elems_), n_, rows, blocks, [this](std::size_t s) { return Rows(OfSetElement(s)); });
}

