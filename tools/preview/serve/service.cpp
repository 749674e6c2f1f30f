#include "tools/preview/serve/service.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <exception>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "tools/preview/render/compose.h"
#include "tools/preview/render/image_io.h"
#include "tools/preview/serve/page.h"

namespace preview::serve {

namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

// Invalid UTF-8 in an echoed value must not stop the answer.
std::string dump(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

Response error(int status, const std::string& message) {
  Response r;
  r.status = status;
  r.body = dump(json{{"error", message}});
  return r;
}

Response ok(const json& j) {
  Response r;
  r.body = dump(j);
  return r;
}

std::string number(float f) {
  return format_number(f);
}

std::string number(double d) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, d);
  return ec == std::errc() ? std::string(text, end) : "0";
}

std::string host_title(const std::string& flag) {
  if (flag == "maya") return "Maya: velvet node";
  if (flag == "mr") return "mental ray: krel_velvet shader";
  return flag;
}

std::string base64(const std::vector<unsigned char>& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (bytes[i] << 16u) | (bytes[i + 1] << 8u) | bytes[i + 2];
    out += kDigits[(v >> 18u) & 63u];
    out += kDigits[(v >> 12u) & 63u];
    out += kDigits[(v >> 6u) & 63u];
    out += kDigits[v & 63u];
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const unsigned v = (bytes[i] << 16u) | (two ? bytes[i + 1] << 8u : 0u);
    out += kDigits[(v >> 18u) & 63u];
    out += kDigits[(v >> 12u) & 63u];
    out += two ? kDigits[(v >> 6u) & 63u] : '=';
    out += '=';
  }
  return out;
}

bool query_int(const Request& request, const char* name, long long lo, long long hi,
               long long& out) {
  const auto it = request.query.find(name);
  if (it == request.query.end()) return true;
  const std::string& text = it->second;
  long long v = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || v < lo || v > hi) {
    return false;
  }
  out = v;
  return true;
}

// The scene's controls: what the command line's scene flags accept.
json scene_controls() {
  const SceneOptions d;
  return json::array({
      {{"flag", "shapes"},
       {"type", "shapes"},
       {"label", "shapes"},
       {"default", d.sphere && d.torus ? "sphere,torus"
                   : d.sphere          ? "sphere"
                                       : "torus"}},
      {{"flag", "key"},
       {"type", "float"},
       {"label", "key light"},
       {"default", number(d.key)},
       {"softMin", 0.0},
       {"softMax", 4.0}},
      {{"flag", "fill"},
       {"type", "float"},
       {"label", "fill light"},
       {"default", number(d.fill)},
       {"softMin", 0.0},
       {"softMax", 4.0}},
      {{"flag", "rim"},
       {"type", "float"},
       {"label", "rim light"},
       {"default", number(d.rim)},
       {"softMin", 0.0},
       {"softMax", 4.0}},
      {{"flag", "size"},
       {"type", "size"},
       {"label", "size of one image"},
       {"default", std::to_string(d.width) + "x" + std::to_string(d.height)}},
      {{"flag", "aa"},
       {"type", "integer"},
       {"label", "samples per pixel (N x N)"},
       {"default", std::to_string(d.aa)},
       {"softMin", 1},
       {"softMax", 6}},
      {{"flag", "area-samples"},
       {"type", "integer"},
       {"label", "key light samples"},
       {"default", std::to_string(d.area_samples)},
       {"softMin", 1},
       {"softMax", 64}},
  });
}

}  // namespace

bool host_allowed(const std::string& host, int port) {
  std::string lower = host;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string p = ":" + std::to_string(port);
  if (lower == "127.0.0.1" + p || lower == "localhost" + p) return true;
  // Browsers leave out the scheme's default port.
  return port == 80 && (lower == "127.0.0.1" || lower == "localhost");
}

bool origin_allowed(const std::string& origin, int port) {
  if (origin.empty()) return true;
  for (const char* scheme : {"http://", "HTTP://"}) {
    if (origin.compare(0, 7, scheme) == 0) return host_allowed(origin.substr(7), port);
  }
  return false;
}

