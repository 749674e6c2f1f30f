// Loading a plug-in library into the stand-in host, as Maya's `loadPlugin`
// does once it has the file: open it, call initializePlugin, and at unload
// call uninitializePlugin, close it and forget every type it registered.
// Finding the file by name through modules is <mayahost/modules.h>.
//
//   mayahost::Plugin plugin;
//   mayahost::Status st = plugin.load("/path/to/velvet.so");
//   if (!st) { std::cerr << st.message() << "\n"; return 1; }
//
// Part of the driver: tests, benchmarks and tools include it; plug-ins never
// do (they see only the <maya/...> classes).
//
// Threads: one at a time, as Maya loads plug-ins on its main thread.
#ifndef MAYAHOST_PLUGIN_H
#define MAYAHOST_PLUGIN_H

#include <maya/MExport.h>
#include <maya/MStatus.h>
#include <mayahost/status.h>

#include <string>
#include <vector>

namespace mayahost {

// One MFnPlugin made by the plug-in on its plug-in object.
struct FnPluginRecord {
  std::string vendor, version, requiredApiVersion;
};

// A plug-in library. load() opens it and calls initializePlugin; unload()
// calls uninitializePlugin and closes it, after which the host forgets every
// type the plug-in registered. The destructor unloads.
class OPENMAYA_EXPORT Plugin {
 public:
  Plugin() = default;
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  Status load(const std::string& path);
  // Refused while nodes of its types exist.
  Status unload();
  bool loaded() const { return record_ != nullptr; }

  // What initializePlugin / uninitializePlugin returned.
  MStatus initializeResult() const { return initializeResult_; }
  MStatus uninitializeResult() const { return uninitializeResult_; }
  // The exported MApiVersion text ("" if the library has none).
  std::string apiVersion() const;
  // An exported symbol of the loaded library, or null.
  void* symbol(const char* name) const;
  // Every MFnPlugin made on this plug-in, load and unload alike, in order.
  const std::vector<FnPluginRecord>& functionSets() const { return functionSets_; }
  // What happened during the last unload, in order: "uninitializePlugin
  // returned", then "~MObject <attribute>" / "~MObject null" and
  // "~MTypeId <decimal id>" for every static handle the library destroyed.
  const std::vector<std::string>& unloadEvents() const { return unloadEvents_; }

 private:
  void* record_ = nullptr;
  MStatus initializeResult_;
  MStatus uninitializeResult_;
  std::vector<FnPluginRecord> functionSets_;
  std::vector<std::string> unloadEvents_;
};

}  // namespace mayahost

#endif  // MAYAHOST_PLUGIN_H
