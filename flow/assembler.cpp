#include "flow/assembler.h"

#include <cmath>
#include <string>

#include "domain/fluiddomain.h"
#include "flow/convective.h"
#include "flow/shapegrad.h"
#include "foundation/declarations.h"
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

// What stops an element: a singular Jacobian, a negative or a null volume.
enum class Fault { None, Singular, Negative, Null };

[[noreturn, gnu::cold]] void Report(Fault f, const char* set, const Elem* e, const char* hint) {
  if (f == Fault::Singular) ShapeFunctionFault(e);
  if (f == Fault::Negative)
    OLVU_FATAL("Negative Volume found in fluid set " << set << ", element " << *e << hint << "\n");
  OLVU_FATAL("Null Volume found in fluid set " << set << ", element " << *e << "\n");
}

Fault VolumeFault(double V) { return V < 0 ? Fault::Negative : V < 1e-14 ? Fault::Null : Fault::None; }

// Mean length of the closed chain of the element's corners, in node order.
double ChainLength(Node* const* nd, int corners) {
  const double* p[kMaxNodes];
  for (int a = 0; a < corners; ++a) p[a] = nd[a]->GivePointer();
  return CornerChainLength(p, corners);
}

// The one place where element matrices enter the global arrays: one position per pair, kept in
// the table or searched; only the rows [lo, hi) of the block being assembled are written.
struct Scatter {
  const PatternView& pv;
  const SystemArrays& out;
  int n;
  int lo, hi;

