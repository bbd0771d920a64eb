// Linear solvers against Eigen on the same matrices: CG and BiCGSTAB with the diagonal
// preconditioner, GMRES(20), and the IC(0)/ILU(0) preconditioners (first build, rebuild,
// apply) next to one product of the same matrix. Matrices: finite-difference Laplacians
// (Lap2D 5-point, Lap3D 7-point) and an upwind convection-diffusion operator (ConvDiff).
// Names: BM_<Case>_<Impl>/<unknowns>. Solves run from x = 0 with tolerance 1e-8 and at most
// 2000 iterations at 10^5 unknowns, and exactly 200 iterations at 10^6; the counters give the
// iterations of one solve and the time of one iteration.
#include <benchmark/benchmark.h>

#include <Eigen/IterativeLinearSolvers>
#include <Eigen/Sparse>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>
#include <unsupported/Eigen/IterativeSolvers>

#include "foundation/alloc.h"
#include "solvers/hessenberg.h"
#include "solvers/iterativemethods.h"
#include "solvers/preconditioner.h"
#include "solvers/sparsematrix.h"

namespace {

using ESp = Eigen::SparseMatrix<double, Eigen::RowMajor>;
using Trip = std::vector<Eigen::Triplet<double>>;

enum Case { kLap2D, kLap3D, kConvDiff };
const char* const kCaseName[] = {"Lap2D", "Lap3D", "ConvDiff"};

Trip Generate(Case c, int target, int& n) {
  Trip t;
  if (c == kLap3D) {
    const int m = static_cast<int>(std::lround(std::cbrt(static_cast<double>(target))));
    n = m * m * m;
    t.reserve(7L * n);
    auto id = [m](int i, int j, int k) { return (i * m + j) * m + k; };
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < m; ++j)
        for (int k = 0; k < m; ++k) {
          const int r = id(i, j, k);
          t.emplace_back(r, r, 6.0);
          if (i > 0) t.emplace_back(r, id(i - 1, j, k), -1.0);
          if (i + 1 < m) t.emplace_back(r, id(i + 1, j, k), -1.0);
          if (j > 0) t.emplace_back(r, id(i, j - 1, k), -1.0);
          if (j + 1 < m) t.emplace_back(r, id(i, j + 1, k), -1.0);
          if (k > 0) t.emplace_back(r, id(i, j, k - 1), -1.0);
          if (k + 1 < m) t.emplace_back(r, id(i, j, k + 1), -1.0);
        }
    return t;
  }
  const int m = static_cast<int>(std::lround(std::sqrt(static_cast<double>(target))));
  n = m * m;
  t.reserve(5L * n);
  const double cx = c == kConvDiff ? 1.0 : 0.0, cy = 0.5 * cx;
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) {
      const int r = i * m + j;
      t.emplace_back(r, r, 4.0 + cx + cy);
      if (j > 0) t.emplace_back(r, r - 1, -1.0 - cx);
      if (j + 1 < m) t.emplace_back(r, r + 1, -1.0);
      if (i > 0) t.emplace_back(r, r - m, -1.0 - cy);
      if (i + 1 < m) t.emplace_back(r, r + m, -1.0);
    }
  return t;
}

// One matrix in both forms with its right-hand side; only the current case is kept alive.
struct System {
  int n = 0;
  std::unique_ptr<SparseMatrixStruct> pattern;
  std::unique_ptr<SystemSparseMatrix> A;
  ESp E;
  Eigen::VectorXd b, x;

  System(Case c, int target) {
    const Trip t = Generate(c, target, n);
    pattern = std::make_unique<SparseMatrixStruct>(n, n, 1, 1, 0);
    for (const auto& e : t) pattern->addPosition(e.row(), e.col());
    pattern->Build();
    A = std::make_unique<SystemSparseMatrix>(pattern.get());
    for (const auto& e : t) A->addToLhs(e.row(), e.col(), e.value());
    E.resize(n, n);
    E.setFromTriplets(t.begin(), t.end());
    b.resize(n);
    for (int i = 0; i < n; ++i) b[i] = std::sin(0.37 * i) + 0.5;
    x = Eigen::VectorXd::Zero(n);
    AllocInit(96L * 1000000);
  }
};

System& Get(Case c, int target) {
  static Case key_case = kLap2D;
  static int key_target = 0;
  static std::unique_ptr<System> current;
  if (!current || key_case != c || key_target != target) {
    current.reset();
    current = std::make_unique<System>(c, target);
    key_case = c;
    key_target = target;
  }
  return *current;
}

// Tolerance and cap of a solve at this size: converge at 10^5, exactly 200 iterations at 10^6.
void Limits(int target, double& tol, int& cap) {
  if (target >= 1000000) {
    tol = 1e-300;
    cap = 200;
  } else {
    tol = 1e-8;
    cap = 2000;
  }
}

