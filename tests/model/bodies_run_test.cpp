// Runs of the program with body and moving-body boundary sets on a plane channel: the wall
// forces of Poiseuille flow against the analytic wall shear and pressure, the force and movement
// lines, a heavy body falling under gravity, and the bad inputs of the body-set cards.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"
#include "tests/model/gridcase.h"

namespace olvu_test {
namespace {

// Channel 4 x 1 on nx x ny cells of two triangles, density 1, viscosity 0.1, inlet u = 4y(1 - y),
// outlet pressure 0; the walls are the body sets "Bottom" (card `bottom`) and "Top" (card `top`).
struct BodyChannel {
  int nx = 40, ny = 20, steps = 40;
  std::string top = "Type Body ElmType Linear NNode 2 Name Top V_fixWall";
  std::string bottom = "Type Body ElmType Linear NNode 2 Name Bottom V_fixWall";
  std::string flags, general, gravity = "0 0 0";

  int Id(int i, int j) const { return j * (nx + 1) + i + 1; }
  std::string Text() const {
    std::ostringstream s;
    s << "OLVU_2D;\nProblemDefinition;\nGeneralData Number_of_Steps " << steps
      << " Time_Increment \"0.5\" [s] OutPut_Step " << steps << " Max_Iterations 5;\nPhysicalData Gravity " << gravity
      << " [m/s2];\nNodes;\n";
    for (int j = 0; j <= ny; ++j)
      for (int i = 0; i <= nx; ++i) s << Id(i, j) << " " << 4.0 * i / nx << " " << 1.0 * j / ny << " 0\n";
    s << "FluidDefinition Solve_NavierStokes Integration_Scheme Backward_Euler" << flags
      << ";\nInitialDataFunctions;\nFunction VelocityX \"4*Y*(1-Y)\" [m/s];\nEndInitialDataFunctions;\n" << general
      << "ElmSets;\nSet 1 Type Fluid ElmType Triangle NNode 3 Name Channel;\nPhysicalPropertiesFunctions;\n"
         "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"0.1\" [Kg/m.s];\nEndPhysicalPropertiesFunctions;\nElements\n";
    int e = 0;
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {
        s << ++e << " " << Id(i, j) << " " << Id(i + 1, j) << " " << Id(i + 1, j + 1) << "\n";
        s << ++e << " " << Id(i, j) << " " << Id(i + 1, j + 1) << " " << Id(i, j + 1) << "\n";
      }
    const char* props = ";\nPhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\nElements\n";
    s << "End Elements\nSet 2 " << bottom << props;
    for (int i = 0; i < nx; ++i) s << i + 1 << " " << Id(i, 0) << " " << Id(i + 1, 0) << "\n";
    s << "End Elements\nSet 3 " << top << props;
    for (int i = 0; i < nx; ++i) s << i + 1 << " " << Id(i + 1, ny) << " " << Id(i, ny) << "\n";
    s << "End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n";
    for (int j = 1; j < ny; ++j) {
      const double y = 1.0 * j / ny;
      s << "Node " << Id(0, j) << " Velc " << 4 * y * (1 - y) << " 0.0 0.0;\nNode " << Id(nx, j) << " Pres 0.0;\n";
    }
    s << "EndBoundary;\nTotalDefinition;\nToleranceData VelConvergenceNorm 1e-6 PreConvergenceNorm 1e-6;\n"
         "ElmSets;\nEndElmSets;\nEndProblem;\n";
    return s.str();
  }
  Outcome Run(const Folder& dir, std::vector<std::string> extra = {}) const {
    dir.write("ch.dat", Text());
    std::vector<std::string> args{"-name", "ch.dat"};
    for (auto& a : extra) args.push_back(a);
    return dir.olvu(args);
  }
};

// The fields of the last line of a force or movement table, split at tabs.
std::vector<std::string> LastLine(const std::string& table) {
  const std::string line = table.substr(table.rfind('\n') + 1);
  std::vector<std::string> out;
  std::string::size_type a = 0;
  for (auto b = line.find('\t'); b != std::string::npos; a = b + 1, b = line.find('\t', a))
    out.push_back(line.substr(a, b - a));
  out.push_back(line.substr(a));
  return out;
}

TEST(BodyRuns, PoiseuilleWallForcesMatchTheAnalyticShearAndPressure) {
  // 40 x 40 cells (h = 1/40). The wall stress comes from the lumped nodal velocity gradient, which
  // at a wall node is the first cell's difference quotient: u_y = 4 (1 - h), so the wall shear
  // force is 2 x 4 x mu x 4 (1 - h) = 3.2 (1 - h) against the exact 3.2 (= pressure drop x height).
  BodyChannel c;
  c.ny = 40;
  Folder dir;
  const Outcome r = c.Run(dir);
  ASSERT_EQ(r.status, 0) << dir.read("ch.dat.err");
  EXPECT_NE(r.out.find("Area/Length of Bottom = 4\n"), std::string::npos);
  const std::vector<std::string> f = LastLine(dir.read("ch.dat.for"));
  ASSERT_EQ(f.size(), 28u);  // time, then name and 12 tab-terminated values per body, empty tail
  EXPECT_EQ(f[1], "\"Bottom\"");
  EXPECT_EQ(f[14], "\"Top\"");
  EXPECT_EQ(f.back(), "");
  const double shear = std::stod(f[8]) + std::stod(f[21]);
  EXPECT_NEAR(shear, 3.2 * (1 - 1.0 / 40), 0.005 * 3.2);
  EXPECT_NEAR(shear, 3.2, 0.03 * 3.2);
  // Pressure falls linearly from 3.2 to 0: 6.4 presses each wall outwards; moment about the origin.
  EXPECT_NEAR(std::stod(f[3]), -6.4, 0.01 * 6.4);
  EXPECT_NEAR(std::stod(f[16]), 6.4, 0.01 * 6.4);
  EXPECT_NEAR(std::stod(f[7]), -0.8 * (32 - 64.0 / 3), 0.01 * 8.53);
  EXPECT_EQ(f[2], "-0");  // a zero force component times the negative sign factor
}

TEST(BodyRuns, OutflowSetsWriteNoForcesAndSilentRunsNone) {
  BodyChannel c;
  c.nx = 8, c.ny = 4, c.steps = 2;
  c.top = "Type Body ElmType Linear NNode 2 Name Top OutFBound";
  Folder dir;
  ASSERT_EQ(c.Run(dir).status, 0);
  const std::vector<std::string> f = LastLine(dir.read("ch.dat.for"));
  EXPECT_EQ(f.size(), 15u);
  EXPECT_EQ(f[1], "\"Bottom\"");
  Folder quiet;
  ASSERT_EQ(c.Run(quiet, {"-verbose", "none"}).status, 0);
  EXPECT_EQ(quiet.read("ch.dat.for"), "");
}

TEST(BodyRuns, HeavyFreeBodyFallsByTheRelaxedEulerLaw) {
  // Total after N steps: R g dt^2 N (N + 1) / 2 with R = min(0.2, 1 / Max_Iterations) = 0.2.
  BodyChannel c;
  c.nx = 8, c.ny = 4, c.steps = 6;
  c.gravity = "0 -10 0";
  c.flags = " Solve_Mesh_Deformation MeshDeformationType ByBodies";
  c.general = "MeshDeformationFunctions MeshDeformationX \"0\" [m] MeshDeformationY \"0\" [m] MeshDeformationZ \"0\" [m];\n";
  c.top = "Type WBody ElmType Linear NNode 2 Name Top V_fixWall Mass 1e12 [Kg] Radii_of_Gyration 1 1 1 [m] "
          "Displacement_OY 1 DOY \"0\" [m]";
  Folder dir;
  ASSERT_EQ(c.Run(dir).status, 0) << dir.read("ch.dat.err");
  std::istringstream mov(dir.read("ch.dat.mov"));
  int n = 0;
  for (std::string line; std::getline(mov, line);) {
    if (line.empty()) continue;
    ++n;
    const std::vector<std::string> f = LastLine("\n" + line);
    ASSERT_GE(f.size(), 8u);
    EXPECT_EQ(f[1], "\"Top\"");
    EXPECT_NEAR(std::stod(f[3]), -0.2 * 10 * 0.25 * n * (n + 1) / 2, 1e-6 * n * n);
    EXPECT_EQ(std::stod(f[2]), 0.0);
  }
  EXPECT_EQ(n, 6);
}

TEST(BodyRuns, EachBadBodyCardEndsWithItsMessage) {
  struct Case {
    const char* what;
    std::string bottom, top, flags, message;
  };
  const std::string wall = "Type Body ElmType Linear NNode 2 Name Bottom ";
  const std::string wbody = "Type WBody ElmType Linear NNode 2 Name Top V_fixWall ";
  const std::string deform = " Solve_Mesh_Deformation MeshDeformationType ByBodies";
  const Case cases[] = {
      {"no wall keyword", wall, "", "", "BodyMesh: Wall type not defined"},
      {"sharp angle", wall + "V_fixWall Sharp_Angle 1.0 [rad]", "", "", "Wrong Sharp Angle definition in Bottom"},
      {"roughness", wall + "V_fixWall Roughness 0 [m]", "", "", "Bottom Error: Wrong roughness data. It must be > 0.0."},
      {"heat flux", wall + "V_fixWall Heat_Flux 1", "", "", "Old fashioned Olvu format data file found"},
      {"body mass", wall + "V_fixWall", wbody, "", "Top Error: Wrong body mass data"},
      {"two radii", wall + "V_fixWall", wbody + "Mass 1 [Kg] Radii_of_Gyration 1 1 [m]", deform,
       "Top Error: Radii_of_Gyration must have three components"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    BodyChannel c;
    c.nx = 4, c.ny = 2, c.steps = 1;
    c.bottom = k.bottom;
    if (!k.top.empty()) c.top = k.top;
    c.flags = k.flags;
    if (!k.flags.empty())
      c.general = "MeshDeformationFunctions MeshDeformationX \"0\" [m] MeshDeformationY \"0\" [m] MeshDeformationZ \"0\" [m];\n";
    Folder dir;
    EXPECT_EQ(c.Run(dir).status, 1);
    EXPECT_EQ(dir.read("ch.dat.err"), ErrFile(k.message + "\n"));
  }
}

}  // namespace
}  // namespace olvu_test
