// Wall distance over a structured hexahedron grid whose floor is the wall, at about 10^5 and
// 10^6 nodes; the front's cost should grow like n log n.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "mesh/csr.h"
#include "mesh/walldistance.h"
#include "tests/mesh/gridmesh.h"

namespace {

/// A cube grid of side n cells with its floor as wall and its node pattern.
struct Case {
  olvu_test::Grid g;
  Plex<Mesh> volume{5, "Fluid"};
  Mesh* floor;
  std::unique_ptr<SparseMatrixStruct> graph;
  IntVec conv;

  explicit Case(int n) : g(n, n, n, 1.0 / n) {
    volume.append(g.tm.Add(Hexahedra, 8, g.Hexes()));
    std::vector<std::vector<int>> f;
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) f.push_back({g.N(i, j, 0), g.N(i + 1, j, 0), g.N(i + 1, j + 1, 0), g.N(i, j + 1, 0)});
    floor = g.tm.Add(Quadrilateral, 4, f);
    graph.reset(createSparseMatrixStruct(g.tm.nodes, volume, 0));
    conv = IntVec(g.tm.nodes.count, 0);
    for (int e = 0; e < g.tm.nodes.count; ++e) conv[e] = e + 1;
  }
  ~Case() { volume.clear(); }
};

void BM_WallDistance(benchmark::State& state) {
  Case c(static_cast<int>(state.range(0)));
  ReaVec d(c.g.tm.nodes.count, 0.0);
  const std::vector<Mesh*> walls{c.floor};
  for (auto _ : state) {
    std::unique_ptr<Plex<Node>> nearest(DistanceField(&c.g.tm.nodes, walls, c.graph.get(), c.conv, d, 0));
    benchmark::DoNotOptimize(nearest.get());
  }
  state.counters["nodes"] = c.g.tm.nodes.count;
  state.counters["ns_per_node"] =
      benchmark::Counter(double(c.g.tm.nodes.count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WallDistance)->Arg(46)->Arg(99)->Unit(benchmark::kMillisecond);

}  // namespace
