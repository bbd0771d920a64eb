// Runs the olvu program in a temporary folder on data files written there first; several runs
// may share one folder (a restart continues the files of the run before it).
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child.h"

namespace olvu_test {

/// What one run printed and how it ended.
struct Outcome {
  int status = -1;  ///< exit status (128 + signal when killed)
  std::string out;  ///< standard output
  std::string err;  ///< standard error
};

/// A temporary folder, removed with the object.
class Folder {
 public:
  Folder() {
    char tmpl[] = "/tmp/olvu_driver_XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    dir_ = tmpl;
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  /// Path of a file of the folder.
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  /// Writes a file of the folder.
  void write(const std::string& name, const std::string& bytes) const { WriteFile(path(name), bytes); }
  /// Bytes of a file of the folder ("" when missing).
  std::string read(const std::string& name) const { return ReadFile(path(name)); }
  /// True when the file exists.
  bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }

  /// Runs olvu in the folder with the words `args`.
  Outcome olvu(const std::vector<std::string>& args) const {
    const std::string outPath = path(".stdout"), errPath = path(".stderr");
    const pid_t pid = fork();
    if (pid < 0) std::abort();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      const int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(o, 1);
      dup2(e, 2);
      close(o);
      close(e);
      std::vector<char*> argv{const_cast<char*>(OLVU_EXE)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(OLVU_EXE, argv.data());
      _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    Outcome r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = ReadFile(outPath);
    r.err = ReadFile(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return r;
  }

 private:
  std::string dir_;
};

/// The text of a data file in tests/driver/data.
inline std::string DataFile(const std::string& name) { return ReadFile(std::string(OLVU_TEST_DATA_DIR) + "/" + name); }

/// `text` with every occurrence of `from` replaced by `to`.
inline std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

/// A restart file without the domains' blocks: its first two lines and its last.
inline std::string RstFrame(const std::string& rst) {
  const auto second = rst.find('\n', rst.find('\n') + 1);
  const auto last = rst.rfind("EndProblem;");
  if (second == std::string::npos || last == std::string::npos || last < second) return rst;
  return rst.substr(0, second + 1) + rst.substr(last);
}

/// `text` without the heap-check warnings of the start and the end of a run, whose appearance
/// depends on the memory allocator (a sanitizer's differs), not on the run.
inline std::string WithoutHeapNotes(std::string text) {
  for (const char* note : {"\t***       WARNING!       ***\n -->\tCan't verify \"new\"/\"delete\" instructions\n",
                           "\t***       WARNING!       ***\n -->\tNot all memory allocated has been deallocated.\n"
                           "\t(Verify that each \"new\" instruction has a \"delete\" instruction)\n"})
    text = Replace(text, note, "");
  return text;
}

/// The fatal report of a .err file around `message`.
inline std::string ErrFile(const std::string& message) { return std::string(kErrBanner) + message; }

}  // namespace olvu_test
