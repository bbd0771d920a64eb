#include "foundation/realsnl.h"

#include <cmath>

#include "foundation/error.h"

// Length of the Broyden history kept in a call; a longer run restarts it from the first slope.
static const int kBroydenHistory = 1000;

int RealSNL::Fail(int code, const char* what, int fatal) const {
  if (!fatal) return code;
  if (code == -2)
    OLVU_FATAL(what << (maxIter > 0 ? maxIter : 0) << "\n");
  OLVU_FATAL(what << "\n");
}

void RealSNL::ChangeToPredefined(RSNLPredefined law, double t, int iters) {
  maxIter = iters;
  tol = t;
  method = RSNL_NewtonRapson;
  static const RSNLFunction residual[4] = {CalcLawoftheWall, CalcReichLaw, CalcRoughLaw, CalcSchoenherr};
  static const RSNLFunction derivative[4] = {CalcDLawoftheWall, CalcDReichLaw, CalcDRoughLaw, CalcDSchoenherr};
  if (law < 0 || law > 3) return;
  f = residual[law];
  df = derivative[law];
  bounded = 1;
  lo = 1e-14;
  hi = 1e100;
}

int RealSNL::Calculate(double& u, int fatal) {
  switch (method) {
    case RSNL_NewtonRapson:
      return NewtonRapson(u, fatal);
    case RSNL_BroydenInverse:
      return BroydenInverse(u, fatal);
    case RSNL_Whittaker:
      return Whittaker(u, fatal);
  }
  return 1;
}

int RealSNL::NewtonRapson(double& u, int fatal) {
  if (!f || !df) return 1;  // no equation installed
  const int half = maxIter / 2;
  const double mid = (lo + hi) * 0.5;
  double r = -F(u);
  for (int k = 0; k < maxIter; k++) {
    if (bounded && (u <= lo || u >= hi)) {
      if (k > half) return Fail(-1, "Reached limit in RealSNL", fatal);
      u = mid;
      r = -F(u);
    }
    if (std::fabs(r) < tol) return 0;
    u += r / dF(u);
    r = -F(u);
  }
  return Fail(-2, "Newton_Rapson couldn't converge iter=", fatal);
}

int RealSNL::Whittaker(double& u, int fatal) {
  if (!f || !df) return 1;
  const int half = maxIter / 2;
  const double mid = (lo + hi) * 0.5;
  const double h0 = 1.0 / dF(u);
  double r = -F(u);
  for (int k = 0; k < maxIter; k++) {
    if (std::sqrt(r * r) < tol) return 0;
    if (bounded && (u < lo || u > hi)) {
      if (k > half) return Fail(-1, "Reached limit in RealSNL", fatal);
      u = mid;
    }
    u += h0 * r;
    r = -F(u);
  }
  return Fail(-2, "Whittaker couldn't converge iter=", fatal);
}

int RealSNL::BroydenInverse(double& u, int fatal) {
  if (!f || !df) return 1;
  double s[kBroydenHistory], a[kBroydenHistory];
  const int half = maxIter / 2;
  const double mid = (lo + hi) * 0.5;
  const double h0 = 1.0 / dF(u);
  double r = -F(u);
  int m = 0;  // steps held in the history
  for (int k = 0; k < maxIter; k++) {
    if (std::fabs(r) < tol) return 0;
    if (bounded && (u <= lo || u >= hi)) {
      if (k > half) return Fail(-1, "Reached limit in RealSNL", fatal);
      u = mid;
    }
    if (m == kBroydenHistory) m = 0;
    if (m == 0) {
      s[0] = h0 * r;
    } else {
      double p = 1.0;
      for (int i = m - 2; i >= 0; i--) p *= a[i] * s[i] + 1.0;
      double v = h0 * r * p;
      a[m - 1] = v / ((s[m - 1] - v) * s[m - 1]);
      s[m] = v + a[m - 1] * s[m - 1] * v;
    }
    u += s[m];
    m++;
    r = -F(u);
  }
  return Fail(-2, "Broyden_Inverse couldn't converge iter=", fatal);
}

void RealSNL::Heuristic(double& u) {
  double best = 1e100;
  u = lo;
  if (!f) return;
  for (int i = 0; i <= 10; i++) {
    double p = lo + (i * (hi - lo)) / 10;
    double v = std::fabs(F(p));
    if (v < best) {
      best = v;
      u = p;
    }
  }
}

// ---------------------------------------------------------------- predefined laws

void CalcLawoftheWall(const double& u, double& value, const RealSNL* s) {
  const double *d = s->data, *c = s->coef;
  value = (u / d[1]) * (std::log(d[0] * u) / c[0] + c[1]) - 1;
}

void CalcDLawoftheWall(const double& u, double& value, const RealSNL* s) {
  const double *d = s->data, *c = s->coef;
  value = (1 / c[0] + std::log(d[0] * u) / c[0] + c[1]) / d[1];
}

// Reichardt's profile G at y = d0 u.
static double Reichardt(double y, double c0) {
  return 2.5 * std::log(1 + c0 * y) + 7.8 * (1 - std::exp(-y / 11) - (y / 11) * std::exp(-0.33 * y));
}

void CalcReichLaw(const double& u, double& value, const RealSNL* s) {
  const double *d = s->data, *c = s->coef;
  value = (u / d[1]) * Reichardt(d[0] * u, c[0]) - 1;
}

void CalcDReichLaw(const double& u, double& value, const RealSNL* s) {
  const double *d = s->data, *c = s->coef;
  const double y = d[0] * u;
  const double e = std::exp(-0.33 * y);
  const double dg = 2.5 * c[0] * d[0] / (1 + c[0] * y) + 7.8 * d[0] * (std::exp(-y / 11) / 11 - e / 11 + 0.03 * y * e);
  value = (Reichardt(y, c[0]) + u * dg) / d[1];
}

// Rough-wall profile H.
static double Rough(double u, const double* d, const double* c) {
  return std::log(d[0] * u) / c[0] + 8.4 + c[1] * std::log(c[2] / (d[2] * u)) / c[0];
}

void CalcRoughLaw(const double& u, double& value, const RealSNL* s) {
  value = (u / s->data[1]) * Rough(u, s->data, s->coef) - 1;
}

void CalcDRoughLaw(const double& u, double& value, const RealSNL* s) {
  const double *d = s->data, *c = s->coef;
  value = (Rough(u, d, c) + (1 - c[1]) / c[0]) / d[1];
}

void CalcSchoenherr(const double& u, double& value, const RealSNL* s) {
  const double *d = s->data, *c = s->coef;
  const double q = 2 * u * u / std::pow(d[1], 2.0);
  value = c[0] + c[1] * std::log(d[0] * q) - 1 / std::sqrt(q);
}

void CalcDSchoenherr(const double& u, double& value, const RealSNL* s) {
  const double *d = s->data, *c = s->coef;
  const double d2 = std::pow(d[1], 2.0);
  const double q = 2 * u * u / d2;
  value = (2 * u / d2) / std::pow(q, 1.5) + 2 * c[1] / u;
}

double SolveNL(void (*g)(const double&, double&, double), void (*dg)(const double&, double&, double), double& u,
               double p, int maxIter, double tol) {
  double r, d;
  g(u, r, p);
  r = -r;
  for (int i = 0; i < maxIter; i++) {
    if (std::fabs(r) < tol) return 0.0;
    dg(u, d, p);
    u += r / d;
    g(u, r, p);
    r = -r;
  }
  return -2.0;
}
