// File helpers: writing a file whole or not at all, and the checks that keep
// every name built from data inside its folder.
#include "xml/Files.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "qmxml/Error.h"

namespace qmxml::xml {

int CreateTempFile(const std::string& path, std::string* temp) {
  const std::string folder = FolderOfPath(path);
  const std::string name = path.substr(folder.size());
  for (int attempt = 0; attempt < 16; ++attempt) {
    unsigned char random[8];
    if (::getentropy(random, sizeof random) != 0) return -1;
    char hex[17];
    for (size_t i = 0; i < sizeof random; ++i) std::snprintf(hex + 2 * i, 3, "%02x", random[i]);
    *temp = folder + "." + name + "." + hex + ".part";
    // O_EXCL with O_CREAT never follows a link, not even a dangling one: a
    // name planted beforehand makes the open fail and another name is drawn.
    const int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void CheckReplaceable(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return;
  throw Error(eErr_NotRegularFile, "modWriteXML.SaveDocument",
              "cannot write the file " + path + ": " +
                  (S_ISLNK(st.st_mode) ? "it is a symbolic link" : S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file") +
                  ", which is not replaced.");
}

namespace {

// Writes |bytes| to |fd| and closes it; false with |reason| (an errno
// value) when a write or the close fails.
bool WriteAndClose(int fd, std::string_view bytes, int* reason) {
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      *reason = n < 0 ? errno : ENOSPC;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  if (::close(fd) != 0 && ok) {
    ok = false;
    *reason = errno;
  }
  return ok;
}

[[noreturn]] void RefuseWrite(const std::string& path, int reason) {
  throw Error(eErr_FileNotFound, "modWriteXML.SaveDocument",
              "cannot write the file " + path + ": " + std::strerror(reason));
}

}  // namespace

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  // The bytes go to a new temporary file beside the target, which is
  // renamed over it once complete: a failure or a crash never leaves a
  // half-written file under the name of a finished one. What the name holds
  // is replaced only when it is a regular file.
  CheckReplaceable(path);
  std::string part;
  const int fd = CreateTempFile(path, &part);
  int reason = errno;
  bool ok = fd >= 0 && WriteAndClose(fd, bytes, &reason);
  if (ok && std::rename(part.c_str(), path.c_str()) != 0) {
    ok = false;
    reason = errno;
  }
  if (ok) return;
  if (fd >= 0) ::unlink(part.c_str());
  RefuseWrite(path, reason);
}

void WriteFileInPlace(const std::string& path, std::string_view bytes) {
  // O_NOFOLLOW: a link at the name is refused, never written through.
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  int reason = errno;
  if (fd >= 0 && WriteAndClose(fd, bytes, &reason)) return;
  if (fd >= 0) ::unlink(path.c_str());
  RefuseWrite(path, reason);
}

std::string FolderOfPath(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool InsideFolder(const std::string& path, const std::string& folder) {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::weakly_canonical(folder, ec);
  if (ec) return false;
  const std::filesystem::path full = std::filesystem::weakly_canonical(path, ec);
  if (ec) return false;
  auto b = base.begin(), f = full.begin();
  for (; b != base.end(); ++b, ++f) {
    if (b->empty()) continue;  // a trailing separator of the folder
    if (f == full.end() || *b != *f) return false;
  }
  return f != full.end();
}

bool IsPlainFileStem(std::string_view stem) {
  if (stem.empty() || stem == "." || stem == "..") return false;
  return stem.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

}  // namespace qmxml::xml
