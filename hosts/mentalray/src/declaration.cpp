#include <hostkit/lexer.h>
#include <hostkit/value_words.h>
#include <mrhost/declaration.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <unordered_set>

namespace mrhost {

namespace {

struct TypeEntry {
  ParamType type;
  const char* name;
  std::size_t size;
};

// Every simple type the renderer lays out. Tags are 32-bit, like miTag.
constexpr TypeEntry kTypes[] = {
    {ParamType::color, "color", 16},
    {ParamType::vector, "vector", 12},
    {ParamType::scalar, "scalar", 4},
    {ParamType::boolean, "boolean", 4},
    {ParamType::integer, "integer", 4},
    {ParamType::light, "light", 4},
    {ParamType::transform, "transform", 64},
    {ParamType::string, "string", 4},
    {ParamType::shader, "shader", 4},
    {ParamType::data, "data", 4},
    {ParamType::material, "material", 4},
    {ParamType::geometry, "geometry", 4},
    {ParamType::lightprofile, "lightprofile", 4},
    {ParamType::color_texture, "color texture", 4},
    {ParamType::scalar_texture, "scalar texture", 4},
    {ParamType::vector_texture, "vector texture", 4},
    {ParamType::structure, "struct", 0},
};

const TypeEntry& entry(ParamType type) {
  for (const TypeEntry& e : kTypes) {
    if (e.type == type) return e;
  }
  return kTypes[0];
}

}  // namespace

const char* type_name(ParamType type) {
  return entry(type).name;
}

std::size_t type_size(ParamType type) {
  return entry(type).size;
}

bool is_whole_type(ParamType type) {
  switch (type) {
    case ParamType::color:
    case ParamType::vector:
    case ParamType::scalar:
    case ParamType::transform:
    case ParamType::structure:
      return false;
    default:
      return true;
  }
}

const Parameter* Declaration::find(const std::string& wanted) const {
  for (const Parameter& p : parameters) {
    if (p.name == wanted) return &p;
  }
  return nullptr;
}

namespace {

using hostkit::Token;

// Deeper structs than this are refused rather than risking the stack.
constexpr int kMaxStructDepth = 16;

class Parser {
 public:
  explicit Parser(std::string* error) : error_(error) {}

  // Reads every declaration of `text`; keeps the shader `wanted` (the first
  // one when empty).
  bool file(const std::string& text, const std::string& wanted, Declaration* out) {
    if (!tokenize(text)) return false;
    bool found = false;
    while (peek().kind != Token::end) {
      if (!is_word("declare")) {
        next();  // links, includes, options: not ours to read
        continue;
      }
      const int line = peek().line;
      next();
      if (!is_word("shader")) {
        if (!skip_to_end_declare(line)) return false;
        continue;
      }
      next();
      Declaration d;
      d.line = line;
      if (!shader(&d)) return false;
      if (!found && (wanted.empty() || d.name == wanted)) {
        *out = std::move(d);
        found = true;
      }
    }
    if (!found) {
      if (error_) {
        *error_ =
            wanted.empty() ? "no shader is declared" : "no shader \"" + wanted + "\" is declared";
      }
      return false;
    }
    return true;
  }

 private:
  bool tokenize(const std::string& text) {
    hostkit::LexError at{};
    if (hostkit::tokenize(text, hostkit::kMiRules, &tokens_, &at)) return true;
    if (error_) *error_ = "line " + std::to_string(at.line) + ": unterminated string";
    return false;
  }

  // declare shader [result] "name" ( parameters ) options end declare
  bool shader(Declaration* out) {
    if (is_word("struct")) {
      next();
      Declaration members;  // the result's members take no room in the block
      std::size_t offset = 0;
      names_.clear();
      if (!punct("{") || !list("}", "", &members.parameters, &offset, 1) || !punct("}")) {
        return false;
      }
      out->result_type = "struct";
    } else if (peek().kind == Token::word) {
      ParamType type{};
      if (!simple_type(&type)) return false;
      out->result_type = type_name(type);
    }
    if (peek().kind != Token::string) return fail("expected the shader's name in quotes");
    out->name = next().text;
    std::size_t offset = 0;
    names_.clear();
    if (!punct("(") || !list(")", "", &out->parameters, &offset, 0) || !punct(")")) return false;
    out->size = offset;
    // Options up to "end declare": only the version matters here.
    while (!(is_word("end") && tokens_[pos_ + 1].kind == Token::word &&
             tokens_[pos_ + 1].text == "declare")) {
      if (peek().kind == Token::end) return fail("missing \"end declare\"");
      const Token t = next();
      if (t.kind == Token::word && t.text == "version") {
        float v;
        if (peek().kind != Token::word || !hostkit::parse_value(peek().text, &v) ||
            v != std::floor(v) || std::fabs(v) > 1e9f) {
          return fail("expected a whole version number");
        }
        next();
        out->version = static_cast<int>(v);
      }
    }
    next();
    next();
    return true;
  }

  bool skip_to_end_declare(int line) {
    while (!(is_word("end") && tokens_[pos_ + 1].kind == Token::word &&
             tokens_[pos_ + 1].text == "declare")) {
      if (peek().kind == Token::end) {
        return fail("missing \"end declare\" for the declaration on line " + std::to_string(line));
      }
      next();
    }
    next();
    next();
    return true;
  }

  // Parameters separated by commas up to `close`, a trailing comma allowed.
  bool list(const char* close, const std::string& prefix, std::vector<Parameter>* out,
            std::size_t* offset, int depth) {
    while (!is_punct(close)) {
      if (!parameter(prefix, out, offset, depth)) return false;
      if (!is_punct(",")) break;
      next();
    }
    return true;
  }

