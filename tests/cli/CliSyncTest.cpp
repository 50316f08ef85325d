// sync, history and status against the sandbox, each at a time the test
// sets: what a sync reads and counts, what it covers, and that history
// then prints what the service printed.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "json/JSON.h"
#include "sandbox/SandboxData.h"
#include "tests/cli/Process.h"
#include "tests/cli/StoreFixture.h"
#include "tests/support/Workbook.h"

namespace kestrava::testing {
namespace {

// Twenty days of 240 transactions over four accounts: a day is five pages.
sandbox::ServiceOptions Service() {
  sandbox::ServiceOptions service;
  service.scale.days = 20;
  service.scale.transactionsPerDay = 240;
  return service;
}

// The formats whose bytes history must repeat; a workbook's bytes hold the
// time it was written, so xlsx is compared cell by cell (see Workbook).
const char* const kFormats[] = {"display", "compact", "ndjson", "csv", "csv-excel"};

// The records of ndjson output, by transactionId, with their texts.
std::map<std::string, std::string> ById(const std::string& ndjson) {
  std::map<std::string, std::string> records;
  for (const std::string& line : Lines(ndjson)) {
    const auto value = ParseJSONValue(line);
    EXPECT_NE(value, nullptr) << line;
    if (value != nullptr) records[value->GetValue("transactionId", "")] = line;
  }
  return records;
}

class SyncTest : public StoreCliTest {
 protected:
  // What a reader that is not ours sees of the workbook that `args` (and
  // --format xlsx --output FILE) write: sheets, frozen row, filter, column
  // widths, and every cell's type, value, number format and boldness.
  std::string Workbook(std::vector<std::string> args) {
    const std::string file = folder.File("workbook.xlsx");
    std::remove(file.c_str());
    args.insert(args.begin(), {"--format", "xlsx", "--output", file});
    const Outcome run = Cli(args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "");
    return ReadWorkbook(file);
  }
  // transactions of the range from the service, in `format`, and more.
  Outcome Transactions(TDateTime from, TDateTime to, std::vector<std::string> more = {}) {
    more.insert(more.end(), {"transactions", "--from", TimeArg(from), "--to", TimeArg(to)});
    return Cli(more);
  }
  Outcome History(TDateTime from, TDateTime to, std::vector<std::string> more = {}) {
    more.insert(more.end(),
                {"history", "transactions", "--from", TimeArg(from), "--to", TimeArg(to)});
    return Cli(more);
  }
};

TEST_F(SyncTest, TheFirstSyncOfASourceNeedsFrom) {
  StartSandbox(Service());
  // No store at all: nothing is made.
  const Outcome none = Sync(std::nullopt);
  EXPECT_EQ(none.code, 2);
  EXPECT_NE(none.err.find("--from"), std::string::npos) << none.err;
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"sandbox-state"});
  // A store that covers another source only.
  ASSERT_EQ(Sync(IncHour(now, -24), {"--test"}).code, 0);
  const Outcome other = Sync(std::nullopt);
  EXPECT_EQ(other.code, 2);
  EXPECT_EQ(other.out, "");
  EXPECT_NE(other.err.find("give the start of the first sync with --from T"), std::string::npos)
      << other.err;
  // A start after now is a reversed range, refused before anything is read.
  const std::uint64_t runs = std::stoull(Sqlite3(db, "SELECT COUNT(*) FROM sync_runs"));
  const Outcome ahead = Sync(EncodeDateTime(2025, 5, 15, 8, 30, 0, 1));
  EXPECT_EQ(ahead.code, 2);
  EXPECT_EQ(ahead.err,
            "kestrava-cli: the range starts after it ends: a sync reads from --from up to now, "
            "and --from is 2025-05-15T08:30:00.001, now 2025-05-15T08:30:00.000\n"
            "kestrava-cli: try 'kestrava-cli --help' for more information\n");
  EXPECT_EQ(std::stoull(Sqlite3(db, "SELECT COUNT(*) FROM sync_runs")), runs);
  // The same source with --account covers that account only.
  ASSERT_EQ(Sync(IncHour(now, -24), {"--account", "2"}).code, 0);
  EXPECT_EQ(Sync(std::nullopt).code, 2);
  EXPECT_EQ(Sync(std::nullopt, {"--account", "2"}).code, 0);
}

