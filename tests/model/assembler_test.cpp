// System matrices of element sets: closed forms against hand values, the Gauss path against
// the closed forms, and the invariants every element kind must keep.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "flow/assembler.h"
#include "mesh/csr.h"
#include "solvers/sparsematrix.h"
#include "tests/mesh/testmesh.h"
#include "tests/support/child.h"

namespace {

using olvu_test::RunInChild;
using olvu_test::TestMeshes;

// The matrices and nodal arrays of one assembly over every set of `t` (rows: slot 0).
struct Assembly {
  std::unique_ptr<SparseMatrixStruct> pattern;
  std::unique_ptr<SymmetricSparseMatrix> L, M;
  std::unique_ptr<SystemSparseMatrix> Gx, Gy, Gz;
  std::vector<double> lumped, size, share;

  Assembly(TestMeshes& t, bool gauss) {
    pattern.reset(createSparseMatrixStruct(t.nodes, t.meshes, 0));
    L = std::make_unique<SymmetricSparseMatrix>(pattern.get());
    M = std::make_unique<SymmetricSparseMatrix>(pattern.get());
    Gx = std::make_unique<SystemSparseMatrix>(pattern.get());
    Gy = std::make_unique<SystemSparseMatrix>(pattern.get());
    Gz = std::make_unique<SystemSparseMatrix>(pattern.get());
    const std::size_t n = std::size_t(t.nodes.count);
    lumped.assign(n, 0.0), size.assign(n, 0.0), share.assign(n, 0.0);
    SystemArrays out{pattern.get(), L->sval(0), M->sval(0), Gx->val(0), Gy->val(0), Gz->val(0),
                     lumped.data(),  size.data(), share.data()};
    int i = 0;
    while (Mesh* m = t.meshes.next(i)) AssembleSystemSet(m, "Set", 0, out, gauss);
  }
  // Nodal element size: the weighted element lengths over the nodal volume.
  double h(int node) const { return size[std::size_t(node - 1)] / lumped[std::size_t(node - 1)]; }
  double volume() const {
    double s = 0;
    for (double m : lumped) s += m;
    return s;
  }
};

void Place(TestMeshes& t, int node, double x, double y, double z = 0) {
  (*t.node[std::size_t(node - 1)])(1) = x, (*t.node[std::size_t(node - 1)])(2) = y, (*t.node[std::size_t(node - 1)])(3) = z;
}

// Entry (i, j) of a matrix, 1-based nodes.
double At(SparseMatrix& a, int i, int j) { return a(i - 1, j - 1); }

TEST(SystemMatrices, UnitRightTriangleClosedForm) {
  TestMeshes t(3);
  Place(t, 2, 1, 0), Place(t, 3, 0, 1);
  t.Add(Triangle, 3, {{1, 2, 3}});
  Assembly a(t, false);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(At(*a.M, i, j), i == j ? 1.0 / 12 : 1.0 / 24, 1e-15);
  EXPECT_NEAR(At(*a.L, 1, 1), 1, 1e-15);
  EXPECT_NEAR(At(*a.L, 1, 2), -0.5, 1e-15);
  EXPECT_NEAR(At(*a.L, 1, 3), -0.5, 1e-15);
  const double ell = (2 + std::sqrt(2.0)) / 3;
  for (int i = 1; i <= 3; ++i) {
    EXPECT_NEAR(a.lumped[std::size_t(i - 1)], 1.0 / 6, 1e-15);
    EXPECT_NEAR(At(*a.Gx, i, 1), -1.0 / 6, 1e-15);
    EXPECT_NEAR(At(*a.Gx, i, 2), 1.0 / 6, 1e-15);
    EXPECT_NEAR(At(*a.Gx, i, 3), 0, 1e-15);
    EXPECT_NEAR(a.h(i), ell, 1e-14);
    EXPECT_EQ(At(*a.Gz, i, 1), 0);  // two dimensions: no z derivative
  }
}

// A few P1 triangles and tetrahedra in general position.
void SkewTriangles(TestMeshes& t) {
  Place(t, 1, 0, 0), Place(t, 2, 1.3, 0.2), Place(t, 3, 0.4, 1.1), Place(t, 4, 1.7, 1.4);
  t.Add(Triangle, 3, {{1, 2, 3}, {2, 4, 3}});
}
void SkewTetrahedra(TestMeshes& t) {
  Place(t, 1, 0, 0, 0), Place(t, 2, 1.1, 0.1, 0.2), Place(t, 3, 0.2, 0.9, 0.1), Place(t, 4, 0.1, 0.3, 1.2);
  Place(t, 5, 1.0, 1.0, 1.0);
  t.Add(Tetrahedra, 4, {{1, 2, 3, 4}, {2, 3, 4, 5}});
}

void ExpectSameMatrices(TestMeshes& t) {
  Assembly closed(t, false), gauss(t, true);
  const int n = t.nodes.count;
  for (int i = 1; i <= n; ++i) {
    EXPECT_NEAR(closed.lumped[std::size_t(i - 1)], gauss.lumped[std::size_t(i - 1)], 1e-12);
    EXPECT_NEAR(closed.h(i), gauss.h(i), 1e-12);
    for (int j = 1; j <= n; ++j) {
      const int* rp = closed.pattern->row_ptr(0);
      const int* ci = closed.pattern->col_ind(0);
      if (FindInRow(rp, ci, closed.pattern->diag_first(), closed.pattern->sorted(), i - 1, j - 1) < 0) continue;
      EXPECT_NEAR(At(*closed.L, i, j), At(*gauss.L, i, j), 1e-12) << i << "," << j;
      EXPECT_NEAR(At(*closed.M, i, j), At(*gauss.M, i, j), 1e-12);
      EXPECT_NEAR(At(*closed.Gx, i, j), At(*gauss.Gx, i, j), 1e-12);
      EXPECT_NEAR(At(*closed.Gy, i, j), At(*gauss.Gy, i, j), 1e-12);
      EXPECT_NEAR(At(*closed.Gz, i, j), At(*gauss.Gz, i, j), 1e-12);
    }
  }
}

TEST(SystemMatrices, GaussPathEqualsClosedFormsOnLinearElements) {
  {
    TestMeshes t(4);
    SkewTriangles(t);
    ExpectSameMatrices(t);
  }
  {
    TestMeshes t(5);
    SkewTetrahedra(t);
    ExpectSameMatrices(t);
  }
}

// One element of each kind on its reference-like shape, scaled and shifted.
struct Kind {
  ElemType type;
  int nnode;
  std::vector<std::vector<double>> xyz;
  double measure;
};

std::vector<Kind> Kinds() {
  const std::vector<double> s = {0, 2};  // side 2 for boxes
  std::vector<Kind> k;
  k.push_back({Triangle, 3, {{0, 0, 0}, {2, 0, 0}, {0, 3, 0}}, 3});
  k.push_back({Triangle, 6, {{0, 0, 0}, {2, 0, 0}, {0, 3, 0}, {1, 0, 0}, {1, 1.5, 0}, {0, 1.5, 0}}, 3});
  k.push_back({Quadrilateral, 4, {{0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {0, 3, 0}}, 6});
  k.push_back({Quadrilateral, 8,
               {{0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {0, 3, 0}, {1, 0, 0}, {2, 1.5, 0}, {1, 3, 0}, {0, 1.5, 0}}, 6});
  k.push_back({Quadrilateral, 9,
               {{0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {0, 3, 0}, {1, 0, 0}, {2, 1.5, 0}, {1, 3, 0}, {0, 1.5, 0}, {1, 1.5, 0}},
               6});
  k.push_back({Tetrahedra, 4, {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 3}}, 2});
  k.push_back({Tetrahedra, 10,
               {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 3}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1.5}, {1, 0, 1.5},
                {0, 1, 1.5}},
               2});
    // The first face of a prism is its upper one.
  k.push_back({Prisma, 6, {{0, 0, 3}, {2, 0, 3}, {0, 2, 3}, {0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, 6});
  // Hexahedra: corners of the box [0,2]^3 in node order, then edge mid-points, faces and centre.
  std::vector<std::vector<double>> hex = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0},
                                          {0, 0, 2}, {2, 0, 2}, {2, 2, 2}, {0, 2, 2}};
  k.push_back({Hexahedra, 8, hex, 8});
  std::vector<std::vector<double>> h20 = hex;
  for (auto m : std::vector<std::vector<double>>{{1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}, {0, 0, 1}, {2, 0, 1},
                                                 {2, 2, 1}, {0, 2, 1}, {1, 0, 2}, {2, 1, 2}, {1, 2, 2}, {0, 1, 2}})
    h20.push_back(m);
  k.push_back({Hexahedra, 20, h20, 8});
  std::vector<std::vector<double>> h27 = h20;
  for (auto m : std::vector<std::vector<double>>{{1, 1, 0}, {1, 0, 1}, {2, 1, 1}, {1, 2, 1}, {0, 1, 1}, {1, 1, 2}, {1, 1, 1}})
    h27.push_back(m);
  k.push_back({Hexahedra, 27, h27, 8});
  return k;
}

TEST(SystemMatrices, EveryElementKindKeepsVolumeAndZeroRowSums) {
  for (const Kind& k : Kinds()) {
    SCOPED_TRACE(::testing::Message() << k.type << " " << k.nnode);
    TestMeshes t(k.nnode);
    std::vector<int> all;
    for (int a = 1; a <= k.nnode; ++a) {
      Place(t, a, k.xyz[std::size_t(a - 1)][0], k.xyz[std::size_t(a - 1)][1], k.xyz[std::size_t(a - 1)][2]);
      all.push_back(a);
    }
    t.Add(k.type, k.nnode, {all});
    Assembly a(t, false);
    EXPECT_NEAR(a.volume(), k.measure, 1e-12);
    double mass = 0;
    for (int i = 1; i <= k.nnode; ++i) {
      EXPECT_GT(a.lumped[std::size_t(i - 1)], 0) << "node " << i;
      EXPECT_GT(a.h(i), 0);
      double gx = 0, gy = 0, gz = 0, l = 0;
      for (int j = 1; j <= k.nnode; ++j) {
        gx += At(*a.Gx, i, j), gy += At(*a.Gy, i, j), gz += At(*a.Gz, i, j), l += At(*a.L, i, j);
        mass += At(*a.M, i, j);
      }
      EXPECT_NEAR(gx, 0, 1e-12);
      EXPECT_NEAR(gy, 0, 1e-12);
      EXPECT_NEAR(gz, 0, 1e-12);
      EXPECT_NEAR(l, 0, 1e-12);
    }
    EXPECT_NEAR(mass, k.measure, 1e-12);  // the consistent mass integrates 1
  }
}

TEST(SystemMatrices, UniformGridSizeIsItsEdgeLength) {
  // 3 x 3 quadrilaterals of side 0.25.
  TestMeshes t(16);
  std::vector<std::vector<int>> quads;
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i) Place(t, 1 + i + 4 * j, 0.25 * i, 0.25 * j);
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      const int a = 1 + i + 4 * j;
      quads.push_back({a, a + 1, a + 5, a + 4});
    }
  t.Add(Quadrilateral, 4, quads);
  Assembly a(t, false);
  for (int i = 1; i <= 16; ++i) EXPECT_NEAR(a.h(i), 0.25, 1e-14);
  EXPECT_NEAR(a.volume(), 0.5625, 1e-14);
}

TEST(SystemMatrices, GeometryFaultsNameTheSetAndTheElement) {
  auto run = [](std::vector<double> p3) {
    return RunInChild([p3] {
      TestMeshes t(3);
      Place(t, 2, 1, 0), Place(t, 3, p3[0], p3[1]);
      t.Add(Triangle, 3, {{1, 2, 3}});
      Assembly a(t, false);
    });
  };
  auto clockwise = run({0, -1});
  EXPECT_EQ(clockwise.status, 1);
  EXPECT_NE(clockwise.err.find("Negative Volume found in fluid set Set, element     1"), std::string::npos) << clockwise.err;
  EXPECT_NE(clockwise.err.find("\tCheck surface normal orientation"), std::string::npos);
  auto collinear = run({0.3, 0});
  EXPECT_EQ(collinear.status, 1);
  EXPECT_NE(collinear.err.find("Problems found calculating Shape Functions in     1"), std::string::npos) << collinear.err;
  auto sliver = run({0.5, 1e-14});
  EXPECT_EQ(sliver.status, 1);
  EXPECT_NE(sliver.err.find("Null Volume found in fluid set Set"), std::string::npos) << sliver.err;
}

}  // namespace
