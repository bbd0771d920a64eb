// The free-surface set: keywords, initialisation, matrices and the wave-elevation solves.
#include "bodies/freesmesh.h"

#include <strings.h>

#include <climits>
#include <cmath>
#include <iostream>
#include <memory>

#include "bodies/bodymesh.h"
#include "bodies/bodyparts.h"
#include "domain/fluiddomain.h"
#include "flow/shapegrad.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/threads.h"
#include "input/input.h"
#include "mesh/csr.h"
#include "mesh/elem.h"
#include "mesh/or_gauss.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

// ---------------------------------------------------------------- what the surface asks of the bodies
namespace {

/// Stern angle (radians) of body set m when it is a real body, else 0 (which holds nothing).
double PlainBodySternAngle(Mesh* m) {
  const BodyMesh& b = *static_cast<BodyMesh*>(m);
  return b.JustBody() ? b.SternAngle() : 0.0;
}

/// The domain's set of body-wall nodes (by domain number), or null when it is not sized.
const BitVec* BodyWallNodes(FluidDomain& d) {
  const BitVec& wall = d.Cond(WallLawNodes);
  return wall.length() ? &wall : nullptr;
}

}  // namespace

namespace {

bool Sized(const ReaVec& v) { return v.length() > 0; }

}  // namespace

// No caller: a convergence test of the elevation by its relative change would call it.
double normBeta(double a, double b, double c) {
  const double d = std::fabs(b) > c ? std::fabs(b) : c;
  return std::fabs(a - b) / d;
}

// ---------------------------------------------------------------- creation

namespace {

// An optional non-negative real without units with default `def`.
double Plain(Input* in, const char* word, double def) { return in->GetRea(word, def, "", Undimensional); }

}  // namespace

FreeSMesh::FreeSMesh(FluidDomain* d, int num, Input* in, int, ElemType type, int nnode, int slot)
    : Mesh(100, 100, in, type, nnode), domain_(d), slot_(slot), max_(3), min_(3) {
  number_ = num;
  name_ = in->Exist("Name") ? std::string(in->GetWord("Name", nullptr)) : "FreeSurface_" + std::to_string(num);
  if (in->Exist("Charact_Length")) charLength_ = in->GetRea("Charact_Length", Length);
  dampLength_ = Plain(in, "Damping_Length", 0);
  dampFactor_ = Plain(in, "Damping_Factor", 0);
  if (dampFactor_ < 1e-14) dampFactor_ = 1e-14;
  timeFactor_ = Plain(in, "Time_Factor", 1.0);
  timeRatio_ = Plain(in, "Time_Ratio", 1.0);
  if (timeRatio_ < 1e-14) OLVU_FATAL("Wrong Step_factor given in " << name_ << "\n");
  scheme_ = GiveType(in->GetWord("Integration_Scheme", nullptr));
  if (in->Exist("FS_AdvecStab_2nd_Order")) advecStab_ = 0;
  if (in->Exist("FS_AdvecStab_4th_Order")) advecStab_ = 1;
  if (in->Exist("FS_AdvecStab_Auto")) advecStab_ = 2;
  monotonicity_ = in->Exist("Monotonicity_Stab") ? 1 : 0;
  minTauRatio_ = Plain(in, "MinTau_Ratio", 0.15);
  tauUpper_ = minTauRatio_ > 2 ? minTauRatio_ : 2;
  // A plane problem takes the flag (a card written for both kinds may hold it) and ignores it.
  const int crossWind = in->Exist("CrossWind_Diffusion") ? 1 : 0;
  if (Dimension_Olvu == 3) crossWind_ = crossWind;
  smoothing_ = in->GetInt("Beta_Smoothing", 0);
  if (in->Exist("MinValue")) minValue_ = Plain(in, "MinValue", -1e100);
  if (in->Exist("MaxValue")) maxValue_ = Plain(in, "MaxValue", 1e100);
  // Every word of the card has been read (the element description by the base): any other is
  // a fault of the data, a misspelt keyword above all, which must not pass unnoticed.
  in->ClearLine();

  if (dampLength_ != 0 && dampLength_ / dampFactor_ < 0.8)
    OLVU_WARNING(2, "Damping factor in " << name_ << " may be too high");
  if (minTauRatio_ > 0.5) OLVU_WARNING(0, name_ << ". Too high Tau may cause unstabilities.");
  const unsigned vertical = Dimension_Olvu == 3 ? 3 : 2;
  for (unsigned c = 1; c < vertical; ++c)
    if (GravVec.length() >= c && GravVec(c) != 0)
      OLVU_FATAL("Vertical gravity is required to solve Transpiration Free Surface problem\n");
  if (GravVec.length() < vertical || !(GravVec(vertical) < 0))
    OLVU_FATAL("Cannot solve Transpiration Free Surface problem with Gravity >= 0.0\n");
}

FreeSMesh::~FreeSMesh() = default;

int FreeSMesh::AreYou(const char* text) { return strcasecmp(text, Type()) == 0 ? 1 : Mesh::AreYou(text); }

void FreeSMesh::printTo(std::ostream& out) {
  out << "\nFreeSMesh" << number_ << ";\n";
  int i = 0;
  while (Elem* e = giveNextElm(i)) e->PrintTo(out, 0, 0);
}

// ---------------------------------------------------------------- geometry of local nodes

double FreeSMesh::Coord(int i, int k) const {
  return (*const_cast<FluidDomain*>(domain_)->giveNode(toDomain_(unsigned(i)), 0))(unsigned(k + 1));
}

double FreeSMesh::Vertical(int i) const { return Coord(i, Dimension_Olvu == 3 ? 2 : 1); }

// ---------------------------------------------------------------- initialisation

