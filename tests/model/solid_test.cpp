// The solid domain through whole runs on generated rectangular grids: steady and transient
// conduction, an anisotropic tensor, a fluid-solid composite wall with a contact resistance,
// the solid's result and restart blocks, and the faults of its data.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "tests/driver/run_olvu.h"
#include "tests/model/resblocks.h"

namespace {

using olvu_test::BlockAt;
using olvu_test::ErrFile;
using olvu_test::Folder;
using olvu_test::Replace;

constexpr double kPi = 3.141592653589793;

// A rectangle [0, lx] x [0, ly] of (nx + 1) x (ny + 1) nodes numbered row by row from 1, cut into
// two triangles per cell.
struct Grid {
  int nx, ny;
  double lx, ly;
  int node(int i, int j) const { return j * (nx + 1) + i + 1; }
  double x(int i) const { return lx * i / nx; }
  double y(int j) const { return ly * j / ny; }
  std::string nodes() const {
    std::ostringstream s;
    s.precision(17);
    s << "Nodes;\n";
    for (int j = 0; j <= ny; ++j)
      for (int i = 0; i <= nx; ++i) s << node(i, j) << " " << x(i) << " " << y(j) << " 0\n";
    return s.str();
  }
  // Elements of the cells with column i0 <= i < i1.
  std::string elements(int i0, int i1) const {
    std::ostringstream s;
    s << "Elements\n";
    int e = 0;
    for (int j = 0; j < ny; ++j)
      for (int i = i0; i < i1; ++i) {
        s << ++e << " " << node(i, j) << " " << node(i + 1, j) << " " << node(i + 1, j + 1) << "\n";
        s << ++e << " " << node(i, j) << " " << node(i + 1, j + 1) << " " << node(i, j + 1) << "\n";
      }
    s << "End Elements\n";
    return s.str();
  }
  // "Node n Temp v" for the nodes of columns i0 <= i <= i1 whose condition `on` holds.
  std::string temps(int i0, int i1, const std::function<bool(int, int)>& on,
                    const std::function<double(double, double)>& t) const {
    std::ostringstream s;
    s.precision(17);
    s << "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n";
    for (int j = 0; j <= ny; ++j)
      for (int i = i0; i <= i1; ++i)
        if (on(i, j)) s << "Node " << node(i, j) << " Temp " << t(x(i), y(j)) << ";\n";
    s << "EndBoundary;\n";
    return s.str();
  }
};

std::string Head(int steps, double dt, const std::string& extra = "") {
  std::ostringstream s;
  s.precision(17);
  s << "OLVU_2D;\nProblemDefinition;\nGeneralData Number_of_Steps " << steps << " Time_Increment \"" << dt
    << "\" [s] OutPut_Step " << steps << " Max_Iterations 2" << extra << ";\n"
    << "PhysicalData Gravity 0 -9.81 0 [m/s2];\n";
  return s.str();
}

std::string SolidBlock(const std::string& scheme, const std::string& initial, const std::string& props,
                       const std::string& elements, const std::string& boundary) {
  return "SolidDefinition Solve_Temperature Integration_Scheme " + scheme + ";\nInitialDataFunctions;\n" + initial +
         "EndInitialDataFunctions;\nElmSets;\nSet 1 Type Solid ElmType Triangle NNode 3 Name Wall;\n"
         "PhysicalPropertiesFunctions;\n" + props + "EndPhysicalPropertiesFunctions;\n" + elements +
         "EndElmSets;\n" + boundary;
}

std::string Props(const std::string& rho, const std::string& kxx, const std::string& kxy, const std::string& kyy) {
  return "Function SolidDensity \"" + rho + "\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
         "Function ConductivityXX \"" + kxx + "\" [W/m.Gt];\nFunction ConductivityXY \"" + kxy +
         "\" [W/m.Gt];\nFunction ConductivityYY \"" + kyy + "\" [W/m.Gt];\n";
}

const std::string kTotal = "TotalDefinition;\nToleranceData TemConvergenceNorm 1e-12;\nElmSets;\nEndElmSets;\nEndProblem;\n";

// Node number -> value of the value lines of a scalar block.
std::map<int, double> Values(const std::string& block) {
  std::map<int, double> v;
  std::istringstream s(block);
  int n;
  double x;
  while (s >> n >> x) v[n] = x;
  return v;
}

struct SolidRun {
  Folder f;
  olvu_test::Outcome r;
  std::string res;
  explicit SolidRun(const std::string& data) {
    f.write("s.dat", data);
    r = f.olvu({"-name", "s.dat"});
    res = f.read("s.dat.res");
  }
  std::map<int, double> temperature(const std::string& t) const { return Values(BlockAt(res, "TEMPERATURE", t, "DORVANTE")); }
};

bool Edge(const Grid& g, int i, int j) { return i == 0 || j == 0 || i == g.nx || j == g.ny; }

// ---------------------------------------------------------------- conduction

TEST(SolidRuns, SteadySlabIsLinearBetweenItsFixedFaces) {
  // 8 x 2 cells on [0, 1] x [0, 0.25], T = 1 at x = 0 and 0 at x = 1, one long backward step.
  const Grid g{8, 2, 1.0, 0.25};
  const std::string data =
      Head(2, 1e6) + g.nodes() +
      SolidBlock("Backward_Euler", "", Props("1000", "3", "0", "3"), g.elements(0, g.nx),
                 g.temps(0, g.nx, [&](int i, int) { return i == 0 || i == g.nx; },
                         [](double x, double) { return 1 - x; })) +
      kTotal;
  SolidRun run(data);
  ASSERT_EQ(run.r.status, 0) << run.f.read("s.dat.err");
  const auto t = run.temperature("2e+06");
  ASSERT_EQ(t.size(), 27u);
  for (int j = 0; j <= g.ny; ++j)
    for (int i = 0; i <= g.nx; ++i) EXPECT_NEAR(t.at(g.node(i, j)), 1 - g.x(i), 1e-8) << i << " " << j;
  // Solid density under problem numbers; the solid has no sets of moving bodies.
  EXPECT_EQ(Values(BlockAt(run.res, "SOLID DENSITY", "0", "DORVANTE")).size(), 27u);
  EXPECT_NE(run.f.read("s.dat.war").find("SolidBoundaries not defined. Is this right?"), std::string::npos);
  // The solve's time is split into assembly and linear solve.
  const std::string tim = run.f.read("s.dat.tim");
  EXPECT_NE(tim.find("Assembling Solid Temperature"), std::string::npos);
  EXPECT_NE(tim.find("Solving Solid Temperature System"), std::string::npos);
}

TEST(SolidRuns, AnisotropicTensorRotatedThirtyDegrees) {
  // Principal conductivities 10 and 1 on axes turned 30 degrees; T = x^2 + b x y + y^2 solves
  // div(K grad T) = 0 when 2 Kxx + 2 b Kxy + 2 Kyy = 0. Dirichlet data on the whole edge, 32 x 32.
  const double c = std::cos(kPi / 6), s = std::sin(kPi / 6);
  const double kxx = 10 * c * c + s * s, kyy = 10 * s * s + c * c, kxy = 9 * c * s;
  const double b = -(kxx + kyy) / kxy;
  auto exact = [&](double x, double y) { return x * x + b * x * y + y * y; };
  const Grid g{32, 32, 1.0, 1.0};
  auto num = [](double v) {
    std::ostringstream o;
    o.precision(17);
    o << v;
    return o.str();
  };
  const std::string data =
      Head(1, 1e8) + g.nodes() +
      SolidBlock("Backward_Euler", "", Props("1", num(kxx), num(kxy), num(kyy)), g.elements(0, g.nx),
                 g.temps(0, g.nx, [&](int i, int j) { return Edge(g, i, j); }, exact)) +
      kTotal;
  SolidRun run(data);
  ASSERT_EQ(run.r.status, 0) << run.f.read("s.dat.err");
  const auto t = run.temperature("1e+08");
  double err = 0, scale = 0;
  for (int j = 0; j <= g.ny; ++j)
    for (int i = 0; i <= g.nx; ++i) {
      const double e = exact(g.x(i), g.y(j));
      err = std::fmax(err, std::fabs(t.at(g.node(i, j)) - e));
      scale = std::fmax(scale, std::fabs(e));
    }
  EXPECT_LT(err / scale, 0.005) << err;
  // The tensor matters: an isotropic run of the same data is far from it.
  SolidRun iso(Replace(Replace(data, num(kxy), "0"), num(kyy), num(kxx)));
  const auto ti = iso.temperature("1e+08");
  double erri = 0;
  for (int j = 0; j <= g.ny; ++j)
    for (int i = 0; i <= g.nx; ++i) erri = std::fmax(erri, std::fabs(ti.at(g.node(i, j)) - exact(g.x(i), g.y(j))));
  EXPECT_GT(erri / scale, 0.05);
}

// Step change on a slab of diffusivity 1: T = 1 at both faces from t = 0, 0 inside.
double Fourier(double x, double t) {
  double s = 0;
  for (int n = 1; n < 400; n += 2) s += 4 / (n * kPi) * std::sin(n * kPi * x) * std::exp(-n * n * kPi * kPi * t);
  return 1 - s;
}

TEST(SolidRuns, TransientSlabFollowsTheFourierSeries) {
  const Grid g{40, 1, 1.0, 0.025};
  const std::string data =
      Head(50, 0.001) + g.nodes() +
      SolidBlock("Backward_Euler", "", Props("1", "1", "0", "1"), g.elements(0, g.nx),
                 g.temps(0, g.nx, [&](int i, int) { return i == 0 || i == g.nx; }, [](double, double) { return 1.0; })) +
      kTotal;
  SolidRun run(data);
  ASSERT_EQ(run.r.status, 0) << run.f.read("s.dat.err");
  const auto t = run.temperature("0.05");
  ASSERT_FALSE(t.empty());
  double err = 0;
  for (int i = 0; i <= g.nx; ++i) err = std::fmax(err, std::fabs(t.at(g.node(i, 0)) - Fourier(g.x(i), 0.05)));
  EXPECT_LT(err, 0.01);
}

TEST(SolidRuns, CrankNicolsonErrorFallsFourTimesWithHalfTheStep) {
  // T = sin(pi x) exp(-pi^2 t) with both faces at 0, on 160 cells, to t = 0.1.
  const Grid g{160, 1, 1.0, 0.00625};
  auto error = [&](int steps) {
    const std::string data =
        Head(steps, 0.1 / steps) + g.nodes() +
        SolidBlock("Crank_Nicolson", "Function Temperature \"sin(3.141592653589793*X)\" [Gt];\n",
                   Props("1", "1", "0", "1"), g.elements(0, g.nx),
                   g.temps(0, g.nx, [&](int i, int) { return i == 0 || i == g.nx; }, [](double, double) { return 0.0; })) +
        kTotal;
    SolidRun run(data);
    EXPECT_EQ(run.r.status, 0) << run.f.read("s.dat.err");
    const auto t = run.temperature("0.1");
    return std::fabs(t.at(g.node(g.nx / 2, 0)) - std::exp(-kPi * kPi * 0.1));
  };
  const double e1 = error(4), e2 = error(8);
  EXPECT_GT(e1, 1e-4);
  EXPECT_NEAR(e1 / e2, 4.0, 0.6) << e1 << " " << e2;
}

TEST(SolidRuns, HeatSourceAndReaction) {
  // -2 T'' + r T = 8 on [0, 1] with T = 0 at both faces, 40 cells: r = 0 gives 2 x (1 - x);
  // r = 50 gives (8 / r) (1 - cosh(m (x - 1/2)) / cosh(m / 2)), m = 5.
  const Grid g{40, 1, 1.0, 0.025};
  auto data = [&](const std::string& extra) {
    return Head(2, 1e8) + g.nodes() +
           SolidBlock("Backward_Euler", "", Props("1", "2", "0", "2") + "Function HeatSource \"8\" [W/m3];\n" + extra,
                      g.elements(0, g.nx),
                      g.temps(0, g.nx, [&](int i, int) { return i == 0 || i == g.nx; }, [](double, double) { return 0.0; })) +
           kTotal;
  };
  SolidRun source(data(""));
  ASSERT_EQ(source.r.status, 0) << source.f.read("s.dat.err");
  const auto t = source.temperature("2e+08");
  for (int i = 0; i <= g.nx; ++i) EXPECT_NEAR(t.at(g.node(i, 1)), 2 * g.x(i) * (1 - g.x(i)), 5e-4) << i;
  SolidRun reaction(data("Function HeatSourceReaction \"50\" [W/m3.Gt];\n"));
  ASSERT_EQ(reaction.r.status, 0) << reaction.f.read("s.dat.err");
  const auto tr = reaction.temperature("2e+08");
  for (int i = 0; i <= g.nx; ++i) {
    const double e = 8.0 / 50 * (1 - std::cosh(5 * (g.x(i) - 0.5)) / std::cosh(2.5));
    EXPECT_NEAR(tr.at(g.node(i, 0)), e, 2e-3 * 0.16) << i;
  }
}

// A box [0, 1] x [0, 1] x [0, 1] of nx x 2 x 2 eight-node bricks with a full constant tensor; the
// outer nodes hold T = 1 + 2x - y + 3z, which the inner ones must reproduce.
double Linear3D(double x, double y, double z) { return 1 + 2 * x - y + 3 * z; }

std::string Box3D(int nx, const std::string& kzz) {
  std::ostringstream s;
  s.precision(17);
  auto node = [&](int i, int j, int k) { return (k * 3 + j) * (nx + 1) + i + 1; };
  s << "OLVU_3D;\nProblemDefinition;\nGeneralData Number_of_Steps 2 Time_Increment \"1e6\" [s] OutPut_Step 2 "
       "Max_Iterations 2;\nPhysicalData Gravity 0 0 -9.81 [m/s2];\nNodes;\n";
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i <= nx; ++i) s << node(i, j, k) << " " << double(i) / nx << " " << 0.5 * j << " " << 0.5 * k << "\n";
  s << "SolidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
       "EndInitialDataFunctions;\nElmSets;\nSet 1 Type Solid ElmType Hexahedra NNode 8 Name Brick;\n"
       "PhysicalPropertiesFunctions;\nFunction SolidDensity \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
       "Function ConductivityXX \"4\" [W/m.Gt];\nFunction ConductivityXY \"1\" [W/m.Gt];\n"
       "Function ConductivityYY \"3\" [W/m.Gt];\nFunction ConductivityXZ \"0.5\" [W/m.Gt];\n"
       "Function ConductivityYZ \"0.2\" [W/m.Gt];\nFunction ConductivityZZ \"" << kzz << "\" [W/m.Gt];\n"
       "EndPhysicalPropertiesFunctions;\nElements\n";
  int e = 0;
  for (int k = 0; k < 2; ++k)
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < nx; ++i)
        s << ++e << " " << node(i, j, k) << " " << node(i + 1, j, k) << " " << node(i + 1, j + 1, k) << " "
          << node(i, j + 1, k) << " " << node(i, j, k + 1) << " " << node(i + 1, j, k + 1) << " "
          << node(i + 1, j + 1, k + 1) << " " << node(i, j + 1, k + 1) << "\n";
  s << "End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n";
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i <= nx; ++i)
        if (i == 0 || i == nx || j != 1 || k != 1)
          s << "Node " << node(i, j, k) << " Temp " << Linear3D(double(i) / nx, 0.5 * j, 0.5 * k) << ";\n";
  s << "EndBoundary;\n" << kTotal;
  return s.str();
}

