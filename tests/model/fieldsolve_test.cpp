// The bounded field solve (clamp to the field's range, change limit per iteration, fixed nodes)
// and the fluid temperature solve on grids whose fixed nodes are set directly.
#include <gtest/gtest.h>

#include <cmath>

#include "foundation/declarations.h"
#include "solvers/sparsematrix.h"
#include "tests/model/gridcase.h"

namespace {

using olvu_test::GridCase;
using olvu_test::GridLayout;
using olvu_test::GridKind;

// Sets the per-variable globals of the temperature (entry 3) and the iteration counters.
void TemperatureGlobals(double lo, double hi, double tol, double den, int maxIter, int iter) {
  MinValue.resize(23, 1e100);
  MaxValue.resize(23, -1e100);
  VarTolerance.resize(23, 1e-3);
  VarDenominat.resize(23, 1.0);
  MinValue(3) = lo, MaxValue(3) = hi, VarTolerance(3) = tol, VarDenominat(3) = den;
  Max_Iterations = maxIter;
  Iterations = iter;
}

// A system whose solution is y: A = M, b = M y.
struct Bounded : ::testing::Test {
  GridLayout layout = [] {
    GridLayout g;
    g.flags = "Solve_Temperature Control_Increment Medium";  // factor 0.1
    return g;
  }();
  GridCase t{layout};
  FluidDomain& d = t.d;
  const unsigned n = unsigned(d.numNodes);
  ReaVec y{n}, x{n}, b{n};
  BitVec none{n};

