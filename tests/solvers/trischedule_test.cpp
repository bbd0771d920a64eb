// Forked triangular solves: a schedule runs every row after the rows it depends on and only
// waits for rows solved before the waiting one, a mesh numbered row by row is cut in strips
// across its rows, and the incomplete factorisations' forked solves give the same bits as the
// sequential ones for any thread count, after a first factorisation and after a refactor, and
// when the thread count changed since.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/threads.h"
#include "solvers/trischedule.h"
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

// Every row run once, each thread's rows in solve order; each step's dependencies solved before
// it by its own thread or covered by a wait of its thread at or before it; every wait for a
// step of another thread whose rows are solved before the waiting one (so the first row not
// done can always run).
void ExpectSound(const RowSchedule& s, int n, const int* pntr, const int* indx, bool forward, const char* what) {
  ASSERT_GT(s.threads, 1) << what;
  std::vector<int> owner(n, -1), step(n, -1), thread_of(s.first.size());
  auto place = [&](int i) { return forward ? i : n - 1 - i; };
  auto last_row = [&](int k) { return s.first[k] + (forward ? 1 : -1) * (s.length[k] - 1); };
  for (int u = 0; u < s.threads; ++u) {
    int before = -1;
    for (int k = s.steps[u]; k < s.steps[u + 1]; ++k) {
      thread_of[k] = u;
      for (int c = 0; c < s.length[k]; ++c) {
        const int i = s.first[k] + (forward ? c : -c);
        ASSERT_TRUE(i >= 0 && i < n && owner[i] == -1) << what << ": row " << i;
        owner[i] = u;
        step[i] = k;
        EXPECT_LT(before, place(i)) << what << ": thread " << u << " out of order";
        before = place(i);
      }
    }
  }
  for (int i = 0; i < n; ++i) ASSERT_NE(owner[i], -1) << what << ": row " << i << " never runs";
  for (int u = 0; u < s.threads; ++u) {
    std::vector<int> covered(s.threads, -1);  // last step of each thread waited for
    for (int k = s.steps[u]; k < s.steps[u + 1]; ++k) {
      for (int w = s.wptr[k]; w < s.wptr[k + 1]; ++w) {
        const int v = s.wait[w];
        EXPECT_NE(thread_of[v], u) << what;
        EXPECT_LT(place(last_row(v)), place(s.first[k])) << what << ": step " << k << " waits for a later row";
        covered[thread_of[v]] = std::max(covered[thread_of[v]], v);
      }
      for (int c = 0; c < s.length[k]; ++c) {
        const int i = s.first[k] + (forward ? c : -c);
        for (int e = pntr[i]; e < pntr[i + 1]; ++e) {
          const int j = indx[e];
          if (j >= n || !(forward ? j < i : j > i)) continue;
          EXPECT_TRUE(owner[j] == u ? place(j) < place(i) : step[j] <= covered[owner[j]])
              << what << ": row " << i << " on row " << j;
        }
      }
    }
  }
}

}  // namespace

TEST(TriSchedule, EveryRowRunsAfterTheRowsItDependsOn) {
  const int saved = Threads();
  SetThreadedMin(16);
  for (const LinearSystem& s : Systems())
    for (int threads : {2, 3, 6}) {
      SetThreads(threads);
      const ILUPreconditioner p(*s.A);
      RowSchedule lower, upper;
      MakeSchedule(lower, s.n, p.l_row_ptr(), p.l_col_ind(), true);
      MakeSchedule(upper, s.n, p.u_row_ptr(), p.u_col_ind(), false);
      const std::string what = s.name + ", " + std::to_string(threads) + " threads";
      ExpectSound(lower, s.n, p.l_row_ptr(), p.l_col_ind(), true, what.c_str());
      ExpectSound(upper, s.n, p.u_row_ptr(), p.u_col_ind(), false, what.c_str());
    }
  SetThreadedMin(0);
  SetThreads(saved);
}

TEST(TriSchedule, StripsRunAcrossTheMeshRows) {
  // The 5-point grid of 128 x 128 nodes, numbered row by row: its front is a mesh row, each
  // thread takes a strip of every mesh row, and the model gives more than half the threads'
  // count as gain there and about one on strips that drift across the rows. One thread never forks, nor
  // does a chain, each row on the one before.
  const int nx = 128;
  const LinearSystem s = olvu_test::MakeSystem("lap2d", nx * nx, olvu_test::Laplacian2D(nx), true);
  const ICPreconditioner p(*s.A);
  const std::vector<int> fronts = Fronts(s.n, p.row_ptr(), p.col_ind(), false, 3);
  ASSERT_FALSE(fronts.empty());
  EXPECT_EQ(fronts[0], nx);
  for (int threads : {2, 4}) {
    std::vector<int> owner;
    StripRows(owner, s.n, nx, threads);
    EXPECT_GT(ScheduleGain(owner, s.n, p.row_ptr(), p.col_ind(), false, threads), 0.55 * threads) << threads;
    StripRows(owner, s.n, nx + 1, threads);
    EXPECT_LT(ScheduleGain(owner, s.n, p.row_ptr(), p.col_ind(), false, threads), 1.2) << threads;
  }
  const int saved = Threads();
  RowSchedule t;
  SetThreads(1);
  MakeSchedule(t, s.n, p.row_ptr(), p.col_ind(), false);
  EXPECT_FALSE(t.Use());
  SetThreads(4);
  MakeSchedule(t, s.n, p.row_ptr(), p.col_ind(), false);
  EXPECT_TRUE(t.Use());
  ExpectSound(t, s.n, p.row_ptr(), p.col_ind(), false, "lap2d");
  SetThreads(2);
  EXPECT_FALSE(t.Use());
  Triplets chain;
  for (int i = 0; i < s.n; ++i) {
    chain.emplace_back(i, i, 2.0);
    if (i > 0) chain.emplace_back(i, i - 1, -1.0), chain.emplace_back(i - 1, i, -1.0);
  }
  const LinearSystem c = olvu_test::MakeSystem("chain", s.n, chain, true);
  const ICPreconditioner q(*c.A);
  MakeSchedule(t, c.n, q.row_ptr(), q.col_ind(), false);
  EXPECT_FALSE(t.Use());
  SetThreads(saved);
}

TEST(TriSchedule, ForkedSolvesGiveTheSequentialBits) {
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
