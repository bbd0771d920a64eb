// Step lifecycle of the fluid domain: start of a step and of an iteration, relaxation and the
// previous-step fields, conditional conditions and derived nodal fields.
#include <cmath>

#include "domain/fluiddomain.h"
#include "domain/fluidmesh.h"
#include "domain/materialcheck.h"
#include "domain/phiproblem.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "solvers/sparsematrix.h"

namespace {

bool Sized(const ReaVec& v) { return v.length() > 0; }

// Brings a function's masked entries of v up to date (the first use only works out its flags).
// With a start value v0 and theta below 1 they become theta g + (1 - theta) v0: the value at
// t^n + theta dt of a field that is v0 at t^n and the function's g at t^n+1.
void RefreshMasked(FluidFunction* f, ReaVec& v, const BitVec& mask, const ReaVec* v0 = nullptr, double theta = 1) {
  if (!f || !Sized(v) || mask.length() == 0) return;
  if (!f->Initialised()) f->isConstant(), f->isTemporal();
  const bool blend = theta != 1 && v0 && v0->length() == v.length();
  if (blend && !f->isTemporal()) return;  // the value stands
  f->update(v, mask);
  if (!blend) return;
  double* x = v.GivePointer();
  const double* x0 = v0->GivePointer();
  const unsigned n = v.length() < mask.length() ? v.length() : mask.length();
  for (unsigned i = 0; i < n; ++i)
    if (mask[i]) x[i] = theta * x[i] + (1 - theta) * x0[i];
}

// The time t of the functions moved to `t` while it lives.
class FunctionTime {
 public:
  explicit FunctionTime(double t) : saved_(Total_Time) { Total_Time = t; }
  ~FunctionTime() { Total_Time = saved_; }
  FunctionTime(const FunctionTime&) = delete;
  FunctionTime& operator=(const FunctionTime&) = delete;

 private:
  double saved_;
};

bool In(const BitVec& b, unsigned i) { return i <= b.length() && b(i); }

bool HasMembers(const BitVec& b) { return b.length() > 0 && !b.null(); }

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
  RefreshFieldConditions();
  UpdateMaterialFields();
  ApplyConditions(true);
  EachScalarProblem(*this, [](PhiProblem& p) { p.StartNewStep(); });

