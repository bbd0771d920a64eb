// The body part of the fluid domain's utilities: the outward normals of the body nodes with
// their sharp-edge and crease detection, the wall stress and velocity gradient of a node, the
// nodal wall loads of the body sets and the hydrostatic pressure field.
#include <algorithm>
#include <cmath>

#include "bodies/bodymesh.h"
#include "domain/fluiddomain.h"
#include "flow/turbulence.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/matrix.h"
#include "foundation/threads.h"
#include "mesh/elem.h"
#include "solvers/sparsematrix.h"

namespace {

double Dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double Norm3(const double* a) { return std::sqrt(Dot3(a, a)); }
void Cross3(const double* a, const double* b, double* c) {
  c[0] = a[1] * b[2] - a[2] * b[1], c[1] = a[2] * b[0] - a[0] * b[2], c[2] = a[0] * b[1] - a[1] * b[0];
}

// (row `row` of A) . x.
double RowDot(SystemSparseMatrix* A, int row, const double* x) {
  const int* rp = A->row_ptr(0);
  const int* ci = A->col_ind(0);
  const double* v = A->val(0);
  double s = 0;
  for (int k = rp[row]; k < rp[row + 1]; ++k) s += v[k] * x[ci[k]];
  return s;
}

// What the wall stress of a node reads: the rows of the gradient matrices Gx, Gy, Gz (one
// pattern), the velocity, the kinematic viscosity and the inverse lumped mass, all raw.
struct StressInputs {
  const int* rp;
  const int* ci;
  const double* G[3];
  const double* u[3];
  const double* visc;
  const double* invLumped;
  int dim;
};

// t = (viscous stress over the density) . n at domain node j from one walk of its gradient rows:
// g[a][b] = d u_a / d x_b (times the lumped mass) summed in row order for all components at once.
// The sums are spelled out: they then stay in registers.
template <int D>
void WallStressD(const StressInputs& s, int j, const double* n, double* t) {
  const double *Gx = s.G[0], *Gy = s.G[1], *Gz = s.G[2], *u = s.u[0], *v = s.u[1], *w = s.u[2];
  double uxx = 0, uxy = 0, uxz = 0, uyx = 0, uyy = 0, uyz = 0, uzx = 0, uzy = 0, uzz = 0;
  for (int k = s.rp[j - 1]; k < s.rp[j]; ++k) {
    const int c = s.ci[k];
    const double gx = Gx[k], gy = Gy[k];
    if (D == 2) {
      uxx += gx * u[c], uyx += gx * v[c];
      uxy += gy * u[c], uyy += gy * v[c];
    } else {
      const double gz = Gz[k];
      uxx += gx * u[c], uyx += gx * v[c], uzx += gx * w[c];
      uxy += gy * u[c], uyy += gy * v[c], uzy += gy * w[c];
      uxz += gz * u[c], uyz += gz * v[c], uzz += gz * w[c];
    }
  }
  const double g[3][3] = {{uxx, uxy, uxz}, {uyx, uyy, uyz}, {uzx, uzy, uzz}};
  const double f = s.visc[j - 1] * s.invLumped[j - 1];
  const double xy = g[0][1] + g[1][0];
  if (D == 2) {
    t[0] = f * (2 * g[0][0] * n[0] + xy * n[1]);
    t[1] = f * (xy * n[0] + 2 * g[1][1] * n[1]);
    t[2] = 0;
    return;
  }
  const double xz = g[0][2] + g[2][0], yz = g[1][2] + g[2][1];
  t[0] = f * (2 * g[0][0] * n[0] + xy * n[1] + xz * n[2]);
  t[1] = f * (xy * n[0] + 2 * g[1][1] * n[1] + yz * n[2]);
  t[2] = f * (xz * n[0] + yz * n[1] + 2 * g[2][2] * n[2]);
}

// The share of a node's wall-law stress that the momentum equation applies: none on a free
// surface, a third on a symmetry plane. The force table integrates the same share.
double WallShare(const BitVec& freeSurface, const BitVec& symmetry, unsigned k) {
  if (k <= freeSurface.length() && freeSurface(k)) return 0.0;
  return k <= symmetry.length() && symmetry(k) ? 0.33 : 1.0;
}

void WallStress(const StressInputs& s, int j, const double* n, double* t) {
  if (s.dim == 2)
    WallStressD<2>(s, j, n, t);
  else
    WallStressD<3>(s, j, n, t);
}

}  // namespace

