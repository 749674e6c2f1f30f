// Tiled rendering of the preview scene through one backend.
#ifndef VELVET_TOOLS_PREVIEW_RENDER_RENDER_H
#define VELVET_TOOLS_PREVIEW_RENDER_RENDER_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "tools/preview/hosts/backend.h"
#include "tools/preview/render/image.h"
#include "tools/preview/render/scene.h"

namespace preview {

// A bar on a terminal, nothing otherwise. advance() may be called from any
// thread; it is called once per finished tile, never per sample.
class Progress {
 public:
  // `out` null keeps the bar silent.
  Progress(std::ostream* out, std::int64_t total);
  void advance(std::int64_t units);
  void finish();

 private:
  void draw();
  std::ostream* out_;
  std::int64_t total_;
  std::int64_t done_ = 0;
  int shown_ = -1;
  std::mutex mutex_;
};

struct RenderStats {
  std::int64_t shaded = 0;  // samples that hit a shape and went to the backend
};

// Where every sample of a scene hit it, tile by tile, as render() traces
// them: what does not change while only a host's settings do. Traced once,
// it lets renders of the same scene shade without tracing again.
struct TracedScene {
  int width = 0, height = 0, aa = 0;                // of the scene traced
  std::vector<std::vector<ShadingSample>> samples;  // per tile: the hits, in trace order
  std::vector<std::vector<unsigned char>> hit;      // per tile: per sample, whether it hit
};

// Traces the scene with `threads` threads; false when `cancel` turned true.
bool trace_scene(const Scene& scene, int threads, TracedScene& out,
                 const std::atomic<bool>* cancel = nullptr);

// Renders the scene with `threads` threads (at least 1). Every pixel depends
// only on its own samples, summed in a fixed order, so the image has the
// same bits whatever the thread count. Returns false with `error` when the
// backend cannot make a shading context, or with "cancelled" when `cancel`
// (may be null) turned true: it is read between tiles, so a render stops
// within one tile per thread of being cancelled. `traced`, when given, is
// trace_scene()'s of this scene: the samples are taken from it, the image's
// bits are the same.
bool render(const Scene& scene, Backend& backend, int threads, Image& out, Progress* progress,
            std::string& error, RenderStats* stats = nullptr,
            const std::atomic<bool>* cancel = nullptr, const TracedScene* traced = nullptr);

// Pixels one render of the scene contributes to a Progress total.
std::int64_t render_units(const Scene& scene);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_RENDER_RENDER_H
