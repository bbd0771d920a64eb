// Step lifecycle of the fluid domain: start of a step and of an iteration, relaxation and the
// previous-step fields, conditional conditions, derived nodal fields and assembly helpers.
#include <cmath>

#include "bodies/bodymesh.h"
#include "domain/fluiddomain.h"
#include "domain/fluidmesh.h"
#include "domain/materialcheck.h"
#include "flow/flowsolver.h"
#include "flow/pairdiffusion.h"
#include "flow/phiproblem.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/threads.h"
#include "input/fluidfunction.h"
#include "solvers/patterncolumns.h"
#include "solvers/sparsematrix.h"

namespace {

bool Sized(const ReaVec& v) { return v.length() > 0; }

// Brings a function's masked entries up to date (the first use only works out its flags).
void RefreshMasked(FluidFunction* f, ReaVec& v, const BitVec& mask) {
  if (!f || !Sized(v) || mask.length() == 0) return;
  if (!f->Initialised()) f->isConstant(), f->isTemporal();
  f->update(v, mask);
}

// Relaxes v against its previous-step vector and copies it there (both sized).
void RelaxAndKeep(ReaVec& v, ReaVec& prev, double f) {
  if (!Sized(v) || v.length() != prev.length()) return;
  v.average(prev, f);
  prev = v;
}

// Clamps v into [lo, hi] entry by entry.
void Clamp(ReaVec& v, double lo, double hi) {
  double* p = v.GivePointer();
  for (unsigned i = 0; i < v.length(); ++i) p[i] = p[i] > hi ? hi : (p[i] < lo ? lo : p[i]);
}

// The operands of one scalar equation on the shared pattern (null coefficient: none). The
// symmetric M and L are read through the map from each full position to its stored upper one.
struct ScalarRows {
  int n;
  const int *rp, *ci, *up;
  const double *M, *L, *K, *S, *m, *inv, *tau, *d, *r;
  double alpha;
  const double *v, *u;  // the mass operand of the right-hand side and the stabilised field
  double *A, *b, *w;
  double* a;  // m^-1 K u per row when the transpose product is gathered apart
  // With a capacity: c scales the mass rows, c2 the convection and its stabilisation, and the
  // right-hand side is c M u0 / (dt theta) + M s, read from z = (u0, s, u) per node.
  const double *c, *c2, *z;
};

// Rows [lo, hi). Matrix: A = alpha M + K + tau S + D + diag(r m), D the diffusion of the node
// pairs' mean diffusivities (PairDiffusion; with Diffuse, else no diffusion). Rhs: b = M v. Stab:
// a = m^-1 K u, then (Scatter) w += K^T a row by row while the row of K is at hand, which needs
// the rows in order on one thread (w cleared by the caller); else a is stored for GatherStab.
// Capacity: A = alpha diag(c) M + diag(c2) (K + tau S) + D + diag(r m), b = alpha c M v + M s.
template <bool Matrix, bool Diffuse, bool Rhs, bool Stab, bool Scatter, bool Capacity>
void ScalarPass(const ScalarRows& p, int lo, int hi) {
  // Locals, not members of p: the stores into A and w may not alias them.
  const int *rp = p.rp, *ci = p.ci, *up = p.up;
  const double *M = p.M, *L = p.L, *K = p.K, *S = p.S, *tau = p.tau, *v = p.v, *u = p.u, *z = p.z, *d = p.d;
  const double alpha = p.alpha;
  double *__restrict A = p.A, *__restrict w = p.w;
  for (int i = lo; i < hi; ++i) {
    const double di = Diffuse ? d[i] : 0.0, ri = p.r ? p.r[i] * p.m[i] : 0.0;
    // Without a capacity the weights are those of the plain form, whose bits they keep.
    [[maybe_unused]] const double ai = Capacity ? alpha * p.c[i] : alpha, ki = Capacity ? p.c2[i] : 1.0;
    const double ti = Capacity ? ki * tau[i] : tau[i];
    double mv = 0, ms = 0, ku = 0, excess = 0;
    int diag = rp[i];
    for (int k = rp[i]; k < rp[i + 1]; ++k) {
      const int j = ci[k];
      const double mk = M[up[k]];
      // Without diffusion 0 L, as the row-scaled form added.
      [[maybe_unused]] const double dk = Diffuse ? PairDiffusion(di, d[j], L[up[k]], excess) : 0.0 * L[up[k]];
      if constexpr (Matrix) diag = j == i ? k : diag;
      if constexpr (Matrix && Capacity)
        A[k] = ai * mk + ki * K[k] + ti * S[k] + dk + (j == i ? ri : 0.0);
      else if constexpr (Matrix)
        A[k] = alpha * mk + K[k] + ti * S[k] + dk + (j == i ? ri : 0.0);
      if constexpr (Capacity) {
        const double* zj = z + 3 * std::size_t(j);
        if constexpr (Rhs) mv += mk * zj[0], ms += mk * zj[1];
        if constexpr (Stab) ku += K[k] * zj[2];
      } else {
        if constexpr (Rhs) mv += mk * v[j];
        if constexpr (Stab) ku += K[k] * u[j];
      }
    }
    if constexpr (Matrix && Diffuse) A[diag] -= 0.5 * excess;
    if constexpr (Rhs && Capacity) p.b[i] = mv * alpha * p.c[i] + ms;
    else if constexpr (Rhs) p.b[i] = mv;
    if constexpr (Stab) {
      const double a = ku * p.inv[i];
      if constexpr (Scatter) {
        for (int k = rp[i]; k < rp[i + 1]; ++k) w[ci[k]] += K[k] * a;
      } else {
        p.a[i] = a;
      }
    }
  }
}

// The pass over all rows, forked when the rows are many; with the stabilisation only when `cols`
// is given, the transpose product then gathered by GatherStab.
template <bool Matrix, bool Diffuse, bool Rhs, bool Stab, bool Capacity>
void ScalarRowsPass(const ScalarRows& p, const PatternColumns* cols) {
  if (Stab ? !cols : !Threaded(std::size_t(p.n)))
    return ScalarPass<Matrix, Diffuse, Rhs, Stab, true, Capacity>(p, 0, p.n);
  ForBlocks(std::size_t(p.n), [&](int, std::size_t lo, std::size_t hi) {
    ScalarPass<Matrix, Diffuse, Rhs, Stab, false, Capacity>(p, int(lo), int(hi));
  });
}

// The passes that build the matrix, with or without diffusion.
template <bool Diffuse, bool Capacity>
void MatrixRowsPass(const ScalarRows& p, const PatternColumns* cols, bool rhs, bool stab) {
  if (stab) ScalarRowsPass<true, Diffuse, true, true, Capacity>(p, cols);
  else if (rhs) ScalarRowsPass<true, Diffuse, true, false, Capacity>(p, cols);
  else ScalarRowsPass<true, Diffuse, false, false, Capacity>(p, cols);
}

// The pass for the operands at hand.
template <bool Capacity>
void ScalarRowsPass(const ScalarRows& p, const PatternColumns* cols, bool rhs, bool stab) {
  if (p.A && p.d) MatrixRowsPass<true, Capacity>(p, cols, rhs, stab);
  else if (p.A) MatrixRowsPass<false, Capacity>(p, cols, rhs, stab);
  else if (stab) ScalarRowsPass<false, false, true, true, Capacity>(p, cols);
  else if (rhs) ScalarRowsPass<false, false, true, false, Capacity>(p, cols);
}

// w = K^T a gathered by column over rows [lo, hi), each column summing its rows in ascending
// order: the bits of the row-by-row scatter. toRhs: b += tau w (times c2 with a capacity) at
// once (w not stored).
void GatherStab(const ScalarRows& p, const PatternColumns& cols, bool toRhs, int lo, int hi) {
  const int *cs = cols.Start(), *cr = cols.Row(), *cp = cols.Pos();
  const double *K = p.K, *a = p.a;
  for (int j = lo; j < hi; ++j) {
    double sum = 0;
    for (int t = cs[j]; t < cs[j + 1]; ++t) sum += K[cp[t]] * a[cr[t]];
    const double wj = 0.0 + sum;  // as the scatter, which starts from a cleared w
    if (toRhs) p.b[j] += p.c2 ? wj * p.tau[j] * p.c2[j] : p.tau[j] * wj;
    else p.w[j] = wj;
  }
}

}  // namespace

