#include "store/Schema.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>

#include "store/Store.h"

namespace kestrava::store {
namespace {

// Version 1. The statements are the SQL that SQLite and PostgreSQL share,
// but for the id columns: "INTEGER PRIMARY KEY" is SQLite's alias of the
// row id (PostgreSQL: BIGINT GENERATED ALWAYS AS IDENTITY); TEXT columns
// compared by order (booking_date, the times) would be declared COLLATE
// "C" there, as SQLite compares TEXT by bytes; and transactions_in_order
// would end in id, which SQLite appends to every index by itself. Times
// are the store's local wall-clock text "YYYY-MM-DDTHH:MM:SS.mmm"; a
// booking time is milliseconds of the local wall clock since 1970, which
// keeps a row 17 bytes shorter than that text.
constexpr const char* kVersion1 = R"sql(
CREATE TABLE sources (
  id INTEGER PRIMARY KEY,
  host TEXT NOT NULL,
  client_id TEXT NOT NULL,
  UNIQUE (host, client_id)
);
CREATE TABLE sync_runs (
  id INTEGER PRIMARY KEY,
  source_id INTEGER NOT NULL REFERENCES sources (id),
  account_filter INTEGER NOT NULL,
  range_from TEXT NOT NULL,
  range_to TEXT NOT NULL,
  started TEXT NOT NULL,
  ended TEXT,
  outcome TEXT NOT NULL,
  pages INTEGER NOT NULL DEFAULT 0,
  accounts INTEGER NOT NULL DEFAULT 0,
  records_read INTEGER NOT NULL DEFAULT 0,
  new_records INTEGER NOT NULL DEFAULT 0,
  changed_records INTEGER NOT NULL DEFAULT 0,
  unchanged_records INTEGER NOT NULL DEFAULT 0,
  repeated_records INTEGER NOT NULL DEFAULT 0,
  error_text TEXT
);
CREATE INDEX sync_runs_of_source ON sync_runs (source_id, id);
CREATE TABLE accounts (
  source_id INTEGER NOT NULL REFERENCES sources (id),
  account_key TEXT NOT NULL,
  record_text TEXT NOT NULL,
  first_run INTEGER NOT NULL REFERENCES sync_runs (id),
  last_run INTEGER NOT NULL REFERENCES sync_runs (id),
  PRIMARY KEY (source_id, account_key)
);
CREATE TABLE account_snapshots (
  run_id INTEGER NOT NULL REFERENCES sync_runs (id),
  position INTEGER NOT NULL,
  account_key TEXT NOT NULL,
  record_text TEXT NOT NULL,
  PRIMARY KEY (run_id, position)
);
CREATE TABLE transactions (
  id INTEGER PRIMARY KEY,
  source_id INTEGER NOT NULL REFERENCES sources (id),
  record_key TEXT NOT NULL,
  record_text TEXT NOT NULL,
  booking_date TEXT,
  booking_time INTEGER,
  account_id TEXT,
  first_run INTEGER NOT NULL REFERENCES sync_runs (id),
  first_page INTEGER NOT NULL,
  first_position INTEGER NOT NULL,
  last_run INTEGER NOT NULL REFERENCES sync_runs (id),
  UNIQUE (source_id, record_key)
);
CREATE INDEX transactions_in_order ON transactions (source_id, booking_date);
CREATE TABLE transaction_versions (
  id INTEGER PRIMARY KEY,
  transaction_id INTEGER NOT NULL REFERENCES transactions (id),
  record_text TEXT NOT NULL,
  replaced_by_run INTEGER NOT NULL REFERENCES sync_runs (id)
);
CREATE INDEX transaction_versions_of ON transaction_versions (transaction_id, id);
CREATE TABLE coverage (
  source_id INTEGER NOT NULL REFERENCES sources (id),
  account_filter INTEGER NOT NULL,
  range_from TEXT NOT NULL,
  range_to TEXT NOT NULL,
  PRIMARY KEY (source_id, account_filter, range_from)
);
)sql";

// The steps from each version to the next: kMigrations[v] takes a store
// of version v to v + 1 (version 0 is a new, empty file).
constexpr const char* kMigrations[] = {kVersion1};
static_assert(std::size(kMigrations) == kStoreVersion);

constexpr int kPageSize = 8192;

// The first 16 bytes of every SQLite database, the NUL included.
constexpr char kSqliteMagic[16] = "SQLite format 3";

std::int64_t Pragma(TDatabase& db, const char* name) {
  TStatement statement = db.Prepare(std::string("PRAGMA ") + name);
  return statement.Step("open") ? statement.Integer(0) : 0;
}

bool HasTables(TDatabase& db) {
  TStatement statement = db.Prepare("SELECT COUNT(*) FROM sqlite_master");
  return statement.Step("open") && statement.Integer(0) > 0;
}

[[noreturn]] void NotAStore(const TDatabase& db, const std::string& why) {
  throw EStoreError(db.Path() + " is not a Kestrava store: " + why);
}

// Refuses what must not be touched; true when the file needs migrating.
bool NeedsMigration(TDatabase& db) {
  const std::int64_t application = Pragma(db, "application_id");
  const std::int64_t version = Pragma(db, "user_version");
  if (application == 0 && version == 0) {
    if (HasTables(db)) NotAStore(db, "it is an SQLite database of another program");
    return true;  // a new store
  }
  if (application != kApplicationId || version <= 0)
    NotAStore(db, "it is an SQLite database of another program");
  if (version > kStoreVersion)
    throw EStoreError(db.Path() + " is a store of version " + std::to_string(version) +
                      ", newer than this program reads (version " + std::to_string(kStoreVersion) +
                      ")");
  return version < kStoreVersion;
}

}  // namespace

void CheckStoreFile(const std::string& path) {
  const int file =
      open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);  // a FIFO must not hang it
  if (file < 0) throw EStoreError("cannot open the store " + path + ": " + std::strerror(errno));
  struct stat info {};
  char header[sizeof kSqliteMagic] = {};
  const bool isFile = fstat(file, &info) == 0 && S_ISREG(info.st_mode);
  const ssize_t read = isFile ? ::read(file, header, sizeof header) : 0;
  const int error = errno;
  close(file);
  if (!isFile) throw EStoreError(path + " is not a Kestrava store: it is not a file");
  if (read < 0) throw EStoreError("cannot read the store " + path + ": " + std::strerror(error));
  if (read == 0) return;  // empty: a new store
  if (static_cast<std::size_t>(read) < sizeof header ||
      std::memcmp(header, kSqliteMagic, sizeof header) != 0)
    throw EStoreError(path + " is not a Kestrava store: it is not an SQLite database");
}

void PrepareSchema(TDatabase& db) {
  if (!NeedsMigration(db)) return;
  // Rows of a few hundred bytes leave less of each page unused in larger
  // pages; the size holds from a new file's first write on.
  db.Execute("PRAGMA page_size = " + std::to_string(kPageSize), "create");
  db.Execute("BEGIN IMMEDIATE");
  try {
    // Another process may have made or migrated it meanwhile.
    std::int64_t version = Pragma(db, "user_version");
    if (version == 0 && HasTables(db)) NotAStore(db, "it is an SQLite database of another program");
    for (; version < kStoreVersion; ++version) db.Execute(kMigrations[version]);
    db.Execute("PRAGMA application_id = " + std::to_string(kApplicationId));
    db.Execute("PRAGMA user_version = " + std::to_string(kStoreVersion));
    db.Execute("COMMIT");
  } catch (...) {
    sqlite3_exec(db.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

}  // namespace kestrava::store
