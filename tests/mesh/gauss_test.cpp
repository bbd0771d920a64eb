#include "mesh/or_gauss.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/support/child.h"

using olvu_test::RunInChild;

namespace {

constexpr double g = 0.577350269189626;
constexpr double r = 0.774596669241483;

/// The arrays every caller provides.
struct Rule {
  Matrix N[27], dN[27];
  double w[27];
  int n = 0;
  Rule(ElemOrder eo, int order) { n = Give_Integration_Data(eo, order, N, dN, w); }
  double Weights() const {
    double s = 0;
    for (int p = 0; p < n; ++p) s += w[p];
    return s;
  }
};

double Fact(int n) { return n <= 1 ? 1.0 : n * Fact(n - 1); }

/// Reference coordinates of the nodes of every element order, in node order.
std::vector<std::vector<double>> RefNodes(ElemOrder eo) {
  using V = std::vector<std::vector<double>>;
  const V quad = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}, {0, 0}};
  const V tet = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const V tetEdges = {{.5, 0, 0}, {.5, .5, 0}, {0, .5, 0}, {0, 0, .5}, {.5, 0, .5}, {0, .5, .5}};
  const V hex = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1},
                 {-1, 1, 1},   {0, -1, -1}, {1, 0, -1}, {0, 1, -1},  {-1, 0, -1}, {-1, -1, 0}, {1, -1, 0},
                 {1, 1, 0},    {-1, 1, 0},  {0, -1, 1}, {1, 0, 1},   {0, 1, 1},   {-1, 0, 1},  {0, 0, -1},
                 {0, -1, 0},   {1, 0, 0},   {0, 1, 0},  {-1, 0, 0},  {0, 0, 1},   {0, 0, 0}};
  auto take = [](const V& a, int n) { return V(a.begin(), a.begin() + n); };
  auto join = [](V a, const V& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  switch (eo) {
    case Linear2: return {{-1}, {1}};
    case Linear3: return {{-1}, {1}, {0}};
    case Triangle3: return {{0, 0}, {1, 0}, {0, 1}};
    case Triangle6: return {{0, 0}, {1, 0}, {0, 1}, {.5, 0}, {.5, .5}, {0, .5}};
    case Quadrilateral4: return take(quad, 4);
    case Quadrilateral8: return take(quad, 8);
    case Quadrilateral9: return quad;
    case Tetrahedra4: return tet;
    case Tetrahedra5: return join(tet, {{.25, .25, .25}});
    case Tetrahedra10: return join(tet, tetEdges);
    case Tetrahedra11: return join(join(tet, tetEdges), {{.25, .25, .25}});
    case Hexahedra8: return take(hex, 8);
    case Hexahedra9: return join(take(hex, 8), {{0, 0, 0}});
    case Hexahedra20: return take(hex, 20);
    case Hexahedra27: return hex;
    case Prisma6: return {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {0, 0, -1}, {1, 0, -1}, {0, 1, -1}};
    default: return {};
  }
}

double RefMeasure(ElemOrder eo) {
  const double m[17] = {0, 2, 2, .5, .5, 4, 4, 4, 1. / 6, 1. / 6, 1. / 6, 1. / 6, 8, 8, 8, 8, 1};
  return m[eo];
}

/// The reference point of integration point p, recovered as sum N_i x_i of the rule's values.
std::vector<double> PointOf(const Rule& rule, int p, ElemOrder eo) {
  const auto X = RefNodes(eo);
  std::vector<double> x(X[0].size(), 0.0);
  for (size_t i = 0; i < X.size(); ++i)
    for (size_t d = 0; d < x.size(); ++d) x[d] += rule.N[p](int(i) + 1, 1) * X[i][d];
  return x;
}

/// Integral over the rule of x^a y^b z^c, with the points taken from the linear functions.
double Integrate(ElemOrder eo, int order, int a, int b, int c) {
  Rule rule(eo, order);
  double s = 0;
  for (int p = 0; p < rule.n; ++p) {
    const auto x = PointOf(rule, p, eo);
    double f = std::pow(x[0], a);
    if (x.size() > 1) f *= std::pow(x[1], b);
    if (x.size() > 2) f *= std::pow(x[2], c);
    s += rule.w[p] * f;
  }
  return s;
}

double LineMonomial(int a) { return a % 2 ? 0.0 : 2.0 / (a + 1); }

const ElemOrder kAllOrders[] = {Linear2,        Linear3,        Triangle3,      Triangle6,   Quadrilateral4, Quadrilateral8,
                                Quadrilateral9, Tetrahedra4,    Tetrahedra5,    Tetrahedra10, Tetrahedra11,  Hexahedra8,
                                Hexahedra9,     Hexahedra20,    Hexahedra27,    Prisma6};

}  // namespace

