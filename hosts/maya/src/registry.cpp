// Node types and their attributes: what a plug-in registers and declares.
#include <maya/MFnAttribute.h>
#include <maya/MFnLightDataAttribute.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnPlugin.h>
#include <maya/MPxNode.h>

#include "block_layout.h"
#include "faults.h"
#include "records.h"

using mayahost::Op;
using mayahost::ValueType;
using mayahost::detail::Access;
using mayahost::detail::AttrRecord;
using mayahost::detail::host;
using mayahost::detail::HostState;
using mayahost::detail::NodeType;
using mayahost::detail::PluginRecord;

namespace mayahost::detail {

NodeType* findType(const std::string& name) {
  for (auto& t : host().types) {
    if (t->name == name) return t.get();
  }
  return nullptr;
}

AttrRecord* findAttribute(const NodeType& type, const std::string& name) {
  // Attributes a block holds first: a name may also belong to one whose
  // creation failed and that was never added.
  for (AttrRecord* a : type.attributes) {
    if (a->slot.owner == &type && (a->name == name || a->shortName == name)) return a;
  }
  for (AttrRecord* a : type.attributes) {
    if (a->name == name || a->shortName == name) return a;
  }
  return nullptr;
}

void forgetPlugin(PluginRecord* plugin) {
  HostState& h = host();
  for (auto it = h.types.begin(); it != h.types.end();) {
    it = (*it)->plugin == plugin ? h.types.erase(it) : it + 1;
  }
}

}  // namespace mayahost::detail

// ---- MFnPlugin -----------------------------------------------------------------

MFnPlugin::MFnPlugin(MObject& object, const char* vendor, const char* version,
                     const char* requiredApiVersion, MStatus* status)
    : plugin_(Access::isPlugin(object) ? Access::pointer(object) : nullptr) {
  auto* p = static_cast<PluginRecord*>(plugin_);
  if (p != nullptr && p->functionSets != nullptr) {
    p->functionSets->push_back({vendor != nullptr ? vendor : "", version != nullptr ? version : "",
                                requiredApiVersion != nullptr ? requiredApiVersion : ""});
  }
  if (status != nullptr) *status = p != nullptr ? MStatus::kSuccess : MStatus::kInvalidParameter;
}

MFnPlugin::~MFnPlugin() = default;

MStatus MFnPlugin::registerNode(const MString& typeName, const MTypeId& typeId,
                                MCreatorFunction creatorFunction, MInitializeFunction initFunction,
                                MPxNode::Type type, const MString* classification) {
  HostState& h = host();
  MStatus code;
  if (mayahost::detail::fault(Op::kRegisterNode, &code)) return code;
  if (plugin_ == nullptr || creatorFunction == nullptr || typeName.length() == 0) {
    return MStatus::kInvalidParameter;
  }
  for (const auto& t : h.types) {
    if (t->name == typeName.asChar() || t->id == typeId.id()) return MStatus::kFailure;
  }
  auto t = std::make_unique<NodeType>();
  t->name = typeName.asChar();
  t->id = typeId.id();
  t->creator = creatorFunction;
  t->kind = type;
  t->classification = classification != nullptr ? classification->asChar() : "";
  t->plugin = static_cast<PluginRecord*>(plugin_);
  NodeType* raw = t.get();
  h.types.push_back(std::move(t));

  NodeType* outer = h.initializing;
  h.initializing = raw;
  raw->initializeResult = initFunction != nullptr ? initFunction() : MStatus(MStatus::kSuccess);
  h.initializing = outer;
  mayahost::detail::layOut(*raw);
  return MStatus::kSuccess;
}

