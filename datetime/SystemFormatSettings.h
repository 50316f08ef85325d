#pragma once

// How the regional separators are read out of the locale's strftime-style
// patterns (POSIX). Kept apart so it can be checked without a locale.

#include <string>
#include <string_view>

namespace kestrava {

// The first character (UTF-8 code point) of the text between the hour and the
// minute conversions of a time pattern such as "%H:%M:%S" or "%T"; empty when
// the pattern has none.
std::string TimeSeparatorFromPattern(std::string_view pattern);
// The first character of the text between the first two date conversions of
// a date pattern such as "%d.%m.%Y" or "%D"; empty when there is none.
std::string DateSeparatorFromPattern(std::string_view pattern);
// A strftime pattern in this system's own format letters ("%d.%m.%Y" gives
// "dd/mm/yyyy" with the date separator written as "/", "%H:%M:%S" gives
// "hh:nn:ss" with the time separator written as ":").
std::string FormatFromPattern(std::string_view pattern, std::string_view dateSeparator,
                              std::string_view timeSeparator);

}  // namespace kestrava
