#include "json_output.h"

#include <cmath>
#include <cstdio>

namespace kv7::cli {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

JsonEvent::JsonEvent(std::string_view event) : text_("{\"event\":" + JsonString(event)) {}

JsonEvent& JsonEvent::Field(std::string_view key, const std::string& json) {
  text_ += "," + JsonString(key) + ":" + json;
  return *this;
}

JsonEvent& JsonEvent::Text(std::string_view key, std::string_view value) {
  return Field(key, JsonString(value));
}

JsonEvent& JsonEvent::Number(std::string_view key, double value) {
  char number[32];
  std::snprintf(number, sizeof number, "%.3f", std::isfinite(value) ? value : 0.0);
  return Field(key, number);
}

JsonEvent& JsonEvent::Integer(std::string_view key, long long value) {
  return Field(key, std::to_string(value));
}

JsonEvent& JsonEvent::Flag(std::string_view key, bool value) {
  return Field(key, value ? "true" : "false");
}

JsonEvent& JsonEvent::Texts(std::string_view key, const std::vector<std::string>& values) {
  std::string list = "[";
  for (const std::string& value : values) list += (list.size() > 1 ? "," : "") + JsonString(value);
  return Field(key, list + "]");
}

const std::string& JsonEvent::Line() {
  if (!closed_) text_ += "}";
  closed_ = true;
  return text_;
}

void JsonEvent::Print() { std::printf("%s\n", Line().c_str()); }

}  // namespace kv7::cli
