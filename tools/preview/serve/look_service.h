// The live preview's look service: the one look on screen, which every open
// page shows and changes. A change names only the settings it changes and is
// laid over the look, so that pages never undo each other's changes; each
// accepted change gets the next generation and goes to the render worker.
// The service also answers what the look is in each host's own words (the
// hand-over, through the look writers) and saves it as a new look.
#ifndef VELVET_TOOLS_PREVIEW_SERVE_LOOK_SERVICE_H
#define VELVET_TOOLS_PREVIEW_SERVE_LOOK_SERVICE_H

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/preview/cli/cli.h"
#include "tools/preview/render/settings.h"
#include "tools/preview/serve/render_worker.h"
#include "tools/preview/serve/uploads.h"

namespace preview::serve {

// A change from a page: scene flags and host values as the command line
// writes them, in the order given. Besides the command line's, the scene
// takes "mesh", an uploaded mesh's name ("" for the shapes), and a colour
// takes "@NAME", an uploaded texture.
struct LookChange {
  std::vector<std::pair<std::string, std::string>> scene;  // flag, text
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> hosts;
};

// The look on screen.
struct LookState {
  std::uint64_t generation = 0;
  Look look;
  // Every look setting's text, then "mesh" (the uploaded mesh shown, "" for
  // none).
  std::vector<std::pair<std::string, std::string>> scene;
};

class LookService {
 public:
  // Reads each host's defaults (queries that must not run beside the
  // worker, hence here) and gives the worker the default look. Meshes and
  // textures come from `uploads` (none when null).
  LookService(const std::vector<LoadedHost>& hosts, RenderWorker& worker,
              const Uploads* uploads = nullptr);

  // Lays `change` over the look. Refuses, naming the key, anything that is
  // not a page's to set, and any value the command line would refuse (with
  // its message); the look then stays as it was.
  std::string apply(const LookChange& change, LookState& out);

  LookState current() const;

  // Every control's value (a colour with its channels) after `look` is set
  // on a fresh node, per host; names without a known value are left out.
  std::vector<std::pair<std::string, ParamValue>> settings(std::size_t host,
                                                           const Look& look) const;

  // `host`'s colours connected to a texture, and the texture's name.
  std::vector<std::pair<std::string, std::string>> connections(std::size_t host,
                                                               const Look& look) const;

  // The look as a command line.
  std::string command_line(const Look& look) const;
  // The look as `host`'s hand-over text (its entry's writer), every setting
  // included, so that it gives the same look whatever node it is applied to.
  std::string handover(std::size_t host, const Look& look) const;

  // The files of the look saved as `name`, one per host in its look format,
  // every setting included, as the hand-over.
  std::string look_files(const std::string& name, const Look& look,
                         std::vector<std::pair<std::string, std::string>>& files) const;

 private:
  struct Defaults {
    std::vector<ParamValue> value;
    std::vector<bool> known;  // false where the host declares none
    // A colour's or vector's channel (Maya's colorR): the colour's index and
    // the channel's; -1 for the rest.
    std::vector<int> parent, channel;
  };

  // The look's assignments that change a fresh node, per host: the last of
  // each name, defaults at the start dropped.
  std::vector<std::pair<std::string, ParamValue>> changes(std::size_t host, const Look& look) const;
  RenderJob job(std::uint64_t generation, const Look& look) const;
  LookState state() const;  // under mutex_
  std::optional<std::size_t> host_index(const std::string& flag) const;

  const std::vector<LoadedHost>& hosts_;
  RenderWorker& worker_;
  const Uploads* uploads_;
  std::vector<Defaults> defaults_;

  mutable std::mutex mutex_;
  std::uint64_t generation_ = 1;
  // The look as the pages sent it, each key once, in the order first set.
  std::vector<std::pair<std::string, std::string>> scene_;
  std::vector<std::vector<std::pair<std::string, std::string>>> values_;  // by host
  Look look_;
};

}  // namespace preview::serve

#endif  // VELVET_TOOLS_PREVIEW_SERVE_LOOK_SERVICE_H
