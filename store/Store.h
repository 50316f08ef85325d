#pragma once

// The local store: what syncs read from the service, kept per source, so
// that history and status need no network. One interface, TStore, with an
// SQLite implementation (OpenStore); its SQL keeps to what PostgreSQL also
// accepts, so that a shared PostgreSQL store can follow behind the same
// interface.
//
// A sync is a session (TStore::BeginSync): the accounts, then each page of
// transactions written in one transaction together with the run's progress,
// then Succeed (the range joins the coverage) or Fail. Records are handed
// out as their exact compact text as received, one at a time.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Exception.h"
#include "datetime/DateTime.h"
#include "json/JSON.h"

namespace kestrava::store {

// Every failure of the store, with its exact text: the store's path and
// what went wrong, e.g. "cannot write to the store /x/kestrava.db: database
// or disk is full".
class EStoreError : public Exception {
 public:
  using Exception::Exception;
};

// Where the data came from: the service host as requested (the "api.test."
// prefix included) and the client id. Records of two sources never mix.
struct TSource {
  std::string Host;
  std::string ClientId;
  bool operator==(const TSource&) const = default;
};

// A closed range of local wall-clock date-times, [From, To].
struct TTimeRange {
  TDateTime From = 0;
  TDateTime To = 0;
  bool operator==(const TTimeRange&) const = default;
};

// Which accounts a sync read and a coverage holds: every account, or one.
inline constexpr int kAllAccounts = 0;

struct TSyncCounts {
  std::int64_t Accounts = 0;
  std::int64_t Read = 0;       // records of every page, repeats included
  std::int64_t New = 0;        // keys stored for the first time
  std::int64_t Changed = 0;    // known keys whose text changed
  std::int64_t Unchanged = 0;  // known keys with the same text
  std::int64_t Repeated = 0;   // keys met before within the same sync
  std::int64_t Pages = 0;      // pages written
  bool operator==(const TSyncCounts&) const = default;
};

enum class TRunOutcome {
  Running,      // begun, neither succeeded nor failed yet
  Succeeded,    // its range joined the coverage
  Failed,       // its error text says why
  Interrupted,  // its process ended before the run did (killed, crashed)
};

// The texts the store keeps for the outcomes: "running", "success",
// "failure", "interrupted".
std::string_view OutcomeText(TRunOutcome outcome) noexcept;

struct TSyncRun {
  std::int64_t Id = 0;  // runs of a store count up from 1
  TTimeRange Range;
  int Account = kAllAccounts;
  TDateTime Started = 0;
  std::optional<TDateTime> Ended;  // none while running or interrupted
  TRunOutcome Outcome = TRunOutcome::Running;
  TSyncCounts Counts;
  std::string Error;           // whole error text of a failed run
  std::string ErrorFirstLine;  // up to its first CR or LF
};

struct TSourceStatus {
  TSource Source;
  std::int64_t Accounts = 0;  // accounts known (latest record of each)
  std::int64_t Records = 0;   // transactions stored
  // Covered ranges of each account filter: every account first, then one
  // account at a time by number; each list merged and in order.
  std::vector<TTimeRange> CoveredAll;
  std::vector<std::pair<int, std::vector<TTimeRange>>> CoveredAccount;
  std::optional<TSyncRun> LastRun;
  std::optional<TSyncRun> LastSuccess;
};

// Receives one record's exact compact text (valid during the call); false
// stops the reading. It must not use the store it reads from.
using TRecordReceiver = std::function<bool(std::string_view text)>;

struct THistoryQuery {
  // Only records whose "bookingDate" lies within the range (a record
  // without a readable one belongs to no range); none: every record.
  std::optional<TTimeRange> Range;
  // Only records whose "accountId" (a number's text or a string) is this
  // account's decimal number; kAllAccounts: every record.
  int Account = kAllAccounts;
};

// One record of a page as the store keeps it, taken from its JSON value
// (PreparePage), so that the value may go before the page is written.
struct TPreparedRecord {
  std::string Text;                        // its compact text
  std::string Key;                         // its key (identifier or digest)
  std::optional<std::string> BookingDate;  // a string "bookingDate"
  std::optional<std::string> AccountId;    // a string or number "accountId", as text
};
using TPreparedPage = std::vector<TPreparedRecord>;

// The page's records as the store keeps them, in order. Throws EStoreError.
TPreparedPage PreparePage(const TJSONArray& records);

class TSyncSession {
 public:
  virtual ~TSyncSession() = default;
  TSyncSession(const TSyncSession&) = delete;
  TSyncSession& operator=(const TSyncSession&) = delete;

