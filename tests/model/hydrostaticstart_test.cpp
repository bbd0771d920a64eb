// The hydrostatic initial pressure of a total-pressure run is kinematic like every pressure of
// the solve: g.(x - x0) whatever the density, which only scales what is written.
#include <gtest/gtest.h>

#include "foundation/declarations.h"
#include "tests/model/gridcase.h"

namespace {

using olvu_test::GridCase;
using olvu_test::GridLayout;

TEST(HydrostaticStart, PressureIsKinematicForAnyDensity) {
  for (const char* rho : {"1", "1000"}) {
    GridLayout g;
    g.nx = g.ny = 2;
    g.flags = "Solve_NavierStokes Total_Pressure";
    g.properties = std::string("Function Density \"") + rho + "\" [Kg/m3];\nFunction Viscosity \"0.1\" [Kg/m.s];\n";
    GridCase t(g);
    FluidDomain& d = t.d;
    for (ReaVec* v : {&VarIncrement, &VarDenominat, &VarTolerance, &VarIncrRatio}) v->resize(23, 0.0);
    Initial_Phase = 0;
    Run_Time_Increment = 0.5;
    d.StartNewStep();
    GravVec.resize(3, 0.0);
    GravVec(2) = -9.81;
    FStatic.resize(3, 0.0);
    FStatic(2) = 1;  // pressure origin at y = 1
    d.SolveInitialPressure();
    for (unsigned i = 1; i <= unsigned(d.numNodes); ++i)
      EXPECT_NEAR(d.Var(Pres)(i), 9.81 * (1 - t.X(i, 2)), 1e-9) << rho << " " << i;
    GravVec.resize(0), FStatic.resize(0);
  }
}

}  // namespace
