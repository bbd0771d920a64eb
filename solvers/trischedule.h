// Forked sparse triangular solves: the rows of a triangle shared out among a team of threads
// once per pattern, each thread running its rows in solve order straight from the factor's
// arrays and waiting only for the rows of other threads it reads.
#pragma once

#include <atomic>
#include <vector>

#include "foundation/threads.h"

/// The rows of a triangle shared out for a solve without joins. Thread t runs its steps, each a
/// range of consecutive rows in solve order (increasing rows forward, decreasing backward):
/// before a step it waits for the steps of other threads listed for it, after it marks the step
/// done. A thread finishes its steps in order, so one step done means all its rows before it are
/// done: a step waits for one step of each other thread it reads, unless an earlier wait of the
/// same thread already covered it, and most steps wait for none.
struct RowSchedule {
  int rows = 0;                 ///< rows of the triangle
  int threads = 0;              ///< threads the team runs on (0: not made)
  int made_for = 0;             ///< Threads() when it was made
  bool forward = true;          ///< solved by increasing rows (a lower triangle)
  std::vector<int> steps;       ///< start of each thread's steps, threads + 1 entries
  std::vector<int> first;       ///< first row of each step
  std::vector<int> length;      ///< rows of each step
  std::vector<int> wptr;        ///< start of each step's waits, steps + 1 entries
  std::vector<int> wait;        ///< the steps waited for
  /// Each step's last solve number: a new number per solve spares clearing the marks.
  mutable std::vector<unsigned> done;
  mutable unsigned epoch = 0;   ///< number of the last solve
  /// The number of a new solve, marks cleared when the numbers wrap round.
  unsigned Next() const;
  /// True when a forked solve pays and the schedule was made for the present thread count.
  bool Use() const { return threads > 1 && made_for == Threads(); }
};

/// The cost model the schedules are weighed by, in entries: a row costs kRowCost besides its
/// entries, kCrossRead more when it reads rows another thread solved (their lines come from that
/// core's cache), and sees such a row kCrossLatency after it is done (the mark crossing over); a
/// row that does not follow its thread's previous row in solve order starts a step, which costs
/// kStepCost (the call, the waits and mark, the streams starting afresh).
inline constexpr long kRowCost = 3;
inline constexpr long kStepCost = 100;
inline constexpr long kCrossRead = 24;
inline constexpr long kCrossLatency = 200;

/// Rows a wait may ask for beyond the row read in the other thread's order: fewer waits, but the
/// thread trails by that many rows.
inline constexpr int kWaitAhead = 8;

/// Smallest ratio of the one-thread cost to a schedule's span at which a forked solve pays: the
/// model counts neither the team's start nor the threads' contention for memory.
inline constexpr double kScheduleGain = 1.5;

/// One-thread cost over the span of the schedule that gives the row solved k-th to thread
/// owner[k], of the n rows of a triangle (row starts pntr, columns indx, 0-based; row i depends
/// on its columns j below i when forward, above i otherwise; the diagonal and columns from n on
/// are no dependencies), each thread running its rows in solve order.
double ScheduleGain(const std::vector<int>& owner, int n, const int* pntr, const int* indx, bool forward,
                    int threads);

/// Owners by strips across a front of w rows: the rows in solve order cut into pieces of w, and
/// thread t takes the t-th of `threads` equal parts of each. With w a row of the mesh (a plane in
/// 3D) on a mesh numbered row by row, the threads read each other's rows only where the strips
/// meet, one strip behind the other.
void StripRows(std::vector<int>& owner, int n, int front, int threads);

/// The commonest distances in solve order from a row to the rows it reads beyond the next one,
/// at most `count` of them, commonest first: the lengths of a row and of a plane of a mesh
/// numbered row by row.
std::vector<int> Fronts(int n, const int* pntr, const int* indx, bool forward, int count);

/// The schedule of the n-row triangle for a team of at most Threads() threads: strips across the
/// front and team size ScheduleGain finds fastest among the Fronts. It is
/// used (threads > 1) when the gain reaches kScheduleGain on at least ThreadedMin() rows
/// (whatever the gain, on every thread, when tests lowered ThreadedMin()).
void MakeSchedule(RowSchedule& s, int n, const int* pntr, const int* indx, bool forward);

/// Spins (pausing, then yielding the core) until flag holds epoch.
void WaitSlow(unsigned& flag, unsigned epoch);

/// Waits until another thread has marked flag with epoch; the acquire load makes what it wrote
/// before marking visible.
inline void WaitFor(unsigned& flag, unsigned epoch) {
  if (std::atomic_ref<unsigned>(flag).load(std::memory_order_acquire) != epoch) WaitSlow(flag, epoch);
}

/// range(from, count) for every step of the schedule's triangle (count rows from row `from` on
/// in solve order), each after the rows it depends on, on s.threads threads without a join. A
/// wait only asks for rows solved before the waiting one, so the first row not yet done can
/// always run and every wait ends while all threads run; should the runtime give fewer threads,
/// one of them runs every row in solve order instead.
template <class Range>
[[gnu::noinline]] void RunScheduled(const RowSchedule& s, Range& range) {
  const unsigned epoch = s.Next();
  unsigned* done = s.done.data();
  auto team = [&](int thread, int size) {
    if (size != s.threads) {
      if (thread == 0) range(s.forward ? 0 : s.rows - 1, s.rows);
      return;
    }
    const int *first = s.first.data(), *length = s.length.data(), *wptr = s.wptr.data(), *wait = s.wait.data();
    for (int k = s.steps[thread], end = s.steps[thread + 1]; k < end; ++k) {
      for (int w = wptr[k]; w < wptr[k + 1]; ++w) WaitFor(done[wait[w]], epoch);
      range(first[k], length[k]);
      std::atomic_ref<unsigned>(done[k]).store(epoch, std::memory_order_release);
    }
  };
  ForkTeam(s.threads, team);
}
