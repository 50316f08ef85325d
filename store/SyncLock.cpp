#include "store/SyncLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "store/Store.h"

namespace kestrava::store {
namespace {

constexpr std::chrono::milliseconds kPollInterval{20};

std::string Duration(std::chrono::milliseconds wait) {
  if (wait.count() % 1000 == 0) return std::to_string(wait.count() / 1000) + " s";
  return std::to_string(wait.count()) + " ms";
}

}  // namespace

TSyncLock::TSyncLock(const std::string& storePath, std::chrono::milliseconds wait) {
  const std::string path = LockPath(storePath);
  file_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (file_ < 0)
    throw EStoreError("cannot lock the store " + storePath + ": " + path + ": " +
                      std::strerror(errno));
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (flock(file_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EINTR) continue;
    if (error != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
      close(file_);
      if (error != EWOULDBLOCK)
        throw EStoreError("cannot lock the store " + storePath + ": " + path + ": " +
                          std::strerror(error));
      throw EStoreError("the store " + storePath + " is busy: another sync did not end within " +
                        Duration(wait));
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

TSyncLock::~TSyncLock() {
  close(file_);  // releases the lock
}

}  // namespace kestrava::store
