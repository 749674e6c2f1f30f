// The phases of the command line's run(), one file each: validate
// (validate.cpp: flags into a checked request, then values against the
// loaded hosts), load (load.cpp: the hosts' plug-ins and the looks), act
// (act.cpp: list, render, sweep, compare and the other modes) and write
// (write.cpp: image files, saved looks, the report). For the cli/*.cpp
// files only; everything else goes through cli.h.
//
// Errors travel as exceptions up to run(), which prints them: a UsageError is
// bad input (exit code 2, nothing written yet), a Failure anything that went
// wrong after the input was accepted (exit code 1).
#ifndef VELVET_TOOLS_PREVIEW_CLI_PHASES_H
#define VELVET_TOOLS_PREVIEW_CLI_PHASES_H

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tools/preview/cli/cli.h"
#include "tools/preview/look/looks.h"
#include "tools/preview/look/params.h"
#include "tools/preview/render/render.h"
#include "tools/preview/render/scene.h"
#include "tools/preview/render/settings.h"
#include "tools/preview/render/texture_file.h"

namespace preview::cli {

struct UsageError {
  std::string message;
};

struct Failure {
  std::string message;
};

using Host = LoadedHost;

// What the flags ask for, each value checked on its own (the values of host
// parameters are checked against the hosts once they are loaded).
struct Request {
  SceneOptions scene;
  int threads = 0;
  std::string out_dir = ".";
  std::vector<std::string> hosts;  // flags of the selected hosts, empty for all
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> params;
  std::map<std::string, std::string> plugin_paths;
  std::optional<std::pair<std::string, std::string>> sweep;
  bool compare = false;
  bool list = false;
  bool where = false;  // --hosts without a list
  bool help = false;
  std::optional<std::string> look;
  bool list_looks = false;
  std::map<std::string, std::string> look_paths;  // by host flag: --maya-presets, ...
  std::optional<std::string> save_look;
  bool serve = false;
  std::optional<int> port;
  std::string look_flag;  // the last scene or material flag given, "" for none

