// The checks after the Boundary block and the conflict lists of the velocity reconciliation, as a
// user sees them in the .war and .err files of a run.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver/run_olvu.h"
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
