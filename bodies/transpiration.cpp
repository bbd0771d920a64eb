// The transpiration velocity of the free-surface nodes: the flux of the fluid through each node's
// share of the surface, taken from the same discrete continuity equation the pressure solve
// enforces, over the node's surface mass.
//
// The nodal vertical velocity of a surface node answers the momentum equation at that node alone,
// while the pressure solve balances the mass of every node below the surface. The two part most
// at a wall node, where the horizontal velocity is held and few elements meet (up to a tenth of
// the largest flux on a 41 x 11 tank): there the surface rose by a volume the fluid never delivered,
// and since the elevation sets the pressure of the next step, that node fed short waves that grew.
// With the flux below the wave's potential energy changes by exactly the work of the surface
// pressure on the fluid, less the dissipation of the pressure stabilisation, and the water's
// volume is kept: the surface cannot gain energy from the discretisation.
//
// For surface node j, with G_c(i, j) the integral of N_i dN_j/dx_c, L the Laplacian, tau the
// pressure parameter and pi_c = m^-1 G_c p the projected pressure gradient, v the vertical:
//   flux_j = (G_v^T w)_j - sum over horizontal c of (G_c u_c)_j - tau_j ((L p)_j - (G^T pi)_j).
// The first two terms are the flux of w through the surface (the integral of N_j w n_v) less the
// node's discrete divergence, the third the divergence the pressure equation asks of the node
// (without G^T pi under the second-order pressure stabilisation). The horizontal flux through
// vertical walls and open ends takes no part.
#include <cmath>

#include "bodies/freesmesh.h"
#include "domain/fluiddomain.h"
#include "foundation/declarations.h"
#include "foundation/threads.h"
#include "solvers/sparsematrix.h"

void FreeSMesh::FluxTables() {
  FluidDomain& d = *domain_;
  SystemSparseMatrix* G = d.SystemMatrix(2);
  const unsigned n = m_.length();
  fluxStart_.assign(n + 1, 0);
  fluxCol_.clear(), fluxPos_.clear(), fluxTpos_.clear(), fluxNear_.clear(), nearRows_.clear();
  if (!G) return;
  const int* rp = G->row_ptr(0);
  const int* ci = G->col_ind(0);
  std::vector<int> slot(std::size_t(d.numNodes), -1);
  for (unsigned k = 1; k <= n; ++k) {
    const int row = toDomain_(k) - 1;
    for (int q = rp[row]; q < rp[row + 1]; ++q) {
      const int i = ci[q];
      if (slot[std::size_t(i)] < 0) slot[std::size_t(i)] = int(nearRows_.size()), nearRows_.push_back(i);
      fluxCol_.push_back(i);
      fluxPos_.push_back(q);
      fluxTpos_.push_back(G->position(i, row));  // the pattern is structurally symmetric
      fluxNear_.push_back(slot[std::size_t(i)]);
    }
    fluxStart_[k] = int(fluxCol_.size());
  }
  nearPi_.assign(3 * nearRows_.size(), 0.0);
  fluxStamp_ = d.TopologyStamp();
}

void FreeSMesh::AddSurfaceMass(ReaVec& mass) const {
  for (unsigned k = 1; k <= m_.length(); ++k) mass(unsigned(toDomain_(k))) += m_(k);
}

void FreeSMesh::TranspirationVelocity(const ReaVec& mass, ReaVec& w, bool startOfStep) {
  FluidDomain& d = *domain_;
  if (fluxStamp_ != d.TopologyStamp() || fluxStart_.size() != m_.length() + 1) FluxTables();
  if (!d.SystemMatrix(2)) return;
  const int dims = Dimension_Olvu == 3 ? 3 : 2, up = dims - 1;
  const double* g[3] = {d.SystemMatrix(2)->val(0), d.SystemMatrix(3)->val(0),
                        dims == 3 ? d.SystemMatrix(4)->val(0) : nullptr};
  const int v0 = startOfStep ? VelX0 : VelX;
  const double* u[3] = {d.Var(v0).GivePointer(), d.Var(v0 + 1).GivePointer(), d.Var(v0 + 2).GivePointer()};
  const ReaVec& tauP = d.Var(TauEq);
  const ReaVec& pres = d.Var(Pres);
  const bool stabilised = d.Solves(PPressure) && tauP.length() && pres.length() && d.Laplacian();
  const bool projected = stabilised && d.StabOrder(1) != 0;
  const double* p = stabilised ? pres.GivePointer() : nullptr;
  const double* tau = stabilised ? tauP.GivePointer() : nullptr;
  // The projected pressure gradient at the surface rows' neighbours.
  if (projected) {
    const int* rp = d.SystemMatrix(2)->row_ptr(0);
    const int* ci = d.SystemMatrix(2)->col_ind(0);
    const double* im = d.InvLumpedMass().GivePointer();
    const int* rows = nearRows_.data();
    double* pi = nearPi_.data();
    ParallelFor(nearRows_.size(), [=](std::size_t s) {
      const int i = rows[s];
      double a[3] = {0, 0, 0};
      for (int q = rp[i]; q < rp[i + 1]; ++q)
        for (int c = 0; c < dims; ++c) a[c] += g[c][q] * p[ci[q]];
      for (int c = 0; c < 3; ++c) pi[3 * s + std::size_t(c)] = a[c] * im[i];
    });
  }
  const int* fp = stabilised ? d.Laplacian()->full_pos() : nullptr;
  const double* lv = stabilised ? d.Laplacian()->sval(0) : nullptr;
  const int *start = fluxStart_.data(), *col = fluxCol_.data(), *pos = fluxPos_.data(), *tpos = fluxTpos_.data();
  const int* near = fluxNear_.data();
  const double* pi = nearPi_.data();
  const int* toDomain = m_.length() ? &toDomain_[0] : nullptr;
  const double* ms = mass.GivePointer();
  double* out = w.GivePointer();
  ParallelFor(m_.length(), [=](std::size_t k) {
    double flux = 0, lp = 0, gpi = 0;
    for (int e = start[k]; e < start[k + 1]; ++e) {
      const int i = col[e], q = pos[e], t = tpos[e];
      flux += g[up][t] * u[up][i];
      for (int c = 0; c < up; ++c) flux -= g[c][q] * u[c][i];
      if (!stabilised) continue;
      lp += lv[fp[q]] * p[i];
      if (projected)
        for (int c = 0; c < dims; ++c) gpi += g[c][t] * pi[3 * std::size_t(near[e]) + std::size_t(c)];
    }
    const int row = toDomain[k] - 1;
    if (stabilised) flux -= tau[row] * (lp - gpi);
    out[row] = flux / ms[row];
  });
}
