// ProjectDatabase: creating and opening project databases from the schema
// shipped with qmxml.
#pragma once

#include <memory>
#include <string>

#include "qmxml/Connection.h"

namespace qmxml {

// The schema script (every table, view and index of a project database).
const std::string& SchemaText();
// Creates a new, empty project database at |path|. Throws Error when the
// file already exists or cannot be created.
std::shared_ptr<Connection> CreateProjectDatabase(const std::string& path);
// Opens an existing project database. Throws Error eErr_FileNotFound when
// there is no file at |path|.
std::shared_ptr<Connection> OpenProjectDatabase(const std::string& path);

}  // namespace qmxml
