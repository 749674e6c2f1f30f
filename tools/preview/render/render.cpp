#include "tools/preview/render/render.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace preview {

namespace {

constexpr int kTile = 32;

struct Tiles {
  int across, down;
  int count() const { return across * down; }
};

Tiles tiles_of(const Scene& scene) {
  return {(scene.width() + kTile - 1) / kTile, (scene.height() + kTile - 1) / kTile};
}

// A tile's samples that hit a shape and their colours: kept per thread, so
// that a tile allocates nothing once the first has sized them.
struct TileBuffers {
  std::vector<ShadingSample> samples;
  std::vector<core::Color> colors;
  std::vector<unsigned char> hit;  // per sample of the tile, in pixel order
};

std::int64_t render_tile(const Scene& scene, ShadingContext& context, int tile, Tiles tiles,
                         Image& out, TileBuffers& buffers) {
  const int x0 = (tile % tiles.across) * kTile;
  const int y0 = (tile / tiles.across) * kTile;
  const int x1 = std::min(x0 + kTile, scene.width());
  const int y1 = std::min(y0 + kTile, scene.height());
  const int aa = scene.aa();
  const float weight = 1.0f / static_cast<float>(aa * aa);
  const core::Color background = scene.background();
  // Trace every sample of the tile, then shade the hits in one batch.
  buffers.samples.clear();
  buffers.hit.clear();
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      for (int sy = 0; sy < aa; ++sy) {
        for (int sx = 0; sx < aa; ++sx) {
          ShadingSample sample;
          const bool hit = scene.trace(x, y, sx, sy, sample);
          buffers.hit.push_back(hit ? 1 : 0);
          if (hit) buffers.samples.push_back(sample);
        }
      }
    }
  }
  buffers.colors.resize(buffers.samples.size());
  if (!buffers.samples.empty()) {
    context.shade_batch(buffers.samples.data(), buffers.samples.size(), buffers.colors.data());
  }
  // Each pixel sums its samples in the order they were traced.
  std::size_t at = 0, shaded = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      float r = 0.0f, g = 0.0f, b = 0.0f;
      for (int s = 0; s < aa * aa; ++s) {
        const core::Color c = buffers.hit[at++] ? buffers.colors[shaded++] : background;
        r += c.r;
        g += c.g;
        b += c.b;
      }
      float* p = out.pixel(x, y);
      p[0] = r * weight;
      p[1] = g * weight;
      p[2] = b * weight;
    }
  }
  return static_cast<std::int64_t>(shaded);
}

}  // namespace

Progress::Progress(std::ostream* out, std::int64_t total) : out_(out), total_(total) {}

void Progress::advance(std::int64_t units) {
  if (out_ == nullptr) return;
  std::lock_guard<std::mutex> lock(mutex_);
  done_ += units;
  draw();
}

void Progress::finish() {
  if (out_ == nullptr) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (shown_ >= 0) *out_ << '\n' << std::flush;
  shown_ = -1;
}

void Progress::draw() {
  constexpr int kWidth = 40;
  const int percent =
      total_ > 0 ? static_cast<int>(std::min<std::int64_t>(done_ * 100 / total_, 100)) : 100;
  if (percent == shown_) return;
  shown_ = percent;
  const int filled = percent * kWidth / 100;
  *out_ << "\rrendering [" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] "
        << percent << "%" << std::flush;
}

std::int64_t render_units(const Scene& scene) {
  return static_cast<std::int64_t>(scene.width()) * scene.height();
}

bool render(const Scene& scene, Backend& backend, int threads, Image& out, Progress* progress,
            std::string& error, RenderStats* stats, const std::atomic<bool>* cancel) {
  const Tiles tiles = tiles_of(scene);
  threads = std::max(1, std::min(threads, tiles.count()));
  out = Image(scene.width(), scene.height());

  // Contexts are made here, on the calling thread, so that a host that is
  // not ready for it is never asked to set up concurrently.
  std::vector<std::unique_ptr<ShadingContext>> contexts;
  for (int t = 0; t < threads; ++t) {
    contexts.push_back(backend.make_context(error));
    if (!contexts.back()) return false;
  }

  std::atomic<int> next{0};
  std::atomic<std::int64_t> shaded{0};
  const auto work = [&](ShadingContext& context) {
    TileBuffers buffers;
    std::int64_t mine = 0;
    for (int tile = next.fetch_add(1); tile < tiles.count(); tile = next.fetch_add(1)) {
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) break;
      mine += render_tile(scene, context, tile, tiles, out, buffers);
      if (progress != nullptr) {
        const int w = std::min(kTile, scene.width() - (tile % tiles.across) * kTile);
        const int h = std::min(kTile, scene.height() - (tile / tiles.across) * kTile);
        progress->advance(static_cast<std::int64_t>(w) * h);
      }
    }
    shaded.fetch_add(mine);
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work, std::ref(*contexts[t]));
  work(*contexts[0]);
  for (std::thread& th : pool) th.join();
  if (stats != nullptr) stats->shaded = shaded.load();
  if (cancel != nullptr && cancel->load()) {
    error = "cancelled";
    return false;
  }
  return true;
}

}  // namespace preview
