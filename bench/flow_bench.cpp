// The per-iteration cost of the flow solution, each beside one product of the same matrix in the
// same run: rebuilding the convective matrices K and S with the nodal stabilisation parameter, and
// one temperature step's assembly (matrix and right-hand side). Fluid domains of 10^5 and 10^6
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

#include "domain/fluiddomain.h"
#include "foundation/declarations.h"
#include "foundation/intvec.h"
#include "foundation/plex.h"
#include "input/input.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "solvers/sparsematrix.h"

namespace {

// Writes the data file of an n x n (x n) grid of the unit square (cube) cut into triangles
// (tetrahedra), elements in random order when `shuffled`.
void WriteGrid(const std::string& path, int dim, int n, bool shuffled) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) std::abort();
  std::fprintf(f, "Nodes;\n");
  const int nz = dim == 3 ? n : 1;
  auto id = [n](int i, int j, int k) { return 1 + i + n * (j + n * k); };
  for (int k = 0; k < nz; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i)
        std::fprintf(f, "%d %.17g %.17g %.17g\n", id(i, j, k), double(i) / (n - 1), double(j) / (n - 1),
                     dim == 3 ? double(k) / (n - 1) : 0.0);
  std::fprintf(f,
               "FluidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
               "EndInitialDataFunctions;\nElmSets;\nSet 1 Type Fluid ElmType %s NNode %d Name Grid;\n"
               "PhysicalPropertiesFunctions;\nFunction Density \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
               "Function Conductivity \"0.01\" [W/m.Gt];\nEndPhysicalPropertiesFunctions;\nElements\n",
               dim == 3 ? "Tetrahedra" : "Triangle", dim + 1);
  std::vector<std::array<int, 4>> elems;
  for (int k = 0; k + 1 < nz || (dim == 2 && k == 0); ++k)
    for (int j = 0; j + 1 < n; ++j)
      for (int i = 0; i + 1 < n; ++i) {
        if (dim == 2) {
          elems.push_back({id(i, j, 0), id(i + 1, j, 0), id(i + 1, j + 1, 0), 0});
          elems.push_back({id(i, j, 0), id(i + 1, j + 1, 0), id(i, j + 1, 0), 0});
          continue;
        }
        const int c[8] = {id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                          id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
        elems.push_back({c[0], c[1], c[2], c[6]});
        elems.push_back({c[0], c[2], c[3], c[6]});
        elems.push_back({c[0], c[3], c[7], c[6]});
        elems.push_back({c[0], c[7], c[4], c[6]});
        elems.push_back({c[0], c[4], c[5], c[6]});
        elems.push_back({c[0], c[5], c[1], c[6]});
      }
  if (shuffled) std::shuffle(elems.begin(), elems.end(), std::mt19937(17));
  for (std::size_t e = 0; e < elems.size(); ++e) {
    std::fprintf(f, "%zu", e + 1);
    for (int a = 0; a <= dim; ++a) std::fprintf(f, " %d", elems[e][std::size_t(a)]);
    std::fprintf(f, "\n");
  }
  std::fprintf(f, "End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n"
               "EndBoundary;\nEnd;\n");
  std::fclose(f);
}

// A fluid domain built by the reader from a generated grid, with a swirling velocity.
struct FlowCase {
  Plex<Node> all{100000, "All the Nodes of the geometry"};
  IntVec toGlobal, toLocal;
  std::unique_ptr<Input> in;
  std::unique_ptr<FluidDomain> d;

  FlowCase(int dim, int n, bool shuffled) {
    const std::string path = "/tmp/olvu_flow_bench_" + std::to_string(getpid()) + ".dat";
    WriteGrid(path, dim, n, shuffled);
    Dimension_Olvu = dim;
    Verbose_Off = 2;
    in = std::make_unique<Input>(path.c_str());
    in->ReadCard("Nodes");
    ReadNodesFromAscii(in.get(), &all, 1.0, 3);
    in->ReadCard("FluidDefinition");
    d = std::make_unique<FluidDomain>(&all, in.get(), toGlobal, toLocal, 1, 1);
    std::remove(path.c_str());
    d->ReadInitialConditions();
    Initial_Phase = 0;
    Run_Time_Increment = 0.01;
    d->StartNewStep();
    for (unsigned i = 1; i <= unsigned(d->numNodes); ++i) {
      const ReaVec& x = *all.get_at(toGlobal(i));
      d->Var(VelX)(i) = -(x(2) - 0.5);
      d->Var(VelY)(i) = x(1) - 0.5;
      d->Var(VelZ)(i) = dim == 3 ? 0.1 : 0.0;
      d->Var(Temp)(i) = d->Var(Temp0)(i) = std::sin(3 * x(1)) * std::cos(2 * x(2));
    }
    Max_Velocity = 0.75;
    VarIncrRatio.resize(0);
  }
};

// Cases by (dimension, nodes per side, shuffled), built once.
FlowCase& Case(int dim, int n, bool shuffled) {
  static std::map<std::tuple<int, int, bool>, std::unique_ptr<FlowCase>> cases;
  auto& c = cases[{dim, n, shuffled}];
  if (!c) {
    cases.clear();  // one large domain in memory at a time
    auto& fresh = cases[{dim, n, shuffled}];
    fresh = std::make_unique<FlowCase>(dim, n, shuffled);
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

// Registered per size so that the three of one domain run next to each other.
struct Register {
  Register() {
    for (int dim : {2, 3})
      for (int million : {0, 1})
        for (int shuffled : {0, 1}) {
          using Fn = void (*)(benchmark::State&);
          const std::pair<const char*, Fn> runs[3] = {
              {"BM_Mult", BM_Mult}, {"BM_ConvectiveMatrices", BM_ConvectiveMatrices},
              {"BM_TemperatureAssembly", BM_TemperatureAssembly}};
          for (const auto& [name, fn] : runs)
            benchmark::RegisterBenchmark(name, fn)
                ->Args({dim, million, shuffled})
                ->ArgNames({"dim", "1e6", "shuffled"})
                ->Unit(benchmark::kMillisecond);
        }
  }
} registered;

}  // namespace
