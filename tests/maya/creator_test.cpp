// velvet::creator when memory runs out. This program replaces the global
// allocation operators; the plug-in, loaded later, binds to them (on ELF
// platforms; on Windows its malloc import is redirected), so a test can make
// the creator's own allocation fail.
#include <gtest/gtest.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>
#include <mayahost/status.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(_WIN32)
#include <windows.h>
#endif

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

#if defined(_WIN32)
// A DLL's allocation operators are bound when it is linked, to the runtime
// linked into it, never to the loading program's: on Windows the plug-in's
// own import of the C runtime's malloc is pointed at `allocate` instead.
// Returns the address the import held, or null if the plug-in has none.
void* replaceImport(const char* library, const char* dll, const char* function, void* replacement) {
  auto* const base = reinterpret_cast<unsigned char*>(GetModuleHandleA(library));
  if (base == nullptr) return nullptr;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       d->Name != 0; ++d) {
    if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0) continue;
    const auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
      const auto* byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
      DWORD protection;
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection);
      void* const previous = reinterpret_cast<void*>(slot->u1.Function);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
      return previous;
    }
  }
  return nullptr;
}

void* __cdecl pluginMalloc(std::size_t n) {
  return allocate(n);
}
#endif

TEST(Creator, ReturnsNullWhenMemoryRunsOut) {
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
#if defined(_WIN32)
  void* const runtimeMalloc =
      replaceImport("velvet.mll", "msvcrt.dll", "malloc", reinterpret_cast<void*>(&pluginMalloc));
  ASSERT_NE(runtimeMalloc, nullptr) << "velvet.mll imports no malloc from msvcrt.dll";
#endif
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
#if defined(_WIN32)
  replaceImport("velvet.mll", "msvcrt.dll", "malloc", runtimeMalloc);
#endif
}

}  // namespace
