// The Boundary block through whole runs: imposed velocities and pressures in the result blocks,
// the precedence of conditions on one line, symmetry planes, pressure units, the checks after
// the block and every fault of a node line.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver/run_olvu.h"
#include "tests/model/resblocks.h"

namespace {

using olvu_test::DataFile;
using olvu_test::ErrFile;
using olvu_test::Folder;
using olvu_test::Replace;
using olvu_test::BlockAt;
using olvu_test::InitialBlock;

// The cavity of two materials with `block` as its Boundary block.
std::string WithBoundary(const std::string& block) {
  return Replace(DataFile("twosets.dat"), "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nEndBoundary;\n", block);
}


struct RunResult {
  olvu_test::Outcome outcome;
  std::string res, war, err;
};

RunResult Solve(const std::string& text) {
  Folder f;
  f.write("b.dat", text);
  RunResult r;
  r.outcome = f.olvu({"-name", "b.dat"});
  r.res = f.read("b.dat.res");
  r.war = f.read("b.dat.war");
  r.err = f.read("b.dat.err");
  return r;
}

const std::string kWalls =
    "Node 1 Velc 0 0 0;\nNode 2 Velc 0 0 0;\nNode 3 Velc 0 0 0;\nNode 4 Velc 0 0 0;\nNode 6 Velc 0 0 0;\n"
    "Node 7 Velc 1 0 0;\nNode 8 Velc 1 0 0;\nNode 9 Velc 1 0 0;\n";

TEST(BoundaryRuns, LidAndWallsWithoutUnitsOrPressure) {
  RunResult r = Solve(WithBoundary("Boundary;\n" + kWalls + "EndBoundary;\n"));
  ASSERT_EQ(r.outcome.status, 0) << r.err;
  const std::string v = InitialBlock(r.res, "VELOCITY");
  EXPECT_NE(v.find("\t7\t1\t0\t0\n"), std::string::npos) << v;
  EXPECT_NE(v.find("\t4\t0\t0\t0\n"), std::string::npos);  // Y*Y = 0.25 replaced by the wall
  EXPECT_NE(v.find("\t5\t0.25\t0\t0\n"), std::string::npos);  // free node keeps its initial value
  EXPECT_NE(r.war.find("It is strongly recommended to give the BoundaryUnits command."), std::string::npos);
  EXPECT_NE(r.war.find("Fluid Domain: Pressure not fixed in any point"), std::string::npos);
  EXPECT_EQ(r.war.find("not fixed in any point\n", r.war.find("Pressure not fixed") + 30), std::string::npos)
      << r.war;  // every velocity component is fixed somewhere
}

TEST(BoundaryRuns, FirstConditionOfALineWinsAndPressureKeepsItsUnits) {
  RunResult r = Solve(WithBoundary("Boundary;\nBoundaryUnits Length [cm] Time [s] Mass [g];\n" + kWalls +
                             "Node 5 Pres 0 Velc 1 0 0;\nNode 3 Pres 1000;\nEndBoundary;\n"));
  ASSERT_EQ(r.outcome.status, 0) << r.err;
  EXPECT_NE(InitialBlock(r.res, "VELOCITY").find("\t5\t0.25\t0\t0\n"), std::string::npos);  // only the pressure
  // 1000 g/(cm s2) = 100 Pa at node 3, whose density is 3000: the block shows pressure units.
  EXPECT_NE(InitialBlock(r.res, "PRESSURE").find("\t3\t100\n"), std::string::npos) << InitialBlock(r.res, "PRESSURE");
  EXPECT_EQ(r.war.find("BoundaryUnits command"), std::string::npos);
  EXPECT_EQ(r.war.find("Pressure not fixed"), std::string::npos);
}

TEST(BoundaryRuns, SymmetryPlaneFixesTheNormalVelocity) {
  RunResult r = Solve(WithBoundary("Boundary;\nXPlane_VSym 0 [m];\nNode 9 Velc 1 0 0 Fix 1 0 0;\nEndBoundary;\n"));
  ASSERT_EQ(r.outcome.status, 0) << r.err;
  const std::string v = InitialBlock(r.res, "VELOCITY");
  EXPECT_NE(v.find("\t7\t0\t0\t0\n"), std::string::npos) << v;  // on the plane x = 0: Vx = 0
  EXPECT_NE(v.find("\t4\t0\t0\t0\n"), std::string::npos);
  EXPECT_NE(v.find("\t8\t1\t0\t0\n"), std::string::npos);  // off the plane: Y*Y
  EXPECT_NE(r.war.find("Fluid Domain: Velocity OY not fixed in any point"), std::string::npos);
}

TEST(BoundaryRuns, NodeOfNoFluidSetIsPassedOver) {
  // Node 10 is in the problem's node list and in no fluid set: one block may name the nodes of
  // both domains, so its line changes nothing and says nothing.
  const RunResult plain = Solve(WithBoundary("Boundary;\n" + kWalls + "EndBoundary;\n"));
  const RunResult other = Solve(WithBoundary("Boundary;\n" + kWalls + "Node 10 Velc 5 0 0 Bogus;\nEndBoundary;\n"));
  ASSERT_EQ(plain.outcome.status, 0) << plain.err;
  ASSERT_EQ(other.outcome.status, 0) << other.err;
  EXPECT_EQ(other.err, "");
  EXPECT_EQ(other.res, plain.res);
  EXPECT_EQ(other.war, plain.war);
}

TEST(BoundaryRuns, FaultsOfTheBlock) {
  struct Case {
    std::string block, message;
  };
  const Case cases[] = {
      {"Node 3 TVel 1 1 1;\n", "Boundary Conditions Error: Fix Velocity Field condition must have 6 fields"},
      {"Node 3 Norm 0 0 0 lVl 1;\n", "Boundary Conditions Error: Node 3 Error: Wrong normal given"},
      {"Node 3 Velc 1 0;\n", "Boundary Conditions Error: Velocity vector must have three components"},
      {"Node 3 Velc 1 0 0 Fix 1 1;\n", "Boundary Conditions Error: Fix Velocity condition must have 3 fields"},
      {"Node 3 LVel 0 0 0;\n", "Boundary Conditions Error: Node 3: Wrong direction of velocity given"},
      {"Node 3 DSymm 1 0;\n", "Boundary Conditions Error: Symmetry vector must have three components"},
      {"Node 99 Velc 1 0 0;\n", "Boundary Conditions Error: Node 99 does not exist"},
      {"Node 99999999999 Velc 1 0 0;\n", "Wrong maximum Node given"},
      {"Node 3 Velc 0 0 -1e999;\n", "Wrong minimum Velc given"},  // beyond a double, read as -inf
      {"Node 3 Pres 1e999;\n", "Wrong maximum Pres given"},
      {"Node 0 Pres 1;\n", "Boundary Conditions Error: Node 0 does not exist"},
      {"Node 3 TPres 1;\n", "Boundary Conditions Error: Fix Pressure Field condition must have 2 fields"},
  };
  for (const Case& c : cases) {
    RunResult r = Solve(WithBoundary("Boundary;\n" + c.block + "EndBoundary;\n"));
    EXPECT_EQ(r.outcome.status, 1) << c.block;
    EXPECT_EQ(r.err, ErrFile(c.message + "\n")) << c.block;
  }
  RunResult units = Solve(WithBoundary("Boundary;\nBoundaryUnits Length [m] Time [s];\nEndBoundary;\n"));
  EXPECT_EQ(units.err, ErrFile("BoundaryUnits (Length, Time and Mass) must be defined\n"));
  RunResult startUp = Solve(Replace(WithBoundary("Boundary;\nNode 3 TVel 0 0 0 1 0 0;\nEndBoundary;\n"), "Max_Iterations 3;",
                              "Max_Iterations 3 Start_Up_Control Time;"));
  EXPECT_EQ(startUp.err, ErrFile("Fix Velocity Field conditions do not work with smoothed start up.\n"
                                 "\tRemove the Start_Up_Control option.\n"));
}

}  // namespace

