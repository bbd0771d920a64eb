// Bucket octree: insertion with splitting and root growth, the searches and removal.
#include "mesh/octtree.h"

#include <algorithm>
#include <cmath>

#include "foundation/error.h"

namespace {

constexpr double kTol = 1e-6;
// Children visited by the box searches: upper x first, lower y before upper, lower z before upper.
constexpr int kSearchOrder[8] = {1, 5, 3, 7, 0, 4, 2, 6};

/// Coordinate k of a point (z = 0 for a point of two entries).
inline double C(const ReaVec& p, int k) { return k < static_cast<int>(p.length()) ? p[k] : 0.0; }

inline double Dist2(const ReaVec& a, const ReaVec& b) {
  double s = 0;
  for (int k = 0; k < 3; ++k) {
    const double d = C(a, k) - C(b, k);
    s += d * d;
  }
  return s;
}

}  // namespace

OctTree::OctTree(double x0, double x1, double y0, double y1, double z0, double z1, OctTree* f)
    : father(f), xmin(x0), xmax(x1), ymin(y0), ymax(y1), zmin(z0), zmax(z1) {
  double* lo[3] = {&xmin, &ymin, &zmin};
  double* hi[3] = {&xmax, &ymax, &zmax};
  if (!father)
    for (int k = 0; k < 3; ++k) {
      const double m = 0.1 * (*hi[k] - *lo[k]);
      *lo[k] -= m, *hi[k] += m;
    }
  if (xmax - xmin < kTol && ymax - ymin < kTol && zmax - zmin < kTol)
    OLVU_FATAL("error in OctTree::OctTree. OctTree too small\n");
  // Only the root widens a narrow axis: a child that did would split without end.
  if (!father)
    for (int k = 0; k < 3; ++k)
      if (*hi[k] - *lo[k] < kTol) *lo[k] -= 1, *hi[k] += 1;
}

OctTree::OctTree(Plex<ReaVecContainer>& holders) {
  double lo[3] = {1e100, 1e100, 1e100}, hi[3] = {-1e100, -1e100, -1e100};
  int i = 0;
  for (ReaVecContainer* h = holders.next(i); h; h = holders.next(i))
    for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], C(*h->point, k)), hi[k] = std::max(hi[k], C(*h->point, k));
  for (int k = 0; k < 3; ++k) {
    if (lo[k] > hi[k]) lo[k] = hi[k] = 0;  // an empty table
    const double m = 0.1 * (hi[k] - lo[k]);
    lo[k] -= m, hi[k] += m;
    if (hi[k] - lo[k] < kTol) lo[k] -= 1, hi[k] += 1;
  }
  xmin = lo[0], xmax = hi[0], ymin = lo[1], ymax = hi[1], zmin = lo[2], zmax = hi[2];
  i = 0;
  for (ReaVecContainer* h = holders.next(i); h; h = holders.next(i)) EnterPoint(h, 0);
}

OctTree::OctTree(const OctTree& o, OctTree* f)
    : father(f), count(o.count), xmin(o.xmin), xmax(o.xmax), ymin(o.ymin), ymax(o.ymax), zmin(o.zmin), zmax(o.zmax) {
  std::copy(o.children, o.children + 8, children);
  std::copy(o.points, o.points + 8, points);
}

OctTree::~OctTree() {
  if (count == -1)
    for (OctTree* c : children) delete c;
}

void OctTree::DeleteAllEntities() {
  if (count == -1) {
    for (OctTree* c : children) c->DeleteAllEntities();
    return;
  }
  for (int k = 0; k < count; ++k) delete points[k], points[k] = nullptr;
}

bool OctTree::Inside(const ReaVec& p) const {
  const double x = C(p, 0), y = C(p, 1), z = C(p, 2);
  return xmin - kTol <= x && x <= xmax + kTol && ymin - kTol <= y && y <= ymax + kTol && zmin - kTol <= z &&
         z <= zmax + kTol;
}

