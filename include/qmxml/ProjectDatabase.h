// ProjectDatabase: creating and opening project databases. A database is
// named by a SQLite file path or a PostgreSQL connection string
// ("postgresql://..."), with the schema that holds the tables on a server
// ("" for the server's search path).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qmxml/Connection.h"

namespace qmxml {

// The schema script of |dialect| ("sqlite" or "postgres"): every table and
// index of a project database.
const std::string& SchemaText(std::string_view dialect);
// True when |spec| names an existing project database: a file that is not
// empty (a file of 0 bytes is no database), or a server database whose
// schema holds the project tables. Creates nothing.
bool ProjectDatabaseExists(const std::string& spec, const std::string& pg_schema = "");
// Creates a new, empty project database. A new file is built under a
// hidden name beside |spec| and takes its name only when complete, so a
// failure (a full disk) leaves nothing behind; a file of 0 bytes is filled
// in place. On a server the schema (when missing) and the tables are
// created in one transaction. Throws Error eErr_InvalidArgument when the
// file is not empty or the schema already holds project tables, or
// another Error on failure.
std::shared_ptr<Connection> CreateProjectDatabase(const std::string& spec,
                                                  const std::string& pg_schema = "");
// Opens an existing project database. Throws Error eErr_FileNotFound when
// there is none (nothing is created), or eErr_Database naming the file when
// it is not a database.
std::shared_ptr<Connection> OpenProjectDatabase(const std::string& spec,
                                                const std::string& pg_schema = "");

// A run that adds to a project database, inside its writing transaction;
// the database is created when there is none. Where it has to be created,
// that happens inside the run, so that nothing of it stays when the run
// fails:
//   * a missing file is built under a hidden name beside it
//     (".<name>.new-<pid>") and takes its name on Commit, only if no other
//     run gave a database that name meanwhile;
//   * a file of 0 bytes or without any table, and a server schema without
//     the project tables, get them inside the transaction (on a server the
//     schema too, when missing), under the lock that makes writers follow
//     one another, so a second run that starts at the same time waits and
//     then finds them.
// A failed or abandoned run (destructor without Commit) is rolled back and
// its hidden file removed: it drops nothing it did not create and deletes
// no file another run may use.
class ProjectWrite {
 public:
  // Opens |spec| and begins the transaction, waiting up to |lock_wait_ms|
  // for another writer. Throws Error eErr_Locked after the wait,
  // eErr_InvalidArgument when |must_be_new| and the database holds project
  // tables already, eErr_FileNotFound for a file that holds tables but no
  // project database, eErr_Database naming the database on its failures.
  ProjectWrite(const std::string& spec, const std::string& pg_schema, int lock_wait_ms,
               bool must_be_new = false);
  ~ProjectWrite();
  ProjectWrite(const ProjectWrite&) = delete;
  ProjectWrite& operator=(const ProjectWrite&) = delete;

  const std::shared_ptr<Connection>& Conn() const { return conn_; }
  // True when this run made the project tables.
  bool CreatedTables() const { return created_tables_; }
  // Commits. A new file then takes its name: when another run created a
  // database of that name meanwhile, this run's work is discarded and
  // Commit answers false (the other database is untouched), so the caller
  // can run again into that database. The connection is closed after a new
  // file is published.
  bool Commit();

 private:
  void Abandon();
  std::string spec_;
  std::string building_;  // the hidden file a new database is built in
  std::shared_ptr<Connection> conn_;
  bool created_tables_ = false;
  bool done_ = false;
};

// The project tables |conn| holds, named as the schema declares them
// ("qmProjects"; a server reports names folded to lower case), sorted.
std::vector<std::string> ProjectTables(Connection& conn);
// Removes a project database CreateProjectDatabase made: the file, or on a
// server the project tables, by name (other tables of the schema and the
// schema itself stay).
void DropProjectDatabase(const std::string& spec, const std::string& pg_schema = "");

}  // namespace qmxml
