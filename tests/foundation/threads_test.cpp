#include "foundation/threads.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Restores the thread count, the fork threshold, OLVU_THREADS and OMP_NUM_THREADS a test changed.
struct ThreadsGuard {
  int saved = Threads();
  const char* omp = std::getenv("OMP_NUM_THREADS");
  std::string ompText = omp ? omp : "";
  ~ThreadsGuard() {
    unsetenv("OLVU_THREADS");
    if (omp) setenv("OMP_NUM_THREADS", ompText.c_str(), 1);
    else unsetenv("OMP_NUM_THREADS");
    SetThreads(saved);
    SetThreadedMin(0);
  }
};

TEST(Threads, EnvironmentValues) {
  ThreadsGuard guard;
  const struct {
    const char* text;
    int expected;
  } cases[] = {{"1", 1}, {"6", 6}, {"4096", 4096}, {"0", -1}, {"-2", -1}, {"4097", -1}, {"3x", -1}, {"two", -1}, {"", 0}};
  for (const auto& c : cases) {
    setenv("OLVU_THREADS", c.text, 1);
    EXPECT_EQ(ThreadsFromEnvironment(), c.expected) << '"' << c.text << '"';
  }
  unsetenv("OLVU_THREADS");
  EXPECT_EQ(ThreadsFromEnvironment(), 0);
  // The outermost level of a list; what the runtime would refuse counts as unset.
  const struct {
    const char* text;
    int expected;
  } openmp[] = {{"3", 3}, {"4,2", 4}, {" 5 ", 5}, {"4096", 4096}, {"0", 0}, {"4097", 0}, {"x", 0}, {"2x", 0}, {"", 0}};
  for (const auto& c : openmp) {
    setenv("OMP_NUM_THREADS", c.text, 1);
    EXPECT_EQ(ThreadsFromOpenMP(), c.expected) << '"' << c.text << '"';
  }
  unsetenv("OMP_NUM_THREADS");
  EXPECT_EQ(ThreadsFromOpenMP(), 0);
  EXPECT_GE(AvailableCores(), 1);
  EXPECT_GE(IdleCores(), 1);
  EXPECT_LE(IdleCores(), AvailableCores());
  SetThreads(0);
  EXPECT_EQ(Threads(), 1);
}

// Sums, maxima and minima of long, badly conditioned vectors are bitwise those of one thread at
// the production fork threshold, for any thread count and with the threshold lowered as tests do.
TEST(Threads, ReductionsDoNotDependOnTheThreadCount) {
  ThreadsGuard guard;
  SetThreads(4);
  EXPECT_EQ(MinOverTasks(0, [](int) { return 0; }), INT_MAX);
  for (std::size_t n : {std::size_t(10), std::size_t(1000), kBlockedMin - 1, kBlockedMin, std::size_t(100003)}) {
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i) x[i] = std::sin(1e3 * i) * std::pow(10.0, double(i % 17) - 8);
    const int tasks = int(n % 97);
    auto sum = [&] { return ReduceSum(n, [&](std::size_t i) { return x[i] * x[(i * 7) % n]; }); };
    auto max = [&] { return ReduceMax(n, [&](std::size_t i) { return std::fabs(x[i]); }); };
    auto min = [&] { return MinOverTasks(tasks, [&](int t) { return int(std::sin(x[std::size_t(t) * 3 % n]) * 1e6); }); };
    SetThreadedMin(0);
    SetThreads(1);
    const double sum1 = sum(), max1 = max();
    const int min1 = min();
    for (std::size_t threshold : {std::size_t(0), std::size_t(64)}) {
      SetThreadedMin(threshold);
      for (int t : {1, 2, 3, 4, 8}) {
        SetThreads(t);
        const double s = sum(), m = max();
        EXPECT_EQ(std::memcmp(&s, &sum1, sizeof s), 0) << "n " << n << ", threads " << t << ", threshold " << threshold;
        EXPECT_EQ(m, max1) << "n " << n << ", threads " << t << ", threshold " << threshold;
        EXPECT_EQ(min(), min1) << "n " << n << ", threads " << t << ", threshold " << threshold;
      }
    }
  }
}

}  // namespace