TEST(SolidRuns, PhiProblemWithTheTemperatureCoefficientsIsTheTemperature) {
  // A Phi problem whose capacity, conductivity components, reaction and source are those of the
  // temperature, with the same fixed values, reproduces the temperature to 1e-10: a transient
  // anisotropic case (Kxy on, 8 x 4, three steps) and a steady heated slab, whose profile is also
  // the analytic 2 x (1 - x) of -2 T'' = 8 (40 cells, as the temperature test above).
  struct Case {
    Grid g;
    int steps;
    double dt;
    std::string time, rho, kxx, kxy, kyy, source;
    std::function<bool(int, int)> fixed;
    std::function<double(double, double)> value;
  };
  const Grid a{8, 4, 1.0, 0.5}, b{40, 1, 1.0, 0.025};
  const Case cases[] = {
      {a, 3, 0.05, "0.15", "2", "3", "0.5", "1", "0", [&](int i, int j) { return Edge(a, i, j); },
       [](double x, double y) { return x + 0.5 * y; }},
      {b, 2, 1e8, "2e+08", "1", "2", "0", "2", "8", [&](int i, int) { return i == 0 || i == b.nx; },
       [](double, double) { return 0.0; }}};
  for (const Case& c : cases) {
    std::string boundary = c.g.temps(0, c.g.nx, c.fixed, c.value);
    std::ostringstream phi;
    phi.precision(17);
    for (int j = 0; j <= c.g.ny; ++j)
      for (int i = 0; i <= c.g.nx; ++i)
        if (c.fixed(i, j)) phi << "Node " << c.g.node(i, j) << " Phi " << c.value(c.g.x(i), c.g.y(j)) << " Index 1;\n";
    boundary = Replace(boundary, "EndBoundary;", phi.str() + "EndBoundary;");
    std::string data = Head(c.steps, c.dt) + c.g.nodes() +
                       SolidBlock("Backward_Euler", "Function Temperature \"0\" [Gt];\n",
                                  Props(c.rho, c.kxx, c.kxy, c.kyy) + "Function HeatSource \"" + c.source + "\" [W/m3];\n",
                                  c.g.elements(0, c.g.nx), boundary) +
                       kTotal;
    data = Replace(data, "Solve_Temperature Integration_Scheme Backward_Euler;\n",
                   "Solve_Temperature Solve_PhiProblems Integration_Scheme Backward_Euler;\n"
                   "NewPhiDefinition Index 1 Name Heat;\n");
    data = Replace(data, "EndInitialDataFunctions;\n", "EndInitialDataFunctions;\nVariableInitialData 1 \"0\";\n");
    data = Replace(data, "Name Wall;\n",
                   "Name Wall;\nVariablesProperties;\nF1 \"" + c.rho + "\" [1/m3] F2xx \"" + c.kxx + "\" [1/m.s] F2xy \"" +
                       c.kxy + "\" [1/m.s] F2yy \"" + c.kyy + "\" [1/m.s] F3 \"0\" [1/m3.s] F4 \"" + c.source +
                       "\" [1/m3.s];\nEndVariablesProperties;\n");
    SolidRun run(data);
    ASSERT_EQ(run.r.status, 0) << c.time << run.f.read("s.dat.err");
    const auto t = run.temperature(c.time);
    const auto p = Values(BlockAt(run.res, "Heat", c.time, "PELKORAD"));
    ASSERT_EQ(t.size(), std::size_t((c.g.nx + 1) * (c.g.ny + 1))) << c.time;
    ASSERT_EQ(p.size(), t.size()) << c.time;
    double moved = 0;
    for (int j = 0; j <= c.g.ny; ++j)
      for (int i = 0; i <= c.g.nx; ++i) {
        const int n = c.g.node(i, j);
        EXPECT_NEAR(p.at(n), t.at(n), 1e-10) << c.time << " node " << n;
        moved = std::fmax(moved, std::fabs(p.at(n)));
        if (c.source != "0") {
          EXPECT_NEAR(p.at(n), 2 * c.g.x(i) * (1 - c.g.x(i)), 5e-4) << i;
        }
      }
    EXPECT_GT(moved, 0.2) << c.time;
    // Each iteration opens the problem's section twice (assembly, solve); its solve is not the
    // temperature's.
    const std::string tim = run.f.read("s.dat.tim");
    const int solves = olvu_test::TimingUses(tim, "Solving Solid Temperature System");
    EXPECT_GT(solves, 0);
    EXPECT_EQ(olvu_test::TimingUses(tim, "Solving Heat"), 2 * solves) << tim;
  }
}

