// Plug paths (plug_path.cpp): the names users give plugs, "color", "c",
// "colorR", "lightDataArray[1].lightIntensity", "ltd[0].ldx", resolved
// against a node type, with errors that say what the type has instead.
#ifndef MAYAHOST_SRC_PLUG_PATH_H
#define MAYAHOST_SRC_PLUG_PATH_H

#include <mayahost/status.h>

#include <string>

#include "records.h"

namespace mayahost::detail {

// Elements a plug name may reach in one array: bounds what a mistyped index
// can make the host allocate.
constexpr unsigned kMaxElements = 4096;

// A resolved plug name.
struct PlugRef {
  AttrRecord* attr = nullptr;
  AttrRecord* array = nullptr;  // the array attribute, when the plug is in an element
  unsigned element = 0;
};

Status resolve(const NodeType& type, const std::string& plug, PlugRef* out);
// The plug as a user would write it with long names: "lightDataArray[1].lightIntensity".
std::string describe(const PlugRef& r);
// The long names of an attribute's children, for error messages: "a, b, c".
std::string childList(const AttrRecord* a);

}  // namespace mayahost::detail

#endif  // MAYAHOST_SRC_PLUG_PATH_H
