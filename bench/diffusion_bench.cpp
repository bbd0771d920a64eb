// The matrix of one scalar transport equation (mass, convection, streamline stabilisation,
// reaction and a diffusivity that varies per node) with the conservative diffusion, where every
// node pair takes the pair's mean diffusivity, beside the row-scaled form diag(d) L it replaced and
// one product of the same pattern, in the same run. Fluid domains of 10^6 nodes, triangles in 2D
// and tetrahedra in 3D, on 1 and 4 threads. The target: conservative <= row-scaled + one product.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "bench/flowgrid.h"
#include "foundation/threads.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

namespace {

// A temperature domain with the swirl of FlowCase, its convective matrices, a diffusivity and a
// reaction that vary from node to node.
struct DiffusionCase {
  FlowCase c;
  ReaVec D, R;
  explicit DiffusionCase(int dim) : c(dim, dim == 2 ? 1000 : 100, false) {
    FluidDomain& d = *c.d;
    const unsigned n = unsigned(d.numNodes);
    D.resize(n, 0.0), R.resize(n, 0.0);
    for (unsigned i = 1; i <= n; ++i) D(i) = 0.01 * (1.5 + d.Var(Temp)(i)), R(i) = 0.5 + d.Var(VelX)(i);
    d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
  }
};

DiffusionCase& Case(int dim) {
  static std::map<int, std::unique_ptr<DiffusionCase>> cases;
  auto& c = cases[dim];
  if (!c) {
    cases.clear();  // one large domain in memory at a time
    auto& fresh = cases[dim];
    fresh = std::make_unique<DiffusionCase>(dim);
    return *fresh;
  }
  return *c;
}

void Prepare(benchmark::State& state, FluidDomain& d) {
  SetThreads(int(state.range(1)));
  state.counters["threads"] = double(Threads());
  state.counters["nodes"] = d.numNodes;
  state.counters["nnz"] = d.SystemMatrix(0)->numnonzeros();
}

// The reference: A = M / (dt theta) + K + diag(tau) S + diag(d) L + diag(r m), each row scaled by
// its own node's diffusivity, in row blocks as the equation's own pass.
void RowScaled(FluidDomain& d, const ReaVec& D, const ReaVec& R) {
  const SparseMatrixStruct* s = d.Pattern();
  const int *rp = s->row_ptr(0), *ci = s->col_ind(0), *up = s->spos_ind(0);
  const double *M = d.Mass()->val(0), *L = d.Laplacian()->val(0), *K = d.SystemMatrix(7)->val(0);
  const double *S = d.SystemMatrix(8)->val(0), *tau = d.Var(TauEq).GivePointer(), *m = d.LumpedMass().GivePointer();
  const double *dp = D.GivePointer(), *rr = R.GivePointer(), alpha = d.InvDtTheta();
  double* __restrict A = d.SystemMatrix(0)->val(0);
  ForBlocks(std::size_t(d.numNodes), [=](int, std::size_t lo, std::size_t hi) {
    for (int i = int(lo); i < int(hi); ++i) {
      const double di = dp[i], ri = rr[i] * m[i], ti = tau[i];
      for (int k = rp[i]; k < rp[i + 1]; ++k)
        A[k] = alpha * M[up[k]] + K[k] + ti * S[k] + di * L[up[k]] + (ci[k] == i ? ri : 0.0);
    }
  });
}

// Args: dimension, threads.
void BM_RowScaled(benchmark::State& state) {
  DiffusionCase& c = Case(int(state.range(0)));
  FluidDomain& d = *c.c.d;
  Prepare(state, d);
  for (auto _ : state) {
    RowScaled(d, c.D, c.R);
    benchmark::DoNotOptimize(d.SystemMatrix(0)->val(0));
  }
}

void BM_Conservative(benchmark::State& state) {
  DiffusionCase& c = Case(int(state.range(0)));
  FluidDomain& d = *c.c.d;
  Prepare(state, d);
  for (auto _ : state) {
    d.Assemble_LHS(c.D, c.R);
    benchmark::DoNotOptimize(d.SystemMatrix(0)->val(0));
  }
}

void BM_Mult(benchmark::State& state) {
  DiffusionCase& c = Case(int(state.range(0)));
  FluidDomain& d = *c.c.d;
  Prepare(state, d);
  ReaVec y(unsigned(d.numNodes), 0.0);
  for (auto _ : state) {
    d.SystemMatrix(7)->mult(d.Var(Temp).GivePointer(), y.GivePointer());
    benchmark::DoNotOptimize(y.GivePointer());
  }
}

// Registered per domain, so that the three of one domain and thread count run side by side.
struct Register {
  Register() {
    for (int dim : {2, 3})
      for (int threads : {1, 4}) {
        using Fn = void (*)(benchmark::State&);
        const std::pair<const char*, Fn> runs[3] = {
            {"BM_RowScaled", BM_RowScaled}, {"BM_Conservative", BM_Conservative}, {"BM_Mult", BM_Mult}};
        for (const auto& [name, fn] : runs)
          benchmark::RegisterBenchmark(name, fn)
              ->Args({dim, threads})
              ->ArgNames({"dim", "threads"})
              ->Unit(benchmark::kMillisecond)
              ->UseRealTime();
      }
  }
} registered;

}  // namespace
