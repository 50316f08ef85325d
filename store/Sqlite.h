#pragma once

// A thin owner of SQLite's C objects: the connection and its prepared
// statements, with each failure turned into an EStoreError whose text says
// what could not be done with which store.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::store {

// SQLite's description of the connection's last failure, with the system's
// reason when the failure came from a system call ("disk I/O error (File too
// large)").
std::string SqliteReason(sqlite3* db);

class TStatement;

class TDatabase {
 public:
  // Opens `path` with SQLite's open flags; throws EStoreError
  // "cannot open the store PATH: reason".
  TDatabase(const std::string& path, int flags);
  ~TDatabase();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  sqlite3* Handle() const noexcept { return db_; }
  const std::string& Path() const noexcept { return path_; }

  // Runs statements without parameters or results; throws what Fail throws.
  void Execute(std::string_view sql, std::string_view doing = "write to");
  TStatement Prepare(std::string_view sql);
  // Rows changed by the last INSERT, UPDATE or DELETE that ran.
  std::int64_t Changes() const noexcept { return sqlite3_changes64(db_); }
  // Throws EStoreError "cannot DOING the store PATH: reason".
  [[noreturn]] void Fail(std::string_view doing) const;

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
};

// A prepared statement. Bind numbers count from 1, column numbers from 0.
// Text is bound and read with its length, so a text holding U+0000 keeps
// every byte.
class TStatement {
 public:
  TStatement(const TDatabase& db, std::string_view sql);
  TStatement(TStatement&&) noexcept;
  TStatement& operator=(TStatement&&) = delete;
  ~TStatement();

  TStatement& Bind(int index, std::int64_t value);
  TStatement& Bind(int index, std::string_view text);
  // Binds the text without a copy: it must stay until the statement is
  // reset or bound again.
  TStatement& BindUnowned(int index, std::string_view text);
  // None binds NULL.
  TStatement& BindOptional(int index, const std::optional<std::string>& text);
  TStatement& BindOptional(int index, const std::optional<std::int64_t>& value);
  TStatement& BindNull(int index);

  // True while a row is there; throws EStoreError with `doing` when the
  // step fails.
  bool Step(std::string_view doing = "read");
  // Step, for statements without rows.
  void Run(std::string_view doing = "write to");
  // Ready to run again with new bindings.
  void Reset();

  std::int64_t Integer(int column) const;
  std::string_view Text(int column) const;  // valid until the next step
  bool IsNull(int column) const;

 private:
  const TDatabase* db_;
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace kestrava::store
