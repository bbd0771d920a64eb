#include "bodies/bodymesh.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <string>

#include "domain/fluiddomain.h"
#include "domain/resultblock.h"
#include "flow/lawofwall.h"
#include "flow/turbulence.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/threads.h"
#include "input/fluidfunction.h"
#include "input/function.h"
#include "input/input.h"
#include "input/line.h"
#include "mesh/elem.h"
#include "solvers/sparsematrix.h"

namespace {

// The wall types in the order their keywords are tested: the first one on the card decides.
struct WallKeyword {
  const char* word;
  int code;
};
constexpr WallKeyword kWallKeywords[] = {
    {"YplusWall", YplusWall},      {"DeltaWall", DeltaWall}, {"RoughWall", RoughWall},
    {"InvisWall", InviscidWall},   {"Cw_U2Wall", StressWall}, {"Scho_Wall", SchoenherrWall},
    {"ITTC_Wall", ITTCWall},       {"V_fixWall", VelocityFixWall}, {"None_Wall", NoneWall},
    {"OutFBound", OutflowWall},    {"FlowBound", FlowWall},  {"User_Wall", UserWall}};

constexpr double kPi = 3.141592653589793;

// The wall law of wall type `code` for the set `owner`, reading its keywords from the set's card;
// the types without a law of their own get the plain one.
std::unique_ptr<WallLaw> NewWallLaw(int code, Mesh* owner, Input* in) {
  switch (code) {
    case YplusWall: return std::make_unique<FixYplusWallLaw>(owner, in);
    case DeltaWall: return std::make_unique<FixDeltaWallLaw>(owner, in);
    case RoughWall: return std::make_unique<RoughWallLaw>(owner, in);
    case StressWall: return std::make_unique<StressWallLaw>(owner, in);
    case SchoenherrWall: return std::make_unique<SchoenherrWallLaw>(owner, in);
    case ITTCWall: return std::make_unique<ITTCWallLaw>(owner, in);
    default: return std::make_unique<WallLaw>(owner);
  }
}

}  // namespace

BodyMesh::BodyMesh(FluidDomain* d, int num, Input* in, int slot, int read)
    : FluxMesh(d, num, in, slot, 0), cog_(3u, 0.0), rotation_(3u, 0.0), displacement_(3u, 0.0) {
  for (ReaVec& f : force_) f.resize(3, 0.0);
  for (ReaVec& s : spare_) s.resize(3, 0.0);
  name_ = in->Exist("Name") ? std::string(in->GetWord("Name", nullptr)) : "BodyBoundary_" + std::to_string(num);

  // The first wall-type word in table order decides; the card's other ones are taken with it.
  const WallKeyword* type = nullptr;
  for (const WallKeyword& k : kWallKeywords)
    if (in->Exist(k.word) && !type) type = &k;
  if (!type) OLVU_FATAL("BodyMesh: Wall type not defined\n");
  wall_ = type->code;
  if (wall_ == UserWall) {
    userUt_.reset(in->GetFluidFunc("User_U_t", d, Magnitude(-1)));
    userKen_.reset(in->GetFluidFunc("User_Ken", d, Magnitude(-1)));
    userLen_.reset(in->GetFluidFunc("User_Len", d, Magnitude(-1)));
  } else {
    law_ = NewWallLaw(wall_, this, in);
    if (wall_ == FlowWall) {
      if (in->Exist("Pressure")) outPressure_ = in->GetRea("Pressure", Pressure);
      if (in->Exist("Flow")) outFlow_ = in->GetRea("Flow", Flow);
      if (in->Exist("Flow_R")) flowCoefficient_ = in->GetRea("Flow_R", Flow_Coefficient);
    }
  }

  const double sharp = in->Exist("Sharp_Angle") ? in->GetRea("Sharp_Angle", Angle) : 0.0;
  if (sharp > 0.785398163397 || sharp < 0) OLVU_FATAL("Wrong Sharp Angle definition in " << name_ << "\n");
  sharpAngle_ = std::cos(kPi - sharp);
  if (in->Exist("Line_Fix_Angle")) {
    autoLineFix_ = 1;
    const double a = in->GetRea("Line_Fix_Angle", Angle);
    if (a > 3.14159265358979 || a < 0) OLVU_FATAL("Wrong Fix Line Angle definition in " << name_ << "\n");
    lineAngle_ = std::cos(kPi - a);
  }
  if (in->Exist("SternC_Angle")) sternAngle_ = in->GetRea("SternC_Angle", Angle);
  if (in->Exist("Center_of_Gravity")) {
    const char* words[3] = {"GOX", "GOY", "GOZ"};
    for (int k = 0; k < 3; ++k)
      if (in->Exist(words[k])) {
        const std::string what = name_ + std::string(" Center_of_Gravity ") + words[k];
        cogFunc_[k].reset(in->GetFunc(words[k], Length, nullptr, what.c_str()));
        cog_(unsigned(k + 1)) = cogFunc_[k]->evaluate(0.0, 0.0, 0.0, 0);
        if (!std::isfinite(cog_(unsigned(k + 1))))
          RefuseBodyData(name_.c_str(), std::string("Center_of_Gravity ") + words[k]);
      }
  }
  if (in->Exist("Roughness")) roughness_ = in->GetRea("Roughness", Length);
  if (roughness_ < 1e-14) OLVU_FATAL(name_ << " Error: Wrong roughness data. It must be > 0.0.\n");
  if (in->Exist("Heat_Flux")) OLVU_FATAL("Old fashioned Olvu format data file found\n");
  if (read) ReadPropertyBlocks(in);
}