BodyMesh* FluidDomain::giveBody(int n) { return static_cast<BodyMesh*>(bodyMeshes_.get_at(n)); }

BodyMesh* FluidDomain::giveNextBody(int& k) { return static_cast<BodyMesh*>(bodyMeshes_.next(k)); }

// ---------------------------------------------------------------- normals

void FluidDomain::BodyNodesCurrent() {
  if (bodyNodesStamp_ == TopologyStamp() && bodyNodesStamp_ != 0) return;
  bodyNodes_.clear();
  int b = 0;
  int stride = 1;
  std::size_t faces = 0;
  while (BodyMesh* m = giveNextBody(b)) {
    const BodyMesh::Arrays& f = m->Flat();
    for (int j : f.nodes)
      if (j >= 1 && j <= numNodes) bodyNodes_.push_back(j);
    if (f.nnode >= 1) stride = std::max(stride, f.nnode), faces += f.elems.size() / std::size_t(f.nnode);
  }
  std::sort(bodyNodes_.begin(), bodyNodes_.end());
  bodyNodes_.erase(std::unique(bodyNodes_.begin(), bodyNodes_.end()), bodyNodes_.end());
  bodyNormal_.assign(3 * std::size_t(numNodes), 0.0);
  // The faces of all sets in order, and for each body node the faces that hold it.
  std::vector<int> at(std::size_t(numNodes) + 1, -1);
  for (std::size_t i = 0; i < bodyNodes_.size(); ++i) at[std::size_t(bodyNodes_[i])] = int(i);
  std::vector<int> local(faces * std::size_t(stride), -1);
  bodyFaceNodes_.clear(), bodyFaceSet_.clear();
  b = 0;
  while (BodyMesh* m = giveNextBody(b)) {
    const BodyMesh::Arrays& f = m->Flat();
    if (f.nnode < 1) continue;
    for (std::size_t e = 0; e < f.elems.size(); e += std::size_t(f.nnode)) {
      const std::size_t g = bodyFaceNodes_.size();
      for (int k = 0; k < f.nnode; ++k) {
        const int j = f.elems[e + std::size_t(k)];
        if (j >= 1 && j <= numNodes) local[g * std::size_t(stride) + std::size_t(k)] = at[std::size_t(j)];
      }
      bodyFaceNodes_.push_back(&f.elems[e]);
      bodyFaceSet_.push_back(m);
    }
  }
  BuildIncidence(local, int(bodyNodes_.size()), bodyFaceStart_, bodyFaceOf_);
  for (int& p : bodyFaceOf_) p /= stride;
  bodyNodeSlow_.assign(bodyNodes_.size(), 0);
  bodyNodesStamp_ = TopologyStamp();
  normalsMirrored_ = false;
  normalEntryCount_ = -1;
}

bool FluidDomain::NormalEntriesCurrent() const {
  return normalEntryCount_ == normals_.count && bodyNormalEntry_.size() == bodyNodes_.size();
}

void FluidDomain::PullBodyNormals(bool lenient) {
  for (int j : bodyNodes_) {
    double* N = &bodyNormal_[3 * std::size_t(j - 1)];
    if (lenient && normals_.free(j)) {
      N[0] = N[1] = N[2] = 0;
      continue;
    }
    const ReaVec& v = *normals_.get_at(j);
    for (unsigned c = 0; c < 3; ++c) N[c] = c < v.length() ? v(c + 1) : 0.0;
  }
  normalsMirrored_ = true;
}

void FluidDomain::DeleteBodyNormals() {
  BodyNodesCurrent();
  const bool entries = NormalEntriesCurrent();
  if (!entries)
    for (int j : bodyNodes_) *normals_.get_at(j) = 0.0;  // a missing entry ends the run here
  ParallelFor(bodyNodes_.size(), [&](std::size_t i) {
    double* N = &bodyNormal_[3 * std::size_t(bodyNodes_[i] - 1)];
    N[0] = N[1] = N[2] = 0;
    if (!entries) return;
    ReaVec& v = *bodyNormalEntry_[i];
    double* x = v.GivePointer();
    for (unsigned c = 0; c < v.length(); ++c) x[c] = 0;
  });
  normalsMirrored_ = true;
}

