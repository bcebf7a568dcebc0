#include "statement_splitter.h"

#include "sql_lexer.h"

namespace kv7::helper {
namespace {

// Whether the separator stands at `at` and ends its line; *lineEnd is then
// the offset after the line break (or the text's end).
bool IsSeparatorAt(std::string_view text, std::size_t at, std::string_view separator,
                   std::size_t* lineEnd) {
  if (text.compare(at, separator.size(), separator) != 0) return false;
  if (IsWordByte(separator.front()) && at > 0 && IsWordByte(text[at - 1])) return false;
  std::size_t i = at + separator.size();
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\f' ||
                             text[i] == '\v'))
    ++i;
  if (i == text.size()) {
    *lineEnd = i;
    return true;
  }
  if (text[i] == '\n') {
    *lineEnd = i + 1;
    return true;
  }
  if (text[i] != '\r') return false;
  *lineEnd = i + 1 < text.size() && text[i + 1] == '\n' ? i + 2 : i + 1;
  return true;
}

}  // namespace

std::vector<SqlChunk> SplitChunks(std::string_view text, std::string_view separator) {
  std::vector<SqlChunk> chunks;
  std::size_t chunkBegin = 0;
  int chunkLine = 1;
  bool hasToken = false;
  SqlLexer lexer(text);
  SqlToken token;
  while (lexer.Next(&token)) {
    std::size_t lineEnd = 0;
    if (separator.empty() || !IsSeparatorAt(text, token.begin, separator, &lineEnd)) {
      hasToken = true;
      continue;
    }
    if (hasToken) chunks.push_back({text.substr(chunkBegin, token.begin - chunkBegin), chunkLine});
    chunkLine += CountLineBreaks(text.substr(chunkBegin, lineEnd - chunkBegin));
    chunkBegin = lineEnd;
    hasToken = false;
    lexer.Seek(lineEnd);
  }
  if (hasToken) chunks.push_back({text.substr(chunkBegin), chunkLine});
  return chunks;
}

int LineAt(const SqlChunk& chunk, std::size_t offset) {
  return chunk.firstLine + CountLineBreaks(chunk.text.substr(0, offset));
}

}  // namespace kv7::helper
