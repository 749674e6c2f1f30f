// The velvet shader: a diffuse term and the velvet lobe for every light
// sample, each light's samples averaged, then ambient, incandescence and an
// optional irradiance term, added to the colour the renderer passes in.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/velvet_lobe.h"
#include "krel_velvet.h"
#include "krel_velvet_lobe.h"

namespace {

// The lobe's shape is fixed (krel_velvet_lobe.h); only its edge and weight
// are parameters.
using krel_velvet_lobe::kBackscatter;
using krel_velvet_lobe::kRoughness;
constexpr float kPi = 3.1415927f;

// A parameter's value lives in the block unless the parameter is connected:
// then the word `ghost_offs` bytes after it is nonzero and the host evaluates
// the connection. Returns the address of the value either way.
template <class T>
const T* fetch(miState* state, T* param) {
  const miInteger ghost_offs = state->shader->ghost_offs;
  if (ghost_offs == 0) return param;
  std::int32_t connected;
  std::memcpy(&connected, reinterpret_cast<const char*>(param) + ghost_offs, sizeof connected);
  if (connected == 0) return param;
  return static_cast<const T*>(mi_phen_eval(state, param));
}

core::Vector vec(const miVector& v) {
  return {v.x, v.y, v.z};
}

core::Color rgb(const miColor& c) {
  return {c.r, c.g, c.b};
}

}  // namespace

KREL_EXPORT int krel_velvet_version(void) {
  return 1;
}

KREL_EXPORT miBoolean krel_velvet(miColor* result, miState* state, krel_velvet_params* params) {
  // Every parameter is fetched once, before any light is sampled. The colours
  // are kept as addresses: the host keeps an evaluated value in place until
  // the shader returns.
  const miColor* const color = fetch(state, &params->color);
  const miColor* const ambientColor = fetch(state, &params->ambientColor);
  const miColor* const incandescence = fetch(state, &params->incandescence);
  const miColor* const specularColor = fetch(state, &params->specularColor);
  const miVector normalOffset = *fetch(state, &params->normalOffset);
  // Any nonzero word means true. The word is read as an integer: an enum
  // object holding a value other than miFALSE or miTRUE is undefined.
  std::int32_t useIrradianceWord;
  std::memcpy(&useIrradianceWord, fetch(state, &params->useIrradiance), sizeof useIrradianceWord);
  miBoolean useIrradiance = useIrradianceWord != 0 ? miTRUE : miFALSE;
  const miScalar diffuse = *fetch(state, &params->diffuse);
  const miScalar edginess = *fetch(state, &params->edginess);
  const miScalar specular = *fetch(state, &params->specular);
  const miInteger n_light = *fetch(state, &params->n_light);
  const miInteger i_light = *fetch(state, &params->i_light);
  const miTag* const light = fetch(state, &params->light[0]);

  miColor irradianceColor{0.0f, 0.0f, 0.0f, 0.0f};
  if (useIrradiance) {
    irradianceColor = *fetch(state, &params->irradianceColor);
    if (irradianceColor.r == 0.0f && irradianceColor.g == 0.0f && irradianceColor.b == 0.0f) {
      useIrradiance = miFALSE;
    }
  }

  // Bent normal; a zero vector stays zero rather than becoming NaN.
  miVector normal{state->normal.x + normalOffset.x, state->normal.y + normalOffset.y,
                  state->normal.z + normalOffset.z};
  const float length = std::sqrt((normal.x * normal.x + normal.y * normal.y) + normal.z * normal.z);
  if (length != 0.0f) {
    const float inverse = 1.0f / length;
    normal.x *= inverse;
    normal.y *= inverse;
    normal.z *= inverse;
  }
  const core::Vector N = vec(normal);

  // The host sees the bent normal through a copy; the renderer's state is
  // never written.
  miState work = *state;
  work.normal = normal;

  // Towards the viewer. The host never sees the incoming state while lights
  // are sampled, so its direction is the same for every sample.
  const core::Vector V{-state->dir.x, -state->dir.y, -state->dir.z};

  for (miInteger k = 0; k < n_light; ++k) {
    const miTag tag = light[i_light + k];
    core::Color sum{0.0f, 0.0f, 0.0f};
    miInteger samples = 0;
    miColor lightColor;
    miVector L;
    miScalar dot_nl;
    while (mi_sample_light(&lightColor, &L, &dot_nl, &work, tag, &samples)) {
      const float d = core::dot(N, vec(L));
      if (d > 0.0f) {
        const float w = d * diffuse;
        sum.r += (lightColor.r * w) * color->r;
        sum.g += (lightColor.g * w) * color->g;
        sum.b += (lightColor.b * w) * color->b;
      }
      core::Color lobe;
      core::velvet_lobe(V, N, vec(L), rgb(lightColor), rgb(*specularColor), lobe, kRoughness,
                        edginess, kBackscatter);
      sum.r += lobe.r * specular;
      sum.g += lobe.g * specular;
      sum.b += lobe.b * specular;
    }
    if (samples > 0) {
      const float count = static_cast<float>(samples);
      result->r += sum.r / count;
      result->g += sum.g / count;
      result->b += sum.b / count;
    }
  }

  result->r += color->r * ambientColor->r;
  result->g += color->g * ambientColor->g;
  result->b += color->b * ambientColor->b;
  result->r += incandescence->r;
  result->g += incandescence->g;
  result->b += incandescence->b;
  result->a = 1.0f;

  if (useIrradiance) {
    miColor irradiance{0.0f, 0.0f, 0.0f, 0.0f};
    mi_compute_irradiance(&irradiance, &work);
    result->r += ((irradiance.r * color->r) * irradianceColor.r) / kPi;
    result->g += ((irradiance.g * color->g) * irradianceColor.g) / kPi;
    result->b += ((irradiance.b * color->b) * irradianceColor.b) / kPi;
    result->a = 1.0f;
  }
  return miTRUE;
}
