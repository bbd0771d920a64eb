// The body nodes of a fluid domain, the faces of its body sets that hold each of them, and the
// handles of their "Normal to Surface" entries, which hold the normals: the one copy, written
// and read in place.
#pragma once

#include <vector>

#include "foundation/plex.h"
#include "foundation/reavec.h"

class BodyMesh;
class FluidDomain;

/// The node list and face incidence of the body sets, rebuilt only when the domain's nodes are
/// renumbered, and the accumulation and normalisation of their normals.
class BodyNormalCache {
 public:
  /// Rebuilds the node list and the face incidence when d's nodes were renumbered since.
  void Current(FluidDomain& d);
  /// The renumbering stamp of the node list (0 before the first build).
  unsigned Stamp() const { return stamp_; }
  /// Takes the entry of every body node again when the table gained entries since: a missing
  /// one is created zero when `create`, else it ends the run (the table's "Do not exist index").
  void TakeEntries(OwningPlex<ReaVec>& normals, bool create);
  /// The normal of body node j (domain number) once the entries are taken.
  const double* Normal(int j) const { return byNode_[std::size_t(j)]->GivePointer(); }
  /// The normal of every body node set to zero (a node without an entry ends the run).
  void Zero(OwningPlex<ReaVec>& normals);
  /// Adds the normals of every body set of d to its nodes' entries (D the dimension), each node
  /// summing its faces in set and element order; `marks` records the sharp nodes, the crease
  /// lines and the fixed velocities that the few nodes on a sharp edge find.
  template <int D, class Marks>
  void Accumulate(FluidDomain& d, Marks& marks);
  /// Normalises every entry of the table that is not null.
  void Normalise(Plex<ReaVec>& normals);

 private:
  /// True while entry_ holds the entry of every body node: entries are only ever added to the
  /// table, so its store count tells when to take them again.
  bool EntriesCurrent(const Plex<ReaVec>& normals) const;

  std::vector<int> nodes_;  // domain numbers of the body sets' nodes, ascending, once each
  unsigned stamp_ = 0;      // topology stamp of nodes_ and the face incidence
  int count_ = 0;           // the domain's node count at that stamp
  // The faces of every body set in set and element order; body node i (of nodes_) lies on faces
  // faceOf_[faceStart_[i] .. faceStart_[i + 1]), ascending.
  std::vector<const int*> faceNodes_;  // the face's nodes in its set's flat elements
  std::vector<BodyMesh*> faceSet_;     // the set of each face
  std::vector<int> faceStart_, faceOf_;
  std::vector<double> faceNormal_;      // per face its normal and unit normal, per geometry
  std::vector<unsigned char> faceUse_;  // per face: 0 left out, 1 used, 2 null normal
  std::vector<unsigned char> slow_;     // per body node: needs the ordered walk with its marks
  std::vector<ReaVec*> entry_;          // "Normal to Surface" entry of each body node
  std::vector<ReaVec*> byNode_;         // the same by domain number (null off the bodies)
  int entryCount_ = -1;                 // store count of the table when they were taken
};
