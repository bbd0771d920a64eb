// Numbers a run cannot hold: a literal beyond the range of a double, an integer beyond an int, a
// count whose arithmetic would wrap, a solver dimension beyond the unknowns, a material value
// that is not finite. Each stops the run with its message and status 1 before a step is written.
#include <gtest/gtest.h>

#include "tests/driver/cavity_data.h"
#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

constexpr char kGeneral[] = "GeneralData Number_of_Steps 2 Time_Increment \"0.1\" [s] OutPut_Step 1 Max_Iterations 3";

// The cavity with `extra` words on its general-data card.
std::string General(const std::string& extra) { return CavityGeneral(std::string(kGeneral) + " " + extra + ";"); }

// The cavity with solver cards before its element sets.
std::string Solvers(const std::string& cards) {
  return Replace(CavityData(), "EndInitialDataFunctions;\n", "EndInitialDataFunctions;\n" + cards);
}

struct Case {
  std::string what, data, message;
};

TEST(NumberLimits, EachNumberBeyondItsRangeStopsTheRunWithItsMessage) {
  const std::string lu = "Symmetric Pressure Max_Iter 100 Tolerance 1e-10 Solver ConjugateGradient;\n";
  const Case cases[] = {
      // Integers beyond an int: refused, never saturated.
      {"steps beyond int", Replace(CavityData(), "Number_of_Steps 2", "Number_of_Steps 99999999999"),
       "Wrong maximum Number_of_Steps given\n"},
      {"inner iterations beyond int", Replace(CavityData(), "TotalDefinition;", "TotalDefinition VC_Inner_Iterations 99999999999;"),
       "Wrong maximum VC_Inner_Iterations given\n"},
      {"output step below int", Replace(CavityData(), "OutPut_Step 1", "OutPut_Step -3000000000"), "Wrong minimum OutPut_Step given\n"},
      // Counts whose arithmetic would wrap.
      {"last step at the largest int", Replace(CavityData(), "Number_of_Steps 2", "Number_of_Steps 2147483647"),
       "Wrong Number of Steps\n"},
      {"start-up intervals", General("Initial_Steps 2000000000"), "Wrong maximum Initial_Steps given\n"},
      {"steps of the new run", General("NewRunVelocities 1 2 StepsNewRunVelocities 2147483647"),
       "Wrong maximum StepsNewRunVelocities given\n"},
      {"steps of three runs", General("NewRunVelocities 1 2 4 StepsNewRunVelocities 1073741823"),
       "Wrong maximum StepsNewRunVelocities given\n"},
      {"Gauss-Seidel limit", Solvers("Symmetric Pressure Max_Iter 2147483647 Tolerance 1e-10 Solver GaussSeidel;\n"),
       "Wrong definition of Max Iterations in solver Pressure\n"},
      {"Jacobi limit", Solvers("NonSymmetric Momentum Max_Iter 2147483647 Tolerance 1e-10 Solver Jacobi;\n" + lu),
       "Wrong definition of Max Iterations in solver Momentum\n"},
      {"Krylov dimension at the largest int",
       Solvers("NonSymmetric Momentum Max_Iter 100 Tolerance 1e-10 Solver GMRes Kdim 2147483647;\n" + lu),
       "Invalid m dimension in GMRES.\n"},
      {"Krylov dimension beyond the 9 unknowns",
       Solvers("NonSymmetric Momentum Max_Iter 100 Tolerance 1e-10 Solver GMRes Kdim 10;\n" + lu),
       "Invalid m dimension in GMRES.\n"},
      // Literals beyond a double (read as infinite) and values that overflow in their units.
      {"gravity beyond a double", Replace(CavityData(), "Gravity 0 -9.81 0", "Gravity 0 -1e999 0"), "Wrong minimum Gravity given\n"},
      {"origin beyond a double", Replace(CavityData(), "[m/s2];", "[m/s2] Pres_Origin 0 1e400 0 [m];"),
       "Wrong maximum Pres_Origin given\n"},
      {"origin overflowing its units", Replace(CavityData(), "[m/s2];", "[m/s2] Pres_Origin 0 1e300 0 [au];"),
       "Wrong maximum Pres_Origin given\n"},
      {"tolerance beyond a double", Solvers("Symmetric Pressure Max_Iter 100 Tolerance 1e999 Solver ConjugateGradient;\n"),
       "Wrong maximum Tolerance given\n"},
      // Material values that are not finite: the property's own message.
      {"infinite density", Replace(CavityData(), "Density \"1000\"", "Density \"exp(1000)\""),
       "Wrong specific heat field (Density < 0.0) found.\n\tCheck material data.\n"},
      {"undefined viscosity", Replace(CavityData(), "Viscosity \"0.001\"", "Viscosity \"exp(1000)-exp(1000)\""),
       "Wrong fluid viscosity field (Viscosity < 0.0) found.\n\tCheck material data.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NE(c.data, CavityData());
    Folder dir;
    dir.write("cavity", c.data);
    const Outcome r = dir.olvu({"-name", "cavity"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("cavity.err"), ErrFile(c.message));
    // At most the initial data: a material value is checked when the first step starts.
    EXPECT_EQ(dir.read("cavity.res").find("\" 0.1 "), std::string::npos);
    EXPECT_FALSE(dir.exists("cavity.rst"));
  }
}

TEST(NumberLimits, KrylovDimensionOfTheUnknownsRuns) {
  // 9 unknowns, 9 directions: the largest dimension accepted.
  Folder dir;
  dir.write("cavity", Solvers("NonSymmetric Momentum Max_Iter 100 Tolerance 1e-10 Solver GMRes Kdim 9;\n"
                              "Symmetric Pressure Max_Iter 100 Tolerance 1e-10 Solver ConjugateGradient;\n"));
  const Outcome r = dir.olvu({"-name", "cavity"});
  EXPECT_EQ(r.status, 0) << dir.read("cavity.err");
  EXPECT_FALSE(dir.exists("cavity.err"));
}

}  // namespace
}  // namespace olvu_test
