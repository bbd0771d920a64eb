// Pieces of the eddy-viscosity models that the fluid domain's initial conditions, the body sets'
// wall values and the applied wall law share with the models' solves.
#pragma once

#include <cmath>

class ReaVec;

/// chi of the one-equation eddy-viscosity model with nu_t / nu = ratio: the root of
/// chi^4 = ratio (chi^3 + 357.9) (Newton, tolerance 1e-4, at most 100 iterations); the working
/// variable is nu chi.
double SpalartAllmarasChi(double ratio);

/// Turbulence variables of energy k and length scale l (> 0): epsilon, omega and k tau.
inline double EpsilonFromLength(double k, double l) { return 0.09 * std::pow(k, 1.5) / l; }
inline double OmegaFromLength(double k, double l) { return std::sqrt(k) / l; }
inline double KTauFromLength(double k, double l) { return l * std::sqrt(k) / 0.09; }

/// The damping term 1 - e^x, taken as -x where |x| < 0.01.
inline double OneMinusExp(double x) { return x > -0.01 && x < 0.01 ? -x : 1 - std::exp(x); }

/// The two-layer blending weight G(s): 0 for s <= 0, 3 s^2 - 2 s^3 inside (0, 1), 1 from 1 on.
inline double TwoLayerWeight(double s) { return s <= 0 ? 0.0 : s >= 1 ? 1.0 : s * s * (3 - 2 * s); }

/// v clamped into the limits of turbulence variable `var` (5 k, 6 epsilon, 7 omega, 8 k tau,
/// 10 nu_t: the slots of MinValue and MaxValue).
void ClampVar(ReaVec& v, int var);
