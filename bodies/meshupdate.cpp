// The body-movement sequence and the deformation of the fluid mesh: forces and rigid motion of
// the bodies each iteration, the initial placement of moving bodies, their movement line, the
// displacement of every node by functions, by all data or by the bodies, and the update of the
// geometry.
#include <algorithm>
#include <array>
#include <iterator>
#include <cmath>
#include <iostream>
#include <vector>

#include "bodies/bodyparts.h"
#include "bodies/mbodymesh.h"
#include "domain/fluiddomain.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/heaplist.h"
#include "input/fluidfunction.h"
#include "solvers/sparsestruct.h"

namespace {

bool InSet(const BitVec& b, int i) { return b.length() > unsigned(i) && b(unsigned(i + 1)); }

// The initial conditions again, over the moved mesh, at the nodes that no boundary condition
// fixes: the fixed ones keep what the Boundary block gave them (a field condition follows its
// function, so it takes the new value).
void ReadInitialConditionsOfFreeNodes(FluidDomain& d) {
  struct Kept {
    int value, previous, fixed, field;
  };
  const Kept kept[] = {{VelX, VelX0, FixVelX, FieldVelX}, {VelY, VelY0, FixVelY, FieldVelY},
                       {VelZ, VelZ0, FixVelZ, FieldVelZ}, {Pres, Pres0, FixPres, FieldPres},
                       {Temp, Temp0, FixTemp, FieldTemp}, {Pseudo, Pseudo0, FixPseudo, FieldPseudo}};
  std::vector<ReaVec> saved;
  for (const Kept& k : kept) saved.push_back(d.Var(k.value));
  d.ReadInitialConditions();
  for (std::size_t s = 0; s < std::size(kept); ++s) {
    const Kept& k = kept[s];
    ReaVec& v = d.Var(k.value);
    ReaVec& v0 = d.Var(k.previous);
    const BitVec& fixed = d.Cond(k.fixed);
    const BitVec& field = d.Cond(k.field);
    if (v.length() != saved[s].length()) continue;
    for (int i = 0; i < int(v.length()); ++i) {
      if (!InSet(fixed, i) || InSet(field, i)) continue;
      v(unsigned(i + 1)) = saved[s](unsigned(i + 1));
      if (v0.length() == v.length()) v0(unsigned(i + 1)) = v(unsigned(i + 1));
    }
  }
}

// After a moving body gave its wall nodes their velocities: the fixed components become the
// values the solves hold there (they put fixed components back from the previous-step vectors).
void HoldWallVelocities(FluidDomain& d, BodyMesh& m, int slot) {
  int i = 0;
  while (Node* nd = m.giveNextNode(i)) {
    const int n = nd->num[slot];
    for (int c = 0; c < 3; ++c) {
      ReaVec& v0 = d.Var(VelX0 + c);
      const BitVec& fixed = d.Cond(FixVelX + c);
      if (n < 1 || unsigned(n) > v0.length() || unsigned(n) > fixed.length() || !fixed(unsigned(n))) continue;
      v0(unsigned(n)) = d.Var(VelX + c)(unsigned(n));
    }
  }
}

// The blend 1 - 3 s^2 + 2 s^3 of the ratio s limited to 1.
double Fade(double s) {
  if (s > 1) s = 1;
  return 1 - 3 * s * s + 2 * s * s * s;
}

// True on a step that moves the mesh when it moves every `every` steps ("UpdateMeshEvery").
bool MeshUpdateStep(int every) {
  return every <= 1 || Current_Step / every == static_cast<double>(Current_Step) / every;
}

}  // namespace

void FluidDomain::RebuildGeometry() {
  CalcSystemMatrixes();
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) m->initialiseMesh();
  RecalcBodyNormals();
}

