// Project databases on a PostgreSQL server: a connection URL names the
// server database, and the locator's schema the schema that holds the
// project tables. A schema is shared with whatever else it holds: creating
// adds the project tables (and the schema, when missing) inside the run's
// transaction, and dropping removes those tables alone.
#include <algorithm>

#include "platform/Backend.h"
#include "platform/postgres/PgConnection.h"
#include "qmxml/Collection.h"
#include "qmxml/DatabaseLocator.h"
#include "qmxml/Error.h"

namespace qmxml {
namespace schema {
extern const char* const k_postgres;
}  // namespace schema

namespace {

// How messages name |db|: with its schema, when one is named.
std::string DatabaseName(const DatabaseLocator& db) {
  std::string name = db.ShownName();
  if (!db.Schema().empty()) name += " (schema " + db.Schema() + ")";
  return name;
}

class Postgres final : public Backend {
 public:
  bool Names(std::string_view text) const override {
    return text.substr(0, 13) == "postgresql://" || text.substr(0, 11) == "postgres://";
  }
  bool IsFile() const override { return false; }
  // postgresql://[user[:password]@]host[:port][/db][?param=value&...]
  std::string HidePassword(std::string_view spec) const override {
    std::string text(spec);
    const size_t start = text.find("://") + 3;
    const size_t authority_end = std::min(text.find_first_of("/?#", start), text.size());
    const size_t at = text.rfind('@', authority_end);
    if (at != std::string::npos && at >= start) {
      const size_t colon = text.find(':', start);
      if (colon < at) text.replace(colon + 1, at - colon - 1, "***");
    }
    const size_t query = text.find('?');
    if (query == std::string::npos) return text;
    return text.substr(0, query) + HidePasswordSettings(text.substr(query), true);
  }

  std::shared_ptr<Connection> Open(const DatabaseLocator& db, bool) const override {
    return PgConnection::Open(db.Text(), db.Schema());
  }

  bool Exists(const DatabaseLocator& db) const override {
    return HoldsProjectTables(*Connection::Open(db, false));
  }

  std::shared_ptr<Connection> OpenExisting(const DatabaseLocator& db) const override {
    return Connection::Open(db, false);
  }

  // The server has no "aside": the project tables are created in the
  // run's transaction, so a failed run takes them away again.
  std::shared_ptr<Connection> OpenForWrite(const DatabaseLocator& db,
                                           std::unique_ptr<FreshDatabase>*) const override {
    return Connection::Open(db, false);
  }

  void CheckMayHoldProject(Connection&) const override {}

  void Drop(const DatabaseLocator& db) const override {
    auto conn = Connection::Open(db, false);
    // Only the tables of a project database, by name: whatever else the
    // schema holds stays, and nothing that refers to them is dropped along.
    const auto declared = DeclaredTables(SchemaScript());
    std::string drop = "DROP VIEW IF EXISTS QmPackage;";  // the schema's one view, over QmPackages
    for (const std::string& t : conn->Tables())
      if (declared.count(FoldCase(t)) > 0) drop += "DROP TABLE IF EXISTS " + t + ";";
    conn->ExecuteScript(drop);
  }

  const std::string& SchemaScript() const override {
    static const std::string script = schema::k_postgres;
    return script;
  }

  std::string HoldsProjectMessage(const DatabaseLocator& db) const override {
    return "The database " + DatabaseName(db) + " already holds a project database.";
  }
  std::string NoProjectMessage(const DatabaseLocator& db) const override {
    return "The database " + DatabaseName(db) +
           " holds no project database; create one with qmxml init.";
  }

  std::string FoldSql(const std::string& e) const override {
    return "translate(replace(" + e +
           ", chr(26), '|'), 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')";
  }
  std::string ContainsSql(const std::string& hay, const std::string& needle) const override {
    return "strpos(" + hay + ", " + needle + ") > 0";
  }
  std::string BytewiseSql(const std::string& e) const override { return e + " COLLATE \"C\""; }
  std::string NumberOfTextSql(const std::string& e) const override {
    return "CASE WHEN " + e + " ~ '^[0-9]+(\\.[0-9]+)?$' THEN CAST(" + e +
           " AS DOUBLE PRECISION) END";
  }
  std::string FirstPartSql(const std::string& e) const override {
    return "split_part(" + e + ", '.', 1)";
  }
};

}  // namespace

const Backend& PostgresBackend() {
  static const Postgres backend;
  return backend;
}

}  // namespace qmxml