void CheckMaterials(std::initializer_list<MaterialBound> fields, MaterialStage stage) {
  const bool step = stage == MaterialStage::Step;
  for (const MaterialBound& m : fields) {
    if (!Sized(m.field)) continue;
    if (UnsoundMaterial(m.field, step ? m.least : -HUGE_VAL)) OLVU_FATAL(m.unsound << "\n\tCheck material data.\n");
    if (step && m.null && m.field.min_val() == 0) OLVU_WARNING(0, m.null << "\n\tCheck material data.");
  }
}

void CheckFluidMaterials(FluidDomain& d, MaterialStage stage) {
  CheckMaterials({{d.Var(Dens), 1e-14, "Wrong specific heat field (Density < 0.0) found."},
                  {d.Var(Visc), 0, "Wrong fluid viscosity field (Viscosity < 0.0) found."},
                  {d.Var(SpHeat), 0, "Wrong specific heat field (Cp < 0.0) found.", "Null specific heat found."},
                  {d.Var(Conduct), 0, "Wrong conductivity field (K < 0.0) found.", "Null conductivity found."},
                  {d.Var(Compress), 0, "Wrong compressibility field (1/C^2 < 0.0) found."},
                  {d.Var(EnergyV), 0, "Wrong energy field (Energy < 0.0) found."}},
                 stage);
}

