#include "foundation/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "foundation/reavec.h"
#include "tests/foundation/vec_support.h"

using olvu_test::AllocCounter;
using olvu_test::ExpectFatal;

namespace {

Matrix Make(int r, int c, std::initializer_list<double> v) {
  Matrix m(r, c);
  int k = 0;
  for (double x : v) m.data[k++] = x;
  return m;
}

Matrix Hilbert(int n) {
  Matrix h(n, n);
  for (int i = 1; i <= n; i++)
    for (int j = 1; j <= n; j++) h(i, j) = 1.0 / (i + j - 1);
  return h;
}

ReaVec Vec(std::initializer_list<double> v) {
  ReaVec r(static_cast<unsigned>(v.size()));
  unsigned i = 1;
  for (double x : v) r(i++) = x;
  return r;
}

// Largest |A B - I| entry.
double OffIdentity(const Matrix& A, const Matrix& B) {
  Matrix P = A * B;
  double m = 0;
  for (int i = 1; i <= P.nrows; i++)
    for (int j = 1; j <= P.ncols; j++) m = std::fmax(m, std::fabs(P(i, j) - (i == j ? 1.0 : 0.0)));
  return m;
}

const std::string kShapes22_23 = "\tMatrix 1 : nrows=2, ncols=2\n\tMatrix 2 : nrows=2, ncols=3\n";

// ---------------------------------------------------------------- inverse and determinant

TEST(MatrixInverse, TwoByTwoExample) {
  Matrix A = Make(2, 2, {4, 7, 2, 6});
  EXPECT_EQ(A.det(), 10.0);
  Matrix inv = A.i();
  EXPECT_DOUBLE_EQ(inv(1, 1), 0.6);
  EXPECT_DOUBLE_EQ(inv(1, 2), -0.7);
  EXPECT_DOUBLE_EQ(inv(2, 1), -0.2);
  EXPECT_DOUBLE_EQ(inv(2, 2), 0.4);
  EXPECT_EQ(Make(1, 1, {4}).i()(1, 1), 0.25);
}

TEST(MatrixInverse, HilbertMatricesAgainstExactValues) {
  EXPECT_NEAR(Hilbert(3).det() * 2160, 1.0, 1e-12);
  EXPECT_NEAR(Hilbert(4).det() * 6048000, 1.0, 1e-10);
  Matrix h4 = Hilbert(4).i();
  const double row4[] = {16, -120, 240, -140};
  for (int j = 1; j <= 4; j++) EXPECT_NEAR(h4(1, j), row4[j - 1], 1e-9 * std::fabs(row4[j - 1]));
  EXPECT_LT(OffIdentity(Hilbert(3), Hilbert(3).i()), 1e-12);
  EXPECT_LT(OffIdentity(Hilbert(4), h4), 1e-10);
  Matrix h5 = Hilbert(5).i();  // Gauss-Jordan
  const double row5[] = {25, -300, 1050, -1400, 630};
  for (int j = 1; j <= 5; j++) EXPECT_NEAR(h5(1, j), row5[j - 1], 1e-7 * std::fabs(row5[j - 1]));
  EXPECT_LT(OffIdentity(Hilbert(5), h5), 1e-8);
}

TEST(MatrixInverse, GeneralFourByFourAndInPlaceForms) {
  Matrix A = Make(4, 4, {2, -1, 0, 3, 1, 4, -2, 0, 0, 1, 5, -1, 3, 0, 1, 2});
  Matrix inv = A.i();
  EXPECT_LT(OffIdentity(A, inv), 1e-14);
  EXPECT_LT(OffIdentity(inv, A), 1e-14);
  double d = A.det();
  EXPECT_NEAR(d * inv.det(), 1.0, 1e-13);
  Matrix B(4, 4);
  B.i(A, 1);
  EXPECT_TRUE(AreVeryEqual(B, inv, 0.0));
  A.i(A, 1);  // the source may be the target
  EXPECT_TRUE(AreVeryEqual(A, inv, 0.0));
  Matrix small;  // the target takes the source's shape
  small.i(Make(3, 3, {2, 0, 0, 0, 4, 0, 0, 0, 8}), 1);
  EXPECT_EQ(small(3, 3), 0.125);
  Matrix src = Make(2, 2, {1, 2, 3, 4});
  Transpose T(src);  // shows (1 3; 2 4)
  T.i();
  EXPECT_EQ(T.owned, 1);
  Matrix Ti = T;
  EXPECT_DOUBLE_EQ(Ti(1, 1), -2.0);
  EXPECT_DOUBLE_EQ(Ti(1, 2), 1.5);
  EXPECT_DOUBLE_EQ(Ti(2, 1), 1.0);
  EXPECT_DOUBLE_EQ(Ti(2, 2), -0.5);
}

TEST(MatrixInverse, SingularAndMisshapenMatrices) {
  Matrix S = Make(3, 3, {1, 2, 3, 2, 4, 6, 1, 0, 1});
  Matrix R(3, 3);
  R.i(S, 0);
  EXPECT_EQ(R.size, 0);
  EXPECT_EQ(R.nrows, 0);
  EXPECT_EQ(R.data, nullptr);
  R.i(Matrix(2, 3), 0);
  EXPECT_EQ(R.size, 0);
  ExpectFatal([S] { S.i(); }, "Inverse of a singular Matrix. Size = (3 X 3)\n");
  ExpectFatal([] {
    Matrix A(5, 5);
    A = 1.0;  // rank one
    A.i();
  }, "Inverse of a singular Matrix. Size = (5 X 5)\n");
  ExpectFatal([] {
    Matrix A = Hilbert(5);
    A(1, 1) = 0.0;  // regular, but the first pivot is zero
    Matrix B(5, 5);
    B.i(A, 0);
  }, "Inverse of a singular Matrix. Size = (5 X 5)\n");
  ExpectFatal([] { Matrix().i(); }, "Can't compute the inverse of a zero size Matrix\n");
  ExpectFatal([] { Matrix(2, 3).i(); }, "Can't compute the inverse of a rectangular Matrix\n\tnrows =2, ncols =3\n");
  ExpectFatal([] { Hilbert(5).det(); }, "Not implemented yet determinant for a Matrix greater than 4\n");
  ExpectFatal([] { Matrix(3, 2).det(); },
              "Can't compute the determinant of a rectangular Matrix\n\tnrows =3, ncols =2\n");
}

TEST(MatrixFactorisation, CroutFactorsMultiplyBackToTheMatrix) {
  Matrix A = Make(4, 4, {4, 3, 2, 1, 3, 4, 3, 2, 2, 3, 4, 3, 1, 2, 3, 4});
  Matrix F = A.LU();
  Matrix L(4, 4), U(4, 4);
  L = 0.0;
  U = 0.0;
  for (int i = 1; i <= 4; i++)
    for (int j = 1; j <= 4; j++) {
      if (j <= i) L(i, j) = F(i, j);
      if (j > i) U(i, j) = F(i, j);
    }
  for (int i = 1; i <= 4; i++) U(i, i) = 1.0;
  EXPECT_TRUE(AreVeryEqual(L * U, A, 1e-13));
  ExpectFatal([] { Matrix(2, 3).LU(); },
              "Can't compute the crout decomposition of a rectangular Matrix\n\tnrows =2, ncols =3\n");
}

TEST(MatrixFactorisation, LinSolveSwapsRowsAndReportsSingularity) {
  Matrix A = Make(2, 2, {0, 1, 1, 0});
  ReaVec b = Vec({2, 3}), x(2);
  EXPECT_EQ(A.LinSolve(b, x), 0);
  EXPECT_EQ(x(1), 3.0);
  EXPECT_EQ(x(2), 2.0);
  Matrix Z(3, 3);
  Z = 0.0;
  ReaVec b3 = Vec({1, 1, 1}), x3(3);
  EXPECT_EQ(Z.LinSolve(b3, x3), 1);
  Matrix H = Hilbert(4);
  ReaVec rhs = H * Vec({1, 2, 3, 4}), sol;
  EXPECT_EQ(H.LinSolve(rhs, sol), 0);
  for (unsigned i = 1; i <= 4; i++) EXPECT_NEAR(sol(i), i, 1e-9);
}

// ---------------------------------------------------------------- rotations

TEST(MatrixRotation, EulerMatricesAreRotationsAndRoundTripThroughAxes) {
  const double pi = std::acos(-1.0);
  for (double phi = 0; phi < 2 * pi; phi += pi / 6)
    for (double theta = 0; theta <= pi + 1e-12; theta += pi / 8)  // both poles included
      for (double psi = 0; psi < 2 * pi; psi += pi / 5) {
        Matrix R;
        R.RotationEuler(Vec({phi, theta, psi}), 1);
        ASSERT_LT(OffIdentity(R, Matrix(Transpose(R))), 1e-14);
        ASSERT_NEAR(R.det(), 1.0, 1e-14);
        ReaVec x = R.GiveColumn(1), y = R.GiveColumn(2), z = R.GiveColumn(3), e;
        Matrix Q;
        Q.GiveRotationMatrixFromAxes(x, y, z, e);
        ASSERT_TRUE(AreVeryEqual(Q, R, 1e-6)) << phi << " " << theta << " " << psi;
      }
  Matrix R;
  R.RotationEuler(Vec({0, 0, 0}), 1);
  EXPECT_TRUE(AreVeryEqual(R, I(3), 0.0));
  R.RotationEuler(Vec({pi / 2, 0, 0}), 1);
  EXPECT_NEAR(R(1, 1), 0.0, 1e-16);
  EXPECT_EQ(R(1, 2), 1.0);
  EXPECT_EQ(R(1, 3), 0.0);
  R.RotationEuler(Vec({1, 1, 1}), 0);  // cosines: the identity
  EXPECT_TRUE(AreVeryEqual(R, I(3), 0.0));
}

TEST(MatrixRotation, FramesAroundAnAxis) {
  Matrix R(3, 3);
  R.GiveRotationMatrixFromZAxis(Vec({0, 0, 1}));
  EXPECT_TRUE(AreVeryEqual(R, I(3), 0.0));
  R.GiveRotationMatrixFromXAxis(Vec({1, 0, 0}));
  EXPECT_TRUE(AreVeryEqual(R, I(3), 0.0));
  for (ReaVec axis : {Vec({0.6, 0.0, 0.8}), Vec({0.01, 0.0, -1.0}), Vec({0, -1, 0})}) {
    axis.normalise();
    R.GiveRotationMatrixFromZAxis(axis);
    EXPECT_LT(OffIdentity(R, Matrix(Transpose(R))), 1e-14);
    EXPECT_NEAR(R.det(), 1.0, 1e-14);
    EXPECT_EQ(R(1, 3), axis(1));
    R.GiveRotationMatrixFromXAxis(axis);
    EXPECT_LT(OffIdentity(R, Matrix(Transpose(R))), 1e-14);
    EXPECT_NEAR(R.det(), 1.0, 1e-14);
    EXPECT_EQ(R(3, 1), axis(3));
  }
}

// ---------------------------------------------------------------- elementwise and products

TEST(Matrix, EmptyOperandsAndSizeMessages) {
  Matrix A, B = Make(2, 2, {1, 2, 3, 4});
  A += B;
  EXPECT_TRUE(A == B);
  ExpectFatal([] { Matrix A, B; A += B; }, "Can't add zero sized matrices\n");
  ExpectFatal([] { Matrix A, B(2, 2); A -= B; },
              "Can't subtract two Matrix with diferent sizes\n\tMatrix 1 : nrows=0, ncols=0\n"
              "\tMatrix 2 : nrows=2, ncols=2\n");
  ExpectFatal([] { Matrix(2, 2) + Matrix(2, 3); }, "Can't add two Matrix with diferent sizes\n" + kShapes22_23);
  ExpectFatal([] { Matrix() / 0.0; }, "Matrix division by zero scalar error\n");
  ExpectFatal([] { Matrix() * 2.0; }, "Can't multiply by 2 a zero size Matrix\n");
  ExpectFatal([] { Transpose(Matrix()) - 2.0; }, "Can't substract 2 to a zero size Matrix\n");
  ExpectFatal([] { Matrix(2, 2) * Matrix(3, 2); },
              "Incompatible dimensions for multiply -A-\n\tMatrix 1 : nrows=2, ncols=2\n"
              "\tMatrix 2 : nrows=3, ncols=2\n");
  ExpectFatal([] { Matrix() * Matrix(); }, "Can't multiply zero sized matrices\n");
  ExpectFatal([] { Matrix m(0, 3); }, "Can't create a Matrix of size 0\n");
  ExpectFatal([] { I(0); }, "Can't construct an identity Matrix of size 0\n");
  ExpectFatal([] { Matrix(2, 2).subMatrix(2, 1, 1, 1); },
              "subMatrix incorrect size :\n\tMatrix size nrows=2, ncols=2\n"
              "\tsubMatrix start: row=2, col=1, end: row=1, col=1\n");
}

TEST(Matrix, MemberProductFamilyMatchesExplicitForms) {
  Matrix A = Make(2, 3, {1, 2, 3, 4, 5, 6}), B = Make(3, 2, {1, -1, 2, 0, 0, 3});
  Matrix C(2, 2);
  C.product(A, B, 2.0);
  EXPECT_TRUE(C == Make(2, 2, {10, 16, 28, 28}));
  C.sub_product(A, B);
  EXPECT_TRUE(C == Make(2, 2, {5, 8, 14, 14}));
  Matrix D(3, 3);
  D.trans_product(A, A);  // A^T A
  EXPECT_TRUE(D == Matrix(Transpose(A)) * A);
  Matrix E(2, 2);
  E.product_trans(A, Matrix(Transpose(B)));
  EXPECT_TRUE(E == A * B);
  E.add_product_trans(A, A, 1.0);
  EXPECT_TRUE(E == A * B + A.multt());
  Matrix F(3, 3);
  F.trans_product_trans(A, B);
  EXPECT_TRUE(F == Matrix(Transpose(A)) * Matrix(Transpose(B)));
  F.add_product(F, 1.0);
  F.sub_product(F, 0.5);
  EXPECT_TRUE(F == Matrix(Transpose(A)) * Matrix(Transpose(B)));
  ReaVec v = A * Vec({1, 1, 1});
  EXPECT_EQ(v(1), 6.0);
  EXPECT_EQ(v(2), 15.0);
  ReaVec c = A.GiveColumn(2);
  EXPECT_EQ(c(2), 5.0);
}

TEST(Matrix, TransposedViewsInExpressions) {
  Matrix A = Make(2, 3, {1, 2, 3, 4, 5, 6}), B = Make(3, 2, {1, 0, 0, 1, 1, 1});
  Transpose T(A);  // shows 3 x 2
  EXPECT_EQ(T(3, 2), 6.0);
  Matrix At = T;
  EXPECT_TRUE(At == Make(3, 2, {1, 4, 2, 5, 3, 6}));
  EXPECT_TRUE(B + T == Make(3, 2, {2, 4, 2, 6, 4, 7}));
  EXPECT_TRUE(T - B == Make(3, 2, {0, 4, 2, 4, 2, 5}));
  EXPECT_TRUE(T * A == At * A);
  EXPECT_TRUE(B * Transpose(B) == B * Matrix(Transpose(B)));
  Transpose P = Transpose(B) * Transpose(A);  // (view B)(view A) = (A B)^T
  EXPECT_TRUE(Matrix(P) == Matrix(Transpose(A * B)));
  Transpose S = (T * 2.0) + 1.0;  // the owning intermediate lends its buffer
  EXPECT_EQ(S.owned, 1);
  EXPECT_TRUE(Matrix(S) == At * 2.0 + 1.0);
  EXPECT_EQ(A(2, 3), 6.0);  // the source is untouched
  Transpose N(A);
  -N;
  EXPECT_EQ(N.owned, 1);
  EXPECT_EQ(N(1, 1), -1.0);
  EXPECT_EQ(A(1, 1), 1.0);
  MatrixT M = B * 1.0;
  M += T;
  EXPECT_TRUE(M == B + T);
  Matrix back = Transpose(A).t();
  EXPECT_TRUE(back == A);
  Matrix inPlace = B - (B * 2.0);  // the temporary is reused
  EXPECT_TRUE(inPlace == -B);
}

TEST(Matrix, OneAllocationPerExpressionStep) {
  Matrix A = Make(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 10}), B = A, C(3, 3);
  AllocCounter counter;
  C = A * B;
  long one = counter.count();
  C = -(A + B);
  long two = counter.count() - one;
  C.add_product(A, B, 0.5);
  long none = counter.count() - one - two;
  EXPECT_EQ(one, 1);
  EXPECT_EQ(two, 1);
  EXPECT_EQ(none, 0);
}