BodyMesh::~BodyMesh() = default;

void BodyMesh::ReadPropertyBlocks(Input* in) {
  // Every reader of the card (the set, the moving-body kinds, the wall law) has taken its words:
  // any other is a fault of the data, a misspelt keyword above all, which must not pass unnoticed.
  in->ClearLine();
  ReadFluxBlocks(in);
  in->ReadCard("PhysicalPropertiesFunctions");
  functions_->readFrom(in, "EndPhysicalPropertiesFunctions", name_.c_str());
  for (ReaVec& s : spare_) s = 0.0;
}

void BodyMesh::MarkNodes(BitVec& bits, int slot) {
  if (JustBody()) Mesh::MarkNodes(bits, slot);
}

void BodyMesh::initialiseMesh() {
  const bool first = !massMatrix_;
  BuildBoundaryMass();
  if (first) {
    const ReaVec& visc = domain_->Var(Visc);
    if (visc.length() && ViscousWall() && visc.max_abs() < 1e-14)
      OLVU_WARNING(0, "Viscous Wall defined in " << name_ << " will null viscosity");
  }
  std::cout << "Area/Length of " << name_ << " = " << massMatrix_->sum() << std::endl;
}

void BodyMesh::deleteDryElems() {
  // An element with a node outside the domain is no boundary of it (a face the set shares with
  // a solid, or one that only touches the fluid): it is dropped with its outside nodes.
  int i = 0;
  while (Elem* e = elems_->next(i)) {
    bool dry = false;
    for (int k = 1; k <= e->Nnode(); ++k) dry = dry || e->node(k)->num[slot_] == 0;
    if (!dry) continue;
    const std::unique_ptr<Elem> dropped(e);  // out of the table, no one else frees it
    elems_->remove_at(i);
    for (int k = 1; k <= e->Nnode(); ++k) {
      Node* nd = e->node(k);
      if (nd->num[slot_] == 0 && !nodes_->free(nd->num[0])) nodes_->remove_at(nd->num[0]);
    }
  }
}

void BodyMesh::StartNewStep() {
  if (!cogFunc_[0] || !cogFunc_[1] || !cogFunc_[2]) {
    cog_ = 0.0;
    return;
  }
  FollowCentreFunctions();
}