Service::Service(std::vector<LoadedHost> hosts, const ServeOptions& options, Limits limits)
    : options_(options), limits_(limits) {
  hosts_ = std::move(hosts);
  for (const LoadedHost& h : hosts_) {
    Defaults d;
    for (const ParamInfo& p : h.backend->parameters()) {
      ParamValue v;
      std::string ignored;
      const ParamHints hints = h.backend->hints(p.name);
      d.known.push_back(!hints.default_text.empty() &&
                        parse_value(p, hints.default_text, v, ignored));
      d.value.push_back(v);
    }
    // Channels as the controls group them: <colour>R/G/B, <vector>X/Y/Z.
    const std::vector<ParamInfo>& params = h.backend->parameters();
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
  // Asked once, here: host queries must not run beside the worker.
  controls_json_ = build_controls();
  look_.generation = 1;
  worker_ = std::thread([this] { work(); });
}

Service::~Service() {
  shutdown();
  if (worker_.joinable()) worker_.join();
}

void Service::set_port(int port) {
  port_.store(port);
}

void Service::shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  cancel_.store(true);
  changed_.notify_all();
}

std::string Service::build_controls() const {
  json hosts = json::array();
  std::vector<std::vector<std::pair<std::string, ParamType>>> names;
  for (const LoadedHost& h : hosts_) {
    const std::vector<ParamInfo>& params = h.backend->parameters();
    json list = json::array();
    std::vector<bool> child(params.size(), false);
    // A colour's or vector's channels are listed with it, as the channels
    // of one control.
    for (std::size_t i = 0; i < params.size(); ++i) {
      const ParamInfo& p = params[i];
      if (p.type != ParamType::Color && p.type != ParamType::Vector) continue;
      const char* suffixes = p.type == ParamType::Color ? "RGB" : "XYZ";
      for (std::size_t j = 0; j < params.size(); ++j) {
        const std::string& n = params[j].name;
        if (params[j].type == ParamType::Float && n.size() == p.name.size() + 1 &&
            n.compare(0, p.name.size(), p.name) == 0 &&
            std::string(suffixes).find(n.back()) != std::string::npos) {
          child[j] = true;
        }
      }
    }
    names.emplace_back();
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (child[i]) continue;
      const ParamInfo& p = params[i];
      const ParamHints hints = h.backend->hints(p.name);
      json c = {{"name", p.name}, {"type", type_name(p.type)}, {"default", hints.default_text}};
      if (hints.soft_min) c["softMin"] = *hints.soft_min;
      if (hints.soft_max) c["softMax"] = *hints.soft_max;
      if (p.type == ParamType::Color || p.type == ParamType::Vector) {
        json channels = json::array();
        const char* suffixes = p.type == ParamType::Color ? "RGB" : "XYZ";
        for (int k = 0; k < 3; ++k) {
          const std::string n = p.name + suffixes[k];
          if (find_param(params, n) != nullptr) channels.push_back(n);
        }
        if (channels.size() == 3) c["channels"] = channels;
      }
      list.push_back(c);
      names.back().emplace_back(p.name, p.type);
    }
    hosts.push_back({{"flag", h.entry->flag},
                     {"file", h.entry->file_name},
                     {"title", host_title(h.entry->flag)},
                     {"params", list}});
  }
  // Linked mode sets the controls that every host has, by name and type.
  json linked = json::array();
  if (!names.empty()) {
    for (const auto& [name, type] : names[0]) {
      bool everywhere = names.size() > 1;
      for (std::size_t k = 1; k < names.size(); ++k) {
        everywhere = everywhere && std::find(names[k].begin(), names[k].end(),
                                             std::make_pair(name, type)) != names[k].end();
      }
      if (everywhere) linked.push_back(name);
    }
  }
  return dump(json{{"hosts", hosts}, {"scene", scene_controls()}, {"linked", linked}});
}

