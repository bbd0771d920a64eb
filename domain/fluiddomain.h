// The fluid part of a problem: its element sets, nodal fields, node-condition sets, system
// matrices on one sparsity pattern, linear-solver settings, user functions and the table of
// sub-problems to solve. The driver creates it from the fluid definition block and calls its
// read, initialise, step, solve and output operations.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "domain/domain.h"
#include "domain/fluidparts.h"
#include "domain/fluidscratch.h"
#include "foundation/bitvec.h"
#include "foundation/intvec.h"
#include "foundation/owned.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"
#include "input/functiondomain.h"
#include "input/types.h"
#include "mesh/elementtable.h"
#include "solvers/patterncolumns.h"

class Input;
class Solver;
class FluidFuncTbl;
class FluidFunction;
class FluidMesh;
class BodyMesh;
class Matrix;
class InterfMesh;
class PhiProblem;
class SpcProblem;
class SparseMatrixStruct;
class SystemSparseMatrix;
class SymmetricSparseMatrix;

/// Ids of the domain's nodal vectors (the order is fixed: other code indexes by these numbers).
/// PresWork is the pressure before the latest solve (PreviousPressure), VelWorkX-Z the
/// right-hand sides of the solves (Rhs); Work1-3 hold only the oscillation indicator, and the
/// other operations keep their work vectors by name in FluidScratch.
enum FluidVar : int {
  VelX = 0, VelY = 1, VelZ = 2, VelX0 = 3, VelY0 = 4, VelZ0 = 5, Visc = 6, KVisc = 7, TVisc = 8,
  SAVar = 9, SAVar0 = 10, TauV = 11, TauEq = 12, WallFactor = 13, Vorticity = 14, ElemSize = 15,
  WallDist = 16, AddVec1 = 17, AddVec2 = 18, AddVec3 = 19, Temp = 20, Temp0 = 21, SpHeat = 22,
  Conduct = 23, Pres = 24, Pres0 = 25, PresWork = 26, Pseudo = 27, Pseudo0 = 28, KEnergy = 29,
  KEnergy0 = 30, KProduction = 31, EnergyV = 32, EnergyV0 = 33, Epsilon = 34, Epsilon0 = 35,
  Omega = 36, Omega0 = 37, KTau = 38, KTau0 = 39, TurbLength = 40, Dens = 41, DensCopy = 42,
  Compress = 43, Beta = 44, BodyForceX = 45, BodyForceY = 46, BodyForceZ = 47, MeshX = 48,
  MeshY = 49, MeshZ = 50, MeshX0 = 51, MeshY0 = 52, MeshZ0 = 53, MeshWork = 54, Work1 = 55,
  Work2 = 56, Work3 = 57, VelWorkX = 58, VelWorkY = 59, VelWorkZ = 60, NFluidVars = 64
};

/// Numbers of the node-condition sets (33 sets, 0 to 32).
enum FluidCond : int {
  FixVelX = 0, FixVelY, FixVelZ, FieldVelX, FieldVelY, FieldVelZ, CondVelNodes, FixMeshField,
  FixMeshNull, MeshNoFix, NormalVelNodes, LineVelNodes, FixPres, FieldPres, CondPresNodes,
  DeltNodes, RemoveCondNodes, FixTemp, FieldTemp, CondTempNodes, FixPseudo, FieldPseudo,
  FixKEnergy, FixTurbVar, WallLawNodes, FullFixVel, Cond26, FreeSurfNodes, FixBeta, FixGradient,
  SymmPlaneNodes, FreeTurb, Cond32, NFluidConds = 33
};

/// Entries of the sub-problem flag vector `ProblemsToSolve` (31 entries, 0 to 30).
enum FluidFlag : int {
  PVelocity = 1, PPressure = 2, PTemperature = 3, PPseudo = 4, PTurbulence = 5, PEnergy = 6,
  PTranspiration = 7, PSpecies = 8, PCompressibility = 9, PStructure = 10, PPhi = 11, PMeshDeform = 12,
  PKelvarid = 13, PNavierStokes = 14, PFractional = 15, PStokes = 16, PEuler = 17, PSmagorinsky = 18,
  PMixingLength = 19, PKEpsilon = 20, PKEpsLB = 21, PKEpsLS = 22, PKEps2L = 23, PKOmega = 24,
  PKOmegaSST = 25, PKKT = 26, PKinetic = 27, PKinetic2L = 28, PSpalart = 29, PBaldwin = 30,
  NFluidFlags = 31
};

/// The algorithms of the mesh deformation ("MeshDeformationType"); SolveMeshDeformation takes
/// `Configured` for the domain's own, and a domain that names none holds `Unset`.
enum class DeformationAlgorithm : int { Unset = -1, Configured = 0, ByFunctions = 1, ByAllData = 2, ByBodies = 3 };

/// Change of v from v0 as the solves measure it: the largest |v - v0|, or sum w |v - v0| with
/// weights; NaN when an entry of v is not finite, 0 when either vector is not sized to the other.
double FieldChange(const ReaVec& v, const ReaVec& v0, const ReaVec* w);

/// The direction of null-gradient node i in `table` ("Fixed Gradient Variables"); a node without
/// one stops with the table's "Do not exist index" message, also beyond the table's range.
const ReaVec& NullGradientDirection(const Plex<ReaVec>& table, int i);

/// The fluid domain.
class FluidDomain : public Domain, public FunctionDomain {
 public:
  /// Domain over the problem node table `all`, reading the fluid block from `in` (whose current
  /// card is the fluid definition card) when `read` is non-zero. `toGlobal` and `globalToLocal`
  /// are the caller's numbering maps (filled here); `kind` is the numbering slot (1 fluid, 2 solid).
  FluidDomain(Plex<Node>* all, Input* in, IntVec& toGlobal, IntVec& globalToLocal, int kind, int read);
  /// Deletes the sets' elements; the members and the base delete the rest they own. The nodes
  /// belong to the problem.
  /// The members of this class are defined in domain/, flow/ and bodies/, each beside what it
  /// uses. The destructor is the key function: it and the constructor are defined in bodies/, the
  /// top of the three, so the vtable, which names members of all three, is emitted there. No
  /// virtual function may be declared before it, and code of domain/ or flow/ reaches a member
  /// defined above it only by a virtual call or through Parts(), never by a direct call.
  ~FluidDomain() override;

  using Domain::ReadInitialConditions;

  // Reading.

