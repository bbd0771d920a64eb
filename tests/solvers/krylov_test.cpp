// Krylov methods against direct solves, their status codes and exact iteration counts.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/alloc.h"
#include "foundation/bitvec.h"
#include "foundation/error.h"
#include "foundation/reavec.h"
#include "solvers/hessenberg.h"
#include "solvers/iterativemethods.h"
#include "solvers/preconditioner.h"
#include "tests/solvers/linear_systems.h"
#include "tests/support/child.h"

using olvu_test::LinearSystem;
using olvu_test::MakeSystem;
using olvu_test::Triplets;

namespace {

enum Method { kCG, kBiCG, kBiCGSTAB, kCGS, kGMRES };
enum Kind { kNone, kDiag, kIC, kILU };

const char* MethodName(Method m) {
  static const char* names[] = {"CG", "BiCG", "BiCGSTAB", "CGS", "GMRES"};
  return names[m];
}
const char* KindName(Kind k) {
  static const char* names[] = {"None", "Diag", "IC", "ILU"};
  return names[k];
}

std::unique_ptr<Preconditioner> Make(Kind k, const SparseMatrix& A) {
  switch (k) {
    case kNone:
      return std::make_unique<NonePreconditioner>(A);
    case kDiag:
      return std::make_unique<DiagPreconditioner>(A);
    case kIC:
      return std::make_unique<ICPreconditioner>(A);
    default:
      return std::make_unique<ILUPreconditioner>(A);
  }
}

// Runs one method from x on b; the pool is rewound first as the solve operations do.
int RunMethod(Method m, const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& iters,
        double& tol, double& tol2, int kdim = 20) {
  AllocReset();
  switch (m) {
    case kCG:
      return CG(A, x, b, M, iters, tol, tol2);
    case kBiCG:
      return BiCG(A, x, b, M, iters, tol, tol2);
    case kBiCGSTAB:
      return BiCGSTAB(A, x, b, M, iters, tol, tol2);
    case kCGS:
      return CGS(A, x, b, M, iters, tol, tol2);
    default: {
      HMatrix H(kdim);
      return GMRES(A, x, b, M, H, kdim, iters, tol);
    }
  }
}

std::vector<LinearSystem> TestSystems() {
  std::vector<LinearSystem> s;
  s.push_back(MakeSystem("Laplacian2D", 400, olvu_test::Laplacian2D(20), true));
  s.push_back(MakeSystem("Laplacian3D", 512, olvu_test::Laplacian3D(8), true));
  s.push_back(MakeSystem("Mass2D", 441, olvu_test::Mass2D(20), true));
  s.push_back(MakeSystem("ConvDiff2D", 400, olvu_test::ConvDiff2D(20, 4.0), false));
  return s;
}

}  // namespace

TEST(KrylovMethods, EveryMethodWithEveryPreconditionerMatchesTheDirectSolve) {
  const std::vector<LinearSystem> systems = TestSystems();
  for (const LinearSystem& s : systems) {
    const Eigen::VectorXd b = olvu_test::TestRhs(s.n);
    const Eigen::VectorXd ref = olvu_test::DirectSolve(s, b);
    for (Method m : {kCG, kBiCG, kBiCGSTAB, kCGS, kGMRES}) {
      if (m == kCG && !s.symmetric) continue;
      for (Kind k : {kNone, kDiag, kIC, kILU}) {
        if (k == kIC && !s.symmetric) continue;
        SCOPED_TRACE(::testing::Message() << s.name << " " << MethodName(m) << " " << KindName(k));
        const auto M = Make(k, *s.A);
        std::vector<double> x(s.n, 0.0);
        int iters = 5000;
        double tol = 1e-10, tol2 = 1e-6;
        const int status = RunMethod(m, *s.A, x.data(), b.data(), *M, iters, tol, tol2);
        EXPECT_TRUE(status == 0 || status == 3) << "status " << status;
        EXPECT_LE(tol, 1e-10);
        // The ratio reported is that of b - A x, not of the residual the recurrences update: on
        // the convection-diffusion system CGS stopped with b - A x at 7 10^-8 |b| (6 10^-8 with
        // the diagonal) when its updated residual had fallen below 10^-10 |b|. (GMRES's ratio is
        // that of the preconditioned residual, which it computes afresh.)
        if (m != kGMRES) {
          EXPECT_LE(olvu_test::ResidualRatio(s, x.data(), b), 1e-10);
        }
        EXPECT_LE(olvu_test::RelError(x.data(), ref), 1e-6);
      }
    }
  }
}

