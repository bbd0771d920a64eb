#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <vector>

#include "mesh/elem.h"
#include "mesh/octtree.h"
#include "tests/mesh/gridmesh.h"
#include "tests/support/child.h"

using olvu_test::Grid;
using olvu_test::RunInChild;
using olvu_test::TestMeshes;

namespace {

std::vector<int> Numbers(const Elem* e, int n) {
  std::vector<int> v;
  for (int i = 0; i < n; ++i) v.push_back(e->nodesArray()[i] ? e->nodesArray()[i]->num[0] : 0);
  return v;
}

std::set<std::pair<int, int>> Edges(const Mesh* m) {
  std::set<std::pair<int, int>> s;
  for (int k = 0; k < m->NOfEdges(); ++k) s.insert({m->GiveEdge(k).first->num[0], m->GiveEdge(k).second->num[0]});
  return s;
}

}  // namespace

TEST(MeshEdit, UniqueEdges) {
  TestMeshes tm(8);
  Mesh* tri = tm.Add(Triangle, 3, {{1, 2, 3}, {3, 2, 4}});
  tri->CalcEdges();
  EXPECT_EQ(tri->NOfEdges(), 5);
  EXPECT_EQ(Edges(tri), (std::set<std::pair<int, int>>{{1, 2}, {1, 3}, {2, 3}, {2, 4}, {3, 4}}));
  Mesh* hex = tm.Add(Hexahedra, 8, {{1, 2, 3, 4, 5, 6, 7, 8}});
  hex->CalcEdges();
  EXPECT_EQ(hex->NOfEdges(), 12);
  EXPECT_TRUE(Edges(hex).count({1, 4}));   // positions 3 and 0
  EXPECT_FALSE(Edges(hex).count({4, 5}));  // positions 3 and 4 share no edge
  auto prism = RunInChild([] {
    TestMeshes t(6);
    t.Add(Prisma, 6, {{1, 2, 3, 4, 5, 6}})->CalcEdges();
  });
  EXPECT_EQ(prism.err, "\n\nerror in Mesh::CalcEdges. Mesh not correctly defined\n");
}

TEST(MeshEdit, RenumberingByDistanceAndBySweep) {
  // A row of nodes numbered at random is numbered from one end to the other.
  const int n = 12;
  TestMeshes tm(n);
  std::vector<int> perm(n);
  std::iota(perm.begin(), perm.end(), 1);
  std::shuffle(perm.begin(), perm.end(), std::mt19937(3));
  std::vector<std::vector<int>> segs;
  for (int k = 0; k < n; ++k) (*tm.node[perm[k] - 1])[0] = k;  // node perm[k] at x = k
  for (int k = 0; k + 1 < n; ++k) segs.push_back({perm[k], perm[k + 1]});
  Mesh* row = tm.Add(Linear, 2, segs);
  row->RenumberNodes();
  std::vector<int> byX;
  for (int k = 0; k < n; ++k) byX.push_back(tm.node[perm[k] - 1]->num[0]);
  std::vector<int> up(n), down(n);
  std::iota(up.begin(), up.end(), 1);
  std::iota(down.rbegin(), down.rend(), 1);
  EXPECT_TRUE(byX == up || byX == down);
  for (int k = 0; k < n; ++k) {
    const Node* nd = tm.node[perm[k] - 1];
    EXPECT_EQ(row->GiveOldNumber(nd), perm[k]);
    EXPECT_EQ(row->giveNode(nd->num[0]), nd);  // the table follows the new numbers
  }

  Grid g(6, 3, 0, 1.0, 21);
  Mesh* quads = g.tm.Add(Quadrilateral, 4, g.Quads(4));
  std::vector<int> before;
  for (Node* nd : g.tm.node) before.push_back(nd->num[0]);
  quads->RenumberNodes2();
  std::set<int> numbers;
  for (size_t k = 0; k < g.tm.node.size(); ++k) {
    const Node* nd = g.tm.node[k];
    numbers.insert(nd->num[0]);
    EXPECT_EQ(quads->GiveOldNumber(nd), before[k]);
    EXPECT_EQ(quads->giveNode(nd->num[0]), nd);
  }
  EXPECT_EQ(numbers.size(), g.tm.node.size());
  EXPECT_EQ(*numbers.begin(), 1);
  EXPECT_EQ(*numbers.rbegin(), int(g.tm.node.size()));
}

