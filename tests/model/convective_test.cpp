// Convective and streamline matrices of a velocity field on every element kind, the nodal
// stabilisation parameter with its limits and skip, and the directional Laplacians.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "flow/convective.h"
#include "foundation/declarations.h"
#include "solvers/sparsematrix.h"
#include "tests/model/gridcase.h"

namespace {

using olvu_test::GridCase;
using olvu_test::GridKind;
using olvu_test::GridLayout;

using Dense = std::vector<std::vector<double>>;

Dense ToDense(const SparseMatrix& A, int n) {
  Dense m(std::size_t(n), std::vector<double>(std::size_t(n), 0.0));
  for (int r = 0; r < n; ++r)
    for (int k = *A.row_ptr(r); k < *A.row_ptr(r + 1); ++k) m[std::size_t(r)][std::size_t(*A.col_ind(k))] += *A.val(k);
  return m;
}

// Full matrix of a symmetric one (upper triangle stored).
Dense SymmetricDense(SymmetricSparseMatrix& A, int n) {
  Dense m(std::size_t(n), std::vector<double>(std::size_t(n), 0.0));
  ReaVec e(unsigned(n), 0.0), y(unsigned(n), 0.0);
  for (int c = 0; c < n; ++c) {
    e = 0.0;
    e[unsigned(c)] = 1;
    A.mult(e.GivePointer(), y.GivePointer());
    for (int r = 0; r < n; ++r) m[std::size_t(r)][std::size_t(c)] = y[unsigned(r)];
  }
  return m;
}

double MaxAbs(const Dense& m) {
  double s = 0;
  for (auto& r : m)
    for (double v : r) s = std::fmax(s, std::fabs(v));
  return s;
}

// Resets the globals that decide the skip and the parameter, and sets the time step.
void Step(FluidDomain& d, double maxVelocity, double dt = 0.5) {
  Max_Velocity = maxVelocity;
  VarIncrRatio.resize(0);
  Initial_Phase = 0;
  Run_Time_Increment = dt;
  d.StartNewStep();
}

// Fills the velocity with reproducible values in [-1, 1].
void RandomVelocity(FluidDomain& d, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int c = 0; c < 3; ++c)
    for (unsigned i = 1; i <= unsigned(d.numNodes); ++i) d.Var(VelX + c)(i) = c < Dimension_Olvu ? u(gen) : 0.0;
}

void Convective(FluidDomain& d) { d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ)); }

struct KindCase {
  GridKind kind;
  const char* name;
};

class EveryKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(EveryKind, KRowsSumToZeroAndSIsSymmetricWithZeroRowSums) {
  GridLayout g;
  g.kind = GetParam().kind;
  g.nx = g.ny = 3, g.nz = 2;
  g.lx = 1.5, g.ly = 1.0, g.lz = 0.8;
  GridCase t(g);
  FluidDomain& d = t.d;
  Step(d, 1.0);
  RandomVelocity(d, 7);
  Convective(d);
  const int n = d.numNodes;
  const Dense K = ToDense(*d.SystemMatrix(7), n), S = ToDense(*d.SystemMatrix(8), n);
  const double ks = MaxAbs(K), ss = MaxAbs(S);
  ASSERT_GT(ks, 0.01);
  ASSERT_GT(ss, 0.01);
  for (int i = 0; i < n; ++i) {
    double kr = 0, sr = 0;
    for (int j = 0; j < n; ++j) {
      kr += K[std::size_t(i)][std::size_t(j)];
      sr += S[std::size_t(i)][std::size_t(j)];
      EXPECT_NEAR(S[std::size_t(i)][std::size_t(j)], S[std::size_t(j)][std::size_t(i)], 1e-13 * ss);
    }
    EXPECT_NEAR(kr, 0, 1e-13 * ks) << i;
    EXPECT_NEAR(sr, 0, 1e-13 * ss) << i;
  }
  // The parameter is positive everywhere and its mean lies between its limits.
  for (unsigned i = 1; i <= unsigned(n); ++i) EXPECT_GT(d.Var(TauV)(i), 0) << i;
  EXPECT_NEAR(d.TauVLow(), 0.025 * d.TauMean(), 1e-15);
  EXPECT_NEAR(d.TauVHigh(), 25 * d.TauMean(), 1e-13);
}