void FluidDomain::NormaliseBodyNormals() {
  // When the body nodes hold every entry of the table (it counts no other store) the flat
  // normals are normalised with them, as ReaVec::normalise does, and stay their mirror.
  if (normalsMirrored_ && NormalEntriesCurrent() && normals_.count == int(bodyNodes_.size())) {
    ParallelFor(bodyNodes_.size(), [&](std::size_t i) {
      double* N = &bodyNormal_[3 * std::size_t(bodyNodes_[i] - 1)];
      ReaVec& v = *bodyNormalEntry_[i];
      double* x = v.GivePointer();
      const double len = Norm3(N);
      if (len < 1e-14 || v.length() != 3) return;
      for (int c = 0; c < 3; ++c) N[c] /= len, x[c] = N[c];
    });
    return;
  }
  int i = 0;
  while (ReaVec* v = normals_.next(i))
    if (v->norm() >= 1e-14) v->normalise();
  normalsMirrored_ = false;
}

void FluidDomain::RecalcBodyNormals() {
  DeleteBodyNormals();
  if (Dimension_Olvu == 2)
    CalcBodyNormals2D();
  else
    CalcBodyNormals3D();
  NormaliseBodyNormals();
}

namespace {

// The sets and geometry one body node's walk reads.
struct NormalWalk {
  const double* xyz;                // coordinates, 3 per domain node
  double* normals;                  // flat normals, 3 per domain node
  const int* start;                 // faces of body node i at face[start[i] .. start[i + 1])
  const int* face;
  const int* const* faceNodes;      // nodes of each face
  BodyMesh* const* faceSet;         // set of each face
  const double* faceNormal;         // per face its normal n and unit normal nh (6 values)
  const unsigned char* faceUse;     // per face: 0 left out, 1 used, 2 null normal
};

// The normal n of a face (of unit length in 2D, twice its area in 3D) and its unit normal nh
// into out[0..5]; the use code of NormalWalk::faceUse.
template <int D>
unsigned char FaceNormal(const double* xyz, const int* en, const BodyMesh::Arrays& f, double* out) {
  if (f.nnode < 2 || f.corners < D || f.corners > f.nnode) return 0;
  const double* a = xyz + 3 * std::size_t(en[0] - 1);
  const double* b = xyz + 3 * std::size_t(en[1] - 1);
  double* n = out;
  double* nh = out + 3;
  if (D == 2) {
    const double t[2] = {a[0] - b[0], a[1] - b[1]};
    n[0] = t[1], n[1] = -t[0], n[2] = 0;
    const double len = Norm3(n);
    if (len < 1e-14) return 2;
    for (int c = 0; c < 3; ++c) n[c] /= len;
    for (int c = 0; c < 3; ++c) nh[c] = n[c];
  } else {
    const double* c3 = xyz + 3 * std::size_t(en[2] - 1);
    const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double v[3] = {c3[0] - a[0], c3[1] - a[1], c3[2] - a[2]};
    Cross3(u, v, n);
    const double len = Norm3(n);
    if (len < 1e-14) return 2;
    const double inv = 1 / len;
    for (int c = 0; c < 3; ++c) nh[c] = n[c] * inv;
  }
  return 1;
}

// Walks body node j (body node i) over its faces in set and element order onto its flat normal:
// the convexity and angle tests decide per face whether its normal is added, subtracted or left
// out. Without Full it gives up (false, the normal untouched) at the first face that needs the
// convexity test, a null face normal, or a cancelled 2D normal: those few nodes take the Full
// walk, which also marks the sets, the crease lines and the fixed velocities through ops, and
// reports the faults.
template <int D, bool Full, class Ops>
bool WalkNode(const NormalWalk& w, int j, std::size_t i, Ops& ops) {
  const double* x = w.xyz + 3 * std::size_t(j - 1);
  double* const stored = w.normals + 3 * std::size_t(j - 1);
  double N[3] = {stored[0], stored[1], stored[2]};  // worked on in registers, stored once
  for (int s = w.start[i]; s < w.start[i + 1]; ++s) {
    const int g = w.face[s];
    if (w.faceUse[g] == 0) continue;
    BodyMesh* m = w.faceSet[g];
    if (w.faceUse[g] == 2) {
      if (!Full) return false;
      OLVU_FATAL("Null normal vector found. Check normal orientation in Body " << m->Name() << " geometry.\n");
    }
    const double* n = w.faceNormal + 6 * std::size_t(g);
    const double* nh = n + 3;
    const double cs = m->SharpAngle(), cl = m->LineAngle();
    const int lineFix = m->AutoLineFix();
    double sign = 1;
    // The tests below need K = (N / len) . nh at or below `limit`; a clear margin on the
    // undivided product rules them out for most nodes without the divisions. That margin is
    // first tested wider on squares, which rules out most nodes without the root: the test on
    // len below then decides exactly as if it were alone.
    const double limit = lineFix && cl > cs ? cl : cs;
    const double nn2 = Dot3(N, N), dn = Dot3(N, nh), wide = limit + 2e-6;
    const bool near = nn2 > 0 && (wide >= 0 ? dn <= 0 || dn * dn <= wide * wide * nn2 : dn < 0 && dn * dn >= wide * wide * nn2);
    const double len = near ? std::sqrt(nn2) : 0.0;
    const bool some = near && len >= 1e-14 && dn <= (limit + 1e-6) * len;
    const double p[3] = {some ? N[0] / len : 0.0, some ? N[1] / len : 0.0, some ? N[2] / len : 0.0};
    const double K = Dot3(p, nh);
    if (some && ((D == 3 && K == -1.0 && cs == -1.0) || K < cs || (K < cl && lineFix))) {
      if (!Full) return false;
      // The centre only serves the convexity test, which few nodes need.
      const int* en = w.faceNodes[g];
      const int corners = m->Flat().corners;
      double xc[3] = {0, 0, 0};
      for (int k = 0; k < corners; ++k)
        for (int c = 0; c < 3; ++c) xc[c] += w.xyz[3 * std::size_t(en[k] - 1) + std::size_t(c)] / corners;
      double dv[3] = {x[0] - xc[0], x[1] - xc[1], x[2] - xc[2]};
      double pn[3];
      Cross3(p, nh, pn);
      const double cross = Norm3(pn);
      if (D == 3 && cross >= 1e-14) {
        // Only the part of d across the crease line decides convexity.
        const double t[3] = {pn[0] / cross, pn[1] / cross, pn[2] / cross};
        const double dt = Dot3(dv, t);
        for (int c = 0; c < 3; ++c) dv[c] -= dt * t[c];
      }
      const double sum[3] = {p[0] + nh[0], p[1] + nh[1], p[2] + nh[2]};
      const double J = Dot3(dv, sum);
      if (J >= 0) {
        if (D == 3 && K == -1.0 && cs == -1.0) continue;
        if (K < cs) sign = -1, ops.markSharp(j);
      } else if (K < cl && lineFix) {
        if (D == 2) {
          ops.fixLine(j);
          continue;
        }
        if (!ops.isSharp(j) && cross >= 1e-14) ops.addLine(j, pn, cross);
      }
    }
    N[0] += sign * n[0], N[1] += sign * n[1], N[2] += sign * n[2];
    // In 3D the sum stays a sum of area vectors, each face weighted by its area whatever its
    // place in the order; the callers normalise it once.
    if (D == 2 && Norm3(N) < 1e-14) {
      if (!Full) return false;
      ops.wrongNormal(j);
      N[0] = n[0], N[1] = n[1], N[2] = n[2];
    }
  }
  stored[0] = N[0], stored[1] = N[1], stored[2] = N[2];
  return true;
}

}  // namespace

