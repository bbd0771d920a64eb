// The tool problem and the eight tools: unit and function checks, the mesh writers, the restart
// rebuilt from a saved result file and the averages of saved results.
#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "domain/fluiddomain.h"
#include "domain/resultblock.h"
#include "driver/problem.h"
#include "driver/savedresults.h"
#include "driver/totaldomain.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/compiler.h"
#include "input/functbl.h"
#include "input/input.h"
#include "input/line.h"
#include "input/types.h"
#include "input/units.h"
#include "mesh/mesh.h"

namespace {

// Words that the tool needs after its name.
int ArgumentsNeeded(OlvuTool t) {
  if (t == Check_Units) return 2;
  if (t == Check_Function) return 1;
  return 0;
}

int CheckUnitsTool(const std::vector<std::string>& args) {
  const Units units("[m]", "[s]", "[Kg]");
  return units.CheckUnits(args[0].c_str(), To_Magnitude(args[1].c_str()));
}

int CheckFunctionTool(const std::vector<std::string>& args) {
  // The text may come quoted as in a data file; the quotes are not part of the function.
  const std::string text = Unquoted(args[0]);
  Line line(text.c_str(), 1);
  if (!line.FirstWord()) OLVU_FATAL("Function  compiler error: empty function\n");
  CompilerCheck compiler;
  std::unique_ptr<InstructionList> list(compiler.compileFrom(line.FirstWord()));
  return 1;
}

// The set types that each tool writes.
const char* const kVolumeSets[] = {"Fluid", "Solid", nullptr};
const char* const kBoundarySets[] = {"Body", "WBody", "FreeS", nullptr};

bool Listed(const char* type, const char* const* types) {
  for (; *types; ++types)
    if (strcasecmp(type, *types) == 0) return true;
  return false;
}

// "A, B or C" of a null-ended list.
std::string Alternatives(const char* const* types) {
  std::string s;
  for (const char* const* t = types; *t; ++t) s += std::string(t == types ? "" : t[1] ? ", " : " or ") + *t;
  return s;
}

std::string Lower(std::string w) {
  for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return w;
}

// A set type of a definition block as its domain reads it, with the element type and node count of
// a set card that gives none.
struct SetKind {
  const char* type;
  ElemType elemType;
  int nnode;
};
const SetKind kFluidSets[] = {{"Fluid", Tetrahedra, 4}, {"Body", Triangle, 3}, {"WBody", Triangle, 3}, {"FreeS", Triangle, 3}};
const SetKind kSolidSets[] = {{"Solid", Tetrahedra, 4}, {"WBody", Triangle, 3}};
const SetKind kTotalSets[] = {{"Interface", Linear, 2}};

}  // namespace

Problem::Problem(const char* name, const char* tool) : fileName(name ? name : "") {
  const OlvuTool t = ToolType(tool);
  if (t == Check_Units || t == Check_Function) return;
  if (!name) {
    // A command-line fault, reported before any file is opened.
    std::cerr << "Option [ -name \"DataFileName\" ] required.\n";
    std::exit(2);
  }
  ownedInput = std::make_unique<Input>(name);
  input = ownedInput.get();
}

int Problem::ExecuteTool(const char* tool, const std::vector<std::string>& args) {
  const OlvuTool t = ToolType(tool);
  const int needed = ArgumentsNeeded(t);
  if (static_cast<int>(args.size()) < needed) OLVU_FATAL("Tool " << t << " needs " << needed << " arguments\n");
  switch (t) {
    case Check_Units: return CheckUnitsTool(args);
    case Check_Function: return CheckFunctionTool(args);
    case Sink_and_Trim: return 0;
    case Interpolate_Rst:  // the same operation as Write_Mesh, its messages included
    case Write_Mesh: WriteMeshTool("Write_Mesh", kVolumeSets); return 1;
    case Write_BoundMesh: WriteMeshTool("Write_BoundMesh", kBoundarySets); return 1;
    case Create_Rst: CreateRstTool(); return 1;
    case Write_Average: WriteAverageTool(); return 1;
  }
  OLVU_FATAL("Tool type " << tool << " not implemented\n");
}

