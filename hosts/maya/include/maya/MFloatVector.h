#ifndef MAYA_MFLOATVECTOR_H
#define MAYA_MFLOATVECTOR_H

#include <maya/MTypes.h>

#include <cmath>

OPENMAYA_MAJOR_NAMESPACE_OPEN

// Three floats with plain value semantics; header-only like the host's own.
class MFloatVector {
 public:
  MFloatVector() : x(0.0f), y(0.0f), z(0.0f) {}
  MFloatVector(float xx, float yy, float zz = 0.0f) : x(xx), y(yy), z(zz) {}
  MFloatVector(const MFloatVector& other) = default;
  MFloatVector& operator=(const MFloatVector& other) = default;

  float& operator[](unsigned int i) { return i == 0 ? x : (i == 1 ? y : z); }
  float operator[](unsigned int i) const { return i == 0 ? x : (i == 1 ? y : z); }

  MFloatVector operator-() const { return MFloatVector(-x, -y, -z); }
  MFloatVector operator+(const MFloatVector& o) const {
    return MFloatVector(x + o.x, y + o.y, z + o.z);
  }
  MFloatVector operator-(const MFloatVector& o) const {
    return MFloatVector(x - o.x, y - o.y, z - o.z);
  }
  MFloatVector operator*(float s) const { return MFloatVector(x * s, y * s, z * s); }
  MFloatVector operator/(float s) const { return MFloatVector(x / s, y / s, z / s); }
  // Dot product, summed (x + y) + z.
  float operator*(const MFloatVector& o) const { return (x * o.x + y * o.y) + z * o.z; }
  bool operator==(const MFloatVector& o) const { return x == o.x && y == o.y && z == o.z; }
  bool operator!=(const MFloatVector& o) const { return !(*this == o); }

  float length() const { return std::sqrt((x * x + y * y) + z * z); }

  float x, y, z;
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MFLOATVECTOR_H
