// Reading textures from the files the user named: PNG, or OpenEXR where the
// tool is built with it.
#ifndef VELVET_TOOLS_PREVIEW_RENDER_TEXTURE_FILE_H
#define VELVET_TOOLS_PREVIEW_RENDER_TEXTURE_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/preview/hosts/texture.h"

namespace preview {

// The largest texture file read: past any 16-bit RGBA or float RGB image of
// kMaxTexels, with room for its headers.
constexpr std::uintmax_t kMaxTextureFileBytes = std::uintmax_t{320} << 20;  // 320 MiB

// Reads `path` into `out` by its contents (a PNG signature, or an OpenEXR
// one): 8-bit sRGB PNGs are linearised, EXR is taken as linear. On failure
// (missing, unreadable, not an image, too large, EXR without OpenEXR)
// returns false with a message naming the file.
bool load_texture(const std::string& path, Texture& out, std::string& error);

// The same from a file's bytes in memory (an upload); messages name `name`.
bool decode_texture(const unsigned char* data, std::size_t size, const std::string& name,
                    Texture& out, std::string& error);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_RENDER_TEXTURE_FILE_H
