// Fatal-error, warning and notice streams, verbosity and the end-of-run heap check.
#pragma once

#include <fstream>
#include <ostream>

/// Verbosity: 0 everything, 1 no notices, 2 no notices and no warnings.
extern int Verbose_Off;

/// Records the data-file name (may be null) for the .err/.war files and probes the heap.
void MemoryControlOn(const char* name);
/// Repeats the heap probe, warns on imbalance and forgets the file names.
void MemoryControlOff();
/// Start state of the report streams: verbosity 0, no .err/.war file names, no heap probe.
void ResetReportState();

/// Opens the error stream (truncating NAME.err) after its banner; the caller writes and ends the run.
std::ostream* WriteError(const char* file, int line);
/// Opens the warning stream (appending to NAME.war) after the banner of the given level.
std::ostream* WriteWarning(const char* file, int line, int level);
/// Opens the notice stream (appending to NAME.war) after " -->\t".
std::ostream* WriteNotice();

/// Complete framed fatal report: message on the error stream and standard error, exit status 1.
[[noreturn]] void WriteError(const char* file, int line, const char* message);
/// Complete warning, written only when Verbose_Off is at most 1.
void WriteWarning(const char* file, int line, const char* message, int level);
/// Complete notice, written only when Verbose_Off is at most 0.
void WriteNotice(const char* message);

/// Opens `out` on the file `name`, created rw-rw-r-- through the umask, truncated or appended; false on failure.
bool OpenFileStream(std::ofstream& out, const char* name, bool append);
/// Opens an output file (rw-rw-r--, truncated or appended); fatal "Cannot open output file \"NAME\"" when it
/// cannot be opened.
void OpenOutputFile(std::ofstream& out, const char* name, bool append = false);

/// Closes and destroys a report stream unless it is standard error.
void CloseStream(std::ostream* stream);
/// Closes a fatal report stream and ends the process with exit status 1.
[[noreturn]] void EndFatal(std::ostream* stream);

/// The fatal-error convention: write the streamed text to the error stream and exit with status 1.
#define OLVU_FATAL(text)                                          \
  do {                                                            \
    std::ostream* olvu_err_ = WriteError(__FILE__, __LINE__);     \
    *olvu_err_ << text;                                           \
    EndFatal(olvu_err_);                                          \
  } while (0)

/// A levelled warning, skipped when Verbose_Off is above 1; the text is followed by a newline.
#define OLVU_WARNING(level, text)                                         \
  do {                                                                    \
    if (Verbose_Off <= 1) {                                               \
      std::ostream* olvu_war_ = WriteWarning(__FILE__, __LINE__, (level)); \
      *olvu_war_ << text << std::endl;                                    \
      CloseStream(olvu_war_);                                             \
    }                                                                     \
  } while (0)

/// A notice, skipped when Verbose_Off is above 0; the text is followed by a newline.
#define OLVU_NOTICE(text)                           \
  do {                                              \
    if (Verbose_Off <= 0) {                         \
      std::ostream* olvu_not_ = WriteNotice();      \
      *olvu_not_ << text << std::endl;              \
      CloseStream(olvu_not_);                       \
    }                                               \
  } while (0)