TEST_F(SyncTest, HistoryPrintsByteForByteWhatTransactionsPrintedInEveryFormat) {
  StartSandbox(Service());
  const TDateTime from = IncHour(now, -24 * 4);
  struct Case {
    std::vector<std::string> options;  // of both the sync and the commands
  };
  const Case cases[] = {{{}}, {{"--test"}}, {{"--account", "3"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.empty() ? "" : c.options[0]);
    const Outcome synced = Sync(from, c.options);
    ASSERT_EQ(synced.code, 0) << synced.err;
    EXPECT_EQ(synced.err, "");
    for (const char* format : kFormats) {
      SCOPED_TRACE(format);
      std::vector<std::string> options = c.options;
      options.insert(options.end(), {"--format", format});
      const Outcome service = Transactions(from, now, options);
      ASSERT_EQ(service.code, 0) << service.err;
      const Outcome stored = History(from, now, options);
      ASSERT_EQ(stored.code, 0) << stored.err;
      EXPECT_EQ(stored.err, "");
      EXPECT_EQ(stored.out, service.out);
      // To a file, the same bytes.
      std::vector<std::string> toFile = options;
      toFile.insert(toFile.end(), {"--output", folder.File("history.out")});
      const Outcome written = History(from, now, toFile);
      EXPECT_EQ(written.code, 0) << written.err;
      EXPECT_EQ(written.out, "");
      EXPECT_EQ(ReadWhole(folder.File("history.out")), service.out);
    }
    std::vector<std::string> range = c.options;
    range.insert(range.end(), {"--from", TimeArg(from), "--to", TimeArg(now)});
    std::vector<std::string> service = range, stored = range;
    service.push_back("transactions");
    stored.insert(stored.end(), {"history", "transactions"});
    const std::string workbook = Workbook(service);
    EXPECT_TRUE(workbook.starts_with("sheets transactions\nfreeze A2\n")) << workbook;
    EXPECT_NE(workbook.find(" d \"2025-05-"), std::string::npos);  // dates as dates
    EXPECT_EQ(Workbook(stored), workbook);
  }
  // More than one page each, and the account's alone.
  const Outcome all = History(from, now, {"--format", "ndjson"});
  EXPECT_GT(Lines(all.out).size(), 500u);
  const Outcome three = History(from, now, {"--format", "ndjson", "--account", "3"});
  EXPECT_GT(Lines(three.out).size(), 100u);
  for (const std::string& line : Lines(three.out))
    ASSERT_NE(line.find("\"accountId\":3,"), std::string::npos) << line;
}

TEST_F(SyncTest, CalendarRangesReadTheStoreAsTheyReadTheService) {
  StartSandbox(Service());
  // now is 2025-05-15T08:30: a date alone starts the sync at its midnight.
  const Outcome synced = Sync(std::nullopt, {"--from", "2025-05-12"});
  ASSERT_EQ(synced.code, 0) << synced.err;
  EXPECT_NE(synced.out.find("; covered 2025-05-12T00:00:00.000 to 2025-05-15T08:30:00.000\n"),
            std::string::npos)
      << synced.out;
  struct Case {
    std::vector<std::string> history, transactions;  // the same records
  };
  const Case cases[] = {
      {{"--day", "2025-05-13"}, {"--day", "2025-05-13"}},
      {{"--day", "yesterday"}, {"--day", "2025-05-14"}},
      {{"--from", "2025-05-12", "--to", "2025-05-13"},
       {"--from", "2025-05-12T00:00", "--to", "2025-05-13T23:59:59.999"}},
      {{"--from", "2025-05-14T12:00", "--to", "2025-05-15"},
       {"--from", "2025-05-14T12:00", "--to", "2025-05-15T08:30"}},  // to now at most
      {{"--last", "30"}, {"--last", "30"}},
      {{}, {"--from", "2025-05-12", "--to", "2025-05-15T08:30"}},  // the whole history
  };
  for (const Case& c : cases) {
    std::string name;
    for (const std::string& word : c.history) name += word + " ";
    SCOPED_TRACE(name);
    std::vector<std::string> history = {"--format", "csv", "history", "transactions"};
    history.insert(history.end(), c.history.begin(), c.history.end());
    std::vector<std::string> service = {"--format", "csv", "transactions"};
    service.insert(service.end(), c.transactions.begin(), c.transactions.end());
    const Outcome stored = Cli(history);
    const Outcome read = Cli(service);
    ASSERT_EQ(read.code, 0) << read.err;
    if (c.history.size() == 4 && c.history[3] == "2025-05-15") {
      // The rest of today is not covered yet: only a partial history.
      EXPECT_EQ(stored.code, 1);
      EXPECT_NE(stored.err.find("do not cover 2025-05-14T12:00:00.000 to 2025-05-15T23:59:59.999"),
                std::string::npos)
          << stored.err;
      history.push_back("--partial");
      EXPECT_EQ(Cli(history).out, read.out);
      continue;
    }
    EXPECT_EQ(stored.code, 0) << stored.err;
    EXPECT_GT(Lines(stored.out, "\r\n").size(), 30u);
    EXPECT_EQ(stored.out, read.out);
  }
}

TEST_F(SyncTest, TheSummaryLineSaysWhatWasReadAndWhatItCovers) {
  StartSandbox(Service());
  const TDateTime from = EncodeDateTime(2025, 5, 14, 8, 30, 0, 0);
  const Outcome first = Sync(from);
  ASSERT_EQ(first.code, 0) << first.err;
  const Outcome records = Transactions(from, now, {"--format", "ndjson"});
  const long long count = static_cast<long long>(Lines(records.out).size());
  EXPECT_EQ(first.out, "sync: 4 accounts, " + std::to_string(count) +
                           " records read: " + std::to_string(count) +
                           " new, 0 changed, 0 unchanged, 0 repeated; covered "
                           "2025-05-14T08:30:00.000 to 2025-05-15T08:30:00.000\n");
  // An hour later, from the covered end less the overlap: nothing changed
  // in what was read again, the new hour's records are new.
  now = IncHour(now, 1);
  const Outcome second = Sync(std::nullopt, {"--overlap", "5"});
  ASSERT_EQ(second.code, 0) << second.err;
  const long long again = static_cast<long long>(
      Lines(Transactions(EncodeDateTime(2025, 5, 15, 3, 30, 0, 0), now, {"--format", "ndjson"}).out)
          .size());
  const long long fresh = static_cast<long long>(
      Lines(Transactions(EncodeDateTime(2025, 5, 15, 8, 30, 0, 1), now, {"--format", "ndjson"}).out)
          .size());
  EXPECT_GT(fresh, 0);
  EXPECT_EQ(second.out, "sync: 4 accounts, " + std::to_string(again) +
                            " records read: " + std::to_string(fresh) + " new, 0 changed, " +
                            std::to_string(again - fresh) +
                            " unchanged, 0 repeated; covered "
                            "2025-05-15T03:30:00.000 to 2025-05-15T09:30:00.000\n");
  // The run's counts are in the store too.
  EXPECT_EQ(Sqlite3(db,
                    "SELECT outcome, records_read, new_records, unchanged_records, pages "
                    "FROM sync_runs ORDER BY id"),
            "success|" + std::to_string(count) + "|" + std::to_string(count) + "|0|" +
                std::to_string((count + 49) / 50) + "\nsuccess|" + std::to_string(again) + "|" +
                std::to_string(fresh) + "|" + std::to_string(again - fresh) + "|" +
                std::to_string((again + 49) / 50) + "\n");
}

TEST_F(SyncTest, ASecondSyncCatchesTheLatePostingsThatTheOverlapReaches) {
  sandbox::ServiceOptions service = Service();
  service.latePostings = {20, 30};  // a fifth shows 30 hours late
  StartSandbox(service);
  const TDateTime start = IncHour(now, -24 * 6);
  const TDateTime firstNow = now;
  ASSERT_EQ(Sync(start).code, 0);
  const std::size_t before = Lines(History(start, now, {"--format", "ndjson"}).out).size();

  struct Case {
    int overlap;
    bool catchesAll;
  };
  // Each case from a store as the first sync left it.
  for (const Case c : {Case{72, true}, Case{12, false}}) {
    SCOPED_TRACE(c.overlap);
    std::filesystem::copy_file(db, folder.File("first.db"),
                               std::filesystem::copy_options::overwrite_existing);
    now = IncHour(firstNow, 24);
    const Outcome second = Sync(std::nullopt, {"--overlap", std::to_string(c.overlap)});
    ASSERT_EQ(second.code, 0) << second.err;
    EXPECT_NE(second.out.find("; covered " + TimeArg(IncHour(firstNow, -c.overlap)) + " to " +
                              TimeArg(now) + "\n"),
              std::string::npos)
        << second.out;
    const Outcome service = Transactions(start, now, {"--format", "ndjson"});
    const Outcome stored = History(start, now, {"--format", "ndjson"});
    ASSERT_EQ(stored.code, 0) << stored.err;
    if (c.catchesAll) {
      EXPECT_EQ(stored.out, service.out);
    } else {
      // Late postings booked before the overlap's start are missed.
      EXPECT_LT(Lines(stored.out).size(), Lines(service.out).size());
    }
    // The ones that showed late were read for the first time.
    const std::map<std::string, std::string> all = ById(stored.out);
    EXPECT_GT(all.size(), before);
    std::filesystem::copy_file(folder.File("first.db"), db,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(db + "-wal");
    std::filesystem::remove(db + "-shm");
  }
}

TEST_F(SyncTest, AnAmendedRecordIsStoredAsChangedWithItsEarlierTextKept) {
  sandbox::ServiceOptions service = Service();
  service.amendments = {25, 10};  // a quarter get another description 10 hours on
  StartSandbox(service);
  const TDateTime start = IncHour(now, -48);
  ASSERT_EQ(Sync(start).code, 0);
  const std::map<std::string, std::string> before =
      ById(History(start, now, {"--format", "ndjson"}).out);

  now = IncHour(now, 12);
  const Outcome second = Sync(std::nullopt);
  ASSERT_EQ(second.code, 0) << second.err;
  const std::map<std::string, std::string> read =
      ById(Transactions(IncHour(now, -12 - 72), now, {"--format", "ndjson"}).out);
  long long fresh = 0, changed = 0, unchanged = 0;
  std::set<std::string> amended;
  for (const auto& [id, text] : read) {
    const auto known = before.find(id);
    if (known == before.end()) {
      ++fresh;
    } else if (known->second != text) {
      ++changed;
      amended.insert(id);
      EXPECT_NE(text.find(sandbox::kAmendedMark), std::string::npos) << text;
    } else {
      ++unchanged;
    }
  }
  EXPECT_GT(changed, 0);
  EXPECT_EQ(second.out.substr(0, second.out.find("; covered")),
            "sync: 4 accounts, " + std::to_string(read.size()) +
                " records read: " + std::to_string(fresh) + " new, " + std::to_string(changed) +
                " changed, " + std::to_string(unchanged) + " unchanged, 0 repeated");
  // History gives the new text; the store keeps the old one with the run
  // that replaced it.
  EXPECT_EQ(History(start, now, {"--format", "ndjson"}).out,
            Transactions(start, now, {"--format", "ndjson"}).out);
  const std::vector<std::string> versions = Lines(
      Sqlite3(db,
              "SELECT t.record_key, v.record_text, v.replaced_by_run FROM transaction_versions v "
              "JOIN transactions t ON t.id = v.transaction_id ORDER BY t.record_key"));
  ASSERT_EQ(versions.size(), amended.size());
  auto id = amended.begin();
  for (const std::string& row : versions) {
    EXPECT_EQ(row, *id + "|" + before.at(*id) + "|2");
    ++id;
  }
}

TEST_F(SyncTest, ARecordRepeatedOnTwoPagesIsStoredOnce) {
  sandbox::ServiceOptions service = Service();
  service.repeatAfterPage = 1;  // page 2 begins with the last record of page 1
  StartSandbox(service);
  const TDateTime start = IncHour(now, -24);
  const Outcome synced = Sync(start);
  ASSERT_EQ(synced.code, 0) << synced.err;
  const std::vector<std::string> served =
      Lines(Transactions(start, now, {"--format", "ndjson"}).out);
  const std::vector<std::string> stored = Lines(History(start, now, {"--format", "ndjson"}).out);
  ASSERT_GT(served.size(), 150u);
  EXPECT_EQ(served[100], served[99]);
  std::vector<std::string> once = served;
  once.erase(once.begin() + 100);
  EXPECT_EQ(stored, once);
  const auto n = std::to_string(served.size());
  EXPECT_EQ(synced.out.substr(0, synced.out.find("; covered")),
            "sync: 4 accounts, " + n + " records read: " + std::to_string(served.size() - 1) +
                " new, 0 changed, 0 unchanged, 1 repeated");
  EXPECT_EQ(Sqlite3(db, "SELECT COUNT(*), COUNT(DISTINCT record_key) FROM transactions"),
            std::to_string(served.size() - 1) + "|" + std::to_string(served.size() - 1) + "\n");
}

TEST_F(SyncTest, AFailedPageKeepsTheCompletedPagesAndLeavesTheCoverage) {
  sandbox::ServiceOptions failing = Service();
  failing.pageFaults[2] = {{503, 0}};
  StartSandbox(failing);
  const TDateTime start = IncHour(now, -24);
  const Outcome failed = Sync(start);
  EXPECT_EQ(failed.code, 1);
  EXPECT_EQ(failed.out, "");
  // One line for a log, and the failing reply's start; the run keeps the
  // whole text.
  EXPECT_EQ(
      failed.err.rfind("kestrava-cli: HTTP/1.1 503 Service Unavailable\nkestrava-cli: reply: {", 0),
      0u)
      << failed.err;
  EXPECT_EQ(Sqlite3(db,
                    "SELECT outcome, pages, records_read, substr(error_text, 1, 32) "
                    "FROM sync_runs"),
            "failure|2|100|HTTP/1.1 503 Service Unavailable\n");
  EXPECT_EQ(Sqlite3(db, "SELECT COUNT(*) FROM transactions"), "100\n");
  EXPECT_EQ(Sqlite3(db, "SELECT COUNT(*) FROM coverage"), "0\n");
  // A history of the range is not complete, unless asked for as partial.
  const Outcome refused = History(start, now);
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("they cover nothing"), std::string::npos) << refused.err;
  const Outcome partial = History(start, now, {"--format", "ndjson", "--partial"});
  EXPECT_EQ(partial.code, 0) << partial.err;
  EXPECT_EQ(Lines(partial.out).size(), 100u);
  // No sync is needed from scratch: the next one reads the first pages as
  // unchanged and finishes the work.
  StartSandbox(Service());
  const Outcome next = Sync(start);
  ASSERT_EQ(next.code, 0) << next.err;
  EXPECT_EQ(CountAfter(next.out, " new, 0 changed, "), 100) << next.out;
  EXPECT_EQ(History(start, now, {"--format", "ndjson"}).out,
            Transactions(start, now, {"--format", "ndjson"}).out);
}

TEST_F(SyncTest, ARefusedSignInIsAFailedRunThatKeepsTheSecretOut) {
  StartSandbox(Service());
  environment["KESTRAVA_CLIENT_SECRET"] = "a-wrong-secret-value";
  const Outcome refused = Sync(IncHour(now, -24));
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(
      refused.err.rfind("kestrava-cli: StatusCode: 401 - Unauthorized\nkestrava-cli: reply: {", 0),
      0u)
      << refused.err;
  EXPECT_EQ(refused.err.find("a-wrong-secret-value"), std::string::npos) << refused.err;
  EXPECT_EQ(Sqlite3(db, "SELECT outcome, substr(error_text, 1, 32) FROM sync_runs"),
            "failure|StatusCode: 401 - Unauthorized\r{\n");
  EXPECT_EQ(Sqlite3(db,
                    "SELECT COUNT(*) FROM sync_runs WHERE error_text LIKE "
                    "'%a-wrong-secret-value%'"),
            "0\n");
}

TEST_F(SyncTest, HistoryOfARangeNotWhollyCoveredFailsUnlessPartial) {
  StartSandbox(Service());
  const TDateTime t0 = now;
  const auto daysBack = [&](int days) { return IncHour(t0, -24 * days); };
  // Covered: [t0-6d, t0-4d] and [t0-2d, t0] for every account, and
  // [t0-4d, t0-2d] for account 2 alone.
  now = daysBack(4);
  ASSERT_EQ(Sync(daysBack(6)).code, 0);
  now = daysBack(2);
  ASSERT_EQ(Sync(daysBack(4), {"--account", "2"}).code, 0);
  now = t0;
  ASSERT_EQ(Sync(daysBack(2)).code, 0);
  struct Case {
    std::vector<std::string> range;
    bool covered;
  };
  const std::string a = TimeArg(daysBack(6)), b = TimeArg(daysBack(4)), c = TimeArg(daysBack(2)),
                    d = TimeArg(t0);
  const Case cases[] = {
      {{"--from", a, "--to", b}, true},
      {{"--from", TimeArg(daysBack(5)), "--to", TimeArg(IncHour(t0, -100))}, true},
      {{"--from", c, "--to", d}, true},
      {{"--last", "48"}, true},
      {{"--last", "49"}, false},
      {{"--from", TimeArg(daysBack(7)), "--to", b}, false},     // starts too early
      {{"--from", c, "--to", TimeArg(IncHour(t0, 1))}, false},  // ends too late
      {{"--from", a, "--to", d}, false},                        // over the gap
      {{}, false},                                              // the whole history, a gap
      {{"--from", a, "--to", d, "--account", "2"}, true},       // the gap covered for 2
      {{"--from", a, "--to", d, "--account", "3"}, false},
      {{"--account", "2"}, true},
  };
  for (const Case& k : cases) {
    std::string name;
    for (const std::string& word : k.range) name += word + " ";
    SCOPED_TRACE(name);
    std::vector<std::string> args = {"--format", "ndjson", "history", "transactions"};
    args.insert(args.end(), k.range.begin(), k.range.end());
    const Outcome run = Cli(args);
    args.push_back("--partial");
    const Outcome partial = Cli(args);
    EXPECT_EQ(partial.code, 0) << partial.err;
    if (k.covered) {
      EXPECT_EQ(run.code, 0) << run.err;
      EXPECT_EQ(run.out, partial.out);
      continue;
    }
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("; they cover " + a + " to " + b + ", " + c + " to " + d),
              std::string::npos)
        << run.err;
  }
  // A file to write to stays as it was when the range is not covered.
  WriteWhole(folder.File("kept.csv"), "kept");
  EXPECT_EQ(
      Cli({"--output", folder.File("kept.csv"), "history", "transactions", "--from", a, "--to", d})
          .code,
      1);
  EXPECT_EQ(ReadWhole(folder.File("kept.csv")), "kept");
}