Response Service::handle(const Request& request) {
  try {
    // Before anything else: a page that another site's name resolves to this
    // machine (DNS rebinding) must not reach the tool.
    if (!host_allowed(request.host, port_.load())) {
      return error(403,
                   "this server answers requests for 127.0.0.1:" + std::to_string(port_.load()) +
                       " or localhost:" + std::to_string(port_.load()) + " only");
    }
    // Browsers name the page a request comes from: a page of another site
    // (cross-site request forgery) is refused too.
    if (!origin_allowed(request.origin, port_.load())) {
      return error(403, "requests from other sites' pages are refused");
    }
    if (request.body.size() > limits_.max_body) {
      return error(413, "request body larger than " + std::to_string(limits_.max_body) + " bytes");
    }
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    if (request.path.compare(0, 5, "/api/") != 0) {
      if (!get) return error(405, "only GET is allowed here");
      return page(request);
    }
    if (request.path == "/api/controls" && get) {
      Response r;
      r.body = controls_json_;
      return r;
    }
    if (request.path == "/api/frame" && get) return frame(request);
    if (request.path == "/api/look" && post) return post_look(request);
    if (request.path == "/api/save" && post) return save();
    if (request.path == "/api/looks" && get) return looks();
    if (request.path == "/api/save-look" && post) return save_look(request);
    for (const char* known : {"/api/controls", "/api/frame", "/api/look", "/api/save", "/api/looks",
                              "/api/save-look"}) {
      if (request.path == known) return error(405, "wrong method for " + request.path);
    }
    return error(404, "no such address");
  } catch (const std::exception& e) {
    return error(500, std::string("internal error: ") + e.what());
  }
}

Response Service::page(const Request& request) const {
  const std::string path = request.path == "/" ? "/index.html" : request.path;
  std::size_t count = 0;
  const PageFile* files = page_files(count);
  // Only the files built into the tool; the client never names a path on disk.
  for (std::size_t i = 0; i < count; ++i) {
    if (path == files[i].path) {
      Response r;
      r.content_type = files[i].content_type;
      r.body.assign(reinterpret_cast<const char*>(files[i].data), files[i].size);
      return r;
    }
  }
  return error(404, "no such page");
}

Response Service::post_look(const Request& request) {
  // In the order given: a colour's channels may follow the colour.
  const nlohmann::ordered_json body = nlohmann::ordered_json::parse(request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    return error(400, "the look must be a JSON object");
  }
  // The look as command-line flags, so that the command line's parser and
  // checks, and its messages, apply unchanged.
  std::vector<std::string> args;
  for (const auto& [key, value] : body.items()) {
    if (key != "scene" && key != "hosts") return error(400, "unknown look field '" + key + "'");
    if (!value.is_object()) return error(400, "'" + key + "' must be an object");
  }
  const auto text_of = [](const auto& v, std::string& out) {
    if (!v.is_string()) return false;
    out = v.template get<std::string>();
    return true;
  };
  if (body.contains("scene")) {
    for (const auto& [flag, value] : body.at("scene").items()) {
      std::string text;
      if (!text_of(value, text))
        return error(400, "--" + flag + " takes text, as on the command line");
      // An attached value would hide this one from the parser.
      if (flag.empty() || flag.find('=') != std::string::npos) {
        return error(400, "unknown flag '--" + flag + "'");
      }
      args.push_back("--" + flag);
      args.push_back(text);
    }
  }
  if (body.contains("hosts")) {
    for (const auto& [host, values] : body.at("hosts").items()) {
      if (!values.is_object() || host.empty() || host.find('=') != std::string::npos) {
        return error(400, "'" + host + "' must be an object of NAME: VALUE texts");
      }
      for (const auto& [name, value] : values.items()) {
        std::string text;
        if (!text_of(value, text)) {
          return error(400, "--" + host + " " + name + " takes text, as on the command line");
        }
        args.push_back("--" + host);
        args.push_back(name + "=" + text);
      }
    }
  }
  // parse_look reads only the hosts' parameter lists, which never change:
  // safe beside the worker.
  Look look;
  const std::string message = parse_look(args, hosts_, look);
  if (!message.empty()) return error(400, message);

  std::uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_) return error(503, "the server is stopping");
    generation = ++look_.generation;
    look_.look = look;
    cancel_.store(true);
  }
  changed_.notify_all();
  return ok(json{{"generation", generation},
                 {"command", command_line(look)},
                 {"mel", mel(look)},
                 {"mi", mi(look)}});
}

