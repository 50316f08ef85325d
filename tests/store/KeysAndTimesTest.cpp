// The pure parts of the store: record keys, the stored form of booking
// dates, and where the store's file is.

#include <gtest/gtest.h>

#include <map>

#include "store/RecordKey.h"
#include "store/Store.h"
#include "store/StorePath.h"
#include "store/StoreTime.h"
#include "tests/store/StoreFixture.h"

namespace kestrava::testing {
namespace {

using store::RecordKey;

TEST(RecordKey, TheIdentifierWhenItIsUsableElseTheDigestOfTheText) {
  // SHA-256 of the three bytes "abc", a published test vector.
  EXPECT_EQ(store::Sha256Hex("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  struct Case {
    const char* record;
    const char* key;  // empty: the digest of the record's compact text
  } cases[] = {
      {R"({"transactionId":"T-1","amount":1})", "T-1"},
      {R"({"transactionId":12.50})", "12.50"},  // the number's text as written
      {R"({"transactionId":-0})", "-0"},
      {R"({"transactionId":"ţ\/x"})", "ţ/x"},  // the string's content
      {R"({"transactionId":"first","transactionId":"second"})", "first"},
      {R"({"transactionId":""})", ""},
      {R"({"transactionId":null})", ""},
      {R"({"transactionId":true})", ""},
      {R"({"transactionId":{"a":1}})", ""},
      {R"({"transactionId":[1]})", ""},
      {R"({"TransactionId":"T-1"})", ""},  // names are compared exactly
      {R"({"amount":1})", ""},
      {R"([1,2])", ""},
      {R"("just a string")", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    const std::unique_ptr<TJSONValue> record = ParseJSONValue(c.record);
    ASSERT_NE(record, nullptr);
    const std::string text = record->ToString();
    const std::string expected =
        *c.key != '\0' ? std::string(c.key) : "sha256:" + store::Sha256Hex(text);
    EXPECT_EQ(RecordKey(*record, store::kTransactionIdMember, text), expected);
  }
  // Accounts by their own member.
  const std::unique_ptr<TJSONValue> account =
      ParseJSONValue(R"({"accountId":7,"transactionId":1})");
  EXPECT_EQ(RecordKey(*account, store::kAccountIdMember, account->ToString()), "7");
}

TEST(RecordKey, DigestsDifferWithAnyByteOfTheText) {
  const std::unique_ptr<TJSONValue> a = ParseJSONValue(R"({"amount":1.0})");
  const std::unique_ptr<TJSONValue> b = ParseJSONValue(R"({"amount":1})");
  EXPECT_NE(RecordKey(*a, store::kTransactionIdMember, a->ToString()),
            RecordKey(*b, store::kTransactionIdMember, b->ToString()));
}

TEST(StoreTime, BookingDatesInTheStoresSortableForm) {
  const std::map<std::string, std::string> readable = {
      {"2026-01-05", "2026-01-05T00:00:00.000"},
      {"2026-01-05T10:20", "2026-01-05T10:20:00.000"},
      {"2026-01-05T10:20:30", "2026-01-05T10:20:30.000"},
      {"2026-01-05T10:20:30.4", "2026-01-05T10:20:30.400"},
      {"2026-01-05T10:20:30.045Z", "2026-01-05T10:20:30.045"},
      {"2026-01-05T10:20:30.0459999", "2026-01-05T10:20:30.045"},  // past ms: dropped
      {"2026-01-05 10:20:30", "2026-01-05T10:20:30.000"},
      {"2026-01-05t10:20:30z", "2026-01-05T10:20:30.000"},
      {"2026-01-05T10:20:30+02:00", "2026-01-05T10:20:30.000"},  // the wall clock as written
      {"2026-01-05T23:59:59.999-11:30", "2026-01-05T23:59:59.999"},
      {"2024-02-29", "2024-02-29T00:00:00.000"},
      {"0001-01-01", "0001-01-01T00:00:00.000"},
      {"9999-12-31T23:59:59.999", "9999-12-31T23:59:59.999"},
  };
  for (const auto& [text, stored] : readable) {
    SCOPED_TRACE(text);
    const std::optional<TDateTime> time = store::BookingTime(text);
    ASSERT_TRUE(time);
    EXPECT_EQ(store::TimeText(*time), stored);
  }
  for (const char* unreadable : {"",
                                 "2026",
                                 "2026-1-5",
                                 "2026-01-05T",
                                 "2026-01-05T10",
                                 "2026-01-05T10:2",
                                 "2026-01-05T10:20:3",
                                 "2026-01-05T10:20:30.",
                                 "2026-01-05T10:20:30.5ZZ",
                                 "2026-01-05T10:20:30+02",
                                 "2026-01-05T10:20:30+25:00",
                                 "2026-02-30",
                                 "2025-02-29",
                                 "2026-13-01",
                                 "0000-01-01",
                                 "2026-01-05T24:00:00",
                                 "2026-01-05T10:60",
                                 "2026-01-05T10:20:60",
                                 " 2026-01-05",
                                 "2026-01-05 ",
                                 "２０２６-01-05",
                                 "yesterday"}) {
    SCOPED_TRACE(unreadable);
    EXPECT_EQ(store::BookingTime(unreadable), std::nullopt);
  }
}

TEST(StoreTime, TimesRoundTripAtWholeMilliseconds) {
  for (TDateTime value :
       {At(2026, 1, 5, 10, 20, 30, 45), At(1, 1, 1), At(9999, 12, 31, 23, 59, 59, 999)}) {
    const std::string text = store::TimeText(value);
    EXPECT_EQ(store::TimeFromText(text), value) << text;
  }
  EXPECT_EQ(store::TimeText(At(2026, 1, 5, 7, 8, 9, 10)), "2026-01-05T07:08:09.010");
  EXPECT_THROW(store::TimeText(1e9), store::EStoreError);
  EXPECT_EQ(store::TimeFromText("2026-01-05T07:08:09.01"), std::nullopt);
  EXPECT_EQ(store::TimeFromText("2026-02-30T07:08:09.010"), std::nullopt);
  // The booking times in the store count from 1970 on the wall clock.
  EXPECT_EQ(store::WallClockMilliseconds(At(1970, 1, 1)), 0);
  EXPECT_EQ(store::WallClockMilliseconds(At(1970, 1, 2, 0, 0, 0, 1)), 86'400'001);
  EXPECT_EQ(store::WallClockMilliseconds(At(1969, 12, 31, 23, 59, 59, 999)), -1);
}

TEST(StorePath, TheOptionThenTheEnvironmentThenHome) {
  using Env = std::map<std::string, std::string>;
  struct Case {
    std::optional<std::string> db;
    Env env;
    std::string expected;
  } cases[] = {
      {"/x/my.db", {{"KESTRAVA_DB", "/y/other.db"}, {"HOME", "/h"}}, "/x/my.db"},
      {"relative.db", {}, "relative.db"},
      {std::nullopt, {{"KESTRAVA_DB", "/y/other.db"}, {"XDG_DATA_HOME", "/d"}}, "/y/other.db"},
      {std::nullopt, {{"KESTRAVA_DB", ""}, {"XDG_DATA_HOME", "/d"}}, "/d/kestrava/kestrava.db"},
      {std::nullopt, {{"XDG_DATA_HOME", "/d"}, {"HOME", "/h"}}, "/d/kestrava/kestrava.db"},
      {std::nullopt,
       {{"XDG_DATA_HOME", "relative"}, {"HOME", "/h"}},
       "/h/.local/share/kestrava/kestrava.db"},
      {std::nullopt,
       {{"XDG_DATA_HOME", ""}, {"HOME", "/h"}},
       "/h/.local/share/kestrava/kestrava.db"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    const store::TGetEnv getenv = [&](const std::string& name) -> std::optional<std::string> {
      const auto found = c.env.find(name);
      return found == c.env.end() ? std::nullopt : std::optional(found->second);
    };
    EXPECT_EQ(store::StorePath(c.db, getenv), c.expected);
  }
  const store::TGetEnv none = [](const std::string&) { return std::nullopt; };
  EXPECT_THROW(store::StorePath(std::string(), none), store::EStoreError);
  try {
    store::StorePath(std::nullopt, none);
    ADD_FAILURE() << "no place, yet a path";
  } catch (const store::EStoreError& e) {
    EXPECT_EQ(e.Message(), "no place for the store: give --db FILE, or set KESTRAVA_DB or HOME");
  }
}

}  // namespace
}  // namespace kestrava::testing
