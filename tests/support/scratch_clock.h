// A root timing section whose table goes to a scratch directory, for test suites whose code
// opens timing sections (a section opened without a root would write its table here).
#pragma once

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>

#include "foundation/clock.h"

namespace olvu_test {

/// Opens the root section "<scratch dir>/run" on construction; closes it and removes the
/// directory on destruction.
class ScratchClock {
 public:
  ScratchClock() {
    char tmpl[] = "/tmp/olvu_clock_XXXXXX";
    if (const char* d = mkdtemp(tmpl)) dir_ = d;
    // The timing tree keeps the name's pointer: a root opened while another is open becomes a
    // section of that one and is printed when it closes, so the names outlive every case.
    static std::deque<std::string> names;
    names.push_back(dir_ + "/run");
    root_ = std::make_unique<Clock>(names.back().c_str());
  }
  ~ScratchClock() {
    root_.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  ScratchClock(const ScratchClock&) = delete;
  ScratchClock& operator=(const ScratchClock&) = delete;

 private:
  std::string dir_;
  std::unique_ptr<Clock> root_;
};

}  // namespace olvu_test
