// The Boundary block of a domain: symmetry planes and node conditions into the node-condition
// sets, the per-node condition tables and the imposed values, with the checks that follow.
#include <cmath>
#include <memory>

#include "domain/fluiddomain.h"
#include "domain/fluidmesh.h"
#include "domain/phiproblem.h"
#include "domain/resultblock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
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

// The units of the block's values: those of a "BoundaryUnits" line, which is then passed, or
// metres, seconds and kilograms with a warning.
std::unique_ptr<Units> BoundaryUnits(Input* in) {
  if (!in->Exist("BoundaryUnits")) {
    OLVU_WARNING(0, "It is strongly recommended to give the BoundaryUnits command.");
    return std::make_unique<Units>("[m]", "[s]", "[Kg]");
  }
  if (!in->Exist("Length") || !in->Exist("Time") || !in->Exist("Mass"))
    OLVU_FATAL("BoundaryUnits (Length, Time and Mass) must be defined\n");
  auto units =
      std::make_unique<Units>(in->GetWord("Length", "[m]"), in->GetWord("Time", "[s]"), in->GetWord("Mass", "[Kg]"));
  in->ReadLine();
  return units;
}

// The checks after the block: a warning for every field solved that no node fixes (velocity
// also when it is zero everywhere), the refusal of velocity fields with a smoothed start-up, and
// the "Turb 0" nodes taken out of the fixed turbulence.
void CheckFixedFields(FluidDomain& d) {
  const char* name = d.DomainName();
  if (d.Solves(PPressure) && d.Cond(FixPres).null()) OLVU_WARNING(1, name << ": Pressure not fixed in any point");
  if (d.Solves(PVelocity)) {
    if (Start_Up && (!d.Cond(FieldVelX).null() || !d.Cond(FieldVelY).null() || !d.Cond(FieldVelZ).null()))
      OLVU_FATAL("Fix Velocity Field conditions do not work with smoothed start up."
                 "\n\tRemove the Start_Up_Control option.\n");
    if (d.Cond(LineVelNodes).null() && d.Cond(NormalVelNodes).null()) {
      // A "CondVel" node fixes every component its conditional function tests (the step decides
      // where); a plane problem has no Z velocity to fix.
      FluidFuncTbl* tests = d.Cond(CondVelNodes).null() ? nullptr : d.ConditionalFunctions();
      const char* axes[3] = {"OX", "OY", "OZ"};
      const DofType kinds[3] = {DofType::VelocityX, DofType::VelocityY, DofType::VelocityZ};
      for (int c = 0; c < (Dimension_Olvu == 3 ? 3 : 2); ++c)
        if (d.Cond(FixVelX + c).null() && !(tests && tests->FFunc(int(kinds[c]))))
          OLVU_WARNING(2, name << ": Velocity " << axes[c] << " not fixed in any point");
    }
    const ReaVec &u = d.Var(VelX), &v = d.Var(VelY), &w = d.Var(VelZ);
    double speed = 0;
    for (int k = 1; k <= d.numNodes; ++k) {
      const unsigned i = unsigned(k);
      // The Z velocity of a plane problem is dropped later (InitialiseDomain): it does not count.
      const double z = Dimension_Olvu == 3 ? w(i) : 0.0;
      const double s = std::sqrt(u(i) * u(i) + v(i) * v(i) + z * z);
      if (s > speed) speed = s;
    }
    if (speed < 1e-14)
      OLVU_WARNING(2, name << ": Null velocity found everywhere. Is this right?"
                           << "\n\tCheck boundary conditions and convergence norms.");
  }
  if (d.Solves(PTemperature) && d.Cond(FixTemp).null()) OLVU_WARNING(0, name << ": Temperature not fixed in any point");
  if (d.Solves(PPseudo) && d.Cond(FixPseudo).null())
    OLVU_WARNING(0, name << ": Preudoconcentration not fixed in any point");
  if (d.Solves(PKinetic) && d.Cond(FixKEnergy).null())
    OLVU_WARNING(0, name << ": Kinetic_Energy not fixed in any point");
  if (d.Solves(PSpalart) && d.Cond(FixTurbVar).null())
    OLVU_WARNING(0, name << ": Turbulent Viscosity not fixed in any point");
  if (d.Solves(PTurbulence)) {
    d.Cond(FixKEnergy).andn_vec(d.Cond(FreeTurb));
    d.Cond(FixTurbVar).andn_vec(d.Cond(FreeTurb));
    if (d.Cond(FixKEnergy).null()) OLVU_WARNING(2, name << ": Kinetic_Energy not fixed in any point");
    if (d.Cond(FixTurbVar).null()) OLVU_WARNING(2, name << ": Turbulence variable not fixed in any point");
  }
}

