// The segregated velocity-pressure solve of the fluid domain: the momentum system and its
// component solves, the velocity boundary treatment (rotated rows, coupled boundary pass,
// pointwise correction), the divergence-free pressure and the velocity projection.
#include "flow/flowsolver.h"

#include <cmath>

#include "domain/fluiddomain.h"
#include "domain/fluidmesh.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/matrix.h"
#include "foundation/threads.h"
#include "input/fluidfunction.h"
#include "input/functbl.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"

namespace {

bool Sized(const ReaVec& v) { return v.length() > 0; }

// A set that has members (an unsized set has none).
bool HasMembers(const BitVec& b) { return b.length() > 0 && !b.null(); }

// Bit i (1-based) of a set that may be unsized.
bool In(const BitVec& b, unsigned i) { return i <= b.length() && b(i); }

// The empty vector passed where an operation takes no source or no weights.
const ReaVec kNone;

// Arrays of the momentum right-hand sides of C velocity components over one pattern (rows rp,
// columns col; fp maps a full position to the mass matrix's upper storage).
template <int C>
struct MomentumArrays {
  const int* rp;
  const int* col;
  const int* fp;
  const double* mv;     // mass, upper storage
  const double* kv;     // convective matrix K
  const double* gv[C];  // gradient matrices
  const double* p;      // pressure (null: no gradient term)
  const double* u[C];   // velocity
  const double* u0[C];  // start-of-step velocity
  const double* im;     // inverse lumped mass
  double* b[C];         // right-hand sides
  double* a[C];         // m^-1 K u
  double* w[C];         // K^T a (zeroed here)
  // Filled when the same pass also builds A = s M + V + K + diag(tau) S (V of ViscousTerm).
  double* av = nullptr;
  const double* lv = nullptr;   // Laplacian, upper storage
  const double* sv = nullptr;   // streamline matrix S
  const double* nu = nullptr;   // viscosity
  const double* tau = nullptr;  // stabilisation parameter
};

// The viscous term V of the momentum, the Laplacian L with the viscosity nu_ij = (nu_i + nu_j) / 2
// of each pair of nodes: V = (diag(nu) L + L diag(nu)) / 2 - diag(L nu) / 2. It is conservative
// (the rows of L sum to 0, so do V's), and so the wall stress carries the body force where an
// eddy viscosity varies across a channel, which the row-scaled diag(nu) L does not; where nu is
// uniform the two agree.

// b_c = s M u0_c - G_c p and a_c = m^-1 K u_c, row by row, and A with the mass coefficient sa.
// The sums live in scalars, so that the inner loop keeps them in registers.
template <int C>
void MomentumGather(int rows, double s, double sa, const MomentumArrays<C>& m) {
  const int *rp = m.rp, *col = m.col, *fp = m.fp;
  const double *mv = m.mv, *kv = m.kv, *p = m.p;
  const double *u0x = m.u0[0], *u0y = m.u0[1], *u0z = m.u0[C - 1];
  const double *ux = m.u[0], *uy = m.u[1], *uz = m.u[C - 1];
  const double *gx = m.gv[0], *gy = m.gv[1], *gz = m.gv[C - 1];
  double* av = m.av;
  const double *lv = m.lv, *sv = m.sv;
  const double* nu = m.nu;
  ParallelFor(rows, [&](int i) {
    double mx = 0, my = 0, mz = 0, kx = 0, ky = 0, kz = 0, px = 0, py = 0, pz = 0;
    const double ni = av ? nu[i] : 0, ti = av ? m.tau[i] : 0;
    double lnu = 0;
    int dk = -1;
    for (int k = rp[i]; k < rp[i + 1]; ++k) {
      const int j = col[k], q = fp[k];
      const double mm = mv[q], kk = kv[k];
      if (av) {
        av[k] = sa * mm + 0.5 * (ni + nu[j]) * lv[q] + kk + ti * sv[k];
        lnu += lv[q] * nu[j];
        if (j == i) dk = k;
      }
      mx += mm * u0x[j], my += mm * u0y[j];
      kx += kk * ux[j], ky += kk * uy[j];
      if constexpr (C == 3) mz += mm * u0z[j], kz += kk * uz[j];
    }
    if (dk >= 0) av[dk] -= 0.5 * lnu;
    if (p)
      for (int k = rp[i]; k < rp[i + 1]; ++k) {
        const double pj = p[col[k]];
        px += gx[k] * pj, py += gy[k] * pj;
        if constexpr (C == 3) pz += gz[k] * pj;
      }
    const double mu[3] = {mx, my, mz}, ku[3] = {kx, ky, kz}, gp[3] = {px, py, pz};
    for (int c = 0; c < C; ++c) {
      m.b[c][i] = s * mu[c] - gp[c];
      m.a[c][i] = ku[c] * m.im[i];
      m.w[c][i] = 0;
    }
  });
}

// w_c += K^T a_c: over the rows in order on one thread; gathered by column on many (`cols`), each
// column summing its rows in the same order.
template <int C>
void MomentumScatter(int rows, const MomentumArrays<C>& m, const PatternColumns* cols) {
  const int *rp = m.rp, *col = m.col;
  const double* kv = m.kv;
  const double *ax = m.a[0], *ay = m.a[1], *az = m.a[C - 1];
  double *wx = m.w[0], *wy = m.w[1], *wz = m.w[C - 1];
  if (cols) {
    const int *cs = cols->Start(), *cr = cols->Row(), *cp = cols->Pos();
    ParallelFor(rows, [&](int j) {
      double sx = 0, sy = 0, sz = 0;
      for (int t = cs[j]; t < cs[j + 1]; ++t) {
        const int i = cr[t];
        const double kk = kv[cp[t]];
        sx += kk * ax[i], sy += kk * ay[i];
        if constexpr (C == 3) sz += kk * az[i];
      }
      wx[j] += sx, wy[j] += sy;
      if constexpr (C == 3) wz[j] += sz;
    });
    return;
  }
  for (int i = 0; i < rows; ++i) {
    const double a0 = ax[i], a1 = ay[i], a2 = az[i];
    for (int k = rp[i]; k < rp[i + 1]; ++k) {
      const int j = col[k];
      const double kk = kv[k];
      wx[j] += kk * a0, wy[j] += kk * a1;
      if constexpr (C == 3) wz[j] += kk * a2;
    }
  }
}

// Arrays of the pressure system over one pattern.
template <int C>
struct PressureArrays {
  const int *rp, *col, *fp;
  const double* lv;     // Laplacian, upper storage
  const double* gv[C];  // gradient matrices
  const double* p;      // pressure
  const double* prev;   // previous-iteration pressure
  const double* u[C];   // velocity
  const double* im;     // inverse lumped mass
  double* av;           // system matrix values
  double* b;            // right-hand side: dt L prev - D u
  double* pi[C];        // nodal pressure gradient m^-1 G_c p
  double* g;            // sum_c G_c^T pi_c (zeroed here)
};

// A = L, b = dt L prev - sum G_c u_c and pi_c = m^-1 G_c p, row by row.
template <int C>
void PressureGather(int rows, double dt, const PressureArrays<C>& m) {
  const int *rp = m.rp, *col = m.col, *fp = m.fp;
  const double *lv = m.lv, *p = m.p, *prev = m.prev;
  const double *gx = m.gv[0], *gy = m.gv[1], *gz = m.gv[C - 1];
  const double *ux = m.u[0], *uy = m.u[1], *uz = m.u[C - 1];
  double* av = m.av;
  ParallelFor(rows, [&](int i) {
    double lp = 0, du = 0, px = 0, py = 0, pz = 0;
    for (int k = rp[i]; k < rp[i + 1]; ++k) {
      const int j = col[k];
      const double l = lv[fp[k]], pj = p[j];
      av[k] = l;
      lp += l * prev[j];
      du += gx[k] * ux[j] + gy[k] * uy[j];
      px += gx[k] * pj, py += gy[k] * pj;
      if constexpr (C == 3) du += gz[k] * uz[j], pz += gz[k] * pj;
    }
    m.b[i] = dt * lp - du;
    m.pi[0][i] = px * m.im[i], m.pi[1][i] = py * m.im[i];
    if constexpr (C == 3) m.pi[2][i] = pz * m.im[i];
    m.g[i] = 0;
  });
}

// b = (tau g + b) / (tau + dt), the right-hand side weighted by the parameter tau of each row.
inline double PressureRow(double b, double g, double tau, double dt) { return (tau * g + b) / (tau + dt); }

// g += sum_c G_c^T pi_c, each column summing its rows in order. On one thread, row by row; on
// many (`cols`), by ScatterByBlocks, or where its blocks are too short gathered by column as in
// MomentumScatter; there each column, complete, also finishes its right-hand side b (PressureRow
// with `tau`), which saves a pass. Returns whether it did.
template <int C>
bool PressureScatter(int rows, const PressureArrays<C>& m, const PatternColumns* cols, const double* tau, double dt) {
  const int *rp = m.rp, *col = m.col;
  const double *gx = m.gv[0], *gy = m.gv[1], *gz = m.gv[C - 1];
  const double *qx = m.pi[0], *qy = m.pi[1], *qz = m.pi[C - 1];
  double* g = m.g;
  // Row i into the columns j that take(j).
  auto add = [=](int i, auto take) {
    const double ax = qx[i], ay = qy[i], az = qz[i];
    for (int k = rp[i]; k < rp[i + 1]; ++k) {
      const int j = col[k];
      if (!take(j)) continue;
      double x = gx[k] * ax + gy[k] * ay;
      if constexpr (C == 3) x += gz[k] * az;
      g[j] += x;
    }
  };
  if (!cols) {
    for (int i = 0; i < rows; ++i) add(i, [](int j) { return j >= 0; });
    return false;
  }
  if (ScatterByBlocks(*cols, rows, add)) return false;
  const int *cs = cols->Start(), *cr = cols->Row();
  const int* cp = cols->Pos();
  double* b = m.b;
  ParallelFor(rows, [&](int j) {
    double s = 0;
    for (int t = cs[j]; t < cs[j + 1]; ++t) {
      const int i = cr[t], k = cp[t];
      double x = gx[k] * qx[i] + gy[k] * qy[i];
      if constexpr (C == 3) x += gz[k] * qz[i];
      s += x;
    }
    g[j] += s;
    b[j] = PressureRow(b[j], g[j], tau[j], dt);
  });
  return true;
}

// Arrays of the velocity projection u_c -= f m^-1 G_c d.
struct ProjectionArrays {
  const int *rp, *col;
  const double* gv[3];  // gradient matrices
  const double* d;      // pressure change
  const double* im;     // inverse lumped mass
  double f;             // theta dt
  double* u[3];         // velocity
};

// The projection of C components, row by row; the component count fixed at compile time keeps
// the row sums in registers.
template <int C>
void Project(int rows, const ProjectionArrays& m) {
  const int *rp = m.rp, *col = m.col;
  const double *d = m.d, *im = m.im;
  ParallelFor(rows, [&](int i) {
    double g[C] = {};
    for (int k = rp[i]; k < rp[i + 1]; ++k) {
      const double dj = d[col[k]];
      for (int c = 0; c < C; ++c) g[c] += m.gv[c][k] * dj;
    }
    const double f = m.f * im[i];
    for (int c = 0; c < C; ++c) m.u[c][i] -= f * g[c];
  });
}

}  // namespace

