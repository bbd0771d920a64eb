// Sizing, initialisation and material fields of the fluid domain.
#include <cmath>

#include "domain/fluiddomain.h"
#include "domain/fluidmesh.h"
#include "domain/phiproblem.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "mesh/csr.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

namespace {

// Largest |v|; 0 for an empty vector.
double MaxAbs(const ReaVec& v) { return v.length() ? v.max_abs() : 0.0; }
double MinAbs(const ReaVec& v) { return v.length() ? v.min_abs() : 0.0; }

// Sets the out-of-plane velocity w and its previous-step twin w0 to 0; the count of nodes where
// either was not 0.
int ClearOutOfPlane(ReaVec& w, ReaVec& w0) {
  int count = 0;
  for (unsigned i = 1; i <= w.length() || i <= w0.length(); ++i) {
    bool held = false;
    for (ReaVec* v : {&w, &w0})
      if (i <= v->length() && (*v)(i) != 0.0) held = true, (*v)(i) = 0.0;
    count += held;
  }
  return count;
}

}  // namespace

// ---------------------------------------------------------------- sizing

void FluidDomain::InitialiseData() {
  for (int c : {FixKEnergy, FixTurbVar, FreeTurb, FixBeta, WallLawNodes, FixGradient, SymmPlaneNodes, FreeSurfNodes,
                FieldVelX, FieldVelY, FieldVelZ})
    SizeCond(c);
  for (int v : {Dens, ElemSize, TauV, TauEq, VelX, VelY, VelZ, VelWorkX, VelWorkY, VelWorkZ}) Size(v);
  nu_.resize(unsigned(numNodes), 0.0);
  if (Solves(PVelocity)) {
    for (int v : {VelX0, VelY0, VelZ0, Visc, KVisc, WallFactor, BodyForceX, BodyForceY, BodyForceZ}) Size(v);
    for (int c : {FixVelX, FixVelY, FixVelZ, CondVelNodes, NormalVelNodes, LineVelNodes, DeltNodes, RemoveCondNodes})
      SizeCond(c);
  }
  if (Solves(PPressure)) {
    for (int v : {Pres, PresWork, Pres0}) Size(v);
    for (int c : {FixPres, FieldPres, CondPresNodes}) SizeCond(c);
  }
  if (Solves(PTemperature)) {
    for (int v : {Temp, Temp0, Conduct, SpHeat}) Size(v);
    for (int c : {FixTemp, FieldTemp, CondTempNodes}) SizeCond(c);
  }
  if (Solves(PPseudo)) {
    Size(Pseudo), Size(Pseudo0);
    SizeCond(FixPseudo), SizeCond(FieldPseudo);
  }
  if (Solves(PCompressibility)) Size(Compress), Size(DensCopy);
  if (Solves(PEnergy)) {
    Size(EnergyV), Size(EnergyV0);
    SizeCond(FullFixVel), SizeCond(Cond26);
  }
  if (Solves(PTranspiration) || freeMeshes_.count > 0) Size(Beta);
  if (Solves(PTurbulence)) Size(TurbLength), Size(KEnergy), Size(TVisc);
  if (Solves(PSmagorinsky)) Size(WallDist);
  if (Solves(PKinetic)) Size(KEnergy0), Size(KProduction);
  if (Solves(PKinetic2L)) Size(WallDist);
  if (Solves(PKKT)) Size(KEnergy0), Size(KTau), Size(KTau0), Size(KProduction);
  if (Solves(PKEpsilon) || Solves(PKEps2L)) Size(KEnergy0), Size(Epsilon), Size(Epsilon0), Size(KProduction);
  // Entry 18 of the results selection is the DISTANCE result.
  const bool distanceResult = WriteResultsData.length() >= 18 && WriteResultsData(18) != 0;
  if (Solves(PKEpsLB) || Solves(PKEpsLS) || Solves(PKEps2L) || distanceResult) Size(WallDist);
  if (Solves(PKOmega)) Size(KEnergy0), Size(Omega), Size(Omega0), Size(Vorticity), Size(KProduction);
  if (Solves(PKOmegaSST))
    Size(KEnergy0), Size(Omega), Size(Omega0), Size(Vorticity), Size(WallDist), Size(KProduction);
  if (Solves(PSpalart)) Size(SAVar), Size(SAVar0), Size(WallDist), Size(Vorticity);
  if (Solves(PBaldwin)) Size(WallDist);
  if (Solves(PMeshDeform)) {
    for (int v = MeshX; v <= MeshZ0; ++v) vars_[v].resize(unsigned(numNodes));
    SizeCond(FixMeshField), SizeCond(FixMeshNull), SizeCond(MeshNoFix);
    if (meshDefType_ == DeformationAlgorithm::ByFunctions) {
      OLVU_NOTICE("Fluid mesh deformation given by function");
      conds_[FixMeshField].assign(1);
    }
  }

  pattern_.reset(createSparseMatrixStruct(nodes, fluidMeshes_, kind_));
  for (int k : {0, 1, 2, 3, 4}) {
    sys_[k] = std::make_unique<SystemSparseMatrix>(pattern_);
  }
  lap_ = std::make_unique<SymmetricSparseMatrix>(pattern_);
  mass_ = std::make_unique<SymmetricSparseMatrix>(pattern_);
  sys_[7] = std::make_unique<SystemSparseMatrix>(pattern_);
  sys_[8] = std::make_unique<SystemSparseMatrix>(pattern_);
  lumped_.resize(unsigned(numNodes), 0.0);
  invLumped_.resize(unsigned(numNodes), 0.0);
  RefreshNodeArray();
  EachScalarProblem(*this, [](PhiProblem& p) { p.InitialisePhi(); });
  CalcSystemMatrixes();
}