void FluidDomain::SolveBodyMovement() {
  if (Solves(PVelocity) && Solves(PPressure)) {
    CalculateForces();
    int b = 0;
    while (BodyMesh* m = giveNextBody(b)) {
      m->IntegrateForces(vars_[Dens], wallLoad_, traction_[0], traction_[1], traction_[2]);
      // The step's force line will hold these sums: one that is not finite ends the run now,
      // before this step's outputs.
      m->CheckLine(true);
    }
  }
  if (!Solves(PMeshDeform) || !MeshUpdateStep(updateMeshEvery_)) return;
  const bool tested = HasConv(VarIncrement, ConvVar::Body) && HasConv(VarDenominat, ConvVar::Body);
  // The speed scale of the bodies' test: the largest velocity the flow holds, not the guess the
  // velocity's test takes for a flow at rest (a body starting to move in a still fluid would pass
  // against it in its first iteration).
  double flow = 0;
  if (tested && Solves(PVelocity))
    for (int c = 0; c < 3; ++c)
      if (vars_[VelX + c].length()) flow = std::max(flow, vars_[VelX + c].max_abs());
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) {
    m->MoveBody();
    m->CheckLine(false);
    m->UpdateBodyVelocities(vars_[VelX], vars_[VelY], vars_[VelZ], normalVelocity_, normals_);
    HoldWallVelocities(*this, *m, kind_);
    if (!tested || !m->AreYou("MBodyMesh")) continue;
    // The convergence test measures the change of the wall velocity over the largest speed of
    // the flow or of the body's wall.
    const MBodyMesh& mb = *static_cast<MBodyMesh*>(m);
    double& change = Conv(VarIncrement, ConvVar::Body);
    double& scale = Conv(VarDenominat, ConvVar::Body);
    change = std::max(change, mb.WallChange());
    scale = std::max({scale, mb.WallSpeed(), flow, 1e-14});
  }
}

void FluidDomain::SolveInitialBodyMovement() {
  if (Current_Step != 1 || !Solves(PMeshDeform)) return;
  int moved = 0, b = 0;
  while (BodyMesh* m = giveNextBody(b)) moved += m->InitialBodyMovement();
  if (moved == 0) return;
  // The initial placement moves the mesh whatever the update interval says.
  const int every = updateMeshEvery_;
  updateMeshEvery_ = 1;
  SolveMeshDeformation(int(DeformationAlgorithm::ByBodies));
  updateMeshEvery_ = every;
  int i = 0;
  while (Node* nd = nodes.next(i)) {
    const unsigned n = unsigned(nd->num[kind_]);
    for (int c = 0; c < 3; ++c) (*nd)(unsigned(c + 1)) += vars_[MeshX + c](n);
  }
  RefreshNodeArray(false);
  b = 0;
  while (BodyMesh* m = giveNextBody(b)) m->MoveDryNodes();
  for (int c = 0; c < 3; ++c) {
    vars_[MeshX0 + c] = vars_[MeshX + c];
    vars_[MeshX + c] = 0.0;
  }
  RebuildGeometry();
  ReadInitialConditionsOfFreeNodes(*this);
  std::cout << "Initial mesh deformation performed succesfully" << std::endl;
}

void FluidDomain::OutputBodyMovement(std::ostream& out) {
  if (!Solves(PMeshDeform)) return;
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) m->OutputMovement(&out);
}

void FluidDomain::UpdateMeshDeformation() {
  if (!Solves(PMeshDeform) || !MeshUpdateStep(updateMeshEvery_)) return;
  // The accumulated displacement grows by what moves the nodes, once per step, whatever the
  // time scheme: a step's increment is the whole step's movement.
  int i = 0;
  while (Node* nd = nodes.next(i)) {
    const unsigned n = unsigned(nd->num[kind_]);
    for (int c = 0; c < 3; ++c) (*nd)(unsigned(c + 1)) += vars_[MeshX + c](n);
  }
  for (int c = 0; c < 3; ++c)
    if (vars_[MeshX0 + c].length() == vars_[MeshX + c].length()) vars_[MeshX0 + c] += vars_[MeshX + c];
  RefreshNodeArray(false);
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) m->MoveDryNodes();
  if (!vars_[MeshX].constant() || !vars_[MeshY].constant() || !vars_[MeshZ].constant()) RebuildGeometry();
  if (updateMeshEvery_ == 1) {
    b = 0;
    while (BodyMesh* m = giveNextBody(b)) {
      m->UpdateBodyVelocities(vars_[MeshX], vars_[MeshY], vars_[MeshZ], MeshRate(), vars_[VelX], vars_[VelY],
                              vars_[VelZ], normalVelocity_, normals_);
      HoldWallVelocities(*this, *m, kind_);
    }
  }
  std::cout << "Mesh deformation performed succesfully" << std::endl;
}

