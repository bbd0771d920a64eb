// The geometric system matrices of the fluid domain: Laplacian, mass, gradients, lumped mass and
// element sizes, assembled set by set on the shared pattern.
#include "domain/fluiddomain.h"
#include "domain/fluidmesh.h"
#include "flow/assembler.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/threads.h"
#include "solvers/sparsematrix.h"

void FluidDomain::CalcSystemMatrixesSet(FluidMesh* set) {
  ReaVec& share = Nodal(work_.volumeShare);
  share = 0.0;
  SystemArrays out;
  out.pattern = pattern_;
  out.laplacian = lap_->sval(0);
  out.mass = mass_->sval(0);
  out.gx = sys_[2]->val(0);
  out.gy = sys_[3]->val(0);
  out.gz = sys_[4]->val(0);
  out.lumped = lumped_.GivePointer();
  out.size = vars_[ElemSize].GivePointer();
  out.share = share.GivePointer();
  const std::string inverted = InvertedByMeshMotion(*this);
  AssembleSystemSet(set, set->Name(), SetTable(set), out, false, inverted.empty() ? nullptr : inverted.c_str());
  set->initialiseLN_N(share);
}

void FluidDomain::CalcSystemMatrixes() {
  Clock clock("Assembling System Matrixes");
  lap_->NullifyMatrix();
  for (int k : {2, 3, 4}) sys_[k]->NullifyMatrix();
  mass_->NullifyMatrix();
  ReaVec& h = vars_[ElemSize];
  h = 0.0;
  lumped_ = 0.0;
  int i = 0;
  while (Mesh* m = fluidMeshes_.next(i)) CalcSystemMatrixesSet(static_cast<FluidMesh*>(m));
  // The lumped mass is the sum of the element weights: the row sums of M, except where an
  // element lumps by its scaled diagonal.
  const double* m = lumped_.GivePointer();
  double* inv = invLumped_.GivePointer();
  double* hp = h.GivePointer();
  ParallelFor(std::size_t(numNodes), [m, inv, hp](std::size_t k) {
    inv[k] = 1.0 / m[k];
    hp[k] /= m[k];
  });
  if (numNodes > 0) {
    Max_Length = h.max_val();
    Min_Length = h.min_val();
  }
  Med_Length = 0.1 * Max_Length + 0.9 * Min_Length;
  Fluid_Volume = lumped_.sum();
  ReaVec& w = Nodal(work_.volumeShare);
  w.product(lumped_, h);
  AverLength = w.sum() / Fluid_Volume;
}
