// Closed-form 3x3 and 4x4 inverses: Matrix::i() (new result) and Matrix::i(a, 0) (into an
// existing matrix, as the element routines call it) against Eigen's fixed-size inverse().
#include <benchmark/benchmark.h>

#include <Eigen/Dense>

#include "foundation/matrix.h"

namespace {

template <int N>
void Fill(double* m) {
  for (int i = 0; i < N; i++)
    for (int j = 0; j < N; j++) m[i * N + j] = (i == j ? N + 1.0 : 0.0) + 1.0 / (i + 2 * j + 1);
}

template <int N>
void BM_MatrixInverse(benchmark::State& state) {
  Matrix A(N, N);
  Fill<N>(A.data);
  for (auto _ : state) {
    Matrix inv = A.i();
    benchmark::DoNotOptimize(inv.data);
    A.data[0] += 1e-12;  // a new matrix every time
  }
}

template <int N>
void BM_MatrixInverseInto(benchmark::State& state) {
  Matrix A(N, N), R(N, N);
  Fill<N>(A.data);
  for (auto _ : state) {
    R.i(A, 0);
    benchmark::DoNotOptimize(R.data);
    benchmark::ClobberMemory();
    A.data[0] += 1e-12;
  }
}

template <int N>
void BM_EigenInverse(benchmark::State& state) {
  Eigen::Matrix<double, N, N, Eigen::RowMajor> A, R;
  Fill<N>(A.data());
  for (auto _ : state) {
    R = A.inverse();
    benchmark::DoNotOptimize(R.data());
    benchmark::ClobberMemory();
    A(0, 0) += 1e-12;
  }
}

BENCHMARK_TEMPLATE(BM_MatrixInverse, 3);
BENCHMARK_TEMPLATE(BM_MatrixInverseInto, 3);
BENCHMARK_TEMPLATE(BM_EigenInverse, 3);
BENCHMARK_TEMPLATE(BM_MatrixInverse, 4);
BENCHMARK_TEMPLATE(BM_MatrixInverseInto, 4);
BENCHMARK_TEMPLATE(BM_EigenInverse, 4);

}  // namespace
