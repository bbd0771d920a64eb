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

}  // namespace

void FluidDomain::CheckBoundaryConditions() {
  std::vector<int> listF, listN, listD, listDN;
  BitVec& normal = conds_[NormalVelNodes];
  BitVec& line = conds_[LineVelNodes];
  auto vec = [](Plex<ReaVec>& t, int n, double* out) {
    const ReaVec& v = *t.get_at(n);
    for (int k = 0; k < 3; ++k) out[k] = v(unsigned(k + 1));
  };
  for (int n = 1; n <= numNodes; ++n) {
    const unsigned i = unsigned(n);
    const int global = toGlobal_(i);
    bool f[3];
    double u[3], nrm[3] = {0, 0, 0}, d[3] = {0, 0, 0}, vn = 0;
    for (int k = 0; k < 3; ++k) f[k] = Marked(FixVelX + k, n), u[k] = vars_[VelX + k](i);
    const bool inN = Marked(NormalVelNodes, n), inL = Marked(LineVelNodes, n);
    if (inN) vec(normals_, n, nrm), vn = normalVelocity_[std::size_t(n)];
    if (inL) vec(velocityLine_, n, d);
    const bool field = Marked(FieldVelX, n) || Marked(FieldVelY, n) || Marked(FieldVelZ, n);
    const int fixedCount = int(f[0]) + int(f[1]) + int(f[2]);

    if (field && (inN || inL)) {
      listF.push_back(global);
    } else if (fixedCount == 3) {
      if (inN) {
        normal.assign(i, 0);
        if (!Agrees(Dot(u, nrm), vn)) listN.push_back(global);
      }
      if (inL) {
        line.assign(i, 0);
        const double s = Dot(u, d);
        if (!Agrees(std::sqrt(Dot(u, u)), s)) listD.push_back(global);
      }
    } else if (inN && inL) {
      normal.assign(i, 0);
      if (Dot(nrm, d) > 0.975) {
        line.assign(i, 0);
        f[0] = f[1] = f[2] = true;
        for (int k = 0; k < 3; ++k) u[k] = vn * nrm[k];
      } else if (vn == 0) {
        listDN.push_back(global);
      }
    } else if (fixedCount == 2 && (inN || inL)) {
      // The two fixed components and the condition settle the third, or contradict each other.
      const int free = !f[0] ? 0 : !f[1] ? 1 : 2;
      if (inN) {
        normal.assign(i, 0);
        double fixedPart = 0;
        for (int k = 0; k < 3; ++k)
          if (k != free) fixedPart += nrm[k] * u[k];
        if (std::fabs(nrm[free]) > 0.05) {
          u[free] = (vn - fixedPart) / nrm[free];
          f[free] = true;
        } else if (!(Agrees(fixedPart, vn) || std::fabs(fixedPart - vn) <= 1e-6)) {
          listN.push_back(global);
        }
      } else {
        line.assign(i, 0);
        double scale = 0;
        bool known = false, clash = false;
        for (int k = 0; k < 3; ++k) {
          if (k == free) continue;
          if (std::fabs(d[k]) > 0.05) {
            const double r = u[k] / d[k];
            if (known && !Agrees(r, scale)) clash = true;
            scale = known ? scale : r;
            known = true;
          } else if (u[k] != 0) {
            clash = true;
          }
        }
        if (clash) {
          listD.push_back(global);
        } else if (known) {
          for (int k = 0; k < 3; ++k) u[k] = d[k] * scale;
          f[0] = f[1] = f[2] = true;
        }
      }
    } else {
      for (int k = 0; k < 3; ++k) {
        if (!f[k]) continue;
        if (Marked(NormalVelNodes, n) && std::fabs(nrm[k]) > 0.975) {
          if (!Agrees(nrm[k] * u[k], vn)) listN.push_back(global);
          normal.assign(i, 0);
          u[k] = vn;
        } else if (Marked(LineVelNodes, n)) {
          const double a = std::fabs(d[k]);
          if (a > 0.975) {
            line.assign(i, 0);
          } else if (a > 0.05) {
            const double scale = u[k] / d[k];
            for (int c = 0; c < 3; ++c) u[c] = d[c] * scale;
            f[0] = f[1] = f[2] = true;
            line.assign(i, 0);
          } else if (u[k] != 0) {
            listD.push_back(global);
            line.assign(i, 0);
          }
        }
      }
    }
    for (int k = 0; k < 3; ++k) {
      conds_[FixVelX + k].assign(i, f[k] ? 1 : 0);
      if (f[k]) vars_[VelX + k](i) = u[k];
    }
  }

  for (int n = 1; n <= numNodes; ++n) {
    const unsigned i = unsigned(n);
    double u[3], v[3];
    for (int k = 0; k < 3; ++k) u[k] = vars_[VelX + k](i);
    if (Marked(LineVelNodes, n)) {
      double d[3];
      vec(velocityLine_, n, d);
      const double s = Dot(d, u);
      for (int k = 0; k < 3; ++k) v[k] = d[k] * s;
    } else if (Marked(NormalVelNodes, n)) {
      double nrm[3];
      vec(normals_, n, nrm);
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

  if (!listF.empty())
    OLVU_WARNING(3, "Velocity Field and Fix Velocity Direction or Fix Velocity Component condition found."
                        << "\n\tThis combination may cause problems.\n\tList of nodes is:\n\t" << NodeList(listF));
  if (!listN.empty())
    OLVU_WARNING(3, "Not compatible Fix Velocity Component and Fix Velocity conditions found."
                        << "\n\tFirst condition will be ignored. Check boundary conditions.\n\tList of nodes is:\n\t"
                        << NodeList(listN));
  if (!listD.empty())
    OLVU_WARNING(3, "Not compatible Fix Velocity Direction and Fix Velocity conditions found.\n\t"
                        << "First condition will be ignored. Check boundary conditions.\n\tList of nodes is:\n\t"
                        << NodeList(listD));
  if (!listDN.empty())
    OLVU_WARNING(3, "Not compatible Fix Velocity Direction and Fix Velocity Component conditions found.\n\t"
                        << "First condition will be ignored. Check boundary conditions.\n\tList of nodes is:\n\t"
                        << NodeList(listDN));
}
