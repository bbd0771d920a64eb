#include "domain/fluiddomain.h"

#include <strings.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "domain/fluidmesh.h"
#include "domain/phiproblem.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "input/input.h"
#include "mesh/elem.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

namespace {

bool Is(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

// Names of the nodal vectors by id, as user functions reach them.
struct VarName {
  const char* name;
  int id;
};
constexpr VarName VarNames[] = {
    {"Vx", VelX},    {"Vy", VelY},     {"Vz", VelZ},       {"Vx_", VelX0},   {"Vy_", VelY0},   {"Vz_", VelZ0},
    {"Vs", Visc},    {"KVs", KVisc},   {"Vt", TVisc},      {"Vc", SAVar},    {"Vc_", SAVar0},  {"Tau", TauV},
    {"Wc", Vorticity}, {"Ds", WallDist}, {"Tm", Temp},     {"Tm_", Temp0},   {"Pr", Pres},     {"Prc", Pres0},
    {"Ps", Pseudo},  {"Ps_", Pseudo0}, {"KE", KEnergy},    {"KE_", KEnergy0}, {"PK", KProduction}, {"EN", EnergyV},
    {"EN_", EnergyV0}, {"EP", Epsilon}, {"EP_", Epsilon0},  {"OM", Omega},    {"OM_", Omega0},  {"KT", KTau},
    {"KT_", KTau0},  {"Dn", Dens},     {"Cm", Compress},   {"Bt", Beta},     {"Mx", MeshX},    {"My", MeshY},
    {"Mz", MeshZ},   {"Mx_", MeshX0},  {"My_", MeshY0},    {"Mz_", MeshZ0},  {"Cp", SpHeat},   {"Kis", Conduct},
};

// Turbulence keywords in the order the first one found wins, with the flags each sets.
struct TurbulenceWord {
  const char* word;
  int flag1, flag2;
};
constexpr TurbulenceWord TurbulenceWords[] = {
    {"Solve_Kinetic_Energy", PKinetic, 0},  {"Solve_Kinetic_Energy_2L", PKinetic, PKinetic2L},
    {"Solve_Smagorinsky", PSmagorinsky, 0}, {"Solve_Mixing_Length", PMixingLength, 0},
    {"Solve_K_Omega", PKOmega, 0},          {"Solve_K_Omega_SST", PKOmegaSST, 0},
    {"Solve_K_KT", PKKT, 0},                {"Solve_Spalart_Allmaras", PSpalart, 0},
    {"Solve_Baldwin_Lomax", PBaldwin, 0},   {"Solve_K_Epsilon", PKEpsilon, 0},
    {"Solve_K_Epsilon_2L", PKEps2L, 0},     {"Solve_K_Epsilon_LS", PKEpsilon, PKEpsLS},
    {"Solve_K_Epsilon_LB", PKEpsilon, PKEpsLB},
};

// A stabilisation ratio: 0.025 when absent, 1e-14 when given as 0, with its upper bound.
double Ratio(Input* in, const char* key, double& bound) {
  double r = 0.025;
  if (in->Exist(key)) {
    r = in->GetRealIfExist(key, Undimensional, 0.0);
    if (r == 0) r = 1e-14;
  }
  bound = r > 25.0 ? r : 25.0;
  return r;
}

// The stabilisation orders of the card (0 second, 1 fourth order, 2 automatic), in the order
// of FluidDomain::StabOrder: of each prefix the last suffix given wins, fourth order without one.
void ReadStabilisationOrders(Input* in, int (&stab)[6]) {
  const char* prefixes[6] = {"NS_AdvecStab", "NS_PressStab", "TB_AdvecStab", "TM_AdvecStab", "PS_AdvecStab",
                             "EN_AdvecStab"};
  const char* suffixes[3] = {"_2nd_Order", "_4th_Order", "_Auto"};
  for (int k = 0; k < 6; ++k) {
    stab[k] = 1;
    for (int s = 0; s < 3; ++s)
      if (in->Exist((std::string(prefixes[k]) + suffixes[s]).c_str())) stab[k] = s;
  }
}

// The turbulence limits of the card: the production and reaction limits when the first of them
// is given, the minimum and maximum ratios always; a warning for a low minimum ratio of a
// variable that the domain's turbulence model solves.
void ReadTurbulenceLimits(Input* in, const FluidDomain& d) {
  if (in->Exist("EddyKEnergy_Production_Limit")) {
    Pk_LIMIT = in->GetRealIfExist("EddyKEnergy_Production_Limit", Undimensional, 1e-14);
    Pe_LIMIT = in->GetRealIfExist("Epsilon_Production_Limit", Undimensional, 1e-14);
    Re_LIMIT = in->GetRealIfExist("Epsilon_Reaction_Limit", Undimensional, 1e-14);
    Pw_LIMIT = in->GetRealIfExist("Omega_Production_Limit", Undimensional, 1e-14);
    Rw_LIMIT = in->GetRealIfExist("Omega_Reaction_Limit", Undimensional, 1e-14);
    Pv_LIMIT = in->GetRealIfExist("EddyViscoT_Production_Limit", Undimensional, 1e-14);
    Rv_LIMIT = in->GetRealIfExist("EddyViscoT_Reaction_Limit", Undimensional, 1e-14);
  }
  TVscMinimum = in->GetRealIfExist("TVscMinimum", Undimensional, 1e-14);
  KenrMinimum = in->GetRealIfExist("KenrMinimum", Undimensional, 1e-14);
  EpslMinimum = in->GetRealIfExist("EpslMinimum", Undimensional, 1e-14);
  OmegMinimum = in->GetRealIfExist("OmegMinimum", Undimensional, 1e-14);
  KtauMinimum = in->GetRealIfExist("KtauMinimum", Undimensional, 1e-14);
  TVscMaximum = in->GetRealIfExist("TVscMaximum", Undimensional, 1.0);
  KenrMaximum = in->GetRealIfExist("KenrMaximum", Undimensional, 1.0);
  EpslMaximum = in->GetRealIfExist("EpslMaximum", Undimensional, 1.0);
  OmegMaximum = in->GetRealIfExist("OmegMaximum", Undimensional, 1.0);
  KtauMaximum = in->GetRealIfExist("KtauMaximum", Undimensional, 1.0);
  if (!d.Solves(PTurbulence)) return;
  if (KenrMinimum < 1.0 &&
      (d.Solves(PKinetic) || d.Solves(PKEpsilon) || d.Solves(PKOmega) || d.Solves(PKOmegaSST) || d.Solves(PKKT)))
    OLVU_WARNING(0, "Too low KEnergy_MinRatio found. Recommended value is 1.0");
  if (EpslMinimum < 1.0 && d.Solves(PKEpsilon))
    OLVU_WARNING(0, "Too low Epsilon_MinRatio found. Recommended value is 1.0");
  if (OmegMinimum < 1.0 && (d.Solves(PKOmega) || d.Solves(PKOmegaSST)))
    OLVU_WARNING(0, "Too low Omega_MinRatio found. Recommended value is 1.0");
  if (KtauMinimum < 1.0 && d.Solves(PKKT)) OLVU_WARNING(0, "Too low Ktau_MinRatio found. Recommended value is 1.0");
}

}  // namespace

// ---------------------------------------------------------------- general data

void FluidDomain::ReadSolveKeywords(Input* in) {
  problems_ = 0;
  auto on = [&](int k) { problems_[unsigned(k)] = 1; };
  if (in->Exist("Solve_NavierStokes")) {
    on(PNavierStokes), on(PVelocity), on(PPressure);
    splitPressure_ = 0;
    if (Max_Iterations == 1) {
      OLVU_NOTICE("Fluid: Using Implicit Fractional Step solver (Max_Iterations == 1)");
    } else {
      OLVU_NOTICE("Fluid: Using Implicit Monolithic Scheme solver (Max_Iterations == " << Max_Iterations << ")");
    }
  } else if (in->Exist("Solve_NStoFractionalStep")) {
    on(PFractional), on(PVelocity), on(PPressure);
    splitPressure_ = in->Exist("SplitPressure") ? 1 : 0;
    OLVU_NOTICE("Using Implicit Fractional Step solver");
  } else if (in->Exist("Solve_Stokes")) {
    on(PStokes), on(PVelocity), on(PPressure);
    splitPressure_ = 0;
    if (Max_Iterations == 1) {
      OLVU_NOTICE("Solid: Using Implicit Fractional Step solver (Max_Iterations == 1)");
    } else {
      OLVU_NOTICE("Solid: Using Implicit Monolithic Scheme solver (Max_Iterations == " << Max_Iterations << ")");
    }
  }
  if (in->Exist("Solve_Compressibility")) on(PCompressibility);
  if (in->Exist("Solve_Temperature")) on(PTemperature);
  if (in->Exist("Solve_Concentration")) on(PSpecies);
  if (in->Exist("Solve_PhiProblems")) on(PPhi);
  if (in->Exist("Solve_Mesh_Deformation")) {
    on(PMeshDeform);
    const char* w = in->Exist("MeshDeformationType") ? in->GetWord("MeshDeformationType", "") : "";
    using enum DeformationAlgorithm;
    meshDefType_ = Is(w, "ByFunctions") ? ByFunctions
                   : Is(w, "ByAllData") ? ByAllData
                   : Is(w, "ByBodies")  ? ByBodies
                                        : Unset;
    // A misspelt type is refused here rather than after the first step's solves have run.
    if (meshDefType_ == Unset && *w) OLVU_FATAL("Wrong mesh deformation algorithm type selected\n");
  }
  if (in->Exist("Solve_Energy")) on(PEnergy);
  if (in->Exist("Solve_Pseudoconcentration")) on(PPseudo);
  if (in->Exist("Solve_Transpiration")) on(PTranspiration);
  if (in->Exist("Solve_Kelvarid")) on(PKelvarid);
  for (const TurbulenceWord& t : TurbulenceWords) {
    if (!in->Exist(t.word)) continue;
    // Every model reads the velocity and its gradients, which exist only where they are solved.
    if (!Solves(PVelocity))
      OLVU_FATAL("Turbulence model " << t.word << " needs the velocity solve: give Solve_NavierStokes, "
                 "Solve_NStoFractionalStep or Solve_Stokes with it\n");
    on(PTurbulence), on(t.flag1);
    if (t.flag2) on(t.flag2);
    // The model has no operation of its own: a user who chose it learns that nothing models
    // the turbulence.
    if (t.flag1 == PBaldwin)
      OLVU_WARNING(1, "Solve_Baldwin_Lomax: the Baldwin-Lomax model is not solved; the eddy viscosity keeps the "
                      "values of the initial data (EddyLength times the square root of EddyKineticEnergy)");
    break;
  }
}

void FluidDomain::LowerNorms() {
  // The tolerance of a field the domain does not solve (1e-10 unless given) asks for nothing.
  // Species and Phi problems are refused at reading, so velocity, pressure and temperature are
  // the fields that can be solved.
  const FluidFlag solved[3] = {PVelocity, PPressure, PTemperature};
  double tmin = 1e100;
  for (unsigned k = 0; k < 3; ++k)
    if (Solves(solved[k]) && HasConv(VarTolerance, ConvVar(k))) tmin = std::fmin(tmin, Conv(VarTolerance, ConvVar(k)));
  if (tmin == 1e100) return;
  if (steadyNorm_ > tmin) steadyNorm_ = tmin;
  if (advectionNorm_ > tmin) advectionNorm_ = tmin;
}

void FluidDomain::ReadGeneralData(Input* in) {
  ReadSolveKeywords(in);
  scheme_ = GiveType(in->GetWord("Integration_Scheme", nullptr));

  ReadStabilisationOrders(in, stab_);

  const char* smoothing[4] = {"Velocity_Smoothing", "Turbulence_Smoothing", "Temperature_Smoothing",
                              "Energy_Smoothing"};
  const int smoothDefault[4] = {0, 1, 0, 0};
  for (int k = 0; k < 4; ++k) smooth_[k] = in->Exist(smoothing[k]) ? in->GetInt(smoothing[k]) : smoothDefault[k];
  if (Solves(PTurbulence) && smooth_[1] < 2) OLVU_WARNING(3, "PROBLEM->Turbulence_Control >= 2 is recommended");

  steadyNorm_ = in->GetRealIfExist("SteadyNorm", Undimensional, 0.0);
  advectionNorm_ = in->GetRealIfExist("AdvectionNorm", Undimensional, 0.0);
  LowerNorms();
  incrControl_ = -1;
  if (in->Exist("Control_Increment")) {
    const char* w = in->GetWord("Control_Increment", "");
    incrControl_ = Is(w, "High") ? 0.01 : Is(w, "Medium") ? 0.1 : Is(w, "Low") ? 0.5 : -1;
  }
  if (incrControl_ != -1) OLVU_NOTICE("Variable increment control will be applied");

  totalPressure_ = in->Exist("Total_Pressure") ? 1 : 0;
  if (Solves(PPseudo)) {
    totalPressure_ = 1;
    if (FStatic.length() > 0) {
      OLVU_WARNING(0, "Cannot fix Pressure_Origin in Pseudoconcentration problem");
      FStatic.resize(0);
    }
  }
  if (Solves(PTranspiration) && totalPressure_ == 1) {
    OLVU_WARNING(0, "Transpiration problem only works with Use_Total_Pressure \"Off\".\n\t Taking Use_Total_Pressure \"Off\".");
    totalPressure_ = 0;
  }

  ReadTurbulenceLimits(in, *this);

  fixTurbBodies_ = in->Exist("FixTurbulenceOnBodies") ? 1 : 0;
  updateMeshEvery_ = in->GetIntIfExist("UpdateMeshEvery", 1);
  couplingStep_ = -1;
  if (in->Exist("Coupling_Type")) {
    const char* w = in->GetWord("Coupling_Type", nullptr);
    const int step = in->GetInt("Coupling_Step");
    couplingStep_ = Is(w, "Steady_State") ? Number_of_Steps : Is(w, "Step_By_Step") ? step : -1;
  }
  if (Solves(PKelvarid) && couplingStep_ < 1)
    OLVU_WARNING(0, "Kelvarid coupling type set to None. Kelvarid won't be solved.");

  const bool givenV = in->Exist("MinTauV_Ratio");
  minTauV_ = Ratio(in, "MinTauV_Ratio", maxTauV_);
  if (givenV && minTauV_ > 0.5) OLVU_WARNING(0, "StabTauV_MinRatio: Too high values may cause unstabilities.");
  const bool givenP = in->Exist("MinTauP_Ratio");
  minTauP_ = Ratio(in, "MinTauP_Ratio", maxTauP_);
  if (givenP && minTauP_ > 0.5) OLVU_WARNING(0, "StabTauP_MinRatio: Large values may cause significant compressibility effect.");

  ReadFunctionBlocks(in);
}

void FluidDomain::ReadProblemDefinitions(Input* in) {
  if (!Solves(PPhi) && !Solves(PSpecies)) return;
  for (;;) {
    in->ReadLine();
    if (in->Exist("NewPhiDefinition")) {
      std::unique_ptr<PhiProblem> p = parts_->NewPhiProblem(in);
      const int n = p->Index();
      phi_.Adopt(n, std::move(p));
    } else if (in->Exist("NewSpecDefinition")) {
      std::unique_ptr<SpcProblem> p = parts_->NewSpcProblem(in);
      const int n = p->Index();
      species_.Adopt(n, std::move(p));
    } else {
      break;
    }
  }
  in->HoldLine();
}

void FluidDomain::ReadCustomFunctions(Input* in) {
  auto read = [&](const char* key, Magnitude m) {
    return std::unique_ptr<FluidFunction>(in->GetFluidFunc(key, this, m));
  };
  if (in->Exist("MeshDeformationFunctions")) {
    for (const char* k : {"MeshDeformationX", "MeshDeformationY", "MeshDeformationZ"}) meshDisp_.Adopt(read(k, Length));
    in->ReadLine();
  }
  if (in->Exist("IntegralFunctions")) {
    for (const char* k : {"Integral1", "Integral2", "Integral3"}) customInt_.Adopt(read(k, Undimensional));
    in->ReadLine();
  }
  if (in->Exist("CustomisedResultsFunctions")) {
    for (;;) {
      in->ReadLine();
      if (in->Exist("EndCustomisedResultsFunctions")) break;
      customRes_.Adopt(read("CustomRes", Undimensional));
      const char* w = in->GetWord("Name", nullptr);
      auto copy = std::make_unique<char[]>(std::strlen(w) + 1);
      std::strcpy(copy.get(), w);
      customNames_.Adopt(customRes_.high, std::move(copy));
    }
    in->ReadLine();
  }
}

void FluidDomain::ReadFunctionBlocks(Input* in) {
  ReadProblemDefinitions(in);
  in->ReadCard("InitialDataFunctions");
  initial_ = std::make_unique<FluidFuncTbl>(3, InternalUnits, this);
  initial_->readFrom(in, "EndInitialDataFunctions", "Initial Data");

  // Per-problem cards "SpeciesInitialData n", "VariableInitialData n", "SpeciesConditional n",
  // "VariableConditional n": the card goes to problem n, or is passed over when there is none.
  auto perProblem = [&](const char* key, bool species, bool conditional) {
    while (in->Exist(key)) {
      const int n = in->GetInt(key);
      PhiProblem* p = species ? (species_.free(n) ? nullptr : species_.get_at(n))
                              : (phi_.free(n) ? nullptr : phi_.get_at(n));
      if (!p) in->JumpLine();
      else if (conditional) p->ReadConditional(key, in);
      else p->ReadInitialData(key, in);
      in->ReadLine();
    }
  };
  in->ReadLine();
  perProblem("SpeciesInitialData", true, false);
  perProblem("VariableInitialData", false, false);
  conditional_ = std::make_unique<FluidFuncTbl>(3, InternalUnits, this);
  if (in->Exist("ConditionalFunctions")) {
    conditional_->readFrom(in, "EndConditionalFunctions", "Conditional");
    in->ReadLine();
  }
  perProblem("SpeciesConditional", true, true);
  perProblem("VariableConditional", false, true);

  ReadCustomFunctions(in);
  if (in->Exist("NonSymmetric")) {
    solver1_ = std::make_unique<Solver>(in, in->GetWord("NonSymmetric", nullptr));
    in->ReadLine();
  } else {
    solver1_ = std::make_unique<Solver>(BiConjugateGradient, 1e-10, 300, "Convection-Difussion solver");
  }
  if (in->Exist("Symmetric")) {
    solver2_ = std::make_unique<Solver>(in, in->GetWord("Symmetric", nullptr));
  } else {
    solver2_ = std::make_unique<Solver>(StabBiConjugateGradient, 1e-10, 300, "Diffusion solver");
    in->HoldLine();
  }
}

void FluidDomain::CreatePhiProblem(int n) { phi_.Adopt(n, parts_->NewPhiProblem(n)); }

void FluidDomain::CreateSpcProblem(int n) { species_.Adopt(n, parts_->NewSpcProblem(n)); }

// ---------------------------------------------------------------- function domain

ReaVec* FluidDomain::GiveVector(const char* name) {
  for (const VarName& v : VarNames)
    if (Is(name, v.name)) return &vars_[v.id];
  return nullptr;
}

int FluidDomain::GiveMaterialIndex(const char* name) {
  int i = 0;
  while (Mesh* m = meshes.next(i))
    if (std::strcmp(m->Name(), name) == 0) return i;
  return -1;
}

const BitVec* FluidDomain::MaterialNodes(int index) {
  if (index <= 0 || index > nodeMaterial_.high || nodeMaterial_.free(index)) return nullptr;
  return nodeMaterial_.get_at(index);
}

// No caller in the program (the functions' Mat() reads MaterialNodes): a test of one node's set
// would call it.
int FluidDomain::IsNodeInMaterialIndex(int index, int node) {
  const BitVec* b = MaterialNodes(index);
  return b ? (*b)(unsigned(node)) : 0;
}

void FluidDomain::RefreshNodeArray(bool renumbered) {
  nodeArray_.assign(std::size_t(numNodes), nullptr);
  nodeXYZ_.assign(3 * std::size_t(numNodes), 0.0);
  for (int k = 1; k <= numNodes && k <= int(toGlobal_.length()); ++k) {
    const ReaVec* x = allNodes->get_at(toGlobal_(unsigned(k)));
    nodeArray_[std::size_t(k - 1)] = x;
    for (unsigned c = 0; c < 3 && c < x->length(); ++c) nodeXYZ_[3 * std::size_t(k - 1) + c] = (*x)(c + 1);
  }
  ++geometryStamp_;
  if (renumbered) ++topologyStamp_;
}

DomainView FluidDomain::View() {
  DomainView v;
  v.nodes = numNodes;
  if (int(nodeArray_.size()) != numNodes) RefreshNodeArray();
  v.coords = nodeArray_.data();
  if (pattern_ && sys_[2]) {
    v.graphRow = pattern_->row_ptr(0);
    v.graphCol = pattern_->col_ind(0);
    v.gx = sys_[2]->val(0);
    v.gy = sys_[3]->val(0);
    v.gz = sys_[4]->val(0);
  }
  if (mass_ && mass_->full_row_ptr()) {
    v.massRow = mass_->full_row_ptr();
    v.massCol = mass_->full_col_ind();
    v.massPos = mass_->full_pos();
    v.massVal = mass_->sval(0);
  }
  if (int(invLumped_.length()) == numNodes && numNodes > 0) v.invLumped = invLumped_.GivePointer();
  v.globalToLocal = &globalToLocal_;
  v.normals = &normals_;
  v.meshMoves = Solves(PMeshDeform);
  return v;
}

// ---------------------------------------------------------------- accessors

double& FluidDomain::X(int i, int k) { return (*allNodes->get_at(toGlobal_(unsigned(i - k + 1))))(1); }
double& FluidDomain::Y(int i, int k) { return (*allNodes->get_at(toGlobal_(unsigned(i - k + 1))))(2); }
double& FluidDomain::Z(int i, int k) { return (*allNodes->get_at(toGlobal_(unsigned(i - k + 1))))(3); }

Node* FluidDomain::giveNode(int i, int flag) { return flag ? nodes.get_at(i) : nodes.get_at(toGlobal_(unsigned(i))); }
