// The problem-wide result blocks: fields of the fluid and the solid domain written once per
// problem node, the fluid value first where a node belongs to both.
#include <vector>

#include "domain/fluiddomain.h"
#include "domain/phiproblem.h"
#include "domain/resultblock.h"
#include "driver/totaldomain.h"
#include "foundation/declarations.h"
#include "input/units.h"
#include "solvers/sparsematrix.h"

namespace {

// Raw values of a domain's nodal field, or null when the domain or the field is absent or empty.
const double* Field(FluidDomain* d, const char* name) {
  if (!d) return nullptr;
  ReaVec* v = d->GiveVector(name);
  return v && v->length() > 0 ? v->GivePointer() : nullptr;
}


// y = G x for the gradient matrix of direction k (1, 2, 3), zero when the domain has none.
void Gradient(FluidDomain* d, int k, const double* x, std::vector<double>& y) {
  y.assign(static_cast<std::size_t>(d->numNodes), 0.0);
  if (SystemSparseMatrix* g = d->SystemMatrix(1 + k)) g->mult(x, y.data());
}

// The domain's inverse lumped mass, or null until its matrices are assembled.
const double* InverseMass(FluidDomain* d) {
  ReaVec& m = d->InvLumpedMass();
  return m.length() == static_cast<unsigned>(d->numNodes) && d->numNodes > 0 ? m.GivePointer() : nullptr;
}

// Visits every problem node i with the domain that gives its value (the fluid domain when the node
// is in it and `fluid` is set, else the solid domain likewise) and its 0-based local number.
template <class Visit>
void EachNode(bool fluid, bool solid, Visit visit) {
  const unsigned n = GlobalToFluid.length();
  const bool anySolid = solid && GlobalToSolid.length() == n;
  for (unsigned i = 1; i <= n; ++i) {
    const int jf = GlobalToFluid(i);
    if (fluid && jf) {
      visit(static_cast<int>(i), 0, jf - 1);
      continue;
    }
    const int js = anySolid ? GlobalToSolid(i) : 0;
    if (js) visit(static_cast<int>(i), 1, js - 1);
  }
}

// Gradient of a nodal field of each domain times the inverse lumped mass: the three components
// per domain, 0-based by local node.
struct DomainGradient {
  std::vector<double> g[2][3];
  bool has[2] = {false, false};
  void Build(FluidDomain* d, int which, const double* u) {
    const double* m = d && u ? InverseMass(d) : nullptr;
    if (!m) return;
    has[which] = true;
    for (int k = 0; k < 3; ++k) {
      Gradient(d, k + 1, u, g[which][k]);
      for (std::size_t j = 0; j < g[which][k].size(); ++j) g[which][k][j] *= m[j];
    }
  }
};

// Writes the vector block `name` of the gradient of u[w] in each domain w, times f.
void WriteGradient(std::ostream& res, FluidDomain* const dom[2], const double* const u[2], const char* name,
                   const char* label, const char* components, double f) {
  DomainGradient g;
  for (int w = 0; w < 2; ++w) g.Build(dom[w], w, u[w]);
  ResultBlock b(res, name, label, OutPut_Time, ResultKind::Vector, components);
  EachNode(g.has[0], g.has[1], [&](int i, int w, int j) {
    const auto k = static_cast<std::size_t>(j);
    b.Write(i, f * g.g[w][0][k], f * g.g[w][1][k], f * g.g[w][2][k]);
  });
}

}  // namespace