namespace {

TEST(BoundaryRuns, InitialPressureFunctionIsPressureOverDensity) {
  // The Pressure function's magnitude is pressure over density ([m2/s2]): the block shows it
  // times the density, while a "Pres" line is in pressure units whatever the density.
  const std::string text = Replace(WithBoundary("Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n" + kWalls +
                                                "Node 5 Pres 7;\nEndBoundary;\n"),
                                   "Function VelocityX \"Y*Y\" [m/s];",
                                   "Function VelocityX \"Y*Y\" [m/s];\nFunction Pressure \"0.1\" [m2/s2];");
  RunResult r = Solve(text);
  ASSERT_EQ(r.outcome.status, 0) << r.err;
  const std::string p = InitialBlock(r.res, "PRESSURE");
  EXPECT_NE(p.find("\t1\t100\n"), std::string::npos) << p;  // density 1000
  EXPECT_NE(p.find("\t3\t300\n"), std::string::npos) << p;  // density 3000
  EXPECT_NE(p.find("\t5\t7\n"), std::string::npos) << p;
}

}  // namespace

namespace {

TEST(FluidResults, InitialDataCustomResultsIntegralsAndSelection) {
  const std::string blocks =
      "EndInitialDataFunctions;\nIntegralFunctions Integral1 \"1\" Integral2 \"0\" Integral3 \"X\";\n"
      "CustomisedResultsFunctions;\nCustomRes \"2*X\" Name XX;\nEndCustomisedResultsFunctions;\n";
  const std::string text =
      Replace(WithBoundary("Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nXPlane_VSym 0 [m];\n"
                           "Node 9 Velc 1 0 0;\nNode 3 Pres 0;\nEndBoundary;\n"),
              "EndInitialDataFunctions;\n", blocks);
  RunResult r = Solve(text);
  ASSERT_EQ(r.outcome.status, 0) << r.err;
  // The symmetry plane x = 0 holds nodes 1, 4 and 7.
  const auto at = r.res.find("Result \"NULL_GRADIENT_VECTOR\" \"INITIAL DATA\" 0 Vector OnNodes\n");
  ASSERT_NE(at, std::string::npos) << r.res;
  EXPECT_EQ(r.res.substr(at).find("ComponentNames \"Sx\",\"Sy\",\"Sz\",\"|S|\"\nValues\n\t1\t1\t0\t0\n\t4\t1\t0\t0\n"
                                  "\t7\t1\t0\t0\nEnd Values\n"),
            r.res.substr(at).find("ComponentNames"));
  // Customised results only after time 0, under the name given.
  EXPECT_EQ(r.res.find("\"Fluid_XX\" \"PELKORAD\" 0 "), std::string::npos);
  EXPECT_NE(r.res.find("Result \"Fluid_XX\" \"PELKORAD\" 0.1 Scalar OnNodes\nValues\n\t1\t0\n\t2\t1\n\t3\t2\n"),
            std::string::npos);
  // Integrals over the unit square (a null integrand is not reported).
  EXPECT_NE(r.war.find("Fluid Domain : User defined Integral#1 = 1\n"), std::string::npos) << r.war;
  EXPECT_NE(r.war.find("Fluid Domain : User defined Integral#3 = 0.5\n"), std::string::npos);
  EXPECT_EQ(r.war.find("Integral#2"), std::string::npos);
  EXPECT_NE(r.res.find("Result \"DIVERGENCE\" \"QUELMA\" 0.1 Scalar OnNodes\nValues\n"), std::string::npos);

  // "WriteResultsData Velocity" leaves out every block of the fluid domain.
  RunResult only = Solve(Replace(text, "Nodes;\n", "WriteResultsData Velocity;\nNodes;\n"));
  ASSERT_EQ(only.outcome.status, 0) << only.err;
  EXPECT_NE(only.res.find("\"VELOCITY\""), std::string::npos);
  for (const char* name : {"NULL_GRADIENT_VECTOR", "DIVERGENCE", "TAU_PARAMENTER", "Fluid_XX", "DISTANCE"})
    EXPECT_EQ(only.res.find(name), std::string::npos) << name;
}

}  // namespace

