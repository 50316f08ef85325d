#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/Exception.h"
#include "datetime/FormatSettings.h"

namespace kestrava {
namespace {

TFormatSettings Colon() {
  TFormatSettings s;
  s.TimeSeparator = ":";
  s.DateSeparator = "/";
  return s;
}

TEST(FormatDateTime, TokensOfTheQueryFormats) {
  const TFormatSettings colon = Colon();
  TFormatSettings dot = colon;
  dot.TimeSeparator = ".";
  struct Case {
    const char* format;
    TDateTime value;
    const TFormatSettings* settings;
    const char* expected;
  };
  const TDateTime may14 = EncodeDateTime(2025, 5, 14, 8, 30, 5, 7);
  const Case cases[] = {
      {"yyyy-mm-dd", may14, &colon, "2025-05-14"},
      {"hh:nn:ss.zzz", may14, &colon, "08:30:05.007"},
      {"hh:nn:ss.zzz", may14, &dot, "08.30.05.007"},
      {"yyyy-mm-dd", may14, &dot, "2025-05-14"},
      {"hh:nn:ss.zzz", EncodeDateTime(2024, 12, 31, 23, 59, 59, 999), &colon, "23:59:59.999"},
      {"yyyy-mm-dd", EncodeDateTime(2024, 2, 29, 0, 0, 0, 0), &colon, "2024-02-29"},
      // Less than half a millisecond before midnight is the next day.
      {"yyyy-mm-dd hh:nn:ss.zzz", EncodeDateTime(2025, 5, 14, 0, 0, 0, 0) + 86399999.6 / 86400000.0,
       &colon, "2025-05-15 00:00:00.000"},
      {"yyyy-mm-dd hh:nn", -1.25, &colon, "1899-12-29 06:00"},
      {"yyyy", EncodeDateTime(1, 1, 1, 0, 0, 0, 0), &colon, "0001"},
      {"yy y yyy", EncodeDateTime(2007, 1, 1, 0, 0, 0, 0), &colon, "07 07 2007"},
      {"m/d h:n:s.z", EncodeDateTime(2025, 3, 4, 5, 6, 7, 8), &colon, "3/4 5:6:7.8"},
      {"zz zzzz", EncodeDateTime(2025, 3, 4, 5, 6, 7, 5), &colon, "05 005"},
      {"hhh nnn sss", EncodeDateTime(2025, 3, 4, 5, 6, 7, 8), &colon, "05 06 07"},
      // Letter case does not change the token.
      {"YYYY-MM-DD HH:NN:SS.ZZZ", may14, &colon, "2025-05-14 08:30:05.007"},
      // mm right after an hour token is the minute.
      {"hh:mm", may14, &colon, "08:30"},
      {"h mm", may14, &colon, "8 30"},
      {"hhmm", may14, &colon, "0830"},
      {"hh'h'mm", may14, &colon, "08h30"},
      {"mm hh mm", may14, &colon, "05 08 30"},
      // Only an hour token turns mm into the minute; after nn it is the month.
      {"nn mm", may14, &colon, "30 05"},
      {"hh:mm:mm", may14, &colon, "08:30:05"},
      {"hh dd mm", may14, &colon, "08 14 05"},
      {"'yyyy' \"hh\" yyyy", may14, &colon, "yyyy hh 2025"},
      {"dd/mm/yyyy", may14, &dot, "14/05/2025"},
      {"T", may14, &colon, "T"},
      {"", may14, &colon, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatDateTime(c.format, c.value, *c.settings), c.expected) << c.format;
  }
}

TEST(FormatDateTime, SeparatorsComeFromTheRecordAndMayBeEmptyOrWide) {
  TFormatSettings s = Colon();
  s.TimeSeparator = "";
  s.DateSeparator = "";
  const TDateTime value = EncodeDateTime(2025, 5, 14, 8, 30, 5, 7);
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss", value, s), "14052025 083005");
  s.TimeSeparator = "\xE6\x99\x82";  // one non-ASCII character
  s.DateSeparator = ".";
  EXPECT_EQ(FormatDateTime("dd/mm hh:nn", value, s),
            "14.05 08\xE6\x99\x82"
            "30");
}

TEST(FormatDateTime, NamesAndUnusedLettersStayDefined) {
  const TDateTime value = EncodeDateTime(2025, 5, 14, 8, 30, 5, 7);  // a Wednesday
  TFormatSettings s = Colon();
  EXPECT_EQ(FormatDateTime("mmm mmmm ddd dddd", value, s), "May May Wed Wednesday");
  EXPECT_EQ(FormatDateTime("ddddd", value, s), "14/05/2025");
  s.ShortDateFormat = "ddddd";  // a self-referring pattern stops after one level
  EXPECT_EQ(FormatDateTime("ddddd", value, s), "");
  EXPECT_EQ(FormatDateTime("qx-Qw", value, s), "qx-Qw");
}

TEST(FormatDateTime, OutOfRangeValueIsAConvertError) {
  EXPECT_THROW(FormatDateTime("yyyy", 3e6, Colon()), EConvertError);
}

}  // namespace
}  // namespace kestrava

namespace kestrava {
namespace {

// Any format text gives a defined result: bounded random formats, bytes
// of every kind, quotes and separators included.
TEST(FormatDateTime, AnyFormatTextIsDefined) {
  std::uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  const std::string alphabet = "yYmMdDhHnNsSzZaAtTcC:/'\". -\xC3\xA9\x01";
  TFormatSettings s;
  s.TimeSeparator = ".";
  const TDateTime value = EncodeDateTime(2025, 5, 14, 8, 30, 5, 7);
  for (int i = 0; i < 5000; ++i) {
    std::string format;
    const std::size_t length = next() % 24;
    for (std::size_t j = 0; j < length; ++j) {
      format +=
          (next() % 4 == 0) ? static_cast<char>(next() % 256) : alphabet[next() % alphabet.size()];
    }
    const std::string text = FormatDateTime(format, value, s);
    EXPECT_LT(text.size(), 64 + 16 * format.size()) << format;
  }
}

}  // namespace
}  // namespace kestrava