TEST(Matrix, AssemblyAndConcatenation) {
  Matrix A = Make(2, 2, {1, 2, 3, 4});
  A.AddSubMatrix(3, 3, Make(2, 2, {5, 6, 7, 8}));
  EXPECT_TRUE(A == Make(4, 4, {1, 2, 0, 0, 3, 4, 0, 0, 0, 0, 5, 6, 0, 0, 7, 8}));
  A.AddSubMatrix(2, 2, A.subMatrix(1, 1, 2, 2));
  EXPECT_TRUE(A.subMatrix(2, 2, 3, 3) == Make(2, 2, {1, 2, 3, 4}));
  Matrix S = Make(2, 2, {1, 2, 3, 4});
  S.AddSubMatrix(2, 2, S);  // the block is the matrix itself
  EXPECT_TRUE(S == Make(3, 3, {1, 2, 0, 3, 1, 2, 0, 3, 4}));
  Matrix L = Make(2, 1, {1, 2}), R = Make(2, 2, {3, 4, 5, 6});
  EXPECT_TRUE((L & R) == Make(2, 3, {1, 3, 4, 2, 5, 6}));
  EXPECT_TRUE((R | Make(1, 2, {7, 8})) == Make(3, 2, {3, 4, 5, 6, 7, 8}));
  EXPECT_TRUE((Matrix() & R) == R);
  ExpectFatal([] { Make(2, 1, {1, 2}) | Make(2, 2, {1, 2, 3, 4}); },
              "Vertical concatenation with diferent number of columns\n\tMatrix 1 : nrows=2, ncols=1\n"
              "\tMatrix 2 : nrows=2, ncols=2\n");
  ExpectFatal([] { Make(1, 1, {1}) & Matrix(); }, "Can't concatenate a zero size Matrix\n");
  Matrix r = Make(2, 2, {1, 2, 3, 4});
  EXPECT_EQ(r.rowmult(2, 2.0), 0);
  EXPECT_TRUE(r == Make(2, 2, {1, 2, 6, 8}));
  EXPECT_EQ(r.rowmult(3, 2.0), -1);
  r.copyrow(Vec({9, 9}), 1);
  EXPECT_EQ(r(1, 2), 9.0);
}

