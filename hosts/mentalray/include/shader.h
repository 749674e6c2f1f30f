// Stand-in for the mental ray shader interface header.
//
// Declares the host types and host functions under their public names, so
// that shader sources compile unchanged against this header and against the
// renderer's own. It follows the renderer's header where that decides whether
// a shader compiles: everything has C linkage, miBoolean is an enum (an int
// does not convert to it in C++), and the host functions are declared
// DLLIMPORT, a macro defined without a guard. Only what the shaders of this
// project touch is here; the state record carries a few more fields so that
// copying it costs about what a real state copy does.
#ifndef MRHOST_SHADER_H
#define MRHOST_SHADER_H

// Some versions of the renderer's header make DLLIMPORT an export, and none
// lets a shader define it first. The stand-in takes that variant on every
// platform: a shader that defines a host function while it sees these
// declarations exports it, which the library's export tests catch.
#ifdef _WIN32
#define DLLIMPORT __declspec(dllexport)
#else
#define DLLIMPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum { miFALSE = 0, miTRUE = 1 } miBoolean;
typedef int miInteger;
typedef float miScalar;
typedef unsigned int miTag;

typedef struct miColor {
  float r, g, b, a;
} miColor;

typedef struct miVector {
  miScalar x, y, z;
} miVector;

// The shader record that a state's `shader` field points to. `ghost_offs` is
// the distance in bytes from each parameter to the 32-bit word that says
// whether the parameter is connected (nonzero) or holds its own value (zero);
// a ghost_offs of 0 means no parameter of this shader is connected.
typedef struct miFunction {
  miTag function_decl;
  int ghost_offs;
  miInteger parameter_size;
} miFunction;

// Per-sample state: one per shading call, owned by the renderer.
typedef struct miState {
  miInteger thread;      // index of the rendering thread
  miInteger type;        // kind of ray that hit the point
  miVector org;          // ray origin
  miVector dir;          // ray direction, towards the point
  miScalar dist;         // ray length to the point
  miVector point;        // the shaded point
  miVector normal;       // shading normal
  miVector normal_geom;  // geometric normal
  miScalar dot_nd;       // normal . dir
  miVector tex[4];       // texture coordinates
  miFunction* shader;    // the shader being called
  miTag instance;        // object instance hit
  miTag light_instance;  // light being sampled, if any
  void* user;            // renderer-private data
  miInteger user_size;
} miState;

// Evaluates the parameter at `param` of the current shader: returns the
// address of its value (the connected shader's result when it is connected).
DLLIMPORT void* mi_phen_eval(miState*, void*);

// Delivers the next sample of `light_inst`: its colour, the direction from
// the shaded point towards it and the normal . direction. Returns miTRUE
// while a sample was delivered; `samples` counts the samples taken (start it
// at 0).
DLLIMPORT miBoolean mi_sample_light(miColor* const result, miVector* const dir, float* const dot_nl,
                                    miState* const state, const miTag light_inst,
                                    int* const samples);

// Writes the irradiance arriving at the state's point into `result`.
DLLIMPORT miBoolean mi_compute_irradiance(miColor* result, miState* state);

#ifdef __cplusplus
}
#endif

#endif  // MRHOST_SHADER_H
