// Solver settings: from a data-file card or from explicit values.
#include "solvers/solversetting.h"

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cstddef>

#include "foundation/error.h"
#include "foundation/reavec.h"
#include "input/input.h"
#include "solvers/preconditioner.h"
#include "solvers/sparsematrix.h"

namespace {

// Method spellings of the card, in the order they are tried.
struct MethodWord {
  const char* word;
  SolverType code;
};
constexpr MethodWord kMethods[] = {
    {"Explicit", Explicit},
    {"Jacobi", Jacobi},
    {"GaussSeidel", GaussSeidel},
    {"Gauss_Seidel", GaussSeidel},
    {"ConjugateGradient", ConjugateGradient},
    {"Conjugate_Gradient", ConjugateGradient},
    {"BiConjugateGradient", BiConjugateGradient},
    {"Bi_Conjugate_Gradient", BiConjugateGradient},
    {"StabBiConjugateGradient", StabBiConjugateGradient},
    {"Stab_Bi_Conjugate_Gradient", StabBiConjugateGradient},
    {"SquaredConjugateGradient", SquaredConjugateGradient},
    {"Squared_Conjugate_Gradient", SquaredConjugateGradient},
    {"GMRes", GMRes},
};

struct PrecondWord {
  const char* word;
  int code;
};
constexpr PrecondWord kPreconditioners[] = {{"ILU", 2}, {"IC", 1}, {"Diagonal", 0}, {"None", 3}};

// Sets code from the first entry of the table whose word is `word`, case ignored; false when
// there is none.
template <class Entry, size_t N, class Code>
bool Lookup(const Entry (&table)[N], const char* word, Code& code) {
  for (const Entry& e : table)
    if (strcasecmp(word, e.word) == 0) {
      code = e.code;
      return true;
    }
  return false;
}

double DefaultTol2(double tol) { return std::min(1e4 * tol, 0.5); }

}  // namespace

Solver::Solver(Input* in, const char* name_) : name(name_ ? name_ : "") {
  max_iter = in->GetInt("Max_Iter");
  // The stationary methods sweep once more than the limit: the largest int would wrap.
  if (max_iter <= 0 || max_iter == INT_MAX) OLVU_FATAL("Wrong definition of Max Iterations in solver " << name << "\n");
  tol = in->GetRea("Tolerance", Undimensional);
  if (tol < 1e-50) OLVU_FATAL("Wrong definition of Tolerance in solver " << name << "\n");
  tol2 = in->Exist("Tolerance2") ? in->GetRea("Tolerance2", Undimensional) : DefaultTol2(tol);

  const char* method = in->GetWord("Solver", nullptr);
  if (!Lookup(kMethods, method, type)) OLVU_FATAL("Solver " << method << " not implemented\n");
  if (type == GMRes) kdim = in->Exist("Kdim") ? in->GetInt("Kdim") : 20;

  precond_type = 2;
  if (in->Exist("Preconditioner")) {
    const char* word = in->GetWord("Preconditioner", nullptr);
    if (!Lookup(kPreconditioners, word, precond_type)) OLVU_FATAL("Preconditioner " << word << " not implemented\n");
  }
  // The stationary methods take no preconditioner.
  if (type == GaussSeidel || type == Jacobi) precond_type = 3;
}

Solver::Solver(SolverType type_, double tol_, int max_iter_, const char* name_)
    : max_iter(max_iter_),
      kdim(20),
      name(name_ ? name_ : ""),
      tol(tol_),
      tol2(DefaultTol2(tol_)),
      type(type_),
      precond_type(type_ == GaussSeidel ? 3 : 0) {}

Solver::~Solver() = default;

void Solver::define(SystemSparseMatrix* A) { mat = A; }

void Solver::matrix(SystemSparseMatrix* A) {
  mat = A;
  n = A->dim(0);
  check_dimension();
}

void Solver::figure(ReaVec& b, SystemSparseMatrix* A) {
  const double f = A->figure();
  *A /= f;
  b /= f;
}

DomainSolver::DomainSolver(CoupledDomain* d, SolverType type_, double tol_, int max_iter_, const char* name_)
    : Solver(type_, tol_, max_iter_, name_), domain(d) {}

DomainSolver::DomainSolver(CoupledDomain* d, Input* in, const char* name_) : Solver(in, name_), domain(d) {}
