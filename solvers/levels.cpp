// Level scheduling of sparse triangular solves.
#include "solvers/levels.h"

#include "foundation/threads.h"

void FindLevels(SolveLevels& lv, int n, const int* pntr, const int* indx, bool forward) {
  std::vector<int> level(n > 0 ? n : 1, 0);
  int levels = 0;
  for (int s = 0; s < n; ++s) {
    const int i = forward ? s : n - 1 - s;
    int l = 0;
    for (int k = pntr[i]; k < pntr[i + 1]; ++k) {
      const int j = indx[k];
      if ((forward ? j < i : j > i) && j < n && level[j] >= l) l = level[j] + 1;
    }
    level[i] = l;
    if (l + 1 > levels) levels = l + 1;
  }
  // Counting sort of the rows by level, increasing within each.
  lv.ptr.assign(levels + 1, 0);
  for (int i = 0; i < n; ++i) ++lv.ptr[level[i] + 1];
  for (int l = 0; l < levels; ++l) lv.ptr[l + 1] += lv.ptr[l];
  lv.rows.resize(n);
  std::vector<int> next(lv.ptr.begin(), lv.ptr.end() - 1);
  for (int i = 0; i < n; ++i) lv.rows[next[level[i]]++] = i;
}

bool LevelsPay(int n, int levels) {
  const std::size_t rows = static_cast<std::size_t>(n);
  return levels > 0 && Threaded(rows) && rows >= ThreadedMin() / kLevelRowsShare * static_cast<std::size_t>(levels);
}

bool SolveLevels::pay() const { return LevelsPay(static_cast<int>(rows.size()), count()); }

void Arrange(LevelTriangle& t, int n, const int* pntr, const int* indx, const int* src, int offset, bool forward) {
  FindLevels(t.levels, n, pntr, indx, forward);
  const int* rows = t.levels.rows.data();
  std::vector<int> at(n > 0 ? n : 1);
  for (int p = 0; p < n; ++p) at[rows[p]] = p;
  t.ptr.assign(n + 1, 0);
  for (int p = 0; p < n; ++p) t.ptr[p + 1] = t.ptr[p] + pntr[rows[p] + 1] - pntr[rows[p]];
  t.col.resize(t.ptr[n]);
  t.src.resize(t.ptr[n]);
  t.val.resize(t.ptr[n]);
  t.neighbour.resize(n);
  for (int p = 0; p < n; ++p) {
    const int j = rows[p];
    for (int k = pntr[j], q = t.ptr[p]; k < pntr[j + 1]; ++k, ++q) {
      t.col[q] = at[indx[k]];
      t.src[q] = src ? src[k] : offset + k;
    }
    t.neighbour[p] = forward ? (j > 0 ? at[j - 1] : -1) : (j + 1 < n ? at[j + 1] : -1);
  }
}

void Refresh(LevelTriangle& t, const double* values) {
  double* v = t.val.data();
  const int* src = t.src.data();
  ParallelFor(t.val.size(), [=](std::size_t k) { v[k] = values[src[k]]; });
}
