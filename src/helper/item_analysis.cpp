#include "item_analysis.h"

#include <algorithm>
#include <iterator>

#include "sql_lexer.h"

namespace kv7::helper {
namespace {

constexpr std::string_view kKindNames[] = {"table",   "view",     "index",
                                           "trigger", "function", "procedure"};
constexpr std::string_view kKindKeywords[] = {"TABLE",   "VIEW",     "INDEX",
                                              "TRIGGER", "FUNCTION", "PROCEDURE"};

// Words that may stand between CREATE [OR REPLACE] and the kind.
constexpr std::string_view kModifiers[] = {"UNIQUE",   "TEMP",    "TEMPORARY",
                                           "GLOBAL",   "LOCAL",   "UNLOGGED",
                                           "VIRTUAL",  "RECURSIVE", "CONSTRAINT"};

constexpr std::string_view kTransactionStatements[] = {
    "BEGIN", "COMMIT", "END", "ROLLBACK", "SAVEPOINT", "RELEASE", "VACUUM", "START", "ABORT"};

// The tokens of one statement of a chunk, read front to back; the statement
// ends at a top-level ';' or at the chunk's end.
class StatementReader {
 public:
  StatementReader(std::string_view text, std::span<const SqlToken> tokens, std::size_t at)
      : text_(text), tokens_(tokens), at_(at) {}

  std::size_t position() const { return at_; }
  bool AtEnd() const { return at_ >= tokens_.size() || IsPunct(text_, tokens_[at_], ';'); }
  const SqlToken& Current() const { return tokens_[at_]; }
  void Skip() { ++at_; }

  bool AtKeyword(std::string_view upper) const {
    return !AtEnd() && IsKeyword(text_, Current(), upper);
  }
  bool TakeKeyword(std::string_view upper) {
    if (!AtKeyword(upper)) return false;
    ++at_;
    return true;
  }
  template <std::size_t N>
  bool AtAnyKeyword(const std::string_view (&words)[N]) const {
    return std::any_of(std::begin(words), std::end(words),
                       [&](std::string_view word) { return AtKeyword(word); });
  }

  // A possibly qualified name: parts joined by '.'.
  bool TakeName(QualifiedName* name) {
    for (;;) {
      NamePart part;
      if (!TakeNamePart(&part)) return false;
      name->push_back(std::move(part));
      if (AtEnd() || !IsPunct(text_, Current(), '.')) return true;
      ++at_;
    }
  }

  // Passes over the statement's tokens up to its keyword `upper` outside
  // parentheses; false when the statement has none.
  bool SkipTo(std::string_view upper) {
    int depth = 0;
    for (; !AtEnd(); ++at_) {
      if (IsPunct(text_, Current(), '(')) ++depth;
      else if (IsPunct(text_, Current(), ')')) --depth;
      else if (depth == 0 && AtKeyword(upper)) return true;
    }
    return false;
  }

  // Passes over the rest of the statement and its ';'. With `mayHaveBody`,
  // a BEGIN outside parentheses opens a body that its END closes, CASE ...
  // END nesting inside; the body's ';'s do not end the statement.
  void SkipStatement(bool mayHaveBody) {
    int body = 0, parentheses = 0;
    for (; at_ < tokens_.size(); ++at_) {
      const SqlToken& token = tokens_[at_];
      if (body == 0 && IsPunct(text_, token, ';')) break;
      if (IsPunct(text_, token, '(')) ++parentheses;
      else if (IsPunct(text_, token, ')')) --parentheses;
      if (!mayHaveBody || parentheses != 0) continue;
      if (IsKeyword(text_, token, "BEGIN") || (body > 0 && IsKeyword(text_, token, "CASE")))
        ++body;
      else if (body > 0 && IsKeyword(text_, token, "END"))
        --body;
    }
    ++at_;
  }

 private:
  bool TakeNamePart(NamePart* part) {
    if (AtEnd()) return false;
    const SqlToken& token = Current();
    std::string_view spelled = text_.substr(token.begin, token.end - token.begin);
    if (token.kind == TokenKind::kWord) {
      part->text = spelled;
    } else if (token.kind == TokenKind::kQuotedName || token.kind == TokenKind::kString) {
      part->text = Unquoted(spelled);
      part->quoted = true;
    } else if (IsPunct(text_, token, '[')) {
      return TakeBracketedName(part);
    } else {
      return false;
    }
    ++at_;
    return true;
  }

  // [name], as SQLite also quotes names.
  bool TakeBracketedName(NamePart* part) {
    std::size_t open = at_;
    while (!AtEnd() && !IsPunct(text_, Current(), ']')) ++at_;
    if (AtEnd()) return false;
    std::size_t begin = tokens_[open].end;
    part->text = text_.substr(begin, Current().begin - begin);
    part->quoted = true;
    ++at_;
    return true;
  }