namespace {

// The step's mesh displacement of domain d, X, Y and Z.
std::array<ReaVec*, 3> StepDisplacement(FluidDomain& d) { return {&d.Var(MeshX), &d.Var(MeshY), &d.Var(MeshZ)}; }

// Multiplies each node's displacement by Fade(distance / dref).
void FadeWithDistance(const std::array<ReaVec*, 3>& D, const ReaVec& distance, double dref, int n) {
  for (int i = 0; i < n; ++i) {
    const double f = Fade(distance(unsigned(i + 1)) / dref);
    for (ReaVec* d : D) (*d)(unsigned(i + 1)) *= f;
  }
}

// The smoothing pass of the all-data and several-body deformations: ten sweeps of the
// mass-weighted neighbour mean over the total displacement of every node that is neither a
// body-wall node nor held, in domain order and in place.
void SmoothingPass(FluidDomain& d) {
  const std::array<ReaVec*, 3> D = StepDisplacement(d);
  const BitVec& walls = d.Cond(WallLawNodes);
  const BitVec& fixNull = d.Cond(FixMeshNull);
  for (int c = 0; c < 3; ++c) *D[c] += d.Var(MeshX0 + c);
  for (int sweep = 0; sweep < 10; ++sweep)
    for (int i = 0; i < d.numNodes; ++i)
      if (!InSet(walls, i) && !InSet(fixNull, i)) d.Pattern()->row_smooth(i, *D[0], *D[1], *D[2], d.LumpedMass());
  for (int c = 0; c < 3; ++c) *D[c] -= d.Var(MeshX0 + c);
}

// ByFunctions: the functions' values at this step. The increment of a step that does not move
// the mesh was cleared, so a value kept from an earlier step would be lost, or be that step's.
void DeformByFunctions(FluidDomain& d, FluidFunction* const F[3]) {
  const std::array<ReaVec*, 3> D = StepDisplacement(d);
  for (int c = 0; c < 3; ++c) F[c]->fill(*D[c]);
}

// ByAllData: the functions' values at the "Fix_Field" nodes, nothing at the held ones and the
// moving bodies' movement at their nodes, carried from these known nodes into the rest of the
// mesh, faded to nothing at the nearest held node and smoothed.
void DeformByAllData(FluidDomain& d, FluidFunction* const F[3]) {
  const std::array<ReaVec*, 3> D = StepDisplacement(d);
  const int n = d.numNodes;
  const BitVec& walls = d.Cond(WallLawNodes);
  const BitVec& fixField = d.Cond(FixMeshField);
  const BitVec& fixNull = d.Cond(FixMeshNull);
  const BitVec& noFix = d.Cond(MeshNoFix);
  // This step's increment is the functions' values at their nodes and what the bodies add:
  // nothing of an earlier step's, which the bodies would add to again, and nothing of the
  // functions' elsewhere.
  for (ReaVec* v : D) *v = 0.0;
  if (F[0]->isNull() && F[1]->isNull() && F[2]->isNull()) {
    if (walls.null() || fixNull.all_marked() || noFix.all_marked()) return;
  } else if (noFix.all_marked()) {
    return;
  }
  BitVec& known = BodyParts::Of(d).MeshMotion().work;
  known.resize(unsigned(n), 0);
  known = walls;
  known.or_vec(fixField);
  known.andn_vec(noFix);
  if (known.null()) return;
  for (int i = 0; i < n; ++i)
    if (InSet(fixField, i))
      for (int c = 0; c < 3; ++c) (*D[c])(unsigned(i + 1)) = F[c]->evaluate(i + 1);
  int b = 0;
  while (BodyMesh* m = d.giveNextBody(b)) m->ReadMovement(*D[0], *D[1], *D[2]);
  if (known.all_marked()) return;
  ReaVec distance(unsigned(n), 0.0);
  FluidDomain::SmoothDeformation(d.Pattern(), d.nodes, known, distance, *D[0], *D[1], *D[2], d.ToGlobal(), d.NumType());
  double dref = distance.length() ? distance.max_val() : 0.0;
  for (int i = 0; i < n; ++i)
    if (InSet(fixNull, i) && distance(unsigned(i + 1)) < dref) dref = distance(unsigned(i + 1));
  FadeWithDistance(D, distance, std::max(dref, 1e-14), n);
  SmoothingPass(d);
}

// The rigid displacement T + R (x_i - c) - (x_i - c) of body m at every domain node i (0-based
// in `node`) into out.
void RigidDisplacements(MBodyMesh& m, const std::vector<Node*>& node, std::vector<std::array<double, 3>>& out) {
  double R[3][3];
  m.RotationMatrix(R);
  const ReaVec& c = m.CenterOfGravity();
  const ReaVec& T = m.Displacement();
  for (std::size_t i = 0; i < node.size(); ++i) {
    const Node& x = *node[i];
    const double r[3] = {x(1) - c(1), x(2) - c(2), x(3) - c(3)};
    for (int a = 0; a < 3; ++a)
      out[i][a] = T(unsigned(a + 1)) + R[a][0] * r[0] + R[a][1] * r[1] + R[a][2] * r[2] - r[a];
  }
}

// ByBodies with one moving body: the whole mesh moves rigidly with it, faded by the wall distance
// to nothing at the nearest held node when there are held nodes.
void FollowTheBody(FluidDomain& d, MBodyMesh& body, const std::vector<Node*>& node) {
  const std::array<ReaVec*, 3> D = StepDisplacement(d);
  const int n = d.numNodes;
  const BitVec& fixNull = d.Cond(FixMeshNull);
  // The distance to the bodies at the first deformation, kept for the rest of the run.
  ReaVec& distance = BodyParts::Of(d).MeshMotion().distance;
  if (distance.length() == 0) {
    if (d.Var(WallDist).length() == 0) {
      d.Var(WallDist).resize(unsigned(n), 0.0);
      d.DistanceToBodiesField();
    }
    distance = d.Var(WallDist);
  }
  std::vector<std::array<double, 3>> move(node.size());
  RigidDisplacements(body, node, move);
  double dref = distance.max_val();
  for (int i = 0; i < n; ++i) {
    if (InSet(fixNull, i)) {
      dref = std::min(dref, distance(unsigned(i + 1)));
      for (ReaVec* v : D) (*v)(unsigned(i + 1)) = 0;
      continue;
    }
    for (int c = 0; c < 3; ++c) (*D[c])(unsigned(i + 1)) = move[std::size_t(i)][c];
  }
  if (fixNull.null()) return;
  FadeWithDistance(D, distance, std::max(dref, 1e-14), n);
}

// ByBodies with several moving bodies: each body's rigid movement, faded over the node layers
// from its wall to the first body-wall or held node, weighted by the fades where bodies meet,
// then smoothed.
void BlendTheBodies(FluidDomain& d, const std::vector<MBodyMesh*>& moving, const std::vector<Node*>& node) {
  const std::array<ReaVec*, 3> D = StepDisplacement(d);
  const int n = d.numNodes;
  ReaVec weight(unsigned(n), 0.0);
  IntVec layer(unsigned(n), -1);
  BitVec stop = d.Cond(WallLawNodes);
  stop.or_vec(d.Cond(FixMeshNull));
  for (ReaVec* v : D) *v = 0.0;
  BitVec& seeds = BodyParts::Of(d).MeshMotion().work;
  std::vector<std::array<double, 3>> move(node.size());
  for (MBodyMesh* m : moving) {
    seeds.resize(unsigned(n), 0);
    seeds.assign(0);
    m->MarkNodes(seeds, d.NumType());
    const int L = FluidDomain::LayerInformation(d.Pattern(), d.nodes, seeds, layer, stop, d.ToGlobal(), d.NumType());
    RigidDisplacements(*m, node, move);
    for (int i = 0; i < n; ++i) {
      const int l = layer(unsigned(i + 1));
      if (l < 0) continue;
      const double f = Fade(double(l) / std::max(L, 1));
      weight(unsigned(i + 1)) += f;
      for (int c = 0; c < 3; ++c) (*D[c])(unsigned(i + 1)) += f * move[std::size_t(i)][c];
    }
  }
  for (int i = 0; i < n; ++i)
    if (weight(unsigned(i + 1)) > 0)
      for (ReaVec* v : D) (*v)(unsigned(i + 1)) /= weight(unsigned(i + 1));
  SmoothingPass(d);
}

// ByBodies: the mesh follows the moving bodies ("MBodyMesh" sets); without one it stays.
void DeformByBodies(FluidDomain& d) {
  std::vector<MBodyMesh*> moving;
  int b = 0;
  while (BodyMesh* m = d.giveNextBody(b))
    if (m->AreYou("MBodyMesh")) moving.push_back(static_cast<MBodyMesh*>(m));
  if (moving.empty()) return;
  std::vector<Node*> node(std::size_t(d.numNodes), nullptr);
  int i = 0;
  while (Node* nd = d.nodes.next(i)) node[std::size_t(nd->num[d.NumType()] - 1)] = nd;
  if (moving.size() == 1)
    FollowTheBody(d, *moving[0], node);
  else
    BlendTheBodies(d, moving, node);
}

}  // namespace

