// The fluid block of the restart file: written by one run, read back by the next, and each
// fault of an entry.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/driver/run_olvu.h"
#include "tests/model/gridcase.h"
#include "tests/model/resblocks.h"

namespace {

using olvu_test::DataFile;
using olvu_test::ErrFile;
using olvu_test::Folder;
using olvu_test::Replace;
using olvu_test::BlockAt;
using olvu_test::InitialBlock;


const std::string kBase = Replace(DataFile("twosets.dat"), "Function VelocityX \"Y*Y\"", "Function VelocityX \"Y*Y/3\"");
const std::string kRestart = Replace(Replace(Replace(kBase, "Number_of_Steps 2", "Number_of_Steps 4"), "Max_Iterations 3",
                                             "Max_Iterations 3 Restart"),
                                     "Function VelocityX \"Y*Y/3\"", "Function VelocityX \"5\"");

TEST(FluidRestart, RoundTripResumesWithTheSavedFields) {
  Folder f;
  f.write("r.dat", kBase);
  ASSERT_EQ(f.olvu({"-name", "r.dat"}).status, 0);
  const std::string saved = f.read("r.dat.rst");
  EXPECT_NE(saved.find("Fluid;\n\t_VeltX_\tlen = 9;\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\t_Prest_\tlen = 9;\n"), std::string::npos);
  EXPECT_EQ(saved.find("_Tempt_"), std::string::npos);  // no temperature in this domain
  EXPECT_NE(saved.find("EndFluid;\nEndProblem;\n"), std::string::npos);
  // The same problem run through its four steps at once.
  Folder whole;
  whole.write("r.dat", Replace(kBase, "Number_of_Steps 2", "Number_of_Steps 4"));
  ASSERT_EQ(whole.olvu({"-name", "r.dat"}).status, 0);
  const std::string third = BlockAt(whole.read("r.dat.res"), "VELOCITY", "0.3");
  ASSERT_FALSE(third.empty());

  // The restart's initial velocity (5) is replaced by the saved one, so steps 3 and 4 go on
  // from where the first run stopped.
  f.write("r.dat", kRestart);
  auto r = f.olvu({"-name", "r.dat"});
  ASSERT_EQ(r.status, 0) << f.read("r.dat.err");
  EXPECT_EQ(BlockAt(f.read("r.dat.res"), "VELOCITY", "0.3"), third);
}

TEST(FluidRestart, EntryFaultsAndTheGluedForm) {
  Folder f;
  f.write("r.dat", kBase);
  ASSERT_EQ(f.olvu({"-name", "r.dat"}).status, 0);
  const std::string saved = f.read("r.dat.rst");
  struct Case {
    std::string rst, message;
  };
  const Case cases[] = {
      {Replace(saved, "\t_VeltY_\tlen", "\t_Bogus_\tlen"), "FluidDomain::ReadRestart Command _Bogus_ unknown\n"},
      {Replace(saved, "\t_VeltY_\tlen = 9;\n", "\t_VeltY_\tlen = 8;\n"), "Wrong data found in Restart file. Cannot restart.\n\tEntry _VeltY_ of Fluid Domain: 9 values expected, 8 found.\n"},
      {Replace(saved, "\t_VeltY_\tlen", "\t_Con_t_ 1\tlen"), "Restart data error. Wrong vector ID for Concentration.\n"},
      {Replace(saved, "\t_VeltY_\tlen", "\t_Beta_t_ 1\tlen"), "Restart data error. Wrong vector ID for Wave Elevation.\n"},
  };
  for (const Case& c : cases) {
    f.write("r.dat.rst", c.rst);
    f.write("r.dat", kRestart);
    EXPECT_EQ(f.olvu({"-name", "r.dat"}).status, 1);
    EXPECT_EQ(f.read("r.dat.err"), ErrFile(c.message));
    EXPECT_EQ(f.read("r.dat.rst"), c.rst);  // a failed restart leaves the file alone
  }
  // The key glued to its length word, and an entry of a vector this domain does not use.
  const std::string glued = Replace(Replace(saved, "\t_VeltX_\tlen", "\t_VeltX_len"), "EndFluid;",
                                    "\t_Tempt_\tlen = 2;\n 1.0 2.0\nEndFluid;");
  f.write("r.dat.rst", glued);
  auto r = f.olvu({"-name", "r.dat"});
  EXPECT_EQ(r.status, 0) << f.read("r.dat.err");
}

TEST(FluidRestart, EntriesOfFieldsTheProblemLacksAreSkippedWithANotice) {
  // A temperature-only strip restarted from its file with the temperature entry renamed to a field
  // it lacks: the pressure (whose entry also feeds the imposed pressures) and the previous-step
  // velocity. The run goes on from the initial temperature.
  olvu_test::GridLayout g;
  g.nx = 4, g.ny = 1;
  const std::string bc = g.FixedTemperatures([](double x, double) { return x == 0 ? 100.0 : (x == 1 ? 0.0 : NAN); });
  auto text = [&](const char* steps) {
    return g.Problem(std::string("GeneralData Number_of_Steps ") + steps + " Time_Increment \"1\" [s] OutPut_Step 1 "
                     "Max_Iterations 3;", bc, "ToleranceData TemConvergenceNorm 1e-9;");
  };
  Folder f;
  f.write("t.dat", text("2"));
  ASSERT_EQ(f.olvu({"-name", "t.dat"}).status, 0) << f.read("t.dat.err");
  const std::string saved = f.read("t.dat.rst");
  for (const std::string key : {"_Prest_", "_VtdtX_"}) {
    f.write("t.dat.rst", Replace(saved, "\t_Tempt_\tlen = 10;", "\t" + key + "\tlen = 10;"));
    f.write("t.dat", text("4 Restart"));
    ASSERT_EQ(f.olvu({"-name", "t.dat"}).status, 0) << key << f.read("t.dat.err");
    EXPECT_NE(f.read("t.dat.war").find(" -->\tFluid Domain: Restart entry " + key + " skipped: this problem has no such "
                                       "field\n"), std::string::npos) << key;
    const std::string res = f.read("t.dat.res");
    EXPECT_NE(res.find("Result \"TEMPERATURE\" \"DORVANTE\" 4 "), std::string::npos) << key;
    EXPECT_TRUE(res.find("nan") == res.npos && res.find("inf") == res.npos) << key;
  }
}

}  // namespace
