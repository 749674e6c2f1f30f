// Reading and checking fragment XML (see fragment_library.h).
#include "fragment_library.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

namespace mayahost::detail::vp2 {

namespace {

// Collects the first problem found; later checks see it and stop adding.
struct Problems {
  std::string what;
  bool any() const { return !what.empty(); }
  void add(const std::string& text) {
    if (what.empty()) what = text;
  }
};

std::string quoted(const std::string& s) {
  return "'" + s + "'";
}

void requireAttributes(const pugi::xml_node& node, std::initializer_list<const char*> names,
                       const std::string& where, Problems* problems) {
  for (const char* n : names) {
    if (!node.attribute(n)) {
      problems->add(where + ": <" + node.name() + "> lacks the required attribute " + quoted(n));
    }
  }
}

// The element children of `node` must be `order`, each at most once except
// those marked repeatable, the required ones present.
struct Slot {
  const char* name;
  bool required;
  bool repeatable;
};

void checkOrder(const pugi::xml_node& node, std::initializer_list<Slot> order,
                const std::string& where, Problems* problems) {
  const Slot* slots = order.begin();
  const std::size_t count = order.size();
  std::size_t at = 0;
  std::vector<int> seen(count, 0);
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    std::size_t k = at;
    while (k < count && std::strcmp(slots[k].name, child.name()) != 0) ++k;
    if (k == count) {
      bool known = false;
      for (std::size_t j = 0; j < count; ++j)
        known = known || child.name() == std::string(slots[j].name);
      problems->add(where + ": <" + child.name() + "> " +
                    (known ? "is out of order in <" : "does not belong in <") + node.name() + ">");
      return;
    }
    if (seen[k] > 0 && !slots[k].repeatable) {
      problems->add(where + ": <" + child.name() + "> appears twice in <" + node.name() + ">");
      return;
    }
    ++seen[k];
    at = k;
  }
  for (std::size_t k = 0; k < count; ++k) {
    if (slots[k].required && seen[k] == 0) {
      problems->add(where + ": <" + node.name() + "> lacks <" + slots[k].name + ">");
    }
  }
}

const std::set<std::string>& propertyTypes() {
  static const std::set<std::string> types = {
      "bool",     "int",      "int2",        "int3",     "int4",   "float",
      "float2",   "float3",   "float4",      "float4x4", "string", "struct",
      "texture2", "texture3", "textureCube", "sampler",  "alias"};
  return types;
}

// Reads <properties>, <outputs> or a graph's <properties>/<outputs>.
std::vector<Parameter> readParameters(const pugi::xml_node& list, bool graph,
                                      const std::string& where, Problems* problems) {
  std::vector<Parameter> out;
  std::set<std::string> names;
  for (pugi::xml_node p = list.first_child(); p; p = p.next_sibling()) {
    if (p.type() != pugi::node_element) continue;
    const std::string type = p.name();
    if (propertyTypes().count(type) == 0) {
      problems->add(where + ": unknown parameter type <" + type + "> in <" + list.name() + ">");
      continue;
    }
    requireAttributes(p, {"name"}, where, problems);
    if (graph) requireAttributes(p, {"ref"}, where, problems);
    if (type == "struct" && !graph) requireAttributes(p, {"struct_name"}, where, problems);
    Parameter param;
    param.type = type;
    param.name = p.attribute("name").value();
    param.structName = p.attribute("struct_name").value();
    param.flags = p.attribute("flags").value();
    param.semantic = p.attribute("semantic").value();
    param.ref = p.attribute("ref").value();
    if (!names.insert(param.name).second) {
      problems->add(where + ": duplicate name " + quoted(param.name) + " in <" + list.name() + ">");
    }
    out.push_back(param);
  }
  return out;
}

std::map<std::string, std::string> readValues(const pugi::xml_node& list,
                                              const std::vector<Parameter>& properties,
                                              const std::string& where, Problems* problems) {
  std::map<std::string, std::string> out;
  for (pugi::xml_node v = list.first_child(); v; v = v.next_sibling()) {
    if (v.type() != pugi::node_element) continue;
    requireAttributes(v, {"name", "value"}, where, problems);
    const std::string name = v.attribute("name").value();
    auto p = std::find_if(properties.begin(), properties.end(),
                          [&](const Parameter& q) { return q.name == name; });
    if (p == properties.end()) {
      problems->add(where + ": a value for " + quoted(name) + ", which is no property");
    } else if (p->type != v.name()) {
      problems->add(where + ": the value for " + quoted(name) + " is <" + v.name() +
                    ">, the property <" + p->type + ">");
    }
    if (!out.emplace(name, v.attribute("value").value()).second) {
      problems->add(where + ": duplicate value for " + quoted(name));
    }
  }
  return out;
}

std::string trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool isIdentifierChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool splitRef(const std::string& ref, std::string* instance, std::string* parameter) {
  const std::size_t dot = ref.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == ref.size()) return false;
  *instance = ref.substr(0, dot);
  *parameter = ref.substr(dot + 1);
  return true;
}

