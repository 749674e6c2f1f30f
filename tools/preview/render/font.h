// A 5 x 7 pixel font for the captions of contact sheets.
#ifndef VELVET_TOOLS_PREVIEW_RENDER_FONT_H
#define VELVET_TOOLS_PREVIEW_RENDER_FONT_H

namespace preview {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

// Seven rows, top first; bit 4 is the leftmost column. Characters without a
// glyph get a question mark.
const unsigned char* glyph(char c);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_RENDER_FONT_H
