#include "bodies/mbodymesh.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "domain/fluiddomain.h"
#include "domain/resultblock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/function.h"
#include "input/input.h"
#include "input/units.h"
#include "mesh/elem.h"

namespace {

// C = A B Aᵀ of 3 x 3 matrices.
void Turn(const double A[3][3], double B[3][3]) {
  double T[3][3] = {}, C[3][3] = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) T[i][j] += A[i][k] * B[k][j];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) C[i][j] += T[i][k] * A[j][k];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) B[i][j] = C[i][j];
}

// J = B^-1; false when B is singular.
bool Invert(const double B[3][3], double J[3][3]) {
  const double c00 = B[1][1] * B[2][2] - B[1][2] * B[2][1];
  const double c01 = B[1][2] * B[2][0] - B[1][0] * B[2][2];
  const double c02 = B[1][0] * B[2][1] - B[1][1] * B[2][0];
  const double det = B[0][0] * c00 + B[0][1] * c01 + B[0][2] * c02;
  double scale = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) scale = std::max(scale, std::fabs(B[i][j]));
  if (!(std::fabs(det) > 1e-14 * scale * scale * scale) || !std::isfinite(det)) return false;
  J[0][0] = c00 / det, J[1][0] = c01 / det, J[2][0] = c02 / det;
  J[0][1] = (B[0][2] * B[2][1] - B[0][1] * B[2][2]) / det;
  J[1][1] = (B[0][0] * B[2][2] - B[0][2] * B[2][0]) / det;
  J[2][1] = (B[0][1] * B[2][0] - B[0][0] * B[2][1]) / det;
  J[0][2] = (B[0][1] * B[1][2] - B[0][2] * B[1][1]) / det;
  J[1][2] = (B[0][2] * B[1][0] - B[0][0] * B[1][2]) / det;
  J[2][2] = (B[0][0] * B[1][1] - B[0][1] * B[1][0]) / det;
  return true;
}

constexpr double kPi = 3.141592653589793;

// The share of the step's movement dt v at which the springs pull, from h2 = (omega dt)^2 of
// their stiffness over the mass: h2 / (h2 + 16). Where the step resolves the swing (omega dt
// small) they pull from about the step's start, the symplectic step, which keeps the amplitude
// (it loses (omega dt)^4 / 32 of it a step); where it does not, from the step's end, the
// backward step. Every share from this blend on is stable at any omega dt, and the swings the
// step cannot follow die out within a few steps.
double SpringShare(double h2) { return h2 / (h2 + 16); }

// Ends the run: the movement of `body` has diverged, as `what` says.
[[noreturn]] void Diverged(const char* body, const std::string& what) {
  OLVU_FATAL("Body movement diverged in " << body << ": " << what
                                          << ".\n\tReduce the time increment or review the body data\n");
}

}  // namespace

RigidBodyCard ReadRigidBodyCard(Input* in, const char* name, int meshDeformation) {
  RigidBodyCard r;
  for (const char* k : {"Mass", "Radii_of_Gyration"}) CheckBodyNumbers(in, name, k);
  if (in->Exist("Mass")) r.mass = in->GetRea("Mass", Magnitude::Mass);
  r.autoMass = in->Exist("Auto_Body_Mass") ? 1 : 0;
  if (r.mass < 1e-14 && !r.autoMass) OLVU_FATAL(name << " Error: Wrong body mass data\n");
  ReaVec radii;
  if (in->Exist("Radii_of_Gyration")) radii = in->GetReaVec("Radii_of_Gyration", Length);
  if (meshDeformation) {
    if (radii.length() != 3) OLVU_FATAL(name << " Error: Radii_of_Gyration must have three components\n");
    const bool bad = Dimension_Olvu == 2 ? radii(3) < 1e-14 : (radii(1) < 1e-14 || radii(2) < 1e-14 || radii(3) < 1e-14);
    if (bad) OLVU_FATAL(name << " Error: Wrong Radii_of_Gyration\n");
  }
  // Without mesh deformation the radii are not used for motion; missing ones count as 0.
  for (unsigned c = 1; c <= 3; ++c) r.radii2[c - 1] = c <= radii.length() ? radii(c) * radii(c) : 0.0;
  const char* dispWords[3] = {"Displacement_OX", "Displacement_OY", "Displacement_OZ"};
  const char* rotWords[3] = {"Rotation_OX", "Rotation_OY", "Rotation_OZ"};
  for (int k = 0; k < 3; ++k) r.dispMode[k] = in->GetInt(dispWords[k], 0), r.rotMode[k] = in->GetInt(rotWords[k], 0);
  r.initialSteps = in->Exist("Initial_Steps") ? in->GetInt("Initial_Steps") : 0;
  if (r.initialSteps < 1) r.initialSteps = int(0.5 * Number_of_Steps) + 1;
  return r;
}

