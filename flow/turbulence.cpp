// The eddy-viscosity turbulence models of the fluid domain: the algebraic models (Smagorinsky,
// mixing length), the one-equation k and working-viscosity models, and the two-equation k-epsilon,
// k-omega, SST and k-k tau families. Every model ends by writing the nodal eddy viscosity that the
// momentum solve adds to the laminar one.
//
// Work vectors of one model call: the diffusivity, source and reaction D, S, R, the model's
// auxiliaries (u*, f_mu, F1, the SST cross diffusion), the right-hand side Rhs(0), the new field
// before it is accepted and the tangent reaction of a quadratic sink (Split), each named in
// FluidScratch.
#include "flow/turbulence.h"

#include <cmath>
#include <iterator>

#include "domain/fluiddomain.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

double SpalartAllmarasChi(double ratio) {
  // chi >= ratio and chi^4 >= 357.9 ratio: the larger bound starts Newton below the root, where
  // it climbs monotonically instead of overshooting from a near-zero slope.
  double chi = std::fmax(ratio, std::pow(357.9 * std::fmax(ratio, 0.0), 0.25));
  for (int it = 0; it < 100; ++it) {
    const double c3 = chi * chi * chi;
    const double f = c3 * chi - ratio * (c3 + 357.9);
    if (std::fabs(f) < 1e-4) break;
    const double df = 4 * c3 - 3 * ratio * chi * chi;
    if (!(df > 0)) break;
    chi -= f / df;
  }
  return chi;
}

