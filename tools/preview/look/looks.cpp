#include "tools/preview/look/looks.h"

#include <hostkit/lexer.h>
#include <hostkit/value_words.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace preview {

namespace {

namespace fs = std::filesystem;

using hostkit::Token;

// MEL presets, and the .mi look blocks by stricter rules than the renderer's
// (hostkit::kMiRules): a string ends at its line, so that a missing quote is
// reported on its own line rather than swallowing the file, and ';' stands
// alone, so that a MEL habit in a block is reported where it stands.
constexpr hostkit::LexRules kMelRules{"(),;", hostkit::LexRules::Comments::c_style, false};
constexpr hostkit::LexRules kMiBlockRules{"(),;", hostkit::LexRules::Comments::hash, false};

// Walks a token list; every failure names the file and the line of the
// token in hand.
class Cursor {
 public:
  Cursor(const std::string& path, std::vector<Token> tokens, std::string& error)
      : path_(path), tokens_(std::move(tokens)), error_(error) {}

  const Token& peek() const { return tokens_[pos_]; }
  const Token& next() { return tokens_[pos_ + 1 < tokens_.size() ? pos_++ : pos_]; }
  bool at(Token::Kind kind, const char* text = nullptr) const {
    return peek().kind == kind && (text == nullptr || peek().text == text);
  }
  bool expect(Token::Kind kind, const char* text, const char* what) {
    if (!at(kind, text)) return fail(std::string("expected ") + what);
    next();
    return true;
  }
  bool fail(const std::string& message) {
    const Token& t = peek();
    const std::string found = t.kind == Token::end      ? "end of file"
                              : t.kind == Token::string ? "\"" + t.text + "\""
                                                        : "'" + t.text + "'";
    return fail_at(t.line, message + ", found " + found);
  }
  bool fail_at(int line, const std::string& message) {
    error_ = path_ + ":" + std::to_string(line) + ": " + message;
    return false;
  }

 private:
  std::string path_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  std::string& error_;
};

bool tokenize_or_fail(const std::string& path, const std::string& text,
                      const hostkit::LexRules& rules, std::vector<Token>& tokens,
                      std::string& error) {
  hostkit::LexError at{};
  if (hostkit::tokenize(text, rules, &tokens, &at)) return true;
  error = path + ":" + std::to_string(at.line) + ": unterminated string or comment";
  return false;
}

bool read_file(const std::string& path, std::string& text, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return true;
}

// A value is a boolean word (hostkit/value_words.h) or starts like a number;
// anything else ends the values, so that a missing ';' or ',' is reported
// where it is missing. Whether a value reads is checked later, against the
// host's type.
bool is_value(const Token& t) {
  if (t.kind != Token::word || t.text.empty()) return false;
  if (hostkit::parse_boolean(t.text)) return true;
  return std::string("0123456789+-.").find(t.text[0]) != std::string::npos;
}

bool add_setting(Cursor& in, LookSource& out, LookSetting setting) {
  for (const LookSetting& s : out.settings) {
    if (s.name == setting.name) {
      return in.fail_at(setting.line, "\"" + setting.name + "\" is set twice (first on line " +
                                          std::to_string(s.line) + ")");
    }
  }
  out.settings.push_back(std::move(setting));
  return true;
}

}  // namespace

std::string look_name(std::string text) {
  std::replace(text.begin(), text.end(), '_', '-');
  return text;
}

bool parse_maya_preset(const std::string& path, const std::string& text, LookSource& out,
                       std::string& error) {
  std::vector<Token> tokens;
  if (!tokenize_or_fail(path, text, kMelRules, tokens, error)) return false;
  Cursor in(path, std::move(tokens), error);
  out = LookSource{path, in.peek().line, {}};

  // startAttrPreset( "velvet" );
  if (!in.expect(Token::word, "startAttrPreset", "startAttrPreset")) return false;
  if (!in.expect(Token::punct, "(", "'('")) return false;
  if (!in.at(Token::string)) return in.fail("expected the node type in quotes");
  if (in.peek().text != kMayaPresetNodeType) {
    return in.fail(std::string("the preset is for \"") + kMayaPresetNodeType + "\" nodes");
  }
  in.next();
  if (!in.expect(Token::punct, ")", "')'") || !in.expect(Token::punct, ";", "';'")) return false;

  // blendAttr "name" value...;
  while (in.at(Token::word, "blendAttr")) {
    in.next();
    if (!in.at(Token::string)) return in.fail("expected the attribute's name in quotes");
    LookSetting s{in.peek().text, {}, in.peek().line};
    in.next();
    while (is_value(in.peek())) s.values.push_back(in.next().text);
    if (s.values.empty()) return in.fail("expected a value for \"" + s.name + "\"");
    if (!in.expect(Token::punct, ";", "';' after the values")) return false;
    if (!add_setting(in, out, std::move(s))) return false;
  }

  // endAttrPreset();
  if (!in.expect(Token::word, "endAttrPreset", "blendAttr or endAttrPreset")) return false;
  if (!in.expect(Token::punct, "(", "'('") || !in.expect(Token::punct, ")", "')'") ||
      !in.expect(Token::punct, ";", "';'")) {
    return false;
  }
  return in.expect(Token::end, nullptr, "nothing after endAttrPreset();");
}

