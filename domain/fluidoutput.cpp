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

// The fluid domain's result blocks, written to one stream: one line per problem node of the
// domain, in the order of the problem-wide numbers.
class DomainBlocks {
 public:
  DomainBlocks(FluidDomain& d, std::ostream& out) : d_(d), out_(out) {}

  // Calls f(problem number, domain number) for every domain node in problem-number order.
  template <class F>
  void EachNode(F f) const {
    const IntVec& map = d_.GlobalToLocal();
    for (unsigned p = 1; p <= map.length(); ++p)
      if (const int j = map(p); j > 0) f(int(p), j);
  }

  // A scalar block of v (times factor).
  void Scalar(const char* name, const char* label, const ReaVec& v, double factor) const {
    ResultBlock b(out_, name, label, OutPut_Time, ResultKind::Scalar);
    EachNode([&](int p, int j) { b.Write(p, factor * v(unsigned(j))); });
  }

  // An initial-data vector block of the directions in table (only nodes with an entry).
  void Directions(const char* name, const char* components, const Plex<ReaVec>& table) const {
    ResultBlock b(out_, name, "INITIAL DATA", OutPut_Time, ResultKind::Vector, components);
    EachNode([&](int p, int j) {
      if (table.free(j)) return;
      const ReaVec& d = *table.get_at(j);
      b.Write(p, d(1), d(2), d(3));
    });
  }

  // Entries 9 to 18: the free surface's elevation, the fluid type, the energy, the density, the
  // divergence, the stabilisation parameter and the wall distance.
  void SurfaceAndFields() const {
    const ReaVec& beta = d_.Var(Beta);
    if (Selected(9) && beta.length()) Scalar("WAVE_ELEVATION", "KORIB", beta, OutputFactor(Length));
    if (Selected(10) && beta.length()) {
      const double f = OutputFactor(Length);
      ResultBlock b(out_, "WAVE_VECTOR", "KORIB", OutPut_Time, ResultKind::Vector, "\"Bx\",\"By\",\"Bz\",\"|B|\"");
      EachNode([&](int p, int j) {
        if (!d_.Marked(FreeSurfNodes, j)) return;
        // The vertical axis is y in two dimensions, z in three.
        const double e = f * beta(unsigned(j));
        if (Dimension_Olvu == 2) b.Write(p, 0, e, 0);
        else b.Write(p, 0, 0, e);
      });
    }
    if (Selected(11) && d_.Solves(PPseudo)) Scalar("FLUID_TYPE", "TIRVANE", d_.Var(Pseudo), 1.0);
    if (Selected(12) && d_.Var(EnergyV).length())
      Scalar("ENERGY", "OMBRALE", d_.Var(EnergyV), OutputFactor(Energy_per_Mass));
    if (Selected(15) && d_.Var(Compress).length())
      Scalar("DENSITY", "QUELMA", d_.Var(Compress), OutputFactor(Compressibility));
    if (Selected(16) && d_.SystemMatrix(2)) {
      ReaVec div(unsigned(d_.numNodes), 0.0);
      d_.SystemMatrix(2)->mult(d_.Var(VelX).GivePointer(), div.GivePointer());
      d_.SystemMatrix(3)->add_mult(d_.Var(VelY).GivePointer(), div.GivePointer());
      d_.SystemMatrix(4)->add_mult(d_.Var(VelZ).GivePointer(), div.GivePointer());
      div.product(d_.InvLumpedMass());
      Scalar("DIVERGENCE", "QUELMA", div, 1.0 / OutputFactor(Time));
    }
    if (Selected(17)) Scalar("TAU_PARAMENTER", "QUELMA", d_.Var(TauV), OutputFactor(Time));
    if (Selected(18) && d_.Var(WallDist).length()) Scalar("DISTANCE", "QUELMA", d_.Var(WallDist), 1.0);
  }

  // Entries 19 to 23: the turbulence fields.
  void Turbulence() const {
    const ReaVec &nut = d_.Var(TVisc), &rho = d_.Var(Dens), &k = d_.Var(KEnergy), &ktau = d_.Var(KTau);
    if (Selected(19) && nut.length()) {
      const double f = OutputFactor(KinematicViscosity) * OutputFactor(Density);
      ResultBlock b(out_, "EDDY_VISCO", "QUELMA", OutPut_Time, ResultKind::Scalar);
      EachNode([&](int p, int j) { b.Write(p, f * nut(unsigned(j)) * rho(unsigned(j))); });
    }
    if (Selected(20) && k.length()) Scalar("EDDY_ENERGY", "QUELMA", k, OutputFactor(Energy_per_Mass));
    if (Selected(21) && d_.Var(Epsilon).length())
      Scalar("EPSILON", "QUELMA", d_.Var(Epsilon), OutputFactor(Eddy_Epsilon));
    if (Selected(22) && d_.Var(Omega).length()) Scalar("OMEGA", "QUELMA", d_.Var(Omega), OutputFactor(Eddy_Omega));
    if (Selected(23) && ktau.length() && k.length()) {
      const double ft = OutputFactor(Eddy_Kt), fk = OutputFactor(Energy_per_Mass);
      ResultBlock b(out_, "KTAU", "QUELMA", OutPut_Time, ResultKind::Scalar);
      EachNode([&](int p, int j) { b.Write(p, ft * ktau(unsigned(j)) / (fk * k(unsigned(j)))); });
    }
  }

