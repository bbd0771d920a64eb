#include "foundation/declarations.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "foundation/alloc.h"
#include "foundation/clock.h"
#include "foundation/error.h"
#include "tests/support/child.h"

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

// A run that changed the problem-wide state leaves nothing behind after ResetRunState.
TEST(RunState, ResetReturnsEveryGlobalToItsStartValue) {
  Dimension_Olvu = 3;
  Dens_Reference = 1000.0;
  Current_Step = 12;
  Re_LIMIT = 1.0;
  Time_Func = reinterpret_cast<UFunction*>(&Current_Step);
  GravVec.resize(3, 9.81);
  GlobalToFluid.resize(4, 2);
  NULLVec.resize(2, 1.0);
  Verbose_Off = 2;
  AllocInit(4096);
  char tmpl[] = "/tmp/olvu_state_XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  Clock* open = new Clock((dir + "/state").c_str());  // left open, as a fatal end would leave it
  (void)open;
  ResetRunState();
  EXPECT_EQ(Dimension_Olvu, 2);
  EXPECT_EQ(Dens_Reference, -1.0);
  EXPECT_EQ(Current_Step, 0);
  EXPECT_EQ(Re_LIMIT, 200.0);
  EXPECT_EQ(Time_Func, nullptr);
  EXPECT_TRUE(GravVec.null());
  EXPECT_EQ(GlobalToFluid.length(), 0u);
  EXPECT_TRUE(NULLVec.null());
  EXPECT_EQ(Verbose_Off, 0);
  EXPECT_TRUE(noPool());
  EXPECT_EQ(TimeTable::current, nullptr);
  EXPECT_EQ(TimeTable::report, nullptr);
  std::filesystem::remove_all(dir);
}

// After a run that named its report files, a fatal report goes to standard error again.
TEST(RunState, ResetForgetsTheReportFiles) {
  auto r = olvu_test::RunInChild([] {
    MemoryControlOn("named");
    ResetRunState();
    OLVU_FATAL("plain\n");
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.substr(r.err.size() - 6), "plain\n");
  EXPECT_FALSE(r.exists("named.err"));
}

}  // namespace
