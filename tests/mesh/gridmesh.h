// Structured grids of hexahedra, tetrahedra, quadrilaterals and triangles with optional shuffled
// node numbers, for the boundary, wall-distance and interpolation tests.
#pragma once

#include <algorithm>
#include <array>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

#include "tests/mesh/testmesh.h"

namespace olvu_test {

/// A grid of nx x ny x nz unit cells (nz = 0: a plane grid) scaled by h, over a TestMeshes node
/// table; node (i, j, k) has the number num[id(i, j, k)].
struct Grid {
  int nx, ny, nz;
  double h;
  std::vector<int> num;  // problem-wide number of each grid point
  TestMeshes tm;

  Grid(int nx, int ny, int nz, double h = 1.0, unsigned shuffle = 0)
      : nx(nx), ny(ny), nz(nz), h(h), num((nx + 1) * (ny + 1) * (nz + 1)), tm(int(num.size())) {
    std::iota(num.begin(), num.end(), 1);
    if (shuffle) std::shuffle(num.begin(), num.end(), std::mt19937(shuffle));
    for (int k = 0; k <= nz; ++k)
      for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i) {
          Node& nd = *tm.node[num[id(i, j, k)] - 1];
          nd[0] = i * h, nd[1] = j * h, nd[2] = k * h;
        }
  }
  int id(int i, int j, int k) const { return i + (nx + 1) * (j + (ny + 1) * k); }
  int N(int i, int j, int k) const { return num[id(i, j, k)]; }
  /// Corner a (bit 0 x, bit 1 y, bit 2 z) of cell (i, j, k).
  int C(int i, int j, int k, int a) const { return N(i + (a & 1), j + ((a >> 1) & 1), k + ((a >> 2) & 1)); }

  /// Hexahedra of the cells that `keep` accepts (all when empty), shuffled when seed != 0.
  std::vector<std::vector<int>> Hexes(std::function<bool(int, int, int)> keep = {}, unsigned seed = 0) const {
    std::vector<std::vector<int>> out;
    for (int k = 0; k < nz; ++k)
      for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
          if (!keep || keep(i, j, k))
            out.push_back({C(i, j, k, 0), C(i, j, k, 1), C(i, j, k, 3), C(i, j, k, 2), C(i, j, k, 4),
                           C(i, j, k, 5), C(i, j, k, 7), C(i, j, k, 6)});
    if (seed) std::shuffle(out.begin(), out.end(), std::mt19937(seed));
    return out;
  }
  /// Six positive tetrahedra per accepted cell around its main diagonal (a conforming split).
  std::vector<std::vector<int>> Tets(std::function<bool(int, int, int)> keep = {}, unsigned seed = 0) const {
    std::vector<std::vector<int>> out;
    static const int perm[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (int k = 0; k < nz; ++k)
      for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
          if (keep && !keep(i, j, k)) continue;
          for (const auto& p : perm) {
            const int a1 = 1 << p[0], a2 = a1 | (1 << p[1]);
            std::vector<int> t = {C(i, j, k, 0), C(i, j, k, a1), C(i, j, k, a2), C(i, j, k, 7)};
            if (Volume6(t) < 0) std::swap(t[1], t[2]);
            out.push_back(t);
          }
        }
    if (seed) std::shuffle(out.begin(), out.end(), std::mt19937(seed));
    return out;
  }
  /// Quadrilaterals of the plane grid (k = 0), counter-clockwise.
  std::vector<std::vector<int>> Quads(unsigned seed = 0) const {
    std::vector<std::vector<int>> out;
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) out.push_back({C(i, j, 0, 0), C(i, j, 0, 1), C(i, j, 0, 3), C(i, j, 0, 2)});
    if (seed) std::shuffle(out.begin(), out.end(), std::mt19937(seed));
    return out;
  }
  /// Two counter-clockwise triangles per plane cell.
  std::vector<std::vector<int>> Tris(unsigned seed = 0) const {
    std::vector<std::vector<int>> out;
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {
        out.push_back({C(i, j, 0, 0), C(i, j, 0, 1), C(i, j, 0, 3)});
        out.push_back({C(i, j, 0, 0), C(i, j, 0, 3), C(i, j, 0, 2)});
      }
    if (seed) std::shuffle(out.begin(), out.end(), std::mt19937(seed));
    return out;
  }
  /// Six times the signed volume of a tetrahedron of node numbers.
  double Volume6(const std::vector<int>& t) const {
    const Node& a = *tm.node[t[0] - 1];
    double u[3][3];
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) u[r][c] = (*tm.node[t[r + 1] - 1])[c] - a[c];
    return u[0][0] * (u[1][1] * u[2][2] - u[1][2] * u[2][1]) - u[0][1] * (u[1][0] * u[2][2] - u[1][2] * u[2][0]) +
           u[0][2] * (u[1][0] * u[2][1] - u[1][1] * u[2][0]);
  }
};

}  // namespace olvu_test