void FreeSMesh::initialiseMesh() {
  NodeBox(max_, min_);
  if (initialised_) {
    M_->NullifyMatrix();
    PostinitialiseMesh();
    return;
  }
  const unsigned vertical = Dimension_Olvu == 3 ? 3 : 2;
  if (FStatic.length() == 0) {
    FStatic = max_;
    OLVU_WARNING(3, "Giving a reference for the free surface is recommended. Now in "
                        << (vertical == 3 ? "Z" : "Y") << " = " << max_(vertical));
  }
  level_ = FStatic(vertical);
  if (max_(vertical) != level_)
    OLVU_WARNING(3, "Free surface reference taken at " << (vertical == 3 ? "Z" : "Y") << " = " << level_
                                                       << ". Is it right?\n\t"
                                                       << "Check if the surface is correctly defined and review the "
                                                          "total pressure origin.");
  if (Current_Step == 1 && Initial_Steps == 0)
    OLVU_WARNING(2, "It is strongly recommended to define Initial_Steps > 0 in Free Surface problems");

  const unsigned n = unsigned(NOfNodes());
  for (BitVec* b : {&fixed_, &body_, &symm_}) b->resize(n, 0), *b = 0;
  for (ReaVec* v : {&tau_, &r_, &m_, &u_, &v_, &w_, &sigma_, &beta0_})
    v->resize(n, 0.0), *v = 0.0;
  for (ReaVec& v : work_) v.resize(n, 0.0), v = 0.0;

  toLocal_.resize(unsigned(domain_->numNodes), 0);
  toLocal_ = 0;
  toDomain_.resize(n, 0);
  int i = 0, k = 0;
  while (Node* nd = nodes_->next(i)) {
    ++k;
    if (nd->num[slot_] < 1 || nd->num[slot_] > domain_->numNodes)
      OLVU_FATAL("Node " << nd->num[0] << " of Free Surface " << name_ << " is out of " << domain_->DomainName()
                         << ".\n\tDo not define Free Surfaces on nodes of no fluid element\n");
    toLocal_(unsigned(nd->num[slot_])) = k;
    toDomain_(unsigned(k)) = nd->num[slot_];
  }

  if (beta_.length() == 0) {
    beta_.resize(n, 0.0);
    for (int j = 1; j <= int(n); ++j) beta_(unsigned(j)) = Vertical(j) - level_;
  } else if (beta_.length() != n) {
    OLVU_FATAL("Wrong vector found in the initialisation of wave elevation in " << name_ << "\n");
  }
  if (n > 0) {
    if (beta_.min_val() < minValue_) minValue_ = beta_.min_val();
    if (beta_.max_val() > maxValue_) maxValue_ = beta_.max_val();
  }
  if (MinValue.length() < 12) MinValue.resize(23, 0.0);
  if (MaxValue.length() < 12) MaxValue.resize(23, 0.0);
  if (minValue_ < MinValue[11]) MinValue[11] = minValue_;
  if (maxValue_ > MaxValue[11]) MaxValue[11] = maxValue_;

  i = 0;
  while (Elem* e = giveNextElm(i)) e->Rotate2D();

  pattern_.reset(createSparseMatrixStruct(this, toLocal_, slot_));
  if (!pattern_) OLVU_FATAL("Not space available on heap\n");
  C_ = std::make_unique<SystemSparseMatrix>(pattern_.get());
  S_ = std::make_unique<SystemSparseMatrix>(pattern_.get());
  M_ = std::make_unique<SystemSparseMatrix>(pattern_.get());
  A_ = std::make_unique<SystemSparseMatrix>(pattern_.get());
  initialised_ = true;
}

void FreeSMesh::PostinitialiseMesh() {
  BetaBoundaries();
  if (nnode_ == 3 && type_ == Triangle) CalcSystemMatrixes3NodesTriangle();
  else CalcSystemMatrixesDefault();
  M_->lump(m_);
}

namespace {

// Starts of the blocks of [0, n): kReduceBlocks equal ranges when n reaches kBlockedMin and the
// rows the items of each range touch (rows(i, lo, hi) widens [lo, hi] by item i) lie wholly
// before those of the range two further on; else the one range [0, n).
template <class Rows>
std::vector<int> ParityBlocks(int n, Rows rows) {
  const int want = std::size_t(n) >= kBlockedMin ? kReduceBlocks : 1;
  std::vector<int> start(std::size_t(want) + 1);
  for (int b = 0; b <= want; ++b) start[std::size_t(b)] = int(static_cast<long long>(n) * b / want);
  if (want == 1) return start;
  std::vector<int> lo(std::size_t(want), INT_MAX), hi(std::size_t(want), INT_MIN);
  for (int b = 0; b < want; ++b)
    for (int i = start[std::size_t(b)]; i < start[std::size_t(b) + 1]; ++i) rows(i, lo[std::size_t(b)], hi[std::size_t(b)]);
  for (int b = 0; b + 2 < want; ++b)
    if (!(hi[std::size_t(b)] < lo[std::size_t(b) + 2])) return {0, n};
  return start;
}

// run(lo, hi) for the blocks of `start`: the even ones, then the odd ones, the blocks of one
// parity forked over the threads. Every entry thus gathers its terms in one order whatever
// the thread count.
template <class Run>
void ByParity(const std::vector<int>& start, Run run) {
  const int blocks = int(start.size()) - 1;
  if (blocks == 1) run(start[0], start[1]);
  if (blocks <= 1) return;
  for (int parity = 0; parity < 2; ++parity) {
    auto half = [&](int k) {
      const std::size_t b = std::size_t(2 * k + parity);
      run(start[b], start[b + 1]);
    };
    const int count = (blocks - parity + 1) / 2;
    if (Threads() > 1) ForkBlocks(count, half);
    else
      for (int k = 0; k < count; ++k) half(k);
  }
}

}  // namespace

void FreeSMesh::ElementTables() {
  nen_ = nnode_;
  const int ne = NOfElems();
  const std::size_t n2 = std::size_t(nen_) * std::size_t(nen_);
  eloc_.assign(std::size_t(ne) * std::size_t(nen_), 0);
  epos_.assign(std::size_t(ne) * n2, 0);
  const bool tri = nnode_ == 3 && type_ == Triangle;
  earea_.assign(tri ? std::size_t(ne) : 0, 0.0);
  egrad_.assign(tri ? std::size_t(ne) * 6 : 0, 0.0);
  eext_.assign(std::size_t(ne) * 2, 0.0);
  int ie = 0, e = 0;
  while (Elem* el = giveNextElm(ie)) {
    int* loc = &eloc_[std::size_t(e) * std::size_t(nen_)];
    double x[kMaxElemNodes][2];
    for (int a = 0; a < nen_; ++a) {
      loc[a] = toLocal_(unsigned(el->Num0(a, slot_))) - 1;
      x[a][0] = Coord(loc[a] + 1, 0), x[a][1] = Coord(loc[a] + 1, 1);
    }
    // One pattern search per node pair; every matrix of the set reuses the position.
    for (int a = 0; a < nen_; ++a)
      for (int b = 0; b < nen_; ++b) epos_[std::size_t(e) * n2 + std::size_t(a * nen_ + b)] = M_->position(loc[a], loc[b]);
    double hx = 0, hy = 0;
    for (int a = 0; a < nen_; ++a)
      for (int b = a + 1; b < nen_; ++b) {
        hx = std::fmax(hx, std::fabs(x[a][0] - x[b][0]));
        hy = std::fmax(hy, std::fabs(x[a][1] - x[b][1]));
      }
    eext_[2 * std::size_t(e)] = hx, eext_[2 * std::size_t(e) + 1] = hy;
    if (tri) {
      const double j00 = x[1][0] - x[0][0], j01 = x[1][1] - x[0][1];
      const double j10 = x[2][0] - x[0][0], j11 = x[2][1] - x[0][1];
      const double det = j00 * j11 - j01 * j10;
      const double area = det / 2;
      if (area < 0)
        OLVU_FATAL("Negative Volume found in Free Surface set " << name_ << ", element " << el->Num()
                                                                << "\n\tCheck Free Surface normal orientation. Use "
                                                                   "Utilities>Draw Normals.\n");
      if (area <= 1e-14) OLVU_FATAL("Null Volume found in Free Surface set " << name_ << ", element " << el->Num() << "\n");
      // G = J^-1 D with D = [[-1, 1, 0], [-1, 0, 1]].
      const double D[2][3] = {{-1, 1, 0}, {-1, 0, 1}};
      double* g = &egrad_[6 * std::size_t(e)];
      for (int j = 0; j < 3; ++j) {
        g[j] = (j11 * D[0][j] - j01 * D[1][j]) / det;
        g[3 + j] = (-j10 * D[0][j] + j00 * D[1][j]) / det;
      }
      earea_[std::size_t(e)] = area;
    }
    ++e;
  }
  const int n = int(m_.length());
  eblock_ = ParityBlocks(ne, [&](int el, int& lo, int& hi) {
    for (int a = 0; a < nen_; ++a) {
      const int r = eloc_[std::size_t(el) * std::size_t(nen_) + std::size_t(a)];
      lo = r < lo ? r : lo, hi = r > hi ? r : hi;
    }
  });
  // Position of the transposed entry of every entry (the pattern is structurally symmetric).
  const int* rp = M_->row_ptr(0);
  const int* ci = M_->col_ind(0);
  tpos_.assign(std::size_t(rp[n]), 0);
  for (int i = 0; i < n; ++i)
    for (int p = rp[i]; p < rp[i + 1]; ++p) tpos_[std::size_t(p)] = M_->position(ci[p], i);
}

