// Project databases: what every kind shares (the creating transaction, the
// project tables made from the backend's schema script, the check that a
// database holds a project), with what differs asked of the backend.
#include "qmxml/ProjectDatabase.h"

#include <algorithm>

#include "platform/Backend.h"
#include "qmxml/Collection.h"
#include "qmxml/Error.h"

namespace qmxml {
namespace {

constexpr const char* kSource = "ProjectDatabase";

// The schema script parted in two: what a new database needs before its
// first row, and the indexes it gets after the last. An index kept up row
// by row costs a tree search per row, while one made over the loaded rows
// costs one sort, so a database made for an import gets those at the end.
// The GUID indexes ("..._QMGUID") are made at once: the key map looks rows
// up by GUID while the rows arrive.
struct SchemaParts {
  std::string now;
  std::string later;
};

SchemaParts PartSchema(const std::string& script) {
  static constexpr std::string_view kIndex = "CREATE INDEX IF NOT EXISTS ";
  static constexpr std::string_view kGuid = "_QMGUID";
  SchemaParts parts;
  size_t from = 0;
  for (size_t at; (at = script.find(kIndex, from)) != std::string::npos;) {
    const size_t end = script.find(';', at);
    if (end == std::string::npos) break;
    const size_t name = at + kIndex.size();
    const size_t name_end = script.find_first_of(" \t\n(", name);
    const std::string_view index_name(script.data() + name, name_end - name);
    const bool by_guid = index_name.size() > kGuid.size() &&
                         EqualsNoCase(index_name.substr(index_name.size() - kGuid.size()), kGuid);
    parts.now.append(script, from, (by_guid ? end + 1 : at) - from);
    if (!by_guid) parts.later.append(script, at, end + 1 - at).push_back('\n');
    from = end + 1;
  }
  parts.now.append(script, from, std::string::npos);
  return parts;
}

}  // namespace

bool ProjectDatabaseExists(const DatabaseLocator& db) { return BackendFor(db.Text()).Exists(db); }

ProjectWrite::ProjectWrite(const DatabaseLocator& db, int lock_wait_ms, bool must_be_new)
    : db_(db) {
  const Backend& backend = BackendFor(db.Text());
  conn_ = backend.OpenForWrite(db, &fresh_);
  conn_->SetShownName(db.ShownName());
  conn_->SetLockWait(lock_wait_ms);
  try {
    conn_->BeginCreating();
    if (HoldsProjectTables(*conn_)) {
      if (must_be_new) throw Error(eErr_InvalidArgument, kSource, backend.HoldsProjectMessage(db));
      return;
    }
    backend.CheckMayHoldProject(*conn_);
    SchemaParts schema = PartSchema(backend.SchemaScript());
    try {
      conn_->ExecuteScript(schema.now);
    } catch (const Error& e) {
      throw e.WithDescription("Creating the project tables failed. " + e.Description());
    }
    created_tables_ = true;
    later_indexes_ = std::move(schema.later);
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
  if (fresh_) fresh_->Discard();
}

bool ProjectWrite::Commit() {
  try {
    if (!later_indexes_.empty()) conn_->ExecuteScript(later_indexes_);
  } catch (const Error& e) {
    throw e.WithDescription("Making the indexes of the new tables failed. " + e.Description());
  }
  try {
    conn_->Commit();
  } catch (const Error& e) {
    // Most of a run's writes reach the file only now (a full disk shows here).
    throw e.WithDescription("The changes could not be committed. " + e.Description());
  }
  done_ = true;
  if (!fresh_) return true;
  conn_.reset();
  if (!fresh_->Publish()) return false;
  conn_ = Connection::Open(db_, false);
  return true;
}

std::shared_ptr<Connection> CreateProjectDatabase(const DatabaseLocator& db) {
  ProjectWrite write(db, 5000, true);
  if (!write.Commit())
    throw Error(eErr_InvalidArgument, kSource, BackendFor(db.Text()).HoldsProjectMessage(db));
  return write.Conn();
}

std::shared_ptr<Connection> OpenProjectDatabase(const DatabaseLocator& db) {
  const Backend& backend = BackendFor(db.Text());
  auto conn = backend.OpenExisting(db);
  // A writer's commit holds a file for a moment; the caller sets its own wait after.
  conn->SetLockWait(5000);
  if (!HoldsProjectTables(*conn)) throw Error(eErr_FileNotFound, kSource, backend.NoProjectMessage(db));
  return conn;
}

std::vector<std::string> ProjectTables(Connection& conn) {
  const auto declared = DeclaredTables(BackendOf(conn).SchemaScript());
  std::vector<std::string> out;
  for (const std::string& t : conn.Tables()) {
    auto it = declared.find(FoldCase(t));
    out.push_back(it == declared.end() ? t : it->second);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void DropProjectDatabase(const DatabaseLocator& db) { BackendFor(db.Text()).Drop(db); }

}  // namespace qmxml
