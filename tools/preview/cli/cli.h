// The velvet-preview command line: parses the flags, checks every parameter
// against the hosts before anything is rendered, renders and writes images.
#ifndef VELVET_TOOLS_PREVIEW_CLI_CLI_H
#define VELVET_TOOLS_PREVIEW_CLI_CLI_H

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tools/preview/hosts/backend.h"
#include "tools/preview/hosts/hosts.h"
#include "tools/preview/hosts/locate.h"
#include "tools/preview/look/looks.h"
#include "tools/preview/render/scene.h"

namespace preview {

// A host whose plug-in is loaded.
struct LoadedHost {
  const HostEntry* entry;
  std::unique_ptr<Backend> backend;
};

// The port --serve listens on when --port is not given.
constexpr int kDefaultPort = 8642;

struct ServeOptions {
  int port = kDefaultPort;  // 0: any free port
  std::string out_dir;      // where "Save" writes
  int threads = 1;
  LookFiles looks;  // the looks the page offers
};

struct CliEnvironment {
  std::vector<HostEntry> hosts;
  std::ostream* out;
  std::ostream* err;
  bool err_is_terminal = false;  // draws the progress bar
  int default_threads = 1;
  LookFiles looks;  // where --look finds looks unless flags say otherwise
  // Serves the live preview page (--serve) through the loaded hosts until
  // interrupted and returns the exit code. Null in a build without it.
  std::function<int(std::vector<LoadedHost>& hosts, const ServeOptions& options, std::ostream& out,
                    std::ostream& err)>
      serve;
  // Stop once every flag and value has been checked against the hosts, before
  // anything is rendered or written; the exit code is what a full run's would
  // be up to that point.
  bool check_only = false;
};

// Exit codes: 0 done, 1 a failure while rendering or writing, 2 bad input
// (then nothing has been written).
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int run(const std::vector<std::string>& args, const CliEnvironment& env);

// A look: the scene and, by host flag, each host's checked values in the
// order given.
struct Look {
  SceneOptions scene;
  std::map<std::string, std::vector<std::pair<std::string, ParamValue>>> values;
  // By host flag, each colour connected to a texture (NAME=@FILE), connected
  // after the values; a later value of the same name disconnects it.
  std::map<std::string, std::vector<std::pair<std::string, std::shared_ptr<const Texture>>>>
      textures;
  std::shared_ptr<const Mesh> mesh;  // what scene.mesh names, when it names one
};

// The texture a look's NAME=@FILE names, from somewhere other than the
// machine's files (the page's uploads); null when it has none of that name.
using TextureSource = std::function<std::shared_ptr<const Texture>(const std::string& file)>;

// Reads scene flags and --<host> NAME=VALUE flags exactly as run() does,
// checking each value against the parameters of `hosts`. Returns an empty
// string, or the message that run() prints for the same flags (any other
// flag is refused).
// NAME=@FILE takes FILE from `textures`, which says in its message what it
// has; without it a look names no texture. Files are never read here.
std::string parse_look(const std::vector<std::string>& args, const std::vector<LoadedHost>& hosts,
                       Look& out, const TextureSource& textures = nullptr,
                       const std::string& textures_missing = "");

// The looks in `files`, checked against `hosts` as --list-looks checks them,
// each with the values it sets on each host (--look's values), sorted by
// name. Returns an empty string, or the message --list-looks prints.
std::string read_looks(const LookFiles& files, const std::vector<LoadedHost>& hosts,
                       std::vector<std::pair<std::string, Look>>& out);

// Writes `look`'s values as the new look `name`, as --save-look does: for
// each of `hosts`, each name once with its last value, into `dir` as a Maya
// preset (<name>.mel) or a shader block (<name>.mi). Returns an empty string
// and the paths written, or the message.
std::string write_look(const std::string& name, const std::string& dir,
                       const std::vector<LoadedHost>& hosts, const Look& look,
                       std::vector<std::string>& wrote);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_CLI_CLI_H
