// Channels between two wall-law walls for whole runs of the program: the data file of a channel
// driven by a body force, fully developed along x, and the fully developed turbulent channel with
// its figures against Dean's friction law and the log law. Standard library only: the benchmarks
// use it too.
#pragma once

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace olvu_test {

// Node values of the last block `name` of a result file: node -> components.
inline std::map<int, std::vector<double>> LastBlock(const std::string& res, const std::string& name) {
  const std::string head = "Result \"" + name + "\" \"QUELMA\" ";
  const auto at = res.rfind(head);
  std::map<int, std::vector<double>> out;
  if (at == std::string::npos) return out;
  const auto begin = res.find("Values\n", at) + 7;
  std::istringstream in(res.substr(begin, res.find("End Values", begin) - begin));
  for (std::string line; std::getline(in, line);) {
    std::istringstream l(line);
    int node;
    l >> node;
    for (double v; l >> v;) out[node].push_back(v);
  }
  return out;
}

// x written to every digit, for function texts.
inline std::string Precise(double x) {
  std::ostringstream s;
  s.precision(17);
  s << x;
  return s.str();
}

// The step of the "Steady State Found." line of a run's standard output (0 when absent).
inline int SteadyStepIn(const std::string& out) {
  int step = 0;
  const auto at = out.find(": Steady State Found.");
  if (at != std::string::npos) std::sscanf(out.c_str() + out.rfind("STEP = ", at), "STEP = %d", &step);
  return step;
}

// The rows of a channel from one wall to its mirror: `half` cells from 0 to `top`, growing
// geometrically from a first cell of `first` (by bisection on the ratio q of first (q^half - 1) /
// (q - 1) = top; equal rows when even those are finer than `first`), then their mirror to 2 top.
inline std::vector<double> MirroredRows(double first, double top, int half) {
  double lo = 1, hi = 2;
  for (int i = 0; i < 200 && first * half < top; ++i) {
    const double q = 0.5 * (lo + hi);
    (first * (std::pow(q, half) - 1) / (q - 1) > top ? hi : lo) = q;
  }
  std::vector<double> rows{0};
  for (int j = 0; j < half; ++j) rows.push_back(rows.back() + first * std::pow(lo, j));
  rows.back() = top;
  std::vector<double> ys = rows;
  for (int j = half - 1; j >= 0; --j) ys.push_back(2 * top - rows[std::size_t(j)]);
  return ys;
}

// The channel [0, lx] x [0, 2 delta] of nx x ny bilinear cells (rows at ys), density rho, kinematic
// viscosity nu, the body force f along x per unit mass (the acceleration function is the force per
// unit volume, rho f); the walls y = 0 and y = 2 delta are the body sets "Bottom" and
// "Top" with the wall words `wall`; the ends keep v = 0 and the pressure 0, so the flow is fully
// developed (bilinear cells carry u(y) exactly, with no end effect). `general`, `fluid` and
// `initial` add words to the general data, the fluid definition and the initial data;
// `acceleration`, when given, is the acceleration function's text instead of rho f.
struct WallChannel {
  int nx = 2, steps = 60, output = 0;  // output: steps between result blocks (0: the last only)
  double lx = 1, nu = 0.1, f = 1, rho = 1;
  std::string acceleration;
  std::vector<double> ys;
  std::string wall = "Cw_U2Wall Cw 0.05";
  std::string dt = "0.5";
  std::string general, fluid, initial;
  std::string solvers;  // solver cards after the initial data
  std::string tolerance = "VelConvergenceNorm 1e-8 PreConvergenceNorm 1e-8";

  int Id(int i, int j) const { return j * (nx + 1) + i + 1; }
  // The x velocity of the last result block along the first column of nodes, row by row (0 where
  // the block lacks a node).
  std::vector<double> Profile(const std::string& res) const {
    const auto v = LastBlock(res, "VELOCITY");
    std::vector<double> u;
    for (std::size_t j = 0; j < ys.size(); ++j) {
      const auto at = v.find(Id(0, int(j)));
      u.push_back(at == v.end() ? 0.0 : at->second[0]);
    }
    return u;
  }
  std::string Text() const {
    const int ny = int(ys.size()) - 1;
    std::ostringstream s;
    s.precision(17);
    s << "OLVU_2D;\nProblemDefinition;\nGeneralData Number_of_Steps " << steps << " Time_Increment \"" << dt
      << "\" [s] OutPut_Step " << (output ? output : steps) << " Max_Iterations 5 GiveWallLawForces " << general
      << ";\nPhysicalData Gravity 0 0 0 [m/s2];\nNodes;\n";
    for (int j = 0; j <= ny; ++j)
      for (int i = 0; i <= nx; ++i) s << Id(i, j) << " " << lx * i / nx << " " << ys[std::size_t(j)] << " 0\n";
    s << "FluidDefinition Solve_NavierStokes Integration_Scheme Backward_Euler " << fluid
      << ";\nInitialDataFunctions;\n" << initial << "EndInitialDataFunctions;\n"
      << solvers << "ElmSets;\nSet 1 Type Fluid ElmType Quadrilateral NNode 4 Name Channel;\n"
         "PhysicalPropertiesFunctions;\nFunction Density \""
      << rho << "\" [Kg/m3];\nFunction Viscosity \"" << rho * nu << "\" [Kg/m.s];\nFunction AccelerationX \"";
    if (acceleration.empty()) s << rho * f;
    else s << acceleration;
    s << "\" [m/s2];\nEndPhysicalPropertiesFunctions;\nElements\n";
    int e = 0;
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i)
        s << ++e << " " << Id(i, j) << " " << Id(i + 1, j) << " " << Id(i + 1, j + 1) << " " << Id(i, j + 1) << "\n";
    const char* props = ";\nPhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\nElements\n";
    s << "End Elements\nSet 2 Type Body ElmType Linear NNode 2 Name Bottom " << wall << props;
    for (int i = 0; i < nx; ++i) s << i + 1 << " " << Id(i, 0) << " " << Id(i + 1, 0) << "\n";
    s << "End Elements\nSet 3 Type Body ElmType Linear NNode 2 Name Top " << wall << props;
    for (int i = 0; i < nx; ++i) s << i + 1 << " " << Id(i + 1, ny) << " " << Id(i, ny) << "\n";
    s << "End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n";
    for (int j = 0; j <= ny; ++j)
      for (int i : {0, nx}) s << "Node " << Id(i, j) << " Velc 0 0 0 Fix 0 1 0;\nNode " << Id(i, j) << " Pres 0;\n";
    s << "EndBoundary;\nTotalDefinition;\nToleranceData " << tolerance << ";\nElmSets;\nEndElmSets;\nEndProblem;\n";
    return s.str();
  }
};

