// Pieces of the segregated flow solve on small grids whose conditions are set directly: the
// local frames of a normal, the stabilisation parameters, the velocity correction and its rule
// order, the rows of the component solves, the coupled boundary pass and the sets it keeps, the
// pressure without fixed values, the projection gate, the hydrostatic start, the
// pseudoconcentration reinitialisation and the alternative schemes called directly.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "flow/flowsolver.h"
#include "foundation/declarations.h"
#include "foundation/matrix.h"
#include "solvers/sparsematrix.h"
#include "tests/model/gridcase.h"

namespace {

using olvu_test::GridCase;
using olvu_test::GridKind;
using olvu_test::GridLayout;
using olvu_test::RunInChild;

void ExpectOrthonormal(const double (*R)[3], int rows) {
  for (int a = 0; a < rows; ++a)
    for (int b = 0; b < rows; ++b) {
      double s = 0;
      for (int k = 0; k < 3; ++k) s += R[a][k] * R[b][k];
      EXPECT_NEAR(s, a == b ? 1.0 : 0.0, 1e-14) << a << " " << b;
    }
}

TEST(LocalFrames, RowsAreTheNormalAndTwoTangents) {
  double R[3][3];
  const double n2[3] = {0.6, 0.8, 0};
  RotationMatrixFromVector(R, n2, 2);
  const double two[3][3] = {{0.6, 0.8, 0}, {-0.8, 0.6, 0}, {0, 0, 0}};
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) EXPECT_DOUBLE_EQ(R[a][b], two[a][b]);

  // |n_x| above 0.9: the first tangent has no z component.
  const double big[3] = {-0.95, std::sqrt(1 - 0.95 * 0.95 - 0.01), 0.1};
  RotationMatrixFromVector(R, big, 3);
  EXPECT_EQ(R[1][2], 0.0);
  ExpectOrthonormal(R, 3);
  // |n_x| of exactly 0.9 takes the other frame: the first tangent has no x component.
  const double edge[3] = {0.9, std::sqrt(0.19), 0};
  RotationMatrixFromVector(R, edge, 3);
  EXPECT_EQ(R[1][0], 0.0);
  ExpectOrthonormal(R, 3);
  for (const auto& n : {std::array<double, 3>{0, 0, 1}, std::array<double, 3>{0.5, -0.5, std::sqrt(0.5)},
                        std::array<double, 3>{1, 0, 0}}) {
    RotationMatrixFromVector(R, n.data(), 3);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(R[0][k], n[k]);
    ExpectOrthonormal(R, 3);
  }

  // The matrix form and the rotation about an axis.
  Matrix M(3, 3), Q(3, 3);
  ReaVec n(3, 0.0);
  n(3) = 1;
  RotationMatrixFromVector(M, n, 3);
  EXPECT_EQ(M(1, 3), 1.0);
  RotateAxe(Q, n, std::acos(-1.0) / 2);
  EXPECT_NEAR(Q(2, 1), 1.0, 1e-15);  // x turns into y
  EXPECT_NEAR(Q(1, 1), 0.0, 1e-15);
}

TEST(StabilisationParameters, ViscosityAndElementSize) {
  EXPECT_EQ(Eval_Tau(0.5, 0.0, 0.1), 0.5);  // inviscid: the convective value
  EXPECT_NEAR(Eval_Tau(0.5, 0.1, 0.2), 1.0 / (10 + 2), 1e-12);
  EXPECT_EQ(Eval_TauP(0.5, 1e-15, 3.0, 0.1), 0.0);
  EXPECT_EQ(Eval_TauP(0.5, 0.1, 3.0, 0.2), Eval_Tau(0.5, 0.1, 0.2));  // the speed does not enter
}

// A Navier-Stokes grid of 2 x 2 cells (nine nodes) after the start of a step, with the
// convergence globals sized.
struct Flow : ::testing::Test {
  GridLayout layout = [] {
    GridLayout g;
    g.nx = g.ny = 2;
    g.flags = "Solve_NavierStokes";
    g.properties = "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"0.1\" [Kg/m.s];\n";
    return g;
  }();
  std::unique_ptr<GridCase> t;
  FluidDomain* d = nullptr;
  unsigned n = 0;