RigidBody::RigidBody() : weight_(3u, 0.0) {
  for (ReaVec* v : {&linAcc2_, &linAcc1_, &linAcc_, &linVel0_, &linVel_, &angAcc2_, &angAcc1_, &angAcc_, &angVel0_,
                    &angVel_, &totalRot_, &totalTrans_})
    v->resize(3, 0.0);
}

void RigidBody::TakeCard(const RigidBodyCard& card) {
  SetMass(card.mass);
  autoMass_ = card.autoMass;
  for (int c = 0; c < 3; ++c) inertia_[c][c] = card.radii2[c];
  initialSteps_ = card.initialSteps;
}

void RigidBody::SetMass(double m) {
  mass_ = m;
  autoMass_ = 0;
  for (unsigned c = 1; c <= 3 && c <= GravVec.length(); ++c) weight_(c) = mass_ * GravVec(c);
}

void RigidBody::AutomaticMass(BodyMesh& set) {
  if (autoMass_ && set.MyDomain()->Solves(PMeshDeform)) SetMass(set.CalculateMass());
}

void RigidBody::RollHistories() {
  linAcc2_ = linAcc1_, linAcc1_ = linAcc_;
  angAcc2_ = angAcc1_, angAcc1_ = angAcc_;
  linVel0_ = linVel_, angVel0_ = angVel_;
}

void RigidBody::AddToTotals(const ReaVec& translation, const ReaVec& rotation) {
  totalTrans_ += translation;
  totalRot_ += rotation;
}

