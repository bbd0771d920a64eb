#include "foundation/reavec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "foundation/alloc.h"
#include "foundation/matrix.h"
#include "foundation/threads.h"
#include "tests/foundation/vec_support.h"

using olvu_test::AllocCounter;
using olvu_test::ExpectFatal;

namespace {

ReaVec Make(std::initializer_list<double> v) {
  ReaVec r(static_cast<unsigned>(v.size()));
  unsigned i = 1;
  for (double x : v) r(i++) = x;
  return r;
}

void ExpectVec(const ReaVec& v, std::initializer_list<double> want) {
  ASSERT_EQ(v.length(), want.size());
  unsigned i = 1;
  for (double x : want) EXPECT_DOUBLE_EQ(v(i++), x) << "entry " << i - 1;
}

int Cmp(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

// ---------------------------------------------------------------- storage and temporaries

TEST(ReaVec, SumOfTwoVectorsMakesExactlyOneAllocation) {
  ReaVec a(1000, 1.0), b(1000, 2.0), v(1000, 0.0);
  AllocCounter counter;
  v = a + b;
  long assigned = counter.count();
  ReaVec w(a - b);
  long constructed = counter.count() - assigned;
  EXPECT_EQ(assigned, 1);
  EXPECT_EQ(constructed, 1);
  EXPECT_EQ(v(1000), 3.0);
  EXPECT_EQ(w(1), -1.0);
}

TEST(ReaVec, InPlaceFamilyAllocatesNothing) {
  ReaVec t(64, 1.0), a(64, 2.0), b(64, 3.0);
  Matrix M(8, 8);
  M = 0.5;
  ReaVec m8(8, 1.0), r8(8, 0.0);
  BitVec mask(64);
  AllocCounter counter;
  t.add_product(a, b);
  t.sub_product(a, 0.5);
  t.product(a, b, 2.0);
  t.quotient(a, b, 1e-3);
  t.add_quotient(a, b);
  t.plus(a, b);
  t.minus(a);
  t += a;
  t *= 2.0;
  t.limit(100.0, -100.0);
  t.max_limit_quot(a, 3.0);
  t.average(a, 0.5);
  t.averincr(b, 0.5);
  t.product(mask, a);
  t.integrate_AB3(a, b, a, 0.1);
  r8.add_product(M, m8);
  double s = t.norm() + t.max_abs() + dot(t, a) + dif_max_abs(t, a, mask);
  EXPECT_EQ(counter.count(), 0);
  EXPECT_TRUE(std::isfinite(s));
  EXPECT_EQ(r8(3), 4.0);
}

TEST(ReaVec, TemporaryIsEmptiedByTakeOver) {
  ReaVec a = Make({1, 2}), b = Make({3, 4});
  ReaVecT t = a + b;
  const double* p = t.GivePointer();
  ReaVec v(t);
  EXPECT_EQ(t.length(), 0u);
  EXPECT_EQ(t.GivePointer(), nullptr);
  EXPECT_EQ(v.GivePointer(), p);
  ReaVec n = -(a + b);
  ExpectVec(n, {-4, -6});
  ExpectVec(-a, {-1, -2});
  ReaVec c = a & b;
  ExpectVec(c, {1, 2, 3, 4});
  ExpectVec(c.subVec(2, 2), {2, 3});
}

TEST(ReaVec, BorrowedStorageAndPoolVectors) {
  double raw[3] = {1, 2, 3};
  ReaVec borrowed(3, raw);
  borrowed *= 2;
  EXPECT_EQ(raw[2], 6.0);
  borrowed.release();
  EXPECT_TRUE(borrowed.null());

  AllocInit(1 << 16);
  AllocReset();
  ReaVec src = Make({1, 2, 3});
  ReaVecM m(src);
  ReaVecM z(4, 0.5);
  AllocCounter counter;
  m = src + src;  // copied into the pool vector, never handed to delete[]
  m.resize(5, 7.0);
  ReaVecM k(m);
  EXPECT_EQ(counter.count(), 1);  // only the temporary sum
  ExpectVec(m, {2, 4, 6, 7, 7});
  ExpectVec(k, {2, 4, 6, 7, 7});
  EXPECT_NE(k.GivePointer(), m.GivePointer());
  ExpectVec(z, {0.5, 0.5, 0.5, 0.5});
  AllocReset();
}

// Code that takes any vector by ReaVec& may assign a temporary or empty it; a pool vector
// handed to it keeps pool storage (under the sanitizers a pool array reaching delete[] stops
// the run with an alloc-dealloc mismatch).
void AssignSum(ReaVec& o, const ReaVec& a, const ReaVec& b) { o = a + b; }
void Empty(ReaVec& o) { o.remove(); }

TEST(ReaVec, PoolVectorThroughAReferenceKeepsPoolStorage) {
  AllocInit(1 << 16);
  AllocReset();
  const ReaVec a = Make({1, 2, 3}), b = Make({10, 20, 30});
  ReaVecM m(3, 0.0), shorter(2, 0.0);
  const double* pool = m.GivePointer();
  AssignSum(m, a, b);
  ExpectVec(m, {11, 22, 33});
  EXPECT_EQ(m.GivePointer(), pool);  // same length: the values land in the same pool array
  AssignSum(shorter, a, b);          // other length: a new pool array
  ExpectVec(shorter, {11, 22, 33});
  Empty(m);
  EXPECT_TRUE(m.null());
  ReaVec heap(3, 0.0);
  AssignSum(heap, a, b);  // a heap vector still takes the temporary's array over
  ExpectVec(heap, {11, 22, 33});
  AllocReset();
}

TEST(ReaVec, ConstructionAndFillFollowTheRangeRule) {
  ReaVec v(5, 0.0);
  v.fill(2.0, 2, 0);
  ExpectVec(v, {0, 2, 2, 2, 2});
  ReaVec z(3, 0);  // an int fill value is not taken for an array
  ExpectVec(z, {0, 0, 0});
  v.resize(2, 9.0);
  v.resize(4, 9.0);
  ExpectVec(v, {0, 2, 9, 9});
  v.resize(Make({1}), Make({2}), Make({3}));
  ExpectVec(v, {1, 2, 3});
  ExpectFatal([] { ReaVec v(0, 1.0); }, "Index 4294967295 out of range.\n");
  ExpectFatal([] { ReaVec(5, 1.0).subVec(4, 3); }, "Index 5 out of range.\n");
  ExpectFatal([] { ReaVec v; v = 0.0; }, "Can't fill with 0 a zero lenght vector.\n");
}

TEST(ReaVec, MatrixConversions) {
  Matrix col(3, 1);
  col = 2.0;
  ReaVec v(col);
  ExpectVec(v, {2, 2, 2});
  ReaVec w(col * 3.0);  // one-column temporary taken over
  ExpectVec(w, {6, 6, 6});
  ReaVec two(2);
  two = col;
  ExpectVec(two, {2, 2});
  // The accent of the message is the single Latin-1 byte 0xB4.
  ExpectFatal([] { ReaVec v{Matrix(2, 2)}; }, "Vector can\xb4t have more than 1 column\n");
  ExpectFatal([] { ReaVec v(Matrix(2, 2) * 1.0); }, "Cannot convert Matrix to Vector\n");
}

// ---------------------------------------------------------------- element-wise forms

TEST(ReaVec, ElementWiseFormsComputeTheirTables) {
  ReaVec a = Make({1, -2, 4}), b = Make({2, 4, -8}), t(3, 0.0);
  t.quotient(a, b, 3.0);  // a / max(|s|, b)
  ExpectVec(t, {1.0 / 3, -0.5, 4.0 / 3});
  t = Make({6, 6, 6});
  t.quotient(b, 3.0);
  ExpectVec(t, {2, 1.5, 2});
  t.minus(10.0, a);  // the argument order does not change the result
  ExpectVec(t, {-9, -12, -6});
  t.add_minus(a, b);
  ExpectVec(t, {-10, -18, 6});
  t.sub_plus(a, 1.0);
  ExpectVec(t, {-12, -17, 1});
  t.add_Fproduct(a, b, std::fabs);
  ExpectVec(t, {-10, -9, 33});
  t.max_abs(a, b, Make({0, 0, -9}));
  ExpectVec(t, {2, 4, 9});
  t.norm(Make({3, 0, 1}), Make({4, 0, 1}), Make({0, 2, 1}));
  ExpectVec(t, {5, 2, std::sqrt(3.0)});
  t.apply([](double x, double y, double z) { return x + y * z; }, a, b, 2.0);
  ExpectVec(t, {5, 6, -12});
  ExpectFatal([] { ReaVec t(1); t.quotient(Make({1}), Make({1}), 0.0); }, "Wrong input data in ReaVec::quotient\n");
  ExpectFatal([] { ReaVec t = Make({1, -1}); t.sqroot(); }, "Wrong input data in ReaVec::sqroot\n");
  ExpectFatal([] { ReaVec t = Make({1}); t /= 0.0; }, "Division by zero.\n");
  ExpectFatal([] { ReaVec t = Make({1}); t += Make({1, 2}); }, "Different lenght vectors 1 != 2\n");
  ExpectFatal([] { ReaVec t = Make({1}); t.opposite(Make({1, 2})); },
              "Different lenght vectors in opposite function 1 != 2\n");
}

TEST(ReaVec, MaskedFormsHonourTheBits) {
  BitVec mask(4);
  mask.assign(2u, 1);
  mask.assign(4u, 1);
  ReaVec t = Make({1, 2, 3, 4}), a = Make({10, 10, 10, 10});
  t.product(mask, a);
  ExpectVec(t, {0, 20, 0, 40});
  t = Make({1, 2, 3, 4});
  t.average(a, mask, 0.5);  // 2t - a on the clear bits only
  ExpectVec(t, {-8, 2, -4, 4});
  t.average(a, mask, 0.0);
  ExpectVec(t, {10, 2, 10, 4});
  EXPECT_EQ(dif_max_abs(Make({0, 0, 0, 0}), Make({1, 50, 2, 60}), mask), 2.0);
  mask.mark();
  EXPECT_EQ(dif_max_abs(Make({0, 0, 0, 0}), Make({1, 50, 2, 60}), mask), 0.0);
}

TEST(ReaVec, RelaxationForms) {
  ReaVec a = Make({1, 2});
  ReaVec t = Make({3, 5});
  t.average(a, 1.0);
  ExpectVec(t, {3, 5});
  t.average(a, 0.5);
  ExpectVec(t, {5, 8});
  t.average(a, 0.0);
  ExpectVec(t, {1, 2});
  t.average(a, Make({7, 7}), 1.0);
  ExpectVec(t, {7, 7});
  t.aver(a, 0.25);
  ExpectVec(t, {1, 0.25});
  ReaVec acc = Make({1, 1});
  t = Make({2, 4});
  t.averincr(acc, 0.5);
  ExpectVec(t, {4, 8});
  ExpectVec(acc, {5, 9});
  t.averincr(acc, -1.0);
  ExpectVec(t, {0, 0});
  t.plus_ifE(NULLVec, Make({3, 4}));
  ExpectVec(t, {3, 4});
  t.plus_ifE(NULLVec);
  ExpectVec(t, {3, 4});
}

TEST(ReaVec, LimitsTestUpperBeforeLower) {
  ReaVec t = Make({-5, 0, 5});
  t.limit(2.0, 2.0);
  ExpectVec(t, {2, 2, 2});
  t.limit(Make({-5, 0, 5}), 1.0, -1.0);
  ExpectVec(t, {-1, 0, 1});
  t = Make({-5, 0, 5});
  t.limit(Make({1, 1, 1}), Make({2, -1, 2}));  // crossed vector bounds: upper wins
  ExpectVec(t, {2, 0, 1});
  t = Make({1, 5, 9});
  t.max_limit(4.0, Make({0, 0, 0}));
  ExpectVec(t, {1, 0, 0});
  t = Make({1, 5, 9});
  t.min_limit(Make({2, 2, 2}), 2.0);
  ExpectVec(t, {4, 5, 9});
  ExpectFatal([] { ReaVec t = Make({1}); t.limit(1.0, 2.0); },
              "Wrong input in ReaVec::limit. Maximum 1, minimum 2\n");
}

TEST(ReaVec, CrossProducts) {
  ExpectVec(vectorial(Make({1, 0}), Make({0, 1})), {0, 0, 1});
  ExpectVec(vectorial(Make({1, 0, 0}), Make({0, 1, 0})), {0, 0, 1});
  ReaVec e;  // an empty target gets its three entries
  e.vectorial(Make({0, 1, 0}), Make({0, 0, 1}));
  ExpectVec(e, {1, 0, 0});
  e.vectorial(e, Make({0, 1, 0}));  // an operand may be the target
  ExpectVec(e, {0, 0, 1});
  ReaVec t = Make({2, 3});
  t.vectorial(Make({1, 1}));
  ExpectVec(t, {0, -1});
  ExpectFatal([] { vectorial(Make({1, 2, 3, 4}), Make({1, 2, 3, 4})); },
              "Operator ^ only works for two or three dimensions\n");
  ExpectFatal([] { vectorial(Make({1, 2, 3}), Make({1, 2})); }, "Different lenght vectors 3 != 2\n");
  ExpectFatal([] { ReaVec t = Make({1, 2, 3, 4}); t.vectorial(t); },
              "ReaVec::vectorial only works for two or three dimensions\n");
}

// ---------------------------------------------------------------- reductions and ordering

TEST(ReaVec, ReductionsOfEmptyAndSignedVectors) {
  ReaVec e;
  EXPECT_EQ(e.max_val(), 0.0);
  EXPECT_EQ(e.min_val(), 0.0);
  EXPECT_EQ(e.max_abs(), 0.0);
  EXPECT_EQ(e.norm(), 0.0);
  EXPECT_EQ(e.sum(), 0.0);
  EXPECT_EQ(dot(e, e), 0.0);
  EXPECT_EQ(e.max_index(), 0u);
  EXPECT_EQ(e.max_abs_index(), 0u);
  EXPECT_TRUE(e == 3.0);
  EXPECT_TRUE(e.constant());
  EXPECT_EQ(Make({-5, 3}).max_abs(), 5.0);
  EXPECT_EQ(Make({-5, 3}).max_signed(), -5.0);
  EXPECT_EQ(Make({2, -1}).min_signed(), -1.0);
  EXPECT_EQ(Make({1, -3, 3}).max_abs_index(), 2u);
  EXPECT_EQ(Make({4, 9, 9}).max_index(), 2u);
  EXPECT_EQ(Make({4, 1, 1}).min_index(), 2u);
  EXPECT_EQ(Make({1, 2, 2}).index(2.0), 2u);
  EXPECT_EQ(Make({3, 4}) * Make({1, 2}), 11.0);
  EXPECT_EQ(dif_norm(Make({1, 1}), Make({4, 5})), 5.0);
  EXPECT_EQ(dif_norm(Make({2, 1}), Make({1, 1}), Make({4, 5})), 10.0);
  EXPECT_EQ(Make({1, 2, 3}).reduce([](double r, double t) { return r * 10 + t; }, 0.0), 123.0);
  EXPECT_FALSE(Make({1, 2}) != 1.0 && false);
  EXPECT_TRUE(Make({2, 2}) == 2.0);
  EXPECT_FALSE(Make({1, 2}) == Make({1, 2, 3}));
}

// The extremes shared among threads find the value of the first-index scan, bit for bit: NaNs
// (first, inside and at block starts), signed zeros, all negative, and blocks left empty.
TEST(ReaVec, ExtremesOnThreadsMatchTheFirstIndexScan) {
  const int saved = Threads();
  SetThreadedMin(16);  // 300 entries: blocks of 5, the last ones empty
  const double nan = std::nan("");
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-1, 1);
  const std::vector<std::pair<unsigned, double>> cases[] = {
      {}, {{0, nan}}, {{5, nan}, {10, nan}, {77, nan}}, {{0, -0.0}, {3, 0.0}}, {{299, 7.0}, {4, -7.0}}};
  for (const auto& put : cases)
    for (bool negative : {false, true}) {
      ReaVec v(300u);
      for (unsigned i = 1; i <= 300; ++i) v(i) = negative ? -std::fabs(u(rng)) - 1 : u(rng);
      if (&put == &cases[3]) v = 0.0;
      for (const auto& [i, x] : put) v(i + 1) = x;
      const double want[3] = {v(v.max_index()), v(v.min_index()), std::fabs(v(v.max_abs_index()))};
      for (int threads : {1, 3}) {
        SetThreads(threads);
        const double got[3] = {v.max_val(), v.min_val(), v.max_abs()};
        EXPECT_EQ(std::memcmp(got, want, sizeof got), 0) << &put - cases << " threads " << threads;
      }
    }
  SetThreadedMin(0);
  SetThreads(saved);
}

TEST(ReaVec, OrderingAndWholeVectorBuilders) {
  ReaVec v = Make({3, -1, 2, 8, 0});
  v.Qsort();
  ExpectVec(v, {-1, 0, 2, 3, 8});
  EXPECT_EQ(v.Bsearch(3.0), 3);
  EXPECT_EQ(v.Bsearch(4.0), -1);
  v.reverse();
  ExpectVec(v, {8, 3, 2, 0, -1});
  ExpectVec(reverse(Make({1, 2, 3})), {3, 2, 1});
  ExpectVec(merge(Make({1, 3}), Make({1, 2}), Cmp), {1, 1, 2, 3});
  ExpectVec(combine([](double x, double y) { return x * y; }, Make({1, 2, 3}), Make({4, 5})), {4, 10});
  ExpectVec(map(std::sqrt, Make({4, 9})), {2, 3});
  IntVec keys(3);
  keys(1) = 3, keys(2) = 1, keys(3) = 2;
  ReaVec comp = Make({30, 10, 20});
  QSort(keys, comp);
  ExpectVec(comp, {10, 20, 30});
}

// ---------------------------------------------------------------- integrators and scatter

TEST(ReaVecIntegrators, AdamsBashforthExactForPolynomialRates) {
  // x' = 1 + 2t: AB2 integrates it exactly; x' = t^2: AB3 does.
  const double dt = 0.25;
  for (int k = 2; k <= 8; k++) {
    double t = k * dt, t1 = t + dt;
    ReaVec x2 = Make({0.0}), x3 = Make({0.0});
    x2.integrate_AB2(Make({1 + 2 * (t - dt)}), Make({1 + 2 * t}), dt);
    x3.integrate_AB3(Make({(t - 2 * dt) * (t - 2 * dt)}), Make({(t - dt) * (t - dt)}), Make({t * t}), dt);
    EXPECT_NEAR(x2(1), (t1 + t1 * t1) - (t + t * t), 1e-14) << k;
    EXPECT_NEAR(x3(1), (t1 * t1 * t1 - t * t * t) / 3, 1e-14) << k;
  }
  ReaVec e = Make({1}), r = Make({3});
  ReaVec ab = e;
  e.integrate_Euler(r, 0.5);
  ab.integrate_AB2(r, r, 0.5);
  EXPECT_EQ(e(1), ab(1));
}

TEST(ReaVecIntegrators, FicReproducesALinearSolutionAndKeepsThePreviousLevel) {
  ReaVec t = Make({3}), prev = Make({0}), r = Make({0});
  t.integrate_FIC(prev, r, 1.0);
  EXPECT_DOUBLE_EQ(t(1), 4.0);
  EXPECT_EQ(prev(1), 3.0);
  t.integrate_FIC(prev, r, 1.0);
  EXPECT_DOUBLE_EQ(t(1), 13.0 / 3);
  // x = t with x' = 1: every step lands on the line.
  const double dt = 0.1;
  ReaVec x = Make({dt}), xp = Make({0.0}), one = Make({1.0});
  for (int k = 1; k < 50; k++) {
    x.integrate_FIC(xp, one, dt);
    EXPECT_NEAR(x(1), (k + 1) * dt, 1e-12);
    EXPECT_NEAR(xp(1), k * dt, 1e-12);
  }
}

TEST(ReaVecScatter, MapSkipsNonPositiveIndicesAndBlends) {
  IntVec idx(3);
  idx(1) = 3, idx(2) = 0, idx(3) = 1;
  ReaVec dst = Make({1, 1, 1, 1}), src = Make({10, 20, 30});
  dst.map(idx, src, 1.0);
  ExpectVec(dst, {30, 1, 10, 1});
  dst.map(idx, src, 0.5);
  ExpectVec(dst, {30, 1, 10, 1});
  dst = Make({0, 0, 0, 0});
  dst.map(idx, src, 0.5);
  ExpectVec(dst, {15, 0, 5, 0});
  dst.add_map(idx, src);
  ExpectVec(dst, {45, 0, 15, 0});
  ExpectFatal(
      [] {
        IntVec bad(1, 5);
        ReaVec d = Make({0, 0});
        d.add_map(bad, Make({1}));
      },
      "Index 5 out of range.\n");
}

// ---------------------------------------------------------------- text form

TEST(ReaVecText, WriteAsciiBytes) {
  std::ostringstream o;
  Make({1, -2}).WriteAscii(o, "X", 6);
  EXPECT_EQ(o.str(), "X\tlen = 2;\n  1.000000E+00 -2.000000E+00 \n");
  std::ostringstream n;
  Make({0.5}).WriteAscii(n, nullptr, 3);
  EXPECT_EQ(n.str(), "len = 1;\n  5.000E-01 \n");
  ExpectFatal([] {
    std::ostringstream o;
    ReaVec().WriteAscii(o, "X", 6);
  }, "Can not WriteAscii (Zero size vector)\n\n");
}

// The buffered writer formats each entry as a scientific, upper-case stream would.
TEST(ReaVecText, WriteAsciiMatchesTheStreamFormat) {
  const std::vector<double> values = {0.0, -0.0, 1e-300, -1e300, 123456.789, -4.9e-324,
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(), std::nan("")};
  for (int precision : {0, 3, 9, 17}) {
    ReaVec v(unsigned(values.size()));
    std::ostringstream expected;
    expected << "K\tlen = " << values.size() << ";\n";
    expected.precision(precision);
    expected.setf(std::ios::scientific, std::ios::floatfield);
    expected.setf(std::ios::uppercase);
    for (std::size_t k = 0; k < values.size(); ++k) {
      v(unsigned(k + 1)) = values[k];
      if (!(values[k] < 0)) expected << ' ';
      expected.width(precision + 7);
      expected << values[k] << ' ';
    }
    expected << "\n";
    std::ostringstream o;
    v.WriteAscii(o, "K", precision);
    EXPECT_EQ(o.str(), expected.str()) << precision;
  }
}

TEST(ReaVecText, StreamAndPrintForms) {
  std::ostringstream o;
  o.precision(2);
  o << Make({1, -2});
  EXPECT_EQ(o.str(), "  1.00E+00-2.00E+00");
  EXPECT_FALSE(o.flags() & std::ios::scientific);  // flags restored
  std::ostringstream e;
  e << ReaVec();
  EXPECT_EQ(e.str(), "\t operator << (Zero size vector)\n");
  std::ostringstream p;
  p.precision(1);
  Make({1, -0.5}).PrintTo(p, 2.0);
  EXPECT_EQ(p.str(), "2\n  2.0E+00-1.0E+00\n");
  std::istringstream in("1.5 2.5");
  ReaVec r(2);
  in >> r;
  ExpectVec(r, {1.5, 2.5});
}

TEST(ReaVecText, AsciiRoundTripOfThousandDoublesIsBitExact) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-300, 300);
  ReaVec v(1000);
  for (unsigned i = 1; i <= 1000; i++) v(i) = std::ldexp(mant(rng), expo(rng));
  v(1) = 0.0;
  v(2) = -0.0;
  v(3) = 4.9406564584124654e-324;  // smallest subnormal
  v(4) = 1.7976931348623157e308;
  std::stringstream s;
  v.WriteAscii(s, "Vx", 16);
  std::string header;
  s >> header >> header >> header;  // "Vx", "len", "="
  ReaVec w;
  w.ReadAscii(s, "Vx", 1);
  ASSERT_EQ(w.length(), 1000u);
  EXPECT_EQ(std::memcmp(v.GivePointer(), w.GivePointer(), 1000 * sizeof(double)), 0);
}

