// The stand-in Viewport 2.0, played by the driver: whether Viewport 2.0 is
// up, what plug-ins registered with it, and the shader it builds to draw a
// node through the node's shading node override. Library OpenMayaRender,
// built with devkit flavours for API 201400 and later.
//
//   mayahost::viewport::Shader shader;
//   mayahost::Status st = mayahost::viewport::buildShader(node, MHWRender::kOpenGLCoreProfile,
//                                                         &shader);
//   // shader.source: a GLSL pixel shader (see <mayahost/effect_layout.h>),
//   // shader.uniforms: its inputs with the node's values
//
// Part of the driver: tests and tools include it; plug-ins never do.
// Threads: one at a time, as Maya's main thread draws.
#ifndef MAYAHOST_VIEWPORT_H
#define MAYAHOST_VIEWPORT_H

#include <maya/MExport.h>
#include <maya/MViewport2Renderer.h>
#include <mayahost/node.h>
#include <mayahost/status.h>

#include <string>
#include <vector>

namespace mayahost::viewport {

// Up by default, as in an interactive session. Down, the renderer has no
// fragment manager, as before Viewport 2.0 starts or in a batch render. A
// build without pugixml has none either: it cannot read fragment XML.
OPENMAYARENDER_EXPORT void setRendererUp(bool up);
OPENMAYARENDER_EXPORT bool canReadFragments();

// Fragments and graphs registered, in registration order.
OPENMAYARENDER_EXPORT std::vector<std::string> fragmentNames();

struct OverrideRegistration {
  std::string drawClassification, registrantId;
};
OPENMAYARENDER_EXPORT std::vector<OverrideRegistration> overrideRegistrations();

// A shader input and the value Viewport 2.0 gives it.
struct Uniform {
  std::string parameter;  // the graph property; the shader's uniform is "u_" + it
  std::string type;       // float, float3
  std::string attribute;  // the node attribute it is mapped to, "" for none
  std::vector<float> value;
};

struct Shader {
  std::string fragmentName;
  int drawApis = 0;  // the override's supportedDrawAPIs()
  std::string primaryColorParameter, transparencyParameter, bumpAttribute;
  bool bumpReachesNw = false;  // bumpAttribute() names an attribute and the graph has Nw
  std::string language;        // GLSL (OpenGL, Core Profile) or HLSL (DirectX 11)
  std::string source;
  std::vector<Uniform> uniforms;
  std::vector<std::string> outputs;  // one colour attachment each, in order
};

// What Viewport 2.0 does to draw `node` on `api`: makes the override
// registered for the most specific of the node type's draw classifications,
// asks it for its fragment, mappings and parameters, builds the effect and
// gives each input the node's value. Refused with the reason Maya gives: no
// override, the creator returned null, the draw API not supported, no such
// fragment graph, or an output struct member that is no output of the node.
OPENMAYARENDER_EXPORT Status buildShader(Node& node, MHWRender::DrawAPI api, Shader* shader);

}  // namespace mayahost::viewport

#endif  // MAYAHOST_VIEWPORT_H
