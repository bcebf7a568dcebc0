// The lexical layer under the deployment engine: SQL text (UTF-8) read as
// tokens, with blanks and comments skipped, as both engines the library
// deploys to read it. Quotes ('...', "...", `...`, E'...' with backslash
// escapes), comments (-- to the line end, /* ... */) and dollar-quoted bodies
// ($$...$$, $tag$...$tag$) each come out as one token, so that nothing inside
// them is ever taken for a separator, a statement end or a keyword. Text that
// is not valid SQL lexes too: an unterminated quote or comment runs to the
// end of the text.
#pragma once

#include <cstddef>
#include <string_view>

namespace kv7::helper {

enum class TokenKind {
  kWord,        // a keyword or an unquoted name: letters, digits, '_', '$', non-ASCII
  kQuotedName,  // "name" or `name`
  kString,      // 'text' or E'text'
  kDollarBody,  // $tag$ ... $tag$
  kNumber,
  kPunct,       // any other single character
};

struct SqlToken {
  TokenKind kind = TokenKind::kPunct;
  std::size_t begin = 0;  // byte offsets into the lexed text
  std::size_t end = 0;
};

class SqlLexer {
 public:
  explicit SqlLexer(std::string_view text, std::size_t position = 0)
      : text_(text), position_(position) {}

  // Stores the next token in *token and returns true; false at the end of
  // the text (blanks and comments only).
  bool Next(SqlToken* token);
  // Goes on lexing from a byte offset (one where a token may start).
  void Seek(std::size_t position) { position_ = position; }

 private:
  void SkipBlanksAndComments();
  std::size_t QuotedEnd(std::size_t open, char quote, bool backslashEscapes) const;
  std::size_t DollarBodyEnd(std::size_t open) const;

  std::string_view text_;
  std::size_t position_;
};

// Whether the byte may stand in an unquoted name.
bool IsWordByte(char c);
// Whether a token is the keyword `upper` (given in upper case), in any case.
bool IsKeyword(std::string_view text, const SqlToken& token, std::string_view upper);
// Whether a token is the single character `c`.
bool IsPunct(std::string_view text, const SqlToken& token, char c);

// Line breaks in the text: CR LF counts once, a lone CR or LF once each.
int CountLineBreaks(std::string_view text);

}  // namespace kv7::helper
