// The test that a material field evaluated from the user's functions can enter a solve.
#pragma once

#include <cmath>

#include "foundation/reavec.h"

/// True when an entry of v lies below least or is not a finite number (an overflowing or
/// undefined function value, which would spread through every field of the run).
inline bool UnsoundMaterial(const ReaVec& v, double least) {
  const double* p = v.GivePointer();
  for (unsigned i = 0; i < v.length(); ++i)
    if (!(p[i] >= least) || !std::isfinite(p[i])) return true;
  return false;
}
