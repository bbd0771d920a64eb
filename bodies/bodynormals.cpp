// The outward normals of the body nodes ("Normal to Surface") with their sharp-edge and crease
// detection, the fluid domain's walk over its body sets and the local frames of a given axis.
#include "bodies/bodynormals.h"

#include <algorithm>
#include <cmath>

#include "bodies/bodymesh.h"
#include "bodies/bodyparts.h"
#include "domain/fluiddomain.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/matrix.h"
#include "foundation/threads.h"

namespace {

double Dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double Norm3(const double* a) { return std::sqrt(Dot3(a, a)); }
void Cross3(const double* a, const double* b, double* c) {
  c[0] = a[1] * b[2] - a[2] * b[1], c[1] = a[2] * b[0] - a[0] * b[2], c[2] = a[0] * b[1] - a[1] * b[0];
}

}  // namespace

BodyMesh* FluidDomain::giveNextBody(int& k) { return static_cast<BodyMesh*>(bodyMeshes_.next(k)); }

// ---------------------------------------------------------------- the body nodes and their entries

void BodyNormalCache::Current(FluidDomain& d) {
  if (stamp_ == d.TopologyStamp() && stamp_ != 0) return;
  const int numNodes = d.numNodes;
  nodes_.clear();
  int b = 0;
  int stride = 1;
  std::size_t faces = 0;
  while (BodyMesh* m = d.giveNextBody(b)) {
    const BodyMesh::Arrays& f = m->Flat();
    for (int j : f.nodes)
      if (j >= 1 && j <= numNodes) nodes_.push_back(j);
    if (f.nnode >= 1) stride = std::max(stride, f.nnode), faces += f.elems.size() / std::size_t(f.nnode);
  }
  std::sort(nodes_.begin(), nodes_.end());
  nodes_.erase(std::unique(nodes_.begin(), nodes_.end()), nodes_.end());
  // The faces of all sets in order, and for each body node the faces that hold it.
  std::vector<int> at(std::size_t(numNodes) + 1, -1);
  for (std::size_t i = 0; i < nodes_.size(); ++i) at[std::size_t(nodes_[i])] = int(i);
  std::vector<int> local(faces * std::size_t(stride), -1);
  faceNodes_.clear(), faceSet_.clear();
  b = 0;
  while (BodyMesh* m = d.giveNextBody(b)) {
    const BodyMesh::Arrays& f = m->Flat();
    if (f.nnode < 1) continue;
    for (std::size_t e = 0; e < f.elems.size(); e += std::size_t(f.nnode)) {
      const std::size_t g = faceNodes_.size();
      for (int k = 0; k < f.nnode; ++k) {
        const int j = f.elems[e + std::size_t(k)];
        if (j >= 1 && j <= numNodes) local[g * std::size_t(stride) + std::size_t(k)] = at[std::size_t(j)];
      }
      faceNodes_.push_back(&f.elems[e]);
      faceSet_.push_back(m);
    }
  }
  BuildIncidence(local, int(nodes_.size()), faceStart_, faceOf_);
  for (int& p : faceOf_) p /= stride;
  slow_.assign(nodes_.size(), 0);
  stamp_ = d.TopologyStamp();
  count_ = numNodes;
  entryCount_ = -1;
}

bool BodyNormalCache::EntriesCurrent(const Plex<ReaVec>& normals) const {
  return entryCount_ == normals.count && entry_.size() == nodes_.size();
}

void BodyNormalCache::TakeEntries(OwningPlex<ReaVec>& normals, bool create) {
  if (EntriesCurrent(normals)) return;
  entry_.resize(nodes_.size());
  byNode_.assign(std::size_t(count_) + 1, nullptr);
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    const int j = nodes_[i];
    if (create && normals.free(j)) normals.Adopt(j, std::make_unique<ReaVec>(3u, 0.0));
    entry_[i] = byNode_[std::size_t(j)] = normals.get_at(j);  // a missing entry ends the run here
    OLVU_ASSERT(entry_[i]->length() == 3, "normal of body node " << j << " of length " << entry_[i]->length());
  }
  entryCount_ = normals.count;
}

void BodyNormalCache::Zero(OwningPlex<ReaVec>& normals) {
  TakeEntries(normals, false);
  ParallelFor(entry_.size(), [&](std::size_t i) {
    double* x = entry_[i]->GivePointer();
    x[0] = x[1] = x[2] = 0;
  });
}

