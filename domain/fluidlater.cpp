// Operations of the fluid domain whose work belongs to the flow solution, bodies, free surface,
// boundary conditions and output: until those exist they leave the fields as they are, so a
// solve reports no change.
#include "domain/fluiddomain.h"
#include "foundation/error.h"
#include "input/input.h"

void FluidDomain::ImposeBodyBoundaries() {}
void FluidDomain::ReadRestart(Input*, const char*) {}
void FluidDomain::CheckBoundaryConditions() {}
void FluidDomain::DistanceToBodiesField() {}
void FluidDomain::SolveTurbulence() {}
void FluidDomain::SolveSmagorinsky() {}
void FluidDomain::SolveMixingLength() {}
void FluidDomain::SolveFreeSurface() {}
void FluidDomain::SolveBodyMovement() {}
void FluidDomain::SolveInitialBodyMovement() {}
void FluidDomain::SolveMeshDeformation(int) {}
void FluidDomain::UpdateMeshDeformation() {}
void FluidDomain::OutputResults(std::ostream&) {}
void FluidDomain::OutputInitialData(std::ostream&) {}
void FluidDomain::OutputRestart(std::ostream&, const char*) {}
void FluidDomain::OutputForces(std::ostream&) {}
void FluidDomain::OutputBodyMovement(std::ostream&) {}
void FluidDomain::OutputQuorvelin(std::ostream&, std::ostream&) {}
void FluidDomain::OutputSinkandTrim(std::ostream&) {}
