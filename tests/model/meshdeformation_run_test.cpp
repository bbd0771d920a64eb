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

TEST(MeshDeformationRuns, AnElementTheMotionInvertsIsToldFromOneInvertedInTheData) {
  // The square falls freely (its weight, no spring) until the mesh below it folds: the motion
  // inverted an element that was sound, and the message says so, naming the body. The same box
  // with an element written clockwise stops at the set-up with the orientation hint.
  const std::string moved =
      "\n\tThe mesh deformation inverted this element, sound at set-up: body Square has moved further than the "
      "mesh around can follow.\n\tTake a smaller time step, give the body more room (a larger fluid region), or hold "
      "the nodes where the mesh must stay (\"DMesh Fix_Null\")\n";
  const struct {
    bool clockwise;
    std::string hint;
  } cases[] = {{false, moved}, {true, "\n\tCheck surface normal orientation\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hint);
    SquareInBox s;
    s.steps = 40, s.out = 1, s.gravity = "-9.81";
    s.card = "Displacement_OY 1 DOY \"0\" [m]";
    std::string data = s.Text();
    if (c.clockwise) data = Replace(data, "\n1 1 2 13\n", "\n1 2 1 13\n");
    Folder dir;
    dir.write("c.dat", data);
    const Outcome r = dir.olvu({"-name", "c.dat"});
    EXPECT_EQ(r.status, 1);
    const std::string err = dir.read("c.dat.err");
    EXPECT_NE(err.find("Negative Volume found in fluid set Water, element "), std::string::npos) << err;
    EXPECT_TRUE(err.ends_with(c.hint)) << err;
    // The steps before the fall's fault keep their movement lines; the set-up writes none.
    EXPECT_EQ(MovementColumn(dir.read("c.dat.mov"), 3).empty(), c.clockwise);
  }
}

}  // namespace
}  // namespace olvu_test
