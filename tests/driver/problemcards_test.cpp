// The problem-wide cards before the nodes: unit systems and the order of the required cards.
#include <gtest/gtest.h>

#include "tests/driver/cavity_data.h"
#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

struct Case {
  std::string what;
  std::string from;
  std::string to;
  std::string message;
};

TEST(ProblemCards, MissingOrIncompleteCardsStopWithTheirMessage) {
  const Case cases[] = {
      {"internal units", "ProblemDefinition;", "InternalUnits Length [mm] Mass [Kg];\nProblemDefinition;",
       "InternalUnits (Length, Time and Mass) must be defined\n"},
      {"no problem definition", "ProblemDefinition;\n", "", "Wrong \"ProblemDefinition\" card\n"},
      {"no general data", "GeneralData", "GenData", "Wrong \"GeneralData\" card\n"},
      {"no physical data", "PhysicalData", "Physics", "Wrong \"PhysicalData\" card\n"},
      {"no nodes", "Nodes;", "Points;", "Wrong \"Nodes\" card\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Folder dir;
    const std::string data = Replace(CavityData(), c.from, c.to);
    ASSERT_NE(data, CavityData());
    dir.write("cavity", data);
    EXPECT_EQ(dir.olvu({"-name", "cavity"}).status, 1);
    EXPECT_EQ(dir.read("cavity.err"), ErrFile(c.message));
  }
}

TEST(ProblemCards, InternalUnitsDoNotChangeWhatIsWritten) {
  // Results go out in the output units whatever units the solve works in; only the restart file
  // keeps the internal time (0.2 s is 200 ms).
  // A uniform initial velocity: a function of the coordinates would see them in internal units.
  const std::string data = Replace(CavityData(), "\"Y*Y\" [m/s]", "\"0.5\" [m/s]");
  Folder plain, milli;
  plain.write("cavity", data);
  milli.write("cavity", Replace(data, "ProblemDefinition;",
                                "InternalUnits Length [mm] Time [ms] Mass [g];\nProblemDefinition;"));
  ASSERT_EQ(plain.olvu({"-name", "cavity"}).status, 0) << plain.read("cavity.err");
  const Outcome r = milli.olvu({"-name", "cavity"});
  ASSERT_EQ(r.status, 0) << milli.read("cavity.err");
  const std::string a = plain.read("cavity.res"), b = milli.read("cavity.res");
  const std::string head = "Result \"VELOCITY\" \"QUELMA\" 0.2 Vector OnNodes";
  ASSERT_NE(a.find(head), std::string::npos);
  EXPECT_EQ(b.substr(b.find(head), 200), a.substr(a.find(head), 200));
  EXPECT_EQ(RstFrame(milli.read("cavity.rst")), "Problem;\nCurrent_Step = 2 ,\tTotal_Time = 200 ,\tTime_Increment = 100;\nEndProblem;\n");
}

TEST(ProblemCards, SomeVerbosityKeepsWarningsAndTablesButNoNotices) {
  Folder dir;
  dir.write("cavity", Replace(CavityData(), "PhysicalData Gravity 0 -9.81 0 [m/s2];", "PhysicalData;"));
  const Outcome r = dir.olvu({"-name", "cavity", "-verbose", "some"});
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  const std::string war = WithoutHeapNotes(dir.read("cavity.war"));
  EXPECT_NE(war.find("Gravity vector not defined. Taken null gravity vector\n"), std::string::npos) << war;
  EXPECT_EQ(war.find("RUNNING OLVU"), std::string::npos) << war;
  EXPECT_EQ(war.find("STEP = "), std::string::npos) << war;
  EXPECT_EQ(war.find("Results written successfully"), std::string::npos) << war;
  EXPECT_NE(r.out.find("STEP = 2, TIME = 0.2: Converged after 1 iterations.\n"), std::string::npos);
  EXPECT_EQ(dir.read("cavity.for"), "\n0\t\n0.1\t");
  EXPECT_EQ(dir.read("cavity.mov"), "\n0.1\t\n0.2\t");
}

}  // namespace
}  // namespace olvu_test
