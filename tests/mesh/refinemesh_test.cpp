#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/intvec.h"
#include "foundation/matrix.h"
#include "mesh/csr.h"
#include "mesh/refinemesh.h"
#include "solvers/sparsematrix.h"
#include "tests/mesh/gridmesh.h"
#include "tests/support/child.h"

using olvu_test::Grid;
using olvu_test::RunInChild;

namespace {

/// A unit-spaced 2-D triangle grid with its linear-element mass and derivative matrices and a
/// nodal element size; slot 1 holds the domain-local numbers (equal to the node numbers).
struct Cavity {
  Grid g;
  Plex<Mesh> fluid{5, "Fluid Meshes"};
  std::unique_ptr<SparseMatrixStruct> pattern;
  std::unique_ptr<SymmetricSparseMatrix> M;
  std::unique_ptr<SystemSparseMatrix> Gx, Gy;
  ReaVec h;
  int n;

  Cavity(int nx, int ny) : g(nx, ny, 0) {
    Mesh* m = g.tm.Add(Triangle, 3, g.Tris());
    fluid.append(m);
    for (Node* nd : g.tm.node) nd->num[1] = nd->num[0];
    n = g.tm.nodes.count;
    pattern.reset(createSparseMatrixStruct(g.tm.nodes, fluid, 1));
    M = std::make_unique<SymmetricSparseMatrix>(pattern.get());
    Gx = std::make_unique<SystemSparseMatrix>(pattern.get());
    Gy = std::make_unique<SystemSparseMatrix>(pattern.get());
    h = ReaVec(n, 1.0);
    int i = 0;
    for (Elem* e = m->giveNextElm(i); e; e = m->giveNextElm(i)) {
      const Node &a = *(*e)[0], &b = *(*e)[1], &c = *(*e)[2];
      const double area2 = (b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1]);
      const double dx[3] = {(b[1] - c[1]) / area2, (c[1] - a[1]) / area2, (a[1] - b[1]) / area2};
      const double dy[3] = {(c[0] - b[0]) / area2, (a[0] - c[0]) / area2, (b[0] - a[0]) / area2};
      for (int r = 0; r < 3; ++r)
        for (int s = 0; s < 3; ++s) {
          const int row = (*e)[r]->num[1] - 1, col = (*e)[s]->num[1] - 1;
          if (row <= col) M->addToLhs(row, col, area2 / 2 / 12 * (r == s ? 2 : 1));
          Gx->addToLhs(row, col, area2 / 6 * dx[s]);
          Gy->addToLhs(row, col, area2 / 6 * dy[s]);
        }
    }
  }
  ~Cavity() { fluid.clear(); }

  /// Fields of a fluid with the given nodal velocity, pressure and fixed sets.
  DesiredSizeFields Fields(const ReaVec& vx, const ReaVec& vy, const ReaVec& pr, const BitVec* fixed) {
    DesiredSizeFields f;
    f.dimension = 2, f.dt = 0.5, f.nodes = &g.tm.nodes, f.slot = 1;
    f.Vx = &vx, f.Vy = &vy, f.Vx_ = &vx, f.Vy_ = &vy, f.Pr = &pr;
    f.Vs = &visc, f.Dn = &dens, f.h = &h;
    f.M = M.get(), f.Gx = Gx.get(), f.Gy = Gy.get();
    f.fixX = fixed, f.fixY = fixed, f.fixP = fixed;
    return f;
  }
  ReaVec visc = ReaVec(1, 0.01), dens = ReaVec(1, 1.0);
  void Resize() { visc = ReaVec(n, 0.01), dens = ReaVec(n, 1.0); }
};

/// The lines of the size block of a background-mesh text.
std::vector<std::string> SizeLines(const std::string& text) {
  const auto from = text.find("DesiredSize Nodes\n"), to = text.find("End DesiredSize\n");
  std::vector<std::string> out;
  std::istringstream in(text.substr(from, to - from));
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

double SizeOf(const std::string& line) { return std::stod(line.substr(line.find('\t') + 1)); }

}  // namespace

TEST(BackgroundMesh, EdgeLengthLayoutIsByteExact) {
  // The output operation opens a timing section, which writes its table: run it in a child.
  auto r = RunInChild([] {
    Cavity c(2, 2);
    c.Resize();
    ReaVec zero(c.n, 0.0);
    DesiredSizeFields f = c.Fields(zero, zero, zero, nullptr);
    std::ofstream bgm("cavity.bgm"), mesh("mesh.txt");
    OutputBackgroundMesh(&bgm, kEdgeLengthBackMesh, f, &c.fluid, 2.0);
    c.fluid.get_at(1)->PrintMeshTo(mesh, 2.0, 1, 1, 1, 1);
    std::ofstream none("none.bgm");
    OutputBackgroundMesh(&none, NoneBackMesh, f, &c.fluid, 1.0);
  });
  ASSERT_EQ(r.status, 0);
  // Mean edge lengths of the 3 x 3 grid with diagonals (0,0)-(1,1), (1,0)-(2,1), ...: 1, sqrt 2.
  const double r2 = std::sqrt(2.0);
  const double h0[9] = {(2 + r2) / 3, (3 + r2) / 4, 1, (3 + r2) / 4, (4 + 2 * r2) / 6, (3 + r2) / 4, 1, (3 + r2) / 4, (2 + r2) / 3};
  std::ostringstream sizes;
  for (int i = 0; i < 9; ++i) sizes << i + 1 << "\t" << 2 * h0[i] << "\n";
  EXPECT_EQ(r.file("cavity.bgm"), "BackgroundMesh V 1.0\n" + r.file("mesh.txt") + "DesiredSize Nodes\n" + sizes.str() +
                                      "End DesiredSize\naumentan:0\tdisminuyen:0\nnodos aprox: 9\n\n");
  EXPECT_NE(sizes.str().find("2.27614"), std::string::npos);
  EXPECT_EQ(r.file("none.bgm"), "");
  EXPECT_FALSE(r.file("mesh.txt").empty());
}