void checkImplementations(const pugi::xml_node& outer, Fragment* f, const std::string& where,
                          Problems* problems) {
  for (pugi::xml_node inner = outer.first_child(); inner; inner = inner.next_sibling()) {
    if (inner.type() != pugi::node_element) continue;
    if (std::string(inner.name()) != "implementation") {
      problems->add(where + ": <" + std::string(inner.name()) +
                    "> does not belong in <implementation>");
      return;
    }
    requireAttributes(inner, {"render", "language", "lang_version"}, where, problems);
    checkOrder(
        inner,
        {{"function_name", true, false}, {"declaration", false, false}, {"source", false, false}},
        where, problems);
    if (problems->any()) return;
    Implementation impl;
    impl.render = inner.attribute("render").value();
    impl.language = inner.attribute("language").value();
    impl.langVersion = inner.attribute("lang_version").value();
    const pugi::xml_node fn = inner.child("function_name");
    requireAttributes(fn, {"val"}, where, problems);
    impl.functionName = fn.attribute("val").value();
    if (pugi::xml_node decl = inner.child("declaration")) {
      requireAttributes(decl, {"name"}, where, problems);
      impl.declarationName = decl.attribute("name").value();
      impl.declaration = decl.text().get();
    }
    impl.source = inner.child("source").text().get();
    const std::string lang = where + " (" + impl.language + ")";
    for (const Implementation& other : f->implementations) {
      if (other.language == impl.language && other.render == impl.render) {
        problems->add(lang + ": two implementations for one language");
      }
    }
    if (f->type == "structure") {
      if (impl.declaration.empty()) problems->add(lang + ": a structure needs its <declaration>");
    } else if (impl.functionName.empty()) {
      problems->add(lang + ": <function_name> is empty");
    } else {
      std::vector<std::pair<std::string, std::string>> args;
      if (!functionArguments(impl.source, impl.functionName, &args)) {
        problems->add(lang + ": the source does not define " + quoted(impl.functionName));
      } else {
        std::vector<const Parameter*> passed;
        for (const Parameter& p : f->properties) {
          if (!p.requirementOnly()) passed.push_back(&p);
        }
        if (args.size() != passed.size()) {
          problems->add(lang + ": " + impl.functionName + " takes " + std::to_string(args.size()) +
                        " arguments, the properties are " + std::to_string(passed.size()));
        }
        for (std::size_t i = 0; i < std::min(args.size(), passed.size()); ++i) {
          if (!typeMatches(*passed[i], args[i].first) || passed[i]->name != args[i].second) {
            problems->add(lang + ": property " + std::to_string(i + 1) + " is " + passed[i]->type +
                          " " + quoted(passed[i]->name) + ", but argument " +
                          std::to_string(i + 1) + " of " + impl.functionName + " is " +
                          args[i].first + " " + quoted(args[i].second) +
                          ": properties must follow the function's arguments");
          }
        }
      }
    }
    f->implementations.push_back(impl);
  }
  if (f->implementations.empty() && f->type != "accum") {
    problems->add(where + ": no <implementation> for any language");
  }
}

std::string loadError(const pugi::xml_parse_result& r, const char* xml) {
  // Line of the failing offset, for a human reading stderr.
  int line = 1;
  for (std::ptrdiff_t i = 0; i < r.offset && xml[i] != '\0'; ++i) line += xml[i] == '\n';
  return std::string("XML error at line ") + std::to_string(line) + ": " + r.description();
}

