// Runs of the program with body and moving-body boundary sets on a plane channel: the wall
// forces of Poiseuille flow against the analytic wall shear and pressure, the force and movement
// lines, a free body falling under gravity, the bad inputs of the body-set cards, and a floating
// box in a free surface (the surface's body nodes, its stern line, its sink-and-trim block).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "bodies/freesmesh.h"
#include "tests/driver/run_olvu.h"
#include "tests/model/bodycases.h"
#include "tests/model/fluidcase.h"
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

const char* kNoFunctions =
    "MeshDeformationFunctions MeshDeformationX \"0\" [m] MeshDeformationY \"0\" [m] MeshDeformationZ \"0\" [m];\n";

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

TEST(BodyRuns, ElementsReachingOutOfTheFluidAreDropped) {
  // The bottom wall set runs on past the outlet over nodes no fluid element holds: the element
  // that straddles the outlet and the one wholly outside leave the set, which keeps the
  // channel's 4 m of wall and gives the forces of the set without them.
  BodyChannel c;
  c.nx = 8, c.ny = 4, c.steps = 2;
  Folder plain, longer;
  ASSERT_EQ(c.Run(plain).status, 0) << plain.read("ch.dat.err");
  const std::string a = std::to_string(c.Id(c.nx, c.ny) + 1), b = std::to_string(c.Id(c.nx, c.ny) + 2);
  std::string text = c.Text();
  text.insert(text.find("FluidDefinition"), a + " 4.5 0 0\n" + b + " 5 0 0\n");
  text.replace(text.find("End Elements\nSet 3"), 12,
               "9 " + std::to_string(c.Id(c.nx, 0)) + " " + a + "\n10 " + a + " " + b + "\nEnd Elements");
  longer.write("ch.dat", text);
  const Outcome r = longer.olvu({"-name", "ch.dat"});
  ASSERT_EQ(r.status, 0) << longer.read("ch.dat.err");
  EXPECT_NE(r.out.find("Area/Length of Bottom = 4\n"), std::string::npos);
  EXPECT_EQ(longer.read("ch.dat.for"), plain.read("ch.dat.for"));
}

TEST(BodyRuns, FreeBodyFallsAsTheSchemesOwnDiscreteFall) {
  // A 1 kg wall in a fluid of density 1e-6 (viscosity 1e-9) under gravity -10: v_n = v_(n-1) +
  // g dt and y_n = y_(n-1) + v_n dt, so y_n = g dt^2 n (n + 1) / 2 (dt 0.5), within 0.5 %
  // whatever the number of coupled iterations.
  for (const char* iterations : {"1", "3", "10"}) {
    SCOPED_TRACE(iterations);
    BodyChannel c;
    c.nx = 8, c.ny = 4, c.steps = 6;
    c.gravity = "0 -10 0";
    c.flags = " Solve_Mesh_Deformation MeshDeformationType ByBodies";
    c.general = kNoFunctions;
    c.top = "Type WBody ElmType Linear NNode 2 Name Top V_fixWall Mass 1 [Kg] Radii_of_Gyration 1 1 1 [m] "
            "Displacement_OY 1 DOY \"0\" [m]";
    Folder dir;
    std::string text = Replace(c.Text(), "Function Density \"1\"", "Function Density \"1e-6\"");
    text = Replace(text, "Function Viscosity \"0.1\"", "Function Viscosity \"1e-9\"");
    dir.write("ch.dat", Replace(text, "Max_Iterations 5", std::string("Max_Iterations ") + iterations));
    ASSERT_EQ(dir.olvu({"-name", "ch.dat"}).status, 0) << dir.read("ch.dat.err");
    const std::string mov = dir.read("ch.dat.mov");
    const std::vector<double> x = MovementColumn(mov, 2), y = MovementColumn(mov, 3);
    ASSERT_EQ(y.size(), 6u);
    for (std::size_t n = 1; n <= y.size(); ++n) {
      const double fall = -10 * 0.25 * double(n * (n + 1)) / 2;
      EXPECT_NEAR(y[n - 1], fall, 0.005 * std::fabs(fall)) << n;
      EXPECT_EQ(x[n - 1], 0.0);
    }
    EXPECT_EQ(LastLine(mov)[1], "\"Top\"");
  }
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
      {"misspelt word", wall + "V_fixWall Sharp_Angel 0.3 [rad]", "", "",
       "Bug found!\n Terms that don't have sense found in input file.\n\tSet 2 " + wall + "V_fixWall Sharp_Angel 0.3 [rad];"},
      {"body mass", wall + "V_fixWall", wbody, "", "Top Error: Wrong body mass data"},
      {"two radii", wall + "V_fixWall", wbody + "Mass 1 [Kg] Radii_of_Gyration 1 1 [m]", deform,
       "Top Error: Radii_of_Gyration must have three components"},
      {"unknown deformation type", wall + "V_fixWall", wbody + "Mass 1 [Kg] Radii_of_Gyration 1 1 1 [m]",
       " Solve_Mesh_Deformation MeshDeformationType ByMagic", "Wrong mesh deformation algorithm type selected"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    BodyChannel c;
    c.nx = 4, c.ny = 2, c.steps = 1;
    c.bottom = k.bottom;
    if (!k.top.empty()) c.top = k.top;
    c.flags = k.flags;
    if (!k.flags.empty()) c.general = kNoFunctions;
    Folder dir;
    EXPECT_EQ(c.Run(dir).status, 1);
    EXPECT_EQ(dir.read("ch.dat.err"), ErrFile(k.message + "\n"));
  }
}

