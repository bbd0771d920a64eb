// Element-wise loop of the real vectors, shaped so the vectoriser takes it at -O2.
#pragma once

#include "foundation/threads.h"

/// Runs body(i) for i = 0 .. n-1 in index order. Element-wise loops have no dependence
/// between iterations (an operand may be the target only entry for entry), and the
/// even-length head lets the vectoriser take the loop without run-time checks.
/// A long loop is shared among the threads (threads.h), each running a contiguous range.
template <class Body>
inline void Each(unsigned n, Body body) {
  if (Threaded(n)) {
    ParallelFor(n, body);
    return;
  }
  const unsigned m = n & ~1u;
#if !defined(__clang__)  // clang vectorises with its own run-time check and warns at -O1 if told to
#pragma GCC ivdep
#endif
  for (unsigned i = 0; i < m; i++) body(i);
  if (m < n) body(m);
}
