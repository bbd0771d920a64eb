// t += a * b over 10^6 entries: ReaVec::add_product against a plain loop over std::vector.
#include <benchmark/benchmark.h>

#include <vector>

#include "foundation/reavec.h"

namespace {

constexpr unsigned kN = 1000000;

void BM_ReaVecAddProduct(benchmark::State& state) {
  ReaVec t(kN, 0.0), a(kN, 1.0001), b(kN, 0.9999);
  for (auto _ : state) {
    t.add_product(a, b);
    benchmark::DoNotOptimize(t.GivePointer());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kN * 4 * sizeof(double));
}
BENCHMARK(BM_ReaVecAddProduct);

void BM_StdVectorAddProduct(benchmark::State& state) {
  std::vector<double> t(kN, 0.0), a(kN, 1.0001), b(kN, 0.9999);
  for (auto _ : state) {
    for (unsigned i = 0; i < kN; i++) t[i] += a[i] * b[i];
    benchmark::DoNotOptimize(t.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kN * 4 * sizeof(double));
}
BENCHMARK(BM_StdVectorAddProduct);

}  // namespace
