// Data files of moving bodies for the body runs: a square body in a closed box of fluid, and a
// floating box in a block of water; and the columns of a movement table and the vectors of a
// restart file.
#pragma once

#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace olvu_test {

/// The box [0, 1] x [0, 1] of fluid on n x n cells of two triangles, less the square body
/// [0.4, 0.6]^2 in its middle (the moving set "Square", mass `mass`, radius of gyration
/// 0.2 / sqrt(6), centre (0.5, 0.5), its card ending with `card`): no-slip walls held by
/// "Fix_Null" in the mesh deformation "ByBodies", pressure fixed at the corner (0, 1).
/// Without `body` the hole is fluid too and the mesh moves "ByAllData": the top wall by the
/// functions `deformX`, `deformY` ("Fix_Field"), the bottom held.
struct SquareInBox {
  int n = 10, steps = 10, out = 0, iterations = 1;
  std::string dt = "0.05", rho = "1e-6", mu = "1e-9", gravity = "0", mass = "1", scheme = "Backward_Euler";
  std::string card, initial, tolerance = "1e-6", deformX = "0", deformY = "0";
  bool body = true, restart = false;

  int Lo() const { return 2 * n / 5; }
  int Hi() const { return 3 * n / 5; }
  /// A node inside the body (not in the data), a cell of the fluid.
  bool Hole(int i, int j) const { return body && Lo() < i && i < Hi() && Lo() < j && j < Hi(); }
  bool Cell(int i, int j) const { return !(body && Lo() <= i && i < Hi() && Lo() <= j && j < Hi()); }
  /// Node numbers in row order, skipping the nodes inside the hole.
  std::vector<int> Ids() const {
    std::vector<int> id(std::size_t((n + 1) * (n + 1)), 0);
    int k = 0;
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i)
        if (!Hole(i, j)) id[std::size_t(j * (n + 1) + i)] = ++k;
    return id;
  }
  int Id(int i, int j) const { return Ids()[std::size_t(j * (n + 1) + i)]; }

  std::string Text() const {
    const std::vector<int> id = Ids();
    auto at = [&](int i, int j) { return id[std::size_t(j * (n + 1) + i)]; };
    const int lo = Lo(), hi = Hi();
    std::ostringstream s;
    s.precision(17);
    s << "OLVU_2D;\nProblemDefinition;\nGeneralData Number_of_Steps " << steps << " Time_Increment \"" << dt
      << "\" [s] OutPut_Step " << (out ? out : steps) << " Max_Iterations " << iterations << (restart ? " Restart" : "")
      << ";\nPhysicalData Gravity 0 " << gravity << " 0 [m/s2] Pres_Origin 0 1 0 [m];\nNodes;\n";
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i)
        if (at(i, j)) s << at(i, j) << " " << double(i) / n << " " << double(j) / n << " 0\n";
    s << "FluidDefinition Solve_NavierStokes Solve_Mesh_Deformation MeshDeformationType "
      << (body ? "ByBodies" : "ByAllData") << " Integration_Scheme " << scheme << ";\nInitialDataFunctions;\n"
      << initial << "EndInitialDataFunctions;\nMeshDeformationFunctions MeshDeformationX \"" << deformX
      << "\" [m] MeshDeformationY \"" << deformY << "\" [m] MeshDeformationZ \"0\" [m];\n"
      << "ElmSets;\nSet 1 Type Fluid ElmType Triangle NNode 3 Name Water;\nPhysicalPropertiesFunctions;\n"
         "Function Density \"" << rho << "\" [Kg/m3];\nFunction Viscosity \"" << mu
      << "\" [Kg/m.s];\nEndPhysicalPropertiesFunctions;\nElements\n";
    int e = 0;
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        if (!Cell(i, j)) continue;
        s << ++e << " " << at(i, j) << " " << at(i + 1, j) << " " << at(i + 1, j + 1) << "\n";
        s << ++e << " " << at(i, j) << " " << at(i + 1, j + 1) << " " << at(i, j + 1) << "\n";
      }
    s << "End Elements\n";
    if (body) {
      s << "Set 2 Type WBody ElmType Linear NNode 2 Name Square V_fixWall Mass " << mass
        << " [Kg] Radii_of_Gyration 0.08164965809277261 0.08164965809277261 0.08164965809277261 [m] "
           "Center_of_Gravity GOX \"0.5\" [m] GOY \"0.5\" [m] GOZ \"0\" [m] "
        << card << ";\nPhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\nElements\n";
      // Round the hole clockwise: the fluid on the left of every edge.
      e = 0;
      for (int i = hi; i > lo; --i) s << ++e << " " << at(i, lo) << " " << at(i - 1, lo) << "\n";
      for (int j = lo; j < hi; ++j) s << ++e << " " << at(lo, j) << " " << at(lo, j + 1) << "\n";
      for (int i = lo; i < hi; ++i) s << ++e << " " << at(i, hi) << " " << at(i + 1, hi) << "\n";
      for (int j = hi; j > lo; --j) s << ++e << " " << at(hi, j) << " " << at(hi, j - 1) << "\n";
      s << "End Elements\n";
    }
    s << "EndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n";
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i) {
        if (i != 0 && i != n && j != 0 && j != n) continue;
        if (i == 0 && j == n) s << "Node " << at(i, j) << " Pres 0;\n";
        s << "Node " << at(i, j) << " Velc 0 0 0;\n";
        if (body || j == 0) s << "Node " << at(i, j) << " DMesh Fix_Null;\n";
        else if (j == n) s << "Node " << at(i, j) << " DMesh Fix_Field;\n";
      }
    s << "EndBoundary;\nTotalDefinition;\nToleranceData VelConvergenceNorm " << tolerance << " PreConvergenceNorm "
      << tolerance << ";\nElmSets;\nEndElmSets;\nEndProblem;\n";
    return s.str();
  }
};

