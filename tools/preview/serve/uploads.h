// Files the page uploads: OBJ meshes and textures, read from a request's
// bytes and kept in memory under the name the page gives them, the newest
// few of each kind. A look names them as the command line names files
// (`--maya color=@fabric.png`), but only what was uploaded is ever found:
// the page can never name a file on this machine. Nothing here touches the
// disk.
#ifndef VELVET_TOOLS_PREVIEW_SERVE_UPLOADS_H
#define VELVET_TOOLS_PREVIEW_SERVE_UPLOADS_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "tools/preview/hosts/texture.h"
#include "tools/preview/render/mesh.h"

namespace preview::serve {

// The longest name an upload may have, in bytes.
constexpr std::size_t kMaxUploadName = 128;

// Why `name` cannot name an upload, or "" when it can: a file name as a
// browser gives it, without a folder, quotes, backslashes or control
// characters (it goes into hand-over texts), not starting with '.'.
std::string upload_name_problem(const std::string& name);

class Uploads {
 public:
  // Keeps the newest `keep` meshes and the newest `keep` textures.
  explicit Uploads(std::size_t keep = 4) : keep_(keep) {}

  // Reads `bytes` as an OBJ mesh, or a PNG or OpenEXR texture, named `name`
  // and keeps it, replacing any of that kind and name. Returns "" and a
  // short description of what was read ("1,200 triangles, with UVs"), or
  // the message naming the file; a refused file changes nothing.
  std::string add_mesh(const std::string& name, const std::string& bytes, std::string& read);
  std::string add_texture(const std::string& name, const std::string& bytes, std::string& read);

  // What was kept under `name`; null when nothing (or no longer).
  std::shared_ptr<const Mesh> mesh(const std::string& name) const;
  std::shared_ptr<const Texture> texture(const std::string& name) const;

  std::size_t keep() const { return keep_; }

 private:
  template <typename T>
  using Kept = std::deque<std::pair<std::string, std::shared_ptr<const T>>>;  // oldest first
  // Checks the name, reads the file with `read_into(item, error)`, one at
  // a time, and keeps it as the newest of `kept`; "" or the message.
  template <typename T, typename Read>
  std::string add(Kept<T>& kept, const std::string& name, Read read_into,
                  std::shared_ptr<const T>& out);
  template <typename T>
  std::shared_ptr<const T> find(const Kept<T>& kept, const std::string& name) const;

  std::size_t keep_;
  // One file is read at a time: a large texture takes hundreds of MiB while
  // it is decoded.
  std::mutex reading_;
  mutable std::mutex mutex_;
  Kept<Mesh> meshes_;
  Kept<Texture> textures_;
};

}  // namespace preview::serve

#endif  // VELVET_TOOLS_PREVIEW_SERVE_UPLOADS_H
