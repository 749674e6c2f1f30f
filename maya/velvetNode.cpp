#include "velvetNode.h"

#include <maya/MFloatVector.h>
#include <maya/MFnLightDataAttribute.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnNumericData.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <new>

#include "core/velvet_lobe.h"
#include "statusReport.h"

// Constructed in this order when the library loads and destroyed in reverse
// at unload, so the type id goes last.
MTypeId velvet::id(0x85124);

MObject velvet::aColorR;
MObject velvet::aColorG;
MObject velvet::aColorB;
MObject velvet::aColor;
MObject velvet::aTransparencyR;
MObject velvet::aTransparencyG;
MObject velvet::aTransparencyB;
MObject velvet::aTransparency;
MObject velvet::aAmbientColorR;
MObject velvet::aAmbientColorG;
MObject velvet::aAmbientColorB;
MObject velvet::aAmbientColor;
MObject velvet::aIncandescenceR;
MObject velvet::aIncandescenceG;
MObject velvet::aIncandescenceB;
MObject velvet::aIncandescence;
MObject velvet::aDiffuse;
MObject velvet::aTranslucence;
MObject velvet::aBackscatter;
MObject velvet::aEdginess;
MObject velvet::aRoughness;
MObject velvet::aSpecularColorR;
MObject velvet::aSpecularColorG;
MObject velvet::aSpecularColorB;
MObject velvet::aSpecularColor;
MObject velvet::aOutColorR;
MObject velvet::aOutColorG;
MObject velvet::aOutColorB;
MObject velvet::aOutColor;
MObject velvet::aOutTransparencyR;
MObject velvet::aOutTransparencyG;
MObject velvet::aOutTransparencyB;
MObject velvet::aOutTransparency;
MObject velvet::aPointCameraX;
MObject velvet::aPointCameraY;
MObject velvet::aPointCameraZ;
MObject velvet::aPointCamera;
MObject velvet::aNormalCameraX;
MObject velvet::aNormalCameraY;
MObject velvet::aNormalCameraZ;
MObject velvet::aNormalCamera;
MObject velvet::aRayDirectionX;
MObject velvet::aRayDirectionY;
MObject velvet::aRayDirectionZ;
MObject velvet::aRayDirection;
MObject velvet::aLightDirectionX;
MObject velvet::aLightDirectionY;
MObject velvet::aLightDirectionZ;
MObject velvet::aLightDirection;
MObject velvet::aLightIntensityR;
MObject velvet::aLightIntensityG;
MObject velvet::aLightIntensityB;
MObject velvet::aLightIntensity;
MObject velvet::aLightAmbient;
MObject velvet::aLightDiffuse;
MObject velvet::aLightSpecular;
MObject velvet::aLightShadowFraction;
MObject velvet::aPreShadowIntensity;
MObject velvet::aLightBlindData;
MObject velvet::aLightDataArray;

namespace {

// A zero-length vector stays zero rather than turning into NaNs: the lobe then
// gives black for a degenerate normal or light direction instead of poisoning
// the whole sample.
MFloatVector normalizeVector(const MFloatVector& v) {
  const float length = std::sqrt((v.x * v.x + v.y * v.y) + v.z * v.z);
  if (length == 0.0f) return MFloatVector(0.0f, 0.0f, 0.0f);
  return v / length;
}

// `term` if `keep`, else +0. Which side of the surface a light falls on is
// unpredictable from sample to sample, so this selects rather than branches;
// adding +0 leaves a sum (never -0) exactly as it was, so the result is the
// same as not adding at all.
float termIf(bool keep, float term) {
  std::uint32_t bits;
  std::memcpy(&bits, &term, sizeof bits);
  bits &= 0u - static_cast<std::uint32_t>(keep);
  std::memcpy(&term, &bits, sizeof bits);
  return term;
}

core::Vector toVector(const MFloatVector& v) {
  return {v.x, v.y, v.z};
}

core::Color toColor(const MFloatVector& c) {
  return {c.x, c.y, c.z};
}

}  // namespace

velvet::velvet() = default;
velvet::~velvet() = default;

// Devkits since 2018 ask schedulingType() instead and deprecate setMPSafe.
#if MAYA_API_VERSION >= 20180000
void velvet::postConstructor() {}

MPxNode::SchedulingType velvet::schedulingType() const {
  return kParallel;
}
#else
void velvet::postConstructor() {
  setMPSafe(true);
}
#endif

