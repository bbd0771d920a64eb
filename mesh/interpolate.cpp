// Mesh-to-mesh interpolation: natural coordinates of a point in an element (exact formulas for
// lines, triangles and tetrahedra, least-squares polynomial weights otherwise).
#include "mesh/interpolate.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_set>
#include <vector>

#include "foundation/clock.h"
#include "foundation/error.h"
#include "foundation/heaplist.h"
#include "mesh/csr.h"
#include "mesh/elem.h"
#include "mesh/octtree.h"
#include "solvers/sparsematrix.h"

namespace {

struct V3 {
  double x[3];
  double operator[](int k) const { return x[k]; }
};

V3 Of(const ReaVec& v) { return {{v[0], v[1], v.length() > 2 ? v[2] : 0.0}}; }
V3 Sub(const V3& a, const V3& b) { return {{a[0] - b[0], a[1] - b[1], a[2] - b[2]}}; }
V3 Cross(const V3& a, const V3& b) {
  return {{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]}};
}
double Dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double Len(const V3& a) { return std::sqrt(Dot(a, a)); }

/// Node i of an element as a point.
V3 X(const Elem* e, int i) { return Of(*e->nodesArray()[i]); }

/// The element's local frame: p and every node expressed in it (x' = R^T x); false when the
/// element has no normal.
bool LocalFrame(const Elem* e, const ReaVec& p, V3& pl, std::vector<V3>& xl) {
  V3 n = e->MinNnode() == 3 ? Cross(Sub(X(e, 1), X(e, 0)), Sub(X(e, 2), X(e, 0)))
                            : Cross(Sub(X(e, 2), X(e, 0)), Sub(X(e, 3), X(e, 1)));
  const double len = Len(n);
  if (len < 1e-14) return false;
  ReaVec nv(3, 0.0);
  for (int k = 0; k < 3; ++k) nv[k] = n[k] / len;
  Matrix R;
  CalcMatGivenOneAxe(nv, R);
  auto rotate = [&](const V3& v) {
    V3 r;
    for (int c = 0; c < 3; ++c) r.x[c] = R(1, c + 1) * v[0] + R(2, c + 1) * v[1] + R(3, c + 1) * v[2];
    return r;
  };
  pl = rotate(Of(p));
  xl.clear();
  for (int i = 0; i < e->Nnode(); ++i) xl.push_back(rotate(X(e, i)));
  return true;
}

/// Solves d = xi a + eta b in the plane of the local frame.
void PlaneCoordinates(const V3& a, const V3& b, const V3& d, double& xi, double& eta) {
  if (std::fabs(a[0]) < 1e-14) {
    eta = d[0] / b[0];
    xi = (d[1] - b[1] * eta) / a[1];
  } else {
    eta = (d[1] - a[1] * d[0] / a[0]) / (b[1] - a[1] * b[0] / a[0]);
    xi = (d[0] - b[0] * eta) / a[0];
  }
}

/// Polynomial basis of a variant at a point: 0 (1, x, y), 1 (1, x, y, z), 2 plane quadratics,
/// 3 quadratics in space.
int Basis(int variant, const V3& v, double* b) {
  const double x = v[0], y = v[1], z = v[2];
  switch (variant) {
    case 0: b[0] = 1, b[1] = x, b[2] = y; return 3;
    case 1: b[0] = 1, b[1] = x, b[2] = y, b[3] = z; return 4;
    case 2: b[0] = 1, b[1] = x, b[2] = y, b[3] = x * x, b[4] = x * y, b[5] = y * y; return 6;
    default:
      b[0] = 1, b[1] = x, b[2] = y, b[3] = z, b[4] = x * x, b[5] = x * y, b[6] = x * z, b[7] = y * y, b[8] = y * z,
      b[9] = z * z;
      return 10;
  }
}

