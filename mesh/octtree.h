// Bucket octree of points held by reference: up to eight points a leaf, split into octants on the
// ninth; radius, shell, nearest-point and leaf searches; the root grows towards outside points.
#pragma once

#include <algorithm>
#include <memory>
#include <ostream>

#include "foundation/plex.h"
#include "foundation/reavec.h"

class Elem;

/// A point holder: the point's coordinates (x, y, z: at least three entries, read through the pointer) and, for sample
/// points of an element, that element. Holders are compared by identity.
struct ReaVecContainer {
  ReaVec* point = nullptr;   ///< the point, not owned unless it is `owned`
  Elem* elem = nullptr;      ///< element the point was sampled in, or null
  std::unique_ptr<ReaVec> owned;  ///< a sample point made for this holder (null when borrowed)

  /// Holder of a point and, optionally, its element.
  explicit ReaVecContainer(ReaVec* p, Elem* e = nullptr) : point(p), elem(e) {}
  /// Holder owning a new sample point of element e.
  ReaVecContainer(ReaVec* sample, Elem* e, bool) : point(sample), elem(e), owned(sample) {}
  ReaVecContainer(const ReaVecContainer&) = delete;
  ReaVecContainer& operator=(const ReaVecContainer&) = delete;
};

/// One node of a bucket octree: a leaf of up to 8 point holders or a split node with 8 octants
/// (bit 0 upper x, bit 1 upper y, bit 2 upper z). Never owns holders or points.
class OctTree {
 public:
  OctTree* father = nullptr;                    ///< enclosing node; null for the root only
  OctTree* children[8] = {};                    ///< octants of a split node
  int count = 0;                                ///< held points (leaf) or -1 (split)
  ReaVecContainer* points[8] = {};              ///< the leaf's holders in order of entry
  double xmin, xmax, ymin, ymax, zmin, zmax;    ///< the node's box

  /// Node with that box; a root (no father) widens it by 10 % a side. A box narrower than 1e-6
  /// on every axis ends the run; a root's single narrow axis is widened by 1 a side.
  OctTree(double xmin, double xmax, double ymin, double ymax, double zmin, double zmax, OctTree* father);
  /// Root enclosing every holder of the table, then holding them all.
  explicit OctTree(Plex<ReaVecContainer>& holders);
  /// Shallow copy: same box, count and child or holder pointers, the given father.
  OctTree(const OctTree& other, OctTree* father);
  /// Deletes the children, never the holders or points.
  ~OctTree();
  OctTree(const OctTree&) = delete;
  OctTree& operator=(const OctTree&) = delete;

  /// Deletes every holder in the tree; afterwards the tree may only be destroyed.
  void DeleteAllEntities();

  /// Stores the holder: 0; -1 when the point is outside and grow is 0 (a root with grow set grows).
  int EnterPoint(ReaVecContainer* h, int grow);
  /// As EnterPoint, but a full leaf called upon spends one unit of budget to split; with none
  /// left the point is not stored (and 0 is returned).
  int EnterPoint(int& budget, ReaVecContainer* h, int grow);
  /// Enters a new holder of the point; a holder that is not stored is deleted again.
  int EnterPointCreatingContainer(ReaVec* point, int grow);
  /// Doubles the root's box towards the point until it holds it.
  void InCreaseOctreeSize(ReaVecContainer* h);
  /// Octant of the point in this node (upper half of an axis when the mid-value is below it).
  int ChooseOctant(const ReaVecContainer* h) const { return ChooseOctant(*h->point); }
  /// Octant of the point in this node.
  int ChooseOctant(const ReaVec& p) const;