// ---------------------------------------------------------------- step

void FluidDomain::StartNewStep() {
  theta_ = (scheme_ == Crank_Nicolson && !Initial_Phase) ? 0.5 : 1.0;
  dt_ = Run_Time_Increment;
  dtTheta_ = dt_ * theta_;
  invDtTheta_ = dtTheta_ > 0 ? 1.0 / dtTheta_ : 0.0;

  if (Start_Phase) {
    for (int c = 0; c < 3; ++c) {
      vars_[VelX + c] *= Accelerate_Factor;
      if (vars_[VelX0 + c].length() == vars_[VelX + c].length()) vars_[VelX0 + c] = vars_[VelX + c];
    }
    for (double& v : normalVelocity_) v *= Accelerate_Factor;
  }

  const DofType vk[3] = {DofType::VelocityX, DofType::VelocityY, DofType::VelocityZ};
  // A plane problem keeps its Z velocity at 0 (InitialiseDomain).
  for (int c = 0; c < (Dimension_Olvu == 3 ? 3 : 2); ++c)
    RefreshMasked(initial_->FFunc(int(vk[c])), vars_[VelX + c], conds_[FieldVelX + c]);
  // The pressure function's magnitude is pressure over density: it is in the solve's units.
  if (Flag(PPressure)) RefreshMasked(initial_->FFunc(int(DofType::Pressure)), vars_[Pres], conds_[FieldPres]);
  if (Flag(PTemperature)) RefreshMasked(initial_->FFunc(int(DofType::Temperature)), vars_[Temp], conds_[FieldTemp]);

  UpdateDomainFunction(DofType::Density, vars_[Dens]);
  if (Flag(PVelocity)) UpdateDomainFunction(DofType::Viscosity, vars_[Visc]);
  if (Flag(PTemperature)) {
    UpdateDomainFunction(DofType::SpecificHeat, vars_[SpHeat]);
    UpdateDomainFunction(DofType::Conductivity, vars_[Conduct]);
  }
  if (Flag(PCompressibility)) UpdateDomainFunction(DofType::Compressibility, vars_[Compress]);
  if (Flag(PEnergy)) UpdateDomainFunction(DofType::KineticEnergy, vars_[EnergyV]);
  CheckFluidMaterials(*this, MaterialStage::Step);
  if (Flag(PVelocity)) vars_[KVisc].quotient(vars_[Visc], vars_[Dens]);
  if (Flag(PCompressibility)) vars_[DensCopy] = vars_[Dens];

  UpdateConditions();
  EachScalarProblem(*this, [](PhiProblem& p) { p.StartNewStep(); });

  if (Flag(PTemperature) && Sized(vars_[Temp])) {
    if (MinValue.length() < 3) MinValue.resize(23, 0.0), MaxValue.resize(23, 0.0), MedValue.resize(23, 0.0);
    MaxValue(3) = vars_[Temp].max_val();
    MinValue(3) = vars_[Temp].min_val();
  }
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) m->StartNewStep();
  if (Sized(vars_[WallDist]) && nearest_.length() == unsigned(numNodes)) {
    // The wall distance follows the first-node distance that the wall laws assume.
    ReaVec& speed = vars_[Work1];
    ReaVec& ustar = vars_[Work2];
    ReaVec& y = vars_[Work3];
    speed.norm(vars_[VelX], vars_[VelY], vars_[VelZ]);
    for (int k = 1; k <= numNodes; ++k)
      ustar(unsigned(k)) = std::sqrt(vars_[WallFactor](unsigned(k)) * speed(unsigned(k)));
    y = vars_[WallDist];
    b = 0;
    while (BodyMesh* m = giveNextBody(b)) m->ReadWallDistance(y, ustar, vars_[KVisc]);
    for (int l = 1; l <= numNodes; ++l) {
      const int p = nearest_(unsigned(l));
      if (p != l && p != -1) y(unsigned(l)) += y(unsigned(p)) - vars_[WallDist](unsigned(p));
    }
    vars_[WallDist] = y;
  }
  if (Sized(vars_[KProduction])) CalcKProduction(vars_[KProduction]);
  if (Sized(vars_[Vorticity])) CalcVorticity(vars_[Vorticity]);

  if (Reference_Velocity.length() == 0) Reference_Velocity.resize(3, 1e-14);
  if (Fluid_Volume > 0 && numNodes > 0)
    for (int c = 0; c < 3; ++c) {
      double s = 0;
      const double* u = vars_[VelX + c].GivePointer();
      const double* m = lumped_.GivePointer();
      for (int k = 0; k < numNodes; ++k) s += m[k] * u[k];
      Reference_Velocity(unsigned(c + 1)) = s / Fluid_Volume;
    }

  if (Total_Time > 0) {
    double L2 = 0;
    for (unsigned c = 1; c <= 3; ++c) L2 += (maxCorner(c) - minCorner(c)) * (maxCorner(c) - minCorner(c));
    const double L = std::sqrt(L2);
    if (L > 1e-14 && L / (1e-14 + AverVelocity * dt_ * theta_) < 25)
      OLVU_WARNING(3, "Found (Velocity x Time_Increment) too high.\n\t" << "Time Increment may be too high for this analysis.");
  }
}