  /// Reads the fluid definition card and the blocks that follow it.
  void ReadGeneralData(Input* in) override;
  /// Reads the element-set block.
  void ReadElmSets(Input* in) override;
  /// Numbers the domain nodes in order of first appearance in the fluid sets.
  void ReadNodes(Input* in) override;
  /// Nothing: the sets read their own elements.
  void ReadElements(Input*) override {}
  /// Gives the nodal fields their initial values from the initial-data and property functions.
  virtual void ReadInitialConditions();
  /// Reads the Boundary block: symmetry planes, node conditions and their checks.
  void ReadBoundaryConditions(Input* in) override;
  /// Reads the domain's block `name` of the restart file.
  void ReadRestart(Input* in, const char* name) override;

  // Initialisation.

  /// Initialises the domain once all conditions are read (the stream is not used).
  void InitialiseDomain(std::ostream& out) override;
  /// Sizes the fields and sets the active sub-problems need, builds the pattern and matrices.
  void InitialiseData() override;
  /// Boundary orientation, body normals and wall distance.
  virtual void InitialiseGeomData();
  /// Harmonic extension of the imposed velocities when "Smooth_Field" is on.
  void InitialiseUnknowns() override;
  /// Clamping limits of the turbulence unknowns, from the fields' extremes at set-up (those of a
  /// restart file, when it gave them: the run it continues set its limits from them).
  virtual void ReferenceValues();
  /// Entries of the turbulence fields' extremes that the limits are set from (TurbulenceExtremes).
  static constexpr unsigned kTurbulenceExtremes = 8;
  /// The turbulence fields' extremes the limits were set from: max |nu_t|, max and min |epsilon|,
  /// max and min |omega|, max and min |k-tau|, max |k|; empty before they are set or restored.
  ReaVec& TurbulenceExtremes() { return turbulenceExtremes_; }
  /// Distance of every node to the nearest body wall (when the distance field is sized).
  virtual void DistanceToBodiesField();
  /// Consistent initial pressure (flow solution).
  virtual void InitialiseVelocityPressure();
  /// Hydrostatic initial pressure (flow solution).
  virtual void SolveInitialPressure();
  /// Reconciles the velocity conditions (boundary conditions).
  virtual void CheckBoundaryConditions();
  /// Imposes the wall conditions of the body sets.
  virtual void ImposeBodyBoundaries();
  /// Nodal normal wall forces of the body sets into WallLoad().
  virtual void CalculateForces();

  // Step lifecycle.

  /// Start of a time step: theta, ramp, time-dependent conditions, material fields.
  void StartNewStep() override;
  /// Start of a coupled iteration: the reference scales of the convergence test.
  virtual void StartNewIteration();
  /// End of a step: relaxation and previous-step fields.
  virtual void FinishStep();
  /// Relaxes the iterated fields with factor f and refreshes the previous-step vectors.
  virtual void UpdateVariables(double f);
  /// Re-evaluates the conditional boundary conditions.
  virtual void UpdateConditions();
  /// Production of turbulent kinetic energy into p.
  virtual void CalcKProduction(ReaVec& p);
  /// Vorticity magnitude into w.
  virtual void CalcVorticity(ReaVec& w);
  /// to(i) = from(nearest wall node of i), 0 where there is none.
  virtual void ReadFromWallVariables(ReaVec& from, ReaVec& to);
  /// to(i) = from(nearest wall node of i) where that node is another one.
  virtual void AddFromWallVariables(ReaVec& from, ReaVec& to);
  /// Oscillation indicator of q in work vector 56.
  virtual void DetectOscillations(ReaVec& q);
  /// Nothing.
  virtual void ImposeBodyVelocities() {}

  // Solves (each returns at once when its sub-problem is not active).

  /// Momentum (velocity components).
  virtual void SolveMomentum();
  /// Divergence-free pressure.
  virtual void SolvePressure();
  /// Velocity projection after convergence.
  virtual void SolveProjection();
  /// Transport turbulence models.
  virtual void SolveTurbulence();
  /// Smagorinsky model (pre-uncoupled).
  virtual void SolveSmagorinsky();
  /// Mixing-length model (pre-uncoupled).
  virtual void SolveMixingLength();
  /// Temperature.
  virtual void SolveTemperature();
  /// Free surface (transpiration).
  virtual void SolveFreeSurface();
  /// Rigid-body movement of one iteration.
  virtual void SolveBodyMovement();
  /// Initial placement of moving bodies.
  virtual void SolveInitialBodyMovement();
  /// The step's mesh displacement by the algorithm `type` (a DeformationAlgorithm; 0 the domain's own).
  virtual void SolveMeshDeformation(int type);
  /// Adds the step's mesh displacement to the nodes.
  virtual void UpdateMeshDeformation();
  /// Structural solve (solid domain only).
  virtual void SolveSolidStructure() {}
  /// Sending over the coupling link (solid domain only).
  virtual void SolveKelvarid() {}

  // Output.

  /// Result blocks of one output step.
  void OutputResults(std::ostream& out) override;
  /// Result blocks of the initial data.
  void OutputInitialData(std::ostream& out) override;
  /// The domain's restart block named `name`.
  void OutputRestart(std::ostream& out, const char* name) override;
  /// Final results (nothing).
  virtual void OutputFinalResults(std::ostream&) {}
  /// Force columns of the `.for` line.
  void OutputForces(std::ostream& out) override;
  /// Movement columns of the `.mov` line.
  virtual void OutputBodyMovement(std::ostream& out);
  /// Structural-program result and mesh files.
  virtual void OutputQuorvelin(std::ostream& res, std::ostream& msh);
  /// Sink-and-trim table.
  virtual void OutputSinkandTrim(std::ostream& out);
  /// Background mesh with the desired element size of every node (type `Refine_Mesh`).
  void OutputBackgroundMesh(std::ostream& out) override;

  // System matrices.

  /// Rebuilds L, M, Gx, Gy, Gz, the lumped mass, its inverse, h and the length globals.
  virtual void CalcSystemMatrixes();

  // Material fields.

  /// out = the property functions of kind k of the fluid sets (weighted mean where sets meet).
  virtual void EvalDomainFunction(DofType k, ReaVec& out);
  /// Re-evaluates out only when a function of kind k is temporal.
  virtual void UpdateDomainFunction(DofType k, ReaVec& out);
  /// True when a fluid set's property function of kind k is temporal: each step evaluates it again.
  bool VariesInTime(DofType k);

  // Assembly helpers of the scalar transport equations.

