// Writes finished documents to their files on a second thread while the
// caller builds the next one.
//
// An export creates thousands of files (one per package, one per resource);
// on some filesystems creating a file costs more kernel time than building
// its document. SaveDocument handed a WriteBehind turns the document into
// bytes at once (so the caller may free or change it) and queues them; the
// writer thread creates the files in the order they were queued. Without
// one, SaveDocument writes before it returns. A run hands its WriteBehind
// to its mover calls (TransferState::files).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace qmxml::xml {

class WriteBehind {
 public:
  // How each file is written.
  enum class Files {
    kReplaceWhole,  // through a temporary file renamed over it (WriteFileBytes)
    kInPlace,       // straight to its name (WriteFileInPlace): the files of a
                    // hidden folder that is published whole at the end
  };
  // Starts the writer thread. |max_pending_bytes| bounds the bytes queued
  // but not yet written: Queue waits while more is pending.
  explicit WriteBehind(Files files = Files::kReplaceWhole, size_t max_pending_bytes = 32u << 20);
  // Waits for the queued files without raising their errors (an owner that
  // is unwinding is already failing), then stops the writer thread.
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Queues |bytes| for |path|. Throws the error of an earlier file that
  // could not be written; after such an error nothing more is written.
  void Queue(std::string path, std::string bytes);
  // Waits until every queued file is written. Throws Error eErr_FileNotFound
  // naming the first file that could not be written.
  void Finish();

 private:
  void Run();
  void WaitUntilIdle(std::unique_lock<std::mutex>& lock);
  void RethrowFailure();

  const Files files_;
  const size_t max_pending_;
  std::mutex mu_;
  std::condition_variable changed_;
  std::deque<std::pair<std::string, std::string>> queue_;
  size_t pending_bytes_ = 0;
  bool writing_ = false;  // the writer holds a file taken off the queue
  bool stop_ = false;
  std::exception_ptr failure_;
  std::thread writer_;
};

}  // namespace qmxml::xml
