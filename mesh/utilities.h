// Node-to-node graphs of element sets.
#pragma once

#include <utility>
#include <vector>

#include "foundation/bitvec.h"
#include "foundation/intvec.h"
#include "foundation/reavec.h"
#include "foundation/plex.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "solvers/csrtable.h"

/// For every node (rows 1..n by the number in `slot`), the distinct nodes that share an element
/// with it, itself included, in the order first met; null for an empty node table. Caller owns it.
CSR<int>* createNodesToNodes(Plex<Node>& nodes, Plex<Mesh>& meshes, int slot);
/// Node graph of one element set over the node table.
CSR<int>* createNodesToNodes(Plex<Node>* nodes, Mesh* mesh, int slot);
/// Node graph of the element sets over the nodes gathered from their own node tables.
CSR<int>* createNodesToNodes(Plex<Mesh>& meshes, int slot);
/// Node graph of one element set whose node rows are map(number in slot), n its node count.
CSR<int>* createNodesToNodes(Mesh* mesh, IntVec map, int slot);

/// The sets of a table of element sets of any set class, in table order (none for a null table).
template <class M>
std::vector<Mesh*> MeshList(Plex<M>* table) {
  std::vector<Mesh*> out;
  int i = 0;
  if (table)
    for (M* m = table->next(i); m; m = table->next(i)) out.push_back(m);
  return out;
}

// Boundaries of element sets: orientation of boundary sets against the volume elements,
// rim edges and waterplane data, boundary nodes and boundary faces.

class Elem;
class SparseMatrix;

// Face descriptors: local node numbers (1-based, 0 where a face needs no entry) of the faces of
// each volume shape, corners first, then mid-edge nodes and, for the hexahedron, the face centre.

/// Sides of a triangle: two corners each.
extern const int FaceDescriptorTrian[3][3];
/// Sides of a quadrilateral: two corners each.
extern const int FaceDescriptorQuad[4][4];
/// Faces of a tetrahedron: three corners and three mid-edge nodes each.
extern const int FaceDescriptorTetra[4][6];
/// Faces of a hexahedron: four corners, four mid-edge nodes and the centre each.
extern const int FaceDescriptorHexa[6][9];

/// One boundary node with the volume elements touching it, each under its element key (keys grow
/// as elements are added, so the list stays sorted by key).
struct NodeLink {
  Node* node = nullptr;                          ///< the boundary node, not owned
  std::vector<std::pair<int, Elem*>> elements;   ///< (key, element), ascending keys
  /// 1 when an element with key k touches the node.
  int Has(int k) const;
};

/// Checks every element of one boundary set against the links and reverses those running against
/// the face they lie on.
void CheckOrientation(Plex<NodeLink>* links, Plex<Elem>* elems);

/// Reverses every element of the boundary sets whose corner sequence runs against the matching
/// face of the one volume element that holds all its corners; elements on no volume element or on
/// an interior face are left as they are. nnodes: the number of problem nodes (not needed for the check).
void CheckBodyOrientation(Plex<Mesh>* volumes, Plex<Mesh>* boundaries, int nnodes);
/// The same over lists of sets (a domain's volume sets and its body and free-surface sets).
void CheckBodyOrientation(const std::vector<Mesh*>& volumes, const std::vector<Mesh*>& boundaries);

/// One boundary edge: the element it came from and its two nodes in the element's direction.
struct BEdge2 {
  Elem* elem = nullptr;  ///< the element holding the edge
  Node* n1 = nullptr;    ///< first node
  Node* n2 = nullptr;    ///< second node
};

/// One boundary face: its element and its corners (a triangle uses the first three).
struct BEdge3 {
  Elem* elem = nullptr;               ///< the volume element holding the face
  Node* n[4] = {nullptr, nullptr, nullptr, nullptr};  ///< corners in canonical order
  int ncorner = 0;                    ///< 3 or 4
};

/// Edges that belong to exactly one element of the set, each in its element's direction, in the
/// order of their lesser node; stores a new array (null when none) and returns the count.
/// The third argument is not used.
int CalcBoundaryEdges2_(Plex<Elem>* elems, BEdge2** edges, int unused);
/// Sort order of edge records as unordered node pairs: -1, 0, 1.
int CompareBoundaryEdgePointers2_(const void* a, const void* b);
/// Waterplane of a body surface: res(1) the area enclosed by the rim in x-y, res(2) and res(3)
/// its second moments about the lines through the reference point (ref(1), ref(2); missing
/// entries read 0) parallel to x and to y; res is lengthened to three entries when shorter.
void CalculataShipSATData(Plex<Elem>* elems, ReaVec* ref, ReaVec* res);

/// Boundary nodes from a matrix whose rows vanish on linear fields: bit i + 1 of `out` is set for
/// row i when (A x)(i) of x = x + y + z of node map[i] is above 1e-10 times the largest entry.
void CalcBoundaryNodes(SparseMatrix* a, Plex<Node>& nodes, IntVec& map, BitVec& out);
/// Boundary edges as CalcBoundaryEdges2_, each stored with its lesser node first.
int CalcBoundaryEdges2(Plex<Elem>* elems, BEdge2** edges, int unused);
/// Marks the problem-wide numbers of both nodes of every boundary edge.
void CalcBoundaryEdges2(Plex<Elem>* elems, BitVec& marks);
/// Faces of tetrahedra and hexahedra that belong to one element only; stores a new array (null
/// when none) and returns the count. The third argument is not used.
int CalcBoundaryEdges3(Plex<Elem>* elems, BEdge3** faces, int unused);
/// Marks the problem-wide numbers of the corners of every boundary face.
void CalcBoundaryEdges3(Plex<Elem>* elems, BitVec& marks);
/// Sort order of stored edges: by first node, then by second node; -1, 0, 1.
int CompareBoundaryEdgePointers2(const void* a, const void* b);
/// Sort order of face records: first corner, corner count, then the corners that identify the face.
int CompareBoundaryEdgePointers3(const void* a, const void* b);
/// Rotates three corners cyclically so that the least node comes first.
void CurlOrder3(Node** c);
/// Rotates four corners cyclically so that the least node comes first.
void CurlOrder4(Node** c);
/// The fixed total order of nodes used by the boundary operations: by problem-wide number, then by address.
bool NodeBefore(const Node* a, const Node* b);
