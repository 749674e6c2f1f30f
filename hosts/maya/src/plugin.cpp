// Plug-ins: opening the library, its entry points, and forgetting what it
// registered once it is closed.
#include <mayahost/plugin.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform.h"
#include "records.h"

namespace mayahost {

using detail::Access;
using detail::host;
using detail::PluginRecord;

namespace {

using EntryPoint = MStatus (*)(MObject);

PluginRecord* pluginOf(void* p) {
  return static_cast<PluginRecord*>(p);
}

}  // namespace

Plugin::~Plugin() {
  if (loaded()) unload();
}

Status Plugin::load(const std::string& path) {
  if (loaded()) return Status::error("this Plugin already holds a loaded library");
  for (const auto& p : host().plugins) {
    if (p->path == path) return Status::error("'" + path + "' is already loaded");
  }
  std::string error;
  void* library = detail::openLibrary(path, &error);
  if (library == nullptr) return Status::error("cannot load '" + path + "': " + error);
  auto init = reinterpret_cast<EntryPoint>(detail::findSymbol(library, "initializePlugin"));
  auto uninit = reinterpret_cast<EntryPoint>(detail::findSymbol(library, "uninitializePlugin"));
  if (init == nullptr || uninit == nullptr) {
    detail::closeLibrary(library);
    return Status::error("'" + path + "' does not export initializePlugin and uninitializePlugin");
  }
  auto rec = std::make_unique<PluginRecord>();
  rec->path = path;
  rec->library = library;
  rec->functionSets = &functionSets_;
  functionSets_.clear();
  PluginRecord* raw = rec.get();
  host().plugins.push_back(std::move(rec));
  record_ = raw;

  host().current = raw;
  initializeResult_ = init(Access::plugin(raw));
  host().current = nullptr;
  return Status();
}

Status Plugin::unload() {
  if (!loaded()) return Status::error("no library is loaded");
  PluginRecord* rec = pluginOf(record_);
  for (const auto& t : host().types) {
    if (t->plugin == rec && t->liveNodes > 0) {
      return Status::error("nodes of type '" + t->name + "' still exist; destroy them first");
    }
  }
  auto uninit =
      reinterpret_cast<EntryPoint>(detail::findSymbol(rec->library, "uninitializePlugin"));
  host().current = rec;
  uninitializeResult_ = uninit(Access::plugin(rec));
  host().current = nullptr;

  unloadEvents_.clear();
  unloadEvents_.push_back("uninitializePlugin returned");
  host().unloadEvents = &unloadEvents_;
  detail::traceUnload(true);
  detail::closeLibrary(rec->library);
  detail::traceUnload(false);
  host().unloadEvents = nullptr;

  // The library's code is gone: forget whatever of it the host still holds.
  detail::forgetPlugin(rec);
  auto& plugins = host().plugins;
  plugins.erase(std::remove_if(plugins.begin(), plugins.end(),
                               [rec](const auto& p) { return p.get() == rec; }),
                plugins.end());
  record_ = nullptr;
  return Status();
}

std::string Plugin::apiVersion() const {
  const char* text = static_cast<const char*>(symbol("MApiVersion"));
  return text != nullptr ? std::string(text) : std::string();
}

void* Plugin::symbol(const char* name) const {
  return loaded() ? detail::findSymbol(pluginOf(record_)->library, name) : nullptr;
}

}  // namespace mayahost
