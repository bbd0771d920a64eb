// The Boundary block through whole runs: imposed velocities and pressures in the result blocks,
// the precedence of conditions on one line, symmetry planes, pressure units, the checks after
// the block and every fault of a node line.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver/run_olvu.h"

namespace {

using olvu_test::DataFile;
using olvu_test::ErrFile;
using olvu_test::Folder;
using olvu_test::Replace;

// The cavity of two materials with `block` as its Boundary block.
std::string WithBoundary(const std::string& block) {
  return Replace(DataFile("twosets.dat"), "EndElmSets;\nTotalDefinition;", "EndElmSets;\n" + block + "TotalDefinition;");
}

// The lines of the block `name` at time 0 of a .res text.
std::string InitialBlock(const std::string& res, const std::string& name) {
  const std::string head = "Result \"" + name + "\" \"QUELMA\" 0 ";
  const auto at = res.find(head);
  if (at == std::string::npos) return "";
  const auto values = res.find("Values\n", at) + 7;
  return res.substr(values, res.find("End Values", values) - values);
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
      {"Node 10 Velc 1 0 0;\n", "Boundary Conditions Error: Node 10 does not exist"},  // in no fluid set
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
