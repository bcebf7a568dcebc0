// Machine-readable output (--json): JSON Lines on stdout, one event object
// a line, with the fields the README lists. The human text goes to stderr
// meanwhile.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kv7::cli {

class JsonEvent {
 public:
  // An object whose "event" field names the event.
  explicit JsonEvent(std::string_view event);

  JsonEvent& Text(std::string_view key, std::string_view value);
  JsonEvent& Number(std::string_view key, double value);
  JsonEvent& Integer(std::string_view key, long long value);
  JsonEvent& Flag(std::string_view key, bool value);
  JsonEvent& Texts(std::string_view key, const std::vector<std::string>& values);

  // The object as one line, without the line end.
  const std::string& Line();
  // Writes the line to stdout.
  void Print();

 private:
  JsonEvent& Field(std::string_view key, const std::string& json);

  std::string text_;
  bool closed_ = false;
};

// A UTF-8 text as a JSON string, quotes included.
std::string JsonString(std::string_view text);

}  // namespace kv7::cli
