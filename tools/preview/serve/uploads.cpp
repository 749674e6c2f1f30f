#include "tools/preview/serve/uploads.h"

#include <algorithm>

#include "tools/preview/render/obj.h"
#include "tools/preview/render/texture_file.h"

namespace preview::serve {

std::string upload_name_problem(const std::string& name) {
  const std::string rule =
      "an uploaded file's name has no folder, quotes, backslashes or control characters, does "
      "not start with '.' and has at most " +
      std::to_string(kMaxUploadName) + " bytes";
  if (name.empty() || name.size() > kMaxUploadName || name[0] == '.') return rule;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f || c == '"' || c == '\\' || c == '/' || c == '\'' || c == '`') {
      return rule;
    }
  }
  return "";
}

template <typename T>
void Uploads::keep_newest(Kept<T>& kept, const std::string& name, std::shared_ptr<const T> item) {
  std::lock_guard<std::mutex> lock(mutex_);
  kept.erase(
      std::remove_if(kept.begin(), kept.end(), [&](const auto& k) { return k.first == name; }),
      kept.end());
  kept.emplace_back(name, std::move(item));
  while (kept.size() > keep_) kept.pop_front();
}

template <typename T>
std::shared_ptr<const T> Uploads::find(const Kept<T>& kept, const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [n, item] : kept) {
    if (n == name) return item;
  }
  return nullptr;
}

std::string Uploads::add_mesh(const std::string& name, const std::string& bytes,
                              std::string& read) {
  if (std::string problem = upload_name_problem(name); !problem.empty()) return problem;
  auto mesh = std::make_shared<Mesh>();
  std::string error;
  {
    std::lock_guard<std::mutex> one_at_a_time(reading_);
    if (!read_obj(bytes, name, *mesh, error)) return error;
  }
  read = std::to_string(mesh->triangles.size()) + " triangles, " +
         (mesh->has_uvs() ? "with" : "without") + " texture coordinates";
  keep_newest<Mesh>(meshes_, name, std::move(mesh));
  return "";
}

std::string Uploads::add_texture(const std::string& name, const std::string& bytes,
                                 std::string& read) {
  if (std::string problem = upload_name_problem(name); !problem.empty()) return problem;
  auto texture = std::make_shared<Texture>();
  std::string error;
  {
    std::lock_guard<std::mutex> one_at_a_time(reading_);
    if (!decode_texture(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), name,
                        *texture, error)) {
      return error;
    }
  }
  read = std::to_string(texture->width) + "x" + std::to_string(texture->height);
  keep_newest<Texture>(textures_, name, std::move(texture));
  return "";
}

std::shared_ptr<const Mesh> Uploads::mesh(const std::string& name) const {
  return find<Mesh>(meshes_, name);
}

std::shared_ptr<const Texture> Uploads::texture(const std::string& name) const {
  return find<Texture>(textures_, name);
}

}  // namespace preview::serve
