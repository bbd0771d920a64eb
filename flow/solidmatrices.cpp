// Element matrices of the solid domain: consistent mass, one matrix per component of the
// conductivity tensor, the N-dN matrices and the nodal volumes, assembled on the solid pattern.
#include <new>

#include "domain/soliddomain.h"
#include "flow/shapegrad.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/matrix.h"
#include "mesh/elem.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "mesh/or_gauss.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

namespace {

constexpr int N = kMaxElemNodes;
// Direction pairs (k, l) of the conductivity components Kxx, Kxy, Kyy, Kxz, Kyz, Kzz.
constexpr int Pair[NSolidComponents][2] = {{0, 0}, {0, 1}, {1, 1}, {0, 2}, {1, 2}, {2, 2}};

// Where one set's elements go: raw arrays of the pattern and of the matrices (null: not wanted).
struct SolidArrays {
  const int* rp;
  const int* ci;
  const int* spos;
  int diagFirst, sorted;
  int ncomp;               // conductivity components filled (0 for the N-dN pass alone)
  double* mass;            // upper-triangle values of M (null in the N-dN pass)
  double* comp[NSolidComponents];
  double* nd[3];           // full-pattern values of NDx, NDy, NDz (NDz null in 2D)
  double* lumped;          // nodal volume, added (null in the N-dN pass)
  double* share;           // the set's own nodal volume, added (null: not wanted)
  double* tensor = nullptr;                      // full-pattern values of grad N^T K grad N (null: not wanted)
  const double* k[NSolidComponents] = {};        // nodal conductivity components of that matrix
};

// One element's matrices, row-major n x n.
struct ElementMatrices {
  double M[N * N], A[NSolidComponents][N * N], D[3][N * N], W[N];
  double kmean[NSolidComponents];  // the element's conductivity: the mean of its nodes' values
  void clear(int n, int ncomp) {
    for (int q = 0; q < n * n; ++q) {
      M[q] = D[0][q] = D[1][q] = D[2][q] = 0;
      for (int c = 0; c < ncomp; ++c) A[c][q] = 0;
    }
    for (int a = 0; a < n; ++a) W[a] = 0;
  }
  // Adds the products of one integration point of weight dV with gradients B and shape values sh
  // (sh null: the closed form of a linear element, whose M and W the caller sets).
  void add(int n, int d, int ncomp, double dV, const double (*B)[N], const double* sh) {
    for (int a = 0; a < n; ++a) {
      const double wa = sh ? dV * sh[a] : dV / n;
      if (sh) W[a] += wa;
      for (int b = 0; b < n; ++b) {
        const int ab = a * n + b;
        if (sh) M[ab] += wa * sh[b];
        for (int k = 0; k < d; ++k) D[k][ab] += wa * B[k][b];
        for (int c = 0; c < ncomp; ++c) {
          const int k = Pair[c][0], l = Pair[c][1];
          A[c][ab] += k == l ? dV * B[k][a] * B[k][b] : dV * (B[k][a] * B[l][b] + B[l][a] * B[k][b]);
        }
      }
    }
  }
};

// The negative and null volume checks of an element of the solid set `set`; `wrong` asks for the
// one message of the conductivity matrix builder instead.
void CheckVolume(double V, const char* set, const Elem* e, const char* hint, bool wrong) {
  if (wrong && V <= 0)
    OLVU_FATAL("Wrong Volume found in fluid set " << set << ", element " << e->Num()
                                                   << "\n\tCheck surface normal orientation or mesh data\n");
  if (V < 0) OLVU_FATAL("Negative Volume found in solid set " << set << ", element " << *e << hint << "\n");
  if (V < 1e-14) OLVU_FATAL("Null Volume found in solid set " << set << ", element " << *e << "\n");
}

// Adds one element into the global arrays: one pattern lookup per node pair.
void Scatter(const SolidArrays& out, const ElementMatrices& em, const int* rows, int n, int d) {
  for (int a = 0; a < n; ++a) {
    const int r = rows[a];
    for (int b = 0; b < n; ++b) {
      const int c = rows[b];
      const int p = FindInRow(out.rp, out.ci, out.diagFirst, out.sorted, r, c);
      const int ab = a * n + b;
      if (c >= r) {
        const int s = out.spos[p];
        if (out.mass) out.mass[s] += em.M[ab];
        for (int k = 0; k < out.ncomp; ++k)
          if (out.comp[k]) out.comp[k][s] += em.A[k][ab];
      }
      for (int k = 0; k < d; ++k)
        if (out.nd[k]) out.nd[k][p] += em.D[k][ab];
      if (out.tensor) {
        double v = 0;
        for (int k = 0; k < out.ncomp; ++k) v += em.kmean[k] * em.A[k][ab];
        out.tensor[p] += v;
      }
    }
    if (out.lumped) out.lumped[r] += em.W[a];
    if (out.share) out.share[r] += em.W[a];
  }
}

void AssembleSolidSet(Mesh* set, const char* name, const SolidArrays& out) {
  const int d = Dimension_Olvu == 3 ? 3 : 2;
  const ElemOrder eo = set->GiveElemOrder();
  const int n = set->GiveNnode();
  const bool linear = eo == Triangle3 || eo == Tetrahedra4;
  Matrix Ng[kMaxGaussPoints], dNg[kMaxGaussPoints];
  double wg[kMaxGaussPoints];
  int np = 0;
  // Reference derivatives of the linear triangle and tetrahedron, row-major d x n.
  static const double Dtri[6] = {-1, 1, 0, -1, 0, 1};
  static const double Dtet[12] = {-1, 1, 0, 0, -1, 0, 1, 0, -1, 0, 0, 1};
  if (!linear) {
    np = Give_Integration_Data(eo, 2, Ng, dNg, wg);
    if (np == 0 || n > N || ShapeDimension(eo) != d) OLVU_FATAL("Element not implemented in solid set " << name << "\n");
  }
  const char* hint = eo == Triangle3    ? "\n\tCheck surface normal orientation"
                     : eo == Tetrahedra4 ? "\n\tMesh collapsed - Check mesh data"
                                         : "\n\tCheck surface normal orientation or mesh data";
  const int corners = set->GiveMinNnode();
  static thread_local ElementMatrices em;
  double X[N][3], B[3][N];
  const double* p[N];
  int rows[N];
  int i = 0;
  while (Elem* e = set->giveNextElm(i)) {
    Node* const* nd = e->nodesArray();
    for (int a = 0; a < n; ++a) {
      p[a] = nd[a]->GivePointer();
      for (int k = 0; k < 3; ++k) X[a][k] = p[a][k];
      rows[a] = nd[a]->num[2] - 1;
    }
    const double len = CornerChainLength(p, corners);
    em.clear(n, out.ncomp);
    if (out.tensor)
      for (int c = 0; c < out.ncomp; ++c) {
        double sum = 0;
        for (int a = 0; a < n; ++a) sum += out.k[c][rows[a]];
        em.kmean[c] = sum / n;
      }
    if (linear) {
      const double det = ShapeGradients(d, n, d == 2 ? Dtri : Dtet, X, len, B);
      if (det == 0) ShapeFunctionFault(e);
      const double V = d == 2 ? det / 2 : det / 6;
      CheckVolume(V, name, e, hint, out.tensor != nullptr);
      em.add(n, d, out.ncomp, V, B, nullptr);
      const double diag = d == 2 ? V / 6 : V / 10, off = d == 2 ? V / 12 : V / 20;
      for (int a = 0; a < n; ++a) {
        em.W[a] = V / n;
        for (int b = 0; b < n; ++b) em.M[a * n + b] = a == b ? diag : off;
      }
    } else {
      double V = 0;
      for (int g = 0; g < np; ++g) {
        const double det = ShapeGradients(d, n, dNg[g].data, X, len, B);
        if (det == 0) ShapeFunctionFault(e);
        V += det * wg[g];
        em.add(n, d, out.ncomp, det * wg[g], B, Ng[g].data);
      }
      CheckVolume(V, name, e, hint, out.tensor != nullptr);
      // Corner weights of some quadratic elements are not positive: lump by the scaled diagonal.
      bool positive = true;
      for (int a = 0; a < n; ++a) positive = positive && em.W[a] > 1e-14 * V;
      if (!positive) {
        double diag = 0;
        for (int a = 0; a < n; ++a) diag += em.M[a * n + a];
        for (int a = 0; a < n; ++a) em.W[a] = em.M[a * n + a] * V / diag;
      }
    }
    Scatter(out, em, rows, n, d);
  }
}

}  // namespace