  // The text between the quotes, doubled quotes undone.
  static std::string Unquoted(std::string_view spelled) {
    char quote = spelled.front();
    std::string text;
    for (std::size_t i = 1; i + 1 < spelled.size(); ++i) {
      text += spelled[i];
      if (spelled[i] == quote) ++i;
    }
    return text;
  }

  std::string_view text_;
  std::span<const SqlToken> tokens_;
  std::size_t at_;
};

// Reads CREATE ... after its CREATE keyword into *object; true when the
// statement creates one of the tracked kinds. *mayHaveBody tells, as soon as
// the kind is read, whether the statement may hold a BEGIN ... END body.
// Notes CREATE INDEX CONCURRENTLY, which cannot run inside a transaction.
bool ReadCreate(StatementReader& reader, ItemAnalysis* analysis, CreatedObject* object,
                bool* mayHaveBody) {
  if (reader.TakeKeyword("OR")) {
    if (!reader.TakeKeyword("REPLACE")) return false;
    object->orReplace = true;
  }
  while (reader.AtAnyKeyword(kModifiers)) {
    object->temporary |= reader.AtKeyword("TEMP") || reader.AtKeyword("TEMPORARY");
    reader.Skip();
  }
  auto kind = std::find_if(std::begin(kKindKeywords), std::end(kKindKeywords),
                           [&](std::string_view word) { return reader.AtKeyword(word); });
  if (kind == std::end(kKindKeywords)) return false;
  reader.Skip();
  object->kind = static_cast<ObjectKind>(kind - std::begin(kKindKeywords));
  *mayHaveBody = object->kind == ObjectKind::kTrigger || object->kind == ObjectKind::kFunction ||
                 object->kind == ObjectKind::kProcedure;
  bool onTable = object->kind == ObjectKind::kIndex || object->kind == ObjectKind::kTrigger;
  if (object->kind == ObjectKind::kIndex && reader.TakeKeyword("CONCURRENTLY"))
    analysis->controlsTransactions = true;
  if (reader.TakeKeyword("IF") && !(reader.TakeKeyword("NOT") && reader.TakeKeyword("EXISTS")))
    return false;
  // An index without a name (CREATE INDEX ON t) is named by the server.
  if (object->kind == ObjectKind::kIndex && reader.AtKeyword("ON")) return false;
  if (!reader.TakeName(&object->name)) return false;
  if (!onTable) return true;
  if (!reader.SkipTo("ON")) return false;
  reader.Skip();
  reader.TakeKeyword("ONLY");
  return reader.TakeName(&object->table);
}

void AnalyseChunk(const SqlChunk& chunk, std::size_t index, ItemAnalysis* analysis) {
  std::vector<SqlToken> tokens;
  SqlLexer lexer(chunk.text);
  for (SqlToken token; lexer.Next(&token);) tokens.push_back(token);

  StatementReader reader(chunk.text, tokens, 0);
  while (reader.position() < tokens.size()) {
    if (reader.AtAnyKeyword(kTransactionStatements)) analysis->controlsTransactions = true;
    bool mayHaveBody = false;
    if (!reader.AtEnd() && IsKeyword(chunk.text, reader.Current(), "CREATE")) {
      CreatedObject object;
      object.line = LineAt(chunk, reader.Current().begin);
      object.chunk = index;
      object.offset = reader.Current().begin;
      reader.Skip();
      if (ReadCreate(reader, analysis, &object, &mayHaveBody))
        analysis->created.push_back(std::move(object));
    }
    reader.SkipStatement(mayHaveBody);
  }
}

}  // namespace

std::string_view KindName(ObjectKind kind) { return kKindNames[static_cast<int>(kind)]; }

bool KindFromName(std::string_view name, ObjectKind* kind) {
  auto found = std::find(std::begin(kKindNames), std::end(kKindNames), name);
  if (found == std::end(kKindNames)) return false;
  *kind = static_cast<ObjectKind>(found - std::begin(kKindNames));
  return true;
}

std::string DisplayName(const QualifiedName& name) {
  std::string text;
  for (const NamePart& part : name) {
    if (!text.empty()) text += '.';
    text += part.text;
  }
  return text;
}

ItemAnalysis AnalyseItem(std::span<const SqlChunk> chunks) {
  ItemAnalysis analysis;
  for (std::size_t i = 0; i < chunks.size(); ++i) AnalyseChunk(chunks[i], i, &analysis);
  return analysis;
}

}  // namespace kv7::helper
