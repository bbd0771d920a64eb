// Named linear-solver settings (method, preconditioner, limits, tolerances) read from a
// data-file card or given explicitly, with the solve operations of every field solve.
#pragma once

#include <memory>
#include <string>

class Input;
class ReaVec;
class BitVec;
class SystemSparseMatrix;
class Preconditioner;
class CoupledDomain;

/// Method of a solver setting; the codes are stored and switched on.
enum SolverType : int {
  ConjugateGradient = 0,
  BiConjugateGradient = 1,
  Explicit = 2,
  StabBiConjugateGradient = 3,
  GMRes = 4,
  SquaredConjugateGradient = 5,
  GaussSeidel = 6,
  Jacobi = 7
};

/// One named linear-solver setting with its solve operations.
class Solver {
 public:
  /// Setting from the card that `in` holds now; name is the word after the card's keyword.
  Solver(Input* in, const char* name);
  /// Setting from explicit values: kdim 20, tol2 = min(1e4 tol, 0.5), diagonal preconditioner
  /// (none for Gauss-Seidel).
  Solver(SolverType type, double tol, int max_iter, const char* name);
  /// Deletes the preconditioner built by the solves; the matrix is borrowed.
  virtual ~Solver();
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  /// Systems left unsolved (at their iteration limit) since the last reset, over every setting.
  static int unsolved_count();
  /// Starts the count of unsolved systems again (at the start of each step).
  static void reset_unsolved();

  /// mat = A.
  virtual void define(SystemSparseMatrix* A);
  /// Solves A x = b keeping the unknowns whose bit is set in fixed (1-based); returns the change
  /// of x: its largest absolute entry, or sum w_i |dx_i| when w has entries.
  virtual double solve(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, const BitVec& fixed, const ReaVec& w,
                       int refactor, const char* what);
  /// As above with the new solution clamped into [lower, upper] before the change is taken.
  virtual double solve(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, const BitVec& fixed, double upper,
                       double lower, const ReaVec& w, int refactor, const char* what);
  /// Solves in place; on return b holds the old x.
  virtual void solve(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, int refactor, const char* what);
  /// Dispatcher on raw arrays of n entries: runs the method; tol receives the residual ratio.
  /// Status 0 converged, 1 limit reached, 2 breakdown or non-finite ratio, 3 zero BiCGSTAB factor.
  virtual int solve(const double* b, double* x, int max_iter, double& tol, double tol2);
  /// At most max_iter iterations (max_iter below 1: a tenth of the setting's limit); status.
  virtual int iterate(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, int max_iter);
  /// Three systems with one matrix, `inner` iterations each per pass, then d->SolveCoupled(x1,
  /// x2, x3) (no step when d is null), until all three converge or max_iter / inner + 1 passes
  /// are done (inner below 1 counts as 1).
  virtual void solve_coupled(ReaVec& b1, ReaVec& b2, ReaVec& b3, ReaVec& x1, ReaVec& x2, ReaVec& x3,
                             SystemSparseMatrix* A, CoupledDomain* d, int inner, int refactor, const char* what);
  /// Divides A and b by the scale figure of A's diagonal.
  virtual void figure(ReaVec& b, SystemSparseMatrix* A);
  /// Builds the preconditioner for mat (rebuilt when mat has another number of rows), or
  /// refactors it when refactor is not 0.
  virtual Preconditioner* preconditione(int refactor);
  /// mat = A and n = its number of rows.
  virtual void matrix(SystemSparseMatrix* A);

  /// The setting's name.
  const char* Name() const { return name.c_str(); }
  /// Method code.
  SolverType give_type() const { return type; }
  /// Preconditioner code: 0 diagonal, 1 IC, 2 ILU, 3 none.
  int give_precond_type() const { return precond_type; }
  /// Iteration limit of one solve.
  int give_max_iter() const { return max_iter; }
  /// GMRES restart dimension.
  int give_kdim() const { return kdim; }
  /// Residual tolerance.
  double give_tol() const { return tol; }
  /// Increment tolerance.
  double give_tol2() const { return tol2; }
  /// Rows of the matrix of the latest solve (0 before the first).
  int give_n() const { return n; }
  /// Matrix of the latest solve (null before the first).
  SystemSparseMatrix* give_matrix() const { return mat; }
  /// The preconditioner (null until a solve needs one).
  Preconditioner* give_preconditioner() const { return precond.get(); }

 protected:
  /// Shared body of the two forms with fixed unknowns.
  double solve_fixed(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, const BitVec& fixed, bool bounded,
                     double upper, double lower, const ReaVec& w, int refactor, const char* what);
  /// The plain solve, calling after(d) right after the method when after is not null.
  void solve_in_place(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, int refactor, const char* what,
                      void (*after)(CoupledDomain*), CoupledDomain* d);
  /// preconditione, with the fatal stop on failure.
  void require_preconditioner(int refactor);
  /// Fatal stop when GMRES would restart after more directions than mat has unknowns.
  void check_dimension() const;
  /// The outcome of a solve: the "Not Solved" warning for status 1, the singular stop for 2.
  void report(int status, double ratio, const char* what) const;
  /// Level-0 "Not Solved" warning with the iteration limit and the residual ratio; counts the system.
  void warn_not_solved(const char* what, double ratio) const;

  /// "Singular system found in " stop.
  [[noreturn]] void singular(const char* prefix, const char* what) const;
  /// The explicit update: x_i = b_i / a_ii, no iteration; tol receives the residual ratio.
  int explicit_update(const double* b, double* x, double& tol) const;

  int max_iter = 0;                   ///< iteration limit of one solve
  int kdim = 20;                      ///< GMRES restart dimension
  int n = 0;                          ///< rows of the latest matrix
  std::string name;                   ///< the setting's name
  double tol = 0.0;                   ///< residual tolerance
  double tol2 = 0.0;                  ///< increment tolerance
  SystemSparseMatrix* mat = nullptr;  ///< matrix of the latest solve, borrowed
  std::unique_ptr<Preconditioner> precond;  ///< built by the solves
  SolverType type = ConjugateGradient;  ///< method code
  int precond_type = 0;               ///< preconditioner code
  int precond_rows = 0;               ///< rows of the matrix the preconditioner was built from
};

/// A solver setting bound to a domain, which its coupled solves call back between iterations.
class DomainSolver : public Solver {
 public:
  /// Setting from explicit values, bound to d.
  DomainSolver(CoupledDomain* d, SolverType type, double tol, int max_iter, const char* name);
  /// Setting from the current card of in, bound to d.
  DomainSolver(CoupledDomain* d, Input* in, const char* name);

  /// Plain solve that calls f(domain) right after the method returns.
  void solve1coupled(ReaVec& b, ReaVec& x, SystemSparseMatrix* A, void (*f)(CoupledDomain*), int refactor,
                     const char* what);
  /// Two systems with one matrix, one BiCG iteration of each and then f(domain), max_iter times;
  /// the "Not Solved" warning when the larger residual ratio reached is not below the tolerance.
  void solve2coupled(ReaVec& b1, ReaVec& b2, ReaVec& x1, ReaVec& x2, SystemSparseMatrix* A, void (*f)(CoupledDomain*),
                     int refactor, const char* what);

 protected:
  CoupledDomain* domain;  ///< the bound domain, borrowed
};