/// Water around a box L x B x T whose top is the water level: a block 3L x 3B x 2T of cells
/// L/2 x B x T in tetrahedra, less the two cells of the box; the box's bottom and sides are the
/// moving body "BOX" with an automatic mass and the card ending `body`, its centre of gravity at
/// the centre of the box. Gravity -9.81 along z, water density 1000, pressure origin at the water
/// level. With `held` the outer faces but the top are no-slip walls held in the mesh deformation.
struct FloatingBox {
  double L = 2, B = 1, T = 0.5;
  int steps = 1, out = 0, iterations = 1;
  std::string dt = "0.1", body;
  bool held = false, restart = false;

  std::string Text() const {
    const int nx = 6, ny = 3, nz = 2;
    const double h[3] = {L / 2, B, T};
    auto id = [&](int i, int j, int k) { return 1 + i + (nx + 1) * (j + (ny + 1) * k); };
    auto box = [](int i, int j, int k) { return i >= 2 && i < 4 && j == 1 && k == 1; };
    std::ostringstream s;
    s.precision(17);
    s << "OLVU_3D;\nProblemDefinition;\nGeneralData Number_of_Steps " << steps << " Time_Increment \"" << dt
      << "\" [s] OutPut_Step " << (out ? out : steps) << " Max_Iterations " << iterations << (restart ? " Restart" : "")
      << ";\nPhysicalData Gravity 0 0 -9.81 [m/s2] Pres_Origin 0 0 " << 2 * T << " [m];\nNodes;\n";
    for (int k = 0; k <= nz; ++k)
      for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i) s << id(i, j, k) << " " << h[0] * i << " " << h[1] * j << " " << h[2] * k << "\n";
    s << "FluidDefinition Solve_NavierStokes Solve_Mesh_Deformation MeshDeformationType ByBodies Integration_Scheme "
         "Backward_Euler;\nInitialDataFunctions;\nEndInitialDataFunctions;\nMeshDeformationFunctions "
         "MeshDeformationX \"0\" [m] MeshDeformationY \"0\" [m] MeshDeformationZ \"0\" [m];\n"
         "ElmSets;\nSet 1 Type Fluid ElmType Tetrahedra NNode 4 Name Water;\nPhysicalPropertiesFunctions;\n"
         "Function Density \"1000\" [Kg/m3];\nFunction Viscosity \"0.001\" [Kg/m.s];\nEndPhysicalPropertiesFunctions;\n"
         "Elements\n";
    // Six tetrahedra per cell around its main diagonal; an odd path has its last two nodes swapped
    // so that every volume is positive.
    const int paths[6][3] = {{1, 2, 4}, {1, 4, 2}, {2, 1, 4}, {2, 4, 1}, {4, 1, 2}, {4, 2, 1}};
    const bool odd[6] = {false, true, true, false, false, true};
    int e = 0;
    for (int k = 0; k < nz; ++k)
      for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
          if (box(i, j, k)) continue;
          for (int t = 0; t < 6; ++t) {
            int bits = 0, v[4];
            v[0] = id(i, j, k);
            for (int q = 0; q < 3; ++q) {
              bits |= paths[t][q];
              v[q + 1] = id(i + (bits & 1), j + ((bits >> 1) & 1), k + ((bits >> 2) & 1));
            }
            if (odd[t]) std::swap(v[2], v[3]);
            s << ++e << " " << v[0] << " " << v[1] << " " << v[2] << " " << v[3] << "\n";
          }
        }
    s << "End Elements\nSet 2 Type WBody ElmType Triangle NNode 3 Name BOX V_fixWall Auto_Body_Mass "
         "Radii_of_Gyration 1 1 1 [m] Center_of_Gravity GOX \"" << 1.5 * L << "\" [m] GOY \"" << 1.5 * B
      << "\" [m] GOZ \"" << 1.5 * T << "\" [m]" << body
      << ";\nPhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\nElements\n";
    // Two triangles per face quad; the domain orients them.
    e = 0;
    auto quad = [&](int a, int b, int c, int d) {
      s << ++e << " " << a << " " << b << " " << c << "\n";
      s << ++e << " " << a << " " << c << " " << d << "\n";
    };
    for (int i = 2; i < 4; ++i) {
      quad(id(i, 1, 1), id(i + 1, 1, 1), id(i + 1, 2, 1), id(i, 2, 1));
      quad(id(i, 1, 1), id(i + 1, 1, 1), id(i + 1, 1, 2), id(i, 1, 2));
      quad(id(i, 2, 1), id(i + 1, 2, 1), id(i + 1, 2, 2), id(i, 2, 2));
    }
    quad(id(2, 1, 1), id(2, 2, 1), id(2, 2, 2), id(2, 1, 2));
    quad(id(4, 1, 1), id(4, 2, 1), id(4, 2, 2), id(4, 1, 2));
    s << "End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n";
    if (held)
      for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
          for (int i = 0; i <= nx; ++i)
            if (i == 0 || i == nx || j == 0 || j == ny || k == 0)
              s << "Node " << id(i, j, k) << " Velc 0 0 0;\nNode " << id(i, j, k) << " DMesh Fix_Null;\n";
    s << "EndBoundary;\nTotalDefinition;\nToleranceData VelConvergenceNorm 1e-6 PreConvergenceNorm 1e-6;\nElmSets;\n"
         "EndElmSets;\nEndProblem;\n";
    return s.str();
  }
};

/// Column `col` (0 the time, 2 to 4 the translation, 5 to 7 the rotation in degrees) of every
/// line of a movement table with one body.
inline std::vector<double> MovementColumn(const std::string& mov, int col) {
  std::vector<double> out;
  std::istringstream in(mov);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    std::istringstream f(line);
    std::string field;
    for (int k = 0; k <= col && std::getline(f, field, '\t'); ++k)
      if (k == col) out.push_back(std::stod(field));
  }
  return out;
}

/// The vector `key` of a restart file ("key\tlen = n;" and n values).
inline std::vector<double> RestartVector(const std::string& rst, const std::string& key) {
  std::vector<double> out;
  const auto at = rst.find(key + "\tlen = ");
  if (at == std::string::npos) return out;
  std::istringstream in(rst.substr(at + key.size() + 7));
  int n = 0;
  char semi;
  in >> n >> semi;
  for (double v; int(out.size()) < n && in >> v;) out.push_back(v);
  return out;
}

/// Occurrences of `what` in `text`.
inline int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace olvu_test
