// What every connection shares: opening through the backend of the kind of
// database the caller names, the connections open in this process, and the
// helpers built on the interface alone.
#include "qmxml/Connection.h"

#include <atomic>
#include <map>
#include <mutex>

#include "platform/Backend.h"
#include "qmxml/Error.h"

namespace qmxml {
namespace {

// The connections open in this process by path, so that the host
// application opening a project of a database shares the session (and the
// open transaction) of whoever opened it first.
std::mutex& OpenConnectionsMutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, std::weak_ptr<Connection>>& OpenConnections() {
  static std::map<std::string, std::weak_ptr<Connection>> open;
  return open;
}

std::atomic<long> statements_sent{0};
std::atomic<long> failing_statement{0};

}  // namespace

void Connection::FailStatementForTesting(long n) {
  failing_statement = n;
  statements_sent = 0;
}

long Connection::StatementsSent() { return statements_sent; }

void Connection::CountStatement(std::string_view what) const {
  const long n = ++statements_sent;
  if (n != failing_statement) return;
  throw Error(eErr_Database, "QmDataServices.Connection." + std::string(what),
              "Database " + ShownName() + ": statement " + std::to_string(n) +
                  " failed (a fault injected by a test)");
}

std::string Connection::HidePassword(std::string_view spec) {
  return BackendFor(spec).HidePassword(spec);
}

std::shared_ptr<Connection> Connection::Open(const DatabaseLocator& db, bool create) {
  std::shared_ptr<Connection> conn = BackendFor(db.Text()).Open(db, create);
  conn->SetShownName(db.ShownName());
  std::lock_guard<std::mutex> lock(OpenConnectionsMutex());
  auto& open = OpenConnections();
  for (auto it = open.begin(); it != open.end();)
    it = it->second.expired() ? open.erase(it) : std::next(it);
  open[db.Text()] = conn;
  return conn;
}

std::shared_ptr<Connection> Connection::FindOpen(const std::string& path) {
  std::lock_guard<std::mutex> lock(OpenConnectionsMutex());
  auto it = OpenConnections().find(path);
  return it == OpenConnections().end() ? nullptr : it->second.lock();
}

std::vector<std::shared_ptr<Recordset>> Connection::QueryEach(
    const std::vector<BoundQuery>& queries) {
  std::vector<std::shared_ptr<Recordset>> rows;
  rows.reserve(queries.size());
  for (const BoundQuery& q : queries) rows.push_back(Query(q.sql, q.values));
  return rows;
}

std::string Connection::LookupValue(std::string_view sql, std::string_view column, long* found,
                                    int /*flags*/) {
  auto rs = Query(sql);
  if (found) *found = rs->IsEOF() ? 0 : 1;
  if (rs->IsEOF()) return "";
  return rs->Value(column).ToText();
}

long Connection::CountRows(std::string_view table) {
  return Scalar("SELECT COUNT(*) FROM " + std::string(kTableMarker) + std::string(table), {})
      .ToLong();
}

}  // namespace qmxml
