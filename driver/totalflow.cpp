// Momentum and pressure solves of both domains for one inner iteration.
#include "domain/fluiddomain.h"
#include "driver/totaldomain.h"
#include "foundation/declarations.h"

void TotalDomain::SolveVelocityProblem() {
  if (HasConv(VarIncrement, ConvVar::Velocity)) Conv(VarIncrement, ConvVar::Velocity) = 0;
  // Pseudo-steps belong to steps longer than the flow's crossing time only.
  if (fluid_ && fluid_->PseudoStep() > 0 && !LongStep()) fluid_->SetPseudoStep(0);
  if (fluid_) {
    // The convective matrices follow the current velocity, whether or not it is solved.
    fluid_->CalcConvectiveMatrixes(fluid_->giveVelocityX(), fluid_->giveVelocityY(), fluid_->giveVelocityZ());
    fluid_->SolveMomentum();
  }
  if (solid_) solid_->SolveMomentum();
}

void TotalDomain::SolvePressureProblem() {
  if (HasConv(VarIncrement, ConvVar::Pressure)) Conv(VarIncrement, ConvVar::Pressure) = 0;
  if (fluid_) fluid_->SolvePressure();
  if (solid_) solid_->SolvePressure();
}
