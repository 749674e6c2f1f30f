// Reading textures from the files the user named: PNG, or OpenEXR where the
// tool is built with it.
#ifndef VELVET_TOOLS_PREVIEW_RENDER_TEXTURE_FILE_H
#define VELVET_TOOLS_PREVIEW_RENDER_TEXTURE_FILE_H

#include <string>

#include "tools/preview/hosts/texture.h"

namespace preview {

// Reads `path` into `out` by its contents (a PNG signature, or an OpenEXR
// one): 8-bit sRGB PNGs are linearised, EXR is taken as linear. On failure
// (missing, unreadable, not an image, too large, EXR without OpenEXR)
// returns false with a message naming the file.
bool load_texture(const std::string& path, Texture& out, std::string& error);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_RENDER_TEXTURE_FILE_H