MStatus MFnPlugin::deregisterNode(const MTypeId& typeId) {
  HostState& h = host();
  MStatus code;
  if (mayahost::detail::fault(Op::kDeregisterNode, &code)) return code;
  for (auto it = h.types.begin(); it != h.types.end(); ++it) {
    if ((*it)->id == typeId.id() && (*it)->plugin == plugin_) {
      if ((*it)->liveNodes > 0) return MStatus::kFailure;
      h.types.erase(it);
      return MStatus::kSuccess;
    }
  }
  return MStatus::kNotFound;
}

// ---- MPxNode -------------------------------------------------------------------

MPxNode::MPxNode() = default;
MPxNode::~MPxNode() = default;
void MPxNode::postConstructor() {}
#if MAYA_API_VERSION >= 20180000
MPxNode::SchedulingType MPxNode::schedulingType() const {
  return kSerial;
}
#endif
MStatus MPxNode::compute(const MPlug&, MDataBlock&) {
  return MStatus::kUnknownParameter;
}
bool MPxNode::getInternalValueInContext(const MPlug&, MDataHandle&, MDGContext&) {
  return false;
}
bool MPxNode::setInternalValueInContext(const MPlug&, const MDataHandle&, MDGContext&) {
  return false;
}
bool MPxNode::getInternalValue(const MPlug&, MDataHandle&) {
  return false;
}
bool MPxNode::setInternalValue(const MPlug&, const MDataHandle&) {
  return false;
}
int MPxNode::internalArrayCount(const MPlug&, const MDGContext&) const {
  return -1;
}
void MPxNode::copyInternalData(MPxNode*) {}
MStatus MPxNode::legalConnection(const MPlug&, const MPlug&, bool, bool&) const {
  return MStatus::kUnknownParameter;
}
MStatus MPxNode::legalDisconnection(const MPlug&, const MPlug&, bool, bool&) const {
  return MStatus::kUnknownParameter;
}
MStatus MPxNode::setDependentsDirty(const MPlug&, MPlugArray&) {
  return MStatus::kSuccess;
}
MStatus MPxNode::connectionMade(const MPlug&, const MPlug&, bool) {
  return MStatus::kUnknownParameter;
}
MStatus MPxNode::connectionBroken(const MPlug&, const MPlug&, bool) {
  return MStatus::kUnknownParameter;
}
bool MPxNode::isPassiveOutput(const MPlug&) const {
  return false;
}
bool MPxNode::shouldSave(const MPlug&, bool&) {
  return false;
}
MPlug MPxNode::passThroughToOne(const MPlug&) const {
  return MPlug();
}
bool MPxNode::passThroughToMany(const MPlug&, MPlugArray&) const {
  return false;
}
MPxNode::Type MPxNode::type() const {
  return kDependNode;
}
bool MPxNode::isAbstractClass() const {
  return false;
}

MObject MPxNode::thisMObject() const {
  return instance_ != nullptr ? Access::node(instance_) : MObject();
}

MStatus MPxNode::setMPSafe(bool flag) {
  MStatus code;
  if (mayahost::detail::fault(Op::kSetMPSafe, &code)) return code;
  auto* rec = mayahost::detail::NodeAccess::record(this);
  if (rec == nullptr) return MStatus::kFailure;
  rec->mpSafe = flag;
  return MStatus::kSuccess;
}

MStatus MPxNode::addAttribute(const MObject& attribute) {
  HostState& h = host();
  MStatus code;
  if (mayahost::detail::fault(Op::kAddAttribute, &code)) return code;
  AttrRecord* a = mayahost::detail::record(attribute);
  NodeType* t = h.initializing;
  if (a == nullptr || t == nullptr || a->type_ != t || a->added) return MStatus::kInvalidParameter;
  for (const AttrRecord* other : t->added) {
    if (other->name == a->name || other->shortName == a->shortName) {
      return MStatus::kFailure;
    }
  }
  a->added = true;
  t->added.push_back(a);
  return MStatus::kSuccess;
}

