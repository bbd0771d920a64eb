// The command line of the program: options, their operands and the command-line faults.
#pragma once

#include <string>
#include <vector>

/// What the command line asks for.
struct CommandLine {
  bool hasName = false;           ///< a "-name" was given
  std::string name;               ///< the data-file name
  bool hasTool = false;           ///< a "-tool" was given
  std::string tool;               ///< the tool name
  std::vector<std::string> args;  ///< every word after the tool name
  long port = 0;                  ///< coupling port (0: no "-coupling")
  long timeout = 0;               ///< coupling time-out in milliseconds
};

/// Scans the words after the program name, setting Dimension_Olvu and Verbose_Off; an operand
/// fault is reported on standard error and ends the process with status 2.
CommandLine ParseCommandLine(int argc, const char* const* argv);

/// The usage line for the program called `program`.
std::string UsageLine(const char* program);
