// Runs that could put infinities or NaNs into the result file: the Z velocity of a plane problem,
// however given, changes no result; a result that becomes non-finite ends the run with its
// message and leaves the earlier output as it was.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver/run_olvu.h"
#include "tests/model/channelrun.h"

namespace olvu_test {
namespace {

bool HasNonFinite(const std::string& res) { return res.find("inf") != res.npos || res.find("nan") != res.npos; }

// The wall-law channel of 2 x 2 cells (node 8 mid-way along the top wall), an output every step of
// `dt`, with `line` first in its boundary block.
std::string Channel(int steps, const std::string& line, WallChannel c = {}, const std::string& dt = "0.5") {
  c.steps = steps, c.output = 1, c.ys = {0, 0.5, 1}, c.dt = dt;
  return Replace(c.Text(), "Mass [Kg];\n", "Mass [Kg];\n" + line);
}

TEST(FiniteResults, ZVelocityOfAPlaneProblemChangesNoResult) {
  // Given by a boundary line, the initial data or a restart file (every node but node 8, whose
  // line sets its own), it once fed the wall laws, the speed and the vorticity with infinities.
  WallChannel initial, restart;
  initial.initial = "Function VelocityZ \"1e200\" [m/s];\n";
  restart.general = "Restart";
  const std::string plain = "Node 8 Velc 1.0 0.0 0.0;\n";
  const struct {
    std::string text, reference;
    bool restart;  // from the file of a run of 2 steps, its Z velocity set to 1e308
    int nodes;
  } cases[] = {{Channel(2, "Node 8 Velc 1.0 0.0 1e200;\n"), Channel(2, plain), false, 1},
               {Channel(2, plain, initial), Channel(2, plain), false, 8},
               {Channel(4, plain, restart), Channel(4, plain, restart), true, 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nodes);
    std::string res[2];
    for (int k = 0; k < 2; ++k) {
      Folder dir;
      if (c.restart) {
        dir.write("w.dat", Channel(2, plain));
        ASSERT_EQ(dir.olvu({"-name", "w.dat"}).status, 0);
        std::string rst = dir.read("w.dat.rst"), huge;
        for (int i = 0; i < 9; ++i) huge += " 1.0E+308";
        const auto at = rst.find('\n', rst.find("\t_VeltZ_\tlen = 9;\n")) + 1;
        if (k == 0) dir.write("w.dat.rst", rst.replace(at, rst.find('\n', at) - at, huge));
      }
      dir.write("w.dat", k ? c.reference : c.text);
      ASSERT_EQ(dir.olvu({"-name", "w.dat"}).status, 0) << dir.read("w.dat.err");
      res[k] = dir.read("w.dat.res");
      const std::string notice = "Fluid Domain: The Z velocity given at " + std::to_string(c.nodes) + " node(s) is ignored";
      EXPECT_EQ(dir.read("w.dat.war").find(" -->\t" + notice + " in a two-dimensional problem\n") != res[k].npos, k == 0);
    }
    EXPECT_EQ(res[0], res[1]);
    EXPECT_FALSE(HasNonFinite(res[0]));
  }
}

TEST(FiniteResults, NonFiniteResultEndsTheRunAndKeepsTheEarlierOutput) {
  // A customised result undefined from t = 0.25 on: the outputs at 0.1 and 0.2 stand as a run of
  // two steps leaves them (result and restart files), then step 3 ends the run.
  for (const char* value : {"nan", "-inf"}) {
    SCOPED_TRACE(value);
    const std::string bad = value[0] == 'n' ? "1e200 * 1e200 * 0" : "-1e200 * 1e200";
    const std::string text = Replace(Channel(4, "", {}, "0.1"), "EndInitialDataFunctions;\n",
                                     "EndInitialDataFunctions;\nCustomisedResultsFunctions;\nCustomRes \"if (t > 0.25) "
                                     "then " + bad + " else 1 endif\" Name Root;\nEndCustomisedResultsFunctions;\n");
    Folder two, dir;
    two.write("w.dat", Replace(text, "Number_of_Steps 4", "Number_of_Steps 2"));
    ASSERT_EQ(two.olvu({"-name", "w.dat"}).status, 0) << two.read("w.dat.err");
    dir.write("w.dat", text);
    EXPECT_EQ(dir.olvu({"-name", "w.dat"}).status, 1);
    EXPECT_EQ(dir.read("w.dat.err"),
              ErrFile(std::string("Non-finite result found: ") + value +
                      " in \"Fluid_Root\" at node 1, time 0.3.\n\tThe solution has diverged or a result function is "
                      "undefined there. The results of this output are not written; earlier results and the restart "
                      "file are kept.\n"));
    EXPECT_EQ(dir.read("w.dat.res"), two.read("w.dat.res"));
    EXPECT_EQ(dir.read("w.dat.rst"), two.read("w.dat.rst"));
  }
}

}  // namespace
}  // namespace olvu_test
