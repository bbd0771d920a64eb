// General and symmetric sparse matrices: every product form against Eigen, assembly, fixing,
// lumping, combinations, sweeps and the fatal lookups.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <Eigen/Sparse>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <type_traits>
#include <utility>
#include <vector>

#include "foundation/bitvec.h"
#include "foundation/intvec.h"
#include "foundation/matrix.h"
#include "foundation/reavec.h"
#include "foundation/threads.h"
#include "solvers/sparsematrix.h"
#include "tests/support/child.h"

namespace {

using olvu_test::RunInChild;
using Vec = Eigen::VectorXd;
using ESp = Eigen::SparseMatrix<double, Eigen::RowMajor>;

constexpr double kTol = 1e-14;

ReaVec ToRea(const Vec& v) {
  ReaVec r(static_cast<unsigned>(v.size()), 0.0);
  for (int i = 0; i < v.size(); ++i) r[i] = v[i];
  return r;
}
Vec ToVec(const ReaVec& r) {
  Vec v(r.length());
  for (unsigned i = 0; i < r.length(); ++i) v[i] = r[i];
  return v;
}
double RelErr(const Vec& got, const Vec& want) { return (got - want).norm() / want.norm(); }

// Symmetric random pattern: each row coupled to a few random others, some rows left alone.
SparseMatrixStruct* RandomPattern(int n, unsigned seed) {
  std::mt19937 g(seed);
  std::uniform_int_distribution<int> pick(0, n - 1);
  auto* s = new SparseMatrixStruct(n, n, 1, 1, 0);
  for (int i = 0; i < n; ++i)
    for (int t = 0; t < 1 + i % 5; ++t) {
      const int j = pick(g);
      s->addPosition(i, j);
      s->addPosition(j, i);
    }
  s->Build();
  return s;
}

void Randomize(SystemSparseMatrix& a, unsigned seed) {
  std::mt19937 g(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int k = 0; k < a.numnonzeros(); ++k) *a.val(k) = u(g);
}
void Randomize(SymmetricSparseMatrix& a, unsigned seed) {
  std::mt19937 g(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int k = 0; k < a.numnonzeros(); ++k) *a.sval(k) = u(g);
}

ESp ToEigen(const SystemSparseMatrix& a) {
  std::vector<Eigen::Triplet<double>> t;
  for (int i = 0; i < a.dim(0); ++i)
    for (int k = *a.row_ptr(i); k < *a.row_ptr(i + 1); ++k) t.emplace_back(i, *a.col_ind(k), *a.val(k));
  ESp e(a.dim(0), a.dim(1));
  e.setFromTriplets(t.begin(), t.end());
  return e;
}

// The full symmetric matrix expanded from the stored upper values.
ESp ToEigen(const SymmetricSparseMatrix& s) {
  std::vector<Eigen::Triplet<double>> t;
  for (int i = 0; i < s.dim(0); ++i)
    for (int k = *s.srow_ptr(i); k < *s.srow_ptr(i + 1); ++k) {
      const int j = *s.scol_ind(k);
      t.emplace_back(i, j, *s.sval(k));
      if (j != i) t.emplace_back(j, i, *s.sval(k));
    }
  ESp e(s.dim(0), s.dim(1));
  e.setFromTriplets(t.begin(), t.end());
  return e;
}

Vec RandomVec(int n, unsigned seed) {
  std::mt19937 g(seed);
  std::uniform_real_distribution<double> u(0.5, 1.5);
  Vec v(n);
  for (int i = 0; i < n; ++i) v[i] = u(g);
  return v;
}

// One product form: the project's call and Eigen's result from x, d and the initial y.
struct ProductCase {
  const char* name;
  std::function<void(const ReaVec& x, const ReaVec& d, ReaVec& y)> olvu;
  std::function<Vec(const Vec& x, const Vec& d, const Vec& y0)> eigen;
};

class SparseProducts : public ::testing::Test {
 protected:
  void SetUp() override {
    s_ = RandomPattern(n_, 7);
    a_ = new SystemSparseMatrix(s_);
    m_ = new SymmetricSparseMatrix(s_);
    Randomize(*a_, 11);
    Randomize(*m_, 13);
    ea_ = ToEigen(*a_);
    em_ = ToEigen(*m_);
    x_ = RandomVec(n_, 1);
    d_ = RandomVec(n_, 2);
    y0_ = RandomVec(n_, 3);
  }
  void TearDown() override {
    delete a_;
    delete m_;
    delete s_;
  }
  void Check(const std::vector<ProductCase>& cases) {
    for (const ProductCase& c : cases) {
      ReaVec x = ToRea(x_), d = ToRea(d_), y = ToRea(y0_);
      c.olvu(x, d, y);
      EXPECT_LE(RelErr(ToVec(y), c.eigen(x_, d_, y0_)), kTol) << c.name;
    }
  }
  // A with its diagonal removed.
  static ESp OffDiag(const ESp& e) {
    ESp o = e;
    for (int i = 0; i < o.outerSize(); ++i)
      for (ESp::InnerIterator it(o, i); it; ++it)
        if (it.col() == it.row()) it.valueRef() = 0.0;
    return o;
  }
  const int n_ = 97;
  SparseMatrixStruct* s_ = nullptr;
  SystemSparseMatrix* a_ = nullptr;
  SymmetricSparseMatrix* m_ = nullptr;
  ESp ea_, em_;
  Vec x_, d_, y0_;
};

TEST_F(SparseProducts, GeneralFormsMatchEigen) {
  SystemSparseMatrix& A = *a_;
  const ESp& E = ea_;
  const ESp O = OffDiag(E);
  const double s = 0.7;
  Check({
      {"mult", [&](auto& x, auto&, auto& y) { A.mult(x, y); }, [&](auto& x, auto&, auto&) -> Vec { return E * x; }},
      {"mult raw", [&](auto& x, auto&, auto& y) { A.mult(x.GivePointer(), y.GivePointer()); },
       [&](auto& x, auto&, auto&) -> Vec { return E * x; }},
      {"mult pool",
       [&](auto& x, auto&, auto& y) {
         ReaVecM px(x), py(y);
         A.mult(px, py);
         y.copy(py);
       },
       [&](auto& x, auto&, auto&) -> Vec { return E * x; }},
      {"mult_filled_rows", [&](auto& x, auto&, auto& y) { A.mult_filled_rows(x, y); },
       [&](auto& x, auto&, auto&) -> Vec { return E * x; }},
      {"add_mult", [&](auto& x, auto&, auto& y) { A.add_mult(x, y); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 + E * x; }},
      {"sub_mult", [&](auto& x, auto&, auto& y) { A.sub_mult(x, y); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 - E * x; }},
      {"add_mult s", [&](auto& x, auto&, auto& y) { A.add_mult(x, y, s); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 + s * (E * x); }},
      {"mult_prod", [&](auto& x, auto&, auto& y) { A.mult_prod(x, y, s); },
       [&](auto& x, auto&, auto&) -> Vec { return s * (E * x); }},
      {"add_mult_prod", [&](auto& x, auto&, auto& y) { A.add_mult_prod(x, y, s); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 + s * (E * x); }},
      {"sub_mult_prod", [&](auto& x, auto&, auto& y) { A.sub_mult_prod(x, y, s); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 - s * (E * x); }},
      {"mult_quot", [&](auto& x, auto&, auto& y) { A.mult_quot(x, y, s); },
       [&](auto& x, auto&, auto&) -> Vec { return (E * x) / s; }},
      {"add_mult_quot", [&](auto& x, auto&, auto& y) { A.add_mult_quot(x, y, s); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 + (E * x) / s; }},
      {"sub_mult_quot", [&](auto& x, auto&, auto& y) { A.sub_mult_quot(x, y, s); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 - (E * x) / s; }},
      {"mult_off_diagonal", [&](auto& x, auto&, auto& y) { A.mult_off_diagonal(x, y); },
       [&](auto& x, auto&, auto&) -> Vec { return O * x; }},
      {"add_mult_off_diagonal", [&](auto& x, auto&, auto& y) { A.add_mult_off_diagonal(x, y); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 + O * x; }},
      {"sub_mult_off_diagonal", [&](auto& x, auto&, auto& y) { A.sub_mult_off_diagonal(x, y); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 - O * x; }},
      {"row_mult", [&](auto& x, auto& d, auto& y) { A.row_mult(d, x, y); },
       [&](auto& x, auto& d, auto&) -> Vec { return d.cwiseProduct(E * x); }},
      {"add_row_mult", [&](auto& x, auto& d, auto& y) { A.add_row_mult(d, x, y); },
       [&](auto& x, auto& d, auto& y0) -> Vec { return y0 + d.cwiseProduct(E * x); }},
      {"sub_row_mult", [&](auto& x, auto& d, auto& y) { A.sub_row_mult(d, x, y); },
       [&](auto& x, auto& d, auto& y0) -> Vec { return y0 - d.cwiseProduct(E * x); }},
      {"trans_mult", [&](auto& x, auto&, auto& y) { A.trans_mult(x, y); },
       [&](auto& x, auto&, auto&) -> Vec { return E.transpose() * x; }},
      {"trans_mult pool",
       [&](auto& x, auto&, auto& y) {
         ReaVecM px(x), py(y);
         A.trans_mult(px, py);
         y.copy(py);
       },
       [&](auto& x, auto&, auto&) -> Vec { return E.transpose() * x; }},
      {"add_trans_mult", [&](auto& x, auto&, auto& y) { A.add_trans_mult(x, y); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 + E.transpose() * x; }},
      {"sub_trans_mult", [&](auto& x, auto&, auto& y) { A.sub_trans_mult(x, y); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 - E.transpose() * x; }},
      {"row_trans_mult", [&](auto& x, auto& d, auto& y) { A.row_trans_mult(d, x, y); },
       [&](auto& x, auto& d, auto&) -> Vec { return E.transpose() * d.cwiseProduct(x); }},
      {"add_row_trans_mult", [&](auto& x, auto& d, auto& y) { A.add_row_trans_mult(d, x, y); },
       [&](auto& x, auto& d, auto& y0) -> Vec { return y0 + E.transpose() * d.cwiseProduct(x); }},
      {"sub_row_trans_mult", [&](auto& x, auto& d, auto& y) { A.sub_row_trans_mult(d, x, y); },
       [&](auto& x, auto& d, auto& y0) -> Vec { return y0 - E.transpose() * d.cwiseProduct(x); }},
      {"mult_row",
       [&](auto& x, auto&, auto& y) {
         for (int i = 0; i < n_; ++i) y[i] = A.mult_row(i, x);
       },
       [&](auto& x, auto&, auto&) -> Vec { return E * x; }},
      {"mult_row_off_diagonal",
       [&](auto& x, auto&, auto& y) {
         for (int i = 0; i < n_; ++i) y[i] = A.mult_row_off_diagonal(i, x);
       },
       [&](auto& x, auto&, auto&) -> Vec { return O * x; }},
  });
  // Normalised off-diagonal rows, on positive values so that no row sum nearly cancels.
  SystemSparseMatrix P(A);
  for (int k = 0; k < P.numnonzeros(); ++k) *P.val(k) = std::abs(*P.val(k)) + 0.1;
  const ESp PO = OffDiag(ToEigen(P));
  ReaVec x = ToRea(x_), y(n_, 0.0);
  for (int i = 0; i < n_; ++i) y[i] = P.normmult_row_off_diagonal(i, x);
  const Vec want = (PO * x_).cwiseQuotient(PO * Vec::Ones(n_) + Vec::Constant(n_, 1e-14));
  EXPECT_LE(RelErr(ToVec(y), want), kTol);
}

TEST_F(SparseProducts, SymmetricFormsMatchEigenAndTheExpandedGeneralMatrix) {
  SymmetricSparseMatrix& M = *m_;
  const ESp& E = em_;
  const ESp O = OffDiag(E);
  const double s = 1.3;
  Check({
      {"mult", [&](auto& x, auto&, auto& y) { M.mult(x, y); }, [&](auto& x, auto&, auto&) -> Vec { return E * x; }},
      {"mult pool",
       [&](auto& x, auto&, auto& y) {
         ReaVecM px(x), py(y);
         M.mult(px, py);
         y.copy(py);
       },
       [&](auto& x, auto&, auto&) -> Vec { return E * x; }},
      {"trans_mult", [&](auto& x, auto&, auto& y) { M.trans_mult(x, y); },
       [&](auto& x, auto&, auto&) -> Vec { return E * x; }},
      {"add_mult", [&](auto& x, auto&, auto& y) { M.add_mult(x, y); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 + E * x; }},
      {"sub_mult", [&](auto& x, auto&, auto& y) { M.sub_mult(x, y); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 - E * x; }},
      {"add_mult s", [&](auto& x, auto&, auto& y) { M.add_mult(x, y, s); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 + s * (E * x); }},
      {"sub_mult s", [&](auto& x, auto&, auto& y) { M.sub_mult(x, y, s); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 - s * (E * x); }},
      {"mult_prod", [&](auto& x, auto&, auto& y) { M.mult_prod(x, y, s); },
       [&](auto& x, auto&, auto&) -> Vec { return s * (E * x); }},
      {"add_mult_prod", [&](auto& x, auto&, auto& y) { M.add_mult_prod(x, y, s); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 + s * (E * x); }},
      {"sub_mult_prod", [&](auto& x, auto&, auto& y) { M.sub_mult_prod(x, y, s); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 - s * (E * x); }},
      {"mult_quot", [&](auto& x, auto&, auto& y) { M.mult_quot(x, y, s); },
       [&](auto& x, auto&, auto&) -> Vec { return (E * x) / s; }},
      {"add_mult_quot", [&](auto& x, auto&, auto& y) { M.add_mult_quot(x, y, s); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 + (E * x) / s; }},
      {"sub_mult_quot", [&](auto& x, auto&, auto& y) { M.sub_mult_quot(x, y, s); },
       [&](auto& x, auto&, auto& y0) -> Vec { return y0 - (E * x) / s; }},
      {"row_mult", [&](auto& x, auto& d, auto& y) { M.row_mult(d, x, y); },
       [&](auto& x, auto& d, auto&) -> Vec { return d.cwiseProduct(E * x); }},
      {"add_row_mult", [&](auto& x, auto& d, auto& y) { M.add_row_mult(d, x, y); },
       [&](auto& x, auto& d, auto& y0) -> Vec { return y0 + d.cwiseProduct(E * x); }},
      {"sub_row_mult", [&](auto& x, auto& d, auto& y) { M.sub_row_mult(d, x, y); },
       [&](auto& x, auto& d, auto& y0) -> Vec { return y0 - d.cwiseProduct(E * x); }},
      {"mult_off_diagonal", [&](auto& x, auto&, auto& y) { M.mult_off_diagonal(x, y); },
       [&](auto& x, auto&, auto&) -> Vec { return O * x; }},
      {"base mult_off_diagonal through the full view",
       [&](auto& x, auto&, auto& y) { M.SparseMatrix::mult_off_diagonal(x.GivePointer(), y.GivePointer()); },
       [&](auto& x, auto&, auto&) -> Vec { return O * x; }},
      {"mult_row",
       [&](auto& x, auto&, auto& y) {
         for (int i = 0; i < n_; ++i) y[i] = M.mult_row(i, x);
       },
       [&](auto& x, auto&, auto&) -> Vec { return E * x; }},
      {"mult_row_off_diagonal",
       [&](auto& x, auto&, auto& y) {
         for (int i = 0; i < n_; ++i) y[i] = M.mult_row_off_diagonal(i, x);
       },
       [&](auto& x, auto&, auto&) -> Vec { return O * x; }},
      {"lump", [&](auto&, auto&, auto& y) { M.lump(y); },
       [&](auto&, auto&, auto&) -> Vec { return E * Vec::Ones(n_); }},
  });
  // The general matrix holding the expanded symmetric one multiplies the same.
  SystemSparseMatrix G(s_);
  G.copy_val(m_);
  ReaVec x = ToRea(x_), yg(n_, 0.0), ys(n_, 0.0);
  G.mult(x, yg);
  M.mult(x, ys);
  EXPECT_LE(RelErr(ToVec(ys), ToVec(yg)), kTol);
  // Every full position reads its mirrored upper value.
  for (int k = 0; k < s_->numnonzeros(); ++k) EXPECT_EQ(M.val(k), M.sval(*s_->spos_ind(k)));
}

TEST_F(SparseProducts, MaskedFormsTouchOnlyMarkedRows) {
  // Bits count from 1: bit 1 is the first row, bit n the last.
  BitVec m(n_);
  m.assign(1u, 1);
  m.assign(static_cast<unsigned>(n_), 1);
  ReaVec x = ToRea(x_), y = ToRea(y0_);
  a_->mult_some(m, x, y);
  const Vec ax = ea_ * x_;
  EXPECT_NEAR(y[0], ax[0], 1e-14 * std::abs(ax[0]) + 1e-300);
  EXPECT_NEAR(y[n_ - 1], ax[n_ - 1], 1e-14 * std::abs(ax[n_ - 1]) + 1e-300);
  for (int i = 1; i < n_ - 1; ++i) EXPECT_EQ(y[i], y0_[i]) << i;
}

// The 2 x 2 systems of known answer: diagonal (2, 3), off-diagonal 1.
struct TwoByTwo {
  SparseMatrixStruct s{2, 2, 1, 1, 0};
  TwoByTwo() {
    s.addPosition(0, 1);
    s.addPosition(1, 0);
    s.Build();
  }
};

TEST(SparseMatrixSmall, SymmetricAssemblyKeepsTheUpperHalf) {
  TwoByTwo t;
  SymmetricSparseMatrix m(&t.s);
  EXPECT_EQ(m.addToLhs(1, 0, 5.0), -1);
  EXPECT_EQ(m(0, 1), 0.0);
  m.addToLhs(0, 0, 2.0);
  m.addToLhs(1, 1, 3.0);
  m.addToLhs(0, 1, 1.0);
  EXPECT_EQ(m.addValue(1, 0, 9.0), -1);
  ReaVec x(2, 1.0), y(2, 0.0), d(2, 0.0);
  m.mult(x, y);
  EXPECT_EQ(y[0], 3.0);
  EXPECT_EQ(y[1], 4.0);
  m.lump(d);
  EXPECT_EQ(d[0], 3.0);
  EXPECT_EQ(d[1], 4.0);
  y = 1.0;
  m.add_mult(x, y, 2.0);
  EXPECT_EQ(y[0], 7.0);
  EXPECT_EQ(y[1], 9.0);
  // Cursor below the diagonal adds nothing; above it adds to the shared upper value.
  t.s.set_current_position(1, 0);
  m.addValue(100.0);
  t.s.set_current_position(0, 1);
  m.addValue(0.5);
  EXPECT_EQ(m(1, 0), 1.5);
}

TEST(SparseMatrixSmall, GeneralAssemblyLumpAndScaledProduct) {
  TwoByTwo t;
  SystemSparseMatrix a(&t.s);
  a.addToLhs(0, 0, 2.0);
  a.setToLhs(1, 1, 3.0);
  a.addValue(0, 1, 1.0);
  t.s.set_current_position(1, 0);
  a.addValue(1.0);
  ReaVec x(2, 1.0), y(2, 1.0), d(2, 0.0);
  a.add_mult(x, y, 2.0);
  EXPECT_EQ(y[0], 7.0);
  EXPECT_EQ(y[1], 9.0);
  a.lump(d);
  EXPECT_EQ(d[0], 3.0);
  EXPECT_EQ(d[1], 4.0);
  EXPECT_EQ(a.sum(), 7.0);
  EXPECT_EQ(a.figure(), std::sqrt(6.0));
  ReaVec q(2, 6.0);
  a.quot_lump(q);
  EXPECT_EQ(q[0], 2.0);
  EXPECT_EQ(q[1], 1.5);
}

// Triangle element matrices on a 3 x 3 grid of nodes, assembled three ways.
TEST(SparseMatrixSmall, ElementAssemblyMatchesEntryAndCursorAssembly) {
  const int tris[][3] = {{0, 1, 4}, {0, 4, 3}, {1, 2, 5}, {1, 5, 4}, {3, 4, 7}, {3, 7, 6}, {4, 5, 8}, {4, 8, 7}};
  SparseMatrixStruct s(9, 9, 1, 1, 0);
  for (const auto& tr : tris)
    for (int a : tr)
      for (int b : tr) s.addPosition(a, b);
  s.Build();
  SystemSparseMatrix g1(&s), g2(&s), g3(&s);
  SymmetricSparseMatrix m1(&s), m2(&s);
  int e = 0;
  for (const auto& tr : tris) {
    Matrix k(3, 3);
    IntVec nodes(3, 0);
    for (int a = 1; a <= 3; ++a) {
      nodes(a) = tr[a - 1];
      for (int b = 1; b <= 3; ++b) k(a, b) = (a == b ? 2.0 : -1.0) + 0.1 * e + 0.01 * (a + b);
    }
    ++e;
    g1.addToLhs(nodes, k);
    m1.addToLhs(nodes, k);
    for (int a = 1; a <= 3; ++a)
      for (int b = 1; b <= 3; ++b) {
        g2.addToLhs(nodes(a), nodes(b), k(a, b));
        s.set_current_position(nodes(a), nodes(b));
        g3.addValue(k(a, b));
        m2.addValue(k(a, b));
      }
  }
  for (int p = 0; p < s.numnonzeros(); ++p) {
    EXPECT_DOUBLE_EQ(*g1.val(p), *g2.val(p));
    EXPECT_DOUBLE_EQ(*g1.val(p), *g3.val(p));
  }
  for (int p = 0; p < s.snnz(); ++p) EXPECT_DOUBLE_EQ(*m1.sval(p), *m2.sval(p));
  // Node 4 lies in six triangles, at element positions 3, 2, 3, 2, 1, 1.
  EXPECT_NEAR(g1(4, 4), 6 * 2.0 + 0.1 * (0 + 1 + 3 + 4 + 6 + 7) + 0.02 * (3 + 2 + 3 + 2 + 1 + 1), 1e-12);
}

TEST(SparseMatrixSmall, FixingRows) {
  TwoByTwo t;
  SystemSparseMatrix a(&t.s);
  a(0, 0) = 2;
  a(0, 1) = 1;
  a(1, 0) = 4;
  a(1, 1) = 3;
  ReaVec rhs(2, 10.0);
  a.Fix_AllRowCol(0, 2.0, rhs);
  EXPECT_EQ(rhs[0], 2.0);
  EXPECT_EQ(rhs[1], 10.0 - 2.0 * 4.0);
  EXPECT_EQ(a(0, 0), 1.0);
  EXPECT_EQ(a(0, 1), 0.0);
  EXPECT_EQ(a(1, 0), 4.0);  // the coupling stays until Disconect
  a.Fix_AllRow(1, 5.0, rhs);
  EXPECT_EQ(a(1, 1), 1.0);
  EXPECT_EQ(a(1, 0), 0.0);
  EXPECT_EQ(rhs[1], 5.0);
  a(0, 0) = 7;
  a.Fix_Row(0);
  EXPECT_EQ(*a.col_ind(*a.row_ptr(0)), 0);
  EXPECT_EQ(a(0, 0), 1.0);
}

TEST(SparseMatrixSmall, BitVectorsMarkFirstAndLastRowByBitsOneAndN) {
  const int n = 5;
  SparseMatrixStruct s(n, n, 1, 1, 0);
  for (int i = 0; i + 1 < n; ++i) {
    s.addPosition(i, i + 1);
    s.addPosition(i + 1, i);
  }
  s.Build();
  SystemSparseMatrix a(&s), b(&s);
  for (int i = 0; i < n; ++i) {
    a(i, i) = 4;
    b(i, i) = 40;
    if (i > 0) a(i, i - 1) = b(i, i - 1) = -1;
    if (i + 1 < n) a(i, i + 1) = b(i, i + 1) = -1;
  }
  BitVec ends(n);
  ends.assign(1u, 1);
  ends.assign(static_cast<unsigned>(n), 1);
  // Couplings between a marked and an unmarked row are cut: (0,1), (1,0), (3,4), (4,3).
  SystemSparseMatrix c(&a);
  c.Disconect(ends, ends);
  EXPECT_EQ(c(0, 1), 0.0);
  EXPECT_EQ(c(1, 0), 0.0);
  EXPECT_EQ(c(3, 4), 0.0);
  EXPECT_EQ(c(4, 3), 0.0);
  EXPECT_EQ(c(1, 2), -1.0);
  // Rows copied from b only where marked.
  c.Copy_Row_Val(ends, b);
  EXPECT_EQ(c(0, 0), 40.0);
  EXPECT_EQ(c(4, 4), 40.0);
  EXPECT_EQ(c(2, 2), 4.0);
  // Masked sweeps leave the marked rows alone.
  ReaVec x(n, 9.0), rhs(n, 1.0);
  a.Gauss_Seidel_Iteration(x, rhs, ends, 0.0);
  EXPECT_EQ(x[0], 9.0);
  EXPECT_EQ(x[n - 1], 9.0);
  EXPECT_EQ(x[1], (1.0 + 9.0 + 9.0) / 4.0);
  x = 9.0;
  a.Jacobi_Iteration(x, rhs, ends, 0.0);
  EXPECT_EQ(x[0], 9.0);
  EXPECT_EQ(x[2], (1.0 + 9.0 + 9.0) / 4.0);
  // Rows that settle get their bit set; the first and last rows were never swept.
  BitVec fixed(ends);
  x = 0.0;
  a.Gauss_Seidel_Iteration(x, rhs, fixed, 200, 1e-12);
  EXPECT_TRUE(fixed.all_marked());
  EXPECT_EQ(x[0], 0.0);
}

TEST(SparseMatrixSmall, SweepsSolveADominantSystem) {
  std::unique_ptr<SparseMatrixStruct> owner(RandomPattern(40, 5));  // outlives the matrices
  SparseMatrixStruct* s = owner.get();
  SystemSparseMatrix a(s);
  SymmetricSparseMatrix m(s);
  Randomize(a, 3);
  Randomize(m, 4);
  for (int i = 0; i < 40; ++i) {
    a.diag(i) = 20.0;
    m.diag(i) = 20.0;
  }
  const Vec b = RandomVec(40, 9);
  const Vec xa = Eigen::MatrixXd(ToEigen(a)).lu().solve(b);
  const Vec xm = Eigen::MatrixXd(ToEigen(m)).lu().solve(b);
  ReaVec x(40, 0.0), y(40, 0.0), rb = ToRea(b);
  for (int it = 0; it < 60; ++it) {
    a.Gauss_Seidel_Iteration(x.GivePointer(), rb.GivePointer());
    a.IGauss_Seidel_Iteration(x.GivePointer(), rb.GivePointer());
    m.Gauss_Seidel_Iteration(y.GivePointer(), rb.GivePointer());
    m.IGauss_Seidel_Iteration(y.GivePointer(), rb.GivePointer());
  }
  EXPECT_LE(RelErr(ToVec(x), xa), 1e-12);
  EXPECT_LE(RelErr(ToVec(y), xm), 1e-12);
  ReaVec z(40, 0.0);
  for (int it = 0; it < 200; ++it) a.Jacobi_Iteration(z, rb);
  EXPECT_LE(RelErr(ToVec(z), xa), 1e-12);
}

TEST(SparseMatrixSmall, CombinationsOverTheSharedPattern) {
  std::unique_ptr<SparseMatrixStruct> owner(RandomPattern(30, 21));  // outlives the matrices
  SparseMatrixStruct* s = owner.get();
  SystemSparseMatrix a(s), b(s), c(s);
  SymmetricSparseMatrix m(s);
  Randomize(b, 1);
  Randomize(m, 2);
  const ESp eb = ToEigen(b), em = ToEigen(m);
  const Vec d = RandomVec(30, 6);
  const Eigen::MatrixXd D = d.asDiagonal();
  auto dense = [](const SystemSparseMatrix& x) { return Eigen::MatrixXd(ToEigen(x)); };
  // Compare on the pattern only: dense products fill positions the pattern has not.
  Eigen::MatrixXd mask = dense(b).cwiseAbs();
  for (int i = 0; i < mask.size(); ++i) mask.data()[i] = mask.data()[i] > 0 ? 1.0 : 0.0;
  auto near = [&](const Eigen::MatrixXd& got, const Eigen::MatrixXd& want, const char* what) {
    EXPECT_LE((got - want.cwiseProduct(mask)).norm() / want.norm(), kTol) << what;
  };
  a.copy_val(&m);
  near(dense(a), Eigen::MatrixXd(em), "copy_val symmetric");
  a.add(&b);
  near(dense(a), Eigen::MatrixXd(em) + Eigen::MatrixXd(eb), "add");
  a.product(&m, 2.0);
  a.product_sub(&b, 3.0);
  near(dense(a), 2.0 * Eigen::MatrixXd(em) - 3.0 * Eigen::MatrixXd(eb), "product, product_sub");
  a.row_mult(ToRea(d), &b);
  near(dense(a), D * Eigen::MatrixXd(eb), "row_mult");
  a.col_mult(ToRea(d), &b);
  near(dense(a), Eigen::MatrixXd(eb) * D, "col_mult");
  a = 0.0;
  a.row_mult_add(ToRea(d), &m);
  a.col_mult_add(ToRea(d), &m);
  near(dense(a), D * Eigen::MatrixXd(em) + Eigen::MatrixXd(em) * D, "row_mult_add, col_mult_add symmetric");
  a = 0.0;
  a.rc_mult_add(ToRea(d), &b);
  near(dense(a), 0.5 * (D * Eigen::MatrixXd(eb) + Eigen::MatrixXd(eb) * D), "rc_mult_add");
  a = 0.0;
  a.rc_mult_add(ToRea(d), &m);
  const Vec sd = d.cwiseSqrt();
  near(dense(a), sd.asDiagonal() * Eigen::MatrixXd(em) * sd.asDiagonal(), "rc_mult_add symmetric");
  a.quotient(&b, 4.0);
  a.quotient_add(&b, 4.0);
  near(dense(a), 0.5 * Eigen::MatrixXd(eb), "quotient, quotient_add");
  c.copy(&b);
  c.add_lump(&b);
  const Vec rs = Eigen::MatrixXd(eb).rowwise().sum();
  near(dense(c), Eigen::MatrixXd(eb) + Eigen::MatrixXd(rs.asDiagonal()), "add_lump");
  c.mult(2.0, ToRea(d));
  for (int i = 0; i < 30; ++i) {
    EXPECT_NEAR(c(i, i), eb.coeff(i, i) + rs[i] + 2.0 * d[i], 1e-13);
    for (int k = *c.row_ptr(i); k < *c.row_ptr(i + 1); ++k)
      if (*c.col_ind(k) != i) {
        EXPECT_EQ(*c.val(k), 0.0);
      }
  }
}

TEST(SparseMatrixSmall, DiagonalOperations) {
  TwoByTwo t;
  SystemSparseMatrix a(&t.s);
  a(0, 0) = 4;
  a(1, 1) = 9;
  a(0, 1) = -2;
  a(1, 0) = 3;
  EXPECT_EQ(a.figure(), 6.0);
  ReaVec d(2, 0.0), e(2, 0.0);
  e[0] = 1;
  e[1] = 2;
  a.read_diagonal(e);
  EXPECT_EQ(e[0], 4.0);
  EXPECT_EQ(a(1, 1), 2.0);
  a.read_diagonal(e);
  EXPECT_EQ(e[1], 2.0);
  EXPECT_EQ(a(1, 1), 9.0);
  ReaVec x(2, 1.0), y(2, 0.0);
  a.diag_prod(x, y);
  EXPECT_EQ(y[1], 9.0);
  a.copy_diagonal(d, 1);
  EXPECT_EQ(d[0], 4.0);
  EXPECT_EQ(a(0, 0), 0.0);
  EXPECT_EQ(a.figure(), 1.0);
  a.diag_quot(x, y);
  EXPECT_EQ(y[0], 0.0);
  EXPECT_EQ(y[1], 0.0);
  // Symmetric scaling by 1/sqrt(a_ii).
  a(0, 0) = 4;
  a(1, 1) = 9;
  ReaVec b(2, 6.0), s(2, 0.0);
  a.diag_pre(b, s, 1e-20);
  EXPECT_DOUBLE_EQ(s[0], 0.5);
  EXPECT_DOUBLE_EQ(b[1], 2.0);
  EXPECT_DOUBLE_EQ(a(0, 1), -2.0 / 6.0);
  EXPECT_DOUBLE_EQ(a(1, 1), 1.0);
  // DMP: only positive general couplings against negative symmetric ones count.
  SymmetricSparseMatrix m(&t.s);
  m(0, 1) = -0.5;
  ReaVec v(2, 7.0);
  a.DMP(v, &m);
  EXPECT_EQ(v[0], 0.0);  // a(0,1) is negative
  EXPECT_DOUBLE_EQ(v[1], (3.0 / 6.0) / 0.5);
  auto neg = RunInChild([] {
    TwoByTwo p;
    SystemSparseMatrix q(&p.s);
    q(1, 1) = -1;
    ReaVec b2(2, 0.0), d2(2, 0.0);
    q.diag_pre(b2, d2, 1e-12);
  });
  EXPECT_EQ(neg.status, 1);
  EXPECT_NE(neg.err.find("Negative diagonal element found in SystemSparseMatrix::diag_pre"), std::string::npos);
}

TEST(SparseMatrixSmall, RowSmoothersAndLimiters) {
  SparseMatrixStruct s(3, 3, 1, 1, 0);
  s.addPosition(0, 1);
  s.addPosition(1, 0);
  s.addPosition(0, 2);
  s.addPosition(2, 0);
  s.Build();
  SystemSparseMatrix a(&s);
  a(0, 0) = 1;
  a(0, 1) = -0.5;
  a(0, 2) = -0.5;  // row sums to 0
  ReaVec v(3, 0.0);
  v[0] = 1;
  v[1] = -2;
  v[2] = 3;
  EXPECT_DOUBLE_EQ(a.row_stsmooth(0, v), (1 + 1 - 1.5) / 1e-14);
  EXPECT_DOUBLE_EQ(a.row_minmod(0, v), 1 + 2);  // differences -3 and 2
  EXPECT_DOUBLE_EQ(a.row_nxsmooth(0, v), 1.0);
  v[0] = 5;
  EXPECT_DOUBLE_EQ(a.row_nxsmooth(0, v), 3.0);
  EXPECT_DOUBLE_EQ(a.row_odsmooth(0, v), (-0.5 * -2 + -0.5 * 3) / (1e-14 - 1.0));
}

TEST(SparseMatrixSmall, EmptyRowsAndSharedPatternEdits) {
  // Row 1 has no position at all.
  SparseMatrixStruct e(3, 3, 0, 1, 0);
  e.addPosition(0, 0);
  e.addPosition(2, 2);
  e.Build();
  SystemSparseMatrix a(&e);
  a(0, 0) = 2;
  a(2, 2) = 3;
  ReaVec x(3, 5.0), y(3, 0.0);
  a.mult_filled_rows(x, y);
  EXPECT_EQ(y[0], 10.0);
  EXPECT_EQ(y[1], 5.0);
  EXPECT_EQ(y[2], 15.0);
  EXPECT_EQ(a.mult_row(1, x), 0.0);

  // Compaction of the only matrix on its pattern keeps pattern and products consistent.
  SparseMatrixStruct* s = RandomPattern(50, 8);
  {
    SystemSparseMatrix* g = new SystemSparseMatrix(s);
    Randomize(*g, 5);
    for (int k = 0; k < g->numnonzeros(); k += 3) *g->val(k) = 1e-20;
    const ESp before = ToEigen(*g).pruned(1.0, 1e-10);
    g->Compact(1e-10);
    EXPECT_EQ(s->numnonzeros(), g->numnonzeros());
    EXPECT_TRUE(g->verify());
    const Vec xv = RandomVec(50, 4);
    ReaVec xr = ToRea(xv), yr(50, 0.0);
    g->mult(xr, yr);
    EXPECT_LE(RelErr(ToVec(yr), before * xv), kTol);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(*g->col_ind(*g->row_ptr(i)), i);  // diagonal kept first
    delete g;
  }
  delete s;
  auto shared = RunInChild([] {
    SparseMatrixStruct* p = RandomPattern(10, 1);
    SystemSparseMatrix g(p);
    SymmetricSparseMatrix m(p);
    g.Compact(0.5);
  });
  EXPECT_EQ(shared.status, 1);
  EXPECT_NE(shared.err.find("SparseMatrix::Compact refused: its pattern is shared by 2 matrices"),
            std::string::npos);
  {  // Matrices counted on their pattern may still be destroyed after it without touching it.
    auto* p = new SparseMatrixStruct(3, 3, 1, 1, 0);
    auto* g = new SystemSparseMatrix(p);
    SymmetricSparseMatrix m(p);
    SystemSparseMatrix copy(*g);
    EXPECT_EQ(p->users(), 3);
    delete g;
    EXPECT_EQ(p->users(), 2);
    delete p;
  }
  auto shared_compress = RunInChild([] {
    SparseMatrixStruct* p = RandomPattern(10, 1);
    SystemSparseMatrix g(p), h(p);
    g.Compress();
  });
  EXPECT_EQ(shared_compress.status, 1);
  EXPECT_NE(shared_compress.err.find("SparseMatrix::Compress refused: its pattern is shared by 2 matrices"),
            std::string::npos);
}

// Without a diagonal-first layout the rebuilt full rows keep their columns ascending, so that the
// binary-search lookups of a sorted pattern still find every position.
TEST(SparseMatrixSmall, SymmetricCompactionKeepsSortedRowsWithoutDiagonalFirst) {
  SparseMatrixStruct s(3, 3, 0, 1, 0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) s.addPosition(i, j);
  s.Build();
  {
    SymmetricSparseMatrix m(&s);
    m = 1.0;
    m(0, 2) = 0.0;
    m.Compact(0.5);
  }
  const std::vector<int> row2(s.col_vec(2), s.col_vec(2) + s.row_size(2));
  EXPECT_EQ(row2, (std::vector<int>{1, 2}));
  EXPECT_EQ(s.give_uns_position(2, 1), *s.row_ptr(2));
  EXPECT_EQ(s.give_uns_position(2, 2), *s.row_ptr(2) + 1);
}

TEST(SparseMatrixSmall, SymmetricCompactionRebuildsTheFullRows) {
  SparseMatrixStruct* s = RandomPattern(40, 12);
  SymmetricSparseMatrix* m = new SymmetricSparseMatrix(s);
  Randomize(*m, 6);
  for (int k = 1; k < m->numnonzeros(); k += 4) *m->sval(k) = 0.0;
  const ESp before = ToEigen(*m);
  m->Compact(1e-300);
  EXPECT_EQ(s->snnz(), m->numnonzeros());
  const Vec xv = RandomVec(40, 2);
  ReaVec xr = ToRea(xv), yr(40, 0.0), zr(40, 0.0);
  m->mult(xr, yr);
  EXPECT_LE(RelErr(ToVec(yr), before * xv), kTol);
  for (int i = 0; i < 40; ++i) zr[i] = m->mult_row(i, xr);  // full-row view after the rebuild
  EXPECT_LE(RelErr(ToVec(zr), before * xv), kTol);
  delete m;
  delete s;
}

TEST(SparseMatrixSmall, FatalLookupsAndFullRows) {
  auto full = RunInChild([] {
    SparseMatrixStruct s(8, 8, 1, 1, 0);
    for (int j : {0, 1, 2, 4}) {
      s.addPosition(3, j);
      s.addPosition(j, 3);
    }
    s.Build();
    SystemSparseMatrix a(&s);
    a.addToLhs(3, 7, 1.0);
  });
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.err.find("Wrong Row 3 definition: Row lenght 5"), std::string::npos);
  auto gen = RunInChild([] {
    SparseMatrixStruct s(3, 3, 1, 1, 0);
    s.Build();
    SystemSparseMatrix a(&s);
    a(0, 2);
  });
  EXPECT_EQ(gen.status, 1);
  EXPECT_NE(gen.err.find("SystemSparseMatrix operator(0,2) error. Element not found."), std::string::npos);
  auto pos = RunInChild([] {
    SparseMatrixStruct s(3, 3, 1, 1, 0);
    s.Build();
    SystemSparseMatrix a(&s);
    a.position(1, 2);
  });
  EXPECT_EQ(pos.status, 1);
  EXPECT_NE(pos.err.find("SystemSparseMatrix position(1,2) error. Element not found."), std::string::npos);
  auto nocursor = RunInChild([] {  // the cursor was never set: no write before the values
    SparseMatrixStruct s(3, 3, 1, 1, 0);
    s.Build();
    SystemSparseMatrix a(&s);
    a.addValue(1.0);
  });
  EXPECT_EQ(nocursor.status, 1);
  EXPECT_NE(nocursor.err.find("SystemSparseMatrix addValue() error. No current position set."), std::string::npos);
  auto add = RunInChild([] {
    SparseMatrixStruct s(3, 3, 1, 1, 0);
    s.Build();
    SystemSparseMatrix a(&s);
    a.addValue(2, 1, 1.0);
  });
  EXPECT_NE(add.err.find("SystemSparseMatrix addValue(2,1) error. Element not found."), std::string::npos);
  auto sym = RunInChild([] {
    SparseMatrixStruct s(3, 3, 1, 1, 0);
    s.Build();
    SymmetricSparseMatrix m(&s);
    m(2, 0);
  });
  EXPECT_EQ(sym.status, 1);
  EXPECT_NE(sym.err.find("SymmetricSparseMatrix operator(1,3) error. Element not found."), std::string::npos);
  auto symadd = RunInChild([] {
    SparseMatrixStruct s(3, 3, 1, 1, 0);
    s.Build();
    SymmetricSparseMatrix m(&s);
    m.addValue(0, 2, 1.0);
  });
  EXPECT_NE(symadd.err.find("SymmetricSparseMatrix addValue(0,2) error. Element not found."), std::string::npos);
  auto symrow = RunInChild([] {
    SparseMatrixStruct s(3, 3, 1, 1, 0);
    s.Build();
    SymmetricSparseMatrix m(&s);
    m.addToLhs(0, 1, 1.0);
  });
  EXPECT_NE(symrow.err.find("Wrong Row 0 definition: Row lenght 1"), std::string::npos);
}