TEST(BodyRuns, MeshDeformationFollowsThePrescribedBody) {
  // The top wall moves up by DOY = 0.01 t: the accumulated mesh displacement of the restart file
  // after N steps of 0.5 s is 0.005 N at every node, or fades to 0 at the Fix_Null bottom wall.
  // With "UpdateMeshEvery" 3 a prescribed body moves on each third step, to its prescribed place.
  struct Case {
    const char* what;
    std::string extraFlags, doy, boundary;
    int steps;
    int updates;          // "Mesh deformation performed" lines
    bool initial;         // the initial placement ran
    bool rigid;           // every node has the body's displacement
  };
  const Case cases[] = {
      {"rigid", "", "0.01*t", "", 4, 4, false, true},
      {"fixed bottom", "", "0.01*t", "bottom", 4, 4, false, false},
      {"fixed node on the body", "", "0.01*t", "body", 2, 2, false, false},
      {"every third step", " UpdateMeshEvery 3", "0.01*t", "", 9, 3, false, true},
      {"initial offset every third step", " UpdateMeshEvery 3", "0.05+0.01*t", "", 2, 0, true, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    BodyChannel c;
    c.nx = 4, c.ny = 4, c.steps = k.steps;
    c.flags = " Solve_Mesh_Deformation MeshDeformationType ByBodies" + k.extraFlags;
    c.general = kNoFunctions;
    c.top = "Type WBody ElmType Linear NNode 2 Name Top V_fixWall Mass 1 [Kg] Radii_of_Gyration 1 1 1 [m] "
            "Displacement_OY 2 DOY \"" + k.doy + "\" [m]";
    std::string text = c.Text();
    std::string fix;
    if (k.boundary == "bottom")
      for (int i = 0; i <= c.nx; ++i) fix += "Node " + std::to_string(c.Id(i, 0)) + " DMesh Fix_Null;\n";
    if (k.boundary == "body") fix = "Node " + std::to_string(c.Id(2, c.ny)) + " DMesh Fix_Null;\n";
    text = Replace(text, "EndBoundary;", fix + "EndBoundary;");
    Folder dir;
    dir.write("ch.dat", text);
    const Outcome r = dir.olvu({"-name", "ch.dat"});
    ASSERT_EQ(r.status, 0) << dir.read("ch.dat.err");
    EXPECT_EQ(Count(r.out, "\nMesh deformation performed succesfully"), k.updates);
    EXPECT_EQ(Count(r.out, "Initial mesh deformation performed succesfully"), k.initial ? 1 : 0);
    const std::string rst = dir.read("ch.dat.rst");
    for (const std::string& text : {rst, dir.read("ch.dat.res")}) {
      EXPECT_EQ(text.find("nan"), std::string::npos);
      EXPECT_EQ(text.find("inf"), std::string::npos);
    }
    const std::vector<double> y = RestartVector(rst, "_MaccY_");
    ASSERT_EQ(int(y.size()), (c.nx + 1) * (c.ny + 1));
    const double total = (k.initial ? 0.05 : 0.0) + 0.005 * k.updates * (k.extraFlags.empty() ? 1 : 3);
    if (k.rigid) {
      for (double v : y) EXPECT_NEAR(v, total, 1e-12);
    } else if (k.boundary == "bottom") {
      for (int i = 0; i <= c.nx; ++i) {
        EXPECT_EQ(y[std::size_t(c.Id(i, 0) - 1)], 0.0);
        EXPECT_NEAR(y[std::size_t(c.Id(i, c.ny) - 1)], total, 1e-12);
        for (int j = 1; j <= c.ny; ++j) EXPECT_GE(y[std::size_t(c.Id(i, j) - 1)], y[std::size_t(c.Id(i, j - 1) - 1)]);
      }
    } else {
      EXPECT_EQ(y[std::size_t(c.Id(2, c.ny) - 1)], 0.0);
    }
  }
}

}  // namespace