TEST(GaussRules, LinePointsAndWeightsArePublishedGaussLegendre) {
  Rule two(Linear2, 2), three(Linear2, 4), one(Linear2, 1);
  ASSERT_EQ(one.n, 1);
  EXPECT_DOUBLE_EQ(one.w[0], 2.0);
  ASSERT_EQ(two.n, 2);
  const double pts2[2] = {-1 / std::sqrt(3.0), 1 / std::sqrt(3.0)};
  for (int p = 0; p < 2; ++p) {
    EXPECT_NEAR(PointOf(two, p, Linear2)[0], pts2[p], 1e-14);
    EXPECT_DOUBLE_EQ(two.w[p], 1.0);
  }
  ASSERT_EQ(three.n, 3);
  const double pts3[3] = {-std::sqrt(0.6), 0.0, std::sqrt(0.6)};
  const double w3[3] = {5.0 / 9, 8.0 / 9, 5.0 / 9};
  for (int p = 0; p < 3; ++p) {
    EXPECT_NEAR(PointOf(three, p, Linear2)[0], pts3[p], 1e-14);
    EXPECT_NEAR(three.w[p], w3[p], 1e-15);
  }
}

TEST(GaussRules, QuadrilateralAndHexahedronRulesAreTensorProducts) {
  Rule q(Quadrilateral4, 2);
  ASSERT_EQ(q.n, 4);
  const double sq[4][2] = {{-g, -g}, {g, -g}, {g, g}, {-g, g}};
  for (int p = 0; p < 4; ++p) {
    const auto x = PointOf(q, p, Quadrilateral4);
    EXPECT_NEAR(x[0], sq[p][0], 1e-15);
    EXPECT_NEAR(x[1], sq[p][1], 1e-15);
    EXPECT_DOUBLE_EQ(q.w[p], 1.0);
  }
  // 27 points in the node order of "Hexahedra 27 Nodes", weights the products of 5/9 and 8/9.
  Rule h(Hexahedra20, 2);
  ASSERT_EQ(h.n, 27);
  const auto X = RefNodes(Hexahedra27);
  for (int p = 0; p < 27; ++p) {
    const auto x = PointOf(h, p, Hexahedra20);
    double w = 1;
    for (int d = 0; d < 3; ++d) {
      EXPECT_NEAR(x[d], r * X[p][d], 1e-14) << p;
      w *= X[p][d] == 0 ? 8.0 / 9 : 5.0 / 9;
    }
    EXPECT_NEAR(h.w[p], w, 1e-14) << p;
  }
  Rule h8(Hexahedra8, 3);
  ASSERT_EQ(h8.n, 8);
  for (int p = 0; p < 8; ++p) {
    const auto x = PointOf(h8, p, Hexahedra8);
    for (int d = 0; d < 3; ++d) EXPECT_NEAR(x[d], g * X[p][d], 1e-15);
  }
}

TEST(GaussRules, PointCountsByShapeAndEffectiveOrder) {
  struct Row {
    ElemOrder eo;
    int n[6];  // k = 0..5
  };
  const Row rows[] = {{Linear2, {1, 1, 2, 2, 3, 3}},        {Triangle3, {1, 1, 3, 4, 6, 7}},
                      {Quadrilateral4, {1, 1, 4, 4, 9, 9}}, {Tetrahedra4, {1, 1, 4, 5, 11, 14}},
                      {Hexahedra8, {1, 1, 8, 8, 27, 27}},   {Prisma6, {1, 1, 6, 8, 8, 8}}};
  for (const Row& row : rows) {
    for (int k = 0; k <= 5; ++k) EXPECT_EQ(Rule(row.eo, k).n, row.n[k]) << row.eo << " k=" << k;
    EXPECT_EQ(Rule(row.eo, 6).n, row.n[5]);
    EXPECT_EQ(Rule(row.eo, 1000).n, row.n[5]);
  }
  // Undoubled orders with a further node take the rule of their shape as given.
  EXPECT_EQ(Rule(Linear3, 2).n, 2);
  EXPECT_EQ(Rule(Tetrahedra5, 2).n, 4);
  EXPECT_EQ(Rule(Hexahedra9, 2).n, 8);
  // Doubled orders: order 1 is k = 2, order 3 or more is k = 5.
  EXPECT_EQ(Rule(Triangle6, 1).n, 3);
  EXPECT_EQ(Rule(Triangle6, 2).n, 6);
  EXPECT_EQ(Rule(Triangle6, 3).n, 7);
  EXPECT_EQ(Rule(Quadrilateral8, 2).n, 9);
  EXPECT_EQ(Rule(Quadrilateral9, 2).n, 9);
  EXPECT_EQ(Rule(Tetrahedra10, 2).n, 11);
  EXPECT_EQ(Rule(Tetrahedra11, 3).n, 14);
  EXPECT_EQ(Rule(Hexahedra27, 2).n, 27);
  EXPECT_EQ(Rule(Triangle6, 0).n, 1);
}

