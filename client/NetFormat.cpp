#include <charconv>
#include <string>
#include <string_view>

#include "client/Kestrava2Intf.h"
#include "datetime/FormatSettings.h"

namespace kestrava {

std::string DateTimeToNetFormat(TDateTime value) {
  return FormatDateTime("yyyy-mm-dd", value, FormatSettings) + "T" +
         FormatDateTime("hh:nn:ss.zzz", value, FormatSettings) + "Z";
}

int PageCountFromText(std::string_view text) noexcept {
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || (plus && text.front() == '-')) return 0;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

}  // namespace kestrava
