// Evaluation of typical functions of time, 10^6 evaluations per iteration
// with t (and step) changing, side by side with muParser on the same
// expressions with bound variables.
#include <benchmark/benchmark.h>
#include <muParser.h>

#include <memory>

#include "input/compiler.h"
#include "input/function.h"
#include "input/line.h"

namespace {

constexpr int kEvaluations = 1000000;

const char* const kSine = "1.5*sin(pi*t/8)";
const char* const kSineMu = "1.5*sin(_pi*t/8)";
const char* const kRamp = "if (step<10) then 0.01*step else 0.1 endif";
const char* const kRampMu = "step<10 ? 0.01*step : 0.1";
const char* const kTable = "Interpolate(#0 0 1 0.5 2 0.8 3 1.2 4 1.5 5 1.4 6 1.1 7 0.9 8 0.6 9 0.2#t)";

// The same table for muParser, as a callback (it has no table function of its own).
double TableLookup(double v) {
  static const double xy[] = {0, 0, 1, 0.5, 2, 0.8, 3, 1.2, 4, 1.5, 5, 1.4, 6, 1.1, 7, 0.9, 8, 0.6, 9, 0.2};
  const int k = 10;
  if (v <= xy[0]) return xy[1];
  if (v >= xy[2 * (k - 1)]) return xy[2 * k - 1];
  for (int i = 1; i < k; ++i)
    if (v <= xy[2 * i]) return xy[2 * i - 1] + (xy[2 * i + 1] - xy[2 * i - 1]) * (v - xy[2 * i - 2]) / (xy[2 * i] - xy[2 * i - 2]);
  return 0;
}

std::unique_ptr<Function> Compile(const char* text) {
  Line line(text, 1);
  Compiler c;
  return std::make_unique<Function>(c.compileFrom(line.FirstWord()));
}

void RunOlvu(benchmark::State& state, const char* text) {
  auto f = Compile(text);
  for (auto _ : state) {
    double sum = 0;
    for (int i = 0; i < kEvaluations; ++i) sum += f->evaluate(i * 1e-5, 1, 1e-5, i % 20, nullptr);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kEvaluations);
}

void RunMu(benchmark::State& state, const char* text) {
  double t = 0, step = 0;
  mu::Parser p;
  p.DefineVar("t", &t);
  p.DefineVar("step", &step);
  p.DefineFun("interp", TableLookup);
  p.SetExpr(text);
  for (auto _ : state) {
    double sum = 0;
    for (int i = 0; i < kEvaluations; ++i) {
      t = i * 1e-5;
      step = i % 20;
      sum += p.Eval();
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kEvaluations);
}

void BM_Olvu_Sine(benchmark::State& s) { RunOlvu(s, kSine); }
void BM_MuParser_Sine(benchmark::State& s) { RunMu(s, kSineMu); }
void BM_Olvu_Ramp(benchmark::State& s) { RunOlvu(s, kRamp); }
void BM_MuParser_Ramp(benchmark::State& s) { RunMu(s, kRampMu); }
void BM_Olvu_Table(benchmark::State& s) { RunOlvu(s, kTable); }
void BM_MuParser_Table(benchmark::State& s) { RunMu(s, "interp(t)"); }

}  // namespace

BENCHMARK(BM_Olvu_Sine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MuParser_Sine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Olvu_Ramp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MuParser_Ramp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Olvu_Table)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MuParser_Table)->Unit(benchmark::kMillisecond);
