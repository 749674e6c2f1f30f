// The tool's platform-specific code (platform.cpp): whether standard error is
// a terminal, and the running program's folder and environment
// (process_locate_context(), declared in hosts/locate.h).
#ifndef VELVET_TOOLS_PREVIEW_CLI_PLATFORM_H
#define VELVET_TOOLS_PREVIEW_CLI_PLATFORM_H

namespace preview {

// True when standard error is a terminal (the progress bar is drawn then).
bool stderr_is_terminal();

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_CLI_PLATFORM_H