// Reichardt's u+ at y+: the profile of the y+ and distance wall laws.
inline double ReichardtUplus(double y) {
  return 7.8 * (1 - std::exp(-y / 11) - (y / 11) * std::exp(-0.33 * y)) + 2.5 * std::log(1 + 0.41 * y);
}

// The x viscous force of both walls in the last line of a force table over `drive`: the line
// holds the time, then per body its name and twelve columns (pressure force, pressure moment,
// viscous force, viscous moment); x of the viscous force is the ninth field. 0 without a line.
inline double WallBalance(const std::string& forces, double drive) {
  const auto end = forces.find_last_not_of('\n');
  if (end == std::string::npos) return 0;
  std::istringstream line(forces.substr(forces.rfind('\n', end) + 1));
  std::vector<std::string> f;
  for (std::string w; std::getline(line, w, '\t');) f.push_back(w);
  return f.size() > 21 ? (std::stod(f[8]) + std::stod(f[21])) / drive : 0.0;
}

// What a turbulent channel run gave (see WallFunctionChannel::Measure).
struct ChannelFigures {
  double um = 0;        // bulk speed over the whole height, the layers below the wall nodes included
  double rem = 0;       // bulk Reynolds number U_m 2 delta / nu
  double cfDean = 0;    // c_f = 2 u_tau^2 / U_m^2 over Dean's 0.073 Re_m^-1/4
  double kappa = 0;     // 1 / slope of the least-squares line of u+ against ln y+, 50 <= y+ <= 400
  double uplusDev = 0;  // largest |u+ / (ln y+ / 0.41 + 5.2) - 1| there
  int logNodes = 0;     // nodes in that range
  double balance = 0;   // viscous force of both walls in the last .for line over the drive
  int steadyStep = 0;   // step of "Steady State Found." (0 when the run did not get there)
};

