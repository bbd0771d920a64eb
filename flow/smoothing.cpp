// Field smoothing, automatic stabilisation order, discontinuity capturing and the volume
// correction of transported scalars, all on the geometric matrices of the fluid domain.
#include <cmath>

#include "domain/fluiddomain.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/threads.h"
#include "solvers/sparsematrix.h"

namespace {

const char kImproving[] = "Improving Results";

// |(|a| - |b|) / (|a| + |b| + 1e-14)|: how far two values differ, relative to their size.
double RelativeDifference(double a, double b) {
  return std::fabs((std::fabs(a) - std::fabs(b)) / (std::fabs(a) + std::fabs(b) + 1e-14));
}

bool Free(const BitVec& fixed, unsigned i) { return i > fixed.length() || !fixed(i); }

// Convective and reaction weights of a capturing level (the reaction one is cleared without b).
void CapturingCoefficients(int level, double& c1, double& c2) {
  static const double kC1[6] = {0.25, 0.5, 1.0, 1.0, 2.0, 1.0};
  static const double kC2[6] = {0.0, 0.0, 0.0, 0.5, 1.0, 1.0};
  const int k = (level > 6 ? 6 : level) - 1;
  c1 = kC1[k];
  c2 = kC2[k];
}

}  // namespace

void FluidDomain::MassMean(const ReaVec& x, ReaVec& y) {
  mass_->mult(x.GivePointer(), y.GivePointer());
  y.product(invLumped_);
}

ReaVec& FluidDomain::VarSmoothing(ReaVec& x, const BitVec& fixed, int passes) {
  Clock clock(kImproving);
  if (passes <= 0) return x;
  const double w = passes > 4 ? 0.0 : 0.3 - 0.06 * passes;
  ReaVec& mean = Nodal(work_.neighbourMean);
  for (int pass = 1; pass <= passes; ++pass) {
    // The means come from x as it stood at the start of the pass, so x is written in place.
    MassMean(x, mean);
    bool changed = false;
    for (unsigned i = 1; i <= x.length(); ++i) {
      if (!Free(fixed, i)) continue;
      if (w < 1e-14) {
        x(i) = mean(i);
      } else if (RelativeDifference(mean(i), x(i)) > w) {
        x(i) = mean(i);
        changed = true;
      }
    }
    if (!changed) break;
  }
  return x;
}

ReaVec& FluidDomain::AutoStabOrder(ReaVec& x, ReaVec& s) {
  ReaVec& mean = Nodal(work_.neighbourMean);
  MassMean(x, mean);
  for (unsigned i = 1; i <= x.length(); ++i) {
    const double xi = std::fabs(x(i));
    if (xi <= 1e-14) continue;
    const double y = std::fabs(mean(i));
    const double f = 1.5 - 5 * std::fabs((y - xi) / (xi + y));
    if (f < 0) s(i) = 0;
    else if (f < 1) s(i) *= f;
  }
  return s;
}

