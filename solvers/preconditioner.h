// Preconditioners of the iterative methods: none, diagonal, incomplete Cholesky and
// incomplete LU without fill.
#pragma once

#include <memory>
#include <vector>

#include "solvers/trischedule.h"

class SparseMatrix;

/// Approximate inverse of a sparse system matrix, applied by the iterative methods.
class Preconditioner {
 public:
  virtual ~Preconditioner() = default;
  /// x = M^-1 b (b and x of n entries; may be the same array).
  virtual void solve(const double* b, double* x) const = 0;
  /// x = M^-T b.
  virtual void trans_solve(const double* b, double* x) const = 0;
  /// Rebuilds the values from a matrix of the same structure.
  virtual void New_Matrix(const SparseMatrix& A) = 0;

  /// Class name.
  const char* Name() const { return "Preconditioner"; }
  /// 1 when word is "Preconditioner", case ignored.
  int AreYou(const char* word) const;
};

/// Identity: the methods run unpreconditioned.
class NonePreconditioner : public Preconditioner {
 public:
  /// Takes the dimension of A.
  explicit NonePreconditioner(const SparseMatrix& A);
  void solve(const double* b, double* x) const override;
  void trans_solve(const double* b, double* x) const override;
  void New_Matrix(const SparseMatrix& A) override;
  /// Class name.
  const char* Name() const { return "None"; }
  /// 1 for "None" or "Preconditioner", case ignored.
  int AreYou(const char* word) const;

 private:
  int n;  ///< dimension
};

/// Jacobi: x_i = b_i / a_ii.
class DiagPreconditioner : public Preconditioner {
 public:
  /// Inverts the diagonal of A; a zero diagonal entry is fatal.
  explicit DiagPreconditioner(const SparseMatrix& A);
  void solve(const double* b, double* x) const override;
  void trans_solve(const double* b, double* x) const override;
  void New_Matrix(const SparseMatrix& A) override;
  /// Entry i (0-based) of the inverse diagonal.
  double diag(int i) const { return d[i]; }
  /// Modifiable entry i (0-based) of the inverse diagonal.
  double& diag(int i) { return d[i]; }
  /// Class name.
  const char* Name() const { return "Diagonal"; }
  /// 1 for "Diagonal" or "Preconditioner", case ignored.
  int AreYou(const char* word) const;

 private:
  std::unique_ptr<double[]> d;  ///< inverse diagonal
  int n;                        ///< dimension
};

/// Symmetric diagonal scaling: x_i = b_i / sqrt(|a_ii|).
class TDiagPreconditioner : public Preconditioner {
 public:
  /// Takes 1/sqrt(|a_ii|); a zero diagonal entry is fatal.
  explicit TDiagPreconditioner(const SparseMatrix& A);
  void solve(const double* b, double* x) const override;
  void trans_solve(const double* b, double* x) const override;
  void New_Matrix(const SparseMatrix& A) override;
  /// Entry i (0-based) of the scaling.
  double diag(int i) const { return d[i]; }
  /// Modifiable entry i (0-based) of the scaling.
  double& diag(int i) { return d[i]; }
  /// Class name.
  const char* Name() const { return "TDiagonal"; }
  /// 1 for "TDiagonal" or "Preconditioner", case ignored.
  int AreYou(const char* word) const;

 private:
  std::unique_ptr<double[]> d;  ///< scaling factors
  int n;                        ///< dimension
};

/// The updates of an incomplete factorisation, found once per pattern: for each eliminating
/// entry e, the value pairs (target[q], source[q]), q in ptr[e] .. ptr[e+1]-1, such that the
/// factorisation does value[target] -= (multiplier of e) * value[source]; updates that would
/// be fill are left out. Refactoring a matrix of the same pattern then needs no search.
struct FactorUpdates {
  std::vector<int> ptr;     ///< start of each eliminating entry's pairs
  std::vector<int> target;  ///< value updated
  std::vector<int> source;  ///< value it is updated with
};

/// Incomplete Cholesky without fill: A ~ L L^T on the upper-triangle pattern of A. Besides the
/// factor it keeps, per pattern, where each value came from in A and the factorisation's
/// updates, so that a refactor copies and eliminates without a search.
class ICPreconditioner : public Preconditioner {
 public:
  /// Copies the upper triangle of A (diagonal first in every row) and factors it.
  explicit ICPreconditioner(const SparseMatrix& A);
  /// Solves L y = b, then L^T x = y.
  void solve(const double* b, double* x) const override;
  /// The same as solve (the factorisation is symmetric).
  void trans_solve(const double* b, double* x) const override;
  /// Re-copies and refactors into the same arrays; another triangle size is fatal. A matrix on
  /// the pattern of the last factorisation is copied from the recorded positions, any other is
  /// copied, sorted and analysed afresh.
  void New_Matrix(const SparseMatrix& A) override;
  /// Class name.
  const char* Name() const { return "Cholesky"; }
  /// 1 for "Cholesky" or "Preconditioner", case ignored.
  int AreYou(const char* word) const;