/// Least-squares weights: N_k = b(p)^T A^-1 b(x_k) with A = sum of b(x_i) b(x_i)^T.
void LeastSquares(int variant, const V3& p, const std::vector<V3>& xs, double* N) {
  double bp[10], bi[10];
  const int m = Basis(variant, p, bp);
  Matrix A(m, m);
  A = 0.0;
  for (const V3& x : xs) {
    Basis(variant, x, bi);
    for (int r = 0; r < m; ++r)
      for (int c = 0; c < m; ++c) A(r + 1, c + 1) += bi[r] * bi[c];
  }
  const Matrix Ai = A.i();
  double w[10];
  for (int c = 0; c < m; ++c) {
    w[c] = 0;
    for (int r = 0; r < m; ++r) w[c] += bp[r] * Ai(r + 1, c + 1);
  }
  for (size_t k = 0; k < xs.size(); ++k) {
    Basis(variant, xs[k], bi);
    N[k] = 0;
    for (int c = 0; c < m; ++c) N[k] += w[c] * bi[c];
  }
}

/// Least-squares projection in the element's frame (the plane variants) or in space.
int ProjectLS(Elem* e, ReaVec& p, double* N, double& distance, int variant) {
  V3 pl;
  std::vector<V3> xl;
  if (!LocalFrame(e, p, pl, xl)) return 1;
  distance = std::fabs(pl[2] - xl[0][2]);
  LeastSquares(variant, pl, xl, N);
  return 0;
}

/// Weights over a node table with a basis in global x and y only, inside the section "A.i()".
Matrix CloudWeights(ReaVec* p, Plex<Node>* nodes, int terms) {
  Clock clock("A.i()");
  auto basis = [terms](double x, double y, double* b) {
    const double all[10] = {1, x, y, x * y, x * x, y * y, x * x * y, x * y * y, x * x * x, y * y * y};
    for (int k = 0; k < terms; ++k) b[k] = all[k];
  };
  std::vector<const Node*> list;
  int i = 0;
  for (Node* nd = nodes->next(i); nd; nd = nodes->next(i)) list.push_back(nd);
  double bp[10], bi[10];
  basis((*p)[0], (*p)[1], bp);
  Matrix A(terms, terms);
  A = 0.0;
  for (const Node* nd : list) {
    basis((*nd)[0], (*nd)[1], bi);
    for (int r = 0; r < terms; ++r)
      for (int c = 0; c < terms; ++c) A(r + 1, c + 1) += bi[r] * bi[c];
  }
  const Matrix Ai = A.i();
  Matrix out(1, static_cast<int>(list.size()));
  for (size_t k = 0; k < list.size(); ++k) {
    basis((*list[k])[0], (*list[k])[1], bi);
    double s = 0;
    for (int r = 0; r < terms; ++r)
      for (int c = 0; c < terms; ++c) s += bp[r] * Ai(r + 1, c + 1) * bi[c];
    out(1, static_cast<int>(k) + 1) = s;
  }
  return out;
}

}  // namespace

void CalcMatGivenOneAxe(ReaVec& n, Matrix& R) {
  const V3 nv = Of(n);
  const V3 axis = std::fabs(nv[0]) < 0.015625 && std::fabs(nv[1]) < 0.015625 ? V3{{0, 1, 0}} : V3{{0, 0, 1}};
  V3 t1 = Cross(axis, nv);
  const double l = Len(t1);
  for (double& c : t1.x) c /= l;
  const V3 t2 = Cross(nv, t1);
  R = Matrix(3, 3);
  for (int r = 0; r < 3; ++r) R(r + 1, 1) = t1[r], R(r + 1, 2) = t2[r], R(r + 1, 3) = nv[r];
}