void FluidDomain::StartNewIteration() {
  if (VarDenominat.length() < 12) VarDenominat.resize(23, 0.0);
  if (Flag(PVelocity)) {
    ReaVec& s = vars_[Work1];
    s.norm(vars_[VelX], vars_[VelY], vars_[VelZ]);
    Max_Velocity = s.length() ? s.max_abs() : 0.0;
    if (Max_Velocity < 1e-14) {
      const double a = 2 * theta_ * Run_Time_Increment * Gravity;
      const double b = Run_Time_Increment > 0 ? 0.1 * Char_Length / Run_Time_Increment : 0.0;
      Max_Velocity = (a > b ? a : b) + 1e-14;
      AverVelocity = 1e-14;
    } else {
      if (Reference_Velocity.length() == 0) Reference_Velocity.resize(3, 0.0);
      double n2 = 0;
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        const double* u = vars_[VelX + c].GivePointer();
        const double* m = lumped_.GivePointer();
        for (int k = 0; k < numNodes; ++k) sum += m[k] * u[k];
        const double r = Fluid_Volume > 0 ? sum / Fluid_Volume : 0.0;
        Reference_Velocity(unsigned(c + 1)) = r;
        n2 += r * r;
      }
      AverVelocity = std::sqrt(n2);
      if (AverVelocity < 1e-14) Reference_Velocity(1) = AverVelocity = 1e-14;
    }
    VarDenominat(1) = Max_Velocity;
  }
  if (Flag(PPressure)) {
    const double rho = vars_[Dens].length() ? vars_[Dens].max_abs() : 0.0;
    double q = 0.5 * rho * Max_Velocity * Max_Velocity;
    const double p = (vars_[Pres].length() ? vars_[Pres].max_abs() : 0.0) + 1e-14;
    if (q < p) q = p;
    VarDenominat(2) = q * Fluid_Volume;
  }
  if (Flag(PTemperature)) VarDenominat(3) = (vars_[Temp].length() ? vars_[Temp].max_abs() : 0.0) + 1e-14;
  if (Flag(PTranspiration)) {
    const double b = vars_[Beta].length() ? vars_[Beta].max_abs() : 0.0;
    VarDenominat(12) = b > Min_Length ? b : Min_Length;
  }
}

void FluidDomain::UpdateConditions() {
  struct Group {
    int condSet, fixedSet;
    DofType kind;
    int value, previous;
  };
  const Group groups[5] = {{CondVelNodes, FixVelX, DofType::VelocityX, VelX, VelX0},
                           {CondVelNodes, FixVelY, DofType::VelocityY, VelY, VelY0},
                           {CondVelNodes, FixVelZ, DofType::VelocityZ, VelZ, VelZ0},
                           {CondPresNodes, FixPres, DofType::Pressure, Pres, PresWork},
                           {CondTempNodes, FixTemp, DofType::Temperature, Temp, Temp0}};
  for (const Group& g : groups) {
    if (g.kind == DofType::VelocityZ && Dimension_Olvu != 3) continue;  // no Z velocity in a plane problem
    BitVec& cond = conds_[g.condSet];
    if (cond.length() == 0 || cond.null()) continue;
    FluidFunction* test = conditional_ ? conditional_->FFunc(int(g.kind)) : nullptr;
    if (!test) continue;
    FluidFunction* value = initial_ ? initial_->FFunc(int(g.kind)) : nullptr;
    test->bind();
    if (value) value->bind();
    BitVec& fixed = conds_[g.fixedSet];
    ReaVec& v = vars_[g.value];
    ReaVec& v0 = vars_[g.previous];
    for (int j = 1; j <= numNodes; ++j) {
      if (!cond(unsigned(j))) continue;
      const double s = test->at(j);
      if (s > 0) {
        fixed.assign(unsigned(j), 1);
        if (value) {
          const double x = value->at(j);
          if (Sized(v)) v(unsigned(j)) = x;
          if (Sized(v0)) v0(unsigned(j)) = x;
        }
      } else if (s < 0) {
        fixed.assign(unsigned(j), 0);
      }
    }
  }
}

