#include "store/PageWriter.h"

#include <utility>

namespace kestrava::store {

TPageWriter::TPageWriter(TSyncSession& session) : session_(session), thread_([this] { Run(); }) {}

TPageWriter::~TPageWriter() {
  {
    std::unique_lock lock(mutex_);
    WaitIdle(lock);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void TPageWriter::WaitIdle(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return !busy_; });
}

void TPageWriter::Add(const TJSONArray& records) {
  TPreparedPage page = PreparePage(records);
  {
    std::unique_lock lock(mutex_);
    WaitIdle(lock);
    if (failure_) std::rethrow_exception(failure_);
    page_ = std::move(page);
    busy_ = true;
  }
  changed_.notify_all();
}

void TPageWriter::Finish() {
  std::unique_lock lock(mutex_);
  WaitIdle(lock);
  if (failure_) std::rethrow_exception(failure_);
}

void TPageWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || page_.has_value(); });
    if (!page_) return;
    TPreparedPage page = std::move(*page_);
    page_.reset();
    lock.unlock();
    std::exception_ptr failure;
    try {
      session_.AddPreparedPage(std::move(page));
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    if (failure) failure_ = failure;
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace kestrava::store
