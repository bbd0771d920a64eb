// The assembly helpers of the scalar equations on the cavity's known matrices: each left-hand
// side and right-hand side against the same sum of matrix products, the stabilisation parameter
// and the bounds of a source with a reaction.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "foundation/declarations.h"
#include "solvers/sparsematrix.h"
#include "tests/model/fluidcase.h"

namespace {

using olvu_test::FluidCase;

const std::string kCavity = OLVU_TEST_DATA_DIR "/cavity.dat";

// The cavity at dt theta = 0.5 with C1 = Gx and C2 = Gy, and helpers for products.
struct Equations : ::testing::Test {
  FluidCase c{kCavity};
  FluidDomain& d = *c.fluid;
  const unsigned n = 9;
  ReaVec x{9u}, ones{9u, 1.0};

  void SetUp() override {
    d.ReadInitialConditions();
    Initial_Phase = 0;
    Run_Time_Increment = 0.5;
    d.StartNewStep();
    d.SystemMatrix(7)->copy_val(d.SystemMatrix(2));
    d.SystemMatrix(8)->copy_val(d.SystemMatrix(3));
    for (unsigned i = 1; i <= n; ++i) x(i) = std::cos(1.7 * i);
  }
  ReaVec Vec(double a, double b) {  // a + b i
    ReaVec v(n);
    for (unsigned i = 1; i <= n; ++i) v(i) = a + b * i;
    return v;
  }
  ReaVec Mass(const ReaVec& v) {
    ReaVec y(n, 0.0);
    d.Mass()->mult(v.GivePointer(), y.GivePointer());
    return y;
  }
  ReaVec Lap(const ReaVec& v) {
    ReaVec y(n, 0.0);
    d.Laplacian()->mult(v.GivePointer(), y.GivePointer());
    return y;
  }
  ReaVec G(int k, const ReaVec& v) {
    ReaVec y(n, 0.0);
    d.SystemMatrix(k)->mult(v.GivePointer(), y.GivePointer());
    return y;
  }
  ReaVec A(const ReaVec& v) { return G(0, v); }
  void ExpectEq(const ReaVec& a, const ReaVec& b) {
    for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(a(i), b(i), 1e-12) << i;
  }
};

TEST_F(Equations, LeftHandSides) {
  EXPECT_DOUBLE_EQ(d.InvDtTheta(), 2);
  ReaVec dv = Vec(0.3, 0.01), r = Vec(2, -0.1), cap = Vec(1.5, 0.05), c2 = Vec(0.4, 0.02);
  ReaVec& tau = d.Var(TauEq);
  tau = Vec(0.7, 0.03);
  const ReaVec& m = d.LumpedMass();
  // The conservative diffusion sum_j (dv_i + dv_j) / 2 L_ij (x_j - x_i), through products with L.
  ReaVec dx(n);
  for (unsigned i = 1; i <= n; ++i) dx(i) = dv(i) * x(i);
  const ReaVec Lx = Lap(x), Ldx = Lap(dx), Ld = Lap(dv);
  auto common = [&](unsigned i) { return r(i) * m(i) * x(i) + 0.5 * (dv(i) * Lx(i) + Ldx(i) - x(i) * Ld(i)); };

  d.Assemble_LHS(dv, r);
  ReaVec a = A(x), e(n);
  for (unsigned i = 1; i <= n; ++i) e(i) = 2 * Mass(x)(i) + G(2, x)(i) + tau(i) * G(3, x)(i) + common(i);
  ExpectEq(a, e);

  d.Assemble_LHS(cap, dv, r);
  a = A(x);
  for (unsigned i = 1; i <= n; ++i) e(i) = cap(i) * (2 * Mass(x)(i) + G(2, x)(i) + tau(i) * G(3, x)(i)) + common(i);
  ExpectEq(a, e);

  d.Assemble_LHS(cap, c2, dv, r);
  a = A(x);
  for (unsigned i = 1; i <= n; ++i)
    e(i) = cap(i) * 2 * Mass(x)(i) + c2(i) * G(2, x)(i) + tau(i) * c2(i) * G(3, x)(i) + common(i);
  ExpectEq(a, e);

  // Without reaction and diffusion only the mass, convective and streamline parts remain.
  ReaVec none;
  d.Assemble_LHS(none, none);
  a = A(x);
  for (unsigned i = 1; i <= n; ++i) e(i) = 2 * Mass(x)(i) + G(2, x)(i) + tau(i) * G(3, x)(i);
  ExpectEq(a, e);
}

TEST_F(Equations, RightHandSidesByStabilisationOrder) {
  ReaVec u = Vec(1, 0.2), u0 = Vec(-1, 0.3), s = Vec(0.5, 0), cap = Vec(1.5, 0.05), c2 = Vec(0.4, 0.02), none;
  ReaVec& tau = d.Var(TauEq);
  tau = Vec(0.7, 0.03);
  // w = C1^T (m^-1 (C1 u)).
  ReaVec q = G(2, u), w(n, 0.0);
  q.product(d.InvLumpedMass());
  d.SystemMatrix(2)->trans_mult(q.GivePointer(), w.GivePointer());

  ReaVec out(n), e(n);
  d.Assemble_RHS(u, u0, s, out, 0);
  for (unsigned i = 1; i <= n; ++i) e(i) = 2 * Mass(u0)(i) + Mass(s)(i);
  ExpectEq(out, e);
  d.Assemble_RHS(u, u0, none, out, 1);
  for (unsigned i = 1; i <= n; ++i) e(i) = 2 * Mass(u0)(i) + tau(i) * w(i);
  ExpectEq(out, e);
  d.Assemble_RHS(u, u0, cap, s, out, 1);
  for (unsigned i = 1; i <= n; ++i) e(i) = cap(i) * 2 * Mass(u0)(i) + Mass(s)(i) + tau(i) * w(i) * cap(i);
  ExpectEq(out, e);
  d.Assemble_RHS(u, u0, cap, c2, s, out, 1);
  for (unsigned i = 1; i <= n; ++i) e(i) = cap(i) * 2 * Mass(u0)(i) + Mass(s)(i) + tau(i) * w(i) * c2(i);
  ExpectEq(out, e);
  d.Assemble_STRHS(u, s, out);
  for (unsigned i = 1; i <= n; ++i) e(i) = 2 * Mass(u)(i) + Mass(s)(i);
  ExpectEq(out, e);
}

TEST_F(Equations, TauFromTheVelocityTauAndTheDiffusivity) {
  d.Var(TauV) = Vec(0.0, 0.1);  // 0.1 .. 0.9
  d.TauLimits(0.25, 0.5);
  ReaVec u(n, 0.0), out(n), none;
  d.AssembleSystem(u, u, none, none, none, out, 0);
  EXPECT_DOUBLE_EQ(d.Var(TauEq)(1), 0.25);  // no diffusivity: the velocity tau, clamped
  EXPECT_DOUBLE_EQ(d.Var(TauEq)(3), 0.3);
  EXPECT_DOUBLE_EQ(d.Var(TauEq)(9), 0.5);
  d.TauLimits(0, 1e100);
  ReaVec nu(n, 0.02), cap(n, 2.0);
  d.AssembleSystem(u, u, cap, none, nu, none, out, 0);
  const double h = d.Var(ElemSize)(4), tc = 0.4;
  EXPECT_NEAR(d.Var(TauEq)(4), 1 / (4 * 0.01 / (h * h) + 1 / (tc + 1e-14)), 1e-15);  // diffusivity over capacity
}

TEST(SourceReaction, BoundsOfTheSolution) {
  FluidCase c(kCavity);
  ReaVec s(4u), r(4u), n(4u);
  s(1) = 6, r(1) = 2;     // q = 3 raises the upper bound
  s(2) = -4, r(2) = 4;    // q = -1 lowers the lower bound
  s(3) = 1, r(3) = 0;     // no reaction, positive source: no upper bound
  s(4) = 0, r(4) = -1;    // a negative reaction is dropped
  double hi = 0, lo = 0;
  c.fluid->SourceReactionLimits(s, r, n, hi, lo);
  EXPECT_EQ(hi, 1e100);
  EXPECT_EQ(lo, -1);
  EXPECT_EQ(r(4), 0);
  EXPECT_EQ(r(3), 0);
  s(3) = -1;
  hi = lo = 0;
  c.fluid->SourceReactionLimits(s, r, n, hi, lo);
  EXPECT_EQ(hi, 3);
  EXPECT_EQ(lo, -1e100);
}

}  // namespace