int OctTree::ChooseOctant(const ReaVec& p) const {
  return ((xmin + xmax) / 2 < C(p, 0) ? 1 : 0) | ((ymin + ymax) / 2 < C(p, 1) ? 2 : 0) |
         ((zmin + zmax) / 2 < C(p, 2) ? 4 : 0);
}

void OctTree::OctantBox(int i, double b[6]) const {
  const double lo[3] = {xmin, ymin, zmin}, hi[3] = {xmax, ymax, zmax};
  for (int k = 0; k < 3; ++k) {
    const double half = lo[k] + (hi[k] - lo[k]) / 2;
    b[2 * k] = (i >> k) & 1 ? half : lo[k];
    b[2 * k + 1] = (i >> k) & 1 ? hi[k] : half;
  }
}

void OctTree::Split() {
  for (int i = 0; i < 8; ++i) {
    double b[6];
    OctantBox(i, b);
    children[i] = new OctTree(b[0], b[1], b[2], b[3], b[4], b[5], this);
  }
  count = -1;
  for (ReaVecContainer*& h : points) {
    children[ChooseOctant(h)]->EnterPoint(h, 0);
    h = nullptr;
  }
}

int OctTree::EnterPoint(ReaVecContainer* h, int grow) {
  if (!Inside(*h->point)) {
    if (!grow) return -1;
    if (father) OLVU_FATAL("error in OctTree::EnterPoint. has father\n");
    InCreaseOctreeSize(h);
  }
  OctTree* node = this;
  for (;;) {
    if (node->count == -1) {
      OctTree* child = node->children[node->ChooseOctant(h)];
      if (!child->Inside(*h->point)) return -1;  // only by rounding at a mid-plane
      node = child;
    } else if (node->count < 8) {
      node->points[node->count++] = h;
      return 0;
    } else {
      node->Split();
    }
  }
}

int OctTree::EnterPoint(int& budget, ReaVecContainer* h, int grow) {
  if (count == 8 && budget-- == 0) return 0;
  return EnterPoint(h, grow);
}

int OctTree::EnterPointCreatingContainer(ReaVec* point, int grow) {
  ReaVecContainer* h = new ReaVecContainer(point);
  const int r = EnterPoint(h, grow);
  if (r == -1) delete h;
  return r;
}

void OctTree::InCreaseOctreeSize(ReaVecContainer* h) {
  const ReaVec& p = *h->point;
  while (!Inside(p)) {
    OctTree* moved = new OctTree(*this, this);
    if (moved->count == -1)
      for (OctTree* c : moved->children) c->father = moved;
    double* lo[3] = {&xmin, &ymin, &zmin};
    double* hi[3] = {&xmax, &ymax, &zmax};
    int oct = 0;
    for (int k = 0; k < 3; ++k) {
      const double extent = *hi[k] - *lo[k];
      if (C(p, k) < (*lo[k] + *hi[k]) / 2) {
        *lo[k] -= extent;
        oct |= 1 << k;  // the old box is the upper half
      } else {
        *hi[k] += extent;
      }
    }
    count = -1;
    std::fill(points, points + 8, nullptr);
    for (int i = 0; i < 8; ++i) {
      if (i == oct) {
        children[i] = moved;
        continue;
      }
      double b[6];
      OctantBox(i, b);
      children[i] = new OctTree(b[0], b[1], b[2], b[3], b[4], b[5], this);
    }
  }
}

bool OctTree::OctantMeets(int i, const ReaVec& p, double r) const {
  const double mid[3] = {(xmin + xmax) / 2, (ymin + ymax) / 2, (zmin + zmax) / 2};
  for (int k = 0; k < 3; ++k) {
    const bool upper = (i >> k) & 1;
    if (upper ? !(C(p, k) + r >= mid[k]) : !(C(p, k) - r <= mid[k])) return false;
  }
  return true;
}

