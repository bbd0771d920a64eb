// Preconditioners of the iterative methods.
#include "solvers/preconditioner.h"

#include <strings.h>

#include <algorithm>
#include <cmath>

#include "foundation/error.h"
#include "foundation/threads.h"
#include "solvers/compressedkernels.h"
#include "solvers/sparsematrix.h"

namespace {

// An array of n (at least one) unset entries.
template <class T>
std::unique_ptr<T[]> NewArray(long n) {
  return std::unique_ptr<T[]>(new T[n > 0 ? n : 1]);
}

// The full rows of a matrix as raw arrays; the symmetric matrix maps each full position to
// its upper value through pos (null for the general matrix).
struct Rows {
  int n;
  const int* rp;
  const int* ci;
  const double* v;
  const int* pos;
  double value(int k) const { return pos ? v[pos[k]] : v[k]; }
};

Rows RowsOf(const SparseMatrix& A) {
  return Rows{A.dim(0), A.full_row_ptr(), A.full_col_ind(), A.val_vec(0), A.full_pos()};
}

// Sorts a short row by column, values and their positions in A alongside; rows of the system's
// patterns arrive sorted, so the insertion sort costs one pass.
void SortRow(int* col, double* val, int* pos, int len) {
  for (int i = 1; i < len; ++i) {
    const int c = col[i];
    if (col[i - 1] <= c) continue;
    const double v = val[i];
    const int q = pos[i];
    int j = i;
    for (; j > 0 && col[j - 1] > c; --j) {
      col[j] = col[j - 1];
      val[j] = val[j - 1];
      pos[j] = pos[j - 1];
    }
    col[j] = c;
    val[j] = v;
    pos[j] = q;
  }
}

int SameWord(const char* word, const char* name) { return word && strcasecmp(word, name) == 0 ? 1 : 0; }

// d_i = f(a_ii) for the n rows of A; a zero a_ii stops with `failure` followed by its row.
template <class F>
void InvertDiagonal(const SparseMatrix& A, int n, double* d, const char* failure, F f) {
  for (int i = 0; i < n; ++i) {
    const double a = A.diag(i);
    if (a == 0.0) OLVU_FATAL(failure << i << "\n");
    d[i] = f(a);
  }
}

// x_i = b_i d_i.
void Scale(const double* d, const double* b, double* x, int n) {
  for (int i = 0; i < n; ++i) x[i] = b[i] * d[i];
}


}  // namespace

int Preconditioner::AreYou(const char* word) const { return SameWord(word, "Preconditioner"); }

// ---------------------------------------------------------------------------------------------
// None

NonePreconditioner::NonePreconditioner(const SparseMatrix& A) : n(A.dim(0)) {}

void NonePreconditioner::solve(const double* b, double* x) const {
  if (b != x)
    for (int i = 0; i < n; ++i) x[i] = b[i];
}

void NonePreconditioner::trans_solve(const double* b, double* x) const { solve(b, x); }

void NonePreconditioner::New_Matrix(const SparseMatrix&) {}

int NonePreconditioner::AreYou(const char* word) const {
  return SameWord(word, "None") || SameWord(word, "Preconditioner");
}

// ---------------------------------------------------------------------------------------------
// Diagonal kinds

namespace {
const char kDiagFailure[] = "Diagonal preconditioner failure.\nZero detected in element ";
const char kTDiagFailure[] = "TDiagonal preconditioner failure.\nZero detected in element ";
double Reciprocal(double a) { return 1.0 / a; }
double RootReciprocal(double a) { return 1.0 / std::sqrt(std::fabs(a)); }
}  // namespace

DiagPreconditioner::DiagPreconditioner(const SparseMatrix& A) : d(NewArray<double>(A.dim(0))), n(A.dim(0)) {
  InvertDiagonal(A, n, d.get(), kDiagFailure, Reciprocal);
}

void DiagPreconditioner::solve(const double* b, double* x) const { Scale(d.get(), b, x, n); }

