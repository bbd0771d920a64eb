// The background-mesh file of whole runs with "Refine_Mesh": the layout of the residual
// estimate on the cavity of two materials, finite sizes for a fluid at rest, the units of the
// coordinates, and the kinds that write nothing or end the run.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"

namespace {

using olvu_test::DataFile;
using olvu_test::ErrFile;
using olvu_test::Folder;
using olvu_test::Replace;

// The cavity of two materials with walls round it and a lid: only the centre node 5 is free. The
// moving fluid starts from Vx = Y*Y under a lid at 1; the fluid at rest has no lid speed, no
// initial velocity and no gravity (which would move the heavier material).
std::string Cavity(const std::string& refine, bool atRest = false) {
  const std::string lid = atRest ? "0" : "1";
  const std::string walls =
      "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n"
      "Node 1 Velc 0 0 0;\nNode 2 Velc 0 0 0;\nNode 3 Velc 0 0 0;\nNode 4 Velc 0 0 0;\nNode 6 Velc 0 0 0;\n"
      "Node 7 Velc " + lid + " 0 0;\nNode 8 Velc " + lid + " 0 0;\nNode 9 Velc " + lid + " 0 0;\nNode 3 Pres 0;\n"
      "EndBoundary;\n";
  const std::string empty = "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nEndBoundary;\n";
  std::string text = Replace(DataFile("twosets.dat"), empty, walls);
  EXPECT_NE(text.find(walls), std::string::npos) << "the data file's own Boundary block was not replaced";
  text = Replace(text, "Max_Iterations 3;", "Max_Iterations 3 Refine_Mesh " + refine + ";");
  if (atRest) text = Replace(Replace(text, "Gravity 0 -9.81 0", "Gravity 0 0 0"), "\"Y*Y\"", "\"0\"");
  return text;
}

struct Bgm {
  olvu_test::Outcome outcome;
  bool exists = false;
  std::string text, err;
};

Bgm RunBgm(const std::string& data) {
  Folder f;
  f.write("c.dat", data);
  Bgm r;
  r.outcome = f.olvu({"-name", "c.dat"});
  r.exists = f.exists("c.dat.bgm");
  r.text = f.read("c.dat.bgm");
  r.err = f.read("c.dat.err");
  return r;
}

// The two fluid sets as the background mesh writes them: whole, with coordinates, in metres.
const std::string kSets =
    "MESH    dimension = 3 ElemType Triangle  Nnode = 3\nCoordinates\n"
    "    1              0              0              0\n"
    "    2            0.5              0              0\n"
    "    4              0            0.5              0\n"
    "    5            0.5            0.5              0\n"
    "    7              0              1              0\n"
    "    8            0.5              1              0\n"
    "end coordinates\n\nElements\n"
    "    1                1              2              5\n"
    "    2                1              5              4\n"
    "    3                4              5              8\n"
    "    4                4              8              7\n"
    "end elements\n"
    "MESH    dimension = 3 ElemType Triangle  Nnode = 3\nCoordinates\n"
    "    2            0.5              0              0\n"
    "    3              1              0              0\n"
    "    5            0.5            0.5              0\n"
    "    6              1            0.5              0\n"
    "    8            0.5              1              0\n"
    "    9              1              1              0\n"
    "end coordinates\n\nElements\n"
    "    1                2              3              6\n"
    "    2                2              6              5\n"
    "    3                5              6              9\n"
    "    4                5              9              8\n"
    "end elements\n";

// The sizes of the size block by domain node (1-based lines "i\tsize").
std::vector<double> Sizes(const std::string& text) {
  const auto from = text.find("DesiredSize Nodes\n"), to = text.find("End DesiredSize\n");
  std::vector<double> out;
  if (from == std::string::npos || to == std::string::npos) return out;
  std::istringstream in(text.substr(from + 18, to - from - 18));
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    EXPECT_EQ(line.substr(0, line.find('\t')), std::to_string(++number)) << line;
    out.push_back(std::stod(line.substr(line.find('\t') + 1)));
  }
  return out;
}

// Element sizes of the cavity: every element has two edges of 0.5 and one of 0.5 sqrt 2, so h
// is 0.5 (2 + sqrt 2) / 3 at every node; the sizes are clipped to [h / 4, 2.5 h].
const double kH = 0.5 * (2 + std::sqrt(2.0)) / 3;

}  // namespace

TEST(BackgroundMeshRuns, ResidualEstimateLayoutOfTheCavity) {
  Bgm r = RunBgm(Cavity("Residual"));
  ASSERT_EQ(r.outcome.status, 0) << r.err;
  const auto sizesAt = r.text.find("DesiredSize Nodes\n");
  ASSERT_NE(sizesAt, std::string::npos) << r.text;
  EXPECT_EQ(r.text.substr(0, sizesAt), "BackgroundMesh V 1.0\n" + kSets);
  const std::vector<double> s = Sizes(r.text);
  ASSERT_EQ(s.size(), 9u);  // the domain's nodes: node 10 lies in no set
  for (double v : s) {
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_GE(v, kH / 4 - 1e-6);
    EXPECT_LE(v, 2.5 * kH + 1e-6);
  }
  // Only node 5 is free: its relative error is n + 1 = 10 > 1, so one node asks for smaller elements.
  const std::string tail = r.text.substr(r.text.find("End DesiredSize\n"));
  EXPECT_EQ(tail.substr(0, tail.find("nodos aprox: ")), "End DesiredSize\naumentan:0\tdisminuyen:1\n");
  EXPECT_EQ(tail.substr(tail.size() - 2), "\n\n");
}

TEST(BackgroundMeshRuns, FluidAtRestWritesFiniteSizesInTheUnitsOfTheCoordinates) {
  Bgm metres = RunBgm(Cavity("Residual", true));
  ASSERT_EQ(metres.outcome.status, 0) << metres.err;
  EXPECT_EQ(metres.text.find("nan"), std::string::npos) << metres.text;
  EXPECT_EQ(metres.text.find("inf"), std::string::npos);
  const std::vector<double> s = Sizes(metres.text);
  ASSERT_EQ(s.size(), 9u);
  for (double v : s) {
    EXPECT_GE(v, kH / 4 - 1e-6);
    EXPECT_LE(v, 2.5 * kH + 1e-6);
  }
  EXPECT_NE(metres.text.find("End DesiredSize\naumentan:0\tdisminuyen:0\n"), std::string::npos);
  // The same cavity given in centimetres writes the same numbers, now centimetres.
  Bgm cm = RunBgm(Replace(Cavity("Residual", true), "Nodes;", "Nodes CoordinateUnits [cm];"));
  ASSERT_EQ(cm.outcome.status, 0) << cm.err;
  EXPECT_EQ(cm.text, metres.text);
}

TEST(BackgroundMeshRuns, NoneWritesNoFileAndUnimplementedKindsEndTheRun) {
  Bgm none = RunBgm(Cavity("none"));
  EXPECT_EQ(none.outcome.status, 0) << none.err;
  EXPECT_FALSE(none.exists);
  for (const std::string kind : {"Distance", "Velocity"}) {
    Bgm r = RunBgm(Cavity(kind));
    EXPECT_EQ(r.outcome.status, 1) << kind;
    EXPECT_EQ(r.err, ErrFile("Background mesh type " + kind + " background mesh not implemented\n"));
    EXPECT_EQ(r.text, "");
  }
  Bgm unknown = RunBgm(Cavity("Octree"));
  EXPECT_EQ(unknown.outcome.status, 1);
  EXPECT_EQ(unknown.err, ErrFile("Background mesh type Octree not implemented\n"));
}
