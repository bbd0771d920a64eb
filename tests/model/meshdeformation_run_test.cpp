// Mesh deformation by all data in whole runs: the nodes of a moving wall go where the wall goes.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"
#include "tests/model/bodycases.h"
#include "tests/model/resblocks.h"

namespace olvu_test {
namespace {

TEST(MeshDeformationRuns, MovingWallNodesFollowTheirBody) {
  // The channel of 5 x 5 nodes whose top wall is a body prescribed to y = 0.02 t, the bottom held
  // and the outlet nodes moved by the function 0.002 t X: after four steps of 0.5 s the top
  // wall's nodes are displaced by the body's own total translation (its .mov column), to the
  // printed digits, whether the mesh moves every step or every second one.
  for (const char* every : {"1", "2"}) {
    SCOPED_TRACE(every);
    Folder dir;
    std::string data = Replace(DataFile("restart_deform.dat"), "UpdateMeshEvery 2", std::string("UpdateMeshEvery ") + every);
    data = Replace(Replace(data, "Number_of_Steps 10", "Number_of_Steps 4"), "OutPut_Step 5", "OutPut_Step 4");
    dir.write("c.dat", data);
    ASSERT_EQ(dir.olvu({"-name", "c.dat"}).status, 0) << dir.read("c.dat.err");
    const std::vector<double> body = MovementColumn(dir.read("c.dat.mov"), 3);
    ASSERT_EQ(body.size(), 4u);
    EXPECT_GT(body.back(), 0.01);
    std::istringstream block(BlockAt(dir.read("c.dat.res"), "MESH DEFORMATION", "2", "VINTARO"));
    std::map<int, double> dy;
    for (int node; block >> node;) {
      double x, y, z;
      block >> x >> y >> z;
      dy[node] = y;
    }
    ASSERT_EQ(dy.size(), 25u);
    for (int node = 21; node <= 25; ++node) EXPECT_NEAR(dy[node], body.back(), 1e-9) << node;
    // The bottom stays where it is.
    for (int node = 1; node <= 5; ++node) EXPECT_EQ(dy[node], 0) << node;
  }
}

}  // namespace
}  // namespace olvu_test
