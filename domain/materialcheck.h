// The test that a material field evaluated from the user's functions can enter a solve.
#pragma once

#include <cmath>
#include <initializer_list>

#include "foundation/reavec.h"

class FluidDomain;

/// True when an entry of v lies below least or is not a finite number (an overflowing or
/// undefined function value, which would spread through every field of the run).
inline bool UnsoundMaterial(const ReaVec& v, double least) {
  const double* p = v.GivePointer();
  for (unsigned i = 0; i < v.length(); ++i)
    if (!(p[i] >= least) || !std::isfinite(p[i])) return true;
  return false;
}

/// A material field with the least value its entries may take, the fatal message when one lies
/// below it or is not finite, and the warning when its smallest entry is exactly 0 (none: null).
struct MaterialBound {
  const ReaVec& field;
  double least;
  const char* unsound;
  const char* null = nullptr;
};

/// When material fields are checked: as they are first evaluated, only the values that are not
/// finite are refused (the boundary or restart values may yet bring the others within their
/// bounds, and the first step checks again); at every step, all are checked and warned of.
enum class MaterialStage { SetUp, Step };

/// Checks the sized fields in order: the first unsound one ends the run with its message (and
/// "Check material data."); at a step, each null one writes its warning.
void CheckMaterials(std::initializer_list<MaterialBound> fields, MaterialStage stage);

/// The checks of the fluid domain d's material fields (those its sub-problems size).
void CheckFluidMaterials(FluidDomain& d, MaterialStage stage);
