// The stand-in OpenMayaRender's API classes: the renderer and its fragment
// manager, the draw registry, shading node overrides and their mappings,
// and shader instances.
#include <maya/MDrawRegistry.h>
#include <maya/MFragmentManager.h>
#include <maya/MPxShadingNodeOverride.h>
#include <maya/MPxSurfaceShadingNodeOverride.h>
#include <maya/MShaderManager.h>
#include <maya/MViewport2Renderer.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "render_state.h"
#include "shader_access.h"

namespace mayahost::detail {

RenderState& renderState() {
  // Never destroyed: plug-ins may still call in while the process exits.
  static RenderState* state = new RenderState;
  return *state;
}

}  // namespace mayahost::detail

using mayahost::detail::renderState;

OPENMAYA_MAJOR_NAMESPACE_OPEN

namespace MHWRender {

// ---- MRenderer, MFragmentManager -----------------------------------------------

MRenderer* MRenderer::theRenderer(bool) {
  static MRenderer* renderer = new MRenderer;
  return renderer;
}

MFragmentManager* MRenderer::getFragmentManager() const {
#if defined(MAYAHOST_WITH_FRAGMENT_XML)
  static MFragmentManager* manager = new MFragmentManager;
  return renderState().up ? manager : nullptr;
#else
  return nullptr;
#endif
}

namespace {

// Counts a registration; true when the test support says to refuse it.
bool refusedByTest() {
  unsigned& n = renderState().refuseIn;
  if (n == 0) return false;
  return --n == 0;
}

MString add(const char* buffer, bool graph) {
#if defined(MAYAHOST_WITH_FRAGMENT_XML)
  std::string error;
  std::string name;
  if (refusedByTest()) {
    error = "the fragment manager refused the registration (test)";
  } else {
    auto& fragments = renderState().fragments;
    name = graph ? fragments.addGraph(buffer, &error) : fragments.addFragment(buffer, &error);
  }
  // Maya writes what is wrong with the XML to the standard error stream.
  if (name.empty()) std::cerr << "MFragmentManager: " << error << std::endl;
  return MString(name.c_str());
#else
  (void)buffer;
  (void)graph;
  return MString();
#endif
}

std::string readFile(const MString& path, bool* ok) {
  std::ifstream in(path.asChar(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  *ok = static_cast<bool>(in);
  return text.str();
}

}  // namespace

bool MFragmentManager::hasFragment(const MString& name) const {
#if defined(MAYAHOST_WITH_FRAGMENT_XML)
  return renderState().fragments.has(name.asChar());
#else
  (void)name;
  return false;
#endif
}

MString MFragmentManager::addShadeFragmentFromBuffer(const char* buffer, bool) {
  return add(buffer, false);
}

MString MFragmentManager::addFragmentGraphFromBuffer(const char* buffer) {
  return add(buffer, true);
}

MString MFragmentManager::addShadeFragmentFromFile(const MString& fileName, bool hidden) {
  bool ok = false;
  const std::string text = readFile(fileName, &ok);
  if (!ok) {
    std::cerr << "MFragmentManager: cannot read " << fileName.asChar() << std::endl;
    return MString();
  }
  return addShadeFragmentFromBuffer(text.c_str(), hidden);
}

MString MFragmentManager::addFragmentGraphFromFile(const MString& fileName) {
  bool ok = false;
  const std::string text = readFile(fileName, &ok);
  if (!ok) {
    std::cerr << "MFragmentManager: cannot read " << fileName.asChar() << std::endl;
    return MString();
  }
  return addFragmentGraphFromBuffer(text.c_str());
}

bool MFragmentManager::removeFragment(const MString& name) {
#if defined(MAYAHOST_WITH_FRAGMENT_XML)
  return renderState().fragments.remove(name.asChar());
#else
  (void)name;
  return false;
#endif
}

bool MFragmentManager::getFragmentXML(const MString& name, MString& buffer) const {
#if defined(MAYAHOST_WITH_FRAGMENT_XML)
  std::string text;
  if (!renderState().fragments.xml(name.asChar(), &text)) return false;
  buffer = MString(text.c_str());
  return true;
#else
  (void)name;
  (void)buffer;
  return false;
#endif
}

void MFragmentManager::setEffectOutputDirectory(const MString&) {}
void MFragmentManager::setIntermediateGraphOutputDirectory(const MString&) {}

// ---- MDrawRegistry -----------------------------------------------------------------

MStatus MDrawRegistry::registerSurfaceShadingNodeOverrideCreator(
    const MString& drawClassification, const MString& registrantId,
    SurfaceShadingNodeOverrideCreator creator) {
  const std::string classification = drawClassification.asChar();
  if (classification.rfind("drawdb/shader/surface", 0) != 0 || registrantId.length() == 0 ||
      creator == nullptr) {
    return MStatus::kInvalidParameter;
  }
  for (const auto& c : renderState().creators) {
    if (c.drawClassification == classification) return MStatus::kInvalidParameter;
  }
  renderState().creators.push_back({classification, registrantId.asChar(), creator});
  return MStatus::kSuccess;
}

MStatus MDrawRegistry::deregisterSurfaceShadingNodeOverrideCreator(
    const MString& drawClassification, const MString& registrantId) {
  auto& creators = renderState().creators;
  for (auto it = creators.begin(); it != creators.end(); ++it) {
    if (it->drawClassification == drawClassification.asChar() &&
        it->registrantId == registrantId.asChar()) {
      creators.erase(it);
      return MStatus::kSuccess;
    }
  }
  return MStatus::kInvalidParameter;
}

// ---- Mappings ------------------------------------------------------------------------

MAttributeParameterMapping::MAttributeParameterMapping(const MString& paramName,
                                                       const MString& attrName,
                                                       bool allowConnection, bool allowRename)
    : parameter_(paramName),
      resolved_(paramName),
      attribute_(attrName),
      allowConnection_(allowConnection),
      allowRename_(allowRename) {}

MString MAttributeParameterMapping::parameterName() const {
  return parameter_;
}
MString MAttributeParameterMapping::resolvedParameterName() const {
  return resolved_;
}
MString MAttributeParameterMapping::attributeName() const {
  return attribute_;
}
bool MAttributeParameterMapping::allowConnection() const {
  return allowConnection_;
}
bool MAttributeParameterMapping::allowRename() const {
  return allowRename_;
}

MAttributeParameterMappingList::MAttributeParameterMappingList()
    : mappings_(new std::vector<MAttributeParameterMapping>) {}
MAttributeParameterMappingList::~MAttributeParameterMappingList() {
  delete mappings_;
}
unsigned int MAttributeParameterMappingList::length() const {
  return static_cast<unsigned int>(mappings_->size());
}
const MAttributeParameterMapping* MAttributeParameterMappingList::getMapping(
    unsigned int index) const {
  return index < mappings_->size() ? &(*mappings_)[index] : nullptr;
}
const MAttributeParameterMapping* MAttributeParameterMappingList::findByAttributeName(
    const MString& attributeName) const {
  for (const auto& m : *mappings_) {
    if (m.attributeName() == attributeName) return &m;
  }
  return nullptr;
}
const MAttributeParameterMapping* MAttributeParameterMappingList::findByParameterName(
    const MString& parameterName) const {
  for (const auto& m : *mappings_) {
    if (m.parameterName() == parameterName) return &m;
  }
  return nullptr;
}
void MAttributeParameterMappingList::append(const MAttributeParameterMapping& mapping) {
  mappings_->push_back(mapping);
}
void MAttributeParameterMappingList::clear() {
  mappings_->clear();
}

// ---- Overrides -------------------------------------------------------------------------

MPxShadingNodeOverride::MPxShadingNodeOverride(const MObject& obj) : node_(obj) {}
MPxShadingNodeOverride::~MPxShadingNodeOverride() = default;
DrawAPI MPxShadingNodeOverride::supportedDrawAPIs() const {
  return kOpenGL;
}
void MPxShadingNodeOverride::getCustomMappings(MAttributeParameterMappingList&) {}
bool MPxShadingNodeOverride::allowConnections() const {
  return true;
}
MString MPxShadingNodeOverride::outputForConnection(const MPlug&, const MPlug&) {
  return MString();
}
bool MPxShadingNodeOverride::valueChangeRequiresFragmentRebuild(const MPlug*) const {
  return false;
}
void MPxShadingNodeOverride::updateDG() {}
void MPxShadingNodeOverride::updateShader(MShaderInstance&, const MAttributeParameterMappingList&) {
}

MPxSurfaceShadingNodeOverride::MPxSurfaceShadingNodeOverride(const MObject& obj)
    : MPxShadingNodeOverride(obj) {}
MPxSurfaceShadingNodeOverride::~MPxSurfaceShadingNodeOverride() = default;
MString MPxSurfaceShadingNodeOverride::primaryColorParameter() const {
  return MString();
}
MString MPxSurfaceShadingNodeOverride::transparencyParameter() const {
  return MString();
}
MString MPxSurfaceShadingNodeOverride::bumpAttribute() const {
  return MString();
}

// ---- MShaderInstance --------------------------------------------------------------------

namespace {
MStatus setValue(void* shader, const MString& name, const float* values, unsigned count) {
  auto* s = static_cast<mayahost::viewport::Shader*>(shader);
  if (s == nullptr) return MStatus::kFailure;
  for (auto& u : s->uniforms) {
    if (u.parameter != name.asChar()) continue;
    if (u.value.size() != count) return MStatus::kInvalidParameter;
    u.value.assign(values, values + count);
    return MStatus::kSuccess;
  }
  return MStatus::kInvalidParameter;
}
}  // namespace

MStatus MShaderInstance::setParameter(const MString& name, float value) {
  return setValue(shader_, name, &value, 1);
}
MStatus MShaderInstance::setParameter(const MString& name, const float* value) {
  auto* s = static_cast<mayahost::viewport::Shader*>(shader_);
  if (s == nullptr || value == nullptr) return MStatus::kInvalidParameter;
  for (const auto& u : s->uniforms) {
    if (u.parameter == name.asChar()) {
      return setValue(shader_, name, value, static_cast<unsigned>(u.value.size()));
    }
  }
  return MStatus::kInvalidParameter;
}
MStatus MShaderInstance::setParameter(const MString& name, bool value) {
  const float f = value ? 1.0f : 0.0f;
  return setValue(shader_, name, &f, 1);
}
MStatus MShaderInstance::setParameter(const MString& name, int value) {
  const float f = static_cast<float>(value);
  return setValue(shader_, name, &f, 1);
}

}  // namespace MHWRender

OPENMAYA_NAMESPACE_CLOSE