void FluidDomain::Capturing(ReaVec& x, const ReaVec* rho, ReaVec& a, ReaVec& b, ReaVec& D, int level, double floor) {
  if (level < 1) {
    if (&D != &a) D = a;
    return;
  }
  // The gradient products share one pass over the pattern; in two dimensions G_z is zero.
  ReaVec& gx = Nodal(work_.capturingGradient[0]);
  ReaVec& gy = Nodal(work_.capturingGradient[1]);
  ReaVec& gz = Nodal(work_.capturingGradient[2]);
  const int dims = Dimension_Olvu == 3 ? 3 : 2;
  {
    const int* rp = pattern_->row_ptr(0);
    const int* ci = pattern_->col_ind(0);
    const double* G[3] = {sys_[2]->val(0), sys_[3]->val(0), sys_[4]->val(0)};
    const double* xp = x.GivePointer();
    double* g[3] = {gx.GivePointer(), gy.GivePointer(), gz.GivePointer()};
    // Rows are independent: each thread writes its own.
    ParallelFor(std::size_t(numNodes), [&](std::size_t i) {
      double s0 = 0, s1 = 0, s2 = 0;
      if (dims == 3) {
        for (int k = rp[i]; k < rp[i + 1]; ++k) {
          const double xj = xp[ci[k]];
          s0 += G[0][k] * xj, s1 += G[1][k] * xj, s2 += G[2][k] * xj;
        }
        g[2][i] = s2;
      } else {
        for (int k = rp[i]; k < rp[i + 1]; ++k) {
          const double xj = xp[ci[k]];
          s0 += G[0][k] * xj, s1 += G[1][k] * xj;
        }
      }
      g[0][i] = s0, g[1][i] = s1;
    });
  }
  double c1, c2;
  CapturingCoefficients(level, c1, c2);
  if (b.length() == 0) c2 = 0;
  const double* xp = x.GivePointer();
  const double g0 = floor * ReduceMax(x.length(), [xp](std::size_t i) { return std::fabs(xp[i]); }) / Max_Length;
  const double* u = vars_[VelX].GivePointer();
  const double* v = vars_[VelY].GivePointer();
  const double* w = vars_[VelZ].GivePointer();
  const double* h = vars_[ElemSize].GivePointer();
  const double* inv = invLumped_.GivePointer();
  const int* order = nodeOrder_.length() > 0 ? &nodeOrder_(1) : nullptr;
  if (D.length() != x.length()) D.resize(x.length(), 0.0);
  const double *ap = a.GivePointer(), *bp = b.GivePointer(), *rhop = rho ? rho->GivePointer() : nullptr;
  const double *gxp = gx.GivePointer(), *gyp = gy.GivePointer(), *gzp = gz.GivePointer();
  double* Dp = D.GivePointer();
  ParallelFor(x.length(), [&](std::size_t k) {
    // Read before D[k] is written: D may be a itself.
    const double base = ap[k];
    const double g[3] = {gxp[k] * inv[k], gyp[k] * inv[k], dims == 3 ? gzp[k] * inv[k] : 0.0};
    const double norm = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
    if (norm <= g0) {
      Dp[k] = base;
      return;
    }
    const double f = dims == 3 ? 0.5 : (order && order[k] == 1 ? 0.35 : 0.17);
    const double r = std::fabs(u[k] * g[0] + v[k] * g[1] + w[k] * g[2]) / (norm + 1e-14);
    const double conv = c1 * h[k] * r * (rhop ? rhop[k] : 1.0);
    double dk = c2 == 0 ? f * conv : f * (conv + c2 * h[k] * h[k] * bp[k]);
    if (base > dk) dk = base;
    Dp[k] = dk;
  });
}

void FluidDomain::DiscontinuityCapturing(ReaVec& x, ReaVec& a, ReaVec& b, ReaVec& D, int level) {
  Capturing(x, nullptr, a, b, D, level, 1e-6);
  if (level != 5) return;
  // The base diffusivity is raised to its volume mean.
  double s = 0;
  for (unsigned i = 1; i <= a.length(); ++i) s += a(i) * lumped_(i);
  const double mean = s / lumped_.sum();
  a.min_limit(mean);
}

void FluidDomain::DiscontinuityCapturing(ReaVec& x, ReaVec& rho, ReaVec& a, ReaVec& b, ReaVec& D, int level) {
  Capturing(x, &rho, a, b, D, level, 1e-5);
}

