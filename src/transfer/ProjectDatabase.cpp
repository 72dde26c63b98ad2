// Project databases: created from the schema script of their kind, which is
// built into the library (one script per dialect).
#include "qmxml/ProjectDatabase.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "qmxml/Collection.h"
#include "qmxml/Error.h"
#include "xml/XmlDoc.h"

namespace qmxml {
namespace schema {
extern const char* const k_sqlite;
extern const char* const k_postgres;
}  // namespace schema

namespace {

// The table that tells a project database from an empty database.
bool HoldsProjectTables(Connection& conn) {
  for (const std::string& t : conn.Tables())
    if (EqualsNoCase(t, "qmProjects")) return true;
  return false;
}

}  // namespace

const std::string& SchemaText(std::string_view dialect) {
  static const std::string sqlite = schema::k_sqlite, postgres = schema::k_postgres;
  return dialect == "postgres" ? postgres : sqlite;
}

bool ProjectDatabaseExists(const std::string& spec, const std::string& pg_schema) {
  if (!Connection::IsServerDatabase(spec)) return xml::FileExists(spec);
  auto conn = Connection::Open(spec, false, pg_schema);
  return HoldsProjectTables(*conn);
}

std::shared_ptr<Connection> CreateProjectDatabase(const std::string& spec,
                                                  const std::string& pg_schema) {
  const bool server = Connection::IsServerDatabase(spec);
  if (!server && xml::FileExists(spec))
    throw Error(eErr_InvalidArgument, "ProjectDatabase.Create", "The file " + spec + " already exists.");
  auto conn = Connection::Open(spec, true, pg_schema);
  if (server && HoldsProjectTables(*conn))
    throw Error(eErr_InvalidArgument, "ProjectDatabase.Create",
                "The database " + spec + " already holds a project database" +
                    (pg_schema.empty() ? "" : " in the schema " + pg_schema) + ".");
  conn->ExecuteScript("BEGIN");
  try {
    conn->ExecuteScript(SchemaText(conn->Dialect()));
    conn->Commit();
  } catch (...) {
    conn->Rollback();
    throw;
  }
  return conn;
}

std::shared_ptr<Connection> OpenProjectDatabase(const std::string& spec,
                                                const std::string& pg_schema) {
  if (!Connection::IsServerDatabase(spec)) {
    if (!xml::FileExists(spec))
      throw Error(eErr_FileNotFound, "ProjectDatabase.Open", "There is no database file " + spec + ".");
    return Connection::Open(spec, false);
  }
  auto conn = Connection::Open(spec, false, pg_schema);
  if (!HoldsProjectTables(*conn))
    throw Error(eErr_FileNotFound, "ProjectDatabase.Open",
                "The database " + spec + (pg_schema.empty() ? "" : " (schema " + pg_schema + ")") +
                    " holds no project database; create one with qmxml init.");
  return conn;
}

std::vector<std::string> ProjectTables(Connection& conn) {
  // The declared names, from the script: "CREATE TABLE IF NOT EXISTS <name> (".
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
  std::vector<std::string> out;
  for (const std::string& t : conn.Tables()) {
    auto it = declared.find(FoldCase(t));
    out.push_back(it == declared.end() ? t : it->second);
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
  std::string drop;
  for (const std::string& t : conn->Tables()) drop += "DROP TABLE IF EXISTS " + t + " CASCADE;";
  if (!drop.empty()) conn->ExecuteScript(drop);
}

}  // namespace qmxml
