#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "mesh/octtree.h"
#include "tests/support/child.h"

using olvu_test::RunInChild;

namespace {

ReaVec Pt(double x, double y, double z) {
  ReaVec v(3, 0.0);
  v(1) = x, v(2) = y, v(3) = z;
  return v;
}

double D2(const ReaVec& a, const ReaVec& b) {
  double s = 0;
  for (int k = 0; k < 3; ++k) s += (a[k] - b[k]) * (a[k] - b[k]);
  return s;
}

/// Random points, mostly in the unit cube, a few far outside to make the root grow, in a tree
/// started on the unit cube.
struct Cloud {
  std::vector<ReaVec> pts;
  std::vector<std::unique_ptr<ReaVecContainer>> holders;
  std::vector<bool> stored;
  std::unique_ptr<OctTree> tree;
  std::mt19937 rng{42};

  explicit Cloud(int n) : pts(n), stored(n, true) {
    std::uniform_real_distribution<double> u(0, 1), far(-3, 4);
    for (int i = 0; i < n; ++i) pts[i] = i % 1000 == 0 ? Pt(far(rng), far(rng), far(rng)) : Pt(u(rng), u(rng), u(rng));
    tree = std::make_unique<OctTree>(0, 1, 0, 1, 0, 1, nullptr);
    for (auto& p : pts) {
      holders.push_back(std::make_unique<ReaVecContainer>(&p));
      EXPECT_EQ(tree->EnterPoint(holders.back().get(), 1), 0);
    }
  }
  ReaVec Query() {
    std::uniform_real_distribution<double> u(-0.2, 1.2);
    return Pt(u(rng), u(rng), u(rng));
  }
  const ReaVecContainer* BruteNearest(const ReaVec& q) const {
    const ReaVecContainer* best = nullptr;
    double bd = 1e300;
    for (size_t i = 0; i < pts.size(); ++i)
      if (stored[i] && D2(q, pts[i]) < bd) bd = D2(q, pts[i]), best = holders[i].get();
    return best;
  }
  std::set<const ReaVecContainer*> BruteBall(const ReaVec& q, double r, const ReaVec* origin = nullptr,
                                             const ReaVec* dir = nullptr) const {
    std::set<const ReaVecContainer*> s;
    for (size_t i = 0; i < pts.size(); ++i) {
      if (!stored[i] || D2(q, pts[i]) > r * r) continue;
      if (origin) {
        double dot = 0, len2 = 0;
        for (int k = 0; k < 3; ++k) dot += (*dir)[k] * (pts[i][k] - (*origin)[k]), len2 += std::pow(pts[i][k] - (*origin)[k], 2);
        if (std::sqrt(len2) >= 1e-6 && !(dot > -0.02 * std::sqrt(len2))) continue;
      }
      s.insert(holders[i].get());
    }
    return s;
  }
};

}  // namespace

TEST(OctTree, SearchesAgreeWithBruteForceWithGrowthAndRemovals) {
  Cloud c(100000);
  EXPECT_LT(c.tree->xmin, -2.9);  // grown towards the far points
  EXPECT_GT(c.tree->xmax, 3.9);
  std::vector<ReaVecContainer*> list(4096);
  for (int round = 0; round < 2; ++round) {
    for (int q = 0; q < 300; ++q) {
      const ReaVec p = c.Query();
      double d2 = -1;
      const ReaVecContainer* got = c.tree->GiveVeryClose(p, d2, 0);
      ASSERT_EQ(got, c.BruteNearest(p));
      EXPECT_EQ(d2, D2(p, *got->point));

      int n = 0;
      ASSERT_EQ(c.tree->AddClosePointsToList(p, list.data(), n, 4096, 0.05, nullptr, nullptr), 0);
      EXPECT_EQ(std::set<const ReaVecContainer*>(list.begin(), list.begin() + n), c.BruteBall(p, 0.05));
      EXPECT_EQ(n, int(c.BruteBall(p, 0.05).size()));  // each once

      const ReaVec dir = Pt(1, -0.5, 0.25);
      n = 0;
      c.tree->AddClosePointsToList(p, list.data(), n, 4096, 0.08, &p, &dir);
      EXPECT_EQ(std::set<const ReaVecContainer*>(list.begin(), list.begin() + n), c.BruteBall(p, 0.08, &p, &dir));

      double radius = 0.5;
      const int k = c.tree->AddClosestPoints(p, list.data(), 64, 10, radius, nullptr, nullptr);
      EXPECT_GE(k, 10);
      EXPECT_LT(k, 64);
      EXPECT_EQ(std::set<const ReaVecContainer*>(list.begin(), list.begin() + k), c.BruteBall(p, radius));
    }
    // Remove every tenth point, half by holder and half by point, and search again.
    for (size_t i = round; i < c.pts.size(); i += 10) {
      ASSERT_EQ(i % 20 < 10 ? c.tree->TakeRVOut(c.holders[i].get()) : c.tree->TakeRVOut(&c.pts[i]), 0);
      c.stored[i] = false;
    }
    EXPECT_EQ(c.tree->TakeRVOut(c.holders[round].get()), 1);
  }
  int n = 0;
  const ReaVec p = c.Query();
  EXPECT_EQ(c.tree->AddClosePointsToList(p, list.data(), n, 3, 0.3, nullptr, nullptr), -1);
  EXPECT_EQ(n, 3);
}

