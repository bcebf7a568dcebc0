// Cutting an item's text into chunks: the separator counts only outside
// quotes, comments and dollar-quoted bodies, and only where it ends its
// line; lines are counted as the item's file has them.
#include "statement_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kv7::helper {
namespace {

using Chunks = std::vector<std::pair<std::string, int>>;

Chunks Split(std::string_view text, std::string_view separator = "@") {
  Chunks chunks;
  for (const SqlChunk& chunk : SplitChunks(text, separator))
    chunks.emplace_back(std::string(chunk.text), chunk.firstLine);
  return chunks;
}

TEST(StatementSplitter, SeparatorOutsideQuotesCommentsAndBodiesEndsItsLine) {
  // Given a separator hidden in each kind of quoted text, in comments and
  // in the middle of lines, then only the ones standing alone at a line's
  // end cut the text.
  std::string text =
      "select 'a\n@\nb', \"x\n@\" from t\n"   // lines 1-4
      "@\n"                                    // 5
      "select 1 -- note @\n"                   // 6
      "/* block\n@\n*/ from t  @  \n"          // 7-9
      "create function f() returns int as $$\n@\n$$;\n"  // 10-12
      "select $tag$ @\n$tag$ @ \n"             // 13-14
      "select a @> b, x@y from t where c = 'a@b'\n"  // 15
      "@";                                     // 16
  EXPECT_EQ(Split(text),
            (Chunks{{"select 'a\n@\nb', \"x\n@\" from t\n", 1},
                    {"select 1 -- note @\n/* block\n@\n*/ from t  ", 6},
                    {"create function f() returns int as $$\n@\n$$;\nselect $tag$ @\n$tag$ ", 10},
                    {"select a @> b, x@y from t where c = 'a@b'\n", 15}}));
}

TEST(StatementSplitter, TriggerBodyStaysWholeAndTextWithoutSeparatorIsOneChunk) {
  std::string trigger =
      "create trigger t after insert on a begin\n"
      "  insert into b values (1);\n"
      "  update c set n = case when n > 0 then n end;\n"
      "end;\n";
  EXPECT_EQ(Split(trigger + "@\nselect 1;"), (Chunks{{trigger, 1}, {"select 1;", 6}}));
  EXPECT_EQ(Split("select 1;\nselect 2;"), (Chunks{{"select 1;\nselect 2;", 1}}));
  EXPECT_EQ(Split("select 1\n@\nselect 2", ""), (Chunks{{"select 1\n@\nselect 2", 1}}));
}

TEST(StatementSplitter, CountsCrLfAsOneBreakAndSkipsEmptyChunks) {
  EXPECT_EQ(Split("select 1\r\n@\r\n\r\nselect 2\r\n@\r\n@\r\n  \r\n@\r\n-- only a note\r\n@\r\n"
                  "select 3\rselect 4"),
            (Chunks{{"select 1\r\n", 1}, {"\r\nselect 2\r\n", 3}, {"select 3\rselect 4", 11}}));
  EXPECT_TRUE(Split("").empty());
  EXPECT_TRUE(Split("@\n @ \n").empty());
}

TEST(StatementSplitter, WordSeparatorMustStandAlone) {
  EXPECT_EQ(Split("select 1 from ALGO\nGO\nselect 2 GO\nselect 3 GOTO\n", "GO"),
            (Chunks{{"select 1 from ALGO\n", 1}, {"select 2 ", 3},
                    {"select 3 GOTO\n", 4}}));
}

TEST(StatementSplitter, LineAtCountsFromTheChunksFirstLine) {
  std::vector<SqlChunk> chunks = SplitChunks("a\n@\nb\r\nc\r\nd", "@");
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(LineAt(chunks[1], 0), 3);
  EXPECT_EQ(LineAt(chunks[1], chunks[1].text.find('d')), 5);
}

}  // namespace
}  // namespace kv7::helper
