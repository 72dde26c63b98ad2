// DatabaseLocator: names one project database, as a user gives it. Two
// kinds exist: a SQLite file, named by its path, and a database on a
// PostgreSQL server, named by a connection URL ("postgresql://..." or
// "postgres://...") together with the schema that holds its tables ("" for
// the server's search path). The command line builds one from its DB
// argument and --pg-schema; every entry point that reads or writes a
// project database takes one.
//
// A locator only names: it opens nothing and checks nothing. Which kind of
// database the text names is decided once, here, by the backends; callers
// ask what they need (File) instead of looking at the text.
#pragma once

#include <string>

namespace qmxml {

class DatabaseLocator {
 public:
  DatabaseLocator() = default;
  // |text| names the database: a connection URL a server backend takes
  // names a database on that server, whose tables are in |schema| ("": the
  // server's search path); anything else is the path of a SQLite file, and
  // |schema| is kept but not used. A plain path or URL converts on its own,
  // so that callers that have no schema pass the text as it is.
  DatabaseLocator(std::string text, std::string schema = "");
  DatabaseLocator(const char* text) : DatabaseLocator(std::string(text)) {}

  // What names the database: the file path, or the connection URL with
  // its password. For opening only; never for messages (see ShownName).
  const std::string& Text() const { return text_; }
  // The schema that holds the tables on a server ("" for the search path).
  const std::string& Schema() const { return schema_; }
  // The file that holds the database ("" when it lives on a server): what
  // may sit beside it (its key file) and what a command must not write
  // over.
  const std::string& File() const { return file_; }
  // How messages name the database: Text() with the password of a
  // connection string replaced by "***" (Connection::HidePassword).
  std::string ShownName() const;

 private:
  std::string text_;
  std::string schema_;
  std::string file_;
};

}  // namespace qmxml
