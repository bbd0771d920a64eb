// Phi and species problems: a Phi problem with the temperature's coefficients against the
// temperature itself, the limits, the inner iterations and norms, volume conservation and the
// restart of their fields, in process and through runs of the program.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "domain/fluiddomain.h"
#include "domain/phiproblem.h"
#include "foundation/declarations.h"
#include "solvers/solversetting.h"
#include "tests/driver/run_olvu.h"
#include "tests/model/channelrun.h"
#include "tests/model/gridcase.h"
#include "tests/model/resblocks.h"

namespace {

using olvu_test::FluidCase;
using olvu_test::Folder;
using olvu_test::GridLayout;
using olvu_test::WriteFile;

// `text` with every `from` replaced by `to`.
std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// A grid's data `t` with one Phi problem whose capacity, convection and diffusivity are those of
// the temperature (rho c = 6, conductivity 0.5) and whose initial value is 0.
std::string WithPhi(std::string t, const std::string& phiCard) {
  t = Replace(t, "Integration_Scheme Backward_Euler;\n", "Integration_Scheme Backward_Euler;\n" + phiCard + ";\n");
  t = Replace(t, "EndInitialDataFunctions;\n", "EndInitialDataFunctions;\nVariableInitialData 1 \"0\";\n");
  return Replace(t, "Name Grid;\nPhysicalPropertiesFunctions;\n",
                 "Name Grid;\nVariablesProperties;\nF1t \"6\" [1/m3] F1c \"6\" [1/m3] F2 \"0.5\" [1/m.s] F3 \"0\" [1/m3.s] F4 \"0\" "
                 "[1/m3.s];\nEndVariablesProperties;\nPhysicalPropertiesFunctions;\n");
}

// The grid's fluid block with that Phi problem.
std::string PhiLikeTemperature(const GridLayout& g, const std::string& phiCard) { return WithPhi(g.Text(), phiCard); }

TEST(PhiProblems, ReproduceTheFluidTemperature) {
  // Convection along x at speed 1 and diffusion, 1 at x = 0 and 0 at x = 1: five steps of the
  // temperature and of the Phi problem from the same start agree to 1e-10 at every node.
  olvu_test::ScratchClock clock;
  GridLayout g;
  g.nx = 8, g.ny = 2;
  g.flags = "Solve_Temperature Solve_PhiProblems";
  g.properties = "Function Density \"2\" [Kg/m3];\nFunction SpecificHeat \"3\" [J/Kg.Gt];\n"
                 "Function Conductivity \"0.5\" [W/m.Gt];\n";
  const std::string path = testing::TempDir() + "olvu_phi_like_t.dat";
  WriteFile(path, PhiLikeTemperature(g, "NewPhiDefinition Index 1 Name Scalar"));
  Verbose_Off = 1;
  FluidCase c(path);
  FluidDomain& d = *c.fluid;
  d.ReadInitialConditions();
  PhiProblem& p = *d.GiveVariable(1);
  for (int j = 0; j <= g.ny; ++j)
    for (int i : {0, g.nx}) {
      const unsigned n = c.Local(g.Id(i, j));
      const double v = i == 0 ? 1.0 : 0.0;
      d.Cond(FixTemp).bound_mark(n);
      d.Var(Temp)(n) = d.Var(Temp0)(n) = v;
      p.FixCondition(int(n), 1, v);
    }
  d.Var(VelX) = 1.0;
  d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
  Run_Time_Increment = 0.05;
  for (int step = 0; step < 5; ++step) {
    d.StartNewStep();
    d.SolveTemperature();
    p.SolveFluidPhi();
    d.FinishStep();
  }
  double err = 0, peak = 0;
  for (unsigned n = 1; n <= d.Var(Temp).length(); ++n) {
    err = std::fmax(err, std::fabs(d.Var(Temp)(n) - p.Phi_t()(n)));
    peak = std::fmax(peak, std::fabs(d.Var(Temp)(n)));
  }
  EXPECT_LT(err, 1e-10);
  EXPECT_GT(peak, 0.5);  // the field moved
  std::remove(path.c_str());
}

TEST(PhiProblems, VolumeConservationHoldsTheTotalInAClosedBox) {
  // A cell of recirculating flow, psi = sin^2(pi x) sin^2(pi y), still on the walls of the unit
  // box, carries phi = exp(-20 r^2) around (12 x 12 triangles, dt 0.02, 15 steps, little
  // diffusion). Nothing crosses the walls: with the correction sum m phi changes by at most
  // 0.01 x the norm per step; without it the stabilised convection lets it drift beyond that.
  auto drift = [](int conserve) {
    olvu_test::ScratchClock clock;
    GridLayout g;
    g.nx = 12, g.ny = 12;
    g.flags = "Solve_NavierStokes Solve_PhiProblems";
    std::string text = PhiLikeTemperature(g, "NewPhiDefinition Index 1 Name Blob Convergence_Norm 1e-3 "
                                             "Volume_Conservation " + std::to_string(conserve));
    text = Replace(text, "F2 \"0.5\"", "F2 \"1e-4\"");
    text = Replace(text, "VariableInitialData 1 \"0\"", "VariableInitialData 1 \"exp(-20*((X-0.3)^2+(Y-0.5)^2))\"");
    const std::string path = testing::TempDir() + "olvu_phi_box.dat";
    WriteFile(path, text);
    Verbose_Off = 1;
    Initial_Phase = 1;  // as the driver reads the initial data
    FluidCase c(path);
    FluidDomain& d = *c.fluid;
    d.ReadInitialConditions();
    Initial_Phase = 0;
    PhiProblem& p = *d.GiveVariable(1);
    const double pi = 3.141592653589793;
    for (int i = 0; i <= g.nx; ++i)
      for (int j = 0; j <= g.ny; ++j) {
        const unsigned n = c.Local(g.Id(i, j));
        const double x = double(i) / g.nx, y = double(j) / g.ny;
        d.Var(VelX)(n) = pi * std::pow(std::sin(pi * x), 2) * std::sin(2 * pi * y);
        d.Var(VelY)(n) = -pi * std::sin(2 * pi * x) * std::pow(std::sin(pi * y), 2);
      }
    d.CalcConvectiveMatrixes(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
    Run_Time_Increment = 0.02;
    auto total = [&] { return dot(d.LumpedMass(), p.Phi_t()); };
    double worst = 0;
    const double start = total();
    for (int step = 0; step < 15; ++step) {
      const double before = total();
      d.StartNewStep();
      p.SolveFluidPhi();
      d.FinishStep();
      for (unsigned n = 1; n <= p.Phi_t().length(); ++n) EXPECT_TRUE(std::isfinite(p.Phi_t()(n))) << n;
      worst = std::fmax(worst, std::fabs(total() - before) / before);
    }
    EXPECT_GT(start, 0.1);
    std::remove(path.c_str());
    return worst;
  };
  EXPECT_LE(drift(1), 0.01 * 1e-3 * (1 + 1e-9));
  EXPECT_GT(drift(0), 0.01 * 1e-3);
}

// ---------------------------------------------------------------- program runs

const char* const kGeneral =
    "GeneralData Number_of_Steps 4 Time_Increment \"0.05\" [s] OutPut_Step 2 Max_Iterations 3;";

// Values by node of the last result block `name` of a .res text.
std::map<int, double> LastBlock(const std::string& res, const std::string& name) {
  std::map<int, double> v;
  const auto at = res.rfind("Result \"" + name + "\"");
  if (at == std::string::npos) return v;
  const auto values = res.find("Values\n", at) + 7;
  std::istringstream in(res.substr(values, res.find("End Values", values) - values));
  int id;
  double x;
  while (in >> id >> x) v[id] = x;
  return v;
}

// A 6 x 2 strip with a species made by its set (source 1 inside, no reaction, diffusivity 0.1)
// and the Phi problem `card` (value 2 on the left boundary), both solved with the solver card.
std::string SpeciesStrip(const std::string& card, const std::string& solver, const std::string& extra = "") {
  GridLayout g;
  g.nx = 6, g.ny = 2;
  g.flags = "Solve_Concentration Solve_PhiProblems";
  std::string t = g.Problem(kGeneral, "", "ToleranceData;");
  t = Replace(t, "Integration_Scheme Backward_Euler;\n", "Integration_Scheme Backward_Euler;\n" + card + ";\n");
  t = Replace(t, "EndInitialDataFunctions;\n",
              "EndInitialDataFunctions;\nSpeciesInitialData 1 \"0\";\nVariableInitialData 1 \"1\";\n" + solver);
  t = Replace(t, "Name Grid;\nPhysicalPropertiesFunctions;\n",
              "Name Grid;\nSpeciesProperties;\nF1 \"1\" F2 \"0.1\" [m2/s] F3 \"0\" [1/s] F4 \"-1+2*(X>0.3)\" [1/s] F5 \"0\" [s];\n"
              "EndSpeciesProperties;\nVariablesProperties;\nF1t \"1\" [1/m3] F1c \"1\" [1/m3] F2 \"0.1\" [1/m.s] "
              "F3 \"0\" [1/m3.s] F4 \"0\" [1/m3.s];\nEndVariablesProperties;\nPhysicalPropertiesFunctions;\n");
  std::ostringstream bc;
  for (int j = 0; j <= g.ny; ++j) bc << "Node " << g.Id(0, j) << " Phi 2 Index 1;\n";
  return Replace(t, "EndBoundary;", bc.str() + extra + "EndBoundary;");
}

TEST(PhiProblems, SpeciesStaysNonNegativeUnderEverySolverPair) {
  // The species of the set has a sink on its left half: it would go negative there, but its
  // lower limit is 0. The Phi problem holds 2 on its left edge and 1 elsewhere at the start: its
  // values stay in [1, 2] and every pair reaches the same fields.
  const char* const pairs[][2] = {{"BiConjugateGradient", "Diagonal"}, {"StabBiConjugateGradient", "ILU"},
                                  {"GMRES", "ILU"},                    {"StabBiConjugateGradient", "None"},
                                  {"ConjugateGradient", "IC"},         {"ConjugateGradient", "Diagonal"}};
  std::map<int, double> first;
  for (const auto& pr : pairs) {
    Folder f;
    const std::string solver = std::string("NonSymmetric Scalar Max_Iter 500 Tolerance 1e-12 Solver ") + pr[0] +
                               " Preconditioner " + pr[1] + ";\nSymmetric Diffusion Max_Iter 500 Tolerance 1e-12 "
                               "Solver ConjugateGradient Preconditioner Diagonal;\n";
    f.write("s.dat", SpeciesStrip("NewPhiDefinition Index 1 Name Tracer MinLimit 0 MaxLimit 5", solver));
    const auto r = f.olvu({"-name", "s.dat"});
    ASSERT_EQ(r.status, 0) << pr[0] << " " << pr[1] << f.read("s.dat.err");
    const std::string res = f.read("s.dat.res");
    const auto spc = LastBlock(res, "Species_1"), phi = LastBlock(res, "Tracer");
    ASSERT_EQ(spc.size(), 21u) << pr[0];
    ASSERT_EQ(phi.size(), 21u) << pr[0];
    double lowest = 1e100, highest = -1e100;
    for (const auto& [id, v] : spc) lowest = std::fmin(lowest, v), highest = std::fmax(highest, v);
    EXPECT_GE(lowest, 0.0) << pr[0] << " " << pr[1];
    EXPECT_GT(highest, 0.0) << pr[0] << " " << pr[1];
    for (const auto& [id, v] : phi) {
      EXPECT_GE(v, 1.0 - 1e-12) << id;
      EXPECT_LE(v, 2.0 + 1e-12) << id;
    }
    if (first.empty()) first = phi;
    for (const auto& [id, v] : phi) EXPECT_NEAR(v, first[id], 1e-5) << pr[0] << " " << pr[1] << " node " << id;
    EXPECT_EQ(f.read("s.dat.war").find("Not Solved"), std::string::npos) << pr[0] << " " << pr[1];
  }
}

TEST(PhiProblems, IncrementControlOfTheFlowLeavesThemAlone) {
  // "Control_Increment" limits the change per iteration of the flow's own fields; the Phi and
  // species solves clamp only to their bounds, so the fields end where they end without it (one
  // iteration per step, which that limit would otherwise hold to a small move).
  std::map<int, double> last[2][2];
  for (int control = 0; control < 2; ++control) {
    Folder f;
    std::string data = Replace(SpeciesStrip("NewPhiDefinition Index 1 Name Tracer", ""), "Max_Iterations 3",
                               "Max_Iterations 1");
    if (control) data = Replace(data, "Solve_PhiProblems", "Solve_PhiProblems Control_Increment High");
    f.write("s.dat", data);
    ASSERT_EQ(f.olvu({"-name", "s.dat"}).status, 0) << f.read("s.dat.err");
    last[control][0] = LastBlock(f.read("s.dat.res"), "Tracer");
    last[control][1] = LastBlock(f.read("s.dat.res"), "Species_1");
  }
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(last[0][k].size(), 21u);
    for (const auto& [id, v] : last[0][k]) EXPECT_EQ(last[1][k].at(id), v) << k << " node " << id;
  }
}

TEST(PhiProblems, BoundaryValueBeyondTheLimitsIsFatal) {
  Folder f;
  f.write("s.dat", SpeciesStrip("NewPhiDefinition Index 1 Name Tracer MaxLimit 1.5", ""));
  const auto r = f.olvu({"-name", "s.dat"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(f.read("s.dat.err").find("Wrong boundary conditions found for Tracer.\nGiven value 2 exceeds defined "
                                     "limits (-1e+100 , 1.5)."),
            std::string::npos)
      << f.read("s.dat.err");
  // A value equal to the limit is accepted.
  f.write("s.dat", SpeciesStrip("NewPhiDefinition Index 1 Name Tracer MaxLimit 2", ""));
  EXPECT_EQ(f.olvu({"-name", "s.dat"}).status, 0) << f.read("s.dat.err");
}

TEST(PhiProblems, InnerIterationsAndConvergenceNormAreHonoured) {
  // Each Phi solve prints its ratio once per coupled iteration; each solve opens the problem's
  // section twice (assembly and solve), so its use count is 2 x inner iterations x iterations. A
  // norm of 1 accepts the first iteration of every step.
  struct Counts {
    int ratios = 0, iterations = 0, uses = 0;
  };
  auto run = [](const std::string& card) {
    Folder f;
    f.write("s.dat", SpeciesStrip(card, ""));
    const auto r = f.olvu({"-name", "s.dat"});
    EXPECT_EQ(r.status, 0) << f.read("s.dat.err");
    Counts c;
    for (std::size_t at = r.out.find("VarIncrRatio(Tracer)"); at != std::string::npos;
         at = r.out.find("VarIncrRatio(Tracer)", at + 1))
      ++c.ratios;
    for (std::size_t at = r.out.find("Converged after "); at != std::string::npos; at = r.out.find("Converged after ", at + 1))
      c.iterations += std::atoi(r.out.c_str() + at + 16);
    c.uses = olvu_test::TimingUses(f.read("s.dat.tim"), "Solving Tracer");
    return c;
  };
  const Counts strict = run("NewPhiDefinition Index 1 Name Tracer Convergence_Norm 1e-14");
  const Counts loose = run("NewPhiDefinition Index 1 Name Tracer Convergence_Norm 1");
  // The species of the set (norm 0.001) needs a second iteration per step; the strict Tracer more.
  EXPECT_EQ(loose.iterations, 8);
  EXPECT_GT(strict.iterations, loose.iterations);
  EXPECT_EQ(loose.uses, 2 * loose.iterations);
  EXPECT_EQ(strict.uses, 2 * strict.iterations);
  const Counts inner = run("NewPhiDefinition Index 1 Name Tracer Convergence_Norm 1 InnerIterations 3");
  EXPECT_EQ(inner.iterations, loose.iterations);
  EXPECT_EQ(inner.ratios, loose.ratios);  // the ratio is asked once per iteration
  EXPECT_EQ(inner.uses, 2 * 3 * inner.iterations);
}

TEST(PhiProblems, RestartRoundTripsTheFields) {
  // Two steps, then a restart to four: the restarted run ends where the straight run ends.
  Folder straight, split;
  const std::string card = "NewPhiDefinition Index 1 Name Tracer";
  straight.write("s.dat", SpeciesStrip(card, ""));
  ASSERT_EQ(straight.olvu({"-name", "s.dat"}).status, 0) << straight.read("s.dat.err");
  split.write("s.dat", Replace(SpeciesStrip(card, ""), "Number_of_Steps 4", "Number_of_Steps 2"));
  ASSERT_EQ(split.olvu({"-name", "s.dat"}).status, 0) << split.read("s.dat.err");
  const std::string rst = split.read("s.dat.rst");
  EXPECT_NE(rst.find("\t_Phi_t_ 1\t\tlen = 21;"), std::string::npos) << rst;
  EXPECT_NE(rst.find("\t_Con_t_ 1\t\tlen = 21;"), std::string::npos) << rst;
  split.write("s.dat", Replace(SpeciesStrip(card, ""), "Max_Iterations 3", "Max_Iterations 3 Restart"));
  ASSERT_EQ(split.olvu({"-name", "s.dat"}).status, 0) << split.read("s.dat.err");
  for (const char* block : {"Tracer", "Species_1"}) {
    const auto a = LastBlock(straight.read("s.dat.res"), block), b = LastBlock(split.read("s.dat.res"), block);
    ASSERT_EQ(a.size(), 21u) << block;
    for (const auto& [id, v] : a) EXPECT_NEAR(b.at(id), v, 1e-6 * (1 + std::fabs(v))) << block << " " << id;
  }
  // A species number that names no species problem is refused.
  split.write("s.dat.rst", Replace(rst, "_Con_t_ 1", "_Con_t_ 2"));
  const auto r = split.olvu({"-name", "s.dat"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(split.read("s.dat.err").find("Restart data error. Wrong vector ID for Concentration."), std::string::npos);
}

TEST(PhiProblems, SteadyStateIsTheChangeOverTheStep) {
  // The Tracer spreads from its left edge over many steps, each converged to 1e-12 within up to
  // 30 iterations: the last iteration's change is tiny from the first step on, the change over a
  // step is not until the field has settled. The run must not stop at the first step.
  Folder f;
  std::string t = SpeciesStrip("NewPhiDefinition Index 1 Name Tracer Convergence_Norm 1e-12", "");
  t = Replace(t, kGeneral, "GeneralData Number_of_Steps 400 Time_Increment \"0.05\" [s] OutPut_Step 400 Max_Iterations 30;");
  // Only the Tracer: the species of the set, fed by its source, never settles.
  t = Replace(t, "Solve_Concentration Solve_PhiProblems", "Solve_PhiProblems SteadyNorm 1e-4");
  t = Replace(t, "SpeciesInitialData 1 \"0\";\n", "");
  f.write("s.dat", t);
  const auto r = f.olvu({"-name", "s.dat"});
  ASSERT_EQ(r.status, 0) << f.read("s.dat.err");
  const auto at = r.out.find(": Steady State Found.");
  ASSERT_NE(at, std::string::npos);
  const auto step = r.out.rfind("STEP = ", at);
  const int found = std::atoi(r.out.c_str() + step + 7);
  // Diffusion 0.1 over the strip's length 1 settles in a few seconds: tens of steps of 0.05 s.
  EXPECT_GT(found, 20);
  EXPECT_LT(found, 400);
}

TEST(PhiProblems, BoundaryUnitsScaleTheBoundaryValues) {
  // The Tracer's left edge given as 2 without units, as 200 in percent and 0.002 in kilometres:
  // every run stores 2 there and ends with the same fields.
  const std::pair<const char*, const char*> units[] = {{"", "2"}, {" Boundary_Units [%]", "200"},
                                                       {" Boundary_Units [Km]", "0.002"}};
  std::map<int, double> first;
  for (const auto& [word, value] : units) {
    Folder f;
    f.write("s.dat", Replace(SpeciesStrip(std::string("NewPhiDefinition Index 1 Name Tracer") + word, ""),
                             "Phi 2 Index 1", std::string("Phi ") + value + " Index 1"));
    ASSERT_EQ(f.olvu({"-name", "s.dat"}).status, 0) << word << f.read("s.dat.err");
    const auto phi = LastBlock(f.read("s.dat.res"), "Tracer");
    ASSERT_EQ(phi.size(), 21u) << word;
    EXPECT_EQ(phi.at(1), 2.0) << word;
    if (first.empty()) first = phi;
    for (const auto& [id, v] : phi) EXPECT_EQ(v, first.at(id)) << word << " node " << id;
  }
}

// The strip [0, 1] x [0, 1/8] of 8 cells, no capacity nor convection, diffusivity 0.25 for the
// Phi problem Tracer and the species Salt, both 0 at x = 0; the body set Wall on the edge x = 1
// with the lines `blocks` between its card and its functions.
std::string FluxStrip(const std::string& blocks) {
  GridLayout g;
  g.nx = 8, g.ny = 1, g.ly = 0.125;
  g.flags = "Solve_PhiProblems Solve_Concentration";
  std::string t = g.Problem(kGeneral, "", "ToleranceData PhiConvergenceNorm 1e-10 ConConvergenceNorm 1e-10;");
  t = Replace(t, "Integration_Scheme Backward_Euler;\n",
              "Integration_Scheme Backward_Euler;\nNewPhiDefinition Index 1 Name Tracer;\n"
              "NewSpecDefinition Index 1 Name Salt;\n");
  t = Replace(t, "EndInitialDataFunctions;\n",
              "EndInitialDataFunctions;\nSpeciesInitialData 1 \"0\";\nVariableInitialData 1 \"0\";\n"
              "NonSymmetric Scalar Max_Iter 500 Tolerance 1e-13 Solver StabBiConjugateGradient Preconditioner ILU;\n");
  t = Replace(t, "Name Grid;\nPhysicalPropertiesFunctions;\n",
              "Name Grid;\nSpeciesProperties;\nF1 \"0\" F2 \"0.25\" [m2/s] F3 \"0\" [1/s] F4 \"0\" [1/s] "
              "F5 \"0\" [s];\n"
              "EndSpeciesProperties;\nVariablesProperties;\nF1t \"0\" [1/m3] F1c \"0\" [1/m3] F2 \"0.25\" [1/m.s] "
              "F3 \"0\" [1/m3.s] F4 \"0\" [1/m3.s];\nEndVariablesProperties;\nPhysicalPropertiesFunctions;\n");
  t = Replace(t, "End Elements\nEndElmSets;\n",
              "End Elements\nSet 2 Type Body ElmType Linear NNode 2 Name Wall None_Wall;\n" + blocks +
                  "PhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\nElements\n1 " +
                  std::to_string(g.Id(8, 0)) + " " + std::to_string(g.Id(8, 1)) + "\nEnd Elements\nEndElmSets;\n");
  std::ostringstream bc;
  for (int j = 0; j <= 1; ++j)
    bc << "Node " << g.Id(0, j) << " Phi 0 Index 1;\nNode " << g.Id(0, j) << " Conc 0 Index 1;\n";
  return Replace(t, "EndBoundary;", bc.str() + "EndBoundary;");
}

TEST(PhiProblems, BodySetFluxesFeedTheStrip) {
  // The flux q enters at x = 1 and the flux reaction g takes g phi there: D phi' = q - g phi(1),
  // so phi(1) = q / (D + g) and phi is linear. q = 0.5, D = 0.25: g = 0.25 gives 1 (Tracer),
  // g = 0 gives 2 (Salt).
  Folder f;
  f.write("s.dat", FluxStrip("SpeciesProperties;\nFlux_Spc \"0.5\" [m/s] Reac_Spc \"0\" [m/s];\n"
                             "EndSpeciesProperties;\nVariablesProperties;\nFlux_Phi \"0.5\" [1/m2.s] "
                             "Reac_Phi \"0.25\" [1/m2.s];\nEndVariablesProperties;\n"));
  ASSERT_EQ(f.olvu({"-name", "s.dat"}).status, 0) << f.read("s.dat.err");
  const std::string res = f.read("s.dat.res");
  for (const auto& [block, end] : {std::pair{"Tracer", 1.0}, std::pair{"Salt", 2.0}}) {
    const auto v = LastBlock(res, block);
    ASSERT_EQ(v.size(), 18u) << block;
    for (int i = 0; i <= 8; ++i)
      for (int j = 0; j <= 1; ++j) EXPECT_NEAR(v.at(1 + i + 9 * j), end * i / 8, 1e-6) << block << " " << i;
  }
}

// The result blocks of the last time of a .res text, as written.
std::string LastTime(const std::string& res) {
  std::string time;
  std::size_t first = std::string::npos;
  for (std::size_t at = res.find("Result \""); at != std::string::npos; at = res.find("Result \"", at + 1)) {
    std::istringstream head(res.substr(at, res.find('\n', at) - at));
    std::string word, name, label, t;
    head >> word >> name >> label >> t;
    if (t != time) time = t, first = at;
  }
  return first == std::string::npos ? "" : res.substr(first);
}

TEST(PhiProblems, RestartedRunsGoOnAsTheUnbrokenOnes) {
  // Each problem run for 2n steps, and for n steps then restarted to 2n: the last results agree
  // to the last printed digit. A Phi blob carried round the lid cavity with its volume kept, the
  // species and the Tracer of the strip, the k-epsilon channel.
  using Text = std::function<std::string(int steps)>;
  const Text blob = [](int steps) {
    const olvu_test::FlowRun f = olvu_test::LidCavity(6, "Solve_NavierStokes Solve_PhiProblems", steps, "0.1");
    std::string t = WithPhi(f.Text(), "NewPhiDefinition Index 1 Name Blob Volume_Conservation 1");
    t = Replace(t, "F2 \"0.5\"", "F2 \"1e-3\"");
    return Replace(t, "VariableInitialData 1 \"0\"", "VariableInitialData 1 \"exp(-20*((X-0.3)^2+(Y-0.6)^2))\"");
  };
  const Text strip = [](int steps) {
    const std::string n = std::to_string(steps);
    return Replace(SpeciesStrip("NewPhiDefinition Index 1 Name Tracer", ""),
                   "Number_of_Steps 4 Time_Increment \"0.05\" [s] OutPut_Step 2",
                   "Number_of_Steps " + n + " Time_Increment \"0.05\" [s] OutPut_Step " + n);
  };
  const Text channel = [](int steps) {
    olvu_test::FlowRun f = olvu_test::Channel(1, "0",
                                              "Solve_K_Epsilon KenrMinimum 0.01 KenrMaximum 10 EpslMinimum 0.01 "
                                              "EpslMaximum 10 TVscMinimum 0.01 TVscMaximum 100",
                                              20, 6);
    f.steps = steps, f.dt = "0.1";
    f.grid.initial = "Function EddyKineticEnergy \"0.01\" [m2/s2];\nFunction EddyLength \"0.05\" [m];\n";
    return f.Text();
  };
  const struct {
    const char* name;
    Text text;
    int n;
  } cases[] = {{"Phi with volume conservation", blob, 2}, {"species", strip, 2}, {"k-epsilon channel", channel, 4}};
  for (const auto& c : cases) {
    Folder straight, split;
    straight.write("s.dat", c.text(2 * c.n));
    ASSERT_EQ(straight.olvu({"-name", "s.dat"}).status, 0) << c.name << straight.read("s.dat.err");
    split.write("s.dat", c.text(c.n));
    ASSERT_EQ(split.olvu({"-name", "s.dat"}).status, 0) << c.name << split.read("s.dat.err");
    split.write("s.dat", Replace(c.text(2 * c.n), "Max_Iterations", "Restart Max_Iterations"));
    ASSERT_EQ(split.olvu({"-name", "s.dat"}).status, 0) << c.name << split.read("s.dat.err");
    const std::string last = LastTime(straight.read("s.dat.res")), restarted = LastTime(split.read("s.dat.res"));
    EXPECT_NE(last.find("Values"), std::string::npos) << c.name;
    // The first line that differs, if any.
    std::istringstream a(last), b(restarted);
    for (std::string x, y; std::getline(a, x) && std::getline(b, y);) ASSERT_EQ(y, x) << c.name;
    EXPECT_EQ(restarted.size(), last.size()) << c.name;
  }
}

TEST(TransportFaults, EachStopsWithItsMessageAndKeepsTheRestartFile) {
  // A turbulence model without the flow, a null-gradient node without a direction, a boundary
  // unit that is no unit and a body set without the flux of a Phi problem: exit 1, the message in
  // .err, the restart file of an earlier run intact.
  GridLayout flowless;
  flowless.flags = "Solve_Temperature Solve_K_Epsilon";
  GridLayout cavity;
  cavity.nx = cavity.ny = 6;
  cavity.flags = "Solve_NavierStokes";
  std::string lid;
  for (int i = 0; i <= 6; ++i)
    for (int j = 0; j <= 6; ++j)
      if (i == 0 || i == 6 || j == 0 || j == 6)
        lid += "Node " + std::to_string(cavity.Id(i, j)) + " Velc " + (j == 6 ? "1" : "0") + " 0 0;\n";
  const struct {
    std::string data, message;
  } cases[] = {
      {flowless.Problem(kGeneral, "", "ToleranceData;"),
       "Turbulence model Solve_K_Epsilon needs the velocity solve: give Solve_NavierStokes, "
       "Solve_NStoFractionalStep or Solve_Stokes with it\n"},
      {cavity.Problem(kGeneral, lid + "Node " + std::to_string(cavity.Id(3, 4)) + " Symm 1;\n", "ToleranceData;"),
       "Do not exist index 32 in Plex Fixed Gradient Variables\n"},
      {SpeciesStrip("NewPhiDefinition Index 1 Name Tracer Boundary_Units [km]", ""),
       "\"[km]\" is not a unit symbol of any type.\nWrong units definition.\n"},
      {FluxStrip("SpeciesProperties;\nFlux_Spc \"0.5\" [m/s] Reac_Spc \"0\" [m/s];\nEndSpeciesProperties;\n"),
       "Properties of species Tracer not found in set Wall\n"},
  };
  for (const auto& c : cases) {
    Folder f;
    const std::string rst = "Problem;\nStep 1 Time 0.5;\nEndProblem;\n";
    f.write("s.dat.rst", rst);
    f.write("s.dat", c.data);
    EXPECT_EQ(f.olvu({"-name", "s.dat"}).status, 1) << c.message;
    EXPECT_EQ(f.read("s.dat.err"), olvu_test::ErrFile(c.message));
    EXPECT_EQ(f.read("s.dat.rst"), rst);
  }
}

}  // namespace
