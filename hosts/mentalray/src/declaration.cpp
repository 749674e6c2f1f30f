#include <mrhost/declaration.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace mrhost {

const char* type_name(ParamType type) {
  switch (type) {
    case ParamType::color:
      return "color";
    case ParamType::vector:
      return "vector";
    case ParamType::scalar:
      return "scalar";
    case ParamType::boolean:
      return "boolean";
    case ParamType::integer:
      return "integer";
    case ParamType::light:
      return "light";
  }
  return "?";
}

std::size_t type_size(ParamType type) {
  switch (type) {
    case ParamType::color:
      return 16;
    case ParamType::vector:
      return 12;
    default:
      return 4;
  }
}

const Parameter* Declaration::find(const std::string& wanted) const {
  for (const Parameter& p : parameters) {
    if (p.name == wanted) return &p;
  }
  return nullptr;
}

namespace {

struct Token {
  enum Kind { word, string, punct, end } kind;
  std::string text;
  int line;
};

std::vector<Token> tokenize(const std::string& text) {
  std::vector<Token> tokens;
  int line = 1;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '#') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '"') {
      const std::size_t close = text.find('"', i + 1);
      const std::size_t stop = close == std::string::npos ? text.size() : close;
      tokens.push_back({Token::string, text.substr(i + 1, stop - i - 1), line});
      i = stop + 1;
    } else if (c == '(' || c == ')' || c == ',' || c == '{' || c == '}') {
      tokens.push_back({Token::punct, std::string(1, c), line});
      ++i;
    } else {
      const std::size_t start = i;
      while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) &&
             std::string("\"(),{}#").find(text[i]) == std::string::npos) {
        ++i;
      }
      tokens.push_back({Token::word, text.substr(start, i - start), line});
    }
  }
  tokens.push_back({Token::end, "end of text", line});
  return tokens;
}

bool parse_type(const std::string& word, ParamType* type) {
  static const ParamType all[] = {ParamType::color,   ParamType::vector,  ParamType::scalar,
                                  ParamType::boolean, ParamType::integer, ParamType::light};
  for (ParamType t : all) {
    if (word == type_name(t)) {
      *type = t;
      return true;
    }
  }
  return false;
}

bool parse_number(const std::string& word, float* value) {
  if (word == "on" || word == "true") {
    *value = 1.0f;
    return true;
  }
  if (word == "off" || word == "false") {
    *value = 0.0f;
    return true;
  }
  char* stop = nullptr;
  *value = std::strtof(word.c_str(), &stop);
  return !word.empty() && *stop == '\0';
}

class Parser {
 public:
  Parser(const std::string& text, std::string* error) : tokens_(tokenize(text)), error_(error) {}

  bool declaration(Declaration* out) {
    if (!keyword("declare") || !keyword("shader")) return false;
    if (peek().kind == Token::word) out->result_type = next().text;
    if (peek().kind != Token::string) return fail("expected the shader's name in quotes");
    out->name = next().text;
    if (!punct("(")) return false;
    std::size_t offset = 0;
    if (!(peek().kind == Token::punct && peek().text == ")")) {
      do {
        if (!parameter(out, &offset)) return false;
      } while (peek().kind == Token::punct && peek().text == "," && (next(), true));
    }
    if (!punct(")")) return false;
    out->size = offset;
    // Options up to "end declare": only the version matters here.
    while (!(peek().kind == Token::word && peek().text == "end")) {
      if (peek().kind == Token::end) return fail("missing \"end declare\"");
      const Token t = next();
      if (t.kind == Token::word && t.text == "version") {
        float v;
        if (peek().kind != Token::word || !parse_number(peek().text, &v)) {
          return fail("expected a version number");
        }
        next();
        out->version = static_cast<int>(v);
      }
    }
    next();
    return keyword("declare");
  }

 private:
  bool parameter(Declaration* out, std::size_t* offset) {
    const bool array = peek().kind == Token::word && peek().text == "array";
    if (array) next();
    if (peek().kind != Token::word) return fail("expected a parameter type");
    ParamType type;
    if (!parse_type(peek().text, &type)) {
      return fail("unsupported parameter type \"" + peek().text + "\"");
    }
    next();
    if (peek().kind != Token::string) return fail("expected the parameter's name in quotes");
    const std::string name = next().text;
    if (out->find(name)) return fail("parameter \"" + name + "\" declared twice");
    if (array) {
      out->parameters.push_back({"i_" + name, ParamType::integer, *offset, false, {}});
      out->parameters.push_back({"n_" + name, ParamType::integer, *offset + 4, false, {}});
      *offset += 8;
    }
    Parameter p{name, type, *offset, array, {}};
    *offset += type_size(type);
    if (peek().kind == Token::word && peek().text == "default") {
      next();
      float v;
      while (peek().kind == Token::word && parse_number(peek().text, &v)) {
        p.value.push_back(v);
        next();
      }
      const std::size_t n = p.value.size();
      const bool fits = type == ParamType::color    ? n == 3 || n == 4
                        : type == ParamType::vector ? n == 3
                                                    : n == 1;
      if (array || !fits) return fail("bad default for \"" + name + "\"");
      if (type == ParamType::color && n == 3) p.value.push_back(1.0f);
    }
    out->parameters.push_back(p);
    return true;
  }

  const Token& peek() const { return tokens_[pos_]; }
  const Token& next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }

  bool keyword(const char* word) {
    if (peek().kind != Token::word || peek().text != word) {
      return fail(std::string("expected \"") + word + "\"");
    }
    next();
    return true;
  }
  bool punct(const char* p) {
    if (peek().kind != Token::punct || peek().text != p) {
      return fail(std::string("expected \"") + p + "\"");
    }
    next();
    return true;
  }
  bool fail(const std::string& message) {
    if (error_) {
      *error_ = "line " + std::to_string(peek().line) + ": " + message + ", found \"" +
                peek().text + "\"";
    }
    return false;
  }

  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  std::string* error_;
};

}  // namespace

bool parse_declaration(const std::string& text, Declaration* out, std::string* error) {
  Declaration result;
  if (!Parser(text, error).declaration(&result)) return false;
  *out = result;
  return true;
}

bool read_declaration(const std::string& path, Declaration* out, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  if (!parse_declaration(text.str(), out, error)) {
    if (error) *error = path + ": " + *error;
    return false;
  }
  return true;
}

}  // namespace mrhost