Response Service::frame(const Request& request) {
  long long have = 0, stage = 0, wait = 0;
  if (!query_int(request, "have", 0, 1LL << 62, have) ||
      !query_int(request, "stage", 0, 2, stage) ||
      !query_int(request, "wait", 0, 1LL << 31, wait)) {
    return error(400, "have takes a generation, stage 0, 1 or 2, wait milliseconds");
  }
  std::unique_lock<std::mutex> lock(mutex_);
  // Only a frame of the newest look is ever answered.
  const auto newer = [&] {
    return frame_.stage > 0 && frame_.generation == look_.generation &&
           (frame_.generation > static_cast<std::uint64_t>(have) ||
            (frame_.generation == static_cast<std::uint64_t>(have) && frame_.stage > stage));
  };
  const long long ms = std::min<long long>(wait, limits_.max_wait_ms);
  if (!newer() && ms > 0 && !stop_ && waiters_ < limits_.max_waiters) {
    ++waiters_;
    changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stop_ || newer(); });
    --waiters_;
  }
  if (newer()) {
    Response r;
    r.body = frame_.json;
    return r;
  }
  return ok(json{{"generation", look_.generation}, {"stage", 0}});
}

Response Service::save() {
  std::lock_guard<std::mutex> one_at_a_time(save_mutex_);
  std::shared_ptr<const std::vector<Image>> images;
  std::uint64_t generation = 0;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto ready = [&] { return frame_.stage == 2 && frame_.generation == look_.generation; };
    changed_.wait_for(lock, std::chrono::milliseconds(limits_.save_wait_ms),
                      [&] { return stop_ || ready(); });
    if (!ready()) return error(503, "the full image is not rendered yet; save again when it shows");
    images = full_;
    generation = frame_.generation;
  }
  if (!images) return error(500, "nothing to save: the newest look did not render");
  // The command line's files, under its names, into --out only.
  std::vector<std::pair<std::string, Image>> files;
  std::vector<std::vector<Image>> cells;
  std::vector<std::string> captions;
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    cells.push_back({(*images)[k]});
    captions.push_back(hosts_[k].entry->file_name);
  }
  files.emplace_back("preview.png", contact_sheet(cells, {}, captions, 6));
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    files.emplace_back(hosts_[k].entry->file_name + ".png", (*images)[k]);
    // As the command line: without OpenEXR (Windows), the PNGs only.
    if (exr_available()) files.emplace_back(hosts_[k].entry->file_name + ".exr", (*images)[k]);
  }
  std::error_code ec;
  std::filesystem::create_directories(options_.out_dir, ec);
  if (ec) return error(500, "cannot create " + options_.out_dir + ": " + ec.message());
  json wrote = json::array();
  for (const auto& [name, image] : files) {
    const std::string path = (std::filesystem::path(options_.out_dir) / name).string();
    std::string message;
    const bool exr = name.size() > 4 && name.compare(name.size() - 4, 4, ".exr") == 0;
    if (!(exr ? write_exr(path, image, message) : write_png(path, image, message))) {
      return error(500, message.empty() ? "cannot write " + path : message);
    }
    wrote.push_back(path);
  }
  return ok(json{{"generation", generation}, {"wrote", wrote}});
}

Response Service::looks() const {
  const LookFiles& files = options_.looks;
  if (files.maya_presets.empty() && files.mr_looks.empty()) {
    return ok(json{{"looks", json::array()},
                   {"note", "no look files found; name them with --maya-presets and --mr-looks"}});
  }
  // Read on every request: a look file edited meanwhile shows on reload.
  // Reading checks against the hosts' parameter lists only, which never
  // change: safe beside the worker.
  std::vector<std::pair<std::string, Look>> found;
  const std::string message = read_looks(files, hosts_, found);
  if (!message.empty()) return error(500, message);
  json list = json::array();
  for (const auto& [name, look] : found) {
    json values = json::object();
    for (std::size_t k = 0; k < hosts_.size(); ++k) {
      json host = json::object();
      for (const auto& [param, v] : settings(k, look)) host[param] = format_value(v);
      values[hosts_[k].entry->flag] = host;
    }
    list.push_back({{"name", name}, {"hosts", values}});
  }
  return ok(json{{"looks", list}, {"origin", files.origin}});
}

