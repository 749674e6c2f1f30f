#include "tools/preview/serve/look_service.h"

#include <algorithm>

#include "tools/preview/look/looks.h"

namespace preview::serve {

namespace {

// Each key once, the latest last: a colour and its channels overlap, so the
// order of the latest settings is the look.
void set_latest(std::vector<std::pair<std::string, std::string>>& list, const std::string& key,
                const std::string& text) {
  list.erase(
      std::remove_if(list.begin(), list.end(), [&](const auto& e) { return e.first == key; }),
      list.end());
  list.emplace_back(key, text);
}

}  // namespace

LookService::LookService(const std::vector<LoadedHost>& hosts, RenderWorker& worker,
                         const Uploads* uploads)
    : hosts_(hosts), worker_(worker), uploads_(uploads), values_(hosts.size()) {
  for (const LoadedHost& h : hosts_) {
    Defaults d;
    const std::vector<ParamInfo>& params = h.backend->parameters();
    for (const ParamInfo& p : params) {
      ParamValue v;
      std::string ignored;
      const ParamHints hints = h.backend->hints(p.name);
      d.known.push_back(!hints.default_text.empty() &&
                        parse_value(p, hints.default_text, v, ignored));
      d.value.push_back(v);
    }
    // Channels as the controls group them: <colour>R/G/B, <vector>X/Y/Z.
    d.parent.assign(params.size(), -1);
    d.channel.assign(params.size(), -1);
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (params[i].type != ParamType::Color && params[i].type != ParamType::Vector) continue;
      const std::string suffixes = params[i].type == ParamType::Color ? "RGB" : "XYZ";
      const std::string& base = params[i].name;
      for (std::size_t j = 0; j < params.size(); ++j) {
        const std::string& n = params[j].name;
        if (params[j].type == ParamType::Float && n.size() == base.size() + 1 &&
            n.compare(0, base.size(), base) == 0 && suffixes.find(n.back()) != std::string::npos) {
          d.parent[j] = static_cast<int>(i);
          d.channel[j] = static_cast<int>(suffixes.find(n.back()));
        }
      }
    }
    defaults_.push_back(std::move(d));
  }
  worker_.submit(job(generation_, look_));
}

std::optional<std::size_t> LookService::host_index(const std::string& flag) const {
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    if (hosts_[k].entry->flag == flag) return k;
  }
  return std::nullopt;
}

