// Operations of the fluid domain whose work belongs to the flow solution, bodies, free surface,
// boundary conditions and output: until those exist they leave the fields as they are, so a
// solve reports no change.
#include "domain/fluiddomain.h"
#include "foundation/error.h"
#include "input/input.h"

void FluidDomain::DistanceToBodiesField() {
  // Without wall-law body sets (none can be read in this build) every node is far from a wall.
  if (vars_[WallDist].length()) vars_[WallDist] = 1e100;
}
void FluidDomain::SolveFreeSurface() {}
void FluidDomain::SolveBodyMovement() {}
void FluidDomain::SolveInitialBodyMovement() {}
void FluidDomain::SolveMeshDeformation(int) {}
void FluidDomain::UpdateMeshDeformation() {}
void FluidDomain::OutputForces(std::ostream&) {}
void FluidDomain::OutputBodyMovement(std::ostream&) {}
