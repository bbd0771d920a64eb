#include "bodies/bodyparts.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>

#include "bodies/bodymesh.h"
#include "bodies/freesmesh.h"
#include "bodies/mbodymesh.h"
#include "domain/fluiddomain.h"
#include "domain/phiproblem.h"
#include "domain/restartentry.h"
#include "flow/lawofwall.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "input/input.h"

// ---------------------------------------------------------------- making

std::unique_ptr<Mesh> BodyParts::NewBodySet(int n, Input* in, bool moving) {
  if (moving) return std::make_unique<MBodyMesh>(&d_, n, in, d_.kind_);
  return std::make_unique<BodyMesh>(&d_, n, in, d_.kind_, 1);
}

std::unique_ptr<Mesh> BodyParts::NewFreeSurfaceSet(int n, Input* in) {
  return std::make_unique<FreeSMesh>(&d_, n, in, 3, Triangle, 3, 1);
}

std::unique_ptr<PhiProblem> BodyParts::NewPhiProblem(Input* in) { return std::make_unique<PhiProblem>(in, &d_); }

std::unique_ptr<SpcProblem> BodyParts::NewSpcProblem(Input* in) { return std::make_unique<SpcProblem>(in, &d_); }

std::unique_ptr<PhiProblem> BodyParts::NewPhiProblem(int n) {
  return std::make_unique<PhiProblem>(&d_, n, "Phi_Variable", 1e100, -1e100);
}

std::unique_ptr<SpcProblem> BodyParts::NewSpcProblem(int n) {
  return std::make_unique<SpcProblem>(&d_, n, "Species", 1e100, 0);
}

// ---------------------------------------------------------------- the domain's sequence

void BodyParts::DropDryElements() {
  int b = 0;
  while (BodyMesh* m = d_.giveNextBody(b)) m->deleteDryElems();
}

void BodyParts::InitialiseSets() {
  FluidDomain& d = d_;
  if (d.vars_[Beta].length()) {
    int i = 0;
    while (Mesh* m = d.freeMeshes_.next(i)) static_cast<FreeSMesh*>(m)->WriteBetaReaVec(d.vars_[Beta], 0);
  }
  Char_Length = 0;
  ReaVec &top = freeSurface_.bodyMax, &bottom = freeSurface_.bodyMin, &extent = freeSurface_.bodyExtent;
  extent = 0.0;
  top = -1e100;
  bottom = 1e100;
  int b = 0;
  while (BodyMesh* m = d.giveNextBody(b)) {
    if (!m->JustBody()) continue;
    for (unsigned c = 1; c <= 3; ++c) {
      top(c) = std::max(top(c), m->Max_Vector()(c));
      bottom(c) = std::min(bottom(c), m->Min_Vector()(c));
    }
    const double dm = m->Diameter();
    if (dm > Char_Length) Char_Length = dm;
    for (unsigned c = 1; c <= 3; ++c) extent(c) = top(c) - bottom(c);
  }
}

namespace {

// u* = sqrt(c |u|) node by node: the friction velocity that the wall-law factor c of the last
// wall-law solve gives the velocity (u, v, w); 0 without a factor (no flow is solved).
void FrictionVelocities(const ReaVec& c, const ReaVec& u, const ReaVec& v, const ReaVec& w, ReaVec& speed,
                        ReaVec& ustar) {
  if (c.length() != ustar.length()) {
    ustar = 0.0;
    return;
  }
  speed.norm(u, v, w);
  for (unsigned k = 1; k <= ustar.length(); ++k) ustar(k) = std::sqrt(c(k) * speed(k));
}

}  // namespace

void BodyParts::StartNewStep() {
  int b = 0;
  while (BodyMesh* m = d_.giveNextBody(b)) m->StartNewStep();
  BuildWallDistance();
}

void BodyParts::FinishStep() {
  // The distance the next step starts from, which its results and restart file show: it follows
  // the velocity the step ends with, as the restarted step builds it again from the file.
  BuildWallDistance();
}

