// Writes finished documents to their files on a second thread while the
// caller builds the next one.
//
// An export creates thousands of files (one per package, one per resource);
// on some filesystems creating a file costs more kernel time than building
// its document, and turning a document into text costs a tenth of an
// export. SaveDocument handed a WriteBehind queues the document itself; the
// writer thread turns it into text and creates the files in the order they
// were queued, so a document must not change once it is saved (every mover
// makes a new one for each call). Without one, SaveDocument writes before it
// returns. A run hands its WriteBehind to its mover calls
// (TransferState::files).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "qmxml/Scheduler.h"
#include "xml/XmlDoc.h"

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
  // but not yet written, and |max_pending_documents| the documents not yet
  // turned into text: Queue waits while more is pending.
  explicit WriteBehind(Files files = Files::kReplaceWhole, size_t max_pending_bytes = 32u << 20,
                       size_t max_pending_documents = 4);
  // Waits for the queued files without raising their errors (an owner that
  // is unwinding is already failing), then stops the writer thread.
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Queues |bytes| for |path|. Throws the error of an earlier file that
  // could not be written; after such an error nothing more is written.
  void Queue(std::string path, std::string bytes);
  // Queues |doc| for |path|, as DocumentText writes it.
  void Queue(std::string path, XmlDocumentPtr doc);
  // Queues the text |make| gives for |path|: it runs on the writer thread
  // (counting in the notes it is handed), so it must use only what it
  // holds itself.
  using MakeText = std::function<std::string(WriteNotes* notes)>;
  void Queue(std::string path, MakeText make);
  // Waits until every queued file is written and adds what the queued
  // documents could not hold as they stand to |notes| (may be null). Throws
  // Error eErr_FileNotFound naming the first file that could not be written.
  void Finish(WriteNotes* notes = nullptr);

 private:
  struct Pending {
    std::string path;
    std::string bytes;
    MakeText make;  // gives |bytes| on the writer thread when set
  };
  void Add(Pending file);
  void Run();
  void WaitUntilIdle(std::unique_lock<std::mutex>& lock);
  void RethrowFailure();

  const Files files_;
  const size_t max_pending_;
  const size_t max_documents_;
  std::mutex mu_;
  std::condition_variable changed_;
  std::deque<Pending> queue_;
  size_t pending_bytes_ = 0;
  size_t pending_documents_ = 0;
  WriteNotes notes_;  // the writer's alone until Finish
  bool writing_ = false;  // the writer holds a file taken off the queue
  bool stop_ = false;
  std::exception_ptr failure_;
  std::thread writer_;
};

}  // namespace qmxml::xml
