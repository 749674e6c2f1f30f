// The plug-in as Windows sees it: its file name, its export and import
// tables, loading and unloading through LoadLibrary and FreeLibrary, and
// DllMain.
#include <gtest/gtest.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <string>

#include "pe_file.h"

// DllMain and the handle it records are the plug-in's own and neither is
// exported, so this program compiles the plug-in's entry-point source in to
// call the one and read the other.
#include "pluginMain.cpp"

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

TEST(DllMain, ReturnsOneForEveryNotificationAndRecordsTheHandle) {
  // Stand-in handles: DllMain only stores the value.
  const auto attach = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x10000});
  const auto detach = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x20000});
  EXPECT_EQ(DllMain(attach, DLL_PROCESS_ATTACH, nullptr), 1);
  EXPECT_EQ(moduleInstance, attach);
  EXPECT_EQ(DllMain(attach, DLL_THREAD_ATTACH, nullptr), 1);
  EXPECT_EQ(DllMain(attach, DLL_THREAD_DETACH, nullptr), 1);
  EXPECT_EQ(DllMain(detach, DLL_PROCESS_DETACH, nullptr), 1);
  EXPECT_EQ(moduleInstance, detach);
}

}  // namespace
