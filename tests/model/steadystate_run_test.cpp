// The steady-state stop through whole runs of the program on the lid-driven cavity at Re 100
// (16 x 16 cells): a run stops when the change of its fields over a whole step falls below
// "SteadyNorm", which only the tolerances of the solved fields lower; the change over the step of
// a field that is no longer finite is not a number; a step far longer than the flow takes to
// cross the cavity gives its steady flow; and neither a steady state nor a converged iteration is
// taken from solves that left a linear system unsolved.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "tests/model/bodycases.h"
#include "tests/model/channelrun.h"

namespace olvu_test {
namespace {

// The cavity of n x n cells, lid speed 1 (its corners belong to the side walls), viscosity 0.01.
FlowRun Cavity(const std::string& dt, int iterations, const std::string& steady, int n = 16) {
  FlowRun f = LidCavity(n, "Solve_NavierStokes SteadyNorm " + steady, 5000, dt);
  f.iterations = iterations;
  return f;
}

// Largest difference of the last velocities of two result files.
double Distance(const std::string& a, const std::string& b) {
  const auto u = LastBlock(a, "VELOCITY"), v = LastBlock(b, "VELOCITY");
  double d = 0;
  for (const auto& [node, x] : u)
    for (std::size_t c = 0; c < 2; ++c) d = std::fmax(d, std::fabs(x[c] - v.at(node)[c]));
  return d;
}

struct Ran {
  Outcome o;
  std::string res;
};

// Largest difference of the last blocks of two result files of the n x n cavity along its
// centrelines: u on the vertical one, v on the horizontal one.
double CentrelineDistance(const GridLayout& g, const std::string& a, const std::string& b) {
  const auto u = LastBlock(a, "VELOCITY"), v = LastBlock(b, "VELOCITY");
  double d = 0;
  for (int k = 0; k <= g.nx; ++k) {
    const int vertical = g.Id(g.nx / 2, k), horizontal = g.Id(k, g.ny / 2);
    d = std::fmax(d, std::fabs(u.at(vertical)[0] - v.at(vertical)[0]));
    d = std::fmax(d, std::fabs(u.at(horizontal)[1] - v.at(horizontal)[1]));
  }
  return d;
}

// Largest less smallest pressure of a result file's last block.
double PressureRange(const std::string& res) {
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  for (const auto& [node, p] : LastBlock(res, "PRESSURE")) lo = std::fmin(lo, p[0]), hi = std::fmax(hi, p[0]);
  return hi - lo;
}


Ran RunIt(const FlowRun& f) {
  Folder dir;
  Ran r;
  r.o = f.Run(dir, r.res);
  EXPECT_EQ(r.o.status, 0) << dir.read("flow.dat.err");
  return r;
}

TEST(SteadyStateRuns, StopOnlyWithinAThousandthOfTheSteadySolution) {
  // Each case against its own steady solution (the same settings run to a step change of 1e-9).
  // The in-step test stopped the first at step 34, 3.3e-3 from it, and the second at step 134,
  // 6.8e-3 from it; now they stop at steps 52 and 240, 5e-4 and 4e-4 from it.
  struct Case {
    const char* what;
    const char* dt;
    int iterations;
    const char* steady;
  } cases[] = {{"increment 0.25, 5 iterations, norm 1e-4", "0.25", 5, "1e-4"},
               {"increment 0.05, 3 iterations, norm 2e-5", "0.05", 3, "2e-5"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FlowRun reference = Cavity(c.dt, c.iterations, "1e-9");
    reference.tol = "1e-9";
    const Ran ref = RunIt(reference);
    const Ran run = RunIt(Cavity(c.dt, c.iterations, c.steady));
    ASSERT_GT(SteadyStepIn(ref.o.out), 0);
    ASSERT_GT(SteadyStepIn(run.o.out), 0);
    EXPECT_LT(Distance(run.res, ref.res), 1e-3);
  }
}

TEST(SteadyStateRuns, AStepLongerThanTheFlowTakesToCrossTheCavityGivesItsSteadyFlow) {
  // Backward Euler at a step far beyond the cavity's crossing time (1.4 s) is the steady flow.
  // Steps of 1e6 s once stopped as "Converged" after 50 to 66 iterations, the pressure standing
  // still (its range 6e-5 against 3.54) and the centreline velocities 0.36 lid speeds off the
  // steady flow; steps of 10 s never converged and ended 0.26 off. Now every step converges (the
  // first after 125 iterations), 2.4e-3 from the steady state of steps of 0.1 s, its pressure
  // range within 0.3%: the steady states of steps of 0.05 s and 0.2 s differ from that one by
  // 5e-3 and 2e-3 on the centrelines, as the stabilisation is bounded by half the step. A run at
  // such steps says what it does.
  const Ran steady = RunIt(Cavity("0.1", 100, "1e-5"));
  ASSERT_GT(SteadyStepIn(steady.o.out), 0);
  struct Case {
    const char* dt;
    int steps;
  } cases[] = {{"1e6", 3}, {"10", 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("steps of ") + c.dt + " s");
    FlowRun f = Cavity(c.dt, 150, "0");
    f.steps = c.steps;
    Folder dir;
    std::string res;
    const Outcome o = f.Run(dir, res);
    ASSERT_EQ(o.status, 0) << dir.read("flow.dat.err");
    EXPECT_EQ(Count(o.out, ": Converged after "), c.steps);
    EXPECT_LT(CentrelineDistance(f.grid, res, steady.res), 5e-3);
    EXPECT_NEAR(PressureRange(res) / PressureRange(steady.res), 1, 0.01);
    const std::string war = dir.read("flow.dat.war");
    EXPECT_NE(war.find("is longer than the flow takes to cross the domain (1.40"), std::string::npos) << war;
    EXPECT_NE(war.find("allow them enough Max_Iterations, or take steps of at most 1.40"), std::string::npos);
  }
}

TEST(SteadyStateRuns, OneIterationPerStepKeepsItsStepCount) {
  // With one iteration the step's change is the iteration's: step 196, as the in-step test had it.
  EXPECT_EQ(SteadyStepIn(RunIt(Cavity("0.25", 1, "1e-4")).o.out), 196);
}

TEST(SteadyStateRuns, OnlyTheToleranceOfSolvedFieldsLowerTheSteadyNorm) {
  // Velocity and pressure tolerances 1e-6 with "SteadyNorm" 1e-7: the unsolved fields' default
  // tolerances (1e-10) once made it 1e-10 and the run 384 steps long; now it stops at 1e-7, as
  // with all six tolerances at 1e-6.
  FlowRun two = Cavity("0.25", 5, "1e-7");
  two.tolerances = "VelConvergenceNorm 1e-6 PreConvergenceNorm 1e-6";
  FlowRun six = Cavity("0.25", 5, "1e-7");
  six.tol = "1e-6";
  FlowRun tight = Cavity("0.25", 5, "1e-10");
  tight.tol = "1e-6";
  const int steps = SteadyStepIn(RunIt(two).o.out);
  EXPECT_EQ(steps, SteadyStepIn(RunIt(six).o.out));
  EXPECT_LT(steps, SteadyStepIn(RunIt(tight).o.out));
}

TEST(SteadyStateRuns, ChangeOfAFieldThatIsNotFiniteIsNotANumber) {
  // The driver stops the run with the divergence message on such a change.
  GridLayout g;
  g.flags = "Solve_NavierStokes Solve_Temperature";
  GridCase c(g);
  FluidDomain& d = c.d;
  d.StartNewStep();
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  struct Field {
    int k, var, var0;
  } fields[] = {{0, VelY, VelY0}, {1, Pres, Pres0}, {2, Temp, Temp0}};
  for (const Field& f : fields) {
    ReaVec& v = d.Var(f.var);
    ReaVec& v0 = d.Var(f.var0);
    v = 0.0, v0 = 0.0;
    v(3) = 0.5;
    EXPECT_GT(d.StepIncrement(f.k), 0) << f.k;
    EXPECT_TRUE(std::isfinite(d.StepIncrement(f.k))) << f.k;
    for (double bad : {inf, -inf, nan}) {
      v(2) = bad;
      EXPECT_TRUE(std::isnan(d.StepIncrement(f.k))) << f.k << " " << bad;
    }
    v = 0.0;
  }
}

TEST(SteadyStateRuns, AStepWithAnUnsolvedSystemIsNotSteady) {
  // Pressure solves cut to one unpreconditioned iteration leave every system unsolved: the fields
  // then change less than "SteadyNorm" per step (at step 268 of the 16 x 16 cavity) while they are
  // still 1.6e-3 from the steady solution, and a diverged solution whose solves no longer reduce
  // its residual stands still as well. Such a step is no steady state: the run goes on to its
  // last step and says why once. Its one iteration is no converged one either: steps 268 to 300
  // said "Converged after 1 iterations"; now they print their step and time alone.
  FlowRun f = Cavity("0.25", 1, "1e-4");
  f.steps = 300;
  f.solvers = "Symmetric Pressure Max_Iter 1 Tolerance 1e-12 Solver ConjugateGradient Preconditioner None;\n";
  Folder dir;
  std::string res;
  const Outcome o = f.Run(dir, res);
  ASSERT_EQ(o.status, 0) << dir.read("flow.dat.err");
  EXPECT_EQ(SteadyStepIn(o.out), 0);
  EXPECT_NE(o.out.find("STEP = 300, TIME = 75\n"), std::string::npos);
  EXPECT_EQ(Count(o.out, ": Converged after "), 0);
  const std::string war = dir.read("flow.dat.war");
  const std::string why = "the fields changed less than SteadyNorm, but 1 linear systems of the step were not solved";
  EXPECT_NE(war.find(why), std::string::npos) << war.substr(0, 2000);
  EXPECT_EQ(war.find(why), war.rfind(why));
}

TEST(SteadyStateRuns, AnIterationThatLeavesASystemUnsolvedIsNotConverged) {
  // Momentum solves cut to one iteration leave both velocity systems unsolved in every iteration
  // of the two steps, yet each iteration moves the velocity less and less: the increments met
  // their tolerances and the steps said "Converged after 143 iterations" and "after 41". Such an
  // iteration is not converged: each step iterates to its limit, says there that its systems
  // were left unsolved and what to do, and the first refusal is explained once. The same card
  // with a limit the solves meet converges as before (after 143 and 37 iterations).
  const std::string card = "NonSymmetric Momentum Tolerance 1e-10 Solver BiConjugateGradient Preconditioner Diagonal ";
  struct Case {
    const char* limit;
    bool starved;
  } cases[] = {{"Max_Iter 1", true}, {"Max_Iter 300", false}};
  const std::string atLimit = "More than 200 iterations may be necessary. Its last iteration left 2 linear systems "
                              "unsolved: raise the Max_Iter of the solver that \"Not Solved\" names";
  const std::string once = "the fields met their convergence tolerances, but 2 linear systems of the iteration were "
                           "not solved";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    FlowRun f = Cavity("0.25", 200, "0");
    f.steps = 2;
    f.solvers = card + c.limit + ";\n";
    Folder dir;
    std::string res;
    const Outcome o = f.Run(dir, res);
    ASSERT_EQ(o.status, 0) << dir.read("flow.dat.err");
    const std::string war = dir.read("flow.dat.war");
    EXPECT_EQ(Count(o.out, ": Converged after "), c.starved ? 0 : 2);
    EXPECT_EQ(Count(o.out, atLimit), c.starved ? 2 : 0);
    EXPECT_EQ(Count(war, atLimit), c.starved ? 2 : 0);
    EXPECT_EQ(Count(war, once), c.starved ? 1 : 0);
    EXPECT_EQ(war.find("Not Solved") != std::string::npos, c.starved);
  }
}

}  // namespace
}  // namespace olvu_test