  /// tau from the velocity tau and the diffusivity d, then A and the right-hand side out.
  virtual void AssembleSystem(ReaVec& u, ReaVec& u0, ReaVec& s, ReaVec& d, ReaVec& r, ReaVec& out, int order);
  /// A = M / (dt theta) + reaction r lumped + the diffusion of d + C1. The diffusion is conservative:
  /// the entry of a node pair takes the pair's mean diffusivity (PairDiffusion), as every form below.
  virtual void Assemble_LHS(ReaVec& d, ReaVec& r);
  /// out = M u0 / (dt theta) (+ M s) (+ tau C1^T m^-1 C1 u for order 1 and 2).
  virtual void Assemble_RHS(ReaVec& u, ReaVec& u0, ReaVec& s, ReaVec& out, int order);
  /// As the six-vector form with a capacity c: the diffusivity of tau is d / max(c, 1e-14).
  virtual void AssembleSystem(ReaVec& u, ReaVec& u0, ReaVec& c, ReaVec& s, ReaVec& d, ReaVec& r, ReaVec& out,
                              int order);
  /// As the seven-vector form with convective weights c2: the diffusivity of tau is d / max(c2, 1e-14).
  virtual void AssembleSystem(ReaVec& u, ReaVec& u0, ReaVec& c, ReaVec& c2, ReaVec& s, ReaVec& d, ReaVec& r,
                              ReaVec& out, int order);
  /// A = diag(c) (M / (dt theta) + C1 + diag(tau) C2) + reaction and diffusion terms.
  virtual void Assemble_LHS(ReaVec& c, ReaVec& d, ReaVec& r);
  /// A = diag(c) M / (dt theta) + diag(c2) C1 + diag(tau c2) C2 + reaction and diffusion terms.
  virtual void Assemble_LHS(ReaVec& c, ReaVec& c2, ReaVec& d, ReaVec& r);
  /// out = c (M u0 / (dt theta)) (+ M s) (+ tau c C1^T m^-1 C1 u for order 1 and 2).
  virtual void Assemble_RHS(ReaVec& u, ReaVec& u0, ReaVec& c, ReaVec& s, ReaVec& out, int order);
  /// As the five-vector form with the stabilisation term weighted by c2.
  virtual void Assemble_RHS(ReaVec& u, ReaVec& u0, ReaVec& c, ReaVec& c2, ReaVec& s, ReaVec& out, int order);
  /// out = M u / (dt theta) (+ M s).
  virtual void Assemble_STRHS(ReaVec& u, ReaVec& s, ReaVec& out);
  /// Lower and upper bounds of the equation's tau (set by the stabilisation of the flow solve).
  void TauLimits(double low, double high) { tauLow_ = low, tauHigh_ = high; }
  /// Bounds hi and lo of the solution of an equation with source s and reaction r.
  virtual void SourceReactionLimits(ReaVec& s, ReaVec& r, ReaVec& n, double& hi, double& lo);

  // FunctionDomain.

  /// The nodal vector called `name` (case ignored), or null.
  ReaVec* GiveVector(const char* name) override;
  /// Index of the first set named exactly `name`, or -1.
  int GiveMaterialIndex(const char* name) override;
  /// Nodes of set `index`, or null.
  const BitVec* MaterialNodes(int index) override;
  /// Raw views of coordinates, node graph, gradient and mass matrices.
  DomainView View() override;
  /// 0 when set `index` has no node set, else whether node `node` belongs to it.
  int IsNodeInMaterialIndex(int index, int node);

  // Accessors.

