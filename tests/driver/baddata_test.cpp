// Faults in the problem-wide part of a data file and in the time-increment function: each ends the
// run with its message in the .err file and exit status 1.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

std::string Cavity() { return DataFile("cavity"); }

// The cavity without the text from `from` up to (not including) `to`.
std::string Without(const std::string& from, const std::string& to) {
  std::string s = Cavity();
  const auto a = s.find(from);
  const auto b = s.find(to, a);
  EXPECT_NE(a, std::string::npos);
  EXPECT_NE(b, std::string::npos);
  return s.erase(a, b - a);
}

struct BadFile {
  std::string what;
  std::string data;
  std::string message;
};

TEST(BadData, EachFaultOfTheDataFileHasItsMessage) {
  const std::string general = "GeneralData Number_of_Steps 2 Time_Increment \"0.1\" [s] OutPut_Step 1 Max_Iterations 3;";
  auto withGeneral = [&](const std::string& g) { return Replace(Cavity(), general, g); };
  const BadFile bad[] = {
      {"unused term", Replace(Cavity(), "[m/s2];", "[m/s2] Bogus 3;"),
       "Bug found!\n Terms that don't have sense found in input file.\n\tPhysicalData Gravity 0 -9.81 0 [m/s2] Bogus "
       "3;\n"},
      {"no steps", Replace(Cavity(), "Number_of_Steps 2", "Number_of_Steps 0"), "Wrong Number of Steps\n"},
      {"no output step", Replace(Cavity(), "OutPut_Step 1", "OutPut_Step 0"), "Wrong Output Steps\n"},
      {"no iterations", Replace(Cavity(), "Max_Iterations 3", "Max_Iterations 0"), "Max_Iterations must be >= 1\n"},
      {"zero increment", Replace(Cavity(), "\"0.1\" [s]", "\"0\" [s]"), "Too Small Time Increment found\n"},
      {"infinite increment", Replace(Cavity(), "\"0.1\" [s]", "\"1e308*10\" [s]"), "Too Small Time Increment found\n"},
      {"run velocity 0", withGeneral(general.substr(0, general.size() - 1) + " NewRunVelocities 1 0 2 StepsNewRunVelocities 5;"),
       "Wrong definition of NewRunVelocities\n"},
      {"no steps for the new runs", withGeneral(general.substr(0, general.size() - 1) + " NewRunVelocities 1 2 StepsNewRunVelocities 0;"),
       "Wrong minimum StepsNewRunVelocities given\n"},
      {"refinement word", withGeneral(general.substr(0, general.size() - 1) + " Refine_Mesh Fine;"),
       "Background mesh type Fine not implemented\n"},
      {"gravity of two", Replace(Cavity(), "Gravity 0 -9.81 0", "Gravity 0 -9.81"), "Gravity must be three dimensional\n"},
      {"origin of two", Replace(Cavity(), "[m/s2];", "[m/s2] Pres_Origin 0 0 [m];"),
       "Origin of pressure must be three dimensional\n"},
      {"output units", Replace(Cavity(), "ProblemDefinition;", "OutputUnits Length [mm] Time [s];\nProblemDefinition;"),
       "OutputUnits (Length, Time and Mass) must be defined\n"},
      {"nodes not consecutive", Replace(Cavity(), "  3  1.0 0.0 0.0\n", ""), "Nodes must have consecutive indexes. See index 3\n"},
      {"no definition block", Without("FluidDefinition", "TotalDefinition"), "Problem to be Solved not Defined\n"},
      {"no total definition", Without("TotalDefinition", "EndProblem"), "Wrong input file found. TotalDefinition is missing.\n"},
      {"no tolerance data", Without("ToleranceData", "ElmSets;\nEndElmSets;\nEndProblem"), "Wrong \"ToleranceData\" card\n"},
      {"empty element list", Without("  1  1 2 5", "End Elements"), "Mesh 1: Element list is empty\n"},
      {"no boundary block", Without("Boundary;", "TotalDefinition"), "Wrong \"Boundary\" card\n"},
      {"boundary card misspelt", Replace(Cavity(), "Boundary;", "Boundaries;"), "Wrong \"Boundary\" card\n"},
      {"file cut inside a card", Cavity().substr(0, 70), "Unexpected end of file cavity found\n"},
      {"solid definition", Replace(Cavity(), "TotalDefinition;", "SolidDefinition;\nTotalDefinition;"),
       "\"Integration_Scheme\" must be followed by a word\n"},
      {"interface set", Replace(Cavity(), "ElmSets;\nEndElmSets;\nEndProblem", "ElmSets;\nSet 4 Type Interface;\nEndElmSets;\nEndProblem"),
       "Interface set 4 needs both a fluid and a solid domain\n"},
      {"other total set", Replace(Cavity(), "ElmSets;\nEndElmSets;\nEndProblem", "ElmSets;\nSet 4 Type Fluid;\nEndElmSets;\nEndProblem"),
       "ElmSet Fluid not implemented\n"},
  };
  for (const BadFile& b : bad) {
    SCOPED_TRACE(b.what);
    ASSERT_NE(b.data, Cavity());
    Folder dir;
    dir.write("cavity", b.data);
    const Outcome r = dir.olvu({"-name", "cavity"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("cavity.err"), ErrFile(b.message));
    // A refused file writes no result file that could pass for the run's.
    for (const char* ext : {".res", ".for", ".mov", ".rst"})
      EXPECT_FALSE(dir.exists(std::string("cavity") + ext)) << ext;
  }
}

TEST(BadData, RefusedFileLeavesTheEarlierResultsAlone) {
  // A good run, then the same name refused at its first card or further in: the refused run's
  // message is in .err, and the good run's results are as it left them; .war holds what the
  // refused run said before its error (refused at the first card, it is not touched).
  const std::string springs = Replace(ReadFile(std::string(OLVU_EXAMPLES_DIR) + "/spring_body"),
                                      "Number_of_Steps 160", "Number_of_Steps 2");
  const struct {
    const char* what;
    std::string name, good, bad;
    const char* message;
    bool warningsKept;
  } cases[] = {
      {"first card", "cavity", DataFile("cavity"), Replace(DataFile("cavity"), "OLVU_2D;", "OLVU_3D;"),
       "OLVU_2D: Incorrect input file format: the data file is OLVU_3D; run it with -3D\n", true},
      {"a spring of five values", "spring_body", springs,
       Replace(springs, "Springs 100 0 1 1.4762912 1 0.5", "Springs 100 0 1 1.4762912 1"),
       "Square Error: Springs has 5 values; a spring needs 6 (KD KR Ax Ay Bx By)\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Folder dir;
    dir.write(c.name, c.good);
    ASSERT_EQ(dir.olvu({"-name", c.name}).status, 0);
    const char* const kept[] = {".res", ".for", ".mov", ".rst", ".kvo.res", ".sat"};
    std::vector<std::string> files;
    for (const char* ext : kept) files.push_back(dir.read(c.name + ext));
    ASSERT_FALSE(files[0].empty());
    const std::string war = WithoutHeapNotes(dir.read(c.name + ".war"));
    dir.write(c.name, c.bad);
    const Outcome r = dir.olvu({"-name", c.name});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read(c.name + ".err"), ErrFile(c.message));
    for (std::size_t k = 0; k < files.size(); ++k) EXPECT_EQ(dir.read(c.name + kept[k]), files[k]) << kept[k];
    EXPECT_EQ(WithoutHeapNotes(dir.read(c.name + ".war")) == war, c.warningsKept);
  }
  Folder dir;
  // In three dimensions the 2D file is the wrong one.
  dir.write("cavity", DataFile("cavity"));
  EXPECT_EQ(dir.olvu({"-3D", "-name", "cavity"}).status, 1);
  EXPECT_EQ(dir.read("cavity.err"),
            ErrFile("OLVU_3D: Incorrect input file format: the data file is OLVU_2D; run it without -3D\n"));
  // The next good run removes the error file of the failed one.
  EXPECT_EQ(dir.olvu({"-name", "cavity"}).status, 0);
  EXPECT_FALSE(dir.exists("cavity.err"));
}

TEST(BadData, TimeIncrementThatFailsAtStepTwoKeepsStepOne) {
  for (const char* late : {"0", "1e308*10-1e308*10"}) {
    SCOPED_TRACE(late);
    Folder dir;
    dir.write("cavity", Replace(DataFile("cavity"), "\"0.1\" [s]",
                                std::string("\"if (step<2) then 0.1 else ") + late + " endif\" [s]"));
    const Outcome r = dir.olvu({"-name", "cavity"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("cavity.err"), ErrFile("Too Small Time Increment found\n"));
    const std::string res = dir.read("cavity.res");
    EXPECT_NE(res.find("Result \"VELOCITY\" \"QUELMA\" 0.1 Vector OnNodes"), std::string::npos);
    EXPECT_EQ(res.find("QUELMA\" 0.2"), std::string::npos);
    EXPECT_EQ(RstFrame(dir.read("cavity.rst")), "Problem;\nCurrent_Step = 1 ,\tTotal_Time = 0.1 ,\tTime_Increment = 0.1;\nEndProblem;\n");
  }
}

TEST(BadData, UnwritableResultFileIsFatal) {
  Folder dir;
  dir.write("cavity", DataFile("cavity"));
  ASSERT_EQ(mkdir(dir.path("cavity.res").c_str(), 0775), 0);
  const Outcome r = dir.olvu({"-name", "cavity"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.read("cavity.err"), ErrFile("Cannot open output file \"cavity.res\"\n"));
}

TEST(BadData, FailedWritesAreFatal) {
  // A full device takes the file open but refuses the bytes: the run must not go on as if written.
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  for (const char* ext : {".res", ".mov", ".rst"}) {
    SCOPED_TRACE(ext);
    Folder dir;
    dir.write("cavity", DataFile("cavity"));
    ASSERT_EQ(symlink("/dev/full", dir.path(std::string("cavity") + ext).c_str()), 0);
    const Outcome r = dir.olvu({"-name", "cavity"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("cavity.err"), ErrFile(std::string("Cannot write output file \"cavity") + ext + "\"\n"));
  }
}

}  // namespace
}  // namespace olvu_test
