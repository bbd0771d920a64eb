#include "flow/lawofwall.h"

#include <cmath>

#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/input.h"
#include "mesh/mesh.h"
#include "mesh/node.h"

namespace {

// Tolerance on the residual and iteration limit of the nonlinear laws.
constexpr double kTol = 0.0001;
constexpr int kIterations = 100;

// Reichardt's u+ at y+.
double Reichardt(double y) {
  return 7.8 * (1 - std::exp(-y / 11) - (y / 11) * std::exp(-0.33 * y)) + 2.5 * std::log(1 + 0.41 * y);
}

// Below this speed the laws that need a Reynolds number give no friction.
double ThresholdSpeed() { return std::fmax(0.001 * Max_Velocity, 1e-14); }

}  // namespace

// ---------------------------------------------------------------- base

double WallLaw::Solve(double, double) { return 0; }

void WallLaw::Limits(double, double) {}

// Every law's u* is the friction velocity of the wall it models: its kinematic wall stress is
// u*^2, whatever profile gave u*.
double WallLaw::CalcStress(double, double ustar) { return ustar * ustar; }

const char* WallLaw::OwnerName() const { return owner_ ? owner_->Name() : ""; }

void WallLaw::OwnerDiagonal(double d[3]) const {
  d[0] = d[1] = d[2] = 0;
  if (!owner_) return;
  double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
  int i = 0;
  bool any = false;
  while (const Node* n = std::as_const(*owner_).giveNextNode(i)) {
    any = true;
    for (unsigned c = 0; c < 3 && c < n->length(); ++c) {
      lo[c] = std::fmin(lo[c], (*n)[c]);
      hi[c] = std::fmax(hi[c], (*n)[c]);
    }
  }
  if (!any) return;
  for (int c = 0; c < 3; ++c) d[c] = hi[c] > lo[c] ? hi[c] - lo[c] : 0;
}

double WallLaw::Damping(double U) {
  const double t = std::tanh(0.1 * U / (0.001 * Max_Velocity));
  return t * t;
}

double WallLaw::SolveNonlinear(double U, int fallback) {
  if (last_ == 0) last_ = 0.05 * U;
  double u = last_;
  if (snl_->Calculate(u, 0) != 0) {
    if (fallback == 0) u = 0;
    else snl_->Heuristic(u);
  }
  last_ = u * Damping(U);
  return last_;
}

// ---------------------------------------------------------------- rough wall

RoughWallLaw::RoughWallLaw(Mesh* owner, Input* in) : WallLaw(owner) {
  delta_ = in->GetRea("Delta", Length);
  if (!(delta_ > 1e-14)) OLVU_FATAL("RoughWallLaw, body " << OwnerName() << ": Delta value out of range (d > 0 needed)\n");
  roughness_ = 1e-14;
  if (in->Exist("Roughness")) {
    roughness_ = in->GetRea("Roughness", Length);
    if (!(roughness_ > 0)) OLVU_FATAL("RoughWallLaw, body " << OwnerName() << ": Roughness out of range (k > 0 needed)\n");
  }
  snl_ = std::make_unique<RealSNL>(RSNL_RoughLaw, kTol, kIterations);
  snl_->data = A_;
  snl_->coef = B_;
  B_[0] = 0.41, B_[1] = 1.0, B_[2] = 1.0;
}

double RoughWallLaw::Solve(double nu, double U) {
  if (U < 0) OLVU_FATAL("RoughWallLaw, body " << OwnerName() << ": Wrong call to Solve(). \n");
  if (U < 1e-14) return last_ = 0;
  A_[0] = delta_ / nu, A_[1] = U, A_[2] = roughness_ / nu;
  if (last_ == 0) last_ = 0.05 * U;
  double u = last_;
  if (snl_->Calculate(u, 0) == 0) {
    if (A_[2] * u < 25) {
      // Transitional roughness: solve again from the fully rough value with the extra term.
      B_[1] = 2.0, B_[2] = 5.0;
      snl_->Calculate(u, 0);
      B_[1] = 1.0, B_[2] = 1.0;
    }
  } else {
    u = 0;
  }
  last_ = u * Damping(U);
  return last_;
}

void RoughWallLaw::Limits(double hi, double lo) { snl_->Limits(hi, lo); }

// ---------------------------------------------------------------- fixed y+

FixYplusWallLaw::FixYplusWallLaw(Mesh* owner, Input* in) : WallLaw(owner) {
  yplus_ = in->GetRea("Yplus", Undimensional);
  if (!(yplus_ > 1e-14))
    OLVU_FATAL("FixYplusWallLaw, body " << OwnerName() << ": Yplus value out of range (y+ > 0 needed)\n");
  if (yplus_ <= 30)
    OLVU_WARNING(2, "Yplus Fix law of the wall may not work for yplus <= 30.\n\tCheck " << OwnerName() << " data.");
  uplus_ = Reichardt(yplus_);
}

double FixYplusWallLaw::Solve(double, double U) {
  if (U < 0) OLVU_FATAL("FixYplusWallLaw, body " << OwnerName() << ": Wrong call to Solve(). \n");
  if (U < 1e-14) return last_ = 0;
  return last_ = Damping(U) * U / uplus_;
}

