#include "foundation/plex.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <map>
#include <random>
#include <sstream>
#include <vector>

#include "tests/support/child.h"

using olvu_test::RunInChild;

namespace {

// Without a report file a fatal message reaches standard error after "\n\n".
void ExpectFatal(const std::function<void()>& body, const std::string& text) {
  auto r = RunInChild(body);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\n" + text);
}

// Number of chunks on the ring.
template <class T>
std::size_t ChunkCount(const Plex<T>& t) {
  std::size_t n = 0;
  auto* c = t.head;
  do {
    ++n;
    c = c->next;
  } while (c != t.head);
  return n;
}

// Ring structure: ascending aligned chunks from head, consistent back links,
// and no occupied slot outside [low, high] (the fast lookups rely on it).
template <class T>
void ExpectSoundRing(Plex<T>& t) {
  auto* c = t.head;
  int lastLo = 0;
  bool currentSeen = false;
  do {
    ASSERT_GT(c->lo, lastLo);
    ASSERT_EQ((c->lo - 1) % t.chunksize, 0);
    ASSERT_EQ(c->hi, c->lo + t.chunksize - 1);
    ASSERT_EQ(c->next->prev, c);
    for (int k = 0; k < t.chunksize; ++k)
      if (c->items[k]) {
        ASSERT_TRUE(c->lo + k >= t.low && c->lo + k <= t.high) << c->lo + k;
      }
    currentSeen |= c == t.current;
    lastLo = c->lo;
    c = c->next;
  } while (c != t.head);
  EXPECT_TRUE(currentSeen);
  if (t.low == 0) {
    EXPECT_EQ(t.high, 0);
    EXPECT_EQ(t.head->next, t.head);
  }
}

// The table's rules restated over a map of occupied entries.
struct Model {
  std::map<int, int*> m;
  int low = 0, high = 0, count = 0;

