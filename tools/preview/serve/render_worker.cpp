#include "tools/preview/serve/render_worker.h"

#include <algorithm>
#include <cmath>

#include "tools/preview/render/compose.h"
#include "tools/preview/render/image_io.h"
#include "tools/preview/render/settings.h"

namespace preview::serve {

namespace {

using Clock = std::chrono::steady_clock;

std::string base64(const std::vector<unsigned char>& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (bytes[i] << 16u) | (bytes[i + 1] << 8u) | bytes[i + 2];
    out += kDigits[(v >> 18u) & 63u];
    out += kDigits[(v >> 12u) & 63u];
    out += kDigits[(v >> 6u) & 63u];
    out += kDigits[v & 63u];
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const unsigned v = (bytes[i] << 16u) | (two ? bytes[i + 1] << 8u : 0u);
    out += kDigits[(v >> 18u) & 63u];
    out += kDigits[(v >> 12u) & 63u];
    out += two ? kDigits[(v >> 6u) & 63u] : '=';
    out += '=';
  }
  return out;
}

// Every scene setting as the command line spells it: two scenes that give
// the same text render the same image.
std::string scene_key(const SceneOptions& scene) {
  std::string key;
  for (const SceneSetting& s : scene_settings()) {
    key += s.flag;
    key += '=';
    key += s.get(scene);
    key += '\n';
  }
  return key;
}

bool same_textures(const RenderJob::Connections& a, const RenderJob::Connections& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
           return x.first == y.first && x.second == y.second;
         });
}

bool same_values(const std::vector<std::pair<std::string, ParamValue>>& a,
                 const std::vector<std::pair<std::string, ParamValue>>& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
           return x.first == y.first && same_value(x.second, y.second);
         });
}

}  // namespace

bool data_uri(const Image& image, std::string& out, std::string& error) {
  std::vector<unsigned char> png;
  if (!encode_png(image, png, error)) return false;
  out = "data:image/png;base64," + base64(png);
  return true;
}

RenderWorker::RenderWorker(std::vector<LoadedHost>& hosts, int threads)
    : hosts_(hosts), threads_(threads), rendered_images_(hosts.size()) {
  thread_ = std::thread([this] { work(); });
}

RenderWorker::~RenderWorker() {
  shutdown();
  if (thread_.joinable()) thread_.join();
}

void RenderWorker::submit(RenderJob job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = std::move(job);
    cancel_.store(true);
  }
  changed_.notify_all();
}

std::uint64_t RenderWorker::newest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return job_.generation;
}

void RenderWorker::shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  cancel_.store(true);
  changed_.notify_all();
}

std::shared_ptr<const Frame> RenderWorker::newer_frame(std::uint64_t have, int level,
                                                       Clock::time_point deadline,
                                                       int max_waiters) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Only a frame of the newest job is ever answered.
  const auto newer = [&] {
    return frame_ && frame_->generation == job_.generation &&
           (frame_->generation > have || (frame_->generation == have && frame_->level > level));
  };
  if (!newer() && !stop_ && waiters_ < max_waiters) {
    ++waiters_;
    changed_.wait_until(lock, deadline, [&] { return stop_ || newer(); });
    --waiters_;
  }
  return newer() ? frame_ : nullptr;
}

std::shared_ptr<const Frame> RenderWorker::full_frame(Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto ready = [&] {
    return frame_ && frame_->level == 3 && frame_->generation == job_.generation;
  };
  changed_.wait_until(lock, deadline, [&] { return stop_ || ready(); });
  return ready() ? frame_ : nullptr;
}

void RenderWorker::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stop_ || job_.generation != rendered_; });
    if (stop_) return;
    const RenderJob job = job_;
    cancel_.store(false);
    lock.unlock();
    if (!render_job(job)) cancelled_.fetch_add(1);
    lock.lock();
    rendered_ = job.generation;
  }
}

