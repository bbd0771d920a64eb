// Operations of the fluid domain whose work belongs to the turbulence models: until those
// exist they leave the fields as they are, so a solve reports no change.
#include "domain/fluiddomain.h"
#include "foundation/error.h"
#include "input/input.h"

void FluidDomain::SolveTurbulence() {}
void FluidDomain::SolveSmagorinsky() {}
void FluidDomain::SolveMixingLength() {}
