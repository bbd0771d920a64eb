#include "bodies/vbodymesh.h"

#include <cmath>
#include <memory>

#include "bodies/mbodymesh.h"
#include "domain/fluiddomain.h"
#include "domain/resultblock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "input/input.h"
#include "mesh/elem.h"

VBodyMesh::VBodyMesh(FluidDomain* d, int num, Input* in, int slot)
    : BodyMesh(d, num, in, slot, 0),
      freeDisp_(3u),
      freeRot_(3u),
      moved_(100, "Moved Nodes in VBodyMesh"),
      dryElems_(100, "Dry Elems in VBodyMesh"),
      lowNodes_(100, "Nodes in VBodyMesh"),
      lowElems_(100, "Elements in VBodyMesh") {
  const RigidBodyCard card = ReadRigidBodyCard(in, Name(), d->Solves(PMeshDeform));
  TakeCard(card);
  for (int c = 0; c < 3; ++c) {
    freeDisp_.assign(unsigned(c + 1), card.dispMode[c] != 0);
    freeRot_.assign(unsigned(c + 1), card.rotMode[c] != 0);
  }
  in->ClearLine();  // as every body set: a word no reader took is a fault of the data
  in->ReadCard("PhysicalPropertiesFunctions");
  functions_->readFrom(in, "EndPhysicalPropertiesFunctions", name_.c_str());
}

VBodyMesh::~VBodyMesh() = default;

void VBodyMesh::initialiseMesh() {
  BodyMesh::initialiseMesh();
  AutomaticMass(*this);
}

void VBodyMesh::ReadElemsFromAscii(Input* in, Plex<Node>* all) {
  BodyMesh::ReadElemsFromAscii(in, all);
  int i = 0;
  while (Elem* e = elems_->next(i)) {
    const int first = e->Nnode() < 3 ? e->Nnode() : 3;
    for (int k = 1; k <= first; ++k) {
      const Node* nd = e->node(k);
      if (!moved_.free(nd->num[0])) continue;
      ReaVec& x = *moved_.Adopt(nd->num[0], std::make_unique<ReaVec>(3u, 0.0));
      for (unsigned c = 1; c <= 3; ++c) x(c) = (*nd)(c);
    }
    const int corners = e->MinNnode();
    double z = 0;
    for (int k = 1; k <= corners; ++k) z += (*e->node(k))(3) / corners;
    if (z >= 1e-14) continue;
    lowElems_.set_at(e->Num(), e);
    for (int k = 1; k <= e->Nnode(); ++k)
      if (lowNodes_.free(e->node(k)->num[0])) lowNodes_.set_at(e->node(k)->num[0], e->node(k));
  }
}

void VBodyMesh::LoadWeights(Arrays& f) {
  const int corners = f.corners;
  if (corners < 2 || f.nnode < corners) return;
  const double* xyz = domain_->NodeCoordinates();
  for (std::size_t e = 0; e < f.elems.size(); e += std::size_t(f.nnode)) {
    const double* X[4] = {nullptr, nullptr, nullptr, nullptr};
    bool inside = true;
    for (int k = 0; k < corners && inside; ++k) {
      const int j = f.elems[e + std::size_t(k)];
      inside = f.local[e + std::size_t(k)] >= 0;
      if (inside && k < 4) X[k] = xyz + 3 * std::size_t(j - 1);
    }
    if (!inside) continue;
    double A[3];
    if (!CornerAreaVector(type_, X, A))
      OLVU_FATAL("Error in Elem::ProjectedArea(). Element " << type_ << " not implemented.\n");
    const double a[3] = {A[0] / corners, A[1] / corners, A[2] / corners};
    const double w = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    for (int k = 0; k < corners; ++k) {
      double* q = &f.weights[10 * std::size_t(f.local[e + std::size_t(k)])];
      for (int c = 0; c < 3; ++c) q[c] += a[c];
      q[6] += w;
    }
  }
  // The loads act at the nodes: the moment arms are the nodes' positions.
  for (std::size_t i = 0; i < f.nodes.size(); ++i) {
    if (f.nodes[i] < 1) continue;
    const double* x = xyz + 3 * std::size_t(f.nodes[i] - 1);
    double* q = &f.weights[10 * i];
    q[3] = x[1] * q[2] - x[2] * q[1], q[4] = x[2] * q[0] - x[0] * q[2], q[5] = x[0] * q[1] - x[1] * q[0];
    for (int c = 0; c < 3; ++c) q[7 + c] = q[6] * x[c];
  }
}

void VBodyMesh::MoveBody(ReaVec& u, ReaVec& v, ReaVec& w, std::vector<double>& vn, Plex<ReaVec>& normals) {
  RollHistories();
  // The motion grows in over the initial steps instead of starting with the full first force.
  const double ramp = 1 - std::exp(-2.5 * Current_Step / initialSteps_);
  const double dt = Run_Time_Increment;
  for (unsigned k = 1; k <= 3; ++k) {
    linAcc_(k) = -(force_[0](k) + force_[1](k)) / mass_;
    angAcc_(k) = -(inertia_[k - 1][k - 1] * (force_[2](k) + force_[3](k))) / mass_;
    linVel_(k) = freeDisp_(k) ? ramp * (linVel0_(k) + dt * linAcc_(k)) : 0.0;
    angVel_(k) = freeRot_(k) ? ramp * (angVel0_(k) + dt * angAcc_(k)) : 0.0;
    displacement_(k) = dt * linVel_(k);
    rotation_(k) = dt * angVel_(k);
  }
  AddToTotals(displacement_, rotation_);
  RigidWallVelocities(linVel_, angVel_, u, v, w, vn, normals);
}

int VBodyMesh::MovementValues(double* v) {
  const double l = OutputFactor(Length), a = OutputFactor(Angle);
  for (unsigned c = 1; c <= 3; ++c) v[c - 1] = l * displacement_(c), v[c + 2] = a * rotation_(c);
  return 6;
}

void VBodyMesh::OutputMovement(std::ostream* os) {
  double v[6];
  MovementValues(v);
  std::ostream& o = *os;
  o << "\"" << Name() << "\"\t";
  for (double x : v) o << x << "\t";
}
