// Whole runs of the program on the 3x3-node cavity (nine nodes, eight triangles) and its
// variants: what goes to standard output and into each output file, step by step.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

const char kBanner[] = "********** RUNNING OLVU 2D **********\nThreads: 1\n";
const char kNewStep[] = "****************** Initialising New Time Step ******************\n";
const char kEndStep[] = "****************** Finishing  This  Time Step ******************\n";
// The convergence lines of one accepted iteration of the fluid at rest: no solve changes anything.
const char kRatios[] =
    "VarIncrRatio(Vel) 0\nVarIncrRatio(Pre) 0\nVarIncrRatio(Tem) 0\n"
    "AutoFact_Time_Increment 0\t0\t0\nAutoFact_Time_Increment 0\n";

std::string Cavity() { return DataFile("cavity"); }

// The cavity with its general-data card replaced.
std::string CavityWith(const std::string& general) {
  return Replace(Cavity(), "GeneralData Number_of_Steps 2 Time_Increment \"0.1\" [s] OutPut_Step 1 Max_Iterations 3;",
                 general);
}

// Standard output of a step accepted after one iteration.
std::string ConvergedStep(int step, const std::string& time) {
  return std::string(kNewStep) + kRatios + "STEP = " + std::to_string(step) + ", TIME = " + time +
         ": Converged after 1 iterations.\n" + kEndStep;
}

// The "Result" lines of a result file.
std::vector<std::string> ResultLines(const std::string& res) {
  std::vector<std::string> lines;
  std::istringstream in(res);
  for (std::string l; std::getline(in, l);)
    if (l.rfind("Result ", 0) == 0) lines.push_back(l);
  return lines;
}

// The output times of the VELOCITY blocks of a result file.
std::vector<std::string> VelocityTimes(const std::string& res) {
  std::vector<std::string> times;
  const std::regex line("Result \"VELOCITY\" \"QUELMA\" (\\S+) Vector OnNodes");
  for (const std::string& l : ResultLines(res)) {
    std::smatch m;
    if (std::regex_match(l, m, line)) times.push_back(m[1]);
  }
  return times;
}

// The timing table with the seconds and percentages taken out: names, nesting and use counts.
std::string TimingRows(const std::string& tim) {
  return std::regex_replace(tim, std::regex(" +[0-9.]+\\[s\\] \\( *[0-9.]+\\[%\\]\\)"), "");
}

// Runs the data file `data` as "cavity" in `dir`.
Outcome RunCavity(const Folder& dir, const std::string& data, const std::vector<std::string>& extra = {}) {
  dir.write("cavity", data);
  std::vector<std::string> args{"-name", "cavity"};
  args.insert(args.end(), extra.begin(), extra.end());
  return dir.olvu(args);
}

