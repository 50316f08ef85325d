#include "base/Utf8.h"

#include <cstdint>
#include <cstring>

namespace kestrava {

bool IsValidUtf8(std::string_view text) noexcept {
  std::size_t at = 0;
  while (at < text.size()) {
    // Runs of ASCII, the bulk of most texts, eight bytes at a time.
    while (text.size() - at >= 8) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + at, 8);
      if ((word & 0x8080808080808080ULL) != 0) break;
      at += 8;
    }
    if (at == text.size()) break;
    const std::size_t length = Utf8SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  const auto put = [&out](std::uint32_t byte) { out.push_back(static_cast<char>(byte)); };
  const std::uint32_t cp = codePoint;
  if (cp < 0x80) {
    put(cp);
  } else if (cp < 0x800) {
    put(0xC0 | (cp >> 6));
    put(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    put(0xE0 | (cp >> 12));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  } else {
    put(0xF0 | (cp >> 18));
    put(0x80 | ((cp >> 12) & 0x3F));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  }
}

}  // namespace kestrava