void FluidDomain::UpdateVariables(double f) {
  int b = 0;
  if (Sized(vars_[VelX]))
    while (BodyMesh* m = giveNextBody(b))
      if (m->OutFlowBound()) m->OutFlowBound(vars_[VelX], vars_[VelY], vars_[VelZ]);
  UpdateConditions();
  RelaxAndKeep(vars_[VelX], vars_[VelX0], f);
  for (int c : {1, 2}) {
    ReaVec& v = vars_[VelX + c];
    ReaVec& prev = vars_[VelX0 + c];
    if (!Sized(v) || v.length() != prev.length()) continue;
    if (conds_[WallLawNodes].length() == v.length()) v.average(prev, conds_[WallLawNodes], f);
    else v.average(prev, f);
    prev = v;
  }
  if (Sized(vars_[Pres]) && vars_[Pres0].length() == vars_[Pres].length()) vars_[Pres0] = vars_[Pres];
  RelaxAndKeep(vars_[Dens], vars_[DensCopy], f);
  if (Sized(vars_[Temp]) && vars_[Temp0].length() == vars_[Temp].length()) {
    vars_[Temp].average(vars_[Temp0], f);
    if (f < 1 && MinValue.length() >= 3) Clamp(vars_[Temp], MinValue(3), MaxValue(3));
    vars_[Temp0] = vars_[Temp];
  }
  if (Sized(vars_[EnergyV]) && vars_[EnergyV0].length() == vars_[EnergyV].length()) {
    vars_[EnergyV].average(vars_[EnergyV0], f);
    if (f < 1) vars_[EnergyV].min_limit(1e-14);
    vars_[EnergyV0] = vars_[EnergyV];
  }
  RelaxAndKeep(vars_[Pseudo], vars_[Pseudo0], f);
  const int turb[4][3] = {{KEnergy, KEnergy0, 6}, {Epsilon, Epsilon0, 7}, {Omega, Omega0, 8}, {KTau, KTau0, 9}};
  for (const auto& t : turb) {
    ReaVec& v = vars_[t[0]];
    ReaVec& prev = vars_[t[1]];
    if (!Sized(v) || v.length() != prev.length()) continue;
    v.average(prev, f);
    if (f < 1 && MinValue.length() >= unsigned(t[2])) Clamp(v, MinValue(unsigned(t[2])), MaxValue(unsigned(t[2])));
    prev = v;
  }
  if (Sized(vars_[SAVar]) && vars_[SAVar0].length() == vars_[SAVar].length()) {
    vars_[SAVar].average(vars_[SAVar0], f);
    if (f < 1) vars_[SAVar].min_limit(1e-14);
    vars_[SAVar0] = vars_[SAVar];
  }
}

double FieldChange(const ReaVec& v, const ReaVec& v0, const ReaVec* w) {
  const unsigned n = v.length();
  if (n == 0 || v0.length() != n) return 0;
  const double* a = v.GivePointer();
  const double* b = v0.GivePointer();
  const double* wp = w ? w->GivePointer() : nullptr;
  double largest = 0, sum = 0;
  bool finite = true;
  for (unsigned i = 0; i < n; ++i) {
    finite = finite && std::isfinite(a[i]);
    const double d = std::fabs(a[i] - b[i]);
    if (wp) sum += wp[i] * d;
    else if (d > largest) largest = d;
  }
  if (!finite) return std::nan("");
  return wp ? sum : largest;
}

