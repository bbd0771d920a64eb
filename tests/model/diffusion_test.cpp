// Diffusion of the transported scalars: with a diffusivity that varies in space every equation
// form converges to the exact steady profile at second order; with a uniform one the systems keep
// the bits they had before the node-pair form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "domain/phiproblem.h"
#include "domain/soliddomain.h"
#include "foundation/declarations.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"
#include "tests/driver/run_olvu.h"
#include "tests/model/gridcase.h"
#include "tests/model/solidcase.h"

namespace {

using olvu_test::GridCase;
using olvu_test::GridLayout;

// A solid strip [0, 1] x [0, ly] of nx x ny cells of two triangles, conductivity (kxx, kxy, kyy),
// with the boundary lines `boundary`.
std::string SolidStrip(int nx, int ny, const std::string& kxx, const std::string& kxy, const std::string& kyy,
                       const std::string& boundary, double ly = 1) {
  std::string t = "Nodes;\n";
  auto id = [nx](int i, int j) { return j * (nx + 1) + i + 1; };
  char line[128];
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) {
      std::snprintf(line, sizeof line, "%d %.17g %.17g 0\n", id(i, j), double(i) / nx, ly * j / ny);
      t += line;
    }
  t += "SolidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
       "EndInitialDataFunctions;\nElmSets;\nSet 1 Type Solid ElmType Triangle NNode 3 Name Strip;\n"
       "PhysicalPropertiesFunctions;\nFunction SolidDensity \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
       "Function ConductivityXX \"" + kxx + "\" [W/m.Gt];\nFunction ConductivityXY \"" + kxy +
       "\" [W/m.Gt];\nFunction ConductivityYY \"" + kyy + "\" [W/m.Gt];\nEndPhysicalPropertiesFunctions;\nElements\n";
  int e = 0;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      std::snprintf(line, sizeof line, "%d %d %d %d\n%d %d %d %d\n", e + 1, id(i, j), id(i + 1, j), id(i + 1, j + 1),
                    e + 2, id(i, j), id(i + 1, j + 1), id(i, j + 1));
      t += line, e += 2;
    }
  return t + "End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n" + boundary +
         "EndBoundary;\n";
}

// FNV-1a over the bytes of n doubles, continuing from h.
std::uint64_t Hash(std::uint64_t h, const double* v, std::size_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(v);
  for (std::size_t k = 0; k < n * sizeof(double); ++k) h = (h ^ p[k]) * 1099511628211ull;
  return h;
}
std::uint64_t Hash(const SparseMatrix& A, const ReaVec& b) {
  return Hash(Hash(14695981039346656037ull, A.val(0), std::size_t(A.numnonzeros())), b.GivePointer(), b.length());
}

// The bits of the systems of one uniform diffusivity on a 12 x 12 grid of triangles in a
// rotating flow, every other coefficient varying: the plain form, the temperature's capacity
// form, the Phi problems' form with two weights, and the solid's conduction.
struct UniformSystems {
  std::uint64_t plain = 0, temperature = 0, capacity = 0, solid = 0;
  UniformSystems() {
    GridLayout g;
    g.nx = g.ny = 12;
    g.flags = "Solve_NavierStokes";
    GridCase t(g);
    FluidDomain& d = t.d;
    const unsigned n = unsigned(d.numNodes);
    for (ReaVec* v : {&VarIncrement, &VarDenominat, &VarTolerance, &VarIncrRatio}) v->resize(23, 0.0);
    Max_Velocity = 1, Initial_Phase = 0, Run_Time_Increment = 0.5, Iterations = 1;
    d.StartNewStep();
    ReaVec u(n), u0(n), s(n), r(n), c(n), c2(n), D(n, 0.05), b(n, 0.0);
    for (unsigned i = 1; i <= n; ++i) {
      const double x = t.X(i, 1), y = t.X(i, 2);
      d.Var(VelX)(i) = -(y - 0.5), d.Var(VelY)(i) = x - 0.5;
      u(i) = 1 + x * x, u0(i) = 1 + x * y, s(i) = 0.1 * y, r(i) = 0.2 + x;
      c(i) = 1 + x, c2(i) = 2 - y;
    }
    d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
    d.AssembleSystem(u, u0, s, D, r, b, 1);
    plain = Hash(*d.SystemMatrix(0), b);
    d.AssembleSystem(u, u0, c, s, D, r, b, 1);
    temperature = Hash(*d.SystemMatrix(0), b);
    d.AssembleSystem(u, u0, c, c2, s, D, r, b, 1);
    capacity = Hash(*d.SystemMatrix(0), b);
    solid = SolidSystem();
  }
  // The solid's conduction on the same grid, the tensor (2, 0.5, 1) uniform.
  static std::uint64_t SolidSystem() {
    olvu_test::ScratchClock clock;
    const std::string path = testing::TempDir() + "olvu_uniform_solid.dat";
    olvu_test::WriteFile(path, SolidStrip(12, 12, "2", "0.5", "1", ""));
    olvu_test::SolidCase c(path);
    SolidDomain& d = *c.solid;
    const unsigned n = unsigned(d.numNodes);
    ReaVec q(n), x0(n), s(n), r(n), f(n, 0.0), K[NSolidComponents];
    for (ReaVec& k : K) k.resize(n, 0.0);
    K[0] = 2.0, K[1] = 0.5, K[2] = 1.0;
    for (unsigned i = 1; i <= n; ++i) {
      const double x = (*c.all.get_at(int(i)))(1), y = (*c.all.get_at(int(i)))(2);
      q(i) = 1 + x, x0(i) = 1 + x * y, s(i) = 0.1 * y, r(i) = 0.2 + x;
    }
    SystemSparseMatrix* A = d.SystemMatrix(0);
    d.AssembleConduction(q, x0, K, s, true, &r, A, f);
    std::remove(path.c_str());
    return Hash(*A, f);
  }
};

