// The stand-in renderer's host module, as the driver sees it: the library
// that exports the host functions a shader calls (mi_phen_eval,
// mi_sample_light, mi_compute_irradiance) and answers them from a script of
// lights, connections and irradiance that the driver writes before shading.
// Part of the driver (renderer.h includes it); any code may include it. What
// only tests need (call counts and records, refused calls, handing the
// shader another module) is in mrhost/testing.h.
#ifndef MRHOST_HOST_MODULE_H
#define MRHOST_HOST_MODULE_H

#include <mrhost/module_state.h>
#include <shader.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mrhost {

// One loaded host module and its script. A module file is loaded once per
// process: two HostModule objects on the same file share one script.
class HostModule {
 public:
  HostModule() = default;
  ~HostModule();
  HostModule(const HostModule&) = delete;
  HostModule& operator=(const HostModule&) = delete;

  // `global` makes the module's exports visible to look-ups in the global
  // scope (RTLD_GLOBAL), as if the renderer's executable exported them.
  // Windows has no such scope; there it changes nothing.
  bool open(const std::string& path, std::string* error, bool global = false);
  void* handle() const { return handle_; }
  // The module's script and records as laid out in module_state.h, for a
  // driver that follows the host's rules itself (a fuzzer reading what a
  // connection evaluates to).
  ModuleState& state() const { return *state_; }

  // Clears lights, connections, irradiance, counters and the call log;
  // recording is set to `recording`. Recording costs shared atomics on every
  // host call: a renderer that shades on many threads records nothing.
  void reset(int recording = kRecordCounts | kRecordCalls);
  void set_recording(int recording);

  // Lights. Each returns the light's tag, or 0 when the module's tables are
  // full. Scripted lights deliver the given colours and directions as they
  // are; geometric ones deliver their colour and the unit direction from the
  // state's point to each sample position.
  miTag add_light(const std::vector<LightSample>& samples);
  miTag add_point_light(miVector position, miColor color);
  // Rectangle centred on `center` with edges `edge_u` and `edge_v`.
  miTag add_rect_light(miVector center, miVector edge_u, miVector edge_v, miColor color,
                       int samples);
  // Disc of `radius` around `center`, facing along `normal`.
  miTag add_disc_light(miVector center, miVector normal, float radius, miColor color, int samples);
  void set_irradiance(miColor irradiance);

  // A new connection evaluating to `value` (up to 16 bytes); returns the
  // ghost word that marks a parameter as connected to it, or 0 when full.
  std::int32_t add_connection(const void* value, std::size_t size);
  // A new connection to a shader that mi_phen_eval calls per sample (see
  // ConnectionShader in module_state.h); `context` must outlive shading.
  // Returns the ghost word, or 0 when full.
  std::int32_t add_shader_connection(ConnectionFunction function, const void* context);

 private:
  miTag add_samples(const LightSample* samples, int count, bool geometric);

  void* handle_ = nullptr;
  ModuleState* state_ = nullptr;
};

}  // namespace mrhost

#endif  // MRHOST_HOST_MODULE_H
