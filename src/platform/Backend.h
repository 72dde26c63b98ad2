// Backend: one kind of project database (a SQLite file, a database on a
// PostgreSQL server) and everything that differs between the kinds beyond
// running statements: which texts name a database of the kind, how its
// password is hidden, opening, finding, creating and dropping a project
// database, the schema script its tables are made from, and the few SQL
// expressions the query evaluator needs that the two dialects spell
// differently. Each kind implements it in its own folder
// (platform/sqlite/SqliteBackend.cpp, platform/postgres/PgBackend.cpp);
// code above the platform layer asks a backend (or a DatabaseLocator)
// instead of looking at which kind it has.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace qmxml {

class Connection;
class DatabaseLocator;

// A database a run builds aside, under another name, because nothing had
// its name when the run began (a new file). It takes its name only once
// the run has committed, so the name never shows a half-built database.
class FreshDatabase {
 public:
  virtual ~FreshDatabase() = default;
  // Gives the built database its name, the connection to it closed. False
  // when another run gave a database that name meanwhile (this one is then
  // discarded and the other untouched). Throws Error when the name cannot
  // be given.
  virtual bool Publish() = 0;
  // Removes what was built (a failed or abandoned run).
  virtual void Discard() = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // True when |text| (what a user names a database with) names a database
  // of this kind.
  virtual bool Names(std::string_view text) const = 0;
  // True when a database of this kind is a file of its own, named by the
  // locator's text.
  virtual bool IsFile() const = 0;
  // |text| with the password it may carry replaced by "***".
  virtual std::string HidePassword(std::string_view text) const = 0;

  // Opens a connection to |db|; |create| lets a missing file be created
  // (a server database must exist). Throws Error eErr_Database.
  virtual std::shared_ptr<Connection> Open(const DatabaseLocator& db, bool create) const = 0;
  // True when |db| is a project database. Creates nothing.
  virtual bool Exists(const DatabaseLocator& db) const = 0;
  // Opens |db| to read or write a project database that must be there;
  // throws Error eErr_FileNotFound when there is plainly none (no file, an
  // empty file). Whether it holds the project tables is the caller's check.
  virtual std::shared_ptr<Connection> OpenExisting(const DatabaseLocator& db) const = 0;
  // Opens |db| for a run that may create the project database. When the
  // kind builds new databases aside and there is none yet, the connection
  // is on the one being built and |*fresh| is what publishes or discards
  // it; otherwise |*fresh| is left empty.
  virtual std::shared_ptr<Connection> OpenForWrite(const DatabaseLocator& db,
                                                   std::unique_ptr<FreshDatabase>* fresh) const = 0;
  // Throws Error eErr_FileNotFound when |conn| (inside the creating
  // transaction, without project tables) may not be given them: a file
  // that holds tables of something else. A server schema is shared.
  virtual void CheckMayHoldProject(Connection& conn) const = 0;
  // Removes a project database CreateProjectDatabase made (see
  // DropProjectDatabase).
  virtual void Drop(const DatabaseLocator& db) const = 0;
  // The schema script: every table, index and view of a project database.
  virtual const std::string& SchemaScript() const = 0;

  // The messages that name |db| when it already holds a project database
  // (a run that must make a new one), and when it holds none.
  virtual std::string HoldsProjectMessage(const DatabaseLocator& db) const = 0;
  virtual std::string NoProjectMessage(const DatabaseLocator& db) const = 0;

  // ---- SQL expressions the dialects spell differently ----
  // |e| with code 26 read as "|" and A-Z as a-z (only those: a locale's
  // lower() would fold other letters too).
  virtual std::string FoldSql(const std::string& e) const = 0;
  // True when |needle| occurs in |hay|.
  virtual std::string ContainsSql(const std::string& hay, const std::string& needle) const = 0;
  // |e| compared byte by byte (a collation might skip punctuation).
  virtual std::string BytewiseSql(const std::string& e) const = 0;
  // A text that is digits, optionally "." and digits, as a number; else
  // NULL.
  virtual std::string NumberOfTextSql(const std::string& e) const = 0;
  // The part of |e| before its first ".".
  virtual std::string FirstPartSql(const std::string& e) const = 0;
};

// The backend of the database |text| names, and of an open connection.
const Backend& BackendFor(std::string_view text);
const Backend& BackendOf(const Connection& conn);
// The two kinds, each defined in its own folder.
const Backend& SqliteBackend();
const Backend& PostgresBackend();

// ---- helpers the backends share ----

// True when |conn| holds the project tables.
bool HoldsProjectTables(Connection& conn);
// The tables |script| creates, by folded name, each with its name as the
// script writes it.
std::map<std::string, std::string> DeclaredTables(const std::string& script);
// Hides the value of every "password=" setting of |text|: a URL parameter
// (|url|: ended by "&" or "#") or a key/value setting (a word, or a quoted
// text with backslash escapes).
std::string HidePasswordSettings(std::string text, bool url);

}  // namespace qmxml
