// The krel_velvet body through the stand-in renderer's scriptable host
// module: any parameter block, incoming state and result colour; connected
// parameters through any ghost_offs within the block's ghost area; and any
// host answers (lights with any sample counts, colours and directions,
// connected values, irradiance).
//
// Asserts: the shader returns 1, leaves the incoming state and the block
// untouched, gives the same bits when rerun, and a finite colour whenever the
// input is moderate (below).
#include <fuzzer/FuzzedDataProvider.h>
#include <mrhost/renderer.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"
#include "fuzz_values.h"
#include "krel_velvet.h"

namespace {

constexpr int kMaxTags = 8;
constexpr int kMaxLightsScripted = 12;
constexpr int kMaxSamplesPerLight = 12;
constexpr int kMaxConnections = 8;
// The block with its largest light array, then room for ghost_offs to reach
// anywhere up to this far past the block's end.
constexpr std::size_t kBlockBytes = sizeof(krel_velvet_params) + 4 * (kMaxTags - 1);
constexpr std::size_t kGhostSlack = 64;

mrhost::Renderer& renderer() {
  static mrhost::Renderer* r = [] {
    auto* made = new mrhost::Renderer;
    std::string error;
    const mrhost::Paths paths{KREL_VELVET_LIBRARY, MRHOST_MODULE, KREL_VELVET_DECLARATION,
                              "krel_velvet"};
    FUZZ_CHECK(made->open(paths, &error), "%s", error.c_str());
    return made;
  }();
  return *r;
}

struct alignas(16) Storage {
  unsigned char bytes[kBlockBytes + kGhostSlack + kBlockBytes];
};

struct Input {
  Storage storage;  // the block, then its ghost area
  miFunction record;
  miState state;
  miColor result;
  bool moderate;  // every float handed over is moderate
};

void note(Input& in, float v) {
  in.moderate = in.moderate && fuzzutil::moderate(v);
}

miColor colour(FuzzedDataProvider& p, Input& in) {
  miColor c;
  c.r = fuzzutil::any_float(p);
  c.g = fuzzutil::any_float(p);
  c.b = fuzzutil::any_float(p);
  c.a = fuzzutil::any_float(p);
  note(in, c.r);
  note(in, c.g);
  note(in, c.b);
  return c;
}

// A direction the shader takes as delivered: it is moderate only when of
// unit length (to 1e-3), since the lobe raises L.V to the 10th power.
miVector unit(FuzzedDataProvider& p, Input& in) {
  const fuzzutil::Float3 d = fuzzutil::direction(p);
  const float length2 = (d.x * d.x + d.y * d.y) + d.z * d.z;
  if (!(std::fabs(length2 - 1.0f) <= 2e-3f)) in.moderate = false;
  return {d.x, d.y, d.z};
}

miVector any_vector(FuzzedDataProvider& p, Input& in) {
  const fuzzutil::Float3 v = fuzzutil::any_float3(p);
  note(in, v.x);
  note(in, v.y);
  note(in, v.z);
  return {v.x, v.y, v.z};
}

// The value the shader fetches for the parameter at `offset`, by the host's
// evaluation rule: the block's own, or a connection's.
unsigned char* fetched(Input& in, std::size_t offset) {
  unsigned char* param = in.storage.bytes + offset;
  if (in.record.ghost_offs == 0) return param;
  std::int32_t ghost;
  std::memcpy(&ghost, param + in.record.ghost_offs, 4);
  mrhost::ModuleState& module = renderer().host().state();
  if (ghost <= 0 || ghost > module.connection_count) return param;
  return module.connections[ghost - 1].bytes;
}

std::int32_t word(const unsigned char* at) {
  std::int32_t v;
  std::memcpy(&v, at, 4);
  return v;
}

// The renderer lays the light array out for n_light lights from i_light on;
// the shader relies on that, so the fuzzer keeps the fetched values inside
// the fetched array (the block's tags or a connection's four).
void keep_lights_in_array(Input& in, int tags) {
  const std::size_t light_offset = offsetof(krel_velvet_params, light);
  const std::int32_t zero = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    unsigned char* n_at = fetched(in, offsetof(krel_velvet_params, n_light));
    unsigned char* i_at = fetched(in, offsetof(krel_velvet_params, i_light));
    const unsigned char* base = fetched(in, light_offset);
    const std::int32_t length = base == in.storage.bytes + light_offset ? tags : 4;
    const std::int64_t n = word(n_at), i = word(i_at);
    if (n <= 0 || (i >= 0 && i + n <= length)) return;
    if (attempt == 0) {
      // From the first tag on, as many lights as there are tags at most.
      // (n_light and i_light may share one connection; the next round sees.)
      std::memcpy(i_at, &zero, 4);
      if (n > length) std::memcpy(n_at, &length, 4);
    } else {
      std::memcpy(n_at, &zero, 4);
    }
  }
  FUZZ_CHECK(false, "could not make the light array consistent");
}

