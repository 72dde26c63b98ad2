// The .reqifz archive: a zip holding one ReqIF file and the attachments its
// XHTML texts name with <xhtml:object data="...">. Written and read with
// libzip; the ReqIF file is streamed in and out of the archive and the
// attachments pass one at a time, so memory does not grow with the archive.
//
// Entry names in an archive from elsewhere are untrusted: a name that is
// absolute, holds ".." or a backslash, or a control character is never
// read, and only counted. Nothing of an archive is ever written to disk.
#pragma once

#include <libxml/xmlreader.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct zip;
struct zip_file;

namespace qmxml::reqif {

// The most entries an archive may hold, and the most bytes all its entries
// may declare together (the largest document a folder import reads).
inline constexpr int64_t kMaxArchiveEntries = 200000;

// Whether |data| starts as a zip archive does ("PK\3\4").
bool IsZipFile(const std::string& path);

// Whether an entry name stays inside the archive's folder: not empty, not
// absolute ("/x", "C:x"), no ".." component, no backslash, no control
// character, no empty component.
bool IsSafeEntryName(std::string_view name);

// One file name (no folder) made from |name| as stored: separators, ":"
// and control characters become "_", "", "." and ".." become "resource",
// and it is cut to at most 200 bytes at a character's start.
std::string EntryFileName(std::string_view name);

// |path| as the value of a URI attribute: bytes other than letters,
// digits, "-._~/" as %XX; and back (a "%" not followed by two hex digits
// stands for itself).
std::string PercentEncoded(std::string_view path);
std::string PercentDecoded(std::string_view uri);

// A MIME type for a file name by its extension (case ignored),
// "application/octet-stream" for one not known.
std::string MimeTypeOf(std::string_view file_name);

// Writes a new archive. Entries are added in order and written by Close,
// each with the time stamp |when| (UTC), so the same entries give the same
// bytes.
class ArchiveWriter {
 public:
  // Bytes of an entry, asked for when Close writes it; may throw.
  using Fetch = std::function<std::vector<uint8_t>()>;

  // |path| is created or replaced by Close. Throws Error eErr_ReqifArchive.
  ArchiveWriter(const std::string& path, std::time_t when);
  ~ArchiveWriter();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // |file| is read when Close writes the entry.
  void AddFile(const std::string& entry, const std::string& file);
  void AddFetched(const std::string& entry, Fetch fetch);
  // Writes the archive; throws Error (the fetch's own, or eErr_ReqifArchive).
  void Close();

 private:
  struct Source;
  void Added(int64_t index, const std::string& entry);

  std::string path_;
  zip* zip_ = nullptr;
  uint16_t dos_time_ = 0, dos_date_ = 0;
  std::vector<std::unique_ptr<Source>> sources_;
};

// Reads an archive: its one ReqIF file, streamed, and the attachments by
// name. Opening checks the whole table of entries: more than
// kMaxArchiveEntries entries, or declared sizes over the largest document
// (xml::kMaxDocumentBytes) together, are refused before a byte is
// unpacked.
class ArchiveReader {
 public:
  // Throws Error eErr_ReqifArchive: not a zip archive, refused as too
  // large, or no ".reqif" entry with a safe name.
  explicit ArchiveReader(const std::string& path);
  ~ArchiveReader();
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  // The ReqIF file read: the first ".reqif" entry in archive order.
  const std::string& ReqifEntry() const { return reqif_; }
  // Entries never read: names that could leave the folder, and ReqIF
  // files after the first.
  const std::vector<std::string>& UnsafeEntries() const { return unsafe_; }
  const std::vector<std::string>& OtherReqifFiles() const { return other_reqif_; }

  // A reader streaming the ReqIF entry (libxml2 |options|); the caller
  // frees it before this object goes. nullptr when it cannot be opened.
  xmlTextReaderPtr OpenReqif(int options);
  // The bytes of the entry |name| (safe names only); false when the archive
  // has no such entry. Throws Error eErr_ReqifArchive when the entry is
  // damaged or larger than it declares.
  bool ReadEntry(const std::string& name, std::vector<uint8_t>* bytes);

 private:
  static int ReadReqif(void* self, char* buffer, int len);

  std::string path_, reqif_;
  zip* zip_ = nullptr;
  zip_file* reqif_file_ = nullptr;
  std::unordered_map<std::string, uint64_t> entries_;  // safe names -> index
  std::unordered_map<uint64_t, uint64_t> sizes_;       // index -> declared size
  std::vector<std::string> unsafe_, other_reqif_;
};

}  // namespace qmxml::reqif
