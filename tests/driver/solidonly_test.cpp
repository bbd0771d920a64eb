// A problem with a solid domain only: what the driver writes, and leaves out, without a fluid.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

// Conduction on the unit square of nine nodes, held at 1 on x = 0 and at 0 on x = 1, with a
// background mesh asked for.
const char kSlab[] =
    "OLVU_2D;\n"
    "ProblemDefinition;\n"
    "GeneralData Number_of_Steps 2 Time_Increment \"0.1\" [s] OutPut_Step 1 Max_Iterations 2 Refine_Mesh Distance;\n"
    "PhysicalData Gravity 0 -9.81 0 [m/s2];\n"
    "Nodes;\n"
    "  1  0.0 0.0 0.0\n"
    "  2  0.5 0.0 0.0\n"
    "  3  1.0 0.0 0.0\n"
    "  4  0.0 0.5 0.0\n"
    "  5  0.5 0.5 0.0\n"
    "  6  1.0 0.5 0.0\n"
    "  7  0.0 1.0 0.0\n"
    "  8  0.5 1.0 0.0\n"
    "  9  1.0 1.0 0.0\n"
    "SolidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\n"
    "InitialDataFunctions;\n"
    "EndInitialDataFunctions;\n"
    "ElmSets;\n"
    "Set 1 Type Solid ElmType Triangle NNode 3 Name Wall;\n"
    "PhysicalPropertiesFunctions;\n"
    "Function SolidDensity \"1000\" [Kg/m3];\n"
    "Function SpecificHeat \"1\" [J/Kg.Gt];\n"
    "Function ConductivityXX \"3\" [W/m.Gt];\n"
    "Function ConductivityXY \"0\" [W/m.Gt];\n"
    "Function ConductivityYY \"3\" [W/m.Gt];\n"
    "EndPhysicalPropertiesFunctions;\n"
    "Elements\n"
    "  1  1 2 5\n"
    "  2  1 5 4\n"
    "  3  2 3 6\n"
    "  4  2 6 5\n"
    "  5  4 5 8\n"
    "  6  4 8 7\n"
    "  7  5 6 9\n"
    "  8  5 9 8\n"
    "End Elements\n"
    "EndElmSets;\n"
    "Boundary;\n"
    "BoundaryUnits Length [m] Time [s] Mass [Kg];\n"
    "Node 1 Temp 1;\n"
    "Node 4 Temp 1;\n"
    "Node 7 Temp 1;\n"
    "Node 3 Temp 0;\n"
    "Node 6 Temp 0;\n"
    "Node 9 Temp 0;\n"
    "EndBoundary;\n"
    "TotalDefinition;\n"
    "ToleranceData TemConvergenceNorm 1e-12;\n"
    "ElmSets;\n"
    "EndElmSets;\n"
    "EndProblem;\n";

TEST(SolidOnly, RunWritesNoFluidFilesAndOnlyTheSolidsBlocks) {
  Folder dir;
  dir.write("slab", kSlab);
  const Outcome r = dir.olvu({"-name", "slab"});
  ASSERT_EQ(r.status, 0) << dir.read("slab.err");
  for (const char* ext : {".kvo.res", ".kvo.msh", ".sat"}) EXPECT_FALSE(dir.exists(std::string("slab") + ext)) << ext;
  // Without a fluid domain the background mesh file is made but left empty.
  EXPECT_TRUE(dir.exists("slab.bgm"));
  EXPECT_EQ(dir.read("slab.bgm"), "");
  std::vector<std::string> results;
  std::istringstream in(dir.read("slab.res"));
  for (std::string l; std::getline(in, l);)
    if (l.rfind("Result ", 0) == 0 && l.find(" 0.2 ") != std::string::npos) results.push_back(l);
  // No velocity or pressure without a fluid; density and viscosity blocks stand empty.
  EXPECT_EQ(results, (std::vector<std::string>{"Result \"SOLID DENSITY\" \"DORVANTE\" 0.2 Scalar OnNodes",
                                               "Result \"DENSITY\" \"QUELMA\" 0.2 Scalar OnNodes",
                                               "Result \"VISCOSITY\" \"QUELMA\" 0.2 Scalar OnNodes",
                                               "Result \"TEMPERATURE\" \"DORVANTE\" 0.2 Scalar OnNodes",
                                               "Result \"TEMPERATURE_GRADIENT\" \"DORVANTE\" 0.2 Vector OnNodes"}));
  EXPECT_NE(dir.read("slab.res").find("Result \"DENSITY\" \"QUELMA\" 0.2 Scalar OnNodes\nValues\nEnd Values\n"),
            std::string::npos);
  EXPECT_EQ(dir.read("slab.for"), "\n0\t\n0.1\t");
  EXPECT_EQ(dir.read("slab.mov"), "\n0.1\t\n0.2\t");
  EXPECT_EQ(RstFrame(dir.read("slab.rst")), "Problem;\nCurrent_Step = 2 ,\tTotal_Time = 0.2 ,\tTime_Increment = 0.1;\nEndProblem;\n");
}

}  // namespace
}  // namespace olvu_test