TEST(Matrix, ReductionsAndTransformations) {
  EXPECT_EQ(Make(2, 2, {-1, -2, -3, -4}).colNorm(), 0.0);
  EXPECT_EQ(Make(2, 2, {1, -2, 3, 4}).rowNorm(), 7.0);
  EXPECT_EQ(Make(1, 3, {3, -3, 1}).maxAbsRow(1), 1);
  EXPECT_EQ(Make(2, 2, {1, 2, 3, 4}).trace(), 5.0);
  EXPECT_EQ(Make(2, 3, {1, 2, 3, 4, 5, 6}).sumDiagVal(), 1.0 + 4.0);  // k = 0, 3
  EXPECT_EQ(Make(2, 2, {1, 2, 3, 4}).sumRow(2), 7.0);
  EXPECT_EQ(Make(2, 2, {3, 0, 0, 4}).norm(), 5.0);
  EXPECT_EQ(Matrix().contract(), 0.0);
  EXPECT_EQ(Make(1, 2, {0, 0}).isZero(), 1);
  EXPECT_EQ(Matrix().isZero(), 0);
  EXPECT_TRUE(Make(2, 2, {1, 2, 3, 4}).rowSumVal() == Make(2, 1, {3, 7}));
  Matrix s = Make(1, 4, {0.5, -0.5, 0.6, NAN});
  s.scorn(0.5);
  EXPECT_EQ(s(1, 1), 0.0);
  EXPECT_EQ(s(1, 2), 0.0);
  EXPECT_EQ(s(1, 3), 0.6);
  EXPECT_TRUE(std::isnan(s(1, 4)));
  Matrix l = Make(2, 2, {1, 2, 3, 4});
  l.lumping();
  EXPECT_TRUE(l == Make(2, 2, {3, 0, 0, 7}));
  Matrix y = Make(2, 2, {1, 2, 4, 1});
  y.symmetrise();
  EXPECT_TRUE(y == Make(2, 2, {1, 3, 3, 1}));
  Matrix a = Make(1, 2, {1, 2}), b = Make(1, 2, {1, 2.5});
  EXPECT_EQ(AreVeryEqual(a, b, 0), a == b);
  EXPECT_TRUE(AreVeryEqual(a, b, 0.5));
  EXPECT_FALSE(AreVeryEqual(a, Make(2, 1, {1, 2}), 1.0));
  ExpectFatal([] { Make(1, 1, {1}).sumRow(2); }, "Wrong irow 2 value found in sumRow\n");
  ExpectFatal([] { Matrix().maxAbsVal(); }, "Can't compute the maxAbsVal of a zero size Matrix\n");
}

TEST(Matrix, TextAndFileForms) {
  std::ostringstream e;
  e << Matrix();
  EXPECT_EQ(e.str(), "\n\t(Zero size matrix)\n");
  std::ostringstream o;
  o.precision(2);
  o << Make(1, 2, {1, -2});
  EXPECT_EQ(o.str(), "\n         1         2\n1  1.00e+00 -2.00e+00\n");
  FILE* f = std::tmpfile();
  Make(1, 2, {1, 2}).WriteAscii(f);
  std::rewind(f);
  char line[64] = {};
  ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "1.000000  2.000000  \n");
  std::rewind(f);
  Matrix r(1, 2);
  r.ReadAscii(f);
  EXPECT_TRUE(r == Make(1, 2, {1, 2}));
  std::fclose(f);
  ExpectFatal([] {
    FILE* f = std::tmpfile();
    std::fputs("1.0\n", f);
    std::rewind(f);
    Matrix(2, 2).ReadAscii(f);
  }, "Wrong data found in ReadAscii of a 2 X 2 matrix: expected 4 values, read 1\n");
  ExpectFatal([] { Matrix().WriteBinary(stdout); }, "error: can't write 0x0 matrix\n\n");
}

}  // namespace
