// Handing a textured colour over to the hosts: how to connect an image to
// the material in Maya (a `file` texture node, in MEL) and in mental ray (a
// texture and a texture shader, in .mi), as the preview connects it.
#ifndef VELVET_TOOLS_PREVIEW_LOOK_TEXTURE_HANDOVER_H
#define VELVET_TOOLS_PREVIEW_LOOK_TEXTURE_HANDOVER_H

#include <string>

namespace preview {

// A node or shader name made from the file's name: its stem, with every
// character other than a letter, digit or '_' made '_', after a letter.
std::string texture_node_name(const std::string& file);

// MEL that makes a `file` node (with its place2dTexture) reading `file`
// (as given: the command line makes it absolute) and connects its outColor to `attribute` of the
// selected velvet node, or of a new one. sRGB for a PNG, Raw (linear) for an EXR.
std::string mel_file_texture(const std::string& attribute, const std::string& file);

// .mi lines declaring `file` as a colour texture and a lookup shader on the
// first texture space, and the line that connects `parameter` of the
// krel_velvet shader block to it.
std::string mi_texture_shader(const std::string& parameter, const std::string& file);

// What the tool prints for one textured input: a sentence saying where the
// text goes, then the text above. One per host, for its entry.
using TextureHandoverWriter = std::string (*)(const std::string& input, const std::string& file);
std::string mel_texture_handover(const std::string& attribute, const std::string& file);
std::string mi_texture_handover(const std::string& parameter, const std::string& file);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_LOOK_TEXTURE_HANDOVER_H
