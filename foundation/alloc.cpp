#include "foundation/alloc.h"

#include <climits>
#include <cstdlib>

#include "foundation/assert.h"
#include "foundation/error.h"

long ALLOC_BLOCK_SIZE = 0;

namespace {

MemoryPool* root = nullptr;

// A request rounded up to a multiple of 4; negative requests become huge and are refused.
unsigned long Rounded(long len) { return (static_cast<unsigned long>(len) + 3ul) & ~3ul; }

// Takes len bytes (already rounded and checked) from the tail block, moving to
// the next block, or a new one, when the request reaches the tail's end.
void* Take(unsigned long len) {
  OLVU_ASSERT_SERIAL("The memory pool");
  AllocBlock* t = root->tail;
  if (len >= static_cast<unsigned long>(t->end - t->cur)) {
    if (t->next) {
      t = t->next;
      t->cur = t->start;
    } else {
      AllocBlock* b = AllocHdr();
      t->next = b;
      t = b;
    }
    root->tail = t;
  }
  void* p = t->cur;
  t->cur += len;
  return p;
}

}  // namespace

MemoryPool* AllocInit(long size) {
  OLVU_ASSERT_SERIAL("The memory pool");
  if (root) return root;
  if (size < 0) AllocError("Wrong Initialisation");
  // After AllocFreePool the size stays and a new pool takes it.
  if (ALLOC_BLOCK_SIZE == 0) ALLOC_BLOCK_SIZE = size;
  if (ALLOC_BLOCK_SIZE == 0) return nullptr;
  root = new MemoryPool;
  root->head = root->tail = AllocHdr();
  return root;
}

AllocBlock* AllocHdr() {
  // The block memory comes from malloc, which reports failure by null rather than through the heap handler.
  char* mem = static_cast<char*>(std::malloc(static_cast<std::size_t>(ALLOC_BLOCK_SIZE)));
  if (!mem) AllocError("Out of memory in AllocHdr");
  AllocBlock* b = new AllocBlock;
  b->start = b->cur = mem;
  b->end = mem + ALLOC_BLOCK_SIZE;
  return b;
}

void* Alloc(long len) {
  if (!root) AllocError("Alloc - Memory pool not initialised");
  unsigned long n = Rounded(len);
  if (n > static_cast<unsigned long>(ALLOC_BLOCK_SIZE))
    AllocError("Alloc - requested block is bigger than allowed block size");
  return Take(n);
}

void* New(long len) {
  if (!root) {
    if (len == 0 && ALLOC_BLOCK_SIZE == 0) return nullptr;  // nothing to size a pool by
    AllocInit(len > LONG_MAX / 10 ? LONG_MAX : 10 * len);
  }
  unsigned long n = Rounded(len);
  if (n > static_cast<unsigned long>(ALLOC_BLOCK_SIZE))
    OLVU_FATAL("New - Requested block is bigger than allowed block size in pool\n");
  return Take(n);
}

AllocBlock* AllocReset() {
  OLVU_ASSERT_SERIAL("The memory pool");
  if (!root) return nullptr;
  root->tail = root->head;
  root->head->cur = root->head->start;
  return root->head;
}

MemoryPool* AllocSetPool(MemoryPool* pool) {
  OLVU_ASSERT_SERIAL("The memory pool");
  MemoryPool* old = root;
  root = pool;
  return old;
}

void AllocFreePool() {
  OLVU_ASSERT_SERIAL("The memory pool");
  if (!root) return;
  for (AllocBlock* b = root->head; b;) {
    AllocBlock* n = b->next;
    std::free(b->start);
    delete b;
    b = n;
  }
  delete root;
  root = nullptr;
}

bool noPool() { return ALLOC_BLOCK_SIZE == 0; }

void AllocError(const char* text) { OLVU_FATAL("\n" << text << "\n" << "\n"); }
