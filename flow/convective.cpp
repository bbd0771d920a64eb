#include "flow/convective.h"

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

[[noreturn, gnu::cold]] void Singular(const Elem* e) {
  OLVU_FATAL("Problems found calculating Shape Functions in " << *e << "\n");
}

// Reference derivatives of the linear triangle and tetrahedron (d x n, row-major).
constexpr double kTriangleD[6] = {-1, 1, 0, -1, 0, 1};
constexpr double kTetrahedronD[12] = {-1, 1, 0, 0, -1, 0, 1, 0, -1, 0, 0, 1};

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

// Writes the element matrices into K and S: one position per pair, kept or searched.
struct Scatter {
  const int* rp;
  const int* ci;
  int diagFirst, sorted;
  double* k;
  double* s;
  double* tau;

  void pairs(const int* rows, int n, const std::uint8_t* off, const double* Ke, const double* Se) const {
    for (int a = 0; a < n; ++a) {
      const int r = rows[a];
      for (int b = 0; b < n; ++b) {
        const int p = off ? rp[r] + off[a * n + b] : FindInRow(rp, ci, diagFirst, sorted, r, rows[b]);
        k[p] += Ke[a * n + b];
        s[p] += Se[a * n + b];
      }
    }
  }
  void nodal(const int* rows, int n, const double* W, double t) const {
    for (int a = 0; a < n; ++a) tau[rows[a]] += t * W[a];
  }
};

Scatter MakeScatter(const ConvectiveArrays& out) {
  const SparseMatrixStruct* s = out.pattern;
  return Scatter{s->row_ptr(0), s->col_ind(0), s->diag_first(), s->sorted(), out.k, out.s, out.tau};
}

// Ke = Me P and Se = P^T Ke for P_kj = U_k·∇N_j, with the linear element's consistent mass
// (diagonal 2 m, off-diagonal m): Ke_ij = m (Σ_k P_kj + P_ij).
template <int N>
void LinearElementMatrices(const double (*B)[kMaxElemNodes], const double (*Uv)[3], double m, double* Ke,
                           double* Se) {
  constexpr int D = N - 1;
  double P[N][N];
  for (int a = 0; a < N; ++a)
    for (int j = 0; j < N; ++j) {
      double t = 0;
      for (int d = 0; d < D; ++d) t += Uv[a][d] * B[d][j];
      P[a][j] = t;
    }
  for (int j = 0; j < N; ++j) {
    double col = 0;
    for (int a = 0; a < N; ++a) col += P[a][j];
    for (int i = 0; i < N; ++i) Ke[i * N + j] = m * (col + P[i][j]);
  }
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) {
      double t = 0;
      for (int a = 0; a < N; ++a) t += P[a][i] * Ke[a * N + j];
      Se[i * N + j] = t;
    }
}

// Closed forms of the linear triangle (N = 3) and tetrahedron (N = 4).
template <int N>
void AssembleLinear(Mesh* set, int slot, const PairOffsets& offsets, const ConvectiveArrays& out) {
  constexpr int D = N - 1;
  const double* dn = N == 3 ? kTriangleD : kTetrahedronD;
  const double volumeFactor = N == 3 ? 0.5 : 1.0 / 6.0;  // area det/2, volume det/6
  const double massFactor = N == 3 ? 1.0 / 12.0 : 1.0 / 20.0;
  const Scatter sc = MakeScatter(out);
  const double* vel[3] = {out.u, out.v, out.w};
  double Ke[N * N], Se[N * N], W[N], X[N][3], Uv[N][3], B[3][kMaxElemNodes];
  const double* p[N];
  int rows[N];
  std::size_t k = 0;
  int i = 0;
  while (Elem* e = set->giveNextElm(i)) {
    Node* const* nd = e->nodesArray();
    for (int a = 0; a < N; ++a) {
      p[a] = nd[a]->GivePointer();
      rows[a] = nd[a]->num[slot] - 1;
      for (int d = 0; d < 3; ++d) X[a][d] = p[a][d];
      for (int d = 0; d < D; ++d) Uv[a][d] = vel[d][rows[a]];
    }
    const double len = CornerChainLength(p, N);
    const double det = ShapeGradients(D, N, dn, X, len, B);
    if (det == 0) Singular(e);
    const double V = det * volumeFactor;
    LinearElementMatrices<N>(B, Uv, V * massFactor, Ke, Se);
    double U[3], L[3];
    ElementVelocity(out, rows, N, U);
    CornerExtents(p, N, L);
    const double t = ElementTau(U, L, D, out.maxVelocity, out.dtTheta);
    for (int a = 0; a < N; ++a) W[a] = V / N;
    sc.pairs(rows, N, offsets.Kept() ? offsets.Element(k) : nullptr, Ke, Se);
    sc.nodal(rows, N, W, t);
    ++k;
  }
}

