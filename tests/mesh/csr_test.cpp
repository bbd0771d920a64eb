// Sparsity patterns from element connectivity: equality with the brute-force set of element
// node pairs on generated grids, the four forms, and the mesh-data errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <vector>

#include "foundation/error.h"
#include "mesh/csr.h"
#include "tests/mesh/testmesh.h"
#include "tests/support/child.h"

namespace {

using olvu_test::RunInChild;
using olvu_test::TestMeshes;
using Elems = std::vector<std::vector<int>>;

// m x m triangle grid, node numbers perm[k] + 1 for grid node k.
Elems TriGrid(int m, const std::vector<int>& perm) {
  Elems e;
  for (int j = 0; j + 1 < m; ++j)
    for (int i = 0; i + 1 < m; ++i) {
      const int a = i + m * j, b = a + 1, c = a + m, d = c + 1;
      e.push_back({perm[a] + 1, perm[b] + 1, perm[d] + 1});
      e.push_back({perm[a] + 1, perm[d] + 1, perm[c] + 1});
    }
  return e;
}

// m x m x m tetrahedron grid (six per cell), node numbers perm[k] + 1.
Elems TetGrid(int m, const std::vector<int>& perm) {
  static const int kTets[6][4] = {{0, 1, 3, 7}, {0, 1, 5, 7}, {0, 2, 3, 7}, {0, 2, 6, 7}, {0, 4, 5, 7}, {0, 4, 6, 7}};
  Elems e;
  for (int k = 0; k + 1 < m; ++k)
    for (int j = 0; j + 1 < m; ++j)
      for (int i = 0; i + 1 < m; ++i)
        for (const auto& t : kTets) {
          std::vector<int> tet;
          for (int v : t)
            tet.push_back(perm[(i + (v & 1)) + m * ((j + ((v >> 1) & 1)) + m * (k + ((v >> 2) & 1)))] + 1);
          e.push_back(tet);
        }
  return e;
}

std::vector<int> Perm(int n, bool shuffled) {
  std::vector<int> p(n);
  std::iota(p.begin(), p.end(), 0);
  if (shuffled) std::shuffle(p.begin(), p.end(), std::mt19937(99));
  return p;
}

// Rows expected from the element node pairs: the diagonal, then the other columns ascending.
void ExpectBruteForce(const SparseMatrixStruct& s, int n, const Elems& elems) {
  std::vector<std::set<int>> rows(n);
  for (const auto& e : elems)
    for (int a : e)
      for (int b : e)
        if (a != b) rows[a - 1].insert(b - 1);
  int nnz = 0;
  for (int i = 0; i < n; ++i) {
    std::vector<int> want{i};
    want.insert(want.end(), rows[i].begin(), rows[i].end());
    const std::vector<int> got(s.col_vec(i), s.col_vec(i) + s.row_size(i));
    EXPECT_EQ(got, want) << "row " << i;
    nnz += static_cast<int>(want.size());
  }
  EXPECT_EQ(s.numnonzeros(), nnz);
}

TEST(Connectivity, TriangleGridsGiveTheElementPairPattern) {
  for (int m : {2, 3, 7, 12})
    for (bool shuffled : {false, true}) {
      const int n = m * m;
      const Elems elems = TriGrid(m, Perm(n, shuffled));
      TestMeshes t(n);
      t.Add(Triangle, 3, elems);
      SparseMatrixStruct* s = createSparseMatrixStruct(t.nodes, t.meshes, 0);
      ASSERT_NE(s, nullptr);
      ExpectBruteForce(*s, n, elems);
      EXPECT_EQ(s->numnonzeros(), m * m + 2 * (2 * m * (m - 1) + (m - 1) * (m - 1)));
      EXPECT_EQ(s->snnz(), (s->numnonzeros() + n) / 2);
      delete s;
    }
}

TEST(Connectivity, TetrahedronGridsGiveTheElementPairPattern) {
  for (bool shuffled : {false, true}) {
    const int m = 5, n = m * m * m;
    const Elems elems = TetGrid(m, Perm(n, shuffled));
    TestMeshes t(n);
    t.Add(Tetrahedra, 4, elems);
    SparseMatrixStruct* s = createSparseMatrixStruct(&t.nodes, t.meshes.get_at(1), 0);
    ExpectBruteForce(*s, n, elems);
    delete s;
  }
}

TEST(Connectivity, SmallCasesAndOtherForms) {
  {  // One triangle: a full 3 x 3 pattern.
    TestMeshes t(3);
    t.Add(Triangle, 3, {{3, 1, 2}});
    SparseMatrixStruct* s = createSparseMatrixStruct(t.nodes, t.meshes, 0);
    EXPECT_EQ(s->numnonzeros(), 9);
    delete s;
  }
  {  // Node 4 in no element keeps its diagonal; two sets sharing an edge.
    TestMeshes t(5);
    t.Add(Triangle, 3, {{1, 2, 3}});
    t.Add(Triangle, 3, {{2, 3, 5}});
    SparseMatrixStruct* s = createSparseMatrixStruct(t.nodes, t.meshes, 0);
    ExpectBruteForce(*s, 5, {{1, 2, 3}, {2, 3, 5}});
    EXPECT_EQ(s->row_size(3), 1);
    delete s;
  }
  {  // Rows from slot 1: reversed numbering.
    TestMeshes t(4);
    for (int k = 0; k < 4; ++k) t.node[k]->num[1] = 4 - k;
    t.Add(Triangle, 3, {{1, 2, 3}});
    SparseMatrixStruct* s = createSparseMatrixStruct(t.nodes, t.meshes, 1);
    ExpectBruteForce(*s, 4, {{4, 3, 2}});
    delete s;
  }
  {  // Converter form: the mesh's own node count, rows through the map.
    TestMeshes t(6);
    Mesh* m = t.Add(Triangle, 3, {{4, 5, 6}});
    IntVec map(6, 0);
    map(4) = 3;
    map(5) = 1;
    map(6) = 2;
    SparseMatrixStruct* s = createSparseMatrixStruct(m, map, 0);
    EXPECT_EQ(s->nrows(), 3);
    EXPECT_EQ(s->numnonzeros(), 9);
    delete s;
  }
  {  // Gathered form: every mesh's own nodes, a node of two sets counted twice.
    TestMeshes t(4);
    t.Add(Triangle, 3, {{1, 2, 3}});
    t.Add(Linear, 2, {{3, 4}});
    SparseMatrixStruct* s = createSparseMatrixStruct(t.meshes, 0);
    EXPECT_EQ(s->nrows(), 5);
    ExpectBruteForce(*s, 5, {{1, 2, 3}, {3, 4}});
    delete s;
  }
  {  // An empty node table gives no pattern.
    Plex<Node> none(100, "Nodes");
    Plex<Mesh> meshes(5, "Meshes");
    EXPECT_EQ(createSparseMatrixStruct(none, meshes, 0), nullptr);
  }
}

TEST(Connectivity, MeshDataErrors) {
  auto zero = RunInChild([] {
    MemoryControlOn("case");
    TestMeshes t(3);
    t.node[1]->num[1] = 0;  // node 2 has no fluid number
    t.node[0]->num[1] = 1;
    t.node[2]->num[1] = 3;
    t.Add(Triangle, 3, {{1, 2, 3}});
    createSparseMatrixStruct(t.nodes, t.meshes, 1);
  });
  EXPECT_EQ(zero.status, 1);
  EXPECT_EQ(zero.file("case.err"),
            std::string(olvu_test::kErrBanner) +
                "A:Wrong mesh data definition detected in node 2\nof element\n"
                "    1               1              2              3\n\n"
                "\tDid you assign properties to an external geometry?\n"
                "\tDid you define Fluid boundaries in a Solid?\n"
                "\tDid you define Solid boundaries in a Fluid?\n");
  auto above = RunInChild([] {
    TestMeshes t(3);
    t.node[2]->num[0] = 7;  // beyond the three nodes of the table
    t.Add(Triangle, 3, {{1, 2, 3}});
    createSparseMatrixStruct(t.nodes, t.meshes, 0);
  });
  EXPECT_EQ(above.status, 1);
  EXPECT_NE(above.err.find("A:Wrong mesh data definition detected in node 7\nof element\n"), std::string::npos);
  auto conv = RunInChild([] {
    TestMeshes t(3);
    Mesh* m = t.Add(Triangle, 3, {{1, 2, 3}});
    IntVec map(3, 1);
    map(3) = 0;
    createSparseMatrixStruct(m, map, 0);
  });
  EXPECT_EQ(conv.status, 1);
  EXPECT_NE(conv.err.find("B:Wrong mesh data definition detected in node 3\nof element\n"), std::string::npos);
  EXPECT_NE(conv.err.find("\tCheck mesh conectivities.\n"), std::string::npos);
  auto noelem = RunInChild([] {
    TestMeshes t(3);
    t.Add(Triangle, 3, {});
    createSparseMatrixStruct(t.nodes, t.meshes, 0);
  });
  EXPECT_EQ(noelem.status, 1);
  EXPECT_NE(noelem.err.find("CSR size must be greater than 0\n"), std::string::npos);
}

}  // namespace
