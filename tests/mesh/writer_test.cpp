#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "input/input.h"
#include "mesh/elem.h"
#include "mesh/mesh.h"
#include "tests/support/child.h"

using olvu_test::ReadFile;
using olvu_test::RunInChild;

namespace {

std::string Num15(int k) { return std::string(14 - (k > 9), ' ') + std::to_string(k); }

/// A set with an old-number table, as a renumbering leaves it.
struct RenumberedMesh : Mesh {
  using Mesh::Mesh;
  void SetOldNumbers(std::unique_ptr<int[]> old) { oldnum_ = std::move(old); }
};

/// A triangle set of two elements over four nodes; deletes its nodes and elements.
struct TwoTriangles {
  Plex<Node> all{100, "All the Nodes"};
  RenumberedMesh mesh{100, 100, 3, Triangle, 3};
  TwoTriangles() {
    const double x[4][3] = {{0, 0, 0}, {0.001, 0.002, 0}, {1, 1, 0.5}, {0, 2.25, 0}};
    for (int i = 1; i <= 4; ++i) {
      Node* nd = new Node(3);
      nd->num[0] = i;
      for (int k = 0; k < 3; ++k) (*nd)[k] = x[i - 1][k];
      all.set_at(i, nd);
    }
    std::istringstream in("Elements 1 1 2 3 2 1 3 4 End Elements");
    mesh.ReadElemsFromAscii(in, &all);
  }
  ~TwoTriangles() {
    int i = 0;
    while (Elem* e = mesh.giveNextElm(i)) delete e;
    while (Node* nd = all.next(i)) delete nd;
  }
  std::string Print(int h, int c, int e, int f) {
    std::ostringstream out;
    mesh.PrintMeshTo(out, h, c, e, f);
    return out.str();
  }
};

const std::string kHeader = "MESH    dimension = 3 ElemType Triangle  Nnode = 3\n";
const std::string kElems = "    1  " + Num15(1) + Num15(2) + Num15(3) + "\n    2  " + Num15(1) + Num15(3) + Num15(4) + "\n";

}  // namespace

TEST(MeshWriter, DataFileSetIsWrittenAsTheExactBlock) {
  Input in(OLVU_TEST_DATA_DIR "/triangles.dat");
  in.ReadCard("Nodes");
  Plex<Node> all(100, "All the Nodes of the geometry");
  ReadNodesFromAscii(&in, &all, 1.0, 3);
  in.ReadCard("FluidElmSet");
  Mesh m(100, 100, &in, NoNe, 0);
  m.NewNum(in.GetInt("FluidElmSet"));
  m.ReadElemsFromAscii(&in, &all);
  in.ReadCard("End");
  std::ostringstream out;
  m.PrintMeshTo(out, 1, 1, 1, 1);
  EXPECT_EQ(out.str(), ReadFile(OLVU_TEST_DATA_DIR "/triangles.msh"));
  int i = 0;
  while (Elem* e = m.giveNextElm(i)) delete e;
  while (Node* nd = all.next(i)) delete nd;
}

TEST(MeshWriter, FlagsChooseTheBlocksAndFrameKeepsTheirLines) {
  TwoTriangles t;
  EXPECT_EQ(t.Print(1, 0, 1, 1), kHeader + "Coordinates\nend coordinates\n\nElements\n" + kElems + "end elements\n");
  EXPECT_EQ(t.Print(0, 0, 0, 0), "");
  EXPECT_EQ(t.Print(0, 0, 0, 1), kHeader + "Coordinates\nend coordinates\n\nElements\nend elements\n");
  EXPECT_EQ(t.Print(0, 0, 1, 0), "\nElements\n" + kElems + "end elements\n");
  const std::string coords = t.Print(0, 1, 0, 0);
  EXPECT_EQ(coords.substr(0, 12), "Coordinates\n");
  EXPECT_NE(coords.find("\n    2          0.001          0.002              0\n"), std::string::npos) << coords;

  Mesh none(100, 100, 3, NoNe, 0);
  std::ostringstream out;
  none.PrintMeshTo(out, 1, 0, 0, 0);
  EXPECT_EQ(out.str(), "MESH    dimension = 3 ElemType   Nnode = 0\n");
}