  /// Sub-problem flags (31 entries, entry k of sub-problem k).
  IntVec& ProblemsToSolve() { return problems_; }
  /// True when sub-problem k is active.
  bool Solves(FluidFlag k) const { return problems_[unsigned(k)] != 0; }
  /// Solver of non-symmetric systems.
  Solver* giveSolver1st() { return solver1_; }
  /// Solver of symmetric systems.
  Solver* giveSolver2nd() { return solver2_; }
  /// Domain kind (numbering slot).
  virtual int NumType() { return kind_; }
  /// Nodal vector of id `id`.
  ReaVec& Var(int id) { return vars_[id]; }
  /// Right-hand side of velocity component c's system (vector 58 + c); Rhs(0) is also that of
  /// every pressure and scalar solve.
  ReaVec& Rhs(int c) { return vars_[VelWorkX + c]; }
  /// The pressure before the latest pressure solve (vector 26), from which the projection takes
  /// the change; the imposed value at nodes of fixed pressure.
  ReaVec& PreviousPressure() { return vars_[PresWork]; }
  /// Named nodal work vectors of the domain's operations.
  FluidScratch& Scratch() { return work_; }
  /// Node-condition set `c`.
  BitVec& Cond(int c) { return conds_[c]; }
  /// Marks node n in condition set c (nothing when the set is not sized).
  void Mark(int c, int n);
  /// True when node n is in condition set c.
  bool Marked(int c, int n) const;
  /// Fluid set n ("Do not exist index" when absent).
  virtual Mesh* giveDomainMesh(int n) { return fluidMeshes_.get_at(n); }
  /// Next fluid set after cursor k (null at the end).
  virtual Mesh* giveNextDomainMesh(int& k) { return fluidMeshes_.next(k); }
  /// Body set n.
  virtual Mesh* giveBodyMesh(int n) { return bodyMeshes_.get_at(n); }
  /// Next body set after cursor k.
  virtual Mesh* giveNextBodyMesh(int& k) { return bodyMeshes_.next(k); }
  /// Free-surface set n.
  virtual Mesh* giveFreeSMeshesMesh(int n) { return freeMeshes_.get_at(n); }
  /// Next free-surface set after cursor k.
  virtual Mesh* giveNextFreeSMeshesMesh(int& k) { return freeMeshes_.next(k); }
  /// Count of fluid sets.
  int number_of_fluid_meshes() const { return fluidMeshes_.count; }
  /// Count of body sets.
  int number_of_body_meshes() const { return bodyMeshes_.count; }
  /// Count of free-surface sets.
  int number_of_frees_meshes() const { return freeMeshes_.count; }
  /// Count of Phi problems.
  int number_of_phivariables() const { return phi_.count; }
  /// Count of species problems.
  int number_of_species() const { return species_.count; }
  /// Phi problem n.
  PhiProblem* GiveVariable(int n) { return phi_.get_at(n); }
  /// Species problem n.
  SpcProblem* GiveSpecies(int n) { return species_.get_at(n); }
  /// The Phi-problem table.
  Plex<PhiProblem>& PhiProblems() { return phi_; }
  /// The species-problem table.
  Plex<SpcProblem>& SpcProblems() { return species_; }
  /// Creates Phi problem n named "Phi_Variable_n" (an element set gave its properties first).
  void CreatePhiProblem(int n);
  /// Creates species problem n named "Species_n", never below 0.
  void CreateSpcProblem(int n);
  /// "Normal to Surface".
  OwningPlex<ReaVec>* giveNormalPlex() { return &normals_; }
  /// Pressure.
  ReaVec& givePressure() { return vars_[Pres]; }
  /// Dynamic viscosity.
  ReaVec& giveViscosity() { return vars_[Visc]; }
  /// Turbulent viscosity.
  ReaVec& giveTViscosity() { return vars_[TVisc]; }
  /// Density.
  ReaVec& giveDensity() { return vars_[Dens]; }
  /// Velocity components.
  ReaVec& giveVelocityX() { return vars_[VelX]; }
  ReaVec& giveVelocityY() { return vars_[VelY]; }
  ReaVec& giveVelocityZ() { return vars_[VelZ]; }
  /// Coordinate of domain node i - k + 1 (through the domain-to-problem map).
  double& X(int i, int k) override;
  double& Y(int i, int k) override;
  double& Z(int i, int k) override;
  /// Node with problem number i when flag is non-zero, else with domain number i.
  virtual Node* giveNode(int i, int flag);
  /// Lumped mass (nodal volume).
  ReaVec& LumpedMass() { return lumped_; }
  /// Inverse lumped mass.
  ReaVec& InvLumpedMass() { return invLumped_; }
  /// The shared sparsity pattern (null before InitialiseData).
  SparseMatrixStruct* Pattern() { return pattern_; }
  /// Matrix k of the domain (0 system, 1 momentum, 2-4 Gx Gy Gz, 7 first and 8 second convective).
  SystemSparseMatrix* SystemMatrix(int k) { return sys_[k]; }
  /// x, y, z of domain node j at [3 (j - 1)] (the copy kept by RefreshNodeArray).
  const double* NodeCoordinates() const { return nodeXYZ_.data(); }
  /// Changes whenever the domain's nodes move or are renumbered: flat copies compare it.
  unsigned GeometryStamp() const { return geometryStamp_; }
  /// Changes only when the domain's nodes are renumbered: what depends on the numbering and the
  /// sets alone (node lists, incidences) compares it, and survives a mesh that merely moves.
  unsigned TopologyStamp() const { return topologyStamp_; }
  /// Keeps the raw node array of View() and the coordinate copy in step with the node table;
  /// called whenever the domain's nodes move (`renumbered` false) or are renumbered.
  void RefreshNodeArray(bool renumbered = true);
  /// The Laplacian.
  SymmetricSparseMatrix* Laplacian() { return lap_; }
  /// The consistent mass matrix.
  SymmetricSparseMatrix* Mass() { return mass_; }
  /// Element order per domain node.
  IntVec& NodeOrder() { return nodeOrder_; }
  /// Domain-to-problem numbering.
  IntVec& ToGlobal() { return toGlobal_; }
  /// Problem-to-domain numbering.
  IntVec& GlobalToLocal() { return globalToLocal_; }
  /// Initial-data function table.
  FluidFuncTbl* InitialFunctions() { return initial_; }
  /// Conditional function table.
  FluidFuncTbl* ConditionalFunctions() { return conditional_; }
  /// Time integration scheme.
  IntegType Scheme() const { return scheme_; }
  /// Time step times theta, its inverse, the step and theta.
  double DtTheta() const { return dtTheta_; }
  double InvDtTheta() const { return invDtTheta_; }
  double Dt() const { return dt_; }
  double Theta() const { return theta_; }
  /// Pseudo-step of the iterations of a step too long for the pressure to follow the velocity (0:
  /// none; the iterations take the step itself).
  double PseudoStep() const { return pseudoStep_; }
  void SetPseudoStep(double t) { pseudoStep_ = t; }
  /// The time the flow takes to cross the domain by its largest speed or by its viscosity,
  /// 1 / (U / D + nu / D^2), D the diagonal of the domain's box (1e100 when no flow is solved):
  /// a step longer than it follows no transient of the flow.
  double CrossingTime();
  /// The velocity change, measured as a velocity solve measures its change, that the projection
  /// of the last pressure change makes: the divergence left in the velocity.
  double ContinuityChange();
  /// 1 / dt: a step's mesh displacement over it is the mesh velocity, whatever the time scheme.
  double MeshRate() const { return dt_ > 0 ? 1.0 / dt_ : 0.0; }
  /// Steady-state and advection norms, increment-control factor.
  double SteadyNorm() const { return steadyNorm_; }
  double AdvectionNorm() const { return advectionNorm_; }
  double IncrementControl() const { return incrControl_; }
  /// Lowers the steady and advection norms to the smallest convergence tolerance of the fields
  /// the domain solves.
  void LowerNorms();
  /// Change of field k (0 velocity, 1 pressure, 2 temperature) from the start of the step to
  /// now, measured as the field's solves measure their change; 0 for a field not solved.
  double StepIncrement(int k) const;
  /// Stabilisation orders: 0 NS convective, 1 NS pressure, 2 turbulence, 3 temperature,
  /// 4 pseudoconcentration, 5 energy (0 second, 1 fourth order, 2 automatic).
  int StabOrder(int k) const { return stab_[k]; }
  /// Smoothing switches: 0 velocity, 1 turbulence, 2 temperature, 3 energy.
  int Smoothing(int k) const { return smooth_[k]; }
  /// Total-pressure and split-pressure flags.
  int TotalPressure() const { return totalPressure_; }
  int SplitPressure() const { return splitPressure_; }
  /// Mesh-deformation type and update interval, fix-turbulence-on-bodies, coupling step.
  DeformationAlgorithm MeshDeformationType() const { return meshDefType_; }
  int UpdateMeshEvery() const { return updateMeshEvery_; }
  int FixTurbulenceOnBodies() const { return fixTurbBodies_; }
  int CouplingStep() const { return couplingStep_; }
  /// Stabilisation ratios and their upper bounds.
  double MinTauV() const { return minTauV_; }
  double MaxTauV() const { return maxTauV_; }
  double MinTauP() const { return minTauP_; }
  double MaxTauP() const { return maxTauP_; }
  /// The normal-condition flag (set by InitialiseDomain).
  int NormalCondition() const { return normalCond_; }
  /// Nearest body node per node (-1 none; empty when no wall law).
  IntVec& NearestWallNode() { return nearest_; }
  /// Customised results, integrals and mesh displacement functions.
  Plex<FluidFunction>& CustomResults() { return customRes_; }
  Plex<char>& CustomResultNames() { return customNames_; }
  Plex<FluidFunction>& CustomIntegrals() { return customInt_; }
  Plex<FluidFunction>& MeshDisplacements() { return meshDisp_; }
  /// Node-Material information: nodes of fluid set n.
  Plex<BitVec>& NodeMaterial() { return nodeMaterial_; }
  /// Domain name ("Fluid Domain" when read).
  const char* DomainName() const { return name_; }
  /// The body and free-surface sets and the scalar problems, as domain/ and flow/ reach them.
  FluidParts& Parts() { return *parts_; }