namespace {

// Lower and upper clamp of turbulence variable v (5 k, 6 epsilon, 7 omega, 8 k tau, 10 nu_t).
double Lo(int v) { return unsigned(v + 1) <= MinValue.length() ? MinValue(unsigned(v + 1)) : 0.0; }
double Hi(int v) { return unsigned(v + 1) <= MaxValue.length() ? MaxValue(unsigned(v + 1)) : 1e100; }

bool Bit(const BitVec& b, unsigned i) { return i <= b.length() && b(i); }

// Production p and reaction r per unit phi at one node into the source s and reaction R of the
// solve: the larger one of the two is kept implicit, each limited by the other times its factor.
// Returns the tangent reaction of the sink r phi when r is proportional to phi (the dissipation
// of epsilon and omega): r, or 0 where the limit holds r and the sink no longer grows with phi.
// The switch chooses what is implicit, not the equation, only where the source is weighed as the
// reaction is (Sink::lumped).
inline double Split(double p, double r, double phi, double pLimit, double rLimit, double& s, double& R) {
  if (r > p) {
    const double sunk = std::fmin(r, rLimit * (p + 1e-14));
    s = 0;
    R = sunk - p;
    return sunk == r ? r : 0.0;
  }
  s = phi * std::fmin(p, pLimit * (r + 1e-14));
  R = r;
  return r;
}

// Split without its switch, for Launder-Sharma's epsilon, whose source stays on the consistent
// mass: there Split's switch makes the steady equation jump where production and destruction
// balance (see Sink). Here the share of the production taken into the reaction grows as 1 - p / r,
// from none at the balance to all where the destruction dominates; the limits and the returned
// tangent are Split's.
inline double BlendedSplit(double p, double r, double phi, double pLimit, double rLimit, double& s, double& R) {
  const double sunk = std::fmin(r, rLimit * (p + 1e-14)), made = std::fmin(p, pLimit * (r + 1e-14));
  const double explicitShare = sunk > made ? made / sunk : 1.0;
  s = phi * made * explicitShare;
  R = sunk - made * (1 - explicitShare);
  return sunk == r ? r : 0.0;
}

// How the sink R phi of a transport solve grows with phi, for the tangent step below: per node,
// the tangent reactions T of a split (Split), or `growth` times R where R itself grows as
// phi^growth (k^2 / nu_t in k-k tau: 1; k^1.5 / l in k-l: 1/2).
//
// With `lumped`, the source is integrated with the lumped mass, as the reaction is. Split moves
// the production between the two: on the consistent mass a node's production is shared with its
// neighbours' rows, so the steady equation jumped where production and destruction balance,
// and a node next to a wall node could hold a steady state on either side (SST at
// Re_tau 1000: c_f 0.942 or 0.957 of Dean's by the step and the start, each state solving its own
// side's equation to 1e-6 of the node's sink and the other side's off by 55-63%). Lumped, both
// sides are one equation, in which the production and the destruction that balance it are
// weighed alike.
struct Sink {
  const ReaVec* split = nullptr;
  double growth = 0;
  bool lumped = false;
};

// Per field (the clamp slots 5 to 8), whether a solve has met the limit on the change.
bool limitMet[9] = {};

// The transport solve of phi (convection, diffusion D, reaction R, source S): discontinuity
// capturing, assembly, identity rows at the nodes where fixed(i, v) holds (phi_i := v, which it
// may change), directional-derivative rows at the nodes of prescribed normal gradient, the solve
// into x and phi := x at the other nodes. x keeps the accepted values.
//
// Where the sink grows faster than phi, the change x - phi is scaled by (1/(theta dt) + R) /
// (1/(theta dt) + R + T), the tangent (Newton) step of the node's sink: R holds the sink over phi
// at the last phi, so the plain solve moves phi past its root by about T / (1/(theta dt) + R) of
// the change, and where that exceeds 1 (epsilon near a wall once dt exceeds about k / epsilon, k
// of k-k tau at steps of ten turbulence times) the iterations, and the steps, alternate and grow.
//
// No solve moves phi of variable `cap` (-1 none) by more than half its upper clamp at a node. The
// limit acts on the change, never on the terms: a source or reaction capped by the range over the
// step held the steady state where the cap bound, so it moved with the step and with the start
// the range came from. A steady state never meets it; a transient that does follows the limit,
// not its equations, and the first solve of each field where it binds says so.
template <class Fixed>
void Transport(FluidDomain& d, ReaVec& phi, ReaVec& prev, ReaVec& D, ReaVec& S, ReaVec& R, ReaVec& rhs, ReaVec& x,
               int cap, Fixed fixed, const char* label, Sink sink = {}) {
  const unsigned n = phi.length();
  d.DiscontinuityCapturing(phi, D, R, D, d.Smoothing(1));
  ReaVec none;
  d.AssembleSystem(phi, prev, sink.lumped ? none : S, D, R, rhs, d.StabOrder(2));
  if (sink.lumped) {
    const ReaVec& m = d.LumpedMass();
    for (unsigned i = 1; i <= n; ++i) rhs(i) += m(i) * S(i);
  }
  SystemSparseMatrix* A = d.SystemMatrix(0);
  const BitVec& grad = d.Cond(FixGradient);
  for (unsigned i = 1; i <= n; ++i) {
    double v = phi(i);
    if (fixed(i, v)) {
      phi(i) = v;
      rhs(i) = v;
      A->Fix_AllRow(int(i) - 1);
    } else if (Bit(grad, i)) {
      rhs(i) = 0;
      A->Copy_Row_Val(int(i) - 1, NullGradientDirection(d.FixedGradientTable(), int(i)), *d.SystemMatrix(2), *d.SystemMatrix(3),
                      *d.SystemMatrix(4));
    }
  }
  x = phi;
  d.giveSolver1st()->solve(rhs, x, A, 1, label);
  const double inv = d.InvDtTheta();
  const double most = cap >= 0 ? 0.5 * Hi(cap) : 1e300;
  double largest = 0;  // the largest change the limit cut
  unsigned at = 0, cut = 0;
  for (unsigned i = 1; i <= n; ++i) {
    double v = phi(i);
    if (fixed(i, v)) continue;
    const double T = sink.split ? (*sink.split)(i) : sink.growth * R(i);
    double change = x(i) - phi(i);
    if (T > 0 && !Bit(grad, i)) {
      const double a = inv + R(i);
      change *= a / (a + T);
      x(i) = phi(i) + change;
    }
    if (std::fabs(change) > most) {
      x(i) = phi(i) + std::copysign(most, change);
      ++cut;
      if (std::fabs(change) > largest) largest = std::fabs(change), at = i;
    }
    phi(i) = x(i);
  }
  if (cut && unsigned(cap) < std::size(limitMet) && !limitMet[cap]) {
    limitMet[cap] = true;
    OLVU_WARNING(1, label << ": at step " << Current_Step << " the solve was held to half the field's upper clamp, "
                          << most << ", at " << cut << " nodes, which asked to move by up to " << largest << " ("
                          << largest / most << " times it, at node " << at
                          << "): where the limit binds, the transient follows it, not its equations (a steady "
                             "state never meets it). Said once for each field.");
  }
}

// Fixed-node test of a set and, when `also` is given, of a second one.
struct InSets {
  const BitVec& a;
  const BitVec* also;
  bool operator()(unsigned i, double&) const { return Bit(a, i) || (also && Bit(*also, i)); }
};

// g2 = |grad q|^2 node by node from the gradient matrices and the inverse lumped mass (t scratch).
void GradientSquared(FluidDomain& d, const ReaVec& q, ReaVec& t, ReaVec& g2) {
  g2 = 0.0;
  const ReaVec& inv = d.InvLumpedMass();
  for (int c = 0; c < 3; ++c) {
    d.SystemMatrix(2 + c)->mult(q.GivePointer(), t.GivePointer());
    for (unsigned i = 1; i <= q.length(); ++i) g2(i) += t(i) * inv(i) * t(i) * inv(i);
  }
}

// The near-wall eddy viscosity of the two-layer models over sqrt(k): 0.09 l_mu with the damped
// length l_mu = 0.41 y / 0.09^(3/4) (1 - e^(-Re_y / 50.5)), which joins 0.41 u_tau y of the log
// layer where k = u_tau^2 / 0.3.
inline double TwoLayerViscosityLength(double y, double rey) { return 0.2245 * y * OneMinusExp(-0.0198 * rey); }

// Launder-Sharma's damping of the eddy viscosity, exp(-3.4 / (1 + Rt / 50)^2), Rt = k^2 / (nu epsilon).
inline double LaunderSharmaDamping(double k, double e, double nu) {
  const double a = 1 + 0.02 * k * k / (e * nu);
  return std::exp(-3.4 / (a * a));
}

// The production of k, and with `vorticity` the vorticity, of the step's first velocity and of
// the eddy viscosity it was solved with (before the wall law, which puts the floor of nu_t on the
// wall nodes), kept for the step's later iterations. With those of the step's start, nu_t
// answered the velocity a step late: at one iteration a step the k-epsilon channel at 20 s steps
// swung with a period of 7.5 steps, growing by 6.5% a step until it diverged, held near the
// iterations' tolerance (1e-6) by more iterations a step, never steady at "SteadyNorm" 1e-7.
// Following every iteration instead, it fed back within the step: the 61-node channel at 2 s
// steps diverged within 200 steps of 10 iterations, and Lam-Bremhorst and Spalart-Allmaras,
// whose sources are of the step's start, were no longer steady at steps of 4 s and 40 s. A steady
// state is the same either way.
void IterationProduction(FluidDomain& d, bool vorticity = false) {
  if (Iterations > 1) return;
  if (d.Var(KProduction).length()) d.CalcKProduction(d.Var(KProduction));
  if (vorticity) d.CalcVorticity(d.Var(Vorticity));
}

// D, S, R of k in the k-epsilon models.
void KEpsilonEnergyTerms(FluidDomain& d, ReaVec& D, ReaVec& S, ReaVec& R) {
  const ReaVec &nut = d.Var(TVisc), &nu = d.Var(KVisc), &pk = d.Var(KProduction);
  const ReaVec &e = d.Var(Epsilon), &e0 = d.Var(Epsilon0), &k0 = d.Var(KEnergy0);
  for (unsigned i = 1; i <= nut.length(); ++i) {
    D(i) = nut(i) / 1.0 + nu(i);
    S(i) = std::fmin(pk(i), (e0(i) + 2e-14) * Pk_LIMIT);
    R(i) = e(i) / k0(i);
  }
}

}  // namespace

