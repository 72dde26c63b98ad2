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
    try {
      conn_->ExecuteScript(backend.SchemaScript());
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
  if (fresh_) fresh_->Discard();
}

bool ProjectWrite::Commit() {
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
