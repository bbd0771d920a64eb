// The run after set-up: start-up intervals, the time loop with its iteration control, steady-state
// test and acceleration runs, and the final output.
#include <cmath>
#include <iostream>
#include <sstream>

#include "domain/fluiddomain.h"
#include "domain/resultblock.h"
#include "driver/problem.h"
#include "driver/totaldomain.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "solvers/solversetting.h"
#include "input/function.h"
#include "input/input.h"
#include "input/types.h"
#include "input/units.h"

StartUpFactors StartUpRamp(int i, int n, bool ramped, bool speed) {
  const double pi = std::acos(-1.0);
  const double sb = std::sin((i - 1) * pi / (2 * n));
  const double sf = std::sin(i * pi / (2 * n));
  double b = sb * sb;
  double f = i < n ? sf * sf : 1.0;
  StartUpFactors k;
  k.initial = f;
  if (!ramped) f = b = 1;
  k.accelerate = speed ? (b > 0 ? f / b : f) : 1.0;
  return k;
}

double Problem::TimeIncrement(double t, double prev, double interval, int step) {
  const double dt = Time_Func->evaluate(t, prev, interval, step);
  // NaN and infinity fail as well as a value at or below the limit.
  if (!(dt >= 1e-14) || !std::isfinite(dt)) OLVU_FATAL("Too Small Time Increment found\n");
  return dt;
}

void Problem::NextTimeIncrement() {
  Ref_Time_Increment = Run_Time_Increment;
  Run_Time_Increment = TimeIncrement(Total_Time, Ref_Time_Increment, Interval_Time, Current_Step);
}

namespace {

// A turbulence model whose eddy viscosity ended at its lower limit on every node carries no
// turbulence: the run's answer is a laminar flow, which a steady state or the last step would
// otherwise report as any other answer.
void ReportLaminarEnd(FluidDomain& d) {
  if (!d.Solves(PTurbulence)) return;
  const ReaVec& nut = d.Var(TVisc);
  // Slot 10 of the limits is the eddy viscosity's.
  if (nut.length() == 0 || MinValue.length() < 11) return;
  const double floor = MinValue(11);
  for (unsigned i = 1; i <= nut.length(); ++i)
    if (!(nut(i) <= floor)) return;
  std::ostringstream text;
  text << "STEP = " << Current_Step - 1 << ", TIME = " << OutPut_Time << ": The eddy viscosity is at its lower limit ("
       << floor * OutputFactor(KinematicViscosity) << ") on every node: the turbulence has died out, the flow is laminar";
  OLVU_WARNING(0, text.str());
  std::cout << text.str() << std::endl;
}

}  // namespace

void Problem::Run() {
  SolveInitialPhase();
  OutputInitialData();
  while (Current_Step <= Number_of_Steps) {
    {
      Clock clock("Interval Calculations");
      StartNewStep();
      SolveStep();
      FinishStep();
      OutputResults();
      CheckIfNewRun();
    }
    ++Current_Step;
  }
  if (fluidDomain) ReportLaminarEnd(*fluidDomain);
  OutputFinalResults();
  EndProblem();
}

void Problem::SolveInitialPhase() {
  Initial_Step = 1;
  Start_Phase = Start_Up;
  if (Current_Step == 1) {
    if (Start_Phase) {
      Clock clock("Divergency Free Initial Calculations");
      if (fluidDomain) {
        OLVU_NOTICE("Initialising Pressure & Velocity Fields");
        fluidDomain->StartNewStep();
        fluidDomain->InitialiseVelocityPressure();
      }
    }
    const int n = Initial_Steps;
    for (Initial_Step = 1; Initial_Step <= Initial_Steps; ++Initial_Step) {
      Clock clock("Initial Interval Calculations");
      const StartUpFactors k = StartUpRamp(Initial_Step, n, Start_Phase != 0,
                                           IsSpeedStartUp(static_cast<StartUpType>(startUpType)) != 0);
      Initial_Factor = k.initial;
      Accelerate_Factor = k.accelerate;
      NextTimeIncrement();
      if (fluidDomain) fluidDomain->StartNewStep();
      if (solidDomain) solidDomain->StartNewStep();
      SolveStep();
      FinishStep();
    }
  }
  Run_Time_Increment = Ref_Time_Increment;
  Accelerate_Factor = 1;
  Initial_Factor = 1;
}

void Problem::SolveStep() {
  Solver::reset_unsolved();  // the steady-state test asks whether this step solved every system
  SolvePreUncoupledProblem();
  do {
    StartNewIteration();
    SolveCoupledProblem();
  } while (!HasConverged());
  SolvePostUncoupledProblem();
  CheckSteadyState();
}

