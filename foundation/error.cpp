#include "foundation/error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <string>

int Verbose_Off = 0;

namespace {

// Reserve given back when the heap is exhausted, so the fatal report can still open its stream.
char* HeapReserve = nullptr;

// The one answer to a failed allocation anywhere (new, new[], the standard containers):
// the fatal heap message, exit status 1. A second failure while reporting aborts.
void HeapExhausted() {
  std::set_new_handler(nullptr);
  delete[] HeapReserve;
  HeapReserve = nullptr;
  OLVU_FATAL("Not space available on heap\n");
}

// Installed before main, so every entry of the system (and every test binary) has it.
[[maybe_unused]] const bool HeapHandlerInstalled = [] {
  HeapReserve = new char[1 << 16];
  std::set_new_handler(HeapExhausted);
  return true;
}();

// NAME.err and NAME.war of the data file; empty while no name is recorded.
std::string ErrorFileName;
std::string WarningFileName;
void* MemStart = nullptr;
void* MemFix = nullptr;
constexpr std::size_t ProbeSize = 100000;

std::ostream* OpenReport(const std::string& path, bool append) {
  if (path.empty()) return &std::cerr;
  auto f = std::make_unique<std::ofstream>();
  if (!OpenFileStream(*f, path.c_str(), append)) return &std::cerr;
  return f.release();  // CloseStream deletes it
}

}  // namespace

// Every file the system writes is created rw-rw-r-- (through the umask);
// std::ofstream alone would ask for 0666, so the file is created first with the wanted mode.
bool OpenFileStream(std::ofstream& out, const char* name, bool append) {
  int fd = ::open(name, O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0664);
  if (fd < 0) return false;
  ::close(fd);
  out.open(name, append ? std::ios::out | std::ios::app : std::ios::out | std::ios::trunc);
  return out.is_open() && out.good();
}

void OpenOutputFile(std::ofstream& out, const char* name, bool append) {
  if (!OpenFileStream(out, name, append)) OLVU_FATAL("Cannot open output file \"" << name << "\"\n");
}

void MemoryControlOn(const char* name) {
  if (name) {
    ErrorFileName = std::string(name) + ".err";
    WarningFileName = std::string(name) + ".war";
    std::cout << std::endl;
    std::cerr << std::endl;
  }
  MemStart = std::malloc(ProbeSize);
  if (!MemStart) std::cerr << "Not space available on heap\n";
  std::free(MemStart);
  MemFix = std::malloc(ProbeSize);
  if (!MemFix) std::cerr << "Not space available on heap\n";
  if (MemFix != MemStart && Verbose_Off <= 1) {
    std::ostream* w = WriteWarning(__FILE__, __LINE__, 0);
    *w << "Can't verify \"new\"/\"delete\" instructions" << std::endl;
    CloseStream(w);
  }
}

void MemoryControlOff() {
  std::cout.flush();
  std::cerr.flush();
  void* moved = std::realloc(MemFix, ProbeSize);
  if (moved) MemFix = moved;
  std::free(MemFix);
  if (MemFix != MemStart && Verbose_Off <= 1) {
    std::ostream* w = WriteWarning(__FILE__, __LINE__, 0);
    *w << "Not all memory allocated has been deallocated.\n\t(Verify that"
       << " each \"new\" instruction has a \"delete\" instruction)" << std::endl;
    CloseStream(w);
  }
  MemFix = nullptr;
  WarningFileName.clear();
  ErrorFileName.clear();
}

void ResetReportState() {
  Verbose_Off = 0;
  ErrorFileName.clear();
  WarningFileName.clear();
  std::free(MemFix);
  MemStart = MemFix = nullptr;
}

std::ostream* WriteError(const char*, int) {
  std::ostream* s = OpenReport(ErrorFileName, false);
  *s << "\n\n";
  if (s != &std::cerr) *s << " ERROR DETECTED :\n\n" << "\n -->\t";
  return s;
}

std::ostream* WriteWarning(const char*, int, int level) {
  std::ostream* s = OpenReport(WarningFileName, true);
  if (level != 0)
    *s << "\t***  WARNING! LEVEL " << level << " ***\n";
  else
    *s << "\t***       WARNING!       ***\n";
  *s << " -->\t";
  return s;
}

std::ostream* WriteNotice() {
  std::ostream* s = OpenReport(WarningFileName, true);
  *s << " -->\t";
  return s;
}

void WriteError(const char*, int, const char* message) {
  const std::string stars(73, '*');
  std::ostream* s = OpenReport(ErrorFileName, false);
  *s << "\n\n" << " " << stars << "\n\n" << " ERROR DETECTED :\n\n" << "\n -->\t" << message << "\n\n"
     << " " << stars << "\n\n";
  // The frame and the banner line also reach the terminal when the report went to the file.
  if (s != &std::cerr)
    std::cerr << "\n\n" << " " << stars << "\n\n" << " ERROR DETECTED :\n\n" << "\n\n" << " " << stars << "\n\n";
  EndFatal(s);
}

void WriteWarning(const char* file, int line, const char* message, int level) {
  if (Verbose_Off > 1) return;
  std::ostream* s = WriteWarning(file, line, level);
  *s << message << std::endl;
  CloseStream(s);
}

void WriteNotice(const char* message) {
  if (Verbose_Off > 0) return;
  std::ostream* s = WriteNotice();
  *s << message << std::endl;
  CloseStream(s);
}

void CloseStream(std::ostream* stream) {
  if (stream && stream != &std::cerr) delete stream;
}

void EndFatal(std::ostream* stream) {
  stream->flush();
  CloseStream(stream);
  std::cout.flush();
  std::cerr.flush();
  std::exit(1);
}