// ---------------------------------------------------------------- pointwise pieces

const PatternColumns* FluidDomain::Columns() {
  if (!Threaded(std::size_t(numNodes))) return nullptr;
  if (!columns_.Fits(pattern_)) columns_.Build(pattern_);
  return &columns_;
}

double Eval_Tau(double tauc, double nu, double h) {
  if (nu < 1e-14) return tauc;
  return 1.0 / (4 * nu / (h * h) + 1.0 / (tauc + 1e-14));
}

double Eval_TauP(double tauc, double nu, double, double h) {
  if (nu < 1e-14) return 0.0;
  return 1.0 / (4 * nu / (h * h) + 1.0 / (tauc + 1e-14));
}

void RotationMatrixFromVector(double (*R)[3], const double* n, int dimension) {
  const double nx = n[0], ny = n[1], nz = dimension == 3 ? n[2] : 0.0;
  R[0][0] = nx, R[0][1] = ny, R[0][2] = nz;
  if (dimension != 3) {
    R[0][2] = 0;
    R[1][0] = -ny, R[1][1] = nx, R[1][2] = 0;
    R[2][0] = R[2][1] = R[2][2] = 0;
    return;
  }
  if (std::fabs(nx) > 0.9) {
    const double s = std::sqrt(nx * nx + ny * ny);
    R[1][0] = -ny / s, R[1][1] = nx / s, R[1][2] = 0;
    R[2][0] = -nx * nz, R[2][1] = -nz * ny, R[2][2] = nx * nx + ny * ny;
  } else {
    const double s = std::sqrt(ny * ny + nz * nz);
    R[1][0] = 0, R[1][1] = -nz / s, R[1][2] = ny / s;
    R[2][0] = ny * ny + nz * nz, R[2][1] = -nx * ny, R[2][2] = -nx * nz;
  }
  const double l = std::sqrt(R[2][0] * R[2][0] + R[2][1] * R[2][1] + R[2][2] * R[2][2]);
  for (double& x : R[2]) x /= l;
}

