// Allocation for the reader's objects: a failed allocation is the system's
// fatal heap message, never an exception.
#pragma once

#include <new>
#include <utility>

#include "foundation/error.h"

/// A new T built from args, or the fatal "Not space available on heap".
template <class T, class... A>
T* HeapNew(A&&... args) {
  T* p = new (std::nothrow) T(std::forward<A>(args)...);
  if (!p) OLVU_FATAL("Not space available on heap\n");
  return p;
}