TEST(SolidRuns, ThreeDimensionalBricksWithAFullTensor) {
  Folder f;
  const int nx = 4;
  f.write("b.dat", Box3D(nx, "2"));
  const auto r = f.olvu({"-3D", "-name", "b.dat"});
  ASSERT_EQ(r.status, 0) << f.read("b.dat.err");
  const auto t = Values(BlockAt(f.read("b.dat.res"), "TEMPERATURE", "2e+06", "DORVANTE"));
  ASSERT_EQ(t.size(), 45u);
  for (int i = 1; i < nx; ++i) EXPECT_NEAR(t.at(4 * (nx + 1) + i + 1), Linear3D(double(i) / nx, 0.5, 0.5), 1e-8) << i;
  // The z components are read and checked in three dimensions.
  f.write("n.dat", Box3D(nx, "-1"));
  EXPECT_EQ(f.olvu({"-3D", "-name", "n.dat"}).status, 1);
  EXPECT_EQ(f.read("n.dat.err"), ErrFile("Wrong conductivity field (Kzz < 0.0) found.\n\tCheck material data.\n"));
  f.write("z.dat", Box3D(nx, "0"));
  EXPECT_EQ(f.olvu({"-3D", "-name", "z.dat"}).status, 0) << f.read("z.dat.err");
  EXPECT_NE(f.read("z.dat.war").find("Null conductivity Kzz found."), std::string::npos);
}

