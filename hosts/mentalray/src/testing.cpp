#include <mrhost/testing.h>

#include <algorithm>

#include "module_records.h"
#include "platform.h"

namespace mrhost::testing {

long phen_eval_calls(const HostModule& host) {
  return host.state().phen_eval_calls.load();
}
long sample_light_calls(const HostModule& host) {
  return host.state().sample_light_calls.load();
}
long compute_irradiance_calls(const HostModule& host) {
  return host.state().compute_irradiance_calls.load();
}

std::vector<CallRecord> calls(const HostModule& host) {
  const ModuleState& s = host.state();
  const int n = std::min(s.call_count.load(), kMaxCallRecords);
  return std::vector<CallRecord>(s.calls, s.calls + n);
}

void clear_records(HostModule& host) {
  mrhost::clear_records(host.state());
}

void refuse_sample_light(HostModule& host, long n) {
  host.state().sample_light_seen = 0;
  host.state().refuse_sample_light = n;
}

void* find_export(const HostModule& host, const char* name) {
  return host.handle() ? platform::find_symbol(host.handle(), name) : nullptr;
}

void set_module_handle(Renderer& renderer, void* handle) {
  // Renderer::open found it in the library it keeps.
  if (renderer.library() == nullptr) return;
  const auto set =
      platform::find_function<void (*)(void*)>(renderer.library(), "miSetModuleHandle");
  if (set) set(handle);
}

}  // namespace mrhost::testing
