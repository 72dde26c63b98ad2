// The .reqifz archive with libzip. Writing hands libzip the ReqIF file as a
// file source and each attachment as a function source that fetches its
// bytes only when zip_close copies that entry, so one attachment is in
// memory at a time. Reading checks the table of entries first, then
// streams the ReqIF entry into libxml2's reader and unpacks attachments
// one by one on request.
#include "reqif/ReqifArchive.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "qmxml/Collection.h"
#include "qmxml/Error.h"
#include "xml/WellFormed.h"

namespace qmxml::reqif {
namespace {

constexpr const char* kSource = "ReqifArchive";

std::string ZipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
  throw Error(eErr_ReqifArchive, kSource, "The archive " + path + " " + why + ".");
}

bool EndsWithNoCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() &&
         EqualsNoCase(text.substr(text.size() - end.size()), end);
}

}  // namespace

bool IsZipFile(const std::string& path) {
  char magic[4] = {};
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  const size_t n = std::fread(magic, 1, sizeof magic, f);
  std::fclose(f);
  return n == 4 && std::memcmp(magic, "PK\3\4", 4) == 0;
}

bool IsSafeEntryName(std::string_view name) {
  if (name.empty() || name.front() == '/') return false;
  if (name.size() >= 2 && name[1] == ':') return false;  // a drive, "C:..."
  for (char c : name)
    if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(name.find('/', start), name.size());
    const std::string_view part = name.substr(start, end - start);
    // "a//b" and a trailing "/" (a folder entry) name no file.
    if (part.empty() || part == "..") return false;
    if (end == name.size()) return true;
    start = end + 1;
  }
}

std::string EntryFileName(std::string_view name) {
  std::string out;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    out.push_back(c == '/' || c == '\\' || c == ':' || u < 0x20 || u == 0x7f ? '_' : c);
  }
  if (out.size() > 200) {
    size_t cut = 200;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  if (out.empty() || out == "." || out == "..") return "resource";
  return out;
}

std::string PercentEncoded(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : path) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      out.push_back(c);
      continue;
    }
    out.push_back('%');
    out.push_back(kHex[u >> 4]);
    out.push_back(kHex[u & 15]);
  }
  return out;
}

std::string PercentDecoded(std::string_view uri) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && digit(uri[i + 1]) >= 0 &&
        digit(uri[i + 2]) >= 0) {
      out.push_back(static_cast<char>(digit(uri[i + 1]) * 16 + digit(uri[i + 2])));
      i += 2;
      continue;
    }
    out.push_back(uri[i]);
  }
  return out;
}

std::string MimeTypeOf(std::string_view file_name) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {"png", "image/png"},
      {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},
      {"gif", "image/gif"},
      {"bmp", "image/bmp"},
      {"svg", "image/svg+xml"},
      {"tif", "image/tiff"},
      {"tiff", "image/tiff"},
      {"pdf", "application/pdf"},
      {"txt", "text/plain"},
      {"csv", "text/csv"},
      {"htm", "text/html"},
      {"html", "text/html"},
      {"xml", "application/xml"},
      {"json", "application/json"},
      {"rtf", "application/rtf"},
      {"zip", "application/zip"},
      {"doc", "application/msword"},
      {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
      {"xls", "application/vnd.ms-excel"},
      {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
      {"ppt", "application/vnd.ms-powerpoint"},
      {"pptx",
       "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
  };
  const size_t dot = file_name.rfind('.');
  if (dot != std::string_view::npos) {
    const std::string_view ext = file_name.substr(dot + 1);
    for (const auto& [e, type] : kTypes)
      if (EqualsNoCase(ext, e)) return type;
  }
  return "application/octet-stream";
}

// ---- writing ----

// An attachment's bytes, fetched when libzip opens the source and let go
// when it closes it.
struct ArchiveWriter::Source {
  Fetch fetch;
  std::vector<uint8_t> bytes;
  size_t at = 0;
  std::exception_ptr failure;

  static zip_int64_t Callback(void* self, void* data, zip_uint64_t len,
                              zip_source_cmd_t cmd) {
    auto* s = static_cast<Source*>(self);
    switch (cmd) {
      case ZIP_SOURCE_OPEN:
        try {
          s->bytes = s->fetch();
        } catch (...) {
          s->failure = std::current_exception();
          return -1;
        }
        s->at = 0;
        return 0;
      case ZIP_SOURCE_READ: {
        const size_t n = std::min<size_t>(len, s->bytes.size() - s->at);
        if (n > 0) std::memcpy(data, s->bytes.data() + s->at, n);
        s->at += n;
        return static_cast<zip_int64_t>(n);
      }
      case ZIP_SOURCE_CLOSE:
        std::vector<uint8_t>().swap(s->bytes);
        return 0;
      case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        return sizeof(zip_stat_t);
      }
      case ZIP_SOURCE_ERROR: {
        zip_error_t error;
        zip_error_init_with_code(&error, ZIP_ER_READ);
        const zip_int64_t n = zip_error_to_data(&error, data, len);
        zip_error_fini(&error);
        return n;
      }
      case ZIP_SOURCE_FREE:
        return 0;
      case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                              ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
      default:
        return -1;
    }
  }
};

