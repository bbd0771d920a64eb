#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "mesh/csr.h"
#include "mesh/elem.h"
#include "mesh/utilities.h"
#include "tests/mesh/gridmesh.h"
#include "solvers/sparsematrix.h"
#include "tests/support/child.h"

using olvu_test::Grid;
using olvu_test::RunInChild;
using olvu_test::TestMeshes;

namespace {

std::vector<int> Numbers(Elem* e) {
  std::vector<int> v;
  for (int i = 1; i <= e->Nnode(); ++i) v.push_back(e->node(i)->num[0]);
  return v;
}

/// Sum of the area vectors and the divergence-theorem volume (sum of centroid . area / 3).
void SurfaceIntegrals(Mesh* m, double sum[3], double& volume) {
  sum[0] = sum[1] = sum[2] = volume = 0;
  int i = 0;
  for (Elem* e = m->giveNextElm(i); e; e = m->giveNextElm(i)) {
    ReaVec a, c;
    e->ProjectedArea(&a);
    e->MidNode(&c);
    for (int k = 0; k < 3; ++k) sum[k] += a[k], volume += c[k] * a[k] / 3;
  }
}

/// The hole surface of a 3 x 3 x 3 grid without its centre cell: faces of the volume elements whose
/// corners all lie on one face plane of the centre cell, every other one reversed.
Mesh* HoleSurface(Grid& g, Mesh* volume, ElemType faceType) {
  std::vector<std::vector<int>> faces;
  int i = 0;
  for (Elem* e = volume->giveNextElm(i); e; e = volume->giveNextElm(i)) {
    const bool tet = e->GiveElemType() == Tetrahedra;
    for (int f = 0; f < (tet ? 4 : 6); ++f) {
      std::vector<int> c;
      for (int k = 0; k < (tet ? 3 : 4); ++k) c.push_back(e->node(tet ? FaceDescriptorTetra[f][k] : FaceDescriptorHexa[f][k])->num[0]);
      for (int axis = 0; axis < 3; ++axis)
        for (double plane : {1.0, 2.0}) {
          bool on = true;
          for (int n : c) {
            const Node& p = *g.tm.node[n - 1];
            on = on && p[axis] == plane;
            for (int a = 0; a < 3; ++a) on = on && p[a] >= 1 && p[a] <= 2;
          }
          if (on) faces.push_back(c);
        }
    }
  }
  for (size_t k = 0; k < faces.size(); k += 2) std::reverse(faces[k].begin() + 1, faces[k].end());
  return g.tm.Add(faceType, faceType == Triangle ? 3 : 4, faces);
}

}  // namespace

TEST(BodyOrientation, HoleSurfaceComesOutFacingTheFluid) {
  for (ElemType vt : {Tetrahedra, Hexahedra}) {
    Grid g(3, 3, 3);
    auto notCentre = [](int i, int j, int k) { return !(i == 1 && j == 1 && k == 1); };
    Mesh* vol = vt == Tetrahedra ? g.tm.Add(Tetrahedra, 4, g.Tets(notCentre, 7)) : g.tm.Add(Hexahedra, 8, g.Hexes(notCentre, 7));
    Mesh* body = HoleSurface(g, vol, vt == Tetrahedra ? Triangle : Quadrilateral);
    ASSERT_EQ(body->NOfElems(), vt == Tetrahedra ? 12 : 6);
    double sum[3], volume;
    SurfaceIntegrals(body, sum, volume);
    EXPECT_GT(std::fabs(sum[0]) + std::fabs(sum[1]) + std::fabs(sum[2]) + std::fabs(volume - 1), 0.1) << volume;  // mixed before
    Plex<Mesh> vols(5, "Volumes"), bodies(5, "Bodies");
    vols.append(vol);
    bodies.append(body);
    CheckBodyOrientation(&vols, &bodies, g.tm.nodes.count);
    SurfaceIntegrals(body, sum, volume);
    for (double s : sum) EXPECT_NEAR(s, 0, 1e-14);
    EXPECT_NEAR(volume, 1.0, 1e-14);  // the normals leave the hole, into the fluid
    vols.clear();
    bodies.clear();
  }
}

