#include "base/Ascii.h"

namespace kestrava {

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiToLower(c);
  return out;
}

void AppendHexByte(std::string& out, unsigned char byte, HexCase letters) {
  const char* digits = letters == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
  out += digits[byte >> 4];
  out += digits[byte & 0x0F];
}

}  // namespace kestrava