double FluidDomain::StepIncrement(int k) const {
  // Until the step finishes the previous-step fields hold the start of the step.
  switch (k) {
    case 0: {
      if (!Flag(PVelocity)) return 0;
      double d = 0;
      for (int c = 0; c < 3; ++c) d += FieldChange(vars_[VelX + c], vars_[VelX0 + c], nullptr);
      return d;
    }
    case 1:
      if (!Flag(PPressure) || lumped_.length() != vars_[Pres].length()) return 0;
      return FieldChange(vars_[Pres], vars_[Pres0], &lumped_);
    case 2:
      return Flag(PTemperature) ? FieldChange(vars_[Temp], vars_[Temp0], nullptr) : 0;
    default:
      return 0;
  }
}

void FluidDomain::FinishStep() {
  UpdateVariables(theta_);
  const double theta = theta_;
  EachScalarProblem(*this, [theta](PhiProblem& p) { p.UpdateVariables(theta); });
  UpdateMeshDeformation();
}

// ---------------------------------------------------------------- derived fields

namespace {

// out = (G q) times the inverse lumped mass.
void Derivative(SystemSparseMatrix* G, const ReaVec& q, const ReaVec& invm, ReaVec& out) {
  G->mult(q.GivePointer(), out.GivePointer());
  out.product(invm);
}

}  // namespace

void FluidDomain::VelocityGradient(ReaVec (&grad)[3][3]) {
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) {
      grad[a][b].resize(unsigned(numNodes));
      Derivative(sys_[2 + b], vars_[VelX + a], invLumped_, grad[a][b]);
    }
}

void FluidDomain::CalcKProduction(ReaVec& p) {
  if (!sys_[2] || !Sized(vars_[TVisc])) return;
  // P_k = nu_t |S|^2.
  CalcGradVelocity(p);
  for (unsigned i = 1; i <= p.length(); ++i) p(i) = vars_[TVisc](i) * p(i) * p(i);
}

void FluidDomain::CalcVorticity(ReaVec& w) {
  if (!sys_[2]) return;
  ReaVec grad[3][3];
  VelocityGradient(grad);
  for (int k = 1; k <= numNodes; ++k) {
    const unsigned i = unsigned(k);
    const double a = grad[2][1](i) - grad[1][2](i), b = grad[2][0](i) - grad[0][2](i), c = grad[1][0](i) - grad[0][1](i);
    w(i) = std::sqrt(a * a + b * b + c * c);
  }
}

void FluidDomain::ReadFromWallVariables(ReaVec& from, ReaVec& to) {
  for (unsigned i = 1; i <= from.length() && i <= nearest_.length(); ++i) {
    const int p = static_cast<const IntVec&>(nearest_)(i);
    to(i) = p == -1 ? 0.0 : from(unsigned(p));
  }
}

void FluidDomain::AddFromWallVariables(ReaVec& from, ReaVec& to) {
  for (unsigned i = 1; i <= from.length() && i <= nearest_.length(); ++i) {
    const int p = static_cast<const IntVec&>(nearest_)(i);
    if (p != -1 && p != int(i)) to(i) = from(unsigned(p));
  }
}

void FluidDomain::DetectOscillations(ReaVec& q) {
  if (!sys_[7]) return;
  ReaVec& a = vars_[Work1];
  ReaVec& b = vars_[Work2];
  ReaVec& c = vars_[Work3];
  sys_[7]->mult(q.GivePointer(), b.GivePointer());
  b.product(invLumped_);
  mass_->mult(b.GivePointer(), c.GivePointer());
  c.product(invLumped_);
  for (int k = 1; k <= numNodes; ++k) {
    const unsigned i = unsigned(k);
    const double e = 1 - std::fabs(a(i) - c(i)) / (std::fabs(a(i)) + std::fabs(c(i)) + 1e-14);
    b(i) = 2 * e < 1 ? 2 * e : 1;
  }
}

// ---------------------------------------------------------------- assembly helpers

void FluidDomain::EquationTau(const ReaVec& d, const ReaVec* q) {
  const double* tv = vars_[TauV].GivePointer();
  const double* h = vars_[ElemSize].GivePointer();
  const double* dp = Sized(d) ? d.GivePointer() : nullptr;
  const double* qp = q && Sized(*q) ? q->GivePointer() : nullptr;
  const double lo = tauLow_, hi = tauHigh_;
  double* t = vars_[TauEq].GivePointer();
  ParallelFor(std::size_t(numNodes), [=](std::size_t k) {
    double tk = tv[k];
    if (dp) tk = Eval_Tau(tk, qp ? dp[k] / (qp[k] > 1e-14 ? qp[k] : 1e-14) : dp[k], h[k]);
    t[k] = tk > hi ? hi : (tk < lo ? lo : tk);
  });
}

