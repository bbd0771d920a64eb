// Solver settings from cards and explicit values, and the solve operations: fixed unknowns,
// bounds, weights, zero right-hand sides, warnings and stops, preconditioner reuse, coupling.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/alloc.h"
#include "foundation/bitvec.h"
#include "foundation/clock.h"
#include "foundation/error.h"
#include "foundation/reavec.h"
#include "input/input.h"
#include "solvers/coupleddomain.h"
#include "solvers/preconditioner.h"
#include "solvers/solversetting.h"
#include "tests/solvers/linear_systems.h"
#include "tests/support/child.h"

using olvu_test::LinearSystem;
using olvu_test::MakeSystem;
using olvu_test::Triplets;

namespace {

ReaVec ToReaVec(const Eigen::VectorXd& v) {
  ReaVec r(static_cast<unsigned>(v.size()));
  for (int i = 0; i < v.size(); ++i) r[i] = v[i];
  return r;
}

// The solves open timing sections; a root section per test, whose table goes to a scratch
// directory, keeps them off the working directory.
class SolverOps : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char tmpl[] = "/tmp/olvu_solver_XXXXXX";
    dir_ = mkdtemp(tmpl);
    root_name_ = dir_ + "/run";
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }
  void SetUp() override {
    root_ = std::make_unique<Clock>(root_name_.c_str());
    olvu_test::EnsurePool();
  }
  void TearDown() override { root_.reset(); }

  static std::string dir_, root_name_;
  std::unique_ptr<Clock> root_;
};
std::string SolverOps::dir_, SolverOps::root_name_;

// Runs body in a child over a data file holding `card`, after MemoryControlOn("case").
olvu_test::ChildResult WithCard(const std::string& card, const std::function<void(Input&, const char*)>& body) {
  return olvu_test::RunInChild(
      [&] {
        MemoryControlOn("case");
        olvu_test::EnsurePool();
        Clock root("case");
        Input in("case.dat");
        in.ReadLine();
        const char* key = in.FirstWord();
        const char* name = in.GetWord(key, nullptr);
        body(in, name);
      },
      [&](const std::string& dir) { olvu_test::WriteFile(dir + "/case.dat", card + "\nEnd;\n"); });
}

std::string ErrText(const olvu_test::ChildResult& r) {
  const std::string err = r.file("case.err"), banner = olvu_test::kErrBanner;
  return err.compare(0, banner.size(), banner) == 0 ? err.substr(banner.size()) : err;
}

// The settings of a card, printed by the child as "type precond max_iter kdim tol tol2".
std::string Settings(const std::string& card) {
  auto r = WithCard(card, [](Input& in, const char* name) {
    Solver s(&in, name);
    in.ReadCard("End");
    std::cout << s.Name() << " " << s.give_type() << " " << s.give_precond_type() << " " << s.give_max_iter() << " "
              << s.give_kdim() << " " << s.give_tol() << " " << s.give_tol2() << "\n";
  });
  EXPECT_EQ(r.status, 0) << ErrText(r);
  std::string out = r.out;
  while (!out.empty() && (out[0] == '\n')) out.erase(0, 1);
  return out;
}

}  // namespace

TEST(SolverSettings, ExplicitValues) {
  const Solver cd(BiConjugateGradient, 1e-10, 300, "Convection-Difussion solver");
  EXPECT_STREQ(cd.Name(), "Convection-Difussion solver");
  EXPECT_EQ(cd.give_type(), BiConjugateGradient);
  EXPECT_EQ(cd.give_kdim(), 20);
  EXPECT_EQ(cd.give_precond_type(), 0);
  EXPECT_DOUBLE_EQ(cd.give_tol2(), 1e-6);
  EXPECT_EQ(cd.give_n(), 0);
  EXPECT_EQ(cd.give_matrix(), nullptr);
  EXPECT_EQ(cd.give_preconditioner(), nullptr);
  EXPECT_DOUBLE_EQ(Solver(ConjugateGradient, 5e-5, 10, "a").give_tol2(), 0.5);
  EXPECT_DOUBLE_EQ(Solver(ConjugateGradient, 1e-3, 10, "a").give_tol2(), 0.5);
  EXPECT_DOUBLE_EQ(Solver(ConjugateGradient, 1e-8, 10, "a").give_tol2(), 1e-4);
  EXPECT_EQ(Solver(Jacobi, 1e-8, 10, "a").give_precond_type(), 0);
  EXPECT_EQ(Solver(GaussSeidel, 1e-8, 10, "a").give_precond_type(), 3);
}

