// Runs shell commands as a user types them, in a given folder, for the tests of the examples and
// of the README's commands.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/driver/run_olvu.h"

namespace olvu_test {

/// Runs `script` with `sh -e` in the folder `dir`; standard output and error are captured in
/// files of `scratch` (a folder the script does not look at).
inline Outcome Shell(const std::string& script, const std::string& dir, const Folder& scratch) {
  const std::string outPath = scratch.path(".sh.stdout"), errPath = scratch.path(".sh.stderr");
  const pid_t pid = fork();
  if (pid < 0) std::abort();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    const int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open("/dev/null", O_RDONLY);
    dup2(o, 1);
    dup2(e, 2);
    dup2(in, 0);
    close(o);
    close(e);
    close(in);
    execl("/bin/sh", "sh", "-e", "-c", script.c_str(), static_cast<char*>(nullptr));
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

/// True when the Debian packages that `sh scripts/deps.sh examples` adds (the gmsh program that
/// examples/cylinder3d.py runs) are installed.
inline bool GmshInstalled() {
  return std::system("dpkg-query -W -f='${Status}\\n' gmsh python3-gmsh 2>/dev/null | "
                     "grep -c 'install ok installed' | grep -qx 2 && command -v gmsh >/dev/null") == 0;
}

/// True in the builds that check every index (debug and the sanitizers), where a run of the
/// three-dimensional example takes minutes.
constexpr bool kCheckedBuild =
#ifdef OLVU_CHECKED
    true;
#else
    false;
#endif

}  // namespace olvu_test