void ClampVar(ReaVec& v, int var) {
  const double lo = Lo(var), hi = Hi(var);
  double* p = v.GivePointer();
  for (unsigned i = 0; i < v.length(); ++i) p[i] = p[i] > hi ? hi : (p[i] < lo ? lo : p[i]);
}

// ---------------------------------------------------------------- sequence and shared steps

void FluidDomain::SolveTurbulence() {
  if (!Solves(PTurbulence)) return;
  Clock clock("Solving Turbulence");
  SolveSpalartAllmaras();
  SolveBaldwinLomax();
  SolveKineticEnergy();
  SolveKOmega();
  SolveKOmegaSST();
  SolveK_KT();
  SolveKEpsilon();
  SolveKEpsilon2Layers();
}

void FluidDomain::CalculateKineticEnergy(ReaVec& D, ReaVec& S, ReaVec& R) {
  ReaVec& k = vars_[KEnergy];
  ReaVec& x = Nodal(work_.newField);
  Transport(*this, k, vars_[KEnergy0], D, S, R, Rhs(0), x, 5, InSets{conds_[FixKEnergy], &conds_[WallLawNodes]},
            "Fluid turbulence: Eddy Kinetic Energy", Sink{nullptr, Solves(PKKT) ? 1.0 : Solves(PKinetic) ? 0.5 : 0.0});
  // Below the floor a node takes its smallest neighbour instead: a local undershoot is not
  // flattened to the floor.
  const double lo = Lo(5), hi = Hi(5);
  for (unsigned i = 1; i <= k.length(); ++i) {
    if (Bit(conds_[FixKEnergy], i) || Bit(conds_[WallLawNodes], i)) continue;
    k(i) = x(i) < lo ? std::fmin(std::fmax(pattern_->row_min(int(i) - 1, x), lo), hi) : std::fmin(x(i), hi);
  }
}

void FluidDomain::CalcGradVelocity(ReaVec& s) {
  ReaVec grad[3][3];
  VelocityGradient(grad);
  for (unsigned i = 1; i <= s.length(); ++i) {
    auto g = [&](int a, int b) { return grad[a][b](i); };
    s(i) = std::sqrt(2 * (g(0, 0) * g(0, 0) + g(1, 1) * g(1, 1) + g(2, 2) * g(2, 2)) +
                     (g(0, 1) + g(1, 0)) * (g(0, 1) + g(1, 0)) + (g(0, 2) + g(2, 0)) * (g(0, 2) + g(2, 0)) +
                     (g(1, 2) + g(2, 1)) * (g(1, 2) + g(2, 1)));
  }
}

void FluidDomain::CalculateVanDriest(ReaVec& ustar) {
  ReaVec& nut = vars_[TVisc];
  const ReaVec &y = vars_[WallDist], &nu = vars_[KVisc];
  if (!nut.length() || !y.length()) return;
  if (!ustar.length()) {
    CalculateWallLaw();
    ustar = work_.frictionVelocity;
  }
  for (unsigned i = 1; i <= nut.length(); ++i) {
    const double f = OneMinusExp(-y(i) * ustar(i) / (26 * nu(i)));
    nut(i) *= 0.2 * f * f;
  }
}

// ---------------------------------------------------------------- algebraic models