  void Make() {
    t.reset();  // one grid case (and its timing root) at a time
    t = std::make_unique<GridCase>(layout);
    d = &t->d;
    n = unsigned(d->numNodes);
    for (ReaVec* v : {&VarIncrement, &VarDenominat, &VarTolerance, &VarIncrRatio}) v->resize(23, 0.0);
    VarTolerance = 1e-3;
    Initial_Phase = 0;
    Run_Time_Increment = 0.5;
    Iterations = 1;
    d->StartNewStep();
  }
  void SetUp() override { Make(); }
  void TearDown() override { GravVec.resize(0), FStatic.resize(0); }
  ReaVec& V(int id) { return d->Var(id); }
  // Entry (i, j) (1-based domain numbers) of matrix k, 0 when the pair is not stored.
  double At(int k, unsigned i, unsigned j) {
    SparseMatrix* m = d->SystemMatrix(k);
    const int* c = m->col_vec(int(i) - 1);
    for (int p = 0; p < m->row_size(int(i) - 1); ++p)
      if (c[p] == int(j) - 1) return m->val_vec(int(i) - 1)[p];
    return 0;
  }
  void Assemble() {
    d->CalcConvectiveMatrixes(V(VelX), V(VelY), V(VelZ));
    d->AssembleMomentum();
  }
  void Normal(unsigned node, double nx, double ny, double nz, double vn) {
    ReaVec* v = new ReaVec(3, 0.0);
    (*v)(1) = nx, (*v)(2) = ny, (*v)(3) = nz;
    d->giveNormalPlex()->set_at(int(node), v);
    d->NormalVelocity(int(node)) = vn;
    d->Cond(NormalVelNodes).assign(node, 1);
  }
};

TEST_F(Flow, CorrectionRestoresFixedComponentsAndAppliesLineThenNormal) {
  const unsigned a = t->Node(1, 1), b = t->Node(2, 1);
  for (unsigned i = 1; i <= n; ++i) V(VelX)(i) = 1, V(VelY)(i) = 2, V(VelX0)(i) = -1;
  d->Cond(FixVelX).assign(a, 1);
  d->CorrectVelocity();
  EXPECT_EQ(V(VelX)(a), -1.0);
  EXPECT_EQ(V(VelX)(b), 1.0);
  EXPECT_EQ(V(VelY)(a), 2.0);

  // Node a: fixed in X and normal (0.6, 0.8) with vn 1: X goes back to its start value after
  // the normal condition has moved it; node b: a line (1, 0, 0) first, then the normal.
  V(VelX)(a) = 1;
  Normal(a, 0.6, 0.8, 0, 1.0);
  Normal(b, 0.6, 0.8, 0, 0.3);
  ReaVec* d1 = new ReaVec(3, 0.0);
  (*d1)(1) = 1;
  d->VelocityLineTable().set_at(int(b), d1);
  d->Cond(LineVelNodes).assign(b, 1);
  d->CorrectVelocity();
  EXPECT_EQ(V(VelX)(a), -1.0);
  EXPECT_NEAR(V(VelY)(a), 2 + 0.8 * (1.0 - (0.6 + 1.6)), 1e-14);
  // Line: (1, 0); normal: e = 0.3 - 0.6 = -0.3 -> (1 - 0.18, -0.24).
  EXPECT_NEAR(V(VelX)(b), 0.82, 1e-14);
  EXPECT_NEAR(V(VelY)(b), -0.24, 1e-14);

  // The vector form applies the same rules to any three vectors.
  ReaVec x(n, 5.0), y(n, 0.0), z(n, 0.0);
  d->CorrectVelocity(x, y, z);
  EXPECT_EQ(x(a), -1.0);
  EXPECT_NEAR(x(b) * 0.6 + y(b) * 0.8, 0.3, 1e-14);
  EXPECT_EQ(x(t->Node(0, 0)), 5.0);
}

