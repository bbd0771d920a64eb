// Level scheduling of sparse triangular solves: the rows grouped so that
// each row depends only on rows of earlier levels, and the rule for when forking them pays.
#pragma once

#include <atomic>
#include <vector>

#include "foundation/threads.h"

/// The rows of a triangle in levels: row rows[k], k in ptr[l] .. ptr[l+1]-1, lies in level l,
/// and each row's off-diagonal columns are rows of earlier levels. Rows increase within a level.
struct SolveLevels {
  std::vector<int> ptr;   ///< start of each level in rows, levels + 1 entries (empty: none found)
  std::vector<int> rows;  ///< the rows, level after level
  /// Number of levels.
  int count() const { return ptr.empty() ? 0 : static_cast<int>(ptr.size()) - 1; }
  /// True when forking each level over the threads pays (see LevelsPay).
  bool pay() const;
};

/// The rows of a level-ordered triangle shared out for a solve without joins: thread t takes a
/// block of the rows, runs them in level order, and before a row waits only for the rows of
/// other threads that it depends on. A thread finishes its rows in order, so one row done means
/// all its rows before it are done: a row waits for the last row of each other thread it reads,
/// unless an earlier wait of the same thread already covered it, and most rows wait for none.
struct RowSchedule {
  int threads = 0;        ///< threads it shares the rows among (0: not made)
  std::vector<int> start; ///< start of each thread's rows in order, threads + 1 entries
  std::vector<int> order; ///< 2 p + 1 for position p when another thread waits for it, else 2 p
  std::vector<int> wptr;  ///< start of each entry of order's waits, order.size() + 1 entries
  std::vector<int> wait;  ///< the positions waited for
  /// Each position's last solve number: a new number per solve spares clearing the marks.
  mutable std::vector<unsigned> done;
  mutable unsigned epoch = 0;  ///< number of the last solve
  /// The number of a new solve, marks cleared when the numbers wrap round.
  unsigned Next() const;
};

/// A triangle copied in the order of its levels, so that the rows of a level lie side by side
/// and a forked solve streams through them: position p holds row levels.rows[p], its entries in
/// their order, their columns as positions.
struct LevelTriangle {
  SolveLevels levels;          ///< levels of the rows (ptr indexes positions)
  std::vector<int> ptr;        ///< start of each position's entries
  std::vector<int> col;        ///< column of each entry, as a position
  std::vector<int> src;        ///< where each entry's value lies in the factor's values
  std::vector<double> val;     ///< the values, taken by Refresh
  std::vector<int> neighbour;  ///< position of the row solved just before in row order, -1 for the first
  RowSchedule schedule;        ///< its rows shared out among Threads() as Arrange found it
};

/// Waits a thread of a schedule makes at least per solve and neighbour: it waits for a row that
/// many rows short of the end of the neighbour's share further on than the row it reads.
inline constexpr int kWaitsPerThread = 16;

/// The rows of t shared out among `threads` threads (see RowSchedule).
void Schedule(LevelTriangle& t, int threads);

/// Spins (pausing, then yielding the core) until flag holds epoch.
void WaitSlow(unsigned& flag, unsigned epoch);

/// Waits until another thread has marked flag with epoch; the acquire load makes what it wrote
/// before marking visible.
inline void WaitFor(unsigned& flag, unsigned epoch) {
  if (std::atomic_ref<unsigned>(flag).load(std::memory_order_acquire) != epoch) WaitSlow(flag, epoch);
}

/// row(p) for every position p of the schedule's triangle, each after the rows it depends on, on
/// s.threads threads without a join between levels. Every thread runs its rows in level order and
/// a row waits only for rows of earlier levels, so every wait ends while all threads run; should
/// the runtime give fewer threads, one of them runs every row in order instead.
template <class Row>
[[gnu::noinline]] void RunScheduled(const RowSchedule& s, Row& row) {
  const unsigned epoch = s.Next();
  unsigned* done = s.done.data();
  const int *start = s.start.data(), *order = s.order.data(), *wptr = s.wptr.data(), *wait = s.wait.data();
  auto team = [&](int thread, int size) {
    if (size != s.threads) {
      if (thread == 0)
        for (int p = 0, n = start[s.threads]; p < n; ++p) row(p);
      return;
    }
    for (int k = start[thread], end = start[thread + 1]; k < end; ++k) {
      for (int w = wptr[k]; w < wptr[k + 1]; ++w) WaitFor(done[wait[w]], epoch);
      const int e = order[k];
      row(e >> 1);
      if (e & 1) std::atomic_ref<unsigned>(done[e >> 1]).store(epoch, std::memory_order_release);
    }
  };
  ForkTeam(s.threads, team);
}

/// Levels and copied pattern of the n-row square triangle with row starts pntr and columns indx
/// (see FindLevels), whose entry k takes its value from entry src[k] of the factor's values
/// (from entry offset + k without src).
void Arrange(LevelTriangle& t, int n, const int* pntr, const int* indx, const int* src, int offset, bool forward);
/// Takes the triangle's values from the factor's values, forked.
void Refresh(LevelTriangle& t, const double* values);

/// Levels of the n-row triangle with row starts pntr and columns indx (0-based): row i depends
/// on its columns j below i (forward) or above i (backward); the diagonal and columns from n on
/// are no dependencies.
void FindLevels(SolveLevels& lv, int n, const int* pntr, const int* indx, bool forward);

/// Average rows a level must hold for a forked solve to pay, as a share of ThreadedMin(): its
/// rows run in level order, scattered over b and x, which takes each row about twice its time in
/// row order, and each thread waits for its neighbour's rows; with waits instead of joins it pays
/// on the 46^3 node tetrahedron grid (720 rows a level) on six threads, not on 26^3 nodes (230)
/// nor on the 129 x 129 and 316 x 316 node triangle grids (65 and 160 rows a level).
inline constexpr int kLevelRowsShare = 32;

/// True when n rows in `levels` levels are worth solving level by level: several threads, n at
/// least ThreadedMin() and on average ThreadedMin() / kLevelRowsShare rows per level.
bool LevelsPay(int n, int levels);
