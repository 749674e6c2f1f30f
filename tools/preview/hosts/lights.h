// Light sampling shared by the backends and the scene: where a light's
// samples lie, and the direction towards one, so that every host sees the
// rig's lights at the same points.
#ifndef VELVET_TOOLS_PREVIEW_HOSTS_LIGHTS_H
#define VELVET_TOOLS_PREVIEW_HOSTS_LIGHTS_H

#include "tools/preview/hosts/backend.h"

namespace preview {

// Where sample `index` of `light` lies: the position itself for a point
// light, a point of a fixed, well-spread (Hammersley) pattern over the
// rectangle for an area light.
core::Vector light_sample_position(const Light& light, int index);

// Unit vector from `point` towards `target`, in single precision.
core::Vector direction_to(core::Vector point, core::Vector target);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_HOSTS_LIGHTS_H
