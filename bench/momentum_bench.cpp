// The cost of one coupled iteration of the segregated flow solve outside its linear solves, each
// beside one product of the same pattern in the same run and on 1, 2, 4, 6 and 8 threads: the system
// and convective matrices, the momentum matrix with the three
// right-hand sides, the system of one turbulence variable, and the pressure system with its
// right-hand side plus the velocity projection. Fluid domains of 10^5 and 10^6 nodes, triangles in 2D and tetrahedra in 3D. The
// linear solves are measured apart, as one solve of each system (iterations x their cost).
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <utility>

#include "bench/flowgrid.h"
#include "foundation/bitvec.h"
#include "foundation/threads.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"

namespace {

// A Navier-Stokes domain with the swirl of FlowCase, a pressure field, its convective matrices
// and the convergence globals.
struct MomentumCase {
  FlowCase c;
  explicit MomentumCase(int dim, int n) : c(dim, n, false, "Solve_NavierStokes") {
    FluidDomain& d = *c.d;
    for (ReaVec* v : {&VarIncrement, &VarDenominat, &VarTolerance, &VarIncrRatio}) v->resize(23, 0.0);
    VarTolerance = 1e-3;
    for (unsigned i = 1; i <= unsigned(d.numNodes); ++i) d.Var(Pres)(i) = d.Var(VelX)(i) * d.Var(VelY)(i);
    d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
  }
};

MomentumCase& Case(int dim, int million) {
  static std::map<std::pair<int, int>, std::unique_ptr<MomentumCase>> cases;
  auto& c = cases[{dim, million}];
  if (!c) {
    cases.clear();  // one large domain in memory at a time
    auto& fresh = cases[{dim, million}];
    fresh = std::make_unique<MomentumCase>(dim, dim == 2 ? (million ? 1000 : 317) : (million ? 100 : 47));
    return *fresh;
  }
  return *c;
}

void Counters(benchmark::State& state, FluidDomain& d) {
  state.counters["nodes"] = d.numNodes;
  state.counters["nnz"] = d.SystemMatrix(1)->numnonzeros();
}

// The assemblies' least memory traffic in MB, every array counted once per pass that reads or
// writes it (an update twice): MB / ms is the GB/s-equivalent to set beside the triad's.
enum class Pass { System, Convective, Momentum, Pressure };
void Traffic(benchmark::State& state, FluidDomain& d, Pass pass) {
  const double D = int(state.range(0)), N = D + 1, n = d.numNodes;
  const double nnz = d.SystemMatrix(1)->numnonzeros(), upper = d.Mass()->numnonzeros();
  const double elems = D == 2 ? 2 * n : 6 * n;  // the generated grids' elements per node
  const double table = elems * (4 * N + N * N);   // rows and pair offsets of the element table
  double bytes = 0;
  switch (pass) {
    case Pass::System:  // zeroed, then updated: L, M (upper) and G_c; nodal weights and sizes
      bytes = 24 * (2 * upper + D * nnz) + table + 12 * 8 * n;
      break;
    case Pass::Convective:  // K, S zeroed then updated; coordinates, velocity, tau
      bytes = 48 * nnz + table + (6 + 2 * D + 6) * 8 * n;
      break;
    case Pass::Momentum:  // gather: pattern, M, L (upper), K, S, G_c, A; scatter by column: K
      bytes = nnz * (4 + 4 + 8 + 8 + 8 + 8 * D) + 16 * upper + nnz * (8 + 8) + (8 + 5 * D) * 8 * n;
      break;
    case Pass::Pressure:  // gather: pattern, L (upper), A, G_c; scatter by column; projection
      bytes = nnz * (4 + 4 + 8 + 8 * D) + 8 * upper + nnz * (8 + 8 * D) + nnz * (4 + 8 * D) + (10 + 3 * D) * 8 * n;
      break;
  }
  state.counters["MB"] = bytes / 1e6;
}

// Args: dimension, 0 for 10^5 or 1 for 10^6 nodes.
void BM_Mult(benchmark::State& state) {
  FluidDomain& d = *Case(int(state.range(0)), int(state.range(1))).c.d;
  ReaVec y(unsigned(d.numNodes), 0.0);
  for (auto _ : state) {
    d.SystemMatrix(7)->mult(d.Var(VelX).GivePointer(), y.GivePointer());
    benchmark::DoNotOptimize(y.GivePointer());
  }
  Counters(state, d);
}

// The thread count of an assembly benchmark (its third argument).
void UseThreads(benchmark::State& state) {
  SetThreads(int(state.range(2)));
  state.counters["threads"] = double(Threads());
}

// The system matrices (L, M, G, nodal volume and size) of the domain, as at a mesh update.
void BM_SystemAssembly(benchmark::State& state) {
  FluidDomain& d = *Case(int(state.range(0)), int(state.range(1))).c.d;
  UseThreads(state);
  d.CalcSystemMatrixes();  // the blocks of this thread count
  for (auto _ : state) {
    d.CalcSystemMatrixes();
    benchmark::DoNotOptimize(d.Mass()->sval(0));
  }
  Counters(state, d);
  Traffic(state, d, Pass::System);
}

// The convective matrices K and S with the nodal parameter, as at every iteration.
void BM_ConvectiveAssembly(benchmark::State& state) {
  FluidDomain& d = *Case(int(state.range(0)), int(state.range(1))).c.d;
  UseThreads(state);
  VarIncrRatio.resize(0);
  d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));  // the blocks of this thread count
  for (auto _ : state) {
    VarIncrRatio.resize(0);
    d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
    benchmark::DoNotOptimize(d.SystemMatrix(7)->val(0));
  }
  Counters(state, d);
  Traffic(state, d, Pass::Convective);
}