TEST(Run, CavityRunsToTheEndWithEveryOutputFile) {
  Folder dir;
  const Outcome r = RunCavity(dir, Cavity());
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  EXPECT_EQ(r.out, std::string("\n") + kBanner + ConvergedStep(1, "0.1") + ConvergedStep(2, "0.2"));
  EXPECT_EQ(r.err, "\n");

  const std::string res = dir.read("cavity.res");
  EXPECT_EQ(res.rfind("Qor Post Results File 1.0\n", 0), 0u);
  const std::vector<std::string> blocks = ResultLines(res);
  // The fluid domain's blocks, then the problem-wide blocks of the initial data and of each
  // output step, in the fixed order.
  std::vector<std::string> expected;
  for (const char* t : {"0", "0.1", "0.2"}) {
    const std::string at = std::string(" ") + t + " ";
    if (std::string(t) == "0") expected.push_back("Result \"DISTANCE\" \"INITIAL DATA\"" + at + "Scalar OnNodes");
    for (const char* fluid : {"DIVERGENCE", "TAU_PARAMENTER", "DISTANCE", "WALL_LAW_TRACTION", "VORTICITY"})
      expected.push_back("Result \"" + std::string(fluid) + "\" \"QUELMA\"" + at + "Scalar OnNodes");
    expected.push_back("Result \"VELOCITY\" \"QUELMA\"" + at + "Vector OnNodes");
    expected.push_back("Result \"VELOCITY_STRESS_TENSOR\" \"QUELMA\"" + at + "Matrix OnNodes");
    expected.push_back("Result \"DENSITY\" \"QUELMA\"" + at + "Scalar OnNodes");
    expected.push_back("Result \"VISCOSITY\" \"QUELMA\"" + at + "Scalar OnNodes");
    expected.push_back("Result \"PRESSURE\" \"QUELMA\"" + at + "Scalar OnNodes");
    expected.push_back("Result \"PRESSURE_GRADIENT\" \"QUELMA\"" + at + "Vector OnNodes");
  }
  EXPECT_EQ(blocks, expected);
  // Every problem node has a PRESSURE line.
  EXPECT_NE(res.find("Result \"PRESSURE\" \"QUELMA\" 0.2 Scalar OnNodes\nValues\n\t1\t0\n\t2\t0\n\t3\t0\n\t4\t0\n"
                     "\t5\t0\n\t6\t0\n\t7\t0\n\t8\t0\n\t9\t0\nEnd Values\n"),
            std::string::npos);

  EXPECT_EQ(RstFrame(dir.read("cavity.rst")), "Problem;\nCurrent_Step = 2 ,\tTotal_Time = 0.2 ,\tTime_Increment = 0.1;\nEndProblem;\n");
  // Force lines carry the time at the start of each step, movement lines the time at its end.
  EXPECT_EQ(dir.read("cavity.for"), "\n0\t\n0.1\t");
  EXPECT_EQ(dir.read("cavity.mov"), "\n0.1\t\n0.2\t");
  // The driver's notices, around what the fluid domain reports while it is read.
  const std::string war = WithoutHeapNotes(dir.read("cavity.war"));
  EXPECT_EQ(war.rfind(" -->\t********** RUNNING OLVU 2D **********\n", 0), 0u);
  EXPECT_EQ(war.substr(war.find(" -->\tSTEP = 1")),
            " -->\tSTEP = 1, TIME = 0.1: Converged after 1 iterations.\n"
            " -->\tResults written successfully !\n"
            " -->\tSTEP = 2, TIME = 0.2: Converged after 1 iterations.\n"
            " -->\tResults written successfully !\n");
  EXPECT_FALSE(dir.exists("cavity.err"));
  EXPECT_EQ(TimingRows(dir.read("cavity.tim")),
            "\n Time Table: ...............  cputime[s] (percent[%]) Uses\n Threads: 1\n\n"
            "   Total Time ........................ 1\n"
            "    . Reading Fluid ..................... 1\n"
            "    .  . Assembling System Matrixes ........ 1\n"
            "    .  . Distance Field Calculation ........ 1\n"
            "    . Reading Total ..................... 1\n"
            "    . Initialising Fluid Domain ......... 1\n"
            "    . Printing Results .................. 2\n"
            "    . Interval Calculations ............. 2\n"
            "    .  . Initialising New Time Step ........ 2\n"
            "    .  . Solving Pre-Uncoupled Problems .... 2\n"
            "    .  . Solving Coupled Problems .......... 2\n"
            "    .  .  . Assembling Convective Matrixes .... 2\n"
            "    .  .  . Solving Fluid-Velocity (Momentum Equation) 2\n"
            "    .  .  . Solving Pressure (Divergence Free) 2\n"
            "    .  . Checking Convergence .............. 2\n"
            "    .  . Solving Post-Uncoupled Problems ... 2\n"
            "    .  .  . Solving Velocity Projection ....... 2\n"
            "    .  . Finishing Time Step ............... 2\n"
            "    .  . Printing Results .................. 2\n"
            "\n\n");
  // The final files of a fluid problem exist (the domain's writers fill them).
  for (const char* ext : {".kvo.res", ".kvo.msh", ".sat"}) EXPECT_TRUE(dir.exists(std::string("cavity") + ext));
  EXPECT_FALSE(dir.exists("cavity.bgm"));
}

