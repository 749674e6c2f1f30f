// Deferred binding of the host functions the shader calls.
//
// The library is not linked against the renderer. The renderer hands it the
// module that exports the host functions (miSetModuleHandle); each host
// function is looked up by name on its first use and its address kept in a
// table slot. The functions below stand in for the host functions under the
// same names and pass every call on. They are not exported: an exported
// mi_sample_light could be bound by the loader in place of the host's, and
// this library would then call itself.
//
// This file must not see the renderer's shader.h. It declares the host
// functions DLLIMPORT, a macro it defines without a guard and that some
// versions make an export: defining the functions under those declarations
// would export them, or not compile where DLLIMPORT means an import. The
// call-throughs only pass pointers along, so incomplete record types do.
//
// Slots are atomic with relaxed order: threads that find a slot empty all
// store the same address for a given handle, so no ordering is needed, but a
// plain pointer read while another thread writes it is a data race in C++.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform.h"

extern "C" {
// As the renderer's header declares them; the records stay incomplete.
typedef struct miState miState;
typedef struct miColor miColor;
typedef struct miVector miVector;
typedef enum { miFALSE = 0, miTRUE = 1 } miBoolean;
typedef unsigned int miTag;
}

namespace {

// The renderer's table has a slot for every host function; this library
// uses three of them and keeps the others empty.
constexpr int kSlotCount = 668;
constexpr int kComputeIrradianceSlot = 66;
constexpr int kSampleLightSlot = 104;
constexpr int kPhenEvalSlot = 115;

// Zero-initialised before load completes: no handle, every slot empty.
std::atomic<void*> module_handle;
std::atomic<void*> host_functions[kSlotCount];

using PhenEval = void* (*)(miState*, void*);
using SampleLight = miBoolean (*)(miColor*, miVector*, float*, miState*, miTag, int*);
using ComputeIrradiance = miBoolean (*)(miColor*, miState*);

// Looks `name` up in the module handed in last and keeps the result, found or
// not: an empty slot makes the next call look again (and report again).
void* bind(int slot, const char* name) {
  void* const handle = module_handle.load(std::memory_order_relaxed);
  if (!handle) std::fputs("DYNLOAD: dl_handle null\n", stderr);
  int error = 0;
  void* const address = krel::find_host_function(handle, name, &error);
  host_functions[slot].store(address, std::memory_order_relaxed);
  if (!address) {
    const auto low_bits =
        static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(handle) & 0xffffffffu);
    std::fprintf(stderr, "dlsym failed on \"%s\" (handle: %08x error: %d)\n", name, low_bits,
                 error);
  }
  return address;
}

template <class Function>
Function host_function(int slot, const char* name) {
  void* address = host_functions[slot].load(std::memory_order_relaxed);
  if (!address) address = bind(slot, name);
  return reinterpret_cast<Function>(address);
}

}  // namespace

KREL_EXPORT void miSetModuleHandle(void* handle) {
  module_handle.store(handle, std::memory_order_relaxed);
  for (std::atomic<void*>& slot : host_functions) slot.store(nullptr, std::memory_order_relaxed);
}

// When a host function cannot be bound, each call-through answers as if the
// host had nothing to give rather than calling through the empty slot.

extern "C" void* mi_phen_eval(miState* state, void* param) {
  const auto host = host_function<PhenEval>(kPhenEvalSlot, "mi_phen_eval");
  if (!host) return param;  // the parameter's own stored value
  return host(state, param);
}

extern "C" miBoolean mi_sample_light(miColor* const result, miVector* const dir,
                                     float* const dot_nl, miState* const state,
                                     const miTag light_inst, int* const samples) {
  const auto host = host_function<SampleLight>(kSampleLightSlot, "mi_sample_light");
  if (!host) return miFALSE;  // no sample: the light adds nothing
  return host(result, dir, dot_nl, state, light_inst, samples);
}

extern "C" miBoolean mi_compute_irradiance(miColor* result, miState* state) {
  const auto host =
      host_function<ComputeIrradiance>(kComputeIrradianceSlot, "mi_compute_irradiance");
  if (!host) {
    std::memset(result, 0, 3 * sizeof(float));  // red, green, blue lead the record
    return miFALSE;
  }
  return host(result, state);
}