TEST(OctTree, ShellAndLeafSearches) {
  Cloud c(20000);
  std::vector<ReaVecContainer*> list(20000);
  const ReaVec normal = Pt(0, 0, 1);
  for (int q = 0; q < 50; ++q) {
    const ReaVec p = c.Query();
    const double offset = -p[2];  // the half-space above p
    const int n = c.tree->AddClosePointsToList(p, normal, list.data(), 20000, 1 << 30, 0.2, 0.0, offset);
    ASSERT_GE(n, 0);
    std::set<const ReaVecContainer*> got(list.begin(), list.begin() + n);
    EXPECT_EQ(int(got.size()), n);  // no point twice across the shells
    for (const ReaVecContainer* h : got) EXPECT_GT((*h->point)[2] - p[2], 0);
    for (size_t i = 0; i < c.pts.size(); ++i) {  // every qualifying point of the search cube is found
      bool inCube = true;
      for (int k = 0; k < 3; ++k) inCube = inCube && std::fabs(c.pts[i][k] - p[k]) <= 0.2;
      if (inCube && c.pts[i][2] - p[2] > 0) {
        EXPECT_TRUE(got.count(c.holders[i].get()));
      }
    }
    const int few = c.tree->AddClosePointsToList(p, normal, list.data(), 20000, 5, 0.2, 0.0, offset);
    EXPECT_GE(few, std::min<int>(5, n));
    EXPECT_LE(few, n);

    ReaVecContainer* leaf[64];
    const int m = c.tree->GiveOcttreePointList(c.pts[q], leaf, 64);
    EXPECT_TRUE(m > 0 && m <= 64);
    EXPECT_NE(std::find(leaf, leaf + m, c.holders[q].get()), leaf + m);
  }
}

TEST(OctTree, InsertionRulesAndBoxes) {
  OctTree flat(0, 1, 0, 1, 0, 0, nullptr);  // all z = 0: the z range is widened
  EXPECT_DOUBLE_EQ(flat.zmin, -1);
  EXPECT_DOUBLE_EQ(flat.zmax, 1);
  EXPECT_DOUBLE_EQ(flat.xmin, -0.1);
  EXPECT_DOUBLE_EQ(flat.xmax, 1.1);
  double d2 = 7;
  EXPECT_EQ(flat.GiveVeryClose(Pt(0, 0, 0), d2, 0), nullptr);

  std::vector<ReaVec> p;
  for (int i = 0; i < 9; ++i) p.push_back(Pt(0.05 + 0.1 * i, 0.1, 0));
  p[8] = Pt(0.5, 0.5, 0);  // exactly on the mid-planes of x and y
  std::vector<std::unique_ptr<ReaVecContainer>> h;
  for (auto& v : p) h.push_back(std::make_unique<ReaVecContainer>(&v));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(flat.EnterPoint(h[i].get(), 0), 0);
  EXPECT_EQ(flat.count, 8);
  EXPECT_EQ(flat.EnterPoint(h[8].get(), 0), 0);  // the ninth splits
  EXPECT_EQ(flat.count, -1);
  EXPECT_EQ(flat.children[0]->count, 6);          // lower x, y, z: the mid-plane point too
  EXPECT_EQ(flat.children[0]->points[0], h[0].get());  // earlier points keep their order
  EXPECT_EQ(flat.children[0]->points[5], h[8].get());
  EXPECT_EQ(flat.children[1]->count, 3);
  EXPECT_EQ(flat.children[1]->points[0], h[5].get());

  ReaVec out = Pt(5, 0.5, 0);
  ReaVecContainer ho(&out);
  EXPECT_EQ(flat.EnterPoint(&ho, 0), -1);
  EXPECT_EQ(flat.xmax, 1.1);
  EXPECT_EQ(flat.EnterPoint(&ho, 1), 0);
  EXPECT_DOUBLE_EQ(flat.xmax, 1.1 + 1.2 + 2.4 + 4.8);  // doubled three times towards the point
  EXPECT_DOUBLE_EQ(flat.ymax, 1.1 + 1.2 + 4.8);        // y = 0.5: at the mid-value up, below it down
  EXPECT_DOUBLE_EQ(flat.ymin, -0.1 - 2.4);
  EXPECT_EQ(flat.GiveVeryClose(Pt(4, 0.4, 0), d2, 0), &ho);
  EXPECT_EQ(flat.GiveVeryClose(Pt(0.06, 0.1, 0), d2, 0), h[0].get());

  int budget = 0;
  OctTree small(0, 1, 0, 1, 0, 1, nullptr);
  for (int i = 0; i < 8; ++i) small.EnterPoint(h[i].get(), 0);
  EXPECT_EQ(small.EnterPoint(budget, h[8].get(), 0), 0);
  EXPECT_EQ(small.count, 8);  // no budget: not stored
  EXPECT_EQ(budget, -1);
  budget = 1;
  EXPECT_EQ(small.EnterPoint(budget, h[8].get(), 0), 0);
  EXPECT_EQ(small.count, -1);
}

