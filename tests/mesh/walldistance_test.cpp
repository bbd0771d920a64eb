#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "mesh/csr.h"
#include "mesh/utilities.h"
#include "mesh/walldistance.h"
#include "tests/mesh/gridmesh.h"
#include "tests/support/child.h"

using olvu_test::Grid;
using olvu_test::RunInChild;
using olvu_test::TestMeshes;

namespace {

/// Identity converter: row e is the node numbered e + 1 in the node table.
IntVec Identity(int n) {
  IntVec c(n, 0);
  for (int e = 0; e < n; ++e) c[e] = e + 1;
  return c;
}

/// Wall distance of every node of the sets' node table over their pattern (slot 0).
std::unique_ptr<Plex<Node>> Distances(TestMeshes& tm, Plex<Mesh>& volume, const std::vector<Mesh*>& walls,
                                      ReaVec& d) {
  std::unique_ptr<SparseMatrixStruct> g(createSparseMatrixStruct(tm.nodes, volume, 0));
  IntVec conv = Identity(tm.nodes.count);
  return std::unique_ptr<Plex<Node>>(DistanceField(&tm.nodes, walls, g.get(), conv, d, 0));
}

}  // namespace

TEST(WallDistance, ChannelWithStraightWallsIsExact) {
  for (unsigned shuffle : {0u, 5u}) {
    const int nx = 30, ny = 12;
    Grid g(nx, ny, 0, 0.25, shuffle);
    Plex<Mesh> volume(5, "Fluid");
    volume.append(g.tm.Add(Quadrilateral, 4, g.Quads(3)));
    std::vector<std::vector<int>> bottom, top;
    for (int i = 0; i < nx; ++i) bottom.push_back({g.N(i, 0, 0), g.N(i + 1, 0, 0)}), top.push_back({g.N(i + 1, ny, 0), g.N(i, ny, 0)});
    Mesh* b = g.tm.Add(Linear, 2, bottom);
    Mesh* t = g.tm.Add(Linear, 2, top);
    ReaVec d(g.tm.nodes.count, -1.0);
    auto nearest = Distances(g.tm, volume, {b, t}, d);
    for (int j = 0; j <= ny; ++j)
      for (int i = 0; i <= nx; ++i) {
        const int r = g.N(i, j, 0);
        const double y = j * 0.25, H = ny * 0.25;
        EXPECT_NEAR(d(r), std::min(y, H - y), 1e-14) << i << "," << j;
        const Node* w = nearest->get_at(r);
        EXPECT_EQ((*w)[0], i * 0.25);  // the foot of the node on its wall
        if (j == 0 || j == ny) {
          EXPECT_EQ(w, g.tm.node[r - 1]);  // wall nodes are their own
        }
      }
    volume.clear();
  }
}

TEST(WallDistance, CircleBoundaryWithinTheChordError) {
  // Annulus R <= r <= 3R in nr rings and nt sectors; the wall is the inner circle.
  const int nr = 20, nt = 64;
  const double R = 1, pi = std::acos(-1.0);
  TestMeshes tm((nr + 1) * nt);
  auto id = [&](int i, int k) { return 1 + (k % nt) + nt * i; };
  for (int i = 0; i <= nr; ++i)
    for (int k = 0; k < nt; ++k) {
      const double r = R * (1 + 2.0 * i / nr), a = 2 * pi * k / nt;
      Node& nd = *tm.node[id(i, k) - 1];
      nd[0] = r * std::cos(a), nd[1] = r * std::sin(a);
    }
  std::vector<std::vector<int>> quads, circle;
  for (int i = 0; i < nr; ++i)
    for (int k = 0; k < nt; ++k) quads.push_back({id(i, k), id(i + 1, k), id(i + 1, k + 1), id(i, k + 1)});
  for (int k = 0; k < nt; ++k) circle.push_back({id(0, k), id(0, k + 1)});
  Plex<Mesh> volume(5, "Fluid");
  volume.append(tm.Add(Quadrilateral, 4, quads));
  Mesh* wall = tm.Add(Linear, 2, circle);
  ReaVec d(tm.nodes.count, -1.0);
  auto nearest = Distances(tm, volume, {wall}, d);
  const double chord = 2 * R * std::sin(pi / nt);
  for (int r = 1; r <= tm.nodes.count; ++r) {
    const Node& nd = *tm.node[r - 1];
    const double exact = std::hypot(nd[0], nd[1]) - R;
    EXPECT_GE(d(r), exact - 1e-12);
    EXPECT_LE(d(r), exact + chord) << r;
  }
  volume.clear();
}

