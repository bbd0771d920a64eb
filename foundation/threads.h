// How many threads the hot loops use, and reductions whose result does not depend on it.
#pragma once

#include <climits>
#include <cstddef>

/// Threads the hot loops use: set by SetThreads, else OLVU_THREADS, else OMP_NUM_THREADS, else
/// the idle cores the process may run on (IdleCores); the environment is read once. Always at
/// least 1.
int Threads();
/// Makes the hot loops use n threads (values below 1 count as 1).
void SetThreads(int n);
/// The thread count OLVU_THREADS asks for: 0 when it is unset, -1 when it is not a whole
/// number from 1 to 4096.
int ThreadsFromEnvironment();
/// The thread count OMP_NUM_THREADS asks for: its first number (that of the outermost level of
/// a list such as "4,2"), or 0 when it is unset or that is not a whole number from 1 to 4096.
int ThreadsFromOpenMP();
/// The cores the process may run on (affinity mask; the hardware count where that fails).
int AvailableCores();
/// AvailableCores less the machine's load over the last minute, at least 1.
int IdleCores();

/// Loops shorter than this run on one thread: below it the fork costs more than it saves.
inline constexpr std::size_t kThreadedMin = 16384;

/// Reductions over this many entries or more sum in fixed blocks (ForBlocks), shorter ones in
/// one pass in index order. The blocking fixes the last bits of every sum, so it is a constant
/// apart from ThreadedMin: a test that lowers the fork threshold forks smaller loops and still
/// gets the bits of a production run.
inline constexpr std::size_t kBlockedMin = 16384;

/// The length from which loops fork: kThreadedMin unless SetThreadedMin or OLVU_THREADED_MIN
/// lowered it. Only tests do, so that small cases take the forked paths; no result changes.
std::size_t ThreadedMin();
/// Sets ThreadedMin (0: back to OLVU_THREADED_MIN, else kThreadedMin).
void SetThreadedMin(std::size_t n);

/// True inside an active parallel region (a team of two or more). The pool, Clock, Plex
/// lookups and user functions keep shared state without locks: checked builds assert they are
/// never entered there (OLVU_ASSERT_SERIAL).
bool InParallelRegion();

/// True when a loop of n entries should fork.
inline bool Threaded(std::size_t n) { return n >= ThreadedMin() && Threads() > 1; }

/// The forked loops, each in a function of its own: clang enters the OpenMP runtime at the
/// start of any function that holds a parallel region, so a one-thread call that shared the
/// function would start the runtime (and allocate) for nothing.
template <class Index, class Body>
[[gnu::noinline]] void ForkFor(Index n, Body& body) {
  // The team counts in size_t and hands the body a size_t whatever the index type: with an int
  // counter the forked sparse products ran about a third slower on six threads.
  const std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 0;
#pragma omp parallel for schedule(static) num_threads(Threads())
  for (std::size_t i = 0; i < count; ++i) body(i);
}
/// run(b) for every block b, forked.
template <class Run>
void ForkBlocks(int blocks, Run& run) {
  ForkFor(blocks, run);
}
/// The calling thread's number in the team of the innermost parallel region (0 outside one).
int TeamThread();
/// The number of threads of that team (1 outside a parallel region).
int TeamSize();
/// body(thread, size) once on each thread of a team of (at most) `threads`: size is the number
/// the runtime gave, which may be fewer.
template <class Body>
[[gnu::noinline]] void ForkTeam(int threads, Body& body) {
#pragma omp parallel num_threads(threads)
  body(TeamThread(), TeamSize());
}
/// Largest of term(i) over i < n, forked.
template <class Term>
[[gnu::noinline]] double ForkMax(std::size_t n, Term& term) {
  double m = 0;
#pragma omp parallel for schedule(static) reduction(max : m) num_threads(Threads())
  for (std::size_t i = 0; i < n; ++i) {
    const double t = term(i);
    if (t > m) m = t;
  }
  return m;
}
/// Smallest of task(t) over t < tasks, forked a task at a time to the threads as they come free.
template <class Task>
[[gnu::noinline]] int ForkMinTasks(int tasks, Task& task) {
  int m = INT_MAX;
#pragma omp parallel for schedule(dynamic, 1) reduction(min : m) num_threads(Threads())
  for (int t = 0; t < tasks; ++t) {
    const int v = task(t);
    if (v < m) m = v;
  }
  return m;
}

