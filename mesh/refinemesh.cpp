// Residual-based desired element size: nodal derivatives by the derivative matrices scaled with
// the inverse lumped mass, a global error target of 5 %, neighbourhood filling of nodes without
// an own estimate, clipping and mass-weighted smoothing.
#include "mesh/refinemesh.h"

#include <algorithm>
#include <cmath>

#include "foundation/clock.h"
#include "foundation/error.h"
#include "input/units.h"
#include "solvers/sparsematrix.h"

namespace {

using Vec = std::vector<double>;

/// Entries of an optional field (zeros when absent).
Vec Field(const ReaVec* v, int n) {
  Vec out(n, 0.0);
  if (v) std::copy(v->GivePointer(), v->GivePointer() + std::min<unsigned>(n, v->length()), out.begin());
  return out;
}

bool Bit(const BitVec* b, int i) { return b && static_cast<unsigned>(i) < b->length() && (*b)[i]; }

/// The node of each pattern row.
std::vector<const Node*> RowNodes(const DesiredSizeFields& f, int n) {
  std::vector<const Node*> row(n, nullptr);
  int i = 0;
  for (Node* nd = f.nodes->next(i); nd; nd = f.nodes->next(i)) {
    const int k = nd->num[f.slot];
    if (k >= 1 && k <= n) row[k - 1] = nd;
  }
  for (int k = 0; k < n; ++k)
    if (!row[k]) OLVU_FATAL("Do not exist index " << k + 1 << " in Plex " << f.nodes->name << "\n");
  return row;
}

/// Mean edge length of every node over the mass matrix's rows; a node of no edge takes its
/// element size.
Vec MeanEdgeLength(const DesiredSizeFields& f, int n, const Vec& h) {
  const std::vector<const Node*> node = RowNodes(f, n);
  const int* rp = f.M->full_row_ptr();
  const int* ci = f.M->full_col_ind();
  Vec h0(n, 0.0);
  for (int i = 0; i < n; ++i) {
    double sum = 0;
    int count = 0;
    for (int k = rp[i]; k < rp[i + 1]; ++k)
      if (ci[k] != i) sum += std::sqrt(dist2(node[i], node[ci[k]])), ++count;
    h0[i] = count ? sum / count : h[i];
  }
  return h0;
}

/// The solution the estimator reads, node by node (zeros for a field that is absent, and for
/// the z components in two dimensions), and the inverse lumped mass w.
struct Solution {
  Vec v[3], v0[3];  ///< velocity and previous-step velocity
  Vec vs, dn, pr;   ///< viscosity, density, pressure
  Vec w;            ///< inverse lumped mass
};

Solution ReadSolution(const DesiredSizeFields& f, int n, bool three) {
  Solution u;
  u.v[0] = Field(f.Vx, n), u.v[1] = Field(f.Vy, n), u.v[2] = Field(three ? f.Vz : nullptr, n);
  u.v0[0] = Field(f.Vx_, n), u.v0[1] = Field(f.Vy_, n), u.v0[2] = Field(three ? f.Vz_ : nullptr, n);
  u.vs = Field(f.Vs, n), u.dn = Field(f.Dn, n), u.pr = Field(f.Pr, n);
  Vec m(n);
  u.w.resize(n);
  f.M->lump(m.data());
  for (int i = 0; i < n; ++i) u.w[i] = 1.0 / m[i];
  return u;
}

/// The nodal derivatives of the solution that the residual needs, each w (G_k v).
struct Gradients {
  Vec dV[3][3];  ///< dV[c][k]: derivative of velocity component c along axis k
  Vec S[3][3];   ///< symmetric strain rate
  Vec divS[3];   ///< divergence of row a of the strain rate
  Vec dP[3];     ///< pressure gradient
};

Gradients SolutionGradients(const DesiredSizeFields& f, int n, const Solution& u, bool three) {
  const SystemSparseMatrix* G[3] = {f.Gx, f.Gy, three ? f.Gz : nullptr};
  // d(v)/d(axis k) = w (G_k v); a missing matrix gives zeros.
  auto derive = [&](const Vec& v, int k, Vec& d) {
    if (!G[k]) return std::fill(d.begin(), d.end(), 0.0);
    G[k]->mult(v.data(), d.data());
    for (int i = 0; i < n; ++i) d[i] *= u.w[i];
  };
  Gradients g;
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 3; ++k) g.dV[c][k].resize(n), derive(u.v[c], k, g.dV[c][k]);
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) {
      g.S[a][b].resize(n);
      for (int i = 0; i < n; ++i) g.S[a][b][i] = a == b ? g.dV[a][a][i] : 0.5 * (g.dV[a][b][i] + g.dV[b][a][i]);
    }
  Vec tmp(n);
  for (int a = 0; a < 3; ++a) {
    g.divS[a].assign(n, 0.0);
    for (int k = 0; k < 3; ++k) {
      derive(g.S[a][k], k, tmp);
      for (int i = 0; i < n; ++i) g.divS[a][i] += tmp[i];
    }
    g.dP[a].resize(n);
    derive(u.pr, a, g.dP[a]);
  }
  return g;
}

