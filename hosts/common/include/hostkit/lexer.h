// Splitting text into words, quoted strings and punctuation, for the small
// languages the stand-in hosts and the preview tool read: the .mi scene
// language (shader declarations, look blocks) and MEL attribute presets. One
// lexer; each reader states its language's rules. Any code may include this
// header.
#ifndef HOSTKIT_LEXER_H
#define HOSTKIT_LEXER_H

#include <string>
#include <string_view>
#include <vector>

namespace hostkit {

struct Token {
  enum Kind { word, string, punct, end } kind;
  std::string text;  // a string's without its quotes; empty for the end
  int line;          // where the token starts, from 1
};

struct LexRules {
  enum class Comments {
    hash,    // "#" (and so "#:") to the end of the line, as in .mi
    c_style  // "//" to the end of the line and "/* ... */", as in MEL
  };
  // Characters that are tokens of their own.
  const char* punctuation;
  Comments comments;
  // Whether a string may run over line ends; otherwise a line end inside
  // quotes leaves the string unterminated.
  bool multiline_strings;
};

// The .mi language as the renderer reads it.
inline constexpr LexRules kMiRules{"(),{}", LexRules::Comments::hash, true};

// Where a text could not be split.
struct LexError {
  int line;      // where the unterminated string or comment starts
  bool comment;  // a "/*" comment rather than a string
};

// Splits `text` into `out` (replacing what it held), ending with one
// Token::end on the last line. A word runs up to white space, punctuation, a
// quote or (with hash comments) a '#'. Fails only on an unterminated string
// or comment.
bool tokenize(std::string_view text, const LexRules& rules, std::vector<Token>* out,
              LexError* error);

}  // namespace hostkit

#endif  // HOSTKIT_LEXER_H
