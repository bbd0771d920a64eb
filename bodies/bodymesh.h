// A wall or open boundary of a fluid domain: its wall type and wall law, the angles of its
// normals, its roughness, its centre of gravity and the forces and moments on it.
#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "bodies/fluxmesh.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"

/// Entry j of a by-node table of prescribed normal velocities, the table grown with zeros to
/// hold it (the domain sizes it only as conditions name nodes).
inline double& GrownAt(std::vector<double>& vn, int j) {
  if (vn.size() <= std::size_t(j)) vn.resize(std::size_t(j) + 1, 0.0);
  return vn[std::size_t(j)];
}

class Matrix;
class UFunction;
class WallLaw;

/// Wall-type codes of a body set (chosen by one keyword of its card).
enum BodyWallType : int {
  OutflowWall = 0, NoneWall = 1, RoughWall = 2, YplusWall = 3, DeltaWall = 4, VelocityFixWall = 5,
  InviscidWall = 6, StressWall = 7, ITTCWall = 8, SchoenherrWall = 9, UserWall = 10, FlowWall = 11
};

/// A body set: wall type, wall law, force and moment sums and the centre they are taken about.
class BodyMesh : public FluxMesh {
 public:
  /// Set `num` of domain d from the current card; with `read` set it also reads the property
  /// blocks that follow the card.
  BodyMesh(FluidDomain* d, int num, Input* in, int slot, int read);
  ~BodyMesh() override;

  /// Marks the set's nodes in `bits` when it is a real body (JustBody).
  void MarkNodes(BitVec& bits, int slot) override;
  /// The boundary mass matrix, the viscous-wall warning and the "Area/Length of" line.
  void initialiseMesh() override;
  /// "BodyMesh".
  const char* Type() override { return "BodyMesh"; }
  /// "\nBodyMesh " number ";\n" and the elements.
  void printTo(std::ostream& out) override { FluxMesh::printTo(out); }

  // Wall-type predicates.

  /// The wall velocity is given by a wall law.
  int Slipping() const { return wall_ != OutflowWall && wall_ != NoneWall && wall_ != VelocityFixWall && wall_ != FlowWall; }
  /// Same test as Slipping.
  int HasWallLaw() const { return Slipping(); }
  /// Fixed (no-slip) velocity wall.
  int NoSlipping() const { return wall_ == VelocityFixWall; }
  /// A real body (counts for marks, forces, distances).
  int JustBody() const { return wall_ != OutflowWall && wall_ != NoneWall; }
  /// A wall with viscous stress.
  int ViscousWall() const { return JustBody() && wall_ != InviscidWall && wall_ != FlowWall; }
  /// Outflow boundary.
  int OutFlowBound() const { return wall_ == OutflowWall; }
  /// Boundary without condition.
  int NoneBound() const { return wall_ == NoneWall; }
  /// Fixed-velocity wall.
  int VelcFixWall() const { return wall_ == VelocityFixWall; }
  /// The wall-type code.
  int BodyType() const { return wall_; }

  // Per-step and per-iteration operations.

