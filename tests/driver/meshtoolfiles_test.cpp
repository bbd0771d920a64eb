// The mesh file of the mesh-writing tools when the data file is not one, and the mesh they read
// against the solve's.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/driver/cavity_data.h"
#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

TEST(MeshToolFiles, ADataFileWithoutNodesLeavesTheEarlierMeshFile) {
  const std::string files[] = {"OLVU_2D;\nProblemDefinition;\n", "OLVU_2D;\nNodes;\n"};
  const std::string messages[] = {"Wrong node data in Write_Mesh tool\n", "error: list of nodes does not contain any node\n"};
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(files[k]);
    Folder dir;
    dir.write("box", files[k]);
    dir.write("box.out.msh", "mesh of an earlier run\n");
    const Outcome r = dir.olvu({"-name", "box", "-tool", "Write_Mesh"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("box.err"), ErrFile(messages[k]));
    EXPECT_EQ(dir.read("box.out.msh"), "mesh of an earlier run\n");
  }
}

// The mesh block of a background-mesh file: what the solve read of its fluid set.
std::string BackgroundMeshBlock(const std::string& bgm) {
  const std::string head = "BackgroundMesh V 1.0\n";
  const auto end = bgm.find("DesiredSize");
  if (bgm.rfind(head, 0) != 0 || end == std::string::npos) return "";
  return bgm.substr(head.size(), end - head.size());
}

// The lines of a mesh block between `open` and `close`.
long Lines(const std::string& mesh, const std::string& open, const std::string& close) {
  const auto a = mesh.find(open + "\n"), b = mesh.find(close + "\n");
  if (a == std::string::npos || b == std::string::npos) return -1;
  return std::count(mesh.begin() + static_cast<long>(a + open.size() + 1), mesh.begin() + static_cast<long>(b), '\n');
}

// The line of `data` on which `text` starts.
std::string LineOf(const std::string& data, const std::string& text) {
  return std::to_string(std::count(data.begin(), data.begin() + static_cast<long>(data.find(text)), '\n') + 1);
}

// A comment is no data wherever it stands, and no record of a list is passed over: the solve and
// Write_Mesh read the same mesh from the same file (the solve's is the one its background-mesh file
// shows), or refuse it with the same message.
TEST(MeshToolFiles, TheSolveAndWriteMeshReadTheSameMeshOrRefuseAlike) {
  const std::string cavity = Replace(CavityData(), "Max_Iterations 3;", "Max_Iterations 3 Refine_Mesh Residual;");
  const std::string inRecord = Replace(cavity, "  2  1 5 4\n", "  2  1 5 ! 4\n");
  const std::string stray = Replace(cavity, "  3  2 3 6\n", "  e3  2 3 6\n");
  struct Case {
    const char* what;
    std::string data;
    std::string refusal;  // "" when the file holds the whole mesh
  };
  const Case cases[] = {
      {"comment after an element record", Replace(cavity, "  1  1 2 5\n", "  1  1 2 5 ! lower left\n"), ""},
      {"comment after the Nodes card", Replace(cavity, "Nodes;\n", "Nodes; ! 1 2 3\n"), ""},
      {"comment before the set type", Replace(cavity, "Type Fluid", "Type {Body} Fluid"), ""},
      {"comment before the element type", Replace(cavity, "ElmType Triangle", "ElmType {Quadrilateral} Triangle"), ""},
      {"comment before the node count", Replace(cavity, "NNode 3", "NNode ! 4 corners?\n 3"), ""},
      {"brace comment over element records", Replace(cavity, "  4  2 6 5\n", "  4  2 6 5 { the\n  9 1 2 3 }\n"), ""},
      {"list comment after a tab", Replace(cavity, "  5  4 5 8\n", "\t# the upper row\n  5  4 5 8\n"), ""},
      {"brace comment never closed", Replace(cavity, "ElmSets;\nSet 1", "ElmSets;\n{ the sets below are checked\nSet 1"),
       "Unexpected end of file cavity found\n"},
      {"comment inside an element record", inRecord,
       "Wrong node number in element 2 at byte " + std::to_string(inRecord.find("! 4")) + " (line " +
           LineOf(inRecord, "! 4") + ") of the input file\n"},
      {"a list line that is no record", stray,
       "Mesh 1: neither an element record nor \"End Elements\" at line " + LineOf(stray, "  e3") +
           " of the input file: \"  e3  2 3 6\"\n"},
  };
  Folder clean;
  clean.write("cavity", cavity);
  ASSERT_EQ(clean.olvu({"-name", "cavity"}).status, 0) << clean.read("cavity.err");
  const std::string whole = BackgroundMeshBlock(clean.read("cavity.bgm"));
  ASSERT_EQ(Lines(whole, "Coordinates", "end coordinates"), 9);
  ASSERT_EQ(Lines(whole, "Elements", "end elements"), 8);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Folder dir;
    dir.write("cavity", c.data);
    const Outcome solve = dir.olvu({"-name", "cavity"});
    const std::string solveErr = dir.read("cavity.err"), solved = BackgroundMeshBlock(dir.read("cavity.bgm"));
    const Outcome tool = dir.olvu({"-name", "cavity", "-tool", "Write_Mesh"});
    if (c.refusal.empty()) {
      EXPECT_EQ(solve.status, 0) << solveErr;
      EXPECT_EQ(tool.status, 0) << dir.read("cavity.err");
      EXPECT_EQ(tool.out, "\nfluid\nSuccess !!!\n");
      EXPECT_EQ(solved, whole);
      EXPECT_EQ(dir.read("cavity.out.msh"), whole);
    } else {
      EXPECT_EQ(solve.status, 1);
      EXPECT_EQ(tool.status, 1);
      EXPECT_EQ(solveErr, ErrFile(c.refusal));
      EXPECT_EQ(dir.read("cavity.err"), ErrFile(c.refusal));
      EXPECT_FALSE(dir.exists("cavity.out.msh"));
    }
  }
}

}  // namespace
}  // namespace olvu_test
