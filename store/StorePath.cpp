#include "store/StorePath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "store/Store.h"

namespace kestrava::store {
namespace {

std::optional<std::string> Variable(const TGetEnv& getenv, const std::string& name) {
  std::optional<std::string> value = getenv ? getenv(name) : std::nullopt;
  if (value && value->empty()) return std::nullopt;
  return value;
}

[[noreturn]] void CannotCreate(const std::string& path, int error) {
  throw EStoreError("cannot create the store " + path + ": " + std::strerror(error));
}

// Every missing folder above the file, from the outermost in.
void MakeFolders(const std::string& path) {
  std::vector<std::string> missing;
  for (std::size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0;
       slash = path.rfind('/', slash - 1)) {
    const std::string folder = path.substr(0, slash);
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0) break;
    if (errno != ENOENT) CannotCreate(path, errno);
    missing.push_back(folder);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    if (mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) CannotCreate(path, errno);
}

}  // namespace

std::string StorePath(const std::optional<std::string>& dbOption, const TGetEnv& getenv) {
  if (dbOption) {
    if (dbOption->empty()) throw EStoreError("the store's file name (--db) is empty");
    return *dbOption;
  }
  if (auto db = Variable(getenv, "KESTRAVA_DB")) return *db;
  if (auto data = Variable(getenv, "XDG_DATA_HOME"); data && data->front() == '/')
    return *data + "/kestrava/kestrava.db";
  if (auto home = Variable(getenv, "HOME")) return *home + "/.local/share/kestrava/kestrava.db";
  throw EStoreError("no place for the store: give --db FILE, or set KESTRAVA_DB or HOME");
}

void CreateStoreFile(const std::string& path) {
  MakeFolders(path);
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (file < 0) {
    if (errno == EEXIST) return;  // made meanwhile; opening it decides what it is
    CannotCreate(path, errno);
  }
  // Whatever the umask left, a new store is its owner's only.
  const int changed = fchmod(file, 0600);
  const int error = errno;
  close(file);
  if (changed != 0) CannotCreate(path, error);
}

}  // namespace kestrava::store
