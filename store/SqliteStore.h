#pragma once

// The SQLite store's parts, shared by the store and its sync session.
// Internal to the layer: callers see Store.h only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/Sqlite.h"
#include "store/Store.h"
#include "store/SyncLock.h"

namespace kestrava::store::sqlite {

struct TTextRange {
  std::string From, To;
};

// Ranges sorted by start, with those that touch or overlap joined.
std::vector<TTextRange> Merged(std::vector<TTextRange> ranges);

// A transaction that rolls back unless committed.
class TTransaction {
 public:
  // A write transaction takes the write lock at once (BEGIN IMMEDIATE).
  TTransaction(TDatabase& db, bool write);
  ~TTransaction();
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;
  void Commit() { db_.Execute("COMMIT"); }

 private:
  TDatabase& db_;
};

class TSqliteStore;

// One run of a sync; holds the store's sync lock while it lives.
class TSqliteSyncSession final : public TSyncSession {
 public:
  TSqliteSyncSession(TSqliteStore& store, std::unique_ptr<TSyncLock> lock, std::int64_t sourceId,
                     std::int64_t runId, int account, TTextRange range);
  ~TSqliteSyncSession() override;

  std::int64_t RunId() const noexcept override { return runId_; }
  void AddAccounts(const TJSONArray& accounts) override;
  void AddPreparedPage(TPreparedPage records) override;
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
  std::optional<TStatement> sameAgain_, newKey_, insert_, find_, update_, seen_, keep_, last_,
      forget_, progress_;
  // Whether the last record of a page was new (else unchanged, or neither).
  bool lastWasNew_ = true;
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

}  // namespace kestrava::store::sqlite