void BodyParts::BuildWallDistance() {
  ReaVec* vars = d_.vars_;
  const int numNodes = d_.numNodes;
  const IntVec& nearest = d_.nearest_;
  if (vars[WallDist].length() == 0 || nearest.length() != unsigned(numNodes)) return;
  // The wall distance follows the first-node distance that the wall laws assume.
  ReaVec& ustar = d_.Nodal(d_.work_.frictionVelocity);
  ReaVec& y = d_.Nodal(d_.work_.wallDistance);
  FrictionVelocities(vars[WallFactor], vars[VelX], vars[VelY], vars[VelZ], d_.Nodal(d_.work_.speed), ustar);
  y = vars[WallDist];
  int b = 0;
  while (BodyMesh* m = d_.giveNextBody(b)) m->ReadWallDistance(y, ustar, vars[KVisc]);
  for (int l = 1; l <= numNodes; ++l) {
    const int p = nearest(unsigned(l));
    if (p != l && p != -1) y(unsigned(l)) += y(unsigned(p)) - vars[WallDist](unsigned(p));
  }
  vars[WallDist] = y;
}

void BodyParts::OutflowVelocities() {
  ReaVec* vars = d_.vars_;
  int b = 0;
  while (BodyMesh* m = d_.giveNextBody(b))
    if (m->OutFlowBound()) m->OutFlowBound(vars[VelX], vars[VelY], vars[VelZ]);
}

// ---------------------------------------------------------------- restart

ReaVec& BodyParts::Elevation(int n) { return static_cast<FreeSMesh*>(d_.freeMeshes_.get_at(n))->GiveBetaVector(); }

namespace {

// The key of the wall laws' start values.
constexpr const char* kWallLawsKey = "_WLaw_";

// What a file of an older program holds at a y+ wall node, and how it reads.
constexpr const char* kOlderWallDistance =
    "\tA file of an older program holds the distance of its last step's start: without the entry it reads with a "
    "notice, and its first step builds the distance from the mesh and the restored wall-law factors.\n";

// The body sets with a wall law, in the order of the domain's table.
std::vector<BodyMesh*> WallLawSets(FluidDomain& d) {
  std::vector<BodyMesh*> sets;
  int b = 0;
  while (BodyMesh* m = d.giveNextBody(b))
    if (m->HasWallLaw() && m->Law()) sets.push_back(m);
  return sets;
}

}  // namespace

void BodyParts::WriteSetsRestart(std::ostream& out, int digits) {
  // Each law's solve starts from the friction velocity its last one found: the restarted run's
  // first solves start where the unbroken run's would.
  const std::vector<BodyMesh*> laws = WallLawSets(d_);
  if (!laws.empty()) {
    ReaVec start(unsigned(laws.size()));
    for (unsigned k = 1; k <= start.length(); ++k) start(k) = laws[k - 1]->Law()->LastFrictionVelocity();
    out << "\t";
    start.WriteAscii(out, kWallLawsKey, digits);
  }
  if (!d_.Solves(PMeshDeform)) return;
  int b = 0;
  while (BodyMesh* m = d_.giveNextBody(b)) {
    if (!m->AreYou("MBodyMesh")) continue;
    ReaVec state;
    static_cast<MBodyMesh*>(m)->State(state);
    out << "\t_MBody_ " << m->Name() << "\t";
    state.WriteAscii(out, "", digits);
  }
  if (motion_.distance.length()) {
    out << "\t";
    motion_.distance.WriteAscii(out, "_MDist_", digits);
  }
  if (d_.numNodes > 0) {
    // The coordinates themselves: the first ones plus the accumulated displacement would
    // differ from them in the last bits.
    ReaVec xyz(unsigned(d_.nodeXYZ_.size()));
    std::copy(d_.nodeXYZ_.begin(), d_.nodeXYZ_.end(), xyz.GivePointer());
    out << "\t";
    xyz.WriteAscii(out, "_MCoord_", digits);
  }
}