  /// Appends at list[n] every point within radius of p (and ahead of origin along direction when
  /// origin is given); 0, or -1 when more than capacity qualify (n stays at capacity).
  int AddClosePointsToList(const ReaVec& p, ReaVecContainer** list, int& n, int capacity, double radius,
                           const ReaVec* origin, const ReaVec* direction);
  /// Radius search that first shrinks and then widens the radius; gives the number in the list.
  int AddClosePointsToList(const ReaVec& p, ReaVecContainer** list, int capacity, double radius,
                           const ReaVec* origin, const ReaVec* direction);
  /// Bisects the radius until at least `wanted` and fewer than `capacity` points lie within it;
  /// radius gives the last radius searched. Returns the number in the list.
  int AddClosestPoints(const ReaVec& p, ReaVecContainer** list, int capacity, int wanted, double& radius,
                       const ReaVec* origin, const ReaVec* direction);
  /// Puts into list[0] the holder closest to p in x and y among those of a widening search.
  void ClosestPointToOne(const ReaVec& p, ReaVecContainer** list, int capacity, double radius,
                         const ReaVec* origin, const ReaVec* direction);
  /// Half-space search by shells of radius/5 around p: points q with normal . q + offset > threshold
  /// until `wanted` are found; the number found, or -1 on overflow.
  int AddClosePointsToList(const ReaVec& p, const ReaVec& normal, ReaVecContainer** list, int capacity, int wanted,
                           double radius, double threshold, double offset);
  /// One shell of that search: the leaves met by the cube of half-width outer and not inside the
  /// cube of half-width inner; the number appended, or -1 on overflow.
  int AddClosePointsToList(const ReaVec& p, const ReaVec& normal, double offset, ReaVecContainer** list,
                           int capacity, double inner, double outer, double threshold);
  /// The stored point nearest to p with its squared distance in d2; null when none. Called on the
  /// root the answer is exact; with verify set a node answers only for a ball inside its box.
  ReaVecContainer* GiveVeryClose(const ReaVec& p, double& d2, int verify);
  /// The holders of the leaf that holds p (or of its non-empty siblings); their number.
  int GiveOcttreePointList(const ReaVec& p, ReaVecContainer** list, int capacity);
  /// Recursive form: 1 when the list is full, -1 after copying a leaf, 0 after descending.
  int GiveOcttreePointList(const ReaVecContainer* p, ReaVecContainer** list, int& n, int capacity);

  /// Removes the holder: 0, or 1 when it is not in the tree.
  int TakeRVOut(ReaVecContainer* h);
  /// Removes the holder of this point: 0, or 1 when none is in the tree.
  int TakeRVOut(const ReaVec* point);

  /// One line per node with its level, box and points, children after their father.
  void PrintInfo(std::ostream& out, int level);

 private:
  /// Inside test with the 1e-6 tolerance.
  bool Inside(const ReaVec& p) const;
  /// Turns a full leaf into a split node and re-enters its points.
  void Split();
  /// The box of octant i.
  void OctantBox(int i, double b[6]) const;
  /// Whether octant i meets the cube of half-width r around p.
  bool OctantMeets(int i, const ReaVec& p, double r) const;
  /// Squared distance from p to the box (0 inside).
  double BoxDist2(const double* p) const {
    const double dx = std::max({xmin - p[0], p[0] - xmax, 0.0});
    const double dy = std::max({ymin - p[1], p[1] - ymax, 0.0});
    const double dz = std::max({zmin - p[2], p[2] - zmax, 0.0});
    return dx * dx + dy * dy + dz * dz;
  }
  /// Octant of the point x, y, z.
  int Octant(const double* p) const {
    return ((xmin + xmax) / 2 < p[0] ? 1 : 0) | ((ymin + ymax) / 2 < p[1] ? 2 : 0) | ((zmin + zmax) / 2 < p[2] ? 4 : 0);
  }
  /// Nearest point of the subtree that is not farther than bound (ties as GiveVeryClose).
  ReaVecContainer* Nearest(const double* p, double& d2, double bound);
  /// GiveVeryClose, giving also the unverified candidate and its distance.
  ReaVecContainer* VeryClose(const double* p, double& d2, int verify, ReaVecContainer*& cand, double& cd2);
  /// Holder removal by a predicate, trying the octant of p first.
  template <class Match>
  int TakeOut(const ReaVec& p, Match match);
};
