#include "foundation/bitvec.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

#include "tests/support/child.h"

namespace {

BitVec FromBits(const std::vector<int>& bits) {
  BitVec b(static_cast<unsigned>(bits.size()));
  for (unsigned i = 1; i <= bits.size(); ++i) b.assign(i, bits[i - 1]);
  return b;
}

std::vector<int> Bits(const BitVec& b) {
  std::vector<int> v;
  for (unsigned i = 1; i <= b.n; ++i) v.push_back(b(i));
  return v;
}

std::string Text(const BitVec& b) {
  std::ostringstream s;
  s << b;
  return s.str();
}

TEST(BitVec, MarkFillsOnlyBitsInsideTheLength) {
  BitVec b(10);
  EXPECT_EQ(b.bytes(), 2u);
  b.mark();
  EXPECT_EQ(b.data[0], 0xFF);
  EXPECT_EQ(b.data[1], 0x03);
  EXPECT_TRUE(b.all_marked());
  b.opposite();
  EXPECT_TRUE(b.null());
  EXPECT_EQ(b.data[1], 0x00);
  b = 1;
  EXPECT_EQ(b.data[1], 0x03);
  b.unmark();
  EXPECT_TRUE(b.null());
}

TEST(BitVec, EmptyVectorIsBothNullAndAllMarked) {
  BitVec e;
  EXPECT_TRUE(e.null());
  EXPECT_TRUE(e.all_marked());
  EXPECT_EQ(e.data, nullptr);
  EXPECT_EQ(Text(e), "");
  BitVec z(0);
  EXPECT_EQ(z.data, nullptr);
}

TEST(BitVec, SingleBitsAndBoundedMarks) {
  BitVec b(9);
  b.bound_mark(0);
  b.bound_mark(10);
  EXPECT_TRUE(b.null());
  b.bound_mark(9);
  EXPECT_EQ(b(9), 1);
  EXPECT_EQ(b[8], 1);
  EXPECT_EQ(b.data[1], 0x01);
  b.bound_unmark(9);
  EXPECT_TRUE(b.null());
  b.assign(3, 7, 1);
  EXPECT_EQ(Bits(b), (std::vector<int>{0, 0, 1, 1, 1, 1, 1, 0, 0}));
  b.assign(5, 4, 0);  // empty range
  b.assign(4, 6, 0);
  EXPECT_EQ(Bits(b), (std::vector<int>{0, 0, 1, 0, 0, 0, 1, 0, 0}));
  EXPECT_FALSE(b.all_marked());
  EXPECT_EQ(Text(FromBits({1, 0, 1})), " 1 0 1");
}

TEST(BitVec, ResizeKeepsOldBitsAndFillsNewOnes) {
  BitVec b = FromBits({1, 0, 1, 1, 0});
  b.resize(12, 1);
  EXPECT_EQ(Bits(b), (std::vector<int>{1, 0, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1}));
  EXPECT_EQ(b.data[1], 0x0F);
  BitVec c = FromBits({1, 0, 1, 1, 0});
  c.resize(12, 0);
  EXPECT_EQ(Bits(c), (std::vector<int>{1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Shrinking drops the bits past the new length, so they never reappear.
  b.resize(3, 0);
  b.resize(8, 0);
  EXPECT_EQ(Bits(b), (std::vector<int>{1, 0, 1, 0, 0, 0, 0, 0}));
  b.resize(0, 0);
  EXPECT_EQ(b.data, nullptr);
  EXPECT_EQ(b.n, 0u);
}

TEST(BitVec, CopyAndAssignmentAreDeep) {
  BitVec a = FromBits({1, 1, 0, 1, 0, 0, 0, 0, 1});
  BitVec b(a);
  BitVec c;
  BitVec d(40);
  c = a;
  d = a;
  a.unmark();
  const BitVec& same = a;
  a = same;  // self-assignment keeps the bits
  EXPECT_EQ(Bits(b), (std::vector<int>{1, 1, 0, 1, 0, 0, 0, 0, 1}));
  EXPECT_EQ(Bits(c), Bits(b));
  EXPECT_EQ(d.n, 9u);
  EXPECT_TRUE(d == b);
  EXPECT_FALSE(a == b);
}

TEST(BitVec, CombinationsOverSharedBytes) {
  BitVec a = FromBits({1, 0, 0, 0, 0, 0, 0, 0, 0, 1});  // 10 bits, 2 bytes
  BitVec b(20);
  b.assign(2u, 1);
  b.assign(10u, 1);
  b.assign(18u, 1);
  b.assign(20u, 1);
  BitVec r(20);
  r.assign(20u, 1);
  r.or_vec(a, b);  // two bytes combined; the third byte of r is left as it was
  EXPECT_EQ(r(1) + r(2) + r(10), 3);
  EXPECT_EQ(r(18), 0);
  EXPECT_EQ(r(20), 1);
  BitVec s(10);
  s.and_vec(a, b);
  EXPECT_EQ(Bits(s), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
  BitVec c = FromBits({0, 0, 1, 0, 0, 0, 0, 0, 0, 0});
  s.or_vec(a, b, c);
  EXPECT_EQ(Bits(s), (std::vector<int>{1, 1, 1, 0, 0, 0, 0, 0, 0, 1}));
  s.and_vec(a, s, s);
  EXPECT_EQ(Bits(s), Bits(a));
  s.or_vec(c);
  EXPECT_EQ(Bits(s), (std::vector<int>{1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));
  s.and_vec(c);
  EXPECT_EQ(Bits(s), Bits(c));
  // A longer operand never leaves bits set past this vector's length.
  BitVec w(8), t(3);
  w.mark();
  t.or_vec(w, w);
  EXPECT_EQ(t.data[0], 0x07);
}

TEST(BitVec, BitwiseNegations) {
  BitVec a = FromBits({1, 1, 0, 1});
  a.andn_vec(FromBits({0, 1, 1, 0}));
  EXPECT_EQ(Bits(a), (std::vector<int>{1, 0, 0, 1}));
  BitVec n(3);
  n.not_vec(FromBits({1, 0, 1, 1}));
  EXPECT_EQ(Bits(n), (std::vector<int>{0, 1, 0}));
}

TEST(BitVec, EqualityComparesTheFirstVectorsBytes) {
  BitVec a = FromBits({1, 0, 1});
  BitVec b = FromBits({1, 0, 1, 0, 0});
  EXPECT_TRUE(a == b);
  b.assign(4u, 1);
  EXPECT_FALSE(a == b);
  BitVec big(20);
  EXPECT_FALSE(big == BitVec(3));  // too short to hold the bytes compared
}

TEST(BitVec, RandomWholeVectorOperationsMatchBoolModel) {
  std::mt19937 rng(7);
  for (unsigned n : {1u, 7u, 8u, 9u, 63u, 64u, 65u, 200u}) {
    std::vector<int> x(n), y(n);
    for (unsigned i = 0; i < n; ++i) {
      x[i] = rng() & 1;
      y[i] = rng() & 1;
    }
    BitVec a = FromBits(x), b = FromBits(y), r(n);
    r.or_vec(a, b);
    for (unsigned i = 0; i < n; ++i) ASSERT_EQ(r(i + 1), x[i] | y[i]);
    r.and_vec(a, b);
    for (unsigned i = 0; i < n; ++i) ASSERT_EQ(r(i + 1), x[i] & y[i]);
    r = a;
    r.andn_vec(b);
    for (unsigned i = 0; i < n; ++i) ASSERT_EQ(r(i + 1), x[i] & !y[i]);
    r.opposite();
    for (unsigned i = 0; i < n; ++i) ASSERT_EQ(r(i + 1), !(x[i] & !y[i]));
    if (n % 8) {
      ASSERT_EQ(r.data[n / 8] >> (n % 8), 0);  // canonical
    }
  }
}

TEST(BitVecFatal, LengthMismatchNamesBothLengths) {
  auto r = olvu_test::RunInChild([] {
    BitVec a(4), b(6);
    a.andn_vec(b);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\nDifferent lenght bit vectors 6 != 4\n");
  auto s = olvu_test::RunInChild([] {
    BitVec a(4), b(3);
    a.not_vec(b);
  });
  EXPECT_EQ(s.status, 1);
  EXPECT_EQ(s.err, "\n\nDifferent lenght bit vectors 3 != 4\n");
}

}  // namespace
