// Test entry of every test binary: each test starts from the start state of a run, so no
// test depends on the ones that ran before it; and the binary runs in a scratch directory of
// its own, so the files a test leaves in its working directory (the timing table of a section
// opened without a root, for one) never reach the tree it was started from.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "foundation/declarations.h"

namespace {

/// Returns the problem-wide globals to their start values before each test.
class FreshRunState : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { ResetRunState(); }
};

/// A fresh temporary directory made the working directory for the object's life; the
/// directory the binary was started in is restored and the scratch one removed at the end.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    char tmpl[] = "/tmp/olvu_tests_XXXXXX";
    std::error_code ec;
    start_ = std::filesystem::current_path(ec);
    if (!mkdtemp(tmpl) || chdir(tmpl) != 0) {
      std::fprintf(stderr, "Cannot make a scratch directory for the tests\n");
      std::exit(1);
    }
    dir_ = tmpl;
  }
  ~ScratchDirectory() {
    std::error_code ec;
    if (!start_.empty()) std::filesystem::current_path(start_, ec);
    std::filesystem::remove_all(dir_, ec);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

 private:
  std::filesystem::path start_;
  std::string dir_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshRunState);  // gtest owns it
  const ScratchDirectory scratch;
  return RUN_ALL_TESTS();
}