void FluidDomain::SolveMeshDeformation(int type) {
  if (!Solves(PMeshDeform)) return;
  if (!MeshUpdateStep(updateMeshEvery_)) {
    for (ReaVec* d : StepDisplacement(*this)) *d = 0.0;
    return;
  }
  Clock clock("Solve Mesh Deformation");
  const DeformationAlgorithm algorithm = type == 0 ? meshDefType_ : DeformationAlgorithm(type);
  FluidFunction* F[3];
  for (int c = 0; c < 3; ++c) {
    F[c] = meshDisp_.get_at(c + 1);
    if (!F[c]->Initialised()) F[c]->isConstant(), F[c]->isTemporal();
  }
  switch (algorithm) {
    case DeformationAlgorithm::ByFunctions:
      return DeformByFunctions(*this, F);
    case DeformationAlgorithm::ByAllData:
      return DeformByAllData(*this, F);
    case DeformationAlgorithm::ByBodies:
      return DeformByBodies(*this);
    default:
      OLVU_FATAL("Wrong mesh deformation algorithm type selected\n");
  }
}

int FluidDomain::LayerInformation(SparseMatrixStruct* graph, Plex<Node>&, BitVec& seeds, IntVec& level, BitVec& stop,
                                  IntVec&, int) {
  const int n = int(level.length());
  level = -1;
  // Levels grow by one along the front, so a first-in first-out queue visits them in heap order.
  std::vector<int> queue;
  queue.reserve(std::size_t(n));
  for (int i = 0; i < n; ++i)
    if (InSet(seeds, i)) level(unsigned(i + 1)) = 0, queue.push_back(i);
  const bool stops = !stop.null();
  int largest = 0;
  for (std::size_t q = 0; q < queue.size(); ++q) {
    const int p = queue[q];
    const int lp = level(unsigned(p + 1));
    int k = 0;
    for (int j = graph->next_in_row(p, k); j >= 0; j = graph->next_in_row(p, k)) {
      if (level(unsigned(j + 1)) != -1) continue;
      if (stops && InSet(stop, j)) return lp;
      level(unsigned(j + 1)) = lp + 1;
      largest = lp + 1;
      queue.push_back(j);
    }
  }
  return largest;
}

