// Files the tool saves into a folder, and nowhere else: the page's Save and
// "Save as look" and the command line's --save-look. Each is written whole
// into a fresh temporary file in the folder and then renamed over its name,
// so a link placed there is replaced, never followed, and a reader never
// sees half a file. A set of files is written whole or not at all.
// Platform code, as cli/platform.cpp is.
#ifndef VELVET_TOOLS_PREVIEW_RENDER_OUT_FOLDER_H
#define VELVET_TOOLS_PREVIEW_RENDER_OUT_FOLDER_H

#include <string>
#include <utility>
#include <vector>

namespace preview {

// A file name in the folder (no separator) and its bytes.
using FileBytes = std::pair<std::string, std::vector<unsigned char>>;

// Creates `dir` if needed and writes every file of `files` into it: all of
// them or, on any failure, none (the files they would replace stay as they
// were). Returns an empty string and the paths written, or the message.
std::string write_files(const std::string& dir, const std::vector<FileBytes>& files,
                        std::vector<std::string>& wrote);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_RENDER_OUT_FOLDER_H
