// The stand-in Viewport 2.0's fragment store: shade fragments and fragment
// graphs read from their XML, checked as Maya checks them, and kept by name.
// MFragmentManager is a thin face on it; the effect builder reads it back.
//
// Read with pugixml. What Maya refuses is refused here with a message naming
// the fragment and what is wrong: a missing required attribute, elements out
// of their schema order, a duplicate name, a connection or property naming a
// parameter that does not exist, and a property list that does not match its
// function's arguments. Maya binds properties to arguments by position; a
// swap of two arguments of one type would compile there and shade wrongly,
// so the stand-in also wants the names to agree.
#ifndef MAYAHOST_SRC_RENDER_FRAGMENT_LIBRARY_H
#define MAYAHOST_SRC_RENDER_FRAGMENT_LIBRARY_H

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace mayahost::detail::vp2 {

// A property, output or graph property: <float3 name="Nw" flags="..."/>.
struct Parameter {
  std::string type;  // float, float3, struct, alias, string, ...
  std::string name;
  std::string structName;  // struct and alias only
  std::string flags;
  std::string semantic;
  std::string ref;  // graph properties and outputs: "instance.parameter"
  bool requirementOnly() const { return flags.find("isRequirementOnly") != std::string::npos; }
};

struct Implementation {
  std::string render, language, langVersion;
  std::string functionName;
  std::string declarationName, declaration;
  std::string source;
};

struct Fragment {
  std::string name, uiName, type, version;
  std::vector<Parameter> properties;
  std::map<std::string, std::string> values;  // property name -> value text
  std::vector<Parameter> outputs;
  std::vector<Implementation> implementations;

  const Parameter* property(const std::string& n) const;
  const Parameter* output(const std::string& n) const;
  const Implementation* implementation(const std::string& language) const;
};

struct FragmentRef {
  std::string name, ref;
};

struct Connection {
  std::string fromInstance, fromParameter, toInstance, toParameter, name;
};

struct Graph {
  std::string name, ref, version;
  std::vector<FragmentRef> fragments;
  std::vector<Connection> connections;
  std::vector<Parameter> properties;
  std::map<std::string, std::string> values;
  std::vector<Parameter> outputs;

  const FragmentRef* instance(const std::string& n) const;
};

class FragmentLibrary {
 public:
  // Reads and checks one fragment or graph. On success returns its name;
  // on failure returns "" and says why in `error`. A name already taken, by
  // a fragment or a graph, is refused.
  std::string addFragment(const char* xml, std::string* error);
  std::string addGraph(const char* xml, std::string* error);
  bool has(const std::string& name) const;
  bool remove(const std::string& name);
  std::vector<std::string> names() const;  // registration order
  // The XML as it was registered.
  bool xml(const std::string& name, std::string* text) const;

  const Fragment* fragment(const std::string& name) const;
  const Graph* graph(const std::string& name) const;

 private:
  struct Entry {
    std::string name, xml;
    std::unique_ptr<Fragment> fragment;
    std::unique_ptr<Graph> graph;
  };
  const Entry* find(const std::string& name) const;
  std::vector<Entry> entries_;
};

// The argument list of `function` in `source`: (type, name) pairs, qualifiers
// such as `in` and `const` dropped. False when the function is not defined.
bool functionArguments(const std::string& source, const std::string& function,
                       std::vector<std::pair<std::string, std::string>>* arguments);

// Whether a shading-language type (vec3, float3, ...) is the XML type
// (float3, ...) or, for a struct, its struct name.
bool typeMatches(const Parameter& p, const std::string& languageType);

}  // namespace mayahost::detail::vp2

#endif  // MAYAHOST_SRC_RENDER_FRAGMENT_LIBRARY_H