TEST(ReaVecText, ShortOrMalformedTextIsFatal) {
  ExpectFatal([] {
    std::istringstream in("4 1.0 2.0 3.0");
    ReaVec v;
    v.ReadAscii(in, "Pressure", 1);
  }, "Wrong data found in ReadAscii of vector Pressure: expected 4 values, read 3\n");
  ExpectFatal([] {
    std::istringstream in("3 1.0 abc 3.0");
    ReaVec v(3);
    v.ReadAscii(in, "Vx", 0);
  }, "Wrong data found in ReadAscii of vector Vx: expected 3 values, read 1\n");
  ExpectFatal([] {
    std::istringstream in("-3 1 2 3");
    ReaVec v;
    v.ReadAscii(in, "Vx", 1);
  }, "Wrong data found in ReadAscii of vector Vx: no valid length found\n");
  ExpectFatal([] {
    std::istringstream in("2.5 1 2");
    ReaVec v;
    v.ReadAscii(in, "Vx", 1);
  }, "Wrong data found in ReadAscii of vector Vx: no valid length found\n");
  ExpectFatal([] {
    std::istringstream in("2 1 2");
    ReaVec v(3);
    v.ReadAscii(in, "Vx", 0);
  }, "Wrong data found in ReadAscii\n");
}

TEST(ReaVecText, HugeCountIsRefusedBeforeAnyStorage) {
  // Counts near the top of the unsigned range with a few values after them end
  // as a short list at once, without taking gigabytes first.
  ExpectFatal([] {
    std::istringstream in("4294967295 1 2 3");
    ReaVec v;
    v.ReadAscii(in, "Vx", 1);
  }, "Wrong data found in ReadAscii of vector Vx: expected 4294967295 values, read 3\n");
  ExpectFatal([] {
    std::istringstream in("294967295;\n1.5 2.5");
    ReaVec v;
    v.ReadAscii(in, "Tm", 1);
  }, "Wrong data found in ReadAscii of vector Tm: expected 294967295 values, read 2\n");
  ExpectFatal([] {
    std::istringstream in("4279496741");
    ReaVec v;
    v.ReadAscii(in, "Vx", 1);
  }, "Wrong data found in ReadAscii of vector Vx: expected 4279496741 values, read 0\n");
}

}  // namespace
