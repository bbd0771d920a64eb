// The solid domain sizes its node-condition sets, fields and work vectors as the fluid domain
// does for the same sub-problems: a temperature-only solid beside a temperature-only fluid.
#include <gtest/gtest.h>

#include <string>

#include "domain/fluiddomain.h"
#include "domain/soliddomain.h"
#include "tests/driver/run_olvu.h"
#include "tests/model/solidcase.h"

namespace {

using olvu_test::Folder;
using olvu_test::SolidCase;

// Two triangles of three nodes each: the fluid one (1 2 3) and the solid one (2 4 3).
const std::string kData =
    "Nodes;\n1 0 0 0\n2 1 0 0\n3 0 1 0\n4 1 1 0\n"
    "FluidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
    "EndInitialDataFunctions;\nElmSets;\nSet 1 Type Fluid ElmType Triangle NNode 3 Name Water;\n"
    "PhysicalPropertiesFunctions;\nFunction Density \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
    "Function Conductivity \"1\" [W/m.Gt];\nEndPhysicalPropertiesFunctions;\nElements\n1 1 2 3\nEnd Elements\n"
    "EndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nNode 1 Temp 1;\nEndBoundary;\n"
    "SolidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
    "EndInitialDataFunctions;\nElmSets;\nSet 2 Type Solid ElmType Triangle NNode 3 Name Wall;\n"
    "PhysicalPropertiesFunctions;\nFunction SolidDensity \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
    "Function ConductivityXX \"1\" [W/m.Gt];\nFunction ConductivityXY \"0\" [W/m.Gt];\n"
    "Function ConductivityYY \"1\" [W/m.Gt];\nEndPhysicalPropertiesFunctions;\nElements\n1 2 4 3\nEnd Elements\n"
    "EndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nNode 4 Temp 0;\nEndBoundary;\n";

TEST(SolidSizing, ConditionSetsFieldsAndWorkVectorsAsTheFluidDomain) {
  Folder f;
  f.write("u.dat", kData);
  SolidCase c(f.path("u.dat"));
  ASSERT_NE(c.fluid, nullptr);
  FluidDomain& fluid = *c.fluid;
  SolidDomain& solid = *c.solid;
  for (int k = 0; k < NFluidConds; ++k) EXPECT_EQ(solid.Cond(k).length(), fluid.Cond(k).length()) << "set " << k;
  // The fluid density is the one exception: a solid without velocity carries its own density.
  for (int k = 0; k < NFluidVars; ++k) {
    if (k == Dens) continue;
    EXPECT_EQ(solid.Var(k).length(), fluid.Var(k).length()) << "field " << k;
  }
  EXPECT_EQ(solid.Var(Dens).length(), 0u);
  EXPECT_EQ(solid.SolidDensity().length(), 3u);
  EXPECT_GT(solid.Var(VelWorkX).length(), 0u);  // the right-hand side of the temperature system
}

}  // namespace
