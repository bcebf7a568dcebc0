// What an item's text does, read from its chunks before anything runs:
// the objects it creates and whether it controls transactions itself.
//
// An item creates an object for every top-level statement
//   CREATE [OR REPLACE] [UNIQUE|TEMP|TEMPORARY|...] TABLE|VIEW|INDEX|TRIGGER|
//          FUNCTION|PROCEDURE [IF NOT EXISTS] name
// in any of its chunks: statements are cut at ';' outside quotes, comments,
// dollar-quoted bodies and the BEGIN ... END body of a trigger, function or
// procedure (where CASE ... END nests), so that comments and statements
// before a CREATE never hide it and nothing inside a body counts. Every
// other statement (INSERT, ALTER, CREATE SEQUENCE, ...) runs as written and
// creates nothing that the library tracks.
//
// An item controls transactions when one of its top-level statements starts
// with BEGIN, COMMIT, END, ROLLBACK, SAVEPOINT, RELEASE, VACUUM, START or
// ABORT, or is CREATE INDEX CONCURRENTLY.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "statement_splitter.h"

namespace kv7::helper {

enum class ObjectKind { kTable, kView, kIndex, kTrigger, kFunction, kProcedure };

// "table", "view", "index", "trigger", "function", "procedure": the words of
// messages and of the deployment history.
std::string_view KindName(ObjectKind kind);
// The kind of such a word; false when it names none.
bool KindFromName(std::string_view name, ObjectKind* kind);

// One part of a possibly qualified name, without its quotes.
struct NamePart {
  std::string text;
  bool quoted = false;
};
using QualifiedName = std::vector<NamePart>;

// The name as messages show it: its parts joined by '.'.
std::string DisplayName(const QualifiedName& name);

struct CreatedObject {
  ObjectKind kind = ObjectKind::kTable;
  QualifiedName name;
  QualifiedName table;     // the table an index or trigger is ON; empty otherwise
  bool temporary = false;  // CREATE TEMP / TEMPORARY
  bool orReplace = false;  // CREATE OR REPLACE
  int line = 0;            // the line of the item's text where its CREATE stands
  std::size_t chunk = 0;   // the index of the chunk that holds its CREATE
  std::size_t offset = 0;  // the byte offset of the CREATE keyword in that chunk
};

struct ItemAnalysis {
  std::vector<CreatedObject> created;  // in the order of the text
  bool controlsTransactions = false;
};

ItemAnalysis AnalyseItem(std::span<const SqlChunk> chunks);

}  // namespace kv7::helper
