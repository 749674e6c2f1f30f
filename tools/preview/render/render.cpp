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

// A tile's bounds.
struct TileRect {
  int x0, y0, x1, y1;
};

TileRect tile_rect(const Scene& scene, int tile, Tiles tiles) {
  const int x0 = (tile % tiles.across) * kTile;
  const int y0 = (tile / tiles.across) * kTile;
  return {x0, y0, std::min(x0 + kTile, scene.width()), std::min(y0 + kTile, scene.height())};
}

// Every sample of the tile, pixel by pixel: the hits into `samples`, whether
// each hit into `hit`.
void trace_tile(const Scene& scene, TileRect r, std::vector<ShadingSample>& samples,
                std::vector<unsigned char>& hit) {
  const int aa = scene.aa();
  samples.clear();
  hit.clear();
  for (int y = r.y0; y < r.y1; ++y) {
    for (int x = r.x0; x < r.x1; ++x) {
      for (int sy = 0; sy < aa; ++sy) {
        for (int sx = 0; sx < aa; ++sx) {
          ShadingSample sample;
          const bool h = scene.trace(x, y, sx, sy, sample);
          hit.push_back(h ? 1 : 0);
          if (h) samples.push_back(sample);
        }
      }
    }
  }
}

std::int64_t render_tile(const Scene& scene, ShadingContext& context, int tile, Tiles tiles,
                         Image& out, TileBuffers& buffers, const TracedScene* traced) {
  const TileRect r = tile_rect(scene, tile, tiles);
  const int aa = scene.aa();
  const float weight = 1.0f / static_cast<float>(aa * aa);
  const core::Color background = scene.background();
  // Trace every sample of the tile (or take it traced), then shade the hits
  // in one batch.
  if (traced == nullptr) trace_tile(scene, r, buffers.samples, buffers.hit);
  const std::vector<ShadingSample>& samples =
      traced != nullptr ? traced->samples[static_cast<std::size_t>(tile)] : buffers.samples;
  const std::vector<unsigned char>& hit =
      traced != nullptr ? traced->hit[static_cast<std::size_t>(tile)] : buffers.hit;
  buffers.colors.resize(samples.size());
  if (!samples.empty()) context.shade_batch(samples.data(), samples.size(), buffers.colors.data());
  // Each pixel sums its samples in the order they were traced.
  std::size_t at = 0, shaded = 0;
  for (int y = r.y0; y < r.y1; ++y) {
    for (int x = r.x0; x < r.x1; ++x) {
      float red = 0.0f, green = 0.0f, blue = 0.0f;
      for (int s = 0; s < aa * aa; ++s) {
        const core::Color c = hit[at++] ? buffers.colors[shaded++] : background;
        red += c.r;
        green += c.g;
        blue += c.b;
      }
      float* p = out.pixel(x, y);
      p[0] = red * weight;
      p[1] = green * weight;
      p[2] = blue * weight;
    }
  }
  return static_cast<std::int64_t>(shaded);
}

// Runs `work` on `threads` threads (the caller's among them) over the tiles,
// each taking the next tile until none is left or `cancel` turned true.
template <typename Work>
void for_tiles(int count, int threads, const std::atomic<bool>* cancel, Work work) {
  std::atomic<int> next{0};
  const auto loop = [&](int thread) {
    for (int tile = next.fetch_add(1); tile < count; tile = next.fetch_add(1)) {
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) break;
      work(thread, tile);
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(loop, t);
  loop(0);
  for (std::thread& th : pool) th.join();
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

bool trace_scene(const Scene& scene, int threads, TracedScene& out,
                 const std::atomic<bool>* cancel) {
  const Tiles tiles = tiles_of(scene);
  threads = std::max(1, std::min(threads, tiles.count()));
  out.width = scene.width();
  out.height = scene.height();
  out.aa = scene.aa();
  out.samples.assign(static_cast<std::size_t>(tiles.count()), {});
  out.hit.assign(static_cast<std::size_t>(tiles.count()), {});
  for_tiles(tiles.count(), threads, cancel, [&](int, int tile) {
    const auto t = static_cast<std::size_t>(tile);
    trace_tile(scene, tile_rect(scene, tile, tiles), out.samples[t], out.hit[t]);
  });
  return cancel == nullptr || !cancel->load();
}

bool render(const Scene& scene, Backend& backend, int threads, Image& out, Progress* progress,
            std::string& error, RenderStats* stats, const std::atomic<bool>* cancel,
            const TracedScene* traced) {
  const Tiles tiles = tiles_of(scene);
  threads = std::max(1, std::min(threads, tiles.count()));
  out = Image(scene.width(), scene.height());
  if (traced != nullptr &&
      (traced->width != scene.width() || traced->height != scene.height() ||
       traced->aa != scene.aa() || traced->hit.size() != static_cast<std::size_t>(tiles.count()))) {
    error = "the traced samples are of another scene";
    return false;
  }

  // Contexts are made here, on the calling thread, so that a host that is
  // not ready for it is never asked to set up concurrently.
  std::vector<std::unique_ptr<ShadingContext>> contexts;
  for (int t = 0; t < threads; ++t) {
    contexts.push_back(backend.make_context(error));
    if (!contexts.back()) return false;
  }

  std::vector<TileBuffers> buffers(static_cast<std::size_t>(threads));
  std::vector<std::int64_t> shaded(static_cast<std::size_t>(threads), 0);
  // A context that could not shade a batch stops the image: no tile after
  // it is shaded.
  std::atomic<bool> failed{false};
  for_tiles(tiles.count(), threads, cancel, [&](int thread, int tile) {
    if (failed.load(std::memory_order_relaxed)) return;
    const auto t = static_cast<std::size_t>(thread);
    shaded[t] += render_tile(scene, *contexts[t], tile, tiles, out, buffers[t], traced);
    if (contexts[t]->failure() != nullptr) {
      failed.store(true);
      return;
    }
    if (progress != nullptr) {
      const TileRect r = tile_rect(scene, tile, tiles);
      progress->advance(static_cast<std::int64_t>(r.x1 - r.x0) * (r.y1 - r.y0));
    }
  });
  if (stats != nullptr) {
    stats->shaded = 0;
    for (const std::int64_t n : shaded) stats->shaded += n;
  }
  for (const auto& context : contexts) {
    if (const std::string* why = context->failure()) {
      error = *why;
      return false;
    }
  }
  if (cancel != nullptr && cancel->load()) {
    error = "cancelled";
    return false;
  }
  return true;
}

}  // namespace preview
