// Generating one pixel shader from a fragment graph (see effect_builder.h).
#include "effect_builder.h"

#include <mayahost/effect_layout.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

namespace mayahost::detail::vp2 {

namespace {

enum class Stage { kBefore, kLight, kAfter };

bool perLightInput(const std::string& name) {
  return name == "Lw" || name == "HLw" || name == "SLw" || name == "diffuseI" ||
         name == "specularI";
}
bool perPixelInput(const std::string& name) {
  return name == "Nw" || name == "Vw" || name == "ambientIn";
}

struct Language {
  bool glsl;
  std::string type(const Parameter& p) const {
    if (p.type == "struct" || p.type == "alias") return p.structName;
    if (!glsl) return p.type;
    if (p.type == "float2") return "vec2";
    if (p.type == "float3") return "vec3";
    if (p.type == "float4") return "vec4";
    if (p.type == "int2") return "ivec2";
    if (p.type == "int3") return "ivec3";
    if (p.type == "int4") return "ivec4";
    return p.type;
  }
  // A literal of the property's type from a value text ("0.5,0.5,0.5").
  std::string literal(const Parameter& p, const std::string& value) const {
    std::string v = value.empty() ? "0" : value;
    int components = 1;
    if (p.type.size() > 1 && std::isdigit(static_cast<unsigned char>(p.type.back()))) {
      components = p.type.back() - '0';
    }
    std::vector<std::string> parts;
    std::stringstream in(v);
    for (std::string part; std::getline(in, part, ',');) {
      if (part.find_first_of(".eE") == std::string::npos && p.type.rfind("float", 0) == 0) {
        part += ".0";
      }
      parts.push_back(part);
    }
    while (static_cast<int>(parts.size()) < components) parts.push_back(parts.back());
    if (components == 1) return parts[0];
    std::string out = type(p) + "(";
    for (int i = 0; i < components; ++i) out += (i ? ", " : "") + parts[static_cast<size_t>(i)];
    return out + ")";
  }
};

std::string variable(const std::string& instance, const std::string& parameter) {
  return instance + "_" + parameter;
}

}  // namespace

bool isMayaInput(const std::string& name) {
  return perLightInput(name) || perPixelInput(name);
}

bool buildEffect(const FragmentLibrary& library, const std::string& graphName,
                 const std::string& language, Effect* effect, std::string* error) {
  const Graph* graph = library.graph(graphName);
  if (graph == nullptr) {
    *error = "no fragment graph '" + graphName + "' is registered";
    return false;
  }
  const Language lang{language == "GLSL"};
  if (!lang.glsl && language != "HLSL") {
    *error = "no effect in " + language;
    return false;
  }
  effect->language = language;
  effect->uniforms.clear();
  effect->defaults = graph->values;
  effect->outputs.clear();

  std::map<std::string, const Fragment*> fragments;
  for (const FragmentRef& r : graph->fragments) fragments[r.name] = library.fragment(r.ref);
  for (const auto& [name, f] : fragments) {
    if (f == nullptr) {
      *error = "graph '" + graphName + "': fragment '" + name + "' is no longer registered";
      return false;
    }
    if (f->type != "accum" && f->implementation(language) == nullptr) {
      *error = "fragment '" + f->name + "' has no " + language + " implementation";
      return false;
    }
  }

  // What feeds each instance input: "c:inst.param", "p:property" or nothing.
  std::map<std::string, std::string> feed;
  for (const Connection& c : graph->connections) {
    feed[c.toInstance + "." + c.toParameter] = "c:" + c.fromInstance + "." + c.fromParameter;
  }
  for (const Parameter& p : graph->properties) feed[p.ref] = "p:" + p.name;

  // Stages: inside the light loop whatever depends on a light; after it
  // whatever depends on the accumulator.
  std::map<std::string, Stage> stage;
  const FragmentRef* accum = nullptr;
  for (const FragmentRef& r : graph->fragments) {
    if (fragments[r.name]->type == "accum") {
      if (accum != nullptr) {
        *error = "graph '" + graphName + "' has two accumulators";
        return false;
      }
      accum = &r;
    }
  }
  std::vector<const FragmentRef*> order;
  std::set<std::string> placed;
  while (order.size() < graph->fragments.size()) {
    bool progress = false;
    for (const FragmentRef& r : graph->fragments) {
      if (placed.count(r.name)) continue;
      bool ready = true;
      Stage s = Stage::kBefore;
      for (const Parameter& p : fragments[r.name]->properties) {
        auto it = feed.find(r.name + "." + p.name);
        if (it == feed.end()) continue;
        if (it->second.rfind("p:", 0) == 0) {
          if (perLightInput(it->second.substr(2))) s = std::max(s, Stage::kLight);
          continue;
        }
        const std::string from = it->second.substr(2, it->second.find('.') - 2);
        if (!placed.count(from)) {
          ready = false;
          break;
        }
        s = std::max(s, accum != nullptr && from == accum->name ? Stage::kAfter : stage[from]);
      }
      if (!ready) continue;
      if (accum != nullptr && r.name == accum->name) s = Stage::kLight;
      stage[r.name] = s;
      placed.insert(r.name);
      order.push_back(&r);
      progress = true;
    }
    if (!progress) {
      *error = "graph '" + graphName + "' has a cycle";
      return false;
    }
  }

  std::ostringstream out;
  if (lang.glsl) {
    out << "#version 330 core\n";
  }
  // Declarations (structures) first, then each fragment's functions once.
  std::set<std::string> emitted;
  for (const FragmentRef* r : order) {
    const Fragment* f = fragments[r->name];
    const Implementation* impl = f->implementation(language);
    if (impl == nullptr || impl->declaration.empty() || emitted.count("decl:" + f->name)) continue;
    emitted.insert("decl:" + f->name);
    out << impl->declaration << "\n";
  }
  for (const FragmentRef* r : order) {
    const Fragment* f = fragments[r->name];
    const Implementation* impl = f->implementation(language);
    if (impl == nullptr || impl->source.empty() || emitted.count(f->name)) continue;
    emitted.insert(f->name);
    out << impl->source << "\n";
  }

  // Uniforms: every graph property Maya does not feed.
  for (const Parameter& p : graph->properties) {
    if (isMayaInput(p.name) || p.type == "string") continue;
    effect->uniforms.push_back(p);
    out << (lang.glsl ? "uniform " : "") << lang.type(p) << " u_" << p.name << ";\n";
  }

  // The output structure's members.
  const Parameter* result = graph->outputs.empty() ? nullptr : &graph->outputs.front();
  std::string resultInstance, resultParameter;
  const Fragment* structure = nullptr;
  if (result != nullptr) {
    const std::size_t dot = result->ref.find('.');
    resultInstance = result->ref.substr(0, dot);
    resultParameter = result->ref.substr(dot + 1);
    structure = fragments[resultInstance];
  }
  const Parameter* resultType = structure != nullptr ? structure->output(resultParameter) : nullptr;
  if (resultType == nullptr) {
    *error = "graph '" + graphName + "': its output is not a fragment output";
    return false;
  }
  if (resultType->type == "alias" || resultType->type == "struct") {
    for (const Parameter& m : structure->outputs) {
      if (m.type != "alias" && m.type != "struct") effect->outputs.push_back(m);
    }
  } else {
    effect->outputs.push_back(*resultType);
  }

  if (lang.glsl) {
    out << "uniform sampler2DArray velvetInputs;\n";
    for (std::size_t i = 0; i < effect->outputs.size(); ++i) {
      out << "layout(location = " << i << ") out vec4 out_" << effect->outputs[i].name << ";\n";
    }
    out << "vec4 mayaInput(int layer)\n{\n"
        << "    return texelFetch(velvetInputs, ivec3(ivec2(gl_FragCoord.xy), layer), 0);\n}\n";
    out << "void main()\n{\n";
  } else {
    out << "Texture2DArray<float4> velvetInputs;\n";
    out << "struct EffectOutput\n{\n";
    for (std::size_t i = 0; i < effect->outputs.size(); ++i) {
      out << "    float4 " << effect->outputs[i].name << " : SV_Target" << i << ";\n";
    }
    out << "};\n";
    out << "float4 mayaInput(float4 position, int layer)\n{\n"
        << "    return velvetInputs.Load(int4(int2(position.xy), layer, 0));\n}\n";
    out << "EffectOutput main(float4 position : SV_Position)\n{\n";
  }
  const std::string at = lang.glsl ? "mayaInput(" : "mayaInput(position, ";
  const std::string v3 = lang.glsl ? "vec3" : "float3";
  out << "    " << v3 << " Nw = " << at << effect::kLayerNw << ").xyz;\n";
  out << "    " << v3 << " Vw = " << at << effect::kLayerVw << ").xyz;\n";
  out << "    " << v3 << " ambientIn = " << at << effect::kLayerAmbientIn << ").xyz;\n";
  out << "    int lightCount = min(int(" << at << effect::kLayerLightCount << ").x), "
      << effect::kMaxLights << ");\n";

  auto argument = [&](const FragmentRef& r, const Parameter& p) -> std::string {
    auto it = feed.find(r.name + "." + p.name);
    if (it != feed.end()) {
      const std::string what = it->second.substr(2);
      if (it->second[0] == 'c') {
        const std::size_t dot = what.find('.');
        return variable(what.substr(0, dot), what.substr(dot + 1));
      }
      if (isMayaInput(what)) return what == "SLw" ? "HLw" : what;
      return "u_" + what;
    }
    auto v = fragments.at(r.name)->values.find(p.name);
    return lang.literal(p, v != fragments.at(r.name)->values.end() ? v->second : "");
  };
  auto call = [&](const FragmentRef& r, const std::string& indent) {
    const Fragment* f = fragments[r.name];
    if (f->type == "accum") return;
    const Implementation* impl = f->implementation(language);
    if (f->type == "structure") {
      // A structure passes its input on as its output.
      for (const Parameter& o : f->outputs) {
        if (o.type != "alias" && o.type != "struct") continue;
        for (const Parameter& p : f->properties) {
          if (p.type == "struct") {
            out << indent << lang.type(o) << " " << variable(r.name, o.name) << " = "
                << argument(r, p) << ";\n";
          }
        }
      }
      return;
    }
    const Parameter& o = f->outputs.front();
    out << indent << lang.type(o) << " " << variable(r.name, o.name) << " = " << impl->functionName
        << "(";
    bool first = true;
    for (const Parameter& p : f->properties) {
      if (p.requirementOnly() || p.type == "string") continue;
      out << (first ? "" : ", ") << argument(r, p);
      first = false;
    }
    out << ");\n";
  };

  for (const FragmentRef* r : order) {
    if (stage[r->name] == Stage::kBefore) call(*r, "    ");
  }
  if (accum != nullptr) {
    const Fragment* a = fragments[accum->name];
    for (const Parameter& p : a->properties) {
      if (p.type == "string") continue;
      out << "    " << lang.type(p) << " " << variable(accum->name, p.name) << " = "
          << lang.literal(p, "0") << ";\n";
    }
    out << "    for (int light = 0; light < lightCount; ++light)\n    {\n";
    const std::string base = std::to_string(effect::lightLayer(0, 0)) + " + light * " +
                             std::to_string(effect::kLightLayers);
    out << "        " << v3 << " Lw = " << at << base << " + " << effect::kLw << ").xyz;\n";
    out << "        " << v3 << " HLw = " << at << base << " + " << effect::kHLw << ").xyz;\n";
    out << "        " << v3 << " diffuseI = " << at << base << " + " << effect::kDiffuseI
        << ").xyz;\n";
    out << "        " << v3 << " specularI = " << at << base << " + " << effect::kSpecularI
        << ").xyz;\n";
    for (const FragmentRef* r : order) {
      if (stage[r->name] == Stage::kLight) call(*r, "        ");
    }
    for (const Parameter& p : a->properties) {
      if (p.type == "string") continue;
      out << "        " << variable(accum->name, p.name) << " += " << argument(*accum, p) << ";\n";
    }
    out << "    }\n";
  }
  for (const FragmentRef* r : order) {
    if (stage[r->name] == Stage::kAfter) call(*r, "    ");
  }

  const std::string value = variable(resultInstance, resultParameter);
  const bool isStruct = resultType->type == "alias" || resultType->type == "struct";
  if (!lang.glsl) out << "    EffectOutput effectOutput;\n";
  for (const Parameter& m : effect->outputs) {
    const std::string member = isStruct ? value + "." + m.name : value;
    std::string v4 = member;
    if (m.type == "float3") v4 = (lang.glsl ? "vec4(" : "float4(") + member + ", 1.0)";
    if (m.type == "float") v4 = (lang.glsl ? "vec4(" : "float4(") + member + ", 0.0, 0.0, 1.0)";
    out << "    " << (lang.glsl ? "out_" + m.name : "effectOutput." + m.name) << " = " << v4
        << ";\n";
  }
  if (!lang.glsl) out << "    return effectOutput;\n";
  out << "}\n";
  effect->source = out.str();
  return true;
}

}  // namespace mayahost::detail::vp2
