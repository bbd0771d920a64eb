// The wall laws of the body sets, seen through the few calls a body set makes: created from the
// set's card by its wall-type code, asked for a friction velocity, a wall stress and the wall
// distance they hold. The law classes themselves live with the flow solution; this narrow seam
// is the one place that joins them to the body sets.
#pragma once

class Input;
class WallLaw;

/// The wall law of wall-type `code` read from the current card of `in` (`keyword` is the type's
/// card word); null for the plain law that solves nothing (codes 0, 1, 5, 6, 11) and for code 10.
WallLaw* CreateWallLaw(int code, const char* keyword, Input* in);
/// Clamps the speeds the law is solved for to [min, max].
void WallLawLimits(WallLaw* law, double max, double min);
/// Friction velocity at kinematic viscosity nu and wall-parallel speed u.
double WallLawSolve(WallLaw* law, double nu, double u);
/// Wall stress (over the density) at kinematic viscosity nu and friction velocity ut.
double WallLawStress(WallLaw* law, double nu, double ut);
/// Wall distance of the first node the law assumes.
double WallLawGiveY(WallLaw* law);
/// Fixed y+ of the law.
double WallLawGiveYplus(WallLaw* law);
/// Turbulence values of a user wall from its k and length: epsilon, omega, k-tau and the
/// Spalart-Allmaras variable (the helpers of the turbulence models).
void WallTurbulenceFromLength(double k, double len, double nu, double& eps, double& omega, double& kt,
                              double& nut);
