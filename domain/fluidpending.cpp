// Temporary: replaced by the initialisation, step and assembly files.
#include "domain/fluiddomain.h"
#include "domain/fluidmesh.h"

void FluidDomain::InitialiseData() {}
void FluidDomain::InitialiseGeomData() {}
void FluidDomain::InitialiseDomain(std::ostream&) {}
void FluidDomain::InitialiseUnknowns() {}
void FluidDomain::ReferenceValues() {}
void FluidDomain::ReadInitialConditions() {}
void FluidDomain::StartNewStep() {}
void FluidDomain::StartNewIteration() {}
void FluidDomain::FinishStep() {}
void FluidDomain::UpdateVariables(double) {}
void FluidDomain::UpdateConditions() {}
void FluidDomain::CalcKProduction(ReaVec&) {}
void FluidDomain::CalcVorticity(ReaVec&) {}
void FluidDomain::ReadFromWallVariables(ReaVec&, ReaVec&) {}
void FluidDomain::AddFromWallVariables(ReaVec&, ReaVec&) {}
void FluidDomain::DetectOscillations(ReaVec&) {}
void FluidDomain::CalcSystemMatrixes() {}
void FluidDomain::CalcSystemMatrixesSet(FluidMesh*) {}
void FluidDomain::EvalDomainFunction(DofType, ReaVec&) {}
void FluidDomain::UpdateDomainFunction(DofType, ReaVec&) {}
void FluidDomain::AssembleSystem(ReaVec&, ReaVec&, ReaVec&, ReaVec&, ReaVec&, ReaVec&, int) {}
void FluidDomain::Assemble_LHS(ReaVec&, ReaVec&) {}
void FluidDomain::Assemble_RHS(ReaVec&, ReaVec&, ReaVec&, ReaVec&, int) {}
void FluidDomain::Assemble_STRHS(ReaVec&, ReaVec&, ReaVec&) {}
void FluidDomain::SourceReactionLimits(ReaVec&, ReaVec&, ReaVec&, double&, double&) {}
void FluidDomain::SmoothComponent(int, const BitVec&, const BitVec&) {}
