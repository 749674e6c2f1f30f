// The driver's side of the stand-in Viewport 2.0 (<mayahost/viewport.h>):
// building the shader that draws a node through its override.
#include <mayahost/viewport.h>
#include <mayahost/viewport_testing.h>

#include <maya/MDrawRegistry.h>
#include <maya/MPxShadingNodeOverride.h>
#include <maya/MPxSurfaceShadingNodeOverride.h>

#include <cstdlib>
#include <memory>
#include <sstream>

#include "render_state.h"
#include "shader_access.h"

#if defined(MAYAHOST_WITH_FRAGMENT_XML)
#include "effect_builder.h"
#endif

namespace mayahost::viewport {

using detail::renderState;

void setRendererUp(bool up) {
  renderState().up = up;
}

bool canReadFragments() {
#if defined(MAYAHOST_WITH_FRAGMENT_XML)
  return true;
#else
  return false;
#endif
}

void refuseFragmentRegistration(unsigned n) {
  renderState().refuseIn = n;
}

std::vector<std::string> fragmentNames() {
#if defined(MAYAHOST_WITH_FRAGMENT_XML)
  return renderState().fragments.names();
#else
  return {};
#endif
}

std::vector<OverrideRegistration> overrideRegistrations() {
  std::vector<OverrideRegistration> out;
  for (const auto& c : renderState().creators)
    out.push_back({c.drawClassification, c.registrantId});
  return out;
}

namespace {

// The registered creator for the most specific of the type's draw
// classifications ("shader/surface:drawdb/shader/surface/velvet").
const detail::OverrideCreator* creatorFor(const std::string& classification) {
  const detail::OverrideCreator* best = nullptr;
  std::stringstream parts(classification);
  for (std::string part; std::getline(parts, part, ':');) {
    if (part.rfind("drawdb/", 0) != 0) continue;
    for (const auto& c : renderState().creators) {
      const std::string& d = c.drawClassification;
      const bool matches =
          part == d || (part.rfind(d, 0) == 0 && part.size() > d.size() && part[d.size()] == '/');
      if (matches && (best == nullptr || d.size() > best->drawClassification.size())) best = &c;
    }
  }
  return best;
}

}  // namespace

Status buildShader(Node& node, MHWRender::DrawAPI api, Shader* shader) {
  if (!node.valid()) return Status::error("no node");
  NodeTypeInfo type;
  Status st = nodeType(node.typeName(), &type);
  if (!st) return st;
  const detail::OverrideCreator* creator = creatorFor(type.classification);
  if (creator == nullptr) {
    return Status::error("node type '" + type.name + "' (classification '" + type.classification +
                         "') has no Viewport 2.0 override");
  }
  std::unique_ptr<MHWRender::MPxSurfaceShadingNodeOverride> override(
      creator->creator(node.instance()->thisMObject()));
  if (!override) {
    return Status::error("the override creator for '" + creator->drawClassification +
                         "' made no override");
  }
  *shader = Shader();
  shader->drawApis = static_cast<int>(override->supportedDrawAPIs());
  if ((shader->drawApis & api) == 0) {
    return Status::error("Failed to create evaluator for '" + type.name +
                         "': the drawing API is not supported by its override");
  }
  MHWRender::MAttributeParameterMappingList mappings;
  override->getCustomMappings(mappings);
  shader->fragmentName = override->fragmentName().asChar();
  shader->primaryColorParameter = override->primaryColorParameter().asChar();
  shader->transparencyParameter = override->transparencyParameter().asChar();
  shader->bumpAttribute = override->bumpAttribute().asChar();

#if defined(MAYAHOST_WITH_FRAGMENT_XML)
  if (MHWRender::MRenderer::theRenderer()->getFragmentManager() == nullptr) {
    return Status::error("Viewport 2.0 is not up");
  }
  detail::vp2::Effect effect;
  std::string error;
  shader->language = api == MHWRender::kDirectX11 ? "HLSL" : "GLSL";
  if (!detail::vp2::buildEffect(renderState().fragments, shader->fragmentName, shader->language,
                                &effect, &error)) {
    return Status::error(error);
  }
  shader->source = effect.source;

  // The struct members become the node's outputs: each must be one, but for
  // the final surface colour that Maya reads itself.
  for (const auto& m : effect.outputs) {
    AttributeInfo info;
    const bool output = attribute(type.name, m.name, &info).ok() && !info.writable;
    if (!output && m.name != "outSurfaceFinal") {
      return Status::error("the output struct of '" + shader->fragmentName + "' has member '" +
                           m.name + "', which matches no output of node type '" + type.name + "'");
    }
    shader->outputs.push_back(m.name);
  }
  // Bump is mapped onto the graph's Nw: without an Nw there is no bump.
  bool hasNw = false;
  for (const auto& p : renderState().fragments.graph(shader->fragmentName)->properties) {
    hasNw = hasNw || p.name == "Nw";
  }
  AttributeInfo bump;
  shader->bumpReachesNw = hasNw && !shader->bumpAttribute.empty() &&
                          attribute(type.name, shader->bumpAttribute, &bump).ok();

  // Custom mappings first, then attributes of the same name and type, then
  // the graph's default.
  for (const auto& p : effect.uniforms) {
    Uniform u;
    u.parameter = p.name;
    u.type = p.type;
    const std::size_t n = p.type == "float3" ? 3 : 1;
    std::string attr;
    if (const auto* m = mappings.findByParameterName(p.name.c_str())) {
      attr = m->attributeName().asChar();
    } else {
      AttributeInfo info;
      const bool sameType = attribute(type.name, p.name, &info).ok() &&
                            ((n == 3 && info.type == ValueType::kFloat3) ||
                             (n == 1 && info.type == ValueType::kFloat));
      if (sameType) attr = p.name;
    }
    std::vector<float> value;
    if (!attr.empty() && node.get(attr, &value).ok() && value.size() == n) {
      u.attribute = attr;
      u.value = value;
    } else {
      auto d = effect.defaults.find(p.name);
      std::stringstream text(d != effect.defaults.end() ? d->second : "");
      for (std::string part; std::getline(text, part, ',');) {
        u.value.push_back(std::strtof(part.c_str(), nullptr));
      }
      u.value.resize(n, u.value.empty() ? 0.0f : u.value.back());
    }
    shader->uniforms.push_back(u);
  }
  override->updateDG();
  detail::ShaderAccess::with(shader, [&](MHWRender::MShaderInstance& instance) {
    override->updateShader(instance, mappings);
  });
  return Status();
#else
  return Status::error("the stand-in Viewport 2.0 was built without pugixml: no fragments");
#endif
}

}  // namespace mayahost::viewport
