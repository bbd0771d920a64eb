// The domain base class: coordinates by number and base, empty default operations and the
// inspection text.
#include <gtest/gtest.h>

#include <sstream>

#include "domain/domain.h"
#include "mesh/elem.h"

namespace {

// A domain of six nodes at x = 10 k (problem numbers 101..106) and one triangle of nodes 1, 3, 5.
struct SixNodes : Domain {
  Elem* elem;
  SixNodes() : Domain(nullptr) {
    for (int k = 1; k <= 6; ++k) {
      Node* nd = new Node(3);
      (*nd)(1) = 10.0 * k;
      (*nd)(2) = k;
      nd->num[0] = 100 + k;
      nodes.set_at(k, nd);
    }
    numNodes = 6;
    Mesh* m = new Mesh(100, 100, 3, Triangle, 3);
    elem = new Elem(m);
    for (int a = 0; a < 3; ++a) (*elem)(a) = nodes.get_at(2 * a + 1);
    elem->NewNum(1);
    m->GiveElemPlex()->set_at(1, elem);
    meshes.set_at(1, m);
  }
  ~SixNodes() override { delete elem; }
};

TEST(Domain, CoordinatesCountFromTheGivenBase) {
  SixNodes d;
  EXPECT_EQ(d.X(5, 1), 50.0);
  EXPECT_EQ(d.X(5, 0), 60.0);
  EXPECT_EQ(d.Y(1, 1), 1.0);
  d.Z(2, 1) = 7;
  EXPECT_EQ((*d.nodes.get_at(2))(3), 7.0);
}

TEST(Domain, DefaultOperationsDoNothing) {
  SixNodes d;
  std::ostringstream out;
  d.ReadGeneralData(nullptr);
  d.ReadRestart(nullptr, "Fluid");
  d.InitialiseDomain(out);
  d.OutputResults(out);
  d.OutputRestart(out, "Fluid");
  d.SolveCoupledProblem();
  d.StartNewStep();
  EXPECT_EQ(d.addNode(3), 0);
  EXPECT_EQ(d.GiveVector("Vx"), nullptr);
  EXPECT_EQ(out.str(), "");
}

TEST(Domain, InspectionTextIsATriangleMesh) {
  SixNodes d;
  std::ostringstream out;
  out << d;
  EXPECT_EQ(out.str(),
            "MESH    dimension = 3 ElemType Triangle  Nnode = 3\nCoordinates\n"
            "\t1\t10\t1\t0\t0\n\t2\t20\t2\t0\t0\n\t3\t30\t3\t0\t0\n\t4\t40\t4\t0\t0\n\t5\t50\t5\t0\t0\n\t6\t60\t6\t0\t0\n"
            "end coordinates\n\nElements\n\t1\t101\t103\t105\nend elements\n");
}

}  // namespace
