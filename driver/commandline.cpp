#include "driver/commandline.h"

#include <strings.h>

#include <cstdlib>
#include <iostream>

#include "foundation/declarations.h"
#include "foundation/error.h"

namespace {

bool Is(const char* word, const char* option) { return strcasecmp(word, option) == 0; }

// A command-line fault: its message on standard error, status 2 before any file is opened.
[[noreturn]] void Fault(const char* text) {
  std::cerr << text;
  std::cerr.flush();
  std::exit(2);
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine c;
  for (int i = 1; i < argc; ++i) {
    const char* w = argv[i];
    if (Is(w, "-3D")) {
      Dimension_Olvu = 3;
    } else if (Is(w, "-2D")) {
      Dimension_Olvu = 2;
    } else if (Is(w, "-name")) {
      if (i + 1 >= argc) Fault("Flag [ -name ] needs one argument \n");
      c.hasName = true;
      c.name = argv[++i];
    } else if (Is(w, "-tool")) {
      if (i + 1 >= argc) Fault("Flag [ -tool ] needs one argument \n");
      c.hasTool = true;
      c.tool = argv[++i];
      c.args.assign(argv + i + 1, argv + argc);
      break;
    } else if (Is(w, "-verbose")) {
      if (i + 1 >= argc) Fault("Option [ -verbose ] needs one argument \n");
      const char* level = argv[++i];
      if (Is(level, "none"))
        Verbose_Off = 2;
      else if (Is(level, "some"))
        Verbose_Off = 1;
    } else if (Is(w, "-coupling")) {
      if (i + 2 >= argc) Fault("Option [ -coupling ] needs two arguments (port & timeout) \n");
      c.port = std::strtol(argv[++i], nullptr, 10);
      c.timeout = std::strtol(argv[++i], nullptr, 10);
      if (c.port <= 999) Fault("Cannot initialise Kelvarid coupling.\nWrong port ( <1000 ) given.");
      // A TCP port has 16 bits: a larger number would reach the port it wraps to.
      if (c.port > 65535) Fault("Cannot initialise Kelvarid coupling.\nWrong port ( >65535 ) given.");
      if (c.timeout <= 99) Fault("Cannot initialise Kelvarid coupling.\nWrong timeout ( <100 ) given.");
    }
  }
  return c;
}

std::string UsageLine(const char* program) {
  return std::string("Use: ") + program +
         " [ -2D ] [ -3D ] [ -name \"DataFileName\" ]  [ -tool \"Args\" ] [ -verbose [none/some] ] [ -coupling "
         "\"port\" \"timeout\" ]\n";
}
