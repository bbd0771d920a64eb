// The VELOCITY and PRESSURE blocks of 10^6 nodes: the result-block writer against a bare
// std::to_chars loop writing the same text, and against formatted stream insertion.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <ostream>
#include <streambuf>
#include <vector>

#include "domain/resultblock.h"

namespace {

constexpr int kN = 1000000;

// A stream buffer that counts and drops what it is given.
class CountingBuf : public std::streambuf {
 public:
  long long bytes = 0;

 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override {
    bytes += n;
    return n;
  }
  int_type overflow(int_type c) override {
    ++bytes;
    return c;
  }
};

struct Fields {
  std::vector<double> vx, vy, vz, p;
  Fields() : vx(kN), vy(kN), vz(kN), p(kN) {
    for (int i = 0; i < kN; ++i) {
      const double x = i * 1e-6;
      vx[i] = std::sin(7 * x) * 1.37;
      vy[i] = std::cos(3 * x) * 0.021;
      vz[i] = i % 5 == 0 ? 0.0 : -x * 1e-5;
      p[i] = 101325 + 1000 * x;
    }
  }
};

const Fields& Data() {
  static const Fields f;
  return f;
}

void BM_ResultBlockWriter(benchmark::State& state) {
  const Fields& f = Data();
  CountingBuf buf;
  std::ostream out(&buf);
  for (auto _ : state) {
    {
      ResultBlock b(out, "VELOCITY", "QUELMA", 0.2, ResultKind::Vector, "\"Vx\",\"Vy\",\"Vz\",\"|V|\"");
      for (int i = 0; i < kN; ++i) b.Write(i + 1, f.vx[i], f.vy[i], f.vz[i]);
    }
    ResultBlock b(out, "PRESSURE", "QUELMA", 0.2, ResultKind::Scalar);
    for (int i = 0; i < kN; ++i) b.Write(i + 1, f.p[i]);
  }
  state.SetBytesProcessed(buf.bytes);
}
BENCHMARK(BM_ResultBlockWriter)->Unit(benchmark::kMillisecond);

// The same node lines with nothing but std::to_chars into a buffer handed on in large pieces.
void BM_BareToChars(benchmark::State& state) {
  const Fields& f = Data();
  CountingBuf buf;
  std::ostream out(&buf);
  std::vector<char> text(1 << 16);
  for (auto _ : state) {
    char* p = text.data();
    char* const end = text.data() + text.size();
    auto flush = [&] {
      out.write(text.data(), p - text.data());
      p = text.data();
    };
    for (int i = 0; i < kN; ++i) {
      if (end - p < 256) flush();
      *p++ = '\t';
      p = std::to_chars(p, end, i + 1).ptr;
      for (double v : {f.vx[i], f.vy[i], f.vz[i]}) {
        *p++ = '\t';
        p = std::to_chars(p, end, v, std::chars_format::general, 6).ptr;
      }
      *p++ = '\n';
    }
    for (int i = 0; i < kN; ++i) {
      if (end - p < 256) flush();
      *p++ = '\t';
      p = std::to_chars(p, end, i + 1).ptr;
      *p++ = '\t';
      p = std::to_chars(p, end, f.p[i], std::chars_format::general, 6).ptr;
      *p++ = '\n';
    }
    flush();
  }
  state.SetBytesProcessed(buf.bytes);
}
BENCHMARK(BM_BareToChars)->Unit(benchmark::kMillisecond);

// Formatted insertion, one value at a time, as a stream writes by default.
void BM_StreamInsertion(benchmark::State& state) {
  const Fields& f = Data();
  CountingBuf buf;
  std::ostream out(&buf);
  for (auto _ : state) {
    for (int i = 0; i < kN; ++i) out << "\t" << i + 1 << "\t" << f.vx[i] << "\t" << f.vy[i] << "\t" << f.vz[i] << "\n";
    for (int i = 0; i < kN; ++i) out << "\t" << i + 1 << "\t" << f.p[i] << "\n";
  }
  state.SetBytesProcessed(buf.bytes);
}
BENCHMARK(BM_StreamInsertion)->Unit(benchmark::kMillisecond);

}  // namespace
