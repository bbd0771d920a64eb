// A moving body set driven only by the flow forces on its free axes, its motion ramped in over
// its first steps; kept for later extensions (no element-set card creates one).
#pragma once

#include <ostream>

#include "bodies/bodymesh.h"
#include "foundation/bitvec.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"

class Elem;

/// A body set that moves with its own integration of the flow forces.
class VBodyMesh : public BodyMesh {
 public:
  /// Set `num` of domain d from the current card and its "PhysicalPropertiesFunctions" block.
  VBodyMesh(FluidDomain* d, int num, Input* in, int slot);
  /// Frees the starting positions (the listed nodes and elements belong to the set).
  ~VBodyMesh() override;

  /// The body-set initialisation, then the automatic mass when mesh deformation is solved.
  void initialiseMesh() override;
  /// Nothing.
  void PostinitialiseMesh() override {}
  /// The set's elements, then the starting positions of their nodes and the list of the elements
  /// (and their nodes) whose centre lies at z below 1e-14.
  void ReadElemsFromAscii(Input* in, Plex<Node>* all) override;
  using BodyMesh::ReadElemsFromAscii;
  /// "VBodyMesh".
  const char* Type() override { return "VBodyMesh"; }
  /// Nothing: the set keeps every element.
  void deleteDryElems() override {}
  /// Nothing.
  void MoveDryNodes() override {}
  /// The step's translation and rotation on the `.mov` line.
  void OutputMovement(std::ostream* os) override;
  using BodyMesh::MoveBody;
  /// Accelerations from the force sums, ramped explicit velocities of the free axes, the step's
  /// translation and rotation and their totals; the wall velocities of the set's nodes follow.
  void MoveBody(ReaVec& u, ReaVec& v, ReaVec& w, std::vector<double>& vn, Plex<ReaVec>& normals);

  /// Mass; free translation and rotation axes (bit c for axis c).
  double Mass() const { return mass_; }
  const BitVec& FreeDisplacement() const { return freeDisp_; }
  const BitVec& FreeRotation() const { return freeRot_; }
  /// Linear and angular velocity and acceleration; totals of translation and rotation.
  ReaVec& LinearVelocity() { return linVel_; }
  ReaVec& AngularVelocity() { return angVel_; }
  ReaVec& LinearAcceleration() { return linAcc_; }
  ReaVec& AngularAcceleration() { return angAcc_; }
  ReaVec& TotalTranslation() { return totalTrans_; }
  ReaVec& TotalRotation() { return totalRot_; }
  /// "Initial_Steps".
  int InitialSteps() const { return initialSteps_; }
  /// Starting positions by problem node number; the elements at z = 0 and their nodes.
  Plex<ReaVec>& MovedNodes() { return moved_; }
  Plex<Elem>& WaterlineElements() { return lowElems_; }
  Plex<Node>& WaterlineNodes() { return lowNodes_; }

 protected:
  /// Each node's weights carry an equal share of the area vector of every element it is a
  /// corner of, and the moments about the node itself.
  void LoadWeights(Arrays& a) override;

 private:
  double mass_ = 0;
  ReaVec weight_;
  double inertia_[3] = {0, 0, 0};  // diagonal of the inertia per unit mass
  int autoMass_ = 0;
  ReaVec linAcc2_, linAcc1_, linAcc_, linVel0_, linVel_;
  ReaVec angAcc2_, angAcc1_, angAcc_, angVel0_, angVel_;
  ReaVec totalRot_, totalTrans_;
  BitVec freeDisp_, freeRot_;
  int initialSteps_ = 0;
  Plex<ReaVec> moved_;
  Plex<Elem> dryElems_;
  Plex<Node> lowNodes_;
  Plex<Elem> lowElems_;
};
