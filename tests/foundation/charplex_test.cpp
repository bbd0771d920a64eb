#include "foundation/charplex.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/support/child.h"

using olvu_test::RunInChild;

namespace {

std::string Text(CharPlex& b) {
  std::ostringstream s;
  s << b;
  return s.str();
}

int Chunks(const CharPlex& b) {
  int n = 0;
  const CharChunk* c = b.head;
  do {
    ++n;
    c = c->next;
  } while (c != b.head);
  return n;
}

TEST(CharPlex, EmptyBufferPrintsNothingAndClearsToZero) {
  CharPlex b(48);
  EXPECT_EQ(Text(b), "");
  EXPECT_EQ(b.clear(), 0);
  EXPECT_EQ(b.nextPos, 1);
}

TEST(CharPlex, GrowsByChunksAndClearsBackToOne) {
  CharPlex b(48);
  std::string want;
  for (int k = 0; k < 100; ++k) {
    char c = static_cast<char>('!' + k % 90);
    b.add(c);
    want += c;
  }
  EXPECT_EQ(Chunks(b), 3);
  EXPECT_EQ(b.nextPos, 101);
  EXPECT_EQ(b.head->prev->lo, 97);
  EXPECT_EQ(Text(b), want);
  EXPECT_EQ(b.clear(), 48);
  EXPECT_EQ(Chunks(b), 1);
  EXPECT_EQ(b.cached, b.head);
  b.add('x');
  EXPECT_EQ(b.head->lo, 1);
  EXPECT_EQ(b.nextPos, 2);
  EXPECT_EQ(Text(b), "x");
}

TEST(CharPlex, CacheFindsTheChunkOfEveryPosition) {
  CharPlex b(5);
  for (int k = 0; k < 23; ++k) b.add('a');
  for (int p : {23, 1, 12, 11, 5, 6, 20, 2}) {
    b.cache(p);
    EXPECT_LE(b.cached->lo, p);
    EXPECT_LT(p, b.cached->hi);
  }
}

TEST(CharPlexFatal, PositionsOutsideTheBufferShowTheWholeText) {
  for (int p : {0, 4}) {
    auto r = RunInChild([p] {
      CharPlex b(2);
      for (char c : std::string("abc")) b.add(c);
      b.cache(p);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n\nAttempt to access invalid index " + std::to_string(p) + "\n\tCharPlex = abc\n");
  }
  auto r = RunInChild([] { CharPlex(0); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\nInvalid ructor specification\n");
  auto e = RunInChild([] { CharPlex(4).cache(1); });
  EXPECT_EQ(e.err, "\n\nAttempt to access invalid index 1\n\tCharPlex = \n");
}

}  // namespace
