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
}

void Problem::OutputResults() {
  Clock clock("Printing Results");
  // The quotient test keeps the rule's form: a whole multiple of the output step.
  const bool multiple = Current_Step / outputStep == static_cast<double>(Current_Step) / outputStep;
  if ((Current_Step == Number_of_Steps || multiple) && Current_Step >= outputStart) {
    {
      std::ofstream res;
      Append(res, ".res");
      if (fluidDomain) fluidDomain->OutputResults(res);
      if (solidDomain) solidDomain->OutputResults(res);
      totalDomain->OutputResults(res);
    }
    if (Current_Step > 0 || Number_of_Steps == 1) {
      OutputRestart();
      OLVU_NOTICE("Results written successfully !");
    }
  }
  if (Initial_Phase) return;
  {
    std::ofstream out;
    Append(out, ".for");
    if (Verbose_Off <= 1) {
      out << "\n" << POutPut_Time << "\t";
      if (fluidDomain) fluidDomain->OutputForces(out);
      if (solidDomain) solidDomain->OutputForces(out);
    }
  }
  std::ofstream out;
  Append(out, ".mov");
  if (Verbose_Off <= 1) {
    out << "\n" << OutPut_Time << "\t";
    if (fluidDomain) fluidDomain->OutputBodyMovement(out);
    if (solidDomain) solidDomain->OutputBodyMovement(out);
  }
}

void Problem::OutputRestart() {
  std::ofstream rst;
  OpenOutputFile(rst, FileName(".rst").c_str());
  rst << "Problem;" << "\n";
  rst << "Current_Step = " << Current_Step << " ,\t";
  rst << "Total_Time = " << Total_Time << ";\n";
  if (fluidDomain) fluidDomain->OutputRestart(rst, "Fluid");
  if (solidDomain) solidDomain->OutputRestart(rst, "Solid");
  totalDomain->OutputRestart(rst, "Total");
  rst << "EndProblem;" << "\n";
}

void Problem::OutputFinalResults() {
  Clock clock("Printing Results");
  {
    std::ofstream res;
    Append(res, ".res");
    if (fluidDomain) fluidDomain->OutputFinalResults(res);
    if (solidDomain) solidDomain->OutputFinalResults(res);
  }
  if (fluidDomain) {
    std::ofstream res;
    std::ofstream msh;
    OpenOutputFile(res, FileName(".kvo.res").c_str());
    OpenOutputFile(msh, FileName(".kvo.msh").c_str());
    fluidDomain->OutputQuorvelin(res, msh);
  }
  if (Refine_Mesh) {
    std::ofstream bgm;
    OpenOutputFile(bgm, FileName(".bgm").c_str());
    if (fluidDomain) fluidDomain->OutputBackgroundMesh(bgm);
  }
  if (fluidDomain) {
    std::ofstream sat;
    OpenOutputFile(sat, FileName(".sat").c_str());
    fluidDomain->OutputSinkandTrim(sat);
  }
}