void BodyMesh::FollowCentreFunctions() {
  const char* words[3] = {"GOX", "GOY", "GOZ"};
  for (int k = 0; k < 3; ++k) {
    if (!cogFunc_[k]) continue;
    const double x = cogFunc_[k]->evaluate(Total_Time, Run_Time_Increment, Interval_Time, Current_Step);
    if (!std::isfinite(x)) RefuseBodyData(Name(), std::string("Center_of_Gravity ") + words[k]);
    cog_(unsigned(k + 1)) += cogFunc_[k]->dvalue();
  }
}

void RefuseBodyData(const char* set, const std::string& keyword) {
  OLVU_FATAL(set << " Error: Wrong " << keyword << " data\n");
}

void CheckBodyNumbers(Input* in, const char* set, const char* keyword) {
  const Word* w = in->GetLine()->Find(keyword);
  if (!w) return;
  bool good = w->nnumbers > 0;
  for (const Number* n = w->first; good && n; n = n->next) good = std::isfinite(n->value);
  if (!good) RefuseBodyData(set, keyword);
}

void BodyMesh::solveWallLaw(const ReaVec& u, const ReaVec& v, const ReaVec& w, const ReaVec& nu, ReaVec& a,
                            ReaVec& b) {
  if (!HasWallLaw() || wall_ == InviscidWall) return;
  const int user = wall_ == UserWall;
  if (!user) law_->Limits(2.5 * Max_Velocity, 1e-14);
  int i = 0;
  while (Node* nd = nodes_->next(i)) {
    const unsigned n = unsigned(Number(nd));
    const double U = std::sqrt(u(n) * u(n) + v(n) * v(n) + w(n) * w(n));
    if (user) {
      double t = userUt_->evaluate(int(n));
      if (t < 1e-14) t = 1e-14;
      a(n) = b(n) = t * t / (U + 1e-14);
      continue;
    }
    // The law's wall stress against the speed at the node ("OldLawOfTheWall" gives the same).
    const double t = nu(n) > 1e-14 ? law_->Solve(nu(n), U) : 0.0;
    a(n) = b(n) = law_->CalcStress(nu(n), t) / (U + 1e-14);
  }
}

void BodyMesh::turbulenceWallLaw(ReaVec& eps, ReaVec& k, ReaVec& omega, ReaVec& kt, ReaVec& nut,
                                 const ReaVec& ustar, const ReaVec& nu) {
  if (!JustBody()) return;
  const double C = 0.09, s = 0.3, kappa = 0.41;
  const BitVec& fixK = domain_->Cond(FixKEnergy);
  const BitVec& fixT = domain_->Cond(FixTurbVar);
  const double yplus = (wall_ == YplusWall || wall_ == ITTCWall) ? law_->Give_yplus() : 0.0;
  double y = 0;
  if (wall_ != YplusWall && wall_ != ITTCWall && wall_ != VelocityFixWall && wall_ != InviscidWall && wall_ != UserWall)
    y = std::max(law_->Give_y(), 1e-14);
  int i = 0;
  while (Node* nd = nodes_->next(i)) {
    const unsigned n = unsigned(Number(nd));
    double K, E, W, T, V;
    if (wall_ == YplusWall || wall_ == ITTCWall) {
      const double u = ustar(n), d = nu(n) + 1e-14, e = d * yplus * kappa;
      K = u * u / s + 1e-14, E = u * u * u * u / e + 1e-14, W = u * u / (d * yplus * s * kappa) + 1e-14;
      T = e / C + 1e-14, V = MinValue(11) + 1e-14;
    } else if (wall_ == VelocityFixWall) {
      const double d = nu(n) + 1e-14;
      double g[3];
      domain_->CalculateStresses(int(n), g[0], g[1], g[2]);
      const double q = std::sqrt(std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]));
      const double R = q * roughness_ / d + 1;
      const double F = R > 25 ? 100 / R : 2500 / (R * R);
      K = MinValue(6), E = std::min(MaxValue(7), q * q * q * q * s * F / d), W = std::min(MaxValue(8), q * q * F / d);
      T = MinValue(9), V = MinValue(11);
    } else if (wall_ == InviscidWall) {
      K = E = W = T = V = 1e-14;
    } else if (wall_ == UserWall) {
      K = std::max(userKen_->evaluate(int(n)), 1e-14);
      const double L = std::max(userLen_->evaluate(int(n)), 1e-14);
      E = EpsilonFromLength(K, L), W = OmegaFromLength(K, L), T = KTauFromLength(K, L);
      const double visc = std::fmax(nu(n), 1e-14);
      V = visc * SpalartAllmarasChi(L * std::sqrt(K) / visc);
    } else {
      const double u = ustar(n);
      K = u * u / s + 1e-14, E = u * u * u / (y * kappa) + 1e-14, W = u / (y * s * kappa) + 1e-14;
      T = u * y * kappa / C + 1e-14, V = MinValue(11) + 1e-14;
    }
    const bool freeK = !(fixK.length() >= n && fixK(n));
    const bool freeT = !(fixT.length() >= n && fixT(n));
    if (k.length() && freeK) k(n) = K;
    if (!freeT) continue;
    if (eps.length()) eps(n) = E;
    if (omega.length()) omega(n) = W;
    if (kt.length()) kt(n) = T;
    if (nut.length()) nut(n) = V;
  }
}

