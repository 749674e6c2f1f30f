#ifndef MAYA_MOBJECT_H
#define MAYA_MOBJECT_H

#include <maya/MExport.h>
#include <maya/MTypes.h>

namespace mayahost::detail {
struct Access;
struct AttrSlot;
// What a handle on anything but an attribute reads as its attribute facts.
OPENMAYA_EXPORT extern const AttrSlot noAttribute;
}  // namespace mayahost::detail

OPENMAYA_MAJOR_NAMESPACE_OPEN

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
  MObject(void* ptr, const mayahost::detail::AttrSlot* slot, Kind kind)
      : ptr_(ptr), slot_(slot), kind_(kind) {}

  void* ptr_ = nullptr;
  // Never null, so that data-block accessors need no kind test.
  const mayahost::detail::AttrSlot* slot_ = &mayahost::detail::noAttribute;
  Kind kind_ = Kind::kNull;
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MOBJECT_H