  // The run's number in the store.
  virtual std::int64_t RunId() const noexcept = 0;
  // The accounts read for this run: the latest record of each account and a
  // snapshot of them all, in one transaction. Throws EStoreError.
  virtual void AddAccounts(const TJSONArray& accounts) = 0;
  // One page's records with the run's progress, in one transaction: after a
  // failure nothing of the page is kept. Throws EStoreError; after one, only
  // Fail remains.
  void AddPage(const TJSONArray& records) { AddPreparedPage(PreparePage(records)); }
  // The same, for a page already prepared (on another thread, say).
  virtual void AddPreparedPage(TPreparedPage page) = 0;
  virtual const TSyncCounts& Counts() const noexcept = 0;
  // The run succeeded: its range joins the coverage of its account filter
  // (merged with ranges it touches or overlaps), on the disk before this
  // returns. Throws EStoreError; only Fail remains after that.
  virtual void Succeed() = 0;
  // The run failed with `error` (the records of the written pages stay, the
  // coverage does not change). False when even that could not be written;
  // the next sync then records the run as interrupted. A session destroyed
  // unfinished fails with "the sync ended before it finished".
  virtual bool Fail(std::string_view error) noexcept = 0;

 protected:
  TSyncSession() = default;
};

class TStore {
 public:
  virtual ~TStore() = default;
  TStore(const TStore&) = delete;
  TStore& operator=(const TStore&) = delete;

  // Where the store is, for messages.
  virtual const std::string& Name() const noexcept = 0;

  // Starts a run of `source` for `range` (its end is the sync's "now", also
  // its start time) and the account filter. One sync at a time per store:
  // this waits for a running one up to the store's busy wait, then throws
  // EStoreError "the store PATH is busy: another sync ...". The session
  // must not outlive the store.
  virtual std::unique_ptr<TSyncSession> BeginSync(const TSource& source, const TTimeRange& range,
                                                  int account) = 0;

  // Readers below never wait for a sync.
  virtual std::vector<TSource> Sources() = 0;
  // The latest end of a range covered for the filter (for one account,
  // coverage of every account counts too); none when nothing is covered.
  virtual std::optional<TDateTime> CoverageEnd(const TSource& source, int account) = 0;
  // Ranges covered for the filter, merged, in order (for one account, those
  // of every account included).
  virtual std::vector<TTimeRange> Covered(const TSource& source, int account) = 0;
  // True when successful syncs cover the whole range for the filter.
  virtual bool IsCovered(const TSource& source, int account, const TTimeRange& range) = 0;
  // Transactions in order: by the text of "bookingDate", then by first
  // sight (run, page, position); records without a string "bookingDate"
  // last, in first-sight order. False when the receiver stopped.
  virtual bool History(const TSource& source, const THistoryQuery& query,
                       const TRecordReceiver& receive) = 0;
  // The accounts of the latest successful sync, in the order received.
  // False when the receiver stopped; true, with nothing received, when no
  // sync succeeded.
  virtual bool LatestAccounts(const TSource& source, const TRecordReceiver& receive) = 0;
  // Facts about one source (zeros and nothing for an unknown one).
  virtual TSourceStatus Status(const TSource& source) = 0;

 protected:
  TStore() = default;
};

struct TStoreOptions {
  std::string Path;
  // Make the store (and its missing folders, 0700; the file 0600) when
  // there is none; without, a missing store fails "there is no store at
  // PATH".
  bool Create = false;
  // How long BeginSync waits for another sync of the store.
  std::chrono::milliseconds BusyWait = std::chrono::seconds(30);
  // The local time at which a run ends.
  std::function<TDateTime()> Clock = Now;
};

// Opens the SQLite store, migrating an older schema forward. A file that is
// not a store, or a store newer than this program reads, fails with
// EStoreError and is left as it was.
std::unique_ptr<TStore> OpenStore(const TStoreOptions& options);

// The schema version this program writes.
inline constexpr int kStoreVersion = 1;

}  // namespace kestrava::store
