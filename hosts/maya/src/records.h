// The stand-in host's own records of plug-ins, node types, attributes and
// nodes, and the one state that holds them; shared by its source files and
// never installed.
#ifndef MAYAHOST_SRC_RECORDS_H
#define MAYAHOST_SRC_RECORDS_H

#include <maya/MFnNumericData.h>
#include <maya/MFnPlugin.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <mayahost/detail/calls.h>
#include <mayahost/detail/data.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mayahost::detail {

struct NodeType;
struct PluginRecord;

// An attribute: its facts, and its links as the host follows them.
struct AttrRecord : AttributeFacts {
  AttrSlot slot;
  AttrRecord* parent = nullptr;
  std::vector<AttrRecord*> children;
  std::vector<AttrRecord*> affects;  // outputs it dirties, in declaration order
  bool output = false;               // the affected side of some attributeAffects
  NodeType* type_ = nullptr;         // the type whose initialize created it
};

inline AttrRecord* record(const MObject& o) {
  const AttrSlot* s = Access::slot(o);
  return s != nullptr ? static_cast<AttrRecord*>(s->record) : nullptr;
}

struct NodeType {
  std::string name;
  unsigned id = 0;
  MCreatorFunction creator = nullptr;
  MPxNode::Type kind = MPxNode::kDependNode;
  std::string classification;
  PluginRecord* plugin = nullptr;
  MStatus initializeResult;
  std::vector<AttrRecord*> attributes;  // creation order
  std::vector<AttrRecord*> added;
  std::vector<std::pair<AttrRecord*, AttrRecord*>> affects;
  // Data layout, fixed once initialize has run.
  std::vector<AttrRecord*> roots;   // attributes whose values a block holds at top level
  std::vector<AttrRecord*> arrays;  // by AttrSlot::arrayIndex
  int fixedCells = 0;
  std::vector<int> elementCells;  // per array
  int liveNodes = 0;
};

struct PluginRecord {
  std::string path;
  void* library = nullptr;
  std::vector<FnPluginRecord>* functionSets = nullptr;
  std::vector<std::unique_ptr<AttrRecord>> attributes;
};

// A node's own data block.
struct BlockData {
  BlockView view;
  std::vector<Cell> fixed;
  std::vector<std::vector<Cell>> arrayCells;
  std::vector<ArrayView> arrayViews;
  void refresh();
};

struct AccessLog {
  std::vector<std::string> entries;
};

struct NodeRecord {
  NodeType* type = nullptr;
  MPxNode* instance = nullptr;
  bool mpSafe = false;
  BlockData data;
};

struct NodeAccess {
  static void attach(MPxNode* node, NodeRecord* record) { node->instance_ = record; }
  static NodeRecord* record(const MPxNode* node) {
    return static_cast<NodeRecord*>(node->instance_);
  }
};

struct HostState {
  std::vector<std::unique_ptr<NodeType>> types;
  std::vector<std::unique_ptr<PluginRecord>> plugins;
  std::vector<std::unique_ptr<AttrRecord>> looseAttributes;  // made outside any plug-in
  PluginRecord* current = nullptr;                           // plug-in whose entry point is running
  NodeType* initializing = nullptr;                          // type whose initialize is running
  // What <mayahost/testing.h> shows of the MEL commands.
  std::vector<CommandRecord> commands;
  bool renderNodeWindowOpen = false;
  std::vector<std::string> refreshes;
  std::vector<std::string>* unloadEvents = nullptr;  // set while a library closes
};

HostState& host();

NodeType* findType(const std::string& name);
AttrRecord* findAttribute(const NodeType& type, const std::string& name);
void forgetPlugin(PluginRecord* plugin);

// Unload tracing: static handles report their destruction while it is on.
void traceUnload(bool on);
void noteObjectDestroyed(const MObject& o);
void noteTypeIdDestroyed(unsigned id);

}  // namespace mayahost::detail

#endif  // MAYAHOST_SRC_RECORDS_H
