// How the plug-in reports a failed host call: "API error detected in <file>
// at line <n>" on the standard error stream, then the status's own text, and
// it carries on. Pipelines that watch Maya's error stream read this format.
#ifndef VELVET_MAYA_STATUSREPORT_H
#define VELVET_MAYA_STATUSREPORT_H

#include <maya/MStatus.h>

#include <iostream>

namespace velvetReport {

// `text` goes to MStatus::perror: empty for the node's own reports.
inline void reportIfFailed(const MStatus& status, const char* file, int line,
                           const char* text = "") {
  if (status) return;
  std::cerr << "\nAPI error detected in " << file << " at line " << line << std::endl;
  status.perror(text);
}

}  // namespace velvetReport

#define VELVET_CHECK(status) velvetReport::reportIfFailed((status), __FILE__, __LINE__)

#endif  // VELVET_MAYA_STATUSREPORT_H