 protected:
  /// The Gauss, triangle and tetrahedron paths of CalcSystemMatrixes for one set.
  virtual void CalcSystemMatrixesSet(FluidMesh* set);
  /// Sizes vector id to the node count, zeroed.
  void Size(int id) { vars_[id].resize(unsigned(numNodes), 0.0); }
  /// Sizes condition set c to the node count, cleared.
  void SizeCond(int c) { conds_[c].resize(unsigned(numNodes), 0); }
  /// Reads the flow and model switches of the definition card.
  void ReadSolveKeywords(Input* in);
  /// Reads the blocks after the definition card (functions and solvers).
  void ReadFunctionBlocks(Input* in);
  /// Reads the Phi and species definitions that follow the card, when the domain solves either.
  void ReadProblemDefinitions(Input* in);
  /// Reads the optional mesh-displacement, integral and customised-result function blocks.
  void ReadCustomFunctions(Input* in);
  /// tau of an equation from the velocity tau and the diffusivity d (divided by q when given), clamped.
  void EquationTau(const ReaVec& d, const ReaVec* q);
  /// w = C1^T (m^-1 (C1 u)): the fourth-order stabilisation term before its weights.
  ReaVec& StabilisationTerm(ReaVec& u);
  /// The equation without capacity in one pass over the pattern: with d, the matrix A = M / (dt
  /// theta) + C1 + tau C2 + diag(d) L + diag(r m) (r, d possibly empty); with out, out = M (u0 /
  /// (dt theta) + s) and, for order 1 or 2, + tau C1^T (m^-1 (C1 u)) (order 2 through AutoStabOrder).
  /// With the capacities c and c2 (both or neither): c scales the rows of M / (dt theta) on both
  /// sides (out = c M u0 / (dt theta) + M s), c2 those of C1 + tau C2 and of the stabilisation.
  void ScalarSystem(ReaVec* d, ReaVec* r, ReaVec* u, ReaVec* u0, ReaVec* s, ReaVec* out, int order,
                    ReaVec* c = nullptr, ReaVec* c2 = nullptr);
  /// Harmonic extension of one velocity component.
  void SmoothComponent(int comp, const BitVec& fixed, const BitVec& far);
  /// Nodal velocity gradient: grad[a][b] = d u_a / d x_b.
  void VelocityGradient(ReaVec (&grad)[3][3]);
  /// Smallest element extents along x, y, z and the smallest wall distance of the problem.
  void ElementExtents();
  /// The symmetry plane of `axis` (0 x, 1 y, 2 z) from the current card.
  void SymmetryPlane(Input* in, int axis);
  /// The condition of one "Node" card for domain node n (`written` as on the card), with the
  /// conversion factors of the boundary units.
  void NodeCondition(Input* in, int n, int written, double fPres, double fVel, double fTemp);
  /// The step's values of the time-dependent velocity, pressure and temperature conditions.
  void RefreshFieldConditions();
  /// The material fields whose property functions depend on time, checked, and those made of them.
  void UpdateMaterialFields();
  /// UpdateConditions; at the start of a step (`stepStart`) the values of the nodes it fixes are
  /// those of the step's unknowns, at t^n + theta dt (as the time-dependent conditions').
  void ApplyConditions(bool stepStart);
  /// The value that fixed velocity component c of node i (1-based) holds during the step.
  double HeldVelocity(int c, unsigned i) const;
  /// The nodal force vectors (surface normal times the normal wall force) into the three
  /// background-size vectors.
  void NodalForces();

  friend class BodyParts;
  std::unique_ptr<FluidParts> parts_;  // installed by the constructor
  const char* name_ = "";
  Plex<Mesh> fluidMeshes_;
  Plex<Mesh> bodyMeshes_;
  Plex<Mesh> freeMeshes_;
  Owned<Solver> solver1_;
  Owned<Solver> solver2_;
  Owned<FluidFuncTbl> conditional_;
  Owned<FluidFuncTbl> initial_;
  OwningPlex<PhiProblem> phi_;
  OwningPlex<SpcProblem> species_;
  OwningPlex<char, char[]> customNames_;
  OwningPlex<FluidFunction> customRes_;
  OwningPlex<FluidFunction> customInt_;
  OwningPlex<FluidFunction> meshDisp_;
  OwningPlex<BitVec> nodeMaterial_;
  IntVec& toGlobal_;
  IntVec& globalToLocal_;
  int kind_;
  ReaVec vars_[NFluidVars];
  IntVec nodeOrder_;
  IntVec nearest_;
  ReaVec invLumped_;
  ReaVec lumped_;
  ReaVec nu_;  // viscosity of the momentum matrix (MomentumTau): no work vector, which other assemblies write
  ReaVec turbulenceExtremes_;  // what the turbulence limits are set from (TurbulenceExtremes)
  bool vorticityRestored_ = false;  // the restart file gave the kept vorticity
  Owned<SparseMatrixStruct> pattern_;
  Owned<SystemSparseMatrix> sys_[9];
  Owned<SymmetricSparseMatrix> lap_;
  Owned<SymmetricSparseMatrix> mass_;
  IntegType scheme_ = Backward_Euler;
  int stab_[6] = {1, 1, 1, 1, 1, 1};
  int smooth_[4] = {0, 1, 0, 0};
  int totalPressure_ = 0;
  int splitPressure_ = 0;
  DeformationAlgorithm meshDefType_ = DeformationAlgorithm::Unset;
  int updateMeshEvery_ = 1;
  int fixTurbBodies_ = 0;
  int couplingStep_ = -1;
  double dtTheta_ = 0, invDtTheta_ = 0, dt_ = 0, theta_ = 1.0, extra_ = 0;
  double pseudoStep_ = 0;
  // The step's values of the fixed velocity components of time-dependent and conditional nodes
  // (elsewhere the start-of-step velocity holds them); empty without such nodes.
  ReaVec heldVelocity_[3];
  double minTauV_ = 0.025, maxTauV_ = 25.0, minTauP_ = 0.025, maxTauP_ = 25.0;
  double tauLow_ = 0, tauHigh_ = 1e100;
  double steadyNorm_ = 0, advectionNorm_ = 0, incrControl_ = -1;
  IntVec problems_;
  int normalCond_ = 0;
  BitVec conds_[NFluidConds];
  ReaVec symPlanes_[3];
  OwningPlex<ReaVec> fixedGradient_;
  OwningPlex<ReaVec> normals_;
  std::vector<double> normalVelocity_;  // prescribed normal velocity by domain node (0 where none)
  OwningPlex<ReaVec> velocityLine_;
  ReaVec bgm_[3];
  std::vector<const ReaVec*> nodeArray_;  // coordinates by domain number - 1, for View()
  std::vector<double> nodeXYZ_;           // x, y, z of domain node j at 3 (j - 1), with nodeArray_
  unsigned geometryStamp_ = 1;            // changed with every refresh of nodeArray_
  unsigned topologyStamp_ = 1;            // changed with every renumbering refresh of nodeArray_