int OctTree::AddClosePointsToList(const ReaVec& p, ReaVecContainer** list, int& n, int capacity, double radius,
                                  const ReaVec* origin, const ReaVec* direction) {
  if (count == -1) {
    for (int i : kSearchOrder)
      if (OctantMeets(i, p, radius) &&
          children[i]->AddClosePointsToList(p, list, n, capacity, radius, origin, direction) == -1)
        return -1;
    return 0;
  }
  const double r2 = radius * radius;
  for (int k = 0; k < count; ++k) {
    const ReaVec& q = *points[k]->point;
    if (Dist2(p, q) > r2) continue;
    if (origin) {
      double v[3], len2 = 0, dot = 0;
      for (int a = 0; a < 3; ++a) v[a] = C(q, a) - C(*origin, a), len2 += v[a] * v[a], dot += C(*direction, a) * v[a];
      const double len = std::sqrt(len2);
      if (len >= kTol && !(dot > -0.02 * len)) continue;
    }
    if (n == capacity) return -1;
    list[n++] = points[k];
  }
  return 0;
}

int OctTree::AddClosePointsToList(const ReaVec& p, ReaVecContainer** list, int capacity, double radius,
                                  const ReaVec* origin, const ReaVec* direction) {
  ReaVecContainer* one[1];
  double r = radius;
  int n = 0;
  while ((n = 0, AddClosePointsToList(p, one, n, 1, r, origin, direction) == -1) && r > kTol) r /= 2;
  if (r < kTol) OLVU_FATAL("Radius<MinDiference in OctTree");
  r *= 2;
  n = 0;
  int res = AddClosePointsToList(p, list, n, capacity, r, origin, direction);
  while (res != -1 && r < radius) {
    r *= n > capacity / 2 ? 1.1 : 1.5;
    n = 0;
    res = AddClosePointsToList(p, list, n, capacity, r, origin, direction);
  }
  return n;
}

int OctTree::AddClosestPoints(const ReaVec& p, ReaVecContainer** list, int capacity, int wanted, double& radius,
                              const ReaVec* origin, const ReaVec* direction) {
  // -1 too few, 0 success, 1 too many (finding exactly capacity counts as too many).
  int found = 0;
  auto search = [&](double r) {
    found = 0;
    const int res = AddClosePointsToList(p, list, found, capacity, r, origin, direction);
    if (res == -1 || found >= capacity) return 1;
    return found >= wanted ? 0 : -1;
  };
  double lo, hi;
  const double full = radius;
  int s = search(full / 10);
  if (s == 0) {
    radius = full / 10;
    return found;
  }
  if (s == 1) {
    lo = 0, hi = full / 10;
  } else {
    s = search(full);
    if (s == -1) OLVU_WARNING(0, "Not enought points in maximum radius");
    if (s <= 0) return found;
    lo = full / 10, hi = full;
  }
  for (int it = 0; it < 1000; ++it) {
    const double mid = (lo + hi) / 2;
    radius = mid;
    s = search(mid);
    if (s == 0) return found;
    if (s == 1) {
      hi = mid;
    } else {
      if (mid < lo + kTol) return found;
      lo = mid;
    }
  }
  OLVU_FATAL("Maximum iteration number exceeded in Octtree");
}

void OctTree::ClosestPointToOne(const ReaVec& p, ReaVecContainer** list, int capacity, double radius,
                                const ReaVec* origin, const ReaVec* direction) {
  ReaVecContainer* one[1];
  double r = radius > 0 ? radius : 1;
  int n = 0;
  while ((n = 0, AddClosePointsToList(p, one, n, 1, r, origin, direction) == -1) && r > kTol) r /= 2;
  if (r < kTol) OLVU_FATAL("Radius<MinDiference in OctTree");
  int res;
  do {
    r *= 1.1;
    n = 0;
    res = AddClosePointsToList(p, list, n, capacity, r, origin, direction);
  } while (res != -1 && r < 1e100);
  if (n == 0) {  // an empty tree leaves nothing to choose
    if (capacity > 0) list[0] = nullptr;
    return;
  }
  int best = 0;
  double bd = 1e300;
  for (int k = 0; k < n; ++k) {
    const double dx = C(*list[k]->point, 0) - C(p, 0), dy = C(*list[k]->point, 1) - C(p, 1);
    const double d = dx * dx + dy * dy;
    if (d < bd) bd = d, best = k;
  }
  list[0] = list[best];
}

