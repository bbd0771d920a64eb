#include "foundation/threads.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Restores the thread count and OLVU_THREADS a test changed.
struct ThreadsGuard {
  int saved = Threads();
  ~ThreadsGuard() {
    unsetenv("OLVU_THREADS");
    SetThreads(saved);
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
  EXPECT_GE(AvailableCores(), 1);
  EXPECT_GE(IdleCores(), 1);
  EXPECT_LE(IdleCores(), AvailableCores());
  SetThreads(0);
  EXPECT_EQ(Threads(), 1);
}

// Sums and maxima of long, badly conditioned vectors are bitwise the same for any thread count.
TEST(Threads, ReductionsDoNotDependOnTheThreadCount) {
  ThreadsGuard guard;
  for (std::size_t n : {std::size_t(10), kThreadedMin - 1, kThreadedMin, std::size_t(100003)}) {
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i) x[i] = std::sin(1e3 * i) * std::pow(10.0, double(i % 17) - 8);
    double sum1 = 0, max1 = 0;
    for (int t : {1, 2, 3, 4, 8}) {
      SetThreads(t);
      const double s = ReduceSum(n, [&](std::size_t i) { return x[i] * x[(i * 7) % n]; });
      const double m = ReduceMax(n, [&](std::size_t i) { return std::fabs(x[i]); });
      if (t == 1) {
        sum1 = s;
        max1 = m;
      }
      EXPECT_EQ(std::memcmp(&s, &sum1, sizeof s), 0) << "n " << n << ", threads " << t;
      EXPECT_EQ(m, max1) << "n " << n << ", threads " << t;
    }
  }
}

}  // namespace
