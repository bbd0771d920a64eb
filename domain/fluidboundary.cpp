// The Boundary block of a domain: symmetry planes and node conditions into the node-condition
// sets, the per-node condition tables and the imposed values, with the checks that follow.
#include <cmath>
#include <memory>

#include "domain/fluiddomain.h"
#include "domain/fluidmesh.h"
#include "domain/phiproblem.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/input.h"
#include "input/units.h"
#include "mesh/elem.h"

namespace {

// v normalised into entry n of table t (created when absent); false when |v| < 1e-14.
bool StoreUnit(OwningPlex<ReaVec>& t, int n, const ReaVec& v) {
  const double len = v.norm();
  if (len < 1e-14) return false;
  ReaVec* e = t.free(n) ? t.Adopt(n, std::make_unique<ReaVec>(3u)) : t.get_at(n);
  for (unsigned c = 1; c <= 3; ++c) (*e)(c) = v(c) / len;
  return true;
}

// The integer flags after `key`: exactly `count` of them, else the fatal `message`.
IntVecT Flags(Input* in, const char* key, unsigned count, const char* message) {
  if (in->NNumbersIn(key) != int(count)) OLVU_FATAL("Boundary Conditions Error: " << message << "\n");
  return in->GetIntVec(key);
}

}  // namespace

void FluidDomain::Mark(int c, int n) { conds_[c].bound_mark(unsigned(n)); }

bool FluidDomain::Marked(int c, int n) const {
  const BitVec& b = conds_[c];
  return n >= 1 && unsigned(n) <= b.length() && b(unsigned(n));
}

void FluidDomain::FullVelocity(int n) {
  if (!(Marked(FixVelX, n) && Marked(FixVelY, n) && Marked(FixVelZ, n))) return;
  for (int c : {FixKEnergy, FixTurbVar, FullFixVel, FixPseudo}) Mark(c, n);
}

void FluidDomain::ElementExtents() {
  double ext[3] = {1e100, 1e100, 1e100};
  int im = 0;
  while (Mesh* m = fluidMeshes_.next(im)) {
    const int corners = m->GiveMinNnode();
    int ie = 0;
    while (Elem* e = m->giveNextElm(ie)) {
      double el[3] = {0, 0, 0};
      for (int a = 0; a < corners; ++a)
        for (int b = a + 1; b < corners; ++b)
          for (int k = 0; k < 3; ++k) {
            const double d = std::fabs(e->node(a + 1)->GivePointer()[k] - e->node(b + 1)->GivePointer()[k]);
            if (d > el[k]) el[k] = d;
          }
      for (int k = 0; k < 3; ++k)
        if (el[k] < ext[k]) ext[k] = el[k];
    }
  }
  Min_XLength = ext[0], Min_YLength = ext[1], Min_ZLength = ext[2];
  double least = Min_XLength < Min_YLength ? Min_XLength : Min_YLength;
  if (Dimension_Olvu == 3 && Min_ZLength < least) least = Min_ZLength;
  MinDistance = 1e-5 * least;
}

void FluidDomain::SymmetryPlane(Input* in, int axis) {
  const char* keys[3] = {"XPlane_VSym", "YPlane_VSym", "ZPlane_VSym"};
  const double extent[3] = {Min_XLength, Min_YLength, Min_ZLength};
  const int fixed[3] = {FixVelX, FixVelY, FixVelZ};
  const double tol = in->Exist("EPS") ? in->GetRea("EPS", Magnitude(-1)) : extent[axis] * 0.01 + 1e-14;
  symPlanes_[axis] = in->GetReaVec(keys[axis], Length);
  const ReaVec& planes = symPlanes_[axis];
  for (int k = 1; k <= numNodes; ++k) {
    const double x = (*nodeArray_[std::size_t(k - 1)])(unsigned(axis + 1));
    bool on = false;
    for (unsigned p = 1; p <= planes.length(); ++p) on = on || (x >= planes(p) - tol && x <= planes(p) + tol);
    if (!on) continue;
    Mark(fixed[axis], k);
    Mark(SymmPlaneNodes, k);
    for (int v : {VelX + axis, VelX0 + axis})
      if (int(vars_[v].length()) >= k) vars_[v](unsigned(k)) = 0;
    if (fixedGradient_.free(k)) {
      ReaVec normal(3u, 0.0);
      normal(unsigned(axis + 1)) = 1;
      StoreUnit(fixedGradient_, k, normal);
    }
  }
}