void SolidDomain::CalcSystemMatrixes() {
  Clock clock("Assembling System Matrixes");
  const int nc = Components();
  const int d = Dimension_Olvu == 3 ? 3 : 2;
  for (int k = 0; k < nc; ++k)
    if (!comp_[k]) {
      comp_[k] = std::make_unique<SymmetricSparseMatrix>(pattern_);
    }
  mass_->NullifyMatrix();
  for (int k = 0; k < nc; ++k) comp_[k]->NullifyMatrix();
  for (int k = 0; k < d; ++k) sys_[2 + k]->NullifyMatrix();
  lumped_ = 0.0;
  SolidArrays out{pattern_->row_ptr(0), pattern_->col_ind(0), pattern_->spos_ind(0), pattern_->diag_first(),
                  pattern_->sorted(), nc, mass_->sval(0), {}, {}, lumped_.GivePointer(), nullptr};
  for (int k = 0; k < nc; ++k) out.comp[k] = comp_[k]->sval(0);
  for (int k = 0; k < d; ++k) out.nd[k] = sys_[2 + k]->val(0);
  ReaVec& share = Nodal(work_.volumeShare);
  out.share = share.GivePointer();
  int i = 0;
  while (Mesh* m = fluidMeshes_.next(i)) {
    share = 0.0;
    AssembleSolidSet(m, m->Name(), out);
    m->initialiseLN_N(share);
  }
  // The lumped mass is the sum of the element weights: the row sums of M, except where an
  // element lumps by its scaled diagonal.
  invLumped_ = 1.0;
  invLumped_.quotient(lumped_);
  Solid_Volume = lumped_.sum();
}