TEST(BodyOrientation, EdgesAndFacesAgainstTheirVolumeElements) {
  TestMeshes tm(8);
  Mesh* tri = tm.Add(Triangle, 3, {{1, 2, 3}, {2, 4, 3}});
  Mesh* edges = tm.Add(Linear, 2, {{2, 1}, {1, 2}, {3, 2}, {3, 8}, {4, 2}});
  Plex<Mesh> vols(5, "Volumes"), bodies(5, "Bodies");
  vols.append(tri);
  bodies.append(edges);
  CheckBodyOrientation(&vols, &bodies, 8);
  std::vector<std::vector<int>> got;
  int i = 0;
  for (Elem* e = edges->giveNextElm(i); e; e = edges->giveNextElm(i)) got.push_back(Numbers(e));
  // (2,1) reversed; (1,2) kept; (3,2) on the shared side is left alone; (3,8) touches no triangle.
  EXPECT_EQ(got, (std::vector<std::vector<int>>{{1, 2}, {1, 2}, {3, 2}, {3, 8}, {2, 4}}));
  vols.clear(), bodies.clear();

  TestMeshes t3(6);
  Mesh* tets = t3.Add(Tetrahedra, 4, {{1, 2, 3, 4}});
  // Rotations of face {1,2,3} match; the mirror sequence is reversed.
  Mesh* faces = t3.Add(Triangle, 3, {{2, 3, 1}, {3, 1, 2}, {1, 3, 2}, {2, 4, 3}, {4, 2, 3}});
  vols.append(tets), bodies.append(faces);
  CheckBodyOrientation(&vols, &bodies, 6);
  got.clear();
  for (Elem* e = faces->giveNextElm(i); e; e = faces->giveNextElm(i)) got.push_back(Numbers(e));
  EXPECT_EQ(got, (std::vector<std::vector<int>>{{2, 3, 1}, {3, 1, 2}, {1, 2, 3}, {2, 4, 3}, {4, 3, 2}}));
  vols.clear(), bodies.clear();

  // Three holders of one face: the third is the candidate.
  TestMeshes t4(6);
  Mesh* three = t4.Add(Tetrahedra, 4, {{1, 2, 3, 4}, {1, 3, 2, 5}, {2, 1, 3, 6}});
  Mesh* face = t4.Add(Triangle, 3, {{1, 2, 3}});
  vols.append(three), bodies.append(face);
  CheckBodyOrientation(&vols, &bodies, 6);
  EXPECT_EQ(Numbers(face->giveElm(1)), (std::vector<int>{1, 3, 2}));
  vols.clear(), bodies.clear();
}

TEST(BodyOrientation, WrongShapesEndTheRun) {
  auto boundary = RunInChild([] {
    TestMeshes tm(4);
    Plex<Mesh> vols(5, "Volumes"), bodies(5, "Bodies");
    vols.append(tm.Add(Tetrahedra, 4, {{1, 2, 3, 4}}));
    bodies.append(tm.Add(Tetrahedra, 4, {{1, 2, 3, 4}}));
    CheckBodyOrientation(&vols, &bodies, 4);
  });
  EXPECT_EQ(boundary.status, 1);
  EXPECT_EQ(boundary.err, "\n\nCheckTriangleOrientation error: Wrong Boundary Type");
  auto solid = RunInChild([] {
    TestMeshes tm(6);
    Plex<Mesh> vols(5, "Volumes"), bodies(5, "Bodies");
    vols.append(tm.Add(Prisma, 6, {{1, 2, 3, 4, 5, 6}}));
    bodies.append(tm.Add(Triangle, 3, {{1, 2, 3}}));
    CheckBodyOrientation(&vols, &bodies, 6);
  });
  EXPECT_EQ(solid.status, 1);
  EXPECT_EQ(solid.err, "\n\nCheckTriangleOrientation error: Wrong Solid Type");
}

