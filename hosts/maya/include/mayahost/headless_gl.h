// A headless OpenGL 3.3 core context on Mesa (EGL, surfaceless; llvmpipe when
// there is no GPU) that draws one generated pixel shader over a grid of
// samples and reads its colour attachments back as floats: how tests and the
// preview run the stand-in Viewport 2.0's effects on a real rasterizer.
//
//   mayahost::gl::HeadlessGl gl;
//   if (!gl.open()) ...;                       // no EGL display: skip
//   gl.draw(source, uniforms, 3, 64, 32, inputs, &images);
//
// `inputs` fills the effect's input layers (<mayahost/effect_layout.h>):
// kLayers layers of height rows of width RGBA floats, layer by layer, and
// after them any layers that the effect reads for inputs of its own (up to
// 256 layers in all). The effect last drawn stays linked for the next draw.
// Threads: a HeadlessGl belongs to the thread that opened it.
#ifndef MAYAHOST_HEADLESS_GL_H
#define MAYAHOST_HEADLESS_GL_H

#include <mayahost/status.h>

#include <memory>
#include <string>
#include <vector>

namespace mayahost::gl {

struct UniformValue {
  std::string name;          // as declared in the shader
  std::vector<float> value;  // 1 to 4 floats
};

class HeadlessGl {
 public:
  HeadlessGl();
  ~HeadlessGl();
  HeadlessGl(const HeadlessGl&) = delete;
  HeadlessGl& operator=(const HeadlessGl&) = delete;

  Status open();
  // GL_RENDERER and GL_VERSION, once open.
  std::string renderer() const;
  // Compiles `source` as the pixel shader and draws it over width x height;
  // `images` receives `outputs` RGBA float images, one per attachment.
  Status draw(const std::string& source, const std::vector<UniformValue>& uniforms, int outputs,
              int width, int height, const std::vector<float>& inputs,
              std::vector<std::vector<float>>* images);

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

}  // namespace mayahost::gl

#endif  // MAYAHOST_HEADLESS_GL_H
