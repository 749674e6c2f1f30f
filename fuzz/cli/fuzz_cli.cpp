// The preview tool's command line: every flag, NAME=VALUE values for both
// hosts and sweep lists, parsed and checked against the real plug-ins'
// parameter lists, stopping before anything is rendered or written.
//
// Input: the arguments, separated by NUL bytes. Asserts that a run ends in
// "checked" (0), "bad input" (2) or, for --hosts alone, "not found" (1);
// that a refusal says so on the error stream and nothing else; and that a
// second run gives the same answer.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "parameters_only.h"
#include "tools/preview/cli/cli.h"
#include "tools/preview/hosts/hosts.h"

namespace {

struct Hosts {
  std::vector<std::unique_ptr<preview::Backend>> real;
  preview::CliEnvironment env;
};

// The plug-ins are loaded once; every input checks against them.
Hosts& hosts() {
  static Hosts* h = [] {
    auto* made = new Hosts;
    for (preview::HostEntry entry : preview::built_hosts()) {
      std::string error;
      std::unique_ptr<preview::Backend> backend = entry.make("", error);
      FUZZ_CHECK(backend != nullptr, "%s: %s", entry.flag.c_str(), error.c_str());
      const preview::Backend* real = backend.get();
      made->real.push_back(std::move(backend));
      entry.make = [real](const std::string&, std::string&) {
        return std::make_unique<fuzzutil::ParametersOnly>(*real);
      };
      made->env.hosts.push_back(entry);
    }
    made->env.check_only = true;
    made->env.default_threads = 1;
    return made;
  }();
  return *h;
}

struct Outcome {
  int code;
  std::string out, err;
};

Outcome run(const std::vector<std::string>& args) {
  preview::CliEnvironment env = hosts().env;
  std::ostringstream out, err;
  env.out = &out;
  env.err = &err;
  const int code = preview::run(args, env);
  return {code, out.str(), err.str()};
}

}  // namespace

// The plug-ins are loaded before fuzzing starts, so that libFuzzer counts
// their coverage from the first input on.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  hosts();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  std::size_t start = 0;
  while (start <= text.size() && args.size() < 64) {
    std::size_t stop = text.find('\0', start);
    if (stop == std::string::npos) stop = text.size();
    args.push_back(text.substr(start, stop - start));
    start = stop + 1;
  }
  if (!args.empty() && args.back().empty()) args.pop_back();

  const Outcome first = run(args);
  // 1 only where nothing is rendered anyway: --hosts alone reporting a
  // plug-in it cannot find.
  FUZZ_CHECK(first.code == preview::kExitOk || first.code == preview::kExitUsage ||
                 first.code == preview::kExitFailure,
             "exit code %d: %s", first.code, first.err.c_str());
  if (first.code == preview::kExitUsage) {
    FUZZ_CHECK(first.err.rfind("velvet-preview: ", 0) == 0 && first.out.empty(),
               "a refusal must be one message on the error stream: '%s' / '%s'", first.err.c_str(),
               first.out.c_str());
  } else if (first.code == preview::kExitFailure) {
    FUZZ_CHECK(!first.out.empty() || !first.err.empty(), "a failure must say why");
  } else {
    FUZZ_CHECK(first.err.empty(), "accepted input wrote an error: %s", first.err.c_str());
  }
  const Outcome second = run(args);
  FUZZ_CHECK(second.code == first.code && second.out == first.out && second.err == first.err,
             "a rerun answered differently: %d '%s' then %d '%s'", first.code, first.err.c_str(),
             second.code, second.err.c_str());
  return 0;
}
