#include "mesh/boundarymass.h"

#include <cmath>

#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/matrix.h"
#include "mesh/elem.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "mesh/or_gauss.h"
#include "solvers/sparsematrix.h"

namespace {

constexpr int kMax = 9;  // nodes of the largest boundary element (9-node quadrilateral)

// Adds the n x n element matrix Me at the nodes' numbers in `slot`, both entries of every pair.
void Add(SystemSparseMatrix* A, Node* const* nd, int n, const double* Me, int slot) {
  for (int a = 0; a < n; ++a)
    for (int b = 0; b < n; ++b) A->addToLhs(nd[a]->num[slot] - 1, nd[b]->num[slot] - 1, Me[a * n + b]);
}

double Distance(const double* p, const double* q) {
  return std::sqrt((q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]) + (q[2] - p[2]) * (q[2] - p[2]));
}

}  // namespace

void CalcBodyMatrixes2NodesLinear(Mesh* set, SystemSparseMatrix* A, int slot) {
  int i = 0;
  while (Elem* e = set->giveNextElm(i)) {
    Node* const* nd = e->nodesArray();
    const double L = Distance(nd[0]->GivePointer(), nd[1]->GivePointer());
    const double Me[4] = {L / 3, L / 6, L / 6, L / 3};
    Add(A, nd, 2, Me, slot);
  }
}

void CalcBodyMatrixes3NodesTriangle(Mesh* set, SystemSparseMatrix* A, int slot) {
  int i = 0;
  while (Elem* e = set->giveNextElm(i)) {
    Node* const* nd = e->nodesArray();
    const double* p = nd[0]->GivePointer();
    const double* q = nd[1]->GivePointer();
    const double* r = nd[2]->GivePointer();
    const double u[3] = {r[0] - p[0], r[1] - p[1], r[2] - p[2]}, v[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
    const double c[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const double area = 0.5 * std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    double Me[9];
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) Me[a * 3 + b] = a == b ? area / 6 : area / 12;
    Add(A, nd, 3, Me, slot);
  }
}

void CalcBodyMatrixesDefault(Mesh* set, SystemSparseMatrix* A, int slot) {
  const ElemOrder eo = set->GiveElemOrder();
  const int n = set->GiveNnode();
  const int d = Dimension_Olvu == 3 ? 3 : 2;  // the element spans d - 1 local axes
  Matrix N[kMaxGaussPoints], dN[kMaxGaussPoints];
  double w[kMaxGaussPoints];
  const int np = Give_Integration_Data(eo, 2, N, dN, w);
  if (np == 0 || n > kMax || ShapeDimension(eo) != d - 1) OLVU_FATAL("Element not implemented in boundary set " << set->Num() << "\n");
  Matrix R(3, 3);
  double X[kMax][2], Me[kMax * kMax];
  int i = 0;
  while (Elem* e = set->giveNextElm(i)) {
    Node* const* nd = e->nodesArray();
    e->RotationMatrix(R);
    for (int a = 0; a < n; ++a) {
      const double* x = nd[a]->GivePointer();
      for (int k = 0; k < d - 1; ++k) X[a][k] = R(1, k + 1) * x[0] + R(2, k + 1) * x[1] + R(3, k + 1) * x[2];
    }
    for (int q = 0; q < n * n; ++q) Me[q] = 0;
    for (int g = 0; g < np; ++g) {
      const double* dn = dN[g].data;
      const double* sh = N[g].data;
      double J[2][2] = {{0, 0}, {0, 0}};
      for (int r = 0; r < d - 1; ++r)
        for (int k = 0; k < d - 1; ++k)
          for (int a = 0; a < n; ++a) J[r][k] += dn[r * n + a] * X[a][k];
      const double det = d == 2 ? J[0][0] : J[0][0] * J[1][1] - J[0][1] * J[1][0];
      const double dA = det * w[g];
      for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) Me[a * n + b] += dA * sh[a] * sh[b];
    }
    Add(A, nd, n, Me, slot);
  }
}

void CalcBodyMatrixes(Mesh* set, SystemSparseMatrix* A, int slot) {
  const ElemOrder eo = set->GiveElemOrder();
  if (eo == Linear2) CalcBodyMatrixes2NodesLinear(set, A, slot);
  else if (eo == Triangle3) CalcBodyMatrixes3NodesTriangle(set, A, slot);
  else CalcBodyMatrixesDefault(set, A, slot);
}
