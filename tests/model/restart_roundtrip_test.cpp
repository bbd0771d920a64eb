// The fluid block of the restart file written and read back by the domain itself: the entry
// layout, every value back to its last bit, and a second write that gives the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>

#include "foundation/declarations.h"
#include "input/input.h"
#include "tests/model/fluidcase.h"
#include "tests/support/child.h"

namespace {

using olvu_test::FluidCase;
using olvu_test::ReadFile;
using olvu_test::RunInChild;
using olvu_test::WriteFile;

TEST(FluidRestartBlock, WrittenBlockReadsBackToTheSameBytes) {
  auto r = RunInChild(
      [] {
        Verbose_Off = 1;
        FluidCase c("case.dat");
        FluidDomain& d = *c.fluid;
        d.ReadInitialConditions();
        const unsigned n = d.Var(VelX).length();
        for (unsigned j = 1; j <= n; ++j) {
          d.Var(VelX)(j) = std::sqrt(double(j)) - 2;  // values of every sign and no short expansion
          d.Var(VelY)(j) = 1e-7 / double(j);
          d.Var(Pres)(j) = 12345.678 * double(j);
        }
        std::ostringstream first;
        d.OutputRestart(first, "Fluid");
        WriteFile("case.rst", first.str());
        std::printf("%s", first.str().c_str());

        // Another domain of the same data reads it over its initial values.
        FluidCase other("case.dat");
        FluidDomain& e = *other.fluid;
        e.ReadInitialConditions();
        Input in("case.rst");
        e.ReadRestart(&in, "Fluid");
        // Every value comes back to its last bit.
        for (unsigned j = 1; j <= n; ++j) {
          if (e.Var(VelX)(j) != d.Var(VelX)(j)) std::exit(3);
          if (e.Var(VelY)(j) != d.Var(VelY)(j)) std::exit(4);
          if (e.Var(Pres)(j) != d.Var(Pres)(j)) std::exit(5);
        }
        std::ostringstream second;
        e.OutputRestart(second, "Fluid");
        if (second.str() != first.str()) std::exit(6);
      },
      [](const std::string& dir) { WriteFile(dir + "/case.dat", ReadFile(OLVU_TEST_DATA_DIR "/cavity.dat")); });
  ASSERT_EQ(r.status, 0) << r.err;
  // Key, tab, length; then the values in scientific notation with 16 decimals, signs aligned.
  EXPECT_EQ(r.out.substr(0, r.out.find("\t_VeltY_")),
            "Fluid;\n\t_VeltX_\tlen = 9;\n-1.0000000000000000E+00 -5.8578643762690485E-01 -2.6794919243112281E-01 "
            "  0.0000000000000000E+00   2.3606797749978981E-01   4.4948974278317788E-01   6.4575131106459072E-01 "
            "  8.2842712474619029E-01   1.0000000000000000E+00 \n");
  EXPECT_NE(r.out.find("\t_Prest_\tlen = 9;\n  1.2345678000000000E+04   2.4691356000000000E+04 "), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("EndFluid;\n"), std::string::npos);
}

TEST(FluidRestartBlock, PreviousStepKeysInAnyCaseAndUnusedVectors) {
  auto r = RunInChild(
      [] {
        Verbose_Off = 1;
        FluidCase c("case.dat");
        FluidDomain& d = *c.fluid;
        d.ReadInitialConditions();
        Input in("case.rst");
        d.ReadRestart(&in, "Fluid");
        std::printf("%g %g %g %u\n", d.Var(VelX)(2), d.Var(VelX0)(3), d.Var(Pres)(9), d.Var(Temp).length());
      },
      [](const std::string& dir) {
        WriteFile(dir + "/case.dat", ReadFile(OLVU_TEST_DATA_DIR "/cavity.dat"));
        WriteFile(dir + "/case.rst",
                  "Fluid;\n\t_veltx_\tlen = 9;\n 1 2 3 4 5 6 7 8 9\n\t_VTDTX_\tlen = 9;\n 9 8 7 6 5 4 3 2 1\n"
                  "\t_Tmtdt_\tlen = 3;\n 1 2 3\n\t_Prest_len = 9;\n 0 0 0 0 0 0 0 0 -4.5E+01\nEndFluid;\n");
      });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2 7 -45 0\n");  // the temperature entry is skipped: no temperature here
}

TEST(FluidRestartBlock, NegativeOrWrongLengthsAreRestartFaults) {
  const std::string values = " 1 2 3 4 5 6 7 8 9\n";
  const std::string wrong = "\n\nWrong data found in Restart file. Cannot restart.\n\tEntry ";
  const std::pair<std::string, std::string> cases[] = {
      // a vector the domain uses, one it does not use, the length glued to the key
      {"\t_VeltY_\tlen = -3;\n 1 2 3\n", "_VeltY_ of Fluid Domain: 9 values expected, -3 found.\n"},
      {"\t_Tempt_\tlen = -1;\n 1\n", "_Tempt_ of Fluid Domain: a length of 0 or more expected, -1 found.\n"},
      {"\t_VeltY_len = 8;\n 1 2 3 4 5 6 7 8\n", "_VeltY_ of Fluid Domain: 9 values expected, 8 found.\n"},
  };
  for (const auto& [key, message] : cases) {
    const std::string& entry = key;  // clang 14 cannot capture a structured binding
    auto r = RunInChild(
        [] {
          Verbose_Off = 1;
          FluidCase c("case.dat");
          c.fluid->ReadInitialConditions();
          Input in("case.rst");
          c.fluid->ReadRestart(&in, "Fluid");
        },
        [&](const std::string& dir) {
          WriteFile(dir + "/case.dat", ReadFile(OLVU_TEST_DATA_DIR "/cavity.dat"));
          WriteFile(dir + "/case.rst", "Fluid;\n\t_VeltX_\tlen = 9;\n" + values + entry + "EndFluid;\n");
        });
    EXPECT_EQ(r.status, 1) << entry;
    EXPECT_EQ(r.err, wrong + message) << entry;
  }
}

}  // namespace