TEST(MeshWriter, ScaledFormMultipliesEveryCoordinate) {
  TwoTriangles t;
  std::ostringstream out;
  t.mesh.PrintMeshTo(out, 1000.0, 0, 1, 0, 0);
  EXPECT_NE(out.str().find("\n    2              1              2              0\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\n    4              0           2250              0\n"), std::string::npos);
}

TEST(MeshWriter, OldNumberFormsOnBothKindsOfStream) {
  TwoTriangles t;
  const std::string dir = ::testing::TempDir();
  {
    std::ofstream f(dir + "/plain.msh");
    t.mesh.PrintTo(f, 0, 0);
  }
  const std::string plain = ReadFile(dir + "/plain.msh");
  EXPECT_NE(plain.find("end coordinates\n\nElements\n" + Num15(1) + Num15(2) + Num15(3) + "\n"), std::string::npos)
      << plain;
  std::ostringstream os;
  t.mesh.PrintTo(os, 0, 0);
  EXPECT_NE(os.str().find("Elements\n    1 " + Num15(1) + Num15(2) + Num15(3) + "\n"), std::string::npos);
  EXPECT_EQ(os.str().substr(0, kHeader.size() + 12), kHeader + "Coordinates\n");

  t.mesh.SetOldNumbers(std::unique_ptr<int[]>(new int[4]{40, 30, 0, 10}));
  std::ostringstream old;
  t.mesh.PrintTo(old, 1, 0);
  EXPECT_NE(old.str().find("\n   40              0"), std::string::npos) << old.str();
  EXPECT_NE(old.str().find("\n    3              1"), std::string::npos);  // old number 0: its own
  EXPECT_NE(old.str().find("    2 " + Num15(40) + Num15(0) + Num15(10) + "\n"), std::string::npos) << old.str();
  {
    std::ofstream f(dir + "/old.msh");
    t.mesh.PrintTo(f, 1, 0);
  }
  EXPECT_NE(ReadFile(dir + "/old.msh").find("    1 : " + Num15(40) + Num15(30) + Num15(0) + "\n"), std::string::npos);
}

TEST(MeshWriter, BackgroundMeshBlockWithSizes) {
  TwoTriangles t;
  std::ostringstream out;
  ReaVec none;
  t.mesh.PrintBackgroundMeshTo(out, none, 1);
  EXPECT_EQ(out.str(), "BackgroundMesh V 1.0\n" + t.Print(1, 1, 1, 1) + "DesiredSize Nodes\nEnd DesiredSize\n");
  std::ostringstream out2;
  ReaVec sizes(2, 0.5);
  sizes(2) = 2.0;
  t.mesh.PrintBackgroundMeshTo(out2, sizes, 0);
  EXPECT_NE(out2.str().find("end elements\nDesiredSize Elements\n1\t0.5\n2\t2\nEnd DesiredSize\n"), std::string::npos);
}