void FreeSMesh::CalcSystemMatrixes3NodesTriangle() {
  ElementTables();
  double* mv = M_->val(0);
  const int ne = NOfElems();
  for (int e = 0; e < ne; ++e) {
    const double a = earea_[std::size_t(e)];
    const int* pos = &epos_[9 * std::size_t(e)];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) mv[pos[3 * i + j]] += i == j ? a / 6 : a / 12;
  }
}

namespace {

// The element's nodal (x, y) and its Gauss data at point p: N, gradients G, dV; false when the
// Jacobian is singular.
struct GaussElem {
  Matrix N[kMaxGaussPoints], dN[kMaxGaussPoints];
  double w[kMaxGaussPoints];
  int np = 0;
};

}  // namespace

void FreeSMesh::CalcSystemMatrixesDefault() {
  ElementTables();
  GaussElem g;
  g.np = Give_Integration_Data(order_, 2, g.N, g.dN, g.w);
  const int d = ShapeDimension(order_);
  double* mv = M_->val(0);
  const int n = nen_;
  int ie = 0, e = 0;
  while (Elem* el = giveNextElm(ie)) {
    const int* loc = &eloc_[std::size_t(e) * std::size_t(n)];
    double X[kMaxElemNodes][3] = {};
    for (int a = 0; a < n; ++a) X[a][0] = Coord(loc[a] + 1, 0), X[a][1] = Coord(loc[a] + 1, 1);
    double me[kMaxElemNodes][kMaxElemNodes] = {};
    double vol = 0;
    for (int p = 0; p < g.np; ++p) {
      double B[3][kMaxElemNodes];
      const double det = ShapeGradients(d, n, g.dN[p].data, X, 1e-300, B);
      const double dv = det * g.w[p];
      vol += dv;
      const double* N = g.N[p].data;
      for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) me[a][b] += N[a] * N[b] * dv;
    }
    if (vol < 0)
      OLVU_FATAL("Negative Volume found in Free Surface set " << name_ << ", element " << el->Num()
                                                              << "\n\tCheck surface normal orientation and mesh data\n");
    if (vol <= 1e-14) OLVU_FATAL("Null Volume found in Free Surface set " << name_ << ", element " << el->Num() << "\n");
    const int* pos = &epos_[std::size_t(e) * std::size_t(n * n)];
    for (int a = 0; a < n; ++a)
      for (int b = 0; b < n; ++b) mv[pos[a * n + b]] += me[a][b];
    ++e;
  }
}

// ---------------------------------------------------------------- convection matrices

namespace {

// Stabilisation time of an element from its nodal (u, v) and extents: the largest nodal components
// (1e-14 at least) against the extents, times `half`; `still` when the element is nearly at rest.
inline double TauOf(const double* u, const double* v, const int* loc, int n, double hx, double hy, double rest,
                    double still, double half) {
  double us = 1e-14, vs = 1e-14;
  for (int a = 0; a < n; ++a) {
    const double ua = u[loc[a]], va = v[loc[a]];
    if (std::fabs(ua) > std::fabs(us)) us = ua;
    if (std::fabs(va) > std::fabs(vs)) vs = va;
  }
  const double s2 = us * us + vs * vs;
  if (s2 < rest) return still;
  return half * (std::fabs(vs * hy) + std::fabs(us * hx)) / s2;
}

}  // namespace

double FreeSMesh::ElementTau(const int* loc, int n, double hx, double hy, bool quadratic) const {
  const double rest = 1e-6 * Max_Velocity * Max_Velocity, still = 0.5 * Run_Time_Increment;
  return TauOf(u_.GivePointer(), v_.GivePointer(), loc, n, hx, hy, rest, still, quadratic ? 0.25 : 0.5);
}