MBodyMesh::MBodyMesh(FluidDomain* d, int num, Input* in, int slot)
    : BodyMesh(d, num, in, slot, 0),
      dryNodes_(100, "Dry Nodes in MBodyMesh"),
      dryElems_(100, "Dry Elements in MBodyMesh"),
      dispMode_(3u, 0),
      rotMode_(3u, 0) {
  const RigidBodyCard card = ReadRigidBodyCard(in, Name(), d->Solves(PMeshDeform));
  TakeCard(card);
  const char* dispFuncs[3] = {"DOX", "DOY", "DOZ"};
  const char* rotFuncs[3] = {"ROX", "ROY", "ROZ"};
  for (int k = 0; k < 3; ++k) {
    dispMode_(unsigned(k + 1)) = card.dispMode[k];
    if (card.dispMode[k] && in->Exist(dispFuncs[k])) dispFunc_[k].reset(in->GetFunc(dispFuncs[k], Length));
  }
  for (int k = 0; k < 3; ++k) {
    rotMode_(unsigned(k + 1)) = card.rotMode[k];
    if (card.rotMode[k] && in->Exist(rotFuncs[k])) rotFunc_[k].reset(in->GetFunc(rotFuncs[k], Angle));
  }

  if (in->Exist("Springs")) {
    CheckBodyNumbers(in, Name(), "Springs");
    const ReaVec values = in->GetReaVec("Springs", 1.0);
    const double kd = in->Exist("KD_Units") ? in->GetFacToIU(in->GetWord("KD_Units", ""), ForcePerLength) : 0.0;
    const double kr = in->Exist("KR_Units") ? in->GetFacToIU(in->GetWord("KR_Units", ""), ForcePerAngle) : 0.0;
    const int per = Dimension_Olvu == 2 ? 6 : 8;
    const int given = int(values.length()), count = given / per, left = given - count * per;
    // A spring cut short would be dropped or read from the wrong numbers: say so rather than guess.
    const char* fields = per == 8 ? "KD KR Ax Ay Az Bx By Bz" : "KD KR Ax Ay Bx By";
    if (count == 0)
      OLVU_FATAL(Name() << " Error: Springs has " << given << (given == 1 ? " value" : " values") << "; a spring needs "
                        << per << " (" << fields << ")\n");
    if (left)
      OLVU_WARNING(1, Name() << ": the last " << left << " of the " << given << " Springs values ignored: a spring needs "
                             << per << " (" << fields << ")");
    // A stiffness without its unit would be taken as nothing: the spring would not act at all.
    for (int s = 0; s < count; ++s)
      for (int k = 0; k < 2; ++k)
        if (values(unsigned(s * per + k + 1)) != 0 && !in->Exist(k == 0 ? "KD_Units" : "KR_Units"))
          OLVU_FATAL(Name() << " Error: Springs with a non-zero " << (k == 0 ? "KD" : "KR") << " need "
                            << (k == 0 ? "KD_Units" : "KR_Units") << "\n");
    const char* geometry = GeometryExternalUnits.empty() ? "[m]" : GeometryExternalUnits.c_str();
    const double len = InternalUnits ? InternalUnits->GetTransFact(geometry, Length) : 1.0;
    // Each spring is KD, KR, the anchor point and the body point (z = 0 in two dimensions).
    const int dim = per == 8 ? 3 : 2;
    for (int s = 0; s < count; ++s) {
      const double* v = values.GivePointer() + s * per;
      Spring& spring = springs_.emplace_back();
      spring.KD = kd * v[0], spring.KR = kr * v[1];
      for (int c = 0; c < dim; ++c) spring.A[c] = len * v[2 + c], spring.B[c] = len * v[2 + dim + c];
    }
  }
  ReadPropertyBlocks(in);
}

MBodyMesh::~MBodyMesh() = default;

void MBodyMesh::RotationMatrix(const ReaVec& a, double R[3][3]) {
  const double cx = std::cos(a(1)), sx = std::sin(a(1)), cy = std::cos(a(2)), sy = std::sin(a(2));
  const double cz = std::cos(a(3)), sz = std::sin(a(3));
  R[0][0] = cy * cz, R[0][1] = -cy * sz, R[0][2] = sy;
  R[1][0] = cx * sz + sx * sy * cz, R[1][1] = cx * cz - sx * sy * sz, R[1][2] = -sx * cy;
  R[2][0] = sx * sz - cx * sy * cz, R[2][1] = sx * cz + cx * sy * sz, R[2][2] = cx * cy;
}

void MBodyMesh::RigidMove(const double R[3][3], const Node& x, double out[3]) const {
  const double r[3] = {x(1) - cog_(1), x(2) - cog_(2), x(3) - cog_(3)};
  for (int i = 0; i < 3; ++i)
    out[i] = displacement_(unsigned(i + 1)) + R[i][0] * r[0] + R[i][1] * r[1] + R[i][2] * r[2] - r[i];
}

void MBodyMesh::initialiseMesh() {
  BodyMesh::initialiseMesh();
  AutomaticMass(*this);
}

void MBodyMesh::deleteDryElems() {
  bool moved = false;
  int i = 0;
  while (Elem* e = elems_->next(i)) {
    bool dry = false;
    for (int k = 1; k <= e->Nnode(); ++k) dry = dry || e->node(k)->num[slot_] == 0;
    if (!dry) continue;
    elems_->remove_at(i);
    dryElems_.Adopt(std::unique_ptr<Elem>(e));
    moved = true;
    for (int k = 1; k <= e->Nnode(); ++k) {
      Node* nd = e->node(k);
      if (nd->num[slot_] != 0 || !dryNodes_.free(nd->num[0])) continue;
      dryNodes_.set_at(nd->num[0], nd);
      if (!nodes_->free(nd->num[0])) nodes_->remove_at(nd->num[0]);
    }
  }
  if (moved)
    OLVU_WARNING(3, "Dry elements found in " << Name() << ".\n\tPlease check if they are correctly oriented (outwards normal).");
}

