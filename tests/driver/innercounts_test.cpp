// The inner-iteration counts of the total definition: how often each solve runs per iteration.
#include <gtest/gtest.h>

#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

// The temperature at node `node` in the TEMPERATURE block written at time 2000 s of the
// conduction example (100 on its left edge, 0 on its right, 0 inside at first), run for two steps
// with the temperature count `count`.
std::string TemperatureAt2000(const std::string& count, const std::string& node) {
  std::string data = ReadFile(std::string(OLVU_EXAMPLES_DIR) + "/conduction");
  data = Replace(data, "Number_of_Steps 40", "Number_of_Steps 2");
  data = Replace(data, "OutPut_Step 10", "OutPut_Step 2");
  data = Replace(data, "\nTotalDefinition;", "\nTotalDefinition TM_Inner_Iterations " + count + ";");
  Folder dir;
  dir.write("c", data);
  const Outcome r = dir.olvu({"-name", "c"});
  EXPECT_EQ(r.status, 0) << dir.read("c.err");
  const std::string res = dir.read("c.res");
  const auto block = res.find("Result \"TEMPERATURE\" \"DORVANTE\" 2000 Scalar OnNodes\nValues\n");
  if (block == std::string::npos) return "no block";
  const auto line = res.find("\n\t" + node + "\t", block);
  if (line == std::string::npos) return "no line";
  const auto start = line + node.size() + 3;
  return res.substr(start, res.find('\n', start) - start);
}

TEST(InnerCounts, ACountOfZeroSkipsItsSolve) {
  // Node 2 lies next to the heated edge: only a temperature solve moves it from its initial 0.
  EXPECT_EQ(TemperatureAt2000("0", "2"), "0");
  EXPECT_NE(TemperatureAt2000("1", "2"), "0");
  EXPECT_NE(TemperatureAt2000("1", "2"), "no line");
}

}  // namespace
}  // namespace olvu_test
