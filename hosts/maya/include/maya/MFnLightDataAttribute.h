#ifndef MAYA_MFNLIGHTDATAATTRIBUTE_H
#define MAYA_MFNLIGHTDATAATTRIBUTE_H

#include <maya/MExport.h>
#include <maya/MFnAttribute.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

// The compound through which the renderer hands each light to a shader.
class OPENMAYA_EXPORT MFnLightDataAttribute : public MFnAttribute {
 public:
  MFnLightDataAttribute() = default;
  ~MFnLightDataAttribute() override;

  MObject create(const MString& fullName, const MString& briefName, const MObject& direction,
                 const MObject& intensity, const MObject& ambient, const MObject& diffuse,
                 const MObject& specular, const MObject& shadowFraction,
                 const MObject& preShadowIntensity, const MObject& blindData,
                 MStatus* status = nullptr);

  MStatus setDefault(float directionX, float directionY, float directionZ, float intensityR,
                     float intensityG, float intensityB, bool ambient, bool diffuse, bool specular,
                     float shadowFraction, float preShadowIntensity, void* blindData);
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MFNLIGHTDATAATTRIBUTE_H
