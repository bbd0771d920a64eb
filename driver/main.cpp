// The program entry: the command line, then one tool or one solve.
#include <algorithm>
#include <climits>
#include <iostream>

#include "coupling/coupling.h"
#include "driver/commandline.h"
#include "driver/problem.h"
#include "foundation/clock.h"
#include "foundation/error.h"
#include "input/input.h"

int main(int argc, char** argv) {
  const CommandLine c = ParseCommandLine(argc, argv);
  const char* name = c.hasName ? c.name.c_str() : nullptr;
  MemoryControlOn(name);
  if (c.port != 0) {
    OLVU_NOTICE("Initialising Kelvarid coupling");
    char message[kCouplingMessageSize];
    const int port = int(c.port), timeout = int(std::min<long>(c.timeout, INT_MAX));
    if (InitCouplingLibrary(port, timeout, message) == -1) OLVU_FATAL(message << "\n");
  }
  if (c.hasTool) {
    if (name) {
      // The tool opens its data file first: a missing one leaves no timing table behind.
      Problem tool(name, c.tool.c_str());
      Clock root(name);
      tool.ExecuteTool(c.tool.c_str(), c.args);
    } else {
      Problem tool(name, c.tool.c_str());
      tool.ExecuteTool(c.tool.c_str(), c.args);
    }
  } else if (!name) {
    std::cerr << UsageLine(argc > 0 ? argv[0] : "olvu");
    return 1;
  } else {
    // The reader comes first: a missing data file leaves no timing table behind.
    // Destroyed in reverse: the problem, the timing section, then the reader.
    Input input(name);
    Clock root(name);
    Problem problem(&input, name);
  }
  MemoryControlOff();
  return 0;
}