bool BodyParts::ReadSetsRestart(Input* in, const char* word) {
  if (strcasecmp(word, kWallLawsKey) == 0) {
    const std::vector<BodyMesh*> laws = WallLawSets(d_);
    RestartEntryLength(in, d_.DomainName(), kWallLawsKey, unsigned(laws.size()));
    ReaVec start;
    in->GetAsciiReaVec(start, 1, "len");
    if (laws.empty()) return true;  // no law of this domain takes them
    for (unsigned k = 1; k <= start.length(); ++k)
      if (!(start(k) >= 0))
        OLVU_FATAL("Restart data error. Wrong " << kWallLawsKey << " entry of " << d_.DomainName()
                                                << ": the friction velocity of " << laws[k - 1]->Name() << " ("
                                                << start(k) << ") is negative.\n");
    for (unsigned k = 1; k <= start.length(); ++k) laws[k - 1]->Law()->RestoreFrictionVelocity(start(k));
    motion_.restoredLaws = true;
    return true;
  }
  const bool body = strcasecmp(word, "_MBody_") == 0, coord = strcasecmp(word, "_MCoord_") == 0;
  if (!body && !coord && strcasecmp(word, "_MDist_") != 0) return false;
  // A run without mesh deformation keeps its mesh as the data gives it, whatever the entry holds;
  // a body's state is checked by the body.
  const bool deformed = d_.Solves(PMeshDeform);
  const unsigned numNodes = unsigned(d_.numNodes);
  const std::string name = body ? in->GetWord("_MBody_", "") : "";
  const unsigned expected = !deformed || body ? 0 : coord ? 3 * numNodes : numNodes;
  RestartEntryLength(in, d_.DomainName(), body ? "_MBody_ " + name : coord ? "_MCoord_" : "_MDist_", expected);
  ReaVec v;
  in->GetAsciiReaVec(v, 1, "len");
  if (!deformed) return true;
  if (coord) {
    // Checked once the accumulated displacement they stand for is read too.
    motion_.coordinates = v;
    motion_.restoredNodes = true;
    return true;
  }
  if (!body) {
    // A distance is no negative number: the deformation's blend would grow without bound there.
    for (unsigned j = 1; j <= v.length(); ++j)
      if (!std::isfinite(v(j)) || v(j) < 0)
        OLVU_FATAL("Restart data error. Wrong _MDist_ entry of " << d_.DomainName() << ": the distance of node " << j
                                                                 << " (" << v(j) << ") is no distance.\n");
    motion_.distance = v;
    return true;
  }
  // The first moving body of that name not restored yet.
  int b = 0;
  while (BodyMesh* m = d_.giveNextBody(b)) {
    const std::vector<const Mesh*>& restored = motion_.restoredBodies;
    if (!m->AreYou("MBodyMesh") || name != m->Name() || std::count(restored.begin(), restored.end(), m)) continue;
    static_cast<MBodyMesh*>(m)->Restore(v);
    motion_.restoredBodies.push_back(m);
    return true;
  }
  OLVU_FATAL("Restart data error. Wrong body name " << name << ".\n");
}

