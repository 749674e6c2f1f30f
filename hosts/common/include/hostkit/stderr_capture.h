// Test support: capturing what a test program and the libraries it loads
// write to standard error, for tests of both stand-in hosts.
//
//   hostkit::StderrCapture err;
//   ASSERT_TRUE(err.ok()) << err.error();
//   ... load a plug-in, make a call that reports ...
//   EXPECT_EQ(err.text(), "");
//
// The capture works on the process's standard error descriptor, not on one
// library's streams, so it also takes what a plug-in writes through its own
// copy of the C++ runtime (a MinGW DLL links libstdc++ statically, but all
// share the C runtime's descriptors).
//
// Tests only (target hostkit_testing): the hosts, plug-ins, tools and
// benchmarks never include it.
#ifndef HOSTKIT_STDERR_CAPTURE_H
#define HOSTKIT_STDERR_CAPTURE_H

#include <string>

namespace hostkit {

// Captures everything written to the standard error stream (C and C++, this
// process and its plug-ins) while it lives.
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  // Whether standard error is being captured; if not, error() says why.
  bool ok() const { return file_ != nullptr; }
  const std::string& error() const { return error_; }
  // What was written so far. Without a capture, a text saying so that no
  // expected output matches: a test that expects silence must not pass on
  // a capture that never happened.
  std::string text() const;

 private:
  int savedFd_ = -1;
  void* file_ = nullptr;
  std::string error_;
};

}  // namespace hostkit

#endif  // HOSTKIT_STDERR_CAPTURE_H