void TotalDomain::OutputResults(std::ostream& res) {
  FluidDomain* dom[2] = {fluid_, solid_};
  const bool velocityDomain = fluid_ || Solves(solid_, PVelocity);

  if (WriteResultsData(2) && velocityDomain) {
    const double f = OutputFactor(Velocity);
    const double* v[2][3];
    for (int w = 0; w < 2; ++w) {
      v[w][0] = Field(dom[w], "Vx");
      v[w][1] = Field(dom[w], "Vy");
      v[w][2] = Field(dom[w], "Vz");
    }
    ResultBlock b(res, "VELOCITY", "QUELMA", OutPut_Time, ResultKind::Vector, "\"Vx\",\"Vy\",\"Vz\",\"|V|\"");
    EachNode(v[0][0] && v[0][1] && v[0][2], v[1][0] && v[1][1] && v[1][2], [&](int i, int w, int j) {
      b.Write(i, f * v[w][0][j], f * v[w][1][j], f * v[w][2][j]);
    });
  }

  if (WriteResultsData(3) && velocityDomain) WriteStress(res);

  WriteScalarField(res, "DENSITY", "QUELMA", "Dn", Density, 13);
  WriteScalarField(res, "VISCOSITY", "QUELMA", "Vs", Viscosity, 14);
  if (pressure_ && (WriteResultsData(4) || WriteResultsData(5)) && (Solves(fluid_, PPressure) || Solves(solid_, PPressure)))
    WritePressure(res);
  if (temperature_ && (WriteResultsData(6) || WriteResultsData(7)) && (Solves(fluid_, PTemperature) || Solves(solid_, PTemperature)))
    WriteTemperature(res);
  if (meshDeformation_ && WriteResultsData(37) && (Solves(fluid_, PMeshDeform) || Solves(solid_, PMeshDeform)))
    WriteMeshDeformation(res);
  if (phi_) WriteFieldProblems(res, false);
  if (species_) WriteFieldProblems(res, true);
}

void TotalDomain::WriteFieldProblems(std::ostream& res, bool species) {
  // Problem k of the fluid (when it solves that kind) or else of the solid, until neither has one.
  const FluidFlag flag = species ? PSpecies : PPhi;
  auto problem = [&](FluidDomain* d, int k) -> PhiProblem* {
    if (!Solves(d, flag)) return nullptr;
    if (species) return k > d->SpcProblems().high || d->SpcProblems().free(k) ? nullptr : d->SpcProblems().get_at(k);
    return k > d->PhiProblems().high || d->PhiProblems().free(k) ? nullptr : d->PhiProblems().get_at(k);
  };
  for (int k = 1;; ++k) {
    PhiProblem* p[2] = {problem(fluid_, k), problem(solid_, k)};
    if (!p[0] && !p[1]) return;
    const double* v[2] = {nullptr, nullptr};
    for (int w = 0; w < 2; ++w)
      if (p[w] && p[w]->Phi_t().length() > 0) v[w] = p[w]->Phi_t().GivePointer();
    ResultBlock b(res, (p[0] ? p[0] : p[1])->Name(), species ? "MOLVEN" : "PELKORAD", OutPut_Time,
                  ResultKind::Scalar, nullptr);
    EachNode(v[0] != nullptr, v[1] != nullptr, [&](int i, int w, int j) { b.Write(i, v[w][j]); });
  }
}

void TotalDomain::WriteStress(std::ostream& res) {
  FluidDomain* dom[2] = {fluid_, solid_};
  const double f = OutputFactor(Tension);
  // Per domain: the nine products G_k v_c (k direction, c component) and mu = f Vs / m.
  std::vector<double> gv[2][3][3];
  const double* mu[2] = {nullptr, nullptr};
  const double* inv[2] = {nullptr, nullptr};
  for (int w = 0; w < 2; ++w) {
    FluidDomain* d = dom[w];
    const double* v[3] = {Field(d, "Vx"), Field(d, "Vy"), Field(d, "Vz")};
    mu[w] = Field(d, "Vs");
    inv[w] = d ? InverseMass(d) : nullptr;
    if (!v[0] || !v[1] || !v[2] || !mu[w] || !inv[w]) {
      mu[w] = nullptr;
      continue;
    }
    for (int k = 0; k < 3; ++k)
      for (int c = 0; c < 3; ++c) Gradient(d, k + 1, v[c], gv[w][k][c]);
  }
  ResultBlock b(res, "VELOCITY_STRESS_TENSOR", "QUELMA", OutPut_Time, ResultKind::Matrix,
                "\"Txx\",\"Tyy\",\"Tzz\",\"Txy\",\"Tyz\",\"Txz\"");
  EachNode(mu[0] != nullptr, mu[1] != nullptr, [&](int i, int w, int j) {
    const double m = f * mu[w][j] * inv[w][j];
    auto g = [&](int k, int c) { return gv[w][k][c][static_cast<std::size_t>(j)]; };
    const double t[6] = {2 * m * g(0, 0),           2 * m * g(1, 1),           2 * m * g(2, 2),
                         m * (g(1, 0) + g(0, 1)), m * (g(2, 1) + g(1, 2)), m * (g(2, 0) + g(0, 2))};
    b.Write(i, t, 6);
  });
}

