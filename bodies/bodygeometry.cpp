// The body sets' geometry in the fluid domain: orientation, normals at symmetry planes, wall-law
// nodes, the distance field to the walls and the wall conditions the body sets impose.

#include <memory>

#include "bodies/bodymesh.h"
#include "bodies/mbodymesh.h"
#include "domain/fluiddomain.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "mesh/utilities.h"
#include "mesh/walldistance.h"

void FluidDomain::InitialiseGeomData() {
  std::vector<Mesh*> boundaries = MeshList(&bodyMeshes_);
  for (Mesh* m : MeshList(&freeMeshes_)) boundaries.push_back(m);
  CheckBodyOrientation(MeshList(&fluidMeshes_), boundaries);
  if (Dimension_Olvu == 2)
    CalcBodyNormals2D();
  else
    CalcBodyNormals3D();
  NormaliseBodyNormals();
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) {
    int i = 0;
    while (Node* nd = m->giveNextNode(i)) {
      const int j = nd->num[kind_];
      if (Marked(SymmPlaneNodes, j)) {
        // A wall node on a symmetry plane keeps the plane's mirror symmetry in its normal.
        const ReaVec& s = *fixedGradient_.get_at(j);
        ReaVec& n = *normals_.get_at(j);
        const double ns = n(1) * s(1) + n(2) * s(2) + n(3) * s(3);
        ReaVec mirror(3u, 0.0);
        for (unsigned c = 1; c <= 3; ++c) mirror(c) = n(c) - 2 * s(c) * ns;
        mirror.normalise();
        const double nm = n(1) * mirror(1) + n(2) * mirror(2) + n(3) * mirror(3);
        if (nm > m->SharpAngle()) {
          for (unsigned c = 1; c <= 3; ++c) n(c) -= s(c) * ns;
          n.normalise();
        } else if (conds_[NormalVelNodes].length()) {
          conds_[NormalVelNodes].assign(unsigned(j), 0);
        }
      }
      if (m->JustBody()) Mark(WallLawNodes, j);
    }
  }
  DistanceToBodiesField();
}

void FluidDomain::DistanceToBodiesField() {
  if (vars_[WallDist].length() == 0) return;
  Clock clock("Distance Field Calculation");
  if (conds_[WallLawNodes].null()) {
    vars_[WallDist] = 1e100;
    return;
  }
  Plex<BodyMesh> walls(10, "Bodies");
  int b = 0, k = 0;
  while (BodyMesh* m = giveNextBody(b)) {
    if (m->HasWallLaw() && nearest_.length() != unsigned(numNodes)) nearest_.resize(unsigned(numNodes), -1), nearest_ = -1;
    if (m->JustBody()) walls.set_at(++k, m);
  }
  const std::unique_ptr<Plex<Node>> near(DistanceField(&nodes, &walls, pattern_.get(), toGlobal_, vars_[WallDist], kind_));
  if (nearest_.length() == unsigned(numNodes)) {
    bool missing = false;
    for (int i = 1; i <= numNodes; ++i) {
      const Node* nd = near && !near->free(i) ? near->get_at(i) : nullptr;
      nearest_(unsigned(i)) = nd ? nd->num[kind_] : -1;
      missing = missing || !nd;
    }
    if (missing) OLVU_WARNING(0, "Distance to bodies couldn't be calculated in some nodes");
  }
  walls.clear();
}

void FluidDomain::ImposeBodyBoundaries() {
  int b = 0;
  while (BodyMesh* m = giveNextBody(b)) {
    const bool moving = m->AreYou("MBodyMesh") && static_cast<MBodyMesh*>(m)->Restored();
    int i = 0;
    while (Node* nd = m->giveNextNode(i)) {
      const int n = nd->num[kind_];
      if (Solves(PPressure) && m->OutFlowBound()) Mark(FixPres, n);
      if (!Solves(PVelocity)) continue;
      if (m->Slipping()) {
        NormalVelocity(n);  // an entry (0 unless a condition gave one) for the wall node
        Mark(NormalVelNodes, n);
      }
      if (m->NoSlipping()) {
        for (int c = 0; c < 3; ++c) {
          // A restarted moving body's wall goes on at the velocity the restart file holds.
          if (!moving) vars_[VelX + c](unsigned(n)) = 0;
          if (vars_[VelX0 + c].length()) vars_[VelX0 + c](unsigned(n)) = vars_[VelX + c](unsigned(n));
          Mark(FixVelX + c, n);
        }
      }
    }
  }
}
