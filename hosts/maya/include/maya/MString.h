#ifndef MAYA_MSTRING_H
#define MAYA_MSTRING_H

#include <maya/MExport.h>
#include <maya/MTypes.h>

#include <string>

OPENMAYA_MAJOR_NAMESPACE_OPEN

class FOUNDATION_EXPORT MString {
 public:
  MString();
  MString(const char* text);  // NOLINT: converts like the host's own
  MString(const MString& other);
  MString& operator=(const MString& other);
  ~MString();

  MString& operator+=(const MString& other);
  MString& operator+=(const char* text);
  bool operator==(const MString& other) const;
  bool operator!=(const MString& other) const { return !(*this == other); }

  const char* asChar() const;
  unsigned int length() const;

 private:
  std::string text_;
};

FOUNDATION_EXPORT MString operator+(const MString& a, const MString& b);

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MSTRING_H
