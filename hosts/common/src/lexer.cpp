#include <hostkit/lexer.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace hostkit {

bool tokenize(std::string_view text, const LexRules& rules, std::vector<Token>* out,
              LexError* error) {
  out->clear();
  const bool hash = rules.comments == LexRules::Comments::hash;
  const auto is_punct = [&](char c) {
    return c != '\0' && std::strchr(rules.punctuation, c) != nullptr;
  };
  const auto fail = [&](int line, bool comment) {
    if (error) *error = {line, comment};
    return false;
  };
  int line = 1;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (hash ? c == '#' : text.compare(i, 2, "//") == 0) {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (!hash && text.compare(i, 2, "/*") == 0) {
      const std::size_t close = text.find("*/", i + 2);
      if (close == std::string_view::npos) return fail(line, true);
      line += static_cast<int>(std::count(text.begin() + i, text.begin() + close, '\n'));
      i = close + 2;
    } else if (c == '"') {
      const std::size_t close = text.find_first_of(rules.multiline_strings ? "\"" : "\"\n", i + 1);
      if (close == std::string_view::npos || text[close] != '"') return fail(line, false);
      out->push_back({Token::string, std::string(text.substr(i + 1, close - i - 1)), line});
      line += static_cast<int>(std::count(text.begin() + i + 1, text.begin() + close, '\n'));
      i = close + 1;
    } else if (is_punct(c)) {
      out->push_back({Token::punct, std::string(1, c), line});
      ++i;
    } else {
      const std::size_t start = i;
      while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) &&
             !is_punct(text[i]) && text[i] != '"' && !(hash && text[i] == '#')) {
        ++i;
      }
      out->push_back({Token::word, std::string(text.substr(start, i - start)), line});
    }
  }
  out->push_back({Token::end, std::string(), line});
  return true;
}

}  // namespace hostkit