std::string LookService::apply(const LookChange& change, LookState& out) {
  // Only the page's own settings: never where files go, which look files
  // are read, or anything else the command line does besides a look.
  for (const auto& [flag, text] : change.scene) {
    if (flag == "mesh") continue;  // an upload's name, never a file's
    const SceneSetting* setting = find_scene_setting(flag);
    if (setting == nullptr || !setting->look) {
      std::string names;
      for (const SceneSetting& s : scene_settings()) {
        if (s.look) names += std::string(names.empty() ? "" : ", ") + s.flag;
      }
      return "the page may not set '" + flag + "' (scene settings: " + names + ")";
    }
  }
  for (const auto& [flag, values] : change.hosts) {
    // A host that shows another's plug-in is set through that host.
    const std::optional<std::size_t> k = host_index(flag);
    if (!k || !hosts_[*k].entry->shows.empty()) {
      std::string names;
      for (const LoadedHost& h : hosts_) {
        if (h.entry->shows.empty()) names += (names.empty() ? "" : ", ") + h.entry->flag;
      }
      return "the page may not set '" + flag + "' (hosts: " + names + ")";
    }
  }

  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::pair<std::string, std::string>> scene = scene_;
  std::vector<std::vector<std::pair<std::string, std::string>>> values = values_;
  for (const auto& [flag, text] : change.scene) set_latest(scene, flag, text);
  for (const auto& [flag, list] : change.hosts) {
    for (const auto& [name, text] : list) set_latest(values[*host_index(flag)], name, text);
  }
  // The whole look as command-line flags, so that the command line's parser
  // and checks, and its messages, apply unchanged.
  std::vector<std::string> args;
  std::string mesh_name;
  for (const auto& [flag, text] : scene) {
    if (flag == "mesh") {
      mesh_name = text;
      continue;
    }
    args.push_back("--" + flag);
    args.push_back(text);
  }
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    for (const auto& [name, text] : values[k]) {
      args.push_back("--" + hosts_[k].entry->flag);
      args.push_back(name + "=" + text);
    }
  }
  // parse_look reads only the hosts' parameter lists, which never change:
  // safe beside the worker.
  // Uploads only; what the look on screen holds stays found once newer
  // uploads have pushed it out, so that the other controls keep working.
  const std::string keep = uploads_ != nullptr ? std::to_string(uploads_->keep()) : "0";
  const TextureSource textures = [&](const std::string& file) -> std::shared_ptr<const Texture> {
    if (uploads_ != nullptr) {
      if (auto t = uploads_->texture(file)) return t;
    }
    for (const auto& [host, list] : look_.textures) {
      for (const auto& [name, t] : list) {
        if (t->file == file) return t;
      }
    }
    return nullptr;
  };
  Look look;
  const std::string message =
      parse_look(args, hosts_, look, textures,
                 "not uploaded, or no longer kept (the page keeps the newest " + keep +
                     " textures): upload it again");
  if (!message.empty()) return message;
  if (!mesh_name.empty()) {
    look.mesh = uploads_ != nullptr ? uploads_->mesh(mesh_name) : nullptr;
    if (!look.mesh && look_.scene.mesh == mesh_name) look.mesh = look_.mesh;
    if (!look.mesh) {
      return "mesh " + mesh_name + ": not uploaded, or no longer kept (the page keeps the newest " +
             keep + " meshes): upload it again";
    }
    look.scene.mesh = mesh_name;
    if (!look.mesh->has_uvs() && !look.textures.empty()) {
      return "mesh " + mesh_name +
             " has no texture coordinates (vt), so it cannot take a texture: connect none, or "
             "show a shape";
    }
  }

  scene_ = std::move(scene);
  values_ = std::move(values);
  look_ = std::move(look);
  ++generation_;
  // Under the lock: the worker gets the looks in the order of their
  // generations.
  worker_.submit(job(generation_, look_));
  out = state();
  return "";
}

LookState LookService::current() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state();
}

LookState LookService::state() const {
  LookState out{generation_, look_, {}};
  for (const SceneSetting& s : scene_settings()) {
    if (s.look) out.scene.emplace_back(s.flag, s.get(look_.scene));
  }
  out.scene.emplace_back("mesh", look_.scene.mesh);
  return out;
}

RenderJob LookService::job(std::uint64_t generation, const Look& look) const {
  RenderJob job;
  job.generation = generation;
  job.scene = look.scene;
  job.mesh = look.mesh;
  // Every parameter back to its default, then the look's values in order.
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    const std::vector<ParamInfo>& params = hosts_[k].backend->parameters();
    std::vector<std::pair<std::string, ParamValue>> values;
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (defaults_[k].known[i]) values.emplace_back(params[i].name, defaults_[k].value[i]);
    }
    const auto given = look.values.find(settings_flag(*hosts_[k].entry));
    if (given != look.values.end()) {
      values.insert(values.end(), given->second.begin(), given->second.end());
    }
    job.values.push_back(std::move(values));
    const auto connected = look.textures.find(settings_flag(*hosts_[k].entry));
    job.textures.push_back(connected != look.textures.end() ? connected->second
                                                            : RenderJob::Connections{});
  }
  return job;
}