// No caller in the program (the component solves use the array form): code that works in Matrix
// and ReaVec would.
void RotationMatrixFromVector(Matrix& R, const ReaVec& n, int dimension) {
  const double v[3] = {n(1), n(2), n.length() > 2 ? n(3) : 0.0};
  double r[3][3];
  RotationMatrixFromVector(r, v, dimension);
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) R(a + 1, b + 1) = r[a][b];
}

// No caller: a moving body turned by an angle about an axis would build its rotation here.
void RotateAxe(Matrix& R, const ReaVec& axis, double angle) {
  const double x = axis(1), y = axis(2), z = axis(3);
  const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
  R(1, 1) = t * x * x + c, R(1, 2) = t * x * y - s * z, R(1, 3) = t * x * z + s * y;
  R(2, 1) = t * x * y + s * z, R(2, 2) = t * y * y + c, R(2, 3) = t * y * z - s * x;
  R(3, 1) = t * x * z - s * y, R(3, 2) = t * y * z + s * x, R(3, 3) = t * z * z + c;
}

// ---------------------------------------------------------------- momentum

void FluidDomain::EffectiveViscosity(ReaVec& v) {
  const bool k = Sized(vars_[KVisc]), t = Sized(vars_[TVisc]);
  if (k && t)
    v.plus(vars_[KVisc], vars_[TVisc]);
  else if (k)
    v = vars_[KVisc];
  else if (t)
    v = vars_[TVisc];
  else
    v = 0.0;
}

void FluidDomain::CalculateBodyForces(ReaVec& fx, ReaVec& fy, ReaVec& fz) {
  fx = 0.0, fy = 0.0, fz = 0.0;
  const DofType acc[3] = {DofType::AccelerationX, DofType::AccelerationY, DofType::AccelerationZ};
  bool any[3] = {false, false, false}, floats = false;
  int i = 0;
  while (Mesh* m = fluidMeshes_.next(i)) {
    FluidFuncTbl* f = static_cast<FluidMesh*>(m)->funtions();
    for (int k = 0; k < 3; ++k) any[k] = any[k] || f->FFunc(int(acc[k]));
    floats = floats || f->FFunc(int(DofType::Floatability));
  }
  const bool reference = Dens_Reference > 1e-14;
  bodyForces_ = any[0] || any[1] || any[2] || floats || reference;
  if (!bodyForces_) return;

  // b = -floatability (with temperature) + (rho - rho_ref) / rho: the buoyancy factor of gravity.
  ReaVec& b = Nodal(work_.buoyancy);
  b = 0.0;
  if (floats && Solves(PTemperature)) {
    EvalDomainFunction(DofType::Floatability, b);
    b.opposite();
  }
  const ReaVec& rho = vars_[Dens];
  if (reference)
    for (unsigned n = 1; n <= b.length(); ++n) b(n) += (rho(n) - Dens_Reference) / rho(n);
  ReaVec* f[3] = {&fx, &fy, &fz};
  for (int k = 0; k < 3; ++k) {
    ReaVec& out = *f[k];
    if (any[k]) {
      EvalDomainFunction(acc[k], out);
      out.quotient(rho);
    }
    const double g = GravVec.length() > unsigned(k) ? GravVec(unsigned(k + 1)) : 0.0;
    if (g != 0) out.add_product(b, g);
  }
}

void FluidDomain::Assemble_NSRHS(ReaVec& bx, ReaVec& by, ReaVec& bz) {
  parts_->WallTerms(bx, by, bz);
  if (splitPressure_ || !Sized(vars_[Pres])) return;
  const double* p = vars_[Pres].GivePointer();
  sys_[2]->sub_mult(p, bx.GivePointer());
  sys_[3]->sub_mult(p, by.GivePointer());
  if (Dimension_Olvu == 3) sys_[4]->sub_mult(p, bz.GivePointer());
}

