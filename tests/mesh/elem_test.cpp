#include "mesh/elem.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child.h"

using olvu_test::RunInChild;

namespace {

/// A node table "All the Nodes" of nodes 1..n at (i, 2i, 0), deleted with the fixture.
struct Nodes {
  Plex<Node> all{100, "All the Nodes"};
  std::vector<std::unique_ptr<Node>> keep;
  explicit Nodes(int n) {
    for (int i = 1; i <= n; ++i) {
      keep.push_back(std::make_unique<Node>(3));
      Node* nd = keep.back().get();
      nd->num[0] = i;
      (*nd)(1) = i, (*nd)(2) = 2 * i;
      all.set_at(i, nd);
    }
  }
};

}  // namespace

TEST(ElemRead, AnElementMayContinueOnTheNextLineAndTakesSharedNodes) {
  Nodes n(5);
  Mesh m(100, 100, 3, Triangle, 3);
  std::istringstream in("5 1 2\n3 rest");
  Elem e(&m);
  ASSERT_EQ(e.ReadFromAscii(in, &n.all, m.GiveNodePlex()), 1);
  EXPECT_EQ(e.Num(), 5);
  EXPECT_EQ(e.node(1), n.all.get_at(1));
  EXPECT_EQ(e[1], n.all.get_at(2));
  EXPECT_EQ(e(2), n.all.get_at(3));
  EXPECT_EQ(e.Num1(3, 0), 3);
  EXPECT_EQ(e.Num0(0, 0), 1);
  EXPECT_EQ(m.NOfNodes(), 3);
  EXPECT_EQ(m.giveNode(2), n.all.get_at(2));
  EXPECT_EQ(in.peek(), ' ');  // nothing after the last node number is skipped
  EXPECT_EQ(e.Nnode(), 3);
  EXPECT_EQ(e.MinNnode(), 3);
  EXPECT_EQ(e.GiveElemOrder(), Triangle3);
}

TEST(ElemRead, NoElementNumberReturnsZero) {
  Nodes n(3);
  Mesh m(100, 100, 3, Triangle, 3);
  std::istringstream in("End Elements");
  Elem e(&m);
  EXPECT_EQ(e.ReadFromAscii(in, &n.all, m.GiveNodePlex()), 0);
  EXPECT_TRUE(in.good());
  EXPECT_EQ(in.peek(), 'E');
}

TEST(ElemRead, BadNodesAreFatalWithTheirMessages) {
  auto equal = RunInChild([] {
    Nodes n(5);
    Mesh m(100, 100, 3, Linear, 2);
    std::istringstream in("9 4 4\n");
    Elem e(&m);
    e.ReadFromAscii(in, &n.all, m.GiveNodePlex());
  });
  EXPECT_EQ(equal.status, 1);
  EXPECT_EQ(equal.err, "\n\nerror: Elem: 9  have both nodes equal\n");

  auto missing = RunInChild([] {
    Nodes n(5);
    Mesh m(100, 100, 3, Triangle, 3);
    std::istringstream in("1 1 2 99\n");
    Elem e(&m);
    e.ReadFromAscii(in, &n.all, m.GiveNodePlex());
  });
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "\n\nDo not exist index 99 in Plex All the Nodes\n");

  auto gap = RunInChild([] {
    Nodes n(5);
    n.all.set_at(3, nullptr);  // a hole inside the table
    Mesh m(100, 100, 3, Triangle, 3);
    std::istringstream in("1 1 3 2\n");
    Elem e(&m);
    e.ReadFromAscii(in, &n.all, m.GiveNodePlex());
  });
  EXPECT_EQ(gap.status, 1);
  EXPECT_EQ(gap.err, "\n\nDo not exist index 3 in Plex All the Nodes\n");

  auto word = RunInChild([] {
    Nodes n(5);
    Mesh m(100, 100, 3, Triangle, 3);
    std::istringstream in("6 1 x 3\n");
    Elem e(&m);
    e.ReadFromAscii(in, &n.all, m.GiveNodePlex());
  });
  EXPECT_EQ(word.status, 1);
  EXPECT_NE(word.err.find("Wrong node number in element 6 at byte "), std::string::npos) << word.err;
}

