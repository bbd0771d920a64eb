// Helpers of the reader tests: run reader code on a data file in a child
// process and check the fatal report it leaves.
#pragma once

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "foundation/error.h"
#include "input/input.h"
#include "tests/support/child.h"

namespace olvu_test {

/// Runs body on a reader of the text data as "case.dat" (reports to case.err) in a child.
inline ChildResult RunOnData(const std::string& data, const std::function<void(Input&)>& body,
                             const std::function<void(const std::string&)>& more = {}) {
  return RunInChild(
      [&] {
        MemoryControlOn("case");
        Input in("case.dat");
        body(in);
      },
      [&](const std::string& dir) {
        WriteFile(dir + "/case.dat", data);
        if (more) more(dir);
      });
}

/// The run ended with status 1, the error file holding exactly the banner and message,
/// and nothing on the standard streams but the start-up line ends.
inline void ExpectFatal(const ChildResult& r, const std::string& message) {
  EXPECT_FALSE(r.signaled);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.file("case.err"), std::string(kErrBanner) + message);
  EXPECT_EQ(r.out, "\n");
  EXPECT_EQ(r.err, "\n");
}

/// Runs f in a child reporting to case.err and expects the fatal message.
inline void ExpectFatalIn(const std::function<void()>& f, const std::string& message) {
  SCOPED_TRACE(message);
  ExpectFatal(RunInChild([&] {
                MemoryControlOn("case");
                f();
              }),
              message);
}

/// Runs body in a child on data and expects the fatal message.
inline void ExpectFatalOn(const std::string& data, const std::function<void(Input&)>& body,
                          const std::string& message) {
  SCOPED_TRACE(data);
  ExpectFatal(RunOnData(data, body), message);
}

}  // namespace olvu_test
