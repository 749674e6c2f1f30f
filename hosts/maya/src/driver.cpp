// The driver API: plug-ins, nodes, plug names, queries and shading blocks.
#include <algorithm>
#include <cstdlib>

#include "internal.h"

namespace mayahost {

using detail::Access;
using detail::AttrRecord;
using detail::Cell;
using detail::host;
using detail::NodeRecord;
using detail::NodeType;
using detail::PluginRecord;

namespace {

constexpr unsigned kMaxElements = 4096;

using EntryPoint = MStatus (*)(MObject);

PluginRecord* pluginOf(void* p) {
  return static_cast<PluginRecord*>(p);
}
NodeRecord* nodeOf(void* p) {
  return static_cast<NodeRecord*>(p);
}

// A resolved plug name.
struct PlugRef {
  AttrRecord* attr = nullptr;
  AttrRecord* array = nullptr;  // the array attribute, when the plug is in an element
  unsigned element = 0;
};

bool isDescendant(const AttrRecord* a, const AttrRecord* ancestor) {
  for (const AttrRecord* p = a->parent; p != nullptr; p = p->parent) {
    if (p == ancestor) return true;
  }
  return false;
}

std::string childList(const AttrRecord* a) {
  std::string s;
  for (const AttrRecord* c : a->children) s += (s.empty() ? "" : ", ") + c->longName;
  return s;
}

Status resolve(const NodeType& type, const std::string& plug, PlugRef* out) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = plug.find('.', start);
    parts.push_back(plug.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  std::string first = parts[0];
  bool indexed = false;
  unsigned long index = 0;
  const std::size_t lb = first.find('[');
  if (lb != std::string::npos) {
    const std::size_t rb = first.find(']', lb);
    const std::string digits =
        rb == std::string::npos ? std::string() : first.substr(lb + 1, rb - lb - 1);
    if (rb != first.size() - 1 || digits.empty() ||
        digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) {
      return Status::error("cannot read plug name '" + plug +
                           "': expected name, name.child or name[index].child");
    }
    index = std::strtoul(digits.c_str(), nullptr, 10);
    indexed = true;
    first = first.substr(0, lb);
  }
  for (const std::string& p : parts) {
    if (p.empty() && parts.size() > 1) {
      return Status::error("cannot read plug name '" + plug + "': empty name between dots");
    }
  }
  AttrRecord* a = detail::findAttribute(type, first);
  if (a == nullptr || a->slot.owner != &type) {
    return Status::error("node type '" + type.name + "' has no attribute '" + first + "'");
  }
  PlugRef ref;
  ref.attr = a;
  if (a->slot.arrayIndex >= 0) {
    if (!indexed) {
      return Status::error("'" + a->longName + "' is an array: name an element, e.g. " +
                           a->longName + "[0]" +
                           (a->children.empty() ? "" : "." + a->children[0]->longName));
    }
    if (index >= kMaxElements) {
      return Status::error("element index " + std::to_string(index) + " of '" + a->longName +
                           "' is too large (at most " + std::to_string(kMaxElements - 1) + ")");
    }
    ref.array = a;
    ref.element = static_cast<unsigned>(index);
  } else if (indexed) {
    return Status::error("'" + a->longName + "' is not an array attribute");
  }
  for (std::size_t i = 1; i < parts.size(); ++i) {
    AttrRecord* c = detail::findAttribute(type, parts[i]);
    if (c == nullptr || !isDescendant(c, ref.attr)) {
      return Status::error("'" + parts[i] + "' is not an attribute under '" + ref.attr->longName +
                           "' (its children: " + childList(ref.attr) + ")");
    }
    ref.attr = c;
  }
  *out = ref;
  return Status();
}

unsigned arityOf(const AttrRecord* a) {
  switch (a->type) {
    case ValueType::kFloat3:
      return 3;
    case ValueType::kFloat:
    case ValueType::kBool:
      return 1;
    default:
      return 0;
  }
}

std::string describe(const PlugRef& r) {
  if (r.array == nullptr) return r.attr->longName;
  std::string s = r.array->longName + "[" + std::to_string(r.element) + "]";
  return r.attr == r.array ? s : s + "." + r.attr->longName;
}

Cell* cellOf(NodeRecord& n, const PlugRef& r) {
  if (r.array != nullptr) {
    auto& view = n.data.arrayViews[r.array->slot.arrayIndex];
    if (r.element >= view.count) return nullptr;
    Cell* element = view.elements + r.element * view.elementCells;
    return r.attr == r.array ? element : element + r.attr->slot.offset;
  }
  return n.data.fixed.data() + r.attr->slot.offset;
}

void growArray(NodeRecord& n, int array, unsigned count) {
  detail::BlockData& d = n.data;
  const unsigned cells = d.arrayViews[array].elementCells;
  const unsigned old = d.arrayViews[array].count;
  d.arrayCells[array].resize(static_cast<std::size_t>(count) * cells);
  for (unsigned e = old; e < count; ++e) {
    detail::fillElement(*n.type, array, d.arrayCells[array].data() + e * cells);
  }
  d.arrayViews[array].count = count;
  d.refresh();
}

void collectAffected(const AttrRecord* a, std::vector<const AttrRecord*>& out) {
  for (const AttrRecord* o : a->affects) out.push_back(o);
  for (const AttrRecord* c : a->children) collectAffected(c, out);
}

void markDirty(NodeRecord& n, const AttrRecord* changed) {
  std::vector<const AttrRecord*> outputs;
  collectAffected(changed, outputs);
  for (const AttrRecord* p = changed->parent; p != nullptr; p = p->parent) {
    for (const AttrRecord* o : p->affects) outputs.push_back(o);
  }
  for (const AttrRecord* o : outputs) {
    if (o->slot.offset >= 0 && !o->slot.inElement) n.data.fixed[o->slot.offset].dirty = true;
  }
}

bool isOutput(const AttrRecord* a) {
  for (; a != nullptr; a = a->parent) {
    if (a->output) return true;
  }
  return false;
}

void describePlugs(const AttrRecord* a, const std::string& prefix,
                   std::vector<PlugDescription>& out) {
  if (a->output) return;
  if (a->array && a->parent == nullptr) {
    for (const AttrRecord* c : a->children) describePlugs(c, prefix + a->longName + "[i].", out);
    return;
  }
  const unsigned arity = arityOf(a);
  if (arity > 0) out.push_back({prefix + a->longName, a->type, arity, a->hidden});
  for (const AttrRecord* c : a->children) describePlugs(c, prefix, out);
}

}  // namespace

const char* toString(ValueType type) {
  switch (type) {
    case ValueType::kFloat:
      return "float";
    case ValueType::kBool:
      return "bool";
    case ValueType::kFloat3:
      return "float3";
    case ValueType::kAddress:
      return "address";
    case ValueType::kCompound:
      return "compound";
  }
  return "?";
}

// ---- Plugin ----------------------------------------------------------------------

Plugin::~Plugin() {
  if (loaded()) unload();
}

Status Plugin::load(const std::string& path) {
  if (loaded()) return Status::error("this Plugin already holds a loaded library");
  for (const auto& p : host().plugins) {
    if (p->path == path) return Status::error("'" + path + "' is already loaded");
  }
  std::string error;
  void* library = detail::openLibrary(path, &error);
  if (library == nullptr) return Status::error("cannot load '" + path + "': " + error);
  auto init = reinterpret_cast<EntryPoint>(detail::findSymbol(library, "initializePlugin"));
  auto uninit = reinterpret_cast<EntryPoint>(detail::findSymbol(library, "uninitializePlugin"));
  if (init == nullptr || uninit == nullptr) {
    detail::closeLibrary(library);
    return Status::error("'" + path + "' does not export initializePlugin and uninitializePlugin");
  }
  auto rec = std::make_unique<PluginRecord>();
  rec->path = path;
  rec->library = library;
  rec->functionSets = &functionSets_;
  functionSets_.clear();
  PluginRecord* raw = rec.get();
  host().plugins.push_back(std::move(rec));
  record_ = raw;

  host().current = raw;
  initializeResult_ = init(Access::plugin(raw));
  host().current = nullptr;
  return Status();
}

Status Plugin::unload() {
  if (!loaded()) return Status::error("no library is loaded");
  PluginRecord* rec = pluginOf(record_);
  for (const auto& t : host().types) {
    if (t->plugin == rec && t->liveNodes > 0) {
      return Status::error("nodes of type '" + t->name + "' still exist; destroy them first");
    }
  }
  auto uninit =
      reinterpret_cast<EntryPoint>(detail::findSymbol(rec->library, "uninitializePlugin"));
  host().current = rec;
  uninitializeResult_ = uninit(Access::plugin(rec));
  host().current = nullptr;

  unloadEvents_.clear();
  unloadEvents_.push_back("uninitializePlugin returned");
  host().unloadEvents = &unloadEvents_;
  detail::traceUnload(true);
  detail::closeLibrary(rec->library);
  detail::traceUnload(false);
  host().unloadEvents = nullptr;

  // The library's code is gone: forget whatever of it the host still holds.
  detail::forgetPlugin(rec);
  auto& plugins = host().plugins;
  plugins.erase(std::remove_if(plugins.begin(), plugins.end(),
                               [rec](const auto& p) { return p.get() == rec; }),
                plugins.end());
  record_ = nullptr;
  return Status();
}

std::string Plugin::apiVersion() const {
  const char* text = static_cast<const char*>(symbol("MApiVersion"));
  return text != nullptr ? std::string(text) : std::string();
}

void* Plugin::symbol(const char* name) const {
  return loaded() ? detail::findSymbol(pluginOf(record_)->library, name) : nullptr;
}

// ---- Queries -------------------------------------------------------------------

Status nodeType(const std::string& typeName, NodeTypeInfo* info) {
  const NodeType* t = detail::findType(typeName);
  if (t == nullptr) return Status::error("no node type '" + typeName + "' is registered");
  NodeTypeInfo r;
  r.name = t->name;
  r.id = t->id;
  r.classification = t->classification;
  r.kind = t->kind;
  r.initializeResult = t->initializeResult;
  for (const AttrRecord* a : t->attributes) r.attributes.push_back(a->longName);
  for (const AttrRecord* a : t->added) r.added.push_back(a->longName);
  for (const auto& [in, out] : t->affects) r.affects.emplace_back(in->longName, out->longName);
  *info = std::move(r);
  return Status();
}

Status attribute(const std::string& typeName, const std::string& name, AttributeInfo* info) {
  const NodeType* t = detail::findType(typeName);
  if (t == nullptr) return Status::error("no node type '" + typeName + "' is registered");
  const AttrRecord* a = detail::findAttribute(*t, name);
  if (a == nullptr)
    return Status::error("node type '" + typeName + "' has no attribute '" + name + "'");
  AttributeInfo r;
  r.name = a->longName;
  r.shortName = a->shortName;
  r.parent = a->parent != nullptr ? a->parent->longName : "";
  for (const AttrRecord* c : a->children) r.children.push_back(c->longName);
  r.type = a->type;
  r.numericType = a->numericType;
  r.keyable = a->keyable;
  r.storable = a->storable;
  r.readable = a->readable;
  r.writable = a->writable;
  r.hidden = a->hidden;
  r.usedAsColor = a->usedAsColor;
  r.array = a->array;
  r.added = a->added;
  r.createDefault = a->createDefault;
  r.defaultValue = a->defaultValue;
  r.defaultAddress = a->defaultAddress;
  r.min = a->min;
  r.max = a->max;
  r.softMin = a->softMin;
  r.softMax = a->softMax;
  for (const AttrRecord* o : a->affects) r.affects.push_back(o->longName);
  r.lightDataDefault = a->lightDataDefault;
  *info = std::move(r);
  return Status();
}

// ---- Node ------------------------------------------------------------------------

Node::~Node() {
  destroy();
}

Status Node::create(const std::string& typeName) {
  destroy();
  NodeType* t = detail::findType(typeName);
  if (t == nullptr) return Status::error("no node type '" + typeName + "' is registered");
  void* made = t->creator();
  if (made == nullptr) {
    return Status::error("the creator of node type '" + typeName +
                         "' returned null (out of memory)");
  }
  auto* rec = new NodeRecord;
  rec->type = t;
  rec->instance = static_cast<MPxNode*>(made);
  detail::initBlock(*t, rec->data);
  detail::NodeAccess::attach(rec->instance, rec);
  ++t->liveNodes;
  record_ = rec;
  rec->instance->postConstructor();
  return Status();
}

void Node::destroy() {
  if (record_ == nullptr) return;
  NodeRecord* rec = nodeOf(record_);
  delete rec->instance;  // the plug-in's own deleting destructor
  --rec->type->liveNodes;
  delete rec;
  record_ = nullptr;
}

bool Node::isMPSafe() const {
  return valid() && nodeOf(record_)->mpSafe;
}

MPxNode* Node::instance() const {
  return valid() ? nodeOf(record_)->instance : nullptr;
}

Status Node::set(const std::string& plug, std::initializer_list<float> values) {
  return set(plug, values.begin(), values.size());
}

Status Node::set(const std::string& plug, const float* values, std::size_t count) {
  if (!valid()) return Status::error("no node: create one first");
  NodeRecord& n = *nodeOf(record_);
  PlugRef r;
  if (Status s = resolve(*n.type, plug, &r); !s) return s;
  const std::string name = describe(r);
  if (isOutput(r.attr))
    return Status::error("'" + name + "' is an output: it is computed, not set");
  if (r.attr->type == ValueType::kAddress) {
    return Status::error("'" + name + "' holds an address: it cannot be set from numbers");
  }
  if (r.attr->type == ValueType::kCompound) {
    return Status::error("'" + name + "' is a compound of " + childList(r.attr) +
                         ": set them one at a time");
  }
  const unsigned arity = arityOf(r.attr);
  if (count != arity) {
    return Status::error("'" + name + "' is a " + toString(r.attr->type) + " and takes " +
                         std::to_string(arity) + (arity == 1 ? " value" : " values") + ", not " +
                         std::to_string(count));
  }
  if (r.attr->type == ValueType::kBool && values[0] != 0.0f && values[0] != 1.0f) {
    return Status::error("'" + name + "' is a bool and takes 0 or 1, not " +
                         std::to_string(values[0]));
  }
  if (r.array != nullptr && r.element >= n.data.arrayViews[r.array->slot.arrayIndex].count) {
    growArray(n, r.array->slot.arrayIndex, r.element + 1);
  }
  Cell* c = cellOf(n, r);
  switch (r.attr->type) {
    case ValueType::kFloat3:
      c->value = MFloatVector(values[0], values[1], values[2]);
      break;
    case ValueType::kBool:
      c->flag = values[0] != 0.0f;
      break;
    default:
      if (r.attr->slot.component >= 0) {
        c->value[r.attr->slot.component] = values[0];
      } else {
        c->value.x = values[0];
      }
  }
  markDirty(n, r.attr);
  return Status();
}

Status Node::get(const std::string& plug, std::vector<float>* values) {
  if (!valid()) return Status::error("no node: create one first");
  NodeRecord& n = *nodeOf(record_);
  PlugRef r;
  if (Status s = resolve(*n.type, plug, &r); !s) return s;
  const std::string name = describe(r);
  if (r.attr->type == ValueType::kCompound || r.attr->type == ValueType::kAddress) {
    return Status::error("'" + name + "' is a " + toString(r.attr->type) +
                         ": it has no float value");
  }
  Cell* c = cellOf(n, r);
  if (c == nullptr) {
    return Status::error("'" + name + "' does not exist: '" + r.array->longName + "' has " +
                         std::to_string(n.data.arrayViews[r.array->slot.arrayIndex].count) +
                         " elements");
  }
  if (isOutput(r.attr) && c->dirty) {
    MStatus result;
    if (Status s = compute(plug, &result); !s) return s;
  }
  switch (r.attr->type) {
    case ValueType::kFloat3:
      *values = {c->value.x, c->value.y, c->value.z};
      break;
    case ValueType::kBool:
      *values = {c->flag ? 1.0f : 0.0f};
      break;
    default:
      *values = {r.attr->slot.component >= 0 ? c->value[r.attr->slot.component] : c->value.x};
  }
  return Status();
}

Status Node::isDirty(const std::string& plug, bool* dirty) const {
  if (!valid()) return Status::error("no node: create one first");
  NodeRecord& n = *nodeOf(record_);
  PlugRef r;
  if (Status s = resolve(*n.type, plug, &r); !s) return s;
  const Cell* c = cellOf(n, r);
  if (c == nullptr) return Status::error("'" + describe(r) + "' does not exist");
  *dirty = c->dirty;
  return Status();
}

Status Node::resizeArray(const std::string& plug, unsigned count) {
  if (!valid()) return Status::error("no node: create one first");
  NodeRecord& n = *nodeOf(record_);
  AttrRecord* a = detail::findAttribute(*n.type, plug);
  if (a == nullptr || a->slot.owner != n.type) {
    return Status::error("node type '" + n.type->name + "' has no attribute '" + plug + "'");
  }
  if (a->slot.arrayIndex < 0)
    return Status::error("'" + a->longName + "' is not an array attribute");
  if (count > kMaxElements) return Status::error("too many elements for '" + a->longName + "'");
  auto& view = n.data.arrayViews[a->slot.arrayIndex];
  if (count > view.count) {
    growArray(n, a->slot.arrayIndex, count);
  } else {
    view.count = count;
  }
  markDirty(n, a);
  return Status();
}

unsigned Node::arraySize(const std::string& plug) const {
  if (!valid()) return 0;
  NodeRecord& n = *nodeOf(record_);
  const AttrRecord* a = detail::findAttribute(*n.type, plug);
  if (a == nullptr || a->slot.arrayIndex < 0 || a->slot.owner != n.type) return 0;
  return n.data.arrayViews[a->slot.arrayIndex].count;
}

Status Node::compute(const std::string& plug, MStatus* result, std::vector<std::string>* accesses) {
  if (!valid()) return Status::error("no node: create one first");
  NodeRecord& n = *nodeOf(record_);
  PlugRef r;
  if (Status s = resolve(*n.type, plug, &r); !s) return s;
  detail::AccessLog log;
  n.data.view.log = &log;
  n.data.view.key = &n.data.view;  // every look-up through the logging path
  const MPlug p(Access::node(&n), Access::attribute(&r.attr->slot));
  MDataBlock block(&n.data.view);
  *result = n.instance->compute(p, block);
  n.data.view.log = nullptr;
  n.data.view.key = n.type;
  if (accesses != nullptr) *accesses = std::move(log.entries);
  return Status();
}

std::vector<PlugDescription> Node::settablePlugs() const {
  std::vector<PlugDescription> out;
  if (!valid()) return out;
  for (const AttrRecord* a : nodeOf(record_)->type->roots) describePlugs(a, "", out);
  return out;
}

// ---- ShadingBlock --------------------------------------------------------------

ShadingBlock::ShadingBlock(const Node& node, unsigned maxLights) {
  view_.log = nullptr;
  view_.key = &view_;  // no node: every look-up fails through the checked path
  if (!node.valid()) {
    view_.fixed = &detail::scratchCell();
    return;
  }
  NodeRecord& n = *nodeOf(node.record_);
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
