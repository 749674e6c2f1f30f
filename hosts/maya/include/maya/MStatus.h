#ifndef MAYA_MSTATUS_H
#define MAYA_MSTATUS_H

#include <maya/MExport.h>
#include <maya/MTypes.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

class MString;

// Result of a host operation. Small and trivially copyable: it is returned on
// the shading path (compute, MArrayDataHandle::next).
class OPENMAYA_EXPORT MStatus {
 public:
  enum MStatusCode {
    kSuccess = 0,
    kFailure = 1,
    kInsufficientMemory = 2,
    kInvalidParameter = 3,
    kLicenseFailure = 4,
    kUnknownParameter = 5,
    kNotImplemented = 6,
    kNotFound = 7,
    kEndOfFile = 8,
  };

  MStatus() : code_(kSuccess) {}
  MStatus(MStatusCode code) : code_(code) {}  // NOLINT: converts like the host's own

  bool operator==(MStatusCode code) const { return code_ == code; }
  bool operator!=(MStatusCode code) const { return code_ != code; }
  bool operator==(const MStatus& other) const { return code_ == other.code_; }
  bool operator!=(const MStatus& other) const { return code_ != other.code_; }
  explicit operator bool() const { return code_ == kSuccess; }
  bool error() const { return code_ != kSuccess; }

  MStatusCode statusCode() const { return code_; }
  // The host's text for this status, e.g. "(kFailure): the host operation failed".
  MString errorString() const;
  // Writes `text`, ": " and errorString() to the standard error stream.
  void perror(const char* text) const;
  void perror(const MString& text) const;

 private:
  MStatusCode code_;
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MSTATUS_H
