// The writer thread behind SaveDocument during an export.
#include "xml/WriteBehind.h"

#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::xml {

WriteBehind::WriteBehind(Files files, size_t max_pending_bytes)
    : files_(files), max_pending_(max_pending_bytes) {
  writer_ = std::thread([this] { Run(); });
}

WriteBehind::~WriteBehind() {
  {
    std::unique_lock<std::mutex> lock(mu_);
    WaitUntilIdle(lock);
    stop_ = true;
  }
  changed_.notify_all();
  writer_.join();
}

void WriteBehind::Queue(std::string path, std::string bytes) {
  std::unique_lock<std::mutex> lock(mu_);
  // One file larger than the bound still goes: wait only while others are
  // pending.
  changed_.wait(lock, [&] {
    return failure_ || pending_bytes_ == 0 || pending_bytes_ + bytes.size() <= max_pending_;
  });
  RethrowFailure();
  pending_bytes_ += bytes.size();
  queue_.emplace_back(std::move(path), std::move(bytes));
  lock.unlock();
  changed_.notify_all();
}

void WriteBehind::Finish() {
  std::unique_lock<std::mutex> lock(mu_);
  WaitUntilIdle(lock);
  RethrowFailure();
}

void WriteBehind::WaitUntilIdle(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [&] { return queue_.empty() && !writing_; });
}

void WriteBehind::RethrowFailure() {
  if (failure_) std::rethrow_exception(failure_);
}

void WriteBehind::Run() {
  std::unique_lock<std::mutex> lock(mu_);
  for (;;) {
    changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping
    auto [path, bytes] = std::move(queue_.front());
    queue_.pop_front();
    writing_ = true;
    lock.unlock();
    std::exception_ptr failed;
    try {
      if (files_ == Files::kInPlace)
        WriteFileInPlace(path, bytes);
      else
        WriteFileBytes(path, bytes);
    } catch (...) {
      failed = std::current_exception();
    }
    lock.lock();
    writing_ = false;
    pending_bytes_ -= bytes.size();
    if (failed && !failure_) {
      failure_ = failed;
      // The files after a failed one are dropped: the export fails anyway.
      for (const auto& [p, b] : queue_) pending_bytes_ -= b.size();
      queue_.clear();
    }
    changed_.notify_all();
  }
}

}  // namespace qmxml::xml
