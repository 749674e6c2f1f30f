#include "velvetShadingOverride.h"

#if MAYA_API_VERSION >= 201400

#include <maya/MFragmentManager.h>
#include <maya/MStatus.h>

#include <new>

#include "statusReport.h"
#include "velvetFragments.h"

namespace {

// Which fragments this plug-in registered itself, so that unload removes
// those and no other plug-in's, and whether a failure was reported already:
// a node drawn many times reports once per load. Touched only on Maya's main
// thread, where overrides are created and plug-ins load.
constexpr unsigned int kMaxFragments = 16;
bool registered[kMaxFragments] = {};
bool allRegistered = false;
bool reported = false;

void reportOnce(const char* file, int line, const char* what) {
  if (reported) return;
  reported = true;
  velvetReport::reportIfFailed(MStatus(MStatus::kFailure), file, line, what);
}

}  // namespace

bool velvetShadingOverride::registerFragments() {
  if (allRegistered) return true;
  MHWRender::MRenderer* renderer = MHWRender::MRenderer::theRenderer();
  MHWRender::MFragmentManager* manager =
      renderer != nullptr ? renderer->getFragmentManager() : nullptr;
  if (manager == nullptr) {
    reportOnce(__FILE__, __LINE__,
               "velvet: no Viewport 2.0 fragment manager; the node draws without its look");
    return false;
  }
  unsigned int count = 0;
  const velvetViewport::FragmentXml* fragments = velvetViewport::fragmentXml(count);
  // Leaf fragments come first in the list, the graph that uses them last.
  for (unsigned int i = 0; i < count && i < kMaxFragments; ++i) {
    if (registered[i] || manager->hasFragment(fragments[i].name)) continue;
    const MString name = fragments[i].graph
                             ? manager->addFragmentGraphFromBuffer(fragments[i].xml)
                             : manager->addShadeFragmentFromBuffer(fragments[i].xml, false);
    if (name != fragments[i].name) {
      reportOnce(__FILE__, __LINE__,
                 "velvet: Viewport 2.0 refused a shade fragment; the node draws without its look");
      return false;
    }
    registered[i] = true;
  }
  allRegistered = true;
  return true;
}

void velvetShadingOverride::deregisterFragments() {
  MHWRender::MRenderer* renderer = MHWRender::MRenderer::theRenderer();
  MHWRender::MFragmentManager* manager =
      renderer != nullptr ? renderer->getFragmentManager() : nullptr;
  unsigned int count = 0;
  const velvetViewport::FragmentXml* fragments = velvetViewport::fragmentXml(count);
  // The graph before the fragments it uses.
  for (unsigned int i = count < kMaxFragments ? count : kMaxFragments; i-- > 0;) {
    if (registered[i] && manager != nullptr) manager->removeFragment(fragments[i].name);
    registered[i] = false;
  }
  allRegistered = false;
  reported = false;
}

MHWRender::MPxSurfaceShadingNodeOverride* velvetShadingOverride::creator(const MObject& obj) {
  if (!registerFragments()) return nullptr;
  return new (std::nothrow) velvetShadingOverride(obj);
}

velvetShadingOverride::velvetShadingOverride(const MObject& obj)
    : MPxSurfaceShadingNodeOverride(obj) {}

velvetShadingOverride::~velvetShadingOverride() = default;

MHWRender::DrawAPI velvetShadingOverride::supportedDrawAPIs() const {
  // The graph has GLSL (OpenGL Core Profile) and HLSL (DirectX 11) code.
  return MHWRender::kAllDevices;
}

MString velvetShadingOverride::fragmentName() const {
  return velvetViewport::kGraphName;
}

void velvetShadingOverride::getCustomMappings(MHWRender::MAttributeParameterMappingList&) {
  // Every graph property that takes a node attribute carries the attribute's
  // name and type (color, transparency, ambientColor, incandescence, diffuse,
  // translucence, backscatter, edginess, roughness, specularColor), so Maya
  // maps them all by name; the lighting inputs are Maya's own, and the
  // normal reaches Nw through bumpAttribute(). Nothing needs a mapping of
  // its own.
}

MString velvetShadingOverride::primaryColorParameter() const {
  return "color";
}

MString velvetShadingOverride::transparencyParameter() const {
  return "transparency";
}

MString velvetShadingOverride::bumpAttribute() const {
  return "normalCamera";
}

#endif  // MAYA_API_VERSION >= 201400
