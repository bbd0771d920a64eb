// The solid domain's pieces on small meshes: element matrices against their closed forms and
// properties, boundary mass matrices, the solid set's elasticity data, the numbering of shared
// nodes and the interface set's maps, areas and exchanges.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

#include "domain/interfmesh.h"
#include "domain/solidmesh.h"
#include "foundation/declarations.h"
#include "mesh/boundarymass.h"
#include "mesh/csr.h"
#include "mesh/elem.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"
#include "tests/driver/run_olvu.h"
#include "tests/model/solidcase.h"

namespace {

using olvu_test::Folder;
using olvu_test::SolidCase;

const std::string kProps =
    "PhysicalPropertiesFunctions;\nFunction SolidDensity \"2\" [Kg/m3];\nFunction SpecificHeat \"3\" [J/Kg.Gt];\n"
    "Function ConductivityXX \"1\" [W/m.Gt];\nFunction ConductivityXY \"0\" [W/m.Gt];\n"
    "Function ConductivityYY \"1\" [W/m.Gt];\nEndPhysicalPropertiesFunctions;\n";

// A Boundary block that imposes nothing.
const std::string kNoConditions = "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nEndBoundary;\n";

// A solid block of the given sets ("Set ..." card, then elements) over the node lines.
std::string SolidFile(const std::string& nodes, const std::string& sets) {
  return "Nodes;\n" + nodes + "SolidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\n"
         "InitialDataFunctions;\nEndInitialDataFunctions;\nElmSets;\n" + sets + "EndElmSets;\n" + kNoConditions;
}

std::string Set(int n, const std::string& type, int nnode, const std::string& elements) {
  return "Set " + std::to_string(n) + " Type Solid ElmType " + type + " NNode " + std::to_string(nnode) + " Name Wall" +
         std::to_string(n) + ";\n" + kProps + "Elements\n" + elements + "End Elements\n";
}

// Column j (0-based) of a sparse matrix of n rows.
std::vector<double> Column(const SparseMatrix& A, int n, int j) {
  std::vector<double> e(std::size_t(n), 0.0), y(std::size_t(n), 0.0);
  e[std::size_t(j)] = 1;
  A.mult(e.data(), y.data());
  return y;
}

struct SolidUnit : ::testing::Test {
  Folder f;
  int dimension = Dimension_Olvu;
  void TearDown() override { Dimension_Olvu = dimension; }
  std::string File(const std::string& text) {
    f.write("u.dat", text);
    return f.path("u.dat");
  }
};

TEST_F(SolidUnit, RightTriangleClosedForms) {
  SolidCase c(File(SolidFile("1 0 0 0\n2 1 0 0\n3 0 1 0\n", Set(1, "Triangle", 3, "1 1 2 3\n"))));
  SolidDomain& d = *c.solid;
  ASSERT_EQ(d.numNodes, 3);
  // M: 1/12 on the diagonal, 1/24 off it; lumped 1/6; the volume is the area.
  const auto m = Column(*d.Mass(), 3, 0);
  EXPECT_NEAR(m[0], 1.0 / 12, 1e-15);
  EXPECT_NEAR(m[1], 1.0 / 24, 1e-15);
  for (unsigned i = 1; i <= 3; ++i) EXPECT_NEAR(d.LumpedMass()(i), 1.0 / 6, 1e-15);
  EXPECT_NEAR(Solid_Volume, 0.5, 1e-15);
  // Component matrices of gradients b = (-1, 1, 0), c = (-1, 0, 1) and area 1/2.
  const double xx[3] = {0.5, -0.5, 0}, xy[3] = {1, -0.5, -0.5}, yy[3] = {0.5, 0, -0.5};
  const auto cxx = Column(*d.ComponentMatrix(Kxx), 3, 0), cxy = Column(*d.ComponentMatrix(Kxy), 3, 0),
             cyy = Column(*d.ComponentMatrix(Kyy), 3, 0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(cxx[std::size_t(i)], xx[i], 1e-15) << i;
    EXPECT_NEAR(cxy[std::size_t(i)], xy[i], 1e-15) << i;
    EXPECT_NEAR(cyy[std::size_t(i)], yy[i], 1e-15) << i;
  }
  // N-dN: row i of NDx is (-1/6, 1/6, 0).
  for (int j = 0; j < 3; ++j) {
    const auto ndx = Column(*d.SystemMatrix(2), 3, j);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(ndx[std::size_t(i)], (j == 0 ? -1.0 : j == 1 ? 1.0 : 0.0) / 6, 1e-15);
  }
  // In two dimensions the z components are neither sized nor built.
  EXPECT_EQ(d.Conductivity(Kzz).length(), 0u);
  EXPECT_EQ(d.ComponentMatrix(Kzz), nullptr);
  EXPECT_EQ(d.GiveVector("kxy"), &d.Conductivity(Kxy));
  EXPECT_EQ(d.GiveVector("SDn"), &d.SolidDensity());
}

TEST_F(SolidUnit, QuadrilateralsOnTheGaussPath) {
  // 2 x 2 bilinear cells on the unit square; node 5 is the inner node.
  std::string nodes;
  for (int j = 0, k = 1; j < 3; ++j)
    for (int i = 0; i < 3; ++i, ++k)
      nodes += std::to_string(k) + " " + std::to_string(0.5 * i) + " " + std::to_string(0.5 * j) + " 0\n";
  SolidCase c(File(SolidFile(nodes, Set(1, "Quadrilateral", 4, "1 1 2 5 4\n2 2 3 6 5\n3 4 5 8 7\n4 5 6 9 8\n"))));
  SolidDomain& d = *c.solid;
  EXPECT_NEAR(Solid_Volume, 1.0, 1e-14);
  ReaVec x(9u), y(9u), ones(9u, 1.0), out(9u);
  for (int k = 1; k <= 9; ++k) x(unsigned(c.Local(k))) = 0.5 * ((k - 1) % 3), y(unsigned(c.Local(k))) = 0.5 * ((k - 1) / 3);
  const unsigned inner = c.Local(5);
  for (int k : {Kxx, Kxy, Kyy}) {
    d.ComponentMatrix(k)->mult(ones.GivePointer(), out.GivePointer());
    for (unsigned i = 1; i <= 9; ++i) EXPECT_NEAR(out(i), 0, 1e-14);  // constants carry no flux
    // A linear field has no flux divergence at the inner node.
    for (const ReaVec* v : {&x, &y}) {
      d.ComponentMatrix(k)->mult(v->GivePointer(), out.GivePointer());
      EXPECT_NEAR(out(inner), 0, 1e-14);
    }
  }
  // The inner node's share of the volume is a quarter of the square.
  EXPECT_NEAR(d.LumpedMass()(inner), 0.25, 1e-14);
  // The Gauss-rule conductivity matrix of a constant tensor is the sum of the component matrices.
  ReaVec kxx(9u, 3.0), kxy(9u, 1.0), kyy(9u, 2.0), none;
  SystemSparseMatrix* K = d.SystemMatrix(1);
  K->NullifyMatrix();
  d.CalcDNKDNMatrix(K, kxx, kxy, kyy, none, none, none);
  ReaVec v(9u), got(9u), want(9u, 0.0);
  for (unsigned i = 1; i <= 9; ++i) v(i) = std::sin(1.3 * i);
  K->mult(v.GivePointer(), got.GivePointer());
  const double w[3] = {3, 1, 2};
  for (int k : {Kxx, Kxy, Kyy}) {
    d.ComponentMatrix(k)->mult(v.GivePointer(), out.GivePointer());
    for (unsigned i = 1; i <= 9; ++i) want(i) += w[k] * out(i);
  }
  for (unsigned i = 1; i <= 9; ++i) EXPECT_NEAR(got(i), want(i), 1e-13);
}

TEST_F(SolidUnit, TetrahedronClosedFormsInThreeDimensions) {
  Dimension_Olvu = 3;
  SolidCase c(File(SolidFile("1 0 0 0\n2 1 0 0\n3 0 1 0\n4 0 0 1\n",
                             Set(1, "Tetrahedra", 4, "1 1 2 3 4\n")) ));
  SolidDomain& d = *c.solid;
  EXPECT_NEAR(Solid_Volume, 1.0 / 6, 1e-15);
  ASSERT_NE(d.ComponentMatrix(Kzz), nullptr);
  EXPECT_EQ(d.Conductivity(Kzz).length(), 4u);
  // dN/dz = (-1, 0, 0, 1): Azz column 1 is V (1, 0, 0, -1); Axz column 1 is V (2, -1, 0, -1).
  const auto zz = Column(*d.ComponentMatrix(Kzz), 4, 0), xz = Column(*d.ComponentMatrix(Kxz), 4, 0);
  const double ezz[4] = {1, 0, 0, -1}, exz[4] = {2, -1, 0, -1};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(zz[std::size_t(i)], ezz[i] / 6, 1e-15);
    EXPECT_NEAR(xz[std::size_t(i)], exz[i] / 6, 1e-15);
  }
  const auto m = Column(*d.Mass(), 4, 0);
  EXPECT_NEAR(m[0], 1.0 / 60, 1e-15);
  EXPECT_NEAR(m[1], 1.0 / 120, 1e-15);
}

