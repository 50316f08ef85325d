#pragma once

// One sync at a time per store: an exclusive flock on the file PATH.lock
// beside the store, held for the whole run. The kernel drops it when the
// process ends however it ends, so a killed sync never blocks the next one.
// (A lock inside the database would not do: the pages of a run commit one
// by one, and a lock row would outlive a killed process.)

#include <chrono>
#include <string>

namespace kestrava::store {

class TSyncLock {
 public:
  // Waits up to `wait` for another holder; throws EStoreError
  // "the store PATH is busy: another sync did not end within N s" after
  // that, or "cannot lock the store PATH: reason" when the lock file
  // cannot be made.
  TSyncLock(const std::string& storePath, std::chrono::milliseconds wait);
  ~TSyncLock();
  TSyncLock(const TSyncLock&) = delete;
  TSyncLock& operator=(const TSyncLock&) = delete;

  static std::string LockPath(const std::string& storePath) { return storePath + ".lock"; }

 private:
  int file_ = -1;
};

}  // namespace kestrava::store
