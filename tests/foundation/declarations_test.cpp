#include "foundation/declarations.h"

#include <gtest/gtest.h>

namespace {

// The start values every reader relies on before the problem data is read.
TEST(RunState, StartValues) {
  EXPECT_EQ(Dimension_Olvu, 2);
  EXPECT_EQ(AutoFact_Time_Increment, 1.0);
  EXPECT_EQ(Initial_Phase, 1);
  EXPECT_EQ(Initial_Factor, 1.0);
  EXPECT_EQ(Accelerate_Factor, 1.0);
  EXPECT_EQ(Dens_Reference, -1.0);
  EXPECT_EQ(Pk_LIMIT, 20.0);
  EXPECT_EQ(Re_LIMIT, 200.0);
  for (double v : {Pe_LIMIT, Rw_LIMIT, Pw_LIMIT, Rv_LIMIT, Pv_LIMIT}) EXPECT_EQ(v, 2000.0);
  EXPECT_EQ(Total_Time, 0.0);
  EXPECT_EQ(Current_Step, 0);
  EXPECT_EQ(Time_Func, nullptr);
  EXPECT_EQ(InternalUnits, nullptr);
  for (const ReaVec* v : {&GravVec, &VarIncrement, &VarDenominat, &VarTolerance, &VarIncrRatio, &FStatic})
    EXPECT_TRUE(v->null());
  for (const IntVec* v : {&WriteResultsData, &GlobalToFluid, &FluidToGlobal, &GlobalToSolid, &SolidToGlobal})
    EXPECT_EQ(v->length(), 0u);
}

}  // namespace