ArchiveWriter::ArchiveWriter(const std::string& path, std::time_t when) : path_(path) {
  int code = 0;
  zip_ = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (zip_ == nullptr)
    throw Error(eErr_ReqifArchive, kSource,
                "Cannot create the archive " + path + ": " + ZipErrorText(code) + ".");
  // MS-DOS time stamps, from the UTC time so that the bytes do not depend
  // on the machine's time zone; they start in 1980.
  std::tm utc{};
  gmtime_r(&when, &utc);
  if (utc.tm_year < 80) utc = std::tm{0, 0, 0, 1, 0, 80, 0, 0, 0, 0, nullptr};
  dos_time_ =
      static_cast<uint16_t>((utc.tm_hour << 11) | (utc.tm_min << 5) | (utc.tm_sec / 2));
  dos_date_ = static_cast<uint16_t>(((utc.tm_year - 80) << 9) | ((utc.tm_mon + 1) << 5) |
                                    utc.tm_mday);
}

ArchiveWriter::~ArchiveWriter() {
  if (zip_ != nullptr) zip_discard(zip_);
}

void ArchiveWriter::Added(int64_t index, const std::string& entry) {
  // The time stamp and a plain file's mode, the same on every machine.
  const auto at = static_cast<zip_uint64_t>(index);
  if (index < 0 || zip_file_set_dostime(zip_, at, dos_time_, dos_date_, 0) < 0 ||
      zip_file_set_external_attributes(zip_, at, 0, ZIP_OPSYS_UNIX, 0100644u << 16) < 0)
    throw Error(eErr_ReqifArchive, kSource,
                "Cannot add " + entry + " to the archive " + path_ + ": " +
                    zip_strerror(zip_) + ".");
}

void ArchiveWriter::AddFile(const std::string& entry, const std::string& file) {
  zip_source_t* source = zip_source_file(zip_, file.c_str(), 0, -1);
  const int64_t index = source == nullptr
                            ? -1
                            : zip_file_add(zip_, entry.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0 && source != nullptr) zip_source_free(source);
  Added(index, entry);
}

void ArchiveWriter::AddFetched(const std::string& entry, Fetch fetch) {
  sources_.push_back(std::make_unique<Source>());
  sources_.back()->fetch = std::move(fetch);
  zip_source_t* source =
      zip_source_function(zip_, &Source::Callback, sources_.back().get());
  const int64_t index = source == nullptr
                            ? -1
                            : zip_file_add(zip_, entry.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0 && source != nullptr) zip_source_free(source);
  Added(index, entry);
}

void ArchiveWriter::Close() {
  if (zip_close(zip_) == 0) {
    zip_ = nullptr;
    return;
  }
  for (const auto& s : sources_)
    if (s->failure) std::rethrow_exception(s->failure);
  throw Error(eErr_ReqifArchive, kSource,
              "Cannot write the archive " + path_ + ": " + zip_strerror(zip_) + ".");
}

// ---- reading ----

