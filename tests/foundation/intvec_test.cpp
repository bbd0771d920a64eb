#include "foundation/intvec.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/foundation/vec_support.h"

using olvu_test::AllocCounter;
using olvu_test::ExpectFatal;

namespace {

IntVec Make(std::initializer_list<int> v) {
  IntVec r(static_cast<int>(v.size()));
  unsigned i = 1;
  for (int x : v) r(i++) = x;
  return r;
}

std::string Text(const IntVec& v) {
  std::ostringstream o;
  o << v;
  return o.str();
}

int Diff(int x, int y) { return x - y; }
int Add(int x, int y) { return x + y; }

TEST(IntVec, SubRangesFollowTheOneBasedRangeRule) {
  IntVec v = Make({1, 2, 3, 4, 5});
  EXPECT_TRUE(v.subVec(3, 0) == Make({3, 4, 5}));
  EXPECT_TRUE(v.subVec(2, 2) == Make({2, 3}));
  v.fill(9, 4, 0);
  EXPECT_TRUE(v == Make({1, 2, 3, 9, 9}));
  ExpectFatal([] { Make({1, 2, 3, 4, 5}).subVec(4, 3); }, "Index 5 out of range.\n");
  ExpectFatal([] { Make({1, 2, 3}).fill(0, 0, 1); }, "Index 4294967295 out of range.\n");
  ExpectFatal([] { Make({1, 2, 3}).fill(0, 4, 0); }, "Index 2 out of range.\n");
  ExpectFatal([] { IntVec().subVec(1, 0); }, "Index 4294967295 out of range.\n");
}

TEST(IntVec, ConstructionAssignmentAndResize) {
  IntVec a(3, 7);
  EXPECT_TRUE(a == 7);
  IntVec b(a);
  b(2) = 1;
  EXPECT_EQ(a(2), 7);  // deep copy
  a = b;
  EXPECT_TRUE(a == b);
  a.resize(0, 5);
  EXPECT_EQ(a.length(), 0u);
  a.resize(4, 9);
  EXPECT_TRUE(a == Make({9, 9, 9, 9}));
  a.resize(2, 0);
  a.resize(3, 1);
  EXPECT_TRUE(a == Make({9, 9, 1}));
  EXPECT_TRUE(IntVec() == 7);
  EXPECT_FALSE(Make({1, 2}) == Make({1, 2, 3}));
  ExpectFatal([] { IntVec v(-2, 0); }, "Can't create a vector of size -2\n");
  ExpectFatal([] { IntVec v; v = 3; }, "Can't fill with 3 a zero lenght vector.\n");
}

TEST(IntVec, TemporariesHandOverTheirStorage) {
  IntVec a = Make({1, 2, 3}), b = Make({10, 20, 30});
  IntVecT t = a + b;
  AllocCounter counter;
  IntVec v(t);
  IntVec w;
  w = v - a;  // the difference is the only allocation
  long allocations = counter.count();
  EXPECT_EQ(allocations, 1);
  EXPECT_EQ(t.length(), 0u);
  EXPECT_TRUE(v == Make({11, 22, 33}));
  EXPECT_TRUE(w == b);
  IntVec n = -(a + b);  // the temporary is negated in place
  EXPECT_TRUE(n == Make({-11, -22, -33}));
  EXPECT_TRUE(-a == Make({-1, -2, -3}));
}

TEST(IntVec, ArithmeticChecksLengthsAndDivisors) {
  IntVec a = Make({7, -7, 9});
  EXPECT_TRUE(a / 2 == Make({3, -3, 4}));
  EXPECT_TRUE(quotient(a, Make({2, 2, -3})) == Make({3, -3, -3}));
  EXPECT_TRUE(product(a, Make({1, 2, 3})) == Make({7, -14, 27}));
  EXPECT_EQ(a * Make({1, 1, 1}), 9);
  EXPECT_TRUE(a * 2 + 1 - 3 == Make({12, -16, 16}));
  a += 1;
  a *= 2;
  EXPECT_TRUE(a == Make({16, -12, 20}));
  EXPECT_TRUE(quotient(Make({-2147483647 - 1}), Make({-1})) == Make({-2147483647 - 1}));  // wraps, no trap
  ExpectFatal([] { Make({1, 2}) + Make({1, 2, 3}); }, "Different lenght vectors 2 != 3\n");
  ExpectFatal([] { IntVec v = Make({1, 2}); v -= Make({1}); }, "Different lenght vectors 2 != 1\n");
  ExpectFatal([] { IntVec v = Make({1}); v /= 0; }, "Division by zero.\n");
  ExpectFatal([] { quotient(Make({1, 2}), Make({1, 0})); }, "Division by zero.\n");
}

TEST(IntVec, WholeVectorOperations) {
  EXPECT_TRUE(merge(Make({1, 3}), Make({1, 2}), Diff) == Make({1, 1, 2, 3}));
  EXPECT_EQ(combine(Add, Make({1, 2, 3}), Make({1, 1, 1, 1, 1})).length(), 3u);
  EXPECT_TRUE((Make({1, 2}) & Make({3})) == Make({1, 2, 3}));
  EXPECT_TRUE(reverse(Make({1, 2, 3})) == Make({3, 2, 1}));
  EXPECT_TRUE(map([](int x) { return x * x; }, Make({1, -2})) == Make({1, 4}));
  IntVec v = Make({4, 2, 5, 1, 3, 9});
  EXPECT_EQ(v.reduce(Add, 10), 34);
  EXPECT_EQ(v.index(5), 3);
  EXPECT_EQ(v.index(8), 0);
  v.Qsort();
  EXPECT_TRUE(v == Make({1, 2, 3, 4, 5, 9}));
  EXPECT_EQ(v.Bsearch(4), 3);
  EXPECT_EQ(v.Bsearch(6), -1);
  EXPECT_EQ(IntVec().Bsearch(1), -1);
  v.reverse();
  EXPECT_TRUE(v == Make({9, 5, 4, 3, 2, 1}));
}

TEST(IntVec, ExtremesAndSums) {
  EXPECT_EQ(Make({2, 7, 7}).max_index(), 2);
  EXPECT_EQ(Make({4, 1, 1}).min_index(), 2);
  EXPECT_EQ(IntVec().max_index(), 0);
  EXPECT_EQ(IntVec().min_index(), 0);
  EXPECT_EQ(IntVec().max_val(), 0);
  EXPECT_EQ(Make({-3, 5, -8}).min_val(), -8);
  EXPECT_EQ(Make({-3, 5, -8}).sum(), -6);
  EXPECT_EQ(Make({-3, 5, -8}).sumsq(), 98);
}

TEST(IntVec, PrintsFiveWideEntriesAndRestoresFlags) {
  std::ostringstream o;
  o << std::left;
  o << Make({1, -20, 300});
  EXPECT_EQ(o.str(), "    1  -20  300");
  EXPECT_TRUE(o.flags() & std::ios::left);
  EXPECT_EQ(Text(IntVec()), "\n\t(Zero size vector)\n");
}

TEST(IntVec, WholeVectorSortsCarryTheCompanion) {
  IntVec keys = Make({3, 1, 2}), comp = Make({30, 10, 20});
  EXPECT_EQ(QSort(keys, comp), 1);
  EXPECT_TRUE(keys == Make({1, 2, 3}));
  EXPECT_TRUE(comp == Make({10, 20, 30}));
  EXPECT_EQ(BSearch(keys, 3), 2);
  EXPECT_EQ(LSearch(Make({5, 7, 7}), 7), 1);
  EXPECT_EQ(LSearch(IntVec(), 7), -1);
}

}  // namespace
