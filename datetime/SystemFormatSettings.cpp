#include "datetime/SystemFormatSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <string>
#include <string_view>

#include "datetime/FormatSettings.h"

namespace kestrava {
namespace {

// Composite conversions spelled out, so separators inside them are found.
std::string ExpandPattern(std::string_view pattern) {
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 >= pattern.size()) {
      out += pattern[i];
      continue;
    }
    std::size_t j = i + 1;
    while (j < pattern.size() &&
           (pattern[j] == 'E' || pattern[j] == 'O' || pattern[j] == '-' || pattern[j] == '_' ||
            pattern[j] == '0' || pattern[j] == '^' || pattern[j] == '#')) {
      ++j;
    }
    if (j >= pattern.size()) break;
    switch (pattern[j]) {
      case 'T':
        out += "%H:%M:%S";
        break;
      case 'R':
        out += "%H:%M";
        break;
      case 'r':
        out += "%I:%M:%S %p";
        break;
      case 'D':
        out += "%m/%d/%y";
        break;
      case 'F':
        out += "%Y-%m-%d";
        break;
      default:
        out += '%';
        out += pattern[j];
        break;
    }
    i = j;
  }
  return out;
}

std::size_t CodePointLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 1;
  if (lead >= 0xF0) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = 3;
  } else if (lead >= 0xC0) {
    length = 2;
  }
  return length <= text.size() ? length : text.size();
}

// The literal text that follows the first conversion of `first` when the
// next conversion is one of `second`.
std::string SeparatorBetween(std::string_view pattern, std::string_view first,
                             std::string_view second) {
  const std::string expanded = ExpandPattern(pattern);
  std::string_view text = expanded;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '%' || first.find(text[i + 1]) == std::string_view::npos) continue;
    const std::size_t start = i + 2;
    const std::size_t next = text.find('%', start);
    if (next == std::string_view::npos || next + 1 >= text.size() ||
        second.find(text[next + 1]) == std::string_view::npos || next == start) {
      return {};
    }
    std::string_view literal = text.substr(start, next - start);
    return std::string(literal.substr(0, CodePointLength(literal)));
  }
  return {};
}

}  // namespace

std::string TimeSeparatorFromPattern(std::string_view pattern) {
  return SeparatorBetween(pattern, "HIkl", "M");
}

std::string DateSeparatorFromPattern(std::string_view pattern) {
  return SeparatorBetween(pattern, "dmyYeb", "dmyYeb");
}

std::string FormatFromPattern(std::string_view pattern, std::string_view dateSeparator,
                              std::string_view timeSeparator) {
  const std::string expanded = ExpandPattern(pattern);
  std::string out;
  for (std::size_t i = 0; i < expanded.size(); ++i) {
    const char c = expanded[i];
    if (c == '%' && i + 1 < expanded.size()) {
      switch (expanded[++i]) {
        case 'd':
        case 'e':
          out += "dd";
          break;
        case 'm':
          out += "mm";
          break;
        case 'y':
          out += "yy";
          break;
        case 'Y':
          out += "yyyy";
          break;
        case 'H':
        case 'k':
        case 'I':
        case 'l':
          out += "hh";
          break;
        case 'M':
          out += "nn";
          break;
        case 'S':
          out += "ss";
          break;
        case 'p':
          out += "am/pm";
          break;
        default:
          break;
      }
      continue;
    }
    if (!dateSeparator.empty() && expanded.compare(i, dateSeparator.size(), dateSeparator) == 0) {
      out += '/';
      i += dateSeparator.size() - 1;
    } else if (!timeSeparator.empty() &&
               expanded.compare(i, timeSeparator.size(), timeSeparator) == 0) {
      out += ':';
      i += timeSeparator.size() - 1;
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      out += '"';
      out += c;
      out += '"';
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

// The user's locale for one category as the environment names it (LC_ALL,
// the category's own variable, LANG); the "C" locale when that cannot be
// loaded. One category at a time, so a name that fails for the numbers does
// not cost the time separator.
locale_t OpenUserLocale(int categoryMask) {
  locale_t locale = newlocale(categoryMask, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) {
    locale = newlocale(categoryMask, "C", static_cast<locale_t>(nullptr));
  }
  return locale;
}

}  // namespace

TFormatSettings ReadSystemFormatSettings() {
  TFormatSettings settings;
  if (locale_t time = OpenUserLocale(LC_TIME_MASK); time != static_cast<locale_t>(nullptr)) {
    const std::string timePattern = nl_langinfo_l(T_FMT, time);
    const std::string datePattern = nl_langinfo_l(D_FMT, time);
    freelocale(time);
    const std::string timeSeparator = TimeSeparatorFromPattern(timePattern);
    settings.TimeSeparator = timeSeparator.empty() ? ":" : timeSeparator;
    const std::string dateSeparator = DateSeparatorFromPattern(datePattern);
    settings.DateSeparator = dateSeparator.empty() ? "/" : dateSeparator;
    settings.ShortDateFormat = FormatFromPattern(datePattern, settings.DateSeparator, {});
    settings.LongTimeFormat = FormatFromPattern(timePattern, {}, settings.TimeSeparator);
    settings.ShortTimeFormat = "hh:nn";
  }
  if (locale_t numeric = OpenUserLocale(LC_NUMERIC_MASK);
      numeric != static_cast<locale_t>(nullptr)) {
    const std::string decimal = nl_langinfo_l(RADIXCHAR, numeric);
    if (!decimal.empty()) settings.DecimalSeparator = decimal;
    settings.ThousandSeparator = nl_langinfo_l(THOUSEP, numeric);
    freelocale(numeric);
  }
  return settings;
}

}  // namespace kestrava
