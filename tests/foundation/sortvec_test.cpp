#include "foundation/sortvec.h"

#include <gtest/gtest.h>

#include <sstream>

#include "foundation/intvec.h"
#include "tests/foundation/vec_support.h"

using olvu_test::ExpectFatal;

namespace {

IntVec Keys(std::initializer_list<int> v) {
  IntVec r(static_cast<int>(v.size()));
  unsigned i = 1;
  for (int x : v) r(i++) = x;
  return r;
}

TEST(SortVec, LooksUpLoadedPositions) {
  SortVec s;
  s = Keys({30, 10, 20});
  EXPECT_EQ(s.sorted, 1);
  EXPECT_EQ(s(20), 3);
  EXPECT_EQ(s(10), 2);
  EXPECT_EQ(s[15], -1);
  EXPECT_EQ(s.Bsearch(30), 2);
  EXPECT_EQ(s.Exist(31), -1);
  ExpectFatal([s]() mutable { s(15); }, "SortVec::Bsearch Element 15 not found\n");
}

TEST(SortVec, CopiesKeepTheirOrderAndEmptyMapsFindNothing) {
  SortVec s;
  s = Keys({5, 1, 3});
  SortVec c(s);
  EXPECT_EQ(c.sorted, 1);
  EXPECT_EQ(c.keys[0], 1);  // already in sorted order
  EXPECT_EQ(c(5), 1);
  SortVec d(2);
  d = c;
  EXPECT_EQ(d(3), 3);
  SortVec e;
  EXPECT_EQ(e[0], -1);
  EXPECT_EQ(e[7], -1);
}

TEST(SortVec, RestartAndNewKeysNeverSearchStaleOrder) {
  SortVec s(3);
  EXPECT_EQ(s.sorted, 0);
  IntVec k = Keys({9, 7, 8});
  s.set_val(k);
  EXPECT_EQ(s(7), 2);
  // New keys after a look-up: the map sorts again instead of searching the old order.
  s.start();
  s.set_val(Keys({1, 3, 2}));
  EXPECT_EQ(s.sorted, 0);
  EXPECT_EQ(s(3), 2);
  EXPECT_EQ(s(2), 3);
  s.start();
  s.set_val(Keys({6, 4, 5}));
  EXPECT_EQ(s[4], 2);
  EXPECT_EQ(s[9], -1);
  // New keys straight after a look-up, without start(): the sort's permutation is dropped.
  s.set_val(Keys({30, 10, 20}));
  EXPECT_EQ(s(30), 1);
  EXPECT_EQ(s(10), 2);
  EXPECT_EQ(s(20), 3);
  s.resize(4);
  EXPECT_EQ(s.n, 4u);
  int p = s(0);  // every key 0 after a resize: the search returns one of them
  EXPECT_TRUE(p >= 1 && p <= 4);
  s.resize(0);
  EXPECT_EQ(s.keys, nullptr);
}

TEST(SortVec, Prints) {
  SortVec s(2);
  s.set_val(Keys({4, 2}));
  std::ostringstream o;
  o << s;
  EXPECT_EQ(o.str(), "A(1)= 4  A(2)= 2  ");
  std::ostringstream e;
  e << SortVec();
  EXPECT_EQ(e.str(), "\n\t(Zero size vector)\n");
}

}  // namespace
