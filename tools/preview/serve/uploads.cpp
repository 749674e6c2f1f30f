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
std::shared_ptr<const T> Uploads::find(const Kept<T>& kept, const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [n, item] : kept) {
    if (n == name) return item;
  }
  return nullptr;
}

template <typename T, typename Read>
std::string Uploads::add(Kept<T>& kept, const std::string& name, Read read_into,
                         std::shared_ptr<const T>& out) {
  if (std::string problem = upload_name_problem(name); !problem.empty()) return problem;
  auto item = std::make_shared<T>();
  std::string error;
  {
    std::lock_guard<std::mutex> one_at_a_time(reading_);
    if (!read_into(*item, error)) return error;
  }
  out = item;
  std::lock_guard<std::mutex> lock(mutex_);
  kept.erase(
      std::remove_if(kept.begin(), kept.end(), [&](const auto& k) { return k.first == name; }),
      kept.end());
  kept.emplace_back(name, std::move(item));
  while (kept.size() > keep_) kept.pop_front();
  return "";
}

std::string Uploads::add_mesh(const std::string& name, const std::string& bytes,
                              std::string& read) {
  std::shared_ptr<const Mesh> mesh;
  const std::string error = add<Mesh>(
      meshes_, name, [&](Mesh& m, std::string& e) { return read_obj(bytes, name, m, e); }, mesh);
  if (error.empty()) {
    read = std::to_string(mesh->triangles.size()) + " triangles, " +
           (mesh->has_uvs() ? "with" : "without") + " texture coordinates";
  }
  return error;
}

std::string Uploads::add_texture(const std::string& name, const std::string& bytes,
                                 std::string& read) {
  std::shared_ptr<const Texture> texture;
  const std::string error = add<Texture>(
      textures_, name,
      [&](Texture& t, std::string& e) {
        return decode_texture(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                              name, t, e);
      },
      texture);
  if (error.empty()) read = std::to_string(texture->width) + "x" + std::to_string(texture->height);
  return error;
}

std::shared_ptr<const Mesh> Uploads::mesh(const std::string& name) const {
  return find<Mesh>(meshes_, name);
}

std::shared_ptr<const Texture> Uploads::texture(const std::string& name) const {
  return find<Texture>(textures_, name);
}

}  // namespace preview::serve
