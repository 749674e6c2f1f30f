#ifndef MAYA_MFNNUMERICATTRIBUTE_H
#define MAYA_MFNNUMERICATTRIBUTE_H

#include <maya/MExport.h>
#include <maya/MFnAttribute.h>
#include <maya/MFnNumericData.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

class OPENMAYA_EXPORT MFnNumericAttribute : public MFnAttribute {
 public:
  MFnNumericAttribute() = default;
  explicit MFnNumericAttribute(const MObject& attribute, MStatus* status = nullptr)
      : MFnAttribute(attribute, status) {}
  ~MFnNumericAttribute() override;

  // A scalar of `type` (kFloat, kBoolean, ...).
  MObject create(const MString& fullName, const MString& briefName, MFnNumericData::Type type,
                 double defaultValue = 0.0, MStatus* status = nullptr);
  // A compound of three numeric children (a colour, a vector).
  MObject create(const MString& fullName, const MString& briefName, const MObject& child1,
                 const MObject& child2, const MObject& child3, MStatus* status = nullptr);
  MObject createAddr(const MString& fullName, const MString& briefName,
                     void* defaultValue = nullptr, MStatus* status = nullptr);

  MStatus setDefault(bool value);
  MStatus setDefault(float value);
  MStatus setDefault(double value);
  MStatus setDefault(float a, float b, float c);
  MStatus setDefault(double a, double b, double c);
  MStatus setMin(double value);
  MStatus setMax(double value);
  MStatus setSoftMin(double value);
  MStatus setSoftMax(double value);
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MFNNUMERICATTRIBUTE_H