TEST_P(EveryKind, ExactForALinearFieldInAUniformFlow) {
  // K T = (U·grad T) m for T linear and U uniform: the integral of N_i times a constant.
  GridLayout g;
  g.kind = GetParam().kind;
  g.nx = g.ny = 3, g.nz = 2;
  GridCase t(g);
  FluidDomain& d = t.d;
  Step(d, 1.0);
  const double U[3] = {0.7, -0.4, 0.25};
  const double grad[3] = {2.0, -1.0, 3.0};
  const unsigned n = unsigned(d.numNodes);
  ReaVec T(n, 0.0), KT(n, 0.0);
  double ug = 0;
  for (int c = 0; c < Dimension_Olvu; ++c) {
    d.Var(VelX + c) = U[c];
    ug += U[c] * grad[c];
  }
  for (unsigned i = 1; i <= n; ++i)
    for (int c = 0; c < Dimension_Olvu; ++c) T(i) += grad[c] * t.X(i, unsigned(c + 1));
  Convective(d);
  d.SystemMatrix(7)->mult(T.GivePointer(), KT.GivePointer());
  ReaVec m(n, 0.0);
  d.Mass()->lump(m);
  for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(KT(i), ug * m(i), 1e-12) << i;
}

INSTANTIATE_TEST_SUITE_P(Grids, EveryKind,
                         ::testing::Values(KindCase{GridKind::Tri3, "Tri3"}, KindCase{GridKind::Tri6, "Tri6"},
                                           KindCase{GridKind::Quad4, "Quad4"}, KindCase{GridKind::Tet4, "Tet4"},
                                           KindCase{GridKind::Hex8, "Hex8"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConvectiveMatrices, GaussPathEqualsTheClosedFormsOnLinearElements) {
  for (GridKind kind : {GridKind::Tri3, GridKind::Tet4}) {
    GridLayout g;
    g.kind = kind;
    g.nx = g.ny = g.nz = 2;
    GridCase t(g);
    FluidDomain& d = t.d;
    Step(d, 1.0);
    RandomVelocity(d, 3);
    Convective(d);
    const int n = d.numNodes;
    const Dense K = ToDense(*d.SystemMatrix(7), n), S = ToDense(*d.SystemMatrix(8), n);
    const ReaVec tau = d.Var(TauV);
    d.SystemMatrix(7)->NullifyMatrix();
    d.SystemMatrix(8)->NullifyMatrix();
    d.Var(TauV) = 0.0;
    d.CalcConvectiveMatrixesDefault(d.giveDomainMesh(1), d.Var(VelX), d.Var(VelY), d.Var(VelZ));
    const Dense Kg = ToDense(*d.SystemMatrix(7), n), Sg = ToDense(*d.SystemMatrix(8), n);
    for (std::size_t i = 0; i < std::size_t(n); ++i) {
      for (std::size_t j = 0; j < std::size_t(n); ++j) {
        EXPECT_NEAR(K[i][j], Kg[i][j], 1e-12);
        EXPECT_NEAR(S[i][j], Sg[i][j], 1e-12);
      }
      EXPECT_NEAR(tau[unsigned(i)] * d.LumpedMass()[unsigned(i)], d.Var(TauV)[unsigned(i)], 1e-12);
    }
  }
}

TEST(Stabilisation, FluidAtRestGivesHalfTheTimeStep) {
  GridLayout g;
  GridCase t(g);
  FluidDomain& d = t.d;
  Step(d, 1e-14, 0.4);
  Convective(d);
  for (unsigned i = 1; i <= unsigned(d.numNodes); ++i) EXPECT_NEAR(d.Var(TauV)(i), 0.2, 1e-15);
  EXPECT_NEAR(d.TauMean(), 0.2, 1e-15);
  // Crank-Nicolson halves theta dt, and with it the parameter at rest.
  GridLayout cn;
  cn.scheme = "Crank_Nicolson";
  GridCase c(cn);
  Step(c.d, 1e-14, 0.4);
  Convective(c.d);
  EXPECT_NEAR(c.d.TauMean(), 0.1, 1e-15);
}

TEST(Stabilisation, UniformFlowOnAUnitGrid) {
  // Right triangles with unit legs in the flow (1, 0): tau_e = 0.5 (1·1 + 1e-14·1) / (1 + 1e-28).
  GridLayout g;
  g.nx = g.ny = 3, g.lx = g.ly = 3;
  GridCase t(g);
  FluidDomain& d = t.d;
  Step(d, 1.0);
  d.Var(VelX) = 1.0;
  Convective(d);
  const double expected = 0.5 * (1 + 1e-14) / (1 + 1e-28);
  for (unsigned i = 1; i <= unsigned(d.numNodes); ++i) EXPECT_DOUBLE_EQ(d.Var(TauV)(i), expected);
  EXPECT_DOUBLE_EQ(d.TauMean(), expected);
  EXPECT_DOUBLE_EQ(d.TauPLow(), 0.025 * expected);
  EXPECT_DOUBLE_EQ(d.TauPHigh(), 25 * expected);
  // An element of speed below 1e-3 Max_Velocity counts as at rest.
  d.Var(VelX) = 0.5e-3;
  Convective(d);
  EXPECT_DOUBLE_EQ(d.TauMean(), 0.25);
}

TEST(Stabilisation, ElementVelocityTakesTheNodalValueOfLargestMagnitude) {
  const double L[3] = {2, 1, 0};
  double U[3] = {-3, 1e-14, 1e-14};
  EXPECT_DOUBLE_EQ(ElementTau(U, L, 2, 1, 1), 0.5 * (6 + 1e-14) / (9 + 1e-28));
  U[0] = 2;
  EXPECT_DOUBLE_EQ(ElementTau(U, L, 2, 1, 1), 0.5 * (4 + 1e-14) / (4 + 1e-28));
  EXPECT_DOUBLE_EQ(ElementTau(U, L, 2, 1, 1, 0.5), 0.25 * (4 + 1e-14) / (4 + 1e-28));
  // At rest the quadratic halving does not apply.
  EXPECT_DOUBLE_EQ(ElementTau(U, L, 2, 1e-7, 0.3, 0.5), 0.15);
  // One triangle whose nodes carry u = (-3, 2, 1) and (2, -2, 1).
  GridLayout g;
  g.nx = g.ny = 1;
  g.lx = 2;
  GridCase t(g);
  FluidDomain& d = t.d;
  Step(d, 3.0);
  const unsigned first[3] = {t.Node(0, 0), t.Node(1, 0), t.Node(1, 1)};
  const unsigned second[3] = {t.Node(0, 0), t.Node(1, 1), t.Node(0, 1)};
  const double a[3] = {-3, 2, 1}, b[3] = {2, -2, 1};
  d.Var(VelX) = 0.0;
  for (int k = 0; k < 3; ++k) d.Var(VelX)(first[k]) = a[k];
  Convective(d);
  // Node (1, 0) lies in the first element only: its tau is that element's, L = (2, 1).
  EXPECT_DOUBLE_EQ(d.Var(TauV)(t.Node(1, 0)), 0.5 * (6 + 1e-14) / (9 + 1e-28));
  d.Var(VelX) = 0.0;
  for (int k = 0; k < 3; ++k) d.Var(VelX)(second[k]) = b[k];
  Convective(d);
  EXPECT_DOUBLE_EQ(d.Var(TauV)(t.Node(0, 1)), 0.5 * (4 + 1e-14) / (4 + 1e-28));
}

TEST(Stabilisation, LimitsThatCrossBecomeThetaDt) {
  // A speed of 1e16 on a unit grid: mean about 5e-17, the raised lower limit 1e-14 exceeds
  // the upper 25 times the mean, so both limits of each pair are theta dt.
  GridLayout g;
  g.nx = g.ny = 1;
  GridCase t(g);
  FluidDomain& d = t.d;
  Step(d, 1e16, 0.3);
  d.Var(VelX) = 1e16;
  Convective(d);
  EXPECT_LT(d.TauMean(), 1e-16);
  EXPECT_DOUBLE_EQ(d.TauVLow(), 0.3);
  EXPECT_DOUBLE_EQ(d.TauVHigh(), 0.3);
  EXPECT_DOUBLE_EQ(d.TauPLow(), 0.3);
  EXPECT_DOUBLE_EQ(d.TauPHigh(), 0.3);
}

TEST(Stabilisation, RatioAboveTheUpperFactorRaisesIt) {
  GridLayout g;
  g.flags = "Solve_Temperature MinTauV_Ratio 40";
  GridCase t(g);
  FluidDomain& d = t.d;
  Step(d, 1e-14);
  Convective(d);
  EXPECT_DOUBLE_EQ(d.TauVLow(), 40 * d.TauMean());
  EXPECT_DOUBLE_EQ(d.TauVHigh(), 40 * d.TauMean());
  EXPECT_DOUBLE_EQ(d.TauPHigh(), 25 * d.TauMean());
}

TEST(Stabilisation, AdvectionNormSkipsTheRebuildWithItsMessage) {
  GridLayout g;
  g.flags = "Solve_Temperature AdvectionNorm 0.01";
  VarTolerance.resize(0);  // no tolerance to lower the norm to
  GridCase t(g);
  FluidDomain& d = t.d;
  ASSERT_DOUBLE_EQ(d.AdvectionNorm(), 0.01);
  Step(d, 1.0);
  d.Var(VelX) = 1.0;
  Convective(d);
  const ReaVec tau = d.Var(TauV);
  const double mean = d.TauMean(), low = d.TauVLow();
  const std::vector<double> k(d.SystemMatrix(7)->val(0), d.SystemMatrix(7)->val(0) + d.SystemMatrix(7)->numnonzeros());
  // A small velocity change in an iteration whose ratio is below the norm: nothing is rebuilt.
  d.Var(VelX) = 1.01;
  d.Var(VelY) = 0.02;
  VarIncrRatio.resize(3, 0.001);
  testing::internal::CaptureStdout();
  Convective(d);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "CalcConvectiveMatrixes jumped\n");
  EXPECT_EQ(d.Var(TauV), tau);
  EXPECT_EQ(d.TauMean(), mean);
  EXPECT_EQ(d.TauVLow(), low);
  for (int p = 0; p < d.SystemMatrix(7)->numnonzeros(); ++p) EXPECT_EQ(*d.SystemMatrix(7)->val(p), k[std::size_t(p)]);
  // A ratio above the norm rebuilds.
  VarIncrRatio(1) = 0.1;
  testing::internal::CaptureStdout();
  Convective(d);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_NE(d.TauMean(), mean);
}

TEST(Stabilisation, AMeshMovingWithTheFluidSeesNoConvection) {
  GridLayout g;
  g.flags = "Solve_Temperature Solve_Mesh_Deformation";
  GridCase t(g);
  FluidDomain& d = t.d;
  Step(d, 1.0, 0.25);
  RandomVelocity(d, 11);
  for (int c = 0; c < 3; ++c) d.Var(MeshX + c).product(d.Var(VelX + c), 0.25);
  Convective(d);
  EXPECT_EQ(MaxAbs(ToDense(*d.SystemMatrix(7), d.numNodes)), 0.0);
  EXPECT_EQ(MaxAbs(ToDense(*d.SystemMatrix(8), d.numNodes)), 0.0);
  for (unsigned i = 1; i <= unsigned(d.numNodes); ++i) EXPECT_NEAR(d.Var(TauV)(i), 0.125, 1e-15);
}

TEST(AdditionalMatrices, DirectionalLaplaciansSumToTheLaplacian) {
  for (GridKind kind : {GridKind::Quad4, GridKind::Tri3, GridKind::Tri6, GridKind::Tet4, GridKind::Hex8}) {
    GridLayout g;
    g.kind = kind;
    g.nx = g.ny = g.nz = 2;
    g.lx = g.ly = g.lz = 2;  // unit cells
    GridCase t(g);
    FluidDomain& d = t.d;
    EXPECT_EQ(d.DirectionalLaplacian(0), nullptr);
    d.CalcAdditionalSystemMatrixes();
    const int n = d.numNodes;
    const Dense L = SymmetricDense(*d.Laplacian(), n);
    Dense sum(std::size_t(n), std::vector<double>(std::size_t(n), 0.0));
    for (int k = 0; k < 3; ++k) {
      const Dense part = SymmetricDense(*d.DirectionalLaplacian(k), n);
      if (k == 2 && !g.Solid()) {
        EXPECT_EQ(MaxAbs(part), 0.0);
      }
      for (std::size_t i = 0; i < std::size_t(n); ++i)
        for (std::size_t j = 0; j < std::size_t(n); ++j) sum[i][j] += part[i][j];
    }
    for (std::size_t i = 0; i < std::size_t(n); ++i)
      for (std::size_t j = 0; j < std::size_t(n); ++j) EXPECT_NEAR(sum[i][j], L[i][j], 1e-12) << int(kind);
    for (unsigned i = 1; i <= unsigned(n); ++i) {
      if (kind == GridKind::Quad4 || kind == GridKind::Hex8) {
        EXPECT_NEAR(d.Var(AddVec1)(i), 1.0, 1e-12);
        EXPECT_NEAR(d.Var(AddVec2)(i), 1.0, 1e-12);
      }
      if (!g.Solid()) {
        EXPECT_EQ(d.Var(AddVec3)(i), 0.0);
      }
    }
  }
}

}  // namespace
