// The command line of the real program: option faults with their texts and statuses, the usage
// line, and where the tool arguments end.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

#include "driver/commandline.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "tests/driver/run_olvu.h"
#include "tests/support/peer.h"

namespace olvu_test {
namespace {

struct Fault {
  std::vector<std::string> args;
  std::string message;
  int status;
};

TEST(CommandLine, EachOperandFaultHasItsTextAndStatusAndOpensNoFile) {
  const std::string usage =
      std::string("Use: ") + OLVU_EXE +
      " [ -2D ] [ -3D ] [ -name \"DataFileName\" ]  [ -tool \"Args\" ] [ -verbose [none/some] ] [ -coupling "
      "\"port\" \"timeout\" ]\n";
  const Fault faults[] = {
      {{"-name"}, "Flag [ -name ] needs one argument \n", 2},
      {{"-2D", "-tool"}, "Flag [ -tool ] needs one argument \n", 2},
      {{"-name", "x", "-verbose"}, "Option [ -verbose ] needs one argument \n", 2},
      {{"-coupling", "1000"}, "Option [ -coupling ] needs two arguments (port & timeout) \n", 2},
      {{"-coupling", "999", "5000", "-name", "x"}, "Cannot initialise Kelvarid coupling.\nWrong port ( <1000 ) given.", 2},
      {{"-coupling", "abc", "200"}, "Cannot initialise Kelvarid coupling.\nWrong port ( <1000 ) given.", 2},
      {{"-coupling", "1000", "99"}, "Cannot initialise Kelvarid coupling.\nWrong timeout ( <100 ) given.", 2},
      // Ports beyond 16 bits, one of them beyond 32: refused, not wrapped to a port below.
      {{"-coupling", "66536", "3000"}, "Cannot initialise Kelvarid coupling.\nWrong port ( >65535 ) given.", 2},
      {{"-coupling", "4294968296", "3000"}, "Cannot initialise Kelvarid coupling.\nWrong port ( >65535 ) given.", 2},
      {{"-coupling", "99999999999999999999", "3000"}, "Cannot initialise Kelvarid coupling.\nWrong port ( >65535 ) given.", 2},
      {{}, usage, 1},
      {{"-verbose", "loud", "-2D"}, usage, 1},
  };
  for (const Fault& f : faults) {
    Folder dir;
    const Outcome r = dir.olvu(f.args);
    SCOPED_TRACE(f.message);
    EXPECT_EQ(r.status, f.status);
    EXPECT_EQ(WithoutHeapNotes(r.err), f.message);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(dir.exists("x.err"));
    EXPECT_EQ(WithoutHeapNotes(dir.read("x.war")), "");
  }
}

// What the scan of `words` (after the program name) gives, as one line of text.
std::string Scan(std::vector<const char*> words) {
  words.insert(words.begin(), "olvu");
  const ChildResult r = RunInChild([&] {
    const CommandLine c = ParseCommandLine(static_cast<int>(words.size()), words.data());
    std::cout << Dimension_Olvu << " " << Verbose_Off << " " << (c.hasName ? "[" + c.name + "]" : "-") << " "
              << (c.hasTool ? "[" + c.tool + "]" : "-") << " " << c.args.size();
    for (const std::string& a : c.args) std::cout << " [" << a << "]";
    std::cout << " " << c.port << " " << c.timeout;
  });
  return r.out;
}

TEST(CommandLine, OptionsAndTheirOperands) {
  EXPECT_EQ(Scan({}), "2 0 - - 0 0 0");
  EXPECT_EQ(Scan({"-2D", "-3D"}), "3 0 - - 0 0 0");
  EXPECT_EQ(Scan({"-3d", "-2d"}), "2 0 - - 0 0 0");
  EXPECT_EQ(Scan({"-NAME", "a", "-name", "b"}), "2 0 [b] - 0 0 0");
  // An operand is never an option.
  EXPECT_EQ(Scan({"-name", "-tool"}), "2 0 [-tool] - 0 0 0");
  EXPECT_EQ(Scan({"-verbose", "NONE"}), "2 2 - - 0 0 0");
  EXPECT_EQ(Scan({"-verbose", "some"}), "2 1 - - 0 0 0");
  EXPECT_EQ(Scan({"-verbose", "loud", "stray", "-3D"}), "3 0 - - 0 0 0");
  EXPECT_EQ(Scan({"-tool", "Check_Units", "[m]", "Length", "-name", "x"}),
            "2 0 - [Check_Units] 4 [[m]] [Length] [-name] [x] 0 0");
  EXPECT_EQ(Scan({"-coupling", "1000", "100", "-name", "p"}), "2 0 [p] - 0 1000 100");
  EXPECT_EQ(Scan({"-coupling", "65535", "100"}), "2 0 - - 0 65535 100");
}

TEST(CommandLine, ScanStopsAtTheFirstFault) {
  // The -name fault comes first; the coupling words after it are never looked at.
  Folder dir;
  const Outcome r = dir.olvu({"-coupling", "1", "1", "-name"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(WithoutHeapNotes(r.err), "Cannot initialise Kelvarid coupling.\nWrong port ( <1000 ) given.");
}

TEST(CommandLine, ToolTakesEveryLaterWordAsItsArgument) {
  // "-name x" after the tool name are tool arguments, so the run has no data-file name and no
  // file named x is made; the check uses its first two arguments.
  Folder dir;
  const Outcome r = dir.olvu({"-tool", "Check_Units", "[m]", "Length", "-name", "x"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(WithoutHeapNotes(r.err), "");
  EXPECT_FALSE(dir.exists("x.err"));
  EXPECT_FALSE(dir.exists("x.tim"));
}

TEST(CommandLine, UnknownToolIsFatalWithTheDataFileName) {
  Folder dir;
  dir.write("box", "OLVU_2D\n");
  const Outcome r = dir.olvu({"-name", "box", "-tool", "Foo"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.read("box.err"), ErrFile("Tool type Foo not implemented\n"));
}

TEST(CommandLine, ToolThatReadsTheDataFileNeedsAName) {
  Folder dir;
  const Outcome r = dir.olvu({"-tool", "Write_Mesh", "-name", "box"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(WithoutHeapNotes(r.err), "Option [ -name \"DataFileName\" ] required.\n");
}

TEST(CommandLine, ValidCouplingWithoutPeerStopsAfterTheTimeOut) {
  Folder dir;
  using Steady = std::chrono::steady_clock;
  // What starting and stopping the program costs on this machine now, without a link.
  const auto t0 = Steady::now();
  EXPECT_EQ(dir.olvu({"-name", "box"}).status, 1);
  const auto t1 = Steady::now();
  const std::string port = std::to_string(FreePort());
  const Outcome r = dir.olvu({"-coupling", port, "300", "-name", "box"});
  const auto t2 = Steady::now();
  EXPECT_EQ(r.status, 1);
  // The time-out, the port and what to do.
  EXPECT_EQ(dir.read("box.err"),
            ErrFile("Failed as server, timeout (no peer connected to port " + port + " within 300 ms).\n"
                    "\tStart the coupled program so that it connects to port " + port +
                    " while this one waits, or give a longer time-out (the number after the port, in milliseconds)\n"));
  EXPECT_EQ(WithoutHeapNotes(dir.read("box.war")), " -->\tInitialising Kelvarid coupling\n");
  // The whole time-out, and then the end: bounded by a hundred times the time-out and the run
  // without the link, which no load reaches, while a time-out read in seconds (1000 times) or
  // never ending would.
  EXPECT_GE(t2 - t1, std::chrono::milliseconds(300));
  EXPECT_LT(t2 - t1, 100 * (std::chrono::milliseconds(300) + (t1 - t0)));
}

TEST(CommandLine, MissingDataFileLeavesNoOutputFiles) {
  Folder dir;
  const Outcome r = dir.olvu({"-name", "nothere"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.read("nothere.err"), ErrFile("Cannot find input file \"nothere\"\n"));
  for (const char* ext : {".res", ".tim", ".for", ".mov"}) EXPECT_FALSE(dir.exists(std::string("nothere") + ext));
  EXPECT_EQ(WithoutHeapNotes(dir.read("nothere.war")), "");
}

}  // namespace
}  // namespace olvu_test