void FreeSMesh::CalcConvectionMatrixes3NodesTriangle() {
  double* cv = C_->val(0);
  double* sv = S_->val(0);
  double* tau = tau_.GivePointer();
  const double* u = u_.GivePointer();
  const double* v = v_.GivePointer();
  const double rest = 1e-6 * Max_Velocity * Max_Velocity, still = 0.5 * Run_Time_Increment;
  // Written out for the three nodes: the element's values stay in registers between the
  // scattered additions.
  ByParity(eblock_, [&](int lo, int hi) {
    for (int e = lo; e < hi; ++e) {
      const int* loc = &eloc_[3 * std::size_t(e)];
      const int* pos = &epos_[9 * std::size_t(e)];
      const double* g = &egrad_[6 * std::size_t(e)];
      const double a = earea_[std::size_t(e)], f = a / 12;
      const double u0 = u[loc[0]], u1 = u[loc[1]], u2 = u[loc[2]];
      const double v0 = v[loc[0]], v1 = v[loc[1]], v2 = v[loc[2]];
      // K_kj = u_k . grad N_j; C = Me K, so C_ij = A/12 (c_j + K_ij) with c_j = sum_k K_kj;
      // S = K^T Me K is symmetric: S_ij = A/12 (c_i c_j + sum_k K_ki K_kj).
      const double k00 = u0 * g[0] + v0 * g[3], k01 = u0 * g[1] + v0 * g[4], k02 = u0 * g[2] + v0 * g[5];
      const double k10 = u1 * g[0] + v1 * g[3], k11 = u1 * g[1] + v1 * g[4], k12 = u1 * g[2] + v1 * g[5];
      const double k20 = u2 * g[0] + v2 * g[3], k21 = u2 * g[1] + v2 * g[4], k22 = u2 * g[2] + v2 * g[5];
      const double c0 = k00 + k10 + k20, c1 = k01 + k11 + k21, c2 = k02 + k12 + k22;
      cv[pos[0]] += f * (c0 + k00), cv[pos[1]] += f * (c1 + k01), cv[pos[2]] += f * (c2 + k02);
      cv[pos[3]] += f * (c0 + k10), cv[pos[4]] += f * (c1 + k11), cv[pos[5]] += f * (c2 + k12);
      cv[pos[6]] += f * (c0 + k20), cv[pos[7]] += f * (c1 + k21), cv[pos[8]] += f * (c2 + k22);
      const double s00 = f * (c0 * c0 + k00 * k00 + k10 * k10 + k20 * k20);
      const double s01 = f * (c0 * c1 + k00 * k01 + k10 * k11 + k20 * k21);
      const double s02 = f * (c0 * c2 + k00 * k02 + k10 * k12 + k20 * k22);
      const double s11 = f * (c1 * c1 + k01 * k01 + k11 * k11 + k21 * k21);
      const double s12 = f * (c1 * c2 + k01 * k02 + k11 * k12 + k21 * k22);
      const double s22 = f * (c2 * c2 + k02 * k02 + k12 * k12 + k22 * k22);
      sv[pos[0]] += s00, sv[pos[1]] += s01, sv[pos[2]] += s02;
      sv[pos[3]] += s01, sv[pos[4]] += s11, sv[pos[5]] += s12;
      sv[pos[6]] += s02, sv[pos[7]] += s12, sv[pos[8]] += s22;
      // Element tau: the nodal components of largest magnitude (1e-14 at least) against the extents;
      // only magnitudes enter, so the selection needs no branch.
      auto mx = [](double p, double q) { return p > q ? p : q; };
      const double us = mx(mx(std::fabs(u0), std::fabs(u1)), mx(std::fabs(u2), 1e-14));
      const double vs = mx(mx(std::fabs(v0), std::fabs(v1)), mx(std::fabs(v2), 1e-14));
      const double s2 = us * us + vs * vs;
      const double te = s2 < rest ? still : 0.5 * (vs * eext_[2 * std::size_t(e) + 1] + us * eext_[2 * std::size_t(e)]) / s2;
      const double w = a / 3 * te;
      tau[loc[0]] += w, tau[loc[1]] += w, tau[loc[2]] += w;
    }
  });
}

void FreeSMesh::CalcConvectionMatrixesDefault() {
  GaussElem g;
  g.np = Give_Integration_Data(order_, 2, g.N, g.dN, g.w);
  const int d = ShapeDimension(order_);
  double B[3][kMaxElemNodes] = {};  // rows from d on stay 0: a line has no y gradient
  double* cv = C_->val(0);
  double* sv = S_->val(0);
  const int n = nen_;
  const bool quadratic = isQuadratic(order_) != 0;
  const int ne = NOfElems();
  for (int e = 0; e < ne; ++e) {
    const int* loc = &eloc_[std::size_t(e) * std::size_t(n)];
    double X[kMaxElemNodes][3] = {};
    for (int a = 0; a < n; ++a) X[a][0] = Coord(loc[a] + 1, 0), X[a][1] = Coord(loc[a] + 1, 1);
    double ce[kMaxElemNodes][kMaxElemNodes] = {}, se[kMaxElemNodes][kMaxElemNodes] = {}, intN[kMaxElemNodes] = {};
    for (int p = 0; p < g.np; ++p) {
      const double dv = ShapeGradients(d, n, g.dN[p].data, X, 1e-300, B) * g.w[p];
      const double* N = g.N[p].data;
      double K[kMaxElemNodes][kMaxElemNodes], MK[kMaxElemNodes][kMaxElemNodes];
      for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j) K[k][j] = u_[unsigned(loc[k])] * B[0][j] + v_[unsigned(loc[k])] * B[1][j];
      for (int i = 0; i < n; ++i) {
        intN[i] += N[i] * dv;
        for (int j = 0; j < n; ++j) {
          double s = 0;
          for (int k = 0; k < n; ++k) s += N[i] * N[k] * dv * K[k][j];
          MK[i][j] = s;
          ce[i][j] += s;
        }
      }
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
          double s = 0;
          for (int k = 0; k < n; ++k) s += K[k][i] * MK[k][j];
          se[i][j] += s;
        }
    }
    const int* pos = &epos_[std::size_t(e) * std::size_t(n * n)];
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) cv[pos[i * n + j]] += ce[i][j], sv[pos[i * n + j]] += se[i][j];
    const double te = ElementTau(loc, n, eext_[2 * std::size_t(e)], eext_[2 * std::size_t(e) + 1], quadratic);
    for (int i = 0; i < n; ++i) tau_[unsigned(loc[i])] += te * intN[i];
  }
}

// ---------------------------------------------------------------- pattern passes

void FreeSMesh::RowProducts(ReaVec& a, ReaVec& b, ReaVec& c) const {
  const int n = int(m_.length());
  const int* rp = M_->row_ptr(0);
  const int* ci = M_->col_ind(0);
  const double* mv = M_->val(0);
  const double* cv = C_->val(0);
  const double* beta = beta_.GivePointer();
  const double* w = w_.GivePointer();
  double* pa = a.GivePointer();
  double* pb = b.GivePointer();
  double* pc = c.GivePointer();
  for (int i = 0; i < n; ++i) {
    double sa = 0, sb = 0, sc = 0;
    for (int p = rp[i]; p < rp[i + 1]; ++p) {
      const int j = ci[p];
      sa += mv[p] * beta[j];
      sb += mv[p] * w[j];
      sc += cv[p] * beta[j];
    }
    pa[i] = sa, pb[i] = sb, pc[i] = sc;
  }
}