TEST(UniformDiffusivity, SystemsKeepTheirBits) {
  // Recorded with the row-scaled diffusion, which a uniform diffusivity must reproduce exactly.
  const UniformSystems s;
  EXPECT_EQ(s.plain, 0x812338b7ffb43f66ull);
  EXPECT_EQ(s.temperature, 0x1462202693473ad2ull);
  EXPECT_EQ(s.capacity, 0x4fbcbf65a68319f5ull);
  EXPECT_EQ(s.solid, 0xcd58ad548c666c9eull);
}

// ---------------------------------------------------------------- a diffusivity 1 + x

// The strip [0, 1] x [0, 1/cells] of `cells` square cells of two triangles, diffusivity 1 + x,
// 0 at x = 0 and 1 at x = 1, steady (no capacity, or one step of 1e10 s): its profile is
// ln(1 + x) / ln 2. The row-scaled diffusion gave x on every mesh, 0.086 away.
enum class Form { Phi, FluidTemperature, Plain, SolidTemperature };

double Exact(double x) { return std::log1p(x) / std::log(2.0); }

const char* const kSolvers =
    "NonSymmetric Scalar Max_Iter 2000 Tolerance 1e-13 Solver StabBiConjugateGradient Preconditioner ILU;\n"
    "Symmetric Diffusion Max_Iter 2000 Tolerance 1e-13 Solver ConjugateGradient Preconditioner IC;\n";

// The clamp, tolerance and denominator of the temperature; one iteration per step.
void TemperatureGlobals() {
  for (ReaVec* v : {&VarIncrement, &VarDenominat, &VarTolerance, &VarIncrRatio, &MinValue, &MaxValue})
    v->resize(23, 0.0);
  MinValue(3) = 0, MaxValue(3) = 1, VarTolerance(3) = 1e-6, VarDenominat(3) = 1;
  Max_Iterations = 1, Iterations = 1, Initial_Phase = 0;
  Run_Time_Increment = 1e10;
}

