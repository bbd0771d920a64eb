#include "tests/support/child.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "foundation/threads.h"

namespace olvu_test {

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return "";
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << bytes;
}

void ExpectStopInParallelRegion(const std::function<void()>& body, const std::string& what) {
#ifdef OLVU_CHECKED
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto first = [&](int thread, int size) {
    if (thread == 0 && size > 1) body();
  };
  EXPECT_EXIT(ForkTeam(2, first), ::testing::ExitedWithCode(1), what + " entered inside a parallel region");
#else
  (void)body;
  GTEST_SKIP() << what << " is checked against parallel regions only in checked builds";
#endif
}

std::string ChildResult::file(const std::string& name) const { return ReadFile(dir + "/" + name); }

bool ChildResult::exists(const std::string& name) const { return std::filesystem::exists(dir + "/" + name); }

ChildResult::ChildResult(ChildResult&& o) noexcept
    : status(o.status), signaled(o.signaled), out(std::move(o.out)), err(std::move(o.err)), dir(std::move(o.dir)) {
  o.dir.clear();
}

ChildResult::~ChildResult() {
  if (!dir.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
}

ChildResult RunInChild(const std::function<void()>& body, const std::function<void(const std::string&)>& setup) {
  ChildResult r;
  char tmpl[] = "/tmp/olvu_test_XXXXXX";
  if (!mkdtemp(tmpl)) {
    std::perror("mkdtemp");
    std::abort();
  }
  r.dir = tmpl;
  if (setup) setup(r.dir);
  const std::string outPath = r.dir + "/.child_stdout";
  const std::string errPath = r.dir + "/.child_stderr";
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    std::perror("fork");
    std::abort();
  }
  if (pid == 0) {
    if (chdir(r.dir.c_str()) != 0) _exit(127);
    int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, 1);
    dup2(e, 2);
    close(o);
    close(e);
    body();
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    _exit(0);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  if (WIFEXITED(st)) {
    r.status = WEXITSTATUS(st);
  } else if (WIFSIGNALED(st)) {
    r.signaled = true;
    r.status = 128 + WTERMSIG(st);
  }
  r.out = ReadFile(outPath);
  r.err = ReadFile(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return r;
}

}  // namespace olvu_test
