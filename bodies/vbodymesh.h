// A moving body set driven only by the flow forces on its free axes, its motion ramped in over
// its first steps; kept for later extensions (no element-set card creates one).
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "bodies/mbodymesh.h"
#include "foundation/bitvec.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"

class Elem;

/// A body set that moves with its own integration of the flow forces.
class VBodyMesh : public BodyMesh, public RigidBody {
 public:
  /// Set `num` of domain d from the current card and its "PhysicalPropertiesFunctions" block.
  VBodyMesh(FluidDomain* d, int num, Input* in, int slot);
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
  /// The step's translation (output units) and rotation (output angle units).
  int MovementValues(double* v) override;
  using BodyMesh::MoveBody;
  /// Accelerations from the force sums, ramped explicit velocities of the free axes, the step's
  /// translation and rotation and their totals; the wall velocities of the set's nodes follow.
  void MoveBody(ReaVec& u, ReaVec& v, ReaVec& w, std::vector<double>& vn, Plex<ReaVec>& normals);

  /// Free translation and rotation axes (bit c for axis c).
  const BitVec& FreeDisplacement() const { return freeDisp_; }
  const BitVec& FreeRotation() const { return freeRot_; }
  /// Starting positions by problem node number; the elements at z = 0 and their nodes.
  Plex<ReaVec>& MovedNodes() { return moved_; }
  Plex<Elem>& WaterlineElements() { return lowElems_; }
  Plex<Node>& WaterlineNodes() { return lowNodes_; }

 protected:
  /// Each node's weights carry an equal share of the area vector of every element it is a
  /// corner of, and the moments about the node itself.
  void LoadWeights(Arrays& a) override;

 private:
  BitVec freeDisp_, freeRot_;
  OwningPlex<ReaVec> moved_;  ///< the starting positions
  Plex<Elem> dryElems_;
  Plex<Node> lowNodes_;
  Plex<Elem> lowElems_;
};
