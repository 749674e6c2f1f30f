#ifndef MAYA_MARRAYDATAHANDLE_H
#define MAYA_MARRAYDATAHANDLE_H

#include <maya/MDataHandle.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>
#include <mayahost/detail/data.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

// Walks the elements of an array attribute, starting on the first.
class MArrayDataHandle {
 public:
  unsigned int elementCount(MStatus* status = nullptr) const {
    if (status != nullptr) *status = MStatus::kSuccess;
    return view_->count;
  }

  // The current element.
  MDataHandle inputValue(MStatus* status = nullptr) const {
    if (index_ >= view_->count) {
      if (status != nullptr) *status = MStatus::kInvalidParameter;
      return MDataHandle();
    }
    if (status != nullptr) *status = MStatus::kSuccess;
    mayahost::detail::Cell* element = view_->elements + index_ * view_->elementCells;
    return MDataHandle(element, element, attr_, -1);
  }
  MDataHandle outputValue(MStatus* status = nullptr) const { return inputValue(status); }

  // Moves to the next element; fails, staying put, when there is none.
  MStatus next() {
    if (mayahost::detail::faultsArmed.load(std::memory_order_relaxed) &&
        mayahost::detail::failArrayNext()) {
      return MStatus::kFailure;
    }
    if (index_ + 1 >= view_->count) return MStatus::kFailure;
    ++index_;
    return MStatus::kSuccess;
  }

  MStatus jumpToElement(unsigned int index) {
    if (index >= view_->count) return MStatus::kInvalidParameter;
    index_ = index;
    return MStatus::kSuccess;
  }
  unsigned int elementIndex(MStatus* status = nullptr) const {
    if (status != nullptr) *status = MStatus::kSuccess;
    return index_;
  }

  // Stand-in host use only.
  MArrayDataHandle() = default;
  MArrayDataHandle(const mayahost::detail::ArrayView* view, const mayahost::detail::AttrSlot* attr)
      : view_(view), attr_(attr) {}

 private:
  const mayahost::detail::ArrayView* view_ = &mayahost::detail::noArray;
  const mayahost::detail::AttrSlot* attr_ = nullptr;
  unsigned index_ = 0;
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MARRAYDATAHANDLE_H