MStatus MPxNode::attributeAffects(const MObject& whenChanges, const MObject& isAffected) {
  HostState& h = host();
  MStatus code;
  if (mayahost::detail::fault(Op::kAttributeAffects, &code)) return code;
  AttrRecord* in = mayahost::detail::record(whenChanges);
  AttrRecord* out = mayahost::detail::record(isAffected);
  NodeType* t = h.initializing;
  if (in == nullptr || out == nullptr || t == nullptr || in->type_ != t || out->type_ != t) {
    return MStatus::kInvalidParameter;
  }
  in->affects.push_back(out);
  out->output = true;
  t->affects.emplace_back(in, out);
  return MStatus::kSuccess;
}

// ---- Attribute function sets ---------------------------------------------------

namespace {

// Every function-set call passes here first: it counts the call for fault
// injection and finds the attribute the set is on.
AttrRecord* begin(const MObject& attribute, MStatus* result) {
  MStatus code;
  if (mayahost::detail::fault(Op::kAttributeCall, &code)) {
    *result = code;
    return nullptr;
  }
  AttrRecord* a = mayahost::detail::record(attribute);
  *result = a != nullptr ? MStatus::kSuccess : MStatus::kInvalidParameter;
  return a;
}

MObject make(const MString& fullName, const MString& briefName, ValueType type, MStatus* status,
             const std::vector<const MObject*>& children, MObject* boundTo) {
  MStatus result;
  if (mayahost::detail::fault(Op::kAttributeCall, &result)) {
    if (status != nullptr) *status = result;
    *boundTo = MObject();
    return MObject();
  }
  result = MStatus::kSuccess;
  std::vector<AttrRecord*> kids;
  for (const MObject* c : children) {
    AttrRecord* k = mayahost::detail::record(*c);
    if (k == nullptr || k->parent != nullptr) result = MStatus::kInvalidParameter;
    kids.push_back(k);
  }
  if (fullName.length() == 0 || briefName.length() == 0) result = MStatus::kInvalidParameter;
  if (!result) {
    if (status != nullptr) *status = result;
    *boundTo = MObject();
    return MObject();
  }
  HostState& h = host();
  auto rec = std::make_unique<AttrRecord>();
  rec->slot.record = rec.get();
  rec->name = fullName.asChar();
  rec->shortName = briefName.asChar();
  rec->type = type;
  rec->type_ = h.initializing;
  rec->children = kids;
  for (AttrRecord* k : kids) {
    k->parent = rec.get();
    k->slot.parent = &rec->slot;
  }
  AttrRecord* raw = rec.get();
  if (h.current != nullptr) {
    h.current->attributes.push_back(std::move(rec));
  } else {
    h.looseAttributes.push_back(std::move(rec));
  }
  if (raw->type_ != nullptr) raw->type_->attributes.push_back(raw);
  if (status != nullptr) *status = MStatus::kSuccess;
  *boundTo = Access::attribute(&raw->slot);
  return *boundTo;
}

MStatus setFlag(const MObject& attribute, bool AttrRecord::*flag, bool state) {
  MStatus result;
  AttrRecord* a = begin(attribute, &result);
  if (a != nullptr) a->*flag = state;
  return result;
}

bool getFlag(const MObject& attribute, bool AttrRecord::*flag, MStatus* status) {
  AttrRecord* a = mayahost::detail::record(attribute);
  if (status != nullptr) *status = a != nullptr ? MStatus::kSuccess : MStatus::kInvalidParameter;
  return a != nullptr && a->*flag;
}

}  // namespace

MFnAttribute::MFnAttribute() = default;
MFnAttribute::MFnAttribute(const MObject& attribute, MStatus* status) {
  MStatus s = setObject(attribute);
  if (status != nullptr) *status = s;
}
MFnAttribute::~MFnAttribute() = default;