// nothrow so that running out of memory gives Maya the null it checks for
// instead of an exception escaping into the host.
void* velvet::creator() {
  return new (std::nothrow) velvet;
}

MStatus velvet::compute(const MPlug& plug, MDataBlock& block) {
  if (plug == aOutColor || plug == aOutColorR || plug == aOutColorG || plug == aOutColorB) {
    const MFloatVector rayDirection = block.inputValue(aRayDirection).asFloatVector();
    const MFloatVector normal = block.inputValue(aNormalCamera).asFloatVector();
    const MFloatVector color = block.inputValue(aColor).asFloatVector();
    const MFloatVector ambientColor = block.inputValue(aAmbientColor).asFloatVector();
    const MFloatVector incandescence = block.inputValue(aIncandescence).asFloatVector();
    const MFloatVector specularColor = block.inputValue(aSpecularColor).asFloatVector();
    const float diffuse = block.inputValue(aDiffuse).asFloat();
    const float translucence = block.inputValue(aTranslucence).asFloat();
    const float backscatter = block.inputValue(aBackscatter).asFloat();
    const float edginess = block.inputValue(aEdginess).asFloat();
    const float roughness = block.inputValue(aRoughness).asFloat();
    MArrayDataHandle lights = block.inputArrayValue(aLightDataArray);
    const unsigned int count = lights.elementCount();

    // Sums as plain channels so that they stay in registers across lights.
    core::Color ambientSum{0.0f, 0.0f, 0.0f};
    core::Color diffuseSum{0.0f, 0.0f, 0.0f};
    core::Color translucenceSum{0.0f, 0.0f, 0.0f};
    core::Color velvetSum{0.0f, 0.0f, 0.0f};
    const core::Color surface = toColor(color);

    // The same for every light: normalised once rather than per light, which
    // gives the same bits.
    const core::Vector N = toVector(normalizeVector(normal));
    const core::Vector V = toVector(-normalizeVector(rayDirection));
    const core::Color specular = toColor(specularColor);

    // Lights go in batches: first every light's cheap terms and its
    // normalised direction, then the lobes back to back. The square roots and
    // divisions of a batch then overlap instead of each waiting behind the
    // previous light's powf calls. Every sum still grows in light order, so
    // the bits are those of one pass.
    constexpr unsigned int kBatch = 16;
    core::Vector lobeL[kBatch];
    core::Color lobeI[kBatch];
    bool more = count >= 1;
    unsigned int i = 1;
    while (more) {
      unsigned int lobes = 0;
      for (; more && lobes < kBatch; ++i) {
        MDataHandle light = lights.inputValue();
        const core::Color I = toColor(light.child(aLightIntensity).asFloatVector());
        const MFloatVector direction = light.child(aLightDirection).asFloatVector();

        if (light.child(aLightAmbient).asBool()) {
          ambientSum.r += I.r * surface.r;
          ambientSum.g += I.g * surface.g;
          ambientSum.b += I.b * surface.b;
        }
        if (light.child(aLightDiffuse).asBool()) {
          // The normal as it comes, not normalised: a longer normal shapes
          // the diffuse term harder. s is smoothstep(0, 1, NL) for NL > 0.
          const float NL =
              (direction.x * normal.x + direction.y * normal.y) + direction.z * normal.z;
          const float s = NL > 1.0f ? 1.0f : NL * NL * (3.0f - 2.0f * NL);
          const bool lit = NL > 0.0f;
          const float k = s * diffuse;
          diffuseSum.r += termIf(lit, (k * I.r) * surface.r);
          diffuseSum.g += termIf(lit, (k * I.g) * surface.g);
          diffuseSum.b += termIf(lit, (k * I.b) * surface.b);
        }
        if (light.child(aLightSpecular).asBool()) {
          lobeL[lobes] = toVector(normalizeVector(direction));
          lobeI[lobes] = I;
          ++lobes;
        }
        // Every light shines through, whatever its switches.
        translucenceSum.r += (I.r * surface.r) * translucence;
        translucenceSum.g += (I.g * surface.g) * translucence;
        translucenceSum.b += (I.b * surface.b) * translucence;

        // next() after every light, the last included; a failure ends the
        // loop early.
        const bool moved = static_cast<bool>(lights.next());
        more = moved && i < count;
      }
      for (unsigned int j = 0; j < lobes; ++j) {
        core::Color lobe;
        core::velvet_lobe(V, N, lobeL[j], lobeI[j], specular, lobe, roughness, edginess,
                          backscatter);
        velvetSum.r += lobe.r;
        velvetSum.g += lobe.g;
        velvetSum.b += lobe.b;
      }
    }

    const MFloatVector transparency = block.inputValue(aTransparency).asFloatVector();
    const float ambientSums[3] = {ambientSum.r, ambientSum.g, ambientSum.b};
    const float diffuseSums[3] = {diffuseSum.r, diffuseSum.g, diffuseSum.b};
    const float translucenceSums[3] = {translucenceSum.r, translucenceSum.g, translucenceSum.b};
    const float velvetSums[3] = {velvetSum.r, velvetSum.g, velvetSum.b};
    MFloatVector result;
    for (unsigned int c = 0; c < 3; ++c) {
      const float ambientProduct = ambientColor[c] * color[c];
      const float base = ambientSums[c] + (((diffuseSums[c] + ambientProduct) + incandescence[c]) +
                                           translucenceSums[c]);
      // Transparency thins everything but the lobe.
      result[c] = (1.0f - transparency[c]) * base + velvetSums[c];
    }

    MDataHandle out = block.outputValue(aOutColor);
    out.asFloatVector() = result;
    out.setClean();
    return MStatus::kSuccess;
  }

  if (plug == aOutTransparency || plug == aOutTransparencyR || plug == aOutTransparencyG ||
      plug == aOutTransparencyB) {
    const MFloatVector transparency = block.inputValue(aTransparency).asFloatVector();
    MDataHandle out = block.outputValue(aOutTransparency);
    out.asFloatVector() = transparency;
    out.setClean();
    return MStatus::kSuccess;
  }

  return MStatus::kUnknownParameter;
}

