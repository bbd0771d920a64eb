// Shared helpers of the vector, matrix and solver tests: a heap-allocation counter
// (global operator new is replaced in alloc_count.cpp) and a check of fatal reports.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/child.h"

namespace olvu_test {

/// Number of operator new calls made so far in this process.
long HeapAllocations();

/// Counts the heap allocations made between its construction and count().
class AllocCounter {
 public:
  AllocCounter() : start_(HeapAllocations()) {}
  long count() const { return HeapAllocations() - start_; }

 private:
  long start_;
};

/// Runs body in a child and expects the fatal end: exit status 1 and exactly `message`
/// after the "\n\n" that opens a report on standard error.
inline void ExpectFatal(const std::function<void()>& body, const std::string& message) {
  auto r = RunInChild(body);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\n" + message);
}

}  // namespace olvu_test