// ---------------------------------------------------------------- composite wall

// Fluid (conductivity 1) on [0, 1], solid (conductivity 2) on [1, 2], contact resistance 0.5,
// 100 at x = 0 and 0 at x = 2: the flux is 100 / (1 + 0.5 + 0.5) = 50 everywhere.
std::string CompositeWall(const Grid& g, const std::string& interfaceCard) {
  const int mid = g.nx / 2;
  std::ostringstream s;
  s << "OLVU_2D;\nProblemDefinition;\nGeneralData Number_of_Steps 3 Time_Increment \"1e6\" [s] OutPut_Step 3 "
       "Max_Iterations 60;\nPhysicalData Gravity 0 -9.81 0 [m/s2];\n"
    << g.nodes()
    << "FluidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
       "EndInitialDataFunctions;\nElmSets;\nSet 1 Type Fluid ElmType Triangle NNode 3 Name Water;\n"
       "PhysicalPropertiesFunctions;\nFunction Density \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
       "Function Conductivity \"1\" [W/m.Gt];\nEndPhysicalPropertiesFunctions;\n"
    << g.elements(0, mid) << "EndElmSets;\n"
    << g.temps(0, mid, [](int i, int) { return i == 0; }, [](double, double) { return 100.0; })
    << SolidBlock("Backward_Euler", "", Props("1", "2", "0", "2"), g.elements(mid, g.nx),
                  g.temps(mid, g.nx, [&](int i, int) { return i == g.nx; }, [](double, double) { return 0.0; }))
    << "TotalDefinition;\nToleranceData TemConvergenceNorm 1e-13;\nElmSets;\n" << interfaceCard << "Elements\n";
  for (int j = 0; j < g.ny; ++j) s << j + 1 << " " << g.node(mid, j) << " " << g.node(mid, j + 1) << "\n";
  s << "End Elements\nEndElmSets;\nEndProblem;\n";
  return s.str();
}