void BM_MomentumAssembly(benchmark::State& state) {
  FluidDomain& d = *Case(int(state.range(0)), int(state.range(1))).c.d;
  UseThreads(state);
  d.AssembleMomentum();  // the columns of the pattern, on the first threaded pass
  for (auto _ : state) {
    d.AssembleMomentum();
    benchmark::DoNotOptimize(d.Var(VelWorkX).GivePointer());
  }
  Counters(state, d);
  Traffic(state, d, Pass::Momentum);
}

void BM_PressureRhsAndProjection(benchmark::State& state) {
  FluidDomain& d = *Case(int(state.range(0)), int(state.range(1))).c.d;
  UseThreads(state);
  Iterations = 1;  // the projection runs
  ReaVec u0(d.Var(VelX)), v0(d.Var(VelY)), w0(d.Var(VelZ));
  d.AssemblePressure(d.Var(Pres), true);  // the columns of the pattern, on the first threaded pass
  for (auto _ : state) {
    d.AssemblePressure(d.Var(Pres), true);
    d.SolveProjection();
    benchmark::DoNotOptimize(d.Var(VelX).GivePointer());
    state.PauseTiming();
    d.Var(VelX) = u0, d.Var(VelY) = v0, d.Var(VelZ) = w0;
    state.ResumeTiming();
  }
  Counters(state, d);
  Traffic(state, d, Pass::Pressure);
}

// The system of one turbulence variable (k with its diffusivity, source and reaction, fourth-order
// stabilisation): one pass over the rows for the matrix, the mass product and m^-1 K u, then on
// many threads one gathering K^T of it by column.
void BM_TurbulenceAssembly(benchmark::State& state) {
  FluidDomain& d = *Case(int(state.range(0)), int(state.range(1))).c.d;
  UseThreads(state);
  const unsigned n = unsigned(d.numNodes);
  ReaVec k(n), k0(n), S(n), D(n), R(n), b(n);
  for (unsigned i = 1; i <= n; ++i) {
    k(i) = 0.01 * (1 + d.Var(VelX)(i) * d.Var(VelX)(i)), k0(i) = 0.01;
    S(i) = 1e-3, D(i) = 0.01 + k(i), R(i) = 0.1;
  }
  for (auto _ : state) {
    d.AssembleSystem(k, k0, S, D, R, b, 1);
    benchmark::DoNotOptimize(b.GivePointer());
  }
  Counters(state, d);
}

// One solve of the X momentum component and one of the pressure, from the same start each time;
// the counters give the iterations' cost per product.
void BM_LinearSolves(benchmark::State& state) {
  FluidDomain& d = *Case(int(state.range(0)), int(state.range(1))).c.d;
  const unsigned n = unsigned(d.numNodes);
  BitVec none(n);
  ReaVec x(n), b(n), p(n);
  d.AssembleMomentum();
  for (auto _ : state) {
    state.PauseTiming();
    x = d.Var(VelX);
    b = d.Var(VelWorkX);
    d.SystemMatrix(0)->copy_val(d.SystemMatrix(1));
    state.ResumeTiming();
    d.giveSolver1st()->solve(b, x, d.SystemMatrix(0), none, ReaVec(), 1, "Fluid Velocity X");
    state.PauseTiming();
    d.AssemblePressure(d.Var(Pres), true);
    p = d.Var(Pres);
    b = d.Var(VelWorkX);
    state.ResumeTiming();
    d.giveSolver2nd()->solve(b, p, d.SystemMatrix(0), none, d.LumpedMass(), 1, "Pressure");
    benchmark::DoNotOptimize(p.GivePointer());
  }
  Counters(state, d);
}

struct Register {
  Register() {
    for (int dim : {2, 3})
      for (int million : {0, 1}) {
        using Fn = void (*)(benchmark::State&);
        const std::pair<const char*, Fn> runs[2] = {{"BM_Mult", BM_Mult}, {"BM_LinearSolves", BM_LinearSolves}};
        for (const auto& [name, fn] : runs)
          benchmark::RegisterBenchmark(name, fn)
              ->Args({dim, million})
              ->ArgNames({"dim", "1e6"})
              ->Unit(benchmark::kMillisecond);
        // The assemblies on 1, 2, 4, 6 and 8 threads side by side: their results are bitwise alike.
        const std::pair<const char*, Fn> assemblies[5] = {
            {"BM_SystemAssembly", BM_SystemAssembly},
            {"BM_ConvectiveAssembly", BM_ConvectiveAssembly},
            {"BM_MomentumAssembly", BM_MomentumAssembly},
            {"BM_TurbulenceAssembly", BM_TurbulenceAssembly},
            {"BM_PressureRhsAndProjection", BM_PressureRhsAndProjection}};
        for (const auto& [name, fn] : assemblies)
          for (int threads : {1, 2, 4, 6, 8})
            benchmark::RegisterBenchmark(name, fn)
                ->Args({dim, million, threads})
                ->ArgNames({"dim", "1e6", "threads"})
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
      }
  }
} registered;

}  // namespace
