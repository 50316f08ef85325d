#include "cli/TerminalText.h"

#include <cstddef>

namespace kestrava::cli {
namespace {

void PutVisible(std::string& out, unsigned value) {
  static constexpr char digits[] = "0123456789abcdef";
  out += "\\x";
  out += digits[(value >> 4) & 0xF];
  out += digits[value & 0xF];
}

// Length of the valid UTF-8 sequence at `at` (shortest form, no surrogates,
// at most U+10FFFF), or 0 when the byte there does not begin one.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string ForTerminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r') {
      out += "\r\n";
      i += i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
    } else if (c == '\n' || c == '\t' || (c >= 0x20 && c < 0x7F)) {
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x80) {
      PutVisible(out, c);
      ++i;
    } else if (const std::size_t length = SequenceLength(text, i); length == 0) {
      PutVisible(out, c);
      ++i;
    } else if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      PutVisible(out, static_cast<unsigned char>(text[i + 1]));  // C1: U+0080-U+009F
      i += 2;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace kestrava::cli
