#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "foundation/matrix.h"
#include "mesh/elem.h"
#include "mesh/interpolate.h"
#include "mesh/octtree.h"
#include "solvers/sparsematrix.h"
#include "tests/mesh/gridmesh.h"
#include "tests/support/child.h"
#include "tests/support/scratch_clock.h"

using olvu_test::Grid;
using olvu_test::RunInChild;
using olvu_test::TestMeshes;

namespace {

double Linear3D(const Node& p) { return 2 + 3 * p[0] - p[1] + 0.5 * p[2]; }

/// Projects every target node into the source sets and checks that the interpolation matrix
/// carries the linear field exactly (to rounding: the least-squares forms invert normal matrices). Slot 1 numbers the target nodes, slot 2 the source nodes.
void ExpectLinearReproduced(Grid& source, Mesh* sourceSet, Grid& target, Mesh* targetSet) {
  for (Node* nd : source.tm.node) nd->num[2] = nd->num[0];
  for (Node* nd : target.tm.node) nd->num[1] = nd->num[0];
  const int ns = source.tm.nodes.count, nt = target.tm.nodes.count;
  const int n = std::max(nt, ns);
  SparseMatrixStruct all(n, n, 1, 1, 0);  // square, with every (target, source) pair
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) all.addPosition(r, c);
  all.Build();
  SystemSparseMatrix M(&all);
  OctTree tree(-0.1, 1.1, -0.1, 1.1, -0.1, 1.1, nullptr);
  sourceSet->FillOctTree(tree, 0);
  targetSet->Interpolate(tree, &M, 2, 1);
  std::vector<double> f(n, 0.0), g(n);
  for (Node* nd : source.tm.node) f[nd->num[2] - 1] = Linear3D(*nd);
  M.mult(f.data(), g.data());
  for (Node* nd : target.tm.node) EXPECT_NEAR(g[nd->num[1] - 1], Linear3D(*nd), 1e-10) << nd->num[0];
  tree.DeleteAllEntities();
}

// The projections open timing sections: their table goes to a scratch directory. The run state,
// timing table included, is reset before every test, so each test opens its own root.
class MeshInterpolation : public ::testing::Test {
 protected:
  olvu_test::ScratchClock clock_;
};

}  // namespace

TEST_F(MeshInterpolation, LinearFieldsCarriedExactlyBetweenDifferentMeshes) {
  {
    Grid src(5, 5, 0, 0.2, 3), dst(7, 6, 0, 1.0);
    for (Node* nd : dst.tm.node) (*nd)[0] /= 7, (*nd)[1] /= 6;
    ExpectLinearReproduced(src, src.tm.Add(Triangle, 3, src.Tris(5)), dst, dst.tm.Add(Quadrilateral, 4, dst.Quads()));
  }
  {
    Grid src(4, 4, 0, 0.25, 9), dst(3, 5, 0, 1.0);
    for (Node* nd : dst.tm.node) (*nd)[0] /= 3, (*nd)[1] /= 5;
    ExpectLinearReproduced(src, src.tm.Add(Quadrilateral, 4, src.Quads(2)), dst, dst.tm.Add(Triangle, 3, dst.Tris()));
  }
  {
    Grid src(3, 3, 3, 1.0 / 3, 4), dst(4, 2, 3, 1.0);
    for (Node* nd : dst.tm.node) (*nd)[0] /= 4, (*nd)[1] /= 2, (*nd)[2] /= 3;
    ExpectLinearReproduced(src, src.tm.Add(Tetrahedra, 4, src.Tets({}, 8)), dst, dst.tm.Add(Hexahedra, 8, dst.Hexes()));
  }
  {
    Grid src(2, 3, 2, 0.5, 6), dst(3, 3, 3, 1.0);
    for (Node* nd : src.tm.node) (*nd)[1] *= 2.0 / 3;
    for (Node* nd : dst.tm.node) (*nd)[0] /= 3, (*nd)[1] /= 3, (*nd)[2] /= 3;
    ExpectLinearReproduced(src, src.tm.Add(Hexahedra, 8, src.Hexes()), dst, dst.tm.Add(Tetrahedra, 4, dst.Tets()));
  }
}