// The node reports failures only from the light-data rows on, by design:
// which calls report is part of the node's defined error output, which
// pipelines watching Maya's error stream see, so the rows before the light
// data stay unchecked (a null status pointer, their calls' statuses dropped),
// as do addAttribute and attributeAffects. Every create and call from the
// light data on is checked and reported, but a failure never stops the
// declaration: the remaining attributes are still created, added and linked,
// and initialize still returns success.
MStatus velvet::initialize() {
  MFnNumericAttribute nAttr;
  MFnLightDataAttribute lAttr;

  aColorR = nAttr.create("colorR", "cr", MFnNumericData::kFloat, 0.5, nullptr);
  aColorG = nAttr.create("colorG", "cg", MFnNumericData::kFloat, 0.5, nullptr);
  aColorB = nAttr.create("colorB", "cb", MFnNumericData::kFloat, 0.5, nullptr);
  aColor = nAttr.create("color", "c", aColorR, aColorG, aColorB, nullptr);
  nAttr.setKeyable(true);
  nAttr.setStorable(true);
  nAttr.setDefault(0.5f, 0.5f, 0.5f);
  nAttr.setUsedAsColor(true);

  aTransparencyR = nAttr.create("transparencyR", "itr", MFnNumericData::kFloat, 0.0, nullptr);
  aTransparencyG = nAttr.create("transparencyG", "itg", MFnNumericData::kFloat, 0.0, nullptr);
  aTransparencyB = nAttr.create("transparencyB", "itb", MFnNumericData::kFloat, 0.0, nullptr);
  aTransparency =
      nAttr.create("transparency", "it", aTransparencyR, aTransparencyG, aTransparencyB, nullptr);
  nAttr.setKeyable(true);
  nAttr.setStorable(true);
  nAttr.setDefault(0.0f, 0.0f, 0.0f);
  nAttr.setUsedAsColor(true);

  aAmbientColorR = nAttr.create("ambientColorR", "ambCR", MFnNumericData::kFloat, 0.0, nullptr);
  aAmbientColorG = nAttr.create("ambientColorG", "ambCG", MFnNumericData::kFloat, 0.0, nullptr);
  aAmbientColorB = nAttr.create("ambientColorB", "ambCB", MFnNumericData::kFloat, 0.0, nullptr);
  aAmbientColor =
      nAttr.create("ambientColor", "ambC", aAmbientColorR, aAmbientColorG, aAmbientColorB, nullptr);
  nAttr.setKeyable(true);
  nAttr.setStorable(true);
  nAttr.setDefault(0.0f, 0.0f, 0.0f);
  nAttr.setUsedAsColor(true);

  aIncandescenceR = nAttr.create("incandescenceR", "ir", MFnNumericData::kFloat, 0.0, nullptr);
  aIncandescenceG = nAttr.create("incandescenceG", "ig", MFnNumericData::kFloat, 0.0, nullptr);
  aIncandescenceB = nAttr.create("incandescenceB", "ib", MFnNumericData::kFloat, 0.0, nullptr);
  aIncandescence = nAttr.create("incandescence", "ic", aIncandescenceR, aIncandescenceG,
                                aIncandescenceB, nullptr);
  nAttr.setKeyable(true);
  nAttr.setStorable(true);
  nAttr.setDefault(0.0f, 0.0f, 0.0f);
  nAttr.setUsedAsColor(true);

  aDiffuse = nAttr.create("diffuse", "dfl", MFnNumericData::kFloat, 0.0, nullptr);
  nAttr.setKeyable(true);
  nAttr.setStorable(true);
  nAttr.setDefault(0.8f);
  nAttr.setSoftMin(0.0);
  nAttr.setSoftMax(1.0);

  aTranslucence = nAttr.create("translucence", "tsl", MFnNumericData::kFloat, 0.0, nullptr);
  nAttr.setKeyable(true);
  nAttr.setStorable(true);
  nAttr.setDefault(0.0f);
  nAttr.setSoftMin(0.0);
  nAttr.setSoftMax(1.0);

  aBackscatter = nAttr.create("backscatter", "bs", MFnNumericData::kFloat, 0.0, nullptr);
  nAttr.setKeyable(true);
  nAttr.setStorable(true);
  nAttr.setDefault(0.1f);
  nAttr.setSoftMin(0.0);
  nAttr.setSoftMax(1.0);

  aEdginess = nAttr.create("edginess", "edg", MFnNumericData::kFloat, 0.0, nullptr);
  nAttr.setKeyable(true);
  nAttr.setStorable(true);
  nAttr.setDefault(10.0f);
  nAttr.setSoftMin(0.0);
  nAttr.setSoftMax(50.0);

  aRoughness = nAttr.create("roughness", "rhg", MFnNumericData::kFloat, 0.0, nullptr);
  nAttr.setKeyable(true);
  nAttr.setStorable(true);
  nAttr.setDefault(0.2f);
  nAttr.setSoftMin(0.0);
  nAttr.setSoftMax(1.0);

  aSpecularColorR = nAttr.create("specularColorR", "spcr", MFnNumericData::kFloat, 0.5, nullptr);
  aSpecularColorG = nAttr.create("specularColorG", "spcg", MFnNumericData::kFloat, 0.5, nullptr);
  aSpecularColorB = nAttr.create("specularColorB", "spcb", MFnNumericData::kFloat, 0.5, nullptr);
  aSpecularColor = nAttr.create("specularColor", "spc", aSpecularColorR, aSpecularColorG,
                                aSpecularColorB, nullptr);
  nAttr.setKeyable(true);
  nAttr.setStorable(true);
  nAttr.setDefault(0.5f, 0.5f, 0.5f);
  nAttr.setUsedAsColor(true);

  aOutColorR = nAttr.create("outColorR", "ocr", MFnNumericData::kFloat, 0.0, nullptr);
  aOutColorG = nAttr.create("outColorG", "ocg", MFnNumericData::kFloat, 0.0, nullptr);
  aOutColorB = nAttr.create("outColorB", "ocb", MFnNumericData::kFloat, 0.0, nullptr);
  aOutColor = nAttr.create("outColor", "oc", aOutColorR, aOutColorG, aOutColorB, nullptr);
  nAttr.setHidden(false);
  nAttr.setReadable(true);
  nAttr.setWritable(false);

  aOutTransparencyR = nAttr.create("outTransparencyR", "otr", MFnNumericData::kFloat, 0.0, nullptr);
  aOutTransparencyG = nAttr.create("outTransparencyG", "otg", MFnNumericData::kFloat, 0.0, nullptr);
  aOutTransparencyB = nAttr.create("outTransparencyB", "otb", MFnNumericData::kFloat, 0.0, nullptr);
  aOutTransparency = nAttr.create("outTransparency", "ot", aOutTransparencyR, aOutTransparencyG,
                                  aOutTransparencyB, nullptr);
  nAttr.setHidden(false);
  nAttr.setReadable(true);
  nAttr.setWritable(false);

  aPointCameraX = nAttr.create("pointCameraX", "px", MFnNumericData::kFloat, 1.0, nullptr);
  aPointCameraY = nAttr.create("pointCameraY", "py", MFnNumericData::kFloat, 1.0, nullptr);
  aPointCameraZ = nAttr.create("pointCameraZ", "pz", MFnNumericData::kFloat, 1.0, nullptr);
  aPointCamera =
      nAttr.create("pointCamera", "pc", aPointCameraX, aPointCameraY, aPointCameraZ, nullptr);
  nAttr.setStorable(false);
  nAttr.setDefault(1.0f, 1.0f, 1.0f);
  nAttr.setHidden(true);

  aNormalCameraX = nAttr.create("normalCameraX", "nx", MFnNumericData::kFloat, 1.0, nullptr);
  aNormalCameraY = nAttr.create("normalCameraY", "ny", MFnNumericData::kFloat, 1.0, nullptr);
  aNormalCameraZ = nAttr.create("normalCameraZ", "nz", MFnNumericData::kFloat, 1.0, nullptr);
  aNormalCamera =
      nAttr.create("normalCamera", "n", aNormalCameraX, aNormalCameraY, aNormalCameraZ, nullptr);
  nAttr.setStorable(false);
  nAttr.setDefault(1.0f, 1.0f, 1.0f);
  nAttr.setHidden(true);

  aRayDirectionX = nAttr.create("rayDirectionX", "rdx", MFnNumericData::kFloat, 1.0, nullptr);
  aRayDirectionY = nAttr.create("rayDirectionY", "rdy", MFnNumericData::kFloat, 1.0, nullptr);
  aRayDirectionZ = nAttr.create("rayDirectionZ", "rdz", MFnNumericData::kFloat, 1.0, nullptr);
  aRayDirection =
      nAttr.create("rayDirection", "rad", aRayDirectionX, aRayDirectionY, aRayDirectionZ, nullptr);
  nAttr.setStorable(false);
  nAttr.setDefault(1.0f, 1.0f, 1.0f);
  nAttr.setHidden(true);

  MStatus status;

  aLightDirectionX = nAttr.create("lightDirectionX", "ldx", MFnNumericData::kFloat, 0.0, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(1.0f));

  aLightDirectionY = nAttr.create("lightDirectionY", "ldy", MFnNumericData::kFloat, 0.0, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(1.0f));

  aLightDirectionZ = nAttr.create("lightDirectionZ", "ldz", MFnNumericData::kFloat, 0.0, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(1.0f));

  aLightDirection = nAttr.create("lightDirection", "ld", aLightDirectionX, aLightDirectionY,
                                 aLightDirectionZ, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(1.0f, 1.0f, 1.0f));

  aLightIntensityR = nAttr.create("lightIntensityR", "lir", MFnNumericData::kFloat, 0.0, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(1.0f));

  aLightIntensityG = nAttr.create("lightIntensityG", "lig", MFnNumericData::kFloat, 0.0, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(1.0f));

  aLightIntensityB = nAttr.create("lightIntensityB", "lib", MFnNumericData::kFloat, 0.0, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(1.0f));

  aLightIntensity = nAttr.create("lightIntensity", "li", aLightIntensityR, aLightIntensityG,
                                 aLightIntensityB, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(1.0f, 1.0f, 1.0f));

  aLightAmbient = nAttr.create("lightAmbient", "la", MFnNumericData::kBoolean, 0.0, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(true));

  aLightDiffuse = nAttr.create("lightDiffuse", "ldf", MFnNumericData::kBoolean, 0.0, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(true));

  aLightSpecular = nAttr.create("lightSpecular", "ls", MFnNumericData::kBoolean, 0.0, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(false));

  aLightShadowFraction =
      nAttr.create("lightShadowFraction", "lsf", MFnNumericData::kFloat, 0.0, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(1.0f));

  aPreShadowIntensity =
      nAttr.create("preShadowIntensity", "psi", MFnNumericData::kFloat, 0.0, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));
  VELVET_CHECK(nAttr.setDefault(1.0f));

  aLightBlindData = nAttr.createAddr("lightBlindData", "lbld", nullptr, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(nAttr.setStorable(false));
  VELVET_CHECK(nAttr.setHidden(true));
  VELVET_CHECK(nAttr.setReadable(true));
  VELVET_CHECK(nAttr.setWritable(false));

  aLightDataArray = lAttr.create("lightDataArray", "ltd", aLightDirection, aLightIntensity,
                                 aLightAmbient, aLightDiffuse, aLightSpecular, aLightShadowFraction,
                                 aPreShadowIntensity, aLightBlindData, &status);
  VELVET_CHECK(status);
  VELVET_CHECK(lAttr.setArray(true));
  VELVET_CHECK(lAttr.setStorable(false));
  VELVET_CHECK(lAttr.setHidden(true));
  VELVET_CHECK(
      lAttr.setDefault(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, true, true, false, 1.0f, 1.0f, nullptr));

  addAttribute(aColor);
  addAttribute(aTransparency);
  addAttribute(aAmbientColor);
  addAttribute(aIncandescence);
  addAttribute(aDiffuse);
  addAttribute(aTranslucence);
  addAttribute(aRoughness);
  addAttribute(aEdginess);
  addAttribute(aBackscatter);
  addAttribute(aSpecularColor);
  addAttribute(aOutColor);
  addAttribute(aOutTransparency);
  addAttribute(aRayDirection);
  addAttribute(aPointCamera);
  addAttribute(aNormalCamera);
  addAttribute(aLightDirection);
  addAttribute(aLightIntensity);
  addAttribute(aLightAmbient);
  addAttribute(aLightDiffuse);
  addAttribute(aLightSpecular);
  addAttribute(aLightShadowFraction);
  addAttribute(aPreShadowIntensity);
  addAttribute(aLightBlindData);
  addAttribute(aLightDataArray);

  attributeAffects(aColorR, aOutColor);
  attributeAffects(aColorG, aOutColor);
  attributeAffects(aColorB, aOutColor);
  attributeAffects(aColor, aOutColor);
  attributeAffects(aAmbientColorR, aOutColor);
  attributeAffects(aAmbientColorG, aOutColor);
  attributeAffects(aAmbientColorB, aOutColor);
  attributeAffects(aAmbientColor, aOutColor);
  attributeAffects(aIncandescenceR, aOutColor);
  attributeAffects(aIncandescenceG, aOutColor);
  attributeAffects(aIncandescenceB, aOutColor);
  attributeAffects(aIncandescence, aOutColor);

  attributeAffects(aTransparencyR, aOutTransparency);
  attributeAffects(aTransparencyG, aOutTransparency);
  attributeAffects(aTransparencyB, aOutTransparency);
  attributeAffects(aTransparency, aOutTransparency);

  attributeAffects(aTransparencyR, aOutColor);
  attributeAffects(aTransparencyG, aOutColor);
  attributeAffects(aTransparencyB, aOutColor);
  attributeAffects(aTransparency, aOutColor);
  attributeAffects(aDiffuse, aOutColor);
  attributeAffects(aTranslucence, aOutColor);
  attributeAffects(aBackscatter, aOutColor);
  attributeAffects(aEdginess, aOutColor);
  attributeAffects(aRoughness, aOutColor);
  attributeAffects(aSpecularColorR, aOutColor);
  attributeAffects(aSpecularColorG, aOutColor);
  attributeAffects(aSpecularColorB, aOutColor);
  attributeAffects(aSpecularColor, aOutColor);
  attributeAffects(aLightIntensityR, aOutColor);
  attributeAffects(aLightIntensityB, aOutColor);
  attributeAffects(aLightIntensityG, aOutColor);
  attributeAffects(aLightIntensity, aOutColor);
  attributeAffects(aRayDirectionX, aOutColor);
  attributeAffects(aRayDirectionY, aOutColor);
  attributeAffects(aRayDirectionZ, aOutColor);
  attributeAffects(aRayDirection, aOutColor);
  attributeAffects(aPointCamera, aOutColor);
  attributeAffects(aPointCameraX, aOutColor);
  attributeAffects(aPointCameraY, aOutColor);
  attributeAffects(aPointCameraZ, aOutColor);
  attributeAffects(aNormalCameraX, aOutColor);
  attributeAffects(aNormalCameraY, aOutColor);
  attributeAffects(aNormalCameraZ, aOutColor);
  attributeAffects(aNormalCamera, aOutColor);
  attributeAffects(aLightDirectionX, aOutColor);
  attributeAffects(aLightDirectionY, aOutColor);
  attributeAffects(aLightDirectionZ, aOutColor);
  attributeAffects(aLightDirection, aOutColor);
  attributeAffects(aLightAmbient, aOutColor);
  attributeAffects(aLightSpecular, aOutColor);
  attributeAffects(aLightDiffuse, aOutColor);
  attributeAffects(aLightShadowFraction, aOutColor);
  attributeAffects(aPreShadowIntensity, aOutColor);
  attributeAffects(aLightBlindData, aOutColor);
  attributeAffects(aLightDataArray, aOutColor);

  return MStatus::kSuccess;
}