  bool mine(int r) const { return unsigned(r - lo) < unsigned(hi - lo); }
  void pairs(const int* rows, const std::uint8_t* off, const double* K, const double* Me, const double* G0,
             const double* G1, const double* G2) const {
    for (int a = 0; a < n; ++a) {
      const int r = rows[a];
      if (!mine(r)) continue;
      for (int b = 0; b < n; ++b) {
        const int c = rows[b];
        const int ab = a * n + b;
        const int p = off ? pv.rp[r] + off[ab] : FindInRow(pv.rp, pv.ci, pv.diagFirst, pv.sorted, r, c);
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
  void nodal(const int* rows, const double* W, double len) const {
    for (int a = 0; a < n; ++a) {
      const int r = rows[a];
      if (!mine(r)) continue;
      out.lumped[r] += W[a];
      out.size[r] += len * W[a];
      out.share[r] += W[a];
    }
  }
};

// Runs element(k, sc) on every element of the table in the set's order, the row blocks on the
// threads; element returns what stopped it. The first stopped element in set order ends the run.
template <class Element>
void EachElement(const ElementTable& table, const PatternView& pv, const SystemArrays& out, const char* name,
                 const char* hint, Element element) {
  Fault fault = Fault::None;
  const int bad = table.SetBlocks().Run([&](int lo, int hi, const int* first, const int* last) {
    const Scatter sc{pv, out, table.Nodes(), lo, hi};
    for (const int* it = first; it != last; ++it) {
      const std::size_t k = table.OfSetElement(std::size_t(*it));
      if (element(k, sc) != Fault::None) return *it;
    }
    return -1;
  });
  if (bad < 0) return;
  // Worked out again for the message: the blocks ran in any order.
  const std::size_t k = table.OfSetElement(std::size_t(bad));
  const Scatter none{pv, out, table.Nodes(), 0, 0};
  fault = element(k, none);
  Report(fault, name, table.Element(k), hint);
}

void AssembleTriangles(const ElementTable& table, const char* name, const PatternView& pv, const SystemArrays& out,
                       const char* inverted) {
  const char* hint = inverted ? inverted : "\n\tCheck surface normal orientation";
  EachElement(table, pv, out, name, hint, [&](std::size_t k, const Scatter& sc) {
    double K[9], Me[9], G0[9], G1[9], W[3];
    Node* const* nd = table.Element(k)->nodesArray();
    const double* p1 = nd[0]->GivePointer();
    const double* p2 = nd[1]->GivePointer();
    const double* p3 = nd[2]->GivePointer();
    const double len = ChainLength(nd, 3);
    const double j11 = p2[0] - p1[0], j12 = p2[1] - p1[1], j21 = p3[0] - p1[0], j22 = p3[1] - p1[1];
    const double det = j11 * j22 - j12 * j21;
    if (SingularJacobian(det, len, 2)) return Fault::Singular;
    const double A = det / 2;
    if (const Fault f = VolumeFault(A); f != Fault::None) return f;
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
    }
    const int* rows = table.Rows(k);
    sc.pairs(rows, table.Offsets(k), K, Me, G0, G1, nullptr);
    sc.nodal(rows, W, len);
    return Fault::None;
  });
}

void AssembleTetrahedra(const ElementTable& table, const char* name, const PatternView& pv, const SystemArrays& out,
                        const char* inverted) {
  const char* hint = inverted ? inverted : "\n\tMesh collapsed - Check mesh data";
  EachElement(table, pv, out, name, hint, [&](std::size_t k, const Scatter& sc) {
    double K[16], Me[16], G0[16], G1[16], G2[16], W[4];
    Node* const* nd = table.Element(k)->nodesArray();
    const double* p0 = nd[0]->GivePointer();
    double J[3][3];
    for (int r = 0; r < 3; ++r) {
      const double* p = nd[r + 1]->GivePointer();
      for (int c = 0; c < 3; ++c) J[r][c] = p[c] - p0[c];
    }
    const double len = ChainLength(nd, 4);
    // Cofactors of J: the inverse is their transpose over the determinant.
    const double c00 = J[1][1] * J[2][2] - J[1][2] * J[2][1], c01 = J[1][2] * J[2][0] - J[1][0] * J[2][2],
                 c02 = J[1][0] * J[2][1] - J[1][1] * J[2][0];
    const double det = J[0][0] * c00 + J[0][1] * c01 + J[0][2] * c02;
    if (SingularJacobian(det, len, 3)) return Fault::Singular;
    const double V = det / 6;
    if (const Fault f = VolumeFault(V); f != Fault::None) return f;
    const double inv[3][3] = {
        {c00 / det, (J[0][2] * J[2][1] - J[0][1] * J[2][2]) / det, (J[0][1] * J[1][2] - J[0][2] * J[1][1]) / det},
        {c01 / det, (J[0][0] * J[2][2] - J[0][2] * J[2][0]) / det, (J[0][2] * J[1][0] - J[0][0] * J[1][2]) / det},
        {c02 / det, (J[0][1] * J[2][0] - J[0][0] * J[2][1]) / det, (J[0][0] * J[1][1] - J[0][1] * J[1][0]) / det}};
    // B = J^-1 D with D = [[-1,1,0,0],[-1,0,1,0],[-1,0,0,1]].
    double B[3][4];
    for (int c = 0; c < 3; ++c) {
      B[c][1] = inv[c][0];
      B[c][2] = inv[c][1];
      B[c][3] = inv[c][2];
      B[c][0] = -(inv[c][0] + inv[c][1] + inv[c][2]);
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
    }
    const int* rows = table.Rows(k);
    sc.pairs(rows, table.Offsets(k), K, Me, G0, G1, G2);
    sc.nodal(rows, W, len);
    return Fault::None;
  });
}

void AssembleGauss(Mesh* set, const ElementTable& table, const char* name, const PatternView& pv,
                   const SystemArrays& out, const char* inverted) {
  const ElemOrder eo = set->GiveElemOrder();
  Matrix N[kMaxGaussPoints], dN[kMaxGaussPoints];
  double wg[kMaxGaussPoints];
  const int np = Give_Integration_Data(eo, 2, N, dN, wg);
  const int n = set->GiveNnode();
  const int d = ShapeDimension(eo);
  if (np == 0 || n > kMaxNodes || d < 2) OLVU_FATAL("Element not implemented in fluid set " << name << "\n");
  const int corners = set->GiveMinNnode();
  const char* hint = inverted ? inverted : "\n\tCheck surface normal orientation and mesh data";
  EachElement(table, pv, out, name, hint, [&](std::size_t k, const Scatter& sc) {
    double K[kMaxNodes * kMaxNodes], Me[kMaxNodes * kMaxNodes], G[3][kMaxNodes * kMaxNodes], W[kMaxNodes];
    double X[kMaxNodes][3], B[3][kMaxElemNodes];
    Node* const* nd = table.Element(k)->nodesArray();
    for (int a = 0; a < n; ++a) {
      const double* p = nd[a]->GivePointer();
      for (int c = 0; c < d; ++c) X[a][c] = p[c];
    }
    const double len = ChainLength(nd, corners);
    for (int q = 0; q < n * n; ++q) K[q] = Me[q] = G[0][q] = G[1][q] = G[2][q] = 0;
    for (int a = 0; a < n; ++a) W[a] = 0;
    double V = 0;
    for (int g = 0; g < np; ++g) {
      const double* dn = dN[g].data;  // d x n, row-major
      const double* sh = N[g].data;
      const double det = ShapeGradients(d, n, dn, X, len, B);
      if (det == 0) return Fault::Singular;
      const double dV = det * wg[g];
      V += dV;
      for (int a = 0; a < n; ++a) {
        W[a] += dV * sh[a];
        for (int b = 0; b < n; ++b) {
          double s = 0;
          for (int c = 0; c < d; ++c) s += B[c][a] * B[c][b];
          K[a * n + b] += dV * s;
          Me[a * n + b] += dV * sh[a] * sh[b];
          for (int c = 0; c < d; ++c) G[c][a * n + b] += dV * sh[a] * B[c][b];
        }
      }
    }
    if (const Fault f = VolumeFault(V); f != Fault::None) return f;
    // Corner weights of some quadratic elements are not positive: lump by the scaled diagonal.
    bool positive = true;
    for (int a = 0; a < n; ++a) positive = positive && W[a] > 1e-14 * V;
    if (!positive) {
      double diag = 0;
      for (int a = 0; a < n; ++a) diag += Me[a * n + a];
      for (int a = 0; a < n; ++a) W[a] = Me[a * n + a] * V / diag;
    }
    const int* rows = table.Rows(k);
    sc.pairs(rows, table.Offsets(k), K, Me, G[0], G[1], d == 3 ? G[2] : nullptr);
    sc.nodal(rows, W, len);
    return Fault::None;
  });
}

}  // namespace

void ShapeFunctionFault(const Elem* e) {
  OLVU_FATAL("Problems found calculating Shape Functions in " << *e << "\n");
}

void AssembleSystemSet(Mesh* set, const char* setName, int slot, const SystemArrays& out, bool gauss) {
  ElementTable table;
  table.Build(set, slot, out.pattern);
  table.FitBlocks();
  AssembleSystemSet(set, setName, table, out, gauss);
}

void AssembleSystemSet(Mesh* set, const char* setName, const ElementTable& table, const SystemArrays& out, bool gauss,
                       const char* inverted) {
  const SparseMatrixStruct* s = out.pattern;
  const PatternView pv{s->row_ptr(0), s->col_ind(0), s->spos_ind(0), s->diag_first(), s->sorted()};
  const ElemOrder eo = set->GiveElemOrder();
  if (!gauss && eo == Triangle3) AssembleTriangles(table, setName, pv, out, inverted);
  else if (!gauss && eo == Tetrahedra4) AssembleTetrahedra(table, setName, pv, out, inverted);
  else AssembleGauss(set, table, setName, pv, out, inverted);
}

std::string InvertedByMeshMotion(FluidDomain& d) {
  if (!d.Solves(PMeshDeform)) return "";
  // The set-up assembled the mesh as the data file gives it: an element it found sound and that
  // is inverted now has been moved there.
  bool moved = false;
  for (int c = 0; c < 3 && !moved; ++c) {
    const ReaVec& total = d.Var(MeshX0 + c);
    moved = total.length() == unsigned(d.numNodes) && d.numNodes > 0 && total.max_abs() > 0;
  }
  if (!moved) return "";
  std::string bodies;
  int count = 0, k = 0;
  while (Mesh* m = d.giveNextBodyMesh(k))
    if (m->AreYou("MBodyMesh")) bodies += std::string(count++ ? ", " : "") + m->Name();
  const std::string what = count == 0 ? "the mesh displacement has moved its nodes"
                           : count == 1 ? "body " + bodies + " has moved"
                                        : "the moving bodies " + bodies + " have moved";
  const char* room = count == 0   ? "use smaller displacements"
                     : count == 1 ? "give the body more room (a larger fluid region)"
                                  : "give the bodies more room (a larger fluid region)";
  return "\n\tThe mesh deformation inverted this element, sound at set-up: " + what +
         " further than the mesh around can follow.\n\tTake a smaller time step, " + room +
         ", or hold the nodes where the mesh must stay (\"DMesh Fix_Null\")";
}