TEST(Run, ProblemWideBlocksConvertToOutputUnitsAndCoverEveryNode) {
  // A uniform velocity (1, 2) m/s written in Km and hours; node 10 belongs to no element set.
  std::string data = Replace(Cavity(), "ProblemDefinition;", "OutputUnits Length [Km] Time [hour] Mass [Kg];\nProblemDefinition;");
  data = Replace(data, "Function VelocityX \"0\" [m/s];", "Function VelocityX \"1\" [m/s];\nFunction VelocityY \"2\" [m/s];");
  data = Replace(data, "  9  1.0 1.0 0.0\n", "  9  1.0 1.0 0.0\n 10  5.0 5.0 0.0\n");
  data = Replace(data, "Number_of_Steps 2", "Number_of_Steps 1");
  Folder dir;
  ASSERT_EQ(RunCavity(dir, data).status, 0) << dir.read("cavity.err");
  const std::string res = dir.read("cavity.res");
  EXPECT_NE(res.find("Result \"VELOCITY\" \"QUELMA\" 0 Vector OnNodes\nComponentNames \"Vx\",\"Vy\",\"Vz\",\"|V|\"\n"
                     "Values\n\t1\t3.6\t7.2\t0\n"),
            std::string::npos);
  // The step's time, 0.1 s, in hours.
  EXPECT_NE(res.find("Result \"VELOCITY\" \"QUELMA\" 2.77778e-05 Vector OnNodes"), std::string::npos);
  // 1000 Kg/m3 in Kg/Km3.
  EXPECT_NE(res.find("Result \"DENSITY\" \"QUELMA\" 0 Scalar OnNodes\nValues\n\t1\t1e+12\n"), std::string::npos);
  // Node 10 has no velocity line and a pressure line of 0.
  EXPECT_NE(res.find("\t9\t3.6\t7.2\t0\nEnd Values\n"), std::string::npos);
  EXPECT_NE(res.find("\t9\t0\n\t10\t0\nEnd Values\n"), std::string::npos);
  EXPECT_EQ(res.find("\t10\t3.6"), std::string::npos);
}

TEST(Run, GeometryFarFromTheOriginIsWarnedAbout) {
  // The unit square moved to (100, 100): the box is far outside ten times its diagonal.
  std::string data = Cavity();
  const char* const coords[3] = {"0.0", "0.5", "1.0"};
  for (int k = 0; k < 9; ++k) {
    const std::string x = coords[k % 3], y = coords[k / 3];
    data = Replace(data, "  " + std::to_string(k + 1) + "  " + x + " " + y + " 0.0\n",
                   "  " + std::to_string(k + 1) + "  10" + x + " 10" + y + " 0.0\n");
  }
  ASSERT_NE(data.find("  9  101.0 101.0 0.0\n"), std::string::npos);
  Folder dir;
  ASSERT_EQ(RunCavity(dir, data).status, 0) << dir.read("cavity.err");
  EXPECT_NE(WithoutHeapNotes(dir.read("cavity.war")).find("\t***       WARNING!       ***\n -->\tGeometry position may reduce calculation "
                                        "precision.\n\tIt is recommended to center domain in origin.\n"),
            std::string::npos);
  Folder near;
  RunCavity(near, Cavity());
  EXPECT_EQ(WithoutHeapNotes(near.read("cavity.war")).find("Geometry position"), std::string::npos);
}

TEST(Run, ResultsSelectionGatesTheBlocks) {
  Folder dir;
  const std::string data = Replace(Replace(Cavity(), "Nodes;", "WriteResultsData Velocity Pressure;\nNodes;"),
                                   "Number_of_Steps 2", "Number_of_Steps 1");
  ASSERT_EQ(RunCavity(dir, data).status, 0) << dir.read("cavity.err");
  EXPECT_EQ(ResultLines(dir.read("cavity.res")),
            (std::vector<std::string>{"Result \"VELOCITY\" \"QUELMA\" 0 Vector OnNodes",
                                      "Result \"PRESSURE\" \"QUELMA\" 0 Scalar OnNodes",
                                      "Result \"VELOCITY\" \"QUELMA\" 0.1 Vector OnNodes",
                                      "Result \"PRESSURE\" \"QUELMA\" 0.1 Scalar OnNodes"}));
}

