// Body sets at scale, each against one sparse product over the fluid pattern of the same domain:
// the normals, wall loads and force sums of a body of 317 x 317 = 100489 surface nodes, the floor
// of a slab one layer of tetrahedra thick (the body is half the fluid's nodes) and of a box of
// kLayers layers (the body beneath a fluid of 1.1 10^6 nodes, as around a real body); and the mesh
// deformation by a turning body on plane grids of about 10^5 and 10^6 nodes (its growth should be
// no worse than n log n).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bodies/bodymesh.h"
#include "domain/fluiddomain.h"
#include "foundation/declarations.h"
#include "foundation/threads.h"
#include "input/input.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "solvers/sparsematrix.h"

#include "bench/flowgrid.h"

namespace {

constexpr int kFloor = 317;   // floor nodes per side of the force cases
constexpr int kLayers = 10;   // layers of cells of the box above the body

const char* kWBody = "Type WBody ElmType %s NNode %d Name Floor V_fixWall Mass 1 [Kg] Radii_of_Gyration 1 1 1 [m] "
                     "Displacement_OY 2 DOY \"0.01*t\" [m] Rotation_OZ 2 ROZ \"0.01*t\" [rad];\n"
                     "PhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\nElements\n";

// The slab [0,1]^2 x [0, 0.1 layers] of layers x (kFloor-1)^2 cells of six tetrahedra; its floor
// is the body.
void WriteSlab(FILE* f, int layers) {
  const int n = kFloor;
  auto id = [n](int i, int j, int k) { return SlabId(n, i, j, k); };
  WriteSlabFluid(f, n, "Solve_NavierStokes", layers);
  int e = 0;
  std::fprintf(f, "Set 2 ");
  std::fprintf(f, kWBody, "Triangle", 3);
  for (int j = 0; j + 1 < n; ++j)
    for (int i = 0; i + 1 < n; ++i) {
      std::fprintf(f, "%d %d %d %d\n", ++e, id(i, j, 0), id(i + 1, j + 1, 0), id(i + 1, j, 0));
      std::fprintf(f, "%d %d %d %d\n", ++e, id(i, j, 0), id(i, j + 1, 0), id(i + 1, j + 1, 0));
    }
  std::fprintf(f, "End Elements\nEndElmSets;\nEnd;\n");
}

// The unit square of (n-1)^2 cells of two triangles; its bottom edge is the body.
void WriteSquare(FILE* f, int n) {
  auto id = [n](int i, int j) { return 1 + i + n * j; };
  std::fprintf(f, "Nodes;\n");
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) std::fprintf(f, "%d %.17g %.17g 0\n", id(i, j), double(i) / (n - 1), double(j) / (n - 1));
  std::fprintf(f,
               "FluidDefinition Solve_NavierStokes Solve_Mesh_Deformation MeshDeformationType ByBodies "
               "Integration_Scheme Backward_Euler;\nInitialDataFunctions;\nEndInitialDataFunctions;\n"
               "MeshDeformationFunctions MeshDeformationX \"0\" [m] MeshDeformationY \"0\" [m] "
               "MeshDeformationZ \"0\" [m];\nElmSets;\nSet 1 Type Fluid ElmType Triangle NNode 3 Name Grid;\n"
               "PhysicalPropertiesFunctions;\nFunction Density \"1\" [Kg/m3];\nFunction Viscosity \"0.01\" [Kg/m.s];\n"
               "EndPhysicalPropertiesFunctions;\nElements\n");
  int e = 0;
  for (int j = 0; j + 1 < n; ++j)
    for (int i = 0; i + 1 < n; ++i) {
      std::fprintf(f, "%d %d %d %d\n", ++e, id(i, j), id(i + 1, j), id(i + 1, j + 1));
      std::fprintf(f, "%d %d %d %d\n", ++e, id(i, j), id(i + 1, j + 1), id(i, j + 1));
    }
  std::fprintf(f, "End Elements\nSet 2 ");
  std::fprintf(f, kWBody, "Linear", 2);
  for (int i = 0; i + 1 < n; ++i) std::fprintf(f, "%d %d %d\n", i + 1, id(i, 0), id(i + 1, 0));
  std::fprintf(f, "End Elements\nEndElmSets;\nEnd;\n");
}

