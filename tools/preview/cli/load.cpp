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
    std::unique_ptr<Backend> backend =
        entry->make(request.plugin_path(settings_flag(*entry)), error);
    if (!backend) throw Failure{flag + ": " + error};
    hosts.push_back({entry, std::move(backend)});
  }
  return hosts;
}

LookFiles look_files(const Request& request, const CliEnvironment& env) {
  LookFiles files = env.looks;
  std::string flags;
  for (const HostEntry& h : env.hosts) {
    if (h.shows.empty()) flags += (flags.empty() ? "--" : "/--") + h.looks_flag;
  }
  if (!request.look_paths.empty()) files.origin = flags;
  for (const HostEntry& h : env.hosts) {
    const auto given = request.look_paths.find(h.flag);
    if (given != request.look_paths.end()) files.*h.looks = given->second;
  }
  return files;
}

const LookSource* source_for(const NamedLook& look, const HostEntry& host) {
  const std::optional<LookSource>& s = look.*(host.look_format->source);
  return s ? &*s : nullptr;
}

std::string where(const LookSource& source) {
  return source.file + ":" + std::to_string(source.line);
}

std::vector<NamedLook> checked_looks(const LookFiles& files, const std::vector<Host>& hosts) {
  std::vector<NamedLook> looks;
  std::string error;
  if (!load_looks(files, looks, error)) throw UsageError{error};
  const std::vector<HostEntry>& all = all_host_entries();
  std::string needs;
  for (std::size_t k = 0; k < all.size(); ++k) {
    needs += (k == 0                ? ""
              : k + 1 == all.size() ? " and "
                                    : ", ") +
             std::string(all[k].look_format->what);
  }
  for (const NamedLook& look : looks) {
    // Each look is in every host's files, and only with names and values
    // that host accepts.
    const HostEntry* found = nullptr;
    const HostEntry* missing = nullptr;
    for (const HostEntry& h : all) (source_for(look, h) ? found : missing) = &h;
    if (missing != nullptr && found != nullptr) {
      throw UsageError{where(*source_for(look, *found)) + ": look '" + look.name +
                       "' exists only for " + found->flag + "; each look needs " + needs};
    }
    for (const Host& h : hosts) {
      if (const LookSource* s = source_for(look, *h.entry)) look_values(h, *s);
    }
  }
  return looks;
}

std::vector<NamedLook> requested_looks(const LookFiles& files, const std::vector<Host>& hosts) {
  const std::vector<HostEntry>& all = all_host_entries();
  std::string flags;
  bool none = true;
  for (std::size_t k = 0; k < all.size(); ++k) {
    none = none && (files.*all[k].looks).empty();
    flags += (k == 0 ? "--" : k + 1 == all.size() ? " and --" : ", --") + all[k].looks_flag;
  }
  if (none) throw UsageError{"no look files found; name them with " + flags};
  return checked_looks(files, hosts);
}

}  // namespace preview::cli