void BodyParts::CheckWallDistance(const ReaVec& computed, bool exact) {
  // Where wall laws act, the end of each step gives a wall node the first-node distance of its
  // wall law and every other node its distance to the walls in the mesh plus the value of its
  // nearest wall node (BuildWallDistance); elsewhere the distance stays the mesh's. The restored
  // one is checked against that, both ways, with the room that values written to six digits
  // need. A y+ law's distance is y+ nu / u*, u* the friction velocity that the restored wall-law
  // factor gives the restored velocity. Without both, or with a viscosity that changes from step
  // to step (the file does not hold the one the step had), such a value is only a number (the
  // reader refuses a negative one).
  const ReaVec& y = d_.vars_[WallDist];
  const IntVec& nearest = d_.nearest_;
  const unsigned n = y.length();
  const bool laws = nearest.length() == n;
  // The distance the end of the step gave each wall node, and its values without friction and
  // with: a value that changes follows the friction velocity (a y+ law).
  ReaVec wall(n, NAN), still(n, NAN), moving(n, NAN);
  if (laws) {
    const ReaVec* vars = d_.vars_;
    // A plane problem has no Z velocity (InitialiseDomain), whatever the file gives.
    const ReaVec none(n, 0.0), unit(n, 1.0), &w = Dimension_Olvu == 3 ? vars[VelZ] : none;
    ReaVec speed(n), ustar(n);
    FrictionVelocities(vars[WallFactor], vars[VelX], vars[VelY], w, speed, ustar);
    int b = 0;
    while (BodyMesh* m = d_.giveNextBody(b)) {
      m->ReadWallDistance(wall, ustar, vars[KVisc]);
      m->ReadWallDistance(still, none, unit);
      m->ReadWallDistance(moving, unit, unit);
    }
  }
  double size = 0;
  for (unsigned c = 1; c <= 3; ++c) size += (d_.maxCorner(c) - d_.minCorner(c)) * (d_.maxCorner(c) - d_.minCorner(c));
  size = std::sqrt(size);
  auto number = [&](unsigned j) { return d_.allNodes->get_at(d_.toGlobal_(j))->num[0]; };
  auto wrong = [&](unsigned j) {
    std::ostringstream s;
    s << "Restart data error. Wrong _WDist_ entry of " << d_.DomainName() << ": the distance of node " << number(j)
      << " (" << y(j) << ") is not its distance to the walls " << computed(j);
    return s.str();
  };
  // A value written to six digits is off by at most 5e-6 of itself.
  auto near = [&](double value, double expected, double scale) {
    return std::fabs(value - expected) <= 6e-6 * scale + 1e-12 * size;
  };
  for (unsigned j = 1; j <= n; ++j) {
    const int p = laws ? nearest(j) : -1;
    if (p == int(j)) {
      // A wall node: its law's fixed distance, or the one its friction velocity gives.
      const bool follows = still(j) != moving(j);
      if (follows && !exact) {
        if (std::isfinite(y(j))) continue;
        OLVU_FATAL(wrong(j) << " plus a first-node distance of its wall law.\n");
      }
      if (near(y(j), wall(j), std::fabs(y(j)))) continue;
      if (!follows) OLVU_FATAL(wrong(j) << " plus the first-node distance " << wall(j) << " of its wall law.\n");
      OLVU_FATAL(wrong(j) << " plus the first-node distance " << wall(j)
                          << " that its wall law gives the restored _WFact_ and velocity.\n" << kOlderWallDistance);
    }
    if (p < 1 || unsigned(p) > n) {
      if (near(y(j), computed(j), std::fabs(y(j)))) continue;
      OLVU_FATAL(wrong(j) << ".\n");
    }
    const unsigned q = unsigned(p);
    const double expected = computed(j) - computed(q) + y(q);
    if (near(y(j), expected, std::fabs(y(j)) + std::fabs(y(q)))) continue;
    OLVU_FATAL(wrong(j) << " plus the first-node distance " << y(q) << " at its nearest wall node " << number(q)
                        << ".\n");
  }
}

void BodyParts::CheckCoordinates(const ReaVec& xyz, bool moved) const {
  // The coordinates stand for the data's plus the accumulated displacement: they may differ from
  // those sums by the rounding of every step's addition, not by a length of the mesh's scale.
  const int numNodes = d_.numNodes;
  const ReaVec* vars = d_.vars_;
  double size = 0;
  for (unsigned c = 1; c <= 3; ++c) size += (d_.maxCorner(c) - d_.minCorner(c)) * (d_.maxCorner(c) - d_.minCorner(c));
  size = std::sqrt(size);
  for (int j = 1; j <= numNodes; ++j) {
    const Node& nd = *d_.allNodes->get_at(d_.toGlobal_(unsigned(j)));
    for (unsigned c = 1; c <= 3; ++c) {
      const double x = xyz(3 * unsigned(j - 1) + c);
      const double m = moved ? vars[MeshX0 + int(c) - 1](unsigned(j)) : 0.0;
      const double tolerance = 1e-8 * (size + std::fabs(nd(c)) + std::fabs(m));
      if (std::isfinite(x) && std::fabs(x - (nd(c) + m)) <= tolerance) continue;
      OLVU_FATAL("Restart data error. Wrong _MCoord_ entry of "
                 << d_.DomainName() << ": node " << nd.num[0] << " lies at " << x << " along axis " << c
                 << ", not where its data coordinate " << nd(c) << " and the accumulated mesh displacement " << m
                 << " put it.\n");
    }
  }
}