// The low-Reynolds forms solve the wall layer down to no-slip walls, where k and the turbulent
// length vanish: a start that gives either at such a wall starts the layer turbulent, and it may
// fall laminar (Launder-Sharma's did, from a uniform start). A warning per wall set and field
// whose largest value there exceeds a millionth of the field's largest: the initial data's own
// values, so only when the run starts at its first step (a restart's fields are its file's).
void CheckWallLayerStart(FluidDomain& d) {
  if (Current_Step != 1 || !d.Solves(PVelocity)) return;
  if (!d.Solves(PKEpsLS) && !d.Solves(PKEpsLB) && !d.Solves(PKEps2L) && !d.Solves(PKinetic2L)) return;
  const struct {
    const char* name;
    int id;
    Magnitude unit;
  } fields[] = {{"EddyKineticEnergy", KEnergy, Energy_per_Mass}, {"EddyLength", TurbLength, Length}};
  for (const auto& f : fields) {
    const ReaVec& v = d.Var(f.id);
    if (v.length() != unsigned(d.numNodes)) continue;
    const double largest = v.max_abs();
    int k = 0;
    while (Mesh* m = d.giveNextBodyMesh(k)) {
      double wall = 0;
      int i = 0;
      while (const Node* nd = m->giveNextNode(i)) {
        const int n = nd->num[d.NumType()];
        if (n >= 1 && n <= d.numNodes && d.Marked(FixVelX, n)) wall = std::fmax(wall, std::fabs(v(unsigned(n))));
      }
      if (wall > 1e-6 * largest)
        OLVU_WARNING(1, d.DomainName() << ": Initial " << f.name << " of up to " << wall * OutputFactor(f.unit)
                                       << " on the no-slip wall " << m->Name()
                                       << ": the low-Reynolds models need initial EddyKineticEnergy and "
                                          "EddyLength that vanish at their walls, or the wall layer may fall laminar");
    }
  }
}

// One "Node" line of the Boundary block, for domain node n (`written` as on the card), with the
// factors of the boundary units. Each keyword group of the line, in its order, answers whether
// the line held one of its keywords, and then takes the line.
struct NodeLine {
  FluidDomain& d;
  Input* in;
  int n, written;
  double fPres, fVel, fTemp;

  // Order 1: pressure.
  bool Pressure() {
    if (!d.Solves(PPressure)) return false;
    const unsigned i = unsigned(n);
    if (in->Exist("Pres")) {
      const double p = PressureIn(in->GetRea("Pres", Magnitude(-1)) * fPres);
      d.Mark(FixPres, n);
      d.Var(Pres)(i) = p;
      d.PreviousPressure()(i) = p;
      return true;
    }
    if (in->Exist("TPres")) {
      const IntVecT f = Flags(in, "TPres", 2, "Fix Pressure Field condition must have 2 fields");
      if (f(1)) d.Mark(FixPres, n);
      if (f(2)) d.Mark(FixPres, n), d.Mark(FieldPres, n);
      d.PreviousPressure()(i) = d.Var(Pres)(i);
      return true;
    }
    return MarkIfGiven("CondPres", CondPresNodes);
  }

  // Order 2: velocity field flags, whatever the sub-problems.
  bool VelocityField() {
    if (!in->Exist("TVel")) return false;
    const IntVecT f = Flags(in, "TVel", 6, "Fix Velocity Field condition must have 6 fields");
    const bool velocity = d.Solves(PVelocity);
    for (int c = 0; c < 3; ++c) {
      if (!velocity) {
        if (f(unsigned(c + 4))) d.Mark(FieldVelX + c, n);
        continue;
      }
      if (f(unsigned(c + 1))) d.Mark(FixVelX + c, n);
      if (f(unsigned(c + 4))) d.Mark(FixVelX + c, n), d.Mark(FieldVelX + c, n);
    }
    if (velocity) FullVelocity();
    return true;
  }