// Contact conductance 2, the inverse of the resistance 0.5.
const std::string kContact = "Set 3 Type Interface ElmType Linear NNode 2 Name Contact Rest_Tem \"2\" [W/m2.Gt];\n";

TEST(SolidRuns, CompositeWallMeetsTheSeriesResistanceFormula) {
  const Grid g{8, 2, 2.0, 0.5};
  SolidRun run(CompositeWall(g, kContact));
  ASSERT_EQ(run.r.status, 0) << run.f.read("s.dat.err");
  const auto t = run.temperature("3e+06");
  ASSERT_EQ(t.size(), 27u);  // the union of both domains, each node once
  const double h = 0.25;
  for (int j = 0; j <= g.ny; ++j) {
    const double tf = t.at(g.node(4, j));                         // the fluid side of the contact
    const double ts = 2 * t.at(g.node(5, j)) - t.at(g.node(6, j));  // the solid side, from its linear profile
    EXPECT_NEAR(tf, 50, 50e-6);
    EXPECT_NEAR(ts, 25, 25e-6);
    const double qFluid = 1 * (t.at(g.node(0, j)) - tf) / 1.0;
    const double qContact = (tf - ts) / 0.5;
    const double qSolid = 2 * (t.at(g.node(5, j)) - t.at(g.node(6, j))) / h;
    EXPECT_NEAR(qFluid, 50, 50e-6);
    EXPECT_NEAR(qContact, 50, 50e-6);
    EXPECT_NEAR(qSolid, 50, 50e-6);
  }
  // SOLID DENSITY lists the solid's 15 nodes under their problem numbers.
  const auto rho = Values(BlockAt(run.res, "SOLID DENSITY", "0", "DORVANTE"));
  ASSERT_EQ(rho.size(), 15u);
  EXPECT_EQ(rho.begin()->first, g.node(4, 0));
}