void FluidDomain::AssembleSystem(ReaVec& u, ReaVec& u0, ReaVec& s, ReaVec& d, ReaVec& r, ReaVec& out, int order) {
  EquationTau(d, nullptr);
  ScalarSystem(&d, &r, &u, &u0, &s, &out, order);
}

void FluidDomain::AssembleSystem(ReaVec& u, ReaVec& u0, ReaVec& c, ReaVec& s, ReaVec& d, ReaVec& r, ReaVec& out,
                                 int order) {
  EquationTau(d, &c);
  Assemble_LHS(c, d, r);
  Assemble_RHS(u, u0, c, s, out, order);
}

void FluidDomain::AssembleSystem(ReaVec& u, ReaVec& u0, ReaVec& c, ReaVec& c2, ReaVec& s, ReaVec& d, ReaVec& r,
                                 ReaVec& out, int order) {
  EquationTau(d, &c2);
  ScalarSystem(&d, &r, &u, &u0, &s, &out, order, &c, &c2);
}

void FluidDomain::Assemble_LHS(ReaVec& d, ReaVec& r) { ScalarSystem(&d, &r, nullptr, nullptr, nullptr, nullptr, 0); }

void FluidDomain::ScalarSystem(ReaVec* d, ReaVec* r, ReaVec* u, ReaVec* u0, ReaVec* s, ReaVec* out, int order,
                               ReaVec* c, ReaVec* c2) {
  // The streamline term tau S is implicit whatever the order: the fourth-order right-hand side
  // below only takes back its projected part, tau K^T m^-1 K u, which without tau S on the left
  // would be an explicit anti-diffusion that amplifies every streamwise wiggle.
  const bool rhs = out != nullptr, stab = rhs && (order == 1 || order == 2);
  ScalarRows p{numNodes,
               pattern_->row_ptr(0),
               pattern_->col_ind(0),
               pattern_->spos_ind(0),
               mass_->val(0),
               lap_->val(0),
               sys_[7]->val(0),
               sys_[8]->val(0),
               lumped_.GivePointer(),
               invLumped_.GivePointer(),
               vars_[TauEq].GivePointer(),
               d && Sized(*d) ? d->GivePointer() : nullptr,
               r && Sized(*r) ? r->GivePointer() : nullptr,
               invDtTheta_,
               nullptr,
               u ? u->GivePointer() : nullptr,
               d ? sys_[0]->val(0) : nullptr,
               rhs ? out->GivePointer() : nullptr,
               nullptr,
               nullptr,
               c ? c->GivePointer() : nullptr,
               c ? c2->GivePointer() : nullptr,
               nullptr};
  if (c && rhs) {
    // c M u0 / (dt theta) + M s: two sums of the one pass (s absent: M 0 adds nothing).
    if (packed_.size() != 3 * std::size_t(numNodes)) packed_.assign(3 * std::size_t(numNodes), 0.0);
    const double *a = u0->GivePointer(), *sp = Sized(*s) ? s->GivePointer() : nullptr, *up = p.u;
    double* z = packed_.data();
    ParallelFor(std::size_t(numNodes), [=](std::size_t k) {
      z[3 * k] = a[k], z[3 * k + 1] = sp ? sp[k] : 0.0, z[3 * k + 2] = up ? up[k] : 0.0;
    });
    p.z = z;
  } else if (rhs) {
    // The mass operand u0 / (dt theta) + s, so that one product gives both terms.
    const double* a = u0->GivePointer();
    const double* sp = Sized(*s) ? s->GivePointer() : nullptr;
    double* vp = vars_[Work1].GivePointer();
    ParallelFor(std::size_t(numNodes), [=, this](std::size_t k) { vp[k] = invDtTheta_ * a[k] + (sp ? sp[k] : 0.0); });
    p.v = vp;
  }
  // Many threads gather the transpose product by column after the rows; one scatters it within
  // the row pass, while the row of K is at hand.
  const PatternColumns* cols = stab ? Columns() : nullptr;
  ReaVec& w = vars_[Work2];
  p.w = w.GivePointer();
  if (cols) p.a = vars_[Work3].GivePointer();
  else if (stab) w = 0.0;
  if (c) ScalarRowsPass<true>(p, cols, rhs, stab);
  else ScalarRowsPass<false>(p, cols, rhs, stab);
  if (!stab) return;
  const bool fused = cols && order != 2;  // b += tau w within the gather
  if (cols)
    ForBlocks(std::size_t(numNodes),
              [&](int, std::size_t lo, std::size_t hi) { GatherStab(p, *cols, fused, int(lo), int(hi)); });
  if (fused) return;
  if (order == 2) AutoStabOrder(*u, w);
  const double* t = p.tau;
  const double* wp = p.w;
  const double* c2p = p.c2;
  double* b = p.b;
  if (c2p) ParallelFor(std::size_t(numNodes), [=](std::size_t k) { b[k] += wp[k] * t[k] * c2p[k]; });
  else ParallelFor(std::size_t(numNodes), [=](std::size_t k) { b[k] += t[k] * wp[k]; });
}

