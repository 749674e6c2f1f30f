// Where the stand-in renderer finds a shader's files: the search paths of
// the renderer's environment variables, and the `link` and `$include`
// look-ups on them. Part of the driver (renderer.h includes it); any code
// may include it.
#ifndef MRHOST_SEARCH_PATH_H
#define MRHOST_SEARCH_PATH_H

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mrhost {

// The files a shader needs: its library, the renderer's host module and the
// .mi declaration.
struct Paths {
  std::string shader_library;
  // Empty: the renderer's own module, mrhost_module.so (.dll), opened by
  // its bare name so that the program's run path (its own folder on
  // Windows) finds it.
  std::string host_module;
  std::string declaration;
  // The shader the declaration must declare; empty takes whatever it does.
  std::string shader;
};

// Where the renderer looks for what a scene's `link` and `$include` name:
// the folders of MI_LIBRARY_PATH and MI_RAY_INCPATH, then lib/ and include/
// under each folder of MI_CUSTOM_SHADER_PATH (as mental ray inside Maya
// does).
struct SearchPath {
  std::vector<std::string> libraries;
  std::vector<std::string> includes;
};
// An environment variable's value, or nothing when it is unset.
using Environment = std::function<std::optional<std::string>(const std::string& name)>;
Environment process_environment();
SearchPath search_path(const Environment& environment);

// The shader library's file name on this platform ("krel_velvet.so").
std::string library_file_name(const std::string& shader);

// `link "file"` and `$include "file"`: a name with a folder is taken as it
// is, a bare name from the first folder that holds it. False with a message
// saying where it looked.
bool find_library(const std::string& file, const SearchPath& search, std::string* path,
                  std::string* error);
bool find_include(const std::string& file, const SearchPath& search, std::string* path,
                  std::string* error);

// The paths of `shader` as a scene would name them (`link "<shader>.so"`,
// `$include "<shader>.mi"`), found on `search`; the host module is left to
// the program's run path.
bool resolve(const std::string& shader, const SearchPath& search, Paths* paths, std::string* error);

}  // namespace mrhost

#endif  // MRHOST_SEARCH_PATH_H
