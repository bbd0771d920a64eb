// The fluid domain's own blocks of the result file: initial condition data, derived fields,
// turbulence fields, customised results and the user integrals.
#include <cmath>
#include <string>

#include "domain/fluiddomain.h"
#include "domain/resultblock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "input/units.h"
#include "solvers/sparsematrix.h"

namespace {

bool Selected(int entry) { return WriteResultsData.length() >= unsigned(entry) && WriteResultsData(unsigned(entry)) != 0; }

}  // namespace

template <class F>
void FluidDomain::EachDomainNode(F f) {
  const IntVec& map = globalToLocal_;
  for (unsigned p = 1; p <= map.length(); ++p)
    if (const int j = map(p); j > 0) f(int(p), j);
}

void FluidDomain::ScalarBlock(std::ostream& out, const char* name, const char* label, const ReaVec& v, double factor) {
  ResultBlock b(out, name, label, OutPut_Time, ResultKind::Scalar);
  EachDomainNode([&](int p, int j) { b.Write(p, factor * v(unsigned(j))); });
}

void FluidDomain::DirectionBlock(std::ostream& out, const char* name, const char* components, Plex<ReaVec>& table) {
  ResultBlock b(out, name, "INITIAL DATA", OutPut_Time, ResultKind::Vector, components);
  EachDomainNode([&](int p, int j) {
    if (table.free(j)) return;
    const ReaVec& d = *table.get_at(j);
    b.Write(p, d(1), d(2), d(3));
  });
}

void FluidDomain::OutputInitialData(std::ostream& out) {
  if (!Selected(1)) return;
  if (vars_[WallDist].length()) ScalarBlock(out, "DISTANCE", "INITIAL DATA", vars_[WallDist], 1.0);
  const BitVec& line = conds_[LineVelNodes];
  if (line.length() && !line.null()) {
    {
      ResultBlock b(out, "FIX_LINE_VEL", "INITIAL DATA", OutPut_Time, ResultKind::Scalar);
      EachDomainNode([&](int p, int j) { b.Write(p, double(line(unsigned(j)))); });
    }
    DirectionBlock(out, "LINE_VELOCITY", "\"Lx\",\"Ly\",\"Lz\",\"|L|\"", velocityLine_);
  }
  const bool remove = conds_[RemoveCondNodes].length() && !conds_[RemoveCondNodes].null();
  const bool delt = conds_[DeltNodes].length() && !conds_[DeltNodes].null();
  if (remove || delt) {
    ResultBlock b(out, "REMOVE_CONDITION", "INITIAL DATA", OutPut_Time, ResultKind::Scalar);
    EachDomainNode([&](int p, int j) {
      const int k = int(Marked(RemoveCondNodes, j)) + int(Marked(DeltNodes, j));
      if (k) b.Write(p, double(k));
    });
  }
  if (normals_.count > 0 && normals_.high > 0)
    DirectionBlock(out, "NORMAL_VECTOR", "\"Nx\",\"Ny\",\"Nz\",\"|N|\"", normals_);
  if (fixedGradient_.count > 0 && fixedGradient_.high > 0)
    DirectionBlock(out, "NULL_GRADIENT_VECTOR", "\"Sx\",\"Sy\",\"Sz\",\"|S|\"", fixedGradient_);
}