std::vector<std::pair<std::string, ParamValue>> LookService::settings(std::size_t host,
                                                                      const Look& look) const {
  const Defaults& d = defaults_[host];
  const std::vector<ParamInfo>& params = hosts_[host].backend->parameters();
  std::vector<ParamValue> value = d.value;
  std::vector<bool> known = d.known;
  const auto given = look.values.find(settings_flag(*hosts_[host].entry));
  if (given != look.values.end()) {
    for (const auto& [name, v] : given->second) {
      std::size_t i = 0;
      while (i < params.size() && params[i].name != name) ++i;
      if (i == params.size()) continue;
      value[i] = v;
      known[i] = true;
      // A colour and its channels are one setting, whichever is given.
      if (d.parent[i] >= 0) {
        value[d.parent[i]].v[d.channel[i]] = v.v[0];
        known[d.parent[i]] = true;
      }
      for (std::size_t j = 0; j < params.size(); ++j) {
        if (d.parent[j] == static_cast<int>(i)) {
          value[j].v[0] = v.v[d.channel[j]];
          known[j] = true;
        }
      }
    }
  }
  std::vector<std::pair<std::string, ParamValue>> out;
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (d.parent[i] < 0 && known[i]) out.emplace_back(params[i].name, value[i]);
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> LookService::connections(std::size_t host,
                                                                          const Look& look) const {
  std::vector<std::pair<std::string, std::string>> out;
  const auto given = look.textures.find(settings_flag(*hosts_[host].entry));
  if (given == look.textures.end()) return out;
  for (const auto& [name, texture] : given->second) out.emplace_back(name, texture->file);
  return out;
}

std::vector<std::pair<std::string, ParamValue>> LookService::changes(std::size_t host,
                                                                     const Look& look) const {
  std::vector<std::pair<std::string, ParamValue>> kept;
  const auto given = look.values.find(hosts_[host].entry->flag);
  if (given == look.values.end()) return kept;
  // An assignment that a later one of the same name overwrites changes
  // nothing; the rest keep their order (a colour and its channels overlap).
  const auto& list = given->second;
  for (std::size_t i = 0; i < list.size(); ++i) {
    bool later = false;
    for (std::size_t j = i + 1; j < list.size() && !later; ++j)
      later = list[j].first == list[i].first;
    if (!later) kept.push_back(list[i]);
  }
  // Defaults set on a node that still has all its defaults change nothing.
  const std::vector<ParamInfo>& params = hosts_[host].backend->parameters();
  std::size_t skip = 0;
  for (; skip < kept.size(); ++skip) {
    const std::size_t i =
        static_cast<std::size_t>(find_param(params, kept[skip].first) - params.data());
    if (!defaults_[host].known[i] || !same_value(defaults_[host].value[i], kept[skip].second)) {
      break;
    }
  }
  kept.erase(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(skip));
  return kept;
}

std::string LookService::command_line(const Look& look) const {
  std::string line = "velvet-preview";
  if (hosts_.size() == 1) line += " --hosts " + hosts_[0].entry->flag;
  // A mesh is shown alone: the command line takes no --shapes beside it.
  SceneOptions scene = look.scene;
  if (const SceneSetting* shapes = find_scene_setting("shapes"); !scene.mesh.empty()) {
    shapes->set(scene, default_text(*shapes));
  }
  line += scene_flags(scene);
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    // A host that shows another's plug-in has no flags of its own.
    if (!hosts_[k].entry->shows.empty()) continue;
    for (const auto& [name, value] : changes(k, look)) {
      line += " --" + hosts_[k].entry->flag + " " + name + "=" + format_value(value);
    }
    for (const auto& [name, file] : connections(k, look)) {
      line += " --" + hosts_[k].entry->flag + " " + name + "=@" + file;
    }
  }
  return line;
}

std::string LookService::handover(std::size_t host, const Look& look) const {
  const HostEntry& entry = *hosts_[host].entry;
  std::string text = entry.handover != nullptr ? entry.handover(settings(host, look)) : "";
  if (entry.texture_handover != nullptr) {
    for (const auto& [name, file] : connections(host, look)) {
      text += "\n" + entry.texture_handover(name, file);
    }
  }
  return text;
}

std::string LookService::look_files(const std::string& name, const Look& look,
                                    std::vector<std::pair<std::string, std::string>>& files) const {
  // The name becomes a file name in --out: never a path.
  if (!valid_look_name(name)) {
    return "a look's name is a letter, then letters, digits, '-' and '_' (at most " +
           std::to_string(kMaxLookName) + "; no path, no '..', no device name such as con): '" +
           name + "'";
  }
  files.clear();
  std::vector<const LookFormat*> written;
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    const LookFormat* format = hosts_[k].entry->look_format;
    // Hosts that show one plug-in share its look file: written once.
    if (format == nullptr || std::find(written.begin(), written.end(), format) != written.end()) {
      continue;
    }
    written.push_back(format);
    files.emplace_back(look_file_stem(name) + format->extension,
                       format->text(name, settings(k, look)));
  }
  return "";
}

}  // namespace preview::serve
