// Every data file in examples/ runs to its last step; the flow past a cylinder, whose run takes
// minutes, its first two.
#include <gtest/gtest.h>

#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

TEST(Examples, EachRunsToTheEnd) {
  const struct {
    const char* name;
    const char* lastStep;
  } examples[] = {{"cavity", "STEP = 100, TIME = 10:"}, {"channel", "STEP = 50, TIME = 10:"},
                  {"conduction", "STEP = 40, TIME = 40000:"}, {"wall", "STEP = 3, TIME = 3e+09:"}};
  for (const auto& e : examples) {
    SCOPED_TRACE(e.name);
    Folder dir;
    dir.write(e.name, ReadFile(std::string(OLVU_EXAMPLES_DIR) + "/" + e.name));
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
  EXPECT_NE(forces.find("\n0.5\t\"Cylinder\"\t"), std::string::npos) << forces;
}

}  // namespace
}  // namespace olvu_test
