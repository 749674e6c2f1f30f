// The fast shading path: per-thread copies of a node's data block, laid out
// once so that filling a sample and computing it need no look-up.
#include <mayahost/shading_block.h>

#include <algorithm>
#include <string>

#include "block_layout.h"
#include "records.h"

namespace mayahost {

using detail::Access;
using detail::AttrRecord;
using detail::Cell;
using detail::NodeRecord;
using detail::NodeType;

ShadingBlock::ShadingBlock(const Node& node, unsigned maxLights) {
  view_.log = nullptr;
  view_.key = &view_;  // no node: every look-up fails through the checked path
  if (!node.valid()) {
    view_.fixed = &detail::scratchCell();
    return;
  }
  NodeRecord& n = *static_cast<NodeRecord*>(node.record_);
  const NodeType& t = *n.type;
  instance_ = n.instance;
  type_ = &t;
  cells_ = n.data.fixed;
  arrays_ = n.data.arrayViews;
  arrayCells_.resize(t.arrays.size());
  const AttrRecord* lightArray = detail::findAttribute(t, "lightDataArray");
  for (std::size_t i = 0; i < t.arrays.size(); ++i) {
    const unsigned cells = arrays_[i].elementCells;
    const unsigned have = n.data.arrayViews[i].count;
    const bool lights = lightArray != nullptr && lightArray->slot.arrayIndex == static_cast<int>(i);
    const unsigned room = lights ? maxLights : have;
    arrayCells_[i].resize(static_cast<std::size_t>(room) * cells);
    for (unsigned e = 0; e < room; ++e) {
      Cell* element = arrayCells_[i].data() + e * cells;
      if (e < have) {
        std::copy_n(n.data.arrayCells[i].data() + e * cells, cells, element);
      } else {
        detail::fillElement(t, static_cast<int>(i), element);
      }
    }
    arrays_[i].elements = arrayCells_[i].data();
    arrays_[i].count = std::min(have, room);
    if (lights) {
      lights_ = &arrays_[i];
      capacity_ = room;
    }
  }
  view_.type = type_;
  view_.key = type_;
  view_.fixed = cells_.data();
  view_.arrays = arrays_.data();

  if (lights_ != nullptr) {
    auto child = [&](const char* name) {
      const AttrRecord* c = detail::findAttribute(t, name);
      return c != nullptr && c->parent == lightArray ? c->slot.offset : -1;
    };
    light_.direction = child("lightDirection");
    light_.intensity = child("lightIntensity");
    light_.ambient = child("lightAmbient");
    light_.diffuse = child("lightDiffuse");
    light_.specular = child("lightSpecular");
    light_.shadowFraction = child("lightShadowFraction");
    light_.preShadow = child("preShadowIntensity");
    light_.blindData = child("lightBlindData");
  }
  normal_ = slot("normalCamera");
  ray_ = slot("rayDirection");
  point_ = slot("pointCamera");
  outColor_ = slot("outColor");
  outTransparency_ = slot("outTransparency");
  const MObject nodeObject = Access::node(&n);
  if (const AttrRecord* a = detail::findAttribute(t, "outColor")) {
    outColorPlug_ = MPlug(nodeObject, Access::attribute(const_cast<detail::AttrSlot*>(&a->slot)));
  }
  if (const AttrRecord* a = detail::findAttribute(t, "outTransparency")) {
    outTransparencyPlug_ =
        MPlug(nodeObject, Access::attribute(const_cast<detail::AttrSlot*>(&a->slot)));
  }
}

ShadingBlock::~ShadingBlock() = default;

ShadingBlock::Slot ShadingBlock::slot(const std::string& name) const {
  Slot s;
  if (type_ == nullptr) return s;
  const AttrRecord* a = detail::findAttribute(*static_cast<const NodeType*>(type_), name);
  if (a == nullptr || a->slot.owner != type_ || a->slot.inElement || a->slot.arrayIndex >= 0 ||
      a->slot.offset < 0) {
    return s;
  }
  s.cell = a->slot.offset;
  s.component = a->slot.component;
  return s;
}

}  // namespace mayahost
