#include <gtest/gtest.h>

#include <cstdlib>

#include "datetime/FormatSettings.h"
#include "datetime/SystemFormatSettings.h"

namespace kestrava {
namespace {

TEST(SystemFormatSettings, TimeSeparatorIsTheFirstCharacterBetweenHourAndMinute) {
  struct Case {
    const char* pattern;
    const char* expected;
  };
  const Case cases[] = {
      {"%H:%M:%S", ":"},
      {"%T", ":"},
      {"%r", ":"},
      {"%H.%M.%S", "."},
      {"%k.%M", "."},
      {"%OH:%OM", ":"},
      {"%H h %M", " "},
      {"%H\xE6\x99\x82%M\xE5\x88\x86", "\xE6\x99\x82"},
      {"%p %I:%M:%S", ":"},
      {"%H%M%S", ""},
      {"%S", ""},
      {"", ""},
      {"%", ""},
      {"%H", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TimeSeparatorFromPattern(c.pattern), c.expected) << c.pattern;
  }
}

TEST(SystemFormatSettings, DateSeparatorAndPatterns) {
  EXPECT_EQ(DateSeparatorFromPattern("%d.%m.%Y"), ".");
  EXPECT_EQ(DateSeparatorFromPattern("%D"), "/");
  EXPECT_EQ(DateSeparatorFromPattern("%F"), "-");
  EXPECT_EQ(FormatFromPattern("%d.%m.%Y", ".", ""), "dd/mm/yyyy");
  EXPECT_EQ(FormatFromPattern("%H.%M.%S", "", "."), "hh:nn:ss");
  EXPECT_EQ(FormatFromPattern("%T", "", ":"), "hh:nn:ss");
}

TEST(FormatSettingsRecord, StartUpOverridesAllButTheTimeSeparator) {
  const TFormatSettings system = ReadSystemFormatSettings();
  EXPECT_FALSE(system.TimeSeparator.empty());
  InitializeFormatSettings();
  EXPECT_EQ(FormatSettings.DateSeparator, ".");
  EXPECT_EQ(FormatSettings.ShortDateFormat, "dd/mm/yyyy");
  EXPECT_EQ(FormatSettings.ShortTimeFormat, "hh:nn:ss");
  EXPECT_EQ(FormatSettings.LongTimeFormat, "hh:nn:ss");
  EXPECT_EQ(FormatSettings.ThousandSeparator, ".");
  EXPECT_EQ(FormatSettings.DecimalSeparator, ",");
  EXPECT_EQ(FormatSettings.TimeSeparator, system.TimeSeparator);
  RefreshFormatSettings();
  EXPECT_EQ(FormatSettings.DateSeparator, system.DateSeparator);
  EXPECT_EQ(FormatSettings.DecimalSeparator, system.DecimalSeparator);
}

TEST(FormatSettingsRecord, TheCLocaleGivesAColon) {
  ::setenv("LC_ALL", "C", 1);
  const TFormatSettings c = ReadSystemFormatSettings();
  ::unsetenv("LC_ALL");
  EXPECT_EQ(c.TimeSeparator, ":");
  EXPECT_EQ(c.DecimalSeparator, ".");
}

TEST(FormatSettingsRecord, AnUnknownLocaleFallsBackInsteadOfFailing) {
  ::setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);
  const TFormatSettings s = ReadSystemFormatSettings();
  ::unsetenv("LC_ALL");
  EXPECT_EQ(s.TimeSeparator, ":");
}

}  // namespace
}  // namespace kestrava
