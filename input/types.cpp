#include "input/types.h"

#include <strings.h>

#include "foundation/error.h"

const char* const MagnitudeNames[NMagnitudes] = {
    "Undimensional", "Length", "Time", "Mass", "Angle", "Temperature", "Area", "Volume",
    "Inertia", "MassInertia", "Velocity", "Acceleration", "Density", "Viscosity",
    "KinematicViscosity", "Force", "ForcePerLength", "ForcePerAngle", "Tension", "Pressure",
    "ForcePerVolume", "Momentum", "MomentumPerLength", "Energy", "EnergyPerArea",
    "EnergyPerVolume", "Potency", "PotencyPerArea", "PotencyPerVolume", "Frequency",
    "AngleFrequency", "AngularVelocity", "AngularAcceleration", "VelocityDamping",
    "RotVelocityDamping", "ThermalDilatancy", "TemperatureGradient", "VolumeExpansion",
    "ThermalTransmission", "SpecificHeat", "HeatConductivity", "HeatConvection",
    "Dynamic_Pressure", "Energy_per_Mass", "Eddy_Kt", "Eddy_Omega", "Eddy_Epsilon", "Flow",
    "Flow_Coefficient", "Compressibility", "HeatReaction", "HeatFluxReaction", "Phi_F1",
    "Phi_F2", "Phi_F3", "Phi_Flux", "Spc_F2", "Spc_F3", "Spc_F5", "Spc_Flux"};

