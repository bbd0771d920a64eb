#include "input/types.h"

#include <cctype>
#include <functional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "foundation/error.h"
#include "tests/input/reader_support.h"

using olvu_test::ExpectFatalIn;

namespace {

/// The word with its letters' case alternated ("VelocityX" -> "vElOcItYx").
std::string Mixed(const std::string& w) {
  std::string s = w;
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = char(i % 2 ? std::toupper(s[i]) : std::tolower(s[i]));
  return s;
}

template <class T>
std::string Print(T v) {
  std::ostringstream o;
  o << v;
  return o.str();
}

}  // namespace

TEST(Enumerations, WordsReadInAnyCaseAndPrintBack) {
  const char* dims[] = {"OneD", "TwoD", "ThreeD"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(To_DimType(Mixed(dims[i]).c_str()), DimType(i + 1));
    EXPECT_EQ(Print(DimType(i + 1)), dims[i]);
  }
  EXPECT_EQ(To_DimType("threed"), ThreeD);
  EXPECT_EQ(To_DimType("THREED"), ThreeD);
  EXPECT_EQ(Print(NoD), "NoD");

  const char* cms[] = {"OneDim", "PlaneStress", "PlaneStrain", "Axisymmetric", "ThreeDim"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(To_CMType(Mixed(cms[i]).c_str()), CMType(i));
    EXPECT_EQ(Print(CMType(i)), cms[i]);
  }

  const char* elems[] = {"Linear", "Triangle", "Quadrilateral", "Tetrahedra", "Hexahedra", "Prisma"};
  EXPECT_EQ(To_ElmType("pUNCTUAL"), NoNe);
  EXPECT_EQ(Print(NoNe), "NoNe");
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(To_ElmType(Mixed(elems[i]).c_str()), ElemType(i + 1));
    EXPECT_EQ(Print(ElemType(i + 1)), elems[i]);
  }

  const char* integ[] = {"Forward_Euler", "Backward_Euler", "Crank_Nicolson", "Stabilised_FIC",
                         "Adams_Bashforth_2", "Adams_Bashforth_3", "Adams_Moulton_3"};
  const char* integPrinted[] = {"Forward Euler", "Backward Euler", "Crank Nicolson",
                                "Stabilised FIC", "Adams Bashforth order 2",
                                "Adams Bashforth order 3", "Adams Moulton order 3"};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(GiveType(Mixed(integ[i]).c_str()), IntegType(i));
    EXPECT_EQ(Print(IntegType(i)), integPrinted[i]);
  }

  const char* tools[] = {"Check_Units", "Check_Function", "Sink_and_Trim", "Interpolate_Rst",
                         "Create_Rst", "Write_Mesh", "Write_BoundMesh", "Write_Average"};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(ToolType(Mixed(tools[i]).c_str()), OlvuTool(i));
    EXPECT_EQ(Print(OlvuTool(i)), tools[i]);
  }
  EXPECT_EQ(ToolType("check_function"), Check_Function);

  EXPECT_EQ(BackMeshType("nONE"), NoneBackMesh);
  EXPECT_EQ(BackMeshType("distance"), DistanceBackMesh);
  EXPECT_EQ(BackMeshType("VELOCITY"), VelocityBackMesh);
  EXPECT_EQ(BackMeshType("rEsIdUaL"), ResidualBackMesh);
  EXPECT_EQ(Print(NoneBackMesh), "None background mesh");
  EXPECT_EQ(Print(DistanceBackMesh), "Distance background mesh");
  EXPECT_EQ(Print(VelocityBackMesh), "Velocity background mesh");

  EXPECT_EQ(To_UnkType("vElOcItYy"), UnkType::Velocity);
  EXPECT_EQ(Print(To_UnkType("VelocityY")), "Velocity");
  EXPECT_EQ(To_UnkType("PRESSURE"), UnkType::Pressure);
  EXPECT_EQ(To_UnkType("temperature"), UnkType::Temperature);
  EXPECT_EQ(To_UnkType("Concentration"), UnkType::Concentration);
  EXPECT_EQ(Print(UnkType::Concentration), "");

  EXPECT_EQ(To_DofType("pres"), DofType::Pressure);
  EXPECT_EQ(To_DofType("VELX"), DofType::VelocityX);
  EXPECT_EQ(To_DofType("vely"), DofType::VelocityY);
  EXPECT_EQ(To_DofType("VelZ"), DofType::VelocityZ);
  EXPECT_EQ(To_DofType("tEMP"), DofType::Temperature);
  EXPECT_EQ(Print(DofType::Pressure), "");
}

