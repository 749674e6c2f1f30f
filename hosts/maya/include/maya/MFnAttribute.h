#ifndef MAYA_MFNATTRIBUTE_H
#define MAYA_MFNATTRIBUTE_H

#include <maya/MExport.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

// Function set on one attribute: the one most recently created through it.
// Calls on a function set with no attribute fail with kInvalidParameter.
class OPENMAYA_EXPORT MFnAttribute {
 public:
  MFnAttribute();
  explicit MFnAttribute(const MObject& attribute, MStatus* status = nullptr);
  virtual ~MFnAttribute();

  MStatus setObject(const MObject& attribute);
  MObject object(MStatus* status = nullptr) const;
  MString name(MStatus* status = nullptr) const;
  MString shortName(MStatus* status = nullptr) const;

  MStatus setKeyable(bool state);
  MStatus setStorable(bool state);
  MStatus setReadable(bool state);
  MStatus setWritable(bool state);
  MStatus setHidden(bool state);
  MStatus setUsedAsColor(bool state);
  MStatus setArray(bool state);

  bool isKeyable(MStatus* status = nullptr) const;
  bool isStorable(MStatus* status = nullptr) const;
  bool isReadable(MStatus* status = nullptr) const;
  bool isWritable(MStatus* status = nullptr) const;
  bool isHidden(MStatus* status = nullptr) const;
  bool isUsedAsColor(MStatus* status = nullptr) const;
  bool isArray(MStatus* status = nullptr) const;

  MFnAttribute(const MFnAttribute&) = delete;
  MFnAttribute& operator=(const MFnAttribute&) = delete;

 protected:
  MObject attribute_;
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MFNATTRIBUTE_H
