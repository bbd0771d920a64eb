// Every data file in examples/ runs to its last step (the turbulent channel to its hundredth); the
// flow past a cylinder, whose run takes a minute, its first two, with converged linear solves and
// a drag on its way to the steady one.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

TEST(Examples, EachRunsToTheEnd) {
  // A long run is cut short by its step count (`steps`, replaced by `shortened`).
  const struct {
    const char* name;
    const char* lastStep;
    const char* steps;
    const char* shortened;
  } examples[] = {{"cavity", "STEP = 100, TIME = 10:", "", ""},
                  {"channel", "STEP = 50, TIME = 10:", "", ""},
                  {"conduction", "STEP = 40, TIME = 40000:", "", ""},
                  {"wall", "STEP = 3, TIME = 3e+09:", "", ""},
                  {"channel_turbulent", "STEP = 100, TIME = 50:", "Number_of_Steps 5000 ", "Number_of_Steps 100 "}};
  for (const auto& e : examples) {
    SCOPED_TRACE(e.name);
    Folder dir;
    std::string data = ReadFile(std::string(OLVU_EXAMPLES_DIR) + "/" + e.name);
    if (*e.steps) {
      ASSERT_NE(data.find(e.steps), std::string::npos);
      data = Replace(data, e.steps, e.shortened);
    }
    dir.write(e.name, data);
    const Outcome r = dir.olvu({"-name", e.name});
    EXPECT_EQ(r.status, 0) << dir.read(std::string(e.name) + ".err");
    EXPECT_NE(r.out.find(e.lastStep), std::string::npos);
    EXPECT_NE(dir.read(std::string(e.name) + ".res").find("Result "), std::string::npos);
  }
}

TEST(Examples, CylinderStartsAndWritesItsForces) {
  // The whole run takes minutes (its figures are in its comment): two steps here.
  Folder dir;
  const std::string data = ReadFile(std::string(OLVU_EXAMPLES_DIR) + "/cylinder");
  ASSERT_NE(data.find("Number_of_Steps 100 "), std::string::npos);
  dir.write("cylinder", Replace(data, "Number_of_Steps 100 ", "Number_of_Steps 2 "));
  const Outcome r = dir.olvu({"-name", "cylinder"});
  EXPECT_EQ(r.status, 0) << dir.read("cylinder.err");
  EXPECT_NE(r.out.find("STEP = 2, TIME = 1:"), std::string::npos);
  EXPECT_NE(r.out.find("Area/Length of Cylinder = 0.31415\n"), std::string::npos);
  const std::string forces = dir.read("cylinder.for");
  EXPECT_EQ(dir.read("cylinder.war").find("Not Solved"), std::string::npos);
  // c_D = 500 (pressure + viscous force x) on the line of time 0.5: 7.93, the steady 5.60 ahead
  // (an unconverged run had it at 10^12).
  const auto at = forces.find("\n0.5\t\"Cylinder\"\t");
  ASSERT_NE(at, std::string::npos) << forces;
  std::istringstream line(forces.substr(at + 1));
  std::string time, name;
  double f[12];
  line >> time >> name;
  for (double& v : f) line >> v;
  ASSERT_TRUE(line) << forces;
  EXPECT_NEAR(500 * (f[0] + f[6]), 7.93, 0.05);
}

}  // namespace
}  // namespace olvu_test
