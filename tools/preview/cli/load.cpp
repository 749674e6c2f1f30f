// Load: the selected hosts' plug-ins, and the look files checked against
// them.
#include <memory>
#include <optional>

#include "tools/preview/cli/phases.h"

namespace preview::cli {

std::vector<Host> load_hosts(const Request& request, const CliEnvironment& env) {
  std::vector<Host> hosts;
  for (const std::string& flag : request.hosts) {
    const HostEntry* entry = nullptr;
    for (const HostEntry& h : env.hosts) {
      if (h.flag == flag) entry = &h;
    }
    std::string error;
    std::unique_ptr<Backend> backend = entry->make(request.plugin_path(flag), error);
    if (!backend) throw Failure{flag + ": " + error};
    hosts.push_back({entry, std::move(backend)});
  }
  return hosts;
}

LookFiles look_files(const Request& request, const CliEnvironment& env) {
  LookFiles files = env.looks;
  if (request.maya_presets || request.mr_looks) files.origin = "--maya-presets/--mr-looks";
  if (request.maya_presets) files.maya_presets = *request.maya_presets;
  if (request.mr_looks) files.mr_looks = *request.mr_looks;
  return files;
}

const LookSource* source_for(const NamedLook& look, const std::string& flag) {
  const std::optional<LookSource>& s = flag == "maya" ? look.maya : look.mr;
  return s ? &*s : nullptr;
}

std::string where(const LookSource& source) {
  return source.file + ":" + std::to_string(source.line);
}

std::vector<NamedLook> checked_looks(const LookFiles& files, const std::vector<Host>& hosts) {
  std::vector<NamedLook> looks;
  std::string error;
  if (!load_looks(files, looks, error)) throw UsageError{error};
  for (const NamedLook& look : looks) {
    if (!look.maya || !look.mr) {
      const LookSource& only = look.maya ? *look.maya : *look.mr;
      throw UsageError{where(only) + ": look '" + look.name + "' exists only for " +
                       (look.maya ? "maya" : "mr") + "; each look needs a Maya preset " +
                       "and a mental ray shader block"};
    }
    for (const Host& h : hosts) {
      if (const LookSource* s = source_for(look, h.entry->flag)) look_values(h, *s);
    }
  }
  return looks;
}

std::vector<NamedLook> requested_looks(const LookFiles& files, const std::vector<Host>& hosts) {
  if (files.maya_presets.empty() && files.mr_looks.empty()) {
    throw UsageError{"no look files found; name them with --maya-presets and --mr-looks"};
  }
  return checked_looks(files, hosts);
}

}  // namespace preview::cli
