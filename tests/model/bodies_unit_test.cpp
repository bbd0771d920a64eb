// The body sets on small domains: the node normals of a straight wall and of a thin trailing edge
// with and without "Sharp_Angle", of a tetrahedral cylinder and of a hollow block, and the
// prescribed-force moving body set (its card, its tables, its node-by-node force sums and its
// ramped motion), and the words of each kind of body card.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bodies/vbodymesh.h"
#include "foundation/declarations.h"
#include "foundation/threads.h"
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
  in.ReadLine();  // the card as the domain's set reader leaves it
  in.GetInt("Set");
  in.GetWord("Type", nullptr);
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

TEST(BodyCards, AWordNoReaderTakesStopsTheReading) {
  // Each kind of body card read as the program reads it, in a child: a correct card passes whole
  // (every keyword its readers know), a card with a word none of them takes ends with the card
  // quoted.
  struct Case {
    const char* kind;   // "Body", "WBody" (the set reader's kinds) or "VBody" (built directly)
    std::string words;  // the card after the set's name
    bool good;
  };
  const std::string rigid = "V_fixWall Mass 2 [Kg] Radii_of_Gyration 1 1 1 [m] ";
  const Case cases[] = {
      {"Body", "V_fixWall Sharp_Angle 0.5 [rad] Line_Fix_Angle 1 [rad] SternC_Angle 10 [deg] Roughness 1e-3 [m] "
               "Center_of_Gravity GOX \"0.5\" [m] GOY \"0\" [m] GOZ \"0\" [m]", true},
      {"Body", "RoughWall Delta 0.01 [m] Roughness 1e-3 [m]", true},
      {"Body", "RoughWall YplusWall Yplus 30", true},  // the wall word first in table order decides
      {"Body", "ITTC_Wall Cw 0.075 Yplus 100", true},
      {"Body", "FlowBound Pressure 1 [Pa] Flow 2 [m3/s] Flow_R 0.5 [Kg/m4.s]", true},
      {"Body", "User_Wall User_U_t \"0.1\" User_Ken \"0.01\" User_Len \"0.1\"", true},
      {"WBody", rigid + "Auto_Body_Mass Displacement_OX 2 DOX \"0.1*t\" [m] Rotation_OZ 1 ROZ \"0\" [rad] "
                        "Initial_Steps 3 Springs 100 0 1 1 1 0.5 KD_Units [N/m] KR_Units [N/rad]", true},
      {"VBody", rigid + "Auto_Body_Mass Displacement_OX 1 Rotation_OZ 1 Initial_Steps 3", true},
      {"Body", "V_fixWall Sharp_Angel 0.3 [rad]", false},
      {"Body", "RoughWall Delta 0.01 [m] Roughnes 1e-3 [m]", false},
      {"Body", "V_fixWall Yplus 30", false},  // a word of a law this wall has not
      {"WBody", rigid + "Displacement_OY 2 DOY \"0.1*t\" [m] Sprngs 100 0 1 1 1 0.5", false},
      {"WBody", "V_fixWall Mass 2 [Kg] Radii_of_Gyraton 1 1 1 [m]", false},
      {"WBody", rigid + "DOY \"0.1*t\" [m]", false},  // the function of an axis left fixed
      {"VBody", "V_fixWall Mass 2 [Kg] Auto_Body_Mas", false},
      {"VBody", rigid + "Initial_Step 3", false},
  };
  const std::string plain = "Type Body ElmType Linear NNode 2 Name Wall V_fixWall";
  for (const Case& k : cases) {
    const std::string set = std::string(k.kind == std::string("VBody") ? "Set 9" : "Set 2") + " Type " + k.kind +
                            " ElmType Linear NNode 2 Name Wall " + k.words;
    SCOPED_TRACE(set);
    const bool direct = k.kind == std::string("VBody");
    const std::string domain = Plane(kStripNodes, kStripFluid, "", "1 1 2\n2 2 3\n");
    const ChildResult r = RunInChild(
        [&] {
          MemoryControlOn("case");
          Dimension_Olvu = 2;
          Number_of_Steps = 7;
          FluidCase c("n.dat");
          if (!direct) return;
          Input in("v.dat");
          in.ReadLine();  // the card as the domain's set reader leaves it
          in.GetInt("Set");
          in.GetWord("Type", nullptr);
          VBodyMesh lid(c.fluid.get(), 9, &in, 1);
        },
        [&](const std::string& dir) {
          WriteFile(dir + "/n.dat", direct ? domain : Replace(domain, "Set 2 " + plain, set));
          WriteFile(dir + "/v.dat", set + ";\nPhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\n"
                                          "Elements\n1 6 5\n2 5 4\nEnd Elements\n");
        });
    EXPECT_EQ(r.status, k.good ? 0 : 1);
    EXPECT_EQ(r.file("case.err"), k.good ? "" : std::string(kErrBanner) +
              "Bug found!\n Terms that don't have sense found in input file.\n\t" + set + ";\n");
  }
}

}  // namespace
}  // namespace olvu_test

