#include "solvers/patterncolumns.h"

#include <algorithm>
#include <cstdlib>

#include "solvers/sparsestruct.h"

void PatternColumns::Build(const SparseMatrixStruct* pattern) {
  pattern_ = pattern;
  const int n = pattern->nrows(), nnz = pattern->numnonzeros();
  const int* rp = pattern->row_ptr(0);
  const int* col = pattern->col_ind(0);
  start_.assign(std::size_t(pattern->ncols()) + 1, 0);
  for (int k = 0; k < nnz; ++k)
    if (col[k] >= 0) ++start_[std::size_t(col[k]) + 1];
  for (std::size_t j = 1; j < start_.size(); ++j) start_[j] += start_[j - 1];
  row_.resize(std::size_t(nnz));
  pos_.resize(std::size_t(nnz));
  std::vector<int> next(start_.begin(), start_.end() - 1);
  span_ = 0;
  for (int i = 0; i < n; ++i)
    for (int k = rp[i]; k < rp[i + 1]; ++k) {
      if (col[k] < 0) continue;  // a spare slot
      span_ = std::max(span_, std::abs(i - col[k]));
      const int t = next[std::size_t(col[k])]++;
      row_[std::size_t(t)] = i;
      pos_[std::size_t(t)] = k;
    }
}
