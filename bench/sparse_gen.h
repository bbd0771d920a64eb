// Generated meshes for the sparse benchmarks: structured triangle and tetrahedron grids in
// natural or shuffled node numbering, their element tables as system meshes, and P1 element
// matrices. Header-only; shared by every part of the sparse_bench binary.
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include "foundation/intvec.h"
#include "foundation/matrix.h"
#include "foundation/plex.h"
#include "mesh/elem.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "solvers/sparsematrix.h"

namespace sparse_gen {

/// A generated simplex mesh: coordinates (3 per node) and 0-based connectivity.
struct GenMesh {
  int dim = 2;              ///< 2 triangles, 3 tetrahedra
  int nnodes = 0;           ///< node count
  int npe = 3;              ///< nodes per element
  std::vector<double> xyz;  ///< x, y, z of every node
  std::vector<int> conn;    ///< npe node indices per element
  int nelems() const { return static_cast<int>(conn.size()) / npe; }
};

/// Renumbers the nodes by a fixed random permutation (coordinates follow their nodes).
inline void Shuffle(GenMesh& g, unsigned seed = 12345) {
  std::vector<int> perm(g.nnodes);
  std::iota(perm.begin(), perm.end(), 0);
  std::shuffle(perm.begin(), perm.end(), std::mt19937(seed));
  std::vector<double> xyz(g.xyz.size());
  for (int i = 0; i < g.nnodes; ++i)
    for (int c = 0; c < 3; ++c) xyz[3 * perm[i] + c] = g.xyz[3 * i + c];
  g.xyz.swap(xyz);
  for (int& v : g.conn) v = perm[v];
}

/// m x m node grid of the unit square, two triangles per cell (m = round(sqrt(target))).
inline GenMesh TriGrid(int target, bool shuffled) {
  const int m = std::max(2, static_cast<int>(std::lround(std::sqrt(static_cast<double>(target)))));
  GenMesh g;
  g.dim = 2;
  g.npe = 3;
  g.nnodes = m * m;
  g.xyz.resize(3 * g.nnodes);
  for (int j = 0; j < m; ++j)
    for (int i = 0; i < m; ++i) {
      const int n = i + m * j;
      g.xyz[3 * n] = i / (m - 1.0);
      g.xyz[3 * n + 1] = j / (m - 1.0);
      g.xyz[3 * n + 2] = 0.0;
    }
  g.conn.reserve(6 * (m - 1) * (m - 1));
  for (int j = 0; j + 1 < m; ++j)
    for (int i = 0; i + 1 < m; ++i) {
      const int a = i + m * j, b = a + 1, c = a + m, d = c + 1;
      g.conn.insert(g.conn.end(), {a, b, d, a, d, c});
    }
  if (shuffled) Shuffle(g);
  return g;
}

/// m x m x m node grid of the unit cube, six tetrahedra per cell (m = round(cbrt(target))).
inline GenMesh TetGrid(int target, bool shuffled) {
  const int m = std::max(2, static_cast<int>(std::lround(std::cbrt(static_cast<double>(target)))));
  GenMesh g;
  g.dim = 3;
  g.npe = 4;
  g.nnodes = m * m * m;
  g.xyz.resize(3 * g.nnodes);
  for (int k = 0; k < m; ++k)
    for (int j = 0; j < m; ++j)
      for (int i = 0; i < m; ++i) {
        const int n = i + m * (j + m * k);
        g.xyz[3 * n] = i / (m - 1.0);
        g.xyz[3 * n + 1] = j / (m - 1.0);
        g.xyz[3 * n + 2] = k / (m - 1.0);
      }
  // Kuhn subdivision: every tetrahedron runs from corner 0 to corner 7 of its cell.
  static const int kTets[6][4] = {{0, 1, 3, 7}, {0, 1, 5, 7}, {0, 2, 3, 7},
                                  {0, 2, 6, 7}, {0, 4, 5, 7}, {0, 4, 6, 7}};
  g.conn.reserve(24 * (m - 1) * (m - 1) * (m - 1));
  for (int k = 0; k + 1 < m; ++k)
    for (int j = 0; j + 1 < m; ++j)
      for (int i = 0; i + 1 < m; ++i) {
        int corner[8];
        for (int c = 0; c < 8; ++c) corner[c] = (i + (c & 1)) + m * ((j + ((c >> 1) & 1)) + m * (k + ((c >> 2) & 1)));
        for (const auto& t : kTets)
          for (int v : t) g.conn.push_back(corner[v]);
      }
  if (shuffled) Shuffle(g);
  return g;
}

/// The mesh as system objects: a node table (problem-wide numbers 1..n) and one element set.
struct SystemMesh {
  Plex<Node> nodes{100, "Nodes"};
  Plex<Mesh> meshes{5, "Meshes"};
  Mesh* mesh = nullptr;