  // Flow solution: convective matrices, stabilisation, smoothing, field solves
 public:
  /// Rebuilds K (matrix 7), S (matrix 8), the nodal convective tau (vector 11), its volume mean and
  /// the velocity and pressure tau limits from the velocity (u, v, w); skipped with a message while
  /// the velocity increment ratio is below the advection norm.
  virtual void CalcConvectiveMatrixes(ReaVec& u, ReaVec& v, ReaVec& w);
  /// Adds the convective matrices of one set by its closed form or Gauss rule.
  virtual void CalcConvectiveMatrixes3NodesTriangle(Mesh* set, ReaVec& u, ReaVec& v, ReaVec& w);
  virtual void CalcConvectiveMatrixes4NodesTetrahedra(Mesh* set, ReaVec& u, ReaVec& v, ReaVec& w);
  virtual void CalcConvectiveMatrixesDefault(Mesh* set, ReaVec& u, ReaVec& v, ReaVec& w);
  /// Builds the directional Laplacians Lxx, Lyy, Lzz and the directional element sizes (vectors 17-19).
  virtual void CalcAdditionalSystemMatrixes();
  /// Adds the directional Laplacians and sizes of one set (Gauss rule).
  virtual void CalcAdditionalSystemMatrixesDefault(Mesh* set);
  /// Directional Laplacian k (0 x, 1 y, 2 z); null before CalcAdditionalSystemMatrixes.
  SymmetricSparseMatrix* DirectionalLaplacian(int k) { return lapDir_[k].get(); }
  /// Volume mean of the convective tau, and the velocity and pressure tau limits.
  double TauMean() const { return tauMean_; }
  double TauVLow() const { return tauLow_; }
  double TauVHigh() const { return tauHigh_; }
  double TauPLow() const { return tauPLow_; }
  double TauPHigh() const { return tauPHigh_; }

  /// Moves the free nodes of x towards the mass-weighted mean of their neighbours, for `passes`
  /// passes with a threshold that falls with the count; returns x.
  ReaVec& VarSmoothing(ReaVec& x, const BitVec& fixed, int passes);
  /// Lowers the stabilisation weights s where x is rough (automatic stabilisation order); returns s.
  ReaVec& AutoStabOrder(ReaVec& x, ReaVec& s);
  /// D = discontinuity-capturing diffusivity of x at `level` over the base diffusivity a, with the
  /// reaction coefficient b (may be empty); D may be a itself.
  virtual void DiscontinuityCapturing(ReaVec& x, ReaVec& a, ReaVec& b, ReaVec& D, int level);
  /// As above with the convective part weighted by the capacity rho.
  virtual void DiscontinuityCapturing(ReaVec& x, ReaVec& rho, ReaVec& a, ReaVec& b, ReaVec& D, int level);
  /// Corrects phi so that its volume balance against phi0 and the boundary outflow holds to `tol`,
  /// keeping it inside [lo, hi]: 0 when it holds, -1 otherwise (phi unchanged when it cannot move).
  /// The nodes of `fixed` (when given) keep their prescribed values.
  virtual int VolumeConservation(ReaVec& phi0, ReaVec& phi, double hi, double lo, double tol, int n,
                                 const BitVec* fixed = nullptr);
  /// Capturing indicator of x at `level` into D.
  virtual void DiscontCapturing(ReaVec& x, ReaVec& D, int level);
  /// Adds 0.5 chi h^2 / (theta dt) to D, chi the capturing indicator of x at `level`.
  virtual void AddDCDifussion(ReaVec& x, ReaVec& D, int level);
  /// Blends the free nodes of x towards their upper-row mean for `passes` passes.
  virtual void DiscontCapturing(ReaVec& x, const BitVec& fixed, int passes);
  /// Shock indicator of x into D.
  virtual void VarShockCapt(ReaVec& x, ReaVec& D);

  /// Solves A x = b for the field of kind t, then keeps x in its bounds and limits its change per
  /// iteration; the nodes of `fixed` keep their values. Afterwards b holds the previous x.
  virtual void SolveUnknown(UnkType t, ReaVec& x, SystemSparseMatrix* A, ReaVec& b, const BitVec& fixed,
                            const char* label);
  /// As above without fixed nodes, with the solver's refactor flag.
  virtual void SolveUnknown(UnkType t, ReaVec& x, SystemSparseMatrix* A, ReaVec& b, int refactor,
                            const char* label);

 protected:
  /// The convective matrices of one set, by its closed form unless `gauss` is set.
  void ConvectiveSet(Mesh* set, ReaVec& u, ReaVec& v, ReaVec& w, bool gauss);
  // The element table of a fluid set, built on first use and again when the set, the pattern or
  // the thread count changed.
  ElementTable& SetTable(Mesh* set);
  /// A = diag(c) M / (dt theta) + diag(c2) (C1 + diag(tau) C2) + the diffusion of d (d may be
  /// empty), in one pass; c2 may be c itself.
  void TransportMatrix(const ReaVec& c, const ReaVec& c2, const ReaVec& d);
  /// The bounds and increment limit of SolveUnknown, applied after the solve (b the previous x).
  void BoundUnknown(UnkType t, ReaVec& x, const ReaVec& b, const BitVec* fixed);
  /// Work vector v of the domain's scratch, sized to the node count (zeroed when it is resized).
  ReaVec& Nodal(ReaVec& v) {
    if (v.length() != unsigned(numNodes)) v.resize(unsigned(numNodes), 0.0);
    return v;
  }
  /// y = (M x) / m node by node: the mass-weighted neighbourhood mean of x.
  void MassMean(const ReaVec& x, ReaVec& y);
  /// The common loop of both discontinuity-capturing forms.
  void Capturing(ReaVec& x, const ReaVec* rho, ReaVec& a, ReaVec& b, ReaVec& D, int level, double floor);