TEST_F(SyncTest, HistoryAccountsPrintsTheAccountsOfTheLatestSuccessfulSync) {
  StartSandbox(Service());
  const Outcome before = Cli({"history", "accounts"});
  EXPECT_EQ(before.code, 1);
  EXPECT_NE(before.err.find("there is no store at " + db), std::string::npos) << before.err;
  ASSERT_EQ(Sync(IncHour(now, -1)).code, 0);
  for (const char* format : kFormats) {
    SCOPED_TRACE(format);
    const Outcome stored = Cli({"--format", format, "history", "accounts"});
    EXPECT_EQ(stored.code, 0) << stored.err;
    EXPECT_EQ(stored.out, Cli({"--format", format, "accounts"}).out);
  }
  const std::string workbook = Workbook({"accounts"});
  EXPECT_TRUE(workbook.starts_with("sheets accounts\n")) << workbook;
  EXPECT_EQ(Workbook({"history", "accounts"}), workbook);
  // The other environment has had no successful sync.
  const Outcome test = Cli({"--test", "history", "accounts"});
  EXPECT_EQ(test.code, 1);
  EXPECT_NE(test.err.find("no sync of api.test." + host + " K27315TQB has succeeded"),
            std::string::npos)
      << test.err;
}

TEST_F(SyncTest, TwoSourcesInOneStoreAreKeptApart) {
  sandbox::ServiceOptions service = Service();
  service.clients.push_back({"second-client", "second-secret-value"});
  StartSandbox(service);
  const TDateTime start = IncHour(now, -24);
  ASSERT_EQ(Sync(start).code, 0);
  ASSERT_EQ(Sync(start, {"--test"}).code, 0);
  const std::vector<std::string> second = {"--id", "second-client", "--secret",
                                           "second-secret-value"};
  ASSERT_EQ(Sync(start, second).code, 0);
  EXPECT_EQ(Sqlite3(db, "SELECT host, client_id FROM sources ORDER BY id"),
            host + "|K27315TQB\napi.test." + host + "|K27315TQB\n" + host + "|second-client\n");
  for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"--test"}, second}) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {"--format", "ndjson"});
    const Outcome stored = History(start, now, args);
    EXPECT_EQ(stored.code, 0) << stored.err;
    EXPECT_EQ(stored.out, Transactions(start, now, args).out);
  }
  // The test environment's records are not production's.
  EXPECT_NE(History(start, now, {"--test"}).out, History(start, now).out);
  // An id the store does not know has nothing covered.
  EXPECT_EQ(History(start, now, {"--id", "third"}).code, 1);
  // status: every source, or the one of the id.
  environment.erase("KESTRAVA_CLIENT_ID");
  EXPECT_EQ(Lines(Cli({"--format", "ndjson", "status"}).out).size(), 3u);
  const Outcome one = Cli({"--format", "ndjson", "--test", "--id", "K27315TQB", "status"});
  ASSERT_EQ(Lines(one.out).size(), 1u);
  EXPECT_EQ(one.out.rfind("{\"host\":\"api.test." + host + "\",\"id\":\"K27315TQB\",", 0), 0u)
      << one.out;
}

