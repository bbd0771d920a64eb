// Every data file in examples/ runs to its last step.
#include <gtest/gtest.h>

#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

TEST(Examples, EachRunsToTheEnd) {
  const struct {
    const char* name;
    const char* lastStep;
  } examples[] = {{"cavity", "STEP = 100, TIME = 10:"}, {"channel", "STEP = 50, TIME = 10:"},
                  {"conduction", "STEP = 40, TIME = 40000:"}};
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

}  // namespace
}  // namespace olvu_test
