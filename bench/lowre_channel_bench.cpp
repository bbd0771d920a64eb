// The Launder-Sharma model's wall-resolved channel at Re_tau 395 run by the program itself to its
// steady state on three meshes, coarse to fine (first row at y+ 1, 0.25 and 0.1 off the no-slip
// walls, 30, 64 and 192 rows per half), as a user runs it: 1 s steps (delta / u_tau = 17.5 s),
// velocity iterations to 1e-6, "SteadyNorm" 1e-7. Per mesh: U_b+, c_f = 2 / U_b+^2 over the
// DNS's (U_b+ 17.55) and U_b+ over the model's own mesh-converged 19.03 (its fully developed
// channel solved apart by bench/launder_sharma_channel_1d.py), the steps to the steady state, the
// momentum balance of the walls, wall time and peak memory (one process, OLVU_THREADS=1).
#include <benchmark/benchmark.h>

#include <string>

#include "bench/programrun.h"
#include "tests/model/wallchannel.h"

namespace {

constexpr double kDnsBulk = 17.55, kModelBulk = 19.03;

// Args: rows per half, first row in hundredths of a wall unit.
void BM_LaunderSharmaChannel(benchmark::State& state) {
  olvu_test::WallResolvedChannel t("Solve_K_Epsilon_LS", 395, int(state.range(0)), "1", 0.01 * double(state.range(1)),
                                   "1e-7");
  t.c.steps = 20000;
  const std::string name = "launder_sharma_" + std::to_string(state.range(0)) + "_" + std::to_string(state.range(1));
  olvu_bench::Run r;
  if (!olvu_bench::RunCase(state, name, t.c.Text(), r)) return;
  const olvu_test::ResolvedFigures g = t.Measure(r.res, r.forces, r.out);
  state.SetLabel(g.steadyStep ? "steady" : "not steady");
  state.counters["Ub+"] = g.ubPlus;
  state.counters["cf/DNS"] = kDnsBulk * kDnsBulk / (g.ubPlus * g.ubPlus);
  state.counters["Ub+/model"] = g.ubPlus / kModelBulk;
  state.counters["steps"] = g.steadyStep;
  state.counters["balance"] = g.balance;
  state.counters["peakMB"] = double(r.peakKb) / 1024;
}

BENCHMARK(BM_LaunderSharmaChannel)
    ->Args({30, 100})
    ->Args({64, 25})
    ->Args({192, 10})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