// The fully developed turbulent channel of half-height delta = 1 at Re_tau = u_tau delta / nu,
// the wall node at y+ = 30 (a wall-function mesh): the walls' "YplusWall Yplus 30" nodes lie 30
// nu / u_tau off the walls, so the mesh spans 2 h, h = 1 - 30 / Re_tau, and the drive f = u_tau^2
// / h puts the stress u_tau^2 on each wall. nu = 2 / Re_m with Re_m = 87,000 (Re_tau / 2000)^(8/7),
// near Dean's at that Re_tau, so U_m is near 1. Rows grow geometrically from a first cell of
// `firstYplus` wall units (at most h / half: equal rows) to the middle, `half` cells per half, two
// cells along x. The run starts
// from the log law (u+ = ln y+ / 0.41 + 5.2, k = u_tau^2 / 0.3, the length scale of the model)
// and stops at the steady state ("SteadyNorm" `steadyNorm`) or after `c.steps`. The cards the models need: the wall
// values of the second variable fixed, clamps of 10^-3 to 10^2-10^3 times the initial values, and
// no reaction limit on epsilon and omega (at the centre line the production vanishes, and a limit
// tied to it keeps epsilon from decaying there).
struct WallFunctionChannel {
  double retau = 2000, nu = 0, utau = 0, offset = 0, h = 0;
  WallChannel c;

  static constexpr const char* kCards =
      "FixTurbulenceOnBodies KenrMinimum 0.001 KenrMaximum 100 EpslMinimum 0.001 EpslMaximum 1000 "
      "OmegMinimum 0.001 OmegMaximum 1000 TVscMinimum 0.001 TVscMaximum 100 EddyKEnergy_Production_Limit 20 "
      "Epsilon_Production_Limit 2000 Epsilon_Reaction_Limit 1e20 Omega_Production_Limit 2000 "
      "Omega_Reaction_Limit 1e20 EddyViscoT_Production_Limit 2000 EddyViscoT_Reaction_Limit 2000";

  WallFunctionChannel(const std::string& model, double re, int half, const std::string& dt, double firstYplus = 20,
                      const std::string& steadyNorm = "1e-6")
      : retau(re) {
    nu = 2 / (87000 * std::pow(retau / 2000, 8.0 / 7));
    utau = retau * nu;
    offset = 30 * nu / utau;
    h = 1 - offset;
    c.lx = 0.05, c.nu = nu, c.f = utau * utau / h, c.dt = dt, c.steps = 5000;
    c.ys = MirroredRows(std::fmin(firstYplus * nu / utau, h / half), h, half);
    c.wall = "YplusWall Yplus 30";
    c.fluid = "SteadyNorm " + steadyNorm + " " + model + " " + kCards;
    c.tolerance = "VelConvergenceNorm 1e-6 PreConvergenceNorm 1e-6";
    std::ostringstream s;
    s.precision(17);
    const std::string y = Distance();
    s << "Function VelocityX \"" << utau << "*(ln(" << y << "*" << utau / nu << ")/0.41+5.2)\" [m/s];\n"
      << "Function EddyKineticEnergy \"" << utau * utau / 0.3 << "\" [m2/s2];\n"
      << "Function EddyLength \"" << EddyLength(model, y) << "\" [m];\n";
    c.initial = s.str();
  }

  // The length scale the model reads from "EddyLength", as a function text of the wall distance
  // `y` (delta = 1): Prandtl's mixing length 0.41 y with Escudier's ceiling 0.09 delta, l_m =
  // 0.09 tanh(0.41 y / 0.09), for the mixing-length model (nu_t = l_m^2 |S|); 0.09^(1/4) l_m for
  // the models of nu_t = l sqrt(k), which then give 0.41 u_tau y in the log layer.
  static std::string EddyLength(const std::string& model, const std::string& y) {
    const std::string lm = "0.09*tanh(4.5556*" + y + ")";
    return model == "Solve_Mixing_Length" ? lm : "0.54772*" + lm;
  }

