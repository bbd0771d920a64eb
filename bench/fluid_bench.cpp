// The fluid domain's per-node and per-element work at 10^6 nodes, each beside its reference:
// a property function reading fields against the same formula written as a loop, and the
// system-matrix assembly (L, M, Gx, Gy, Gz, nodal volume and size) against Eigen's
// setFromTriplets on the same element contributions, with the bytes per node of the pattern
// and the nine matrices a domain keeps on it.
#include <benchmark/benchmark.h>

#include <Eigen/Sparse>
#include <cmath>
#include <memory>
#include <vector>

#include "flow/assembler.h"
#include "flow/convective.h"
#include "foundation/bitvec.h"
#include "input/fluidfunction.h"
#include "input/line.h"
#include "mesh/csr.h"
#include "mesh/elem.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

namespace {

// A structured mesh held in memory: nodes numbered in slot 0, one element set.
struct Grid {
  Plex<Node> nodes{1000, "Nodes"};
  Plex<Mesh> meshes{5, "Meshes"};
  std::vector<Node*> node;
  std::vector<const ReaVec*> coords;
  Mesh* set = nullptr;

  Node* Add(double x, double y, double z) {
    Node* nd = new Node(3);
    (*nd)(1) = x, (*nd)(2) = y, (*nd)(3) = z;
    nd->num[0] = int(node.size()) + 1;
    nodes.set_at(nd->num[0], nd);
    node.push_back(nd);
    coords.push_back(nd);
    return nd;
  }
  void Element(std::initializer_list<int> ids) {
    Elem* e = new Elem(set);
    int a = 0;
    for (int id : ids) (*e)(a++) = node[std::size_t(id)];
    e->NewNum(set->NOfElems() + 1);
    set->GiveElemPlex()->set_at(e->Num(), e);
  }
  // n x n nodes on the unit square, two triangles per cell.
  static std::unique_ptr<Grid> Triangles(int n) {
    auto g = std::make_unique<Grid>();
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) g->Add(double(i) / (n - 1), double(j) / (n - 1), 0);
    g->set = new Mesh(&g->nodes, 1000, 2, ElemType::Triangle, 3);
    for (int j = 0; j + 1 < n; ++j)
      for (int i = 0; i + 1 < n; ++i) {
        const int a = i + n * j;
        g->Element({a, a + 1, a + n + 1});
        g->Element({a, a + n + 1, a + n});
      }
    g->meshes.set_at(1, g->set);
    return g;
  }
  // n x n x n nodes on the unit cube, six tetrahedra per cell around its main diagonal.
  static std::unique_ptr<Grid> Tetrahedra(int n) {
    auto g = std::make_unique<Grid>();
    for (int k = 0; k < n; ++k)
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) g->Add(double(i) / (n - 1), double(j) / (n - 1), double(k) / (n - 1));
    g->set = new Mesh(&g->nodes, 1000, 3, ElemType::Tetrahedra, 4);
    auto id = [n](int i, int j, int k) { return i + n * (j + n * k); };
    for (int k = 0; k + 1 < n; ++k)
      for (int j = 0; j + 1 < n; ++j)
        for (int i = 0; i + 1 < n; ++i) {
          const int c[8] = {id(i, j, k),         id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                            id(i, j, k + 1),     id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
          // The six positively oriented tetrahedra 0-6 with the paths 1-2, 2-3, 3-7, 7-4, 4-5, 5-1.
          g->Element({c[0], c[1], c[2], c[6]});
          g->Element({c[0], c[2], c[3], c[6]});
          g->Element({c[0], c[3], c[7], c[6]});
          g->Element({c[0], c[7], c[4], c[6]});
          g->Element({c[0], c[4], c[5], c[6]});
          g->Element({c[0], c[5], c[1], c[6]});
        }
    g->meshes.set_at(1, g->set);
    return g;
  }
  ~Grid() {
    int i = 0;
    while (Elem* e = set->giveNextElm(i)) delete e;
    delete set;
    meshes.clear();
    for (Node* nd : node) delete nd;
    nodes.clear();
  }
};

