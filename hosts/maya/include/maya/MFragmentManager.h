// Viewport 2.0's store of shade fragments and fragment graphs (OpenMayaRender).
// A name can be registered once; registration from XML fails with "" and the
// reason on the standard error stream.
#ifndef MAYA_MFRAGMENTMANAGER_H
#define MAYA_MFRAGMENTMANAGER_H

#include <maya/MExport.h>
#include <maya/MString.h>
#include <maya/MTypes.h>
#include <maya/MViewport2Renderer.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

namespace MHWRender {

class OPENMAYARENDER_EXPORT MFragmentManager {
 public:
  bool hasFragment(const MString& fragmentName) const;
  // The registered name, or "" when the XML is refused.
  MString addShadeFragmentFromBuffer(const char* buffer, bool hidden);
  MString addShadeFragmentFromFile(const MString& fileName, bool hidden);
  MString addFragmentGraphFromBuffer(const char* buffer);
  MString addFragmentGraphFromFile(const MString& fileName);
  bool removeFragment(const MString& fragmentName);
  bool getFragmentXML(const MString& fragmentName, MString& buffer) const;
  // Debugging aids: where Maya writes the effects and graphs it builds.
  void setEffectOutputDirectory(const MString& dir);
  void setIntermediateGraphOutputDirectory(const MString& dir);

  MFragmentManager(const MFragmentManager&) = delete;
  MFragmentManager& operator=(const MFragmentManager&) = delete;

 private:
  friend class MRenderer;
  MFragmentManager() = default;
  ~MFragmentManager() = default;
};

}  // namespace MHWRender

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MFRAGMENTMANAGER_H
