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
// True when |spec| names an existing project database: a file, or a server
// database whose schema holds the project tables.
bool ProjectDatabaseExists(const std::string& spec, const std::string& pg_schema = "");
// Creates a new, empty project database. Throws Error when the file exists
// or the server schema already holds project tables, or on failure.
std::shared_ptr<Connection> CreateProjectDatabase(const std::string& spec,
                                                  const std::string& pg_schema = "");
// Opens an existing project database. Throws Error eErr_FileNotFound when
// there is none.
std::shared_ptr<Connection> OpenProjectDatabase(const std::string& spec,
                                                const std::string& pg_schema = "");
// The project tables |conn| holds, named as the schema declares them
// ("qmProjects"; a server reports names folded to lower case), sorted.
std::vector<std::string> ProjectTables(Connection& conn);
// Removes a project database CreateProjectDatabase made: the file, or the
// tables of the server schema.
void DropProjectDatabase(const std::string& spec, const std::string& pg_schema = "");

}  // namespace qmxml
