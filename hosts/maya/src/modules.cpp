// Module resolution: from MAYA_MODULE_PATH to the plug-in and script paths.
#include <maya/MTypes.h>
#include <mayahost/modules.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace mayahost {

namespace {

std::vector<std::string> splitList(const std::string& list) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(list);
  while (std::getline(in, part, pathListSeparator())) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

std::string joinList(const std::vector<std::string>& parts) {
  std::string list;
  for (const std::string& p : parts) {
    if (!list.empty()) list += pathListSeparator();
    list += p;
  }
  return list;
}

std::string under(const std::string& base, const std::string& path) {
  const fs::path p(path);
  return (p.is_absolute() ? p : fs::path(base) / p).lexically_normal().generic_string();
}

bool isFolder(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

// The folder, then (for [r]) every folder below it, in name order.
std::vector<std::string> expand(const std::string& folder, bool recursive) {
  std::vector<std::string> out{folder};
  if (!recursive || !isFolder(folder)) return out;
  std::vector<std::string> below;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code dirEc;
    if (it->is_directory(dirEc)) below.push_back(it->path().lexically_normal().generic_string());
  }
  std::sort(below.begin(), below.end());
  out.insert(out.end(), below.begin(), below.end());
  return out;
}

bool matches(const std::string& condition, const std::string& value) {
  return condition.empty() || condition == value;
}

// The module's conditions as written on its + line.
std::string conditions(const ModuleDescription& m) {
  std::string text;
  const auto add = [&](const char* key, const std::string& value) {
    if (value.empty()) return;
    if (!text.empty()) text += ' ';
    text += key + value;
  };
  add("MAYAVERSION:", m.mayaVersion);
  add("PLATFORM:", m.platform);
  add("LOCALE:", m.locale);
  return text;
}

// Why a module does not apply to this host; empty when it does.
std::string mismatch(const ModuleDescription& m, const HostInfo& host) {
  if (!m.enabled) return "switched off ('-' line)";
  if (!matches(m.mayaVersion, host.mayaVersion)) {
    return "MAYAVERSION:" + m.mayaVersion + ", this host is Maya " + host.mayaVersion;
  }
  if (!matches(m.platform, host.platform)) {
    return "PLATFORM:" + m.platform + ", this host runs on " + host.platform;
  }
  if (!matches(m.locale, host.locale)) {
    return "LOCALE:" + m.locale + ", this host's locale is " + host.locale;
  }
  return "";
}

bool readFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return false;
  *text = s.str();
  return true;
}

// The module's variables applied to `values` (the environment's, then the
// earlier modules'), keeping first-set order in `order`.
void applyVariables(const ModuleDescription& m, const std::string& root,
                    const Environment& environment, std::vector<std::string>* order,
                    std::vector<std::pair<std::string, std::string>>* values) {
  for (const ModuleVariable& v : m.variables) {
    std::string value = v.value;
    if (v.relative) value = joinList(expand(under(root, v.value), v.recursive));
    auto it = std::find_if(values->begin(), values->end(),
                           [&](const auto& entry) { return entry.first == v.name; });
    if (it == values->end()) {
      const std::optional<std::string> initial = environment(v.name);
      values->emplace_back(v.name, initial.value_or(""));
      order->push_back(v.name);
      it = values->end() - 1;
    }
    if (v.append && !it->second.empty() && !value.empty()) {
      it->second += pathListSeparator() + value;
    } else if (v.append) {
      it->second += value;
    } else {
      it->second = value;
    }
  }
}

}  // namespace

std::string HostInfo::currentRelease() {
  // Six digits up to 2017 (200900), eight since (20250000): both start with
  // the release.
  return std::to_string(MAYA_API_VERSION).substr(0, 4);
}

