#ifndef MAYA_MDATABLOCK_H
#define MAYA_MDATABLOCK_H

#include <maya/MArrayDataHandle.h>
#include <maya/MDataHandle.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>
#include <mayahost/detail/data.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

class MDataBlock;

OPENMAYA_NAMESPACE_CLOSE

namespace mayahost::detail {
// The checked path of the look-ups below: logs when asked, validates.
OPENMAYA_EXPORT MDataHandle blockValue(BlockView& view, const char* operation, const AttrSlot* attr,
                                       MStatus* status);
OPENMAYA_EXPORT MArrayDataHandle blockArrayValue(BlockView& view, const AttrSlot* attr,
                                                 MStatus* status);
}  // namespace mayahost::detail

OPENMAYA_MAJOR_NAMESPACE_OPEN

// The values a node's compute works on. The host hands one to compute; it
// holds every attribute of the node's type.
class MDataBlock {
 public:
  MDataHandle inputValue(const MObject& attribute, MStatus* status = nullptr) {
    return value(attribute, status, "inputValue");
  }
  MDataHandle outputValue(const MObject& attribute, MStatus* status = nullptr) {
    return value(attribute, status, "outputValue");
  }
  MArrayDataHandle inputArrayValue(const MObject& attribute, MStatus* status = nullptr) {
    const mayahost::detail::AttrSlot* s = mayahost::detail::Access::slot(attribute);
    if (s->arrayOwner != view_->key) return mayahost::detail::blockArrayValue(*view_, s, status);
    if (status != nullptr) *status = MStatus::kSuccess;
    return MArrayDataHandle(view_->arrays + s->arrayIndex, s);
  }

  // Stand-in host use only.
  explicit MDataBlock(mayahost::detail::BlockView* view) : view_(view) {}

 private:
  MDataHandle value(const MObject& attribute, MStatus* status, const char* operation) {
    const mayahost::detail::AttrSlot* s = mayahost::detail::Access::slot(attribute);
    if (s->blockOwner != view_->key) {
      return mayahost::detail::blockValue(*view_, operation, s, status);
    }
    if (status != nullptr) *status = MStatus::kSuccess;
    return MDataHandle(view_->fixed, view_->fixed + s->blockOffset, s, s->component);
  }

  mayahost::detail::BlockView* view_;
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MDATABLOCK_H