bool FluidDomain::SharedRows() const {
  // The symmetric matrices reach their values through the full-position map; the kernels walk
  // every matrix by the general matrices' positions, which are the same full positions.
  return mass_ && lap_ && sys_[1] && mass_->full_pos() && mass_->full_nnz() == sys_[1]->numnonzeros() &&
         lap_->full_pos() == mass_->full_pos();
}

void FluidDomain::MomentumTau() {
  ReaVec& nu = nu_;
  EffectiveViscosity(nu);
  ReaVec& tau = vars_[TauEq];
  const double* tc = vars_[TauV].GivePointer();
  const double* h = vars_[ElemSize].GivePointer();
  const double* v = nu.GivePointer();
  double* t = tau.GivePointer();
  ParallelFor(numNodes, [&](int k) { t[k] = Eval_Tau(tc[k], v[k], h[k]); });
  tau.limit(tauHigh_, tauLow_);
}

void FluidDomain::MomentumMatrix() {
  wallDiagonalDue_ = true;
  MomentumTau();
  const ReaVec& nu = nu_;
  const ReaVec& tau = vars_[TauEq];
  SystemSparseMatrix* A = sys_[1];
  if (!SharedRows()) {
    A->product(mass_, MomentumMass());
    // The viscous term V (MomentumGather); halving and doubling nu are exact.
    nu_ *= 0.5;
    A->row_mult_add(nu_, lap_);
    A->col_mult_add(nu_, lap_);
    ReaVec& lnu = Nodal(work_.viscousDiagonal);
    lnu.resize(unsigned(numNodes), 0.0);
    lap_->mult(nu_, lnu);
    nu_ *= 2.0;
    lnu *= -1.0;
    A->diag_vect_add(lnu);
    A->add(sys_[7]);
    A->row_mult_add(tau, sys_[8]);
    return;
  }
  // A = M / (theta dt) + V + K + diag(tau) S in one pass over the positions, V the viscous
  // term of MomentumGather.
  const int* rp = A->row_ptr(0);
  const int* fp = mass_->full_pos();
  const double* mv = mass_->sval(0);
  const double* lv = lap_->sval(0);
  const double* kv = sys_[7]->val(0);
  const double* sv = sys_[8]->val(0);
  double* av = A->val(0);
  const double s = MomentumMass();
  const double* v = nu.GivePointer();
  const double* t = tau.GivePointer();
  const int* col = A->col_ind(0);
  ParallelFor(numNodes, [&](int i) {
    const double ni = v[i], ti = t[i];
    double lnu = 0;
    int dk = -1;
    for (int k = rp[i]; k < rp[i + 1]; ++k) {
      const int q = fp[k], j = col[k];
      av[k] = s * mv[q] + 0.5 * (ni + v[j]) * lv[q] + kv[k] + ti * sv[k];
      lnu += lv[q] * v[j];
      if (j == i) dk = k;
    }
    if (dk >= 0) av[dk] -= 0.5 * lnu;
  });
}

void FluidDomain::MomentumRightHandSides(ReaVec* start, bool buildMatrix) {
  const int comps = Dimension_Olvu == 3 ? 3 : 2;
  if (comps == 2) Rhs(2) = 0.0;
  const int order = stab_[0];
  if (!SharedRows() || (order != 0 && order != 1)) {
    ReaVec none;
    for (int c = 0; c < comps; ++c)
      Assemble_RHS(vars_[VelX + c], start[c], none, Rhs(c), order);
    Assemble_NSRHS(Rhs(0), Rhs(1), Rhs(2));
    return;
  }
  // One gather pass forms M u0_c, K u_c and G_c p per row; with fourth-order stabilisation a
  // scatter pass adds K^T (m^-1 K u_c), weighted by tau at the end.
  const bool gradient = !splitPressure_ && Sized(vars_[Pres]);
  auto fill = [&](auto& m) {
    m.rp = sys_[1]->row_ptr(0);
    m.col = sys_[1]->col_ind(0);
    m.fp = mass_->full_pos();
    m.mv = mass_->sval(0);
    m.kv = sys_[7]->val(0);
    m.p = gradient ? vars_[Pres].GivePointer() : nullptr;
    m.im = invLumped_.GivePointer();
    for (int c = 0; c < comps; ++c) {
      m.gv[c] = sys_[2 + c]->val(0);
      m.u[c] = vars_[VelX + c].GivePointer();
      m.u0[c] = start[c].GivePointer();
      m.b[c] = Rhs(c).GivePointer();
      m.a[c] = Nodal(work_.convective[c]).GivePointer();
      m.w[c] = Nodal(work_.streamline[c]).GivePointer();
    }
    if (buildMatrix) {
      wallDiagonalDue_ = true;
      m.av = sys_[1]->val(0);
      m.lv = lap_->sval(0);
      m.sv = sys_[8]->val(0);
      m.nu = nu_.GivePointer();
      m.tau = vars_[TauEq].GivePointer();
    }
  };
  if (comps == 2) {
    MomentumArrays<2> m;
    fill(m);
    MomentumGather(numNodes, invDtTheta_, MomentumMass(), m);
    if (order == 1) MomentumScatter(numNodes, m, Columns());
  } else {
    MomentumArrays<3> m;
    fill(m);
    MomentumGather(numNodes, invDtTheta_, MomentumMass(), m);
    if (order == 1) MomentumScatter(numNodes, m, Columns());
  }
  parts_->WallTerms(Rhs(0), Rhs(1), Rhs(2));
  if (order != 1) return;
  // All components in one pass: one join instead of one per component.
  const double* t = vars_[TauEq].GivePointer();
  double* b[3] = {Rhs(0).GivePointer(), Rhs(1).GivePointer(), Rhs(2).GivePointer()};
  const double* w[3] = {work_.streamline[0].GivePointer(), work_.streamline[1].GivePointer(),
                        work_.streamline[comps - 1].GivePointer()};
  ParallelFor(std::size_t(numNodes), [&b, &w, t, comps](std::size_t i) {
    for (int c = 0; c < comps; ++c) b[c][i] += t[i] * w[c][i];
  });
}

