// Order of accuracy in time: the decaying Taylor-Green vortex with its exact velocity imposed on
// the walls of [0, pi]^2 through time-dependent conditions ("TVel" and "CondVel") or left to slip
// walls, under backward Euler and Crank-Nicolson at dt, dt/2 and dt/4, every step converged.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/model/channelrun.h"

namespace olvu_test {
namespace {

constexpr double kNu = 0.5;  // kinematic viscosity: u decays as exp(-2 nu t), p as exp(-4 nu t)

// The vortex u = (sin x cos y, -cos x sin y) exp(-2 nu t), p = (cos 2x + cos 2y) exp(-4 nu t) / 4
// on n x n cells cut into triangles, its walls held as `walls` says: "TVel" (flags 4 and 5),
// "CondVel" (conditional functions 1) or "slip" (the normal component fixed at 0).
FlowRun Vortex(int n, const std::string& scheme, const std::string& walls, double dt, int steps) {
  FlowRun f;
  f.grid.kind = GridKind::Tri3;
  f.grid.nx = f.grid.ny = n;
  f.grid.lx = f.grid.ly = M_PI;
  f.grid.flags = "Solve_NavierStokes";
  f.grid.scheme = scheme;
  std::ostringstream s;
  s.precision(17);
  s << "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"" << kNu << "\" [Kg/m.s];\n";
  f.grid.properties = s.str();
  const double d = 2 * kNu;
  std::ostringstream i;
  i << "Function VelocityX \"sin(X)*cos(Y)*exp(0-" << d << "*t)\" [m/s];\n"
    << "Function VelocityY \"0-cos(X)*sin(Y)*exp(0-" << d << "*t)\" [m/s];\n"
    << "Function Pressure \"0.25*(cos(2*X)+cos(2*Y))*exp(0-" << 2 * d << "*t)\" [m2/s2];\n";
  f.grid.initial = i.str();
  if (walls == "CondVel")
    f.solvers = "ConditionalFunctions;\nFunction VelocityX \"1\" [m/s];\nFunction VelocityY \"1\" [m/s];\n"
                "EndConditionalFunctions;\n";
  f.solvers += "NonSymmetric Momentum Max_Iter 500 Tolerance 1e-12 Solver GMRes Preconditioner ILU;\n"
               "Symmetric Pressure Max_Iter 500 Tolerance 1e-12 Solver ConjugateGradient Preconditioner IC;\n";
  std::ostringstream t;
  t.precision(17);
  t << dt;
  f.dt = t.str();
  f.steps = steps;
  f.tol = "1e-8";
  f.iterations = 400;
  const GridLayout g = f.grid;
  f.condition = [g, walls](int a, int b, int) {
    const bool wx = a == 0 || a == g.nx, wy = b == 0 || b == g.ny;
    if (!wx && !wy) return std::string();
    if (walls == "TVel") return Line(g.Id(a, b), "TVel 0 0 0 1 1 0");
    if (walls == "CondVel") return Line(g.Id(a, b), "CondVel");
    return Line(g.Id(a, b), "Velc 0 0 0 Fix " + std::to_string(wx) + " " + std::to_string(wy) + " 0");
  };
  return f;
}

struct VortexRun {
  std::map<int, std::vector<double>> u;  // velocity at T
  std::map<int, double> pe;              // pressure less the exact one at the scheme's time, mean removed
  int unconverged = 0;                   // steps that reached the iteration limit
};

VortexRun RunVortex(int n, const std::string& scheme, const std::string& walls, double dt, double T) {
  const int steps = int(std::lround(T / dt));
  const FlowRun f = Vortex(n, scheme, walls, dt, steps);
  Folder dir;
  std::string res;
  const Outcome o = f.Run(dir, res);
  EXPECT_EQ(o.status, 0) << dir.read("flow.dat.err");
  VortexRun r;
  r.u = LastBlock(res, "VELOCITY");
  const std::string war = dir.read("flow.dat.war");
  for (auto at = war.find("may be necessary"); at != std::string::npos; at = war.find("may be necessary", at + 1))
    ++r.unconverged;
  // Crank-Nicolson's pressure stands half a step before the end of its step.
  const double tp = scheme == "Crank_Nicolson" ? T - dt / 2 : T;
  double mean = 0;
  for (const auto& [node, p] : LastBlock(res, "PRESSURE")) {
    const int a = (node - 1) % (n + 1), b = (node - 1) / (n + 1);
    const double x = M_PI * a / n, y = M_PI * b / n;
    r.pe[node] = p[0] - 0.25 * (std::cos(2 * x) + std::cos(2 * y)) * std::exp(-4 * kNu * tp);
    mean += r.pe[node];
  }
  mean /= double(r.pe.size());
  for (auto& [node, e] : r.pe) e -= mean;
  return r;
}

// Largest nodal |u_a - u_b|.
double VelocityDifference(const VortexRun& a, const VortexRun& b) {
  double d = 0;
  for (const auto& [node, v] : a.u) d = std::fmax(d, std::hypot(v[0] - b.u.at(node)[0], v[1] - b.u.at(node)[1]));
  return d;
}

// Root mean square of the pressure errors' difference over the nodes at least `band` nodes from
// the walls.
double PressureDifference(const VortexRun& a, const VortexRun& b, int n, int band) {
  double s = 0, c = 0, m = 0;
  std::vector<double> d;
  for (const auto& [node, e] : a.pe) {
    const int i = (node - 1) % (n + 1), j = (node - 1) / (n + 1);
    if (i < band || j < band || i > n - band || j > n - band) continue;
    d.push_back(e - b.pe.at(node));
    m += d.back();
  }
  m /= double(d.size());
  for (double x : d) s += (x - m) * (x - m), c += 1;
  return std::sqrt(s / c);
}

// 16 x 16 cells, T = 1 at dt 0.2, 0.1 and 0.05, tolerances 1e-8: the observed order of the
// dt-differences, log2(|X_dt - X_dt/2| / |X_dt/2 - X_dt/4|), is at least 0.9 for backward Euler
// and 1.8 for Crank-Nicolson, for the velocity (largest nodal difference) and the pressure at
// the scheme's time (RMS of its error's difference; for Crank-Nicolson over the nodes a node or
// more from the walls, whose own pressure converges at first order). Crank-Nicolson once held its
// walls at the end-of-step value and returned the start field's divergence at every step: its
// differences fell at order 0.1-0.9. The step sizes stay above twice the pressure parameter
// (about 0.019 s here), which is bounded by half a step. "TVel" and "CondVel" walls give the same
// flow, which once stood still at its start values under "TVel".
void Orders(const std::string& scheme) {
  const int n = 16;
  const double dt = 0.2, T = 1;
  const bool cn = scheme == "Crank_Nicolson";
  for (const char* walls : {"TVel", "slip"}) {
    SCOPED_TRACE(scheme + " " + walls);
    std::vector<VortexRun> runs;
    for (int l = 0; l < 3; ++l) runs.push_back(RunVortex(n, scheme, walls, dt / (1 << l), T));
    for (const VortexRun& r : runs) EXPECT_EQ(r.unconverged, 0);
    const double du1 = VelocityDifference(runs[0], runs[1]), du2 = VelocityDifference(runs[1], runs[2]);
    const int band = cn ? 1 : 0;
    const double dp1 = PressureDifference(runs[0], runs[1], n, band), dp2 = PressureDifference(runs[1], runs[2], n, band);
    const double ou = std::log2(du1 / du2), op = std::log2(dp1 / dp2);
    std::cout << scheme << " " << walls << ": du " << du1 << " " << du2 << " order " << ou << ", dp " << dp1 << " "
              << dp2 << " order " << op << "\n";
    EXPECT_GE(ou, cn ? 1.8 : 0.9);
    EXPECT_GE(op, cn ? 1.8 : 0.9);
    if (std::string(walls) != "TVel") continue;
    // The wall follows exp(-2 nu t): at (0, pi/2) v = -exp(-1) at T (to the result file's digits).
    const int wall = 1 + (n + 1) * n / 2;
    EXPECT_NEAR(runs[2].u.at(wall)[1], -std::exp(-2 * kNu * T), 1e-6);
    const VortexRun cond = RunVortex(n, scheme, "CondVel", dt / 2, T);
    for (const auto& [node, v] : runs[1].u) {
      EXPECT_NEAR(cond.u.at(node)[0], v[0], 1e-12) << node;
      EXPECT_NEAR(cond.u.at(node)[1], v[1], 1e-12) << node;
    }
  }
}

TEST(TimeOrder, TaylorGreenVortexBackwardEulerIsFirstOrder) { Orders("Backward_Euler"); }

TEST(TimeOrder, TaylorGreenVortexCrankNicolsonIsSecondOrder) { Orders("Crank_Nicolson"); }

}  // namespace
}  // namespace olvu_test