const ReaVec& NullGradientDirection(const Plex<ReaVec>& table, int i) {
  // A node marked "Symm" that no direction reached: the node is missing from the table, whatever
  // the table's range holds.
  if (table.free(i)) OLVU_FATAL("Do not exist index " << i << " in Plex " << table.name << "\n");
  return *table.get_at(i);
}

double FluidDomain::PressureIn(int n, double p) {
  // The solve works with pressure over density: a pressure given in pressure units enters so.
  const ReaVec& rho = vars_[Dens];
  const double r = int(rho.length()) >= n && rho(unsigned(n)) > 1e-14 ? rho(unsigned(n)) : 1.0;
  return p / r;
}

void FluidDomain::ReadBoundaryConditions(Input* in) {
  in->ReadCard("Boundary");
  ElementExtents();

  std::unique_ptr<Units> units;
  in->ReadLine();
  if (in->Exist("BoundaryUnits")) {
    if (!in->Exist("Length") || !in->Exist("Time") || !in->Exist("Mass"))
      OLVU_FATAL("BoundaryUnits (Length, Time and Mass) must be defined\n");
    units = std::make_unique<Units>(in->GetWord("Length", "[m]"), in->GetWord("Time", "[s]"), in->GetWord("Mass", "[Kg]"));
    in->ReadLine();
  } else {
    units = std::make_unique<Units>("[m]", "[s]", "[Kg]");
    OLVU_WARNING(0, "It is strongly recommended to give the BoundaryUnits command.");
  }
  auto factor = [&](Magnitude m) { return InternalUnits ? InternalUnits->GetTransFact(units.get(), m) : 1.0; };

  const char* planes[3] = {"XPlane_VSym", "YPlane_VSym", "ZPlane_VSym"};
  for (int axis = 0; axis < 3; ++axis)
    if (in->Exist(planes[axis])) {
      SymmetryPlane(in, axis);
      in->ReadLine();
    }

  conds_[FreeTurb].assign(0);
  const int problemNodes = int(globalToLocal_.length());
  while (!in->Exist("EndBoundary")) {
    const int written = in->GetInt("Node");
    if (written < 1 || written > problemNodes) OLVU_FATAL("Boundary Conditions Error: Node " << written << " does not exist\n");
    // One Boundary block may name the nodes of both domains: a node of the other one is passed over.
    const int n = static_cast<const IntVec&>(globalToLocal_)(unsigned(written));
    if (n > numNodes) OLVU_FATAL("Boundary Conditions Error: Node " << written << " does not exist\n");
    if (n > 0) NodeCondition(in, n, written, factor(Pressure), factor(Velocity), factor(Temperature));
    in->JumpLine();
    in->ReadLine();
  }
  ImposeBodyBoundaries();

  const char* name = name_;
  if (Solves(PPressure) && conds_[FixPres].null()) OLVU_WARNING(1, name << ": Pressure not fixed in any point");
  if (Solves(PVelocity)) {
    if (Start_Up && (!conds_[FieldVelX].null() || !conds_[FieldVelY].null() || !conds_[FieldVelZ].null()))
      OLVU_FATAL("Fix Velocity Field conditions do not work with smoothed start up.\n\tRemove the Start_Up_Control option.\n");
    if (conds_[LineVelNodes].null() && conds_[NormalVelNodes].null()) {
      const char* axes[3] = {"OX", "OY", "OZ"};
      for (int c = 0; c < 3; ++c)
        if (conds_[FixVelX + c].null()) OLVU_WARNING(2, name << ": Velocity " << axes[c] << " not fixed in any point");
    }
    double speed = 0;
    for (int k = 1; k <= numNodes; ++k) {
      const unsigned i = unsigned(k);
      // The Z velocity of a plane problem is dropped later (InitialiseDomain): it does not count.
      const double w = Dimension_Olvu == 3 ? vars_[VelZ](i) : 0.0;
      const double s = std::sqrt(vars_[VelX](i) * vars_[VelX](i) + vars_[VelY](i) * vars_[VelY](i) + w * w);
      if (s > speed) speed = s;
    }
    if (speed < 1e-14)
      OLVU_WARNING(2, name << ": Null velocity found everywhere. Is this right?"
                           << "\n\tCheck boundary conditions and convergence norms.");
  }
  if (Solves(PTemperature) && conds_[FixTemp].null()) OLVU_WARNING(0, name << ": Temperature not fixed in any point");
  if (Solves(PPseudo) && conds_[FixPseudo].null()) OLVU_WARNING(0, name << ": Preudoconcentration not fixed in any point");
  if (Solves(PKinetic) && conds_[FixKEnergy].null()) OLVU_WARNING(0, name << ": Kinetic_Energy not fixed in any point");
  if (Solves(PSpalart) && conds_[FixTurbVar].null())
    OLVU_WARNING(0, name << ": Turbulent Viscosity not fixed in any point");
  if (Solves(PTurbulence)) {
    conds_[FixKEnergy].andn_vec(conds_[FreeTurb]);
    conds_[FixTurbVar].andn_vec(conds_[FreeTurb]);
    if (conds_[FixKEnergy].null()) OLVU_WARNING(2, name << ": Kinetic_Energy not fixed in any point");
    if (conds_[FixTurbVar].null()) OLVU_WARNING(2, name << ": Turbulence variable not fixed in any point");
  }
}

