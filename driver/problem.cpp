#include "driver/problem.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "domain/fluiddomain.h"
#include "domain/fluidparts.h"
#include "domain/resultblock.h"
#include "domain/soliddomain.h"
#include "driver/totaldomain.h"
#include "foundation/alloc.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/threads.h"
#include "input/function.h"
#include "input/input.h"
#include "input/units.h"
#include "mesh/mesh.h"

namespace {

// The results-selection words, entry k (1-based) at index k - 1; null entries have no word and
// stay on.
const char* const kResultWords[39] = {
    "Initial",       "Velocity",      "VelocityStress", "Pressure",      "GradPressure",  "Temperature",
    "GradTemperature", "Concentration", "Beta",         "BetaVector",    "Pseudoconc",    "Energy",
    "Density",       "Viscosity",     "CompressFactor", "Divergence",    "TauParameter",  "Distance",
    "EddyViscosity", "EddyKinEnergy", "Epsilon",        "Omega",         "KTau",          "dUdn",
    "WallLawTau",    "Vorticity",     nullptr,          nullptr,         nullptr,         nullptr,
    "UserDefFluid1", "UserDefFluid2", "UserDefFluid3",  "UserDefSolid1", "UserDefSolid2", "UserDefSolid3",
    "MeshDeformation", "SolidDensity", nullptr};

// A unit system from the card `card` ("OutputUnits", "InternalUnits"), or metre, second and
// kilogram when the next card is another one (held back for the next read).
Units* ReadUnits(Input* in, const char* card) {
  if (!in->ReadCardIfExists(card)) return new Units("[m]", "[s]", "[Kg]");
  if (!in->Exist("Length") || !in->Exist("Time") || !in->Exist("Mass"))
    OLVU_FATAL(card << " (Length, Time and Mass) must be defined\n");
  return new Units(in->GetWord("Length", "[m]"), in->GetWord("Time", "[s]"), in->GetWord("Mass", "[Kg]"));
}

}  // namespace

Problem::Problem(Input* in, const char* name) : input(in), fileName(name) {
  InitialiseProblem();
  CreateDomain();
  InitialiseDomain();
  Run();
}

Problem::~Problem() {
  // The total domain borrows the domains, and all of them may still refer to the reader.
  totalDomain.reset();
  solidDomain.reset();
  fluidDomain.reset();
  ownedInput.reset();
}

void Problem::Create(std::ofstream& out, const char* ext) const { OpenOutputFile(out, FileName(ext).c_str()); }

void Problem::NewFile(const char* ext) const {
  std::ofstream f;
  Create(f, ext);
  Close(f, ext);
}

void Problem::Append(std::ofstream& out, const char* ext) const { OpenOutputFile(out, FileName(ext).c_str(), true); }

void Problem::Flush(std::ofstream& out, const char* ext) const {
  out.flush();
  if (out.fail()) OLVU_FATAL("Cannot write output file \"" << FileName(ext) << "\"\n");
}

std::ofstream& Problem::Kept(std::ofstream& out, const char* ext) const {
  if (!out.is_open()) Append(out, ext);
  return out;
}

void Problem::Close(std::ofstream& out, const char* ext) const {
  out.close();
  if (out.fail()) OLVU_FATAL("Cannot write output file \"" << FileName(ext) << "\"\n");
}

