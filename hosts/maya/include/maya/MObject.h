#ifndef MAYA_MOBJECT_H
#define MAYA_MOBJECT_H

#include <maya/MExport.h>

namespace mayahost::detail {
struct Access;
}

// Handle on something the host owns: an attribute, a node or a plug-in.
// Default-built handles are null.
class OPENMAYA_EXPORT MObject {
 public:
  MObject() = default;
  MObject(const MObject& other) = default;
  MObject& operator=(const MObject& other) = default;
  // Out of line: the host can watch a plug-in's static handles go at unload.
  ~MObject();

  bool isNull() const { return ptr_ == nullptr; }
  bool operator==(const MObject& other) const { return ptr_ == other.ptr_; }
  bool operator!=(const MObject& other) const { return ptr_ != other.ptr_; }

  static const MObject kNullObj;

 private:
  friend struct mayahost::detail::Access;
  enum class Kind : unsigned char { kNull, kAttribute, kNode, kPlugin };
  MObject(void* ptr, Kind kind) : ptr_(ptr), kind_(kind) {}

  void* ptr_ = nullptr;
  Kind kind_ = Kind::kNull;
};

#endif  // MAYA_MOBJECT_H
