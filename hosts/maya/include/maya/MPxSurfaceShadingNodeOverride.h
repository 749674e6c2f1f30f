// Viewport 2.0 overrides for surface shaders (OpenMayaRender): the shading
// node override plus which parameters Maya treats as the primary colour and
// the transparency, and which attribute carries bump onto Nw.
#ifndef MAYA_MPXSURFACESHADINGNODEOVERRIDE_H
#define MAYA_MPXSURFACESHADINGNODEOVERRIDE_H

#include <maya/MExport.h>
#include <maya/MObject.h>
#include <maya/MPxShadingNodeOverride.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

namespace MHWRender {

class OPENMAYARENDER_EXPORT MPxSurfaceShadingNodeOverride : public MPxShadingNodeOverride {
 public:
  explicit MPxSurfaceShadingNodeOverride(const MObject& obj);
  ~MPxSurfaceShadingNodeOverride() override;

  // Asked after getCustomMappings(); each defaults to "".
  // A float3 parameter that takes a connected texture's default colour.
  virtual MString primaryColorParameter() const;
  // A float or float3 parameter Maya watches to sort transparent objects.
  virtual MString transparencyParameter() const;
  // A node attribute (usually normalCamera) that Maya maps onto Nw for bump.
  virtual MString bumpAttribute() const;
};

}  // namespace MHWRender

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MPXSURFACESHADINGNODEOVERRIDE_H
