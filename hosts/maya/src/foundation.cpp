// The stand-in Foundation library: the value classes that OpenMaya and the
// plug-ins share and that need none of the host's state. A library of its own,
// as in the devkit, so that a plug-in's link line "OpenMaya Foundation" names
// two real files.
#include <maya/MString.h>

// ---- MString -------------------------------------------------------------------

MString::MString() = default;
MString::MString(const char* text) : text_(text != nullptr ? text : "") {}
MString::MString(const MString& other) = default;
MString& MString::operator=(const MString& other) = default;
MString::~MString() = default;
MString& MString::operator+=(const MString& other) {
  text_ += other.text_;
  return *this;
}
MString& MString::operator+=(const char* text) {
  if (text != nullptr) text_ += text;
  return *this;
}
bool MString::operator==(const MString& other) const {
  return text_ == other.text_;
}
const char* MString::asChar() const {
  return text_.c_str();
}
unsigned int MString::length() const {
  return static_cast<unsigned int>(text_.size());
}
// A free function of the devkit's namespace, so defined inside it.
OPENMAYA_MAJOR_NAMESPACE_OPEN
MString operator+(const MString& a, const MString& b) {
  MString r(a);
  r += b;
  return r;
}
OPENMAYA_NAMESPACE_CLOSE
