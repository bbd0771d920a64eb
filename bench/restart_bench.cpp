// Restart entries of 10^6 nodes: the text writer and reader the fluid domain's restart block uses,
// beside a bare std::to_chars / std::from_chars loop over the same values in the same layout; both
// writers write to a file.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/reavec.h"
#include "input/input.h"

namespace {

constexpr unsigned kNodes = 1000000;
// Digits after the point of the restart block's values (17 significant: each reads back exactly),
// and the bytes of one written non-negative value: two blanks, the 18 characters of the mantissa,
// the exponent "E+dd" and the blank after it.
constexpr int kDigits = 16;
constexpr std::int64_t kBytes = 25;

ReaVec Values() {
  ReaVec v(kNodes);
  for (unsigned i = 1; i <= kNodes; ++i) v(i) = std::sin(0.001 * i) * std::pow(10.0, int(i % 7) - 3);
  return v;
}

const std::string& RestartFile() {
  static const std::string path = [] {
    const std::string p = "/tmp/olvu_restart_bench.rst";
    std::ofstream out(p);
    out << "Fluid;\n\t";
    Values().WriteAscii(out, "_VeltX_", kDigits);
    out << "EndFluid;\n";
    return p;
  }();
  return path;
}

void BM_RestartWrite_Olvu(benchmark::State& state) {
  const ReaVec v = Values();
  for (auto _ : state) {
    std::ofstream out("/tmp/olvu_restart_bench_write.rst");
    out << "\t";
    v.WriteAscii(out, "_VeltX_", kDigits);
    benchmark::DoNotOptimize(out.tellp());
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t(kNodes) * kBytes);
}

void BM_RestartWrite_ToChars(benchmark::State& state) {
  const ReaVec v = Values();
  std::string buf(std::size_t(kNodes) * 28 + 64, ' ');
  for (auto _ : state) {
    char* p = buf.data();
    char* end = buf.data() + buf.size();
    for (unsigned i = 0; i < kNodes; ++i) {
      const double x = v[i];
      if (!(x < 0)) *p++ = ' ';
      p = std::to_chars(p, end, x, std::chars_format::scientific, kDigits).ptr;
      *p++ = ' ';
    }
    std::ofstream out("/tmp/olvu_restart_bench_write.rst");
    out.write(buf.data(), p - buf.data());
    benchmark::DoNotOptimize(p);
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t(kNodes) * kBytes);
}

void BM_RestartRead_Olvu(benchmark::State& state) {
  const std::string& path = RestartFile();
  ReaVec v(kNodes, 0.0);
  for (auto _ : state) {
    Input in(path.c_str());
    in.ReadCard("Fluid");
    in.ReadLine();
    in.GetAsciiReaVec(v, -1);
    benchmark::DoNotOptimize(v.GivePointer());
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t(kNodes) * kBytes);
}

void BM_RestartRead_FromChars(benchmark::State& state) {
  std::ifstream in(RestartFile());
  std::stringstream s;
  s << in.rdbuf();
  const std::string text = s.str();
  const char* first = text.c_str() + text.find(";\n", text.find("len")) + 2;
  std::vector<double> v(kNodes);
  for (auto _ : state) {
    const char* p = first;
    const char* end = text.c_str() + text.size();
    for (unsigned i = 0; i < kNodes; ++i) {
      while (*p == ' ' || *p == '\n') ++p;
      p = std::from_chars(p, end, v[i]).ptr;
    }
    benchmark::DoNotOptimize(v.data());
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t(kNodes) * kBytes);
}

BENCHMARK(BM_RestartWrite_Olvu)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RestartWrite_ToChars)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RestartRead_Olvu)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RestartRead_FromChars)->Unit(benchmark::kMillisecond);

}  // namespace
