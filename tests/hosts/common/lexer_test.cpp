// The shared lexer under each language's rules: what splits a word, which
// comments and strings each language has, and where failures are placed.
#include <gtest/gtest.h>
#include <hostkit/lexer.h>

#include <string>
#include <vector>

namespace {

using hostkit::LexRules;
using hostkit::Token;

constexpr LexRules kMel{"(),;", LexRules::Comments::c_style, false};
constexpr LexRules kMiLines{"(),;", LexRules::Comments::hash, false};

// "kind:text@line" per token, for compact comparisons.
std::vector<std::string> lex(const std::string& text, const LexRules& rules) {
  std::vector<Token> tokens;
  hostkit::LexError error{};
  EXPECT_TRUE(hostkit::tokenize(text, rules, &tokens, &error)) << "line " << error.line;
  std::vector<std::string> out;
  for (const Token& t : tokens) {
    out.push_back("wspe"[t.kind] + (":" + t.text) + "@" + std::to_string(t.line));
  }
  return out;
}

hostkit::LexError failure(const std::string& text, const LexRules& rules) {
  std::vector<Token> tokens;
  hostkit::LexError error{-1, false};
  EXPECT_FALSE(hostkit::tokenize(text, rules, &tokens, &error));
  return error;
}

using Tokens = std::vector<std::string>;

TEST(Lexer, MiTextHasHashCommentsBracesAndStringsOverLines) {
  EXPECT_EQ(lex("declare shader color \"s\" ( #: note\n  scalar \"x\" default 1, ) { }",
                hostkit::kMiRules),
            (Tokens{"w:declare@1", "w:shader@1", "w:color@1", "s:s@1", "p:(@1", "w:scalar@2",
                    "s:x@2", "w:default@2", "w:1@2", "p:,@2", "p:)@2", "p:{@2", "p:}@2", "e:@2"}));
  // A word stops at a comment; ';' is part of a word; a string may hold a
  // line end, and the lines after it count on.
  EXPECT_EQ(lex("a#b\nc;d \"x\ny\" z", hostkit::kMiRules),
            (Tokens{"w:a@1", "w:c;d@2", "s:x\ny@2", "w:z@3", "e:@3"}));
}

TEST(Lexer, MelHasLineAndBlockCommentsAndNoHashComments) {
  EXPECT_EQ(lex("// top\nblendAttr \"c\" 1;/* a\nb */ end#x a//b", kMel),
            (Tokens{"w:blendAttr@2", "s:c@2", "w:1@2", "p:;@2", "w:end#x@3", "w:a//b@3", "e:@3"}));
}

TEST(Lexer, PunctuationIsTheRulesOwn) {
  EXPECT_EQ(lex("a;b{c}", kMiLines), (Tokens{"w:a@1", "p:;@1", "w:b{c}@1", "e:@1"}));
  EXPECT_EQ(lex("a;b{c}", hostkit::kMiRules),
            (Tokens{"w:a;b@1", "p:{@1", "w:c@1", "p:}@1", "e:@1"}));
}

TEST(Lexer, FailuresNameTheLineWhereTheUnterminatedPartStarts) {
  const hostkit::LexError open_string = failure("a\n \"never closed\nb", kMiLines);
  EXPECT_EQ(open_string.line, 2);
  EXPECT_FALSE(open_string.comment);
  EXPECT_EQ(failure("a\n\n\"no end", hostkit::kMiRules).line, 3);
  const hostkit::LexError open_comment = failure("a\n/* runs\non", kMel);
  EXPECT_EQ(open_comment.line, 2);
  EXPECT_TRUE(open_comment.comment);
}

TEST(Lexer, EmptyTextIsOneEndToken) {
  EXPECT_EQ(lex("", kMel), (Tokens{"e:@1"}));
  EXPECT_EQ(lex(" \n# only a comment\n", hostkit::kMiRules), (Tokens{"e:@3"}));
}

}  // namespace
