#include "foundation/threads.h"

#include <omp.h>
#include <sched.h>

#include <cstdlib>
#include <cstring>
#include <thread>

namespace {
int threadCount = 0;  // 0 until first asked for or set
std::size_t threadedMin = 0;  // 0 until first asked for or set
}  // namespace

std::size_t ThreadedMin() {
  if (threadedMin == 0) {
    // The tests' way to send whole runs of the program down the forked paths on small meshes.
    const char* text = std::getenv("OLVU_THREADED_MIN");
    char* end = nullptr;
    const long n = text ? std::strtol(text, &end, 10) : 0;
    threadedMin = text && *text && *end == '\0' && n > 0 ? static_cast<std::size_t>(n) : kThreadedMin;
  }
  return threadedMin;
}

void SetThreadedMin(std::size_t n) { threadedMin = n; }

int AvailableCores() {
  cpu_set_t mask;
  if (sched_getaffinity(0, sizeof mask, &mask) == 0) {
    const int n = CPU_COUNT(&mask);
    if (n > 0) return n;
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

int ThreadsFromEnvironment() {
  const char* text = std::getenv("OLVU_THREADS");
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (*end != '\0' || n < 1 || n > 4096) return -1;
  return static_cast<int>(n);
}

int ThreadsFromOpenMP() {
  // A list gives the counts of nested levels; the loops fork at the outermost one only.
  const char* text = std::getenv("OMP_NUM_THREADS");
  if (text == nullptr) return 0;
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  while (*end == ' ' || *end == '\t') ++end;
  if (end == text || (*end != '\0' && *end != ',') || n < 1 || n > 4096) return 0;
  return static_cast<int>(n);
}

int IdleCores() {
  // Threads that share a core with other busy processes wait at every join for the slowest of
  // them: on a loaded machine a run on all cores was ten times slower than on one.
  const int cores = AvailableCores();
  double load = 0;
  if (getloadavg(&load, 1) != 1 || !(load >= 0)) return cores;
  const int idle = cores - static_cast<int>(load + 0.5);
  return idle < 1 ? 1 : idle;
}

int Threads() {
  if (threadCount == 0) {
    const int asked = ThreadsFromEnvironment(), openmp = ThreadsFromOpenMP();
    threadCount = asked > 0 ? asked : openmp > 0 ? openmp : IdleCores();
  }
  return threadCount;
}

void SetThreads(int n) { threadCount = n < 1 ? 1 : n; }

bool InParallelRegion() { return omp_in_parallel() != 0; }

int TeamThread() { return omp_get_thread_num(); }

int TeamSize() { return omp_get_num_threads(); }
