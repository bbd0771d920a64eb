// The body sets on small plane domains: the node normals of a straight wall and of a thin
// trailing edge with and without "Sharp_Angle", and the prescribed-force moving body set (its
// card, its tables, its node-by-node force sums and its ramped motion).
#include <vector>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "bodies/vbodymesh.h"
#include "foundation/declarations.h"
#include "tests/driver/run_olvu.h"
#include "tests/model/fluidcase.h"

namespace olvu_test {
namespace {

// A plane domain: `nodes` ("id x y" lines), fluid triangles and one body set (card and elements).
std::string Plane(const std::string& nodes, const std::string& fluid, const std::string& card, const std::string& body) {
  return "Nodes;\n" + nodes + "FluidDefinition Solve_NavierStokes Integration_Scheme Backward_Euler;\n"
         "InitialDataFunctions;\nEndInitialDataFunctions;\nElmSets;\nSet 1 Type Fluid ElmType Triangle NNode 3 Name F;\n"
         "PhysicalPropertiesFunctions;\nFunction Density \"1\" [Kg/m3];\nFunction Viscosity \"1\" [Kg/m.s];\n"
         "EndPhysicalPropertiesFunctions;\nElements\n" + fluid + "End Elements\nSet 2 Type Body ElmType Linear NNode 2 "
         "Name Wall V_fixWall" + card + ";\nPhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\nElements\n" +
         body + "End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nEndBoundary;\nEnd;\n";
}

const char* kStripNodes = "1 0 0 0\n2 0.5 0 0\n3 1 0 0\n4 0 1 0\n5 0.5 1 0\n6 1 1 0\n";
const char* kStripFluid = "1 1 2 5\n2 1 5 4\n3 2 3 6\n4 2 6 5\n";
// A wedge B (0, 0.05) - T (1, 0) - A (0, -0.05) in water: its two faces meet at T at an angle
// of 0.1 rad.
const char* kWedgeNodes = "1 0 -0.05 0\n2 1 0 0\n3 0 0.05 0\n4 2 0 0\n5 1 1 0\n6 1 -1 0\n";
const char* kWedgeFluid = "1 3 2 5\n2 2 4 5\n3 1 6 2\n4 6 4 2\n";

TEST(BodyNormals, AccumulatedSumsAndSharpEdges) {
  Dimension_Olvu = 2;
  const double s = std::sqrt(1 + 0.05 * 0.05);
  struct Case {
    const char* what;
    std::string text;
    int node;            // problem node checked
    double nx, ny;       // its normal before normalisation
    bool sharp;          // put in the sharp-node set
  };
  const Case cases[] = {
      {"straight wall, end node", Plane(kStripNodes, kStripFluid, "", "1 1 2\n2 2 3\n"), 1, 0, 1, false},
      {"straight wall, inner node", Plane(kStripNodes, kStripFluid, "", "1 1 2\n2 2 3\n"), 2, 0, 2, false},
      {"straight wall, other end", Plane(kStripNodes, kStripFluid, "", "1 1 2\n2 2 3\n"), 3, 0, 1, false},
      {"trailing edge, no sharp angle", Plane(kWedgeNodes, kWedgeFluid, "", "1 3 2\n2 2 1\n"), 2, 0.1 / s, 0, false},
      {"trailing edge, sharp angle", Plane(kWedgeNodes, kWedgeFluid, " Sharp_Angle 0.5 [rad]", "1 3 2\n2 2 1\n"), 2, 0,
       2 / s, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Folder dir;
    dir.write("n.dat", k.text);
    FluidCase c(dir.path("n.dat"));
    FluidDomain& d = *c.fluid;
    d.DeleteBodyNormals();  // the domain computed and normalised them once already
    d.CalcBodyNormals2D();
    const int j = int(c.Local(k.node));
    const ReaVec& n = *d.giveNormalPlex()->get_at(j);
    EXPECT_NEAR(n(1), k.nx, 1e-12);
    EXPECT_NEAR(n(2), k.ny, 1e-12);
    const BitVec& sharp = d.Cond(RemoveCondNodes);
    EXPECT_EQ(sharp.length() >= unsigned(j) && sharp(unsigned(j)), k.sharp);
  }
}

TEST(VBodyMesh, ReadsItsCardListsItsNodesAndMovesUnderItsForces) {
  Dimension_Olvu = 2;
  Number_of_Steps = 7;
  Folder dir;
  dir.write("n.dat", Plane(kStripNodes, kStripFluid, "", "1 1 2\n2 2 3\n"));
  dir.write("v.dat",
            "Set 9 Type VBody ElmType Linear NNode 2 Name Lid V_fixWall Mass 2 [Kg] Displacement_OX 1;\n"
            "PhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\nElements\n1 6 5\n2 5 4\nEnd Elements\n");
  FluidCase c(dir.path("n.dat"));
  FluidDomain& d = *c.fluid;
  Input in(dir.path("v.dat").c_str());
  in.ReadCard("Set");
  VBodyMesh lid(&d, 9, &in, 1);
  lid.ReadElemsFromAscii(&in, &c.all);
  EXPECT_STREQ(lid.Type(), "VBodyMesh");
  EXPECT_EQ(lid.AreYou("vbodymesh"), 1);
  EXPECT_EQ(lid.InitialSteps(), 4);  // half the steps, plus one
  EXPECT_EQ(lid.FreeDisplacement()(1), 1);
  EXPECT_EQ(lid.FreeDisplacement()(2), 0);
  EXPECT_EQ(lid.MovedNodes().count, 3);
  EXPECT_DOUBLE_EQ((*lid.MovedNodes().get_at(5))(1), 0.5);
  EXPECT_EQ(lid.WaterlineElements().count, 2);  // a plane set lies at z = 0
  EXPECT_EQ(lid.WaterlineNodes().count, 3);
  lid.initialiseMesh();

  // Uniform pressure 3 and traction (2, 0, 0) on the lid of length 1; moments about the origin.
  const unsigned n = unsigned(d.numNodes);
  ReaVec rho(n, 1.0), pl(n, 3.0), tx(n, 2.0), ty(n, 0.0), tz(n, 0.0);
  lid.IntegrateForces(rho, pl, tx, ty, tz);
  EXPECT_NEAR(lid.ViscousForce()(1), 2, 1e-12);
  EXPECT_NEAR(std::fabs(lid.PressureForce()(2)), 3, 1e-12);
  EXPECT_NEAR(lid.PressureForce()(1), 0, 1e-12);
  EXPECT_NEAR(lid.ViscousMoment()(3), -2, 1e-12);  // y = 1 times -fx

  // a = -F / m = -1 along x; the velocity is ramped by 1 - exp(-2.5 step / initial steps).
  Current_Step = 1;
  Run_Time_Increment = 0.1;
  ReaVec u(n, 0.0), v(n, 0.0), w(n, 0.0);
  std::vector<double> vn;
  lid.MoveBody(u, v, w, vn, *d.giveNormalPlex());
  const double ramp = 1 - std::exp(-2.5 / 4);
  EXPECT_NEAR(lid.LinearVelocity()(1), -0.1 * ramp, 1e-15);
  EXPECT_EQ(lid.LinearVelocity()(2), 0.0);  // a fixed axis
  EXPECT_NEAR(lid.Displacement()(1), -0.01 * ramp, 1e-15);
  EXPECT_NEAR(lid.TotalTranslation()(1), -0.01 * ramp, 1e-15);
  EXPECT_NEAR(u(c.Local(5)), -0.1 * ramp, 1e-15);  // the wall moves with the body
  lid.MoveBody(u, v, w, vn, *d.giveNormalPlex());
  EXPECT_NEAR(lid.LinearVelocity()(1), -0.1 * ramp * (1 + ramp), 1e-15);
  EXPECT_NEAR(lid.TotalTranslation()(1), -0.01 * ramp * (2 + ramp), 1e-15);
}

}  // namespace
}  // namespace olvu_test
