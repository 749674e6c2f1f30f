// Clearing the host module's records: shared by HostModule::reset and the
// test support, so that a record added to ModuleState is cleared by both.
#ifndef MRHOST_SRC_MODULE_RECORDS_H
#define MRHOST_SRC_MODULE_RECORDS_H

#include <mrhost/module_state.h>

namespace mrhost {

inline void clear_records(ModuleState& s) {
  s.phen_eval_calls = 0;
  s.sample_light_calls = 0;
  s.compute_irradiance_calls = 0;
  s.unknown_light_calls = 0;
  s.call_count = 0;
}

}  // namespace mrhost

#endif  // MRHOST_SRC_MODULE_RECORDS_H
