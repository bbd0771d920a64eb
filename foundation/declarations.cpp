#include "foundation/declarations.h"

#include "foundation/alloc.h"
#include "foundation/clock.h"
#include "foundation/error.h"

// Every problem-wide scalar with its start value: the definitions and ResetRunState
// both read this one list.
#define OLVU_RUN_SCALARS(X) \
  X(int, Dimension_Olvu, 2) \
  X(UFunction*, Time_Func, nullptr) \
  X(double, Total_Time, 0.0) \
  X(double, OutPut_Time, 0.0) \
  X(double, Prev_Time, 0.0) \
  X(double, POutPut_Time, 0.0) \
  X(double, Interval_Time, 0.0) \
  X(double, Run_Time_Increment, 0.0) \
  X(double, Ref_Time_Increment, 0.0) \
  X(double, AutoFact_Time_Increment, 1.0) \
  X(int, Number_of_Steps, 0) \
  X(int, Current_Step, 0) \
  X(int, Initial_Step, 0) \
  X(int, Initial_Steps, 0) \
  X(int, Iterations, 0) \
  X(int, Max_Iterations, 0) \
  X(int, Initial_Phase, 1) \
  X(int, Start_Up, 0) \
  X(int, Start_Phase, 0) \
  X(double, Initial_Factor, 1.0) \
  X(double, Accelerate_Factor, 1.0) \
  X(int, Smooth_Field, 0) \
  X(int, Refine_Mesh, 0) \
  X(int, OldLawOfTheWall, 0) \
  X(int, GiveWallLawForces, 0) \
  X(int, NConcentration, 0) \
  X(double, AverVelocity, 0.0) \
  X(double, Max_Velocity, 0.0) \
  X(double, AverLength, 0.0) \
  X(double, Max_Length, 0.0) \
  X(double, Min_Length, 0.0) \
  X(double, Med_Length, 0.0) \
  X(double, Char_Length, 0.0) \
  X(double, Psed_Length, 0.0) \
  X(double, Min_XLength, 0.0) \
  X(double, Min_YLength, 0.0) \
  X(double, Min_ZLength, 0.0) \
  X(double, MinDistance, 0.0) \
  X(double, ReynoldsN, 0.0) \
  X(double, BoundlayerT, 0.0) \
  X(double, Fluid_Volume, 0.0) \
  X(double, Solid_Volume, 0.0) \
  X(double, Dens_Reference, -1.0) \
  X(double, Pk_LIMIT, 20.0) \
  X(double, Re_LIMIT, 200.0) \
  X(double, Pe_LIMIT, 2000.0) \
  X(double, Rw_LIMIT, 2000.0) \
  X(double, Pw_LIMIT, 2000.0) \
  X(double, Rv_LIMIT, 2000.0) \
  X(double, Pv_LIMIT, 2000.0) \
  X(double, TVscMinimum, 0.0) \
  X(double, TVscMaximum, 0.0) \
  X(double, KenrMinimum, 0.0) \
  X(double, KenrMaximum, 0.0) \
  X(double, EpslMinimum, 0.0) \
  X(double, EpslMaximum, 0.0) \
  X(double, OmegMinimum, 0.0) \
  X(double, OmegMaximum, 0.0) \
  X(double, KtauMinimum, 0.0) \
  X(double, KtauMaximum, 0.0) \
  X(double, Gravity, 0.0) \
  X(Units*, ExternalUnits, nullptr) \
  X(Units*, InternalUnits, nullptr) \
  X(std::string, GeometryExternalUnits, "[m]")

#define OLVU_DEFINE_SCALAR(type, name, start) type name = start;
OLVU_RUN_SCALARS(OLVU_DEFINE_SCALAR)
#undef OLVU_DEFINE_SCALAR

// Constructed empty in this order (constant-initialised, so usable from any other
// static initialiser); destroyed in reverse order at normal exit.
ReaVec Signed_Velocity;
ReaVec Reference_Velocity;
ReaVec MinValue;
ReaVec MaxValue;
ReaVec MedValue;
ReaVec GravityDirection;
ReaVec GravVec;
ReaVec FStatic;
IntVec WriteResultsData;
ReaVec VarIncrement;
ReaVec VarDenominat;
ReaVec VarTolerance;
ReaVec VarIncrRatio;
IntVec GlobalToFluid;
IntVec FluidToGlobal;
IntVec GlobalToSolid;
IntVec SolidToGlobal;

void ResetRunState() {
#define OLVU_RESET_SCALAR(type, name, start) name = start;
  OLVU_RUN_SCALARS(OLVU_RESET_SCALAR)
#undef OLVU_RESET_SCALAR
  Signed_Velocity.remove();
  Reference_Velocity.remove();
  MinValue.remove();
  MaxValue.remove();
  MedValue.remove();
  GravityDirection.remove();
  GravVec.remove();
  FStatic.remove();
  WriteResultsData.resize(0);
  VarIncrement.remove();
  VarDenominat.remove();
  VarTolerance.remove();
  VarIncrRatio.remove();
  GlobalToFluid.resize(0);
  FluidToGlobal.resize(0);
  GlobalToSolid.resize(0);
  SolidToGlobal.resize(0);
  // The shared empty vectors stay empty whatever was stored through them.
  NULLVec.remove();
  NULLIVec.resize(0);
  ResetReportState();
  AllocFreePool();
  ALLOC_BLOCK_SIZE = 0;
  TimeTable::abandon();
}