  std::vector<ElementTable> elementTables_;  // per fluid set, in table order
  std::vector<double> coordinates_;          // node coordinates by row, for the element loops
  double tauMean_ = 0, tauPLow_ = 0, tauPHigh_ = 1e100;
  double speedScale_ = 0;  // the speed against which an element counts as at rest
  std::unique_ptr<SymmetricSparseMatrix> lapDir_[3];
  FluidScratch work_;  // named nodal work vectors, sized on first use
  PatternColumns columns_;  // the pattern by column, for threaded products with a transpose
  // u0, s and u node by node, so that a row pass with a capacity gathers one stream, not three.
  std::vector<double> packed_;
  // The pattern by column when the row loops fork (built on first use), else null.
  const PatternColumns* Columns();

  // Fluid-solid interfaces
 public:
  /// Lets the interface set m exchange heat with this domain's temperature (once; not owned).
  void AddInterface(InterfMesh* m);

 protected:
  /// Adds the heat every interface set brings from the other domain into the temperature system
  /// (A, b) of this domain.
  void InterfaceHeatExchange(SystemSparseMatrix* A, ReaVec& b);
  /// Adds the heat fluxes of the body sets (integrated over their faces) to b and their flux
  /// reactions to the diagonal of A, limited as the volume sources are; q, r and w are work vectors.
  void BodyHeatFluxes(SystemSparseMatrix* A, ReaVec& b, ReaVec& q, ReaVec& r, ReaVec& w);

  std::vector<InterfMesh*> interfaces_;  // interface sets touching this domain (not owned)

  // Free surface
 public:
  /// Plane values of the symmetry planes normal to `axis` (0 x, 1 y, 2 z).
  const ReaVec& SymmetryPlanes(int axis) const { return symPlanes_[axis]; }

  // Flow solution: momentum, pressure, projection, velocity boundary treatment
 public:
  /// Momentum matrix (matrix 1) and the three right-hand sides (vectors 58-60) of the current
  /// velocity: mass, viscous Laplacian, convection, streamline stabilisation, body forces and
  /// the pressure gradient.
  virtual void AssembleMomentum();
  /// Body force per unit mass (acceleration functions, floatability, density reference) into fx, fy, fz.
  virtual void CalculateBodyForces(ReaVec& fx, ReaVec& fy, ReaVec& fz);
  /// Recomputes the body forces and, unless `only` is non-zero, corrects the pressure for their change.
  virtual void CalculateBodyForces(int only);
  /// Wall and outflow terms and the explicit pressure gradient of the momentum right-hand sides.
  virtual void Assemble_NSRHS(ReaVec& bx, ReaVec& by, ReaVec& bz);
  /// One velocity component: rows of the fixed, normal-velocity and null-gradient nodes, then
  /// (when `prepareOnly` is 0) the solve of the working matrix (matrix 0).
  virtual void SolveVelocityX(int prepareOnly);
  virtual void SolveVelocityY(int prepareOnly);
  virtual void SolveVelocityZ(int prepareOnly);
  /// Coupled Gauss-Seidel pass over the normal-velocity and line-velocity nodes (three dimensions).
  virtual void VelocityBoundaries();
  /// Imposes the fixed, normal and line velocity conditions on the velocity.
  virtual void CorrectVelocity();
  /// The same rules on three component vectors (fixed components take the start-of-step velocity).
  virtual void CorrectVelocity(ReaVec& a1, ReaVec& a2, ReaVec& a3);
  /// Brings the pseudoconcentration back to a distance-like profile around its zero level.
  virtual void PsedReinitialisation();
  /// Fractional step: momentum, pressure and projection stages.
  virtual void SolveFractionalStep();
  /// Pressure stage of the fractional step.
  virtual void SolvePressureStep();
  /// Projection stage of the fractional step.
  virtual void SolveProjectionStep();
  /// Momentum solve through the generic field solve.
  virtual void SolveMonolithic();
  /// Stokes momentum (no convection); fatal with null viscosity.
  virtual void SolveMomentumStokes();
  /// Explicit Euler update of the velocity from the start-of-step velocity.
  virtual void SolveSimplifiedEuler();
  /// Pressure by a penalty on the divergence with factor `penalty`.
  virtual void SolvePenaltyPressure(double penalty);
  /// Constraint step of the solver's coupled iteration: the velocity conditions on x1, x2, x3.
  void SolveCoupled(ReaVec& x1, ReaVec& x2, ReaVec& x3) override;
  /// Explicit update of the velocity over theta dt, in as many sub-steps as the local time-step
  /// bound asks for; returns the number of sub-steps taken (0 when the update is not active).
  virtual int SolveNavierStokesExplicit();
  /// Right-hand side of one explicit sub-step of component u with body force f: out = M u /
  /// (theta dt) - A u + M f, A the momentum matrix (matrix 1).
  virtual void Assemble_EXRHS(ReaVec& u, ReaVec& f, ReaVec& out);
  /// Transport of the pseudoconcentration by the velocity (its fixed nodes keep their values).
  virtual void SolvePseudoconcentration();
  /// Transport of the energy by the velocity, diffused by the viscosity and kept non-negative.
  virtual void SolveEnergy();
  /// Pressure system (matrix 0) and right-hand side (vector 58): L p = (tau_p G^T pi + dt L prev -
  /// D u) / (tau_p + dt), pi the projected pressure gradient (only with `gradientTerm`) and tau_p
  /// vector 12, with the compressibility term and the fixed pressures (or the mean removed).
  void AssemblePressure(const ReaVec& prev, bool gradientTerm);
  /// Nodes that the velocity component solves keep unchanged (filled by VelocityBoundaries).
  BitVec& VelocityKept() { return velKept_; }
  /// The prescribed normal velocity of domain node n (0 until set; the table grows to hold n).
  double& NormalVelocity(int n) {
    if (normalVelocity_.size() <= std::size_t(n)) normalVelocity_.resize(std::size_t(n) + 1, 0.0);
    return normalVelocity_[std::size_t(n)];
  }
  /// "Fixed Velocity Line" and "Fixed Gradient Variables" (entries owned by the domain).
  OwningPlex<ReaVec>& VelocityLineTable() { return velocityLine_; }
  OwningPlex<ReaVec>& FixedGradientTable() { return fixedGradient_; }

