// Node-to-node graphs: rows in the order first met, shared edges, empty rows and the errors.
#include <gtest/gtest.h>

#include <vector>

#include "mesh/utilities.h"
#include "tests/mesh/testmesh.h"
#include "tests/support/child.h"

namespace {

using olvu_test::RunInChild;
using olvu_test::TestMeshes;

std::vector<int> Row(const CSR<int>& g, int r) { return std::vector<int>(g.row(r), g.row(r) + g.row_size(r)); }

TEST(NodeGraph, RowsListNodesInTheOrderFirstMet) {
  TestMeshes t(3);
  t.Add(Triangle, 3, {{2, 3, 1}});
  CSR<int>* g = createNodesToNodes(t.nodes, t.meshes, 0);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->nrows(), 3);
  for (int r = 1; r <= 3; ++r) EXPECT_EQ(Row(*g, r), (std::vector<int>{2, 3, 1}));
  delete g;
}

TEST(NodeGraph, SharedEdgesAndLonelyNodes) {
  TestMeshes t(5);
  t.Add(Triangle, 3, {{1, 2, 3}, {3, 2, 4}});
  CSR<int>* g = createNodesToNodes(&t.nodes, t.meshes.get_at(1), 0);
  EXPECT_EQ(Row(*g, 1), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Row(*g, 2), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(Row(*g, 3), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(Row(*g, 4), (std::vector<int>{3, 2, 4}));
  EXPECT_EQ(g->row_size(5), 0);
  delete g;

  IntVec map(5, 0);
  for (int k = 1; k <= 4; ++k) map(k) = 5 - k;  // converter rows 4..1 within the mesh's 4 nodes
  CSR<int>* c = createNodesToNodes(t.meshes.get_at(1), map, 0);
  EXPECT_EQ(c->nrows(), 4);
  EXPECT_EQ(Row(*c, 1), (std::vector<int>{2, 3, 1}));
  delete c;

  Plex<Node> none(100, "Nodes");
  EXPECT_EQ(createNodesToNodes(none, t.meshes, 0), nullptr);
}

TEST(NodeGraph, WrongNodeNumbersAreFatal) {
  auto a = RunInChild([] {
    TestMeshes t(3);
    t.node[0]->num[2] = 0;
    t.node[1]->num[2] = 1;
    t.node[2]->num[2] = 2;
    t.Add(Triangle, 3, {{1, 2, 3}});
    createNodesToNodes(t.nodes, t.meshes, 2);
  });
  EXPECT_EQ(a.status, 1);
  EXPECT_NE(a.err.find("A:Wrong mesh data definition detected in node 1\nof element\n"), std::string::npos);
  EXPECT_NE(a.err.find("\tDid you define Solid boundaries in a Fluid?\n"), std::string::npos);
  auto b = RunInChild([] {
    TestMeshes t(3);
    Mesh* m = t.Add(Triangle, 3, {{1, 2, 3}});
    IntVec map(3, 2);
    map(2) = 0;
    createNodesToNodes(m, map, 0);
  });
  EXPECT_EQ(b.status, 1);
  EXPECT_NE(b.err.find("B:Wrong mesh data definition detected in node 2\nof element\n"), std::string::npos);
}

}  // namespace
