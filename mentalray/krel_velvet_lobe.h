// The shape of krel_velvet's velvet lobe. The shader has no parameters for its
// roughness and back-scatter, so they are fixed here, where the shader and
// anything that must render the same lobe through another host read them.
// Plain constants, no renderer headers: tools include this without the SDK.
#ifndef KREL_VELVET_LOBE_H
#define KREL_VELVET_LOBE_H

namespace krel_velvet_lobe {

constexpr float kRoughness = 0.1f;
constexpr float kBackscatter = 0.2f;

}  // namespace krel_velvet_lobe

#endif  // KREL_VELVET_LOBE_H
