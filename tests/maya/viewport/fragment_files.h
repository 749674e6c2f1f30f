// The plug-in's Viewport 2.0 fragment XML as the tests read it: the files
// the build embeds into the plug-in (VELVET_VIEWPORT_FRAGMENTS, '|'-separated, in
// registration order, the graph last), read from the source tree.
#ifndef VELVET_TESTS_MAYA_VIEWPORT_FRAGMENT_FILES_H
#define VELVET_TESTS_MAYA_VIEWPORT_FRAGMENT_FILES_H

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace viewport_test {

struct FragmentFile {
  std::string name;  // file name without .xml: the registered name
  std::string xml;
  bool graph;
};

inline std::vector<FragmentFile> fragmentFiles() {
  std::vector<FragmentFile> out;
  std::stringstream list(VELVET_VIEWPORT_FRAGMENTS);
  for (std::string path; std::getline(list, path, '|');) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::size_t slash = path.find_last_of("/\\");
    std::string name = path.substr(slash + 1);
    name = name.substr(0, name.size() - 4);
    const std::string xml = text.str();
    out.push_back({name, xml, xml.find("<fragment_graph") != std::string::npos});
  }
  return out;
}

inline std::string fragmentFile(const std::string& name) {
  for (const FragmentFile& f : fragmentFiles()) {
    if (f.name == name) return f.xml;
  }
  return "";
}

// `text` with the first `from` replaced by `to`; empty if `from` is absent,
// so that a test whose edit no longer applies fails rather than passes.
inline std::string edited(const std::string& text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) return "";
  std::string out = text;
  out.replace(at, from.size(), to);
  return out;
}

}  // namespace viewport_test

#endif  // VELVET_TESTS_MAYA_VIEWPORT_FRAGMENT_FILES_H