/// The local error terms of every node: momentum em and continuity ed, whether the node is
/// excluded (a fixed velocity or pressure), and their sum E over the other nodes, weighted by the
/// lumped mass.
struct LocalErrors {
  Vec em, ed;
  std::vector<char> excluded;
  double E = 0;
};

LocalErrors ResidualErrors(const DesiredSizeFields& f, int n, const Solution& u, const Gradients& g, bool three) {
  const Vec &vx = u.v[0], &vy = u.v[1], &vz = u.v[2];
  LocalErrors e;
  e.em.resize(n), e.ed.resize(n), e.excluded.resize(n);
  for (int i = 0; i < n; ++i) {
    double r[3];
    for (int a = 0; a < 3; ++a)
      r[a] = u.dn[i] * ((u.v[a][i] - u.v0[a][i]) / f.dt + vx[i] * g.dV[a][0][i] + vy[i] * g.dV[a][1][i] +
                        vz[i] * g.dV[a][2][i]) +
             g.dP[a][i] - 2 * u.dn[i] * u.vs[i] * g.divS[a][i];
    e.em[i] = std::fabs(r[0] * vx[i]) + std::fabs(r[1] * vy[i]) + std::fabs(r[2] * vz[i]);
    e.ed[i] = std::fabs(u.pr[i] * (g.dV[0][0][i] + g.dV[1][1][i] + g.dV[2][2][i]));
    e.excluded[i] = Bit(f.fixX, i) || Bit(f.fixY, i) || Bit(f.fixP, i) || (three && Bit(f.fixZ, i));
    if (!e.excluded[i]) e.E += (e.em[i] + e.ed[i]) / u.w[i];
  }
  return e;
}

/// The energy norm Uv + Up of the solution, with the consistent mass matrix.
double EnergyNorm(const DesiredSizeFields& f, int n, const Solution& u, const Gradients& g) {
  double Uv = 0, Up = 0;
  Vec MS(n);
  for (int a = 0; a < 3; ++a)
    for (int b = a; b < 3; ++b) {
      f.M->mult(g.S[a][b].data(), MS.data());
      const double twice = a == b ? 1 : 2;
      for (int i = 0; i < n; ++i) Uv += 2 * u.dn[i] * u.vs[i] * twice * g.S[a][b][i] * MS[i];
    }
  for (int a = 0; a < 3; ++a) {
    f.M->mult(u.v[a].data(), MS.data());
    for (int i = 0; i < n; ++i) Up += std::fabs(g.dP[a][i] * MS[i]);
  }
  return Uv + Up;
}

/// The relative error eps of every node (0 where excluded) and the size it asks for, from its
/// mean edge length h0 and the global factor X, into out; the nodes without an own estimate
/// (eps 0) get 0.
Vec SizesFromErrors(int n, const LocalErrors& e, const Vec& w, const Vec& h0, double p, double X,
                    BackgroundSizes& out) {
  Vec& s = out.size;
  Vec eps(n);
  for (int i = 0; i < n; ++i) {
    eps[i] = e.excluded[i] ? 0.0 : (n + 1) * (e.em[i] + e.ed[i]) / (w[i] * e.E);
    if (eps[i] == 0) {
      s[i] = 0;
      continue;
    }
    if (eps[i] > 1) {
      s[i] = h0[i] * std::pow(eps[i], -1 / (p + 1)) / std::sqrt(X), ++out.shrink;
    } else if (eps[i] < 1) {
      s[i] = h0[i] * std::pow(eps[i], -1 / (p + 1)) / std::sqrt(X), ++out.grow;
    } else {
      s[i] = h0[i] / std::sqrt(X);
    }
    // A solution without error or without motion (0/0) leaves the node at its present size.
    if (!std::isfinite(s[i])) s[i] = h0[i];
  }
  return eps;
}