  // Order 3: velocity.
  bool Velocity() {
    if (!d.Solves(PVelocity)) return false;
    if (in->Exist("Velc")) {
      FixedVelocity();
      return true;
    }
    if (MarkIfGiven("Delt", DeltNodes)) return true;
    if (in->Exist("Norm")) {
      if (in->NNumbersIn("Norm") != 3)
        OLVU_FATAL("Boundary Conditions Error: Normal vector must have three components\n");
      if (!StoreUnit(*d.giveNormalPlex(), n, in->GetReaVec("Norm", 1.0)))
        OLVU_FATAL("Boundary Conditions Error: Node " << written << " Error: Wrong normal given\n");
      d.NormalVelocity(n) = in->GetRea("lVl", Magnitude(-1)) * fVel;
      d.Mark(NormalVelNodes, n);
      return true;
    }
    if (in->Exist("LVel")) {
      if (in->NNumbersIn("LVel") != 3)
        OLVU_FATAL("Boundary Conditions Error: Line Velocity vector must have three components\n");
      OwningPlex<ReaVec>& lines = d.VelocityLineTable();
      const bool created = lines.free(n);
      if (!StoreUnit(lines, n, in->GetReaVec("LVel", 1.0)))
        OLVU_FATAL("Boundary Conditions Error: Node " << written << ": Wrong direction of velocity given\n");
      if (created) d.Mark(LineVelNodes, n);
      return true;
    }
    return MarkIfGiven("CondVel", CondVelNodes);
  }

  // "Velc": the given components (all three without "Fix") fixed at their values.
  void FixedVelocity() {
    if (in->NNumbersIn("Velc") != 3)
      OLVU_FATAL("Boundary Conditions Error: Velocity vector must have three components\n");
    const ReaVecT v = in->GetReaVec("Velc", fVel);
    int fix[3] = {1, 1, 1};
    if (in->Exist("Fix")) {
      const IntVecT f = Flags(in, "Fix", 3, "Fix Velocity condition must have 3 fields");
      for (int c = 0; c < 3; ++c) fix[c] = f(unsigned(c + 1)) != 0;
    }
    const unsigned i = unsigned(n);
    for (int c = 0; c < 3; ++c) {
      if (!fix[c]) continue;
      d.Mark(FixVelX + c, n);
      d.Var(VelX + c)(i) = v(unsigned(c + 1));
      d.Var(VelX0 + c)(i) = v(unsigned(c + 1));
    }
    FullVelocity();
  }

  // Order 4: temperature.
  bool Temperature() {
    if (!d.Solves(PTemperature)) return false;
    if (in->Exist("Temp")) {
      const double t = in->GetRea("Temp", Magnitude(-1)) * fTemp;
      d.Mark(FixTemp, n);
      d.Var(Temp)(unsigned(n)) = t;
      d.Var(Temp0)(unsigned(n)) = t;
      return true;
    }
    if (in->Exist("TTemp")) {
      const IntVecT f = Flags(in, "TTemp", 2, "Fix Temperature Field condition must have 2 fields");
      if (f(1)) d.Mark(FixTemp, n);
      if (f(2)) d.Mark(FixTemp, n), d.Mark(FieldTemp, n);
      return true;
    }
    return MarkIfGiven("CondTemp", CondTempNodes);
  }

  // Orders 5 and 6: the Phi (or species) problems, named by "Index"; a line for a problem that
  // does not exist is passed over.
  bool Transport(bool species) {
    if (!d.Solves(species ? PSpecies : PPhi)) return false;
    const char* plain = species ? "Conc" : "Phi";
    const char* field = species ? "TConc" : "TPhi";
    const char* cond = species ? "CondConc" : "CondPhi";
    if (in->Exist(plain)) {
      const double v = in->GetRea(plain, Magnitude(-1));
      if (PhiProblem* p = Problem(species, in->GetInt("Index"), false)) p->FixCondition(n, 1, v);
      else in->JumpLine();
      return true;
    }
    if (in->Exist(field)) {
      const IntVecT f = Flags(in, field, 2,
                              species ? "Fix Concentration Field condition must have 2 fields"
                                      : "Fix Variable Field condition must have 2 fields");
      const int k = in->GetInt("Index");
      const int high = species ? d.SpcProblems().high : d.PhiProblems().high;
      // A number within the range must name a problem (the table's own message otherwise).
      if (k <= high) Problem(species, k, true)->FixCondition(n, f(1), f(2));
      return true;
    }
    if (!in->Exist(cond)) return false;
    if (PhiProblem* p = Problem(species, in->GetInt("Index"), false)) p->FixCondition(n);
    return true;
  }

  // Order 7: mesh deformation.
  bool MeshDeformation() {
    if (!d.Solves(PMeshDeform) || !in->Exist("DMesh")) return false;
    // "Fix_Field" is also the condition of a line without a qualifier.
    if (!MarkIfGiven("Fix_Field", FixMeshField) && !MarkIfGiven("Fix_Null", FixMeshNull) &&
        !MarkIfGiven("No_Fix", MeshNoFix))
      d.Mark(FixMeshField, n);
    return true;
  }