MStatus MFnAttribute::setObject(const MObject& attribute) {
  attribute_ = mayahost::detail::record(attribute) != nullptr ? attribute : MObject();
  return attribute_.isNull() ? MStatus::kInvalidParameter : MStatus::kSuccess;
}
MObject MFnAttribute::object(MStatus* status) const {
  if (status != nullptr)
    *status = attribute_.isNull() ? MStatus::kInvalidParameter : MStatus::kSuccess;
  return attribute_;
}
MString MFnAttribute::name(MStatus* status) const {
  const AttrRecord* a = mayahost::detail::record(attribute_);
  if (status != nullptr) *status = a != nullptr ? MStatus::kSuccess : MStatus::kInvalidParameter;
  return a != nullptr ? MString(a->name.c_str()) : MString();
}
MString MFnAttribute::shortName(MStatus* status) const {
  const AttrRecord* a = mayahost::detail::record(attribute_);
  if (status != nullptr) *status = a != nullptr ? MStatus::kSuccess : MStatus::kInvalidParameter;
  return a != nullptr ? MString(a->shortName.c_str()) : MString();
}

MStatus MFnAttribute::setKeyable(bool s) {
  return setFlag(attribute_, &AttrRecord::keyable, s);
}
MStatus MFnAttribute::setStorable(bool s) {
  return setFlag(attribute_, &AttrRecord::storable, s);
}
MStatus MFnAttribute::setReadable(bool s) {
  return setFlag(attribute_, &AttrRecord::readable, s);
}
MStatus MFnAttribute::setWritable(bool s) {
  return setFlag(attribute_, &AttrRecord::writable, s);
}
MStatus MFnAttribute::setHidden(bool s) {
  return setFlag(attribute_, &AttrRecord::hidden, s);
}
MStatus MFnAttribute::setUsedAsColor(bool s) {
  return setFlag(attribute_, &AttrRecord::usedAsColor, s);
}
MStatus MFnAttribute::setArray(bool s) {
  return setFlag(attribute_, &AttrRecord::array, s);
}

bool MFnAttribute::isKeyable(MStatus* st) const {
  return getFlag(attribute_, &AttrRecord::keyable, st);
}
bool MFnAttribute::isStorable(MStatus* st) const {
  return getFlag(attribute_, &AttrRecord::storable, st);
}
bool MFnAttribute::isReadable(MStatus* st) const {
  return getFlag(attribute_, &AttrRecord::readable, st);
}
bool MFnAttribute::isWritable(MStatus* st) const {
  return getFlag(attribute_, &AttrRecord::writable, st);
}
bool MFnAttribute::isHidden(MStatus* st) const {
  return getFlag(attribute_, &AttrRecord::hidden, st);
}
bool MFnAttribute::isUsedAsColor(MStatus* st) const {
  return getFlag(attribute_, &AttrRecord::usedAsColor, st);
}
bool MFnAttribute::isArray(MStatus* st) const {
  return getFlag(attribute_, &AttrRecord::array, st);
}

MFnNumericAttribute::~MFnNumericAttribute() = default;
MFnLightDataAttribute::~MFnLightDataAttribute() = default;

MObject MFnNumericAttribute::create(const MString& fullName, const MString& briefName,
                                    MFnNumericData::Type type, double defaultValue,
                                    MStatus* status) {
  ValueType vt = ValueType::kFloat;
  switch (type) {
    case MFnNumericData::kBoolean:
      vt = ValueType::kBool;
      break;
    case MFnNumericData::kFloat:
    case MFnNumericData::kDouble:
    case MFnNumericData::kInvalid:
    default:
      vt = ValueType::kFloat;
      break;
  }
  MStatus local;
  MObject o = make(fullName, briefName, vt, &local, {}, &attribute_);
  if (local && type == MFnNumericData::kInvalid) local = MStatus::kInvalidParameter;
  if (AttrRecord* a = mayahost::detail::record(o)) {
    a->numericType = type;
    a->createDefault = defaultValue;
  }
  if (status != nullptr) *status = local;
  return o;
}

