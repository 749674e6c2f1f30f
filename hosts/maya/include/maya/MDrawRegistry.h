// Where plug-ins register Viewport 2.0 overrides by draw classification
// (OpenMayaRender). The most specific classification wins; a surface
// shader's begins with "drawdb/shader/surface".
#ifndef MAYA_MDRAWREGISTRY_H
#define MAYA_MDRAWREGISTRY_H

#include <maya/MExport.h>
#include <maya/MObject.h>
#include <maya/MPxSurfaceShadingNodeOverride.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

namespace MHWRender {

class OPENMAYARENDER_EXPORT MDrawRegistry {
 public:
  typedef MPxSurfaceShadingNodeOverride* (*SurfaceShadingNodeOverrideCreator)(const MObject&);

  // kInvalidParameter for a bad, duplicate or unknown registration.
  static MStatus registerSurfaceShadingNodeOverrideCreator(
      const MString& drawClassification, const MString& registrantId,
      SurfaceShadingNodeOverrideCreator creator);
  static MStatus deregisterSurfaceShadingNodeOverrideCreator(const MString& drawClassification,
                                                             const MString& registrantId);

 private:
  MDrawRegistry() = delete;
};

}  // namespace MHWRender

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MDRAWREGISTRY_H