ArchiveReader::ArchiveReader(const std::string& path) : path_(path) {
  int code = 0;
  zip_ = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
  if (zip_ == nullptr)
    Refuse(path, "cannot be read as a zip archive: " + ZipErrorText(code));
  // A refused archive leaves the constructor by an exception, which the
  // destructor never sees: the archive is let go here.
  try {
    const zip_int64_t count = zip_get_num_entries(zip_, 0);
    if (count > kMaxArchiveEntries)
      Refuse(path, "holds " + std::to_string(count) + " entries, more than the " +
                       std::to_string(kMaxArchiveEntries) + " an import reads");
    uint64_t total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
      zip_stat_t st;
      if (zip_stat_index(zip_, static_cast<zip_uint64_t>(i), 0, &st) < 0 ||
          (st.valid & ZIP_STAT_NAME) == 0 || (st.valid & ZIP_STAT_SIZE) == 0)
        Refuse(path, "has an entry that cannot be read (" +
                         std::string(zip_strerror(zip_)) + ")");
      total += st.size;
      if (st.size > xml::kMaxDocumentBytes || total > xml::kMaxDocumentBytes)
        Refuse(path, "unpacks to more than " +
                         std::to_string(xml::kMaxDocumentBytes >> 20) + " MiB (the entry " +
                         st.name +
                         " and those before it), more "
                         "than an import reads");
      const std::string name = st.name;
      if (!name.empty() && name.back() == '/') continue;  // a folder
      if (!IsSafeEntryName(name)) {
        unsafe_.push_back(name);
        continue;
      }
      entries_.emplace(name, static_cast<uint64_t>(i));
      sizes_[static_cast<uint64_t>(i)] = st.size;
      if (!EndsWithNoCase(name, ".reqif")) continue;
      if (reqif_.empty())
        reqif_ = name;
      else
        other_reqif_.push_back(name);
    }
    if (reqif_.empty())
      Refuse(path, "holds no ReqIF file (an entry whose name ends in \".reqif\")");
  } catch (...) {
    zip_discard(zip_);
    zip_ = nullptr;
    throw;
  }
}

ArchiveReader::~ArchiveReader() {
  if (reqif_file_ != nullptr) zip_fclose(reqif_file_);
  if (zip_ != nullptr) zip_discard(zip_);
}

int ArchiveReader::ReadReqif(void* self, char* buffer, int len) {
  auto* me = static_cast<ArchiveReader*>(self);
  const zip_int64_t n =
      zip_fread(me->reqif_file_, buffer, static_cast<zip_uint64_t>(len));
  return n < 0 ? -1 : static_cast<int>(n);
}

xmlTextReaderPtr ArchiveReader::OpenReqif(int options) {
  if (reqif_file_ == nullptr) reqif_file_ = zip_fopen_index(zip_, entries_.at(reqif_), 0);
  if (reqif_file_ == nullptr) return nullptr;
  return xmlReaderForIO(&ArchiveReader::ReadReqif, nullptr, this, reqif_.c_str(), nullptr,
                        options);
}

bool ArchiveReader::ReadEntry(const std::string& name, std::vector<uint8_t>* bytes) {
  auto entry = entries_.find(name);
  if (entry == entries_.end()) return false;
  const uint64_t declared = sizes_.at(entry->second);
  // A second handle on the archive: the ReqIF entry stays open meanwhile.
  zip_file_t* f = zip_fopen_index(zip_, entry->second, 0);
  if (f == nullptr) Refuse(path_, "cannot unpack " + name + ": " + zip_strerror(zip_));
  bytes->assign(declared, 0);
  uint64_t at = 0;
  char extra = 0;
  zip_int64_t n = 0;
  while (at < declared && (n = zip_fread(f, bytes->data() + at, declared - at)) > 0)
    at += static_cast<uint64_t>(n);
  // Not one byte more than declared.
  const bool longer = n >= 0 && zip_fread(f, &extra, 1) > 0;
  const std::string failure = n < 0 ? zip_file_strerror(f) : "";
  zip_fclose(f);
  if (n < 0 || at != declared || longer)
    Refuse(path_, "cannot unpack " + name + ": " +
                      (failure.empty() ? "it is not as long as it declares" : failure));
  return true;
}

}  // namespace qmxml::reqif
