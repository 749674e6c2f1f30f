// The stand-in host module library: exports the host functions a shader
// calls, and answers them from the script in its ModuleState.
#include <mrhost/module_state.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#ifdef _WIN32
#define MRHOST_EXPORT extern "C" __declspec(dllexport)
#else
#define MRHOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

mrhost::ModuleState module;

}  // namespace

MRHOST_EXPORT mrhost::ModuleState* mrhost_module_state() {
  return &module;
}

namespace {

[[maybe_unused]] void record(int recording, std::atomic<long>& counter, mrhost::HostCall function,
                             const miState* state, const void* param, miTag light,
                             const miInteger* samples) {
  if (recording & mrhost::kRecordCounts) counter.fetch_add(1, std::memory_order_relaxed);
  if (!(recording & mrhost::kRecordCalls)) return;
  const int index = module.call_count.fetch_add(1, std::memory_order_relaxed);
  if (index >= mrhost::kMaxCallRecords) return;
  mrhost::CallRecord& r = module.calls[index];
  r.function = function;
  r.state = state;
  r.normal = state ? state->normal : miVector{0.0f, 0.0f, 0.0f};
  r.param = param;
  r.light = light;
  r.samples = samples ? *samples : 0;
}

// One relaxed load when recording is off: the shading path stays as cheap as
// the renderer's own would be.
[[maybe_unused]] inline void note(std::atomic<long>& counter, mrhost::HostCall function,
                                  const miState* state, const void* param, miTag light,
                                  const miInteger* samples) {
  const int recording = module.recording.load(std::memory_order_relaxed);
  if (recording != mrhost::kRecordNothing) {
    record(recording, counter, function, state, param, light, samples);
  }
}

}  // namespace

// Each host function can be left out of a build, so that a module lacking
// it can be handed to the shader (MRHOST_NO_HOST_FUNCTIONS leaves out all).
#if !defined(MRHOST_NO_HOST_FUNCTIONS) && !defined(MRHOST_NO_PHEN_EVAL)
MRHOST_EXPORT void* mi_phen_eval(miState* state, void* param) {
  note(module.phen_eval_calls, mrhost::HostCall::phen_eval, state, param, 0, nullptr);
  const miInteger ghost_offs = state->shader->ghost_offs;
  if (ghost_offs == 0) return param;
  std::int32_t ghost;
  std::memcpy(&ghost, static_cast<const char*>(param) + ghost_offs, sizeof ghost);
  if (ghost <= 0 || ghost > module.connection_count) return param;
  const mrhost::ConnectionShader& shader = module.connection_shaders[ghost - 1];
  if (shader.function == nullptr) return module.connections[ghost - 1].bytes;
  if (state->user == nullptr ||
      state->user_size < static_cast<miInteger>(ghost * sizeof(mrhost::ConnectionValue))) {
    return param;
  }
  mrhost::ConnectionValue* result =
      static_cast<mrhost::ConnectionValue*>(state->user) + (ghost - 1);
  shader.function(shader.context, state, result);
  return result->bytes;
}
#endif

#if !defined(MRHOST_NO_HOST_FUNCTIONS) && !defined(MRHOST_NO_SAMPLE_LIGHT)

MRHOST_EXPORT miBoolean mi_sample_light(miColor* color, miVector* dir, miScalar* dot_nl,
                                        miState* state, miTag light, miInteger* samples) {
  note(module.sample_light_calls, mrhost::HostCall::sample_light, state, nullptr, light, samples);
  // One plain load when no refusal is set: no shared counter while shading.
  if (module.refuse_sample_light != 0 &&
      module.sample_light_seen.fetch_add(1, std::memory_order_relaxed) + 1 ==
          module.refuse_sample_light) {
    return miFALSE;
  }
  const miTag index = light - mrhost::kFirstLightTag;
  if (light < mrhost::kFirstLightTag || index >= static_cast<miTag>(module.light_count)) {
    if (module.recording.load(std::memory_order_relaxed) & mrhost::kRecordCounts) {
      module.unknown_light_calls.fetch_add(1, std::memory_order_relaxed);
    }
    return miFALSE;
  }
  const mrhost::LightScript& script = module.lights[index];
  if (*samples < 0 || *samples >= script.count) return miFALSE;
  const mrhost::LightSample& sample = module.samples[script.first + *samples];
  *color = sample.color;
  miVector L = sample.vector;
  if (script.geometric) {
    L = {L.x - state->point.x, L.y - state->point.y, L.z - state->point.z};
    const float length = std::sqrt((L.x * L.x + L.y * L.y) + L.z * L.z);
    if (length > 0.0f) {
      L = {L.x / length, L.y / length, L.z / length};
    }
  }
  *dir = L;
  *dot_nl = (state->normal.x * L.x + state->normal.y * L.y) + state->normal.z * L.z;
  ++*samples;
  return miTRUE;
}
#endif

#if !defined(MRHOST_NO_HOST_FUNCTIONS) && !defined(MRHOST_NO_COMPUTE_IRRADIANCE)

MRHOST_EXPORT miBoolean mi_compute_irradiance(miColor* result, miState* state) {
  note(module.compute_irradiance_calls, mrhost::HostCall::compute_irradiance, state, nullptr, 0,
       nullptr);
  *result = module.irradiance;
  return miTRUE;
}

#endif
