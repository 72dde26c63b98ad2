// Work folders, the exchange of a finished export, staged baseline files
// and the checks on what a command may write over.
#include "transfer/OutputFolders.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "qmxml/Error.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::transfer {
namespace fs = std::filesystem;

namespace {

constexpr const char* kSource = "OutputFolders";
constexpr const char* kBaselineWork = ".baseline.partial-";

// The process id that follows |prefix| in |name| (up to a "-" or the end),
// or 0 when there is none.
pid_t PidAfter(const std::string& name, const std::string& prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  size_t i = prefix.size();
  long pid = 0;
  for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < 1 << 22; ++i)
    pid = pid * 10 + (name[i] - '0');
  if (i == prefix.size() || (i < name.size() && name[i] != '-')) return 0;
  return static_cast<pid_t>(pid);
}

bool ProcessGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

// Whether |path| (which exists) is |file| or lies inside the folder |file|
// would be in; compared by device and inode, so other spellings and links
// to the same file count.
bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace

std::vector<fs::path> RemoveStaleWorkFolders(const fs::path& parent, const std::string& prefix) {
  std::vector<fs::path> removed;
  std::error_code ec;
  for (fs::directory_iterator it(parent.empty() ? "." : parent, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const pid_t pid = PidAfter(name, prefix);
    if (pid <= 0 || pid == ::getpid() || !ProcessGone(pid)) continue;
    std::error_code type_ec;
    if (!fs::is_directory(fs::symlink_status(it->path(), type_ec))) continue;
    std::error_code remove_ec;
    fs::remove_all(it->path(), remove_ec);
    if (!remove_ec) removed.push_back(it->path());
  }
  return removed;
}

void ExchangeFolders(const fs::path& staged, const fs::path& dir) {
  std::error_code ec;
  const bool replace = fs::exists(fs::symlink_status(dir, ec));
  if (!replace) {
    fs::rename(staged, dir, ec);
    if (ec)
      throw Error(eErr_FileNotFound, kSource,
                  "Cannot name the finished export " + dir.string() + ": " + ec.message() + ".");
    return;
  }
  // One step: at no moment is there no folder named |dir|, so a kill
  // between two renames cannot lose the old export and the new one.
  if (::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, dir.c_str(), RENAME_EXCHANGE) != 0)
    throw Error(eErr_FileNotFound, kSource,
                "Cannot replace the folder " + dir.string() + ": " + std::strerror(errno) + ".");
  fs::remove_all(staged, ec);  // the old content
}

void CheckNotSourceFiles(const fs::path& target, const DatabaseLocator& db,
                         bool target_is_folder) {
  const std::string& db_path = db.File();
  if (db_path.empty()) return;
  std::error_code ec;
  if (!fs::exists(target, ec)) return;
  std::vector<std::pair<std::string, fs::path>> own = {{"database", db_path},
                                                       {"key file", db_path + ".key"}};
  if (const char* key = std::getenv("QMXML_KEY_FILE"); key != nullptr && *key != '\0')
    own.emplace_back("key file", key);
  for (const auto& [word, file] : own) {
    if (!fs::exists(file, ec)) continue;
    const bool hit = target_is_folder ? xml::InsideFolder(file.string(), target.string())
                                      : SameFile(target, file);
    if (hit)
      throw Error(eErr_OwnDatabase, kSource,
                  (target_is_folder ? "The folder " + target.string() + " holds the " + word +
                                          " " + file.string() + " the command reads; it is not replaced."
                                    : "The file " + target.string() + " is the " + word + " " +
                                          file.string() + " the command reads; it is not replaced."));
  }
}