namespace {

// The value of node `id` in the last block `name` of a result file.
double LastValue(const std::string& res, const std::string& name, const std::string& id) {
  const auto at = res.rfind("Result \"" + name + "\"");
  const auto row = res.find("\n\t" + id + "\t", at);
  return row == std::string::npos ? NAN : std::stod(res.substr(row + id.size() + 3));
}

// The problem number of the node at (x, y) in the node block of a data file ("" when none).
std::string NodeAt(const std::string& data, double x, double y) {
  std::istringstream in(data.substr(data.find("Nodes;\n") + 7));
  std::string id;
  for (double px, py, pz; in >> id >> px >> py >> pz;)
    if (std::fabs(px - x) < 1e-12 && std::fabs(py - y) < 1e-12) return id;
  return "";
}

TEST(BodyRuns, SteadyFlowPastACylinderMatchesTheBenchmark) {
  // The channel 2.2 x 0.41 with the cylinder D = 0.1 at (0.2, 0.2), Re 20 on the mean inflow 0.2
  // (examples/cylinder): reference c_D = 5.5795, c_L = 0.0106, front-back pressure difference
  // 0.1175. Here on the generator's quick mesh (4891 nodes, 96 segments, first layer 5e-4 thick),
  // 40 steps of 0.5 s: c_D within 1% (5.587), c_L within 10% (0.0111), the pressure difference
  // within 1.5% (0.1164; the 22,830-node example gives all three within the reference bounds).
  // The forces are the integrals of pressure and nodal wall stress over the 96 segments.
  Folder dir;
  const std::string command = "python3 " + std::string(OLVU_EXAMPLES_DIR) + "/cylinder.py coarse > " + dir.path("cyl");
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const Outcome r = dir.olvu({"-name", "cyl"});
  ASSERT_EQ(r.status, 0) << dir.read("cyl.err");
  EXPECT_NE(r.out.find("STEP = 40, TIME = 20:"), std::string::npos);
  const auto at = r.out.find("Area/Length of Cylinder = ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NEAR(std::stod(r.out.substr(at + 26)), 96 * 0.1 * std::sin(3.141592653589793 / 96), 1e-6);
  const std::vector<std::string> f = LastLine(dir.read("cyl.for"));
  ASSERT_EQ(f.size(), 15u);
  const double cd = 500 * (std::stod(f[2]) + std::stod(f[8])), cl = 500 * (std::stod(f[3]) + std::stod(f[9]));
  EXPECT_NEAR(cd, 5.5795, 0.01 * 5.5795);
  EXPECT_NEAR(cl, 0.0106, 0.1 * 0.0106);
  const std::string data = dir.read("cyl"), res = dir.read("cyl.res");
  const std::string front = NodeAt(data, 0.15, 0.2), back = NodeAt(data, 0.25, 0.2);
  ASSERT_NE(front, "");
  ASSERT_NE(back, "");
  EXPECT_NEAR(LastValue(res, "PRESSURE", front) - LastValue(res, "PRESSURE", back), 0.1175, 0.015 * 0.1175);
}

}  // namespace

namespace {
// The numbers of line `key` of a sink-and-trim block.
std::vector<double> SatLine(const std::string& sat, const std::string& key) {
  std::vector<double> out;
  const auto at = sat.find("\n" + key + "  ");
  if (at == std::string::npos) return out;
  std::string line = sat.substr(at + key.size() + 3, sat.find(';', at) - at - key.size() - 3);
  for (char& ch : line)
    if (ch == ',') ch = ' ';
  std::istringstream in(line);
  for (double v; in >> v;) out.push_back(v);
  return out;
}

TEST(BodyRuns, FloatingBoxWeighsItsDisplacedWater) {
  const double L = 2, B = 1, T = 0.5;
  Folder dir;
  FloatingBox box;
  box.L = L, box.B = B, box.T = T;
  dir.write("box.dat", box.Text());
  const Outcome r = dir.olvu({"-name", "box.dat", "-3D"});
  ASSERT_EQ(r.status, 0) << dir.read("box.dat.err");
  const auto at = r.out.find("Mass of BOX = ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NEAR(std::stod(r.out.substr(at + 14)), 1000 * L * B * T, 1e-9 * 1000 * L * B * T);
  const std::string sat = dir.read("box.dat.sat");
  ASSERT_NE(sat.find("Body BOX;\n"), std::string::npos) << sat;
  const std::vector<double> area = SatLine(sat, "PArea"), inertia = SatLine(sat, "Inertia"),
                            volume = SatLine(sat, "Displacement");
  ASSERT_EQ(area.size(), 3u);
  EXPECT_NEAR(area[2], L * B, 1e-9);
  ASSERT_EQ(inertia.size(), 3u);
  // The rim's midpoint rule about the centre: the four x edges give 4 x 1 x 0.5 x 0.5^2 = 0.5
  // (exact B L^3 / 12 = 2/3); the two y edges have their midpoints on the axis, so 0 (exact 1/6).
  EXPECT_NEAR(inertia[0], 0.0, 1e-9);
  EXPECT_NEAR(inertia[1], 0.5, 1e-9);
  ASSERT_EQ(volume.size(), 1u);
  EXPECT_NEAR(volume[0], -L * B * T, 1e-9);  // the vertical static force over rho g
}

// The floating box of L = 2, B = 1, T = 0.5 in a free surface: the top face of the block less the
// box's waterplane, with the box card extended by `body`.
std::string BoxInFreeSurface(const std::string& body) {
  std::string t = FloatingBox{}.Text();
  auto id = [](int i, int j) { return 1 + i + 7 * (j + 4 * 2); };
  std::ostringstream set;
  set << "Set 3 Type FreeS Name Surface Integration_Scheme Crank_Nicolson;\nElements\n";
  int e = 0;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 6; ++i) {
      if (j == 1 && (i == 2 || i == 3)) continue;
      set << ++e << " " << id(i, j) << " " << id(i + 1, j) << " " << id(i + 1, j + 1) << "\n";
      set << ++e << " " << id(i, j) << " " << id(i + 1, j + 1) << " " << id(i, j + 1) << "\n";
    }
  set << "End Elements\n";
  t = Replace(t, "Solve_NavierStokes", "Solve_NavierStokes Solve_Transpiration");
  t = Replace(t, "Name BOX V_fixWall", "Name BOX V_fixWall" + body);
  return Replace(t, "End Elements\nEndElmSets;\nBoundary", "End Elements\n" + set.str() + "EndElmSets;\nBoundary");
}

TEST(BodyRuns, FloatingBoxInAFreeSurfaceWritesTheSurfaceToTheSinkAndTrimFile) {
  Folder dir;
  dir.write("box.dat", BoxInFreeSurface(""));
  ASSERT_EQ(dir.olvu({"-name", "box.dat", "-3D"}).status, 0) << dir.read("box.dat.err");
  const std::string sat = dir.read("box.dat.sat");
  const auto at = sat.find("Frees ");
  ASSERT_NE(at, std::string::npos) << sat;
  // The 28 nodes of the top face in node order at x = i, y = j; the elevation 0 less the level 1.
  EXPECT_EQ(sat.substr(at),
            "Frees Surface;\n"
            "0  0  -1;\n1  0  -1;\n2  0  -1;\n3  0  -1;\n4  0  -1;\n5  0  -1;\n6  0  -1;\n"
            "0  1  -1;\n1  1  -1;\n2  1  -1;\n3  1  -1;\n4  1  -1;\n5  1  -1;\n6  1  -1;\n"
            "0  2  -1;\n1  2  -1;\n2  2  -1;\n3  2  -1;\n4  2  -1;\n5  2  -1;\n6  2  -1;\n"
            "0  3  -1;\n1  3  -1;\n2  3  -1;\n3  3  -1;\n4  3  -1;\n5  3  -1;\n6  3  -1;\n"
            "end frees;\n");
}

// The surface asks the bodies for their wall nodes and stern angles: the six waterline nodes of
// the box are its body nodes; with u = (1, 0) every waterline edge has n . u >= cos(180 deg) and
// n_x u_x <= 0 on the sides along x, so a stern angle of 180 deg holds all six, none without one.
TEST(BodyRuns, FreeSurfaceHoldsTheSternLineOfABodyWithASternAngle) {
  const std::tuple<int, int, double> saved{Dimension_Olvu, Verbose_Off, Gravity};
  Dimension_Olvu = 3, Verbose_Off = 2;
  GravVec.resize(3, 0.0), GravVec = 0.0, GravVec(3) = -9.81, Gravity = 9.81;
  FStatic.resize(3, 0.0), FStatic = 0.0, FStatic(3) = 1;
  const struct {
    std::string card;
    int held;
  } cases[] = {{"", 0}, {" SternC_Angle 180 [deg]", 6}};
  for (const auto& c : cases) {
    Folder dir;
    const std::string text = BoxInFreeSurface(c.card);
    dir.write("box.dat", text.substr(text.find("Nodes;")));
    FluidCase fc(dir.path("box.dat"));
    fc.fluid->ReadInitialConditions();
    auto* set = static_cast<FreeSMesh*>(fc.fluid->giveFreeSMeshesMesh(3));
    set->initialiseMesh();
    set->PostinitialiseMesh();
    std::vector<int> rim;
    for (int i = 2; i <= 4; ++i)
      for (int j = 1; j <= 2; ++j) rim.push_back(set->LocalOf(int(fc.Local(1 + i + 7 * (j + 4 * 2)))));
    int body = 0;
    for (unsigned k = 1; k <= set->BodyNodes().length(); ++k) body += set->BodyNodes()(k);
    EXPECT_EQ(body, 6) << c.card;
    for (int k : rim) EXPECT_EQ(set->BodyNodes()(unsigned(k)), 1) << c.card;
    ReaVec u(unsigned(fc.fluid->numNodes), 1.0), v(unsigned(fc.fluid->numNodes), 0.0);
    set->GiveBetaVector() = 0.5;
    set->FixBodyBeta(u, v, v);
    int held = 0;
    for (unsigned k = 1; k <= set->FixedNodes().length(); ++k) held += set->FixedNodes()(k);
    EXPECT_EQ(held, c.held) << c.card;
    for (int k : rim) EXPECT_EQ(set->GiveBetaVector()(unsigned(k)), c.held ? 0.0 : 0.5) << c.card;
  }
  GravVec.resize(0), FStatic.resize(0);
  std::tie(Dimension_Olvu, Verbose_Off, Gravity) = saved;
}

}  // namespace
}  // namespace olvu_test
