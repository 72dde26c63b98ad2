// The writer thread behind SaveDocument during an export.
#include "xml/WriteBehind.h"

#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::xml {

WriteBehind::WriteBehind(Files files, size_t max_pending_bytes, size_t max_pending_documents)
    : files_(files), max_pending_(max_pending_bytes), max_documents_(max_pending_documents) {
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
  Add({std::move(path), std::move(bytes), nullptr});
}

void WriteBehind::Queue(std::string path, XmlDocumentPtr doc) {
  Queue(std::move(path), [doc = std::move(doc)](WriteNotes* notes) {
    return DocumentText(*doc, notes);
  });
}

void WriteBehind::Queue(std::string path, MakeText make) {
  Add({std::move(path), std::string(), std::move(make)});
}

void WriteBehind::Add(Pending file) {
  std::unique_lock<std::mutex> lock(mu_);
  // One file larger than the bound still goes: wait only while others are
  // pending.
  changed_.wait(lock, [&] {
    if (failure_) return true;
    if (file.make) return pending_documents_ < max_documents_;
    return pending_bytes_ == 0 || pending_bytes_ + file.bytes.size() <= max_pending_;
  });
  RethrowFailure();
  pending_bytes_ += file.bytes.size();
  if (file.make) ++pending_documents_;
  queue_.push_back(std::move(file));
  lock.unlock();
  changed_.notify_all();
}

void WriteBehind::Finish(WriteNotes* notes) {
  std::unique_lock<std::mutex> lock(mu_);
  WaitUntilIdle(lock);
  if (notes != nullptr) {
    notes->documents_with_control_characters += notes_.documents_with_control_characters;
    notes->texts_cut_at_nul += notes_.texts_cut_at_nul;
  }
  notes_ = WriteNotes();
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
    Pending file = std::move(queue_.front());
    queue_.pop_front();
    writing_ = true;
    lock.unlock();
    std::exception_ptr failed;
    const bool was_document = static_cast<bool>(file.make);
    try {
      if (was_document) file.bytes = file.make(&notes_);
      if (files_ == Files::kInPlace)
        WriteFileInPlace(file.path, file.bytes);
      else
        WriteFileBytes(file.path, file.bytes);
    } catch (...) {
      failed = std::current_exception();
    }
    file.make = nullptr;  // what it holds is freed here, outside the lock
    lock.lock();
    writing_ = false;
    if (was_document)
      --pending_documents_;
    else
      pending_bytes_ -= file.bytes.size();
    if (failed && !failure_) {
      failure_ = failed;
      // The files after a failed one are dropped: the export fails anyway.
      queue_.clear();
      pending_bytes_ = 0;
      pending_documents_ = 0;
    }
    changed_.notify_all();
  }
}

}  // namespace qmxml::xml