void AssembleGauss(Mesh* set, int slot, const PairOffsets& offsets, const ConvectiveArrays& out) {
  const ElemOrder eo = set->GiveElemOrder();
  Matrix N[kMaxGaussPoints], dN[kMaxGaussPoints];
  double wg[kMaxGaussPoints];
  const int np = Give_Integration_Data(eo, 2, N, dN, wg);
  const int n = set->GiveNnode();
  const int d = out.dimension;
  if (np == 0 || n > kMaxElemNodes || ShapeDimension(eo) != d) OLVU_FATAL("Element not implemented in fluid set\n");
  const int corners = set->GiveMinNnode();
  const bool quadratic = isQuadratic(eo);
  const Scatter sc = MakeScatter(out);
  const double* vel[3] = {out.u, out.v, out.w};
  double Ke[kMaxElemNodes * kMaxElemNodes], Se[kMaxElemNodes * kMaxElemNodes], Me[kMaxElemNodes];
  double W[kMaxElemNodes], X[kMaxElemNodes][3], Uv[kMaxElemNodes][3], B[3][kMaxElemNodes];
  double P[kMaxElemNodes][kMaxElemNodes], Q[kMaxElemNodes][kMaxElemNodes];
  const double* p[kMaxElemNodes];
  int rows[kMaxElemNodes];
  std::size_t k = 0;
  int i = 0;
  while (Elem* e = set->giveNextElm(i)) {
    Node* const* nd = e->nodesArray();
    for (int a = 0; a < n; ++a) {
      p[a] = nd[a]->GivePointer();
      rows[a] = nd[a]->num[slot] - 1;
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
      if (det == 0) Singular(e);
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
    sc.pairs(rows, n, offsets.Kept() ? offsets.Element(k) : nullptr, Ke, Se);
    sc.nodal(rows, n, W, t);
    ++k;
  }
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

void PairOffsets::Build(Mesh* set, int slot, const SparseMatrixStruct* pattern) {
  set_ = set;
  pattern_ = pattern;
  elems_ = set->NOfElems();
  const int n = set->GiveNnode();
  nn_ = std::size_t(n) * std::size_t(n);
  kept_ = false;
  off_.clear();
  const int* rp = pattern->row_ptr(0);
  const int* ci = pattern->col_ind(0);
  for (int r = 0; r < pattern->nrows(); ++r)
    if (rp[r + 1] - rp[r] > 255) return;
  off_.resize(nn_ * std::size_t(elems_));
  std::size_t k = 0;
  int i = 0;
  while (Elem* e = set->giveNextElm(i)) {
    Node* const* nd = e->nodesArray();
    std::uint8_t* o = off_.data() + k * nn_;
    for (int a = 0; a < n; ++a) {
      const int r = nd[a]->num[slot] - 1;
      for (int b = 0; b < n; ++b) {
        const int p = FindInRow(rp, ci, pattern->diag_first(), pattern->sorted(), r, nd[b]->num[slot] - 1);
        if (p < 0) OLVU_FATAL("Node pair of element " << *e << " missing from the sparse pattern\n");
        o[a * n + b] = std::uint8_t(p - rp[r]);
      }
    }
    ++k;
  }
  kept_ = true;
}

void AssembleConvectiveSet(Mesh* set, int slot, const PairOffsets& offsets, const ConvectiveArrays& out, bool gauss) {
  const ElemOrder eo = set->GiveElemOrder();
  if (!gauss && eo == Triangle3) AssembleLinear<3>(set, slot, offsets, out);
  else if (!gauss && eo == Tetrahedra4) AssembleLinear<4>(set, slot, offsets, out);
  else AssembleGauss(set, slot, offsets, out);
}
