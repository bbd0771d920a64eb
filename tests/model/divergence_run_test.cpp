// A flow run whose fields become non-finite part-way: it stops with a fatal message and status 1,
// and the result blocks written before the fault stay in the result file.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver/run_olvu.h"
#include "tests/model/gridcase.h"

namespace olvu_test {
namespace {

// A channel of 8 x 2 cells whose viscosity is 0.1 at step 1 and overflows to infinity at step 2
// (exp(800)); results are written every step.
std::string BlowingUpChannel() {
  GridSpec g;
  g.nx = 8, g.ny = 2, g.lx = 4;
  g.flags = "Solve_NavierStokes";
  g.properties = "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"0.1*exp(800*(step-1))\" [Kg/m.s];\n";
  std::string body = g.Text();
  body = body.substr(0, body.rfind("End;\n"));
  std::string boundary;
  for (int j = 0; j <= g.ny; ++j)
    for (int i = 0; i <= g.nx; ++i) {
      const std::string node = "Node " + std::to_string(g.Id(i, j));
      if (j == 0 || j == g.ny)
        boundary += node + " Velc 0 0 0;\n";
      else if (i == 0)
        boundary += node + " Velc 1 0 0;\n";
      else if (i == g.nx)
        boundary += node + " Pres 0;\n";
    }
  return "OLVU_2D;\nProblemDefinition;\nGeneralData Number_of_Steps 3 Time_Increment \"0.5\" [s] OutPut_Step 1 "
         "Max_Iterations 5;\nPhysicalData Gravity 0 0 0 [m/s2];\n" +
         body + "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n" + boundary +
         "EndBoundary;\nTotalDefinition;\nToleranceData VelConvergenceNorm 1e-4 PreConvergenceNorm 1e-4;\n"
         "ElmSets;\nEndElmSets;\nEndProblem;\n";
}

TEST(DivergingRuns, NonFiniteFieldsStopTheRunAndKeepTheWrittenResults) {
  // Every fluid quantity reaches the ratios only through a linear solve, and the solver refuses a
  // non-finite residual first ("Singular system found"); the ratio test ("Fluid nonlinear
  // algorithm diverged") is the stop for a non-finite change that a solve let through.
  Folder dir;
  dir.write("flow.dat", BlowingUpChannel());
  const Outcome o = dir.olvu({"-name", "flow.dat"});
  EXPECT_EQ(o.status, 1);
  const std::string err = dir.read("flow.dat.err") + o.err;
  EXPECT_NE(err.find("Singular system found in Convection-Difussion solver Fluid Velocity X"), std::string::npos) << err;
  const std::string res = dir.read("flow.dat.res");
  // The velocity of the first step (time 0.5) is there, finite.
  EXPECT_NE(res.find("Result \"VELOCITY\" \"QUELMA\" 0.5 "), std::string::npos) << res.substr(0, 400);
  EXPECT_EQ(res.find("nan"), std::string::npos);
  EXPECT_EQ(res.find("inf"), std::string::npos);
}

}  // namespace
}  // namespace olvu_test