// ---------------------------------------------------------------- initialisation

void FluidDomain::InitialiseDomain(std::ostream&) {
  int i = 0;
  while (Mesh* m = meshes.next(i)) m->initialiseMesh();
  const ReaVec diag = [&] {
    ReaVec d(3);
    for (unsigned c = 1; c <= 3; ++c) d(c) = maxCorner(c) - minCorner(c);
    return d;
  }();
  if (FStatic.length() == 0) {
    OLVU_WARNING(3, "Giving a reference for the total pressure is recommended\n\tNow taken in " << maxCorner(1) << " "
                                                                                              << maxCorner(2) << " "
                                                                                              << maxCorner(3));
    FStatic = maxCorner;
  }
  parts_->InitialiseSets();
  if (Char_Length == 0) Char_Length = 0.1 * diag.norm() + 1e-14;
  // A plane problem has no Z velocity: one given by initial data, a restart file or a boundary
  // line would only feed the speed, the wall laws and the vorticity with a value that is not there.
  if (Dimension_Olvu == 2)
    if (const int n = ClearOutOfPlane(vars_[VelZ], vars_[VelZ0]))
      OLVU_NOTICE(name_ << ": The Z velocity given at " << n << " node(s) is ignored in a two-dimensional problem");
  if (Solves(PVelocity)) {
    for (int c : {FixVelX, FieldVelX, FixVelY, FieldVelY, FixVelZ, FieldVelZ, NormalVelNodes, LineVelNodes})
      conds_[c].andn_vec(conds_[DeltNodes]);
    if (Dimension_Olvu == 2) conds_[FixVelZ].assign(1);
    CheckBoundaryConditions();
  }
  InitialiseUnknowns();
  UpdateVariables(1.0);
  if (Solves(PVelocity)) {
    ReaVec& s = Nodal(work_.speed);
    s.norm(vars_[VelX], vars_[VelY], vars_[VelZ]);
    Max_Velocity = MaxAbs(s) + 1e-14;
    const double nu = MaxAbs(vars_[KVisc]);
    if (nu > 0) {
      ReynoldsN = Max_Velocity * Char_Length / nu;
      if (ReynoldsN > 10000 && !Solves(PTurbulence))
        OLVU_WARNING(2, "Turbulence effects may appear but they won't be simulated.\n\t"
                        << "You should select a turbulence model from Data->Modules Data->QUELMA.");
    }
  } else {
    Max_Velocity = ReynoldsN = 1e-14;
  }
  BoundlayerT = Char_Length / std::sqrt(ReynoldsN + 1e-14);
  SolveInitialPressure();
  normalCond_ = (conds_[NormalVelNodes].length() && !conds_[NormalVelNodes].null()) ||
                        (conds_[LineVelNodes].length() && !conds_[LineVelNodes].null())
                    ? 1
                    : 0;
  i = 0;
  while (Mesh* m = freeMeshes_.next(i)) {
    m->MarkNodes(conds_[FreeSurfNodes], kind_);
    if (conds_[FixPres].length()) m->MarkNodes(conds_[FixPres], kind_);
  }
  if (Solves(PTurbulence) && MaxAbs(vars_[Visc]) < 1e-14)
    OLVU_WARNING(0, "Turbulence has been defined will null viscosity");
  i = 0;
  while (Mesh* m = meshes.next(i)) m->PostinitialiseMesh();
  // The kept vorticity of the velocity the run starts from, as each step's end keeps that of its
  // velocity (a restart file's, when it gave it, stands).
  if (vars_[Vorticity].length() && !vorticityRestored_) CalcVorticity(vars_[Vorticity]);
}

