// The directional parts of the fluid domain's Laplacian (L = Lxx + Lyy + Lzz) and the
// volume-weighted directional element sizes, integrated with the Gauss rules of every set.
#include "domain/fluiddomain.h"
#include "flow/assembler.h"
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

void FluidDomain::CalcAdditionalSystemMatrixes() {
  Clock clock("Assembling System Matrixes");
  // A failed allocation ends the run through the one heap handler.
  if (!lapDir_[0])
    for (auto& m : lapDir_) m.reset(new SymmetricSparseMatrix(pattern_));
  for (auto& m : lapDir_) m->NullifyMatrix();
  for (int id : {AddVec1, AddVec2, AddVec3}) Size(id);
  int i = 0;
  while (Mesh* m = fluidMeshes_.next(i)) CalcAdditionalSystemMatrixesDefault(m);
  for (int id : {AddVec1, AddVec2, AddVec3}) vars_[id].product(invLumped_);
}

void FluidDomain::CalcAdditionalSystemMatrixesDefault(Mesh* set) {
  const ElemOrder eo = set->GiveElemOrder();
  Matrix N[kMaxGaussPoints], dN[kMaxGaussPoints];
  double wg[kMaxGaussPoints];
  const int np = Give_Integration_Data(eo, 2, N, dN, wg);
  const int n = set->GiveNnode();
  const int d = Dimension_Olvu;
  if (np == 0 || n > kMaxElemNodes || ShapeDimension(eo) != d)
    OLVU_FATAL("Element not implemented in fluid set " << set->Name() << "\n");
  const int corners = set->GiveMinNnode();
  const SparseMatrixStruct* s = pattern_;
  const int* rp = s->row_ptr(0);
  const int* ci = s->col_ind(0);
  const int* spos = s->spos_ind(0);
  double* out[3] = {lapDir_[0]->sval(0), lapDir_[1]->sval(0), lapDir_[2]->sval(0)};
  double* size[3] = {vars_[AddVec1].GivePointer(), vars_[AddVec2].GivePointer(), vars_[AddVec3].GivePointer()};
  double A[3][kMaxElemNodes * kMaxElemNodes], W[kMaxElemNodes], X[kMaxElemNodes][3], B[3][kMaxElemNodes];
  const double* p[kMaxElemNodes];
  int rows[kMaxElemNodes];
  int i = 0;
  while (Elem* e = set->giveNextElm(i)) {
    Node* const* nd = e->nodesArray();
    for (int a = 0; a < n; ++a) {
      p[a] = nd[a]->GivePointer();
      rows[a] = nd[a]->num[kind_] - 1;
      for (int c = 0; c < 3; ++c) X[a][c] = p[a][c];
    }
    const double len = CornerChainLength(p, corners);
    for (int c = 0; c < d; ++c)
      for (int q = 0; q < n * n; ++q) A[c][q] = 0;
    for (int a = 0; a < n; ++a) W[a] = 0;
    double V = 0;
    for (int g = 0; g < np; ++g) {
      const double det = ShapeGradients(d, n, dN[g].data, X, len, B);
      if (det == 0) ShapeFunctionFault(e);
      const double dV = det * wg[g];
      V += dV;
      for (int a = 0; a < n; ++a) {
        W[a] += dV * N[g].data[a];
        for (int b = 0; b < n; ++b)
          for (int c = 0; c < d; ++c) A[c][a * n + b] += dV * B[c][a] * B[c][b];
      }
    }
    double L[3];
    CornerExtents(p, corners, L);
    if (V < 0) {
      const std::string inverted = InvertedByMeshMotion(*this);
      OLVU_FATAL("Negative Volume found in fluid set "
                 << set->Name() << ", element " << *e
                 << (inverted.empty() ? "\n\tCheck surface normal orientation and mesh data" : inverted) << "\n");
    }
    if (V < 1e-14) OLVU_FATAL("Null Volume found in fluid set " << set->Name() << ", element " << *e << "\n");
    for (int a = 0; a < n; ++a) {
      for (int c = 0; c < 3; ++c) size[c][rows[a]] += W[a] * L[c];
      for (int b = 0; b < n; ++b) {
        if (rows[b] < rows[a]) continue;  // the symmetric matrices keep the upper triangle
        const int sp = spos[FindInRow(rp, ci, s->diag_first(), s->sorted(), rows[a], rows[b])];
        for (int c = 0; c < d; ++c) out[c][sp] += A[c][a * n + b];
      }
    }
  }
}
