// mayahost::Status, the outcome of every driver call: ok, or a message that
// says what went wrong. Part of the driver that tests, benchmarks and tools
// use to play Maya's part; plug-ins never include it (they see MStatus).
#ifndef MAYAHOST_STATUS_H
#define MAYAHOST_STATUS_H

#include <string>
#include <utility>

namespace mayahost {

class Status {
 public:
  Status() = default;
  static Status error(std::string message) {
    Status s;
    s.ok_ = false;
    s.message_ = std::move(message);
    return s;
  }
  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const std::string& message() const { return message_; }

 private:
  bool ok_ = true;
  std::string message_;
};

}  // namespace mayahost

#endif  // MAYAHOST_STATUS_H