bool FluidDomain::PseudoStepping() const { return pseudoStep_ > 0 && pseudoStep_ < dt_; }

double FluidDomain::MomentumMass() const { return PseudoStepping() ? 1 / (theta_ * pseudoStep_) : invDtTheta_; }

double FluidDomain::PressureStep() const { return PseudoStepping() ? pseudoStep_ : dt_; }

ReaVec* FluidDomain::PseudoStepOperands() {
  // A pseudo-step T adds M (u - u~) / (theta T) to the momentum: the matrix takes M / (theta T)
  // in place of M / (theta dt), and the right-hand side M (u0 + (dt / T - 1) u~) / (theta dt),
  // u~ the iterate with the divergence that the last pressure change takes out of it removed, as
  // the projection would remove it (at the step's first iteration the start velocity, which the
  // last projection has corrected). At convergence u~ = u and the step's own equations remain.
  const int comps = Dimension_Olvu == 3 ? 3 : 2;
  const bool project = Iterations > 1 && Sized(vars_[Pres]) && PreviousPressure().length() == vars_[Pres].length();
  ReaVec& dp = Nodal(work_.pressureChange);
  if (project) dp.minus(vars_[Pres], PreviousPressure());
  const double a = dt_ / pseudoStep_ - 1;
  ReaVec* w = work_.pseudoOperand;
  for (int c = 0; c < comps; ++c) {
    ReaVec& o = Nodal(w[c]);
    if (project) {
      sys_[2 + c]->mult(dp.GivePointer(), o.GivePointer());
      o.product(invLumped_);
      o *= -theta_ * pseudoStep_;
      o += vars_[VelX + c];
    } else {
      o = vars_[VelX + c];
    }
    o *= a;
    o += vars_[VelX0 + c];
  }
  return w;
}

double FluidDomain::CrossingTime() {
  if (!Solves(PVelocity) || minCorner.length() < 3 || maxCorner.length() < 3) return 1e100;
  double d2 = 0;
  for (unsigned c = 1; c <= 3; ++c) d2 += (maxCorner(c) - minCorner(c)) * (maxCorner(c) - minCorner(c));
  double nu = 0;
  for (int id : {KVisc, TVisc})
    if (Sized(vars_[id])) nu += vars_[id].max_abs();
  const double rate = d2 > 0 ? Max_Velocity / std::sqrt(d2) + nu / d2 : 0;
  return rate > 0 ? 1 / rate : 1e100;
}

double FluidDomain::ContinuityChange() {
  // u_c -= m^-1 theta T G_c (p - p_prev) at the free components, as the projection does, measured
  // as a velocity solve measures its change: the largest change of each component, summed.
  if (!Solves(PVelocity) || !Solves(PPressure) || PreviousPressure().length() != vars_[Pres].length()) return 0;
  ReaVec& dp = Nodal(work_.pressureChange);
  dp.minus(vars_[Pres], PreviousPressure());
  ReaVec& g = Nodal(work_.projectionGradient);
  const double f = theta_ * PressureStep();
  const int comps = Dimension_Olvu == 3 ? 3 : 2;
  double change = 0;
  for (int c = 0; c < comps; ++c) {
    sys_[2 + c]->mult(dp.GivePointer(), g.GivePointer());
    const BitVec& fixed = conds_[FixVelX + c];
    double largest = 0;
    for (int k = 1; k <= numNodes; ++k) {
      const unsigned i = unsigned(k);
      if (!In(fixed, i)) largest = std::fmax(largest, std::fabs(f * g(i) * invLumped_(i)));
    }
    change += largest;
  }
  return change;
}

void FluidDomain::AssembleMomentum() {
  if (!Solves(PVelocity)) return;
  ReaVec* f = &vars_[BodyForceX];
  CalculateBodyForces(f[0], f[1], f[2]);
  ReaVec* start = PseudoStepping() ? PseudoStepOperands() : &vars_[VelX0];
  if (SharedRows() && (stab_[0] == 0 || stab_[0] == 1)) {
    // The matrix is built in the right-hand sides' pass, which reads the same positions.
    MomentumTau();
    MomentumRightHandSides(start, true);
  } else {
    MomentumMatrix();
    MomentumRightHandSides(start);
  }
  const int comps = Dimension_Olvu == 3 ? 3 : 2;
  for (int c = 0; c < comps; ++c)
    if (bodyForces_ && f[c].max_abs() > 0) mass_->add_mult(f[c].GivePointer(), Rhs(c).GivePointer());
}

void FluidDomain::SolveVelocityX(int prepareOnly) { SolveVelocityComponent(0, prepareOnly); }
void FluidDomain::SolveVelocityY(int prepareOnly) { SolveVelocityComponent(1, prepareOnly); }
void FluidDomain::SolveVelocityZ(int prepareOnly) { SolveVelocityComponent(2, prepareOnly); }

