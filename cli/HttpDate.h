#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrava::cli {

// An HTTP-date in any of its three forms, "Sun, 06 Nov 1994 08:49:37 GMT",
// "Sunday, 06-Nov-94 08:49:37 GMT" and "Sun Nov  6 08:49:37 1994", as
// seconds since 1970-01-01 00:00:00 UTC; none for anything else.
std::optional<std::int64_t> ParseHttpDate(std::string_view text);

}  // namespace kestrava::cli
