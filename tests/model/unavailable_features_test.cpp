// Set types and blocks of the fluid definition that later work reads: each one ends the run with
// its own message and status 1, never with a crash or a silently ignored block.
#include <gtest/gtest.h>

#include <string>

#include "foundation/declarations.h"
#include "tests/model/fluidcase.h"
#include "tests/support/child.h"

namespace {

using olvu_test::FluidCase;
using olvu_test::ReadFile;
using olvu_test::RunInChild;
using olvu_test::WriteFile;

// The cavity data file with the first `from` replaced by `to`.
std::string Cavity(const std::string& from, const std::string& to) {
  std::string text = ReadFile(OLVU_TEST_DATA_DIR "/cavity.dat");
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(UnavailableFeatures, SetTypesAndBlocksEndWithTheirMessage) {
  struct Case {
    std::string text, message;
  };
  const Case cases[] = {
      {Cavity("Type Fluid", "Type WBody"), "BodyMesh: Wall type not defined"},
  };
  for (const Case& c : cases) {
    auto r = RunInChild(
        [] {
          Verbose_Off = 1;
          FluidCase fc("case.dat");
        },
        [&c](const std::string& dir) { WriteFile(dir + "/case.dat", c.text); });
    EXPECT_FALSE(r.signaled) << c.message;
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_EQ(r.err, "\n\n" + c.message + "\n") << c.message;
  }
}

}  // namespace