// No caller: a solid whose mesh moves would rebuild its gradient matrices alone with it.
void SolidDomain::CalcNDNMatrixes() {
  Clock clock("Assembling N_DN Matrixes");
  const int d = Dimension_Olvu == 3 ? 3 : 2;
  for (int k = 0; k < d; ++k) sys_[2 + k]->NullifyMatrix();
  SolidArrays out{pattern_->row_ptr(0), pattern_->col_ind(0), pattern_->spos_ind(0), pattern_->diag_first(),
                  pattern_->sorted(), 0, nullptr, {}, {}, nullptr, Nodal(work_.volumeShare).GivePointer()};
  for (int k = 0; k < d; ++k) out.nd[k] = sys_[2 + k]->val(0);
  int i = 0;
  while (Mesh* m = fluidMeshes_.next(i)) AssembleSolidSet(m, m->Name(), out);
}

// No caller in the program (the temperature solve sums its component matrices): a conductivity
// given as one tensor field per step would be assembled by it.
void SolidDomain::CalcDNKDNMatrix(SystemSparseMatrix* A, ReaVec& kxx, ReaVec& kxy, ReaVec& kyy, ReaVec& kxz,
                                  ReaVec& kyz, ReaVec& kzz) {
  const int nc = Components();
  const ReaVec* k[NSolidComponents] = {&kxx, &kxy, &kyy, &kxz, &kyz, &kzz};
  for (int c = 0; c < nc; ++c)
    if (int(k[c]->length()) != numNodes) OLVU_FATAL("Wrong conductivity vector given to the conductivity matrix\n");
  SolidArrays out{pattern_->row_ptr(0), pattern_->col_ind(0), pattern_->spos_ind(0), pattern_->diag_first(),
                  pattern_->sorted(), nc, nullptr, {}, {}, nullptr, nullptr};
  out.tensor = A->val(0);
  for (int c = 0; c < nc; ++c) out.k[c] = k[c]->GivePointer();
  int i = 0;
  while (Mesh* m = fluidMeshes_.next(i)) AssembleSolidSet(m, m->Name(), out);
}