// Parses `xml` into `doc` and checks that its root is <`root`>; otherwise
// says why in `error`. Shared by fragments and graphs.
bool loadDocument(const char* xml, const char* root, pugi::xml_document* doc, std::string* error) {
  if (xml == nullptr) {
    *error = "no XML given";
    return false;
  }
  const pugi::xml_parse_result r = doc->load_string(xml);
  if (!r) {
    *error = loadError(r, xml);
    return false;
  }
  const std::string name = doc->document_element().name();
  if (name != root) {
    *error = "the document is <" + name + ">, not a <" + root + ">";
    return false;
  }
  return true;
}

}  // namespace

const Parameter* Fragment::property(const std::string& n) const {
  for (const Parameter& p : properties) {
    if (p.name == n) return &p;
  }
  return nullptr;
}

const Parameter* Fragment::output(const std::string& n) const {
  for (const Parameter& p : outputs) {
    if (p.name == n) return &p;
  }
  return nullptr;
}

const Implementation* Fragment::implementation(const std::string& language) const {
  for (const Implementation& i : implementations) {
    if (i.language == language) return &i;
  }
  return nullptr;
}

const FragmentRef* Graph::instance(const std::string& n) const {
  for (const FragmentRef& r : fragments) {
    if (r.name == n) return &r;
  }
  return nullptr;
}

bool functionArguments(const std::string& source, const std::string& function,
                       std::vector<std::pair<std::string, std::string>>* arguments) {
  std::size_t at = 0;
  while ((at = source.find(function, at)) != std::string::npos) {
    const std::size_t end = at + function.size();
    const bool whole = (at == 0 || !isIdentifierChar(source[at - 1])) &&
                       (end < source.size() && !isIdentifierChar(source[end]));
    at = end;
    if (!whole) continue;
    std::size_t open = end;
    while (open < source.size() && std::isspace(static_cast<unsigned char>(source[open]))) ++open;
    if (open >= source.size() || source[open] != '(') continue;
    const std::size_t close = source.find(')', open);
    if (close == std::string::npos) return false;
    std::size_t body = close + 1;
    while (body < source.size() && std::isspace(static_cast<unsigned char>(source[body]))) ++body;
    if (body >= source.size() || source[body] != '{') continue;  // a call, or a prototype
    arguments->clear();
    const std::string list = source.substr(open + 1, close - open - 1);
    std::size_t start = 0;
    while (start <= list.size()) {
      std::size_t comma = list.find(',', start);
      if (comma == std::string::npos) comma = list.size();
      const std::string arg = trim(list.substr(start, comma - start));
      start = comma + 1;
      if (arg.empty() || arg == "void") continue;
      std::vector<std::string> words;
      std::string word;
      for (char c : arg + " ") {
        if (isIdentifierChar(c)) {
          word += c;
        } else if (!word.empty()) {
          words.push_back(word);
          word.clear();
        }
      }
      // HLSL semantics ("float3 n : NORMAL") do not occur in fragment
      // functions; qualifiers do.
      std::vector<std::string> kept;
      for (const std::string& w : words) {
        if (w != "in" && w != "const" && w != "uniform" && w != "highp" && w != "mediump") {
          kept.push_back(w);
        }
      }
      if (kept.size() < 2) return false;
      arguments->emplace_back(kept[kept.size() - 2], kept.back());
    }
    return true;
  }
  return false;
}

bool typeMatches(const Parameter& p, const std::string& t) {
  if (p.type == "struct" || p.type == "alias") return t == p.structName;
  if (p.type == t) return true;  // HLSL: float, float3, ...
  static const std::map<std::string, std::string> glsl = {
      {"float2", "vec2"}, {"float3", "vec3"}, {"float4", "vec4"},  {"int2", "ivec2"},
      {"int3", "ivec3"},  {"int4", "ivec4"},  {"float4x4", "mat4"}};
  auto it = glsl.find(p.type);
  return it != glsl.end() && it->second == t;
}

const FragmentLibrary::Entry* FragmentLibrary::find(const std::string& name) const {
  for (const Entry& e : entries_) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

bool FragmentLibrary::has(const std::string& name) const {
  return find(name) != nullptr;
}

bool FragmentLibrary::remove(const std::string& name) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& e) { return e.name == name; });
  if (it == entries_.end()) return false;
  entries_.erase(it);
  return true;
}

std::vector<std::string> FragmentLibrary::names() const {
  std::vector<std::string> out;
  for (const Entry& e : entries_) out.push_back(e.name);
  return out;
}

bool FragmentLibrary::xml(const std::string& name, std::string* text) const {
  const Entry* e = find(name);
  if (e == nullptr) return false;
  *text = e->xml;
  return true;
}

