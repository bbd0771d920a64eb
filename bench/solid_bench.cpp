// The solid temperature step at 10^6 nodes (1000 x 1000 triangle grid, anisotropic conductivity):
// forming its system matrix and right-hand side from the stored component matrices, beside one
// product of that system matrix with a vector on the same pattern.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "domain/soliddomain.h"
#include "foundation/declarations.h"
#include "input/input.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "solvers/sparsematrix.h"

namespace {

constexpr int kSide = 1000;  // nodes per side

// A solid-only data file of kSide x kSide nodes.
std::string WriteDataFile() {
  const std::string path = "/tmp/olvu_solid_bench_" + std::to_string(getpid()) + ".dat";
  std::ofstream f(path);
  const int n = kSide - 1;
  auto id = [&](int i, int j) { return j * kSide + i + 1; };
  f << "Nodes;\n";
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) f << id(i, j) << ' ' << double(i) / n << ' ' << double(j) / n << " 0\n";
  f << "SolidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
       "Function Temperature \"X*Y\" [Gt];\nEndInitialDataFunctions;\nElmSets;\n"
       "Set 1 Type Solid ElmType Triangle NNode 3 Name Plate;\nPhysicalPropertiesFunctions;\n"
       "Function SolidDensity \"7800\" [Kg/m3];\nFunction SpecificHeat \"460\" [J/Kg.Gt];\n"
       "Function ConductivityXX \"40\" [W/m.Gt];\nFunction ConductivityXY \"10\" [W/m.Gt];\n"
       "Function ConductivityYY \"20\" [W/m.Gt];\nEndPhysicalPropertiesFunctions;\nElements\n";
  int e = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      f << ++e << ' ' << id(i, j) << ' ' << id(i + 1, j) << ' ' << id(i + 1, j + 1) << '\n';
      f << ++e << ' ' << id(i, j) << ' ' << id(i + 1, j + 1) << ' ' << id(i, j + 1) << '\n';
    }
  f << "End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nEndBoundary;\n";
  return path;
}

// The plate's domain, built once for all the cases.
struct Plate {
  Plex<Node> all{1000, "All the Nodes of the geometry"};
  std::unique_ptr<Input> in;
  std::unique_ptr<SolidDomain> solid;
  Plate() {
    const std::string path = WriteDataFile();
    in = std::make_unique<Input>(path.c_str());
    in->ReadCard("Nodes");
    ReadNodesFromAscii(in.get(), &all, 1.0, 3);
    GlobalToSolid.resize(unsigned(all.count), 0);
    in->ReadCard("SolidDefinition");
    solid = std::make_unique<SolidDomain>(&all, in.get(), SolidToGlobal, GlobalToSolid, 2, 1);
    std::remove(path.c_str());
    solid->ReadInitialConditions();
    Initial_Phase = 0;
    Run_Time_Increment = 1.0;
    solid->StartNewStep();
  }
};

Plate& ThePlate() {
  static Plate p;
  return p;
}

void BM_SolidTemperature_Assembly(benchmark::State& s) {
  SolidDomain& d = *ThePlate().solid;
  for (auto _ : s) {
    d.AssembleTemperatureSystem();
    benchmark::DoNotOptimize(d.SystemMatrix(0)->val(0));
  }
  s.counters["nnz"] = d.SystemMatrix(0)->numnonzeros();
}

void BM_SolidTemperature_OneProduct(benchmark::State& s) {
  SolidDomain& d = *ThePlate().solid;
  ReaVec& x = d.Var(Temp);
  ReaVec y(x.length());
  for (auto _ : s) {
    d.SystemMatrix(0)->mult(x.GivePointer(), y.GivePointer());
    benchmark::DoNotOptimize(y.GivePointer());
  }
}

BENCHMARK(BM_SolidTemperature_OneProduct)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SolidTemperature_Assembly)->Unit(benchmark::kMillisecond);

}  // namespace
