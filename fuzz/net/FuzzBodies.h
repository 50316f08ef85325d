#pragma once

// What each fuzz target does with one input; shared with the regression
// test that replays kept inputs (tests/net/FuzzInputsTest.cpp).

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "base/Exception.h"
#include "base/Utf8.h"
#include "net/Charset.h"
#include "net/Cookies.h"
#include "net/ReplyText.h"
#include "net/StatusLine.h"
#include "net/Url.h"

namespace kestrava::net::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Set-Cookie values, one per line, into one store, then the Cookie header.
inline void SetCookie(const std::uint8_t* data, std::size_t size) {
  const auto now = CookieClock::from_time_t(1'750'000'000);
  CookieStore store;
  std::string_view text = AsText(data, size);
  while (!text.empty()) {
    auto end = text.find('\n');
    store.Receive(text.substr(0, end), "api.test.localhost", now);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  // A stored cookie can always go back in a Cookie header.
  const auto headerSafe = [](std::string_view text) {
    for (char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte < 0x20 && byte != '\t') || byte == 0x7F) return false;
    }
    return true;
  };
  for (const auto& cookie : store.Cookies()) {
    if (cookie.domain.empty() || cookie.domain[0] != '.') __builtin_trap();
    if (cookie.path.empty() || cookie.path.back() != '/') __builtin_trap();
    if (cookie.name.empty() || !headerSafe(cookie.name) || !headerSafe(cookie.value))
      __builtin_trap();
  }
  (void)store.HeaderFor("https", "api.test.localhost", "/v2/transactions", now);
}

// A life of one cookie store: each line is one step, chosen by its first
// byte, on one of a few hosts: Set-Cookie values, many cookies at once on a
// host of their own (to reach the bounds), requests, and the clock moving
// on, or back. The store
// and every Cookie header stay within their bounds at every step.
inline void CookieStoreLife(const std::uint8_t* data, std::size_t size) {
  static constexpr std::array<const char*, 6> kHosts{
      "api.test.localhost", "test.localhost", "localhost",
      "127.0.0.1",          "example.com",    "deep.sub.example.co.uk"};
  const auto start = CookieClock::from_time_t(1'750'000'000);
  auto now = start;
  std::int64_t moved = 0;  // seconds from the start, within about 95 years
  // Enough steps of many cookies to fill the whole store, and no more: each
  // costs a pass over the store per cookie.
  constexpr int kMaxBulkSteps = 16;
  int bulkSteps = 0;
  CookieStore store;
  const auto headerSafe = [](std::string_view text) {
    for (char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte < 0x20 && byte != '\t') || byte == 0x7F) return false;
    }
    return true;
  };
  std::string_view text = AsText(data, size);
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    const auto step = static_cast<unsigned char>(line[0]);
    const char* host = kHosts[(step >> 3) % kHosts.size()];
    line.remove_prefix(1);
    switch (step % 5) {
      case 0:
        store.Receive(line, host, now);
        break;
      case 1: {
        // As many cookies as the next byte says, on a host of their own
        // that the byte after names, each named by its number and the rest.
        if (line.size() < 2 || ++bulkSteps > kMaxBulkSteps) break;
        const auto count = static_cast<unsigned char>(line[0]);
        const std::string own =
            "h" + std::to_string(static_cast<unsigned char>(line[1])) + ".example.com";
        const std::string rest(line.substr(2));
        for (unsigned i = 0; i < count; ++i) store.Receive(std::to_string(i) + rest, own, now);
        break;
      }
      case 2: {
        const std::string header = store.HeaderFor(step & 0x80 ? "https" : "http", host, line, now);
        if (header.size() > kMaxCookieHeaderBytes || !headerSafe(header)) __builtin_trap();
        break;
      }
      case 3: {
        // The clock moves by up to 2^32 seconds either way, and stays
        // within about 95 years of the start.
        std::int64_t seconds = 0;
        for (std::size_t i = 0; i < line.size() && i < 4; ++i)
          seconds = seconds * 256 + static_cast<unsigned char>(line[i]);
        constexpr std::int64_t kReach = 3'000'000'000;
        moved =
            std::clamp<std::int64_t>(moved + (step & 0x80 ? -seconds : seconds), -kReach, kReach);
        now = start + std::chrono::seconds(moved);
        break;
      }
      default:
        (void)store.HeaderFor("https", host, "/", now);
        break;
    }
    if (store.Cookies().size() > kMaxCookies) __builtin_trap();
  }
  std::map<std::string, std::size_t> perDomain;
  for (const auto& cookie : store.Cookies()) {
    if (++perDomain[cookie.domain] > kMaxCookiesPerDomain) __builtin_trap();
    if (cookie.name.size() + cookie.value.size() > kMaxCookieBytes) __builtin_trap();
    if (cookie.domain.empty() || cookie.domain[0] != '.') __builtin_trap();
    if (cookie.path.empty() || cookie.path.back() != '/') __builtin_trap();
    if (cookie.name.empty() || !headerSafe(cookie.name) || !headerSafe(cookie.value))
      __builtin_trap();
  }
}