bool RenderWorker::render_job(const RenderJob& job) {
  const Clock::time_point start = Clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  // The hosts' nodes are reused from job to job: the job names every value.
  for (std::size_t k = 0; k < hosts_.size(); ++k) {
    std::string message;
    if (k < job.values.size()) {
      for (const auto& [name, value] : job.values[k]) {
        if (message.empty()) message = hosts_[k].backend->set_parameter(name, value);
      }
    }
    if (k < job.textures.size()) {
      for (const auto& [name, texture] : job.textures[k]) {
        if (message.empty()) message = hosts_[k].backend->connect_texture(name, texture);
      }
    }
    if (!message.empty()) {
      publish(job, 3, {}, {}, hosts_[k].entry->flag + ": " + message, elapsed());
      return true;
    }
  }
  // Every scene setting reaches each host: the lights and what the
  // renderer reports as irradiance.
  const Scene full(job.scene, job.mesh);
  for (LoadedHost& h : hosts_) {
    h.backend->set_lights(full.lights());
    h.backend->set_irradiance(job.scene.irradiance);
  }

  // Refinement: a quarter of the size at one sample per pixel at once, then
  // half the size, then the full image. A level is skipped unless the next
  // one has at least four times its samples: it would not come much sooner.
  const auto reduced = [&](int divisor) {
    SceneOptions o = job.scene;
    o.width = std::max(1, (o.width + divisor - 1) / divisor);
    o.height = std::max(1, (o.height + divisor - 1) / divisor);
    o.aa = 1;
    return o;
  };
  const Scene coarse(reduced(4), job.mesh), between(reduced(2), job.mesh);
  const auto samples = [](const Scene& s) {
    return static_cast<std::int64_t>(s.width()) * s.height() * s.aa() * s.aa();
  };

  const SceneKey key{scene_key(job.scene), job.mesh};
  static const std::vector<std::pair<std::string, ParamValue>> kNone;
  static const RenderJob::Connections kUnconnected;
  const Scene* levels[] = {&coarse, &between, &full};
  for (int at = 0; at < 3; ++at) {
    const Scene* scene = levels[at];
    if (at < 2 && samples(full) <= 4 * samples(*scene)) continue;
    std::vector<Image> images(hosts_.size());
    std::vector<std::string> uris(hosts_.size());
    for (std::size_t k = 0; k < hosts_.size(); ++k) {
      const auto& values = k < job.values.size() ? job.values[k] : kNone;
      const auto& textures = k < job.textures.size() ? job.textures[k] : kUnconnected;
      Rendered& last = rendered_images_[k][at];
      if (last.valid && last.scene == key && same_values(last.values, values) &&
          same_textures(last.textures, textures)) {
        images[k] = last.image;
        uris[k] = last.uri;
        continue;
      }
      if (traced_key_[at] != key) {
        traced_key_[at] = {};
        if (!trace_scene(*scene, threads_, traced_[at], &cancel_)) return false;
        traced_key_[at] = key;
      }
      std::string message;
      if (!render(*scene, *hosts_[k].backend, threads_, images[k], nullptr, message, nullptr,
                  &cancel_, &traced_[at])) {
        if (cancel_.load()) return false;
        publish(job, 3, {}, {}, hosts_[k].entry->flag + ": " + message, elapsed());
        return true;
      }
      host_renders_.fetch_add(1);
      last.valid = true;
      last.scene = key;
      last.values = values;
      last.textures = textures;
      last.image = images[k];
      last.uri.clear();
      std::string failure;
      if (data_uri(images[k], uris[k], failure)) last.uri = uris[k];
    }
    publish(job, at + 1, images, uris, "", elapsed());
  }
  return true;
}

void RenderWorker::publish(const RenderJob& job, int level, const std::vector<Image>& images,
                           const std::vector<std::string>& uris, const std::string& message,
                           double milliseconds) {
  auto frame = std::make_shared<Frame>();
  frame->generation = job.generation;
  frame->level = level;
  frame->milliseconds = milliseconds;
  frame->error = message;
  std::string failure;
  for (std::size_t k = 0; k < images.size(); ++k) {
    const Image& image = images[k];
    std::string uri = k < uris.size() ? uris[k] : std::string();
    if (uri.empty() && !data_uri(image, uri, failure)) break;
    frame->images.push_back(std::move(uri));
    frame->width = image.width;
    frame->height = image.height;
  }
  // The difference of the first two hosts, as the command line shows it.
  if (images.size() >= 2 && failure.empty()) {
    const Difference diff = difference(images[0], images[1]);
    if (data_uri(shown_difference(diff), frame->difference, failure)) {
      frame->largest = std::isfinite(diff.largest) ? diff.largest : -1.0f;
      frame->difference_image = std::make_shared<const Image>(diff.image);
    }
  }
  if (!failure.empty()) {
    frame->error = failure;
    frame->images.clear();
  }
  if (level == 3 && message.empty() && failure.empty()) {
    frame->full = std::make_shared<const std::vector<Image>>(images);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A job that is no longer the newest is never shown.
    if (job.generation != job_.generation) return;
    frame_ = std::move(frame);
  }
  changed_.notify_all();
}

}  // namespace preview::serve
