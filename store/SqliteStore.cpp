// The SQLite store.
//
// Its SQL is what PostgreSQL accepts too (INSERT ... ON CONFLICT,
// RETURNING, LIMIT, COUNT, plain types), so a PostgreSQL store could take
// the same statements with "$n" for "?". What is SQLite's own, and why:
// - PRAGMA journal_mode = WAL: readers see the last committed page while a
//   sync writes the next, and never wait for it;
// - PRAGMA synchronous = NORMAL while pages are written (a killed process
//   loses nothing committed; a power cut may lose the last pages, never the
//   store's consistency), FULL for the commit that ends a run, so a success
//   that was reported is on the disk;
// - PRAGMA foreign_keys = ON: SQLite checks REFERENCES only when asked;
// - PRAGMA wal_autocheckpoint: how far the log grows before it is copied
//   into the file (PostgreSQL: its checkpoint settings, the server's);
// - PRAGMA user_version and application_id: the schema's version and the
//   mark of a store, in the file's header; PRAGMA page_size of a new store
//   (Schema.cpp);
// - BEGIN IMMEDIATE: a page's transaction takes the write lock at once
//   instead of when it first writes, so it never fails half way for a
//   writer that came first (PostgreSQL: BEGIN);
// - sqlite_master, read once to tell an empty file from another program's
//   database;
// - the file control SQLITE_FCNTL_HAS_MOVED (C API): a store deleted or
//   replaced while a sync writes to it is noticed before a page commits.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "store/Schema.h"
#include "store/SqliteStore.h"
#include "store/StorePath.h"
#include "store/StoreTime.h"