TEST(Enumerations, FieldKindsWithNamesAndMagnitudes) {
  const char* words[45] = {
      "VelocityX", "VelocityY", "VelocityZ", "Pressure", "Temperature", "Pseudoconcentration",
      "EddyKineticEnergy", "EddyEpsilon", "EddyOmega", "EddyKtau", "KineticEnergy",
      "EddyViscosity", "WaveElevation", "AccelerationX", "AccelerationY", "AccelerationZ",
      "HeatSource", "Viscosity", "TurbulenceLevel", "EddyLength", "Density", "Compressibility",
      "SpecificHeat", "Conductivity", "Floatability", "HeatFlux", "FluidUserDefined1",
      "FluidUserDefined2", "FluidUserDefined3", "SolidUserDefined1", "SolidUserDefined2",
      "SolidUserDefined3", "MeshDeformationX", "MeshDeformationY", "MeshDeformationZ",
      "HeatSourceReaction", "HeatFluxReaction", "ConductivityXX", "ConductivityXY",
      "ConductivityYY", "ConductivityXZ", "ConductivityYZ", "ConductivityZZ", "SolidDensity",
      "MechanicalStrain"};
  for (int i = 0; i < 45; ++i) EXPECT_EQ(To_FieldDof(Mixed(words[i]).c_str()), DofType(i + 1));
  EXPECT_STREQ(To_FieldName(DofType::VelocityX), "VelX_Field");
  EXPECT_STREQ(To_FieldName(DofType::Compressibility), "Compressibility_factor");
  EXPECT_STREQ(To_FieldName(DofType::MechanicalStrain), "Mechanical_Strain");
  EXPECT_EQ(To_Magnitude(DofType::Pressure), Dynamic_Pressure);
  EXPECT_EQ(To_Magnitude(DofType::EddyViscosity), KinematicViscosity);
  EXPECT_EQ(To_Magnitude(DofType::HeatFluxReaction), HeatFluxReaction);
  EXPECT_EQ(To_Magnitude(DofType::Pseudoconcentration), Undimensional);
  EXPECT_EQ(To_UnkType(DofType::VelocityZ), UnkType::Velocity);
  EXPECT_EQ(To_UnkType(DofType::Pressure), UnkType::Pressure);
  EXPECT_EQ(To_UnkType(DofType::Density), UnkType::Temperature);

  for (int i = 0; i < NMagnitudes; ++i)
    EXPECT_EQ(To_Magnitude(Mixed(MagnitudeNames[i]).c_str()), Magnitude(i));
  EXPECT_STREQ(MagnitudeNames[Spc_Flux], "Spc_Flux");
  EXPECT_EQ(To_Magnitude("Meters"), Undimensional);
}

TEST(Enumerations, ElementOrdersAndDerivedTables) {
  EXPECT_EQ(CalcElemOrder(Triangle, 6), Triangle6);
  EXPECT_EQ(CalcElemOrder(NoNe, 7), NoNeOrder);
  EXPECT_EQ(CalcElemOrder(Hexahedra, 27), Hexahedra27);
  EXPECT_EQ(CalcElemOrder(Prisma, 6), Prisma6);
  EXPECT_EQ(Print(Quadrilateral9), "Quadrilateral 9 Nodes");
  EXPECT_EQ(Print(NoNeOrder), "NoNe");
  EXPECT_EQ(giveOrder(Hexahedra27), 3);
  EXPECT_EQ(giveOrder(Tetrahedra5), 1);
  EXPECT_EQ(isQuadratic(Linear3), 1);
  EXPECT_EQ(isQuadratic(Tetrahedra5), 0);
  EXPECT_EQ(GiveminNnode(Hexahedra20), 8);
  EXPECT_EQ(GiveminNnode(Tetrahedra), 4);
  EXPECT_EQ(is_ThreeD(Tetrahedra4, 0), 1);
  EXPECT_EQ(is_ThreeD(Tetrahedra4, 1), 0);
  EXPECT_EQ(is_ThreeD(Quadrilateral4, 1), 1);
  EXPECT_EQ(is_ThreeD(Quadrilateral4, 0), 0);
  EXPECT_EQ(To_DimType(PlaneStrain), TwoD);
  EXPECT_EQ(To_NStress(ThreeDim), 6);
  EXPECT_EQ(To_NStress(CMType(9)), 0);
  EXPECT_EQ(To_DimType(CMType(9)), OneD);
  EXPECT_EQ(Print(CMType(9)), "");

  EXPECT_EQ(TypeOfStartUp("both"), BothStartUp);
  EXPECT_EQ(TypeOfStartUp("sPEED"), SpeedStartUp);
  EXPECT_EQ(TypeOfStartUp("TIME"), TimeStartUp);
  EXPECT_EQ(TypeOfStartUp("Never"), NoStartUp);
  EXPECT_FALSE(IsTimeStartUp(NoStartUp) || IsSpeedStartUp(NoStartUp));
  EXPECT_TRUE(IsTimeStartUp(TimeStartUp) && !IsSpeedStartUp(TimeStartUp));
  EXPECT_TRUE(IsSpeedStartUp(SpeedStartUp) && IsSpeedStartUp(BothStartUp));

  EXPECT_EQ(IntegrationOrder(Adams_Moulton_3), 3);
  EXPECT_EQ(IntegrationType(Crank_Nicolson), 1);
  EXPECT_EQ(IntegrationType(Stabilised_FIC), 0);
}