/// body(i) for i = 0 .. n-1 (i of n's integer type), forked over the threads when Threaded(n),
/// else a plain loop with no parallel region. Iterations must not depend on one another (each
/// writes its own entries), so the result is the same for any thread count. The one primitive
/// of the threaded loops: OpenMP appears in this file alone.
template <class Index, class Body>
inline void ParallelFor(Index n, Body body) {
  if (!Threaded(static_cast<std::size_t>(n))) {
    for (Index i = 0; i < n; ++i) body(i);
    return;
  }
  ForkFor(n, body);
}

/// Smallest of task(t) over t < tasks (INT_MAX when there are none), for a few long tasks of
/// uneven cost, each already one thread's share: with several threads each task goes to the
/// next thread that comes free. A minimum is exact, so any order gives it.
template <class Task>
int MinOverTasks(int tasks, Task task) {
  if (tasks > 1 && Threads() > 1) return ForkMinTasks(tasks, task);
  int m = INT_MAX;
  for (int t = 0; t < tasks; ++t) {
    const int v = task(t);
    if (v < m) m = v;
  }
  return m;
}

/// Blocks of a reduction over n entries: the count depends on n alone, never on the thread
/// count, so the partial results and the order they are combined in are the same for any threads.
inline constexpr int kReduceBlocks = 64;

/// body(b, lo, hi) for the blocks of 0 .. n-1: one block [0, n) below kBlockedMin, else
/// kReduceBlocks blocks of equal length (the last ones shorter or empty), forked over the threads
/// when Threaded(n). Returns the number of blocks; the caller keeps a partial result per block
/// and combines them in block order, which makes them bitwise the same for any thread count and
/// any ThreadedMin.
template <class Body>
int ForBlocks(std::size_t n, Body body) {
  if (n < kBlockedMin) {
    body(0, std::size_t(0), n);
    return 1;
  }
  const std::size_t block = (n + kReduceBlocks - 1) / kReduceBlocks;
  auto run = [&](int b) {
    const std::size_t lo = b * block < n ? b * block : n, hi = lo + block < n ? lo + block : n;
    body(b, lo, hi);
  };
  if (Threaded(n)) {
    ForkBlocks(kReduceBlocks, run);
  } else {
    for (int b = 0; b < kReduceBlocks; ++b) run(b);
  }
  return kReduceBlocks;
}

/// The first `blocks` partial sums added in block order, starting from the first one itself (so
/// that one block gives the plain sequential sum bit for bit).
inline double SumBlocks(const double* part, int blocks) {
  double s = part[0];
  for (int b = 1; b < blocks; ++b) s += part[b];
  return s;
}

/// Sum of part(lo, hi) over the blocks of ForBlocks, in block order: a kernel with its own sum
/// over a range (several accumulators, side results) becomes bitwise the same for any threads.
template <class Part>
double SumOverBlocks(std::size_t n, Part part) {
  double sums[kReduceBlocks];
  const int blocks = ForBlocks(n, [&](int b, std::size_t lo, std::size_t hi) { sums[b] = part(lo, hi); });
  return SumBlocks(sums, blocks);
}

/// Sum over i < n of term(i): in index order within the blocks of ForBlocks, then the block sums
/// in block order. Bitwise the same for any thread count; allocates nothing.
template <class Term>
double ReduceSum(std::size_t n, Term term) {
  return SumOverBlocks(n, [&](std::size_t lo, std::size_t hi) {
    double s = 0;
    for (std::size_t i = lo; i < hi; ++i) s += term(i);
    return s;
  });
}

/// Largest of term(i) over i < n (0 when n is 0); a maximum is exact, so any order gives it.
template <class Term>
double ReduceMax(std::size_t n, Term term) {
  if (Threaded(n)) return ForkMax(n, term);
  double m = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double t = term(i);
    if (t > m) m = t;
  }
  return m;
}