void BodyMesh::ReadWallDistance(ReaVec& y, const ReaVec& ustar, const ReaVec& nu) {
  if (!JustBody()) return;
  int i = 0;
  while (Node* nd = nodes_->next(i)) {
    const unsigned n = unsigned(Number(nd));
    if (wall_ == RoughWall || wall_ == DeltaWall || wall_ == StressWall)
      y(n) = law_->Give_y();
    else if (wall_ == YplusWall || wall_ == ITTCWall)
      // Without friction (fluid at rest) the node has no offset from the wall.
      y(n) = ustar(n) > 1e-14 ? law_->Give_yplus() * nu(n) / ustar(n) : 0.0;
    else
      y(n) = 0;
  }
}

void BodyMesh::ReadWallShearStress(ReaVec& tau, const ReaVec& ustar, const ReaVec& f, const ReaVec& tau0) {
  if (!JustBody()) return;
  int i = 0;
  while (Node* nd = nodes_->next(i)) {
    const unsigned n = unsigned(Number(nd));
    tau(n) = (wall_ == VelocityFixWall || wall_ == InviscidWall) ? tau0(n) : ustar(n) * ustar(n) * f(n);
  }
}

void BodyMesh::OutFlowBound(ReaVec& u, ReaVec& v, ReaVec& w) {
  if (wall_ != OutflowWall) return;
  Plex<ReaVec>& normals = *domain_->giveNormalPlex();
  int i = 0;
  while (Node* nd = nodes_->next(i)) {
    const unsigned n = unsigned(Number(nd));
    const ReaVec& N = *normals.get_at(int(n));
    const double x = u(n) * N(1) + v(n) * N(2) + w(n) * N(3);
    if (x <= 0) continue;
    u(n) -= x * N(1), v(n) -= x * N(2), w(n) -= x * N(3);
  }
}

void BodyMesh::RigidWallVelocities(const ReaVec& lin, const ReaVec& ang, ReaVec& u, ReaVec& v, ReaVec& w,
                                   std::vector<double>& vn, Plex<ReaVec>& normals) {
  if (wall_ <= NoneWall || wall_ == FlowWall) return;
  int i = 0;
  while (Node* nd = nodes_->next(i)) {
    const int j = Number(nd);
    const double r[3] = {(*nd)(1) - cog_(1), (*nd)(2) - cog_(2), (*nd)(3) - cog_(3)};
    const double U[3] = {ang(2) * r[2] - ang(3) * r[1] + lin(1),
                         ang(3) * r[0] - ang(1) * r[2] + lin(2),
                         ang(1) * r[1] - ang(2) * r[0] + lin(3)};
    if (wall_ == VelocityFixWall) {
      const unsigned n = unsigned(j);
      u(n) = U[0], v(n) = U[1], w(n) = U[2];
    } else {
      const ReaVec& N = *normals.get_at(j);
      GrownAt(vn, j) = N(1) * U[0] + N(2) * U[1] + N(3) * U[2];
    }
  }
}

