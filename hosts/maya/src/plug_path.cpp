// Plug paths: the names users give plugs, resolved against a node type.
#include "plug_path.h"

#include <cstdlib>

namespace mayahost::detail {

namespace {

bool isDescendant(const AttrRecord* a, const AttrRecord* ancestor) {
  for (const AttrRecord* p = a->parent; p != nullptr; p = p->parent) {
    if (p == ancestor) return true;
  }
  return false;
}

}  // namespace

std::string childList(const AttrRecord* a) {
  std::string s;
  for (const AttrRecord* c : a->children) s += (s.empty() ? "" : ", ") + c->name;
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
      return Status::error("'" + a->name + "' is an array: name an element, e.g. " + a->name +
                           "[0]" + (a->children.empty() ? "" : "." + a->children[0]->name));
    }
    if (index >= kMaxElements) {
      return Status::error("element index " + std::to_string(index) + " of '" + a->name +
                           "' is too large (at most " + std::to_string(kMaxElements - 1) + ")");
    }
    ref.array = a;
    ref.element = static_cast<unsigned>(index);
  } else if (indexed) {
    return Status::error("'" + a->name + "' is not an array attribute");
  }
  for (std::size_t i = 1; i < parts.size(); ++i) {
    AttrRecord* c = detail::findAttribute(type, parts[i]);
    if (c == nullptr || !isDescendant(c, ref.attr)) {
      return Status::error("'" + parts[i] + "' is not an attribute under '" + ref.attr->name +
                           "' (its children: " + childList(ref.attr) + ")");
    }
    ref.attr = c;
  }
  *out = ref;
  return Status();
}

std::string describe(const PlugRef& r) {
  if (r.array == nullptr) return r.attr->name;
  std::string s = r.array->name + "[" + std::to_string(r.element) + "]";
  return r.attr == r.array ? s : s + "." + r.attr->name;
}

}  // namespace mayahost::detail
