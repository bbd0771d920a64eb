// Guards of the interpolation pairs and of the background-mesh estimator: a pair outside its
// vectors, a second list shorter than the first and estimator data without a mass matrix end
// the run with their messages instead of reading past a vector.
#include <gtest/gtest.h>

#include <string>

#include "foundation/intvec.h"
#include "foundation/reavec.h"
#include "mesh/interpolate.h"
#include "mesh/refinemesh.h"
#include "tests/support/child.h"

using olvu_test::RunInChild;

TEST(InterpolatorGuards, PairsOutsideTheirVectorsEndTheRun) {
  struct Case {
    const char* what;
    int first, second;
    unsigned secondLength;
  };
  const Case cases[] = {
      {"first past a", 3, 1, 2}, {"second past b", 1, 4, 2}, {"null position", 0, 1, 2}, {"second list short", 1, 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto r = RunInChild([&c] {
      Interpolator pairs;
      pairs.first = IntVec(2, 1), pairs.second = IntVec(c.secondLength, 1);
      pairs.first(2) = c.first;
      if (c.secondLength > 1) pairs.second(2) = c.second;
      ReaVec a(2, 1.0), b(3, 1.0);
      pairs.interpolate(a, b);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n\nWrong Interpolator pair 2\n");
  }
}

TEST(InterpolatorGuards, EstimatorWithoutAMassMatrixEndsTheRun) {
  auto r = RunInChild([] {
    DesiredSizeFields f;
    ReaVec h(4, 1.0);
    f.h = &h;
    BackgroundSizes s;
    DesiredElementSize(kEdgeLengthBackMesh, f, s);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\nWrong Background Mesh data\n");
}