TEST(BackgroundMesh, ResidualEstimateOfAShearFlow) {
  Cavity c(8, 8);
  c.Resize();
  ReaVec vx(c.n, 0.0), vy(c.n, 0.0), pr(c.n, 0.0);
  BitVec fixed(c.n);
  for (int j = 0; j <= 8; ++j)
    for (int i = 0; i <= 8; ++i) {
      const int k = c.g.N(i, j, 0);
      const double x = i / 8.0, y = j / 8.0;
      vx(k) = y * y, vy(k) = 0.1 * x * x, pr(k) = x + 0.5 * y;
      if (i == 0 || j == 0 || i == 8 || j == 8) fixed.assign(k, 1);
    }
  DesiredSizeFields f = c.Fields(vx, vy, pr, &fixed);
  BackgroundSizes s;
  ASSERT_EQ(DesiredElementSize(ResidualBackMesh, f, s), 1);
  EXPECT_EQ(s.grow + s.shrink, 49);  // every interior node has an own estimate
  EXPECT_GT(s.grow, 0);
  EXPECT_GT(s.shrink, 0);
  for (double v : s.size) {
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_GE(v, 0.25 - 1e-12);  // smoothing averages clipped values
    EXPECT_LE(v, 2.5 + 1e-12);
  }
  // The layout of the residual kind: header, the set, one size line per node, counters, estimate.
  std::ostringstream out, mesh, expected;
  WriteBackgroundMesh(out, {c.fluid.get_at(1)}, 0.5, s);
  c.fluid.get_at(1)->PrintMeshTo(mesh, 0.5, 1, 1, 1, 1);
  expected << "BackgroundMesh V 1.0\n" << mesh.str() << "DesiredSize Nodes\n";
  double estimate = 0;
  for (int i = 0; i < c.n; ++i) {
    expected << i + 1 << "\t" << 0.5 * s.size[i] << "\n";
    estimate += (s.h0[i] / s.size[i]) * (s.h0[i] / s.size[i]);
  }
  expected << "End DesiredSize\naumentan:" << s.grow << "\tdisminuyen:" << s.shrink << "\nnodos aprox: "
           << static_cast<long long>(estimate) << "\n\n";
  EXPECT_EQ(out.str(), expected.str());
  EXPECT_EQ(SizeLines(out.str()).size(), 81u);
}

TEST(BackgroundMesh, FluidAtRestAndFullyFixedFluidWriteFiniteSizes) {
  Cavity c(4, 4);
  c.Resize();
  ReaVec zero(c.n, 0.0);
  c.h = ReaVec(c.n, 0.8);
  DesiredSizeFields f = c.Fields(zero, zero, zero, nullptr);
  BackgroundSizes atRest;
  ASSERT_EQ(DesiredElementSize(ResidualBackMesh, f, atRest), 1);
  std::ostringstream rest;
  WriteBackgroundMesh(rest, {c.fluid.get_at(1)}, 1.0, atRest);
  EXPECT_EQ(rest.str().find("nan"), std::string::npos);
  for (const std::string& line : SizeLines(rest.str())) {
    EXPECT_GE(SizeOf(line), 0.2 - 1e-5);
    EXPECT_LE(SizeOf(line), 2.0 + 1e-5);
  }
  // Every node fixed: no node has an own size, the filling stops and the minimum remains.
  BitVec all(c.n);
  all.mark();
  f = c.Fields(zero, zero, zero, &all);
  BackgroundSizes s;
  DesiredElementSize(ResidualBackMesh, f, s);
  for (double v : s.size) EXPECT_NEAR(v, 0.2, 1e-12);
  EXPECT_EQ(s.grow + s.shrink, 0);
}

TEST(BackgroundMesh, UnimplementedTypesEndTheRun) {
  for (int type : {DistanceBackMesh, VelocityBackMesh}) {
    auto r = RunInChild([type] {
      Cavity c(1, 1);
      c.Resize();
      ReaVec zero(c.n, 0.0);
      BackgroundSizes s;
      DesiredElementSize(type, c.Fields(zero, zero, zero, nullptr), s);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("\n\nBackground mesh type ") +
                         (type == DistanceBackMesh ? "Distance" : "Velocity") + " background mesh not implemented\n");
  }
}