void FluidDomain::SolveSmagorinsky() {
  if (!Solves(PSmagorinsky)) return;
  Clock clock("Solving Turbulence");
  ReaVec& s = Nodal(work_.strainRate);
  CalcGradVelocity(s);
  ReaVec& nut = vars_[TVisc];
  const ReaVec &h = vars_[ElemSize], &y = vars_[WallDist];
  for (unsigned i = 1; i <= nut.length(); ++i) {
    const double l = std::fmin(0.17 * h(i), 0.41 * y(i));
    nut(i) = s(i) * l * l;
  }
  ClampVar(nut, 10);
}

void FluidDomain::SolveMixingLength() {
  if (!Solves(PMixingLength)) return;
  Clock clock("Solving Turbulence");
  ReaVec& s = Nodal(work_.strainRate);
  CalcGradVelocity(s);
  ReaVec& nut = vars_[TVisc];
  const ReaVec& l = vars_[TurbLength];
  for (unsigned i = 1; i <= nut.length(); ++i) nut(i) = l(i) * l(i) * s(i);
  ClampVar(nut, 10);
}

void FluidDomain::SolveBaldwinLomax() {
  if (!Solves(PBaldwin)) return;
  Clock clock("Solving Turbulence");
}

// ---------------------------------------------------------------- one-equation models

void FluidDomain::SolveKineticEnergy() {
  if (!Solves(PKinetic)) return;
  Clock clock("Solving Turbulence");
  IterationProduction(*this);
  CalculateWallLaw();
  ReaVec &D = Nodal(work_.diffusivity), &S = Nodal(work_.source), &R = Nodal(work_.reaction);
  ReaVec& k = vars_[KEnergy];
  ReaVec& nut = vars_[TVisc];
  const ReaVec &nu = vars_[KVisc], &pk = vars_[KProduction], &k0 = vars_[KEnergy0], &l = vars_[TurbLength];
  for (unsigned i = 1; i <= k.length(); ++i) {
    D(i) = nut(i) / 1.0 + nu(i);
    S(i) = std::fmin(pk(i), (0.09 * k0(i) * k0(i) / nut(i) + 2e-14) * Pk_LIMIT);
    R(i) = 0.09 * std::sqrt(k(i)) / l(i);
  }
  CalculateKineticEnergy(D, S, R);
  const bool twoLayer = Solves(PKinetic2L);
  const ReaVec& y = vars_[WallDist];
  for (unsigned i = 1; i <= k.length(); ++i) {
    const double sk = std::sqrt(k(i));
    if (!twoLayer) {
      nut(i) = l(i) * sk;
      continue;
    }
    const double rey = y(i) * sk / nu(i) + 1e-14;
    const double g = TwoLayerWeight((rey - 200) / 200);
    nut(i) = sk * (g * l(i) + (g < 1 ? (1 - g) * TwoLayerViscosityLength(y(i), rey) : 0.0));
  }
  ClampVar(nut, 10);
}

void FluidDomain::SolveSpalartAllmaras() {
  if (!Solves(PSpalart)) return;
  Clock clock("Solving Turbulence");
  IterationProduction(*this, true);
  CalculateWallLaw();
  ReaVec &D = Nodal(work_.diffusivity), &S = Nodal(work_.source), &R = Nodal(work_.reaction);
  ReaVec &vt = vars_[SAVar], &vt0 = vars_[SAVar0], &nut = vars_[TVisc];
  const ReaVec &nu = vars_[KVisc], &y = vars_[WallDist], &om = vars_[Vorticity];
  const InSets fixed{conds_[FixTurbVar], &conds_[WallLawNodes]};
  for (unsigned i = 1; i <= vt.length(); ++i) {
    double unused;
    if (fixed(i, unused)) vt(i) = vt0(i) = nu(i) * SpalartAllmarasChi(nut(i) / nu(i));
  }
  ReaVec& g2 = Nodal(work_.tangent);
  GradientSquared(*this, vt0, Nodal(work_.variableGradient[0]), g2);
  for (unsigned i = 1; i <= vt.length(); ++i) {
    const double chi = vt(i) / std::fmax(nu(i), 1e-14);
    const double d = std::fmax(std::fmax(y(i), MinDistance), 1e-14);
    const double d2 = 0.1681 * d * d;
    const double c3 = chi * chi * chi;
    const double fv1 = c3 / (c3 + 357.9);
    double fv2 = 1 - chi / (1 + chi * fv1);
    if (fv2 < 0) fv2 = 1e-14;
    const double st = om(i) + vt(i) * fv2 / d2;
    const double ft2 = 1.2 * std::exp(-0.5 * chi * chi);
    const double source = 0.933 * g2(i) + 0.136 * (1 - ft2) * st * vt0(i);
    D(i) = (vt(i) + nu(i)) / 0.667;
    // q is bounded by 10, where f_w has reached its plateau: no strain gives no overflow.
    const double q = std::fmin(vt(i) / std::fmax(st * d2, 1e-14), 10.0);
    const double g = q + 0.3 * (std::pow(q, 6) - q);
    const double fw = g > 0 ? std::pow(65 / (1 + std::pow(2 / g, 6)), 1.0 / 6) : 0.0;
    const double r = 3.238 * fw * vt(i) / (d * d);
    // g2 is read: the tangent reaction of the destruction, quadratic in the working viscosity,
    // takes its place.
    g2(i) = Split(source / vt(i), r, vt(i), Pv_LIMIT, Rv_LIMIT, S(i), R(i));
  }
  Transport(*this, vt, vt0, D, S, R, Rhs(0), Nodal(work_.newField), -1, fixed, "Fluid turbulence: Eddy Viscosity",
            Sink{&g2, 0, true});
  for (unsigned i = 1; i <= vt.length(); ++i) {
    if (vt(i) < 1e-14) vt(i) = 1e-14;
    const double chi = vt(i) / (nu(i) + 1e-14);
    const double c3 = chi * chi * chi;
    nut(i) = vt(i) * c3 / (c3 + 357.9);
  }
  ClampVar(nut, 10);
}