void MBodyMesh::StartNewStep() {
  FollowCentreFunctions();
  // The last step's movement is applied once, here: to the totals, the centre, the inertia and
  // the springs' body points; then it is spent, so a step that does not move the body does not
  // repeat it.
  AddToTotals(displacement_, rotation_);
  cog_ += displacement_;
  double R[3][3];
  RotationMatrix(R);
  Turn(R, inertia_);
  for (Spring& s : springs_)
    for (int c = 0; c < 3; ++c) s.B[c] += displacement_(unsigned(c + 1));
  displacement_ = 0.0;
  rotation_ = 0.0;
  RollHistories();
  iteration_ = 0;
  for (const auto* table : {&dispFunc_, &rotFunc_})
    for (const std::unique_ptr<UFunction>& f : *table)
      if (f) f->evaluate(Total_Time, Run_Time_Increment, Interval_Time, Current_Step);
}

void MBodyMesh::MoveBody() {
  double J[3][3] = {};
  InverseInertia(J);
  const Loads loads = StepStartLoads(J);
  double before[6];
  for (int c = 0; c < 3; ++c) before[c] = linVel_(unsigned(c + 1)), before[3 + c] = angVel_(unsigned(c + 1));
  MoveBoundAxes();
  double lin[3], ang[3];
  FreeAxisVelocities(J, loads, lin, ang);
  StepFreeAxes(loads, lin, ang);
  WallVelocityChange(before);
  CheckFinite();
  std::cout << "Current Translation " << displacement_ << "\n" << "Current Rotation " << rotation_ << "\n" << std::endl;
}

void MBodyMesh::InverseInertia(double J[3][3]) {
  const double r1 = std::sqrt(inertia_[0][0]), r2 = std::sqrt(inertia_[1][1]);
  if (Dimension_Olvu == 2 && (r1 < 1e-14 || r2 < 1e-14)) {
    // A plane body turns about z only: the other two radii do not enter.
    if (inertia_[2][2] < 1e-28) OLVU_FATAL("Wrong inertia found: Body " << Name() << "\n");
    J[2][2] = 1 / inertia_[2][2];
  } else if (!Invert(inertia_, J)) {
    OLVU_FATAL("Wrong inertia found: Body " << Name() << "\n");
  }
}

MBodyMesh::Loads MBodyMesh::StepStartLoads(const double J[3][3]) const {
  Loads l;
  double mom[3];
  for (int c = 0; c < 3; ++c) {
    const unsigned k = unsigned(c + 1);
    const double g = GravVec.length() >= k ? GravVec(k) : 0.0;
    l.a[c] = -(force_[0](k) + force_[1](k)) / mass_ + g;
    mom[c] = force_[2](k) + force_[3](k);
  }
  for (int c = 0; c < 3; ++c) l.b[c] = -(J[c][0] * mom[0] + J[c][1] * mom[1] + J[c][2] * mom[2]) / mass_;
  // The springs' pull from where the body stood at the step's start, measured from their rest
  // state: the body point B against the anchor A, the total rotation against none; and their
  // stiffness sums, with which the pull follows the step's own movement.
  for (const Spring& s : springs_) {
    l.kd += s.KD, l.kr += s.KR;
    for (int c = 0; c < 3; ++c) l.a[c] += s.KD * (s.A[c] - s.B[c]) / mass_;
  }
  for (int c = 0; c < 3; ++c)
    l.b[c] -= l.kr * (J[c][0] * totalRot_(1) + J[c][1] * totalRot_(2) + J[c][2] * totalRot_(3)) / mass_;
  return l;
}

