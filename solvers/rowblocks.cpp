#include "solvers/rowblocks.h"

void RowBlocks::Cut(const std::vector<std::size_t>& incidence, int blocks) {
  const int nrows = int(incidence.size()) - 1;
  std::size_t total = 0;
  for (int r = 0; r < nrows; ++r) total += incidence[std::size_t(r)];
  // Block b ends at the first row where the running incidence reaches (b+1)/blocks of the total.
  low_.assign(1, 0);
  std::size_t sum = 0;
  int r = 0;
  for (int b = 1; b < blocks; ++b) {
    const std::size_t goal = total / std::size_t(blocks) * std::size_t(b);
    while (r < nrows && sum < goal) sum += incidence[std::size_t(r++)];
    low_.push_back(r);
  }
  low_.push_back(nrows);
}