bool parse_mr_looks(const std::string& path, const std::string& text,
                    std::vector<std::pair<std::string, LookSource>>& out, std::string& error) {
  std::vector<Token> tokens;
  if (!tokenize_or_fail(path, text, kMiBlockRules, tokens, error)) return false;
  Cursor in(path, std::move(tokens), error);
  out.clear();
  const std::string prefix = kMrShaderPrefix;

  // shader "velvet_<look>" "krel_velvet" ( "name" value..., ... )
  while (!in.at(Token::end)) {
    LookSource source{path, in.peek().line, {}};
    if (!in.expect(Token::word, "shader", "a shader block (shader \"velvet_<look>\" ...)")) {
      return false;
    }
    if (!in.at(Token::string)) return in.fail("expected the shader's name in quotes");
    const std::string shader = in.peek().text;
    if (shader.compare(0, prefix.size(), prefix) != 0 || shader.size() == prefix.size()) {
      return in.fail("a look's shader is named " + prefix + "<look>");
    }
    const std::string name = look_name(shader.substr(prefix.size()));
    for (const auto& [other, where] : out) {
      if (other == name) {
        return in.fail("look \"" + name + "\" is defined twice (first on line " +
                       std::to_string(where.line) + ")");
      }
    }
    in.next();
    if (!in.at(Token::string, kMrShaderFunction)) {
      return in.fail(std::string("expected the shader function \"") + kMrShaderFunction + "\"");
    }
    in.next();
    if (!in.expect(Token::punct, "(", "'('")) return false;
    if (!in.at(Token::punct, ")")) {
      for (;;) {
        if (!in.at(Token::string)) return in.fail("expected a parameter's name in quotes");
        LookSetting s{in.peek().text, {}, in.peek().line};
        in.next();
        while (is_value(in.peek())) s.values.push_back(in.next().text);
        if (s.values.empty()) return in.fail("expected a value for \"" + s.name + "\"");
        if (!add_setting(in, source, std::move(s))) return false;
        if (!in.at(Token::punct, ",")) break;
        in.next();
      }
    }
    if (!in.expect(Token::punct, ")", "',' or ')'")) return false;
    out.emplace_back(name, std::move(source));
  }
  return true;
}

bool valid_look_name(const std::string& name) {
  if (name.empty() || name.size() > kMaxLookName ||
      !std::isalpha(static_cast<unsigned char>(name[0]))) {
    return false;
  }
  if (!std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
      })) {
    return false;
  }
  // Windows opens a device, not a file, for these names, whatever follows
  // the dot: con.mel is the console.
  std::string upper = look_file_stem(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
    if (upper == device) return false;
  }
  const bool port =
      upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0);
  return !(port && upper[3] >= '1' && upper[3] <= '9');
}

std::string look_file_stem(const std::string& look) {
  std::string stem = look;
  std::replace(stem.begin(), stem.end(), '-', '_');
  return stem;
}

std::string maya_preset_text(const std::vector<std::pair<std::string, ParamValue>>& values) {
  std::string text = std::string("startAttrPreset( \"") + kMayaPresetNodeType + "\" );\n";
  for (const auto& [name, v] : values) {
    text += "blendAttr \"" + name + "\" " + format_spaced(v, false) + ";\n";
  }
  return text + "endAttrPreset();\n";
}

std::string mr_block_text(const std::string& look,
                          const std::vector<std::pair<std::string, ParamValue>>& values) {
  std::string text = std::string("shader \"") + kMrShaderPrefix + look_file_stem(look) + "\" \"" +
                     kMrShaderFunction + "\" (\n";
  for (std::size_t k = 0; k < values.size(); ++k) {
    text += "    \"" + values[k].first + "\" " + format_spaced(values[k].second, true) +
            (k + 1 < values.size() ? ",\n" : "\n");
  }
  return text + ")\n";
}

namespace {

std::string maya_preset_look(const std::string&,
                             const std::vector<std::pair<std::string, ParamValue>>& values) {
  return maya_preset_text(values);
}

}  // namespace

const LookFormat kMayaPresetFormat{"a Maya preset", ".mel", false, maya_preset_look,
                                   &NamedLook::maya};
const LookFormat kMrBlockFormat{"a mental ray shader block", ".mi", true, mr_block_text,
                                &NamedLook::mr};

bool load_looks(const LookFiles& files, std::vector<NamedLook>& out, std::string& error) {
  std::map<std::string, NamedLook> looks;
  std::string text;

  if (!files.maya_presets.empty()) {
    std::error_code ec;
    if (!fs::is_directory(files.maya_presets, ec)) {
      error = "no folder of Maya presets at " + files.maya_presets;
      return false;
    }
    std::vector<fs::path> presets;
    for (const fs::directory_entry& e : fs::directory_iterator(files.maya_presets, ec)) {
      if (e.path().extension() == ".mel") presets.push_back(e.path());
    }
    if (ec) {
      error = "cannot list " + files.maya_presets + ": " + ec.message();
      return false;
    }
    std::sort(presets.begin(), presets.end());
    for (const fs::path& p : presets) {
      const std::string name = look_name(p.stem().string());
      LookSource source;
      if (!read_file(p.string(), text, error) ||
          !parse_maya_preset(p.string(), text, source, error)) {
        return false;
      }
      NamedLook& look = looks[name];
      if (look.maya) {
        error = p.string() + ": look \"" + name + "\" is also " + look.maya->file;
        return false;
      }
      look.name = name;
      look.maya = std::move(source);
    }
  }

  if (!files.mr_looks.empty()) {
    std::vector<std::pair<std::string, LookSource>> blocks;
    if (!read_file(files.mr_looks, text, error) ||
        !parse_mr_looks(files.mr_looks, text, blocks, error)) {
      return false;
    }
    for (auto& [name, source] : blocks) {
      NamedLook& look = looks[name];
      look.name = name;
      look.mr = std::move(source);
    }
  }

  out.clear();
  for (auto& entry : looks) out.push_back(std::move(entry.second));
  return true;
}

}  // namespace preview
