// Solver of one scalar equation F(u) = 0 (Newton, inverse Broyden, Whittaker) with an
// optional bracket, a bracket scan for a start value and the predefined wall laws.
#pragma once

class RealSNL;

/// Residual or derivative of an equation: value := F(u) (or F'(u)); s gives data and coef.
using RSNLFunction = void (*)(const double& u, double& value, const RealSNL* s);

/// Iteration used by Calculate.
enum RSNLMethod : int { RSNL_NewtonRapson = 0, RSNL_BroydenInverse = 1, RSNL_Whittaker = 2 };

/// Predefined equations: the wall laws of turbulent flow.
enum RSNLPredefined : int { RSNL_LawoftheWall = 0, RSNL_ReichLaw = 1, RSNL_RoughLaw = 2, RSNL_Schoenherr = 3 };

/// Scalar nonlinear equation solver; owns nothing (data and coef belong to the caller).
class RealSNL {
 public:
  int maxIter = 200;                    ///< iteration limit
  double tol = 1e-4;                    ///< solved when |F(u)| < tol
  RSNLMethod method = RSNL_NewtonRapson;  ///< iteration used by Calculate
  RSNLFunction f = nullptr;             ///< residual F
  RSNLFunction df = nullptr;            ///< derivative F'
  int bounded = 0;                      ///< 1 when the bracket [lo, hi] is in force
  double lo = 0.0;                      ///< lower bound of the bracket
  double hi = 0.0;                      ///< upper bound of the bracket
  double* data = nullptr;               ///< per-solve values of a predefined equation (caller's)
  double* coef = nullptr;               ///< coefficients of a predefined equation (caller's)

  /// Equation f, f' solved by method m (200 iterations, tolerance 1e-4, no bracket).
  RealSNL(RSNLFunction f, RSNLFunction df, RSNLMethod m) : method(m), f(f), df(df) {}
  /// Equation f, f' solved by method m with the given tolerance and iteration limit.
  RealSNL(RSNLFunction f, RSNLFunction df, RSNLMethod m, double tol, int maxIter)
      : maxIter(maxIter), tol(tol), method(m), f(f), df(df) {}
  /// A predefined law (Newton, bracket [1e-14, 1e100]).
  RealSNL(RSNLPredefined law, double tol, int maxIter) { ChangeToPredefined(law, tol, maxIter); }

  /// Switches to a predefined law with its bracket, Newton, tolerance and limit.
  void ChangeToPredefined(RSNLPredefined law, double tol, int maxIter);
  /// Sets the bracket [lower, upper]; lower above upper ends the run.
  void Limits(double upper, double lower);

  /// Runs the iteration of `method`: 0 solved, 1 no such method, -1 left the bracket late,
  /// -2 iteration limit (the last two end the run when fatal is not 0).
  int Calculate(double& u, int fatal);
  /// Newton iteration from u.
  int NewtonRapson(double& u, int fatal);
  /// Inverse Broyden iteration from u.
  int BroydenInverse(double& u, int fatal);
  /// Chord iteration from u, slope taken once.
  int Whittaker(double& u, int fatal);
  /// u := the point of lo + i (hi - lo)/10, i = 0..10, with the smallest |F|.
  void Heuristic(double& u);

 private:
  /// F(u).
  double F(double u) const {
    double v;
    f(u, v, this);
    return v;
  }
  /// F'(u).
  double dF(double u) const {
    double v;
    df(u, v, this);
    return v;
  }
  /// Failure of an iteration: -1 or -2, or the end of the run when fatal.
  int Fail(int code, const char* what, int fatal) const;
};

inline void RealSNL::Limits(double upper, double lower) {
  if (lower > upper) {
    Fail(0, "Wrong Limits", 1);
    return;
  }
  bounded = 1;
  lo = lower;
  hi = upper;
}

/// Law 0 residual: (u/d1)(ln(d0 u)/c0 + c1) - 1.
void CalcLawoftheWall(const double& u, double& value, const RealSNL* s);
/// Law 0 derivative.
void CalcDLawoftheWall(const double& u, double& value, const RealSNL* s);
/// Law 1 residual: (u/d1) G(d0 u) - 1, G Reichardt's profile.
void CalcReichLaw(const double& u, double& value, const RealSNL* s);
/// Law 1 derivative.
void CalcDReichLaw(const double& u, double& value, const RealSNL* s);
/// Law 2 residual: (u/d1)(ln(d0 u)/c0 + 8.4 + c1 ln(c2/(d2 u))/c0) - 1.
void CalcRoughLaw(const double& u, double& value, const RealSNL* s);
/// Law 2 derivative.
void CalcDRoughLaw(const double& u, double& value, const RealSNL* s);
/// Law 3 residual: c0 + c1 ln(d0 q) - 1/sqrt(q), q = 2 u^2/d1^2.
void CalcSchoenherr(const double& u, double& value, const RealSNL* s);
/// Law 3 derivative.
void CalcDSchoenherr(const double& u, double& value, const RealSNL* s);

/// Plain Newton iteration on g with derivative dg and parameter p: 0.0 solved, -2.0 not.
double SolveNL(void (*g)(const double& u, double& value, double p), void (*dg)(const double& u, double& value, double p),
               double& u, double p, int maxIter, double tol);
