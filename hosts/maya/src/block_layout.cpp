// Data-block layout: the cells a node type's blocks give its attributes, and
// the defaults a new block or array element starts from. Fixed once, when the
// type's initialize has run, so that the shading path only adds offsets.
#include "block_layout.h"

#include <cstddef>

namespace mayahost::detail {

namespace {

bool hasAddedAncestor(const AttrRecord* a) {
  for (const AttrRecord* p = a->parent; p != nullptr; p = p->parent) {
    if (p->added) return true;
  }
  return false;
}

bool isNumericTriple(const AttrRecord* a) {
  return a->type == ValueType::kFloat3;
}

// Gives `a` and its descendants their cells, counting from `next`.
void assignCells(NodeType& type, AttrRecord* a, int& next, bool inElement) {
  a->slot.owner = &type;
  a->slot.inElement = inElement;
  if (a->array && !inElement && a->parent == nullptr) {
    a->slot.arrayIndex = static_cast<int>(type.arrays.size());
    type.arrays.push_back(a);
    int cells = 0;
    if (a->type == ValueType::kCompound) {
      for (AttrRecord* c : a->children) assignCells(type, c, cells, true);
    } else {
      cells = 1;
    }
    type.elementCells.push_back(cells);
    return;
  }
  if (isNumericTriple(a)) {
    a->slot.offset = next++;
    a->slot.component = -1;
    for (std::size_t k = 0; k < a->children.size(); ++k) {
      AttrRecord* c = a->children[k];
      c->slot.owner = &type;
      c->slot.inElement = inElement;
      c->slot.offset = a->slot.offset;
      c->slot.component = static_cast<int>(k);
    }
    return;
  }
  if (a->type == ValueType::kCompound) {
    for (AttrRecord* c : a->children) assignCells(type, c, next, inElement);
    return;
  }
  a->slot.offset = next++;
}

double defaultOf(const AttrRecord* a, int k) {
  if (!a->defaultValue.empty()) {
    return a->defaultValue[static_cast<std::size_t>(k) < a->defaultValue.size() ? k : 0];
  }
  if (isNumericTriple(a) && static_cast<std::size_t>(k) < a->children.size()) {
    return defaultOf(a->children[k], 0);
  }
  return a->createDefault;
}

void fillCell(const AttrRecord* a, Cell* base) {
  if (a->type == ValueType::kCompound) {
    for (const AttrRecord* c : a->children) fillCell(c, base);
    return;
  }
  Cell& cell = base[a->slot.offset];
  switch (a->type) {
    case ValueType::kFloat3:
      cell.value =
          MFloatVector(static_cast<float>(defaultOf(a, 0)), static_cast<float>(defaultOf(a, 1)),
                       static_cast<float>(defaultOf(a, 2)));
      break;
    case ValueType::kFloat:
      cell.value.x = static_cast<float>(defaultOf(a, 0));
      break;
    case ValueType::kBool:
      cell.flag = defaultOf(a, 0) != 0.0;
      break;
    case ValueType::kAddress:
      cell.address = a->defaultAddress;
      break;
    case ValueType::kCompound:
      break;
  }
}

}  // namespace

void layOut(NodeType& type) {
  type.roots.clear();
  type.arrays.clear();
  type.elementCells.clear();
  int next = 0;
  for (AttrRecord* a : type.added) {
    if (hasAddedAncestor(a)) continue;
    type.roots.push_back(a);
    assignCells(type, a, next, false);
  }
  type.fixedCells = next;
  for (AttrRecord* a : type.attributes) {
    const AttrSlot& sl = a->slot;
    const bool held = sl.owner == &type && !sl.inElement;
    a->slot.blockOffset = held && sl.arrayIndex < 0 ? sl.offset : -1;
    a->slot.blockOwner = a->slot.blockOffset >= 0 ? &type : nullptr;
    a->slot.arrayOwner = held && sl.arrayIndex >= 0 ? &type : nullptr;
  }
}

void fillElement(const NodeType& type, int array, Cell* element) {
  const AttrRecord* a = type.arrays[array];
  if (a->type != ValueType::kCompound) {
    fillCell(a, element - a->slot.offset);
    return;
  }
  for (const AttrRecord* c : a->children) fillCell(c, element);
  if (a->lightDataDefault && a->children.size() == 8) {
    const LightDataDefault& d = *a->lightDataDefault;
    element[a->children[0]->slot.offset].value =
        MFloatVector(d.direction[0], d.direction[1], d.direction[2]);
    element[a->children[1]->slot.offset].value =
        MFloatVector(d.intensity[0], d.intensity[1], d.intensity[2]);
    element[a->children[2]->slot.offset].flag = d.ambient;
    element[a->children[3]->slot.offset].flag = d.diffuse;
    element[a->children[4]->slot.offset].flag = d.specular;
    element[a->children[5]->slot.offset].value.x = d.shadowFraction;
    element[a->children[6]->slot.offset].value.x = d.preShadowIntensity;
    element[a->children[7]->slot.offset].address = d.blindData;
  }
}

void initBlock(const NodeType& type, BlockData& data) {
  data.fixed.assign(static_cast<std::size_t>(type.fixedCells), Cell{});
  for (const AttrRecord* a : type.roots) {
    if (a->slot.arrayIndex < 0) fillCell(a, data.fixed.data());
  }
  data.arrayCells.assign(type.arrays.size(), {});
  data.arrayViews.assign(type.arrays.size(), ArrayView{});
  for (std::size_t i = 0; i < type.arrays.size(); ++i) {
    data.arrayViews[i].elementCells = static_cast<unsigned>(type.elementCells[i]);
  }
  data.view.type = &type;
  data.view.key = &type;
  data.refresh();
}

void BlockData::refresh() {
  view.fixed = fixed.data();
  for (std::size_t i = 0; i < arrayViews.size(); ++i) arrayViews[i].elements = arrayCells[i].data();
  view.arrays = arrayViews.data();
}

}  // namespace mayahost::detail
