// Process-wide allocation counter: interposes glibc's allocator entry points
// and forwards to glibc's own implementations.
#include "common/alloc_counter.h"

#include <atomic>
#include <cstddef>

namespace {
std::atomic<std::uint64_t> g_allocations{0};
}

std::uint64_t benchutil::allocation_count() {
  return g_allocations.load(std::memory_order_relaxed);
}

#if defined(__GLIBC__)
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

__attribute__((visibility("default"))) void* malloc(std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
__attribute__((visibility("default"))) void* calloc(std::size_t n, std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(n, size);
}
__attribute__((visibility("default"))) void* realloc(void* p, std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}
__attribute__((visibility("default"))) void* memalign(std::size_t align, std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_memalign(align, n);
}
__attribute__((visibility("default"))) void* aligned_alloc(std::size_t align, std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_memalign(align, n);
}
__attribute__((visibility("default"))) int posix_memalign(void** out, std::size_t align,
                                                          std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  void* p = __libc_memalign(align, n);
  if (p == nullptr) return 12;  // ENOMEM
  *out = p;
  return 0;
}
__attribute__((visibility("default"))) void free(void* p) {
  __libc_free(p);
}
}
#endif