  if (Solves(PTemperature) && Sized(vars_[Temp])) {
    if (MinValue.length() < 3) MinValue.resize(23, 0.0), MaxValue.resize(23, 0.0), MedValue.resize(23, 0.0);
    MaxValue(3) = vars_[Temp].max_val();
    MinValue(3) = vars_[Temp].min_val();
  }
  parts_->StartNewStep();
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

void FluidDomain::RefreshFieldConditions() {
  // The unknowns of a theta step stand at t^n + theta dt: there the velocity and the temperature
  // take theta g(t^n+1) + (1 - theta) of their start value, which the end of the step
  // extrapolates to g(t^n+1); the pressure, not extrapolated, takes g there.
  const DofType vk[3] = {DofType::VelocityX, DofType::VelocityY, DofType::VelocityZ};
  bool held = HasMembers(conds_[CondVelNodes]);
  for (int c = 0; c < 3; ++c) held = held || HasMembers(conds_[FieldVelX + c]);
  for (int c = 0; c < 3; ++c) {
    ReaVec& h = heldVelocity_[c];
    if (held && vars_[VelX0 + c].length() == vars_[VelX + c].length()) h = vars_[VelX0 + c];
    else h.resize(0);
  }
  // A plane problem keeps its Z velocity at 0 (InitialiseDomain).
  for (int c = 0; c < (Dimension_Olvu == 3 ? 3 : 2); ++c) {
    const BitVec& field = conds_[FieldVelX + c];
    ReaVec& u = vars_[VelX + c];
    RefreshMasked(initial_->FFunc(int(vk[c])), u, field, &vars_[VelX0 + c], theta_);
    ReaVec& h = heldVelocity_[c];
    for (unsigned i = 1; i <= h.length(); ++i)
      if (In(field, i)) h(i) = u(i);
  }
  // The pressure function's magnitude is pressure over density: it is in the solve's units.
  if (Solves(PPressure)) {
    const FunctionTime at(Total_Time - (1 - theta_) * dt_);
    RefreshMasked(initial_->FFunc(int(DofType::Pressure)), vars_[Pres], conds_[FieldPres]);
  }
  if (Solves(PTemperature))
    RefreshMasked(initial_->FFunc(int(DofType::Temperature)), vars_[Temp], conds_[FieldTemp], &vars_[Temp0], theta_);
}

void FluidDomain::UpdateMaterialFields() {
  UpdateDomainFunction(DofType::Density, vars_[Dens]);
  if (Solves(PVelocity)) UpdateDomainFunction(DofType::Viscosity, vars_[Visc]);
  if (Solves(PTemperature)) {
    UpdateDomainFunction(DofType::SpecificHeat, vars_[SpHeat]);
    UpdateDomainFunction(DofType::Conductivity, vars_[Conduct]);
  }
  if (Solves(PCompressibility)) UpdateDomainFunction(DofType::Compressibility, vars_[Compress]);
  if (Solves(PEnergy)) UpdateDomainFunction(DofType::KineticEnergy, vars_[EnergyV]);
  CheckFluidMaterials(*this, MaterialStage::Step);
  if (Solves(PVelocity)) vars_[KVisc].quotient(vars_[Visc], vars_[Dens]);
  if (Solves(PCompressibility)) vars_[DensCopy] = vars_[Dens];
}

void FluidDomain::StartNewIteration() {
  if (!HasConv(VarDenominat, ConvVar::Elevation)) VarDenominat.resize(unsigned(ConvVar::Count), 0.0);
  if (Solves(PVelocity)) {
    ReaVec& s = Nodal(work_.speed);
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
    Conv(VarDenominat, ConvVar::Velocity) = Max_Velocity;
  }
  if (Solves(PPressure)) {
    const double rho = vars_[Dens].length() ? vars_[Dens].max_abs() : 0.0;
    double q = 0.5 * rho * Max_Velocity * Max_Velocity;
    const double p = (vars_[Pres].length() ? vars_[Pres].max_abs() : 0.0) + 1e-14;
    if (q < p) q = p;
    Conv(VarDenominat, ConvVar::Pressure) = q * Fluid_Volume;
  }
  if (Solves(PTemperature)) Conv(VarDenominat, ConvVar::Temperature) = (vars_[Temp].length() ? vars_[Temp].max_abs() : 0.0) + 1e-14;
  if (Solves(PTranspiration)) {
    const double b = vars_[Beta].length() ? vars_[Beta].max_abs() : 0.0;
    Conv(VarDenominat, ConvVar::Elevation) = b > Min_Length ? b : Min_Length;
  }
}

void FluidDomain::UpdateConditions() { ApplyConditions(false); }

void FluidDomain::ApplyConditions(bool stepStart) {
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
  // At the start of a step a value stands at t^n + theta dt, as the time-dependent conditions'
  // (StartNewStep): velocity and temperature keep their start value and take theta g + (1 -
  // theta) of it, the pressure takes g at that time.
  const double theta = stepStart ? theta_ : 1.0;
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
    const bool pressure = g.kind == DofType::Pressure;
    const int c = g.value - VelX;
    ReaVec* h = c >= 0 && c < 3 && heldVelocity_[c].length() == v.length() ? &heldVelocity_[c] : nullptr;
    const double when = pressure ? Total_Time - (1 - theta) * dt_ : Total_Time;
    for (int j = 1; j <= numNodes; ++j) {
      if (!cond(unsigned(j))) continue;
      const double s = test->at(j);
      if (s > 0) {
        fixed.assign(unsigned(j), 1);
        if (value) {
          double x;
          {
            const FunctionTime at(when);
            x = value->at(j);
          }
          const bool keepStart = theta != 1 && !pressure && Sized(v0);
          if (keepStart) x = theta * x + (1 - theta) * v0(unsigned(j));
          if (Sized(v)) v(unsigned(j)) = x;
          if (Sized(v0) && !(stepStart && !pressure)) v0(unsigned(j)) = x;
        }
        if (h && stepStart && value) (*h)(unsigned(j)) = v(unsigned(j));
      } else if (s < 0) {
        fixed.assign(unsigned(j), 0);
      }
    }
  }
}

double FluidDomain::HeldVelocity(int c, unsigned i) const {
  const ReaVec& h = heldVelocity_[c];
  if (i <= h.length() && (In(conds_[FieldVelX + c], i) || In(conds_[CondVelNodes], i))) return h(i);
  return vars_[VelX0 + c](i);
}

void FluidDomain::UpdateVariables(double f) {
  if (Sized(vars_[VelX])) parts_->OutflowVelocities();
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
      if (!Solves(PVelocity)) return 0;
      double d = 0;
      for (int c = 0; c < 3; ++c) d += FieldChange(vars_[VelX + c], vars_[VelX0 + c], nullptr);
      return d;
    }
    case 1:
      if (!Solves(PPressure) || lumped_.length() != vars_[Pres].length()) return 0;
      return FieldChange(vars_[Pres], vars_[Pres0], &lumped_);
    case 2:
      return Solves(PTemperature) ? FieldChange(vars_[Temp], vars_[Temp0], nullptr) : 0;
    default:
      return 0;
  }
}

void FluidDomain::FinishStep() {
  UpdateVariables(theta_);
  // The kept vorticity that the step's results and restart file show is that of the velocity the
  // step ends with, as a restart rebuilds it; the next step's models take theirs at its start.
  if (Sized(vars_[Vorticity])) CalcVorticity(vars_[Vorticity]);
  const double theta = theta_;
  EachScalarProblem(*this, [theta](PhiProblem& p) { p.UpdateVariables(theta); });
  UpdateMeshDeformation();
  // Likewise the wall distance, once the mesh deformation took the step's one.
  parts_->FinishStep();
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
  // The indicator is defined on the numbered vectors 55 to 57, which no other operation uses.
  for (int v : {Work1, Work2, Work3})
    if (vars_[v].length() != unsigned(numNodes)) Size(v);
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