TEST_F(SolidUnit, SharedNodesAreNumberedInTheirFirstSet) {
  const std::string nodes = "1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n5 2 0 0\n";
  SolidCase c(File(SolidFile(nodes, Set(2, "Triangle", 3, "1 5 3 2\n") + Set(1, "Triangle", 3, "1 1 2 3\n2 1 3 4\n"))));
  // Sets are walked in number order: set 1 first, so nodes 1, 2, 3 come first.
  EXPECT_EQ(c.Local(1), 1u);
  EXPECT_EQ(c.Local(2), 2u);
  EXPECT_EQ(c.Local(3), 3u);
  EXPECT_EQ(c.Local(4), 4u);
  EXPECT_EQ(c.Local(5), 5u);
  EXPECT_EQ(SolidToGlobal(5u), 5);
  auto* wall = dynamic_cast<SolidMesh*>(c.solid->giveDomainMesh(2));
  ASSERT_NE(wall, nullptr);
  EXPECT_STREQ(wall->Name(), "Wall2");
  EXPECT_EQ(wall->AreYou("solidmesh"), 1);
}

TEST_F(SolidUnit, ElasticityOfTheSolidSet) {
  SolidCase c(File(SolidFile("1 0 0 0\n2 1 0 0\n3 0 1 0\n", Set(1, "Triangle", 3, "1 1 2 3\n"))));
  auto* s = dynamic_cast<SolidMesh*>(c.solid->giveDomainMesh(1));
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->Kind(), PlaneStress);
  const Matrix D = s->D_Matrix();
  EXPECT_NEAR(D(1, 1), 10989010989.010988, 1e-3);
  EXPECT_NEAR(D(1, 2), 3296703296.703296, 1e-3);
  EXPECT_NEAR(D(3, 3), 3846153846.153846, 1e-3);
  EXPECT_EQ(D(1, 3), 0);
  Matrix dN(2, 3), B;
  for (int i = 1; i <= 3; ++i) dN(1, i) = i, dN(2, i) = 10 * i;
  s->B_Matrix(B, dN);
  ASSERT_EQ(B.nrows, 3);
  ASSERT_EQ(B.ncols, 6);
  EXPECT_EQ(B(1, 3), 2);
  EXPECT_EQ(B(2, 4), 20);
  EXPECT_EQ(B(3, 3), 20);
  EXPECT_EQ(B(3, 4), 2);
  EXPECT_EQ(B(1, 4), 0);
}

