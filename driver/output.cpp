// The output files of a run: result blocks, the restart frame, the force and movement lines and
// the final files. Each operation opens its file, lets the domains write and closes it.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "bodies/bodymesh.h"
#include "domain/fluiddomain.h"
#include "domain/resultblock.h"
#include "driver/problem.h"
#include "driver/totaldomain.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"

template <class Write>
void Problem::WriteResults(Write write) {
  std::ofstream& res = Kept(resFile, ".res");
  Flush(res, ".res");
  std::error_code ec;
  const auto before = std::filesystem::file_size(FileName(".res"), ec);
  NonFiniteResult bad;
  ResultBlock::TakeNonFinite(bad);  // forget what an earlier writer may have left
  write(res);
  Flush(res, ".res");
  if (!ResultBlock::TakeNonFinite(bad)) return;
  // A result file whose blocks hold an infinity or a NaN cannot be read back: the blocks of this
  // output go, the file keeps the whole output steps before it, and the run stops before the
  // restart file is rewritten.
  if (!ec) std::filesystem::resize_file(FileName(".res"), before, ec);
  const char* value = std::isnan(bad.value) ? "nan" : bad.value > 0 ? "inf" : "-inf";
  OLVU_FATAL("Non-finite result found: " << value << " in \"" << bad.block << "\" at node " << bad.node
                                         << ", time " << bad.time << ".\n\tThe solution has diverged or a result "
                                         << "function is undefined there. The results of this output are not "
                                         << "written; earlier results and the restart file are kept.\n");
}

void Problem::OutputInitialData() {
  Clock clock("Printing Results");
  WriteResults([&](std::ostream& res) {
    for (FluidDomain* d : {fluidDomain.get(), solidDomain.get()}) {
      if (!d) continue;
      d->OutputInitialData(res);
      d->OutputResults(res);
    }
    totalDomain->OutputInitialData(res);
  });
}

void Problem::OutputResults() {
  Clock clock("Printing Results");
  // The quotient test keeps the rule's form: a whole multiple of the output step.
  const bool multiple = Current_Step / outputStep == static_cast<double>(Current_Step) / outputStep;
  if ((Current_Step == Number_of_Steps || multiple) && Current_Step >= outputStart) {
    WriteResults([&](std::ostream& res) {
      if (fluidDomain) fluidDomain->OutputResults(res);
      if (solidDomain) solidDomain->OutputResults(res);
      totalDomain->OutputResults(res);
    });
    if (Current_Step > 0 || Number_of_Steps == 1) {
      OutputRestart();
      OLVU_NOTICE("Results written successfully !");
    }
  }
  if (Initial_Phase) return;
  OutputLine(forFile, ".for", POutPut_Time, &FluidDomain::OutputForces);
  OutputLine(movFile, ".mov", OutPut_Time, &FluidDomain::OutputBodyMovement);
}

void Problem::OutputLine(std::ofstream& file, const char* ext, double t, void (FluidDomain::*write)(std::ostream&)) {
  // Opened even when silent: the file exists (empty) as the run left it at set-up.
  std::ofstream& out = Kept(file, ext);
  if (Verbose_Off > 1) return;
  std::ostringstream line;
  line << "\n" << t << "\t";
  for (FluidDomain* d : {fluidDomain.get(), solidDomain.get()})
    if (d) (d->*write)(line);
  // A line with a number that is not finite is not written: the table keeps the lines before it.
  // Each body's numbers follow its quoted name.
  const std::string text = line.str();
  std::string body;
  for (std::size_t at = 1, end; at < text.size(); at = end + 1) {
    end = std::min(text.find('\t', at), text.size());
    const std::string field = text.substr(at, end - at);
    if (field.empty()) continue;
    if (field.front() == '"') {
      body = field.substr(1, field.size() - 2);
      continue;
    }
    const double v = std::strtod(field.c_str(), nullptr);
    if (!std::isfinite(v)) RefuseLineValue(ext, body, v, t);
  }
  out << text;
  Flush(out, ext);
}

void Problem::OutputRestart() {
  std::ofstream rst;
  Create(rst, ".rst");
  rst << "Problem;" << "\n";
  rst << "Current_Step = " << Current_Step << " ,\t";
  // The shortest text that reads back as the same double: the restarted run's clock is exact.
  auto exact = [](double v) {
    char text[32];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, std::size_t(r.ptr - text));
  };
  // The step's increment is the previous one of the next step's time-increment function.
  rst << "Total_Time = " << exact(Total_Time) << " ,\tTime_Increment = " << exact(Run_Time_Increment) << ";\n";
  if (fluidDomain) fluidDomain->OutputRestart(rst, "Fluid");
  if (solidDomain) solidDomain->OutputRestart(rst, "Solid");
  totalDomain->OutputRestart(rst, "Total");
  rst << "EndProblem;" << "\n";
  Close(rst, ".rst");
}

void Problem::OutputFinalResults() {
  Clock clock("Printing Results");
  std::ofstream& res = Kept(resFile, ".res");
  if (fluidDomain) fluidDomain->OutputFinalResults(res);
  if (solidDomain) solidDomain->OutputFinalResults(res);
  Close(res, ".res");
  if (forFile.is_open()) Close(forFile, ".for");
  if (movFile.is_open()) Close(movFile, ".mov");
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