void FluidDomain::SolveVelocityComponent(int c, int prepareOnly) {
  if (!Solves(PVelocity)) return;
  if (c == 2 && Dimension_Olvu != 3) return;
  static const char* const kLabel[3] = {"Fluid Velocity X", "Fluid Velocity Y", "Fluid Velocity Z"};
  SystemSparseMatrix* A = sys_[1];
  SystemSparseMatrix* W = sys_[0];
  W->copy_val(A);
  ReaVec& rhs = Nodal(work_.componentRhs[c]);
  const ReaVec& b = Rhs(c);
  rhs = b;
  ReaVec& u = vars_[VelX + c];
  const BitVec& fixed = conds_[FixVelX + c];
  const BitVec& normal = conds_[NormalVelNodes];
  const BitVec& gradient = conds_[FixGradient];
  const BitVec& symmetry = conds_[SymmPlaneNodes];
  const bool anyNormal = HasMembers(normal), anyGradient = HasMembers(gradient);
  for (int k = 1; k <= numNodes; ++k) {
    const unsigned i = unsigned(k);
    if (In(fixed, i)) {
      rhs(i) = u(i);
      W->Fix_AllRow(k - 1);
    } else if (anyNormal && normal(i)) {
      // The component's equation becomes the tangential projection of the momentum equations
      // plus its share of the normal condition n.u = vn.
      const ReaVec& n = *normals_.get_at(k);
      const double vn = normalVelocity_[std::size_t(k)];
      double R[3][3];
      const double nv[3] = {n(1), n(2), n.length() > 2 ? n(3) : 0.0};
      RotationMatrixFromVector(R, nv, Dimension_Olvu);
      const double t = R[1][c] * R[1][c] + R[2][c] * R[2][c];
      const double aii = W->mult_row_off_diagonal(k - 1, t);
      double value = t * b(i), normalPart = vn;
      for (int o = 0; o < 3; ++o) {
        if (o == c) continue;
        const double cross = R[1][c] * R[1][o] + R[2][c] * R[2][o];
        const ReaVec& uo = vars_[VelX + o];
        if (cross != 0) value += cross * (Rhs(o)(i) - A->mult_row(k - 1, uo));
        normalPart -= R[0][o] * uo(i);
      }
      rhs(i) = value + R[0][c] * aii * normalPart;
    } else if (anyGradient && gradient(i) && !In(symmetry, i)) {
      rhs(i) = 0;
      W->Copy_Row_Val(k - 1, NullGradientDirection(fixedGradient_, k), *sys_[2], *sys_[3], *sys_[4]);
    }
  }
  if (c == 2) VelocityBoundaries();
  if (prepareOnly) return;
  if (velKept_.length() != unsigned(numNodes)) velKept_.resize(unsigned(numNodes), 0);
  const double change = solver1_->solve(rhs, u, W, velKept_, kNone, 1, kLabel[c]);
  Conv(VarIncrement, ConvVar::Velocity) += change;
  if (smooth_[0]) {
    // The smoothing keeps the kept nodes and the component's fixed values.
    scratchSet_ = velKept_;
    if (fixed.length() == scratchSet_.length()) scratchSet_.or_vec(fixed);
    VarSmoothing(u, scratchSet_, smooth_[0]);
  }
}

void FluidDomain::SolveMomentum() {
  if (!Solves(PVelocity)) return;
  Clock clock(kind_ == 2 ? "Solving Solid-Velocity (Momentum Equation)" : "Solving Fluid-Velocity (Momentum Equation)");
  AssembleMomentum();
  SolveVelocityX(0);
  SolveVelocityY(0);
  SolveVelocityZ(0);
  CorrectVelocity();
}

// ---------------------------------------------------------------- velocity boundary treatment

void FluidDomain::VelocityBoundaries() {
  const BitVec& normal = conds_[NormalVelNodes];
  const BitVec& line = conds_[LineVelNodes];
  if (!HasMembers(normal) && !HasMembers(line)) return;
  Clock clock("Velocity Boundaries");
  SystemSparseMatrix* A = sys_[1];
  const unsigned nn = unsigned(numNodes);
  {
    ReaVecM D(nn);
    A->copy_diagonal(D, 1);
    D.inverse();
    A->row_mult(D);
    for (int c = 0; c < 3; ++c) Rhs(c).product(D);
  }
  if (velKept_.length() != nn) velKept_.resize(nn, 0);
  velKept_.unmark();
  const double tol = Conv(VarIncrement, ConvVar::Velocity);
  double largest = 1e-14;
  ReaVec* u[3] = {&vars_[VelX], &vars_[VelY], &vars_[VelZ]};
  for (int sweep = 0; sweep < 10; ++sweep) {
    double m = 1e-14;
    for (int k = 1; k <= numNodes; ++k) {
      const unsigned i = unsigned(k);
      if (velKept_(i)) continue;
      bool freeComp[3];
      for (int c = 0; c < 3; ++c) {
        freeComp[c] = !In(conds_[FixVelX + c], i);
        if (!freeComp[c]) continue;
        ReaVec& x = *u[c];
        const double old = x(i);
        x(i) = Rhs(c)(i) - A->mult_row(k - 1, x);
        largest = std::fmax(largest, std::fabs(x(i)));
        const double r = std::fabs(x(i) - old) / largest;
        if (r < tol)
          velKept_.assign(i, 1);
        else
          m = std::fmax(m, r);
      }
      if (In(line, i)) {
        const ReaVec& d = *velocityLine_.get_at(k);
        const double q = d(1) * (*u[0])(i) + d(2) * (*u[1])(i) + d(3) * (*u[2])(i);
        for (int c = 0; c < 3; ++c)
          if (freeComp[c]) (*u[c])(i) = d(unsigned(c + 1)) * q;
      }
      if (In(normal, i)) {
        const ReaVec& n = *normals_.get_at(k);
        const double e = n(1) * (*u[0])(i) + n(2) * (*u[1])(i) + n(3) * (*u[2])(i) - normalVelocity_[std::size_t(k)];
        for (int c = 0; c < 3; ++c)
          if (freeComp[c]) (*u[c])(i) -= n(unsigned(c + 1)) * e;
      }
    }
    if (m < tol) break;
  }
}

void FluidDomain::CorrectVelocity() { CorrectVelocity(vars_[VelX], vars_[VelY], vars_[VelZ]); }