void BodyMesh::BodyIntegral(const ReaVec& f, ReaVec& r) {
  r = 0.0;
  massMatrix_->add_mult(f, r);
}

void BodyMesh::smoothField(ReaVec& f, ReaVec& work) {
  massMatrix_->mult_filled_rows(f, work);
  massMatrix_->quot_lump(work);
  f = work;
}

int BodyMesh::ForceValues(double v[12]) {
  if (wall_ == OutflowWall) return 0;
  const double f = -OutputFactor(Force);
  const double m = f * OutputFactor(Length);
  for (int k = 0; k < 4; ++k) {
    const double s = (k % 2 == 0) ? f : m;
    // Columns: pressure force, pressure moment, viscous force, viscous moment.
    const ReaVec& sum = force_[k == 0 ? 0 : k == 1 ? 2 : k == 2 ? 1 : 3];
    for (unsigned c = 1; c <= 3; ++c) v[3 * k + int(c) - 1] = s * sum(c);
  }
  return 12;
}

void BodyMesh::OutputForces(std::ostream* os) {
  double v[12];
  const int n = ForceValues(v);
  if (n == 0) return;
  std::ostream& o = *os;
  o << "\"" << Name() << "\"\t";
  for (int k = 0; k < n; ++k) o << v[k] << "\t";
}

void BodyMesh::CheckLine(bool forces) {
  double v[12];
  const int n = forces ? ForceValues(v) : MovementValues(v);
  for (int k = 0; k < n; ++k)
    if (!std::isfinite(v[k]))
      RefuseLineValue(forces ? ".for" : ".mov", Name(), v[k], forces ? POutPut_Time : OutPut_Time);
}

void RefuseLineValue(const char* table, const std::string& body, double value, double time) {
  const char* text = std::isnan(value) ? "nan" : value > 0 ? "inf" : "-inf";
  OLVU_FATAL("Non-finite result found: " << text << " in \"" << table << "\" for body " << body << ", time " << time
                                         << ".\n\tThe body's loads or movement have diverged or its data is out "
                                         << "of range there. The line is not written; the lines before it are "
                                         << "kept.\n");
}

const BodyMesh::Arrays& BodyMesh::Flat() {
  const unsigned stamp = domain_->TopologyStamp();
  if (flat_.stamp == stamp) return flat_;
  flat_.stamp = stamp;
  flat_.weightStamp = 0;
  flat_.nnode = GiveNnode(), flat_.corners = GiveMinNnode();
  flat_.nodes.clear(), flat_.elems.clear();
  int i = 0;
  while (Node* nd = nodes_->next(i)) flat_.nodes.push_back(Number(nd));
  i = 0;
  while (Elem* e = elems_->next(i))
    for (int k = 1; k <= flat_.nnode; ++k) flat_.elems.push_back(Number(e->node(k)));
  flat_.inside = true;
  for (int j : flat_.nodes) flat_.inside = flat_.inside && j >= 1 && j <= domain_->numNodes;
  flat_.elemsInside = true;
  for (int j : flat_.elems) flat_.elemsInside = flat_.elemsInside && j >= 1;
  const std::vector<int> at = LocalIndex(flat_.nodes);
  flat_.local.resize(flat_.elems.size());
  for (std::size_t k = 0; k < flat_.elems.size(); ++k) {
    const int j = flat_.elems[k];
    flat_.local[k] = j >= 1 && std::size_t(j) < at.size() ? at[std::size_t(j)] : -1;
  }
  BuildIncidence(flat_.local, int(flat_.nodes.size()), flat_.start, flat_.at);
  flat_.corner.resize(flat_.at.size());
  for (std::size_t s = 0; s < flat_.at.size(); ++s) {
    flat_.corner[s] = static_cast<unsigned char>(flat_.at[s] % flat_.nnode);
    flat_.at[s] /= flat_.nnode;
  }
  return flat_;
}

