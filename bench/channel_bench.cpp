// The fully developed turbulent channel run by the program itself to its steady state, per model:
// between wall-function walls (first node at y+ 30) on 61 nodes across at Re_tau 395 and 2000,
// c_f over Dean's 0.073 Re_m^-1/4 at the run's Re_m, the von Karman slope of u+ against ln y+
// over 50 <= y+ <= 400 and the largest deviation of u+ from ln y+ / 0.41 + 5.2 there; for the
// low-Reynolds and two-layer models, wall-resolved on 121 nodes across at Re_tau 395, the figures
// against the DNS (BM_ResolvedChannel). Each with the steps to the steady state, the wall time
// and the peak memory of the run. The reference beside them: the same channel without a
// turbulence model, a fixed 1000 steps, for the cost of a step without the model. Each run is one
// process (OLVU_THREADS=1), timed from start to exit. With OLVU_BENCH_DATA set to a folder, each
// case only writes its data file there (named after the case), for runs of other builds of the
// program on the same cases.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/programrun.h"
#include "tests/model/wallchannel.h"

namespace {

using olvu_bench::OnlyWritten;
using olvu_bench::Run;
using olvu_bench::RunCase;
using olvu_bench::RunProgram;

// The models of a log layer, then Baldwin-Lomax (the initial eddy viscosity, unchanged) and the
// LES model of Smagorinsky (no steady state on this mesh: its row shows the last step).
constexpr const char* kModels[] = {"Solve_K_Epsilon",        "Solve_K_Omega",        "Solve_K_Omega_SST",
                                   "Solve_K_KT",             "Solve_Spalart_Allmaras", "Solve_Kinetic_Energy",
                                   "Solve_Mixing_Length",    "Solve_Baldwin_Lomax",  "Solve_Smagorinsky"};
constexpr int kModelCount = int(sizeof(kModels) / sizeof(kModels[0]));

// Args: model (index into kModels), Re_tau, time increment in tenths of a second.
void BM_Channel(benchmark::State& state) {
  olvu_test::WallFunctionChannel t(kModels[state.range(0)], double(state.range(1)), 30,
                                   std::to_string(0.1 * double(state.range(2))));
  t.c.steps = 8000;
  const std::string name = "channel_" + std::to_string(state.range(0)) + "_" + std::to_string(state.range(1)) + "_" +
                           std::to_string(state.range(2));
  Run r;
  if (!RunCase(state, name, t.c.Text(), r)) return;
  const olvu_test::ChannelFigures g = t.Measure(r.res, r.forces, r.out);
  state.SetLabel(std::string(kModels[state.range(0)]) + (g.steadyStep ? "" : ", not steady"));
  state.counters["cf/Dean"] = g.cfDean;
  state.counters["kappa"] = g.kappa;
  state.counters["u+dev"] = g.uplusDev;
  state.counters["balance"] = g.balance;
  state.counters["steps"] = g.steadyStep;
  state.counters["peakMB"] = double(r.peakKb) / 1024;
}

constexpr const char* kResolvedModels[] = {"Solve_K_Epsilon_LS", "Solve_K_Epsilon_LB", "Solve_K_Epsilon_2L",
                                           "Solve_Kinetic_Energy_2L"};

// The wall-resolved channel at Re_tau 395 (first row 1 wall unit off the no-slip walls, `half`
// rows per half) against the DNS: c_f over 2 / 17.5^2, U_b+, the largest deviation of u+ from the
// law of the wall over 1 <= y+ <= 300 and where it is, steps of 2 s to the steady state.
// Args: model (index into kResolvedModels), rows per half.
void BM_ResolvedChannel(benchmark::State& state) {
  olvu_test::WallResolvedChannel t(kResolvedModels[state.range(0)], 395, int(state.range(1)), "2");
  t.c.steps = 8000;
  const std::string name = "resolved_" + std::to_string(state.range(0)) + "_" + std::to_string(state.range(1));
  Run r;
  if (!RunCase(state, name, t.c.Text(), r)) return;
  const olvu_test::ResolvedFigures g = t.Measure(r.res, r.forces, r.out);
  state.SetLabel(std::string(kResolvedModels[state.range(0)]) + (g.steadyStep ? "" : ", not steady"));
  state.counters["cf/DNS"] = g.cfRatio;
  state.counters["Ub+"] = g.ubPlus;
  state.counters["u+dev"] = g.uplusDev;
  state.counters["at y+"] = g.worstYplus;
  state.counters["balance"] = g.balance;
  state.counters["steps"] = g.steadyStep;
  state.counters["peakMB"] = double(r.peakKb) / 1024;
}

// The same channel with no turbulence model (laminar, nu as at Re_tau 2000), 1000 steps of 0.5 s.
void BM_ChannelWithoutModel(benchmark::State& state) {
  olvu_test::WallFunctionChannel t("", 2000, 30, "0.5");
  t.c.steps = 1000;
  t.c.fluid = "";
  if (OnlyWritten(state, "channel_laminar", t.c.Text())) return;
  Run r;
  for (auto _ : state) r = RunProgram(t.c.Text());
  if (r.status != 0) state.SkipWithError("the run failed");
  state.counters["steps"] = 1000;
  state.counters["peakMB"] = double(r.peakKb) / 1024;
}

void ChannelArgs(benchmark::internal::Benchmark* b) {
  for (int retau : {395, 2000})
    for (int m = 0; m < kModelCount; ++m) b->Args({m, retau, 5});
  b->Args({0, 2000, 20});
}

BENCHMARK(BM_ChannelWithoutModel)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Channel)->Apply(ChannelArgs)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ResolvedChannel)
    ->ArgsProduct({{0, 1, 2, 3}, {60}})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