namespace {

/// Length of the line from node 0 to node 1 of e, or 0 when the line is degenerate or p lies
/// farther from it than that length.
double LineReach(const Elem* e, const V3& p) {
  const V3 x0 = X(e, 0), d = Sub(X(e, 1), x0);
  const double L = Len(d);
  if (L < 1e-14) return 0;
  const double t = Dot(Sub(p, x0), d) / L;
  const V3 foot = {{x0[0] + t * d[0] / L, x0[1] + t * d[1] / L, x0[2] + t * d[2] / L}};
  return Len(Sub(p, foot)) > L ? 0 : L;
}

/// Coordinates xi, eta of p in the plane of the triangle of e's first three nodes and its
/// distance from that plane; false for a degenerate element.
bool TriangleCoordinates(const Elem* e, const ReaVec& p, double& xi, double& eta, double& distance) {
  V3 pl;
  std::vector<V3> xl;
  if (!LocalFrame(e, p, pl, xl)) return false;
  distance = std::fabs(pl[2] - xl[0][2]);
  PlaneCoordinates(Sub(xl[1], xl[0]), Sub(xl[2], xl[0]), Sub(pl, xl[0]), xi, eta);
  return true;
}

}  // namespace

int Elem::GiveProjectedNatCoordLLN(ReaVec& pv, double* N, double&) {
  const V3 p = Of(pv), x0 = X(this, 0);
  const double L = LineReach(this, p);
  if (L == 0) return 1;
  N[1] = Len(Sub(p, x0)) / L;
  N[0] = 1 - N[1];
  return 0;
}

int Elem::GiveProjectedNatCoordCLN(ReaVec& pv, double* N, double&) {
  const V3 p = Of(pv), x0 = X(this, 0), x1 = X(this, 1), x2 = X(this, 2);
  const double L = LineReach(this, p);
  if (L == 0) return 1;
  const double d0 = Len(Sub(p, x0)), d1 = Len(Sub(p, x1)), d2 = Len(Sub(p, x2));
  N[2] = d0 * d1 / (Len(Sub(x2, x1)) * Len(Sub(x2, x0)));
  N[1] = d0 * d2 / (L * Len(Sub(x2, x1)));
  N[0] = 1 - N[1] - N[2];
  return 0;
}

int Elem::GiveProjectedNatCoordLTR(ReaVec& p, double* N, double& distance) {
  double xi, eta;
  if (!TriangleCoordinates(this, p, xi, eta, distance)) return 1;
  N[0] = 1 - xi - eta, N[1] = xi, N[2] = eta;
  return 0;
}

int Elem::GiveProjectedNatCoordCTR(ReaVec& p, double* N, double& distance) {
  double xi, eta;
  if (!TriangleCoordinates(this, p, xi, eta, distance)) return 1;
  const double l0 = 1 - xi - eta;
  N[0] = l0 * (2 * l0 - 1), N[1] = xi * (2 * xi - 1), N[2] = eta * (2 * eta - 1);
  N[3] = 4 * l0 * xi, N[4] = 4 * xi * eta, N[5] = 4 * l0 * eta;
  return 0;
}

// No caller (the interpolation projects onto linear tetrahedra by least squares): an exact
// projection onto one would use it.
int Elem::GiveProjectedNatCoordLTE(ReaVec& p, double* N, double& distance) {
  Matrix A(4, 4);
  for (int i = 0; i < 4; ++i) {
    const V3 x = X(this, i);
    A(i + 1, 1) = 1, A(i + 1, 2) = x[0], A(i + 1, 3) = x[1], A(i + 1, 4) = x[2];
  }
  const Matrix Ai = A.i();
  const V3 b = Of(p);
  const double bv[4] = {1, b[0], b[1], b[2]};
  for (int c = 0; c < 4; ++c) {
    N[c] = 0;
    for (int r = 0; r < 4; ++r) N[c] += bv[r] * Ai(r + 1, c + 1);
  }
  distance = 0;
  return 0;
}

int Elem::GiveProjectedNatCoordLS12D(ReaVec& p, double* N, double& distance) { return ProjectLS(this, p, N, distance, 0); }

int Elem::GiveProjectedNatCoordLS13D(ReaVec& p, double* N, double& distance) { return ProjectLS(this, p, N, distance, 1); }

int Elem::GiveProjectedNatCoordLS22D(ReaVec& p, double* N, double& distance) {
  if (Nnode() <= 5) OLVU_FATAL("GiveProjectedNatCoordLS22D cannot interpolate");
  return ProjectLS(this, p, N, distance, 2);
}

