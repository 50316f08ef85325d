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

#include "store/RecordKey.h"
#include "store/Schema.h"
#include "store/Sqlite.h"
#include "store/Store.h"
#include "store/StorePath.h"
#include "store/StoreTime.h"
#include "store/SyncLock.h"

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

namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr std::string_view kBookingDateMember = "bookingDate";
constexpr std::string_view kAbandoned = "the sync ended before it finished";

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

// A string member's content, a number member's text; none for any other.
std::optional<std::string> MemberText(const TJSONValue& record, std::string_view name,
                                      bool numbersToo) {
  const TJSONValue* value = record.FindValue(name);
  if (value == nullptr) return std::nullopt;
  if (value->Kind() == TJSONKind::String)
    return std::string(static_cast<const TJSONString*>(value)->Value());
  if (numbersToo && value->Kind() == TJSONKind::Number)
    return std::string(static_cast<const TJSONNumber*>(value)->Value());
  return std::nullopt;
}

// The store's form of a booking time: none without a readable one.
std::optional<std::int64_t> BookingMilliseconds(const std::optional<std::string>& booking) {
  const std::optional<TDateTime> time = booking ? BookingTime(*booking) : std::nullopt;
  if (!time) return std::nullopt;
  return WallClockMilliseconds(*time);
}

struct TTextRange {
  std::string From, To;
};

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

// A transaction that rolls back unless committed.
class TTransaction {
 public:
  TTransaction(TDatabase& db, bool write) : db_(db) {
    db_.Execute(write ? "BEGIN IMMEDIATE" : "BEGIN", write ? "write to" : "read");
  }
  ~TTransaction() {
    if (!sqlite3_get_autocommit(db_.Handle()))
      sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;
  void Commit() { db_.Execute("COMMIT"); }

 private:
  TDatabase& db_;
};

class TSqliteStore;

class TSqliteSyncSession final : public TSyncSession {
 public:
  TSqliteSyncSession(TSqliteStore& store, std::unique_ptr<TSyncLock> lock, std::int64_t sourceId,
                     std::int64_t runId, int account, TTextRange range);
  ~TSqliteSyncSession() override;

  std::int64_t RunId() const noexcept override { return runId_; }
  void AddAccounts(const TJSONArray& accounts) override;
  void AddPage(const TJSONArray& records) override;
  const TSyncCounts& Counts() const noexcept override { return counts_; }
  void Succeed() override;
  bool Fail(std::string_view error) noexcept override;

 private:
  // Throws unless pages may still be written.
  void CheckOpen() const;
  // Runs one write transaction; a failure leaves the session broken.
  template <class Work>
  void Write(Work&& work);
  void WriteProgress(const TSyncCounts& counts);
  void MergeCoverage();

  std::unique_ptr<TSyncLock> lock_;  // released last
  TSqliteStore& store_;
  TDatabase& db_;
  std::int64_t sourceId_, runId_;
  int account_;
  TTextRange range_;
  TSyncCounts counts_;
  bool finished_ = false;
  bool broken_ = false;
  // The statements of a page, prepared once per run.
  std::optional<TStatement> find_, insert_, touch_, update_, keep_;
};

class TSqliteStore final : public TStore {
 public:
  explicit TSqliteStore(const TStoreOptions& options);

  const std::string& Name() const noexcept override { return options_.Path; }
  std::unique_ptr<TSyncSession> BeginSync(const TSource& source, const TTimeRange& range,
                                          int account) override;
  std::vector<TSource> Sources() override;
  std::optional<TDateTime> CoverageEnd(const TSource& source, int account) override;
  std::vector<TTimeRange> Covered(const TSource& source, int account) override;
  bool IsCovered(const TSource& source, int account, const TTimeRange& range) override;
  bool History(const TSource& source, const THistoryQuery& query,
               const TRecordReceiver& receive) override;
  bool LatestAccounts(const TSource& source, const TRecordReceiver& receive) override;
  TSourceStatus Status(const TSource& source) override;

  TDatabase& Db() { return *db_; }
  TDateTime Now() const { return options_.Clock ? options_.Clock() : kestrava::Now(); }
  // Throws when the file at the path is no longer the one open.
  void CheckNotMoved();

 private:
  std::optional<std::int64_t> SourceId(const TSource& source);
  std::vector<TTextRange> CoveredText(std::int64_t sourceId, int account);
  std::optional<TSyncRun> Run(std::int64_t sourceId, bool successOnly);
  // True while a sync holds the store's lock.
  bool SyncRunning() const;