TEST(Run, PhysicalDataWarnings) {
  const std::string banner = "\t***       WARNING!       ***\n -->\t";
  struct Case {
    std::string physical;
    std::vector<std::string> warnings;
  };
  const Case cases[] = {
      {"PhysicalData Gravity 0 0 0 [m/s2];", {"Null gravity vector found. Is it correct?"}},
      {"PhysicalData Gravity 0 0 9.81 [m/s2];",
       {"Positive vertical gravity: Is this right?", "Found OZ gravity in a 2D Problem. Is this correct?"}},
      {"PhysicalData;", {"Gravity vector not defined. Taken null gravity vector"}},
      {"PhysicalData Gravity 0 -9.81 0 [m/s2] Pres_Origin 0 1 0 [m] Psed_Length 0.1 [m];", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.physical);
    Folder dir;
    ASSERT_EQ(RunCavity(dir, Replace(Cavity(), "PhysicalData Gravity 0 -9.81 0 [m/s2];", c.physical)).status, 0)
        << dir.read("cavity.err");
    const std::string war = WithoutHeapNotes(dir.read("cavity.war"));
    std::string expected;
    for (const std::string& w : c.warnings) expected += banner + w + "\n";
    const auto at = war.find(" -->\tFluid:");
    ASSERT_NE(at, std::string::npos) << war;
    // The problem-wide warnings come between the banner notice and the fluid domain's notices.
    EXPECT_EQ(war.substr(0, at), " -->\t********** RUNNING OLVU 2D **********\n" + expected);
  }
  Folder dir;
  const Outcome small = RunCavity(dir, Replace(Cavity(), "[m/s2];", "[m/s2] Psed_Length 0 [m];"));
  EXPECT_EQ(small.status, 1);
  EXPECT_EQ(dir.read("cavity.err"), ErrFile("Wrong minimum Psed_Length given\n"));
}

TEST(Run, VerboseNoneLeavesForceMovementAndWarningFilesEmpty) {
  Folder dir;
  dir.write("cavity.war", "earlier run\n");
  const Outcome r = RunCavity(dir, Cavity(), {"-verbose", "none"});
  ASSERT_EQ(r.status, 0);
  for (const char* ext : {".for", ".mov", ".war"}) {
    EXPECT_TRUE(dir.exists(std::string("cavity") + ext));
    EXPECT_EQ(WithoutHeapNotes(dir.read(std::string("cavity") + ext)), "") << ext;
  }
  EXPECT_EQ(r.out, std::string("\n") + kBanner + ConvergedStep(1, "0.1") + ConvergedStep(2, "0.2"));
}

TEST(Run, OutputStepAndOutputStartChooseTheResultSteps) {
  Folder dir;
  RunCavity(dir, CavityWith("GeneralData Number_of_Steps 12 Time_Increment \"0.1\" [s] OutPut_Step 5 Max_Iterations 3;"));
  // The initial data, steps 5 and 10, and the last step.
  EXPECT_EQ(VelocityTimes(dir.read("cavity.res")), (std::vector<std::string>{"0", "0.5", "1", "1.2"}));
  EXPECT_EQ(RstFrame(dir.read("cavity.rst")), "Problem;\nCurrent_Step = 12 ,\tTotal_Time = 1.2 ,\tTime_Increment = 0.1;\nEndProblem;\n");

  RunCavity(dir, CavityWith("GeneralData Number_of_Steps 12 Time_Increment \"0.1\" [s] OutPut_Step 5 "
                            "OutPut_Start 7 Max_Iterations 3;"));
  EXPECT_EQ(VelocityTimes(dir.read("cavity.res")), (std::vector<std::string>{"0", "1", "1.2"}));

  // A start beyond the last step is brought back to it, with a warning.
  const Outcome r = RunCavity(dir, CavityWith("GeneralData Number_of_Steps 3 Time_Increment \"0.1\" [s] "
                                              "OutPut_Step 2 OutPut_Start 50 Max_Iterations 3;"));
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(VelocityTimes(dir.read("cavity.res")), (std::vector<std::string>{"0", "0.3"}));
  EXPECT_NE(WithoutHeapNotes(dir.read("cavity.war")).find("\t***       WARNING!       ***\n -->\tChanged OutPut_Start to 3\n"),
            std::string::npos);
}