TEST(SolverSettings, CardsAndTheirDefaults) {
  EXPECT_EQ(Settings("NonSymmetric Fast Max_Iter 300 Tolerance 1e-10 Solver GMRes Kdim 30 Preconditioner ILU;"),
            "Fast 4 2 300 30 1e-10 1e-06\n");
  EXPECT_EQ(Settings("Symmetric Slow Tolerance 1e-50 Max_Iter 50 Solver gmres;"), "Slow 4 2 50 20 1e-50 1e-46\n");
  EXPECT_EQ(Settings("Symmetric S Max_Iter 5 Tolerance 1e-3 Tolerance2 0.25 Solver stab_bi_conjugate_gradient "
                     "Preconditioner ic;"),
            "S 3 1 5 20 0.001 0.25\n");
  EXPECT_EQ(Settings("Symmetric S Max_Iter 5 Tolerance 1e-8 Solver Jacobi Preconditioner ILU;"),
            "S 7 3 5 20 1e-08 0.0001\n");
  EXPECT_EQ(Settings("Symmetric S Max_Iter 5 Tolerance 1e-8 Solver gauss_seidel Preconditioner Diagonal;"),
            "S 6 3 5 20 1e-08 0.0001\n");
  EXPECT_EQ(Settings("NonSymmetric S Max_Iter 5 Tolerance 1e-8 Solver CONJUGATEGRADIENT Preconditioner none;"),
            "S 0 3 5 20 1e-08 0.0001\n");
  EXPECT_EQ(Settings("NonSymmetric S Max_Iter 5 Tolerance 1e-8 Solver Explicit;"), "S 2 2 5 20 1e-08 0.0001\n");
  EXPECT_EQ(Settings("NonSymmetric S Max_Iter 5 Tolerance 1e-8 Solver SquaredConjugateGradient;"),
            "S 5 2 5 20 1e-08 0.0001\n");
}

TEST(SolverSettings, CardFaultsStopWithTheirTexts) {
  struct Case {
    const char* card;
    const char* text;
  };
  const Case cases[] = {
      {"Symmetric S Max_Iter 0 Tolerance 1e-8 Solver GMRes;", "Wrong definition of Max Iterations in solver S\n"},
      {"Symmetric S Max_Iter 10 Tolerance 9e-51 Solver GMRes;", "Wrong definition of Tolerance in solver S\n"},
      {"Symmetric S Max_Iter 10 Tolerance 1e-8 Solver Foo;", "Solver Foo not implemented\n"},
      {"Symmetric S Max_Iter 10 Tolerance 1e-8 Solver GMRes Preconditioner Bar;",
       "Preconditioner Bar not implemented\n"},
      {"Symmetric S Max_Iter 10 Tolerance 1e-8 Solver Jacobi Preconditioner Bar;",
       "Preconditioner Bar not implemented\n"},
  };
  for (const Case& c : cases) {
    auto r = WithCard(c.card, [](Input& in, const char* name) { Solver s(&in, name); });
    EXPECT_EQ(r.status, 1) << c.card;
    EXPECT_EQ(ErrText(r), c.text) << c.card;
  }
  // Kdim belongs to GMRES only: elsewhere it is left unread and the reader rejects the card.
  auto r = WithCard("Symmetric S Max_Iter 10 Tolerance 1e-8 Solver BiConjugateGradient Kdim 5;",
                    [](Input& in, const char* name) {
                      Solver s(&in, name);
                      in.ReadCard("End");
                    });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ErrText(r).rfind("Bug found!", 0), 0u) << ErrText(r);
  // A Krylov dimension of 0 is accepted on the card and stops the first solve.
  auto k0 = WithCard("Symmetric S Max_Iter 10 Tolerance 1e-8 Solver GMRes Kdim 0;", [](Input& in, const char* name) {
    Solver s(&in, name);
    LinearSystem sys = MakeSystem("lap", 16, olvu_test::Laplacian2D(4), true);
    ReaVec b(16, 1.0), x(16, 0.0);
    s.solve(b, x, sys.A.get(), 0, "label");
  });
  EXPECT_EQ(k0.status, 1);
  EXPECT_EQ(ErrText(k0), "Can't create a hmatrix of 0 columns\n");
}