TEST(ElemCreate, FormsSetNumberMeshAndNodes) {
  Nodes n(4);
  Mesh m(100, 100, 3, Triangle, 3);
  Mesh lines(100, 100, 3, Linear, 2);
  Elem a(&lines);
  a[0] = n.all.get_at(1), a[1] = n.all.get_at(2);
  Elem b(&a, n.all.get_at(4), &m, nullptr);
  EXPECT_EQ(b.Num(), 0);
  EXPECT_EQ(b.MyMesh(), &m);
  EXPECT_EQ(b[0], n.all.get_at(1));
  EXPECT_EQ(b[1], n.all.get_at(2));
  EXPECT_EQ(b[2], n.all.get_at(4));
  Elem c(17, &m, static_cast<Input*>(nullptr));
  EXPECT_EQ(c.Num(), 17);
  EXPECT_EQ(c.nodesArray(), nullptr);
  c.NewNum(3);
  c.NewMesh(&lines);
  EXPECT_EQ(c.Num(), 3);
  EXPECT_EQ(c.MyMesh(), &lines);
}

TEST(ElemWrite, EveryLineFormOnBothKindsOfStream) {
  Nodes n(3);
  Mesh m(100, 100, 3, Triangle, 3);
  std::istringstream in("12 1 2 3");
  Elem e(&m);
  ASSERT_EQ(e.ReadFromAscii(in, &n.all, m.GiveNodePlex()), 1);
  const std::string nums = std::string(14, ' ') + "1" + std::string(14, ' ') + "2" + std::string(14, ' ') + "3\n";

  std::ostringstream conec, print, shown;
  e.PrintConecTo(conec);
  EXPECT_EQ(conec.str(), "   12  " + nums);
  e.PrintTo(print, 0, 0);
  EXPECT_EQ(print.str(), "   12 " + nums);
  shown << e;
  EXPECT_EQ(shown.str(), print.str());
  m.GiveElemPlex()->set_at(12, &e);
  std::ostringstream table;
  table << *m.GiveElemPlex();  // the element table prints through PrintTo
  EXPECT_EQ(table.str(), "*** Plex Element ***\n" + print.str() + "\t");
  m.GiveElemPlex()->clear();

  const std::string path = ::testing::TempDir() + "/elem_lines.txt";
  {
    std::ofstream f(path);
    e.PrintTo(f, 0, 0);
    e.PrintConecTo(f);
    e.PrintToInfo(f);
  }
  std::ostringstream info;
  e.PrintToInfo(info);
  EXPECT_EQ(info.str(), "Element    12 of Mesh Mesh\nElement nodes are:\n" + nums);
  EXPECT_EQ(olvu_test::ReadFile(path), "   12 : " + nums + nums + info.str());
}

TEST(ElemNumbering, AverageAndIsInListUseTheCornersSlot) {
  Nodes n(3);
  Mesh m(100, 100, 3, Triangle, 3);
  Elem e(&m);
  for (int i = 0; i < 3; ++i) e[i] = n.all.get_at(i + 1);
  e[0]->num[1] = 3, e[1]->num[1] = 0, e[2]->num[1] = 5;
  ReaVec v(5, 0.0);
  v(3) = 6.0, v(5) = 3.0, v(1) = 100.0;
  EXPECT_DOUBLE_EQ(e.Average(v, 1), 3.0);
  BitVec b(5);
  EXPECT_EQ(e.IsInList(b, 1), 0);
  b.assign(5, 1);
  EXPECT_EQ(e.IsInList(b, 1), 1);
  BitVec only1(5);
  only1.assign(1, 1);
  EXPECT_EQ(e.IsInList(only1, 1), 0);  // slot 1 of no corner is 1
  EXPECT_EQ(e.IsInList(only1, 0), 1);  // slot 0 of the first corner is 1
}