void Report(benchmark::State& st, double iters) {
  st.counters["iters"] = iters;
  st.counters["s_per_iter"] =
      benchmark::Counter(iters, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

enum Method { kCG, kBiCGSTAB, kGMRES };

// The diagonal preconditioner, counting its applications: BiCGSTAB applies it twice per
// iteration (once on a half-way exit), which gives its iteration count where the method does
// not report one.
class CountingDiag : public Preconditioner {
 public:
  explicit CountingDiag(const SparseMatrix& A) : d(A) {}
  void solve(const double* b, double* x) const override {
    ++calls;
    d.solve(b, x);
  }
  void trans_solve(const double* b, double* x) const override { d.trans_solve(b, x); }
  void New_Matrix(const SparseMatrix& A) override { d.New_Matrix(A); }
  mutable long calls = 0;

 private:
  DiagPreconditioner d;
};

template <Case C, Method M>
void BM_Solve_Olvu(benchmark::State& st) {
  System& s = Get(C, static_cast<int>(st.range(0)));
  const CountingDiag P(*s.A);
  double tol0;
  int cap;
  Limits(static_cast<int>(st.range(0)), tol0, cap);
  int iters = 0;
  for (auto _ : st) {
    s.x.setZero();
    AllocReset();
    int it = cap;
    double tol = tol0, tol2 = 1e300;
    if (M == kCG) {
      CG(*s.A, s.x.data(), s.b.data(), P, it, tol, tol2);
    } else if (M == kBiCGSTAB) {
      P.calls = 0;
      BiCGSTAB(*s.A, s.x.data(), s.b.data(), P, it, tol, tol2);
      it = static_cast<int>((P.calls + 1) / 2);
    } else {
      HMatrix H(20);
      int m = 20;
      GMRES(*s.A, s.x.data(), s.b.data(), P, H, m, it, tol);
    }
    iters = it;
    benchmark::DoNotOptimize(s.x.data());
  }
  Report(st, iters);
}

template <Case C, Method M>
void BM_Solve_Eigen(benchmark::State& st) {
  System& s = Get(C, static_cast<int>(st.range(0)));
  double tol;
  int cap;
  Limits(static_cast<int>(st.range(0)), tol, cap);
  long iters = 0;
  auto run = [&](auto& solver) {
    solver.setTolerance(tol);
    solver.setMaxIterations(cap);
    solver.compute(s.E);
    for (auto _ : st) {
      s.x.setZero();
      s.x = solver.solveWithGuess(s.b, s.x);
      iters = solver.iterations();
      benchmark::DoNotOptimize(s.x.data());
    }
  };
  if (M == kCG) {
    Eigen::ConjugateGradient<ESp, Eigen::Lower | Eigen::Upper, Eigen::DiagonalPreconditioner<double>> cg;
    run(cg);
  } else if (M == kBiCGSTAB) {
    Eigen::BiCGSTAB<ESp, Eigen::DiagonalPreconditioner<double>> bicg;
    run(bicg);
  } else {
    Eigen::GMRES<ESp, Eigen::DiagonalPreconditioner<double>> gmres;
    gmres.set_restart(20);
    run(gmres);
  }
  Report(st, static_cast<double>(iters));
}

template <Case C>
void BM_Mult_Olvu(benchmark::State& st) {
  System& s = Get(C, static_cast<int>(st.range(0)));
  Eigen::VectorXd y(s.n);
  for (auto _ : st) {
    s.A->mult(s.b.data(), y.data());
    benchmark::DoNotOptimize(y.data());
  }
}

template <Case C>
void BM_Mult_Eigen(benchmark::State& st) {
  System& s = Get(C, static_cast<int>(st.range(0)));
  Eigen::VectorXd y(s.n);
  for (auto _ : st) {
    y.noalias() = s.E * s.b;
    benchmark::DoNotOptimize(y.data());
  }
}

// Seconds of one product of the system's matrix, timed right after the benchmark it measures so
// that both see the same load on the machine.
double MultSeconds(System& s) {
  Eigen::VectorXd y(s.n);
  using Clock = std::chrono::steady_clock;
  const int reps = s.n >= 1000000 ? 20 : 200;
  s.A->mult(s.b.data(), y.data());
  const auto t0 = Clock::now();
  for (int k = 0; k < reps; ++k) {
    s.A->mult(s.b.data(), y.data());
    benchmark::DoNotOptimize(y.data());
  }
  return std::chrono::duration<double>(Clock::now() - t0).count() / reps;
}

// Runs op once per benchmark iteration and reports its time as the counter "in_mults", a
// multiple of one product of the same matrix.
template <class Op>
void RunInMults(benchmark::State& st, System& s, Op op) {
  using Clock = std::chrono::steady_clock;
  const auto t0 = Clock::now();
  for (auto _ : st) op();
  const double per_op = std::chrono::duration<double>(Clock::now() - t0).count() / st.iterations();
  st.counters["in_mults"] = per_op / MultSeconds(s);
}

// Incomplete factorisations: Build is the first construction, Rebuild a refactorisation of the
// same pattern (New_Matrix), Apply one preconditioner solve.
template <Case C, class P>
void BM_Build_Olvu(benchmark::State& st) {
  System& s = Get(C, static_cast<int>(st.range(0)));
  RunInMults(st, s, [&] {
    P p(*s.A);
    benchmark::DoNotOptimize(&p);
  });
}

template <Case C, class P>
void BM_Rebuild_Olvu(benchmark::State& st) {
  System& s = Get(C, static_cast<int>(st.range(0)));
  P p(*s.A);
  RunInMults(st, s, [&] {
    p.New_Matrix(*s.A);
    benchmark::ClobberMemory();
  });
}

template <Case C, class P>
void BM_Apply_Olvu(benchmark::State& st) {
  System& s = Get(C, static_cast<int>(st.range(0)));
  const P p(*s.A);
  Eigen::VectorXd y(s.n);
  RunInMults(st, s, [&] {
    p.solve(s.b.data(), y.data());
    benchmark::DoNotOptimize(y.data());
  });
}

// Eigen's threshold ILU limited to the fill of the matrix itself, the nearest to ILU(0).
template <class P>
void Configure(P&) {}
template <>
void Configure(Eigen::IncompleteLUT<double>& p) {
  p.setFillfactor(1);
}

template <Case C, class P>
void BM_Build_Eigen(benchmark::State& st) {
  System& s = Get(C, static_cast<int>(st.range(0)));
  RunInMults(st, s, [&] {
    P p;
    Configure(p);
    p.compute(s.E);
    benchmark::DoNotOptimize(&p);
  });
}

template <Case C, class P>
void BM_Apply_Eigen(benchmark::State& st) {
  System& s = Get(C, static_cast<int>(st.range(0)));
  P p;
  Configure(p);
  p.compute(s.E);
  Eigen::VectorXd y(s.n);
  RunInMults(st, s, [&] {
    y = p.solve(s.b);
    benchmark::DoNotOptimize(y.data());
  });
}

using EigenIC = Eigen::IncompleteCholesky<double, Eigen::Lower | Eigen::Upper, Eigen::NaturalOrdering<int>>;
using EigenILU = Eigen::IncompleteLUT<double>;

template <Case C>
void RegisterCase() {
  struct Item {
    std::string op;
    const char* impl;
    void (*fn)(benchmark::State&);
  };
  std::vector<Item> items = {
      {"Mult", "Olvu", BM_Mult_Olvu<C>},
      {"Mult", "Eigen", BM_Mult_Eigen<C>},
      {"BiCGSTABDiag", "Olvu", BM_Solve_Olvu<C, kBiCGSTAB>},
      {"BiCGSTABDiag", "Eigen", BM_Solve_Eigen<C, kBiCGSTAB>},
      {"GMRES20Diag", "Olvu", BM_Solve_Olvu<C, kGMRES>},
      {"GMRES20Diag", "Eigen", BM_Solve_Eigen<C, kGMRES>},
      {"ILUBuild", "Olvu", BM_Build_Olvu<C, ILUPreconditioner>},
      {"ILURebuild", "Olvu", BM_Rebuild_Olvu<C, ILUPreconditioner>},
      {"ILUApply", "Olvu", BM_Apply_Olvu<C, ILUPreconditioner>},
      {"ILUBuild", "Eigen", BM_Build_Eigen<C, EigenILU>},
      {"ILUApply", "Eigen", BM_Apply_Eigen<C, EigenILU>},
  };
  if (C != kConvDiff) {
    const std::vector<Item> sym = {
        {"CGDiag", "Olvu", BM_Solve_Olvu<C, kCG>},
        {"CGDiag", "Eigen", BM_Solve_Eigen<C, kCG>},
        {"ICBuild", "Olvu", BM_Build_Olvu<C, ICPreconditioner>},
        {"ICRebuild", "Olvu", BM_Rebuild_Olvu<C, ICPreconditioner>},
        {"ICApply", "Olvu", BM_Apply_Olvu<C, ICPreconditioner>},
        {"ICBuild", "Eigen", BM_Build_Eigen<C, EigenIC>},
        {"ICApply", "Eigen", BM_Apply_Eigen<C, EigenIC>},
    };
    items.insert(items.begin() + 2, sym.begin(), sym.end());
  }
  for (int n : {100000, 1000000})
    for (const Item& it : items) {
      auto* b = benchmark::RegisterBenchmark(("BM_" + it.op + kCaseName[C] + "_" + it.impl).c_str(), it.fn)
                    ->Arg(n)
                    ->Unit(benchmark::kMillisecond);
      const bool solve = it.op.find("Diag") != std::string::npos;
      if (solve) b->Iterations(n >= 1000000 ? 2 : 1);
    }
}

// Registration at load time, before benchmark_main parses the command line.
const bool kRegistered = [] {
  RegisterCase<kLap2D>();
  RegisterCase<kLap3D>();
  RegisterCase<kConvDiff>();
  return true;
}();

}  // namespace
