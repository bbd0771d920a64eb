// Momentum and pressure solves of both domains for one inner iteration.
#include "domain/fluiddomain.h"
#include "driver/totaldomain.h"

void TotalDomain::SolveVelocityProblem() {
  if (fluid_) fluid_->SolveMomentum();
  if (solid_) solid_->SolveMomentum();
}

void TotalDomain::SolvePressureProblem() {
  if (fluid_) fluid_->SolvePressure();
  if (solid_) solid_->SolvePressure();
}
