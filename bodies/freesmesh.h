// A free surface of the fluid domain: a set of triangles on the undisturbed water surface that
// carries the wave elevation, its matrices (mass, convection, streamline) on the set's own
// pattern, and its implicit and explicit elevation solves. The new elevation goes back to the
// fluid as the hydrostatic pressure of the surface nodes (transpiration).
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/bitvec.h"
#include "foundation/intvec.h"
#include "foundation/reavec.h"
#include "input/types.h"
#include "mesh/mesh.h"

class Elem;
class FluidDomain;
class Input;
class Solver;
class SparseMatrixStruct;
class SystemSparseMatrix;

/// |a - b| / max(c, |b|).
double normBeta(double a, double b, double c);

/// A free-surface element set of a fluid domain with its wave-elevation solve.
class FreeSMesh : public Mesh {
 public:
  /// Set `num` of domain d from the current card ("FreeS"): the element kind from the card or
  /// (type, nnode), then the keywords of the set. `slot` is the numbering slot of domain numbers.
  FreeSMesh(FluidDomain* d, int num, Input* in, int unused, ElemType type, int nnode, int slot);
  ~FreeSMesh() override;

  /// Bounding box, reference level, vectors, numbering and pattern (again: rebuilds M).
  void initialiseMesh() override;
  /// Boundary sets, damping, mass matrix and its lumped form.
  void PostinitialiseMesh() override;
  /// The read name.
  const char* Name() override { return name_.c_str(); }
  /// 1 when text is "FreeSMesh" (ignoring case), else the base answer.
  int AreYou(const char* text) override;

  /// Damping coefficients, fixed-elevation, body and symmetry node sets.
  virtual void BetaBoundaries();
  /// One step of the elevation: beta (domain vector) from the velocities u, v, w (domain vectors).
  virtual void SolveFreeSurface(ReaVec& beta, const ReaVec& u, const ReaVec& v, const ReaVec& w);
  /// Implicit (Backward Euler, Crank-Nicolson) step of the local elevation.
  virtual void SolveImplicitFreeSurface();
  /// C, S and the nodal tau from the local velocities (tau as the area-weighted element mean).
  void BuildConvection();
  /// The implicit system A and right-hand side of one step (two passes over the pattern).
  void AssembleImplicitSystem();
  /// Adds the lumped mass of each node of the set into entry (domain number) of `mass`.
  void AddSurfaceMass(ReaVec& mass) const;
  /// w at the set's nodes := the flux of the fluid through the node's share of the surface,
  /// consistent with the continuity equation of the pressure solve, over `mass` (the nodes'
  /// surface mass over every free-surface set); of the start-of-step velocity with `startOfStep`.
  void TranspirationVelocity(const ReaVec& mass, ReaVec& w, bool startOfStep = false);
  /// `out` at the set's nodes := beta + h dbeta/dt, the rate of the last solve's equation at the
  /// domain's elevation `beta` and vertical velocity `w`.
  void PredictElevation(const ReaVec& beta, const ReaVec& w, double h, ReaVec& out);
  /// Explicit sub-stepped step of the local elevation.
  virtual void SolveExplicitFreeSurface();
  /// Mass matrix M: closed form of the 3-node triangle.
  virtual void CalcSystemMatrixes3NodesTriangle();
  /// Mass matrix M by the Gauss rule of the element order.
  virtual void CalcSystemMatrixesDefault();
  /// C, S and the element-weighted tau from (u, v): closed form of the 3-node triangle.
  virtual void CalcConvectionMatrixes3NodesTriangle();
  /// C, S and tau by the Gauss rule.
  virtual void CalcConvectionMatrixesDefault();
  /// Domain vector v at the set's nodes := beta (mode 0) or beta + level - z (other modes).
  virtual void WriteBetaReaVec(ReaVec& v, int mode);
  /// Domain vector v at the set's nodes := tau.
  virtual void WriteTauReaVec(ReaVec& v);
  /// beta := v at the set's nodes (mode 0) or v - level + z (other modes).
  virtual void ReadBetaReaVec(const ReaVec& v, int mode);
  /// Holds the elevation at the floating line of plain bodies (three dimensions).
  virtual void FixBodyBeta(const ReaVec& u, const ReaVec& v, const ReaVec& w);
  /// CheckBodyElem on every element of every body set of the domain.
  virtual void AddBodyElems();
  /// Marks the nodes of body element e in the body-node set when its free-surface edge faces
  /// the flow; returns whether it marked.
  virtual int CheckBodyElem(Elem* e);
  /// One line per node: x, y (3D), elevation above the reference, times f.
  virtual void WritePoints(std::ostream* out, double f);
  /// Moves the free nodes of b to their mass-weighted mean where they stand out; returns b.
  virtual ReaVec& Smoothing(ReaVec& b, int passes);
  /// "\nFreeSMesh" number ";\n" and the element table.
  virtual void printTo(std::ostream& out);
  /// "FreeSMesh".
  virtual const char* Type() { return "FreeSMesh"; }

  /// Upper and lower corners of the set's box.
  ReaVec& Max_Vector() { return max_; }
  ReaVec& Min_Vector() { return min_; }
  double maxcoord(int i) const { return max_(unsigned(i)); }
  double mincoord(int i) const { return min_(unsigned(i)); }
  /// The domain.
  FluidDomain* MyDomain() { return domain_; }
  /// Elevation per local node.
  ReaVec& GiveBetaVector() { return beta_; }

  // Read-only views for checks and callers.