TEST(GaussRules, WeightsSumToTheReferenceMeasure) {
  for (ElemOrder eo : kAllOrders)
    for (int order = 0; order <= 5; ++order) {
      Rule rule(eo, order);
      const bool sixPoint = (eo == Triangle3 || eo == Triangle6) && rule.n == 6;
      EXPECT_NEAR(rule.Weights(), RefMeasure(eo), sixPoint ? 4e-9 : 1e-14) << eo << " order " << order;
    }
}

TEST(GaussRules, TriangleAndTetrahedronRulesAreExactToTheirDegree) {
  for (int k = 1; k <= 5; ++k)
    for (int a = 0; a <= k; ++a)
      for (int b = 0; a + b <= k; ++b) {
        const double exact = Fact(a) * Fact(b) / Fact(a + b + 2);
        const double tol = k == 4 ? 1.5e-8 : 1e-13;  // the six-point weights are given to fewer digits
        EXPECT_NEAR(Integrate(Triangle3, k, a, b, 0), exact, tol) << "k=" << k << " x^" << a << " y^" << b;
        for (int c = 0; a + b + c <= k; ++c) {
          const double e3 = Fact(a) * Fact(b) * Fact(c) / Fact(a + b + c + 3);
          EXPECT_NEAR(Integrate(Tetrahedra4, k, a, b, c), e3, 1e-13) << "k=" << k << " " << a << b << c;
        }
      }
  // One degree more is not integrated exactly.
  EXPECT_GT(std::fabs(Integrate(Triangle3, 2, 3, 0, 0) - Fact(3) / Fact(5)), 1e-6);
  EXPECT_GT(std::fabs(Integrate(Tetrahedra4, 3, 4, 0, 0) - Fact(4) / Fact(7)), 1e-6);
}

TEST(GaussRules, TensorAndPrismRulesAreExactToTheirDegree) {
  const int lineDeg[6] = {1, 1, 3, 3, 5, 5};
  for (int k = 0; k <= 5; ++k) {
    const int d = lineDeg[k];
    for (int a = 0; a <= d; ++a) {
      EXPECT_NEAR(Integrate(Linear2, k, a, 0, 0), LineMonomial(a), 1e-14);
      for (int b = 0; b <= d; ++b) {
        EXPECT_NEAR(Integrate(Quadrilateral4, k, a, b, 0), LineMonomial(a) * LineMonomial(b), 1e-13);
        for (int c = 0; c <= d; ++c)
          EXPECT_NEAR(Integrate(Hexahedra8, k, a, b, c), LineMonomial(a) * LineMonomial(b) * LineMonomial(c), 1e-13);
      }
    }
  }
  // Prism: triangle degree 2 (k = 2) or 3 (k >= 3) times line degree 3.
  for (int k = 2; k <= 5; ++k) {
    const int td = k == 2 ? 2 : 3;
    for (int a = 0; a <= td; ++a)
      for (int b = 0; a + b <= td; ++b)
        for (int c = 0; c <= 3; ++c) {
          const double exact = Fact(a) * Fact(b) / Fact(a + b + 2) * LineMonomial(c);
          EXPECT_NEAR(Integrate(Prisma6, k, a, b, c), exact, 1e-14) << k << a << b << c;
        }
  }
}

