// The display text of a read, built page by page as the pages arrive, is
// byte for byte what the window made before from the whole collected
// array (compact text, parsed again, display text): for every JSON text
// the tests hold, every input kept from fuzzing and the sandbox's own
// records, in pages of several sizes, and read into the same lines. Where
// one way fails, the other fails too.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/FormatJson.h"
#include "app/RecordsText.h"
#include "base/Exception.h"
#include "json/JSON.h"
#include "sandbox/SandboxData.h"
#include "tests/json/JsonCases.h"
#include "tests/support/KeptInputs.h"

namespace kestrava {
namespace {

// The parsed replies of a read's pages, as the client receives them.
using TPages = std::vector<std::unique_ptr<TJSONValue>>;

const TJSONArray* Records(const TJSONValue& reply) {
  return reply.GetValue<TJSONArray>("result");
}

struct TOutcome {
  bool failed = false;
  std::string text;
  // Where each line of the text starts, as the text area reads it.
  std::vector<std::size_t> lineStarts;
  bool operator==(const TOutcome&) const = default;
};

std::vector<std::size_t> LineStarts(const TMemoText& text) {
  std::vector<std::size_t> starts;
  for (std::size_t line = 0; line < text.LineCount(); ++line)
    starts.push_back(text.LineStart(line));
  return starts;
}

// As the window read before: every record copied into one array, its
// compact text, parsed again, displayed.
TOutcome ThroughTheCollectedArray(const TPages& pages) {
  TJSONArray collected;
  try {
    for (const auto& reply : pages) {
      const TJSONArray& records = *Records(*reply);
      for (std::size_t i = 0; i < records.Count(); ++i)
        collected.AddElement(records.Get(i)->Clone());
    }
  } catch (const Exception&) {
    return {true, {}, {}};
  }
  TMemoText text;
  text.Assign(FormatJson(collected.ToString(), 1));
  return {false, text.Bytes(), LineStarts(text)};
}

// As the window reads now: each page's records, checked as a copy would
// check them, appended to the text as they come.
TOutcome PageByPage(const TPages& pages) {
  TRecordsText text;
  try {
    int read = 0;
    for (const auto& reply : pages) {
      const TJSONArray& records = *Records(*reply);
      records.CheckClone();
      text.Add(records);
      text.ExpectPages(++read, static_cast<int>(pages.size()));
    }
  } catch (const Exception&) {
    return {true, {}, {}};
  }
  const TMemoText shown = text.Finish();
  return {false, shown.Bytes(), LineStarts(shown)};
}

// The records a JSON text stands for: an array's elements, or the value
// itself. Each page of them goes into a reply as the service sends it.
// Gives how many ways of paging were compared (none when the text is no
// JSON, or too deep to go into a reply).
int CompareBothWays(std::string_view json) {
  const auto value = ParseJSONValue(json);
  if (value == nullptr) return 0;
  std::vector<std::string> records;
  if (value->Kind() == TJSONKind::Array) {
    const auto& array = static_cast<const TJSONArray&>(*value);
    for (std::size_t i = 0; i < array.Count(); ++i) records.push_back(array.Get(i)->ToString());
  } else {
    records.push_back(value->ToString());
  }
  int compared = 0;
  for (const std::size_t pageSize : {std::size_t{1}, std::size_t{3}, std::size_t{50}}) {
    TPages pages;
    const std::size_t count = (records.size() + pageSize - 1) / pageSize;
    for (std::size_t page = 0; page == 0 || page < count; ++page) {
      std::string reply = "{\"totalPages\":" + std::to_string(count) + ",\"result\":[";
      for (std::size_t i = page * pageSize; i < std::min(records.size(), (page + 1) * pageSize);
           ++i)
        reply += (i == page * pageSize ? "" : ",") + records[i];
      reply += "]}";
      auto parsed = ParseJSONValue(reply);
      if (parsed == nullptr) return compared;  // deeper than a reply may be
      pages.push_back(std::move(parsed));
    }
    const TOutcome before = ThroughTheCollectedArray(pages);
    EXPECT_EQ(PageByPage(pages), before)
        << "pages of " << pageSize << ": " << ::testing::PrintToString(std::string(json));
    ++compared;
  }
  return compared;
}

TEST(RecordsText, EqualsTheDisplayTextOfTheCollectedArrayForEveryJsonTestText) {
  int compared = 0;
  for (const ParseCase& c : kParseCases) compared += CompareBothWays(c.text);
  for (const DisplayCase& c : kDisplayCases) compared += CompareBothWays(c.text);
  for (const char* element : kAppendedElements) compared += CompareBothWays(element);
  for (const RangeCase& c : kNumberRangeCases) {
    compared += CompareBothWays(c.text);
    compared += CompareBothWays(std::string("[1,{\"n\":") + c.text + "},2]");
  }
  // Beyond them: what a service sends that the tables hold no case of.
  for (const char* text : {"[]", "[[]]", "[{},[],\"\",0]", "[\"\\u0000\\ud800\\udc00\"]",
                           "[{\"a\":1,\"a\":2}]", "{\"result\":[1]}"})
    compared += CompareBothWays(text);
  EXPECT_GT(compared, 300);
}

TEST(RecordsText, EqualsTheDisplayTextOfTheCollectedArrayForEveryKeptFuzzInput) {
  int inputs = 0;
  int compared = 0;
  const std::filesystem::path fuzz = KESTRAVA_FUZZ_ROOT;
  for (const auto& area : std::filesystem::directory_iterator(fuzz)) {
    for (const char* kind : {"seeds", "regressions"}) {
      const std::filesystem::path targets = area.path() / kind;
      if (!std::filesystem::is_directory(targets)) continue;
      for (const auto& target : std::filesystem::directory_iterator(targets)) {
        inputs += testing::ReplayKeptInputs(area.path(), target.path().filename().string(),
                                            [&](const std::uint8_t* data, std::size_t size) {
                                              compared += CompareBothWays(std::string_view(
                                                  reinterpret_cast<const char*>(data), size));
                                            });
      }
    }
  }
  EXPECT_GT(inputs, 30);
  EXPECT_GT(compared, 10);
}

TEST(RecordsText, EqualsTheDisplayTextOfTheCollectedArrayForTheSandboxRecords) {
  sandbox::DataScale scale;
  scale.accounts = 7;
  scale.transactionsPerDay = 120;
  scale.days = 3;
  const sandbox::DataSet data =
      sandbox::MakeDataSet(sandbox::Environment::Production, scale, 20'000);
  std::string transactions = "[", accounts = "[";
  for (const sandbox::Transaction& t : data.transactions)
    transactions += (transactions.size() > 1 ? "," : "") + sandbox::TransactionJson(data, t);
  for (const sandbox::Account& a : data.accounts)
    accounts += (accounts.size() > 1 ? "," : "") + sandbox::AccountJson(a);
  EXPECT_EQ(CompareBothWays(transactions + "]"), 3);
  EXPECT_EQ(CompareBothWays(accounts + "]"), 3);
}

// A service that announces more pages than it could ever send: the room
// set aside stays bounded and the text comes out the same.
TEST(RecordsText, RoomForTheAnnouncedPagesIsBounded) {
  const auto reply = ParseJSONValue("{\"result\":[{\"id\":1},{\"id\":2}]}");
  TRecordsText text;
  text.Add(*Records(*reply));
  text.ExpectPages(1, 2'147'483'647);
  text.Add(*Records(*reply));
  EXPECT_EQ(text.Count(), 4u);
  const TMemoText shown = text.Finish();
  EXPECT_LE(shown.Capacity(), std::size_t{5} << 30);
  EXPECT_EQ(shown.Bytes(), FormatJson("[{\"id\":1},{\"id\":2},{\"id\":1},{\"id\":2}]", 1));
  EXPECT_EQ(shown.LineCount(), 14u);
  EXPECT_EQ(text.Finish().Bytes(), "[\r\n]");  // and it starts again empty
}

}  // namespace
}  // namespace kestrava
