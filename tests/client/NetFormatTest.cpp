#include <gtest/gtest.h>

#include "client/Kestrava2Intf.h"
#include "datetime/FormatSettings.h"

namespace kestrava {
namespace {

class NetFormat : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = FormatSettings;
    FormatSettings.TimeSeparator = ":";
  }
  void TearDown() override { FormatSettings = saved_; }

 private:
  TFormatSettings saved_;
};

TEST_F(NetFormat, DateTimeTexts) {
  struct Case {
    const char* name;
    TDateTime value;
    const char* expected;
  };
  const TDateTime may14 = EncodeDateTime(2025, 5, 14, 0, 0, 0, 0);
  const Case cases[] = {
      {"plain", EncodeDateTime(2025, 5, 14, 8, 30, 0, 0), "2025-05-14T08:30:00.000Z"},
      {"last millisecond of a year", EncodeDateTime(2024, 12, 31, 23, 59, 59, 999),
       "2024-12-31T23:59:59.999Z"},
      {"0.4 ms before midnight is the next day", may14 + 86399999.6 / 86400000.0,
       "2025-05-15T00:00:00.000Z"},
      {"0.6 ms before midnight stays", may14 + 86399999.4 / 86400000.0, "2025-05-14T23:59:59.999Z"},
      {"leap day", EncodeDateTime(2024, 2, 29, 12, 0, 0, 5), "2024-02-29T12:00:00.005Z"},
      {"negative day count", -1.25, "1899-12-29T06:00:00.000Z"},
      {"negative day count with milliseconds", EncodeDateTime(1899, 12, 29, 23, 59, 59, 999),
       "1899-12-29T23:59:59.999Z"},
      {"first day of year one", EncodeDateTime(1, 1, 1, 0, 0, 0, 1), "0001-01-01T00:00:00.001Z"},
      // Multiples of 1/2048 day are exact halves of a millisecond on any day.
      {"half a millisecond up to even", 45000 + 1.0 / 2048, "2023-03-15T00:00:42.188Z"},
      {"half a millisecond down to even", 45000 + 3.0 / 2048, "2023-03-15T00:02:06.562Z"},
      {"half a millisecond on a negative day count", -(45000 + 1.0 / 2048),
       "1776-10-15T00:00:42.188Z"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateTimeToNetFormat(c.value), c.expected) << c.name;
  }
}

TEST_F(NetFormat, TiesAtHalfAMillisecondGoToEven) {
  // Exact halves of a millisecond on day 0, where the product is exact.
  int checked = 0;
  for (int k = 0; k < 40; ++k) {
    const double value = (k + 0.5) / 86400000.0;
    if (value * 86400000.0 != k + 0.5) continue;
    ++checked;
    const int even = k % 2 == 0 ? k : k + 1;
    char expected[32];
    std::snprintf(expected, sizeof expected, "1899-12-30T00:00:00.%03dZ", even);
    EXPECT_EQ(DateTimeToNetFormat(value), expected) << k;
  }
  EXPECT_GT(checked, 5);
}

TEST_F(NetFormat, TimeSeparatorDot) {
  FormatSettings.TimeSeparator = ".";
  EXPECT_EQ(DateTimeToNetFormat(EncodeDateTime(2025, 5, 14, 8, 30, 5, 7)),
            "2025-05-14T08.30.05.007Z");
}

TEST(PageCount, DecimalIntegerTextOrZero) {
  struct Case {
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"3", 3},
      {"0", 0},
      {"-2", -2},
      {"+3", 3},
      {"", 0},
      {" 3", 0},
      {"3 ", 0},
      {"3.0", 0},
      {"3e0", 0},
      {"0x10", 0},
      {"+-3", 0},
      {"--3", 0},
      {"-", 0},
      {"+", 0},
      {"007", 7},
      {"true", 0},
      {"2147483647", 2147483647},
      {"2147483648", 0},
      {"-2147483648", -2147483648},
      {"99999999999", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(PageCountFromText(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace kestrava
