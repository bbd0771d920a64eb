#include "mesh/mesh.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <type_traits>
#include <utility>

#include "input/input.h"
#include "mesh/elem.h"
#include "tests/support/child.h"

using olvu_test::ChildResult;
using olvu_test::RunInChild;

namespace {

/// Deletes every node of a table (the tables themselves never do).
void DeleteNodes(Plex<Node>& t) {
  int i = 0;
  while (Node* nd = t.next(i)) delete nd;
}

/// Deletes every element of a set.
void DeleteElems(Mesh& m) {
  int i = 0;
  while (Elem* e = m.giveNextElm(i)) delete e;
}

/// Reads a node block text into a fresh table and runs `check` on it and the stream.
template <class F>
void WithNodes(const std::string& text, F check) {
  std::istringstream in(text);
  Plex<Node> all(100, "All the Nodes");
  ReadNodesFromAscii(in, &all, 1.0, 3);
  check(all, in);
  DeleteNodes(all);
}

const char* kNodes =
    "1 0 0 0\n"
    "2 1 0 0\n"
    "3 1 1 0\n"
    "4 0 1 0\n";

std::string Rest(std::istream& in) {
  std::string s, w;
  while (in >> w) s += (s.empty() ? "" : " ") + w;
  return s;
}

}  // namespace

TEST(NodeBlock, ReadsUntilTheNextCardAndLeavesItThere) {
  WithNodes(std::string(kNodes) + "FluidElmSet 1;\n", [](Plex<Node>& all, std::istream& in) {
    EXPECT_EQ(all.count, 4);
    EXPECT_EQ(all.high, 4);
    EXPECT_DOUBLE_EQ((*all.get_at(3))(2), 1.0);
    EXPECT_EQ(all.get_at(4)->num[0], 4);
    EXPECT_EQ(Rest(in), "FluidElmSet 1;");
  });
}

TEST(NodeBlock, SeparatorsCommentsAndScale) {
  // A comment runs to the end of its line, whatever its length; after a tab or a carriage return
  // it is a comment as well, and the card reader's comments are none of the nodes either.
  std::istringstream in("\n :1 1 2 3\n# comment " + std::string(3000, 'c') +
                        " 5 6 7 8\n  = 2 4 5 6 ! 9 9 9 9\n\t# after a tab\r\n! 9 9 9 9\n{ 9 9 9\n9 {9}}"
                        "3 0 0 0 {\n9 9 9 9 }\n4 1 1 1\nFluidDefinition;");
  Plex<Node> all(100, "All the Nodes");
  ReadNodesFromAscii(in, &all, 0.5, 3);
  EXPECT_EQ(all.count, 4);
  EXPECT_DOUBLE_EQ((*all.get_at(1))(3), 1.5);
  EXPECT_DOUBLE_EQ((*all.get_at(2))(1), 2.0);
  EXPECT_DOUBLE_EQ((*all.get_at(3))(1), 0.0);
  EXPECT_DOUBLE_EQ((*all.get_at(4))(1), 0.5);  // the comment opened on line 3 holds no node
  EXPECT_EQ(Rest(in), "FluidDefinition;");
  DeleteNodes(all);
}

TEST(NodeBlock, NumberingFaultsAreFatal) {
  auto gap = RunInChild([] {
    MemoryControlOn("case");
    std::istringstream in("1 0 0 0\n2 1 0 0\n4 1 1 0\n");
    Plex<Node> all(100, "All the Nodes");
    ReadNodesFromAscii(in, &all, 1.0, 3);
  });
  EXPECT_EQ(gap.status, 1);
  EXPECT_EQ(gap.file("case.err"), std::string(olvu_test::kErrBanner) + "Nodes must have consecutive indexes. See index 3\n");

  auto repeat = RunInChild([] {
    std::istringstream in("1 0 0 0\n1 1 0 0\n");
    Plex<Node> all(100, "All the Nodes");
    ReadNodesFromAscii(in, &all, 1.0, 3);
  });
  EXPECT_EQ(repeat.err, "\n\nNodes must have consecutive indexes. See index 2\n");

  auto empty = RunInChild([] {
    std::istringstream in("Elements\n");
    Plex<Node> all(100, "All the Nodes");
    ReadNodesFromAscii(in, &all, 1.0, 3);
  });
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.err, "\n\nerror: list of nodes does not contain any node\n");

  auto holes = RunInChild([] {
    std::istringstream in("1 0 0 0\n");
    Plex<Node> all(100, "All the Nodes");
    all.set_at(9, new Node(3));  // a table that already holds a higher number
    ReadNodesFromAscii(in, &all, 1.0, 3);
  });
  EXPECT_EQ(holes.err, "\n\nerror: list of nodes does not contain all numbers\n");

  auto coord = RunInChild([] {
    std::istringstream in("1 0 0 0\n2 1 x 0\n");
    Plex<Node> all(100, "All the Nodes");
    ReadNodesFromAscii(in, &all, 1.0, 3);
  });
  EXPECT_EQ(coord.status, 1);
  EXPECT_NE(coord.err.find("Wrong coordinates in node 2 at byte 12 "), std::string::npos) << coord.err;
}

