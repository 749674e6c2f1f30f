// Test support (<mayahost/testing.h>): fault injection and the MEL command
// log. A fault costs the shading path one relaxed load (faultsArmed) until a
// test arms one.
#include <mayahost/testing.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "faults.h"
#include "records.h"

namespace mayahost::detail {

std::atomic<bool> faultsArmed{false};

namespace {

// One count per Op: the last one is kSetMPSafe.
constexpr int kOps = static_cast<int>(Op::kSetMPSafe) + 1;

struct Planned {
  Op op;
  unsigned n;
  MStatus::MStatusCode code;
};

struct Faults {
  std::mutex mutex;
  unsigned counts[kOps] = {};
  std::vector<Planned> planned;
};

Faults& faults() {
  static Faults* f = new Faults;
  return *f;
}

}  // namespace

bool fault(Op op, MStatus* code) {
  Faults& f = faults();
  std::lock_guard<std::mutex> lock(f.mutex);
  const unsigned n = ++f.counts[static_cast<int>(op)];
  for (const Planned& p : f.planned) {
    if (p.op == op && p.n == n) {
      *code = p.code;
      return true;
    }
  }
  return false;
}

bool failArrayNext() {
  MStatus code;
  return fault(Op::kArrayNext, &code);
}

}  // namespace mayahost::detail

namespace mayahost {

void failCall(Op op, unsigned n, MStatus::MStatusCode code) {
  detail::Faults& f = detail::faults();
  std::lock_guard<std::mutex> lock(f.mutex);
  f.planned.push_back({op, n + f.counts[static_cast<int>(op)], code});
  detail::faultsArmed.store(true);
}

void clearFaults() {
  detail::Faults& f = detail::faults();
  std::lock_guard<std::mutex> lock(f.mutex);
  f.planned.clear();
  for (unsigned& c : f.counts) c = 0;
  detail::faultsArmed.store(false);
}

unsigned callCount(Op op) {
  detail::Faults& f = detail::faults();
  std::lock_guard<std::mutex> lock(f.mutex);
  return f.counts[static_cast<int>(op)];
}

const std::vector<CommandRecord>& commandLog() {
  return detail::host().commands;
}
void clearCommandLog() {
  detail::host().commands.clear();
  detail::host().refreshes.clear();
}
void setCreateRenderNodeWindowOpen(bool open) {
  detail::host().renderNodeWindowOpen = open;
}
const std::vector<std::string>& renderNodeWindowRefreshes() {
  return detail::host().refreshes;
}

}  // namespace mayahost
