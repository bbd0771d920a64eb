// Checked builds stop an out-of-range access with the assertion's message;
// release builds leave the accessors unchecked (these cases are skipped there).
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "foundation/alloc.h"
#include "foundation/bitvec.h"
#include "foundation/clock.h"
#include "foundation/intvec.h"
#include "foundation/matrix.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"
#include "tests/support/child.h"

namespace {

// The access ends the child with status 1 and a report naming the condition and the bounds.
void ExpectAssert(const std::function<void()>& body, const std::string& bounds) {
#ifdef OLVU_CHECKED
  auto r = olvu_test::RunInChild(body);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Assertion ("), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(".h:"), std::string::npos) << r.err;  // file and line of the accessor
  EXPECT_NE(r.err.find(bounds), std::string::npos) << r.err;
#else
  (void)body;
  (void)bounds;
  GTEST_SKIP() << "indices are checked only in checked builds";
#endif
}

TEST(CheckedAccess, VectorsStopOutsideTheirLength) {
  ExpectAssert([] { ReaVec v(3, 1.0); v(4) = 0; }, "ReaVec index 4 outside 1..3");
  ExpectAssert([] { const ReaVec v(3, 1.0); (void)v(0); }, "ReaVec index 0 outside 1..3");
  ExpectAssert([] { ReaVec v(3, 1.0); v[3] = 0; }, "ReaVec index 3 outside 0..3-1");
  ExpectAssert([] { ReaVec v; (void)v[0]; }, "ReaVec index 0 outside 0..0-1");
  ExpectAssert([] { IntVec v(2); v(3) = 1; }, "IntVec index 3 outside 1..2");
  ExpectAssert([] { const IntVec v(2); (void)v[2]; }, "IntVec index 2 outside 0..2-1");
  ExpectAssert([] { BitVec b(9); (void)b(10); }, "BitVec index 10 outside 1..9");
  ExpectAssert([] { BitVec b(9); (void)b[9]; }, "BitVec index 9 outside 0..9-1");
  ExpectAssert([] { BitVec b(9); b.assign(0u, 1); }, "BitVec index 0 outside 1..9");
}

TEST(CheckedAccess, MatricesStopOutsideTheirShape) {
  ExpectAssert([] { Matrix m(2, 3); m(3, 1) = 0; }, "Matrix entry (3, 1) outside 2 x 3");
  ExpectAssert([] { const Matrix m(2, 3); (void)m(1, 4); }, "Matrix entry (1, 4) outside 2 x 3");
  ExpectAssert(
      [] {
        Matrix m(2, 3);
        (void)Transpose(m)(1, 3);
      },
      "Transpose entry (1, 3) outside 3 x 2");
}

// What keeps shared state without a lock stops the run when a thread of a team enters it.
TEST(CheckedAccess, SharedStateStopsInsideAParallelRegion) {
  int cell = 7;
  Plex<int> cells(4, "cells");
  cells.set_at(2, &cell);
  const struct {
    std::function<void()> body;
    const char* what;
  } cases[] = {{[] { AllocReset(); }, "The memory pool"},
               {[] { const Clock c("Assembly"); }, "Clock Assembly"},
               {[&] { (void)cells.get_at(2); }, "Plex cells"},
               {[&] {
                  int i = 0;
                  (void)cells.next(i);
                },
                "Plex cells"}};
  for (const auto& c : cases) olvu_test::ExpectStopInParallelRegion(c.body, c.what);
}

// The last entry of every accessor stays reachable in every build.
TEST(CheckedAccess, LastEntriesAreInRange) {
  ReaVec v(3, 2.0);
  IntVec k(2, 5);
  BitVec b(9);
  b.assign(9u, 1);
  Matrix m(2, 3);
  m = 0.0;
  m(2, 3) = 7.0;
  EXPECT_EQ(v(3) + v[2], 4.0);
  EXPECT_EQ(k(2) + k[1], 10);
  EXPECT_EQ(b(9) + b[8], 2);
  EXPECT_EQ(Transpose(m)(3, 2), 7.0);
}

}  // namespace
