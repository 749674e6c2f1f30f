#include "tools/preview/serve/service.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <exception>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "tools/preview/render/compose.h"
#include "tools/preview/render/image_io.h"
#include "tools/preview/render/obj.h"
#include "tools/preview/render/out_folder.h"
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

// The difference's fixed scale: 0 (none: the largest shows white), 1, 10 or
// 100.
bool query_scale(const Request& request, long long& scale) {
  return query_int(request, "scale", 0, 100, scale) &&
         (scale == 0 || scale == 1 || scale == 10 || scale == 100);
}

// The scene's controls, as the page builds them.
json scene_json() {
  json list = json::array();
  for (const SceneControl& c : scene_controls()) {
    if (!c.look) continue;
    json j = {{"flag", c.flag}, {"type", c.type}, {"label", c.label}, {"default", c.default_text}};
    if (c.soft_min) j["softMin"] = *c.soft_min;
    if (c.soft_max) j["softMax"] = *c.soft_max;
    list.push_back(j);
  }
  return list;
}

// Every host's controls, asked of the hosts once: host queries must not run
// beside the worker.
std::string build_controls(const std::vector<LoadedHost>& hosts, const Limits& limits) {
  json list = json::array();
  std::vector<std::vector<std::pair<std::string, ParamType>>> names;
  for (const LoadedHost& h : hosts) {
    // A host that shows another's plug-in has an image but no controls:
    // the shown host's set it.
    if (!h.entry->shows.empty()) {
      list.push_back({{"flag", h.entry->flag},
                      {"file", h.entry->file_name},
                      {"title", h.entry->title},
                      {"shows", h.entry->shows},
                      {"params", json::array()}});
      continue;
    }
    const std::vector<ParamInfo>& params = h.backend->parameters();
    json controls = json::array();
    std::vector<bool> child(params.size(), false);
    // A colour's or vector's channels are listed with it, as the channels
    // of one control.
    for (std::size_t i = 0; i < params.size(); ++i) {
      const ParamInfo& p = params[i];
      if (p.type != ParamType::Color && p.type != ParamType::Vector) continue;
      const std::string suffixes = p.type == ParamType::Color ? "RGB" : "XYZ";
      for (std::size_t j = 0; j < params.size(); ++j) {
        const std::string& n = params[j].name;
        if (params[j].type == ParamType::Float && n.size() == p.name.size() + 1 &&
            n.compare(0, p.name.size(), p.name) == 0 &&
            suffixes.find(n.back()) != std::string::npos) {
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
      controls.push_back(c);
      names.back().emplace_back(p.name, p.type);
    }
    list.push_back({{"flag", h.entry->flag},
                    {"file", h.entry->file_name},
                    {"title", h.entry->title},
                    {"textures", h.entry->texture_handover != nullptr},
                    {"params", controls}});
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
  // What the page may upload: it refuses a larger file before sending it.
  const json uploads = {{"maxBytes", limits.max_upload},
                        {"kept", limits.uploads_kept},
                        {"mesh", obj_available()},
                        {"exr", exr_available()}};
  return dump(
      json{{"hosts", list}, {"scene", scene_json()}, {"linked", linked}, {"uploads", uploads}});
}

// A frame as /api/frame answers it, the difference at `scale` (0: the largest
// shows white); false with the message when it cannot be encoded.
bool frame_json(const Frame& f, const std::vector<LoadedHost>& hosts, long long scale, json& j,
                std::string& error) {
  j = {{"generation", f.generation},
       {"stage", f.stage()},
       {"level", f.level},
       {"ms", f.milliseconds},
       {"images", json::object()}};
  if (!f.error.empty()) j["error"] = f.error;
  for (std::size_t k = 0; k < f.images.size() && k < hosts.size(); ++k) {
    j["images"][hosts[k].entry->flag] = f.images[k];
  }
  if (!f.images.empty()) {
    j["width"] = f.width;
    j["height"] = f.height;
  }
  if (!f.difference.empty()) {
    j["difference"] = f.difference;
    j["largest"] = f.largest;
    // A fixed scale: a difference of 1/scale shows white, whatever the
    // largest one is, so that small differences look small.
    if (scale != 0 && f.difference_image) {
      Image shown = *f.difference_image;
      for (float& v : shown.rgb) v *= static_cast<float>(scale);
      std::string uri;
      if (!data_uri(shown, uri, error)) return false;
      j["difference"] = uri;
      j["scale"] = scale;
    }
  }
  return true;
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
    : hosts_(std::move(hosts)),
      options_(options),
      limits_(limits),
      controls_json_(build_controls(hosts_, limits_)),
      worker_(hosts_, options.threads),
      uploads_(limits.uploads_kept),
      looks_(std::make_unique<LookService>(hosts_, worker_, &uploads_)) {}

Service::~Service() {
  shutdown();
}

void Service::set_port(int port) {
  port_.store(port);
}

void Service::shutdown() {
  worker_.shutdown();
}

std::optional<Response> Service::refuse_foreign(const Request& head) const {
  // A page that another site's name resolves to this machine (DNS
  // rebinding) must not reach the tool.
  if (!host_allowed(head.host, port_.load())) {
    return error(403, "this server answers requests for 127.0.0.1:" + std::to_string(port_.load()) +
                          " or localhost:" + std::to_string(port_.load()) + " only");
  }
  // Browsers name the page a request comes from: a page of another site
  // (cross-site request forgery) is refused too.
  if (!origin_allowed(head.origin, port_.load())) {
    return error(403, "requests from other sites' pages are refused");
  }
  return std::nullopt;
}

Response Service::handle(const Request& request) {
  try {
    // Before anything else.
    if (std::optional<Response> refused = refuse_foreign(request)) return *refused;
    if (const std::size_t limit = limits_.body_limit(request.path); request.body.size() > limit) {
      return error(413, "request body larger than " + std::to_string(limit) + " bytes");
    }
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    if (request.path.compare(0, 5, "/api/") != 0) {
      if (!get) return error(405, request.method + " is not allowed here; the page takes GET");
      return page(request);
    }
    if (request.path == "/api/controls" && get) {
      Response r;
      r.body = controls_json_;
      return r;
    }
    if (request.path == "/api/frame" && get) return frame(request);
    if (request.path == "/api/look" && get) return get_look();
    if (request.path == "/api/look" && post) return post_look(request);
    if (request.path == "/api/save" && post) return save();
    if (request.path == "/api/looks" && get) return looks();
    if (request.path == "/api/save-look" && post) return save_look(request);
    if (request.path == "/api/upload" && post) return upload(request);
    for (const char* known : {"/api/controls", "/api/frame", "/api/looks"}) {
      if (request.path == known) {
        return error(405,
                     request.method + " is not allowed for " + request.path + "; it takes GET");
      }
    }
    for (const char* known : {"/api/save", "/api/save-look", "/api/upload"}) {
      if (request.path == known) {
        return error(405,
                     request.method + " is not allowed for " + request.path + "; it takes POST");
      }
    }
    if (request.path == "/api/look") {
      return error(405, request.method + " is not allowed for /api/look; it takes GET or POST");
    }
    return error(404, "no such address: " + request.path);
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
  return error(404, "no such page: " + request.path);
}

Response Service::look_answer(const LookState& state, const Frame* frame, long long scale) const {
  json scene = json::object();
  for (const auto& [flag, text] : state.scene) scene[flag] = text;
  json hosts = json::object();
  json handover = json::object();
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    if (!hosts_[k].entry->shows.empty()) continue;
    json values = json::object();
    for (const auto& [name, v] : looks_->settings(k, state.look)) values[name] = format_value(v);
    // A connected colour reads as the command line spells the connection.
    for (const auto& [name, file] : looks_->connections(k, state.look)) values[name] = "@" + file;
    hosts[hosts_[k].entry->flag] = values;
    handover[hosts_[k].entry->flag] = looks_->handover(k, state.look);
  }
  json answer = {{"generation", state.generation},
                 {"scene", scene},
                 {"hosts", hosts},
                 {"command", looks_->command_line(state.look)},
                 {"handover", handover}};
  json shown;
  std::string unused;
  if (frame != nullptr && frame_json(*frame, hosts_, scale, shown, unused)) {
    answer["frame"] = std::move(shown);
  }
  return ok(answer);
}

Response Service::get_look() const {
  return look_answer(looks_->current());
}

Response Service::post_look(const Request& request) {
  // In the order given: a colour's channels may follow the colour.
  const nlohmann::ordered_json body = nlohmann::ordered_json::parse(request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    return error(400, "the look must be a JSON object");
  }
  LookChange change;
  for (const auto& [key, value] : body.items()) {
    if (key != "scene" && key != "hosts") return error(400, "unknown look field '" + key + "'");
    if (!value.is_object()) return error(400, "'" + key + "' must be an object");
  }
  if (body.contains("scene")) {
    for (const auto& [flag, value] : body.at("scene").items()) {
      if (!value.is_string())
        return error(400, "--" + flag + " takes text, as on the command line");
      change.scene.emplace_back(flag, value.get<std::string>());
    }
  }
  if (body.contains("hosts")) {
    for (const auto& [host, values] : body.at("hosts").items()) {
      if (!values.is_object()) {
        return error(400, "'" + host + "' must be an object of NAME: VALUE texts");
      }
      change.hosts.emplace_back(host, std::vector<std::pair<std::string, std::string>>{});
      for (const auto& [name, value] : values.items()) {
        if (!value.is_string()) {
          return error(400, "--" + host + " " + name + " takes text, as on the command line");
        }
        change.hosts.back().second.emplace_back(name, value.get<std::string>());
      }
    }
  }
  long long scale = 0;
  if (!query_scale(request, scale)) return error(400, "scale takes 1, 10 or 100");
  LookState state;
  const std::string message = looks_->apply(change, state);
  if (!message.empty()) return error(400, message);
  // The look's first image comes with the answer when it is ready soon (the
  // coarse one takes milliseconds): the page shows it without asking again.
  const std::shared_ptr<const Frame> f = worker_.newer_frame(
      state.generation - 1, 3, Clock::now() + std::chrono::milliseconds(limits_.first_frame_ms),
      limits_.max_waiters);
  return look_answer(state, f && f->generation == state.generation ? f.get() : nullptr, scale);
}

Response Service::frame(const Request& request) {
  long long have = 0, stage = 0, level = -1, wait = 0, scale = 0;
  if (!query_int(request, "have", 0, 1LL << 62, have) ||
      !query_int(request, "stage", 0, 2, stage) || !query_int(request, "level", 0, 3, level) ||
      !query_int(request, "wait", 0, 1LL << 31, wait) || !query_scale(request, scale)) {
    return error(400,
                 "have takes a generation, stage 0, 1 or 2, level 0 to 3, wait milliseconds, "
                 "scale 1, 10 or 100");
  }
  const long long ms = std::min<long long>(wait, limits_.max_wait_ms);
  // A page that names no level has the coarsest of its stage, or the full
  // image.
  if (level < 0) level = stage == 2 ? 3 : stage;
  const std::shared_ptr<const Frame> f =
      worker_.newer_frame(static_cast<std::uint64_t>(have), static_cast<int>(level),
                          Clock::now() + std::chrono::milliseconds(ms), limits_.max_waiters);
  if (!f) return ok(json{{"generation", worker_.newest()}, {"stage", 0}});
  json j;
  std::string message;
  if (!frame_json(*f, hosts_, scale, j, message)) return error(500, message);
  return ok(j);
}

Response Service::save() {
  const std::shared_ptr<const Frame> f =
      worker_.full_frame(Clock::now() + std::chrono::milliseconds(limits_.save_wait_ms));
  if (!f) return error(503, "the full image is not rendered yet; save again when it shows");
  if (!f->full) return error(500, "nothing to save: the newest look did not render: " + f->error);
  const std::vector<Image>& images = *f->full;
  // The command line's files, under its names, into --out only.
  std::vector<std::vector<Image>> cells;
  std::vector<std::string> captions;
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    cells.push_back({images[k]});
    captions.push_back(hosts_[k].entry->file_name);
  }
  std::vector<FileBytes> files;
  std::string message;
  files.emplace_back("preview.png", std::vector<unsigned char>{});
  if (!encode_png(contact_sheet(cells, {}, captions, 6), files.back().second, message)) {
    return error(500, message);
  }
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    files.emplace_back(hosts_[k].entry->file_name + ".png", std::vector<unsigned char>{});
    if (!encode_png(images[k], files.back().second, message)) return error(500, message);
    // Without OpenEXR, the .png files alone, as the command line writes.
    if (!exr_available()) continue;
    files.emplace_back(hosts_[k].entry->file_name + ".exr", std::vector<unsigned char>{});
    if (!encode_exr(images[k], files.back().second, message)) return error(500, message);
  }
  std::vector<std::string> wrote;
  std::lock_guard<std::mutex> one_at_a_time(save_mutex_);
  message = write_files(options_.out_dir, files, wrote);
  if (!message.empty()) return error(500, message);
  return ok(json{{"generation", f->generation}, {"wrote", wrote}});
}

Response Service::looks() const {
  const LookFiles& files = options_.looks;
  bool none = true;
  std::string flags;
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    const HostEntry& e = *hosts_[k].entry;
    if (e.looks != nullptr) none = none && (files.*e.looks).empty();
    flags += std::string(k == 0                   ? ""
                         : k + 1 == hosts_.size() ? " and "
                                                  : ", ") +
             "--" + e.looks_flag;
  }
  if (none) {
    return ok(
        json{{"looks", json::array()}, {"note", "no look files found; name them with " + flags}});
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
      for (const auto& [param, v] : looks_->settings(k, look)) host[param] = format_value(v);
      values[hosts_[k].entry->flag] = host;
    }
    list.push_back({{"name", name}, {"hosts", values}});
  }
  return ok(json{{"looks", list}, {"origin", files.origin}});
}

