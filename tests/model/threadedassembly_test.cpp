// The assemblies on several threads give bitwise the matrices and right-hand sides of one thread,
// and the first faulty element in set order is the one reported whatever the thread count.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/bitvec.h"
#include "foundation/threads.h"
#include "solvers/sparsematrix.h"
#include "tests/model/gridcase.h"

namespace {

using olvu_test::GridCase;
using olvu_test::GridKind;
using olvu_test::GridLayout;
using olvu_test::RunInChild;

// Grids above the size where the loops fork: 130 x 130 triangles, 25^3 cells of tetrahedra.
GridLayout Large(GridKind kind) {
  GridLayout g;
  g.kind = kind;
  g.flags = "Solve_NavierStokes";
  g.nx = g.ny = kind == GridKind::Tet4 ? 25 : 130;
  g.nz = 25;
  return g;
}

void Append(std::vector<double>& out, const double* v, std::size_t n) { out.insert(out.end(), v, v + n); }
void Append(std::vector<double>& out, SparseMatrix& m) { Append(out, m.val(0), std::size_t(m.numnonzeros())); }
void Append(std::vector<double>& out, ReaVec& v) { Append(out, v.GivePointer(), v.length()); }

// Every assembly of one iteration from the same start, its results in one array.
std::vector<double> Assemble(GridCase& t, int threads) {
  SetThreads(threads);
  FluidDomain& d = t.d;
  const unsigned n = unsigned(d.numNodes);
  for (ReaVec* v : {&VarIncrement, &VarDenominat, &VarTolerance, &VarIncrRatio}) v->resize(23, 0.0);
  Max_Velocity = 1, Initial_Phase = 0, Run_Time_Increment = 0.5, Iterations = 1;
  d.StartNewStep();
  for (unsigned i = 1; i <= n; ++i) {
    const double x = t.X(i, 1), y = t.X(i, 2);
    d.Var(VelX)(i) = -(y - 0.5), d.Var(VelY)(i) = x - 0.5, d.Var(VelZ)(i) = Dimension_Olvu == 3 ? 0.1 : 0;
    d.Var(Pres)(i) = x * y;
  }
  std::vector<double> out;
  d.CalcSystemMatrixes();
  Append(out, *d.Laplacian()), Append(out, *d.Mass()), Append(out, d.LumpedMass());
  for (int k : {2, 3, 4}) Append(out, *d.SystemMatrix(k));
  d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
  Append(out, *d.SystemMatrix(7)), Append(out, *d.SystemMatrix(8)), Append(out, d.Var(TauV));
  d.AssembleMomentum();
  Append(out, *d.SystemMatrix(1));
  for (int c = 0; c < 3; ++c) Append(out, d.Var(VelWorkX + c));
  d.AssemblePressure(d.Var(Pres), true);
  Append(out, *d.SystemMatrix(0)), Append(out, d.Var(VelWorkX));
  d.Var(Pres) *= 1.5;  // a pressure change for the projection to apply
  d.SolveProjection();
  for (int c = 0; c < 3; ++c) Append(out, d.Var(VelX + c));
  ReaVec k(n, 0.01), k0(n, 0.02), S(n, 1e-3), D(n, 0.05), R(n, 0.1), b(n, 0.0);
  for (unsigned i = 1; i <= n; ++i) k(i) = 0.01 * (1 + t.X(i, 1) * t.X(i, 1));  // a gradient to capture
  d.DiscontinuityCapturing(k, D, R, D, 4);
  Append(out, D);
  ReaVec c(n, 0.0), c2(n, 0.0);  // capacities that vary, so their rows cannot trade places
  BitVec fixed(n);
  for (unsigned i = 1; i <= n; ++i) {
    c(i) = 1 + t.X(i, 1), c2(i) = 2 - t.X(i, 2);
    if (i % 97 == 0) fixed.bound_mark(i);
  }
  for (int order : {1, 2}) {
    d.AssembleSystem(k, k0, S, D, R, b, order);
    Append(out, *d.SystemMatrix(0)), Append(out, b);
    d.AssembleSystem(k, k0, c, c2, S, D, R, b, order);
    d.SystemMatrix(0)->Fix_Eliminate(fixed, k, b);
    Append(out, *d.SystemMatrix(0)), Append(out, b);
  }
  double hi = 0, lo = 0;
  ReaVec q = S, r = k;
  q(n / 2) = -1, r(n / 2) = 0;  // a sink without reaction in the middle block: no low bound
  d.SourceReactionLimits(q, r, k, hi, lo);
  out.push_back(hi), out.push_back(lo);
  return out;
}

class ThreadedAssembly : public ::testing::TestWithParam<GridKind> {};

TEST_P(ThreadedAssembly, BitwiseTheSameOnOneTwoAndFourThreads) {
  const int saved = Threads();
  GridCase t(Large(GetParam()));
  ASSERT_GE(std::size_t(t.d.numNodes), kThreadedMin);
  const std::vector<double> one = Assemble(t, 1);
  for (int threads : {2, 4}) {
    const std::vector<double> many = Assemble(t, threads);
    ASSERT_EQ(many.size(), one.size());
    EXPECT_EQ(std::memcmp(many.data(), one.data(), one.size() * sizeof(double)), 0) << threads << " threads";
  }
  SetThreads(saved);
}

TEST_P(ThreadedAssembly, FirstCollapsedElementInSetOrderIsReported) {
  // Two corners of the grid pulled onto a neighbour: elements at both ends of the set collapse,
  // in the first and the last row block.
  auto run = [](int threads) {
    return RunInChild([threads] {
      GridCase t(Large(GetParam()));
      SetThreads(threads);
      const GridLayout& g = t.layout;
      const int z = g.Solid() ? g.nz : 0;
      for (const auto& [moved, onto] : {std::pair{t.Node(g.nx, g.ny, z), t.Node(g.nx - 1, g.ny, z)},
                                        std::pair{t.Node(1, 0, 0), t.Node(0, 0, 0)}}) {
        ReaVec& p = *t.c->all.get_at(t.c->toGlobal(moved));
        p = *t.c->all.get_at(t.c->toGlobal(onto));
      }
      t.d.CalcSystemMatrixes();
    });
  };
  const auto one = run(1), four = run(4);
  EXPECT_EQ(one.status, 1);
  EXPECT_NE(one.err.find("Shape Functions"), std::string::npos) << one.err;
  EXPECT_EQ(four.status, 1);
  EXPECT_EQ(four.err, one.err);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ThreadedAssembly, ::testing::Values(GridKind::Tri3, GridKind::Tet4),
                         [](const auto& info) { return info.param == GridKind::Tri3 ? "Triangles" : "Tetrahedra"; });

}  // namespace
