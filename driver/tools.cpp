// The tool problem and the dispatch of the eight tools.
#include <cstdlib>
#include <iostream>

#include "driver/problem.h"
#include "foundation/error.h"
#include "input/input.h"
#include "input/types.h"

Problem::Problem(const char* name, const char* tool) : fileName(name ? name : "") {
  const OlvuTool t = ToolType(tool);
  if (t == Check_Units || t == Check_Function) return;
  if (!name) {
    // A command-line fault, reported before any file is opened.
    std::cerr << "Option [ -name \"DataFileName\" ] required.\n";
    std::exit(2);
  }
  input = new Input(name);
  ownInput = true;
}

int Problem::ExecuteTool(const char* tool, const std::vector<std::string>&) {
  switch (ToolType(tool)) {
    case Check_Units:
    case Check_Function:
    case Sink_and_Trim:
    case Interpolate_Rst:
    case Create_Rst:
    case Write_Mesh:
    case Write_BoundMesh:
    case Write_Average:
      break;
  }
  // None of the tools is part of this build yet.
  OLVU_FATAL("Tool type " << tool << " not implemented\n");
}
