// The saved-result reader over hand-written result files, and the storing of saved fields back into
// a fluid domain in internal units.
#include <gtest/gtest.h>

#include <sstream>

#include "domain/fluiddomain.h"
#include "driver/savedresults.h"
#include "foundation/declarations.h"
#include "tests/model/fluidcase.h"
#include "tests/support/child.h"

namespace olvu_test {
namespace {

const char kSaved[] =
    "Qor Post Results File 1.0\n"
    "Result \"VELOCITY\" \"QUELMA\" 0.25 Vector OnNodes\n"
    "ComponentNames \"Vx\",\"Vy\",\"Vz\",\"|V|\"\n"
    "Values\n"
    "\t1\t1\t2\t3\tnote\n"
    "\t2\t4\t5\t6\n"
    "End Values\n"
    "Result \"VELOCITY_STRESS_TENSOR\" \"QUELMA\" 1.5e-06 Matrix OnNodes\n"
    "Values\n"
    "\t1\t1\t2\t3\t4\t5\t6\n"
    "End Values\n"
    "Result \"MESH DEFORMATION\" \"VINTARO\" 7 Vector OnNodes\n"
    "Values\n"
    "End Values\n";

TEST(SavedResults, BlocksInFileOrderWithNamesTimesAndValues) {
  std::istringstream in(kSaved);
  SavedResults blocks(in);
  std::vector<std::string> names;
  std::vector<double> times;
  SavedField field;
  while (blocks.Next()) {
    names.push_back(blocks.Name());
    if (blocks.Is("VELOCITY")) {
      times.push_back(blocks.Time());
      // A word after the values is dropped with the rest of the line.
      EXPECT_EQ(blocks.Values(3, field), 2);
      EXPECT_EQ(field.nodes, (std::vector<int>{1, 2}));
      EXPECT_EQ(field.values, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    } else if (blocks.Is("VELOCITY_STRESS_TENSOR")) {
      times.push_back(blocks.Time());
    }
  }
  // The header's "Results" is found too; its name is "File". A name with a blank is cut there.
  EXPECT_EQ(names, (std::vector<std::string>{"File", "VELOCITY", "VELOCITY_STRESS_TENSOR", "\"MESH"}));
  EXPECT_EQ(times, (std::vector<double>{0.25, 1.5e-06}));
}

TEST(SavedResults, ACutFileEndsWithItsMessage) {
  // Runs the time (values = false) or the values of the first block of `text`; gives standard error.
  const auto fails = [](const std::string& text, bool values) {
    const ChildResult r = RunInChild([&] {
      std::istringstream in(text);
      SavedResults blocks(in);
      blocks.Next();
      SavedField v;
      if (values)
        blocks.Values(1, v);
      else
        blocks.Time();
    });
    EXPECT_EQ(r.status, 1) << text;
    return r.err;
  };
  EXPECT_EQ(fails("Result \"PRESSURE\" \"QUELMA\"", false), "\n\nend of file and no digit found\n");
  EXPECT_EQ(fails("Result \"PRESSURE\" \"QUELMA\" 0 Scalar OnNodes\n", true),
            "\n\ncan't find word ***values*** in input file\n");
  EXPECT_EQ(fails("Result \"PRESSURE\" \"QUELMA\" 0 Scalar OnNodes\nValues\nEnd Values\n", true),
            "\n\nerror: list of nodes does not contain any node\n");
  // A value too many (a magnitude after a scalar) is a broken record, not one to trim.
  EXPECT_EQ(fails("Result \"PRESSURE\" \"QUELMA\" 0 Scalar OnNodes\nValues\n\t1\t1\t2\n", true),
            "\n\nWrong values in record 1 at byte 56 of the input file\n");
}

// Five nodes; the one triangle holds 5, 3 and 1 only, so the domain numbers differ from theirs.
const char kCorner[] =
    "Nodes;\n 1 1 0 0\n 2 2 0 0\n 3 0 0 0\n 4 3 0 0\n 5 0 1 0\n"
    "FluidDefinition Solve_NavierStokes Integration_Scheme Backward_Euler;\nInitialDataFunctions;\nEndInitialDataFunctions;\n"
    "ElmSets;\nSet 1 Type Fluid ElmType Triangle NNode 3 Name Corner;\n"
    "PhysicalPropertiesFunctions;\nFunction Density \"1000\" [Kg/m3];\nFunction Viscosity \"0.001\" [Kg/m.s];\n"
    "EndPhysicalPropertiesFunctions;\n"
    "Elements\n 1 5 3 1\nEnd Elements\nEndElmSets;\n"
    "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nEndBoundary;\n";

TEST(SavedResults, FieldsGoBackInInternalUnitsAtTheDomainNumbers) {
  const ChildResult r = RunInChild(
      [] {
        Max_Iterations = 1;
        Verbose_Off = 2;
        FluidCase c("case.dat");
        FluidDomain& d = *c.fluid;
        // Densities by problem node: 1 -> 4000, 3 -> 3000, 5 -> 0.
        ReaVec& rho = d.Var(Dens);
        rho(c.Local(1)) = 4000;
        rho(c.Local(3)) = 3000;
        rho(c.Local(5)) = 0;
        d.Var(Pres) = 7.0;

        SavedField velocity;
        for (int i = 1; i <= 5; ++i) {
          velocity.nodes.push_back(i);
          velocity.values.insert(velocity.values.end(), {10.0 * i, -10.0 * i, 1.0});
        }
        RestoreField(d, c.toLocal, velocity, {VelX, VelY, VelZ}, 10, nullptr);
        SavedField pressure;
        pressure.nodes = {1, 2, 5};  // node 3 is not in the block
        pressure.values = {2000, 4000, 6000};
        RestoreField(d, c.toLocal, pressure, {Pres}, 2, &rho);
        // Temperature is not solved: its vector is not in use and stays so.
        RestoreField(d, c.toLocal, pressure, {Temp}, 1, nullptr);

        for (int id : {VelX, VelY, VelZ, Pres})
          for (int k : {1, 3, 5}) std::cout << d.Var(id)(c.Local(k)) << (k < 5 ? " " : "\n");
        std::cout << d.Var(Temp).length() << "\n";
      },
      [](const std::string& dir) { WriteFile(dir + "/case.dat", kCorner); });
  ASSERT_EQ(r.status, 0) << r.err;
  // By problem node 1, 3, 5: the velocity divided by 10; the pressure divided by 2 and by the
  // density, 0 where the density is 0, and node 3, not in the saved block, keeps its value.
  EXPECT_EQ(r.out, "1 3 5\n-1 -3 -5\n0.1 0.1 0.1\n0.25 7 0\n0\n");
}

}  // namespace
}  // namespace olvu_test