// A boundary set of one element over its own nodes, numbered in slot 0.
struct Boundary {
  Plex<Node> nodes{10, "Nodes"};
  Mesh* set;
  SparseMatrixStruct* pattern = nullptr;
  SystemSparseMatrix* A = nullptr;
  Boundary(ElemType type, std::initializer_list<std::array<double, 3>> points) {
    set = new Mesh(&nodes, 10, 3, type, int(points.size()));
    Elem* e = new Elem(set);
    int k = 0;
    for (const auto& p : points) {
      Node* nd = new Node(3);
      (*nd)(1) = p[0], (*nd)(2) = p[1], (*nd)(3) = p[2];
      nd->num[0] = ++k;
      nodes.set_at(k, nd);
      (*e)(k - 1) = nd;
    }
    e->NewNum(1);
    set->GiveElemPlex()->set_at(1, e);
    pattern = createSparseMatrixStruct(&nodes, set, 0);
    A = new SystemSparseMatrix(pattern);
    CalcBodyMatrixes(set, A, 0);
  }
  ~Boundary() {
    delete A;
    delete pattern;
    delete set->giveElm(1);
    delete set;
    int i = 0;
    while (Node* nd = nodes.next(i)) delete nd;
    nodes.clear();
  }
  double at(int i, int j) const { return Column(*A, nodes.count, j - 1)[std::size_t(i - 1)]; }
};

TEST_F(SolidUnit, BoundaryMassMatrices) {
  Boundary line(Linear, {{{0, 0, 0}}, {{0, 2, 0}}});
  EXPECT_NEAR(line.at(1, 1), 2.0 / 3, 1e-15);
  EXPECT_NEAR(line.at(1, 2), 1.0 / 3, 1e-15);
  for (auto order : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 1}}) {
    const std::array<double, 3> p[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    Boundary tri(Triangle, {p[order[0]], p[order[1]], p[order[2]]});
    EXPECT_NEAR(tri.at(1, 1), 1.0 / 12, 1e-15);
    EXPECT_NEAR(tri.at(2, 3), 1.0 / 24, 1e-15);
  }
  Dimension_Olvu = 3;
  Boundary quad(Quadrilateral, {{{0, 0, 0}}, {{2, 0, 0}}, {{2, 1, 0}}, {{0, 1, 0}}});
  double sum = 0;
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) sum += quad.at(i, j);
  EXPECT_NEAR(sum, 2.0, 1e-14);
  EXPECT_NEAR(quad.at(1, 1), 2.0 / 9, 1e-14);  // the bilinear mass of a 2 x 1 rectangle: A/9 at each corner
}

