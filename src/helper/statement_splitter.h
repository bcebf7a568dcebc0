// Cuts an item's text into the chunks that go to the database one at a
// time. The statement separator (the configuration's, "@" by default) ends a
// chunk where it stands outside quotes, comments and dollar-quoted bodies and
// only blanks follow it on its line; so "@>" or "a@b" inside a line never
// end one. A separator made of name characters ("GO") must also not be the
// tail of a longer name. Text without a separator is one chunk; chunks with
// nothing but blanks and comments are left out.
#pragma once

#include <string_view>
#include <vector>

namespace kv7::helper {

struct SqlChunk {
  std::string_view text;  // a view into the item's text, without the separator
  int firstLine = 1;      // the line of the item's text on which `text` starts
};

// The chunks of `text` in order. An empty separator cuts nothing.
std::vector<SqlChunk> SplitChunks(std::string_view text, std::string_view separator);

// The line of the item's text at a byte offset into the chunk.
int LineAt(const SqlChunk& chunk, std::size_t offset);

}  // namespace kv7::helper