void FluidDomain::CorrectVelocity(ReaVec& a1, ReaVec& a2, ReaVec& a3) {
  ReaVec* a[3] = {&a1, &a2, &a3};
  const BitVec& normal = conds_[NormalVelNodes];
  const BitVec& line = conds_[LineVelNodes];
  if (!HasMembers(normal) && !HasMembers(line)) {
    // Without rotated conditions only the fixed components are put back.
    for (int c = 0; c < 3; ++c) {
      const BitVec& fixed = conds_[FixVelX + c];
      const ReaVec& start = vars_[VelX0 + c];
      if (!HasMembers(fixed) || start.length() != a[c]->length()) continue;
      double* x = a[c]->GivePointer();
      const double* x0 = start.GivePointer();
      const unsigned n = fixed.length() < a[c]->length() ? fixed.length() : a[c]->length();
      if (heldVelocity_[c].length()) {
        // Time-dependent and conditional nodes hold the step's own values.
        ParallelFor(n, [this, &fixed, x, c](std::size_t i) {
          if (fixed(unsigned(i + 1))) x[i] = HeldVelocity(c, unsigned(i + 1));
        });
        continue;
      }
      ParallelFor(n, [&fixed, x, x0](std::size_t i) {
        if (fixed(unsigned(i + 1))) x[i] = x0[i];
      });
    }
    return;
  }
  for (unsigned i = 1; i <= a1.length(); ++i) {
    if (In(line, i)) {
      const ReaVec& d = *velocityLine_.get_at(int(i));
      const double q = d(1) * a1(i) + d(2) * a2(i) + d(3) * a3(i);
      for (int c = 0; c < 3; ++c) (*a[c])(i) = d(unsigned(c + 1)) * q;
    }
    if (In(normal, i)) {
      const ReaVec& nv = *normals_.get_at(int(i));
      const double e = normalVelocity_[i] - (nv(1) * a1(i) + nv(2) * a2(i) + nv(3) * a3(i));
      for (int c = 0; c < 3; ++c) (*a[c])(i) += nv(unsigned(c + 1)) * e;
    }
    for (int c = 0; c < 3; ++c)
      if (In(conds_[FixVelX + c], i) && i <= vars_[VelX0 + c].length()) (*a[c])(i) = HeldVelocity(c, i);
  }
}

// ---------------------------------------------------------------- pressure and projection

void FluidDomain::LimitPressureTau(ReaVec& tau) const {
  tau.min_limit(tauPLow_);
  // The convective parameter grows as h / |u| where the flow is slow (a wave's turning points),
  // and so does the floor taken from its mean; a parameter many steps long lets the
  // stabilisation term outweigh the divergence in the pressure equation. Half a step bounds it,
  // as the transient term of the usual parameter would.
  if (dt_ > 0) tau.max_limit(0.5 * dt_);
}

void FluidDomain::FixPressureRows(SystemSparseMatrix* A, ReaVec& b) {
  const BitVec& fixed = conds_[FixPres];
  if (!HasMembers(fixed)) {
    b -= b.sum() / double(b.length());
    return;
  }
  // Eliminated from the columns as well as the rows: the matrix stays symmetric positive
  // definite, which conjugate gradients and the incomplete Cholesky factor rely on.
  A->Fix_Eliminate(fixed, vars_[Pres], b);
}

void FluidDomain::SolvePressure() {
  if (!Solves(PPressure)) return;
  Clock clock("Solving Pressure (Divergence Free)");
  ReaVec& speed = Nodal(work_.speed);
  if (Solves(PMeshDeform) && Sized(vars_[MeshX])) {
    speed = 0.0;
    for (int c = 0; c < 3; ++c) {
      ReaVec& r = Nodal(work_.relativeVelocity[c]);
      r = vars_[VelX + c];
      r.sub_product(vars_[MeshX + c], MeshRate());
      speed.add_product(r, r);
    }
    speed.sqroot();
  } else {
    speed.norm(vars_[VelX], vars_[VelY], vars_[VelZ]);
  }
  ReaVec& nu = Nodal(work_.viscosity);
  EffectiveViscosity(nu);
  ReaVec& tau = vars_[TauEq];
  const double* tc = vars_[TauV].GivePointer();
  const double* h = vars_[ElemSize].GivePointer();
  const double* v = nu.GivePointer();
  const double* s = speed.GivePointer();
  double* t = tau.GivePointer();
  ParallelFor(numNodes, [&](int k) { t[k] = Eval_TauP(tc[k], v[k], s[k], h[k]); });
  LimitPressureTau(tau);
  PreviousPressure() = vars_[Pres];
  Conv(VarIncrement, ConvVar::Pressure) += DivergenceFreePressure(PreviousPressure(), stab_[1] != 0, "Pressure");
}

double FluidDomain::DivergenceFreePressure(const ReaVec& prev, bool gradientTerm, const char* label) {
  AssemblePressure(prev, gradientTerm);
  ReaVec& p = vars_[Pres];
  const double change = solver2_->solve(Rhs(0), p, sys_[0], conds_[FixPres], lumped_, 1, label);
  if (!HasMembers(conds_[FixPres]) && numNodes > 0) p -= p(1);
  if (Sized(vars_[Compress])) {
    ReaVec& d = vars_[Dens];
    const ReaVec& g = vars_[Compress];
    const ReaVec& p0 = vars_[Pres0];
    const ReaVec& base = vars_[DensCopy];
    for (int k = 1; k <= numNodes; ++k) {
      const unsigned i = unsigned(k);
      d(i) = base(i) * (1 + g(i) * (p(i) - p0(i)));
    }
  }
  return change;
}

