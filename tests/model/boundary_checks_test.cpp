// The checks after the Boundary block and the conflict lists of the velocity reconciliation, as a
// user sees them in the .war and .err files of a run.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver/run_olvu.h"
#include "tests/model/gridcase.h"
#include "tests/model/resblocks.h"

namespace {

using olvu_test::DataFile;
using olvu_test::ErrFile;
using olvu_test::Folder;
using olvu_test::InitialBlock;
using olvu_test::Replace;

// The two-material cavity with `block` (between the Boundary lines) as its only Boundary block.
std::string Cavity(const std::string& block) {
  std::string text = DataFile("twosets.dat");
  const auto from = text.find("\nBoundary;");
  if (from != std::string::npos) text.erase(from + 1, text.find("EndBoundary;\n", from) + 13 - from - 1);
  return Replace(text, "EndElmSets;\nTotalDefinition;",
                 "EndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n" + block +
                     "EndBoundary;\nTotalDefinition;");
}

struct Outcome {
  int status;
  std::string res, war, err;
};

Outcome Solve(const std::string& text) {
  Folder f;
  f.write("c.dat", text);
  Outcome r;
  r.status = f.olvu({"-name", "c.dat"}).status;
  r.res = f.read("c.dat.res");
  r.war = f.read("c.dat.war");
  r.err = f.read("c.dat.err");
  return r;
}

TEST(BoundaryChecks, NullVelocityAndUnfixedComponentsAreWarned) {
  Outcome r = Solve(Replace(Cavity("Node 1 Pres 0;\n"), "Function VelocityX \"Y*Y\"", "Function VelocityX \"0\""));
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* m : {"Fluid Domain: Velocity OX not fixed in any point\n", "Fluid Domain: Velocity OY not fixed in any point\n",
                        "Fluid Domain: Null velocity found everywhere. Is this right?\n"
                        "\tCheck boundary conditions and convergence norms.\n"})
    EXPECT_NE(r.war.find(m), std::string::npos) << m << r.war;
  EXPECT_EQ(r.war.find("Pressure not fixed"), std::string::npos);
}

TEST(BoundaryChecks, AComponentFixedByAnyConditionIsNotWarned) {
  // A grid of 2 x 2 cells (2 x 2 x 1 in 3D) with the pressure held at node 1, the boundary lines
  // and conditional functions of each row: the components left unfixed are warned, none for
  // what a time-dependent ("TVel") or conditional ("CondVel") condition fixes, and never OZ in
  // two dimensions.
  const char* both = "Function VelocityX \"1\" [m/s];\nFunction VelocityY \"1\" [m/s];\n";
  const struct {
    olvu_test::GridKind kind;
    const char* lines;
    const char* conditional;
    const char* warned;
  } cases[] = {
      {olvu_test::GridKind::Tri3, "", "", "OX OY"},
      {olvu_test::GridKind::Tri3, "Node 3 Velc 0 0 0 Fix 1 0 0;\n", "", "OY"},
      {olvu_test::GridKind::Tri3, "Node 3 Velc 0 0 0;\n", "", ""},
      {olvu_test::GridKind::Tri3, "Node 3 TVel 0 0 0 1 0 0;\n", "", "OY"},
      {olvu_test::GridKind::Tri3, "Node 3 TVel 0 1 0 0 0 0;\n", "", "OX"},
      {olvu_test::GridKind::Tri3, "Node 3 CondVel;\n", "Function VelocityX \"1\" [m/s];\n", "OY"},
      {olvu_test::GridKind::Tri3, "Node 3 CondVel;\n", both, ""},
      {olvu_test::GridKind::Tri3, "Node 3 CondVel;\n", "", "OX OY"},
      {olvu_test::GridKind::Tri3, "", both, "OX OY"},
      {olvu_test::GridKind::Tet4, "", "", "OX OY OZ"},
      {olvu_test::GridKind::Tet4, "Node 3 CondVel;\n", both, "OZ"},
  };
  for (const auto& c : cases) {
    olvu_test::GridLayout g;
    g.kind = c.kind, g.nx = g.ny = 2, g.flags = "Solve_NavierStokes";
    const bool plane = c.kind == olvu_test::GridKind::Tri3;
    SCOPED_TRACE(std::string(plane ? "2D " : "3D ") + c.lines + c.conditional);
    std::string text = g.Problem("GeneralData Number_of_Steps 1 Time_Increment \"0.1\" [s] OutPut_Step 1 Max_Iterations 1;",
                                 std::string("Node 1 Pres 0;\n") + c.lines,
                                 "ToleranceData VelConvergenceNorm 1e-6 PreConvergenceNorm 1e-6;");
    if (*c.conditional)
      text = Replace(text, "EndInitialDataFunctions;\n",
                     std::string("EndInitialDataFunctions;\nConditionalFunctions;\n") + c.conditional +
                         "EndConditionalFunctions;\n");
    Folder f;
    f.write("c.dat", text);
    std::vector<std::string> args{"-name", "c.dat"};
    if (!plane) args.push_back("-3D");
    const olvu_test::Outcome r = f.olvu(args);
    ASSERT_EQ(r.status, 0) << f.read("c.dat.err") << r.err;
    std::string warned;
    for (const char* axis : {"OX", "OY", "OZ"})
      if (f.read("c.dat.war").find(std::string("Fluid Domain: Velocity ") + axis + " not fixed in any point\n") !=
          std::string::npos)
        warned += (warned.empty() ? "" : " ") + std::string(axis);
    EXPECT_EQ(warned, c.warned);
  }
}

