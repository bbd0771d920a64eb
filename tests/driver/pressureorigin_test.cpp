// Without "Pres_Origin" the problem has no pressure origin: the fluid takes its highest corner
// with a warning, the hydrostatic start of a total-pressure run is pinned there, and a
// pseudoconcentration run has no origin to drop.
#include <gtest/gtest.h>

#include "tests/driver/cavity_data.h"
#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

// The value line of `node` in the initial PRESSURE block.
std::string InitialPressure(const std::string& res, int node) {
  const auto block = res.find("Result \"PRESSURE\" \"QUELMA\" 0 ");
  if (block == std::string::npos) return "";
  const std::string key = "\n\t" + std::to_string(node) + "\t";
  const auto at = res.find(key, block);
  return at == std::string::npos ? "" : res.substr(at + key.size(), res.find('\n', at + 1) - at - key.size());
}

constexpr char kCornerWarning[] =
    "\t***  WARNING! LEVEL 3 ***\n -->\tGiving a reference for the total pressure is recommended\n\tNow taken in 1 1 0\n";

TEST(PressureOrigin, NoCardMeansTheHighestCorner) {
  // Gravity -9.81 along y, density 1000: the hydrostatic pressure is 0 at the origin's height.
  struct Case {
    const char* what;
    const char* origin;
    bool warned;
    const char* bottom;  // node 1, y = 0
    const char* top;     // node 9, y = 1
  };
  const Case cases[] = {{"no origin", "", true, "9810", "0"}, {"origin at 0", " Pres_Origin 0 0 0 [m]", false, "0", "-9810"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Folder dir;
    std::string data = Replace(CavityData(), "FluidDefinition Solve_NavierStokes", "FluidDefinition Solve_NavierStokes Total_Pressure");
    dir.write("cavity", Replace(data, "[m/s2];", std::string("[m/s2]") + c.origin + ";"));
    const Outcome r = dir.olvu({"-name", "cavity"});
    ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
    EXPECT_EQ(dir.read("cavity.war").find(kCornerWarning) != std::string::npos, c.warned);
    const std::string res = dir.read("cavity.res");
    EXPECT_EQ(InitialPressure(res, 1), c.bottom);
    EXPECT_EQ(InitialPressure(res, 9), c.top);
  }
}

TEST(PressureOrigin, PseudoconcentrationDropsOnlyAGivenOrigin) {
  const std::string pseudo = Replace(
      Replace(CavityData(), "FluidDefinition Solve_NavierStokes", "FluidDefinition Solve_NavierStokes Solve_Pseudoconcentration"),
      "EndBoundary;", "Node 9 Pres 0;\nEndBoundary;");
  const char* origins[] = {"", " Pres_Origin 0 0.5 0 [m]"};
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(origins[k]);
    Folder dir;
    dir.write("cavity", Replace(pseudo, "[m/s2];", std::string("[m/s2]") + origins[k] + ";"));
    const Outcome r = dir.olvu({"-name", "cavity"});
    ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
    const std::string war = dir.read("cavity.war");
    EXPECT_EQ(war.find("Cannot fix Pressure_Origin in Pseudoconcentration problem") != std::string::npos, k == 1);
    EXPECT_NE(war.find(kCornerWarning), std::string::npos);  // the origin is the corner in both
  }
}

}  // namespace
}  // namespace olvu_test
