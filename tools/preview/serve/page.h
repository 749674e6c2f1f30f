// The live preview's page, built into the tool from tools/preview/serve/page/.
#ifndef VELVET_TOOLS_PREVIEW_SERVE_PAGE_H
#define VELVET_TOOLS_PREVIEW_SERVE_PAGE_H

#include <cstddef>

namespace preview::serve {

struct PageFile {
  const char* path;  // "/index.html"
  const char* content_type;
  const unsigned char* data;
  std::size_t size;
};

// Every file of the page; `count` receives their number.
const PageFile* page_files(std::size_t& count);

}  // namespace preview::serve

#endif  // VELVET_TOOLS_PREVIEW_SERVE_PAGE_H