template <int D>
void FluidDomain::BodyNormals() {
  // The marks of the ordered walk: sharp nodes, crease lines and, in 2D, fixed velocities.
  struct Marks {
    FluidDomain& d;
    void markSharp(int j) { d.Mark(RemoveCondNodes, j); }
    bool isSharp(int j) const { return d.Marked(RemoveCondNodes, j); }
    // Adds the unit crease direction pn / cross to the node's line, creating and marking it.
    void addLine(int j, const double* pn, double cross) {
      const double dir[3] = {pn[0] / cross, pn[1] / cross, pn[2] / cross};
      if (d.velocityLine_.free(j)) {
        d.velocityLine_.set_at(j, new ReaVec(3u, 0.0));
        d.Mark(LineVelNodes, j);
      }
      double* L = d.velocityLine_.get_at(j)->GivePointer();
      for (int c = 0; c < 3; ++c) L[c] += dir[c];
      const double ll = Norm3(L);
      if (ll >= 1e-14)
        for (int c = 0; c < 3; ++c) L[c] /= ll;
    }
    void fixLine(int j) {
      for (int c : {FixVelX, FixVelY, FixVelZ}) d.Mark(c, j);
      for (int v : {VelX, VelY, VelZ, VelX0, VelY0, VelZ0})
        if (int(d.vars_[v].length()) >= j) d.vars_[v](unsigned(j)) = 0;
    }
    void wrongNormal(int j) {
      OLVU_WARNING(2, "Wrong normal vector:" << "\n\t Abnormal geometry definition for node " << d.ToGlobal()(unsigned(j))
                                             << "\n\t Check surfaces orientation and swap normals");
    }
  } ops{*this};
  BodyNodesCurrent();
  if (!normalsMirrored_) PullBodyNormals(true);
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) {
    const BodyMesh::Arrays& f = m->Flat();
    if (f.nnode >= 2 && f.corners >= D && f.corners <= f.nnode && !f.elemsInside)
      OLVU_FATAL("Node of Body " << m->Name() << " is out of " << DomainName() << ".\n\t"
                                 << "Do not define Boundaries on these nodes\n");
  }
  // Each node sums its own faces in order, so the nodes are independent and the result is the
  // same for any thread count; the few that need the marks walk again, alone, in node order.
  const double* xyz = NodeCoordinates();
  bodyFaceNormal_.resize(6 * bodyFaceSet_.size());
  bodyFaceUse_.resize(bodyFaceSet_.size());
  ParallelFor(bodyFaceSet_.size(), [&](std::size_t g) {
    bodyFaceUse_[g] = FaceNormal<D>(xyz, bodyFaceNodes_[g], bodyFaceSet_[g]->Flat(), &bodyFaceNormal_[6 * g]);
  });
  const NormalWalk w{xyz, bodyNormal_.data(), bodyFaceStart_.data(), bodyFaceOf_.data(), bodyFaceNodes_.data(),
                     bodyFaceSet_.data(), bodyFaceNormal_.data(), bodyFaceUse_.data()};
  // Where the table's entries are known, each node writes its own after its walk.
  const bool entries = NormalEntriesCurrent();
  ParallelFor(bodyNodes_.size(), [&](std::size_t i) {
    const int j = bodyNodes_[i];
    bodyNodeSlow_[i] = !WalkNode<D, false>(w, j, i, ops);
    if (bodyNodeSlow_[i] || !entries) return;
    ReaVec& v = *bodyNormalEntry_[i];
    double* x = v.GivePointer();
    const double* N = &bodyNormal_[3 * std::size_t(j - 1)];
    for (unsigned c = 0; c < 3 && c < v.length(); ++c) x[c] = N[c];
  });
  bool slow = false;
  for (std::size_t i = 0; i < bodyNodes_.size(); ++i)
    if (bodyNodeSlow_[i]) WalkNode<D, true>(w, bodyNodes_[i], i, ops), slow = true;
  if (slow || !entries) PushBodyNormals();
}