void read(FuzzedDataProvider& p, Input& in) {
  mrhost::HostModule& host = renderer().host();
  host.reset(mrhost::kRecordNothing);

  // Host answers: lights, irradiance, connections.
  const int lights = p.ConsumeIntegralInRange(0, kMaxLightsScripted);
  for (int k = 0; k < lights; ++k) {
    const int count = p.ConsumeIntegralInRange(0, kMaxSamplesPerLight);
    if (p.ConsumeBool()) {
      // A geometric light aims at the shaded point itself.
      const miVector position = any_vector(p, in);
      const miVector edge_u = any_vector(p, in);
      const miVector edge_v = any_vector(p, in);
      const miColor c = colour(p, in);
      host.add_rect_light(position, edge_u, edge_v, c, count);
    } else {
      std::vector<mrhost::LightSample> samples(count);
      for (mrhost::LightSample& s : samples) {
        s.color = colour(p, in);
        s.vector = unit(p, in);
      }
      host.add_light(samples);
    }
  }
  host.set_irradiance(colour(p, in));
  const int connections = p.ConsumeIntegralInRange(0, kMaxConnections);
  for (int k = 0; k < connections; ++k) {
    float value[4];
    for (float& v : value) {
      v = fuzzutil::any_float(p);
      // Holds integers and tags as well as floats; a small integer reads as
      // a tiny finite float.
      note(in, v);
    }
    host.add_connection(value, sizeof value);
  }

  // The block: every field from the input, then the tags.
  krel_velvet_params params;
  params.color = colour(p, in);
  params.ambientColor = colour(p, in);
  params.incandescence = colour(p, in);
  params.normalOffset = any_vector(p, in);
  params.diffuse = fuzzutil::any_float(p);
  params.edginess = fuzzutil::any_float(p);
  params.specular = fuzzutil::any_float(p);
  note(in, params.diffuse);
  note(in, params.edginess);
  note(in, params.specular);
  params.specularColor = colour(p, in);
  // Any word the host may store, not only miFALSE and miTRUE.
  const std::int32_t use_irradiance = p.ConsumeIntegral<std::int32_t>();
  static_assert(sizeof params.useIrradiance == sizeof use_irradiance, "a 32-bit block word");
  std::memcpy(&params.useIrradiance, &use_irradiance, sizeof use_irradiance);
  params.irradianceColor = colour(p, in);
  params.i_light = p.ConsumeIntegral<std::int32_t>() % (kMaxTags + 2);
  params.n_light = p.ConsumeIntegral<std::int32_t>() % (kMaxTags + 2);
  std::memcpy(in.storage.bytes, &params, offsetof(krel_velvet_params, light));
  const int tags = p.ConsumeIntegralInRange(1, kMaxTags);
  for (int k = 0; k < tags; ++k) {
    // Mostly the scripted lights' tags, sometimes anything.
    const miTag tag = p.ConsumeBool() ? mrhost::kFirstLightTag + p.ConsumeIntegralInRange(0, 15)
                                      : p.ConsumeIntegral<miTag>();
    std::memcpy(in.storage.bytes + offsetof(krel_velvet_params, light) + 4 * k, &tag, 4);
  }
  const std::size_t block = offsetof(krel_velvet_params, light) + 4 * tags;

  // ghost_offs: none, or any word offset that keeps every parameter's ghost
  // word inside the ghost area after the block.
  in.record = {0, 0, static_cast<miInteger>(block)};
  if (p.ConsumeBool()) {
    const std::size_t offs = block + 4 * p.ConsumeIntegralInRange<std::size_t>(0, kGhostSlack / 4);
    in.record.ghost_offs = static_cast<miInteger>(offs);
    for (std::size_t at = offs; at < offs + block; at += 4) {
      // Mostly "not connected" or a live connection; sometimes any word,
      // which the host takes as unconnected.
      const std::uint8_t pick = p.ConsumeIntegral<std::uint8_t>();
      const std::int32_t ghost = pick < 128   ? 0
                                 : pick < 240 ? pick % (connections + 1)
                                              : p.ConsumeIntegral<std::int32_t>();
      std::memcpy(in.storage.bytes + at, &ghost, 4);
    }
  }
  keep_lights_in_array(in, tags);
  // The fetched edginess raises a sine in [0, 1]; only a negative power of
  // 0 is infinite.
  float edginess;
  std::memcpy(&edginess, fetched(in, offsetof(krel_velvet_params, edginess)), 4);
  if (!(edginess >= 0.0f)) in.moderate = false;

  // The incoming state and result.
  std::memset(&in.state, 0, sizeof in.state);
  in.state.thread = p.ConsumeIntegral<miInteger>();
  in.state.type = p.ConsumeIntegral<miInteger>();
  in.state.dir = unit(p, in);
  in.state.point = any_vector(p, in);
  in.state.org = any_vector(p, in);
  in.state.normal = any_vector(p, in);
  in.state.normal_geom = any_vector(p, in);
  in.state.dist = fuzzutil::any_float(p);
  in.state.dot_nd = fuzzutil::any_float(p);
  in.state.instance = p.ConsumeIntegral<miTag>();
  in.state.shader = &in.record;
  in.result = colour(p, in);
}