int Elem::GiveProjectedNatCoordLS23D(ReaVec& p, double* N, double& distance) {
  if (Nnode() <= 9) OLVU_FATAL("GiveProjectedNatCoordLS23D cannot interpolate");
  return ProjectLS(this, p, N, distance, 3);
}

Matrix GiveProjectedNatCoord1(ReaVec* p, Plex<Node>* nodes) { return CloudWeights(p, nodes, 3); }
Matrix GiveProjectedNatCoord2(ReaVec* p, Plex<Node>* nodes) { return CloudWeights(p, nodes, 6); }
Matrix GiveProjectedNatCoord3(ReaVec* p, Plex<Node>* nodes) { return CloudWeights(p, nodes, 10); }

void Interpolator::interpolate(ReaVec& a, ReaVec& b) {
  for (unsigned k = 0; k < first.length(); ++k) {
    const int i = first[k], j = k < second.length() ? second[k] : 0;
    if (i < 1 || j < 1 || static_cast<unsigned>(i) > a.length() || static_cast<unsigned>(j) > b.length())
      OLVU_FATAL("Wrong Interpolator pair " << k + 1 << "\n");
    const double s = a(i) + b(j);
    a(i) = s;
    b(j) = s;
  }
}

void Mesh::Interpolate(OctTree& tree, SystemSparseMatrix* M, int sourceSlot, int targetSlot) {
  Clock clock("Interpolating");
  double N[27];
  int i = 0;
  for (Node* t = giveNextNode(i); t; t = giveNextNode(i)) {
    double d2 = 0, distance = 0;
    const ReaVecContainer* h = tree.GiveVeryClose(*t, d2, 0);
    Elem* e = h ? h->elem : nullptr;
    int failed = 1;
    if (e) {
      switch (e->GiveElemOrder()) {
        case Linear2: failed = e->GiveProjectedNatCoordLLN(*t, N, distance); break;
        case Linear3: failed = e->GiveProjectedNatCoordCLN(*t, N, distance); break;
        case Triangle3: failed = e->GiveProjectedNatCoordLTR(*t, N, distance); break;
        case Triangle6: failed = e->GiveProjectedNatCoordCTR(*t, N, distance); break;
        case Quadrilateral4: failed = e->GiveProjectedNatCoordLS12D(*t, N, distance); break;
        case Quadrilateral8:
        case Quadrilateral9: failed = e->GiveProjectedNatCoordLS22D(*t, N, distance); break;
        case Tetrahedra4:
        case Tetrahedra5:
        case Hexahedra8:
        case Hexahedra9:
        case Prisma6: failed = e->GiveProjectedNatCoordLS13D(*t, N, distance); break;
        case Tetrahedra10:
        case Tetrahedra11:
        case Hexahedra20:
        case Hexahedra27: failed = e->GiveProjectedNatCoordLS23D(*t, N, distance); break;
        default: OLVU_FATAL("ElemType " << static_cast<int>(e->GiveElemOrder()) << " not implemented to Interpolate\n");
      }
    }
    // No sample point (an empty tree, or one filled with nodes) projects nothing either.
    if (failed)
      OLVU_FATAL("Mesh::Interpolate Cannot project meshes.\nMeshes must be coincident. Check geometry and mesh.\n");
    for (int k = 0; k < e->Nnode(); ++k) M->addToLhs(t->num[targetSlot] - 1, e->Num0(k, sourceSlot) - 1, N[k]);
  }
}

namespace {

/// Smallest and largest x, y, z over every node of the sets, into box (6 entries).
void GrowBox(Plex<Mesh>* sets, double box[6]) {
  int im = 0;
  for (Mesh* m = sets->next(im); m; m = sets->next(im)) {
    int in = 0;
    for (Node* nd = m->giveNextNode(in); nd; nd = m->giveNextNode(in)) {
      const V3 x = Of(*nd);
      for (int k = 0; k < 3; ++k) box[2 * k] = std::min(box[2 * k], x[k]), box[2 * k + 1] = std::max(box[2 * k + 1], x[k]);
    }
  }
}

}  // namespace

