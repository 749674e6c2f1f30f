// The stand-in Viewport 2.0's one state: whether it is up, the override
// creators plug-ins registered and the fragment store. Shared by
// OpenMayaRender's source files, never installed.
#ifndef MAYAHOST_SRC_RENDER_RENDER_STATE_H
#define MAYAHOST_SRC_RENDER_RENDER_STATE_H

#include <maya/MDrawRegistry.h>

#include <memory>
#include <string>
#include <vector>

#if defined(MAYAHOST_WITH_FRAGMENT_XML)
#include "fragment_library.h"
#endif

namespace mayahost::detail {

struct OverrideCreator {
  std::string drawClassification, registrantId;
  MHWRender::MDrawRegistry::SurfaceShadingNodeOverrideCreator creator = nullptr;
};

struct RenderState {
  bool up = true;
  std::vector<OverrideCreator> creators;
#if defined(MAYAHOST_WITH_FRAGMENT_XML)
  vp2::FragmentLibrary fragments;
#endif
  unsigned refuseIn = 0;  // the n-th registration from now is refused; 0: none
};

RenderState& renderState();

}  // namespace mayahost::detail

#endif  // MAYAHOST_SRC_RENDER_RENDER_STATE_H
