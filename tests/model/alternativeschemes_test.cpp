// The alternative solution operations of the fluid domain that the regular iteration does not
// call, called directly on small grids: the explicit update with its sub-steps, the transport of
// the pseudoconcentration and of the energy, and the free velocity-correction function.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "bodies/bodyparts.h"
#include "foundation/declarations.h"
#include "tests/model/gridcase.h"

namespace {

using olvu_test::GridCase;
using olvu_test::GridLayout;

// A 4 x 4-cell grid of triangles on the unit square (25 nodes, h about 0.25) after the start of
// a step of Run_Time_Increment `dt`, with the convergence globals sized.
struct Scheme : ::testing::Test {
  std::unique_ptr<GridCase> t;
  FluidDomain* d = nullptr;
  unsigned n = 0;

  void Make(const std::string& flags, double dt) {
    GridLayout g;
    g.flags = flags;
    g.properties = "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"0.1\" [Kg/m.s];\n";
    t.reset();
    t = std::make_unique<GridCase>(g);
    d = &t->d;
    n = unsigned(d->numNodes);
    for (ReaVec* v : {&VarIncrement, &VarDenominat, &VarTolerance, &VarIncrRatio}) v->resize(23, 0.0);
    VarTolerance = 1e-3;
    Initial_Phase = 0;
    Run_Time_Increment = dt;
    Iterations = 1;
    d->StartNewStep();
  }
  ReaVec& V(int id) { return d->Var(id); }
  bool Boundary(unsigned i) const {
    const double x = t->X(i, 1), y = t->X(i, 2);
    return x == 0 || x == 1 || y == 0 || y == 1;
  }
  // Every boundary node fixed in both components at its current (start-of-step) velocity.
  void FixBoundary() {
    for (unsigned i = 1; i <= n; ++i)
      if (Boundary(i)) d->Cond(FixVelX).assign(i, 1), d->Cond(FixVelY).assign(i, 1);
  }
};

TEST_F(Scheme, ExplicitUpdateKeepsASteadyUniformFlow) {
  Make("Solve_NavierStokes", 0.5);
  for (unsigned i = 1; i <= n; ++i) V(VelX)(i) = V(VelX0)(i) = 1, V(VelY)(i) = V(VelY0)(i) = -0.5;
  FixBoundary();
  EXPECT_GE(d->SolveNavierStokesExplicit(), 1);
  for (unsigned i = 1; i <= n; ++i) {
    EXPECT_NEAR(V(VelX)(i), 1, 1e-12) << i;
    EXPECT_NEAR(V(VelY)(i), -0.5, 1e-12) << i;
  }
}

TEST_F(Scheme, ExplicitUpdateSubStepsALongStepAndStaysBounded) {
  // A bump in the middle of a box with still walls, over a step 200 times the diffusive bound
  // h^2 / (4 nu): one forward-Euler step would blow up; the sub-steps damp the bump instead.
  Make("Solve_NavierStokes", 20.0);
  FixBoundary();
  const unsigned mid = t->Node(2, 2);
  V(VelX)(mid) = 1;
  const int steps = d->SolveNavierStokesExplicit();
  EXPECT_GT(steps, 100);
  double largest = 0;
  for (unsigned i = 1; i <= n; ++i) largest = std::fmax(largest, std::fabs(V(VelX)(i)) + std::fabs(V(VelY)(i)));
  EXPECT_LT(largest, 1.0);
  EXPECT_LT(V(VelX)(mid), 0.5);
  for (unsigned i = 1; i <= n; ++i) {
    if (Boundary(i)) {
      EXPECT_EQ(V(VelX)(i), 0.0) << i;
    }
  }

  // Without the Navier-Stokes form nothing moves.
  Make("Solve_Energy", 20.0);
  EXPECT_EQ(d->SolveNavierStokesExplicit(), 0);
}

TEST_F(Scheme, PseudoconcentrationTransportKeepsAUniformFieldAndItsFixedNodes) {
  Make("Solve_NavierStokes Solve_Pseudoconcentration", 0.5);
  for (unsigned i = 1; i <= n; ++i) V(VelX)(i) = 1, V(VelY)(i) = 0.5, V(Pseudo)(i) = V(Pseudo0)(i) = 0.3;
  d->CalcConvectiveMatrixes(V(VelX), V(VelY), V(VelZ));
  d->SolvePseudoconcentration();
  for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(V(Pseudo)(i), 0.3, 1e-10) << i;

  // A fixed inflow value other than the field's keeps its value and is carried downstream.
  const unsigned in = t->Node(0, 2), next = t->Node(1, 2);
  d->Cond(FixPseudo).assign(in, 1);
  V(Pseudo)(in) = V(Pseudo0)(in) = 1;
  d->SolvePseudoconcentration();
  EXPECT_EQ(V(Pseudo)(in), 1.0);
  EXPECT_GT(V(Pseudo)(next), 0.3 + 1e-3);
}

TEST_F(Scheme, EnergyTransportKeepsAUniformFieldAndSpreadsAPeakAtRest) {
  Make("Solve_NavierStokes Solve_Energy", 0.5);
  for (unsigned i = 1; i <= n; ++i) V(VelX)(i) = 1, V(VelY)(i) = -1, V(EnergyV)(i) = V(EnergyV0)(i) = 2;
  d->CalcConvectiveMatrixes(V(VelX), V(VelY), V(VelZ));
  d->SolveEnergy();
  for (unsigned i = 1; i <= n; ++i) EXPECT_NEAR(V(EnergyV)(i), 2, 1e-10) << i;

  // At rest the energy only diffuses: the peak lowers, nothing goes negative and no node
  // gains more than the peak lost.
  V(VelX) = 0.0, V(VelY) = 0.0, V(EnergyV) = 0.0, V(EnergyV0) = 0.0;
  const unsigned mid = t->Node(2, 2);
  V(EnergyV)(mid) = V(EnergyV0)(mid) = 1;
  d->CalcConvectiveMatrixes(V(VelX), V(VelY), V(VelZ));
  d->SolveEnergy();
  EXPECT_LT(V(EnergyV)(mid), 1.0);
  EXPECT_GT(V(EnergyV)(t->Node(2, 1)), 0.0);
  for (unsigned i = 1; i <= n; ++i) EXPECT_GE(V(EnergyV)(i), 0.0) << i;
}

TEST_F(Scheme, CorrectVIsTheDomainsVelocityCorrection) {
  Make("Solve_NavierStokes", 0.5);
  const unsigned a = t->Node(0, 1), b = t->Node(4, 3);
  d->Cond(FixVelX).assign(a, 1);
  ReaVec* nv = new ReaVec(3, 0.0);
  (*nv)(1) = 0.6, (*nv)(2) = 0.8;
  d->giveNormalPlex()->set_at(int(b), nv);
  d->NormalVelocity(int(b)) = 0.5;
  d->Cond(NormalVelNodes).assign(b, 1);
  auto fill = [&] {
    for (unsigned i = 1; i <= n; ++i) V(VelX)(i) = 0.1 * i, V(VelY)(i) = 2 - 0.05 * i, V(VelX0)(i) = -3;
  };
  fill();
  d->CorrectVelocity();
  const ReaVec x = V(VelX), y = V(VelY);
  fill();
  CorrectV(d);
  EXPECT_EQ(V(VelX), x);
  EXPECT_EQ(V(VelY), y);
  EXPECT_EQ(V(VelX)(a), -3.0);
  EXPECT_NEAR(0.6 * V(VelX)(b) + 0.8 * V(VelY)(b), 0.5, 1e-14);
  CorrectV(nullptr);  // no fluid domain: nothing to correct
}

}  // namespace
