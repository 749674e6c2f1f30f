// Values for the shading targets, drawn from the fuzzer's bytes: any float
// bit pattern, the awkward ones by name, and plain scene-sized numbers, so
// that both the corners and the moderate inputs are reached often.
#ifndef VELVET_FUZZ_COMMON_FUZZ_VALUES_H
#define VELVET_FUZZ_COMMON_FUZZ_VALUES_H

#include <fuzzer/FuzzedDataProvider.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "fuzz_check.h"

namespace fuzzutil {

inline float from_bits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

inline float any_float(FuzzedDataProvider& in) {
  static const float kNamed[] = {0.0f,
                                 -0.0f,
                                 1.0f,
                                 -1.0f,
                                 0.5f,
                                 1e-3f,
                                 1e4f,
                                 -1e4f,
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN(),
                                 FLT_MIN,
                                 std::numeric_limits<float>::denorm_min(),
                                 FLT_MAX,
                                 -FLT_MAX,
                                 1.0000001f,
                                 0.99999994f};
  const std::uint8_t mode = in.ConsumeIntegral<std::uint8_t>();
  if (mode < 64) return from_bits(in.ConsumeIntegral<std::uint32_t>());
  if (mode < 96) return kNamed[in.ConsumeIntegral<std::uint8_t>() % std::size(kNamed)];
  return static_cast<float>(in.ConsumeIntegral<std::int16_t>()) / 256.0f;
}

struct Float3 {
  float x, y, z;
};

inline Float3 any_float3(FuzzedDataProvider& in) {
  const float x = any_float(in);
  const float y = any_float(in);
  const float z = any_float(in);
  return {x, y, z};
}

// Mostly a unit vector (as renderers hand them over), sometimes any three
// floats.
inline Float3 direction(FuzzedDataProvider& in) {
  if (in.ConsumeIntegral<std::uint8_t>() < 48) return any_float3(in);
  const float x = static_cast<float>(in.ConsumeIntegral<std::int8_t>());
  const float y = static_cast<float>(in.ConsumeIntegral<std::int8_t>());
  const float z = static_cast<float>(in.ConsumeIntegral<std::int8_t>());
  const float length = std::sqrt((x * x + y * y) + z * z);
  if (length == 0.0f) return {0.0f, 0.0f, 1.0f};
  return {x / length, y / length, z / length};
}

inline bool moderate3(const Float3& v) {
  return moderate(v.x) && moderate(v.y) && moderate(v.z);
}

}  // namespace fuzzutil

#endif  // VELVET_FUZZ_COMMON_FUZZ_VALUES_H