TEST_F(SolverOps, EverySettingSolvesThroughTheDispatcher) {
  const LinearSystem sym = MakeSystem("lap", 144, olvu_test::Laplacian2D(12), true);
  const LinearSystem uns = MakeSystem("convdiff", 144, olvu_test::ConvDiff2D(12, 3.0), false);
  const Eigen::VectorXd be = olvu_test::TestRhs(144);
  const Eigen::VectorXd rs = olvu_test::DirectSolve(sym, be), ru = olvu_test::DirectSolve(uns, be);
  for (SolverType t : {ConjugateGradient, BiConjugateGradient, StabBiConjugateGradient, GMRes,
                       SquaredConjugateGradient, GaussSeidel, Jacobi}) {
    Solver s(t, 1e-10, 3000, "S");
    const LinearSystem& sys = t == ConjugateGradient ? sym : uns;
    ReaVec b = ToReaVec(be), x(144, 0.0);
    s.solve(b, x, sys.A.get(), 0, "label");
    EXPECT_LE(olvu_test::RelError(x.GivePointer(), t == ConjugateGradient ? rs : ru), 1e-6) << t;
    EXPECT_EQ(b, ReaVec(144, 0.0)) << "b receives the old x";
    EXPECT_EQ(s.give_n(), 144);
    EXPECT_EQ(s.give_matrix(), sys.A.get());
  }
  // The explicit update solves a diagonal system.
  Triplets d;
  for (int i = 0; i < 5; ++i) d.emplace_back(i, i, 2.0 + i);
  const LinearSystem diag = MakeSystem("diag", 5, d, true);
  Solver e(Explicit, 1e-10, 10, "E");
  ReaVec b(5, 6.0), x(5, 0.0);
  e.solve(b, x, diag.A.get(), 0, "label");
  for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(x[i], 6.0 / (2.0 + i));
}

TEST_F(SolverOps, FixedUnknownsWeightsAndBounds) {
  const LinearSystem s = MakeSystem("lap", 100, olvu_test::Laplacian2D(10), true);
  const Eigen::VectorXd be = olvu_test::TestRhs(100);
  const Eigen::VectorXd ref = olvu_test::DirectSolve(s, be);
  Solver solver(StabBiConjugateGradient, 1e-12, 500, "S");
  BitVec fixed(100);
  fixed.assign(1, 1);
  fixed.assign(50, 1);
  const ReaVec none;
  ReaVec b = ToReaVec(be), x(100, 0.0);
  const double change = solver.solve(b, x, s.A.get(), fixed, none, 0, "label");
  // Fixed entries keep their values, the others take the solution; the change covers all entries.
  EXPECT_EQ(x[0], 0.0);
  EXPECT_EQ(x[49], 0.0);
  EXPECT_NEAR(x[1], ref[1], 1e-8);
  EXPECT_NEAR(change, ref.cwiseAbs().maxCoeff(), 1e-8);
  EXPECT_EQ(b, ToReaVec(be));
  // Weighted change: sum w_i |dx_i|.
  ReaVec w(100, 0.5), x2(100, 0.0);
  const double wchange = solver.solve(b, x2, s.A.get(), fixed, w, 0, "label");
  EXPECT_NEAR(wchange, 0.5 * ref.cwiseAbs().sum(), 1e-7);
  // Bounds clamp the new solution before the change is taken.
  ReaVec x3(100, 0.0);
  const double upper = 0.5 * ref.maxCoeff(), lower = 0.0;
  const double bchange = solver.solve(b, x3, s.A.get(), fixed, upper, lower, none, 0, "label");
  EXPECT_LE(x3.max_val(), upper);
  EXPECT_GE(x3.min_val(), lower);
  EXPECT_DOUBLE_EQ(bchange, upper);
  // Bits beyond a short fixed set count as clear.
  BitVec short_fixed(2);
  short_fixed.assign(1, 1);
  ReaVec x4(100, 0.0);
  solver.solve(b, x4, s.A.get(), short_fixed, none, 0, "label");
  EXPECT_EQ(x4[0], 0.0);
  EXPECT_NEAR(x4[99], ref[99], 1e-8);
}

