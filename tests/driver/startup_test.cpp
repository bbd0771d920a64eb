// The ramp factors of the start-up intervals.
#include <gtest/gtest.h>

#include "driver/problem.h"

namespace {

TEST(StartUpRamp, FourSpeedIntervals) {
  const double initial[4] = {0.1464, 0.5, 0.8536, 1};
  const double accelerate[4] = {0.1464, 3.414, 1.707, 1.1716};
  for (int i = 1; i <= 4; ++i) {
    const StartUpFactors k = StartUpRamp(i, 4, true, true);
    EXPECT_NEAR(k.initial, initial[i - 1], 1e-4) << i;
    EXPECT_NEAR(k.accelerate, accelerate[i - 1], 1e-3) << i;
  }
}

TEST(StartUpRamp, TimeStartUpAndUnrampedIntervalsDoNotAccelerate) {
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(StartUpRamp(i, 4, true, false).accelerate, 1.0);
    // Without a start phase the factors are taken as 1: the last interval's f = 1.
    EXPECT_EQ(StartUpRamp(i, 4, false, true).accelerate, 1.0);
  }
  EXPECT_EQ(StartUpRamp(1, 1, true, true).initial, 1.0);
  EXPECT_EQ(StartUpRamp(1, 1, true, true).accelerate, 1.0);
}

}  // namespace
