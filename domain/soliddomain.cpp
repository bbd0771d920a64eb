// Element sets, material fields, step lifecycle and results of the solid domain.
#include "domain/soliddomain.h"

#include <strings.h>

#include <memory>

#include "domain/materialcheck.h"
#include "domain/phiproblem.h"
#include "domain/resultblock.h"
#include "domain/solidmesh.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "input/input.h"
#include "input/units.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"

namespace {

const char* const ComponentNames[NSolidComponents] = {"Kxx", "Kxy", "Kyy", "Kxz", "Kyz", "Kzz"};
const DofType ComponentKinds[NSolidComponents] = {DofType::ConductivityXX, DofType::ConductivityXY,
                                                  DofType::ConductivityYY, DofType::ConductivityXZ,
                                                  DofType::ConductivityYZ, DofType::ConductivityZZ};

bool Sized(const ReaVec& v) { return v.length() > 0; }

// Fills v with the initial-data function f at every node (nothing when f is absent or v unsized).
void Initial(FluidFunction* f, ReaVec& v) {
  if (f && Sized(v)) f->fill(v);
}

// Refreshes the entries of v that a time-dependent condition marks in `mask`.
void Refresh(FluidFunction* f, ReaVec& v, const BitVec& mask) {
  if (!f || !Sized(v) || mask.length() != v.length()) return;
  if (!f->Initialised()) f->isConstant(), f->isTemporal();
  f->update(v, mask);
}

// The checks of the solid domain d's material fields (those its sub-problems size; Kzz only in
// three dimensions).
void CheckSolidMaterials(SolidDomain& d, MaterialStage stage) {
  CheckMaterials({{d.SolidDensity(), 1e-14, "Wrong specific heat field (Solid Density < 0.0) found."},
                  {d.Var(Dens), 1e-14, "Wrong fluid density field (Density < 0.0) found."},
                  {d.Var(Visc), 0, "Wrong fluid viscosity field (Viscosity < 0.0) found."},
                  {d.Var(SpHeat), 0, "Wrong specific heat field (Cp < 0.0) found.", "Null specific heat found."},
                  {d.Conductivity(Kxx), 0, "Wrong conductivity field (Kxx < 0.0) found.", "Null conductivity Kxx found."},
                  {d.Conductivity(Kyy), 0, "Wrong conductivity field (Kyy < 0.0) found.", "Null conductivity Kyy found."},
                  {d.Conductivity(Kzz), 0, "Wrong conductivity field (Kzz < 0.0) found.", "Null conductivity Kzz found."}},
                 stage);
}

}  // namespace

int SolidDomain::Components() { return Dimension_Olvu == 3 ? NSolidComponents : 3; }

void SolidDomain::ReadElmSets(Input* in) {
  ReadElmSetCards(in, [&](int n, const char* type) {
    // Each set is entered in the domain table first, which owns it: a repeated number stops
    // before the set is lost.
    if (strcasecmp(type, "Solid") == 0) {
      Mesh* m = meshes.Adopt(n, std::make_unique<SolidMesh>(this, n, in));
      fluidMeshes_.set_at(n, m);
      m->ReadElemsFromAscii(in, allNodes);
    } else if (strcasecmp(type, "WBody") == 0) {
      Mesh* m = meshes.Adopt(n, parts_->NewBodySet(n, in, true));
      bodyMeshes_.set_at(n, m);
      m->ReadElemsFromAscii(in, allNodes);
    } else {
      OLVU_FATAL("ElmSet " << type << " not implemented\n");
    }
  });
  if (fluidMeshes_.count == 0)
    OLVU_FATAL("Solid not defined.\nAssign Solid properties to the geometry.\nCheck the problem definition in the data file.\n");
  if (bodyMeshes_.count == 0) OLVU_NOTICE("SolidBoundaries not defined. Is this right?");
}

// ---------------------------------------------------------------- sizing

void SolidDomain::InitialiseData() {
  density_.resize(unsigned(numNodes), 0.0);
  if (Solves(PTemperature))
    for (int k = 0; k < Components(); ++k) conduct_[k].resize(unsigned(numNodes), 0.0);
  // The fields, condition sets and work vectors are those the fluid domain sizes for the same
  // sub-problems; the fluid density only exists with a velocity problem.
  FluidDomain::InitialiseData();
  if (!Solves(PVelocity)) vars_[Dens].resize(0);
  CalcStructuralMatrixes();
}

