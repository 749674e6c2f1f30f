// mayahost: the driver side of the stand-in Maya host.
//
// Plug-ins see only the <maya/...> classes. Tests, benchmarks and tools use
// this header to play Maya's part: load a plug-in, create nodes, set and get
// values by plug name, look at what a node type declared, read the MEL command
// log, make chosen host calls fail, and shade samples on the fast path.
//
//   mayahost::Plugin plugin;
//   mayahost::Status st = plugin.load("/path/to/velvet.so");
//   if (!st) { std::cerr << st.message() << "\n"; return 1; }
//   mayahost::Node node;
//   st = node.create("velvet");
//   st = node.set("color", {0.8f, 0.2f, 0.1f});  // or "colorR", "ltd[1].ls", ...
//   mayahost::ShadingBlock block(node, 4);  // one per thread, room for 4 lights
//   block.setNormal({0, 0, 1});             // per sample: no look-up, no allocation
//   block.setRayDirection({0, 0, -1});
//   block.setLightCount(1);
//   block.setLight(0, {{0, 0, 1}, {1, 1, 1}, true, true, true});
//   MStatus s = block.compute();            // the node's compute on outColor
//   MFloatVector c = block.outColor();
//
// Plug names: a long or short attribute name ("color", "c", "colorR"), and for
// an array attribute an element index and a descendant ("lightDataArray[1].
// lightIntensity", "ltd[0].ldx"). Array elements are created on first use
// from the array's light-data default (or its children's defaults).
//
// Threads: everything here but ShadingBlock runs on one thread at a time, as
// Maya's own dependency graph does. Any number of ShadingBlocks, one per
// thread, may compute on the same node at once.
#ifndef MAYAHOST_HOST_H
#define MAYAHOST_HOST_H

