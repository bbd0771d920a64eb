#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <vector>

#include "foundation/matrix.h"
#include "mesh/elem.h"
#include "tests/support/child.h"

using olvu_test::RunInChild;

namespace {

/// One element of a set of the given type and node count over nodes at the given points.
struct Shape {
  Mesh mesh;
  std::vector<std::unique_ptr<Node>> nodes;
  Elem elem;
  Shape(ElemType t, std::initializer_list<std::vector<double>> pts, int nnode = 0, int ndime = 3)
      : mesh(10, 10, ndime, t, nnode ? nnode : int(pts.size())), elem(&mesh) {
    int i = 0;
    for (const auto& p : pts) {
      nodes.push_back(std::make_unique<Node>(3));
      Node* nd = nodes.back().get();
      nd->num[0] = i + 1;
      for (size_t k = 0; k < p.size(); ++k) (*nd)[k] = p[k];
      elem[i++] = nd;
    }
    for (; i < mesh.GiveNnode(); ++i) {  // further nodes at the origin
      nodes.push_back(std::make_unique<Node>(3));
      nodes.back()->num[0] = i + 1;
      elem[i] = nodes.back().get();
    }
  }
  std::vector<int> Numbers() {
    std::vector<int> v;
    for (int i = 1; i <= elem.Nnode(); ++i) v.push_back(elem.node(i)->num[0]);
    return v;
  }
};

void ExpectVec(const ReaVec& v, double x, double y, double z) {
  ASSERT_EQ(v.length(), 3u);
  EXPECT_NEAR(v(1), x, 1e-15);
  EXPECT_NEAR(v(2), y, 1e-15);
  EXPECT_NEAR(v(3), z, 1e-15);
}

}  // namespace