TEST(Run, IterationLimitAcceptsTheStepWithAWarning) {
  // A negative tolerance is never met: each step runs to its limit.
  Folder dir;
  const std::string data = Replace(Cavity(), "VelConvergenceNorm 1e-3", "VelConvergenceNorm -1");
  const Outcome r = RunCavity(dir, Replace(data, "Number_of_Steps 2", "Number_of_Steps 1"));
  ASSERT_EQ(r.status, 0);
  const std::string failing = "VarIncrRatio(Vel) 0\n";
  EXPECT_EQ(r.out, std::string("\n") + kBanner + kNewStep + failing + failing + failing +
                       "STEP = 1, TIME = 0.1: More than 3 iterations may be necessary.\n" + kEndStep);
  EXPECT_NE(WithoutHeapNotes(dir.read("cavity.war")).find("\t***       WARNING!       ***\n -->\tSTEP = 1, TIME = 0.1: More than 3 "
                                        "iterations may be necessary.\n"),
            std::string::npos);

  // With a limit of 1 the step is accepted after one iteration, without a reason.
  const Outcome one = RunCavity(dir, Replace(Replace(data, "Number_of_Steps 2", "Number_of_Steps 1"),
                                             "Max_Iterations 3", "Max_Iterations 1"));
  EXPECT_EQ(one.out, std::string("\n") + kBanner + kNewStep + failing + "STEP = 1, TIME = 0.1\n" + kEndStep);
}

TEST(Run, StartUpIntervalsRunBeforeTheFirstStepWithoutAdvancingTime) {
  Folder dir;
  std::string data = CavityWith("GeneralData Number_of_Steps 1 Time_Increment \"0.1\" [s] OutPut_Step 1 "
                                "Max_Iterations 3 Initial_Steps 3 Start_Up_Control Speed;");
  const Outcome r = RunCavity(dir, data);
  ASSERT_EQ(r.status, 0);
  // Three intervals of one accepted iteration each, then step 1 at 0.1.
  std::string intervals;
  for (int i = 0; i < 3; ++i) intervals += kRatios;
  EXPECT_EQ(r.out, std::string("\n") + kBanner + intervals + ConvergedStep(1, "0.1"));
  const std::string war = WithoutHeapNotes(dir.read("cavity.war"));
  EXPECT_NE(war.find(" -->\tInitialising Pressure & Velocity Fields\n -->\tINITIAL PHASE: 1 of 3\n"
                     " -->\tINITIAL PHASE: 2 of 3\n -->\tINITIAL PHASE: 3 of 3\n -->\tSTEP = 1, TIME = 0.1:"),
            std::string::npos)
      << war;
  EXPECT_EQ(dir.read("cavity.for"), "\n0\t");

  // An interval the test does not accept runs a second iteration and then goes on.
  data = Replace(data, "VelConvergenceNorm 1e-3", "VelConvergenceNorm -1");
  const Outcome twice = RunCavity(dir, Replace(data, "Initial_Steps 3", "Initial_Steps 1"));
  EXPECT_EQ(twice.out.rfind(std::string("\n") + kBanner + "VarIncrRatio(Vel) 0\nVarIncrRatio(Vel) 0\n" + kNewStep, 0),
            0u)
      << twice.out;
}

TEST(Run, NewRunVelocitiesAddAnAccelerationPhaseAndItsSteps) {
  Folder dir;
  const Outcome r = RunCavity(dir, CavityWith("GeneralData Number_of_Steps 1 Time_Increment \"0.1\" [s] "
                                              "OutPut_Step 1 Max_Iterations 3 NewRunVelocities 1 2 "
                                              "StepsNewRunVelocities 2;"));
  ASSERT_EQ(r.status, 0);
  // Step 1, one acceleration interval (2 / 10 + 1) without time advance, then steps 2 and 3.
  EXPECT_EQ(r.out, std::string("\n") + kBanner + ConvergedStep(1, "0.1") + kRatios + ConvergedStep(2, "0.2") +
                       ConvergedStep(3, "0.3"));
  const std::string war = WithoutHeapNotes(dir.read("cavity.war"));
  EXPECT_NE(war.find(" -->\tResults written successfully !\n -->\tStarting Acceleration Phase\n"
                     " -->\tINITIAL PHASE: 1 of 1\n -->\tSTEP = 2"),
            std::string::npos)
      << war;
  EXPECT_EQ(dir.read("cavity.mov"), "\n0.1\t\n0.2\t\n0.3\t");
}