// The domain's nine matrices on one pattern, and its nodal arrays.
struct DomainMatrices {
  std::unique_ptr<SparseMatrixStruct> pattern;
  std::vector<std::unique_ptr<SystemSparseMatrix>> general;  // A, momentum, Gx, Gy, Gz, C1, C2
  std::unique_ptr<SymmetricSparseMatrix> L, M;
  std::vector<double> lumped, inv, size, share;
  ElementTable table;
  explicit DomainMatrices(Grid& g) {
    pattern.reset(createSparseMatrixStruct(g.nodes, g.meshes, 0));
    for (int k = 0; k < 7; ++k) general.push_back(std::make_unique<SystemSparseMatrix>(pattern.get()));
    L = std::make_unique<SymmetricSparseMatrix>(pattern.get());
    M = std::make_unique<SymmetricSparseMatrix>(pattern.get());
    const std::size_t n = g.node.size();
    lumped.assign(n, 0), inv.assign(n, 0), size.assign(n, 0), share.assign(n, 0);
  }
  double BytesPerNode() const {
    const double n = double(lumped.size()), nnz = pattern->numnonzeros(), snnz = pattern->snnz();
    const double patternBytes = 4 * (2 * (n + 1) + nnz + snnz + nnz);  // rows, upper rows, columns, map
    return (patternBytes + 8 * (7 * nnz + 2 * snnz)) / n;
  }
  // What CalcSystemMatrixes does: clear, assemble, nodal volume, its inverse and the size.
  void Assemble(Mesh* set) {
    L->NullifyMatrix(), M->NullifyMatrix();
    for (int k = 2; k <= 4; ++k) general[std::size_t(k)]->NullifyMatrix();
    std::fill(lumped.begin(), lumped.end(), 0.0);
    std::fill(size.begin(), size.end(), 0.0);
    std::fill(share.begin(), share.end(), 0.0);
    SystemArrays out{pattern.get(), L->sval(0), M->sval(0), general[2]->val(0), general[3]->val(0),
                     general[4]->val(0), lumped.data(), size.data(), share.data()};
    // The set's element table is kept between assemblies, as the domain keeps it.
    if (!table.Fits(set, pattern.get())) table.Build(set, 0, pattern.get());
    table.FitBlocks();
    AssembleSystemSet(set, "Bench", table, out);
    for (std::size_t k = 0; k < lumped.size(); ++k) inv[k] = 1.0 / lumped[k], size[k] *= inv[k];
  }
};

// The same element contributions (closed forms) as triplets, then one setFromTriplets per matrix.
template <int N>
void EigenAssemble(Grid& g, std::vector<Eigen::Triplet<double>> (&t)[5], Eigen::SparseMatrix<double, Eigen::RowMajor> (&m)[5]) {
  for (auto& v : t) v.clear();
  const int dim = N - 1;
  int i = 0;
  while (Elem* e = g.set->giveNextElm(i)) {
    Node* const* nd = e->nodesArray();
    double J[3][3] = {}, inv[3][3] = {};
    const double* p0 = nd[0]->GivePointer();
    for (int r = 0; r < dim; ++r)
      for (int k = 0; k < dim; ++k) J[r][k] = nd[r + 1]->GivePointer()[k] - p0[k];
    double det, V;
    if (dim == 2) {
      det = J[0][0] * J[1][1] - J[0][1] * J[1][0];
      inv[0][0] = J[1][1] / det, inv[0][1] = -J[0][1] / det, inv[1][0] = -J[1][0] / det, inv[1][1] = J[0][0] / det;
      V = det / 2;
    } else {
      const double c00 = J[1][1] * J[2][2] - J[1][2] * J[2][1], c01 = J[1][2] * J[2][0] - J[1][0] * J[2][2],
                   c02 = J[1][0] * J[2][1] - J[1][1] * J[2][0];
      det = J[0][0] * c00 + J[0][1] * c01 + J[0][2] * c02;
      inv[0][0] = c00 / det, inv[1][0] = c01 / det, inv[2][0] = c02 / det;
      inv[0][1] = (J[0][2] * J[2][1] - J[0][1] * J[2][2]) / det, inv[0][2] = (J[0][1] * J[1][2] - J[0][2] * J[1][1]) / det;
      inv[1][1] = (J[0][0] * J[2][2] - J[0][2] * J[2][0]) / det, inv[1][2] = (J[0][2] * J[1][0] - J[0][0] * J[1][2]) / det;
      inv[2][1] = (J[0][1] * J[2][0] - J[0][0] * J[2][1]) / det, inv[2][2] = (J[0][0] * J[1][1] - J[0][1] * J[1][0]) / det;
      V = det / 6;
    }
    double B[3][N];
    for (int k = 0; k < dim; ++k) {
      double s = 0;
      for (int a = 1; a < N; ++a) B[k][a] = inv[k][a - 1], s += inv[k][a - 1];
      B[k][0] = -s;
    }
    const double w = V / N, mDiag = dim == 2 ? V / 6 : V / 10, mOff = dim == 2 ? V / 12 : V / 20;
    for (int a = 0; a < N; ++a)
      for (int b = 0; b < N; ++b) {
        const int r = nd[a]->num[0] - 1, c = nd[b]->num[0] - 1;
        double k = 0;
        for (int d = 0; d < dim; ++d) k += B[d][a] * B[d][b];
        t[0].emplace_back(r, c, V * k);
        t[1].emplace_back(r, c, a == b ? mDiag : mOff);
        for (int d = 0; d < dim; ++d) t[2 + d].emplace_back(r, c, w * B[d][b]);
      }
  }
  const int n = int(g.node.size());
  for (int k = 0; k < 2 + dim; ++k) {
    m[k].resize(n, n);
    m[k].setFromTriplets(t[k].begin(), t[k].end());
  }
}

