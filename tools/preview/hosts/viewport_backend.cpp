// The Maya viewport: the same velvet node as the Maya road, drawn as
// Viewport 2.0 draws it. The plug-in's fragment graph (the XML it embeds,
// embedded here the same way, so that a plug-in built for an API without
// overrides is drawn too) becomes one pixel shader through the stand-in
// Viewport 2.0's effect builder, and runs on Mesa's rasterizer, headless.
// Every graph parameter takes the node attribute of its name, as the
// plug-in's override maps them; a test checks that the override's shader
// draws the same bits.
//
// Samples reach the GPU a tile at a time: each is one pixel of a grid whose
// input layers carry what Maya feeds the graph (<mayahost/effect_layout.h>),
// fed with the Maya road's own light samples; more than 16 are drawn with
// the first 16, as Maya's light selector does.
#include <mayahost/effect_layout.h>
#include <mayahost/headless_gl.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "effect_builder.h"
#include "fragment_library.h"
#include "tools/preview/hosts/lights.h"
#include "tools/preview/hosts/maya_backend.h"
#include "tools/preview/hosts/registry.h"
#include "velvetFragments.h"

namespace preview {

namespace {

namespace effect = mayahost::effect;

// The one thread that owns the OpenGL context (a context is current on one
// thread at a time). Rendering threads hand it their batches in turn; Mesa's
// rasterizer spreads each draw over the cores itself.
class GlThread {
 public:
  using Job = std::function<mayahost::Status(mayahost::gl::HeadlessGl&)>;

  GlThread() : thread_([this] { loop(); }) {}
  ~GlThread() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  GlThread(const GlThread&) = delete;
  GlThread& operator=(const GlThread&) = delete;

  // Runs `job` on the GL thread and waits for it; refused when the context
  // could not be opened.
  mayahost::Status run(const Job& job) {
    std::lock_guard<std::mutex> caller(callers_);
    std::unique_lock<std::mutex> lock(mutex_);
    job_ = &job;
    wake_.notify_all();
    done_.wait(lock, [this] { return job_ == nullptr; });
    return result_;
  }

 private:
  // The context is made, used and destroyed on this thread alone.
  void loop() {
    mayahost::gl::HeadlessGl gl;
    std::unique_lock<std::mutex> lock(mutex_);
    const mayahost::Status opened = gl.open();
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || job_ != nullptr; });
      if (stop_) return;
      result_ = opened.ok() ? (*job_)(gl) : opened;
      job_ = nullptr;
      done_.notify_all();
    }
  }

  std::mutex callers_;  // one caller at a time
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  const Job* job_ = nullptr;
  mayahost::Status result_;
  bool stop_ = false;
  std::thread thread_;  // last: started once the rest is made
};

// What the contexts of one render share: the shader with the node's values
// and the light samples.
struct Drawing {
  std::string source;
  std::vector<mayahost::gl::UniformValue> uniforms;
  int outputs = 0;
  std::vector<Emitter> emitters;
  std::vector<std::shared_ptr<const Texture>> connected;  // in the layers after kLayers
};

// Samples per row of the grid a batch is drawn on.
constexpr std::size_t kRow = 256;

class ViewportContext : public ShadingContext {
 public:
  ViewportContext(GlThread& gl, std::shared_ptr<const Drawing> drawing)
      : gl_(gl), drawing_(std::move(drawing)) {}

  core::Color shade(const ShadingSample& sample) override {
    core::Color c;
    shade_batch(&sample, 1, &c);
    return c;
  }

  void shade_batch(const ShadingSample* samples, std::size_t count, core::Color* out) override {
    const Drawing& d = *drawing_;
    const std::size_t width = std::min(count, kRow);
    const std::size_t height = (count + kRow - 1) / kRow;
    const std::size_t layer = width * height * 4;
    inputs_.assign(layer * (effect::kLayers + d.connected.size()), 0.0f);
    const auto put = [&](int l, std::size_t i, float x, float y, float z) {
      float* p = &inputs_[static_cast<std::size_t>(l) * layer + i * 4];
      p[0] = x;
      p[1] = y;
      p[2] = z;
    };
    const int lights =
        static_cast<int>(std::min<std::size_t>(d.emitters.size(), effect::kMaxLights));
    for (std::size_t i = 0; i < count; ++i) {
      const ShadingSample& s = samples[i];
      put(effect::kLayerNw, i, s.normal.x, s.normal.y, s.normal.z);
      put(effect::kLayerVw, i, -s.ray.x, -s.ray.y, -s.ray.z);
      put(effect::kLayerLightCount, i, static_cast<float>(d.emitters.size()), 0.0f, 0.0f);
      for (int k = 0; k < lights; ++k) {
        const Emitter& e = d.emitters[static_cast<std::size_t>(k)];
        const core::Vector l = direction_to(s.point, e.position);
        put(effect::lightLayer(k, effect::kLw), i, l.x, l.y, l.z);
        put(effect::lightLayer(k, effect::kHLw), i, l.x, l.y, l.z);
        if (e.diffuse) {
          put(effect::lightLayer(k, effect::kDiffuseI), i, e.intensity.x, e.intensity.y,
              e.intensity.z);
        }
        if (e.specular) {
          put(effect::lightLayer(k, effect::kSpecularI), i, e.intensity.x, e.intensity.y,
              e.intensity.z);
        }
      }
      for (std::size_t t = 0; t < d.connected.size(); ++t) {
        const core::Color c = d.connected[t]->sample(s.u, s.v);
        put(effect::kLayers + static_cast<int>(t), i, c.r, c.g, c.b);
      }
    }
    const mayahost::Status st = gl_.run([&](mayahost::gl::HeadlessGl& gl) {
      return gl.draw(d.source, d.uniforms, d.outputs, static_cast<int>(width),
                     static_cast<int>(height), inputs_, &images_);
    });
    // The drawing was tried when the host was made; should a later draw
    // fail, the samples are black rather than left undefined, and the
    // renderer is told.
    if (!st.ok() && failure_.empty()) failure_ = "the viewport could not draw: " + st.message();
    for (std::size_t i = 0; i < count; ++i) {
      const float* p = st.ok() ? &images_[0][i * 4] : nullptr;
      out[i] = p != nullptr ? core::Color{p[0], p[1], p[2]} : core::Color{0.0f, 0.0f, 0.0f};
    }
  }

