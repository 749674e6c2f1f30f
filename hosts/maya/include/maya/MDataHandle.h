#ifndef MAYA_MDATAHANDLE_H
#define MAYA_MDATAHANDLE_H

#include <maya/MFloatVector.h>
#include <maya/MObject.h>
#include <maya/MTypes.h>
#include <mayahost/detail/data.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

// A handle on one value of a data block. Reads and writes go through the
// returned references. A handle on something the block does not hold reads
// and writes a harmless per-thread scratch value.
class MDataHandle {
 public:
  MDataHandle()
      : base_(nullptr),
        cell_(&mayahost::detail::scratchCell()),
        attr_(&mayahost::detail::noAttribute) {}

  float& asFloat() { return component_ >= 0 ? cell_->value[component_] : cell_->value.x; }
  bool& asBool() { return cell_->flag; }
  MFloatVector& asFloatVector() { return cell_->value; }
  void*& asAddr() { return cell_->address; }

  void set(float v) { asFloat() = v; }
  void set(bool v) { cell_->flag = v; }
  void set(const MFloatVector& v) { cell_->value = v; }
  void set(float x, float y, float z) { cell_->value = MFloatVector(x, y, z); }

  // The handle of a child attribute of this compound.
  MDataHandle child(const MObject& attribute) {
    const mayahost::detail::AttrSlot* s = mayahost::detail::Access::slot(attribute);
    if (s->parent != attr_) return MDataHandle();
    return MDataHandle(base_, base_ + s->offset, s, s->component);
  }

  void setClean() { cell_->dirty = false; }

  // Stand-in host use only.
  MDataHandle(mayahost::detail::Cell* base, mayahost::detail::Cell* cell,
              const mayahost::detail::AttrSlot* attr, int component)
      : base_(base), cell_(cell), attr_(attr), component_(component) {}
  bool isValid() const { return attr_ != &mayahost::detail::noAttribute; }

 private:
  mayahost::detail::Cell* base_;
  mayahost::detail::Cell* cell_;
  const mayahost::detail::AttrSlot* attr_;
  int component_ = -1;
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MDATAHANDLE_H
