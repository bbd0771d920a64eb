// Field solves with fixed unknowns under every solver setting a user may name, through whole
// runs of the program: the Poiseuille channel with a fixed outlet pressure (the pressure system
// keeps its fixed nodes out of the columns too, so it stays symmetric positive definite and
// conjugate gradients with incomplete Cholesky converge) and the momentum solves with fixed
// velocities under every non-symmetric method and preconditioner.
#include <gtest/gtest.h>

#include <string>

#include "tests/model/channelrun.h"

namespace olvu_test {
namespace {

std::string Card(const char* kind, const std::string& words) {
  return words.empty() ? "" : std::string(kind) + " Max_Iter 500 Tolerance 1e-10 " + words + ";\n";
}

TEST(FixedPressureRuns, PoiseuilleChannelIsExactUnderEveryPressureSolver) {
  // 40 x 10 triangles from the exact profile u = 4 y (1 - y) at rest pressure: the discrete steady
  // state is the profile itself at the nodes with dp/dx = -0.8; time increment 0.05, tolerances
  // and steady norm 1e-9. Before the fixed pressures left the columns, conjugate gradients with
  // incomplete Cholesky missed every pressure solve and the run stopped singular.
  const std::string settings[] = {"Solver ConjugateGradient Preconditioner IC",
                                  "Solver ConjugateGradient Preconditioner Diagonal",
                                  "Solver StabBiConjugateGradient Preconditioner ILU",
                                  "Solver GMRes Preconditioner ILU", ""};
  for (const std::string& s : settings) {
    SCOPED_TRACE(s.empty() ? "default settings" : s);
    Folder dir;
    FlowRun f = Channel(1, "0");
    f.grid.flags = "Solve_NavierStokes SteadyNorm 1e-9";
    f.grid.initial = "Function VelocityX \"4*Y*(1-Y)\" [m/s];\n";
    f.tol = "1e-9";
    f.dt = "0.05";
    f.steps = 100;
    f.solvers = Card("Symmetric Pressure", s);
    std::string res;
    const Outcome o = f.Run(dir, res);
    EXPECT_EQ(o.status, 0) << dir.read("flow.dat.err");
    EXPECT_FALSE(dir.exists("flow.dat.err"));
    EXPECT_EQ(dir.read("flow.dat.war").find("Not Solved"), std::string::npos);
    EXPECT_NE(o.out.find("Steady State Found"), std::string::npos);
    EXPECT_TRUE(dir.exists("flow.dat.rst"));
    const ChannelResult r = Measure(f.grid, res);
    EXPECT_LE(r.velocityError, 1e-8);
    EXPECT_NEAR(r.gradient, -0.8, 1e-8);
    EXPECT_NEAR(r.outlet, 0, 1e-12);
  }
}

TEST(FixedVelocityRuns, MomentumSolvesAgreeUnderEveryMethodAndPreconditioner) {
  // The channel of 20 x 5 cells starting at rest, 20 steps of 0.1 s: every non-symmetric method
  // with every preconditioner gives the velocities of GMRES with incomplete LU at 1e-12 to 1e-8.
  // (Conjugate gradients assume a symmetric matrix, which convection is not: they are left out.)
  auto run = [](const std::string& momentum, Folder& dir, std::string& res) {
    FlowRun f = Channel(1, "0", "", 20, 5);
    f.grid.flags = "Solve_NavierStokes";
    f.tol = "1e-8";
    f.dt = "0.1";
    f.steps = 20;
    f.solvers = "NonSymmetric Momentum Max_Iter 300 Tolerance " + momentum + ";\n";
    return f.Run(dir, res);
  };
  Folder refDir;
  std::string refRes;
  ASSERT_EQ(run("1e-12 Solver GMRes Kdim 30 Preconditioner ILU", refDir, refRes).status, 0);
  const auto ref = LastBlock(refRes, "VELOCITY");
  for (const char* method : {"BiConjugateGradient", "StabBiConjugateGradient", "SquaredConjugateGradient", "GMRes"})
    for (const char* pre : {"ILU", "IC", "Diagonal", "None"}) {
      SCOPED_TRACE(std::string(method) + " " + pre);
      Folder dir;
      std::string res;
      const Outcome o = run(std::string("1e-10 Solver ") + method + " Preconditioner " + pre, dir, res);
      EXPECT_EQ(o.status, 0) << dir.read("flow.dat.err");
      EXPECT_EQ(dir.read("flow.dat.war").find("Not Solved"), std::string::npos);
      const auto v = LastBlock(res, "VELOCITY");
      ASSERT_EQ(v.size(), ref.size());
      double diff = 0;
      for (const auto& [node, u] : ref)
        for (std::size_t c = 0; c < 2; ++c) diff = std::fmax(diff, std::fabs(v.at(node)[c] - u[c]));
      EXPECT_LE(diff, 1e-8);
    }
}

}  // namespace
}  // namespace olvu_test