namespace olvu_test {
namespace {

// A block of 3 x 3 x 3 unit cells in tetrahedra less its middle cell, the inner nodes shifted
// off the lattice (by up to 0.1, the floor's in its plane only): body "Floor" is the bottom face
// z = 0, body "Cube" the closed surface of the hole.
std::string HollowBlock() {
  auto id = [](int i, int j, int k) { return 1 + i + 4 * (j + 4 * k); };
  std::ostringstream s;
  s.precision(17);
  s << "Nodes;\n";
  for (int k = 0; k <= 3; ++k)
    for (int j = 0; j <= 3; ++j)
      for (int i = 0; i <= 3; ++i) {
        const bool inX = i > 0 && i < 3, inY = j > 0 && j < 3, inZ = k > 0 && k < 3;
        const int n = id(i, j, k);
        const double dx = inX && inY ? 0.1 * std::sin(n) : 0, dy = inX && inY ? 0.1 * std::cos(3 * n) : 0,
                     dz = inX && inY && inZ ? 0.1 * std::sin(7 * n) : 0;
        s << n << " " << i + dx << " " << j + dy << " " << k + dz << "\n";
      }
  s << "FluidDefinition Solve_NavierStokes Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
       "EndInitialDataFunctions;\nElmSets;\nSet 1 Type Fluid ElmType Tetrahedra NNode 4 Name F;\n"
       "PhysicalPropertiesFunctions;\nFunction Density \"1\" [Kg/m3];\nFunction Viscosity \"1\" [Kg/m.s];\n"
       "EndPhysicalPropertiesFunctions;\nElements\n";
  int e = 0;
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 3; ++i) {
        if (i == 1 && j == 1 && k == 1) continue;
        const int c[8] = {id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                          id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
        // Six positively oriented tetrahedra around the cell's diagonal 0-6.
        const int ring[7] = {1, 2, 3, 7, 4, 5, 1};
        for (int t = 0; t < 6; ++t) s << ++e << " " << c[0] << " " << c[ring[t]] << " " << c[ring[t + 1]] << " " << c[6] << "\n";
      }
  const char* card = " V_fixWall;\nPhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\nElements\n";
  s << "End Elements\nSet 2 Type Body ElmType Triangle NNode 3 Name Floor" << card;
  e = 0;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      s << ++e << " " << id(i, j, 0) << " " << id(i + 1, j, 0) << " " << id(i + 1, j + 1, 0) << "\n";
      s << ++e << " " << id(i, j, 0) << " " << id(i + 1, j + 1, 0) << " " << id(i, j + 1, 0) << "\n";
    }
  s << "End Elements\nSet 3 Type Body ElmType Triangle NNode 3 Name Cube" << card;
  // The six faces of the hole as corner quads, each cut along its first diagonal.
  const int q[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4}, {3, 2, 6, 7}, {0, 3, 7, 4}, {1, 2, 6, 5}};
  const int c[8] = {id(1, 1, 1), id(2, 1, 1), id(2, 2, 1), id(1, 2, 1),
                    id(1, 1, 2), id(2, 1, 2), id(2, 2, 2), id(1, 2, 2)};
  e = 0;
  for (const auto& f : q) {
    s << ++e << " " << c[f[0]] << " " << c[f[1]] << " " << c[f[2]] << "\n";
    s << ++e << " " << c[f[0]] << " " << c[f[2]] << " " << c[f[3]] << "\n";
  }
  s << "End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nEndBoundary;\nEnd;\n";
  return s.str();
}

