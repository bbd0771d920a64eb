// Whole runs of the program give the same result file, byte for byte, for any thread count: the
// 32 x 32 lid-driven cavity and the Poiseuille channel, run with OLVU_THREADS 1, 2 and 4; a wrong
// value warns and takes every core. OLVU_THREADED_MIN lowers the length from which loops
// fork, so that these small meshes go down the forked products, maxima and solves (the channel
// also on eight, whose row blocks are then too short for the pressure's block scatter: it gathers
// by column); the file is that of one thread at the production threshold.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "foundation/threads.h"
#include "tests/model/channelrun.h"

namespace olvu_test {
namespace {

// Sets (value null: unsets) an environment variable for the object's life, then restores the
// former value.
class Env {
 public:
  Env(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~Env() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

FlowRun Cavity() { return LidCavity(32, "Solve_NavierStokes", 6, "0.25"); }

FlowRun ShortChannel() {
  FlowRun f = Channel(1, "0");
  f.steps = 6;
  return f;
}

TEST(ThreadCountRuns, ResultFilesAreTheSameForAnyThreadCount) {
  const Env small("OLVU_THREADED_MIN", "64");
  // Waiting threads sleep instead of spinning: beside the other tests on a busy machine,
  // spinning threads would slow these runs many times over.
  const Env passive("OMP_WAIT_POLICY", "passive");
  const struct {
    const char* name;
    FlowRun run;
    int counts;  // of the thread counts below
  } cases[] = {{"cavity 32 x 32", Cavity(), 3}, {"Poiseuille channel 40 x 10", ShortChannel(), 4}};
  const char* const counts[] = {"1", "2", "4", "8"};
  for (const auto& c : cases) {
    std::string first;
    {
      const Env production("OLVU_THREADED_MIN", nullptr), one("OLVU_THREADS", "1");
      Folder dir;
      ASSERT_EQ(c.run.Run(dir, first).status, 0) << c.name << ": " << dir.read("flow.dat.err");
    }
    for (int n = 0; n < c.counts; ++n) {
      const char* threads = counts[n];
      const Env count("OLVU_THREADS", threads);
      Folder dir;
      std::string res;
      const Outcome o = c.run.Run(dir, res);
      ASSERT_EQ(o.status, 0) << c.name << ", " << threads << " threads: " << dir.read("flow.dat.err");
      EXPECT_NE(o.out.find(std::string("Threads: ") + threads + "\n"), std::string::npos) << o.out;
      EXPECT_NE(dir.read("flow.dat.tim").find(std::string("\n Threads: ") + threads), std::string::npos);
      if (first.empty()) {
        ASSERT_NE(res.find("VELOCITY"), std::string::npos) << c.name;
        first = res;
      }
      EXPECT_TRUE(res == first) << c.name << ": the result file of " << threads
                                << " threads differs from 1 thread's at the production threshold";
    }
  }
}

// OLVU_THREADS sets the count, else OMP_NUM_THREADS (its outermost level), else the idle cores;
// a wrong OLVU_THREADS is warned about and passed over.
TEST(ThreadCountRuns, OlvuThreadsThenOmpNumThreadsSetTheCount) {
  FlowRun f = ShortChannel();
  f.steps = 1;
  const struct {
    const char *olvu, *openmp, *banner, *warning;
  } cases[] = {{nullptr, "3", "Threads: 3\n", ""},
               {nullptr, "2,1", "Threads: 2\n", ""},
               {"2", "3", "Threads: 2\n", ""},
               {"two", "3", "Threads: 3\n",
                "OLVU_THREADS=\"two\" is not a whole number from 1 to 4096: using the 3 threads OMP_NUM_THREADS asks for"}};
  for (const auto& c : cases) {
    const Env olvu("OLVU_THREADS", c.olvu), openmp("OMP_NUM_THREADS", c.openmp);
    Folder dir;
    std::string res;
    const Outcome o = f.Run(dir, res);
    ASSERT_EQ(o.status, 0) << dir.read("flow.dat.err");
    EXPECT_NE(o.out.find(c.banner), std::string::npos) << c.banner << o.out;
    EXPECT_NE(dir.read("flow.dat.war").find(c.warning), std::string::npos) << c.warning;
  }
}

// A wrong OLVU_THREADS ends nothing: the run warns and takes the cores it may use.
TEST(ThreadCountRuns, WrongThreadCountWarnsAndRuns) {
  FlowRun f = ShortChannel();
  f.steps = 1;
  for (const char* wrong : {"0", "two", "5000"}) {
    const Env count("OLVU_THREADS", wrong);
    Folder dir;
    std::string res;
    const Outcome o = f.Run(dir, res);
    ASSERT_EQ(o.status, 0) << wrong << ": " << dir.read("flow.dat.err");
    EXPECT_NE(dir.read("flow.dat.war").find(std::string("OLVU_THREADS=\"") + wrong + "\" is not a whole number"),
              std::string::npos)
        << wrong;
    // The idle cores depend on the machine's load: any count from 1 to the cores will do.
    const std::size_t at = o.out.find("Threads: ");
    ASSERT_NE(at, std::string::npos) << o.out;
    const int n = std::atoi(o.out.c_str() + at + 9);
    EXPECT_GE(n, 1);
    EXPECT_LE(n, AvailableCores());
  }
}

}  // namespace
}  // namespace olvu_test