Response Service::save_look(const Request& request) {
  const json body = json::parse(request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object() || !body.contains("name") ||
      !body.at("name").is_string()) {
    return error(400, "save-look takes {\"name\": NAME}");
  }
  const std::string name = body.at("name").get<std::string>();
  // The name becomes a file name in --out: never a path.
  if (!valid_look_name(name)) {
    return error(400, "a look's name is a letter, then letters, digits, '-' and '_' (at most " +
                          std::to_string(kMaxLookName) +
                          "; no path, no '..', no device name such as con): '" + name + "'");
  }
  Look newest;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    newest = look_.look;
  }
  // Every setting, not only the changed ones: the preset then gives the
  // same look whatever node it is applied to.
  Look full;
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    full.values[hosts_[k].entry->flag] = settings(k, newest);
  }
  std::lock_guard<std::mutex> one_at_a_time(save_mutex_);
  std::error_code ec;
  std::filesystem::create_directories(options_.out_dir, ec);
  if (ec) return error(500, "cannot create " + options_.out_dir + ": " + ec.message());
  std::vector<std::string> wrote;
  const std::string message = write_look(name, options_.out_dir, hosts_, full, wrote);
  if (!message.empty()) return error(500, message);
  return ok(json{{"name", look_name(name)}, {"wrote", wrote}});
}

std::vector<std::pair<std::string, ParamValue>> Service::settings(std::size_t host,
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

std::vector<std::pair<std::string, ParamValue>> Service::changes(std::size_t host,
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

std::string Service::command_line(const Look& look) const {
  const SceneOptions d;
  const SceneOptions& s = look.scene;
  std::string line = "velvet-preview";
  if (hosts_.size() == 1) line += " --hosts " + hosts_[0].entry->flag;
  if (s.width != d.width || s.height != d.height) {
    line += " --size " + std::to_string(s.width) + "x" + std::to_string(s.height);
  }
  if (s.aa != d.aa) line += " --aa " + std::to_string(s.aa);
  if (s.sphere != d.sphere || s.torus != d.torus) {
    line += std::string(" --shapes ") + (s.sphere && s.torus ? "sphere,torus"
                                         : s.sphere          ? "sphere"
                                                             : "torus");
  }
  if (s.fov != d.fov) line += " --fov " + number(s.fov);
  if (s.distance != d.distance) line += " --distance " + number(s.distance);
  if (s.key != d.key) line += " --key " + number(s.key);
  if (s.fill != d.fill) line += " --fill " + number(s.fill);
  if (s.rim != d.rim) line += " --rim " + number(s.rim);
  if (s.area_samples != d.area_samples) line += " --area-samples " + std::to_string(s.area_samples);
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    for (const auto& [name, value] : changes(k, look)) {
      line += " --" + hosts_[k].entry->flag + " " + name + "=" + format_value(value);
    }
  }
  return line;
}

std::string Service::mel(const Look& look) const {
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    if (hosts_[k].entry->flag != "maya") continue;
    std::string text =
        "// velvet-preview look: sets the selected velvet node, or a new one\n"
        "string $sel[] = `ls -selection -type velvet`;\n"
        "string $node;\n"
        "if (size($sel) > 0) $node = $sel[0];\n"
        "else $node = `shadingNode -asShader velvet`;\n";
    for (const auto& [name, value] : changes(k, look)) {
      text += "setAttr ($node + \"." + name + "\") " + format_spaced(value, false) + ";\n";
    }
    return text;
  }
  return "";
}

std::string Service::mi(const Look& look) const {
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    if (hosts_[k].entry->flag != "mr") continue;
    const std::vector<ParamInfo>& params = hosts_[k].backend->parameters();
    std::vector<ParamValue> values = defaults_[k].value;
    std::vector<bool> known = defaults_[k].known;
    const auto given = look.values.find("mr");
    if (given != look.values.end()) {
      for (const auto& [name, value] : given->second) {
        const std::size_t i = static_cast<std::size_t>(find_param(params, name) - params.data());
        values[i] = value;
        known[i] = true;
      }
    }
    std::string text =
        "# velvet-preview look; list your lights in \"light\" [\"name\", ...]\n"
        "shader \"velvetLook\"\n"
        "    \"krel_velvet\" (\n";
    bool first = true;
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (!known[i]) continue;
      const std::string v = format_spaced(values[i], true);
      text += std::string(first ? "" : ",\n") + "        \"" + params[i].name + "\" " + v;
      first = false;
    }
    text += "\n    )\n";
    return text;
  }
  return "";
}