void DiagPreconditioner::trans_solve(const double* b, double* x) const { Scale(d.get(), b, x, n); }

void DiagPreconditioner::New_Matrix(const SparseMatrix& A) {
  if (A.dim(0) != n) OLVU_FATAL("Wrong use of DiagPreconditioner::New_Matrix\n");
  InvertDiagonal(A, n, d.get(), kDiagFailure, Reciprocal);
}

int DiagPreconditioner::AreYou(const char* word) const {
  return SameWord(word, "Diagonal") || SameWord(word, "Preconditioner");
}

TDiagPreconditioner::TDiagPreconditioner(const SparseMatrix& A) : d(NewArray<double>(A.dim(0))), n(A.dim(0)) {
  InvertDiagonal(A, n, d.get(), kTDiagFailure, RootReciprocal);
}

void TDiagPreconditioner::solve(const double* b, double* x) const { Scale(d.get(), b, x, n); }

void TDiagPreconditioner::trans_solve(const double* b, double* x) const { Scale(d.get(), b, x, n); }

void TDiagPreconditioner::New_Matrix(const SparseMatrix& A) {
  if (A.dim(0) != n) OLVU_FATAL("Wrong use of TDiagPreconditioner::New_Matrix\n");
  InvertDiagonal(A, n, d.get(), kTDiagFailure, RootReciprocal);
}

int TDiagPreconditioner::AreYou(const char* word) const {
  return SameWord(word, "TDiagonal") || SameWord(word, "Preconditioner");
}

// ---------------------------------------------------------------------------------------------
// Refactoring on a known pattern (both incomplete factorisations)