TEST(Run, SteadyStateEndsTheRunAfterTheStep) {
  // Every ratio is 0, below the steady norm (lowered to the smallest tolerance, 1e-10).
  Folder dir;
  std::string data = Replace(Cavity(), "Number_of_Steps 2", "Number_of_Steps 5");
  data = Replace(data, "Integration_Scheme Backward_Euler", "Integration_Scheme Backward_Euler SteadyNorm 0.5");
  const Outcome r = RunCavity(dir, data);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("\n") + kBanner + kNewStep + kRatios +
                       "STEP = 1, TIME = 0.1: Converged after 1 iterations.\n"
                       "STEP = 1, TIME = 0.1: Steady State Found.\n" +
                       kEndStep);
  EXPECT_EQ(VelocityTimes(dir.read("cavity.res")), (std::vector<std::string>{"0", "0.1"}));
  // Without "SteadyNorm" (0) no step is steady.
  const Outcome plain = RunCavity(dir, Replace(Cavity(), "Number_of_Steps 2", "Number_of_Steps 5"));
  EXPECT_EQ(plain.out.find("Steady"), std::string::npos);
}

TEST(Run, RestartResumesAfterTheSavedStep) {
  Folder dir;
  ASSERT_EQ(RunCavity(dir, Cavity()).status, 0);
  const std::string restart = Replace(Replace(Cavity(), "Number_of_Steps 2", "Number_of_Steps 4"), "Max_Iterations 3",
                                      "Max_Iterations 3 Restart");
  const Outcome r = RunCavity(dir, restart);
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  EXPECT_EQ(r.out, std::string("\n") + kBanner + ConvergedStep(3, "0.3") + ConvergedStep(4, "0.4"));
  // The restored state of step 2 is written first, at its time.
  EXPECT_EQ(VelocityTimes(dir.read("cavity.res")), (std::vector<std::string>{"0.2", "0.3", "0.4"}));
  EXPECT_EQ(RstFrame(dir.read("cavity.rst")), "Problem;\nCurrent_Step = 4 ,\tTotal_Time = 0.4 ,\tTime_Increment = 0.1;\nEndProblem;\n");

  // A saved step at the step count, a frame without its end and a missing file: each is fatal
  // and leaves the restart file as it was.
  struct Bad {
    std::string rst;
    std::string message;
  };
  const Bad bad[] = {
      {"Problem;\nCurrent_Step = 4 ,\tTotal_Time = 0.4;\nEndProblem;\n",
       "(Current_Step > Number_of_Steps) found in restart file.\n"},
      {"Problem;\nCurrent_Step = 2 ,\tTotal_Time = 0.2;\n", "Unexpected end of file cavity.rst found\n"},
      {"", "Cannot find input file \"cavity.rst\"\n"},
      {"Problem;\nCurrent_Step = -3 ,\tTotal_Time = 0.2;\nEndProblem;\n", "Wrong Current_Step found in restart file.\n"},
      {"Problem;\nCurrent_Step = 2 ,\tTotal_Time = 0.2 ,\tTime_Increment = 0;\nEndProblem;\n",
       "Wrong Time_Increment found in restart file.\n"},
      {"Problem;\nCurrent_Step = 2 ,\tTotal_Time = 0.2 ,\tTime_Increment = -0.1;\nEndProblem;\n",
       "Wrong Time_Increment found in restart file.\n"},
  };
  for (const Bad& b : bad) {
    Folder d;
    if (!b.rst.empty()) d.write("cavity.rst", b.rst);
    const Outcome f = RunCavity(d, restart);
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(d.read("cavity.err"), ErrFile(b.message));
    EXPECT_EQ(d.read("cavity.rst"), b.rst);
  }
}

}  // namespace
}  // namespace olvu_test
