// The module description file reader. Text in, modules or an error out: it
// opens no file and looks at no environment, so it can be fed anything.
#include <mayahost/modules.h>

#include <cctype>
#include <cstddef>
#include <string>
#include <vector>

namespace mayahost {

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Splits off the first blank-separated word of `rest`.
std::string nextWord(std::string* rest) {
  const std::string s = trim(*rest);
  std::size_t e = 0;
  while (e < s.size() && !isBlank(s[e])) ++e;
  *rest = s.substr(e);
  return s.substr(0, e);
}

bool startsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool isVariableName(const std::string& s) {
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  for (char c : s) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

// Shows a line in a message without flooding it.
std::string quoted(const std::string& line) {
  return "'" + (line.size() > 60 ? line.substr(0, 57) + "..." : line) + "'";
}

bool fail(ModuleSyntaxError* error, int line, std::string message) {
  if (error != nullptr) *error = {line, std::move(message), {}};
  return false;
}

std::string unquoted(const std::string& s);

// "+ [conditions] NAME VERSION PATH"; the path is the rest of the line, so
// that it may hold blanks.
bool parseModuleLine(const std::string& text, int line, ModuleDescription* m,
                     ModuleSyntaxError* error) {
  m->line = line;
  m->enabled = text[0] == '+';
  std::string rest = text.substr(1);
  std::string word = nextWord(&rest);
  for (;;) {
    const std::size_t colon = word.find(':');
    if (colon == std::string::npos || colon == 0) break;
    const std::string key = word.substr(0, colon);
    const std::string value = word.substr(colon + 1);
    std::string* slot = key == "MAYAVERSION" ? &m->mayaVersion
                        : key == "PLATFORM"  ? &m->platform
                        : key == "LOCALE"    ? &m->locale
                                             : nullptr;
    if (slot == nullptr) {
      return fail(error, line,
                  "unknown condition '" + key + ":' (MAYAVERSION:, PLATFORM: or LOCALE: expected)");
    }
    if (value.empty()) return fail(error, line, "condition '" + key + ":' has no value");
    if (!slot->empty()) return fail(error, line, "condition '" + key + ":' given twice");
    *slot = value;
    word = nextWord(&rest);
  }
  m->name = word;
  m->version = nextWord(&rest);
  m->path = unquoted(trim(rest));
  if (m->name.empty() || m->version.empty() || m->path.empty()) {
    return fail(error, line, "a module line needs a name, a version and a path: " + quoted(text));
  }
  return true;
}

bool parseVariableLine(const std::string& text, bool recursive, int line, ModuleVariable* v,
                       ModuleSyntaxError* error) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) {
    return fail(error, line,
                "expected a '+' module line, 'plug-ins:', 'scripts:', 'icons:', 'presets:' or "
                "VARIABLE=VALUE, not " +
                    quoted(text));
  }
  std::size_t nameEnd = eq;
  if (nameEnd > 0 && text[nameEnd - 1] == ':') {
    v->relative = true;
    --nameEnd;
  }
  if (nameEnd > 0 && text[nameEnd - 1] == '+') {
    v->append = true;
    --nameEnd;
  }
  v->name = trim(text.substr(0, nameEnd));
  v->value = trim(text.substr(eq + 1));
  if (v->relative) v->value = unquoted(v->value);
  v->recursive = recursive;
  v->line = line;
  if (!isVariableName(v->name)) {
    return fail(error, line, "bad variable name in " + quoted(text));
  }
  if (v->relative && v->value.empty()) {
    return fail(error, line, "'" + v->name + (v->append ? "+:=" : ":=") + "' needs a folder");
  }
  return true;
}

// Module files are written by hand and by installers: Windows line ends, a
// UTF-8 byte-order mark, quoted paths, comments. Maya reads what it can and
// drops only the modules it cannot; so does this reader.
std::string unquoted(const std::string& s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
  return s;
}

bool isComment(const std::string& s) {
  return s[0] == '#' || startsWith(s, "//");
}

}  // namespace

bool parseModuleFile(const std::string& text, std::vector<ModuleDescription>* modules,
                     ModuleSyntaxError* error) {
  ModuleSyntaxError first;
  bool ok = true;
  // Records a problem; the first one is the one reported.
  const auto problem = [&](const ModuleSyntaxError& e) {
    if (ok) {
      first.line = e.line;
      first.message = e.message;
    }
    ok = false;
  };
  ModuleDescription* current = nullptr;
  bool skipping = false;  // the rest of a section that is not read
  // Drops the section being read, which a malformed line makes unreadable.
  const auto drop = [&](ModuleSyntaxError e) {
    if (current != nullptr) {
      first.modules.push_back(current->name);
      modules->pop_back();
      current = nullptr;
    }
    skipping = true;
    problem(e);
  };
  int line = 0;
  std::size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string raw = text.substr(start, end - start);
    start = end + 1;
    ++line;
    if (raw.find('\0') != std::string::npos) {
      drop({line, "the line holds a NUL character (is this a text file?)", {}});
      continue;
    }
    std::string s = trim(raw);
    if (s.empty()) continue;  // blank lines between and inside sections are common
    if (isComment(s)) {
      // Maya stops reading a section at a comment line.
      if (current != nullptr) skipping = true;
      current = nullptr;
      continue;
    }
    if (s[0] == '+' || s[0] == '-') {
      current = nullptr;
      skipping = false;
      ModuleDescription m;
      ModuleSyntaxError e;
      if (!parseModuleLine(s, line, &m, &e)) {
        if (!m.name.empty()) first.modules.push_back(m.name);
        drop(e);
        continue;
      }
      modules->push_back(std::move(m));
      current = &modules->back();
      continue;
    }
    if (skipping) continue;
    if (current == nullptr) {
      problem({line,
               quoted(s) + " is outside a module section (each section starts with a '+' line)",
               {}});
      continue;
    }
    bool recursive = false;
    if (startsWith(s, "[r]")) {
      recursive = true;
      s = trim(s.substr(3));
    }
    struct Override {
      const char* key;
      ModuleFolder ModuleDescription::*folder;
    };
    static const Override overrides[] = {{"plug-ins:", &ModuleDescription::plugIns},
                                         {"scripts:", &ModuleDescription::scripts},
                                         {"icons:", &ModuleDescription::icons},
                                         {"presets:", &ModuleDescription::presets}};
    bool done = false;
    for (const Override& o : overrides) {
      if (!startsWith(s, o.key)) continue;
      const std::string folder = unquoted(trim(s.substr(std::char_traits<char>::length(o.key))));
      if (folder.empty()) {
        drop({line, std::string("'") + o.key + "' needs a folder", {}});
      } else {
        current->*o.folder = {folder, recursive};
      }
      done = true;
      break;
    }
    if (done) continue;
    ModuleVariable v;
    ModuleSyntaxError e;
    if (!parseVariableLine(s, recursive, line, &v, &e)) {
      drop(e);
      continue;
    }
    current->variables.push_back(std::move(v));
  }
  if (!ok && error != nullptr) *error = first;
  return ok;
}

}  // namespace mayahost