TEST_F(SyncTest, StatusTellsEachSourcesFactsAndMaxAgeWatchesTheLastSuccess) {
  sandbox::ServiceOptions failing = Service();
  failing.pageFaults[1] = {{500, 0}};
  StartSandbox(Service());
  const TDateTime t0 = now;
  ASSERT_EQ(Sync(IncHour(now, -24)).code, 0);
  StartSandbox(failing);
  now = IncHour(t0, 3);
  ASSERT_EQ(Sync(std::nullopt).code, 1);
  now = IncHour(t0, 5);

  const Outcome text = Cli({"status"});
  EXPECT_EQ(text.code, 0) << text.err;
  const std::vector<std::string> lines = Lines(text.out);
  ASSERT_EQ(lines.size(), 8u) << text.out;
  EXPECT_EQ(lines[0], "host: " + host);
  EXPECT_EQ(lines[1], "id: K27315TQB");
  EXPECT_EQ(lines[2], "accounts: 4");
  EXPECT_EQ(lines[3].rfind("records: ", 0), 0u);
  EXPECT_EQ(lines[4], "covered: 2025-05-14T08:30:00.000 to 2025-05-15T08:30:00.000");
  EXPECT_EQ(lines[5].rfind("last run: run 2, failure, started 2025-05-15T11:30:00.000, ended "
                           "2025-05-15T11:30:00.000; 2025-05-12T08:30:00.000 to "
                           "2025-05-15T11:30:00.000 for every account; 1 pages, 4 accounts, 50 "
                           "records read: 50 new, 0 changed, 0 unchanged, 0 repeated",
                           0),
            0u)
      << lines[5];
  EXPECT_EQ(lines[6], "last error: HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(lines[7].rfind("last success: run 1, success, started 2025-05-15T08:30:00.000", 0), 0u)
      << lines[7];

  // The line as a program reads it: plain JSON, "/" as it is.
  const Outcome ndjson = Cli({"--format", "ndjson", "status"});
  ASSERT_EQ(Lines(ndjson.out).size(), 1u) << ndjson.out;
  const std::string records = lines[3].substr(9);
  EXPECT_EQ(ndjson.out.substr(0, ndjson.out.find(",\"lastSuccess\":")),
            R"({"host":")" + host + R"(","id":"K27315TQB","accounts":4,"records":)" + records +
                R"(,"covered":[{"from":"2025-05-14T08:30:00.000","to":"2025-05-15T08:30:00.000"}],)"
                R"("coveredAccounts":[],)"
                R"("lastRun":{"run":2,"outcome":"failure","started":"2025-05-15T11:30:00.000",)"
                R"("ended":"2025-05-15T11:30:00.000","from":"2025-05-12T08:30:00.000",)"
                R"("to":"2025-05-15T11:30:00.000","account":null,"pages":1,"accounts":4,)"
                R"("read":50,"new":50,"changed":0,"unchanged":0,"repeated":0,)"
                R"("error":"HTTP/1.1 500 Internal Server Error"})");
  const auto object = ParseJSONValue(ndjson.out.substr(0, ndjson.out.size() - 1));
  ASSERT_NE(object, nullptr) << ndjson.out;
  EXPECT_EQ(object->FindValue("lastSuccess")->FindValue("outcome")->ToString(), "\"success\"");
  EXPECT_EQ(object->FindValue("lastSuccess")->FindValue("error")->ToString(), "null");

  // The last success ended at t0, five hours ago.
  struct Case {
    std::vector<std::string> options;
    int code;
  };
  const Case cases[] = {
      {{"--max-age", "5"}, 0},
      {{"--max-age", "4"}, 1},
      {{"--max-age", "0"}, 1},
      {{"--test", "--max-age", "1000"}, 1},  // never
      {{"--id", "someone-else", "--max-age", "1000"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[0] + c.options[1]);
    std::vector<std::string> args = c.options;
    args.push_back("status");
    const Outcome run = Cli(args);
    EXPECT_EQ(run.code, c.code) << run.err;
    EXPECT_NE(run.out, "");
    EXPECT_EQ(Lines(run.err).size(), c.code == 0 ? 0u : 1u) << run.err;
  }
  EXPECT_EQ(Cli({"--max-age", "4", "status"}).err, "kestrava-cli: the last successful sync of " +
                                                       host +
                                                       " K27315TQB ended more than 4 hours ago\n");
}

TEST_F(SyncTest, TheStoreIsFoundThroughTheEnvironment) {
  StartSandbox(Service());
  struct Case {
    std::map<std::string, std::string> variables;
    std::string expected;
  };
  const Case cases[] = {
      {{{"KESTRAVA_DB", folder.File("env.db")}}, folder.File("env.db")},
      {{{"XDG_DATA_HOME", folder.File("data")}, {"HOME", folder.File("home")}},
       folder.File("data/kestrava/kestrava.db")},
      {{{"HOME", folder.File("home")}}, folder.File("home/.local/share/kestrava/kestrava.db")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    for (const auto& [name, value] : c.variables) environment[name] = value;
    const Outcome run = CliWithoutDb({"sync", "--from", TimeArg(IncHour(now, -1))});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(c.expected));
    EXPECT_EQ(std::filesystem::status(c.expected).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    for (const auto& [name, value] : c.variables) environment.erase(name);
  }
  EXPECT_EQ(std::filesystem::status(folder.File("data/kestrava")).permissions() &
                std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
}

TEST_F(SyncTest, WhatIsNoStoreOrANewerOneIsRefusedAndLeftAsItWas) {
  StartSandbox(Service());
  // Another program's SQLite database, a newer store, and a text file.
  ASSERT_EQ(RunProcess({"/usr/bin/sqlite3", folder.File("other.db"),
                        "CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('mine');"},
                       {})
                .exitCode,
            0);
  ASSERT_EQ(Sync(IncHour(now, -1)).code, 0);
  ASSERT_EQ(RunProcess({"/usr/bin/sqlite3", db, "PRAGMA user_version = 99;"}, {}).exitCode, 0);
  WriteWhole(folder.File("text.db"), "these are not the bytes of a database\n");
  for (const std::string& file : {folder.File("other.db"), db, folder.File("text.db")}) {
    SCOPED_TRACE(file);
    const std::string bytes = ReadWhole(file);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"sync", "--from", TimeArg(IncHour(now, -1))},
          {"history", "transactions", "--partial"},
          {"status"}}) {
      std::vector<std::string> args = {"--db", file};
      args.insert(args.end(), command.begin(), command.end());
      const Outcome run = CliWithoutDb(args);
      EXPECT_EQ(run.code, 1);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err.rfind("kestrava-cli: ", 0), 0u) << run.err;
      EXPECT_NE(run.err.find(file), std::string::npos) << run.err;
      EXPECT_EQ(ReadWhole(file), bytes);
    }
  }
}

}  // namespace
}  // namespace kestrava::testing
