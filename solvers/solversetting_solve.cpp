// Solve operations of a solver setting and the method dispatcher.
#include "solvers/solversetting.h"

#include <cmath>

#include "foundation/alloc.h"
#include "foundation/bitvec.h"
#include "foundation/clock.h"
#include "foundation/error.h"
#include "foundation/reavec.h"
#include "solvers/coupleddomain.h"
#include "solvers/hessenberg.h"
#include "solvers/iterativemethods.h"
#include "solvers/preconditioner.h"
#include "solvers/sparsematrix.h"

namespace {

// Timing-section names; one pointer each, so repeated solves merge into one section.
const char kSolving[] = "Solving";
const char kPreconditioning[] = "Preconditioning";

// Only an exactly zero right-hand side is skipped (its solution is 0): the Krylov tolerances are
// relative, so a right-hand side of small values in small units is solved like any other.
bool ZeroRhs(const ReaVec& b) { return b == 0.0; }

// Change of the solution: largest |new - old|, or sum w_i |new_i - old_i| when w has entries.
double Change(const ReaVec& w, const ReaVec& old_x, const ReaVec& new_x) {
  return w.length() == 0 ? dif_max_abs(new_x, old_x) : dif_norm(w, new_x, old_x);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reporting

namespace {
// Systems at their iteration limit since the last reset: a step that holds one is no steady state.
int unsolved = 0;
}  // namespace

void Solver::warn_not_solved(const char* what, double ratio) const {
  ++unsolved;
  OLVU_WARNING(0, "Not Solved " << name << " " << what << " after " << max_iter << " Iterations. Norm = " << ratio);
}

int Solver::unsolved_count() { return unsolved; }

void Solver::reset_unsolved() { unsolved = 0; }

void Solver::singular(const char* prefix, const char* what) const {
  OLVU_FATAL(prefix << name << " " << what << "\n");
}

void Solver::report(int status, double ratio, const char* what) const {
  if (status == 1) warn_not_solved(what, ratio);
  if (status == 2) singular("Singular system found in ", what);
}

void Solver::check_dimension() const {
  // Before the preconditioner, the Krylov basis and its Hessenberg matrix are built: a dimension
  // beyond the unknowns would fill them for nothing, one near the int range would overflow them.
  if (type == GMRes && kdim > mat->dim(0)) OLVU_FATAL("Invalid m dimension in GMRES.\n");
}

void Solver::require_preconditioner(int refactor) {
  if (!preconditione(refactor)) OLVU_FATAL("Cannot preconditione system " << name << "\n");
}

// ---------------------------------------------------------------------------------------------
// Solve forms

double Solver::solve_fixed(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, const BitVec& fixed, bool bounded,
                           double upper, double lower, const ReaVec& w, int refactor, const char* what) {
  matrix(A);
  AllocReset();
  ReaVecM xm(x);
  if (ZeroRhs(b)) {
    xm = 0.0;
  } else {
    require_preconditioner(refactor);
    double ratio = tol;
    // The status first: the method writes the ratio it reached, which the report then reads.
    const int status = solve(b.GivePointer(), xm.GivePointer(), max_iter, ratio, tol2);
    report(status, ratio, what);
  }
  if (bounded) xm.limit(upper, lower);
  const double change = Change(w, x, xm);
  // Bits beyond the length of fixed count as clear.
  const unsigned len = x.length(), nfixed = fixed.length();
  double* xs = x.GivePointer();
  const double* ms = xm.GivePointer();
  for (unsigned i = 1; i <= len; ++i)
    if (i > nfixed || !fixed(i)) xs[i - 1] = ms[i - 1];
  AllocReset();
  return change;
}

double Solver::solve(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, const BitVec& fixed, const ReaVec& w,
                     int refactor, const char* what) {
  return solve_fixed(b, x, A, fixed, false, 0.0, 0.0, w, refactor, what);
}

double Solver::solve(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, const BitVec& fixed, double upper,
                     double lower, const ReaVec& w, int refactor, const char* what) {
  return solve_fixed(b, x, A, fixed, true, upper, lower, w, refactor, what);
}

void Solver::solve(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, int refactor, const char* what) {
  solve_in_place(b, x, A, refactor, what, nullptr, nullptr);
}

void Solver::solve_in_place(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, int refactor, const char* what,
                            void (*after)(CoupledDomain*), CoupledDomain* d) {
  matrix(A);
  AllocReset();
  ReaVecM xm(x);
  if (ZeroRhs(b)) {
    x = 0.0;
  } else {
    require_preconditioner(refactor);
    double ratio = tol;
    const int status = solve(b.GivePointer(), x.GivePointer(), max_iter, ratio, tol2);
    if (after) after(d);
    report(status, ratio, what);
  }
  b = xm;
  AllocReset();
}

// ---------------------------------------------------------------------------------------------
// Dispatcher

int Solver::explicit_update(const double* b, double* x, double& ratio) const {
  const int rows = mat->dim(0);
  mat->diag_quot(b, x);
  double* r = static_cast<double*>(Alloc((rows > 0 ? rows : 1) * static_cast<long>(sizeof(double))));
  double bb = 0.0, rr = 0.0;
  for (int i = 0; i < rows; ++i) {
    r[i] = b[i];
    bb += b[i] * b[i];
  }
  mat->sub_mult(x, r);
  for (int i = 0; i < rows; ++i) rr += r[i] * r[i];
  ratio = std::sqrt(rr) / (bb > 0.0 ? std::sqrt(bb) : 1.0);
  return 0;
}

int Solver::solve(const double* b, double* x, int limit, double& ratio, double tol2_) {
  Clock clock(kSolving);
  check_dimension();
  // The methods need a preconditioner of the matrix's size, also when called directly.
  if (!precond || precond_rows != mat->dim(0)) require_preconditioner(0);
  int iters = limit;
  double inc = tol2_;
  int status = 0;
  switch (type) {
    case ConjugateGradient:
      status = CG(*mat, x, b, *precond, iters, ratio, inc);
      break;
    case BiConjugateGradient:
      status = BiCG(*mat, x, b, *precond, iters, ratio, inc);
      break;
    case StabBiConjugateGradient:
      status = BiCGSTAB(*mat, x, b, *precond, iters, ratio, inc);
      break;
    case SquaredConjugateGradient:
      status = CGS(*mat, x, b, *precond, iters, ratio, inc);
      break;
    case GMRes: {
      HMatrix H(kdim);
      int m = kdim;
      status = GMRES(*mat, x, b, *precond, H, m, iters, ratio);
      break;
    }
    case GaussSeidel:
      status = GSD(*mat, x, b, *precond, iters, ratio);
      break;
    case Jacobi:
      status = JCD(*mat, x, b, *precond, iters, ratio);
      break;
    case Explicit:
      status = explicit_update(b, x, ratio);
      break;
    default:
      OLVU_FATAL("Wrong Solver Type " << name << "\n");
  }
  if (!std::isfinite(ratio)) return 2;
  return status;
}

Preconditioner* Solver::preconditione(int refactor) {
  Clock clock(kPreconditioning);
  const int rows = mat->dim(0);
  // A kept preconditioner never serves a matrix of another size.
  if (precond && precond_rows != rows) precond.reset();
  if (!precond) {
    switch (precond_type) {
      case 2:
        precond = std::make_unique<ILUPreconditioner>(*mat);
        break;
      case 1:
        precond = std::make_unique<ICPreconditioner>(*mat);
        break;
      case 0:
        precond = std::make_unique<DiagPreconditioner>(*mat);
        break;
      case 3:
        precond = std::make_unique<NonePreconditioner>(*mat);
        break;
      default:
        OLVU_FATAL("Wrong Preconditioner Type " << name << "\n");
    }
    precond_rows = rows;
    return precond.get();
  }
  if (refactor) precond->New_Matrix(*mat);
  return precond.get();
}

int Solver::iterate(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, int limit) {
  Clock clock(kSolving);
  matrix(A);
  if (limit < 1) limit = max_iter / 10;
  if (ZeroRhs(b)) {
    x = 0.0;
    return 1;
  }
  double ratio = tol;
  return solve(b.GivePointer(), x.GivePointer(), limit, ratio, tol2);
}

void Solver::solve_coupled(ReaVec& b1, ReaVec& b2, ReaVec& b3, ReaVec& x1, ReaVec& x2, ReaVec& x3,
                           SystemSparseMatrix* A, CoupledDomain* d, int inner, int refactor, const char* what) {
  matrix(A);
  AllocReset();
  ReaVec* bs[3] = {&b1, &b2, &b3};
  ReaVec* xs[3] = {&x1, &x2, &x3};
  static const char* const kSingular[3] = {"Singular system found in system 1 ", "Singular system found in system 2 ",
                                           "Singular system found in system 3 "};
  // A zero right-hand side has the solution 0; iterating on it would only report it singular.
  bool skip[3];
  for (int k = 0; k < 3; ++k) {
    skip[k] = ZeroRhs(*bs[k]);
    if (skip[k]) *xs[k] = 0.0;
  }
  require_preconditioner(refactor);
  if (inner < 1) inner = 1;
  const int passes = max_iter / inner + 1;
  int status[3] = {0, 0, 0};
  double ratio[3] = {0.0, 0.0, 0.0};
  for (int pass = 1; pass <= passes; ++pass) {
    for (int k = 0; k < 3; ++k) {
      if (skip[k]) continue;
      // Nothing in the pool outlives a method call here, and without the rewind every pass
      // would take new work vectors.
      AllocReset();
      ratio[k] = tol;
      status[k] = solve(bs[k]->GivePointer(), xs[k]->GivePointer(), inner, ratio[k], tol2);
      if (status[k] == 2) singular(kSingular[k], what);
    }
    if (d) d->SolveCoupled(x1, x2, x3);
    if (status[0] == 0 && status[1] == 0 && status[2] == 0) break;
  }
  if (status[0] == 1 || status[1] == 1 || status[2] == 1)
    warn_not_solved(what, std::fmax(ratio[0], std::fmax(ratio[1], ratio[2])));
  AllocReset();
}

// ---------------------------------------------------------------------------------------------
// Domain-coupled solves

void DomainSolver::solve1coupled(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, void (*f)(CoupledDomain*), int refactor,
                                 const char* what) {
  solve_in_place(b, x, A, refactor, what, f, domain);
}

void DomainSolver::solve2coupled(ReaVec& b1, ReaVec& b2, ReaVec& x1, ReaVec& x2, SystemSparseMatrix* A,
                                 void (*f)(CoupledDomain*), int refactor, const char* what) {
  matrix(A);
  AllocReset();
  ReaVecM xm1(x1), xm2(x2);
  if (ZeroRhs(b1)) x1 = 0.0;
  if (ZeroRhs(b2)) x2 = 0.0;
  require_preconditioner(refactor);
  BiConjugatedGradient g1(mat, precond.get(), b1.GivePointer(), x1.GivePointer());
  BiConjugatedGradient g2(mat, precond.get(), b2.GivePointer(), x2.GivePointer());
  for (int i = 1; i <= max_iter; ++i) {
    g1.PerformIteration(tol, tol);
    g2.PerformIteration(tol, tol);
    if (f) f(domain);
  }
  const double ratio = std::fmax(g1.residual(), g2.residual());
  if (!(ratio < tol)) warn_not_solved(what, ratio);
  b1 = xm1;
  b2 = xm2;
  AllocReset();
}