  void store(int i, int* p) {
    if (low == 0)
      low = high = i;
    else if (i > high)
      high = i;
    else if (i < low)
      low = i;
    ++count;
    if (p)
      m[i] = p;
    else
      m.erase(i);
    if (!p && i == low) raise_low();
  }
  void remove(int i) {
    m.erase(i);
    if (i == low)
      raise_low();
    else if (i == high)
      high = m.rbegin()->first;
    --count;
  }
  void raise_low() {
    low = m.empty() ? 0 : m.begin()->first;
    if (low == 0) high = 0;
  }
};

using Entries = std::vector<std::pair<int, int*>>;

class PlexModel : public ::testing::TestWithParam<int> {};

TEST_P(PlexModel, RandomOperationsAgreeWithMap) {
  const int cs = GetParam();
  std::mt19937 rng(1234 + cs);
  std::vector<int> objects(1000);
  Plex<int> t(cs, "model");
  Model m;
  auto pick = [&](int top) { return std::uniform_int_distribution<int>(1, top)(rng); };
  for (int step = 0; step < 6000; ++step) {
    int op = pick(100);
    int i = pick(step % 500 < 250 ? 60 : 400);
    int* p = &objects[pick(999)];
    if (op <= 30) {
      if (!m.m.count(i)) {
        t.set_at(i, p);
        m.store(i, p);
      }
    } else if (op <= 40) {
      t.put_at(i, p);
      m.store(i, p);
    } else if (op <= 45) {
      t.replace(i, nullptr);
      m.store(i, nullptr);
    } else if (op <= 55) {
      int got = t.append(p);
      m.store(m.high + 1, p);
      ASSERT_EQ(got, m.high);
    } else if (op <= 80) {
      if (m.low != 0) {
        // Half of the removals hit an entry, the others any index in range.
        int k = m.low + (i % (m.high - m.low + 1));
        if (op <= 68) {
          auto it = m.m.lower_bound(k);
          k = it == m.m.end() ? m.high : it->first;
        }
        t.remove_at(k);
        m.remove(k);
      }
    } else if (op <= 90) {
      EXPECT_EQ(t.free(i), m.m.count(i) ? 0 : 1) << i;
      if (!m.m.empty()) {
        int k = std::next(m.m.begin(), i % m.m.size())->first;
        ASSERT_EQ(t.get_at(k), m.m[k]);
      }
    } else if (op <= 99) {
      int j = i - 30;
      auto it = m.m.upper_bound(j);
      int* got = t.next(j);
      if (it == m.m.end()) {
        EXPECT_EQ(got, nullptr);
        EXPECT_EQ(j, 0);
      } else {
        EXPECT_EQ(got, it->second);
        EXPECT_EQ(j, it->first);
      }
    } else {
      t.clear();
      m.m.clear();
      m.low = m.high = 0;
    }
    ASSERT_EQ(t.low, m.low) << "step " << step;
    ASSERT_EQ(t.high, m.high) << "step " << step;
    ASSERT_EQ(t.count, m.count) << "step " << step;
    if (step % 50 == 0) {
      ExpectSoundRing(t);
      Entries fwd, bwd;
      int j = 0;
      while (int* q = t.next(j)) fwd.emplace_back(j, q);
      EXPECT_EQ(j, 0);
      ASSERT_EQ(fwd, Entries(m.m.begin(), m.m.end()));
      if (m.low && m.m.count(m.high)) {
        j = m.high + 1;
        while (int* q = t.prev(j)) bwd.emplace_back(j, q);
        EXPECT_EQ(j, 0);
        ASSERT_EQ(bwd, Entries(m.m.rbegin(), m.m.rend()));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ChunkSizes, PlexModel, ::testing::Values(1, 2, 3, 7, 100));

TEST(Plex, NewTableIsEmpty) {
  Plex<int> t(100, "t");
  int i = 7;
  EXPECT_EQ(t.next(i), nullptr);
  EXPECT_EQ(i, 0);
  EXPECT_EQ(t.free(5), 1);
  EXPECT_EQ(t.low, 0);
  EXPECT_EQ(t.high, 0);
  EXPECT_EQ(t.count, 0);
}

TEST(Plex, StoreFarAboveThenBelowMakesNewHead) {
  Plex<int> t(100, "t");
  int a = 1, b = 2;
  t.set_at(250, &a);
  EXPECT_EQ(t.low, 250);
  EXPECT_EQ(t.high, 250);
  EXPECT_EQ(t.head->lo, 201);
  EXPECT_EQ(t.head->hi, 300);
  EXPECT_EQ(t.head->next, t.head);
  t.set_at(3, &b);
  EXPECT_EQ(t.head->lo, 1);
  EXPECT_EQ(t.head->next->lo, 201);
  EXPECT_EQ(t.head->prev->lo, 201);
  EXPECT_EQ(t.low, 3);
  ExpectSoundRing(t);
}

TEST(Plex, IterationBothWaysAcrossChunks) {
  Plex<int> t(100, "t");
  int v[3];
  t.set_at(150, &v[1]);
  t.set_at(420, &v[2]);
  t.set_at(5, &v[0]);
  std::vector<int> up, down;
  int i = 0;
  while (t.next(i)) up.push_back(i);
  EXPECT_EQ(i, 0);
  i = 1000;
  while (t.prev(i)) down.push_back(i);
  EXPECT_EQ(i, 0);
  EXPECT_EQ(up, (std::vector<int>{5, 150, 420}));
  EXPECT_EQ(down, (std::vector<int>{420, 150, 5}));
  i = 420;
  EXPECT_EQ(t.next(i), nullptr);
  EXPECT_EQ(i, 0);
  i = -3;
  EXPECT_EQ(t.next(i), &v[0]);
  EXPECT_EQ(i, 5);
}

// A const table looks up and iterates without creating chunks, also from a cursor in a gap
// between chunks (indices 200..399 have none here).
TEST(Plex, ConstTableLooksUpAndIteratesWithoutGrowing) {
  Plex<int> t(100, "t");
  int v[3];
  t.set_at(5, &v[0]);
  t.set_at(150, &v[1]);
  t.set_at(420, &v[2]);
  const Plex<int>& c = t;
  const std::size_t before = ChunkCount(t);
  EXPECT_EQ(c.get_at(150), &v[1]);
  EXPECT_EQ(c.free(250), 1);
  EXPECT_EQ(c.free(420), 0);
  int i = 250;
  EXPECT_EQ(c.next(i), &v[2]);
  EXPECT_EQ(i, 420);
  i = 250;
  EXPECT_EQ(c.prev(i), &v[1]);
  EXPECT_EQ(i, 150);
  std::vector<int> up;
  i = 0;
  while (c.next(i)) up.push_back(i);
  EXPECT_EQ(up, (std::vector<int>{5, 150, 420}));
  EXPECT_EQ(ChunkCount(t), before);
  ExpectSoundRing(t);
  ExpectFatal([&] { (void)c.get_at(250); }, "Do not exist index 250 in Plex t\n");
}

TEST(Plex, OverwriteAndEmptyingRules) {
  Plex<int> t(10, "t");
  int a, b;
  t.set_at(4, &a);
  t.put_at(4, &b);
  EXPECT_EQ(t.get_at(4), &b);
  t.replace(4, &a);
  EXPECT_EQ(t.get_at(4), &a);
  // A null store at low empties a table whose only entry it was; count still grows.
  t.set_at(4, nullptr);
  EXPECT_EQ(t.low, 0);
  EXPECT_EQ(t.high, 0);
  EXPECT_EQ(t.count, 4);
  EXPECT_EQ(t.head->next, t.head);
  // A null store above high leaves high on an empty slot.
  t.set_at(2, &a);
  t.set_at(30, nullptr);
  EXPECT_EQ(t.high, 30);
  EXPECT_EQ(t.free(30), 1);
}

TEST(Plex, RemoveAtKeepsBoundsAndAppendRestartsAtOne) {
  Plex<int> t(100, "t");
  int a, b;
  t.set_at(5, &a);
  t.set_at(150, &b);
  t.remove_at(150);
  EXPECT_EQ(t.high, 5);
  EXPECT_EQ(t.count, 1);
  t.remove_at(5);
  EXPECT_EQ(t.low, 0);
  EXPECT_EQ(t.high, 0);
  EXPECT_EQ(t.count, 0);
  EXPECT_EQ(t.append(&a), 1);
  EXPECT_EQ(t.append(&b), 2);
}

TEST(Plex, ClearKeepsCountAndChunkSizeOneStillOrders) {
  Plex<int> t(1);
  int v[4];
  for (int k : {9, 2, 7, 4}) t.set_at(k, &v[k % 4]);
  ExpectSoundRing(t);
  std::vector<int> up;
  int i = 0;
  while (t.next(i)) up.push_back(i);
  EXPECT_EQ(up, (std::vector<int>{2, 4, 7, 9}));
  t.clear();
  EXPECT_EQ(t.count, 4);
  EXPECT_EQ(t.low, 0);
  EXPECT_EQ(t.name, "Type");
  t.rename("Renamed");
  EXPECT_EQ(t.name, "Renamed");
}

TEST(Plex, WorksForOtherElementTypes) {
  Plex<void> v(2, "v");
  Plex<double> d(3, "d");
  Plex<char> c(4);
  int x;
  double y;
  char z[] = "name";
  v.set_at(3, &x);
  d.set_at(1, &y);
  c.set_at(2, z);
  int i = 0;
  EXPECT_EQ(v.next(i), &x);
  EXPECT_EQ(d.get_at(1), &y);
  EXPECT_EQ(c.get_at(2), z);
}

// Stands in for a mesh element: number in width 5 and a blank, node numbers in width 15.
struct FakeElem {
  int number;
  std::vector<int> nodes;
  void PrintTo(std::ostream& out, int, int) const {
    out << std::setw(5) << number << " ";
    for (int n : nodes) out << std::setw(15) << n;
    out << "\n";
  }
};

TEST(Plex, PrintCallsEachElementInOrderWithTabs) {
  Plex<FakeElem> t(2, "Elements");
  FakeElem e1{1, {3, 4}}, e2{7, {5}};
  t.set_at(7, &e2);
  t.set_at(1, &e1);
  std::ostringstream out;
  out << t;
  EXPECT_EQ(out.str(), "*** Plex Elements ***\n"
                       "    1               3              4\n\t"
                       "    7               5\n\t");
}

TEST(PlexFatal, MessagesNameTheTable) {
  int a;
  ExpectFatal([] { Plex<int>(0, "tbl"); }, "Invalid ructor specification in Plex tbl\n");
  ExpectFatal([] { Plex<int>(-1); }, "Invalid ructor specification in Plex\n");
  ExpectFatal([] { Plex<int>(5).get_at(1); }, "Invalid Plex Type index 1\n");
  ExpectFatal([] { Plex<int>(5, "tbl").free(0); }, "Invalid Plex tbl index 0\n");
  ExpectFatal(
      [&] {
        Plex<int> t(5, "tbl");
        t.set_at(3, &a);
        t.set_at(9, &a);
        t.get_at(7);
      },
      "Do not exist index 7 in Plex tbl\n");
  ExpectFatal(
      [&] {
        Plex<int> t(5, "tbl");
        t.set_at(3, &a);
        t.set_at(3, &a);
      },
      "Repeated index 3 in Plex tbl\n");
  ExpectFatal([&] { Plex<int>(5, "tbl").put_at(-2, &a); }, "Invalid Plex tbl index -2\n");
  ExpectFatal(
      [&] {
        Plex<int> t(5, "tbl");
        t.set_at(3, &a);
        t.remove_at(4);
      },
      "Invalid Plex tbl index 4\n");
  ExpectFatal(
      [&] {
        Plex<int> t(5, "tbl");
        t.set_at(3, &a);
        t.put_at(8, nullptr);
        int i = 20;
        t.prev(i);
      },
      "Do not exist index 8 in Plex tbl\n");
}

}  // namespace
