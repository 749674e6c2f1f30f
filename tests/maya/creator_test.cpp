// velvet::creator when memory runs out. This program replaces the global
// allocation operators; the plug-in, loaded later, binds to them, so a test can
// make the creator's own allocation fail.
#include <gtest/gtest.h>
#include <mayahost/host.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> failNextAllocation{false};

void* allocate(std::size_t n) {
  if (failNextAllocation.exchange(false)) return nullptr;
  return std::malloc(n != 0 ? n : 1);
}
}  // namespace

// Exported, so that the plug-in binds to them, and out of line, so that the
// compiler never pairs a replaced new with a free.
#if defined(_MSC_VER)
#define VELVET_REPLACES __declspec(noinline)
#else
#define VELVET_REPLACES __attribute__((visibility("default"), noinline))
#endif

VELVET_REPLACES void* operator new(std::size_t n) {
  void* p = allocate(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
VELVET_REPLACES void* operator new[](std::size_t n) {
  void* p = allocate(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
VELVET_REPLACES void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return allocate(n);
}
VELVET_REPLACES void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return allocate(n);
}
VELVET_REPLACES void operator delete(void* p) noexcept {
  std::free(p);
}
VELVET_REPLACES void operator delete[](void* p) noexcept {
  std::free(p);
}
VELVET_REPLACES void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
VELVET_REPLACES void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
VELVET_REPLACES void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
VELVET_REPLACES void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

namespace {

TEST(Creator, ReturnsNullWhenMemoryRunsOut) {
#if defined(_WIN32)
  // A DLL binds its allocation operators when it is linked (here, to the
  // runtime linked into it), never to the loading program's.
  GTEST_SKIP() << "the plug-in's allocation cannot be replaced from the program on Windows";
#endif
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  mayahost::Node node;
  // The creator's allocation is the first one node creation makes; a
  // throwing allocation would escape into the host from here.
  failNextAllocation = true;
  const mayahost::Status s = node.create("velvet");
  failNextAllocation = false;
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find("returned null"), std::string::npos) << s.message();
  EXPECT_FALSE(node.valid());
  // Memory back: nodes come again.
  EXPECT_TRUE(node.create("velvet").ok());
}

}  // namespace
