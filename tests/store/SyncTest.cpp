// Syncs into a store and what the readers give back: keys and counts,
// changed records and their earlier texts, accounts and their snapshots,
// coverage, the order and range of history, and the status of a source.

#include <cstdlib>

#include "store/RecordKey.h"
#include "store/Store.h"
#include "store/StoreTime.h"
#include "tests/store/StoreFixture.h"

namespace kestrava::testing {
namespace {

using store::TSyncCounts;
using store::TTimeRange;

using StoreSync = StoreTest;

TEST_F(StoreSync, EachRecordIsNewChangedUnchangedOrRepeatedAndStoredOnce) {
  const std::string t1 = Tx("T1", "2026-01-02"), t2 = Tx("T2", "2026-01-03");
  const std::string t2b = Tx("T2", "2026-01-03", 1, R"(,"description":"amended")");
  const std::string t2c = Tx("T2", "2026-01-03", 1, R"(,"description":"again")");
  const std::string t2d = Tx("T2", "2026-01-03", 1, R"(,"description":"and again")");
  const std::string noId = R"({"amount":1.50,"bookingDate":"2026-01-04"})";
  struct Step {
    std::vector<std::string> pages;
    TSyncCounts counts;  // Accounts, Read, New, Changed, Unchanged, Repeated, Pages
  } steps[] = {
      // A record the service repeats on a later page is stored once.
      {{Join({t1, t2}), Join({Tx("T3", "2026-01-05"), t1})}, {0, 4, 3, 0, 0, 1, 2}},
      // Known keys: the same text or another; a record without an id is
      // known by its text, so its repeat is one too.
      {{Join({t1, t2b}), Join({noId, noId}), "[]"}, {0, 4, 1, 1, 1, 1, 3}},
      // Changed, then met again within the same sync with yet another text.
      {{Join({t2c}), Join({t2d})}, {0, 2, 0, 1, 0, 1, 2}},
  };
  const auto store = Open();
  for (const Step& step : steps) EXPECT_EQ(Sync(*store, step.pages, january), step.counts);

  EXPECT_EQ(History(*store, source),
            (std::vector<std::string>{t1, t2d, noId, Tx("T3", "2026-01-05")}));
  // The outside reader sees one row per key, with the runs that first and
  // last saw it, and every earlier text of T2 with the run that replaced it.
  EXPECT_EQ(Sqlite3(path,
                    "SELECT t.record_key, first_run, first_page, first_position, last_run "
                    "FROM transactions t JOIN transaction_keys k ON k.transaction_id = t.id "
                    "AND k.record_key = t.record_key ORDER BY id;"),
            "T1|1|0|0|2\nT2|1|0|1|3\nT3|1|1|0|1\nsha256:" + store::Sha256Hex(noId) + "|2|1|0|2\n");
  EXPECT_EQ(Sqlite3(path,
                    "SELECT t.record_key, v.record_text, v.replaced_by_run FROM "
                    "transaction_versions v JOIN transactions t ON t.id = v.transaction_id "
                    "ORDER BY v.id;"),
            "T2|" + t2 + "|2\nT2|" + t2b + "|3\nT2|" + t2c + "|3\n");
  EXPECT_EQ(Sqlite3(path,
                    "SELECT records_read, new_records, changed_records, unchanged_records, "
                    "repeated_records, pages, outcome FROM sync_runs ORDER BY id;"),
            "4|3|0|0|1|2|success\n4|1|1|1|1|3|success\n2|0|1|0|1|2|success\n");
}

TEST_F(StoreSync, TextsAreKeptByteForByte) {
  // A control character stays raw in the compact text, U+0000 included.
  const std::string text =
      std::string(R"({"transactionId":"N","description":"a)") + '\0' + "\x01 ţ \\/ \\\" \\t\"}";
  const std::unique_ptr<TJSONArray> page = Page("[" + text + "]");
  const std::string compact = page->Get(0)->ToString();
  ASSERT_NE(compact.find('\0'), std::string::npos);
  const auto store = Open();
  {
    auto session = store->BeginSync(source, january, store::kAllAccounts);
    session->AddPage(*page);
    session->Succeed();
  }
  EXPECT_EQ(History(*store, source), std::vector<std::string>{compact});
  // The same text again is unchanged.
  EXPECT_EQ(Sync(*store, {"[" + text + "]"}, january).Unchanged, 1);
}

TEST_F(StoreSync, AccountsKeepTheirLatestRecordAndASnapshotOfEachSync) {
  const auto store = Open();
  const auto syncAccounts = [&](const std::string& accounts, bool succeed) {
    auto session = store->BeginSync(source, january, store::kAllAccounts);
    session->AddAccounts(*Page(accounts));
    if (succeed)
      session->Succeed();
    else
      session->Fail("401/Unauthorized - no");
    return session->Counts().Accounts;
  };
  EXPECT_EQ(LatestAccounts(*store, source), std::vector<std::string>{});
  EXPECT_EQ(syncAccounts(R"([{"accountId":1,"balance":10},{"accountId":"2","balance":5}])", true),
            2);
  EXPECT_EQ(syncAccounts(R"([{"accountId":1,"balance":20}])", true), 1);
  EXPECT_EQ(syncAccounts(R"([{"accountId":1,"balance":30}])", false), 1);
  // The accounts of the latest successful sync, as received.
  EXPECT_EQ(LatestAccounts(*store, source),
            std::vector<std::string>{R"({"accountId":1,"balance":20})"});
  // The latest record of every account, and the balances' history.
  EXPECT_EQ(Sqlite3(path,
                    "SELECT account_key, record_text, first_run, last_run FROM accounts "
                    "ORDER BY account_key;"),
            "1|{\"accountId\":1,\"balance\":30}|1|3\n2|{\"accountId\":\"2\",\"balance\":5}|1|1\n");
  EXPECT_EQ(Sqlite3(path,
                    "SELECT run_id, position, account_key FROM account_snapshots "
                    "ORDER BY run_id, position;"),
            "1|0|1\n1|1|2\n2|0|1\n3|0|1\n");
  EXPECT_EQ(store->Status(source).Accounts, 2);
}

TEST_F(StoreSync, TwoSourcesNeverMix) {
  const store::TSource production{"kestrava.example", "client-1"};
  const store::TSource otherClient{"api.test.kestrava.example", "client-2"};
  const auto store = Open();
  Sync(*store, {Join({Tx("T1", "2026-01-02", 1, R"(,"n":1)")})}, january);
  const TSyncCounts other =
      Sync(*store, {Join({Tx("T1", "2026-01-02", 1, R"(,"n":2)")})}, january, 0, &otherClient);
  EXPECT_EQ(other.New, 1);  // the same key in another source is another record
  EXPECT_EQ(History(*store, source),
            std::vector<std::string>{Tx("T1", "2026-01-02", 1, R"(,"n":1)")});
  EXPECT_EQ(History(*store, otherClient),
            std::vector<std::string>{Tx("T1", "2026-01-02", 1, R"(,"n":2)")});
  EXPECT_EQ(History(*store, production), std::vector<std::string>{});
  EXPECT_FALSE(store->IsCovered(production, 0, january));
  EXPECT_EQ(store->CoverageEnd(production, 0), std::nullopt);
  EXPECT_EQ(store->Sources(), (std::vector<store::TSource>{source, otherClient}));
  EXPECT_EQ(store->Status(production).Records, 0);
  EXPECT_EQ(store->Status(otherClient).Records, 1);
}

TEST_F(StoreSync, CoveredRangesMergeWhenTheyTouchOrOverlap) {
  const auto hours = [](int from, int to) {
    return TTimeRange{At(2026, 1, 1, from), At(2026, 1, 1, to)};
  };
  struct Case {
    const char* name;
    std::vector<TTimeRange> synced;
    std::vector<TTimeRange> covered;
  } cases[] = {
      {"apart", {hours(1, 3), hours(5, 7)}, {hours(1, 3), hours(5, 7)}},
      {"touching", {hours(1, 3), hours(3, 5)}, {hours(1, 5)}},
      {"inside", {hours(1, 5), hours(2, 3)}, {hours(1, 5)}},
      {"around", {hours(2, 3), hours(1, 5)}, {hours(1, 5)}},
      {"bridging",
       {hours(1, 3), hours(5, 7), hours(9, 10), hours(2, 6)},
       {hours(1, 7), hours(9, 10)}},
      {"earlier after later", {hours(5, 7), hours(1, 3)}, {hours(1, 3), hours(5, 7)}},
      {"an instant", {hours(4, 4)}, {hours(4, 4)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(path.c_str());
    std::remove((path + "-wal").c_str());
    std::remove((path + "-shm").c_str());
    const auto store = Open();
    for (const TTimeRange& range : c.synced) Sync(*store, {}, range);
    EXPECT_EQ(store->Covered(source, 0), c.covered);
    EXPECT_EQ(store->CoverageEnd(source, 0), c.covered.back().To);
    // What is stored is already merged.
    EXPECT_EQ(Sqlite3(path, "SELECT COUNT(*) FROM coverage;"),
              std::to_string(c.covered.size()) + "\n");
  }
}

TEST_F(StoreSync, CoverageOfEveryAccountCoversEachAccountButNotTheOtherWayRound) {
  const auto hours = [](int from, int to) {
    return TTimeRange{At(2026, 1, 1, from), At(2026, 1, 1, to)};
  };
  const auto store = Open();
  Sync(*store, {}, hours(1, 3));
  Sync(*store, {}, hours(3, 6), 2);
  Sync(*store, {}, hours(8, 9), 2);
  // A failed sync covers nothing.
  store->BeginSync(source, hours(0, 12), 0)->Fail("500/Internal Server Error - down");

  EXPECT_EQ(store->Covered(source, 0), std::vector<TTimeRange>{hours(1, 3)});
  EXPECT_EQ(store->Covered(source, 2), (std::vector<TTimeRange>{hours(1, 6), hours(8, 9)}));
  EXPECT_EQ(store->Covered(source, 7), std::vector<TTimeRange>{hours(1, 3)});
  EXPECT_EQ(store->CoverageEnd(source, 0), At(2026, 1, 1, 3));
  EXPECT_EQ(store->CoverageEnd(source, 2), At(2026, 1, 1, 9));
  struct Case {
    int account;
    TTimeRange range;
    bool covered;
  } cases[] = {
      {0, hours(1, 3), true},  {0, hours(2, 2), true},  {0, hours(2, 4), false},
      {2, hours(2, 5), true},  {2, hours(1, 6), true},  {2, hours(5, 8), false},
      {7, hours(2, 5), false}, {0, hours(0, 1), false}, {2, hours(8, 9), true},
      {2, hours(3, 2), false},  // a range that ends before it starts
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.account) + " " + store::TimeText(c.range.From));
    EXPECT_EQ(store->IsCovered(source, c.account, c.range), c.covered);
  }
}

TEST_F(StoreSync, HistoryIsInBookingDateOrderThenFirstSightAndFiltersByRangeAndAccount) {
  const std::string a = Tx("A", "2026-01-03T10:00:00.000Z", 1);
  const std::string b = Tx("B", "2026-01-02", 2);
  const std::string c = R"({"transactionId":"C","accountId":2})";  // no booking date
  const std::string d = R"({"transactionId":"D","accountId":"2","bookingDate":"2026-01-02"})";
  const std::string e = R"({"transactionId":"E","accountId":1,"bookingDate":42})";
  const std::string f = Tx("F", "2026-01-02T00:00:00.000Z", 12);
  const std::string g = Tx("G", "not a date", 2);
  const std::string h = Tx("H", "2026-01-01T23:59:59.999Z", 1);
  const auto store = Open();
  Sync(*store, {Join({a, b, c}), Join({d, e, f})}, january);
  Sync(*store, {Join({g, h})}, january);

  struct Case {
    const char* name;
    store::THistoryQuery query;
    std::vector<std::string> records;
  } cases[] = {
      {"all", {}, {h, b, d, f, a, g, c, e}},
      {"one account", {std::nullopt, 2}, {b, d, g, c}},
      {"a month", {january, 0}, {h, b, d, f, a}},
      {"an instant: a date is its midnight",
       {TTimeRange{At(2026, 1, 2), At(2026, 1, 2)}, 0},
       {b, d, f}},
      {"ends are inside",
       {TTimeRange{At(2026, 1, 1, 23, 59, 59, 999), At(2026, 1, 2)}, 0},
       {h, b, d, f}},
      {"just after", {TTimeRange{At(2026, 1, 2, 0, 0, 0, 1), At(2026, 1, 3, 10)}, 0}, {a}},
      {"nothing", {TTimeRange{At(2026, 1, 3, 10, 0, 0, 1), At(2026, 2, 1)}, 0}, {}},
      {"a range and an account", {january, 2}, {b, d}},
      {"an account with nothing", {std::nullopt, 99}, {}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(History(*store, source, test.query), test.records);
  }
  // A changed record keeps its place of first sight.
  const std::string b2 = Tx("B", "2026-01-02", 2, R"(,"description":"late")");
  Sync(*store, {Join({b2})}, january);
  EXPECT_EQ(History(*store, source, {std::nullopt, 2}), (std::vector<std::string>{b2, d, g, c}));
}

TEST_F(StoreSync, AReceiverCanStopTheStream) {
  const auto store = Open();
  Sync(*store, {Join({Tx("A", "2026-01-01"), Tx("B", "2026-01-02"), Tx("C", "2026-01-03")})},
       january);
  std::vector<std::string> got;
  EXPECT_FALSE(store->History(source, {}, [&](std::string_view text) {
    got.emplace_back(text);
    return got.size() < 2;
  }));
  EXPECT_EQ(got.size(), 2u);
  EXPECT_TRUE(store->History(source, {}, [](std::string_view) { return true; }));
}

TEST_F(StoreSync, AFailedSyncKeepsItsPagesAndLeavesTheCoverage) {
  const auto store = Open();
  {
    auto session = store->BeginSync(source, january, 0);
    session->AddPage(*Page(Join({Tx("A", "2026-01-01"), Tx("B", "2026-01-02")})));
    EXPECT_TRUE(session->Fail("HTTP/1.1 503 Service Unavailable\rtry later"));
    EXPECT_FALSE(session->Fail("again"));  // a run ends once
  }
  EXPECT_EQ(History(*store, source).size(), 2u);
  EXPECT_EQ(store->Covered(source, 0), std::vector<TTimeRange>{});
  const store::TSourceStatus status = store->Status(source);
  ASSERT_TRUE(status.LastRun);
  EXPECT_EQ(status.LastRun->Outcome, store::TRunOutcome::Failed);
  EXPECT_EQ(status.LastRun->Error, "HTTP/1.1 503 Service Unavailable\rtry later");
  EXPECT_EQ(status.LastRun->ErrorFirstLine, "HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(status.LastRun->Counts, (TSyncCounts{0, 2, 2, 0, 0, 0, 1}));
  EXPECT_FALSE(status.LastSuccess);

  // A session dropped unfinished fails; writing after the end is refused.
  {
    auto session = store->BeginSync(source, january, 0);
    session->Succeed();
    EXPECT_THROW(session->AddPage(*Page("[]")), store::EStoreError);
  }
  { store->BeginSync(source, january, 0); }
  EXPECT_EQ(Sqlite3(path, "SELECT id, outcome, error_text FROM sync_runs ORDER BY id;"),
            "1|failure|HTTP/1.1 503 Service Unavailable\rtry later\n2|success|\n"
            "3|failure|the sync ended before it finished\n");
}

// A key whose transaction was deleted by hand (SQL tools may write the
// file) is no record: the record comes in as new, and the transaction that
// took over its number keeps its own text.
TEST_F(StoreSync, AKeyWhoseTransactionIsGoneIsStoredAnew) {
  const auto store = Open();
  const std::string a = Tx("A", "2026-01-01"), b = Tx("B", "2026-01-02");
  Sync(*store, {Join({a})}, january);
  const std::string edit = "/usr/bin/sqlite3 '" + path + "' 'DELETE FROM transactions;'";
  ASSERT_EQ(std::system(edit.c_str()), 0);
  EXPECT_EQ(Sync(*store, {Join({b, a})}, january), (TSyncCounts{0, 2, 2, 0, 0, 0, 1}));
  EXPECT_EQ(History(*store, source), (std::vector<std::string>{a, b}));
  EXPECT_EQ(Sqlite3(path, "SELECT COUNT(*) FROM transaction_versions;"), "0\n");
  EXPECT_EQ(Sqlite3(path,
                    "SELECT k.record_key, t.record_key FROM transaction_keys k JOIN transactions t "
                    "ON t.id = k.transaction_id ORDER BY 1;"),
            "A|A\nB|B\n");
}

TEST_F(StoreSync, StatusGivesTheFactsOfASource) {
  TDateTime clock = At(2026, 2, 1, 0, 5);
  const auto store =
      store::OpenStore({.Path = path, .Create = true, .Clock = [&] { return clock; }});
  EXPECT_EQ(store->Status(source).LastRun, std::nullopt);
  {
    auto session = store->BeginSync(source, january, 0);
    session->AddAccounts(*Page(R"([{"accountId":1},{"accountId":2}])"));
    session->AddPage(*Page(Join({Tx("A", "2026-01-01"), Tx("B", "2026-01-02")})));
    session->Succeed();
  }
  clock = At(2026, 2, 2, 0, 1);
  const TTimeRange february{At(2026, 1, 29), At(2026, 2, 2)};
  {
    auto session = store->BeginSync(source, february, 1);
    session->AddAccounts(*Page(R"([{"accountId":1}])"));
    session->AddPage(*Page(Join({Tx("A", "2026-01-01"), Tx("C", "2026-01-30")})));
    session->Fail("timed out\rline two");
  }
  const store::TSourceStatus status = store->Status(source);
  EXPECT_EQ(status.Source, source);
  EXPECT_EQ(status.Accounts, 2);
  EXPECT_EQ(status.Records, 3);
  EXPECT_EQ(status.CoveredAll, std::vector<TTimeRange>{january});
  EXPECT_TRUE(status.CoveredAccount.empty());
  ASSERT_TRUE(status.LastRun && status.LastSuccess);
  EXPECT_EQ(status.LastRun->Id, 2);
  EXPECT_EQ(status.LastRun->Range, february);
  EXPECT_EQ(status.LastRun->Account, 1);
  EXPECT_EQ(status.LastRun->Started, february.To);
  EXPECT_EQ(status.LastRun->Ended, At(2026, 2, 2, 0, 1));
  EXPECT_EQ(status.LastRun->Outcome, store::TRunOutcome::Failed);
  EXPECT_EQ(status.LastRun->Counts, (TSyncCounts{1, 2, 1, 0, 1, 0, 1}));
  EXPECT_EQ(status.LastRun->ErrorFirstLine, "timed out");
  EXPECT_EQ(status.LastSuccess->Id, 1);
  EXPECT_EQ(status.LastSuccess->Ended, At(2026, 2, 1, 0, 5));
  EXPECT_EQ(status.LastSuccess->Outcome, store::TRunOutcome::Succeeded);
  EXPECT_EQ(status.LastSuccess->Counts, (TSyncCounts{2, 2, 2, 0, 0, 0, 1}));
  EXPECT_EQ(status.LastSuccess->Error, "");
  EXPECT_EQ(store::OutcomeText(status.LastRun->Outcome), "failure");

  // A sync for one account shows as that account's coverage.
  Sync(*store, {}, february, 1);
  const store::TSourceStatus after = store->Status(source);
  ASSERT_EQ(after.CoveredAccount.size(), 1u);
  EXPECT_EQ(after.CoveredAccount[0].first, 1);
  EXPECT_EQ(after.CoveredAccount[0].second, std::vector<TTimeRange>{february});
}

TEST_F(StoreSync, ARangeThatEndsBeforeItStartsIsRefused) {
  const auto store = Open();
  try {
    store->BeginSync(source, {At(2026, 1, 2), At(2026, 1, 1)}, 0);
    ADD_FAILURE() << "began";
  } catch (const store::EStoreError& e) {
    EXPECT_EQ(e.Message(), "cannot sync into the store " + path +
                               ": the range 2026-01-02T00:00:00.000 to 2026-01-01T00:00:00.000 "
                               "ends before it starts");
  }
  EXPECT_EQ(Sqlite3(path, "SELECT COUNT(*) FROM sync_runs;"), "0\n");
}

}  // namespace
}  // namespace kestrava::testing