void Service::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stop_ || look_.generation != rendered_; });
    if (stop_) return;
    const Received job = look_;
    cancel_.store(false);
    lock.unlock();
    if (!render_look(job)) cancelled_.fetch_add(1);
    lock.lock();
    rendered_ = job.generation;
  }
}

bool Service::render_look(const Received& job) {
  const Clock::time_point start = Clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  // Every parameter back to its default, then the look's values in order:
  // the node is reused from look to look.
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    Backend& backend = *hosts_[k].backend;
    const std::vector<ParamInfo>& params = backend.parameters();
    std::string message;
    for (std::size_t i = 0; i < params.size() && message.empty(); ++i) {
      if (defaults_[k].known[i])
        message = backend.set_parameter(params[i].name, defaults_[k].value[i]);
    }
    const auto given = job.look.values.find(hosts_[k].entry->flag);
    if (given != job.look.values.end()) {
      for (const auto& [name, value] : given->second) {
        if (message.empty()) message = backend.set_parameter(name, value);
      }
    }
    if (!message.empty()) {
      publish(job.generation, 2, {}, hosts_[k].entry->flag + ": " + message, elapsed());
      return true;
    }
  }
  const Scene full(job.look.scene);
  for (LoadedHost& h : hosts_) h.backend->set_lights(full.lights());

  // The coarse image: a quarter of the size at one sample per pixel.
  SceneOptions coarse_options = job.look.scene;
  coarse_options.width = std::max(1, (coarse_options.width + 3) / 4);
  coarse_options.height = std::max(1, (coarse_options.height + 3) / 4);
  coarse_options.aa = 1;
  const Scene coarse(coarse_options);
  const std::int64_t full_samples =
      static_cast<std::int64_t>(full.width()) * full.height() * full.aa() * full.aa();
  const std::int64_t coarse_samples = static_cast<std::int64_t>(coarse.width()) * coarse.height();

  for (const Scene* scene : {&coarse, &full}) {
    if (scene == &coarse && full_samples <= 4 * coarse_samples) continue;
    std::vector<Image> images(hosts_.size());
    for (std::size_t k = 0; k < hosts_.size(); ++k) {
      std::string message;
      if (!render(*scene, *hosts_[k].backend, options_.threads, images[k], nullptr, message,
                  nullptr, &cancel_)) {
        if (cancel_.load()) return false;
        publish(job.generation, 2, {}, hosts_[k].entry->flag + ": " + message, elapsed());
        return true;
      }
    }
    publish(job.generation, scene == &coarse ? 1 : 2, images, "", elapsed());
  }
  return true;
}

void Service::publish(std::uint64_t generation, int stage, const std::vector<Image>& images,
                      const std::string& message, double milliseconds) {
  json j = {{"generation", generation},
            {"stage", stage},
            {"ms", milliseconds},
            {"images", json::object()}};
  if (!message.empty()) j["error"] = message;
  std::string failure;
  for (std::size_t k = 0; k < images.size(); ++k) {
    std::vector<unsigned char> png;
    if (!encode_png(images[k], png, failure)) break;
    j["images"][hosts_[k].entry->flag] = "data:image/png;base64," + base64(png);
    j["width"] = images[k].width;
    j["height"] = images[k].height;
  }
  // The difference of the first two hosts, as the command line shows it.
  if (images.size() >= 2 && failure.empty()) {
    const Difference diff = difference(images[0], images[1]);
    std::vector<unsigned char> png;
    if (encode_png(shown_difference(diff), png, failure)) {
      j["difference"] = "data:image/png;base64," + base64(png);
      j["largest"] = std::isfinite(diff.largest) ? diff.largest : -1.0f;
    }
  }
  if (!failure.empty()) j["error"] = failure;
  std::string text = dump(j);
  std::shared_ptr<const std::vector<Image>> kept;
  if (stage == 2 && message.empty() && failure.empty()) {
    kept = std::make_shared<const std::vector<Image>>(images);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A look that is no longer the newest is never shown.
    if (generation != look_.generation) return;
    frame_.generation = generation;
    frame_.stage = stage;
    frame_.json = std::move(text);
    full_ = kept;
  }
  changed_.notify_all();
}

}  // namespace preview::serve
