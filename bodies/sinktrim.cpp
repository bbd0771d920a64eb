// Floating bodies: the static and dynamic split of the loads on a body with the sinkage and trim
// they cause, and the mass of a body from the hydrostatic pressure on its wetted surface.
#include <cmath>
#include <iostream>
#include <vector>

#include "bodies/bodymesh.h"
#include "bodies/freesmesh.h"
#include "domain/fluiddomain.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/units.h"
#include "mesh/elem.h"
#include "mesh/utilities.h"

namespace {

// Mean of v over the element's nodes numbered in `slot`.
double NodeMean(const Elem& e, const ReaVec& v, int slot) {
  double s = 0;
  for (int k = 1; k <= e.Nnode(); ++k) s += v(unsigned(e.node(k)->num[slot]));
  return s / e.Nnode();
}

void AddCross(const double* f, const double* r, double* m) {
  m[0] += f[1] * r[2] - f[2] * r[1], m[1] += f[2] * r[0] - f[0] * r[2], m[2] += f[0] * r[1] - f[1] * r[0];
}

}  // namespace

void BodyMesh::CalculateSinkTrim(const ReaVec& tx, const ReaVec& ty, const ReaVec& tz, const ReaVec& ps, double,
                                 std::ostream* os) {
  double Fs[3] = {0, 0, 0}, Ms[3] = {0, 0, 0}, Fd[3] = {0, 0, 0}, Md[3] = {0, 0, 0};
  const double G[3] = {cog_(1), cog_(2), cog_(3)};
  ReaVec A(3u, 0.0);
  int i = 0;
  while (Elem* e = elems_->next(i)) {
    e->ProjectedArea(&A);
    const int corners = e->MinNnode();
    double r[3] = {0, 0, 0};
    for (int k = 1; k <= corners; ++k)
      for (int c = 0; c < 3; ++c) r[c] += (*e->node(k))(unsigned(c + 1)) / corners;
    for (int c = 0; c < 3; ++c) r[c] -= G[c];
    const double p = NodeMean(*e, ps, slot_);
    const double fs[3] = {p * A(1), p * A(2), p * A(3)};
    const double w = A.norm();
    const double fd[3] = {w * NodeMean(*e, tx, slot_), w * NodeMean(*e, ty, slot_), w * NodeMean(*e, tz, slot_)};
    for (int c = 0; c < 3; ++c) Fs[c] += fs[c], Fd[c] += fd[c];
    AddCross(fs, r, Ms);
    AddCross(fd, r, Md);
  }
  const double F[3] = {Fd[0], Fd[1], Fd[2]}, M[3] = {Md[0], Md[1], Md[2]};
  for (int c = 0; c < 3; ++c) Fd[c] -= Fs[c], Md[c] -= Ms[c];
  ReaVec W(3u, 0.0);
  CalculataShipSATData(elems_.get(), &cog_, &W);
  displacement_ = 0.0;
  rotation_ = 0.0;
  // Without a waterplane the body has no sink or trim stiffness: it is left where it is.
  if (W(1) != 0) displacement_(3) = Fd[2] / W(1);
  if (W(3) != 0) rotation_(2) = (Md[1] / W(3)) * 180 / 3.141592653589793;
  auto vec = [](const double* a) {
    ReaVec v(3u, 0.0);
    for (unsigned c = 1; c <= 3; ++c) v(c) = a[c - 1];
    return v;
  };
  std::cout << "Dinamico " << vec(Fd) << vec(Md) << std::endl;
  std::cout << "Est\xe1tico " << vec(Fs) << vec(Ms) << std::endl;
  std::ostream& o = *os;
  o << "Forces  " << F[0] << ", " << F[1] << ", " << F[2] << ";\n";
  o << "Moments  " << M[0] << ", " << M[1] << ", " << M[2] << ";\n";
  o << "CdeG  " << G[0] << ", " << G[1] << ", " << G[2] << ";\n";
  o << "Inertia  " << W(2) << ", " << W(3) << ", " << 0 << ";\n";
  o << "PArea  " << 0 << ", " << 0 << ", " << W(1) << ";\n";
  o << "Displacement  " << Fs[2] << ";\n";
}

double BodyMesh::CalculateMass() {
  const ReaVec& p = domain_->CalculateHydrostatic(FStatic);
  double g[3] = {0, 0, 0};
  for (unsigned c = 1; c <= 3 && c <= GravVec.length(); ++c) g[c - 1] = GravVec(c);
  const double g2 = g[0] * g[0] + g[1] * g[1] + g[2] * g[2];
  double m = 0;
  ReaVec A(3u, 0.0);
  int i = 0;
  while (Elem* e = elems_->next(i)) {
    const double pm = NodeMean(*e, p, slot_);
    if (pm <= 1e-14 || g2 == 0) continue;
    e->ProjectedArea(&A);
    m += pm * (A(1) * g[0] + A(2) * g[1] + A(3) * g[2]) / g2;
  }
  std::cout << "Mass of " << Name() << " = " << m << std::endl;
  if (m < 1e-14) OLVU_FATAL("Error found calculating body " << Name() << " mass.\n" << "Please insert correct mass value.\n");
  return m;
}

void FluidDomain::OutputSinkandTrim(std::ostream& out) {
  if (!Solves(PVelocity) || Dimension_Olvu == 2) return;
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
