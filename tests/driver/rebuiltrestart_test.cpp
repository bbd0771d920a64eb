// The restart file rebuilt from a saved result file by the tool Create_Rst: which blocks it takes.
#include <gtest/gtest.h>

#include "tests/driver/cavity_data.h"
#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

// A saved PRESSURE block of the cavity's nine nodes, all with the value `v` but node 5 with `centre`.
std::string PressureBlock(const std::string& time, const std::string& v, const std::string& centre) {
  std::string s = "Result \"PRESSURE\" \"QUELMA\" " + time + " Scalar OnNodes\nValues\n";
  for (int i = 1; i <= 9; ++i) s += "\t" + std::to_string(i) + "\t" + (i == 5 ? centre : v) + "\n";
  return s + "End Values\n";
}

// The restart file that Create_Rst rebuilds in `dir` from `saved`.
std::string Rebuilt(const Folder& dir, const std::string& saved) {
  dir.write("cavity.res.bak", "Qor Post Results File 1.0\n" + saved);
  const Outcome r = dir.olvu({"-name", "cavity", "-tool", "Create_Rst"});
  EXPECT_EQ(r.status, 0) << dir.read("cavity.err");
  return dir.read("cavity.rst");
}

TEST(RebuiltRestart, TheLastBlockOfAFieldWins) {
  Folder dir;
  dir.write("cavity", CavityData());
  const std::string second = Rebuilt(dir, PressureBlock("0.2", "3", "7"));
  const std::string both = Rebuilt(dir, PressureBlock("0.1", "1", "2") + PressureBlock("0.2", "3", "7"));
  const std::string first = Rebuilt(dir, PressureBlock("0.1", "1", "2"));
  EXPECT_EQ(both, second);
  EXPECT_NE(both, first);
  EXPECT_EQ(RstFrame(both), "Problem;\nCurrent_Step = 0 ,\tTotal_Time = 0 ,\tTime_Increment = 0.1;\nEndProblem;\n");
}

}  // namespace
}  // namespace olvu_test
