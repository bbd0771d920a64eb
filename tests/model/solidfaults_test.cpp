// Faults of solid element geometry and of interface sets that only show in whole runs: a
// collapsed solid element and interface nodes missing from one of the two domains.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver/run_olvu.h"

namespace {

using olvu_test::ErrFile;
using olvu_test::Folder;
using olvu_test::Replace;

// A 2 x 1 strip: fluid cell [0, 1] (nodes 1 2 4 5), solid cell [1, 2] (nodes 2 3 5 6); the
// interface is the line 2-5 shared by both.
const std::string kNodes = "Nodes;\n1 0 0 0\n2 1 0 0\n3 2 0 0\n4 0 1 0\n5 1 1 0\n6 2 1 0\n";

const std::string kSolidSet =
    "Set 1 Type Solid ElmType Triangle NNode 3 Name Wall;\nPhysicalPropertiesFunctions;\n"
    "Function SolidDensity \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
    "Function ConductivityXX \"1\" [W/m.Gt];\nFunction ConductivityXY \"0\" [W/m.Gt];\n"
    "Function ConductivityYY \"1\" [W/m.Gt];\nEndPhysicalPropertiesFunctions;\n"
    "Elements\n1 2 3 6\n2 2 6 5\nEnd Elements\n";

std::string Head() {
  return "OLVU_2D;\nProblemDefinition;\nGeneralData Number_of_Steps 1 Time_Increment \"1\" [s] OutPut_Step 1 "
         "Max_Iterations 2;\nPhysicalData Gravity 0 -9.81 0 [m/s2];\n" +
         kNodes;
}

std::string Solid(const std::string& boundary) {
  return "SolidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
         "EndInitialDataFunctions;\nElmSets;\n" +
         kSolidSet + "EndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n" + boundary +
         "EndBoundary;\n";
}

std::string Fluid() {
  return "FluidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
         "EndInitialDataFunctions;\nElmSets;\nSet 2 Type Fluid ElmType Triangle NNode 3 Name Water;\n"
         "PhysicalPropertiesFunctions;\nFunction Density \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
         "Function Conductivity \"1\" [W/m.Gt];\nEndPhysicalPropertiesFunctions;\n"
         "Elements\n1 1 2 5\n2 1 5 4\nEnd Elements\nEndElmSets;\n"
         "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nNode 1 Temp 1;\nNode 4 Temp 1;\nEndBoundary;\n";
}

std::string Total(const std::string& sets) {
  return "TotalDefinition;\nToleranceData TemConvergenceNorm 1e-12;\nElmSets;\n" + sets + "EndElmSets;\nEndProblem;\n";
}

std::string Interface(const std::string& elements) {
  return "Set 3 Type Interface ElmType Linear NNode 2 Name Contact Rest_Tem \"2\" [W/m2.Gt];\nElements\n" +
         elements + "End Elements\n";
}

struct StripRun {
  Folder f;
  olvu_test::Outcome r;
  explicit StripRun(const std::string& data) {
    f.write("s.dat", data);
    r = f.olvu({"-name", "s.dat"});
  }
  std::string err() const { return f.read("s.dat.err"); }
};

TEST(SolidFaults, SoundStripRunsWithBothDomainsAndTheirInterface) {
  // The data the fault cases below spoil runs as it is.
  StripRun run(Head() + Fluid() + Solid("Node 3 Temp 0;\nNode 6 Temp 0;\n") + Total(Interface("1 2 5\n")));
  EXPECT_EQ(run.r.status, 0) << run.err();
}

TEST(SolidFaults, CollapsedSolidElementEndsWithTheShapeFunctionMessage) {
  // Node 6 moved onto the line 2-3: element 1 has no area and no shape-function gradients.
  const std::string data =
      Replace(Head(), "6 2 1 0\n", "6 3 0 0\n") + Solid("Node 3 Temp 0;\n") + Total("");
  StripRun run(data);
  EXPECT_EQ(run.r.status, 1);
  EXPECT_EQ(run.err(), ErrFile("Problems found calculating Shape Functions in     1               2              3              6\n\n"));
}

TEST(SolidFaults, InterfaceNodesMustBelongToBothDomains) {
  const std::string solid = Solid("Node 3 Temp 0;\nNode 6 Temp 0;\n");
  // Node 3 is only a solid node; node 1 only a fluid node.
  StripRun solidOnly(Head() + Fluid() + solid + Total(Interface("1 2 3\n")));
  EXPECT_EQ(solidOnly.r.status, 1);
  EXPECT_EQ(solidOnly.err(), ErrFile("Interface set 3: node 3 is not a node of the fluid domain\n"));
  StripRun fluidOnly(Head() + Fluid() + solid + Total(Interface("1 1 2\n")));
  EXPECT_EQ(fluidOnly.r.status, 1);
  EXPECT_EQ(fluidOnly.err(), ErrFile("Interface set 3: node 1 is not a node of the solid domain\n"));
  // Without the fluid domain the set has nothing to join.
  StripRun oneDomain(Head() + solid + Total(Interface("1 2 5\n")));
  EXPECT_EQ(oneDomain.r.status, 1);
  EXPECT_EQ(oneDomain.err(), ErrFile("Interface set 3 needs both a fluid and a solid domain\n"));
}

}  // namespace
