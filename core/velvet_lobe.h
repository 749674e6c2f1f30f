// The velvet shading core: the velvet lobe and the scalar helpers it needs.
//
// Header-only on purpose: both plug-ins compile it in and the lobe has to
// inline into their light loops (an out-of-line call costs about as much as
// the lobe's own arithmetic). Everything here is a pure function on plain
// records: no state, no allocation, safe on any number of threads.
//
// The arithmetic is single precision in a fixed order, so that both plug-ins
// produce the same bits on every machine. Build it with -ffp-contract=off and
// never with fast-math: a fused multiply-add or a reassociated sum changes the
// result.
#ifndef VELVET_CORE_VELVET_LOBE_H
#define VELVET_CORE_VELVET_LOBE_H

#include <cmath>

namespace core {

struct Vector {
  float x, y, z;
};

struct Color {
  float r, g, b;
};

// Summed as (x + y) + z; callers and tests rely on that order.
inline float dot(Vector a, Vector b) {
  return (a.x * b.x + a.y * b.y) + a.z * b.z;
}

inline float square(float x) {
  return x * x;
}

// b if b > a, otherwise a: a NaN in `a` propagates, a NaN in `b` is dropped.
inline float max(float a, float b) {
  return b > a ? b : a;
}

// Hermite step between two distinct edges; with edges 0 and 1 it clamps x to
// [0, 1] and gives exactly 0 and 1 at the ends.
inline float smoothstep(float e0, float e1, float x) {
  if (e0 > x) return 0.0f;
  if (x > e1) return 1.0f;
  const float t = (x - e0) / (e1 - e0);
  return t * t * (3.0f - 2.0f * t);
}

// One light's velvet lobe: a back-scatter highlight towards the viewer plus an
// edge sheen towards grazing views. V, N and L are unit vectors (towards the
// viewer, the normal, towards the light); nothing is normalised or range-checked
// here. `result` is overwritten with this light's lobe; callers accumulate.
inline void velvet_lobe(Vector V, Vector N, Vector L, Color lightColor, Color specularColor,
                        Color& result, float roughness, float edginess, float backscatter) {
  // Back-scatter: strongest when the light sits behind the viewer. The wrap
  // factor S fades both terms out as the light goes behind the surface.
  const float LV = max(dot(L, V), 0.0f);
  const float S = smoothstep(0.0f, 1.0f, dot(L, N));
  const float P = std::pow(LV * S, 1.0f / roughness);

  // Edge sheen: B is the sine of the angle between N and V. For unit vectors
  // seen head-on N.V can round just above 1; clamping 1 - NV^2 at 0 keeps the
  // square root real there (a NaN still propagates through max).
  const float NV = max(dot(N, V), 0.0f);
  const float B = std::sqrt(max(1.0f - square(NV), 0.0f));
  const float E = std::pow(B, edginess);

  // Both powers are taken before any channel is formed, so that nothing
  // channel-wise has to live across the library calls. Each channel starts
  // from black and adds the back-scatter term, then the edge term.
  float r = 0.0f, g = 0.0f, b = 0.0f;
  r += ((lightColor.r * P) * backscatter) * specularColor.r;
  g += ((lightColor.g * P) * backscatter) * specularColor.g;
  b += ((lightColor.b * P) * backscatter) * specularColor.b;
  r += ((lightColor.r * E) * S) * specularColor.r;
  g += ((lightColor.g * E) * S) * specularColor.g;
  b += ((lightColor.b * E) * S) * specularColor.b;

  result.r = r;
  result.g = g;
  result.b = b;
}

}  // namespace core

#endif  // VELVET_CORE_VELVET_LOBE_H
