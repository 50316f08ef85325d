#pragma once

// What the store's tests share: a scratch folder, records and pages made
// from JSON text, the stored texts read back through the store, and the
// file read back by SQLite's own command-line program.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "json/JSON.h"
#include "store/Store.h"
#include "tests/support/ScratchFolder.h"

namespace kestrava::testing {

// The SHA-256 of a file's bytes, in hex.
std::string Checksum(const std::string& path);

// What /usr/bin/sqlite3 prints for `sql` on the file (read only; list
// mode, "|" between columns, one row a line).
std::string Sqlite3(const std::string& db, const std::string& sql);

// A JSON array parsed from text (the test fails on a bad text).
std::unique_ptr<TJSONArray> Page(std::string_view json);
// A transaction record: {"transactionId":"ID","accountId":N,"bookingDate":"WHEN"} and
// `more` (",\"name\":value..." or empty) before the closing brace.
std::string Tx(std::string_view id, std::string_view when, int account = 1,
               std::string_view more = "");
// Records joined into a page's text.
std::string Join(const std::vector<std::string>& records);

TDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
             int millisecond = 0);

// The texts History gives, in its order.
std::vector<std::string> History(store::TStore& store, const store::TSource& source,
                                 const store::THistoryQuery& query = {});
std::vector<std::string> LatestAccounts(store::TStore& store, const store::TSource& source);

class StoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<store::TStore> Open(bool create = true);
  // A whole successful sync of `pages` (page texts) for the range.
  store::TSyncCounts Sync(store::TStore& store, const std::vector<std::string>& pages,
                          store::TTimeRange range, int account = store::kAllAccounts,
                          const store::TSource* source = nullptr);

  ScratchFolder folder;
  std::string path = folder.File("kestrava.db");
  store::TSource source{"api.test.kestrava.example", "client-1"};
  store::TTimeRange january{At(2026, 1, 1), At(2026, 2, 1)};
};

}  // namespace kestrava::testing