TEST_F(MeshInterpolation, ElementProjections) {
  TestMeshes tm(6);
  const double xy[6][3] = {{0, 0, 1}, {2, 0, 1}, {0, 2, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  for (int k = 0; k < 6; ++k)
    for (int a = 0; a < 3; ++a) (*tm.node[k])[a] = xy[k][a];
  Mesh* tri = tm.Add(Triangle, 3, {{1, 2, 3}});
  double N[27], dist = -1;
  ReaVec out(3, 0.0);
  out(1) = 3, out(2) = 1, out(3) = 4;  // outside the triangle, above its plane
  ASSERT_EQ(tri->giveElm(1)->GiveProjectedNatCoordLTR(out, N, dist), 0);
  EXPECT_NEAR(N[1], 1.5, 1e-14);
  EXPECT_NEAR(N[2], 0.5, 1e-14);
  EXPECT_NEAR(N[0], -1.0, 1e-14);
  EXPECT_NEAR(dist, 3, 1e-14);
  Mesh* tri6 = tm.Add(Triangle, 6, {{1, 2, 3, 4, 5, 6}});
  ReaVec mid(3, 1.0);
  mid(1) = 1, mid(2) = 0;  // the mid-side node 4
  ASSERT_EQ(tri6->giveElm(1)->GiveProjectedNatCoordCTR(mid, N, dist), 0);
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(N[k], k == 3 ? 1 : 0, 1e-14);

  Mesh* seg = tm.Add(Linear, 2, {{1, 4}});
  ReaVec beyond(3, 1.0);
  beyond(1) = 1.5, beyond(2) = 0;
  ASSERT_EQ(seg->giveElm(1)->GiveProjectedNatCoordLLN(beyond, N, dist), 0);
  EXPECT_DOUBLE_EQ(N[1], 1.5);
  EXPECT_DOUBLE_EQ(N[0], -0.5);
  ReaVec far(3, 1.0);
  far(1) = 0.5, far(2) = 1.5;
  EXPECT_EQ(seg->giveElm(1)->GiveProjectedNatCoordLLN(far, N, dist), 1);

  ReaVec n(3, 0.0);
  n(1) = 0.6, n(3) = 0.8;
  Matrix R;
  CalcMatGivenOneAxe(n, R);
  for (int a = 1; a <= 3; ++a)
    for (int b = 1; b <= 3; ++b) {
      double dot = 0;
      for (int r = 1; r <= 3; ++r) dot += R(r, a) * R(r, b);
      EXPECT_NEAR(dot, a == b ? 1 : 0, 1e-14);
    }
  EXPECT_EQ(R(1, 3), 0.6);
}

TEST_F(MeshInterpolation, CloudWeightsAndPairs) {
  TestMeshes tm(10);
  for (int k = 0; k < 10; ++k) (*tm.node[k])[0] = std::cos(k), (*tm.node[k])[1] = std::sin(2.0 * k) + 0.1 * k;
  ReaVec p(3, 0.0);
  p(1) = 0.3, p(2) = 0.2;
  for (int variant = 1; variant <= 3; ++variant) {
    const Matrix w = variant == 1 ? GiveProjectedNatCoord1(&p, &tm.nodes)
                                  : variant == 2 ? GiveProjectedNatCoord2(&p, &tm.nodes) : GiveProjectedNatCoord3(&p, &tm.nodes);
    ASSERT_EQ(w.ncols, 10);
    double one = 0, x = 0, y = 0;
    for (int k = 0; k < 10; ++k) one += w(1, k + 1), x += w(1, k + 1) * (*tm.node[k])[0], y += w(1, k + 1) * (*tm.node[k])[1];
    EXPECT_NEAR(one, 1, 1e-10);
    EXPECT_NEAR(x, 0.3, 1e-10);
    EXPECT_NEAR(y, 0.2, 1e-10);
  }
  Interpolator pairs;
  pairs.first = IntVec(2, 0), pairs.second = IntVec(2, 0);
  pairs.first(1) = 1, pairs.second(1) = 3, pairs.first(2) = 2, pairs.second(2) = 1;
  ReaVec a(2, 0.0), b(3, 0.0);
  a(1) = 1, a(2) = 2, b(1) = 10, b(2) = 20, b(3) = 30;
  pairs.interpolate(a, b);
  EXPECT_EQ(a(1), 31);
  EXPECT_EQ(b(3), 31);
  EXPECT_EQ(a(2), 12);
  EXPECT_EQ(b(1), 12);
  EXPECT_EQ(b(2), 20);
}

TEST_F(MeshInterpolation, CreationRoutinesEndTheRun) {
  auto idw = RunInChild([] {
    Grid src(3, 3, 0, 1.0 / 3), dst(2, 2, 0, 0.5);
    src.tm.Add(Triangle, 3, src.Tris());
    dst.tm.Add(Triangle, 3, dst.Tris());
    for (Node* nd : dst.tm.node) nd->num[1] = nd->num[0];
    ReaVec sv(src.tm.nodes.count, 1.0), tv(dst.tm.nodes.count, 0.0);
    createInterpolator_2ndVersion(&src.tm.meshes, 0, &dst.tm.meshes, 1, 0, 0, sv, tv);
  });
  EXPECT_EQ(idw.status, 1);
  EXPECT_EQ(idw.err, "\n\nInterpolator not working");
  auto tree = RunInChild([] {
    Grid src(2, 2, 0, 0.5);
    src.tm.Add(Quadrilateral, 4, src.Quads());
    createInterpolator(&src.tm.meshes, 0, nullptr, 0, 0, 0);
  });
  EXPECT_EQ(tree.status, 1);
  EXPECT_EQ(tree.err, "\n\nInterpolate not initialised. Not working.");
  auto few = RunInChild([] {
    TestMeshes t(4);
    Mesh* q = t.Add(Quadrilateral, 4, {{1, 2, 3, 4}});
    (*t.node[1])[0] = 1, (*t.node[2])[0] = 1, (*t.node[2])[1] = 1, (*t.node[3])[1] = 1;
    double N[27], d;
    ReaVec p(3, 0.5);
    q->giveElm(1)->GiveProjectedNatCoordLS22D(p, N, d);
  });
  EXPECT_EQ(few.err, "\n\nGiveProjectedNatCoordLS22D cannot interpolate");
  auto empty = RunInChild([] {
    Grid dst(1, 1, 0);
    Mesh* m = dst.tm.Add(Quadrilateral, 4, dst.Quads());
    OctTree t(0, 1, 0, 1, 0, 1, nullptr);
    SparseMatrixStruct s(4, 4, 1, 1, 0);
    s.Build();
    SystemSparseMatrix M(&s);
    m->Interpolate(t, &M, 0, 0);
  });
  EXPECT_EQ(empty.err, "\n\nMesh::Interpolate Cannot project meshes.\nMeshes must be coincident. Check geometry and mesh.\n");
}