  // [array] type "name" [default values], or [array] struct "name" { ... }
  bool parameter(const std::string& prefix, std::vector<Parameter>* out, std::size_t* offset,
                 int depth) {
    const bool array = is_word("array");
    if (array) {
      next();
      if (is_word("array")) return fail("arrays of arrays are not supported");
    }
    if (peek().kind != Token::word) return fail("expected a parameter type");
    ParamType type = ParamType::structure;
    if (is_word("struct")) {
      next();
    } else if (!simple_type(&type)) {
      return false;
    }
    if (peek().kind != Token::string) return fail("expected the parameter's name in quotes");
    const std::string name = next().text;
    if (name.empty()) return fail("a parameter needs a name");
    const std::string full = prefix + name;
    // Members are named by their path, so one name space serves them all.
    const auto take = [&](const std::string& n) { return names_.insert(n).second; };
    if (!take(full) || (array && (!take(prefix + "i_" + name) || !take(prefix + "n_" + name)))) {
      return fail("parameter \"" + full + "\" declared twice");
    }
    if (array) {
      out->push_back({prefix + "i_" + name, ParamType::integer, *offset, false, {}, 4});
      out->push_back({prefix + "n_" + name, ParamType::integer, *offset + 4, false, {}, 4});
      *offset += 8;
    }
    const std::size_t at = out->size();
    out->push_back({full, type, *offset, array, {}, type_size(type)});
    if (type == ParamType::structure) {
      if (depth >= kMaxStructDepth) return fail("structs nested too deeply");
      const std::size_t start = *offset;
      if (!punct("{") || !list("}", full + ".", out, offset, depth + 1) || !punct("}")) {
        return false;
      }
      if (*offset == start) return fail("struct \"" + full + "\" has no members");
      (*out)[at].size = *offset - start;
      return true;
    }
    *offset += type_size(type);
    if (is_word("default")) {
      const int line = next().line;
      if (!default_value(&(*out)[at], line)) return false;
    }
    return true;
  }

  // A type word; the texture types take two.
  bool simple_type(ParamType* type) {
    std::string word = peek().text;
    if ((word == "color" || word == "scalar" || word == "vector") &&
        tokens_[pos_ + 1].kind == Token::word && tokens_[pos_ + 1].text == "texture") {
      word += " texture";
      next();
    }
    for (const TypeEntry& e : kTypes) {
      if (e.type != ParamType::structure && word == e.name) {
        *type = e.type;
        next();
        return true;
      }
    }
    return fail("unsupported type \"" + word + "\"");
  }

  // Refusals name the line of `default`, where the values start.
  bool default_value(Parameter* p, int line) {
    const std::string& name = p->name;
    if (p->type == ParamType::string) {
      // A string's default names text the renderer stores; the block only
      // holds its tag, so nothing is kept here.
      if (peek().kind != Token::string)
        return fail("expected a string default for \"" + name + "\"", line);
      next();
      return true;
    }
    // Values are numbers or boolean words (hostkit/value_words.h); what
    // fits is checked below, by type.
    float v;
    while (peek().kind == Token::word && hostkit::parse_value(peek().text, &v)) {
      p->value.push_back(v);
      next();
    }
    const std::size_t n = p->value.size();
    bool fits = false;
    switch (p->type) {
      case ParamType::color:
        fits = n == 3 || n == 4;
        break;
      case ParamType::vector:
        fits = n == 3;
        break;
      case ParamType::transform:
        fits = n == 16;
        break;
      case ParamType::scalar:
        fits = n == 1;
        break;
      case ParamType::boolean:
      case ParamType::integer:
        // Whole numbers the block's 32-bit integers can hold.
        fits = n == 1 && p->value[0] == std::floor(p->value[0]) && p->value[0] >= -2147483648.0f &&
               p->value[0] < 2147483648.0f;
        break;
      default:  // tags are the renderer's to give
        fits = false;
        break;
    }
    if (p->array || !fits) return fail("bad default for \"" + name + "\"", line);
    if (p->type == ParamType::color && n == 3) p->value.push_back(1.0f);
    return true;
  }

  const Token& peek() const { return tokens_[pos_]; }
  const Token& next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
  bool is_word(const char* w) const { return peek().kind == Token::word && peek().text == w; }
  bool is_punct(const char* p) const { return peek().kind == Token::punct && peek().text == p; }

  bool punct(const char* p) {
    if (!is_punct(p)) return fail(std::string("expected \"") + p + "\"");
    next();
    return true;
  }
  // At the token in hand, or at `line` when the fault began earlier.
  bool fail(const std::string& message, int line = 0) {
    if (error_) {
      *error_ = "line " + std::to_string(line > 0 ? line : peek().line) + ": " + message +
                ", found " +
                (peek().kind == Token::end ? "the end of the text" : "\"" + peek().text + "\"");
    }
    return false;
  }

  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  std::unordered_set<std::string> names_;  // taken in the list being read
  std::string* error_;
};

}  // namespace

bool parse_declaration(const std::string& text, const std::string& name, Declaration* out,
                       std::string* error) {
  Declaration result;
  if (!Parser(error).file(text, name, &result)) return false;
  *out = std::move(result);
  return true;
}

bool read_declaration(const std::string& path, const std::string& name, Declaration* out,
                      std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  if (!parse_declaration(text.str(), name, out, error)) {
    if (error) *error = path + ": " + *error;
    return false;
  }
  return true;
}

}  // namespace mrhost