TEST(ValueList, IndexedRecordsIncreasingWithGaps) {
  std::istringstream in("1 1.5 2 3 rest\n# note\n=2 4 5 6\n7 7 8 9\n  Values end");
  std::vector<int> nodes;
  std::vector<double> values;
  ReadReaVecFromAscii(in, 3, nodes, values);
  // Node numbers may skip (a result block leaves out the nodes of no domain).
  EXPECT_EQ(nodes, (std::vector<int>{1, 2, 7}));
  EXPECT_EQ(values, (std::vector<double>{1.5, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(Rest(in), "Values end");

  // Runs the reader on `text` with n values per record; gives standard error.
  const auto fails = [](const char* text, int n) {
    const ChildResult r = RunInChild([&] {
      std::istringstream in(text);
      std::vector<int> i;
      std::vector<double> v;
      ReadReaVecFromAscii(in, n, i, v);
    });
    EXPECT_EQ(r.status, 1) << text;
    return r.err;
  };
  EXPECT_EQ(fails("1 1\n3 2\n3 4\n", 1), "\n\nNodes must have increasing indexes. See index 3\n");
  EXPECT_EQ(fails("2 1\n1 2\n", 1), "\n\nNodes must have increasing indexes. See index 1\n");
  EXPECT_EQ(fails("0 1\n", 1), "\n\nNodes must have increasing indexes. See index 0\n");
  EXPECT_EQ(fails("End Values\n", 1), "\n\nerror: list of nodes does not contain any node\n");
  EXPECT_NE(fails("1 1 2\n2 x\n", 2).find("Wrong values in record 2"), std::string::npos);
  // The values of a record stop at its line end, short or long.
  EXPECT_NE(fails("1 1\n2 3 4\n", 2).find("Wrong values in record 1 at byte 3 "), std::string::npos);
  EXPECT_NE(fails("1 1 2 # two\n2 3 4 5\n", 2).find("Wrong values in record 2 at byte 18 "), std::string::npos);
}

TEST(ElementList, ReadsElementsAndGathersTheirNodes) {
  WithNodes(kNodes, [](Plex<Node>& all, std::istream&) {
    // Comments between the records, the card reader's as well as the list's own, hold none.
    std::istringstream in("Elements\n  1 1 2 3 ! 5 1 2 3\n# comment\n 2 1 3\n 4 { 6 1 2\n 3 }\n\t# 7\nEnd Elements\nnext;");
    Mesh m(100, 100, 3, Triangle, 3);
    m.NewNum(5);
    m.ReadElemsFromAscii(in, &all);
    EXPECT_EQ(m.NOfElems(), 2);
    EXPECT_EQ(m.NOfNodes(), 4);
    EXPECT_EQ(m.giveElm(2)->node(3), all.get_at(4));
    EXPECT_EQ(m.giveNode(3), all.get_at(3));  // the same node object as the problem's
    EXPECT_EQ(Rest(in), "next;");
    DeleteElems(m);
  });
}

// A const set finds and walks its elements and nodes; what it hands out is read-only.
TEST(ElementList, ConstSetLooksUpAndWalksReadOnly) {
  static_assert(std::is_same_v<decltype(std::declval<const Mesh&>().giveNode(1)), const Node*>);
  static_assert(std::is_same_v<decltype(std::declval<const Mesh&>().giveElm(1)), const Elem*>);
  WithNodes(kNodes, [](Plex<Node>& all, std::istream&) {
    std::istringstream in("Elements 1 1 2 3 2 1 3 4 End Elements");
    Mesh m(100, 100, 3, Triangle, 3);
    m.ReadElemsFromAscii(in, &all);
    const Mesh& c = m;
    EXPECT_EQ(c.giveNode(4), all.get_at(4));
    EXPECT_EQ(c.giveElm(2)->Num(), 2);
    int i = 0, nodes = 0, elems = 0;
    while (c.giveNextNode(i)) ++nodes;
    while (c.giveNextElm(i)) ++elems;
    EXPECT_EQ(nodes, 4);
    EXPECT_EQ(elems, 2);
    EXPECT_EQ(c.GiveNodePlex()->count, 4);
    DeleteElems(m);
  });
}

TEST(ElementList, SetsSharingNodesHoldTheSameObjects) {
  WithNodes(kNodes, [](Plex<Node>& all, std::istream&) {
    std::istringstream in("Elements 1 1 2 3 end elements\nElements\n7 3 4\nEND ELEMENTS");
    Mesh a(100, 100, 3, Triangle, 3), b(100, 100, 3, Linear, 2);
    a.ReadElemsFromAscii(in, &all);
    b.ReadElemsFromAscii(in, &all);
    EXPECT_EQ(a.NOfNodes(), 3);
    EXPECT_EQ(b.NOfNodes(), 2);
    EXPECT_EQ(a.giveNode(3), b.giveNode(3));
    EXPECT_EQ(b.giveElm(7)->node(2), all.get_at(4));
    int i = 0, count = 0;
    while (b.giveNextNode(i)) ++count;
    EXPECT_EQ(count, 2);
    DeleteElems(a);
    DeleteElems(b);
  });
}

TEST(ElementList, EveryUsedNodeEntersTheSetTableOnceAndHeldEntriesStay) {
  WithNodes(kNodes, [](Plex<Node>& all, std::istream&) {
    Plex<Node> own(2, "Node");
    Node held(3);
    held.num[0] = 3;
    own.set_at(3, &held);  // a borrowed table that already holds number 3
    Mesh m(&own, 100, 3, Triangle, 3);
    std::istringstream in("Elements 9 4 3 2 5 2 4 1 End Elements");
    m.ReadElemsFromAscii(in, &all);
    EXPECT_EQ(own.count, 4);
    for (int k : {1, 2, 4}) EXPECT_EQ(own.get_at(k), all.get_at(k)) << k;
    EXPECT_EQ(own.get_at(3), &held);
    EXPECT_EQ(m.giveElm(9)->node(2), all.get_at(3));  // the element takes the problem's node
    int i = 0, last = 0;
    while (m.giveNextNode(i)) {
      EXPECT_GT(i, last);
      last = i;
    }
    EXPECT_EQ(last, 4);
    DeleteElems(m);
  });
}

TEST(ElementList, ClosingWordsAreSearchedAsTwoWords) {
  WithNodes(kNodes, [](Plex<Node>& all, std::istream&) {
    // "EndElements" satisfies the search for "end"; the search for "elements" goes on to a later word.
    std::istringstream in("Elements 1 1 2 3 EndElements Other Elements tail");
    Mesh m(100, 100, 3, Triangle, 3);
    m.ReadElemsFromAscii(in, &all);
    EXPECT_EQ(Rest(in), "tail");
    DeleteElems(m);
  });
}

TEST(ElementList, FaultsAreFatalWithTheirMessages) {
  auto empty = RunInChild([] {
    std::istringstream nodes(kNodes), in("Elements\nEnd Elements\n");
    Plex<Node> all(100, "All the Nodes");
    ReadNodesFromAscii(nodes, &all, 1.0, 3);
    Mesh m(100, 100, 3, Triangle, 3);
    m.NewNum(1);
    m.ReadElemsFromAscii(in, &all);
  });
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.err, "\n\nMesh 1: Element list is empty\n");

  auto twice = RunInChild([] {
    std::istringstream nodes(kNodes), in("Elements\n1 1 2 3\n1 2 3 4\nEnd Elements\n");
    Plex<Node> all(100, "All the Nodes");
    ReadNodesFromAscii(nodes, &all, 1.0, 3);
    Mesh m(100, 100, 3, Triangle, 3);
    m.ReadElemsFromAscii(in, &all);
  });
  EXPECT_EQ(twice.err, "\n\nRepeated index 1 in Plex Element\n");

  auto missing = RunInChild([] {
    std::istringstream nodes(kNodes), in("Elements\n1 1 2 99\nEnd Elements\n");
    Plex<Node> all(100, "All the Nodes of the geometry");
    ReadNodesFromAscii(nodes, &all, 1.0, 3);
    Mesh m(100, 100, 3, Triangle, 3);
    m.ReadElemsFromAscii(in, &all);
  });
  EXPECT_EQ(missing.err, "\n\nDo not exist index 99 in Plex All the Nodes of the geometry\n");

  // A record cut by a comment, or a line that is neither a record nor the list's end, stops the
  // run there, naming its line: the records after it are not passed over.
  const auto refused = [](const char* list) {
    return RunInChild([&] {
             std::istringstream nodes(kNodes), in(list);
             Plex<Node> all(100, "All the Nodes");
             ReadNodesFromAscii(nodes, &all, 1.0, 3);
             Mesh m(100, 100, 3, Triangle, 3);
             m.NewNum(4);
             m.ReadElemsFromAscii(in, &all);
           })
        .err;
  };
  EXPECT_EQ(refused("Elements\n1 1 2 ! 3\n2 2 3 4\nEnd Elements\n"),
            "\n\nWrong node number in element 1 at byte 15 (line 2) of the input file\n");
  EXPECT_EQ(refused("Elements\n1 1 2 3\n  x2 2 3 4\n3 2 3 4\nEnd Elements\n"),
            "\n\nMesh 4: neither an element record nor \"End Elements\" at line 3 of the input file: \"  x2 2 3 4\"\n");

  auto noword = RunInChild([] {
    std::istringstream in("1 1 2 3\n");
    Plex<Node> all(100, "All the Nodes");
    Mesh m(100, 100, 3, Triangle, 3);
    m.ReadElemsFromAscii(in, &all);
  });
  EXPECT_EQ(noword.err, "\n\ncan't find word ***elements*** in input file\n");

  auto noend = RunInChild([] {
    std::istringstream nodes(kNodes), in("Elements\n1 1 2 3\nEnd");
    Plex<Node> all(100, "All the Nodes");
    ReadNodesFromAscii(nodes, &all, 1.0, 3);
    Mesh m(100, 100, 3, Triangle, 3);
    m.ReadElemsFromAscii(in, &all);
  });
  EXPECT_EQ(noend.err, "\n\ncan't find word ***elements*** in input file\n");
}

TEST(ToolForm, TypeWordsAndNodeCountAfterTheirKeywords) {
  WithNodes(kNodes, [](Plex<Node>& all, std::istream&) {
    struct Case {
      const char* text;
      ElemType type;
      int nnode;
    };
    const Case cases[] = {
        {"ElmType: TRIANGLE  NNode 3\nElements 1 1 2 3 End Elements", Triangle, 3},
        {"elmtype =tetrahedra nnode = 4\nElements 1 1 2 3 4 End Elements", Tetrahedra, 4},
        {"ElemType ELMTYPE # \n quad Nnode: 4 Elements 1 1 2 3 4 End Elements", Quadrilateral, 4},
        {"ElmType twisted nnode 6 Elements 1 1 2 3 4 1 2 End Elements", Prisma, 6},
        {"ElmType Linear nnode 2 Elements 1 1 2 End Elements", Linear, 2},
        {"ElmType hexa nnode 8 Elements 1 1 2 3 4 1 2 3 4 End Elements", Hexahedra, 8},
        // Words in comments ('!' to the line's end, nested braces) and in literals are no keywords.
        {"{ElmType {nested} hexa} ElmType Triangle ! nnode 8\nName \"nnode 6 elements\" NNode 3\n"
         "! Elements 2 1 2 3\nElements 1 1 2 3 End Elements", Triangle, 3},
    };
    for (const Case& c : cases) {
      std::istringstream in(c.text);
      Mesh m(3, in, &all);
      EXPECT_EQ(m.Num(), 3);
      EXPECT_EQ(m.GiveElemType(), c.type) << c.text;
      EXPECT_EQ(m.GiveNnode(), c.nnode);
      EXPECT_EQ(m.GiveNdime(), 3);
      EXPECT_EQ(m.NOfElems(), 1);
      DeleteElems(m);
    }
  });
  auto bad = RunInChild([] {
    std::istringstream in("ElmType: cube nnode 8\n");
    Plex<Node> all(100, "All the Nodes");
    Mesh m(1, in, &all);
  });
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "\n\nElemType must be: Linear,Triangle,Quadrilateral, Tetrahedra, Hexahedra or Prisma\n");
  auto nodigit = RunInChild([] {
    std::istringstream in("ElmType: tri nnode");
    Plex<Node> all(100, "All the Nodes");
    Mesh m(1, in, &all);
  });
  EXPECT_EQ(nodigit.err, "\n\nend of file and no digit found\n");
  auto header = RunInChild([] {
    std::istringstream in("MESH dimension = 3 ElemType Triangle Nnode = 3\nCoordinates\n");
    Mesh m(100, 100, 3, NoNe, 0);
    m.ReadFromAscii(in, nullptr);
  });
  EXPECT_EQ(header.err, "\n\nUnits\n");
}

TEST(CardForm, TypeAndNodeCountFromTheCardOrTheDefaults) {
  auto r = RunInChild(
      [] {
        Input in("case.dat");
        in.ReadCard("FluidElmSet");
        Mesh a(100, 100, &in, Triangle, 3);
        EXPECT_EQ(a.GiveElemType(), Quadrilateral);
        EXPECT_EQ(a.GiveNnode(), 8);
        EXPECT_EQ(a.GiveElemOrder(), Quadrilateral8);
        EXPECT_EQ(a.GiveNdime(), 3);
        EXPECT_EQ(a.GiveFvType(), 0);
        in.ReadCard("SolidElmSet");
        Mesh b(100, 100, &in, Tetrahedra, 4);
        EXPECT_EQ(b.GiveElemType(), Tetrahedra);
        EXPECT_EQ(b.GiveNnode(), 4);
        EXPECT_EQ(b.GiveMinNnode(), 4);
        in.ReadCard("End");
        std::exit(::testing::Test::HasFailure() ? 3 : 0);
      },
      [](const std::string& dir) {
        olvu_test::WriteFile(dir + "/case.dat", "FluidElmSet ElmType Quadrilateral NNode 8;\nSolidElmSet;\nEnd;\n");
      });
  EXPECT_EQ(r.status, 0) << r.err;

  auto unknown = RunInChild(
      [] {
        Input in("case.dat");
        in.ReadCard("FluidElmSet");
        Mesh a(100, 100, &in, Triangle, 3);
      },
      [](const std::string& dir) { olvu_test::WriteFile(dir + "/case.dat", "FluidElmSet ElmType Cube NNode 8;\n"); });
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("Cube is not an ElmType"), std::string::npos) << unknown.err;
}