MObject MFnNumericAttribute::create(const MString& fullName, const MString& briefName,
                                    const MObject& child1, const MObject& child2,
                                    const MObject& child3, MStatus* status) {
  return make(fullName, briefName, ValueType::kFloat3, status, {&child1, &child2, &child3},
              &attribute_);
}

MObject MFnNumericAttribute::createAddr(const MString& fullName, const MString& briefName,
                                        void* defaultValue, MStatus* status) {
  MObject o = make(fullName, briefName, ValueType::kAddress, status, {}, &attribute_);
  if (AttrRecord* a = mayahost::detail::record(o)) {
    a->numericType = MFnNumericData::kAddr;
    a->defaultAddress = defaultValue;
  }
  return o;
}

namespace {
MStatus setDefaults(const MObject& attribute, std::vector<double> values) {
  MStatus result;
  AttrRecord* a = begin(attribute, &result);
  if (a == nullptr) return result;
  const std::size_t want = a->type == ValueType::kFloat3 ? 3 : 1;
  if (values.size() != want || a->type == ValueType::kAddress) return MStatus::kInvalidParameter;
  a->defaultValue = std::move(values);
  return MStatus::kSuccess;
}
MStatus setLimit(const MObject& attribute, std::optional<double> AttrRecord::*limit, double value) {
  MStatus result;
  AttrRecord* a = begin(attribute, &result);
  if (a != nullptr) a->*limit = value;
  return result;
}
}  // namespace

MStatus MFnNumericAttribute::setDefault(bool value) {
  return setDefaults(attribute_, {value ? 1.0 : 0.0});
}
MStatus MFnNumericAttribute::setDefault(float value) {
  return setDefaults(attribute_, {value});
}
MStatus MFnNumericAttribute::setDefault(double value) {
  return setDefaults(attribute_, {value});
}
MStatus MFnNumericAttribute::setDefault(float a, float b, float c) {
  return setDefaults(attribute_, {a, b, c});
}
MStatus MFnNumericAttribute::setDefault(double a, double b, double c) {
  return setDefaults(attribute_, {a, b, c});
}
MStatus MFnNumericAttribute::setMin(double v) {
  return setLimit(attribute_, &AttrRecord::min, v);
}
MStatus MFnNumericAttribute::setMax(double v) {
  return setLimit(attribute_, &AttrRecord::max, v);
}
MStatus MFnNumericAttribute::setSoftMin(double v) {
  return setLimit(attribute_, &AttrRecord::softMin, v);
}
MStatus MFnNumericAttribute::setSoftMax(double v) {
  return setLimit(attribute_, &AttrRecord::softMax, v);
}

MObject MFnLightDataAttribute::create(const MString& fullName, const MString& briefName,
                                      const MObject& direction, const MObject& intensity,
                                      const MObject& ambient, const MObject& diffuse,
                                      const MObject& specular, const MObject& shadowFraction,
                                      const MObject& preShadowIntensity, const MObject& blindData,
                                      MStatus* status) {
  return make(fullName, briefName, ValueType::kCompound, status,
              {&direction, &intensity, &ambient, &diffuse, &specular, &shadowFraction,
               &preShadowIntensity, &blindData},
              &attribute_);
}

MStatus MFnLightDataAttribute::setDefault(float directionX, float directionY, float directionZ,
                                          float intensityR, float intensityG, float intensityB,
                                          bool ambient, bool diffuse, bool specular,
                                          float shadowFraction, float preShadowIntensity,
                                          void* blindData) {
  MStatus result;
  AttrRecord* a = begin(attribute_, &result);
  if (a == nullptr) return result;
  a->lightDataDefault = mayahost::LightDataDefault{{directionX, directionY, directionZ},
                                                   {intensityR, intensityG, intensityB},
                                                   ambient,
                                                   diffuse,
                                                   specular,
                                                   shadowFraction,
                                                   preShadowIntensity,
                                                   blindData};
  return MStatus::kSuccess;
}
