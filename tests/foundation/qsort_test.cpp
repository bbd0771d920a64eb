#include "foundation/qsort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace {

// Sorts keys with a companion and checks ascending keys, unchanged surroundings
// and that the (key, companion) pairs are the same multiset as before.
template <class C>
void CheckCompanionSort(std::vector<int> keys, std::vector<C> comp, int first, int count) {
  std::vector<std::pair<int, C>> before;
  for (int i = first; i < first + count; ++i) before.emplace_back(keys[i], comp[i]);
  std::vector<int> k0 = keys;
  std::vector<C> c0 = comp;
  ASSERT_EQ(QSort(keys.data(), comp.data(), first, count), 1);
  std::vector<std::pair<int, C>> after;
  for (int i = first; i < first + count; ++i) after.emplace_back(keys[i], comp[i]);
  ASSERT_TRUE(std::is_sorted(keys.begin() + first, keys.begin() + first + count));
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  ASSERT_EQ(before, after);
  for (int i = 0; i < first; ++i) ASSERT_EQ(keys[i], k0[i]);
  for (size_t i = first + count; i < keys.size(); ++i) ASSERT_EQ(comp[i], c0[i]);
}

TEST(QSort, RandomStretchesMatchStdSort) {
  std::mt19937 rng(42);
  for (int count : {0, 1, 2, 3, 4, 5, 6, 7, 11, 33, 100, 1000, 100000}) {
    for (int spread : {3, 1 << 20}) {  // many duplicates, then few
      std::uniform_int_distribution<int> d(-spread, spread);
      std::vector<int> a(count + 8);
      std::vector<double> r(count + 8);
      for (auto& v : a) v = d(rng);
      for (auto& v : r) v = d(rng) * 0.25;
      std::vector<int> ea = a;
      std::vector<double> er = r;
      std::sort(ea.begin() + 3, ea.begin() + 3 + count);
      std::sort(er.begin() + 3, er.begin() + 3 + count);
      ASSERT_EQ(QSort(a.data(), 3, count), 1);
      ASSERT_EQ(QSort(r.data(), 3, count), 1);
      ASSERT_EQ(a, ea) << count;
      ASSERT_EQ(r, er) << count;
      std::vector<int> ci(count + 8);
      std::vector<double> cd(count + 8);
      for (size_t i = 0; i < ci.size(); ++i) {
        ci[i] = static_cast<int>(rng());
        cd[i] = static_cast<double>(rng());
      }
      CheckCompanionSort(a, ci, 2, count);
      CheckCompanionSort(a, cd, 5, count);
    }
  }
}

TEST(QSort, OrderedReversedAndConstantInputs) {
  for (int n : {5, 64, 5000}) {
    std::vector<int> up(n), down(n), same(n, 9);
    for (int i = 0; i < n; ++i) {
      up[i] = i;
      down[i] = n - i;
    }
    std::vector<int> su = up, sd = down, ss = same;
    QSort(up.data(), 0, n);
    QSort(down.data(), 0, n);
    QSort(same.data(), 0, n);
    std::sort(sd.begin(), sd.end());
    EXPECT_EQ(up, su);
    EXPECT_EQ(down, sd);
    EXPECT_EQ(same, ss);
  }
}

TEST(QSort, ShortAndEmptyCountsLeaveArraysAlone) {
  int k[3] = {3, 1, 2};
  double c[3] = {30.0, 10.0, 20.0};
  for (int count : {-2, 0, 1}) {
    EXPECT_EQ(QSort(k, c, 0, count), 1);
    EXPECT_EQ(k[0], 3);
    EXPECT_EQ(c[0], 30.0);
  }
  QSort(k, c, 0, 3);
  EXPECT_EQ(std::vector<int>(k, k + 3), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(std::vector<double>(c, c + 3), (std::vector<double>{10.0, 20.0, 30.0}));
}

TEST(QSort, NanKeysDoNotRunOffTheArray) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::mt19937 rng(3);
  for (int round = 0; round < 50; ++round) {
    std::vector<double> a(200);
    for (auto& v : a) v = (rng() % 5 == 0) ? nan : static_cast<double>(rng() % 100);
    EXPECT_EQ(QSort(a.data(), 0, 200), 1);  // order undefined; sanitizers watch the bounds
  }
}

TEST(BSearch, ProbesOfTheHalvingSearch) {
  int a[3] = {10, 20, 30};
  EXPECT_EQ(BSearch(20, a, 0, 2), 1);
  EXPECT_EQ(BSearch(25, a, 0, 2), -1);
  EXPECT_EQ(BSearch(5, a, 0, 2), -1);
  EXPECT_EQ(BSearch(30, a, 0, 2), 2);
  EXPECT_EQ(BSearch(10, a, 0, 2), 0);
  EXPECT_EQ(BSearch(30, a, 1, 2), 2);
  EXPECT_EQ(BSearch(10, a, 1, 2), -1);
  int dup[5] = {1, 2, 2, 2, 3};
  EXPECT_EQ(BSearch(2, dup, 0, 4), 2);
  EXPECT_EQ(BSearch(1, a, 0, -1), -1);
  double r[4] = {-1.5, 0.0, 2.5, 7.0};
  EXPECT_EQ(BSearch(2.5, r, 0, 3), 2);
  EXPECT_EQ(BSearch(2.4, r, 0, 3), -1);
  EXPECT_EQ(BSearch(std::nan(""), r, 0, 3), -1);
  double withNan[3] = {1.0, std::nan(""), 3.0};
  EXPECT_EQ(BSearch(3.0, withNan, 0, 2), 2);
}

TEST(BSearch, FindsEveryKeyOfASortedArray) {
  std::vector<int> a(1001);
  for (int i = 0; i < 1001; ++i) a[i] = 3 * i;
  for (int i = 0; i < 1001; ++i) {
    ASSERT_EQ(BSearch(3 * i, a.data(), 0, 1000), i);
    ASSERT_EQ(BSearch(3 * i + 1, a.data(), 0, 1000), -1);
  }
}

TEST(LSearch, FirstMatchOrMinusOne) {
  int a[3] = {5, 7, 7};
  EXPECT_EQ(LSearch(7, a, 0, 2), 1);
  EXPECT_EQ(LSearch(7, a, 2, 2), 2);
  EXPECT_EQ(LSearch(6, a, 0, 2), -1);
  EXPECT_EQ(LSearch(5, a, 0, -1), -1);
  double r[3] = {0.5, -0.0, 0.0};
  EXPECT_EQ(LSearch(0.0, r, 0, 2), 1);
  EXPECT_EQ(LSearch(std::nan(""), r, 0, 2), -1);
}

TEST(Compare, PlatformQsortOrder) {
  int a[6] = {4, -1, 9, 0, 4, -7};
  std::qsort(a, 6, sizeof(int), compare_int);
  EXPECT_EQ(std::vector<int>(a, a + 6), (std::vector<int>{-7, -1, 0, 4, 4, 9}));
  double x = 1.0, y = 2.0, n = std::nan("");
  EXPECT_EQ(compare_real(&x, &y), -1);
  EXPECT_EQ(compare_real(&y, &x), 1);
  EXPECT_EQ(compare_real(&x, &x), 0);
  EXPECT_EQ(compare_real(&x, &n), 0);
}

}  // namespace
