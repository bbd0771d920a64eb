// The body part of the fluid domain's utilities: the outward normals of the body nodes with
// their sharp-edge and crease detection, the wall stress and velocity gradient of a node, the
// nodal wall loads of the body sets and the hydrostatic pressure field.
#include <algorithm>
#include <cmath>

#include "bodies/bodymesh.h"
#include "domain/fluiddomain.h"
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
  if (bodyNodesStamp_ == GeometryStamp() && bodyNodesStamp_ != 0) return;
  bodyNodes_.clear();
  int b = 0;
  while (BodyMesh* m = giveNextBody(b))
    for (int j : m->Flat().nodes)
      if (j >= 1 && j <= numNodes) bodyNodes_.push_back(j);
  std::sort(bodyNodes_.begin(), bodyNodes_.end());
  bodyNodes_.erase(std::unique(bodyNodes_.begin(), bodyNodes_.end()), bodyNodes_.end());
  bodyNormal_.assign(3 * std::size_t(numNodes), 0.0);
  bodyNodesStamp_ = GeometryStamp();
  normalsMirrored_ = false;
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
  for (int j : bodyNodes_) {
    *normals_.get_at(j) = 0.0;
    double* N = &bodyNormal_[3 * std::size_t(j - 1)];
    N[0] = N[1] = N[2] = 0;
  }
  normalsMirrored_ = true;
}

void FluidDomain::NormaliseBodyNormals() {
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

// The shared walk of both dimensions over the set's flat arrays: per element its centre and
// normal, per node the convexity and angle tests that decide whether the element's normal is
// added to the node's flat normal N (3 per domain node), subtracted or left out.
template <int D, class Fix, class Sharp, class IsSharp, class Line>
void AccumulateNormals(FluidDomain& d, double* normals, Plex<ReaVec>& lines, BodyMesh* m, Fix fixLine,
                       Sharp markSharp, IsSharp isSharp, Line markLine) {
  const double cs = m->SharpAngle(), cl = m->LineAngle();
  const int lineFix = m->AutoLineFix();
  const BodyMesh::Arrays& f = m->Flat();
  const double* xyz = d.NodeCoordinates();
  const int nn = f.nnode, corners = f.corners;
  if (nn < 2 || corners < D || corners > nn) return;
  for (std::size_t e = 0; e < f.elems.size(); e += std::size_t(nn)) {
    const int* en = &f.elems[e];
    for (int k = 0; k < nn; ++k)
      if (en[k] < 1)
        OLVU_FATAL("Node of Body " << m->Name() << " is out of " << d.DomainName() << ".\n\t"
                                   << "Do not define Boundaries on these nodes\n");
    // The centre only serves the convexity test, which few nodes need.
    double xc[3] = {0, 0, 0};
    bool centred = false;
    auto centre = [&]() {
      if (centred) return;
      for (int k = 0; k < corners; ++k)
        for (int c = 0; c < 3; ++c) xc[c] += xyz[3 * std::size_t(en[k] - 1) + std::size_t(c)] / corners;
      centred = true;
    };
    const double* a = xyz + 3 * std::size_t(en[0] - 1);
    const double* b = xyz + 3 * std::size_t(en[1] - 1);
    double n[3], nh[3];
    if (D == 2) {
      const double t[2] = {a[0] - b[0], a[1] - b[1]};
      n[0] = t[1], n[1] = -t[0], n[2] = 0;
      const double len = Norm3(n);
      if (len < 1e-14) OLVU_FATAL("Null normal vector found. Check normal orientation in Body " << m->Name() << " geometry.\n");
      for (double& v : n) v /= len;
      for (int c = 0; c < 3; ++c) nh[c] = n[c];
    } else {
      const double* c3 = xyz + 3 * std::size_t(en[2] - 1);
      const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
      const double v[3] = {c3[0] - a[0], c3[1] - a[1], c3[2] - a[2]};
      Cross3(u, v, n);
      const double len = Norm3(n);
      if (len < 1e-14) OLVU_FATAL("Null normal vector found. Check normal orientation in Body " << m->Name() << " geometry.\n");
      for (int c = 0; c < 3; ++c) nh[c] = n[c] / len;
    }
    for (int k = 0; k < nn; ++k) {
      const int j = en[k];
      const double* x = xyz + 3 * std::size_t(j - 1);
      double* const stored = normals + 3 * std::size_t(j - 1);
      double N[3] = {stored[0], stored[1], stored[2]};  // worked on in registers, stored once
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
        centre();
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
          if (K < cs) sign = -1, markSharp(j);
        } else if (K < cl && lineFix) {
          if (D == 2) {
            fixLine(j);
            continue;
          }
          if (!isSharp(j) && cross >= 1e-14) {
            const double dir[3] = {pn[0] / cross, pn[1] / cross, pn[2] / cross};
            if (lines.free(j)) {
              lines.set_at(j, new ReaVec(3u, 0.0));
              markLine(j);
            }
            double* L = lines.get_at(j)->GivePointer();
            for (int c = 0; c < 3; ++c) L[c] += dir[c];
            const double ll = Norm3(L);
            if (ll >= 1e-14)
              for (int c = 0; c < 3; ++c) L[c] /= ll;
          }
        }
      }
      N[0] += sign * n[0], N[1] += sign * n[1], N[2] += sign * n[2];
      const double after = Norm3(N);
      if (D == 2) {
        if (after < 1e-14) {
          OLVU_WARNING(2, "Wrong normal vector:" << "\n\t Abnormal geometry definition for node " << d.ToGlobal()(unsigned(j))
                                                 << "\n\t Check surfaces orientation and swap normals");
          N[0] = n[0], N[1] = n[1], N[2] = n[2];
        }
      } else if (after >= 1e-14) {
        N[0] /= after, N[1] /= after, N[2] /= after;
      }
      stored[0] = N[0], stored[1] = N[1], stored[2] = N[2];
    }
  }
}

}  // namespace

