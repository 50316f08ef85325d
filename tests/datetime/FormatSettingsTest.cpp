#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "datetime/FormatSettings.h"
#include "datetime/SystemFormatSettings.h"

#if defined(__SANITIZE_ADDRESS__)
#define KESTRAVA_HAS_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRAVA_HAS_LSAN 1
#endif
#endif
#ifdef KESTRAVA_HAS_LSAN
#include <sanitizer/lsan_interface.h>
#endif

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

// A real locale, compiled at test time into a folder of its own (LOCPATH):
// times written 08.30.05, dates 14-05-2025, decimal comma. localedef needs
// the character maps of the "locales" package; without them the tests skip.
class InstalledLocale : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = ::testing::TempDir() + "kestrava-locale-" + std::to_string(getpid());
    std::filesystem::create_directories(folder_);
    const std::string source = folder_ + "/kx.def";
    std::ofstream(source) << R"(LC_NUMERIC
decimal_point ","
thousands_sep "."
grouping 3
END LC_NUMERIC
LC_TIME
abday "Sun";"Mon";"Tue";"Wed";"Thu";"Fri";"Sat"
day "Sunday";"Monday";"Tuesday";"Wednesday";"Thursday";"Friday";"Saturday"
abmon "Jan";"Feb";"Mar";"Apr";"May";"Jun";"Jul";"Aug";"Sep";"Oct";"Nov";"Dec"
mon "January";"February";"March";"April";"May";"June";"July";"August";"September";"October";"November";"December"
am_pm "";""
d_t_fmt "%d-%m-%Y %T"
d_fmt "%d-%m-%Y"
t_fmt "%H.%M.%S"
t_fmt_ampm ""
END LC_TIME
)";
    // Exit status 1 only reports the categories left out; the result counts.
    const std::string command =
        "localedef -c -i '" + source + "' -f ANSI_X3.4-1968 '" + folder_ + "/kx' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    static_cast<void>(status);
    built_ = std::filesystem::exists(folder_ + "/kx/LC_TIME") &&
             std::filesystem::exists(folder_ + "/kx/LC_NUMERIC");
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(folder_); }

  void SetUp() override {
    if (!built_) GTEST_SKIP() << "localedef could not build a test locale here";
    for (const char* name : {"LOCPATH", "LC_ALL", "LC_TIME", "LC_NUMERIC", "LANG"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      ::unsetenv(name);
    }
    ::setenv("LOCPATH", folder_.c_str(), 1);
#ifdef KESTRAVA_HAS_LSAN
    // glibc's newlocale keeps the search list it builds from LOCPATH.
    __lsan_disable();
#endif
  }
  void TearDown() override {
#ifdef KESTRAVA_HAS_LSAN
    if (built_) __lsan_enable();
#endif
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }

  static inline std::string folder_;
  static inline bool built_ = false;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(InstalledLocale, SeparatorsComeFromTheUsersLocale) {
  ::setenv("LC_ALL", "kx", 1);
  const TFormatSettings s = ReadSystemFormatSettings();
  EXPECT_EQ(s.TimeSeparator, ".");
  EXPECT_EQ(s.DateSeparator, "-");
  EXPECT_EQ(s.DecimalSeparator, ",");
  EXPECT_EQ(s.ThousandSeparator, ".");
  EXPECT_EQ(s.ShortDateFormat, "dd/mm/yyyy");
  EXPECT_EQ(s.LongTimeFormat, "hh:nn:ss");

  // Start-up keeps the locale's time separator; it reaches the query time.
  InitializeFormatSettings();
  EXPECT_EQ(FormatSettings.TimeSeparator, ".");
  EXPECT_EQ(FormatSettings.DateSeparator, ".");
  EXPECT_EQ(
      FormatDateTime("hh:nn:ss.zzz", EncodeDateTime(2025, 5, 14, 8, 30, 5, 7), FormatSettings),
      "08.30.05.007");
  RefreshFormatSettings();
  EXPECT_EQ(FormatSettings.DateSeparator, "-");
}

TEST_F(InstalledLocale, TheTimeSeparatorSurvivesANumericLocaleThatCannotBeLoaded) {
  // LANG names a locale that is not installed; only LC_TIME is a real one.
  ::setenv("LANG", "xx_NOWHERE.UTF-8", 1);
  ::setenv("LC_TIME", "kx", 1);
  const TFormatSettings s = ReadSystemFormatSettings();
  EXPECT_EQ(s.TimeSeparator, ".");
  EXPECT_EQ(s.DateSeparator, "-");
  EXPECT_EQ(s.DecimalSeparator, ".");
}

}  // namespace
}  // namespace kestrava