StagedFolder::StagedFolder(const fs::path& dir)
    : dir_(dir.has_filename() || !dir.has_relative_path() ? dir : dir.parent_path()) {
  std::error_code ec;
  if (!fs::exists(dir_, ec)) {
    created_dir_ = fs::create_directories(dir_, ec);
    if (ec)
      throw Error(eErr_FileNotFound, kSource,
                  "Cannot create the folder " + dir_.string() + ": " + ec.message() + ".");
  }
  if (!fs::is_directory(dir_, ec))
    throw Error(eErr_FileNotFound, kSource,
                "Cannot write into " + dir_.string() + ": it is not a folder.");
  // Resources may be a link only to a folder inside the baseline folder, as
  // a folder's links must stay inside it on import.
  const fs::path resources = dir_ / "Resources";
  const fs::file_status st = fs::symlink_status(resources, ec);
  if (fs::exists(st)) {
    const bool inside = !fs::is_symlink(st) || xml::InsideFolder(resources.string(), dir_.string());
    if (!inside)
      throw Error(eErr_OutsideFolder, kSource,
                  "The folder " + resources.string() +
                      " is a link that leads out of the baseline folder; nothing is written "
                      "through it.");
    if (!fs::is_directory(resources, ec))
      throw Error(eErr_OutsideFolder, kSource,
                  "The name " + resources.string() + " is taken by something that is not a folder.");
  }
  removed_ = RemoveStaleWorkFolders(dir_, kBaselineWork);
  std::string pattern =
      (dir_ / (kBaselineWork + std::to_string(::getpid()) + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw Error(eErr_FileNotFound, kSource,
                "Cannot create a work folder in " + dir_.string() + ": " + std::strerror(errno) + ".");
  work_ = pattern;
}

StagedFolder::~StagedFolder() {
  std::error_code ec;
  fs::remove_all(work_, ec);
  if (!committed_ && created_dir_) fs::remove(dir_, ec);  // only when it is empty again
}

void StagedFolder::Commit(const std::string& last) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(work_))
    if (entry.is_regular_file()) files.push_back(entry.path().lexically_relative(work_));
  std::stable_partition(files.begin(), files.end(), [&](const fs::path& p) { return p != last; });

  // Everything that could be refused is refused before the first move.
  bool made_resources = false;
  std::error_code ec;
  fs::path last_parent;
  for (const fs::path& rel : files) {
    xml::CheckReplaceable((dir_ / rel).string());
    const fs::path parent = (dir_ / rel).parent_path();
    if (parent == last_parent) continue;
    last_parent = parent;
    if (!fs::exists(parent, ec)) {
      made_resources = fs::create_directories(parent, ec) || made_resources;
      if (ec)
        throw Error(eErr_FileNotFound, kSource,
                    "Cannot create the folder " + parent.string() + ": " + ec.message() + ".");
    }
  }

  // A replaced file is kept under a second name (a hard link) until the
  // whole run is in place, so a failure can put it back as it was.
  const fs::path kept = work_ / ".replaced";
  fs::create_directory(kept, ec);
  struct Moved {
    fs::path target, old;
  };
  std::vector<Moved> moved;
  try {
    for (const fs::path& rel : files) {
      const fs::path target = dir_ / rel;
      Moved m{target, {}};
      struct stat st;
      if (::lstat(target.c_str(), &st) == 0) {
        m.old = kept / std::to_string(moved.size());
        if (::link(target.c_str(), m.old.c_str()) != 0)
          throw Error(eErr_FileNotFound, kSource,
                      "Cannot keep the file " + target.string() + " while it is replaced: " +
                          std::strerror(errno) + ".");
      }
      if (::rename((work_ / rel).c_str(), target.c_str()) != 0)
        throw Error(eErr_FileNotFound, kSource,
                    "Cannot write the file " + target.string() + ": " + std::strerror(errno) + ".");
      moved.push_back(m);
    }
  } catch (...) {
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
      if (it->old.empty())
        ::unlink(it->target.c_str());
      else
        ::rename(it->old.c_str(), it->target.c_str());
    }
    if (made_resources) fs::remove(dir_ / "Resources", ec);
    throw;
  }
  committed_ = true;
}

std::string StagedFolder::Published(std::string text) const {
  const std::string from = work_.string(), to = dir_.string();
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace qmxml::transfer
