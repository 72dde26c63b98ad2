// ProjectDatabase: creating, finding, opening and dropping project
// databases, each named by a DatabaseLocator (a SQLite file, or a database
// on a PostgreSQL server with the schema that holds its tables). What
// differs between the kinds is done by the backend of each; the schema
// script a database is made from is the backend's too.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qmxml/Connection.h"
#include "qmxml/DatabaseLocator.h"

namespace qmxml {

class FreshDatabase;

// True when |db| names an existing project database: a file that is not
// empty (a file of 0 bytes is no database), or a server database whose
// schema holds the project tables. Creates nothing.
bool ProjectDatabaseExists(const DatabaseLocator& db);
// Creates a new, empty project database. A new file is built under a
// hidden name beside it and takes its name only when complete, so a
// failure (a full disk) leaves nothing behind; a file of 0 bytes is filled
// in place. On a server the schema (when missing) and the tables are
// created in one transaction. Throws Error eErr_InvalidArgument when the
// file is not empty or the schema already holds project tables, or
// another Error on failure.
std::shared_ptr<Connection> CreateProjectDatabase(const DatabaseLocator& db);
// Opens an existing project database. Throws Error eErr_FileNotFound when
// there is none (nothing is created), or eErr_Database naming the file when
// it is not a database.
std::shared_ptr<Connection> OpenProjectDatabase(const DatabaseLocator& db);

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
//     then finds them. Their indexes that serve only reading are made at
//     Commit, once the rows are in (see below).
// A failed or abandoned run (destructor without Commit) is rolled back and
// its hidden file removed: it drops nothing it did not create and deletes
// no file another run may use.
class ProjectWrite {
 public:
  // Opens |db| and begins the transaction, waiting up to |lock_wait_ms|
  // for another writer. Throws Error eErr_Locked after the wait,
  // eErr_InvalidArgument when |must_be_new| and the database holds project
  // tables already, eErr_FileNotFound for a file that holds tables but no
  // project database, eErr_Database naming the database on its failures.
  ProjectWrite(const DatabaseLocator& db, int lock_wait_ms, bool must_be_new = false);
  ~ProjectWrite();
  ProjectWrite(const ProjectWrite&) = delete;
  ProjectWrite& operator=(const ProjectWrite&) = delete;

  const std::shared_ptr<Connection>& Conn() const { return conn_; }
  // True when this run made the project tables.
  bool CreatedTables() const { return created_tables_; }
  // Commits, after making the indexes the new tables were left without. A
  // new file then takes its name: when another run created a
  // database of that name meanwhile, this run's work is discarded and
  // Commit answers false (the other database is untouched), so the caller
  // can run again into that database. The connection is closed after a new
  // file is published.
  bool Commit();

 private:
  void Abandon();
  DatabaseLocator db_;
  std::unique_ptr<FreshDatabase> fresh_;  // a new database built aside, until it has its name
  std::shared_ptr<Connection> conn_;
  bool created_tables_ = false;
  bool done_ = false;
  std::string later_indexes_;  // made by Commit when this run made the tables
};

// The project tables |conn| holds, named as the schema declares them
// ("qmProjects"; a server reports names folded to lower case), sorted.
std::vector<std::string> ProjectTables(Connection& conn);
// Removes a project database CreateProjectDatabase made: the file, or on a
// server the project tables, by name (other tables of the schema and the
// schema itself stay).
void DropProjectDatabase(const DatabaseLocator& db);

}  // namespace qmxml