/// Nodes without an own estimate take the mass-weighted mean of their neighbours, pass after
/// pass, until none is left at 0 or a pass fills nothing (an isolated group keeps 0).
void FillFromNeighbours(const DesiredSizeFields& f, int n, const Vec& eps, Vec& s) {
  const int* rp = f.M->full_row_ptr();
  const int* ci = f.M->full_col_ind();
  const int* pos = f.M->full_pos();
  const double* mv = f.M->sval(0);
  for (;;) {
    int zeros = 0, filled = 0;
    for (int i = 0; i < n; ++i) {
      if (eps[i] != 0) continue;
      double num = 0, den = 0;
      for (int k = rp[i]; k < rp[i + 1]; ++k)
        if (ci[k] != i) num += mv[pos[k]] * s[ci[k]], den += mv[pos[k]];
      const double was = s[i];
      if (den != 0 && std::isfinite(num / den)) s[i] = num / den;
      if (s[i] == 0)
        ++zeros;
      else if (was == 0)
        ++filled;
    }
    if (zeros == 0 || filled == 0) break;
  }
}

/// Sizes clipped to [0.25 min h, 2.5 max h], then ten passes of the mass-weighted mean s = w (M s).
void ClipAndSmooth(const DesiredSizeFields& f, int n, const Vec& h, const Vec& w, Vec& s) {
  const double hmax = 2.5 * *std::max_element(h.begin(), h.end());
  const double hmin = 0.25 * *std::min_element(h.begin(), h.end());
  for (double& v : s) v = std::min(std::max(v, hmin), hmax);
  Vec next(n);
  for (int pass = 0; pass < 10; ++pass) {
    f.M->mult(s.data(), next.data());
    for (int i = 0; i < n; ++i) s[i] = w[i] * next[i];
  }
}

/// The residual estimator: desired sizes into out.size, counters into out.
void ResidualSizes(const DesiredSizeFields& f, int n, const Vec& h, const Vec& h0, BackgroundSizes& out) {
  const bool three = f.dimension == 3;
  const double p = three ? 3.0 : 2.0;
  const Solution u = ReadSolution(f, n, three);
  const Gradients g = SolutionGradients(f, n, u, three);
  const LocalErrors e = ResidualErrors(f, n, u, g, three);
  // The global factor: the error against the energy norm, over the relative error aimed at.
  const double X = (e.E / EnergyNorm(f, n, u, g)) / 0.05;
  const Vec eps = SizesFromErrors(n, e, u.w, h0, p, X, out);
  FillFromNeighbours(f, n, eps, out.size);
  ClipAndSmooth(f, n, h, u.w, out.size);
}

}  // namespace

int DesiredElementSize(int type, const DesiredSizeFields& f, BackgroundSizes& out) {
  const int n = f.M ? f.M->dim(0) : 0;
  out = BackgroundSizes();
  if (type == NoneBackMesh) return 0;
  if (type != ResidualBackMesh && type != kEdgeLengthBackMesh)
    OLVU_FATAL("Background mesh type " << static_cast<BackMesh>(type) << " not implemented\n");
  if (n == 0 || !f.h || f.h->length() < static_cast<unsigned>(n)) OLVU_FATAL("Wrong Background Mesh data\n");
  const Vec h = Field(f.h, n);
  out.h0 = MeanEdgeLength(f, n, h);
  out.size.assign(n, 0.0);
  if (type == kEdgeLengthBackMesh)
    out.size = out.h0;
  else
    ResidualSizes(f, n, h, out.h0, out);
  return 1;
}

void WriteBackgroundMesh(std::ostream& out, const std::vector<Mesh*>& fluidMeshes, double scale,
                         const BackgroundSizes& s) {
  double estimate = 0;
  for (size_t i = 0; i < s.size.size(); ++i) {
    const double r = s.h0[i] / s.size[i];
    if (std::isfinite(r)) estimate += r * r;
  }
  out << "BackgroundMesh V 1.0\n";
  for (Mesh* m : fluidMeshes) m->PrintMeshTo(out, scale, 1, 1, 1, 1);
  out << "DesiredSize Nodes\n";
  for (size_t i = 0; i < s.size.size(); ++i) out << i + 1 << "\t" << scale * s.size[i] << "\n";
  out << "End DesiredSize\n";
  out << "aumentan:" << s.grow << "\tdisminuyen:" << s.shrink << "\n";
  out << "nodos aprox: " << static_cast<long long>(std::min(estimate, 9e18)) << "\n\n";
}

void OutputBackgroundMesh(std::ostream* out, int type, const DesiredSizeFields& f,
                          const std::vector<Mesh*>& fluidMeshes, double scale) {
  Clock clock("Calculate Background Mesh");
  OLVU_NOTICE("Calculating Background Mesh");
  BackgroundSizes sizes;
  if (DesiredElementSize(type, f, sizes)) WriteBackgroundMesh(*out, fluidMeshes, scale, sizes);
}

double BackgroundMeshScale(const Units& internal, const char* geometryUnits) {
  return 1.0 / internal.GetTransFact(geometryUnits, Length);
}
