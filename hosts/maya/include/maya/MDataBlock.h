#ifndef MAYA_MDATABLOCK_H
#define MAYA_MDATABLOCK_H

#include <maya/MArrayDataHandle.h>
#include <maya/MDataHandle.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <mayahost/detail/data.h>

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
    if (view_->log != nullptr) mayahost::detail::logAccess(*view_, "inputArrayValue", s);
    if (s->owner != view_->type || s->arrayIndex < 0) {
      if (status != nullptr) *status = MStatus::kInvalidParameter;
      return MArrayDataHandle();
    }
    if (status != nullptr) *status = MStatus::kSuccess;
    return MArrayDataHandle(view_->arrays + s->arrayIndex, s);
  }

  // Stand-in host use only.
  explicit MDataBlock(mayahost::detail::BlockView* view) : view_(view) {}

 private:
  MDataHandle value(const MObject& attribute, MStatus* status, const char* operation) {
    const mayahost::detail::AttrSlot* s = mayahost::detail::Access::slot(attribute);
    if (view_->log != nullptr) mayahost::detail::logAccess(*view_, operation, s);
    if (s->owner != view_->type || s->blockOffset < 0) {
      if (status != nullptr) *status = MStatus::kInvalidParameter;
      return MDataHandle();
    }
    if (status != nullptr) *status = MStatus::kSuccess;
    return MDataHandle(view_->fixed, view_->fixed + s->blockOffset, s, s->component);
  }

  mayahost::detail::BlockView* view_;
};

#endif  // MAYA_MDATABLOCK_H
