// Convective matrices of a velocity field: K_ij = ∫ N_i (U·∇N_j) and the streamline matrix
// S_ij = ∫ (U·∇N_i)(U·∇N_j), with the element stabilisation parameter gathered per node, assembled
// element by element on the domain's one pattern. Rebuilt every iteration, so the positions of
// every element's node pairs are found once and kept.
#pragma once

#include <cstdint>
#include <vector>

#include "mesh/elementtable.h"

class Elem;
class Mesh;
class SparseMatrixStruct;

/// Where one convective assembly pass reads and writes (nodal arrays 0-based by row).
struct ConvectiveArrays {
  const SparseMatrixStruct* pattern = nullptr;  ///< the shared pattern
  double* k = nullptr;                          ///< full-pattern values of K (added)
  double* s = nullptr;                          ///< full-pattern values of S (added)
  double* tau = nullptr;                        ///< element parameter times the node's weight (added)
  const double* u = nullptr;                    ///< velocity components by row
  const double* v = nullptr;
  const double* w = nullptr;
  const double* xyz = nullptr;  ///< node coordinates by row, three each
  double maxVelocity = 0;  ///< the problem's largest speed (decides when an element counts as at rest)
  double dtTheta = 0;      ///< θΔt: the parameter of an element at rest is half of it
  int dimension = 2;       ///< space dimension (components taken on the Gauss path)
};

/// Adds K, S and the nodal parameter sums of every element of `set`, listed in `table`: closed
/// forms for 3-node triangles and 4-node tetrahedra unless `gauss` is set, Gauss rules otherwise.
/// A singular Jacobian ends the run with the first such element. The blocks of the table run on
/// the threads; the result is bitwise the same for any thread count.
void AssembleConvectiveSet(Mesh* set, const ElementTable& table, const ConvectiveArrays& out, bool gauss = false);

/// Element parameter τ_e = 0.5 Σ|U_k L_k| / |U|², both sums over the first `comps` components of
/// the element velocity U (per component the nodal value of largest magnitude) and extents L; or
/// 0.5 θΔt for an element whose |U|² is below 1e-6 Max_Velocity² (every element when
/// Max_Velocity is below 1e-6). `factor` scales the moving value (0.5 on quadratic elements).
double ElementTau(const double* U, const double* L, int comps, double maxVelocity, double dtTheta,
                  double factor = 1.0);