TEST_F(Flow, ComponentRowsOfFixedNormalAndNullGradientNodes) {
  for (unsigned i = 1; i <= n; ++i) V(VelX)(i) = 0.1 * i, V(VelY)(i) = -0.05 * i;
  const unsigned fixed = t->Node(0, 1), both = t->Node(0, 2), wall = t->Node(1, 0), grad = t->Node(2, 1),
                 sym = t->Node(1, 2), free = t->Node(1, 1);
  d->Cond(FixVelX).assign(fixed, 1);
  d->Cond(FixVelX).assign(both, 1);
  Normal(both, 0, 1, 0, 0);
  Normal(wall, 0, -1, 0, 0.25);
  for (unsigned g : {grad, sym}) {
    d->Cond(FixGradient).assign(g, 1);
    ReaVec* v = new ReaVec(3, 0.0);
    (*v)(1) = 1;
    d->FixedGradientTable().set_at(int(g), v);
  }
  d->Cond(SymmPlaneNodes).assign(sym, 1);
  Assemble();
  d->SolveVelocityX(1);
  const ReaVec& rx = d->Scratch().componentRhs[0];
  for (unsigned j = 1; j <= n; ++j) {
    EXPECT_EQ(At(0, fixed, j), j == fixed ? 1.0 : 0.0);
    EXPECT_EQ(At(0, both, j), j == both ? 1.0 : 0.0);  // the fixed rule wins
    EXPECT_EQ(At(0, grad, j), At(2, grad, j));          // n . grad u = 0 with n = (1, 0, 0)
    EXPECT_EQ(At(0, sym, j), At(1, sym, j));            // symmetry nodes keep the momentum row
    EXPECT_EQ(At(0, free, j), At(1, free, j));
    EXPECT_EQ(At(0, wall, j), At(1, wall, j));          // tangential equation of a y-wall: unchanged
  }
  EXPECT_EQ(rx(fixed), V(VelX)(fixed));
  EXPECT_EQ(rx(grad), 0.0);
  EXPECT_EQ(rx(free), V(VelWorkX)(free));
  EXPECT_EQ(rx(wall), V(VelWorkX)(wall));
  // The Y equation of the wall node becomes a_ii u_y = a_ii (n_y vn) with n = (0, -1).
  d->SolveVelocityY(1);
  const double aii = At(1, wall, wall);
  for (unsigned j = 1; j <= n; ++j) EXPECT_EQ(At(0, wall, j), j == wall ? aii : 0.0);
  EXPECT_NEAR(d->Scratch().componentRhs[1](wall), -aii * 0.25, 1e-14);
}

TEST_F(Flow, SolvesKeepOnlyWhatTheBoundaryPassMarks) {
  // A turbulence condition of value 0 does not freeze the velocity there.
  for (unsigned i = 1; i <= n; ++i) V(VelX0)(i) = 0;
  for (int i = 0; i <= 2; ++i) {
    d->Cond(FixVelX).assign(t->Node(i, 2), 1), d->Cond(FixVelY).assign(t->Node(i, 2), 1);
    V(VelX)(t->Node(i, 2)) = V(VelX0)(t->Node(i, 2)) = 1;
  }
  d->Cond(FreeTurb).assign(t->Node(1, 1), 1);
  Assemble();
  d->SolveMomentum();
  EXPECT_NE(V(VelX)(t->Node(1, 1)), 0.0);
  EXPECT_TRUE(d->Cond(FreeTurb)(t->Node(1, 1)));
  EXPECT_GT(VarIncrement[0], 0.0);
}