void Problem::InitialiseProblem() {
  // The first card is checked before any output file is emptied, so a wrong file given by
  // mistake leaves the results of an earlier run alone.
  input->ReadLine();
  const bool three = Dimension_Olvu == 3;
  if (!input->Exist(three ? "OLVU_3D" : "OLVU_2D")) {
    // A file of the other dimension is the common slip: say which option runs it.
    const char* hint = !input->Exist(three ? "OLVU_2D" : "OLVU_3D") ? ""
                       : three ? ": the data file is OLVU_2D; run it without -3D"
                               : ": the data file is OLVU_3D; run it with -3D";
    OLVU_FATAL((three ? "OLVU_3D" : "OLVU_2D") << ": Incorrect input file format" << hint << "\n");
  }
  // The warnings of the reading go to this run's file. The result files are emptied only once the
  // set-up has succeeded (InitialiseDomain): a refused file leaves its message in .err and the
  // files of an earlier run as they were, none of them pretending to be this run's.
  NewFile(".war");
  // An error file of an earlier run would otherwise stand beside this run's results.
  std::remove(FileName(".err").c_str());
  const char* banner = three ? "********** RUNNING OLVU 3D **********" : "********** RUNNING OLVU 2D **********";
  std::cout << banner << std::endl;
  OLVU_NOTICE(banner);
  // A wrong thread count ends nothing: the run takes the count OMP_NUM_THREADS asks for, else the
  // idle cores it may use, and says so.
  if (ThreadsFromEnvironment() < 0) {
    const char* from = ThreadsFromOpenMP() > 0 ? " threads OMP_NUM_THREADS asks for" : " idle cores the process may run on";
    OLVU_WARNING(0, "OLVU_THREADS=\"" << std::getenv("OLVU_THREADS") << "\" is not a whole number from 1 to 4096: using the "
                                     << Threads() << from);
  }
  std::cout << "Threads: " << Threads() << std::endl;

  delete ExternalUnits;
  ExternalUnits = ReadUnits(input, "OutputUnits");
  InternalUnits = ReadUnits(input, "InternalUnits");
  input->NewUnits(InternalUnits);  // the reader owns it from now on

  input->ReadCard("ProblemDefinition");
  input->ReadCard("GeneralData");
  NConcentration = 0;
  ReadGeneralData();
  input->ReadCard("PhysicalData");
  ReadPhysicalData();
  ReadResultsSelection();
}

void Problem::ReadGeneralData() {
  Number_of_Steps = input->GetInt("Number_of_Steps");
  // The step counter passes the last step by one: the largest int would wrap it.
  if (Number_of_Steps <= 0 || Number_of_Steps == INT_MAX) OLVU_FATAL("Wrong Number of Steps\n");
  Time_Func = input->GetFunc("Time_Increment", Time);
  Run_Time_Increment = TimeIncrement(0.0, 0.0, 0.0, 0);
  Ref_Time_Increment = Run_Time_Increment;
  Initial_Phase = 1;
  Current_Step = 1;
  outputStep = input->GetInt("OutPut_Step");
  if (outputStep <= 0) OLVU_FATAL("Wrong Output Steps\n");
  Max_Iterations = input->GetInt("Max_Iterations");
  if (Max_Iterations <= 0) OLVU_FATAL("Max_Iterations must be >= 1\n");
  Iterations = 1;
  outputStart = input->GetInt("OutPut_Start", 0);
  if (outputStart > Number_of_Steps) {
    outputStart = Number_of_Steps;
    OLVU_WARNING(0, "Changed OutPut_Start to " << outputStart);
  }
  if (input->Exist("Smooth_Field")) Smooth_Field = 1;
  restart = input->Exist("Restart");
  Initial_Steps = input->GetInt("Initial_Steps", 0);
  if (Initial_Steps < 0) Initial_Steps = 0;
  // The start-up ramp divides by twice the count.
  if (Initial_Steps > INT_MAX / 2) OLVU_FATAL("Wrong maximum Initial_Steps given\n");
  startUpType = 0;
  if (input->Exist("Start_Up_Control")) startUpType = TypeOfStartUp(input->GetWord("Start_Up_Control", ""));
  Start_Up = startUpType != 0;
  if (input->Exist("OldLawOfTheWall")) OldLawOfTheWall = 1;
  if (input->Exist("GiveWallLawForces")) GiveWallLawForces = 1;
  if (input->Exist("Refine_Mesh")) Refine_Mesh = BackMeshType(input->GetWord("Refine_Mesh", nullptr));
  newRunIndex = 1;
  stepsNewRun = 0;
  if (input->Exist("NewRunVelocities")) {
    newRunVelocities = input->GetReaVec("NewRunVelocities", 1.0);
    if (newRunVelocities.length() == 0)
      OLVU_FATAL("Don't exist any number after a word \"NewRunVelocities\"\n");
    if (newRunVelocities.min_abs() < 1e-14) OLVU_FATAL("Wrong definition of NewRunVelocities\n");
    stepsNewRun = input->GetInt("StepsNewRunVelocities");
    // Each new run adds this many steps and bounds the output step by it: at least one.
    if (stepsNewRun < 1) OLVU_FATAL("Wrong minimum StepsNewRunVelocities given\n");
    // Every later run adds its steps to the last step, which must stay below the largest int.
    const double last = Number_of_Steps + double(newRunVelocities.length() - 1) * stepsNewRun;
    if (last >= double(INT_MAX)) OLVU_FATAL("Wrong maximum StepsNewRunVelocities given\n");
  }
}