void FluidDomain::PushBodyNormals() {
  for (int j : bodyNodes_) {
    if (normals_.free(j)) normals_.set_at(j, new ReaVec(3u, 0.0));
    ReaVec& v = *normals_.get_at(j);
    const double* N = &bodyNormal_[3 * std::size_t(j - 1)];
    for (unsigned c = 0; c < 3 && c < v.length(); ++c) v(c + 1) = N[c];
  }
}

void FluidDomain::CalcBodyNormals2D() {
  auto fixLine = [&](int j) {
    for (int c : {FixVelX, FixVelY, FixVelZ}) Mark(c, j);
    for (int v : {VelX, VelY, VelZ, VelX0, VelY0, VelZ0})
      if (int(vars_[v].length()) >= j) vars_[v](unsigned(j)) = 0;
  };
  auto markSharp = [&](int j) { Mark(RemoveCondNodes, j); };
  auto isSharp = [&](int j) { return Marked(RemoveCondNodes, j); };
  auto markLine = [&](int j) { Mark(LineVelNodes, j); };
  BodyNodesCurrent();
  if (!normalsMirrored_) PullBodyNormals(true);
  int b = 0;
  while (BodyMesh* m = giveNextBody(b))
    AccumulateNormals<2>(*this, bodyNormal_.data(), velocityLine_, m, fixLine, markSharp, isSharp, markLine);
  PushBodyNormals();
}

void FluidDomain::CalcBodyNormals3D() {
  auto fixLine = [](int) {};
  auto markSharp = [&](int j) { Mark(RemoveCondNodes, j); };
  auto isSharp = [&](int j) { return Marked(RemoveCondNodes, j); };
  auto markLine = [&](int j) { Mark(LineVelNodes, j); };
  BodyNodesCurrent();
  if (!normalsMirrored_) PullBodyNormals(true);
  int b = 0;
  while (BodyMesh* m = giveNextBody(b))
    AccumulateNormals<3>(*this, bodyNormal_.data(), velocityLine_, m, fixLine, markSharp, isSharp, markLine);
  PushBodyNormals();
}

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
  const bool sharpSized = sharp.length() == unsigned(numNodes);
  SystemSparseMatrix* const G[3] = {sys_[2], sys_[3], sys_[4]};
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) {
    const bool law = m->HasWallLaw() && GiveWallLawForces;
    const double* wallFactor = vars_[WallFactor].GivePointer();
    const double* u[3] = {vars_[VelX].GivePointer(), vars_[VelY].GivePointer(), vars_[VelZ].GivePointer()};
    const StressInputs s = law ? StressInputs{} : Stress(G, vars_, invLumped_);
    for (const int j : m->Flat().nodes) {
      if (j < 1 || j > numNodes)
        OLVU_FATAL("Node of Body " << m->Name() << " is out of " << DomainName() << ".\n\t"
                                   << "Do not define Boundaries on these nodes\n");
      const std::size_t i = std::size_t(j - 1);
      const double r = rho[i];
      // The solve keeps the pressure over the density; the loads are in pressure units.
      double q = pressure ? r * p[i] : 0.0;
      if (!totalPressure_) {
        const double* x = xyz + 3 * i;
        const double h = g[0] * (x[0] - o[0]) + g[1] * (x[1] - o[1]) + g[2] * (x[2] - o[2]);
        if (h > 0) q += r * h;
      }
      double t[3];
      if (law) {
        // The friction the law gives, with the sign of the stress branch below: the sums hold the
        // loads with the sign that the force table turns into the force on the body.
        const double a = -wallFactor[i] * r * (OldLawOfTheWall ? 0.6 : 1.0);
        for (int c = 0; c < 3; ++c) t[c] = a * u[c][i];
      } else {
        WallStress(s, j, &bodyNormal_[3 * i], t);
        for (double& v : t) v *= -r;
      }
      if (sharpSized && sharp(unsigned(j))) q = 0;
      load[i] = q;
      for (int c = 0; c < 3; ++c) T[c][i] = t[c];
    }
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
      rel[c].add_product(vars_[MeshX + c], -invDtTheta_);
      u[c] = &rel[c];
    }
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) m->solveWallLaw(*u[0], *u[1], *u[2], vars_[KVisc], a, vars_[WallFactor]);
  double* ap = a.GivePointer();
  ParallelFor(std::size_t(numNodes), [this, ap](std::size_t i) {
    const int k = int(i) + 1;
    if (Marked(FreeSurfNodes, k))
      ap[i] = 0;
    else if (Marked(SymmPlaneNodes, k))
      ap[i] *= 0.33;
  });
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
