// Wavefront OBJ meshes for the preview scene, read with tinyobjloader (an
// optional feature, Debian package libtinyobjloader-dev). Only the file the
// user named is read: material libraries (mtllib) and anything else the file
// points to are ignored.
#ifndef VELVET_TOOLS_PREVIEW_RENDER_OBJ_H
#define VELVET_TOOLS_PREVIEW_RENDER_OBJ_H

#include <cstdint>
#include <string>

#include "tools/preview/render/mesh.h"

namespace preview {

// The largest mesh read: the file's size, and its triangles once polygons
// are split into fans. Past these the preview would take minutes to trace.
constexpr std::uintmax_t kMaxObjBytes = std::uintmax_t{64} << 20;  // 64 MiB
constexpr std::size_t kMaxObjTriangles = 2'000'000;

// True when the tool is built with tinyobjloader.
bool obj_available();

// Reads `path` into `out` (built, ready for hits): positions, the file's
// normals or, when any corner lacks one, smooth ones, and UVs when every
// corner has one. False with a message naming the file for a file that is
// missing, unreadable, too large, has no faces or an index out of range, or
// in a build without tinyobjloader.
bool load_obj(const std::string& path, Mesh& out, std::string& error);

// The same from a file's bytes in memory (an upload); messages name `name`.
bool read_obj(const std::string& bytes, const std::string& name, Mesh& out, std::string& error);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_RENDER_OBJ_H
