// The fluid domain seen through whole runs of the program: the initial result blocks of a
// cavity of two materials, the material checks of each step and the reader faults in .err.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver/run_olvu.h"
#include "tests/model/resblocks.h"

namespace {

using olvu_test::DataFile;
using olvu_test::ErrFile;
using olvu_test::Folder;
using olvu_test::Replace;
using olvu_test::BlockAt;
using olvu_test::InitialBlock;


TEST(FluidRuns, InitialBlocksOfTwoMaterialsWithSmoothField) {
  Folder f;
  f.write("two.dat", Replace(DataFile("twosets.dat"), "Max_Iterations 3;", "Max_Iterations 3 Smooth_Field;"));
  auto r = f.olvu({"-name", "two.dat"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string res = f.read("two.dat.res");
  // The boundary keeps Y*Y, the centre is the mean of its four edge neighbours (3 x 3 nodes).
  const std::string velocity = InitialBlock(res, "VELOCITY");
  EXPECT_NE(velocity.find("\t5\t0.375\t0\t0\n"), std::string::npos) << velocity;
  EXPECT_NE(velocity.find("\t8\t1\t0\t0\n"), std::string::npos);
  EXPECT_EQ(velocity.find("\t10\t"), std::string::npos);  // node 10 lies in no set
  // Densities 1000 (left) and 3000 (right), volume-weighted where the sets meet.
  EXPECT_EQ(InitialBlock(res, "DENSITY"),
            "\t1\t1000\n\t2\t2333.33\n\t3\t3000\n\t4\t1000\n\t5\t2000\n\t6\t3000\n\t7\t1000\n\t8\t1666.67\n\t9\t3000\n");
  EXPECT_NE(InitialBlock(res, "PRESSURE").find("\t10\t0\n"), std::string::npos);
}

TEST(FluidRuns, MaterialChecksOfEachStep) {
  Folder f;
  const std::string base = DataFile("twosets.dat");
  f.write("visc.dat", Replace(base, "Function Viscosity \"0.001\"", "Function Viscosity \"0.001-t\""));
  auto visc = f.olvu({"-name", "visc.dat"});
  EXPECT_EQ(visc.status, 1);
  EXPECT_EQ(f.read("visc.dat.err"), ErrFile("Wrong fluid viscosity field (Viscosity < 0.0) found.\n\tCheck material data.\n"));

  const std::string temp = Replace(Replace(base, "Solve_NavierStokes", "Solve_NavierStokes Solve_Temperature"),
                                   "Function Viscosity \"0.001\" [Kg/m.s];",
                                   "Function Viscosity \"0.001\" [Kg/m.s];\nFunction SpecificHeat \"CP\" [J/Kg.Gt];\n"
                                   "Function Conductivity \"K\" [W/m.Gt];");
  f.write("cp.dat", Replace(Replace(temp, "\"CP\"", "\"0\""), "\"K\"", "\"1\""));
  auto cp = f.olvu({"-name", "cp.dat"});
  EXPECT_EQ(cp.status, 0) << cp.err;
  EXPECT_NE(f.read("cp.dat.war").find("Null specific heat found.\n\tCheck material data."), std::string::npos);
  EXPECT_NE(cp.out.find("STEP = 2, TIME = 0.2"), std::string::npos);  // the run goes on

  f.write("k.dat", Replace(Replace(temp, "\"CP\"", "\"1000\""), "\"K\"", "\"-1\""));
  auto k = f.olvu({"-name", "k.dat"});
  EXPECT_EQ(k.status, 1);
  EXPECT_EQ(f.read("k.dat.err"), ErrFile("Wrong conductivity field (K < 0.0) found.\n\tCheck material data.\n"));
}

TEST(FluidRuns, ReaderFaultsEndInTheErrorFile) {
  Folder f;
  const std::string base = DataFile("twosets.dat");
  f.write("type.dat", Replace(base, "Set 2 Type Fluid", "Set 2 Type Solidish"));
  EXPECT_EQ(f.olvu({"-name", "type.dat"}).status, 1);
  EXPECT_EQ(f.read("type.dat.err"), ErrFile("ElmSet Solidish not implemented\n"));
  f.write("cw.dat", Replace(base, "  4  5 9 8\n", "  4  5 8 9\n"));
  EXPECT_EQ(f.olvu({"-name", "cw.dat"}).status, 1);
  EXPECT_EQ(f.read("cw.dat.err"),
            ErrFile("Negative Volume found in fluid set Right, element     4               5              8              9\n"
                    "\n\tCheck surface normal orientation\n"));
}

}  // namespace
