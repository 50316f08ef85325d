#pragma once

// ASCII letter case and hexadecimal digits, the same whatever the process
// locale: the functions of <cctype> map bytes above U+007F in an 8-bit
// locale, which would alter protocol text such as header names.

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrava {

constexpr bool IsAsciiDigit(char c) noexcept {
  return c >= '0' && c <= '9';
}

constexpr bool IsAsciiLetter(char c) noexcept {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr char AsciiToLower(char c) noexcept {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The text with A to Z made a to z; every other byte unchanged.
std::string AsciiLower(std::string_view text);

// Equal but for the letter case of A to Z.
constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiToLower(a[i]) != AsciiToLower(b[i])) return false;
  }
  return true;
}

constexpr bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) noexcept {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// The value of a hexadecimal digit of either case, or -1.
constexpr int HexDigitValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr bool IsHexDigit(char c) noexcept {
  return HexDigitValue(c) >= 0;
}

enum class HexCase { Lower, Upper };

// Appends the two hexadecimal digits of a byte, high digit first.
void AppendHexByte(std::string& out, unsigned char byte, HexCase letters);

}  // namespace kestrava