void FluidDomain::PushBodyNormals() {
  if (!NormalEntriesCurrent()) {
    bodyNormalEntry_.resize(bodyNodes_.size());
    for (std::size_t i = 0; i < bodyNodes_.size(); ++i) {
      const int j = bodyNodes_[i];
      if (normals_.free(j)) normals_.set_at(j, new ReaVec(3u, 0.0));
      bodyNormalEntry_[i] = normals_.get_at(j);
    }
    normalEntryCount_ = normals_.count;
  }
  ParallelFor(bodyNodes_.size(), [&](std::size_t i) {
    ReaVec& v = *bodyNormalEntry_[i];
    double* x = v.GivePointer();
    const double* N = &bodyNormal_[3 * std::size_t(bodyNodes_[i] - 1)];
    for (unsigned c = 0; c < 3 && c < v.length(); ++c) x[c] = N[c];
  });
}

void FluidDomain::CalcBodyNormals2D() { BodyNormals<2>(); }

void FluidDomain::CalcBodyNormals3D() { BodyNormals<3>(); }

// ---------------------------------------------------------------- local frames

namespace {

// b = (r x a)/|r x a| and w = a x b for the reference r that is not along a.
void FrameAxes(const ReaVec& a, double* b, double* w) {
  const double av[3] = {a(1), a(2), a(3)};
  const double r[3] = {0, std::fabs(av[0]) < 1.0 / 64 && std::fabs(av[1]) < 1.0 / 64 ? 1.0 : 0.0,
                       std::fabs(av[0]) < 1.0 / 64 && std::fabs(av[1]) < 1.0 / 64 ? 0.0 : 1.0};
  Cross3(r, av, b);
  const double l = Norm3(b);
  for (int c = 0; c < 3; ++c) b[c] /= l;
  Cross3(av, b, w);
}

}  // namespace

