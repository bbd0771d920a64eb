// Element geometry at one Gauss point: the Jacobian of the reference map, its determinant and the
// shape-function gradients, shared by the element-matrix assemblies of the flow solution.
#pragma once

#include <cmath>

class Elem;

/// Largest node count of an element.
inline constexpr int kMaxElemNodes = 27;

/// Mean length of the closed chain of the element's first `corners` nodes (coordinates p[a]).
inline double CornerChainLength(const double* const* p, int corners) {
  double s = 0;
  for (int a = 0; a < corners; ++a) {
    const double* x = p[a];
    const double* y = p[(a + 1) % corners];
    s += std::sqrt((x[0] - y[0]) * (x[0] - y[0]) + (x[1] - y[1]) * (x[1] - y[1]) + (x[2] - y[2]) * (x[2] - y[2]));
  }
  return s / corners;
}

/// Extents of the element along x, y and z: the largest difference of each coordinate over its
/// first `corners` nodes.
inline void CornerExtents(const double* const* p, int corners, double* L) {
  for (int k = 0; k < 3; ++k) {
    double lo = p[0][k], hi = p[0][k];
    for (int a = 1; a < corners; ++a) {
      lo = p[a][k] < lo ? p[a][k] : lo;
      hi = p[a][k] > hi ? p[a][k] : hi;
    }
    L[k] = hi - lo;
  }
}

/// True when a Jacobian determinant is zero, exactly or up to the round-off of an element of
/// mean edge `len` in `d` dimensions (coincident, collinear or coplanar nodes).
inline bool SingularJacobian(double det, double len, int d) {
  const double scale = d == 3 ? len * len * len : d == 2 ? len * len : len;
  return det == 0 || std::fabs(det) <= 1e-15 * scale;
}

/// Jacobian J = dn X of an element of n nodes in d = 1, 2, 3 dimensions (dn: d x n reference derivatives,
/// row-major; X[a]: coordinates of node a) and B = J^-1 dn (B[k][a] = ∂N_a/∂x_k). Returns det J;
/// B is not written when the determinant is singular for an element of mean edge `len`.
inline double ShapeGradients(int d, int n, const double* dn, const double (*X)[3], double len,
                             double (*B)[kMaxElemNodes]) {
  double J[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  for (int r = 0; r < d; ++r)
    for (int k = 0; k < d; ++k) {
      double s = 0;
      for (int a = 0; a < n; ++a) s += dn[r * n + a] * X[a][k];
      J[r][k] = s;
    }
  double inv[3][3], det;
  if (d == 1) {
    det = J[0][0];
    if (SingularJacobian(det, len, 1)) return 0;
    inv[0][0] = 1 / det;
  } else if (d == 2) {
    det = J[0][0] * J[1][1] - J[0][1] * J[1][0];
    if (SingularJacobian(det, len, 2)) return 0;
    inv[0][0] = J[1][1] / det, inv[0][1] = -J[0][1] / det;
    inv[1][0] = -J[1][0] / det, inv[1][1] = J[0][0] / det;
  } else {
    const double c00 = J[1][1] * J[2][2] - J[1][2] * J[2][1], c01 = J[1][2] * J[2][0] - J[1][0] * J[2][2],
                 c02 = J[1][0] * J[2][1] - J[1][1] * J[2][0];
    det = J[0][0] * c00 + J[0][1] * c01 + J[0][2] * c02;
    if (SingularJacobian(det, len, 3)) return 0;
    inv[0][0] = c00 / det;
    inv[0][1] = (J[0][2] * J[2][1] - J[0][1] * J[2][2]) / det;
    inv[0][2] = (J[0][1] * J[1][2] - J[0][2] * J[1][1]) / det;
    inv[1][0] = c01 / det;
    inv[1][1] = (J[0][0] * J[2][2] - J[0][2] * J[2][0]) / det;
    inv[1][2] = (J[0][2] * J[1][0] - J[0][0] * J[1][2]) / det;
    inv[2][0] = c02 / det;
    inv[2][1] = (J[0][1] * J[2][0] - J[0][0] * J[2][1]) / det;
    inv[2][2] = (J[0][0] * J[1][1] - J[0][1] * J[1][0]) / det;
  }
  for (int k = 0; k < d; ++k)
    for (int a = 0; a < n; ++a) {
      double s = 0;
      for (int r = 0; r < d; ++r) s += inv[k][r] * dn[r * n + a];
      B[k][a] = s;
    }
  return det;
}

/// Ends the run with the shape-function message of element e (collinear or coplanar nodes).
[[noreturn, gnu::cold]] void ShapeFunctionFault(const Elem* e);
