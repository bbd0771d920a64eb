// The wave-elevation assembly of one implicit step on a free surface of 317 x 317 = 100489 nodes
// (the top of a unit box one layer of tetrahedra thick): the convection and streamline matrices,
// the system matrix and the right-hand side, against one sparse product over the same pattern.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bodies/freesmesh.h"
#include "domain/fluiddomain.h"
#include "foundation/declarations.h"
#include "input/input.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "solvers/sparsematrix.h"

#include "bench/flowgrid.h"

namespace {

constexpr int kN = 317;  // surface nodes per side

// The box [0,1]^2 x [0, 0.1] of (kN-1)^2 cells of six tetrahedra and the free surface on its top.
void WriteSurface(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) std::abort();
  auto id = [](int i, int j, int k) { return SlabId(kN, i, j, k); };
  WriteSlabFluid(f, kN, "Solve_NavierStokes Solve_Transpiration");
  int e = 0;
  std::fprintf(f, "Set 2 Type FreeS Name Surface Integration_Scheme Crank_Nicolson;\nElements\n");
  for (int j = 0; j + 1 < kN; ++j)
    for (int i = 0; i + 1 < kN; ++i) {
      std::fprintf(f, "%d %d %d %d\n", ++e, id(i, j, 1), id(i + 1, j, 1), id(i + 1, j + 1, 1));
      std::fprintf(f, "%d %d %d %d\n", ++e, id(i, j, 1), id(i + 1, j + 1, 1), id(i, j + 1, 1));
    }
  std::fprintf(f, "End Elements\nEndElmSets;\nEnd;\n");
  std::fclose(f);
}

// The fluid domain and its free surface with a wavy velocity on the surface.
struct SurfaceCase {
  Plex<Node> all{100000, "All the Nodes of the geometry"};
  IntVec toGlobal, toLocal;
  std::unique_ptr<Input> in;
  std::unique_ptr<FluidDomain> d;
  FreeSMesh* set = nullptr;

  SurfaceCase() {
    const std::string path = "/tmp/olvu_frees_bench_" + std::to_string(getpid()) + ".dat";
    WriteSurface(path);
    Dimension_Olvu = 3, Verbose_Off = 2;
    GravVec.resize(3, 0.0), GravVec = 0.0, GravVec(3) = -9.81, Gravity = 9.81;
    FStatic.resize(3, 0.0), FStatic(3) = 0.1;
    in = std::make_unique<Input>(path.c_str());
    in->ReadCard("Nodes");
    ReadNodesFromAscii(in.get(), &all, 1.0, 3);
    in->ReadCard("FluidDefinition");
    d = std::make_unique<FluidDomain>(&all, in.get(), toGlobal, toLocal, 1, 1);
    std::remove(path.c_str());
    d->ReadInitialConditions();
    set = static_cast<FreeSMesh*>(d->giveFreeSMeshesMesh(2));
    set->initialiseMesh();
    set->PostinitialiseMesh();
    Initial_Phase = 0, Run_Time_Increment = 0.01, Max_Velocity = 1;
    for (unsigned k = 1; k <= set->LocalU().length(); ++k) {
      const double x = 0.01 * k;
      set->LocalU()(k) = std::cos(x), set->LocalV()(k) = std::sin(x), set->LocalW()(k) = 0.1 * std::sin(3 * x);
      set->GiveBetaVector()(k) = 0.01 * std::cos(2 * x);
    }
  }
};

SurfaceCase& Case() {
  static SurfaceCase c;
  return c;
}

// One step's assembly: C, S and tau from the velocities, then A and the right-hand side.
void BM_FreeSurfaceAssembly(benchmark::State& state) {
  SurfaceCase& c = Case();
  for (auto _ : state) {
    c.set->BuildConvection();
    c.set->AssembleImplicitSystem();
    benchmark::DoNotOptimize(c.set->Residual().GivePointer());
  }
  state.counters["nodes"] = double(c.set->LocalU().length());
  state.counters["nonzeros"] = double(c.set->MassMatrix()->numnonzeros());
}
BENCHMARK(BM_FreeSurfaceAssembly)->Unit(benchmark::kMillisecond);

// Reference: one sparse product over the surface pattern.
void BM_SurfacePatternProduct(benchmark::State& state) {
  SurfaceCase& c = Case();
  ReaVec y(c.set->LocalU().length());
  for (auto _ : state) {
    c.set->MassMatrix()->mult(c.set->GiveBetaVector(), y);
    benchmark::DoNotOptimize(y.GivePointer());
  }
}
BENCHMARK(BM_SurfacePatternProduct)->Unit(benchmark::kMillisecond);

}  // namespace
