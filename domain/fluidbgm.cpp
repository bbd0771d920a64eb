// The fluid domain's background mesh: hands the current solution, its matrices and its fixed
// nodes to the desired-size estimator and writes the sizes in the units of the coordinates.
#include "domain/fluiddomain.h"
#include "foundation/declarations.h"
#include "input/units.h"
#include "mesh/refinemesh.h"

void FluidDomain::OutputBackgroundMesh(std::ostream& out) {
  DesiredSizeFields f;
  f.dimension = Dimension_Olvu;
  f.dt = Run_Time_Increment;
  f.nodes = &nodes;
  f.slot = kind_;
  f.Vx = &vars_[VelX], f.Vy = &vars_[VelY], f.Vz = &vars_[VelZ];
  f.Vx_ = &vars_[VelX0], f.Vy_ = &vars_[VelY0], f.Vz_ = &vars_[VelZ0];
  f.Vs = &vars_[Visc], f.Dn = &vars_[Dens], f.Pr = &vars_[Pres], f.h = &vars_[ElemSize];
  f.M = mass_;
  f.Gx = sys_[2], f.Gy = sys_[3], f.Gz = sys_[4];
  f.fixX = &conds_[FixVelX], f.fixY = &conds_[FixVelY], f.fixZ = &conds_[FixVelZ], f.fixP = &conds_[FixPres];
  // Without internal units every length is already in the units of the coordinates.
  const double scale =
      InternalUnits ? BackgroundMeshScale(*InternalUnits, GeometryExternalUnits.empty() ? "[m]" : GeometryExternalUnits.c_str())
                    : 1.0;
  ::OutputBackgroundMesh(&out, Refine_Mesh, f, &fluidMeshes_, scale);
}
