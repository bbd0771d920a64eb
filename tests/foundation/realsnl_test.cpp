#include "foundation/realsnl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/foundation/vec_support.h"

using olvu_test::ExpectFatal;

namespace {

// F(u) = u^2 - 2 and its derivative, counting the residual evaluations.
int g_calls = 0;
void Sq(const double& u, double& v, const RealSNL*) {
  g_calls++;
  v = u * u - 2;
}
void DSq(const double& u, double& v, const RealSNL*) { v = 2 * u; }

// F(u) = u - 3: linear, so Newton lands on the root in one step.
void Lin(const double& u, double& v, const RealSNL*) { v = u - 3; }
void DLin(const double&, double& v, const RealSNL*) { v = 1; }

void G(const double& u, double& v, double p) { v = u * u * u - p; }
void DG(const double& u, double& v, double) { v = 3 * u * u; }

TEST(RealSNL, LawOfTheWallWorkedExample) {
  double data[2] = {1000, 1}, coef[2] = {0.41, 5.5};
  RealSNL s(RSNL_LawoftheWall, 1e-4, 100);
  s.data = data;
  s.coef = coef;
  EXPECT_EQ(s.bounded, 1);
  EXPECT_EQ(s.lo, 1e-14);
  EXPECT_EQ(s.hi, 1e100);
  // Two steps from 0.05; the test of iteration 2 succeeds.
  double u = 0.05;
  RealSNL two = s;
  two.maxIter = 2;
  EXPECT_EQ(two.NewtonRapson(u, 0), -2);  // iterations 0 and 1 only: not yet accepted
  u = 0.05;
  two.maxIter = 3;
  EXPECT_EQ(two.NewtonRapson(u, 0), 0);
  EXPECT_NEAR(u, 0.063934, 5e-7);
  u = 0.05;
  EXPECT_EQ(s.Calculate(u, 0), 0);
  EXPECT_NEAR(u, 0.063934, 5e-7);
}

TEST(RealSNL, SchoenherrFrictionLine) {
  // 1/sqrt(Cf) = 4.13 log10(Re Cf), with Cf = 2 u^2 / U^2 (U = d1).
  const double re[] = {1e6, 1e7, 1e8}, cf[] = {0.004413, 0.002937, 0.002074};
  for (int k = 0; k < 3; k++) {
    double data[2] = {re[k], 2.0}, coef[2] = {0.0, 4.13 / std::log(10.0)};
    RealSNL s(RSNL_Schoenherr, 1e-4, 100);
    s.data = data;
    s.coef = coef;
    double u = 0.05 * data[1];
    ASSERT_EQ(s.Calculate(u, 0), 0);
    EXPECT_NEAR(2 * u * u / (data[1] * data[1]), cf[k], 5e-7) << re[k];
  }
}

TEST(RealSNL, OtherPredefinedLawsHaveConsistentDerivatives) {
  double data[3] = {500, 1.5, 200}, coef[3] = {0.41, 0.3, 0.02};
  RealSNL s(RSNL_ReichLaw, 1e-8, 100);
  s.data = data;
  s.coef = coef;
  for (RSNLPredefined law : {RSNL_LawoftheWall, RSNL_ReichLaw, RSNL_RoughLaw, RSNL_Schoenherr}) {
    s.ChangeToPredefined(law, 1e-8, 100);
    for (double u : {0.02, 0.07, 0.3}) {
      double fp, fm, d, h = 1e-6 * u;
      s.f(u + h, fp, &s);
      s.f(u - h, fm, &s);
      s.df(u, d, &s);
      EXPECT_NEAR(d, (fp - fm) / (2 * h), 1e-5 * std::fabs(d) + 1e-6) << law << " " << u;
    }
    double u = 0.05;
    EXPECT_EQ(s.Calculate(u, 0), 0) << law;
    double r;
    s.f(u, r, &s);
    EXPECT_LT(std::fabs(r), 1e-8);
  }
}

TEST(RealSNL, ThreeIterationsAgreeOnTheRoot) {
  for (RSNLMethod m : {RSNL_NewtonRapson, RSNL_BroydenInverse, RSNL_Whittaker}) {
    RealSNL s(Sq, DSq, m, 1e-10, 200);
    double u = 1.0;
    EXPECT_EQ(s.Calculate(u, 1), 0) << m;
    EXPECT_NEAR(u, std::sqrt(2.0), 1e-9) << m;
  }
  RealSNL s(Sq, DSq, static_cast<RSNLMethod>(3));
  double u = 1.0;
  EXPECT_EQ(s.Calculate(u, 1), 1);
  EXPECT_EQ(u, 1.0);
}

TEST(RealSNL, IterationLimitAndTheUntestedLastStep) {
  RealSNL s(Lin, DLin, RSNL_NewtonRapson, 1e-6, 0);
  double u = 3.0;  // an exact root, but no iteration runs
  EXPECT_EQ(s.NewtonRapson(u, 0), -2);
  EXPECT_EQ(s.BroydenInverse(u, 0), -2);
  EXPECT_EQ(s.Whittaker(u, 0), -2);
  double v = 3.0;
  EXPECT_EQ(SolveNL(G, DG, v, 27.0, 0, 1e-6), -2.0);
  s.maxIter = 1;  // the one step lands on the root, which is never tested
  u = 0.0;
  EXPECT_EQ(s.NewtonRapson(u, 0), -2);
  EXPECT_EQ(u, 3.0);
  v = 2.0;
  EXPECT_EQ(SolveNL(G, DG, v, 27.0, 100, 1e-9), 0.0);
  EXPECT_NEAR(v, 3.0, 1e-9);
  ExpectFatal([] {
    RealSNL s(Sq, DSq, RSNL_NewtonRapson, 1e-30, 3);
    double u = 1.0;
    s.NewtonRapson(u, 1);
  }, "Newton_Rapson couldn't converge iter=3\n");
  ExpectFatal([] {
    RealSNL s(Sq, DSq, RSNL_Whittaker, 1e-30, -4);
    double u = 1.0;
    s.Calculate(u, 1);
  }, "Whittaker couldn't converge iter=0\n");
}

TEST(RealSNL, BracketMovesRunawayIteratesToItsMidpoint) {
  RealSNL s(Lin, DLin, RSNL_NewtonRapson, 1e-6, 10);
  s.Limits(10.0, 2.0);
  double u = 2.0;  // on the bound: outside for Newton and Broyden
  EXPECT_EQ(s.NewtonRapson(u, 0), 0);
  EXPECT_EQ(u, 3.0);
  RealSNL w(Lin, DLin, RSNL_Whittaker, 1e-6, 1);
  w.Limits(10.0, 2.0);
  u = 2.0;  // Whittaker keeps it and steps from it
  EXPECT_EQ(w.Whittaker(u, 0), -2);
  EXPECT_EQ(u, 3.0);
  RealSNL b(Lin, DLin, RSNL_BroydenInverse, 1e-6, 1);
  b.Limits(10.0, 2.0);
  u = 2.0;  // moved to 6, then stepped with the residual of 2 (Broyden keeps r)
  EXPECT_EQ(b.BroydenInverse(u, 0), -2);
  EXPECT_EQ(u, 7.0);
  // The predefined bracket [1e-14, 1e100]: an early iterate at its lower end jumps to 5e99.
  double data[2] = {1000, 1}, coef[2] = {0.41, 5.5};
  RealSNL p(RSNL_LawoftheWall, 1e-4, 1);
  p.data = data;
  p.coef = coef;
  u = 1e-14;
  EXPECT_EQ(p.NewtonRapson(u, 0), -2);
  EXPECT_GT(u, 1e96);
  EXPECT_LT(u, 5e99);
  RealSNL q(Sq, DSq, RSNL_NewtonRapson, 1e-30, 4);
  q.Limits(1.0, 0.5);  // the root sqrt(2) lies outside: every step leaves the bracket
  u = 0.75;
  EXPECT_EQ(q.NewtonRapson(u, 0), -1);
  s.Limits(1.0, 1.0);
  EXPECT_EQ(s.lo, 1.0);
  ExpectFatal([] {
    RealSNL s(Sq, DSq, RSNL_NewtonRapson);
    s.Limits(1.0, 2.0);
  }, "Wrong Limits\n");
  ExpectFatal([] {
    RealSNL q(Sq, DSq, RSNL_BroydenInverse, 1e-30, 4);
    q.Limits(1.0, 0.5);
    double u = 0.75;
    q.BroydenInverse(u, 1);
  }, "Reached limit in RealSNL\n");
}

TEST(RealSNL, BroydenHistoryNeverOverflows) {
  // A residual that never reaches the tolerance: 3000 steps, three times the history.
  RealSNL s(Sq, DSq, RSNL_BroydenInverse, 0.0, 3000);
  double u = 1.0;
  EXPECT_EQ(s.BroydenInverse(u, 0), -2);
}

TEST(RealSNL, HeuristicScansElevenPointsAndStartsFromZeroBounds) {
  RealSNL z(Sq, DSq, RSNL_NewtonRapson);
  EXPECT_EQ(z.lo, 0.0);
  EXPECT_EQ(z.hi, 0.0);
  double u = 5.0;
  z.Heuristic(u);  // a zero bracket: every point is 0
  EXPECT_EQ(u, 0.0);
  RealSNL s(Sq, DSq, RSNL_NewtonRapson);
  s.Limits(10.0, 0.0);
  g_calls = 0;
  s.Heuristic(u);
  EXPECT_EQ(g_calls, 11);
  EXPECT_EQ(u, 1.0);  // |1 - 2| = 1 beats |4 - 2| = 2
}

}  // namespace