void CalcMatGivenAxeX(ReaVec& a, Matrix& m) {
  double b[3], w[3];
  FrameAxes(a, b, w);
  m.redimension(3, 3);
  for (int r = 0; r < 3; ++r) m(r + 1, 1) = a(unsigned(r + 1)), m(r + 1, 2) = b[r], m(r + 1, 3) = w[r];
}

void CalcMatGivenAxeZ(ReaVec& a, Matrix& m) {
  double b[3], w[3];
  FrameAxes(a, b, w);
  m.redimension(3, 3);
  for (int r = 0; r < 3; ++r) m(r + 1, 1) = b[r], m(r + 1, 2) = w[r], m(r + 1, 3) = a(unsigned(r + 1));
}

// ---------------------------------------------------------------- stresses and loads

namespace {

StressInputs Stress(SystemSparseMatrix* const* G, const ReaVec* vars, const ReaVec& invLumped) {
  OLVU_ASSERT(G[1]->row_ptr(0) == G[0]->row_ptr(0) && G[2]->row_ptr(0) == G[0]->row_ptr(0),
              "the gradient matrices share one pattern");
  return {G[0]->row_ptr(0),
          G[0]->col_ind(0),
          {G[0]->val(0), G[1]->val(0), G[2]->val(0)},
          {vars[VelX].GivePointer(), vars[VelY].GivePointer(), vars[VelZ].GivePointer()},
          vars[KVisc].GivePointer(),
          invLumped.GivePointer(),
          Dimension_Olvu == 2 ? 2 : 3};
}

}  // namespace

void FluidDomain::CalculateStresses(int node, double& sx, double& sy, double& sz) {
  const ReaVec& nv = *normals_.get_at(node);
  const double n[3] = {nv(1), nv(2), nv(3)};
  SystemSparseMatrix* const G[3] = {sys_[2], sys_[3], sys_[4]};
  double t[3];
  WallStress(Stress(G, vars_, invLumped_), node, n, t);
  sx = t[0], sy = t[1], sz = t[2];
}

Matrix FluidDomain::BuildMatrixGradU(int node) {
  const int d = Dimension_Olvu == 2 ? 2 : 3;
  Matrix m(d, d);
  const double s = invLumped_(unsigned(node));
  for (int a = 0; a < d; ++a)
    for (int b = 0; b < d; ++b) m(a + 1, b + 1) = s * RowDot(sys_[2 + b], node - 1, vars_[VelX + a].GivePointer());
  return m;
}

