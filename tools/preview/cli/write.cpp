// Write: the images a mode made, a saved look, and the report of what was
// written.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "tools/preview/cli/phases.h"
#include "tools/preview/render/image_io.h"
#include "tools/preview/render/out_folder.h"

namespace preview::cli {

namespace {

std::string join(const std::string& dir, const std::string& file) {
  return (std::filesystem::path(dir) / file).string();
}

bool is_exr(const std::string& file) {
  return file.size() > 4 && file.compare(file.size() - 4, 4, ".exr") == 0;
}

// Writes each file as .exr or .png by its name, on up to `threads` threads;
// reports them in order. Throws Failure with the first error.
void write_images(const std::string& dir, const std::vector<std::pair<std::string, Image>>& files,
                  int threads, std::ostream& out) {
  std::vector<std::string> errors(files.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next.fetch_add(1); i < files.size(); i = next.fetch_add(1)) {
      const std::string& file = files[i].first;
      const std::string path = join(dir, file);
      if (!(is_exr(file) ? write_exr(path, files[i].second, errors[i])
                         : write_png(path, files[i].second, errors[i])) &&
          errors[i].empty()) {
        errors[i] = "cannot write " + path;
      }
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads && t < static_cast<int>(files.size()); ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!errors[i].empty()) throw Failure{errors[i]};
    out << "wrote " << join(dir, files[i].first) << "\n";
  }
}

}  // namespace

void make_out_dir(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw Failure{"cannot create " + dir + ": " + ec.message()};
}

void write_output(const Request& request, const std::vector<Host>& hosts, const Settings& settings,
                  Output output, int threads, std::ostream& out) {
  std::vector<std::pair<std::string, Image>>& files = output.files;
  if (!exr_available()) {
    // Built without OpenEXR: the PNG files alone.
    files.erase(
        std::remove_if(files.begin(), files.end(), [](const auto& f) { return is_exr(f.first); }),
        files.end());
  }
  write_images(request.out_dir, files, threads, out);
  if (request.save_look) {
    std::vector<std::string> wrote;
    save_look(*request.save_look, request.out_dir, hosts, settings.values, wrote);
    for (const std::string& path : wrote) out << "wrote " << path << "\n";
  }
  out << output.summary;
}

void save_look(const std::string& name, const std::string& dir, const std::vector<Host>& hosts,
               const HostValues& values, std::vector<std::string>& wrote) {
  std::vector<const LookFormat*> written;
  std::vector<FileBytes> files;
  for (std::size_t k = 0; k < hosts.size(); ++k) {
    // Hosts that show one plug-in share its look file: written once.
    const LookFormat* shared = hosts[k].entry->look_format;
    if (std::find(written.begin(), written.end(), shared) != written.end()) continue;
    written.push_back(shared);
    std::vector<std::pair<std::string, ParamValue>> last;
    for (const auto& assignment : values[k]) {
      const std::string& param = assignment.first;
      const auto same =
          std::find_if(last.begin(), last.end(), [&](const auto& e) { return e.first == param; });
      if (same != last.end()) {
        same->second = assignment.second;
      } else {
        last.push_back(assignment);
      }
    }
    const LookFormat& format = *hosts[k].entry->look_format;
    const std::string text = format.text(name, last);
    files.emplace_back(look_file_stem(name) + format.extension,
                       std::vector<unsigned char>(text.begin(), text.end()));
  }
  // A look replaced is replaced whole, every host's file or none: a failed
  // write leaves the look that was there.
  const std::string message = preview::write_files(dir, files, wrote);
  if (!message.empty()) throw Failure{message};
}

}  // namespace preview::cli