#include <maya/MExport.h>
#include <maya/MFloatVector.h>
#include <maya/MPlug.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <mayahost/detail/data.h>

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mayahost {

// Outcome of a driver call: ok, or a message that says what went wrong.
class Status {
 public:
  Status() = default;
  static Status error(std::string message) {
    Status s;
    s.ok_ = false;
    s.message_ = std::move(message);
    return s;
  }
  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const std::string& message() const { return message_; }

 private:
  bool ok_ = true;
  std::string message_;
};

// ---- Plug-ins --------------------------------------------------------------

// One MFnPlugin made by the plug-in on its plug-in object.
struct FnPluginRecord {
  std::string vendor, version, requiredApiVersion;
};

// A plug-in library. load() opens it and calls initializePlugin; unload()
// calls uninitializePlugin and closes it, after which the host forgets every
// type the plug-in registered. The destructor unloads.
class OPENMAYA_EXPORT Plugin {
 public:
  Plugin() = default;
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  Status load(const std::string& path);
  // Refused while nodes of its types exist.
  Status unload();
  bool loaded() const { return record_ != nullptr; }

  // What initializePlugin / uninitializePlugin returned.
  MStatus initializeResult() const { return initializeResult_; }
  MStatus uninitializeResult() const { return uninitializeResult_; }
  // The exported MApiVersion text ("" if the library has none).
  std::string apiVersion() const;
  // An exported symbol of the loaded library, or null.
  void* symbol(const char* name) const;
  // Every MFnPlugin made on this plug-in, load and unload alike, in order.
  const std::vector<FnPluginRecord>& functionSets() const { return functionSets_; }
  // What happened during the last unload, in order: "uninitializePlugin
  // returned", then "~MObject <attribute>" / "~MObject null" and
  // "~MTypeId <decimal id>" for every static handle the library destroyed.
  const std::vector<std::string>& unloadEvents() const { return unloadEvents_; }

 private:
  void* record_ = nullptr;
  MStatus initializeResult_;
  MStatus uninitializeResult_;
  std::vector<FnPluginRecord> functionSets_;
  std::vector<std::string> unloadEvents_;
};

// ---- What a node type declared ---------------------------------------------

enum class ValueType { kFloat, kBool, kFloat3, kAddress, kCompound };
OPENMAYA_EXPORT const char* toString(ValueType type);

struct LightDataDefault {
  float direction[3];
  float intensity[3];
  bool ambient, diffuse, specular;
  float shadowFraction, preShadowIntensity;
  void* blindData;
};

struct AttributeInfo {
  std::string name, shortName;
  std::string parent;                 // "" for none
  std::vector<std::string> children;  // in order
  ValueType type = ValueType::kFloat;
  int numericType = 0;  // MFnNumericData::Type of a scalar, else 0
  bool keyable = false, storable = false, readable = false, writable = false;
  bool hidden = false, usedAsColor = false, array = false;
  bool added = false;                // passed to MPxNode::addAttribute
  double createDefault = 0.0;        // scalars: the default given to create
  std::vector<double> defaultValue;  // setDefault's value(s), if it was called
  void* defaultAddress = nullptr;
  std::optional<double> min, max, softMin, softMax;
  std::vector<std::string> affects;  // outputs it dirties, in declaration order
  std::optional<LightDataDefault> lightDataDefault;
};

struct NodeTypeInfo {
  std::string name;
  unsigned id = 0;
  std::string classification;
  MPxNode::Type kind = MPxNode::kDependNode;
  MStatus initializeResult;
  std::vector<std::string> attributes;                       // creation order
  std::vector<std::string> added;                            // addAttribute order
  std::vector<std::pair<std::string, std::string>> affects;  // (input, output), call order
};

OPENMAYA_EXPORT Status nodeType(const std::string& typeName, NodeTypeInfo* info);
OPENMAYA_EXPORT Status attribute(const std::string& typeName, const std::string& name,
                                 AttributeInfo* info);

// ---- Nodes -------------------------------------------------------------------

// A settable plug as a user would type it; arrays show their element as [i].
struct PlugDescription {
  std::string name;  // "color", "lightDataArray[i].lightIntensity"
  ValueType type;
  unsigned arity;  // floats that set() takes
  bool hidden;
};

class OPENMAYA_EXPORT Node {
 public:
  Node() = default;
  ~Node();
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  // Creates a node through the type's creator, then calls postConstructor.
  Status create(const std::string& typeName);
  void destroy();
  bool valid() const { return record_ != nullptr; }
  bool isMPSafe() const;
  MPxNode* instance() const;

  // Sets a plug from floats: one for a float, three for a colour or vector,
  // 0 or 1 for a boolean. Outputs cannot be set. Marks the affected outputs
  // dirty.
  Status set(const std::string& plug, std::initializer_list<float> values);
  Status set(const std::string& plug, const float* values, std::size_t count);
  // Reads a plug (booleans as 0 or 1). A dirty output is computed first.
  Status get(const std::string& plug, std::vector<float>* values);
  Status isDirty(const std::string& plug, bool* dirty) const;
  Status resizeArray(const std::string& plug, unsigned count);
  unsigned arraySize(const std::string& plug) const;
  // Calls compute on the plug whatever its state. `accesses` receives the data
  // block operations compute made ("inputValue color", "outputValue outColor",
  // "inputArrayValue lightDataArray").
  Status compute(const std::string& plug, MStatus* result,
                 std::vector<std::string>* accesses = nullptr);
  std::vector<PlugDescription> settablePlugs() const;

 private:
  friend class ShadingBlock;
  void* record_ = nullptr;
};

// ---- The fast shading path -------------------------------------------------

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

// ---- MEL commands ------------------------------------------------------------

struct CommandRecord {
  std::string command;
  bool displayEnabled;
  bool undoEnabled;
};
// Every MGlobal::executeCommand, in order, since the last clearCommandLog()
// (which also forgets the window refreshes below).
OPENMAYA_EXPORT const std::vector<CommandRecord>& commandLog();
OPENMAYA_EXPORT void clearCommandLog();
// The render-node creation window (closed at start). While it is open, the
// refresh command "if( `window -exists createRenderNodeWindow` )
// {refreshCreateRenderNodeWindow("<classification>");}" refreshes it.
OPENMAYA_EXPORT void setCreateRenderNodeWindowOpen(bool open);
// Classifications the window was refreshed for, in order.
OPENMAYA_EXPORT const std::vector<std::string>& renderNodeWindowRefreshes();

// ---- Making host calls fail ------------------------------------------------

enum class Op {
  kAttributeCall,  // every call on MFnNumericAttribute, MFnLightDataAttribute and
                   // MFnAttribute: creates and setters alike
  kAddAttribute,
  kAttributeAffects,
  kRegisterNode,
  kDeregisterNode,
  kExecuteCommand,
  kArrayNext,  // MArrayDataHandle::next
};
// The n-th call (1 = the next one) of `op` from now on returns `code`; a
// failing create returns a null MObject. Counting starts at the last
// clearFaults().
OPENMAYA_EXPORT void failCall(Op op, unsigned n, MStatus::MStatusCode code = MStatus::kFailure);
OPENMAYA_EXPORT void clearFaults();
// Calls of `op` since the last clearFaults().
OPENMAYA_EXPORT unsigned callCount(Op op);

// ---- Standard error ------------------------------------------------------------

// Captures everything written to the standard error stream (C and C++, this
// process and its plug-ins) while it lives.
class OPENMAYA_EXPORT StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  // Whether standard error is being captured; if not, error() says why.
  bool ok() const { return file_ != nullptr; }
  const std::string& error() const { return error_; }
  // What was written so far. Without a capture, a text saying so that no
  // expected output matches: a test that expects silence must not pass on
  // a capture that never happened.
  std::string text() const;

 private:
  int savedFd_ = -1;
  void* file_ = nullptr;
  std::string error_;
};

}  // namespace mayahost

#endif  // MAYAHOST_HOST_H
