// Mesh reading speed (a 2-D grid of 10^6 nodes and about 2*10^6 triangles through the
// node-block and element-list readers, from a file and from memory with orderly or scattered
// numbers) and the cost of the integration data of every order.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/matrix.h"
#include "mesh/elem.h"
#include "mesh/mesh.h"
#include "mesh/or_gauss.h"

namespace {

constexpr int kSide = 1000;  // nodes per side: 10^6 nodes, 2 * 999^2 triangles

/// Writes the grid once as a node block followed by a triangle set; returns its path.
const std::string& GridFile() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = std::string(dir ? dir : "/tmp") + "/olvu_mesh_bench_grid.dat";
    std::FILE* f = std::fopen(p.c_str(), "w");
    if (!f) return std::string();
    const double h = 1.0 / (kSide - 1);
    for (int j = 0; j < kSide; ++j)
      for (int i = 0; i < kSide; ++i) std::fprintf(f, "%8d %14.8g %14.8g %4.1f\n", j * kSide + i + 1, i * h, j * h, 0.0);
    std::fprintf(f, "FluidElmSet 1 ElmType Triangle NNode 3;\nElements\n");
    int e = 0;
    for (int j = 0; j + 1 < kSide; ++j)
      for (int i = 0; i + 1 < kSide; ++i) {
        const int a = j * kSide + i + 1, b = a + 1, c = a + kSide, d = c + 1;
        std::fprintf(f, "%8d %8d %8d %8d\n", ++e, a, b, d);
        std::fprintf(f, "%8d %8d %8d %8d\n", ++e, a, d, c);
      }
    std::fprintf(f, "End Elements\n");
    std::fclose(f);
    return p;
  }();
  return path;
}

/// Reads a node block and a triangle set from `in`, adding their counts; frees them unless timed.
void ReadOnce(benchmark::State& state, std::istream& in, long long& elems) {
  Plex<Node> all(100, "All the Nodes of the geometry");
  Mesh mesh(100, 100, 3, Triangle, 3);
  ReadNodesFromAscii(in, &all, 1.0, 3);
  mesh.ReadElemsFromAscii(in, &all);
  elems += mesh.NOfElems();
  state.PauseTiming();
  int i = 0;
  while (Elem* e = mesh.giveNextElm(i)) delete e;
  while (Node* nd = all.next(i)) delete nd;
  state.ResumeTiming();
}

void BM_ReadGridMesh(benchmark::State& state) {
  const std::string& path = GridFile();
  if (path.empty()) {
    state.SkipWithError("cannot write the grid file");
    return;
  }
  long long bytes = 0, elems = 0;
  for (auto _ : state) {
    std::ifstream in(path);
    ReadOnce(state, in, elems);
    bytes += static_cast<long long>(in.tellg());
  }
  state.SetBytesProcessed(bytes);
  state.counters["elements"] = benchmark::Counter(static_cast<double>(elems), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadGridMesh)->Unit(benchmark::kMillisecond)->Iterations(3);

/// The grid as text in memory; range(0) bit 0 shuffles which grid point each node number
/// lies at (elements then refer to nodes all over the table), bit 1 the element numbers.
std::string GridText(int shuffle) {
  const int nn = kSide * kSide, ne = 2 * (kSide - 1) * (kSide - 1);
  std::vector<int> at(nn), en(ne);  // at[grid point] = node number, en[k] = number of element k
  std::iota(at.begin(), at.end(), 1);
  std::iota(en.begin(), en.end(), 1);
  std::mt19937 rng(12345);
  if (shuffle & 1) std::shuffle(at.begin(), at.end(), rng);
  if (shuffle & 2) std::shuffle(en.begin(), en.end(), rng);
  std::vector<int> point(nn);  // point[node number - 1] = grid point
  for (int g = 0; g < nn; ++g) point[at[g] - 1] = g;
  std::string s;
  s.reserve(80LL * nn);
  char line[96];
  const double h = 1.0 / (kSide - 1);
  for (int k = 0; k < nn; ++k) {
    const int g = point[k];
    s.append(line, std::snprintf(line, sizeof line, "%8d %14.8g %14.8g %4.1f\n", k + 1, (g % kSide) * h, (g / kSide) * h, 0.0));
  }
  s += "FluidElmSet 1 ElmType Triangle NNode 3;\nElements\n";
  int e = 0;
  for (int j = 0; j + 1 < kSide; ++j)
    for (int i = 0; i + 1 < kSide; ++i) {
      const int a = at[j * kSide + i], b = at[j * kSide + i + 1], c = at[(j + 1) * kSide + i], d = at[(j + 1) * kSide + i + 1];
      s.append(line, std::snprintf(line, sizeof line, "%8d %8d %8d %8d\n", en[e++], a, b, d));
      s.append(line, std::snprintf(line, sizeof line, "%8d %8d %8d %8d\n", en[e++], a, d, c));
    }
  s += "End Elements\n";
  return s;
}

/// The same reading from memory, so the stream's own costs do not count; orderly or shuffled numbers.
void BM_ReadGridMeshFromMemory(benchmark::State& state) {
  const std::string text = GridText(static_cast<int>(state.range(0)));
  long long elems = 0;
  for (auto _ : state) {
    std::istringstream in(text);
    ReadOnce(state, in, elems);
  }
  state.SetBytesProcessed(static_cast<long long>(text.size()) * state.iterations());
  state.counters["elements"] = benchmark::Counter(static_cast<double>(elems), benchmark::Counter::kIsRate);
  static const char* const labels[4] = {"ordered", "shuffled nodes", "shuffled elements", "shuffled nodes and elements"};
  state.SetLabel(labels[state.range(0)]);
}
BENCHMARK(BM_ReadGridMeshFromMemory)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(3);

/// Integration data of one element order at the callers' order 2, over and over.
void BM_IntegrationData(benchmark::State& state) {
  const ElemOrder eo = static_cast<ElemOrder>(state.range(0));
  Matrix N[kMaxGaussPoints], dN[kMaxGaussPoints];
  double w[kMaxGaussPoints];
  long long points = 0;
  for (auto _ : state) {
    const int n = Give_Integration_Data(eo, 2, N, dN, w);
    benchmark::DoNotOptimize(N[n - 1].data);
    benchmark::DoNotOptimize(dN[n - 1].data);
    benchmark::ClobberMemory();
    points += n;
  }
  state.counters["points"] = benchmark::Counter(static_cast<double>(points), benchmark::Counter::kIsRate);
  state.SetLabel(std::to_string(ShapeNodeCount(eo)) + " nodes");
}
BENCHMARK(BM_IntegrationData)->DenseRange(1, 16);

}  // namespace
