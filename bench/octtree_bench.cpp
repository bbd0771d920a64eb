// Point octree at 10^4 random points: building it, and nearest-point queries against a
// brute-force scan and against a sorted-grid search of the same points.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "mesh/octtree.h"

namespace {

constexpr int kPoints = 10000;

struct Points {
  std::vector<ReaVec> pts, queries;
  Points() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0, 1);
    for (int i = 0; i < kPoints; ++i) pts.emplace_back(3, 0.0), pts.back()(1) = u(rng), pts.back()(2) = u(rng), pts.back()(3) = u(rng);
    for (int i = 0; i < 4096; ++i) queries.emplace_back(3, 0.0), queries.back()(1) = u(rng), queries.back()(2) = u(rng), queries.back()(3) = u(rng);
  }
};

const Points& Data() {
  static const Points p;
  return p;
}

/// Points sorted by the cell of a uniform grid (about two points a cell); a query searches
/// rings of cells outwards until the ring lies farther than the best point.
struct SortedGrid {
  int m;
  double h;
  std::vector<int> start;      // first sorted point of each cell, m^3 + 1 entries
  std::vector<double> xyz;     // sorted coordinates
  std::vector<int> index;      // original index of each sorted point

  explicit SortedGrid(const std::vector<ReaVec>& pts) {
    m = std::max(1, int(std::cbrt(pts.size() / 2.0)));
    h = 1.0 / m;
    const int nc = m * m * m;
    std::vector<int> cell(pts.size());
    start.assign(nc + 1, 0);
    for (size_t i = 0; i < pts.size(); ++i) ++start[(cell[i] = Cell(pts[i])) + 1];
    for (int c = 0; c < nc; ++c) start[c + 1] += start[c];
    std::vector<int> fill(start.begin(), start.end() - 1);
    xyz.resize(3 * pts.size());
    index.resize(pts.size());
    for (size_t i = 0; i < pts.size(); ++i) {
      const int at = fill[cell[i]]++;
      for (int k = 0; k < 3; ++k) xyz[3 * at + k] = pts[i][k];
      index[at] = int(i);
    }
  }
  int Coord(double v) const { return std::min(m - 1, std::max(0, int(v / h))); }
  int Cell(const ReaVec& p) const { return Coord(p[0]) + m * (Coord(p[1]) + m * Coord(p[2])); }
  int Nearest(const ReaVec& p) const {
    const int c[3] = {Coord(p[0]), Coord(p[1]), Coord(p[2])};
    double best = 1e300;
    int who = -1;
    for (int ring = 0; ring < m; ++ring) {
      const double reach = (ring - 1) * h;  // every unvisited cell is at least this far
      if (who >= 0 && ring > 0 && reach > 0 && reach * reach > best) break;
      for (int k = std::max(0, c[2] - ring); k <= std::min(m - 1, c[2] + ring); ++k)
        for (int j = std::max(0, c[1] - ring); j <= std::min(m - 1, c[1] + ring); ++j)
          for (int i = std::max(0, c[0] - ring); i <= std::min(m - 1, c[0] + ring); ++i) {
            if (std::max({std::abs(i - c[0]), std::abs(j - c[1]), std::abs(k - c[2])}) != ring) continue;
            const int cell = i + m * (j + m * k);
            for (int s = start[cell]; s < start[cell + 1]; ++s) {
              const double dx = xyz[3 * s] - p[0], dy = xyz[3 * s + 1] - p[1], dz = xyz[3 * s + 2] - p[2];
              const double d = dx * dx + dy * dy + dz * dz;
              if (d < best) best = d, who = index[s];
            }
          }
    }
    return who;
  }
};

void BM_OctTreeBuild(benchmark::State& state) {
  const Points& d = Data();
  std::vector<std::unique_ptr<ReaVecContainer>> holders;
  for (const ReaVec& p : d.pts) holders.push_back(std::make_unique<ReaVecContainer>(const_cast<ReaVec*>(&p)));
  for (auto _ : state) {
    OctTree t(0, 1, 0, 1, 0, 1, nullptr);
    for (auto& h : holders) t.EnterPoint(h.get(), 1);
    benchmark::DoNotOptimize(t.count);
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_OctTreeBuild)->Unit(benchmark::kMicrosecond);

void BM_NearestOctTree(benchmark::State& state) {
  const Points& d = Data();
  std::vector<std::unique_ptr<ReaVecContainer>> holders;
  OctTree t(0, 1, 0, 1, 0, 1, nullptr);
  for (const ReaVec& p : d.pts) {
    holders.push_back(std::make_unique<ReaVecContainer>(const_cast<ReaVec*>(&p)));
    t.EnterPoint(holders.back().get(), 1);
  }
  const int nq = static_cast<int>(state.range(0));
  for (auto _ : state) {
    double d2 = 0;
    for (int q = 0; q < nq; ++q) benchmark::DoNotOptimize(t.GiveVeryClose(d.queries[q & 4095], d2, 0));
  }
  state.SetItemsProcessed(state.iterations() * nq);
}
BENCHMARK(BM_NearestOctTree)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_NearestSortedGrid(benchmark::State& state) {
  const Points& d = Data();
  SortedGrid g(d.pts);
  const int nq = static_cast<int>(state.range(0));
  for (auto _ : state)
    for (int q = 0; q < nq; ++q) benchmark::DoNotOptimize(g.Nearest(d.queries[q & 4095]));
  state.SetItemsProcessed(state.iterations() * nq);
}
BENCHMARK(BM_NearestSortedGrid)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_NearestBruteForce(benchmark::State& state) {
  const Points& d = Data();
  std::vector<double> xyz;
  for (const ReaVec& p : d.pts) xyz.insert(xyz.end(), {p[0], p[1], p[2]});
  const int nq = static_cast<int>(state.range(0));
  for (auto _ : state)
    for (int q = 0; q < nq; ++q) {
      const ReaVec& p = d.queries[q & 4095];
      double best = 1e300;
      int who = -1;
      for (int i = 0; i < kPoints; ++i) {
        const double dx = xyz[3 * i] - p[0], dy = xyz[3 * i + 1] - p[1], dz = xyz[3 * i + 2] - p[2];
        const double dd = dx * dx + dy * dy + dz * dz;
        if (dd < best) best = dd, who = i;
      }
      benchmark::DoNotOptimize(who);
    }
  state.SetItemsProcessed(state.iterations() * nq);
}
// The scan is timed on 10^4 queries; its rate per query compares with the 10^6-query runs.
BENCHMARK(BM_NearestBruteForce)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
