// Enumerations of the data language: their values, the readers that turn a
// data-file word into a value, the printers, and the tables derived from them.
#pragma once

#include <ostream>

/// Space dimension of a model.
enum DimType : int { NoD = 0, OneD = 1, TwoD = 2, ThreeD = 3 };

/// Kind of solved unknown (4 has no word).
enum class UnkType : int { Velocity = 1, Pressure = 2, Temperature = 3, Concentration = 5 };

/// Field-function kind 1-45; indexes every function table of a domain.
enum class DofType : int {
  VelocityX = 1, VelocityY, VelocityZ, Pressure, Temperature, Pseudoconcentration,
  EddyKineticEnergy, EddyEpsilon, EddyOmega, EddyKtau, KineticEnergy, EddyViscosity,
  WaveElevation, AccelerationX, AccelerationY, AccelerationZ, HeatSource, Viscosity,
  TurbulenceLevel, EddyLength, Density, Compressibility, SpecificHeat, Conductivity,
  Floatability, HeatFlux, FluidUserDefined1, FluidUserDefined2, FluidUserDefined3,
  SolidUserDefined1, SolidUserDefined2, SolidUserDefined3, MeshDeformationX,
  MeshDeformationY, MeshDeformationZ, HeatSourceReaction, HeatFluxReaction,
  ConductivityXX, ConductivityXY, ConductivityYY, ConductivityXZ, ConductivityYZ,
  ConductivityZZ, SolidDensity, MechanicalStrain
};

/// Physical magnitude 0-59; -1 (Magnitude(-1)) means "no units" wherever one is expected.
enum Magnitude : int {
  Undimensional = 0, Length, Time, Mass, Angle, Temperature, Area, Volume, Inertia, MassInertia,
  Velocity, Acceleration, Density, Viscosity, KinematicViscosity, Force, ForcePerLength,
  ForcePerAngle, Tension, Pressure, ForcePerVolume, Momentum, MomentumPerLength, Energy,
  EnergyPerArea, EnergyPerVolume, Potency, PotencyPerArea, PotencyPerVolume, Frequency,
  AngleFrequency, AngularVelocity, AngularAcceleration, VelocityDamping, RotVelocityDamping,
  ThermalDilatancy, TemperatureGradient, VolumeExpansion, ThermalTransmission, SpecificHeat,
  HeatConductivity, HeatConvection, Dynamic_Pressure, Energy_per_Mass, Eddy_Kt, Eddy_Omega,
  Eddy_Epsilon, Flow, Flow_Coefficient, Compressibility, HeatReaction, HeatFluxReaction,
  Phi_F1, Phi_F2, Phi_F3, Phi_Flux, Spc_F2, Spc_F3, Spc_F5, Spc_Flux
};

/// Number of magnitudes (values 0 to NMagnitudes-1).
inline constexpr int NMagnitudes = 60;
/// Data-file word of each magnitude, indexed by its value.
extern const char* const MagnitudeNames[NMagnitudes];

/// Kind of nodal vector of a domain, 1-43 (a name ending in tdt is the value at t+dt).
enum VectorType : int {
  VeltX = 1, VeltY, VeltZ, VtdtX, VtdtY, VtdtZ, Prest, P_tdt, Tempt, Tmtdt, Pse_t, Pstdt,
  KEn_t, KEtdt, Eps_t, Eptdt, Ome_t, Omtdt, KT_t, KTtdt, VT_t, VTtdt, Ene_t, Entdt, Con_t,
  Cntdt, Dispt, Dstdt, ViscT, Visco, Denst, Tau_V, Utau2, Vortc, Lngth, Distn, Bouyn, HC_CD,
  HS_CD, SH_Ds, SHeat, HSour, F_S_T
};

/// Constitutive model of a solid.
enum CMType : int { OneDim = 0, PlaneStress, PlaneStrain, Axisymmetric, ThreeDim };

/// Element shape ("Punctual" reads as NoNe).
enum ElemType : int { NoNe = 0, Linear, Triangle, Quadrilateral, Tetrahedra, Hexahedra, Prisma };

/// Element shape with its node count ("Linear 2 Nodes" ... "Prisma 6 Nodes"; 0 prints "NoNe").
enum ElemOrder : int {
  NoNeOrder = 0, Linear2, Linear3, Triangle3, Triangle6, Quadrilateral4, Quadrilateral8,
  Quadrilateral9, Tetrahedra4, Tetrahedra5, Tetrahedra10, Tetrahedra11, Hexahedra8,
  Hexahedra9, Hexahedra20, Hexahedra27, Prisma6
};

