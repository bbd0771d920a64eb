// Field smoothing, the automatic stabilisation order, discontinuity capturing on a step profile
// and the volume correction of a transported scalar, on structured triangle grids.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "foundation/declarations.h"
#include "solvers/sparsematrix.h"
#include "tests/model/gridcase.h"

namespace {

using olvu_test::GridCase;
using olvu_test::GridLayout;

ReaVec MassMean(FluidDomain& d, const ReaVec& x) {
  ReaVec y(x.length(), 0.0);
  d.Mass()->mult(x.GivePointer(), y.GivePointer());
  y.product(d.InvLumpedMass());
  return y;
}

double RelDiff(double a, double b) { return std::fabs((std::fabs(a) - std::fabs(b)) / (std::fabs(a) + std::fabs(b) + 1e-14)); }

struct Smoothing : ::testing::Test {
  GridLayout layout = [] {
    GridLayout g;
    g.nx = g.ny = 4;
    return g;
  }();
  GridCase t{layout};
  FluidDomain& d = t.d;
  const unsigned n = unsigned(d.numNodes);
  BitVec boundary{n};
  ReaVec x{n};

  void SetUp() override {
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(0.5, 1.5);
    for (unsigned i = 1; i <= n; ++i) x(i) = u(gen);
    for (int i = 0; i <= 4; ++i)
      for (int j = 0; j <= 4; ++j)
        if (i == 0 || j == 0 || i == 4 || j == 4) boundary.assign(t.Node(i, j), 1);
  }
};

TEST_F(Smoothing, PassesMoveOnlyFreeNodes) {
  ReaVec y = x;
  d.VarSmoothing(y, boundary, 0);
  EXPECT_EQ(y, x);
  // More than four passes: one unconditional pass to the neighbourhood means.
  const ReaVec mean = MassMean(d, x);
  d.VarSmoothing(y, boundary, 5);
  for (unsigned i = 1; i <= n; ++i) EXPECT_DOUBLE_EQ(y(i), boundary(i) ? x(i) : mean(i)) << i;
  // One pass (threshold 0.24): a free node takes its mean only when it differs from it by more.
  y = x;
  const unsigned spike = t.Node(2, 2);
  y(spike) = 8;
  const ReaVec start = y, first = MassMean(d, y);
  d.VarSmoothing(y, boundary, 1);
  int moved = 0;
  for (unsigned i = 1; i <= n; ++i) {
    const bool move = !boundary(i) && RelDiff(first(i), start(i)) > 0.24;
    moved += move;
    EXPECT_EQ(y(i), move ? first(i) : start(i)) << i;
  }
  EXPECT_GE(moved, 1);
  EXPECT_EQ(y(spike), first(spike));
  // Two passes (threshold 0.18) bring the spike further down; the boundary never moves.
  y = start;
  d.VarSmoothing(y, boundary, 2);
  EXPECT_LT(y(spike), first(spike));
  for (unsigned i = 1; i <= n; ++i) {
    if (boundary(i)) {
      EXPECT_EQ(y(i), start(i)) << i;
    }
  }
  // A constant field stays.
  ReaVec c(n, 2.5);
  d.VarSmoothing(c, BitVec(n), 3);
  for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(c(i), 2.5, 1e-14);
}

TEST_F(Smoothing, AutomaticOrderFollowsTheNeighbourhoodMean) {
  // Node i = 1 with every neighbour at c: its mean is (M_ii + c Σ_j M_ij) / m_i.
  const unsigned i = t.Node(2, 2);
  const double mii = d.Mass()->diag(int(i) - 1), m = d.LumpedMass()(i);
  auto run = [&](double mean) {
    const double c = (mean * m - mii) / (m - mii);
    ReaVec z(n, c), s(n, 0.8);
    z(i) = 1;
    d.AutoStabOrder(z, s);
    return s(i);
  };
  EXPECT_EQ(run(0.0), 0.0);                                   // f = -3.5
  EXPECT_EQ(run(2.0), 0.0);                                   // f = 1.5 - 5/3
  EXPECT_DOUBLE_EQ(run(-1.0), 0.8);                           // same magnitude: f = 1.5
  EXPECT_DOUBLE_EQ(run(0.9), 0.8);                            // f = 1.5 - 5 (0.1/1.9) > 1
  EXPECT_NEAR(run(0.7), 0.8 * (1.5 - 5 * 0.3 / 1.7), 1e-12);  // 0 <= f < 1
  // A node at 1e-14 keeps its weight, and a constant field keeps every weight.
  ReaVec z(n, 3.0), s(n, 0.8);
  z(i) = 1e-14;
  d.AutoStabOrder(z, s);
  EXPECT_EQ(s(i), 0.8);
  ReaVec k(n, 3.0), w(n, 0.8);
  d.AutoStabOrder(k, w);
  EXPECT_EQ(w, ReaVec(n, 0.8));
}

// A step in x across the middle of [0, 2] x [0, 0.5] on unit-speed flow along x.
struct Capturing : ::testing::Test {
  GridLayout layout = [] {
    GridLayout g;
    g.nx = 8, g.ny = 2, g.lx = 2, g.ly = 0.5;
    return g;
  }();
  GridCase t{layout};
  FluidDomain& d = t.d;
  const unsigned n = unsigned(d.numNodes);
  ReaVec x{n}, a{n, 0.01}, b{n, 2.0}, D{n, 0.0};

