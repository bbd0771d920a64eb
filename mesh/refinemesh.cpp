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

/// The residual estimator: desired sizes into s, counters into out.
void ResidualSizes(const DesiredSizeFields& f, int n, const Vec& h, const Vec& h0, BackgroundSizes& out) {
  const bool three = f.dimension == 3;
  const double p = three ? 3.0 : 2.0;
  const Vec vx = Field(f.Vx, n), vy = Field(f.Vy, n), vz = Field(three ? f.Vz : nullptr, n);
  const Vec vx_ = Field(f.Vx_, n), vy_ = Field(f.Vy_, n), vz_ = Field(three ? f.Vz_ : nullptr, n);
  const Vec vs = Field(f.Vs, n), dn = Field(f.Dn, n), pr = Field(f.Pr, n);
  Vec m(n), w(n);
  f.M->lump(m.data());
  for (int i = 0; i < n; ++i) w[i] = 1.0 / m[i];

  const SystemSparseMatrix* G[3] = {f.Gx, f.Gy, three ? f.Gz : nullptr};
  // d(v)/d(axis k) = w (G_k v); a missing matrix gives zeros.
  auto derive = [&](const Vec& v, int k, Vec& d) {
    if (!G[k]) return std::fill(d.begin(), d.end(), 0.0);
    G[k]->mult(v.data(), d.data());
    for (int i = 0; i < n; ++i) d[i] *= w[i];
  };
  const Vec* V[3] = {&vx, &vy, &vz};
  Vec dV[3][3];  // dV[c][k]: derivative of component c along axis k
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 3; ++k) dV[c][k].resize(n), derive(*V[c], k, dV[c][k]);
  Vec S[3][3];  // symmetric strain rate
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) {
      S[a][b].resize(n);
      for (int i = 0; i < n; ++i) S[a][b][i] = a == b ? dV[a][a][i] : 0.5 * (dV[a][b][i] + dV[b][a][i]);
    }
  Vec divS[3], tmp(n), dP[3];
  for (int a = 0; a < 3; ++a) {
    divS[a].assign(n, 0.0);
    for (int k = 0; k < 3; ++k) {
      derive(S[a][k], k, tmp);
      for (int i = 0; i < n; ++i) divS[a][i] += tmp[i];
    }
    dP[a].resize(n);
    derive(pr, a, dP[a]);
  }

  Vec em(n), ed(n);
  std::vector<char> excluded(n);
  double E = 0;
  for (int i = 0; i < n; ++i) {
    double r[3];
    for (int a = 0; a < 3; ++a) {
      const double* vprev[3] = {vx_.data(), vy_.data(), vz_.data()};
      r[a] = dn[i] * (((*V[a])[i] - vprev[a][i]) / f.dt + vx[i] * dV[a][0][i] + vy[i] * dV[a][1][i] +
                      vz[i] * dV[a][2][i]) +
             dP[a][i] - 2 * dn[i] * vs[i] * divS[a][i];
    }
    em[i] = std::fabs(r[0] * vx[i]) + std::fabs(r[1] * vy[i]) + std::fabs(r[2] * vz[i]);
    ed[i] = std::fabs(pr[i] * (dV[0][0][i] + dV[1][1][i] + dV[2][2][i]));
    excluded[i] = Bit(f.fixX, i) || Bit(f.fixY, i) || Bit(f.fixP, i) || (three && Bit(f.fixZ, i));
    if (!excluded[i]) E += (em[i] + ed[i]) / w[i];
  }

  // Energy norm of the solution with the consistent mass matrix.
  double Uv = 0, Up = 0;
  Vec MS(n);
  for (int a = 0; a < 3; ++a)
    for (int b = a; b < 3; ++b) {
      f.M->mult(S[a][b].data(), MS.data());
      const double twice = a == b ? 1 : 2;
      for (int i = 0; i < n; ++i) Uv += 2 * dn[i] * vs[i] * twice * S[a][b][i] * MS[i];
    }
  for (int a = 0; a < 3; ++a) {
    f.M->mult(V[a]->data(), MS.data());
    for (int i = 0; i < n; ++i) Up += std::fabs(dP[a][i] * MS[i]);
  }
  const double X = (E / (Uv + Up)) / 0.05;

  Vec& s = out.size;
  Vec eps(n);
  for (int i = 0; i < n; ++i) {
    eps[i] = excluded[i] ? 0.0 : (n + 1) * (em[i] + ed[i]) / (w[i] * E);
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

  // Nodes without an own estimate take the mass-weighted mean of their neighbours, pass after pass,
  // until none is left at 0 or a pass fills nothing (an isolated group keeps 0, clipped below).
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

  const double hmax = 2.5 * *std::max_element(h.begin(), h.end());
  const double hmin = 0.25 * *std::min_element(h.begin(), h.end());
  for (double& v : s) v = std::min(std::max(v, hmin), hmax);
  Vec next(n);
  for (int pass = 0; pass < 10; ++pass) {
    f.M->mult(s.data(), next.data());
    for (int i = 0; i < n; ++i) s[i] = w[i] * next[i];
  }
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
