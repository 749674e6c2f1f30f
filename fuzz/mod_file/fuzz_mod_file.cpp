// The Maya module file (.mod) reader: text in, module descriptions or the
// line and reason of the first malformed line out.
//
// Asserts that a refusal names a line of the text and gives a reason, that
// every module and variable read lies on a line of the text, and that a
// second read gives the same answer.
#include <mayahost/modules.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"

namespace {

bool same(const std::vector<mayahost::ModuleDescription>& a,
          const std::vector<mayahost::ModuleDescription>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const mayahost::ModuleDescription& x = a[i];
    const mayahost::ModuleDescription& y = b[i];
    if (x.line != y.line || x.enabled != y.enabled || x.mayaVersion != y.mayaVersion ||
        x.platform != y.platform || x.locale != y.locale || x.name != y.name ||
        x.version != y.version || x.path != y.path || x.plugIns.path != y.plugIns.path ||
        x.scripts.path != y.scripts.path || x.icons.path != y.icons.path ||
        x.presets.path != y.presets.path || x.variables.size() != y.variables.size()) {
      return false;
    }
    for (std::size_t k = 0; k < x.variables.size(); ++k) {
      const mayahost::ModuleVariable& v = x.variables[k];
      const mayahost::ModuleVariable& w = y.variables[k];
      if (v.name != w.name || v.value != w.value || v.append != w.append ||
          v.relative != w.relative || v.recursive != w.recursive || v.line != w.line) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64 * 1024) return -1;  // beyond any real module file
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;

  std::vector<mayahost::ModuleDescription> first, second;
  mayahost::ModuleSyntaxError error1, error2;
  const bool read1 = mayahost::parseModuleFile(text, &first, &error1);
  const bool read2 = mayahost::parseModuleFile(text, &second, &error2);
  FUZZ_CHECK(read1 == read2 && error1.line == error2.line && error1.message == error2.message &&
                 same(first, second),
             "a second read differs: line %d '%s' / line %d '%s'", error1.line,
             error1.message.c_str(), error2.line, error2.message.c_str());
  if (!read1) {
    FUZZ_CHECK(error1.line >= 1 && error1.line <= lines && !error1.message.empty(),
               "refusal at line %d of %d: '%s'", error1.line, lines, error1.message.c_str());
  }
  for (const mayahost::ModuleDescription& m : first) {
    FUZZ_CHECK(m.line >= 1 && m.line <= lines, "module at line %d of %d", m.line, lines);
    for (const mayahost::ModuleVariable& v : m.variables) {
      FUZZ_CHECK(v.line > m.line && v.line <= lines, "variable at line %d", v.line);
    }
  }
  return 0;
}
