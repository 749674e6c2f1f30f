// POSIX: every step names its file relative to the folder opened once, so the
// folder cannot be swapped for another under the writer's feet, and no step
// follows a link (O_NOFOLLOW, rename and link act on the name itself).
// Windows has no calls relative to an open folder: the same steps there name
// the file by its path, the original is moved aside rather than linked, and a
// rename replaces a link rather than following it.
#include "tools/preview/render/out_folder.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace preview {

namespace {

#ifndef _WIN32
std::string reason() {
  return std::strerror(errno);
}
#endif

#ifdef _WIN32
int process_id() {
  return ::_getpid();
}
#else
int process_id() {
  return ::getpid();
}
#endif

// A name of the folder's own that nobody else holds: O_EXCL makes sure.
std::string fresh_name(const std::string& name, const char* role) {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  return "." + name + "." + role + "-" + std::to_string(process_id()) + "-" + std::to_string(seed) +
         "-" + std::to_string(counter.fetch_add(1));
}

#ifdef _WIN32
namespace fs = std::filesystem;

bool create_new(const fs::path& file, const std::vector<unsigned char>& bytes, bool& made) {
  const HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  made = h != INVALID_HANDLE_VALUE;
  if (!made) return false;
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    ok = ::WriteFile(h, bytes.data() + done, want, &n, nullptr) != 0 && n > 0;
    done += n;
  }
  ok = ok && ::FlushFileBuffers(h) != 0;
  return ::CloseHandle(h) != 0 && ok;
}

std::string last_error() {
  return std::error_code(static_cast<int>(::GetLastError()), std::system_category()).message();
}

struct Step {
  std::string name, temp, backup;
  bool temp_made = false, had_original = false, renamed = false;
};

void undo(const fs::path& dir, std::vector<Step>& steps) {
  // The original was moved aside, not linked: it goes back whether or not
  // the new file had taken its name.
  std::error_code ec;
  for (Step& s : steps) {
    if (s.renamed && !s.had_original) fs::remove(dir / fs::u8path(s.name), ec);
    if (s.temp_made && !s.renamed) fs::remove(dir / fs::u8path(s.temp), ec);
    if (s.had_original) fs::rename(dir / fs::u8path(s.backup), dir / fs::u8path(s.name), ec);
  }
}
#else
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

#endif

}  // namespace
#ifdef _WIN32
std::string write_files(const std::string& dir, const std::vector<FileBytes>& files,
                        std::vector<std::string>& wrote) {
  for (const FileBytes& f : files) {
    if (f.first.empty() || f.first == "." || f.first == ".." ||
        f.first.find_first_of("/\\:") != std::string::npos) {
      return "not a file name: '" + f.first + "'";
    }
  }
  std::error_code ec;
  const fs::path d = fs::u8path(dir);
  fs::create_directories(d, ec);
  if (ec) return "cannot create " + dir + ": " + ec.message();
  if (!fs::is_directory(d, ec)) return "cannot open " + dir + ": not a folder";
  const auto path = [&](const std::string& name) { return (fs::path(dir) / name).string(); };

  std::vector<Step> steps(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    Step& s = steps[i];
    s.name = files[i].first;
    bool written = false;
    for (int tries = 0; !s.temp_made && tries < 8; ++tries) {
      s.temp = fresh_name(s.name, "new");
      written = create_new(d / fs::u8path(s.temp), files[i].second, s.temp_made);
      if (!s.temp_made && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!written) {
      const std::string message = "cannot write " + path(s.name) + ": " + last_error();
      undo(d, steps);
      return message;
    }
  }
  for (Step& s : steps) {
    const fs::file_status st = fs::symlink_status(d / fs::u8path(s.name), ec);
    if (st.type() == fs::file_type::not_found) continue;
    if (ec) {
      const std::string message = "cannot write " + path(s.name) + ": " + ec.message();
      undo(d, steps);
      return message;
    }
    if (st.type() == fs::file_type::directory) {
      undo(d, steps);
      return "cannot write " + path(s.name) + ": a folder has that name";
    }
    s.backup = fresh_name(s.name, "old");
    fs::rename(d / fs::u8path(s.name), d / fs::u8path(s.backup), ec);
    if (ec) {
      const std::string message = "cannot write " + path(s.name) + ": " + ec.message();
      undo(d, steps);
      return message;
    }
    s.had_original = true;
  }
  for (Step& s : steps) {
    fs::rename(d / fs::u8path(s.temp), d / fs::u8path(s.name), ec);
    if (ec) {
      const std::string message = "cannot write " + path(s.name) + ": " + ec.message();
      undo(d, steps);
      return message;
    }
    s.renamed = true;
  }
  for (Step& s : steps) {
    if (s.had_original) fs::remove(d / fs::u8path(s.backup), ec);
  }
  std::vector<std::string> paths;
  for (const Step& s : steps) paths.push_back(path(s.name));
  wrote = std::move(paths);
  return "";
}
#else

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
#endif

}  // namespace preview
