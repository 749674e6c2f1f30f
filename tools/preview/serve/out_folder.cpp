// POSIX: every step names its file relative to the folder opened once, so the
// folder cannot be swapped for another under the writer's feet, and no step
// follows a link (O_NOFOLLOW, rename and link act on the name itself).
#include "tools/preview/serve/out_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace preview::serve {

namespace {

std::string reason() {
  return std::strerror(errno);
}

// A name of the folder's own that nobody else holds: O_EXCL makes sure.
std::string fresh_name(const std::string& name, const char* role) {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  return "." + name + "." + role + "-" + std::to_string(::getpid()) + "-" + std::to_string(seed) +
         "-" + std::to_string(counter.fetch_add(1));
}

class Folder {
 public:
  explicit Folder(int fd) : fd_(fd) {}
  ~Folder() {
    if (fd_ >= 0) ::close(fd_);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

bool write_all(int fd, const std::vector<unsigned char>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return ::fsync(fd) == 0;
}

struct Step {
  std::string name, temp, backup;
  bool temp_made = false, had_original = false, renamed = false;
};

// Puts back what the failed write changed: the originals under their names,
// and no temporary or backup file left behind.
void undo(int dir, std::vector<Step>& steps) {
  for (Step& s : steps) {
    if (s.renamed) {
      if (s.had_original) {
        ::renameat(dir, s.backup.c_str(), dir, s.name.c_str());
        s.had_original = false;
      } else {
        ::unlinkat(dir, s.name.c_str(), 0);
      }
    }
    if (s.temp_made && !s.renamed) ::unlinkat(dir, s.temp.c_str(), 0);
    if (s.had_original) ::unlinkat(dir, s.backup.c_str(), 0);
  }
}

}  // namespace

std::string write_files(const std::string& dir, const std::vector<FileBytes>& files,
                        std::vector<std::string>& wrote) {
  for (const FileBytes& f : files) {
    if (f.first.empty() || f.first == "." || f.first == ".." ||
        f.first.find('/') != std::string::npos) {
      return "not a file name: '" + f.first + "'";
    }
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return "cannot create " + dir + ": " + ec.message();
  const Folder folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.fd() < 0) return "cannot open " + dir + ": " + reason();
  const int d = folder.fd();
  const auto path = [&](const std::string& name) {
    return (std::filesystem::path(dir) / name).string();
  };

  std::vector<Step> steps(files.size());
  // Every file whole beside its name first: a full disk stops here, with
  // nothing replaced.
  for (std::size_t i = 0; i < files.size(); ++i) {
    Step& s = steps[i];
    s.name = files[i].first;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 8; ++tries) {
      s.temp = fresh_name(s.name, "new");
      fd = ::openat(d, s.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
      const std::string message = "cannot write " + path(s.name) + ": " + reason();
      undo(d, steps);
      return message;
    }
    s.temp_made = true;
    const bool written = write_all(fd, files[i].second);
    const std::string message = "cannot write " + path(s.name) + ": " + reason();
    if (::close(fd) != 0 || !written) {
      undo(d, steps);
      return message;
    }
  }
  // What each name holds now (a file or a link, never followed), kept under
  // a second name until every rename has succeeded.
  for (Step& s : steps) {
    struct stat st {};
    if (::fstatat(d, s.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;
      const std::string message = "cannot write " + path(s.name) + ": " + reason();
      undo(d, steps);
      return message;
    }
    if (S_ISDIR(st.st_mode)) {
      undo(d, steps);
      return "cannot write " + path(s.name) + ": a folder has that name";
    }
    s.backup = fresh_name(s.name, "old");
    if (::linkat(d, s.name.c_str(), d, s.backup.c_str(), 0) != 0) {
      const std::string message = "cannot write " + path(s.name) + ": " + reason();
      undo(d, steps);
      return message;
    }
    s.had_original = true;
  }
  for (Step& s : steps) {
    if (::renameat(d, s.temp.c_str(), d, s.name.c_str()) != 0) {
      const std::string message = "cannot write " + path(s.name) + ": " + reason();
      undo(d, steps);
      return message;
    }
    s.renamed = true;
  }
  for (Step& s : steps) {
    if (s.had_original) ::unlinkat(d, s.backup.c_str(), 0);
  }
  ::fsync(d);
  std::vector<std::string> paths;
  for (const Step& s : steps) paths.push_back(path(s.name));
  wrote = std::move(paths);
  return "";
}

}  // namespace preview::serve
