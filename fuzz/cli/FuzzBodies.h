#pragma once

// What the fuzz target of kestrava-cli does with one input; shared with the
// test that replays the kept inputs (tests/cli/FuzzInputsTest.cpp). It takes
// bytes a server chose: error texts and Retry-After values.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "cli/CliArguments.h"
#include "cli/FailureOutput.h"
#include "cli/HttpDate.h"
#include "cli/RetryPolicy.h"
#include "cli/SecretMask.h"
#include "cli/TerminalText.h"

namespace kestrava::cli::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A bidirectional control's UTF-8 form starts at text[i].
inline bool BidiControlAt(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) {
    return k < text.size() ? static_cast<unsigned char>(text[k]) : 0;
  };
  if (byte(i) == 0xD8 && byte(i + 1) == 0x9C) return true;  // U+061C
  if (byte(i) != 0xE2) return false;
  const unsigned char b1 = byte(i + 1), b2 = byte(i + 2);
  return (b1 == 0x80 && (b2 == 0x8E || b2 == 0x8F || (b2 >= 0xAA && b2 <= 0xAE))) ||
         (b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9);
}

// The lines of a failure whose text and reply a server chose: each starts
// "kestrava-cli: " and holds no control character; a secret never stays in
// a masked text as written.
inline void FailureText(std::string_view text) {
  for (const std::string& line : LogLines({std::string(text), std::string(text)})) {
    if (line.rfind("kestrava-cli: ", 0) != 0) __builtin_trap();
    for (std::size_t i = 0; i < line.size(); ++i) {
      const auto c = static_cast<unsigned char>(line[i]);
      if (c < 0x20 || c == 0x7F || BidiControlAt(line, i)) __builtin_trap();
    }
  }
  constexpr std::string_view kSecret = "s/3\\c\"r";
  SecretMask mask;
  mask.Add(std::string(kSecret));
  mask.Add(std::string(text.substr(0, 6)));  // one the input chose
  const std::string masked = mask(std::string(text));
  if (masked.find(kSecret) != std::string::npos) __builtin_trap();
  if (text.size() >= 6 && text.substr(0, 6).find('*') == std::string_view::npos &&
      masked.find(text.substr(0, 6)) != std::string::npos)
    __builtin_trap();
}

// A text shown on a terminal holds no control character but tab, LF and the
// CR of a CR LF, no C1 control and no bidirectional one; a retry reason is
// one line; a Retry-After wait is within ten minutes; a failure's lines are
// as FailureText says.
inline void ServerText(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);
  const std::string shown = ForTerminal(text);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const auto c = static_cast<unsigned char>(shown[i]);
    if (c == '\r' && (i + 1 == shown.size() || shown[i + 1] != '\n')) __builtin_trap();
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) __builtin_trap();
    if (c == 0xC2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) < 0xA0)
      __builtin_trap();
    if (BidiControlAt(shown, i)) __builtin_trap();
  }
  const std::string reason = RetryReason(text);
  if (reason.size() > text.size() || reason.find_first_of("\r\n") != std::string::npos)
    __builtin_trap();
  const auto now = std::chrono::system_clock::time_point(std::chrono::seconds(1'750'000'000));
  if (const auto wait = RetryAfterWait(text, now);
      wait && (wait->count() < 0 || wait->count() > 600))
    __builtin_trap();
  (void)ParseHttpDate(text);
  FailureText(text);
}

// The wait before a retry, from the bytes a server chose and from clocks:
// bytes 0-7 are the UTC clock in nanoseconds (any value: a machine's clock
// may be set anywhere), byte 8 the cause and status of the failure, byte 9
// its count, byte 10 the retries, bytes 11-13 the time budget, bytes 14-16
// the seconds the command has run (the steady clock only moves on), and the
// rest the Retry-After value. Every wait is within ten minutes, and one is
// waited exactly when the request is tried again.
inline void RetryWait(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kFields = 17;
  if (size < kFields) return;
  const auto number = [data](std::size_t from, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value = value << 8 | data[from + i];
    return value;
  };
  const auto utc = std::chrono::system_clock::time_point(std::chrono::system_clock::duration(
      static_cast<std::chrono::system_clock::rep>(number(0, 8))));
  const std::string_view value = AsText(data + kFields, size - kFields);
  if (const auto wait = RetryAfterWait(value, utc);
      wait && (wait->count() < 0 || wait->count() > 600))
    __builtin_trap();

  static constexpr int kStatus[] = {408, 429, 500, 502, 503, 504, 401, 404};
  TRequestFailure failure;
  failure.Request = static_cast<TRequestKind>(data[8] % 3);
  failure.Cause = static_cast<TFailureCause>((data[8] >> 2) % 3);
  failure.StatusCode = kStatus[(data[8] >> 4) % 8];
  failure.Failures = 1 + data[9] % 16;
  failure.RetryAfter = std::string(value);
  failure.ErrorText = "HTTP/1.1 503 Service Unavailable\rbusy";
  const auto began = std::chrono::steady_clock::time_point(std::chrono::hours(1000));
  const RetryLimits limits{
      data[10] % 16,
      std::chrono::seconds(static_cast<std::int64_t>(number(11, 3)) % (kMaxSeconds + 1)), began};
  const auto elapsed = std::chrono::seconds(static_cast<std::int64_t>(number(14, 3)));
  int waits = 0;
  RetryWorld world{[&] { return began + elapsed; }, [&] { return utc; },
                   [&](std::chrono::seconds wait) {
                     if (wait.count() < 0 || wait.count() > 600) __builtin_trap();
                     ++waits;
                   },
                   [](const std::string& line) {
                     if (!line.starts_with("kestrava-cli: retry ")) __builtin_trap();
                   },
                   [](std::string text) { return text; }};
  RetryPolicy policy(limits, std::move(world));
  const TAfterFailure after = policy(failure);
  if (waits != (after == TAfterFailure::Repeat ? 1 : 0)) __builtin_trap();
}

}  // namespace kestrava::cli::fuzz
