// Test support for the stand-in mental ray renderer: what the host module
// records of the shader's host calls, host calls made to fail, and handing
// the shader library another module. For tests only, in the mrhost_testing
// library: plug-ins, tools, benchmarks and fuzz targets never include it.
//
//   mrhost::Renderer renderer;  // opened as in renderer.h
//   mrhost::HostModule& host = renderer.host();  // records counts and calls after reset()
//   renderer.shade(&c, &state, block);
//   EXPECT_EQ(mrhost::testing::sample_light_calls(host), 2);
//   mrhost::testing::refuse_sample_light(host, 1);  // the next mi_sample_light fails
#ifndef MRHOST_TESTING_H
#define MRHOST_TESTING_H

#include <mrhost/renderer.h>

#include <vector>

namespace mrhost::testing {

// How often each host function was called since the last reset or
// clear_records, while the module's recording includes kRecordCounts.
long phen_eval_calls(const HostModule& host);
long sample_light_calls(const HostModule& host);
long compute_irradiance_calls(const HostModule& host);
// The calls made while recording includes kRecordCalls, in order; at most
// kMaxCallRecords.
std::vector<CallRecord> calls(const HostModule& host);
// Clears the counters and the call log, and nothing else.
void clear_records(HostModule& host);

// The n-th mi_sample_light call from now on (1 = the next) delivers no
// sample and returns 0, as a host that cannot sample the light would; 0
// refuses none. Cleared by HostModule::reset.
void refuse_sample_light(HostModule& host, long n);

// An export of the module, as a shader's look-up in it would find it, or
// null.
void* find_export(const HostModule& host, const char* name);

// Hands the renderer's shader library any module handle (null included) in
// place of its host module's, as a renderer with another module would.
void set_module_handle(Renderer& renderer, void* handle);

}  // namespace mrhost::testing

#endif  // MRHOST_TESTING_H
