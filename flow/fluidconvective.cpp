// The fluid domain's convective matrices K and S of the current velocity, the nodal convective
// parameter tau with its volume mean, and the tau limits of the velocity and pressure equations.
#include <cmath>
#include <iostream>

#include "domain/fluiddomain.h"
#include "domain/fluidmesh.h"
#include "flow/convective.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/threads.h"
#include "solvers/sparsematrix.h"

namespace {

// Lower and upper limit of a tau from its mean, ratio and upper factor: a lower limit raised to
// 1e-14 that crosses the upper one makes both theta dt.
void LimitsOfTau(double mean, double ratio, double factor, double dtTheta, double& low, double& high) {
  low = mean * ratio;
  if (low < 1e-14) low = 1e-14;
  high = mean * factor;
  if (low > high) low = high = dtTheta;
}

}  // namespace

void FluidDomain::CalcConvectiveMatrixes(ReaVec& u, ReaVec& v, ReaVec& w) {
  Clock clock("Assembling Convective Matrixes");
  // The last iteration's ratio; none yet means the matrices are built.
  if (HasConv(VarIncrRatio, ConvVar::Velocity) && advectionNorm_ > Conv(VarIncrRatio, ConvVar::Velocity)) {
    std::cout << "CalcConvectiveMatrixes jumped" << std::endl;
    return;
  }
  sys_[7]->NullifyMatrix();
  sys_[8]->NullifyMatrix();
  ReaVec& tau = vars_[TauV];
  tau = 0.0;
  ReaVec* vel[3] = {&u, &v, &w};
  if (Solves(PMeshDeform)) {
    // The velocity relative to the moving mesh.
    for (int c = 0; c < 3; ++c) {
      ReaVec& r = Nodal(work_.relativeVelocity[c]);
      r = *vel[c];
      if (vars_[MeshX + c].length() == r.length()) r.sub_product(vars_[MeshX + c], MeshRate());
      vel[c] = &r;
    }
  }
  // An element counts as at rest against the problem's largest speed; where the velocity is given
  // rather than solved that speed is never set, so the speed of the field itself stands in.
  // The largest squared speed is exact in any order, so the threads share the scan.
  const std::size_t n = vel[0]->length();
  const double* c[3] = {vel[0]->GivePointer(), vel[1]->GivePointer(), vel[2]->GivePointer()};
  const std::size_t len[3] = {vel[0]->length(), vel[1]->length(), vel[2]->length()};
  const double top = ReduceMax(n, [&c, &len](std::size_t k) {
    double s2 = 0;
    for (int d = 0; d < 3; ++d)
      if (len[d] > k) s2 += c[d][k] * c[d][k];
    return s2;
  });
  speedScale_ = top > Max_Velocity * Max_Velocity ? std::sqrt(top) : Max_Velocity;
  // The coordinates by row, gathered once for all sets (the nodes may have moved since).
  if (int(nodeArray_.size()) != numNodes) RefreshNodeArray();
  coordinates_.resize(3 * std::size_t(numNodes));
  double* xyz = coordinates_.data();
  const ReaVec* const* nodes = nodeArray_.data();
  ParallelFor(std::size_t(numNodes), [xyz, nodes](std::size_t r) {
    const double* p = nodes[r]->GivePointer();
    xyz[3 * r] = p[0], xyz[3 * r + 1] = p[1], xyz[3 * r + 2] = p[2];
  });
  int i = 0;
  while (Mesh* m = fluidMeshes_.next(i)) {
    const ElemOrder eo = m->GiveElemOrder();
    if (eo == Triangle3) CalcConvectiveMatrixes3NodesTriangle(m, *vel[0], *vel[1], *vel[2]);
    else if (eo == Tetrahedra4) CalcConvectiveMatrixes4NodesTetrahedra(m, *vel[0], *vel[1], *vel[2]);
    else CalcConvectiveMatrixesDefault(m, *vel[0], *vel[1], *vel[2]);
  }
  const double volume = lumped_.sum();
  tauMean_ = volume > 0 ? tau.sum() / volume : 0;
  tau.product(invLumped_);
  LimitsOfTau(tauMean_, minTauV_, maxTauV_, dtTheta_, tauLow_, tauHigh_);
  LimitsOfTau(tauMean_, minTauP_, maxTauP_, dtTheta_, tauPLow_, tauPHigh_);
}

ElementTable& FluidDomain::SetTable(Mesh* set) {
  // The set's place in the set table names its element table.
  std::size_t k = 0;
  int i = 0;
  while (Mesh* m = fluidMeshes_.next(i)) {
    if (m == set) break;
    ++k;
  }
  if (k >= elementTables_.size()) elementTables_.resize(k + 1);
  ElementTable& table = elementTables_[k];
  if (!table.Fits(set, pattern_)) table.Build(set, kind_, pattern_);
  table.FitBlocks();
  return table;
}

void FluidDomain::ConvectiveSet(Mesh* set, ReaVec& u, ReaVec& v, ReaVec& w, bool gauss) {
  const ElementTable& table = SetTable(set);
  ConvectiveArrays out;
  out.pattern = pattern_;
  out.k = sys_[7]->val(0);
  out.s = sys_[8]->val(0);
  out.tau = vars_[TauV].GivePointer();
  out.u = u.GivePointer();
  out.v = v.GivePointer();
  out.w = w.length() > 0 ? w.GivePointer() : nullptr;
  out.xyz = coordinates_.data();
  out.maxVelocity = speedScale_;
  // An element at rest has no convective time of its own and takes half the step. A step longer
  // than the flow's crossing time would let it outweigh every moving element in the mean that
  // limits every node's parameter, and raise those limits with the step: a long Backward Euler
  // step would then never give the steady flow it stands for. There it takes half the crossing
  // time.
  const double crossing = dt_ > 0 ? CrossingTime() : 1e100;
  out.dtTheta = dt_ > crossing ? theta_ * crossing : dtTheta_;
  out.dimension = Dimension_Olvu;
  AssembleConvectiveSet(set, table, out, gauss);
}

void FluidDomain::CalcConvectiveMatrixes3NodesTriangle(Mesh* set, ReaVec& u, ReaVec& v, ReaVec& w) {
  ConvectiveSet(set, u, v, w, false);
}

void FluidDomain::CalcConvectiveMatrixes4NodesTetrahedra(Mesh* set, ReaVec& u, ReaVec& v, ReaVec& w) {
  ConvectiveSet(set, u, v, w, false);
}

void FluidDomain::CalcConvectiveMatrixesDefault(Mesh* set, ReaVec& u, ReaVec& v, ReaVec& w) {
  ConvectiveSet(set, u, v, w, true);
}
