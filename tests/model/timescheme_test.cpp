// The integration scheme of a fluid domain: every scheme name but "Crank_Nicolson" integrates as
// backward Euler (theta 1), so that theta dt is the whole time increment.
#include <gtest/gtest.h>

#include "foundation/declarations.h"
#include "tests/model/gridcase.h"

namespace {

using olvu_test::GridCase;
using olvu_test::GridLayout;

TEST(TimeSchemes, EveryNameButCrankNicolsonIsBackwardEuler) {
  for (const char* scheme : {"Forward_Euler", "Backward_Euler", "Stabilised_FIC", "Adams_Bashforth_2",
                             "Adams_Bashforth_3", "Adams_Moulton_3", "Crank_Nicolson"}) {
    GridLayout g;
    g.nx = g.ny = 1;
    g.scheme = scheme;
    GridCase t(g);
    for (ReaVec* v : {&VarIncrement, &VarDenominat, &VarTolerance, &VarIncrRatio}) v->resize(23, 0.0);
    Initial_Phase = 0;
    Run_Time_Increment = 0.2;
    t.d.StartNewStep();
    const bool cn = std::string(scheme) == "Crank_Nicolson";
    EXPECT_EQ(t.d.Theta(), cn ? 0.5 : 1.0) << scheme;
    EXPECT_DOUBLE_EQ(t.d.DtTheta(), cn ? 0.1 : 0.2) << scheme;
  }
}

}  // namespace
