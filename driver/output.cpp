// The output files of a run: result blocks, the restart frame, the force and movement lines and
// the final files. Each operation opens its file, lets the domains write and closes it.
#include <fstream>

#include "domain/fluiddomain.h"
#include "driver/problem.h"
#include "driver/totaldomain.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"

void Problem::OutputInitialData() {
  Clock clock("Printing Results");
  std::ofstream res;
  Append(res, ".res");
  for (FluidDomain* d : {fluidDomain, solidDomain}) {
    if (!d) continue;
    d->OutputInitialData(res);
    d->OutputResults(res);
  }
  totalDomain->OutputInitialData(res);
  Close(res, ".res");
}

void Problem::OutputResults() {
  Clock clock("Printing Results");
  // The quotient test keeps the rule's form: a whole multiple of the output step.
  const bool multiple = Current_Step / outputStep == static_cast<double>(Current_Step) / outputStep;
  if ((Current_Step == Number_of_Steps || multiple) && Current_Step >= outputStart) {
    std::ofstream res;
    Append(res, ".res");
    if (fluidDomain) fluidDomain->OutputResults(res);
    if (solidDomain) solidDomain->OutputResults(res);
    totalDomain->OutputResults(res);
    Close(res, ".res");
    if (Current_Step > 0 || Number_of_Steps == 1) {
      OutputRestart();
      OLVU_NOTICE("Results written successfully !");
    }
  }
  if (Initial_Phase) return;
  std::ofstream forces;
  Append(forces, ".for");
  if (Verbose_Off <= 1) {
    forces << "\n" << POutPut_Time << "\t";
    if (fluidDomain) fluidDomain->OutputForces(forces);
    if (solidDomain) solidDomain->OutputForces(forces);
  }
  Close(forces, ".for");
  std::ofstream movement;
  Append(movement, ".mov");
  if (Verbose_Off <= 1) {
    movement << "\n" << OutPut_Time << "\t";
    if (fluidDomain) fluidDomain->OutputBodyMovement(movement);
    if (solidDomain) solidDomain->OutputBodyMovement(movement);
  }
  Close(movement, ".mov");
}

void Problem::OutputRestart() {
  std::ofstream rst;
  Create(rst, ".rst");
  rst << "Problem;" << "\n";
  rst << "Current_Step = " << Current_Step << " ,\t";
  rst << "Total_Time = " << Total_Time << ";\n";
  if (fluidDomain) fluidDomain->OutputRestart(rst, "Fluid");
  if (solidDomain) solidDomain->OutputRestart(rst, "Solid");
  totalDomain->OutputRestart(rst, "Total");
  rst << "EndProblem;" << "\n";
  Close(rst, ".rst");
}

void Problem::OutputFinalResults() {
  Clock clock("Printing Results");
  std::ofstream res;
  Append(res, ".res");
  if (fluidDomain) fluidDomain->OutputFinalResults(res);
  if (solidDomain) solidDomain->OutputFinalResults(res);
  Close(res, ".res");
  if (fluidDomain) {
    std::ofstream kvo;
    std::ofstream msh;
    Create(kvo, ".kvo.res");
    Create(msh, ".kvo.msh");
    fluidDomain->OutputQuorvelin(kvo, msh);
    Close(kvo, ".kvo.res");
    Close(msh, ".kvo.msh");
  }
  if (Refine_Mesh) {
    std::ofstream bgm;
    Create(bgm, ".bgm");
    if (fluidDomain) fluidDomain->OutputBackgroundMesh(bgm);
    Close(bgm, ".bgm");
  }
  if (fluidDomain) {
    std::ofstream sat;
    Create(sat, ".sat");
    fluidDomain->OutputSinkandTrim(sat);
    Close(sat, ".sat");
  }
}