inline void ContentType(const std::uint8_t* data, std::size_t size) {
  std::string_view text = AsText(data, size);
  std::string media = MediaTypeOf(text);
  (void)ClassOf(media);
  if (auto charset = CharsetOf(text)) (void)LookupCharset(*charset);
}

inline void StatusLineParse(const std::uint8_t* data, std::size_t size) {
  if (auto line = ParseStatusLine(AsText(data, size))) {
    if (line->code < 0 || line->code > 999) __builtin_trap();
    std::string text = StatusLineText(line->version, line->code, line->reason);
    if (!text.starts_with(VersionPrefix(line->version)) || !text.ends_with(" " + line->reason))
      __builtin_trap();
  }
  (void)VersionPrefix(AsText(data, size));
  // The same bytes as a whole head, line by line.
  ReplyHead head;
  std::string_view text = AsText(data, size);
  while (!text.empty()) {
    auto end = text.find('\n');
    std::size_t take = end == std::string_view::npos ? text.size() : end + 1;
    head.Feed(text.substr(0, take));
    text.remove_prefix(take);
  }
  if (!IsValidUtf8(head.reason)) __builtin_trap();
  for (const auto& [name, value] : head.headers) {
    if (name.find(':') != std::string::npos) __builtin_trap();
  }
}

// A Location resolved against the current URL, then normalised.
inline void Location(const std::uint8_t* data, std::size_t size) {
  std::string next = NormaliseUrl(
      ResolveReference("https://api.test.localhost:8443/v1/auth/token?x=1", AsText(data, size)));
  (void)SameOrigin("https://api.test.localhost:8443/", next);
}

// Bytes 0-3 choose status, media type, encoding and charset; the rest is
// the body. Every outcome is a text or one of the reply text failures.
inline void Decode(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return;
  static constexpr std::array<int, 6> kStatus{200, 204, 299, 302, 404, 503};
  static constexpr std::array<const char*, 8> kMedia{
      "",          "application/json",     "text/plain", "application/octet-stream",
      "image/png", "application/x-custom", "text/html",  "video/mp4"};
  static constexpr std::array<const char*, 4> kEncoding{"", "gzip", "deflate", "br"};
  static constexpr std::array<const char*, 10> kCharset{"",
                                                        "; charset=utf-8",
                                                        "; charset=\"UTF-8\"",
                                                        "; charset=iso-8859-1",
                                                        "; charset=windows-1252",
                                                        "; charset=utf-16le",
                                                        "; charset=shift_jis",
                                                        "; charset=klingon",
                                                        "; charset=x-iscii-de",
                                                        "; charset=utf-32"};
  int status = kStatus[data[0] % kStatus.size()];
  std::string contentType =
      std::string(kMedia[data[1] % kMedia.size()]) + kCharset[data[3] % kCharset.size()];
  const char* encoding = kEncoding[data[2] % kEncoding.size()];
  try {
    std::string text = ReplyContent(status, contentType, encoding, AsText(data + 4, size - 4));
    if (!IsValidUtf8(text)) __builtin_trap();  // content is always stored as UTF-8
  } catch (const Exception&) {
  }
}

}  // namespace kestrava::net::fuzz
