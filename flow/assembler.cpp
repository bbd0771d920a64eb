#include "flow/assembler.h"

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

constexpr int kMaxNodes = kMaxElemNodes;

// Raw pattern arrays, read once per set.
struct PatternView {
  const int* rp;
  const int* ci;
  const int* spos;
  int diagFirst;
  int sorted;
};

[[noreturn, gnu::cold]] void Negative(const char* set, const Elem* e, const char* hint) {
  OLVU_FATAL("Negative Volume found in fluid set " << set << ", element " << *e << hint << "\n");
}

[[noreturn, gnu::cold]] void Null(const char* set, const Elem* e) {
  OLVU_FATAL("Null Volume found in fluid set " << set << ", element " << *e << "\n");
}

// Mean length of the closed chain of the element's corners, in node order.
double ChainLength(Node* const* nd, int corners) {
  const double* p[kMaxNodes];
  for (int a = 0; a < corners; ++a) p[a] = nd[a]->GivePointer();
  return CornerChainLength(p, corners);
}

// The one place where element matrices enter the global arrays: one pattern lookup per pair.
struct Scatter {
  const PatternView& pv;
  const SystemArrays& out;
  int n;
  int rows[kMaxNodes];

  void pairs(const double* K, const double* Me, const double* G0, const double* G1, const double* G2) const {
    for (int a = 0; a < n; ++a) {
      const int r = rows[a];
      for (int b = 0; b < n; ++b) {
        const int c = rows[b];
        const int p = FindInRow(pv.rp, pv.ci, pv.diagFirst, pv.sorted, r, c);
        const int ab = a * n + b;
        if (c >= r) {
          const int s = pv.spos[p];
          out.laplacian[s] += K[ab];
          out.mass[s] += Me[ab];
        }
        out.gx[p] += G0[ab];
        out.gy[p] += G1[ab];
        if (G2) out.gz[p] += G2[ab];
      }
    }
  }
  void nodal(const double* W, double len) const {
    for (int a = 0; a < n; ++a) {
      out.lumped[rows[a]] += W[a];
      out.size[rows[a]] += len * W[a];
      out.share[rows[a]] += W[a];
    }
  }
};

void AssembleTriangles(Mesh* set, const char* name, int slot, const PatternView& pv, const SystemArrays& out) {
  Scatter sc{pv, out, 3, {}};
  double K[9], Me[9], G0[9], G1[9], W[3];
  int i = 0;
  while (Elem* e = set->giveNextElm(i)) {
    Node* const* nd = e->nodesArray();
    const double* p1 = nd[0]->GivePointer();
    const double* p2 = nd[1]->GivePointer();
    const double* p3 = nd[2]->GivePointer();
    const double len = ChainLength(nd, 3);
    const double j11 = p2[0] - p1[0], j12 = p2[1] - p1[1], j21 = p3[0] - p1[0], j22 = p3[1] - p1[1];
    const double det = j11 * j22 - j12 * j21;
    if (SingularJacobian(det, len, 2)) ShapeFunctionFault(e);
    const double A = det / 2;
    if (A < 0) Negative(name, e, "\n\tCheck surface normal orientation");
    if (A < 1e-14) Null(name, e);
    // Shape-function derivatives: B = J^-1 D.
    const double b[3] = {(p2[1] - p3[1]) / det, (p3[1] - p1[1]) / det, (p1[1] - p2[1]) / det};
    const double c[3] = {(p3[0] - p2[0]) / det, (p1[0] - p3[0]) / det, (p2[0] - p1[0]) / det};
    const double w = A / 3;
    for (int a = 0; a < 3; ++a) {
      W[a] = w;
      for (int q = 0; q < 3; ++q) {
        K[3 * a + q] = A * (b[a] * b[q] + c[a] * c[q]);
        Me[3 * a + q] = a == q ? A / 6 : A / 12;
        G0[3 * a + q] = w * b[q];
        G1[3 * a + q] = w * c[q];
      }
      sc.rows[a] = nd[a]->num[slot] - 1;
    }
    sc.pairs(K, Me, G0, G1, nullptr);
    sc.nodal(W, len);
  }
}

