// The per-iteration cost of the flow solution, each beside one product of the same matrix in the
// same run: rebuilding the convective matrices K and S with the nodal stabilisation parameter, one
// temperature step's assembly (matrix and right-hand side), the assembly of a Phi problem with
// the temperature's coefficients (its properties, limits and fixed rows included) and that of one
// turbulence variable (discontinuity capturing, then the system with diffusion, reaction and source). Fluid domains of 10^5 and 10^6
// nodes, triangles in 2D and tetrahedra in 3D, read from generated data files; the shuffled
// variants list the elements in random order, so the domain numbering (first appearance) has no
// locality.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "bench/flowgrid.h"
#include "domain/fluiddomain.h"
#include "domain/phiproblem.h"
#include "foundation/declarations.h"
#include "foundation/intvec.h"
#include "foundation/plex.h"
#include "input/input.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "solvers/sparsematrix.h"
#include "tests/support/scratch_clock.h"

namespace {

// Cases by (dimension, nodes per side, shuffled), built once.
FlowCase& Case(int dim, int n, bool shuffled) {
  static std::map<std::tuple<int, int, bool>, std::unique_ptr<FlowCase>> cases;
  auto& c = cases[{dim, n, shuffled}];
  if (!c) {
    cases.clear();  // one large domain in memory at a time
    auto& fresh = cases[{dim, n, shuffled}];
    fresh = std::make_unique<FlowCase>(dim, n, shuffled, "Solve_Temperature Solve_PhiProblems");
    return *fresh;
  }
  return *c;
}

// Nodes per side for 10^5 and 10^6 nodes.
int Side(int dim, int million) { return dim == 2 ? (million ? 1000 : 317) : (million ? 100 : 47); }

void Counters(benchmark::State& state, FluidDomain& d) {
  state.counters["nodes"] = d.numNodes;
  state.counters["nnz"] = d.SystemMatrix(7)->numnonzeros();
}

// Args: dimension, 0 for 10^5 or 1 for 10^6 nodes, 0 natural or 1 shuffled numbering.
void BM_Mult(benchmark::State& state) {
  FluidDomain& d = *Case(int(state.range(0)), Side(int(state.range(0)), int(state.range(1))), state.range(2)).d;
  ReaVec y(unsigned(d.numNodes), 0.0);
  for (auto _ : state) {
    d.SystemMatrix(7)->mult(d.Var(Temp).GivePointer(), y.GivePointer());
    benchmark::DoNotOptimize(y.GivePointer());
  }
  Counters(state, d);
}

void BM_ConvectiveMatrices(benchmark::State& state) {
  FluidDomain& d = *Case(int(state.range(0)), Side(int(state.range(0)), int(state.range(1))), state.range(2)).d;
  d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));  // the element tables, built once
  for (auto _ : state) {
    d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
    benchmark::DoNotOptimize(d.SystemMatrix(7)->val(0));
  }
  Counters(state, d);
}

void BM_TemperatureAssembly(benchmark::State& state) {
  FluidDomain& d = *Case(int(state.range(0)), Side(int(state.range(0)), int(state.range(1))), state.range(2)).d;
  d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
  const unsigned n = unsigned(d.numNodes);
  ReaVec rhoc(n, 1.0), q(n, 0.0), diff(n, 0.01), r(n, 0.0), b(n, 0.0);
  for (auto _ : state) {
    d.AssembleSystem(d.Var(Temp), d.Var(Temp0), rhoc, q, diff, r, b, 1);
    benchmark::DoNotOptimize(b.GivePointer());
  }
  Counters(state, d);
}

void BM_PhiAssembly(benchmark::State& state) {
  olvu_test::ScratchClock clock;  // the assembly opens its timing section
  FluidDomain& d = *Case(int(state.range(0)), Side(int(state.range(0)), int(state.range(1))), state.range(2)).d;
  d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
  PhiProblem& p = *d.GiveVariable(1);
  p.Phi_t() = d.Var(Temp);
  p.Phtdt() = d.Var(Temp0);
  for (auto _ : state) {
    p.AssembleFluidPhi();
    benchmark::DoNotOptimize(p.Rhs()->GivePointer());
  }
  Counters(state, d);
}

// The assembly of one turbulence transport solve: the field, its diffusivity, source and reaction
// per node (k-epsilon sized values), the shock-capturing diffusion, then matrix and right-hand side.
void BM_TurbulenceAssembly(benchmark::State& state) {
  FluidDomain& d = *Case(int(state.range(0)), Side(int(state.range(0)), int(state.range(1))), state.range(2)).d;
  d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
  const unsigned n = unsigned(d.numNodes);
  ReaVec k(n, 0.0), k0(n, 0.0), D(n, 0.0), S(n, 0.0), R(n, 0.0), b(n, 0.0);
  for (unsigned i = 1; i <= n; ++i) {
    k(i) = k0(i) = 0.01 * (1.5 + d.Var(Temp)(i));
    D(i) = 1e-3 + 0.01 * k(i), S(i) = 0.02 * k(i), R(i) = 0.5 + k(i);
  }
  ReaVec Dk = D;
  for (auto _ : state) {
    Dk = D;
    d.DiscontinuityCapturing(k, Dk, R, Dk, 1);
    d.AssembleSystem(k, k0, S, Dk, R, b, 1);
    benchmark::DoNotOptimize(b.GivePointer());
  }
  Counters(state, d);
}

// Registered per size so that the five of one domain run next to each other.
struct Register {
  Register() {
    for (int dim : {2, 3})
      for (int million : {0, 1})
        for (int shuffled : {0, 1}) {
          using Fn = void (*)(benchmark::State&);
          const std::pair<const char*, Fn> runs[5] = {
              {"BM_Mult", BM_Mult}, {"BM_ConvectiveMatrices", BM_ConvectiveMatrices},
              {"BM_TemperatureAssembly", BM_TemperatureAssembly}, {"BM_PhiAssembly", BM_PhiAssembly},
              {"BM_TurbulenceAssembly", BM_TurbulenceAssembly}};
          for (const auto& [name, fn] : runs)
            benchmark::RegisterBenchmark(name, fn)
                ->Args({dim, million, shuffled})
                ->ArgNames({"dim", "1e6", "shuffled"})
                ->Unit(benchmark::kMillisecond);
        }
  }
} registered;

}  // namespace