TEST_F(SolverOps, OnlyAnExactlyZeroRightHandSideIsSkipped) {
  const LinearSystem s = MakeSystem("lap", 16, olvu_test::Laplacian2D(4), true);
  Solver solver(StabBiConjugateGradient, 1e-10, 100, "S");
  ReaVec b(16, 0.0);
  ReaVec x(16, 0.0);
  for (int i = 0; i < 16; ++i) x[i] = i - 10.0;
  const ReaVec old = x;
  BitVec fixed(16);
  fixed.assign(16, 1);
  // A zero right-hand side has the solution 0: the free entries take it, the fixed one keeps its value.
  EXPECT_DOUBLE_EQ(solver.solve(b, x, s.A.get(), fixed, ReaVec(), 0, "label"), 10.0);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(x[i], 0.0) << i;
  EXPECT_EQ(x[15], old[15]);
  x = old;
  EXPECT_DOUBLE_EQ(solver.solve(b, x, s.A.get(), fixed, ReaVec(16, 2.0), 0, "label"), 2.0 * old.sum_abs());
  x = old;
  EXPECT_DOUBLE_EQ(solver.solve(b, x, s.A.get(), fixed, 3.0, 1.0, ReaVec(), 0, "label"), 11.0);
  EXPECT_EQ(x[0], 1.0);  // 0 raised to the lower bound
  EXPECT_EQ(solver.give_preconditioner(), nullptr);  // nothing was built for a skipped system
  x = old;
  solver.solve(b, x, s.A.get(), 0, "label");
  EXPECT_EQ(x, ReaVec(16, 0.0));
  EXPECT_EQ(b, old);
  // iterate: zero b gives x = 0 and status 1.
  ReaVec z(16, 0.0), y(16, 1.0);
  EXPECT_EQ(solver.iterate(z, y, s.A.get(), 0), 1);
  EXPECT_EQ(y, ReaVec(16, 0.0));
}

TEST_F(SolverOps, SmallRightHandSidesAreSolved) {
  // A kinematic-pressure right-hand side of 1e-8 per node: the tolerances are relative, so the
  // solution is as accurate as that of the same system scaled by 1e8.
  const LinearSystem s = MakeSystem("lap", 100, olvu_test::Laplacian2D(10), true);
  const Eigen::VectorXd be = 1e-8 * olvu_test::TestRhs(100);
  const Eigen::VectorXd ref = olvu_test::DirectSolve(s, be);
  Solver solver(StabBiConjugateGradient, 1e-10, 300, "S");
  ReaVec b = ToReaVec(be), x(100, 0.0);
  const double change = solver.solve(b, x, s.A.get(), BitVec(100), ReaVec(), 0, "label");
  EXPECT_LE(olvu_test::RelError(x.GivePointer(), ref), 1e-6);
  EXPECT_NEAR(change, ref.cwiseAbs().maxCoeff(), 1e-6 * ref.cwiseAbs().maxCoeff());
  ReaVec b2 = ToReaVec(be), x2(100, 0.0);
  solver.solve(b2, x2, s.A.get(), 0, "label");
  EXPECT_LE(olvu_test::RelError(x2.GivePointer(), ref), 1e-6);
}

TEST_F(SolverOps, ThePoolIsRewoundAfterEverySolve) {
  const LinearSystem s = MakeSystem("lap", 100, olvu_test::Laplacian2D(10), true);
  Solver solver(GMRes, 1e-10, 300, "S");
  ReaVec b = ToReaVec(olvu_test::TestRhs(100)), x(100, 0.0);
  BitVec fixed(100);
  solver.solve(b, x, s.A.get(), fixed, ReaVec(), 0, "label");
  void* after = Alloc(8);
  AllocReset();
  EXPECT_EQ(after, Alloc(8));
  AllocReset();
}

