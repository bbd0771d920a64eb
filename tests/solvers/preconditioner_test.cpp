// Preconditioners: exact small cases, the factorisation identities on the pattern, refactoring
// and the fatal stops.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "foundation/error.h"
#include "solvers/iterativemethods.h"
#include "solvers/preconditioner.h"
#include "tests/solvers/linear_systems.h"
#include "tests/support/child.h"

using olvu_test::LinearSystem;
using olvu_test::MakeSystem;
using olvu_test::Triplets;

namespace {

using Dense = std::vector<std::vector<double>>;

Dense Zeros(int n) { return Dense(n, std::vector<double>(n, 0.0)); }

Dense Product(const Dense& a, const Dense& b, bool trans_b) {
  const int n = static_cast<int>(a.size());
  Dense c = Zeros(n);
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < n; ++k) {
      if (a[i][k] == 0.0) continue;
      for (int j = 0; j < n; ++j) c[i][j] += a[i][k] * (trans_b ? b[j][k] : b[k][j]);
    }
  return c;
}

// The stored upper rows of IC read as columns of L.
Dense CholeskyFactor(const ICPreconditioner& p, int n) {
  Dense l = Zeros(n);
  for (int r = 0; r < n; ++r)
    for (int k = p.row_ptr()[r]; k < p.row_ptr()[r + 1]; ++k) l[p.col_ind()[k]][r] = p.val()[k];
  return l;
}

void LuFactors(const ILUPreconditioner& p, int n, Dense& l, Dense& u) {
  l = Zeros(n);
  u = Zeros(n);
  for (int r = 0; r < n; ++r) {
    l[r][r] = 1.0;
    for (int k = p.l_row_ptr()[r]; k < p.l_row_ptr()[r + 1]; ++k) l[r][p.l_col_ind()[k]] = p.l_val()[k];
    for (int k = p.u_row_ptr()[r]; k < p.u_row_ptr()[r + 1]; ++k) u[r][p.u_col_ind()[k]] = p.u_val()[k];
  }
}

// Every stored entry of A equals the same entry of the product of the factors.
void ExpectReproducesPattern(const LinearSystem& s, const Dense& prod) {
  for (int i = 0; i < s.n; ++i)
    for (int k = *s.A->row_ptr(i); k < *s.A->row_ptr(i + 1); ++k) {
      const int j = *s.A->col_ind(k);
      EXPECT_NEAR(prod[i][j], *s.A->val(k), 1e-12) << s.name << " entry (" << i << ", " << j << ")";
    }
}

std::vector<double> Apply(const Preconditioner& p, const std::vector<double>& b, bool trans = false) {
  std::vector<double> x(b.size(), 0.0);
  if (trans)
    p.trans_solve(b.data(), x.data());
  else
    p.solve(b.data(), x.data());
  return x;
}

std::string FatalText(const std::function<void()>& body) {
  auto r = olvu_test::RunInChild([&] {
    MemoryControlOn("case");
    body();
  });
  EXPECT_EQ(r.status, 1);
  const std::string err = r.file("case.err");
  const std::string banner = olvu_test::kErrBanner;
  return err.compare(0, banner.size(), banner) == 0 ? err.substr(banner.size()) : err;
}

}  // namespace

