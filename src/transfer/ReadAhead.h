// ReadAhead: what a transfer reads next, read on a second thread while the
// caller works on what it took before. The import parses the next package
// files while it inserts one; the export reads the next batch of packages
// while it writes one. Items are read in order, at most |depth| before the caller. A
// read that fails ends the reading; its error is raised when the caller
// takes that item, so a run fails on the same item with the same error as
// it would reading one item at a time.
//
// While it reads, the reading thread alone may use what |read| uses (the
// database connection): the caller must keep off it until the last item is
// taken or the ReadAhead is gone.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace qmxml::transfer {

template <class T>
class ReadAhead {
 public:
  // Starts reading items 0 to |count| - 1 with |read|.
  ReadAhead(size_t count, size_t depth, std::function<T(size_t)> read)
      : count_(count), depth_(depth), read_(std::move(read)), reader_([this] { Run(); }) {}
  // Stops the reading (after the item being read, if any).
  ~ReadAhead() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
    }
    changed_.notify_all();
    reader_.join();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next item (items are taken in order); throws the error its read
  // raised.
  T Take() {
    std::unique_lock<std::mutex> lock(mu_);
    changed_.wait(lock, [&] { return !ready_.empty() || failure_; });
    if (ready_.empty()) std::rethrow_exception(failure_);
    T item = std::move(ready_.front());
    ready_.pop_front();
    lock.unlock();
    changed_.notify_all();
    return item;
  }

 private:
  void Run() {
    for (size_t i = 0; i < count_; ++i) {
      {
        std::unique_lock<std::mutex> lock(mu_);
        changed_.wait(lock, [&] { return stop_ || ready_.size() < depth_; });
        if (stop_) return;
      }
      std::exception_ptr failed;
      try {
        T item = read_(i);
        std::lock_guard<std::mutex> lock(mu_);
        ready_.push_back(std::move(item));
      } catch (...) {
        failed = std::current_exception();
      }
      if (failed) {
        std::lock_guard<std::mutex> lock(mu_);
        failure_ = failed;
      }
      changed_.notify_all();
      if (failed) return;
    }
  }

  const size_t count_;
  const size_t depth_;
  const std::function<T(size_t)> read_;
  std::mutex mu_;
  std::condition_variable changed_;
  std::deque<T> ready_;
  std::exception_ptr failure_;
  bool stop_ = false;
  std::thread reader_;  // last: started once the members above are set
};

}  // namespace qmxml::transfer
