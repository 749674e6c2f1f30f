#ifndef MAYA_MPLUG_H
#define MAYA_MPLUG_H

#include <maya/MExport.h>
#include <maya/MObject.h>
#include <maya/MTypes.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

// One attribute of one node.
class OPENMAYA_EXPORT MPlug {
 public:
  MPlug() = default;
  MPlug(const MObject& node, const MObject& attribute) : node_(node), attribute_(attribute) {}

  // True when this plug is on `attribute`.
  bool operator==(const MObject& attribute) const { return attribute_ == attribute; }
  bool operator!=(const MObject& attribute) const { return attribute_ != attribute; }
  bool operator==(const MPlug& other) const {
    return node_ == other.node_ && attribute_ == other.attribute_;
  }

  MObject attribute() const { return attribute_; }
  MObject node() const { return node_; }
  bool isNull() const { return attribute_.isNull(); }

 private:
  MObject node_;
  MObject attribute_;
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MPLUG_H
