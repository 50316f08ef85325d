#include "cli/JsonText.h"

#include "base/Utf8.h"

namespace kestrava::cli {

std::string JsonString(std::string_view value) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text = "\"";
  for (std::size_t at = 0; at < value.size();) {
    const std::size_t length = Utf8SequenceLength(value, at);
    if (length == 0) {
      AppendUtf8(text, U'\uFFFD');
      ++at;
      continue;
    }
    if (length > 1) {
      text.append(value.substr(at, length));
      at += length;
      continue;
    }
    const char c = value[at++];
    switch (c) {
      case '"':
        text += "\\\"";
        break;
      case '\\':
        text += "\\\\";
        break;
      case '\b':
        text += "\\b";
        break;
      case '\f':
        text += "\\f";
        break;
      case '\n':
        text += "\\n";
        break;
      case '\r':
        text += "\\r";
        break;
      case '\t':
        text += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          text += "\\u00";
          text += kHex[static_cast<unsigned char>(c) >> 4];
          text += kHex[static_cast<unsigned char>(c) & 0xF];
        } else {
          text += c;
        }
    }
  }
  text += '"';
  return text;
}

void JsonObject::Name(std::string_view name) {
  if (text_.size() > 1) text_ += ',';
  text_ += JsonString(name);
  text_ += ':';
}

JsonObject& JsonObject::String(std::string_view name, std::string_view value) {
  Name(name);
  text_ += JsonString(value);
  return *this;
}

JsonObject& JsonObject::Number(std::string_view name, std::int64_t value) {
  Name(name);
  text_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::Null(std::string_view name) {
  Name(name);
  text_ += "null";
  return *this;
}

JsonObject& JsonObject::Json(std::string_view name, std::string_view json) {
  Name(name);
  text_ += json;
  return *this;
}

JsonArray& JsonArray::Json(std::string_view json) {
  if (text_.size() > 1) text_ += ',';
  text_ += json;
  return *this;
}

}  // namespace kestrava::cli