void BodyParts::FinishSetsRestart() {
  // The next restart file starts from nothing restored.
  std::vector<const Mesh*> bodies;
  bodies.swap(motion_.restoredBodies);
  const bool nodes = motion_.restoredNodes;
  motion_.restoredNodes = false;
  if (!motion_.restoredLaws && !WallLawSets(d_).empty())
    OlderRestartNotice(d_.DomainName(), kWallLawsKey, "the wall laws start as their set-up gives them");
  motion_.restoredLaws = false;
  if (!d_.Solves(PMeshDeform)) return;
  int b = 0;
  while (BodyMesh* m = d_.giveNextBody(b))
    if (m->AreYou("MBodyMesh") && !std::count(bodies.begin(), bodies.end(), m))
      OLVU_NOTICE("Restart file holds no state of body " << m->Name() << ": it starts from its data.");
  // Where the nodes go once the set-up is done: by the accumulated displacement, or to the
  // coordinates the file gives, those sums to their last bits.
  const int numNodes = d_.numNodes;
  ReaVec* vars = d_.vars_;
  const bool moved = int(vars[MeshX0].length()) == numNodes;
  if (nodes) CheckCoordinates(motion_.coordinates, moved);
  else if (moved) {
    ReaVec& xyz = motion_.coordinates;
    xyz.resize(3 * unsigned(numNodes));
    for (int j = 1; j <= numNodes; ++j) {
      const Node& nd = *d_.allNodes->get_at(d_.toGlobal_(unsigned(j)));
      for (unsigned c = 1; c <= 3; ++c) xyz(3 * unsigned(j - 1) + c) = nd(c) + vars[MeshX0 + int(c) - 1](unsigned(j));
    }
  }
}

void BodyParts::PlaceRestoredMesh() {
  ReaVec& xyz = motion_.coordinates;
  if (xyz.length() == 0) return;
  const int numNodes = d_.numNodes;
  for (int j = 1; j <= numNodes; ++j) {
    Node& nd = *d_.allNodes->get_at(d_.toGlobal_(unsigned(j)));
    for (unsigned c = 1; c <= 3; ++c) nd(c) = xyz(3 * unsigned(j - 1) + c);
  }
  xyz.resize(0);
  // What hangs on the geometry follows the moved nodes, as after every mesh update: the vorticity
  // the set-up rebuilt too.
  d_.RefreshNodeArray(false);
  d_.RebuildGeometry();
  if (d_.vars_[Vorticity].length() && !d_.vorticityRestored_) d_.CalcVorticity(d_.vars_[Vorticity]);
}

// ---------------------------------------------------------------- terms of the flow solves

void BodyParts::WallTerms(ReaVec& bx, ReaVec& by, ReaVec& bz) { d_.BodyWallTerms(bx, by, bz); }

bool BodyParts::HeatFluxes(ReaVec& q, ReaVec& r, ReaVec& w) {
  bool any = false;
  int k = 0;
  while (BodyMesh* m = d_.giveNextBody(k))
    any = any || m->funtions()->exists(int(DofType::HeatFlux)) || m->funtions()->exists(int(DofType::HeatFluxReaction));
  if (!any) return false;  // both sums would be 0
  q = 0.0, r = 0.0;
  k = 0;
  while (BodyMesh* m = d_.giveNextBody(k)) m->evalFlux(w, q);
  k = 0;
  while (BodyMesh* m = d_.giveNextBody(k)) m->evalFluxReaction(w, r);
  return true;
}

void BodyParts::ProblemFluxes(bool species, int index, ReaVec& w1, ReaVec& w2, ReaVec& F, ReaVec& G) {
  int i = 0;
  while (BodyMesh* m = d_.giveNextBody(i)) m->ProblemFlux(species, index, w1, w2, F, G);
}
