#ifndef MAYA_MFNNUMERICDATA_H
#define MAYA_MFNNUMERICDATA_H

#include <maya/MTypes.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

class MFnNumericData {
 public:
  enum Type {
    kInvalid = 0,
    kBoolean = 1,
    kByte = 2,
    kChar = 3,
    kShort = 4,
    k2Short = 5,
    k3Short = 6,
    kLong = 7,
    k2Long = 8,
    k3Long = 9,
    kFloat = 10,
    k2Float = 11,
    k3Float = 12,
    kDouble = 13,
    k2Double = 14,
    k3Double = 15,
    kAddr = 16,
  };
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MFNNUMERICDATA_H