void FluidDomain::AssemblePressure(const ReaVec& prev, bool gradientTerm) {
  SystemSparseMatrix* A = sys_[0];
  const ReaVec& p = vars_[Pres];
  const ReaVec& tau = vars_[TauEq];
  ReaVec& b = Rhs(0);
  const int comps = Dimension_Olvu == 3 ? 3 : 2;
  // The pressure change an iteration makes is the divergence over the step (or pseudo-step) that
  // the velocity answers it in.
  const double step = PressureStep();
  // The continuity holds at the end of the step. A theta step solves for u and p at t^n + theta
  // dt and extrapolates u^n+1 = (u - (1 - theta) u^n) / theta from it: were the divergence of u
  // held instead, u^n+1 would take that of u^n with the factor -(1 - theta) / theta, which at
  // theta 1/2 returns any divergence of the start field with alternating sign at every step.
  const ReaVec* u[3] = {&vars_[VelX], &vars_[VelY], &vars_[VelZ]};
  const bool partial = theta_ != 1 && theta_ > 0;
  if (partial)
    for (int c = 0; c < comps; ++c) {
      ReaVec& e = Nodal(work_.stepEndVelocity[c]);
      const double* x = u[c]->GivePointer();
      const double* x0 = vars_[VelX0 + c].GivePointer();
      double* y = e.GivePointer();
      const double a = 1 / theta_, a0 = (1 - theta_) / theta_;
      ParallelFor(std::size_t(numNodes), [=](std::size_t i) { y[i] = a * x[i] - a0 * x0[i]; });
      u[c] = &e;
    }
  if (SharedRows()) {
    // One gather pass copies L into A and forms L prev, D u = sum G_c u_c and the nodal
    // pressure gradient pi_c = m^-1 G_c p; a scatter pass adds G_c^T pi_c (the projected
    // pressure gradient, which pulls the pressure gradient towards its smooth projection).
    auto run = [&](auto& m) {
      m.rp = A->row_ptr(0);
      m.col = A->col_ind(0);
      m.fp = lap_->full_pos();
      m.lv = lap_->sval(0);
      m.p = p.GivePointer();
      m.prev = prev.GivePointer();
      m.im = invLumped_.GivePointer();
      m.av = A->val(0);
      m.b = b.GivePointer();
      m.g = Nodal(work_.projectedGradient).GivePointer();
      for (int c = 0; c < comps; ++c) {
        m.gv[c] = sys_[2 + c]->val(0);
        m.u[c] = u[c]->GivePointer();
        m.pi[c] = Nodal(work_.pressureGradient[c]).GivePointer();
      }
      PressureGather(numNodes, step, m);
      return gradientTerm && PressureScatter(numNodes, m, Columns(), tau.GivePointer(), step);
    };
    bool finished;
    if (comps == 2) {
      PressureArrays<2> m;
      finished = run(m);
    } else {
      PressureArrays<3> m;
      finished = run(m);
    }
    if (!finished) {
      double* bp = b.GivePointer();
      const double* g = work_.projectedGradient.GivePointer();
      const double* t = tau.GivePointer();
      const double dt = step;
      ParallelFor(std::size_t(numNodes), [=](std::size_t i) { bp[i] = PressureRow(bp[i], g[i], t[i], dt); });
    }
  } else {
    A->copy_val(lap_);
    b = 0.0;
    if (gradientTerm) {
      ReaVec& pi = Nodal(work_.pressureGradient[0]);
      for (int k = 0; k < comps; ++k) {
        sys_[2 + k]->mult(p.GivePointer(), pi.GivePointer());
        pi.product(invLumped_);
        sys_[2 + k]->add_trans_mult(pi.GivePointer(), b.GivePointer());
      }
      b.product(tau);
    }
    ReaVec& lp = Nodal(work_.previousLaplacian);
    lap_->mult(prev.GivePointer(), lp.GivePointer());
    b.add_product(lp, step);
    for (int k = 0; k < comps; ++k) sys_[2 + k]->sub_mult(u[k]->GivePointer(), b.GivePointer());
    double* bp = b.GivePointer();
    const double* t = tau.GivePointer();
    for (int k = 0; k < numNodes; ++k) bp[k] /= t[k] + step;
  }
  const bool compressible = Sized(vars_[Compress]);
  if (compressible) {
    ReaVec& w = Nodal(work_.compressibility);
    w.product(vars_[Compress], invDtTheta_ * invDtTheta_);
    if (step != dt_)
      // The rows are divided by tau + T, not tau + dt: the compressibility keeps its weight
      // against the divergence.
      for (int k = 1; k <= numNodes; ++k) w(unsigned(k)) *= (tau(unsigned(k)) + dt_) / (tau(unsigned(k)) + step);
    A->row_mult_add(w, mass_);
    ReaVec& mp = Nodal(work_.previousMassPressure);
    mass_->mult(vars_[Pres0].GivePointer(), mp.GivePointer());
    b.add_product(w, mp);
  }
  FixPressureRows(A, b);
}

void FluidDomain::SolveProjection() {
  if (!Solves(PNavierStokes)) return;
  const double ratio = HasConv(VarIncrRatio, ConvVar::Pressure) ? Conv(VarIncrRatio, ConvVar::Pressure) : 0.0;
  const double tol = HasConv(VarTolerance, ConvVar::Pressure) ? Conv(VarTolerance, ConvVar::Pressure) : 0.0;
  // A NaN ratio fails the comparison and so runs the projection.
  if (!(Iterations < 2 || !(ratio > 0.1 * tol))) return;
  Clock clock("Solving Velocity Projection");
  // u_c -= m^-1 theta dt G_c (p - p_prev), all components in one pass over the rows (theta T on
  // a pseudo-step, the time the pressure change was formed with).
  ReaVec& dp = Nodal(work_.pressureChange);
  dp.minus(vars_[Pres], PreviousPressure());
  const ProjectionArrays m{sys_[2]->row_ptr(0),
                           sys_[2]->col_ind(0),
                           {sys_[2]->val(0), sys_[3]->val(0), sys_[4]->val(0)},
                           dp.GivePointer(),
                           invLumped_.GivePointer(),
                           theta_ * PressureStep(),
                           {vars_[VelX].GivePointer(), vars_[VelY].GivePointer(), vars_[VelZ].GivePointer()}};
  if (Dimension_Olvu == 3) Project<3>(numNodes, m);
  else Project<2>(numNodes, m);
  CorrectVelocity();
}
