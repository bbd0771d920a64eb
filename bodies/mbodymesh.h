// A body set that moves as a rigid body under the flow forces and moments, its weight and
// springs, or along prescribed displacement and rotation functions, each of its six degrees of
// freedom fixed, free or prescribed.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "bodies/bodymesh.h"
#include "foundation/intvec.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"

class Elem;

/// One spring of a moving body ("Springs"), its values in internal units.
struct Spring {
  double KD = 0;            ///< translational stiffness
  double KR = 0;            ///< rotational stiffness
  double A[3] = {0, 0, 0};  ///< anchor point, fixed in space
  double B[3] = {0, 0, 0};  ///< body point, moving with the body
};

/// The data that every moving body set reads from its card the same way.
struct RigidBodyCard {
  double mass = 0;                ///< "Mass" (0 when absent)
  int autoMass = 0;               ///< "Auto_Body_Mass" given
  double radii2[3] = {0, 0, 0};   ///< squared radii of gyration (missing ones 0)
  int dispMode[3] = {0, 0, 0};    ///< "Displacement_OX/OY/OZ" (0 fixed, 1 free, 2 prescribed)
  int rotMode[3] = {0, 0, 0};     ///< "Rotation_OX/OY/OZ"
  int initialSteps = 0;           ///< "Initial_Steps", or half the steps plus one
};
/// Reads and checks the mass, radii of gyration, axis modes and initial steps of body `name`
/// (`meshDeformation`: the domain solves mesh deformation, so the radii must be complete).
RigidBodyCard ReadRigidBodyCard(Input* in, const char* name, int meshDeformation);

/// The state of a body set that moves as a rigid body, from step to step: mass and weight,
/// inertia per unit mass, linear and angular accelerations with their two older values,
/// velocities with the previous step's, and the totals of translation and rotation.
class RigidBody {
 public:
  /// Mass and inertia per unit mass (row-major).
  double Mass() const { return mass_; }
  const double (&Inertia() const)[3][3] { return inertia_; }
  /// Linear and angular velocity and acceleration.
  ReaVec& LinearVelocity() { return linVel_; }
  ReaVec& AngularVelocity() { return angVel_; }
  ReaVec& LinearAcceleration() { return linAcc_; }
  ReaVec& AngularAcceleration() { return angAcc_; }
  /// Totals of translation and rotation (of a "WBody" set up to the step's start, of the
  /// force-driven set with the step's movement).
  ReaVec& TotalTranslation() { return totalTrans_; }
  ReaVec& TotalRotation() { return totalRot_; }
  /// "Initial_Steps".
  int InitialSteps() const { return initialSteps_; }

 protected:
  /// At rest, without mass.
  RigidBody();
  ~RigidBody() = default;
  /// Mass (automatic or not), inertia diag(r1², r2², r3²) and initial steps of the card.
  void TakeCard(const RigidBodyCard& card);
  /// The mass from now on, and the weight m GravVec.
  void SetMass(double m);
  /// The automatic mass of `set` (from the hydrostatic pressure on it), once, when its domain
  /// solves mesh deformation.
  void AutomaticMass(BodyMesh& set);
  /// A new step: the accelerations move back one step and the velocities become the previous ones.
  void RollHistories();
  /// Adds the step's translation and rotation to the totals.
  void AddToTotals(const ReaVec& translation, const ReaVec& rotation);

  double mass_ = 0;
  ReaVec weight_;
  double inertia_[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  int autoMass_ = 0;
  ReaVec linAcc2_, linAcc1_, linAcc_, linVel0_, linVel_;
  ReaVec angAcc2_, angAcc1_, angAcc_, angVel0_, angVel_;
  ReaVec totalRot_, totalTrans_;
  int initialSteps_ = 0;
};

/// A moving rigid body ("WBody" set).
class MBodyMesh : public BodyMesh, public RigidBody {
 public:
  /// Set `num` of domain d from the current card and the property blocks after it.
  MBodyMesh(FluidDomain* d, int num, Input* in, int slot);
  ~MBodyMesh() override;

