// Element connectivity to sparsity patterns: one row and one column per node, a position
// for every pair of nodes that share an element.
#pragma once

#include "foundation/intvec.h"
#include "foundation/plex.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "solvers/csrtable.h"
#include "solvers/sparsestruct.h"

/// Pattern (n, n, diagonal first, sorted) of the element sets over the node table, rows from the
/// nodes' numbers in `slot`; null for an empty node table. The caller owns the result.
SparseMatrixStruct* createSparseMatrixStruct(Plex<Node>& nodes, Plex<Mesh>& meshes, int slot);
/// Pattern of one element set over the node table.
SparseMatrixStruct* createSparseMatrixStruct(Plex<Node>* nodes, Mesh* mesh, int slot);
/// Pattern of the element sets over the nodes gathered from their own node tables.
SparseMatrixStruct* createSparseMatrixStruct(Plex<Mesh>& meshes, int slot);
/// Pattern of one element set whose node rows are map(number in slot), n its node count.
SparseMatrixStruct* createSparseMatrixStruct(Mesh* mesh, IntVec map, int slot);

/// Where the row of an element node comes from: its number in `slot`, passed through `map`
/// (1-based) when a converter is given.
struct NodeRowRule {
  int slot = 0;                ///< numbering slot read from the node
  const IntVec* map = nullptr; ///< converter from that number to the row, or none
};

/// Calls f on a temporary mesh table (chunk size 5) holding `mesh` as item 1 and gives its result.
template <class F>
auto WithMeshTable(Mesh* mesh, F f) {
  Plex<Mesh> one(5, "Meshes");
  one.set_at(1, mesh);
  auto result = f(one);
  one.clear();
  return result;
}

/// Calls f on a temporary node table (chunk size 100) of the nodes of every mesh, in table order,
/// each appended after the highest index so far (a node of two meshes enters twice).
template <class F>
auto WithGatheredNodes(Plex<Mesh>& meshes, F f) {
  Plex<Node> all(100, "Nodes");
  int im = 0;
  for (Mesh* m = meshes.next(im); m; m = meshes.next(im)) {
    int in = 0;
    for (Node* nd = m->giveNextNode(in); nd; nd = m->giveNextNode(in)) all.append(nd);
  }
  auto result = f(all);
  all.clear();
  return result;
}

/// The node graph shared by the pattern and graph builders: row i (1..n) lists, in the order first
/// met, the distinct row numbers of the nodes of every element that holds node i; with `with_self`
/// each row starts with i itself, so that a node of no element keeps a row. Wrong node numbers end
/// the run with the mesh-data message ("A:" without a converter, "B:" with one).
CSR<int>* buildNodeGraph(Plex<Mesh>& meshes, int n, const NodeRowRule& rule, bool with_self);
