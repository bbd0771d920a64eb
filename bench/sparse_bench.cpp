// Sparse storage against Eigen's row-major SparseMatrix<double>: pattern build from a mesh,
// P1 assembly (Eigen both rebuilding its pattern from triplets and, the fair baseline, filling
// an existing compressed pattern by coeffRef: impl EigenFill), general, symmetric and transposed products, and a STREAM-like triad as the
// memory-bandwidth reference. Names: BM_<Case>_<Impl>/<nodes>, Case = operation, mesh
// (Tri 2D triangles, Tet 3D tetrahedra) and numbering (Nat natural, Shuf shuffled).
#include <benchmark/benchmark.h>

#include <Eigen/Sparse>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "bench/sparse_gen.h"
#include "mesh/csr.h"

namespace {

using sparse_gen::GenMesh;
using ESp = Eigen::SparseMatrix<double, Eigen::RowMajor>;

// Everything one mesh case needs, built on first use; only the current case is kept alive.
struct Fixture {
  GenMesh g;
  std::unique_ptr<sparse_gen::SystemMesh> sys;
  std::unique_ptr<SparseMatrixStruct> pattern;
  std::unique_ptr<SystemSparseMatrix> lap;
  std::unique_ptr<SymmetricSparseMatrix> mass;
  ESp elap, eupper;
  std::vector<Eigen::Triplet<double>> trip;
  Eigen::VectorXd x, y;

  Fixture(int dim, int nodes, bool shuf)
      : g(dim == 2 ? sparse_gen::TriGrid(nodes, shuf) : sparse_gen::TetGrid(nodes, shuf)) {
    sys = std::make_unique<sparse_gen::SystemMesh>(g);
    pattern.reset(createSparseMatrixStruct(sys->nodes, sys->meshes, 0));
    lap = std::make_unique<SystemSparseMatrix>(pattern.get());
    mass = std::make_unique<SymmetricSparseMatrix>(pattern.get());
    sparse_gen::AssembleP1(g, *lap, false);
    sparse_gen::AssembleP1(g, *mass, true);
    trip.reserve(static_cast<size_t>(g.nelems()) * g.npe * g.npe);
    Triplets(false);
    elap.resize(g.nnodes, g.nnodes);
    elap.setFromTriplets(trip.begin(), trip.end());
    eupper = elap.triangularView<Eigen::Upper>();
    x = Eigen::VectorXd::LinSpaced(g.nnodes, 1.0, 2.0);
    y = Eigen::VectorXd::Zero(g.nnodes);
  }

  // Element-matrix triplets of the Laplacian (mass when `mass_m`), rebuilt in place.
  void Triplets(bool mass_m) {
    trip.clear();
    const int n = g.npe;
    double k[16], m[16];
    for (int e = 0; e < g.nelems(); ++e) {
      sparse_gen::P1Element(g, e, k, m);
      const int* v = &g.conn[n * e];
      const double* src = mass_m ? m : k;
      for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) trip.emplace_back(v[a], v[b], src[n * a + b]);
    }
  }

  // Element-matrix assembly into the existing compressed pattern of a (Laplacian, or the upper
  // triangle of the mass matrix when `mass_m`) by coeffRef.
  void Fill(ESp& a, bool mass_m) {
    a.coeffs().setZero();
    const int n = g.npe;
    double k[16], m[16];
    for (int e = 0; e < g.nelems(); ++e) {
      sparse_gen::P1Element(g, e, k, m);
      const int* v = &g.conn[n * e];
      for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
          if (mass_m && v[r] > v[c]) continue;
          a.coeffRef(v[r], v[c]) += mass_m ? m[n * r + c] : k[n * r + c];
        }
    }
    benchmark::DoNotOptimize(a.valuePtr());
  }

  // Bytes a general product moves: values, columns, row pointers, x and y once each.
  double mult_bytes() const {
    return 12.0 * pattern->numnonzeros() + 4.0 * (g.nnodes + 1) + 16.0 * g.nnodes;
  }
};

Fixture& Get(int dim, int nodes, bool shuf) {
  static std::tuple<int, int, bool> key{0, 0, false};
  static std::unique_ptr<Fixture> current;
  const std::tuple<int, int, bool> want{dim, nodes, shuf};
  if (!current || key != want) {
    current.reset();
    current = std::make_unique<Fixture>(dim, nodes, shuf);
    key = want;
  }
  return *current;
}

template <int Dim, bool Shuf>
void BM_Pattern_Olvu(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) {
    std::unique_ptr<SparseMatrixStruct> s(createSparseMatrixStruct(f.sys->nodes, f.sys->meshes, 0));
    benchmark::DoNotOptimize(s.get());
  }
}

template <int Dim, bool Shuf>
void BM_Pattern_Eigen(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) {
    f.trip.clear();
    const int n = f.g.npe;
    for (int e = 0; e < f.g.nelems(); ++e) {
      const int* v = &f.g.conn[n * e];
      for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) f.trip.emplace_back(v[a], v[b], 1.0);
    }
    ESp p(f.g.nnodes, f.g.nnodes);
    p.setFromTriplets(f.trip.begin(), f.trip.end());
    benchmark::DoNotOptimize(p.valuePtr());
  }
}

template <int Dim, bool Shuf>
void BM_AssembleLaplace_Olvu(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) sparse_gen::AssembleP1(f.g, *f.lap, false);
}

template <int Dim, bool Shuf>
void BM_AssembleLaplace_Eigen(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) {
    f.Triplets(false);
    ESp a(f.g.nnodes, f.g.nnodes);
    a.setFromTriplets(f.trip.begin(), f.trip.end());
    benchmark::DoNotOptimize(a.valuePtr());
  }
}