TEST(BoundaryChecks, ConflictListsOfTheReconciliation) {
  // Node 6: all components fixed at (1, 0, 0) against a normal velocity of 2: listed under N and
  // the fixed velocity kept. Node 5: velocity field with a direction: listed under F, unchanged.
  Outcome r = Solve(Cavity("Node 1 Pres 0;\nNode 6 Velc 1 0 0;\nNode 6 Norm 1 0 0 lVl 2;\n"
                           "Node 5 TVel 0 0 0 1 1 1;\nNode 5 LVel 0 1 0;\n"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.war.find("Not compatible Fix Velocity Component and Fix Velocity conditions found.\n\t"
                       "First condition will be ignored. Check boundary conditions.\n\tList of nodes is:\n\t6\t\n"),
            std::string::npos)
      << r.war;
  EXPECT_NE(r.war.find("Velocity Field and Fix Velocity Direction or Fix Velocity Component condition found.\n\t"
                       "This combination may cause problems.\n\tList of nodes is:\n\t5\t\n"),
            std::string::npos)
      << r.war;
  const std::string v = InitialBlock(r.res, "VELOCITY");
  EXPECT_NE(v.find("\t6\t1\t0\t0\n"), std::string::npos) << v;
  EXPECT_NE(v.find("\t5\t0.25\t0\t0\n"), std::string::npos) << v;
}

TEST(BoundaryChecks, TemperatureLinesAndTheWarningWithoutThem) {
  auto withTemperature = [](const std::string& text) {
    return Replace(Replace(text, "Solve_NavierStokes", "Solve_NavierStokes Solve_Temperature"),
                   "Function Viscosity \"0.001\" [Kg/m.s];",
                   "Function Viscosity \"0.001\" [Kg/m.s];\nFunction SpecificHeat \"1000\" [J/Kg.Gt];\n"
                   "Function Conductivity \"1\" [W/m.Gt];");
  };
  Outcome none = Solve(withTemperature(Cavity("Node 1 Pres 0;\n")));
  ASSERT_EQ(none.status, 0) << none.err;
  EXPECT_NE(none.war.find("Fluid Domain: Temperature not fixed in any point\n"), std::string::npos) << none.war;
  // The first line's temperature is set; "Pres" on the second hides its "Temp".
  Outcome fixed = Solve(withTemperature(Cavity("Node 1 Pres 0;\nNode 3 Temp 20;\nNode 6 Pres 0 Temp 30;\n")));
  ASSERT_EQ(fixed.status, 0) << fixed.err;
  EXPECT_EQ(fixed.war.find("Temperature not fixed"), std::string::npos) << fixed.war;
  const std::string t = olvu_test::BlockAt(fixed.res, "TEMPERATURE", "0", "DORVANTE");
  EXPECT_NE(t.find("\t3\t20\n"), std::string::npos) << t;
  EXPECT_NE(t.find("\t6\t0\n"), std::string::npos) << t;
}

TEST(BoundaryChecks, VectorFaultsOfANodeLine) {
  struct Case {
    std::string line, message;
  };
  const Case cases[] = {
      {"Node 3 Norm 1 0 lVl 1;\n", "Boundary Conditions Error: Normal vector must have three components"},
      {"Node 3 LVel 1 0;\n", "Boundary Conditions Error: Line Velocity vector must have three components"},
      {"Node 3 DSymm 0 0 0;\n", "Boundary Conditions Error: Node 3 Error: Wrong symmetry vector given"},
  };
  for (const Case& c : cases) {
    Outcome r = Solve(Cavity(c.line));
    EXPECT_EQ(r.status, 1) << c.line;
    EXPECT_EQ(r.err, ErrFile(c.message + "\n")) << c.line;
  }
}

}  // namespace