TEST(KrylovMethods, ZeroRightHandSideAndSolvedSystems) {
  const LinearSystem s = MakeSystem("lap", 16, olvu_test::Laplacian2D(4), true);
  const NonePreconditioner M(*s.A);
  const std::vector<double> zero(16, 0.0);
  // CG with b = 0 sets x to 0 and every output to 0.
  {
    std::vector<double> x(16, 1.0);
    int iters = 50;
    double tol = 1e-10, tol2 = 1e-6;
    EXPECT_EQ(RunMethod(kCG, *s.A, x.data(), zero.data(), M, iters, tol, tol2), 0);
    EXPECT_EQ(x, zero);
    EXPECT_EQ(iters, 0);
    EXPECT_EQ(tol, 0.0);
    EXPECT_EQ(tol2, 0.0);
  }
  // An already solved system returns at once with x unchanged, BiCGSTAB included.
  for (Method m : {kBiCG, kBiCGSTAB, kCGS}) {
    SCOPED_TRACE(MethodName(m));
    std::vector<double> x(16, 0.0);
    int iters = 50;
    double tol = 1e-10, tol2 = 1e-6;
    EXPECT_EQ(RunMethod(m, *s.A, x.data(), zero.data(), M, iters, tol, tol2), 0);
    EXPECT_EQ(x, zero);
    EXPECT_EQ(iters, 0);
    // x = A^-1 b exactly in the product: residual 0, nothing changes.
    std::vector<double> e(16, 1.0), be(16);
    s.A->mult(e.data(), be.data());
    iters = 50;
    tol = 1e-10;
    EXPECT_EQ(RunMethod(m, *s.A, e.data(), be.data(), M, iters, tol, tol2), 0);
    EXPECT_EQ(e, std::vector<double>(16, 1.0));
    EXPECT_EQ(tol, 0.0);
  }
}

TEST(KrylovMethods, ConjugateGradientOnThreeDistinctEigenvaluesNeedsThreeIterations) {
  Triplets t;
  for (int i = 0; i < 30; ++i) t.emplace_back(i, i, 1.0 + i % 3);
  const LinearSystem s = MakeSystem("diag3", 30, t, true);
  const NonePreconditioner M(*s.A);
  const Eigen::VectorXd b = olvu_test::TestRhs(30);
  std::vector<double> x(30, 0.0);
  int iters = 100;
  double tol = 1e-10, tol2 = 1.0;
  EXPECT_EQ(RunMethod(kCG, *s.A, x.data(), b.data(), M, iters, tol, tol2), 0);
  EXPECT_LE(iters, 3);
}