const Fragment* FragmentLibrary::fragment(const std::string& name) const {
  const Entry* e = find(name);
  return e != nullptr ? e->fragment.get() : nullptr;
}

const Graph* FragmentLibrary::graph(const std::string& name) const {
  const Entry* e = find(name);
  return e != nullptr ? e->graph.get() : nullptr;
}

std::string FragmentLibrary::addFragment(const char* xml, std::string* error) {
  pugi::xml_document doc;
  if (!loadDocument(xml, "fragment", &doc, error)) return "";
  const pugi::xml_node root = doc.document_element();
  Problems problems;
  std::string where = std::string("fragment ") + quoted(root.attribute("name").value());
  requireAttributes(root, {"uiName", "name", "type", "class", "version"}, where, &problems);
  if (!problems.any() && std::string(root.attribute("class").value()) != "ShadeFragment") {
    problems.add(where + ": class is " + quoted(root.attribute("class").value()) +
                 ", not 'ShadeFragment'");
  }
  auto f = std::make_unique<Fragment>();
  f->name = root.attribute("name").value();
  f->uiName = root.attribute("uiName").value();
  f->type = root.attribute("type").value();
  f->version = root.attribute("version").value();
  if (!problems.any() && f->type != "plumbing" && f->type != "accum" && f->type != "structure") {
    problems.add(where + ": unknown fragment type " + quoted(f->type));
  }
  if (!problems.any()) {
    checkOrder(root,
               {{"description", false, false},
                {"keyword", false, true},
                {"properties", true, false},
                {"values", true, false},
                {"outputs", true, false},
                {"implementation", true, false}},
               where, &problems);
  }
  if (!problems.any()) {
    f->properties = readParameters(root.child("properties"), false, where, &problems);
    f->values = readValues(root.child("values"), f->properties, where, &problems);
    f->outputs = readParameters(root.child("outputs"), false, where, &problems);
  }
  if (!problems.any() && f->outputs.empty()) problems.add(where + ": no <outputs>");
  if (!problems.any() && f->type == "accum") {
    for (const Parameter& o : f->outputs) {
      if (o.type != "alias" || f->property(o.name) == nullptr) {
        problems.add(where + ": an accumulator's outputs are aliases of its properties; " +
                     quoted(o.name) + " is not");
      }
    }
  }
  if (!problems.any())
    checkImplementations(root.child("implementation"), f.get(), where, &problems);
  if (!problems.any() && has(f->name)) problems.add(where + ": the name is already registered");
  if (problems.any()) {
    *error = problems.what;
    return "";
  }
  Entry e;
  e.name = f->name;
  e.xml = xml;
  e.fragment = std::move(f);
  entries_.push_back(std::move(e));
  return entries_.back().name;
}

