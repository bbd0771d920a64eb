// Sparsity pattern: filling and building, lookups, the row walk, row utilities, adjacency form.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "foundation/reavec.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"
#include "tests/support/child.h"

namespace {

using olvu_test::RunInChild;

// Columns of full row r as stored.
std::vector<int> Row(const SparseMatrixStruct& s, int r) {
  return std::vector<int>(s.col_vec(r), s.col_vec(r) + s.row_size(r));
}
std::vector<int> URow(const SparseMatrixStruct& s, int r) {
  return std::vector<int>(s.scol_vec(r), s.scol_vec(r) + s.srow_size(r));
}

// 4 x 4 symmetric pattern with couplings 0-2, 0-3, 1-2, added in scrambled order.
SparseMatrixStruct* Sample() {
  auto* s = new SparseMatrixStruct(4, 4, 1, 1, 0);
  const int pairs[][2] = {{3, 0}, {2, 1}, {0, 3}, {2, 0}, {1, 2}, {0, 2}};
  for (const auto& p : pairs) s->addPosition(p[0], p[1]);
  s->Build();
  return s;
}

TEST(SparseMatrixStruct, EmptyPatternBuildsToItsDiagonal) {
  SparseMatrixStruct s(5, 5, 1, 1, 0);
  s.Build();
  EXPECT_EQ(s.numnonzeros(), 5);
  EXPECT_EQ(s.snnz(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Row(s, i), std::vector<int>{i});
    EXPECT_EQ(*s.spos_ind(i), i);
  }
}

TEST(SparseMatrixStruct, FillingCountsEachPositionOnceAndGrowsRowLists) {
  SparseMatrixStruct s(8, 8, 1, 1, 0);
  EXPECT_EQ(s.addPosition(0, 4), 1);
  EXPECT_EQ(s.addPosition(0, 4), 1);  // already there
  EXPECT_EQ(s.numnonzeros(), 9);
  EXPECT_EQ(s.addPosition(0, 7), 2);
  EXPECT_EQ(s.addPosition(0, 2), 3);
  EXPECT_EQ(s.addPosition(0, 6), 4);
  EXPECT_EQ(s.addPosition(0, 1), 5);  // sixth column: list grows from 6 to 12 slots
  EXPECT_EQ(s.addPosition(0, 5), 6);
  EXPECT_EQ(s.addPosition(0, 3), 7);
  s.Build();
  EXPECT_EQ(Row(s, 0), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(SparseMatrixStruct, BuildPutsDiagonalFirstAndSortsTheRest) {
  SparseMatrixStruct* s = Sample();
  EXPECT_EQ(Row(*s, 0), (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(Row(*s, 1), (std::vector<int>{1, 2}));
  EXPECT_EQ(Row(*s, 2), (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(Row(*s, 3), (std::vector<int>{3, 0}));
  EXPECT_EQ(URow(*s, 0), (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(URow(*s, 2), (std::vector<int>{2}));
  EXPECT_EQ(s->numnonzeros(), 10);
  EXPECT_EQ(s->snnz(), 7);
  // Every full position maps to the upper position of its mirrored pair.
  for (int r = 0; r < 4; ++r)
    for (int k = *s->row_ptr(r); k < *s->row_ptr(r + 1); ++k) {
      const int c = *s->col_ind(k), sp = *s->spos_ind(k);
      EXPECT_EQ(*s->scol_ind(sp), std::max(r, c));
      EXPECT_GE(sp, *s->srow_ptr(std::min(r, c)));
      EXPECT_LT(sp, *s->srow_ptr(std::min(r, c) + 1));
    }
  delete s;
}

TEST(SparseMatrixStruct, LookupsAndCursor) {
  SparseMatrixStruct* s = Sample();
  EXPECT_EQ(s->give_sim_position(3, 0), s->give_sim_position(0, 3));
  EXPECT_EQ(s->give_uns_position(2, 1), 7);
  EXPECT_EQ(s->give_uns_position(3, 3), 8);
  EXPECT_EQ(s->set_current_position(3, 0), -1);  // below the diagonal
  EXPECT_EQ(s->current_position(), 9);
  EXPECT_EQ(s->set_current_position(0, 3), s->give_sim_position(0, 3));
  EXPECT_EQ(s->current_position(), 2);
  delete s;

  auto r = RunInChild([] {
    SparseMatrixStruct* p = Sample();
    p->give_uns_position(0, 1);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("SparseMatrixStruct give_uns_position(1,2) error. Element not found."), std::string::npos);
  auto r2 = RunInChild([] {
    SparseMatrixStruct* p = Sample();
    p->give_sim_position(3, 1);
  });
  EXPECT_EQ(r2.status, 1);
  EXPECT_NE(r2.err.find("SparseMatrixStruct give_sim_position(2,4) error. Element not found."), std::string::npos);
}

TEST(SparseMatrixStruct, NextInRowWalksTheRowAndStopsOnEmptyRows) {
  SparseMatrixStruct* s = Sample();
  int k = 0;
  EXPECT_EQ(s->next_in_row(2, k), 2);
  EXPECT_EQ(s->next_in_row(2, k), 0);
  EXPECT_EQ(s->next_in_row(2, k), 1);
  EXPECT_EQ(s->next_in_row(2, k), -1);
  EXPECT_EQ(k, 0);
  delete s;

  // Rows 0 and 1 empty: the walk must not wander into row 2.
  SparseMatrixStruct e(3, 3, 0, 1, 0);
  e.addPosition(2, 2);
  e.Build();
  k = 0;
  EXPECT_EQ(e.next_in_row(0, k), -1);
  EXPECT_EQ(k, 0);
  EXPECT_EQ(e.next_in_row(1, k), -1);
  EXPECT_EQ(e.next_in_row(2, k), 2);
  EXPECT_EQ(e.next_in_row(2, k), -1);
}

TEST(SparseMatrixStruct, RowUtilitiesOverNeighbours) {
  SparseMatrixStruct* s = Sample();
  ReaVec v(4, 0.0), w(4, 1.0);
  v[0] = 5;
  v[1] = -1;
  v[2] = 7;
  v[3] = 2;
  double mn, mx;
  s->row_minmax(0, v, mn, mx);  // neighbours 2 and 3 only
  EXPECT_EQ(mn, 2);
  EXPECT_EQ(mx, 7);
  EXPECT_EQ(s->row_min(2, v), -1);
  EXPECT_EQ(s->row_min(2, 0, v), -1);
  EXPECT_EQ(s->row_larger(0, v, 2.5), 7);
  EXPECT_EQ(s->row_larger(0, v, 7), 7);  // none larger: x
  w[3] = 3;
  EXPECT_NEAR(s->row_smooth(0, v, w), (7 + 3 * 2) / 4.0, 1e-12);
  ReaVec a(v), b(v), c(v);
  s->row_smooth(3, a, b, c, w);  // single neighbour 0
  EXPECT_NEAR(a[3], 5, 1e-12);
  EXPECT_NEAR(c[3], 5, 1e-12);
  s->row_average(1, v);  // (v1 + v2) / 2
  EXPECT_NEAR(v[1], 3, 1e-12);
  delete s;

  SparseMatrixStruct d(2, 2, 1, 1, 0);
  d.Build();
  EXPECT_EQ(d.row_min(0, v), 1e100);
  EXPECT_EQ(d.row_min(0, 1, v), 1e100);
  EXPECT_EQ(d.row_larger(1, v, 0.25), 0.25);
  d.row_minmax(0, v, mn, mx);
  EXPECT_EQ(mn, 1e100);
  EXPECT_EQ(mx, -1e100);
}

TEST(SparseMatrixStruct, FromAdjacency) {
  // 1-based adjacency of a path 1-2-3, row 2 listing itself last.
  const int len[] = {2, 3, 2};
  CSR<int> adj(3, len, 0, 1);
  adj.add(1, 2);
  adj.add(1, 1);
  adj.add(2, 3);
  adj.add(2, 1);
  adj.add(2, 2);
  adj.add(3, 2);
  adj.add(3, 3);
  SparseMatrixStruct s(adj, 1, 1, 0);
  EXPECT_TRUE(s.built());
  EXPECT_EQ(Row(s, 0), (std::vector<int>{0, 1}));
  EXPECT_EQ(Row(s, 1), (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(s.numnonzeros(), 7);
  EXPECT_EQ(s.snnz(), 5);

  auto bad = RunInChild([] {
    const int l[] = {1, 1};
    CSR<int> a(2, l, 0, 1);
    a.add(1, 1);  // row 2 left free
    SparseMatrixStruct p(a, 1, 1, 0);
  });
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("Wrong CSR<int> data found in SparseMatrixStruct::SparseMatrixStruct"), std::string::npos);
  auto empty = RunInChild([] {
    const int l[] = {1, 0};
    CSR<int> a(2, l, 0, 1);
    a.add(1, 1);
    SparseMatrixStruct p(a, 1, 1, 0);
  });
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find("Wrong SparseMatrix initialisation with frdiag"), std::string::npos);
}

TEST(SparseMatrixStruct, FatalConstructionAndBuildFaults) {
  auto dim = RunInChild([] { SparseMatrixStruct s(0, 3, 1, 1, 0); });
  EXPECT_EQ(dim.status, 1);
  EXPECT_NE(dim.err.find("Wrong dimension data in SparseMatrixStruct"), std::string::npos);
  // A one-sided coupling has no mirror for the upper triangle.
  auto asym = RunInChild([] {
    SparseMatrixStruct s(3, 3, 1, 1, 0);
    s.addPosition(2, 0);
    s.Build();
  });
  EXPECT_EQ(asym.status, 1);
  EXPECT_NE(asym.err.find("give_sim_position(1,3) error. Element not found."), std::string::npos);
  auto outside = RunInChild([] {
    SparseMatrixStruct s(3, 3, 1, 1, 0);
    s.addPosition(3, 0);
  });
  EXPECT_EQ(outside.status, 1);
}

// Sorting a built pattern rebuilds its upper rows in the new order; with a matrix on it the
// sort would misplace the matrix's values, so it is refused.
TEST(SparseMatrixStruct, SortingABuiltPattern) {
  SparseMatrixStruct s(3, 3, 1, 0, 0);
  const int pairs[][2] = {{0, 2}, {0, 1}, {2, 0}, {1, 0}, {1, 2}, {2, 1}};
  for (const auto& p : pairs) s.addPosition(p[0], p[1]);
  s.Build();
  EXPECT_EQ(URow(s, 0), (std::vector<int>{0, 2, 1}));
  s.Qsort();
  EXPECT_TRUE(s.sorted());
  EXPECT_EQ(Row(s, 0), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(URow(s, 0), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(s.give_sim_position(2, 0), 2);
  EXPECT_EQ(s.give_sim_position(1, 0), 1);
  for (int k = 0; k < s.numnonzeros(); ++k) EXPECT_GE(*s.spos_ind(k), 0);

  auto used = RunInChild([] {
    SparseMatrixStruct p(3, 3, 1, 0, 0);
    p.addPosition(0, 2);
    p.addPosition(0, 1);
    p.addPosition(2, 0);
    p.addPosition(1, 0);
    p.Build();
    SystemSparseMatrix a(&p);
    p.Qsort();
  });
  EXPECT_EQ(used.status, 1);
  EXPECT_NE(used.err.find("SparseMatrixStruct::Qsort refused: the pattern is used by 1 matrices"),
            std::string::npos);
}

TEST(SparseMatrixStruct, Listing) {
  SparseMatrixStruct s(2, 2, 1, 1, 0);
  std::ostringstream a;
  a << s;
  EXPECT_EQ(a.str(), "SparseMatrixStruct not built\n");
  s.addPosition(0, 1);
  s.addPosition(1, 0);
  s.Build();
  std::ostringstream b;
  b << s;
  EXPECT_NE(b.str().find("Non Symmetric data\n******************\n"), std::string::npos);
  EXPECT_NE(b.str().find("             1 ,              2\n"), std::string::npos);
  EXPECT_NE(b.str().find("  Symmetric data  \n"), std::string::npos);
}

}  // namespace
