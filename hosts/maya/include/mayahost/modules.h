// Maya modules, as the stand-in host finds them: module description files
// (*.mod) in the folders on MAYA_MODULE_PATH, the plug-in and script paths
// they add to, and loading a plug-in by name the way `loadPlugin` does.
//
//   mayahost::SearchPaths paths;
//   mayahost::Status st = mayahost::resolveModules(mayahost::processEnvironment(),
//                                                  mayahost::HostInfo(), &paths);
//   if (st) st = mayahost::loadPlugin(plugin, "velvet", paths);
//
// The syntax read, one section per module, from its + line to the next:
//
//   + [MAYAVERSION:2025] [PLATFORM:linux|win64|mac] [LOCALE:en_US] NAME VERSION PATH
//   [r] plug-ins: FOLDER      also scripts:, icons:, presets:; [r] takes subfolders too
//   VAR=VALUE                 set;      VAR+=VALUE   append
//   VAR:=FOLDER               set a folder relative to the module; VAR+:=FOLDER append one
//
// PATH is relative to the .mod file, the folders relative to PATH; a module
// without an override uses PATH/plug-ins, PATH/scripts, PATH/icons and
// PATH/presets. A "-" line in place of "+" describes a module switched off.
// As studios write them: blanks around the operators, tabs, blank lines,
// Windows line ends, a UTF-8 byte-order mark, PATH and folders in double
// quotes. Lines starting with '#' or '//' are comments; as in Maya, a comment
// ends the reading of a section, so the rest of it counts for nothing.
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
  // The modules the file's malformed lines cost, where their names could be
  // read.
  std::vector<std::string> modules;
};

// Parses the text of a module description file. Touches no file: `text` is
// all it reads. Fills `modules` with every module it can read fully; a
// malformed line costs only the module it belongs to. When any line is
// malformed it returns false and fills `error` with the first such line and
// the reason, and with the names of the modules that were dropped.
OPENMAYA_EXPORT bool parseModuleFile(const std::string& text,
                                     std::vector<ModuleDescription>* modules,
                                     ModuleSyntaxError* error);

// ---- Resolving modules into search paths ---------------------------------

// What the host is, for the conditions of + lines.
struct HostInfo {
  std::string mayaVersion = currentRelease();
  std::string platform = currentPlatformName();
  std::string locale = "en_US";
  OPENMAYA_EXPORT static std::string currentPlatformName();  // "linux", "win64" or "mac"
  // The Maya release of the host's MAYA_API_VERSION: "2009" for 200900,
  // "2025" for 20250000.
  OPENMAYA_EXPORT static std::string currentRelease();
};

// An environment variable's value, or nothing when it is unset.
using Environment = std::function<std::optional<std::string>(const std::string& name)>;
OPENMAYA_EXPORT Environment processEnvironment();

struct ResolvedModule {
  std::string file;  // the .mod file
  int line = 0;
  std::string name, version;
  std::string conditions;  // as matched, e.g. "MAYAVERSION:2025 PLATFORM:linux"; empty if none
  std::string root;        // the module's folder
  std::vector<std::string> plugIns, scripts, icons, presets;  // [r] expanded
};

// A module section that does not apply to this host, and why.
struct SkippedModule {
  std::string file;
  int line = 0;
  std::string name;
  std::string reason;  // e.g. "MAYAVERSION:2024, this host is Maya 2025"
};

// A module file that could not be fully read: the first bad line and the
// modules it cost. Its other modules count.
struct UnreadableModuleFile {
  std::string file;
  int line = 0;  // 0 when the file itself could not be read
  std::string message;
  std::vector<std::string> modules;
};

struct SearchPaths {
  std::vector<ResolvedModule> modules;           // the first module of each name, in path order
  std::vector<SkippedModule> skipped;            // sections for another host, or switched off
  std::vector<UnreadableModuleFile> unreadable;  // one per file
  std::vector<std::string> plugInPath;           // MAYA_PLUG_IN_PATH, then the modules' folders
  std::vector<std::string> scriptPath;           // MAYA_SCRIPT_PATH, then the modules' folders
  std::vector<std::string> iconPath;             // XBMLANGPATH, then the modules' folders
  // Every variable the modules set, with its final value, in first-set order.
  std::vector<std::pair<std::string, std::string>> variables;
};

// Reads every *.mod file (in name order) in each folder on MAYA_MODULE_PATH
// and builds the search paths. Folders that do not exist are skipped, as
// Maya skips them. As Maya does, a file that cannot be read, or lines that
// are malformed, cost only the modules they hold: each such file is listed
// once in `unreadable`, and the search goes on.
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
