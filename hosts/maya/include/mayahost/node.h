// Nodes in the stand-in host: create one of a registered type, set and get
// its values by plug name, compute its outputs; and what a node type
// declared, attribute by attribute, as Maya's attribute queries report it.
//
//   mayahost::Node node;
//   mayahost::Status st = node.create("velvet");
//   st = node.set("color", {0.8f, 0.2f, 0.1f});  // or "colorR", "ltd[1].ls", ...
//   std::vector<float> c;
//   st = node.get("outColor", &c);               // computes a dirty output first
//
// Plug names: a long or short attribute name ("color", "c", "colorR"), and for
// an array attribute an element index and a descendant ("lightDataArray[1].
// lightIntensity", "ltd[0].ldx"). Array elements are created on first use
// from the array's light-data default (or its children's defaults).
//
// Part of the driver: tests, benchmarks and tools include it; plug-ins never
// do. Per-sample shading goes through <mayahost/shading_block.h> instead.
//
// Threads: one at a time, as Maya's own dependency graph runs.
#ifndef MAYAHOST_NODE_H
#define MAYAHOST_NODE_H

#include <maya/MExport.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <mayahost/status.h>

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mayahost {

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

// The facts about one attribute that its creator and function-set calls
// settle. The host keeps them in its own record of the attribute and copies
// them out whole; the defaults are those of an attribute just created.
struct AttributeFacts {
  std::string name, shortName;
  ValueType type = ValueType::kFloat;
  int numericType = 0;  // MFnNumericData::Type of a scalar, else 0
  bool keyable = false, storable = true, readable = true, writable = true;
  bool hidden = false, usedAsColor = false, array = false;
  bool added = false;                // passed to MPxNode::addAttribute
  double createDefault = 0.0;        // scalars: the default given to create
  std::vector<double> defaultValue;  // setDefault's value(s), if it was called
  void* defaultAddress = nullptr;
  std::optional<double> min, max, softMin, softMax;
  std::optional<LightDataDefault> lightDataDefault;
};

// An attribute's facts and its links to other attributes, by long name.
struct AttributeInfo : AttributeFacts {
  std::string parent;                 // "" for none
  std::vector<std::string> children;  // in order
  std::vector<std::string> affects;   // outputs it dirties, in declaration order
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
  // The node's type name ("" for no node).
  std::string typeName() const;
  // Whether compute may run on several threads at once: setMPSafe(true), or
  // (devkits since 2018) schedulingType() answering kParallel.
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

}  // namespace mayahost

#endif  // MAYAHOST_NODE_H
