// Edge cases of the Boundary block seen through whole runs: the initial-data blocks of line
// velocities, normals and removed conditions byte for byte, nodes on two symmetry planes, the
// plane tolerance, and a pressure-field line that hides the velocity on it.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver/run_olvu.h"
#include "tests/model/resblocks.h"

namespace {

using olvu_test::DataFile;
using olvu_test::Folder;
using olvu_test::InitialBlock;

// The two-material cavity with `block` as its only Boundary block.
std::string WithBoundary(const std::string& block) {
  std::string text = DataFile("twosets.dat");
  const auto from = text.find("\nBoundary;");
  if (from != std::string::npos) {
    const auto to = text.find("EndBoundary;\n", from) + 13;
    text.erase(from + 1, to - from - 1);
  }
  const std::string anchor = "EndElmSets;\nTotalDefinition;";
  text.replace(text.find(anchor), anchor.size(), "EndElmSets;\n" + block + "TotalDefinition;");
  return text;
}

struct Outcome {
  int status;
  std::string res, war, err;
};

Outcome Solve(const std::string& block) {
  Folder f;
  f.write("e.dat", WithBoundary("Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n" + block + "EndBoundary;\n"));
  Outcome r;
  r.status = f.olvu({"-name", "e.dat"}).status;
  r.res = f.read("e.dat.res");
  r.war = f.read("e.dat.war");
  r.err = f.read("e.dat.err");
  return r;
}

// The whole block `name` of the initial data (header to "End Values").
std::string InitialDataBlock(const std::string& res, const std::string& name) {
  const auto at = res.find("Result \"" + name + "\" \"INITIAL DATA\" ");
  if (at == std::string::npos) return "";
  const auto end = res.find("End Values\n", at);
  return res.substr(at, end + 11 - at);
}

TEST(BoundaryInitialData, LineNormalAndRemovedConditionBlocks) {
  Outcome r = Solve("Node 1 Pres 0;\nNode 5 LVel 0 2 0;\nNode 6 Norm 0 0 3 lVl 0;\nNode 8 Delt;\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(InitialDataBlock(r.res, "FIX_LINE_VEL"),
            "Result \"FIX_LINE_VEL\" \"INITIAL DATA\" 0 Scalar OnNodes\nValues\n\t1\t0\n\t2\t0\n\t3\t0\n\t4\t0\n"
            "\t5\t1\n\t6\t0\n\t7\t0\n\t8\t0\n\t9\t0\nEnd Values\n");
  EXPECT_EQ(InitialDataBlock(r.res, "LINE_VELOCITY"),
            "Result \"LINE_VELOCITY\" \"INITIAL DATA\" 0 Vector OnNodes\n"
            "ComponentNames \"Lx\",\"Ly\",\"Lz\",\"|L|\"\nValues\n\t5\t0\t1\t0\nEnd Values\n");
  EXPECT_EQ(InitialDataBlock(r.res, "REMOVE_CONDITION"),
            "Result \"REMOVE_CONDITION\" \"INITIAL DATA\" 0 Scalar OnNodes\nValues\n\t8\t1\nEnd Values\n");
  EXPECT_EQ(InitialDataBlock(r.res, "NORMAL_VECTOR"),
            "Result \"NORMAL_VECTOR\" \"INITIAL DATA\" 0 Vector OnNodes\n"
            "ComponentNames \"Nx\",\"Ny\",\"Nz\",\"|N|\"\nValues\n\t6\t0\t0\t1\nEnd Values\n");
  // Direction and normal conditions stand for fixed components: no "not fixed" warning for them.
  EXPECT_EQ(r.war.find("not fixed in any point"), std::string::npos) << r.war;
}

TEST(BoundaryInitialData, NoConditionTablesNoBlocks) {
  Outcome r = Solve("Node 1 Pres 0;\nNode 7 Velc 1 0 0;\n");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"FIX_LINE_VEL", "LINE_VELOCITY", "REMOVE_CONDITION", "NORMAL_VECTOR", "NULL_GRADIENT_VECTOR"})
    EXPECT_EQ(InitialDataBlock(r.res, name), "") << name;
}

TEST(BoundarySymmetry, CornerOnTwoPlanesKeepsTheFirstNormal) {
  // Node 1 lies on x = 0 and on y = 0: both components fixed, the X plane's vector kept.
  Outcome r = Solve("XPlane_VSym 0 [m];\nYPlane_VSym 0 [m];\nNode 9 Pres 0;\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(InitialDataBlock(r.res, "NULL_GRADIENT_VECTOR"),
            "Result \"NULL_GRADIENT_VECTOR\" \"INITIAL DATA\" 0 Vector OnNodes\n"
            "ComponentNames \"Sx\",\"Sy\",\"Sz\",\"|S|\"\nValues\n\t1\t1\t0\t0\n\t2\t0\t1\t0\n\t3\t0\t1\t0\n"
            "\t4\t1\t0\t0\n\t7\t1\t0\t0\nEnd Values\n");
  const std::string v = InitialBlock(r.res, "VELOCITY");
  EXPECT_NE(v.find("\t1\t0\t0\t0\n"), std::string::npos) << v;
  EXPECT_NE(v.find("\t7\t0\t0\t0\n"), std::string::npos) << v;  // Vx = Y*Y = 1 cleared on the plane
  // Both planes fix a component of the plane problem's two: nothing is warned.
  EXPECT_EQ(r.war.find("not fixed in any point"), std::string::npos) << r.war;
}

TEST(BoundarySymmetry, ToleranceOfThePlaneLine) {
  // The default band is 1% of the smallest element extent (0.005 here): x = 0.5 is 0.02 away.
  Outcome near = Solve("XPlane_VSym 0.52 [m];\nNode 9 Pres 0;\n");
  ASSERT_EQ(near.status, 0) << near.err;
  EXPECT_EQ(InitialDataBlock(near.res, "NULL_GRADIENT_VECTOR"), "");
  Outcome wide = Solve("XPlane_VSym 0.52 [m] EPS 0.03;\nNode 9 Pres 0;\n");
  ASSERT_EQ(wide.status, 0) << wide.err;
  EXPECT_NE(InitialDataBlock(wide.res, "NULL_GRADIENT_VECTOR").find("Values\n\t2\t1\t0\t0\n\t5\t1\t0\t0\n\t8\t1\t0\t0\nEnd"),
            std::string::npos)
      << wide.res;
}

TEST(BoundaryPrecedence, PressureFieldLineHidesItsVelocityAndASecondLineAdds) {
  Outcome r = Solve("Node 1 Pres 0;\nNode 5 TPres 0 0 Velc 2 0 0;\nNode 6 Pres 50;\nNode 6 Velc 3 0 0;\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string v = InitialBlock(r.res, "VELOCITY");
  EXPECT_NE(v.find("\t5\t0.25\t0\t0\n"), std::string::npos) << v;  // Y*Y: the velocity was not read
  EXPECT_NE(v.find("\t6\t3\t0\t0\n"), std::string::npos) << v;
  EXPECT_NE(InitialBlock(r.res, "PRESSURE").find("\t6\t50\n"), std::string::npos) << InitialBlock(r.res, "PRESSURE");
}

}  // namespace
