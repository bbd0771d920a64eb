// The mesh file of the mesh-writing tools when the data file is not one.
#include <gtest/gtest.h>

#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

TEST(MeshToolFiles, ADataFileWithoutNodesLeavesTheEarlierMeshFile) {
  const std::string files[] = {"OLVU_2D;\nProblemDefinition;\n", "OLVU_2D;\nNodes;\n"};
  const std::string messages[] = {"Wrong node data in Write_Mesh tool\n", "end of file and no digit found\n"};
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

}  // namespace
}  // namespace olvu_test
