// Stationary sweeps and the further methods: sweep counts, convergence against direct solves.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "foundation/alloc.h"
#include "foundation/reavec.h"
#include "solvers/iterativemethods.h"
#include "solvers/preconditioner.h"
#include "tests/solvers/linear_systems.h"

using olvu_test::LinearSystem;
using olvu_test::MakeSystem;
using olvu_test::Triplets;

TEST(StationaryMethods, GaussSeidelRunsLimitPlusOneDoubleSweeps) {
  const LinearSystem s = MakeSystem("convdiff", 100, olvu_test::ConvDiff2D(10, 2.0), false);
  const NonePreconditioner M(*s.A);
  const Eigen::VectorXd b = olvu_test::TestRhs(100);
  for (int limit : {0, 2}) {
    std::vector<double> x(100, 0.0), ref(100, 0.0);
    for (int k = 0; k <= limit; ++k) {
      s.A->Gauss_Seidel_Iteration(ref.data(), b.data());
      s.A->IGauss_Seidel_Iteration(ref.data(), b.data());
    }
    AllocReset();
    int iters = limit;
    double tol = 1e-300;
    EXPECT_EQ(GSD(*s.A, x.data(), b.data(), M, iters, tol), 0);  // no convergence is still status 0
    EXPECT_EQ(x, ref) << "limit " << limit;
    EXPECT_GT(tol, 1e-300);
  }
}

TEST(StationaryMethods, GaussSeidelAndJacobiMatchTheDirectSolve) {
  const LinearSystem systems[] = {MakeSystem("Laplacian2D", 400, olvu_test::Laplacian2D(20), true),
                                  MakeSystem("Laplacian3D", 512, olvu_test::Laplacian3D(8), true),
                                  MakeSystem("Mass2D", 441, olvu_test::Mass2D(20), true),
                                  MakeSystem("ConvDiff2D", 100, olvu_test::ConvDiff2D(10, 2.0), false)};
  for (const LinearSystem& s : systems) {
    const NonePreconditioner M(*s.A);
    const Eigen::VectorXd b = olvu_test::TestRhs(s.n);
    const Eigen::VectorXd ref = olvu_test::DirectSolve(s, b);
    for (int method = 0; method < 2; ++method) {
      // Jacobi diverges on a consistent mass matrix (D^-1 M has eigenvalues up to 2).
      if (method == 1 && s.name == "Mass2D") continue;
      SCOPED_TRACE(::testing::Message() << s.name << (method == 0 ? " GSD" : " JCD"));
      std::vector<double> x(s.n, 0.0);
      AllocReset();
      int iters = 5000;
      double tol = 1e-10;
      const int status = method == 0 ? GSD(*s.A, x.data(), b.data(), M, iters, tol)
                                     : JCD(*s.A, x.data(), b.data(), M, iters, tol);
      EXPECT_EQ(status, 0);
      EXPECT_LE(tol, 1e-10);
      EXPECT_LT(iters, 5000);
      EXPECT_LE(olvu_test::RelError(x.data(), ref), 1e-6);
    }
  }
}

TEST(StationaryMethods, JacobiIsExactOnADiagonalMatrix) {
  Triplets t;
  for (int i = 0; i < 8; ++i) t.emplace_back(i, i, 1.0 + i);
  const LinearSystem s = MakeSystem("diag", 8, t, true);
  const NonePreconditioner M(*s.A);
  const std::vector<double> b(8, 2.0);
  std::vector<double> x(8, 5.0);
  AllocReset();
  int iters = 50;
  double tol = 1e-12;
  EXPECT_EQ(JCD(*s.A, x.data(), b.data(), M, iters, tol), 0);
  EXPECT_EQ(iters, 1);
  for (int i = 0; i < 8; ++i) EXPECT_DOUBLE_EQ(x[i], 2.0 / (1.0 + i));
  EXPECT_EQ(*s.A->val(*s.A->row_ptr(3)), 4.0);  // the matrix itself is left unchanged
}

TEST(FurtherMethods, RichardsonOnAMassMatrix) {
  const LinearSystem s = MakeSystem("mass", 121, olvu_test::Mass2D(10), true);
  const NonePreconditioner M(*s.A);
  const Eigen::VectorXd b = olvu_test::TestRhs(121);
  std::vector<double> x(121, 0.0);
  AllocReset();
  int iters = 500;
  double tol = 1e-12;
  EXPECT_EQ(RICHARDSON(*s.A, x.data(), b.data(), M, iters, tol), 0);
  EXPECT_LE(olvu_test::RelError(x.data(), olvu_test::DirectSolve(s, b)), 1e-6);
  iters = 1;
  EXPECT_EQ(RICHARDSON(*s.A, x.data(), b.data(), M, iters, tol), 1);
}

