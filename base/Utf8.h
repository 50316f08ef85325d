#pragma once

// Well-formed UTF-8 as the Unicode standard defines it: no overlong forms,
// no UTF-16 surrogates (U+D800 to U+DFFF), nothing above U+10FFFF.

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrava {

// Length (1 to 4) of the well-formed sequence that starts at text[at], or 0
// when none does: a stray continuation byte, a byte that never starts one,
// an overlong form, a surrogate, a value above U+10FFFF, or a sequence cut
// off by the end of the text. `at` must be inside the text.
constexpr std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) noexcept {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// The code point of the well-formed sequence of `length` bytes (as
// Utf8SequenceLength gives it) at text[at].
constexpr char32_t DecodeUtf8(std::string_view text, std::size_t at, std::size_t length) noexcept {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  if (length <= 1) return byte(at);
  char32_t value = byte(at) & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) value = (value << 6) | (byte(at + i) & 0x3F);
  return value;
}

// True when the whole text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text) noexcept;

// Appends the UTF-8 form of a code point up to U+10FFFF (a surrogate is
// written as its three bytes; callers that must not store one replace it
// first).
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace kestrava