TEST(SolidRuns, InterfaceFaults) {
  const Grid g{8, 2, 2.0, 0.5};
  SolidRun off(CompositeWall(g, "Set 3 Type Interface ElmType Linear NNode 2 Name Contact;\nSpeciesProperties;\n"
                           "Off;\nOff;\nEndSpeciesProperties;\n"));
  EXPECT_EQ(off.r.status, 1);
  EXPECT_EQ(off.f.read("s.dat.err"), ErrFile("No data found for interface Contact. Set contacts On.\n"));
  // A property block after a comment is the set's block all the same: its fault is found, the
  // block is not passed over on the way to the elements.
  const std::string bad = "SpeciesProperties;\nRest_Spc \"1+\" [m/s];\nEndSpeciesProperties;\n";
  SolidRun plain(CompositeWall(g, kContact + bad));
  EXPECT_EQ(plain.r.status, 1);
  for (const char* comment : {"{ the species\n through it }\n", "! the species\n"}) {
    SolidRun commented(CompositeWall(g, kContact + comment + bad));
    EXPECT_EQ(commented.r.status, 1) << comment;
    EXPECT_EQ(commented.f.read("s.dat.err"), plain.f.read("s.dat.err")) << comment;
  }
  // An interface element off the contact line: node 1 is only a fluid node.
  SolidRun stray(Replace(CompositeWall(g, kContact), "Elements\n1 5 14\n", "Elements\n1 1 14\n"));
  EXPECT_EQ(stray.r.status, 1);
  EXPECT_EQ(stray.f.read("s.dat.err"), ErrFile("Interface set 3: node 1 is not a node of the solid domain\n"));
}