namespace kestrava::store {

std::string_view OutcomeText(TRunOutcome outcome) noexcept {
  switch (outcome) {
    case TRunOutcome::Running:
      return "running";
    case TRunOutcome::Succeeded:
      return "success";
    case TRunOutcome::Failed:
      return "failure";
    case TRunOutcome::Interrupted:
      return "interrupted";
  }
  return "running";
}

namespace sqlite {
namespace {

constexpr int kBusyTimeoutMs = 5000;
// The log grows to this many pages (64 MiB of 8 KiB) before its pages go
// into the file: each time costs two flushes to the disk, which on a busy
// disk outweigh the writing itself (SQLite's own default is 1000 pages).
constexpr int kCheckpointPages = 8192;

TRunOutcome OutcomeFromText(std::string_view text) {
  for (TRunOutcome outcome : {TRunOutcome::Succeeded, TRunOutcome::Failed, TRunOutcome::Interrupted,
                              TRunOutcome::Running})
    if (OutcomeText(outcome) == text) return outcome;
  return TRunOutcome::Interrupted;
}

TDateTime TimeOr0(std::string_view text) {
  return TimeFromText(text).value_or(0);
}

std::string FirstLine(std::string_view text) {
  return std::string(text.substr(0, text.find_first_of("\r\n")));
}

}  // namespace

// Ranges sorted by start, with those that touch or overlap joined.
std::vector<TTextRange> Merged(std::vector<TTextRange> ranges) {
  std::sort(ranges.begin(), ranges.end(),
            [](const TTextRange& a, const TTextRange& b) { return a.From < b.From; });
  std::vector<TTextRange> merged;
  for (TTextRange& range : ranges) {
    if (!merged.empty() && range.From <= merged.back().To) {
      merged.back().To = std::max(merged.back().To, range.To);
    } else {
      merged.push_back(std::move(range));
    }
  }
  return merged;
}

TTransaction::TTransaction(TDatabase& db, bool write) : db_(db) {
  db_.Execute(write ? "BEGIN IMMEDIATE" : "BEGIN", write ? "write to" : "read");
}

TTransaction::~TTransaction() {
  if (!sqlite3_get_autocommit(db_.Handle()))
    sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

TSqliteStore::TSqliteStore(const TStoreOptions& options) : options_(options) {
  const std::string& path = options_.Path;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno != ENOENT)
      throw EStoreError("cannot open the store " + path + ": " + std::strerror(errno));
    if (!options_.Create) throw EStoreError("there is no store at " + path);
    CreateStoreFile(path);
  }
  CheckStoreFile(path);
  // One thread at a time uses the connection (a sync's pages are written on
  // a thread of their own, handed over and back with a lock of the
  // writer's), so SQLite's own lock around every call is not needed.
  db_ = std::make_unique<TDatabase>(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
  sqlite3_busy_timeout(db_->Handle(), kBusyTimeoutMs);
  PrepareSchema(*db_);
  TStatement mode = db_->Prepare("PRAGMA journal_mode = WAL");
  mode.Step("open");
  db_->Execute("PRAGMA foreign_keys = ON", "open");
  db_->Execute("PRAGMA synchronous = NORMAL", "open");
  db_->Execute("PRAGMA wal_autocheckpoint = " + std::to_string(kCheckpointPages), "open");
}

void TSqliteStore::CheckNotMoved() {
  int moved = 0;
  if (sqlite3_file_control(db_->Handle(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
      moved != 0)
    throw EStoreError("cannot write to the store " + options_.Path +
                      ": it was deleted or replaced while the sync ran");
}

bool TSqliteStore::SyncRunning() const {
  const std::string path = TSyncLock::LockPath(options_.Path);
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (file < 0) return false;
  const bool held = flock(file, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(file);
  return held;
}

std::unique_ptr<TSyncSession> TSqliteStore::BeginSync(const TSource& source,
                                                      const TTimeRange& range, int account) {
  TTextRange text{TimeText(range.From), TimeText(range.To)};
  if (text.From > text.To)
    throw EStoreError("cannot sync into the store " + options_.Path + ": the range " + text.From +
                      " to " + text.To + " ends before it starts");
  if (account < 0) account = kAllAccounts;
  auto lock = std::make_unique<TSyncLock>(options_.Path, options_.BusyWait);
  std::int64_t sourceId = 0, runId = 0;
  CheckNotMoved();
  {
    TTransaction transaction(*db_, true);
    // With the lock held, a run still marked running is one whose process
    // ended without finishing it.
    db_->Prepare("UPDATE sync_runs SET outcome = ? WHERE outcome = ?")
        .Bind(1, OutcomeText(TRunOutcome::Interrupted))
        .Bind(2, OutcomeText(TRunOutcome::Running))
        .Run();
    db_->Prepare(
           "INSERT INTO sources (host, client_id) VALUES (?, ?) "
           "ON CONFLICT (host, client_id) DO NOTHING")
        .Bind(1, source.Host)
        .Bind(2, source.ClientId)
        .Run();
    sourceId = SourceId(source).value_or(0);
    TStatement insert = db_->Prepare(
        "INSERT INTO sync_runs (source_id, account_filter, range_from, range_to, started, "
        "outcome) VALUES (?, ?, ?, ?, ?, ?) RETURNING id");
    insert.Bind(1, sourceId).Bind(2, account).Bind(3, text.From).Bind(4, text.To);
    insert.Bind(5, text.To).Bind(6, OutcomeText(TRunOutcome::Running));
    if (!insert.Step("write to")) db_->Fail("write to");
    runId = insert.Integer(0);
    insert.Reset();
    transaction.Commit();
  }
  return std::make_unique<TSqliteSyncSession>(*this, std::move(lock), sourceId, runId, account,
                                              std::move(text));
}

std::optional<std::int64_t> TSqliteStore::SourceId(const TSource& source) {
  TStatement select = db_->Prepare("SELECT id FROM sources WHERE host = ? AND client_id = ?");
  select.Bind(1, source.Host).Bind(2, source.ClientId);
  if (!select.Step()) return std::nullopt;
  return select.Integer(0);
}

std::vector<TSource> TSqliteStore::Sources() {
  std::vector<TSource> sources;
  TStatement select = db_->Prepare("SELECT host, client_id FROM sources ORDER BY id");
  while (select.Step())
    sources.push_back({std::string(select.Text(0)), std::string(select.Text(1))});
  return sources;
}

std::vector<TTextRange> TSqliteStore::CoveredText(std::int64_t sourceId, int account) {
  std::vector<TTextRange> ranges;
  TStatement select = db_->Prepare(
      "SELECT range_from, range_to FROM coverage WHERE source_id = ? "
      "AND (account_filter = ? OR account_filter = ?)");
  select.Bind(1, sourceId).Bind(2, kAllAccounts).Bind(3, std::max(account, kAllAccounts));
  while (select.Step())
    ranges.push_back({std::string(select.Text(0)), std::string(select.Text(1))});
  return Merged(std::move(ranges));
}

std::vector<TTimeRange> TSqliteStore::Covered(const TSource& source, int account) {
  std::vector<TTimeRange> ranges;
  const std::optional<std::int64_t> id = SourceId(source);
  if (!id) return ranges;
  for (const TTextRange& range : CoveredText(*id, account))
    ranges.push_back({TimeOr0(range.From), TimeOr0(range.To)});
  return ranges;
}

std::optional<TDateTime> TSqliteStore::CoverageEnd(const TSource& source, int account) {
  const std::vector<TTimeRange> ranges = Covered(source, account);
  if (ranges.empty()) return std::nullopt;
  return ranges.back().To;
}

bool TSqliteStore::IsCovered(const TSource& source, int account, const TTimeRange& range) {
  const std::string from = TimeText(range.From), to = TimeText(range.To);
  if (from > to) return false;
  const std::optional<std::int64_t> id = SourceId(source);
  if (!id) return false;
  for (const TTextRange& covered : CoveredText(*id, account))
    if (covered.From <= from && to <= covered.To) return true;
  return false;
}

bool TSqliteStore::History(const TSource& source, const THistoryQuery& query,
                           const TRecordReceiver& receive) {
  std::optional<std::pair<std::int64_t, std::int64_t>> range;
  if (query.Range)
    range = {WallClockMilliseconds(query.Range->From), WallClockMilliseconds(query.Range->To)};
  const std::string account = std::to_string(query.Account);
  TTransaction snapshot(*db_, false);
  const std::optional<std::int64_t> id = SourceId(source);
  if (!id) return true;
  // The records with a booking date in its order (the index's), then those
  // without one: first sight is the order of the ids.
  for (const bool dated : {true, false}) {
    if (!dated && range) break;  // without a date, in no range
    std::string sql = "SELECT record_text FROM transactions WHERE source_id = ? AND booking_date ";
    sql += dated ? "IS NOT NULL" : "IS NULL";
    if (range) sql += " AND booking_time >= ? AND booking_time <= ?";
    if (query.Account != kAllAccounts) sql += " AND account_id = ?";
    sql += dated ? " ORDER BY source_id, booking_date, id" : " ORDER BY id";
    TStatement select = db_->Prepare(sql);
    select.Bind(1, *id);
    if (range) {
      select.Bind(2, range->first);
      select.Bind(3, range->second);
    }
    if (query.Account != kAllAccounts) select.Bind(range ? 4 : 2, account);
    while (select.Step())
      if (!receive(select.Text(0))) return false;
  }
  return true;
}

std::optional<TSyncRun> TSqliteStore::Run(std::int64_t sourceId, bool successOnly) {
  std::string sql =
      "SELECT id, account_filter, range_from, range_to, started, ended, outcome, pages, accounts, "
      "records_read, new_records, changed_records, unchanged_records, repeated_records, "
      "error_text FROM sync_runs WHERE source_id = ?";
  if (successOnly) sql += " AND outcome = ?";
  sql += " ORDER BY source_id DESC, id DESC LIMIT 1";
  TStatement select = db_->Prepare(sql);
  select.Bind(1, sourceId);
  if (successOnly) select.Bind(2, OutcomeText(TRunOutcome::Succeeded));
  if (!select.Step()) return std::nullopt;
  TSyncRun run;
  run.Id = select.Integer(0);
  run.Account = static_cast<int>(select.Integer(1));
  run.Range = {TimeOr0(select.Text(2)), TimeOr0(select.Text(3))};
  run.Started = TimeOr0(select.Text(4));
  if (!select.IsNull(5)) run.Ended = TimeOr0(select.Text(5));
  run.Outcome = OutcomeFromText(select.Text(6));
  run.Counts.Pages = select.Integer(7);
  run.Counts.Accounts = select.Integer(8);
  run.Counts.Read = select.Integer(9);
  run.Counts.New = select.Integer(10);
  run.Counts.Changed = select.Integer(11);
  run.Counts.Unchanged = select.Integer(12);
  run.Counts.Repeated = select.Integer(13);
  run.Error = std::string(select.Text(14));
  run.ErrorFirstLine = FirstLine(run.Error);
  return run;
}

bool TSqliteStore::LatestAccounts(const TSource& source, const TRecordReceiver& receive) {
  TTransaction snapshot(*db_, false);
  const std::optional<std::int64_t> id = SourceId(source);
  if (!id) return true;
  const std::optional<TSyncRun> run = Run(*id, true);
  if (!run) return true;
  TStatement select =
      db_->Prepare("SELECT record_text FROM account_snapshots WHERE run_id = ? ORDER BY position");
  select.Bind(1, run->Id);
  while (select.Step())
    if (!receive(select.Text(0))) return false;
  return true;
}

TSourceStatus TSqliteStore::Status(const TSource& source) {
  TSourceStatus status;
  status.Source = source;
  TTransaction snapshot(*db_, false);
  const std::optional<std::int64_t> id = SourceId(source);
  if (!id) return status;
  const auto count = [&](const char* sql) {
    TStatement select = db_->Prepare(sql);
    select.Bind(1, *id);
    return select.Step() ? select.Integer(0) : 0;
  };
  status.Accounts = count("SELECT COUNT(*) FROM accounts WHERE source_id = ?");
  status.Records = count("SELECT COUNT(*) FROM transactions WHERE source_id = ?");
  TStatement ranges = db_->Prepare(
      "SELECT account_filter, range_from, range_to FROM coverage WHERE source_id = ? "
      "ORDER BY account_filter, range_from");
  ranges.Bind(1, *id);
  while (ranges.Step()) {
    const int account = static_cast<int>(ranges.Integer(0));
    const TTimeRange range{TimeOr0(ranges.Text(1)), TimeOr0(ranges.Text(2))};
    if (account == kAllAccounts) {
      status.CoveredAll.push_back(range);
      continue;
    }
    if (status.CoveredAccount.empty() || status.CoveredAccount.back().first != account)
      status.CoveredAccount.push_back({account, {}});
    status.CoveredAccount.back().second.push_back(range);
  }
  status.LastRun = Run(*id, false);
  status.LastSuccess = Run(*id, true);
  // A run still marked running whose sync holds no lock was cut short.
  if (status.LastRun && status.LastRun->Outcome == TRunOutcome::Running && !SyncRunning())
    status.LastRun->Outcome = TRunOutcome::Interrupted;
  return status;
}

}  // namespace sqlite

std::unique_ptr<TStore> OpenStore(const TStoreOptions& options) {
  return std::make_unique<sqlite::TSqliteStore>(options);
}

}  // namespace kestrava::store
