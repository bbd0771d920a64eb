// The threaded solver kernels against their own one-thread runs and the machine's memory
// bandwidth: the general product (SpMV), one application of each incomplete factorisation (its
// two triangular solves: ICSolve, ILUSolve), one refactorisation (ICFactor, ILUFactor),
// conjugate gradients with the incomplete Cholesky preconditioner (50 iterations) and GMRES(20)
// with the incomplete LU one (40 iterations), on the P1 matrix (stiffness plus a tenth of its
// diagonal, so that it is definite) of 2D triangle and 3D tetrahedron grids of 1.7 10^4 (the
// 129 x 129 node square, 26^3 nodes in 3D: the smallest that fork), 10^5 and 10^6 nodes, and a
// STREAM-like triad a = b + s c over three 2^23-entry arrays. Names:
// BM_<Kernel><Mesh>/<nodes>/<threads>; the SpMV and triad rates are bytes moved (values,
// columns, row pointers, x and y once each for SpMV). The speed-up of a kernel is its one-thread
// time over its time on t threads, read off the same run.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "bench/sparse_gen.h"
#include "foundation/alloc.h"
#include "foundation/threads.h"
#include "mesh/csr.h"
#include "solvers/hessenberg.h"
#include "solvers/iterativemethods.h"
#include "solvers/preconditioner.h"

namespace {

// One grid's matrix and vectors, built on first use; only the current grid is kept alive.
struct Grid {
  sparse_gen::GenMesh g;
  std::unique_ptr<sparse_gen::SystemMesh> sys;
  std::unique_ptr<SparseMatrixStruct> pattern;
  std::unique_ptr<SystemSparseMatrix> a;
  std::vector<double> x, y, b;

  Grid(int dim, int nodes) : g(dim == 2 ? sparse_gen::TriGrid(nodes, false) : sparse_gen::TetGrid(nodes, false)) {
    sys = std::make_unique<sparse_gen::SystemMesh>(g);
    pattern.reset(createSparseMatrixStruct(sys->nodes, sys->meshes, 0));
    a = std::make_unique<SystemSparseMatrix>(pattern.get());
    sparse_gen::AssembleP1(g, *a, false);
    for (int i = 0; i < g.nnodes; ++i) a->diag(i) *= 1.1;
    x.assign(g.nnodes, 0.0);
    y.assign(g.nnodes, 0.0);
    b.resize(g.nnodes);
    for (int i = 0; i < g.nnodes; ++i) b[i] = std::sin(0.37 * i) + 0.5;
    // The pool keeps the block size it was first made with: the largest grid's, whichever runs first.
    AllocInit(24L * (1000000 + 64) * static_cast<long>(sizeof(double)));
  }
  double mult_bytes() const { return 12.0 * pattern->numnonzeros() + 4.0 * (g.nnodes + 1) + 16.0 * g.nnodes; }
};

Grid& Get(int dim, int nodes) {
  static std::tuple<int, int> key{0, 0};
  static std::unique_ptr<Grid> current;
  if (!current || key != std::tuple<int, int>{dim, nodes}) {
    current.reset();
    current = std::make_unique<Grid>(dim, nodes);
    key = {dim, nodes};
  }
  return *current;
}

// Sets the thread count of a benchmark for its run and puts the former one back.
struct ThreadsFor {
  int saved = Threads();
  explicit ThreadsFor(const benchmark::State& st) { SetThreads(static_cast<int>(st.range(1))); }
  ~ThreadsFor() { SetThreads(saved); }
};

template <int Dim>
void BM_SpMV(benchmark::State& st) {
  Grid& f = Get(Dim, static_cast<int>(st.range(0)));
  const ThreadsFor t(st);
  for (auto _ : st) {
    f.a->mult(f.x.data(), f.y.data());
    benchmark::DoNotOptimize(f.y.data());
  }
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * f.mult_bytes()));
}

template <int Dim>
void BM_CGIC(benchmark::State& st) {
  Grid& f = Get(Dim, static_cast<int>(st.range(0)));
  const ThreadsFor t(st);
  const ICPreconditioner p(*f.a);
  for (auto _ : st) {
    std::fill(f.x.begin(), f.x.end(), 0.0);
    AllocReset();
    int iters = 50;
    double tol = 1e-300, tol2 = 1e-300;
    CG(*f.a, f.x.data(), f.b.data(), p, iters, tol, tol2);
    benchmark::DoNotOptimize(f.x.data());
  }
}

