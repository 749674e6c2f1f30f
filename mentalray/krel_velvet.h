// The krel_velvet shader library: its parameter block and its exports.
//
// The renderer lays the parameter block out from the shader's declaration
// (krel_velvet.mi), so the order and types of the fields below and those of
// the declaration must stay the same.
#ifndef KREL_VELVET_H
#define KREL_VELVET_H

#include <shader.h>

#include "platform.h"

struct krel_velvet_params {
  miColor color;            // surface colour: tints diffuse, ambient and irradiance
  miColor ambientColor;     // added as color * ambientColor
  miColor incandescence;    // added unchanged
  miVector normalOffset;    // bends the shading normal
  miScalar diffuse;         // weight of the diffuse term
  miScalar edginess;        // exponent of the lobe's edge sheen
  miScalar specular;        // weight of the velvet lobe
  miColor specularColor;    // tint of the velvet lobe
  miBoolean useIrradiance;  // adds the irradiance term when nonzero
  miColor irradianceColor;  // tint of the irradiance term; black switches it off
  miInteger i_light;        // first of this shader's lights in `light`
  miInteger n_light;        // number of this shader's lights
  miTag light[1];           // light instance tags; the renderer appends the rest
};

// Shades one sample: adds this material's colour to `result` and sets its
// alpha to 1. Always returns 1.
KREL_EXPORT miBoolean krel_velvet(miColor* result, miState* state, krel_velvet_params* params);

// Version of the shader, as declared in krel_velvet.mi.
KREL_EXPORT int krel_velvet_version(void);

// Hands the library the module that exports the host functions it calls and
// forgets every host function address found so far.
KREL_EXPORT void miSetModuleHandle(void* handle);

#endif  // KREL_VELVET_H