  void SetUp() override {
    for (unsigned i = 1; i <= n; ++i) x(i) = t.X(i, 1) < 1.1 ? 0.0 : 1.0;
    d.Var(VelX) = 1.0;
  }
  // Nodes of column i carry the gradient when i is 4 or 5 (the step lies between them).
  bool Steep(unsigned node) const {
    const double X = t.X(node, 1);
    return X > 0.9 && X < 1.3;
  }
};

TEST_F(Capturing, EveryLevelOnAStepProfile) {
  const double c1[7] = {0, 0.25, 0.5, 1.0, 1.0, 2.0, 1.0}, c2[7] = {0, 0, 0, 0, 0.5, 1.0, 1.0};
  const ReaVec& h = d.Var(ElemSize);
  for (int level = 0; level <= 7; ++level) {
    ReaVec base = a;
    d.DiscontinuityCapturing(x, base, b, D, level);
    for (unsigned i = 1; i <= n; ++i) {
      double expected = 0.01;
      if (level >= 1 && Steep(i)) {
        const int l = level > 6 ? 6 : level;
        // Linear triangles in two dimensions: factor 0.35; the speed along the gradient is 1.
        expected = std::fmax(0.01, 0.35 * (c1[l] * h(i) + c2[l] * h(i) * h(i) * 2.0));
      }
      EXPECT_NEAR(D(i), expected, 1e-12) << "level " << level << " node " << i;
    }
    // Level 5 raises the base diffusivity to its volume mean; a constant one stays.
    EXPECT_EQ(base, a);
  }
  // Without a reaction coefficient only the convective part counts (level 5 keeps c1 = 2).
  ReaVec none;
  d.DiscontinuityCapturing(x, a, none, D, 5);
  for (unsigned i = 1; i <= n; ++i)
    if (Steep(i)) {
      EXPECT_NEAR(D(i), 0.35 * 2.0 * h(i), 1e-12);
    }
  // With a capacity the convective part is weighted by it (five-vector form, no level-5 raise).
  ReaVec rho(n, 3.0), base = a;
  for (unsigned i = 1; i <= n; ++i) base(i) = 0.01 + 0.001 * i;
  const ReaVec before = base;
  d.DiscontinuityCapturing(x, rho, base, b, D, 5);
  EXPECT_EQ(base, before);
  for (unsigned i = 1; i <= n; ++i)
    EXPECT_NEAR(D(i), Steep(i) ? std::fmax(before(i), 0.35 * (2.0 * h(i) * 3.0 + h(i) * h(i) * 2.0)) : before(i), 1e-12);
}

TEST_F(Capturing, SameVectorKeepsThePhysicalDiffusivity) {
  // Diffusivity and result in one vector: nodes without gradient keep their diffusivity, steep
  // nodes take the larger of it and the capturing value.
  ReaVec k(n, 0.01);
  const unsigned big = t.Node(4, 1);
  k(big) = 10;
  d.DiscontinuityCapturing(x, k, b, k, 2);
  const ReaVec& h = d.Var(ElemSize);
  for (unsigned i = 1; i <= n; ++i) {
    if (i == big) {
      EXPECT_EQ(k(i), 10);
    } else {
      EXPECT_NEAR(k(i), Steep(i) ? std::fmax(0.01, 0.35 * 0.5 * h(i)) : 0.01, 1e-12) << i;
    }
  }
  // Level 5 then raises every entry to the volume mean of the result.
  ReaVec zero(n, 0.0), separate(n, 0.0), q(n, 0.0);
  d.DiscontinuityCapturing(x, zero, b, separate, 5);
  double sum = 0;
  for (unsigned i = 1; i <= n; ++i) sum += separate(i) * d.LumpedMass()(i);
  const double mean = sum / d.LumpedMass().sum();
  EXPECT_GT(mean, 0);
  d.DiscontinuityCapturing(x, q, b, q, 5);
  for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(q(i), std::fmax(separate(i), mean), 1e-14) << i;
  // Level 0 copies the diffusivity.
  ReaVec out(n, 7.0);
  d.DiscontinuityCapturing(x, a, b, out, 0);
  EXPECT_EQ(out, a);
}

TEST_F(Capturing, RaiseOfTheBaseAtLevelFive) {
  ReaVec base(n);
  for (unsigned i = 1; i <= n; ++i) base(i) = t.X(i, 1);  // volume mean 1 over [0, 2]
  d.DiscontinuityCapturing(x, base, b, D, 5);
  for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(base(i), std::fmax(t.X(i, 1), 1.0), 1e-12) << i;
}

TEST_F(Capturing, IndicatorsOfTheHelpers) {
  ReaVec c(n, 4.0), chi(n, 0.5);
  d.DiscontCapturing(c, chi, 0);
  EXPECT_EQ(chi, ReaVec(n, 0.5));  // level 0 leaves it
  d.DiscontCapturing(c, chi, 10);
  EXPECT_EQ(chi, ReaVec(n, 1.0));
  d.DiscontCapturing(c, chi, 2);
  EXPECT_EQ(chi, ReaVec(n, 0.0));  // a constant field has no discontinuity
  d.DiscontCapturing(x, chi, 2);
  for (unsigned i = 1; i <= n; ++i)
    if (!Steep(i)) {
      EXPECT_EQ(chi(i), 0.0) << i;
    }
  EXPECT_GT(chi.max_val(), 0.0);
  ReaVec shock(n, 9.0);
  d.VarShockCapt(c, shock);
  EXPECT_EQ(shock, ReaVec(n, 0.0));
  // A constant field adds no capturing diffusion.
  Initial_Phase = 0;
  Run_Time_Increment = 0.5;
  d.StartNewStep();
  ReaVec diff(n, 0.3);
  d.AddDCDifussion(c, diff, 3);
  EXPECT_EQ(diff, ReaVec(n, 0.3));
  // The blending smoother leaves fixed nodes and constant fields alone.
  ReaVec y = x;
  BitVec all(n);
  all.assign(1);
  d.DiscontCapturing(y, all, 2);
  EXPECT_EQ(y, x);
}

// The volume balance of a scalar in uniform flow (1, 0) through the unit square.
struct Volume : ::testing::Test {
  GridLayout layout = [] {
    GridLayout g;
    g.nx = g.ny = 6;
    g.flags = "Solve_NavierStokes";
    return g;
  }();
  GridCase t{layout};
  FluidDomain& d = t.d;
  const unsigned n = unsigned(d.numNodes);
  double Integral(const ReaVec& v) {
    double s = 0;
    for (unsigned i = 1; i <= n; ++i) s += d.LumpedMass()(i) * v(i);
    return s;
  }
  // A step of 0.1 s begins in the uniform stream u = (1, 0); phi0 = phi = 1 + x.
  void StartStep(ReaVec& phi0, ReaVec& phi) {
    Initial_Phase = 0;
    Run_Time_Increment = 0.1;
    d.StartNewStep();
    d.Var(VelX) = 1.0;
    d.Var(VelY) = 0.0;
    for (unsigned i = 1; i <= n; ++i) phi0(i) = phi(i) = 1 + t.X(i, 1);
  }
};

TEST_F(Volume, CorrectionRestoresTheBalanceWithTheOutflow) {
  ReaVec phi0(n), phi(n);
  StartStep(phi0, phi);
  const unsigned bump = t.Node(3, 3);
  phi(bump) += 0.5;
  // Outflow of phi in a step: dt ∮ phi u·n = 0.1 (2 - 1) for phi = 1 + x.
  EXPECT_EQ(d.VolumeConservation(phi0, phi, 1e100, -1e100, 1e-12, 3), 0);
  EXPECT_NEAR(Integral(phi) - Integral(phi0), -0.1, 1e-12);
  // Nodes farther than one element from the bump did not move.
  for (unsigned i = 1; i <= n; ++i) {
    const double dx = std::fabs(t.X(i, 1) - t.X(bump, 1)), dy = std::fabs(t.X(i, 2) - t.X(bump, 2));
    if (dx > 0.2 || dy > 0.2) {
      EXPECT_EQ(phi(i), phi0(i)) << i;
    }
  }
}

TEST_F(Volume, PrescribedNodesKeepTheirValues) {
  // The bump of the test above with the inflow column x = 0 prescribed: the balance is restored
  // by the free nodes alone, and the prescribed values stay as the boundary condition gave them.
  ReaVec phi0(n), phi(n);
  StartStep(phi0, phi);
  BitVec fixed(n);
  for (unsigned i = 1; i <= n; ++i)
    if (t.X(i, 1) == 0) fixed.assign(i, 1);
  phi(t.Node(1, 3)) += 0.5;  // next to the prescribed column, so that it would take a share
  const ReaVec given = phi;
  EXPECT_EQ(d.VolumeConservation(phi0, phi, 1e100, -1e100, 1e-12, 3, &fixed), 0);
  EXPECT_NEAR(Integral(phi) - Integral(phi0), -0.1, 1e-12);
  for (unsigned i = 1; i <= n; ++i) {
    if (!fixed(i)) continue;
    EXPECT_EQ(phi(i), given(i)) << i;
  }
  // Without the set the prescribed column moves with the rest.
  phi = given;
  d.VolumeConservation(phi0, phi, 1e100, -1e100, 1e-12, 3);
  bool moved = false;
  for (unsigned i = 1; i <= n; ++i) moved = moved || (fixed(i) && phi(i) != given(i));
  EXPECT_TRUE(moved);
}

TEST_F(Volume, NothingToMoveAndNoVelocity) {
  ReaVec phi0(n), phi(n);
  StartStep(phi0, phi);
  // The balance fails by the outflow, but phi equals phi0: nothing can move, nothing is inf or nan.
  EXPECT_EQ(d.VolumeConservation(phi0, phi, 1e100, -1e100, 1e-12, 3), -1);
  EXPECT_EQ(phi, phi0);
  // Without the velocity problem the correction is refused.
  GridLayout g;
  GridCase c(g);
  ReaVec p(unsigned(c.d.numNodes), 1.0), p0(unsigned(c.d.numNodes), 2.0);
  EXPECT_EQ(c.d.VolumeConservation(p0, p, 1e100, -1e100, 1e-12, 3), -1);
  EXPECT_EQ(p, ReaVec(unsigned(c.d.numNodes), 1.0));
}

TEST_F(Volume, LimitsClampTheCorrection) {
  Initial_Phase = 0;
  Run_Time_Increment = 0.1;
  d.StartNewStep();
  d.Var(VelX) = 0.0;
  ReaVec phi0(n, 1.0), phi(n, 1.0);
  const unsigned bump = t.Node(3, 3);
  phi(bump) = 3;
  // Removing the excess drives neighbours below the lower limit 1, where they are held.
  d.VolumeConservation(phi0, phi, 1e100, 1.0, 1e-12, 0);
  EXPECT_GE(phi.min_val(), 1.0);
  EXPECT_LT(phi(bump), 3.0);
}

}  // namespace