// ---------------------------------------------------------------- stress proportional to U^2

StressWallLaw::StressWallLaw(Mesh* owner, Input* in) : WallLaw(owner) {
  cw_ = in->GetRea("Cw", Undimensional);
  if (!(cw_ >= 0)) OLVU_FATAL("StressWallLaw, body " << OwnerName() << ": Cw value out of range (Cw >= 0 needed)\n");
}

double StressWallLaw::Solve(double, double U) {
  if (U < 0) OLVU_FATAL("StressWallLaw, body " << OwnerName() << ": Wrong call to Solve(). \n");
  return U * std::sqrt(cw_);
}

// ---------------------------------------------------------------- fixed distance

FixDeltaWallLaw::FixDeltaWallLaw(Mesh* owner, Input* in) : WallLaw(owner) {
  delta_ = in->GetRea("Delta", Length);
  if (!(delta_ > 1e-14))
    OLVU_FATAL("FixDeltaWallLaw, body " << OwnerName() << ": Delta value out of range (d > 0 needed)\n");
  snl_ = std::make_unique<RealSNL>(RSNL_ReichLaw, kTol, kIterations);
  snl_->data = A_;
  snl_->coef = B_;
  B_[0] = 0.41;
}

double FixDeltaWallLaw::Solve(double nu, double U) {
  if (U < 0) OLVU_FATAL("FixDeltaWallLaw, body " << OwnerName() << ": Wrong call to Solve(). \n");
  if (U < 1e-14) return last_ = 0;
  A_[0] = delta_ / nu, A_[1] = U;
  return SolveNonlinear(U, 1);
}

void FixDeltaWallLaw::Limits(double hi, double lo) { snl_->Limits(hi, lo); }

// ---------------------------------------------------------------- ITTC friction line

ITTCWallLaw::ITTCWallLaw(Mesh* owner, Input* in) : WallLaw(owner) {
  length_ = -1.0;
  cw_ = in->GetRea("Cw", Undimensional);
  if (!(cw_ >= 0)) OLVU_FATAL("ITTCWallLaw, body " << OwnerName() << ": Cw value out of range (Cw >= 0 needed)\n");
  yplus_ = in->GetRea("Yplus", Undimensional);
  if (!(yplus_ > 30)) OLVU_FATAL("ITTCWallLaw, body " << OwnerName() << ": Yplus value out of range (y+ > 30 needed)\n");
}

double ITTCWallLaw::Solve(double nu, double U) {
  if (U < 0) OLVU_FATAL("ITTCWallLaw: Wrong call to Solve()\n");
  if (U < ThresholdSpeed()) return last_ = 0;
  if (length_ < 0) {
    // The body's extent along the mean flow; with no mean flow, its whole diagonal.
    double d[3];
    OwnerDiagonal(d);
    double dv = 0, vv = 0, dd = 0;
    for (unsigned c = 0; c < 3; ++c) {
      const double v = c < Reference_Velocity.length() ? Reference_Velocity[c] : 0.0;
      dv += d[c] * v, vv += v * v, dd += d[c] * d[c];
    }
    length_ = vv > 0 ? std::fabs(dv) / std::sqrt(vv) : std::sqrt(dd);
  }
  const double re = U * length_ / nu;
  if (re < 1000) return last_ = U / yplus_;
  const double t = std::tanh(0.0001 * re);
  return last_ = t * std::sqrt(cw_ * U * U) / (std::log10(re) - 2) + (1 - t) * U / yplus_;
}

// ---------------------------------------------------------------- Schoenherr friction line

SchoenherrWallLaw::SchoenherrWallLaw(Mesh* owner, Input* in) : WallLaw(owner) {
  yplus_ = in->GetRea("Yplus", Undimensional);
  if (!(yplus_ > 1e-14))
    OLVU_FATAL("SchoenherrWallLaw, body " << OwnerName() << ": Yplus value out of range (y+ > 0 needed)\n");
  if (yplus_ <= 30)
    OLVU_WARNING(2, "Schoenherr law of the wall may not work for yplus <= 30.\n\tCheck " << OwnerName() << " data.");
  snl_ = std::make_unique<RealSNL>(RSNL_Schoenherr, kTol, kIterations);
  snl_->data = A_;
  snl_->coef = B_;
  // 1/sqrt(Cf) = (4.13 / ln 10) ln(Re Cf), the line 1/sqrt(Cf) = 4.13 log10(Re Cf).
  B_[0] = 0.0, B_[1] = 4.13 / std::log(10.0);
}

void SchoenherrWallLaw::Limits(double, double) {
  double d[3];
  OwnerDiagonal(d);
  diagonal_ = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

double SchoenherrWallLaw::Solve(double nu, double U) {
  if (U < 0) OLVU_FATAL("SchoenherrWallLaw: Wrong call to Solve()\n");
  if (U < ThresholdSpeed()) return last_ = 0;
  if (diagonal_ < 0) Limits(0, 0);
  A_[0] = U * (0.5 * diagonal_) / nu, A_[1] = U;
  return SolveNonlinear(U, 1);
}
