#include "foundation/declarations.h"

int Dimension_Olvu = 2;

UFunction* Time_Func = nullptr;
double Total_Time = 0.0;
double OutPut_Time = 0.0;
double Prev_Time = 0.0;
double POutPut_Time = 0.0;
double Interval_Time = 0.0;
double Run_Time_Increment = 0.0;
double Ref_Time_Increment = 0.0;
double AutoFact_Time_Increment = 1.0;

int Number_of_Steps = 0;
int Current_Step = 0;
int Initial_Step = 0;
int Initial_Steps = 0;
int Iterations = 0;
int Max_Iterations = 0;

int Initial_Phase = 1;
int Start_Up = 0;
int Start_Phase = 0;
double Initial_Factor = 1.0;
double Accelerate_Factor = 1.0;

int Smooth_Field = 0;
int Refine_Mesh = 0;
int OldLawOfTheWall = 0;
int GiveWallLawForces = 0;
int NConcentration = 0;

double AverVelocity = 0.0;
double Max_Velocity = 0.0;

double AverLength = 0.0;
double Max_Length = 0.0;
double Min_Length = 0.0;
double Med_Length = 0.0;
double Char_Length = 0.0;
double Psed_Length = 0.0;
double Min_XLength = 0.0;
double Min_YLength = 0.0;
double Min_ZLength = 0.0;
double MinDistance = 0.0;

double ReynoldsN = 0.0;
double BoundlayerT = 0.0;
double Fluid_Volume = 0.0;
double Solid_Volume = 0.0;
double Dens_Reference = -1.0;

double Pk_LIMIT = 20.0;
double Re_LIMIT = 200.0;
double Pe_LIMIT = 2000.0;
double Rw_LIMIT = 2000.0;
double Pw_LIMIT = 2000.0;
double Rv_LIMIT = 2000.0;
double Pv_LIMIT = 2000.0;
double TVscMinimum = 0.0, TVscMaximum = 0.0;
double KenrMinimum = 0.0, KenrMaximum = 0.0;
double EpslMinimum = 0.0, EpslMaximum = 0.0;
double OmegMinimum = 0.0, OmegMaximum = 0.0;
double KtauMinimum = 0.0, KtauMaximum = 0.0;

double Gravity = 0.0;
Units* ExternalUnits = nullptr;
Units* InternalUnits = nullptr;
std::string GeometryExternalUnits = "[m]";

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
