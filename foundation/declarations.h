// Problem-wide run state shared by the subsystems: dimension, time and step counters,
// time factors, start-up controls, reference lengths and velocities, turbulence limits,
// unit systems, gravity, node numbering maps and the convergence vectors.
#pragma once

#include <string>

#include "foundation/intvec.h"
#include "foundation/reavec.h"

class UFunction;
class Units;

/// Returns every problem-wide global to its start value: the globals below, the verbosity and
/// report-file names, the scratch pool and the timing table. Borrowed pointers are only forgotten.
/// For a fresh run in the same process (every test starts with it).
void ResetRunState();

/// Space dimension, 2 or 3.
extern int Dimension_Olvu;

/// The user's time-increment function.
extern UFunction* Time_Func;
/// Current time.
extern double Total_Time;
/// Current time in output units, written in result blocks.
extern double OutPut_Time;
/// Time of the previous step.
extern double Prev_Time;
/// Previous output time.
extern double POutPut_Time;
/// Time since the start of the current interval.
extern double Interval_Time;
/// Time increment of the running step.
extern double Run_Time_Increment;
/// Reference time increment of the initial phase.
extern double Ref_Time_Increment;
/// Automatic time-increment factor of the convergence test.
extern double AutoFact_Time_Increment;

/// Number of steps of the run.
extern int Number_of_Steps;
/// Current step.
extern int Current_Step;
/// First step of the run.
extern int Initial_Step;
/// Steps of the initial phase.
extern int Initial_Steps;
/// Iterations made in the current step.
extern int Iterations;
/// Iteration limit per step.
extern int Max_Iterations;

/// 1 while the initial phase runs.
extern int Initial_Phase;
/// Start-up kind.
extern int Start_Up;
/// 1 while the start-up phase runs.
extern int Start_Phase;
/// Ramp factor of the initial phase.
extern double Initial_Factor;
/// Ramp factor of an acceleration run.
extern double Accelerate_Factor;

/// Smoothing of the initial fields requested.
extern int Smooth_Field;
/// Background-mesh output requested.
extern int Refine_Mesh;
/// Old form of the law of the wall requested.
extern int OldLawOfTheWall;
/// Wall-law forces requested.
extern int GiveWallLawForces;
/// Concentration count of the fluid restart reader.
extern int NConcentration;

/// Mean velocity of the flow.
extern double AverVelocity;
/// Largest velocity of the flow (the word "maxV" of user functions).
extern double Max_Velocity;

/// Mean element length.
extern double AverLength;
/// Largest element length.
extern double Max_Length;
/// Smallest element length.
extern double Min_Length;
/// Median element length.
extern double Med_Length;
/// Characteristic length.
extern double Char_Length;
/// Pseudoconcentration length.
extern double Psed_Length;
/// Smallest element extent along x.
extern double Min_XLength;
/// Smallest element extent along y.
extern double Min_YLength;
/// Smallest element extent along z.
extern double Min_ZLength;
/// Smallest wall distance.
extern double MinDistance;

/// Reynolds number.
extern double ReynoldsN;
/// Boundary-layer thickness.
extern double BoundlayerT;
/// Volume of the fluid domain.
extern double Fluid_Volume;
/// Volume of the solid domain.
extern double Solid_Volume;
/// Reference density of the body forces (-1 until read).
extern double Dens_Reference;

/// Turbulence production limit.
extern double Pk_LIMIT;
/// Turbulence reaction limits.
extern double Re_LIMIT, Pe_LIMIT, Rw_LIMIT, Pw_LIMIT, Rv_LIMIT, Pv_LIMIT;
/// Bounds of the turbulent viscosity.
extern double TVscMinimum, TVscMaximum;
/// Bounds of the turbulent kinetic energy.
extern double KenrMinimum, KenrMaximum;
/// Bounds of the dissipation rate.
extern double EpslMinimum, EpslMaximum;
/// Bounds of the specific dissipation rate.
extern double OmegMinimum, OmegMaximum;
/// Bounds of the k-tau time scale.
extern double KtauMinimum, KtauMaximum;

/// Gravity acceleration.
extern double Gravity;
/// Output units of results, forces and movements.
extern Units* ExternalUnits;
/// Internal units of every dimensioned value.
extern Units* InternalUnits;
/// Units word of the node coordinates in the data file ("[m]" unless "CoordinateUnits" says otherwise).
extern std::string GeometryExternalUnits;

/// Signed reference velocity vector of the fluid domain.
extern ReaVec Signed_Velocity;
/// Reference velocity vector of the fluid domain.
extern ReaVec Reference_Velocity;
/// Per-variable minimum reference values.
extern ReaVec MinValue;
/// Per-variable maximum reference values.
extern ReaVec MaxValue;
/// Per-variable mean reference values.
extern ReaVec MedValue;
/// Gravity direction.
extern ReaVec GravityDirection;
/// Gravity vector.
extern ReaVec GravVec;
/// Vector of the fluid general data used by force, hydrostatic and free-surface code.
extern ReaVec FStatic;
/// Results selection.
extern IntVec WriteResultsData;
/// Entries of the convergence tables VarIncrement, VarDenominat, VarTolerance and VarIncrRatio
/// (0-based, Count entries); the others are unused.
enum class ConvVar : unsigned {
  Velocity = 0,
  Pressure = 1,
  Temperature = 2,
  Concentration = 4,
  Elevation = 11,  // the free-surface elevation beta ("BetConvergenceNorm")
  Body = 12,       // the wall velocity of the moving bodies (tested against the velocity's tolerance)
  Turbulence = 14,
  Phi = 21,
  Count = 23
};
/// Entry v of the convergence table t (one of the four below).
inline double& Conv(ReaVec& t, ConvVar v) { return t[static_cast<unsigned>(v)]; }
/// Whether convergence table t has entry v.
inline bool HasConv(const ReaVec& t, ConvVar v) { return t.length() > static_cast<unsigned>(v); }
/// Convergence increments per solution variable.
extern ReaVec VarIncrement;
/// Convergence denominators per solution variable.
extern ReaVec VarDenominat;
/// Convergence tolerances per solution variable.
extern ReaVec VarTolerance;
/// Convergence ratios per solution variable.
extern ReaVec VarIncrRatio;
/// Problem node to fluid node.
extern IntVec GlobalToFluid;
/// Fluid node to problem node.
extern IntVec FluidToGlobal;
/// Problem node to solid node.
extern IntVec GlobalToSolid;
/// Solid node to problem node.
extern IntVec SolidToGlobal;