void Problem::ReadPhysicalData() {
  if (input->Exist("Gravity")) {
    GravVec = input->GetReaVec("Gravity", Acceleration);
    if (GravVec.length() != 3) OLVU_FATAL("Gravity must be three dimensional\n");
    if (GravVec(3) > 0) OLVU_WARNING(0, "Positive vertical gravity: Is this right?");
    Gravity = GravVec.norm();
    GravityDirection = GravVec;
    if (std::fabs(Gravity) < 1e-14)
      OLVU_WARNING(0, "Null gravity vector found. Is it correct?");
    else
      GravityDirection /= Gravity;
  } else {
    GravVec.resize(3, 0.0);
    GravVec = 0.0;
    GravityDirection.resize(3, 0.0);
    GravityDirection = 0.0;
    Gravity = 0;
    OLVU_WARNING(0, "Gravity vector not defined. Taken null gravity vector");
  }
  if (Dimension_Olvu == 2 && GravVec(3) != 0) OLVU_WARNING(0, "Found OZ gravity in a 2D Problem. Is this correct?");
  // Without the card the origin stays empty: the fluid domain then takes its highest corner.
  FStatic.resize(0);
  if (input->Exist("Pres_Origin")) {
    FStatic = input->GetReaVec("Pres_Origin", Length);
    if (FStatic.length() != 3) OLVU_FATAL("Origin of pressure must be three dimensional\n");
  }
  Psed_Length = input->GetRealIfExist("Psed_Length", Length, 1e-14);
}

void Problem::ReadResultsSelection() {
  WriteResultsData.resize(39, 1);
  WriteResultsData = 1;
  if (!input->ReadCardIfExists("WriteResultsData")) return;
  for (int k = 0; k < 39; ++k)
    if (kResultWords[k]) WriteResultsData[k] = input->Exist(kResultWords[k]);
}

