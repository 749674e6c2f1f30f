// How the driver makes the MShaderInstance it hands an override's
// updateShader(): one bound to the driver's Shader, whose uniforms it sets.
#ifndef MAYAHOST_SRC_RENDER_SHADER_ACCESS_H
#define MAYAHOST_SRC_RENDER_SHADER_ACCESS_H

#include <maya/MShaderManager.h>
#include <mayahost/viewport.h>

namespace mayahost::detail {

struct ShaderAccess {
  // Calls `use` with an instance bound to `shader`.
  template <typename F>
  static void with(mayahost::viewport::Shader* shader, F use) {
    MHWRender::MShaderInstance instance;
    instance.shader_ = shader;
    use(instance);
  }
};

}  // namespace mayahost::detail

#endif  // MAYAHOST_SRC_RENDER_SHADER_ACCESS_H