  // The distance from the nearer wall as a function text of Y.
  std::string Distance() const { return "(" + Precise(h) + "-abs(Y-" + Precise(h) + ")+" + Precise(offset) + ")"; }

  // The start far from the channel's own state: u = 1 (about the bulk speed) and k = u_tau^2 /
  // 0.3 everywhere, and a uniform length 0.05 but for the models whose length is a part of the
  // model (k-l and the mixing length), which keep theirs.
  void StartUniform(const std::string& model) {
    std::ostringstream s;
    s.precision(17);
    const std::string y = Distance();
    const bool ownLength = model == "Solve_Mixing_Length" || model == "Solve_Kinetic_Energy";
    s << "Function VelocityX \"1\" [m/s];\nFunction EddyKineticEnergy \"" << utau * utau / 0.3 << "\" [m2/s2];\n"
      << "Function EddyLength \"" << (ownLength ? EddyLength(model, y) : "0.05") << "\" [m];\n";
    c.initial = s.str();
  }

  // y+ of row j (lower half).
  double Yplus(std::size_t j) const { return (c.ys[j] + offset) * utau / nu; }

  // The figures of a run from its .res text, .for text and standard output.
  ChannelFigures Measure(const std::string& res, const std::string& forces, const std::string& out) const {
    ChannelFigures g;
    const std::vector<double> u = c.Profile(res);
    // The wall layers below the wall nodes follow the law's profile: nu times the integral of u+
    // over 0 <= y+ <= 30 each (Simpson's rule).
    double layer = 0;
    const int n = 600;
    for (int i = 0; i <= n; ++i) layer += (i == 0 || i == n ? 1 : i % 2 ? 4 : 2) * ReichardtUplus(30.0 * i / n);
    double flux = 2 * nu * layer * (30.0 / n) / 3;
    for (std::size_t j = 0; j + 1 < u.size(); ++j) flux += 0.5 * (u[j] + u[j + 1]) * (c.ys[j + 1] - c.ys[j]);
    g.um = flux / 2;
    g.rem = g.um * 2 / nu;
    g.cfDean = 2 * utau * utau / (g.um * g.um) / (0.073 * std::pow(g.rem, -0.25));
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t j = 0; j < u.size() && c.ys[j] <= h; ++j) {
      const double yp = Yplus(j);
      if (yp < 50 || yp > 400) continue;
      const double l = std::log(yp), up = u[j] / utau;
      sx += l, sy += up, sxx += l * l, sxy += l * up, ++g.logNodes;
      g.uplusDev = std::fmax(g.uplusDev, std::fabs(up / (l / 0.41 + 5.2) - 1));
    }
    const double m = g.logNodes;
    if (g.logNodes > 1) g.kappa = (m * sxx - sx * sx) / (m * sxy - sx * sy);
    g.balance = WallBalance(forces, c.rho * c.f * c.lx * 2 * h);
    g.steadyStep = SteadyStepIn(out);
    return g;
  }
};

// What a wall-resolved channel run gave (see WallResolvedChannel::Measure).
struct ResolvedFigures {
  double ubPlus = 0;    // bulk speed over u_tau
  double cfRatio = 0;   // c_f = 2 / U_b+^2 over the DNS's 2 / 17.5^2
  double uplusDev = 0;  // largest |u+ / reference - 1| over 1 <= y+ <= 300 (see Reference)
  double worstYplus = 0;  // where it is
  int checked = 0;      // nodes in that range
  double balance = 0;   // viscous force of both walls in the last .for line over the drive
  int steadyStep = 0;   // step of "Steady State Found." (0 when the run did not get there)
};

// The fully developed channel of half-height delta = 1 at Re_tau = u_tau delta / nu with the
// wall resolved: no-slip "V_fixWall" walls, the first row `firstYplus` (<= 1) wall units off
// them, rows growing geometrically to the middle, `half` cells per half, two along x. u_tau =
// 1 / 17.5, so the bulk speed is near 1 when U_b+ is near the DNS's 17.5; the drive f =
// u_tau^2 / delta puts u_tau^2 on each wall. The run starts from Reichardt's u+, k =
// u_tau^2 / 0.3 (1 - e^(-y+ / 10))^2 and the length of WallFunctionChannel::EddyLength with van
// Driest's damping 1 - e^(-y+ / 26), so that k, nu_t and epsilon vanish at the walls as a
// resolved wall layer has them (the low-Reynolds models lose their turbulence to the
// dissipation of a wall layer started at the log layer's k and nu_t), and stops at the steady
// state ("SteadyNorm" `steadyNorm`) or after `c.steps`. The walls fix k (to its floor) and leave
// epsilon free, so its flux through them is zero; the clamps are wide, the floors of k and nu_t
// far below their wall-layer values.
struct WallResolvedChannel {
  double retau = 395, nu = 0, utau = 1 / 17.5;
  WallChannel c;