TEST(ShapeFunctions, PartitionOfUnityAndLinearReproductionAtEveryRule) {
  for (ElemOrder eo : kAllOrders)
    for (int order : {0, 2, 5}) {
      Rule rule(eo, order);
      const auto X = RefNodes(eo);
      const int nn = ShapeNodeCount(eo), dim = ShapeDimension(eo);
      ASSERT_EQ(int(X.size()), nn);
      for (int p = 0; p < rule.n; ++p) {
        ASSERT_EQ(rule.N[p].nrows, nn);
        ASSERT_EQ(rule.N[p].ncols, 1);
        ASSERT_EQ(rule.dN[p].nrows, dim);
        ASSERT_EQ(rule.dN[p].ncols, nn);
        double sum = 0;
        for (int i = 1; i <= nn; ++i) sum += rule.N[p](i, 1);
        EXPECT_NEAR(sum, 1.0, 1e-14) << eo << " point " << p;
        for (int d = 1; d <= dim; ++d) {
          double row = 0;
          for (int i = 1; i <= nn; ++i) row += rule.dN[p](d, i);
          EXPECT_NEAR(row, 0.0, 1e-13) << eo << " row " << d;
          // Sum of dN_i/dxi_d times coordinate e of node i is the Kronecker delta.
          for (int e = 0; e < dim; ++e) {
            double s = 0;
            for (int i = 0; i < nn; ++i) s += rule.dN[p](d, i + 1) * X[i][e];
            EXPECT_NEAR(s, d - 1 == e ? 1.0 : 0.0, 1e-13) << eo << " d=" << d << " e=" << e;
          }
        }
      }
    }
}

TEST(ShapeFunctions, InterpolationOfTheCoordinatesGivesThePoint) {
  // The points of each rule, recovered through the element's own values, equal those
  // recovered through the linear (corner) functions of the same shape.
  const ElemOrder linearOf[17] = {NoNeOrder,   Linear2,     Linear2,     Triangle3,  Triangle3,   Quadrilateral4,
                                  Quadrilateral4, Quadrilateral4, Tetrahedra4, Tetrahedra4, Tetrahedra4, Tetrahedra4,
                                  Hexahedra8,  Hexahedra8,  Hexahedra8,  Hexahedra8, Prisma6};
  for (ElemOrder eo : kAllOrders)
    for (int order : {1, 2, 5}) {
      const bool doubled = isQuadratic(eo) && eo != Linear3;
      Rule rule(eo, order), base(linearOf[eo], doubled ? std::min(2 * order, 5) : order);
      ASSERT_EQ(rule.n, base.n) << eo;
      for (int p = 0; p < rule.n; ++p) {
        const auto x = PointOf(rule, p, eo), y = PointOf(base, p, linearOf[eo]);
        for (size_t d = 0; d < x.size(); ++d) EXPECT_NEAR(x[d], y[d], 1e-14) << eo << " p " << p;
      }
    }
}

TEST(ShapeFunctions, DerivativesAreCentralDifferencesOfTheValues) {
  // Not for "Triangle 6 Nodes" and "Quadrilateral 8 Nodes", whose values and derivatives
  // are built independently.
  const double h = 1e-6;
  for (ElemOrder eo : kAllOrders) {
    if (eo == Triangle6 || eo == Quadrilateral8) continue;
    Rule rule(eo, 5);
    const int nn = ShapeNodeCount(eo), dim = ShapeDimension(eo);
    for (int p = 0; p < rule.n; ++p) {
      auto x = PointOf(rule, p, eo);
      x.resize(3, 0.0);
      for (int d = 0; d < dim; ++d) {
        double up[3] = {x[0], x[1], x[2]}, dn[3] = {x[0], x[1], x[2]};
        up[d] += h, dn[d] -= h;
        double Nu[27], Nd[27], dummy[81];
        EvalShapeFunctions(eo, up[0], up[1], up[2], Nu, dummy);
        EvalShapeFunctions(eo, dn[0], dn[1], dn[2], Nd, dummy);
        for (int i = 0; i < nn; ++i)
          EXPECT_NEAR((Nu[i] - Nd[i]) / (2 * h), rule.dN[p](d + 1, i + 1), 1e-7) << eo << " node " << i + 1;
      }
    }
  }
}

TEST(ShapeFunctions, MappedElementsIntegrateToTheirMeasure) {
  // x = A xi + b with det A = 3 (or 2 in one and two dimensions): sum of w det J = det A times the reference measure.
  const double A[3][3] = {{2.0, 0.5, 0.0}, {0.0, 1.5, 0.25}, {0.0, 0.0, 1.0}};
  for (ElemOrder eo : kAllOrders) {
    Rule rule(eo, 2);
    const auto X = RefNodes(eo);
    const int nn = ShapeNodeCount(eo), dim = ShapeDimension(eo);
    double detA = 1;
    for (int d = 0; d < dim; ++d) detA *= A[d][d];
    double measure = 0;
    for (int p = 0; p < rule.n; ++p) {
      double J[3][3] = {};
      for (int d = 0; d < dim; ++d)
        for (int e = 0; e < dim; ++e)
          for (int i = 0; i < nn; ++i) {
            double xe = 0.7 * (e + 1);  // coordinate e of the mapped node i
            for (int f = 0; f < dim; ++f) xe += A[e][f] * X[i][f];
            J[d][e] += rule.dN[p](d + 1, i + 1) * xe;
          }
      const double det = dim == 1   ? J[0][0]
                         : dim == 2 ? J[0][0] * J[1][1] - J[0][1] * J[1][0]
                                    : J[0][0] * (J[1][1] * J[2][2] - J[1][2] * J[2][1]) -
                                          J[0][1] * (J[1][0] * J[2][2] - J[1][2] * J[2][0]) +
                                          J[0][2] * (J[1][0] * J[2][1] - J[1][1] * J[2][0]);
      measure += rule.w[p] * det;
    }
    const double tol = eo == Triangle6 ? 2e-8 : 1e-13;  // six-point weights
    EXPECT_NEAR(measure, detA * RefMeasure(eo), tol) << eo;
  }
}