void BuildIncidence(const std::vector<int>& local, int count, std::vector<int>& start, std::vector<int>& at) {
  start.assign(std::size_t(count) + 1, 0);
  for (int i : local)
    if (i >= 0) ++start[std::size_t(i) + 1];
  for (std::size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
  at.resize(std::size_t(start.back()));
  std::vector<int> fill(start.begin(), start.end() - 1);
  for (std::size_t k = 0; k < local.size(); ++k)
    if (local[k] >= 0) at[std::size_t(fill[std::size_t(local[k])]++)] = int(k);
}

void BodyMesh::LoadWeights(Arrays& a) {
  static const double kLine[2][4] = {{0.788675135, 0.211324865, 0, 0}, {0.211324865, 0.788675135, 0, 0}};
  static const double kTri[3][4] = {{0.5, 0.5, 0, 0}, {0, 0.5, 0.5, 0}, {0.5, 0, 0.5, 0}};
  static const double kQuad[4][4] = {{0.622008469, 0.166666666, 0.044658199, 0.166666666},
                                     {0.166666666, 0.622008469, 0.166666666, 0.044658199},
                                     {0.044658199, 0.166666666, 0.622008469, 0.166666666},
                                     {0.166666666, 0.044658199, 0.166666666, 0.622008469}};
  const double(*W)[4] = nullptr;
  int ng = 0, nc = 0;
  switch (type_) {
    case Linear: W = kLine, ng = 2, nc = 2; break;
    case Triangle: W = kTri, ng = 3, nc = 3; break;
    case Quadrilateral: W = kQuad, ng = 4, nc = 4; break;
    default: return;
  }
  if (a.nnode < nc) return;
  // The sums are linear in the points r_g = sum_k W[g][k] X_k: node `me`'s share of an element
  // is S A and w S for the area, and R x A and w R for the moment arms, with S = sum_g W[g][me]
  // and R = sum_g W[g][me] r_g = sum_k M[me][k] X_k, M = W^T W.
  double S[4] = {0, 0, 0, 0}, M[4][4] = {};
  for (int g = 0; g < ng; ++g)
    for (int k = 0; k < nc; ++k) {
      S[k] += W[g][k];
      for (int l = 0; l < nc; ++l) M[k][l] += W[g][k] * W[g][l];
    }
  const double* xyz = domain_->NodeCoordinates();
  const double perPoint = 1.0 / ng;
  // Each element's area vector per point A and its length w once, then node by node over its
  // elements in element order: the nodes are independent, so the weights are the same for any
  // thread count.
  const std::size_t nn = std::size_t(a.nnode), elems = a.elems.size() / nn;
  a.area.resize(4 * elems);
  ParallelFor(elems, [&](std::size_t e) {
    const double* X[4] = {nullptr, nullptr, nullptr, nullptr};
    double* out = &a.area[4 * e];
    for (int k = 0; k < nc; ++k) {
      if (a.local[e * nn + std::size_t(k)] < 0) {
        out[3] = -1;  // an element reaching outside the set adds nothing
        return;
      }
      X[k] = xyz + 3 * std::size_t(a.elems[e * nn + std::size_t(k)] - 1);
    }
    double area[3] = {0, 0, 0};
    CornerAreaVector(type_, X, area);
    for (int c = 0; c < 3; ++c) out[c] = area[c] * perPoint;
    out[3] = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
  });
  ParallelFor(a.nodes.size(), [&](std::size_t i) {
    double q[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int s = a.start[i]; s < a.start[i + 1]; ++s) {
      const std::size_t e = std::size_t(a.at[std::size_t(s)]) * nn;
      const int me = a.corner[std::size_t(s)];
      const double* A = &a.area[4 * std::size_t(a.at[std::size_t(s)])];
      const double w = A[3];
      if (me >= nc || w < 0) continue;
      double R[3] = {0, 0, 0};
      for (int k = 0; k < nc; ++k) {
        const double* X = xyz + 3 * std::size_t(a.elems[e + std::size_t(k)] - 1);
        for (int c = 0; c < 3; ++c) R[c] += M[me][k] * X[c];
      }
      const double RA[3] = {R[1] * A[2] - R[2] * A[1], R[2] * A[0] - R[0] * A[2], R[0] * A[1] - R[1] * A[0]};
      for (int c = 0; c < 3; ++c) q[c] += S[me] * A[c], q[3 + c] += RA[c], q[7 + c] += w * R[c];
      q[6] += S[me] * w;
    }
    for (int c = 0; c < 10; ++c) a.weights[10 * i + std::size_t(c)] = q[c];
  });
}

std::vector<int> BodyMesh::LocalIndex(const std::vector<int>& nodes) {
  int top = 0;
  for (int j : nodes) top = std::max(top, j);
  std::vector<int> at(std::size_t(top) + 1, -1);
  for (std::size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i] >= 1) at[std::size_t(nodes[i])] = int(i);
  return at;
}