// The largest nodal error of the fluid domain's forms: the Phi problem (capacity form, no
// capacity), the temperature (its own form) and the plain form of the turbulence variables.
double FluidError(Form form, int cells) {
  olvu_test::ScratchClock clock;
  GridLayout g;
  g.nx = cells, g.ny = 1, g.ly = 1.0 / cells;
  g.flags = "Solve_Temperature Solve_PhiProblems";
  g.properties = "Function Density \"1\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
                 "Function Conductivity \"1+X\" [W/m.Gt];\n";
  std::string t = olvu_test::Replace(g.Text(), "Integration_Scheme Backward_Euler;\n",
                                     "Integration_Scheme Backward_Euler;\nNewPhiDefinition Index 1 Name Scalar;\n");
  t = olvu_test::Replace(t, "EndInitialDataFunctions;\n",
                         std::string("EndInitialDataFunctions;\nVariableInitialData 1 \"0\";\n") + kSolvers);
  t = olvu_test::Replace(t, "Name Grid;\n", "Name Grid;\nVariablesProperties;\nF1t \"0\" [1/m3] F1c \"0\" [1/m3] "
                                             "F2 \"1+X\" [1/m.s] F3 \"0\" [1/m3.s] F4 \"0\" [1/m3.s];\n"
                                             "EndVariablesProperties;\n");
  const std::string path = testing::TempDir() + "olvu_log_profile.dat";
  olvu_test::WriteFile(path, t);
  Verbose_Off = 1;
  olvu_test::FluidCase c(path);
  FluidDomain& d = *c.fluid;
  d.ReadInitialConditions();
  const unsigned n = unsigned(d.numNodes);
  PhiProblem& p = *d.GiveVariable(1);
  ReaVec x(n), u(n, 0.0), u0(n, 0.0), D(n), b(n, 0.0), none;
  BitVec ends(n);
  for (int j = 0; j <= 1; ++j)
    for (int i : {0, cells}) {
      const unsigned k = c.Local(g.Id(i, j));
      ends.bound_mark(k);
      d.Cond(FixTemp).bound_mark(k);
      d.Var(Temp)(k) = d.Var(Temp0)(k) = u(k) = i == cells;
      p.FixCondition(int(k), 1, double(i == cells));
    }
  TemperatureGlobals();
  d.StartNewStep();
  d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
  switch (form) {
    case Form::Phi: p.SolveFluidPhi(), x = p.Phi_t(); break;
    case Form::FluidTemperature: d.SolveTemperature(), x = d.Var(Temp); break;
    default: {
      for (unsigned k = 1; k <= n; ++k) D(k) = 1 + (*c.all.get_at(c.toGlobal(k)))(1);
      d.AssembleSystem(u, u0, none, D, none, b, 0);
      d.SystemMatrix(0)->Fix_Eliminate(ends, u, b);
      d.giveSolver1st()->solve(b, u, d.SystemMatrix(0), 1, "Plain");
      x = u;
    }
  }
  double err = 0;
  for (unsigned k = 1; k <= n; ++k) err = std::fmax(err, std::fabs(x(k) - Exact((*c.all.get_at(c.toGlobal(k)))(1))));
  std::remove(path.c_str());
  return err;
}

// The same on a solid strip, the isotropic conductivity 1 + x.
double SolidError(int cells) {
  olvu_test::ScratchClock clock;
  std::string boundary;
  for (int j = 0; j <= 1; ++j)
    for (int i : {0, cells})
      boundary += "Node " + std::to_string(j * (cells + 1) + i + 1) + " Temp " + (i ? "1" : "0") + ";\n";
  std::string t = SolidStrip(cells, 1, "1+X", "0", "1+X", boundary, 1.0 / cells);
  t = olvu_test::Replace(t, "EndInitialDataFunctions;\n", std::string("EndInitialDataFunctions;\n") + kSolvers);
  const std::string path = testing::TempDir() + "olvu_log_profile_solid.dat";
  olvu_test::WriteFile(path, t);
  Verbose_Off = 1;
  olvu_test::SolidCase c(path);
  SolidDomain& d = *c.solid;
  d.ReadInitialConditions();
  TemperatureGlobals();
  d.StartNewStep();
  d.SolveTemperature();
  double err = 0;
  for (int k = 1; k <= c.all.count; ++k)
    err = std::fmax(err, std::fabs(d.Var(Temp)(c.Local(k)) - Exact((*c.all.get_at(k))(1))));
  std::remove(path.c_str());
  return err;
}

TEST(VariableDiffusivity, EveryFormConvergesToTheLogProfileAtSecondOrder) {
  // Node-pair means of a linear diffusivity are exact at the pairs' midpoints: second order,
  // 1.9e-5 at 20 cells.
  const std::pair<Form, const char*> forms[] = {{Form::Phi, "Phi"},
                                                {Form::FluidTemperature, "fluid temperature"},
                                                {Form::Plain, "turbulence variable"},
                                                {Form::SolidTemperature, "solid temperature"}};
  for (const auto& [f, name] : forms) {
    double e[3];
    for (int k = 0; k < 3; ++k) e[k] = f == Form::SolidTemperature ? SolidError(20 << k) : FluidError(f, 20 << k);
    EXPECT_LT(e[0], 2e-3) << name;
    for (int k = 0; k < 2; ++k) EXPECT_GT(std::log2(e[k] / e[k + 1]), 1.8) << name << ": " << e[k] << " " << e[k + 1];
  }
}

}  // namespace
