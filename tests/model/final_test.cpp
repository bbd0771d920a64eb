// Files written after the last step: the structural-program force and mesh files and the
// sink-and-trim table, in two and three dimensions.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver/run_olvu.h"

namespace {

using olvu_test::DataFile;
using olvu_test::Folder;
using olvu_test::Replace;

TEST(FinalFiles, StructuralFilesOfATwoDimensionalRun) {
  Folder f;
  f.write("c.dat", DataFile("twosets.dat"));
  ASSERT_EQ(f.olvu({"-name", "c.dat"}).status, 0) << f.read("c.dat.err");
  std::string forces = "FORCE           2    0.2   2    1    1    1\nFORCEX\nFORCEY\nFORCEZ\n";
  for (int i = 1; i <= 10; ++i) forces += "\t" + std::to_string(i) + "\t0\t0\t0\n";  // node 10 too
  EXPECT_EQ(f.read("c.dat.kvo.res"), forces);
  const std::string mesh = f.read("c.dat.kvo.msh");
  EXPECT_EQ(mesh.rfind("MESH    dimension = 3 ElemType Triangle  Nnode = 3\nCoordinates\n"
                       "    1              0              0              0\n"
                       "    2            0.5              0              0\n",
                       0),
            0u)
      << mesh;
  EXPECT_NE(mesh.find("    9              1              1              0\nend coordinates\n\nElements\nend elements\n"),
            std::string::npos);
  EXPECT_EQ(mesh.find("   10 "), std::string::npos);  // node 10 lies in no set
  EXPECT_TRUE(f.exists("c.dat.sat"));
  EXPECT_EQ(f.read("c.dat.sat"), "");  // two dimensions: no table
}

TEST(FinalFiles, TemperatureOnlyLeavesTheStructuralFilesEmpty) {
  Folder f;
  std::string text = Replace(DataFile("twosets.dat"), "Solve_NavierStokes", "Solve_Temperature");
  text = Replace(text, "Function Viscosity \"0.001\" [Kg/m.s];",
                 "Function SpecificHeat \"1000\" [J/Kg.Gt];\nFunction Conductivity \"1\" [W/m.Gt];");
  f.write("t.dat", text);
  ASSERT_EQ(f.olvu({"-name", "t.dat"}).status, 0) << f.read("t.dat.err");
  EXPECT_EQ(f.read("t.dat.kvo.res"), "");
  EXPECT_EQ(f.read("t.dat.kvo.msh"), "");
}

// A unit cube of six tetrahedra, flowing towards -x or +x.
std::string Cube(const std::string& velocity) {
  return "OLVU_3D;\nProblemDefinition;\n"
         "GeneralData Number_of_Steps 1 Time_Increment \"0.1\" [s] OutPut_Step 1 Max_Iterations 1;\n"
         "PhysicalData Gravity 0 0 -9.81 [m/s2] Pres_Origin 0 0 1 [m];\nNodes;\n"
         "1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n5 0 0 1\n6 1 0 1\n7 1 1 1\n8 0 1 1\n"
         "FluidDefinition Solve_NavierStokes Integration_Scheme Backward_Euler;\n"
         "InitialDataFunctions;\nFunction VelocityX \"" + velocity + "\" [m/s];\nEndInitialDataFunctions;\n"
         "ElmSets;\nSet 1 Type Fluid ElmType Tetrahedra NNode 4 Name Cube;\nPhysicalPropertiesFunctions;\n"
         "Function Density \"1000\" [Kg/m3];\nFunction Viscosity \"0.001\" [Kg/m.s];\nEndPhysicalPropertiesFunctions;\n"
         "Elements\n1 1 2 3 7\n2 1 3 4 7\n3 1 4 8 7\n4 1 8 5 7\n5 1 5 6 7\n6 1 6 2 7\nEnd Elements\nEndElmSets;\n"
         "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nEndBoundary;\n"
         "TotalDefinition;\nToleranceData VelConvergenceNorm 1e-3 PreConvergenceNorm 1e-3;\nElmSets;\nEndElmSets;\n"
         "EndProblem;\n";
}

TEST(FinalFiles, SinkAndTrimTableOfACube) {
  Folder f;
  f.write("cube.dat", Cube("-2"));
  ASSERT_EQ(f.olvu({"-3D", "-name", "cube.dat"}).status, 0) << f.read("cube.dat.err");
  EXPECT_EQ(f.read("cube.dat.sat"),
            "Sink_and_Trim V 2.0\nUnitsFactor 1;\n"
            "ReferenceVelocity;\n-2  0  0;\nend referencevelocity;\n"
            "PressureOrigin;\n0  0  1;\nend pressureorigin;\n"
            "VolumeData;\n0  0  0;\n0  1  0;\n1  1  0;\n1  0  0;\n0  0  1;\n0  1  1;\n1  1  1;\n1  0  1;\n"
            "end volumedata;\n");
  // Towards +x the corners start at the upper x.
  f.write("cube.dat", Cube("2"));
  ASSERT_EQ(f.olvu({"-3D", "-name", "cube.dat"}).status, 0) << f.read("cube.dat.err");
  const std::string sat = f.read("cube.dat.sat");
  EXPECT_NE(sat.find("VolumeData;\n1  0  0;\n1  1  0;\n0  1  0;\n0  0  0;\n"), std::string::npos) << sat;
}

}  // namespace