// ---------------------------------------------------------------- k-epsilon family

void FluidDomain::CalcEpsilonStandard() {
  ReaVec &D = Nodal(work_.diffusivity), &S = Nodal(work_.source), &R = Nodal(work_.reaction), &fmu = Nodal(work_.damping),
         &T = Nodal(work_.tangent);
  const ReaVec &k = vars_[KEnergy], &e = vars_[Epsilon], &nut = vars_[TVisc], &nu = vars_[KVisc],
               &pk = vars_[KProduction];
  for (unsigned i = 1; i <= k.length(); ++i) {
    D(i) = nut(i) / 1.3 + nu(i);
    fmu(i) = 1;
    T(i) = Split(1.45 * pk(i) / k(i), 1.92 * e(i) / k(i), e(i), Pe_LIMIT, Re_LIMIT, S(i), R(i));
  }
}

void FluidDomain::CalcEpsilonLaunderSharma() {
  ReaVec &D = Nodal(work_.diffusivity), &S = Nodal(work_.source), &R = Nodal(work_.reaction), &fmu = Nodal(work_.damping),
         &T = Nodal(work_.tangent);
  const ReaVec &k = vars_[KEnergy], &e = vars_[Epsilon], &nut = vars_[TVisc], &nu = vars_[KVisc],
               &pk = vars_[KProduction];
  for (unsigned i = 1; i <= k.length(); ++i) {
    const double rt = k(i) * k(i) / (e(i) * nu(i));
    D(i) = nut(i) / 1.3 + nu(i);
    fmu(i) = LaunderSharmaDamping(k(i), e(i), nu(i));
    const double r = 1.92 * (e(i) / k(i)) * (1 - 0.3 * std::exp(-rt * rt));
    T(i) = BlendedSplit(1.45 * pk(i) / k(i), r, e(i), Pe_LIMIT, Re_LIMIT, S(i), R(i));
  }
  // The source 2 nu nu_t (d2 u_i / dx_j dx_k)^2, which raises the dissipation where the velocity
  // profile bends, in the buffer layer, and so keeps k from piling up there.
  ReaVec grad[3][3];
  VelocityGradient(grad);
  ReaVec &curv = Nodal(work_.newField), &t = Nodal(work_.variableGradient[0]);
  curv = 0.0;
  for (int c = 0; c < 3; ++c)
    for (int j = 0; j < 3; ++j)
      for (int m = 0; m < 3; ++m) {
        sys_[2 + m]->mult(grad[c][j].GivePointer(), t.GivePointer());
        for (unsigned i = 1; i <= k.length(); ++i) curv(i) += t(i) * invLumped_(i) * t(i) * invLumped_(i);
      }
  for (unsigned i = 1; i <= k.length(); ++i) S(i) += 2 * nu(i) * nut(i) * curv(i);
}

void FluidDomain::CalcEpsilonLamBremhorst() {
  ReaVec &D = Nodal(work_.diffusivity), &S = Nodal(work_.source), &R = Nodal(work_.reaction), &fmu = Nodal(work_.damping),
         &T = Nodal(work_.tangent);
  const ReaVec &k = vars_[KEnergy], &e = vars_[Epsilon], &nut = vars_[TVisc], &nu = vars_[KVisc],
               &pk = vars_[KProduction], &y = vars_[WallDist], &e0 = vars_[Epsilon0];
  for (unsigned i = 1; i <= k.length(); ++i) {
    const double rt = k(i) * k(i) / (e(i) * nu(i));
    const double rey = y(i) * std::sqrt(k(i)) / nu(i) + 1e-14;
    const double damp = OneMinusExp(-0.0165 * rey);
    D(i) = nut(i) / 1.3 + nu(i);
    // Rt and f_mu vanish at a wall: their guards keep both terms finite there.
    fmu(i) = damp * damp * (1 + 20.5 / (rt + 1e-14));
    const double a = 0.05 / (fmu(i) + 1e-14);
    const double p = 1.45 * (pk(i) / k(i)) * (1 + a * a * a);
    const double r = 1.92 * (e(i) / k(i)) * OneMinusExp(-rt * rt);
    // Across the wall layer the production exceeds the destruction (f1 large, f2 small), which
    // the diffusion to the wall balances: taken with the iterate, the source outgrows the
    // implicit reaction once it exceeds it by 1 / (theta dt) and epsilon grows within every
    // step until k is gone. Taken with the value of the step's start it grows once per step.
    T(i) = Split(p, r, e0(i), Pe_LIMIT, Re_LIMIT, S(i), R(i));
  }
}