template <int Dim>
void BM_GMRESILU(benchmark::State& st) {
  Grid& f = Get(Dim, static_cast<int>(st.range(0)));
  const ThreadsFor t(st);
  const ILUPreconditioner p(*f.a);
  for (auto _ : st) {
    std::fill(f.x.begin(), f.x.end(), 0.0);
    AllocReset();
    HMatrix h(20);
    int m = 20, iters = 40;
    double tol = 1e-300;
    GMRES(*f.a, f.x.data(), f.b.data(), p, h, m, iters, tol);
    benchmark::DoNotOptimize(f.x.data());
  }
}

// One application of a preconditioner, y = M^-1 b: its two triangular solves.
template <int Dim, class P>
void BM_Solve(benchmark::State& st) {
  Grid& f = Get(Dim, static_cast<int>(st.range(0)));
  const ThreadsFor t(st);
  const P p(*f.a);
  for (auto _ : st) {
    p.solve(f.b.data(), f.y.data());
    benchmark::DoNotOptimize(f.y.data());
  }
}

// One refactorisation of a preconditioner on the matrix of its pattern.
template <int Dim, class P>
void BM_Factor(benchmark::State& st) {
  Grid& f = Get(Dim, static_cast<int>(st.range(0)));
  const ThreadsFor t(st);
  P p(*f.a);
  for (auto _ : st) {
    p.New_Matrix(*f.a);
    benchmark::ClobberMemory();
  }
}

// a = b + s c over arrays far larger than the caches, forked as the vector loops are.
void BM_Triad(benchmark::State& st) {
  const ThreadsFor t(st);
  const std::size_t n = std::size_t(1) << 23;
  static std::vector<double> a(n, 0.0), b(n, 1.0), c(n, 2.0);
  double *pa = a.data(), *pb = b.data(), *pc = c.data();
  const double s = 3.0;
  for (auto _ : st) {
    ParallelFor(n, [=](std::size_t i) { pa[i] = pb[i] + s * pc[i]; });
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * 24.0 * n));
}

const int kThreadCounts[] = {1, 2, 4, 6, 8};

// Registration at load time, before benchmark_main parses the command line; every kernel of one
// grid together, so that each grid is generated once.
const bool kRegistered = [] {
  for (int t : kThreadCounts) benchmark::RegisterBenchmark("BM_Triad", BM_Triad)->Args({0, t})->UseRealTime();
  struct Item {
    const char* name;
    void (*fn)(benchmark::State&);
  };
  for (int dim : {2, 3})
    for (int n : {16641, 100000, 1000000}) {
      const std::string mesh = dim == 2 ? "Tri" : "Tet";
      const Item items[] = {{"SpMV", dim == 2 ? BM_SpMV<2> : BM_SpMV<3>},
                            {"ICSolve", dim == 2 ? BM_Solve<2, ICPreconditioner> : BM_Solve<3, ICPreconditioner>},
                            {"ILUSolve", dim == 2 ? BM_Solve<2, ILUPreconditioner> : BM_Solve<3, ILUPreconditioner>},
                            {"ICFactor", dim == 2 ? BM_Factor<2, ICPreconditioner> : BM_Factor<3, ICPreconditioner>},
                            {"ILUFactor", dim == 2 ? BM_Factor<2, ILUPreconditioner> : BM_Factor<3, ILUPreconditioner>},
                            {"CGIC", dim == 2 ? BM_CGIC<2> : BM_CGIC<3>},
                            {"GMRESILU", dim == 2 ? BM_GMRESILU<2> : BM_GMRESILU<3>}};
      for (const Item& it : items)
        for (int t : kThreadCounts)
          benchmark::RegisterBenchmark(("BM_" + std::string(it.name) + mesh).c_str(), it.fn)
              ->Args({n, t})
              ->Unit(benchmark::kMillisecond)
              ->UseRealTime();
    }
  return true;
}();

}  // namespace