TEST(Waterplane, BoxHullGivesTheMidpointRuleMoments) {
  // Hull of a box [0, L] x [-B/2, B/2] x [-T, 0] in quadrilaterals of side d; the rim is z = 0.
  const double L = 4, B = 2, d = 0.5;
  const int nx = 8, ny = 4, nz = 2;
  Grid g(nx, ny, nz, d);
  for (Node* nd : g.tm.node) (*nd)[1] -= B / 2, (*nd)[2] -= nz * d;
  std::vector<std::vector<int>> q;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) q.push_back({g.N(i, j, 0), g.N(i, j + 1, 0), g.N(i + 1, j + 1, 0), g.N(i + 1, j, 0)});
  for (int k = 0; k < nz; ++k) {
    for (int i = 0; i < nx; ++i) {
      q.push_back({g.N(i, 0, k), g.N(i + 1, 0, k), g.N(i + 1, 0, k + 1), g.N(i, 0, k + 1)});
      q.push_back({g.N(i, ny, k), g.N(i, ny, k + 1), g.N(i + 1, ny, k + 1), g.N(i + 1, ny, k)});
    }
    for (int j = 0; j < ny; ++j) {
      q.push_back({g.N(0, j, k), g.N(0, j, k + 1), g.N(0, j + 1, k + 1), g.N(0, j + 1, k)});
      q.push_back({g.N(nx, j, k), g.N(nx, j + 1, k), g.N(nx, j + 1, k + 1), g.N(nx, j, k + 1)});
    }
  }
  Mesh* hull = g.tm.Add(Quadrilateral, 4, q);
  ReaVec ref(3, 0), res(3, 0);
  ref(1) = L / 2;
  CalculataShipSATData(hull->GiveElemPlex(), &ref, &res);
  EXPECT_NEAR(res(1), L * B, 1e-13);
  EXPECT_NEAR(res(2), L * (B * B * B - B * d * d) / 12, 1e-13);
  EXPECT_NEAR(res(3), B * (L * L * L - L * d * d) / 12, 1e-13);
  int i = 0;
  for (Elem* e = hull->giveNextElm(i); e; e = hull->giveNextElm(i)) e->Rotate2D();
  ReaVec again(3, 0);
  CalculataShipSATData(hull->GiveElemPlex(), &ref, &again);
  for (int k = 1; k <= 3; ++k) EXPECT_DOUBLE_EQ(again(k), res(k));
}

TEST(Waterplane, SquaresSharedEdgesAndQuadraticElements) {
  TestMeshes tm(9);
  const double xy[9][2] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 0}, {1, 2}, {2, 1}, {1, 1}, {0, 1}};
  for (int k = 0; k < 9; ++k) (*tm.node[k])[0] = xy[k][0], (*tm.node[k])[1] = xy[k][1];
  Mesh* one = tm.Add(Quadrilateral, 4, {{1, 2, 3, 4}});
  Mesh* two = tm.Add(Quadrilateral, 4, {{1, 5, 6, 4}, {5, 2, 3, 6}});
  Mesh* quad8 = tm.Add(Quadrilateral, 8, {{1, 2, 3, 4, 5, 7, 6, 9}});
  Mesh* lines = tm.Add(Linear, 2, {{1, 2}, {2, 3}});
  ReaVec corner(2, 0), centre(2, 1), res(3, 0);
  // The quadratic element's rim runs through its mid-side nodes: the midpoint rule on half sides.
  for (Mesh* m : {one, two, quad8}) {
    const double fine = m == quad8 ? 1 : 0, fineX = m == one ? 0 : 1;  // `two` splits the x sides
    CalculataShipSATData(m->GiveElemPlex(), &corner, &res);
    EXPECT_DOUBLE_EQ(res(1), 4);
    EXPECT_DOUBLE_EQ(res(2), 4 + fine);
    EXPECT_DOUBLE_EQ(res(3), 4 + fineX);
    CalculataShipSATData(m->GiveElemPlex(), &centre, &res);
    EXPECT_DOUBLE_EQ(res(1), 4);
    EXPECT_DOUBLE_EQ(res(2), fine);
    EXPECT_DOUBLE_EQ(res(3), fineX);
  }
  ReaVec shortRes(1, 0.0);  // lengthened, not written past
  CalculataShipSATData(one->GiveElemPlex(), &corner, &shortRes);
  ASSERT_EQ(shortRes.length(), 3u);
  EXPECT_DOUBLE_EQ(shortRes(3), 4);
  BEdge2* edges = nullptr;
  EXPECT_EQ(CalcBoundaryEdges2_(two->GiveElemPlex(), &edges, 0), 6);
  for (int k = 0; k < 6; ++k) EXPECT_FALSE((edges[k].n1->num[0] == 5 && edges[k].n2->num[0] == 6) || (edges[k].n1->num[0] == 6 && edges[k].n2->num[0] == 5));
  delete[] edges;
  EXPECT_EQ(CalcBoundaryEdges2_(lines->GiveElemPlex(), &edges, 0), 0);
  EXPECT_EQ(edges, nullptr);
  CalculataShipSATData(lines->GiveElemPlex(), &centre, &res);
  EXPECT_EQ(res(1) + res(2) + res(3), 0);
  Mesh* three = tm.Add(Triangle, 3, {{1, 2, 3}, {2, 1, 4}, {1, 2, 8}});  // edge 1-2 met three times
  EXPECT_EQ(CalcBoundaryEdges2_(three->GiveElemPlex(), &edges, 0), 7);
  delete[] edges;
}