  // Entries 25, 26 and 24, in that order: the wall-law traction and the normal derivative of the
  // speed (both from `speed`), and the vorticity.
  void OfTheSpeed(const ReaVec& speed) const {
    const int n = d_.numNodes;
    if (Selected(25) && d_.Var(WallFactor).length()) {
      const double f = OutputFactor(Pressure);
      const ReaVec &rho = d_.Var(Dens), &cw = d_.Var(WallFactor);
      ResultBlock b(out_, "WALL_LAW_TRACTION", "QUELMA", OutPut_Time, ResultKind::Scalar);
      EachNode([&](int p, int j) {
        const unsigned i = unsigned(j);
        b.Write(p, f * rho(i) * cw(i) * speed(i));
      });
    }
    if (Selected(26) && d_.SystemMatrix(2)) {
      ReaVec computed;
      const bool kept = d_.Var(Vorticity).length() > 0;
      if (!kept) computed.resize(unsigned(n), 0.0), d_.CalcVorticity(computed);
      Scalar("VORTICITY", "QUELMA", kept ? d_.Var(Vorticity) : computed, 1.0 / OutputFactor(Time));
    }
    const Plex<ReaVec>& normals = *d_.giveNormalPlex();
    if (Selected(24) && normals.high > 0 && d_.SystemMatrix(2)) {
      ReaVec g[3];
      for (int k = 0; k < 3; ++k) {
        g[k].resize(unsigned(n));
        d_.SystemMatrix(2 + k)->mult(speed.GivePointer(), g[k].GivePointer());
        g[k].product(d_.InvLumpedMass());
      }
      ResultBlock b(out_, "d|U|_dn", "QUELMA", OutPut_Time, ResultKind::Scalar);
      EachNode([&](int p, int j) {
        const unsigned i = unsigned(j);
        double v = 0;
        if (!normals.free(j)) {
          const ReaVec& nv = *normals.get_at(j);
          v = g[0](i) * nv(1) + g[1](i) * nv(2) + g[2](i) * nv(3);
        }
        b.Write(p, v);
      });
    }
  }

  // Entries 31 to 33: the customised results, once the time is past 0.
  void Customised() const {
    Plex<FluidFunction>& results = d_.CustomResults();
    const Plex<char>& names = d_.CustomResultNames();
    for (int k = 1; k <= 3; ++k) {
      if (!Selected(30 + k) || !(OutPut_Time > 0) || results.free(k)) continue;
      FluidFunction* f = results.get_at(k);
      const std::string name = std::string("Fluid_") + (names.free(k) ? "" : names.get_at(k));
      f->bind();
      ResultBlock b(out_, name.c_str(), "PELKORAD", OutPut_Time, ResultKind::Scalar);
      EachNode([&](int p, int j) { b.Write(p, f->at(j)); });
    }
  }

  // The notices of the user integrals: each function times the nodal volume, summed.
  void Integrals() const {
    Plex<FluidFunction>& integrals = d_.CustomIntegrals();
    const ReaVec& lumped = d_.LumpedMass();
    for (int k = 1; k <= 3; ++k) {
      if (integrals.free(k)) continue;
      FluidFunction* f = integrals.get_at(k);
      if (f->isNull()) continue;
      f->bind();
      double sum = 0;
      for (int j = 1; j <= d_.numNodes; ++j) sum += f->at(j) * lumped(unsigned(j));
      OLVU_NOTICE(d_.DomainName() << " : User defined Integral#" << k << " = " << sum);
    }
  }

 private:
  FluidDomain& d_;
  std::ostream& out_;
};

}  // namespace

void FluidDomain::OutputInitialData(std::ostream& out) {
  if (!Selected(1)) return;
  const DomainBlocks blocks(*this, out);
  if (vars_[WallDist].length()) blocks.Scalar("DISTANCE", "INITIAL DATA", vars_[WallDist], 1.0);
  const BitVec& line = conds_[LineVelNodes];
  if (line.length() && !line.null()) {
    {
      ResultBlock b(out, "FIX_LINE_VEL", "INITIAL DATA", OutPut_Time, ResultKind::Scalar);
      blocks.EachNode([&](int p, int j) { b.Write(p, double(line(unsigned(j)))); });
    }
    blocks.Directions("LINE_VELOCITY", "\"Lx\",\"Ly\",\"Lz\",\"|L|\"", velocityLine_);
  }
  const bool remove = conds_[RemoveCondNodes].length() && !conds_[RemoveCondNodes].null();
  const bool delt = conds_[DeltNodes].length() && !conds_[DeltNodes].null();
  if (remove || delt) {
    ResultBlock b(out, "REMOVE_CONDITION", "INITIAL DATA", OutPut_Time, ResultKind::Scalar);
    blocks.EachNode([&](int p, int j) {
      const int k = int(Marked(RemoveCondNodes, j)) + int(Marked(DeltNodes, j));
      if (k) b.Write(p, double(k));
    });
  }
  if (normals_.count > 0 && normals_.high > 0)
    blocks.Directions("NORMAL_VECTOR", "\"Nx\",\"Ny\",\"Nz\",\"|N|\"", normals_);
  if (fixedGradient_.count > 0 && fixedGradient_.high > 0)
    blocks.Directions("NULL_GRADIENT_VECTOR", "\"Sx\",\"Sy\",\"Sz\",\"|S|\"", fixedGradient_);
}

void FluidDomain::OutputResults(std::ostream& out) {
  ReaVec& speed = Nodal(work_.speed);
  const DomainBlocks blocks(*this, out);
  blocks.SurfaceAndFields();
  blocks.Turbulence();
  speed.norm(vars_[VelX], vars_[VelY], vars_[VelZ]);
  blocks.OfTheSpeed(speed);
  blocks.Customised();
  blocks.Integrals();
}