void Problem::StartNewStep() {
  Clock clock("Initialising New Time Step");
  std::cout << "****************** Initialising New Time Step ******************" << std::endl;
  Start_Phase = 0;
  Initial_Phase = 0;
  NextTimeIncrement();
  Prev_Time = Total_Time;
  Total_Time += Run_Time_Increment;
  Interval_Time += Run_Time_Increment;
  const double f = OutputFactor(Time);
  OutPut_Time = Total_Time * f;
  POutPut_Time = Prev_Time * f;
  if (fluidDomain) fluidDomain->StartNewStep();
  if (solidDomain) solidDomain->StartNewStep();
}

void Problem::StartNewIteration() {
  if (fluidDomain) fluidDomain->StartNewIteration();
  if (solidDomain) solidDomain->StartNewIteration();
}

bool Problem::HasConverged() {
  Clock clock("Checking Convergence");
  const bool r = totalDomain->HasConverged() != 0;
  if (Initial_Phase) {
    ++Iterations;
    if (!r && Iterations <= 2) return false;
    OLVU_NOTICE("INITIAL PHASE: " << Initial_Step << " of " << Initial_Steps);
    Iterations = 1;
    return true;
  }
  if (r) {
    OLVU_NOTICE("STEP = " << Current_Step << ", TIME = " << OutPut_Time << ": Converged after " << Iterations
                          << " iterations.");
    std::cout << "STEP = " << Current_Step << ", TIME = " << OutPut_Time << ": Converged after " << Iterations
              << " iterations." << std::endl;
    Iterations = 1;
    return true;
  }
  if (++Iterations <= Max_Iterations) return false;
  if (Max_Iterations > 1) {
    std::ostringstream text;
    text << "STEP = " << Current_Step << ", TIME = " << OutPut_Time << ": More than " << Max_Iterations
         << " iterations may be necessary.";
    // More iterations do not help a system its solver cannot solve: the warning says which it is.
    if (const int unsolved = totalDomain->UnsolvedSystems())
      text << " Its last iteration left " << unsolved << " linear systems unsolved: " << kUnsolvedAdvice << ".";
    OLVU_WARNING(0, text.str());
    std::cout << text.str() << std::endl;
  } else {
    OLVU_NOTICE("STEP = " << Current_Step << ", TIME = " << OutPut_Time);
    std::cout << "STEP = " << Current_Step << ", TIME = " << OutPut_Time << std::endl;
  }
  Iterations = 1;
  return true;
}

void Problem::CheckSteadyState() {
  if (!totalDomain->CheckSteadyState()) return;
  OLVU_NOTICE("STEP = " << Current_Step << ", TIME = " << OutPut_Time << ": Steady State Found.");
  std::cout << "STEP = " << Current_Step << ", TIME = " << OutPut_Time << ": Steady State Found." << std::endl;
  outputStep = 1;
  Number_of_Steps = 0;
  Initial_Steps = 0;
}

void Problem::FinishStep() {
  Clock clock("Finishing Time Step");
  if (fluidDomain) fluidDomain->FinishStep();
  if (solidDomain) solidDomain->FinishStep();
}

void Problem::CheckIfNewRun() {
  std::cout << "****************** Finishing  This  Time Step ******************" << std::endl;
  if (Current_Step < Number_of_Steps || newRunIndex >= static_cast<int>(newRunVelocities.length())) return;
  OLVU_NOTICE("Starting Acceleration Phase");
  if (outputStep > stepsNewRun) outputStep = stepsNewRun;
  Start_Phase = 1;
  Initial_Step = 1;
  Initial_Phase = 1;
  if (Initial_Steps <= 0) Initial_Steps = stepsNewRun / 10 + 1;
  const double ratio = newRunVelocities(static_cast<unsigned>(newRunIndex) + 1) /
                       newRunVelocities(static_cast<unsigned>(newRunIndex));
  ++newRunIndex;
  for (Initial_Step = 1; Initial_Step <= Initial_Steps; ++Initial_Step) {
    Clock clock("Acceleration Interval Calculations");
    Accelerate_Factor = Initial_Step == 1 ? ratio : 1;
    if (fluidDomain) fluidDomain->StartNewStep();
    if (solidDomain) solidDomain->StartNewStep();
    SolvePreUncoupledProblem();
    do SolveCoupledProblem();
    while (!HasConverged());
    SolvePostUncoupledProblem();
  }
  Number_of_Steps += stepsNewRun;
}

void Problem::SolvePreUncoupledProblem() {
  if (fluidDomain || solidDomain) totalDomain->SolvePreUncoupledProblem();
}

void Problem::SolveCoupledProblem() {
  if (fluidDomain || solidDomain) totalDomain->SolveCoupledProblem();
}

void Problem::SolvePostUncoupledProblem() {
  if (fluidDomain || solidDomain) totalDomain->SolvePostUncoupledProblem();
}

void Problem::EndProblem() { input->Exist("EndProblem"); }
