// Files written after the last step: nodal wall forces and the wall geometry for a structural
// program.
#include <iomanip>

#include "domain/fluiddomain.h"
#include "domain/resultblock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/units.h"

void FluidDomain::NodalForces() {
  CalculateForces();
  const ReaVec& p = wallLoad_;
  for (ReaVec& f : bgm_) f.resize(unsigned(numNodes), 0.0), f = 0.0;
  for (int n = 1; n <= numNodes; ++n) {
    if (normals_.free(n)) continue;
    const ReaVec& nrm = *normals_.get_at(n);
    for (int k = 0; k < 3; ++k) bgm_[k](unsigned(n)) += nrm(unsigned(k + 1)) * p(unsigned(n));
  }
}

void FluidDomain::OutputQuorvelin(std::ostream& res, std::ostream& msh) {
  if (!Solves(PVelocity) || !Solves(PPressure)) return;
  NodalForces();
  msh << "MESH    dimension = " << 3 << " ElemType " << "Triangle" << "  Nnode = " << 3 << "\n";
  msh << "Coordinates\n";
  int i = 0;
  while (Node* nd = nodes.next(i))
    msh << std::setw(5) << nd->num[0] << std::setw(15) << (*nd)(1) << std::setw(15) << (*nd)(2) << std::setw(15)
        << (*nd)(3) << "\n";
  msh << "end coordinates\n\nElements\nend elements\n";

  const double f = OutputFactor(Pressure);
  res << "FORCE           2    " << OutPut_Time << "   2    1    1    1\n";
  res << "FORCEX\n" << "FORCEY\n" << "FORCEZ\n";
  const IntVec& map = globalToLocal_;
  for (unsigned p = 1; p <= map.length(); ++p) {
    const int j = map(p);
    double v[3] = {0, 0, 0};
    if (j > 0)
      for (int k = 0; k < 3; ++k) v[k] = f * bgm_[k](unsigned(j));
    res << "\t" << p << "\t" << v[0] << "\t" << v[1] << "\t" << v[2] << "\n";
  }
}