  /// Stored factor values, row by row (row i of the upper triangle is column i of L).
  const double* val() const { return val_.get(); }
  /// Column numbers of the stored values.
  const int* col_ind() const { return col_.get(); }
  /// Row starts (dim + 1 entries).
  const int* row_ptr() const { return pntr_.get(); }
  /// Number of stored values.
  int nnz() const { return nz_; }

 private:
  void CopyUpper(const SparseMatrix& A);
  bool Recopy(const SparseMatrix& A);
  void FindUpdates();
  void ScheduleSolves();
  void ICFactor();
  void ICSolve(const double* b, double* x) const;
  std::unique_ptr<double[]> val_;   ///< factor values
  std::unique_ptr<int[]> pntr_;     ///< row starts
  std::unique_ptr<int[]> col_;      ///< column numbers
  std::unique_ptr<double[]> work_;  ///< work array of the triangular drivers, made once
  FactorUpdates updates_;           ///< updates of each off-diagonal entry on the rows below
  std::vector<int> src_;            ///< position in the full rows of A of each stored value
  std::vector<int> arows_;          ///< the full row starts of A when src_ was made
  /// L by rows for the forked forward solve: row starts, columns, where each value lies in val_.
  struct Triangle {
    std::vector<int> ptr, col, src;
    std::vector<double> val;  ///< the values, copied after each factorisation
  };
  // Both triangles shared out for the forked solves, made per pattern when the pattern is
  // square, ThreadedMin() long and its schedule pays.
  RowSchedule lower_;               ///< schedule of L, solved from lrows_
  RowSchedule upper_;               ///< schedule of L^T, solved from the stored rows
  Triangle lrows_;                  ///< L by rows, when lower_ pays
  bool fresh_ = false;              ///< lrows_ holds the current factor's values
  int nz_;                          ///< stored values
  int dim_[2];                      ///< dimensions of A
};

/// Incomplete LU without fill: A ~ L U, L unit lower (strict lower pattern of A), U the rest.
/// Like ICPreconditioner it keeps, per pattern, the origin of each value and the updates.
class ILUPreconditioner : public Preconditioner {
 public:
  /// Splits A into L and U and factors them.
  explicit ILUPreconditioner(const SparseMatrix& A);
  /// Solves L y = b, then U x = y.
  void solve(const double* b, double* x) const override;
  /// Solves U^T y = b, then L^T x = y.
  void trans_solve(const double* b, double* x) const override;
  /// Re-splits and refactors into the same arrays; other triangle sizes are fatal. A matrix on
  /// the pattern of the last factorisation is copied and factored row by row in one pass, any
  /// other is split, sorted and analysed afresh.
  void New_Matrix(const SparseMatrix& A) override;
  /// Class name.
  const char* Name() const { return "ILU"; }
  /// 1 for "ILU" or "Preconditioner", case ignored.
  int AreYou(const char* word) const;

  /// Values of L (strictly lower, unit diagonal implied).
  const double* l_val() const { return vals_.get(); }
  /// Column numbers of L.
  const int* l_col_ind() const { return l_col_.get(); }
  /// Row starts of L.
  const int* l_row_ptr() const { return l_pntr_.get(); }
  /// Values of U (diagonal first in every row).
  const double* u_val() const { return vals_.get() + l_nz_; }
  /// Column numbers of U.
  const int* u_col_ind() const { return u_col_.get(); }
  /// Row starts of U.
  const int* u_row_ptr() const { return u_pntr_.get(); }

 private:
  void Count(const SparseMatrix& A, int& lnz, int& unz) const;
  void Split(const SparseMatrix& A);
  bool Refactor(const SparseMatrix& A);
  void FindUpdates();
  void ScheduleSolves();
  void FactorRow(int i);
  void Factor();
  std::unique_ptr<double[]> vals_;   ///< L values, then U values
  std::unique_ptr<int[]> l_pntr_;    ///< L row starts
  std::unique_ptr<int[]> l_col_;     ///< L columns
  int l_nz_;                         ///< L entries
  std::unique_ptr<int[]> u_pntr_;    ///< U row starts
  std::unique_ptr<int[]> u_col_;     ///< U columns
  int u_nz_;                         ///< U entries
  FactorUpdates updates_;            ///< updates of each L entry on its row, indices into vals_
  std::vector<int> src_;             ///< position in the full rows of A of each value (-1: a zero pivot)
  std::vector<int> arows_;           ///< the full row starts of A when src_ was made, empty when A had spare slots
  // Both triangles shared out for the forked solves, made per pattern when the pattern is
  // square, ThreadedMin() long and its schedule pays; solved from the factor's rows.
  RowSchedule lower_;                ///< schedule of L
  RowSchedule upper_;                ///< schedule of U
  int dim_[2];                       ///< dimensions of A
};
