// The domain's parts above domain/ (domain/fluidparts.h): its body and free-surface sets and its
// scalar problems, made and driven for one fluid or solid domain, and the state its body sets
// keep between the domain's calls.
#pragma once

#include <vector>

#include "bodies/bodynormals.h"
#include "domain/fluiddomain.h"
#include "domain/fluidparts.h"
#include "foundation/bitvec.h"
#include "foundation/reavec.h"

class Domain;

/// The one implementation of FluidParts, installed by the domains' constructors.
class BodyParts final : public FluidParts {
 public:
  /// What the free-surface solve keeps: the box of the plain body sets (zero until they are
  /// placed) and the elevation before the current step's solve.
  struct FreeSurfaceState {
    ReaVec bodyMax{3u}, bodyMin{3u}, bodyExtent{3u};
    ReaVec previous;
    ReaVec surfaceMass;    // mass of the free-surface nodes, summed over the sets
    ReaVec transpiration;  // vertical velocity, the transpiration velocity at the surface nodes
    ReaVec noVelocity;     // the zero out-of-plane velocity of a plane problem
  };
  /// What the mesh deformation keeps between steps, and what the restart file being read gave
  /// of it and of the wall laws.
  struct MeshMotionState {
    ReaVec distance;  // distance to the bodies used by the one-body deformation ("_MDist_")
    BitVec work;      // working node set of the deformation
    std::vector<const Mesh*> restoredBodies;  // the moving bodies whose state was read
    ReaVec coordinates;           // where the restart puts the nodes ("_MCoord_"), until they are there
    bool restoredNodes = false;   // the node coordinates were read
    bool restoredLaws = false;    // the wall laws' start values were read ("_WLaw_")
  };

  explicit BodyParts(FluidDomain& d) : d_(d) {}
  /// The parts of domain d (its constructor installed them).
  static BodyParts& Of(FluidDomain& d) { return static_cast<BodyParts&>(d.Parts()); }

  std::unique_ptr<Mesh> NewBodySet(int n, Input* in, bool moving) override;
  std::unique_ptr<Mesh> NewFreeSurfaceSet(int n, Input* in) override;
  std::unique_ptr<PhiProblem> NewPhiProblem(Input* in) override;
  std::unique_ptr<SpcProblem> NewSpcProblem(Input* in) override;
  std::unique_ptr<PhiProblem> NewPhiProblem(int n) override;
  std::unique_ptr<SpcProblem> NewSpcProblem(int n) override;
  void DropDryElements() override;
  void InitialiseSets() override;
  void StartNewStep() override;
  void FinishStep() override;
  void OutflowVelocities() override;
  ReaVec& Elevation(int n) override;
  void WriteSetsRestart(std::ostream& out, int digits) override;
  bool ReadSetsRestart(Input* in, const char* word) override;
  void CheckWallDistance(const ReaVec& computed, bool exact) override;
  void FinishSetsRestart() override;
  void PlaceRestoredMesh() override;
  void WallTerms(ReaVec& bx, ReaVec& by, ReaVec& bz) override;
  bool HeatFluxes(ReaVec& q, ReaVec& r, ReaVec& w) override;
  void ProblemFluxes(bool species, int index, ReaVec& w1, ReaVec& w2, ReaVec& F, ReaVec& G) override;

  /// The body nodes and their normals.
  BodyNormalCache& Normals() { return normals_; }
  /// The free-surface solve's state.
  FreeSurfaceState& FreeSurface() { return freeSurface_; }
  /// The mesh deformation's state.
  MeshMotionState& MeshMotion() { return motion_; }

 private:
  /// Where wall laws act: the wall nodes' first-node distances that the laws assume, from the
  /// friction velocity of the wall-law factor and the velocity, and every other node's distance
  /// moved with its nearest wall node's.
  void BuildWallDistance();
  /// Fatal unless the restored coordinates xyz (x, y, z by domain node) are the data's, as the
  /// nodes still hold them, plus the accumulated displacement (when `moved`), to rounding.
  void CheckCoordinates(const ReaVec& xyz, bool moved) const;

  FluidDomain& d_;
  BodyNormalCache normals_;
  FreeSurfaceState freeSurface_;
  MeshMotionState motion_;
};

/// The velocity correction of a fluid domain (nothing for any other domain); defined beside the
/// vtable, whose typeinfo it asks for.
void CorrectV(Domain* d);
