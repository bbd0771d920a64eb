// Element geometry: orientation changes, local frames, measures, normals,
// centres and the characteristic lengths, on the corner nodes' x, y, z.
#include <cmath>
#include <utility>

#include "foundation/error.h"
#include "foundation/matrix.h"
#include "mesh/elem.h"

namespace {

/// Coordinates of a node (three entries).
inline const double* X(const Node* nd) { return nd->GivePointer(); }

/// d = a - b over three coordinates.
inline void Sub(const double* a, const double* b, double* d) {
  d[0] = a[0] - b[0], d[1] = a[1] - b[1], d[2] = a[2] - b[2];
}

/// c = a x b.
inline void Cross(const double* a, const double* b, double* c) {
  c[0] = a[1] * b[2] - a[2] * b[1];
  c[1] = a[2] * b[0] - a[0] * b[2];
  c[2] = a[0] * b[1] - a[1] * b[0];
}

inline double Norm(const double* a) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }

/// Makes v a three-entry vector holding a.
void Store3(ReaVec* v, const double* a) {
  if (v->length() != 3) v->resize(3, 0.0);
  (*v)(1) = a[0], (*v)(2) = a[1], (*v)(3) = a[2];
}

/// Area vector of the element of type t with nodes nd (CornerAreaVector of its corners).
bool AreaVector(Node* const* nd, ElemType t, double* c) {
  const double* x[4] = {nullptr, nullptr, nullptr, nullptr};
  const int corners = t == Linear ? 2 : t == Triangle ? 3 : t == Quadrilateral ? 4 : 0;
  for (int k = 0; k < corners; ++k) x[k] = X(nd[k]);
  return CornerAreaVector(t, x, c);
}

/// Position exchanges of Rotate2D by element order; count -1 for an order without them.
struct Swaps {
  int count;
  int pair[3][2];
};

Swaps RotationSwaps(ElemOrder o) {
  switch (o) {
    case Linear2:
    case Linear3: return {1, {{0, 1}}};
    case Triangle3: return {1, {{1, 2}}};
    case Triangle6: return {2, {{1, 2}, {3, 5}}};
    case Quadrilateral4: return {1, {{1, 3}}};
    case Quadrilateral8:
    case Quadrilateral9: return {3, {{1, 3}, {4, 7}, {5, 6}}};
    default: return {-1, {}};
  }
}

/// Sizes v to the dimension d (set to 0 when it already has that length).
void SizeTo(ReaVec* v, int d) {
  if (v->length() != static_cast<unsigned>(d))
    v->resize(0, 0.0), v->resize(d, 0.0);
  else if (d > 0)
    *v = 0.0;
}

}  // namespace

int Elem::Rotate2D() {
  const Swaps s = RotationSwaps(GiveElemOrder());
  if (s.count < 0) OLVU_FATAL("Elem::Rotate2D error. Element Order not implemented\n");
  for (int k = 0; k < s.count; ++k) std::swap(nodes_[s.pair[k][0]], nodes_[s.pair[k][1]]);
  return 1;
}

Node* Elem::nodeRotate2D(int i) const {
  const Swaps s = RotationSwaps(GiveElemOrder());
  if (s.count < 0) OLVU_FATAL("Elem::nodeRotate2D error. Element Order not implemented\n");
  for (int k = 0; k < s.count; ++k) {
    if (s.pair[k][0] == i) return nodes_[s.pair[k][1]];
    if (s.pair[k][1] == i) return nodes_[s.pair[k][0]];
  }
  return nodes_[i];
}

int Elem::RotationMatrix(Matrix& m) const {
  double a[3], b[3], axis[3];
  const ElemType t = GiveElemType();
  if (t == Linear) {
    Sub(X(nodes_[1]), X(nodes_[0]), axis);
  } else if (t == Triangle) {
    Sub(X(nodes_[1]), X(nodes_[0]), a);
    Sub(X(nodes_[2]), X(nodes_[0]), b);
    Cross(a, b, axis);
  } else if (t == Quadrilateral) {
    Sub(X(nodes_[2]), X(nodes_[0]), a);  // the two diagonals
    Sub(X(nodes_[3]), X(nodes_[1]), b);
    Cross(a, b, axis);
  } else {
    OLVU_FATAL("Elem::RotationVector error. Element type not supported\n");
  }
  const double len = Norm(axis);
  for (double& c : axis) c /= len;
  ReaVec v(3, axis);  // borrows the local array
  m.redimension(3, 3);
  if (t == Linear)
    m.GiveRotationMatrixFromXAxis(v);
  else
    m.GiveRotationMatrixFromZAxis(v);
  v.release();
  return 1;
}