void TotalDomain::WriteScalarField(std::ostream& res, const char* name, const char* label, const char* field,
                                   Magnitude m, int entry) {
  if (!WriteResultsData(static_cast<unsigned>(entry))) return;
  const double f = OutputFactor(m);
  const double* v[2] = {Field(fluid_, field), Field(solid_, field)};
  ResultBlock b(res, name, label, OutPut_Time, ResultKind::Scalar);
  EachNode(v[0] != nullptr, v[1] != nullptr, [&](int i, int w, int j) { b.Write(i, f * v[w][j]); });
}

void TotalDomain::WritePressure(std::ostream& res) {
  FluidDomain* dom[2] = {fluid_, solid_};
  const char* density[2] = {"Dn", "SDn"};
  // P = p rho of each domain that solves pressure.
  std::vector<double> p[2];
  for (int w = 0; w < 2; ++w) {
    if (!Solves(dom[w], PPressure)) continue;
    const double* pr = Field(dom[w], "Pr");
    const double* rho = Field(dom[w], density[w]);
    if (!pr || !rho) continue;
    p[w].resize(static_cast<std::size_t>(dom[w]->numNodes));
    for (std::size_t j = 0; j < p[w].size(); ++j) p[w][j] = pr[j] * rho[j];
  }
  const bool has[2] = {!p[0].empty(), !p[1].empty()};
  if (WriteResultsData(4)) {
    const double f = OutputFactor(Pressure);
    ResultBlock b(res, "PRESSURE", "QUELMA", OutPut_Time, ResultKind::Scalar);
    // Every node has a line here: a node outside the domains with pressure reads 0.
    const unsigned n = GlobalToFluid.length();
    const bool solidMap = GlobalToSolid.length() == n;
    for (unsigned i = 1; i <= n; ++i) {
      const int jf = GlobalToFluid(i);
      const int js = solidMap ? GlobalToSolid(i) : 0;
      double value = 0;
      if (has[0] && jf)
        value = f * p[0][static_cast<std::size_t>(jf - 1)];
      else if (has[1] && js)
        value = f * p[1][static_cast<std::size_t>(js - 1)];
      b.Write(static_cast<int>(i), value);
    }
  }
  if (WriteResultsData(5)) {
    const double* u[2] = {has[0] ? p[0].data() : nullptr, has[1] ? p[1].data() : nullptr};
    WriteGradient(res, dom, u, "PRESSURE_GRADIENT", "QUELMA", "\"DPx\",\"DPy\",\"DPz\",\"|DP|\"",
                  OutputFactor(ForcePerVolume));
  }
}

void TotalDomain::WriteTemperature(std::ostream& res) {
  FluidDomain* dom[2] = {fluid_, solid_};
  const double* t[2] = {nullptr, nullptr};
  for (int w = 0; w < 2; ++w)
    if (Solves(dom[w], PTemperature)) t[w] = Field(dom[w], "Tm");
  if (WriteResultsData(6)) {
    const double f = OutputFactor(Temperature);
    ResultBlock b(res, "TEMPERATURE", "DORVANTE", OutPut_Time, ResultKind::Scalar);
    EachNode(t[0] != nullptr, t[1] != nullptr, [&](int i, int w, int j) { b.Write(i, f * t[w][j]); });
  }
  if (WriteResultsData(7))
    WriteGradient(res, dom, t, "TEMPERATURE_GRADIENT", "DORVANTE", "\"Qx\",\"Qy\",\"Qz\",\"|Q|\"",
                  OutputFactor(TemperatureGradient));
}

void TotalDomain::WriteMeshDeformation(std::ostream& res) {
  FluidDomain* dom[2] = {fluid_, solid_};
  const double f = 1 / InternalUnits->GetTransFact(GeometryExternalUnits.c_str(), Length);
  const double* m[2][3];
  bool has[2];
  for (int w = 0; w < 2; ++w) {
    const bool solves = Solves(dom[w], PMeshDeform);
    m[w][0] = solves ? Field(dom[w], "Mx_") : nullptr;
    m[w][1] = solves ? Field(dom[w], "My_") : nullptr;
    m[w][2] = solves ? Field(dom[w], "Mz_") : nullptr;
    has[w] = m[w][0] && m[w][1] && m[w][2];
  }
  ResultBlock b(res, "MESH DEFORMATION", "VINTARO", OutPut_Time, ResultKind::Vector);
  EachNode(has[0], has[1], [&](int i, int w, int j) {
    b.Write(i, f * m[w][0][j], f * m[w][1][j], f * m[w][2][j]);
  });
}
