// Sparse triangular kernels and drivers against dense reference solves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "solvers/compressedkernels.h"
#include "tests/support/child.h"

namespace {

const double kNoBeta = 0.0, kOne = 1.0;
const int kOneInt = 1;

struct Csr {
  std::vector<double> val;
  std::vector<int> indx, pntr;
};

// Compressed form of a dense m x m matrix, by rows or by columns; entries selected by `keep`,
// the diagonal placed first or last in each row/column.
template <class Keep>
Csr Compress(const std::vector<std::vector<double>>& a, bool by_rows, bool diag_first, Keep keep) {
  const int m = static_cast<int>(a.size());
  Csr c;
  c.pntr.push_back(0);
  for (int j = 0; j < m; ++j) {
    std::vector<int> idx;
    for (int i = 0; i < m; ++i) {
      const int r = by_rows ? j : i, col = by_rows ? i : j;
      if (i != j && keep(r, col) && a[r][col] != 0.0) idx.push_back(i);
    }
    if (keep(j, j)) {
      if (diag_first)
        idx.insert(idx.begin(), j);
      else
        idx.push_back(j);
    }
    for (int i : idx) {
      c.indx.push_back(i);
      c.val.push_back(by_rows ? a[j][i] : a[i][j]);
    }
    c.pntr.push_back(static_cast<int>(c.indx.size()));
  }
  return c;
}

// Dense triangle with a known structure, unit or stored diagonal.
std::vector<std::vector<double>> Triangle(int m, bool lower, bool unit) {
  std::vector<std::vector<double>> a(m, std::vector<double>(m, 0.0));
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) {
      if (i == j) a[i][j] = unit ? 1.0 : 2.0 + 0.25 * i;
      else if ((lower ? i > j : i < j) && (i + 2 * j) % 3 != 0) a[i][j] = 0.1 * (1 + (i * 7 + j * 3) % 5) - 0.3;
    }
  return a;
}

std::vector<double> Mult(const std::vector<std::vector<double>>& a, const std::vector<double>& x, bool trans) {
  const int m = static_cast<int>(a.size());
  std::vector<double> y(m, 0.0);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) y[i] += (trans ? a[j][i] : a[i][j]) * x[j];
  return y;
}

// Solves with the driver (0-based arrays: the solution pointer is one past its start) and
// checks A x = b (or A^T x = b) with the dense matrix.
void CheckDriver(bool columns, int transa, bool lower, bool unit, bool in_place) {
  const int m = 9;
  const auto a = Triangle(m, lower, unit);
  // Column storage of a lower triangle has its diagonal first; row storage of a lower one last.
  const bool diag_first = columns ? lower : !lower;
  const Csr c = Compress(a, !columns, diag_first, [&](int r, int col) {
    if (r == col) return !unit;
    return lower ? r > col : r < col;
  });
  std::vector<double> xref(m);
  for (int i = 0; i < m; ++i) xref[i] = 1.0 + 0.5 * i - 0.05 * i * i;
  std::vector<double> b = Mult(a, xref, transa != 0);
  std::vector<double> x(m, 0.0);
  if (in_place) x = b;
  const int descra[3] = {0, lower ? 1 : 2, unit ? 1 : 0};
  const int ld = m;
  (columns ? dcscsm : dcsrsm)(transa, m, kOneInt, kOneInt, nullptr, kOne, descra, c.val.data(), c.indx.data(),
                              c.pntr.data(), in_place ? x.data() : b.data(), ld, kNoBeta, x.data() + 1, ld,
                              nullptr, 0);
  for (int i = 0; i < m; ++i) EXPECT_NEAR(x[i], xref[i], 1e-12) << "entry " << i;
}