TEST(BodyNormals, CoplanarPatchAndClosedBodyIn3D) {
  Dimension_Olvu = 3;
  Folder dir;
  dir.write("b.dat", HollowBlock());
  {
    FluidCase c(dir.path("b.dat"));
    FluidDomain& d = *c.fluid;
    BodyMesh* floor = nullptr;
    BodyMesh* cube = nullptr;
    int b = 0;
    while (BodyMesh* m = d.giveNextBody(b)) (std::string(m->Name()) == "Floor" ? floor : cube) = m;
    ASSERT_TRUE(floor && cube);
    // Every node of the flat floor, inner ones on an irregular patch, has the normal (0, 0, +-1).
    int i = 0, count = 0;
    while (Node* nd = floor->giveNextNode(i)) {
      const ReaVec& n = *d.giveNormalPlex()->get_at(int(c.Local(nd->num[0])));
      EXPECT_NEAR(n(1), 0, 1e-12) << nd->num[0];
      EXPECT_NEAR(n(2), 0, 1e-12) << nd->num[0];
      EXPECT_NEAR(std::fabs(n(3)), 1, 1e-12) << nd->num[0];
      ++count;
    }
    EXPECT_EQ(count, 16);
    // Uniform pressure on the closed, warped surface of the hole: the area vectors cancel.
    const double p = 2.5e5, area = 6;
    const unsigned nn = unsigned(d.numNodes);
    ReaVec rho(nn, 1.0), pl(nn, p), zero(nn, 0.0);
    cube->IntegrateForces(rho, pl, zero, zero, zero);
    for (unsigned k = 1; k <= 3; ++k) {
      EXPECT_LT(std::fabs(cube->PressureForce()(k)), 1e-10 * p * area) << k;
      EXPECT_EQ(cube->ViscousForce()(k), 0.0) << k;
    }
    // The floor alone carries p times its area.
    floor->IntegrateForces(rho, pl, zero, zero, zero);
    EXPECT_NEAR(std::fabs(floor->PressureForce()(3)), 9 * p, 1e-9 * p);
  }
  Dimension_Olvu = 2;
}

// A ring of tetrahedra round a cylinder of radius 1 about the z axis: n cells round, m high (as
// high as wide), one thick (to r = 1.2), each cell in six tetrahedra; the cylinder's nodes are
// moved round and along it by up to a fifth of a cell, so that the faces at a node differ in shape
// and size. Body "Cylinder" is the surface r = 1; `reversed` lists every element table backwards.
std::string TetCylinder(int n, int m, bool reversed) {
  const double kTurn = 6.283185307179586;
  auto id = [n](int i, int j, int k) { return 1 + (i % n) + n * (j + 2 * k); };
  std::ostringstream s;
  s.precision(17);
  s << "Nodes;\n";
  for (int k = 0; k <= m; ++k)
    for (int j = 0; j <= 1; ++j)
      for (int i = 0; i < n; ++i) {
        const int q = id(i, j, k);
        const double a = (i + (j == 0 ? 0.2 * std::sin(7.3 * q) : 0)) * kTurn / n;
        const double z = (k + (j == 0 && k > 0 && k < m ? 0.2 * std::cos(3.1 * q) : 0)) * kTurn / n;
        s << q << " " << (1 + 0.2 * j) * std::cos(a) << " " << (1 + 0.2 * j) * std::sin(a) << " " << z << "\n";
      }
  std::vector<std::vector<int>> tets, faces;
  for (int k = 0; k < m; ++k)
    for (int i = 0; i < n; ++i) {
      // Corners with radius, angle and height as x, y, z of a right-handed cell.
      const int c[8] = {id(i, 0, k),     id(i, 1, k),     id(i + 1, 1, k),     id(i + 1, 0, k),
                        id(i, 0, k + 1), id(i, 1, k + 1), id(i + 1, 1, k + 1), id(i + 1, 0, k + 1)};
      const int ring[7] = {1, 2, 3, 7, 4, 5, 1};
      for (int t = 0; t < 6; ++t) tets.push_back({c[0], c[ring[t]], c[ring[t + 1]], c[6]});
      faces.push_back({c[0], c[3], c[7]});  // the face r = 1 as the tetrahedra cut it
      faces.push_back({c[0], c[7], c[4]});
    }
  auto list = [&](std::vector<std::vector<int>> v) {
    if (reversed) std::reverse(v.begin(), v.end());
    for (std::size_t e = 0; e < v.size(); ++e) {
      s << e + 1;
      for (int q : v[e]) s << " " << q;
      s << "\n";
    }
  };
  s << "FluidDefinition Solve_NavierStokes Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
       "EndInitialDataFunctions;\nElmSets;\nSet 1 Type Fluid ElmType Tetrahedra NNode 4 Name F;\n"
       "PhysicalPropertiesFunctions;\nFunction Density \"1\" [Kg/m3];\nFunction Viscosity \"1\" [Kg/m.s];\n"
       "EndPhysicalPropertiesFunctions;\nElements\n";
  list(tets);
  s << "End Elements\nSet 2 Type Body ElmType Triangle NNode 3 Name Cylinder V_fixWall;\n"
       "PhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\nElements\n";
  list(faces);
  s << "End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nEndBoundary;\nEnd;\n";
  return s.str();
}

