#include <mrhost/renderer.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform.h"

namespace mrhost {

namespace {

template <class Function>
Function exported(void* library, const char* name) {
  return reinterpret_cast<Function>(platform::find_symbol(library, name));
}

miVector add(miVector a, miVector b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
miVector scale(miVector a, float s) {
  return {a.x * s, a.y * s, a.z * s};
}
miVector cross(miVector a, miVector b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
miVector normalize(miVector a) {
  const float length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  return length > 0.0f ? scale(a, 1.0f / length) : a;
}

// Hammersley points: evenly spread and the same on every run.
void hammersley(int i, int n, float* u, float* v) {
  unsigned bits = static_cast<unsigned>(i);
  bits = (bits << 16u) | (bits >> 16u);
  bits = ((bits & 0x55555555u) << 1u) | ((bits & 0xAAAAAAAAu) >> 1u);
  bits = ((bits & 0x33333333u) << 2u) | ((bits & 0xCCCCCCCCu) >> 2u);
  bits = ((bits & 0x0F0F0F0Fu) << 4u) | ((bits & 0xF0F0F0F0u) >> 4u);
  bits = ((bits & 0x00FF00FFu) << 8u) | ((bits & 0xFF00FF00u) >> 8u);
  *u = (static_cast<float>(i) + 0.5f) / static_cast<float>(n);
  *v = static_cast<float>(bits) * 2.3283064e-10f;
}

}  // namespace

// ---------------------------------------------------------------- HostModule

HostModule::~HostModule() {
  if (handle_) platform::close_library(handle_);
}

bool HostModule::open(const std::string& path, std::string* error, bool global) {
  std::string reason;
  void* handle = platform::open_library(path, global, &reason);
  if (!handle) {
    if (error) *error = "cannot load host module " + path + ": " + reason;
    return false;
  }
  const auto state = exported<ModuleStateFunction>(handle, kModuleStateSymbol);
  if (!state) {
    if (error) *error = path + " is not a host module (no " + kModuleStateSymbol + ")";
    platform::close_library(handle);
    return false;
  }
  if (handle_) platform::close_library(handle_);
  handle_ = handle;
  state_ = state();
  reset();
  return true;
}

void* HostModule::symbol(const char* name) const {
  return handle_ ? platform::find_symbol(handle_, name) : nullptr;
}

void HostModule::reset(int recording) {
  ModuleState& s = *state_;
  s.light_count = 0;
  s.sample_count = 0;
  s.connection_count = 0;
  s.irradiance = {0.0f, 0.0f, 0.0f, 0.0f};
  s.refuse_sample_light = 0;
  s.sample_light_seen = 0;
  s.recording = recording;
  clear_records();
}

void HostModule::clear_records() {
  ModuleState& s = *state_;
  s.phen_eval_calls = 0;
  s.sample_light_calls = 0;
  s.compute_irradiance_calls = 0;
  s.unknown_light_calls = 0;
  s.call_count = 0;
}

void HostModule::refuse_sample_light(long n) {
  state_->sample_light_seen = 0;
  state_->refuse_sample_light = n;
}

void HostModule::set_recording(int recording) {
  state_->recording = recording;
}

miTag HostModule::add_samples(const LightSample* samples, int count, bool geometric) {
  ModuleState& s = *state_;
  if (count < 0 || s.light_count == kMaxLights || count > kMaxLightSamples - s.sample_count) {
    return 0;
  }
  s.lights[s.light_count] = {geometric, s.sample_count, count};
  for (int i = 0; i < count; ++i) s.samples[s.sample_count + i] = samples[i];
  s.sample_count += count;
  return kFirstLightTag + static_cast<miTag>(s.light_count++);
}

miTag HostModule::add_light(const std::vector<LightSample>& samples) {
  return add_samples(samples.data(), static_cast<int>(samples.size()), false);
}

miTag HostModule::add_point_light(miVector position, miColor color) {
  const LightSample sample{color, position};
  return add_samples(&sample, 1, true);
}

miTag HostModule::add_rect_light(miVector center, miVector edge_u, miVector edge_v, miColor color,
                                 int samples) {
  std::vector<LightSample> positions;
  for (int i = 0; i < samples; ++i) {
    float u, v;
    hammersley(i, samples, &u, &v);
    positions.push_back(
        {color, add(center, add(scale(edge_u, u - 0.5f), scale(edge_v, v - 0.5f)))});
  }
  return add_samples(positions.data(), samples, true);
}

miTag HostModule::add_disc_light(miVector center, miVector normal, float radius, miColor color,
                                 int samples) {
  const miVector n = normalize(normal);
  const miVector helper = std::fabs(n.x) < 0.9f ? miVector{1, 0, 0} : miVector{0, 1, 0};
  const miVector a = normalize(cross(n, helper));
  const miVector b = cross(n, a);
  std::vector<LightSample> positions;
  for (int i = 0; i < samples; ++i) {
    float u, v;
    hammersley(i, samples, &u, &v);
    const float r = radius * std::sqrt(u);
    const float phi = 6.2831853f * v;
    positions.push_back(
        {color, add(center, add(scale(a, r * std::cos(phi)), scale(b, r * std::sin(phi))))});
  }
  return add_samples(positions.data(), samples, true);
}

void HostModule::set_irradiance(miColor irradiance) {
  state_->irradiance = irradiance;
}

std::int32_t HostModule::add_connection(const void* value, std::size_t size) {
  ModuleState& s = *state_;
  if (s.connection_count == kMaxConnections || size > sizeof(ConnectionValue)) return 0;
  ConnectionValue& slot = s.connections[s.connection_count++];
  std::memset(slot.bytes, 0, sizeof slot.bytes);
  std::memcpy(slot.bytes, value, size);
  return s.connection_count;
}

long HostModule::phen_eval_calls() const {
  return state_->phen_eval_calls.load();
}
long HostModule::sample_light_calls() const {
  return state_->sample_light_calls.load();
}
long HostModule::compute_irradiance_calls() const {
  return state_->compute_irradiance_calls.load();
}

std::vector<CallRecord> HostModule::calls() const {
  const int n = std::min(state_->call_count.load(), kMaxCallRecords);
  return std::vector<CallRecord>(state_->calls, state_->calls + n);
}

// ------------------------------------------------------------ ParameterBlock

ParameterBlock::ParameterBlock(const Declaration& declaration, const std::vector<miTag>& lights)
    : declaration_(&declaration), size_(declaration.size), storage_(new Storage) {
  // Only a trailing array can grow past the declared block.
  const Parameter* last = declaration.parameters.empty() ? nullptr : &declaration.parameters.back();
  const bool has_lights = last && last->array && last->type == ParamType::light;
  if (has_lights && lights.size() > 1) size_ += 4 * (lights.size() - 1);
  storage_->words.assign(2 * (size_ / 4), 0u);
  storage_->record = {0, static_cast<miInteger>(size_), static_cast<miInteger>(size_)};

  for (const Parameter& p : declaration.parameters) {
    if (!p.value.empty()) set(p.name, p.value, nullptr);
  }
  if (has_lights && !lights.empty()) {
    set("n_" + last->name, std::vector<float>{static_cast<float>(lights.size())}, nullptr);
    auto* tags = reinterpret_cast<char*>(data()) + last->offset;
    std::memcpy(tags, lights.data(), 4 * lights.size());
  }
}

const Parameter* ParameterBlock::lookup(const std::string& name, std::string* error) const {
  const Parameter* p = declaration_->find(name);
  if (!p && error) {
    std::string known;
    for (const Parameter& q : declaration_->parameters)
      known += (known.empty() ? "" : ", ") + q.name;
    *error = "unknown parameter \"" + name + "\" of shader \"" + declaration_->name +
             "\" (parameters: " + known + ")";
  }
  return p;
}

bool ParameterBlock::set(const std::string& name, const std::vector<float>& values,
                         std::string* error) {
  const Parameter* p = lookup(name, error);
  if (!p) return false;
  const std::size_t n = values.size();
  const char* expected = nullptr;
  switch (p->type) {
    case ParamType::color:
      expected = n == 3 || n == 4 ? nullptr : "3 or 4 values";
      break;
    case ParamType::vector:
      expected = n == 3 ? nullptr : "3 values";
      break;
    case ParamType::transform:
      expected = n == 16 ? nullptr : "16 values";
      break;
    case ParamType::structure:
      expected = "values for its members";
      break;
    default:
      expected = n == 1 ? nullptr : "1 value";
      break;
  }
  const bool whole = is_whole_type(p->type);
  // Integers are signed and tags unsigned, both 32-bit: anything else would
  // not survive the conversion.
  const bool tag = whole && p->type != ParamType::boolean && p->type != ParamType::integer;
  const float lowest = tag ? 0.0f : -2147483648.0f;
  const float highest = tag ? 4294967296.0f : 2147483648.0f;
  if (!expected && whole &&
      !(values[0] == std::floor(values[0]) && values[0] >= lowest && values[0] < highest)) {
    expected = "a whole number";
  }
  if (expected) {
    if (error) {
      *error = "parameter \"" + name + "\" is a " + type_name(p->type) + ": expected " + expected +
               ", got " + std::to_string(n) + (n == 1 ? " value" : " values");
    }
    return false;
  }
  char* field = reinterpret_cast<char*>(data()) + p->offset;
  if (whole) {
    const std::uint32_t v = tag ? static_cast<std::uint32_t>(values[0])
                                : static_cast<std::uint32_t>(static_cast<std::int32_t>(values[0]));
    std::memcpy(field, &v, 4);
  } else {
    float v[16] = {0.0f, 0.0f, 0.0f, 1.0f};  // a colour given as r g b is opaque
    std::memcpy(v, values.data(), 4 * n);
    std::memcpy(field, v, type_size(p->type));
  }
  return true;
}

bool ParameterBlock::set(const std::string& name, const std::string& text, std::string* error) {
  std::vector<float> values;
  std::string word;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    if (c == ' ' || c == ',' || c == '\t') {
      if (word.empty()) continue;
      float v;
      char* stop = nullptr;
      if (word == "on" || word == "true") {
        v = 1.0f;
      } else if (word == "off" || word == "false") {
        v = 0.0f;
      } else {
        v = std::strtof(word.c_str(), &stop);
        if (*stop != '\0') {
          if (error) *error = "parameter \"" + name + "\": \"" + word + "\" is not a number";
          return false;
        }
      }
      values.push_back(v);
      word.clear();
    } else {
      word += c;
    }
  }
  return set(name, values, error);
}

bool ParameterBlock::connect(const std::string& name, std::int32_t ghost, std::string* error) {
  const Parameter* p = lookup(name, error);
  if (!p) return false;
  char* word = reinterpret_cast<char*>(data()) + storage_->record.ghost_offs + p->offset;
  std::memcpy(word, &ghost, 4);
  return true;
}

// ------------------------------------------------------------------ Renderer

Renderer::~Renderer() {
  if (library_) platform::close_library(library_);
}

bool Renderer::open(const Paths& paths, std::string* error) {
  // The file may declare several shaders; the one asked for is read.
  if (!read_declaration(paths.declaration, paths.shader, &declaration_, error)) {
    Declaration first;
    if (!paths.shader.empty() && read_declaration(paths.declaration, &first, nullptr) && error) {
      *error = paths.declaration + " declares shader \"" + first.name + "\", not \"" +
               paths.shader + "\"";
    }
    return false;
  }
  const std::string host_module =
      paths.host_module.empty() ? library_file_name("mrhost_module") : paths.host_module;
  if (!host_.open(host_module, error)) return false;
  std::string reason;
  void* library = platform::open_library(paths.shader_library, false, &reason);
  if (!library) {
    if (error) *error = "cannot load shader library " + paths.shader_library + ": " + reason;
    return false;
  }
  const std::string shader_name = declaration_.name;
  const std::string version_name = shader_name + "_version";
  shader_ = exported<ShaderFunction>(library, shader_name.c_str());
  version_ = exported<int (*)()>(library, version_name.c_str());
  set_module_handle_ = exported<void (*)(void*)>(library, "miSetModuleHandle");
  if (!shader_ || !version_ || !set_module_handle_) {
    if (error) {
      *error = paths.shader_library + " lacks " + shader_name + ", " + version_name +
               " or miSetModuleHandle";
    }
    platform::close_library(library);
    return false;
  }
  if (library_) platform::close_library(library_);
  library_ = library;
  set_module_handle_(host_.handle());
  return true;
}

ParameterBlock Renderer::make_block(const std::vector<miTag>& lights) const {
  return ParameterBlock(declaration_, lights);
}

miState Renderer::make_state(ParameterBlock& block, miVector point, miVector normal,
                             miVector dir) const {
  miState state;
  std::memset(&state, 0, sizeof state);
  state.dir = dir;
  state.org = {point.x - dir.x, point.y - dir.y, point.z - dir.z};
  state.dist = 1.0f;
  state.point = point;
  state.normal = normal;
  state.normal_geom = normal;
  state.dot_nd = (normal.x * dir.x + normal.y * dir.y) + normal.z * dir.z;
  state.shader = &block.shader_record();
  return state;
}

}  // namespace mrhost
