// The live preview's render worker: one thread that renders the newest job
// through every host, a coarse image first, then the full one. A newer job
// cancels the render in flight, and only frames of the newest job are ever
// kept. A host whose values and scene are those of an image it already
// rendered is not rendered again: a change to one host re-renders that host
// only. Requests wait for frames here, each on its own thread; nothing that
// waits holds anything another request needs.
#ifndef VELVET_TOOLS_PREVIEW_SERVE_RENDER_WORKER_H
#define VELVET_TOOLS_PREVIEW_SERVE_RENDER_WORKER_H

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tools/preview/cli/cli.h"
#include "tools/preview/render/render.h"
#include "tools/preview/render/scene.h"

namespace preview::serve {

// What to render: every parameter each host is to have, in the order to set
// them (by host, in the order of the hosts), and the scene.
struct RenderJob {
  std::uint64_t generation = 0;
  SceneOptions scene;
  std::shared_ptr<const Mesh> mesh;  // what scene.mesh names
  std::vector<std::vector<std::pair<std::string, ParamValue>>> values;
  // By host, the colours to connect to a texture once the values are set.
  using Connections = std::vector<std::pair<std::string, std::shared_ptr<const Texture>>>;
  std::vector<Connections> textures;
};

// A rendered stage of a job, as the page shows it: each host's image and the
// difference of the first two as PNG data URIs.
struct Frame {
  std::uint64_t generation = 0;
  // The refinement: 1 coarse (a quarter of the size, one sample per pixel),
  // 2 half the size at one sample (where the full image has enough more
  // samples to make it worth a stop), 3 full.
  int level = 0;
  // What the page calls it: 1 on the way, 2 full.
  int stage() const { return level == 3 ? 2 : 1; }
  double milliseconds = 0.0;
  std::string error;                // set when a host failed
  std::vector<std::string> images;  // by host; empty on error
  int width = 0, height = 0;
  std::string difference;                          // empty with fewer than two hosts
  float largest = 0.0f;                            // in the difference; -1 when not finite
  std::shared_ptr<const Image> difference_image;   // |a - b| unscaled, for fixed scales
  std::shared_ptr<const std::vector<Image>> full;  // the full images, for Save
};

// `image` as a PNG data URI, as the page shows it; false with the message
// when it cannot be encoded.
bool data_uri(const Image& image, std::string& out, std::string& error);

class RenderWorker {
 public:
  // Renders through `hosts`, which it uses from its own thread only, on
  // `threads` threads.
  RenderWorker(std::vector<LoadedHost>& hosts, int threads);
  ~RenderWorker();
  RenderWorker(const RenderWorker&) = delete;
  RenderWorker& operator=(const RenderWorker&) = delete;

  // Makes `job` the newest and cancels the render of any older one. Jobs
  // come with increasing generations.
  void submit(RenderJob job);

  // The newest frame once it is newer than generation `have` at refinement
  // `level`, waiting until `deadline`; null when there is none. At most
  // `max_waiters` requests wait at once; the rest are answered at once.
  std::shared_ptr<const Frame> newer_frame(std::uint64_t have, int level,
                                           std::chrono::steady_clock::time_point deadline,
                                           int max_waiters);

  // The full frame of the newest job, waiting until `deadline`; null when it
  // is not rendered by then.
  std::shared_ptr<const Frame> full_frame(std::chrono::steady_clock::time_point deadline);

  // The newest job's generation.
  std::uint64_t newest() const;

  // Wakes every waiting request and stops the thread; later waits return at
  // once.
  void shutdown();

  std::uint64_t renders_cancelled() const { return cancelled_.load(); }
  // Images rendered so far, one per host and stage: for tests and benchmarks.
  std::uint64_t host_renders() const { return host_renders_.load(); }

 private:
  void work();
  bool render_job(const RenderJob& job);  // false when cancelled
  // `uris` are the images' PNG data URIs, where known (empty: encoded here).
  void publish(const RenderJob& job, int level, const std::vector<Image>& images,
               const std::vector<std::string>& uris, const std::string& error, double milliseconds);

  std::vector<LoadedHost>& hosts_;
  int threads_;

  // What a scene is rendered from: every setting's text and the mesh it
  // shows, held so that its address names it for as long as it is compared.
  struct SceneKey {
    std::string text;
    std::shared_ptr<const Mesh> mesh;
    bool operator==(const SceneKey& o) const { return text == o.text && mesh == o.mesh; }
    bool operator!=(const SceneKey& o) const { return !(*this == o); }
  };
  // The last image each host rendered at each level (0 coarse, 1 between,
  // 2 full) and what it was rendered from; the worker thread's own.
  struct Rendered {
    bool valid = false;
    SceneKey scene;
    std::vector<std::pair<std::string, ParamValue>> values;
    RenderJob::Connections textures;  // held, as the mesh is
    Image image;
    std::string uri;  // its PNG, as sent: not encoded again while unchanged
  };
  std::vector<std::array<Rendered, 3>> rendered_images_;
  // Where each stage's samples hit the scene, and the scene's key: traced
  // once per scene, so that a change to one host's settings only shades.
  std::array<TracedScene, 3> traced_;
  std::array<SceneKey, 3> traced_key_;
  std::atomic<std::uint64_t> host_renders_{0};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  RenderJob job_;                       // the newest
  std::uint64_t rendered_ = 0;          // generation last finished with
  std::shared_ptr<const Frame> frame_;  // the newest frame of the newest job
  int waiters_ = 0;
  bool stop_ = false;
  std::atomic<bool> cancel_{false};
  std::atomic<std::uint64_t> cancelled_{0};
  std::thread thread_;
};

}  // namespace preview::serve

#endif  // VELVET_TOOLS_PREVIEW_SERVE_RENDER_WORKER_H
