#pragma once

// Where the store is and how a new one is laid down on disk.

#include <functional>
#include <optional>
#include <string>

namespace kestrava::store {

using TGetEnv = std::function<std::optional<std::string>(const std::string&)>;

// The store's file: `dbOption` (--db FILE) when given, else $KESTRAVA_DB,
// else $XDG_DATA_HOME/kestrava/kestrava.db, else
// $HOME/.local/share/kestrava/kestrava.db. Empty variables count as unset,
// and so does a relative XDG_DATA_HOME. Throws EStoreError when --db is
// empty or no variable gives a place.
std::string StorePath(const std::optional<std::string>& dbOption, const TGetEnv& getenv);

// Makes the missing folders of the path (each 0700) and the file itself,
// empty and 0600, when it does not exist. Throws EStoreError
// "cannot create the store PATH: reason".
void CreateStoreFile(const std::string& path);

}  // namespace kestrava::store
