// Parameter blocks: laid out from a declaration, set by name.
#include <hostkit/value_words.h>
#include <mrhost/renderer.h>

#include <cctype>
#include <cmath>
#include <cstring>

namespace mrhost {

ParameterBlock::ParameterBlock(const Declaration& declaration, const std::vector<miTag>& lights)
    : declaration_(&declaration), size_(declaration.size), storage_(new Storage) {
  // Only a trailing array can grow past the declared block.
  const Parameter* last = declaration.parameters.empty() ? nullptr : &declaration.parameters.back();
  const bool has_lights = last && last->array && last->type == ParamType::light;
  if (has_lights && lights.size() > 1) size_ += 4 * (lights.size() - 1);
  storage_->words.assign(2 * (size_ / 4), 0u);
  storage_->record = {0, static_cast<miInteger>(size_), static_cast<miInteger>(size_)};

  for (const Parameter& p : declaration.parameters) {
    if (!p.value.empty()) set(p.name, p.value, nullptr);
  }
  if (has_lights && !lights.empty()) {
    set("n_" + last->name, std::vector<float>{static_cast<float>(lights.size())}, nullptr);
    auto* tags = reinterpret_cast<char*>(data()) + last->offset;
    std::memcpy(tags, lights.data(), 4 * lights.size());
  }
}

const Parameter* ParameterBlock::lookup(const std::string& name, std::string* error) const {
  const Parameter* p = declaration_->find(name);
  if (!p && error) {
    std::string known;
    for (const Parameter& q : declaration_->parameters)
      known += (known.empty() ? "" : ", ") + q.name;
    *error = "unknown parameter \"" + name + "\" of shader \"" + declaration_->name +
             "\" (parameters: " + known + ")";
  }
  return p;
}

bool ParameterBlock::set(const std::string& name, const std::vector<float>& values,
                         std::string* error) {
  const Parameter* p = lookup(name, error);
  if (!p) return false;
  const std::size_t n = values.size();
  const char* expected = nullptr;
  switch (p->type) {
    case ParamType::color:
      expected = n == 3 || n == 4 ? nullptr : "3 or 4 values";
      break;
    case ParamType::vector:
      expected = n == 3 ? nullptr : "3 values";
      break;
    case ParamType::transform:
      expected = n == 16 ? nullptr : "16 values";
      break;
    case ParamType::structure:
      expected = "values for its members";
      break;
    default:
      expected = n == 1 ? nullptr : "1 value";
      break;
  }
  const bool whole = is_whole_type(p->type);
  // Integers are signed and tags unsigned, both 32-bit: anything else would
  // not survive the conversion.
  const bool tag = whole && p->type != ParamType::boolean && p->type != ParamType::integer;
  const float lowest = tag ? 0.0f : -2147483648.0f;
  const float highest = tag ? 4294967296.0f : 2147483648.0f;
  if (!expected && whole &&
      !(values[0] == std::floor(values[0]) && values[0] >= lowest && values[0] < highest)) {
    expected = "a whole number";
  }
  if (expected) {
    if (error) {
      *error = "parameter \"" + name + "\" is a " + type_name(p->type) + ": expected " + expected +
               ", got " + std::to_string(n) + (n == 1 ? " value" : " values");
    }
    return false;
  }
  char* field = reinterpret_cast<char*>(data()) + p->offset;
  if (whole) {
    const std::uint32_t v = tag ? static_cast<std::uint32_t>(values[0])
                                : static_cast<std::uint32_t>(static_cast<std::int32_t>(values[0]));
    std::memcpy(field, &v, 4);
  } else {
    float v[16] = {0.0f, 0.0f, 0.0f, 1.0f};  // a colour given as r g b is opaque
    std::memcpy(v, values.data(), 4 * n);
    std::memcpy(field, v, type_size(p->type));
  }
  return true;
}

bool ParameterBlock::set(const std::string& name, const std::string& text, std::string* error) {
  std::vector<float> values;
  std::string word;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    if (!std::isspace(static_cast<unsigned char>(c)) && c != ',') {
      word += c;
      continue;
    }
    if (word.empty()) continue;
    float v;
    if (!hostkit::parse_value(word, &v)) {
      if (error) *error = "parameter \"" + name + "\": \"" + word + "\" is not a number";
      return false;
    }
    values.push_back(v);
    word.clear();
  }
  return set(name, values, error);
}

bool ParameterBlock::connect(const std::string& name, std::int32_t ghost, std::string* error) {
  const Parameter* p = lookup(name, error);
  if (!p) return false;
  char* word = reinterpret_cast<char*>(data()) + storage_->record.ghost_offs + p->offset;
  std::memcpy(word, &ghost, 4);
  return true;
}

}  // namespace mrhost
