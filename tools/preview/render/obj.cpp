#include "tools/preview/render/obj.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#if defined(VELVET_PREVIEW_WITH_TINYOBJ)
#include <tiny_obj_loader.h>
#endif

namespace preview {

#if defined(VELVET_PREVIEW_WITH_TINYOBJ)

bool obj_available() {
  return true;
}

namespace {

// Reads the OBJ text in `in`, named `name` in messages and in the mesh.
bool parse_obj(std::istream& in, const std::string& name, Mesh& out, std::string& error) {
  const std::string what = "mesh " + name + ": ";
  tinyobj::attrib_t attrib;
  std::vector<tinyobj::shape_t> shapes;
  std::vector<tinyobj::material_t> materials;
  std::string warn, err;
  // No material reader: nothing but this file is opened. Polygons are split
  // here, after their indices are checked, not by the loader.
  if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, &in, nullptr, false)) {
    error = what + "not a readable OBJ file" + (err.empty() ? "" : " (" + err + ")");
    while (!error.empty() && error.back() == '\n') error.pop_back();
    return false;
  }

  Mesh mesh;
  mesh.name = name;
  const std::size_t nv = attrib.vertices.size() / 3;
  const std::size_t nn = attrib.normals.size() / 3;
  const std::size_t nt = attrib.texcoords.size() / 2;
  for (const float f : attrib.vertices) {
    if (!std::isfinite(f)) {
      error = what + "a vertex has a coordinate that is not a finite number";
      return false;
    }
  }
  for (std::size_t i = 0; i < nv; ++i) {
    mesh.positions.push_back(
        {attrib.vertices[3 * i], attrib.vertices[3 * i + 1], attrib.vertices[3 * i + 2]});
  }
  for (std::size_t i = 0; i < nn; ++i) {
    mesh.normals.push_back(
        {attrib.normals[3 * i], attrib.normals[3 * i + 1], attrib.normals[3 * i + 2]});
  }
  for (std::size_t i = 0; i < nt; ++i) {
    mesh.uvs.push_back({attrib.texcoords[2 * i], attrib.texcoords[2 * i + 1]});
  }
  bool all_normals = nn > 0, all_uvs = nt > 0;
  const auto in_range = [](int index, std::size_t size) {
    return index >= 0 && static_cast<std::size_t>(index) < size;
  };
  for (const tinyobj::shape_t& shape : shapes) {
    std::size_t offset = 0;
    for (const auto corners : shape.mesh.num_face_vertices) {
      if (offset + corners > shape.mesh.indices.size()) {
        error = what + "a face of '" + shape.name + "' runs past the file's indices";
        return false;
      }
      const tinyobj::index_t* face = &shape.mesh.indices[offset];
      offset += corners;
      for (std::size_t k = 0; k < corners; ++k) {
        if (!in_range(face[k].vertex_index, nv)) {
          error = what + "a face of '" + shape.name + "' names vertex " +
                  std::to_string(face[k].vertex_index + 1) + " of " + std::to_string(nv);
          return false;
        }
        if (face[k].normal_index >= 0 && !in_range(face[k].normal_index, nn)) {
          error = what + "a face of '" + shape.name + "' names normal " +
                  std::to_string(face[k].normal_index + 1) + " of " + std::to_string(nn);
          return false;
        }
        if (face[k].texcoord_index >= 0 && !in_range(face[k].texcoord_index, nt)) {
          error = what + "a face of '" + shape.name + "' names texture coordinate " +
                  std::to_string(face[k].texcoord_index + 1) + " of " + std::to_string(nt);
          return false;
        }
        all_normals = all_normals && face[k].normal_index >= 0;
        all_uvs = all_uvs && face[k].texcoord_index >= 0;
      }
      // A fan from the first corner; lines and points (fewer than three
      // corners) are not faces.
      for (std::size_t k = 1; k + 1 < corners; ++k) {
        if (mesh.triangles.size() == kMaxObjTriangles) {
          error = what + "more than " + std::to_string(kMaxObjTriangles) +
                  " triangles, more than a mesh may have";
          return false;
        }
        Triangle t;
        const tinyobj::index_t c[3] = {face[0], face[k], face[k + 1]};
        for (int j = 0; j < 3; ++j) {
          t.position[j] = static_cast<std::uint32_t>(c[j].vertex_index);
          t.normal[j] = static_cast<std::uint32_t>(c[j].normal_index < 0 ? 0 : c[j].normal_index);
          t.uv[j] = static_cast<std::uint32_t>(c[j].texcoord_index < 0 ? 0 : c[j].texcoord_index);
        }
        mesh.triangles.push_back(t);
      }
    }
  }
  if (mesh.triangles.empty()) {
    error = what + "no faces";
    return false;
  }
  if (!all_normals) mesh.smooth_normals();
  if (!all_uvs) mesh.uvs.clear();
  mesh.build();
  out = std::move(mesh);
  return true;
}

bool too_large(const std::string& name, std::uintmax_t bytes, std::string& error) {
  if (bytes <= kMaxObjBytes) return false;
  error = "mesh " + name + ": " + std::to_string(bytes) + " bytes is more than a mesh may be (" +
          std::to_string(kMaxObjBytes >> 20) + " MiB)";
  return true;
}

}  // namespace

bool load_obj(const std::string& path, Mesh& out, std::string& error) {
  const std::string what = "mesh " + path + ": ";
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    error = what + "no such file";
    return false;
  }
  const std::uintmax_t bytes = std::filesystem::file_size(path, ec);
  if (ec) {
    error = what + "cannot read its size (" + ec.message() + ")";
    return false;
  }
  if (too_large(path, bytes, error)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = what + "cannot open the file";
    return false;
  }
  return parse_obj(in, path, out, error);
}

bool read_obj(const std::string& bytes, const std::string& name, Mesh& out, std::string& error) {
  if (too_large(name, bytes.size(), error)) return false;
  std::istringstream in(bytes);
  return parse_obj(in, name, out, error);
}

#else

bool obj_available() {
  return false;
}

bool load_obj(const std::string& path, Mesh&, std::string& error) {
  error = "mesh " + path +
          ": this build reads no OBJ files (install libtinyobjloader-dev and reconfigure)";
  return false;
}

bool read_obj(const std::string&, const std::string& name, Mesh& out, std::string& error) {
  return load_obj(name, out, error);
}

#endif

}  // namespace preview
