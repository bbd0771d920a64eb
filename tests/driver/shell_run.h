// Runs shell commands as a user types them, in a given folder, for the tests of the examples and
// of the README's commands.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/driver/run_olvu.h"

namespace olvu_test {

/// Runs `script` with `sh -e` in the folder `dir`, without standard input; the script and its
/// captured output are files of `scratch` (a folder the script does not look at).
inline Outcome Shell(const std::string& script, const std::string& dir, const Folder& scratch) {
  scratch.write(".sh", script);
  const std::string command = "cd '" + dir + "' && sh -e '" + scratch.path(".sh") + "' < /dev/null > '" +
                              scratch.path(".sh.stdout") + "' 2> '" + scratch.path(".sh.stderr") + "'";
  const int st = std::system(command.c_str());
  Outcome r;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  r.out = scratch.read(".sh.stdout");
  r.err = scratch.read(".sh.stderr");
  for (const char* f : {".sh", ".sh.stdout", ".sh.stderr"}) std::filesystem::remove(scratch.path(f));
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