TEST(OctTree, ClosestPointToOneComparesXAndYOnly) {
  OctTree t(-1, 1, -1, 1, -1, 6, nullptr);
  ReaVec a = Pt(0, 0, 5), b = Pt(0.5, 0, 0), c = Pt(0, 0, 4);
  ReaVecContainer ha(&a), hb(&b), hc(&c);
  t.EnterPoint(&hb, 0);
  t.EnterPoint(&ha, 0);
  t.EnterPoint(&hc, 0);
  ReaVecContainer* list[4];
  t.ClosestPointToOne(Pt(0, 0, 0), list, 4, 0.1, nullptr, nullptr);
  EXPECT_EQ(list[0], &ha);  // nearest in x and y; a and c differ in z only: the first listed wins
}

TEST(OctTree, PrintInfoAndHolderRelease) {
  OctTree t(0, 1, 0, 1, 0, 1, nullptr);
  ReaVec a = Pt(0.5, 0.5, 0.5);
  EXPECT_EQ(t.EnterPointCreatingContainer(&a, 0), 0);
  ReaVec far = Pt(9, 9, 9);
  EXPECT_EQ(t.EnterPointCreatingContainer(&far, 0), -1);  // its holder is released again
  std::ostringstream out;
  t.PrintInfo(out, 1);
  EXPECT_EQ(out.str(), " Octree level=1 size: Xmin=-0.1 Xmax=1.1 Ymin=-0.1 Ymax=1.1 Zmin=-0.1 Zmax=1.1 NumPoints=1 entities: \n");
  t.DeleteAllEntities();

  OctTree e(0, 1, 0, 1, 0, 1, nullptr);
  std::ostringstream empty;
  e.PrintInfo(empty, 2);
  EXPECT_EQ(empty.str(), "*** Octree level=2 size: Xmin=-0.1 Xmax=1.1 Ymin=-0.1 Ymax=1.1 Zmin=-0.1 Zmax=1.1 -No points-\n");
}

TEST(OctTree, FatalConditions) {
  auto same = RunInChild([] {
    OctTree t(0, 1, 0, 1, 0, 1, nullptr);
    ReaVec p = Pt(0.3, 0.3, 0.3);
    for (int i = 0; i < 9; ++i) t.EnterPointCreatingContainer(&p, 0);
  });
  EXPECT_EQ(same.status, 1);
  EXPECT_EQ(same.err, "\n\nerror in OctTree::OctTree. OctTree too small\n");
  auto tiny = RunInChild([] { OctTree t(0, 0, 0, 0, 0, 0, nullptr); });
  EXPECT_EQ(tiny.err, "\n\nerror in OctTree::OctTree. OctTree too small\n");
  auto father = RunInChild([] {
    OctTree root(0, 1, 0, 1, 0, 1, nullptr);
    OctTree child(0, 0.5, 0, 0.5, 0, 0.5, &root);
    ReaVec p = Pt(0.9, 0.9, 0.9);
    child.EnterPointCreatingContainer(&p, 1);
  });
  EXPECT_EQ(father.err, "\n\nerror in OctTree::EnterPoint. has father\n");
  auto voidTree = RunInChild([] {
    OctTree t(0, 1, 0, 1, 0, 1, nullptr);
    ReaVecContainer* list[4];
    t.GiveOcttreePointList(Pt(0.5, 0.5, 0.5), list, 4);
  });
  EXPECT_EQ(voidTree.err, "\n\nVoid Octtree found in GiveOcttreePointList");
  auto radius = RunInChild([] {
    OctTree t(0, 1, 0, 1, 0, 1, nullptr);
    ReaVec p = Pt(0.3, 0.3, 0.3), q = Pt(0.3, 0.3, 0.3 + 1e-8);
    t.EnterPointCreatingContainer(&p, 0);
    t.EnterPointCreatingContainer(&q, 0);
    ReaVecContainer* list[4];
    t.AddClosePointsToList(p, list, 4, 1.0, nullptr, nullptr);
  });
  EXPECT_EQ(radius.err, "\n\nRadius<MinDiference in OctTree");
}