 protected:
  /// The component solve of SolveVelocityX/Y/Z for component c (0 x, 1 y, 2 z).
  void SolveVelocityComponent(int c, int prepareOnly);
  /// A (matrix 1) = M / (theta dt) + diag(nu) L + K + diag(tau) S, with tau (vector 12) clamped
  /// to the velocity limits.
  void MomentumMatrix();
  /// nu (`nu_`) and the clamped momentum tau (vector 12) of MomentumMatrix.
  void MomentumTau();
  /// b_k (vectors 58-60) from the velocity, its values `start` (three vectors) and the explicit
  /// terms; with `buildMatrix` the same pass builds A from MomentumTau's vectors (shared rows and
  /// stabilisation order 0 or 1 only).
  void MomentumRightHandSides(ReaVec* start, bool buildMatrix = false);
  /// True when the symmetric and general matrices walk the same full positions (the fused kernels apply).
  bool SharedRows() const;
  /// nu = kinematic + turbulent viscosity (whichever is sized) into v.
  void EffectiveViscosity(ReaVec& v);
  /// Identity rows and values of the fixed pressures, or the mean removed from b when none is fixed.
  void FixPressureRows(SystemSparseMatrix* A, ReaVec& b);
  /// Assembles and solves the pressure system (AssemblePressure), pins node 1 when no pressure is
  /// fixed and updates a compressible density; returns the mass-weighted change.
  double DivergenceFreePressure(const ReaVec& prev, bool gradientTerm, const char* label);
  /// True when the iterations take pseudo-steps; the mass coefficient of the momentum matrix,
  /// 1 / (theta dt) or 1 / (theta T); the time of the pressure coupling, dt or T.
  bool PseudoStepping() const;
  double MomentumMass() const;
  double PressureStep() const;
  /// The start vectors of a pseudo-step's momentum right-hand sides, one per velocity component.
  ReaVec* PseudoStepOperands();
  /// Pressure stabilisation parameters raised to their lower limit and held to half a step.
  void LimitPressureTau(ReaVec& tau) const;

  BitVec velKept_;     // velocity unknowns kept by the component solves
  BitVec scratchSet_;  // nodes fixed by the hydrostatic initial pressure

  // Bodies: normals, wall forces, rigid-body movement and mesh deformation
 public:
  /// Sets the "Normal to Surface" entry of every body node to zero.
  virtual void DeleteBodyNormals();
  /// Accumulates the normals of the body sets (two and three dimensions); callers normalise.
  virtual void CalcBodyNormals2D();
  virtual void CalcBodyNormals3D();
  /// Viscous stress vector (over the density) at body node `node`, from its stored normal.
  virtual void CalculateStresses(int node, double& sx, double& sy, double& sz);
  /// Nodal velocity-gradient matrix (entry (a, b) = d u_a / d x_b).
  virtual Matrix BuildMatrixGradU(int node);
  /// Nodal hydrostatic pressure about x0 (zero without a pressure solve).
  virtual ReaVec& CalculateHydrostatic(ReaVec& x0);
  /// Wall traction component k (0 x, 1 y, 2 z) of CalculateForces.
  ReaVec& BodyTraction(int k) { return traction_[k]; }
  /// Pressure load of the body nodes of CalculateForces (0 at other nodes).
  ReaVec& WallLoad() { return wallLoad_; }
  /// Next body set after cursor k.
  BodyMesh* giveNextBody(int& k);
  /// One 0-based layer index per node from the seed nodes, stopping at the first stop node;
  /// returns the layer count (see the definition).
  static int LayerInformation(SparseMatrixStruct* graph, Plex<Node>& nodes, BitVec& seeds, IntVec& level,
                              BitVec& stop, IntVec& map, int slot);
  /// Fills the displacements of the nodes outside `known` by an advancing front from it, and
  /// their graph distance to it.
  static void SmoothDeformation(SparseMatrixStruct* graph, Plex<Node>& nodes, BitVec& known, ReaVec& distance,
                                ReaVec& dx, ReaVec& dy, ReaVec& dz, IntVec& map, int slot);

 protected:
  /// Wall-law friction and outflow stresses of the body sets into the momentum system (matrix 1)
  /// and the right-hand sides.
  void BodyWallTerms(ReaVec& bx, ReaVec& by, ReaVec& bz);
  /// Deletes, recomputes and normalises the body normals.
  void RecalcBodyNormals();
  /// Normalises every vector of "Normal to Surface".
  void NormaliseBodyNormals();
  /// Matrices, body sets and body normals after the nodes moved.
  void RebuildGeometry();
  /// The normals of every body set accumulated node by node (D the dimension).
  template <int D>
  void BodyNormals();

  ReaVec traction_[3];          // wall traction of CalculateForces
  ReaVec wallLoad_;             // pressure load of the body nodes of CalculateForces
  unsigned tractionStamp_ = 0;  // body-node stamp at which traction_ was last cleared
  ReaVec hydrostatic_;          // result of CalculateHydrostatic
  bool wallDiagonalDue_ = false;  // the momentum matrix was rebuilt and lacks the wall-law diagonal
  bool bodyForces_ = true;        // the last CalculateBodyForces set some force (else all are 0)

  // Turbulence models (the wall nodes are those of condition set WallLawNodes)
 public:
  /// One-equation k model, nu_t = l sqrt(k) or its two-layer form.
  virtual void SolveKineticEnergy();
  /// k-k tau model.
  virtual void SolveK_KT();
  /// k-omega model.
  virtual void SolveKOmega();
  /// k-omega SST model.
  virtual void SolveKOmegaSST();
  /// k-epsilon model with the standard, Launder-Sharma or Lam-Bremhorst epsilon terms.
  virtual void SolveKEpsilon();
  /// Two-layer k-epsilon model.
  virtual void SolveKEpsilon2Layers();
  /// D, S, R (flow work 4-6) and f_mu (flow work 7) of the epsilon equation, per variant.
  virtual void CalcEpsilonLaunderSharma();
  virtual void CalcEpsilonLamBremhorst();
  virtual void CalcEpsilonStandard();
  /// One-equation working-viscosity model.
  virtual void SolveSpalartAllmaras();
  /// Algebraic Baldwin-Lomax model: nothing is computed.
  virtual void SolveBaldwinLomax();
  /// u* = sqrt(wall-law coefficient x speed) into flow work 7, then the turbulence variables
  /// and nu_t clamped.
  virtual void CalculateWallLaw();
  /// nu_t times the van Driest damping 0.2 (1 - e^(-y u* / (26 nu)))^2, u* from `ustar` when it
  /// is not empty.
  virtual void CalculateVanDriest(ReaVec& ustar);
  /// Strain-rate magnitude |S| of the velocity into s.
  virtual void CalcGradVelocity(ReaVec& s);
  /// Transport solve of k with diffusivity D, source S and reaction R, then its clamp.
  virtual void CalculateKineticEnergy(ReaVec& D, ReaVec& S, ReaVec& R);
};