void MBodyMesh::MoveBoundAxes() {
  // The axes that are not free move as they must, whatever the forces: fixed ones not at all,
  // prescribed ones to the place their function gives, whatever the steps before did.
  const double dt = Run_Time_Increment;
  for (int c = 0; c < 3; ++c) {
    const unsigned k = unsigned(c + 1);
    if (dispMode_(k) == 0) {
      linVel_(k) = 0, displacement_(k) = 0;
    } else if (dispMode_(k) == 2) {
      if (!dispFunc_[c]) OLVU_FATAL("Wrong definition of given displacement for " << Name() << "\n");
      displacement_(k) = dispFunc_[c]->value() - totalTrans_(k);
      linVel_(k) = dt > 0 ? displacement_(k) / dt : 0.0;
    }
    if (rotMode_(k) == 0) {
      angVel_(k) = 0, rotation_(k) = 0;
    } else if (rotMode_(k) == 2) {
      if (!rotFunc_[c]) OLVU_FATAL("Wrong definition of given displacement for " << Name() << "\n");
      rotation_(k) = rotFunc_[c]->value() - totalRot_(k);
      angVel_(k) = dt > 0 ? rotation_(k) / dt : 0.0;
    }
  }
}

void MBodyMesh::FreeAxisVelocities(const double J[3][3], const Loads& l, double lin[3], double ang[3]) {
  // The free axes' velocities at the step's end: m (v - v_n) = dt F, the springs pulling from
  // the step's start plus the share SpringShare of the step's movement dt v (with the rotation
  // the springs couple the free axes through J; the other axes' movement is known).
  const double dt = Run_Time_Increment;
  const double sd = SpringShare(dt * dt * l.kd / mass_) * dt * dt * l.kd / mass_;
  for (int c = 0; c < 3; ++c) lin[c] = (linVel0_(unsigned(c + 1)) + dt * l.a[c]) / (1 + sd);
  double jmax = 0;
  for (int c = 0; c < 3; ++c) jmax = std::max(jmax, std::fabs(J[c][0]) + std::fabs(J[c][1]) + std::fabs(J[c][2]));
  const double sr = SpringShare(dt * dt * l.kr * jmax / mass_) * dt * dt * l.kr / mass_;
  double M[3][3] = {}, rhs[3];
  for (int c = 0; c < 3; ++c) {
    const unsigned k = unsigned(c + 1);
    const bool free = rotMode_(k) == 1;
    for (int j = 0; j < 3; ++j) M[c][j] = (c == j ? 1.0 : 0.0) + (free ? sr * J[c][j] : 0.0);
    rhs[c] = free ? angVel0_(k) + dt * l.b[c] : angVel_(k);
  }
  double Mi[3][3];
  if (!Invert(M, Mi)) OLVU_FATAL("Wrong inertia found: Body " << Name() << "\n");
  for (int c = 0; c < 3; ++c) ang[c] = Mi[c][0] * rhs[0] + Mi[c][1] * rhs[1] + Mi[c][2] * rhs[2];
}

void MBodyMesh::StepFreeAxes(const Loads& l, const double lin[3], const double ang[3]) {
  // Residual of the equation of motion on the free axes; the angular part in speeds at the
  // radius of gyration, so that one factor relaxes both.
  const double dt = Run_Time_Increment;
  const double arm = std::sqrt(std::max({inertia_[0][0], inertia_[1][1], inertia_[2][2]}));
  double r[6];
  for (int c = 0; c < 3; ++c) {
    const unsigned k = unsigned(c + 1);
    linAcc_(k) = l.a[c], angAcc_(k) = l.b[c];
    r[c] = dispMode_(k) == 1 ? lin[c] - linVel_(k) : 0.0;
    r[3 + c] = rotMode_(k) == 1 ? (ang[c] - angVel_(k)) * arm : 0.0;
  }
  Relax(r);
  for (int c = 0; c < 3; ++c) {
    const unsigned k = unsigned(c + 1);
    if (dispMode_(k) == 1) {
      linVel_(k) += relax_ * r[c];
      displacement_(k) = dt * linVel_(k);
    }
    if (rotMode_(k) == 1) {
      angVel_(k) += relax_ * r[3 + c] / arm;
      rotation_(k) = dt * angVel_(k);
    }
  }
}