void FluidDomain::CalculateForces() {
  ReaVec& pl = vars_[Work3];
  pl.resize(unsigned(numNodes), 0.0);
  pl = 0.0;
  BodyNodesCurrent();
  // Only body nodes are written below: the traction needs clearing only when the body nodes or
  // the vectors' size changed.
  if (tractionStamp_ != bodyNodesStamp_ || traction_[0].length() != unsigned(numNodes)) {
    for (ReaVec& t : traction_) t.resize(unsigned(numNodes), 0.0), t = 0.0;
    tractionStamp_ = bodyNodesStamp_;
  }
  if (bodyMeshes_.count == 0) return;
  if (!normalsMirrored_) PullBodyNormals(false);  // a body node without a normal ends the run here
  const bool pressure = vars_[Pres].length() == unsigned(numNodes);
  const double* rho = vars_[Dens].GivePointer();
  const double* p = vars_[Pres].GivePointer();
  const double* xyz = NodeCoordinates();
  double* load = pl.GivePointer();
  double* T[3] = {traction_[0].GivePointer(), traction_[1].GivePointer(), traction_[2].GivePointer()};
  double g[3] = {0, 0, 0}, o[3] = {0, 0, 0};
  for (unsigned c = 1; c <= 3; ++c) {
    if (GravVec.length() >= c) g[c - 1] = GravVec(c);
    if (FStatic.length() >= c) o[c - 1] = FStatic(c);
  }
  const BitVec& sharp = conds_[RemoveCondNodes];
  const BitVec &freeSurface = conds_[FreeSurfNodes], &symmetry = conds_[SymmPlaneNodes];
  const bool sharpSized = sharp.length() == unsigned(numNodes);
  SystemSparseMatrix* const G[3] = {sys_[2], sys_[3], sys_[4]};
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) {
    const bool law = m->HasWallLaw() && GiveWallLawForces;
    const double* wallFactor = vars_[WallFactor].GivePointer();
    const double* u[3] = {vars_[VelX].GivePointer(), vars_[VelY].GivePointer(), vars_[VelZ].GivePointer()};
    const StressInputs s = law ? StressInputs{} : Stress(G, vars_, invLumped_);
    const BodyMesh::Arrays& f = m->Flat();
    if (!f.inside)
      OLVU_FATAL("Node of Body " << m->Name() << " is out of " << DomainName() << ".\n\t"
                                 << "Do not define Boundaries on these nodes\n");
    const double* normal = bodyNormal_.data();
    const bool total = totalPressure_;
    // A set lists each node once: its nodes are independent.
    ParallelFor(f.nodes.size(), [&](std::size_t k) {
      const int j = f.nodes[k];
      const std::size_t i = std::size_t(j - 1);
      const double r = rho[i];
      // The solve keeps the pressure over the density; the loads are in pressure units.
      double q = pressure ? r * p[i] : 0.0;
      if (!total) {
        const double* x = xyz + 3 * i;
        const double h = g[0] * (x[0] - o[0]) + g[1] * (x[1] - o[1]) + g[2] * (x[2] - o[2]);
        if (h > 0) q += r * h;
      }
      double t[3];
      if (law) {
        // The stress the momentum equation applied, with the sign of the stress branch below: the
        // sums hold the loads with the sign that the force table turns into the force on the body.
        const double a = -wallFactor[i] * r * WallShare(freeSurface, symmetry, unsigned(j));
        for (int c = 0; c < 3; ++c) t[c] = a * u[c][i];
      } else {
        WallStress(s, j, normal + 3 * i, t);
        for (double& v : t) v *= -r;
      }
      if (sharpSized && sharp(unsigned(j))) q = 0;
      load[i] = q;
      for (int c = 0; c < 3; ++c) T[c][i] = t[c];
    });
  }
}

ReaVec& FluidDomain::CalculateHydrostatic(ReaVec& x0) {
  hydrostatic_.resize(unsigned(numNodes), 0.0);
  hydrostatic_ = 0.0;
  if (!Flag(PPressure)) return hydrostatic_;
  const ReaVec& rho = vars_[Dens];
  if (totalPressure_) {
    hydrostatic_.product(rho, vars_[Pres]);
    return hydrostatic_;
  }
  double g[3] = {0, 0, 0}, o[3] = {0, 0, 0};
  for (unsigned c = 1; c <= 3; ++c) {
    if (GravVec.length() >= c) g[c - 1] = GravVec(c);
    if (x0.length() >= c) o[c - 1] = x0(c);
  }
  int i = 0;
  while (Node* nd = nodes.next(i)) {
    const unsigned n = unsigned(nd->num[kind_]);
    const double h = rho(n) * (g[0] * ((*nd)(1) - o[0]) + g[1] * ((*nd)(2) - o[1]) + g[2] * ((*nd)(3) - o[2]));
    hydrostatic_(n) = h > 0 ? h : 0.0;
  }
  return hydrostatic_;
}

// ---------------------------------------------------------------- wall terms of the momentum