 private:
  const std::string* failure() const override { return failure_.empty() ? nullptr : &failure_; }

 private:
  GlThread& gl_;
  std::shared_ptr<const Drawing> drawing_;
  std::string failure_;        // the first failed draw's
  std::vector<float> inputs_;  // kept from batch to batch: sized once
  std::vector<std::vector<float>> images_;
};

class ViewportBackend : public MayaBackend {
 public:
  // Registers the plug-in's fragments, builds the effect and draws it once,
  // so that a machine without headless OpenGL is refused here, not later.
  bool open_viewport(std::string& error) {
    unsigned count = 0;
    const velvetViewport::FragmentXml* files = velvetViewport::fragmentXml(count);
    for (unsigned i = 0; i < count; ++i) {
      std::string why;
      const std::string name = files[i].graph ? library_.addGraph(files[i].xml, &why)
                                              : library_.addFragment(files[i].xml, &why);
      if (name.empty()) {
        error = std::string("the viewport refuses the fragment ") + files[i].name + ": " + why;
        return false;
      }
    }
    if (!mayahost::detail::vp2::buildEffect(library_, velvetViewport::kGraphName, "GLSL", &effect_,
                                            &error)) {
      return false;
    }
    const std::vector<float> nothing(4 * effect::kLayers, 0.0f);
    std::vector<std::vector<float>> images;
    const mayahost::Status st = gl_.run([&](mayahost::gl::HeadlessGl& gl) {
      return gl.draw(effect_.source, {}, static_cast<int>(effect_.outputs.size()), 1, 1, nothing,
                     &images);
    });
    if (!st.ok()) {
      error = "no headless OpenGL for the viewport: " + st.message();
      return false;
    }
    return true;
  }

  std::unique_ptr<ShadingContext> make_context(std::string& error) override {
    auto drawing = std::make_shared<Drawing>();
    drawing->source = effect_.source;
    drawing->outputs = static_cast<int>(effect_.outputs.size());
    drawing->emitters = emitters();
    for (const mayahost::detail::vp2::Parameter& p : effect_.uniforms) {
      std::vector<float> value;
      if (!node().get(p.name, &value).ok()) {
        error = "the viewport's parameter '" + p.name + "' is no attribute of the node";
        return nullptr;
      }
      drawing->uniforms.push_back({"u_" + p.name, value});
    }
    // A connected input reaches the graph from upstream, as a file node's
    // fragment feeds it in Maya: here its value per pixel comes from a layer
    // of its own instead of the uniform.
    for (const Connection& c : connections()) {
      const std::string uniform = "uniform vec3 u_" + c.name + ";\n";
      const std::size_t at = drawing->source.find(uniform);
      const std::size_t main = drawing->source.find("void main()\n{\n");
      if (at == std::string::npos || main == std::string::npos) {
        error = "the viewport draws no texture on '" + c.name + "'";
        return nullptr;
      }
      const int layer = effect::kLayers + static_cast<int>(drawing->connected.size());
      drawing->source.insert(
          main + 14, "    u_" + c.name + " = mayaInput(" + std::to_string(layer) + ").xyz;\n");
      drawing->source.replace(at, uniform.size(), "vec3 u_" + c.name + ";\n");
      drawing->connected.push_back(c.texture);
    }
    return std::make_unique<ViewportContext>(gl_, std::move(drawing));
  }

 private:
  mayahost::detail::vp2::FragmentLibrary library_;
  mayahost::detail::vp2::Effect effect_;
  GlThread gl_;
};

}  // namespace

std::unique_ptr<Backend> make_viewport_backend(const std::string& path, std::string& error) {
  auto backend = std::make_unique<ViewportBackend>();
  if (!open_located(*backend, path, error) || !backend->open_viewport(error)) return nullptr;
  return backend;
}

}  // namespace preview
