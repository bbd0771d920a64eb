// The domain's parts above domain/ (domain/fluidparts.h): its body and free-surface sets and its
// scalar problems, made and driven for one fluid or solid domain.
#pragma once

#include <vector>

#include "domain/fluidparts.h"

class Domain;
class FluidDomain;

/// The one implementation of FluidParts, installed by the domains' constructors.
class BodyParts final : public FluidParts {
 public:
  explicit BodyParts(FluidDomain& d) : d_(d) {}
  Mesh* NewBodySet(int n, Input* in, bool moving) override;
  Mesh* NewFreeSurfaceSet(int n, Input* in) override;
  PhiProblem* NewPhiProblem(Input* in) override;
  SpcProblem* NewSpcProblem(Input* in) override;
  PhiProblem* NewPhiProblem(int n) override;
  SpcProblem* NewSpcProblem(int n) override;
  void DropDryElements() override;
  void InitialiseSets() override;
  void StartNewStep() override;
  void OutflowVelocities() override;
  ReaVec& Elevation(int n) override;
  void WriteMotionRestart(std::ostream& out, int digits) override;
  bool ReadMotionRestart(Input* in, const char* word) override;
  void FinishMotionRestart() override;
  void WallTerms(ReaVec& bx, ReaVec& by, ReaVec& bz) override;
  bool HeatFluxes(ReaVec& q, ReaVec& r, ReaVec& w) override;
  void ProblemFluxes(bool species, int index, ReaVec& w1, ReaVec& w2, ReaVec& F, ReaVec& G) override;

 private:
  FluidDomain& d_;
  // What the restart file being read gave of the mesh motion: the bodies restored, the node
  // coordinates.
  std::vector<const Mesh*> restoredBodies_;
  bool restoredNodes_ = false;
};

/// The velocity correction of a fluid domain (nothing for any other domain); defined beside the
/// vtable, whose typeinfo it asks for. A driver holding only a Domain would call it.
void CorrectV(Domain* d);
