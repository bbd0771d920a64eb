// Convective matrices of a velocity field: K_ij = ∫ N_i (U·∇N_j) and the streamline matrix
// S_ij = ∫ (U·∇N_i)(U·∇N_j), with the element stabilisation parameter gathered per node, assembled
// element by element on the domain's one pattern. Rebuilt every iteration, so the positions of
// every element's node pairs are found once and kept.
#pragma once

#include <cstdint>
#include <vector>

class Mesh;
class SparseMatrixStruct;

/// Positions of the node pairs of every element of one set in the pattern, kept as offsets from
/// the start of the pair's row (one byte each). Rows longer than 255 positions cannot be kept so;
/// the set then searches its rows at each assembly.
class PairOffsets {
 public:
  /// Finds the pairs of every element of `set` (rows from numbering slot `slot`) in `pattern`.
  void Build(Mesh* set, int slot, const SparseMatrixStruct* pattern);
  /// True once Build has kept the offsets.
  bool Kept() const { return kept_; }
  /// The n*n offsets of the k-th element (0-based, table order), pair (a, b) at a*n + b.
  const std::uint8_t* Element(std::size_t k) const { return off_.data() + k * nn_; }
  /// The set and pattern the offsets were built for.
  const Mesh* Set() const { return set_; }
  const SparseMatrixStruct* Pattern() const { return pattern_; }
  /// Element count when built (a set that gained elements needs a rebuild).
  int Elements() const { return elems_; }

 private:
  const Mesh* set_ = nullptr;
  const SparseMatrixStruct* pattern_ = nullptr;
  int elems_ = 0;
  std::size_t nn_ = 0;
  bool kept_ = false;
  std::vector<std::uint8_t> off_;
};

/// Where one convective assembly pass reads and writes (nodal arrays 0-based by row).
struct ConvectiveArrays {
  const SparseMatrixStruct* pattern = nullptr;  ///< the shared pattern
  double* k = nullptr;                          ///< full-pattern values of K (added)
  double* s = nullptr;                          ///< full-pattern values of S (added)
  double* tau = nullptr;                        ///< element parameter times the node's weight (added)
  const double* u = nullptr;                    ///< velocity components by row
  const double* v = nullptr;
  const double* w = nullptr;
  double maxVelocity = 0;  ///< the problem's largest speed (decides when an element counts as at rest)
  double dtTheta = 0;      ///< θΔt: the parameter of an element at rest is half of it
  int dimension = 2;       ///< space dimension (components taken on the Gauss path)
};

/// Adds K, S and the nodal parameter sums of every element of `set` (rows from numbering slot
/// `slot`): closed forms for 3-node triangles and 4-node tetrahedra unless `gauss` is set, Gauss
/// rules otherwise. A singular Jacobian ends the run with the element.
void AssembleConvectiveSet(Mesh* set, int slot, const PairOffsets& offsets, const ConvectiveArrays& out,
                           bool gauss = false);

/// Element parameter τ_e = 0.5 Σ|U_k L_k| / |U|², both sums over the first `comps` components of
/// the element velocity U (per component the nodal value of largest magnitude) and extents L; or
/// 0.5 θΔt for an element whose |U|² is below 1e-6 Max_Velocity² (every element when
/// Max_Velocity is below 1e-6). `factor` scales the moving value (0.5 on quadratic elements).
double ElementTau(const double* U, const double* L, int comps, double maxVelocity, double dtTheta,
                  double factor = 1.0);