// The kernel steps written out plainly, on one right-hand side with 0-based arrays: column
// kernels scatter, row kernels gather, each in the stored order of its entries.
std::vector<double> ReferenceSolve(bool columns, bool lower, bool unit, double alpha, const Csr& t,
                                   std::vector<double> x, const std::vector<double>& b) {
  const int m = static_cast<int>(t.pntr.size()) - 1;
  for (int s = 0; s < m; ++s) {
    const int j = lower ? s : m - 1 - s;
    int lo = t.pntr[j], hi = t.pntr[j + 1];
    if (columns) {
      if (!unit) {
        const int d = lower ? lo++ : --hi;
        x[j] = alpha * x[j] / t.val[d];
      }
      for (int k = lo; k < hi; ++k) x[t.indx[k]] -= t.val[k] * x[j];
    } else {
      double sum = 0.0, d = 1.0;
      if (!unit) d = t.val[lower ? --hi : lo++];
      for (int k = lo; k < hi; ++k) sum += t.val[k] * x[t.indx[k]];
      x[j] = alpha * (b[j] - sum) / d;
    }
  }
  return x;
}

}  // namespace

TEST(TriangularKernels, EveryKernelFollowsItsStepsForAnyAlphaAndOrder) {
  // A 40 x 40 triangle whose columns (rows) hold their nearest neighbour in some places and not
  // in others, sorted in some and reversed in others, so that every path of the kernels runs.
  using Kernel = int (*)(int, int, int, const double*, double, const double*, const int*, const int*,
                         const double*, int, double*, int);
  const Kernel kernels[2][2][2] = {{{CompRow_UpperDiagSolve, CompRow_UpperUnitSolve},
                                    {CompRow_LowerDiagSolve, CompRow_LowerUnitSolve}},
                                   {{CompCol_UpperDiagSolve, CompCol_UpperUnitSolve},
                                    {CompCol_LowerDiagSolve, CompCol_LowerUnitSolve}}};
  const int m = 40;
  for (int columns = 0; columns < 2; ++columns)
    for (int lower = 0; lower < 2; ++lower)
      for (int unit = 0; unit < 2; ++unit) {
        // Entries of vector j: the other index i of each off-diagonal entry (i below j for a lower
        // row or an upper column, above it otherwise).
        const bool below = (columns == 0) == (lower == 1);
        Csr t;
        t.pntr.push_back(0);
        for (int j = 0; j < m; ++j) {
          std::vector<int> idx;
          for (int i = 0; i < m; ++i)
            if ((below ? i < j : i > j) && (std::abs(i - j) == 1 ? j % 4 != 3 : (i * 7 + j * 3) % 5 == 0))
              idx.push_back(i);
          if (j % 3 == 0) std::reverse(idx.begin(), idx.end());
          // The diagonal is first in lower columns and upper rows, last otherwise.
          const bool diag_first = columns ? lower : !lower;
          if (!unit && diag_first) t.indx.push_back(j), t.val.push_back(2.0 + 0.1 * j);
          for (int i : idx) t.indx.push_back(i), t.val.push_back(0.05 * ((i + 2 * j) % 7) - 0.15);
          if (!unit && !diag_first) t.indx.push_back(j), t.val.push_back(2.0 + 0.1 * j);
          t.pntr.push_back(static_cast<int>(t.indx.size()));
        }
        std::vector<double> b(m);
        for (int i = 0; i < m; ++i) b[i] = std::sin(0.7 * i) + 0.3;
        for (double alpha : {1.0, 2.0, -0.5}) {
          SCOPED_TRACE(::testing::Message() << "columns " << columns << " lower " << lower << " unit " << unit
                                            << " alpha " << alpha);
          const std::vector<double> ref = ReferenceSolve(columns, lower, unit, alpha, t, b, b);
          std::vector<double> x(m + 1, 0.0);
          kernels[columns][lower][unit](m, 1, 1, nullptr, alpha, t.val.data(), t.indx.data(), t.pntr.data(), b.data(),
                                        m, x.data() + 1, m);
          for (int i = 0; i < m; ++i) EXPECT_NEAR(x[i], ref[i], 1e-13 * (1.0 + std::fabs(ref[i]))) << "entry " << i;
          // In place, and with 1-based arrays, the same solution.
          std::vector<double> y = b;
          kernels[columns][lower][unit](m, 1, 1, nullptr, alpha, t.val.data(), t.indx.data(), t.pntr.data(), y.data(),
                                        m, y.data() + 1, m);
          Csr one = t;
          for (int& k : one.indx) ++k;
          for (int& k : one.pntr) ++k;
          std::vector<double> z(m, 0.0);
          kernels[columns][lower][unit](m, 1, 1, nullptr, alpha, one.val.data(), one.indx.data(), one.pntr.data(),
                                        b.data(), m, z.data(), m);
          for (int i = 0; i < m; ++i) {
            EXPECT_EQ(y[i], x[i]) << "in place, entry " << i;
            EXPECT_EQ(z[i], x[i]) << "1-based, entry " << i;
          }
        }
      }
}