TEST(BoundaryPass, MarksEveryNodeWhenNothingMovesAndLeavesTheTurbulenceSet) {
  GridLayout g;
  g.kind = GridKind::Tet4;
  g.nx = g.ny = g.nz = 1;
  g.flags = "Solve_NavierStokes";
  g.properties = "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"0.1\" [Kg/m.s];\n";
  GridCase t(g);
  FluidDomain& d = t.d;
  for (ReaVec* v : {&VarIncrement, &VarDenominat, &VarTolerance, &VarIncrRatio}) v->resize(23, 0.0);
  Run_Time_Increment = 0.5;
  d.StartNewStep();
  ReaVec* nv = new ReaVec(3, 0.0);
  (*nv)(3) = 1;
  d.giveNormalPlex()->set_at(1, nv);
  d.NormalVelocity(1) = 0;
  d.Cond(NormalVelNodes).assign(1, 1);
  d.Cond(FreeTurb).assign(2, 1);
  d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
  d.AssembleMomentum();
  VarIncrement[0] = 1e10;  // every relative change is below this
  d.VelocityBoundaries();
  for (unsigned i = 1; i <= unsigned(d.numNodes); ++i) EXPECT_TRUE(d.VelocityKept()(i)) << i;
  EXPECT_TRUE(d.Cond(FreeTurb)(2));
  EXPECT_FALSE(d.Cond(FreeTurb)(3));
  // The pass leaves the momentum system scaled by its diagonal, which it moved out.
  EXPECT_EQ(d.SystemMatrix(1)->diag(0), 0.0);
}

TEST_F(Flow, PressureWithoutFixedValuesHasItsFirstNodeAtZero) {
  for (unsigned i = 1; i <= n; ++i) {
    const double x = t->X(i, 1), y = t->X(i, 2);
    V(VelX)(i) = x * x, V(VelY)(i) = x * y;
  }
  d->CalcConvectiveMatrixes(V(VelX), V(VelY), V(VelZ));
  d->SolvePressure();
  EXPECT_EQ(V(Pres)(1), 0.0);
  EXPECT_GT(VarIncrement[1], 0.0);
  double nonzero = 0;
  for (unsigned i = 1; i <= n; ++i) nonzero = std::fmax(nonzero, std::fabs(V(Pres)(i)));
  EXPECT_GT(nonzero, 1e-6);
  EXPECT_EQ(V(PresWork), ReaVec(n, 0.0));  // the previous-iteration pressure
}

TEST_F(Flow, InviscidPressureParameterIsTheLowerLimit) {
  layout.properties = "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"0\" [Kg/m.s];\n";
  Make();
  for (unsigned i = 1; i <= n; ++i) V(VelX)(i) = 1;
  d->CalcConvectiveMatrixes(V(VelX), V(VelY), V(VelZ));
  d->SolvePressure();
  for (unsigned i = 1; i <= n; ++i) EXPECT_EQ(V(TauEq)(i), d->TauPLow()) << i;
}

TEST_F(Flow, ProjectionRunsOnTheFirstIterationOrWhenThePressureHasSettled) {
  for (unsigned i = 1; i <= n; ++i) V(Pres)(i) = t->X(i, 1);  // dp/dx = 1
  auto project = [&](int iteration, double ratio) {
    V(VelX) = 0.0;
    Iterations = iteration;
    VarIncrRatio[1] = ratio;
    d->SolveProjection();
    return V(VelX)(t->Node(1, 1));
  };
  // u -= theta dt m^-1 Gx dp = -0.5 at an inner node.
  EXPECT_NEAR(project(1, 1.0), -0.5, 1e-12);
  EXPECT_EQ(project(3, 1.0), 0.0);
  EXPECT_NEAR(project(3, 1e-5), -0.5, 1e-12);
  EXPECT_NEAR(project(3, std::nan("")), -0.5, 1e-12);
}

TEST_F(Flow, HydrostaticStartUsesItsOwnFixedSet) {
  layout.flags = "Solve_NavierStokes Total_Pressure";
  Make();
  GravVec.resize(3, 0.0);
  GravVec(2) = -9.81;
  FStatic.resize(3, 0.0);
  FStatic(2) = 1;  // pressure origin at y = 1
  d->Cond(FreeTurb).assign(t->Node(2, 2), 1);
  d->SolveInitialPressure();
  // Kinematic pressure g.(x - x0): 9.81 (1 - y).
  for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(V(Pres)(i), 9.81 * (1 - t->X(i, 2)), 1e-9) << i;
  EXPECT_TRUE(d->Cond(FreeTurb)(t->Node(2, 2)));
  EXPECT_FALSE(d->Cond(FreeTurb)(t->Node(1, 1)));
}