void FreeSMesh::TransposedProducts(const ReaVec& x, const ReaVec& y, ReaVec& p, ReaVec& q) const {
  const int* rp = C_->row_ptr(0);
  const int* ci = C_->col_ind(0);
  const int* tp = tpos_.data();
  const double* cv = C_->val(0);
  const double* px = x.GivePointer();
  const double* py = y.GivePointer();
  double* pp = p.GivePointer();
  double* pq = q.GivePointer();
  // Row j gathers column j of C through the transposed positions, in row order of i.
  ParallelFor(m_.length(), [=](std::size_t j) {
    double sp = 0, sq = 0;
    for (int k = rp[j]; k < rp[j + 1]; ++k) {
      const double c = cv[tp[k]];
      const int i = ci[k];
      sp += c * px[i], sq += c * py[i];
    }
    pp[j] = sp, pq[j] = sq;
  });
}

namespace {

// Rows of A = M invDt + C + diag(tau) S (+ diag(d) when d is given); with Products also
// a = M beta, b = M w and c = C beta from the same reads of the rows.
template <bool Products>
void SystemRows(int n, const int* rp, const int* ci, const double* mv, const double* cv, const double* sv,
                const double* tau, const double* d, double invDt, double* av, const double* beta, const double* w,
                double* pa, double* pb, double* pc) {
  ParallelFor(std::size_t(n), [=](std::size_t row) {
    const int i = int(row);
    const double ti = tau[i];
    double sa = 0, sb = 0, sc = 0;
    for (int p = rp[i]; p < rp[i + 1]; ++p) {
      av[p] = mv[p] * invDt + cv[p] + ti * sv[p];
      if constexpr (Products) {
        const int j = ci[p];
        sa += mv[p] * beta[j];
        sb += mv[p] * w[j];
        sc += cv[p] * beta[j];
        if (d && j == i) av[p] += d[i];
      }
    }
    if constexpr (Products) pa[i] = sa, pb[i] = sb, pc[i] = sc;
  });
}

}  // namespace

void FreeSMesh::SystemMatrix(double invDt) {
  SystemRows<false>(int(m_.length()), A_->row_ptr(0), A_->col_ind(0), M_->val(0), C_->val(0), S_->val(0),
                    tau_.GivePointer(), nullptr, invDt, A_->val(0), nullptr, nullptr, nullptr, nullptr, nullptr);
}

void FreeSMesh::SystemAndRowProducts(double invDt, const ReaVec& diag, ReaVec& a, ReaVec& b, ReaVec& c) {
  SystemRows<true>(int(m_.length()), A_->row_ptr(0), A_->col_ind(0), M_->val(0), C_->val(0), S_->val(0),
                   tau_.GivePointer(), diag.GivePointer(), invDt, A_->val(0), beta_.GivePointer(), w_.GivePointer(),
                   a.GivePointer(), b.GivePointer(), c.GivePointer());
}

void FreeSMesh::Bound() { beta_.limit(maxValue_, minValue_); }

void FreeSMesh::LateRelaxation(const ReaVec& beta0) {
  if (!(Current_Step > 0.6 * Number_of_Steps) || timeRatio_ == 1) return;
  const double threshold = 0.001 * (beta_.length() ? beta_.max_abs() : 0.0);
  for (unsigned i = 1; i <= beta_.length(); ++i) {
    const double b = beta_(i);
    if (!(std::fabs(b) > threshold)) continue;
    double f = 1 - 0.9 * std::fabs((beta0(i) - b) / b);
    if (f < 0.05) f = 0.05;
    beta_(i) = f * b;
  }
}

// ---------------------------------------------------------------- solves

void FreeSMesh::SolveFreeSurface(ReaVec& beta, const ReaVec& u, const ReaVec& v, const ReaVec& w) {
  if (beta.length() == 0) return;
  const double fr = std::fabs(AverVelocity / std::sqrt(std::fabs(Gravity * charLength_)));
  std::cout << "Gravity " << Gravity << "\n" << "Froude  " << fr << "\n";
  if (Start_Phase && fr < 0.05) return;
  const unsigned n = m_.length();
  for (unsigned k = 1; k <= n; ++k) {
    const unsigned g = unsigned(toDomain_(k));
    u_(k) = u(g), v_(k) = v(g), w_(k) = w(g), beta_(k) = beta(g);
  }
  FixBodyBeta(u, v, w);
  BuildConvection();
  if (IntegrationType(scheme_)) SolveImplicitFreeSurface();
  else SolveExplicitFreeSurface();
  CheckElevation();
  for (unsigned k = 1; k <= n; ++k) beta(unsigned(toDomain_(k))) = beta_(k);
}

void FreeSMesh::CheckElevation() const {
  const unsigned v = Dimension_Olvu == 3 ? 3 : 2;
  const FluidDomain& d = *domain_;
  if (d.maxCorner.length() < v) return;
  // The surface stands at level + elevation, wherever the level lies: it may not sink below the
  // fluid's bottom, nor rise above its top by more than the fluid's height.
  const double bottom = d.minCorner(v), top = d.maxCorner(v), depth = top - bottom;
  for (unsigned k = 1; k <= beta_.length(); ++k) {
    const double b = beta_(k), z = level_ + b;
    if (std::isfinite(b) && z >= bottom && z <= top + depth) continue;
    const int node = const_cast<FluidDomain&>(d).giveNode(toDomain_(k), 0)->num[0];
    OLVU_FATAL("Wave elevation diverged in Free Surface "
               << name_ << ": " << b << " at node " << node << " (the surface at " << (v == 3 ? "z" : "y") << " = "
               << z << "), beyond the fluid's vertical extent " << depth
               << ".\n\tReduce the time increment or review the free surface data\n");
  }
}

void FreeSMesh::BuildConvection() {
  double* cv = C_->val(0);
  double* sv = S_->val(0);
  ParallelFor(std::size_t(C_->numnonzeros()), [=](std::size_t p) { cv[p] = sv[p] = 0; });
  tau_ = 0.0;
  if (nnode_ == 3 && type_ == Triangle) CalcConvectionMatrixes3NodesTriangle();
  else CalcConvectionMatrixesDefault();
  tau_.quotient(m_);
}

void FreeSMesh::SolveImplicitFreeSurface() {
  if (scheme_ != Backward_Euler && scheme_ != Crank_Nicolson)
    OLVU_FATAL("Free Surface integration scheme not implemented\n");
  if (!solver_) solver_ = std::make_unique<Solver>(StabBiConjugateGradient, 1e-10, 300, "Transpiration");
  AssembleImplicitSystem();
  solver_->solve(r_, beta_, A_.get(), 1, "");
  const unsigned n = m_.length();
  if (theta_ != 1)
    for (unsigned i = 1; i <= n; ++i) beta_(i) = (beta_(i) - (1 - theta_) * beta0_(i)) / theta_;
  Bound();
  if (smoothing_) Smoothing(beta_, 1);
  LateRelaxation(beta0_);
}

