// Structured grids of every element kind as fluid data files, for the flow-solution tests: the
// box [0, lx] x [0, ly] (x [0, lz]) cut into nx x ny (x nz) cells of one set.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include <sstream>
#include <string>
#include <vector>

#include "foundation/declarations.h"
#include "tests/model/fluidcase.h"
#include "tests/support/child.h"
#include "tests/support/scratch_clock.h"

namespace olvu_test {

/// Element kinds of the grids.
enum class GridKind { Tri3, Tri6, Quad4, Tet4, Hex8 };

/// A grid and the cards of its fluid block.
struct GridLayout {
  GridKind kind = GridKind::Tri3;
  int nx = 4, ny = 4, nz = 1;
  double lx = 1, ly = 1, lz = 1;
  std::string flags = "Solve_Temperature";  ///< words of the definition card before the scheme
  std::string scheme = "Backward_Euler";
  std::string initial;                      ///< lines of the initial-data block
  std::string properties = "Function Density \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
                           "Function Conductivity \"1\" [W/m.Gt];\nFunction Viscosity \"1\" [Kg/m.s];\n";

  bool Solid() const { return kind == GridKind::Tet4 || kind == GridKind::Hex8; }
  /// Nodes per direction of the lattice (quadratic kinds use the mid-points too).
  int Px() const { return (kind == GridKind::Tri6 ? 2 * nx : nx) + 1; }
  int Py() const { return (kind == GridKind::Tri6 ? 2 * ny : ny) + 1; }
  int Pz() const { return Solid() ? nz + 1 : 1; }
  /// Problem number of lattice point (i, j, k).
  int Id(int i, int j, int k = 0) const { return 1 + i + Px() * (j + Py() * k); }

  /// The data file text: nodes, fluid definition, initial data and the one set.
  std::string Text() const { return Body() + "End;\n"; }

  /// A whole problem for the program: `general` is the general-data card, `boundary` the lines
  /// of the boundary block, `tolerance` the tolerance card of the total definition.
  std::string Problem(const std::string& general, const std::string& boundary, const std::string& tolerance) const {
    return std::string(Solid() ? "OLVU_3D;\n" : "OLVU_2D;\n") + "ProblemDefinition;\n" + general +
           "\nPhysicalData Gravity 0 -9.81 0 [m/s2];\nWriteResultsData Temperature;\n" + Body() +
           "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n" + boundary + "EndBoundary;\nTotalDefinition;\n" +
           tolerance + "\nElmSets;\nEndElmSets;\nEndProblem;\n";
  }
  /// "Node id Temp value;" for every lattice point where `value` gives a number (not NaN).
  template <class F>
  std::string FixedTemperatures(F value) const {
    std::ostringstream s;
    s.precision(17);
    for (int k = 0; k < Pz(); ++k)
      for (int j = 0; j < Py(); ++j)
        for (int i = 0; i < Px(); ++i) {
          const double v = value(lx * i / (Px() - 1), ly * j / (Py() - 1));
          if (v == v) s << "Node " << Id(i, j, k) << " Temp " << v << ";\n";
        }
    return s.str();
  }

