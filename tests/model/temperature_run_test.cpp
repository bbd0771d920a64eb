// Heat conduction and convection in a fluid through whole runs of the program, against analytic
// solutions: the TEMPERATURE block of the .res file (six significant digits) at the last output.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"
#include "tests/model/gridcase.h"

namespace {

using olvu_test::Folder;
using olvu_test::GridKind;
using olvu_test::GridLayout;

const double kPi = 3.141592653589793;

// Temperature by problem node in the last TEMPERATURE block of a .res text.
std::map<int, double> LastTemperatures(const std::string& res) {
  std::map<int, double> t;
  const auto at = res.rfind("Result \"TEMPERATURE\"");
  if (at == std::string::npos) return t;
  const auto values = res.find("Values\n", at) + 7;
  std::istringstream in(res.substr(values, res.find("End Values", values) - values));
  int id;
  double v;
  while (in >> id >> v) t[id] = v;
  return t;
}

// Runs `text` and gives its last temperatures (empty when the run failed).
std::map<int, double> RunProblem(const std::string& text) {
  Folder f;
  f.write("t.dat", text);
  const auto r = f.olvu({"-name", "t.dat"});
  EXPECT_EQ(r.status, 0) << r.err << f.read("t.dat.err");
  return LastTemperatures(f.read("t.dat.res"));
}

std::string General(int steps, const std::string& dt, int iterations) {
  return "GeneralData Number_of_Steps " + std::to_string(steps) + " Time_Increment \"" + dt + "\" [s] OutPut_Step " +
         std::to_string(steps) + " Max_Iterations " + std::to_string(iterations) + ";";
}

// Coordinates of lattice point `id` of a plane grid.
void XY(const GridLayout& g, int id, double& x, double& y) {
  const int i = (id - 1) % g.Px(), j = (id - 1) / g.Px();
  x = g.lx * i / (g.Px() - 1), y = g.ly * j / (g.Py() - 1);
}

// 10 x 2 cells of [0, 1] x [0, 0.2], T = 100 at x = 0 and 0 at x = 1, one step of 1e10 s, with
// the words `flags` on the fluid card, `iterations` per step and the temperature tolerance `tol`.
std::map<int, double> HotStrip(GridLayout& g, const std::string& flags, int iterations, const std::string& tol) {
  g.nx = 10, g.ny = 2, g.ly = 0.2;
  g.flags = flags;
  const std::string bc = g.FixedTemperatures([](double x, double) { return x == 0 ? 100.0 : (x == 1 ? 0.0 : NAN); });
  return RunProblem(g.Problem(General(1, "1e10", iterations), bc, "ToleranceData TemConvergenceNorm " + tol + ";"));
}

TEST(TemperatureRuns, SteadyConductionIsLinear) {
  // T = 100 (1 - x) to every printed digit.
  GridLayout g;
  const auto t = HotStrip(g, "Solve_Temperature", 3, "1e-9");
  ASSERT_EQ(t.size(), 33u);
  for (const auto& [id, v] : t) {
    double x, y;
    XY(g, id, x, y);
    EXPECT_NEAR(v, 100 * (1 - x), 1e-8) << id;
  }
}

TEST(TemperatureRuns, PlateWithASinhSolution) {
  // T = sinh(pi y) sin(pi x) / sinh(pi) on the unit square, 32 x 32 cells of triangles, the exact
  // values held on the boundary: within 0.5% of the peak 1.
  GridLayout g;
  g.nx = g.ny = 32;
  auto exact = [](double x, double y) { return std::sinh(kPi * y) * std::sin(kPi * x) / std::sinh(kPi); };
  const std::string bc = g.FixedTemperatures([&](double x, double y) {
    return (x == 0 || y == 0 || x == 1 || y == 1) ? exact(x, y) : NAN;
  });
  const auto t = RunProblem(g.Problem(General(1, "1e10", 3), bc, "ToleranceData TemConvergenceNorm 1e-9;"));
  ASSERT_EQ(t.size(), 33u * 33u);
  double err = 0;
  for (const auto& [id, v] : t) {
    double x, y;
    XY(g, id, x, y);
    err = std::fmax(err, std::fabs(v - exact(x, y)));
  }
  EXPECT_LT(err, 0.005);
}

// A slab of 40 cells, T = sin(pi x) at t = 0 and 0 at both faces, diffusivity 1, run with
// Crank-Nicolson to t = 0.1 in `steps` steps: the temperature at x = 0.5.
double SlabCentre(int steps) {
  GridLayout g;
  g.nx = 40, g.ny = 1, g.ly = 0.025;
  g.scheme = "Crank_Nicolson";
  g.initial = "Function Temperature \"sin(3.141592653589793*X)\" [Gt];\n";
  const std::string bc = g.FixedTemperatures([](double x, double) { return x == 0 || x == 1 ? 0.0 : NAN; });
  std::ostringstream dt;
  dt.precision(17);
  dt << 0.1 / steps;
  const auto t = RunProblem(g.Problem(General(steps, dt.str(), 2), bc, "ToleranceData TemConvergenceNorm 1e-9;"));
  const auto at = t.find(g.Id(20, 0));
  return at == t.end() ? NAN : at->second;
}

TEST(TemperatureRuns, TransientSlabAgainstItsFourierSeries) {
  // The series of sin(pi x) has its one term: T = e^(-pi^2 t) sin(pi x).
  const double exact = std::exp(-kPi * kPi * 0.1);
  const double coarse = SlabCentre(5), fine = SlabCentre(10), reference = SlabCentre(160);
  EXPECT_NEAR(coarse, exact, 0.01 * exact);
  EXPECT_NEAR(fine, exact, 0.01 * exact);
  // Second order in time: halving the step quarters the error (against the same mesh's
  // solution at a 16 times smaller step).
  const double ratio = (coarse - reference) / (fine - reference);
  EXPECT_GT(ratio, 3.6);
  EXPECT_LT(ratio, 4.4);
}

// The strip [0, 1] x [0, 0.1] of 20 quadrilaterals across, in the flow u = 1 given as initial
// data, T = 0 at x = 0 and 1 at x = 1, at cell Peclet number pe = u h / (2 nu): the largest
// nodal error against (e^(x/nu) - 1) / (e^(1/nu) - 1), and the range of T.
struct LayerRun {
  double err = 0, lo = 1e100, hi = -1e100;
  explicit LayerRun(double pe) {
    GridLayout g;
    g.kind = GridKind::Quad4;
    g.nx = 20, g.ny = 2, g.ly = 0.1;
    const double nu = 1.0 / 20 / (2 * pe);
    g.initial = "Function VelocityX \"1\" [m/s];\n";
    g.properties = "Function Density \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
                   "Function Conductivity \"" + std::to_string(nu) + "\" [W/m.Gt];\n";
    const std::string bc = g.FixedTemperatures([](double x, double) { return x == 0 ? 0.0 : (x == 1 ? 1.0 : NAN); });
    const auto t = RunProblem(g.Problem(General(1, "1e10", 60), bc, "ToleranceData TemConvergenceNorm 1e-10;"));
    EXPECT_EQ(t.size(), 63u);
    for (const auto& [id, v] : t) {
      double x, y;
      XY(g, id, x, y);
      err = std::fmax(err, std::fabs(v - std::expm1(x / nu) / std::expm1(1 / nu)));
      lo = std::fmin(lo, v), hi = std::fmax(hi, v);
    }
  }
};

TEST(TemperatureRuns, ConvectionDiffusionOutflowLayer) {
  EXPECT_LT(LayerRun(0.25).err, 0.01);
  const LayerRun steep(5.0);
  EXPECT_LT(steep.hi, 1.05);
  EXPECT_GT(steep.lo, -0.05);
}

// The temperatures of domain `name` ("Fluid", "Solid") in a .rst text, nine digits after the
// point, in domain order.
std::vector<double> RestartTemperatures(const std::string& rst, const std::string& name) {
  std::vector<double> t;
  const auto block = rst.find(name + ";\n");
  const auto at = rst.find("_Tempt_", block);
  if (block == std::string::npos || at == std::string::npos) return t;
  std::istringstream in(rst.substr(rst.find('\n', at) + 1));
  for (double v; in >> v;) t.push_back(v);
  return t;
}

// The strip [0, 1] x [0, 0.2] of 4 x 2 cells of conductivity 2, fluid with the definition words
// `fluid` or else solid, held at T = 0 at x = 0 (a fluid also still at its walls), and a body set
// on x = 1 with the property lines `flux`. Node n lies at x = 0.25 ((n - 1) mod 5).
std::string HeatedStrip(const char* fluid, const std::string& flux) {
  std::ostringstream s;
  s << "OLVU_2D;\nProblemDefinition;\n" << General(1, "1e10", 2) << "\nPhysicalData Gravity 0 -9.81 0 [m/s2];\nNodes;\n";
  for (int n = 0; n < 15; ++n) s << n + 1 << " " << 0.25 * (n % 5) << " " << 0.1 * (n / 5) << " 0\n";
  s << (fluid ? std::string("FluidDefinition ") + fluid : "SolidDefinition Solve_Temperature")
    << " Integration_Scheme Backward_Euler;\nInitialDataFunctions;\nEndInitialDataFunctions;\nElmSets;\nSet 1 Type "
    << (fluid ? "Fluid" : "Solid") << " ElmType Triangle NNode 3 Name Bar;\nPhysicalPropertiesFunctions;\n"
    << (fluid ? "Function Density \"1\" [Kg/m3];\nFunction Conductivity \"2\" [W/m.Gt];\nFunction Viscosity \"1\" [Kg/m.s];\n"
              : "Function SolidDensity \"1\" [Kg/m3];\nFunction ConductivityXX \"2\" [W/m.Gt];\n"
                "Function ConductivityXY \"0\" [W/m.Gt];\nFunction ConductivityYY \"2\" [W/m.Gt];\n")
    << "Function SpecificHeat \"1\" [J/Kg.Gt];\nEndPhysicalPropertiesFunctions;\nElements\n";
  for (int c = 0; c < 8; ++c) {
    const int a = c + 1 + c / 4;  // lower left corner of cell c
    s << 2 * c + 1 << " " << a << " " << a + 1 << " " << a + 6 << "\n" << 2 * c + 2 << " " << a << " " << a + 6 << " " << a + 5 << "\n";
  }
  s << "End Elements\nSet 2 Type " << (fluid ? "Body" : "WBody Mass 1 [Kg]") << " ElmType Linear NNode 2 Name Heated None_Wall;\n"
    << "PhysicalPropertiesFunctions;\n" << flux << "EndPhysicalPropertiesFunctions;\nElements\n1 5 10\n2 10 15\nEnd Elements\n"
    << "EndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nNode 1 Temp 0;\nNode 6 Temp 0;\nNode 11 Temp 0;\n";
  for (int n = 1; n <= 15 && fluid; ++n)
    if (n < 7 || n > 9) s << "Node " << n << " Velc 0 0 0;\n";
  s << (fluid ? "Node 15 Pres 0;\n" : "") << "EndBoundary;\nTotalDefinition;\nToleranceData TemConvergenceNorm 1e-12;\n"
    << "ElmSets;\nEndElmSets;\nEndProblem;\n";
  return s.str();
}

TEST(TemperatureRuns, BodySetHeatFluxIsConducted) {
  // A body set's heat flux q = 5 W/m2 enters through x = 1 of a strip of conductivity 2 held at
  // T = 0 at x = 0: at steady state T = q x / k, 2.5 at x = 1, within 1e-9 (the restart file's
  // digits), in the fluid with or without the flow solved (no-slip walls: still fluid) and in a
  // solid. The flux h (T_e - T) of a film h = 2 from T_e = 5 (flux h T_e, reaction h) gives the
  // same: T = h T_e x / (k + h). A flux of 1e-15 is none.
  const std::string q = "Function HeatFlux \"5\" [W/m2];\n";
  const std::string film = "Function HeatFlux \"10\" [W/m2];\nFunction HeatFluxReaction \"2\" [W/m2.Gt];\n";
  struct Case {
    const char* fluid;  // the fluid's definition words, or none for the solid strip
    std::string flux;   // property lines of the body set
    double slope;       // dT/dx
  } const cases[] = {{"Solve_Temperature", q, 2.5},
                     {"Solve_NavierStokes Solve_Temperature", q, 2.5},
                     {nullptr, q, 2.5},
                     {"Solve_Temperature", film, 2.5},
                     {nullptr, film, 2.5},
                     {"Solve_Temperature", "Function HeatFlux \"1e-15\" [W/m2];\n", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fluid ? c.fluid : "solid") + ", " + c.flux);
    Folder f;
    f.write("t.dat", HeatedStrip(c.fluid, c.flux));
    const auto r = f.olvu({"-name", "t.dat"});
    ASSERT_EQ(r.status, 0) << r.err << f.read("t.dat.err");
    const std::vector<double> t = RestartTemperatures(f.read("t.dat.rst"), c.fluid ? "Fluid" : "Solid");
    ASSERT_EQ(t.size(), 15u);
    for (int n = 0; n < 15; ++n) EXPECT_NEAR(t[std::size_t(n)], c.slope * 0.25 * (n % 5), 1e-9) << n + 1;
  }
}

TEST(TemperatureRuns, ControlIncrementLimitsAStepsChange) {
  // "Control_Increment High" (0.01) with the tolerance 1e-2 and one iteration per step: no node
  // moves by more than 0.01 x 1e-2 of the largest temperature, 100, in a step.
  GridLayout g;
  const auto t = HotStrip(g, "Solve_Temperature Control_Increment High", 1, "1e-2");
  ASSERT_EQ(t.size(), 33u);
  for (const auto& [id, v] : t) {
    double x, y;
    XY(g, id, x, y);
    if (x == 0 || x == 1) continue;
    EXPECT_LE(v, 0.01 + 1e-12) << id;
    if (std::fabs(x - 0.1) < 1e-9) {
      EXPECT_NEAR(v, 0.01, 1e-12) << id;  // its own change is far larger
    }
  }
}

}  // namespace