Environment processEnvironment() {
  return [](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
}

Status resolveModules(const Environment& environment, const HostInfo& host, SearchPaths* paths) {
  *paths = SearchPaths();
  std::vector<std::string> order;
  std::vector<std::pair<std::string, std::string>> values;

  for (const std::string& moduleDir : splitList(environment("MAYA_MODULE_PATH").value_or(""))) {
    if (!isFolder(moduleDir)) continue;
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(moduleDir, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code fileEc;
      if (it->path().extension() == ".mod" && it->is_regular_file(fileEc)) {
        files.push_back(it->path().lexically_normal().generic_string());
      }
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
      std::string text;
      if (!readFile(file, &text)) {
        paths->unreadable.push_back({file, 0, "cannot read the file", {}});
        continue;
      }
      std::vector<ModuleDescription> modules;
      ModuleSyntaxError error;
      if (!parseModuleFile(text, &modules, &error)) {
        paths->unreadable.push_back({file, error.line, error.message, error.modules});
      }
      const std::string base = fs::path(file).parent_path().generic_string();
      for (const ModuleDescription& m : modules) {
        const std::string why = mismatch(m, host);
        if (!why.empty()) {
          paths->skipped.push_back({file, m.line, m.name, why});
          continue;
        }
        const bool seen = std::any_of(paths->modules.begin(), paths->modules.end(),
                                      [&](const ResolvedModule& r) { return r.name == m.name; });
        if (seen) continue;  // the first module of a name wins
        ResolvedModule r;
        r.file = file;
        r.line = m.line;
        r.name = m.name;
        r.version = m.version;
        r.conditions = conditions(m);
        r.root = under(base, m.path);
        const auto folders = [&](const ModuleFolder& f, const char* fallback) {
          return expand(under(r.root, f.path.empty() ? fallback : f.path), f.recursive);
        };
        r.plugIns = folders(m.plugIns, "plug-ins");
        r.scripts = folders(m.scripts, "scripts");
        r.icons = folders(m.icons, "icons");
        r.presets = folders(m.presets, "presets");
        applyVariables(m, r.root, environment, &order, &values);
        paths->modules.push_back(std::move(r));
      }
    }
  }

  // A variable a module set wins over the environment's value of it.
  const auto value = [&](const std::string& name) {
    for (const auto& [n, v] : values) {
      if (n == name) return std::optional<std::string>(v);
    }
    return environment(name);
  };
  paths->plugInPath = splitList(value("MAYA_PLUG_IN_PATH").value_or(""));
  paths->scriptPath = splitList(value("MAYA_SCRIPT_PATH").value_or(""));
  paths->iconPath = splitList(value("XBMLANGPATH").value_or(""));
  for (const ResolvedModule& r : paths->modules) {
    paths->plugInPath.insert(paths->plugInPath.end(), r.plugIns.begin(), r.plugIns.end());
    paths->scriptPath.insert(paths->scriptPath.end(), r.scripts.begin(), r.scripts.end());
    paths->iconPath.insert(paths->iconPath.end(), r.icons.begin(), r.icons.end());
  }
  paths->variables = values;
  return Status();
}

Status findPlugin(const std::string& nameOrPath, const SearchPaths& paths, std::string* file) {
  if (nameOrPath.empty()) return Status::error("no plug-in name given");
  const std::string suffix = pluginSuffix();
  const bool hasSuffix =
      nameOrPath.size() > suffix.size() &&
      nameOrPath.compare(nameOrPath.size() - suffix.size(), suffix.size(), suffix) == 0;
  const auto isFile = [](const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
  };
  if (nameOrPath.find_first_of("/\\") != std::string::npos) {
    for (const std::string& candidate : {nameOrPath, nameOrPath + suffix}) {
      if (isFile(candidate)) {
        *file = candidate;
        return Status();
      }
      if (hasSuffix) break;
    }
    return Status::error("no plug-in file " + nameOrPath);
  }
  const std::string fileName = hasSuffix ? nameOrPath : nameOrPath + suffix;
  for (const std::string& folder : paths.plugInPath) {
    const std::string candidate = under(folder, fileName);
    if (isFile(candidate)) {
      *file = candidate;
      return Status();
    }
  }
  std::string message = "cannot find plug-in '" + fileName + "' on the plug-in path (";
  message += paths.plugInPath.empty() ? std::string(
                                            "empty: set MAYA_MODULE_PATH or "
                                            "MAYA_PLUG_IN_PATH")
                                      : joinList(paths.plugInPath);
  message += ")";
  // The usual cause: a module found, its plug-in folder empty or missing.
  for (const ResolvedModule& r : paths.modules) {
    bool empty = true;
    for (const std::string& folder : r.plugIns) {
      std::error_code ec;
      if (isFolder(folder) && !fs::is_empty(folder, ec)) empty = false;
    }
    if (empty) {
      message += "; module '" + r.name + "' (" + r.file + ":" + std::to_string(r.line) +
                 ") has no plug-in in " + r.plugIns.front();
    }
  }
  return Status::error(message);
}

Status loadPlugin(Plugin& plugin, const std::string& nameOrPath, const SearchPaths& paths) {
  std::string file;
  const Status st = findPlugin(nameOrPath, paths, &file);
  return st ? plugin.load(file) : st;
}

}  // namespace mayahost
