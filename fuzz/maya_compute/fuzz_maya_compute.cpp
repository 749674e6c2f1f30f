// velvet::compute through the stand-in Maya host's fast path (ShadingBlock):
// any attribute values, 0 to 64 lights with any children and switches, and
// MArrayDataHandle::next() failing at any call.
//
// Asserts: compute succeeds, a rerun gives the same bits, outTransparency is
// transparency exactly, and outColor is finite whenever the input is
// moderate (below).
#include <fuzzer/FuzzedDataProvider.h>
#include <maya/MFloatVector.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>
#include <mayahost/shading_block.h>
#include <mayahost/status.h>
#include <mayahost/testing.h>

#include <cfloat>
#include <cstdint>

#include "fuzz_check.h"
#include "fuzz_values.h"

namespace {

constexpr unsigned kMaxLights = 64;

const char* const kColours[] = {"color", "transparency", "ambientColor", "incandescence",
                                "specularColor"};
const char* const kScalars[] = {"diffuse", "translucence", "backscatter", "edginess", "roughness"};

struct Shader {
  mayahost::Plugin plugin;
  mayahost::Node node;
  mayahost::ShadingBlock* block = nullptr;
  mayahost::ShadingBlock::Slot colours[5], scalars[5];
};

Shader& shader() {
  static Shader* s = [] {
    auto* made = new Shader;
    mayahost::Status st = made->plugin.load(VELVET_PLUGIN_PATH);
    FUZZ_CHECK(st.ok(), "%s", st.message().c_str());
    st = made->node.create("velvet");
    FUZZ_CHECK(st.ok(), "%s", st.message().c_str());
    made->block = new mayahost::ShadingBlock(made->node, kMaxLights);
    for (int i = 0; i < 5; ++i) {
      made->colours[i] = made->block->slot(kColours[i]);
      made->scalars[i] = made->block->slot(kScalars[i]);
      FUZZ_CHECK(made->colours[i].valid() && made->scalars[i].valid(), "attribute missing");
    }
    return made;
  }();
  return *s;
}

MFloatVector maya(const fuzzutil::Float3& v) {
  return MFloatVector(v.x, v.y, v.z);
}

// A vector that compute normalises accurately: zero, or with a squared
// length in the normal range. Below that the squares lose their precision and
// the "unit" vector can come out up to ~20% long, which the lobe's
// powf(L.V, 1/roughness) may then legitimately raise past FLT_MAX.
bool normalisable(const fuzzutil::Float3& v) {
  if (v.x == 0.0f && v.y == 0.0f && v.z == 0.0f) return true;
  return (v.x * v.x + v.y * v.y) + v.z * v.z >= FLT_MIN;
}

struct Input {
  fuzzutil::Float3 colours[5];
  float scalars[5];
  fuzzutil::Float3 normal, ray, point;
  unsigned count;
  mayahost::Light lights[kMaxLights];
  unsigned failNext;  // 0: next() never fails
};

Input read(FuzzedDataProvider& in) {
  Input input{};
  for (fuzzutil::Float3& c : input.colours) c = fuzzutil::any_float3(in);
  for (float& s : input.scalars) s = fuzzutil::any_float(in);
  input.normal = fuzzutil::direction(in);
  input.ray = fuzzutil::direction(in);
  input.point = fuzzutil::any_float3(in);
  input.count = in.ConsumeIntegralInRange<unsigned>(0, kMaxLights);
  input.failNext = in.ConsumeBool() ? in.ConsumeIntegralInRange<unsigned>(1, kMaxLights + 1) : 0;
  for (unsigned i = 0; i < input.count; ++i) {
    mayahost::Light& l = input.lights[i];
    l.direction = maya(fuzzutil::direction(in));
    l.intensity = maya(fuzzutil::any_float3(in));
    const std::uint8_t switches = in.ConsumeIntegral<std::uint8_t>();
    l.ambient = switches & 1;
    l.diffuse = switches & 2;
    l.specular = switches & 4;
    l.shadowFraction = fuzzutil::any_float(in);
    l.preShadowIntensity = fuzzutil::any_float(in);
    // Compute never reads the blind data; any address must do.
    l.blindData =
        reinterpret_cast<void*>(static_cast<std::uintptr_t>(in.ConsumeIntegral<std::uint32_t>()));
  }
  return input;
}

// Moderate: every value finite and at most 1e4 in magnitude, roughness at
// least 1e-3 (the back-scatter exponent 1/roughness stays at most 1000, so a
// base rounded just above 1 stays near 1), edginess at least 0 (the sine it
// raises lies in [0, 1]; a negative power of 0 is infinite), and vectors
// that normalise accurately. Under these every term is a product of a few
// numbers of at most 1e4 and of lobe factors at most ~1, summed over at most
// 64 lights: far below FLT_MAX.
bool moderate(const Input& in) {
  for (const fuzzutil::Float3& c : in.colours) {
    if (!fuzzutil::moderate3(c)) return false;
  }
  for (float s : in.scalars) {
    if (!fuzzutil::moderate(s)) return false;
  }
  if (in.scalars[3] < 0.0f || in.scalars[4] < 1e-3f) return false;
  if (!fuzzutil::moderate3(in.normal) || !fuzzutil::moderate3(in.ray) || !normalisable(in.normal) ||
      !normalisable(in.ray)) {
    return false;
  }
  for (unsigned i = 0; i < in.count; ++i) {
    const mayahost::Light& l = in.lights[i];
    const fuzzutil::Float3 d{l.direction.x, l.direction.y, l.direction.z};
    const fuzzutil::Float3 c{l.intensity.x, l.intensity.y, l.intensity.z};
    if (!fuzzutil::moderate3(d) || !normalisable(d) || !fuzzutil::moderate3(c)) return false;
  }
  return true;
}

MFloatVector shade(Shader& s, const Input& in) {
  mayahost::ShadingBlock& b = *s.block;
  for (int i = 0; i < 5; ++i) {
    b.set(s.colours[i], maya(in.colours[i]));
    b.set(s.scalars[i], in.scalars[i]);
  }
  b.setNormal(maya(in.normal));
  b.setRayDirection(maya(in.ray));
  b.setPointCamera(maya(in.point));
  b.setLightCount(in.count);
  for (unsigned i = 0; i < in.count; ++i) b.setLight(i, in.lights[i]);
  mayahost::clearFaults();
  if (in.failNext != 0) mayahost::failCall(mayahost::Op::kArrayNext, in.failNext);
  const MStatus status = b.compute();
  mayahost::clearFaults();
  FUZZ_CHECK(status == MStatus::kSuccess, "compute of outColor did not succeed");
  return b.outColor();
}

}  // namespace

// The plug-ins are loaded before fuzzing starts, so that libFuzzer counts
// their coverage from the first input on.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  shader();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const Input input = read(provider);
  Shader& s = shader();

  const MFloatVector first = shade(s, input);
  const MFloatVector second = shade(s, input);
  FUZZ_CHECK(fuzzutil::same_bits(first, second), "a rerun gave other bits: (%a %a %a) (%a %a %a)",
             first.x, first.y, first.z, second.x, second.y, second.z);
  if (moderate(input)) {
    FUZZ_CHECK(std::isfinite(first.x) && std::isfinite(first.y) && std::isfinite(first.z),
               "outColor (%g %g %g) from moderate input", first.x, first.y, first.z);
  }

  FUZZ_CHECK(s.block->computeTransparency() == MStatus::kSuccess, "outTransparency failed");
  const MFloatVector t = s.block->outTransparency();
  FUZZ_CHECK(fuzzutil::same_bits(t, maya(input.colours[1])), "outTransparency is not transparency");
  return 0;
}