void Problem::CreateDomain() {
  input->ReadCard("Nodes");
  GeometryExternalUnits = input->GetWord("CoordinateUnits", "[m]");
  const double scale = InternalUnits->GetTransFact(GeometryExternalUnits.c_str(), Length);
  allNodes = new Plex<Node>(100, "All the Nodes of the geometry");
  ReadNodesFromAscii(input, allNodes, scale, 3);
  const int n = allNodes->count;
  GlobalToFluid.resize(0);
  GlobalToFluid.resize(static_cast<unsigned>(n), 0);
  GlobalToSolid.resize(0);
  GlobalToSolid.resize(static_cast<unsigned>(n), 0);
  AllocInit(96L * n);

  std::unique_ptr<Input> rst;
  if (restart) {
    rst = std::make_unique<Input>(FileName(".rst").c_str());
    rst->ReadCard("Problem");
    rst->ReadLine();
    const int saved = rst->GetInt("Current_Step");
    // A saved step below 0 is no step of any run (the rebuilt restart file saves 0).
    if (saved < 0) OLVU_FATAL("Wrong Current_Step found in restart file.\n");
    Total_Time = rst->GetRea("Total_Time", Undimensional);
    // The time-increment function goes on from the saved step: its previous increment is that
    // step's, its interval time the time run so far.
    Interval_Time = Total_Time;
    if (rst->Exist("Time_Increment")) {
      Ref_Time_Increment = rst->GetRea("Time_Increment", Undimensional);
      if (!(Ref_Time_Increment >= 1e-14) || !std::isfinite(Ref_Time_Increment))
        OLVU_FATAL("Wrong Time_Increment found in restart file.\n");
    } else {
      OLVU_NOTICE("Restart file holds no Time_Increment (an older file): the first restarted step takes the "
                  "set-up's increment as the previous one");
    }
    // The restored state is that of the saved step's end: the initial results written before the
    // first restarted step carry its time, as that step's results did.
    Prev_Time = Total_Time;
    OutPut_Time = POutPut_Time = Total_Time * OutputFactor(Time);
    // Compared before the step is advanced: the next step of the largest integer would wrap to a
    // negative one and the run would never end.
    if (saved >= Number_of_Steps) OLVU_FATAL("(Current_Step > Number_of_Steps) found in restart file.\n");
    Current_Step = saved + 1;
  }

  input->ReadLine();
  if (input->Exist("FluidDefinition")) {
    Clock clock("Reading Fluid");
    fluidDomain = std::make_unique<FluidDomain>(allNodes, input, FluidToGlobal, GlobalToFluid, 1, 1);
    fluidDomain->ReadInitialConditions();
    if (restart) fluidDomain->ReadRestart(rst.get(), "Fluid");
    fluidDomain->ReadBoundaryConditions(input);
    input->ReadLine();
  }
  if (input->Exist("SolidDefinition")) {
    Clock clock("Reading Solid");
    solidDomain = std::make_unique<SolidDomain>(allNodes, input, SolidToGlobal, GlobalToSolid, 2, 1);
    solidDomain->ReadInitialConditions();
    if (restart) solidDomain->ReadRestart(rst.get(), "Solid");
    solidDomain->ReadBoundaryConditions(input);
    input->ReadLine();
  }
  if (!fluidDomain && !solidDomain) OLVU_FATAL("Problem to be Solved not Defined\n");
  if (!input->Exist("TotalDefinition")) OLVU_FATAL("Wrong input file found. TotalDefinition is missing.\n");
  {
    Clock clock("Reading Total");
    totalDomain = std::make_unique<TotalDomain>(fluidDomain.get(), solidDomain.get(), allNodes, input);
  }
  if (restart) {
    totalDomain->ReadRestart(rst.get(), "Total");
    rst->ReadCard("EndProblem");
  }
}

void Problem::InitialiseDomain() {
  // What the domains write while they set up is held back until the set-up has succeeded.
  std::ostringstream res;
  if (fluidDomain) {
    Clock clock("Initialising Fluid Domain");
    fluidDomain->InitialiseDomain(res);
    fluidDomain->Parts().PlaceRestoredMesh();
    fluidDomain->SolveInitialBodyMovement();
  }
  if (solidDomain) {
    Clock clock("Initialising Solid Domain");
    solidDomain->InitialiseDomain(res);
    solidDomain->Parts().PlaceRestoredMesh();
    solidDomain->SolveInitialBodyMovement();
  }
  totalDomain->InitialiseDomain(res);
  // Everything read and set up: from here on the result files are this run's (a restarted run's
  // too, which starts them again with the restored step).
  Create(resFile, ".res");
  NewFile(".for");
  NewFile(".mov");
  resFile << "Qor Post Results File 1.0\n" << res.str();
  Flush(resFile, ".res");
}