void FluidDomain::NodeCondition(Input* in, int n, int written, double fPres, double fVel, double fTemp) {
  const unsigned i = unsigned(n);
  // Order 1: pressure.
  if (Solves(PPressure)) {
    if (in->Exist("Pres")) {
      const double p = PressureIn(n, in->GetRea("Pres", Magnitude(-1)) * fPres);
      Mark(FixPres, n);
      vars_[Pres](i) = p;
      PreviousPressure()(i) = p;
      return;
    }
    if (in->Exist("TPres")) {
      const IntVecT f = Flags(in, "TPres", 2, "Fix Pressure Field condition must have 2 fields");
      if (f(1)) Mark(FixPres, n);
      if (f(2)) Mark(FixPres, n), Mark(FieldPres, n);
      PreviousPressure()(i) = vars_[Pres](i);
      return;
    }
    if (in->Exist("CondPres")) return Mark(CondPresNodes, n);
  }
  // Order 2: velocity field flags, whatever the sub-problems.
  if (in->Exist("TVel")) {
    const IntVecT f = Flags(in, "TVel", 6, "Fix Velocity Field condition must have 6 fields");
    for (int c = 0; c < 3; ++c) {
      if (!Solves(PVelocity)) {
        if (f(unsigned(c + 4))) Mark(FieldVelX + c, n);
        continue;
      }
      if (f(unsigned(c + 1))) Mark(FixVelX + c, n);
      if (f(unsigned(c + 4))) Mark(FixVelX + c, n), Mark(FieldVelX + c, n);
    }
    if (Solves(PVelocity)) FullVelocity(n);
    return;
  }
  // Order 3: velocity.
  if (Solves(PVelocity)) {
    if (in->Exist("Velc")) {
      if (in->NNumbersIn("Velc") != 3)
        OLVU_FATAL("Boundary Conditions Error: Velocity vector must have three components\n");
      const ReaVecT v = in->GetReaVec("Velc", fVel);
      int fix[3] = {1, 1, 1};
      if (in->Exist("Fix")) {
        const IntVecT f = Flags(in, "Fix", 3, "Fix Velocity condition must have 3 fields");
        for (int c = 0; c < 3; ++c) fix[c] = f(unsigned(c + 1)) != 0;
      }
      for (int c = 0; c < 3; ++c) {
        if (!fix[c]) continue;
        Mark(FixVelX + c, n);
        vars_[VelX + c](i) = v(unsigned(c + 1));
        vars_[VelX0 + c](i) = v(unsigned(c + 1));
      }
      return FullVelocity(n);
    }
    if (in->Exist("Delt")) return Mark(DeltNodes, n);
    if (in->Exist("Norm")) {
      if (in->NNumbersIn("Norm") != 3)
        OLVU_FATAL("Boundary Conditions Error: Normal vector must have three components\n");
      if (!StoreUnit(normals_, n, in->GetReaVec("Norm", 1.0)))
        OLVU_FATAL("Boundary Conditions Error: Node " << written << " Error: Wrong normal given\n");
      NormalVelocity(n) = in->GetRea("lVl", Magnitude(-1)) * fVel;
      return Mark(NormalVelNodes, n);
    }
    if (in->Exist("LVel")) {
      if (in->NNumbersIn("LVel") != 3)
        OLVU_FATAL("Boundary Conditions Error: Line Velocity vector must have three components\n");
      const bool created = velocityLine_.free(n);
      if (!StoreUnit(velocityLine_, n, in->GetReaVec("LVel", 1.0)))
        OLVU_FATAL("Boundary Conditions Error: Node " << written << ": Wrong direction of velocity given\n");
      if (created) Mark(LineVelNodes, n);
      return;
    }
    if (in->Exist("CondVel")) return Mark(CondVelNodes, n);
  }
  // Order 4: temperature.
  if (Solves(PTemperature)) {
    if (in->Exist("Temp")) {
      const double t = in->GetRea("Temp", Magnitude(-1)) * fTemp;
      Mark(FixTemp, n);
      vars_[Temp](i) = t;
      vars_[Temp0](i) = t;
      return;
    }
    if (in->Exist("TTemp")) {
      const IntVecT f = Flags(in, "TTemp", 2, "Fix Temperature Field condition must have 2 fields");
      if (f(1)) Mark(FixTemp, n);
      if (f(2)) Mark(FixTemp, n), Mark(FieldTemp, n);
      return;
    }
    if (in->Exist("CondTemp")) return Mark(CondTempNodes, n);
  }
  // Orders 5 and 6: Phi and species problems, named by "Index"; a line for a problem that does
  // not exist is passed over.
  struct Transport {
    FluidFlag flag;
    const char *plain, *field, *cond, *message;
  };
  const Transport transports[2] = {
      {PPhi, "Phi", "TPhi", "CondPhi", "Fix Variable Field condition must have 2 fields"},
      {PSpecies, "Conc", "TConc", "CondConc", "Fix Concentration Field condition must have 2 fields"}};
  for (int t = 0; t < 2; ++t) {
    const Transport& tr = transports[t];
    if (!Solves(tr.flag)) continue;
    auto problem = [&](int k) -> PhiProblem* {
      if (t == 0) return phi_.free(k) ? nullptr : phi_.get_at(k);
      return species_.free(k) ? nullptr : species_.get_at(k);
    };
    if (in->Exist(tr.plain)) {
      const double v = in->GetRea(tr.plain, Magnitude(-1));
      if (PhiProblem* p = problem(in->GetInt("Index"))) p->FixCondition(n, 1, v);
      else in->JumpLine();
      return;
    }
    if (in->Exist(tr.field)) {
      const IntVecT f = Flags(in, tr.field, 2, tr.message);
      const int k = in->GetInt("Index");
      const int high = t == 0 ? phi_.high : species_.high;
      // A number within the range must name a problem (the table's own message otherwise).
      if (k <= high) (t == 0 ? static_cast<PhiProblem*>(phi_.get_at(k)) : species_.get_at(k))->FixCondition(n, f(1), f(2));
      return;
    }
    if (in->Exist(tr.cond)) {
      if (PhiProblem* p = problem(in->GetInt("Index"))) p->FixCondition(n);
      return;
    }
  }
  // Order 7: mesh deformation.
  if (Solves(PMeshDeform) && in->Exist("DMesh")) {
    if (in->Exist("Fix_Field")) return Mark(FixMeshField, n);
    if (in->Exist("Fix_Null")) return Mark(FixMeshNull, n);
    if (in->Exist("No_Fix")) return Mark(MeshNoFix, n);
    return Mark(FixMeshField, n);
  }
  // Order 8: turbulence.
  if (Solves(PTurbulence) && in->Exist("Turb")) {
    if (in->GetInt("Turb") != 0) Mark(FixKEnergy, n), Mark(FixTurbVar, n);
    else Mark(FreeTurb, n);
    return;
  }
  // Order 9: free surface.
  if (Solves(PTranspiration) && in->Exist("Beta")) {
    if (in->GetInt("Beta") != 0) Mark(FixBeta, n);
    return;
  }
  // Order 10: pseudoconcentration.
  if (Solves(PPseudo) && in->Exist("TPsed")) {
    const IntVecT f = Flags(in, "TPsed", 2, "Fix Pseudooconcentration condition must have 2 fields");
    if (f(1)) Mark(FixPseudo, n);
    if (f(2)) Mark(FixPseudo, n), Mark(FieldPseudo, n);
    return;
  }
  // Order 11: symmetry.
  if (in->Exist("DSymm")) {
    if (in->NNumbersIn("DSymm") != 3)
      OLVU_FATAL("Boundary Conditions Error: Symmetry vector must have three components\n");
    Mark(FixGradient, n);
    if (!StoreUnit(fixedGradient_, n, in->GetReaVec("DSymm", 1.0)))
      OLVU_FATAL("Boundary Conditions Error: Node " << written << " Error: Wrong symmetry vector given\n");
    return;
  }
  if (in->Exist("Symm") && in->GetInt("Symm") != 0) Mark(FixGradient, n);
}
