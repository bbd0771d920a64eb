// Reconciliation of overlapping velocity conditions: fixed components, prescribed normal
// velocity and prescribed direction, with the warnings that list the nodes in conflict.
#include <cmath>
#include <sstream>
#include <vector>

#include "domain/fluiddomain.h"
#include "foundation/error.h"

namespace {

// The node numbers of a conflict warning: each followed by a tab, a new line before every 12th.
std::string NodeList(const std::vector<int>& nodes) {
  std::ostringstream s;
  for (std::size_t k = 0; k < nodes.size(); ++k) {
    if ((k + 1) % 12 == 0) s << "\n\t";
    s << nodes[k] << "\t";
  }
  return s.str();
}

double Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// |x - target| within 5 % of |target| (bands compare with the magnitude, so a negative target
// does not invert them).
bool Agrees(double x, double target) { return std::fabs(x - target) <= 0.05 * std::fabs(target); }

// The three components of entry n of a table of directions.
void Components(Plex<ReaVec>& t, int n, double* out) {
  const ReaVec& v = *t.get_at(n);
  for (int k = 0; k < 3; ++k) out[k] = v(unsigned(k + 1));
}

// One node's velocity conditions while they are settled: which components are fixed (f), its
// velocity (u), whether it has a velocity field condition, and its surface normal with the
// normal velocity (when `normal`) and its direction (when `line`).
struct NodeVelocity {
  int global = 0;  // problem-wide number, as the lists give it
  bool f[3] = {false, false, false};
  double u[3] = {0, 0, 0};
  bool field = false, normal = false, line = false;
  double nrm[3] = {0, 0, 0}, vn = 0;
  double d[3] = {0, 0, 0};
  int FixedCount() const { return int(f[0]) + int(f[1]) + int(f[2]); }
};

// Settles the overlapping velocity conditions of one node after the other, dropping the normal-
// velocity and direction conditions that the fixed components settle or contradict, and lists
// the nodes in conflict: velocity field with a direction or normal velocity (F), normal velocity
// against fixed components (N), direction against fixed components (D), direction against the
// normal velocity (DN).
class VelocityConflicts {
 public:
  VelocityConflicts(BitVec& normal, BitVec& line) : normal_(normal), line_(line) {}

  // The conditions of node i: the changes go to c and to the normal-velocity and direction sets.
  void Settle(unsigned i, NodeVelocity& c) {
    if (c.field && (c.normal || c.line)) {
      listF_.push_back(c.global);
    } else if (c.FixedCount() == 3) {
      AllFixed(i, c);
    } else if (c.normal && c.line) {
      NormalAndLine(i, c);
    } else if (c.FixedCount() == 2 && c.normal) {
      TwoFixedWithNormal(i, c);
    } else if (c.FixedCount() == 2 && c.line) {
      TwoFixedWithLine(i, c);
    } else {
      EachFixedComponent(i, c);
    }
  }

  // The warnings of the lists that are not empty.
  void Warn() const {
    if (!listF_.empty())
      OLVU_WARNING(3, "Velocity Field and Fix Velocity Direction or Fix Velocity Component condition found."
                          << "\n\tThis combination may cause problems.\n\tList of nodes is:\n\t" << NodeList(listF_));
    if (!listN_.empty())
      OLVU_WARNING(3, "Not compatible Fix Velocity Component and Fix Velocity conditions found."
                          << "\n\tFirst condition will be ignored. Check boundary conditions.\n\tList of nodes is:\n\t"
                          << NodeList(listN_));
    if (!listD_.empty())
      OLVU_WARNING(3, "Not compatible Fix Velocity Direction and Fix Velocity conditions found.\n\t"
                          << "First condition will be ignored. Check boundary conditions.\n\tList of nodes is:\n\t"
                          << NodeList(listD_));
    if (!listDN_.empty())
      OLVU_WARNING(3, "Not compatible Fix Velocity Direction and Fix Velocity Component conditions found.\n\t"
                          << "First condition will be ignored. Check boundary conditions.\n\tList of nodes is:\n\t"
                          << NodeList(listDN_));
  }

 private:
  static bool In(const BitVec& b, unsigned i) { return i >= 1 && i <= b.length() && b(i); }

  // Every component fixed: the other conditions go, listed when the fixed velocity breaks them.
  void AllFixed(unsigned i, const NodeVelocity& c) {
    if (c.normal) {
      normal_.assign(i, 0);
      if (!Agrees(Dot(c.u, c.nrm), c.vn)) listN_.push_back(c.global);
    }
    if (c.line) {
      line_.assign(i, 0);
      const double s = Dot(c.u, c.d);
      if (!Agrees(std::sqrt(Dot(c.u, c.u)), s)) listD_.push_back(c.global);
    }
  }

  // A normal velocity and a direction: along the normal they fix the velocity; otherwise the
  // direction stays, listed when the normal velocity is 0.
  void NormalAndLine(unsigned i, NodeVelocity& c) {
    normal_.assign(i, 0);
    if (Dot(c.nrm, c.d) > 0.975) {
      line_.assign(i, 0);
      c.f[0] = c.f[1] = c.f[2] = true;
      for (int k = 0; k < 3; ++k) c.u[k] = c.vn * c.nrm[k];
    } else if (c.vn == 0) {
      listDN_.push_back(c.global);
    }
  }

