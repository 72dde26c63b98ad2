// Project databases: created from the schema script of their kind, which is
// built into the library (one script per dialect).
#include "qmxml/ProjectDatabase.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "qmxml/Collection.h"
#include "qmxml/Error.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml {
namespace schema {
extern const char* const k_sqlite;
extern const char* const k_postgres;
}  // namespace schema

namespace {
namespace fs = std::filesystem;

constexpr const char* kSource = "ProjectDatabase";

// The table that tells a project database from an empty database.
bool HoldsProjectTables(Connection& conn) {
  for (const std::string& t : conn.Tables())
    if (EqualsNoCase(t, "qmProjects")) return true;
  return false;
}

bool IsEmptyFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && fs::file_size(path, ec) == 0 && !ec;
}

// How messages name the database |spec| (with the schema on a server).
std::string DatabaseName(const std::string& spec, const std::string& pg_schema) {
  std::string name = Connection::HidePassword(spec);
  if (Connection::IsServerDatabase(spec) && !pg_schema.empty()) name += " (schema " + pg_schema + ")";
  return name;
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

// Gives the complete database file |building| the name |path| unless
// something has that name already (then false and |building| stays). The
// name never shows a half-built file, and of two runs that publish at once
// exactly one wins.
bool PublishNew(const std::string& building, const std::string& path) {
  if (::renameat2(AT_FDCWD, building.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  int err = errno;
  if (err == EINVAL || err == ENOSYS) {  // a file system without it: a hard link is exclusive too
    if (::link(building.c_str(), path.c_str()) == 0) {
      std::remove(building.c_str());
      return true;
    }
    err = errno;
  }
  if (err == EEXIST) return false;
  throw Error(eErr_FileNotFound, kSource,
              "Cannot give the new database the name " + Connection::HidePassword(path) + ": " +
                  std::strerror(err) + ".");
}

}  // namespace

const std::string& SchemaText(std::string_view dialect) {
  static const std::string sqlite = schema::k_sqlite, postgres = schema::k_postgres;
  return dialect == "postgres" ? postgres : sqlite;
}

bool ProjectDatabaseExists(const std::string& spec, const std::string& pg_schema) {
  if (!Connection::IsServerDatabase(spec)) return xml::FileExists(spec) && !IsEmptyFile(spec);
  auto conn = Connection::Open(spec, false, pg_schema);
  return HoldsProjectTables(*conn);
}

ProjectWrite::ProjectWrite(const std::string& spec, const std::string& pg_schema,
                           int lock_wait_ms, bool must_be_new)
    : spec_(spec) {
  const bool server = Connection::IsServerDatabase(spec);
  std::error_code ec;
  if (!server && !fs::exists(fs::symlink_status(spec, ec))) building_ = BuildingName(spec);
  try {
    if (!building_.empty()) RemoveBuilt(building_);
    conn_ = Connection::Open(building_.empty() ? spec : building_, !building_.empty(), pg_schema);
  } catch (const Error& e) {
    if (!building_.empty()) RemoveBuilt(building_);
    if (building_.empty()) throw;
    throw e.WithDescription("Cannot create the database file " + Connection::HidePassword(spec) +
                            ": " + e.Description().substr(e.Description().rfind(": ") + 2));
  }
  conn_->SetShownName(Connection::HidePassword(spec));
  conn_->SetLockWait(lock_wait_ms);
  try {
    conn_->BeginCreating();
    if (HoldsProjectTables(*conn_)) {
      if (must_be_new)
        throw Error(eErr_InvalidArgument, kSource,
                    server ? "The database " + DatabaseName(spec, pg_schema) +
                                 " already holds a project database."
                           : "The file " + conn_->ShownName() + " already exists.");
      return;
    }
    // A file is only filled when it holds nothing: tables of something
    // else are not mixed with a project's. A schema on a server is shared.
    if (!server && !conn_->Tables().empty())
      throw Error(eErr_FileNotFound, kSource,
                  "The file " + conn_->ShownName() + " is a database that holds no project.");
    try {
      conn_->ExecuteScript(SchemaText(conn_->Dialect()));
    } catch (const Error& e) {
      throw e.WithDescription("Creating the project tables failed. " + e.Description());
    }
    created_tables_ = true;
  } catch (...) {
    Abandon();
    throw;
  }
}

ProjectWrite::~ProjectWrite() {
  if (!done_) Abandon();
}

void ProjectWrite::Abandon() {
  done_ = true;
  if (conn_) {
    try {
      conn_->Rollback();
    } catch (const Error&) {
      // The failure that led here is the one to report.
    }
  }
  conn_.reset();
  if (!building_.empty()) RemoveBuilt(building_);
}

bool ProjectWrite::Commit() {
  try {
    conn_->Commit();
  } catch (const Error& e) {
    // Most of a run's writes reach the file only now (a full disk shows here).
    throw e.WithDescription("The changes could not be committed. " + e.Description());
  }
  done_ = true;
  if (building_.empty()) return true;
  conn_.reset();
  bool published = false;
  try {
    published = PublishNew(building_, spec_);
  } catch (...) {
    RemoveBuilt(building_);
    throw;
  }
  if (!published) {
    RemoveBuilt(building_);
    return false;
  }
  conn_ = Connection::Open(spec_, false);
  return true;
}

std::shared_ptr<Connection> CreateProjectDatabase(const std::string& spec,
                                                  const std::string& pg_schema) {
  ProjectWrite write(spec, pg_schema, 5000, true);
  if (!write.Commit())
    throw Error(eErr_InvalidArgument, kSource,
                "The file " + Connection::HidePassword(spec) + " already exists.");
  return write.Conn();
}

std::shared_ptr<Connection> OpenProjectDatabase(const std::string& spec,
                                                const std::string& pg_schema) {
  const bool server = Connection::IsServerDatabase(spec);
  if (!server && !xml::FileExists(spec))
    throw Error(eErr_FileNotFound, kSource,
                "There is no database file " + Connection::HidePassword(spec) + ".");
  if (!server && IsEmptyFile(spec))
    throw Error(eErr_FileNotFound, kSource,
                "The database file " + Connection::HidePassword(spec) +
                    " is empty: it holds no project database.");
  auto conn = Connection::Open(spec, false, pg_schema);
  // A writer's commit holds a file for a moment; the caller sets its own wait after.
  conn->SetLockWait(5000);
  if (!HoldsProjectTables(*conn))
    throw Error(eErr_FileNotFound, kSource,
                "The database " + DatabaseName(spec, pg_schema) + " holds no project database" +
                    (server ? "; create one with qmxml init." : "."));
  return conn;
}

namespace {

// The tables the schema declares, by folded name: "CREATE TABLE IF NOT
// EXISTS <name> (" in the script.
const std::map<std::string, std::string>& DeclaredTables() {
  static const std::map<std::string, std::string> declared = [] {
    std::map<std::string, std::string> names;
    const std::string& text = SchemaText("sqlite");
    const std::string head = "CREATE TABLE IF NOT EXISTS ";
    for (size_t at = text.find(head); at != std::string::npos; at = text.find(head, at + 1)) {
      const size_t start = at + head.size();
      const std::string name = text.substr(start, text.find_first_of(" (", start) - start);
      names.emplace(FoldCase(name), name);
    }
    return names;
  }();
  return declared;
}

}  // namespace

std::vector<std::string> ProjectTables(Connection& conn) {
  std::vector<std::string> out;
  for (const std::string& t : conn.Tables()) {
    auto it = DeclaredTables().find(FoldCase(t));
    out.push_back(it == DeclaredTables().end() ? t : it->second);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void DropProjectDatabase(const std::string& spec, const std::string& pg_schema) {
  if (!Connection::IsServerDatabase(spec)) {
    std::remove(spec.c_str());
    return;
  }
  auto conn = Connection::Open(spec, false, pg_schema);
  // Only the tables of a project database, by name: whatever else the
  // schema holds stays, and nothing that refers to them is dropped along.
  std::string drop = "DROP VIEW IF EXISTS QmPackage;";  // the schema's one view, over QmPackages
  for (const std::string& t : conn->Tables())
    if (DeclaredTables().count(FoldCase(t)) > 0) drop += "DROP TABLE IF EXISTS " + t + ";";
  if (!drop.empty()) conn->ExecuteScript(drop);
}

}  // namespace qmxml