std::unique_ptr<Grid>& TriangleGrid() {
  static std::unique_ptr<Grid> g = Grid::Triangles(1000);
  return g;
}
std::unique_ptr<Grid>& TetrahedronGrid() {
  static std::unique_ptr<Grid> g = Grid::Tetrahedra(100);
  return g;
}

void OlvuAssembly(benchmark::State& state, Grid& g) {
  DomainMatrices d(g);
  for (auto _ : state) {
    d.Assemble(g.set);
    benchmark::DoNotOptimize(d.lumped.data());
  }
  state.counters["nodes"] = double(g.node.size());
  state.counters["bytes_per_node"] = d.BytesPerNode();
}

template <int N>
void EigenAssembly(benchmark::State& state, Grid& g) {
  std::vector<Eigen::Triplet<double>> t[5];
  for (auto& v : t) v.reserve(std::size_t(g.set->NOfElems()) * N * N);
  Eigen::SparseMatrix<double, Eigen::RowMajor> m[5];
  for (auto _ : state) {
    EigenAssemble<N>(g, t, m);
    benchmark::DoNotOptimize(m[0].valuePtr());
  }
  state.counters["nodes"] = double(g.node.size());
}

void BM_Assembly_Triangles_Olvu(benchmark::State& s) { OlvuAssembly(s, *TriangleGrid()); }
void BM_Assembly_Triangles_EigenTriplets(benchmark::State& s) { EigenAssembly<3>(s, *TriangleGrid()); }
void BM_Assembly_Tetrahedra_Olvu(benchmark::State& s) { OlvuAssembly(s, *TetrahedronGrid()); }
void BM_Assembly_Tetrahedra_EigenTriplets(benchmark::State& s) { EigenAssembly<4>(s, *TetrahedronGrid()); }

BENCHMARK(BM_Assembly_Triangles_Olvu)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assembly_Triangles_EigenTriplets)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assembly_Tetrahedra_Olvu)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assembly_Tetrahedra_EigenTriplets)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- property function

constexpr int kNodes = 1000000;

// A domain of 10^6 nodes with a velocity and a temperature field, no matrices.
class FieldDomain : public FunctionDomain {
 public:
  ReaVec vx{kNodes}, tm{kNodes};
  std::vector<const ReaVec*> coords;
  std::vector<std::unique_ptr<ReaVec>> points;
  FieldDomain() {
    for (int k = 0; k < kNodes; ++k) {
      vx(unsigned(k + 1)) = 0.001 * (k % 1000);
      tm(unsigned(k + 1)) = 290 + 0.00002 * k;
    }
  }
  ReaVec* GiveVector(const char* name) override {
    if (std::string(name) == "Vx") return &vx;
    if (std::string(name) == "Tm") return &tm;
    return nullptr;
  }
  int GiveMaterialIndex(const char*) override { return -1; }
  const BitVec* MaterialNodes(int) override { return nullptr; }
  DomainView View() override {
    DomainView v;
    v.nodes = kNodes;
    return v;
  }
};

const char* const kViscosity = "0.001*exp(-0.02*(Tm-300)) + 0.0001*Vx*Vx";

void BM_PropertyFunction_Olvu(benchmark::State& state) {
  FieldDomain d;
  Line line(kViscosity, 1);
  FluidCompiler c(&d);
  FluidFunction f(c.compileFrom(line.FirstWord()), &d, 1.0, "Viscosity");
  ReaVec out(kNodes);
  f.isConstant(), f.isTemporal();
  for (auto _ : state) {
    f.fill(out);
    benchmark::DoNotOptimize(out.GivePointer());
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}

void BM_PropertyFunction_HandLoop(benchmark::State& state) {
  FieldDomain d;
  ReaVec out(kNodes);
  for (auto _ : state) {
    const double* t = d.tm.GivePointer();
    const double* u = d.vx.GivePointer();
    double* o = out.GivePointer();
    for (int k = 0; k < kNodes; ++k) o[k] = 0.001 * std::pow(2.718281828459045, -0.02 * (t[k] - 300)) + 0.0001 * u[k] * u[k];
    benchmark::DoNotOptimize(o);
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}

BENCHMARK(BM_PropertyFunction_Olvu)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PropertyFunction_HandLoop)->Unit(benchmark::kMillisecond);

}  // namespace