namespace {

// Number of entries of row i of A whose column is at least `from` (spare slots have column -1).
inline int CountFrom(const Rows& r, int i, int from) {
  int n = 0;
  for (int k = r.rp[i]; k < r.rp[i + 1]; ++k) n += r.ci[k] >= from;
  return n;
}

// Number of upper-triangle entries of A.
int UpperCount(const Rows& r) {
  int nz = 0;
  for (int i = 0; i < r.n; ++i) nz += CountFrom(r, i, i);
  return nz;
}

// The full row starts of A.
std::vector<int> RowStarts(const Rows& r) { return std::vector<int>(r.rp, r.rp + r.n + 1); }

// True when A has the full row starts `rows`: the positions recorded in a factor still lie in
// the rows they came from.
bool SameRows(const Rows& r, const std::vector<int>& rows) {
  return static_cast<int>(rows.size()) == r.n + 1 && std::equal(rows.begin(), rows.end(), r.rp);
}

// Copies len factor values from their recorded positions src[p] in A, through value(k); non-zero
// when one of those positions no longer holds the recorded column cols[p]. No branch depends on
// the entries, so an unchanged pattern runs straight through.
template <class Value>
inline int Refill(const Rows& r, Value value, const int* src, const int* cols, double* v, int len) {
  int bad = 0;
  for (int p = 0; p < len; ++p) {
    const int k = src[p];
    bad |= r.ci[k] ^ cols[p];
    v[p] = value(k);
  }
  return bad;
}

// Fills u with the updates that walk(emit, end) produces: walk calls emit(target, source) for
// each update in order and end(e) after the last one of eliminating entry e (for every e of
// the `entries`). It runs twice, counting and then storing, so that the lists take their exact
// size at once.
template <class Walk>
void CollectUpdates(FactorUpdates& u, int entries, Walk walk) {
  long count = 0;
  walk([&](int, int) { ++count; }, [](int) {});
  u.ptr.assign(entries + 1, 0);
  u.target.resize(count);
  u.source.resize(count);
  int q = 0;
  walk(
      [&](int t, int s) {
        u.target[q] = t;
        u.source[q] = s;
        ++q;
      },
      [&](int e) { u.ptr[e + 1] = q; });
}

// Calls f with the value access of A, by full position, as a separate instance for the general
// matrix (its own position) and the symmetric one (mapped to its upper value).
template <class F>
inline auto WithValues(const Rows& r, F f) {
  if (r.pos) return f([&r](int k) { return r.v[r.pos[k]]; });
  return f([&r](int k) { return r.v[k]; });
}

// True when the solves of a pattern of `dim` may fork: square and ThreadedMin() long.
bool MayFork(const int dim[2]) { return dim[0] == dim[1] && static_cast<std::size_t>(dim[0]) >= ThreadedMin(); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Incomplete Cholesky

ICPreconditioner::ICPreconditioner(const SparseMatrix& A) {
  dim_[0] = A.dim(0);
  dim_[1] = A.dim(1);
  pntr_ = NewArray<int>(dim_[0] + 1);
  nz_ = UpperCount(RowsOf(A));
  val_ = NewArray<double>(nz_);
  col_ = NewArray<int>(nz_);
  work_ = NewArray<double>(dim_[0]);
  CopyUpper(A);
  FindUpdates();
  ScheduleSolves();
  ICFactor();
}

// A matrix on the pattern of the last factorisation only needs its values copied; any other
// pattern with the same triangle size is copied, sorted and analysed afresh.
void ICPreconditioner::New_Matrix(const SparseMatrix& A) {
  if (A.dim(0) != dim_[0]) OLVU_FATAL("Wrong use of ICPreconditioner::New_Matrix\n");
  if (!Recopy(A)) {
    if (UpperCount(RowsOf(A)) != nz_) OLVU_FATAL("Wrong use of ICPreconditioner::New_Matrix\n");
    CopyUpper(A);
    FindUpdates();
    ScheduleSolves();
  }
  ICFactor();
}

// Upper triangle of A row by row, each row sorted by column with its diagonal first.
void ICPreconditioner::CopyUpper(const SparseMatrix& A) {
  const Rows r = RowsOf(A);
  int* p = pntr_.get();
  int* c = col_.get();
  double* v = val_.get();
  src_.resize(nz_);
  int* s = src_.data();
  int nz = 0;
  for (int i = 0; i < r.n; ++i) {
    p[i] = nz;
    for (int k = r.rp[i]; k < r.rp[i + 1]; ++k) {
      if (r.ci[k] < i) continue;
      c[nz] = r.ci[k];
      v[nz] = r.value(k);
      s[nz] = k;
      ++nz;
    }
  }
  p[r.n] = nz;
  arows_ = RowStarts(r);
  for (int i = 0; i < r.n; ++i) {
    SortRow(c + p[i], v + p[i], s + p[i], p[i + 1] - p[i]);
    if (p[i] == p[i + 1] || c[p[i]] != i) OLVU_FATAL("IC Preconditioner: diagonal not found! " << i << "\n");
  }
}

// Copies the values of A when its rows start where they did, each holds as many upper entries
// as stored and each stored value still finds its column at the position it came from; false
// (values partly copied) otherwise.
bool ICPreconditioner::Recopy(const SparseMatrix& A) {
  const Rows r = RowsOf(A);
  if (!SameRows(r, arows_)) return false;
  const int* p = pntr_.get();
  const int* c = col_.get();
  const int* s = src_.data();
  double* v = val_.get();
  return WithValues(r, [&](auto value) {
    for (int i = 0; i < r.n; ++i) {
      const int b = p[i], len = p[i + 1] - b;
      if (CountFrom(r, i, i) != len || Refill(r, value, s + b, c + b, v + b, len)) return false;
    }
    return true;
  });
}

// The updates of right-looking IC(0): entry i = (k, h) of row k updates each entry (h, q) of
// row h by the entry (k, q) of row k with the same column; other updates would be fill and are
// dropped.
void ICPreconditioner::FindUpdates() {
  const int n = dim_[0];
  const int* p = pntr_.get();
  const int* c = col_.get();
  std::vector<int> mark(dim_[0] > dim_[1] ? dim_[0] : dim_[1], -1);  // column -> position in row k
  CollectUpdates(updates_, nz_, [&](auto emit, auto end) {
    for (int k = 0; k < n; ++k) {
      const int d = p[k], e = p[k + 1];
      for (int i = d + 1; i < e; ++i) mark[c[i]] = i;
      for (int i = d; i < e; ++i) {
        const int h = c[i];
        // A column beyond the rows of a non-square matrix has no row to update.
        if (i > d && k < n - 1 && h < n)
          for (int j = p[h]; j < p[h + 1]; ++j) {
            const int g = mark[c[j]];
            if (g >= i) emit(j, g);
          }
        end(i);
      }
      for (int i = d + 1; i < e; ++i) mark[c[i]] = -1;
    }
  });
}

// Both triangles shared out among the threads, for a pattern whose solves fork with gain;
// nothing otherwise.
void ICPreconditioner::ScheduleSolves() {
  fresh_ = false;
  lrows_ = Triangle();
  if (!MayFork(dim_)) {
    lower_ = upper_ = RowSchedule();
    return;
  }
  const int n = dim_[0];
  const int* p = pntr_.get();
  const int* c = col_.get();
  MakeSchedule(upper_, n, p, c, false);
  // L by rows, for the forked forward solve: the stored rows in order give each row of L its
  // columns increasing and its diagonal, from its own stored row, last.
  std::vector<int>& ptr = lrows_.ptr;
  ptr.assign(n + 1, 0);
  lrows_.col.resize(nz_);
  lrows_.src.resize(nz_);
  for (int i = 0; i < nz_; ++i) ++ptr[c[i] + 1];
  for (int h = 0; h < n; ++h) ptr[h + 1] += ptr[h];
  std::vector<int> next(ptr.begin(), ptr.end() - 1);
  for (int k = 0; k < n; ++k)
    for (int i = p[k]; i < p[k + 1]; ++i) {
      const int q = next[c[i]]++;
      lrows_.col[q] = k;
      lrows_.src[q] = i;
    }
  MakeSchedule(lower_, n, ptr.data(), lrows_.col.data(), true);
  if (lower_.threads > 1) {
    lrows_.val.resize(nz_);
  } else {
    lrows_ = Triangle();
  }
}

// Right-looking IC(0): row k of the stored upper triangle becomes row k of L^T, its diagonal d
// the square root and the rest divided by that root, after it has updated the rows below. Each
// update is l_kh l_kq, formed as a_kh a_kq / d from the row before its scaling: the next rows
// then wait for one division of d instead of a root, a division and two products, and a row
// takes one root and one division in all. When the solves fork, both scheduled triangles
// then take the factor's values.
void ICPreconditioner::ICFactor() {
  const int n = dim_[0];
  const int* p = pntr_.get();
  const int* up = updates_.ptr.data();
  const int* tg = updates_.target.data();
  const int* sc = updates_.source.data();
  double* v = val_.get();
  for (int k = 0; k < n; ++k) {
    const int d = p[k], end = p[k + 1];
    const double dk = v[d];
    const double z = std::sqrt(dk);
    v[d] = z;
    if (k == n - 1) break;
    const double r = 1.0 / dk;
    for (int i = d + 1; i < end; ++i) {
      const double a = v[i];
      for (int q = up[i]; q < up[i + 1]; ++q) v[tg[q]] -= a * v[sc[q]] * r;
    }
    const double inv = z * r;  // 1 / z, without a second division
    for (int i = d + 1; i < end; ++i) v[i] *= inv;
  }
  fresh_ = lower_.Use();
  if (!fresh_) return;
  double* lv = lrows_.val.data();
  const int* src = lrows_.src.data();
  ParallelFor(lrows_.val.size(), [=](std::size_t k) { lv[k] = v[src[k]]; });
}

void ICPreconditioner::ICSolve(const double* b, double* x) const {
  const int n = dim_[0];
  static const int lower_stored[3] = {0, 1, 0};
  const int one = 1, lwork = n, ldb = n, ldc = n;
  const double alpha = 1.0, beta = 0.0;
  // The first solve copies b into x itself; the second runs in place. Forked, L runs by rows.
  if (fresh_ && lower_.Use())
    ScheduledRowSolve(true, false, lower_, lrows_.val.data(), lrows_.col.data(), lrows_.ptr.data(), b, x);
  else
    dcscsm(0, n, one, one, nullptr, alpha, lower_stored, val_.get(), col_.get(), pntr_.get(), b, ldb, beta, x + 1,
           ldc, work_.get(), lwork);
  if (upper_.Use())
    ScheduledRowSolve(false, false, upper_, val_.get(), col_.get(), pntr_.get(), x, x);
  else
    dcscsm(1, n, one, one, nullptr, alpha, lower_stored, val_.get(), col_.get(), pntr_.get(), x, ldb, beta, x + 1,
           ldc, work_.get(), lwork);
}

void ICPreconditioner::solve(const double* b, double* x) const { ICSolve(b, x); }

void ICPreconditioner::trans_solve(const double* b, double* x) const { ICSolve(b, x); }

int ICPreconditioner::AreYou(const char* word) const {
  return SameWord(word, "Cholesky") || SameWord(word, "Preconditioner");
}

// ---------------------------------------------------------------------------------------------
// Incomplete LU

// A row without entries on or right of the diagonal gets an explicit zero pivot in U, so the
// factorisation and the solves never read another row's entries; the zero pivot then shows as
// a non-finite residual, as any zero pivot does.
void ILUPreconditioner::Count(const SparseMatrix& A, int& lnz, int& unz) const {
  const Rows r = RowsOf(A);
  lnz = unz = 0;
  for (int i = 0; i < r.n; ++i) {
    const int u = CountFrom(r, i, i);
    lnz += CountFrom(r, i, 0) - u;
    unz += u > 0 ? u : 1;
  }
}

ILUPreconditioner::ILUPreconditioner(const SparseMatrix& A) {
  dim_[0] = A.dim(0);
  dim_[1] = A.dim(1);
  l_pntr_ = NewArray<int>(dim_[0] + 1);
  u_pntr_ = NewArray<int>(dim_[0] + 1);
  Count(A, l_nz_, u_nz_);
  vals_ = NewArray<double>(static_cast<long>(l_nz_) + u_nz_);
  l_col_ = NewArray<int>(l_nz_);
  u_col_ = NewArray<int>(u_nz_);
  Split(A);
  FindUpdates();
  ScheduleSolves();
  Factor();
}

// A matrix on the pattern of the last factorisation is copied and factored row by row in one
// pass; at the first row whose pattern differs the whole matrix is split, sorted and analysed
// afresh.
void ILUPreconditioner::New_Matrix(const SparseMatrix& A) {
  if (A.dim(0) != dim_[0]) OLVU_FATAL("Wrong use of ILUPreconditioner::New_Matrix\n");
  if (Refactor(A)) return;
  int lnz = 0, unz = 0;
  Count(A, lnz, unz);
  if (lnz != l_nz_ || unz != u_nz_) OLVU_FATAL("Wrong use of ILUPreconditioner::New_Matrix\n");
  Split(A);
  FindUpdates();
  ScheduleSolves();
  Factor();
}

// Copies and factors row by row when A's rows start where they did and every position still
// holds its recorded column (every position of A is recorded, as A had no spare slots); false
// at the first row where that fails, the rows before it refactored (when the factorisation
// forks, every row is copied first and none factored).
bool ILUPreconditioner::Refactor(const SparseMatrix& A) {
  const Rows r = RowsOf(A);
  if (!SameRows(r, arows_)) return false;
  const int *lp = l_pntr_.get(), *up = u_pntr_.get(), *lc = l_col_.get(), *uc = u_col_.get();
  const int* ls = src_.data();
  const int* us = ls + l_nz_;
  double *lv = vals_.get(), *uv = lv + l_nz_;
  const bool forked = lower_.Use();
  const bool same = WithValues(r, [&](auto value) {
    auto refill = [&](int i) {
      int ub = up[i];
      if (us[ub] < 0) uv[ub++] = 0.0;  // the zero pivot of a row without U entries
      const int lb = lp[i];
      return Refill(r, value, ls + lb, lc + lb, lv + lb, lp[i + 1] - lb) |
             Refill(r, value, us + ub, uc + ub, uv + ub, up[i + 1] - ub);
    };
    // Forked, every row is copied first and the schedule factors them after.
    if (forked) return ReduceMax(std::size_t(r.n), [&](std::size_t i) { return refill(int(i)) ? 1.0 : 0.0; }) == 0;
    for (int i = 0; i < r.n; ++i) {
      if (refill(i)) return false;
      FactorRow(i);
    }
    return true;
  });
  if (same && forked) Factor();
  return same;
}

// L (columns below the diagonal) and U (the others) of A, every row sorted by column.
void ILUPreconditioner::Split(const SparseMatrix& A) {
  const Rows r = RowsOf(A);
  int *lp = l_pntr_.get(), *lc = l_col_.get(), *up = u_pntr_.get(), *uc = u_col_.get();
  double *lv = vals_.get(), *uv = vals_.get() + l_nz_;
  src_.resize(static_cast<size_t>(l_nz_) + u_nz_);
  int* ls = src_.data();
  int* us = ls + l_nz_;
  int ln = 0, un = 0, phantoms = 0;
  for (int i = 0; i < r.n; ++i) {
    lp[i] = ln;
    up[i] = un;
    for (int k = r.rp[i]; k < r.rp[i + 1]; ++k) {
      const int c = r.ci[k];
      if (c < 0) continue;
      if (c < i) {
        lc[ln] = c;
        ls[ln] = k;
        lv[ln++] = r.value(k);
      } else {
        uc[un] = c;
        us[un] = k;
        uv[un++] = r.value(k);
      }
    }
    if (un == up[i]) {
      uc[un] = i;
      us[un] = -1;
      uv[un++] = 0.0;
      ++phantoms;
    }
  }
  lp[r.n] = ln;
  up[r.n] = un;
  // With spare slots some positions of A are recorded nowhere, and a refactor could not see
  // them filled; such a pattern is always split afresh.
  arows_.clear();
  if (r.rp[r.n] - r.rp[0] == ln + un - phantoms) arows_ = RowStarts(r);
  for (int i = 0; i < r.n; ++i) {
    SortRow(lc + lp[i], lv + lp[i], ls + lp[i], lp[i + 1] - lp[i]);
    SortRow(uc + up[i], uv + up[i], us + up[i], up[i + 1] - up[i]);
  }
}

// The updates of IKJ ILU(0): L entry j = (i, c), once divided by the pivot of row c, updates
// each entry of row i by the entry of U row c (after its first) with the same column; other
// updates would be fill and are dropped. Targets and sources index vals_.
void ILUPreconditioner::FindUpdates() {
  const int n = dim_[0];
  const int *lp = l_pntr_.get(), *lc = l_col_.get(), *up = u_pntr_.get(), *uc = u_col_.get();
  std::vector<int> mark(dim_[0] > dim_[1] ? dim_[0] : dim_[1], -1);  // column -> entry of row i
  CollectUpdates(updates_, l_nz_, [&](auto emit, auto end) {
    for (int i = 0; i < n; ++i) {
      for (int k = lp[i]; k < lp[i + 1]; ++k) mark[lc[k]] = k;
      for (int k = up[i]; k < up[i + 1]; ++k) mark[uc[k]] = l_nz_ + k;
      for (int j = lp[i]; j < lp[i + 1]; ++j) {
        const int c = lc[j];
        for (int g = up[c] + 1; g < up[c + 1]; ++g) {
          const int t = mark[uc[g]];
          if (t >= 0) emit(t, l_nz_ + g);
        }
        end(j);
      }
      for (int k = lp[i]; k < lp[i + 1]; ++k) mark[lc[k]] = -1;
      for (int k = up[i]; k < up[i + 1]; ++k) mark[uc[k]] = -1;
    }
  });
}

// Both triangles shared out among the threads, for a pattern whose solves fork with gain;
// nothing otherwise. The factorisation forks by the schedule of L.
void ILUPreconditioner::ScheduleSolves() {
  if (!MayFork(dim_)) {
    lower_ = upper_ = RowSchedule();
    return;
  }
  MakeSchedule(lower_, dim_[0], l_pntr_.get(), l_col_.get(), true);
  MakeSchedule(upper_, dim_[0], u_pntr_.get(), u_col_.get(), false);
}

// Every row of IKJ ILU(0). A row reads the final rows of its L columns only, the rows the
// forward solve waits for, so the schedule of L runs the factorisation too, each row's
// operations in the same order.
void ILUPreconditioner::Factor() {
  if (lower_.Use()) {
    auto rows = [this](int from, int count) {
      for (int i = from; i < from + count; ++i) FactorRow(i);
    };
    RunScheduled(lower_, rows);
    return;
  }
  for (int i = 0; i < dim_[0]; ++i) FactorRow(i);
}

// Row i of IKJ ILU(0), the rows above being final: its L entries, in column order, become the
// multipliers of the pivots of their rows and eliminate.
void ILUPreconditioner::FactorRow(int i) {
  const int *lp = l_pntr_.get(), *lc = l_col_.get(), *up = u_pntr_.get();
  const int* ptr = updates_.ptr.data();
  const int* tg = updates_.target.data();
  const int* sc = updates_.source.data();
  double* v = vals_.get();
  const double* uv = v + l_nz_;
  for (int j = lp[i]; j < lp[i + 1]; ++j) {
    const double z = v[j] / uv[up[lc[j]]];
    v[j] = z;
    for (int q = ptr[j]; q < ptr[j + 1]; ++q) v[tg[q]] -= z * v[sc[q]];
  }
}

void ILUPreconditioner::solve(const double* b, double* x) const {
  const int n = dim_[0];
  static const int lower_unit[3] = {0, 1, 1};
  static const int upper_stored[3] = {0, 2, 0};
  const int one = 1, ld = n, lwork = 0;
  const double alpha = 1.0, beta = 0.0;
  // The row kernel reads b and writes x, which spares copying b first; U then runs in place.
  if (lower_.Use())
    ScheduledRowSolve(true, true, lower_, l_val(), l_col_.get(), l_pntr_.get(), b, x);
  else
    dcsrsm(0, n, one, one, nullptr, alpha, lower_unit, l_val(), l_col_.get(), l_pntr_.get(), b, ld, beta, x + 1, ld,
           nullptr, lwork);
  if (upper_.Use())
    ScheduledRowSolve(false, false, upper_, u_val(), u_col_.get(), u_pntr_.get(), x, x);
  else
    dcsrsm(0, n, one, one, nullptr, alpha, upper_stored, u_val(), u_col_.get(), u_pntr_.get(), x, ld, beta, x + 1,
           ld, nullptr, lwork);
}

void ILUPreconditioner::trans_solve(const double* b, double* x) const {
  const int n = dim_[0];
  static const int lower_unit[3] = {0, 1, 1};
  static const int upper_stored[3] = {0, 2, 0};
  const int one = 1, ld = n, lwork = 0;
  const double alpha = 1.0, beta = 0.0;
  // The transposed solves are column kernels, the first of which copies b into x itself.
  dcsrsm(1, n, one, one, nullptr, alpha, upper_stored, u_val(), u_col_.get(), u_pntr_.get(), b, ld, beta, x + 1,
         ld, nullptr, lwork);
  dcsrsm(1, n, one, one, nullptr, alpha, lower_unit, l_val(), l_col_.get(), l_pntr_.get(), x, ld, beta, x + 1, ld,
         nullptr, lwork);
}

int ILUPreconditioner::AreYou(const char* word) const {
  return SameWord(word, "ILU") || SameWord(word, "Preconditioner");
}