void createInterpolator_2ndVersion(Plex<Mesh>* source, int sourceSlot, Plex<Mesh>* target, int targetSlot, int, int,
                                   ReaVec& sourceValues, ReaVec& targetValues) {
  Clock clock("Create Interpolator");
  double box[6] = {1e100, -1e100, 1e100, -1e100, 1e100, -1e100};
  GrowBox(source, box);
  GrowBox(target, box);
  OctTree tree(box[0], box[1], box[2], box[3], box[4], box[5], nullptr);
  int im = 0;
  for (Mesh* m = source->next(im); m; m = source->next(im)) m->FillOctTree(tree, 1);

  // Every source node once, in mesh and node order; the pattern rows follow the source slot.
  Plex<Node> all(100, "Source nodes");
  std::unordered_set<const Node*> seen;
  im = 0;
  for (Mesh* m = source->next(im); m; m = source->next(im)) {
    int in = 0;
    for (Node* nd = m->giveNextNode(in); nd; nd = m->giveNextNode(in))
      if (seen.insert(nd).second) all.append(nd);
  }
  const std::unique_ptr<SparseMatrixStruct> graph(createSparseMatrixStruct(all, *source, sourceSlot));
  std::vector<Node*> byRow(all.count, nullptr);
  int ia = 0;
  for (Node* nd = all.next(ia); nd; nd = all.next(ia)) byRow[nd->num[sourceSlot] - 1] = nd;

  ReaVecContainer* found[MAXCLOUDCORE];
  std::vector<char> inCloud(all.count, 0);
  std::vector<int> cloud;
  const int* rp = graph ? graph->row_ptr(0) : nullptr;
  const int* ci = graph ? graph->col_ind(0) : nullptr;
  HeapList<Node> nearest(std::max(1, all.count));
  im = 0;
  for (Mesh* m = target->next(im); m; m = target->next(im)) {
    int in = 0;
    for (Node* t = m->giveNextNode(in); t; t = m->giveNextNode(in)) {
      int n = 0;
      {
        Clock search("Search in Octtree");
        n = tree.GiveOcttreePointList(*t, found, MAXCLOUDCORE);
      }
      if (n == 0) OLVU_FATAL("Octtree search error. Cannot interpolate meshes");
      Clock shape("Shape Functions");
      cloud.clear();
      for (int k = 0; k < n; ++k) {
        const int r = static_cast<const Node*>(found[k]->point)->num[sourceSlot] - 1;
        for (int p = rp[r]; p < rp[r + 1]; ++p)
          if (!inCloud[ci[p]]) inCloud[ci[p]] = 1, cloud.push_back(ci[p]);
      }
      for (int c : cloud) nearest.add(byRow[c], dist2(byRow[c], t)), inCloud[c] = 0;
      double sw = 0, swv = 0;
      for (int taken = 0; taken < 12 && nearest.n_elem() > 0; ++taken) {
        Node* s = nearest.top_elm();
        const double w = 1 / (nearest.min_val() + 1e-14);
        nearest.rm_top();
        sw += w;
        swv += w * sourceValues(s->num[sourceSlot]);
      }
      while (nearest.n_elem() > 0) nearest.rm_top();
      targetValues(t->num[targetSlot]) = swv / sw;
    }
  }
  tree.DeleteAllEntities();
  all.clear();
  OLVU_FATAL("Interpolator not working");
}

void createInterpolator(Plex<Mesh>* source, int, Plex<Mesh>*, int, int, int) {
  Clock clock("Create Interpolator");
  double box[6] = {1e100, -1e100, 1e100, -1e100, 1e100, -1e100};
  GrowBox(source, box);
  OctTree tree(box[0], box[1], box[2], box[3], box[4], box[5], nullptr);
  int im = 0;
  for (Mesh* m = source->next(im); m; m = source->next(im)) m->FillOctTree(tree, 0);
  tree.DeleteAllEntities();
  OLVU_FATAL("Interpolate not initialised. Not working.");
}
