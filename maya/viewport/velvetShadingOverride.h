// The node's Viewport 2.0 shading node override: it names the velvetSurface
// fragment graph (viewport/*.xml) as the node's look in the viewport, so that
// artists see velvet rather than Maya's Phong guess. Only builds for API
// 201400 and later, which have the override classes, carry it.
#ifndef VELVET_MAYA_VIEWPORT_VELVETSHADINGOVERRIDE_H
#define VELVET_MAYA_VIEWPORT_VELVETSHADINGOVERRIDE_H

#include <maya/MTypes.h>

#if MAYA_API_VERSION >= 201400

#include <maya/MObject.h>
#include <maya/MPxShadingNodeOverride.h>
#include <maya/MPxSurfaceShadingNodeOverride.h>
#include <maya/MString.h>
#include <maya/MViewport2Renderer.h>

class velvetShadingOverride : public MHWRender::MPxSurfaceShadingNodeOverride {
 public:
  // What MDrawRegistry calls for every velvet node Viewport 2.0 draws. It
  // registers the fragments first, the first time Viewport 2.0 is up (the
  // fragment manager does not exist before), and gives null while they
  // cannot be registered: the node then draws as Maya's fallback does and
  // still renders in software.
  static MHWRender::MPxSurfaceShadingNodeOverride* creator(const MObject& obj);
  // Removes the fragments this plug-in registered, if it did; at unload.
  static void deregisterFragments();

  ~velvetShadingOverride() override;

  MHWRender::DrawAPI supportedDrawAPIs() const override;
  MString fragmentName() const override;
  void getCustomMappings(MHWRender::MAttributeParameterMappingList& mappings) override;
  MString primaryColorParameter() const override;
  MString transparencyParameter() const override;
  MString bumpAttribute() const override;

 private:
  explicit velvetShadingOverride(const MObject& obj);
  static bool registerFragments();
};

#endif  // MAYA_API_VERSION >= 201400

#endif  // VELVET_MAYA_VIEWPORT_VELVETSHADINGOVERRIDE_H