void FreeSMesh::AssembleImplicitSystem() {
  theta_ = scheme_ == Crank_Nicolson && !Initial_Phase ? 0.5 : 1.0;
  const double dt = theta_ * Run_Time_Increment * timeRatio_;
  tau_.limit(dt * tauUpper_, dt * minTauRatio_);
  beta0_ = beta_;
  const unsigned n = m_.length();
  ReaVec &mb = work_[0], &mw = work_[1], &cb = work_[2], &t = work_[3], &damp = work_[4];
  const double* m = m_.GivePointer();
  damp.product(sigma_, m_);
  SystemAndRowProducts(1 / dt, damp, mb, mw, cb);
  if (r_.length() != n) r_.resize(n);
  double* r = r_.GivePointer();
  const double* tau = tau_.GivePointer();
  const double* w = w_.GivePointer();
  double *pmb = mb.GivePointer(), *pmw = mw.GivePointer(), *pcb = cb.GivePointer(), *pt = t.GivePointer();
  const bool late = !Initial_Phase;
  // r := M beta / dt + M w; then mb := tau w and t := (C beta - M w) / m for the transposed pass,
  // which gives mw := C^T (tau w) and cb := C^T t.
  ParallelFor(n, [=](std::size_t i) {
    r[i] = pmb[i] / dt + pmw[i];
    if (late) pmb[i] = tau[i] * w[i], pt[i] = (pcb[i] - pmw[i]) / m[i];
  });
  if (late) {
    TransposedProducts(mb, t, mw, cb);
    const bool fourth = advecStab_ != 0;
    ParallelFor(n, [=](std::size_t i) { r[i] += fourth ? pmw[i] + tau[i] * pcb[i] : pmw[i]; });
  }
  for (unsigned i = 1; i <= n; ++i)
    if (fixed_(i)) r_(i) = 0, A_->Fix_AllRow(int(i) - 1);
}

void FreeSMesh::SolveExplicitFreeSurface() {
  const unsigned n = m_.length();
  if (n == 0) return;
  double dts = 0.6 * tau_.min_val() / timeFactor_;
  tau_.max_limit(tauUpper_ * Run_Time_Increment);
  const double span = timeRatio_ * Run_Time_Increment;
  // Bounded as a real: the ratio may be far beyond any integer (or not a number).
  const double steps = 0.5 * span / dts;
  int count = (!(steps >= 0) ? 0 : steps < 199 ? int(steps) : 199) + 1;
  if (span < dts) dts = span, count = 1;
  beta0_ = beta_;
  SystemMatrix(0);
  ReaVec& rPrev = work_[7];
  if (r_.length() != n) r_.resize(n);
  const double h = -dts;
  for (int s = 0; s < count; ++s) {
    rPrev = r_;
    Residual(r_);
    switch (scheme_) {
      case Forward_Euler: beta_.add_product(r_, h); break;
      case Stabilised_FIC: beta_.add_product(r_, 2.0 / 3.0 * h); break;
      case Adams_Bashforth_2:
        for (unsigned i = 1; i <= n; ++i) beta_(i) += h / 2 * (3 * r_(i) - rPrev(i));
        break;
      default: OLVU_FATAL("Free Surface integration scheme not implemented\n");
    }
    Bound();
  }
  if (smoothing_) Smoothing(beta_, 1);
  LateRelaxation(beta0_);
}

void FreeSMesh::Residual(ReaVec& out) {
  const unsigned n = m_.length();
  ReaVec &mb = work_[0], &mw = work_[1], &cb = work_[2], &t = work_[3];
  ReaVec &ab = work_[4], &tw = work_[5], &ctw = work_[6];
  if (out.length() != n) out.resize(n);
  // Three passes over the pattern: A beta, the row products and the transposed ones.
  A_->mult(beta_, ab);
  RowProducts(mb, mw, cb);
  for (unsigned i = 1; i <= n; ++i) tw(i) = tau_(i) * w_(i), t(i) = (cb(i) - mw(i)) / m_(i);
  if (!Initial_Phase) TransposedProducts(tw, t, ctw, cb);
  for (unsigned i = 1; i <= n; ++i) {
    double r = ab(i) + sigma_(i) * mb(i) - mw(i);
    if (!Initial_Phase) r -= ctw(i) + (advecStab_ ? tau_(i) * cb(i) : 0.0);
    out(i) = fixed_(i) ? 0.0 : r / m_(i);
  }
}

void FreeSMesh::PredictElevation(const ReaVec& beta, const ReaVec& w, double h, ReaVec& out) {
  const unsigned n = m_.length();
  if (n == 0) return;
  for (unsigned k = 1; k <= n; ++k) {
    const unsigned g = unsigned(toDomain_(k));
    beta_(k) = beta(g), w_(k) = w(g);
  }
  SystemMatrix(0);
  ReaVec& r = work_[7];
  Residual(r);
  for (unsigned k = 1; k <= n; ++k) out(unsigned(toDomain_(k))) = beta_(k) - h * r(k);
}

// ---------------------------------------------------------------- boundaries