// The forked products gather what one thread scatters (transposed and symmetric products): the
// results are bitwise those of one thread.
TEST(SparseThreads, ProductsAreBitwiseTheSameForAnyThreadCount) {
  const int saved = Threads();
  SetThreadedMin(16);
  const int n = 300;
  std::unique_ptr<SparseMatrixStruct> p(RandomPattern(n, 7));
  SystemSparseMatrix a(p.get());
  SymmetricSparseMatrix s(p.get());
  Randomize(a, 1);
  Randomize(s, 2);
  std::vector<double> x(n), d(n);
  for (int i = 0; i < n; ++i) x[i] = std::sin(1.0 + i), d[i] = 1.5 + std::cos(3.0 * i);
  const std::function<void(double*)> products[] = {
      [&](double* y) { a.trans_mult(x.data(), y); },        [&](double* y) { a.sub_row_trans_mult(d.data(), x.data(), y); },
      [&](double* y) { a.mult(x.data(), y); },              [&](double* y) { s.add_mult(x.data(), y, 0.3); },
      [&](double* y) { s.row_mult(d.data(), x.data(), y); }, [&](double* y) { s.mult_off_diagonal(x.data(), y); }};
  for (const auto& product : products) {
    std::vector<double> one(n, 0.5), many(n, 0.5);
    SetThreads(1);
    product(one.data());
    SetThreads(3);
    product(many.data());
    EXPECT_EQ(std::memcmp(one.data(), many.data(), n * sizeof(double)), 0) << &product - products;
  }
  SetThreadedMin(0);
  SetThreads(saved);
}

}  // namespace