miColor shade(Input& in) {
  miState state;
  std::memcpy(&state, &in.state, sizeof state);
  miColor result = in.result;
  const miBoolean returned = renderer().shade(&result, &state, in.storage.bytes);
  FUZZ_CHECK(returned == 1, "the shader returned %d", returned);
  FUZZ_CHECK(std::memcmp(&state, &in.state, sizeof state) == 0, "the incoming state was written");
  return result;
}

}  // namespace

// The plug-ins are loaded before fuzzing starts, so that libFuzzer counts
// their coverage from the first input on.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  renderer();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  static Input input;
  std::memset(&input, 0, sizeof input);
  input.moderate = true;
  read(provider, input);
  Storage before;
  std::memcpy(&before, &input.storage, sizeof before);

  const miColor first = shade(input);
  const miColor second = shade(input);
  FUZZ_CHECK(fuzzutil::same_bits(first, second),
             "a rerun gave other bits: (%a %a %a %a) (%a %a %a %a)", first.r, first.g, first.b,
             first.a, second.r, second.g, second.b, second.a);
  FUZZ_CHECK(std::memcmp(&before, &input.storage, sizeof before) == 0, "the block was written");
  FUZZ_CHECK(first.a == 1.0f, "alpha %g", first.a);
  if (input.moderate) {
    FUZZ_CHECK(std::isfinite(first.r) && std::isfinite(first.g) && std::isfinite(first.b),
               "colour (%g %g %g) from moderate input", first.r, first.g, first.b);
  }
  return 0;
}