void MBodyMesh::WallVelocityChange(const double before[6]) {
  // The wall velocity omega x (x - centre) + v at every node of the set, and its change.
  wallChange_ = 0, wallSpeed_ = 0;
  double dv[3], dw[3];
  for (int c = 0; c < 3; ++c)
    dv[c] = linVel_(unsigned(c + 1)) - before[c], dw[c] = angVel_(unsigned(c + 1)) - before[3 + c];
  const ReaVec &v = linVel_, &w = angVel_;
  int i = 0;
  while (Node* nd = nodes_->next(i)) {
    const double x[3] = {(*nd)(1) - cog_(1), (*nd)(2) - cog_(2), (*nd)(3) - cog_(3)};
    const double U[3] = {w(2) * x[2] - w(3) * x[1] + v(1), w(3) * x[0] - w(1) * x[2] + v(2),
                         w(1) * x[1] - w(2) * x[0] + v(3)};
    const double D[3] = {dw[1] * x[2] - dw[2] * x[1] + dv[0], dw[2] * x[0] - dw[0] * x[2] + dv[1],
                         dw[0] * x[1] - dw[1] * x[0] + dv[2]};
    wallSpeed_ = std::max(wallSpeed_, std::sqrt(U[0] * U[0] + U[1] * U[1] + U[2] * U[2]));
    wallChange_ = std::max(wallChange_, std::sqrt(D[0] * D[0] + D[1] * D[1] + D[2] * D[2]));
  }
}

void MBodyMesh::CheckFinite() {
  const char* what[4] = {"linear velocity", "angular velocity", "translation", "rotation"};
  const ReaVec* of[4] = {&linVel_, &angVel_, &displacement_, &rotation_};
  for (int q = 0; q < 4; ++q)
    for (unsigned c = 1; c <= 3; ++c)
      if (!std::isfinite((*of[q])(c))) {
        std::ostringstream why;
        why << "its " << what[q] << " is " << (*of[q])(c);
        Diverged(Name(), why.str());
      }
}

void MBodyMesh::CheckStepMovement() {
  // A free axis that turns the body by more than half a turn in one step, or, where the mesh is
  // held anywhere (it moves rigidly with the body only under "ByBodies" with one moving body and
  // no "Fix_Null" node), moves it across the whole fluid: the motion grows without bound or
  // leaves the mesh, which cannot follow it.
  for (unsigned c = 1; c <= 3; ++c)
    if (rotMode_(c) == 1 && std::fabs(rotation_(c)) > kPi) {
      std::ostringstream why;
      why << "a rotation of " << rotation_(c) << " rad in one step, beyond half a turn";
      Diverged(Name(), why.str());
    }
  FluidDomain& d = *domain_;
  int moving = 0, b = 0;
  while (BodyMesh* m = d.giveNextBody(b)) moving += m->AreYou("MBodyMesh") ? 1 : 0;
  const BitVec& held = d.Cond(FixMeshNull);
  const bool followsOneBody = d.MeshDeformationType() == DeformationAlgorithm::ByBodies && moving == 1;
  if (followsOneBody && (held.length() == 0 || held.null())) return;
  double L2 = 0;
  for (unsigned c = 1; c <= 3 && c <= d.maxCorner.length(); ++c)
    L2 += (d.maxCorner(c) - d.minCorner(c)) * (d.maxCorner(c) - d.minCorner(c));
  const double extent = std::sqrt(L2);
  double step2 = 0;
  for (unsigned c = 1; c <= 3; ++c)
    if (dispMode_(c) == 1) step2 += displacement_(c) * displacement_(c);
  if (std::sqrt(step2) > extent) {
    std::ostringstream why;
    why << "a translation of " << std::sqrt(step2) << " in one step, beyond the fluid's extent " << extent;
    Diverged(Name(), why.str());
  }
}

void MBodyMesh::Relax(const double r[6]) {
  // The first iteration takes the whole step (with one iteration, the plain explicit step).
  // Later ones scale the residual by Aitken's factor: the fluid's added mass answers the body's
  // acceleration against it, which makes the plain fixed point overshoot, or diverge once the
  // added mass exceeds the body's own.
  if (++iteration_ == 1) {
    relax_ = 1;
  } else {
    double num = 0, den = 0;
    for (int i = 0; i < 6; ++i) {
      const double d = r[i] - residual_[i];
      num += residual_[i] * d, den += d * d;
    }
    if (den > 0) relax_ = std::clamp(-relax_ * num / den, 1e-3, 1.0);
  }
  for (int i = 0; i < 6; ++i) residual_[i] = r[i];
}

