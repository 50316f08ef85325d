#pragma once

// The header values and the time-out that every request of this program
// carries: the REST trio's defaults, which the API client also sets
// explicitly.

#include <bit>
#include <cstddef>
#include <string_view>

namespace kestrava::net {

// Character for character: a space after the first semicolon, none after
// the second, and the trailing comma (53 characters).
inline constexpr std::string_view kDefaultAccept =
    "application/json, text/plain; q=0.9, text/html;q=0.8,";
inline constexpr std::string_view kDefaultAcceptCharset = "UTF-8, *;q=0.8";
// The bound of each single wait of an exchange, in milliseconds.
inline constexpr int kDefaultTimeoutMs = 120000;
// The longest reply body that is read, far above any page of records or
// any accounts list; past it the exchange fails while reading, so a server
// cannot make the program hold an endless body.
inline constexpr std::size_t kMaxReplyBodyBytes = std::size_t{64} << 20;
static_assert(std::has_single_bit(kMaxReplyBodyBytes), "a body grows to powers of two");

}  // namespace kestrava::net
