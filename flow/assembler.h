// Geometric system matrices of a domain: Laplacian, consistent mass, gradient matrices, nodal
// volume and nodal element size, assembled element by element on the domain's one pattern.
#pragma once

#include <string>

class ElementTable;
class FluidDomain;
class Mesh;
class SparseMatrixStruct;

/// Where one assembly pass writes: value arrays of the matrices on `pattern` and nodal arrays
/// (0-based, entry k is the node whose number in the numbering slot is k+1).
struct SystemArrays {
  const SparseMatrixStruct* pattern = nullptr;  ///< the shared pattern
  double* laplacian = nullptr;                  ///< upper-triangle values of L
  double* mass = nullptr;                       ///< upper-triangle values of M
  double* gx = nullptr;                         ///< full-pattern values of Gx
  double* gy = nullptr;                         ///< full-pattern values of Gy
  double* gz = nullptr;                         ///< full-pattern values of Gz
  double* lumped = nullptr;                     ///< nodal volume (weights added)
  double* size = nullptr;                       ///< element length times weight (added)
  double* share = nullptr;                      ///< the set's own nodal volume (added)
};

/// Adds the contributions of every element of `set` (rows from numbering slot `slot`): closed
/// forms for 3-node triangles and 4-node tetrahedra unless `gauss` is set, Gauss rules otherwise.
/// The nodal weight of an element node is the integral of its shape function, or, when one of
/// the element's weights is not positive (corner nodes of some quadratic elements), the element
/// mass diagonal scaled to the element's volume. A singular Jacobian, a negative or a null
/// volume end the run with the set's name and the first such element.
void AssembleSystemSet(Mesh* set, const char* setName, int slot, const SystemArrays& out, bool gauss = false);

/// The same with the set's element table kept by the caller (built for `set` and out.pattern):
/// its row blocks run on the threads, and every entry still sums its elements in the set's
/// order, so the arrays are bitwise the same for any thread count.
/// `inverted`, when given, replaces the orientation hint after a negative volume (see
/// InvertedByMeshMotion).
void AssembleSystemSet(Mesh* set, const char* setName, const ElementTable& table, const SystemArrays& out,
                       bool gauss = false, const char* inverted = nullptr);

/// The hint after a negative volume in a fluid set of `d` whose mesh has moved since the set-up:
/// the motion inverted the element, the moving bodies named, and what to do. "" when the mesh
/// has not moved: the element is then inverted as the data file gives it.
std::string InvertedByMeshMotion(FluidDomain& d);
