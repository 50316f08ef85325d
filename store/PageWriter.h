#pragma once

// A sync's pages written on a thread of their own, so that the next page is
// read from the service while this one is written. One page is in flight at
// most: handing over the next one waits for it. A page that fails to be
// written fails the next hand-over, or the finish, with its own text; the
// pages before it stay written.

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "store/Store.h"

namespace kestrava::store {

class TPageWriter {
 public:
  // The session must outlive the writer.
  explicit TPageWriter(TSyncSession& session);
  // Waits for the page in flight.
  ~TPageWriter();
  TPageWriter(const TPageWriter&) = delete;
  TPageWriter& operator=(const TPageWriter&) = delete;

  // Prepares the page's records on this thread, waits for the page in
  // flight, then hands this one over. Throws the EStoreError of a page that
  // failed (then and at every later call: nothing more is written).
  void Add(const TJSONArray& records);
  // Waits for the page in flight; throws as Add does. After it the session
  // is the caller's again.
  void Finish();

 private:
  // Waits until no page is in flight; the lock is held.
  void WaitIdle(std::unique_lock<std::mutex>& lock);
  void Run();

  TSyncSession& session_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<TPreparedPage> page_;  // handed over, not yet taken
  bool busy_ = false;                  // a page handed over and not yet written
  bool stop_ = false;
  std::exception_ptr failure_;
  std::thread thread_;  // last: it starts once the rest is ready
};

}  // namespace kestrava::store