void FluidDomain::BodyWallTerms(ReaVec& bx, ReaVec& by, ReaVec& bz) {
  if (vars_[WallFactor].length()) vars_[WallFactor] = 0.0;
  if (bodyMeshes_.count == 0) return;
  ReaVec& a = vars_[Work1];
  a = 0.0;
  ReaVec* u[3] = {&vars_[VelX], &vars_[VelY], &vars_[VelZ]};
  ReaVec rel[3];
  if (Flag(PMeshDeform) && vars_[MeshX].length())
    for (int c = 0; c < 3; ++c) {
      rel[c] = *u[c];
      rel[c].add_product(vars_[MeshX + c], -MeshRate());
      u[c] = &rel[c];
    }
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) m->solveWallLaw(*u[0], *u[1], *u[2], vars_[KVisc], a, vars_[WallFactor]);
  double* ap = a.GivePointer();
  const BitVec &freeSurface = conds_[FreeSurfNodes], &symmetry = conds_[SymmPlaneNodes];
  ParallelFor(std::size_t(numNodes), [&](std::size_t i) { ap[i] *= WallShare(freeSurface, symmetry, unsigned(i + 1)); });
  ReaVec& diag = vars_[Work2];
  diag = 0.0;
  b = 0;
  while (BodyMesh* m = giveNextBody(b)) m->addBodyIntegral(a, diag);
  // The friction enters the matrix once per build: right-hand sides formed again on the same
  // matrix (explicit sub-steps, simplified Euler) must not add it again.
  if (wallDiagonalDue_ && diag.max_abs() > 0) sys_[1]->diag_vect_add(diag);
  wallDiagonalDue_ = false;
  b = 0;
  while (BodyMesh* m = giveNextBody(b)) {
    if (!m->OutFlowBound()) continue;
    ReaVec* s[3] = {&vars_[Work1], &vars_[Work2], &vars_[Work3]};
    for (ReaVec* v : s) *v = 0.0;
    int i = 0;
    while (Node* nd = m->giveNextNode(i)) {
      const int j = nd->num[kind_];
      double t[3];
      CalculateStresses(j, t[0], t[1], t[2]);
      const ReaVec& n = *normals_.get_at(j);
      const double pn = n(1) * t[0] + n(2) * t[1] + n(3) * t[2];
      if (vars_[Pres].length()) vars_[Pres](unsigned(j)) = pn;
      if (vars_[PresWork].length()) vars_[PresWork](unsigned(j)) = pn;
      for (int c = 0; c < 3; ++c) (*s[c])(unsigned(j)) = t[c];
    }
    m->addBodyIntegral(*s[0], bx);
    m->addBodyIntegral(*s[1], by);
    m->addBodyIntegral(*s[2], bz);
  }
}

// ---------------------------------------------------------------- force and movement lines

void FluidDomain::OutputForces(std::ostream& out) {
  if (!Flag(PVelocity) || !Flag(PPressure)) return;
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) m->OutputForces(&out);
}

void FluidDomain::OutputBodyMovement(std::ostream& out) {
  if (!Flag(PMeshDeform)) return;
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) m->OutputMovement(&out);
}

void FluidDomain::CalculateWallLaw() {
  // u* = sqrt(wall stress): the wall-law coefficient is the stress over the speed.
  ReaVec& ustar = FlowWork(7);
  const ReaVec& cw = vars_[WallFactor];
  const ReaVec &u = vars_[VelX], &v = vars_[VelY], &w = vars_[VelZ];
  for (unsigned i = 1; i <= ustar.length(); ++i) {
    const double speed = std::sqrt(u(i) * u(i) + v(i) * v(i) + w(i) * w(i));
    ustar(i) = i <= cw.length() && cw(i) > 0 ? std::sqrt(cw(i) * speed) : 0.0;
  }
  // The wall nodes take the wall values of their body set: k always, the second variable and the
  // eddy viscosity only where the bodies fix them.
  ReaVec none;
  ReaVec& k = vars_[KEnergy];
  ReaVec& nu = vars_[KVisc];
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) {
    if (fixTurbBodies_)
      m->turbulenceWallLaw(vars_[Epsilon], k, vars_[Omega], vars_[KTau], vars_[TVisc], ustar, nu);
    else
      m->turbulenceWallLaw(none, k, none, none, none, ustar, nu);
  }
  const int vars[4][2] = {{KEnergy, 5}, {KTau, 8}, {Epsilon, 6}, {Omega, 7}};
  for (const auto& p : vars)
    if (vars_[p[0]].length()) ClampVar(vars_[p[0]], p[1]);
  ClampVar(vars_[TVisc], 10);
}
