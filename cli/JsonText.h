#pragma once

// JSON for programs that read what kestrava-cli says of itself (status
// --format ndjson): plain RFC 8259 text, independent of the compact text of
// records. Only '"', '\' and the control characters are escaped ("/" stays
// as it is), and a byte that is no UTF-8 becomes U+FFFD, so that every line
// is valid JSON whatever an error text holds.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava::cli {

// `value` as a JSON string, quotation marks included.
std::string JsonString(std::string_view value);

// One JSON object, its members added in order. A member's value is a
// string, a whole number, null, or JSON text made by the caller (an object
// or an array, as another JsonObject's or JsonArray's Text()).
class JsonObject {
 public:
  JsonObject& String(std::string_view name, std::string_view value);
  JsonObject& Number(std::string_view name, std::int64_t value);
  JsonObject& Null(std::string_view name);
  JsonObject& Json(std::string_view name, std::string_view json);
  std::string Text() const { return text_ + "}"; }

 private:
  void Name(std::string_view name);
  std::string text_ = "{";
};

// A JSON array of JSON texts made by the caller.
class JsonArray {
 public:
  JsonArray& Json(std::string_view json);
  std::string Text() const { return text_ + "]"; }

 private:
  std::string text_ = "[";
};

}  // namespace kestrava::cli
