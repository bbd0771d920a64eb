// Level-scheduled triangular solves: the levels order every row after the rows it depends on,
// and the incomplete factorisations' forked solves (rows shared out among the threads, each
// waiting for the rows of others it reads) give the same bits as the sequential ones for any
// thread count, after a first factorisation and after a refactor, and by level joins when the
// thread count changed since.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/threads.h"
#include "solvers/levels.h"
#include "solvers/preconditioner.h"
#include "tests/solvers/linear_systems.h"

using olvu_test::LinearSystem;
using olvu_test::Triplets;

namespace {

// The 3D Laplacian with entries of many values, symmetric or with its upper entries scaled
// (round values would factor exactly whatever the order of the operations).
Triplets Uneven3D(int nx, double upper) {
  Triplets t = olvu_test::Laplacian3D(nx);
  for (auto& e : t)
    e = {e.row(), e.col(), e.value() * (1 + 0.013 * ((e.row() + e.col()) % 11)) * (e.row() < e.col() ? upper : 1.0)};
  return t;
}

// 2D and 3D matrices, symmetric (both factorisations) and not (ILU only).
std::vector<LinearSystem> Systems() {
  std::vector<LinearSystem> s;
  s.push_back(olvu_test::MakeSystem("mass 2D", 400, olvu_test::Mass2D(19), true));
  s.push_back(olvu_test::MakeSystem("convection 2D", 400, olvu_test::ConvDiff2D(20, 2.0), false));
  s.push_back(olvu_test::MakeSystem("laplacian 3D", 512, Uneven3D(8, 1.0), true));
  s.push_back(olvu_test::MakeSystem("skewed 3D", 512, Uneven3D(8, 0.7), false));
  return s;
}

std::vector<double> Values(const ICPreconditioner& p, int) { return {p.val(), p.val() + p.nnz()}; }

std::vector<double> Values(const ILUPreconditioner& p, int n) {
  std::vector<double> v(p.l_val(), p.l_val() + p.l_row_ptr()[n]);
  v.insert(v.end(), p.u_val(), p.u_val() + p.u_row_ptr()[n]);
  return v;
}

// The factor and one application, after the first factorisation and again after a refactor;
// then the application on `other` threads (the joins by level when they differ) and from one
// thread of an outer team, whose inner team may be a single thread.
template <class P>
std::vector<double> FactorAndApply(const LinearSystem& s, int other) {
  const Eigen::VectorXd rhs = olvu_test::TestRhs(s.n);
  const std::vector<double> b(rhs.data(), rhs.data() + s.n);
  std::vector<double> x(s.n);
  P p(*s.A);
  std::vector<double> out = Values(p, s.n);
  auto apply = [&] {
    p.solve(b.data(), x.data());
    out.insert(out.end(), x.begin(), x.end());
  };
  apply();
  p.New_Matrix(*s.A);
  const std::vector<double> again = Values(p, s.n);
  out.insert(out.end(), again.begin(), again.end());
  apply();
  const int saved = Threads();
  SetThreads(other);
  apply();
  SetThreads(saved);
  auto nested = [&](int thread, int) {
    if (thread == 0) apply();
  };
  ForkTeam(2, nested);
  return out;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), sizeof(double) * a.size()) == 0;
}

// Every row once, after each row it depends on.
void ExpectOrdered(const SolveLevels& lv, int n, const int* pntr, const int* indx, bool forward, const char* what) {
  std::vector<int> level(n, -1);
  ASSERT_EQ(static_cast<int>(lv.rows.size()), n) << what;
  for (int l = 0; l < lv.count(); ++l)
    for (int k = lv.ptr[l]; k < lv.ptr[l + 1]; ++k) {
      ASSERT_EQ(level[lv.rows[k]], -1) << what << ": row " << lv.rows[k] << " twice";
      level[lv.rows[k]] = l;
    }
  for (int i = 0; i < n; ++i)
    for (int k = pntr[i]; k < pntr[i + 1]; ++k) {
      const int j = indx[k];
      if (forward ? j < i : j > i) {
        EXPECT_LT(level[j], level[i]) << what << ": row " << i << " on row " << j;
      }
    }
}

}  // namespace

TEST(Levels, EveryRowComesAfterTheRowsItDependsOn) {
  for (const LinearSystem& s : Systems()) {
    const ILUPreconditioner p(*s.A);
    SolveLevels lower, upper;
    FindLevels(lower, s.n, p.l_row_ptr(), p.l_col_ind(), true);
    FindLevels(upper, s.n, p.u_row_ptr(), p.u_col_ind(), false);
    ExpectOrdered(lower, s.n, p.l_row_ptr(), p.l_col_ind(), true, s.name.c_str());
    ExpectOrdered(upper, s.n, p.u_row_ptr(), p.u_col_ind(), false, s.name.c_str());
  }
  // On the 5-point grid a row's level is its distance from the first corner: 2 nx - 1 levels.
  const LinearSystem s = olvu_test::MakeSystem("lap2d", 64, olvu_test::Laplacian2D(8), true);
  const ICPreconditioner p(*s.A);
  SolveLevels upper;
  FindLevels(upper, s.n, p.row_ptr(), p.col_ind(), false);
  EXPECT_EQ(upper.count(), 15);
  // Forked only on several threads and from ThreadedMin() rows (the next test relies on it).
  const int saved = Threads();
  SetThreads(2);
  EXPECT_FALSE(upper.pay());
  SetThreadedMin(16);
  EXPECT_TRUE(upper.pay());
  SetThreads(1);
  EXPECT_FALSE(upper.pay());
  SetThreadedMin(0);
  SetThreads(saved);
}

TEST(Levels, ForkedSolvesGiveTheSequentialBits) {
  const int saved = Threads();
  SetThreadedMin(16);
  for (const LinearSystem& s : Systems()) {
    SetThreads(1);
    const std::vector<double> ilu = FactorAndApply<ILUPreconditioner>(s, 1);
    const std::vector<double> ic = s.symmetric ? FactorAndApply<ICPreconditioner>(s, 1) : std::vector<double>();
    for (int threads : {2, 4}) {
      SetThreads(threads);
      EXPECT_TRUE(SameBits(FactorAndApply<ILUPreconditioner>(s, 6 - threads), ilu))
          << s.name << ", ILU, " << threads << " threads";
      if (s.symmetric) {
        EXPECT_TRUE(SameBits(FactorAndApply<ICPreconditioner>(s, 6 - threads), ic))
            << s.name << ", IC, " << threads << " threads";
      }
    }
  }
  SetThreadedMin(0);
  SetThreads(saved);
}
