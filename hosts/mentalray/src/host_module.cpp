// The driver's side of the host module: loading it and writing its script.
#include <mrhost/host_module.h>

#include <hostkit/sample_points.h>

#include <cmath>
#include <cstring>

#include "module_records.h"
#include "platform.h"

namespace mrhost {

namespace {

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

}  // namespace

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
  const auto state = platform::find_function<ModuleStateFunction>(handle, kModuleStateSymbol);
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

void HostModule::reset(int recording) {
  ModuleState& s = *state_;
  s.light_count = 0;
  s.sample_count = 0;
  s.connection_count = 0;
  s.irradiance = {0.0f, 0.0f, 0.0f, 0.0f};
  s.refuse_sample_light = 0;
  s.sample_light_seen = 0;
  s.recording = recording;
  clear_records(s);
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
    const hostkit::SamplePoint p = hostkit::hammersley(i, samples);
    positions.push_back(
        {color, add(center, add(scale(edge_u, p.u - 0.5f), scale(edge_v, p.v - 0.5f)))});
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
    const hostkit::SamplePoint p = hostkit::hammersley(i, samples);
    const float r = radius * std::sqrt(p.u);
    const float phi = 6.2831853f * p.v;
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
  s.connection_shaders[s.connection_count - 1] = {nullptr, nullptr};
  return s.connection_count;
}

std::int32_t HostModule::add_shader_connection(ConnectionFunction function, const void* context) {
  ModuleState& s = *state_;
  if (s.connection_count == kMaxConnections || function == nullptr) return 0;
  std::memset(s.connections[s.connection_count].bytes, 0, sizeof(ConnectionValue));
  s.connection_shaders[s.connection_count++] = {function, context};
  return s.connection_count;
}

}  // namespace mrhost