void FluidDomain::SolveKEpsilon() {
  if (!Solves(PKEpsilon)) return;
  Clock clock("Solving Turbulence");
  const bool ls = Solves(PKEpsLS) && !Solves(PKEpsLB);
  if (!ls) IterationProduction(*this);
  CalculateWallLaw();
  ReaVec &D = Nodal(work_.diffusivity), &S = Nodal(work_.source), &R = Nodal(work_.reaction);
  // Launder-Sharma's production is that of this iteration's velocity and eddy viscosity, as its
  // E term is: the production of the step's start lags the wall layer's k and epsilon by a step.
  if (ls) CalcKProduction(vars_[KProduction]);
  KEpsilonEnergyTerms(*this, D, S, R);
  if (ls) {
    // Launder-Sharma's variable is the dissipation less its wall value 2 nu |grad sqrt(k)|^2,
    // which k loses besides: without it k has no sink at a no-slip wall.
    const ReaVec &k0 = vars_[KEnergy0], &nu = vars_[KVisc];
    ReaVec &q = Nodal(work_.damping), &g2 = Nodal(work_.tangent);
    for (unsigned i = 1; i <= q.length(); ++i) q(i) = std::sqrt(std::fmax(k0(i), 0.0));
    GradientSquared(*this, q, Nodal(work_.variableGradient[0]), g2);
    for (unsigned i = 1; i <= q.length(); ++i) R(i) += 2 * nu(i) * g2(i) / k0(i);
  }
  CalculateKineticEnergy(D, S, R);
  if (Solves(PKEpsLB)) CalcEpsilonLamBremhorst();
  else if (ls) CalcEpsilonLaunderSharma();
  else CalcEpsilonStandard();
  ReaVec &e = vars_[Epsilon], &x = Nodal(work_.newField);
  // The Launder-Sharma variable vanishes on a no-slip wall (a wall node of fixed velocity).
  const BitVec &given = conds_[FixTurbVar], &wall = conds_[WallLawNodes], &noSlip = conds_[FixVelX];
  const double lo = Lo(6), hi = Hi(6);
  auto fixed = [&](unsigned i, double& v) {
    if (Bit(given, i) || (fixTurbBodies_ && Bit(wall, i))) return true;
    if (!ls || !Bit(wall, i) || !Bit(noSlip, i)) return false;
    v = lo;
    return true;
  };
  // Lam-Bremhorst's source, of the step's start, stays on the consistent mass: lumped, its wall
  // layer, where the production exceeds the destruction, was not steady in 5,000 steps of 4 s,
  // where it is in 263 (one state at steps of 1, 2 and 4 s either way). Launder-Sharma's, with its
  // E term, stays there too, its split blended.
  Transport(*this, e, vars_[Epsilon0], D, S, R, Rhs(0), x, 6, fixed, "Fluid turbulence: Epsilon",
            Sink{&work_.tangent, 0, !Solves(PKEpsLB) && !ls});
  for (unsigned i = 1; i <= e.length(); ++i) {
    double v = e(i);
    if (fixed(i, v)) continue;
    e(i) = x(i) < lo ? pattern_->row_larger(int(i) - 1, x, lo) : std::fmin(x(i), hi);
  }
  const ReaVec& k = vars_[KEnergy];
  ReaVec& fmu = work_.damping;
  // Launder-Sharma's f_mu is taken with the epsilon just solved, as nu_t's k^2 / epsilon is:
  // with the epsilon before the solve, nu_t answered a change of epsilon a second time one
  // iteration later, and at one iteration a step the wall layer's k and epsilon swung with an
  // amplitude that nearly doubled every ten steps until the step took more iterations.
  if (ls) {
    const ReaVec& nu = vars_[KVisc];
    for (unsigned i = 1; i <= k.length(); ++i) fmu(i) = LaunderSharmaDamping(k(i), e(i), nu(i));
  }
  ReaVec& nut = vars_[TVisc];
  for (unsigned i = 1; i <= k.length(); ++i)
    nut(i) = k(i) < 1e-14 || e(i) < 1e-14 ? 1e-14 : fmu(i) * 0.09 * k(i) * k(i) / e(i);
  ClampVar(nut, 10);
}