/// Scalar time integrator.
enum IntegType : int {
  Forward_Euler = 0, Backward_Euler, Crank_Nicolson, Stabilised_FIC, Adams_Bashforth_2,
  Adams_Bashforth_3, Adams_Moulton_3
};

/// Stand-alone tool run instead of a solve.
enum OlvuTool : int {
  Check_Units = 0, Check_Function, Sink_and_Trim, Interpolate_Rst, Create_Rst, Write_Mesh,
  Write_BoundMesh, Write_Average
};

/// Background-mesh kind (5 has no printed name).
enum BackMesh : int { NoneBackMesh = 0, DistanceBackMesh = 1, VelocityBackMesh = 2, ResidualBackMesh = 5 };

/// Start-up ramp: bit 1 speed, bit 2 time.
enum StartUpType : int { NoStartUp = 0, SpeedStartUp = 1, TimeStartUp = 2, BothStartUp = 3 };

// Readers: a word (compared ignoring case) to its value; unknown words are fatal
// except for To_Magnitude and TypeOfStartUp, which give 0.

/// "OneD", "TwoD", "ThreeD".
DimType To_DimType(const char* word);
/// "Pressure", "VelocityX/Y/Z", "Temperature", "Concentration".
UnkType To_UnkType(const char* word);
/// The short field words "Pres", "VelX", "VelY", "VelZ", "Temp".
DofType To_DofType(const char* word);
/// The 45 long field words ("VelocityX" ... "MechanicalStrain").
DofType To_FieldDof(const char* word);
/// Constitutive-model word.
CMType To_CMType(const char* word);
/// Element-shape word.
ElemType To_ElmType(const char* word);
/// Time-integrator word ("Forward_Euler" ...).
IntegType GiveType(const char* word);
/// Tool word ("Check_Units" ...).
OlvuTool ToolType(const char* word);
/// Background-mesh word ("None", "Residual", "Distance", "Velocity").
BackMesh BackMeshType(const char* word);
/// Start-up word ("Speed", "Time", "Both"); anything else 0.
StartUpType TypeOfStartUp(const char* word);
/// Magnitude word; anything else 0 (Undimensional), silently.
Magnitude To_Magnitude(const char* word);

// Derived tables.

/// Output name of a field kind ("VelX_Field" ...); fatal outside 1-45.
const char* To_FieldName(DofType t);
/// Magnitude of the values of a field kind (0 where it has none).
Magnitude To_Magnitude(DofType t);
/// Unknown kind of a field kind: 1-3 velocity, 4 pressure, others temperature.
UnkType To_UnkType(DofType t);
/// Dimension of a constitutive model (1 outside the table).
DimType To_DimType(CMType t);
/// Stress components of a constitutive model (0 outside the table).
int To_NStress(CMType t);

/// Element order of a shape with a node count; fatal for a pair outside the table.
ElemOrder CalcElemOrder(ElemType t, int nnode);
/// Corner nodes of a shape.
int GiveminNnode(ElemType t);
/// Corner nodes of an element order.
int GiveminNnode(ElemOrder o);
/// Polynomial order of an element order.
int giveOrder(ElemOrder o);
/// 1 for the quadratic element orders.
int isQuadratic(ElemOrder o);
/// Flag 0: 1 for volume orders; flag non-zero: 1 for face orders of a 3-D boundary.
int is_ThreeD(ElemOrder o, int flag);

/// Order of accuracy of a time integrator.
int IntegrationOrder(IntegType t);
/// 1 for the implicit integrators.
int IntegrationType(IntegType t);
/// One scalar step: the new value from the step, two values and four rates.
double Integrate(IntegType t, double dt, double xPrev, double x, double rPrev2, double rPrev,
                 double r, double rNext);

/// 1 for time start-up (2, 3).
int IsTimeStartUp(StartUpType t);
/// 1 for speed start-up (1, 3).
int IsSpeedStartUp(StartUpType t);

// Printers.
std::ostream& operator<<(std::ostream& os, DimType t);
std::ostream& operator<<(std::ostream& os, UnkType t);
std::ostream& operator<<(std::ostream& os, DofType t);
std::ostream& operator<<(std::ostream& os, VectorType t);
std::ostream& operator<<(std::ostream& os, CMType t);
std::ostream& operator<<(std::ostream& os, ElemType t);
std::ostream& operator<<(std::ostream& os, ElemOrder o);
std::ostream& operator<<(std::ostream& os, IntegType t);
std::ostream& operator<<(std::ostream& os, OlvuTool t);
std::ostream& operator<<(std::ostream& os, BackMesh t);
