// Paths in the one form that the stand-in hosts and the preview tool print,
// compare and join: lexically normal, with forward slashes. On Windows a UNC
// name (\\server\share\...) stays one: MinGW-w64's std::filesystem knows no
// UNC root and folds its two leading slashes into one, which would turn a
// share into a folder of the current drive.
#ifndef HOSTKIT_PATHS_H
#define HOSTKIT_PATHS_H

#include <string>

namespace hostkit {

// `path` lexically normal, with forward slashes; on Windows, backslashes
// become forward slashes too and a UNC prefix //server/share is kept as it is.
std::string normal_path(const std::string& path);

// normal_path(folder + "/" + name).
std::string join_path(const std::string& folder, const std::string& name);

}  // namespace hostkit

#endif  // HOSTKIT_PATHS_H
