#pragma once

// How the values of a record become the cells of a workbook: which numbers
// and which texts a spreadsheet holds as numbers and dates, and the escape
// that keeps a text exactly as it is.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava {

struct XlsxNumber {
  double value;
  int decimals;       // shown as written: 12.50 has 2, -3.10e2 none
  std::size_t width;  // of the number as shown, in characters
};

// A JSON number text as a number cell; none when a spreadsheet cannot hold
// it as written: more than 15 significant digits (a 20-digit id), more than
// 30 decimals, or beyond the range of a double.
std::optional<XlsxNumber> ReadXlsxNumber(std::string_view text);

struct XlsxDate {
  int year, month, day;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  bool hasTime = false;
  std::string_view format;  // the number format that shows it as written
};

// An ISO 8601 date (2025-05-14) or local date-time (2025-05-14T08:30,
// with :SS, .f to .fff and "Z" optional) from 1900 to 9999 as a date cell;
// none otherwise. A "Z" is dropped as the service's texts carry it on local
// times; a text with another offset or finer than milliseconds stays text.
std::optional<XlsxDate> ReadXlsxDate(std::string_view text);

// The text as a workbook holds it: a workbook's XML reads "_xHHHH_" as the
// character U+HHHH, so a text that holds such a sequence gets its "_"
// escaped as "_x005F_"; a NUL byte becomes "_x0000_".
std::string EscapeXlsxText(std::string_view text);

}  // namespace kestrava