  /// Takes out the elements with a node outside the domain, with those nodes.
  virtual void deleteDryElems();
  /// Moves the centre of gravity with its functions (to 0 when one of the three is missing).
  virtual void StartNewStep();
  /// Wall-law coefficients a (stress) and b (friction) per node from the velocity and nu.
  virtual void solveWallLaw(const ReaVec& u, const ReaVec& v, const ReaVec& w, const ReaVec& nu, ReaVec& a,
                            ReaVec& b);
  /// Boundary values of the turbulence fields on the set's nodes.
  virtual void turbulenceWallLaw(ReaVec& eps, ReaVec& k, ReaVec& omega, ReaVec& kt, ReaVec& nut, const ReaVec& ustar,
                                 const ReaVec& nu);
  /// Wall distance of the set's nodes.
  virtual void ReadWallDistance(ReaVec& y, const ReaVec& ustar, const ReaVec& nu);
  /// Wall shear stress of the set's nodes.
  virtual void ReadWallShearStress(ReaVec& tau, const ReaVec& ustar, const ReaVec& f, const ReaVec& tau0);
  /// Removes the inflowing normal part of the velocity on an outflow set.
  virtual void OutFlowBound(ReaVec& u, ReaVec& v, ReaVec& w);
  /// r = M f.
  virtual void BodyIntegral(const ReaVec& f, ReaVec& r);
  /// f = (M f over the filled rows) / lumped M.
  virtual void smoothField(ReaVec& f, ReaVec& work);
  /// Static and dynamic split of the loads, sink and trim, and the body's block of the table.
  virtual void CalculateSinkTrim(const ReaVec& tx, const ReaVec& ty, const ReaVec& tz, const ReaVec& ps, double unused,
                                 std::ostream* os);
  /// Mass of a floating body from the hydrostatic pressure on its wetted surface.
  double CalculateMass();
  /// Integrates the pressure load pl and the traction (tx, ty, tz) into the four sums, as the
  /// node weights of LoadWeights share them out.
  virtual void IntegrateForces(const ReaVec& rho, const ReaVec& pl, const ReaVec& tx, const ReaVec& ty,
                               const ReaVec& tz);
  /// Rigid movement of one iteration (nothing for a fixed body).
  virtual void MoveBody() {}
  /// Initial placement; 1 when it moves the body.
  virtual int InitialBodyMovement() { return 0; }
  /// Centre and inertia after the initial placement (nothing for a fixed body).
  virtual void InitialBodyUpdate() {}
  /// The centre of gravity.
  virtual ReaVec& CenterOfGravity() { return cog_; }
  /// Adds the displacement of the step to the set's nodes (nothing for a fixed body).
  virtual void ReadMovement(ReaVec&, ReaVec&, ReaVec&) {}
  /// Velocities of the set's nodes from the mesh displacement (nothing for a fixed body).
  virtual void UpdateBodyVelocities(const ReaVec&, const ReaVec&, const ReaVec&, double, ReaVec&, ReaVec&, ReaVec&,
                                    std::vector<double>&, Plex<ReaVec>&) {}
  /// Velocities of the set's nodes from the body's motion (nothing for a fixed body).
  virtual void UpdateBodyVelocities(ReaVec&, ReaVec&, ReaVec&, std::vector<double>&, Plex<ReaVec>&) {}
  /// Moves the nodes outside the domain (nothing for a fixed body).
  virtual void MoveDryNodes() {}
  /// The set's forces and moments on the `.for` line (nothing for an outflow set).
  virtual void OutputForces(std::ostream* os);
  /// The set's movement on the `.mov` line (nothing for a fixed body).
  virtual void OutputMovement(std::ostream*) {}
  /// The numbers of the set's `.for` line in output units (pressure force, pressure moment,
  /// viscous force, viscous moment); their count, 0 for an outflow set.
  int ForceValues(double v[12]);
  /// The numbers of the set's `.mov` line; their count (0 for a fixed body, at most 12).
  virtual int MovementValues(double*) { return 0; }
  /// Ends the run as a non-finite result does when the set's `.for` line (`forces`) or `.mov`
  /// line would hold a number that is not finite.
  void CheckLine(bool forces);
  /// Next node outside the domain (none for a fixed body).
  virtual Node* giveNextDryNode(int&) { return nullptr; }

  /// The set in flat arrays of domain numbers, for the per-step loops over its nodes and
  /// elements. The numbering part is rebuilt when the domain's nodes were renumbered since the
  /// last call; the weights, which hang on the geometry, whenever the nodes moved.
  struct Arrays {
    unsigned stamp = 0;          ///< the domain's topology stamp they were built at
    int nnode = 0, corners = 0;  ///< nodes and corner nodes per element
    bool inside = true;          ///< every node has a domain number from 1 to the node count
    bool elemsInside = true;     ///< every element node has a domain number (>= 1)
    std::vector<int> nodes;      ///< domain number of each node of the set
    std::vector<int> elems;      ///< domain numbers of the elements' nodes, nnode per element
    std::vector<int> local;      ///< position in `nodes` of each entry of `elems` (-1 when absent)
    /// Node-to-element incidence: for s in [start[i], start[i + 1]) node i of `nodes` is node
    /// corner[s] of element at[s], ascending, so per-node sums run in element order.
    std::vector<int> start, at;
    std::vector<unsigned char> corner;
    /// Ten weights per node of its loads in the force sums, from the geometry alone: the area
    /// vector a, the pressure moment arm m (about the origin), the viscous weight w and the
    /// viscous moment arm c; filled on the first force sum after the nodes moved.
    std::vector<double> weights;
    unsigned weightStamp = 0;    ///< the geometry stamp the weights were filled at
    std::vector<double> area;    ///< per element, while the weights are filled: A per point and |A|
  };
  const Arrays& Flat();