std::string FragmentLibrary::addGraph(const char* xml, std::string* error) {
  pugi::xml_document doc;
  if (!loadDocument(xml, "fragment_graph", &doc, error)) return "";
  const pugi::xml_node root = doc.document_element();
  Problems problems;
  const std::string where = std::string("graph ") + quoted(root.attribute("name").value());
  requireAttributes(root, {"name", "ref", "class", "version"}, where, &problems);
  if (!problems.any() && std::string(root.attribute("class").value()) != "FragmentGraph") {
    problems.add(where + ": class is " + quoted(root.attribute("class").value()) +
                 ", not 'FragmentGraph'");
  }
  if (!problems.any()) {
    checkOrder(root,
               {{"fragments", true, false},
                {"connections", true, false},
                {"properties", true, false},
                {"values", false, false},
                {"outputs", true, false}},
               where, &problems);
  }
  auto g = std::make_unique<Graph>();
  g->name = root.attribute("name").value();
  g->ref = root.attribute("ref").value();
  g->version = root.attribute("version").value();
  if (problems.any()) {
    *error = problems.what;
    return "";
  }

  // Instances, each of a fragment already registered.
  for (pugi::xml_node n = root.child("fragments").first_child(); n; n = n.next_sibling()) {
    if (n.type() != pugi::node_element) continue;
    if (std::string(n.name()) != "fragment_ref") {
      problems.add(where + ": <" + std::string(n.name()) + "> does not belong in <fragments>");
      continue;
    }
    requireAttributes(n, {"name", "ref"}, where, &problems);
    FragmentRef ref{n.attribute("name").value(), n.attribute("ref").value()};
    if (g->instance(ref.name) != nullptr) {
      problems.add(where + ": duplicate fragment name " + quoted(ref.name));
    }
    if (fragment(ref.ref) == nullptr) {
      problems.add(where + ": fragment " + quoted(ref.name) + " refers to " + quoted(ref.ref) +
                   ", which is not registered");
    }
    g->fragments.push_back(ref);
  }
  auto lookUp = [&](const std::string& text, bool output, std::string* inst,
                    std::string* param) -> const Parameter* {
    if (!splitRef(text, inst, param)) {
      problems.add(where + ": " + quoted(text) + " is not 'fragment.parameter'");
      return nullptr;
    }
    const FragmentRef* ref = g->instance(*inst);
    if (ref == nullptr) {
      problems.add(where + ": " + quoted(text) + " names no fragment of the graph");
      return nullptr;
    }
    const Fragment* f = fragment(ref->ref);
    const Parameter* p = f == nullptr ? nullptr : output ? f->output(*param) : f->property(*param);
    // An accumulator's outputs are its properties, summed.
    if (p != nullptr && p->type == "alias" && p->structName.empty()) p = f->property(p->name);
    if (p == nullptr && f != nullptr) {
      problems.add(where + ": " + quoted(text) + ": " + f->name + " has no " +
                   (output ? "output " : "input ") + quoted(*param));
    }
    return p;
  };

  std::set<std::string> fed;  // inputs with a connection or a graph property
  for (pugi::xml_node n = root.child("connections").first_child(); n; n = n.next_sibling()) {
    if (n.type() != pugi::node_element) continue;
    if (std::string(n.name()) != "connect") {
      problems.add(where + ": <" + std::string(n.name()) + "> does not belong in <connections>");
      continue;
    }
    requireAttributes(n, {"from", "to"}, where, &problems);
    Connection c;
    c.name = n.attribute("name").value();
    const Parameter* from =
        lookUp(n.attribute("from").value(), true, &c.fromInstance, &c.fromParameter);
    const Parameter* to = lookUp(n.attribute("to").value(), false, &c.toInstance, &c.toParameter);
    if (from != nullptr && to != nullptr) {
      const bool structs = from->type == "struct" || from->type == "alias";
      const bool same = structs ? (to->type == "struct" && to->structName == from->structName)
                                : from->type == to->type;
      if (!same) {
        problems.add(where + ": " + c.fromInstance + "." + c.fromParameter + " (" + from->type +
                     ") cannot feed " + c.toInstance + "." + c.toParameter + " (" + to->type + ")");
      }
      if (!fed.insert(c.toInstance + "." + c.toParameter).second) {
        problems.add(where + ": " + c.toInstance + "." + c.toParameter + " is fed twice");
      }
    }
    g->connections.push_back(c);
  }

  g->properties = readParameters(root.child("properties"), true, where, &problems);
  for (const Parameter& p : g->properties) {
    std::string inst, param;
    const Parameter* target = lookUp(p.ref, false, &inst, &param);
    if (target != nullptr && target->type != p.type) {
      problems.add(where + ": property " + quoted(p.name) + " is " + p.type + ", " + p.ref +
                   " is " + target->type);
    }
    if (target != nullptr && !fed.insert(inst + "." + param).second) {
      problems.add(where + ": " + p.ref + " is fed twice (property " + quoted(p.name) + ")");
    }
  }
  if (pugi::xml_node values = root.child("values")) {
    g->values = readValues(values, g->properties, where, &problems);
  }
  for (pugi::xml_node n = root.child("outputs").first_child(); n; n = n.next_sibling()) {
    if (n.type() != pugi::node_element) continue;
    requireAttributes(n, {"name", "ref"}, where, &problems);
    Parameter out;
    out.type = n.name();
    out.name = n.attribute("name").value();
    out.ref = n.attribute("ref").value();
    std::string inst, param;
    lookUp(out.ref, true, &inst, &param);
    g->outputs.push_back(out);
  }
  if (!problems.any() && g->outputs.empty()) problems.add(where + ": no <outputs>");
  if (!problems.any() && has(g->name)) problems.add(where + ": the name is already registered");
  if (problems.any()) {
    *error = problems.what;
    return "";
  }
  Entry e;
  e.name = g->name;
  e.xml = xml;
  e.graph = std::move(g);
  entries_.push_back(std::move(e));
  return entries_.back().name;
}

}  // namespace mayahost::detail::vp2