  explicit SystemMesh(const GenMesh& g) {
    for (int i = 0; i < g.nnodes; ++i) {
      Node* nd = new Node(3);
      nd->num[0] = i + 1;
      for (int c = 0; c < 3; ++c) (*nd)[c] = g.xyz[3 * i + c];
      nodes.set_at(i + 1, nd);
    }
    mesh = new Mesh(&nodes, 100, 3, g.dim == 2 ? Triangle : Tetrahedra, g.npe);
    Plex<Elem>* elems = mesh->GiveElemPlex();
    for (int e = 0; e < g.nelems(); ++e) {
      Elem* el = new Elem(mesh);
      for (int a = 0; a < g.npe; ++a) (*el)(a) = nodes.get_at(g.conn[g.npe * e + a] + 1);
      el->NewNum(e + 1);
      elems->set_at(e + 1, el);
    }
    meshes.set_at(1, mesh);
  }
  ~SystemMesh() {
    int i = 0;
    for (Elem* e = mesh->giveNextElm(i); e; e = mesh->giveNextElm(i)) delete e;
    i = 0;
    for (Node* nd = nodes.next(i); nd; nd = nodes.next(i)) delete nd;
    meshes.clear();
    delete mesh;
  }
  SystemMesh(const SystemMesh&) = delete;
  SystemMesh& operator=(const SystemMesh&) = delete;
};

/// P1 stiffness (Laplacian) and mass matrices of element e, npe x npe, row-major into k and m.
inline void P1Element(const GenMesh& g, int e, double* k, double* m) {
  const int d = g.dim, n = g.npe;
  const int* v = &g.conn[n * e];
  double J[3][3];  // columns p_a - p_0
  for (int a = 1; a <= d; ++a)
    for (int c = 0; c < d; ++c) J[c][a - 1] = g.xyz[3 * v[a] + c] - g.xyz[3 * v[0] + c];
  double det, inv[3][3];
  if (d == 2) {
    det = J[0][0] * J[1][1] - J[0][1] * J[1][0];
    inv[0][0] = J[1][1] / det;
    inv[0][1] = -J[0][1] / det;
    inv[1][0] = -J[1][0] / det;
    inv[1][1] = J[0][0] / det;
  } else {
    det = J[0][0] * (J[1][1] * J[2][2] - J[1][2] * J[2][1]) - J[0][1] * (J[1][0] * J[2][2] - J[1][2] * J[2][0]) +
          J[0][2] * (J[1][0] * J[2][1] - J[1][1] * J[2][0]);
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) {
        const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
        inv[r][c] = (J[r1][c1] * J[r2][c2] - J[r1][c2] * J[r2][c1]) / det;
      }
  }
  const double vol = std::fabs(det) / (d == 2 ? 2.0 : 6.0);
  double grad[4][3];  // gradient of the shape function of node a: rows of inv, node 0 their negated sum
  for (int c = 0; c < d; ++c) {
    grad[0][c] = 0.0;
    for (int a = 1; a <= d; ++a) {
      grad[a][c] = inv[a - 1][c];
      grad[0][c] -= inv[a - 1][c];
    }
  }
  const double mdiag = vol / (d == 2 ? 6.0 : 10.0), moff = vol / (d == 2 ? 12.0 : 20.0);
  for (int a = 0; a < n; ++a)
    for (int b = 0; b < n; ++b) {
      double s = 0.0;
      for (int c = 0; c < d; ++c) s += grad[a][c] * grad[b][c];
      k[n * a + b] = vol * s;
      m[n * a + b] = (a == b) ? mdiag : moff;
    }
}

/// Clears a and assembles the P1 Laplacian (mass when `mass`) of the mesh into it.
inline void AssembleP1(const GenMesh& g, SparseMatrix& a, bool mass) {
  const int n = g.npe;
  IntVec nodes(n, 0);
  Matrix k(n, n), m(n, n);
  a.NullifyMatrix();
  for (int e = 0; e < g.nelems(); ++e) {
    P1Element(g, e, &k(1, 1), &m(1, 1));
    for (int t = 0; t < n; ++t) nodes[t] = g.conn[n * e + t];
    a.addToLhs(nodes, mass ? m : k);
  }
}

}  // namespace sparse_gen