TEST_F(SolverOps, PreconditionerIsKeptRefactoredAndRebuiltForAnotherSize) {
  LinearSystem a = MakeSystem("convdiff", 100, olvu_test::ConvDiff2D(10, 2.0), false);
  const LinearSystem big = MakeSystem("convdiff", 144, olvu_test::ConvDiff2D(12, 2.0), false);
  Solver solver(BiConjugateGradient, 1e-10, 500, "S");
  ReaVec b = ToReaVec(olvu_test::TestRhs(100)), x(100, 0.0);
  solver.solve(b, x, a.A.get(), 0, "label");
  const auto* first = dynamic_cast<const DiagPreconditioner*>(solver.give_preconditioner());
  ASSERT_NE(first, nullptr);
  const double d0 = first->diag(0);
  // New values in the same matrix: reused unchanged without refactor, refactored with it.
  *a.A *= 2.0;
  b = ToReaVec(olvu_test::TestRhs(100));
  solver.solve(b, x, a.A.get(), 0, "label");
  EXPECT_EQ(solver.give_preconditioner(), first);
  EXPECT_EQ(first->diag(0), d0);
  b = ToReaVec(olvu_test::TestRhs(100));
  solver.solve(b, x, a.A.get(), 1, "label");
  EXPECT_EQ(solver.give_preconditioner(), first);
  EXPECT_DOUBLE_EQ(first->diag(0), 0.5 * d0);
  // A matrix with another number of rows gets a preconditioner of its own size.
  const Eigen::VectorXd bb = olvu_test::TestRhs(144);
  ReaVec b2 = ToReaVec(bb), x2(144, 0.0);
  solver.solve(b2, x2, big.A.get(), 0, "label");
  EXPECT_LE(olvu_test::RelError(x2.GivePointer(), olvu_test::DirectSolve(big, bb)), 1e-6);
}

TEST_F(SolverOps, FigureScalesByTheDiagonal) {
  LinearSystem s = MakeSystem("d", 2, Triplets{{0, 0, 4.0}, {1, 1, 9.0}, {0, 1, 3.0}, {1, 0, 3.0}}, true);
  Solver solver(ConjugateGradient, 1e-10, 10, "S");
  ReaVec b(2, 12.0);
  solver.figure(b, s.A.get());
  EXPECT_DOUBLE_EQ(b[0], 2.0);
  EXPECT_DOUBLE_EQ(s.A->diag(1), 1.5);
  EXPECT_DOUBLE_EQ((*s.A)(0, 1), 0.5);
}

namespace {
// A domain that counts its coupling steps, or records where the pool stands after each pass.
struct CountingDomain : CoupledDomain {
  int calls = 0;
  bool mark_pool = false;
  std::vector<void*> pool_marks;
  void SolveCoupled(ReaVec&, ReaVec&, ReaVec&) override {
    ++calls;
    if (mark_pool) pool_marks.push_back(Alloc(8));
  }
};
int coupled_calls = 0;
CoupledDomain* coupled_domain = nullptr;
void CountDomain(CoupledDomain* d) {
  ++coupled_calls;
  coupled_domain = d;
}
}  // namespace

TEST_F(SolverOps, CoupledSolvesCallTheDomainBack) {
  const LinearSystem s = MakeSystem("convdiff", 100, olvu_test::ConvDiff2D(10, 2.0), false);
  const Eigen::VectorXd be = olvu_test::TestRhs(100);
  const Eigen::VectorXd ref = olvu_test::DirectSolve(s, be);
  CountingDomain domain;
  CoupledDomain* const dom = &domain;
  Solver solver(StabBiConjugateGradient, 1e-10, 300, "S");
  ReaVec b1 = ToReaVec(be), b2(100, 0.0), b3 = ToReaVec(2.0 * be);
  ReaVec x1(100, 0.0), x2(100, 3.0), x3(100, 0.0);
  solver.solve_coupled(b1, b2, b3, x1, x2, x3, s.A.get(), dom, 5, 0, "label");
  EXPECT_GE(domain.calls, 1);
  EXPECT_EQ(x2, ReaVec(100, 0.0));  // zero right-hand side: x = 0, not iterated
  EXPECT_LE(olvu_test::RelError(x1.GivePointer(), ref), 1e-6);
  EXPECT_LE(olvu_test::RelError(x3.GivePointer(), 2.0 * ref), 1e-6);
  // The passes do not pile up work vectors in the pool: each starts where the last one did.
  ReaVec y1(100, 0.0), y2(100, 0.0), y3(100, 0.0);
  b2 = ToReaVec(be);
  domain.mark_pool = true;
  solver.solve_coupled(b1, b2, b3, y1, y2, y3, s.A.get(), dom, 1, 0, "label");
  ASSERT_GE(domain.pool_marks.size(), 3u);
  for (void* mark : domain.pool_marks) EXPECT_EQ(mark, domain.pool_marks[0]);
  // Without a domain the passes run with no coupling step and the same solutions.
  ReaVec z1(100, 0.0), z2(100, 0.0), z3(100, 0.0);
  const int calls = domain.calls;
  solver.solve_coupled(b1, b2, b3, z1, z2, z3, s.A.get(), nullptr, 5, 0, "label");
  EXPECT_EQ(domain.calls, calls);
  EXPECT_LE(olvu_test::RelError(z1.GivePointer(), ref), 1e-6);
  EXPECT_LE(olvu_test::RelError(z3.GivePointer(), 2.0 * ref), 1e-6);

  DomainSolver ds(dom, StabBiConjugateGradient, 1e-10, 300, "D");
  ReaVec b = ToReaVec(be), x(100, 0.0);
  coupled_calls = 0;
  ds.solve1coupled(b, x, s.A.get(), CountDomain, 0, "label");
  EXPECT_EQ(coupled_calls, 1);
  EXPECT_EQ(coupled_domain, dom);
  EXPECT_EQ(b, ReaVec(100, 0.0));
  EXPECT_LE(olvu_test::RelError(x.GivePointer(), ref), 1e-6);
}

