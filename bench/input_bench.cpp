// Bulk values read after a card (Input::GetAsciiReaVec) against a bare
// std::from_chars scan of the same 50 MB text: the scan is the limit.
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "foundation/reavec.h"
#include "input/input.h"

namespace {

/// The data file: one card "Values len N;" and N values written as a mesh writer does.
struct BulkFile {
  std::string path;
  std::string text;  // the values, as in the file
  int count = 0;

  BulkFile() {
    char name[] = "/tmp/olvu_input_bench_XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    path = name;
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> value(-1e3, 1e3);
    char buf[64];
    text.reserve(52u << 20);
    while (text.size() < (50u << 20)) {
      int n = std::snprintf(buf, sizeof buf, "%.9e", value(rng));
      text.append(buf, n);
      text += ++count % 3 ? ' ' : '\n';
    }
    std::ofstream f(path, std::ios::binary);
    f << "Values len " << count << ";\n" << text << "End;\n";
  }
  ~BulkFile() { std::remove(path.c_str()); }
};

const BulkFile& Data() {
  static BulkFile data;
  return data;
}

void BM_GetAsciiReaVec(benchmark::State& state) {
  const BulkFile& d = Data();
  double check = 0;
  for (auto _ : state) {
    Input in(d.path.c_str());
    in.ReadCard("Values");
    ReaVec v;
    in.GetAsciiReaVec(v, 1);
    check += v(v.length());
    in.ReadCard("End");
  }
  benchmark::DoNotOptimize(check);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.text.size()));
}

void BM_BareFromCharsScan(benchmark::State& state) {
  const BulkFile& d = Data();
  std::vector<double> v(d.count);
  for (auto _ : state) {
    const char* p = d.text.data();
    const char* e = p + d.text.size();
    for (int k = 0; k < d.count; ++k) {
      while (*p == ' ' || *p == '\n') ++p;
      p = std::from_chars(p, e, v[k]).ptr;
    }
    benchmark::DoNotOptimize(v.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.text.size()));
}

// One card of n words each followed by a number: the tokenizer must cut it in
// time proportional to its length (the complexity fit reads O(N)).
void BM_LongCard(benchmark::State& state) {
  const int n = int(state.range(0));
  char name[] = "/tmp/olvu_card_bench_XXXXXX";
  int fd = mkstemp(name);
  if (fd < 0) std::abort();
  close(fd);
  {
    std::ofstream f(name, std::ios::binary);
    f << "Big";
    for (int i = 0; i < n; ++i) f << " w" << i << " " << i;
    f << ";\nEnd;\n";
  }
  int words = 0;
  for (auto _ : state) {
    Input in(name);
    in.ReadLine();
    words += in.NWords();
    in.JumpLine();
  }
  benchmark::DoNotOptimize(words);
  std::remove(name);
  state.SetComplexityN(n);
}

}  // namespace

BENCHMARK(BM_LongCard)->RangeMultiplier(4)->Range(1 << 12, 1 << 18)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareFromCharsScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetAsciiReaVec)->Unit(benchmark::kMillisecond);