int OctTree::AddClosePointsToList(const ReaVec& p, const ReaVec& normal, double offset, ReaVecContainer** list,
                                  int capacity, double inner, double outer, double threshold) {
  int m = 0;
  auto shell = [&](auto& self, OctTree* node) -> int {
    if (node->count == -1) {
      for (int i : kSearchOrder)
        if (node->OctantMeets(i, p, outer) && self(self, node->children[i]) == -1) return -1;
      return 0;
    }
    if (inner > 0) {
      const double lo[3] = {node->xmin, node->ymin, node->zmin}, hi[3] = {node->xmax, node->ymax, node->zmax};
      bool within = true;  // the leaf was searched by an earlier shell
      for (int k = 0; k < 3 && within; ++k)
        within = lo[k] + kTol <= C(p, k) + inner && hi[k] - kTol >= C(p, k) - inner;
      if (within) return 0;
    }
    for (int k = 0; k < node->count; ++k) {
      const ReaVec& q = *node->points[k]->point;
      double s = offset;
      for (int a = 0; a < 3; ++a) s += C(normal, a) * C(q, a);
      if (!(s > threshold)) continue;
      if (m == capacity) return -1;
      list[m++] = node->points[k];
    }
    return 0;
  };
  return shell(shell, this) == -1 ? -1 : m;
}

int OctTree::AddClosePointsToList(const ReaVec& p, const ReaVec& normal, ReaVecContainer** list, int capacity,
                                  int wanted, double radius, double threshold, double offset) {
  OctTree* node = this;
  while (node->count == -1) {
    int meets = 0, which = 0;
    for (int i = 0; i < 8; ++i)
      if (node->OctantMeets(i, p, radius)) ++meets, which = i;
    if (meets != 1) break;
    node = node->children[which];
  }
  if (node->count != -1) return node->AddClosePointsToList(p, normal, offset, list, capacity, -1, radius, threshold);
  const double width = radius / 5;
  int total = 0;
  for (double inner = -1, outer = width;;) {
    const int k = node->AddClosePointsToList(p, normal, offset, list + total, capacity - total, inner, outer, threshold);
    if (k == -1) return -1;
    total += k;
    if (total >= wanted) return total;
    const double next = outer + width;
    if (next > radius + kTol) return total;
    inner = outer, outer = next;
  }
}

ReaVecContainer* OctTree::Nearest(const double* p, double& d2, double bound) {
  ReaVecContainer* best = nullptr;
  if (count != -1) {
    for (int k = 0; k < count; ++k) {
      const double* q = points[k]->point->GivePointer();
      const double dx = q[0] - p[0], dy = q[1] - p[1], dz = q[2] - p[2];
      const double d = dx * dx + dy * dy + dz * dz;
      if (!best || d <= d2) best = points[k], d2 = d;  // the later of equal points
    }
    return best;
  }
  // Children in order, the earlier of equal answers kept; a child whose box lies farther than
  // the best so far cannot hold a point as near.
  for (OctTree* c : children) {
    const double limit = best ? std::min(bound, d2) : bound;
    if (c->BoxDist2(p) > limit) continue;
    double cd = 0;
    ReaVecContainer* r = c->Nearest(p, cd, limit);
    if (r && (!best || cd < d2)) best = r, d2 = cd;
  }
  return best;
}

