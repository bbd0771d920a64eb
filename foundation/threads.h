// How many threads the hot loops use, and reductions whose result does not depend on it.
#pragma once

#include <cstddef>

/// Threads the hot loops use: set by SetThreads, else OLVU_THREADS, else the cores the
/// process may run on (its affinity mask). Always at least 1.
int Threads();
/// Makes the hot loops use n threads (values below 1 count as 1).
void SetThreads(int n);
/// The thread count OLVU_THREADS asks for: 0 when it is unset, -1 when it is not a whole
/// number from 1 to 4096.
int ThreadsFromEnvironment();
/// The cores the process may run on (affinity mask; the hardware count where that fails).
int AvailableCores();

/// Loops shorter than this run on one thread: below it the fork costs more than it saves.
inline constexpr std::size_t kThreadedMin = 16384;

/// True when a loop of n entries should fork.
inline bool Threaded(std::size_t n) { return n >= kThreadedMin && Threads() > 1; }

/// Blocks of a reduction over n entries: the count depends on n alone, never on the thread
/// count, so the partial sums and the order they are added in are the same for any threads.
inline constexpr int kReduceBlocks = 64;

/// Sum over i < n of term(i): fixed blocks summed in index order, then the block sums in block
/// order. Bitwise the same for any thread count; allocates nothing.
template <class Term>
double ReduceSum(std::size_t n, Term term) {
  if (n < kThreadedMin) {
    double s = 0;
    for (std::size_t i = 0; i < n; ++i) s += term(i);
    return s;
  }
  double part[kReduceBlocks];
  const std::size_t block = (n + kReduceBlocks - 1) / kReduceBlocks;
#pragma omp parallel for schedule(static) num_threads(Threads()) if (Threads() > 1)
  for (int b = 0; b < kReduceBlocks; ++b) {
    const std::size_t lo = b * block, hi = lo + block < n ? lo + block : n;
    double s = 0;
    for (std::size_t i = lo; i < hi; ++i) s += term(i);
    part[b] = s;
  }
  double s = 0;
  for (int b = 0; b < kReduceBlocks; ++b) s += part[b];
  return s;
}

/// Largest of term(i) over i < n (0 when n is 0); a maximum is exact, so any order gives it.
template <class Term>
double ReduceMax(std::size_t n, Term term) {
  double m = 0;
#pragma omp parallel for schedule(static) reduction(max : m) num_threads(Threads()) if (Threaded(n))
  for (std::size_t i = 0; i < n; ++i) {
    const double t = term(i);
    if (t > m) m = t;
  }
  return m;
}
