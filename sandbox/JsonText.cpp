#include "sandbox/JsonText.h"

#include "base/Ascii.h"
#include "base/Utf8.h"

namespace kestrava::sandbox {

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) {
      const std::size_t length = Utf8SequenceLength(text, i);
      if (length == 0) {
        out += "\xEF\xBF\xBD";
        ++i;
      } else {
        out.append(text, i, length);
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (u < 0x20 || u == 0x7F) {
          out += "\\u00";
          AppendHexByte(out, u, HexCase::Lower);
        } else {
          out += c;
        }
    }
    ++i;
  }
  out += '"';
}

std::string Quoted(std::string_view text) {
  std::string out;
  AppendQuoted(out, text);
  return out;
}

std::string AmountText(std::int64_t cents) {
  const bool negative = cents < 0;
  const std::uint64_t magnitude =
      negative ? static_cast<std::uint64_t>(-(cents + 1)) + 1 : static_cast<std::uint64_t>(cents);
  std::string fraction = std::to_string(magnitude % 100);
  if (fraction.size() < 2) fraction.insert(0, 1, '0');
  return (negative ? "-" : "") + std::to_string(magnitude / 100) + "." + fraction;
}

void AppendMember(std::string& out, bool& first, std::string_view name, std::string_view rawJson) {
  if (!first) out += ',';
  first = false;
  AppendQuoted(out, name);
  out += ':';
  out += rawJson;
}

}  // namespace kestrava::sandbox