namespace {

/// Brute force: the corner sets of the faces met once, each as a sorted list of node numbers.
std::set<std::vector<int>> FacesMetOnce(Mesh* m) {
  std::map<std::vector<int>, int> count;
  int i = 0;
  for (Elem* e = m->giveNextElm(i); e; e = m->giveNextElm(i)) {
    std::vector<std::vector<int>> faces;
    const int nn = e->Nnode();
    if (e->GiveElemType() == Tetrahedra || e->GiveElemType() == Hexahedra) {
      const bool tet = e->GiveElemType() == Tetrahedra;
      for (int f = 0; f < (tet ? 4 : 6); ++f) {
        std::vector<int> c;
        for (int k = 0; k < (tet ? 3 : 4); ++k) c.push_back(e->node(tet ? FaceDescriptorTetra[f][k] : FaceDescriptorHexa[f][k])->num[0]);
        faces.push_back(c);
      }
    } else {
      for (int k = 0; k < nn; ++k) faces.push_back({e->node(k + 1)->num[0], e->node((k + 1) % nn + 1)->num[0]});
    }
    for (auto& c : faces) std::sort(c.begin(), c.end()), ++count[c];
  }
  std::set<std::vector<int>> once;
  for (const auto& [c, k] : count)
    if (k == 1) once.insert(c);
  return once;
}

std::set<int> Marked(const BitVec& b) {
  std::set<int> s;
  for (unsigned i = 1; i <= b.length(); ++i)
    if (b(i)) s.insert(int(i));
  return s;
}

std::set<int> Flatten(const std::set<std::vector<int>>& faces) {
  std::set<int> s;
  for (const auto& f : faces) s.insert(f.begin(), f.end());
  return s;
}

}  // namespace

TEST(BoundaryFaces, PlaneSetsAgainstBruteForce) {
  for (unsigned seed : {0u, 11u}) {
    Grid g(5, 4, 0, 1.0, seed);
    for (Mesh* m : {g.tm.Add(Triangle, 3, g.Tris(seed)), g.tm.Add(Quadrilateral, 4, g.Quads(seed))}) {
      const auto expected = FacesMetOnce(m);
      BEdge2* edges = nullptr;
      const int n = CalcBoundaryEdges2(m->GiveElemPlex(), &edges, 0);
      ASSERT_EQ(n, 18);
      std::set<std::vector<int>> got;
      for (int k = 0; k < n; ++k) {
        EXPECT_LT(edges[k].n1->num[0], edges[k].n2->num[0]);  // lesser node first, sorted
        if (k) {
          EXPECT_LE(CompareBoundaryEdgePointers2(&edges[k - 1], &edges[k]), 0);
        }
        got.insert({edges[k].n1->num[0], edges[k].n2->num[0]});
      }
      delete[] edges;
      EXPECT_EQ(got, expected);
      BitVec marks(g.tm.nodes.count);
      CalcBoundaryEdges2(m->GiveElemPlex(), marks);
      EXPECT_EQ(Marked(marks), Flatten(expected));
    }
  }
}

TEST(BoundaryFaces, VolumeSetsAgainstBruteForce) {
  for (unsigned seed : {0u, 13u}) {
    Grid g(3, 4, 3, 1.0, seed);
    auto notCentre = [](int i, int j, int k) { return !(i == 1 && j == 2 && k == 1); };
    for (Mesh* m : {g.tm.Add(Tetrahedra, 4, g.Tets(notCentre, seed)), g.tm.Add(Hexahedra, 8, g.Hexes(notCentre, seed))}) {
      const auto expected = FacesMetOnce(m);
      BEdge3* faces = nullptr;
      const int n = CalcBoundaryEdges3(m->GiveElemPlex(), &faces, 0);
      const bool tet = m->GiveElemType() == Tetrahedra;
      EXPECT_EQ(n, (tet ? 2 : 1) * (2 * (3 * 4 + 4 * 3 + 3 * 3) + 6));
      std::set<std::vector<int>> got;
      for (int k = 0; k < n; ++k) {
        std::vector<int> c;
        for (int a = 0; a < faces[k].ncorner; ++a) c.push_back(faces[k].n[a]->num[0]);
        EXPECT_EQ(*std::min_element(c.begin(), c.end()), c[0]);  // canonical: least corner first
        std::sort(c.begin(), c.end());
        got.insert(c);
      }
      delete[] faces;
      EXPECT_EQ(got, expected);
      BitVec marks(g.tm.nodes.count);
      CalcBoundaryEdges3(m->GiveElemPlex(), marks);
      EXPECT_EQ(Marked(marks), Flatten(expected));
    }
  }
}