// The fluid on the left cell, the solid on the right one, the contact at x = 1 (nodes 2 and 5).
const std::string kPair =
    "Nodes;\n1 0 0 0\n2 1 0 0\n3 2 0 0\n4 0 1 0\n5 1 1 0\n6 2 1 0\n"
    "FluidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
    "EndInitialDataFunctions;\nElmSets;\nSet 1 Type Fluid ElmType Triangle NNode 3;\nPhysicalPropertiesFunctions;\n"
    "Function Density \"1\" [Kg/m3];\nEndPhysicalPropertiesFunctions;\nElements\n1 1 2 5\n2 1 5 4\nEnd Elements\n"
    "EndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nNode 1 Temp 10;\nEndBoundary;\n"
    "SolidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
    "EndInitialDataFunctions;\nElmSets;\n" +
    Set(2, "Triangle", 3, "1 2 3 6\n2 2 6 5\n") + "EndElmSets;\n" + kNoConditions;

TEST_F(SolidUnit, InterfaceMapsAreasAndExchanges) {
  SolidCase c(File(kPair + "Set 3 Type Interface ElmType Linear NNode 2 Rest_Tem \"4\" [W/m2.Gt];\n"
                           "Elements\n1 2 5\nEnd Elements\n"));
  c.in->ReadLine();
  InterfMesh m(3, c.in.get(), c.fluid.get(), c.solid.get());
  m.ReadElemsFromAscii(c.in.get(), &c.all);
  m.initialiseMesh();
  EXPECT_STREQ(m.Name(), "Interface_3");
  EXPECT_TRUE(m.IsTempInterface());
  EXPECT_FALSE(m.IsSpesInterface(1));
  ASSERT_EQ(m.FluidNumbers().length(), 2u);
  EXPECT_EQ(m.FluidNumbers()(1), int(GlobalToFluid(2u)));
  EXPECT_EQ(m.SolidNumbers()(2), int(GlobalToSolid(5u)));
  EXPECT_NEAR(m.Area()(1) + m.Area()(2), 1.0, 1e-15);  // the contact line is 1 long
  EXPECT_NEAR(m.maxcoord(2), 1.0, 0);

  // Exchange: both sides hold the sum.
  ReaVec fl(unsigned(c.fluid->numNodes), 1.0), so(unsigned(c.solid->numNodes), 2.0);
  m.communicateReaVec(fl, so);
  EXPECT_EQ(fl(unsigned(m.FluidNumbers()(1))), 3);
  EXPECT_EQ(so(unsigned(m.SolidNumbers()(2))), 3);
  EXPECT_EQ(fl(unsigned(GlobalToFluid(1u))), 1);  // not an interface node

  // A constant resistance fills the whole work vector, then the side's mass adds it up.
  ReaVec work(unsigned(c.solid->numNodes), 0.0), out(unsigned(c.solid->numNodes), 0.0);
  m.solveSolidFluxReaction(work, out, 1, 0);
  for (unsigned i = 1; i <= work.length(); ++i) EXPECT_EQ(work(i), 4);
  EXPECT_NEAR(out.sum(), 4.0, 1e-14);
  ReaVec none(unsigned(c.solid->numNodes), 0.0);
  m.solveSolidFluxReaction(work, none, 2, 1);  // no species resistance: nothing
  EXPECT_EQ(none.sum(), 0);

  // Heat into the solid system: h = 4 times the nodal area on the diagonal, times T_fluid on the right.
  c.fluid->Var(Temp) = 7.0;
  SystemSparseMatrix* A = c.solid->SystemMatrix(0);
  A->NullifyMatrix();
  ReaVec b(unsigned(c.solid->numNodes), 0.0);
  m.HeatExchange(c.solid.get(), A, b);
  const unsigned s2 = GlobalToSolid(2u);
  EXPECT_NEAR(A->diag(int(s2) - 1), 4 * 0.5, 1e-15);
  EXPECT_NEAR(b(s2), 4 * 0.5 * 7, 1e-14);
  EXPECT_EQ(b(unsigned(GlobalToSolid(3u))), 0);
}

TEST_F(SolidUnit, ZeroConductanceExchangesNothing) {
  SolidCase c(File(kPair + "Set 3 Type Interface ElmType Linear NNode 2 Rest_Tem \"0\" [W/m2.Gt];\nElements\n1 2 5\nEnd Elements\n"));
  c.in->ReadLine();
  InterfMesh m(3, c.in.get(), c.fluid.get(), c.solid.get());
  m.ReadElemsFromAscii(c.in.get(), &c.all);
  m.initialiseMesh();
  ReaVec work(unsigned(c.fluid->numNodes), -1.0), out(unsigned(c.fluid->numNodes), 0.0);
  m.solveFluidFluxReaction(work, out, 1, 0);
  EXPECT_EQ(out.sum(), 0);
  EXPECT_EQ(work(1), -1);
}

}  // namespace