Response Service::upload(const Request& request) {
  const auto kind = request.query.find("kind");
  const auto file = request.query.find("file");
  if (kind == request.query.end() || (kind->second != "mesh" && kind->second != "texture") ||
      file == request.query.end()) {
    return error(400, "an upload takes kind=mesh or kind=texture, and file=NAME");
  }
  std::string read;
  const std::string message = kind->second == "mesh"
                                  ? uploads_.add_mesh(file->second, request.body, read)
                                  : uploads_.add_texture(file->second, request.body, read);
  if (!message.empty()) return error(400, message);
  return ok(json{{"kind", kind->second}, {"file", file->second}, {"read", read}});
}

Response Service::save_look(const Request& request) {
  const json body = json::parse(request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object() || !body.contains("name") ||
      !body.at("name").is_string()) {
    return error(400, "save-look takes {\"name\": NAME}");
  }
  for (const auto& [key, value] : body.items()) {
    if (key == "overwrite" && value.is_boolean()) continue;
    if (key != "name") {
      return error(400,
                   "save-look takes a name and \"overwrite\": true or false, not '" + key + "'");
    }
  }
  const bool overwrite = body.contains("overwrite") && body.at("overwrite").get<bool>();
  const std::string name = body.at("name").get<std::string>();
  std::vector<std::pair<std::string, std::string>> texts;
  const std::string refused = looks_->look_files(name, looks_->current().look, texts);
  if (!refused.empty()) return error(400, refused);
  std::vector<FileBytes> files;
  for (const auto& [file, text] : texts) {
    files.emplace_back(file, std::vector<unsigned char>(text.begin(), text.end()));
  }
  std::lock_guard<std::mutex> one_at_a_time(save_mutex_);
  // A look already there (under either spelling of its name: a-b and a_b
  // name the same look) is replaced only when the page says so.
  if (!overwrite) {
    for (const FileBytes& f : files) {
      std::error_code ec;
      const auto path = std::filesystem::path(options_.out_dir) / f.first;
      if (std::filesystem::symlink_status(path, ec).type() !=
          std::filesystem::file_type::not_found) {
        return error(409, "look '" + look_name(name) + "' is saved already as " + f.first + " (" +
                              look_name(name) + " and " + look_file_stem(name) +
                              " name the same look)");
      }
    }
  }
  std::vector<std::string> wrote;
  const std::string message = write_files(options_.out_dir, files, wrote);
  if (!message.empty()) return error(500, message);
  return ok(json{{"name", look_name(name)}, {"wrote", wrote}});
}

}  // namespace preview::serve