void FreeSMesh::BetaBoundaries() {
  FluidDomain& d = *domain_;
  const unsigned n = m_.length();
  const double V = Signed_Velocity.length() ? Signed_Velocity(1) : 0.0;
  const double Ld = dampLength_ * charLength_, D = dampFactor_;
  const ReaVec& bmax = BodyParts::Of(d).FreeSurface().bodyMax;
  const ReaVec& bmin = BodyParts::Of(d).FreeSurface().bodyMin;
  auto damp = [&](double xd, bool above) {
    if (Ld == 0) return;  // no damping zone
    for (unsigned k = 1; k <= n; ++k) {
      const double x = Coord(int(k), 0);
      if (above ? x > xd : x < xd) sigma_(k) = std::fabs(20 * D / (Ld * Ld * Ld) * (x - xd) * (x - xd));
    }
  };
  if (V > 0) {
    const double xd = max_(1) - Ld;
    if (bmax.length() && xd < bmax(1) && D > 0)
      OLVU_WARNING(1, name_ << ": Wave elevation damping may affect wave pattern." << "\n\tReduce Length or Damping_Length.");
    damp(xd, true);
  } else if (V < 0) {
    const double xd = min_(1) + Ld;
    if (bmin.length() && bmin(1) < xd && D > 0)
      OLVU_WARNING(1, name_ << ": Wave elevation damping may affect wave pattern." << "\n\tReduce Length or Damping_Length.");
    damp(xd, false);
  } else {
    OLVU_WARNING(0, "Null OX velocity found in transpiration free surface.\n\t"
                        << "Automatic imposition of wave elevation boundary conditions disabled.\n\t");
  }
  const BitVec& fixBeta = d.Cond(FixBeta);
  const BitVec* wall = BodyWallNodes(d);
  const BitVec& symmCond = d.Cond(FixGradient);
  const ReaVec& planes = d.SymmetryPlanes(1);
  const double tol = 0.01 * Min_YLength + 1e-14;
  for (unsigned k = 1; k <= n; ++k) {
    const unsigned g = unsigned(toDomain_(k));
    if (fixBeta.length() >= g && fixBeta(g)) fixed_.assign(k, 1);
    if (wall && wall->length() >= g && (*wall)(g)) body_.assign(k, 1);
    bool sym = symmCond.length() >= g && symmCond(g);
    const double y = Coord(int(k), 1);
    for (unsigned p = 1; p <= planes.length() && !sym; ++p) sym = std::fabs(y - planes(p)) < tol;
    if (sym) symm_.assign(k, 1);
  }
  // Elements touching an inflow node (all three velocity components prescribed) hold their
  // elevation, and their nodes get the inflow's velocity conditions.
  BitVec& fx = d.Cond(FixVelX);
  BitVec& fy = d.Cond(FixVelY);
  BitVec& fz = d.Cond(FixVelZ);
  auto inflow = [&](unsigned g) {
    return fx.length() >= g && fy.length() >= g && fz.length() >= g && fx(g) && fy(g) && fz(g);
  };
  std::vector<char> in(n + 1, 0);
  for (unsigned k = 1; k <= n; ++k) in[k] = inflow(unsigned(toDomain_(k))) ? 1 : 0;
  int ie = 0;
  while (Elem* e = giveNextElm(ie)) {
    bool any = false;
    for (int a = 0; a < nnode_ && !any; ++a) any = in[unsigned(toLocal_(unsigned(e->Num0(a, slot_))))] != 0;
    if (!any) continue;
    for (int a = 0; a < nnode_; ++a) {
      const unsigned g = unsigned(e->Num0(a, slot_));
      fixed_.assign(unsigned(toLocal_(g)), 1);
      for (BitVec* b : {&fx, &fy, &fz})
        if (b->length() >= g) b->assign(g, 1);
    }
  }
  const ReaVec& extent = BodyParts::Of(d).FreeSurface().bodyExtent;
  const double bodyLength = extent.length() ? extent(1) : 0.0;
  if (charLength_ < 0.5 * bodyLength && D > 1e-14)
    OLVU_WARNING(1, "Check Length data in Free Surface set " << name_);
}

void FreeSMesh::FixBodyBeta(const ReaVec& u, const ReaVec& v, const ReaVec&) {
  if (Dimension_Olvu != 3) return;
  int ib = 0;
  while (Mesh* body = domain_->giveNextBodyMesh(ib)) {
    const double angle = PlainBodySternAngle(body);
    if (!(std::cos(angle) < 1)) continue;
    const double c = std::cos(angle);
    int ie = 0;
    while (Elem* e = body->giveNextElm(ie)) {
      int on[3], count = 0;
      for (int a = 0; a < 3; ++a) {
        const int g = e->Num0(a, slot_);
        on[a] = g > 0 && g <= int(toLocal_.length()) && toLocal_(unsigned(g)) > 0;
        count += on[a];
      }
      if (count != 2) continue;
      // The free-surface edge in element order: (1,2), (3,1) or (2,3).
      const int A = on[0] && on[1] ? 0 : (on[2] && on[0] ? 2 : 1);
      const int B = on[0] && on[1] ? 1 : (on[2] && on[0] ? 0 : 2);
      const Node& na = *(*e)[A];
      const Node& nb = *(*e)[B];
      double nx = nb(2) - na(2), ny = na(1) - nb(1);
      const double nn = std::sqrt(nx * nx + ny * ny);
      if (nn < 1e-14) OLVU_FATAL("Wrong Floating Line\n");
      nx /= nn, ny /= nn;
      const unsigned ga = unsigned(e->Num0(A, slot_)), gb = unsigned(e->Num0(B, slot_));
      double sx = u(ga) + u(gb), sy = v(ga) + v(gb);
      const double sn = std::sqrt(sx * sx + sy * sy);
      if (sn > 1e-14) sx /= sn, sy /= sn;
      else sx = sy = 1;
      if (nx * sx + ny * sy >= c && nx * sx <= 0)
        for (const Node* nd : {&na, &nb}) {
          const unsigned k = unsigned(toLocal_(unsigned(nd->num[slot_])));
          fixed_.assign(k, 1);
          beta_(k) = (*nd)(3) - level_;
        }
    }
  }
}

void FreeSMesh::AddBodyElems() {
  int ib = 0;
  while (Mesh* body = domain_->giveNextBodyMesh(ib)) {
    int ie = 0;
    while (Elem* e = body->giveNextElm(ie)) CheckBodyElem(e);
  }
}

int FreeSMesh::CheckBodyElem(Elem* e) {
  const int nn = e->MinNnode() < 3 ? e->MinNnode() : 3;
  if (nn < 3) return 0;
  auto onSurface = [&](int a) {
    const int g = e->Num0(a, slot_);
    return g > 0 && g <= int(toLocal_.length()) && toLocal_(unsigned(g)) > 0;
  };
  const int edges[3][3] = {{0, 1, 2}, {2, 0, 1}, {1, 2, 0}};  // (A, B, P)
  for (const auto& ed : edges) {
    if (!onSurface(ed[0]) || !onSurface(ed[1]) || onSurface(ed[2])) continue;
    const Node& A = *(*e)[ed[0]];
    const Node& B = *(*e)[ed[1]];
    const Node& P = *(*e)[ed[2]];
    double n[2] = {B(2) - A(2), A(1) - B(1)};
    const double nn2 = std::sqrt(n[0] * n[0] + n[1] * n[1]);
    if (nn2 < 1e-14) OLVU_FATAL("Wrong Floating Line\n");
    n[0] /= nn2, n[1] /= nn2;
    double q[3] = {P(1) - 0.5 * (A(1) + B(1)), P(2) - 0.5 * (A(2) + B(2)), P(3) - 0.5 * (A(3) + B(3))};
    const double qn = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]) + 1e-14;
    for (double& c : q) c /= qn;
    if (n[0] * q[0] + n[1] * q[1] > 0) n[0] = -n[0], n[1] = -n[1];
    double V[2] = {Signed_Velocity.length() > 0 ? Signed_Velocity(1) : 0.0,
                   Signed_Velocity.length() > 1 ? Signed_Velocity(2) : 0.0};
    const double vn = std::sqrt(V[0] * V[0] + V[1] * V[1]);
    if (vn > 1e-6) V[0] /= vn, V[1] /= vn;
    // The first edge with two surface nodes decides.
    if (n[0] * V[0] + n[1] * V[1] <= 0.6) return 0;
    for (int a = 0; a < 3; ++a) {
      const int g = e->Num0(a, slot_);
      if (g > 0 && g <= int(toLocal_.length()) && toLocal_(unsigned(g)) > 0) body_.assign(unsigned(toLocal_(unsigned(g))), 1);
    }
    return 1;
  }
  return 0;
}