void Problem::WriteMeshTool(const char* tool, const char* const* kinds) {
  // The data file is read card by card with the solve's readers: the node block after the "Nodes"
  // card, and each set of an "ElmSets" block from its card (with its domain's defaults) and its
  // element list; every set is read, so that no list is taken for cards.
  Input& in = *input;
  Plex<Node> nodes(100, "All the Nodes of the geometry");
  std::vector<std::unique_ptr<Mesh>> sets;  // every set read, in file order
  std::vector<Mesh*> chosen;                // those the tool writes
  std::span<const SetKind> block;           // the set types of the definition being read
  Plex<Mesh> numbers(5, "Domain Meshes");   // its sets by number: a number given twice is refused
  bool haveNodes = false;
  for (;;) {
    in.JumpLine();  // the tool takes nothing else off the cards
    if (!in.ReadLineOrEnd() || strcasecmp(in.FirstWord(), "EndProblem") == 0) break;
    const bool definition = in.Exist("FluidDefinition") || in.Exist("SolidDefinition") || in.Exist("TotalDefinition");
    if (!haveNodes) {
      if (definition || strcasecmp(in.FirstWord(), "ElmSets") == 0) break;
      if (strcasecmp(in.FirstWord(), "Nodes") != 0) continue;
      // Coordinates as written: the file is for the post-processor, in the data file's own units.
      ReadNodesFromAscii(&in, &nodes, 1.0, 3);
      haveNodes = true;
    } else if (definition) {
      block = in.Exist("FluidDefinition") ? std::span<const SetKind>(kFluidSets)
              : in.Exist("SolidDefinition") ? std::span<const SetKind>(kSolidSets)
                                            : std::span<const SetKind>(kTotalSets);
      numbers.clear();
    } else if (strcasecmp(in.FirstWord(), "ElmSets") == 0) {
      in.HoldLine();
      Domain::ReadElmSetCards(&in, [&](int n, const char* type) {
        std::cout << Lower(type) << "\n";
        const SetKind* kind = nullptr;
        for (const SetKind& k : block)
          if (strcasecmp(type, k.type) == 0) kind = &k;
        if (!kind) OLVU_FATAL("ElmSet " << type << " not implemented\n");
        const bool wanted = Listed(type, kinds);
        Mesh* m = sets.emplace_back(std::make_unique<Mesh>(100, 100, &in, kind->elemType, kind->nnode)).get();
        m->NewNum(n);
        numbers.set_at(n, m);
        in.JumpLine();  // the set's other words are its domain's
        m->ReadElemsFromAscii(&in, &nodes);
        if (wanted) chosen.push_back(m);
      });
    }
  }
  if (!haveNodes) OLVU_FATAL("Wrong node data in " << tool << " tool\n");
  if (chosen.empty()) {
    // Nothing to write: an earlier mesh file stays, and the tool says why.
    std::cout << "No " << Alternatives(kinds) << " set in " << fileName << ": " << FileName(".out.msh")
              << " not written" << std::endl;
  } else {
    // Only now: a fault anywhere in the file leaves an earlier mesh file alone.
    std::ofstream out;
    Create(out, ".out.msh");
    for (Mesh* m : chosen) m->PrintMeshTo(out, 1, 1, 1, 1);
    Close(out, ".out.msh");
  }
  for (auto& m : sets) m->ClearAllElems();
  int i = 0;
  while (Node* nd = nodes.next(i)) delete nd;  // a node table never deletes its nodes
  if (!chosen.empty()) std::cout << "Success !!!" << std::endl;
}

void Problem::SetUpForTool() {
  InitialiseProblem();
  // The tools rebuild or read saved results: the restart file may be the very thing missing.
  restart = 0;
  CreateDomain();
  InitialiseDomain();
}

void Problem::CreateRstTool() {
  // The saved results are read whole before the set-up empties any output file, so a missing or
  // broken .res.bak leaves the files of the run untouched.
  SavedField velocity, pressure, temperature;
  {
    Input saved(FileName(".res.bak").c_str());
    SavedResults blocks(*saved.GiveStream(), FileName(".res.bak"));
    while (blocks.Next()) {
      // Exact names: VELOCITY_STRESS_TENSOR or PRESSURE_GRADIENT follow the fields they start with.
      if (blocks.Is("VELOCITY"))
        blocks.Values(3, velocity);
      else if (blocks.Is("PRESSURE"))
        blocks.Values(1, pressure);
      else if (blocks.Is("TEMPERATURE"))
        blocks.Values(1, temperature);
    }
  }
  SetUpForTool();
  if (fluidDomain) {
    FluidDomain& f = *fluidDomain;
    RestoreField(f, GlobalToFluid, velocity, {VelX, VelY, VelZ}, OutputFactor(Velocity), nullptr);
    // The solve's pressure is the written one divided by the density.
    RestoreField(f, GlobalToFluid, pressure, {Pres}, OutputFactor(Pressure), &f.Var(Dens));
    RestoreField(f, GlobalToFluid, temperature, {Temp}, OutputFactor(Temperature), nullptr);
  }
  // The rebuilt restart starts its run again at step 1, time 0, from the saved fields.
  Current_Step = 0;
  Total_Time = 0;
  OutputRestart();
}

void Problem::WriteAverageTool() {
  // The saved results are read whole before the set-up empties any output file, as for Create_Rst.
  struct Block {
    bool pressure;     // a PRESSURE block, else a TEMPERATURE one
    double time;       // the block's time
    SavedField field;  // its values
  };
  std::vector<Block> saved;
  {
    Input file(FileName(".res.bak").c_str());
    SavedResults blocks(*file.GiveStream(), FileName(".res.bak"));
    while (blocks.Next()) {
      const bool isPressure = blocks.Is("PRESSURE");
      if (!isPressure && !blocks.Is("TEMPERATURE")) continue;
      Block& b = saved.emplace_back();
      b.pressure = isPressure;
      b.time = blocks.Time();
      blocks.Values(1, b.field);
    }
  }
  SetUpForTool();
  // After the set-up, which empties the warning file.
  OLVU_WARNING(0, "Resuls are deleted. Need to be read from *.res.bak");
  if (!fluidDomain) return;
  FluidDomain& f = *fluidDomain;
  const ReaVec& w = f.LumpedMass();
  const int last = static_cast<int>(GlobalToFluid.length());
  for (const Block& b : saved) {
    const SavedField& block = b.field;
    double sum = 0, weights = 0;
    // Over the nodes the block lists; the fluid nodes it leaves out have no value to average.
    for (std::size_t e = 0; e < block.nodes.size() && block.nodes[e] <= last; ++e) {
      const int j = GlobalToFluid(static_cast<unsigned>(block.nodes[e]));
      if (j <= 0 || !(f.X(j, 1) < 9.8)) continue;
      sum += w(static_cast<unsigned>(j)) * block.values[e];
      weights += w(static_cast<unsigned>(j));
    }
    // No node in the region averages 0/0; the positive NaN prints as "nan".
    const double a = weights != 0 ? sum / weights : std::numeric_limits<double>::quiet_NaN();
    std::cout << "Time " << b.time << (b.pressure ? " - Pressure " : " - Temperature ") << a << "\n";
  }
}
