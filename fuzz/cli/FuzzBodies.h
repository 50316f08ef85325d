#pragma once

// What the fuzz target of kestrava-cli does with one input; shared with the
// test that replays the kept inputs (tests/cli/FuzzInputsTest.cpp). It takes
// bytes a server chose: error texts and Retry-After values.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/HttpDate.h"
#include "cli/RetryPolicy.h"
#include "cli/TerminalText.h"

namespace kestrava::cli::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A text shown on a terminal holds no control character but tab, LF and the
// CR of a CR LF, and no C1 control; a retry reason is one line; a
// Retry-After wait is within ten minutes.
inline void ServerText(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);
  const std::string shown = ForTerminal(text);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const auto c = static_cast<unsigned char>(shown[i]);
    if (c == '\r' && (i + 1 == shown.size() || shown[i + 1] != '\n')) __builtin_trap();
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) __builtin_trap();
    if (c == 0xC2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) < 0xA0)
      __builtin_trap();
  }
  const std::string reason = RetryReason(text);
  if (reason.size() > text.size() || reason.find_first_of("\r\n") != std::string::npos)
    __builtin_trap();
  const auto now = std::chrono::system_clock::time_point(std::chrono::seconds(1'750'000'000));
  if (const auto wait = RetryAfterWait(text, now);
      wait && (wait->count() < 0 || wait->count() > 600))
    __builtin_trap();
  (void)ParseHttpDate(text);
}

}  // namespace kestrava::cli::fuzz
