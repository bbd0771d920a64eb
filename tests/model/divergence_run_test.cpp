// A flow run whose fields become non-finite part-way: it stops with a fatal message and status 1,
// and the result blocks written before the fault stay in the result file.
#include <gtest/gtest.h>

#include <string>

#include "tests/model/channelrun.h"

namespace olvu_test {
namespace {

// A channel of 8 x 2 cells whose viscosity is 0.1 at step 1 and 8e306 at step 2, finite (a
// non-finite material value is refused before any solve) but overflowing in the momentum system;
// results are written every step.
FlowRun BlowingUpChannel() {
  FlowRun f = Channel(1, "0", "", 8, 2);
  f.grid.properties = "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"0.1*exp(709*(step-1))\" [Kg/m.s];\n";
  f.steps = 3;
  f.output = 1;
  return f;
}

TEST(DivergingRuns, NonFiniteFieldsStopTheRunAndKeepTheWrittenResults) {
  // Every fluid quantity reaches the ratios only through a linear solve, and the solver refuses a
  // non-finite residual first ("Singular system found"); the ratio test ("Fluid nonlinear
  // algorithm diverged") is the stop for a non-finite change that a solve let through.
  Folder dir;
  std::string res;
  const Outcome o = BlowingUpChannel().Run(dir, res);
  EXPECT_EQ(o.status, 1);
  const std::string err = dir.read("flow.dat.err") + o.err;
  EXPECT_NE(err.find("Singular system found in Convection-Difussion solver Fluid Velocity X"), std::string::npos) << err;
  // The velocity of the first step (time 0.5) is there, finite.
  EXPECT_NE(res.find("Result \"VELOCITY\" \"QUELMA\" 0.5 "), std::string::npos) << res.substr(0, 400);
  EXPECT_EQ(res.find("nan"), std::string::npos);
  EXPECT_EQ(res.find("inf"), std::string::npos);
}

}  // namespace
}  // namespace olvu_test
