// Heat exchanged through the fluid-solid interface sets, added to a domain's temperature system.
#include <algorithm>

#include "domain/fluiddomain.h"
#include "domain/interfmesh.h"

void FluidDomain::AddInterface(InterfMesh* m) {
  if (std::find(interfaces_.begin(), interfaces_.end(), m) == interfaces_.end()) interfaces_.push_back(m);
}

void FluidDomain::InterfaceHeatExchange(SystemSparseMatrix* A, ReaVec& b) {
  for (InterfMesh* m : interfaces_) m->HeatExchange(this, A, b);
}
