// The run driver: reads the problem-wide part of the data file, creates and initialises the fluid,
// solid and total domains, runs the start-up phase and the time loop, writes the result, restart,
// force and movement files, and runs the tools.
#pragma once

#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/plex.h"
#include "foundation/reavec.h"
#include "mesh/node.h"

class Input;
class FluidDomain;
class TotalDomain;

/// Ramp factors of one start-up interval.
struct StartUpFactors {
  double initial = 1;     ///< Initial_Factor: sin^2 of the interval's share of a quarter turn
  double accelerate = 1;  ///< Accelerate_Factor: this interval's factor over the previous one
};

/// Factors of start-up interval i of n: `ramped` while the start phase is on, `speed` for a "Speed"
/// or "Both" start-up (otherwise the acceleration factor is 1).
StartUpFactors StartUpRamp(int i, int n, bool ramped, bool speed);

/// One problem: a solve happens entirely while it is created; a tool problem runs `ExecuteTool`.
class Problem {
 public:
  /// Solves the problem of the data file read by `in` (borrowed), whose outputs are named `name`.EXT.
  Problem(Input* in, const char* name);
  /// A tool problem for the data-file name `name` (may be null) and the tool `tool`; a tool that
  /// reads the data file requires the name.
  Problem(const char* name, const char* tool);
  /// Deletes the total domain; the fluid and solid domains live to the end of the process.
  ~Problem();
  Problem(const Problem&) = delete;
  Problem& operator=(const Problem&) = delete;

  /// Runs the tool `tool` with its arguments; returns the tool's result.
  int ExecuteTool(const char* tool, const std::vector<std::string>& args);

 private:
  // Set-up.

  /// Problem-wide cards: first card, units, general, physical and results-selection data.
  void InitialiseProblem();
  /// Nodes, restart step and time, the fluid and solid domains and the total domain.
  void CreateDomain();
  /// The domains' initialisation; then the result files are emptied and the result-file header written.
  void InitialiseDomain();
  /// The "GeneralData" card.
  void ReadGeneralData();
  /// The "PhysicalData" card.
  void ReadPhysicalData();
  /// The optional "WriteResultsData" card.
  void ReadResultsSelection();

  // Start-up phase and time loop.

  /// The whole run after set-up.
  void Run();
  /// Start-up intervals at step 1 (no time advance).
  void SolveInitialPhase();
  /// The solves of one step or start-up interval: before, iterated to acceptance, after; then the
  /// steady-state test.
  void SolveStep();
  /// Time increment, time and output times of a new step; the domains' new step.
  void StartNewStep();
  /// The user's time increment for (time, previous increment, interval time, step); fatal
  /// "Too Small Time Increment found" below 1e-14 or not finite.
  static double TimeIncrement(double t, double prev, double interval, int step);
  /// Keeps the increment in force as the previous one and evaluates the next at the current time.
  void NextTimeIncrement();
  /// The domains' start of a nonlinear iteration.
  void StartNewIteration();
  /// Iteration control of a step or interval: true when the step is accepted.
  bool HasConverged();
  /// Steady-state test; on success the run ends after this step.
  void CheckSteadyState();
  /// The domains' end of step.
  void FinishStep();
  /// Starts an acceleration run at the last step of a run while run velocities remain.
  void CheckIfNewRun();
  /// Solves before the iterations.
  void SolvePreUncoupledProblem();
  /// One coupled iteration.
  void SolveCoupledProblem();
  /// Solves after the iterations.
  void SolvePostUncoupledProblem();
  /// Asks the reader whether the current card holds "EndProblem" (the answer is not used).
  void EndProblem();

  // Tools.

  /// The set-up of a solve (domains created and initialised, files emptied) without its run and
  /// without reading a restart file.
  void SetUpForTool();
  /// Writes the element sets whose type is one of `kinds` (null-ended) to NAME.out.msh, reading the
  /// data file as the solve does; `tool` names the tool in the message for a missing node block.
  void WriteMeshTool(const char* tool, const char* const* kinds);
  /// Rebuilds NAME.rst from the last VELOCITY, PRESSURE and TEMPERATURE blocks of NAME.res.bak.
  void CreateRstTool();
  /// Writes the weighted average of every PRESSURE or TEMPERATURE block of NAME.res.bak.
  void WriteAverageTool();

  // Output files.

  /// Lets `write` add result blocks to the result file and hands them to it; when a block held a
  /// non-finite value, cuts the file back to where it stood before and ends the run (fatal).
  template <class Write>
  void WriteResults(Write write);
  /// Initial-data blocks of the domains into the result file.
  void OutputInitialData();
  /// Results, restart, force and movement output of one step.
  void OutputResults();
  /// Final results and the structural-program, background-mesh and sink-and-trim files.
  void OutputFinalResults();
  /// Rewrites the restart file.
  void OutputRestart();
  /// Adds to `out` (`name`.EXT) a line of the time `t` and what `write` of each domain adds to it.
  void OutputLine(std::ofstream& out, const char* ext, double t, void (FluidDomain::*write)(std::ostream&));
  /// The data-file name followed by `ext`.
  std::string FileName(const char* ext) const { return fileName + ext; }
  /// Opens `name`.EXT for appending (fatal when it cannot be opened).
  void Append(std::ofstream& out, const char* ext) const;
  /// Closes `name`.EXT; fatal when a write to it failed, so no output is lost unreported.
  void Close(std::ofstream& out, const char* ext) const;
  /// Hands what was written to `name`.EXT to the file; fatal when a write to it failed.
  void Flush(std::ofstream& out, const char* ext) const;
  /// `out` open on `name`.EXT for appending: opened at its first use and kept for the run.
  std::ofstream& Kept(std::ofstream& out, const char* ext) const;
  /// Opens `name`.EXT emptied (fatal when it cannot be opened).
  void Create(std::ofstream& out, const char* ext) const;
  /// Creates `name`.EXT empty (fatal when it cannot be created).
  void NewFile(const char* ext) const;

  std::unique_ptr<TotalDomain> totalDomain;  ///< created by CreateDomain, deleted with the problem
  std::unique_ptr<FluidDomain> fluidDomain;  ///< null without a fluid definition; lent to the total domain
  std::unique_ptr<FluidDomain> solidDomain;  ///< the solid domain (a kind of fluid domain); null without one
  Input* input = nullptr;              ///< the data-file reader: borrowed in a solve, ownedInput in a tool
  std::unique_ptr<Input> ownedInput;   ///< the reader a tool problem opened itself
  Plex<Node>* allNodes = nullptr;      ///< "All the Nodes of the geometry": the problem-wide node table
  std::string fileName;                ///< the data-file name; every output file is this name + extension
  int outputStep = 1;                  ///< "OutPut_Step"
  int outputStart = 0;                 ///< "OutPut_Start" (0: every output step writes)
  int restart = 0;                     ///< 1 when "Restart" is given
  int stepsNewRun = 0;                 ///< "StepsNewRunVelocities"
  int newRunIndex = 1;                 ///< 1-based index of the run velocity in force
  ReaVec newRunVelocities;             ///< the "NewRunVelocities" list
  int startUpType = 0;                 ///< "Start_Up_Control": 0 none, 1 Speed, 2 Time, 3 Both
  // The files written at every step stay open for the run and are flushed after each write, so a
  // step costs no reopening and a fatal error loses nothing written before it.
  std::ofstream resFile;  ///< the result file
  std::ofstream forFile;  ///< the force table
  std::ofstream movFile;  ///< the movement table
};