TEST(NeutralFile, ElementRecordsAndTitle) {
  Plex<Node> all(100, "All the Nodes"), empty(100, "Node");
  for (int i = 1; i <= 20; ++i) {
    Node* nd = new Node(3);
    nd->num[0] = i;
    all.set_at(i, nd);
  }
  Mesh tri(&empty, 100, 3, Triangle, 3);
  Elem e(&tri);
  e.NewNum(1);
  for (int i = 0; i < 3; ++i) e[i] = all.get_at(i + 1);
  tri.GiveElemPlex()->set_at(1, &e);
  tri.CalcShapeGaussNeutral();
  const std::string path = ::testing::TempDir() + "/result_case.flv";
  {
    std::ofstream f(path);
    tri.PrintToNeutral(f, path.c_str());
  }
  EXPECT_EQ(ReadFile(path), "    1Cse.flv\n    2CCOORDE\n -3\n    3CCONECT\n -1    1    7    1    1\n -2" + Num15(1) +
                                Num15(2) + Num15(3) + "\n -3\n 9999\n");

  Mesh hex(&empty, 100, 3, Hexahedra, 20);
  Elem h(&hex);
  h.NewNum(2);
  for (int i = 0; i < 20; ++i) h[i] = all.get_at(i + 1);
  hex.GiveElemPlex()->set_at(2, &h);
  hex.CalcShapeGaussNeutral();
  {
    std::ofstream f(path);
    hex.PrintToNeutral(f, "a.flv");
  }
  std::string first15;
  for (int k = 1; k <= 15; ++k) first15 += Num15(k);
  EXPECT_EQ(ReadFile(path), "    1Ca.flv\n    2CCOORDE\n -3\n    3CCONECT\n -1    2    4    1    1\n -2" + first15 +
                                "\n   16   17   18   19   20\n -3\n 9999\n");
  tri.GiveElemPlex()->clear();
  hex.GiveElemPlex()->clear();
  int i = 0;
  while (Node* nd = all.next(i)) delete nd;
}

TEST(NeutralFile, CodesByTypeAndNodeCount) {
  struct Row {
    ElemType t;
    int n, code;
  };
  const Row rows[] = {{Linear, 2, 11},       {Triangle, 3, 7},   {Triangle, 6, 8},   {Quadrilateral, 4, 9},
                      {Quadrilateral, 8, 10}, {Tetrahedra, 4, 3}, {Tetrahedra, 10, 6}, {Hexahedra, 8, 1},
                      {Hexahedra, 20, 4},    {Prisma, 6, 0},     {NoNe, 0, 0}};
  for (const Row& r : rows) {
    Mesh m(10, 10, 3, r.t, r.n);
    m.CalcShapeGaussNeutral();
    EXPECT_EQ(m.GiveFvType(), r.code) << r.t << " " << r.n;
  }
  auto bad = RunInChild([] {
    Mesh m(10, 10, 3, Quadrilateral, 9);
    m.CalcShapeGaussNeutral();
  });
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "\n\nUnknown Neutral type\n");
  auto nodes = RunInChild([] {
    TwoTriangles t;
    std::ofstream f("n.flv");
    t.mesh.PrintToNeutral(f, "n.flv");
  });
  EXPECT_EQ(nodes.status, 1);
  EXPECT_EQ(nodes.err, "\n\nstprintf\n");
  EXPECT_EQ(nodes.file("n.flv"), "    1Cn.flv\n    2CCOORDE\n");
}

TEST(OutputFiles, UnopenableFilesAndFailedStreamsAreFatal) {
  auto r = RunInChild([] {
    std::ofstream f;
    OpenOutputFile(f, "no_such_dir/case.out.msh");
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\nCannot open output file \"no_such_dir/case.out.msh\"\n");

  auto ok = RunInChild([] {
    ::umask(002);
    std::ofstream f;
    OpenOutputFile(f, "case.out.msh");
    TwoTriangles t;
    t.mesh.PrintMeshTo(f, 1, 1, 1, 1);
    f.close();
    struct stat st;
    ::stat("case.out.msh", &st);
    std::exit((st.st_mode & 0777) == 0664 ? 0 : 4);
  });
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.file("case.out.msh").substr(0, 4), "MESH");

  auto failed = RunInChild([] {
    std::ofstream f("no_such_dir/x.msh");
    TwoTriangles t;
    t.mesh.PrintMeshTo(f, 1, 1, 1, 1);
  });
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("Cannot write mesh 0"), std::string::npos) << failed.err;
  auto neutral = RunInChild([] {
    std::ofstream f("no_such_dir/x.flv");
    Mesh m(10, 10, 3, Triangle, 3);
    m.PrintToNeutral(f, "no_such_dir/x.flv");
  });
  EXPECT_EQ(neutral.err, "\n\nCannot open output file \"no_such_dir/x.flv\"\n");
}