TEST(KrylovMethods, GmresWithFullRestartNeedsAtMostNSteps) {
  const int n = 36;
  const LinearSystem s = MakeSystem("convdiff", n, olvu_test::ConvDiff2D(6, 5.0), false);
  const NonePreconditioner M(*s.A);
  const Eigen::VectorXd b = olvu_test::TestRhs(n);
  std::vector<double> x(n, 0.0);
  int iters = n;
  double tol = 1e-10, tol2 = 0.0;
  EXPECT_EQ(RunMethod(kGMRES, *s.A, x.data(), b.data(), M, iters, tol, tol2, n), 0);
  EXPECT_LE(iters, n);
  EXPECT_LE(olvu_test::RelError(x.data(), olvu_test::DirectSolve(s, b)), 1e-8);
  // A restart dimension above n stops the run.
  auto r = olvu_test::RunInChild([&] {
    MemoryControlOn("case");
    std::vector<double> y(n, 0.0);
    int it = 10;
    double t1 = 1e-10, t2 = 0;
    RunMethod(kGMRES, *s.A, y.data(), b.data(), M, it, t1, t2, n + 1);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.file("case.err"), std::string(olvu_test::kErrBanner) + "Invalid m dimension in GMRES.\n");
}

TEST(KrylovMethods, LimitsAndTheIncrementTest) {
  const LinearSystem s = MakeSystem("lap", 400, olvu_test::Laplacian2D(20), true);
  const DiagPreconditioner M(*s.A);
  const Eigen::VectorXd b = olvu_test::TestRhs(400);
  for (Method m : {kCG, kBiCG, kBiCGSTAB, kCGS, kGMRES}) {
    SCOPED_TRACE(MethodName(m));
    // The limit reached: status 1, the residual ratio reported, the limit left as it was.
    std::vector<double> x(400, 0.0);
    int iters = 5;
    double tol = 1e-12, tol2 = 1e-6;
    EXPECT_EQ(RunMethod(m, *s.A, x.data(), b.data(), M, iters, tol, tol2), 1);
    EXPECT_EQ(iters, 5);
    EXPECT_GT(tol, 1e-12);
    EXPECT_TRUE(std::isfinite(tol));
    // A limit below 1 runs nothing.
    std::fill(x.begin(), x.end(), 0.0);
    iters = 0;
    tol = 1e-10;
    EXPECT_EQ(RunMethod(m, *s.A, x.data(), b.data(), M, iters, tol, tol2), 1);
    EXPECT_EQ(x, std::vector<double>(400, 0.0));
  }
  // A tolerance met with an unreachable increment tolerance keeps iterating to the limit.
  for (Method m : {kCG, kBiCG}) {
    std::vector<double> x(400, 0.0);
    int iters = 200;
    double tol = 1e-4, tol2 = 1e-300;
    EXPECT_EQ(RunMethod(m, *s.A, x.data(), b.data(), M, iters, tol, tol2), 1) << MethodName(m);
    EXPECT_LT(tol, 1e-4) << MethodName(m);
  }
}

TEST(KrylovMethods, BiCGStabStopsHalfWayWhenTheIntermediateResidualIsSmall) {
  // A scaled identity: alpha = 1/d makes s = 0 after half an iteration.
  Triplets t;
  for (int i = 0; i < 10; ++i) t.emplace_back(i, i, 2.0);
  const LinearSystem s = MakeSystem("id", 10, t, true);
  const NonePreconditioner M(*s.A);
  const std::vector<double> b(10, 4.0);
  std::vector<double> x(10, 0.0);
  int iters = 10;
  double tol = 1e-10, tol2 = 1e-6;
  EXPECT_EQ(RunMethod(kBiCGSTAB, *s.A, x.data(), b.data(), M, iters, tol, tol2), 0);
  EXPECT_EQ(x, std::vector<double>(10, 2.0));
  EXPECT_EQ(iters, 10);  // not written on the half-way exit
}

TEST(KrylovMethods, BreakdownAfterTheResidualMetItsToleranceIsConvergence) {
  // diag(1, -1) preconditioned by its diagonal, started where r = (e, e): rho = e^2 - e^2 = 0
  // exactly, with the residual already below the tolerance. A solved system, not a singular one.
  const LinearSystem s = MakeSystem("signs", 2, Triplets{{0, 0, 1.0}, {1, 1, -1.0}}, false);
  const DiagPreconditioner M(*s.A);
  const double e = std::ldexp(1.0, -40);
  for (Method m : {kBiCG, kBiCGSTAB, kCGS}) {
    const std::vector<double> b = {1.0, 1.0};
    std::vector<double> x = {1.0 - e, -1.0 + e};
    int iters = 10;
    double tol = 1e-10, tol2 = 1e-6;
    EXPECT_EQ(RunMethod(m, *s.A, x.data(), b.data(), M, iters, tol, tol2), 0) << m;
    EXPECT_LT(tol, 1e-10) << m;
  }
}

TEST(KrylovMethods, BreakdownsOfRegularSystemsStartAgainAndSingularSystemsStop) {
  // Status per method (CG, BiCG, BiCGSTAB, CGS, GMRES; -1 not run) after the dispatcher's reading
  // (a ratio that is not finite is 2): 0 with the solution, 1 with x unchanged, 2 singular.
  struct Case {
    const char* what;
    int n;
    Triplets a;
    Kind pre;
    std::vector<double> b, solution;
    int expect[5];
  };
  Triplets zero_row;
  for (const auto& e : olvu_test::Laplacian2D(4)) zero_row.emplace_back(e.row(), e.col(), e.row() == 5 ? 0.0 : e.value());
  const Triplets signs{{0, 0, 1.0}, {1, 1, -1.0}};
  const Case cases[] = {
      // r . A r = 0 from the start: a breakdown at once, restarted with another shadow residual.
      // CG, whose divisor r . A r is no shadow product, cannot go on: not solved, not singular.
      {"diag(1, -1), none", 2, signs, kNone, {1, 1}, {1, -1}, {1, 0, 0, 0, 0}},
      {"diag(1, -1), diagonal", 2, signs, kDiag, {1, 1}, {1, -1}, {1, 0, 0, 0, 0}},
      // In exact (dyadic) arithmetic: CGS and BiCG improve at iteration 1, get worse at 2, and
      // meet rho = 0 at 3, far above the tolerance: back to the best iterate.
      {"triangular, breakdown after progress", 3, Triplets{{0, 0, 2.0}, {0, 1, -1.0}, {1, 1, -2.0}, {1, 2, 1.0},
                                                          {2, 2, -1.0}},
       kNone, {0, -1, 2}, {-0.25, -0.5, -2}, {-1, 0, 0, 0, 0}},
      // From r0 = e1 with a12 a21 + a13 a31 = 0 the second residual of each shadow method is
      // orthogonal to r0 (det 5), with no progress made: another shadow residual.
      {"orthogonal", 3, Triplets{{0, 0, 1.0}, {0, 1, 1.0}, {0, 2, 1.0}, {1, 0, 1.0}, {1, 1, 2.0}, {2, 0, -1.0},
                                 {2, 2, 3.0}},
       kNone, {1, 0, 0}, {1.2, -0.6, 0.4}, {-1, 0, 0, 0, 0}},
      // A direction the matrix maps to 0 (CG, BiCG, BiCGSTAB, CGS) or a Hessenberg matrix with a
      // zero on its diagonal (GMRES, which showed a residual of 0 and returned infinities).
      {"diag(1, 0)", 2, Triplets{{0, 0, 1.0}, {1, 1, 0.0}}, kNone, {1, 1}, {}, {2, 2, 2, 2, 2}},
      // A zero pivot of the incomplete LU: values that are not finite in the first iteration.
      {"zero row, ILU", 16, zero_row, kILU, std::vector<double>(16, 1.0), {}, {2, 2, 2, 2, 2}},
  };
  for (const Case& c : cases) {
    const LinearSystem s = MakeSystem(c.what, c.n, c.a, false);
    const auto M = Make(c.pre, *s.A);
    for (Method m : {kCG, kBiCG, kBiCGSTAB, kCGS, kGMRES}) {
      if (c.expect[m] < 0) continue;
      SCOPED_TRACE(std::string(c.what) + " " + MethodName(m));
      std::vector<double> x(std::size_t(c.n), 0.0);
      int iters = 50;
      double tol = 1e-12, tol2 = 1e-12;
      int status = RunMethod(m, *s.A, x.data(), c.b.data(), *M, iters, tol, tol2, c.n);
      if (!std::isfinite(tol)) status = 2;
      EXPECT_EQ(status, c.expect[m]);
      if (status != c.expect[m]) continue;
      if (status == 0) {
        EXPECT_LT(tol, 1e-12);
        for (int k = 0; k < c.n; ++k) EXPECT_NEAR(x[std::size_t(k)], c.solution[std::size_t(k)], 1e-12) << k;
      } else if (status == 1) {
        EXPECT_EQ(x, std::vector<double>(std::size_t(c.n), 0.0));
        EXPECT_DOUBLE_EQ(tol, 1.0);
      }
    }
  }
}

TEST(KrylovMethods, HessenbergStorageAndRotations) {
  HMatrix h(3);
  h(0, 0) = 1;
  h(1, 0) = 2;  // shares its place with (0, 1)
  EXPECT_EQ(h(0, 1), 2.0);
  h(0, 1) = 3;
  h(1, 1) = 4;
  h(0, 2) = 5;
  h(1, 2) = 6;
  h(2, 2) = 7;
  std::ostringstream os;
  os << h;
  EXPECT_EQ(os.str(),
            "\n (1,1) = 1 (1,2) = 3 (1,3) = 5\n (2,1) = 0 (2,2) = 4 (2,3) = 6\n (3,1) = 0 (3,2) = 0 (3,3) = 7\n");
  HMatrix h1(2, 1);
  h1(1, 1) = 8;
  h1(1, 2) = 9;
  EXPECT_EQ(h1(1, 2), 9.0);
  double cs = 0, sn = 0;
  GeneratePlaneRotation(3.0, 4.0, cs, sn);
  double dx = 3.0, dy = 4.0;
  ApplyPlaneRotation(dx, dy, cs, sn);
  EXPECT_NEAR(dx, 5.0, 1e-15);
  EXPECT_NEAR(dy, 0.0, 1e-15);
  GeneratePlaneRotation(3.0, 0.0, cs, sn);
  EXPECT_EQ(cs, 1.0);
  EXPECT_EQ(sn, 0.0);
  auto r = olvu_test::RunInChild([] {
    MemoryControlOn("case");
    HMatrix bad(0);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.file("case.err"), std::string(olvu_test::kErrBanner) + "Can't create a hmatrix of 0 columns\n");
}

namespace {

TEST(KrylovMethods, FixedUnknownsEliminatedKeepTheSystemSymmetricForEveryMethod) {
  // The 20 x 20 Laplacian with every seventh unknown fixed at 1 + i / 100: the elimination leaves
  // a symmetric matrix (identity rows and columns at the fixed unknowns) whose solution is that of
  // the identity rows, which the direct solve of the system restricted to the free unknowns gives.
  LinearSystem s = MakeSystem("lap", 400, olvu_test::Laplacian2D(20), true);
  const int n = s.n;
  BitVec fixed{unsigned(n)};
  ReaVec x(unsigned(n), 0.0), b(unsigned(n), 0.0);
  const Eigen::VectorXd rhs = olvu_test::TestRhs(n);
  for (int i = 0; i < n; ++i) {
    b[unsigned(i)] = rhs[i];
    if (i % 7 == 3) fixed.assign(unsigned(i) + 1, 1), x[unsigned(i)] = 1 + i / 100.0;
  }
  // Reference: the identity-row system solved directly.
  Triplets t;
  Eigen::VectorXd rb = rhs;
  for (int k = 0; k < s.E.outerSize(); ++k)
    for (Eigen::SparseMatrix<double>::InnerIterator it(s.E, k); it; ++it)
      if (!fixed(unsigned(it.row()) + 1)) t.emplace_back(it.row(), it.col(), it.value());
  for (int i = 0; i < n; ++i)
    if (fixed(unsigned(i) + 1)) t.emplace_back(i, i, 1.0), rb[i] = x[unsigned(i)];
  Eigen::SparseMatrix<double> I(n, n);
  I.setFromTriplets(t.begin(), t.end());
  Eigen::SparseLU<Eigen::SparseMatrix<double>> lu(I);
  const Eigen::VectorXd ref = lu.solve(rb);

  s.A->Fix_Eliminate(fixed, x, b);
  const SystemSparseMatrix& A = *s.A;
  Eigen::SparseMatrix<double> E(n, n);
  Triplets after;
  for (int i = 0; i < n; ++i)
    for (int k = *A.row_ptr(i); k < *A.row_ptr(i + 1); ++k) after.emplace_back(i, *A.col_ind(k), *A.val(k));
  E.setFromTriplets(after.begin(), after.end());
  EXPECT_EQ(Eigen::SparseMatrix<double>(E - Eigen::SparseMatrix<double>(E.transpose())).norm(), 0.0);
  for (Method m : {kCG, kBiCG, kBiCGSTAB, kCGS, kGMRES})
    for (Kind k : {kNone, kDiag, kIC, kILU}) {
      SCOPED_TRACE(std::string(MethodName(m)) + "/" + KindName(k));
      const auto M = Make(k, A);
      std::vector<double> y(std::size_t(n), 0.0);
      int iters = 2000;
      double tol = 1e-12, tol2 = 1e-8;
      EXPECT_EQ(RunMethod(m, A, y.data(), b.GivePointer(), *M, iters, tol, tol2, 40), 0);
      EXPECT_LT(olvu_test::RelError(y.data(), ref), 1e-9);
    }
}

}  // namespace