TEST(FurtherMethods, ScaledConjugateGradientScalesInPlace) {
  LinearSystem s = MakeSystem("lap", 100, olvu_test::Laplacian2D(10), true);
  const NonePreconditioner M(*s.A);
  Eigen::VectorXd b = olvu_test::TestRhs(100);
  const Eigen::VectorXd ref = olvu_test::DirectSolve(s, b);
  const double b0 = b[0];
  std::vector<double> x(100, 1.0);
  int iters = 500;
  double tol = 1e-12;
  const int done = OCG(*s.A, x.data(), b.data(), M, iters, tol);
  EXPECT_GT(done, 0);
  EXPECT_LE(olvu_test::RelError(x.data(), ref), 1e-6);
  EXPECT_DOUBLE_EQ(s.A->diag(0), 1.0);
  EXPECT_DOUBLE_EQ(*s.A->val(*s.A->row_ptr(0) + 1), -0.25);
  EXPECT_NE(b[0], b0);  // b was scaled and then used as the residual
  // Reaching the limit gives the negated count.
  LinearSystem t = MakeSystem("lap", 100, olvu_test::Laplacian2D(10), true);
  Eigen::VectorXd c = olvu_test::TestRhs(100);
  iters = 3;
  tol = 1e-12;
  EXPECT_EQ(OCG(*t.A, x.data(), c.data(), M, iters, tol), -3);
  // On a diagonal matrix the second iteration finds nothing left to do; with a limit of 2 that
  // is the last one allowed, so the count comes negated although the ratio is below tol.
  Triplets d;
  for (int i = 0; i < 6; ++i) d.emplace_back(i, i, 1.0 + i);
  for (int limit : {2, 5}) {
    LinearSystem diag = MakeSystem("diag", 6, d, true);
    std::vector<double> rhs(6, 1.0), y(6, 0.0);
    iters = limit;
    tol = 1e-12;
    EXPECT_EQ(OCG(*diag.A, y.data(), rhs.data(), M, iters, tol), limit == 2 ? -2 : 2);
    EXPECT_LT(tol, 1e-12);
    EXPECT_NEAR(y[3], 0.25, 1e-15);
  }
}

TEST(FurtherMethods, RefinementQmrAndStepwiseBiCGConverge) {
  const LinearSystem s = MakeSystem("convdiff", 144, olvu_test::ConvDiff2D(12, 3.0), false);
  const ILUPreconditioner ilu(*s.A);
  const NonePreconditioner none(*s.A);
  const Eigen::VectorXd be = olvu_test::TestRhs(144);
  const Eigen::VectorXd ref = olvu_test::DirectSolve(s, be);
  ReaVec b(144), x(144, 0.0);
  for (int i = 0; i < 144; ++i) b[i] = be[i];
  {
    AllocReset();
    int iters = 500;
    double tol = 1e-10;
    EXPECT_EQ(IR(*s.A, x, b, ilu, iters, tol), 0);
    EXPECT_LE(olvu_test::RelError(x.GivePointer(), ref), 1e-6);
  }
  for (const Preconditioner* m2 : {static_cast<const Preconditioner*>(&none), static_cast<const Preconditioner*>(&ilu)}) {
    x = 0.0;
    AllocReset();
    int iters = 500;
    double tol = 1e-10;
    EXPECT_EQ(QMR(*s.A, x, b, ilu, *m2, iters, tol), 0);
    EXPECT_LE(tol, 1e-10);
    EXPECT_LE(olvu_test::RelError(x.GivePointer(), ref), 1e-6);
  }
  {
    x = 0.0;
    AllocReset();
    BiConjugatedGradient g(s.A.get(), &ilu, b.GivePointer(), x.GivePointer());
    int status = 1, steps = 0;
    while (status == 1 && steps < 500) {
      status = g.PerformIteration(1e-10, 1e-6);
      ++steps;
    }
    EXPECT_EQ(status, 0);
    EXPECT_LT(g.residual(), 1e-10);
    EXPECT_LE(olvu_test::RelError(x.GivePointer(), ref), 1e-6);
  }
}
