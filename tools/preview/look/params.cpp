#include "tools/preview/look/params.h"

#include <hostkit/value_words.h>

#include <charconv>
#include <cstring>
#include <optional>

namespace preview {

namespace {

std::vector<std::string_view> split_commas(std::string_view text) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
}

// Integers read as integers rather than through a float, so that every int
// stays exact. One sign, as numbers take it (hostkit/value_words.h).
bool parse_int(std::string_view text, int& out) {
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || (plus && text.front() == '-')) return false;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end;
}

}  // namespace

namespace {

// The one table of type names: each type's name ("color", as the live
// preview's page knows it) and, where the name alone does not say how a value
// is written, the form of its text.
struct TypeNames {
  ParamType type;
  const char* name;
  const char* form;
};

constexpr TypeNames kTypeNames[] = {
    {ParamType::Float, "float", ""},
    {ParamType::Integer, "integer", ""},
    {ParamType::Boolean, "boolean", "on/off, true/false, yes/no, 1/0"},
    {ParamType::Color, "color", "r,g,b"},
    {ParamType::Vector, "vector", "x,y,z"},
};

const TypeNames* names_of(ParamType type) {
  for (const TypeNames& t : kTypeNames) {
    if (t.type == type) return &t;
  }
  return nullptr;
}

}  // namespace

const char* type_name(ParamType type) {
  const TypeNames* t = names_of(type);
  return t != nullptr ? t->name : "?";
}

std::string type_text(ParamType type) {
  const TypeNames* t = names_of(type);
  if (t == nullptr) return "?";
  if (*t->form == '\0') return t->name;
  return std::string(t->name) + " (" + t->form + ")";
}

int arity(ParamType type) {
  return type == ParamType::Color || type == ParamType::Vector ? 3 : 1;
}

bool parse_value(const ParamInfo& info, std::string_view text, ParamValue& out,
                 std::string& error) {
  out = ParamValue{};
  out.type = info.type;
  const auto fail = [&](const std::string& why) {
    error = "bad value '" + std::string(text) + "' for " + info.name + ": " + why;
    return false;
  };
  switch (info.type) {
    case ParamType::Float:
      if (!hostkit::parse_number(text, &out.v[0])) return fail("expected a finite number");
      return true;
    case ParamType::Integer:
      if (!parse_int(text, out.i)) return fail("expected an integer");
      return true;
    case ParamType::Boolean: {
      const std::optional<bool> b = hostkit::parse_boolean(text);
      if (!b) return fail("expected on or off");
      out.b = *b;
      return true;
    }
    case ParamType::Color:
    case ParamType::Vector: {
      const std::vector<std::string_view> parts = split_commas(text);
      if (parts.size() != 3) {
        return fail(std::string("expected three numbers for a ") + type_text(info.type));
      }
      for (int k = 0; k < 3; ++k) {
        if (!hostkit::parse_number(parts[k], &out.v[k])) {
          return fail("'" + std::string(parts[k]) + "' is not a finite number");
        }
      }
      return true;
    }
  }
  return fail("unknown type");
}

bool split_values(const ParamInfo& info, std::string_view text, std::vector<std::string>& out,
                  std::string& error) {
  out.clear();
  const std::vector<std::string_view> parts = split_commas(text);
  const std::size_t n = static_cast<std::size_t>(arity(info.type));
  if (text.empty() || parts.size() % n != 0) {
    error = "bad value list '" + std::string(text) + "' for " + info.name +
            ": expected groups of " + std::to_string(n) + " comma-separated number" +
            (n == 1 ? "" : "s") + " (" + type_text(info.type) + ")";
    return false;
  }
  for (std::size_t k = 0; k < parts.size(); k += n) {
    std::string value(parts[k]);
    for (std::size_t j = 1; j < n; ++j) value += "," + std::string(parts[k + j]);
    out.push_back(std::move(value));
  }
  return true;
}

std::string format_number(float f) {
  char text[32];  // the longest shortest float text is 15 characters
  const auto [end, ec] = std::to_chars(text, text + sizeof text, f);
  return ec == std::errc() ? std::string(text, end) : std::string("nan");
}

namespace {

std::string format_three(const ParamValue& value, const char* separator) {
  return format_number(value.v[0]) + separator + format_number(value.v[1]) + separator +
         format_number(value.v[2]);
}

}  // namespace

std::string format_value(const ParamValue& value) {
  switch (value.type) {
    case ParamType::Float:
      return format_number(value.v[0]);
    case ParamType::Integer:
      return std::to_string(value.i);
    case ParamType::Boolean:
      return value.b ? "on" : "off";
    case ParamType::Color:
    case ParamType::Vector:
      return format_three(value, ",");
  }
  return "";
}

std::string format_spaced(const ParamValue& value, bool mi) {
  switch (value.type) {
    case ParamType::Boolean:
      return mi ? (value.b ? "on" : "off") : (value.b ? "1" : "0");
    case ParamType::Color:
    case ParamType::Vector:
      return format_three(value, " ");
    default:
      return format_value(value);
  }
}

bool same_value(const ParamValue& a, const ParamValue& b) {
  if (a.type != b.type) return false;
  switch (a.type) {
    case ParamType::Integer:
      return a.i == b.i;
    case ParamType::Boolean:
      return a.b == b.b;
    default:
      for (int k = 0; k < arity(a.type); ++k) {
        if (std::memcmp(&a.v[k], &b.v[k], sizeof(float)) != 0) return false;
      }
      return true;
  }
}

const ParamInfo* find_param(const std::vector<ParamInfo>& params, std::string_view name) {
  for (const ParamInfo& p : params) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

std::string checked_int(std::string_view flag, const std::string& text, int lo, int hi, int& out) {
  int v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || ptr != end || v < lo || v > hi) {
    return "--" + std::string(flag) + " takes an integer from " + std::to_string(lo) + " to " +
           std::to_string(hi) + ", not '" + text + "'";
  }
  out = v;
  return "";
}

}  // namespace preview
