// Maya modules, as the stand-in host finds them: module description files
// (*.mod) in the folders on MAYA_MODULE_PATH, the plug-in and script paths
// they add to, and loading a plug-in by name the way `loadPlugin` does.
//
//   mayahost::SearchPaths paths;
//   mayahost::Status st = mayahost::resolveModules(mayahost::processEnvironment(),
//                                                  mayahost::HostInfo(), &paths);
//   if (st) st = mayahost::loadPlugin(plugin, "velvet", paths);
//
// The syntax read, one block per module, a blank line ending a block:
//
//   + [MAYAVERSION:2009] [PLATFORM:linux|win64|mac] [LOCALE:en_US] NAME VERSION PATH
//   [r] plug-ins: FOLDER      also scripts:, icons:, presets:; [r] takes subfolders too
//   VAR=VALUE                 set;      VAR+=VALUE   append
//   VAR:=FOLDER               set a folder relative to the module; VAR+:=FOLDER append one
//
// PATH is relative to the .mod file, the folders relative to PATH; a module
// without an override uses PATH/plug-ins, PATH/scripts, PATH/icons and
// PATH/presets. A "-" line in place of "+" describes a module switched off.
// Lines starting with '#' are comments.
#ifndef MAYAHOST_MODULES_H
#define MAYAHOST_MODULES_H

#include <maya/MExport.h>
#include <mayahost/plugin.h>
#include <mayahost/status.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mayahost {

// ---- One .mod file, as text ------------------------------------------------

struct ModuleFolder {
  std::string path;  // as written; empty when not overridden
  bool recursive = false;
};

struct ModuleVariable {
  std::string name, value;  // value as written
  bool append = false;      // += and +:=
  bool relative = false;    // := and +:= (a folder relative to the module)
  bool recursive = false;   // [r]
  int line = 0;
};

struct ModuleDescription {
  int line = 0;                               // of the + or - line
  bool enabled = true;                        // false for a "-" line
  std::string mayaVersion, platform, locale;  // conditions; empty matches any
  std::string name, version, path;
  ModuleFolder plugIns, scripts, icons, presets;
  std::vector<ModuleVariable> variables;  // in file order
};

struct ModuleSyntaxError {
  int line = 0;
  std::string message;
};

// Parses the text of a module description file. Touches no file: `text` is
// all it reads. On a malformed line it returns false, fills `error` with the
// line number and the reason, and leaves `modules` as far as it got.
OPENMAYA_EXPORT bool parseModuleFile(const std::string& text,
                                     std::vector<ModuleDescription>* modules,
                                     ModuleSyntaxError* error);

// ---- Resolving modules into search paths ---------------------------------

// What the host is, for the conditions of + lines.
struct HostInfo {
  std::string mayaVersion = "2009";  // the release of API version 200900
  std::string platform = currentPlatformName();
  std::string locale = "en_US";
  OPENMAYA_EXPORT static std::string currentPlatformName();  // "linux", "win64" or "mac"
};

// An environment variable's value, or nothing when it is unset.
using Environment = std::function<std::optional<std::string>(const std::string& name)>;
OPENMAYA_EXPORT Environment processEnvironment();

struct ResolvedModule {
  std::string file;  // the .mod file
  int line = 0;
  std::string name, version;
  std::string root;                                           // the module's folder
  std::vector<std::string> plugIns, scripts, icons, presets;  // [r] expanded
};

struct SearchPaths {
  std::vector<ResolvedModule> modules;  // the first module of each name, in path order
  std::vector<std::string> plugInPath;  // MAYA_PLUG_IN_PATH, then the modules' folders
  std::vector<std::string> scriptPath;  // MAYA_SCRIPT_PATH, then the modules' folders
  std::vector<std::string> iconPath;    // XBMLANGPATH, then the modules' folders
  // Every variable the modules set, with its final value, in first-set order.
  std::vector<std::pair<std::string, std::string>> variables;
};

// Reads every *.mod file (in name order) in each folder on MAYA_MODULE_PATH
// and builds the search paths. Folders that do not exist are skipped, as
// Maya skips them; a file that cannot be read or is malformed is an error
// naming the file and the line.
OPENMAYA_EXPORT Status resolveModules(const Environment& environment, const HostInfo& host,
                                      SearchPaths* paths);

// The plug-in file `loadPlugin nameOrPath` would load: a path (anything with
// a folder separator) as it is, with the platform's plug-in suffix added if
// the file lacks it; a bare name ("velvet" or "velvet.so") from the first
// folder on the plug-in path that holds it. The error says where it looked,
// and names any module whose plug-in folder holds nothing.
OPENMAYA_EXPORT Status findPlugin(const std::string& nameOrPath, const SearchPaths& paths,
                                  std::string* file);

// `loadPlugin nameOrPath`: findPlugin, then Plugin::load on what it found.
OPENMAYA_EXPORT Status loadPlugin(Plugin& plugin, const std::string& nameOrPath,
                                  const SearchPaths& paths);

// The platform's plug-in file suffix (".so", ".mll", ".bundle") and the
// separator of path lists (':' or ';').
OPENMAYA_EXPORT const char* pluginSuffix();
OPENMAYA_EXPORT char pathListSeparator();

}  // namespace mayahost

#endif  // MAYAHOST_MODULES_H
