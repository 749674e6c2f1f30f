// A host's parameter list without its renderer, for targets that check input
// against the real plug-ins' parameters but must never render: no path from
// the input is loaded, and every shading context is refused.
#ifndef VELVET_FUZZ_COMMON_PARAMETERS_ONLY_H
#define VELVET_FUZZ_COMMON_PARAMETERS_ONLY_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/preview/hosts/backend.h"

namespace fuzzutil {

class ParametersOnly : public preview::Backend {
 public:
  explicit ParametersOnly(const preview::Backend& real) : real_(real) {}
  const std::vector<preview::ParamInfo>& parameters() const override { return real_.parameters(); }
  preview::ParamHints hints(const std::string& name) const override { return real_.hints(name); }
  std::string set_parameter(const std::string&, const preview::ParamValue&) override { return ""; }
  std::vector<std::pair<std::string, std::string>> lobe_only_settings(
      const preview::LobeOnly& lobe) const override {
    return real_.lobe_only_settings(lobe);
  }
  void set_lights(const std::vector<preview::Light>&) override {}
  std::unique_ptr<preview::ShadingContext> make_context(std::string& error) override {
    error = "not rendering";
    return nullptr;
  }

 private:
  const preview::Backend& real_;
};

}  // namespace fuzzutil

#endif  // VELVET_FUZZ_COMMON_PARAMETERS_ONLY_H