  // Order 8: turbulence.
  bool Turbulence() {
    if (!d.Solves(PTurbulence) || !in->Exist("Turb")) return false;
    if (in->GetInt("Turb") != 0) d.Mark(FixKEnergy, n), d.Mark(FixTurbVar, n);
    else d.Mark(FreeTurb, n);
    return true;
  }

  // Order 9: free surface.
  bool FreeSurface() {
    if (!d.Solves(PTranspiration) || !in->Exist("Beta")) return false;
    if (in->GetInt("Beta") != 0) d.Mark(FixBeta, n);
    return true;
  }

  // Order 10: pseudoconcentration.
  bool Pseudoconcentration() {
    if (!d.Solves(PPseudo) || !in->Exist("TPsed")) return false;
    const IntVecT f = Flags(in, "TPsed", 2, "Fix Pseudooconcentration condition must have 2 fields");
    if (f(1)) d.Mark(FixPseudo, n);
    if (f(2)) d.Mark(FixPseudo, n), d.Mark(FieldPseudo, n);
    return true;
  }

  // Order 11: symmetry.
  bool Symmetry() {
    if (in->Exist("DSymm")) {
      if (in->NNumbersIn("DSymm") != 3)
        OLVU_FATAL("Boundary Conditions Error: Symmetry vector must have three components\n");
      d.Mark(FixGradient, n);
      if (!StoreUnit(d.FixedGradientTable(), n, in->GetReaVec("DSymm", 1.0)))
        OLVU_FATAL("Boundary Conditions Error: Node " << written << " Error: Wrong symmetry vector given\n");
      return true;
    }
    if (!in->Exist("Symm")) return false;
    if (in->GetInt("Symm") != 0) d.Mark(FixGradient, n);
    return true;
  }

  // Marks the node in set c when the line holds `key`; answers whether it does.
  bool MarkIfGiven(const char* key, int c) {
    if (!in->Exist(key)) return false;
    d.Mark(c, n);
    return true;
  }

  // A node fixed in all three velocity components also fixes its turbulence and pseudoconcentration.
  void FullVelocity() {
    if (!(d.Marked(FixVelX, n) && d.Marked(FixVelY, n) && d.Marked(FixVelZ, n))) return;
    for (int c : {FixKEnergy, FixTurbVar, FullFixVel, FixPseudo}) d.Mark(c, n);
  }

  // A pressure given in pressure units, as the solve keeps it: over the density.
  double PressureIn(double p) const {
    const ReaVec& rho = d.Var(Dens);
    const double r = int(rho.length()) >= n && rho(unsigned(n)) > 1e-14 ? rho(unsigned(n)) : 1.0;
    return p / r;
  }

  // Phi (or species) problem k: null when the table has none, unless `must`, when the table's own
  // "Do not exist index" message ends the run.
  PhiProblem* Problem(bool species, int k, bool must) const {
    if (species) {
      Plex<SpcProblem>& t = d.SpcProblems();
      return must || !t.free(k) ? t.get_at(k) : nullptr;
    }
    Plex<PhiProblem>& t = d.PhiProblems();
    return must || !t.free(k) ? t.get_at(k) : nullptr;
  }
};

}  // namespace

void FluidDomain::Mark(int c, int n) { conds_[c].bound_mark(unsigned(n)); }

bool FluidDomain::Marked(int c, int n) const {
  const BitVec& b = conds_[c];
  return n >= 1 && unsigned(n) <= b.length() && b(unsigned(n));
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

void FluidDomain::ReadBoundaryConditions(Input* in) {
  in->ReadCard("Boundary");
  ElementExtents();

  in->ReadLine();
  const std::unique_ptr<Units> units = BoundaryUnits(in);
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
  CheckFixedFields(*this);
  CheckWallLayerStart(*this);
}

void FluidDomain::NodeCondition(Input* in, int n, int written, double fPres, double fVel, double fTemp) {
  NodeLine line{*this, in, n, written, fPres, fVel, fTemp};
  // The keyword groups in their order: the first whose keyword is on the line takes it, and a
  // line with none of them is passed over.
  if (line.Pressure() || line.VelocityField() || line.Velocity() || line.Temperature() || line.Transport(false) ||
      line.Transport(true) || line.MeshDeformation() || line.Turbulence() || line.FreeSurface() ||
      line.Pseudoconcentration())
    return;
  line.Symmetry();
}
