// Keywords of the general-data card that shape the run: start-up intervals, run velocities and
// the acceleration phases between them.
#include <gtest/gtest.h>

#include <regex>

#include "tests/driver/cavity_data.h"
#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

std::string General(const std::string& extra, int steps = 2, int outputStep = 1) {
  return CavityGeneral("GeneralData Number_of_Steps " + std::to_string(steps) + " Time_Increment \"0.1\" [s] OutPut_Step " +
                       std::to_string(outputStep) + " Max_Iterations 3 " + extra + ";");
}

// How often `part` occurs in `text`.
int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

TEST(GeneralData, NegativeInitialStepsRunNoInterval) {
  Folder plain, negative;
  plain.write("cavity", General(""));
  negative.write("cavity", General("Initial_Steps -3 Start_Up_Control Time"));
  const Outcome a = plain.olvu({"-name", "cavity"});
  const Outcome b = negative.olvu({"-name", "cavity"});
  ASSERT_EQ(b.status, 0) << negative.read("cavity.err");
  EXPECT_EQ(b.out, a.out);
  EXPECT_EQ(Count(WithoutHeapNotes(negative.read("cavity.war")), "INITIAL PHASE"), 0);
}

TEST(GeneralData, RunVelocitiesNearZeroOfEitherSignAreRefused) {
  for (const char* list : {"1 0 2", "1 -1e-15 2"}) {
    SCOPED_TRACE(list);
    Folder dir;
    dir.write("cavity", General(std::string("NewRunVelocities ") + list + " StepsNewRunVelocities 5"));
    EXPECT_EQ(dir.olvu({"-name", "cavity"}).status, 1);
    EXPECT_EQ(dir.read("cavity.err"), ErrFile("Wrong definition of NewRunVelocities\n"));
  }
}

TEST(GeneralData, ThreeRunVelocitiesGiveTwoAccelerationPhases) {
  // Step 1, then two runs of 30 steps; each acceleration phase runs 30 / 10 + 1 = 4 intervals and
  // the output step is bounded by the run's 30 steps.
  Folder dir;
  dir.write("cavity", General("NewRunVelocities 1 2 4 StepsNewRunVelocities 30", 1, 100));
  const Outcome r = dir.olvu({"-name", "cavity"});
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  const std::string war = WithoutHeapNotes(dir.read("cavity.war"));
  // The fluid domain's own warnings may come between the notices of a phase.
  EXPECT_NE(war.find(" -->\tStarting Acceleration Phase\n -->\tINITIAL PHASE: 1 of 4\n -->\tINITIAL PHASE: 2 of 4\n"
                     " -->\tINITIAL PHASE: 3 of 4\n -->\tINITIAL PHASE: 4 of 4\n -->\tSTEP = 2, TIME = 0.2:"),
            std::string::npos);
  EXPECT_EQ(Count(war, "Starting Acceleration Phase\n"), 2);
  EXPECT_EQ(Count(war, "INITIAL PHASE: 4 of 4\n"), 2);
  const auto second = war.rfind("Starting Acceleration Phase");
  EXPECT_LT(war.find("STEP = 31, TIME = 3.1:"), second);
  EXPECT_LT(second, war.rfind("INITIAL PHASE: 4 of 4"));
  EXPECT_LT(war.rfind("INITIAL PHASE: 4 of 4"), war.find("STEP = 32, TIME = 3.2:"));
  EXPECT_EQ(Count(r.out, ": Converged after"), 61);
  EXPECT_NE(r.out.find("STEP = 61, TIME = 6.1: Converged"), std::string::npos);
  std::vector<std::string> times;
  const std::string res = dir.read("cavity.res");
  const std::regex line("Result \"VELOCITY\" \"QUELMA\" (\\S+) Vector OnNodes");
  for (std::sregex_iterator i(res.begin(), res.end(), line), e; i != e; ++i) times.push_back((*i)[1]);
  EXPECT_EQ(times, (std::vector<std::string>{"0", "0.1", "3", "3.1", "6", "6.1"}));
  // The time to the last bit: 61 increments of 0.1 add up to just under 6.1.
  EXPECT_EQ(RstFrame(dir.read("cavity.rst")),
            "Problem;\nCurrent_Step = 61 ,\tTotal_Time = 6.099999999999994 ,\tTime_Increment = 0.1;\nEndProblem;\n");
}

}  // namespace
}  // namespace olvu_test
