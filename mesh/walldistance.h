// Distance of every node of a domain to the nearest wall node, advanced as a front ordered by
// distance over the domain's node graph; and the graph-layer count from marked rows.
#pragma once

#include <vector>

#include "foundation/bitvec.h"
#include "foundation/intvec.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "mesh/utilities.h"
#include "solvers/csrtable.h"
#include "solvers/sparsestruct.h"

/// Distance to the nearest wall over the pattern `graph`: the node numbered r in `slot` owns pattern
/// row r - 1 and entry r of `distance`; converter[e] (0-based) is the node-table index of row e.
/// Wall nodes (the nodes of the wall sets) get 0; every node a graph path links to a wall gets the
/// distance to a wall node, or to the midpoint of two neighbouring wall nodes, found by a short
/// walk over the wall adjacency; unreached entries are left as they were. Returns the table of
/// the wall node assigned to each reached row (named "Distance nodes conectivity", by row number),
/// owned by the caller.
Plex<Node>* DistanceField(Plex<Node>* nodes, const std::vector<Mesh*>& walls, SparseMatrixStruct* graph,
                          IntVec& converter, ReaVec& distance, int slot);
/// The same over a compressed-row adjacency whose rows and entries are node numbers in `slot`; the
/// candidate wall points of a node are the nodes of the wall elements of its neighbour's wall node.
Plex<Node>* DistanceField(Plex<Node>* nodes, const std::vector<Mesh*>& walls, CSR<int>* graph,
                          IntVec& converter, ReaVec& distance, int slot);

/// DistanceField over a table of wall sets (the body sets of a domain).
template <class M, class G>
Plex<Node>* DistanceField(Plex<Node>* nodes, Plex<M>* walls, G* graph, IntVec& converter, ReaVec& distance,
                          int slot) {
  return DistanceField(nodes, MeshList(walls), graph, converter, distance, slot);
}

/// Number of graph edges from every row of `graph` to the nearest row marked in `marked` (bit i + 1
/// for row i) into layer (0-based by row); -1 where no marked row leads. Returns 0 when nothing is
/// marked, else 1.
int LayersField(SparseMatrixStruct* graph, BitVec& marked, IntVec& layer);