void BodyNormalCache::Normalise(Plex<ReaVec>& normals) {
  // When the body nodes hold every entry of the table (it counts no other store) they are
  // normalised in parallel, as ReaVec::normalise does.
  if (EntriesCurrent(normals) && normals.count == int(nodes_.size())) {
    ParallelFor(entry_.size(), [&](std::size_t i) {
      double* x = entry_[i]->GivePointer();
      const double len = Norm3(x);
      if (len < 1e-14) return;
      for (int c = 0; c < 3; ++c) x[c] /= len;
    });
    return;
  }
  int i = 0;
  while (ReaVec* v = normals.next(i))
    if (v->norm() >= 1e-14) v->normalise();
}

// ---------------------------------------------------------------- the domain's normals

void FluidDomain::DeleteBodyNormals() {
  BodyNormalCache& cache = BodyParts::Of(*this).Normals();
  cache.Current(*this);
  cache.Zero(normals_);
}

void FluidDomain::NormaliseBodyNormals() { BodyParts::Of(*this).Normals().Normalise(normals_); }

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
  ReaVec* const* entries;           // "Normal to Surface" entry of each body node
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

// Walks body node j (body node i) over its faces in set and element order onto its normal entry:
// the convexity and angle tests decide per face whether its normal is added, subtracted or left
// out. Without Full it gives up (false, the normal untouched) at the first face that needs the
// convexity test, a null face normal, or a cancelled 2D normal: those few nodes take the Full
// walk, which also marks the sets, the crease lines and the fixed velocities through ops, and
// reports the faults.
template <int D, bool Full, class Ops>
bool WalkNode(const NormalWalk& w, int j, std::size_t i, Ops& ops) {
  const double* x = w.xyz + 3 * std::size_t(j - 1);
  double* const stored = w.entries[i]->GivePointer();
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

template <int D, class Marks>
void BodyNormalCache::Accumulate(FluidDomain& d, Marks& marks) {
  Current(d);
  TakeEntries(*d.giveNormalPlex(), true);  // a node without an entry starts from zero
  int b = 0;
  while (BodyMesh* m = d.giveNextBody(b)) {
    const BodyMesh::Arrays& f = m->Flat();
    if (f.nnode >= 2 && f.corners >= D && f.corners <= f.nnode && !f.elemsInside)
      OLVU_FATAL("Node of Body " << m->Name() << " is out of " << d.DomainName() << ".\n\t"
                                 << "Do not define Boundaries on these nodes\n");
  }
  // Each node sums its own faces in order, so the nodes are independent and the result is the
  // same for any thread count; the few that need the marks walk again, alone, in node order.
  const double* xyz = d.NodeCoordinates();
  faceNormal_.resize(6 * faceSet_.size());
  faceUse_.resize(faceSet_.size());
  ParallelFor(faceSet_.size(), [&](std::size_t g) {
    faceUse_[g] = FaceNormal<D>(xyz, faceNodes_[g], faceSet_[g]->Flat(), &faceNormal_[6 * g]);
  });
  const NormalWalk w{xyz,           entry_.data(),      faceStart_.data(), faceOf_.data(),
                     faceNodes_.data(), faceSet_.data(), faceNormal_.data(), faceUse_.data()};
  ParallelFor(nodes_.size(), [&](std::size_t i) { slow_[i] = !WalkNode<D, false>(w, nodes_[i], i, marks); });
  for (std::size_t i = 0; i < nodes_.size(); ++i)
    if (slow_[i]) WalkNode<D, true>(w, nodes_[i], i, marks);
}

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
        d.velocityLine_.Adopt(j, std::make_unique<ReaVec>(3u, 0.0));
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
  BodyParts::Of(*this).Normals().Accumulate<D>(*this, ops);
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

// No caller: a body whose frame follows one given axis would take it from here.
void CalcMatGivenAxeX(ReaVec& a, Matrix& m) {
  double b[3], w[3];
  FrameAxes(a, b, w);
  m.redimension(3, 3);
  for (int r = 0; r < 3; ++r) m(r + 1, 1) = a(unsigned(r + 1)), m(r + 1, 2) = b[r], m(r + 1, 3) = w[r];
}

// No caller: as CalcMatGivenAxeX, for a frame whose third axis is the given one.
void CalcMatGivenAxeZ(ReaVec& a, Matrix& m) {
  double b[3], w[3];
  FrameAxes(a, b, w);
  m.redimension(3, 3);
  for (int r = 0; r < 3; ++r) m(r + 1, 1) = b[r], m(r + 1, 2) = w[r], m(r + 1, 3) = a(unsigned(r + 1));
}