// The fair baseline: the compressed pattern exists (as olvu's does) and the element entries are
// added into it by coeffRef, a search in the row per entry but no pattern build. Fills elap,
// which ends with the same values.
template <int Dim, bool Shuf>
void BM_AssembleLaplace_EigenFill(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) f.Fill(f.elap, false);
}

template <int Dim, bool Shuf>
void BM_AssembleMass_Olvu(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) sparse_gen::AssembleP1(f.g, *f.mass, true);
}

template <int Dim, bool Shuf>
void BM_AssembleMass_Eigen(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) {
    f.Triplets(true);
    ESp a(f.g.nnodes, f.g.nnodes);
    a.setFromTriplets(f.trip.begin(), f.trip.end());
    benchmark::DoNotOptimize(a.valuePtr());
  }
}

// The mass matrix into the upper triangle's pattern, as olvu's symmetric matrix stores it.
template <int Dim, bool Shuf>
void BM_AssembleMass_EigenFill(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) f.Fill(f.eupper, true);
}

template <int Dim, bool Shuf>
void BM_Mult_Olvu(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) {
    f.lap->mult(f.x.data(), f.y.data());
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * f.mult_bytes()));
}

template <int Dim, bool Shuf>
void BM_Mult_Eigen(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) {
    f.y.noalias() = f.elap * f.x;
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * f.mult_bytes()));
}

template <int Dim, bool Shuf>
void BM_SymMult_Olvu(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) {
    f.mass->mult(f.x.data(), f.y.data());
    benchmark::ClobberMemory();
  }
}

template <int Dim, bool Shuf>
void BM_SymMult_Eigen(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) {
    f.y.noalias() = f.eupper.selfadjointView<Eigen::Upper>() * f.x;
    benchmark::ClobberMemory();
  }
}

template <int Dim, bool Shuf>
void BM_TransMult_Olvu(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) {
    f.lap->trans_mult(f.x.data(), f.y.data());
    benchmark::ClobberMemory();
  }
}

template <int Dim, bool Shuf>
void BM_TransMult_Eigen(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  for (auto _ : st) {
    f.y.noalias() = f.elap.transpose() * f.x;
    benchmark::ClobberMemory();
  }
}

// a = b + s c over arrays as long as the product's value array: the bandwidth bound.
template <int Dim, bool Shuf>
void BM_Triad_Olvu(benchmark::State& st) {
  Fixture& f = Get(Dim, static_cast<int>(st.range(0)), Shuf);
  const size_t n = static_cast<size_t>(f.pattern->numnonzeros());
  std::vector<double> a(n, 0.0), b(n, 1.0), c(n, 2.0);
  const double s = 3.0;
  for (auto _ : st) {
    double* pa = a.data();
    const double* pb = b.data();
    const double* pc = c.data();
    for (size_t i = 0; i < n; ++i) pa[i] = pb[i] + s * pc[i];
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * 24.0 * n));
}

constexpr int kSizes[] = {10000, 100000, 1000000};

// Registers every case of one mesh together, so that each mesh is generated once.
template <int Dim, bool Shuf>
void RegisterMesh() {
  const std::string m = std::string(Dim == 2 ? "Tri" : "Tet") + (Shuf ? "Shuf" : "Nat");
  struct Item {
    const char* op;
    const char* impl;
    void (*fn)(benchmark::State&);
  };
  const Item items[] = {
      {"Pattern", "Olvu", BM_Pattern_Olvu<Dim, Shuf>},
      {"Pattern", "Eigen", BM_Pattern_Eigen<Dim, Shuf>},
      {"AssembleLaplace", "Olvu", BM_AssembleLaplace_Olvu<Dim, Shuf>},
      {"AssembleLaplace", "Eigen", BM_AssembleLaplace_Eigen<Dim, Shuf>},
      {"AssembleLaplace", "EigenFill", BM_AssembleLaplace_EigenFill<Dim, Shuf>},
      {"AssembleMass", "Olvu", BM_AssembleMass_Olvu<Dim, Shuf>},
      {"AssembleMass", "Eigen", BM_AssembleMass_Eigen<Dim, Shuf>},
      {"AssembleMass", "EigenFill", BM_AssembleMass_EigenFill<Dim, Shuf>},
      {"Mult", "Olvu", BM_Mult_Olvu<Dim, Shuf>},
      {"Mult", "Eigen", BM_Mult_Eigen<Dim, Shuf>},
      {"SymMult", "Olvu", BM_SymMult_Olvu<Dim, Shuf>},
      {"SymMult", "Eigen", BM_SymMult_Eigen<Dim, Shuf>},
      {"TransMult", "Olvu", BM_TransMult_Olvu<Dim, Shuf>},
      {"TransMult", "Eigen", BM_TransMult_Eigen<Dim, Shuf>},
      {"Triad", "Olvu", BM_Triad_Olvu<Dim, Shuf>},
  };
  for (int n : kSizes)
    for (const Item& it : items)
      benchmark::RegisterBenchmark(("BM_" + std::string(it.op) + m + "_" + it.impl).c_str(), it.fn)
          ->Arg(n)
          ->Unit(benchmark::kMillisecond);
}

// Registration at load time, before benchmark_main parses the command line.
const bool kRegistered = [] {
  RegisterMesh<2, false>();
  RegisterMesh<2, true>();
  RegisterMesh<3, false>();
  RegisterMesh<3, true>();
  return true;
}();

}  // namespace
