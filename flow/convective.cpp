#include "flow/convective.h"

#include <algorithm>
#include <cmath>

#include "flow/shapegrad.h"
#include "foundation/error.h"
#include "foundation/matrix.h"
#include "mesh/elem.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "mesh/or_gauss.h"
#include "solvers/sparsestruct.h"

namespace {

// The element velocity: per component the nodal value of largest magnitude, the first node
// winning ties, 1e-14 when every value is at most that.
void ElementVelocity(const ConvectiveArrays& out, const int* rows, int n, double* U) {
  const double* c[3] = {out.u, out.v, out.w};
  for (int k = 0; k < 3; ++k) {
    double best = 1e-14;
    if (c[k])
      for (int a = 0; a < n; ++a) {
        const double x = c[k][rows[a]];
        if (std::fabs(x) > std::fabs(best)) best = x;
      }
    U[k] = best;
  }
}

// Writes the element matrices into K and S: one position per pair, kept or searched; only the
// rows [lo, hi) of the block being assembled are written.
struct Scatter {
  const int* rp;
  const int* ci;
  int diagFirst, sorted;
  double* k;
  double* s;
  double* tau;
  int lo = 0, hi = 0;

  bool mine(int r) const { return unsigned(r - lo) < unsigned(hi - lo); }
  // The linear elements' form, with the loops laid out at compile time.
  template <int N>
  void linearPairs(const int* rows, const std::uint8_t* off, const double* Ke, const double* Se) const {
    if (!off) return pairs(rows, N, off, Ke, Se);
#pragma GCC unroll 4
    for (int a = 0; a < N; ++a) {
      if (!mine(rows[a])) continue;
      const int base = rp[rows[a]];
#pragma GCC unroll 4
      for (int b = 0; b < N; ++b) {
        const int p = base + off[a * N + b];
        k[p] += Ke[a * N + b];
        s[p] += Se[a * N + b];
      }
    }
  }
  void pairs(const int* rows, int n, const std::uint8_t* off, const double* Ke, const double* Se) const {
    for (int a = 0; a < n; ++a) {
      const int r = rows[a];
      if (!mine(r)) continue;
      for (int b = 0; b < n; ++b) {
        const int p = off ? rp[r] + off[a * n + b] : FindInRow(rp, ci, diagFirst, sorted, r, rows[b]);
        k[p] += Ke[a * n + b];
        s[p] += Se[a * n + b];
      }
    }
  }
  void nodal(const int* rows, int n, const double* W, double t) const {
    for (int a = 0; a < n; ++a)
      if (mine(rows[a])) tau[rows[a]] += t * W[a];
  }
};

Scatter MakeScatter(const ConvectiveArrays& out, int lo, int hi) {
  const SparseMatrixStruct* s = out.pattern;
  return Scatter{s->row_ptr(0), s->col_ind(0), s->diag_first(), s->sorted(), out.k, out.s, out.tau, lo, hi};
}

// Ke = Me P and Se = P^T Ke for P_aj = U_a·∇N_j, with the linear element's consistent mass
// (diagonal 2 m, off-diagonal m). With c_j = Σ_a P_aj = (Σ_a U_a)·∇N_j and the velocity moments
// Σ_a U_a U_a^T: Ke_ij = m (c_j + P_ij) and Se_ij = m (c_i c_j + ∇N_i^T (Σ_a U_a U_a^T) ∇N_j).
template <int N>
void LinearElementMatrices(const double (*B)[kMaxElemNodes], const double (*Uv)[3], double m, double* Ke,
                           double* Se) {
  constexpr int D = N - 1;
  double sum[D] = {}, mom[D][D] = {};
  #pragma GCC unroll 4
  for (int a = 0; a < N; ++a)
    #pragma GCC unroll 4
    for (int k = 0; k < D; ++k) {
      sum[k] += Uv[a][k];
      #pragma GCC unroll 4
      for (int l = 0; l < D; ++l) mom[k][l] += Uv[a][k] * Uv[a][l];
    }
  double c[N], g[N][D], Mg[N][D];
  #pragma GCC unroll 4
  for (int j = 0; j < N; ++j) {
    c[j] = 0;
    #pragma GCC unroll 4
    for (int k = 0; k < D; ++k) {
      g[j][k] = B[k][j];
      c[j] += sum[k] * B[k][j];
    }
    #pragma GCC unroll 4
    for (int k = 0; k < D; ++k) {
      Mg[j][k] = 0;
      #pragma GCC unroll 4
      for (int l = 0; l < D; ++l) Mg[j][k] += mom[k][l] * B[l][j];
    }
  }
  #pragma GCC unroll 4
  for (int i = 0; i < N; ++i)
    #pragma GCC unroll 4
    for (int j = 0; j < N; ++j) {
      double pij = 0, q = 0;
      #pragma GCC unroll 4
      for (int k = 0; k < D; ++k) {
        pij += Uv[i][k] * g[j][k];
        q += g[i][k] * Mg[j][k];
      }
      Ke[i * N + j] = m * (c[j] + pij);
      Se[i * N + j] = m * (c[i] * c[j] + q);
    }
}

// Gradients of the linear triangle (N = 3) or tetrahedron (N = 4) with corners p: B[k][a] =
// ∂N_a/∂x_k; returns det J (0 when exactly singular).
template <int N>
double LinearGradients(const double* const* p, double (*B)[kMaxElemNodes]) {
  if constexpr (N == 3) {
    const double j11 = p[1][0] - p[0][0], j12 = p[1][1] - p[0][1], j21 = p[2][0] - p[0][0], j22 = p[2][1] - p[0][1];
    const double det = j11 * j22 - j12 * j21;
    if (det == 0) return 0;
    const double r = 1 / det;
    B[0][0] = (p[1][1] - p[2][1]) * r, B[0][1] = (p[2][1] - p[0][1]) * r, B[0][2] = (p[0][1] - p[1][1]) * r;
    B[1][0] = (p[2][0] - p[1][0]) * r, B[1][1] = (p[0][0] - p[2][0]) * r, B[1][2] = (p[1][0] - p[0][0]) * r;
    return det;
  } else {
    // J has the edges from the first corner as rows; B = J^-1 D through its cofactors.
    double J[3][3];
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) J[r][c] = p[r + 1][c] - p[0][c];
    const double c00 = J[1][1] * J[2][2] - J[1][2] * J[2][1], c01 = J[1][2] * J[2][0] - J[1][0] * J[2][2],
                 c02 = J[1][0] * J[2][1] - J[1][1] * J[2][0];
    const double det = J[0][0] * c00 + J[0][1] * c01 + J[0][2] * c02;
    if (det == 0) return 0;
    const double r = 1 / det;
    const double inv[3][3] = {{c00 * r, (J[0][2] * J[2][1] - J[0][1] * J[2][2]) * r, (J[0][1] * J[1][2] - J[0][2] * J[1][1]) * r},
                              {c01 * r, (J[0][0] * J[2][2] - J[0][2] * J[2][0]) * r, (J[0][2] * J[1][0] - J[0][0] * J[1][2]) * r},
                              {c02 * r, (J[0][1] * J[2][0] - J[0][0] * J[2][1]) * r, (J[0][0] * J[1][1] - J[0][1] * J[1][0]) * r}};
    for (int k = 0; k < 3; ++k) {
      B[k][1] = inv[k][0], B[k][2] = inv[k][1], B[k][3] = inv[k][2];
      B[k][0] = -(inv[k][0] + inv[k][1] + inv[k][2]);
    }
    return det;
  }
}