  // Two fixed components and a normal velocity settle the third, or contradict each other.
  void TwoFixedWithNormal(unsigned i, NodeVelocity& c) {
    const int free = !c.f[0] ? 0 : !c.f[1] ? 1 : 2;
    normal_.assign(i, 0);
    double fixedPart = 0;
    for (int k = 0; k < 3; ++k)
      if (k != free) fixedPart += c.nrm[k] * c.u[k];
    if (std::fabs(c.nrm[free]) > 0.05) {
      c.u[free] = (c.vn - fixedPart) / c.nrm[free];
      c.f[free] = true;
    } else if (!(Agrees(fixedPart, c.vn) || std::fabs(fixedPart - c.vn) <= 1e-6)) {
      listN_.push_back(c.global);
    }
  }

  // Two fixed components and a direction settle the third, or contradict each other.
  void TwoFixedWithLine(unsigned i, NodeVelocity& c) {
    const int free = !c.f[0] ? 0 : !c.f[1] ? 1 : 2;
    line_.assign(i, 0);
    double scale = 0;
    bool known = false, clash = false;
    for (int k = 0; k < 3; ++k) {
      if (k == free) continue;
      if (std::fabs(c.d[k]) > 0.05) {
        const double r = c.u[k] / c.d[k];
        if (known && !Agrees(r, scale)) clash = true;
        scale = known ? scale : r;
        known = true;
      } else if (c.u[k] != 0) {
        clash = true;
      }
    }
    if (clash) {
      listD_.push_back(c.global);
    } else if (known) {
      for (int k = 0; k < 3; ++k) c.u[k] = c.d[k] * scale;
      c.f[0] = c.f[1] = c.f[2] = true;
    }
  }

  // At most one fixed component (or two without a condition): each fixed component against the
  // normal velocity along its axis, or against the direction.
  void EachFixedComponent(unsigned i, NodeVelocity& c) {
    for (int k = 0; k < 3; ++k) {
      if (!c.f[k]) continue;
      if (In(normal_, i) && std::fabs(c.nrm[k]) > 0.975) {
        if (!Agrees(c.nrm[k] * c.u[k], c.vn)) listN_.push_back(c.global);
        normal_.assign(i, 0);
        c.u[k] = c.vn;
      } else if (In(line_, i)) {
        const double a = std::fabs(c.d[k]);
        if (a > 0.975) {
          line_.assign(i, 0);
        } else if (a > 0.05) {
          const double scale = c.u[k] / c.d[k];
          for (int j = 0; j < 3; ++j) c.u[j] = c.d[j] * scale;
          c.f[0] = c.f[1] = c.f[2] = true;
          line_.assign(i, 0);
        } else if (c.u[k] != 0) {
          listD_.push_back(c.global);
          line_.assign(i, 0);
        }
      }
    }
  }

  BitVec &normal_, &line_;
  std::vector<int> listF_, listN_, listD_, listDN_;
};

}  // namespace

void FluidDomain::CheckBoundaryConditions() {
  VelocityConflicts conflicts(conds_[NormalVelNodes], conds_[LineVelNodes]);
  for (int n = 1; n <= numNodes; ++n) {
    const unsigned i = unsigned(n);
    NodeVelocity c;
    c.global = toGlobal_(i);
    for (int k = 0; k < 3; ++k) c.f[k] = Marked(FixVelX + k, n), c.u[k] = vars_[VelX + k](i);
    c.field = Marked(FieldVelX, n) || Marked(FieldVelY, n) || Marked(FieldVelZ, n);
    c.normal = Marked(NormalVelNodes, n), c.line = Marked(LineVelNodes, n);
    if (c.normal) Components(normals_, n, c.nrm), c.vn = normalVelocity_[std::size_t(n)];
    if (c.line) Components(velocityLine_, n, c.d);
    conflicts.Settle(i, c);
    for (int k = 0; k < 3; ++k) {
      conds_[FixVelX + k].assign(i, c.f[k] ? 1 : 0);
      if (c.f[k]) vars_[VelX + k](i) = c.u[k];
    }
  }

  // Every node that keeps a direction starts along it, every node that keeps a normal velocity
  // with it, in its free components.
  for (int n = 1; n <= numNodes; ++n) {
    const unsigned i = unsigned(n);
    double u[3], v[3];
    for (int k = 0; k < 3; ++k) u[k] = vars_[VelX + k](i);
    if (Marked(LineVelNodes, n)) {
      double d[3];
      Components(velocityLine_, n, d);
      const double s = Dot(d, u);
      for (int k = 0; k < 3; ++k) v[k] = d[k] * s;
    } else if (Marked(NormalVelNodes, n)) {
      double nrm[3];
      Components(normals_, n, nrm);
      const double delta = normalVelocity_[std::size_t(n)] - Dot(nrm, u);
      for (int k = 0; k < 3; ++k) v[k] = u[k] + nrm[k] * delta;
    } else {
      continue;
    }
    for (int k = 0; k < 3; ++k)
      if (!Marked(FixVelX + k, n)) {
        vars_[VelX + k](i) = v[k];
        if (vars_[VelX0 + k].length() >= i) vars_[VelX0 + k](i) = v[k];
      }
  }
  conflicts.Warn();
}
