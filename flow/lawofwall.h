// Wall laws: the friction velocity u* that the flow speed at a wall node gives, and the kinematic
// wall stress u*^2 that the momentum equation applies there. A body boundary set owns one law, chosen by its wall type, and calls
// it node by node.
#pragma once

#include <memory>

#include "foundation/realsnl.h"

class Input;
class Mesh;

/// Base wall law: no friction (u* = 0). Serves the wall types without a law of their own.
class WallLaw {
 public:
  /// A law of the body set `owner` (borrowed; its name goes into messages, its nodes give the extent).
  explicit WallLaw(Mesh* owner) : owner_(owner) {}
  virtual ~WallLaw() = default;
  WallLaw(const WallLaw&) = delete;
  WallLaw& operator=(const WallLaw&) = delete;

  /// Friction velocity at a node of kinematic viscosity nu (> 1e-14) where the speed is U (>= 0).
  virtual double Solve(double nu, double U);
  /// Search interval [lo, hi] of the nonlinear solve (called once before each sweep over the nodes).
  virtual void Limits(double hi, double lo);
  /// Fixed wall distance of the law (0 when it has none).
  virtual double Give_y() { return 0; }
  /// Fixed y+ of the law (0 when it has none).
  virtual double Give_yplus() { return 0; }
  /// Kinematic wall stress for the friction velocity ustar: u*^2 for every law (0 at rest).
  virtual double CalcStress(double nu, double ustar);
  /// The last friction velocity returned (the start value of the next nonlinear solve).
  double LastFrictionVelocity() const { return last_; }
  /// Takes back a LastFrictionVelocity of this law (a restarted run goes on from it).
  void RestoreFrictionVelocity(double u) { last_ = u; }

 protected:
  /// Name of the owner set for messages.
  const char* OwnerName() const;
  /// Diagonal of the owner's node bounding box (maximum corner minus minimum corner), into d[3].
  void OwnerDiagonal(double d[3]) const;
  /// u* of the nonlinear laws: start value, solve, fallback `fallback` (0 u* = 0, 1 the solver's
  /// heuristic) and the low-speed damping.
  double SolveNonlinear(double U, int fallback);
  /// Damping tanh(0.1 U / (0.001 Max_Velocity))^2 of the laws that act at every speed.
  static double Damping(double U);

  Mesh* owner_;                    ///< the body set that owns the law (borrowed)
  double last_ = 0;                ///< last friction velocity returned
  std::unique_ptr<RealSNL> snl_;   ///< nonlinear solver (null for the explicit laws)
  double A_[3] = {0, 0, 0};        ///< law parameters, written before each solve
  double B_[3] = {0, 0, 0};        ///< law constants
};

/// Rough wall at a fixed distance Delta: u+ = ln(y+)/0.41 + 8.4 - ln(k+)/0.41 (fully rough), with
/// a transitional term below k+ = 25.
class RoughWallLaw : public WallLaw {
 public:
  /// Reads "Delta" (length, > 1e-14) and "Roughness" (length, > 0; 1e-14 when absent).
  RoughWallLaw(Mesh* owner, Input* in);
  double Solve(double nu, double U) override;
  void Limits(double hi, double lo) override;
  double Give_y() override { return delta_; }

 private:
  double delta_ = 0;      ///< wall distance
  double roughness_ = 0;  ///< sand-grain roughness k_s
};

/// Reichardt's profile at a fixed y+: u* = U / u+(Yplus).
class FixYplusWallLaw : public WallLaw {
 public:
  /// Reads "Yplus" (> 1e-14; a warning at or below 30) and evaluates u+ there.
  FixYplusWallLaw(Mesh* owner, Input* in);
  double Solve(double nu, double U) override;
  double Give_yplus() override { return yplus_; }

 private:
  double yplus_ = 0;  ///< fixed y+
  double uplus_ = 0;  ///< Reichardt's u+ at yplus_
};

/// Wall stress proportional to the speed squared: tau = Cw U^2.
class StressWallLaw : public WallLaw {
 public:
  /// Reads "Cw" (>= 0).
  StressWallLaw(Mesh* owner, Input* in);
  double Solve(double nu, double U) override;
  /// The stress coefficient.
  double Give_Cw() const { return cw_; }

 private:
  double cw_ = 0;  ///< stress coefficient
};

/// Reichardt's profile at a fixed wall distance Delta, solved for u*.
class FixDeltaWallLaw : public WallLaw {
 public:
  /// Reads "Delta" (length, > 1e-14).
  FixDeltaWallLaw(Mesh* owner, Input* in);
  double Solve(double nu, double U) override;
  void Limits(double hi, double lo) override;
  double Give_y() override { return delta_; }

 private:
  double delta_ = 0;  ///< wall distance
};

/// Friction line Cw / (log10 Re - 2)^2 over the body length along the mean flow, blended with
/// the laminar value U / Yplus at low Reynolds numbers.
class ITTCWallLaw : public WallLaw {
 public:
  /// Reads "Cw" (>= 0) and "Yplus" (> 30).
  ITTCWallLaw(Mesh* owner, Input* in);
  double Solve(double nu, double U) override;
  double Give_yplus() override { return yplus_; }

 private:
  double cw_ = 0;       ///< friction-line coefficient
  double length_ = -1;  ///< body extent along the reference velocity (-1 until the first call)
  double yplus_ = 0;    ///< fixed y+
};

/// Flat-plate friction line 1 / sqrt(Cf) = 4.13 log10(Re Cf), Re over half the body's diagonal.
class SchoenherrWallLaw : public WallLaw {
 public:
  /// Reads "Yplus" (> 1e-14; a warning at or below 30).
  SchoenherrWallLaw(Mesh* owner, Input* in);
  double Solve(double nu, double U) override;
  /// Refreshes the body's extent; the search interval stays [1e-14, 1e100].
  void Limits(double hi, double lo) override;
  double Give_yplus() override { return yplus_; }

 private:
  double yplus_ = 0;     ///< fixed y+
  double diagonal_ = -1; ///< length of the owner's bounding-box diagonal (-1 until measured)
};
