// Heat exchanged through the fluid-solid interface sets, added to a domain's temperature system.
#include "domain/fluiddomain.h"
#include "domain/interfmesh.h"

void FluidDomain::InterfaceHeatExchange(SystemSparseMatrix* A, ReaVec& b) {
  for (InterfMesh* m : interfaces_) m->HeatExchange(this, A, b);
}