TEST(WallDistance, TiesMidpointsAndUnreachedNodes) {
  TestMeshes tm(6);
  const double xy[6][2] = {{0, 0}, {2, 0}, {1, 1}, {1.2, 1}, {5, 5}, {6, 5}};
  for (int k = 0; k < 6; ++k) (*tm.node[k])[0] = xy[k][0], (*tm.node[k])[1] = xy[k][1];
  Plex<Mesh> volume(5, "Fluid");
  volume.append(tm.Add(Triangle, 3, {{1, 2, 3}}));
  volume.append(tm.Add(Linear, 2, {{2, 4}, {5, 6}}));
  Mesh* wall = tm.Add(Linear, 2, {{1, 2}});
  ReaVec d(6, -7.0);
  auto nearest = Distances(tm, volume, {wall}, d);
  // Node 3 lies as far from wall node 1 as from 2: the first in row order (1) wins, and the walk
  // that never left it adds no midpoint.
  EXPECT_DOUBLE_EQ(d(3), std::sqrt(2.0));
  EXPECT_EQ(nearest->get_at(3), tm.node[0]);
  // Node 4, reached from wall node 2, passes over node 1 and back to 2 in one pass; the midpoint of
  // 1 and 2 lies nearer than either and gives the distance.
  EXPECT_DOUBLE_EQ(d(4), std::sqrt(1.04));
  EXPECT_EQ(nearest->get_at(4), tm.node[1]);
  EXPECT_EQ(d(1), 0);
  EXPECT_EQ(d(2), 0);
  EXPECT_EQ(d(5), -7.0);  // no graph path to a wall
  EXPECT_EQ(d(6), -7.0);
  EXPECT_TRUE(nearest->free(5) && nearest->free(6));

  ReaVec none(6, -3.0);
  auto empty = Distances(tm, volume, {}, none);
  EXPECT_EQ(empty->count, 0);
  EXPECT_EQ(none(1), -3.0);
  volume.clear();
}

TEST(WallDistance, CompressedRowFormAgreesOnTheChannel) {
  const int nx = 16, ny = 8;
  Grid g(nx, ny, 0, 0.5, 9);
  Plex<Mesh> volume(5, "Fluid");
  volume.append(g.tm.Add(Quadrilateral, 4, g.Quads()));
  std::vector<std::vector<int>> bottom;
  for (int i = 0; i < nx; ++i) bottom.push_back({g.N(i, 0, 0), g.N(i + 1, 0, 0)});
  Mesh* b = g.tm.Add(Linear, 2, bottom);
  std::unique_ptr<CSR<int>> graph(createNodesToNodes(g.tm.nodes, volume, 0));
  IntVec conv = Identity(g.tm.nodes.count);
  ReaVec d(g.tm.nodes.count, -1.0);
  std::unique_ptr<Plex<Node>> nearest(DistanceField(&g.tm.nodes, std::vector<Mesh*>{b}, graph.get(), conv, d, 0));
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) EXPECT_NEAR(d(g.N(i, j, 0)), j * 0.5, 1e-14);
  volume.clear();
}

TEST(WallDistance, LayersCountGraphEdges) {
  TestMeshes tm(5);
  Plex<Mesh> volume(5, "Fluid");
  volume.append(tm.Add(Linear, 2, {{1, 2}, {2, 3}, {3, 4}}));
  std::unique_ptr<SparseMatrixStruct> g(createSparseMatrixStruct(tm.nodes, volume, 0));
  BitVec marked(5);
  IntVec layer(5, 9);
  EXPECT_EQ(LayersField(g.get(), marked, layer), 0);
  marked.assign(1, 1);
  EXPECT_EQ(LayersField(g.get(), marked, layer), 1);
  std::vector<int> got;
  for (int i = 1; i <= 5; ++i) got.push_back(layer(i));
  EXPECT_EQ(got, (std::vector<int>{0, 1, 2, 3, -1}));
  volume.clear();
}

TEST(WallDistance, WrongLengthsEndTheRun) {
  for (int wrong : {0, 1}) {
    auto r = RunInChild([wrong] {
      TestMeshes tm(3);
      Plex<Mesh> volume(5, "Fluid");
      volume.append(tm.Add(Triangle, 3, {{1, 2, 3}}));
      std::unique_ptr<SparseMatrixStruct> g(createSparseMatrixStruct(tm.nodes, volume, 0));
      IntVec c(wrong == 0 ? 2 : 3, 1);
      ReaVec d(wrong == 1 ? 4 : 3, 0.0);
      DistanceField(&tm.nodes, std::vector<Mesh*>{}, g.get(), c, d, 0);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, wrong == 0 ? "\n\nWrong Index Converter in DistanceField\n" : "\n\nWrong Distance Vector in DistanceField\n");
  }
}