// A const matrix hands out values, never a writable reference.
static_assert(std::is_same_v<decltype(std::declval<const SparseMatrix&>()(0, 0)), double>);
static_assert(std::is_same_v<decltype(std::declval<const SparseMatrix&>().diag(0)), double>);
static_assert(std::is_same_v<decltype(std::declval<SparseMatrix&>()(0, 0)), double&>);

TEST(SparseMatrixSmall, ConstMatrixReadsValuesAndDiagonal) {
  TwoByTwo t;
  SystemSparseMatrix a(&t.s);
  a(0, 1) = 4.0;
  a.diag(1) += 3.0;
  const SystemSparseMatrix& c = a;
  EXPECT_EQ(c(0, 1), 4.0);
  EXPECT_EQ(c.diag(1), 3.0);
  EXPECT_EQ(c.diag(0), 0.0);
}

// Checked builds stop a product with a short vector and a combination over another pattern.
TEST(SparseMatrixSmall, CheckedBuildsStopMismatchedOperands) {
#ifdef OLVU_CHECKED
  auto shortVector = olvu_test::RunInChild([] {
    TwoByTwo t;
    SystemSparseMatrix a(&t.s);
    ReaVec x(1, 1.0), y(2, 0.0);
    a.mult(x, y);
  });
  EXPECT_EQ(shortVector.status, 1);
  EXPECT_NE(shortVector.err.find("vector of 1 entries for 2 rows"), std::string::npos) << shortVector.err;
  auto otherPattern = olvu_test::RunInChild([] {
    TwoByTwo t;
    std::unique_ptr<SparseMatrixStruct> owner(RandomPattern(30, 21));
    SystemSparseMatrix a(&t.s), b(owner.get());
    a.add(b);
  });
  EXPECT_EQ(otherPattern.status, 1);
  EXPECT_NE(otherPattern.err.find("sparse operand of 30 rows"), std::string::npos) << otherPattern.err;
#else
  GTEST_SKIP() << "operand shapes are checked only in checked builds";
#endif
}
