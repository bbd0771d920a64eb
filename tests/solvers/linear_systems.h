// Test systems for the linear solvers: a matrix given by triplets, built both as a
// SystemSparseMatrix on its own pattern and as an Eigen matrix for direct reference solves.
#pragma once

#include <Eigen/Sparse>
#include <Eigen/SparseCholesky>
#include <Eigen/SparseLU>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "foundation/alloc.h"
#include "solvers/sparsematrix.h"

namespace olvu_test {

using Triplets = std::vector<Eigen::Triplet<double>>;

/// Makes sure the scratch pool exists with room for the test systems.
inline void EnsurePool() { AllocInit(64L << 20); }

/// One linear system in both forms.
struct LinearSystem {
  std::string name;
  int n = 0;
  bool symmetric = false;
  std::unique_ptr<SparseMatrixStruct> pattern;
  std::unique_ptr<SystemSparseMatrix> A;
  Eigen::SparseMatrix<double> E;
};

/// Builds the system of n rows from triplets (duplicates added), pattern diagonal first and sorted.
inline LinearSystem MakeSystem(const std::string& name, int n, const Triplets& t, bool symmetric,
                               int diag_first = 1) {
  EnsurePool();
  LinearSystem s;
  s.name = name;
  s.n = n;
  s.symmetric = symmetric;
  s.pattern = std::make_unique<SparseMatrixStruct>(n, n, diag_first, 1, 0);
  for (const auto& e : t) s.pattern->addPosition(e.row(), e.col());
  s.pattern->Build();
  s.A = std::make_unique<SystemSparseMatrix>(s.pattern.get());
  for (const auto& e : t) s.A->addToLhs(e.row(), e.col(), e.value());
  s.E.resize(n, n);
  s.E.setFromTriplets(t.begin(), t.end());
  return s;
}

/// 5-point Laplacian on an nx by nx grid (Dirichlet boundary).
inline Triplets Laplacian2D(int nx) {
  Triplets t;
  auto id = [nx](int i, int j) { return i * nx + j; };
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < nx; ++j) {
      t.emplace_back(id(i, j), id(i, j), 4.0);
      if (i > 0) t.emplace_back(id(i, j), id(i - 1, j), -1.0);
      if (i + 1 < nx) t.emplace_back(id(i, j), id(i + 1, j), -1.0);
      if (j > 0) t.emplace_back(id(i, j), id(i, j - 1), -1.0);
      if (j + 1 < nx) t.emplace_back(id(i, j), id(i, j + 1), -1.0);
    }
  return t;
}

/// 7-point Laplacian on an nx^3 grid.
inline Triplets Laplacian3D(int nx) {
  Triplets t;
  auto id = [nx](int i, int j, int k) { return (i * nx + j) * nx + k; };
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < nx; ++j)
      for (int k = 0; k < nx; ++k) {
        const int r = id(i, j, k);
        t.emplace_back(r, r, 6.0);
        if (i > 0) t.emplace_back(r, id(i - 1, j, k), -1.0);
        if (i + 1 < nx) t.emplace_back(r, id(i + 1, j, k), -1.0);
        if (j > 0) t.emplace_back(r, id(i, j - 1, k), -1.0);
        if (j + 1 < nx) t.emplace_back(r, id(i, j + 1, k), -1.0);
        if (k > 0) t.emplace_back(r, id(i, j, k - 1), -1.0);
        if (k + 1 < nx) t.emplace_back(r, id(i, j, k + 1), -1.0);
      }
  return t;
}

/// Consistent mass matrix of linear triangles on an nx by nx grid of unit squares cut in two.
inline Triplets Mass2D(int nx) {
  Triplets t;
  const int np = nx + 1;
  auto id = [np](int i, int j) { return i * np + j; };
  const double area = 0.5;
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < nx; ++j) {
      const int tri[2][3] = {{id(i, j), id(i + 1, j), id(i + 1, j + 1)}, {id(i, j), id(i + 1, j + 1), id(i, j + 1)}};
      for (const auto& e : tri)
        for (int a = 0; a < 3; ++a)
          for (int b = 0; b < 3; ++b) t.emplace_back(e[a], e[b], a == b ? area / 6 : area / 12);
    }
  return t;
}

/// Upwind convection-diffusion on an nx by nx grid: Laplacian plus a first-order upwind
/// convection of cell Peclet number pe along x and pe/2 along y (non-symmetric, M-matrix).
inline Triplets ConvDiff2D(int nx, double pe) {
  Triplets t;
  auto id = [nx](int i, int j) { return i * nx + j; };
  const double cx = pe, cy = 0.5 * pe;
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < nx; ++j) {
      const int r = id(i, j);
      t.emplace_back(r, r, 4.0 + cx + cy);
      if (j > 0) t.emplace_back(r, id(i, j - 1), -1.0 - cx);
      if (j + 1 < nx) t.emplace_back(r, id(i, j + 1), -1.0);
      if (i > 0) t.emplace_back(r, id(i - 1, j), -1.0 - cy);
      if (i + 1 < nx) t.emplace_back(r, id(i + 1, j), -1.0);
    }
  return t;
}

/// Tridiagonal matrix with diagonal d and off-diagonals lo (below) and up (above).
inline Triplets Tridiagonal(int n, double d, double lo, double up) {
  Triplets t;
  for (int i = 0; i < n; ++i) {
    t.emplace_back(i, i, d + 0.1 * i);
    if (i > 0) t.emplace_back(i, i - 1, lo);
    if (i + 1 < n) t.emplace_back(i, i + 1, up);
  }
  return t;
}

/// A smooth right-hand side with entries of both signs.
inline Eigen::VectorXd TestRhs(int n) {
  Eigen::VectorXd b(n);
  for (int i = 0; i < n; ++i) b[i] = std::sin(0.37 * i + 0.2) + 0.5;
  return b;
}

/// Direct reference solution: SimplicialLDLT for symmetric systems, SparseLU otherwise.
inline Eigen::VectorXd DirectSolve(const LinearSystem& s, const Eigen::VectorXd& b) {
  if (s.symmetric) {
    Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>> ldlt(s.E);
    return ldlt.solve(b);
  }
  Eigen::SparseLU<Eigen::SparseMatrix<double>> lu;
  lu.analyzePattern(s.E);
  lu.factorize(s.E);
  return lu.solve(b);
}

/// |b - A x| / |b|.
inline double ResidualRatio(const LinearSystem& s, const double* x, const Eigen::VectorXd& b) {
  const Eigen::Map<const Eigen::VectorXd> xv(x, s.n);
  return (b - s.E * xv).norm() / b.norm();
}

/// |x - ref| / |ref|.
inline double RelError(const double* x, const Eigen::VectorXd& ref) {
  const Eigen::Map<const Eigen::VectorXd> xv(x, ref.size());
  return (xv - ref).norm() / ref.norm();
}

}  // namespace olvu_test