TEST(Preconditioners, DiagonalMatrixGivesTheInverseDiagonalForEveryKind) {
  const LinearSystem s = MakeSystem("diag", 2, Triplets{{0, 0, 2.0}, {1, 1, 4.0}}, true);
  const std::vector<double> b = {1, 1};
  const DiagPreconditioner d(*s.A);
  const ICPreconditioner ic(*s.A);
  const ILUPreconditioner ilu(*s.A);
  for (const Preconditioner* p : {static_cast<const Preconditioner*>(&d), static_cast<const Preconditioner*>(&ic),
                                  static_cast<const Preconditioner*>(&ilu)}) {
    const auto x = Apply(*p, b);
    EXPECT_DOUBLE_EQ(x[0], 0.5);
    EXPECT_DOUBLE_EQ(x[1], 0.25);
    const auto y = Apply(*p, b, true);
    EXPECT_DOUBLE_EQ(y[0], 0.5);
    EXPECT_DOUBLE_EQ(y[1], 0.25);
  }
  const TDiagPreconditioner t(*s.A);
  EXPECT_DOUBLE_EQ(t.diag(0), 1.0 / std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(Apply(NonePreconditioner(*s.A), b)[1], 1.0);
}

TEST(Preconditioners, NamesAndAreYou) {
  const LinearSystem s = MakeSystem("diag", 1, Triplets{{0, 0, 2.0}}, true);
  const ICPreconditioner ic(*s.A);
  EXPECT_STREQ(ic.Name(), "Cholesky");
  EXPECT_EQ(ic.AreYou("cholesky"), 1);
  EXPECT_EQ(ic.AreYou("PRECONDITIONER"), 1);
  EXPECT_EQ(ic.AreYou("ILU"), 0);
  EXPECT_STREQ(ILUPreconditioner(*s.A).Name(), "ILU");
  EXPECT_STREQ(DiagPreconditioner(*s.A).Name(), "Diagonal");
  EXPECT_STREQ(TDiagPreconditioner(*s.A).Name(), "TDiagonal");
  EXPECT_EQ(static_cast<const Preconditioner&>(ic).AreYou("Cholesky"), 0);
}

TEST(Preconditioners, IncompleteCholeskyOfATwoByTwo) {
  const LinearSystem s = MakeSystem("spd2", 2, Triplets{{0, 0, 4.0}, {0, 1, 2.0}, {1, 0, 2.0}, {1, 1, 3.0}}, true);
  const ICPreconditioner ic(*s.A);
  ASSERT_EQ(ic.nnz(), 3);
  EXPECT_DOUBLE_EQ(ic.val()[0], 2.0);
  EXPECT_DOUBLE_EQ(ic.val()[1], 1.0);
  EXPECT_DOUBLE_EQ(ic.val()[2], std::sqrt(2.0));
  const auto x = Apply(ic, {6, 5});
  EXPECT_NEAR(x[0], 1.0, 1e-15);
  EXPECT_NEAR(x[1], 1.0, 1e-15);
}

TEST(Preconditioners, FactorsReproduceTheMatrixOnItsPattern) {
  const LinearSystem sym[] = {MakeSystem("lap2d", 64, olvu_test::Laplacian2D(8), true),
                              MakeSystem("lap3d", 64, olvu_test::Laplacian3D(4), true),
                              MakeSystem("mass", 49, olvu_test::Mass2D(6), true)};
  for (const LinearSystem& s : sym) {
    const Dense l = CholeskyFactor(ICPreconditioner(*s.A), s.n);
    ExpectReproducesPattern(s, Product(l, l, true));
  }
  const LinearSystem all[] = {MakeSystem("lap2d", 64, olvu_test::Laplacian2D(8), true),
                              MakeSystem("convdiff", 64, olvu_test::ConvDiff2D(8, 3.0), false)};
  for (const LinearSystem& s : all) {
    Dense l, u;
    LuFactors(ILUPreconditioner(*s.A), s.n, l, u);
    ExpectReproducesPattern(s, Product(l, u, false));
  }
}

TEST(Preconditioners, ExactOnTridiagonalMatrices) {
  const LinearSystem sym = MakeSystem("tri", 30, olvu_test::Tridiagonal(30, 3.0, -1.0, -1.0), true);
  const LinearSystem uns = MakeSystem("tri", 30, olvu_test::Tridiagonal(30, 3.0, -1.5, -0.5), false);
  const Eigen::VectorXd b = olvu_test::TestRhs(30);
  const ICPreconditioner ic(*sym.A);
  const ILUPreconditioner ilu(*uns.A);
  const std::vector<double> bv(b.data(), b.data() + 30);
  EXPECT_LT(olvu_test::RelError(Apply(ic, bv).data(), olvu_test::DirectSolve(sym, b)), 1e-13);
  EXPECT_LT(olvu_test::RelError(Apply(ilu, bv).data(), olvu_test::DirectSolve(uns, b)), 1e-13);
  // With an exact preconditioner the first iteration reaches the solution; the increment test
  // then takes one more iteration to confirm it.
  for (int method = 0; method < 2; ++method) {
    std::vector<double> x(30, 0.0);
    int iters = 1;
    double tol = 1e-10, tol2 = 1e-6;
    method == 0 ? CG(*sym.A, x.data(), b.data(), ic, iters, tol, tol2)
                : BiCGSTAB(*uns.A, x.data(), b.data(), ilu, iters, tol, tol2);
    EXPECT_LT(tol, 1e-12) << method;
  }
}

TEST(Preconditioners, IluTransposeSolveIsTheSolveOfTheTransposedMatrix) {
  const Triplets t = olvu_test::ConvDiff2D(6, 2.0);
  Triplets tt;
  for (const auto& e : t) tt.emplace_back(e.col(), e.row(), e.value());
  const LinearSystem s = MakeSystem("convdiff", 36, t, false);
  const LinearSystem st = MakeSystem("convdiffT", 36, tt, false);
  const ILUPreconditioner p(*s.A), pt(*st.A);
  const Eigen::VectorXd b = olvu_test::TestRhs(36);
  const std::vector<double> bv(b.data(), b.data() + 36);
  const auto x = Apply(p, bv, true), y = Apply(pt, bv);
  for (int i = 0; i < 36; ++i) EXPECT_NEAR(x[i], y[i], 1e-12);
}

TEST(Preconditioners, SymmetricStorageFactorsAsTheGeneralMatrix) {
  const Triplets t = olvu_test::Laplacian2D(5);
  const LinearSystem s = MakeSystem("lap", 25, t, true);
  SymmetricSparseMatrix m(s.pattern.get());
  for (const auto& e : t) m.addToLhs(e.row(), e.col(), e.value());
  const ICPreconditioner a(*s.A), b(m);
  const ILUPreconditioner c(*s.A), d(m);
  ASSERT_EQ(a.nnz(), b.nnz());
  for (int k = 0; k < a.nnz(); ++k) EXPECT_DOUBLE_EQ(a.val()[k], b.val()[k]);
  const std::vector<double> bv(25, 1.0);
  EXPECT_EQ(Apply(c, bv), Apply(d, bv));
}

TEST(Preconditioners, NewMatrixRefactorsInPlace) {
  LinearSystem s = MakeSystem("convdiff", 36, olvu_test::ConvDiff2D(6, 1.0), false);
  ILUPreconditioner ilu(*s.A);
  ICPreconditioner ic(*s.A);
  DiagPreconditioner dg(*s.A);
  const double* lval = ilu.l_val();
  *s.A *= 2.0;
  ilu.New_Matrix(*s.A);
  ic.New_Matrix(*s.A);
  dg.New_Matrix(*s.A);
  EXPECT_EQ(ilu.l_val(), lval);
  const ILUPreconditioner fresh(*s.A);
  const ICPreconditioner fresh_ic(*s.A);
  const std::vector<double> bv(36, 1.0);
  EXPECT_EQ(Apply(ilu, bv), Apply(fresh, bv));
  EXPECT_EQ(Apply(ic, bv), Apply(fresh_ic, bv));
  EXPECT_DOUBLE_EQ(dg.diag(0), 1.0 / (2.0 * (4.0 + 1.5)));
}

TEST(Preconditioners, NewMatrixOfAnotherPatternOrOrderFactorsTheNewMatrix) {
  const std::vector<double> bv = {1.0, -2.0, 0.5, 3.0, 1.5, -1.0};
  auto same_solves = [&](const Preconditioner& p, const Preconditioner& fresh) {
    EXPECT_EQ(Apply(p, bv), Apply(fresh, bv));
    EXPECT_EQ(Apply(p, bv, true), Apply(fresh, bv, true));
  };
  // The same triangle sizes on another pattern: with other row lengths ((0, 3) moved to (0, 4)),
  // and with the same ones ((0, 3) and (1, 4) become (0, 4) and (1, 3)).
  const Triplets base = olvu_test::Tridiagonal(6, 4.0, -1.0, -1.5);
  auto with = [&](std::initializer_list<std::pair<int, int>> extra) {
    Triplets t = base;
    for (const auto& [i, j] : extra) {
      t.emplace_back(i, j, 0.5);
      t.emplace_back(j, i, 0.25);
    }
    return t;
  };
  const Triplets cases[][2] = {{with({{0, 3}}), with({{0, 4}})}, {with({{0, 3}, {1, 4}}), with({{0, 4}, {1, 3}})}};
  for (const auto& c : cases) {
    const LinearSystem sa = MakeSystem("a", 6, c[0], false), sb = MakeSystem("b", 6, c[1], false);
    ICPreconditioner ic(*sa.A);
    ILUPreconditioner ilu(*sa.A);
    ic.New_Matrix(*sb.A);
    ilu.New_Matrix(*sb.A);
    same_solves(ic, ICPreconditioner(*sb.A));
    same_solves(ilu, ILUPreconditioner(*sb.A));
  }
  // Rows stored neither sorted nor with the diagonal first, refactored after new values.
  const Triplets t = olvu_test::ConvDiff2D(5, 1.5);
  SparseMatrixStruct pattern(25, 25, 0, 0, 0);
  for (auto e = t.rbegin(); e != t.rend(); ++e) pattern.addPosition(e->row(), e->col());
  pattern.Build();
  SystemSparseMatrix m(&pattern);
  for (const auto& e : t) m.addToLhs(e.row(), e.col(), e.value());
  ILUPreconditioner u(m);
  ICPreconditioner c(m);
  m *= 3.0;
  u.New_Matrix(m);
  c.New_Matrix(m);
  const std::vector<double> b25(25, 1.0);
  EXPECT_EQ(Apply(u, b25), Apply(ILUPreconditioner(m), b25));
  EXPECT_EQ(Apply(c, b25), Apply(ICPreconditioner(m), b25));
  // A symmetric matrix, and a row without U entries, refactored in place.
  const LinearSystem lap = MakeSystem("lap", 25, olvu_test::Laplacian2D(5), true);
  SymmetricSparseMatrix sym(lap.pattern.get());
  for (const auto& e : olvu_test::Laplacian2D(5)) sym.addToLhs(e.row(), e.col(), e.value());
  ICPreconditioner sc(sym);
  ILUPreconditioner su(sym);
  sym *= 0.5;
  sc.New_Matrix(sym);
  su.New_Matrix(sym);
  EXPECT_EQ(Apply(sc, b25), Apply(ICPreconditioner(sym), b25));
  EXPECT_EQ(Apply(su, b25), Apply(ILUPreconditioner(sym), b25));
  LinearSystem swap = MakeSystem("swap", 3, Triplets{{0, 0, 2.0}, {0, 1, 3.0}, {1, 0, 1.0}, {2, 2, 1.0}}, false, 0);
  ILUPreconditioner zp(*swap.A);
  *swap.A *= 2.0;
  zp.New_Matrix(*swap.A);
  const ILUPreconditioner zf(*swap.A);
  EXPECT_EQ(zp.u_val()[zp.u_row_ptr()[1]], zf.u_val()[zf.u_row_ptr()[1]]);  // 0 - (2 / 4) 6
  EXPECT_EQ(zp.u_val()[zp.u_row_ptr()[1]], -3.0);
}

TEST(Preconditioners, NewMatrixOfAnotherStructureStops) {
  const Triplets base = olvu_test::Tridiagonal(4, 3.0, -1.0, -1.0);
  Triplets extra = base;
  extra.emplace_back(0, 3, 0.5);
  extra.emplace_back(3, 0, 0.5);
  EXPECT_EQ(FatalText([&] {
              LinearSystem a = MakeSystem("a", 4, base, true), b = MakeSystem("b", 4, extra, true);
              ICPreconditioner p(*a.A);
              p.New_Matrix(*b.A);
            }),
            "Wrong use of ICPreconditioner::New_Matrix\n");
  EXPECT_EQ(FatalText([&] {
              LinearSystem a = MakeSystem("a", 4, base, true), b = MakeSystem("b", 4, extra, true);
              ILUPreconditioner p(*a.A);
              p.New_Matrix(*b.A);
            }),
            "Wrong use of ILUPreconditioner::New_Matrix\n");
  EXPECT_EQ(FatalText([&] {
              LinearSystem a = MakeSystem("a", 4, base, true), b = MakeSystem("b", 3, Triplets{{0, 0, 1}, {1, 1, 1}, {2, 2, 1}}, true);
              DiagPreconditioner p(*a.A);
              p.New_Matrix(*b.A);
            }),
            "Wrong use of DiagPreconditioner::New_Matrix\n");
}

TEST(Preconditioners, ZeroOrMissingDiagonalStops) {
  const Triplets zero_third = {{0, 0, 1.0}, {1, 1, 2.0}, {2, 2, 0.0}, {2, 1, 1.0}, {1, 2, 1.0}};
  EXPECT_EQ(FatalText([&] {
              LinearSystem s = MakeSystem("z", 3, zero_third, true);
              DiagPreconditioner p(*s.A);
            }),
            "Diagonal preconditioner failure.\nZero detected in element 2\n");
  EXPECT_EQ(FatalText([&] {
              LinearSystem s = MakeSystem("z", 3, zero_third, true);
              TDiagPreconditioner p(*s.A);
            }),
            "TDiagonal preconditioner failure.\nZero detected in element 2\n");
  // A pattern without the diagonal of row 1.
  const Triplets no_diag = {{0, 0, 2.0}, {0, 1, 1.0}, {1, 0, 1.0}, {2, 2, 1.0}, {1, 2, 1.0}, {2, 1, 1.0}};
  EXPECT_EQ(FatalText([&] {
              LinearSystem s = MakeSystem("nd", 3, no_diag, true, 0);
              ICPreconditioner p(*s.A);
            }),
            "IC Preconditioner: diagonal not found! 1\n");
}

TEST(Preconditioners, IluOfARowWithoutUpperEntriesGivesNonFiniteValues) {
  // Row 1 holds only column 0: its U row is empty, a zero pivot that must not read other rows.
  const LinearSystem s = MakeSystem("swap", 2, Triplets{{0, 1, 1.0}, {1, 0, 1.0}}, false, 0);
  const ILUPreconditioner p(*s.A);
  const auto x = Apply(p, {1.0, 1.0});
  EXPECT_FALSE(std::isfinite(x[0]) && std::isfinite(x[1]));
}
