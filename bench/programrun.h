// One run of the program per benchmark case, for the benchmarks of whole runs: the program on a data
// file in a fresh folder on one thread, with what it left (standard output, .res and .for texts,
// peak memory) and its exit status. With OLVU_BENCH_DATA set to a folder, a case only writes its
// data file there (named after the case), for runs of other builds of the program on the same
// cases. The including target defines OLVU_EXE, the program's path.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace olvu_bench {

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// What one run of the program left: its standard output, .res and .for texts, peak memory (KB).
struct Run {
  std::string out, res, forces;
  long peakKb = 0;
  int status = -1;
};

// Runs the program on `data` in a fresh folder, on one thread.
inline Run RunProgram(const std::string& data) {
  char tmpl[] = "/tmp/olvu_channel_XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  const std::string dir = tmpl;
  std::ofstream(dir + "/ch.dat") << data;
  const pid_t pid = fork();
  if (pid < 0) std::abort();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0 || !std::freopen("ch.out", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
      _exit(127);
    setenv("OLVU_THREADS", "1", 1);
    execl(OLVU_EXE, OLVU_EXE, "-name", "ch.dat", static_cast<char*>(nullptr));
    _exit(127);
  }
  int st = 0;
  rusage ru{};
  wait4(pid, &st, 0, &ru);
  Run r;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128;
  r.peakKb = ru.ru_maxrss;
  r.out = Slurp(dir + "/ch.out");
  r.res = Slurp(dir + "/ch.dat.res");
  r.forces = Slurp(dir + "/ch.dat.for");
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return r;
}

// True when the case's data file is only to be written into OLVU_BENCH_DATA (then done here).
inline bool OnlyWritten(benchmark::State& state, const std::string& name, const std::string& data) {
  const char* dir = std::getenv("OLVU_BENCH_DATA");
  if (!dir) return false;
  std::ofstream(std::string(dir) + "/" + name) << data;
  for (auto _ : state) {
  }
  state.SkipWithError("data file written");
  return true;
}

// Runs the case (or only writes its data file, see OnlyWritten) into r; false when there is no
// run to measure.
inline bool RunCase(benchmark::State& state, const std::string& name, const std::string& data, Run& r) {
  if (OnlyWritten(state, name, data)) return false;
  for (auto _ : state) r = RunProgram(data);
  if (r.status == 0) return true;
  state.SkipWithError("the run failed");
  return false;
}

}  // namespace olvu_bench