// The node normals of the cylinder by problem node as the domain leaves them, each with its
// angle from the radial direction away from the axis (into the fluid).
std::map<int, std::array<double, 4>> CylinderNormals(const std::string& text) {
  Folder dir;
  dir.write("c.dat", text);
  FluidCase c(dir.path("c.dat"));
  std::map<int, std::array<double, 4>> out;
  int b = 0, i = 0;
  BodyMesh* body = c.fluid->giveNextBody(b);
  while (Node* nd = body->giveNextNode(i)) {
    const ReaVec& n = *c.fluid->giveNormalPlex()->get_at(int(c.Local(nd->num[0])));
    const double x = (*nd)(1), y = (*nd)(2);
    out[nd->num[0]] = {n(1), n(2), n(3), std::acos(std::min(1.0, (n(1) * x + n(2) * y) / std::hypot(x, y)))};
  }
  return out;
}

TEST(BodyNormals, TetrahedralCylinderIsRadialWhateverTheElementOrder) {
  // Each node normal sums the area vectors of its faces: within the faceting angle 2 pi / n of
  // the exact radial direction on a coarse cylinder (12 cells round: 30 degrees), within 0.5
  // degrees on a fine one (360 round); the element order only changes the rounding.
  Dimension_Olvu = 3;
  Verbose_Off = 1;
  const double kDeg = 3.141592653589793 / 180;
  struct Case {
    int n, m;
    double limit;  // largest angle from the radial direction
  } const cases[] = {{12, 3, 360.0 / 12 * kDeg}, {360, 6, 0.5 * kDeg}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.n);
    const auto forward = CylinderNormals(TetCylinder(k.n, k.m, false));
    const auto backward = CylinderNormals(TetCylinder(k.n, k.m, true));
    ASSERT_EQ(forward.size(), std::size_t(k.n * (k.m + 1)));
    ASSERT_EQ(backward.size(), forward.size());
    for (const auto& [id, n] : forward) {
      EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1, 1e-12) << id;
      EXPECT_LT(n[3], k.limit) << id;
      for (std::size_t c = 0; c < 3; ++c) EXPECT_NEAR(backward.at(id)[c], n[c], 1e-12) << id;
    }
  }
  Dimension_Olvu = 2;
}

// The normals and force sums of the hollow block with every loop forked (1 thread and 4 give
// the same bits), and after the block turns a quarter about x without renumbering: the normals
// and the floor's pressure force turn with it (nothing is kept from the old geometry).
TEST(BodyNormals, SameBitsForAnyThreadsAndTurnWithTheMesh) {
  Dimension_Olvu = 3;
  Folder dir;
  dir.write("b.dat", HollowBlock());
  FluidCase c(dir.path("b.dat"));
  FluidDomain& d = *c.fluid;
  int b = 0;
  BodyMesh* floor = d.giveNextBody(b);  // the first set
  ASSERT_EQ(std::string(floor->Name()), "Floor");
  const unsigned nn = unsigned(d.numNodes);
  ReaVec rho(nn, 1.0), pl(nn, 2.0), zero(nn, 0.0);
  auto run = [&](int threads) {
    SetThreads(threads);
    d.DeleteBodyNormals();
    d.CalcBodyNormals3D();
    floor->IntegrateForces(rho, pl, zero, zero, zero);
    std::vector<double> out;
    for (int j = 1; j <= d.numNodes; ++j)
      if (!d.giveNormalPlex()->free(j))
        for (unsigned k = 1; k <= 3; ++k) out.push_back((*d.giveNormalPlex()->get_at(j))(k));
    for (unsigned k = 1; k <= 3; ++k) out.push_back(floor->PressureForce()(k));
    return out;
  };
  const int saved = Threads();
  SetThreadedMin(1);
  const std::vector<double> one = run(1);
  EXPECT_EQ(run(4), one);
  int i = 0;
  while (Node* nd = c.all.next(i)) {
    const double y = (*nd)(2), z = (*nd)(3);
    (*nd)(2) = -z, (*nd)(3) = y;
  }
  d.RefreshNodeArray(false);
  const std::vector<double> turned = run(4);
  SetThreadedMin(0);
  SetThreads(saved);
  ASSERT_EQ(turned.size(), one.size());
  for (std::size_t k = 0; k < one.size(); k += 3) {
    EXPECT_NEAR(turned[k], one[k], 1e-12) << k;
    EXPECT_NEAR(turned[k + 1], -one[k + 2], 1e-12) << k;
    EXPECT_NEAR(turned[k + 2], one[k + 1], 1e-12) << k;
  }
  EXPECT_GT(std::fabs(one.back()), 1.0);
  Dimension_Olvu = 2;
}

}  // namespace
}  // namespace olvu_test