namespace {

TEST(BoundaryRuns, OverlappingVelocityConditionsAreReconciled) {
  RunResult r = Solve(WithBoundary("Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nNode 1 Pres 0;\n"
                                   "Node 5 LVel 0.6 0.8 0;\nNode 5 Velc 3 0 0 Fix 1 0 0;\n"
                                   "Node 6 Norm 1 0 0 lVl 2;\n"
                                   "Node 8 Velc 1 0 0;\nNode 8 LVel 0 1 0;\nEndBoundary;\n"));
  ASSERT_EQ(r.outcome.status, 0) << r.err;
  const std::string v = InitialBlock(r.res, "VELOCITY");
  EXPECT_NE(v.find("\t5\t3\t4\t0\n"), std::string::npos) << v;  // the fixed X and the direction fix all
  EXPECT_NE(v.find("\t6\t2\t0\t0\n"), std::string::npos) << v;  // the normal component becomes 2
  EXPECT_NE(v.find("\t8\t1\t0\t0\n"), std::string::npos) << v;  // the fixed velocity wins
  EXPECT_NE(r.war.find("Not compatible Fix Velocity Direction and Fix Velocity conditions found.\n\t"
                       "First condition will be ignored. Check boundary conditions.\n\tList of nodes is:\n\t8\t\n"),
            std::string::npos)
      << r.war;
}

}  // namespace