void AssembleTetrahedra(Mesh* set, const char* name, int slot, const PatternView& pv, const SystemArrays& out) {
  Scatter sc{pv, out, 4, {}};
  double K[16], Me[16], G0[16], G1[16], G2[16], W[4];
  int i = 0;
  while (Elem* e = set->giveNextElm(i)) {
    Node* const* nd = e->nodesArray();
    const double* p0 = nd[0]->GivePointer();
    double J[3][3];
    for (int r = 0; r < 3; ++r) {
      const double* p = nd[r + 1]->GivePointer();
      for (int k = 0; k < 3; ++k) J[r][k] = p[k] - p0[k];
    }
    const double len = ChainLength(nd, 4);
    // Cofactors of J: the inverse is their transpose over the determinant.
    const double c00 = J[1][1] * J[2][2] - J[1][2] * J[2][1], c01 = J[1][2] * J[2][0] - J[1][0] * J[2][2],
                 c02 = J[1][0] * J[2][1] - J[1][1] * J[2][0];
    const double det = J[0][0] * c00 + J[0][1] * c01 + J[0][2] * c02;
    if (SingularJacobian(det, len, 3)) ShapeFunctionFault(e);
    const double V = det / 6;
    if (V < 0) Negative(name, e, "\n\tMesh collapsed - Check mesh data");
    if (V < 1e-14) Null(name, e);
    const double inv[3][3] = {
        {c00 / det, (J[0][2] * J[2][1] - J[0][1] * J[2][2]) / det, (J[0][1] * J[1][2] - J[0][2] * J[1][1]) / det},
        {c01 / det, (J[0][0] * J[2][2] - J[0][2] * J[2][0]) / det, (J[0][2] * J[1][0] - J[0][0] * J[1][2]) / det},
        {c02 / det, (J[0][1] * J[2][0] - J[0][0] * J[2][1]) / det, (J[0][0] * J[1][1] - J[0][1] * J[1][0]) / det}};
    // B = J^-1 D with D = [[-1,1,0,0],[-1,0,1,0],[-1,0,0,1]].
    double B[3][4];
    for (int k = 0; k < 3; ++k) {
      B[k][1] = inv[k][0];
      B[k][2] = inv[k][1];
      B[k][3] = inv[k][2];
      B[k][0] = -(inv[k][0] + inv[k][1] + inv[k][2]);
    }
    const double w = V / 4;
    for (int a = 0; a < 4; ++a) {
      W[a] = w;
      for (int q = 0; q < 4; ++q) {
        K[4 * a + q] = V * (B[0][a] * B[0][q] + B[1][a] * B[1][q] + B[2][a] * B[2][q]);
        Me[4 * a + q] = a == q ? V / 10 : V / 20;
        G0[4 * a + q] = w * B[0][q];
        G1[4 * a + q] = w * B[1][q];
        G2[4 * a + q] = w * B[2][q];
      }
      sc.rows[a] = nd[a]->num[slot] - 1;
    }
    sc.pairs(K, Me, G0, G1, G2);
    sc.nodal(W, len);
  }
}

void AssembleGauss(Mesh* set, const char* name, int slot, const PatternView& pv, const SystemArrays& out) {
  const ElemOrder eo = set->GiveElemOrder();
  Matrix N[kMaxGaussPoints], dN[kMaxGaussPoints];
  double wg[kMaxGaussPoints];
  const int np = Give_Integration_Data(eo, 2, N, dN, wg);
  const int n = set->GiveNnode();
  const int d = ShapeDimension(eo);
  if (np == 0 || n > kMaxNodes || d < 2) OLVU_FATAL("Element not implemented in fluid set " << name << "\n");
  const int corners = set->GiveMinNnode();
  Scatter sc{pv, out, n, {}};
  double K[kMaxNodes * kMaxNodes], Me[kMaxNodes * kMaxNodes], G[3][kMaxNodes * kMaxNodes], W[kMaxNodes];
  double X[kMaxNodes][3], B[3][kMaxElemNodes];
  int i = 0;
  while (Elem* e = set->giveNextElm(i)) {
    Node* const* nd = e->nodesArray();
    for (int a = 0; a < n; ++a) {
      const double* p = nd[a]->GivePointer();
      for (int k = 0; k < d; ++k) X[a][k] = p[k];
      sc.rows[a] = nd[a]->num[slot] - 1;
    }
    const double len = ChainLength(nd, corners);
    for (int q = 0; q < n * n; ++q) K[q] = Me[q] = G[0][q] = G[1][q] = G[2][q] = 0;
    for (int a = 0; a < n; ++a) W[a] = 0;
    double V = 0;
    for (int g = 0; g < np; ++g) {
      const double* dn = dN[g].data;  // d x n, row-major
      const double* sh = N[g].data;
      const double det = ShapeGradients(d, n, dn, X, len, B);
      if (det == 0) ShapeFunctionFault(e);
      const double dV = det * wg[g];
      V += dV;
      for (int a = 0; a < n; ++a) {
        W[a] += dV * sh[a];
        for (int b = 0; b < n; ++b) {
          double s = 0;
          for (int k = 0; k < d; ++k) s += B[k][a] * B[k][b];
          K[a * n + b] += dV * s;
          Me[a * n + b] += dV * sh[a] * sh[b];
          for (int k = 0; k < d; ++k) G[k][a * n + b] += dV * sh[a] * B[k][b];
        }
      }
    }
    if (V < 0) Negative(name, e, "\n\tCheck surface normal orientation and mesh data");
    if (V < 1e-14) Null(name, e);
    // Corner weights of some quadratic elements are not positive: lump by the scaled diagonal.
    bool positive = true;
    for (int a = 0; a < n; ++a) positive = positive && W[a] > 1e-14 * V;
    if (!positive) {
      double diag = 0;
      for (int a = 0; a < n; ++a) diag += Me[a * n + a];
      for (int a = 0; a < n; ++a) W[a] = Me[a * n + a] * V / diag;
    }
    sc.pairs(K, Me, G[0], G[1], d == 3 ? G[2] : nullptr);
    sc.nodal(W, len);
  }
}

}  // namespace

void ShapeFunctionFault(const Elem* e) {
  OLVU_FATAL("Problems found calculating Shape Functions in " << *e << "\n");
}

void AssembleSystemSet(Mesh* set, const char* setName, int slot, const SystemArrays& out, bool gauss) {
  const SparseMatrixStruct* s = out.pattern;
  const PatternView pv{s->row_ptr(0), s->col_ind(0), s->spos_ind(0), s->diag_first(), s->sorted()};
  const ElemOrder eo = set->GiveElemOrder();
  if (!gauss && eo == Triangle3) AssembleTriangles(set, setName, slot, pv, out);
  else if (!gauss && eo == Tetrahedra4) AssembleTetrahedra(set, setName, slot, pv, out);
  else AssembleGauss(set, setName, slot, pv, out);
}