// Closed forms of the linear triangle (N = 3) and tetrahedron (N = 4).
template <int N>
void AssembleLinear(const ElementTable& table, const ConvectiveArrays& out) {
  constexpr int D = N - 1;
  const double volumeFactor = N == 3 ? 0.5 : 1.0 / 6.0;  // area det/2, volume det/6
  const double massFactor = N == 3 ? 1.0 / 12.0 : 1.0 / 20.0;
  const double* vel[3] = {out.u, out.v, out.w};
  const int bad = table.Blocks().Run([&](int rowLo, int rowHi, const int* first, const int* last) {
    const Scatter sc = MakeScatter(out, rowLo, rowHi);
    double Ke[N * N], Se[N * N], W[N], Uv[N][3], B[3][kMaxElemNodes];
    const double* p[N];
    for (const int* it = first; it != last; ++it) {
      const std::size_t k = std::size_t(*it);
      const int* rows = table.Rows(k);
      #pragma GCC unroll 4
      for (int a = 0; a < N; ++a) {
        p[a] = out.xyz + 3 * std::size_t(rows[a]);
        #pragma GCC unroll 4
        for (int d = 0; d < D; ++d) Uv[a][d] = vel[d][rows[a]];
      }
      // The system matrices have already stopped a run with degenerate elements: only an exactly
      // singular Jacobian is refused here.
      const double det = LinearGradients<N>(p, B);
      if (det == 0) return int(k);
      const double V = det * volumeFactor;
      LinearElementMatrices<N>(B, Uv, V * massFactor, Ke, Se);
      double U[3], L[3];
  #pragma GCC unroll 3
      for (int c = 0; c < D; ++c) {
        double best = 1e-14, lo = p[0][c], hi = p[0][c];
  #pragma GCC unroll 4
        for (int a = 0; a < N; ++a) {
          const double x = Uv[a][c];
          if (std::fabs(x) > std::fabs(best)) best = x;
          lo = p[a][c] < lo ? p[a][c] : lo;
          hi = p[a][c] > hi ? p[a][c] : hi;
        }
        U[c] = best, L[c] = hi - lo;
      }
      const double t = ElementTau(U, L, D, out.maxVelocity, out.dtTheta);
      #pragma GCC unroll 4
      for (int a = 0; a < N; ++a) W[a] = V / N;
      sc.linearPairs<N>(rows, table.Offsets(k), Ke, Se);
      sc.nodal(rows, N, W, t);
    }
    return -1;
  });
  if (bad >= 0) ShapeFunctionFault(table.Element(std::size_t(bad)));
}