void BodyMesh::IntegrateForces(const ReaVec&, const ReaVec& pl, const ReaVec& tx, const ReaVec& ty,
                               const ReaVec& tz) {
  Flat();
  if (flat_.weightStamp != domain_->GeometryStamp()) {
    flat_.weights.assign(10 * flat_.nodes.size(), 0.0);
    LoadWeights(flat_);
    flat_.weightStamp = domain_->GeometryStamp();
  }
  // The sums are linear in the loads: one pass over the nodes, the moments about the centre of
  // gravity taken from those about the origin. The twelve sums run in the fixed blocks of
  // ForBlocks and are added in block order: the same bits for any thread count.
  const double* pv = pl.GivePointer();
  const double* tv[3] = {tx.GivePointer(), ty.GivePointer(), tz.GivePointer()};
  const double* weights = flat_.weights.data();
  const int* nodes = flat_.nodes.data();
  double part[kReduceBlocks][12];
  const int blocks = ForBlocks(flat_.nodes.size(), [&](int blk, std::size_t lo, std::size_t hi) {
    double fp[3] = {0, 0, 0}, mp[3] = {0, 0, 0}, fv[3] = {0, 0, 0}, mv[3] = {0, 0, 0};
    for (std::size_t i = lo; i < hi; ++i) {
      const int n = nodes[i];
      if (n < 1) continue;
      const double* q = weights + 10 * i;
      const std::size_t j = std::size_t(n - 1);
      const double P = pv[j], T[3] = {tv[0][j], tv[1][j], tv[2][j]};
      const double* c = q + 7;
      fp[0] += P * q[0], fp[1] += P * q[1], fp[2] += P * q[2];
      mp[0] += P * q[3], mp[1] += P * q[4], mp[2] += P * q[5];
      fv[0] += q[6] * T[0], fv[1] += q[6] * T[1], fv[2] += q[6] * T[2];
      mv[0] += c[1] * T[2] - c[2] * T[1], mv[1] += c[2] * T[0] - c[0] * T[2], mv[2] += c[0] * T[1] - c[1] * T[0];
    }
    double* out = part[blk];
    for (int k = 0; k < 3; ++k) out[k] = fp[k], out[3 + k] = mp[k], out[6 + k] = fv[k], out[9 + k] = mv[k];
  });
  double sum[12];
  for (int k = 0; k < 12; ++k) {
    sum[k] = part[0][k];
    for (int blk = 1; blk < blocks; ++blk) sum[k] += part[blk][k];
  }
  const double *fp = sum, *mp = sum + 3, *fv = sum + 6, *mv = sum + 9;
  const double G[3] = {cog_(1), cog_(2), cog_(3)};
  for (int k = 0; k < 3; ++k) {
    const int k1 = (k + 1) % 3, k2 = (k + 2) % 3;
    force_[0](unsigned(k + 1)) = fp[k];
    force_[1](unsigned(k + 1)) = fv[k];
    force_[2](unsigned(k + 1)) = mp[k] - (G[k1] * fp[k2] - G[k2] * fp[k1]);
    force_[3](unsigned(k + 1)) = mv[k] - (G[k1] * fv[k2] - G[k2] * fv[k1]);
  }
}