TEST(CardForm, NodeBlockAndElementSetFromADataFile) {
  Input in(OLVU_TEST_DATA_DIR "/triangles.dat");
  in.ReadCard("Nodes");
  Plex<Node> all(100, "All the Nodes of the geometry");
  ReadNodesFromAscii(&in, &all, 2.0, 3);
  ASSERT_EQ(all.count, 4);
  EXPECT_DOUBLE_EQ((*all.get_at(4))(2), 4.5);
  in.ReadCard("FluidElmSet");
  Mesh m(100, 100, &in, NoNe, 0);
  m.NewNum(in.GetInt("FluidElmSet"));
  m.ReadElemsFromAscii(&in, &all);
  in.ReadCard("End");
  EXPECT_EQ(m.Num(), 1);
  EXPECT_EQ(m.NOfElems(), 2);
  EXPECT_EQ(m.giveElm(2)->node(3)->num[0], 4);
  DeleteElems(m);
  DeleteNodes(all);
}

TEST(MeshBase, VirtualDefaultsAndNodeTables) {
  Plex<Node> all(100, "All the Nodes");
  for (int i = 1; i <= 3; ++i) {
    Node* nd = new Node(3);
    nd->num[0] = i, nd->num[1] = 10 * i;
    all.set_at(i, nd);
  }
  Mesh borrowed(&all, 50, 2, Linear, 2);
  EXPECT_EQ(borrowed.GiveNodePlex(), &all);
  EXPECT_EQ(borrowed.GiveNdime(), 2);
  EXPECT_EQ(borrowed.Num(), 0);
  EXPECT_STREQ(borrowed.Name(), "Mesh");
  EXPECT_EQ(borrowed.AreYou("mESh"), 1);
  EXPECT_EQ(borrowed.AreYou("FluidMesh"), 0);
  BitVec b(25);
  borrowed.MarkNodes(b, 1);
  EXPECT_EQ(b(10) + b(20) + b(1), 2);  // 30 lies beyond the vector and is ignored
  EXPECT_EQ(borrowed.GiveOldNumber(all.get_at(2)), 2);

  Mesh own(100, 100, 3, Triangle, 3);
  own.addNode(all.get_at(2));
  own.addNode(all.get_at(2));
  EXPECT_EQ(own.NOfNodes(), 1);
  ReaVec v;
  own.initialiseMesh();
  own.initialiseLN_N(v);
  own.PostinitialiseMesh();
  DeleteNodes(all);
}
