// Carrying nodal values from one set of meshes to another of the same geometry: projection of
// target nodes into source elements, inverse-distance weights over node clouds, least-squares
// weights, and the pairing of two value vectors.
#pragma once

#include "foundation/intvec.h"
#include "foundation/matrix.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"
#include "mesh/mesh.h"
#include "mesh/node.h"

/// Capacity of the node list the octree gives for one target node.
inline constexpr int MAXCLOUDCORE = 64;

/// Pairs of positions of two value vectors (both 1-based): entry k pairs first[k] with second[k].
class Interpolator {
 public:
  IntVec first;   ///< positions in the first vector
  IntVec second;  ///< positions in the second vector (at least as many as first)

  /// a(i) and b(j) of every pair both become their old sum.
  void interpolate(ReaVec& a, ReaVec& b);
};

/// Inverse-distance interpolation of the source values (by source-slot number) onto the target
/// values (by target-slot number) from the 12 nearest nodes of each target node's cloud; the
/// run then ends ("Interpolator not working"). The two further ints are not used.
void createInterpolator_2ndVersion(Plex<Mesh>* source, int sourceSlot, Plex<Mesh>* target, int targetSlot, int,
                                   int, ReaVec& sourceValues, ReaVec& targetValues);
/// Builds the element search tree of the source meshes; the run then ends
/// ("Interpolate not initialised. Not working.").
void createInterpolator(Plex<Mesh>* source, int sourceSlot, Plex<Mesh>* target, int targetSlot, int, int);

/// R (made 3 x 3) := an orthogonal frame with n as third column.
void CalcMatGivenOneAxe(ReaVec& n, Matrix& R);

/// Least-squares weights (1 x number of nodes) of the nodes at p for the basis 1, x, y.
Matrix GiveProjectedNatCoord1(ReaVec* p, Plex<Node>* nodes);
/// The same for 1, x, y, xy, x^2, y^2.
Matrix GiveProjectedNatCoord2(ReaVec* p, Plex<Node>* nodes);
/// The same for 1, x, y, xy, x^2, y^2, x^2 y, x y^2, x^3, y^3.
Matrix GiveProjectedNatCoord3(ReaVec* p, Plex<Node>* nodes);
