// Whole runs whose input or results could put infinities or NaNs into the result file: the Z
// velocity of a plane problem, given by every kind of input, changes no result; a result that
// becomes non-finite ends the run with its message and leaves the earlier output as it was.
#include <gtest/gtest.h>

#include <string>

#include "tests/driver/run_olvu.h"
#include "tests/model/channelrun.h"

namespace olvu_test {
namespace {

// True when the text holds an infinity or a NaN as the result writer spells them.
bool HasNonFinite(const std::string& res) {
  return res.find("inf") != std::string::npos || res.find("nan") != std::string::npos;
}

// The wall-law channel of 2 x 2 cells (nodes 1 to 9, node 8 in the middle of the top wall), every
// step an output, with `general` added to its general data.
WallChannel SmallChannel(int steps, const std::string& general = "") {
  WallChannel c;
  c.steps = steps;
  c.output = 1;
  c.ys = {0, 0.5, 1};
  c.general = general;
  return c;
}

// The channel's data file with `line` first in its boundary block.
std::string WithBoundaryLine(const WallChannel& c, const std::string& line) {
  return Replace(c.Text(), "BoundaryUnits Length [m] Time [s] Mass [Kg];\n",
                 "BoundaryUnits Length [m] Time [s] Mass [Kg];\n" + line);
}

TEST(FiniteResults, ZVelocityOfAPlaneProblemChangesNoResult) {
  // Each case gives node 8 (or every node) a Z velocity; the run must write the very result file
  // of the same problem without it. The wall laws, the vorticity and the speed once took it in.
  const std::string plain = WithBoundaryLine(SmallChannel(2), "Node 8 Velc 1.0 0.0 0.0;\n");
  WallChannel initial = SmallChannel(2);
  initial.initial = "Function VelocityZ \"1e200\" [m/s];\n";
  const struct {
    const char* what;
    std::string text;
    int nodes;  // nodes that held a Z velocity after the boundary lines
  } cases[] = {
      {"boundary 1e155", WithBoundaryLine(SmallChannel(2), "Node 8 Velc 1.0 0.0 1e155;\n"), 1},
      {"boundary 1e200", WithBoundaryLine(SmallChannel(2), "Node 8 Velc 1.0 0.0 1e200;\n"), 1},
      {"initial data", WithBoundaryLine(initial, "Node 8 Velc 1.0 0.0 0.0;\n"), 8},  // node 8's line sets it
  };
  Folder ref;
  ref.write("w.dat", plain);
  ASSERT_EQ(ref.olvu({"-name", "w.dat"}).status, 0) << ref.read("w.dat.err");
  const std::string expected = ref.read("w.dat.res");
  EXPECT_FALSE(HasNonFinite(expected));
  ASSERT_NE(expected.find("\"WALL_LAW_TRACTION\" \"QUELMA\" 1 "), std::string::npos);
  ASSERT_NE(expected.find("\"VORTICITY\" \"QUELMA\" 1 "), std::string::npos);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Folder dir;
    dir.write("w.dat", c.text);
    const Outcome r = dir.olvu({"-name", "w.dat"});
    ASSERT_EQ(r.status, 0) << dir.read("w.dat.err");
    EXPECT_EQ(dir.read("w.dat.res"), expected);
    EXPECT_NE(dir.read("w.dat.war").find(" -->\tFluid Domain: The Z velocity given at " + std::to_string(c.nodes) +
                                         " node(s) is ignored in a two-dimensional problem\n"),
              std::string::npos);
  }

  // A restart file's Z velocity of 1e308 at every node (node 8's line then sets its own), against
  // the same restart without it.
  Folder dir;
  dir.write("w.dat", plain);
  ASSERT_EQ(dir.olvu({"-name", "w.dat"}).status, 0);
  const std::string saved = dir.read("w.dat.rst");
  const auto at = saved.find("\t_VeltZ_\tlen = 9;\n");
  ASSERT_NE(at, std::string::npos) << saved;
  const auto values = saved.find('\n', at) + 1;
  std::string huge = saved;
  std::string line;
  for (int k = 0; k < 9; ++k) line += " 1.0E+308 ";
  huge.replace(values, saved.find('\n', values) - values, line);
  const std::string restart = WithBoundaryLine(SmallChannel(4, "Restart"), "Node 8 Velc 1.0 0.0 0.0;\n");
  std::string results[2];
  for (int k = 0; k < 2; ++k) {
    dir.write("w.dat.rst", k ? huge : saved);
    dir.write("w.dat", restart);
    const Outcome r = dir.olvu({"-name", "w.dat"});
    ASSERT_EQ(r.status, 0) << dir.read("w.dat.err");
    results[k] = dir.read("w.dat.res");
    EXPECT_FALSE(HasNonFinite(results[k]));
  }
  EXPECT_EQ(results[1], results[0]);
  EXPECT_NE(dir.read("w.dat.war").find("The Z velocity given at 8 node(s) is ignored"), std::string::npos);
}

TEST(FiniteResults, NonFiniteResultEndsTheRunAndKeepsTheEarlierOutput) {
  // A customised result that is undefined from t = 0.25 on: steps of 0.1 s write 0.1 and 0.2,
  // then step 3 ends the run. The result file keeps its whole blocks up to 0.2, and the restart
  // file is still the one of step 2.
  const struct {
    const char* function;
    const char* value;
  } cases[] = {
      {"if (t > 0.25) then 1e200 * 1e200 * 0 else 1 endif", "nan"},
      {"if (t > 0.25) then 1e200 * 1e200 else 1 endif", "inf"},
      {"if (t > 0.25) then -1e200 * 1e200 else 1 endif", "-inf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    WallChannel w = SmallChannel(4);
    w.dt = "0.1";
    const std::string text =
        Replace(w.Text(), "EndInitialDataFunctions;\n",
                std::string("EndInitialDataFunctions;\nCustomisedResultsFunctions;\nCustomRes \"") + c.function +
                    "\" Name Root;\nEndCustomisedResultsFunctions;\n");
    Folder two;
    two.write("w.dat", Replace(text, "Number_of_Steps 4", "Number_of_Steps 2"));
    ASSERT_EQ(two.olvu({"-name", "w.dat"}).status, 0) << two.read("w.dat.err");
    Folder dir;
    dir.write("w.dat", text);
    const Outcome r = dir.olvu({"-name", "w.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("w.dat.err"),
              ErrFile(std::string("Non-finite result found: ") + c.value +
                      " in \"Fluid_Root\" at node 1, time 0.3.\n\tThe solution has diverged or a result function is "
                      "undefined there. The results of this output are not written; earlier results and the restart "
                      "file are kept.\n"));
    const std::string res = dir.read("w.dat.res");
    EXPECT_FALSE(HasNonFinite(res));
    EXPECT_EQ(res, two.read("w.dat.res"));
    EXPECT_EQ(dir.read("w.dat.rst"), two.read("w.dat.rst"));
  }
}

}  // namespace
}  // namespace olvu_test
