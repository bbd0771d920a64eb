// What a user function of a domain reads of that domain: its named nodal fields, its material
// node sets and, once per evaluation pass, raw views of its coordinates and node rows. The
// function language sits below the domains, so it reaches them only through this interface.
#pragma once

#include "foundation/bitvec.h"
#include "foundation/intvec.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"

/// Raw, 0-based views of a domain for one evaluation pass (entry k belongs to domain node k+1).
/// Pointers stay valid until the domain resizes a field or rebuilds its matrices, so a pass takes
/// a fresh view at its start and reads nothing else of the domain per node.
struct DomainView {
  int nodes = 0;                           ///< domain node count
  const ReaVec* const* coords = nullptr;   ///< coordinates of each node (x, y, z entries)
  const int* graphRow = nullptr;           ///< node-graph row starts (nodes + 1 entries)
  const int* graphCol = nullptr;           ///< node-graph columns: the node and its neighbours
  const double* gx = nullptr;              ///< x-derivative values on the node graph
  const double* gy = nullptr;              ///< y-derivative values on the node graph
  const double* gz = nullptr;              ///< z-derivative values on the node graph
  const int* massRow = nullptr;            ///< full rows of the averaging (mass) matrix
  const int* massCol = nullptr;            ///< columns of those rows
  const int* massPos = nullptr;            ///< value position of each full-row entry
  const double* massVal = nullptr;         ///< stored values of the averaging matrix
  const double* invLumped = nullptr;       ///< nodal normalisation (inverse lumped mass)
  const IntVec* globalToLocal = nullptr;   ///< problem node number to domain node number
  Plex<ReaVec>* normals = nullptr;         ///< body normal per domain node, where one exists
  int meshMoves = 0;                       ///< 1 when the domain's mesh deforms
};

/// A domain whose fields and neighbourhoods user functions read.
class FunctionDomain {
 public:
  virtual ~FunctionDomain() = default;
  /// The nodal field called `name` (case ignored), or null (used while compiling).
  virtual ReaVec* GiveVector(const char* name) = 0;
  /// Index of the first element set named exactly `name`, or -1 (used once per instruction).
  virtual int GiveMaterialIndex(const char* name) = 0;
  /// Nodes of the material of index `index` (bit k-1 is domain node k), or null when none.
  virtual const BitVec* MaterialNodes(int index) = 0;
  /// Raw views for one evaluation pass.
  virtual DomainView View() = 0;
};