void FluidDomain::ReferenceValues() {
  auto setSlot = [](unsigned slot, double lo, double hi, double mid) {
    MinValue(slot + 1) = lo, MaxValue(slot + 1) = hi, MedValue(slot + 1) = mid;
  };
  auto viscosityCheck = [&] {
    if (vars_[Visc].length() && MinAbs(vars_[Visc]) < 1e-14)
      OLVU_FATAL("Turbulence can not be solved if physical viscosity is zero somewhere\n");
  };
  if (MinValue.length() < 23) MinValue.resize(23, 0.0), MaxValue.resize(23, 0.0), MedValue.resize(23, 0.0);
  // The extremes of the fields as the run started: a restarted run's fields are the restored ones,
  // and its restart file gives the extremes the run it continues set its limits from.
  ReaVec& e = turbulenceExtremes_;
  if (e.length() != kTurbulenceExtremes) {
    e.resize(0);
    e.resize(kTurbulenceExtremes, 0.0);
    e(1) = MaxAbs(vars_[TVisc]);
    const int vars[3] = {Epsilon, Omega, KTau};
    for (unsigned m = 0; m < 3; ++m) e(2 + 2 * m) = MaxAbs(vars_[vars[m]]), e(3 + 2 * m) = MinAbs(vars_[vars[m]]);
    e(8) = MaxAbs(vars_[KEnergy]);
  }
  const double vt = e(1);
  setSlot(10, vt * TVscMinimum + 1e-14, vt * TVscMaximum + 1e-14, 0);
  MedValue(11) = 0.5 * (MinValue(11) + MaxValue(11));
  if (Solves(PTemperature) && vars_[Temp].length()) {
    if (MinAbs(vars_[Temp]) < MinValue(3)) MinValue(3) = MinAbs(vars_[Temp]);
    if (MaxAbs(vars_[Temp]) > MaxValue(3)) MaxValue(3) = MaxAbs(vars_[Temp]);
    MedValue(3) = 0.5 * (MinValue(3) + MaxValue(3));
  }
  struct Model {
    bool on;
    unsigned extreme;  // entry of the largest |value| in the extremes, the smallest next
    unsigned slot;
    double maxR, minR;
    bool tiny;
  };
  const Model models[3] = {{Solves(PKEpsilon) || Solves(PKEps2L), 2, 6, EpslMaximum, EpslMinimum, true},
                           {Solves(PKOmega) || Solves(PKOmegaSST), 4, 7, OmegMaximum, OmegMinimum, true},
                           {bool(Solves(PKKT)), 6, 8, KtauMaximum, KtauMinimum, false}};
  for (const Model& m : models) {
    if (!m.on) continue;
    const double mx = e(m.extreme);
    setSlot(m.slot, mx * m.minR + 1e-14, mx * m.maxR + 1e-14, e(m.extreme + 1) + (m.tiny ? 1e-14 : 0));
    viscosityCheck();
  }
  if (!Solves(PTurbulence)) return;
  const double k = e(8);
  setSlot(5, k * KenrMinimum + 1e-14, k * KenrMaximum + 1e-14, MedValue(6));
  const char* ending = " ) of given Eddy Viscosity maximum limit.\n\tCheck data in PROBLEM->Turbulence.";
  if (Solves(PKEpsilon) || Solves(PKEps2L)) {
    const double F = 0.09 * MinValue(6) * MinValue(6) / MinValue(7) / MaxValue(11);
    if (F > 0.1) OLVU_WARNING(3, "K and Epsilon minimum limits correspond to a high value ( Factor = " << F << ending);
  }
  if (Solves(PKOmega) || Solves(PKOmegaSST)) {
    const double F = MinValue(6) / MinValue(8) / MaxValue(11);
    if (F > 0.1) OLVU_WARNING(3, "K and Omega minimum limits correspond to a high value ( Factor = " << F << ending);
  }
  MedValue(6) = 0.5 * (MinValue(6) + MaxValue(6));
  viscosityCheck();
}