TEST(TriangularKernels, UnitLowerRowsAndTwoByTwoColumnFormInBothNumberings) {
  // Strictly lower rows {row 1: (col 0, 0.5)} with a unit diagonal, b = (2, 3).
  {
    const double val[] = {0.5};
    const int indx[] = {0}, pntr[] = {0, 0, 1}, descra[] = {0, 1, 1};
    const double b[] = {2, 3};
    double c[2] = {0, 0};
    dcsrsm(0, 2, kOneInt, kOneInt, nullptr, kOne, descra, val, indx, pntr, b, 2, kNoBeta, c + 1, 2, nullptr, 0);
    EXPECT_DOUBLE_EQ(c[0], 2.0);
    EXPECT_DOUBLE_EQ(c[1], 2.0);
  }
  // Column form of [[2, 0], [1, 1]]: L c = (4, 5) gives (2, 3); L^T c = (4, 5) gives (-0.5, 5).
  {
    const double val[] = {2, 1, 1};
    const int indx[] = {0, 1, 1}, pntr[] = {0, 2, 3}, descra[] = {0, 1, 0};
    const double b[] = {4, 5};
    double c[2] = {0, 0};
    dcscsm(0, 2, kOneInt, kOneInt, nullptr, kOne, descra, val, indx, pntr, b, 2, kNoBeta, c + 1, 2, nullptr, 0);
    EXPECT_DOUBLE_EQ(c[0], 2.0);
    EXPECT_DOUBLE_EQ(c[1], 3.0);
    dcscsm(1, 2, kOneInt, kOneInt, nullptr, kOne, descra, val, indx, pntr, b, 2, kNoBeta, c + 1, 2, nullptr, 0);
    EXPECT_DOUBLE_EQ(c[0], -0.5);
    EXPECT_DOUBLE_EQ(c[1], 5.0);
    // The same arrays numbered from 1 solve the same system; c is then addressed from its start.
    const int indx1[] = {1, 2, 2}, pntr1[] = {1, 3, 4};
    double d[2] = {0, 0};
    dcscsm(0, 2, kOneInt, kOneInt, nullptr, kOne, descra, val, indx1, pntr1, b, 2, kNoBeta, d, 2, nullptr, 0);
    EXPECT_DOUBLE_EQ(d[0], 2.0);
    EXPECT_DOUBLE_EQ(d[1], 3.0);
    // alpha 0 leaves c as it was, also when b is another array.
    double e[2] = {7, 8};
    const double zero = 0.0;
    dcscsm(0, 2, kOneInt, kOneInt, nullptr, zero, descra, val, indx, pntr, b, 2, kNoBeta, e + 1, 2, nullptr, 0);
    EXPECT_EQ(e[0], 7.0);
    EXPECT_EQ(e[1], 8.0);
  }
}

TEST(TriangularKernels, EveryKernelSolvesItsTriangle) {
  for (bool columns : {true, false})
    for (int transa : {0, 1, 2})
      for (bool lower : {true, false})
        for (bool unit : {false, true})
          for (bool in_place : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "columns " << columns << " transa " << transa << " lower " << lower
                                              << " unit " << unit << " in place " << in_place);
            CheckDriver(columns, transa, lower, unit, in_place);
          }
}

