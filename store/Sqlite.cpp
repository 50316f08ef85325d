#include "store/Sqlite.h"

#include <cstring>
#include <limits>

#include "store/Store.h"

namespace kestrava::store {
namespace {

// SQLite takes lengths as int; texts this long are never records.
int Length(std::string_view text, const TDatabase& db) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw EStoreError("cannot write to the store " + db.Path() + ": a text is too long");
  return static_cast<int>(text.size());
}

}  // namespace

std::string SqliteReason(sqlite3* db) {
  if (db == nullptr) return "out of memory";
  std::string reason = sqlite3_errmsg(db);
  const int code = sqlite3_extended_errcode(db);
  const int error = sqlite3_system_errno(db);
  // The system's reason helps only where a system call failed.
  const bool fromSystem = (code & 0xff) == SQLITE_IOERR || (code & 0xff) == SQLITE_CANTOPEN ||
                          (code & 0xff) == SQLITE_FULL;
  if (fromSystem && error != 0) reason += std::string(" (") + std::strerror(error) + ")";
  // Where a write is refused, say what refused it.
  if (code == SQLITE_READONLY_DIRECTORY) reason += " (its folder cannot be written)";
  if (code == SQLITE_READONLY_CANTINIT || code == SQLITE_READONLY_CANTLOCK)
    reason += " (its shared-memory file cannot be written)";
  return reason;
}

TDatabase::TDatabase(const std::string& path, int flags) : path_(path) {
  const int result = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (result != SQLITE_OK) {
    const std::string reason = SqliteReason(db_);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw EStoreError("cannot open the store " + path + ": " + reason);
  }
  sqlite3_extended_result_codes(db_, 1);
}

TDatabase::~TDatabase() {
  sqlite3_close_v2(db_);
}

void TDatabase::Fail(std::string_view doing) const {
  throw EStoreError("cannot " + std::string(doing) + " the store " + path_ + ": " +
                    SqliteReason(db_));
}

void TDatabase::Execute(std::string_view sql, std::string_view doing) {
  const std::string text(sql);
  if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(doing);
}

TStatement TDatabase::Prepare(std::string_view sql) {
  return TStatement(*this, sql);
}

TStatement::TStatement(const TDatabase& db, std::string_view sql) : db_(&db) {
  if (sqlite3_prepare_v3(db.Handle(), sql.data(), Length(sql, db), SQLITE_PREPARE_PERSISTENT,
                         &statement_, nullptr) != SQLITE_OK) {
    db.Fail("read");
  }
}

TStatement::TStatement(TStatement&& other) noexcept : db_(other.db_), statement_(other.statement_) {
  other.statement_ = nullptr;
}

TStatement::~TStatement() {
  sqlite3_finalize(statement_);
}

TStatement& TStatement::Bind(int index, std::int64_t value) {
  if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) db_->Fail("write to");
  return *this;
}

TStatement& TStatement::Bind(int index, std::string_view text) {
  // An empty view may have no data; SQLite needs a pointer for an empty text.
  const char* data = text.data() != nullptr ? text.data() : "";
  if (sqlite3_bind_text(statement_, index, data, Length(text, *db_), SQLITE_TRANSIENT) != SQLITE_OK)
    db_->Fail("write to");
  return *this;
}

TStatement& TStatement::BindUnowned(int index, std::string_view text) {
  const char* data = text.data() != nullptr ? text.data() : "";
  if (sqlite3_bind_text(statement_, index, data, Length(text, *db_), SQLITE_STATIC) != SQLITE_OK)
    db_->Fail("write to");
  return *this;
}

TStatement& TStatement::BindOptional(int index, const std::optional<std::string>& text) {
  return text ? Bind(index, std::string_view(*text)) : BindNull(index);
}

TStatement& TStatement::BindOptional(int index, const std::optional<std::int64_t>& value) {
  return value ? Bind(index, *value) : BindNull(index);
}

TStatement& TStatement::BindNull(int index) {
  if (sqlite3_bind_null(statement_, index) != SQLITE_OK) db_->Fail("write to");
  return *this;
}

bool TStatement::Step(std::string_view doing) {
  const int result = sqlite3_step(statement_);
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  // The connection's message describes the failure of this step; the
  // statement is reset only after it has been read.
  const std::string message = "cannot " + std::string(doing) + " the store " + db_->Path() + ": " +
                              SqliteReason(db_->Handle());
  sqlite3_reset(statement_);
  throw EStoreError(message);
}

void TStatement::Run(std::string_view doing) {
  while (Step(doing)) {
  }
  Reset();
}

void TStatement::Reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

std::int64_t TStatement::Integer(int column) const {
  return sqlite3_column_int64(statement_, column);
}

std::string_view TStatement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  if (text == nullptr) return {};
  return {text, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
}

bool TStatement::IsNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

}  // namespace kestrava::store
