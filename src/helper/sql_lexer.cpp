#include "sql_lexer.h"

namespace kv7::helper {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A byte that may start an unquoted name ('$' may only follow).
bool IsWordStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool IsWordByte(char c) { return IsWordStart(c) || IsDigit(c) || c == '$'; }

bool IsKeyword(std::string_view text, const SqlToken& token, std::string_view upper) {
  if (token.kind != TokenKind::kWord || token.end - token.begin != upper.size()) return false;
  for (std::size_t i = 0; i < upper.size(); ++i)
    if (AsciiUpper(text[token.begin + i]) != upper[i]) return false;
  return true;
}

bool IsPunct(std::string_view text, const SqlToken& token, char c) {
  return token.kind == TokenKind::kPunct && text[token.begin] == c;
}

int CountLineBreaks(std::string_view text) {
  int breaks = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') ++breaks;
    else if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) ++breaks;
  }
  return breaks;
}

void SqlLexer::SkipBlanksAndComments() {
  while (position_ < text_.size()) {
    char c = text_[position_];
    if (IsBlank(c)) {
      ++position_;
    } else if (text_.substr(position_, 2) == "--") {
      std::size_t end = text_.find_first_of("\r\n", position_);
      position_ = end == std::string_view::npos ? text_.size() : end;
    } else if (text_.substr(position_, 2) == "/*") {
      std::size_t end = text_.find("*/", position_ + 2);
      position_ = end == std::string_view::npos ? text_.size() : end + 2;
    } else {
      return;
    }
  }
}

// The offset just past the quote that closes the one at `open`; a doubled
// quote stands for itself.
std::size_t SqlLexer::QuotedEnd(std::size_t open, char quote, bool backslashEscapes) const {
  std::size_t i = open + 1;
  while (i < text_.size()) {
    char c = text_[i];
    if (backslashEscapes && c == '\\') {
      i += 2;
    } else if (c == quote) {
      if (i + 1 < text_.size() && text_[i + 1] == quote) i += 2;
      else return i + 1;
    } else {
      ++i;
    }
  }
  return text_.size();
}

// For a '$' that opens a dollar-quoted body ($$ or $tag$), the offset just
// past its closing tag; 0 when the '$' opens none ($1, a lone '$').
std::size_t SqlLexer::DollarBodyEnd(std::size_t open) const {
  std::size_t i = open + 1;
  if (i < text_.size() && IsWordStart(text_[i]))
    while (i < text_.size() && IsWordByte(text_[i]) && text_[i] != '$') ++i;
  if (i >= text_.size() || text_[i] != '$') return 0;
  std::string_view tag = text_.substr(open, i + 1 - open);
  std::size_t close = text_.find(tag, i + 1);
  return close == std::string_view::npos ? text_.size() : close + tag.size();
}

bool SqlLexer::Next(SqlToken* token) {
  SkipBlanksAndComments();
  if (position_ >= text_.size()) return false;
  std::size_t begin = position_;
  char c = text_[begin];
  TokenKind kind = TokenKind::kPunct;
  std::size_t end = begin + 1;
  if (c == '\'') {
    kind = TokenKind::kString;
    end = QuotedEnd(begin, '\'', false);
  } else if (c == '"' || c == '`') {
    kind = TokenKind::kQuotedName;
    end = QuotedEnd(begin, c, false);
  } else if ((c == 'E' || c == 'e') && begin + 1 < text_.size() && text_[begin + 1] == '\'') {
    kind = TokenKind::kString;
    end = QuotedEnd(begin + 1, '\'', true);
  } else if (IsWordStart(c)) {
    kind = TokenKind::kWord;
    while (end < text_.size() && IsWordByte(text_[end])) ++end;
  } else if (IsDigit(c)) {
    kind = TokenKind::kNumber;
    while (end < text_.size() && (IsWordByte(text_[end]) || text_[end] == '.')) ++end;
  } else if (c == '$') {
    if (std::size_t bodyEnd = DollarBodyEnd(begin)) {
      kind = TokenKind::kDollarBody;
      end = bodyEnd;
    }
  }
  *token = {kind, begin, end};
  position_ = end;
  return true;
}

}  // namespace kv7::helper
