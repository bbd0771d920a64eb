// Whole flow runs of the program on structured grids: the data file of a grid with boundary
// lines per lattice point and the Poiseuille channel with its measures (velocity error, pressure
// gradient, outlet pressure); the wall-law channels are in wallchannel.h.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"
#include "tests/model/gridcase.h"
#include "tests/model/wallchannel.h"

namespace olvu_test {

// A whole data file on a grid: general data, the grid's fluid block, the boundary lines given
// by `condition` per lattice point (empty for none) and one tolerance for every field, so that
// the steady norm is not lowered below it.
struct FlowRun {
  GridLayout grid;
  int steps = 200;
  int output = 0;  // steps between result blocks (0: only at the last step)
  std::string dt = "0.5";
  std::string gravity = "0 0 0";
  std::string solvers;     // solver cards after the initial data
  std::string tol = "1e-4";  // every convergence tolerance, and so the largest steady norm
  std::string tolerances;    // the tolerance card's words instead of `tol` for all six, when given
  int iterations = 5;        // Max_Iterations
  std::function<std::string(int i, int j, int k)> condition;

  std::string Text() const {
    std::string body = grid.Text();
    body = body.substr(0, body.rfind("End;\n"));
    if (!solvers.empty()) body = Replace(body, "EndInitialDataFunctions;\n", "EndInitialDataFunctions;\n" + solvers);
    std::ostringstream s;
    s << (grid.Solid() ? "OLVU_3D;\n" : "OLVU_2D;\n") << "ProblemDefinition;\nGeneralData Number_of_Steps " << steps
      << " Time_Increment \"" << dt << "\" [s] OutPut_Step " << (output ? output : steps) << " Max_Iterations " << iterations << ";\nPhysicalData Gravity "
      << gravity << " [m/s2];\n"
      << body << "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n";
    for (int k = 0; k < grid.Pz(); ++k)
      for (int j = 0; j < grid.Py(); ++j)
        for (int i = 0; i < grid.Px(); ++i) {
          const std::string c = condition(i, j, k);
          if (!c.empty()) s << c;
        }
    s << "EndBoundary;\nTotalDefinition;\nToleranceData";
    if (!tolerances.empty()) s << " " << tolerances;
    else
      for (const char* w : {"Vel", "Pre", "Tem", "Con", "Bet", "Phi"}) s << " " << w << "ConvergenceNorm " << tol;
    s << ";\nElmSets;\nEndElmSets;\nEndProblem;\n";
    return s.str();
  }
  // Runs the file in `dir`; the outcome and the .res text.
  Outcome Run(const Folder& dir, std::string& res) const {
    dir.write("flow.dat", Text());
    std::vector<std::string> args{"-name", "flow.dat"};
    if (grid.Solid()) args.push_back("-3D");
    Outcome r = dir.olvu(args);
    res = dir.read("flow.dat.res");
    return r;
  }
};

inline std::string Line(int node, const std::string& what) { return "Node " + std::to_string(node) + " " + what + ";\n"; }

inline std::string Velocity(double u, double v = 0, double w = 0) {
  std::ostringstream s;
  s.precision(17);
  s << "Velc " << u << " " << v << " " << w;
  return s.str();
}

// The lid-driven cavity of n x n triangle pairs, lid speed 1 (its corners belong to the side
// walls), density 1, viscosity 0.01; `flags` go on the fluid definition card.
inline FlowRun LidCavity(int n, const std::string& flags, int steps, const std::string& dt) {
  FlowRun f;
  f.grid.kind = GridKind::Tri3;
  f.grid.nx = f.grid.ny = n;
  f.grid.flags = flags;
  f.grid.properties = "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"0.01\" [Kg/m.s];\n";
  f.steps = steps;
  f.dt = dt;
  const GridLayout g = f.grid;
  f.condition = [g](int i, int j, int) {
    if (i == 0 || i == g.nx || j == 0) return Line(g.Id(i, j), Velocity(0));
    if (j == g.ny) return Line(g.Id(i, j), Velocity(1));
    return std::string();
  };
  return f;
}

// The channel [0, 4] x [0, 1] of nx x ny cells (two triangles each), density rho and viscosity
// 0.1 rho, the inlet profile 4 y (1 - y), no-slip walls and the outlet pressure `outlet`; it starts
// at rest and runs to steady state.
inline FlowRun Channel(double rho, const std::string& outlet, const std::string& flags = "", int nx = 40, int ny = 10) {
  FlowRun f;
  f.grid.kind = GridKind::Tri3;
  f.grid.nx = nx, f.grid.ny = ny, f.grid.lx = 4, f.grid.ly = 1;
  f.grid.flags = "Solve_NavierStokes SteadyNorm 1e-6 " + flags;
  f.tol = "1e-6";
  std::ostringstream p;
  p << "Function Density \"" << rho << "\" [Kg/m3];\nFunction Viscosity \"" << 0.1 * rho << "\" [Kg/m.s];\n";
  f.grid.properties = p.str();
  const GridLayout g = f.grid;
  f.condition = [g, outlet](int i, int j, int) {
    const int n = g.Id(i, j);
    const double y = double(j) / g.ny;
    if (j == 0 || j == g.ny) return Line(n, Velocity(0));
    if (i == 0) return Line(n, Velocity(4 * y * (1 - y)));
    if (i == g.nx) return Line(n, "Pres " + outlet);
    return std::string();
  };
  return f;
}

struct ChannelResult {
  double velocityError = 0;  // largest nodal |u - u_exact| and |v| over the peak speed 1
  double gradient = 0;       // least-squares dp/dx over every node, in output pressure units
  double outlet = 0;         // pressure at the outlet's middle node
};

inline ChannelResult Measure(const GridLayout& g, const std::string& res) {
  const auto v = LastBlock(res, "VELOCITY");
  const auto p = LastBlock(res, "PRESSURE");
  ChannelResult r;
  double sx = 0, sp = 0, sxx = 0, sxp = 0, n = 0;
  for (int j = 0; j <= g.ny; ++j)
    for (int i = 0; i <= g.nx; ++i) {
      const int id = g.Id(i, j);
      const double y = double(j) / g.ny, x = g.lx * i / g.nx;
      r.velocityError = std::fmax(r.velocityError, std::fabs(v.at(id)[0] - 4 * y * (1 - y)));
      r.velocityError = std::fmax(r.velocityError, std::fabs(v.at(id)[1]));
      const double q = p.at(id)[0];
      sx += x, sp += q, sxx += x * x, sxp += x * q, n += 1;
    }
  r.gradient = (n * sxp - sx * sp) / (n * sxx - sx * sx);
  r.outlet = p.at(g.Id(g.nx, g.ny / 2))[0];
  return r;
}

// A wall channel's run in a folder of its own: the outcome and the files its figures come from.
struct WallChannelRun {
  Outcome o;
  std::string res, forces, err, war;
};

inline WallChannelRun RunWallChannel(const WallChannel& c) {
  Folder dir;
  dir.write("ch.dat", c.Text());
  WallChannelRun r;
  r.o = dir.olvu({"-name", "ch.dat"});
  r.res = dir.read("ch.dat.res"), r.forces = dir.read("ch.dat.for"), r.err = dir.read("ch.dat.err");
  r.war = dir.read("ch.dat.war");
  return r;
}

}  // namespace olvu_test