// ---------------------------------------------------------------- vectors in and out

void FreeSMesh::WriteBetaReaVec(ReaVec& v, int mode) {
  for (unsigned k = 1; k <= beta_.length(); ++k) {
    const unsigned g = unsigned(toDomain_(k));
    v(g) = mode == 0 ? beta_(k) : beta_(k) + level_ - Vertical(int(k));
  }
}

void FreeSMesh::ReadBetaReaVec(const ReaVec& v, int mode) {
  for (unsigned k = 1; k <= beta_.length(); ++k) {
    const unsigned g = unsigned(toDomain_(k));
    beta_(k) = mode == 0 ? v(g) : v(g) - level_ + Vertical(int(k));
  }
}

void FreeSMesh::WriteTauReaVec(ReaVec& v) {
  for (unsigned k = 1; k <= tau_.length(); ++k) v(unsigned(toDomain_(k))) = tau_(k);
}

void FreeSMesh::WritePoints(std::ostream* out, double f) {
  for (unsigned k = 1; k <= beta_.length(); ++k) {
    const double e = (beta_(k) - level_) * f;
    if (Dimension_Olvu == 3) *out << Coord(int(k), 0) * f << "  " << Coord(int(k), 1) * f << "  " << e << ";\n";
    else *out << Coord(int(k), 0) * f << "  " << e << ";\n";
  }
}

ReaVec& FreeSMesh::Smoothing(ReaVec& b, int passes) {
  Clock clock("Improving Results");
  if (passes == 0) return b;
  const unsigned n = b.length();
  ReaVec& t = work_[4];
  ReaVec& mb = work_[5];
  t = b;
  for (int p = 0; p < passes; ++p) {
    bool changed = false;
    M_->mult(b, mb);
    for (unsigned i = 1; i <= n; ++i) {
      if (fixed_(i)) continue;
      const double s = mb(i) / m_(i);
      if (std::fabs((std::fabs(s) - std::fabs(b(i))) / (std::fabs(b(i)) + std::fabs(s) + 1e-14)) > 0.3) {
        t(i) = s;
        changed = true;
      }
    }
    b = t;
    if (!changed) break;
  }
  return b;
}

// ---------------------------------------------------------------- the domain's driver

void FluidDomain::SolveFreeSurface() {
  if (!Solves(PTranspiration)) return;
  Clock clock("Solving Transpiration");
  ReaVec& beta = vars_[Beta];
  BodyParts::FreeSurfaceState& state = BodyParts::Of(*this).FreeSurface();
  ReaVec& previous = state.previous;
  previous = beta;
  // Velocities relative to the moving mesh; the vertical one is never corrected.
  ReaVec* u = &vars_[VelX];
  ReaVec* v = &vars_[VelY];
  if (Solves(PMeshDeform) && Sized(vars_[MeshX])) {
    ReaVec& ru = Nodal(work_.relativeVelocity[0]);
    ReaVec& rv = Nodal(work_.relativeVelocity[1]);
    ru = vars_[VelX], rv = vars_[VelY];
    ru.sub_product(vars_[MeshX], MeshRate());
    rv.sub_product(vars_[MeshY], MeshRate());
    u = &ru, v = &rv;
  }
  ReaVec* w = &vars_[VelZ];
  if (Dimension_Olvu == 2) {
    ReaVec& zero = Nodal(state.noVelocity);
    zero = 0.0;
    w = &vars_[VelY], v = &zero;
  }
  // The vertical velocity of the surface nodes is their transpiration velocity (the flux through
  // the surface over its mass, summed over sets that share a node).
  ReaVec& mass = Nodal(state.surfaceMass);
  ReaVec& wt = Nodal(state.transpiration);
  mass = 0.0;
  wt = *w;
  int i = 0;
  while (Mesh* m = freeMeshes_.next(i)) static_cast<FreeSMesh*>(m)->AddSurfaceMass(mass);
  i = 0;
  while (Mesh* m = freeMeshes_.next(i)) static_cast<FreeSMesh*>(m)->TranspirationVelocity(mass, wt);
  i = 0;
  while (Mesh* m = freeMeshes_.next(i)) static_cast<FreeSMesh*>(m)->SolveFreeSurface(beta, *u, *v, wt);
  const double kappa = incrControl_;
  if (kappa > 0 && HasConv(VarTolerance, ConvVar::Elevation) && HasConv(VarDenominat, ConvVar::Elevation)) {
    const double L = kappa * Conv(VarTolerance, ConvVar::Elevation);
    const double den = Conv(VarDenominat, ConvVar::Elevation);
    for (unsigned k = 1; k <= beta.length(); ++k) {
      const double change = beta(k) - previous(k);
      const double r = std::fabs(change) / den;
      if (r > L) beta(k) = previous(k) + change * L / r;
    }
  }
  // Crank-Nicolson's next step stands half a step later than the elevation: its surface pressure
  // takes the elevation predicted for that time, beta + theta dt dbeta/dt with the rate of the
  // surface equation at the velocity the step ends with. At the elevation itself the pressure
  // lags the surface by half a step, and a wave gains (omega dt)^2 / 4 of its energy every step.
  const ReaVec* surface = &beta;
  if (theta_ > 0 && theta_ < 1) {
    ReaVec& w0 = Nodal(work_.surfaceStartVelocity);
    w0 = *w;
    i = 0;
    while (Mesh* m = freeMeshes_.next(i)) static_cast<FreeSMesh*>(m)->TranspirationVelocity(mass, w0, true);
    // The end of the step: (w - (1 - theta) w0) / theta, the pressure's share unchanged.
    ReaVec& we = Nodal(work_.surfaceEndVelocity);
    we.product(wt, 1 / theta_);
    we.add_product(w0, -(1 - theta_) / theta_);
    ReaVec& ahead = Nodal(work_.predictedElevation);
    ahead = beta;
    i = 0;
    while (Mesh* m = freeMeshes_.next(i)) static_cast<FreeSMesh*>(m)->PredictElevation(beta, we, dtTheta_, ahead);
    surface = &ahead;
  }
  const double g = GravVec.length() >= unsigned(Dimension_Olvu) ? GravVec(unsigned(Dimension_Olvu == 3 ? 3 : 2)) : 0.0;
  for (int k = 1; k <= numNodes; ++k) {
    if (!Marked(FreeSurfNodes, k)) continue;
    const double p = -g * (*surface)(unsigned(k));
    if (Sized(vars_[Pres])) vars_[Pres](unsigned(k)) = p;
    if (Sized(PreviousPressure())) PreviousPressure()(unsigned(k)) = p;
  }
}