void FluidDomain::SmoothComponent(int comp, const BitVec& fixed, const BitVec& far) {
  SystemSparseMatrix* A = sys_[0];
  A->copy_val(lap_);
  ReaVec& rhs = Rhs(comp);
  rhs = 0.0;
  ReaVec& u = vars_[VelX + comp];
  const BitVec& normal = conds_[NormalVelNodes];
  const BitVec& line = conds_[LineVelNodes];
  BitVec imposed = far;
  for (int k = 1; k <= numNodes; ++k) {
    const unsigned i = unsigned(k);
    if ((fixed.length() && fixed(i)) || (normal.length() && normal(i)) || (line.length() && line(i)))
      imposed.assign(i, 1);
  }
  A->Fix_Eliminate(imposed, u, rhs);
  solver1_->solve(rhs, u, A, 1, "Smoothing initial velocity");
}

void FluidDomain::InitialiseUnknowns() {
  if (!Smooth_Field || numNodes == 0 || !Solves(PVelocity)) return;
  ReaVec centre(3);
  double radius = 0;
  for (unsigned c = 1; c <= 3; ++c) centre(c) = 0.5 * (maxCorner(c) + minCorner(c));
  {
    ReaVec d(3);
    for (unsigned c = 1; c <= 3; ++c) d(c) = maxCorner(c) - minCorner(c);
    radius = 0.3 * d.norm();
  }
  BitVec far{unsigned(numNodes)};
  for (int k = 1; k <= numNodes; ++k) {
    const ReaVec& p = *nodeArray_[std::size_t(k - 1)];
    double d2 = 0;
    for (unsigned c = 1; c <= 3; ++c) d2 += (p(c) - centre(c)) * (p(c) - centre(c));
    if (std::sqrt(d2) > radius) far.assign(unsigned(k), 1);
  }
  SmoothComponent(0, conds_[FixVelX], far);
  SmoothComponent(1, conds_[FixVelY], far);
  SmoothComponent(2, conds_[FixVelZ], far);
}

// ---------------------------------------------------------------- material fields

void FluidDomain::EvalDomainFunction(DofType kind, ReaVec& out) {
  if (int(out.length()) != numNodes) return;
  out = 0.0;
  const int k = int(kind);
  if (fluidMeshes_.count == 1) {
    int i = 0;
    auto* m = static_cast<FluidMesh*>(fluidMeshes_.next(i));
    if (FluidFunction* f = m->funtions()->FFunc(k)) {
      if (!f->Initialised()) f->isConstant(), f->isTemporal();
      f->fill(out);
    }
    return;
  }
  int i = 0;
  while (Mesh* mesh = fluidMeshes_.next(i)) {
    auto* m = static_cast<FluidMesh*>(mesh);
    FluidFunction* f = m->funtions()->FFunc(k);
    if (!f) continue;
    if (!f->Initialised()) f->isConstant(), f->isTemporal();
    const IntVec& ids = m->DomainNodes();
    f->addWeighted(out, &ids[0], m->LN_N().GivePointer(), int(ids.length()));
  }
  out.product(invLumped_);
}

void FluidDomain::UpdateDomainFunction(DofType kind, ReaVec& out) {
  if (int(out.length()) != numNodes || !VariesInTime(kind)) return;
  if (fluidMeshes_.count == 1) {
    int i = 0;
    static_cast<FluidMesh*>(fluidMeshes_.next(i))->funtions()->FFunc(int(kind))->fill(out);
    return;
  }
  EvalDomainFunction(kind, out);
}

bool FluidDomain::VariesInTime(DofType kind) {
  int i = 0;
  while (Mesh* mesh = fluidMeshes_.next(i)) {
    FluidFunction* f = static_cast<FluidMesh*>(mesh)->funtions()->FFunc(int(kind));
    if (f && f->isTemporal()) return true;
  }
  return false;
}