namespace {

/// One row of a field-kind table: reader word, output name, magnitude.
struct FieldRow {
  const char* word;
  const char* name;
  Magnitude mag;
};

const FieldRow Fields[45] = {
    {"VelocityX", "VelX_Field", Velocity},
    {"VelocityY", "VelY_Field", Velocity},
    {"VelocityZ", "VelZ_Field", Velocity},
    {"Pressure", "Pres_Field", Dynamic_Pressure},
    {"Temperature", "Temp_Field", Temperature},
    {"Pseudoconcentration", "Psed_Field", Undimensional},
    {"EddyKineticEnergy", "Kenr_Field", Energy_per_Mass},
    {"EddyEpsilon", "Epsl_Field", Eddy_Epsilon},
    {"EddyOmega", "Omeg_Field", Eddy_Omega},
    {"EddyKtau", "Ktau_Field", Eddy_Kt},
    {"KineticEnergy", "Ener_Field", Energy_per_Mass},
    {"EddyViscosity", "VisT_Field", KinematicViscosity},
    {"WaveElevation", "Beta_Field", Length},
    {"AccelerationX", "AccX_Field", Acceleration},
    {"AccelerationY", "AccY_Field", Acceleration},
    {"AccelerationZ", "AccZ_Field", Acceleration},
    {"HeatSource", "Heat_Source", PotencyPerVolume},
    {"Viscosity", "Viscosity", Viscosity},
    {"TurbulenceLevel", "TIL_Field", Undimensional},
    {"EddyLength", "Elen_Field", Length},
    {"Density", "Density", Density},
    {"Compressibility", "Compressibility_factor", Compressibility},
    {"SpecificHeat", "Specific_Heat", SpecificHeat},
    {"Conductivity", "Thermal_Conductivity", HeatConductivity},
    {"Floatability", "Boussinesq_floatability", Undimensional},
    {"HeatFlux", "Heat_flux", PotencyPerArea},
    {"FluidUserDefined1", "User_Defined_FluidFunction1", Undimensional},
    {"FluidUserDefined2", "User_Defined_FluidFunction2", Undimensional},
    {"FluidUserDefined3", "User_Defined_FluidFunction3", Undimensional},
    {"SolidUserDefined1", "User_Defined_SolidFunction1", Undimensional},
    {"SolidUserDefined2", "User_Defined_SolidFunction2", Undimensional},
    {"SolidUserDefined3", "User_Defined_SolidFunction3", Undimensional},
    {"MeshDeformationX", "Mesh_deformation_X", Length},
    {"MeshDeformationY", "Mesh_deformation_Y", Length},
    {"MeshDeformationZ", "Mesh_deformation_Z", Length},
    {"HeatSourceReaction", "Heat_Source_reaction", HeatReaction},
    {"HeatFluxReaction", "Heat_Flux_reaction", HeatFluxReaction},
    {"ConductivityXX", "Thermal_Conductivity_xx", HeatConductivity},
    {"ConductivityXY", "Thermal_Conductivity_xy", HeatConductivity},
    {"ConductivityYY", "Thermal_Conductivity_yy", HeatConductivity},
    {"ConductivityXZ", "Thermal_Conductivity_xz", HeatConductivity},
    {"ConductivityYZ", "Thermal_Conductivity_yz", HeatConductivity},
    {"ConductivityZZ", "Thermal_Conductivity_zz", HeatConductivity},
    {"SolidDensity", "Solid_Density", Density},
    {"MechanicalStrain", "Mechanical_Strain", Undimensional}};

const char* const VectorNames[43] = {
    "VeltX", "VeltY", "VeltZ", "VtdtX", "VtdtY", "VtdtZ", "Prest", "P_tdt", "Tempt",
    "Tmtdt", "Pse_t", "Pstdt", "KEn_t", "KEtdt", "Eps_t", "Eptdt", "Ome_t", "Omtdt",
    "KT_t",  "KTtdt", "VT_t",  "VTtdt", "Ene_t", "Entdt", "Con_t", "Cntdt", "Dispt",
    "Dstdt", "ViscT", "Visco", "Denst", "Tau_V", "Utau2", "Vortc", "Lngth", "Distn",
    "Bouyn", "HC_CD", "HS_CD", "SH_Ds", "SHeat", "HSour", "F_S_T"};

const char* const DimNames[4] = {"NoD", "OneD", "TwoD", "ThreeD"};
const char* const CMNames[5] = {"OneDim", "PlaneStress", "PlaneStrain", "Axisymmetric", "ThreeDim"};
const int CMDims[5] = {1, 2, 2, 2, 3};
const int CMStress[5] = {1, 3, 4, 4, 6};
const char* const ElemWords[7] = {"Punctual", "Linear", "Triangle", "Quadrilateral",
                                  "Tetrahedra", "Hexahedra", "Prisma"};
const char* const ElemNames[7] = {"NoNe", "Linear", "Triangle", "Quadrilateral",
                                  "Tetrahedra", "Hexahedra", "Prisma"};
const int ElemCorners[7] = {0, 2, 3, 4, 4, 8, 6};

/// One row of the element-order table.
struct OrderRow {
  const char* name;
  int nnode;
  int corners;
  int order;
  int quadratic;
  int solid;  // is_ThreeD with flag 0
  int face;   // is_ThreeD with a non-zero flag
};

const OrderRow Orders[17] = {
    {"NoNe", 0, 0, 0, 0, 0, 0},
    {"Linear 2 Nodes", 2, 2, 1, 0, 0, 0},
    {"Linear 3 Nodes", 3, 2, 2, 1, 0, 0},
    {"Triangle 3 Nodes", 3, 3, 1, 0, 0, 1},
    {"Triangle 6 Nodes", 6, 3, 2, 1, 0, 1},
    {"Quadrilateral 4 Nodes", 4, 4, 1, 0, 0, 1},
    {"Quadrilateral 8 Nodes", 8, 4, 2, 1, 0, 1},
    {"Quadrilateral 9 Nodes", 9, 4, 2, 1, 0, 1},
    {"Tetrahedra 4 Nodes", 4, 4, 1, 0, 1, 0},
    {"Tetrahedra 5 Nodes", 5, 4, 1, 0, 1, 0},
    {"Tetrahedra 10 Nodes", 10, 4, 2, 1, 1, 0},
    {"Tetrahedra 11 Nodes", 11, 4, 2, 1, 1, 0},
    {"Hexahedra 8 Nodes", 8, 8, 1, 0, 1, 0},
    {"Hexahedra 9 Nodes", 9, 8, 1, 0, 1, 0},
    {"Hexahedra 20 Nodes", 20, 8, 2, 1, 1, 0},
    {"Hexahedra 27 Nodes", 27, 8, 3, 1, 1, 0},
    {"Prisma 6 Nodes", 6, 6, 1, 0, 1, 0}};

/// First order of each shape in the order table (Punctual has none of its own).
const int FirstOrder[7] = {0, 1, 3, 5, 8, 12, 16};
const int LastOrder[7] = {0, 2, 4, 7, 11, 15, 16};

const char* const IntegWords[7] = {"Forward_Euler", "Backward_Euler", "Crank_Nicolson",
                                   "Stabilised_FIC", "Adams_Bashforth_2", "Adams_Bashforth_3",
                                   "Adams_Moulton_3"};
const char* const IntegNames[7] = {"Forward Euler", "Backward Euler", "Crank Nicolson",
                                   "Stabilised FIC", "Adams Bashforth order 2",
                                   "Adams Bashforth order 3", "Adams Moulton order 3"};
const int IntegOrders[7] = {1, 1, 2, 2, 2, 3, 3};
const int IntegImplicit[7] = {0, 1, 1, 0, 0, 0, 1};

const char* const ToolNames[8] = {"Check_Units", "Check_Function", "Sink_and_Trim",
                                  "Interpolate_Rst", "Create_Rst", "Write_Mesh",
                                  "Write_BoundMesh", "Write_Average"};

bool Same(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

bool In(int v, int lo, int hi) { return v >= lo && v <= hi; }

/// Fatal for an element order outside the table; prefix is "Element Order " or "Element ".
void CheckOrder(ElemOrder o, const char* prefix) {
  if (!In(o, 0, 16)) OLVU_FATAL(prefix << int(o) << " not implemented\n");
}

void CheckInteg(IntegType t) {
  if (!In(t, 0, 6)) OLVU_FATAL("Integration type " << int(t) << " not implemented\n");
}

}  // namespace

DimType To_DimType(const char* word) {
  for (int i = 1; i <= 3; ++i)
    if (Same(word, DimNames[i])) return DimType(i);
  OLVU_FATAL(word << " is not a DimType\n");
}

UnkType To_UnkType(const char* word) {
  if (Same(word, "Pressure")) return UnkType::Pressure;
  if (Same(word, "VelocityX") || Same(word, "VelocityY") || Same(word, "VelocityZ"))
    return UnkType::Velocity;
  if (Same(word, "Temperature")) return UnkType::Temperature;
  if (Same(word, "Concentration")) return UnkType::Concentration;
  OLVU_FATAL(word << " is not an UnkType\n");
}

DofType To_DofType(const char* word) {
  static const char* const words[5] = {"Pres", "VelX", "VelY", "VelZ", "Temp"};
  static const DofType kinds[5] = {DofType::Pressure, DofType::VelocityX, DofType::VelocityY,
                                   DofType::VelocityZ, DofType::Temperature};
  for (int i = 0; i < 5; ++i)
    if (Same(word, words[i])) return kinds[i];
  OLVU_FATAL(word << " is not a DofType\n");
}

DofType To_FieldDof(const char* word) {
  for (int i = 0; i < 45; ++i)
    if (Same(word, Fields[i].word)) return DofType(i + 1);
  OLVU_FATAL("Function Type " << word << " undefined\n");
}

CMType To_CMType(const char* word) {
  for (int i = 0; i < 5; ++i)
    if (Same(word, CMNames[i])) return CMType(i);
  OLVU_FATAL(word << " is not a CMType\n");
}

ElemType To_ElmType(const char* word) {
  for (int i = 0; i < 7; ++i)
    if (Same(word, ElemWords[i])) return ElemType(i);
  OLVU_FATAL(word << " is not an ElmType\n");
}

IntegType GiveType(const char* word) {
  for (int i = 0; i < 7; ++i)
    if (Same(word, IntegWords[i])) return IntegType(i);
  OLVU_FATAL("Integration type " << word << " not implemented\n");
}

OlvuTool ToolType(const char* word) {
  static const OlvuTool order[8] = {Write_Mesh,      Write_BoundMesh, Sink_and_Trim,
                                    Interpolate_Rst, Write_Average,   Create_Rst,
                                    Check_Units,     Check_Function};
  for (OlvuTool t : order)
    if (Same(word, ToolNames[t])) return t;
  OLVU_FATAL("Tool type " << word << " not implemented\n");
}

BackMesh BackMeshType(const char* word) {
  if (Same(word, "None")) return NoneBackMesh;
  if (Same(word, "Residual")) return ResidualBackMesh;
  if (Same(word, "Distance")) return DistanceBackMesh;
  if (Same(word, "Velocity")) return VelocityBackMesh;
  OLVU_FATAL("Background mesh type " << word << " not implemented\n");
}

StartUpType TypeOfStartUp(const char* word) {
  if (Same(word, "Speed")) return SpeedStartUp;
  if (Same(word, "Time")) return TimeStartUp;
  if (Same(word, "Both")) return BothStartUp;
  return NoStartUp;
}

Magnitude To_Magnitude(const char* word) {
  for (int i = 0; i < NMagnitudes; ++i)
    if (Same(word, MagnitudeNames[i])) return Magnitude(i);
  return Undimensional;
}

const char* To_FieldName(DofType t) {
  int k = int(t);
  if (!In(k, 1, 45)) OLVU_FATAL("Function Type " << " undefined\n");
  return Fields[k - 1].name;
}

Magnitude To_Magnitude(DofType t) {
  int k = int(t);
  return In(k, 1, 45) ? Fields[k - 1].mag : Undimensional;
}

UnkType To_UnkType(DofType t) {
  int k = int(t);
  if (In(k, 1, 3)) return UnkType::Velocity;
  if (k == 4) return UnkType::Pressure;
  return UnkType::Temperature;
}

DimType To_DimType(CMType t) { return In(t, 0, 4) ? DimType(CMDims[t]) : OneD; }

int To_NStress(CMType t) { return In(t, 0, 4) ? CMStress[t] : 0; }

ElemOrder CalcElemOrder(ElemType t, int nnode) {
  if (!In(t, 0, 6)) OLVU_FATAL("Element not implemented\n");
  // A punctual set takes any count up to the largest element's (27), so that
  // every element's node list stays within what an element can have.
  if (t == NoNe && nnode >= 0 && nnode <= Orders[15].nnode) return NoNeOrder;
  for (int o = FirstOrder[t]; o <= LastOrder[t]; ++o)
    if (Orders[o].nnode == nnode) return ElemOrder(o);
  OLVU_FATAL("Element Type " << ElemNames[t] << " with " << nnode << " nodes not implemented\n");
}

int GiveminNnode(ElemType t) {
  if (!In(t, 0, 6)) OLVU_FATAL("Element not implemented\n");
  return ElemCorners[t];
}

int GiveminNnode(ElemOrder o) {
  CheckOrder(o, "Element ");
  return Orders[o].corners;
}

int giveOrder(ElemOrder o) {
  CheckOrder(o, "Element Order ");
  return Orders[o].order;
}

int isQuadratic(ElemOrder o) {
  CheckOrder(o, "Element Order ");
  return Orders[o].quadratic;
}

int is_ThreeD(ElemOrder o, int flag) {
  CheckOrder(o, "Element Order ");
  return flag ? Orders[o].face : Orders[o].solid;
}

int IntegrationOrder(IntegType t) {
  CheckInteg(t);
  return IntegOrders[t];
}

int IntegrationType(IntegType t) {
  CheckInteg(t);
  return IntegImplicit[t];
}

double Integrate(IntegType t, double dt, double xPrev, double x, double rPrev2, double rPrev,
                 double r, double rNext) {
  CheckInteg(t);
  double R = 0;
  switch (t) {
    case Forward_Euler: R = r; break;
    case Backward_Euler: R = rNext; break;
    case Crank_Nicolson: R = (r + rNext) / 2; break;
    case Stabilised_FIC: return 4.0 / 3.0 * x - 1.0 / 3.0 * xPrev + 2.0 / 3.0 * dt * r;
    case Adams_Bashforth_2: R = (3 * r - rPrev) / 2; break;
    case Adams_Bashforth_3: R = (23 * r - 16 * rPrev + 5 * rPrev2) / 12; break;
    case Adams_Moulton_3: R = (5 * rNext + 8 * r - rPrev) / 12; break;
  }
  return x + dt * R;
}

int IsTimeStartUp(StartUpType t) { return t == TimeStartUp || t == BothStartUp; }

int IsSpeedStartUp(StartUpType t) { return t == SpeedStartUp || t == BothStartUp; }

std::ostream& operator<<(std::ostream& os, DimType t) {
  if (In(t, 0, 3)) os << DimNames[t];
  return os;
}

std::ostream& operator<<(std::ostream& os, UnkType t) {
  switch (t) {
    case UnkType::Velocity: os << "Velocity"; break;
    case UnkType::Pressure: os << "Pressure"; break;
    case UnkType::Temperature: os << "Temperature"; break;
    default: break;
  }
  return os;
}

std::ostream& operator<<(std::ostream& os, DofType) { return os; }

std::ostream& operator<<(std::ostream& os, VectorType t) {
  if (!In(t, 1, 43)) OLVU_FATAL("VectorType unknown\n");
  return os << VectorNames[t - 1];
}

std::ostream& operator<<(std::ostream& os, CMType t) {
  if (In(t, 0, 4)) os << CMNames[t];
  return os;
}

std::ostream& operator<<(std::ostream& os, ElemType t) {
  if (!In(t, 0, 6)) OLVU_FATAL("Element not implemented\n");
  return os << ElemNames[t];
}

std::ostream& operator<<(std::ostream& os, ElemOrder o) {
  CheckOrder(o, "Element ");
  return os << Orders[o].name;
}

std::ostream& operator<<(std::ostream& os, IntegType t) {
  CheckInteg(t);
  return os << IntegNames[t];
}

std::ostream& operator<<(std::ostream& os, OlvuTool t) {
  if (!In(t, 0, 7)) OLVU_FATAL("Tool type " << int(t) << " not implemented\n");
  return os << ToolNames[t];
}

std::ostream& operator<<(std::ostream& os, BackMesh t) {
  switch (t) {
    case NoneBackMesh: return os << "None background mesh";
    case DistanceBackMesh: return os << "Distance background mesh";
    case VelocityBackMesh: return os << "Velocity background mesh";
    default: OLVU_FATAL("Background mesh type " << int(t) << " not implemented\n");
  }
}