  /// Consistent mass, convection and streamline matrices, and the system matrix.
  SystemSparseMatrix* MassMatrix() { return M_.get(); }
  SystemSparseMatrix* ConvectionMatrix() { return C_.get(); }
  SystemSparseMatrix* StreamlineMatrix() { return S_.get(); }
  SystemSparseMatrix* SystemMatrix() { return A_.get(); }
  /// Lumped mass, nodal tau and damping coefficient per local node.
  const ReaVec& Lumped() const { return m_; }
  const ReaVec& Tau() const { return tau_; }
  const ReaVec& Damping() const { return sigma_; }
  /// Right-hand side (implicit) or residual (explicit) of the last solve.
  const ReaVec& Residual() const { return r_; }
  /// Local velocity copies.
  ReaVec& LocalU() { return u_; }
  ReaVec& LocalV() { return v_; }
  ReaVec& LocalW() { return w_; }
  /// Fixed-elevation, body and symmetry node sets (local numbers).
  BitVec& FixedNodes() { return fixed_; }
  BitVec& BodyNodes() { return body_; }
  BitVec& SymmetryNodes() { return symm_; }
  /// Local number of domain node g (0 when off the set); domain number of local node k.
  int LocalOf(int g) const { return toLocal_(unsigned(g)); }
  int DomainOf(int k) const { return toDomain_(unsigned(k)); }
  /// Reference level, scheme, time ratio, theta of the last implicit solve, upper tau factor.
  double ReferenceLevel() const { return level_; }
  IntegType Scheme() const { return scheme_; }
  double TimeRatio() const { return timeRatio_; }
  double LastTheta() const { return theta_; }
  double UpperTauFactor() const { return tauUpper_; }
  double DampingFactor() const { return dampFactor_; }
  int AdvecStab() const { return advecStab_; }

 private:
  /// Per-element pattern positions, local nodes and (triangles) closed-form geometry.
  void ElementTables();
  /// Stabilisation time of one element from its nodal (u, v) and extents.
  double ElementTau(const int* loc, int n, double hx, double hy, bool quadratic) const;
  /// rows: a = M beta, b = M w, c = C beta, in one pass over the pattern.
  void RowProducts(ReaVec& a, ReaVec& b, ReaVec& c) const;
  /// Transposed pass: p = C^T x, q = C^T y, in one pass over the pattern.
  void TransposedProducts(const ReaVec& x, const ReaVec& y, ReaVec& p, ReaVec& q) const;
  /// r = -dbeta/dt of the local elevation and velocities, with A = C + diag(tau) S (0 at fixed nodes).
  void Residual(ReaVec& r);
  /// A = M / dt + C + diag(tau) S (dt 0: no mass term), in one pass over the values.
  void SystemMatrix(double invDt);
  /// A = M / dt + C + diag(tau) S + diag(d) with a = M beta, b = M w, c = C beta, in one pass.
  void SystemAndRowProducts(double invDt, const ReaVec& d, ReaVec& a, ReaVec& b, ReaVec& c);
  /// Rows of the domain pattern at the set's nodes with their transposed positions.
  void FluxTables();
  /// Ends the run when an elevation is not finite or beyond the fluid's vertical extent.
  void CheckElevation() const;
  /// beta limited to [MinValue, MaxValue].
  void Bound();
  /// The relaxation of the late steps (Time_Ratio other than 1).
  void LateRelaxation(const ReaVec& beta0);
  /// Horizontal coordinate k (0 x, 1 y) and the vertical coordinate of local node i (1-based).
  double Coord(int i, int k) const;
  double Vertical(int i) const;

  FluidDomain* domain_;
  std::string name_;
  IntVec toLocal_;    // domain number -> local number (0 off the set)
  IntVec toDomain_;   // local number -> domain number
  BitVec fixed_, body_, symm_;
  ReaVec beta_, u_, v_, w_, sigma_, tau_, r_, m_;
  ReaVec beta0_, work_[8];  // start-of-step elevation and the solves' work vectors
  std::unique_ptr<SparseMatrixStruct> pattern_;
  std::unique_ptr<SystemSparseMatrix> C_, S_, M_, A_;
  std::unique_ptr<Solver> solver_;  // created on the first implicit solve
  int slot_;
  double charLength_ = 1e-14, dampLength_ = 0, dampFactor_ = 0, timeFactor_ = 1, timeRatio_ = 1;
  double level_ = 0, minValue_ = -1e100, maxValue_ = 1e100;
  ReaVec max_, min_;
  IntegType scheme_ = Backward_Euler;
  double minTauRatio_ = 0.15, tauUpper_ = 2, theta_ = 1;
  int advecStab_ = 1, monotonicity_ = 0, crossWind_ = 0, smoothing_ = 0;
  bool initialised_ = false;

  // Element tables: n nodes per element, its local rows (0-based) and its n x n positions;
  // for 3-node triangles also the area, the shape gradients (dN/dx, dN/dy) and the extents.
  int nen_ = 0;
  std::vector<int> eloc_, epos_;
  std::vector<double> earea_, egrad_, eext_;
  // Starts of the element blocks: blocks of one parity touch disjoint rows (checked when the
  // tables are built: else one block), so they run at once. Position of each entry's transpose.
  std::vector<int> eblock_, tpos_;
  // Surface flux: per local node k the entries fluxStart_[k - 1] .. fluxStart_[k] - 1 of the
  // domain row: column, position, position of the transpose and slot of the column among the
  // rows next to the surface (nearRows_, whose projected pressure gradients nearPi_ holds).
  std::vector<int> fluxStart_, fluxCol_, fluxPos_, fluxTpos_, fluxNear_, nearRows_;
  std::vector<double> nearPi_;
  unsigned fluxStamp_ = 0;  // the domain's topology stamp of the tables
};
