#include "cli/TerminalText.h"

#include <cstddef>

#include "base/Ascii.h"
#include "base/Utf8.h"

namespace kestrava::cli {
namespace {

void PutVisible(std::string& out, unsigned char value) {
  out += "\\x";
  AppendHexByte(out, value, HexCase::Lower);
}

// The marks, embeddings, overrides and isolates of bidirectional text.
bool IsBidiControl(char32_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

void PutVisibleCodePoint(std::string& out, char32_t value) {
  out += "\\u";
  AppendHexByte(out, static_cast<unsigned char>(value >> 8), HexCase::Lower);
  AppendHexByte(out, static_cast<unsigned char>(value & 0xFF), HexCase::Lower);
}

// ForTerminal, or OnOneLine without `lineBreaks`.
std::string Visible(std::string_view text, bool lineBreaks) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!lineBreaks && (c == '\r' || c == '\n' || c == '\t')) {
      PutVisible(out, c);
      ++i;
    } else if (c == '\r') {
      out += "\r\n";
      i += i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
    } else if (c == '\n' || c == '\t' || (c >= 0x20 && c < 0x7F)) {
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x80) {
      PutVisible(out, c);
      ++i;
    } else if (const std::size_t length = Utf8SequenceLength(text, i); length == 0) {
      PutVisible(out, c);
      ++i;
    } else if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      PutVisible(out, static_cast<unsigned char>(text[i + 1]));  // C1: U+0080-U+009F
      i += 2;
    } else if (const char32_t value = DecodeUtf8(text, i, length); IsBidiControl(value)) {
      PutVisibleCodePoint(out, value);
      i += length;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace

std::string ForTerminal(std::string_view text) {
  return Visible(text, true);
}

std::string OnOneLine(std::string_view text) {
  return Visible(text, false);
}

}  // namespace kestrava::cli
