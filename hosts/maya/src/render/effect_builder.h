// The stand-in Viewport 2.0's effect builder: turns a registered fragment
// graph into one complete pixel shader, as Maya generates an effect from a
// shading node's graph. The light loop runs over up to 16 lights (what
// mayaLightSelector16 hands out); fragments upstream of the accumulator run
// inside it and their results are summed.
//
// What Maya feeds (Nw, Vw, ambientIn per pixel; Lw, HLw/SLw, diffuseI,
// specularI per light) comes from one float texture array, layer by layer
// (EffectLayout below), so that every pixel may carry a sample of its own;
// every other graph property is a uniform named "u_" + its name, which the
// caller sets from the node's attributes. Each member of the output struct
// goes to its own colour attachment, in member order.
#ifndef MAYAHOST_SRC_RENDER_EFFECT_BUILDER_H
#define MAYAHOST_SRC_RENDER_EFFECT_BUILDER_H

#include <map>
#include <string>
#include <vector>

#include "fragment_library.h"

namespace mayahost::detail::vp2 {

struct Effect {
  std::string language;                         // GLSL or HLSL
  std::string source;                           // a complete pixel shader, entry point main
  std::vector<Parameter> uniforms;              // graph properties the caller sets
  std::map<std::string, std::string> defaults;  // graph and fragment default values, by property
  std::vector<Parameter> outputs;               // output struct members, one attachment each
};

bool buildEffect(const FragmentLibrary& library, const std::string& graphName,
                 const std::string& language, Effect* effect, std::string* error);

// Whether Maya feeds this input itself (and so whether a mapping to it is
// wrong): the lighting names and the varying geometry.
bool isMayaInput(const std::string& name);

}  // namespace mayahost::detail::vp2

#endif  // MAYAHOST_SRC_RENDER_EFFECT_BUILDER_H
