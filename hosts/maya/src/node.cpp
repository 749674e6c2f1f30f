// Nodes: creating them, setting and getting their plugs, computing; and the
// queries on what a node type declared.
#include <mayahost/node.h>

#include <string>
#include <utility>
#include <vector>

#include "block_layout.h"
#include "plug_path.h"
#include "records.h"

namespace mayahost {

using detail::Access;
using detail::AttrRecord;
using detail::Cell;
using detail::childList;
using detail::describe;
using detail::kMaxElements;
using detail::NodeRecord;
using detail::NodeType;
using detail::PlugRef;
using detail::resolve;

namespace {

NodeRecord* nodeOf(void* p) {
  return static_cast<NodeRecord*>(p);
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
    for (const AttrRecord* c : a->children) describePlugs(c, prefix + a->name + "[i].", out);
    return;
  }
  const unsigned arity = arityOf(a);
  if (arity > 0) out.push_back({prefix + a->name, a->type, arity, a->hidden});
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
  for (const AttrRecord* a : t->attributes) r.attributes.push_back(a->name);
  for (const AttrRecord* a : t->added) r.added.push_back(a->name);
  for (const auto& [in, out] : t->affects) r.affects.emplace_back(in->name, out->name);
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
  static_cast<AttributeFacts&>(r) = *a;
  r.parent = a->parent != nullptr ? a->parent->name : "";
  for (const AttrRecord* c : a->children) r.children.push_back(c->name);
  for (const AttrRecord* o : a->affects) r.affects.push_back(o->name);
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
#if MAYA_API_VERSION >= 20180000
  // The evaluation manager asks once, after postConstructor; a node that
  // still calls the deprecated setMPSafe(true) counts as parallel too.
  if (rec->instance->schedulingType() == MPxNode::kParallel) rec->mpSafe = true;
#endif
  return Status();
}

std::string Node::typeName() const {
  return valid() ? nodeOf(record_)->type->name : std::string();
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
    return Status::error("'" + name + "' does not exist: '" + r.array->name + "' has " +
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
  if (a->slot.arrayIndex < 0) return Status::error("'" + a->name + "' is not an array attribute");
  if (count > kMaxElements) return Status::error("too many elements for '" + a->name + "'");
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

}  // namespace mayahost