TEST_F(SolverOps, NotSolvedGivesTheResidualRatioReached) {
  // Every Krylov method through every solve form, 3 iterations at 1e-12: the warning's norm is
  // |b - A x| / |b| of the x the solve left (the Laplacian's diagonal is constant, so GMRES's
  // preconditioned ratio is the same), never the tolerance.
  auto r = olvu_test::RunInChild([] {
    MemoryControlOn("case");
    Clock root("case");
    LinearSystem s = MakeSystem("lap", 400, olvu_test::Laplacian2D(20), true);
    const ReaVec rhs = ToReaVec(olvu_test::TestRhs(400)), none;
    const BitVec free;
    auto ratio = [&](const ReaVec& x) {
      ReaVec res(rhs);
      s.A->sub_mult(x.GivePointer(), res.GivePointer());
      return std::sqrt((res * res) / (rhs * rhs));
    };
    for (SolverType t : {ConjugateGradient, BiConjugateGradient, StabBiConjugateGradient, SquaredConjugateGradient,
                         GMRes})
      for (int form = 0; form < 4; ++form) {
        Solver solver(t, 1e-12, 3, "S");
        ReaVec b(rhs), x(400, 0.0), x2(400, 0.0), x3(400, 0.0), b2(rhs), b3(rhs);
        if (form == 0) solver.solve(b, x, s.A.get(), 0, "label");
        if (form == 1) solver.solve(b, x, s.A.get(), free, none, 0, "label");
        if (form == 2) solver.solve(b, x, s.A.get(), free, 1e30, -1e30, none, 0, "label");
        if (form == 3) solver.solve_coupled(b, b2, b3, x, x2, x3, s.A.get(), nullptr, 3, 0, "label");
        std::cout << ratio(x) << "\n";
      }
  });
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream expected(r.out), war(r.file("case.war"));
  int count = 0;
  for (std::string line; std::getline(war, line);) {
    const auto at = line.find("Norm = ");
    if (at == std::string::npos) continue;
    double want = 0;
    expected >> want;
    SCOPED_TRACE(::testing::Message() << "solve " << count++ << ": " << line);
    EXPECT_NEAR(std::stod(line.substr(at + 7)), want, 1e-5 * want);
    EXPECT_GT(want, 1e-3);
  }
  EXPECT_EQ(count, 20);
}