  /// Nodes, fluid block and set, without the end card.
  std::string Body() const {
    std::ostringstream s;
    s.precision(17);
    s << "Nodes;\n";
    for (int k = 0; k < Pz(); ++k)
      for (int j = 0; j < Py(); ++j)
        for (int i = 0; i < Px(); ++i)
          s << Id(i, j, k) << " " << lx * i / (Px() - 1) << " " << ly * j / (Py() - 1) << " "
            << (Solid() ? lz * k / (Pz() - 1) : 0.0) << "\n";
    s << "FluidDefinition " << flags << " Integration_Scheme " << scheme << ";\nInitialDataFunctions;\n"
      << initial << "EndInitialDataFunctions;\nElmSets;\nSet 1 Type Fluid ElmType " << TypeWord() << " NNode "
      << NodeCount() << " Name Grid;\nPhysicalPropertiesFunctions;\n"
      << properties << "EndPhysicalPropertiesFunctions;\nElements\n";
    int e = 0;
    auto elem = [&](std::initializer_list<int> ids) {
      s << ++e;
      for (int id : ids) s << " " << id;
      s << "\n";
    };
    for (int k = 0; k < (Solid() ? nz : 1); ++k)
      for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
          switch (kind) {
            case GridKind::Tri3:
              elem({Id(i, j), Id(i + 1, j), Id(i + 1, j + 1)});
              elem({Id(i, j), Id(i + 1, j + 1), Id(i, j + 1)});
              break;
            case GridKind::Tri6: {
              const int a = 2 * i, b = 2 * j;
              elem({Id(a, b), Id(a + 2, b), Id(a + 2, b + 2), Id(a + 1, b), Id(a + 2, b + 1), Id(a + 1, b + 1)});
              elem({Id(a, b), Id(a + 2, b + 2), Id(a, b + 2), Id(a + 1, b + 1), Id(a + 1, b + 2), Id(a, b + 1)});
              break;
            }
            case GridKind::Quad4:
              elem({Id(i, j), Id(i + 1, j), Id(i + 1, j + 1), Id(i, j + 1)});
              break;
            case GridKind::Hex8:
              elem({Id(i, j, k), Id(i + 1, j, k), Id(i + 1, j + 1, k), Id(i, j + 1, k), Id(i, j, k + 1),
                    Id(i + 1, j, k + 1), Id(i + 1, j + 1, k + 1), Id(i, j + 1, k + 1)});
              break;
            case GridKind::Tet4: {
              const int c[8] = {Id(i, j, k),         Id(i + 1, j, k),         Id(i + 1, j + 1, k),
                                Id(i, j + 1, k),     Id(i, j, k + 1),         Id(i + 1, j, k + 1),
                                Id(i + 1, j + 1, k + 1), Id(i, j + 1, k + 1)};
              // Six positively oriented tetrahedra around the cell's diagonal 0-6.
              elem({c[0], c[1], c[2], c[6]});
              elem({c[0], c[2], c[3], c[6]});
              elem({c[0], c[3], c[7], c[6]});
              elem({c[0], c[7], c[4], c[6]});
              elem({c[0], c[4], c[5], c[6]});
              elem({c[0], c[5], c[1], c[6]});
              break;
            }
          }
        }
    s << "End Elements\nEndElmSets;\n";
    return s.str();
  }
  const char* TypeWord() const {
    switch (kind) {
      case GridKind::Tri3:
      case GridKind::Tri6: return "Triangle";
      case GridKind::Quad4: return "Quadrilateral";
      case GridKind::Tet4: return "Tetrahedra";
      case GridKind::Hex8: return "Hexahedra";
    }
    return "";
  }
  int NodeCount() const {
    switch (kind) {
      case GridKind::Tri3: return 3;
      case GridKind::Tri6: return 6;
      case GridKind::Quad4: return 4;
      case GridKind::Tet4: return 4;
      case GridKind::Hex8: return 8;
    }
    return 0;
  }
};

/// A fluid domain on a grid, written to a file of this process and read back; the space
/// dimension follows the grid and is set back to 2 at the end.
struct GridCase {
  ScratchClock clock;  // the timing sections of the domain's operations go to a scratch table
  GridLayout layout;
  std::string path;
  std::unique_ptr<FluidCase> c;
  FluidDomain& d;

  explicit GridCase(const GridLayout& g) : layout(g), path(Write(g)), c(Make(g, path)), d(*c->fluid) {
    d.ReadInitialConditions();
  }
  ~GridCase() {
    c.reset();
    std::remove(path.c_str());
    Dimension_Olvu = 2;
  }
  GridCase(const GridCase&) = delete;
  GridCase& operator=(const GridCase&) = delete;

  /// Domain number of lattice point (i, j, k).
  unsigned Node(int i, int j, int k = 0) const { return c->Local(layout.Id(i, j, k)); }
  /// Coordinate k (1 x, 2 y, 3 z) of domain node n.
  double X(unsigned n, unsigned k) const { return (*c->all.get_at(c->toGlobal(n)))(k); }

 private:
  static std::string Write(const GridLayout& g) {
    static int count = 0;
    const std::string p = testing::TempDir() + "olvu_grid_" + std::to_string(getpid()) + "_" + std::to_string(++count) + ".dat";
    WriteFile(p, g.Text());
    return p;
  }
  static std::unique_ptr<FluidCase> Make(const GridLayout& g, const std::string& p) {
    Dimension_Olvu = g.Solid() ? 3 : 2;
    Verbose_Off = 1;  // no notices
    return std::make_unique<FluidCase>(p);
  }
};

}  // namespace olvu_test
