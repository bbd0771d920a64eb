#include "foundation/heaplist.h"

#include <gtest/gtest.h>

#include <queue>
#include <random>
#include <vector>

#include "tests/support/child.h"

using olvu_test::RunInChild;

namespace {

TEST(HeapList, SmallHeapPopsInKeyOrder) {
  HeapList<int> h(4);
  int v[4] = {5, 3, 8, 1};
  EXPECT_EQ(h.top_elm(), nullptr);
  for (int& x : v) h.add(&x, x);
  EXPECT_EQ(h.n_elem(), 4);
  EXPECT_EQ(h.top_elm(), &v[3]);
  EXPECT_EQ(h.min_val(), 1);
  h.rm_top();
  EXPECT_EQ(h.top_elm(), &v[1]);
  EXPECT_EQ(h.min_val(), 3);
  h.rm_top();
  h.rm_top();
  h.rm_top();
  EXPECT_EQ(h.n_elem(), 0);
  EXPECT_EQ(h.top_elm(), nullptr);
  EXPECT_EQ(h.min_val(), 8);  // the largest key ever added
}

TEST(HeapList, EqualChildrenLetTheRightOneUp) {
  HeapList<int> h(4);
  int top = 0, left = 1, right = 2, last = 3;
  h.add(&top, 0);
  h.add(&left, 2);
  h.add(&right, 2);
  h.add(&last, 5);
  h.rm_top();  // 5 goes to the top and sinks past the two 2s
  EXPECT_EQ(h.top_elm(), &right);
  EXPECT_EQ(h.min_val(), 2);
}

TEST(HeapList, MinimumIsRightAfterTheHeapRanEmpty) {
  HeapList<int> h(3);
  int a, b;
  h.add(&a, 5);
  h.rm_top();
  h.add(&b, 8);
  EXPECT_EQ(h.top_elm(), &b);
  EXPECT_EQ(h.min_val(), 8);
}

TEST(HeapList, FrontPropagationAgainstPriorityQueue) {
  std::mt19937 rng(11);
  const int n = 2000;
  std::vector<int> items(n);
  HeapList<int> h(n);
  using Entry = std::pair<double, int*>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> model;
  std::uniform_real_distribution<double> key(0, 1000);
  int next = 0;
  for (int round = 0; round < 20000; ++round) {
    bool add = model.empty() || (static_cast<int>(model.size()) < n && rng() % 3 != 0);
    if (add) {
      // Keys are distinct, so the pop order is fully determined.
      double k = key(rng) + 1e-7 * round;
      int* item = &items[next++ % n];
      h.add(item, k);
      model.emplace(k, item);
    } else {
      ASSERT_EQ(h.min_val(), model.top().first);
      ASSERT_EQ(h.top_elm(), model.top().second);
      h.rm_top();
      model.pop();
    }
    ASSERT_EQ(h.n_elem(), static_cast<int>(model.size()));
    if (!model.empty()) {
      ASSERT_EQ(h.min_val(), model.top().first);
    }
  }
}

TEST(HeapListFatal, FullEmptyAndInvalidHeaps) {
  auto full = RunInChild([] {
    HeapList<int> h(4);
    int x;
    for (int k = 0; k < 5; ++k) h.add(&x, k);
  });
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "\n\nCannot append item in a full HeapList. Size = 4\n");
  auto empty = RunInChild([] {
    HeapList<int> h(2);
    int x;
    h.add(&x, 1);
    h.rm_top();
    h.rm_top();
  });
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.err, "\n\nHeapList is empty\n");
  auto zero = RunInChild([] { HeapList<int> h(0); });
  EXPECT_EQ(zero.status, 1);
  EXPECT_EQ(zero.err, "\n\nInvalid HeapList size specification\n");
}

}  // namespace
