// Fluid domains on generated grids for the flow benchmarks: the unit square (cube) cut into
// triangles (tetrahedra), read through the data-file reader, with a swirling velocity and a smooth
// temperature.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "domain/fluiddomain.h"
#include "foundation/declarations.h"
#include "foundation/intvec.h"
#include "foundation/plex.h"
#include "input/input.h"
#include "mesh/mesh.h"
#include "mesh/node.h"

/// Node number of point (i, j, k) of a slab of n x n points per layer (k counts the layers up).
inline int SlabId(int n, int i, int j, int k) { return 1 + i + n * (j + n * k); }

/// Writes the nodes and the fluid set of the slab [0,1]^2 x [0, 0.1 layers]: `layers` layers of
/// (n-1)^2 cells of six tetrahedra, fluid flags `flags`, density 1 and viscosity 0.01; the set's
/// element block is closed, the element-set block left open for the caller's boundary sets.
inline void WriteSlabFluid(FILE* f, int n, const char* flags, int layers = 1) {
  std::fprintf(f, "Nodes;\n");
  for (int k = 0; k <= layers; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i)
        std::fprintf(f, "%d %.17g %.17g %.17g\n", SlabId(n, i, j, k), double(i) / (n - 1), double(j) / (n - 1),
                     0.1 * k);
  std::fprintf(f,
               "FluidDefinition %s Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
               "EndInitialDataFunctions;\nElmSets;\nSet 1 Type Fluid ElmType Tetrahedra NNode 4 Name Grid;\n"
               "PhysicalPropertiesFunctions;\nFunction Density \"1\" [Kg/m3];\nFunction Viscosity \"0.01\" [Kg/m.s];\n"
               "EndPhysicalPropertiesFunctions;\nElements\n",
               flags);
  int e = 0;
  for (int k = 0; k < layers; ++k)
    for (int j = 0; j + 1 < n; ++j)
      for (int i = 0; i + 1 < n; ++i) {
        const int c[8] = {SlabId(n, i, j, k),     SlabId(n, i + 1, j, k),     SlabId(n, i + 1, j + 1, k),
                          SlabId(n, i, j + 1, k), SlabId(n, i, j, k + 1),     SlabId(n, i + 1, j, k + 1),
                          SlabId(n, i + 1, j + 1, k + 1), SlabId(n, i, j + 1, k + 1)};
        const int ring[7] = {1, 2, 3, 7, 4, 5, 1};
        for (int t = 0; t < 6; ++t) std::fprintf(f, "%d %d %d %d %d\n", ++e, c[0], c[ring[t]], c[ring[t + 1]], c[6]);
      }
  std::fprintf(f, "End Elements\n");
}

// Writes the data file of an n x n (x n) grid of the unit square (cube) cut into triangles
// (tetrahedra), elements in random order when `shuffled`; with "Solve_PhiProblems" in the flags the
// set also carries Phi problem 1.
inline void WriteGrid(const std::string& path, int dim, int n, bool shuffled, const char* flags = "Solve_Temperature") {
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
               "FluidDefinition %s Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
               "EndInitialDataFunctions;\nElmSets;\nSet 1 Type Fluid ElmType %s NNode %d Name Grid;\n%s"
               "PhysicalPropertiesFunctions;\nFunction Density \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
               "Function Conductivity \"0.01\" [W/m.Gt];\nFunction Viscosity \"0.01\" [Kg/m.s];\n"
               "EndPhysicalPropertiesFunctions;\nElements\n",
               flags, dim == 3 ? "Tetrahedra" : "Triangle", dim + 1,
               // With Phi problems the set makes problem 1 with the temperature's coefficients.
               std::strstr(flags, "Solve_PhiProblems")
                   ? "VariablesProperties;\nF1t \"1\" [1/m3] F1c \"1\" [1/m3] F2 \"0.01\" [1/m.s] F3 \"0\" [1/m3.s] "
                     "F4 \"0\" [1/m3.s];\nEndVariablesProperties;\n"
                   : "");
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

// A fluid domain read from the generated data file at `path` (removed once read) in dimension
// dim, its initial conditions set and a step of 0.01 s outside an initial phase started (as step
// `step` when that is given).
struct DomainCase {
  Plex<Node> all{100000, "All the Nodes of the geometry"};
  IntVec toGlobal, toLocal;
  std::unique_ptr<Input> in;
  std::unique_ptr<FluidDomain> d;

  DomainCase(const std::string& path, int dim, int step = -1) {
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
    if (step >= 0) Current_Step = step;
    d->StartNewStep();
  }
};

// A fluid domain built by the reader from a generated grid, with a swirling velocity.
struct FlowCase : DomainCase {
  FlowCase(int dim, int n, bool shuffled, const char* flags = "Solve_Temperature")
      : DomainCase(Written(dim, n, shuffled, flags), dim) {
    for (unsigned i = 1; i <= unsigned(d->numNodes); ++i) {
      const ReaVec& x = *all.get_at(toGlobal(i));
      d->Var(VelX)(i) = -(x(2) - 0.5);
      d->Var(VelY)(i) = x(1) - 0.5;
      d->Var(VelZ)(i) = dim == 3 ? 0.1 : 0.0;
      if (d->Var(Temp).length()) d->Var(Temp)(i) = d->Var(Temp0)(i) = std::sin(3 * x(1)) * std::cos(2 * x(2));
    }
    Max_Velocity = 0.75;
    VarIncrRatio.resize(0);
  }

 private:
  static std::string Written(int dim, int n, bool shuffled, const char* flags) {
    const std::string path = "/tmp/olvu_flow_bench_" + std::to_string(getpid()) + ".dat";
    WriteGrid(path, dim, n, shuffled, flags);
    return path;
  }
};