TEST(SolidRuns, InterfaceSetsAreKeyedByTheirNumbers) {
  const Grid g{8, 2, 2.0, 0.5};
  const std::string one = CompositeWall(g, kContact);
  // The contact line as two sets, the higher number first: the same contact, the same answer.
  const std::string split = Replace(one, "Elements\n1 5 14\n",
                                    "Elements\n1 5 14\nEnd Elements\n" + Replace(kContact, "Set 3", "Set 2") + "Elements\n");
  SolidRun whole(one), two(Replace(split, "Set 3", "Set 7"));
  ASSERT_EQ(whole.r.status, 0) << whole.f.read("s.dat.err");
  ASSERT_EQ(two.r.status, 0) << two.f.read("s.dat.err");
  EXPECT_EQ(two.temperature("3e+06"), whole.temperature("3e+06"));
  // A set number given twice is refused by the table that keys the sets by number.
  SolidRun twice(Replace(split, "Set 2", "Set 3"));
  EXPECT_EQ(twice.r.status, 1);
  EXPECT_EQ(twice.f.read("s.dat.err"), ErrFile("Repeated index 3 in Plex Domain Meshes\n"));
  EXPECT_EQ(twice.res.find("Result"), std::string::npos);  // stopped while reading
}

// ---------------------------------------------------------------- data faults

std::string Slab(const std::string& props, const std::string& setCard = "Set 1 Type Solid ElmType Triangle NNode 3 Name Wall;") {
  const Grid g{4, 1, 1.0, 0.25};
  return Head(2, 0.1) + g.nodes() +
         Replace(SolidBlock("Backward_Euler", "", props, g.elements(0, g.nx),
                            g.temps(0, g.nx, [&](int i, int) { return i == 0; }, [](double, double) { return 1.0; })),
                 "Set 1 Type Solid ElmType Triangle NNode 3 Name Wall;", setCard) +
         kTotal;
}

