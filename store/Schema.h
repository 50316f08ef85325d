#pragma once

// The store's tables, and how a file becomes (or is refused as) a store of
// the current version.

#include <string>

#include "store/Sqlite.h"

namespace kestrava::store {

// "KSTR": the application id SQLite keeps in the file's header, so a store
// is told from another program's database by `file` and SQLite alike.
inline constexpr int kApplicationId = 0x4B535452;

// Refuses, before SQLite opens it, a file that is not an SQLite database
// (an empty file is a new store). Throws EStoreError.
void CheckStoreFile(const std::string& path);

// Checks what the open file is and brings it to kStoreVersion. Nothing is
// written before the checks pass: a file that is not a store, or a store
// of a newer version, throws EStoreError and is left as it was.
void PrepareSchema(TDatabase& db);

}  // namespace kestrava::store
