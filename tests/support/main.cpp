// Test entry of every test binary: each test starts from the start state of a run, so no
// test depends on the ones that ran before it.
#include <gtest/gtest.h>

#include "foundation/declarations.h"

namespace {

/// Returns the problem-wide globals to their start values before each test.
class FreshRunState : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { ResetRunState(); }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshRunState);  // gtest owns it
  return RUN_ALL_TESTS();
}