TEST_F(SolverOps, WarningsAndStops) {
  // The iteration limit: a level-0 warning with the setting's limit, and the run goes on.
  auto limited = [](int verbose) {
    return olvu_test::RunInChild([verbose] {
      Verbose_Off = verbose;
      MemoryControlOn("case");
      LinearSystem s = MakeSystem("lap", 400, olvu_test::Laplacian2D(20), true);
      Solver solver(StabBiConjugateGradient, 1e-12, 5, "S");
      ReaVec b = ToReaVec(olvu_test::TestRhs(400)), x(400, 0.0);
      solver.solve(b, x, s.A.get(), 0, "label");
    });
  };
  auto r = limited(1);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.file("case.war").find("\t***       WARNING!       ***\n -->\tNot Solved S label after 5 Iterations. Norm = "),
            std::string::npos)
      << r.file("case.war");
  auto quiet = limited(2);
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.file("case.war"), "");
  // solve2coupled warns only short of the tolerance, with the larger residual ratio reached.
  auto coupled2 = [](int limit) {
    return olvu_test::RunInChild([limit] {
      MemoryControlOn("case");
      LinearSystem s = MakeSystem("lap", 16, olvu_test::Laplacian2D(4), true);
      DomainSolver ds(nullptr, BiConjugateGradient, 1e-10, limit, "D");
      ReaVec b1(16, 1.0), b2(16, 2.0), x1(16, 0.0), x2(16, 0.0);
      coupled_calls = 0;
      ds.solve2coupled(b1, b2, x1, x2, s.A.get(), CountDomain, 0, "label");
      std::cout << coupled_calls << " " << x1[5] << " " << b1[0] << "\n";
    });
  };
  auto c2 = coupled2(40);
  EXPECT_EQ(c2.status, 0);
  EXPECT_EQ(c2.file("case.war").find("Not Solved"), std::string::npos) << c2.file("case.war");
  EXPECT_NE(c2.out.find("40 "), std::string::npos) << c2.out;
  auto c2limited = coupled2(2);
  const std::string war2 = c2limited.file("case.war");
  const auto at = war2.find("Not Solved D label after 2 Iterations. Norm = ");
  ASSERT_NE(at, std::string::npos) << war2;
  EXPECT_GT(std::stod(war2.substr(at + 46)), 1e-3);
  // A zero row (ILU gives a zero pivot) is a singular system.
  Triplets zero_row;
  for (const auto& e : olvu_test::Laplacian2D(4)) zero_row.emplace_back(e.row(), e.col(), e.row() == 5 ? 0.0 : e.value());
  auto w = WithCard("Symmetric S Max_Iter 50 Tolerance 1e-10 Solver StabBiConjugateGradient;",
                    [&](Input& in, const char* name) {
                      Solver s(&in, name);
                      LinearSystem sys = MakeSystem("z", 16, zero_row, false);
                      ReaVec b(16, 1.0), x(16, 0.0);
                      s.solve(b, x, sys.A.get(), 0, "label");
                    });
  EXPECT_EQ(w.status, 1);
  EXPECT_EQ(ErrText(w), "Singular system found in S label\n");
  // The same zero diagonal with the diagonal preconditioner stops in the preconditioner.
  auto zd = olvu_test::RunInChild([&] {
    MemoryControlOn("case");
    Clock root("case");
    LinearSystem sys = MakeSystem("z", 16, zero_row, false);
    Solver s(StabBiConjugateGradient, 1e-10, 50, "S");
    ReaVec b(16, 1.0), x(16, 0.0);
    s.solve(b, x, sys.A.get(), 0, "label");
  });
  EXPECT_EQ(zd.status, 1);
  EXPECT_EQ(ErrText(zd), "Diagonal preconditioner failure.\nZero detected in element 5\n");
  // solve_coupled reports the system that broke down.
  auto sc = olvu_test::RunInChild([&] {
    MemoryControlOn("case");
    Clock root("case");
    // Singular: the second direction, (-1.25, 1.25), is mapped to 0.
    LinearSystem sys = MakeSystem("ones", 2, Triplets{{0, 0, 1.0}, {0, 1, 1.0}, {1, 0, 1.0}, {1, 1, 1.0}}, true);
    Solver s(BiConjugateGradient, 1e-10, 50, "S");
    ReaVec b1(2, 0.0), b2(2, 1.0), x1(2, 0.0), x2(2, 0.0), x3(2, 0.0);
    b2[1] = 3.0;
    s.solve_coupled(b1, b2, b1, x1, x2, x3, sys.A.get(), nullptr, 5, 0, "label");
  });
  EXPECT_EQ(sc.status, 1);
  EXPECT_EQ(ErrText(sc), "Singular system found in system 2 S label\n");
}