void FluidDomain::OutputResults(std::ostream& out) {
  ReaVec& speed = Nodal(work_.speed);
  const ReaVec& beta = vars_[Beta];
  if (Selected(9) && beta.length()) ScalarBlock(out, "WAVE_ELEVATION", "KORIB", beta, OutputFactor(Length));
  if (Selected(10) && beta.length()) {
    const double f = OutputFactor(Length);
    ResultBlock b(out, "WAVE_VECTOR", "KORIB", OutPut_Time, ResultKind::Vector, "\"Bx\",\"By\",\"Bz\",\"|B|\"");
    EachDomainNode([&](int p, int j) {
      if (!Marked(FreeSurfNodes, j)) return;
      // The vertical axis is y in two dimensions, z in three.
      const double e = f * beta(unsigned(j));
      if (Dimension_Olvu == 2) b.Write(p, 0, e, 0);
      else b.Write(p, 0, 0, e);
    });
  }
  if (Selected(11) && Solves(PPseudo)) ScalarBlock(out, "FLUID_TYPE", "TIRVANE", vars_[Pseudo], 1.0);
  if (Selected(12) && vars_[EnergyV].length())
    ScalarBlock(out, "ENERGY", "OMBRALE", vars_[EnergyV], OutputFactor(Energy_per_Mass));
  if (Selected(15) && vars_[Compress].length())
    ScalarBlock(out, "DENSITY", "QUELMA", vars_[Compress], OutputFactor(Compressibility));
  if (Selected(16) && sys_[2]) {
    ReaVec div(unsigned(numNodes), 0.0);
    sys_[2]->mult(vars_[VelX].GivePointer(), div.GivePointer());
    sys_[3]->add_mult(vars_[VelY].GivePointer(), div.GivePointer());
    sys_[4]->add_mult(vars_[VelZ].GivePointer(), div.GivePointer());
    div.product(invLumped_);
    ScalarBlock(out, "DIVERGENCE", "QUELMA", div, 1.0 / OutputFactor(Time));
  }
  if (Selected(17)) ScalarBlock(out, "TAU_PARAMENTER", "QUELMA", vars_[TauV], OutputFactor(Time));
  if (Selected(18) && vars_[WallDist].length()) ScalarBlock(out, "DISTANCE", "QUELMA", vars_[WallDist], 1.0);
  if (Selected(19) && vars_[TVisc].length()) {
    const double f = OutputFactor(KinematicViscosity) * OutputFactor(Density);
    ResultBlock b(out, "EDDY_VISCO", "QUELMA", OutPut_Time, ResultKind::Scalar);
    EachDomainNode([&](int p, int j) { b.Write(p, f * vars_[TVisc](unsigned(j)) * vars_[Dens](unsigned(j))); });
  }
  if (Selected(20) && vars_[KEnergy].length())
    ScalarBlock(out, "EDDY_ENERGY", "QUELMA", vars_[KEnergy], OutputFactor(Energy_per_Mass));
  if (Selected(21) && vars_[Epsilon].length())
    ScalarBlock(out, "EPSILON", "QUELMA", vars_[Epsilon], OutputFactor(Eddy_Epsilon));
  if (Selected(22) && vars_[Omega].length()) ScalarBlock(out, "OMEGA", "QUELMA", vars_[Omega], OutputFactor(Eddy_Omega));
  if (Selected(23) && vars_[KTau].length() && vars_[KEnergy].length()) {
    const double ft = OutputFactor(Eddy_Kt), fk = OutputFactor(Energy_per_Mass);
    ResultBlock b(out, "KTAU", "QUELMA", OutPut_Time, ResultKind::Scalar);
    EachDomainNode([&](int p, int j) { b.Write(p, ft * vars_[KTau](unsigned(j)) / (fk * vars_[KEnergy](unsigned(j)))); });
  }
  speed.norm(vars_[VelX], vars_[VelY], vars_[VelZ]);
  if (Selected(25) && vars_[WallFactor].length()) {
    const double f = OutputFactor(Pressure);
    ResultBlock b(out, "WALL_LAW_TRACTION", "QUELMA", OutPut_Time, ResultKind::Scalar);
    EachDomainNode([&](int p, int j) {
      const unsigned i = unsigned(j);
      b.Write(p, f * vars_[Dens](i) * vars_[WallFactor](i) * speed(i));
    });
  }
  if (Selected(26) && sys_[2]) {
    ReaVec computed;
    const bool kept = vars_[Vorticity].length() > 0;
    if (!kept) computed.resize(unsigned(numNodes), 0.0), CalcVorticity(computed);
    const ReaVec& w = kept ? vars_[Vorticity] : computed;
    ScalarBlock(out, "VORTICITY", "QUELMA", w, 1.0 / OutputFactor(Time));
  }
  if (Selected(24) && normals_.high > 0 && sys_[2]) {
    ReaVec g[3];
    for (int k = 0; k < 3; ++k) {
      g[k].resize(unsigned(numNodes));
      sys_[2 + k]->mult(speed.GivePointer(), g[k].GivePointer());
      g[k].product(invLumped_);
    }
    ResultBlock b(out, "d|U|_dn", "QUELMA", OutPut_Time, ResultKind::Scalar);
    EachDomainNode([&](int p, int j) {
      const unsigned i = unsigned(j);
      double v = 0;
      if (!normals_.free(j)) {
        const ReaVec& n = *normals_.get_at(j);
        v = g[0](i) * n(1) + g[1](i) * n(2) + g[2](i) * n(3);
      }
      b.Write(p, v);
    });
  }
  for (int k = 1; k <= 3; ++k) {
    if (!Selected(30 + k) || !(OutPut_Time > 0) || customRes_.free(k)) continue;
    FluidFunction* f = customRes_.get_at(k);
    const std::string name = std::string("Fluid_") + (customNames_.free(k) ? "" : customNames_.get_at(k));
    f->bind();
    ResultBlock b(out, name.c_str(), "PELKORAD", OutPut_Time, ResultKind::Scalar);
    EachDomainNode([&](int p, int j) { b.Write(p, f->at(j)); });
  }
  for (int k = 1; k <= 3; ++k) {
    if (customInt_.free(k)) continue;
    FluidFunction* f = customInt_.get_at(k);
    if (f->isNull()) continue;
    f->bind();
    double sum = 0;
    for (int j = 1; j <= numNodes; ++j) sum += f->at(j) * lumped_(unsigned(j));
    OLVU_NOTICE(name_ << " : User defined Integral#" << k << " = " << sum);
  }
}
