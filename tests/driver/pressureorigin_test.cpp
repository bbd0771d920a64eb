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
  const std::string key = "\n\t" + std::to_string(node) + "\t";
  const auto at = res.find(key, res.find("Result \"PRESSURE\" \"QUELMA\" 0 "));
  return at == std::string::npos ? "" : res.substr(at + key.size(), res.find('\n', at + 1) - at - key.size());
}

TEST(PressureOrigin, NoCardMeansTheHighestCorner) {
  // Gravity -9.81 along y, density 1000: the hydrostatic pressure is 0 at the origin's height.
  struct Case {
    const char* solve;
    const char* origin;
    bool corner, dropped;
    const char *bottom, *top;  // total pressure at node 1 (y = 0) and node 9 (y = 1)
  };
  const Case cases[] = {{"Total_Pressure", "", true, false, "9810", "0"},
                        {"Total_Pressure", " Pres_Origin 0 0 0 [m]", false, false, "0", "-9810"},
                        {"Solve_Pseudoconcentration", "", true, false, nullptr, nullptr},
                        {"Solve_Pseudoconcentration", " Pres_Origin 0 0.5 0 [m]", true, true, nullptr, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.solve) + c.origin);
    Folder dir;
    std::string data = Replace(CavityData(), "Solve_NavierStokes", std::string("Solve_NavierStokes ") + c.solve);
    data = Replace(Replace(data, "[m/s2];", std::string("[m/s2]") + c.origin + ";"), "EndBoundary;", "Node 9 Pres 0;\nEndBoundary;");
    if (c.bottom) data = Replace(data, "Node 9 Pres 0;\n", "");
    dir.write("cavity", data);
    const Outcome r = dir.olvu({"-name", "cavity"});
    ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
    const std::string war = dir.read("cavity.war");
    EXPECT_EQ(war.find("\t***  WARNING! LEVEL 3 ***\n -->\tGiving a reference for the total pressure is recommended\n"
                       "\tNow taken in 1 1 0\n") != std::string::npos, c.corner);
    EXPECT_EQ(war.find("Cannot fix Pressure_Origin in Pseudoconcentration problem") != std::string::npos, c.dropped);
    if (!c.bottom) continue;
    EXPECT_EQ(InitialPressure(dir.read("cavity.res"), 1), c.bottom);
    EXPECT_EQ(InitialPressure(dir.read("cavity.res"), 9), c.top);
  }
}

}  // namespace
}  // namespace olvu_test
