#include "mesh/node.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/support/child.h"

using olvu_test::RunInChild;

TEST(NodeLine, ReadsNumberAndCoordinatesAndDropsTheRestOfTheLine) {
  std::istringstream in("7 1.5 2.5 0.0 word other\n8 0 0 0\n");
  Node nd(3);
  ASSERT_EQ(nd.ReadFromAscii(in), 1);
  EXPECT_EQ(nd.num[0], 7);
  EXPECT_EQ(nd.num[1], 0);
  EXPECT_EQ(nd.num[2], 0);
  EXPECT_DOUBLE_EQ(nd(1), 1.5);
  EXPECT_DOUBLE_EQ(nd(2), 2.5);
  EXPECT_DOUBLE_EQ(nd(3), 0.0);
  EXPECT_EQ(in.peek(), '\n');  // the line end stays
  in.get();
  Node next(3);
  in >> next;
  EXPECT_EQ(next.num[0], 8);
}

TEST(NodeLine, RestOfAVeryLongLineIsDroppedWhole) {
  std::string text = "3 1 2 3 " + std::string(5000, 'x') + "\n4 5 6 7\n";
  std::istringstream in(text);
  Node a(3), b(3);
  ASSERT_EQ(a.ReadFromAscii(in), 1);
  ASSERT_EQ(b.ReadFromAscii(in), 1);
  EXPECT_EQ(b.num[0], 4);
  EXPECT_DOUBLE_EQ(b(3), 7.0);
}

TEST(NodeLine, AWordFirstEndsTheListAndStaysInTheStream) {
  std::istringstream in("  EndNodes;\n");
  Node nd(3);
  EXPECT_EQ(nd.ReadFromAscii(in), 0);
  EXPECT_TRUE(in.good());
  std::string w;
  in >> w;
  EXPECT_EQ(w, "EndNodes;");
}

TEST(NodeLine, NumbersInEveryNotationAndTwoCoordinateNodes) {
  std::istringstream in("1 -1.5e+2 .25 +3E-1\n2 4 -5\n");
  Node a(3), b(2);
  ASSERT_EQ(a.ReadFromAscii(in), 1);
  EXPECT_DOUBLE_EQ(a(1), -150.0);
  EXPECT_DOUBLE_EQ(a(2), 0.25);
  EXPECT_DOUBLE_EQ(a(3), 0.3);
  ASSERT_EQ(b.ReadFromAscii(in), 1);
  EXPECT_EQ(b.length(), 2u);
  EXPECT_DOUBLE_EQ(b(2), -5.0);
}

TEST(NodeLine, WrittenWithNumberWidthFiveAndCoordinateWidthFifteen) {
  Node a(3);
  a.num[0] = 7;
  a(1) = 1.5, a(2) = 2.25, a(3) = 1.0 / 3.0;
  std::ostringstream out;
  out << a;
  EXPECT_EQ(out.str(), "    7            1.5           2.25       0.333333\n");
  Node b(2);
  b.num[0] = 12345;
  b(1) = -1e-20, b(2) = 1e20;
  std::ostringstream out2;
  out2 << b;
  EXPECT_EQ(out2.str(), "12345         -1e-20          1e+20\n");
}

TEST(NodeLine, ABadCoordinateIsFatalNamingTheNodeAndPosition) {
  auto r = RunInChild([] {
    std::istringstream in("7 1.0 abc 0.0\n");
    Node nd(3);
    nd.ReadFromAscii(in);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Wrong coordinates in node 7 at byte "), std::string::npos) << r.err;
  auto r2 = RunInChild([] {
    std::istringstream in("8 1.0 2.0");  // the file ends before z
    Node nd(3);
    nd.ReadFromAscii(in);
  });
  EXPECT_EQ(r2.status, 1);
  EXPECT_NE(r2.err.find("Wrong coordinates in node 8"), std::string::npos) << r2.err;
  auto r3 = RunInChild([] {
    std::istringstream in("99999999999 1 2 3\n");
    Node nd(3);
    nd.ReadFromAscii(in);
  });
  EXPECT_EQ(r3.status, 1);
  EXPECT_NE(r3.err.find("Wrong node number at byte"), std::string::npos) << r3.err;
}

TEST(NodeDistance, SquaredDistanceOverThreeCoordinates) {
  Node a(3), b(3);
  a(1) = 1, a(2) = 2, a(3) = 3;
  b(1) = 4, b(2) = 6, b(3) = 15;
  EXPECT_DOUBLE_EQ(dist2(&a, &b), 9.0 + 16.0 + 144.0);
  EXPECT_DOUBLE_EQ(dist2(&a, &a), 0.0);
}