// A fluid domain read from a generated file, with a shear flow and a linear pressure: in 3D the
// slab of n layers, in 2D the square of side n nodes.
struct BodyCase : DomainCase {
  BodyMesh* body = nullptr;

  BodyCase(int dim, int n) : DomainCase(Written(dim, n), dim, 1) {
    for (unsigned i = 1; i <= unsigned(d->numNodes); ++i) {
      const ReaVec& x = *all.get_at(toGlobal(i));
      d->Var(VelX)(i) = x(2) + 0.1 * x(3), d->Var(VelY)(i) = 0.1 * x(1), d->Var(Pres)(i) = 1 - x(1);
    }
    int b = 0;
    body = d->giveNextBody(b);
    if (dim == 3) return;
    // The top edge is held still ("Fix_Null"): the displacement fades from the body to it.
    BitVec& fix = d->Cond(FixMeshNull);
    if (fix.length() < unsigned(d->numNodes)) fix.resize(unsigned(d->numNodes), 0);
    for (int i = 0; i < n; ++i) fix.assign(unsigned(toLocal(unsigned(1 + i + n * (n - 1)))), 1);
  }

 private:
  static std::string Written(int dim, int n) {
    const std::string path = "/tmp/olvu_bodies_bench_" + std::to_string(getpid()) + ".dat";
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) std::abort();
    if (dim == 3) WriteSlab(f, n);
    else WriteSquare(f, n);
    std::fclose(f);
    return path;
  }
};

// The case of the benchmark running, built on first use and kept until another is asked for: the
// benchmarks of one case are registered together, and the box alone takes some 2.5 GB.
BodyCase& Get(int dim, int n) {
  static std::unique_ptr<BodyCase> c;
  static int key = 0;
  if (key != dim * 100000 + n) c.reset(), c = std::make_unique<BodyCase>(dim, n), key = dim * 100000 + n;
  Dimension_Olvu = dim;
  return *c;
}

// Normals, nodal wall loads and the four sums of the body, as once per coupled iteration.
// Arg: the layers of the 3D case.
void BM_BodyNormalsAndForces(benchmark::State& state) {
  BodyCase& c = Get(3, int(state.range(0)));
  for (auto _ : state) {
    c.d->DeleteBodyNormals();
    c.d->CalcBodyNormals3D();
    c.d->CalculateForces();
    c.body->IntegrateForces(c.d->Var(Dens), c.d->WallLoad(), c.d->BodyTraction(0), c.d->BodyTraction(1),
                            c.d->BodyTraction(2));
    benchmark::DoNotOptimize(c.body->PressureForce().GivePointer());
  }
  state.counters["body_nodes"] = double(c.body->NOfNodes());
  state.counters["nodes"] = double(c.d->numNodes);
}

// The parts apart: normals (0, only after the mesh moved), nodal wall loads (1), force and
// moment sums (2); the loads with the sums (3), the work of every step; and the sums after the
// nodes moved (4: the node weights of the sums are taken again; the move itself, the refresh of
// the domain's coordinates, is left out of the timing). Args: the layers of the 3D case, the part.
void BM_BodyPart(benchmark::State& state) {
  BodyCase& c = Get(3, int(state.range(0)));
  const int part = int(state.range(1));
  c.d->CalculateForces();  // the loads the sums read
  for (auto _ : state) {
    if (part == 4) {
      state.PauseTiming();
      c.d->RefreshNodeArray(false);
      state.ResumeTiming();
    }
    if (part == 0) c.d->DeleteBodyNormals(), c.d->CalcBodyNormals3D();
    if (part == 1 || part == 3) c.d->CalculateForces();
    if (part >= 2)
      c.body->IntegrateForces(c.d->Var(Dens), c.d->WallLoad(), c.d->BodyTraction(0), c.d->BodyTraction(1),
                              c.d->BodyTraction(2));
    benchmark::DoNotOptimize(c.body->PressureForce().GivePointer());
  }
  state.counters["threads"] = Threads();
}