  void SetUp() override {
    d.SystemMatrix(0)->copy_val(d.Mass());
    for (unsigned i = 1; i <= n; ++i) y(i) = 0.3 * i - 1.0;
  }
  void Solve(const ReaVec& start, const BitVec& fixed) {
    x = start;
    d.Mass()->mult(y.GivePointer(), b.GivePointer());
    d.SolveUnknown(UnkType::Temperature, x, d.SystemMatrix(0), b, fixed, "test");
  }
};

TEST_F(Bounded, ClampsToTheRangeUnlessItIsEmpty) {
  ASSERT_DOUBLE_EQ(d.IncrementControl(), 0.1);
  TemperatureGlobals(0.0, 2.0, 1e3, 1.0, 1, 1);  // a limit too wide to act
  Solve(ReaVec(n, 0.5), none);
  for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(x(i), std::fmin(std::fmax(y(i), 0.0), 2.0), 1e-8) << i;
  EXPECT_EQ(b, ReaVec(n, 0.5));  // b holds the previous values
  // Equal bounds, and bounds still inverted as they start (no range set), clamp nothing.
  for (const double lo : {1.0, 1e100}) {
    TemperatureGlobals(lo, lo == 1.0 ? 1.0 : -1e100, 1e3, 1.0, 1, 1);
    Solve(ReaVec(n, 0.5), none);
    for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(x(i), y(i), 1e-8) << lo << " " << i;
  }
  // Fixed nodes keep their previous value.
  BitVec fixed(n);
  fixed.assign(2, 1);
  Solve(ReaVec(n, 0.5), fixed);
  EXPECT_EQ(x(2), 0.5);
  EXPECT_NEAR(x(3), y(3), 1e-8);
}

TEST_F(Bounded, ChangeLimitedToTheControlRatio) {
  // t_max = 0.1 x 0.02 = 0.002; with the denominator 0.5 a node moves at most 0.001.
  TemperatureGlobals(1.0, 1.0, 0.02, 0.5, 1, 1);
  ReaVec start(n);
  for (unsigned i = 1; i <= n; ++i) start(i) = y(i) - 0.004 * (i % 3);  // changes 0, 0.004, 0.008
  Solve(start, none);
  for (unsigned i = 1; i <= n; ++i) {
    const double change = y(i) - start(i);
    // A change of r = 4 t_max ends at a quarter of it.
    const double expected = std::fabs(change) / 0.5 > 0.002 ? start(i) + change * 0.002 / (std::fabs(change) / 0.5) : y(i);
    EXPECT_NEAR(x(i), expected, 1e-9) << i;
  }
  EXPECT_NEAR(x(1) - start(1), 0.001, 1e-9);  // 1 % 3 = 1: change 0.004 = 4 t_max den
  // The first iteration of a step with more than one iteration only clamps.
  TemperatureGlobals(1.0, 1.0, 0.02, 0.5, 3, 1);
  Solve(start, none);
  for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(x(i), y(i), 1e-8) << i;
  TemperatureGlobals(1.0, 1.0, 0.02, 0.5, 3, 2);
  Solve(start, none);
  EXPECT_NEAR(x(1) - start(1), 0.001, 1e-9);
}

TEST(BoundedControl, AbsentControlLimitsNothing) {
  GridLayout g;
  GridCase t(g);
  FluidDomain& d = t.d;
  EXPECT_EQ(d.IncrementControl(), -1);
  const unsigned n = unsigned(d.numNodes);
  TemperatureGlobals(1.0, 1.0, 1e-6, 1.0, 1, 1);
  d.SystemMatrix(0)->copy_val(d.Mass());
  ReaVec y(n, 3.0), b(n), x(n, 0.0);
  d.Mass()->mult(y.GivePointer(), b.GivePointer());
  d.SolveUnknown(UnkType::Temperature, x, d.SystemMatrix(0), b, 0, "test");
  for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(x(i), 3.0, 1e-8);
}

// Steady conduction on [0, 1] x [0, 0.2] with T = 0 at x = 0 and 1 at x = 1: one step of 1e10.
TEST(FluidTemperature, SteadyConductionIsLinear) {
  GridLayout g;
  g.nx = 10, g.ny = 2, g.ly = 0.2;
  GridCase t(g);
  FluidDomain& d = t.d;
  for (int j = 0; j <= 2; ++j) {
    d.Cond(FixTemp).assign(t.Node(0, j), 1);
    d.Cond(FixTemp).assign(t.Node(10, j), 1);
    d.Var(Temp)(t.Node(10, j)) = 1;
  }
  Initial_Phase = 0;
  Run_Time_Increment = 1e10;
  TemperatureGlobals(0, 1, 1e-6, 1, 1, 1);
  d.StartNewStep();
  d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
  d.SolveTemperature();
  for (unsigned i = 1; i <= unsigned(d.numNodes); ++i) EXPECT_NEAR(d.Var(Temp)(i), t.X(i, 1), 1e-8) << i;
  EXPECT_NEAR(VarIncrement(3), 0.9, 1e-8);  // the largest change, at x = 0.9
}

// The steady strip [0, 1] in the flow u = 1 with T = 0 at x = 0 and 1 at x = 1, at cell Peclet
// number pe = u h / (2 nu) on `cells` cells: T = (e^(x/nu) - 1) / (e^(1/nu) - 1), a layer at the
// outflow. Iterated to steady state; gives the largest nodal error and the range of T.
struct Layer {
  double err = 0, lo = 1e100, hi = -1e100;
  Layer(GridKind kind, const char* order, int cells, double pe) {
    GridLayout g;
    g.kind = kind;
    g.nx = cells, g.ny = 2, g.ly = 0.1;
    g.flags = std::string("Solve_Temperature ") + order;
    const double nu = 1.0 / cells / (2 * pe);
    g.properties = "Function Density \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
                   "Function Conductivity \"" + std::to_string(nu) + "\" [W/m.Gt];\n";
    GridCase t(g);
    FluidDomain& d = t.d;
    for (int j = 0; j <= 2; ++j) {
      d.Cond(FixTemp).assign(t.Node(0, j), 1);
      d.Cond(FixTemp).assign(t.Node(cells, j), 1);
      d.Var(Temp)(t.Node(cells, j)) = 1;
    }
    d.Var(VelX) = 1.0;
    Initial_Phase = 0;
    Run_Time_Increment = 1e10;
    Max_Velocity = 1e-14;  // as in a run that does not solve the velocity
    TemperatureGlobals(0, 1, 1e-6, 1, 1, 1);
    d.StartNewStep();
    d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
    for (int it = 0; it < 60; ++it) d.SolveTemperature();
    EXPECT_LT(VarIncrement(3), 1e-4);  // the automatic order settles slowest
    for (unsigned i = 1; i <= unsigned(d.numNodes); ++i) {
      const double x = t.X(i, 1), exact = std::expm1(x / nu) / std::expm1(1 / nu), T = d.Var(Temp)(i);
      err = std::fmax(err, std::fabs(T - exact));
      lo = std::fmin(lo, T), hi = std::fmax(hi, T);
    }
  }
};

TEST(FluidTemperature, OutflowLayerInUniformFlow) {
  // Quadrilaterals keep the strip's solution one-dimensional. Fourth order (the default):
  // within 1% at cell Peclet 0.25; at 1 the scheme's own nodal error of the layer's last cell.
  EXPECT_LT(Layer(GridKind::Quad4, "", 20, 0.25).err, 0.01);
  EXPECT_LT(Layer(GridKind::Quad4, "", 20, 1.0).err, 0.09);
  // The automatic order is closer at cell Peclet 1, on triangles too.
  EXPECT_LT(Layer(GridKind::Quad4, "TM_AdvecStab_Auto", 20, 1.0).err, 0.02);
  EXPECT_LT(Layer(GridKind::Tri3, "TM_AdvecStab_Auto", 20, 1.0).err, 0.05);
  // Cell Peclet 5: no overshoot of the boundary values, by any order.
  for (const char* order : {"TM_AdvecStab_2nd_Order", "", "TM_AdvecStab_Auto"}) {
    const Layer l(GridKind::Tri3, order, 20, 5.0);
    EXPECT_LT(l.hi, 1.05) << order;
    EXPECT_GT(l.lo, -0.05) << order;
    EXPECT_LT(l.err, 0.2) << order;
  }
}

}  // namespace
