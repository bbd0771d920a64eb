// The second-order pressure stabilisation on the Poiseuille channel under mesh refinement: its
// inlet error is a consistency error of order h^2 (tau_p ~ h^2 / (4 nu) times the boundary flux
// of the pressure gradient), so halving h cuts it by about four and the 80 x 20 channel has its
// pressure gradient within 2% of -8 nu U_max / H^2.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/model/channelrun.h"

namespace olvu_test {
namespace {

TEST(PressureStabilisationRuns, SecondOrderChannelErrorFallsWithTheSquareOfTheCellSize) {
  double error[2];
  int k = 0;
  for (int nx : {40, 80}) {
    Folder dir;
    const FlowRun f = Channel(1, "0", "NS_PressStab_2nd_Order", nx, nx / 4);
    std::string res;
    ASSERT_EQ(f.Run(dir, res).status, 0) << dir.read("flow.dat.err");
    error[k++] = std::fabs(Measure(f.grid, res).gradient + 0.8) / 0.8;
  }
  // 2.97% on 40 x 10 and 0.89% on 80 x 20 (ratio 3.3).
  EXPECT_LT(error[1], 0.02);
  EXPECT_GT(error[0] / error[1], 2.5);
}

}  // namespace
}  // namespace olvu_test
