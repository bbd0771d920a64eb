// Runs test code in a child process inside a fresh temporary directory, so
// fatal paths (which end the process) can be checked by exit status and files.
#pragma once

#include <functional>
#include <string>

namespace olvu_test {

/// What a child process left behind: its exit status, captured streams and its directory.
struct ChildResult {
  int status = -1;       ///< exit status, or 128 + signal number when killed by a signal
  bool signaled = false; ///< true when the child ended by a signal
  std::string out;       ///< everything written to standard output
  std::string err;       ///< everything written to standard error
  std::string dir;       ///< the temporary directory the child ran in (removed with the result)

  /// Bytes of a file in the child's directory ("" when it does not exist).
  std::string file(const std::string& name) const;
  /// True when the named file exists in the child's directory.
  bool exists(const std::string& name) const;

  ChildResult() = default;
  ChildResult(ChildResult&& o) noexcept;
  ChildResult& operator=(ChildResult&&) = delete;
  ChildResult(const ChildResult&) = delete;
  ~ChildResult();
};

/// Forks, changes into a new temporary directory, runs `body` and exits 0 when it returns.
/// `setup` (optional) runs in the parent's view of that directory before the fork, e.g. to write input files.
ChildResult RunInChild(const std::function<void()>& body,
                       const std::function<void(const std::string& dir)>& setup = {});

/// Runs body on one thread of a team of two and expects the checked build's stop of what must
/// never run there: exit status 1 and "`what` entered inside a parallel region". A plain fork
/// cannot start threads in a process that ran a team before, so the child runs the test binary
/// afresh (a thread-safe death test). Release builds skip.
void ExpectStopInParallelRegion(const std::function<void()>& body, const std::string& what);

/// Writes a text file (used to prepare data files for a child).
void WriteFile(const std::string& path, const std::string& bytes);
/// Reads a whole file ("" when missing).
std::string ReadFile(const std::string& path);

/// The fixed banner that opens every fatal report in a .err file.
inline const char* kErrBanner = "\n\n ERROR DETECTED :\n\n\n -->\t";

}  // namespace olvu_test