TEST(Reinitialisation, KeepsTheInterfaceLengthAndItsBand) {
  GridLayout g;
  g.nx = g.ny = 4;
  g.flags = "Solve_NavierStokes Solve_Pseudoconcentration";
  g.properties = "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"0.1\" [Kg/m.s];\n";
  GridCase t(g);
  FluidDomain& d = t.d;
  ReaVec& psi = d.Var(Pseudo);
  for (unsigned i = 1; i <= psi.length(); ++i) psi(i) = d.Var(Pseudo0)(i) = t.X(i, 1) - 0.5;
  Psed_Length = 0.3;
  d.PsedReinitialisation();
  EXPECT_EQ(Psed_Length, 0.3);
  // The zero level stays where it was and each side keeps its sign; the band is |psi| < 0.3.
  for (unsigned i = 1; i <= psi.length(); ++i) {
    const double x = t.X(i, 1);
    if (x == 0.5) {
      EXPECT_NEAR(psi(i), 0, 1e-3) << i;  // the diagonals of the cells are not symmetric
    } else {
      EXPECT_GT(psi(i) * (x - 0.5), 0) << i;
    }
    EXPECT_EQ(d.Cond(FreeSurfNodes)(i) != 0, std::fabs(psi(i)) < 0.3) << i;
  }
  Psed_Length = 0;
}

TEST_F(Flow, PenaltyPressureAndCoupledStepCalledDirectly) {
  // u = x: D u = m, so M p = M p0 - m gives p = p0 - 1 everywhere.
  for (unsigned i = 1; i <= n; ++i) V(VelX)(i) = t->X(i, 1), V(Pres)(i) = 2;
  d->SolvePenaltyPressure(1.0);
  for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(V(Pres)(i), 1.0, 1e-8) << i;
  // The coupled step is the velocity correction of three vectors.
  d->Cond(FixVelY).assign(3, 1);
  V(VelY0)(3) = 7;
  ReaVec x(n, 0.0), y(n, 0.0), z(n, 0.0);
  d->SolveCoupled(x, y, z);
  EXPECT_EQ(y(3), 7.0);
}

TEST_F(Flow, FractionalStepKeepsUniformFlowDivergenceFree) {
  layout.flags = "Solve_NStoFractionalStep";
  Make();
  for (unsigned i = 1; i <= n; ++i) V(VelX)(i) = V(VelX0)(i) = 1;
  for (int j = 0; j <= 2; ++j) {
    const unsigned in = t->Node(0, j);
    d->Cond(FixVelX).assign(in, 1), d->Cond(FixVelY).assign(in, 1);
    d->Cond(FixPres).assign(t->Node(2, j), 1);
  }
  d->SolveFractionalStep();
  for (unsigned i = 1; i <= n; ++i) {
    EXPECT_NEAR(V(VelX)(i), 1, 1e-9) << i;
    EXPECT_NEAR(V(VelY)(i), 0, 1e-9) << i;
    EXPECT_NEAR(V(Pres)(i), 0, 1e-9) << i;
  }
}

TEST(StokesMomentum, NullViscosityIsFatal) {
  auto r = RunInChild([] {
    GridLayout g;
    g.flags = "Solve_Stokes";
    g.properties = "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"0\" [Kg/m.s];\n";
    GridCase t(g);
    for (ReaVec* v : {&VarIncrement, &VarDenominat, &VarTolerance, &VarIncrRatio}) v->resize(23, 0.0);
    Run_Time_Increment = 0.5;
    t.d.StartNewStep();
    t.d.SolveMomentumStokes();
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Cannot solve Stokes problem with null viscosity"), std::string::npos) << r.err;
}

}  // namespace