TEST(ShapeFunctions, ValuesAtCentresOfTheSpecialOrders) {
  double N[27], dN[81];
  const double c = 1.0 / 3.0;
  EvalShapeFunctions(Triangle6, c, c, 0, N, dN);
  const double tri6[6] = {0, 0, 0, c, c, c}, tri6dx[6] = {-c, c, 0, 0, 4 * c, -4 * c};
  for (int i = 0; i < 6; ++i) {
    EXPECT_NEAR(N[i], tri6[i], 1e-15) << i;
    EXPECT_NEAR(dN[i], tri6dx[i], 1e-15) << i;
  }
  EvalShapeFunctions(Quadrilateral8, 0, 0, 0, N, dN);
  for (int i = 0; i < 8; ++i) EXPECT_DOUBLE_EQ(N[i], i < 4 ? 0.25 : 0.0) << i;
  EvalShapeFunctions(Tetrahedra11, 0.25, 0.25, 0.25, N, dN);
  for (int i = 0; i < 11; ++i) EXPECT_NEAR(N[i], i == 10 ? 1.0 : 0.0, 1e-15) << i;
  EvalShapeFunctions(Hexahedra9, 0, 0, 0, N, dN);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(N[i], i == 8 ? 1.0 : 0.0, 1e-15) << i;
  // Quadratic Lagrange and serendipity orders are nodal (Kronecker) at their nodes.
  for (ElemOrder eo : {Linear3, Quadrilateral9, Tetrahedra10, Hexahedra20, Hexahedra27, Prisma6}) {
    const auto X = RefNodes(eo);
    for (size_t j = 0; j < X.size(); ++j) {
      auto x = X[j];
      x.resize(3, 0.0);
      EvalShapeFunctions(eo, x[0], x[1], x[2], N, dN);
      for (size_t i = 0; i < X.size(); ++i) EXPECT_NEAR(N[i], i == j ? 1.0 : 0.0, 1e-14) << eo << " " << i << " " << j;
    }
  }
}

TEST(GaussRules, RepeatedCallsKeepTheStorage) {
  Matrix N[27], dN[27];
  double w[27];
  ASSERT_EQ(Give_Integration_Data(Hexahedra20, 2, N, dN, w), 27);
  const double* nd = N[26].data;
  const double* dd = dN[26].data;
  ASSERT_EQ(Give_Integration_Data(Hexahedra20, 2, N, dN, w), 27);
  EXPECT_EQ(N[26].data, nd);
  EXPECT_EQ(dN[26].data, dd);
}

TEST(GaussRules, UnknownOrderGivesNoPointsAndNegativeOrderIsFatal) {
  Matrix N[27], dN[27];
  double w[27] = {42.0};
  EXPECT_EQ(Give_Integration_Data(NoNeOrder, 2, N, dN, w), 0);
  EXPECT_EQ(Give_Integration_Data(static_cast<ElemOrder>(17), 2, N, dN, w), 0);
  EXPECT_EQ(w[0], 42.0);
  EXPECT_EQ(N[0].size, 0);

  auto tri6 = RunInChild([] {
    Matrix N[27], dN[27];
    double w[27];
    Give_Integration_Data(Triangle6, -1, N, dN, w);
  });
  EXPECT_EQ(tri6.status, 1);
  EXPECT_EQ(tri6.err, "\n\nTriangle integration rule for order -2 not implemented\n");
  auto prism = RunInChild([] {
    Matrix N[27], dN[27];
    double w[27];
    Give_Integration_Data(Prisma6, -3, N, dN, w);
  });
  EXPECT_EQ(prism.err, "\n\nPrisma integration rule for order -3 not implemented\n");
}