TEST(TriangularKernels, SeveralRightHandSidesWithLeadingDimensions) {
  // Row lower triangle, diagonal last: [[2, 0, 0], [1, 4, 0], [0, 1, 5]], two vectors, ld 4.
  const double val[] = {2, 1, 4, 1, 5};
  const int indx[] = {0, 0, 1, 1, 2}, pntr[] = {0, 1, 3, 5};
  const double b[8] = {2, 9, 17, -1, 4, 6, 7, -1};  // A (1, 2, 3) and A (2, 1, 1.2)
  double c[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  CompRow_LowerDiagSolve(3, 2, 1, nullptr, 1.0, val, indx, pntr, b, 4, c + 1, 4);
  EXPECT_DOUBLE_EQ(c[0], 1.0);
  EXPECT_DOUBLE_EQ(c[1], 2.0);
  EXPECT_DOUBLE_EQ(c[2], 3.0);
  EXPECT_DOUBLE_EQ(c[4], 2.0);
  EXPECT_DOUBLE_EQ(c[5], 1.0);
  EXPECT_DOUBLE_EQ(c[6], 1.2);
  // alpha scales the solution of the row kernels.
  double d[4] = {0, 0, 0, 0};
  CompRow_LowerDiagSolve(3, 1, 1, nullptr, 2.0, val, indx, pntr, b, 4, d + 1, 4);
  EXPECT_DOUBLE_EQ(d[0], 2.0);
}

TEST(TriangularKernels, ProductsAddAlphaTimesAx) {
  // [[1, 2], [0, 3]] by rows and by columns.
  const double rval[] = {1, 2, 3}, cval[] = {1, 2, 3};
  const int rindx[] = {0, 1, 1}, rpntr[] = {0, 2, 3};
  const int cindx[] = {0, 0, 1}, cpntr[] = {0, 1, 3};
  const double x[] = {1, 1};
  double y[3] = {10, 20, 0};
  const double two = 2.0, zero = 0.0;
  CompRowMatVec(2, 1, 2, two, rval, rindx, rpntr, x, 2, y + 1, 2);
  EXPECT_DOUBLE_EQ(y[0], 16.0);
  EXPECT_DOUBLE_EQ(y[1], 26.0);
  CompColMatVec(2, 1, 2, kOne, cval, cindx, cpntr, x, 2, y + 1, 2);
  EXPECT_DOUBLE_EQ(y[0], 19.0);
  EXPECT_DOUBLE_EQ(y[1], 29.0);
  CompColMatVec(2, 1, 2, zero, cval, cindx, cpntr, x, 2, y + 1, 2);
  EXPECT_DOUBLE_EQ(y[0], 19.0);
}

TEST(TriangularKernels, ArgumentErrorsStopOnStandardError) {
  const double val[] = {1};
  const int indx[] = {0}, pntr[] = {0, 1};
  const double b[] = {1};
  struct Case {
    int transa, descra0, descra1, descra2, unitd;
    double beta;
    const char* text;
  };
  const Case cases[] = {
      {0, 1, 7, 7, 3, 0.5, "Must have general matrix\n"},  // checked before anything else
      {0, 0, 1, 0, 1, 0.5, "beta != 0 not implemented\n"},
      {0, 0, 1, 2, 1, 0.0, "Bad descra[2]\n"},
      {1, 0, 3, 0, 1, 0.0, "Bad descra[1]\n"},
      {0, 0, 3, 0, 1, 0.0, "Bad descra[1]\n"},
      {3, 0, 1, 0, 1, 0.0, "Bad transa\n"},
      {0, 0, 1, 0, 2, 0.0, "unitd != 1 not implemented\n"},
  };
  for (const Case& k : cases) {
    auto r = olvu_test::RunInChild([&] {
      const int descra[3] = {k.descra0, k.descra1, k.descra2};
      double c[2] = {0, 0};
      dcsrsm(k.transa, 1, 1, k.unitd, nullptr, kOne, descra, val, indx, pntr, b, 1, k.beta, c + 1, 1, nullptr, 0);
    });
    EXPECT_EQ(r.status, 1) << k.text;
    EXPECT_EQ(r.err, k.text);
  }
}