void FluidDomain::SolveKEpsilon2Layers() {
  if (!Solves(PKEps2L)) return;
  Clock clock("Solving Turbulence");
  IterationProduction(*this);
  CalculateWallLaw();
  ReaVec &D = Nodal(work_.diffusivity), &S = Nodal(work_.source), &R = Nodal(work_.reaction);
  KEpsilonEnergyTerms(*this, D, S, R);
  CalculateKineticEnergy(D, S, R);
  CalcEpsilonStandard();
  ReaVec& e = vars_[Epsilon];
  const ReaVec &k = vars_[KEnergy], &y = vars_[WallDist], &nu = vars_[KVisc];
  const BitVec &given = conds_[FixTurbVar], &wall = conds_[WallLawNodes];
  // Near a wall (Re_y up to 200) epsilon follows the one-equation length scale instead.
  auto nearWall = [&](unsigned i, double& v) {
    if (Bit(given, i)) return true;
    const double rey = y(i) * std::sqrt(k(i)) / nu(i) + 1e-14;
    if (!Bit(wall, i) && rey > 200) return false;
    v = y(i) < 1e-14 ? Lo(6)
                     : std::fmin(Hi(6), 0.1643 * std::pow(k(i), 1.5) * (1 + 5.3 / (rey + 1e-14)) / (0.41 * y(i) + 1e-14));
    return true;
  };
  Transport(*this, e, vars_[Epsilon0], D, S, R, Rhs(0), Nodal(work_.newField), 6, nearWall,
            "Fluid turbulence: Epsilon", Sink{&work_.tangent, 0, true});
  ClampVar(e, 6);
  ReaVec& nut = vars_[TVisc];
  for (unsigned i = 1; i <= k.length(); ++i) {
    const double sk = std::sqrt(k(i));
    const double rey = y(i) * sk / nu(i) + 1e-14;
    const double g = TwoLayerWeight((rey - 200) / 200);
    nut(i) = g * 0.09 * k(i) * k(i) / e(i) + (g < 1 ? (1 - g) * TwoLayerViscosityLength(y(i), rey) * sk : 0.0);
  }
  ClampVar(nut, 10);
}

// ---------------------------------------------------------------- k-omega family and k-k tau

void FluidDomain::SolveKOmega() {
  if (!Solves(PKOmega)) return;
  Clock clock("Solving Turbulence");
  IterationProduction(*this);
  CalculateWallLaw();
  ReaVec &D = Nodal(work_.diffusivity), &S = Nodal(work_.source), &R = Nodal(work_.reaction), &T = Nodal(work_.tangent);
  ReaVec &k = vars_[KEnergy], &om = vars_[Omega], &nut = vars_[TVisc];
  const ReaVec &nu = vars_[KVisc], &pk = vars_[KProduction], &k0 = vars_[KEnergy0], &om0 = vars_[Omega0];
  for (unsigned i = 1; i <= k.length(); ++i) {
    D(i) = nut(i) / 2.0 + nu(i);
    S(i) = std::fmin(pk(i), (0.09 * k0(i) * om0(i) + 1e-14) * Pk_LIMIT);
    R(i) = 0.09 * om(i);
  }
  CalculateKineticEnergy(D, S, R);
  for (unsigned i = 1; i <= k.length(); ++i) {
    D(i) = nut(i) / 2.0 + nu(i);
    // beta = 0.075 (beta* = 0.09 is k's): with sigma 1/2 and gamma 5/9 the log layer then has
    // kappa^2 = sqrt(beta*) (beta / beta* - gamma) / sigma, kappa = 0.41; 0.09 gave 0.52.
    T(i) = Split(0.556 * pk(i) / k(i), 0.075 * om(i), om(i), Pw_LIMIT, Rw_LIMIT, S(i), R(i));
  }
  Transport(*this, om, vars_[Omega0], D, S, R, Rhs(0), Nodal(work_.newField), 7,
            InSets{conds_[FixTurbVar], &conds_[WallLawNodes]}, "Fluid turbulence: Omega", Sink{&T, 0, true});
  ClampVar(om, 7);
  for (unsigned i = 1; i <= k.length(); ++i) nut(i) = k(i) < 1e-14 || om(i) < 1e-14 ? 1e-14 : k(i) / om(i);
  ClampVar(nut, 10);
}

