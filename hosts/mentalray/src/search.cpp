// How the renderer finds the files a scene names: the search paths from the
// environment, and `link` / `$include` look-ups on them.
#include <mrhost/search_path.h>

#include <hostkit/paths.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace mrhost {

namespace {

#if defined(_WIN32)
constexpr char kListSeparator = ';';
constexpr const char* kLibrarySuffix = ".dll";
#else
constexpr char kListSeparator = ':';
constexpr const char* kLibrarySuffix = ".so";
#endif

std::vector<std::string> split_list(const std::string& list) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(list);
  while (std::getline(in, part, kListSeparator)) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

bool find(const char* what, const std::string& file, const std::vector<std::string>& folders,
          const char* variables, std::string* path, std::string* error) {
  std::error_code ec;
  if (file.empty()) {
    if (error) *error = std::string(what) + ": no file named";
    return false;
  }
  if (file.find_first_of("/\\") != std::string::npos) {
    if (fs::is_regular_file(file, ec)) {
      *path = file;
      return true;
    }
    if (error) *error = std::string(what) + " \"" + file + "\": no such file";
    return false;
  }
  for (const std::string& folder : folders) {
    const std::string candidate = hostkit::join_path(folder, file);
    if (fs::is_regular_file(candidate, ec)) {
      *path = candidate;
      return true;
    }
  }
  if (error) {
    std::string looked;
    for (const std::string& folder : folders) looked += (looked.empty() ? "" : ", ") + folder;
    *error = std::string(what) + " \"" + file + "\": not found in " +
             (looked.empty() ? std::string("any folder (") + variables + " are unset)" : looked);
  }
  return false;
}

}  // namespace

Environment process_environment() {
  return [](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
}

SearchPath search_path(const Environment& environment) {
  SearchPath s;
  s.libraries = split_list(environment("MI_LIBRARY_PATH").value_or(""));
  s.includes = split_list(environment("MI_RAY_INCPATH").value_or(""));
  for (const std::string& root : split_list(environment("MI_CUSTOM_SHADER_PATH").value_or(""))) {
    s.libraries.push_back(hostkit::join_path(root, "lib"));
    s.includes.push_back(hostkit::join_path(root, "include"));
  }
  return s;
}

std::string library_file_name(const std::string& shader) {
  return shader + kLibrarySuffix;
}

bool find_library(const std::string& file, const SearchPath& search, std::string* path,
                  std::string* error) {
  return find("link", file, search.libraries, "MI_LIBRARY_PATH and MI_CUSTOM_SHADER_PATH", path,
              error);
}

bool find_include(const std::string& file, const SearchPath& search, std::string* path,
                  std::string* error) {
  return find("$include", file, search.includes, "MI_RAY_INCPATH and MI_CUSTOM_SHADER_PATH", path,
              error);
}

bool resolve(const std::string& shader, const SearchPath& search, Paths* paths,
             std::string* error) {
  Paths found;
  found.shader = shader;
  if (!find_library(library_file_name(shader), search, &found.shader_library, error)) return false;
  if (!find_include(shader + ".mi", search, &found.declaration, error)) return false;
  *paths = found;
  return true;
}

}  // namespace mrhost
