// The fast shading path: a private data block per thread that a renderer
// fills per sample and hands straight to the node's compute, with no look-up,
// lock or allocation between samples.
//
//   mayahost::ShadingBlock block(node, 4);  // one per thread, room for 4 lights
//   block.setNormal({0, 0, 1});             // per sample
//   block.setRayDirection({0, 0, -1});
//   block.setLightCount(1);
//   block.setLight(0, {{0, 0, 1}, {1, 1, 1}, true, true, true});
//   MStatus s = block.compute();            // the node's compute on outColor
//   MFloatVector c = block.outColor();
//
// Part of the driver: renderers in tests, benchmarks and tools include it;
// plug-ins never do.
//
// Threads: any number of ShadingBlocks, one per thread, may compute on the
// same node at once; making one reads the node, so not while the node is
// being set.
#ifndef MAYAHOST_SHADING_BLOCK_H
#define MAYAHOST_SHADING_BLOCK_H

#include <maya/MDataBlock.h>
#include <maya/MExport.h>
#include <maya/MFloatVector.h>
#include <maya/MPlug.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <mayahost/detail/data.h>
#include <mayahost/node.h>

#include <string>
#include <vector>

namespace mayahost {

// One light element as the renderer fills it; defaults are the usual
// light-data defaults.
struct Light {
  MFloatVector direction{0.0f, 0.0f, 0.0f};  // from the point towards the light
  MFloatVector intensity{0.0f, 0.0f, 0.0f};
  bool ambient = true, diffuse = true, specular = false;
  float shadowFraction = 1.0f, preShadowIntensity = 1.0f;
  void* blindData = nullptr;
};

// A private data block for one thread: starts as a copy of the node's values,
// is filled per sample and handed straight to the node's compute. Setters and
// compute do no look-up, lock or allocation; setters for attributes the node
// type lacks do nothing. The node must outlive its blocks.
class OPENMAYA_EXPORT ShadingBlock {
 public:
  ShadingBlock(const Node& node, unsigned maxLights);
  ~ShadingBlock();
  ShadingBlock(const ShadingBlock&) = delete;
  ShadingBlock& operator=(const ShadingBlock&) = delete;

  // Any attribute outside arrays, resolved once by name (invalid if unknown).
  struct Slot {
    int cell = -1;
    int component = -1;
    bool valid() const { return cell >= 0; }
  };
  Slot slot(const std::string& name) const;
  void set(Slot s, float value) { at(s) = value; }
  void set(Slot s, const MFloatVector& value) {
    if (s.valid()) view_.fixed[s.cell].value = value;
  }
  void setBool(Slot s, bool value) {
    if (s.valid()) view_.fixed[s.cell].flag = value;
  }
  float getFloat(Slot s) const { return s.valid() ? const_cast<ShadingBlock*>(this)->at(s) : 0.0f; }
  MFloatVector getFloat3(Slot s) const {
    return s.valid() ? view_.fixed[s.cell].value : MFloatVector();
  }

  void setNormal(const MFloatVector& n) { set(normal_, n); }
  void setRayDirection(const MFloatVector& r) { set(ray_, r); }
  void setPointCamera(const MFloatVector& p) { set(point_, p); }
  unsigned maxLights() const { return capacity_; }
  // Clamped to maxLights().
  void setLightCount(unsigned count) {
    if (lights_ != nullptr) lights_->count = count < capacity_ ? count : capacity_;
  }
  void setLight(unsigned index, const Light& light) {
    if (lights_ == nullptr || index >= capacity_) return;
    detail::Cell* e = lights_->elements + index * lights_->elementCells;
    if (light_.direction >= 0) e[light_.direction].value = light.direction;
    if (light_.intensity >= 0) e[light_.intensity].value = light.intensity;
    if (light_.ambient >= 0) e[light_.ambient].flag = light.ambient;
    if (light_.diffuse >= 0) e[light_.diffuse].flag = light.diffuse;
    if (light_.specular >= 0) e[light_.specular].flag = light.specular;
    if (light_.shadowFraction >= 0) e[light_.shadowFraction].value.x = light.shadowFraction;
    if (light_.preShadow >= 0) e[light_.preShadow].value.x = light.preShadowIntensity;
    if (light_.blindData >= 0) e[light_.blindData].address = light.blindData;
  }

  // Only the two values that change from sample to sample; the switches and
  // the rest stay as last set.
  void setLightVectors(unsigned index, const MFloatVector& direction,
                       const MFloatVector& intensity) {
    if (lights_ == nullptr || index >= capacity_) return;
    detail::Cell* e = lights_->elements + index * lights_->elementCells;
    if (light_.direction >= 0) e[light_.direction].value = direction;
    if (light_.intensity >= 0) e[light_.intensity].value = intensity;
  }

  // The node's compute on outColor, or on outTransparency.
  MStatus compute() {
    return instance_ != nullptr ? instance_->compute(outColorPlug_, block_) : MStatus::kFailure;
  }
  MStatus computeTransparency() {
    return instance_ != nullptr ? instance_->compute(outTransparencyPlug_, block_)
                                : MStatus::kFailure;
  }
  MFloatVector outColor() const { return getFloat3(outColor_); }
  MFloatVector outTransparency() const { return getFloat3(outTransparency_); }

 private:
  float& at(Slot s) {
    if (!s.valid()) return detail::scratchCell().value.x;
    detail::Cell& c = view_.fixed[s.cell];
    return s.component >= 0 ? c.value[s.component] : c.value.x;
  }
  struct LightCells {
    int direction = -1, intensity = -1, ambient = -1, diffuse = -1, specular = -1;
    int shadowFraction = -1, preShadow = -1, blindData = -1;
  };

  MPxNode* instance_ = nullptr;
  const void* type_ = nullptr;
  std::vector<detail::Cell> cells_;
  std::vector<detail::ArrayView> arrays_;
  std::vector<std::vector<detail::Cell>> arrayCells_;
  detail::BlockView view_;
  MDataBlock block_{&view_};
  detail::ArrayView* lights_ = nullptr;
  unsigned capacity_ = 0;
  LightCells light_;
  Slot normal_, ray_, point_, outColor_, outTransparency_;
  MPlug outColorPlug_, outTransparencyPlug_;
};

}  // namespace mayahost

#endif  // MAYAHOST_SHADING_BLOCK_H
