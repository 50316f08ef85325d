// The option reader: both forms of a value, the end of the options, one
// wording for every mistake, values that must be stored even after a
// mistake, options that belong to commands, and the --help layout.

#include "base/Options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrava {
namespace {

struct Settings {
  bool verbose = false;
  std::optional<std::string> name;
  std::optional<std::string> file;
  long long count = 0;
  std::string color = "none";
  std::vector<std::string> tags;
};

std::vector<Option> Table(Settings& into) {
  return {
      {.name = "--verbose", .value = NoValue(into.verbose), .help = "say more", .alias = "-v"},
      {.name = "--name", .value = AnyText("NAME", Into(into.name)), .help = "a name"},
      {.name = "--file",
       .value = NonEmptyText("FILE", "a file name", Into(into.file), ValueCompletion::File),
       .help = "a file"},
      {.name = "--count",
       .value = WholeNumber("N", -5, 10, Into(into.count), "apples"),
       .help = "how many",
       .commands = {"pick", "count"}},
      {.name = "--color",
       .value = OneOf("COLOR", {"red", "green", "blue"},
                      [&into](std::size_t index) {
                        into.color = std::vector<std::string>{"red", "green", "blue"}[index];
                      }),
       .help = "a color",
       .commands = {"paint"}},
      {.name = "--tag",
       .value = AnyText("TAG", [&into](const std::string& tag) { into.tags.push_back(tag); }),
       .help = "a tag, kept with the others",
       .commands = {"pick", "count"}},
  };
}

struct Read {
  Settings settings;
  OptionsRead read;
};

Read ReadWith(const std::vector<std::string>& args) {
  Read result;
  result.read = ReadOptions(Table(result.settings), args);
  return result;
}

TEST(Options, ValuesInBothFormsAndArgumentsAnywhere) {
  const Read r = ReadWith({"first", "--name", "-x", "--count=-5", "-", "", "--file=a=b", "-v", "--",
                           "--verbose", "-v"});
  EXPECT_EQ(r.read.error, "");
  // A word after an option that takes a value is its value, whatever it
  // looks like; "-" and "" are arguments; after "--" nothing is an option.
  EXPECT_EQ(r.settings.name, "-x");
  EXPECT_EQ(r.settings.count, -5);
  EXPECT_EQ(r.settings.file, "a=b");
  EXPECT_TRUE(r.settings.verbose);
  EXPECT_EQ(r.read.arguments, (std::vector<std::string>{"first", "-", "", "--verbose", "-v"}));
  // Given options by their row's name, the alias too.
  EXPECT_EQ(r.read.given,
            (std::vector<std::string_view>{"--name", "--count", "--file", "--verbose"}));
}

TEST(Options, TheLastOfARepeatedOptionWinsUnlessItsRowKeepsEach) {
  const Read r = ReadWith(
      {"--name=a", "--name", "", "--tag", "x", "--tag=y", "--color", "red", "--color", "blue"});
  EXPECT_EQ(r.read.error, "");
  EXPECT_EQ(r.settings.name, "");
  EXPECT_EQ(r.settings.color, "blue");
  EXPECT_EQ(r.settings.tags, (std::vector<std::string>{"x", "y"}));
}

TEST(Options, EveryMistakeIsWordedTheSameWay) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--what"}, "unknown option --what"},
      {{"--what=1"}, "unknown option --what"},
      {{"-q"}, "unknown option -q"},
      // Only a long option carries its value after "=".
      {{"-v=1"}, "unknown option -v=1"},
      {{"--=x"}, "unknown option --"},
      {{"--name"}, "option --name needs a value"},
      {{"a", "--count"}, "option --count needs a value"},
      {{"--verbose=yes"}, "option --verbose takes no value"},
      {{"--verbose="}, "option --verbose takes no value"},
      {{"--file="}, "option --file needs a file name"},
      {{"--file", ""}, "option --file needs a file name"},
      {{"--count", "11"},
       "option --count needs a whole number of apples from -5 to 10, not \"11\""},
      {{"--count", "-6"},
       "option --count needs a whole number of apples from -5 to 10, not \"-6\""},
      {{"--count", "+5"},
       "option --count needs a whole number of apples from -5 to 10, not \"+5\""},
      {{"--count", " 5"},
       "option --count needs a whole number of apples from -5 to 10, not \" 5\""},
      {{"--count", "5 "},
       "option --count needs a whole number of apples from -5 to 10, not \"5 \""},
      {{"--count", "1e1"},
       "option --count needs a whole number of apples from -5 to 10, not \"1e1\""},
      {{"--count", ""}, "option --count needs a whole number of apples from -5 to 10, not \"\""},
      {{"--count", "99999999999999999999"},
       "option --count needs a whole number of apples from -5 to 10, not \"99999999999999999999\""},
      {{"--color", "Red"}, "option --color needs red, green or blue, not \"Red\""},
      {{"--color="}, "option --color needs red, green or blue, not \"\""},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_EQ(ReadWith(args).read.error, message);
  }
}

TEST(Options, AfterAMistakeTheRestIsStillReadAndTheFirstMistakeIsTold) {
  const Read r = ReadWith({"--count", "x", "--what", "--name", "kept", "--verbose=1", "word"});
  EXPECT_EQ(r.read.error, "option --count needs a whole number of apples from -5 to 10, not \"x\"");
  EXPECT_EQ(r.settings.name, "kept");
  EXPECT_EQ(r.settings.count, 0);  // a refused value is not stored
  EXPECT_FALSE(r.settings.verbose);
  EXPECT_EQ(r.read.arguments, std::vector<std::string>{"word"});
}

TEST(Options, AnOptionOfOtherCommandsIsNamedWithItsKin) {
  Settings settings;
  const std::vector<Option> table = Table(settings);
  const struct {
    std::vector<std::string_view> given;
    std::string command, message;
  } cases[] = {
      {{"--verbose", "--name", "--count", "--tag"}, "pick", ""},
      {{"--count"}, "count", ""},
      {{}, "paint", ""},
      {{"--verbose", "--color"}, "paint", ""},
      {{"--verbose", "--tag"}, "paint", "--count and --tag belong to the pick and count commands"},
      {{"--color", "--count"}, "pick", "--color belongs to the paint command"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(CheckCommandOptions(table, c.given, c.command), c.message);
  }
}

TEST(Options, HelpListsEachOptionWithItsValueAndAlignsTheText) {
  Settings settings;
  EXPECT_EQ(OptionHelp(Table(settings), 16),
            "  --verbose     say more\n"
            "  --name NAME   a name\n"
            "  --file FILE   a file\n"
            "  --count N     how many\n"
            "  --color COLOR\n"
            "                a color\n"
            "  --tag TAG     a tag, kept with the others\n");
  // Two spaces at least part a term from its text; more lines align.
  EXPECT_EQ(HelpEntry("abcdef", "one\ntwo", 10), "  abcdef  one\n          two\n");
  EXPECT_EQ(HelpEntry("abcdefg", "one\ntwo", 10), "  abcdefg\n          one\n          two\n");
}

}  // namespace
}  // namespace kestrava
