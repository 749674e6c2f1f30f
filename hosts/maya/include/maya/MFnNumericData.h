#ifndef MAYA_MFNNUMERICDATA_H
#define MAYA_MFNNUMERICDATA_H

#include <maya/MTypes.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

class MFnNumericData {
 public:
  // Current devkits put kInt64 before kFloat, so every later type's number
  // differs by one between the two flavours: use the names, never numbers.
  enum Type {
    kInvalid,
    kBoolean,
    kByte,
    kChar,
    kShort,
    k2Short,
    k3Short,
    kLong,
#if MAYA_API_VERSION >= 20180000
    kInt = kLong,
#endif
    k2Long,
    k3Long,
#if MAYA_API_VERSION >= 20180000
    kInt64,
#endif
    kFloat,
    k2Float,
    k3Float,
    kDouble,
    k2Double,
    k3Double,
#if MAYA_API_VERSION >= 20180000
    k4Double,
#endif
    kAddr,
    kLast
  };
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MFNNUMERICDATA_H
