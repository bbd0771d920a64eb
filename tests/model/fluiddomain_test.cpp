// The fluid domain built from data files: general data, sets and numbering, initial conditions,
// the harmonic initial velocity, the step lifecycle and the faults of each reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <functional>
#include <string>

#include "domain/fluidmesh.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "solvers/solversetting.h"
#include "tests/model/fluidcase.h"
#include "tests/support/child.h"

namespace {

using olvu_test::FluidCase;
using olvu_test::ReadFile;
using olvu_test::RunInChild;
using olvu_test::WriteFile;

const std::string kCavity = OLVU_TEST_DATA_DIR "/cavity.dat";

// The cavity data file with `from` replaced by `to` (the first occurrence).
std::string Variant(const std::string& from, const std::string& to) {
  std::string text = ReadFile(kCavity);
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// Builds the domain of `text` in a child, then runs `after` on it; gives the child's result.
olvu_test::ChildResult Build(const std::string& text, const std::function<void(FluidCase&)>& after = {}) {
  return RunInChild(
      [after] {
        Verbose_Off = 1;  // no notices between the messages checked
        FluidCase c("case.dat");
        if (after) after(c);
      },
      [text](const std::string& dir) { WriteFile(dir + "/case.dat", text); });
}

std::string Report(const std::string& m) { return "\n\n" + m + "\n"; }

TEST(FluidDomainSetUp, CavityGeneralDataSetsAndNumbering) {
  Max_Iterations = 1;
  FluidCase c(kCavity);
  FluidDomain& d = *c.fluid;
  EXPECT_EQ(d.numNodes, 9);
  EXPECT_EQ(c.toLocal(10), 0);  // node 10 lies in no set
  // Numbered by first appearance: the nodes of set 1, then those set 2 adds.
  const int order[9] = {1, 2, 4, 5, 7, 8, 3, 6, 9};
  for (int k = 1; k <= 9; ++k) {
    EXPECT_EQ(c.toGlobal(unsigned(k)), order[k - 1]);
    EXPECT_EQ(c.toLocal(unsigned(order[k - 1])), k);
    EXPECT_EQ(c.all.get_at(order[k - 1])->num[1], k);
  }
  EXPECT_EQ(d.ProblemsToSolve()(2), 1);
  EXPECT_EQ(d.ProblemsToSolve()(3), 1);
  EXPECT_EQ(d.ProblemsToSolve()(15), 1);
  EXPECT_EQ(d.ProblemsToSolve()(4), 0);
  EXPECT_EQ(d.Scheme(), Backward_Euler);
  EXPECT_STREQ(d.giveSolver1st()->Name(), "Convection-Difussion solver");
  EXPECT_STREQ(d.giveSolver2nd()->Name(), "Diffusion solver");
  EXPECT_DOUBLE_EQ(d.MinTauV(), 0.025);
  EXPECT_EQ(d.number_of_fluid_meshes(), 2);
  EXPECT_STREQ(d.giveDomainMesh(2)->Name(), "Right");
  EXPECT_EQ(d.GiveMaterialIndex("Left"), 1);
  EXPECT_EQ(d.GiveMaterialIndex("left"), -1);
  EXPECT_EQ(d.IsNodeInMaterialIndex(1, c.Local(2)), 1);
  EXPECT_EQ(d.IsNodeInMaterialIndex(1, c.Local(3)), 0);
  EXPECT_EQ(d.IsNodeInMaterialIndex(2, c.Local(3)), 1);
  EXPECT_EQ(d.IsNodeInMaterialIndex(2, c.Local(2)), 1);
  // Sized by the active sub-problems only.
  EXPECT_EQ(d.Var(Pres).length(), 9u);
  EXPECT_EQ(d.Var(Temp).length(), 0u);
  EXPECT_NEAR(Fluid_Volume, 1.0, 1e-14);
  EXPECT_DOUBLE_EQ(d.maxCorner(1), 1.0);
  EXPECT_DOUBLE_EQ(d.minCorner(2), 0.0);
}

TEST(FluidDomainSetUp, InitialConditionsAndSharedDensities) {
  FluidCase c(kCavity);
  FluidDomain& d = *c.fluid;
  d.ReadInitialConditions();
  for (int k = 1; k <= 9; ++k) {
    const double y = (*c.all.get_at(k))(2);
    EXPECT_DOUBLE_EQ(d.Var(VelX)(c.Local(k)), y * y);
    EXPECT_DOUBLE_EQ(d.Var(VelX0)(c.Local(k)), y * y);  // the update copies into the previous step
  }
  // Nodes of one set take its density; shared nodes the volume-weighted mean of both.
  EXPECT_NEAR(d.Var(Dens)(c.Local(1)), 1000, 1e-9);
  EXPECT_NEAR(d.Var(Dens)(c.Local(3)), 3000, 1e-9);
  EXPECT_NEAR(d.Var(Dens)(c.Local(2)), (1000 * 1 + 3000 * 2) / 3.0, 1e-9);  // one left, two right triangles
  EXPECT_NEAR(d.Var(Dens)(c.Local(5)), 2000, 1e-9);
  EXPECT_NEAR(d.Var(Dens)(c.Local(8)), (1000 * 2 + 3000 * 1) / 3.0, 1e-9);
  EXPECT_NEAR(d.Var(KVisc)(c.Local(1)), 1e-6, 1e-18);
  EXPECT_DOUBLE_EQ(Dens_Reference, 1000);  // density not uniform: its smallest value
}

TEST(FluidDomainSetUp, SmoothFieldGivesTheHarmonicExtension) {
  FluidCase c(kCavity);
  FluidDomain& d = *c.fluid;
  d.ReadInitialConditions();
  Smooth_Field = 1;
  std::ostringstream none;
  d.InitialiseDomain(none);
  Smooth_Field = 0;
  // The boundary nodes lie outside 0.3 of the diagonal from the centre and keep Y*Y; the centre
  // takes the mean of its four edge neighbours (the P1 Laplacian of this mesh is the 5-point one).
  EXPECT_NEAR(d.Var(VelX)(c.Local(5)), 0.375, 1e-6);
  EXPECT_DOUBLE_EQ(d.Var(VelX)(c.Local(8)), 1.0);
  EXPECT_EQ(d.Cond(FixVelZ)(c.Local(5)), 1);  // two dimensions: every node has a fixed Z velocity
  EXPECT_NEAR(Max_Velocity, 1.0, 1e-12);
  EXPECT_NEAR(Char_Length, 0.1 * std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(ReynoldsN, Max_Velocity * Char_Length / 1e-6, 1e-3);
}

TEST(FluidDomainSteps, StartPhaseRampsAndFinishStepRelaxes) {
  FluidCase c(kCavity);
  FluidDomain& d = *c.fluid;
  d.ReadInitialConditions();
  Run_Time_Increment = 0.1;
  Start_Phase = 1;
  Accelerate_Factor = 0.5;
  d.StartNewStep();
  Start_Phase = 0;
  EXPECT_DOUBLE_EQ(d.Var(VelX)(c.Local(8)), 0.5);
  EXPECT_DOUBLE_EQ(d.Var(VelX0)(c.Local(8)), 0.5);
  EXPECT_DOUBLE_EQ(d.DtTheta(), 0.1);
  // Relaxation with f: new / f - old (1 - f) / f; the result becomes the previous step.
  d.Var(VelX)(c.Local(8)) = 0.7;
  d.UpdateVariables(0.5);
  EXPECT_NEAR(d.Var(VelX)(c.Local(8)), 0.7 / 0.5 - 0.5, 1e-15);
  EXPECT_NEAR(d.Var(VelX0)(c.Local(8)), 0.9, 1e-15);
  d.Var(Pres)(c.Local(3)) = 4;
  d.FinishStep();  // theta 1: values only move into the previous step
  EXPECT_DOUBLE_EQ(d.Var(Pres0)(c.Local(3)), 4);
  EXPECT_DOUBLE_EQ(d.Var(VelX0)(c.Local(8)), 0.9);
}

TEST(FluidDomainSteps, CrankNicolsonHalvesThetaOutsideTheInitialPhase) {
  const std::string text = Variant("Backward_Euler", "Crank_Nicolson");
  auto r = Build(text, [](FluidCase& c) {
    c.fluid->ReadInitialConditions();
    Initial_Phase = 0;
    Run_Time_Increment = 0.2;
    c.fluid->StartNewStep();
    if (std::fabs(c.fluid->DtTheta() - 0.1) > 1e-15) std::exit(3);
    Initial_Phase = 1;
    c.fluid->StartNewStep();
    if (c.fluid->Theta() != 1.0) std::exit(4);
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(FluidDomainSteps, MaterialFieldsAreCheckedEachStep) {
  // A viscosity that turns negative stops the run at that step.
  const std::string visc = Variant("Function Viscosity \"0.001\"", "Function Viscosity \"0.001-t\"");
  auto negative = Build(visc, [](FluidCase& c) {
    c.fluid->ReadInitialConditions();
    Total_Time = 0.0005;
    c.fluid->StartNewStep();
    std::printf("step 1 done\n");
    Total_Time = 0.002;
    c.fluid->StartNewStep();
  });
  EXPECT_EQ(negative.status, 1);
  EXPECT_NE(negative.out.find("step 1 done"), std::string::npos);
  EXPECT_EQ(negative.err, Report("Wrong fluid viscosity field (Viscosity < 0.0) found.\n\tCheck material data."));

  // Temperature: a null specific heat warns and goes on; a negative conductivity is fatal.
  const std::string temp = Variant("Solve_NavierStokes", "Solve_NavierStokes Solve_Temperature");
  auto withCp = [&](const std::string& cp, const std::string& k) {
    std::string t = temp;
    const std::string anchor = "  Function Viscosity \"0.001\" [Kg/m.s];\n";
    const std::string extra = anchor + "  Function SpecificHeat \"" + cp + "\" [J/Kg.Gt];\n  Function Conductivity \"" + k +
                              "\" [W/m.Gt];\n";
    for (std::size_t at = t.find(anchor); at != std::string::npos; at = t.find(anchor, at + extra.size()))
      t.replace(at, anchor.size(), extra);
    return Build(t, [](FluidCase& c) {
      c.fluid->ReadInitialConditions();
      c.fluid->StartNewStep();
      std::printf("went on\n");
    });
  };
  auto nullCp = withCp("0", "1");
  EXPECT_EQ(nullCp.status, 0) << nullCp.err;
  EXPECT_NE(nullCp.err.find("Null specific heat found.\n\tCheck material data."), std::string::npos) << nullCp.err;
  EXPECT_NE(nullCp.out.find("went on"), std::string::npos);
  auto negK = withCp("1000", "-1");
  EXPECT_EQ(negK.status, 1);
  EXPECT_EQ(negK.err, Report("Wrong conductivity field (K < 0.0) found.\n\tCheck material data."));
}

TEST(FluidDomainSteps, FieldDependentPropertyFollowsTheFieldEachStep) {
  const std::string text = Variant("Function Viscosity \"0.001\"", "Function Viscosity \"0.001*(1+Vx)\"");
  auto r = Build(text, [](FluidCase& c) {
    FluidDomain& d = *c.fluid;
    d.ReadInitialConditions();
    // Node 1 lies in the left set only, whose viscosity reads Vx (Y*Y = 0 there).
    if (std::fabs(d.Var(Visc)(c.Local(1)) - 0.001) > 1e-15) std::exit(3);
    d.Var(VelX)(c.Local(1)) = 2;
    d.StartNewStep();
    if (std::fabs(d.Var(Visc)(c.Local(1)) - 0.003) > 1e-15) std::exit(4);
    if (std::fabs(d.Var(KVisc)(c.Local(1)) - 0.003 / 1000) > 1e-18) std::exit(5);
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

struct BadInput {
  const char* what;
  std::string text;
  std::string message;
};

TEST(FluidDomainSetUp, EachBadInputEndsWithItsMessage) {
  const std::string noSets = [] {
    std::string t = ReadFile(kCavity);
    return t.substr(0, t.find("Set 1")) + "EndElmSets;\nEnd;\n";
  }();
  const BadInput cases[] = {
      {"unknown set type", Variant("Type Fluid", "Type Bogus"), "ElmSet Bogus not implemented"},
      {"body set without wall type", Variant("Type Fluid", "Type Body"), "BodyMesh: Wall type not defined"},
      {"empty ElmSets", noSets,
       "Fluid not defined.\nAssign Fluid properties to the geometry.\nCheck the problem definition in the data file."},
      {"no scheme", Variant(" Integration_Scheme Backward_Euler", ""), "\"Integration_Scheme\" must be followed by a word"},
      {"no initial data", Variant("InitialDataFunctions;", "InitialData;"), "Wrong \"InitialDataFunctions\" card"},
      {"old density", Variant("Name Left;", "Name Left Density 1000;"), "Old fashioned Olvu format data file found"},
      {"no properties", Variant("PhysicalPropertiesFunctions;\n  Function Density \"1000\"", "Properties;\n  Function Density \"1000\""),
       "Wrong \"PhysicalPropertiesFunctions\" card"},
      {"repeated set", Variant("Set 2 Type", "Set 1 Type"), "Repeated index 1 in Plex Domain Meshes"},
      {"missing node", Variant("    4   5 9 8", "    4   5 9 11"), "Do not exist index 11 in Plex All the Nodes of the geometry"},
      {"clockwise", Variant("    4   5 9 8", "    4   5 8 9"),
       "Negative Volume found in fluid set Right, element     4               5              8              9\n\n"
       "\tCheck surface normal orientation"},
      {"wrong NNode", Variant("NNode 3 Name Right", "NNode 4 Name Right"), "Element Type Triangle with 4 nodes not implemented"},
      {"MinTauP", Variant("Backward_Euler", "Backward_Euler MinTauP_Ratio -1"), "Wrong minimum MinTauP_Ratio given"},
      {"phi block", Variant("Solve_NavierStokes", "Solve_NavierStokes Solve_PhiProblems") + "", ""},
  };
  for (const BadInput& b : cases) {
    if (b.message.empty()) continue;
    auto r = Build(b.text);
    EXPECT_EQ(r.status, 1) << b.what;
    EXPECT_EQ(r.err, Report(b.message)) << b.what;
  }
}

}  // namespace

namespace {

TEST(FluidDomainGeneralData, FlagsStabilisationNormsAndOptionalBlocks) {
  const std::string card =
      "FluidDefinition Solve_NavierStokes Solve_Kinetic_Energy_2L Turbulence_Smoothing 2 Integration_Scheme "
      "Crank_Nicolson NS_AdvecStab_2nd_Order NS_AdvecStab_Auto TM_AdvecStab_2nd_Order Control_Increment Medium "
      "MinTauV_Ratio 0 MinTauP_Ratio 40 SteadyNorm 0.5 AdvectionNorm 1e-6 KenrMinimum 1 Coupling_Type Steady_State "
      "Coupling_Step 5 UpdateMeshEvery 3;";
  std::string text = Variant("FluidDefinition Solve_NavierStokes Integration_Scheme Backward_Euler;", card);
  const std::string blocks =
      "EndInitialDataFunctions;\n"
      "ConditionalFunctions;\n  Function VelocityX \"X-0.5\" [m/s];\nEndConditionalFunctions;\n"
      "IntegralFunctions Integral1 \"Vx\" Integral2 \"1\" Integral3 \"X\";\n"
      "CustomisedResultsFunctions;\n  CustomRes \"Vx*2\" Name Twice;\nEndCustomisedResultsFunctions;\n"
      "Symmetric Pressure_Solver Solver ConjugateGradient Max_Iter 50 Tolerance 1e-8;\n";
  text.replace(text.find("EndInitialDataFunctions;\n"), 25, blocks);
  Number_of_Steps = 100;
  auto r = Build(text, [](FluidCase& c) {
    FluidDomain& d = *c.fluid;
    const IntVec& p = d.ProblemsToSolve();
    std::printf("flags %d %d %d %d\n", p(6), p(28), p(29), p(19));
    std::printf("scheme %d stab %d %d %d smooth %d\n", int(d.Scheme()), d.StabOrder(0), d.StabOrder(1),
                d.StabOrder(3), d.Smoothing(1));
    std::printf("control %g tauV %g %g tauP %g %g\n", d.IncrementControl(), d.MinTauV(), d.MaxTauV(), d.MinTauP(),
                d.MaxTauP());
    std::printf("norms %g %g coupling %d every %d\n", d.SteadyNorm(), d.AdvectionNorm(), d.CouplingStep(),
                d.UpdateMeshEvery());
    VarTolerance.resize(3, 1e-3);
    d.LowerNorms();
    std::printf("lowered %g %g\n", d.SteadyNorm(), d.AdvectionNorm());
    std::printf("blocks %d %d %s %s %s\n", d.CustomIntegrals().count, d.CustomResults().count,
                d.CustomResultNames().get_at(1), d.giveSolver1st()->Name(), d.giveSolver2nd()->Name());
    std::printf("conditional %d\n", d.ConditionalFunctions()->exists(int(DofType::VelocityX)));
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "flags 1 1 1 0\n"                      // turbulence, kinetic energy and its two-layer variant
            "scheme 2 stab 2 1 0 smooth 2\n"       // the last stabilisation word wins
            "control 0.1 tauV 1e-14 25 tauP 40 40\n"
            "norms 0.5 1e-06 coupling 100 every 3\n"  // steady state: the problem's step count
            "lowered 0.001 1e-06\n"
            "blocks 3 1 Twice Convection-Difussion solver Pressure_Solver\n"
            "conditional 1\n");
  EXPECT_NE(r.err.find("StabTauP_MinRatio: Large values may cause significant compressibility effect."), std::string::npos);
  EXPECT_EQ(r.err.find("StabTauV_MinRatio"), std::string::npos);
  EXPECT_EQ(r.err.find("Too low KEnergy_MinRatio"), std::string::npos);  // KenrMinimum 1 is enough
}

}  // namespace
