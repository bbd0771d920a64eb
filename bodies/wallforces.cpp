// The applied wall law and the forces on the bodies: the wall-law friction and outflow stresses
// of the body sets in the momentum system, the wall values of the turbulence variables, the
// wall stress and velocity gradient of a node, the nodal wall loads, the hydrostatic pressure
// field and the force line.
#include <cmath>

#include "bodies/bodymesh.h"
#include "bodies/bodyparts.h"
#include "domain/fluiddomain.h"
#include "flow/turbulence.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/matrix.h"
#include "foundation/threads.h"
#include "mesh/elem.h"
#include "solvers/sparsematrix.h"

namespace {

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
  ReaVec& pl = wallLoad_;
  pl.resize(unsigned(numNodes), 0.0);
  pl = 0.0;
  BodyNormalCache& normals = BodyParts::Of(*this).Normals();
  normals.Current(*this);
  // Only body nodes are written below: the traction needs clearing only when the body nodes or
  // the vectors' size changed.
  if (tractionStamp_ != normals.Stamp() || traction_[0].length() != unsigned(numNodes)) {
    for (ReaVec& t : traction_) t.resize(unsigned(numNodes), 0.0), t = 0.0;
    tractionStamp_ = normals.Stamp();
  }
  if (bodyMeshes_.count == 0) return;
  normals.TakeEntries(normals_, false);  // a body node without a normal ends the run here
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
        WallStress(s, j, normals.Normal(j), t);
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
  if (!Solves(PPressure)) return hydrostatic_;
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

// ---------------------------------------------------------------- the applied wall law

void FluidDomain::BodyWallTerms(ReaVec& bx, ReaVec& by, ReaVec& bz) {
  if (vars_[WallFactor].length()) vars_[WallFactor] = 0.0;
  if (bodyMeshes_.count == 0) return;
  ReaVec& a = Nodal(work_.wallFriction);
  a = 0.0;
  ReaVec* u[3] = {&vars_[VelX], &vars_[VelY], &vars_[VelZ]};
  ReaVec rel[3];
  if (Solves(PMeshDeform) && vars_[MeshX].length())
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
  ReaVec& diag = Nodal(work_.wallDiagonal);
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
    ReaVec* s[3] = {&Nodal(work_.outflowStress[0]), &Nodal(work_.outflowStress[1]), &Nodal(work_.outflowStress[2])};
    for (ReaVec* v : s) *v = 0.0;
    int i = 0;
    while (Node* nd = m->giveNextNode(i)) {
      const int j = nd->num[kind_];
      double t[3];
      CalculateStresses(j, t[0], t[1], t[2]);
      const ReaVec& n = *normals_.get_at(j);
      const double pn = n(1) * t[0] + n(2) * t[1] + n(3) * t[2];
      if (vars_[Pres].length()) vars_[Pres](unsigned(j)) = pn;
      if (PreviousPressure().length()) PreviousPressure()(unsigned(j)) = pn;
      for (int c = 0; c < 3; ++c) (*s[c])(unsigned(j)) = t[c];
    }
    m->addBodyIntegral(*s[0], bx);
    m->addBodyIntegral(*s[1], by);
    m->addBodyIntegral(*s[2], bz);
  }
}

void FluidDomain::CalculateWallLaw() {
  // u* = sqrt(wall stress): the wall-law coefficient is the stress over the speed.
  ReaVec& ustar = Nodal(work_.frictionVelocity);
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

// ---------------------------------------------------------------- force line

void FluidDomain::OutputForces(std::ostream& out) {
  if (!Solves(PVelocity) || !Solves(PPressure)) return;
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) m->OutputForces(&out);
}