TEST(ElemGeometry, Rotate2DReversesTheOrientation) {
  Shape tri(Triangle, {{0, 0}, {1, 0}, {0, 1}});
  tri.elem.node(1)->num[0] = 4, tri.elem.node(2)->num[0] = 7, tri.elem.node(3)->num[0] = 9;
  EXPECT_EQ(tri.elem.nodeRotate2D(1), tri.elem.node(3));
  EXPECT_EQ(tri.elem.nodeRotate2D(0), tri.elem.node(1));
  ReaVec before, after;
  tri.elem.Normal(&before);
  EXPECT_EQ(tri.elem.Rotate2D(), 1);
  EXPECT_EQ(tri.Numbers(), (std::vector<int>{4, 9, 7}));
  tri.elem.Normal(&after);
  ExpectVec(after, -before(1), -before(2), -before(3));

  Shape tri6(Triangle, {}, 6);
  tri6.elem.Rotate2D();
  EXPECT_EQ(tri6.Numbers(), (std::vector<int>{1, 3, 2, 6, 5, 4}));
  Shape quad8(Quadrilateral, {}, 8);
  quad8.elem.Rotate2D();
  EXPECT_EQ(quad8.Numbers(), (std::vector<int>{1, 4, 3, 2, 8, 7, 6, 5}));
  Shape quad9(Quadrilateral, {}, 9);
  EXPECT_EQ(quad9.elem.nodeRotate2D(8), quad9.elem.node(9));  // the centre stays
  quad9.elem.Rotate2D();
  EXPECT_EQ(quad9.Numbers(), (std::vector<int>{1, 4, 3, 2, 8, 7, 6, 5, 9}));
  Shape line3(Linear, {}, 3);
  line3.elem.Rotate2D();
  EXPECT_EQ(line3.Numbers(), (std::vector<int>{2, 1, 3}));
  Shape quad(Quadrilateral, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  ReaVec a1, a2;
  quad.elem.ProjectedArea(&a1);
  quad.elem.Rotate2D();
  EXPECT_EQ(quad.Numbers(), (std::vector<int>{1, 4, 3, 2}));
  quad.elem.ProjectedArea(&a2);
  ExpectVec(a2, 0, 0, -a1(3));

  auto tet = RunInChild([] {
    Shape s(Tetrahedra, {}, 4);
    s.elem.Rotate2D();
  });
  EXPECT_EQ(tet.status, 1);
  EXPECT_EQ(tet.err, "\n\nElem::Rotate2D error. Element Order not implemented\n");
  auto tet2 = RunInChild([] {
    Shape s(Tetrahedra, {}, 4);
    s.elem.nodeRotate2D(0);
  });
  EXPECT_EQ(tet2.err, "\n\nElem::nodeRotate2D error. Element Order not implemented\n");
}

TEST(ElemGeometry, AreaVectorsNormalsAndMeasures) {
  Shape seg(Linear, {{0, 0, 0}, {2, 0, 0}});
  ReaVec v;
  seg.elem.ProjectedArea(&v);
  ExpectVec(v, 0, 2, 0);
  seg.elem.Normal(&v);
  ExpectVec(v, 0, 1, 0);
  EXPECT_DOUBLE_EQ(seg.elem.Volume(), 2.0);

  Shape tri(Triangle, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  tri.elem.ProjectedArea(&v);
  ExpectVec(v, 0, 0, 0.5);
  tri.elem.Normal(&v);
  ExpectVec(v, 0, 0, -1);
  EXPECT_DOUBLE_EQ(tri.elem.Volume(), 0.5);

  // A triangle in the plane x + y + z = 1: area sqrt(3)/2, area vector (1, 1, 1)/2.
  Shape slanted(Triangle, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  slanted.elem.ProjectedArea(&v);
  ExpectVec(v, 0.5, 0.5, 0.5);
  EXPECT_NEAR(slanted.elem.Volume(), std::sqrt(3.0) / 2, 1e-15);

  Shape square(Quadrilateral, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  EXPECT_DOUBLE_EQ(square.elem.Volume(), 1.0);
  square.elem.ProjectedArea(&v);
  ExpectVec(v, 0, 0, 1);
  square.elem.Normal(&v);
  ExpectVec(v, 0, 0, -1);
  Shape trapezoid(Quadrilateral, {{0, 0, 0}, {4, 0, 0}, {3, 2, 0}, {1, 2, 0}});
  EXPECT_DOUBLE_EQ(trapezoid.elem.Volume(), 6.0);

  auto tet = RunInChild([] {
    Shape s(Tetrahedra, {}, 4);
    s.elem.Volume();
  });
  EXPECT_EQ(tet.err, "\n\nError in Elem::Area(). Element Tetrahedra not implemented.\n");
  auto hex = RunInChild([] {
    Shape s(Hexahedra, {}, 8);
    ReaVec v;
    s.elem.ProjectedArea(&v);
  });
  EXPECT_EQ(hex.err, "\n\nError in Elem::ProjectedArea(). Element Hexahedra not implemented.\n");
  auto prism = RunInChild([] {
    Shape s(Prisma, {}, 6);
    ReaVec v;
    s.elem.Normal(&v);
  });
  EXPECT_EQ(prism.err, "\n\nError in Elem::Normal(). Element Prisma not implemented.\n");
}

TEST(ElemGeometry, RotationMatrixHasTheLocalAxis) {
  Matrix m;
  Shape tri(Triangle, {{0, 0, 0}, {2, 0, 0}, {0, 3, 0}});
  EXPECT_EQ(tri.elem.RotationMatrix(m), 1);
  ASSERT_EQ(m.nrows, 3);
  ASSERT_EQ(m.ncols, 3);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(m(i, j), i == j ? 1.0 : 0.0, 1e-15) << i << j;
  Shape quad(Quadrilateral, {{0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}});  // in the plane x = 0
  quad.elem.RotationMatrix(m);
  EXPECT_NEAR(m(1, 3), 1.0, 1e-15);
  EXPECT_NEAR(m(2, 3), 0.0, 1e-15);
  EXPECT_NEAR(m(3, 3), 0.0, 1e-15);
  Shape seg(Linear, {{1, 1, 1}, {1, 4, 1}});
  seg.elem.RotationMatrix(m);
  EXPECT_NEAR(m(1, 1), 0.0, 1e-15);
  EXPECT_NEAR(m(2, 1), 1.0, 1e-15);
  auto tet = RunInChild([] {
    Shape s(Tetrahedra, {}, 4);
    Matrix m;
    s.elem.RotationMatrix(m);
  });
  EXPECT_EQ(tet.err, "\n\nElem::RotationVector error. Element type not supported\n");
}

TEST(ElemGeometry, CentresAndLengths) {
  Shape tri(Triangle, {{0, 0, 0}, {1, 0, 0}, {3, 0, 0}});
  EXPECT_DOUBLE_EQ(tri.elem.MaxTauLen(1, 0), 2.0);  // the closing side 3 -> 0 is not counted
  EXPECT_DOUBLE_EQ(tri.elem.MaxTauLen(0, 0, 1), 0.0);
  Shape tri6(Triangle, {{0, 0, 0}, {1, 0, 0}, {3, 0, 0}}, 6);
  EXPECT_DOUBLE_EQ(tri6.elem.MaxTauLen(1, 0), 1.0);
  EXPECT_DOUBLE_EQ(tri.elem.MaxLength(), 3.0);
  ReaVec mid;
  tri.elem.MidNode(&mid);
  ExpectVec(mid, 4.0 / 3, 0, 0);
  const double w[3] = {1, 2, 0.5};
  tri6.elem.CenterNode(&mid, w);
  ExpectVec(mid, 3.5, 0, 0);

  Shape plane(Triangle, {{0, 0, 5}, {3, 0, 5}, {0, 3, 5}}, 3, 2);  // a two-dimensional set
  ReaVec c(5, 9.0);
  plane.elem.MidNode(&c);
  ASSERT_EQ(c.length(), 2u);
  EXPECT_DOUBLE_EQ(c(1), 1.0);
  EXPECT_DOUBLE_EQ(c(2), 1.0);

  Shape point(Triangle, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}});
  EXPECT_DOUBLE_EQ(point.elem.MaxLength(), 1e-7);
  Shape square(Quadrilateral, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  EXPECT_DOUBLE_EQ(square.elem.AverLength(), 1.0);
  EXPECT_DOUBLE_EQ(tri.elem.AverLength(), 2.0);

  Shape box(Tetrahedra, {{0, 0, 0}, {2, 0, 0}, {0, 3, 0}, {0, 0, 4}});
  ReaVec ext(3, 7.0);
  box.elem.MaxLength(&ext, 1);
  ExpectVec(ext, 7, 7, 7);
  box.elem.MaxLength(&ext, 0);
  ExpectVec(ext, 2, 3, 4);
  ReaVec fresh;
  tri.elem.MaxLength(&fresh, 1);
  ExpectVec(fresh, 3, 0, 0);
}

TEST(ElemGeometry, ReferenceLengthsAndNodeLookup) {
  struct Row {
    ElemType t;
    int n;
    double m, len;
  };
  const Row rows[] = {{Linear, 2, 2.5, 2.5},        {Triangle, 3, 0.5, 1.0}, {Quadrilateral, 4, 4.0, 2.0},
                      {Tetrahedra, 4, 1.0 / 6, 1.0}, {Hexahedra, 8, 8.0, 2.0}, {Prisma, 6, 1.0 / 12, 1.0}};
  for (const Row& r : rows) {
    Shape s(r.t, {}, r.n);
    EXPECT_NEAR(s.elem.MedLength(r.m), r.len, 1e-15) << r.t;
  }
  auto none = RunInChild([] {
    Shape s(NoNe, {}, 1);
    s.elem.MedLength(1.0);
  });
  EXPECT_EQ(none.err, "\n\nElem::MedLength not implemented\n");

  Shape tri(Triangle, {{0, 0}, {1, 0}, {0, 1}}, 6);
  Node outside(3);
  EXPECT_EQ(tri.elem.IsInto(&outside), 0);
  EXPECT_EQ(tri.elem.IsInto(tri.elem.node(5)), 5);  // every node, not only the corners
  auto cut = RunInChild([] {
    Shape s(Linear, {{0}, {1}});
    s.elem.IsCutted(s.elem.node(1), s.elem.node(2));
  });
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err, "\n\nerror in Elem::IsCutted\n");
}