void AssembleGauss(Mesh* set, const ElementTable& table, const ConvectiveArrays& out) {
  const ElemOrder eo = set->GiveElemOrder();
  Matrix N[kMaxGaussPoints], dN[kMaxGaussPoints];
  double wg[kMaxGaussPoints];
  const int np = Give_Integration_Data(eo, 2, N, dN, wg);
  const int n = set->GiveNnode();
  const int d = out.dimension;
  if (np == 0 || n > kMaxElemNodes || ShapeDimension(eo) != d) OLVU_FATAL("Element not implemented in fluid set\n");
  const int corners = set->GiveMinNnode();
  const bool quadratic = isQuadratic(eo);
  const double* vel[3] = {out.u, out.v, out.w};
  const int bad = table.Blocks().Run([&](int rowLo, int rowHi, const int* first, const int* last) {
    const Scatter sc = MakeScatter(out, rowLo, rowHi);
    double Ke[kMaxElemNodes * kMaxElemNodes], Se[kMaxElemNodes * kMaxElemNodes], Me[kMaxElemNodes];
    double W[kMaxElemNodes], X[kMaxElemNodes][3], Uv[kMaxElemNodes][3], B[3][kMaxElemNodes];
    double P[kMaxElemNodes][kMaxElemNodes], Q[kMaxElemNodes][kMaxElemNodes];
    const double* p[kMaxElemNodes];
    for (const int* it = first; it != last; ++it) {
      const std::size_t k = std::size_t(*it);
      const int* rows = table.Rows(k);
      for (int a = 0; a < n; ++a) {
        p[a] = out.xyz + 3 * std::size_t(rows[a]);
        for (int c = 0; c < 3; ++c) X[a][c] = p[a][c];
        for (int c = 0; c < d; ++c) Uv[a][c] = vel[c][rows[a]];
      }
      const double len = CornerChainLength(p, corners);
      for (int q = 0; q < n * n; ++q) Ke[q] = Se[q] = 0;
      for (int a = 0; a < n; ++a) W[a] = Me[a] = 0;
      double V = 0;
      for (int g = 0; g < np; ++g) {
        const double* sh = N[g].data;
        const double det = ShapeGradients(d, n, dN[g].data, X, len, B);
        if (det == 0) return int(k);
        const double dV = det * wg[g];
        V += dV;
        for (int a = 0; a < n; ++a) {
          W[a] += dV * sh[a];
          Me[a] += dV * sh[a] * sh[a];
          for (int j = 0; j < n; ++j) {
            double t = 0;
            for (int c = 0; c < d; ++c) t += Uv[a][c] * B[c][j];
            P[a][j] = t;
          }
        }
        // Q = dV N N^T P, computed as N_i (dV Σ_a N_a P_aj); Ke += Q, Se += P^T Q.
        for (int j = 0; j < n; ++j) {
          double t = 0;
          for (int a = 0; a < n; ++a) t += sh[a] * P[a][j];
          for (int a = 0; a < n; ++a) Q[a][j] = dV * sh[a] * t;
        }
        for (int a = 0; a < n; ++a)
          for (int j = 0; j < n; ++j) {
            Ke[a * n + j] += Q[a][j];
            double t = 0;
            for (int b = 0; b < n; ++b) t += P[b][a] * Q[b][j];
            Se[a * n + j] += t;
          }
      }
      // The nodal weights follow the lumped mass: where a corner weight of a quadratic element is
      // not positive, the element's mass diagonal scaled to its volume.
      bool positive = true;
      for (int a = 0; a < n; ++a) positive = positive && W[a] > 1e-14 * V;
      if (!positive) {
        double diag = 0;
        for (int a = 0; a < n; ++a) diag += Me[a];
        for (int a = 0; a < n; ++a) W[a] = Me[a] * V / diag;
      }
      double U[3], L[3];
      ElementVelocity(out, rows, n, U);
      for (int c = d; c < 3; ++c) U[c] = 1e-14;
      CornerExtents(p, corners, L);
      const double t = ElementTau(U, L, 3, out.maxVelocity, out.dtTheta, quadratic ? 0.5 : 1.0);
      sc.pairs(rows, n, table.Offsets(k), Ke, Se);
      sc.nodal(rows, n, W, t);
    }
    return -1;
  });
  if (bad >= 0) ShapeFunctionFault(table.Element(std::size_t(bad)));
}

}  // namespace

double ElementTau(const double* U, const double* L, int comps, double maxVelocity, double dtTheta, double factor) {
  double u2 = 0, s = 0;
  for (int k = 0; k < comps; ++k) {
    u2 += U[k] * U[k];
    s += std::fabs(U[k] * L[k]);
  }
  const double rest = maxVelocity < 1e-6 ? 1e100 : 1e-6 * maxVelocity * maxVelocity;
  return u2 < rest ? 0.5 * dtTheta : factor * 0.5 * s / u2;
}

void AssembleConvectiveSet(Mesh* set, const ElementTable& table, const ConvectiveArrays& out, bool gauss) {
  const ElemOrder eo = set->GiveElemOrder();
  if (!gauss && eo == Triangle3) AssembleLinear<3>(table, out);
  else if (!gauss && eo == Tetrahedra4) AssembleLinear<4>(table, out);
  else AssembleGauss(set, table, out);
}
