// The plug-in as Windows sees it: its file name, its export and import
// tables, loading and unloading through LoadLibrary and FreeLibrary, and the
// module entry DllMain that the devkit's <maya/MFnPlugin.h> defines in it.
#include <gtest/gtest.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "pe_file.h"

namespace {

const std::string kPlugin = VELVET_PLUGIN_PATH;

std::string fileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::string thisProgram() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

// DLLs that every Windows machine has. Anything else that a file imports
// must be shipped beside it (libstdc++-6.dll, libwinpthread-1.dll, ...).
bool isSystemDll(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name == "kernel32.dll" || name == "msvcrt.dll" || name == "ucrtbase.dll" ||
         name.rfind("api-ms-win-", 0) == 0;
}

TEST(PluginFile, IsVelvetMllExportingOnlyTheEntryPointsUnderPlainNames) {
  EXPECT_EQ(fileName(kPlugin), "velvet.mll");
  const petest::PeFile pe = petest::readPeFile(kPlugin);
  ASSERT_EQ(pe.error, "");
  EXPECT_EQ(pe.exports,
            (std::set<std::string>{"MApiVersion", "initializePlugin", "uninitializePlugin"}));
}

TEST(PluginFile, ImportsTheHostLibraryUnderTheDevkitsName) {
  EXPECT_EQ(fileName(OPENMAYA_LIBRARY_PATH), "OpenMaya.dll");
  const petest::PeFile pe = petest::readPeFile(kPlugin);
  ASSERT_EQ(pe.error, "");
  ASSERT_EQ(pe.imports.count("OpenMaya.dll"), 1u);
  EXPECT_EQ(pe.imports.count("Foundation.dll"), 1u);  // MString, as in the devkit
  const std::set<std::string>& names = pe.imports.at("OpenMaya.dll");
  EXPECT_TRUE(std::any_of(names.begin(), names.end(), [](const std::string& n) {
    return n.find("MFnPlugin") != std::string::npos;
  }));
}

TEST(StaticRuntime, NothingNeedsADllBesidesTheHostsAndTheSystems) {
  for (const std::string& file : {kPlugin, std::string(OPENMAYA_LIBRARY_PATH), thisProgram()}) {
    const petest::PeFile pe = petest::readPeFile(file);
    ASSERT_EQ(pe.error, "") << file;
    EXPECT_FALSE(pe.imports.empty()) << file;
    for (const auto& [dll, names] : pe.imports) {
      EXPECT_TRUE(dll == "OpenMaya.dll" || dll == "Foundation.dll" || isSystemDll(dll))
          << file << " imports " << dll;
    }
  }
}

TEST(LoadLibrary, LoadRegistersAndFreeLibraryWithdrawsAndUnmaps) {
  ASSERT_EQ(GetModuleHandleA("velvet.mll"), nullptr);
  for (int round = 0; round < 2; ++round) {
    mayahost::Plugin plugin;
    ASSERT_TRUE(plugin.load(kPlugin).ok());
    const HMODULE module = GetModuleHandleA("velvet.mll");
    ASSERT_NE(module, nullptr);
    void* const entry = reinterpret_cast<void*>(GetProcAddress(module, "initializePlugin"));
    EXPECT_EQ(plugin.symbol("initializePlugin"), entry);
    mayahost::NodeTypeInfo type;
    EXPECT_TRUE(mayahost::nodeType("velvet", &type).ok());

    ASSERT_TRUE(plugin.unload().ok());
    EXPECT_FALSE(mayahost::nodeType("velvet", &type).ok());
    // The library is gone, not merely released: the next load constructs
    // its statics afresh, and they are destroyed again at its unload.
    EXPECT_EQ(GetModuleHandleA("velvet.mll"), nullptr) << "round " << round;
    EXPECT_EQ(plugin.unloadEvents().back(), "~MTypeId 545060") << "round " << round;
  }
}

// DllMain and MhInstPlugin come with <maya/MFnPlugin.h> under NT_PLUGIN and
// neither is exported: the plug-in's symbol table says where they are.
TEST(DllMain, TheHeadersEntryReturnsOneForEveryNotificationAndRecordsTheHandle) {
  const petest::PeFile pe = petest::readPeFile(kPlugin);
  ASSERT_EQ(pe.error, "");
  ASSERT_EQ(pe.symbols.count("DllMain"), 1u) << "no DllMain in the plug-in (NT_PLUGIN unset?)";
  ASSERT_EQ(pe.symbols.count("MhInstPlugin"), 1u);

  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(kPlugin).ok());
  const HMODULE module = GetModuleHandleA("velvet.mll");
  ASSERT_NE(module, nullptr);
  const auto base = reinterpret_cast<std::uintptr_t>(module);
  using Entry = int(WINAPI*)(HINSTANCE, DWORD, LPVOID);
  const auto dllMain = reinterpret_cast<Entry>(base + pe.symbols.at("DllMain"));
  auto* const recorded = reinterpret_cast<HINSTANCE*>(base + pe.symbols.at("MhInstPlugin"));
  // Windows called it at load, with the module's own handle.
  EXPECT_EQ(*recorded, reinterpret_cast<HINSTANCE>(module));

  // Stand-in handles: DllMain only stores the value.
  const auto attach = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x10000});
  const auto detach = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x20000});
  EXPECT_EQ(dllMain(attach, DLL_PROCESS_ATTACH, nullptr), 1);
  EXPECT_EQ(*recorded, attach);
  EXPECT_EQ(dllMain(attach, DLL_THREAD_ATTACH, nullptr), 1);
  EXPECT_EQ(dllMain(attach, DLL_THREAD_DETACH, nullptr), 1);
  EXPECT_EQ(dllMain(detach, DLL_PROCESS_DETACH, nullptr), 1);
  EXPECT_EQ(*recorded, detach);
  *recorded = reinterpret_cast<HINSTANCE>(module);
  ASSERT_TRUE(plugin.unload().ok());
}

}  // namespace