void SolidDomain::InitialiseUnknowns() { Clock clock("Unknowns Initilisation"); }

// ---------------------------------------------------------------- material fields

void SolidDomain::EvalTemperatureProperties(bool update) {
  auto eval = [&](DofType k, ReaVec& v) { update ? UpdateDomainFunction(k, v) : EvalDomainFunction(k, v); };
  eval(DofType::SpecificHeat, vars_[SpHeat]);
  for (int k = 0; k < Components(); ++k) eval(ComponentKinds[k], conduct_[k]);
}

void SolidDomain::ReadInitialConditions() {
  for (int pass = 0; pass < 2; ++pass) {
    for (int c = 0; c < 3; ++c)
      if (Solves(PVelocity)) Initial(initial_->FFunc(int(DofType::VelocityX) + c), vars_[VelX + c]);
    if (Solves(PPressure)) Initial(initial_->FFunc(int(DofType::Pressure)), vars_[Pres]);
    if (Solves(PTemperature)) Initial(initial_->FFunc(int(DofType::Temperature)), vars_[Temp]);
    EvalDomainFunction(DofType::SolidDensity, density_);
    if (Solves(PVelocity)) {
      EvalDomainFunction(DofType::Density, vars_[Dens]);
      EvalDomainFunction(DofType::Viscosity, vars_[Visc]);
      vars_[KVisc].quotient(vars_[Visc], vars_[Dens]);
    }
    if (Solves(PTemperature)) EvalTemperatureProperties(false);
    UpdateVariables(1.0);
    EachScalarProblem(*this, [](PhiProblem& p) {
      p.ReadInitialConditions();
      p.UpdateVariables(1.0);
    });
  }
  // The initial results are written before the first step checks the materials.
  CheckSolidMaterials(*this, MaterialStage::SetUp);
  if (Solves(PVelocity) && Sized(vars_[Dens])) {
    const double lo = vars_[Dens].min_val(), hi = vars_[Dens].max_val();
    if (Dens_Reference > 1e-14 && lo != hi && Dens_Reference > lo) Dens_Reference = lo;
  }
}

// ---------------------------------------------------------------- step lifecycle

void SolidDomain::StartNewStep() {
  theta_ = (scheme_ == Crank_Nicolson && !Initial_Phase) ? 0.5 : 1.0;
  dt_ = Run_Time_Increment;
  dtTheta_ = dt_ * theta_;
  invDtTheta_ = dtTheta_ > 0 ? 1.0 / dtTheta_ : 0.0;

  if (Solves(PVelocity))
    for (int c = 0; c < (Dimension_Olvu == 3 ? 3 : 2); ++c)  // no Z velocity in a plane problem
      Refresh(initial_->FFunc(int(DofType::VelocityX) + c), vars_[VelX + c], conds_[FieldVelX + c]);
  if (Solves(PPressure)) Refresh(initial_->FFunc(int(DofType::Pressure)), vars_[Pres], conds_[FieldPres]);
  if (Solves(PTemperature)) Refresh(initial_->FFunc(int(DofType::Temperature)), vars_[Temp], conds_[FieldTemp]);

  UpdateDomainFunction(DofType::SolidDensity, density_);
  if (Solves(PVelocity)) {
    UpdateDomainFunction(DofType::Density, vars_[Dens]);
    UpdateDomainFunction(DofType::Viscosity, vars_[Visc]);
  }
  if (Solves(PTemperature)) EvalTemperatureProperties(true);
  CheckSolidMaterials(*this, MaterialStage::Step);
  if (Solves(PVelocity)) vars_[KVisc].quotient(vars_[Visc], vars_[Dens]);
  UpdateVariables(theta_);
  // The problems' end-of-step update runs in FinishStep, as in the fluid: a second theta
  // average here would average the step twice.
  EachScalarProblem(*this, [](PhiProblem& p) { p.StartNewStep(); });
  if (Solves(PTemperature) && Sized(vars_[Temp])) {
    if (MinValue.length() < 3) MinValue.resize(23, 1e100), MaxValue.resize(23, -1e100), MedValue.resize(23, 1.0);
    const double hi = vars_[Temp].max_val(), lo = vars_[Temp].min_val();
    // With a fluid domain the bounds hold both domains' temperatures: the fluid set them first.
    if (withFluid_) {
      if (hi > MaxValue(3)) MaxValue(3) = hi;
      if (lo < MinValue(3)) MinValue(3) = lo;
    } else {
      MaxValue(3) = hi;
      MinValue(3) = lo;
    }
  }
}

