#ifndef MAYA_MTYPEID_H
#define MAYA_MTYPEID_H

#include <maya/MExport.h>
#include <maya/MTypes.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

class OPENMAYA_EXPORT MTypeId {
 public:
  MTypeId() : id_(0) {}
  MTypeId(unsigned int id) : id_(id) {}  // NOLINT: converts like the host's own
  MTypeId(const MTypeId& other) = default;
  MTypeId& operator=(const MTypeId& other) = default;
  // Out of line: the host can watch a plug-in's static type id go at unload.
  ~MTypeId();

  unsigned int id() const { return id_; }
  bool operator==(const MTypeId& other) const { return id_ == other.id_; }
  bool operator!=(const MTypeId& other) const { return id_ != other.id_; }

 private:
  unsigned int id_;
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MTYPEID_H
