// The water slab of the free-surface runs: a grid of fluid with a free-surface set on one face.
#pragma once

#include <cmath>
#include <sstream>
#include <string>

#include "tests/driver/run_olvu.h"
#include "tests/model/channelrun.h"

namespace olvu_test {

// The slab [0, lx] x [0, 0.1] x [0, depth] of nx x 1 x nz cells of six tetrahedra with a
// free-surface set on its top (or, with `onTop` false, its bottom) face, whose nodes stand at
// z = depth + eta(x); in a plane run the section [0, lx] x [0, depth] of nx x nz cells of two
// triangles, with a set of lines on its top.
struct Slab {
  FlowRun f;
  std::string frees = "Integration_Scheme Crank_Nicolson Time_Ratio 1";
  std::string results;   // a results selection card ("" writes every result)
  double depth = 0.5;
  double amplitude = 0;  // eta(x) = amplitude cos(pi x / lx)
  bool onTop = true;
  bool plane;

  Slab(int nx, int nz, int steps, double dt, bool twoD = false) : plane(twoD) {
    f.grid.kind = plane ? GridKind::Tri3 : GridKind::Tet4;
    f.grid.nx = nx, f.grid.ny = plane ? nz : 1, f.grid.nz = plane ? 1 : nz;
    f.grid.lx = 1, f.grid.ly = plane ? 0.5 : 0.1, f.grid.lz = 0.5;
    f.grid.flags = "Solve_NavierStokes Solve_Transpiration";
    f.grid.properties = "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"1e-4\" [Kg/m.s];\n";
    f.steps = steps, f.output = 1;
    std::ostringstream s;
    s.precision(17);
    s << dt;
    f.dt = s.str();
    f.gravity = plane ? "0 -9.81 0" : "0 0 -9.81";
    const GridLayout g = f.grid;
    // Slip walls: end walls x = 0 and x = lx, the bottom and (3D) the symmetry planes y = 0, ly.
    f.condition = [g, twoD](int i, int j, int k) {
      const int ends = i == 0 || i == g.nx;
      if (twoD) return Line(g.Id(i, j), "Velc 0 0 0 Fix " + std::to_string(ends) + " " + std::to_string(j == 0) + " 0");
      return Line(g.Id(i, j, k), "Velc 0 0 0 Fix " + std::to_string(ends) + " 1 " + std::to_string(k == 0));
    };
  }
  // Cells across the depth and the node of the (front) surface at x_i.
  int Layers() const { return plane ? f.grid.ny : f.grid.nz; }
  int Surface(int i) const { return plane ? f.grid.Id(i, f.grid.ny) : f.grid.Id(i, 0, f.grid.nz); }

  std::string Text() const {
    const GridLayout& g = f.grid;
    std::ostringstream physical, nodes, set;
    physical << "[m/s2] Pres_Origin 0 " << (plane ? depth : 0.0) << " " << (plane ? 0.0 : depth) << " [m];\n" << results;
    std::string t = Replace(f.Text(), "[m/s2];\n", physical.str());
    nodes.precision(17);
    const int nz = Layers();
    for (int k = 0; k <= nz; ++k)
      for (int j = 0; j <= (plane ? 0 : 1); ++j)
        for (int i = 0; i <= g.nx; ++i) {
          const double x = g.lx * i / g.nx, z = depth * k / nz, top = k == nz ? z + amplitude * std::cos(M_PI * x / g.lx) : z;
          if (plane) nodes << g.Id(i, k) << " " << x << " " << top << " 0\n";
          else nodes << g.Id(i, j, k) << " " << x << " " << g.ly * j << " " << top << "\n";
        }
    const int face = onTop ? nz : 0;
    set << "Set 2 Type FreeS Name Surface " << (plane ? "ElmType Linear NNode 2 " : "") << frees << ";\nElements\n";
    for (int i = 0; i < g.nx; ++i) {
      if (plane) {
        set << i + 1 << " " << g.Id(i, face) << " " << g.Id(i + 1, face) << "\n";
        continue;
      }
      const int a = g.Id(i, 0, face), b = g.Id(i + 1, 0, face), c = g.Id(i + 1, 1, face), d = g.Id(i, 1, face);
      set << 2 * i + 1 << " " << a << " " << b << " " << c << "\n" << 2 * i + 2 << " " << a << " " << c << " " << d << "\n";
    }
    set << "End Elements\n";
    const auto from = t.find("Nodes;\n") + 7, to = t.find("FluidDefinition");
    t.replace(from, to - from, nodes.str());
    const std::string end = "End Elements\nEndElmSets;\n";
    t.replace(t.find(end), end.size(), "End Elements\n" + set.str() + "EndElmSets;\n");
    return t;
  }
  Outcome Run(const Folder& dir) const {
    dir.write("flow.dat", Text());
    if (plane) return dir.olvu({"-name", "flow.dat"});
    return dir.olvu({"-name", "flow.dat", "-3D"});
  }
};

}  // namespace olvu_test
