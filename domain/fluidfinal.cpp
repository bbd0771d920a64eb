// Files written after the last step: nodal wall forces and the wall geometry for a structural
// program, and the sink-and-trim table.
#include <iomanip>

#include "bodies/bodymesh.h"
#include "bodies/freesmesh.h"
#include "domain/fluiddomain.h"
#include "domain/resultblock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/units.h"

void FluidDomain::NodalForces() {
  CalculateForces();
  const ReaVec& p = vars_[Work3];
  for (ReaVec& f : bgm_) f.resize(unsigned(numNodes), 0.0), f = 0.0;
  for (int n = 1; n <= numNodes; ++n) {
    if (normals_.free(n)) continue;
    const ReaVec& nrm = *normals_.get_at(n);
    for (int k = 0; k < 3; ++k) bgm_[k](unsigned(n)) += nrm(unsigned(k + 1)) * p(unsigned(n));
  }
}

void FluidDomain::OutputQuorvelin(std::ostream& res, std::ostream& msh) {
  if (!Flag(PVelocity) || !Flag(PPressure)) return;
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

void FluidDomain::OutputSinkandTrim(std::ostream& out) {
  if (!Flag(PVelocity) || Dimension_Olvu == 2) return;
  NodalForces();
  // Forces per unit specific weight; without gravity the bodies get no sink-and-trim block.
  const bool weighed = Gravity != 0;
  if (weighed) {
    for (int n = 1; n <= numNodes; ++n)
      for (ReaVec& fk : bgm_) fk(unsigned(n)) /= vars_[Dens](unsigned(n)) * Gravity;
  } else if (bodyMeshes_.count > 0) {
    OLVU_WARNING(1, "Gravity is null: the sink and trim data of the bodies is not written.");
  }
  const double f =
      InternalUnits ? 1 / InternalUnits->GetTransFact(GeometryExternalUnits.empty() ? "[m]" : GeometryExternalUnits.c_str(), Length)
                    : 1.0;
  out << "Sink_and_Trim V 2.0\n";
  out << "UnitsFactor " << f << ";\n";
  if (weighed) {
    // The static pressure in the same units as the forces: the depth below the pressure origin.
    ReaVec ps = CalculateHydrostatic(FStatic);
    for (int n = 1; n <= numNodes; ++n) ps(unsigned(n)) /= vars_[Dens](unsigned(n)) * Gravity;
    int b = 0;
    while (BodyMesh* m = giveNextBody(b)) {
      out << "Body " << m->Name() << ";\n";
      m->CalculateSinkTrim(bgm_[0], bgm_[1], bgm_[2], ps, f, &out);
      out << "end body;\n";
    }
  }
  ReaVec v(3u, 0.0);
  for (unsigned k = 1; k <= 3 && k <= Signed_Velocity.length(); ++k) v(k) = Signed_Velocity(k);
  out << "ReferenceVelocity" << ";\n" << v(1) << "  " << v(2) << "  " << v(3) << ";\n" << "end referencevelocity" << ";\n";
  ReaVec o(3u, 0.0);
  for (unsigned k = 1; k <= 3 && k <= FStatic.length(); ++k) o(k) = FStatic(k) * f;
  out << "PressureOrigin" << ";\n" << o(1) << "  " << o(2) << "  " << o(3) << ";\n" << "end pressureorigin" << ";\n";
  const double A[3] = {minCorner(1) * f, minCorner(2) * f, minCorner(3) * f};
  const double B[3] = {maxCorner(1) * f, maxCorner(2) * f, maxCorner(3) * f};
  // Lower x first when the flow runs towards negative x, upper x first otherwise.
  const double* x0 = v(1) < 0 ? A : B;
  const double* x1 = v(1) < 0 ? B : A;
  const double corners[8][3] = {{x0[0], A[1], A[2]}, {x0[0], B[1], A[2]}, {x1[0], B[1], A[2]}, {x1[0], A[1], A[2]},
                                {x0[0], A[1], B[2]}, {x0[0], B[1], B[2]}, {x1[0], B[1], B[2]}, {x1[0], A[1], B[2]}};
  out << "VolumeData" << ";\n";
  for (const auto& c : corners) out << c[0] << "  " << c[1] << "  " << c[2] << ";\n";
  out << "end volumedata" << ";\n";
  int i = 0;
  while (Mesh* m = freeMeshes_.next(i)) {
    out << "Frees " << m->Name() << ";\n";
    static_cast<FreeSMesh*>(m)->WritePoints(&out, f);
    out << "end frees;\n";
  }
}
