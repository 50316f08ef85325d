// A sync's run in the SQLite store: the accounts, then each page in one
// transaction with the run's progress, then success (the range joins the
// coverage) or failure.

#include <utility>

#include "store/RecordKey.h"
#include "store/SqliteStore.h"
#include "store/StoreTime.h"

namespace kestrava::store::sqlite {
namespace {

constexpr std::string_view kAbandoned = "the sync ended before it finished";

// The store's form of a booking time: none without a readable one.
std::optional<std::int64_t> BookingMilliseconds(const std::optional<std::string>& booking) {
  const std::optional<TDateTime> time = booking ? BookingTime(*booking) : std::nullopt;
  if (!time) return std::nullopt;
  return WallClockMilliseconds(*time);
}

}  // namespace

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
  if (!progress_)
    progress_.emplace(db_.Prepare(
        "UPDATE sync_runs SET pages = ?, accounts = ?, records_read = ?, new_records = ?, "
        "changed_records = ?, unchanged_records = ?, repeated_records = ? WHERE id = ?"));
  progress_->Bind(1, counts.Pages)
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

void TSqliteSyncSession::AddPreparedPage(TPreparedPage records) {
  TSyncCounts counts = counts_;
  Write([&] {
    if (!find_) {
      // A record is most often what the one before it was: new in a first
      // sync, unchanged in the next ones. One statement tells each of those
      // (sameAgain_, newKey_: its change count says whether it applied);
      // the others take the lookup.
      sameAgain_.emplace(db_.Prepare(
          "UPDATE transaction_keys SET last_run = ?1 WHERE source_id = ?2 AND record_key = ?3 "
          "AND last_run <> ?1 AND (SELECT record_text FROM transactions "
          "WHERE id = transaction_keys.transaction_id "
          "AND record_key = transaction_keys.record_key) = ?4"));
      newKey_.emplace(db_.Prepare(
          "INSERT INTO transaction_keys (source_id, record_key, transaction_id, last_run) "
          "VALUES (?, ?, ?, ?) ON CONFLICT (source_id, record_key) DO NOTHING"));
      insert_.emplace(
          db_.Prepare("INSERT INTO transactions (id, source_id, record_key, record_text, "
                      "booking_date, booking_time, account_id, first_run, first_page, "
                      "first_position) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
      find_.emplace(db_.Prepare(
          "SELECT k.transaction_id, t.record_text, k.last_run FROM transaction_keys k "
          "JOIN transactions t ON t.id = k.transaction_id AND t.record_key = k.record_key "
          "WHERE k.source_id = ? AND k.record_key = ?"));
      update_.emplace(db_.Prepare(
          "UPDATE transactions SET record_text = ?, booking_date = ?, booking_time = ?, "
          "account_id = ? WHERE id = ?"));
      seen_.emplace(db_.Prepare(
          "UPDATE transaction_keys SET last_run = ? WHERE source_id = ? AND record_key = ?"));
      keep_.emplace(db_.Prepare(
          "INSERT INTO transaction_versions (transaction_id, record_text, replaced_by_run) "
          "VALUES (?, ?, ?)"));
      // MAX alone, which SQLite reads from the end of the table.
      forget_.emplace(
          db_.Prepare("DELETE FROM transaction_keys WHERE source_id = ? AND record_key = ?"));
      last_.emplace(db_.Prepare("SELECT MAX(id) FROM transactions"));
    }
    // The sync is the only writer: new transactions count up from the last.
    if (!last_->Step()) db_.Fail("read");
    std::int64_t nextId = last_->Integer(0) + 1;
    last_->Reset();
    const std::int64_t page = counts.Pages;
    const auto isNew = [&](std::size_t i) {
      const TPreparedRecord& record = records[i];
      newKey_->Bind(1, sourceId_).BindUnowned(2, record.Key).Bind(3, nextId).Bind(4, runId_).Run();
      if (db_.Changes() == 0) return false;
      insert_->Bind(1, nextId++)
          .Bind(2, sourceId_)
          .BindUnowned(3, record.Key)
          .BindUnowned(4, record.Text)
          .BindOptional(5, record.BookingDate)
          .BindOptional(6, BookingMilliseconds(record.BookingDate))
          .BindOptional(7, record.AccountId)
          .Bind(8, runId_)
          .Bind(9, page)
          .Bind(10, static_cast<std::int64_t>(i))
          .Run();
      return true;
    };
    const auto isSameAgain = [&](const TPreparedRecord& record) {
      sameAgain_->Bind(1, runId_)
          .Bind(2, sourceId_)
          .BindUnowned(3, record.Key)
          .BindUnowned(4, record.Text)
          .Run();
      return db_.Changes() > 0;
    };
    for (std::size_t i = 0; i < records.size(); ++i) {
      const TPreparedRecord& record = records[i];
      ++counts.Read;
      if (lastWasNew_ ? isNew(i) : isSameAgain(record)) {
        ++(lastWasNew_ ? counts.New : counts.Unchanged);
        continue;
      }
      if (lastWasNew_ ? isSameAgain(record) : isNew(i)) {
        lastWasNew_ = !lastWasNew_;
        ++(lastWasNew_ ? counts.New : counts.Unchanged);
        continue;
      }
      // Met before in this run, or changed.
      find_->Bind(1, sourceId_).BindUnowned(2, record.Key);
      if (!find_->Step()) {
        // A key whose transaction is gone (the file was edited by hand): the
        // record is stored anew under it.
        find_->Reset();
        forget_->Bind(1, sourceId_).BindUnowned(2, record.Key).Run();
        if (!isNew(i)) db_.Fail("write to");
        ++counts.New;
        continue;
      }
      const std::int64_t id = find_->Integer(0);
      const bool same = find_->Text(1) == record.Text;
      const std::string before = same ? std::string() : std::string(find_->Text(1));
      const bool seenInThisRun = find_->Integer(2) == runId_;
      find_->Reset();
      if (seenInThisRun) {
        ++counts.Repeated;
      } else {
        ++counts.Changed;
      }
      if (same) continue;
      // The text it had is kept with the run that replaced it.
      keep_->Bind(1, id).Bind(2, before).Bind(3, runId_).Run();
      update_->BindUnowned(1, record.Text)
          .BindOptional(2, record.BookingDate)
          .BindOptional(3, BookingMilliseconds(record.BookingDate))
          .BindOptional(4, record.AccountId)
          .Bind(5, id)
          .Run();
      seen_->Bind(1, runId_).Bind(2, sourceId_).BindUnowned(3, record.Key).Run();
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

}  // namespace kestrava::store::sqlite
