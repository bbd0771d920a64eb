// Cost of the pointer table: random lookups, index-order lookups and full
// iteration with next, against std::vector and std::map of 10^6 entries.
#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <vector>

#include "foundation/plex.h"

namespace {

constexpr int kEntries = 1000000;
constexpr int kProbes = 10000;  // random lookups per iteration

// The objects the tables point to, and a fixed sequence of random 1-based indices.
struct Fixture {
  std::vector<int> objects = std::vector<int>(kEntries);
  std::vector<int> probes;
  Fixture() {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> d(1, kEntries);
    for (int k = 0; k < kProbes; ++k) probes.push_back(d(rng));
    for (int k = 0; k < kEntries; ++k) objects[k] = k;
  }
};

Fixture& Data() {
  static Fixture f;
  return f;
}

Plex<int>& FilledPlex(int chunk) {
  static std::map<int, Plex<int>*> tables;
  Plex<int>*& t = tables[chunk];
  if (!t) {
    t = new Plex<int>(chunk, "bench");
    for (int i = 1; i <= kEntries; ++i) t->set_at(i, &Data().objects[i - 1]);
  }
  return *t;
}

std::vector<int*>& FilledVector() {
  static std::vector<int*> v = [] {
    std::vector<int*> r(kEntries);
    for (int i = 0; i < kEntries; ++i) r[i] = &Data().objects[i];
    return r;
  }();
  return v;
}

std::map<int, int*>& FilledMap() {
  static std::map<int, int*> m = [] {
    std::map<int, int*> r;
    for (int i = 1; i <= kEntries; ++i) r.emplace_hint(r.end(), i, &Data().objects[i - 1]);
    return r;
  }();
  return m;
}

void BM_PlexRandomGet(benchmark::State& state) {
  Plex<int>& t = FilledPlex(static_cast<int>(state.range(0)));
  const std::vector<int>& probes = Data().probes;
  for (auto _ : state) {
    long sum = 0;
    for (int i : probes) sum += *t.get_at(i);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kProbes);
}
BENCHMARK(BM_PlexRandomGet)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_VectorRandomGet(benchmark::State& state) {
  const std::vector<int*>& v = FilledVector();
  const std::vector<int>& probes = Data().probes;
  for (auto _ : state) {
    long sum = 0;
    for (int i : probes) sum += *v[i - 1];
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kProbes);
}
BENCHMARK(BM_VectorRandomGet)->Unit(benchmark::kMicrosecond);

void BM_MapRandomGet(benchmark::State& state) {
  const std::map<int, int*>& m = FilledMap();
  const std::vector<int>& probes = Data().probes;
  for (auto _ : state) {
    long sum = 0;
    for (int i : probes) sum += *m.find(i)->second;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kProbes);
}
BENCHMARK(BM_MapRandomGet)->Unit(benchmark::kMicrosecond);

void BM_PlexOrderedGet(benchmark::State& state) {
  Plex<int>& t = FilledPlex(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    long sum = 0;
    for (int i = 1; i <= kEntries; ++i) sum += *t.get_at(i);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_PlexOrderedGet)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_PlexNext(benchmark::State& state) {
  Plex<int>& t = FilledPlex(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    long sum = 0;
    int i = 0;
    while (int* p = t.next(i)) sum += *p;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_PlexNext)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_VectorIterate(benchmark::State& state) {
  const std::vector<int*>& v = FilledVector();
  for (auto _ : state) {
    long sum = 0;
    for (int* p : v) sum += *p;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_VectorIterate)->Unit(benchmark::kMicrosecond);

void BM_MapIterate(benchmark::State& state) {
  const std::map<int, int*>& m = FilledMap();
  for (auto _ : state) {
    long sum = 0;
    for (const auto& e : m) sum += *e.second;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_MapIterate)->Unit(benchmark::kMicrosecond);

}  // namespace