ReaVecContainer* OctTree::VeryClose(const double* p, double& d2, int verify, ReaVecContainer*& cand, double& cd2) {
  if (count != -1) {
    cand = Nearest(p, cd2, 1e300);
  } else {
    const int oct = Octant(p);
    ReaVecContainer* octCand = nullptr;
    double octD = 1e300;
    if (ReaVecContainer* r = children[oct]->VeryClose(p, d2, 1, octCand, octD)) {
      cand = r, cd2 = d2;
      return r;
    }
    // The octant's candidate is the nearest of its subtree; the others are searched against it.
    cand = nullptr;
    for (int i = 0; i < 8; ++i) {
      ReaVecContainer* r = nullptr;
      double d = 0;
      if (i == oct) {
        r = octCand, d = octD;
      } else {
        const double limit = std::min(octCand ? octD : 1e300, cand ? cd2 : 1e300);
        if (children[i]->BoxDist2(p) > limit) continue;
        r = children[i]->Nearest(p, d, limit);
      }
      if (r && (!cand || d < cd2)) cand = r, cd2 = d;
    }
  }
  if (!cand) return nullptr;
  d2 = cd2;
  if (verify && father) {
    const double r = std::sqrt(cd2);
    const double lo[3] = {xmin, ymin, zmin}, hi[3] = {xmax, ymax, zmax};
    for (int k = 0; k < 3; ++k)
      if (hi[k] - lo[k] < kTol || !(lo[k] < p[k] - r && p[k] + r < hi[k])) return nullptr;
  }
  return cand;
}

ReaVecContainer* OctTree::GiveVeryClose(const ReaVec& p, double& d2, int verify) {
  const double xyz[3] = {C(p, 0), C(p, 1), C(p, 2)};
  ReaVecContainer* cand = nullptr;
  double cd2 = 0;
  return VeryClose(xyz, d2, verify, cand, cd2);
}

int OctTree::GiveOcttreePointList(const ReaVecContainer* p, ReaVecContainer** list, int& n, int capacity) {
  if (n >= capacity) return 1;
  if (count > 0) {
    for (int k = 0; k < count; ++k) {
      if (n >= capacity) return 1;
      list[n++] = points[k];
    }
    return -1;
  }
  if (count == -1) {
    children[ChooseOctant(p)]->GiveOcttreePointList(p, list, n, capacity);
    return 0;
  }
  if (!father) OLVU_FATAL("Void Octtree found in GiveOcttreePointList");
  for (OctTree* s : father->children)
    if (s->count != 0) s->GiveOcttreePointList(p, list, n, capacity);
  return 0;
}

int OctTree::GiveOcttreePointList(const ReaVec& p, ReaVecContainer** list, int capacity) {
  ReaVecContainer probe(const_cast<ReaVec*>(&p));
  int n = 0;
  GiveOcttreePointList(&probe, list, n, capacity);
  return n;
}

template <class Match>
int OctTree::TakeOut(const ReaVec& p, Match match) {
  if (count != -1) {
    for (int k = 0; k < count; ++k)
      if (match(points[k])) {
        std::copy(points + k + 1, points + count, points + k);
        points[--count] = nullptr;
        return 0;
      }
    return 1;
  }
  const int oct = ChooseOctant(p);
  if (children[oct]->TakeOut(p, match) == 0) return 0;
  for (int i = 0; i < 8; ++i)
    if (i != oct && children[i]->TakeOut(p, match) == 0) return 0;
  return 1;
}

int OctTree::TakeRVOut(ReaVecContainer* h) {
  return TakeOut(*h->point, [h](const ReaVecContainer* x) { return x == h; });
}

int OctTree::TakeRVOut(const ReaVec* point) {
  return TakeOut(*point, [point](const ReaVecContainer* x) { return x->point == point; });
}

void OctTree::PrintInfo(std::ostream& out, int level) {
  for (int k = 1; k < level; ++k) out << "***";
  out << " Octree level=" << level << " size: " << "Xmin=" << xmin << " Xmax=" << xmax << " Ymin=" << ymin
      << " Ymax=" << ymax << " Zmin=" << zmin << " Zmax=" << zmax;
  if (count > 0) {
    out << " NumPoints=" << count << " entities: \n";
  } else if (count == 0) {
    out << " -No points-\n";
  } else {
    out << "\n";
    for (OctTree* c : children) c->PrintInfo(out, level + 1);
  }
}
