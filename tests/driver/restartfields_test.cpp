// A restarted run takes its fields, step and time from the restart file, not from the data
// file's initial conditions, and does not run the start-up phase again.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/driver/cavity_data.h"
#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

// The value lines of the VELOCITY block written at output time `time`.
std::string VelocityAt(const std::string& res, const std::string& time) {
  const std::string head = "Result \"VELOCITY\" \"QUELMA\" " + time + " Vector OnNodes\n";
  const auto at = res.find(head);
  if (at == std::string::npos) return "";
  const auto values = res.find("Values\n", at);
  const auto end = res.find("End Values\n", values);
  return res.substr(values, end - values);
}

// The cavity with `steps` steps; with `restart` the run continues from its restart file.
std::string Cavity(int steps, bool restart, const std::string& initialVx = "Y*Y") {
  std::string data = Replace(CavityData(), "Number_of_Steps 2", "Number_of_Steps " + std::to_string(steps));
  if (restart) data = Replace(data, "Max_Iterations 3", "Max_Iterations 3 Restart");
  return Replace(data, "Function VelocityX \"0\" [m/s];", "Function VelocityX \"" + initialVx + "\" [m/s];");
}

TEST(RestartFields, ResumedRunStartsFromTheSavedFields) {
  Folder whole;
  whole.write("cavity", Cavity(4, false));
  ASSERT_EQ(whole.olvu({"-name", "cavity"}).status, 0) << whole.read("cavity.err");
  const std::string expected = VelocityAt(whole.read("cavity.res"), "0.4");
  // The field has moved away from rest, so only restored values can reproduce it.
  ASSERT_FALSE(expected.empty());
  ASSERT_EQ(expected.find("\t9\t0\t0\t0\n"), std::string::npos) << expected;

  // The restarted file's own initial velocity is 0: only the saved field can give step 4 its values.
  Folder dir;
  dir.write("cavity", Cavity(2, false));
  ASSERT_EQ(dir.olvu({"-name", "cavity"}).status, 0) << dir.read("cavity.err");
  dir.write("cavity", Cavity(4, true, "0"));
  const Outcome r = dir.olvu({"-name", "cavity"});
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  // The restart keeps ten significant digits, so the resumed steps agree to well below the
  // printed precision of the lid speed, not bit for bit.
  std::istringstream a(VelocityAt(dir.read("cavity.res"), "0.4")), b(expected);
  std::string wa, wb;
  a >> wa, b >> wb;  // "Values"
  double x = 0, y = 0;
  int count = 0;
  while (b >> y) {
    ASSERT_TRUE(a >> x);
    EXPECT_NEAR(x, y, 1e-6) << "value " << count;
    ++count;
  }
  EXPECT_EQ(count, 36);
}

TEST(RestartFields, ResumedRunSkipsTheStartUpPhase) {
  Folder dir;
  dir.write("cavity", Cavity(2, false));
  ASSERT_EQ(dir.olvu({"-name", "cavity"}).status, 0) << dir.read("cavity.err");
  dir.write("cavity", Replace(Cavity(4, true), "Restart", "Restart Initial_Steps 3 Start_Up_Control Speed"));
  const Outcome r = dir.olvu({"-name", "cavity"});
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  const std::string war = WithoutHeapNotes(dir.read("cavity.war"));
  EXPECT_EQ(war.find("INITIAL PHASE"), std::string::npos) << war;
  EXPECT_EQ(war.find("Initialising Pressure & Velocity Fields"), std::string::npos) << war;
  EXPECT_EQ(r.out.find("STEP = 1,"), std::string::npos);
  EXPECT_NE(r.out.find("STEP = 3, TIME = 0.3: Converged"), std::string::npos) << r.out;
}

TEST(RestartFields, SavedStepAtTheLargestIntegerIsBeyondTheRun) {
  // A step that wrapped past the largest integer would be negative: its time increment of 0 would
  // then stop the run at once with another message.
  const std::string data = Replace(Cavity(4, true), "\"0.1\" [s]", "\"if (step < 0) then 0 else 0.1 endif\" [s]");
  // A saved step beyond the int range is refused as a number of the card.
  const std::pair<const char*, const char*> cases[] = {
      {"2147483647", "(Current_Step > Number_of_Steps) found in restart file.\n"},
      {"99999999999", "Wrong maximum Current_Step given\n"}};
  for (const auto& [saved, message] : cases) {
    SCOPED_TRACE(saved);
    Folder dir;
    dir.write("cavity", Cavity(2, false));
    ASSERT_EQ(dir.olvu({"-name", "cavity"}).status, 0) << dir.read("cavity.err");
    const std::string rst = Replace(dir.read("cavity.rst"), "Current_Step = 2 ,", std::string("Current_Step = ") + saved + " ,");
    dir.write("cavity.rst", rst);
    dir.write("cavity", data);
    const Outcome r = dir.olvu({"-name", "cavity"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("cavity.err"), ErrFile(message));
    EXPECT_EQ(dir.read("cavity.rst"), rst);
  }
}

TEST(RestartFields, LastStepsBelowTheLargestIntegerEndTheRun) {
  // The counter passes the last step by one: a last step at the largest integer is refused before
  // anything is read; one below it runs its last step and ends.
  const int status[] = {1, 0};
  const char* last[] = {"2147483647", "2147483646"};
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(last[k]);
    Folder dir;
    dir.write("cavity", Cavity(2, false));
    ASSERT_EQ(dir.olvu({"-name", "cavity"}).status, 0) << dir.read("cavity.err");
    const std::string saved = std::to_string(std::stoll(last[k]) - 1);
    const std::string rst = Replace(dir.read("cavity.rst"), "Current_Step = 2 ,", "Current_Step = " + saved + " ,");
    dir.write("cavity.rst", rst);
    dir.write("cavity", Replace(Cavity(2, true), "Number_of_Steps 2", std::string("Number_of_Steps ") + last[k]));
    const Outcome r = dir.olvu({"-name", "cavity"});
    EXPECT_EQ(r.status, status[k]) << dir.read("cavity.err");
    if (status[k] == 1) {
      EXPECT_EQ(dir.read("cavity.err"), ErrFile("Wrong Number of Steps\n"));
      EXPECT_EQ(dir.read("cavity.rst"), rst);
    } else {
      EXPECT_NE(r.out.find(std::string("STEP = ") + last[k] + ", TIME = 0.3: Converged"), std::string::npos) << r.out;
      EXPECT_NE(dir.read("cavity.rst").find(std::string("Current_Step = ") + last[k] + " ,"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace olvu_test