TEST(BoundaryFaces, SmallSetsAndCanonicalOrder) {
  TestMeshes tm(8);
  BEdge3* faces = nullptr;
  EXPECT_EQ(CalcBoundaryEdges3(tm.Add(Tetrahedra, 4, {{1, 2, 3, 4}})->GiveElemPlex(), &faces, 0), 4);
  delete[] faces;
  EXPECT_EQ(CalcBoundaryEdges3(tm.Add(Tetrahedra, 4, {{1, 2, 3, 4}, {1, 3, 2, 5}})->GiveElemPlex(), &faces, 0), 6);
  delete[] faces;
  EXPECT_EQ(CalcBoundaryEdges3(tm.Add(Triangle, 3, {{1, 2, 3}})->GiveElemPlex(), &faces, 0), 0);
  EXPECT_EQ(faces, nullptr);

  auto curl = [&](std::vector<int> v) {
    std::vector<Node*> c;
    for (int k : v) c.push_back(tm.node[k - 1]);
    (v.size() == 3 ? CurlOrder3 : CurlOrder4)(c.data());
    std::vector<int> out;
    for (Node* nd : c) out.push_back(nd->num[0]);
    return out;
  };
  EXPECT_EQ(curl({1, 2, 3}), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(curl({1, 3, 2}), (std::vector<int>{1, 3, 2}));
  EXPECT_EQ(curl({2, 3, 1}), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(curl({3, 1, 2}), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(curl({3, 4, 1, 2}), (std::vector<int>{1, 2, 3, 4}));

  // Quadrilateral faces: a shared face listed in the opposite sense is one face; another fourth
  // corner makes another face.
  auto face = [&](std::vector<int> v) {
    BEdge3 f;
    f.ncorner = int(v.size());
    for (size_t k = 0; k < v.size(); ++k) f.n[k] = tm.node[v[k] - 1];
    return f;
  };
  BEdge3 a = face({1, 2, 3, 4}), b = face({1, 4, 3, 2}), c = face({1, 2, 3, 5}), t = face({1, 2, 3});
  EXPECT_EQ(CompareBoundaryEdgePointers3(&a, &b), 0);
  EXPECT_NE(CompareBoundaryEdgePointers3(&a, &c), 0);
  EXPECT_NE(CompareBoundaryEdgePointers3(&a, &t), 0);
  EXPECT_EQ(CompareBoundaryEdgePointers3(&a, &c), -CompareBoundaryEdgePointers3(&c, &a));
}

TEST(BoundaryFaces, BoundaryNodesFromALaplacian) {
  // Unequal spacings: at a corner of a square grid the fluxes of x + y through its two sides cancel.
  Grid g(6, 5, 0, 0.5, 17);
  for (Node* nd : g.tm.node) (*nd)[1] *= 0.7;
  Plex<Mesh> sets(5, "Meshes");
  Mesh* m = g.tm.Add(Triangle, 3, g.Tris());
  sets.append(m);
  std::unique_ptr<SparseMatrixStruct> pattern(createSparseMatrixStruct(g.tm.nodes, sets, 0));
  SystemSparseMatrix K(pattern.get());
  int i = 0;
  for (Elem* e = m->giveNextElm(i); e; e = m->giveNextElm(i)) {
    const Node &a = *(*e)[0], &b = *(*e)[1], &c = *(*e)[2];
    const double area2 = (b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1]);
    const double dx[3] = {b[1] - c[1], c[1] - a[1], a[1] - b[1]}, dy[3] = {c[0] - b[0], a[0] - c[0], b[0] - a[0]};
    for (int r = 0; r < 3; ++r)
      for (int s = 0; s < 3; ++s) K.addToLhs((*e)[r]->num[0] - 1, (*e)[s]->num[0] - 1, (dx[r] * dx[s] + dy[r] * dy[s]) / (2 * area2));
  }
  IntVec map(g.tm.nodes.count, 0);
  for (int r = 0; r < g.tm.nodes.count; ++r) map[r] = r + 1;
  BitVec out(g.tm.nodes.count);
  out.mark();
  CalcBoundaryNodes(&K, g.tm.nodes, map, out);
  std::set<int> expected;
  for (int j = 0; j <= 5; ++j)
    for (int ii = 0; ii <= 6; ++ii)
      if (ii == 0 || j == 0 || ii == 6 || j == 5) expected.insert(g.N(ii, j, 0));
  EXPECT_EQ(Marked(out), expected);
  sets.clear();
}