  /// The body-set initialisation, then the automatic mass when mesh deformation is solved.
  void initialiseMesh() override;
  /// Nothing.
  void PostinitialiseMesh() override {}
  /// "MBodyMesh".
  const char* Type() override { return "MBodyMesh"; }
  /// Sets apart the elements with a node outside the domain, and those nodes.
  void deleteDryElems() override;
  /// The last step's movement joins the totals, the centre, the inertia and the springs' body
  /// points; the histories roll on.
  void StartNewStep() override;
  /// Accelerations, velocities, translation and rotation of one coupled iteration: the step
  /// m (v - v_n) = dt F of the free axes, the springs' pull following the step's own movement,
  /// relaxed inside the step from its second iteration; velocities or a movement that are no
  /// finite number end the run.
  void MoveBody() override;
  /// Displacement and rotation at time 0; 1 when the body moves.
  int InitialBodyMovement() override;
  /// Centre and inertia after the initial placement.
  void InitialBodyUpdate() override;
  /// Adds the step's rigid displacement of every node of the set to (dx, dy, dz).
  void ReadMovement(ReaVec& dx, ReaVec& dy, ReaVec& dz) override;
  /// Wall velocities of the set's nodes from the body's velocities.
  void UpdateBodyVelocities(ReaVec& u, ReaVec& v, ReaVec& w, std::vector<double>& vn, Plex<ReaVec>& normals) override;
  /// Wall velocities of the set's nodes from the mesh displacement times `factor`.
  void UpdateBodyVelocities(const ReaVec& u, const ReaVec& v, const ReaVec& w, double factor, ReaVec& ub, ReaVec& vb,
                            ReaVec& wb, std::vector<double>& vn, Plex<ReaVec>& normals) override;
  /// Ends the run when the step's movement, once its iterations are done, turns a free axis by
  /// more than half a turn or, where the mesh is held anywhere, takes the body across the
  /// fluid's extent: the motion grows without bound or leaves the mesh.
  void CheckStepMovement();
  /// Moves the nodes outside the domain with the body.
  void MoveDryNodes() override;
  /// Totals of translation and rotation, the step's movement included, on the `.mov` line.
  void OutputMovement(std::ostream* os) override;
  /// Those six numbers (translation in output units, rotation in degrees); none for an outflow set.
  int MovementValues(double* v) override;
  /// Next node outside the domain.
  Node* giveNextDryNode(int& i) override { return dryNodes_.next(i); }

  /// R = Rx(ax) Ry(ay) Rz(az) of the rotation vector a (row-major 3 x 3).
  static void RotationMatrix(const ReaVec& a, double R[3][3]);
  /// The rotation matrix of the body's rotation of the step.
  void RotationMatrix(double R[3][3]) { RotationMatrix(rotation_, R); }

  /// The springs, in the card's order.
  const std::vector<Spring>& Springs() const { return springs_; }

  /// Everything the motion goes on from, for the restart file: centre, step movement, totals,
  /// velocities, inertia, mass, the springs' body points and the nodes outside the domain.
  void State(ReaVec& out);
  /// Takes back a State() of the same body. A state of another length, a number that is not
  /// finite, a mass below 1e-14 or totals the movement table cannot write end the run, naming
  /// the entry and the set, before anything is taken.
  void Restore(const ReaVec& s);
  /// True once a restart gave the body its state: its wall moves at the velocity restarted.
  bool Restored() const { return restored_; }

  /// Of the last MoveBody: the largest change, over the set's nodes, of the wall velocity the
  /// body gives them, and the largest wall speed after it.
  double WallChange() const { return wallChange_; }
  double WallSpeed() const { return wallSpeed_; }

 protected:
  /// What drives one iteration's movement: the linear and angular accelerations a and b from
  /// the flow forces, the weight and the springs' pull from the step's start, and the springs'
  /// stiffness sums kd and kr.
  struct Loads {
    double a[3], b[3];
    double kd = 0, kr = 0;
  };
  /// The inverse J of the inertia per unit mass (about z only for a plane body without the other
  /// radii); a singular inertia ends the run.
  void InverseInertia(double J[3][3]);
  /// The Loads of the iteration, J the inverse inertia.
  Loads StepStartLoads(const double J[3][3]) const;
  /// The velocity and the step's movement of the fixed and the prescribed axes.
  void MoveBoundAxes();
  /// The step-end velocities of the free axes, lin and ang, implicit in the springs' pull.
  void FreeAxisVelocities(const double J[3][3], const Loads& l, double lin[3], double ang[3]);
  /// The accelerations, and the free axes' velocities and movement, relaxed towards lin and ang.
  void StepFreeAxes(const Loads& l, const double lin[3], const double ang[3]);
  /// Relaxation factor of this iteration from the residual r of the free axes (Aitken's from
  /// the second iteration of a step on); keeps r for the next.
  void Relax(const double r[6]);
  /// WallChange and WallSpeed from the velocities `before` (linear, angular) and the new ones.
  void WallVelocityChange(const double before[6]);
  /// Ends the run when the velocities or the movement of the iteration are no finite number.
  void CheckFinite();
  /// The rigid displacement T + R r - r of a point x.
  void RigidMove(const double R[3][3], const Node& x, double out[3]) const;

  Plex<Node> dryNodes_;
  /// The dry elements: out of the element table, whose elements the domain frees, they are the set's.
  OwningPlex<Elem> dryElems_;
  IntVec dispMode_, rotMode_;
  std::unique_ptr<UFunction> dispFunc_[3];  ///< "DOX", "DOY", "DOZ" (null where not read)
  std::unique_ptr<UFunction> rotFunc_[3];   ///< "ROX", "ROY", "ROZ" (null where not read)
  std::vector<Spring> springs_;
  int iteration_ = 0;               ///< coupled iteration of the step that moved the body
  double relax_ = 1;                ///< relaxation factor of the last iteration
  double residual_[6] = {};         ///< last iteration's velocity residual (angular times the arm)
  bool restored_ = false;           ///< the state came from a restart file
  double wallChange_ = 0;           ///< change of the wall velocity in the last iteration
  double wallSpeed_ = 0;            ///< largest wall speed after the last iteration
};
