#include "foundation/intplex.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/support/child.h"

namespace {

std::string Text(IntPlex& v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

TEST(IntPlex, PrintsTwelvesOnNewTabbedLines) {
  IntPlex v(5);
  EXPECT_EQ(Text(v), "");
  std::string want;
  for (int k = 1; k <= 25; ++k) {
    v.add(100 + k);
    if (k % 12 == 0) want += "\n\t";
    want += std::to_string(100 + k) + "\t";
  }
  EXPECT_EQ(Text(v), want);
  EXPECT_EQ(v.clear(), 5);
  v.add(-7);
  EXPECT_EQ(Text(v), "-7\t");
}

TEST(IntPlexFatal, PositionOutsideShowsThePrintedValues) {
  auto r = olvu_test::RunInChild([] {
    IntPlex v(100);
    v.add(3);
    v.add(4);
    v.cache(3);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\nAttempt to access invalid index 3\n\tIntPlex = 3\t4\t\n");
}

}  // namespace
