// The velvet surface shading node: a diffuse term, ambient and incandescent
// terms, translucence, transparency and the velvet lobe of the shading core.
#ifndef VELVET_MAYA_VELVETNODE_H
#define VELVET_MAYA_VELVETNODE_H

#include <maya/MDataBlock.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MTypeId.h>
#include <maya/MTypes.h>

class velvet : public MPxNode {
 public:
  velvet();
  ~velvet() override;

  void postConstructor() override;
  MStatus compute(const MPlug& plug, MDataBlock& block) override;
#if MAYA_API_VERSION >= 20180000
  // compute keeps all working data in the call: any number may run at once.
  SchedulingType schedulingType() const override;
#endif

  static void* creator();
  static MStatus initialize();

  static MTypeId id;

  // One handle per attribute, filled by initialize() before any node exists
  // and only read afterwards.
  static MObject aColorR;
  static MObject aColorG;
  static MObject aColorB;
  static MObject aColor;
  static MObject aTransparencyR;
  static MObject aTransparencyG;
  static MObject aTransparencyB;
  static MObject aTransparency;
  static MObject aAmbientColorR;
  static MObject aAmbientColorG;
  static MObject aAmbientColorB;
  static MObject aAmbientColor;
  static MObject aIncandescenceR;
  static MObject aIncandescenceG;
  static MObject aIncandescenceB;
  static MObject aIncandescence;
  static MObject aDiffuse;
  static MObject aTranslucence;
  static MObject aBackscatter;
  static MObject aEdginess;
  static MObject aRoughness;
  static MObject aSpecularColorR;
  static MObject aSpecularColorG;
  static MObject aSpecularColorB;
  static MObject aSpecularColor;
  static MObject aOutColorR;
  static MObject aOutColorG;
  static MObject aOutColorB;
  static MObject aOutColor;
  static MObject aOutTransparencyR;
  static MObject aOutTransparencyG;
  static MObject aOutTransparencyB;
  static MObject aOutTransparency;
  static MObject aPointCameraX;
  static MObject aPointCameraY;
  static MObject aPointCameraZ;
  static MObject aPointCamera;
  static MObject aNormalCameraX;
  static MObject aNormalCameraY;
  static MObject aNormalCameraZ;
  static MObject aNormalCamera;
  static MObject aRayDirectionX;
  static MObject aRayDirectionY;
  static MObject aRayDirectionZ;
  static MObject aRayDirection;
  static MObject aLightDirectionX;
  static MObject aLightDirectionY;
  static MObject aLightDirectionZ;
  static MObject aLightDirection;
  static MObject aLightIntensityR;
  static MObject aLightIntensityG;
  static MObject aLightIntensityB;
  static MObject aLightIntensity;
  static MObject aLightAmbient;
  static MObject aLightDiffuse;
  static MObject aLightSpecular;
  static MObject aLightShadowFraction;
  static MObject aPreShadowIntensity;
  static MObject aLightBlindData;
  static MObject aLightDataArray;
};

#endif  // VELVET_MAYA_VELVETNODE_H
