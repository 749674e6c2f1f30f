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

std::string shapes_text(const SceneOptions& s) {
  return s.sphere && s.torus ? "sphere,torus" : s.sphere ? "sphere" : "torus";
}

}  // namespace

const std::vector<SceneControl>& scene_controls() {
  static const std::vector<SceneControl> controls = [] {
    const SceneOptions d;
    const core::Color& i = d.irradiance;
    return std::vector<SceneControl>{
        {"shapes", "shapes", "shapes", shapes_text(d), {}, {}},
        {"key", "float", "key light", format_number(d.key), 0.0, 4.0},
        {"fill", "float", "fill light", format_number(d.fill), 0.0, 4.0},
        {"rim", "float", "rim light", format_number(d.rim), 0.0, 4.0},
        {"irradiance", "color", "irradiance (mental ray, with useIrradiance)",
         format_number(i.r) + "," + format_number(i.g) + "," + format_number(i.b), 0.0, 1.0},
        {"size",
         "size",
         "size of one image",
         std::to_string(d.width) + "x" + std::to_string(d.height),
         {},
         {}},
        {"aa", "integer", "samples per pixel (N x N)", std::to_string(d.aa), 1.0, 6.0},
        {"area-samples", "integer", "key light samples", std::to_string(d.area_samples), 1.0, 64.0},
    };
  }();
  return controls;
}

LookService::LookService(const std::vector<LoadedHost>& hosts, RenderWorker& worker)
    : hosts_(hosts), worker_(worker), values_(hosts.size()) {
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
    const auto& controls = scene_controls();
    const bool known = std::any_of(controls.begin(), controls.end(),
                                   [&](const SceneControl& c) { return flag == c.flag; });
    if (!known) {
      std::string names;
      for (const SceneControl& c : controls)
        names += std::string(names.empty() ? "" : ", ") + c.flag;
      return "the page may not set '" + flag + "' (scene settings: " + names + ")";
    }
  }
  for (const auto& [flag, values] : change.hosts) {
    if (!host_index(flag)) {
      std::string names;
      for (const LoadedHost& h : hosts_) names += (names.empty() ? "" : ", ") + h.entry->flag;
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
  for (const auto& [flag, text] : scene) {
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
  Look look;
  const std::string message = parse_look(args, hosts_, look);
  if (!message.empty()) return message;

  scene_ = std::move(scene);
  values_ = std::move(values);
  look_ = std::move(look);
  ++generation_;
  // Under the lock: the worker gets the looks in the order of their
  // generations.
  worker_.submit(job(generation_, look_));
  out = {generation_, look_, {}};
  for (const SceneControl& c : scene_controls()) {
    const auto given = std::find_if(scene_.begin(), scene_.end(),
                                    [&](const auto& e) { return e.first == c.flag; });
    out.scene.emplace_back(c.flag, given == scene_.end() ? c.default_text : given->second);
  }
  return "";
}

LookState LookService::current() const {
  std::lock_guard<std::mutex> lock(mutex_);
  LookState out{generation_, look_, {}};
  for (const SceneControl& c : scene_controls()) {
    const auto given = std::find_if(scene_.begin(), scene_.end(),
                                    [&](const auto& e) { return e.first == c.flag; });
    out.scene.emplace_back(c.flag, given == scene_.end() ? c.default_text : given->second);
  }
  return out;
}

RenderJob LookService::job(std::uint64_t generation, const Look& look) const {
  RenderJob job;
  job.generation = generation;
  job.scene = look.scene;
  // Every parameter back to its default, then the look's values in order.
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    const std::vector<ParamInfo>& params = hosts_[k].backend->parameters();
    std::vector<std::pair<std::string, ParamValue>> values;
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (defaults_[k].known[i]) values.emplace_back(params[i].name, defaults_[k].value[i]);
    }
    const auto given = look.values.find(hosts_[k].entry->flag);
    if (given != look.values.end()) {
      values.insert(values.end(), given->second.begin(), given->second.end());
    }
    job.values.push_back(std::move(values));
  }
  return job;
}

std::vector<std::pair<std::string, ParamValue>> LookService::settings(std::size_t host,
                                                                      const Look& look) const {
  const Defaults& d = defaults_[host];
  const std::vector<ParamInfo>& params = hosts_[host].backend->parameters();
  std::vector<ParamValue> value = d.value;
  std::vector<bool> known = d.known;
  const auto given = look.values.find(hosts_[host].entry->flag);
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
  const SceneOptions d;
  const SceneOptions& s = look.scene;
  std::string line = "velvet-preview";
  if (hosts_.size() == 1) line += " --hosts " + hosts_[0].entry->flag;
  if (s.width != d.width || s.height != d.height) {
    line += " --size " + std::to_string(s.width) + "x" + std::to_string(s.height);
  }
  if (s.aa != d.aa) line += " --aa " + std::to_string(s.aa);
  if (s.sphere != d.sphere || s.torus != d.torus) line += " --shapes " + shapes_text(s);
  if (s.fov != d.fov) line += " --fov " + format_number(static_cast<float>(s.fov));
  if (s.distance != d.distance) {
    line += " --distance " + format_number(static_cast<float>(s.distance));
  }
  if (s.key != d.key) line += " --key " + format_number(s.key);
  if (s.fill != d.fill) line += " --fill " + format_number(s.fill);
  if (s.rim != d.rim) line += " --rim " + format_number(s.rim);
  if (s.area_samples != d.area_samples) line += " --area-samples " + std::to_string(s.area_samples);
  const core::Color& i = s.irradiance;
  if (i.r != d.irradiance.r || i.g != d.irradiance.g || i.b != d.irradiance.b) {
    line +=
        " --irradiance " + format_number(i.r) + "," + format_number(i.g) + "," + format_number(i.b);
  }
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    for (const auto& [name, value] : changes(k, look)) {
      line += " --" + hosts_[k].entry->flag + " " + name + "=" + format_value(value);
    }
  }
  return line;
}

std::string LookService::maya_text(const Look& look) const {
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    if (hosts_[k].entry->flag == "maya") return maya_preset_text(settings(k, look));
  }
  return "";
}

std::string LookService::mr_text(const Look& look) const {
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    if (hosts_[k].entry->flag == "mr") return mr_block_text("look", settings(k, look));
  }
  return "";
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
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    const std::string& flag = hosts_[k].entry->flag;
    if (flag == "maya") {
      files.emplace_back(look_file_stem(name) + ".mel", maya_preset_text(settings(k, look)));
    } else if (flag == "mr") {
      files.emplace_back(look_file_stem(name) + ".mi", mr_block_text(name, settings(k, look)));
    }
  }
  return "";
}

}  // namespace preview::serve