void FluidDomain::SmoothDeformation(SparseMatrixStruct* graph, Plex<Node>& nodes, BitVec& known, ReaVec& distance,
                                    ReaVec& dx, ReaVec& dy, ReaVec& dz, IntVec& map, int) {
  const int n = int(dx.length());
  std::vector<int> level(std::size_t(n), -1);
  std::vector<int> queue;
  queue.reserve(std::size_t(n));
  for (int i = 0; i < n; ++i) {
    if (InSet(known, i)) {
      level[std::size_t(i)] = 0;
      queue.push_back(i);
    } else {
      dx(unsigned(i + 1)) = dy(unsigned(i + 1)) = dz(unsigned(i + 1)) = 0;
    }
  }
  auto at = [&](int i) -> const Node& { return *nodes.get_at(map(unsigned(i + 1))); };
  for (std::size_t q = 0; q < queue.size(); ++q) {
    const int p = queue[q];
    const int L = level[std::size_t(p)];
    int k = 0;
    for (int j = graph->next_in_row(p, k); j >= 0; j = graph->next_in_row(p, k)) {
      if (level[std::size_t(j)] != -1) continue;
      level[std::size_t(j)] = L + 1;
      distance(unsigned(j + 1)) = distance(unsigned(p + 1));
      queue.push_back(j);
      const Node& xj = at(j);
      double W = 0, s[3] = {0, 0, 0}, nearest = 1e100;
      int kk = 0;
      for (int m = graph->next_in_row(j, kk); m >= 0; m = graph->next_in_row(j, kk)) {
        if (level[std::size_t(m)] != L) continue;
        const Node& xm = at(m);
        const double d2 = (xm(1) - xj(1)) * (xm(1) - xj(1)) + (xm(2) - xj(2)) * (xm(2) - xj(2)) +
                          (xm(3) - xj(3)) * (xm(3) - xj(3));
        const double w = 1 / (d2 + 1e-14);
        s[0] += w * dx(unsigned(m + 1)), s[1] += w * dy(unsigned(m + 1)), s[2] += w * dz(unsigned(m + 1));
        W += w;
        nearest = std::min(nearest, d2);
      }
      distance(unsigned(j + 1)) += std::sqrt(nearest);
      dx(unsigned(j + 1)) = s[0] / W, dy(unsigned(j + 1)) = s[1] / W, dz(unsigned(j + 1)) = s[2] / W;
    }
  }
}