TEST(SolidRuns, MaterialAndInputFaults) {
  struct Case {
    const char* what;
    std::string data;
    const char* message;
  };
  std::string noBoundary = Slab(Props("1", "1", "0", "1"));
  noBoundary.erase(noBoundary.find("Boundary;"), noBoundary.find("TotalDefinition") - noBoundary.find("Boundary;"));
  const Case cases[] = {
      {"no boundary block", noBoundary, "Wrong \"Boundary\" card\n"},
      {"null density", Slab(Props("0", "1", "0", "1")),
       "Wrong specific heat field (Solid Density < 0.0) found.\n\tCheck material data.\n"},
      {"negative Kyy", Slab(Props("1", "1", "0", "-1")), "Wrong conductivity field (Kyy < 0.0) found.\n\tCheck material data.\n"},
      // Values that are not finite are refused as the negative ones are.
      {"infinite density", Slab(Props("exp(1000)", "1", "0", "1")),
       "Wrong specific heat field (Solid Density < 0.0) found.\n\tCheck material data.\n"},
      {"undefined Kxx", Slab(Props("1", "exp(1000)-exp(1000)", "0", "1")),
       "Wrong conductivity field (Kxx < 0.0) found.\n\tCheck material data.\n"},
      {"fluid set", Slab(Props("1", "1", "0", "1"), "Set 1 Type Fluid ElmType Triangle NNode 3;"), "ElmSet Fluid not implemented\n"},
      {"old card", Slab(Props("1", "1", "0", "1"), "Set 1 Type Solid ElmType Triangle NNode 3 Thermal_Conductivity 3;"),
       "Old fashioned Olvu format data file found\n"},
      {"clockwise element", Replace(Slab(Props("1", "1", "0", "1")), "Elements\n1 1 2 7\n", "Elements\n1 1 7 2\n"),
       "Negative Volume found in solid set Wall, element     1               1              7              2\n"
       "\n\tCheck surface normal orientation\n"},
      {"no solid set", Replace(Replace(Slab(Props("1", "1", "0", "1")), "Set 1 Type Solid", "Set 1 Type Nothing"),
                               "ElmSets;\nSet 1 Type Nothing", "ElmSets;\nEndElmSets;\nSet 1 Type Nothing"),
       "Solid not defined.\nAssign Solid properties to the geometry.\nCheck the problem definition in the data file.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SolidRun run(c.data);
    EXPECT_EQ(run.r.status, 1);
    EXPECT_EQ(run.f.read("s.dat.err"), ErrFile(c.message));
  }
  // A null conductivity component is a warning and the run goes on.
  SolidRun kxx(Slab(Props("1", "0", "0", "1")));
  EXPECT_EQ(kxx.r.status, 0) << kxx.f.read("s.dat.err");
  EXPECT_NE(kxx.f.read("s.dat.war").find("Null conductivity Kxx found.\n\tCheck material data."), std::string::npos);
}

TEST(SolidRuns, CustomisedResultsAndIntegrals) {
  // On the slab [0, 1] x [0, 0.25]: the integral of 1 is the area, that of X is exact with the
  // nodal volumes; a null integral is not reported; the customised result appears after time 0.
  const std::string data = Replace(
      Slab(Props("1", "1", "0", "1")), "EndInitialDataFunctions;\n",
      "EndInitialDataFunctions;\nIntegralFunctions Integral1 \"1\" Integral2 \"X\" Integral3 \"0\";\n"
      "CustomisedResultsFunctions;\nCustomRes \"2*X\" Name Twice;\nEndCustomisedResultsFunctions;\n");
  SolidRun run(data);
  ASSERT_EQ(run.r.status, 0) << run.f.read("s.dat.err");
  const std::string war = run.f.read("s.dat.war");
  EXPECT_NE(war.find("Solid Domain : User defined Integral#1 = 0.25\n"), std::string::npos) << war;
  EXPECT_NE(war.find("Solid Domain : User defined Integral#2 = 0.125\n"), std::string::npos);
  EXPECT_EQ(war.find("Integral#3"), std::string::npos);
  EXPECT_EQ(BlockAt(run.res, "Solid_Twice", "0", "PELKORAD"), "");
  const auto twice = Values(BlockAt(run.res, "Solid_Twice", "0.2", "PELKORAD"));
  ASSERT_EQ(twice.size(), 10u);
  EXPECT_DOUBLE_EQ(twice.at(5), 2.0);
  EXPECT_DOUBLE_EQ(twice.at(8), 1.0);
}

TEST(SolidRuns, SolidOnlyRunRestartsFromItsBlock) {
  const std::string data = Slab(Props("1", "1", "0", "1"));
  SolidRun first(data);
  ASSERT_EQ(first.r.status, 0);
  const std::string rst = first.f.read("s.dat.rst");
  EXPECT_NE(rst.find("\nSolid;\n"), std::string::npos) << rst;
  EXPECT_NE(rst.find("\nEndSolid;\n"), std::string::npos);
  EXPECT_NE(rst.find("_Tempt_"), std::string::npos);
  // Four steps, restarted after the second: the same temperatures as four steps in one run.
  SolidRun whole(Replace(data, "Number_of_Steps 2", "Number_of_Steps 4"));
  first.f.write("s.dat", Replace(Replace(data, "Number_of_Steps 2", "Number_of_Steps 4"), "Max_Iterations 2",
                                 "Max_Iterations 2 Restart"));
  const auto again = first.f.olvu({"-name", "s.dat"});
  ASSERT_EQ(again.status, 0) << first.f.read("s.dat.err");
  EXPECT_EQ(BlockAt(first.f.read("s.dat.res"), "TEMPERATURE", "0.4", "DORVANTE"),
            BlockAt(whole.res, "TEMPERATURE", "0.4", "DORVANTE"));
}

}  // namespace
