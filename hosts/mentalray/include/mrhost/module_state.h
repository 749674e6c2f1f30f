// The host module's script and records: the layout shared by the host module
// library (module_exports.cpp, which answers the shader's host calls from
// it) and the driver (which fills it in and reads it back). Drivers use it
// through mrhost::HostModule (host_module.h) and, for the records and the
// refused calls, mrhost/testing.h, rather than directly.
//
// Everything is fixed-size so that answering a host call never allocates.
// The script is written before shading starts and only read while shading;
// counters and the call log are atomic, so any number of threads may shade
// at once.
#ifndef MRHOST_MODULE_STATE_H
#define MRHOST_MODULE_STATE_H

#include <shader.h>

#include <atomic>

namespace mrhost {

constexpr int kMaxLights = 64;
constexpr int kMaxLightSamples = 4096;  // shared by all lights
constexpr int kMaxConnections = 64;
constexpr int kMaxCallRecords = 1024;
// Light k of the module has tag kFirstLightTag + k; 0 is never a light.
constexpr miTag kFirstLightTag = 0x100;

// One sample of a light: its colour and either the direction towards it
// (a scripted light) or the position it is sampled at (a geometric light,
// whose direction is taken from the shaded point at each call).
struct LightSample {
  miColor color;
  miVector vector;
};

struct LightScript {
  bool geometric;  // samples hold positions rather than directions
  int first;       // index of its first sample in ModuleState::samples
  int count;       // number of samples
};

// The value a connected parameter evaluates to (room for a colour, or four
// tags of a connected light array).
struct alignas(16) ConnectionValue {
  unsigned char bytes[16];
};

// A connection to a shader (a texture, say) rather than to a fixed value:
// mi_phen_eval calls `function` with the connection's `context` and the
// incoming state and returns where it wrote the value. As the renderer keeps
// the results of a sample's shader calls per rendering thread, the module
// writes into the room that the driver hands each sample in the state's
// `user` field: ConnectionValue k for connection k (`user_size` bytes in
// all). No lock, no allocation; a state without that room gets the
// parameter's own value.
using ConnectionFunction = void (*)(const void* context, const miState* state,
                                    ConnectionValue* result);

struct ConnectionShader {
  ConnectionFunction function;  // null: a fixed value, in connections[k]
  const void* context;
};

enum class HostCall : int { phen_eval, sample_light, compute_irradiance };

// What one host call was passed. `normal` is the state's normal at the time
// of the call; `samples` the counter as it came in.
struct CallRecord {
  HostCall function;
  const miState* state;
  miVector normal;
  const void* param;
  miTag light;
  miInteger samples;
};

enum Recording : int { kRecordNothing = 0, kRecordCounts = 1, kRecordCalls = 2 };

struct ModuleState {
  // Script.
  int light_count;
  LightScript lights[kMaxLights];
  int sample_count;
  LightSample samples[kMaxLightSamples];
  // A parameter is connected when its ghost word holds k + 1: it evaluates
  // to connections[k].
  int connection_count;
  ConnectionValue connections[kMaxConnections];
  ConnectionShader connection_shaders[kMaxConnections];
  miColor irradiance;
  // Fault injection: the refuse_sample_light-th call of mi_sample_light from
  // the last reset (1 = the next one) delivers nothing, as a host that
  // cannot sample the light would; 0 refuses none.
  long refuse_sample_light;
  std::atomic<long> sample_light_seen;

  // Records. Counting costs a shared atomic increment per call; switch it off
  // when shading for speed on many threads.
  std::atomic<int> recording;
  std::atomic<long> phen_eval_calls;
  std::atomic<long> sample_light_calls;
  std::atomic<long> compute_irradiance_calls;
  std::atomic<long> unknown_light_calls;
  std::atomic<int> call_count;  // may exceed kMaxCallRecords; later calls are not kept
  CallRecord calls[kMaxCallRecords];
};

// The host module exports this function under kModuleStateSymbol: it
// returns the module's one script and record.
using ModuleStateFunction = ModuleState* (*)();
constexpr const char* kModuleStateSymbol = "mrhost_module_state";

}  // namespace mrhost

#endif  // MRHOST_MODULE_STATE_H
