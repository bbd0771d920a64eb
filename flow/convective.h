// Convective matrices of a velocity field: K_ij = ∫ N_i (U·∇N_j) and the streamline matrix
// S_ij = ∫ (U·∇N_i)(U·∇N_j), with the element stabilisation parameter gathered per node, assembled
// element by element on the domain's one pattern. Rebuilt every iteration, so the positions of
// every element's node pairs are found once and kept.
#pragma once

#include <cstdint>
#include <vector>

#include "solvers/rowblocks.h"

class Elem;
class Mesh;
class SparseMatrixStruct;

/// The elements of one set as flat arrays for repeated assembly: the rows of every element's
/// nodes and the positions of its node pairs in the pattern, kept as offsets from the start of the
/// pair's row (one byte each). Rows longer than 255 positions cannot be kept so; the set then
/// searches its rows at each assembly. The rows are cut into one block per thread twice: with the
/// elements in the table's order and in the set's own order.
class ElementTable {
 public:
  /// Lists the elements of `set` (rows from numbering slot `slot`) and finds their pairs in `pattern`.
  void Build(Mesh* set, int slot, const SparseMatrixStruct* pattern);
  /// True when the table was built for this set and pattern and the set has not changed since.
  bool Fits(const Mesh* set, const SparseMatrixStruct* pattern) const;
  /// Cuts the rows again when the blocks are not those of the current thread count.
  void FitBlocks();
  /// Nodes per element and element count.
  int Nodes() const { return n_; }
  int Elements() const { return elems_; }
  /// Element k (the elements are kept in order of their smallest row).
  Elem* Element(std::size_t k) const { return elem_[k]; }
  /// Position in the table of the set's element s (counted in the set's order).
  std::size_t OfSetElement(std::size_t s) const { return std::size_t(bySet_[s]); }
  /// The n rows of element k.
  const int* Rows(std::size_t k) const { return rows_.data() + k * std::size_t(n_); }
  /// The n*n offsets of element k, pair (a, b) at a*n + b; null when not kept.
  const std::uint8_t* Offsets(std::size_t k) const { return kept_ ? off_.data() + k * nn_ : nullptr; }
  /// Row blocks over the table's positions, and over the set's positions.
  const RowBlocks& Blocks() const { return blocks_; }
  const RowBlocks& SetBlocks() const { return setBlocks_; }

 private:
  const Mesh* set_ = nullptr;
  const SparseMatrixStruct* pattern_ = nullptr;
  int n_ = 0, elems_ = 0;
  std::size_t nn_ = 0;
  bool kept_ = false;
  std::vector<Elem*> elem_;
  std::vector<int> bySet_;
  std::vector<int> rows_;
  std::vector<std::uint8_t> off_;
  RowBlocks blocks_, setBlocks_;
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
