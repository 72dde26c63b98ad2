// Project databases in SQLite files: a path names one, a file of 0 bytes
// counts as none, and a new file is built under a hidden name beside its
// own and takes that name only when the run that made it has committed.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/Backend.h"
#include "platform/sqlite/SqliteConnection.h"
#include "qmxml/DatabaseLocator.h"
#include "qmxml/Error.h"

namespace qmxml {
namespace schema {
extern const char* const k_sqlite;
}  // namespace schema

namespace {
namespace fs = std::filesystem;

constexpr const char* kSource = "ProjectDatabase";

bool IsEmptyFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && fs::file_size(path, ec) == 0 && !ec;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// The hidden name beside |path| that a new database file is built under:
// ".<name>.new-<pid>-<n>", one per run of this process.
std::string BuildingName(const std::string& path) {
  static std::atomic<int> runs{0};
  const fs::path p(path);
  std::string name = ".";
  name += p.filename().string();
  name += ".new-";
  name += std::to_string(::getpid());
  name += '-';
  name += std::to_string(++runs);
  return (p.parent_path() / name).string();
}

void RemoveBuilt(const std::string& building) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"})
    std::remove((building + suffix).c_str());
}

// A new database file built under a hidden name.
class FreshFile final : public FreshDatabase {
 public:
  FreshFile(std::string building, std::string path)
      : building_(std::move(building)), path_(std::move(path)) {}

  // Gives the complete file its name unless something has that name
  // already. Of two runs that publish at once exactly one wins.
  bool Publish() override {
    if (::renameat2(AT_FDCWD, building_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) == 0)
      return true;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {  // a file system without it: a hard link is exclusive too
      if (::link(building_.c_str(), path_.c_str()) == 0) {
        std::remove(building_.c_str());
        return true;
      }
      err = errno;
    }
    Discard();
    if (err == EEXIST) return false;
    throw Error(eErr_FileNotFound, kSource,
                "Cannot give the new database the name " + Connection::HidePassword(path_) + ": " +
                    std::strerror(err) + ".");
  }
  void Discard() override { RemoveBuilt(building_); }

 private:
  std::string building_;
  std::string path_;
};

class Sqlite final : public Backend {
 public:
  bool Names(std::string_view) const override { return true; }
  bool IsFile() const override { return true; }
  // A file path carries no password; a libpq key/value string mistaken for
  // one may ("host=db password=..."), and is shown without it.
  std::string HidePassword(std::string_view text) const override {
    return HidePasswordSettings(std::string(text), false);
  }

  std::shared_ptr<Connection> Open(const DatabaseLocator& db, bool create) const override {
    return SqliteConnection::Open(db.Text(), create);
  }

  bool Exists(const DatabaseLocator& db) const override {
    return FileExists(db.Text()) && !IsEmptyFile(db.Text());
  }

  std::shared_ptr<Connection> OpenExisting(const DatabaseLocator& db) const override {
    if (!FileExists(db.Text()))
      throw Error(eErr_FileNotFound, kSource, "There is no database file " + db.ShownName() + ".");
    if (IsEmptyFile(db.Text()))
      throw Error(eErr_FileNotFound, kSource,
                  "The database file " + db.ShownName() +
                      " is empty: it holds no project database.");
    return Connection::Open(db, false);
  }

  std::shared_ptr<Connection> OpenForWrite(const DatabaseLocator& db,
                                           std::unique_ptr<FreshDatabase>* fresh) const override {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(db.Text(), ec))) return Connection::Open(db, false);
    const std::string building = BuildingName(db.Text());
    RemoveBuilt(building);
    try {
      auto conn = Connection::Open(building, true);
      *fresh = std::make_unique<FreshFile>(building, db.Text());
      return conn;
    } catch (const Error& e) {
      RemoveBuilt(building);
      throw e.WithDescription("Cannot create the database file " + db.ShownName() + ": " +
                              e.Description().substr(e.Description().rfind(": ") + 2));
    }
  }

  // A file is only filled when it holds nothing: tables of something else
  // are not mixed with a project's.
  void CheckMayHoldProject(Connection& conn) const override {
    if (!conn.Tables().empty())
      throw Error(eErr_FileNotFound, kSource,
                  "The file " + conn.ShownName() + " is a database that holds no project.");
  }

  void Drop(const DatabaseLocator& db) const override { std::remove(db.Text().c_str()); }

  const std::string& SchemaScript() const override {
    static const std::string script = schema::k_sqlite;
    return script;
  }

  std::string HoldsProjectMessage(const DatabaseLocator& db) const override {
    return "The file " + db.ShownName() + " already exists.";
  }
  std::string NoProjectMessage(const DatabaseLocator& db) const override {
    return "The database " + db.ShownName() + " holds no project database.";
  }

  std::string FoldSql(const std::string& e) const override {
    return "lower(replace(" + e + ", char(26), '|'))";
  }
  std::string ContainsSql(const std::string& hay, const std::string& needle) const override {
    return "instr(" + hay + ", " + needle + ") > 0";
  }
  std::string BytewiseSql(const std::string& e) const override { return e; }
  std::string NumberOfTextSql(const std::string& e) const override {
    return "CASE WHEN " + e + " GLOB '[0-9]*' AND NOT " + e + " GLOB '*[^0-9.]*' AND NOT " + e +
           " GLOB '*.*.*' AND NOT " + e + " GLOB '*.' THEN CAST(" + e + " AS REAL) END";
  }
  std::string FirstPartSql(const std::string& e) const override {
    return "substr(" + e + ", 1, instr(" + e + " || '.', '.') - 1)";
  }
};

}  // namespace

const Backend& SqliteBackend() {
  static const Sqlite backend;
  return backend;
}

}  // namespace qmxml
