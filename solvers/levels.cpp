// Level scheduling of sparse triangular solves.
#include "solvers/levels.h"

#include <algorithm>
#include <thread>

#include "foundation/threads.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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
  Schedule(t, Threads());
}

void Schedule(LevelTriangle& t, int threads) {
  RowSchedule& s = t.schedule;
  const SolveLevels& lv = t.levels;
  const int n = static_cast<int>(lv.rows.size()), levels = lv.count();
  s.threads = threads;
  // Thread u owns the u-th of `threads` equal slices of every level: a level's rows lie side
  // by side in positions, so neighbours in the mesh mostly fall to the same thread.
  std::vector<int> owner(n > 0 ? n : 1);
  auto slice = [&](int l, int u) { return lv.ptr[l] + static_cast<int>(static_cast<long>(lv.ptr[l + 1] - lv.ptr[l]) * u / threads); };
  for (int l = 0; l < levels; ++l)
    for (int u = 0; u < threads; ++u)
      for (int p = slice(l, u); p < slice(l, u + 1); ++p) owner[p] = u;
  s.start.assign(threads + 1, 0);
  s.order.clear();
  s.wptr.assign(1, 0);
  s.wait.clear();
  std::vector<int> last(threads), seen(threads);
  std::vector<char> waited(n > 0 ? n : 1, 0);
  for (int u = 0; u < threads; ++u) {
    std::fill(seen.begin(), seen.end(), -1);
    for (int l = 0; l < levels; ++l)
      for (int p = slice(l, u); p < slice(l, u + 1); ++p) {
        std::fill(last.begin(), last.end(), -1);
        for (int q = t.ptr[p]; q < t.ptr[p + 1]; ++q) {
          const int c = t.col[q];
          if (c != p && owner[c] != u && c > last[owner[c]]) last[owner[c]] = c;
        }
        for (int v = 0; v < threads; ++v)
          if (last[v] > seen[v]) {
            s.wait.push_back(last[v]);
            waited[last[v]] = 1;
            seen[v] = last[v];
          }
        s.order.push_back(2 * p);
        s.wptr.push_back(static_cast<int>(s.wait.size()));
      }
    s.start[u + 1] = static_cast<int>(s.order.size());
  }
  for (int& e : s.order) e += waited[e >> 1];
  s.done.assign(n, 0);
  s.epoch = 0;
}

unsigned RowSchedule::Next() const {
  if (++epoch == 0) {
    std::fill(done.begin(), done.end(), 0u);
    epoch = 1;
  }
  return epoch;
}

void WaitSlow(unsigned& flag, unsigned epoch) {
  // Pausing lets the sibling hyperthread run; past a few thousand rounds the thread that owes
  // the row is likely descheduled, and yielding the core lets it run again.
  const std::atomic_ref<unsigned> f(flag);
  for (int spins = 0; f.load(std::memory_order_acquire) != epoch; ++spins) {
    if (spins < 4096) {
#if defined(__x86_64__) || defined(__i386__)
      _mm_pause();
#endif
    } else {
      std::this_thread::yield();
    }
  }
}

void Refresh(LevelTriangle& t, const double* values) {
  double* v = t.val.data();
  const int* src = t.src.data();
  ParallelFor(t.val.size(), [=](std::size_t k) { v[k] = values[src[k]]; });
}