  TStoreOptions options_;
  std::unique_ptr<TDatabase> db_;
};

// ---- the session ----

TSqliteSyncSession::TSqliteSyncSession(TSqliteStore& store, std::unique_ptr<TSyncLock> lock,
                                       std::int64_t sourceId, std::int64_t runId, int account,
                                       TTextRange range)
    : lock_(std::move(lock)),
      store_(store),
      db_(store.Db()),
      sourceId_(sourceId),
      runId_(runId),
      account_(account),
      range_(std::move(range)) {}

TSqliteSyncSession::~TSqliteSyncSession() {
  if (!finished_) Fail(kAbandoned);
}

void TSqliteSyncSession::CheckOpen() const {
  if (finished_ || broken_)
    throw EStoreError("cannot write to the store " + db_.Path() + ": the sync has ended");
}

template <class Work>
void TSqliteSyncSession::Write(Work&& work) {
  CheckOpen();
  try {
    store_.CheckNotMoved();
    TTransaction transaction(db_, true);
    work();
    store_.CheckNotMoved();
    transaction.Commit();
  } catch (...) {
    broken_ = true;
    throw;
  }
}

void TSqliteSyncSession::WriteProgress(const TSyncCounts& counts) {
  db_.Prepare(
         "UPDATE sync_runs SET pages = ?, accounts = ?, records_read = ?, new_records = ?, "
         "changed_records = ?, unchanged_records = ?, repeated_records = ? WHERE id = ?")
      .Bind(1, counts.Pages)
      .Bind(2, counts.Accounts)
      .Bind(3, counts.Read)
      .Bind(4, counts.New)
      .Bind(5, counts.Changed)
      .Bind(6, counts.Unchanged)
      .Bind(7, counts.Repeated)
      .Bind(8, runId_)
      .Run();
}

void TSqliteSyncSession::AddAccounts(const TJSONArray& accounts) {
  TSyncCounts counts = counts_;
  Write([&] {
    TStatement latest = db_.Prepare(
        "INSERT INTO accounts (source_id, account_key, record_text, first_run, last_run) "
        "VALUES (?, ?, ?, ?, ?) ON CONFLICT (source_id, account_key) DO UPDATE SET "
        "record_text = excluded.record_text, last_run = excluded.last_run");
    TStatement snapshot = db_.Prepare(
        "INSERT INTO account_snapshots (run_id, position, account_key, record_text) "
        "VALUES (?, ?, ?, ?) ON CONFLICT (run_id, position) DO UPDATE SET "
        "account_key = excluded.account_key, record_text = excluded.record_text");
    // Accounts read again within one run take the places of the first ones.
    const auto first = static_cast<std::int64_t>(counts.Accounts);
    for (std::size_t i = 0; i < accounts.Count(); ++i) {
      const TJSONValue& account = *accounts.Get(i);
      const std::string text = account.ToString();
      const std::string key = RecordKey(account, kAccountIdMember, text);
      latest.Bind(1, sourceId_).Bind(2, key).Bind(3, text).Bind(4, runId_).Bind(5, runId_).Run();
      snapshot.Bind(1, runId_)
          .Bind(2, first + static_cast<std::int64_t>(i))
          .Bind(3, key)
          .Bind(4, text)
          .Run();
    }
    counts.Accounts += static_cast<std::int64_t>(accounts.Count());
    WriteProgress(counts);
  });
  counts_ = counts;
}

void TSqliteSyncSession::AddPage(const TJSONArray& records) {
  TSyncCounts counts = counts_;
  Write([&] {
    if (!find_) {
      find_.emplace(
          db_.Prepare("SELECT id, record_text, last_run FROM transactions "
                      "WHERE source_id = ? AND record_key = ?"));
      insert_.emplace(
          db_.Prepare("INSERT INTO transactions (source_id, record_key, record_text, booking_date, "
                      "booking_time, account_id, first_run, first_page, first_position, last_run) "
                      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
      touch_.emplace(db_.Prepare("UPDATE transactions SET last_run = ? WHERE id = ?"));
      update_.emplace(db_.Prepare(
          "UPDATE transactions SET record_text = ?, booking_date = ?, booking_time = ?, "
          "account_id = ?, last_run = ? WHERE id = ?"));
      keep_.emplace(db_.Prepare(
          "INSERT INTO transaction_versions (transaction_id, record_text, replaced_by_run) "
          "VALUES (?, ?, ?)"));
    }
    const std::int64_t page = counts.Pages;
    for (std::size_t i = 0; i < records.Count(); ++i) {
      const TJSONValue& record = *records.Get(i);
      const std::string text = record.ToString();
      const std::string key = RecordKey(record, kTransactionIdMember, text);
      const std::optional<std::string> booking = MemberText(record, kBookingDateMember, false);
      const std::optional<std::int64_t> time = BookingMilliseconds(booking);
      const std::optional<std::string> account = MemberText(record, kAccountIdMember, true);
      ++counts.Read;
      find_->Bind(1, sourceId_).Bind(2, key);
      if (!find_->Step()) {
        find_->Reset();
        insert_->Bind(1, sourceId_)
            .Bind(2, key)
            .Bind(3, text)
            .BindOptional(4, booking)
            .BindOptional(5, time);
        insert_->BindOptional(6, account).Bind(7, runId_).Bind(8, page);
        insert_->Bind(9, static_cast<std::int64_t>(i)).Bind(10, runId_).Run();
        ++counts.New;
        continue;
      }
      const std::int64_t id = find_->Integer(0);
      const bool same = find_->Text(1) == text;
      const std::string before = same ? std::string() : std::string(find_->Text(1));
      const bool seenInThisRun = find_->Integer(2) == runId_;
      find_->Reset();
      if (seenInThisRun) {
        ++counts.Repeated;
      } else if (same) {
        ++counts.Unchanged;
      } else {
        ++counts.Changed;
      }
      if (same) {
        if (!seenInThisRun) touch_->Bind(1, runId_).Bind(2, id).Run();
        continue;
      }
      // The text it had is kept with the run that replaced it.
      keep_->Bind(1, id).Bind(2, before).Bind(3, runId_).Run();
      update_->Bind(1, text)
          .BindOptional(2, booking)
          .BindOptional(3, time)
          .BindOptional(4, account);
      update_->Bind(5, runId_).Bind(6, id).Run();
    }
    ++counts.Pages;
    WriteProgress(counts);
  });
  counts_ = counts;
}

void TSqliteSyncSession::MergeCoverage() {
  std::vector<TTextRange> touching{range_};
  TStatement select = db_.Prepare(
      "SELECT range_from, range_to FROM coverage WHERE source_id = ? AND account_filter = ? "
      "AND range_from <= ? AND range_to >= ?");
  select.Bind(1, sourceId_).Bind(2, account_).Bind(3, range_.To).Bind(4, range_.From);
  while (select.Step())
    touching.push_back({std::string(select.Text(0)), std::string(select.Text(1))});
  const std::vector<TTextRange> merged = Merged(std::move(touching));
  db_.Prepare(
         "DELETE FROM coverage WHERE source_id = ? AND account_filter = ? "
         "AND range_from <= ? AND range_to >= ?")
      .Bind(1, sourceId_)
      .Bind(2, account_)
      .Bind(3, range_.To)
      .Bind(4, range_.From)
      .Run();
  db_.Prepare(
         "INSERT INTO coverage (source_id, account_filter, range_from, range_to) "
         "VALUES (?, ?, ?, ?)")
      .Bind(1, sourceId_)
      .Bind(2, account_)
      .Bind(3, merged.front().From)
      .Bind(4, merged.front().To)
      .Run();
}

void TSqliteSyncSession::Succeed() {
  const std::string ended = TimeText(store_.Now());
  // The run's last commit reaches the disk before success is reported.
  db_.Execute("PRAGMA synchronous = FULL");
  Write([&] {
    MergeCoverage();
    db_.Prepare("UPDATE sync_runs SET outcome = ?, ended = ? WHERE id = ?")
        .Bind(1, OutcomeText(TRunOutcome::Succeeded))
        .Bind(2, ended)
        .Bind(3, runId_)
        .Run();
  });
  sqlite3_exec(db_.Handle(), "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
  finished_ = true;
}

bool TSqliteSyncSession::Fail(std::string_view error) noexcept {
  if (finished_) return false;
  finished_ = true;
  try {
    store_.CheckNotMoved();
    db_.Prepare("UPDATE sync_runs SET outcome = ?, ended = ?, error_text = ? WHERE id = ?")
        .Bind(1, OutcomeText(TRunOutcome::Failed))
        .Bind(2, TimeText(store_.Now()))
        .Bind(3, error)
        .Bind(4, runId_)
        .Run();
    return true;
  } catch (...) {
    return false;
  }
}

// ---- the store ----

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
  db_ = std::make_unique<TDatabase>(path, SQLITE_OPEN_READWRITE);
  sqlite3_busy_timeout(db_->Handle(), kBusyTimeoutMs);
  PrepareSchema(*db_);
  TStatement mode = db_->Prepare("PRAGMA journal_mode = WAL");
  mode.Step("open");
  db_->Execute("PRAGMA foreign_keys = ON", "open");
  db_->Execute("PRAGMA synchronous = NORMAL", "open");
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

}  // namespace

std::unique_ptr<TStore> OpenStore(const TStoreOptions& options) {
  return std::make_unique<TSqliteStore>(options);
}

}  // namespace kestrava::store