  // Data.

  /// Pressure and viscous force and moment sums (moments about the centre of gravity).
  ReaVec& PressureForce() { return force_[0]; }
  ReaVec& ViscousForce() { return force_[1]; }
  ReaVec& PressureMoment() { return force_[2]; }
  ReaVec& ViscousMoment() { return force_[3]; }
  /// Rotation (radians about x, y, z) and translation of the step.
  ReaVec& Rotation() { return rotation_; }
  ReaVec& Displacement() { return displacement_; }
  /// cos(pi - Sharp_Angle) (-1 when absent).
  double SharpAngle() const { return sharpAngle_; }
  /// cos(pi - Line_Fix_Angle) (-1 when absent) and whether it was given.
  double LineAngle() const { return lineAngle_; }
  int AutoLineFix() const { return autoLineFix_; }
  /// "SternC_Angle" (internal angle units, 0 when absent).
  double SternAngle() const { return sternAngle_; }
  /// Roughness (length).
  double Roughness() const { return roughness_; }
  /// The wall law (null on a user wall, which evaluates its own functions).
  WallLaw* Law() { return law_.get(); }

 protected:
  /// Adds to the centre the change of each of its functions since the last evaluation; a value
  /// that is not finite ends the run.
  void FollowCentreFunctions();
  /// Ends the card, every word of which its readers must have taken (else fatal), then reads the
  /// species and Phi blocks and the physical properties after it.
  void ReadPropertyBlocks(Input* in);
  /// The node weights of the force sums (Arrays::weights, zero on entry) from the loads at the
  /// integration points of each element: two Gauss points of a line, the edge midpoints of a
  /// triangle, the 2 x 2 Gauss points of a quadrilateral.
  virtual void LoadWeights(Arrays& a);
  /// Position of each domain number in `nodes` (-1 where absent), indexed by domain number.
  static std::vector<int> LocalIndex(const std::vector<int>& nodes);
  /// Domain number of a node in the set's slot.
  int Number(const Node* nd) const { return nd->num[slot_]; }
  /// Wall velocity omega x (x - centre) + v of a rigid body at the set's nodes: into (u, v, w) on
  /// a fixed-velocity wall, as the normal velocity vn on the other walls (nothing on open sets).
  void RigidWallVelocities(const ReaVec& lin, const ReaVec& ang, ReaVec& u, ReaVec& v, ReaVec& w, std::vector<double>& vn,
                           Plex<ReaVec>& normals);

  int wall_ = OutflowWall;
  std::unique_ptr<WallLaw> law_;  ///< every wall type but the user wall has one
  std::unique_ptr<FluidFunction> userUt_, userKen_, userLen_;  ///< the user wall's functions
  double sharpAngle_ = -1, lineAngle_ = -1;
  int autoLineFix_ = 0;
  double sternAngle_ = 0;
  double roughness_ = 1e-14;
  double outPressure_ = 0, outFlow_ = 0, flowCoefficient_ = 0;
  ReaVec force_[4];
  ReaVec cog_;
  ReaVec spare_[3];
  std::unique_ptr<UFunction> cogFunc_[3];  ///< "GOX", "GOY", "GOZ" (null when absent)
  ReaVec rotation_, displacement_;
  Arrays flat_;
};

/// Ends the run: the line of `body` in the table `table` (".for", ".mov") at `time` would hold
/// `value`, which is not finite.
[[noreturn]] void RefuseLineValue(const char* table, const std::string& body, double value, double time);
/// Ends the run: the body set's `keyword` is not a finite number.
[[noreturn]] void RefuseBodyData(const char* set, const std::string& keyword);
/// Ends the run unless `keyword`, when on the current card, is followed by finite numbers only
/// (at least one).
void CheckBodyNumbers(Input* in, const char* set, const char* keyword);

/// Incidence of `local` (node index or -1 per entry) over `count` nodes: node i holds the
/// entries at[s], s in [start[i], start[i + 1]), in ascending order.
void BuildIncidence(const std::vector<int>& local, int count, std::vector<int>& start, std::vector<int>& at);

/// The orthonormal frame with columns (a, b, w) built from the unit axis a.
void CalcMatGivenAxeX(ReaVec& a, Matrix& m);
/// The orthonormal frame with columns (b, w, a) built from the unit axis a.
void CalcMatGivenAxeZ(ReaVec& a, Matrix& m);
