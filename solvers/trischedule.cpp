// Forked sparse triangular solves: the cost model, the strips, the steps and the waits.
#include "solvers/trischedule.h"

#include <algorithm>
#include <thread>

#include "foundation/threads.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// Place in solve order of row i of n (and row at place i).
inline int Place(int i, int n, bool forward) { return forward ? i : n - 1 - i; }

// Calls dep(d) with the place d of every row that the row at place k depends on.
template <class Dep>
void EachDependency(int k, int n, const int* pntr, const int* indx, bool forward, Dep dep) {
  const int i = Place(k, n, forward);
  for (int e = pntr[i]; e < pntr[i + 1]; ++e) {
    const int j = indx[e];
    if (j < n && (forward ? j < i : j > i)) dep(Place(j, n, forward));
  }
}

}  // namespace

double ScheduleGain(const std::vector<int>& owner, int n, const int* pntr, const int* indx, bool forward,
                    int threads) {
  // Each thread runs its rows in solve order: a row starts when its thread is free and its
  // dependencies are done, those of other threads kCrossLatency later; a row that does not follow
  // the thread's previous one starts a step. Integer costs keep the
  // figure the same on every machine.
  std::vector<long> finish(n > 0 ? n : 1, 0), busy(threads, 0);
  std::vector<int> previous(threads, -2);
  long total = 0;
  for (int k = 0; k < n; ++k) {
    const int o = owner[k], i = Place(k, n, forward);
    const bool step = previous[o] != k - 1;
    previous[o] = k;
    long ready = busy[o];
    bool cross = false;
    EachDependency(k, n, pntr, indx, forward, [&](int d) {
      const bool other = owner[d] != o;
      cross = cross || other;
      ready = std::max(ready, finish[d] + (other ? kCrossLatency : 0));
    });
    const long cost = kRowCost + pntr[i + 1] - pntr[i];
    finish[k] = busy[o] = ready + cost + (cross ? kCrossRead : 0) + (step ? kStepCost : 0);
    total += cost;
  }
  const long span = threads > 0 ? *std::max_element(busy.begin(), busy.end()) : 0;
  return span > 0 ? static_cast<double>(total) / static_cast<double>(span) : 1.0;
}

std::vector<int> Fronts(int n, const int* pntr, const int* indx, bool forward, int count) {
  std::vector<int> seen(n > 0 ? n : 1, 0);
  for (int k = 0; k < n; ++k)
    EachDependency(k, n, pntr, indx, forward, [&](int d) { ++seen[k - d]; });
  std::vector<int> fronts;
  for (int w = 2; w < n; ++w) {
    if (seen[w] == 0) continue;
    auto at = fronts.begin();
    while (at != fronts.end() && seen[*at] >= seen[w]) ++at;
    if (at - fronts.begin() < count) fronts.insert(at, w);
    if (static_cast<int>(fronts.size()) > count) fronts.pop_back();
  }
  return fronts;
}

void StripRows(std::vector<int>& owner, int n, int front, int threads) {
  owner.resize(n);
  for (int k = 0; k < n; ++k) owner[k] = static_cast<int>(static_cast<long>(k % front) * threads / front);
}

namespace {

// Steps and waits of the rows given to threads by owner (by solve place).
void MakeSteps(RowSchedule& s, const std::vector<int>& owner, const int* pntr, const int* indx) {
  const int n = s.rows, threads = s.threads;
  const bool forward = s.forward;
  // Each row's count within its thread, and each thread's rows (places) in solve order.
  std::vector<int> local(n), rows(threads + 1, 0), order(n);
  for (int o : owner) ++rows[o + 1];
  for (int u = 0; u < threads; ++u) rows[u + 1] += rows[u];
  {
    std::vector<int> next(rows.begin(), rows.end() - 1);
    for (int k = 0; k < n; ++k) {
      local[k] = next[owner[k]] - rows[owner[k]];
      order[next[owner[k]]++] = k;
    }
  }
  // Waits of each row, in thread order: one per other thread it reads, for the row read or one
  // up to kWaitAhead rows further on in that thread, but always a row solved before this one, so
  // that the first row not yet done never waits. Waited rows end their step.
  std::vector<int> wptr(1, 0), target;  // target: place of the row waited for
  std::vector<char> marked(n, 0);
  std::vector<int> seen(threads), last(threads), limit(threads);
  for (int u = 0; u < threads; ++u) {
    std::fill(seen.begin(), seen.end(), -1);
    std::fill(limit.begin(), limit.end(), -1);
    for (int q = rows[u]; q < rows[u + 1]; ++q) {
      const int k = order[q];
      std::fill(last.begin(), last.end(), -1);
      EachDependency(k, n, pntr, indx, forward, [&](int d) {
        if (owner[d] != u) last[owner[d]] = std::max(last[owner[d]], local[d]);
      });
      for (int v = 0; v < threads; ++v) {
        if (last[v] <= seen[v]) continue;
        while (rows[v] + limit[v] + 1 < rows[v + 1] && order[rows[v] + limit[v] + 1] < k) ++limit[v];
        seen[v] = std::min(last[v] + kWaitAhead, limit[v]);
        target.push_back(order[rows[v] + seen[v]]);
        marked[target.back()] = 1;
      }
      wptr.push_back(static_cast<int>(target.size()));
    }
  }
  // Steps: a new one where a thread's rows stop being consecutive, at a row that waits and after
  // a row waited for.
  std::vector<int> step_of(n);
  s.steps.assign(1, 0);
  s.wptr.assign(1, 0);
  for (int u = 0; u < threads; ++u) {
    for (int q = rows[u]; q < rows[u + 1]; ++q) {
      const int k = order[q];
      const bool fresh = q == rows[u] || k != order[q - 1] + 1 || wptr[q + 1] > wptr[q] || marked[order[q - 1]];
      if (fresh) {
        s.first.push_back(forward ? k : n - 1 - k);
        s.length.push_back(0);
        s.wait.insert(s.wait.end(), target.begin() + wptr[q], target.begin() + wptr[q + 1]);
        s.wptr.push_back(static_cast<int>(s.wait.size()));
      }
      ++s.length.back();
      step_of[k] = static_cast<int>(s.first.size()) - 1;
    }
    s.steps.push_back(static_cast<int>(s.first.size()));
  }
  for (int& w : s.wait) w = step_of[w];
  s.done.assign(s.first.size(), 0);
}

}  // namespace

void MakeSchedule(RowSchedule& s, int n, const int* pntr, const int* indx, bool forward) {
  s = RowSchedule();
  s.rows = n;
  s.forward = forward;
  s.made_for = Threads();
  if (s.made_for < 2 || !Threaded(static_cast<std::size_t>(n))) return;
  // Strips across each front on each team size; the fastest by the model, fewer threads on a tie.
  const bool forced = ThreadedMin() < kThreadedMin;  // tests: every thread, whatever the gain
  const std::vector<int> fronts = Fronts(n, pntr, indx, forward, 3);
  std::vector<int> owner, best;
  double gain = 0.0;
  int team = 0;
  for (int t = forced ? s.made_for : 2; t <= s.made_for; ++t)
    for (int front : fronts) {
      if (front < 2 * t && !forced) continue;
      StripRows(owner, n, front, t);
      const double g = ScheduleGain(owner, n, pntr, indx, forward, t);
      if (g > gain) {
        gain = g;
        team = t;
        best.swap(owner);
      }
    }
  if (team == 0 || (gain < kScheduleGain && !forced)) return;
  s.threads = team;
  MakeSteps(s, best, pntr, indx);
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