TEST(ElementTypes, PunctualSetsHoldNoMoreNodesThanAnyElement) {
  EXPECT_EQ(CalcElemOrder(NoNe, 27), NoNeOrder);
  // Every element of a set takes its node count of pointers: a huge count is refused.
  ExpectFatalIn([] { CalcElemOrder(NoNe, 300000000); }, "Element Type NoNe with 300000000 nodes not implemented\n");
  ExpectFatalIn([] { CalcElemOrder(NoNe, 28); }, "Element Type NoNe with 28 nodes not implemented\n");
  ExpectFatalIn([] { CalcElemOrder(NoNe, -1); }, "Element Type NoNe with -1 nodes not implemented\n");
}

TEST(Enumerations, ScalarTimeIntegration) {
  // dt, xPrev, x, rPrev2, rPrev, r, rNext
  EXPECT_NEAR(Integrate(Stabilised_FIC, 0.5, 1, 2, 0, 0, 3, 0), 10.0 / 3.0, 1e-14);
  EXPECT_DOUBLE_EQ(Integrate(Adams_Bashforth_2, 1, 0, 0, 0, 1, 2, 0), 2.5);
  EXPECT_DOUBLE_EQ(Integrate(Forward_Euler, 2, 0, 1, 0, 0, 3, 5), 7);
  EXPECT_DOUBLE_EQ(Integrate(Backward_Euler, 2, 0, 1, 0, 0, 3, 5), 11);
  EXPECT_DOUBLE_EQ(Integrate(Crank_Nicolson, 2, 0, 1, 0, 0, 3, 5), 9);
  EXPECT_DOUBLE_EQ(Integrate(Adams_Bashforth_3, 12, 0, 1, 5, 16, 23, 0),
                   1 + (23.0 * 23 - 16.0 * 16 + 5.0 * 5));
  EXPECT_DOUBLE_EQ(Integrate(Adams_Moulton_3, 12, 0, 1, 0, 1, 2, 3), 1 + (15.0 + 16 - 1));
}

TEST(Enumerations, UnknownWordsAndValuesEndTheRun) {
  ExpectFatalIn([] { To_DimType("3D"); }, "3D is not a DimType\n");
  ExpectFatalIn([] { To_UnkType("Speed"); }, "Speed is not an UnkType\n");
  ExpectFatalIn([] { To_DofType("Pressure"); }, "Pressure is not a DofType\n");
  ExpectFatalIn([] { To_FieldDof("Vel"); }, "Function Type Vel undefined\n");
  ExpectFatalIn([] { To_FieldName(DofType(0)); }, "Function Type  undefined\n");
  ExpectFatalIn([] { To_CMType("Shell"); }, "Shell is not a CMType\n");
  ExpectFatalIn([] { To_ElmType("Pyramid"); }, "Pyramid is not an ElmType\n");
  ExpectFatalIn([] { GiveType("RK4"); }, "Integration type RK4 not implemented\n");
  ExpectFatalIn([] { ToolType("Run"); }, "Tool type Run not implemented\n");
  ExpectFatalIn([] { BackMeshType("Size"); }, "Background mesh type Size not implemented\n");
  ExpectFatalIn([] { CalcElemOrder(Linear, 4); },
              "Element Type Linear with 4 nodes not implemented\n");
  ExpectFatalIn([] { std::ostringstream o; o << VectorType(44); }, "VectorType unknown\n");
  ExpectFatalIn([] { std::ostringstream o; o << ElemType(7); }, "Element not implemented\n");
  ExpectFatalIn([] { std::ostringstream o; o << ElemOrder(17); }, "Element 17 not implemented\n");
  ExpectFatalIn([] { giveOrder(ElemOrder(-1)); }, "Element Order -1 not implemented\n");
  ExpectFatalIn([] { GiveminNnode(ElemOrder(20)); }, "Element 20 not implemented\n");
  ExpectFatalIn([] { IntegrationOrder(IntegType(7)); }, "Integration type 7 not implemented\n");
  ExpectFatalIn([] { std::ostringstream o; o << OlvuTool(8); }, "Tool type 8 not implemented\n");
  ExpectFatalIn([] { std::ostringstream o; o << ResidualBackMesh; },
              "Background mesh type 5 not implemented\n");
}

TEST(Enumerations, VectorTypeNames) {
  EXPECT_EQ(Print(VeltX), "VeltX");
  EXPECT_EQ(Print(P_tdt), "P_tdt");
  EXPECT_EQ(Print(F_S_T), "F_S_T");
  EXPECT_EQ(int(F_S_T), 43);
}
