// Heap in use, for soak tests that must end where they started. Include it
// in exactly one source of a test program: it replaces the global allocation
// operators (exported, so that plug-ins loaded later count too) and reads the
// allocator's own figure for everything else (dlopen, C code, the runtime).
#ifndef VELVET_TESTS_COMMON_HEAP_METER_H
#define VELVET_TESTS_COMMON_HEAP_METER_H

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define VELVET_HEAP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELVET_HEAP_ASAN 1
#endif
#endif

#if !defined(VELVET_HEAP_ASAN) && defined(__GLIBC__)
#include <malloc.h>
#endif

namespace heapmeter {

inline std::atomic<long long>& live_objects() {
  static std::atomic<long long> count{0};
  return count;
}

// C++ objects alive now (operator new minus operator delete).
inline long long objects() {
  return live_objects().load();
}

// Whether objects() sees every module's C++ objects. A Windows DLL linked
// with the static runtime keeps its own operator new and delete, so an object
// made in the host library and freed in the program (a returned string, say)
// would count on one side only.
inline bool counts_every_module() {
#if defined(_WIN32)
  return false;
#else
  return true;
#endif
}

// Bytes the allocator holds for the program, or -1 where it cannot say.
// Under ASan freed blocks wait in quarantine and modules' globals are
// registered with the runtime, so its figure drifts with every load; there
// LeakSanitizer checks instead.
inline long long bytes() {
#if defined(VELVET_HEAP_ASAN)
  return -1;
#elif defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
  return static_cast<long long>(mallinfo2().uordblks);
#else
  return -1;
#endif
}

inline void* allocate(std::size_t n) {
  void* p = std::malloc(n != 0 ? n : 1);
  if (p != nullptr) live_objects().fetch_add(1, std::memory_order_relaxed);
  return p;
}
inline void release(void* p) {
  if (p == nullptr) return;
  live_objects().fetch_sub(1, std::memory_order_relaxed);
  std::free(p);
}

}  // namespace heapmeter

#if defined(_MSC_VER)
#define VELVET_HEAP_REPLACES __declspec(noinline)
#else
#define VELVET_HEAP_REPLACES __attribute__((visibility("default"), noinline))
#endif

VELVET_HEAP_REPLACES void* operator new(std::size_t n) {
  void* p = heapmeter::allocate(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
VELVET_HEAP_REPLACES void* operator new[](std::size_t n) {
  void* p = heapmeter::allocate(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
VELVET_HEAP_REPLACES void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return heapmeter::allocate(n);
}
VELVET_HEAP_REPLACES void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return heapmeter::allocate(n);
}
VELVET_HEAP_REPLACES void operator delete(void* p) noexcept {
  heapmeter::release(p);
}
VELVET_HEAP_REPLACES void operator delete[](void* p) noexcept {
  heapmeter::release(p);
}
VELVET_HEAP_REPLACES void operator delete(void* p, std::size_t) noexcept {
  heapmeter::release(p);
}
VELVET_HEAP_REPLACES void operator delete[](void* p, std::size_t) noexcept {
  heapmeter::release(p);
}
VELVET_HEAP_REPLACES void operator delete(void* p, const std::nothrow_t&) noexcept {
  heapmeter::release(p);
}
VELVET_HEAP_REPLACES void operator delete[](void* p, const std::nothrow_t&) noexcept {
  heapmeter::release(p);
}

#endif  // VELVET_TESTS_COMMON_HEAP_METER_H