  static constexpr const char* kCards =
      "KenrMinimum 1e-6 KenrMaximum 100 EpslMinimum 1e-7 EpslMaximum 1000 TVscMinimum 1e-6 TVscMaximum 100 "
      "EddyKEnergy_Production_Limit 20 Epsilon_Production_Limit 2000 Epsilon_Reaction_Limit 1e20 "
      "Omega_Production_Limit 2000 Omega_Reaction_Limit 1e20 EddyViscoT_Production_Limit 2000 "
      "EddyViscoT_Reaction_Limit 2000";

  WallResolvedChannel(const std::string& model, double re, int half, const std::string& dt, double firstYplus = 1,
                      const std::string& steadyNorm = "1e-6")
      : retau(re) {
    nu = utau / retau;
    c.lx = 0.05, c.nu = nu, c.f = utau * utau, c.dt = dt, c.steps = 5000;
    c.ys = MirroredRows(firstYplus * nu / utau, 1, half);
    c.wall = "V_fixWall";
    c.fluid = "SteadyNorm " + steadyNorm + " " + model + " " + kCards;
    c.tolerance = "VelConvergenceNorm 1e-6 PreConvergenceNorm 1e-6";
    const std::string y = "(1-abs(Y-1))", yp = y + "*" + Precise(utau / nu);
    std::ostringstream s;
    s.precision(17);
    s << "Function VelocityX \"" << utau << "*(7.8*(1-exp(-" << yp << "/11)-" << yp << "/11*exp(-0.33*" << yp
      << "))+2.5*ln(1+0.41*" << yp << "))\" [m/s];\n"
      << "Function EddyKineticEnergy \"" << utau * utau / 0.3 << "*(1-exp(-" << yp << "/10))^2\" [m2/s2];\n"
      << "Function EddyLength \"" << WallFunctionChannel::EddyLength(model, y) << "*(1-exp(-" << yp
      << "/26))\" [m];\n";
    c.initial = s.str();
  }

  // y+ of row j (lower half).
  double Yplus(std::size_t j) const { return c.ys[j] * utau / nu; }

  // The reference u+ at y+: the DNS's viscous sublayer u+ = y+ below 5, the log law ln y+ / 0.41
  // + 5.2 from 30 on, and between them Reichardt's profile, which joins the two.
  static double Reference(double yplus) {
    return yplus < 5 ? yplus : yplus >= 30 ? std::log(yplus) / 0.41 + 5.2 : ReichardtUplus(yplus);
  }

  // The figures of a run from its .res text, .for text and standard output.
  ResolvedFigures Measure(const std::string& res, const std::string& forces, const std::string& out) const {
    ResolvedFigures g;
    const std::vector<double> u = c.Profile(res);
    double flux = 0;
    for (std::size_t j = 0; j + 1 < u.size(); ++j) flux += 0.5 * (u[j] + u[j + 1]) * (c.ys[j + 1] - c.ys[j]);
    g.ubPlus = flux / 2 / utau;
    g.cfRatio = (2 / (g.ubPlus * g.ubPlus)) / (2 / (17.5 * 17.5));
    for (std::size_t j = 0; j < u.size() && c.ys[j] <= 1; ++j) {
      const double yp = Yplus(j);
      if (yp < 1 || yp > 300) continue;
      ++g.checked;
      const double d = std::fabs(u[j] / utau / Reference(yp) - 1);
      if (d > g.uplusDev) g.uplusDev = d, g.worstYplus = yp;
    }
    g.balance = WallBalance(forces, c.rho * c.f * c.lx * 2);
    g.steadyStep = SteadyStepIn(out);
    return g;
  }
};

}  // namespace olvu_test
