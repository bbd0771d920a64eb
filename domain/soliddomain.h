// The solid part of a problem: heat conduction, possibly anisotropic, in solid element sets. It is
// a fluid domain that reuses the fluid domain's readers, condition sets, fields and solves, and
// replaces its element sets, material update, system matrices and temperature solve.
#pragma once

#include <memory>
#include <string>
#include <ostream>
#include <vector>

#include "domain/fluiddomain.h"
#include "foundation/bitvec.h"
#include "foundation/reavec.h"

class Input;
class Solver;
class SymmetricSparseMatrix;
class SolidMesh;

/// Components of the conductivity tensor, in the order of their matrices and nodal vectors.
enum SolidComponent : int { Kxx = 0, Kxy, Kyy, Kxz, Kyz, Kzz, NSolidComponents = 6 };

/// The solid domain.
class SolidDomain : public FluidDomain {
 public:
  /// Domain over the problem node table `all`; with `read` set, reads the solid block from `in`
  /// (whose current card is the solid definition card). `toGlobal` and `globalToLocal` are the
  /// solid numbering maps; `kind` is the numbering slot (2).
  SolidDomain(Plex<Node>* all, Input* in, IntVec& toGlobal, IntVec& globalToLocal, int kind, int read);
  /// Deletes the structural solver and the component matrices.
  ~SolidDomain() override;

  /// Reads the solid and moving-body element sets.
  void ReadElmSets(Input* in) override;
  /// The base's form with a reader stays visible.
  using FluidDomain::ReadInitialConditions;
  /// Initial fields from the initial-data functions and the solid property functions (two passes).
  void ReadInitialConditions() override;
  /// Sizes the fields as the fluid domain does, plus the solid density and conductivities, and
  /// builds the solid matrices.
  void InitialiseData() override;
  /// Orientation and normals of the solid's boundary sets (none in this build).
  void InitialiseGeomData() override {}
  /// Nothing: the solid keeps its initial fields.
  void InitialiseUnknowns() override;
  /// Temperature bounds from the solid temperature.
  void ReferenceValues() override;
  /// Start of a step: theta, time-dependent conditions, material fields and their checks.
  void StartNewStep() override;
  /// Raises the temperature denominator of the convergence test to the solid's temperatures.
  void StartNewIteration() override;
  /// Relaxation and previous-step fields, and the structural displacement.
  void UpdateVariables(double f) override;
  /// M, the conductivity component matrices, the N-dN matrices, the lumped mass and its inverse.
  void CalcSystemMatrixes() override;
  /// Rebuilds only the N-dN matrices.
  void CalcNDNMatrixes();
  /// Adds the integral of grad N^T K grad N over every solid element into A, K the element's mean
  /// of the nodal components given (the z ones only used in three dimensions).
  void CalcDNKDNMatrix(SystemSparseMatrix* A, ReaVec& kxx, ReaVec& kxy, ReaVec& kyy, ReaVec& kxz, ReaVec& kyz,
                       ReaVec& kzz);
  /// Structural stiffness (only with the structural sub-problem, which no keyword turns on).
  void CalcStructuralMatrixes();
  /// Transient anisotropic heat conduction of one iteration.
  void SolveTemperature() override;
  /// The temperature system of one iteration: the system matrix (SystemMatrix(0)) and its
  /// right-hand side (vector 58), with the interface heat and the fixed temperatures in it.
  void AssembleTemperatureSystem();
  /// The fused assembly of a conduction system S = sum_c D(K_c, A_c) + diag(q) M (+ r m on the
  /// diagonal when r is given), D the conservative conduction of a component (node pairs take their
  /// mean conductivity) and its right-hand side f = diag(q) M x0 (+ M s when `source`), in
  /// one pass over the pattern; K holds the conductivity components in component order.
  void AssembleConduction(const ReaVec& q, const ReaVec& x0, const ReaVec* K, const ReaVec& s, bool source,
                          const ReaVec* r, SystemSparseMatrix* S, ReaVec& f);
  /// Structural solve (only with the structural sub-problem).
  void SolveSolidStructure() override;
  /// With "Solve_Kelvarid", at every coupling-step-th step: sends the mechanical strain of every
  /// problem node (0 outside the solid) over the coupling link; a failed send ends the run.
  void SolveKelvarid() override;
  /// The form without fixed nodes stays the fluid's.
  using FluidDomain::SolveUnknown;
  /// The fluid form with the domain's symmetric-card solver.
  void SolveUnknown(UnkType t, ReaVec& x, SystemSparseMatrix* A, ReaVec& b, const BitVec& fixed,
                    const char* label) override;
  /// SOLID DENSITY, the customised results and the integral notices.
  void OutputResults(std::ostream& out) override;
  /// Nothing: a solid has no forces.
  void OutputForces(std::ostream&) override {}
  /// Also "SDn" and the conductivity components "Kxx" ... "Kzz".
  ReaVec* GiveVector(const char* name) override;

  /// Solid density per node.
  ReaVec& SolidDensity() { return density_; }
  /// Conductivity component k per node (empty unless temperature is solved; z ones only in 3D).
  ReaVec& Conductivity(int k) { return conduct_[k]; }
  /// Component matrix k of the conductivity system (null in 2D for the z ones).
  SymmetricSparseMatrix* ComponentMatrix(int k) { return comp_[k].get(); }
  /// Number of conductivity components: 3 in two dimensions, 6 in three.
  static int Components();

 private:
  /// 1 when some solid set has a property function of kind k.
  bool HasFunction(DofType k);
  /// Evaluates the temperature properties (specific heat, conductivity components).
  void EvalTemperatureProperties(bool update);

  std::unique_ptr<Solver> structSolver_;         // structural solver, created by the structural solve
  ReaVec density_;                               // SDn
  ReaVec conduct_[NSolidComponents];             // Kxx, Kxy, Kyy, Kxz, Kyz, Kzz
  std::unique_ptr<SymmetricSparseMatrix> comp_[NSolidComponents];
  ReaVec displacement_, displacement0_, structRhs_;
  BitVec structFixed_;
  bool withFluid_ = false;                       // a fluid domain shares the temperature bounds
  std::vector<int> next_;                        // per row, the position of its next lower entry (assembly)
  std::vector<double> excess_;                   // per row, the conduction's pair excess (assembly)
};
