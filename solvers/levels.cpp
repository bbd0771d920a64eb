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
  const int* rows = t.levels.rows.data();
  const int n = static_cast<int>(t.levels.rows.size());
  s.threads = threads;
  // Thread u owns the u-th of `threads` equal blocks of the rows in row order, a piece of the
  // mesh whose rows mostly read each other; it runs them in level order, so a thread waits for
  // its neighbour only where the blocks meet and, a level behind, mostly finds the row done.
  std::vector<int> owner(n > 0 ? n : 1);
  s.start.assign(threads + 1, 0);
  for (int p = 0; p < n; ++p) {
    owner[p] = static_cast<int>(static_cast<long>(rows[p]) * threads / n);
    ++s.start[owner[p] + 1];
  }
  for (int u = 0; u < threads; ++u) s.start[u + 1] += s.start[u];
  std::vector<int> next(s.start.begin(), s.start.end() - 1);
  s.order.resize(n);
  for (int p = 0; p < n; ++p) s.order[next[owner[p]]++] = p;
  std::vector<int> at(n > 0 ? n : 1);  // place of each position in order
  for (int k = 0; k < n; ++k) at[s.order[k]] = k;
  // A triangle's rows read rows before them (after them, backwards) only, so a thread reads
  // only threads before it (after it) and none waits on itself through others: a wait may then
  // ask for a row further on than the one read, which makes waits rarer and the thread trail
  // by that many rows. Anything else waits for the rows read, in level order.
  bool one_way = true;
  int side = 0;
  for (int p = 0; p < n && one_way; ++p)
    for (int q = t.ptr[p]; q < t.ptr[p + 1]; ++q) {
      const int d = owner[t.col[q]] - owner[p], sign = (d > 0) - (d < 0);
      if (sign != 0 && side != 0 && sign != side) one_way = false;
      if (sign != 0) side = sign;
    }
  const int ahead = one_way ? n / (threads * kWaitsPerThread) : 0;
  // Waits, thread after thread: for each row, the last row it reads of each other thread (or
  // the one `ahead` rows on in that thread's order), when the thread has not waited for that one
  // or a later one yet.
  s.wptr.assign(1, 0);
  s.wait.clear();
  std::vector<int> last(threads), seen(threads);
  std::vector<char> waited(n > 0 ? n : 1, 0);
  for (int u = 0; u < threads; ++u) {
    std::fill(seen.begin(), seen.end(), -1);
    for (int k = s.start[u]; k < s.start[u + 1]; ++k) {
      const int p = s.order[k];
      std::fill(last.begin(), last.end(), -1);
      for (int q = t.ptr[p]; q < t.ptr[p + 1]; ++q) {
        const int c = t.col[q], v = owner[c];
        if (c != p && v != u && at[c] > last[v]) last[v] = at[c];
      }
      for (int v = 0; v < threads; ++v)
        if (last[v] > seen[v]) {
          seen[v] = std::min(last[v] + ahead, s.start[v + 1] - 1);
          s.wait.push_back(s.order[seen[v]]);
          waited[s.order[seen[v]]] = 1;
        }
      s.wptr.push_back(static_cast<int>(s.wait.size()));
    }
  }
  for (int& e : s.order) e = 2 * e + waited[e];
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
