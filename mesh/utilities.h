// Node-to-node graphs of element sets.
#pragma once

#include "foundation/intvec.h"
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