TEST(MeshEdit, NodeCountsAndConstructedElements) {
  TestMeshes tm(5);
  Mesh* tri = tm.Add(Triangle, 3, {{1, 2, 3}});
  tri->ConvertToNewNnode(3);
  EXPECT_EQ(tri->GiveNnode(), 3);
  tri->ConvertToNewNnode(6);
  EXPECT_EQ(tri->GiveNnode(), 6);
  EXPECT_EQ(tri->GiveElemOrder(), Triangle6);
  EXPECT_EQ(Numbers(tri->giveElm(1), 6), (std::vector<int>{1, 2, 3, 0, 0, 0}));

  Mesh* seg = tm.Add(Linear, 2, {{1, 2}});
  Elem fromEdge(seg->giveElm(1), tm.node[4], 1, 0, nullptr);
  EXPECT_EQ(Numbers(&fromEdge, 2), (std::vector<int>{2, 5}));
  EXPECT_EQ(fromEdge.MyMesh(), seg);
  Mesh* tet = tm.Add(Tetrahedra, 4, {{1, 2, 3, 4}});
  Elem face(tet->giveElm(1), 1);
  EXPECT_EQ(Numbers(&face, 3), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(face.Num(), 0);
  Mesh* t3 = tm.Add(Triangle, 3, {{1, 2, 3}});
  Elem side(t3->giveElm(1), 2);
  EXPECT_EQ(Numbers(&side, 2), (std::vector<int>{3, 1}));
  auto line = RunInChild([] {
    TestMeshes t(2);
    Elem e(t.Add(Linear, 2, {{1, 2}})->giveElm(1), 0);
  });
  EXPECT_EQ(line.err, "\n\nerror in Elem::Elem(Elem* el,int face). Linear has no faces\n");
  auto quad = RunInChild([] {
    TestMeshes t(4);
    Elem e(t.Add(Quadrilateral, 4, {{1, 2, 3, 4}})->giveElm(1), 0);
  });
  EXPECT_EQ(quad.err, "\n\nerror in Elem::Elem(Elem* el,int face). Only Triang. and Tetr. allowed\n");
}

TEST(MeshEdit, MergingSets) {
  TestMeshes tm(4);
  Mesh* a = tm.Add(Linear, 2, {{1, 2}});
  Mesh* b = tm.Add(Linear, 2, {{2, 3}, {3, 4}});
  Mesh* c = new Mesh(10, 10, 3, Linear, 2);
  c->AddMesh(b);  // moves b's two elements
  EXPECT_EQ(c->NOfElems(), 2);
  EXPECT_EQ(b->NOfElems(), 0);
  EXPECT_EQ(c->NOfNodes(), 3);
  EXPECT_EQ(c->giveElm(2)->MyMesh(), c);
  EXPECT_EQ(Numbers(c->giveElm(2), 2), (std::vector<int>{3, 4}));

  a->AddMeshNewReverseElms(c);  // the same nodes, reversed elements
  EXPECT_EQ(a->NOfElems(), 3);
  EXPECT_EQ(Numbers(a->giveElm(3), 2), (std::vector<int>{4, 3}));

  Mesh* d = new Mesh(10, 10, 3, Linear, 2);
  d->AddMeshAllNewReverse(c);  // copies of the nodes, numbered 1..3 in d
  EXPECT_EQ(d->NOfNodes(), 3);
  EXPECT_EQ(d->NOfElems(), 2);
  const Elem* r = d->giveElm(1);
  EXPECT_NE(r->nodesArray()[0], c->giveElm(1)->nodesArray()[1]);  // a copy, not the node
  EXPECT_EQ((*r->nodesArray()[0])[0], (*c->giveElm(1)->nodesArray()[1])[0]);
  d->AddMeshAllNew(c);
  EXPECT_EQ(d->NOfNodes(), 6);
  EXPECT_EQ(d->NOfElems(), 4);
  d->ClearAllElems();
  d->ClearAllNodes();
  EXPECT_EQ(d->NOfElems() + d->NOfNodes(), 0);
  delete d;
  c->ClearAllElems();
  delete c;

  auto different = RunInChild([] {
    TestMeshes t(4);
    Mesh* x = t.Add(Linear, 2, {{1, 2}});
    x->AddMesh(t.Add(Triangle, 3, {{1, 2, 3}}));
  });
  EXPECT_EQ(different.err, "\n\nerror in Mesh::AddMesh. Mesh are different\n");
  auto twoNodes = RunInChild([] {
    TestMeshes t(4);
    Mesh* x = t.Add(Triangle, 3, {{1, 2, 3}});
    x->AddMeshAllNewReverse(t.Add(Triangle, 3, {{2, 3, 4}}));
  });
  EXPECT_EQ(twoNodes.err, "\n\nerror in Mesh::AddMeshAllNewReverse. Only implemented Nnode=2\n");
}

TEST(MeshEdit, FillingAnOctree) {
  Grid g(2, 2, 2);
  Mesh* hex = g.tm.Add(Hexahedra, 8, g.Hexes());
  OctTree nodes(0, 2, 0, 2, 0, 2, nullptr);
  hex->FillOctTree(nodes, 1);
  double d2 = 0;
  ReaVec p(3, 0.9);
  ReaVecContainer* h = nodes.GiveVeryClose(p, d2, 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->point, g.tm.node[g.N(1, 1, 1) - 1]);
  nodes.DeleteAllEntities();

  OctTree samples(0, 2, 0, 2, 0, 2, nullptr);
  hex->FillOctTree(samples, 0);
  ReaVecContainer* list[64];
  int n = 0;
  samples.AddClosePointsToList(ReaVec(3, 1.0), list, n, 64, 10.0, nullptr, nullptr);
  EXPECT_EQ(n, 8 * 6);  // six sample points a hexahedron
  ReaVec q(3, 0.2);
  h = samples.GiveVeryClose(q, d2, 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->elem, hex->giveElm(1));  // the cell at the origin
  samples.DeleteAllEntities();
}

TEST(MeshEdit, SweepRenumberingRefusals) {
  auto crowded = RunInChild([] {
    TestMeshes t(28);
    std::vector<std::vector<int>> fan;
    for (int k = 2; k <= 27; ++k) fan.push_back({1, k, k + 1});  // 26 triangles around node 1
    t.Add(Triangle, 3, fan)->RenumberNodes2();
  });
  EXPECT_EQ(crowded.status, 1);
  EXPECT_EQ(crowded.err, "\n\nerror: Node 1 has too many elements around (more than 25)\n");
  auto sparse = RunInChild([] {
    TestMeshes t(5);
    t.Add(Triangle, 3, {{1, 2, 5}})->RenumberNodes2();  // numbers 1, 2, 5 in a set of three
  });
  EXPECT_EQ(sparse.err, "\n\nerror in Mesh::RenumberNodes2. Nodes must be numbered 1 to 3\n");
}