int MBodyMesh::InitialBodyMovement() {
  for (int c = 0; c < 3; ++c) {
    const unsigned k = unsigned(c + 1);
    if (dispMode_(k) == 1 || dispMode_(k) == 2) {
      if (!dispFunc_[c]) OLVU_FATAL("Wrong definition of given displacement for " << Name() << "\n");
      displacement_(k) = dispFunc_[c]->evaluate(0.0, 0.0, 0.0, 0);
    }
    if (rotMode_(k) == 1 || rotMode_(k) == 2) {
      if (!rotFunc_[c]) OLVU_FATAL("Wrong definition of given displacement for " << Name() << "\n");
      rotation_(k) = rotFunc_[c]->evaluate(0.0, 0.0, 0.0, 0);
    }
  }
  if (displacement_.max_abs() == 0 && rotation_.max_abs() == 0) return 0;
  // The placement joins the totals with the first step's start, as a step's movement does.
  std::cout << "Initial Translation " << displacement_ << "\n" << "Initial Rotation " << rotation_ << std::endl;
  return 1;
}

void MBodyMesh::InitialBodyUpdate() {
  cog_ += displacement_;
  double R[3][3];
  RotationMatrix(R);
  Turn(R, inertia_);
}

void MBodyMesh::ReadMovement(ReaVec& dx, ReaVec& dy, ReaVec& dz) {
  double R[3][3], d[3];
  RotationMatrix(R);
  int i = 0;
  while (Node* nd = nodes_->next(i)) {
    const unsigned n = unsigned(Number(nd));
    RigidMove(R, *nd, d);
    dx(n) += d[0], dy(n) += d[1], dz(n) += d[2];
  }
}

void MBodyMesh::UpdateBodyVelocities(ReaVec& u, ReaVec& v, ReaVec& w, std::vector<double>& vn, Plex<ReaVec>& normals) {
  RigidWallVelocities(linVel_, angVel_, u, v, w, vn, normals);
}

void MBodyMesh::UpdateBodyVelocities(const ReaVec& u, const ReaVec& v, const ReaVec& w, double factor, ReaVec& ub,
                                     ReaVec& vb, ReaVec& wb, std::vector<double>& vn, Plex<ReaVec>& normals) {
  if (wall_ <= NoneWall || wall_ == FlowWall) return;
  int i = 0;
  while (Node* nd = nodes_->next(i)) {
    const int j = Number(nd);
    const unsigned n = unsigned(j);
    if (wall_ == VelocityFixWall) {
      ub(n) = factor * u(n), vb(n) = factor * v(n), wb(n) = factor * w(n);
    } else {
      const ReaVec& N = *normals.get_at(j);
      GrownAt(vn, j) = factor * (N(1) * u(n) + N(2) * v(n) + N(3) * w(n));
    }
  }
}

void MBodyMesh::MoveDryNodes() {
  double R[3][3], d[3];
  RotationMatrix(R);
  int i = 0;
  while (Node* nd = dryNodes_.next(i)) {
    RigidMove(R, *nd, d);
    for (unsigned c = 1; c <= 3; ++c) (*nd)(c) += d[c - 1];
  }
}

int MBodyMesh::MovementValues(double* v) {
  if (wall_ == OutflowWall) return 0;
  const double f = OutputFactor(Length);
  for (unsigned c = 1; c <= 3; ++c) {
    v[c - 1] = f * (totalTrans_(c) + displacement_(c));
    v[c + 2] = 57.29577951308232 * (totalRot_(c) + rotation_(c));
  }
  return 6;
}

void MBodyMesh::OutputMovement(std::ostream* os) {
  double v[6];
  if (MovementValues(v) == 0) return;
  std::ostream& o = *os;
  o << "\"" << Name() << "\"\t";
  for (double x : v) o << x << "\t";
}

