// Iterative methods on raw arrays of n doubles: the Krylov methods (CG, BiCG, BiCGSTAB, CGS,
// restarted GMRES), the stationary sweeps (symmetric Gauss-Seidel, Jacobi) and further methods
// with no caller in the flow solution (Richardson, scaled CG, iterative refinement, QMR, the
// stepwise BiCG object).
//
// Status: 0 converged, 1 not converged within the limit, 2 a singular system (the matrix or the
// preconditioner mapped a vector to 0 or to values that are not finite), 3 BiCGSTAB's zero
// stabilisation factor (QMR adds 4..7 for its breakdowns). A breakdown of BiCG, BiCGSTAB or CGS
// (a vanished inner product, recurrences that overflowed) starts them again from their best
// iterate, which they also leave when they end unsolved; CG stops at its last iterate when the
// system is not positive definite. On return tol holds the residual ratio |r|/|b| of the iterate
// left in x; on convergence max_iter holds the iterations done and tol2 the last increment ratio
// max|dx| / (max|x| + tol). Work vectors come from the memory pool.
#pragma once

class SparseMatrix;
class SystemSparseMatrix;
class Preconditioner;
class HMatrix;
class ReaVec;

/// Preconditioned conjugate gradient.
int CG(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
       double& tol, double& tol2);
/// Preconditioned biconjugate gradient.
int BiCG(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
         double& tol, double& tol2);
/// BiCGSTAB.
int BiCGSTAB(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
             double& tol, double& tol2);
/// Conjugate gradient squared.
int CGS(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
        double& tol, double& tol2);
/// Left-preconditioned GMRES restarted every m steps, H of m columns; no increment test.
int GMRES(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, HMatrix& H, int& m,
          int& max_iter, double& tol);

/// Givens rotation (cs, sn) that zeroes dy against dx.
void GeneratePlaneRotation(const double& dx, const double& dy, double& cs, double& sn);
/// Applies the rotation (cs, sn) to the pair (dx, dy).
void ApplyPlaneRotation(double& dx, double& dy, const double& cs, const double& sn);
/// GMRES update: solves H(0..k, 0..k) y = s(0..k) into y, then x += sum y_l v_l.
void Update(double* x, int k, const HMatrix& H, const double* s, double* const* v, int n, double* y);

/// Symmetric Gauss-Seidel: max_iter + 1 double sweeps at most; always status 0.
int GSD(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
        double& tol);
/// Jacobi: max_iter + 1 sweeps at most; always status 0.
int JCD(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
        double& tol);
/// Richardson iteration scaled by the inverse row sums; 0 when the correction norm falls below tol.
int RICHARDSON(const SystemSparseMatrix& A, double* x, const double* b, const Preconditioner& M, int& max_iter,
               double& tol);
/// CG on the symmetrically diagonal-scaled system, scaling A and b in place; returns the
/// iterations done, negated when the limit was reached.
int OCG(SystemSparseMatrix& A, double* x, double* b, const Preconditioner& M, int& max_iter, double& tol);
/// Iterative refinement x += M^-1 (b - A x).
int IR(const SystemSparseMatrix& A, ReaVec& x, const ReaVec& b, const Preconditioner& M, int& max_iter,
       double& tol);
/// Quasi-minimal residual with left preconditioner M1 and right preconditioner M2.
int QMR(const SystemSparseMatrix& A, ReaVec& x, const ReaVec& b, const Preconditioner& M1,
        const Preconditioner& M2, int& max_iter, double& tol);

/// Biconjugate gradient run one iteration at a time, for solves that act between iterations.
class BiConjugatedGradient {
 public:
  /// Takes A, M, b and x (borrowed); forms r = b - A x and its shadow from pool vectors.
  BiConjugatedGradient(const SparseMatrix* A, const Preconditioner* M, const double* b, double* x);
  /// One BiCG iteration: 2 on a breakdown (a vanished inner product, values that are not finite),
  /// 0 when the residual ratio is below tol and the increment ratio at most tol2, else 1.
  int PerformIteration(double tol, double tol2);
  /// Residual ratio after the last iteration.
  double residual() const { return resid; }

 private:
  const SparseMatrix* A;     ///< system matrix
  const Preconditioner* M;   ///< preconditioner
  const double* b;           ///< right-hand side
  double* x;                 ///< solution, updated in place
  int n;                     ///< unknowns
  int started;               ///< 1 once the first iteration is done
  double *r, *rt, *z, *zt;   ///< residuals and preconditioned residuals
  double *p, *pt, *q, *qt;   ///< directions and their products
  double rho, rho_prev;      ///< inner products of this and the previous iteration
  double normb;              ///< |b|, 1 for a zero b
  double resid;              ///< last residual ratio
};