void FluidDomain::Assemble_LHS(ReaVec& c, ReaVec& d, ReaVec& r) {
  TransportMatrix(c, c, d);
  if (Sized(r)) sys_[0]->row_mult_add(r, lumped_);
}

void FluidDomain::Assemble_LHS(ReaVec& c, ReaVec& c2, ReaVec& d, ReaVec& r) {
  TransportMatrix(c, c2, d);
  if (Sized(r)) sys_[0]->row_mult_add(r, lumped_);
}

ReaVec& FluidDomain::StabilisationTerm(ReaVec& u) {
  ReaVec& a = vars_[Work1];
  ReaVec& w = vars_[Work2];
  sys_[7]->mult(u.GivePointer(), a.GivePointer());
  a.product(invLumped_);
  sys_[7]->trans_mult(a.GivePointer(), w.GivePointer());
  return w;
}

void FluidDomain::Assemble_RHS(ReaVec& u, ReaVec& u0, ReaVec& s, ReaVec& out, int order) {
  ScalarSystem(nullptr, nullptr, &u, &u0, &s, &out, order);
}

void FluidDomain::Assemble_RHS(ReaVec& u, ReaVec& u0, ReaVec& c, ReaVec& s, ReaVec& out, int order) {
  Assemble_RHS(u, u0, c, c, s, out, order);
}

void FluidDomain::Assemble_RHS(ReaVec& u, ReaVec& u0, ReaVec& c, ReaVec& c2, ReaVec& s, ReaVec& out, int order) {
  mass_->mult(u0.GivePointer(), out.GivePointer());
  out *= invDtTheta_;
  out.product(c);
  if (Sized(s) && s != 0.0) mass_->add_mult(s.GivePointer(), out.GivePointer());  // M 0 adds nothing
  if (order != 1 && order != 2) return;
  ReaVec& w = StabilisationTerm(u);
  if (order == 2) AutoStabOrder(u, w);
  w.product(vars_[TauEq]);
  w.product(c2);
  out += w;
}

void FluidDomain::Assemble_STRHS(ReaVec& u, ReaVec& s, ReaVec& out) {
  ReaVec& w = vars_[Work1];
  if (Sized(s) && &s != &w && &u != &w && &out != &w) {
    // One product: M (u / (dt theta) + s).
    const double* up = u.GivePointer();
    const double* sp = s.GivePointer();
    double* wp = w.GivePointer();
    for (int k = 0; k < numNodes; ++k) wp[k] = invDtTheta_ * up[k] + sp[k];
    mass_->mult(wp, out.GivePointer());
    return;
  }
  mass_->mult(u.GivePointer(), out.GivePointer());
  out *= invDtTheta_;
  if (Sized(s) && s != 0.0) mass_->add_mult(s.GivePointer(), out.GivePointer());  // M 0 adds nothing
}

void FluidDomain::SourceReactionLimits(ReaVec& s, ReaVec& r, ReaVec& n, double& hi, double& lo) {
  // Each block from the bounds given, then the widest of the blocks: with hi >= lo the bounds
  // of the loop over all nodes in order (1e100 stands for no bound). Fixed blocks: the same
  // bounds for any thread count.
  const double* sp = s.GivePointer();
  double* rp = r.GivePointer();
  const double hi0 = hi, lo0 = lo;
  double his[kReduceBlocks], los[kReduceBlocks];
  const int blocks = ForBlocks(n.length(), [=, &his, &los](int b, std::size_t first, std::size_t end) {
    double h = hi0, l = lo0;
    for (std::size_t i = first; i < end; ++i) {
      if (rp[i] > 0) {
        const double q = sp[i] / rp[i];
        if (q > h) h = q;
        else if (q < l) l = q;
      } else {
        if (sp[i] < 0) l = -1e100;
        if (sp[i] > 0) h = 1e100;
        rp[i] = 0;
      }
    }
    his[b] = h, los[b] = l;
  });
  hi = his[0], lo = los[0];
  for (int b = 1; b < blocks; ++b) hi = his[b] > hi ? his[b] : hi, lo = los[b] < lo ? los[b] : lo;
}
