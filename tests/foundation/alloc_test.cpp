#include "foundation/alloc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "foundation/error.h"
#include "tests/support/child.h"

using olvu_test::RunInChild;

namespace {

// The pool is process state, so every case runs in its own child; failed
// checks are printed there and the parent expects no output.
#define CHILD_CHECK(c)                                              \
  do {                                                              \
    if (!(c)) std::printf("failed at line %d: %s\n", __LINE__, #c); \
  } while (0)

void ExpectClean(const std::function<void()>& body) {
  auto r = RunInChild(body);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

void ExpectFatal(const std::function<void()>& body, const std::string& text) {
  auto r = RunInChild(body);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\n" + text);
}

int Blocks(MemoryPool* p) {
  int n = 0;
  for (AllocBlock* b = p->head; b; b = b->next) ++n;
  return n;
}

TEST(Alloc, RequestsAreRoundedUpToFourBytes) {
  ExpectClean([] {
    MemoryPool* pool = AllocInit(64);
    char* a = static_cast<char*>(Alloc(1));
    char* b = static_cast<char*>(Alloc(4));
    char* c = static_cast<char*>(Alloc(5));
    char* d = static_cast<char*>(Alloc(0));
    CHILD_CHECK(a == pool->head->start);
    CHILD_CHECK(b - a == 4);
    CHILD_CHECK(c - b == 4);
    CHILD_CHECK(d - c == 8);
  });
}

TEST(Alloc, FillingTheRestOfABlockMovesOnAndFullRequestsGetTheirOwnBlock) {
  ExpectClean([] {
    MemoryPool* pool = AllocInit(64);
    char* a = static_cast<char*>(Alloc(8));
    char* b = static_cast<char*>(Alloc(56));  // would end exactly at the block's end
    CHILD_CHECK(a == pool->head->start);
    CHILD_CHECK(Blocks(pool) == 2);
    CHILD_CHECK(b == pool->head->next->start);
    char* c = static_cast<char*>(Alloc(64));
    CHILD_CHECK(Blocks(pool) == 3);
    CHILD_CHECK(c == pool->tail->start);
    std::memset(c, 1, 64);
    char* d = static_cast<char*>(Alloc(4));
    CHILD_CHECK(Blocks(pool) == 4);
    CHILD_CHECK(d == pool->tail->start);
  });
}

TEST(Alloc, ResetRewindsAndReusesTheChain) {
  ExpectClean([] {
    MemoryPool* pool = AllocInit(32);
    for (int k = 0; k < 10; ++k) Alloc(12);
    int blocks = Blocks(pool);
    CHILD_CHECK(blocks == 5);
    CHILD_CHECK(AllocReset() == pool->head);
    CHILD_CHECK(Alloc(4) == pool->head->start);
    for (int k = 0; k < 10; ++k) Alloc(12);
    CHILD_CHECK(Blocks(pool) == blocks);
    // Rewinding the second block happens when the chain moves onto it.
    AllocReset();
    Alloc(28);
    CHILD_CHECK(Alloc(8) == pool->head->next->start);
  });
}

TEST(Alloc, InitialisationRules) {
  ExpectClean([] {
    CHILD_CHECK(noPool());
    CHILD_CHECK(AllocReset() == nullptr);
    CHILD_CHECK(AllocInit(0) == nullptr);
    CHILD_CHECK(noPool());
    MemoryPool* p = AllocInit(40);
    CHILD_CHECK(p && ALLOC_BLOCK_SIZE == 40);
    CHILD_CHECK(AllocInit(100) == p);
    CHILD_CHECK(ALLOC_BLOCK_SIZE == 40);
    CHILD_CHECK(!noPool());
  });
}

TEST(Alloc, FreedPoolKeepsTheSizeAndNewStartsAFreshOne) {
  ExpectClean([] {
    MemoryPool* p = AllocInit(40);
    Alloc(40);
    AllocFreePool();
    CHILD_CHECK(ALLOC_BLOCK_SIZE == 40);
    char* a = static_cast<char*>(New(8));
    MemoryPool* q = AllocInit(0);
    CHILD_CHECK(q && a == q->head->start);
    CHILD_CHECK(ALLOC_BLOCK_SIZE == 40);
    CHILD_CHECK(AllocSetPool(nullptr) == q);
    CHILD_CHECK(AllocSetPool(q) == nullptr);
    (void)p;
  });
  ExpectFatal(
      [] {
        AllocInit(40);
        AllocFreePool();
        Alloc(4);
      },
      "\nAlloc - Memory pool not initialised\n\n");
}

TEST(Alloc, NewCreatesThePoolAndNeverHandsOutMemoryStillInUse) {
  ExpectClean([] {
    int* first = static_cast<int*>(New(8));
    CHILD_CHECK(ALLOC_BLOCK_SIZE == 80);
    // Far more than one block: every vector keeps its own bytes.
    std::vector<int*> taken{first};
    for (int k = 1; k < 100; ++k) taken.push_back(static_cast<int*>(New(8)));
    for (int k = 0; k < 100; ++k) taken[k][0] = taken[k][1] = k;
    std::set<int*> distinct(taken.begin(), taken.end());
    CHILD_CHECK(distinct.size() == 100);
    for (int k = 0; k < 100; ++k) CHILD_CHECK(taken[k][0] == k && taken[k][1] == k);
    AllocReset();
    CHILD_CHECK(New(4) == static_cast<void*>(first));
  });
}

TEST(Alloc, RequestsAboveTheBlockSizeAreFatalAfterRounding) {
  ExpectFatal(
      [] {
        AllocInit(64);
        Alloc(65);
      },
      "\nAlloc - requested block is bigger than allowed block size\n\n");
  // 10 bytes round up to 12, which a 10-byte block cannot hold.
  ExpectFatal(
      [] {
        AllocInit(10);
        Alloc(8);
        Alloc(10);
      },
      "\nAlloc - requested block is bigger than allowed block size\n\n");
  ExpectFatal(
      [] {
        AllocInit(64);
        Alloc(-4);
      },
      "\nAlloc - requested block is bigger than allowed block size\n\n");
  ExpectFatal(
      [] {
        New(8);  // block size 80
        New(80);
        New(81);
      },
      "New - Requested block is bigger than allowed block size in pool\n");
  ExpectFatal(
      [] {
        AllocInit(10);
        New(9);
      },
      "New - Requested block is bigger than allowed block size in pool\n");
}

TEST(Alloc, ModuleFaultsUseTheirTexts) {
  ExpectFatal([] { Alloc(4); }, "\nAlloc - Memory pool not initialised\n\n");
  ExpectFatal([] { AllocInit(-1); }, "\nWrong Initialisation\n\n");
  ExpectFatal([] { New(-1); }, "\nWrong Initialisation\n\n");
  auto r = RunInChild([] {
    MemoryControlOn("case");
    Alloc(4);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.file("case.err"), std::string(olvu_test::kErrBanner) + "\nAlloc - Memory pool not initialised\n\n");
}

}  // namespace
