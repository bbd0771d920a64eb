// Replaces the global allocation functions with counting ones, so tests can check
// how many heap allocations an expression makes.
#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/foundation/vec_support.h"

namespace {
std::atomic<long> g_allocations{0};

void* Allocate(std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(n ? n : 1);
}
}  // namespace

long olvu_test::HeapAllocations() { return g_allocations.load(std::memory_order_relaxed); }

// A failed allocation goes to the installed new handler, as with the standard operator.
void* operator new(std::size_t n) {
  for (;;) {
    if (void* p = Allocate(n)) return p;
    std::new_handler h = std::get_new_handler();
    if (!h) throw std::bad_alloc();
    h();
  }
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