  // --<host>'s NAME=VALUE texts for `flag`, and --<host>-plugin's path ("" when
  // not given).
  const std::vector<std::pair<std::string, std::string>>& params_of(const std::string& flag) const;
  std::string plugin_path(const std::string& flag) const;
};

// By host, in the order of the loaded hosts: each parameter's value in the
// order set.
using HostValues = std::vector<std::vector<std::pair<std::string, ParamValue>>>;

// By host, in the order of the loaded hosts: the colour inputs connected to
// a texture (--<host> NAME=@FILE), each name once.
using HostTextures =
    std::vector<std::vector<std::pair<std::string, std::shared_ptr<const Texture>>>>;

// Every value a render sets, checked against the hosts' parameters, with
// the files the flags name (textures, the mesh) read and checked.
struct Settings {
  HostValues values;                           // set before rendering
  HostTextures textures;                       // connected after the values
  std::shared_ptr<const Mesh> mesh;            // what --mesh names, read
  std::vector<std::vector<ParamValue>> sweep;  // by host, one per column
  std::vector<std::string> sweep_texts;        // the columns' values as given
};

// What a mode produces: the images to write, by file name, and the lines
// printed after them.
struct Output {
  std::vector<std::pair<std::string, Image>> files;
  std::string summary;
};

// --- validate (validate.cpp) ---

// The flags alone, as parse_look() reads the live preview's looks too:
// throws UsageError for a flag or value that no host could accept.
// With `look_only`, any flag but a look setting (a scene setting the table
// marks so, or a host's NAME=VALUE) is refused by name.
Request parse_flags(const std::vector<std::string>& args, const CliEnvironment& env,
                    bool look_only = false);

// parse_flags(), then the checks that need the environment's hosts: the
// selected hosts (all built ones when none are named), and the modes that
// need both. --help returns before those checks.
Request validate(const std::vector<std::string>& args, const CliEnvironment& env);

// `name`=`text` for one host, parsed for the parameter's type.
ParamValue checked_value(const Host& host, const std::string& name, const std::string& text);

// Where NAME=@FILE finds FILE's texture; throws UsageError naming the file
// when it has none.
using TextureFinder = std::function<std::shared_ptr<const Texture>(const std::string& file)>;

// One host's NAME=TEXT settings, in order, into `values` and `textures`: a
// value checked for its parameter, or NAME=@FILE, which must be a colour,
// through `find` (null: no texture is taken, as in a look file). The last
// setting of a name wins, texture or value.
void checked_params(const Host& host, const std::vector<std::pair<std::string, std::string>>& given,
                    std::vector<std::pair<std::string, ParamValue>>& values,
                    std::vector<std::pair<std::string, std::shared_ptr<const Texture>>>& textures,
                    const TextureFinder& find);

// One host's values of a look, checked against the host's own names and
// types; every error names the file and line.
std::vector<std::pair<std::string, ParamValue>> look_values(const Host& host,
                                                            const LookSource& source);

// Everything the request sets on each host, checked before anything is
// rendered or written: --compare's lobe-only settings, then the look's, then
// the flags', and the sweep's columns.
Settings checked_settings(const Request& request, const std::vector<Host>& hosts,
                          const std::vector<NamedLook>& looks);

// --- load (load.cpp) ---

// Loads the selected hosts' plug-ins, in the order selected. A host that
// cannot load is a Failure, not bad input.
std::vector<Host> load_hosts(const Request& request, const CliEnvironment& env);

// The look files as the flags, or else the environment's defaults, name them.
LookFiles look_files(const Request& request, const CliEnvironment& env);

// The looks for --look and --list-looks: checked_looks(), where no look file
// named anywhere is bad input.
std::vector<NamedLook> requested_looks(const LookFiles& files, const std::vector<Host>& hosts);

// Reads and checks every look for the hosts: each must exist for both hosts
// and hold only names and values its host accepts.
std::vector<NamedLook> checked_looks(const LookFiles& files, const std::vector<Host>& hosts);

// The look's source in `host`'s files, or null.
const LookSource* source_for(const NamedLook& look, const HostEntry& host);

// "file:line" of a look.
std::string where(const LookSource& source);

// --- act (act.cpp); each returns the exit code or what to write ---

int act_help(const CliEnvironment& env, std::ostream& out);
int act_where(const Request& request, const CliEnvironment& env, std::ostream& out);
int act_list_looks(const LookFiles& files, const std::vector<NamedLook>& looks, std::ostream& out);
int act_serve(const Request& request, const CliEnvironment& env, std::vector<Host>& hosts);
// Also names the built hosts that show another's plug-in, loaded or not.
int act_list(const std::vector<Host>& hosts, const CliEnvironment& env, std::ostream& out);

// Each host's image and the overview of all of them.
Output act_render(const Request& request, const CliEnvironment& env, std::vector<Host>& hosts,
                  const Settings& settings);
// The contact sheet: a column per swept value, a row per host.
Output act_sweep(const Request& request, const CliEnvironment& env, std::vector<Host>& hosts,
                 const Settings& settings);
// act_render() of the lobe alone, plus the difference image and its summary.
Output act_compare(const Request& request, const CliEnvironment& env, std::vector<Host>& hosts,
                   const Settings& settings);

// The rendering threads the request asks for, or the environment's default.
int thread_count(const Request& request, const CliEnvironment& env);

// --- write (write.cpp) ---

// Creates the output folder; a Failure if it cannot be made.
void make_out_dir(const std::string& dir);

// Writes `output`'s files (the .png ones alone in a build without OpenEXR),
// the saved look if the request asks for one, then the summary; each file
// written is reported on `out`. Throws Failure with the first error.
void write_output(const Request& request, const std::vector<Host>& hosts, const Settings& settings,
                  Output output, int threads, std::ostream& out);

// Writes each host's values, each name once with its last value, as a new
// look's preset file and shader block. Throws Failure.
void save_look(const std::string& name, const std::string& dir, const std::vector<Host>& hosts,
               const HostValues& values, std::vector<std::string>& wrote);

}  // namespace preview::cli

#endif  // VELVET_TOOLS_PREVIEW_CLI_PHASES_H