void FluidDomain::SolveKOmegaSST() {
  if (!Solves(PKOmegaSST)) return;
  Clock clock("Solving Turbulence");
  IterationProduction(*this, true);
  CalculateWallLaw();
  ReaVec &D = Nodal(work_.diffusivity), &S = Nodal(work_.source), &R = Nodal(work_.reaction), &F1 = Nodal(work_.blending);
  ReaVec &k = vars_[KEnergy], &om = vars_[Omega], &nut = vars_[TVisc];
  const ReaVec &nu = vars_[KVisc], &pk = vars_[KProduction], &k0 = vars_[KEnergy0], &om0 = vars_[Omega0],
               &y = vars_[WallDist], &w = vars_[Vorticity], &inv = invLumped_;
  // Cross diffusion CD = 2 sigma_w2 grad k . grad omega / omega.
  ReaVec &cd = Nodal(work_.tangent), &gk = Nodal(work_.variableGradient[0]), &gw = Nodal(work_.variableGradient[1]);
  cd = 0.0;
  for (int c = 0; c < 3; ++c) {
    sys_[2 + c]->mult(k.GivePointer(), gk.GivePointer());
    sys_[2 + c]->mult(om.GivePointer(), gw.GivePointer());
    for (unsigned i = 1; i <= k.length(); ++i) cd(i) += gk(i) * gw(i) * inv(i) * inv(i);
  }
  for (unsigned i = 1; i <= k.length(); ++i) {
    cd(i) = std::fmax(1.712 * cd(i) / om(i), 1e-20);
    const double yy = std::fmax(y(i), 1e-14);
    const double a = std::fmax(500 * nu(i) / (yy * yy * om(i)), std::sqrt(k(i)) / (0.09 * om(i) * yy));
    const double arg = std::fmin(a, 3.424 * k(i) / (cd(i) * yy * yy));
    F1(i) = std::tanh(arg * arg * arg * arg);
    D(i) = (1 - F1(i) + 0.85 * F1(i)) * nut(i) + nu(i);
    S(i) = std::fmin(pk(i), (0.09 * k0(i) * om0(i) + 1e-14) * Pk_LIMIT);
    R(i) = 0.09 * om(i);
  }
  CalculateKineticEnergy(D, S, R);
  for (unsigned i = 1; i <= k.length(); ++i) {
    const double f = F1(i);
    const double pw = std::fmin(2500 * om0(i) * om0(i), w(i) * w(i) * (0.553 * f + 0.44 * (1 - f)) + (1 - f) * cd(i));
    D(i) = (0.5 * f + 0.856 * (1 - f)) * nut(i) + nu(i);
    // cd is read: the tangent reaction takes its place.
    cd(i) = Split(pw / om(i), (0.075 * f + 0.0828 * (1 - f)) * om(i), om(i), Pw_LIMIT, Rw_LIMIT, S(i), R(i));
  }
  Transport(*this, om, vars_[Omega0], D, S, R, Rhs(0), Nodal(work_.newField), 7,
            InSets{conds_[FixTurbVar], &conds_[WallLawNodes]}, "Fluid turbulence: Omega", Sink{&cd, 0, true});
  ClampVar(om, 7);
  for (unsigned i = 1; i <= k.length(); ++i) {
    if (k(i) < 1e-14 || om(i) < 1e-14) {
      nut(i) = 1e-14;
      continue;
    }
    const double yy = std::fmax(y(i), 1e-14);
    const double b = std::fmax(500 * nu(i) / (yy * yy * om(i)), 2 * std::sqrt(k(i)) / (0.09 * om(i) * yy));
    const double f2 = std::tanh(b * b);
    nut(i) = f2 * w(i) / (0.31 * om(i)) <= 1 ? k(i) / om(i) : 0.31 * k(i) / (f2 * w(i));
  }
  ClampVar(nut, 10);
}

void FluidDomain::SolveK_KT() {
  if (!Solves(PKKT)) return;
  Clock clock("Solving Turbulence");
  IterationProduction(*this);
  CalculateWallLaw();
  ReaVec &D = Nodal(work_.diffusivity), &S = Nodal(work_.source), &R = Nodal(work_.reaction);
  ReaVec &k = vars_[KEnergy], &kt = vars_[KTau], &nut = vars_[TVisc];
  const ReaVec &nu = vars_[KVisc], &pk = vars_[KProduction], &k0 = vars_[KEnergy0];
  // k and k tau = k^2 / epsilon carry the standard k-epsilon model (C1 1.44, C2 1.92), with one
  // sigma, epsilon's 1.3, for both, so that its transformation has no term in the second
  // derivatives of k: epsilon = k / tau.
  constexpr double sigma = 1.3, c1 = 1.44, c2 = 1.92;
  for (unsigned i = 1; i <= k.length(); ++i) {
    D(i) = nut(i) / sigma + nu(i);
    S(i) = std::fmin(pk(i), (0.09 * k0(i) * k0(i) / nut(i) + 2e-14) * Pk_LIMIT);
    R(i) = 0.09 * k(i) / nut(i);
  }
  CalculateKineticEnergy(D, S, R);
  // d(k tau)/dt = div(D grad k tau) + (2 - C1) P_k tau - (2 - C2) k - 2 D k |grad tau|^2 / tau: the
  // growth is explicit, the decay and the cross diffusion a reaction. In the log layer, where
  // P_k = epsilon and tau grows linearly from the wall, the cross diffusion takes twice what the
  // diffusion brings and kappa^2 = sigma (C2 - C1) sqrt(0.09), kappa = 0.43.
  ReaVec &tau = Nodal(work_.damping), &g2 = Nodal(work_.tangent);
  for (unsigned i = 1; i <= k.length(); ++i) tau(i) = kt(i) / k(i);
  GradientSquared(*this, tau, Nodal(work_.variableGradient[0]), g2);
  for (unsigned i = 1; i <= k.length(); ++i) {
    D(i) = nut(i) / sigma + nu(i);
    S(i) = (2 - c1) * pk(i) * tau(i);
    R(i) = (2 - c2) / tau(i) + 2 * D(i) * g2(i) / (tau(i) * tau(i));
  }
  Transport(*this, kt, vars_[KTau0], D, S, R, Rhs(0), Nodal(work_.newField), 8,
            InSets{conds_[FixTurbVar], &conds_[WallLawNodes]}, "Fluid turbulence: Kt");
  ClampVar(kt, 8);
  for (unsigned i = 1; i <= k.length(); ++i) nut(i) = 0.09 * kt(i);
  ClampVar(nut, 10);
}