// Reference: one sparse product with the momentum matrix. Args: the dimension and the size of the
// case (layers in 3D, side nodes in 2D).
void BM_FluidPatternProduct(benchmark::State& state) {
  BodyCase& c = Get(int(state.range(0)), int(state.range(1)));
  SystemSparseMatrix* A = c.d->SystemMatrix(1);
  ReaVec y(unsigned(c.d->numNodes), 0.0);
  for (auto _ : state) {
    A->mult(c.d->Var(VelX), y);
    benchmark::DoNotOptimize(y.GivePointer());
  }
  state.counters["nodes"] = double(c.d->numNodes);
}

// The body work of a step against the product, interleaved in each iteration so that both see
// the same machine load and the product leaves the caches as a solver step would: the counters
// give the loads with the sums (a step on a fixed mesh) and the normals, loads and sums with
// their node weights (a step after the mesh moved; the refresh of the coordinates that marks the
// move is not timed) in products. Arg: the layers of the 3D case.
void BM_BodyStepInProducts(benchmark::State& state) {
  BodyCase& c = Get(3, int(state.range(0)));
  SystemSparseMatrix* A = c.d->SystemMatrix(1);
  ReaVec y(unsigned(c.d->numNodes), 0.0);
  using Clock = std::chrono::steady_clock;
  double product = 0, fixed = 0, moving = 0;
  auto sums = [&c]() {
    c.body->IntegrateForces(c.d->Var(Dens), c.d->WallLoad(), c.d->BodyTraction(0), c.d->BodyTraction(1),
                            c.d->BodyTraction(2));
  };
  for (auto _ : state) {
    const auto t0 = Clock::now();
    A->mult(c.d->Var(VelX), y);
    const auto t1 = Clock::now();
    c.d->CalculateForces(), sums();
    const auto t2 = Clock::now();
    A->mult(c.d->Var(VelX), y);
    const auto t2b = Clock::now();
    c.d->RefreshNodeArray(false);
    const auto t3 = Clock::now();
    c.d->DeleteBodyNormals(), c.d->CalcBodyNormals3D(), c.d->CalculateForces(), sums();
    const auto t4 = Clock::now();
    product += std::chrono::duration<double>(t1 - t0 + (t2b - t2)).count() / 2;
    fixed += std::chrono::duration<double>(t2 - t1).count();
    moving += std::chrono::duration<double>(t4 - t3).count();
    benchmark::DoNotOptimize(y.GivePointer());
    benchmark::DoNotOptimize(c.body->PressureForce().GivePointer());
  }
  state.counters["fixed_products"] = fixed / product;
  state.counters["moving_products"] = moving / product;
  state.counters["product_ms"] = 1e3 * product / double(state.iterations());
  state.counters["nodes"] = double(c.d->numNodes);
  state.counters["threads"] = Threads();
}

// Each case's benchmarks together: the case is built once for them.
BENCHMARK(BM_BodyNormalsAndForces)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyPart)->ArgsProduct({{1}, {0, 1, 2, 3, 4}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FluidPatternProduct)->Args({3, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyStepInProducts)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyNormalsAndForces)->Arg(kLayers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyPart)->ArgsProduct({{kLayers}, {0, 1, 2, 3, 4}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FluidPatternProduct)->Args({3, kLayers})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyStepInProducts)->Arg(kLayers)->Unit(benchmark::kMillisecond);

// The body's step movement and the displacement of every node by it (the distance field to the
// bodies is computed on the first update, before the timing, and kept).
void BM_MeshDeformationByBodies(benchmark::State& state) {
  BodyCase& c = Get(2, int(state.range(0)));
  c.body->MoveBody();
  c.d->SolveMeshDeformation(3);
  for (auto _ : state) {
    c.d->SolveMeshDeformation(3);
    benchmark::DoNotOptimize(c.d->Var(MeshX).GivePointer());
  }
  state.counters["nodes"] = double(c.d->numNodes);
  state.counters["ns_per_node"] =
      benchmark::Counter(double(c.d->numNodes), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FluidPatternProduct)->Args({2, 317})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshDeformationByBodies)->Arg(317)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FluidPatternProduct)->Args({2, 1001})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshDeformationByBodies)->Arg(1001)->Unit(benchmark::kMillisecond);

}  // namespace