double Elem::Volume() const {
  double a[3], b[3], c[3], d[3];
  switch (GiveElemType()) {
    case Linear:
      Sub(X(nodes_[0]), X(nodes_[1]), a);
      return Norm(a);
    case Triangle:
      Sub(X(nodes_[2]), X(nodes_[0]), a);
      Sub(X(nodes_[1]), X(nodes_[0]), b);
      Cross(a, b, c);
      return 0.5 * Norm(c);
    case Quadrilateral:  // the two triangles on the diagonal 0-2
      Sub(X(nodes_[2]), X(nodes_[0]), a);
      Sub(X(nodes_[1]), X(nodes_[0]), b);
      Cross(a, b, c);
      Sub(X(nodes_[3]), X(nodes_[0]), b);
      Cross(a, b, d);
      return 0.5 * (Norm(c) + Norm(d));
    default:
      OLVU_FATAL("Error in Elem::Area(). Element " << GiveElemType() << " not implemented.\n");
  }
}

void Elem::ProjectedArea(ReaVec* area) const {
  double c[3];
  if (!AreaVector(nodes_.get(), GiveElemType(), c))
    OLVU_FATAL("Error in Elem::ProjectedArea(). Element " << GiveElemType() << " not implemented.\n");
  Store3(area, c);
}

void Elem::Normal(ReaVec* nv) const {
  double c[3];
  const ElemType t = GiveElemType();
  if (!AreaVector(nodes_.get(), t, c)) OLVU_FATAL("Error in Elem::Normal(). Element " << t << " not implemented.\n");
  if (t != Linear)  // surfaces: (x2 - x0) x (x1 - x0) and the like, against the area vector
    for (double& e : c) e = -e;
  Store3(nv, c);
  nv->normalise();
}

void Elem::MidNode(ReaVec* v) const {
  const int d = Ndime(), nc = MinNnode();
  SizeTo(v, d);
  for (int i = 0; i < nc; ++i) {
    const double* x = X(nodes_[i]);
    for (int k = 0; k < d && k < 3; ++k) (*v)[k] += x[k];
  }
  *v /= nc;
}

void Elem::CenterNode(ReaVec* v, const double* w) const {
  const int d = Ndime(), nc = MinNnode();
  SizeTo(v, d);
  for (int i = 0; i < nc; ++i) {
    const double* x = X(nodes_[i]);
    for (int k = 0; k < d && k < 3; ++k) (*v)[k] += w[i] * x[k];
  }
}

double Elem::MaxLength() const {
  const int nc = MinNnode();
  double big = 1e-14;
  for (int i = 0; i < nc; ++i)
    for (int j = i + 1; j < nc; ++j) {
      const double d2 = dist2(nodes_[i], nodes_[j]);
      if (d2 > big) big = d2;
    }
  return std::sqrt(big);
}

void Elem::MaxLength(ReaVec* v, int keep) const {
  if (v->length() != 3) v->resize(3, 0.0);
  if (!keep) *v = 0.0;
  const int nc = MinNnode();
  for (int i = 0; i < nc; ++i) {
    const double* xi = X(nodes_[i]);
    for (int j = i + 1; j < nc; ++j) {
      const double* xj = X(nodes_[j]);
      for (int k = 0; k < 3; ++k) {
        const double e = std::fabs(xi[k] - xj[k]);
        if (e > (*v)[k]) (*v)[k] = e;
      }
    }
  }
}

double Elem::MaxTauLen(double a1, double a2) const { return MaxTauLen(a1, a2, 0.0); }

double Elem::MaxTauLen(double a1, double a2, double a3) const {
  const int nc = MinNnode();
  double big = 0.0;
  for (int i = 0; i + 1 < nc; ++i) {  // the closing side is not included
    const double* p = X(nodes_[i]);
    const double* q = X(nodes_[i + 1]);
    const double s = std::fabs((p[0] - q[0]) * a1 + (p[1] - q[1]) * a2 + (p[2] - q[2]) * a3);
    if (s > big) big = s;
  }
  return Nnode() > nc ? 0.5 * big : big;
}

double Elem::MedLength(double m) const {
  switch (GiveElemType()) {
    case Linear: return m;
    case Triangle: return std::sqrt(2.0 * m);
    case Quadrilateral: return std::sqrt(m);
    case Tetrahedra: return std::pow(6.0 * m, 1.0 / 3.0);
    case Hexahedra: return std::pow(m, 1.0 / 3.0);
    case Prisma: return std::pow(12.0 * m, 1.0 / 3.0);
    default: OLVU_FATAL("Elem::MedLength not implemented\n");
  }
}

double Elem::AverLength() const {
  const int nc = MinNnode();
  double s = 0.0, d[3];
  for (int i = 0; i + 1 < nc; ++i) {
    Sub(X(nodes_[i]), X(nodes_[i + 1]), d);
    s += Norm(d);
  }
  Sub(X(nodes_[0]), X(nodes_[nc - 1]), d);
  return (s + Norm(d)) / nc;
}

int Elem::IsInto(const Node* nd) const {
  for (int i = 0, nn = Nnode(); i < nn; ++i)
    if (nodes_[i] == nd) return i + 1;
  return 0;
}

int Elem::IsCutted(Node*, Node*) const { OLVU_FATAL("error in Elem::IsCutted\n"); }