namespace {

// Entries of a body's restart state before the springs' body points and the dry nodes.
constexpr unsigned kStateHead = 31;

}  // namespace

void MBodyMesh::State(ReaVec& out) {
  out.resize(kStateHead + 3 * (unsigned(springs_.size()) + unsigned(dryNodes_.count)), 0.0);
  double* p = out.GivePointer();
  // The centre less what its functions will add again from their values at reading.
  for (int c = 0; c < 3; ++c) *p++ = cog_(unsigned(c + 1)) - (cogFunc_[c] ? cogFunc_[c]->value() : 0.0);
  for (ReaVec* v : {&displacement_, &rotation_, &totalTrans_, &totalRot_, &linVel_, &angVel_})
    for (unsigned c = 1; c <= 3; ++c) *p++ = (*v)(c);
  for (const auto& row : inertia_)
    for (double x : row) *p++ = x;
  *p++ = mass_;
  for (const Spring& s : springs_)
    for (double x : s.B) *p++ = x;
  int i = 0;
  while (Node* nd = dryNodes_.next(i))
    for (unsigned c = 1; c <= 3; ++c) *p++ = (*nd)(c);
}

void MBodyMesh::Restore(const ReaVec& s) {
  // Checked as the card's values they stand for: every number finite, the mass at least 1e-14,
  // and a movement the table can write; the body is not touched before all have passed.
  const unsigned springs = unsigned(springs_.size()), dry = unsigned(dryNodes_.count);
  const unsigned length = kStateHead + 3 * (springs + dry);
  std::ostringstream why;
  auto refuse = [&] { OLVU_FATAL("Restart data error. Wrong entry _MBody_ " << Name() << ": " << why.str() << ".\n"); };
  if (s.length() != length) why << s.length() << " values where the body has " << length, refuse();
  static const char* const kParts[] = {"centre of gravity", "translation of the step", "rotation of the step",
                                       "total translation", "total rotation", "linear velocity",
                                       "angular velocity", "inertia", "mass"};
  for (unsigned i = 1; i <= length; ++i) {
    if (std::isfinite(s(i))) continue;
    if (i <= kStateHead) why << "the " << kParts[i <= 21 ? (i - 1) / 3 : i < kStateHead ? 7 : 8] << " holds " << s(i);
    else why << "the " << (i <= kStateHead + 3 * springs ? "springs' body points hold " : "dry nodes hold ") << s(i);
    refuse();
  }
  const double mass = s(kStateHead);
  if (!(mass >= 1e-14)) why << "the mass " << mass << " is below 1e-14", refuse();
  // The movement table writes the totals with the step's movement in output units and degrees.
  const double f = OutputFactor(Length);
  for (unsigned c = 1; c <= 3; ++c) {
    if (!std::isfinite(f * (s(9 + c) + s(3 + c))))
      why << "the total translation " << s(9 + c) << " is no finite number in output units", refuse();
    if (!std::isfinite(57.29577951308232 * (s(12 + c) + s(6 + c))))
      why << "the total rotation " << s(12 + c) << " rad is no finite number of degrees", refuse();
  }
  const double* p = s.GivePointer();
  for (int c = 0; c < 3; ++c) cog_(unsigned(c + 1)) = *p++ + (cogFunc_[c] ? cogFunc_[c]->value() : 0.0);
  for (ReaVec* v : {&displacement_, &rotation_, &totalTrans_, &totalRot_, &linVel_, &angVel_})
    for (unsigned c = 1; c <= 3; ++c) (*v)(c) = *p++;
  for (auto& row : inertia_)
    for (double& x : row) x = *p++;
  // The mass stays as it was found, also one computed from the first wetted surface.
  SetMass(*p++);
  for (Spring& sp : springs_)
    for (double& x : sp.B) x = *p++;
  int i = 0;
  while (Node* nd = dryNodes_.next(i))
    for (unsigned c = 1; c <= 3; ++c) (*nd)(c) = *p++;
  restored_ = true;
}