void SolidDomain::StartNewIteration() {
  if (!Solves(PTemperature) || !Sized(vars_[Temp])) return;
  if (!HasConv(VarDenominat, ConvVar::Temperature)) VarDenominat.resize(unsigned(ConvVar::Count), 1e-14);
  const double m = vars_[Temp].max_abs() + 1e-14;
  if (Conv(VarDenominat, ConvVar::Temperature) < m) Conv(VarDenominat, ConvVar::Temperature) += m;
}

void SolidDomain::UpdateVariables(double f) {
  FluidDomain::UpdateVariables(f);
  if (Sized(displacement_) && displacement_.length() == displacement0_.length()) {
    displacement_.average(displacement0_, f);
    displacement0_ = displacement_;
  }
}

void SolidDomain::ReferenceValues() {
  if (!Solves(PTemperature) || !Sized(vars_[Temp])) return;
  if (MinValue.length() < 3) MinValue.resize(23, 1e100), MaxValue.resize(23, -1e100), MedValue.resize(23, 1.0);
  const double lo = vars_[Temp].min_abs(), hi = vars_[Temp].max_abs();
  if (lo < MinValue(3)) MinValue(3) = lo;
  if (hi > MaxValue(3)) MaxValue(3) = hi;
  MedValue(3) = 0.5 * (MinValue(3) + MaxValue(3));
}

// ---------------------------------------------------------------- fields and results

ReaVec* SolidDomain::GiveVector(const char* name) {
  if (strcasecmp(name, "SDn") == 0) return &density_;
  for (int k = 0; k < NSolidComponents; ++k)
    if (strcasecmp(name, ComponentNames[k]) == 0) return &conduct_[k];
  return FluidDomain::GiveVector(name);
}

void SolidDomain::OutputResults(std::ostream& out) {
  const unsigned n = globalToLocal_.length();
  if (WriteResultsData.length() >= 38 && WriteResultsData(38) && Sized(density_)) {
    const double f = ExternalUnits->GetTransFact(InternalUnits, Density);
    ResultBlock b(out, "SOLID DENSITY", "DORVANTE", OutPut_Time, ResultKind::Scalar);
    for (unsigned i = 1; i <= n; ++i)
      if (const int j = globalToLocal_(i)) b.Write(int(i), f * density_(unsigned(j)));
  }
  if (OutPut_Time <= 0) return;
  for (int k = 1; k <= 3; ++k) {
    if (WriteResultsData.length() < unsigned(33 + k) || !WriteResultsData(unsigned(33 + k))) continue;
    if (k > customRes_.high || customRes_.free(k)) continue;
    FluidFunction* fn = customRes_.get_at(k);
    const std::string name = std::string("Solid_") + customNames_.get_at(k);
    fn->bind();
    ResultBlock b(out, name.c_str(), "PELKORAD", OutPut_Time, ResultKind::Scalar);
    for (unsigned i = 1; i <= n; ++i)
      if (const int j = globalToLocal_(i)) b.Write(int(i), fn->at(j));
  }
  for (int k = 1; k <= 3 && k <= customInt_.high; ++k) {
    if (customInt_.free(k)) continue;
    FluidFunction* fn = customInt_.get_at(k);
    if (fn->isNull()) continue;
    fn->bind();
    double sum = 0;
    for (int j = 1; j <= numNodes; ++j) sum += fn->at(j) * lumped_(unsigned(j));
    OLVU_NOTICE(name_ << " : User defined Integral#" << k << " = " << sum);
  }
}

void SolidDomain::CalcStructuralMatrixes() {
  // The structural sub-problem is never turned on by a keyword.
  if (!Solves(PStructure)) return;
}