int FluidDomain::VolumeConservation(ReaVec& phi0, ReaVec& phi, double hi, double lo, double tol, int n,
                                    const BitVec* fixed) {
  if (!Solves(PVelocity)) return -1;
  // A prescribed value is no unknown: moving it would leave the boundary condition behind, and the
  // next step would impose the moved value.
  auto free = [&](unsigned i) { return !fixed || i > fixed->length() || !(*fixed)(i); };
  // q_i = Σ_k ((G_k + G_k^T) u_k)_i: the boundary flux of the velocity weighted by N_i.
  ReaVec& q = Nodal(work_.boundaryFlux);
  q = 0.0;
  for (int c = 0; c < Dimension_Olvu && c < 3; ++c) {
    sys_[2 + c]->add_mult(vars_[VelX + c].GivePointer(), q.GivePointer());
    sys_[2 + c]->add_trans_mult(vars_[VelX + c].GivePointer(), q.GivePointer());
  }
  double F = 0, V0 = 0;
  for (unsigned i = 1; i <= phi.length(); ++i) {
    F += phi(i) * q(i);
    V0 += lumped_(i) * phi0(i);
  }
  F *= dtTheta_;
  ReaVec& change = Nodal(work_.volumeChange);
  ReaVec& t = Nodal(work_.massChange);
  for (int it = 0; it <= n; ++it) {
    double V = 0;
    for (unsigned i = 1; i <= phi.length(); ++i) V += lumped_(i) * phi(i);
    // What flowed out through the boundary is what the volume lost.
    const double e = V - V0 + F;
    const double scale = std::fmax(std::fmax(std::fabs(V0), std::fabs(V)), 1e-14);
    if (std::fabs(e) < tol * scale) return 0;
    for (unsigned i = 1; i <= phi.length(); ++i) change(i) = std::fabs(phi(i) - phi0(i));
    mass_->mult(change.GivePointer(), t.GivePointer());
    double den = 0;
    for (unsigned i = 1; i <= phi.length(); ++i)
      if (free(i)) den += std::fabs(phi(i) * t(i));
    if (den < 1e-14) return -1;
    const double kappa = e / den;
    for (unsigned i = 1; i <= phi.length(); ++i) {
      const bool moves = free(i) && (kappa > 0 ? phi(i) > lo : phi(i) < hi);
      if (moves) phi(i) -= kappa * std::fabs(phi(i) * t(i)) / lumped_(i);
    }
    if (kappa > 0) phi.min_limit(lo);
    else phi.max_limit(hi);
  }
  return -1;
}

void FluidDomain::DiscontCapturing(ReaVec& x, ReaVec& D, int level) {
  if (level <= 0) return;
  if (level >= 10) {
    D = 1.0;
    return;
  }
  const double beta = 0.65 - 0.13 * level;
  D = 0.0;
  for (unsigned i = 1; i <= x.length(); ++i) {
    const double u = RelativeDifference(mass_->row_stsmooth(int(i) - 1, x), x(i));
    if (u > beta) D(i) = (u - beta) / (1 - beta);
  }
}

void FluidDomain::AddDCDifussion(ReaVec& x, ReaVec& D, int level) {
  Clock clock("AddDCDifussion");
  if (level == 0) return;
  ReaVec& chi = Nodal(work_.indicator);
  DiscontCapturing(x, chi, level);
  const ReaVec& h = vars_[ElemSize];
  for (unsigned i = 1; i <= D.length(); ++i) D(i) += 0.5 * chi(i) * h(i) * h(i) * invDtTheta_;
}

void FluidDomain::DiscontCapturing(ReaVec& x, const BitVec& fixed, int passes) {
  Clock clock(kImproving);
  if (passes <= 0) return;
  const double p = passes;
  const double beta = 0.0144 * p * p - 0.2144 * p + 0.7;
  ReaVec& t = Nodal(work_.indicator);
  for (int pass = 0; pass < passes; ++pass) {
    t = x;
    for (unsigned i = 1; i <= x.length(); ++i) {
      if (!Free(fixed, i)) continue;
      const double r = mass_->row_stsmooth(int(i) - 1, x);
      const double u = RelativeDifference(r, x(i));
      if (u <= beta) continue;
      const double omega = (u - beta) / (1 - beta);
      t(i) = (1 - omega) * x(i) + omega * r;
    }
    x = t;
  }
}

void FluidDomain::VarShockCapt(ReaVec& x, ReaVec& D) {
  Clock clock(kImproving);
  ReaVec& off = Nodal(work_.offDiagonal);
  mass_->mult_off_diagonal(x.GivePointer(), off.GivePointer());
  if (D.length() != x.length()) D.resize(x.length(), 0.0);
  for (unsigned i = 1; i <= x.length(); ++i) {
    const double weight = lumped_(i) - mass_->diag(int(i) - 1);
    const double u = RelativeDifference(off(i) / weight, x(i));
    D(i) = u > 0.5 ? 2 * (u - 0.5) : 0;
  }
}
